#include "boot/identical_files.h"

#include <fcntl.h>
#include <unistd.h>
#include <xxhash.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <numeric>
#include <utility>

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

constexpr size_t kChunk = 1 << 20;

class InputFile {
 public:
  explicit InputFile(const fs::path& path) : m_path(path), m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (m_fd < 0) m_error = errno;
    if (m_fd >= 0) ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  }
  ~InputFile() {
    if (m_fd >= 0) ::close(m_fd);
  }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  Status Failure() const {
    return Status::IoError(m_path.string() + ": cannot be read (" + std::strerror(m_error) + ")");
  }
  bool IsOpen() const { return m_fd >= 0; }

  // Fills the buffer to `size` bytes unless the file ends first; -1 on error.
  ssize_t ReadFull(char* buffer, size_t size) {
    size_t got = 0;
    while (got < size) {
      const ssize_t n = ::read(m_fd, buffer + got, size - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        m_error = errno;
        return -1;
      }
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
  }

 private:
  fs::path m_path;
  int m_fd;
  int m_error = 0;
};

Status HashFile(const fs::path& path, std::vector<char>& buffer, XXH128_hash_t* hash) {
  InputFile in(path);
  if (!in.IsOpen()) return in.Failure();
  XXH3_state_t* state = XXH3_createState();
  if (state == nullptr) throw std::bad_alloc();
  std::unique_ptr<XXH3_state_t, decltype(&XXH3_freeState)> owner(state, XXH3_freeState);
  XXH3_128bits_reset(state);
  while (true) {
    const ssize_t n = in.ReadFull(buffer.data(), buffer.size());
    if (n < 0) return in.Failure();
    if (n == 0) break;
    XXH3_128bits_update(state, buffer.data(), static_cast<size_t>(n));
  }
  *hash = XXH3_128bits_digest(state);
  return Status::Ok();
}

Status SameBytes(const fs::path& a, const fs::path& b, std::vector<char>& bufferA, std::vector<char>& bufferB,
                 bool* same) {
  InputFile inA(a);
  if (!inA.IsOpen()) return inA.Failure();
  InputFile inB(b);
  if (!inB.IsOpen()) return inB.Failure();
  while (true) {
    const ssize_t na = inA.ReadFull(bufferA.data(), bufferA.size());
    if (na < 0) return inA.Failure();
    const ssize_t nb = inB.ReadFull(bufferB.data(), bufferB.size());
    if (nb < 0) return inB.Failure();
    if (na != nb || std::memcmp(bufferA.data(), bufferB.data(), static_cast<size_t>(na)) != 0) {
      *same = false;
      return Status::Ok();
    }
    if (na == 0) break;
  }
  *same = true;
  return Status::Ok();
}

struct HashKey {
  uint64_t size;
  uint64_t high;
  uint64_t low;
  auto operator<=>(const HashKey&) const = default;
};

}  // namespace

Status FindIdenticalFiles(const std::vector<FileToCompare>& files, std::vector<size_t>* firstCopy) {
  firstCopy->resize(files.size());
  std::iota(firstCopy->begin(), firstCopy->end(), size_t{0});

  std::map<uint64_t, std::vector<size_t>> bySize;
  for (size_t i = 0; i < files.size(); ++i) {
    if (files[i].size > 0) bySize[files[i].size].push_back(i);
  }
  std::vector<char> bufferA(kChunk);
  std::vector<char> bufferB(kChunk);
  // Per size and hash, the first copies of each distinct content found so far.
  std::map<HashKey, std::vector<size_t>> distinct;
  for (const auto& [size, group] : bySize) {
    if (group.size() < 2) continue;
    for (const size_t i : group) {
      XXH128_hash_t hash;
      if (Status s = HashFile(files[i].path, bufferA, &hash); !s.ok()) return s;
      std::vector<size_t>& copies = distinct[HashKey{size, hash.high64, hash.low64}];
      bool found = false;
      for (const size_t candidate : copies) {
        bool same = false;
        if (Status s = SameBytes(files[candidate].path, files[i].path, bufferA, bufferB, &same); !s.ok()) return s;
        if (same) {
          (*firstCopy)[i] = candidate;
          found = true;
          break;
        }
      }
      if (!found) copies.push_back(i);
    }
  }
  return Status::Ok();
}

}  // namespace kolvenar
