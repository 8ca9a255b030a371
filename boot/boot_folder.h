// Filling a system's boot folder with the boot-floppy files that DOSNET.INF lists.
#pragma once

#include <filesystem>

#include "install/status.h"

namespace kolvenar {

Problems PopulateBootFolder(const std::filesystem::path& infPath, const std::filesystem::path& installDir,
                            const std::filesystem::path& bootDir);

}  // namespace kolvenar
