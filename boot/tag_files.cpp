#include "boot/tag_files.h"

#include <fstream>
#include <string>
#include <string_view>

#include "boot/inf_reader.h"
#include "install/names.h"

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

enum class DiskNames { kKept, kSkipped };

// Creates the tag file of every line of `section`: an empty file at the CD root,
// named by field 2 in upper case. An existing file keeps its content.
void MakeSectionTags(const InfFile& inf, std::string_view section, DiskNames diskNames, const fs::path& infPath,
                     const fs::path& root, Problems& problems) {
  const int count = inf.LineCount(section);
  for (int index = 0; index < count; ++index) {
    const std::string name = UpperCaseName(inf.StringField(*inf.LineByIndex(section, index), 2).value_or(""));
    if (diskNames == DiskNames::kSkipped && name.find("DISK") != std::string::npos) continue;

    // The name is a path from the CD root; one without its leading backslash goes
    // to the root as well.
    const size_t start = name.find_first_not_of("\\/");
    if (start == std::string::npos) continue;  // no name, or the root itself
    const std::string relative = name.substr(start);
    if (!IsContainedWindowsName(relative)) {
      problems.push_back(infPath.string() + " [" + std::string(section) + "] line " + std::to_string(index + 1) +
                         ": refused tag file name outside the CD (" + name + ")");
      continue;
    }
    const fs::path tag = ResolvePathNoCase(AppendWindowsName(root, relative));
    std::ofstream file(tag, std::ios::binary | std::ios::app);  // creates, never truncates
    if (!file) problems.push_back(tag.string() + ": cannot create tag file");
  }
}

}  // namespace

Problems MakeTagFiles(const fs::path& infPath, const fs::path& root) {
  Problems problems;
  InfFile inf;
  if (Status status = inf.Open(infPath); !status.ok()) {
    problems.push_back("cannot open as INF: " + status.message());
    return problems;
  }
  MakeSectionTags(inf, "SourceDisksNames", DiskNames::kKept, infPath, root, problems);
  MakeSectionTags(inf, "SourceDisksNames.x86", DiskNames::kSkipped, infPath, root, problems);
  return problems;
}

}  // namespace kolvenar
