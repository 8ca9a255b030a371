// CD image mastering: an ISO 9660 image with an El Torito boot entry, written by
// the embedded writer from the mastering program's command line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "install/status.h"

namespace kolvenar {

// Bytes of the image written so far, of the total.
using ImageProgressFn = std::function<void(uint64_t written, uint64_t total)>;

// The command-line text: -L<label> -YD -N -H -X -OCI -M "-B<boot>" "<root>" "<iso>".
std::string MakeMasteringCommandLine(const std::string& volumeLabel, const std::filesystem::path& bootSectorPath,
                                     const std::filesystem::path& root, const std::filesystem::path& isoPath);

// Makes the command line and runs the embedded writer on it. Ok only when the
// image was written; a half-written image is removed.
Status MasterCdImage(const std::filesystem::path& bootSectorPath, const std::string& volumeLabel,
                     const std::filesystem::path& isoPath, const std::filesystem::path& root,
                     const ImageProgressFn& progress = {});

// The embedded writer, from the program's command line split into arguments.
Status RunMasteringCommand(const std::vector<std::string>& arguments, const ImageProgressFn& progress = {});

}  // namespace kolvenar
