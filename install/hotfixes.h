// Hotfix integration into a copied I386 folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "install/message_seam.h"
#include "install/status.h"

namespace kolvenar {

// "KB" followed by the first six digits of the first run of at least six decimal
// digits in `path`, or empty.
std::string KbNameFromPath(std::string_view path);

// The fixed file version of a PE file's version resource (major << 48 | minor << 32
// | build << 16 | revision), or 0 when there is none or the file is malformed.
uint64_t ReadFileVersion(const std::filesystem::path& path);

// Integrates the packages of `hotfixDir` into `i386Dir` (uses g_tempDir). Problems
// that let the build go on are added to `problems`; a non-ok result (a file that
// cannot be opened) stops the build, with a message naming the file.
Status IntegrateHotfixes(const std::filesystem::path& hotfixDir, const std::filesystem::path& i386Dir,
                         const std::string& build, Problems& problems, const MessageFn& showMessage);

}  // namespace kolvenar
