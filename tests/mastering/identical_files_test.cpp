#include "boot/identical_files.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
using test::TempDir;
using test::WriteFile;

TEST(IdenticalFilesTest, EachFilePointsAtTheFirstWithItsBytes) {
  TempDir dir;
  const std::string big(3 << 20, 'x');  // more than one read chunk
  std::string bigChanged = big;
  bigChanged.back() = 'y';  // differs in the last byte only
  const std::vector<std::pair<const char*, std::string>> contents = {
      {"a", "same bytes"}, {"b", "other byte"}, {"c", "same bytes"}, {"d", big},
      {"e", bigChanged},   {"f", big},          {"g", ""},           {"h", ""},
  };
  std::vector<FileToCompare> files;
  for (const auto& [name, bytes] : contents) {
    WriteFile(dir / name, bytes);
    files.push_back({dir / name, bytes.size()});
  }
  std::vector<size_t> firstCopy;
  ASSERT_TRUE(FindIdenticalFiles(files, &firstCopy).ok());
  // Empty files have no bytes to share.
  EXPECT_EQ(firstCopy, (std::vector<size_t>{0, 1, 0, 3, 4, 3, 6, 7}));
}

TEST(IdenticalFilesTest, UnreadableFileIsNamed) {
  TempDir dir;
  WriteFile(dir / "a", "12345");
  std::vector<size_t> firstCopy;
  const Status status = FindIdenticalFiles({{dir / "a", 5}, {dir / "gone", 5}}, &firstCopy);
  EXPECT_EQ(status.kind(), Status::Kind::kIoError);
  EXPECT_NE(status.message().find("gone"), std::string::npos) << status.message();
}

}  // namespace
}  // namespace kolvenar
