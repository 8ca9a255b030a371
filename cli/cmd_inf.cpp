// kolvenar-cli inf FILE SECTION: prints one section as the INF reader gives it,
// in a form that scripts can compare.
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "boot/inf_reader.h"
#include "cli/command_registry.h"

namespace kolvenar::cli {
namespace {

// The text for inside brackets: a backslash as \\, every byte outside 20h..7Eh as \xNN.
std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      out += "\\\\";
    } else if (byte < 0x20 || byte > 0x7E) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

int InfMain(const std::string& file, const std::string& section) {
  InfFile inf;
  if (Status status = inf.Open(file); !status.ok()) {
    std::cout << "open failed\n";
    PrintError(status.message());
    return 1;
  }
  // Built whole and written at once: a TXTSETUP.SIF section has 20,000 lines.
  std::string out;
  const int count = inf.LineCount(section);
  out += "section [" + Escaped(section) + "] count " + std::to_string(count) + "\n";
  for (int i = 0; i < count; ++i) {
    const InfLine line = *inf.LineByIndex(section, i);
    const int fields = inf.FieldCount(line);
    const std::string prefix = "line " + std::to_string(i) + " ";
    out += prefix + "fieldcount " + std::to_string(fields) + "\n";
    if (auto key = inf.StringField(line, 0)) {
      out += prefix + "field 0 [" + Escaped(*key) + "]\n";
    } else {
      out += prefix + "field 0 none\n";
    }
    for (int k = 1; k <= fields; ++k) {
      out += prefix + "field " + std::to_string(k) + " [" + Escaped(inf.StringField(line, k).value_or("")) + "]\n";
    }
  }
  std::cout << out << std::flush;
  return 0;
}

const bool kRegistered = RegisterCommand([](CLI::App& app) {
  auto* cmd = app.add_subcommand("inf", "Print one section of a setup information file as the INF reader reads it");
  auto file = std::make_shared<std::string>();
  auto section = std::make_shared<std::string>();
  cmd->add_option("FILE", *file, "the INF file (DOSNET.INF, TXTSETUP.SIF, ...)")->required();
  cmd->add_option("SECTION", *section, "the section name, matched without regard to case")->required();
  cmd->callback([file, section] { throw CliExit{InfMain(*file, *section)}; });
});

}  // namespace
}  // namespace kolvenar::cli
