// Service pack slipstreaming: the package is expanded into <temp>SP and its own
// UPDATE.EXE is run against the copied installation tree.
#pragma once

#include <filesystem>

#include "install/status.h"

namespace kolvenar {

// Uses g_tempDir as the temporary folder. Every problem met is returned; the
// build goes on regardless.
Problems ApplyServicePack(const std::filesystem::path& servicePack, const std::filesystem::path& installDir);

}  // namespace kolvenar
