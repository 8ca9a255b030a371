// Builds small PE32 and PE32+ images from bytes, laid out as the PE/COFF format
// describes them: a DOS header, the PE signature, the COFF file header, the
// optional header with its data directories, a .text and a .rsrc section. The
// resource section holds a version resource (RT_VERSION, id 1, one entry per
// language) or, when asked, only a manifest. Header-only so that the benchmark
// driver can use it too.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace kolvenar::test {

// A four-part version as the fixed file information stores it.
constexpr uint64_t FileVersion(uint16_t major, uint16_t minor, uint16_t build, uint16_t revision) {
  return uint64_t{major} << 48 | uint64_t{minor} << 32 | uint64_t{build} << 16 | revision;
}

struct PeImageOptions {
  bool pe32Plus = false;
  // (language, file version) of each VS_VERSION_INFO resource; none: the resource
  // section holds a manifest only.
  std::vector<std::pair<uint16_t, uint64_t>> versions;
  uint32_t versionNameId = 1;  // the id of the version resource (VS_VERSION_INFO is 1)
  std::string textBytes;       // content of the .text section (up to 512 bytes)
};

struct PeImage {
  std::string bytes;
  size_t firstFixedInfoEnd = 0;  // file offset just past the first VS_FIXEDFILEINFO
  static constexpr size_t kPeHeaderOffset = 0x80;  // e_lfanew
  static constexpr size_t kResourceOffset = 0x400;  // file offset of the .rsrc section
};

namespace pe_detail {

inline void Put16(std::string& s, size_t at, uint32_t v) {
  if (s.size() < at + 2) s.resize(at + 2, '\0');
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>(v >> 8 & 0xFF);
}
inline void Put32(std::string& s, size_t at, uint32_t v) {
  Put16(s, at, v & 0xFFFF);
  Put16(s, at + 2, v >> 16);
}
inline void Put64(std::string& s, size_t at, uint64_t v) {
  Put32(s, at, static_cast<uint32_t>(v));
  Put32(s, at + 4, static_cast<uint32_t>(v >> 32));
}
inline size_t Align(size_t v, size_t a) { return (v + a - 1) / a * a; }

// A resource directory header followed by its numbered entries.
inline void PutDirectory(std::string& s, size_t at, const std::vector<std::pair<uint32_t, uint32_t>>& entries) {
  Put32(s, at, 0);                                           // Characteristics
  Put32(s, at + 4, 0);                                       // TimeDateStamp
  Put32(s, at + 8, 0);                                       // MajorVersion, MinorVersion
  Put16(s, at + 12, 0);                                      // NumberOfNamedEntries
  Put16(s, at + 14, static_cast<uint32_t>(entries.size()));  // NumberOfIdEntries
  for (size_t i = 0; i < entries.size(); ++i) {
    Put32(s, at + 16 + 8 * i, entries[i].first);
    Put32(s, at + 16 + 8 * i + 4, entries[i].second);
  }
}

// VS_VERSIONINFO with only its fixed part: 92 bytes.
inline std::string VersionInfo(uint64_t version) {
  std::string v;
  Put16(v, 0, 92);  // wLength
  Put16(v, 2, 52);  // wValueLength: sizeof(VS_FIXEDFILEINFO)
  Put16(v, 4, 0);   // wType: binary
  const char key[] = "VS_VERSION_INFO";
  for (size_t i = 0; i < sizeof key; ++i) Put16(v, 6 + 2 * i, static_cast<unsigned char>(key[i]));
  Put16(v, 38, 0);  // padding to a 32-bit boundary
  Put32(v, 40, 0xFEEF04BD);                            // dwSignature
  Put32(v, 44, 0x00010000);                            // dwStrucVersion
  Put32(v, 48, static_cast<uint32_t>(version >> 32));  // dwFileVersionMS
  Put32(v, 52, static_cast<uint32_t>(version));        // dwFileVersionLS
  Put32(v, 56, static_cast<uint32_t>(version >> 32));  // dwProductVersionMS
  Put32(v, 60, static_cast<uint32_t>(version));        // dwProductVersionLS
  Put32(v, 64, 0x3F);                                  // dwFileFlagsMask
  Put32(v, 68, 0);                                     // dwFileFlags
  Put32(v, 72, 0x00040004);                            // dwFileOS: VOS_NT_WINDOWS32
  Put32(v, 76, 2);                                     // dwFileType: VFT_DLL
  Put32(v, 80, 0);                                     // dwFileSubtype
  Put64(v, 84, 0);                                     // dwFileDateMS, dwFileDateLS
  return v;
}

}  // namespace pe_detail

inline PeImage BuildPeImage(const PeImageOptions& options) {
  using namespace pe_detail;
  constexpr size_t kPeOffset = PeImage::kPeHeaderOffset, kFileAlign = 0x200, kSectionAlign = 0x1000;
  constexpr uint32_t kTextRva = 0x1000, kRsrcRva = 0x2000, kRtVersion = 16, kRtManifest = 24;
  constexpr uint32_t kSubdirectory = 0x80000000;

  // The resource section: root → type → name → language directories, then the
  // data entries and the data, each piece at an offset of the section.
  std::string rsrc;
  std::vector<size_t> fixedInfoAt;
  if (options.versions.empty()) {
    const std::string manifest = "<assembly/>";
    PutDirectory(rsrc, 0, {{kRtManifest, kSubdirectory | 24}});
    PutDirectory(rsrc, 24, {{1, kSubdirectory | 48}});
    PutDirectory(rsrc, 48, {{0x409, 72}});
    Put32(rsrc, 72, kRsrcRva + 88);
    Put32(rsrc, 76, static_cast<uint32_t>(manifest.size()));
    Put64(rsrc, 80, 0);
    rsrc += manifest;
  } else {
    const size_t languages = options.versions.size();
    const size_t languageDir = 48;
    const size_t dataEntries = languageDir + 16 + 8 * languages;
    const size_t data = dataEntries + 16 * languages;
    PutDirectory(rsrc, 0, {{kRtVersion, kSubdirectory | 24}});
    PutDirectory(rsrc, 24, {{options.versionNameId, kSubdirectory | languageDir}});
    std::vector<std::pair<uint32_t, uint32_t>> languageEntries;
    for (size_t i = 0; i < languages; ++i) {
      languageEntries.push_back({options.versions[i].first, static_cast<uint32_t>(dataEntries + 16 * i)});
    }
    PutDirectory(rsrc, languageDir, languageEntries);
    for (size_t i = 0; i < languages; ++i) {
      const size_t at = data + 96 * i;
      const std::string info = VersionInfo(options.versions[i].second);
      Put32(rsrc, dataEntries + 16 * i, static_cast<uint32_t>(kRsrcRva + at));  // OffsetToData (an RVA)
      Put32(rsrc, dataEntries + 16 * i + 4, static_cast<uint32_t>(info.size()));
      Put64(rsrc, dataEntries + 16 * i + 8, 0);  // CodePage, Reserved
      rsrc.resize(at, '\0');
      rsrc += info;
      rsrc.resize(Align(rsrc.size(), 8), '\0');
      fixedInfoAt.push_back(at + 92);
    }
  }
  const size_t rsrcRaw = Align(rsrc.size(), kFileAlign);
  const size_t textRaw = kFileAlign;
  const size_t textAt = kFileAlign, rsrcAt = textAt + textRaw;
  static_assert(PeImage::kResourceOffset == 2 * kFileAlign);
  const uint32_t imageSize = static_cast<uint32_t>(kRsrcRva + Align(rsrc.size(), kSectionAlign));

  std::string s(rsrcAt + rsrcRaw, '\0');
  // DOS header: "MZ", e_lfanew.
  s[0] = 'M';
  s[1] = 'Z';
  Put32(s, 0x3C, kPeOffset);
  // PE signature and COFF file header.
  const bool plus = options.pe32Plus;
  const size_t optionalSize = plus ? 240 : 224;  // fixed part + 16 data directories
  s.replace(kPeOffset, 4, std::string("PE\0\0", 4));
  Put16(s, kPeOffset + 4, plus ? 0x8664 : 0x014C);  // Machine: AMD64 or i386
  Put16(s, kPeOffset + 6, 2);                       // NumberOfSections
  Put32(s, kPeOffset + 8, 0);                       // TimeDateStamp
  Put32(s, kPeOffset + 12, 0);                      // PointerToSymbolTable
  Put32(s, kPeOffset + 16, 0);                      // NumberOfSymbols
  Put16(s, kPeOffset + 20, static_cast<uint32_t>(optionalSize));
  Put16(s, kPeOffset + 22, plus ? 0x2022 : 0x2102);  // executable, DLL (and 32-bit or large-address)
  // Optional header.
  const size_t o = kPeOffset + 24;
  Put16(s, o, plus ? 0x20B : 0x10B);  // Magic
  s[o + 2] = 6;                       // linker version 6.0
  Put32(s, o + 4, static_cast<uint32_t>(textRaw));   // SizeOfCode
  Put32(s, o + 8, static_cast<uint32_t>(rsrcRaw));   // SizeOfInitializedData
  Put32(s, o + 16, kTextRva);                        // AddressOfEntryPoint
  Put32(s, o + 20, kTextRva);                        // BaseOfCode
  size_t w = o + 24;
  if (plus) {
    Put64(s, w, 0x180000000);  // ImageBase
    w += 8;
  } else {
    Put32(s, w, kRsrcRva);    // BaseOfData
    Put32(s, w + 4, 0x10000000);  // ImageBase
    w += 8;
  }
  Put32(s, w, kSectionAlign);
  Put32(s, w + 4, kFileAlign);
  Put16(s, w + 8, 5);    // OS version 5.1
  Put16(s, w + 10, 1);
  Put16(s, w + 16, 5);   // subsystem version 5.1
  Put16(s, w + 18, 1);
  Put32(s, w + 24, imageSize);
  Put32(s, w + 28, kFileAlign);  // SizeOfHeaders
  Put16(s, w + 36, 2);           // Subsystem: Windows GUI
  w += 40;
  // Stack and heap reserve and commit: four 32-bit or 64-bit fields.
  const size_t sizeField = plus ? 8 : 4;
  for (int i = 0; i < 4; ++i) {
    if (plus) {
      Put64(s, w, 0x100000);
    } else {
      Put32(s, w, 0x100000);
    }
    w += sizeField;
  }
  Put32(s, w, 0);        // LoaderFlags
  Put32(s, w + 4, 16);   // NumberOfRvaAndSizes
  w += 8;
  Put32(s, w + 2 * 8, kRsrcRva);                              // resource table RVA
  Put32(s, w + 2 * 8 + 4, static_cast<uint32_t>(rsrc.size()));  // and size
  // Section table.
  const size_t t = o + optionalSize;
  auto section = [&](size_t at, const char* name, uint32_t rva, size_t virtualSize, size_t raw, size_t rawAt,
                     uint32_t flags) {
    for (size_t i = 0; i < 8 && name[i] != '\0'; ++i) s[at + i] = name[i];
    Put32(s, at + 8, static_cast<uint32_t>(virtualSize));
    Put32(s, at + 12, rva);
    Put32(s, at + 16, static_cast<uint32_t>(raw));
    Put32(s, at + 20, static_cast<uint32_t>(rawAt));
    Put32(s, at + 36, flags);
  };
  section(t, ".text", kTextRva, textRaw, textRaw, textAt, 0x60000020);  // code, execute, read
  section(t + 40, ".rsrc", kRsrcRva, rsrc.size(), rsrcRaw, rsrcAt, 0x40000040);  // initialised data, read
  s.replace(textAt, std::min(options.textBytes.size(), textRaw), options.textBytes.substr(0, textRaw));
  s.replace(rsrcAt, rsrc.size(), rsrc);

  PeImage image;
  image.bytes = std::move(s);
  if (!fixedInfoAt.empty()) image.firstFixedInfoEnd = rsrcAt + fixedInfoAt.front();
  return image;
}

}  // namespace kolvenar::test
