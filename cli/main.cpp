// kolvenar-cli: the command-line front end of the Kolvenar engine.
#include <iostream>
#include <vector>

#include "cli/command_registry.h"

namespace kolvenar::cli {
namespace {

std::vector<CommandSetup>& Registry() {
  static std::vector<CommandSetup> registry;
  return registry;
}

}  // namespace

bool RegisterCommand(CommandSetup setup) {
  Registry().push_back(std::move(setup));
  return true;
}

void PrintError(const std::string& text) { std::cerr << "kolvenar-cli: " << text << "\n"; }

}  // namespace kolvenar::cli

int main(int argc, char** argv) {
  using namespace kolvenar::cli;
  CLI::App app{"kolvenar-cli: builds one bootable CD image holding several Windows installation sources"};
  app.require_subcommand(1);
  for (const CommandSetup& setup : Registry()) setup(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const CliExit& e) {
    return e.status;
  }
  return 0;
}
