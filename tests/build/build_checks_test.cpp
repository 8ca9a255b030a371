// Every refusal of a build request shows its message and touches nothing: no
// folder, no file, no status line, not the project table.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "app/build/build_cd.h"
#include "tests/build/recording_observer.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;

// Every path under a folder with its size (0 for folders): what "touched" would change.
std::map<std::string, uintmax_t> Snapshot(const fs::path& folder) {
  std::map<std::string, uintmax_t> snapshot;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    snapshot[entry.path().string()] = entry.is_regular_file() ? entry.file_size() : 0;
  }
  return snapshot;
}

SYSTEM_ENTRY System(const std::string& name, const std::string& id, const fs::path& source) {
  SYSTEM_ENTRY entry;
  entry.name = name;
  entry.id = id;
  entry.sourcePath = source.string();
  entry.build = "5.1.2600.0";
  return entry;
}

class BuildChecksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* source : {"xp", "w2k"}) {
      test::WriteFile(m_dir / source / "I386/DOSNET.INF", "[Version]\r\n");
      test::WriteFile(m_dir / source / "I386/PRODSPEC.INI", "[Product Specification]\r\n");
    }
    test::WriteFile(m_dir / "sp.exe", "MZ");
    fs::create_directories(m_dir / "hotfixes");
    fs::create_directories(m_dir / "out");
    test::WriteFile(m_dir / "a-file", "x");
    fs::create_directory_symlink(m_dir / "emptytemp", m_dir / "alias");
    fs::create_directories(m_dir / "emptytemp");
  }

  // A request that passes every check.
  BuildRequest ValidRequest() const {
    BuildRequest request;
    request.systems = {System("Windows XP Professional", "WXPP", m_dir / "xp"),
                       System("Windows 2000 Professional", "W2KP", m_dir / "w2k")};
    request.menuOrder = {1, 0};
    request.tempDir = m_dir / "temp";
    request.isoPath = m_dir / "out/cd.iso";
    return request;
  }

  test::TempDir m_dir;
};

TEST_F(BuildChecksTest, TheValidRequestPasses) {
  EXPECT_TRUE(CheckBuildRequest(ValidRequest()).ok()) << CheckBuildRequest(ValidRequest()).message();
  BuildRequest request = ValidRequest();
  request.menuTitle = "";
  request.menuPrompt = "";
  request.systems[0].servicePack = (m_dir / "sp.exe").string();
  request.systems[1].hotfixDir = (m_dir / "hotfixes").string();
  request.tempDir = m_dir / "emptytemp";
  EXPECT_TRUE(CheckBuildRequest(request).ok()) << CheckBuildRequest(request).message();
}

TEST_F(BuildChecksTest, EveryRefusalShowsItsMessageAndTouchesNothing) {
  struct Case {
    const char* what;
    std::function<void(BuildRequest&)> change;
    std::string message;  // the whole message, or a part of it
  };
  const fs::path dir = m_dir.path();
  const std::string invalid = kInvalidSettingsMessage;
  const std::vector<Case> cases = {
      {"empty ISO location", [](BuildRequest& r) { r.isoPath.clear(); }, invalid},
      {"empty volume label", [](BuildRequest& r) { r.volumeLabel.clear(); }, invalid},
      {"no temporary folder", [](BuildRequest& r) { r.tempDir.clear(); }, invalid},
      {"one-character temporary folder", [](BuildRequest& r) { r.tempDir = "/"; }, invalid},
      {"label with a blank", [](BuildRequest& r) { r.volumeLabel = "MY CD"; }, invalid},
      {"label in lower case", [](BuildRequest& r) { r.volumeLabel = "windows"; }, invalid},
      {"label with a hyphen", [](BuildRequest& r) { r.volumeLabel = "WIN-XP"; }, invalid},
      {"label of 33 characters", [](BuildRequest& r) { r.volumeLabel = std::string(33, 'A'); }, invalid},
      {"no system", [](BuildRequest& r) { r.systems.clear(), r.menuOrder.clear(); }, "no system"},
      {"65 systems",
       [&](BuildRequest& r) {
         r.systems.clear(), r.menuOrder.clear();
         for (int i = 0; i < 65; ++i) {
           r.systems.push_back(System("S", "S" + std::to_string(100 + i), dir / "xp"));
           r.menuOrder.push_back(i);
         }
       },
       "at most 64 systems"},
      {"33 systems in the menu",
       [&](BuildRequest& r) {
         r.systems.clear(), r.menuOrder.clear();
         for (int i = 0; i < 33; ++i) {
           r.systems.push_back(System("S", "S" + std::to_string(100 + i), dir / "xp"));
           r.menuOrder.push_back(i);
         }
       },
       ""},
      {"menu text beyond its area", [](BuildRequest& r) { r.menuTitle = std::string(600, 'T'); }, ""},
      {"menu without a system", [](BuildRequest& r) { r.menuOrder = {0}; }, "exactly once"},
      {"menu listing one twice", [](BuildRequest& r) { r.menuOrder = {0, 0}; }, "exactly once"},
      {"menu index out of range", [](BuildRequest& r) { r.menuOrder = {0, 2}; }, "exactly once"},
      {"id of three characters", [](BuildRequest& r) { r.systems[0].id = "WXP"; }, "cannot name its folders"},
      {"id in lower case", [](BuildRequest& r) { r.systems[0].id = "wxpp"; }, "cannot name its folders"},
      {"id with a separator", [](BuildRequest& r) { r.systems[0].id = "W/XP"; }, "cannot name its folders"},
      {"two systems with one id", [](BuildRequest& r) { r.systems[1].id = "WXPP"; }, "same identifier WXPP"},
      {"temporary folder is a file", [&](BuildRequest& r) { r.tempDir = dir / "a-file"; }, "is not a folder"},
      {"ISO inside the temporary folder", [&](BuildRequest& r) { r.isoPath = dir / "temp/ROOT/cd.iso"; },
       "lies inside the temporary directory"},
      {"ISO inside it through a link",
       [&](BuildRequest& r) { r.tempDir = dir / "emptytemp", r.isoPath = dir / "alias/cd.iso"; },
       "lies inside the temporary directory"},
      {"ISO location is a folder", [&](BuildRequest& r) { r.isoPath = dir / "out"; }, "is a folder"},
      {"ISO folder missing", [&](BuildRequest& r) { r.isoPath = dir / "nowhere/cd.iso"; }, "does not exist"},
      {"source missing", [&](BuildRequest& r) { r.systems[1].sourcePath = (dir / "gone").string(); },
       "cannot be found"},
      {"source inside the temporary folder",
       [&](BuildRequest& r) { r.tempDir = dir, r.isoPath = fs::temp_directory_path() / "kolvenar-not-written.iso"; },
       "contains the temporary directory or lies inside it"},
      {"source containing the temporary folder", [&](BuildRequest& r) { r.tempDir = dir / "xp/work"; },
       "contains the temporary directory or lies inside it"},
      {"service pack missing", [&](BuildRequest& r) { r.systems[0].servicePack = (dir / "nosp.exe").string(); },
       "cannot be found"},
      {"service pack inside the temporary folder",
       [&](BuildRequest& r) {
         r.tempDir = dir / "out", r.isoPath = dir / "cd.iso";
         test::WriteFile(dir / "out/sp.exe", "MZ");
         r.systems[0].servicePack = (dir / "out/sp.exe").string();
       },
       "lies inside the temporary directory"},
      {"hotfix folder missing", [&](BuildRequest& r) { r.systems[0].hotfixDir = (dir / "nofixes").string(); },
       "cannot be found"},
      {"hotfix folder inside the temporary folder",
       [&](BuildRequest& r) { r.tempDir = dir / "out", r.isoPath = dir / "cd.iso", r.systems[0].hotfixDir = (dir / "out").string(); },
       "contains the temporary directory or lies inside it"},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BuildRequest request = ValidRequest();
    c.change(request);
    g_systems[0].name = "project entry";
    g_systemCount = 1;
    g_tempDir = "/project/temp/";
    const auto before = Snapshot(m_dir.path());

    test::RecordingObserver observer(/*answerYes=*/true);
    const BuildReport report = BuildCd(request, observer);

    EXPECT_TRUE(report.refused);
    EXPECT_FALSE(report.imageWritten);
    ASSERT_EQ(observer.events.size(), 1u) << observer.events.front();
    ASSERT_EQ(observer.messages.size(), 1u);
    EXPECT_FALSE(observer.messages[0].empty());
    if (c.message == invalid) {
      EXPECT_EQ(observer.messages[0], invalid);
    } else {
      EXPECT_NE(observer.messages[0].find(c.message), std::string::npos) << observer.messages[0];
    }
    EXPECT_EQ(Snapshot(m_dir.path()), before);
    EXPECT_EQ(g_systems[0].name, "project entry");
    EXPECT_EQ(g_systemCount, 1);
    EXPECT_EQ(g_tempDir, "/project/temp/");
  }
  g_systemCount = 0;
  g_tempDir.clear();
}

}  // namespace
}  // namespace kolvenar
