#include "boot/boot_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <cctype>
#include <set>
#include <string>

#include "tests/boot/setup_fixtures.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::FixtureContent;
using test::ListFiles;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr char kVersion[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";

std::string UpperSourceName(const std::string& bootName) {
  std::string name = fs::path(bootName).filename().string();
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

TEST(BootFolderTest, CopiesEveryBootFloppyFileByteForByte) {
  TempDir dir;
  test::WriteInstallTree(dir / "INSTALLS/WXPP");
  const fs::path boot = dir / "ROOT/WXPP";
  fs::create_directories(boot);

  // DOSNET.INF names the files in lower case; the I386 folder holds them in upper
  // case, some only compressed. Field 3 may place a file in a subfolder.
  const Problems problems = PopulateBootFolder(dir / "INSTALLS/WXPP/I386/DOSNET.INF", dir / "INSTALLS/WXPP", boot);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(ListFiles(boot), test::kBootFiles);
  for (const std::string& name : test::kBootFiles) {
    EXPECT_EQ(ReadFile(boot / name), FixtureContent(UpperSourceName(name))) << name;
  }
}

TEST(BootFolderTest, WalkStopsAtTheFirstMissingNumber) {
  TempDir dir;
  const std::string inf = std::string(kVersion) + "[FloppyFiles.0]\r\nd1,a.sys\r\n[FloppyFiles.1]\r\nd1,b.sys\r\n" +
                          "[FloppyFiles.3]\r\nd1,d.sys\r\n";
  WriteFile(dir / "inst/I386/DOSNET.INF", inf);
  for (const char* name : {"A.SYS", "B.SYS", "D.SYS"}) WriteFile(dir / "inst/I386" / name, FixtureContent(name));
  EXPECT_TRUE(PopulateBootFolder(dir / "inst/I386/DOSNET.INF", dir / "inst", dir / "boot").empty());
  EXPECT_EQ(ListFiles(dir / "boot"), (std::set<std::string>{"a.sys", "b.sys"}));
}

TEST(BootFolderTest, CompressedSourceGivesCompressedTarget) {
  TempDir dir;
  WriteFile(dir / "inst/I386/DOSNET.INF",
            std::string(kVersion) + "[FloppyFiles.0]\r\nd1,a.exe,b.exe\r\nd1,c.inf\r\nd1,x.sys,sub\\deeper\\y.sys\r\n");
  WriteFile(dir / "inst/I386/A.EX_", "compressed a");
  WriteFile(dir / "inst/I386/C.INF", "c");
  WriteFile(dir / "inst/I386/X.SYS", "x");
  EXPECT_TRUE(PopulateBootFolder(dir / "inst/I386/DOSNET.INF", dir / "inst", dir / "boot").empty());
  EXPECT_EQ(ListFiles(dir / "boot"), (std::set<std::string>{"b.ex_", "c.inf", "sub/deeper/y.sys"}));
  EXPECT_EQ(ReadFile(dir / "boot/b.ex_"), "compressed a");
}

TEST(BootFolderTest, TrailingSeparatorAndSecondRunGiveTheSameFolder) {
  TempDir dir;
  test::WriteInstallTree(dir / "inst");
  const fs::path inf = dir / "inst/I386/DOSNET.INF";
  EXPECT_TRUE(PopulateBootFolder(inf, dir / "inst", dir / "one").empty());
  EXPECT_TRUE(PopulateBootFolder(inf, dir / "inst", fs::path((dir / "two").string() + "/")).empty());
  EXPECT_EQ(ListFiles(dir / "one"), ListFiles(dir / "two"));

  // A second run replaces the earlier copies, read-only ones too.
  fs::permissions(dir / "one/kbdus.dll", fs::perms::owner_read);
  WriteFile(dir / "inst/I386/KBDUS.DLL", "updated by a hotfix");
  EXPECT_TRUE(PopulateBootFolder(inf, dir / "inst", dir / "one").empty());
  EXPECT_EQ(ReadFile(dir / "one/kbdus.dll"), "updated by a hotfix");
  EXPECT_EQ(ListFiles(dir / "one"), test::kBootFiles);
}

TEST(BootFolderTest, ReportsWhatItCannotDoAndGoesOn) {
  struct Case {
    const char* what;
    std::string floppyFiles;  // the body of [FloppyFiles.0]; "-" for a file without it
    std::set<std::string> copied;
    std::string problem;  // a piece of the one problem expected, or empty for none
  } cases[] = {
      {"missing file", "d1,gone.sys\r\nd1,ok.sys\r\n", {"ok.sys"}, "gone.sys not found (nor gone.sy_)"},
      {"lines without a file name are skipped", "d1\r\nd1,,x.sys\r\nd1,ok.sys\r\n", {"ok.sys"}, ""},
      {"empty target keeps the source name", "d1,ok.sys,\r\n", {"ok.sys"}, ""},
      {"target outside the boot folder", "d1,ok.sys,..\\..\\evil.sys\r\nd1,ok.sys,fine.sys\r\n", {"fine.sys"},
       "refused file name"},
      {"source outside the I386 folder", "d1,..\\secret\r\n", {}, "refused file name"},
      {"no boot floppy section", "-", {}, "[FloppyFiles.0] is missing or empty"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string section = c.floppyFiles == "-" ? "" : "[FloppyFiles.0]\r\n" + c.floppyFiles;
    WriteFile(dir / "inst/I386/DOSNET.INF", std::string(kVersion) + section);
    WriteFile(dir / "inst/I386/OK.SYS", "ok");
    WriteFile(dir / "inst/secret", "secret");
    const Problems problems = PopulateBootFolder(dir / "inst/I386/DOSNET.INF", dir / "inst", dir / "out/boot");
    EXPECT_EQ(ListFiles(dir / "out/boot"), c.copied) << c.what;
    // Nothing is written beside the boot folder.
    std::set<std::string> expectedInOut;
    for (const std::string& name : c.copied) expectedInOut.insert("boot/" + name);
    EXPECT_EQ(ListFiles(dir / "out"), expectedInOut) << c.what;
    EXPECT_EQ(ListFiles(dir.path()).size(), 3 + c.copied.size()) << c.what;
    if (c.problem.empty()) {
      EXPECT_TRUE(problems.empty()) << c.what << ": " << problems.front();
    } else {
      ASSERT_EQ(problems.size(), 1u) << c.what;
      EXPECT_NE(problems[0].find(c.problem), std::string::npos) << c.what << ": " << problems[0];
    }
  }
}

TEST(BootFolderTest, UnreadableInfIsReportedAndChangesNothing) {
  TempDir dir;
  WriteFile(dir / "boot/kept", "kept");
  WriteFile(dir / "inst/I386/DOSNET.INF", "[FloppyFiles.0]\r\nd1,kept\r\n");  // no signature
  for (const fs::path& inf : {dir / "inst/I386/DOSNET.INF", dir / "inst/I386/NONE.INF"}) {
    const Problems problems = PopulateBootFolder(inf, dir / "inst", dir / "boot");
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("cannot open as INF"), std::string::npos) << problems[0];
  }
  EXPECT_EQ(ListFiles(dir / "boot"), std::set<std::string>{"kept"});
  EXPECT_EQ(ReadFile(dir / "boot/kept"), "kept");
}

}  // namespace
}  // namespace kolvenar
