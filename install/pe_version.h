// Our own reader of a PE file's version resource: PE32 and PE32+ images, the
// resource directory (RT_VERSION, VS_VERSION_INFO) and its VS_FIXEDFILEINFO.
// Every read is checked against the bytes there are, so a malformed, truncated or
// hostile file gives 0 and never reads out of bounds.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kolvenar {

// Bytes of a file or a memory image, read at an offset.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t size() const = 0;
  // Copies `count` bytes at `offset` into `out`; false (and nothing copied) when
  // they are not all there.
  virtual bool ReadAt(uint64_t offset, void* out, size_t count) const = 0;
};

// The bytes of a memory image. The bytes must outlive the source.
class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::string_view bytes) : m_bytes(bytes) {}
  uint64_t size() const override { return m_bytes.size(); }
  bool ReadAt(uint64_t offset, void* out, size_t count) const override;

 private:
  std::string_view m_bytes;
};

// The bytes of an open file descriptor (not owned; read with pread).
class FileByteSource final : public ByteSource {
 public:
  FileByteSource(int fd, uint64_t size) : m_fd(fd), m_size(size) {}
  uint64_t size() const override { return m_size; }
  bool ReadAt(uint64_t offset, void* out, size_t count) const override;

 private:
  int m_fd;
  uint64_t m_size;
};

// The fixed file version (dwFileVersionMS << 32 | dwFileVersionLS) of the version
// resource, or 0 when the bytes are no PE image or hold no valid one.
uint64_t ReadPeFileVersion(const ByteSource& source);
uint64_t ReadPeFileVersion(std::string_view bytes);

}  // namespace kolvenar
