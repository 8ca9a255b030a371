#include "install/process.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include "install/command_line.h"
#include "install/names.h"

extern char** environ;

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

// A Windows program: its file starts with the "MZ" of an executable's header.
bool IsWindowsProgram(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  char magic[2] = {};
  return in.read(magic, 2) && magic[0] == 'M' && magic[1] == 'Z';
}

bool IsRegularFile(const fs::path& file) {
  struct stat st;
  return ::stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A file that can be run: an executable file, or a Windows program (run through wine).
bool IsRunnable(const fs::path& file) {
  return IsRegularFile(file) && (::access(file.c_str(), X_OK) == 0 || IsWindowsProgram(file));
}

// `name` in `folder`, without regard to case; like Windows, a name without an
// extension is also tried with ".exe".
fs::path FindIn(const fs::path& folder, std::string_view name) {
  if (auto found = FindEntryNoCase(folder, name); found && IsRunnable(*found)) return *found;
  if (fs::path(std::string(name)).extension().empty()) {
    if (auto found = FindEntryNoCase(folder, std::string(name) + ".exe"); found && IsRunnable(*found)) {
      return *found;
    }
  }
  return {};
}

fs::path FindOnPath(std::string_view name) {
  const char* path = std::getenv("PATH");
  std::string_view folders = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  while (true) {
    const size_t colon = folders.find(':');
    const std::string_view folder = folders.substr(0, colon);
    // An empty entry of PATH means the current folder.
    if (fs::path found = FindIn(folder.empty() ? "." : fs::path(std::string(folder)), name); !found.empty()) {
      return found;
    }
    if (colon == std::string_view::npos) return {};
    folders.remove_prefix(colon + 1);
  }
}

}  // namespace

fs::path FindProgram(std::string_view program) {
  if (program.empty()) return {};
  // A name with a folder in it is taken as it stands (relative to the current folder).
  if (program.find('/') != std::string_view::npos) {
    const fs::path resolved = ResolvePathNoCase(fs::path(std::string(program)));
    return IsRunnable(resolved) ? resolved : fs::path();
  }
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (!ec) {
    if (fs::path found = FindIn(self.parent_path(), program); !found.empty()) return found;
  }
  if (fs::path found = FindIn(".", program); !found.empty()) return found;
  return FindOnPath(program);
}

Status RunAndWait(std::string_view program, std::string_view arguments, int* exitCode) {
  const fs::path found = FindProgram(program);
  if (found.empty()) return Status::NotFound(std::string(program) + ": program not found");

  std::vector<std::string> argv;
  if (IsWindowsProgram(found)) {
    const fs::path wine = FindOnPath("wine");
    if (wine.empty()) {
      return Status::NotFound(std::string(program) +
                              ": a Windows program, which needs wine; wine is not on PATH");
    }
    argv.push_back(wine.string());
  }
  argv.push_back(found.string());
  for (std::string& argument : SplitWindowsCommandLine(arguments)) argv.push_back(std::move(argument));

  std::vector<char*> pointers;
  for (std::string& argument : argv) pointers.push_back(argument.data());
  pointers.push_back(nullptr);

  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ);
  if (error != 0) {
    return Status::IoError(std::string(program) + ": cannot start " + argv[0] + ": " + std::strerror(error));
  }
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return Status::IoError(std::string(program) + ": cannot wait for the program: " + std::strerror(errno));
    }
  }
  if (exitCode != nullptr) {
    *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
  }
  return Status::Ok();
}

}  // namespace kolvenar
