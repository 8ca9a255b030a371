// The image boots: a PC (QEMU with its own firmware) loads the El Torito boot
// image and runs it. The test boot sector prints a line through the BIOS from
// its last 512-byte unit, so the line shows only when all 2048 bytes were loaded
// as the default entry asks; it also tells whether the firmware handed over a
// CD drive number (80h or more).
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "boot/cd_image.h"
#include "tests/mastering/iso_reading.h"
#include "tests/support/temp_dir.h"

extern char** environ;

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr const char* kBootSource = R"(
bits 16
org 0
        jmp 0x07C0:start            ; CS = 07C0h whatever the firmware chose
start:  mov ax, cs
        mov ds, ax
        mov si, bad
        cmp dl, 0x80
        jb print
        mov si, good
        jmp far_away
        times 1536-($-$$) db 0      ; the rest lies in the fourth 512-byte unit
far_away:
print:  lodsb
        or al, al
        jz done
        mov ah, 0x0E
        mov bx, 0x0007
        int 0x10
        jmp print
done:   cli
        hlt
        jmp done
good:   db "KOLVENAR BOOT OK", 0
bad:    db "KOLVENAR BOOT NO CD DRIVE", 0
        times 2048-($-$$) db 0
)";

// The text on the VGA screen: every other byte of the text buffer.
std::string ScreenText(const std::string& memory) {
  std::string text;
  for (size_t i = 0; i < memory.size(); i += 2) text += memory[i] == '\0' ? ' ' : memory[i];
  return text;
}

bool MonitorCommand(const fs::path& socketPath, const std::string& command) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  if (ok) {
    const std::string line = command + "\n";
    ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    // The monitor greets with a prompt and prompts again when the command is done.
    char buffer[512];
    std::string answer;
    auto prompts = [&] {
      size_t count = 0;
      for (size_t at = answer.find("(qemu)"); at != std::string::npos; at = answer.find("(qemu)", at + 1)) ++count;
      return count;
    };
    for (int i = 0; ok && i < 100 && prompts() < 2; ++i) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n <= 0) break;
      answer.append(buffer, static_cast<size_t>(n));
    }
  }
  ::close(fd);
  return ok;
}

TEST(MasteringBootTest, ImageBootsUnderQemu) {
  if (!test::HaveProgram("qemu-system-i386") || !test::HaveProgram("nasm")) {
    GTEST_SKIP() << "qemu-system-i386 or nasm missing";
  }
  TempDir dir;
  WriteFile(dir / "boot.asm", kBootSource);
  ASSERT_EQ(test::RunCommand("nasm -f bin -o " + (dir / "BOOTSECTOR.BIN").string() + " " + (dir / "boot.asm").string()),
            0);
  ASSERT_EQ(fs::file_size(dir / "BOOTSECTOR.BIN"), 2048u);
  WriteFile(dir / "ROOT/WXP_/SETUPLDR.BIN", "loader");
  const Status status = MasterCdImage(dir / "BOOTSECTOR.BIN", "WINDOWS", dir / "boot.iso", dir / "ROOT");
  ASSERT_TRUE(status.ok()) << status.message();

  const fs::path monitor = dir / "monitor.sock";
  const std::string monitorOption = "unix:" + monitor.string() + ",server,nowait";
  const std::string cdrom = (dir / "boot.iso").string();
  std::vector<std::string> args = {"qemu-system-i386", "-display", "none", "-boot",  "d",   "-cdrom", cdrom,
                                   "-m",               "16",       "-nic",   "none", "-monitor", monitorOption, "-no-reboot"};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawnp(&pid, "qemu-system-i386", nullptr, nullptr, argv.data(), environ), 0);

  std::string screen;
  const fs::path dump = dir / "screen.bin";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (!fs::exists(monitor)) continue;
    if (MonitorCommand(monitor, "pmemsave 0xb8000 4000 \"" + dump.string() + "\"")) {
      screen = ScreenText(ReadFile(dump));
      if (screen.find("KOLVENAR BOOT") != std::string::npos) break;
    }
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  EXPECT_NE(screen.find("KOLVENAR BOOT OK"), std::string::npos) << screen;
}

}  // namespace
}  // namespace kolvenar
