#include <gtest/gtest.h>

#include "tests/support/pe_image_builder.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
using test::TempDir;

TEST(FileVersionCommandTest, PrintsFourParts) {
  TempDir dir;
  test::WriteFile(dir / "a.dll", test::BuildPeImage({true, {{0x409, test::FileVersion(6, 0, 2900, 5512)}}, 1, ""}).bytes);
  test::WriteFile(dir / "b.dll", test::BuildPeImage({false, {}, 1, ""}).bytes);
  struct Case {
    const char* file;
    const char* output;
    int status;
  } cases[] = {{"a.dll", "6.0.2900.5512\n", 0}, {"b.dll", "0.0.0.0\n", 0}, {"missing.dll", "", 1}};
  for (const Case& c : cases) {
    std::string out;
    const int status = test::RunCommand(std::string(KOLVENAR_CLI) + " file-version '" + (dir / c.file).string() + "' 2>/dev/null", &out);
    EXPECT_EQ(status, c.status) << c.file;
    EXPECT_EQ(out, c.output) << c.file;
  }
}

}  // namespace
}  // namespace kolvenar
