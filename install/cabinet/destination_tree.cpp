#include "install/cabinet/destination_tree.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "install/names.h"

namespace kolvenar::cabinet {
namespace fs = std::filesystem;

void DestinationTree::Remember(Folder& folder, const std::string& name) {
  folder.exact.insert(name);
  auto [it, added] = folder.byUpperCase.try_emplace(UpperCaseName(name), name);
  if (!added && CompareNtfsOrder(name, it->second) < 0) it->second = name;
}

DestinationTree::Folder& DestinationTree::Listing(const fs::path& folder) {
  auto [it, added] = m_folders.try_emplace(folder.string());
  if (added) {
    std::error_code ec;
    for (fs::directory_iterator entry(folder, ec), end; !ec && entry != end; entry.increment(ec)) {
      Remember(it->second, entry->path().filename().string());
    }
  }
  return it->second;
}

Status DestinationTree::Place(std::string_view storedName, bool createFolders, fs::path& file) {
  if (!IsContainedWindowsName(storedName)) {
    return Status::InvalidArgument("member \"" + std::string(storedName) +
                                   "\" would be written outside the destination: refused");
  }
  std::vector<std::string> pieces;
  for (size_t start = 0; start <= storedName.size();) {
    size_t end = storedName.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = storedName.size();
    const std::string_view piece = storedName.substr(start, end - start);
    if (!piece.empty() && piece != ".") pieces.emplace_back(piece);
    start = end + 1;
  }
  if (pieces.empty() || storedName.back() == '\\' || storedName.back() == '/') {
    return Status::InvalidArgument("member \"" + std::string(storedName) + "\" names no file");
  }
  if (!m_rootReady) {
    std::error_code ec;
    fs::create_directories(m_root, ec);
    if (!fs::is_directory(m_root)) {
      return Status::IoError("cannot create the folder " + m_root.string() + (ec ? ": " + ec.message() : ""));
    }
    m_rootReady = true;
  }
  fs::path at = m_root;
  for (size_t i = 0; i < pieces.size(); ++i) {
    Folder& folder = Listing(at);
    const std::string& piece = pieces[i];
    std::string name = piece;
    if (folder.exact.count(piece) == 0) {
      auto match = folder.byUpperCase.find(UpperCaseName(piece));
      if (match != folder.byUpperCase.end()) name = match->second;
    }
    const bool known = folder.exact.count(name) != 0;
    const bool last = i + 1 == pieces.size();
    if (!known) {
      if (!last && !createFolders) {
        return Status::IoError("cannot create " + (at / piece).string() + ": the folder " + piece +
                               " does not exist");
      }
      if (!last && ::mkdir((at / name).c_str(), 0777) != 0 && errno != EEXIST) {
        return Status::IoError("cannot create the folder " + (at / name).string() + ": " + std::strerror(errno));
      }
      Remember(folder, name);
    }
    at /= name;
  }
  file = at;
  return Status::Ok();
}

}  // namespace kolvenar::cabinet
