// kolvenar-cli compress and expand, as a user runs them.
#include <gtest/gtest.h>

#include "tests/cabinet/cabinet_test_util.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::RunCommand;
using test::TempDir;
using test::WriteFile;

std::string Cli(const std::string& args) { return std::string(KOLVENAR_CLI) + " " + args + " 2>&1"; }

TEST(CabinetCliTest, CompressThenExpandWithAndWithoutFolders) {
  TempDir dir;
  const std::string content = test::SampleText(100000);
  WriteFile(dir / "hal.dll", content);
  const std::string d = dir.path().string();
  std::string output;
  ASSERT_EQ(RunCommand(Cli("compress " + d + "/hal.dll " + d + "/HAL.DL_ 'system32\\hal.dll'"), &output), 0) << output;
  ASSERT_EQ(RunCommand(Cli("expand " + d + "/HAL.DL_ " + d + "/tree"), &output), 0) << output;
  EXPECT_TRUE(ReadFile(dir / "tree/system32/hal.dll") == content);

  // --flat creates no stored folder: this one then cannot be written.
  output.clear();
  EXPECT_EQ(RunCommand(Cli("expand --flat " + d + "/HAL.DL_ " + d + "/flat"), &output), 1);
  EXPECT_NE(output.find("kolvenar-cli: "), std::string::npos) << output;
  EXPECT_NE(output.find("system32"), std::string::npos) << output;
}

TEST(CabinetCliTest, FailuresExitNonZeroWithAReason) {
  TempDir dir;
  const std::string d = dir.path().string();
  WriteFile(dir / "plain.txt", "no cabinet here");
  std::string output;
  EXPECT_EQ(RunCommand(Cli("expand " + d + "/plain.txt " + d + "/out"), &output), 1);
  EXPECT_NE(output.find("not a cabinet (no signature)"), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(dir / "out"));

  output.clear();
  EXPECT_EQ(RunCommand(Cli("compress " + d + "/missing " + d + "/x.cab x"), &output), 1);
  EXPECT_NE(output.find("Something Failed! 1"), std::string::npos) << output;
  EXPECT_NE(output.find("missing"), std::string::npos) << output;

  EXPECT_NE(RunCommand(Cli("compress " + d + "/plain.txt")), 0);  // too few arguments
}

}  // namespace
}  // namespace kolvenar
