// A small synthetic installation source, for trying the build without Windows
// media and for the end-to-end tests: I386 with DOSNET.INF, PRODSPEC.INI,
// TXTSETUP.SIF, a few plain and compressed files and a demo setup loader that
// prints which system's folder it was started from.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "install/status.h"

namespace kolvenar {

struct DemoSourceOptions {
  std::string name;                   // the product name in PRODSPEC.INI
  std::string version = "5.1.2600.0";  // the DriverVer version in DOSNET.INF
  bool lowerCaseNames = false;         // every file and folder name in lower case
  bool compressedBootFiles = false;    // the boot-floppy files only as compressed x.xx_ files
  uint64_t fillerBytes = 0;            // extra files of this much data in all (for benchmarks)
};

// Writes the source into `folder`, which must be empty or missing.
Status MakeDemoSource(const std::filesystem::path& folder, const DemoSourceOptions& options);

// The tag file TXTSETUP.SIF of such a source names, with its leading backslash.
std::string DemoTagFileName(const DemoSourceOptions& options);

}  // namespace kolvenar
