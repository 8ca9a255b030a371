// kolvenar-cli file-version FILE: the fixed file version of a PE file's version
// resource as four numbers, or 0.0.0.0 when it has none.
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli/command_registry.h"
#include "install/hotfixes.h"

namespace kolvenar::cli {
namespace {

int FileVersionMain(const std::string& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    PrintError(file + ": no such file");
    return 1;
  }
  const uint64_t v = ReadFileVersion(file);
  std::printf("%u.%u.%u.%u\n", static_cast<unsigned>(v >> 48), static_cast<unsigned>(v >> 32 & 0xFFFF),
              static_cast<unsigned>(v >> 16 & 0xFFFF), static_cast<unsigned>(v & 0xFFFF));
  return 0;
}

const bool kRegistered = RegisterCommand([](CLI::App& app) {
  auto* cmd = app.add_subcommand("file-version", "Print the file version of a Windows program or library");
  auto file = std::make_shared<std::string>();
  cmd->add_option("FILE", *file, "The file to read")->required();
  cmd->callback([file] { throw CliExit{FileVersionMain(*file)}; });
});

}  // namespace
}  // namespace kolvenar::cli
