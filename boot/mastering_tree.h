// The tree that becomes the CD: every file and folder under the root folder,
// each folder's entries in NTFS listing order, with the names they get on the
// disc (upper case, exactly as recorded).
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "install/status.h"

namespace kolvenar {

struct MasteringEntry {
  static constexpr size_t kRoot = static_cast<size_t>(-1);

  std::filesystem::path source;
  std::string name;       // the identifier on the disc
  size_t parent = kRoot;  // index of the folder entry it lies in, or kRoot
  bool folder = false;
  uint64_t size = 0;
  std::time_t mtime = 0;
};

struct MasteringTreeRules {
  bool includeHidden = true;  // names starting with '.'
  bool longNames = true;      // otherwise every name must fit 8.3
};

// Lists the tree depth first (a folder before its entries). Errors name the
// entry: two names that become equal when upper-cased, a file of 4 GiB or more,
// a name the disc cannot hold, a folder that cannot be listed, a link to a
// folder or to nothing, anything that is neither file nor folder.
Status ScanMasteringTree(const std::filesystem::path& root, const MasteringTreeRules& rules,
                         std::vector<MasteringEntry>* entries);

// The largest file ISO 9660 can hold in one directory record: 4 GiB less one byte.
inline constexpr uint64_t kMaxIsoFileSize = 0xFFFFFFFFull;

}  // namespace kolvenar
