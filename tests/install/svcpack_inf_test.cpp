#include "install/svcpack_inf.h"

#include <gtest/gtest.h>

#include "install/text_encoding.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

TEST(SvcpackInfTest, HeaderThroughTheProfileWriter) {
  TempDir dir;
  ASSERT_TRUE(WriteSvcpackInfHeader(dir / "SVCPACK.INF", "5.1.2600.2180").ok());
  EXPECT_EQ(ReadFile(dir / "SVCPACK.INF"),
            "[Version]\r\nSignature=\"$Windows NT$\"\r\nMajorVersion=5\r\nMinorVersion=1\r\nBuildNumber=2600\r\n"
            "[SetupData]\r\nCatalogSubDir=\"I386\\SVCPACK\"\r\n");
  ASSERT_TRUE(AppendToFile(dir / "SVCPACK.INF", "[SetupHotfixesToRun]\r\n").ok());
  EXPECT_TRUE(ReadFile(dir / "SVCPACK.INF").ends_with("\"I386\\SVCPACK\"\r\n[SetupHotfixesToRun]\r\n"));
  // Appending never creates the file; a folder that is missing is an error.
  EXPECT_FALSE(AppendToFile(dir / "MISSING.INF", "x").ok());
  EXPECT_FALSE(fs::exists(dir / "MISSING.INF"));
  const Status s = WriteSvcpackInfHeader(dir / "no/such/SVCPACK.INF", "5.1");
  EXPECT_FALSE(s.ok());
  EXPECT_NE(s.message().find("SVCPACK.INF"), std::string::npos) << s.message();
}

TEST(SvcpackInfTest, RegistersTheSvcpackFolder) {
  const std::string head = "[Version]\r\nSignature=\"$Windows NT$\"\r\n\r\n";
  struct Case {
    const char* what;
    std::string before;
    std::string after;
  } cases[] = {
      {"no section: made at the end", head + "[Files]\r\nd1,a.dll\r\n",
       head + "[Files]\r\nd1,a.dll\r\n[OptionalSrcDirs]\r\nsvcpack\r\n"},
      {"no final line end", head + "[Files]\r\nd1,a.dll", head + "[Files]\r\nd1,a.dll\r\n[OptionalSrcDirs]\r\nsvcpack\r\n"},
      {"section with other folders", head + "[OptionalSrcDirs]\r\nlang\r\n\r\n[Files]\r\n",
       head + "[OptionalSrcDirs]\r\nlang\r\nsvcpack\r\n\r\n[Files]\r\n"},
      {"the marker text elsewhere is left alone", head + "; svcpack=$kolvenar$\r\n",
       head + "; svcpack=$kolvenar$\r\n[OptionalSrcDirs]\r\nsvcpack\r\n"},
      {"the line is there already", head + "[optionalsrcdirs]\r\n  SVCPACK  \r\n", head + "[optionalsrcdirs]\r\n  SVCPACK  \r\n"},
      {"svcpack in another section does not count", head + "[Other]\r\nsvcpack\r\n",
       head + "[Other]\r\nsvcpack\r\n[OptionalSrcDirs]\r\nsvcpack\r\n"},
  };
  TempDir dir;
  for (const Case& c : cases) {
    WriteFile(dir / "DOSNET.INF", c.before);
    Problems problems;
    ASSERT_TRUE(RegisterSvcpackFolder(dir / "DOSNET.INF", problems).ok()) << c.what;
    EXPECT_EQ(ReadFile(dir / "DOSNET.INF"), c.after) << c.what;
    EXPECT_TRUE(problems.empty()) << c.what;
  }
  // A UTF-16LE file gets the line in its own encoding.
  const std::string bom = "\xFF\xFE";
  WriteFile(dir / "DOSNET.INF", bom + Utf8ToUtf16Le(head));
  Problems problems;
  ASSERT_TRUE(RegisterSvcpackFolder(dir / "dosnet.inf", problems).ok());
  EXPECT_EQ(ReadFile(dir / "DOSNET.INF"), bom + Utf8ToUtf16Le(head + "[OptionalSrcDirs]\r\nsvcpack\r\n"));
  EXPECT_FALSE(fs::exists(dir / "DOSNET.INF.kolvenar-new"));
}

}  // namespace
}  // namespace kolvenar
