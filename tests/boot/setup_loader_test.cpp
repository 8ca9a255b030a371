#include "boot/setup_loader.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/boot/setup_fixtures.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

constexpr char kLoaderMessage[] = "There was a problem modifying SETUPLDR.BIN";

// A loader image: binary filler (no letters or digits in it) with texts placed in
// it; `matches` receives the offsets where "I386" in either case stands.
struct Loader {
  std::string bytes;
  std::vector<size_t> matches;
};

Loader MakeLoader() {
  Loader loader;
  auto filler = [&](size_t count) {
    for (size_t i = 0; i < count; ++i) loader.bytes.push_back(static_cast<char>(0x80 + (loader.bytes.size() * 7) % 0x80));
  };
  auto text = [&](std::string_view piece, std::vector<size_t> matchOffsets) {
    for (size_t offset : matchOffsets) loader.matches.push_back(loader.bytes.size() + offset);
    loader.bytes.append(piece);
  };
  filler(1000);
  text("\\I386\\NTDETECT.COM", {1});
  filler(300);
  text(std::string("\\I386\\\0", 7), {1});
  filler(20);
  text("\\i386\\txtsetup.sif", {1});
  filler(5);
  text("ABCI386DEF", {3});             // inside a run of letters
  text("i3866 I 386 l386 I38 1386", {0});  // only the first is one
  filler(77);
  text("I38", {});  // cut off by the end of the file
  return loader;
}

std::string Relocated(const Loader& loader, const std::string& id) {
  std::string bytes = loader.bytes;
  for (size_t offset : loader.matches) bytes.replace(offset, 4, id);
  return bytes;
}

struct Messages {
  std::vector<std::string> shown;
  MessageFn fn() {
    return [this](const std::string& text) { shown.push_back(text); };
  }
};

std::string SifWithSourcePath(const std::string& line) {
  std::string sif = test::kTxtsetupSif;
  const std::string original = "SetupSourcePath = \"\\\"";
  sif.replace(sif.find(original), original.size(), line);
  return sif;
}

TEST(SetupLoaderTest, PointsBothCopiesAtTheSystemsFolders) {
  TempDir dir;
  const Loader loader = MakeLoader();
  ASSERT_EQ(loader.matches.size(), 5u);
  WriteFile(dir / "WXPP/SETUPLDR.BIN", loader.bytes);
  WriteFile(dir / "WXPP/TXTSETUP.SIF", test::kTxtsetupSif);

  Messages messages;
  const Problems problems = RelocateSetupLoader(dir / "WXPP", "WXPP", messages.fn());
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_TRUE(messages.shown.empty());
  // Exactly the four bytes of each match changed, the length stayed.
  EXPECT_EQ(ReadFile(dir / "WXPP/SETUPLDR.BIN"), Relocated(loader, "WXPP"));
  // The key's line (with blanks around "=") became key=value in its place.
  const std::string relocatedSif = SifWithSourcePath("SetupSourcePath=\"\\INSTALLS\\WXPP\\\"");
  EXPECT_EQ(ReadFile(dir / "WXPP/TXTSETUP.SIF"), relocatedSif);

  // A second run finds no I386 left and writes the same line again.
  EXPECT_TRUE(RelocateSetupLoader(dir / "WXPP", "WXPP", messages.fn()).empty());
  EXPECT_EQ(ReadFile(dir / "WXPP/SETUPLDR.BIN"), Relocated(loader, "WXPP"));
  EXPECT_EQ(ReadFile(dir / "WXPP/TXTSETUP.SIF"), relocatedSif);
  EXPECT_TRUE(messages.shown.empty());
}

TEST(SetupLoaderTest, FindsTheFilesWithoutRegardToCase) {
  TempDir dir;
  const Loader loader = MakeLoader();
  WriteFile(dir / "W2KS/setupldr.bin", loader.bytes);
  WriteFile(dir / "W2KS/txtsetup.sif", test::kTxtsetupSif);
  EXPECT_TRUE(RelocateSetupLoader(dir / "W2KS", "W2KS", {}).empty());
  EXPECT_EQ(test::ListFiles(dir / "W2KS"), (std::set<std::string>{"setupldr.bin", "txtsetup.sif"}));
  EXPECT_EQ(ReadFile(dir / "W2KS/setupldr.bin"), Relocated(loader, "W2KS"));
  EXPECT_EQ(ReadFile(dir / "W2KS/txtsetup.sif"), SifWithSourcePath("SetupSourcePath=\"\\INSTALLS\\W2KS\\\""));
}

TEST(SetupLoaderTest, ShortLoaderIsLeftAsItIs) {
  for (const std::string bytes : {"", "I", "I38", "386"}) {
    TempDir dir;
    WriteFile(dir / "B/SETUPLDR.BIN", bytes);
    WriteFile(dir / "B/TXTSETUP.SIF", test::kTxtsetupSif);
    Messages messages;
    EXPECT_TRUE(RelocateSetupLoader(dir / "B", "ABCD", messages.fn()).empty());
    EXPECT_EQ(ReadFile(dir / "B/SETUPLDR.BIN"), bytes);
    EXPECT_TRUE(messages.shown.empty());
  }
}

TEST(SetupLoaderTest, LoaderThatCannotBeOpenedIsReported) {
  TempDir dir;
  Messages messages;
  // Missing: the message; TXTSETUP.SIF (missing too) is created with the one key.
  fs::create_directory(dir / "WXPP");
  Problems problems = RelocateSetupLoader(dir / "WXPP", "WXPP", messages.fn());
  EXPECT_EQ(messages.shown, std::vector<std::string>{kLoaderMessage});
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].rfind(kLoaderMessage, 0), 0u) << problems[0];
  EXPECT_EQ(ReadFile(dir / "WXPP/TXTSETUP.SIF"), "[SetupData]\r\nSetupSourcePath=\"\\INSTALLS\\WXPP\\\"\r\n");

  // Locked by another program: the message, and the file is not changed.
  const std::string loader = MakeLoader().bytes;
  WriteFile(dir / "WXPP/SETUPLDR.BIN", loader);
  const int fd = ::open((dir / "WXPP/SETUPLDR.BIN").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  messages.shown.clear();
  problems = RelocateSetupLoader(dir / "WXPP", "WXPP", messages.fn());
  ::close(fd);
  EXPECT_EQ(messages.shown, std::vector<std::string>{kLoaderMessage});
  EXPECT_EQ(problems.size(), 1u);
  EXPECT_EQ(ReadFile(dir / "WXPP/SETUPLDR.BIN"), loader);

  // A folder in its place.
  fs::remove(dir / "WXPP/SETUPLDR.BIN");
  fs::create_directory(dir / "WXPP/SETUPLDR.BIN");
  messages.shown.clear();
  EXPECT_EQ(RelocateSetupLoader(dir / "WXPP", "WXPP", messages.fn()).size(), 1u);
  EXPECT_EQ(messages.shown, std::vector<std::string>{kLoaderMessage});
}

TEST(SetupLoaderTest, RefusesAnIdThatCannotWorkOnTheCd) {
  for (const std::string id : {"", "WXP", "WXPPP", "W\\XP", "W\"XP", "W XP"}) {
    TempDir dir;
    const std::string loader = MakeLoader().bytes;
    WriteFile(dir / "B/SETUPLDR.BIN", loader);
    WriteFile(dir / "B/TXTSETUP.SIF", test::kTxtsetupSif);
    Messages messages;
    const Problems problems = RelocateSetupLoader(dir / "B", id, messages.fn());
    ASSERT_EQ(problems.size(), 1u) << id;
    EXPECT_NE(problems[0].find("four characters"), std::string::npos) << problems[0];
    EXPECT_EQ(ReadFile(dir / "B/SETUPLDR.BIN"), loader) << id;
    EXPECT_EQ(ReadFile(dir / "B/TXTSETUP.SIF"), test::kTxtsetupSif) << id;
  }
}

}  // namespace
}  // namespace kolvenar
