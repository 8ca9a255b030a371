#include "boot/inf_reader.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
using test::TempDir;
using test::WriteFile;

constexpr char kVersion[] = "[Version]\r\nSignature=\"$Windows NT$\"\r\n";

// One line as the reader gives it: field 0 (nullopt when the line has none) and
// fields 1 to the field count.
struct ReadLine {
  std::optional<std::string> field0;
  std::vector<std::string> fields;
  bool operator==(const ReadLine&) const = default;
};

std::ostream& operator<<(std::ostream& out, const ReadLine& line) {
  out << "{" << (line.field0 ? "[" + *line.field0 + "]" : "none");
  for (const std::string& field : line.fields) out << ", [" << field << "]";
  return out << "}";
}

std::vector<ReadLine> ReadSection(const InfFile& inf, const std::string& section) {
  std::vector<ReadLine> lines;
  for (int i = 0; i < inf.LineCount(section); ++i) {
    const InfLine line = *inf.LineByIndex(section, i);
    ReadLine read{inf.StringField(line, 0), {}};
    for (int k = 1; k <= inf.FieldCount(line); ++k) read.fields.push_back(inf.StringField(line, k).value());
    EXPECT_FALSE(inf.StringField(line, inf.FieldCount(line) + 1).has_value());
    lines.push_back(std::move(read));
  }
  return lines;
}

ReadLine Key(std::string key, std::vector<std::string> fields) { return {std::move(key), std::move(fields)}; }
ReadLine NoKey(std::vector<std::string> fields) { return {std::nullopt, std::move(fields)}; }
ReadLine Single(const std::string& field) { return {field, {field}}; }

TEST(InfReaderTest, LineSyntax) {
  const std::string longField(600, 'x');
  struct Case {
    const char* what;
    std::string body;  // the lines of section [s]
    std::vector<ReadLine> expected;
  } cases[] = {
      {"key and fields", "k = a, b\r\n", {Key("k", {"a", "b"})}},
      {"fields alone", "d1,ntldr\r\n", {NoKey({"d1", "ntldr"})}},
      {"one field alone is also field 0", "ntdetect.com\r\n", {Single("ntdetect.com")}},
      {"empty fields and trailing comma", "a,,c,\r\n", {NoKey({"a", "", "c", ""})}},
      {"key with nothing after =", "k =\r\n", {Key("k", {""})}},
      {"trimmed, inner blanks kept", " \t k  =  a  b ,\tc \t\r\n", {Key("k", {"a  b", "c"})}},
      {"quotes keep commas and blanks", "\"a, b\" , \" c \"\r\n", {NoKey({"a, b", " c "})}},
      {"doubled quote inside quotes", "\"a\"\"b\"\r\n", {Single("a\"b")}},
      {"quoted and plain parts join", "\"a\" b \"c\"\r\n", {Single("a b c")}},
      {"empty quotes are an empty field", "k = \"\", x\r\n", {Key("k", {"", "x"})}},
      {"unterminated quote ends with the line", "k = \"a, b\r\nnext\r\n", {Key("k", {"a, b"}), Single("next")}},
      {"single quotes are ordinary", "'a,b'\r\n", {NoKey({"'a", "b'"})}},
      {"semicolon starts a comment", "k = a ; b, c\r\n", {Key("k", {"a"})}},
      {"semicolon inside quotes", "k = \"a;b\" ; c\r\n", {Key("k", {"a;b"})}},
      {"comment and blank lines are no lines", "; note\r\n\r\n   \t\r\n  ;x = y\r\nk=v\r\n", {Key("k", {"v"})}},
      {"backslash at the end joins the next line", "d1,a\\\r\nb, c\r\n", {NoKey({"d1", "ab", "c"})}},
      {"backslash inside a line is a character", "k = \\I386\\, x\\y\r\n", {Key("k", {"\\I386\\", "x\\y"})}},
      {"quoted key may hold =", "\"a=b\" = c\r\n", {Key("a=b", {"c"})}},
      {"= after a comma is a character", "a, b = c\r\n", {NoKey({"a", "b = c"})}},
      {"second = is a character", "k = a = b\r\n", {Key("k", {"a = b"})}},
      {"LF line ends", "a = 1\nb = 2\n", {Key("a", {"1"}), Key("b", {"2"})}},
      {"no final line end", "a = 1", {Key("a", {"1"})}},
      {"long field is cut", "k = " + longField + "\r\n", {Key("k", {std::string(511, 'x')})}},
      {"text after a header is ignored", "a = 1\r\n[t] ; other\r\nb = 2\r\n", {Key("a", {"1"})}},
  };
  for (const Case& c : cases) {
    InfFile inf;
    ASSERT_TRUE(inf.OpenBytes(std::string(kVersion) + "[s]\r\n" + c.body, "test.inf").ok()) << c.what;
    EXPECT_EQ(ReadSection(inf, "s"), c.expected) << c.what;
  }
}

TEST(InfReaderTest, StringsAreSubstitutedWhenFieldsAreRead) {
  struct Case {
    const char* what;
    std::string line;
    ReadLine expected;
  } cases[] = {
      {"in key, plain and quoted fields", "%Tag% = %tag%, \"<%TAG%>\"", Key("\\win51ip", {"\\win51ip", "<\\win51ip>"})},
      {"a value with commas stays one field", "k = %list%, z", Key("k", {"a, b", "z"})},
      {"unknown token stays", "k = %nope%, 50%", Key("k", {"%nope%", "50%"})},
      {"%% is one percent", "k = 100%%, %%tag%%", Key("k", {"100%", "%tag%"})},
      {"no recursion", "k = %indirect%", Key("k", {"%tag%"})},
      {"first definition holds", "k = %twice%", Key("k", {"first"})},
      {"cut after substitution", "k = %long%%long%", Key("k", {std::string(511, 'y')})},
  };
  const std::string strings = "[Strings]\r\ntag = \"\\win51ip\"\r\nlist = \"a, b\"\r\nindirect = %tag%\r\n"
                              "twice = first\r\nTWICE = second\r\nlong = " +
                              std::string(300, 'y') + "\r\n";
  for (const Case& c : cases) {
    InfFile inf;
    ASSERT_TRUE(inf.OpenBytes(std::string(kVersion) + "[s]\r\n" + c.line + "\r\n" + strings, "t.inf").ok());
    EXPECT_EQ(ReadSection(inf, "s"), std::vector<ReadLine>{c.expected}) << c.what;
  }
}

TEST(InfReaderTest, SectionsMatchWithoutRegardToCaseAndMerge) {
  InfFile inf;
  ASSERT_TRUE(inf.OpenBytes("x = before any section\r\n[version]\r\nsignature = $chicago$\r\n"
                            "[FloppyFiles.0]\r\nd1,a\r\n[Other]\r\n[floppyfiles.0]\r\nd1,b\r\n[Empty]\r\n; only a note\r\n",
                            "t.inf")
                  .ok());
  EXPECT_EQ(ReadSection(inf, "FLOPPYFILES.0"), (std::vector<ReadLine>{NoKey({"d1", "a"}), NoKey({"d1", "b"})}));
  EXPECT_EQ(inf.LineCount("empty"), 0);
  EXPECT_EQ(inf.LineCount("Missing"), -1);
  EXPECT_FALSE(inf.LineByIndex("FloppyFiles.0", 2).has_value());
  EXPECT_FALSE(inf.LineByIndex("FloppyFiles.0", -1).has_value());
  EXPECT_EQ(inf.SectionNames(), (std::vector<std::string>{"version", "FloppyFiles.0", "Other", "Empty"}));
}

TEST(InfReaderTest, OpensOnlyWindows4StyleFiles) {
  struct Case {
    std::string text;
    bool opens;
  } cases[] = {
      {"[Version]\r\nSignature=\"$Windows NT$\"\r\n", true},
      {"[VERSION]\r\nsignature = $WINDOWS NT$\r\n", true},
      {"[Version]\r\nSignature=$Chicago$\r\n", true},
      {"[Version]\r\nClass=x\r\nSignature=\"$windows 95$\"\r\n", true},
      {"[Version]\r\nSignature=\"$Windows 3.1$\"\r\n", false},
      {"[Version]\r\nClass=Display\r\n", false},
      {"[Strings]\r\nSignature=\"$Windows NT$\"\r\n", false},
      {"[Version]\r\nSignature=\r\n", false},
      {"", false},
      {"\x01\x02\xFF garbage", false},
  };
  for (const Case& c : cases) {
    InfFile inf;
    const Status status = inf.OpenBytes(c.text + "[s]\r\nk=v\r\n", "setup.inf");
    EXPECT_EQ(status.ok(), c.opens) << c.text;
    EXPECT_EQ(inf.LineCount("s"), c.opens ? 1 : -1) << c.text;
    if (!c.opens) EXPECT_NE(status.message().find("setup.inf"), std::string::npos);
  }
}

TEST(InfReaderTest, ReadsAnsiUtf8AndUtf16Files) {
  // "k = café" in each encoding the install sources use.
  const std::string ansi = std::string(kVersion) + "[s]\r\nk = caf\xE9\r\n";
  const std::string utf8 = "\xEF\xBB\xBF" + std::string(kVersion) + "[s]\r\nk = caf\xC3\xA9\r\n";
  std::string utf16 = "\xFF\xFE";
  for (const char c : std::string(kVersion) + "[s]\r\nk = caf") utf16 += {c, '\0'};
  utf16 += "\xE9";
  utf16 += std::string("\0\r\0\n\0", 5);
  for (const std::string& bytes : {ansi, utf8, utf16}) {
    InfFile inf;
    ASSERT_TRUE(inf.OpenBytes(bytes, "t.inf").ok());
    EXPECT_EQ(ReadSection(inf, "s"), std::vector<ReadLine>{Key("k", {"caf\xC3\xA9"})});
  }
}

TEST(InfReaderTest, OpenReportsFileProblemsAndStaysClosed) {
  TempDir dir;
  InfFile inf;
  const Status missing = inf.Open(dir / "DOSNET.INF");
  EXPECT_EQ(missing.kind(), Status::Kind::kNotFound);
  EXPECT_NE(missing.message().find("DOSNET.INF"), std::string::npos);
  EXPECT_FALSE(inf.Open(dir.path()).ok());  // a folder
  EXPECT_EQ(inf.LineCount("Version"), -1);

  // The name is looked up without regard to case; closing forgets the file.
  WriteFile(dir / "i386/dosnet.inf", std::string(kVersion) + "[FloppyFiles.0]\r\nd1,ntldr\r\n");
  ASSERT_TRUE(inf.Open(dir / "I386/DOSNET.INF").ok());
  EXPECT_EQ(inf.LineCount("floppyfiles.0"), 1);
  const InfLine line = *inf.LineByIndex("FloppyFiles.0", 0);
  inf.Close();
  EXPECT_EQ(inf.LineCount("FloppyFiles.0"), -1);
  EXPECT_FALSE(inf.StringField(line, 1).has_value());
}

TEST(InfReaderTest, HostileTextNeverBreaksIt) {
  const std::string cases[] = {
      "[", "[Version", "\"", "\\", "%", "%%%", "=", ",", "=,=,=", "[]", "[s]\\", "[s]\r\n\"\\",
      std::string("[s]\r\na\0b=c\x1A tail", 16), "[s]\r\n" + std::string(100000, ',')};
  for (const std::string& body : cases) {
    InfFile inf;
    ASSERT_TRUE(inf.OpenBytes(std::string(kVersion) + body, "t.inf").ok()) << body;
    for (const std::string& section : inf.SectionNames()) ReadSection(inf, section);
  }
  InfFile inf;
  ASSERT_TRUE(inf.OpenBytes(std::string(kVersion) + "[s]\r\n" + std::string(100000, ','), "t.inf").ok());
  EXPECT_EQ(inf.FieldCount(*inf.LineByIndex("s", 0)), 100001);
  // NULs are dropped and Ctrl-Z ends the file, as in DOS text files.
  ASSERT_TRUE(inf.OpenBytes(std::string(kVersion) + std::string("[s]\r\na\0b=c\x1A\r\nd=e\r\n", 18), "t.inf").ok());
  EXPECT_EQ(ReadSection(inf, "s"), std::vector<ReadLine>{Key("ab", {"c"})});
}

// A TXTSETUP.SIF of real size: every line must be indexed and read back. The time
// it takes is measured by bench/inf_reader_bench.sh, not here.
TEST(InfReaderTest, ReadsALargeSetupFile) {
  std::string text = std::string(kVersion) + "[SourceDisksFiles]\r\n";
  for (int i = 0; i < 20000; ++i) {
    text += "file" + std::to_string(i) + ".sys = 1,,,,,,%cd%_x,4,1,,,1,4\r\n";
  }
  text += "[Strings]\r\ncd = \"3\"\r\n";
  InfFile inf;
  ASSERT_TRUE(inf.OpenBytes(text, "TXTSETUP.SIF").ok());
  ASSERT_EQ(inf.LineCount("SourceDisksFiles"), 20000);
  const InfLine last = *inf.LineByIndex("SourceDisksFiles", 19999);
  EXPECT_EQ(inf.StringField(last, 0), "file19999.sys");
  EXPECT_EQ(inf.FieldCount(last), 13);
  EXPECT_EQ(inf.StringField(last, 7), "3_x");
}

}  // namespace
}  // namespace kolvenar
