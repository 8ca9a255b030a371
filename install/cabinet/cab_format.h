// The Microsoft Cabinet layout: field offsets and sizes of each structure, the
// limits that readers rely on, little-endian field access and the block checksum.
// Fields are read and written byte by byte, never by casting a struct.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kolvenar::cabinet {

// The eight bytes that open every cabinet: "MSCF" and the header's first
// reserved field, which is zero.
inline constexpr std::string_view kSignature{"MSCF\0\0\0\0", 8};

// CFHEADER
inline constexpr size_t kHeaderSignature = 0x00;
inline constexpr size_t kHeaderReserved1 = 0x04;
inline constexpr size_t kHeaderCabinetSize = 0x08;
inline constexpr size_t kHeaderReserved2 = 0x0C;
inline constexpr size_t kHeaderFilesOffset = 0x10;
inline constexpr size_t kHeaderReserved3 = 0x14;
inline constexpr size_t kHeaderVersionMinor = 0x18;
inline constexpr size_t kHeaderVersionMajor = 0x19;
inline constexpr size_t kHeaderFolderCount = 0x1A;
inline constexpr size_t kHeaderFileCount = 0x1C;
inline constexpr size_t kHeaderFlags = 0x1E;
inline constexpr size_t kHeaderSetId = 0x20;
inline constexpr size_t kHeaderCabinetIndex = 0x22;
inline constexpr size_t kHeaderSize = 0x24;  // without the optional reserve fields

// CFFOLDER
inline constexpr size_t kFolderDataOffset = 0x00;
inline constexpr size_t kFolderBlockCount = 0x04;
inline constexpr size_t kFolderCompression = 0x06;
inline constexpr size_t kFolderSize = 0x08;

// CFFILE (followed by the NUL-terminated name)
inline constexpr size_t kFileLength = 0x00;
inline constexpr size_t kFileFolderOffset = 0x04;
inline constexpr size_t kFileFolderIndex = 0x08;
inline constexpr size_t kFileDate = 0x0A;
inline constexpr size_t kFileTime = 0x0C;
inline constexpr size_t kFileAttributes = 0x0E;
inline constexpr size_t kFileName = 0x10;
inline constexpr size_t kFileSize = 0x10;  // without the name

// CFDATA (followed by the block's bytes)
inline constexpr size_t kDataChecksum = 0x00;
inline constexpr size_t kDataCompressedSize = 0x04;
inline constexpr size_t kDataUncompressedSize = 0x06;
inline constexpr size_t kDataSize = 0x08;

// Format version written: 1.3, the only one in use.
inline constexpr uint8_t kVersionMinor = 3;
inline constexpr uint8_t kVersionMajor = 1;

inline constexpr uint16_t kCompressionNone = 0;
inline constexpr uint16_t kCompressionMszip = 1;

// A data block holds at most 32 KiB of uncompressed data (the MSZIP window).
inline constexpr size_t kBlockMax = 32768;
// An MSZIP block may grow by the "CK" signature and a stored-block header.
inline constexpr size_t kMszipOverheadMax = 12;
// A folder counts its blocks in 16 bits.
inline constexpr size_t kFolderBlocksMax = 0xFFFF;
// A stored name has at most 255 bytes before its NUL.
inline constexpr size_t kNameMax = 255;

// File attributes stored in CFFILE.
inline constexpr uint16_t kAttributeReadOnly = 0x01;
inline constexpr uint16_t kAttributeHidden = 0x02;
inline constexpr uint16_t kAttributeSystem = 0x04;
inline constexpr uint16_t kAttributeArchive = 0x20;
inline constexpr uint16_t kAttributeExecute = 0x40;
inline constexpr uint16_t kAttributeNameIsUtf8 = 0x80;
// The attributes carried from a source file into a cabinet.
inline constexpr uint16_t kStoredAttributesMask =
    kAttributeReadOnly | kAttributeHidden | kAttributeSystem | kAttributeArchive;

inline uint16_t GetU16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t GetU32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}
inline void PutU16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
}
inline void PutU32(unsigned char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// The cabinet checksum of a run of bytes, continuing from `seed`: the XOR of its
// little-endian 32-bit words, the 1 to 3 bytes left over taken most significant first.
inline uint32_t Checksum(const unsigned char* data, size_t length, uint32_t seed) {
  uint32_t sum = seed;
  size_t words = length / 4;
  for (; words > 0; --words, data += 4) sum ^= GetU32(data);
  uint32_t rest = 0;
  switch (length & 3) {
    case 3: rest |= static_cast<uint32_t>(*data++) << 16; [[fallthrough]];
    case 2: rest |= static_cast<uint32_t>(*data++) << 8; [[fallthrough]];
    case 1: rest |= *data; break;
    default: break;
  }
  return sum ^ rest;
}

// The checksum stored in a CFDATA header: over the block's bytes, then over its
// two size fields (the four header bytes from kDataCompressedSize).
inline uint32_t DataBlockChecksum(const unsigned char* header, const unsigned char* data, size_t length) {
  return Checksum(header + kDataCompressedSize, 4, Checksum(data, length, 0));
}

}  // namespace kolvenar::cabinet
