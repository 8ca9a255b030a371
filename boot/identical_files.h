// Finding files with identical bytes, so the image stores each content once:
// files of equal size are hashed, and equal hashes are confirmed byte for byte.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "install/status.h"

namespace kolvenar {

struct FileToCompare {
  std::filesystem::path path;
  uint64_t size = 0;
};

// For each file, the index of the first file (in the given order) with the same
// bytes: its own index when there is none. An unreadable file is an error naming it.
Status FindIdenticalFiles(const std::vector<FileToCompare>& files, std::vector<size_t>* firstCopy);

}  // namespace kolvenar
