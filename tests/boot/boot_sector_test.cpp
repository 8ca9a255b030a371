// WriteBootMenuSector and InstallBootfix: the bytes they write, which bytes of
// the carried image change, the limits, and how the files are written.
#include "boot/boot_sector.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "boot/images/embedded_images.h"
#include "project/project_state.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {

using test::ReadFile;
using test::TempDir;
using test::WriteFile;

const std::string kTitle = "Windows Multiboot CD";
const std::string kPrompt = "Please make a selection and press [enter]:";

std::string Carried() {
  const auto image = BootSectorImage();
  return std::string(reinterpret_cast<const char*>(image.data()), image.size());
}

// The offsets at which two images of the same size differ.
std::vector<size_t> ChangedOffsets(const std::string& a, const std::string& b) {
  std::vector<size_t> changed;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (a[i] != b[i]) changed.push_back(i);
  }
  return changed;
}

class BootSectorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_saved = g_systems;
    m_savedCount = g_systemCount;
    g_systemCount = 0;
  }
  void TearDown() override {
    g_systems = m_saved;
    g_systemCount = m_savedCount;
  }
  // Adds a system to the table; returns its table index.
  int Add(std::string id, std::string name) {
    g_systems[g_systemCount].id = std::move(id);
    g_systems[g_systemCount].name = std::move(name);
    return g_systemCount++;
  }

  TempDir m_dir;
  std::array<SYSTEM_ENTRY, kMaxSystems> m_saved;
  int m_savedCount = 0;
};

// The image a correct writer produces: the carried image with the menu text,
// the count and the ids put in, built from the format by hand.
std::string Expected(const std::string& text, int count, const std::string& ids) {
  std::string image = Carried();
  image.replace(1343, text.size() + 1, text + '\0');
  image[1848] = static_cast<char>(count);
  image.replace(1850, ids.size() + 1, ids + '\0');
  return image;
}

TEST_F(BootSectorTest, TwoSystemsFillTheMenuCountAndIdTableOnly) {
  const int xp = Add("WXPP", "Windows XP Professional");
  const int w2k = Add("W2KP", "Windows 2000 Professional");
  const auto path = m_dir / "BOOTSECTOR.BIN";
  ASSERT_TRUE(WriteBootMenuSector({xp, w2k}, path, kTitle, kPrompt).ok());

  const std::string written = ReadFile(path);
  ASSERT_EQ(written.size(), 2048u);
  const std::string text =
      "Windows Multiboot CD\n\r\n\r"
      "[A] Windows XP Professional\r\n"
      "[B] Windows 2000 Professional\r\n"
      "\n\rPlease make a selection and press [enter]: ";
  EXPECT_EQ(written, Expected(text, 2, "WXPPW2KP"));
  EXPECT_EQ(written[1848], 2);
  EXPECT_EQ(written.substr(1850, 9), std::string("WXPPW2KP\0", 9));
  EXPECT_EQ(written.substr(1343, kTitle.size()), kTitle);

  // Nothing but the menu text (without its NUL: the area is zero already), the
  // count and the ids (likewise) may change.
  for (size_t offset : ChangedOffsets(Carried(), written)) {
    const bool inMenu = offset >= 1343 && offset < 1343 + text.size();
    const bool inIds = offset >= 1850 && offset < 1858;
    EXPECT_TRUE(inMenu || inIds || offset == 1848) << "offset " << offset << " changed";
  }
}

TEST_F(BootSectorTest, RowOrderNotTableOrderGivesLettersLinesAndIds) {
  const int xp = Add("WXPP", "Windows XP Professional");
  const int w2k = Add("W2KP", "Windows 2000 Professional");
  const auto path = m_dir / "BOOTSECTOR.BIN";
  ASSERT_TRUE(WriteBootMenuSector({w2k, xp}, path, kTitle, kPrompt).ok());
  const std::string text =
      "Windows Multiboot CD\n\r\n\r"
      "[A] Windows 2000 Professional\r\n"
      "[B] Windows XP Professional\r\n"
      "\n\rPlease make a selection and press [enter]: ";
  EXPECT_EQ(ReadFile(path), Expected(text, 2, "W2KPWXPP"));
}

TEST_F(BootSectorTest, EmptyTitleAndPromptAndCodePage437) {
  const int a = Add("ABCD", "Caf\xC3\xA9 \xE2\x82\xAC");  // "Café €": é is 82h in CP437, € is missing
  const auto path = m_dir / "BOOTSECTOR.BIN";
  ASSERT_TRUE(WriteBootMenuSector({a}, path, "", "").ok());
  EXPECT_EQ(ReadFile(path), Expected("\n\r\n\r[A] Caf\x82 ?\r\n\n\r ", 1, "ABCD"));
}

TEST_F(BootSectorTest, ALaterShorterMenuLeavesNoTraceOfTheEarlierOne) {
  std::vector<int> rows;
  for (int i = 0; i < 3; ++i) rows.push_back(Add("SYS" + std::to_string(i), "System number " + std::to_string(i)));
  const auto path = m_dir / "BOOTSECTOR.BIN";
  ASSERT_TRUE(WriteBootMenuSector(rows, path, kTitle, kPrompt).ok());
  ASSERT_TRUE(WriteBootMenuSector({rows[1]}, path, "T", "P").ok());
  EXPECT_EQ(ReadFile(path), Expected("T\n\r\n\r[A] System number 1\r\n\n\rP ", 1, "SYS1"));
}

TEST_F(BootSectorTest, ThirtyTwoSystemsUseLettersPastZ) {
  std::vector<int> rows;
  std::string ids;
  for (int i = 0; i < 32; ++i) {
    const std::string id = "S" + std::string(1, static_cast<char>('A' + i / 10)) + std::to_string(i % 10) + "X";
    rows.push_back(Add(id, "N"));
    ids += id;
  }
  const auto path = m_dir / "BOOTSECTOR.BIN";
  ASSERT_TRUE(WriteBootMenuSector(rows, path, "", "").ok());
  const std::string written = ReadFile(path);
  EXPECT_EQ(static_cast<unsigned char>(written[1848]), 32u);
  EXPECT_EQ(written.substr(1850, 129), ids + '\0');
  // Rows 27 to 32 carry the six characters after Z: [ \ ] ^ _ `
  EXPECT_NE(written.find("[Z] N\r\n[[] N\r\n[\\] N\r\n[]] N\r\n[^] N\r\n[_] N\r\n[`] N\r\n"), std::string::npos);
}

TEST_F(BootSectorTest, TheLongestMenuTextFitsExactly) {
  // Title + "\n\r\n\r" + "[A] " + name + "\r\n" + "\n\r" + prompt + " " = 503.
  const std::string name(503 - (4 + 4 + 2 + 2 + 1), 'n');
  const int a = Add("ABCD", name);
  const auto path = m_dir / "BOOTSECTOR.BIN";
  ASSERT_TRUE(WriteBootMenuSector({a}, path, "", "").ok());
  const std::string written = ReadFile(path);
  EXPECT_EQ(written[1343 + 502], ' ');
  EXPECT_EQ(written[1846], '\0') << "the NUL in the last byte of the area";
  EXPECT_EQ(written[1847], '\0') << "selected index untouched";
}

// Menus the boot sector cannot hold: refused, nothing written.
TEST_F(BootSectorTest, MenusBeyondTheLimitsAreRefusedBeforeAnythingIsWritten) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> systems;  // id, name
    std::string title;
    const char* messagePart;
  };
  std::vector<std::pair<std::string, std::string>> many;
  for (int i = 0; i < 33; ++i) many.push_back({"S" + std::to_string(100 + i), "N"});
  const std::vector<Case> cases = {
      {"33 systems", many, "", "at most 32"},
      {"504 characters", {{"ABCD", std::string(504 - 13, 'n')}}, "", "at most 503"},
      {"short id", {{"XP", "Windows XP"}}, "", "\"XP\""},
      {"long id", {{"WXPPX", "Windows XP"}}, "", "\"WXPPX\""},
      {"id with a blank", {{"W XP", "Windows XP"}}, "", "\"W XP\""},
      {"non-ASCII id", {{"W\xC3\x89P", "Windows XP"}}, "", "not of 4 characters"},
      {"NUL in the title", {{"ABCD", "A"}}, std::string("a\0b", 3), "NUL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    g_systemCount = 0;
    std::vector<int> rows;
    for (const auto& [id, name] : c.systems) rows.push_back(Add(id, name));
    const auto path = m_dir / "BOOTSECTOR.BIN";
    WriteFile(path, "old");
    const Status status = WriteBootMenuSector(rows, path, c.title, "");
    EXPECT_EQ(status.kind(), Status::Kind::kInvalidArgument);
    EXPECT_NE(status.message().find(c.messagePart), std::string::npos) << status.message();
    EXPECT_EQ(ReadFile(path), "old");
    EXPECT_FALSE(CheckBootMenu(rows, c.title, "").ok());
  }
}

TEST_F(BootSectorTest, RowsThatNameNoSystemAreRefused) {
  Add("ABCD", "A");
  for (const std::vector<int>& rows : {std::vector<int>{}, std::vector<int>{1}, std::vector<int>{-1}}) {
    const auto path = m_dir / "BOOTSECTOR.BIN";
    EXPECT_FALSE(WriteBootMenuSector(rows, path, kTitle, kPrompt).ok());
    EXPECT_FALSE(std::filesystem::exists(path));
  }
}

TEST_F(BootSectorTest, AnExistingLongerFileIsOverwrittenFromTheStartNotTruncated) {
  const int a = Add("ABCD", "A");
  const auto path = m_dir / "BOOTSECTOR.BIN";
  WriteFile(path, std::string(2048, 'x') + "tail");
  ASSERT_TRUE(WriteBootMenuSector({a}, path, "", "").ok());
  const std::string written = ReadFile(path);
  ASSERT_EQ(written.size(), 2052u);
  EXPECT_EQ(written.substr(0, 2048), Expected("\n\r\n\r[A] A\r\n\n\r ", 1, "ABCD"));
  EXPECT_EQ(written.substr(2048), "tail");
}

TEST_F(BootSectorTest, AFileThatCannotBeWrittenIsReported) {
  const int a = Add("ABCD", "A");
  const Status status = WriteBootMenuSector({a}, m_dir / "missing" / "BOOTSECTOR.BIN", "", "");
  EXPECT_EQ(status.kind(), Status::Kind::kIoError);
  EXPECT_NE(status.message().find("BOOTSECTOR.BIN"), std::string::npos);
}

TEST(InstallBootfix, WritesTheCarriedImageIntoTheBootFolder) {
  TempDir dir;
  ASSERT_TRUE(InstallBootfix(dir.path()).ok());
  const auto image = BootfixImage();
  EXPECT_EQ(ReadFile(dir / "BOOTFIX.BIN"), std::string(reinterpret_cast<const char*>(image.data()), image.size()));
}

TEST(InstallBootfix, ReusesAFileOfAnotherCaseAndKeepsItsTail) {
  TempDir dir;
  WriteFile(dir / "bootfix.bin", std::string(600, 'x'));
  ASSERT_TRUE(InstallBootfix(dir.path()).ok());
  EXPECT_FALSE(std::filesystem::exists(dir / "BOOTFIX.BIN"));
  const std::string written = ReadFile(dir / "bootfix.bin");
  ASSERT_EQ(written.size(), 600u);
  EXPECT_EQ(written.substr(323, 32), "\r\nPress any key to boot from CD.");
  EXPECT_EQ(written.substr(512), std::string(88, 'x'));
}

TEST(InstallBootfix, AMissingBootFolderIsReported) {
  TempDir dir;
  const Status status = InstallBootfix(dir / "NONE");
  EXPECT_FALSE(status.ok());
  EXPECT_FALSE(std::filesystem::exists(dir / "NONE"));
}

}  // namespace
}  // namespace kolvenar
