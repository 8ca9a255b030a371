// Names that come from Windows data (INF fields, cabinet members, I386, DOSNET.INF,
// SVCPACK, ...) are matched without regard to case on a case-sensitive file system:
// the exact name first, else a case-insensitive match in the folder. Backslashes in
// such names separate folders. Listings are sorted as an NTFS volume lists them.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kolvenar {

// Upper-cases a UTF-8 name the way names are compared: ASCII and the Latin-1
// letters; other characters stay as they are.
std::string UpperCaseName(std::string_view name);

// True when two names are equal without regard to case.
bool NamesEqual(std::string_view a, std::string_view b);

// The NTFS listing order: ordinal order of the upper-cased names.
// Negative, zero or positive like strcmp.
int CompareNtfsOrder(std::string_view a, std::string_view b);

// The entry of `folder` whose name equals `name` without regard to case: the exact
// name first, else the first match in NTFS order. nullopt when there is none.
std::optional<std::filesystem::path> FindEntryNoCase(const std::filesystem::path& folder,
                                                     std::string_view name);

// `path` with every component that exists on disk under another case replaced by
// its spelling on disk. Components from the first one that does not exist on stay
// as given, so the result also serves for creating a file or folder: it is created
// under the name given unless a case-insensitive match exists already.
std::filesystem::path ResolvePathNoCase(const std::filesystem::path& path);

// `base` joined with a name from Windows data, whose backslashes (and slashes)
// separate folders. Empty pieces are dropped: "\a\\b" gives base/a/b.
std::filesystem::path AppendWindowsName(const std::filesystem::path& base, std::string_view name);

// True when a relative Windows name stays inside the folder it is joined to: not
// absolute, no drive ("C:"), no ".." piece. Used before writing names from untrusted data.
bool IsContainedWindowsName(std::string_view name);

}  // namespace kolvenar
