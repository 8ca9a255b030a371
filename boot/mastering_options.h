// The mastering program's command line: -L<label> -YD -N -H -X -OCI -M
// "-B<boot file>" "<root folder>" "<image file>", already split into arguments.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "install/status.h"

namespace kolvenar {

struct MasteringOptions {
  std::string volumeLabel = "CDROM";                  // -L
  std::optional<std::filesystem::path> bootImage;     // -B: El Torito no-emulation image
  std::filesystem::path root;                          // first path: the CD's root folder
  std::filesystem::path image;                         // second path: the image file
  bool longNames = false;                              // -N: names beyond 8.3
  bool includeHidden = false;                          // -H: hidden files (names starting with '.')
  bool shareIdenticalFiles = false;                    // -O...: identical files stored once
  bool noSizeLimit = false;                            // -M: no 74-minute CD limit
};

// The size a disc holds without -M: a 74-minute CD, 333,000 sectors of 2048 bytes.
inline constexpr uint64_t kCdCapacityBytes = 333000ull * 2048;

// Reads the arguments; an unknown option, a missing or stray path, an empty -B
// or an invalid volume label is an error naming the argument.
Status ParseMasteringOptions(const std::vector<std::string>& arguments, MasteringOptions* options);

// True for a valid ISO 9660 volume identifier: 1 to 32 of A-Z, 0-9 and '_'.
bool IsValidVolumeLabel(const std::string& label);

}  // namespace kolvenar
