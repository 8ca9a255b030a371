#include "install/text_encoding.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kolvenar {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned bytes, which are
// kept as the C1 control of the same value, as Windows' own conversion does.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Code page 437 bytes 0x80..0xFF.
constexpr std::array<char16_t, 128> kCp437High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8,
    0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2,
    0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1,
    0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310, 0x00AC, 0x00BD,
    0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
    0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534,
    0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560,
    0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF, 0x0393,
    0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6,
    0x03B5, 0x2229, 0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0,
    0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0};

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes the code point at `i` and advances past it. A malformed sequence
// yields U+FFFD for its first byte, so every byte is consumed exactly once.
uint32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  int length = b0 < 0x80 ? 1 : (b0 >> 5) == 0x6 ? 2 : (b0 >> 4) == 0xE ? 3 : (b0 >> 3) == 0x1E ? 4 : 0;
  if (length == 1) {
    ++i;
    return b0;
  }
  if (length == 0 || i + length > s.size()) {
    ++i;
    return 0xFFFD;
  }
  uint32_t cp = b0 & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(s[i + k]);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  i += length;
  return cp > 0x10FFFF ? 0xFFFD : cp;
}

template <size_t N>
std::string SingleByteToUtf8(std::string_view bytes, const std::array<char16_t, N>& high, unsigned first) {
  std::string out;
  out.reserve(bytes.size());
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    uint32_t cp = b;
    if (b >= first && b < first + N && high[b - first] != 0) cp = high[b - first];
    AppendUtf8(out, cp);
  }
  return out;
}

template <size_t N>
std::string Utf8ToSingleByte(std::string_view utf8, const std::array<char16_t, N>& high, unsigned first,
                             char replacement) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const uint32_t cp = NextCodePoint(utf8, i);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    // Bytes below `first` and bytes the table leaves unassigned (0) map to the
    // code point of the same value (Windows-1252 above 0x9F, its five holes).
    std::optional<char> byte;
    for (size_t k = 0; k < N && !byte; ++k) {
      if (high[k] == cp) byte = static_cast<char>(first + k);
    }
    if (!byte && cp < 0x100) {
      if (cp >= first + N || (cp >= first && high[cp - first] == 0)) byte = static_cast<char>(cp);
    }
    out.push_back(byte.value_or(replacement));
  }
  return out;
}

}  // namespace

TextEncoding DetectTextEncoding(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return TextEncoding::kUtf8Bom;
  if (bytes.starts_with("\xFF\xFE")) return TextEncoding::kUtf16LeBom;
  return TextEncoding::kWindows1252;
}

std::string DecodeTextFile(std::string_view bytes) {
  switch (DetectTextEncoding(bytes)) {
    case TextEncoding::kUtf8Bom: return std::string(bytes.substr(3));
    case TextEncoding::kUtf16LeBom: return Utf16LeToUtf8(bytes.substr(2));
    case TextEncoding::kWindows1252: break;
  }
  return Windows1252ToUtf8(bytes);
}

std::string EncodeText(std::string_view utf8, TextEncoding encoding, char replacement) {
  switch (encoding) {
    case TextEncoding::kUtf8Bom: return std::string(utf8);
    case TextEncoding::kUtf16LeBom: return Utf8ToUtf16Le(utf8);
    case TextEncoding::kWindows1252: break;
  }
  return Utf8ToWindows1252(utf8, replacement);
}

std::string Windows1252ToUtf8(std::string_view bytes) { return SingleByteToUtf8(bytes, kCp1252High, 0x80); }

std::string Utf8ToWindows1252(std::string_view utf8, char replacement) {
  return Utf8ToSingleByte(utf8, kCp1252High, 0x80, replacement);
}

std::string Cp437ToUtf8(std::string_view bytes) { return SingleByteToUtf8(bytes, kCp437High, 0x80); }

std::string Utf8ToCp437(std::string_view utf8, char replacement) {
  return Utf8ToSingleByte(utf8, kCp437High, 0x80, replacement);
}

std::string Utf16LeToUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() / 2);
  auto unit = [&](size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at]) |
                                 (static_cast<unsigned char>(bytes[at + 1]) << 8));
  };
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp < 0xDC00 && i + 3 < bytes.size()) {
      const uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low < 0xE000) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      } else {
        cp = 0xFFFD;
      }
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::string Utf8ToUtf16Le(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  auto put = [&](uint32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  for (size_t i = 0; i < utf8.size();) {
    const uint32_t cp = NextCodePoint(utf8, i);
    if (cp >= 0x10000) {
      put(0xD800 + ((cp - 0x10000) >> 10));
      put(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put(cp);
    }
  }
  return out;
}

std::string IntToString(int n) { return std::to_string(n); }

}  // namespace kolvenar
