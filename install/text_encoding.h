// Text is UTF-8 inside the program. Install-source files are read as Windows-1252
// unless a byte-order mark says UTF-8 or UTF-16LE; the boot menu is written in
// code page 437. A character that a target code page lacks becomes `replacement`.
#pragma once

#include <string>
#include <string_view>

namespace kolvenar {

enum class TextEncoding { kWindows1252, kUtf8Bom, kUtf16LeBom };

// The encoding that a file's first bytes announce (Windows-1252 when no mark).
TextEncoding DetectTextEncoding(std::string_view bytes);

// Bytes of a text file (with or without mark) as UTF-8, the mark removed.
std::string DecodeTextFile(std::string_view bytes);

// UTF-8 text in a file's encoding (no mark is added).
std::string EncodeText(std::string_view utf8, TextEncoding encoding, char replacement = '?');

std::string Windows1252ToUtf8(std::string_view bytes);
std::string Utf8ToWindows1252(std::string_view utf8, char replacement = '?');
std::string Utf16LeToUtf8(std::string_view bytes);
std::string Utf8ToUtf16Le(std::string_view utf8);
std::string Cp437ToUtf8(std::string_view bytes);
std::string Utf8ToCp437(std::string_view utf8, char replacement = '?');

// The decimal text of n ("%d").
std::string IntToString(int n);

}  // namespace kolvenar
