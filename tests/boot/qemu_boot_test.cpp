// The boot images under a real PC firmware: small CDs booted in QEMU (SeaBIOS),
// keys typed through the monitor, the screen read from the VGA text buffer.
// The loaded SETUPLDR.BIN is the demo loader, which prints the id it was
// relocated for, DL, and whether its last bytes (beyond 64 KiB) arrived.
#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "boot/boot_sector.h"
#include "boot/cd_image.h"
#include "boot/images/embedded_images.h"
#include "boot/setup_loader.h"
#include "project/project_state.h"
#include "tests/boot/boot_media.h"
#include "tests/support/qemu_machine.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {

using test::QemuMachine;
using test::TempDir;

const std::string kTitle = "Windows Multiboot CD";
const std::string kPrompt = "Please make a selection and press [enter]:";
const std::string kBootfixPrompt = "Press any key to boot from CD.";
const std::string kHddBooted = "HDD BOOTED dl=80";

struct CdSystem {
  std::string id;
  std::string name;
  std::string folder;  // the boot folder's name on the CD; the id when empty
  bool withLoader = true;
};

const std::vector<CdSystem> kTwoSystems = {{"WXPP", "Windows XP Professional", "", true},
                                           {"W2KP", "Windows 2000 Professional", "", true}};

std::string MissingTool() {
  for (const char* tool : {QemuMachine::kProgram, "xorriso", "nasm"}) {
    if (!test::HaveProgram(tool)) return tool;
  }
  return "";
}

class QemuBootTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = MissingTool(); !missing.empty()) {
      GTEST_SKIP() << missing << " is not installed: boot tests need qemu-system-x86, xorriso and nasm "
                   << "(scripts/setup.sh installs them)";
    }
    m_savedSystems = g_systems;
    m_savedCount = g_systemCount;
  }
  void TearDown() override {
    m_machine.reset();
    if (m_savedCount >= 0) {
      g_systems = m_savedSystems;
      g_systemCount = m_savedCount;
    }
  }

  // The boot sector for these systems (in this row order) with the default
  // title and prompt, as the program writes it.
  std::string MenuSector(const std::vector<CdSystem>& systems) {
    g_systemCount = 0;
    std::vector<int> rows;
    for (const CdSystem& s : systems) {
      g_systems[g_systemCount].id = s.id;
      g_systems[g_systemCount].name = s.name;
      rows.push_back(g_systemCount++);
    }
    const auto path = m_dir / "BOOTSECTOR.BIN";
    const Status status = WriteBootMenuSector(rows, path, kTitle, kPrompt);
    EXPECT_TRUE(status.ok()) << status.message();
    return test::ReadFile(path);
  }

  // A CD with a boot folder per system holding its relocated loader, and
  // BOOTFIX.BIN in the first one when asked. `bootImage` replaces the menu
  // sector as the El Torito image when given.
  std::filesystem::path MakeCd(const std::vector<CdSystem>& systems, bool withBootfix = false,
                               const std::optional<std::string>& bootImage = std::nullopt, int loadUnits = 4) {
    const auto root = m_dir / "root";
    for (const CdSystem& s : systems) {
      const auto folder = root / (s.folder.empty() ? s.id : s.folder);
      std::filesystem::create_directories(folder);
      if (s.withLoader) test::WriteFile(folder / "SETUPLDR.BIN", test::RelocatedLoader(s.id));
    }
    if (withBootfix) {
      const Status status = InstallBootfix(root / systems.front().id);
      EXPECT_TRUE(status.ok()) << status.message();
    }
    const std::string menu = MenuSector(systems);
    const auto iso = m_dir / "cd.iso";
    test::MasterTestCd(root, bootImage.value_or(menu), iso, loadUnits);
    return iso;
  }

  std::filesystem::path HardDisk(const std::array<uint8_t, 4>& indicators) {
    const auto path = m_dir / "hd.img";
    test::WriteHardDisk(m_dir, path, indicators);
    return path;
  }

  void Boot(const std::filesystem::path& iso, const std::optional<std::filesystem::path>& hardDisk) {
    m_machine = std::make_unique<QemuMachine>(m_dir.path());
    std::string error;
    ASSERT_TRUE(m_machine->Start(iso, hardDisk, &error)) << error;
  }

  bool Shows(const std::string& text) { return m_machine->WaitForText(text); }
  std::string Dump() { return m_machine->LastScreenDump(); }

  void Keys(std::initializer_list<const char*> keys) {
    for (const char* key : keys) ASSERT_TRUE(m_machine->SendKey(key)) << "sendkey " << key;
  }

  // The menu is on screen, ready for keys.
  void WaitForMenu() { ASSERT_TRUE(Shows(kPrompt)) << "no menu" << Dump(); }

  // The screen line that starts with `start`, or "" when none does.
  std::string LineStartingWith(const std::string& start) {
    for (const std::string& line : m_machine->ScreenLines()) {
      if (line.rfind(start, 0) == 0) return line;
    }
    return "";
  }

  TempDir m_dir;
  std::unique_ptr<QemuMachine> m_machine;
  std::array<SYSTEM_ENTRY, kMaxSystems> m_savedSystems;
  int m_savedCount = -1;
};

#define ASSERT_SHOWS(text) ASSERT_TRUE(Shows(text)) << "waiting for \"" << (text) << "\"" << Dump()

TEST_F(QemuBootTest, MenuScreenIsExactXIsIgnoredAndBThenEnterStartsTheSecond) {
  Boot(MakeCd(kTwoSystems), std::nullopt);
  WaitForMenu();

  const std::vector<std::string> lines = m_machine->ScreenLines();
  size_t title = 0;
  while (title < lines.size() && lines[title] != kTitle) ++title;
  ASSERT_LT(title, lines.size()) << Dump();
  const std::vector<std::string> expected = {kTitle,
                                             "",
                                             "[A] Windows XP Professional",
                                             "[B] Windows 2000 Professional",
                                             "",
                                             kPrompt};
  ASSERT_GE(lines.size(), title + expected.size());
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[title + i], expected[i]) << Dump();
  EXPECT_EQ(lines[title - 1], "") << "the lead's blank line above the title" << Dump();
  for (size_t i = title + expected.size(); i < lines.size(); ++i) EXPECT_EQ(lines[i], "") << Dump();

  Keys({"x", "b"});
  ASSERT_SHOWS(kPrompt + " B");
  EXPECT_EQ(LineStartingWith(kPrompt), kPrompt + " B") << "x must not be shown" << Dump();
  Keys({"ret"});
  ASSERT_SHOWS("LOADER id=W2KP dl=E0 end=OK");
}

TEST_F(QemuBootTest, TheProgramsOwnStagesMakeABootableCd) {
  // The CD as a build makes it: the carried loader relocated by the
  // relocation stage, BOOTFIX.BIN in every boot folder, the menu sector, and
  // the embedded mastering.
  const auto root = m_dir / "ROOT";
  for (const CdSystem& s : kTwoSystems) {
    const auto bootDir = root / s.id;
    test::WriteFile(bootDir / "SETUPLDR.BIN", test::AsString(DemoLoaderImage()));
    test::WriteFile(bootDir / "TXTSETUP.SIF", "[SetupData]\r\nSetupSourcePath = \"\\\"\r\n");
    const Problems problems = RelocateSetupLoader(bootDir, s.id, {});
    EXPECT_TRUE(problems.empty()) << problems.front();
    ASSERT_TRUE(InstallBootfix(bootDir).ok());
  }
  const auto bootSector = m_dir / "BOOTSECTOR.BIN";
  test::WriteFile(bootSector, MenuSector(kTwoSystems));
  const auto iso = m_dir / "multiboot.iso";
  const Status mastered = MasterCdImage(bootSector, "WINDOWS", iso, root);
  ASSERT_TRUE(mastered.ok()) << mastered.message();

  Boot(iso, HardDisk({0x80, 0, 0, 0}));
  ASSERT_SHOWS(kBootfixPrompt);
  Keys({"spc"});
  WaitForMenu();
  Keys({"b", "ret"});
  ASSERT_SHOWS("LOADER id=W2KP dl=E0 end=OK");
}

TEST_F(QemuBootTest, ALaterValidLetterReplacesTheFirst) {
  Boot(MakeCd(kTwoSystems), std::nullopt);
  WaitForMenu();
  Keys({"a", "b", "ret"});
  ASSERT_SHOWS("LOADER id=W2KP dl=E0 end=OK");
  EXPECT_EQ(LineStartingWith(kPrompt), kPrompt + " B") << Dump();
}

TEST_F(QemuBootTest, EnterAfterAnInvalidKeyKeepsWaitingForALetter) {
  // After a, 1 the choice A is still stored, but Enter is not taken: only a
  // valid letter is. Had Enter been taken, the first system would start.
  Boot(MakeCd(kTwoSystems), std::nullopt);
  WaitForMenu();
  Keys({"a", "1", "ret", "b", "ret"});
  ASSERT_SHOWS("LOADER id=W2KP dl=E0 end=OK");
  EXPECT_EQ(m_machine->ScreenText().find("LOADER id=WXPP"), std::string::npos) << Dump();
}

TEST_F(QemuBootTest, ALowerCaseFolderDoesNotMatchTheId) {
  const auto iso = MakeCd({{"WXPP", "Windows XP Professional", "wxpp", true}, kTwoSystems[1]});
  ASSERT_NE(test::ReadFile(iso).find("\x04wxpp"), std::string::npos) << "the CD must keep the lower-case name";
  Boot(iso, HardDisk({0x80, 0, 0, 0}));
  WaitForMenu();
  Keys({"a", "ret"});
  ASSERT_SHOWS("CDBOOT: Couldn't find NTLDR");
  ASSERT_SHOWS(kHddBooted);
}

TEST_F(QemuBootTest, AMissingLoaderReportsNtldrAndBootsTheHardDisk) {
  Boot(MakeCd({kTwoSystems[0], {"W2KP", "Windows 2000 Professional", "", false}}), HardDisk({0x80, 0, 0, 0}));
  WaitForMenu();
  Keys({"b", "ret"});
  ASSERT_SHOWS("CDBOOT: Couldn't find NTLDR");
  ASSERT_SHOWS(kHddBooted);
  EXPECT_EQ(m_machine->ScreenText().find("LOADER"), std::string::npos) << Dump();
}

TEST_F(QemuBootTest, AFailedReadTakesTheErrorPath) {
  // Both loaders' directory records point far beyond the end of the disc.
  const auto iso = MakeCd(kTwoSystems);
  std::string bytes = test::ReadFile(iso);
  int patched = 0;
  for (size_t at = bytes.find("\x0cSETUPLDR.BIN"); at != std::string::npos;
       at = bytes.find("\x0cSETUPLDR.BIN", at + 1)) {
    const size_t record = at - 32;
    bytes.replace(record + 2, 4, std::string("\x00\x00\x00\x7F", 4));  // little-endian 7F000000h
    bytes.replace(record + 6, 4, std::string("\x7F\x00\x00\x00", 4));  // big-endian copy
    ++patched;
  }
  ASSERT_EQ(patched, 2);
  test::WriteFile(iso, bytes);
  Boot(iso, HardDisk({0x80, 0, 0, 0}));
  WaitForMenu();
  Keys({"a", "ret"});
  ASSERT_SHOWS("CDBOOT: Disk read error");
  ASSERT_SHOWS(kHddBooted);
}

TEST_F(QemuBootTest, ALoaderBeyondConventionalMemoryIsAMemoryOverflow) {
  // From 2000:0000, 600 KiB run past the 640 KiB of conventional memory, into
  // the BIOS data, the screen and the ROMs: refused before anything is read.
  const auto iso = MakeCd(kTwoSystems);
  test::WriteFile(m_dir / "root" / "W2KP" / "SETUPLDR.BIN", std::string(600 * 1024, 'L'));
  test::MasterTestCd(m_dir / "root", MenuSector(kTwoSystems), iso);
  Boot(iso, HardDisk({0x80, 0, 0, 0}));
  WaitForMenu();
  Keys({"b", "ret"});
  ASSERT_SHOWS("CDBOOT: Memory overflow error");
  ASSERT_SHOWS(kHddBooted);
}

// BOOTFIX.BIN in the first folder and a hard disk with one active partition.

TEST_F(QemuBootTest, BootfixWithoutAKeyBootsTheHardDiskAfterFourDots) {
  Boot(MakeCd(kTwoSystems, true), HardDisk({0, 0x80, 0, 0}));
  ASSERT_SHOWS(kBootfixPrompt);
  ASSERT_SHOWS(kHddBooted);
  // 73 ticks with a dot every 18: four dots, then the hard disk.
  EXPECT_EQ(LineStartingWith("Press any key"), kBootfixPrompt + "....") << Dump();
  EXPECT_EQ(m_machine->ScreenText().find(kPrompt), std::string::npos) << "no menu" << Dump();
}

TEST_F(QemuBootTest, BootfixKeyGoesOnToTheMenuAndIsNoChoice) {
  Boot(MakeCd(kTwoSystems, true), HardDisk({0x80, 0, 0, 0}));
  ASSERT_SHOWS(kBootfixPrompt);
  Keys({"b"});
  WaitForMenu();
  // Were b taken as a choice, this Enter would start the second system.
  Keys({"ret", "a", "ret"});
  ASSERT_SHOWS("LOADER id=WXPP dl=E0 end=OK");
  EXPECT_EQ(m_machine->ScreenText().find("HDD BOOTED"), std::string::npos) << Dump();
}

TEST_F(QemuBootTest, BootfixCtrlHeldGoesOnToTheMenu) {
  Boot(MakeCd(kTwoSystems, true), HardDisk({0, 0, 0xFF, 0}));
  ASSERT_SHOWS(kBootfixPrompt);
  ASSERT_TRUE(m_machine->SendKey("ctrl", 1500));
  WaitForMenu();
  Keys({"a", "ret"});
  ASSERT_SHOWS("LOADER id=WXPP dl=E0 end=OK");
}

// Hard disks for which BOOTFIX returns at once, without its prompt.
struct NoPromptCase {
  const char* name;
  std::optional<std::array<uint8_t, 4>> indicators;  // no hard disk when empty
};

void PrintTo(const NoPromptCase& c, std::ostream* os) { *os << c.name; }

class BootfixNoPromptTest : public QemuBootTest, public ::testing::WithParamInterface<NoPromptCase> {};

TEST_P(BootfixNoPromptTest, MenuFollowsAtOnce) {
  const NoPromptCase& c = GetParam();
  std::optional<std::filesystem::path> disk;
  if (c.indicators) disk = HardDisk(*c.indicators);
  Boot(MakeCd(kTwoSystems, true), disk);
  WaitForMenu();
  EXPECT_EQ(m_machine->ScreenText().find("Press any key"), std::string::npos) << Dump();
}

INSTANTIATE_TEST_SUITE_P(
    Disks, BootfixNoPromptTest,
    ::testing::Values(NoPromptCase{"NoActivePartition", std::array<uint8_t, 4>{0, 0, 0, 0}},
                      NoPromptCase{"TwoActivePartitions", std::array<uint8_t, 4>{0x80, 0, 0x80, 0}},
                      NoPromptCase{"Indicator01", std::array<uint8_t, 4>{0x01, 0, 0, 0}},
                      NoPromptCase{"NoHardDisk", std::nullopt}),
    [](const auto& info) { return std::string(info.param.name); });

// The image entered at other addresses, with another DL, or loaded in part: a
// stub boots first and hands over as another firmware might.
struct EntryCase {
  const char* name;
  std::vector<std::string> defines;  // for tests/data/boot/entry_stub.asm
  const char* errorCode;             // nullptr: the menu is expected
};

void PrintTo(const EntryCase& c, std::ostream* os) { *os << c.name; }

class BootEntryTest : public QemuBootTest, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(BootEntryTest, LoadAddressDriveAndSignatureAreChecked) {
  const EntryCase& c = GetParam();
  const std::string stub = test::AssembleTestProgram(m_dir, "entry_stub", c.defines);
  ASSERT_EQ(stub.size(), 512u);
  const std::string menu = MenuSector(kTwoSystems);
  Boot(MakeCd(kTwoSystems, false, stub + menu, 5), HardDisk({0x80, 0, 0, 0}));
  if (c.errorCode == nullptr) {
    WaitForMenu();
    Keys({"b", "ret"});
    ASSERT_SHOWS("LOADER id=W2KP dl=E0 end=OK");
    return;
  }
  ASSERT_SHOWS(std::string("CDBOOT: Cannot boot from CD - Code: ") + c.errorCode);
  ASSERT_SHOWS(kHddBooted);
  EXPECT_EQ(m_machine->ScreenText().find(kPrompt), std::string::npos) << Dump();
}

INSTANTIATE_TEST_SUITE_P(
    Entries, BootEntryTest,
    ::testing::Values(EntryCase{"At07C0_0000", {"ENTRY_SEG=0x07C0", "ENTRY_OFF=0"}, nullptr},
                      EntryCase{"OtherOffset", {"ENTRY_SEG=0x07B0", "ENTRY_OFF=0x100"}, "1"},
                      EntryCase{"Offset7C00NotSegment0", {"ENTRY_SEG=0x0010", "ENTRY_OFF=0x7C00"}, "2"},
                      EntryCase{"Offset0NotSegment07C0", {"ENTRY_SEG=0x0800", "ENTRY_OFF=0"}, "3"},
                      EntryCase{"FloppyDriveNumber", {"ENTRY_SEG=0x07C0", "ENTRY_OFF=0", "BOOT_DL=0x00"}, "4"},
                      EntryCase{"LastPartMissing", {"ENTRY_SEG=0x07C0", "ENTRY_OFF=0", "IMAGE_BYTES=1536"}, "5"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kolvenar
