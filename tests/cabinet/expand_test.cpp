// ExpandCabinet and ExpandToMemory on small cabinets made for each behaviour.
#include <sys/stat.h>

#include <ctime>

#include <gtest/gtest.h>

#include "install/cabinet/cabinet.h"
#include "tests/cabinet/cab_builder.h"
#include "tests/cabinet/cabinet_test_util.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::BuildStoredCabinet;
using test::CabMember;
using test::ListEntries;
using test::ListFiles;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

CabMember Member(std::string name, std::string content) {
  CabMember m;
  m.name = std::move(name);
  m.content = std::move(content);
  return m;
}

// Bytes in front of a cabinet, like the stub of a self-extracting package,
// holding "MSCF" followed by other bytes than four zeros.
const std::string kStub = std::string("MZ\x90\0stub MSCF\x01\0\0\0 and MSCFMSCF", 30) + std::string(1000, '\x7f');

TEST(ExpandTest, PlainCabinetAndOneBehindAStubExpandAlike) {
  const std::string cab = BuildStoredCabinet({Member("a.txt", "alpha"), Member("sub\\b.txt", "beta")});
  for (const std::string& prefix : {std::string(), kStub}) {
    SCOPED_TRACE(prefix.size());
    TempDir dir;
    WriteFile(dir / "package.exe", prefix + cab);
    ASSERT_TRUE(ExpandCabinet(dir / "package.exe", dir / "out", dir / "work", true).ok());
    EXPECT_EQ(ListFiles(dir / "out"), (std::vector<std::string>{"a.txt", "sub/b.txt"}));
    EXPECT_EQ(ReadFile(dir / "out/sub/b.txt"), "beta");
    EXPECT_EQ(g_lastExpandedName, "sub\\b.txt");
    ExpandedMember member;
    ASSERT_TRUE(ExpandToMemory(dir / "package.exe", member).ok());
    EXPECT_EQ(member.name, "a.txt");
    EXPECT_EQ(member.bytes, "alpha");
  }
}

TEST(ExpandTest, NoCabinetGivesNotFoundAndWritesNothing) {
  TempDir dir;
  WriteFile(dir / "empty", "");
  WriteFile(dir / "stub-only", kStub);
  WriteFile(dir / "good.cab", BuildStoredCabinet({Member("x", "x")}));
  for (const char* name : {"empty", "stub-only", "missing"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(ExpandCabinet(dir / "good.cab", dir / "first", dir.path(), true).ok());
    ASSERT_EQ(g_lastExpandedName, "x");
    const Status status = ExpandCabinet(dir / name, dir / "out", dir / "work", true);
    EXPECT_EQ(status.kind(), Status::Kind::kNotFound) << status.message();
    EXPECT_NE(status.message().find(name), std::string::npos);
    EXPECT_EQ(g_lastExpandedName, "");  // an earlier name is not passed off
    EXPECT_FALSE(fs::exists(dir / "out"));
    ExpandedMember member{"old", "old"};
    EXPECT_EQ(ExpandToMemory(dir / name, member).kind(), Status::Kind::kNotFound);
    EXPECT_TRUE(member.name.empty() && member.bytes.empty());
  }
}

TEST(ExpandTest, DestinationWithOrWithoutFinalSeparator) {
  TempDir dir;
  WriteFile(dir / "c.cab", BuildStoredCabinet({Member("f", "1")}));
  ASSERT_TRUE(ExpandCabinet(dir / "c.cab", (dir / "a").string(), dir.path(), true).ok());
  EXPECT_EQ(g_expandDir, dir / "a" / "");
  ASSERT_TRUE(ExpandCabinet(dir / "c.cab", (dir / "b").string() + "/", dir.path(), false).ok());
  EXPECT_EQ(g_expandDir, dir / "b" / "");
  EXPECT_FALSE(g_expandKeepFolders);
  EXPECT_EQ(ReadFile(dir / "a/f"), "1");
  EXPECT_EQ(ReadFile(dir / "b/f"), "1");
}

TEST(ExpandTest, StoredFoldersAreCreatedOnlyWhenKept) {
  TempDir dir;
  WriteFile(dir / "sp.cab", BuildStoredCabinet({Member("update\\update.exe", "MZ")}));
  ASSERT_TRUE(ExpandCabinet(dir / "sp.cab", dir / "keep", dir.path(), true).ok());
  EXPECT_EQ(ReadFile(dir / "keep/update/update.exe"), "MZ");

  // Flat: the folder is not created, so the file cannot be.
  const Status flat = ExpandCabinet(dir / "sp.cab", dir / "flat", dir.path(), false);
  EXPECT_EQ(flat.kind(), Status::Kind::kIoError);
  EXPECT_TRUE(ListFiles(dir / "flat").empty());
  // ... unless it exists already (under any case).
  fs::create_directories(dir / "flat2/UPDATE");
  ASSERT_TRUE(ExpandCabinet(dir / "sp.cab", dir / "flat2", dir.path(), false).ok());
  EXPECT_EQ(ListFiles(dir / "flat2"), std::vector<std::string>{"UPDATE/update.exe"});
}

TEST(ExpandTest, NamesMergeWithExistingOnesWithoutRegardToCase) {
  TempDir dir;
  WriteFile(dir / "out/i386/dosnet.inf", "old content that is longer");
  fs::create_directories(dir / "out/i386/Sub");
  WriteFile(dir / "c.cab", BuildStoredCabinet({Member("I386\\DOSNET.INF", "new"), Member("I386\\SUB\\a.sys", "a"),
                                               Member("i386\\new\\b.sys", "b"), Member("I386\\NEW\\C.SYS", "c")}));
  ASSERT_TRUE(ExpandCabinet(dir / "c.cab", dir / "out", dir.path(), true).ok());
  EXPECT_EQ(ListFiles(dir / "out"),
            (std::vector<std::string>{"i386/Sub/a.sys", "i386/dosnet.inf", "i386/new/C.SYS", "i386/new/b.sys"}));
  EXPECT_EQ(ReadFile(dir / "out/i386/dosnet.inf"), "new");  // nothing of the old content survives
}

TEST(ExpandTest, NamesAreWindows1252OrUtf8AsMarked) {
  TempDir dir;
  CabMember ansi = Member("caf\xE9\\na\xEFve.txt", "1");
  CabMember utf8 = Member("\xC3\xA9t\xC3\xA9.txt", "2");
  utf8.attributes |= 0x80;
  WriteFile(dir / "c.cab", BuildStoredCabinet({ansi, utf8}));
  ASSERT_TRUE(ExpandCabinet(dir / "c.cab", dir / "out", dir.path(), true).ok());
  EXPECT_EQ(ListFiles(dir / "out"),
            (std::vector<std::string>{"caf\xC3\xA9/na\xC3\xAFve.txt", "\xC3\xA9t\xC3\xA9.txt"}));
  EXPECT_EQ(g_lastExpandedName, "\xC3\xA9t\xC3\xA9.txt");
}

TEST(ExpandTest, StoredTimeIsAppliedAsUtcAndAttributesAreNot) {
  TempDir dir;
  CabMember m = Member("locked.sys", "x");
  m.date = (23 << 9) | (7 << 5) | 15;    // 2003-07-15
  m.time = (13 << 11) | (45 << 5) | 11;  // 13:45:22
  m.attributes = 0x01 | 0x02 | 0x04 | 0x20;  // read-only, hidden, system, archive
  WriteFile(dir / "c.cab", BuildStoredCabinet({m}));
  ASSERT_TRUE(ExpandCabinet(dir / "c.cab", dir / "out", dir.path(), true).ok());
  std::tm expected{};
  expected.tm_year = 2003 - 1900;
  expected.tm_mon = 6;
  expected.tm_mday = 15;
  expected.tm_hour = 13;
  expected.tm_min = 45;
  expected.tm_sec = 22;
  const struct stat info = test::StatOf(dir / "out/locked.sys");
  EXPECT_EQ(info.st_mtime, ::timegm(&expected));
  EXPECT_EQ(info.st_atime, ::timegm(&expected));
  EXPECT_NE(info.st_mode & S_IWUSR, 0u);
}

TEST(ExpandTest, HostileNamesAreRefusedAndNothingLandsOutside) {
  const char* const kHostile[] = {"..\\evil.txt", "\\evil.txt", "/evil.txt", "C:evil.txt", "c:\\evil.txt",
                                  "a\\..\\..\\evil.txt", "..", "sub/../../evil.txt"};
  for (const char* name : kHostile) {
    SCOPED_TRACE(name);
    TempDir dir;
    WriteFile(dir / "c.cab", BuildStoredCabinet({Member("first.txt", "kept"), Member(name, "evil")}));
    fs::create_directories(dir / "dest/inner");
    const Status status = ExpandCabinet(dir / "c.cab", dir / "dest/inner", dir / "dest", true);
    EXPECT_EQ(status.kind(), Status::Kind::kInvalidArgument) << status.message();
    EXPECT_NE(status.message().find("outside the destination"), std::string::npos) << status.message();
    EXPECT_EQ(ListEntries(dir.path()), (std::vector<std::string>{"c.cab", "dest", "dest/inner", "dest/inner/first.txt"}));
  }
}

TEST(ExpandTest, DamagedMemberIsRemovedAndEarlierOnesStay) {
  TempDir dir;
  std::string cab = BuildStoredCabinet({Member("one.txt", "first"), Member("two.txt", "second")}, true);
  cab[cab.size() - 1] ^= 0x55;  // the last data byte: the checksum of the second folder fails
  WriteFile(dir / "c.cab", cab);
  const Status status = ExpandCabinet(dir / "c.cab", dir / "out", dir.path(), true);
  EXPECT_EQ(status.kind(), Status::Kind::kCorrupt);
  EXPECT_NE(status.message().find("two.txt"), std::string::npos) << status.message();
  EXPECT_EQ(ListFiles(dir / "out"), std::vector<std::string>{"one.txt"});
  EXPECT_EQ(g_lastExpandedName, "two.txt");
}

TEST(ExpandTest, EveryTruncationFailsCleanly) {
  TempDir dir;
  const std::string cab = BuildStoredCabinet({Member("a.txt", std::string(40000, 'a')), Member("b\\b.txt", "bb")});
  CabMember single = Member("only.dll", test::SampleText(70000));
  const std::string singleCab = BuildStoredCabinet({single});
  for (size_t length = 0; length < cab.size(); length += (length < 200 ? 1 : 97)) {
    SCOPED_TRACE(length);
    WriteFile(dir / "c.cab", kStub + cab.substr(0, length));
    EXPECT_FALSE(ExpandCabinet(dir / "c.cab", dir / "out", dir.path(), true).ok());
    fs::remove_all(dir / "out");
  }
  for (size_t length = 0; length < singleCab.size(); length += (length < 200 ? 1 : 97)) {
    SCOPED_TRACE(length);
    WriteFile(dir / "s.cab", singleCab.substr(0, length));
    ExpandedMember member;
    EXPECT_FALSE(ExpandToMemory(dir / "s.cab", member).ok());
    EXPECT_TRUE(member.bytes.empty());
  }
}

TEST(ExpandTest, ToMemoryGivesTheFirstMemberOfAnLzxFolderToo) {
  // The first member of this cabinet sits in an LZX folder.
  ExpandedMember member;
  TempDir dir;
  ASSERT_TRUE(ExpandCabinet(test::TestDataPath("cabs/mszip_lzx_qtm.cab"), dir / "out", dir.path(), true).ok());
  ASSERT_TRUE(ExpandToMemory(test::TestDataPath("cabs/mszip_lzx_qtm.cab"), member).ok());
  EXPECT_FALSE(member.name.empty());
  EXPECT_EQ(g_lastExpandedName, member.name);
  EXPECT_EQ(member.bytes, ReadFile(dir / "out" / member.name));
}

}  // namespace
}  // namespace kolvenar
