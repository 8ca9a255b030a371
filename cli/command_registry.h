// kolvenar-cli's commands. Each cmd_*.cpp registers its subcommand at start-up:
//
//   static const bool kRegistered = RegisterCommand([](CLI::App& app) {
//     auto* cmd = app.add_subcommand("expand", "...");
//     ...
//     cmd->callback([=] { throw CliExit(ExpandMain(...)); });
//   });
//
// A command ends by throwing CliExit with its exit status, or returns normally
// for status 0.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>

namespace kolvenar::cli {

struct CliExit {
  int status;
};

using CommandSetup = std::function<void(CLI::App&)>;

bool RegisterCommand(CommandSetup setup);

// Prints "kolvenar-cli: <text>" to standard error.
void PrintError(const std::string& text);

}  // namespace kolvenar::cli
