#include "project/demo_source.h"

#include <gtest/gtest.h>

#include "boot/images/embedded_images.h"
#include "install/cabinet/cabinet.h"
#include "project/install_source.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;

TEST(MakeDemoSource, WritesASourceThatDetectionAccepts) {
  test::TempDir dir;
  ASSERT_TRUE(MakeDemoSource(dir / "src", {.name = "Windows Server 2003", .version = "5.2.3790.0"}).ok());
  const DetectedSource detected = DetectInstallSource(dir / "src");
  ASSERT_TRUE(detected.ok());
  EXPECT_EQ(detected.name, "Windows Server 2003");
  EXPECT_EQ(detected.build, "5.2.3790.0");

  const std::string loader = test::ReadFile(dir / "src/I386/SETUPLDR.BIN");
  const std::span<const uint8_t> image = DemoLoaderImage();
  EXPECT_EQ(loader, std::string(image.begin(), image.end()));
  EXPECT_NE(test::ReadFile(dir / "src/I386/TXTSETUP.SIF").find("cdtagfile = \"\\win52ws2k\""), std::string::npos);
  EXPECT_TRUE(fs::exists(dir / "src/WIN52WS2K"));
  EXPECT_TRUE(fs::exists(dir / "src/I386/NTKRNLMP.EXE"));
}

TEST(MakeDemoSource, CompressedBootFilesAreSingleFileCabinetsOfTheInnerName) {
  test::TempDir dir;
  ASSERT_TRUE(MakeDemoSource(dir / "src", {.name = "Windows XP", .lowerCaseNames = true, .compressedBootFiles = true}).ok());
  EXPECT_FALSE(fs::exists(dir / "src/i386/ntkrnlmp.exe"));
  ExpandedMember member;
  ASSERT_TRUE(ExpandToMemory(dir / "src/i386/ntkrnlmp.ex_", member).ok());
  EXPECT_EQ(member.name, "ntkrnlmp.exe");
  EXPECT_EQ(member.bytes, "Demo file NTKRNLMP.EXE of Windows XP 5.1.2600.0\r\n");
  EXPECT_TRUE(fs::exists(dir / "src/i386/dosnet.inf"));
  EXPECT_FALSE(fs::exists(dir / "src/I386"));
  if (test::HaveProgram("cabextract")) {
    EXPECT_EQ(test::RunCommand("cabextract -q -t '" + (dir / "src/i386/notepad.ex_").string() + "' >/dev/null"), 0);
  }
}

TEST(MakeDemoSource, RefusesAFolderThatHoldsSomethingAndKeepsIt) {
  test::TempDir dir;
  test::WriteFile(dir / "src/mine.txt", "mine");
  EXPECT_FALSE(MakeDemoSource(dir / "src", {.name = "Windows XP"}).ok());
  EXPECT_EQ(test::ReadFile(dir / "src/mine.txt"), "mine");
  EXPECT_FALSE(fs::exists(dir / "src/I386"));
  EXPECT_FALSE(MakeDemoSource(dir / "other", {.name = ""}).ok());
}

}  // namespace
}  // namespace kolvenar
