// kolvenar-cli expand / compress: the cabinet operations of the engine.
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "cli/command_registry.h"
#include "install/cabinet/cabinet.h"

namespace kolvenar::cli {
namespace {
namespace fs = std::filesystem;

struct ExpandOptions {
  std::string file;
  std::string folder;
  bool flat = false;
};

struct CompressOptions {
  std::string file;
  std::string cabinet;
  std::string storedName;
};

int ExpandMain(const ExpandOptions& options) {
  std::error_code ec;
  const Status status = ExpandCabinet(options.file, options.folder, fs::temp_directory_path(ec), !options.flat);
  if (!status.ok()) {
    PrintError(status.message());
    return 1;
  }
  return 0;
}

int CompressMain(const CompressOptions& options) {
  const Status status = CompressToCabinet(options.file, options.cabinet, options.storedName,
                                          [](const std::string& text) { PrintError(text); });
  if (!status.ok()) {
    PrintError(status.message());
    return 1;
  }
  return 0;
}

const bool kRegistered = RegisterCommand([](CLI::App& app) {
  auto expand = std::make_shared<ExpandOptions>();
  auto* expandCmd = app.add_subcommand(
      "expand", "Extracts every file of the first cabinet in FILE (a cabinet or a self-extracting package)");
  expandCmd->add_option("FILE", expand->file, "Cabinet or package")->required();
  expandCmd->add_option("FOLDER", expand->folder, "Destination folder")->required();
  expandCmd->add_flag("--flat", expand->flat, "Do not recreate the folders stored in the cabinet");
  expandCmd->callback([expand] { throw CliExit{ExpandMain(*expand)}; });

  auto compress = std::make_shared<CompressOptions>();
  auto* compressCmd =
      app.add_subcommand("compress", "Writes CABINET holding FILE under STORED-NAME (one MSZIP folder)");
  compressCmd->add_option("FILE", compress->file, "File to compress")->required();
  compressCmd->add_option("CABINET", compress->cabinet, "Cabinet to write (replaced if present)")->required();
  compressCmd->add_option("STORED-NAME", compress->storedName, "Name stored in the cabinet")->required();
  compressCmd->callback([compress] { throw CliExit{CompressMain(*compress)}; });
});

}  // namespace
}  // namespace kolvenar::cli
