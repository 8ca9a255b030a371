#include "install/pe_version.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "install/hotfixes.h"
#include "tests/support/pe_image_builder.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::BuildPeImage;
using test::FileVersion;
using test::PeImage;
using test::PeImageOptions;
using test::TempDir;
using test::WriteFile;

constexpr uint64_t kV1200 = FileVersion(5, 1, 2600, 1200);
constexpr uint64_t kV1300 = FileVersion(5, 1, 2600, 1300);

std::string VersionText(uint64_t v) {
  char text[64];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", static_cast<unsigned>(v >> 48), static_cast<unsigned>(v >> 32 & 0xFFFF),
                static_cast<unsigned>(v >> 16 & 0xFFFF), static_cast<unsigned>(v & 0xFFFF));
  return text;
}

// exiftool's FileVersionNumber, or "" when it finds none.
std::string ExiftoolVersion(const fs::path& file) {
  std::string out;
  test::RunCommand("exiftool -q -q -s3 -FileVersionNumber '" + file.string() + "'", &out);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

struct ImageCase {
  const char* name;
  PeImageOptions options;
  uint64_t expected;
  bool exiftoolComparable;  // one version resource in one language: exiftool reads the same one
};

std::vector<ImageCase> ImageCases() {
  return {
      {"pe32", {false, {{0x409, kV1200}}, 1, ""}, kV1200, true},
      {"pe32plus", {true, {{0x409, kV1300}}, 1, ""}, kV1300, true},
      {"high_parts", {false, {{0x000, FileVersion(65535, 1, 65534, 2)}}, 1, ""}, FileVersion(65535, 1, 65534, 2), true},
      {"manifest_only", {false, {}, 1, ""}, 0, true},
      {"pe32plus_manifest_only", {true, {}, 1, ""}, 0, true},
      // The loader asks for VS_VERSION_INFO (id 1) only.
      {"version_id_2", {false, {{0x409, kV1200}}, 2, ""}, 0, false},
      // Language order: neutral, then English (US), then the first one.
      {"german_only", {false, {{0x407, kV1200}}, 1, ""}, kV1200, true},
      {"german_then_english", {false, {{0x407, kV1200}, {0x409, kV1300}}, 1, ""}, kV1300, false},
      {"english_then_neutral", {true, {{0x409, kV1200}, {0x000, kV1300}}, 1, ""}, kV1300, false},
  };
}

TEST(PeVersionTest, ReadsTheFixedFileVersion) {
  TempDir dir;
  for (const ImageCase& c : ImageCases()) {
    const fs::path file = dir / (std::string(c.name) + ".dll");
    WriteFile(file, BuildPeImage(c.options).bytes);
    EXPECT_EQ(VersionText(ReadFileVersion(file)), VersionText(c.expected)) << c.name;
    EXPECT_EQ(ReadPeFileVersion(test::ReadFile(file)), c.expected) << c.name;
  }
}

TEST(PeVersionTest, AgreesWithExiftool) {
  if (!test::HaveProgram("exiftool")) GTEST_SKIP() << "exiftool is not installed (libimage-exiftool-perl)";
  TempDir dir;
  std::vector<std::pair<fs::path, uint64_t>> files;
  for (const ImageCase& c : ImageCases()) {
    if (!c.exiftoolComparable) continue;
    const fs::path file = dir / (std::string(c.name) + ".dll");
    WriteFile(file, BuildPeImage(c.options).bytes);
    files.push_back({file, c.expected});
  }
  // Cut inside the fixed file information, and just after it.
  const PeImage image = BuildPeImage({false, {{0x409, kV1200}}, 1, ""});
  WriteFile(dir / "cut_inside.dll", image.bytes.substr(0, image.firstFixedInfoEnd - 10));
  files.push_back({dir / "cut_inside.dll", 0});
  WriteFile(dir / "cut_headers.dll", image.bytes.substr(0, 0x100));
  files.push_back({dir / "cut_headers.dll", 0});
  for (const auto& [file, expected] : files) {
    const uint64_t ours = ReadFileVersion(file);
    EXPECT_EQ(ours, expected) << file;
    EXPECT_EQ(ours == 0 ? "" : VersionText(ours), ExiftoolVersion(file)) << file;
  }
}

TEST(PeVersionTest, EveryTruncationIsSafe) {
  for (const bool plus : {false, true}) {
    const PeImage image = BuildPeImage({plus, {{0x409, kV1200}}, 1, ""});
    for (size_t n = 0; n <= image.bytes.size(); ++n) {
      const uint64_t expected = n >= image.firstFixedInfoEnd ? kV1200 : 0;
      ASSERT_EQ(ReadPeFileVersion(std::string_view(image.bytes).substr(0, n)), expected) << "prefix " << n;
    }
  }
}

TEST(PeVersionTest, DamagedImagesGiveZero) {
  // Offsets in the built PE32 image: the PE header at 80h, the optional header 18h
  // behind it, the section table E0h behind that; the resource section at 400h
  // with the root (type) directory at 0 (its entry's offset at 14h), the name
  // directory at 18h, the language directory at 30h, the data entry at 48h and
  // the version data at 58h.
  constexpr size_t pe = PeImage::kPeHeaderOffset, opt = pe + 24, rs = PeImage::kResourceOffset;
  struct Damage {
    const char* what;
    size_t offset;
    uint32_t value;
    int width;  // bytes written, little-endian
  } cases[] = {
      {"no MZ", 0, 'X', 1},
      {"e_lfanew past the end", 0x3C, 0xFFFFFFF0, 4},
      {"e_lfanew at the last bytes", 0x3C, 0x5FE, 4},
      {"PE signature", pe, 'Q', 1},
      {"unknown optional header magic", opt, 0x10C, 2},
      {"too few data directories", opt + 92, 2, 4},
      {"optional header too short for the directory", pe + 20, 100, 2},
      {"section count beyond the file", pe + 6, 0xFFFF, 2},
      {"no sections", pe + 6, 0, 2},
      {"resource table outside every section", opt + 96 + 16, 0x9000, 4},
      {"resource table at RVA 0", opt + 96 + 16, 0, 4},
      {"resource raw data beyond the file", opt + 224 + 40 + 20, 0xFFFFF000, 4},
      {"resource raw size 0", opt + 224 + 40 + 16, 0, 4},
      {"type entry is not a directory", rs + 0x14, 0x18, 4},
      {"type directory is the root (loop)", rs + 0x14, 0x80000000, 4},
      {"name directory is the root (loop)", rs + 0x18 + 0x14, 0x80000000, 4},
      {"language entry is a directory", rs + 0x30 + 0x14, 0x80000000, 4},
      {"type directory offset past the section", rs + 0x14, 0xFFFFFFFF, 4},
      {"huge entry counts", rs + 0x0C, 0xFFFFFFFF, 4},
      {"data RVA outside every section", rs + 0x48, 0x7FFFFFF0, 4},
      {"data RVA near the 32-bit end", rs + 0x48, 0xFFFFFFFF, 4},
      {"data size too small", rs + 0x4C, 40, 4},
      {"wLength larger than the data", rs + 0x58, 0xFFFF, 2},
      {"wValueLength 0", rs + 0x5A, 0, 2},
      {"key is not VS_VERSION_INFO", rs + 0x58 + 6, 'W', 1},
      {"fixed info signature", rs + 0x58 + 40, 0xFEEF04BE, 4},
  };
  const PeImage image = BuildPeImage({false, {{0x409, kV1200}}, 1, ""});
  ASSERT_EQ(ReadPeFileVersion(image.bytes), kV1200);
  for (const Damage& d : cases) {
    std::string bytes = image.bytes;
    for (int i = 0; i < d.width; ++i) bytes[d.offset + i] = static_cast<char>(d.value >> (8 * i) & 0xFF);
    EXPECT_EQ(ReadPeFileVersion(bytes), 0u) << d.what;
  }
}

TEST(PeVersionTest, FilesThatAreNoImages) {
  TempDir dir;
  WriteFile(dir / "empty.dll", "");
  WriteFile(dir / "text.txt", "MZ is not enough");
  fs::create_directories(dir / "folder.dll");
  for (const char* name : {"empty.dll", "text.txt", "folder.dll", "missing.dll"}) {
    EXPECT_EQ(ReadFileVersion(dir / name), 0u) << name;
  }
  // A name from Windows data in another case is found.
  WriteFile(dir / "shell32.dll", BuildPeImage({false, {{0x409, kV1300}}, 1, ""}).bytes);
  EXPECT_EQ(ReadFileVersion(dir / "SHELL32.DLL"), kV1300);
}

}  // namespace
}  // namespace kolvenar
