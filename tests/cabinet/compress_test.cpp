// CompressToCabinet: the layout it writes, round trips, failures and messages.
#include <fcntl.h>
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
using test::Get16;
using test::Get32;
using test::ListEntries;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

// 2011-05-06 07:08:09 UTC: an odd second, which DOS time rounds down.
constexpr time_t kSourceTime = 1304665689;

void SetTime(const fs::path& path, time_t when) {
  const timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

struct Recorder {
  std::vector<std::string> messages;
  MessageFn fn() {
    return [this](const std::string& text) { messages.push_back(text); };
  }
};

// The fields of a single-file MSZIP cabinet, checked against the format.
void ExpectSingleFileMszipLayout(const std::string& cab, const std::string& content, const std::string& name,
                                 uint16_t attributes) {
  ASSERT_GE(cab.size(), 60u);
  EXPECT_EQ(cab.substr(0, 8), std::string("MSCF\0\0\0\0", 8));
  EXPECT_EQ(Get32(cab, 8), cab.size());            // cbCabinet
  EXPECT_EQ(Get32(cab, 12), 0u);                   // reserved2
  EXPECT_EQ(Get32(cab, 16), 44u);                  // coffFiles: header 36 + one folder 8
  EXPECT_EQ(Get32(cab, 20), 0u);                   // reserved3
  EXPECT_EQ(cab[24], 3);                           // version 1.3
  EXPECT_EQ(cab[25], 1);
  EXPECT_EQ(Get16(cab, 26), 1);                    // cFolders
  EXPECT_EQ(Get16(cab, 28), 1);                    // cFiles
  EXPECT_EQ(Get16(cab, 30), 0);                    // flags: no reserve, no neighbours
  EXPECT_EQ(Get16(cab, 32), 0);                    // setID
  EXPECT_EQ(Get16(cab, 34), 0);                    // iCabinet
  const uint32_t dataOffset = Get32(cab, 36);
  const size_t blocks = (content.size() + 32767) / 32768;
  EXPECT_EQ(Get16(cab, 40), blocks);               // cCFData
  EXPECT_EQ(Get16(cab, 42), 1);                    // MSZIP
  EXPECT_EQ(Get32(cab, 44), content.size());       // cbFile
  EXPECT_EQ(Get32(cab, 48), 0u);                   // uoffFolderStart
  EXPECT_EQ(Get16(cab, 52), 0);                    // iFolder
  const struct tm* t = ::gmtime(&kSourceTime);
  EXPECT_EQ(Get16(cab, 54), ((t->tm_year - 80) << 9) | ((t->tm_mon + 1) << 5) | t->tm_mday);
  EXPECT_EQ(Get16(cab, 56), (t->tm_hour << 11) | (t->tm_min << 5) | (t->tm_sec / 2));
  EXPECT_EQ(Get16(cab, 58), attributes);
  EXPECT_EQ(cab.substr(60, name.size() + 1), name + '\0');
  ASSERT_EQ(dataOffset, 60 + name.size() + 1);
  size_t at = dataOffset;
  for (size_t b = 0; b < blocks; ++b) {
    SCOPED_TRACE(b);
    ASSERT_LE(at + 8, cab.size());
    const uint16_t compressed = Get16(cab, at + 4);
    const uint16_t uncompressed = Get16(cab, at + 6);
    EXPECT_EQ(uncompressed, b + 1 < blocks ? 32768 : content.size() - b * 32768);
    EXPECT_LE(compressed, 32768 + 12);
    ASSERT_LE(at + 8 + compressed, cab.size());
    EXPECT_EQ(cab.substr(at + 8, 2), "CK");
    EXPECT_EQ(Get32(cab, at), test::CabChecksum(cab, at + 4, 4, test::CabChecksum(cab, at + 8, compressed, 0)));
    at += 8 + compressed;
  }
  EXPECT_EQ(at, cab.size());
}

struct RoundTrip {
  const char* what;
  std::string content;
};

TEST(CompressTest, RoundTripKeepsBytesAndTheTimeToTwoSeconds) {
  const RoundTrip kCases[] = {
      {"empty", ""},
      {"one byte", "x"},
      {"one block less one", test::SampleText(32767)},
      {"exactly one block", test::SampleText(32768)},
      {"one block and one byte", test::SampleText(32769)},
      {"incompressible", test::RandomBytes(200000, 7)},
      {"a megabyte of text", test::SampleText(1 << 20)},
      {"runs of one byte", std::string(300000, '\0')},
  };
  for (const RoundTrip& c : kCases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir / "src/kernel32.dll", c.content);
    SetTime(dir / "src/kernel32.dll", kSourceTime);
    Recorder recorder;
    ASSERT_TRUE(CompressToCabinet(dir / "src/kernel32.dll", dir / "KERNEL32.DL_", "kernel32.dll", recorder.fn()).ok());
    EXPECT_TRUE(recorder.messages.empty());
    ExpectSingleFileMszipLayout(ReadFile(dir / "KERNEL32.DL_"), c.content, "kernel32.dll", 0x20);

    ASSERT_TRUE(ExpandCabinet(dir / "KERNEL32.DL_", dir / "out", dir.path(), false).ok());
    EXPECT_EQ(g_lastExpandedName, "kernel32.dll");
    EXPECT_TRUE(ReadFile(dir / "out/kernel32.dll") == c.content);
    EXPECT_EQ(test::StatOf(dir / "out/kernel32.dll").st_mtime, kSourceTime - 1);
    ExpandedMember member;
    ASSERT_TRUE(ExpandToMemory(dir / "KERNEL32.DL_", member).ok());
    EXPECT_EQ(member.name, "kernel32.dll");
    EXPECT_TRUE(member.bytes == c.content);
  }
}

TEST(CompressTest, AttributesSayReadOnlyWhenTheOwnerMayNotWrite) {
  TempDir dir;
  WriteFile(dir / "ro.txt", "r");
  SetTime(dir / "ro.txt", kSourceTime);
  fs::permissions(dir / "ro.txt", fs::perms::owner_read | fs::perms::group_read);
  ASSERT_TRUE(CompressToCabinet(dir / "ro.txt", dir / "ro.tx_", "ro.txt", {}).ok());
  ExpectSingleFileMszipLayout(ReadFile(dir / "ro.tx_"), "r", "ro.txt", 0x21);
}

TEST(CompressTest, ReplacesAnExistingFileAndStoresTheNameGiven) {
  TempDir dir;
  WriteFile(dir / "new.sys", "new version");
  WriteFile(dir / "i386/DRIVER.SY_", std::string(100000, 'o'));
  ASSERT_TRUE(CompressToCabinet(dir / "new.sys", dir / "i386/driver.sy_", "Driver.sys", {}).ok());
  // The existing file is matched without regard to case and replaced in place.
  EXPECT_EQ(ListEntries(dir / "i386"), std::vector<std::string>{"DRIVER.SY_"});
  ExpandedMember member;
  ASSERT_TRUE(ExpandToMemory(dir / "i386/DRIVER.SY_", member).ok());
  EXPECT_EQ(member.name, "Driver.sys");
  EXPECT_EQ(member.bytes, "new version");
}

TEST(CompressTest, NamesOutsideAsciiAreStoredAsWindows1252OrMarkedUtf8) {
  struct Case {
    const char* utf8;
    std::string stored;
    uint16_t attributes;
  };
  const Case kCases[] = {
      {"caf\xC3\xA9.txt", "caf\xE9.txt", 0x20},                          // é is in Windows-1252
      {"\xE6\x97\xA5\xE6\x9C\xAC.txt", "\xE6\x97\xA5\xE6\x9C\xAC.txt", 0xA0},  // 日本 is not
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.utf8);
    TempDir dir;
    WriteFile(dir / "s", "s");
    SetTime(dir / "s", kSourceTime);
    ASSERT_TRUE(CompressToCabinet(dir / "s", dir / "c.cab", c.utf8, {}).ok());
    ExpectSingleFileMszipLayout(ReadFile(dir / "c.cab"), "s", c.stored, c.attributes);
    ExpandedMember member;
    ASSERT_TRUE(ExpandToMemory(dir / "c.cab", member).ok());
    EXPECT_EQ(member.name, c.utf8);
  }
}

TEST(CompressTest, FailuresRaiseTheirMessageAndLeaveTheOldFile) {
  struct Case {
    const char* what;
    const char* source;
    const char* cabinet;
    std::string storedName;
    const char* message;
  };
  const Case kCases[] = {
      {"missing source", "missing.dll", "old.dl_", "a.dll", "Something Failed! 1"},
      {"source is a folder", "folder", "old.dl_", "a.dll", "Something Failed! 1"},
      {"stored name too long", "src.dll", "old.dl_", std::string(256, 'n'), "Something Failed! 1"},
      {"empty stored name", "src.dll", "old.dl_", "", "Something Failed! 1"},
      {"cabinet folder missing", "src.dll", "nowhere/x.dl_", "a.dll", "Something Failed! 2"},
      {"cabinet path is a folder", "src.dll", "folder", "a.dll", "Something Failed! 2"},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir / "src.dll", "content");
    WriteFile(dir / "old.dl_", "old cabinet");
    fs::create_directories(dir / "folder");
    const auto before = ListEntries(dir.path());
    Recorder recorder;
    const Status status = CompressToCabinet(dir / c.source, dir / c.cabinet, c.storedName, recorder.fn());
    EXPECT_FALSE(status.ok());
    EXPECT_FALSE(status.message().empty());
    EXPECT_EQ(recorder.messages, std::vector<std::string>{c.message});
    EXPECT_EQ(ReadFile(dir / "old.dl_"), "old cabinet");
    EXPECT_EQ(ListEntries(dir.path()), before);  // no temporary file left behind
  }
}

TEST(CompressTest, StoredNameOf255BytesIsTheLongestAccepted) {
  TempDir dir;
  WriteFile(dir / "s", "s");
  const std::string name(255, 'n');
  ASSERT_TRUE(CompressToCabinet(dir / "s", dir / "c.cab", name, {}).ok());
  ExpandedMember member;
  ASSERT_TRUE(ExpandToMemory(dir / "c.cab", member).ok());
  EXPECT_EQ(member.name, name);
}

}  // namespace
}  // namespace kolvenar
