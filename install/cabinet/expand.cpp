// ExpandCabinet and ExpandToMemory: the first cabinet in a file, read in place.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <system_error>

#include "install/cabinet/cabinet.h"
#include "install/cabinet/cabinet_reader.h"
#include "install/cabinet/destination_tree.h"
#include "install/cabinet/signature_scan.h"
#include "install/names.h"

namespace kolvenar {
namespace fs = std::filesystem;

fs::path g_expandDir;
bool g_expandKeepFolders = false;
std::string g_lastExpandedName;

namespace {

// A small cabinet (a compressed installation file) is read whole: one read
// instead of a dozen small ones.
constexpr uint64_t kReadWholeLimit = 4 * 1024 * 1024;
// Memory reserved ahead for a member; larger ones grow as they are written.
constexpr uint64_t kReserveLimit = 64 * 1024 * 1024;

Status WithPrefix(const std::string& prefix, const Status& status) {
  switch (status.kind()) {
    case Status::Kind::kOk: return status;
    case Status::Kind::kNotFound: return Status::NotFound(prefix + status.message());
    case Status::Kind::kCorrupt: return Status::Corrupt(prefix + status.message());
    case Status::Kind::kIoError: return Status::IoError(prefix + status.message());
    case Status::Kind::kInvalidArgument: return Status::InvalidArgument(prefix + status.message());
  }
  return status;
}

class OpenSource {
 public:
  ~OpenSource() {
    if (m_fd >= 0) ::close(m_fd);
  }
  Status Open(const fs::path& path) {
    m_name = path.string();
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
      const int error = errno;
      return error == ENOENT ? Status::NotFound(m_name + ": no such file")
                             : Status::IoError(m_name + ": cannot open: " + std::strerror(error));
    }
    struct stat info {};
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      return Status::InvalidArgument(m_name + ": not a regular file");
    }
    m_length = static_cast<uint64_t>(info.st_size);
    return Status::Ok();
  }
  // Finds the cabinet; with `mayReadWhole`, a small file is loaded into memory.
  Status Locate(bool mayReadWhole, cabinet::CabinetBytes& bytes) {
    std::optional<uint64_t> at;
    if (mayReadWhole && m_length <= kReadWholeLimit) {
      m_whole.resize(m_length);
      size_t done = 0;
      while (done < m_length) {
        const ssize_t got = ::pread(m_fd, m_whole.data() + done, m_length - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return Status::IoError(m_name + ": cannot read: " + std::strerror(errno));
        if (got == 0) break;
        done += static_cast<size_t>(got);
      }
      m_whole.resize(done);
      at = cabinet::FindCabinetSignature(m_whole);
      if (at) bytes = {-1, 0, done - *at, reinterpret_cast<const unsigned char*>(m_whole.data()) + *at};
    } else {
      // A package is read once from start to end: let the kernel read ahead.
      ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
      at = cabinet::FindCabinetSignature(m_fd, m_length);
      if (at) bytes = {m_fd, *at, m_length - *at, nullptr};
    }
    if (!at) return Status::NotFound(m_name + ": not a cabinet (no signature)");
    return Status::Ok();
  }
  const std::string& name() const { return m_name; }

 private:
  std::string m_name;
  int m_fd = -1;
  uint64_t m_length = 0;
  std::string m_whole;
};

}  // namespace

Status ExpandCabinet(const fs::path& sourcePath, const fs::path& destinationFolder, const fs::path& /*workFolder*/,
                     bool keepFolders) {
  // The cabinet is read where it stands in the source, so the work folder is
  // not needed: nothing is copied and nothing is left in it.
  g_expandDir = destinationFolder / "";
  g_expandKeepFolders = keepFolders;
  g_lastExpandedName.clear();

  OpenSource source;
  Status status = source.Open(sourcePath);
  cabinet::CabinetBytes bytes;
  if (status.ok()) status = source.Locate(false, bytes);
  if (!status.ok()) return status;

  cabinet::DestinationTree tree(ResolvePathNoCase(destinationFolder));
  fs::path current;
  cabinet::MemberHandler handler;
  handler.begin = [&](const cabinet::MemberInfo& member, cabinet::CabinetIo& io) {
    g_lastExpandedName = member.storedName;
    Status placed = tree.Place(member.storedName, g_expandKeepFolders, current);
    if (!placed.ok()) return WithPrefix(source.name() + ": ", placed);
    io.WriteNextToFile(current, member.stampSeconds);
    return Status::Ok();
  };
  handler.end = [&](const cabinet::MemberInfo&, bool complete) {
    // A member cut short by damage is removed: a partial file would pass for
    // the real one later. The members extracted before it stay.
    if (!complete) {
      std::error_code ec;
      if (fs::is_regular_file(fs::symlink_status(current, ec))) fs::remove(current, ec);
    }
  };
  return cabinet::ExpandMembers(bytes, source.name(), handler);
}

Status ExpandToMemory(const fs::path& sourcePath, ExpandedMember& member) {
  g_lastExpandedName.clear();
  // Cleared, not replaced: a caller that passes the same member for every file
  // keeps its buffer and saves an allocation per file.
  member.name.clear();
  member.bytes.clear();
  OpenSource source;
  Status status = source.Open(sourcePath);
  cabinet::CabinetBytes bytes;
  if (status.ok()) status = source.Locate(true, bytes);
  if (!status.ok()) return status;

  cabinet::MemberHandler handler;
  handler.begin = [&](const cabinet::MemberInfo& info, cabinet::CabinetIo& io) {
    g_lastExpandedName = info.storedName;
    member.name = info.storedName;
    member.bytes.clear();
    member.bytes.reserve(std::min<uint64_t>(info.length, kReserveLimit));
    io.WriteNextToMemory(&member.bytes);
    return Status::Ok();
  };
  status = cabinet::ExpandMembers(bytes, source.name(), handler, 1);
  if (!status.ok()) {
    member.name.clear();
    member.bytes.clear();
  }
  return status;
}

}  // namespace kolvenar
