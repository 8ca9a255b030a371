#include <string>
#include <string_view>

#include "install/hotfixes.h"

namespace kolvenar {

std::string KbNameFromPath(std::string_view path) {
  // Digits are compared as bytes: a byte of a multi-byte character is never one.
  char digits[6];
  size_t run = 0;
  for (const char c : path) {
    if (c < '0' || c > '9') {
      run = 0;
      continue;
    }
    digits[run++] = c;
    if (run == sizeof digits) return "KB" + std::string(digits, sizeof digits);
  }
  return {};
}

}  // namespace kolvenar
