// Recognising an installation source and deriving the identifier that names a
// system's folders on the CD.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "install/status.h"
#include "project/project_state.h"

namespace kolvenar {

// The message Add System shows for a folder that is not an installation source.
inline constexpr const char* kNotInstallSourceMessage = "Could not file information files in that directory.";

// What a folder tells about the system it holds.
struct DetectedSource {
  Status status;      // not ok when the folder is no installation source; names the missing file
  std::string name;   // [Product Specification] Product of I386/PRODSPEC.INI; empty when missing
  std::string build;  // [Version] DriverVer of I386/DOSNET.INF after its first comma
  bool ok() const { return status.ok(); }
};

// Accepts `folder` when I386/DOSNET.INF and I386/PRODSPEC.INI exist as files
// (names found without regard to case) and reads the name and build from them.
DetectedSource DetectInstallSource(const std::filesystem::path& folder);

// The version part of a DriverVer value: everything after its first comma, or
// the whole value when it has none ("07/01/2001,5.1.2600.0" gives "5.1.2600.0").
std::string BuildFromDriverVer(std::string_view driverVer);

// The short identifier of a product name, at most four characters: "000" and then
// "00" become " K ", and the words give their first character (both of a
// two-character word) with the last word in full. "Windows XP Professional" gives WXPP.
std::string MakeSystemId(std::string_view name);

// The identifier a system gets on the CD: MakeSystemId of its name upper-cased,
// every character other than A-Z, 0-9 and "_" made "_", padded with "_" to four.
// When `takenIds` holds it, its last character is replaced by the first of 1-9,
// then A-Z, that gives a free one. Empty when all of them are taken.
std::string MakeCdSystemId(std::string_view name, const std::vector<std::string>& takenIds);

// True for an identifier that can name a system's folders on the CD and stand in
// for I386 in its setup loader: four characters of A-Z, 0-9 and "_".
bool IsValidCdSystemId(std::string_view id);

// Fills `entry` as Add System does for the source in `folder`: source path, name,
// build and a free CD identifier among g_systems[0, g_systemCount); service pack,
// hotfix folder and post-install selection cleared. Refuses a full table and a
// folder that is no installation source, with the reason; the entry is left
// unchanged then.
Status PrepareSystemEntry(const std::filesystem::path& folder, SYSTEM_ENTRY& entry);

// The ids of the systems in use, in table order.
std::vector<std::string> UsedSystemIds();

}  // namespace kolvenar
