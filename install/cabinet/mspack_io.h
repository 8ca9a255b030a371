// The I/O that libmspack's cabinet decompressor goes through (its mspack_system
// table). The cabinet is read in place: from an offset inside an open file (the
// stub of a self-extracting package is skipped, nothing is copied) or from
// memory. Each extracted member goes to the output chosen before extracting it:
// a new file, or a string.
#pragma once

#include <mspack.h>
#include <sys/types.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>

namespace kolvenar::cabinet {

// The bytes of one cabinet: `length` bytes from `offset` of the open file `fd`,
// or (with fd < 0) the `length` bytes at `data`. Not owned.
struct CabinetBytes {
  int fd = -1;
  uint64_t offset = 0;
  uint64_t length = 0;
  const unsigned char* data = nullptr;
};

class CabinetIo {
 public:
  explicit CabinetIo(CabinetBytes bytes);
  ~CabinetIo();
  CabinetIo(const CabinetIo&) = delete;
  CabinetIo& operator=(const CabinetIo&) = delete;

  // The name under which the decompressor opens the cabinet. Any other name
  // (a continuation cabinet, say) cannot be opened: only these bytes are read.
  static constexpr const char* kCabinetName = "cabinet";

  mspack_system* system() { return &m_system.table; }

  // The next member is written to a file created at `path` (replacing a file
  // there, never following a symbolic link), whose modification and access times
  // become `stamp` when it is closed.
  void WriteNextToFile(const std::filesystem::path& path, int64_t stampSeconds);
  // The next member is appended to `sink`.
  void WriteNextToMemory(std::string* sink);

  // Why the last output could not be created or written (empty when it could).
  const std::string& outputError() const { return m_outputError; }
  // The decompressor's last message (a reason behind a failure, often).
  const std::string& lastMessage() const { return m_lastMessage; }

 private:
  struct System {
    mspack_system table;
    CabinetIo* owner;
  };
  struct Handle;

  static mspack_file* Open(mspack_system* self, const char* name, int mode);
  static void Close(mspack_file* file);
  static int Read(mspack_file* file, void* buffer, int bytes);
  static int Write(mspack_file* file, void* buffer, int bytes);
  static int Seek(mspack_file* file, off_t offset, int mode);
  static off_t Tell(mspack_file* file);
  static void Message(mspack_file* file, const char* format, ...) __attribute__((format(printf, 2, 3)));
  static void* Alloc(mspack_system* self, size_t bytes);
  static void Free(void* pointer);
  static void Copy(void* source, void* destination, size_t bytes);

  System m_system;
  CabinetBytes m_bytes;
  std::filesystem::path m_outputPath;
  int64_t m_outputStamp = 0;
  std::string* m_outputSink = nullptr;
  std::string m_outputError;
  std::string m_lastMessage;
};

}  // namespace kolvenar::cabinet
