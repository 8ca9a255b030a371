// The version records of listed files. A compressed installation file (its name
// ends in "_") is a single-file cabinet: its inner name and version are read from
// its expansion in memory, so no file is written per compressed file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "install/cabinet/cabinet.h"
#include "install/hotfixes.h"
#include "install/pe_version.h"

namespace kolvenar {
namespace fs = std::filesystem;

Status CollectFileRecords(const std::vector<fs::path>& paths, std::vector<FILE_VERSION_RECORD>& records,
                          Problems& problems) {
  records.clear();
  records.reserve(paths.size());
  ExpandedMember member;  // one buffer for every compressed file
  for (const fs::path& path : paths) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return Status::IoError(path.string() + ": cannot be opened (" + std::strerror(errno) + ")");
    FILE_VERSION_RECORD record;
    record.filePath = path;
    record.fileName = path.filename().string();
    struct stat st;
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!regular) {
      ::close(fd);  // a device, pipe or socket: no version, and never read
    } else if (!record.fileName.empty() && record.fileName.back() == '_') {
      ::close(fd);
      const Status expanded = ExpandToMemory(path, member);
      if (expanded.ok() && !member.name.empty()) {
        record.fileName = member.name;
        record.fileVersion = ReadPeFileVersion(member.bytes);
      } else {
        problems.push_back(path.string() + ": compressed file not expanded, compared under its own name (" +
                           expanded.message() + ")");
      }
    } else {
      record.fileVersion = ReadPeFileVersion(FileByteSource(fd, static_cast<uint64_t>(st.st_size)));
      ::close(fd);
    }
    records.push_back(std::move(record));
  }
  return Status::Ok();
}

}  // namespace kolvenar
