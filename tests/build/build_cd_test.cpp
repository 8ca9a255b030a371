// The build sequence over demo install sources with the real stages.
#include "app/build/build_cd.h"

#include <gtest/gtest.h>

#include "install/cabinet/cabinet.h"
#include "project/demo_source.h"
#include "project/install_source.h"
#include "tests/build/recording_observer.h"
#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;

class BuildCdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_systemCount = 0;
    MakeSource("xp", {.name = "Windows XP Professional"});
    MakeSource("w2k", {.name = "Windows 2000 Professional", .version = "5.0.2195.6717", .lowerCaseNames = true});
  }
  void TearDown() override {
    g_systemCount = 0;
    g_tempDir.clear();
  }

  void MakeSource(const std::string& folder, const DemoSourceOptions& options) {
    ASSERT_TRUE(MakeDemoSource(m_dir / folder, options).ok());
  }

  SYSTEM_ENTRY Entry(const std::string& folder, std::vector<std::string> taken = {}) {
    const DetectedSource detected = DetectInstallSource(m_dir / folder);
    EXPECT_TRUE(detected.ok());
    SYSTEM_ENTRY entry;
    entry.name = detected.name;
    entry.build = detected.build;
    entry.id = MakeCdSystemId(detected.name, taken);
    entry.sourcePath = (m_dir / folder).string();
    return entry;
  }

  // Two systems; the boot menu lists them the other way round.
  BuildRequest TwoSystems() {
    BuildRequest request;
    request.systems = {Entry("xp"), Entry("w2k")};
    request.menuOrder = {1, 0};
    request.tempDir = m_dir / "temp";
    request.isoPath = m_dir / "cd.iso";
    return request;
  }

  test::TempDir m_dir;
};

std::vector<std::string> SystemStages(const std::string& name) {
  return {"name:" + name,
          "stage:Copying Files...",
          "stage:Applying Service Pack...",
          "stage:Applying HotFixes...",
          "stage:Adding Boot Files...",
          "stage:Copying Setup Loader...",
          "stage:Changing Boot Location...",
          "stage:Making Tag Files..."};
}

TEST_F(BuildCdTest, RunsEveryStageInTableOrderAndAsksTheClosingQuestion) {
  test::RecordingObserver observer(/*answerYes=*/false);
  const BuildReport report = BuildCd(TwoSystems(), observer);

  std::vector<std::string> expected = {"started"};
  for (const char* name : {"Windows XP Professional", "Windows 2000 Professional"}) {
    for (const std::string& event : SystemStages(name)) expected.push_back(event);
  }
  for (const char* event : {"stage:Creating CD...", "stage:", "name:", "ended", "question"}) expected.push_back(event);
  EXPECT_EQ(observer.events, expected);
  EXPECT_TRUE(observer.problems.empty()) << observer.problems.front();
  ASSERT_TRUE(report.imageWritten) << report.failure;
  ASSERT_EQ(observer.questions.size(), 1u);
  EXPECT_EQ(observer.questions[0], "CD Image Created.\nDelete Temporary Directory?");
  EXPECT_GT(fs::file_size(m_dir / "cd.iso"), 0u);

  // The derived paths are stored into the project's entries.
  const fs::path root = m_dir / "temp" / "ROOT";
  ASSERT_EQ(g_systemCount, 2);
  EXPECT_EQ(g_systems[0].bootDir, (root / "WXPP").string());
  EXPECT_EQ(g_systems[0].installDir, (root / "INSTALLS" / "WXPP").string());
  EXPECT_EQ(g_systems[0].i386Dir, (root / "INSTALLS" / "WXPP" / "I386").string());
  EXPECT_EQ(g_systems[1].bootDir, (root / "W2KP").string());

  // The boot sector lies beside ROOT; copy progress was reported; No keeps the folder.
  EXPECT_EQ(fs::file_size(m_dir / "temp" / "BOOTSECTOR.BIN"), 2048u);
  EXPECT_FALSE(fs::exists(root / "BOOTSECTOR.BIN"));
  EXPECT_GT(observer.lastCopy.totalFiles, 0u);
  EXPECT_EQ(observer.lastCopy.files, observer.lastCopy.totalFiles);
  EXPECT_GT(observer.imageTotal, 0u);
  EXPECT_TRUE(fs::exists(root / "INSTALLS" / "WXPP" / "I386" / "DOSNET.INF"));
  EXPECT_FALSE(report.tempDeleted);
}

TEST_F(BuildCdTest, ASecondBuildBuildsOverTheFirstAndYesDeletesTheFolder) {
  test::RecordingObserver first(/*answerYes=*/false);
  ASSERT_TRUE(BuildCd(TwoSystems(), first).imageWritten);

  // The second build leaves the first system out: its folders stay in the tree.
  BuildRequest request = TwoSystems();
  request.systems.erase(request.systems.begin());
  request.menuOrder = {0};
  test::RecordingObserver second(/*answerYes=*/true);
  const BuildReport report = BuildCd(request, second);
  ASSERT_TRUE(report.imageWritten) << report.failure;
  EXPECT_TRUE(report.tempDeleted);
  EXPECT_FALSE(fs::exists(m_dir / "temp"));
  EXPECT_TRUE(fs::exists(m_dir / "cd.iso"));

  // A third build creates the folder again.
  test::RecordingObserver third(/*answerYes=*/false);
  ASSERT_TRUE(BuildCd(request, third).imageWritten);
  EXPECT_TRUE(fs::is_directory(m_dir / "temp" / "ROOT" / "W2KP"));
}

TEST_F(BuildCdTest, AFirstBuildsFoldersStayForTheNext) {
  test::RecordingObserver first(/*answerYes=*/false);
  ASSERT_TRUE(BuildCd(TwoSystems(), first).imageWritten);
  BuildRequest request = TwoSystems();
  request.systems.erase(request.systems.begin());
  request.menuOrder = {0};
  test::RecordingObserver second(/*answerYes=*/false);
  ASSERT_TRUE(BuildCd(request, second).imageWritten);
  EXPECT_TRUE(fs::is_directory(m_dir / "temp" / "ROOT" / "WXPP"));
  EXPECT_TRUE(fs::is_directory(m_dir / "temp" / "ROOT" / "INSTALLS" / "WXPP"));
}

// An observer that takes the ISO's folder away once the checks have passed.
class FolderRemovingObserver : public test::RecordingObserver {
 public:
  explicit FolderRemovingObserver(fs::path folder) : m_folder(std::move(folder)) {}
  void BuildStarted() override {
    RecordingObserver::BuildStarted();
    fs::remove_all(m_folder);
  }

 private:
  fs::path m_folder;
};

TEST_F(BuildCdTest, AnImageThatWasNotWrittenIsNeverReportedAsCreated) {
  BuildRequest request = TwoSystems();
  fs::create_directories(m_dir / "out");
  request.isoPath = m_dir / "out" / "cd.iso";
  FolderRemovingObserver observer(m_dir / "out");
  const BuildReport report = BuildCd(request, observer);
  EXPECT_FALSE(report.imageWritten);
  EXPECT_FALSE(report.failure.empty());
  ASSERT_EQ(observer.questions.size(), 1u);
  const std::string& question = observer.questions[0];
  EXPECT_EQ(question.find("CD Image Created."), std::string::npos) << question;
  EXPECT_EQ(question.rfind("The CD image could not be created.\n", 0), 0u) << question;
  EXPECT_NE(question.find(report.failure), std::string::npos) << question;
  EXPECT_TRUE(question.ends_with("\nDelete Temporary Directory?")) << question;
  EXPECT_FALSE(observer.problems.empty());
  EXPECT_FALSE(fs::exists(m_dir / "out" / "cd.iso"));
}

TEST_F(BuildCdTest, AFileTheHotfixStageCannotOpenStopsTheBuild) {
  // A package (a plain cabinet) and, in the install tree, a file that cannot be opened.
  test::WriteFile(m_dir / "kb" / "readme.txt", "hotfix");
  fs::create_directories(m_dir / "hotfixes");
  ASSERT_TRUE(CompressToCabinet(m_dir / "kb" / "readme.txt", m_dir / "hotfixes" / "KB111111.EXE", "readme.txt", {}).ok());
  fs::create_symlink("NOWHERE.DLL", m_dir / "xp" / "I386" / "GONE.DLL");  // a link to nothing
  BuildRequest request = TwoSystems();
  request.systems[0].hotfixDir = (m_dir / "hotfixes").string();

  test::RecordingObserver observer(/*answerYes=*/false);
  const BuildReport report = BuildCd(request, observer);
  EXPECT_TRUE(report.stopped);
  EXPECT_FALSE(report.imageWritten);
  EXPECT_NE(report.failure.find("GONE.DLL"), std::string::npos) << report.failure;

  // Nothing after the hotfix stage runs; the windows return and the question names the file.
  const std::vector<std::string> tail(observer.events.end() - 5, observer.events.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"stage:Applying HotFixes...", "stage:", "name:", "ended", "question"}));
  ASSERT_EQ(observer.questions.size(), 1u);
  EXPECT_EQ(observer.questions[0].rfind("The CD image could not be created.\n", 0), 0u) << observer.questions[0];
  EXPECT_NE(observer.questions[0].find("GONE.DLL"), std::string::npos) << observer.questions[0];
  EXPECT_FALSE(fs::exists(m_dir / "temp" / "ROOT" / "W2KP"));
  EXPECT_FALSE(fs::exists(m_dir / "temp" / "BOOTSECTOR.BIN"));
  EXPECT_FALSE(fs::exists(m_dir / "cd.iso"));
}

TEST(ClosingQuestion, NamesEveryWayABuildCanEnd) {
  BuildReport clean;
  clean.imageWritten = true;
  EXPECT_EQ(ClosingQuestion(clean), "CD Image Created.\nDelete Temporary Directory?");

  BuildReport withProblems = clean;
  withProblems.problems = {"a.sys: cannot be copied"};
  EXPECT_EQ(ClosingQuestion(withProblems),
            "CD Image Created.\nThe build met 1 problem:\n- a.sys: cannot be copied\nDelete Temporary Directory?");

  BuildReport failed;
  failed.failure = "cd.iso: disk full";
  failed.problems = {"cd.iso: disk full"};
  EXPECT_EQ(ClosingQuestion(failed), "The CD image could not be created.\ncd.iso: disk full\nDelete Temporary Directory?");

  BuildReport many;
  many.failure = "stopped";
  for (int i = 0; i < 7; ++i) many.problems.push_back("p" + std::to_string(i));
  const std::string text = ClosingQuestion(many);
  EXPECT_NE(text.find("The build met 7 problems:\n- p0\n"), std::string::npos) << text;
  EXPECT_NE(text.find("- and 2 more\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("- p5"), std::string::npos) << text;
}

}  // namespace
}  // namespace kolvenar
