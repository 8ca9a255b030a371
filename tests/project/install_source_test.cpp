#include "project/install_source.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {

struct IdCase {
  const char* name;
  const char* id;
};

TEST(MakeSystemId, DerivesTheShortIdentifierFromTheProductName) {
  const IdCase cases[] = {
      {"Windows XP Professional", "WXPP"},
      {"Windows 2000 Professional", "W2KP"},
      {"Windows Server 2003", "WS2K"},
      {"Windows XP", "WXP"},
      {"Windows", "Wind"},
      {"", ""},
      {"  Windows \t XP\tHome  ", "WXPH"},   // runs of blanks and tabs are one separator
      {"Windows 100 Edition", "W1KE"},       // "00" becomes " K " too
      {"Windows 20000 Server", "W2K0"},      // "000" first, matches do not overlap
      {"Windows NT 4.0 Workstation", "WNT4"},
      {"a bb ccc dddd", "abbc"},             // a two-character word gives both characters
      {"Windows Ärger Edition", "WÄEd"},     // characters, not bytes
  };
  for (const IdCase& c : cases) EXPECT_EQ(MakeSystemId(c.name), c.id) << c.name;
}

TEST(MakeCdSystemId, IsFourUpperCaseCharactersAndUniqueInTheProject) {
  struct Case {
    const char* name;
    std::vector<std::string> taken;
    const char* id;
  };
  std::vector<std::string> allDigits = {"WXPP"};
  for (char c = '1'; c <= '9'; ++c) allDigits.push_back(std::string("WXP") + c);
  std::vector<std::string> everything = allDigits;
  for (char c = 'A'; c <= 'Z'; ++c) everything.push_back(std::string("WXP") + c);
  const Case cases[] = {
      {"Windows XP Professional", {}, "WXPP"},
      {"Windows XP", {}, "WXP_"},
      {"Windows", {}, "WIND"},
      {"", {}, "____"},
      {"Windows Ärger Edition", {}, "W_ED"},      // a letter the CD names cannot hold
      {"Win a/b", {}, "WA_B"},                     // no folder separator in an id
      {"Windows XP Professional", {"WXPP"}, "WXP1"},
      {"Windows XP Professional", {"WXPP", "WXP1", "WXP2"}, "WXP3"},
      {"Windows XP Professional", allDigits, "WXPA"},
      {"Windows XP Professional", everything, ""},
      {"Windows XP", {"WXP_"}, "WXP1"},
  };
  for (const Case& c : cases) EXPECT_EQ(MakeCdSystemId(c.name, c.taken), c.id) << c.name;
}

TEST(BuildFromDriverVer, KeepsWhatFollowsTheFirstComma) {
  EXPECT_EQ(BuildFromDriverVer("07/01/2001,5.1.2600.0"), "5.1.2600.0");
  EXPECT_EQ(BuildFromDriverVer("5.0"), "5.0");
  EXPECT_EQ(BuildFromDriverVer("a,b,c"), "b,c");
  EXPECT_EQ(BuildFromDriverVer(""), "");
}

class DetectInstallSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_systemCount = 0;
  }
  void TearDown() override { g_systemCount = 0; }
  test::TempDir m_dir;
};

TEST_F(DetectInstallSourceTest, ReadsNameAndBuildWhateverTheCaseOfTheNames) {
  test::WriteFile(m_dir / "src/i386/dosnet.inf",
                  "[Version]\r\nSignature=\"$Windows NT$\"\r\nDriverVer=07/01/2001,5.1.2600.0\r\n");
  test::WriteFile(m_dir / "src/i386/prodspec.ini", "[Product Specification]\r\nProduct=Windows XP Professional\r\n");
  const DetectedSource detected = DetectInstallSource(m_dir / "src");
  ASSERT_TRUE(detected.ok()) << detected.status.message();
  EXPECT_EQ(detected.name, "Windows XP Professional");
  EXPECT_EQ(detected.build, "5.1.2600.0");
}

TEST_F(DetectInstallSourceTest, MissingKeysGiveEmptyTexts) {
  test::WriteFile(m_dir / "src/I386/DOSNET.INF", "[Version]\r\n");
  test::WriteFile(m_dir / "src/I386/PRODSPEC.INI", "[Other]\r\n");
  const DetectedSource detected = DetectInstallSource(m_dir / "src");
  ASSERT_TRUE(detected.ok());
  EXPECT_EQ(detected.name, "");
  EXPECT_EQ(detected.build, "");
}

TEST_F(DetectInstallSourceTest, RefusesAFolderWithoutBothInformationFiles) {
  test::WriteFile(m_dir / "a/I386/DOSNET.INF", "[Version]\r\n");
  test::WriteFile(m_dir / "b/I386/PRODSPEC.INI", "[Product Specification]\r\n");
  test::WriteFile(m_dir / "c/I386/DOSNET.INF", "[Version]\r\n");
  std::filesystem::create_directories(m_dir / "c/I386/PRODSPEC.INI");  // a folder, not a file
  for (const char* folder : {"a", "b", "c", "missing"}) {
    const DetectedSource detected = DetectInstallSource(m_dir / folder);
    EXPECT_FALSE(detected.ok()) << folder;
    EXPECT_NE(detected.status.message().find(folder), std::string::npos) << detected.status.message();
  }
}

TEST_F(DetectInstallSourceTest, PrepareSystemEntryGivesAFreeIdAndRefusesAFullTable) {
  test::WriteFile(m_dir / "src/I386/DOSNET.INF", "[Version]\r\nDriverVer=x,5.1.2600.0\r\n");
  test::WriteFile(m_dir / "src/I386/PRODSPEC.INI", "[Product Specification]\r\nProduct=Windows XP Professional\r\n");
  g_systems[0].id = "WXPP";
  g_systemCount = 1;
  SYSTEM_ENTRY entry;
  entry.servicePack = "old.exe";
  entry.postInstallSelected[3] = true;
  ASSERT_TRUE(PrepareSystemEntry(m_dir / "src", entry).ok());
  EXPECT_EQ(entry.id, "WXP1");
  EXPECT_EQ(entry.name, "Windows XP Professional");
  EXPECT_EQ(entry.build, "5.1.2600.0");
  EXPECT_EQ(entry.sourcePath, (m_dir / "src").string());
  EXPECT_EQ(entry.servicePack, "");
  EXPECT_FALSE(entry.postInstallSelected[3]);

  g_systemCount = kMaxSystems;
  SYSTEM_ENTRY untouched;
  untouched.name = "kept";
  EXPECT_FALSE(PrepareSystemEntry(m_dir / "src", untouched).ok());
  EXPECT_EQ(untouched.name, "kept");
}

}  // namespace
}  // namespace kolvenar
