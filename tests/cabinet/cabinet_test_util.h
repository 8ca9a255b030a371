// Shared helpers of the cabinet tests.
#pragma once

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace kolvenar::test {

// The regular files under `root`, as sorted relative paths with '/'.
inline std::vector<std::string> ListFiles(const std::filesystem::path& root) {
  std::vector<std::string> files;
  std::error_code ec;
  for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file()) files.push_back(std::filesystem::relative(it->path(), root).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// Every entry (files and folders) under `root`, relative, sorted.
inline std::vector<std::string> ListEntries(const std::filesystem::path& root) {
  std::vector<std::string> entries;
  std::error_code ec;
  for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
    entries.push_back(std::filesystem::relative(it->path(), root).generic_string());
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

inline struct stat StatOf(const std::filesystem::path& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info;
}

// Bytes that deflate cannot shrink.
inline std::string RandomBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t x = seed | 1;
  for (char& c : bytes) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x >> 24);
  }
  return bytes;
}

// Text that compresses well but not trivially.
inline std::string SampleText(size_t size) {
  std::string text;
  for (int line = 0; text.size() < size; ++line) {
    text += "[SourceDisksFiles] line " + std::to_string(line) + " = " + std::to_string(line * 7919 % 10007) +
            ",,,,,,_x,1,1\r\n";
  }
  text.resize(size);
  return text;
}

}  // namespace kolvenar::test
