// Hotfix integration into a copied I386 folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "install/message_seam.h"
#include "install/status.h"

namespace kolvenar {

// "KB" followed by the first six digits of the first run of at least six decimal
// digits in `path`, or empty.
std::string KbNameFromPath(std::string_view path);

// One file taking part in the version comparison.
struct FILE_VERSION_RECORD {
  std::string fileName;            // the inner name of a compressed file (own name ending in "_"), else its own name
  std::filesystem::path filePath;  // the file as listed (for a compressed file, the compressed file itself)
  uint64_t fileVersion = 0;        // as ReadFileVersion gives it; 0 when there is none
};

// One record per path, in the same order. A compressed file is expanded in memory
// for its inner name and version; one that expands to nothing keeps its own name
// and version 0 (and is added to `problems`). Non-ok, naming the file, when a file
// cannot be opened.
Status CollectFileRecords(const std::vector<std::filesystem::path>& paths, std::vector<FILE_VERSION_RECORD>& records,
                          Problems& problems);

// One installation file to be replaced: `target` becomes a cabinet holding
// `source` under `storedName` (the installation file's inner name).
struct FileReplacement {
  std::filesystem::path source;
  std::filesystem::path target;
  std::string storedName;
  uint64_t version = 0;
};

// The replacements that make every installation file hold the newest strictly
// newer same-named hotfix file (names compared without regard to case; among
// equal versions the first in listing order), in the order of `installFiles`.
// Found through an index by name, so the cost is linear in both lists.
std::vector<FileReplacement> PlanReplacements(const std::vector<FILE_VERSION_RECORD>& hotfixFiles,
                                              const std::vector<FILE_VERSION_RECORD>& installFiles);

// The parts of a version text "major.minor.build.revision" that SVCPACK.INF names.
// Missing parts are empty: "5.1" gives 5, 1 and an empty build number.
struct BuildParts {
  std::string major;
  std::string minor;
  std::string buildNumber;
};
BuildParts SplitBuild(std::string_view build);

// The fixed file version of a PE file's version resource (major << 48 | minor << 32
// | build << 16 | revision), or 0 when there is none or the file is malformed.
uint64_t ReadFileVersion(const std::filesystem::path& path);

// Integrates the packages of `hotfixDir` into `i386Dir` (uses g_tempDir). Problems
// that let the build go on are added to `problems`; a non-ok result (a file that
// cannot be opened) stops the build, with a message naming the file.
Status IntegrateHotfixes(const std::filesystem::path& hotfixDir, const std::filesystem::path& i386Dir,
                         const std::string& build, Problems& problems, const MessageFn& showMessage);

}  // namespace kolvenar
