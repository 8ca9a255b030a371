#include "install/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kolvenar {
namespace {

TEST(CommandLineTest, SplitsAsAWindowsProgramDoes) {
  using Args = std::vector<std::string>;
  struct Case {
    const char* text;
    Args args;
  } cases[] = {
      {"", {}},
      {"  \t ", {}},
      {"-q  -u\t/n", {"-q", "-u", "/n"}},
      {"\"C:\\Program Files\\CD\\ROOT\" out.iso", {"C:\\Program Files\\CD\\ROOT", "out.iso"}},
      {"-bC:\\TEMP\\BOOTSECTOR.BIN C:\\TEMP\\ROOT\\", {"-bC:\\TEMP\\BOOTSECTOR.BIN", "C:\\TEMP\\ROOT\\"}},
      {"a\"b c\"d", {"ab cd"}},
      {"\"\" x", {"", "x"}},
      {"a\\\\\\\"b", {"a\\\"b"}},         // 2n+1 backslashes: n and a quote
      {"\"a\\\\\" b", {"a\\", "b"}},       // 2n backslashes before a quote: n, and the quote ends
      {"a\\\\b", {"a\\\\b"}},              // backslashes not before a quote are ordinary
      {"\"a\"\"b\" c", {"a\"b", "c"}},     // "" inside quotes is a quote
      {"\"open to the end", {"open to the end"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitWindowsCommandLine(c.text), c.args) << c.text;
}

}  // namespace
}  // namespace kolvenar
