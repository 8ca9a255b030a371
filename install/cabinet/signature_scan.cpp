#include "install/cabinet/signature_scan.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "install/cabinet/cab_format.h"

namespace kolvenar::cabinet {

std::optional<uint64_t> FindCabinetSignature(std::string_view bytes) {
  const size_t at = bytes.find(kSignature);
  if (at == std::string_view::npos) return std::nullopt;
  return at;
}

std::optional<uint64_t> FindCabinetSignature(int fd, uint64_t length) {
  // Chunks overlap by the signature's length less one, so a signature that
  // straddles two reads is still seen.
  constexpr size_t kChunk = 256 * 1024;
  constexpr size_t kOverlap = kSignature.size() - 1;
  std::vector<char> buffer(kChunk);
  uint64_t start = 0;  // file offset of buffer[0]
  size_t kept = 0;     // bytes carried over from the previous chunk
  while (start + kept < length) {
    const uint64_t want = std::min<uint64_t>(kChunk - kept, length - start - kept);
    const ssize_t got = ::pread(fd, buffer.data() + kept, want, static_cast<off_t>(start + kept));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return std::nullopt;
    const size_t filled = kept + static_cast<size_t>(got);
    if (auto at = FindCabinetSignature(std::string_view(buffer.data(), filled))) return start + *at;
    kept = std::min(filled, kOverlap);
    std::copy(buffer.begin() + static_cast<ptrdiff_t>(filled - kept), buffer.begin() + static_cast<ptrdiff_t>(filled),
              buffer.begin());
    start += filled - kept;
  }
  return std::nullopt;
}

}  // namespace kolvenar::cabinet
