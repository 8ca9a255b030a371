// kolvenar-cli inf FILE SECTION, run as scripts run it.
#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
using test::RunCommand;
using test::TempDir;
using test::WriteFile;

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

int RunInf(const std::string& file, const std::string& section, std::string* output) {
  return RunCommand(std::string(KOLVENAR_CLI) + " inf " + Quoted(file) + " " + Quoted(section) + " 2>/dev/null",
                    output);
}

TEST(InfCommandTest, PrintsEveryLineAndFieldOfTheSection) {
  TempDir dir;
  // Windows-1252 text with a tab inside quotes, a backslash path and a [Strings] token.
  WriteFile(dir / "TXTSETUP.SIF",
            "[Version]\r\nSignature = \"$Windows NT$\"\r\n"
            "[SourceDisksNames.x86]\r\n"
            "_1 = %cdname%,\\win51ip,,\\i386\r\n"
            "d1,ntldr\r\n"
            "single\r\n"
            "k = \"caf\xE9\tbar\", \r\n"
            "[Strings]\r\ncdname = \"Windows XP CD\"\r\n");
  std::string output;
  EXPECT_EQ(RunInf((dir / "TXTSETUP.SIF").string(), "sourcedisksnames.X86", &output), 0);
  EXPECT_EQ(output,
            "section [sourcedisksnames.X86] count 4\n"
            "line 0 fieldcount 4\n"
            "line 0 field 0 [_1]\n"
            "line 0 field 1 [Windows XP CD]\n"
            "line 0 field 2 [\\\\win51ip]\n"
            "line 0 field 3 []\n"
            "line 0 field 4 [\\\\i386]\n"
            "line 1 fieldcount 2\n"
            "line 1 field 0 none\n"
            "line 1 field 1 [d1]\n"
            "line 1 field 2 [ntldr]\n"
            "line 2 fieldcount 1\n"
            "line 2 field 0 [single]\n"
            "line 2 field 1 [single]\n"
            "line 3 fieldcount 2\n"
            "line 3 field 0 [k]\n"
            "line 3 field 1 [caf\\xC3\\xA9\\x09bar]\n"
            "line 3 field 2 []\n");
}

TEST(InfCommandTest, MissingSectionAndUnopenableFile) {
  TempDir dir;
  WriteFile(dir / "good.inf", "[Version]\nSignature=$Chicago$\n[Empty]\n");
  WriteFile(dir / "bad.inf", "[Version]\nSignature=$Windows 3.1$\n[Empty]\n");
  struct Case {
    std::string file;
    std::string section;
    int status;
    std::string output;
  } cases[] = {
      {"good.inf", "Missing", 0, "section [Missing] count -1\n"},
      {"good.inf", "empty", 0, "section [empty] count 0\n"},
      {"good.inf", "a\\b", 0, "section [a\\\\b] count -1\n"},
      {"bad.inf", "Empty", 1, "open failed\n"},
      {"none.inf", "Empty", 1, "open failed\n"},
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(RunInf((dir / c.file).string(), c.section, &output), c.status) << c.file << " " << c.section;
    EXPECT_EQ(output, c.output) << c.file << " " << c.section;
  }
}

}  // namespace
}  // namespace kolvenar
