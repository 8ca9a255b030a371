// copy_tree_bench generate DIR   writes the benchmark tree (about 6,000 files,
//                                500 MB, a few deep folders) into DIR
// copy_tree_bench copy SRC DST   copies SRC into DST with CopyTree
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "install/file_utils.h"

namespace fs = std::filesystem;

namespace {

uint64_t g_state = 0x9E3779B97F4A7C15u;
uint64_t Next() {  // xorshift64: the same tree on every run
  g_state ^= g_state << 13;
  g_state ^= g_state >> 7;
  g_state ^= g_state << 17;
  return g_state;
}

int Generate(const fs::path& root) {
  // Like an installation source: many small files in a few wide folders, some
  // large ones, and a few deep chains of folders.
  std::vector<fs::path> folders = {root / "I386", root / "I386/SYSTEM32", root / "I386/LANG",
                                   root / "I386/WINNTUPG", root / "DOCS", root / "SUPPORT/TOOLS"};
  for (int chain = 0; chain < 4; ++chain) {
    fs::path deep = root / ("DEEP" + std::to_string(chain));
    for (int level = 0; level < 12; ++level) {
      deep /= "LEVEL" + std::to_string(level);
      folders.push_back(deep);
    }
  }
  for (const fs::path& f : folders) fs::create_directories(f);

  std::vector<char> block(8u << 20);
  for (size_t i = 0; i < block.size(); i += 8) {
    const uint64_t v = Next();
    std::memcpy(block.data() + i, &v, 8);
  }
  uint64_t total = 0;
  const int files = 6000;
  for (int i = 0; i < files; ++i) {
    // 98% small (1 to 64 KB), 2% large (1 to 4 MB): about 500 MB in all.
    const uint64_t size = (i % 50 == 0) ? (1u << 20) + Next() % (3u << 20) : 1024 + Next() % (63u << 10);
    const fs::path& folder = folders[i < 5000 ? i % 6 : 6 + i % (folders.size() - 6)];
    std::ofstream out(folder / ("FILE" + std::to_string(i) + ".DL_"), std::ios::binary);
    for (uint64_t left = size; left > 0;) {
      const uint64_t n = std::min<uint64_t>(left, block.size() - 64);
      out.write(block.data() + (Next() % 64), static_cast<std::streamsize>(n));
      left -= n;
    }
    total += size;
  }
  std::printf("%d files, %.0f MB, %zu folders\n", files, static_cast<double>(total) / 1e6, folders.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "generate" && argc == 3) return Generate(argv[2]);
  if (mode == "copy" && argc == 4) {
    kolvenar::Problems problems;
    const bool complete = kolvenar::CopyTree(argv[2], argv[3], "Copying Installation Files", &problems);
    for (const std::string& p : problems) std::fprintf(stderr, "%s\n", p.c_str());
    return complete ? 0 : 1;
  }
  std::fprintf(stderr, "usage: copy_tree_bench generate DIR | copy SRC DST\n");
  return 2;
}
