// kolvenar-cli profile read FILE SECTION KEY
// kolvenar-cli profile write FILE SECTION KEY VALUE
#include <iostream>
#include <memory>
#include <string>

#include "cli/command_registry.h"
#include "install/profile.h"

namespace kolvenar::cli {
namespace {

struct ProfileArgs {
  std::string file;
  std::string section;
  std::string key;
  std::string value;
};

void AddTarget(CLI::App* cmd, ProfileArgs& args) {
  cmd->add_option("FILE", args.file, "the profile (INI) file")->required();
  cmd->add_option("SECTION", args.section, "the section, without regard to case")->required();
  cmd->add_option("KEY", args.key, "the key, without regard to case")->required();
}

const bool kRegistered = RegisterCommand([](CLI::App& app) {
  auto* profile = app.add_subcommand("profile", "read or write one key of a profile (INI) file");
  profile->require_subcommand(1);
  auto args = std::make_shared<ProfileArgs>();

  auto* read = profile->add_subcommand("read", "print the value of a key (empty when missing)");
  AddTarget(read, *args);
  read->callback([args] { std::cout << ReadProfileString(args->section, args->key, args->file) << "\n"; });

  auto* write = profile->add_subcommand("write", "set a key, changing only its own line");
  AddTarget(write, *args);
  write->add_option("VALUE", args->value, "the value, written exactly as given")->required();
  write->callback([args] {
    const Status status = WriteProfileString(args->section, args->key, args->file, args->value);
    if (!status.ok()) {
      PrintError(status.message());
      throw CliExit{1};
    }
  });
});

}  // namespace
}  // namespace kolvenar::cli
