// Microsoft Cabinet expansion (MSZIP, LZX and Quantum, through libmspack) and
// compression (single-file cabinets with one MSZIP folder).
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "install/message_seam.h"
#include "install/status.h"

namespace kolvenar {

// The expansion state: one expansion at a time, process-wide.
extern std::filesystem::path g_expandDir;  // destination of the running expansion
extern bool g_expandKeepFolders;            // whether stored folders are recreated
extern std::string g_lastExpandedName;      // name of the last file extracted; cleared when one begins

// Extracts every file of the first cabinet found in `sourcePath` (a plain cabinet,
// or one behind a self-extracting stub) into `destinationFolder`, recreating the
// stored folders when `keepFolders`. `workFolder` is the caller's temporary folder;
// nothing is left in it. Ok when every file was extracted; otherwise the reason.
Status ExpandCabinet(const std::filesystem::path& sourcePath, const std::filesystem::path& destinationFolder,
                     const std::filesystem::path& workFolder, bool keepFolders);

// The one member of a single-file cabinet, expanded into memory.
struct ExpandedMember {
  std::string name;   // stored name, as in the cabinet
  std::string bytes;  // its content
};

// Expands the first member of the cabinet in `sourcePath` into memory (no file is
// written). NotFound when the file holds no cabinet or the cabinet no file.
Status ExpandToMemory(const std::filesystem::path& sourcePath, ExpandedMember& member);

// Replaces the file at `cabinetPath` by a cabinet holding the content of
// `sourcePath` under `storedName`. Failures are shown through `showMessage`
// ("Something Failed! 1" to "3") and also returned.
Status CompressToCabinet(const std::filesystem::path& sourcePath, const std::filesystem::path& cabinetPath,
                         std::string_view storedName, const MessageFn& showMessage);

}  // namespace kolvenar
