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
extern std::string g_lastExpandedName;      // stored name (UTF-8) of the last file an expansion began
                                            // to write; cleared when an expansion begins

// Extracts every file of the first cabinet found in `sourcePath` (a plain cabinet,
// or one behind a self-extracting stub) into `destinationFolder`, recreating the
// stored folders when `keepFolders` (without, a stored folder must exist already).
// The cabinet is read in place, so `workFolder` (the caller's temporary folder) is
// not used and nothing is left in it. Names match existing files and folders
// without regard to case; names that would leave the destination are refused.
// Ok when every file was extracted; otherwise the reason, with the files
// completed before the failure left in place (a member cut short is removed).
Status ExpandCabinet(const std::filesystem::path& sourcePath, const std::filesystem::path& destinationFolder,
                     const std::filesystem::path& workFolder, bool keepFolders);

// The one member of a single-file cabinet, expanded into memory.
struct ExpandedMember {
  std::string name;   // stored name, as in the cabinet (as UTF-8, backslashes kept)
  std::string bytes;  // its content
};

// Expands the first member of the cabinet in `sourcePath` into memory (no file is
// written). NotFound when the file holds no cabinet or the cabinet no file; on
// any failure `member` is left empty. Sets g_lastExpandedName like an expansion
// to disk. Passing the same `member` for a run of files reuses its buffer.
Status ExpandToMemory(const std::filesystem::path& sourcePath, ExpandedMember& member);

// Replaces the file at `cabinetPath` by a cabinet holding the content of
// `sourcePath` under `storedName` (UTF-8, 1 to 255 bytes as stored), in one MSZIP
// folder, with the source's modification time and read-only state. The old file
// is replaced only once the new cabinet is complete. Failures are shown through
// `showMessage` ("Something Failed! 1": the file could not be added; "2": the
// cabinet could not be written; "3": its temporary file could not be removed)
// and also returned.
Status CompressToCabinet(const std::filesystem::path& sourcePath, const std::filesystem::path& cabinetPath,
                         std::string_view storedName, const MessageFn& showMessage);

}  // namespace kolvenar
