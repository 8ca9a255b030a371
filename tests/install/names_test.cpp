#include "install/names.h"

#include <gtest/gtest.h>

#include "install/file_utils.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::TempDir;
using test::WriteFile;

TEST(NamesTest, CompareAndUpperCase) {
  EXPECT_EQ(UpperCaseName("dosnet.inf"), "DOSNET.INF");
  EXPECT_EQ(UpperCaseName("\xC3\xA9t\xC3\xA9"), "\xC3\x89T\xC3\x89");  // été
  EXPECT_TRUE(NamesEqual("I386", "i386"));
  EXPECT_FALSE(NamesEqual("I386", "I3860"));
  // NTFS order compares upper-cased names: '_' (5Fh) sorts after letters.
  EXPECT_LT(CompareNtfsOrder("abc", "ABD"), 0);
  EXPECT_LT(CompareNtfsOrder("Z", "_"), 0);
}

TEST(NamesTest, ResolvesEveryComponentWithoutRegardToCase) {
  TempDir dir;
  WriteFile(dir / "f/i386/dosnet.inf", "x");
  EXPECT_TRUE(FileExists(dir / "F/I386/DOSNET.INF"));
  EXPECT_EQ(ResolvePathNoCase(dir / "F/I386/DOSNET.INF"), dir / "f/i386/dosnet.inf");
  // A missing tail stays as given, under the resolved head.
  EXPECT_EQ(ResolvePathNoCase(dir / "F/I386/NEW/X.TXT"), dir / "f/i386/NEW/X.TXT");
  // The exact name wins over a case variant.
  WriteFile(dir / "f/i386/DOSNET.INF", "y");
  EXPECT_EQ(ResolvePathNoCase(dir / "f/I386/DOSNET.INF"), dir / "f/i386/DOSNET.INF");
  EXPECT_FALSE(FileExists(dir / "F/I386"));  // a folder is not a file
}

TEST(NamesTest, WindowsNames) {
  EXPECT_EQ(AppendWindowsName("/r", "\\a\\\\b\\c.txt"), fs::path("/r/a/b/c.txt"));
  struct Case {
    const char* name;
    bool contained;
  } cases[] = {{"a\\b", true}, {"..\\x", false}, {"a\\..\\..\\x", false}, {"\\abs", false},
               {"/abs", false}, {"C:x", false},  {"a..b", true},         {"", false}};
  for (const Case& c : cases) EXPECT_EQ(IsContainedWindowsName(c.name), c.contained) << c.name;
}

}  // namespace
}  // namespace kolvenar
