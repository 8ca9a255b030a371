// Splitting a Windows command-line text into arguments, the way a Windows
// program's start-up code does: blanks and tabs separate, double quotes group
// (and are removed), 2n backslashes before a quote give n backslashes, 2n+1
// give n backslashes and a literal quote; other backslashes are ordinary.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kolvenar {

std::vector<std::string> SplitWindowsCommandLine(std::string_view text);

}  // namespace kolvenar
