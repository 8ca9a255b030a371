#include "boot/setup_loader.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "install/names.h"
#include "install/profile.h"

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

constexpr char kLoaderProblem[] = "There was a problem modifying SETUPLDR.BIN";

// An id goes into folder names, a quoted profile value and four bytes of the
// loader and the boot sector: exactly four printable characters, none of which
// separates folders or ends a quoted value.
bool IsUsableId(const std::string& id) {
  if (id.size() != 4) return false;
  for (const char c : id) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte > 0x7E || c == '\\' || c == '/' || c == '"') return false;
  }
  return true;
}

// Overwrites every "I386" (the I in either case) by the id; true when one was found.
bool ReplaceFolderName(std::vector<char>& bytes, const std::string& id) {
  bool changed = false;
  for (size_t i = 0; i + 3 < bytes.size(); ++i) {
    if ((bytes[i] == 'I' || bytes[i] == 'i') && bytes[i + 1] == '3' && bytes[i + 2] == '8' && bytes[i + 3] == '6') {
      std::memcpy(&bytes[i], id.data(), 4);
      changed = true;
    }
  }
  return changed;
}

// Reads the whole loader, replaces the folder name and writes it back in place
// (the length never changes). Empty text on success, else the reason.
std::string PatchLoader(const fs::path& path, const std::string& id) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return path.string() + ": cannot open (" + std::strerror(errno) + ")";
  std::string reason;
  struct stat st;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    reason = path.string() + ": in use by another program";
  } else if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    reason = path.string() + ": not a file";
  } else {
    std::vector<char> bytes(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t got = ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      done += static_cast<size_t>(got);
    }
    if (done != bytes.size()) {
      reason = path.string() + ": cannot read";
    } else if (ReplaceFolderName(bytes, id)) {
      done = 0;
      while (done < bytes.size()) {
        const ssize_t put = ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) break;
        done += static_cast<size_t>(put);
      }
      if (done != bytes.size()) reason = path.string() + ": cannot write (" + std::strerror(errno) + ")";
    }
  }
  if (::close(fd) != 0 && reason.empty()) reason = path.string() + ": cannot write (" + std::strerror(errno) + ")";
  return reason;
}

}  // namespace

Problems RelocateSetupLoader(const fs::path& bootDir, const std::string& id, const MessageFn& showMessage) {
  Problems problems;
  if (!IsUsableId(id)) {
    problems.push_back("system id \"" + id + "\" cannot be used on the CD: it must be four characters");
    return problems;
  }

  const fs::path sif = ResolvePathNoCase(bootDir / "TXTSETUP.SIF");
  const std::string sourcePath = "\"\\INSTALLS\\" + id + "\\\"";
  if (Status status = WriteProfileString("SetupData", "SetupSourcePath", sif, sourcePath); !status.ok()) {
    problems.push_back(status.message());
  }

  const std::string reason = PatchLoader(ResolvePathNoCase(bootDir / "SETUPLDR.BIN"), id);
  if (!reason.empty()) {
    if (showMessage) showMessage(kLoaderProblem);
    problems.push_back(std::string(kLoaderProblem) + ": " + reason);
  }
  return problems;
}

}  // namespace kolvenar
