#include "install/file_utils.h"

#include <sys/stat.h>

#include <algorithm>
#include <system_error>

#include "install/names.h"

namespace kolvenar {
namespace fs = std::filesystem;

bool FileExists(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(ResolvePathNoCase(path), ec);
}

void CreateDirectoryPath(const fs::path& path) {
  std::error_code ec;
  fs::create_directories(ResolvePathNoCase(path), ec);
}

bool MatchesWildcard(std::string_view name, std::string_view mask) {
  // "*.*" (and "*") match every name, with or without a dot, as on Windows.
  if (mask == "*.*" || mask == "*") return true;
  const std::string n = UpperCaseName(name);
  const std::string m = UpperCaseName(mask);
  // Iterative glob with one backtrack point; '?' matches one character (a whole
  // UTF-8 sequence), and a backtrack moves on by whole characters.
  auto length = [&](size_t at) {
    size_t end = at + 1;
    while (end < n.size() && (static_cast<unsigned char>(n[end]) & 0xC0) == 0x80) ++end;
    return end - at;
  };
  size_t ni = 0, mi = 0, star = std::string::npos, mark = 0;
  while (ni < n.size()) {
    if (mi < m.size() && m[mi] == '?') {
      ni += length(ni), ++mi;
    } else if (mi < m.size() && m[mi] == n[ni] && m[mi] != '*') {
      ++ni, ++mi;
    } else if (mi < m.size() && m[mi] == '*') {
      star = mi++;
      mark = ni;
    } else if (star != std::string::npos) {
      mi = star + 1;
      mark += length(mark);
      ni = mark;
    } else {
      return false;
    }
  }
  while (mi < m.size() && m[mi] == '*') ++mi;
  // A trailing ".*" also matches a name without a dot ("*.*", "abc.*").
  if (mi + 2 == m.size() && m[mi] == '.' && m[mi + 1] == '*') return true;
  return mi == m.size();
}

namespace {

// Entries of a folder in NTFS listing order; empty when it cannot be listed.
std::vector<fs::directory_entry> SortedEntries(const fs::path& folder) {
  std::vector<fs::directory_entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) entries.push_back(*it);
  std::sort(entries.begin(), entries.end(), [](const fs::directory_entry& a, const fs::directory_entry& b) {
    return CompareNtfsOrder(a.path().filename().string(), b.path().filename().string()) < 0;
  });
  return entries;
}

bool IsRealFolder(const fs::directory_entry& entry) {
  std::error_code ec;
  return entry.is_directory(ec) && !entry.is_symlink(ec);
}

void FindFilesIn(const fs::path& folder, std::string_view mask, bool recurse, std::vector<fs::path>& list) {
  for (const fs::directory_entry& entry : SortedEntries(folder)) {
    const std::string name = entry.path().filename().string();
    if (!MatchesWildcard(name, mask)) continue;
    if (recurse && IsRealFolder(entry)) {
      FindFilesIn(entry.path(), mask, recurse, list);
    } else {
      list.push_back(entry.path());
    }
  }
}

// A folder its owner may not write would keep its files from being changed or
// deleted, which a Windows folder never does: the owner gets full rights on it.
void OpenFolder(const fs::path& folder) {
  struct stat st;
  if (::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_IRWXU) != S_IRWXU) {
    ::chmod(folder.c_str(), (st.st_mode & 07777) | S_IRWXU);
  }
}

}  // namespace

int FindFiles(const fs::path& folder, std::string_view mask, bool recurse, std::vector<fs::path>& list) {
  std::error_code ec;
  fs::path resolved = ResolvePathNoCase(folder);
  fs::path absolute = fs::absolute(resolved, ec);
  FindFilesIn(ec ? resolved : absolute.lexically_normal(), mask, recurse, list);
  return static_cast<int>(list.size());
}

void ClearFileAttributes(const fs::path& path) {
  // Owner write permission is what "not read-only" means here; chmod keeps the times.
  struct stat st;
  const fs::path resolved = ResolvePathNoCase(path);
  if (::lstat(resolved.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return;
  if ((st.st_mode & S_IWUSR) == 0) ::chmod(resolved.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

void ClearAttributesTree(const fs::path& folder) {
  const fs::path resolved = ResolvePathNoCase(folder);
  OpenFolder(resolved);
  for (const fs::directory_entry& entry : SortedEntries(resolved)) {
    if (IsRealFolder(entry)) {
      ClearAttributesTree(entry.path());
    } else {
      ClearFileAttributes(entry.path());
    }
  }
}

void DeleteTree(const fs::path& folder) {
  std::error_code ec;
  const fs::path resolved = ResolvePathNoCase(folder);
  if (fs::is_symlink(resolved, ec)) {
    fs::remove(resolved, ec);  // the link goes; what it points at stays
    return;
  }
  OpenFolder(resolved);
  for (const fs::directory_entry& entry : SortedEntries(resolved)) {
    if (IsRealFolder(entry)) {
      DeleteTree(entry.path());
    } else {
      // A read-only file (owner may not write it) stays, as it does on Windows.
      struct stat st;
      if (::lstat(entry.path().c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0) continue;
      fs::remove(entry.path(), ec);
    }
  }
  fs::remove(resolved, ec);  // fails, and is passed over, while something stayed inside
}

// CopyTree is in copy_tree.cpp.

}  // namespace kolvenar
