// kolvenar-cli build: one CD image from install sources, as "Create CD" makes it.
#include <cstdio>
#include <iostream>
#include <system_error>

#include "app/build/build_cd.h"
#include "cli/command_registry.h"
#include "cli/progress_line.h"
#include "install/file_utils.h"
#include "install/names.h"
#include "project/install_source.h"

namespace kolvenar::cli {
namespace {
namespace fs = std::filesystem;

struct SystemArguments {
  std::string source;
  std::string servicePack;
  std::string hotfixDir;
};

struct BuildArguments {
  std::string tempDir;
  std::string isoPath;
  std::string label = kDefaultVolumeLabel;
  std::string title = kDefaultMenuTitle;
  std::string prompt = kDefaultMenuPrompt;
  bool deleteTemp = false;
  std::vector<std::string> sources, servicePacks, hotfixDirs;
};

// Prints the build as it goes: stage lines, progress, problems, the question.
class PrintingObserver : public BuildObserver {
 public:
  explicit PrintingObserver(bool deleteTemp) : m_deleteTemp(deleteTemp) {}

  void SetStatusText(StatusLine line, const std::string& text) override {
    if (text.empty()) return;
    m_progress.Break();
    if (line == StatusLine::kName) {
      if (text != m_name) std::printf("%s\n", text.c_str());
      m_name = text;
    } else {
      std::printf("  %s\n", text.c_str());
    }
    std::fflush(stdout);
  }
  void ShowMessage(const std::string& text) override {
    m_progress.Break();
    PrintError(text);
  }
  bool AskYesNo(const std::string& text) override {
    m_progress.Break();
    std::printf("%s %s\n", text.c_str(), m_deleteTemp ? "Yes" : "No");
    return m_deleteTemp;
  }
  void ReportProblem(const std::string& text) override {
    m_progress.Break();
    std::fflush(stdout);
    std::cerr << "problem: " << text << "\n";
  }
  void CopyProgressed(const CopyProgress& p) override {
    m_progress.Update(p.bytes, p.totalBytes,
                      std::to_string(p.files) + " of " + std::to_string(p.totalFiles) + " files, " +
                          FormatBytes(p.bytes) + " of " + FormatBytes(p.totalBytes));
  }
  void ImageProgressed(uint64_t written, uint64_t total) override {
    m_progress.Update(written, total, FormatBytes(written) + " of " + FormatBytes(total) + " written");
  }
  void BuildEnded() override { m_progress.Break(); }

 private:
  bool m_deleteTemp;
  std::string m_name;
  ProgressLine m_progress;
};

// Each --service-pack and --hotfixes belongs to the --system before it.
bool GroupSystems(const CLI::App& cmd, const BuildArguments& args, std::vector<SystemArguments>& systems) {
  size_t nextSource = 0, nextPack = 0, nextHotfix = 0;
  for (const CLI::Option* option : cmd.parse_order()) {
    const std::string name = option->get_name();
    if (name == "--system") {
      systems.push_back({args.sources.at(nextSource++), "", ""});
    } else if (name == "--service-pack" || name == "--hotfixes") {
      if (systems.empty()) {
        PrintError(name + " must follow the --system it belongs to");
        return false;
      }
      std::string& field = name == "--service-pack" ? systems.back().servicePack : systems.back().hotfixDir;
      if (!field.empty()) {
        PrintError("one " + name + " per --system");
        return false;
      }
      field = name == "--service-pack" ? args.servicePacks.at(nextPack++) : args.hotfixDirs.at(nextHotfix++);
    }
  }
  return true;
}

// The temporary folder must be empty (empty subfolders allowed) or missing.
bool CheckTempFolder(const fs::path& temp) {
  std::error_code ec;
  if (!fs::exists(temp, ec)) return true;
  if (!fs::is_directory(temp, ec)) {
    PrintError(temp.string() + " is not a folder");
    return false;
  }
  std::vector<fs::path> files;
  if (FindFiles(temp, "*.*", true, files) > 0) {
    PrintError("Please select an empty directory. (" + temp.string() + " holds " + files.front().string() + ")");
    return false;
  }
  return true;
}

void PrintSummary(const BuildRequest& request, const BuildReport& report) {
  std::error_code ec;
  std::printf("\n");
  if (report.imageWritten) {
    const uintmax_t size = fs::file_size(request.isoPath, ec);
    std::printf("Image: %s (%s, %ju bytes)\n", request.isoPath.c_str(), FormatBytes(size).c_str(), size);
  } else {
    std::printf("No image was written: %s\n", report.failure.c_str());
  }
  std::printf("Menu: %s\n", request.menuTitle.c_str());
  for (size_t row = 0; row < request.menuOrder.size(); ++row) {
    const SYSTEM_ENTRY& entry = request.systems[static_cast<size_t>(request.menuOrder[row])];
    std::printf("  [%c] %s  (\\%s, from %s)\n", static_cast<char>('A' + row), entry.name.c_str(), entry.id.c_str(),
                entry.sourcePath.c_str());
  }
  if (!report.problems.empty()) std::printf("%zu problem(s) met.\n", report.problems.size());
  if (report.tempDeleted) std::printf("The temporary folder was deleted.\n");
}

int BuildMain(const CLI::App& cmd, const BuildArguments& args) {
  std::vector<SystemArguments> systems;
  if (!GroupSystems(cmd, args, systems)) return 2;
  const fs::path temp = fs::absolute(args.tempDir);
  if (!CheckTempFolder(temp)) return 1;

  BuildRequest request;
  request.tempDir = temp;
  request.isoPath = fs::absolute(args.isoPath);
  request.volumeLabel = UpperCaseName(args.label);  // the label field turns letters into capitals
  request.menuTitle = args.title;
  request.menuPrompt = args.prompt;
  g_systemCount = 0;
  for (const SystemArguments& system : systems) {
    SYSTEM_ENTRY entry;
    const Status added = PrepareSystemEntry(fs::absolute(system.source), entry);
    if (!added.ok()) {
      PrintError(added.kind() == Status::Kind::kNotFound
                     ? std::string(kNotInstallSourceMessage) + " (" + added.message() + ")"
                     : added.message());
      return 1;
    }
    if (!system.servicePack.empty()) entry.servicePack = fs::absolute(system.servicePack).string();
    if (!system.hotfixDir.empty()) entry.hotfixDir = fs::absolute(system.hotfixDir).string();
    g_systems[static_cast<size_t>(g_systemCount++)] = entry;
    request.menuOrder.push_back(static_cast<int>(request.systems.size()));
    request.systems.push_back(entry);
  }

  PrintingObserver observer(args.deleteTemp);
  const BuildReport report = BuildCd(request, observer);
  if (report.refused) return 1;
  PrintSummary(request, report);
  return report.imageWritten ? 0 : 1;
}

const bool kRegistered = RegisterCommand([](CLI::App& app) {
  auto args = std::make_shared<BuildArguments>();
  CLI::App* cmd = app.add_subcommand("build", "Build a bootable CD image from install sources");
  cmd->add_option("--temp", args->tempDir, "Temporary folder (empty or missing); ROOT and BOOTSECTOR.BIN go in it")
      ->required();
  cmd->add_option("--iso", args->isoPath, "The ISO image file to write")->required();
  cmd->add_option("--label", args->label, "Volume label (default WINDOWS)");
  cmd->add_option("--title", args->title, "Boot menu title");
  cmd->add_option("--prompt", args->prompt, "Boot menu prompt");
  cmd->add_flag("--delete-temp", args->deleteTemp, "Delete the temporary folder after the build");
  cmd->add_option("--system", args->sources, "An install source (a folder holding I386); the menu follows this order")
      ->required()
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cmd->add_option("--service-pack", args->servicePacks, "Service pack of the --system before it")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cmd->add_option("--hotfixes", args->hotfixDirs, "Hotfix folder of the --system before it")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  cmd->callback([cmd, args] { throw CliExit{BuildMain(*cmd, *args)}; });
});

}  // namespace
}  // namespace kolvenar::cli
