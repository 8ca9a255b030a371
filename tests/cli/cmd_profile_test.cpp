#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
using test::ReadFile;
using test::RunCommand;
using test::TempDir;
using test::WriteFile;

std::string Quote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

int Cli(const std::string& args, std::string* out = nullptr) {
  return RunCommand(std::string(KOLVENAR_CLI) + " " + args + " 2>/dev/null", out);
}

TEST(CmdProfileTest, ReadsAndWritesOneKey) {
  TempDir dir;
  const std::string file = (dir / "DOSNET.INF").string();
  WriteFile(file, "[Version]\r\nDriverVer = 07/01/2001,5.1.2600.0\r\n[Other]\r\nx=1\r\n");

  std::string out;
  EXPECT_EQ(Cli("profile read " + Quote(file) + " version DRIVERVER", &out), 0);
  EXPECT_EQ(out, "07/01/2001,5.1.2600.0\n");
  out.clear();
  EXPECT_EQ(Cli("profile read " + Quote(file) + " Version Missing", &out), 0);
  EXPECT_EQ(out, "\n");

  EXPECT_EQ(Cli("profile write " + Quote(file) + " OptionalSrcDirs svcpack ''"), 0);
  EXPECT_EQ(Cli("profile write " + Quote(file) + " Version DriverVer " + Quote("\"a b\"")), 0);
  EXPECT_EQ(ReadFile(file),
            "[Version]\r\nDriverVer=\"a b\"\r\n[Other]\r\nx=1\r\n[OptionalSrcDirs]\r\nsvcpack=\r\n");
  out.clear();
  EXPECT_EQ(Cli("profile read " + Quote(file) + " Version DriverVer", &out), 0);
  EXPECT_EQ(out, "a b\n");
}

TEST(CmdProfileTest, ErrorsExitNonZero) {
  TempDir dir;
  const std::string missingFolder = (dir / "no/such.ini").string();
  struct Case {
    std::string args;
  } cases[] = {
      {"profile write " + Quote(missingFolder) + " s k v"},
      {"profile write " + Quote((dir / "a.ini").string()) + " s 'a=b' v"},
      {"profile read onlyone"},
      {"profile"},
  };
  for (const Case& c : cases) EXPECT_NE(Cli(c.args), 0) << c.args;
  std::string help;
  EXPECT_EQ(Cli("--help", &help), 0);
  EXPECT_NE(help.find("profile"), std::string::npos);
}

}  // namespace
}  // namespace kolvenar
