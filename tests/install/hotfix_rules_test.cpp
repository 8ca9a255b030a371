// The rules of hotfix integration that need no files: KB names, the build parts
// of SVCPACK.INF and which installation files are replaced by which hotfix file.
#include <gtest/gtest.h>

#include <map>
#include <random>

#include "install/hotfixes.h"
#include "install/names.h"

namespace kolvenar {
namespace {

TEST(HotfixRulesTest, KbNameFromPath) {
  struct Case {
    const char* path;
    const char* kb;
  } cases[] = {
      {"C:\\HOTFIX\\WindowsXP-KB823980-x86-ENU.exe", "KB823980"},
      {"/hot/WindowsXP-KB8239801-x86.exe", "KB823980"},      // a seven-digit run: its first six
      {"/hot/Q815021_WXP_SP2_x86_ENU.exe", "KB815021"},      // a Q number
      {"/hot/KB12345-x86.exe", ""},                           // five digits are not enough
      {"/hot/KB12345-67890.exe", ""},                         // runs do not join across a dash
      {"/hot/200401/KB111111.exe", "KB200401"},               // the folder's own digits come first
      {"/hot/1234\xC3\xA9" "56789012.exe", "KB567890"},       // a multi-byte character breaks a run
      {"123456", "KB123456"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(KbNameFromPath(c.path), c.kb) << c.path;
}

TEST(HotfixRulesTest, SplitBuild) {
  struct Case {
    const char* build;
    const char* major;
    const char* minor;
    const char* number;
  } cases[] = {
      {"5.1.2600.2180", "5", "1", "2600"},
      {"5.1.2600.0", "5", "1", "2600"},
      {"5.2.3790", "5", "2", "3790"},  // fewer dots: the parts that exist
      {"5.1", "5", "1", ""},
      {"5", "5", "", ""},
      {"5..2600", "5", "", "2600"},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    const BuildParts parts = SplitBuild(c.build);
    EXPECT_EQ(parts.major, c.major) << c.build;
    EXPECT_EQ(parts.minor, c.minor) << c.build;
    EXPECT_EQ(parts.buildNumber, c.number) << c.build;
  }
}

constexpr uint64_t V(uint16_t build, uint16_t revision) { return 0x0005000100000000ull | uint64_t{build} << 16 | revision; }

using Records = std::vector<FILE_VERSION_RECORD>;

// The replacements as (target → source) pairs.
std::map<std::string, std::string> Plan(const Records& hotfixes, const Records& installs) {
  std::map<std::string, std::string> plan;
  for (const FileReplacement& r : PlanReplacements(hotfixes, installs)) {
    EXPECT_TRUE(plan.emplace(r.target.string(), r.source.string()).second) << "replaced twice: " << r.target;
  }
  return plan;
}

TEST(HotfixRulesTest, ReplacementRules) {
  struct Case {
    const char* what;
    Records hotfixes;
    Records installs;
    std::map<std::string, std::string> expected;
  } cases[] = {
      {"the newer of two hotfixes wins, in either order",
       {{"foo.dll", "kb1/foo.dll", V(2600, 1300)}, {"foo.dll", "kb2/foo.dll", V(2600, 1200)}},
       {{"foo.dll", "i386/foo.dll", V(2600, 1000)}},
       {{"i386/foo.dll", "kb1/foo.dll"}}},
      {"the newer of two hotfixes wins (reverse order)",
       {{"foo.dll", "kb1/foo.dll", V(2600, 1200)}, {"foo.dll", "kb2/foo.dll", V(2600, 1300)}},
       {{"foo.dll", "i386/foo.dll", V(2600, 1000)}},
       {{"i386/foo.dll", "kb2/foo.dll"}}},
      {"equal versions: the first met",
       {{"foo.dll", "kb1/gdr/foo.dll", V(2600, 1300)}, {"foo.dll", "kb1/qfe/foo.dll", V(2600, 1300)}},
       {{"foo.dll", "i386/foo.dll", V(2600, 1000)}},
       {{"i386/foo.dll", "kb1/gdr/foo.dll"}}},
      {"older or equal changes nothing",
       {{"foo.dll", "kb1/foo.dll", V(2600, 1000)}, {"bar.dll", "kb1/bar.dll", V(2600, 999)}},
       {{"foo.dll", "i386/foo.dll", V(2600, 1000)}, {"bar.dll", "i386/bar.dll", V(2600, 1000)}},
       {}},
      {"a hotfix file without a version never replaces; a file without one is replaced",
       {{"a.dll", "kb1/a.dll", 0}, {"b.dll", "kb1/b.dll", V(0, 1)}},
       {{"a.dll", "i386/a.dll", 0}, {"b.dll", "i386/b.dll", 0}},
       {{"i386/b.dll", "kb1/b.dll"}}},
      {"names match without regard to case; the compressed file keeps its inner name",
       {{"FOO.DLL", "kb1/FOO.DLL", V(2600, 1300)}},
       {{"foo.dll", "i386/FOO.DL_", V(2600, 1000)}},
       {{"i386/FOO.DL_", "kb1/FOO.DLL"}}},
      {"Latin-1 letters fold too",
       {{"\xC3\x89T\xC3\x89.DLL", "kb1/ete.dll", V(1, 1)}},
       {{"\xC3\xA9t\xC3\xA9.dll", "i386/ete.dll", V(1, 0)}},
       {{"i386/ete.dll", "kb1/ete.dll"}}},
      {"every same-named file in any folder",
       {{"foo.dll", "kb1/foo.dll", V(2600, 1300)}},
       {{"foo.dll", "i386/foo.dll", V(2600, 1000)},
        {"foo.dll", "i386/lang/foo.dll", V(2600, 1200)},
        {"foo.dll", "i386/svcpack/foo.dll", V(2600, 1400)}},
       {{"i386/foo.dll", "kb1/foo.dll"}, {"i386/lang/foo.dll", "kb1/foo.dll"}}},
      {"hotfix files of other names are not added", {{"new.dll", "kb1/new.dll", V(1, 1)}}, {}, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(Plan(c.hotfixes, c.installs), c.expected) << c.what;

  const std::vector<FileReplacement> one =
      PlanReplacements({{"FOO.DLL", "kb1/FOO.DLL", V(2600, 1300)}}, {{"foo.dll", "i386/FOO.DL_", V(2600, 1000)}});
  ASSERT_EQ(one.size(), 1u);
  EXPECT_EQ(one[0].storedName, "foo.dll");
  EXPECT_EQ(one[0].version, V(2600, 1300));
}

// The index gives what comparing every hotfix file with every installation file
// in listing order gives, replacing whenever the hotfix file is strictly newer.
TEST(HotfixRulesTest, SameResultAsComparingEveryPair) {
  const char* names[] = {"a.dll", "A.DLL", "b.sys", "B.Sys", "c.exe", "d.ocx"};
  const uint64_t versions[] = {0, V(1, 0), V(1, 1), V(2, 0), V(2, 0) + 0x0001000000000000ull};
  std::mt19937 random(7);
  auto pick = [&](auto& table) { return table[random() % std::size(table)]; };
  for (int round = 0; round < 300; ++round) {
    Records hotfixes, installs;
    const int h = static_cast<int>(random() % 8), n = static_cast<int>(random() % 8);
    for (int i = 0; i < h; ++i) hotfixes.push_back({pick(names), "kb/" + std::to_string(i), pick(versions)});
    for (int i = 0; i < n; ++i) installs.push_back({pick(names), "i386/" + std::to_string(i), pick(versions)});

    std::map<std::string, std::string> pairwise;
    Records state = installs;
    for (const FILE_VERSION_RECORD& hotfix : hotfixes) {
      for (FILE_VERSION_RECORD& r : state) {
        if (NamesEqual(hotfix.fileName, r.fileName) && hotfix.fileVersion > r.fileVersion) {
          pairwise[r.filePath.string()] = hotfix.filePath.string();
          r.fileVersion = hotfix.fileVersion;
        }
      }
    }
    ASSERT_EQ(Plan(hotfixes, installs), pairwise) << "round " << round;
  }
}

}  // namespace
}  // namespace kolvenar
