// SVCPACK.INF and the DOSNET.INF entry of hotfix integration.
#pragma once

#include <filesystem>
#include <string_view>

#include "install/status.h"

namespace kolvenar {

// Lines 1 to 7 of SVCPACK.INF, written through the profile writer into a file
// that does not exist yet: [Version] with Signature, MajorVersion, MinorVersion
// and BuildNumber (from `build`), [SetupData] with CatalogSubDir.
Status WriteSvcpackInfHeader(const std::filesystem::path& svcpackInf, std::string_view build);

// Appends `lines` to an existing file (never creating it).
Status AppendToFile(const std::filesystem::path& file, std::string_view lines);

// Gives [OptionalSrcDirs] of DOSNET.INF the line "svcpack" alone (the section is
// made at the end when missing); nothing changes when the line is there already.
// Every other byte of the file stays.
Status RegisterSvcpackFolder(const std::filesystem::path& dosnet, Problems& problems);

}  // namespace kolvenar
