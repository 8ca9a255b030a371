// Driver for bench/hotfixes.sh.
//
//   hotfix_bench_driver generate DIR FILES COMPRESSED PACKAGES
//     DIR/I386: FILES installation files, COMPRESSED of them single-file MSZIP
//     cabinets named with a final "_" (written by our compressor), the rest plain
//     libraries with version resources; DIR/hotfix: PACKAGES self-extracting
//     packages (a stub and a gcab cabinet), each with a catalog and five
//     libraries, some newer and some older than the files they match;
//     DIR/compressed.lst: the compressed files, one per line; DIR/QCHAIN.EXE.
//   hotfix_bench_driver integrate DIR
//     Integrates DIR/hotfix into DIR/I386 with DIR/temp as the temporary folder
//     and DIR as the current folder, and prints the number of problems met.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "install/cabinet/cabinet.h"
#include "install/hotfixes.h"
#include "project/project_state.h"
#include "tests/support/pe_image_builder.h"

namespace {
namespace fs = std::filesystem;
using kolvenar::test::BuildPeImage;
using kolvenar::test::FileVersion;

void Write(const fs::path& file, const std::string& bytes) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A library of the given version, padded to about `size` bytes with text that
// compresses the way program code and resources roughly do.
std::string Library(uint64_t version, size_t size, std::mt19937& random) {
  std::string bytes = BuildPeImage({random() % 4 == 0, {{0x409, version}}, 1, "code"}).bytes;
  static const char* words[] = {"Get", "Set", "Window", "Handle", "Registry", "Value", "Device", "Driver",
                                "Query", "Open",  "Close",  "Buffer", "Length",  "Error", "\x90\x90", "\0\0\xFF"};
  while (bytes.size() < size) {
    bytes += words[random() % std::size(words)];
    bytes += static_cast<char>(random() % 256);
  }
  return bytes;
}

std::string Name(size_t i, const char* extension) {
  char name[32];
  std::snprintf(name, sizeof name, "F%05zu.%s", i, extension);
  return name;
}

int Generate(const fs::path& dir, size_t files, size_t compressed, size_t packages) {
  std::mt19937 random(20240601);
  const fs::path i386 = dir / "I386", hotfix = dir / "hotfix", staging = dir / "staging";
  fs::create_directories(dir / "temp");
  kolvenar::g_tempDir = (dir / "temp").string() + "/";
  std::ofstream list(dir / "compressed.lst");
  const uint64_t base = FileVersion(5, 1, 2600, 1000);
  for (size_t i = 0; i < files; ++i) {
    // Most files lie in I386 itself, as in a real tree; some in subfolders.
    const fs::path folder = i % 10 == 9 ? i386 / (i % 20 == 9 ? "LANG" : "SYSTEM32") : i386;
    if (i < compressed) {
      Write(staging / Name(i, "dll"), Library(base, 8000 + random() % 40000, random));
      const fs::path target = folder / Name(i, "DL_");
      fs::create_directories(folder);
      if (!kolvenar::CompressToCabinet(staging / Name(i, "dll"), target, Name(i, "dll"), {}).ok()) return 1;
      fs::remove(staging / Name(i, "dll"));
      list << target.string() << "\n";
    } else {
      Write(folder / Name(i, "DLL"), Library(base, 2000 + random() % 12000, random));
    }
  }
  // Each package: a catalog and five libraries matching installation files
  // (compressed ones and plain ones), newer or older than them.
  const std::string stub = BuildPeImage({false, {{0x409, FileVersion(6, 3, 4, 0)}}, 1, "stub"}).bytes;
  for (size_t p = 0; p < packages; ++p) {
    const std::string kb = "KB" + std::to_string(900000 + p);
    const fs::path content = staging / kb;
    std::string names = " '" + kb + ".cat'";
    Write(content / (kb + ".cat"), "catalog " + kb);
    for (int k = 0; k < 5; ++k) {
      const size_t target = random() % files;
      const uint64_t version = random() % 3 == 0 ? base - 1 : base + 1 + p;  // older, or newer
      const std::string name = "SP2QFE/" + Name(target, "dll");
      Write(content / name, Library(version, 8000 + random() % 30000, random));
      names += " '" + name + "'";
    }
    const std::string cab = (staging / (kb + ".cab")).string();
    if (std::system(("cd '" + content.string() + "' && gcab -c -z '" + cab + "'" + names + " >/dev/null").c_str()) !=
        0) {
      return 1;
    }
    std::ifstream in(cab, std::ios::binary);
    const std::string cabinet((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Write(hotfix / ("WindowsXP-" + kb + "-x86-ENU.exe"), stub + cabinet);
  }
  Write(dir / "QCHAIN.EXE", stub);
  fs::remove_all(staging);
  return 0;
}

int Integrate(const fs::path& given) {
  const fs::path dir = fs::absolute(given);
  fs::create_directories(dir / "temp");
  fs::current_path(dir);  // QCHAIN.EXE comes from the current folder
  kolvenar::g_tempDir = (dir / "temp").string() + "/";
  kolvenar::Problems problems;
  const kolvenar::Status status = kolvenar::IntegrateHotfixes(dir / "hotfix", dir / "I386", "5.1.2600.2180", problems,
                                                              [](const std::string& text) { std::puts(text.c_str()); });
  if (!status.ok()) {
    std::fprintf(stderr, "%s\n", status.message().c_str());
    return 1;
  }
  std::printf("%zu problems\n", problems.size());
  for (const std::string& p : problems) std::fprintf(stderr, "%s\n", p.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 5 && args[0] == "generate") {
    return Generate(args[1], std::stoul(args[2]), std::stoul(args[3]), std::stoul(args[4]));
  }
  if (args.size() == 2 && args[0] == "integrate") return Integrate(args[1]);
  std::fprintf(stderr, "usage: hotfix_bench_driver generate DIR FILES COMPRESSED PACKAGES | integrate DIR\n");
  return 2;
}
