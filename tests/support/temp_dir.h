// Test helpers: a fresh temporary folder per test, and small file helpers.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kolvenar::test {

// A new empty folder under the system's temporary folder, deleted with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path operator/(std::string_view name) const { return m_path / std::string(name); }

 private:
  std::filesystem::path m_path;
};

// Writes `bytes` to `path`, creating the folders above it.
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

// Runs a shell command, returns its exit status; its standard output goes to `output`.
int RunCommand(const std::string& command, std::string* output = nullptr);

// The shared test files (cabinets and others).
std::filesystem::path TestDataPath(std::string_view relative);

// True when a program is found on PATH.
bool HaveProgram(std::string_view name);

}  // namespace kolvenar::test
