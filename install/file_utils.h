// File and folder utilities: the engine's boundary to the file system.
// Every path may name its components in another case than they have on disk
// (names from Windows data): each function resolves it with ResolvePathNoCase.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

#include "install/status.h"

namespace kolvenar {

// True when the path names an existing file (not a folder); false for anything
// that cannot be examined.
bool FileExists(const std::filesystem::path& path);

// Creates every missing level of the folder path. Failures are passed over.
void CreateDirectoryPath(const std::filesystem::path& path);

// Progress of a long copy: counts so far and the totals of the whole tree.
struct CopyProgress {
  uint64_t files = 0;
  uint64_t bytes = 0;
  uint64_t totalFiles = 0;
  uint64_t totalBytes = 0;
};
using CopyProgressFn = std::function<void(const CopyProgress&)>;

// Copies every entry of `source` with its whole subtree into `destination`,
// creating folders and replacing existing files without asking; permissions and
// times are kept. A link to a file is copied as the file's content; a link to a
// folder is never followed: a relative link that stays inside the tree is copied
// as the same link, any other one is not copied (and reported). Returns true when
// the whole tree was copied; each file or folder that could not be copied is
// added to `problems` (when given). `title` names the copy for progress displays.
bool CopyTree(const std::filesystem::path& source, const std::filesystem::path& destination,
              std::string_view title, Problems* problems = nullptr,
              const CopyProgressFn& progress = {});

// Gives the owner write permission on every file of the tree (a read-only file is
// one its owner may not write), and full rights on every folder of it (a Linux
// folder its owner may not write would keep its files from being changed, which
// a Windows folder never does). Times are kept; links are not followed.
void ClearAttributesTree(const std::filesystem::path& folder);
void ClearFileAttributes(const std::filesystem::path& path);

// Deletes the folder and everything in it. A link is removed, never followed. A
// file that cannot be deleted stays, with the folders above it; the rest goes.
void DeleteTree(const std::filesystem::path& folder);

// Windows wildcard match without regard to case: "*" any run, "?" one character,
// "*.*" every name (with or without a dot).
bool MatchesWildcard(std::string_view name, std::string_view mask);

// Appends to `list` the full paths of the entries of `folder` that match `mask`,
// each folder's entries in NTFS listing order. With `recurse`, matching subfolders
// are entered (and not listed) at the point where they are met. Returns the size
// of the list after the call.
int FindFiles(const std::filesystem::path& folder, std::string_view mask, bool recurse,
              std::vector<std::filesystem::path>& list);

}  // namespace kolvenar
