#include "install/cabinet/mspack_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace kolvenar::cabinet {
namespace {

// The decompressor passes no context to its messages about a cabinet as a whole.
thread_local CabinetIo* t_messageTarget = nullptr;

}  // namespace

struct CabinetIo::Handle {
  enum class Kind { kCabinet, kFile, kMemory };
  Kind kind;
  CabinetIo* owner;
  uint64_t position = 0;  // kCabinet: offset inside the cabinet
  int fd = -1;            // kFile
  int64_t stamp = 0;      // kFile
  std::string* sink = nullptr;
};

CabinetIo::CabinetIo(CabinetBytes bytes) : m_bytes(bytes) {
  m_system.table = {Open, Close, Read, Write, Seek, Tell, Message, Alloc, Free, Copy, nullptr};
  m_system.owner = this;
  t_messageTarget = this;
}

CabinetIo::~CabinetIo() {
  if (t_messageTarget == this) t_messageTarget = nullptr;
}

void CabinetIo::WriteNextToFile(const std::filesystem::path& path, int64_t stampSeconds) {
  m_outputPath = path;
  m_outputStamp = stampSeconds;
  m_outputSink = nullptr;
  m_outputError.clear();
  m_lastMessage.clear();
  t_messageTarget = this;
}

void CabinetIo::WriteNextToMemory(std::string* sink) {
  m_outputPath.clear();
  m_outputSink = sink;
  m_outputError.clear();
  m_lastMessage.clear();
  t_messageTarget = this;
}

mspack_file* CabinetIo::Open(mspack_system* self, const char* name, int mode) {
  CabinetIo* io = reinterpret_cast<System*>(self)->owner;
  t_messageTarget = io;
  if (mode == MSPACK_SYS_OPEN_READ) {
    if (std::strcmp(name, kCabinetName) != 0) return nullptr;
    return reinterpret_cast<mspack_file*>(new Handle{Handle::Kind::kCabinet, io});
  }
  if (mode != MSPACK_SYS_OPEN_WRITE) return nullptr;
  if (io->m_outputSink != nullptr) {
    auto* handle = new Handle{Handle::Kind::kMemory, io};
    handle->sink = io->m_outputSink;
    return reinterpret_cast<mspack_file*>(handle);
  }
  const int fd = ::open(io->m_outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) {
    io->m_outputError = "cannot create " + io->m_outputPath.string() + ": " + std::strerror(errno);
    return nullptr;
  }
  auto* handle = new Handle{Handle::Kind::kFile, io};
  handle->fd = fd;
  handle->stamp = io->m_outputStamp;
  return reinterpret_cast<mspack_file*>(handle);
}

void CabinetIo::Close(mspack_file* file) {
  auto* handle = reinterpret_cast<Handle*>(file);
  if (handle == nullptr) return;
  if (handle->kind == Handle::Kind::kFile) {
    // The stored time is the file's time as it stands, in UTC: no zone applied.
    const timespec times[2] = {{static_cast<time_t>(handle->stamp), 0}, {static_cast<time_t>(handle->stamp), 0}};
    ::futimens(handle->fd, times);
    if (::close(handle->fd) != 0 && handle->owner->m_outputError.empty()) {
      handle->owner->m_outputError =
          "cannot write " + handle->owner->m_outputPath.string() + ": " + std::strerror(errno);
    }
  }
  delete handle;
}

int CabinetIo::Read(mspack_file* file, void* buffer, int bytes) {
  auto* handle = reinterpret_cast<Handle*>(file);
  if (handle == nullptr || handle->kind != Handle::Kind::kCabinet || bytes < 0) return -1;
  const CabinetBytes& source = handle->owner->m_bytes;
  if (handle->position >= source.length) return 0;
  const size_t want = static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(bytes), source.length - handle->position));
  if (source.fd < 0) {
    std::memcpy(buffer, source.data + handle->position, want);
    handle->position += want;
    return static_cast<int>(want);
  }
  size_t done = 0;
  while (done < want) {
    const ssize_t got = ::pread(source.fd, static_cast<char*>(buffer) + done, want - done,
                                static_cast<off_t>(source.offset + handle->position + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    done += static_cast<size_t>(got);
  }
  handle->position += done;
  return static_cast<int>(done);
}

int CabinetIo::Write(mspack_file* file, void* buffer, int bytes) {
  auto* handle = reinterpret_cast<Handle*>(file);
  if (handle == nullptr || bytes < 0) return -1;
  if (handle->kind == Handle::Kind::kMemory) {
    handle->sink->append(static_cast<const char*>(buffer), static_cast<size_t>(bytes));
    return bytes;
  }
  if (handle->kind != Handle::Kind::kFile) return -1;
  size_t done = 0;
  while (done < static_cast<size_t>(bytes)) {
    const ssize_t put = ::write(handle->fd, static_cast<const char*>(buffer) + done, static_cast<size_t>(bytes) - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) {
      handle->owner->m_outputError =
          "cannot write " + handle->owner->m_outputPath.string() + ": " + std::strerror(put < 0 ? errno : ENOSPC);
      return -1;
    }
    done += static_cast<size_t>(put);
  }
  return bytes;
}

int CabinetIo::Seek(mspack_file* file, off_t offset, int mode) {
  auto* handle = reinterpret_cast<Handle*>(file);
  if (handle == nullptr || handle->kind != Handle::Kind::kCabinet) return -1;
  const uint64_t length = handle->owner->m_bytes.length;
  int64_t base = 0;
  switch (mode) {
    case MSPACK_SYS_SEEK_START: base = 0; break;
    case MSPACK_SYS_SEEK_CUR: base = static_cast<int64_t>(handle->position); break;
    case MSPACK_SYS_SEEK_END: base = static_cast<int64_t>(length); break;
    default: return -1;
  }
  // Positions past the end are allowed (reads there give nothing), as in a file;
  // the limit keeps offset + position far from overflowing.
  constexpr int64_t kLimit = std::numeric_limits<int64_t>::max() / 4;
  if (offset > kLimit || offset < -kLimit) return -1;
  const int64_t target = base + offset;
  if (target < 0 || target > kLimit) return -1;
  handle->position = static_cast<uint64_t>(target);
  return 0;
}

off_t CabinetIo::Tell(mspack_file* file) {
  auto* handle = reinterpret_cast<Handle*>(file);
  if (handle == nullptr || handle->kind != Handle::Kind::kCabinet) return -1;
  return static_cast<off_t>(handle->position);
}

void CabinetIo::Message(mspack_file* file, const char* format, ...) {
  CabinetIo* io = file != nullptr ? reinterpret_cast<Handle*>(file)->owner : t_messageTarget;
  if (io == nullptr) return;
  char text[512];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  io->m_lastMessage = text;
}

void* CabinetIo::Alloc(mspack_system*, size_t bytes) { return std::malloc(bytes); }
void CabinetIo::Free(void* pointer) { std::free(pointer); }
void CabinetIo::Copy(void* source, void* destination, size_t bytes) { std::memmove(destination, source, bytes); }

}  // namespace kolvenar::cabinet
