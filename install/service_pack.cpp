// Service pack slipstreaming: the package is expanded with its folders into the
// work folder SP of the temporary folder, and its own UPDATE\UPDATE.EXE is run in
// slipstream mode against the copied installation tree.
#include "install/service_pack.h"

#include <system_error>

#include "install/cabinet/cabinet.h"
#include "install/file_utils.h"
#include "install/names.h"
#include "install/process.h"
#include "project/project_state.h"

namespace kolvenar {
namespace fs = std::filesystem;

Problems ApplyServicePack(const fs::path& servicePack, const fs::path& installDir) {
  Problems problems;
  if (servicePack.empty()) return problems;
  if (g_tempDir.empty()) {
    problems.push_back("service pack: no temporary folder is set; not applied");
    return problems;
  }
  std::error_code ec;
  const fs::path workDir = ResolvePathNoCase(fs::path(g_tempDir) / "SP");
  DeleteTree(workDir);
  fs::create_directory(workDir, ec);

  if (Status s = ExpandCabinet(servicePack, workDir, g_tempDir, true); !s.ok()) {
    problems.push_back(servicePack.string() + ": service pack not fully unpacked (" + s.message() + ")");
  }
  const fs::path updater = ResolvePathNoCase(workDir / "UPDATE" / "UPDATE.EXE");
  if (!FileExists(updater)) {
    problems.push_back(servicePack.string() + ": holds no UPDATE\\UPDATE.EXE; service pack not applied");
    return problems;
  }
  const std::string arguments = "-S:\"" + installDir.string() + "\" -Q";
  int exitCode = 0;
  if (Status s = RunAndWait(updater.string(), arguments, &exitCode); !s.ok()) {
    problems.push_back("UPDATE.EXE of " + servicePack.string() + " could not be run: " + s.message());
  } else if (exitCode != 0) {
    problems.push_back("UPDATE.EXE of " + servicePack.string() + " ended with exit status " +
                       std::to_string(exitCode));
  }
  return problems;
}

}  // namespace kolvenar
