// Creating the disk tag files that TXTSETUP.SIF names, at the CD root.
#pragma once

#include <filesystem>

#include "install/status.h"

namespace kolvenar {

Problems MakeTagFiles(const std::filesystem::path& infPath, const std::filesystem::path& root);

}  // namespace kolvenar
