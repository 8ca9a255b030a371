#include "install/profile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "install/text_encoding.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(ProfileTest, ReadsWithTheWindowsRules) {
  const std::string file =
      "; leading comment\r\n"
      "[Version]\r\n"
      "DriverVer = 07/01/2001,5.1.2600.0  \r\n"
      "Quoted=\"Windows XP Professional\"\r\n"
      "Single='abc'\r\n"
      "Unbalanced=\"abc'\r\n"
      "OneQuote=\"\r\n"
      "Inner=a \"b\" c\r\n"
      "Semi=abc ; not a comment\r\n"
      "no equals sign here\r\n"
      "Dup=first\r\n"
      "dup=second\r\n"
      "Empty=\r\n"
      "\t Spaced Key \t=\t v \r\n"
      "[version]\r\n"
      "Second=only in the duplicate section\r\n"
      "[Other]\n"
      "LfOnly=yes\n"
      "Last=no line end";
  TempDir dir;
  WriteFile(dir / "DOSNET.INF", file);
  struct Case {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"Version", "DriverVer", "07/01/2001,5.1.2600.0"},
      {"VERSION", "driverver", "07/01/2001,5.1.2600.0"},  // names without regard to case
      {"Version", "Quoted", "Windows XP Professional"},
      {"Version", "Single", "abc"},
      {"Version", "Unbalanced", "\"abc'"},
      {"Version", "OneQuote", "\""},
      {"Version", "Inner", "a \"b\" c"},
      {"Version", "Semi", "abc ; not a comment"},
      {"Version", "no equals sign here", ""},
      {"Version", "Dup", "first"},
      {"Version", "Empty", ""},
      {"Version", "Spaced Key", "v"},
      {"Version", "Second", ""},  // only the first section of a name is searched
      {"Other", "LfOnly", "yes"},
      {"Other", "Last", "no line end"},
      {"Missing", "DriverVer", ""},
      {"Version", "Missing", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ReadProfileString(c.section, c.key, dir / "dosnet.inf"), c.value) << c.section << "/" << c.key;
  }
  EXPECT_EQ(ReadProfileString("Version", "DriverVer", dir / "absent.inf"), "");
}

TEST(ProfileTest, LongValuesAreCutTo511Characters) {
  TempDir dir;
  const std::string value(600, 'x');
  WriteFile(dir / "a.ini", "[s]\r\nk=\"" + value + "\"\r\nu=" + std::string(510, 'x') + "\xE9\xE9\r\n");
  EXPECT_EQ(ReadProfileString("s", "k", dir / "a.ini"), std::string(511, 'x'));
  // Characters, not bytes: the 511th is a whole "é".
  EXPECT_EQ(ReadProfileString("s", "u", dir / "a.ini"), std::string(510, 'x') + "\xC3\xA9");
}

TEST(ProfileTest, ReadsEveryEncoding) {
  TempDir dir;
  WriteFile(dir / "ansi.ini", "[Product Specification]\r\nProduct=Caf\xE9\r\n");
  WriteFile(dir / "utf8.ini", "\xEF\xBB\xBF[Product Specification]\r\nProduct=Caf\xC3\xA9\r\n");
  WriteFile(dir / "utf16.ini", "\xFF\xFE" + Utf8ToUtf16Le("[Product Specification]\r\nProduct=Caf\xC3\xA9\r\n"));
  for (const char* name : {"ansi.ini", "utf8.ini", "utf16.ini"}) {
    EXPECT_EQ(ReadProfileString("product specification", "PRODUCT", dir / name), "Caf\xC3\xA9") << name;
  }
}

TEST(ProfileTest, WritesChangeOnlyTheKeysLine) {
  struct Case {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
  } cases[] = {
      {"replace in place, key spelling kept", "[S]\r\nKey = old\r\nB=2\r\n", "s", "KEY", "new",
       "[S]\r\nKey=new\r\nB=2\r\n"},
      {"quotes written as passed", "[S]\r\nk=\"old\"\r\n", "S", "k", "\"C:\\a b\"", "[S]\r\nk=\"C:\\a b\"\r\n"},
      {"first of duplicate keys", "[S]\r\nk=1\r\nk=2\r\n", "S", "k", "3", "[S]\r\nk=3\r\nk=2\r\n"},
      {"first of duplicate sections", "[S]\r\na=1\r\n[S]\r\nk=2\r\n", "S", "k", "3",
       "[S]\r\na=1\r\nk=3\r\n[S]\r\nk=2\r\n"},
      {"LF line end kept", "[S]\nk=1\nz=2\n", "S", "k", "9", "[S]\nk=9\nz=2\n"},
      {"new key after the last entry", "[A]\r\nx=1\r\n; note\r\n\r\n[B]\r\ny=2\r\n", "A", "n", "v",
       "[A]\r\nx=1\r\n; note\r\nn=v\r\n\r\n[B]\r\ny=2\r\n"},
      {"new key in an empty section", "[A]\r\n\r\n[B]\r\n", "a", "n", "v", "[A]\r\nn=v\r\n\r\n[B]\r\n"},
      {"new key after a last line without end", "[A]\r\nx=1", "A", "n", "v", "[A]\r\nx=1\r\nn=v\r\n"},
      {"missing section appended", "[A]\r\nx=1\r\n", "OptionalSrcDirs", "svcpack", "",
       "[A]\r\nx=1\r\n[OptionalSrcDirs]\r\nsvcpack=\r\n"},
      {"missing final line end added first", "[A]\r\nx=1", "B", "k", "v", "[A]\r\nx=1\r\n[B]\r\nk=v\r\n"},
      {"empty file", "", "B", "k", "v", "[B]\r\nk=v\r\n"},
      {"same value leaves the file as it was", "[S]\r\n  k = \"v\"  \r\n", "S", "K", "\"v\"",
       "[S]\r\n  k = \"v\"  \r\n"},
      {"Windows-1252 bytes kept and written", "; \x80\xE9\x81\r\n[S]\r\nk=1\r\n", "S", "k", "caf\xC3\xA9",
       "; \x80\xE9\x81\r\n[S]\r\nk=caf\xE9\r\n"},
      {"UTF-8 file stays UTF-8", "\xEF\xBB\xBF[S]\r\nk=1\r\n", "S", "k", "\xC3\xA9",
       "\xEF\xBB\xBF[S]\r\nk=\xC3\xA9\r\n"},
      {"UTF-16LE file stays UTF-16LE", "\xFF\xFE" + Utf8ToUtf16Le("[S]\r\nk=1\r\n"), "S", "k", "\xC3\xA9",
       "\xFF\xFE" + Utf8ToUtf16Le("[S]\r\nk=\xC3\xA9\r\n")},
      {"UTF-16LE new section", "\xFF\xFE" + Utf8ToUtf16Le("[S]\r\nk=1"), "T", "n", "v",
       "\xFF\xFE" + Utf8ToUtf16Le("[S]\r\nk=1\r\n[T]\r\nn=v\r\n")},
  };
  for (const Case& c : cases) {
    TempDir dir;
    WriteFile(dir / "f.ini", c.before);
    const Status status = WriteProfileString(c.section, c.key, dir / "F.INI", c.value);
    EXPECT_TRUE(status.ok()) << c.name << ": " << status.message();
    EXPECT_EQ(ReadFile(dir / "f.ini"), c.after) << c.name;
    EXPECT_FALSE(fs::exists(dir / "F.INI")) << c.name << ": the file's own name is kept";
  }
}

TEST(ProfileTest, MissingFileIsCreatedWithExactlyTheNewSection) {
  TempDir dir;
  ASSERT_TRUE(WriteProfileString("SetupData", "SetupSourcePath", dir / "TXTSETUP.SIF", "\"\\INSTALLS\\XPPR\\\"").ok());
  EXPECT_EQ(ReadFile(dir / "TXTSETUP.SIF"), "[SetupData]\r\nSetupSourcePath=\"\\INSTALLS\\XPPR\\\"\r\n");
  EXPECT_EQ(ReadProfileString("setupdata", "setupsourcepath", dir / "TXTSETUP.SIF"), "\\INSTALLS\\XPPR\\");
}

TEST(ProfileTest, UnchangedValueDoesNotRewriteTheFile) {
  TempDir dir;
  WriteFile(dir / "a.ini", "[S]\r\nk=v\r\n");
  struct stat before {};
  ASSERT_EQ(::stat((dir / "a.ini").c_str(), &before), 0);
  ASSERT_TRUE(WriteProfileString("S", "k", dir / "a.ini", "v").ok());
  struct stat after {};
  ASSERT_EQ(::stat((dir / "a.ini").c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
}

TEST(ProfileTest, ModeIsKept) {
  TempDir dir;
  WriteFile(dir / "a.ini", "[S]\r\nk=v\r\n");
  ::chmod((dir / "a.ini").c_str(), 0640);
  ASSERT_TRUE(WriteProfileString("S", "k", dir / "a.ini", "w").ok());
  struct stat st {};
  ASSERT_EQ(::stat((dir / "a.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(ProfileTest, RefusedWritesLoseNothing) {
  TempDir dir;
  const std::string original = "[S]\r\nk=v\r\n";
  WriteFile(dir / "a.ini", original);
  WriteFile(dir / "ro.ini", original);
  ::chmod((dir / "ro.ini").c_str(), 0444);
  struct Case {
    const char* name;
    const char* file;
    const char* section;
    const char* key;
    const char* value;
    Status::Kind kind;
  } cases[] = {
      {"line break in the value", "a.ini", "S", "k", "a\r\n[X]", Status::Kind::kInvalidArgument},
      {"= in the key", "a.ini", "S", "a=b", "v", Status::Kind::kInvalidArgument},
      {"empty key", "a.ini", "S", " ", "v", Status::Kind::kInvalidArgument},
      {"] in the section", "a.ini", "S]", "k", "v", Status::Kind::kInvalidArgument},
      {"not in Windows-1252", "a.ini", "S", "k", "\xE2\x82\xAC\xE2\x98\x83", Status::Kind::kInvalidArgument},
      {"read-only file", "ro.ini", "S", "k", "w", Status::Kind::kIoError},
      {"missing folder", "no/such.ini", "S", "k", "w", Status::Kind::kIoError},
  };
  for (const Case& c : cases) {
    const Status status = WriteProfileString(c.section, c.key, dir / c.file, c.value);
    EXPECT_EQ(status.kind(), c.kind) << c.name << ": " << status.message();
    EXPECT_FALSE(status.message().empty()) << c.name;
  }
  EXPECT_EQ(ReadFile(dir / "a.ini"), original);
  EXPECT_EQ(ReadFile(dir / "ro.ini"), original);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

}  // namespace
}  // namespace kolvenar
