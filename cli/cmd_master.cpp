// kolvenar-cli master ARGS...: masters a CD image from the mastering program's
// own command line, e.g.
//   kolvenar-cli master -LWINDOWS -YD -N -H -X -OCI -M "-Bwork/BOOTSECTOR.BIN" work/ROOT out.iso
#include <iostream>
#include <string>
#include <vector>

#include "boot/cd_image.h"
#include "cli/command_registry.h"

namespace kolvenar::cli {
namespace {

int MasterMain(const std::vector<std::string>& arguments) {
  int shownTenth = -1;
  uint64_t imageSize = 0;
  const Status status = RunMasteringCommand(arguments, [&](uint64_t written, uint64_t total) {
    imageSize = total;
    const int tenth = total == 0 ? 10 : static_cast<int>(written * 10 / total);
    if (tenth == shownTenth) return;
    shownTenth = tenth;
    std::cerr << "writing the image: " << tenth * 10 << "% of " << total << " bytes\n";
  });
  if (!status.ok()) {
    PrintError(status.message());
    return 1;
  }
  std::cout << arguments.back() << ": " << imageSize << " bytes written\n";
  return 0;
}

const bool kRegistered = RegisterCommand([](CLI::App& app) {
  auto* cmd = app.add_subcommand(
      "master",
      "Master a bootable CD image; takes the mastering program's command line: "
      "-L<label> -YD -N -H -X -OCI -M \"-B<boot file>\" \"<root folder>\" \"<image file>\"");
  // Every argument after "master" is the mastering command line, passed on untouched.
  cmd->prefix_command();
  cmd->set_help_flag("--help", "Show this help");
  cmd->callback([cmd] { throw CliExit{MasterMain(cmd->remaining())}; });
});

}  // namespace
}  // namespace kolvenar::cli
