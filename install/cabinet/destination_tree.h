// Where extracted members go on disk. Stored names are Windows names: their
// backslashes separate folders, and each piece matches an existing file or
// folder without regard to case ("I386\X" goes into an existing "i386"), the
// exact spelling first. What the tree creates is remembered, so thousands of
// members cost one listing per folder rather than one per member.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "install/status.h"

namespace kolvenar::cabinet {

class DestinationTree {
 public:
  explicit DestinationTree(std::filesystem::path root) : m_root(std::move(root)) {}

  // The path of the file for `storedName`, which must stay inside the root (see
  // IsContainedWindowsName). Missing folders on the way are created when
  // `createFolders`; otherwise a missing folder is an error, as is a name that
  // names no file. The root is created when needed.
  Status Place(std::string_view storedName, bool createFolders, std::filesystem::path& file);

 private:
  struct Folder {
    std::unordered_set<std::string> exact;
    std::unordered_map<std::string, std::string> byUpperCase;  // the first in NTFS order
  };
  Folder& Listing(const std::filesystem::path& folder);
  static void Remember(Folder& folder, const std::string& name);

  std::filesystem::path m_root;
  bool m_rootReady = false;
  std::unordered_map<std::string, Folder> m_folders;
};

}  // namespace kolvenar::cabinet
