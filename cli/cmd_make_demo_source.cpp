// kolvenar-cli make-demo-source: a small synthetic install source to build a demo CD from.
#include <cstdio>

#include "cli/command_registry.h"
#include "project/demo_source.h"

namespace kolvenar::cli {
namespace {

struct DemoArguments {
  std::string folder;
  DemoSourceOptions options;
  double fillerMb = 0;
};

int MakeDemoSourceMain(const DemoArguments& args) {
  DemoSourceOptions options = args.options;
  options.fillerBytes = static_cast<uint64_t>(args.fillerMb * 1024 * 1024);
  const Status status = MakeDemoSource(args.folder, options);
  if (!status.ok()) {
    PrintError(status.message());
    return 1;
  }
  std::printf("Demo install source \"%s\" (%s) written to %s\n", options.name.c_str(), options.version.c_str(),
              args.folder.c_str());
  return 0;
}

const bool kRegistered = RegisterCommand([](CLI::App& app) {
  auto args = std::make_shared<DemoArguments>();
  CLI::App* cmd = app.add_subcommand("make-demo-source", "Write a small synthetic install source into a new folder");
  cmd->add_option("DIR", args->folder, "The folder to write (empty or missing)")->required();
  cmd->add_option("--name", args->options.name, "Product name, as PRODSPEC.INI gives it")->required();
  cmd->add_option("--version", args->options.version, "Version in DOSNET.INF's DriverVer (default 5.1.2600.0)");
  cmd->add_flag("--lower-case", args->options.lowerCaseNames, "Write every file and folder name in lower case");
  cmd->add_flag("--compressed-boot-files", args->options.compressedBootFiles,
                "Store the boot-floppy files only compressed (x.ex_)");
  cmd->add_option("--filler-mb", args->fillerMb, "Add this many MB of filler files (for benchmarks)");
  cmd->callback([args] { throw CliExit{MakeDemoSourceMain(*args)}; });
});

}  // namespace
}  // namespace kolvenar::cli
