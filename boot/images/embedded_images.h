// The real-mode images that the program carries, assembled by nasm at build time.
#pragma once

#include <cstdint>
#include <span>

namespace kolvenar {

std::span<const uint8_t> BootSectorImage();  // 2048 bytes: the boot-menu boot sector
std::span<const uint8_t> BootfixImage();     // 512 bytes: BOOTFIX.BIN
// A small setup loader for demo sources and tests: prints which system's folder
// it was started from (the 4 bytes where its I386 stood), DL, and whether its last
// bytes arrived (it is larger than 64 KiB, so it proves the split reads).
std::span<const uint8_t> DemoLoaderImage();

}  // namespace kolvenar
