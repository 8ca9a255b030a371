#include "install/process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_dir.h"

namespace kolvenar {
namespace {
namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;
using test::WriteFile;

void WriteProgram(const fs::path& path, std::string_view script, mode_t mode = 0755) {
  WriteFile(path, script);
  ASSERT_EQ(::chmod(path.c_str(), mode), 0);
}

// A script that writes each of its arguments on a line of `out`.
std::string EchoArgs(const fs::path& out) {
  return "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" + out.string() + "'\nexit 3\n";
}

// Sets PATH and the current folder for one test, and puts them back.
class Environment {
 public:
  Environment(const std::string& path, const fs::path& folder) : m_folder(fs::current_path()) {
    if (const char* old = std::getenv("PATH")) m_path = old;
    ::setenv("PATH", path.c_str(), 1);
    fs::current_path(folder);
  }
  ~Environment() {
    ::setenv("PATH", m_path.c_str(), 1);
    fs::current_path(m_folder);
  }

 private:
  std::string m_path;
  fs::path m_folder;
};

TEST(ProcessTest, RunsWithWindowsArgumentSplittingAndWaits) {
  TempDir dir;
  WriteProgram(dir / "tool", EchoArgs(dir / "args.txt"));
  int exitCode = -1;
  const Status status =
      RunAndWait((dir / "tool").string(), "-q \"C:\\Program Files\\x\" a\\\\\"b c\" \"\" last", &exitCode);
  ASSERT_TRUE(status.ok()) << status.message();
  EXPECT_EQ(exitCode, 3);
  // The file is complete when the call returns: the program has ended.
  EXPECT_EQ(ReadFile(dir / "args.txt"), "-q\nC:\\Program Files\\x\na\\b c\n\nlast\n");
}

TEST(ProcessTest, SearchOrderIsOwnFolderThenCurrentFolderThenPath) {
  TempDir dir;
  WriteProgram(dir / "cwd/prog", "#!/bin/sh\n");
  WriteProgram(dir / "bin/prog", "#!/bin/sh\n");
  WriteProgram(dir / "bin/onlyonpath", "#!/bin/sh\n");
  WriteProgram(dir / "bin/SETUP.EXE", "MZ\x90", 0644);  // a Windows program need not be executable
  WriteFile(dir / "bin/plain", "not runnable");
  const fs::path self = fs::read_symlink("/proc/self/exe");
  const std::string selfName = self.filename().string();
  Environment env((dir / "bin").string() + ":/usr/bin:/bin", dir / "cwd");

  struct Case {
    std::string program;
    fs::path found;
  } cases[] = {
      {"prog", "./prog"},                     // the current folder before PATH
      {"PROG", "./prog"},                     // without regard to case
      {"onlyonpath", dir / "bin/onlyonpath"},
      {"setup", dir / "bin/SETUP.EXE"},       // ".exe" tried, as Windows does
      {"plain", ""},                          // neither executable nor a Windows program
      {"no-such-program", ""},
      {selfName, self},                      // the running program's own folder first
  };
  for (const Case& c : cases) EXPECT_EQ(FindProgram(c.program), c.found) << c.program;
}

TEST(ProcessTest, WindowsProgramRunsThroughWineOnPath) {
  TempDir dir;
  WriteProgram(dir / "work/UPDATE.EXE", "MZ\x90\0\3", 0644);
  {
    Environment env("/usr/bin:/bin", dir.path());
    const Status status = RunAndWait((dir / "work/update.exe").string(), "-q");
    EXPECT_EQ(status.kind(), Status::Kind::kNotFound);
    EXPECT_NE(status.message().find("wine"), std::string::npos) << status.message();
  }
  WriteProgram(dir / "bin/wine", EchoArgs(dir / "args.txt"));
  Environment env((dir / "bin").string() + ":/usr/bin:/bin", dir.path());
  int exitCode = -1;
  ASSERT_TRUE(RunAndWait((dir / "work/update.exe").string(), "-q -u \"/d:x y\"", &exitCode).ok());
  EXPECT_EQ(exitCode, 3);
  EXPECT_EQ(ReadFile(dir / "args.txt"), (dir / "work/UPDATE.EXE").string() + "\n-q\n-u\n/d:x y\n");
}

TEST(ProcessTest, ProgramThatCannotStartIsReported) {
  TempDir dir;
  WriteProgram(dir / "garbage", "\x7f" "ELF not really");
  struct Case {
    std::string program;
    Status::Kind kind;
  } cases[] = {
      {(dir / "missing").string(), Status::Kind::kNotFound},
      {"no-such-program-anywhere", Status::Kind::kNotFound},
      {"", Status::Kind::kNotFound},
      {(dir / "garbage").string(), Status::Kind::kIoError},
  };
  for (const Case& c : cases) {
    int exitCode = 99;
    const Status status = RunAndWait(c.program, "x", &exitCode);
    EXPECT_EQ(status.kind(), c.kind) << c.program << ": " << status.message();
    EXPECT_FALSE(status.message().empty());
    EXPECT_EQ(exitCode, 99) << "no exit status for a program that did not run";
  }
}

TEST(ProcessTest, SignalEndsAreSeen) {
  TempDir dir;
  WriteProgram(dir / "killer", "#!/bin/sh\nkill -9 $$\n");
  int exitCode = 0;
  ASSERT_TRUE(RunAndWait((dir / "killer").string(), "", &exitCode).ok());
  EXPECT_EQ(exitCode, 128 + 9);
}

}  // namespace
}  // namespace kolvenar
