// Which installation files the hotfixes replace. The result is that of comparing
// every hotfix file (in listing order) with every installation file (in listing
// order) and replacing whenever the hotfix file is strictly newer: each
// installation file ends up holding the first hotfix file of the highest version
// among those of its name, when that version is higher than its own. That winner
// is found once per name through an index, instead of comparing every pair.
#include <string>
#include <unordered_map>

#include "install/hotfixes.h"
#include "install/names.h"

namespace kolvenar {

std::vector<FileReplacement> PlanReplacements(const std::vector<FILE_VERSION_RECORD>& hotfixFiles,
                                              const std::vector<FILE_VERSION_RECORD>& installFiles) {
  std::unordered_map<std::string, const FILE_VERSION_RECORD*> newest;
  newest.reserve(hotfixFiles.size());
  for (const FILE_VERSION_RECORD& h : hotfixFiles) {
    auto [it, added] = newest.try_emplace(UpperCaseName(h.fileName), &h);
    if (!added && h.fileVersion > it->second->fileVersion) it->second = &h;  // a later equal one never wins
  }
  std::vector<FileReplacement> replacements;
  for (const FILE_VERSION_RECORD& r : installFiles) {
    const auto it = newest.find(UpperCaseName(r.fileName));
    if (it == newest.end() || it->second->fileVersion <= r.fileVersion) continue;
    replacements.push_back({it->second->filePath, r.filePath, r.fileName, it->second->fileVersion});
  }
  return replacements;
}

BuildParts SplitBuild(std::string_view build) {
  // Each part runs up to the next dot, or to the end when there is none.
  BuildParts parts;
  std::string* fields[] = {&parts.major, &parts.minor, &parts.buildNumber};
  size_t start = 0;
  for (std::string* field : fields) {
    if (start > build.size()) break;
    const size_t dot = build.find('.', start);
    *field = std::string(build.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts;
}

}  // namespace kolvenar
