// The build sequence: the folder layout, the stages of every system in table
// order, the boot sector, the image, and the closing question.
#include "app/build/build_cd.h"

#include <system_error>

#include "boot/boot_folder.h"
#include "boot/boot_sector.h"
#include "boot/cd_image.h"
#include "boot/setup_loader.h"
#include "boot/tag_files.h"
#include "install/hotfixes.h"
#include "install/names.h"
#include "install/service_pack.h"

namespace kolvenar {
namespace fs = std::filesystem;
namespace {

constexpr const char* kCopyTitle = "Copying Installation Files";
constexpr size_t kProblemsListed = 5;

// One build: the request, the observer and what has gone wrong so far.
class CdBuild {
 public:
  CdBuild(const BuildRequest& request, BuildObserver& observer) : m_request(request), m_observer(observer) {}

  BuildReport Run();

 private:
  void Stage(const char* text) { m_observer.SetStatusText(StatusLine::kStage, text); }
  void Problem(const std::string& text);
  void Problems(const SYSTEM_ENTRY& entry, const kolvenar::Problems& problems);
  // Prepares one system; false when a stage stopped the build.
  bool PrepareSystem(SYSTEM_ENTRY& entry);
  void CopyLoaderFile(const SYSTEM_ENTRY& entry, std::string_view name);
  void MakeImage();

  const BuildRequest& m_request;
  BuildObserver& m_observer;
  BuildReport m_report;
  fs::path m_root;
  fs::path m_bootSectorPath;
};

std::string SystemLabel(const SYSTEM_ENTRY& entry) { return entry.name.empty() ? entry.id : entry.name; }

void CdBuild::Problem(const std::string& text) {
  m_report.problems.push_back(text);
  m_observer.ReportProblem(text);
}

void CdBuild::Problems(const SYSTEM_ENTRY& entry, const kolvenar::Problems& problems) {
  for (const std::string& problem : problems) Problem(SystemLabel(entry) + ": " + problem);
}

void CdBuild::CopyLoaderFile(const SYSTEM_ENTRY& entry, std::string_view name) {
  const fs::path from = ResolvePathNoCase(fs::path(entry.i386Dir) / std::string(name));
  const fs::path to = ResolvePathNoCase(fs::path(entry.bootDir) / std::string(name));
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  if (ec) Problem(SystemLabel(entry) + ": cannot copy " + from.string() + " to " + to.string() + ": " + ec.message());
}

bool CdBuild::PrepareSystem(SYSTEM_ENTRY& entry) {
  entry.bootDir = (m_root / entry.id).string();
  entry.installDir = (m_root / "INSTALLS" / entry.id).string();
  entry.i386Dir = (fs::path(entry.installDir) / "I386").string();
  CreateDirectoryPath(entry.bootDir);
  CreateDirectoryPath(entry.installDir);
  m_observer.SetStatusText(StatusLine::kName, entry.name);
  const MessageFn showMessage = [this](const std::string& text) { m_observer.ShowMessage(text); };

  Stage("Copying Files...");
  kolvenar::Problems copyProblems;
  const bool copied = CopyTree(entry.sourcePath, entry.installDir, kCopyTitle, &copyProblems,
                               [this](const CopyProgress& progress) { m_observer.CopyProgressed(progress); });
  if (!copied && copyProblems.empty()) copyProblems.push_back("the install source " + entry.sourcePath + " was not copied whole");
  Problems(entry, copyProblems);
  ClearAttributesTree(entry.installDir);

  Stage("Applying Service Pack...");
  Problems(entry, ApplyServicePack(entry.servicePack, entry.installDir));

  Stage("Applying HotFixes...");
  kolvenar::Problems hotfixProblems;
  const Status hotfixes = IntegrateHotfixes(entry.hotfixDir, entry.i386Dir, entry.build, hotfixProblems, showMessage);
  Problems(entry, hotfixProblems);
  if (!hotfixes.ok()) {
    m_report.stopped = true;
    m_report.failure = SystemLabel(entry) + ": " + hotfixes.message();
    Problem(m_report.failure);
    return false;
  }

  Stage("Adding Boot Files...");
  Problems(entry, PopulateBootFolder(fs::path(entry.i386Dir) / "DOSNET.INF", entry.installDir, entry.bootDir));

  Stage("Copying Setup Loader...");
  CopyLoaderFile(entry, "TXTSETUP.SIF");
  CopyLoaderFile(entry, "SETUPLDR.BIN");

  Stage("Changing Boot Location...");
  Problems(entry, RelocateSetupLoader(entry.bootDir, entry.id, showMessage));

  Stage("Making Tag Files...");
  Problems(entry, MakeTagFiles(fs::path(entry.bootDir) / "TXTSETUP.SIF", m_root));
  const Status bootfix = InstallBootfix(entry.bootDir);
  if (!bootfix.ok()) Problem(SystemLabel(entry) + ": " + bootfix.message());
  return true;
}

void CdBuild::MakeImage() {
  Stage("Creating CD...");
  const Status sector =
      WriteBootMenuSector(m_request.menuOrder, m_bootSectorPath, m_request.menuTitle, m_request.menuPrompt);
  if (!sector.ok()) {
    // An older BOOTSECTOR.BIN would give the image a wrong menu: no image then.
    m_report.failure = "the boot sector was not written: " + sector.message();
    Problem(m_report.failure);
    return;
  }
  const Status image = MasterCdImage(m_bootSectorPath, m_request.volumeLabel, m_request.isoPath, m_root,
                                     [this](uint64_t written, uint64_t total) {
                                       m_observer.ImageProgressed(written, total);
                                     });
  if (!image.ok()) {
    m_report.failure = image.message();
    Problem(m_report.failure);
    return;
  }
  m_report.imageWritten = true;
}

BuildReport CdBuild::Run() {
  const Status checked = CheckBuildRequest(m_request);
  if (!checked.ok()) {
    m_report.refused = true;
    m_report.failure = checked.message();
    m_report.problems.push_back(checked.message());
    m_observer.ShowMessage(checked.message());
    return m_report;
  }

  // The request becomes the project: the stages read the table and the temporary folder.
  for (size_t i = 0; i < m_request.systems.size(); ++i) g_systems[i] = m_request.systems[i];
  g_systemCount = static_cast<int>(m_request.systems.size());
  g_tempDir = m_request.tempDir.string();
  if (g_tempDir.back() != '/') g_tempDir += '/';
  m_root = fs::path(g_tempDir) / "ROOT";
  m_bootSectorPath = fs::path(g_tempDir) / "BOOTSECTOR.BIN";

  m_observer.BuildStarted();
  CreateDirectoryPath(m_root);
  bool going = true;
  for (int i = 0; going && i < g_systemCount; ++i) going = PrepareSystem(g_systems[static_cast<size_t>(i)]);
  if (going) MakeImage();
  m_observer.SetStatusText(StatusLine::kStage, "");
  m_observer.SetStatusText(StatusLine::kName, "");
  m_observer.BuildEnded();

  if (m_observer.AskYesNo(ClosingQuestion(m_report))) {
    DeleteTree(m_request.tempDir);
    std::error_code ec;
    m_report.tempDeleted = !fs::exists(m_request.tempDir, ec);
  }
  return m_report;
}

}  // namespace

BuildRequest ProjectBuildRequest(std::vector<int> menuOrder, fs::path isoPath, std::string volumeLabel,
                                 std::string menuTitle, std::string menuPrompt) {
  BuildRequest request;
  for (int i = 0; i < g_systemCount; ++i) request.systems.push_back(g_systems[static_cast<size_t>(i)]);
  request.menuOrder = std::move(menuOrder);
  request.tempDir = g_tempDir;
  request.isoPath = std::move(isoPath);
  request.volumeLabel = std::move(volumeLabel);
  request.menuTitle = std::move(menuTitle);
  request.menuPrompt = std::move(menuPrompt);
  return request;
}

std::string ClosingQuestion(const BuildReport& report) {
  if (report.imageWritten && report.problems.empty()) return kImageCreatedQuestion;
  std::string text = report.imageWritten ? "CD Image Created.\n" : "The CD image could not be created.\n";
  if (!report.imageWritten) text += report.failure + "\n";
  const size_t count = report.problems.size();
  if (report.imageWritten || count > 1) {
    text += "The build met " + std::to_string(count) + (count == 1 ? " problem:\n" : " problems:\n");
    for (size_t i = 0; i < count && i < kProblemsListed; ++i) text += "- " + report.problems[i] + "\n";
    if (count > kProblemsListed) text += "- and " + std::to_string(count - kProblemsListed) + " more\n";
  }
  return text + "Delete Temporary Directory?";
}

BuildReport BuildCd(const BuildRequest& request, BuildObserver& observer) { return CdBuild(request, observer).Run(); }

}  // namespace kolvenar
