// Small cabinets made by hand for tests: uncompressed folders (compression type
// 0), names, times and attributes exactly as given, checksums as the format
// defines them. Offsets are written out here from the format, independently of
// the engine's own layout header.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kolvenar::test {

struct CabMember {
  std::string name;     // stored bytes (Windows-1252, or UTF-8 with attribute 0x80)
  std::string content;
  uint16_t date = (23 << 9) | (7 << 5) | 15;  // 2003-07-15
  uint16_t time = (13 << 11) | (45 << 5) | 11;  // 13:45:22
  uint16_t attributes = 0x20;
};

inline void Put16(std::string& s, size_t at, uint16_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8);
}
inline void Put32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline uint32_t Get32(const std::string& s, size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}
inline uint16_t Get16(const std::string& s, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) | (static_cast<unsigned char>(s[at + 1]) << 8));
}

// The format's checksum: XOR of little-endian dwords, then the 1-3 remaining
// bytes combined most significant first.
inline uint32_t CabChecksum(const std::string& bytes, size_t at, size_t length, uint32_t seed) {
  uint32_t sum = seed;
  size_t i = 0;
  for (; i + 4 <= length; i += 4) sum ^= Get32(bytes, at + i);
  uint32_t rest = 0;
  for (; i < length; ++i) rest = (rest << 8) | static_cast<unsigned char>(bytes[at + i]);
  return sum ^ rest;
}

// A cabinet of the members: all in one folder, or each in its own folder.
inline std::string BuildStoredCabinet(const std::vector<CabMember>& members, bool folderPerMember = false) {
  const size_t folders = folderPerMember ? members.size() : 1;
  std::string cab(36, '\0');
  cab.replace(0, 4, "MSCF");
  cab[24] = 3;  // version 1.3
  cab[25] = 1;
  Put16(cab, 26, static_cast<uint16_t>(folders));
  Put16(cab, 28, static_cast<uint16_t>(members.size()));
  const size_t folderTable = cab.size();
  cab.append(8 * folders, '\0');
  Put32(cab, 16, static_cast<uint32_t>(cab.size()));  // coffFiles
  uint32_t offsetInFolder = 0;
  for (size_t i = 0; i < members.size(); ++i) {
    const CabMember& m = members[i];
    std::string entry(16, '\0');
    Put32(entry, 0, static_cast<uint32_t>(m.content.size()));
    Put32(entry, 4, folderPerMember ? 0 : offsetInFolder);
    Put16(entry, 8, static_cast<uint16_t>(folderPerMember ? i : 0));
    Put16(entry, 10, m.date);
    Put16(entry, 12, m.time);
    Put16(entry, 14, m.attributes);
    cab += entry + m.name + '\0';
    offsetInFolder += static_cast<uint32_t>(m.content.size());
  }
  std::vector<std::string> streams(folders);
  for (size_t i = 0; i < members.size(); ++i) streams[folderPerMember ? i : 0] += members[i].content;
  for (size_t f = 0; f < folders; ++f) {
    Put32(cab, folderTable + 8 * f, static_cast<uint32_t>(cab.size()));
    uint16_t blocks = 0;
    for (size_t at = 0; at < streams[f].size(); at += 32768, ++blocks) {
      const std::string chunk = streams[f].substr(at, 32768);
      std::string block(8, '\0');
      Put16(block, 4, static_cast<uint16_t>(chunk.size()));
      Put16(block, 6, static_cast<uint16_t>(chunk.size()));
      block += chunk;
      Put32(block, 0, CabChecksum(block, 4, 4, CabChecksum(block, 8, chunk.size(), 0)));
      cab += block;
    }
    Put16(cab, folderTable + 8 * f + 4, blocks);
    Put16(cab, folderTable + 8 * f + 6, 0);  // no compression
  }
  Put32(cab, 8, static_cast<uint32_t>(cab.size()));
  return cab;
}

}  // namespace kolvenar::test
