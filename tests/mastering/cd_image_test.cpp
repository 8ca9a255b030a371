// Images made by MasterCdImage, read back by independent tools.
#include "boot/cd_image.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/mastering/iso_reading.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ExpectedIsoPaths;
using test::ListIso;
using test::ReadFile;
using test::RunCommand;
using test::ShellQuote;
using test::TempDir;
using test::WriteFile;

bool HaveReaders() {
  return test::HaveProgram("isoinfo") && test::HaveProgram("isovfy") && test::HaveProgram("xorriso") &&
         test::HaveProgram("osirrox");
}

// A small CD tree as a build leaves it: an install source, a boot folder, tag files,
// plus what a real source holds too: hidden files, names without a dot, deep folders.
void MakeCdTree(const fs::path& root) {
  WriteFile(root / "INSTALLS/WXP_/I386/DOSNET.INF", "[Version]\r\nDriverVer=07/01/2001,5.1.2600.0\r\n");
  WriteFile(root / "INSTALLS/WXP_/I386/txtsetup.sif", std::string(5000, 't'));
  WriteFile(root / "INSTALLS/WXP_/I386/Driver.cab", std::string(70000, 'd'));
  WriteFile(root / "INSTALLS/WXP_/I386/SYSTEM32/smss.exe", "MZ smss");
  WriteFile(root / "INSTALLS/WXP_/$OEM$/$1/Drivers/Net/readme", "no dot here");
  WriteFile(root / "INSTALLS/WXP_/.hidden", "a hidden file");
  WriteFile(root / "WXP_/SETUPLDR.BIN", "setup loader");
  WriteFile(root / "WXP_/BOOTFIX.BIN", std::string(512, 'b'));
  WriteFile(root / "WIN51", "tag");
  WriteFile(root / "win51ip.SP2", "tag");
  WriteFile(root / "d1/d2/d3/d4/d5/d6/d7/d8/d9/deep.txt", "nine levels down");
  fs::create_directories(root / "EMPTY");
}

TEST(CdImageTest, IndependentReadersAgreeOnTheImage) {
  if (!HaveReaders()) GTEST_SKIP() << "isoinfo, isovfy, xorriso or osirrox missing";
  TempDir dir;
  const fs::path root = dir / "ROOT";
  MakeCdTree(root);
  WriteFile(dir / "BOOTSECTOR.BIN", test::TestBootSector());
  const fs::path iso = dir / "out.iso";
  std::vector<uint64_t> reports;
  const Status status = MasterCdImage(dir / "BOOTSECTOR.BIN", "WINDOWS", iso, root,
                                      [&](uint64_t written, uint64_t total) {
                                        if (!reports.empty()) EXPECT_GE(written, reports.back());
                                        EXPECT_LE(written, total);
                                        reports.push_back(written);
                                      });
  ASSERT_TRUE(status.ok()) << status.message();
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back(), fs::file_size(iso));

  // Volume label and the El Torito default entry.
  std::string info;
  ASSERT_EQ(RunCommand("isoinfo -d -i " + ShellQuote(iso), &info), 0);
  EXPECT_NE(info.find("Volume id: WINDOWS\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Logical block size is: 2048"), std::string::npos) << info;
  EXPECT_NE(info.find("Boot media 0 (No Emulation Boot)"), std::string::npos) << info;
  EXPECT_NE(info.find("Load segment 7C0"), std::string::npos) << info;
  EXPECT_NE(info.find("Nsect 4"), std::string::npos) << info;

  std::string torito;
  ASSERT_EQ(RunCommand("xorriso -indev " + ShellQuote(iso) + " -report_el_torito plain 2>/dev/null", &torito), 0);
  EXPECT_NE(torito.find("El Torito boot img :   1  BIOS  y   none  0x07c0  0x00      4"), std::string::npos)
      << torito;
  EXPECT_EQ(torito.find("El Torito boot img :   2"), std::string::npos) << torito;

  // Exactly the tree's entries, each under its upper-cased name and nothing more:
  // no ";1", no added dot, neither the catalogue nor the boot image.
  const auto listed = ListIso(iso);
  const auto expected = ExpectedIsoPaths(root);
  ASSERT_EQ(listed.size(), expected.size());
  for (const auto& [path, folder] : expected) {
    const auto it = listed.find(path);
    ASSERT_NE(it, listed.end()) << path << " missing from the image";
    EXPECT_EQ(it->second.folder, folder) << path;
  }
  EXPECT_TRUE(listed.contains("/WXP_/SETUPLDR.BIN"));
  EXPECT_TRUE(listed.contains("/INSTALLS/WXP_/$OEM$/$1/DRIVERS/NET/README"));
  EXPECT_TRUE(listed.contains("/D1/D2/D3/D4/D5/D6/D7/D8/D9/DEEP.TXT"));

  std::string verify;
  RunCommand("isovfy " + ShellQuote(iso) + " 2>&1", &verify);
  EXPECT_NE(verify.find("No errors found"), std::string::npos) << verify;

  // Every file comes back with its bytes.
  const fs::path extracted = dir / "extracted";
  ASSERT_EQ(RunCommand("osirrox -indev " + ShellQuote(iso) + " -extract / " + ShellQuote(extracted) +
                       " >/dev/null 2>&1"),
            0);
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (entry.is_directory()) continue;
    const auto it = listed.find([&] {
      std::string p;
      for (const auto& piece : fs::relative(entry.path(), root)) p += "/" + UpperCaseName(piece.string());
      return p;
    }());
    ASSERT_NE(it, listed.end());
    EXPECT_EQ(ReadFile(extracted / it->first.substr(1)), ReadFile(entry.path())) << it->first;
  }
}

// Two copies of one install source cost little more than one; equal sizes with
// other bytes are kept apart.
TEST(CdImageTest, IdenticalFilesAreStoredOnce) {
  if (!HaveReaders()) GTEST_SKIP() << "isoinfo or osirrox missing";
  TempDir dir;
  WriteFile(dir / "BOOTSECTOR.BIN", test::TestBootSector());
  auto makeSource = [](const fs::path& at) {
    for (int i = 0; i < 40; ++i) {
      std::string bytes(100000 + i * 1000, '\0');
      for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<char>((k * 131 + k / 97 + i) & 0xFF);
      WriteFile(at / ("I386/FILE" + std::to_string(i) + ".DL_"), bytes);
    }
  };
  makeSource(dir / "one/INSTALLS/WXP1");
  makeSource(dir / "two/INSTALLS/WXP1");
  makeSource(dir / "two/INSTALLS/WXP2");
  // Same size as FILE0.DL_, one byte different.
  std::string changed = ReadFile(dir / "two/INSTALLS/WXP1/I386/FILE0.DL_");
  changed[changed.size() / 2] ^= 1;
  WriteFile(dir / "two/INSTALLS/WXP2/I386/FILE0.DL_", changed);

  ASSERT_TRUE(MasterCdImage(dir / "BOOTSECTOR.BIN", "ONE", dir / "one.iso", dir / "one").ok());
  ASSERT_TRUE(MasterCdImage(dir / "BOOTSECTOR.BIN", "TWO", dir / "two.iso", dir / "two").ok());
  const uint64_t one = fs::file_size(dir / "one.iso");
  const uint64_t two = fs::file_size(dir / "two.iso");
  // The second copy adds its folder records and the one changed file only.
  EXPECT_LT(two, one + 64 * 1024 + changed.size()) << one << " vs " << two;

  const auto listed = ListIso(dir / "two.iso");
  EXPECT_EQ(listed.at("/INSTALLS/WXP1/I386/FILE7.DL_").extent, listed.at("/INSTALLS/WXP2/I386/FILE7.DL_").extent);
  EXPECT_NE(listed.at("/INSTALLS/WXP1/I386/FILE0.DL_").extent, listed.at("/INSTALLS/WXP2/I386/FILE0.DL_").extent);
  const fs::path extracted = dir / "extracted";
  ASSERT_EQ(RunCommand("osirrox -indev " + ShellQuote(dir / "two.iso") + " -extract /INSTALLS " +
                       ShellQuote(extracted) + " >/dev/null 2>&1"),
            0);
  EXPECT_EQ(ReadFile(extracted / "WXP2/I386/FILE0.DL_"), changed);
  EXPECT_EQ(ReadFile(extracted / "WXP2/I386/FILE7.DL_"), ReadFile(dir / "two/INSTALLS/WXP2/I386/FILE7.DL_"));

  // Without -O every copy is stored.
  ASSERT_TRUE(RunMasteringCommand({"-LTWO", "-N", "-H", "-M", "-B" + (dir / "BOOTSECTOR.BIN").string(),
                                   (dir / "two").string(), (dir / "apart.iso").string()})
                  .ok());
  EXPECT_GT(fs::file_size(dir / "apart.iso"), two + (two - one) + 3 * 1000000);
}

// Blanks in the temporary folder and the image path reach the writer whole.
TEST(CdImageTest, PathsWithBlanksArriveWhole) {
  if (!HaveReaders()) GTEST_SKIP() << "isoinfo missing";
  TempDir dir;
  const fs::path temp = dir / "my temp folder";
  WriteFile(temp / "ROOT/WXP_/SETUPLDR.BIN", "loader");
  WriteFile(temp / "BOOTSECTOR.BIN", test::TestBootSector());
  const fs::path iso = dir / "CD images/two systems.iso";
  fs::create_directories(iso.parent_path());
  const Status status = MasterCdImage(temp / "BOOTSECTOR.BIN", "WINDOWS", iso, temp / "ROOT");
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_TRUE(ListIso(iso).contains("/WXP_/SETUPLDR.BIN"));
}

// An existing image at the target is replaced only by a complete new one.
TEST(CdImageTest, ReplacesAnExistingImage) {
  TempDir dir;
  WriteFile(dir / "ROOT/A.TXT", "a");
  WriteFile(dir / "BOOTSECTOR.BIN", test::TestBootSector());
  WriteFile(dir / "out.iso", "old image");
  ASSERT_TRUE(MasterCdImage(dir / "BOOTSECTOR.BIN", "WINDOWS", dir / "out.iso", dir / "ROOT").ok());
  const std::string image = ReadFile(dir / "out.iso");
  ASSERT_GT(image.size(), 17u * 2048);
  EXPECT_EQ(image.substr(16 * 2048, 6), std::string("\x01" "CD001"));  // primary volume descriptor
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3);
}

}  // namespace
}  // namespace kolvenar
