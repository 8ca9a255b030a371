#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "install/file_utils.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

struct stat StatOf(const fs::path& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

void SetTimes(const fs::path& path, time_t seconds) {
  const struct timespec times[2] = {{seconds, 123456789}, {seconds, 123456789}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0);
}

TEST(CopyTreeTest, CopiesTheWholeTreeWithModesAndTimes) {
  TempDir dir;
  const fs::path src = dir / "src";
  WriteFile(src / "I386/DOSNET.INF", "[Version]\r\n");
  WriteFile(src / "I386/SYSTEM32/SMSS.EXE", std::string(3 << 20, 'x'));
  WriteFile(src / "WIN51", "");
  WriteFile(src / "deep/a/b/c/d/e/f/g/h/leaf.txt", "leaf");
  fs::create_directories(src / "empty");
  ::chmod((src / "I386/DOSNET.INF").c_str(), 0444);
  ::chmod((src / "I386/SYSTEM32/SMSS.EXE").c_str(), 0755);
  SetTimes(src / "I386/DOSNET.INF", 1000000000);
  SetTimes(src / "deep/a", 1100000000);
  ::chmod((src / "deep/a/b").c_str(), 0555);  // a read-only folder is still filled

  std::vector<CopyProgress> reports;
  Problems problems;
  EXPECT_TRUE(CopyTree(src, dir / "dst/INSTALLS/XPPR", "Copying Installation Files", &problems,
                       [&](const CopyProgress& p) { reports.push_back(p); }));
  EXPECT_TRUE(problems.empty()) << problems.front();

  const fs::path dst = dir / "dst/INSTALLS/XPPR";
  EXPECT_EQ(ReadFile(dst / "I386/DOSNET.INF"), "[Version]\r\n");
  EXPECT_EQ(ReadFile(dst / "I386/SYSTEM32/SMSS.EXE"), ReadFile(src / "I386/SYSTEM32/SMSS.EXE"));
  EXPECT_EQ(ReadFile(dst / "deep/a/b/c/d/e/f/g/h/leaf.txt"), "leaf");
  EXPECT_TRUE(fs::is_regular_file(dst / "WIN51"));
  EXPECT_TRUE(fs::is_directory(dst / "empty"));
  EXPECT_EQ(StatOf(dst / "I386/DOSNET.INF").st_mode & 07777, 0444u);
  EXPECT_EQ(StatOf(dst / "I386/SYSTEM32/SMSS.EXE").st_mode & 07777, 0755u);
  EXPECT_EQ(StatOf(dst / "deep/a/b").st_mode & 07777, 0555u);
  for (const char* name : {"I386/DOSNET.INF", "deep/a"}) {
    const struct stat a = StatOf(src / name), b = StatOf(dst / name);
    EXPECT_EQ(a.st_mtim.tv_sec, b.st_mtim.tv_sec) << name;
    EXPECT_EQ(a.st_mtim.tv_nsec, b.st_mtim.tv_nsec) << name;
  }
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().files, 4u);
  EXPECT_EQ(reports.back().totalFiles, 4u);
  EXPECT_EQ(reports.back().bytes, reports.back().totalBytes);
  EXPECT_EQ(reports.back().totalBytes, (3u << 20) + 11u + 4u);
  ::chmod((src / "deep/a/b").c_str(), 0755);
  ::chmod((dst / "deep/a/b").c_str(), 0755);
}

TEST(CopyTreeTest, ReplacesExistingFilesAndMergesCaseVariants) {
  TempDir dir;
  WriteFile(dir / "src/i386/txtsetup.sif", "new");
  WriteFile(dir / "src/i386/other.txt", "other");
  WriteFile(dir / "dst/I386/TXTSETUP.SIF", "old and longer");
  ::chmod((dir / "dst/I386/TXTSETUP.SIF").c_str(), 0444);  // replaced although read-only
  WriteFile(dir / "outside.txt", "keep me");
  fs::create_symlink(dir / "outside.txt", dir / "dst/I386/other.txt");  // replaced, never written through
  WriteFile(dir / "src/i386/svcpack/q1.exe", "q");
  fs::create_directories(dir / "elsewhere");
  fs::create_symlink(dir / "elsewhere", dir / "dst/I386/svcpack");  // a folder link: replaced, not entered

  Problems problems;
  EXPECT_TRUE(CopyTree(dir / "SRC", dir / "dst", "t", &problems));
  EXPECT_TRUE(problems.empty());
  EXPECT_EQ(ReadFile(dir / "dst/I386/TXTSETUP.SIF"), "new");
  EXPECT_FALSE(fs::exists(dir / "dst/i386"));
  EXPECT_FALSE(fs::is_symlink(dir / "dst/I386/other.txt"));
  EXPECT_EQ(ReadFile(dir / "dst/I386/other.txt"), "other");
  EXPECT_EQ(ReadFile(dir / "outside.txt"), "keep me");
  EXPECT_FALSE(fs::is_symlink(dir / "dst/I386/svcpack"));
  EXPECT_EQ(ReadFile(dir / "dst/I386/svcpack/q1.exe"), "q");
  EXPECT_TRUE(fs::is_empty(dir / "elsewhere"));
}

TEST(CopyTreeTest, LinksAreNeverFollowedOutOfTheTree) {
  TempDir dir;
  const fs::path src = dir / "src";
  WriteFile(src / "real/file.txt", "data");
  WriteFile(dir / "elsewhere/secret.txt", "outside");
  fs::create_symlink("real", src / "alias");                        // folder link inside: copied as link
  fs::create_symlink("real/file.txt", src / "file-link.txt");       // file link: copied as content
  fs::create_symlink(dir / "elsewhere", src / "absolute");          // folder link outside: not copied
  fs::create_symlink("../../elsewhere", src / "real/climbing");     // climbs out: not copied
  fs::create_symlink("missing-target", src / "dangling");           // inside, dangling: copied as link

  Problems problems;
  EXPECT_FALSE(CopyTree(src, dir / "dst", "t", &problems));
  ASSERT_EQ(problems.size(), 2u);
  EXPECT_NE(problems[0].find("absolute"), std::string::npos) << problems[0];
  EXPECT_NE(problems[1].find("climbing"), std::string::npos) << problems[1];

  const fs::path dst = dir / "dst";
  EXPECT_TRUE(fs::is_symlink(dst / "alias"));
  EXPECT_EQ(fs::read_symlink(dst / "alias"), "real");
  EXPECT_FALSE(fs::is_symlink(dst / "file-link.txt"));
  EXPECT_EQ(ReadFile(dst / "file-link.txt"), "data");
  EXPECT_FALSE(fs::exists(fs::symlink_status(dst / "absolute")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(dst / "real/climbing")));
  EXPECT_TRUE(fs::is_symlink(dst / "dangling"));
  EXPECT_EQ(ReadFile(dst / "real/file.txt"), "data");
}

TEST(CopyTreeTest, ReportsEachEntryItCannotCopyAndCopiesTheRest) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", "a");
  WriteFile(dir / "src/blocked.txt", "b");
  WriteFile(dir / "src/folder/inner.txt", "i");
  ASSERT_EQ(::mkfifo((dir / "src/pipe").c_str(), 0644), 0);
  fs::create_directories(dir / "dst/blocked.txt");       // a folder in the way of a file
  WriteFile(dir / "dst/folder", "a file in the way of a folder");

  Problems problems;
  EXPECT_FALSE(CopyTree(dir / "src", dir / "dst", "t", &problems));
  ASSERT_EQ(problems.size(), 3u);
  for (const char* name : {"folder", "pipe", "blocked.txt"}) {
    bool named = false;
    for (const std::string& p : problems) named |= p.find(name) != std::string::npos;
    EXPECT_TRUE(named) << name;
  }
  EXPECT_EQ(ReadFile(dir / "dst/a.txt"), "a");
  EXPECT_EQ(ReadFile(dir / "dst/folder"), "a file in the way of a folder");
}

TEST(CopyTreeTest, RefusesImpossibleFolders) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", "a");
  struct Case {
    const char* name;
    fs::path source;
    fs::path destination;
  } cases[] = {
      {"missing source", dir / "nothing", dir / "out"},
      {"same folder", dir / "src", dir / "SRC"},
      {"destination is a file", dir / "src", dir / "src/a.txt"},
  };
  for (const Case& c : cases) {
    Problems problems;
    EXPECT_FALSE(CopyTree(c.source, c.destination, "t", &problems)) << c.name;
    EXPECT_EQ(problems.size(), 1u) << c.name;
  }
  EXPECT_EQ(ReadFile(dir / "src/a.txt"), "a");
}

TEST(CopyTreeTest, DestinationInsideTheSourceIsNotCopiedIntoItself) {
  TempDir dir;
  WriteFile(dir / "src/a.txt", "a");
  Problems problems;
  EXPECT_TRUE(CopyTree(dir / "src", dir / "src/copy", "t", &problems));
  EXPECT_EQ(ReadFile(dir / "src/copy/a.txt"), "a");
  EXPECT_FALSE(fs::exists(dir / "src/copy/copy"));
}

}  // namespace
}  // namespace kolvenar
