#include "install/cabinet/mszip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <thread>
#include <vector>

#include "install/cabinet/cab_format.h"

namespace kolvenar::cabinet {
namespace {

// Blocks per thread below which a second thread is not worth starting.
constexpr size_t kBlocksPerThreadMin = 4;
constexpr unsigned kThreadsMax = 4;
// A stored deflate block: BFINAL and BTYPE 00 in one byte, then LEN and NLEN.
constexpr size_t kStoredHeader = 5;
constexpr unsigned char kMszipSignature[2] = {'C', 'K'};

class BlockCompressor {
 public:
  BlockCompressor() { m_ready = deflateInit2(&m_stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK; }
  ~BlockCompressor() {
    if (m_ready) deflateEnd(&m_stream);
  }
  BlockCompressor(const BlockCompressor&) = delete;
  BlockCompressor& operator=(const BlockCompressor&) = delete;

  // Appends the CFDATA record of `block` to `out`; `history` is the previous
  // block (empty for the first).
  bool Append(std::string_view history, std::string_view block, std::string& out) {
    if (!m_ready) return false;
    const size_t start = out.size();
    const size_t bound = deflateBound(&m_stream, block.size());
    out.resize(start + kDataSize + sizeof kMszipSignature + std::max(bound, block.size() + kStoredHeader));
    auto* record = reinterpret_cast<unsigned char*>(out.data() + start);
    unsigned char* payload = record + kDataSize;
    payload[0] = kMszipSignature[0];
    payload[1] = kMszipSignature[1];
    unsigned char* stream = payload + sizeof kMszipSignature;

    if (deflateReset(&m_stream) != Z_OK) return false;
    if (!history.empty() &&
        deflateSetDictionary(&m_stream, reinterpret_cast<const Bytef*>(history.data()),
                             static_cast<uInt>(history.size())) != Z_OK) {
      return false;
    }
    m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
    m_stream.avail_in = static_cast<uInt>(block.size());
    m_stream.next_out = stream;
    m_stream.avail_out = static_cast<uInt>(bound);
    if (deflate(&m_stream, Z_FINISH) != Z_STREAM_END) return false;
    size_t streamSize = m_stream.total_out;
    if (streamSize > block.size() + kStoredHeader) {
      // Data that does not compress goes in one stored block, which keeps the
      // block within the format's limit of 32 KiB plus 12 bytes.
      stream[0] = 0x01;
      PutU16(stream + 1, static_cast<uint16_t>(block.size()));
      PutU16(stream + 3, static_cast<uint16_t>(~block.size()));
      std::copy(block.begin(), block.end(), stream + kStoredHeader);
      streamSize = block.size() + kStoredHeader;
    }
    const size_t payloadSize = sizeof kMszipSignature + streamSize;
    PutU16(record + kDataCompressedSize, static_cast<uint16_t>(payloadSize));
    PutU16(record + kDataUncompressedSize, static_cast<uint16_t>(block.size()));
    PutU32(record + kDataChecksum, DataBlockChecksum(record, payload, payloadSize));
    out.resize(start + kDataSize + payloadSize);
    return true;
  }

 private:
  z_stream m_stream{};
  bool m_ready = false;
};

// The CFDATA records of blocks [first, last) of `content`.
bool CompressBlocks(std::string_view content, size_t first, size_t last, std::string& out) {
  BlockCompressor compressor;
  out.reserve((last - first) * (kBlockMax / 2));
  for (size_t b = first; b < last; ++b) {
    const std::string_view history = b == 0 ? std::string_view() : content.substr((b - 1) * kBlockMax, kBlockMax);
    if (!compressor.Append(history, content.substr(b * kBlockMax, kBlockMax), out)) return false;
  }
  return true;
}

}  // namespace

Status BuildMszipCabinet(std::string_view content, const StoredFile& file, std::string& cabinet) {
  if (file.name.empty() || file.name.size() > kNameMax || file.name.find('\0') != std::string::npos) {
    return Status::InvalidArgument("the stored name must have 1 to 255 bytes");
  }
  if (content.size() > kMaxCompressedFileSize) {
    return Status::InvalidArgument("the file is too large for a cabinet folder (at most 2 GiB)");
  }
  const size_t blocks = (content.size() + kBlockMax - 1) / kBlockMax;

  const unsigned available = std::max(1u, std::min(std::thread::hardware_concurrency(), kThreadsMax));
  const size_t threads = std::max<size_t>(1, std::min<size_t>(available, blocks / kBlocksPerThreadMin));
  std::vector<std::string> parts(threads);
  std::vector<char> done(threads, 0);
  {
    std::vector<std::thread> workers;
    for (size_t t = 0; t < threads; ++t) {
      const size_t first = blocks * t / threads;
      const size_t last = blocks * (t + 1) / threads;
      auto work = [&, t, first, last] { done[t] = CompressBlocks(content, first, last, parts[t]) ? 1 : 0; };
      if (t + 1 == threads) {
        work();
      } else {
        workers.emplace_back(work);
      }
    }
    for (std::thread& worker : workers) worker.join();
  }
  if (std::find(done.begin(), done.end(), 0) != done.end()) return Status::IoError("MSZIP compression failed");

  const size_t filesOffset = kHeaderSize + kFolderSize;
  const size_t dataOffset = filesOffset + kFileSize + file.name.size() + 1;
  size_t total = dataOffset;
  for (const std::string& part : parts) total += part.size();
  if (total > 0xFFFFFFFFull) return Status::InvalidArgument("the cabinet would exceed 4 GiB");

  cabinet.assign(dataOffset, '\0');
  auto* p = reinterpret_cast<unsigned char*>(cabinet.data());
  std::copy(kSignature.begin(), kSignature.begin() + 4, p + kHeaderSignature);
  PutU32(p + kHeaderCabinetSize, static_cast<uint32_t>(total));
  PutU32(p + kHeaderFilesOffset, static_cast<uint32_t>(filesOffset));
  p[kHeaderVersionMinor] = kVersionMinor;
  p[kHeaderVersionMajor] = kVersionMajor;
  PutU16(p + kHeaderFolderCount, 1);
  PutU16(p + kHeaderFileCount, 1);
  // Flags 0 (no neighbours, no reserve), set ID 0, cabinet 0: already zero.

  unsigned char* folder = p + kHeaderSize;
  PutU32(folder + kFolderDataOffset, static_cast<uint32_t>(dataOffset));
  PutU16(folder + kFolderBlockCount, static_cast<uint16_t>(blocks));
  PutU16(folder + kFolderCompression, kCompressionMszip);

  unsigned char* entry = p + filesOffset;
  PutU32(entry + kFileLength, static_cast<uint32_t>(content.size()));
  PutU32(entry + kFileFolderOffset, 0);
  PutU16(entry + kFileFolderIndex, 0);
  PutU16(entry + kFileDate, file.stamp.date);
  PutU16(entry + kFileTime, file.stamp.time);
  PutU16(entry + kFileAttributes, file.attributes);
  std::copy(file.name.begin(), file.name.end(), entry + kFileName);

  cabinet.reserve(total);
  for (const std::string& part : parts) cabinet += part;
  return Status::Ok();
}

}  // namespace kolvenar::cabinet
