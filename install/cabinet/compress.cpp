// CompressToCabinet: one file into a new single-file MSZIP cabinet.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "install/cabinet/cab_format.h"
#include "install/cabinet/cabinet.h"
#include "install/cabinet/mszip_writer.h"
#include "install/names.h"
#include "install/text_encoding.h"

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

// The stored name in the form readers expect: Windows-1252 when it can be
// written so, else UTF-8 marked by the name-is-UTF-8 attribute.
void EncodeStoredName(std::string_view utf8, cabinet::StoredFile& file) {
  const std::string ansi = Utf8ToWindows1252(utf8);
  if (Windows1252ToUtf8(ansi) == utf8) {
    file.name = ansi;
  } else {
    file.name = std::string(utf8);
    file.attributes |= cabinet::kAttributeNameIsUtf8;
  }
}

Status ReadWhole(int fd, uint64_t length, std::string& content, const std::string& name) {
  content.resize(length);
  size_t done = 0;
  while (done < length) {
    const ssize_t got = ::read(fd, content.data() + done, length - done);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Status::IoError(name + ": cannot read: " + std::strerror(errno));
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  content.resize(done);
  return Status::Ok();
}

// Step "add the file": the cabinet's bytes for the source under its stored name.
Status BuildCabinet(const fs::path& sourcePath, std::string_view storedName, std::string& cabinetBytes) {
  const std::string name = sourcePath.string();
  const int fd = ::open(sourcePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return Status::NotFound(name + ": cannot open: " + std::strerror(errno));
  struct stat info {};
  Status status;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    status = Status::InvalidArgument(name + ": not a regular file");
  } else if (static_cast<uint64_t>(info.st_size) > cabinet::kMaxCompressedFileSize) {
    status = Status::InvalidArgument(name + ": too large for a cabinet (at most 2 GiB)");
  }
  std::string content;
  if (status.ok()) status = ReadWhole(fd, static_cast<uint64_t>(info.st_size), content, name);
  ::close(fd);
  if (!status.ok()) return status;

  cabinet::StoredFile file;
  file.stamp = cabinet::DosDateTimeFromUnixSeconds(info.st_mtim.tv_sec);
  // A file is read-only when its owner may not write it; it is always due for
  // archiving. Hidden and system have no counterpart here.
  file.attributes = cabinet::kAttributeArchive;
  if ((info.st_mode & S_IWUSR) == 0) file.attributes |= cabinet::kAttributeReadOnly;
  file.attributes &= cabinet::kStoredAttributesMask;
  EncodeStoredName(storedName, file);
  status = cabinet::BuildMszipCabinet(content, file, cabinetBytes);
  if (!status.ok()) return Status::InvalidArgument(name + ": " + status.message());
  return Status::Ok();
}

// A name beside the cabinet for writing it before it replaces the old file.
fs::path TemporaryNameBeside(const fs::path& cabinetPath) {
  static std::atomic<unsigned> counter{0};
  thread_local std::mt19937 random{std::random_device{}()};
  char suffix[40];
  std::snprintf(suffix, sizeof suffix, ".~%d-%u-%08x", static_cast<int>(::getpid()), counter++,
                static_cast<unsigned>(random()));
  std::string name = ".";
  name += cabinetPath.filename().string();
  name += suffix;
  return cabinetPath.parent_path() / name;
}

// Step "complete and write": the new cabinet replaces the old file in one rename.
Status WriteCabinet(const fs::path& cabinetPath, const std::string& bytes, fs::path& temporary) {
  int fd = -1;
  for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
    temporary = TemporaryNameBeside(cabinetPath);
    fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    const int error = errno;
    temporary.clear();
    return Status::IoError(cabinetPath.string() + ": cannot create: " + std::strerror(error));
  }
  size_t done = 0;
  int error = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      error = put < 0 ? errno : ENOSPC;
      break;
    }
    done += static_cast<size_t>(put);
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temporary.c_str(), cabinetPath.c_str()) != 0) error = errno;
  if (error != 0) return Status::IoError(cabinetPath.string() + ": cannot write: " + std::strerror(error));
  temporary.clear();
  return Status::Ok();
}

}  // namespace

Status CompressToCabinet(const fs::path& sourcePath, const fs::path& cabinetPath, std::string_view storedName,
                         const MessageFn& showMessage) {
  const auto show = [&](const char* text) {
    if (showMessage) showMessage(text);
  };
  const fs::path target = ResolvePathNoCase(cabinetPath);

  // The old file stays until the new cabinet is complete: a failure leaves it
  // as it was instead of leaving nothing.
  std::string bytes;
  Status result = BuildCabinet(sourcePath, storedName, bytes);
  if (!result.ok()) {
    show("Something Failed! 1");
    return result;
  }
  fs::path temporary;
  result = WriteCabinet(target, bytes, temporary);
  if (!result.ok()) show("Something Failed! 2");
  if (!temporary.empty() && ::unlink(temporary.c_str()) != 0 && errno != ENOENT) {
    show("Something Failed! 3");
    if (result.ok()) result = Status::IoError(temporary.string() + ": cannot delete: " + std::strerror(errno));
  }
  return result;
}

}  // namespace kolvenar
