// Independent cabinet tools read what we write, and we read what they write.
#include <gtest/gtest.h>

#include "install/cabinet/cabinet.h"
#include "tests/cabinet/cabinet_test_util.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::RunCommand;
using test::TempDir;
using test::WriteFile;

std::string Quote(const fs::path& path) { return "'" + path.string() + "'"; }

struct Content {
  const char* what;
  std::string bytes;
};

std::vector<Content> Contents() {
  return {{"empty", ""},
          {"small", "hello\r\n"},
          {"text over many blocks", test::SampleText(500000)},
          {"incompressible", test::RandomBytes(100000, 3)},
          {"mixed", test::SampleText(70000) + test::RandomBytes(70000, 9) + std::string(70000, 'z')}};
}

TEST(PeersTest, CabextractAndGcabReadOurCabinets) {
  if (!test::HaveProgram("cabextract") || !test::HaveProgram("gcab")) GTEST_SKIP() << "cabextract or gcab missing";
  for (const Content& c : Contents()) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteFile(dir / "ntoskrnl.exe", c.bytes);
    ASSERT_TRUE(CompressToCabinet(dir / "ntoskrnl.exe", dir / "NTOSKRNL.EX_", "ntoskrnl.exe", {}).ok());
    const fs::path cab = dir / "NTOSKRNL.EX_";

    std::string output;
    EXPECT_EQ(RunCommand("cabextract -t " + Quote(cab) + " 2>&1", &output), 0) << output;
    EXPECT_NE(output.find("ntoskrnl.exe  OK"), std::string::npos) << output;
    std::string piped;
    EXPECT_EQ(RunCommand("cabextract -q -p " + Quote(cab), &piped), 0);
    EXPECT_TRUE(piped == c.bytes);

    output.clear();
    EXPECT_EQ(RunCommand("gcab -l " + Quote(cab) + " 2>&1", &output), 0) << output;
    EXPECT_NE(output.find("ntoskrnl.exe"), std::string::npos) << output;
    fs::create_directories(dir / "g");
    EXPECT_EQ(RunCommand("cd " + Quote(dir / "g") + " && gcab -x " + Quote(cab) + " 2>&1", &output), 0) << output;
    EXPECT_TRUE(ReadFile(dir / "g/ntoskrnl.exe") == c.bytes);
  }
}

TEST(PeersTest, WeExpandWhatGcabWritesStoredOrCompressed) {
  if (!test::HaveProgram("gcab")) GTEST_SKIP() << "gcab missing";
  TempDir dir;
  const std::vector<std::pair<std::string, std::string>> files = {
      {"setup.exe", test::RandomBytes(50000, 5)},
      {"i386/txtsetup.sif", test::SampleText(200000)},
      {"i386/system32/drivers/null.sys", std::string(40000, '\0')},
      {"i386/empty.txt", ""}};
  std::string list;
  for (const auto& [name, bytes] : files) {
    WriteFile(dir / "tree" / name, bytes);
    list += " " + name;
  }
  for (const char* flags : {"-c", "-c -z"}) {
    SCOPED_TRACE(flags);
    const fs::path cab = dir / "gcab.cab";
    fs::remove(cab);
    ASSERT_EQ(RunCommand("cd " + Quote(dir / "tree") + " && gcab " + flags + " " + Quote(cab) + list), 0);
    const fs::path out = dir / "out";
    fs::remove_all(out);
    const Status status = ExpandCabinet(cab, out, dir.path(), true);
    ASSERT_TRUE(status.ok()) << status.message();
    ASSERT_EQ(test::ListFiles(out).size(), files.size());
    for (const auto& [name, bytes] : files) EXPECT_TRUE(ReadFile(out / name) == bytes) << name;
  }
}

}  // namespace
}  // namespace kolvenar
