// The 2048-byte boot-menu boot sector and the 512-byte BOOTFIX.BIN.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "install/status.h"

namespace kolvenar {

// Whether a boot menu of the systems g_systems[menuOrder[0]], ... (top row first)
// with this title and prompt fits the boot sector: at most 32 systems, ids of
// exactly 4 characters, menu text within its area. The reason when it does not.
Status CheckBootMenu(const std::vector<int>& menuOrder, const std::string& title, const std::string& prompt);

// Writes the boot sector with the menu of those systems to `path`. Nothing is
// written when CheckBootMenu refuses the menu.
Status WriteBootMenuSector(const std::vector<int>& menuOrder, const std::filesystem::path& path,
                           const std::string& title, const std::string& prompt);

// Writes BOOTFIX.BIN into the boot folder.
Status InstallBootfix(const std::filesystem::path& bootDir);

}  // namespace kolvenar
