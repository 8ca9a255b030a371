// Test media for boot tests: CD trees mastered with xorriso (test only), raw
// hard-disk images with a chosen partition table, and the small nasm programs
// of tests/data/boot. Header-only, for the boot tests.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "boot/images/embedded_images.h"
#include "tests/support/temp_dir.h"

namespace kolvenar::test {

inline std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

inline std::string AsString(std::span<const uint8_t> bytes) {
  return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// The demo setup loader relocated for a system: its "I386" replaced by the id.
inline std::string RelocatedLoader(const std::string& id) {
  std::string loader = AsString(DemoLoaderImage());
  loader.replace(loader.find("I386"), 4, id);
  return loader;
}

// Assembles tests/data/boot/<name>.asm with the given -D definitions.
inline std::string AssembleTestProgram(const TempDir& dir, const std::string& name,
                                       const std::vector<std::string>& defines = {}) {
  const auto source = std::filesystem::path(KOLVENAR_SOURCE_DIR) / "tests/data/boot" / (name + ".asm");
  const auto output = dir / (name + ".bin");
  std::string command = "nasm -f bin";
  for (const std::string& d : defines) command += " -D" + d;
  command += " -o " + Quote(output) + " " + Quote(source) + " 2>&1";
  std::string log;
  if (RunCommand(command, &log) != 0) ADD_FAILURE() << command << "\n" << log;
  return ReadFile(output);
}

// Masters `root` into `iso` as the properties of a Kolvenar CD require: names
// exactly as in the tree (no ";1", no added dot, case kept), the boot image a
// no-emulation El Torito image of `loadUnits` 512-byte units at 07C0h (segment 0
// in the catalogue means 07C0h), the boot image and catalogue not in the tree.
inline void MasterTestCd(const std::filesystem::path& root, const std::string& bootImage,
                         const std::filesystem::path& iso, int loadUnits = 4) {
  WriteFile(root / "BOOTSECTOR.BIN", bootImage);
  const std::string command =
      "xorriso -as mkisofs -quiet -iso-level 3 -N -d -relaxed-filenames -allow-lowercase"
      " -b BOOTSECTOR.BIN -no-emul-boot -boot-load-size " + std::to_string(loadUnits) +
      " -hide BOOTSECTOR.BIN -c BOOT.CAT --boot-catalog-hide -o " + Quote(iso) + " " + Quote(root) + " 2>&1";
  std::string log;
  if (RunCommand(command, &log) != 0) ADD_FAILURE() << command << "\n" << log;
}

// A 1 MiB hard disk whose first sector is tests/data/boot/hdd_boot.asm (prints
// "HDD BOOTED dl=..") with these four boot indicators in its partition table.
inline void WriteHardDisk(const TempDir& dir, const std::filesystem::path& path,
                          const std::array<uint8_t, 4>& bootIndicators) {
  std::string mbr = AssembleTestProgram(dir, "hdd_boot");
  ASSERT_EQ(mbr.size(), 512u);
  for (int entry = 0; entry < 4; ++entry) {
    const size_t at = 446 + 16 * entry;
    mbr[at] = static_cast<char>(bootIndicators[entry]);
    if (bootIndicators[entry] != 0) {
      mbr[at + 4] = 0x06;                               // a FAT16 partition
      mbr[at + 8] = static_cast<char>(1 + entry * 64);  // somewhere on the disk
      mbr[at + 12] = 63;
    }
  }
  WriteFile(path, mbr + std::string(1024 * 1024 - 512, '\0'));
}

}  // namespace kolvenar::test
