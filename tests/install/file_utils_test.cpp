#include "install/file_utils.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "install/text_encoding.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

mode_t ModeOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st.st_mode & 07777;
}

TEST(FileUtilsTest, FileExists) {
  TempDir dir;
  WriteFile(dir / "f/i386/dosnet.inf", "x");
  fs::create_symlink("dosnet.inf", dir / "f/i386/link.inf");
  struct Case {
    const char* path;
    bool exists;
  } cases[] = {{"F/I386/DOSNET.INF", true}, {"f/i386/dosnet.inf", true}, {"F/I386/LINK.INF", true},
               {"F/I386", false},           {"F/I386/MISSING", false},   {"missing/dosnet.inf", false}};
  for (const Case& c : cases) EXPECT_EQ(FileExists(dir / c.path), c.exists) << c.path;
}

TEST(FileUtilsTest, CreateDirectoryPathMakesEveryLevel) {
  TempDir dir;
  CreateDirectoryPath(dir / "a/b/c");
  EXPECT_TRUE(fs::is_directory(dir / "a/b/c"));
  // An existing level in another case is used, not doubled; a trailing separator is harmless.
  CreateDirectoryPath(dir / "A/B/d/");
  EXPECT_TRUE(fs::is_directory(dir / "a/b/d"));
  EXPECT_FALSE(fs::exists(dir / "A"));
  // A file in the way is passed over without harm.
  WriteFile(dir / "file", "x");
  CreateDirectoryPath(dir / "file/sub");
  EXPECT_EQ(ReadFile(dir / "file"), "x");
}

TEST(FileUtilsTest, WildcardsFollowTheWindowsRules) {
  struct Case {
    const char* name;
    const char* mask;
    bool matches;
  } cases[] = {
      {"setup.exe", "*.EXE", true},   {"SETUP.EXE", "*.exe", true},   {"setup.exe.txt", "*.EXE", false},
      {"README", "*.*", true},        {".hidden", "*.*", true},       {"a.b.c", "*.*", true},
      {"abc", "abc.*", true},         {"abc.d", "abc.*", true},       {"abcd", "abc.*", false},
      {"KB123456.EXE", "KB??????.EXE", true}, {"KB12345.EXE", "KB??????.EXE", false},
      {"\xC3\xA9t\xC3\xA9.txt", "???.TXT", true},  // "?" is one character, also a multibyte one
      {"\xC3\xA9T\xC3\xA9.TXT", "\xC3\x89*.txt", true},
      {"aXbXc", "a*b*c", true},       {"ab", "a*b*c", false},         {"", "*", true},
  };
  for (const Case& c : cases) EXPECT_EQ(MatchesWildcard(c.name, c.mask), c.matches) << c.name << " " << c.mask;
}

std::vector<std::string> Relative(const std::vector<fs::path>& list, const fs::path& base) {
  std::vector<std::string> out;
  for (const fs::path& p : list) out.push_back(p.lexically_relative(base).string());
  return out;
}

TEST(FileUtilsTest, FindFilesMatchesRecursesAndSorts) {
  TempDir dir;
  const fs::path f = dir / "F";
  WriteFile(f / "a.exe", "");
  WriteFile(f / "b.txt", "");
  WriteFile(f / "B.EXE", "");
  WriteFile(f / "_z.exe", "");
  WriteFile(f / "x.exe/inner.exe", "");
  WriteFile(f / "sub/deep.exe", "");
  WriteFile(f / "all/one/1.txt", "");
  WriteFile(f / "all/z.txt", "");
  fs::create_directories(dir / "empties/one/two");
  fs::create_directories(dir / "empties/three");
  struct Case {
    const char* name;
    fs::path folder;
    const char* mask;
    bool recurse;
    std::vector<std::string> found;
  } cases[] = {
      // A folder that matches is listed like a file; NTFS order puts "_" after letters.
      {"flat", f, "*.EXE", false, {"a.exe", "B.EXE", "x.exe", "_z.exe"}},
      // Recursion enters matching folders only ("sub" does not match), at the point met.
      {"recursive", f, "*.exe", true, {"a.exe", "B.EXE", "x.exe/inner.exe", "_z.exe"}},
      {"every name", f / "all", "*.*", true, {"one/1.txt", "z.txt"}},
      {"only empty folders", dir / "empties", "*.*", true, {}},
      {"case of the folder", dir / "f/ALL", "*.TXT", false, {"z.txt"}},
  };
  for (const Case& c : cases) {
    std::vector<fs::path> list;
    EXPECT_EQ(FindFiles(c.folder, c.mask, c.recurse, list), static_cast<int>(c.found.size())) << c.name;
    for (const fs::path& p : list) EXPECT_TRUE(p.is_absolute()) << p;
    EXPECT_EQ(Relative(list, c.name == std::string("case of the folder") ? f / "all" : c.folder), c.found)
        << c.name;
  }
}

TEST(FileUtilsTest, FindFilesAppendsAndCountsWhatWasThere) {
  TempDir dir;
  WriteFile(dir / "a.exe", "");
  std::vector<fs::path> list = {"earlier"};
  EXPECT_EQ(FindFiles(dir / "missing", "*.*", true, list), 1);
  EXPECT_EQ(FindFiles(dir.path(), "*.exe", false, list), 2);
  EXPECT_EQ(list.back(), dir / "a.exe");
  // A relative folder gives full paths.
  const fs::path old = fs::current_path();
  fs::current_path(dir.path());
  std::vector<fs::path> relative;
  EXPECT_EQ(FindFiles(".", "*.EXE", false, relative), 1);
  fs::current_path(old);
  ASSERT_EQ(relative.size(), 1u);
  EXPECT_EQ(relative[0], fs::canonical(dir.path()) / "a.exe");
}

TEST(FileUtilsTest, ClearAttributesTreeMakesEverythingWritableAndKeepsTimes) {
  TempDir dir;
  WriteFile(dir / "t/I386/TXTSETUP.SIF", "x");
  WriteFile(dir / "t/I386/SUB/A.DLL", "y");
  WriteFile(dir / "outside.txt", "z");
  ::chmod((dir / "outside.txt").c_str(), 0444);
  fs::create_symlink(dir / "outside.txt", dir / "t/I386/link");
  ::chmod((dir / "t/I386/TXTSETUP.SIF").c_str(), 0444);
  ::chmod((dir / "t/I386/SUB/A.DLL").c_str(), 0400);
  const struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
  ::utimensat(AT_FDCWD, (dir / "t/I386/TXTSETUP.SIF").c_str(), times, 0);
  ::chmod((dir / "t/I386/SUB").c_str(), 0555);  // as copied from a CD
  ::chmod((dir / "t/I386").c_str(), 0555);

  ClearAttributesTree(dir / "T");
  EXPECT_EQ(ModeOf(dir / "t/I386/TXTSETUP.SIF"), 0644u);
  EXPECT_EQ(ModeOf(dir / "t/I386/SUB/A.DLL"), 0600u);
  EXPECT_EQ(ModeOf(dir / "t/I386"), 0755u);
  EXPECT_EQ(ModeOf(dir / "t/I386/SUB"), 0755u);
  EXPECT_EQ(ModeOf(dir / "outside.txt"), 0444u);  // never through a link
  struct stat st {};
  ASSERT_EQ(::stat((dir / "t/I386/TXTSETUP.SIF").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);

  ClearFileAttributes(dir / "outside.TXT");
  EXPECT_EQ(ModeOf(dir / "outside.txt"), 0644u);
  ClearFileAttributes(dir / "vanished.txt");  // returns normally
}

TEST(FileUtilsTest, DeleteTreeKeepsReadOnlyFilesAndNeverFollowsLinks) {
  TempDir dir;
  const fs::path t = dir / "temp";
  WriteFile(t / "ROOT/INSTALLS/XPPR/I386/A.DLL", "a");
  WriteFile(t / "ROOT/INSTALLS/XPPR/I386/LOCKED.DLL", "l");
  WriteFile(t / "ROOT/XPPR/SETUPLDR.BIN", "s");
  WriteFile(t / "BOOTSECTOR.BIN", "b");
  WriteFile(dir / "keep/important.txt", "k");
  fs::create_symlink(dir / "keep", t / "ROOT/link-to-folder");
  fs::create_symlink(dir / "keep/important.txt", t / "link-to-file");
  ::chmod((t / "ROOT/INSTALLS/XPPR/I386/LOCKED.DLL").c_str(), 0444);
  ::chmod((t / "ROOT/XPPR").c_str(), 0555);  // a read-only folder does not keep its files

  DeleteTree(dir / "TEMP");
  EXPECT_EQ(ReadFile(t / "ROOT/INSTALLS/XPPR/I386/LOCKED.DLL"), "l");
  std::vector<std::string> left;
  for (const fs::directory_entry& e : fs::recursive_directory_iterator(t)) {
    left.push_back(e.path().lexically_relative(t).string());
  }
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"ROOT", "ROOT/INSTALLS", "ROOT/INSTALLS/XPPR",
                                            "ROOT/INSTALLS/XPPR/I386", "ROOT/INSTALLS/XPPR/I386/LOCKED.DLL"}));
  EXPECT_EQ(ReadFile(dir / "keep/important.txt"), "k");

  ClearAttributesTree(t);
  DeleteTree(t);
  EXPECT_FALSE(fs::exists(t));
  DeleteTree(dir / "never-there");  // passed over
}

TEST(FileUtilsTest, IntToString) {
  struct Case {
    int n;
    const char* text;
  } cases[] = {{-5, "-5"}, {0, "0"}, {42, "42"}, {2147483647, "2147483647"}, {-2147483647 - 1, "-2147483648"}};
  for (const Case& c : cases) EXPECT_EQ(IntToString(c.n), c.text);
}

}  // namespace
}  // namespace kolvenar
