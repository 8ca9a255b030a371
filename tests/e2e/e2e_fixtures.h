// Shared steps of the end-to-end tests: demo sources and packages made through
// kolvenar-cli and gcab, images read back with isoinfo, and booting under QEMU.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/qemu_machine.h"
#include "tests/support/temp_dir.h"

namespace kolvenar::test {

inline std::string Quote(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// Runs kolvenar-cli with the argument text (standard error joins the output).
inline int RunCli(const std::string& arguments, std::string* output, const std::string& environment = "") {
  return RunCommand(environment + " " + Quote(KOLVENAR_CLI) + " " + arguments + " 2>&1", output);
}

// Every path of an image, as isoinfo lists it ("/INSTALLS/WXPP/I386/DOSNET.INF").
inline std::vector<std::string> IsoPaths(const std::filesystem::path& iso) {
  std::string listing;
  RunCommand("isoinfo -f -i " + Quote(iso), &listing);
  std::vector<std::string> paths;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) paths.push_back(line);
  return paths;
}

inline bool Contains(const std::vector<std::string>& paths, const std::string& path) {
  return std::find(paths.begin(), paths.end(), path) != paths.end();
}

// One file of an image, read by isoinfo.
inline std::string IsoFile(const std::filesystem::path& iso, const std::string& path) {
  std::string bytes;
  RunCommand("isoinfo -i " + Quote(iso) + " -x " + Quote(path), &bytes);
  return bytes;
}

// Boots the image, waits for the menu prompt, picks the letter and returns the
// screen once the demo loader has printed its line (or the last screen when it
// never does).
inline std::string BootMenuLetter(const std::filesystem::path& iso, const std::string& prompt, char letter,
                                  const std::filesystem::path& workDir) {
  std::filesystem::create_directories(workDir);
  QemuMachine machine(workDir);
  std::string error;
  if (!machine.Start(iso, std::nullopt, &error)) return "QEMU: " + error;
  if (!machine.WaitForText(prompt, std::chrono::seconds(60))) return machine.ScreenText();
  machine.SendKey(std::string(1, letter));
  machine.SendKey("ret");
  machine.WaitForText(" end=", std::chrono::seconds(60));
  return machine.ScreenText();
}

}  // namespace kolvenar::test
