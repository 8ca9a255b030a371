// Profile (INI) files with the Windows semantics: section and key names match
// without regard to case, values are trimmed and lose one enclosing pair of
// quotes, and a write changes only the one line of its key.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "install/status.h"

namespace kolvenar {

// The value of `key` in `section` of `file` (at most 511 characters), or empty
// when the file, the section or the key is missing.
std::string ReadProfileString(std::string_view section, std::string_view key,
                              const std::filesystem::path& file);

// Sets `key` in `section` of `file` to `value`, written exactly as passed. Note
// the order: the file comes before the value. Every other byte of the file stays.
Status WriteProfileString(std::string_view section, std::string_view key,
                          const std::filesystem::path& file, std::string_view value);

}  // namespace kolvenar
