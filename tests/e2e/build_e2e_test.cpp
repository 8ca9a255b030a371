// From demo install sources to a booted CD: kolvenar-cli make-demo-source and
// build, the image read back with isoinfo, each menu letter booted under QEMU.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_fixtures.h"

namespace kolvenar::test {
namespace {
namespace fs = std::filesystem;

constexpr const char* kPrompt = "Please make a selection and press [enter]:";

class BuildE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"isoinfo", "gcab"}) {
      if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup.sh installs it)";
    }
  }

  void MakeSource(const std::string& folder, const std::string& options) {
    std::string output;
    ASSERT_EQ(RunCli("make-demo-source " + Quote(m_dir / folder) + " " + options, &output), 0) << output;
  }

  // Checks the layout of one system on the image, and returns its boot folder's TXTSETUP.SIF.
  void ExpectSystemLayout(const std::vector<std::string>& paths, const std::string& id, const std::string& tag) {
    SCOPED_TRACE(id);
    for (const std::string& path : {"/INSTALLS/" + id + "/I386/DOSNET.INF", "/INSTALLS/" + id + "/I386/TXTSETUP.SIF",
                                    "/INSTALLS/" + id + "/I386/SYSTEM32/SMSS.EXE", "/" + id + "/BOOTFIX.BIN",
                                    "/" + id + "/SETUPLDR.BIN", "/" + id + "/TXTSETUP.SIF",
                                    "/" + id + "/NTDETECT.COM", "/" + tag}) {
      EXPECT_TRUE(Contains(paths, path)) << path;
    }
    const std::string sif = IsoFile(m_iso, "/" + id + "/TXTSETUP.SIF");
    EXPECT_NE(sif.find("SetupSourcePath=\"\\INSTALLS\\" + id + "\\\""), std::string::npos) << sif;
    const std::string loader = IsoFile(m_iso, "/" + id + "/SETUPLDR.BIN");
    EXPECT_GT(loader.size(), 65536u);
    EXPECT_EQ(loader.find("I386"), std::string::npos);
    EXPECT_NE(loader.find(id), std::string::npos);
  }

  void ExpectBootsInto(char letter, const std::string& id, const std::vector<std::string>& menuLines) {
    if (!HaveProgram("qemu-system-i386")) GTEST_SKIP() << "qemu-system-i386 is not installed";
    const std::string screen = BootMenuLetter(m_iso, kPrompt, letter, m_dir / ("qemu-" + std::string(1, letter)));
    EXPECT_NE(screen.find("LOADER id=" + id + " dl=E0 end=OK"), std::string::npos)
        << "menu letter " << letter << "\n" << screen;
    for (const std::string& line : menuLines) EXPECT_NE(screen.find(line + "\n"), std::string::npos) << line << "\n" << screen;
  }

  TempDir m_dir;
  fs::path m_iso = m_dir / "cd.iso";
};

TEST_F(BuildE2eTest, TwoSystemsEachBootFromTheirOwnFolder) {
  MakeSource("xp", "--name 'Windows XP Professional'");
  MakeSource("w2k", "--name 'Windows 2000 Professional' --version 5.0.2195.6717 --lower-case --compressed-boot-files");

  std::string output;
  ASSERT_EQ(RunCli("build --temp " + Quote(m_dir / "work") + " --iso " + Quote(m_iso) + " --system " +
                       Quote(m_dir / "xp") + " --system " + Quote(m_dir / "w2k"),
                   &output),
            0)
      << output;
  for (const char* line : {"Copying Files...", "Creating CD...", "CD Image Created.", "[A] Windows XP Professional",
                           "[B] Windows 2000 Professional", m_iso.c_str()}) {
    EXPECT_NE(output.find(line), std::string::npos) << line << "\n" << output;
  }
  EXPECT_EQ(output.find("problem:"), std::string::npos) << output;

  const std::vector<std::string> paths = IsoPaths(m_iso);
  ExpectSystemLayout(paths, "WXPP", "WIN51WXPP");
  ExpectSystemLayout(paths, "W2KP", "WIN50W2KP");
  // Boot files that the source holds only compressed reach the boot folder compressed.
  EXPECT_TRUE(Contains(paths, "/W2KP/NTKRNLMP.EX_"));
  EXPECT_TRUE(Contains(paths, "/WXPP/NTKRNLMP.EXE"));
  // The tag of a boot floppy is not made; the boot sector lies outside the tree.
  EXPECT_FALSE(Contains(paths, "/DISK101"));
  EXPECT_FALSE(Contains(paths, "/BOOTSECTOR.BIN"));
  EXPECT_TRUE(fs::exists(m_dir / "work" / "BOOTSECTOR.BIN"));

  const std::vector<std::string> menu = {"Windows Multiboot CD", "[A] Windows XP Professional",
                                         "[B] Windows 2000 Professional"};
  ExpectBootsInto('b', "W2KP", menu);
  ExpectBootsInto('a', "WXPP", menu);
}

TEST_F(BuildE2eTest, RefusesATemporaryFolderThatHoldsFiles) {
  MakeSource("xp", "--name 'Windows XP Professional'");
  WriteFile(m_dir / "work" / "sub" / "old.txt", "keep me");
  std::string output;
  EXPECT_NE(RunCli("build --temp " + Quote(m_dir / "work") + " --iso " + Quote(m_iso) + " --system " +
                       Quote(m_dir / "xp"),
                   &output),
            0);
  EXPECT_NE(output.find("Please select an empty directory."), std::string::npos) << output;
  EXPECT_EQ(ReadFile(m_dir / "work" / "sub" / "old.txt"), "keep me");
  EXPECT_FALSE(fs::exists(m_dir / "work" / "ROOT"));
  EXPECT_FALSE(fs::exists(m_iso));
}

TEST_F(BuildE2eTest, RefusesAFolderThatIsNoInstallSource) {
  fs::create_directories(m_dir / "empty");
  std::string output;
  EXPECT_NE(RunCli("build --temp " + Quote(m_dir / "work") + " --iso " + Quote(m_iso) + " --system " +
                       Quote(m_dir / "empty"),
                   &output),
            0);
  EXPECT_NE(output.find("Could not file information files in that directory."), std::string::npos) << output;
  EXPECT_FALSE(fs::exists(m_dir / "work"));
}

}  // namespace
}  // namespace kolvenar::test
