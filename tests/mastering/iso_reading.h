// Reading images back with independent tools (isoinfo), for the mastering tests.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>

#include "install/names.h"
#include "tests/support/temp_dir.h"

namespace kolvenar::test {

struct IsoEntry {
  bool folder = false;
  uint64_t size = 0;
  uint32_t extent = 0;
};

inline std::string ShellQuote(const std::filesystem::path& path) {
  std::string out = "'";
  for (const char c : path.string()) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

// Every entry of the image but "." and "..", by full path ("/INSTALLS/WXP_/I386"),
// as isoinfo -l lists it: the recorded identifier exactly, with any suffix.
inline std::map<std::string, IsoEntry> ListIso(const std::filesystem::path& image) {
  std::string output;
  EXPECT_EQ(RunCommand("isoinfo -l -i " + ShellQuote(image), &output), 0);
  std::map<std::string, IsoEntry> entries;
  std::istringstream lines(output);
  std::string line;
  std::string folder;
  const std::string heading = "Directory listing of ";
  while (std::getline(lines, line)) {
    if (line.starts_with(heading)) {
      folder = line.substr(heading.size());
      continue;
    }
    const size_t bracket = line.find('[');
    const size_t close = line.find("]  ");
    if (line.size() < 10 || bracket == std::string::npos || close == std::string::npos) continue;
    std::string name = line.substr(close + 3);
    if (!name.empty() && name.back() == ' ') name.pop_back();
    if (name == "." || name == "..") continue;
    IsoEntry entry;
    entry.folder = line[0] == 'd';
    std::istringstream fields(line.substr(0, bracket));
    std::string field;
    for (int i = 0; i < 4 && fields >> field; ++i) {}
    fields >> entry.size;
    entry.extent = static_cast<uint32_t>(std::stoul(line.substr(bracket + 1)));
    entries[folder + name] = entry;
  }
  return entries;
}

// The paths the image must list for a tree on disk: every file and folder, upper-cased.
inline std::map<std::string, bool> ExpectedIsoPaths(const std::filesystem::path& root) {
  std::map<std::string, bool> paths;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    std::string path;
    for (const auto& piece : std::filesystem::relative(entry.path(), root)) path += "/" + UpperCaseName(piece.string());
    paths[path] = entry.is_directory();
  }
  return paths;
}

// A 2048-byte stand-in for the boot sector: recognisable bytes in each 512-byte unit.
inline std::string TestBootSector() {
  std::string bytes(2048, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((i * 7 + i / 512) & 0xFF);
  bytes[510] = '\x55';
  bytes[511] = '\xAA';
  return bytes;
}

}  // namespace kolvenar::test
