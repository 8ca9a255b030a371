// The image boots: a PC (QEMU with its own firmware) loads the El Torito boot
// image and runs it. The test boot sector prints a line through the BIOS from
// code in its last 512-byte unit, and tells whether the firmware handed over a
// CD drive number (80h or more). (SeaBIOS reads whole 2048-byte CD sectors, so
// the load size itself is checked by the image readers, not here.)

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "boot/cd_image.h"
#include "tests/support/qemu_machine.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
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

  test::QemuMachine machine(dir.path());
  std::string error;
  ASSERT_TRUE(machine.Start(dir / "boot.iso", std::nullopt, &error)) << error;
  machine.WaitForText("KOLVENAR BOOT");
  const std::string screen = machine.ScreenText();
  machine.Stop();
  EXPECT_NE(screen.find("KOLVENAR BOOT OK"), std::string::npos) << screen;
}

}  // namespace
}  // namespace kolvenar
