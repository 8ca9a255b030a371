// Running an external program to its end.
#pragma once

#include <filesystem>
#include <string_view>

#include "install/status.h"

namespace kolvenar {

// Runs `program` with the argument text (split as a Windows program splits its
// command line) and waits for it without a time limit. The program is looked for
// in the running program's folder, the current folder, then PATH; a Windows
// program (a file starting with "MZ") runs through `wine` found on PATH. A program
// that cannot be started returns at once with the reason. `exitCode`, when given,
// receives the program's exit status (128 + the signal number when a signal ended it).
Status RunAndWait(std::string_view program, std::string_view arguments, int* exitCode = nullptr);

// Where RunAndWait would find `program`; empty when it is found nowhere.
std::filesystem::path FindProgram(std::string_view program);

}  // namespace kolvenar
