#include "boot/mastering_tree.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <system_error>

#include "boot/iso_writer.h"
#include "install/names.h"

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

bool IsDChar(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; }

// An 8.3 name: 1 to 8 characters, for a file an optional dot and 1 to 3 more.
bool FitsShortName(const std::string& name, bool folder) {
  const size_t dot = name.find('.');
  const std::string base = name.substr(0, dot);
  const std::string extension = dot == std::string::npos ? "" : name.substr(dot + 1);
  if (base.empty() || base.size() > 8 || !std::all_of(base.begin(), base.end(), IsDChar)) return false;
  if (dot == std::string::npos) return true;
  return !folder && !extension.empty() && extension.size() <= 3 &&
         std::all_of(extension.begin(), extension.end(), IsDChar);
}

Status CheckName(const fs::path& path, const std::string& name, bool folder, const MasteringTreeRules& rules) {
  if (name.size() > IsoWriter::kMaxNameLength) {
    return Status::InvalidArgument(path.string() + ": name longer than " +
                                   std::to_string(IsoWriter::kMaxNameLength) + " characters");
  }
  for (const char c : name) {
    // ';' would read as a version suffix; control characters have no place in a name.
    if (c == ';' || static_cast<unsigned char>(c) < 0x20) {
      return Status::InvalidArgument(path.string() + ": name holds a character the disc cannot record");
    }
  }
  if (!rules.longNames && !FitsShortName(name, folder)) {
    return Status::InvalidArgument(path.string() + ": not an 8.3 name (long names need -N)");
  }
  return Status::Ok();
}

class TreeScanner {
 public:
  TreeScanner(const MasteringTreeRules& rules, std::vector<MasteringEntry>* entries)
      : m_rules(rules), m_entries(entries) {}

  Status ScanFolder(const fs::path& folder, size_t parent) {
    std::vector<fs::path> children;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      children.push_back(it->path());
    }
    if (ec) return Status::IoError(folder.string() + ": cannot be listed (" + ec.message() + ")");
    std::sort(children.begin(), children.end(), [](const fs::path& a, const fs::path& b) {
      return CompareNtfsOrder(a.filename().string(), b.filename().string()) < 0;
    });

    std::map<std::string, fs::path> names;  // disc name -> the entry that has it
    std::vector<size_t> subfolders;
    for (const fs::path& child : children) {
      const std::string original = child.filename().string();
      if (!m_rules.includeHidden && original.starts_with('.')) continue;
      MasteringEntry entry;
      entry.source = child;
      entry.name = UpperCaseName(original);
      entry.parent = parent;
      if (Status s = Describe(child, &entry); !s.ok()) return s;
      if (Status s = CheckName(child, entry.name, entry.folder, m_rules); !s.ok()) return s;
      auto [existing, inserted] = names.emplace(entry.name, child);
      if (!inserted) {
        return Status::InvalidArgument(existing->second.string() + " and " + child.string() +
                                       ": both become " + entry.name + " on the disc");
      }
      if (entry.folder) subfolders.push_back(m_entries->size());
      m_entries->push_back(std::move(entry));
    }
    // Each subfolder is entered after this folder's own entries.
    for (const size_t index : subfolders) {
      const fs::path source = (*m_entries)[index].source;
      if (Status s = ScanFolder(source, index); !s.ok()) return s;
    }
    return Status::Ok();
  }

 private:
  static Status Describe(const fs::path& path, MasteringEntry* entry) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) {
      return Status::IoError(path.string() + ": cannot be examined (" + std::strerror(errno) + ")");
    }
    if (S_ISLNK(info.st_mode)) {
      if (::stat(path.c_str(), &info) != 0) return Status::NotFound(path.string() + ": a link to nothing");
      if (S_ISDIR(info.st_mode)) {
        return Status::InvalidArgument(path.string() + ": a link to a folder, which the disc cannot hold");
      }
    }
    if (S_ISDIR(info.st_mode)) {
      entry->folder = true;
    } else if (S_ISREG(info.st_mode)) {
      entry->size = static_cast<uint64_t>(info.st_size);
      if (entry->size > kMaxIsoFileSize) {
        return Status::InvalidArgument(path.string() + ": " + std::to_string(entry->size) +
                                       " bytes; ISO 9660 holds no file of 4 GiB or more");
      }
    } else {
      return Status::InvalidArgument(path.string() + ": neither a file nor a folder");
    }
    entry->mtime = info.st_mtime;
    return Status::Ok();
  }

  const MasteringTreeRules& m_rules;
  std::vector<MasteringEntry>* m_entries;
};

}  // namespace

Status ScanMasteringTree(const fs::path& root, const MasteringTreeRules& rules,
                         std::vector<MasteringEntry>* entries) {
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return Status::NotFound(root.string() + ": no such folder");
  entries->clear();
  TreeScanner scanner(rules, entries);
  return scanner.ScanFolder(root, MasteringEntry::kRoot);
}

}  // namespace kolvenar
