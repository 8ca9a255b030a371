#include "boot/tag_files.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "tests/boot/setup_fixtures.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ListFiles;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr char kVersion[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";

TEST(TagFilesTest, CreatesTheTagsOfBothSectionsAtTheRoot) {
  TempDir dir;
  WriteFile(dir / "ROOT/WXPP/TXTSETUP.SIF", test::kTxtsetupSif);
  const Problems problems = MakeTagFiles(dir / "ROOT/WXPP/TXTSETUP.SIF", dir / "ROOT");
  EXPECT_TRUE(problems.empty()) << problems.front();

  std::set<std::string> expected = test::kTagFiles;
  expected.insert("WXPP/TXTSETUP.SIF");
  EXPECT_EQ(ListFiles(dir / "ROOT"), expected);
  for (const std::string& tag : test::kTagFiles) EXPECT_EQ(fs::file_size(dir / "ROOT" / tag), 0u) << tag;
}

TEST(TagFilesTest, NamesAreUpperCasedAndCreatedOnce) {
  struct Case {
    const char* what;
    std::string sections;
    std::set<std::string> tags;
  } cases[] = {
      {"one token twice, from [Strings]",
       "[SourceDisksNames]\r\n1 = x,%tag%\r\n2 = y,%TAG%\r\n[Strings]\r\ntag = \"\\win51is\"\r\n", {"WIN51IS"}},
      {"disk names skipped only in the x86 section",
       "[SourceDisksNames]\r\n1 = x,\\disk1\r\n[SourceDisksNames.x86]\r\n1 = x,\\disk1\r\n2 = y,\\mydisk\r\n"
       "3 = z,\\cdrom_ip.5\r\n",
       {"DISK1", "CDROM_IP.5"}},
      {"a name without its backslash goes to the root as well", "[SourceDisksNames]\r\n1 = x,tag\r\n", {"TAG"}},
      {"lines without a name are passed over", "[SourceDisksNames]\r\n1 = x\r\n2 = x,\r\n3 = x,\"\\\"\r\n4 = x,\\ok\r\n",
       {"OK"}},
      {"section names in another case", "[sourcedisksnames.X86]\r\n1 = x,\\win51\r\n", {"WIN51"}},
      {"neither section", "[SourceDisksFiles]\r\nntldr = 1,,,,,,,1,1\r\n", {}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFile(dir / "sif/TXTSETUP.SIF", kVersion + c.sections);
    fs::create_directory(dir / "ROOT");
    const Problems problems = MakeTagFiles(dir / "sif/TXTSETUP.SIF", dir / "ROOT");
    EXPECT_TRUE(problems.empty()) << c.what << ": " << problems.front();
    EXPECT_EQ(ListFiles(dir / "ROOT"), c.tags) << c.what;
    EXPECT_EQ(ListFiles(dir.path()).size(), c.tags.size() + 1) << c.what;  // nothing beside the root
  }
}

TEST(TagFilesTest, ExistingTagsKeepTheirContentAcrossSystems) {
  TempDir dir;
  WriteFile(dir / "ROOT/WIN51IP", "kept");
  WriteFile(dir / "ROOT/win51", "kept too");  // found without regard to case
  WriteFile(dir / "ROOT/WXPP/TXTSETUP.SIF", test::kTxtsetupSif);
  WriteFile(dir / "ROOT/WXPH/TXTSETUP.SIF",
            std::string(kVersion) + "[SourceDisksNames.x86]\r\n_1 = %c%,\\win51ip,,\\i386\r\n1 = %c%,\\win51ic\r\n");
  EXPECT_TRUE(MakeTagFiles(dir / "ROOT/WXPP/TXTSETUP.SIF", dir / "ROOT").empty());
  EXPECT_TRUE(MakeTagFiles(dir / "ROOT/WXPH/TXTSETUP.SIF", dir / "ROOT").empty());
  EXPECT_EQ(ListFiles(dir / "ROOT"), (std::set<std::string>{"WIN51IP", "win51", "WIN51IP.SP2", "DISK101", "WIN51IC",
                                                            "WXPP/TXTSETUP.SIF", "WXPH/TXTSETUP.SIF"}));
  EXPECT_EQ(ReadFile(dir / "ROOT/WIN51IP"), "kept");
  EXPECT_EQ(ReadFile(dir / "ROOT/win51"), "kept too");
}

TEST(TagFilesTest, ReportsTagsItCannotCreateAndGoesOn) {
  struct Case {
    const char* what;
    std::string name;
    std::string problem;
  } cases[] = {
      {"climbs out of the CD", "\\..\\evil", "refused tag file name"},
      {"names a drive", "C:\\tag", "refused tag file name"},
      {"a folder is in the way", "\\folder", "cannot create tag file"},
      {"its folder is missing", "\\nowhere\\tag", "cannot create tag file"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    fs::create_directories(dir / "ROOT/FOLDER");
    WriteFile(dir / "TXTSETUP.SIF",
              std::string(kVersion) + "[SourceDisksNames]\r\n1 = x," + c.name + "\r\n2 = y,\\good\r\n");
    const Problems problems = MakeTagFiles(dir / "TXTSETUP.SIF", dir / "ROOT");
    ASSERT_EQ(problems.size(), 1u) << c.what;
    EXPECT_NE(problems[0].find(c.problem), std::string::npos) << c.what << ": " << problems[0];
    EXPECT_EQ(ListFiles(dir.path()), (std::set<std::string>{"TXTSETUP.SIF", "ROOT/GOOD"})) << c.what;
  }

  TempDir dir;
  WriteFile(dir / "TXTSETUP.SIF", "[SourceDisksNames]\r\n1 = x,\\tag\r\n");  // no signature
  const Problems problems = MakeTagFiles(dir / "TXTSETUP.SIF", dir / "ROOT");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("cannot open as INF"), std::string::npos) << problems[0];
  EXPECT_FALSE(fs::exists(dir / "ROOT"));
}

}  // namespace
}  // namespace kolvenar
