#include "install/pe_version.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>
#include <vector>

#include "install/hotfixes.h"
#include "install/names.h"

namespace kolvenar {
namespace {

// PE/COFF layout: offsets and sizes of the structures read here.
constexpr uint16_t kDosMagic = 0x5A4D;           // "MZ"
constexpr uint64_t kDosNewHeaderOffset = 0x3C;   // e_lfanew
constexpr uint32_t kPeSignature = 0x00004550;    // "PE\0\0"
constexpr uint64_t kCoffHeaderSize = 4 + 20;     // signature + file header
constexpr uint64_t kCoffSectionCount = 4 + 2;    // NumberOfSections
constexpr uint64_t kCoffOptionalSize = 4 + 16;   // SizeOfOptionalHeader
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint32_t kPe32DirectoryCount = 92;     // NumberOfRvaAndSizes in a PE32 optional header
constexpr uint32_t kPe32PlusDirectoryCount = 108;
constexpr uint32_t kResourceDirectory = 2;       // index of the resource table
constexpr uint32_t kDirectoryEntrySize = 8;      // RVA + size
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionVirtualAddress = 12;
constexpr uint32_t kSectionRawSize = 16;
constexpr uint32_t kSectionRawPointer = 20;

// Resource directory: a 16-byte header with the counts of named and numbered
// entries at 12 and 14, then 8-byte entries (name or id, offset). The high bit of
// the offset marks a subdirectory; offsets count from the resource table's start.
constexpr uint32_t kResourceDirectoryHeaderSize = 16;
constexpr uint32_t kResourceEntrySize = 8;
constexpr uint32_t kHighBit = 0x80000000;
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kVsVersionInfoId = 1;
constexpr uint32_t kLanguageNeutral = 0x0000;
constexpr uint32_t kLanguageEnglishUs = 0x0409;
constexpr uint32_t kResourceDataEntrySize = 16;  // data RVA, size, code page, reserved

// VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO\0", padding to
// a 32-bit boundary (offset 40), then VS_FIXEDFILEINFO (52 bytes) with its
// signature at 0 and dwFileVersionMS/LS at 8 and 12.
constexpr char16_t kVersionInfoKey[] = u"VS_VERSION_INFO";
constexpr uint32_t kVersionKeyOffset = 6;
constexpr uint32_t kFixedInfoOffset = 40;
constexpr uint32_t kFixedInfoSize = 52;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;

uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
uint32_t Le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

struct Section {
  uint32_t virtualAddress;
  uint32_t rawSize;
  uint32_t rawPointer;
};

class PeImage {
 public:
  explicit PeImage(const ByteSource& source) : m_source(source) {}

  uint64_t FileVersion();

 private:
  bool Read16(uint64_t offset, uint16_t& value) const {
    uint8_t b[2];
    if (!m_source.ReadAt(offset, b, sizeof b)) return false;
    value = Le16(b);
    return true;
  }
  bool Read32(uint64_t offset, uint32_t& value) const {
    uint8_t b[4];
    if (!m_source.ReadAt(offset, b, sizeof b)) return false;
    value = Le32(b);
    return true;
  }
  bool ReadHeaders(uint32_t& resourceRva);
  // The file offset of `count` bytes at `rva`, all inside one section's raw data.
  bool RvaToOffset(uint64_t rva, uint64_t count, uint64_t& offset) const;
  bool ReadRva(uint64_t rva, void* out, size_t count) const {
    uint64_t offset;
    return RvaToOffset(rva, count, offset) && m_source.ReadAt(offset, out, count);
  }
  // The offset field of the entry of the directory at `directoryRva` that has
  // numeric id `id`; with `anyLanguage` the language fallback order instead.
  bool FindEntry(uint64_t directoryRva, uint32_t id, bool anyLanguage, uint32_t& entryOffset) const;

  const ByteSource& m_source;
  std::vector<Section> m_sections;
};

bool PeImage::ReadHeaders(uint32_t& resourceRva) {
  uint16_t dosMagic;
  uint32_t peOffset, signature;
  if (!Read16(0, dosMagic) || dosMagic != kDosMagic) return false;
  if (!Read32(kDosNewHeaderOffset, peOffset) || !Read32(peOffset, signature) || signature != kPeSignature) return false;
  uint16_t sectionCount, optionalSize, magic;
  if (!Read16(peOffset + kCoffSectionCount, sectionCount) || !Read16(peOffset + kCoffOptionalSize, optionalSize)) {
    return false;
  }
  const uint64_t optional = peOffset + kCoffHeaderSize;
  if (!Read16(optional, magic)) return false;
  uint32_t countOffset;
  if (magic == kPe32Magic) {
    countOffset = kPe32DirectoryCount;
  } else if (magic == kPe32PlusMagic) {
    countOffset = kPe32PlusDirectoryCount;
  } else {
    return false;
  }
  // The directory must be counted and lie inside the optional header.
  const uint64_t directoryEnd = countOffset + 4 + (kResourceDirectory + 1) * uint64_t{kDirectoryEntrySize};
  uint32_t directoryCount;
  if (optionalSize < directoryEnd || !Read32(optional + countOffset, directoryCount) ||
      directoryCount <= kResourceDirectory) {
    return false;
  }
  if (!Read32(optional + countOffset + 4 + kResourceDirectory * kDirectoryEntrySize, resourceRva) ||
      resourceRva == 0) {
    return false;
  }
  std::vector<uint8_t> table(uint64_t{sectionCount} * kSectionHeaderSize);
  if (!m_source.ReadAt(optional + optionalSize, table.data(), table.size())) return false;
  m_sections.reserve(sectionCount);
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint8_t* header = table.data() + uint64_t{i} * kSectionHeaderSize;
    m_sections.push_back({Le32(header + kSectionVirtualAddress), Le32(header + kSectionRawSize),
                          Le32(header + kSectionRawPointer)});
  }
  return true;
}

bool PeImage::RvaToOffset(uint64_t rva, uint64_t count, uint64_t& offset) const {
  for (const Section& s : m_sections) {
    if (rva < s.virtualAddress) continue;
    const uint64_t into = rva - s.virtualAddress;
    if (into >= s.rawSize || count > s.rawSize - into) continue;
    offset = uint64_t{s.rawPointer} + into;
    return true;
  }
  return false;
}

bool PeImage::FindEntry(uint64_t directoryRva, uint32_t id, bool anyLanguage, uint32_t& entryOffset) const {
  uint8_t header[kResourceDirectoryHeaderSize];
  if (!ReadRva(directoryRva, header, sizeof header)) return false;
  const uint32_t named = Le16(header + 12);
  const uint32_t numbered = Le16(header + 14);
  std::vector<uint8_t> entries((uint64_t{named} + numbered) * kResourceEntrySize);
  if (entries.empty() || !ReadRva(directoryRva + kResourceDirectoryHeaderSize, entries.data(), entries.size())) {
    return false;
  }
  // Named entries come first; ids are the numbered ones after them.
  auto findId = [&](uint32_t wanted, uint32_t& offset) {
    for (uint32_t i = named; i < named + numbered; ++i) {
      const uint8_t* entry = entries.data() + uint64_t{i} * kResourceEntrySize;
      if (Le32(entry) == wanted) {
        offset = Le32(entry + 4);
        return true;
      }
    }
    return false;
  };
  if (!anyLanguage) return findId(id, entryOffset);
  // The loader's order when no language is asked for: neutral, English (US),
  // then the first one there is. Fixed, so that every machine reads the same.
  if (findId(kLanguageNeutral, entryOffset) || findId(kLanguageEnglishUs, entryOffset)) return true;
  entryOffset = Le32(entries.data() + 4);
  return true;
}

uint64_t PeImage::FileVersion() {
  uint32_t root;
  if (!ReadHeaders(root)) return 0;
  uint32_t typeEntry, nameEntry, languageEntry;
  if (!FindEntry(root, kRtVersion, false, typeEntry) || (typeEntry & kHighBit) == 0) return 0;
  if (!FindEntry(uint64_t{root} + (typeEntry & ~kHighBit), kVsVersionInfoId, false, nameEntry) ||
      (nameEntry & kHighBit) == 0) {
    return 0;
  }
  if (!FindEntry(uint64_t{root} + (nameEntry & ~kHighBit), 0, true, languageEntry) ||
      (languageEntry & kHighBit) != 0) {
    return 0;
  }
  uint8_t dataEntry[kResourceDataEntrySize];
  if (!ReadRva(uint64_t{root} + languageEntry, dataEntry, sizeof dataEntry)) return 0;
  const uint32_t dataRva = Le32(dataEntry);
  const uint32_t dataSize = Le32(dataEntry + 4);
  constexpr uint32_t kNeeded = kFixedInfoOffset + kFixedInfoSize;
  uint8_t info[kNeeded];
  if (dataSize < kNeeded || !ReadRva(dataRva, info, sizeof info)) return 0;
  const uint16_t length = Le16(info);
  const uint16_t valueLength = Le16(info + 2);
  if (length < kNeeded || length > dataSize || valueLength < kFixedInfoSize) return 0;
  for (size_t i = 0; i < std::size(kVersionInfoKey); ++i) {  // the key with its NUL
    if (Le16(info + kVersionKeyOffset + 2 * i) != kVersionInfoKey[i]) return 0;
  }
  const uint8_t* fixed = info + kFixedInfoOffset;
  if (Le32(fixed) != kFixedInfoSignature) return 0;
  return uint64_t{Le32(fixed + 8)} << 32 | Le32(fixed + 12);
}

}  // namespace

bool MemoryByteSource::ReadAt(uint64_t offset, void* out, size_t count) const {
  if (offset > m_bytes.size() || count > m_bytes.size() - offset) return false;
  if (count != 0) std::memcpy(out, m_bytes.data() + offset, count);
  return true;
}

bool FileByteSource::ReadAt(uint64_t offset, void* out, size_t count) const {
  if (offset > m_size || count > m_size - offset) return false;
  auto* cursor = static_cast<char*>(out);
  while (count > 0) {
    const ssize_t got = ::pread(m_fd, cursor, count, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    cursor += got;
    offset += static_cast<uint64_t>(got);
    count -= static_cast<size_t>(got);
  }
  return true;
}

uint64_t ReadPeFileVersion(const ByteSource& source) { return PeImage(source).FileVersion(); }

uint64_t ReadPeFileVersion(std::string_view bytes) { return ReadPeFileVersion(MemoryByteSource(bytes)); }

uint64_t ReadFileVersion(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0 && errno == ENOENT) fd = ::open(ResolvePathNoCase(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return 0;
  struct stat st;
  uint64_t version = 0;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    version = ReadPeFileVersion(FileByteSource(fd, static_cast<uint64_t>(st.st_size)));
  }
  ::close(fd);
  return version;
}

}  // namespace kolvenar
