// Mastering failures: each is reported with its reason, and no image (nor a part
// of one) is left behind; an image that was there before stays as it was.
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "boot/cd_image.h"
#include "tests/mastering/iso_reading.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::RunCommand;
using test::ShellQuote;
using test::TempDir;
using test::WriteFile;

size_t EntriesIn(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

struct Fixture {
  TempDir dir;
  fs::path root = dir / "ROOT";
  fs::path boot = dir / "BOOTSECTOR.BIN";
  fs::path out = dir / "images";
  fs::path iso = out / "out.iso";
  Fixture() {
    WriteFile(root / "WXP_/SETUPLDR.BIN", "loader");
    WriteFile(boot, test::TestBootSector());
    fs::create_directories(out);
  }
};

TEST(MasteringErrorsTest, BadTreesAndPathsAreRefusedByName) {
  struct Case {
    const char* what;
    std::function<void(Fixture&)> arrange;
    std::function<Status(Fixture&)> master;
    std::vector<std::string> named;  // texts the message must hold
  };
  auto standard = [](Fixture& f) { return MasterCdImage(f.boot, "WINDOWS", f.iso, f.root); };
  const Case cases[] = {
      {"names equal when upper-cased",
       [](Fixture& f) {
         WriteFile(f.root / "I386/Readme.txt", "a");
         WriteFile(f.root / "I386/README.TXT", "b");
       },
       standard, {"I386/README.TXT", "I386/Readme.txt"}},
      {"folder and file equal when upper-cased",
       [](Fixture& f) {
         WriteFile(f.root / "wxp_", "a file beside the folder WXP_");
       },
       standard, {"ROOT/WXP_", "ROOT/wxp_"}},
      {"file of 4 GiB",
       [](Fixture& f) {
         WriteFile(f.root / "HUGE.BIN", "");
         fs::resize_file(f.root / "HUGE.BIN", 4ull << 30);  // sparse: costs no space
       },
       standard, {"HUGE.BIN", "4 GiB"}},
      {"missing boot file", [](Fixture& f) { fs::remove(f.boot); }, standard, {"BOOTSECTOR.BIN"}},
      {"missing root folder", [](Fixture& f) { fs::remove_all(f.root); }, standard, {"ROOT"}},
      {"link to nothing", [](Fixture& f) { fs::create_symlink(f.dir / "gone", f.root / "LINK.TXT"); }, standard,
       {"LINK.TXT"}},
      {"target below a file",
       [](Fixture&) {},
       [](Fixture& f) { return MasterCdImage(f.boot, "WINDOWS", f.boot / "out.iso", f.root); },
       {"BOOTSECTOR.BIN/out.iso"}},
      {"target is a folder",
       [](Fixture& f) { fs::create_directories(f.iso); },
       standard, {"out.iso", "not a file"}},
      {"target inside the tree",
       [](Fixture&) {},
       [](Fixture& f) { return MasterCdImage(f.boot, "WINDOWS", f.root / "out.iso", f.root); },
       {"out.iso", "inside"}},
      {"label with a blank",
       [](Fixture&) {},
       [](Fixture& f) { return MasterCdImage(f.boot, "MY DISC", f.iso, f.root); },
       {"unexpected argument"}},
      {"image larger than a CD without -M",
       [](Fixture& f) {
         WriteFile(f.root / "BIG.BIN", "");
         fs::resize_file(f.root / "BIG.BIN", 700ull << 20);
       },
       [](Fixture& f) {
         return RunMasteringCommand({"-LWINDOWS", "-N", "-H", f.root.string(), f.iso.string()});
       },
       {"out.iso", "more than a disc holds"}},
  };
  for (const Case& c : cases) {
    Fixture f;
    c.arrange(f);
    const Status status = c.master(f);
    EXPECT_FALSE(status.ok()) << c.what;
    for (const std::string& text : c.named) {
      EXPECT_NE(status.message().find(text), std::string::npos) << c.what << ": " << status.message();
    }
    EXPECT_FALSE(fs::exists(f.root / "out.iso")) << c.what;
    if (!fs::is_directory(f.iso)) EXPECT_EQ(EntriesIn(f.out), 0u) << c.what;
  }
}

TEST(MasteringErrorsTest, FileRemovedWhileTheImageIsWritten) {
  Fixture f;
  WriteFile(f.root / "AAA/FIRST.BIN", std::string(16 << 20, 'a'));  // written before the last file
  WriteFile(f.root / "ZZZ/LAST.BIN", std::string(100000, 'z'));
  WriteFile(f.iso, "the image of an earlier build");
  bool removed = false;
  const Status status = MasterCdImage(f.boot, "WINDOWS", f.iso, f.root, [&](uint64_t written, uint64_t) {
    if (written > 0 && !removed) removed = fs::remove(f.root / "ZZZ/LAST.BIN");
  });
  ASSERT_TRUE(removed);
  EXPECT_EQ(status.kind(), Status::Kind::kIoError);
  EXPECT_NE(status.message().find("ZZZ/LAST.BIN"), std::string::npos) << status.message();
  EXPECT_EQ(ReadFile(f.iso), "the image of an earlier build");
  EXPECT_EQ(EntriesIn(f.out), 1u);
}

// The command as a user without the rights of root runs it: as root, without the
// capabilities that pass over permission bits.
std::string WithoutOverride(const std::string& command) {
  if (::geteuid() != 0) return command;
  return "setpriv --bounding-set=-dac_override,-dac_read_search --inh-caps=-dac_override,-dac_read_search " +
         command;
}

std::string MasterCommand(const Fixture& f, const fs::path& iso) {
  return std::string(KOLVENAR_CLI) + " master -LWINDOWS -YD -N -H -X -OCI -M " +
         ShellQuote("-B" + f.boot.string()) + " " + ShellQuote(f.root) + " " + ShellQuote(iso) + " 2>&1";
}

TEST(MasteringErrorsTest, UnreadableFilesAndUnwritableFolder) {
  if (::geteuid() == 0 && !test::HaveProgram("setpriv")) GTEST_SKIP() << "setpriv missing";
  struct Case {
    const char* what;
    std::function<void(Fixture&)> arrange;
    const char* named;
  };
  const Case cases[] = {
      {"unreadable file",
       [](Fixture& f) {
         WriteFile(f.root / "I386/SECRET.DLL", "unique bytes");
         fs::permissions(f.root / "I386/SECRET.DLL", fs::perms::none);
       },
       "I386/SECRET.DLL"},
      {"unreadable file with a twin of its size",
       [](Fixture& f) {
         WriteFile(f.root / "I386/TWIN1.DLL", "same size");
         WriteFile(f.root / "I386/TWIN2.DLL", "same size");
         fs::permissions(f.root / "I386/TWIN2.DLL", fs::perms::none);
       },
       "I386/TWIN2.DLL"},
      {"unlistable folder",
       [](Fixture& f) {
         fs::create_directories(f.root / "LOCKED");
         fs::permissions(f.root / "LOCKED", fs::perms::none);
       },
       "LOCKED"},
      {"target folder without write permission",
       [](Fixture& f) { fs::permissions(f.out, fs::perms::owner_read | fs::perms::owner_exec); },
       "images/out.iso"},
  };
  for (const Case& c : cases) {
    Fixture f;
    c.arrange(f);
    std::string output;
    EXPECT_NE(RunCommand(WithoutOverride(MasterCommand(f, f.iso)), &output), 0) << c.what;
    EXPECT_NE(output.find(c.named), std::string::npos) << c.what << ": " << output;
    EXPECT_EQ(EntriesIn(f.out), 0u) << c.what;
  }
}

// A target that fills up: a 1 MiB file system of its own in a private mount namespace.
TEST(MasteringErrorsTest, FullTargetIsReportedAndLeavesNothing) {
  Fixture f;
  if (RunCommand("unshare -m sh -c 'mount -t tmpfs -o size=1m none " + f.out.string() + "' 2>/dev/null") != 0) {
    GTEST_SKIP() << "cannot mount a small file system here (unshare -m, mount -t tmpfs)";
  }
  WriteFile(f.root / "I386/DRIVER.CAB", std::string(3 << 20, 'd'));
  std::string output;
  const std::string script = "mount -t tmpfs -o size=1m none " + f.out.string() + " && " +
                             MasterCommand(f, f.iso) + "; echo \"status=$?\"; ls -A " + f.out.string();
  ASSERT_EQ(RunCommand("unshare -m sh -c " + ShellQuote(script), &output), 0) << output;
  EXPECT_NE(output.find("status=1\n"), std::string::npos) << output;
  EXPECT_NE(output.find("out.iso: cannot be written (No space left on device)"), std::string::npos) << output;
  EXPECT_EQ(output.substr(output.find("status=1\n") + 9), "") << "left in the full folder";
}

}  // namespace
}  // namespace kolvenar
