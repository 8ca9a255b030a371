// Hotfix integration: the packages and their catalogs go into I386\SVCPACK under
// their KB names, SVCPACK.INF tells setup to run them, every installation file for
// which a hotfix carries a newer version becomes a cabinet holding that version,
// and DOSNET.INF gains the svcpack folder.
#include "install/hotfixes.h"

#include <system_error>

#include "install/cabinet/cabinet.h"
#include "install/file_utils.h"
#include "install/names.h"
#include "install/profile.h"
#include "install/svcpack_inf.h"
#include "project/project_state.h"

namespace kolvenar {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kHotfixOptions = "/Q /N /Z";

// Copies `source` to `folder`/`name` unless a file of that name (in any case) is
// there already. False, with the reason in `why`, when nothing was copied.
bool CopyNew(const fs::path& source, const fs::path& folder, const std::string& name, std::string& why) {
  if (FindEntryNoCase(folder, name)) {
    why = name + " is in " + folder.string() + " already";
    return false;
  }
  std::error_code ec;
  const fs::path target = folder / name;
  if (!fs::copy_file(source, target, fs::copy_options::none, ec)) {
    why = "cannot be copied to " + target.string() + " (" + ec.message() + ")";
    return false;
  }
  ClearFileAttributes(target);  // our copy: writable, so that the temporary folder can go
  return true;
}

bool EndsWithCatalog(const std::string& name) {
  return name.size() >= 4 && UpperCaseName(name.substr(name.size() - 4)) == ".CAT";
}

}  // namespace

Status IntegrateHotfixes(const fs::path& hotfixDir, const fs::path& i386Dir, const std::string& build,
                         Problems& problems, const MessageFn& showMessage) {
  if (hotfixDir.empty()) return Status::Ok();
  if (g_tempDir.empty()) return Status::InvalidArgument("hotfix integration: no temporary folder is set");
  std::error_code ec;
  const fs::path temp = fs::absolute(ResolvePathNoCase(g_tempDir), ec).lexically_normal();
  const fs::path kbDir = ResolvePathNoCase(temp / "KB");
  DeleteTree(kbDir);
  fs::create_directory(kbDir, ec);
  const fs::path i386 = fs::absolute(ResolvePathNoCase(i386Dir), ec).lexically_normal();
  const fs::path svcpackDir = ResolvePathNoCase(i386 / "SVCPACK");
  fs::create_directory(svcpackDir, ec);
  const fs::path svcpackInf = ResolvePathNoCase(i386 / "SVCPACK.INF");
  fs::remove(svcpackInf, ec);

  if (Status s = WriteSvcpackInfHeader(svcpackInf, build); !s.ok()) return s;

  // The packages, each under its KB name; the first of a KB name wins.
  std::vector<fs::path> packages;
  if (!fs::is_directory(ResolvePathNoCase(hotfixDir), ec)) {
    problems.push_back(hotfixDir.string() + ": hotfix folder not found; no hotfix integrated");
  }
  FindFiles(hotfixDir, "*.EXE", false, packages);
  std::string lines = "[SetupHotfixesToRun]";
  lines += kCrLf;
  for (const fs::path& package : packages) {
    const std::string kb = KbNameFromPath(package.string());
    if (kb.empty()) {
      problems.push_back(package.string() + ": no KB number (six digits) in its path; not integrated");
      continue;
    }
    std::string why;
    if (!CopyNew(package, svcpackDir, kb + ".EXE", why)) {
      problems.push_back(package.string() + ": not integrated: " + why);
      continue;
    }
    const fs::path extracted = kbDir / kb;
    fs::create_directory(extracted, ec);
    if (Status s = ExpandCabinet(package, extracted, temp, true); !s.ok()) {
      problems.push_back(package.string() + ": nothing replaced from it, its files could not be extracted (" +
                         s.message() + ")");
    }
    lines += kb + ".EXE " + std::string(kHotfixOptions);
    lines += kCrLf;
  }
  lines += "QCHAIN.EXE";
  lines += kCrLf;
  lines += "[ProductCatalogsToInstall]";
  lines += kCrLf;

  // The catalogs, named by the package they came from: the KB name is taken from
  // the path inside the work folder, which begins with the package's folder, so
  // that digits in the temporary folder's own path cannot rename them.
  std::vector<fs::path> hotfixFiles;
  FindFiles(kbDir, "*.*", true, hotfixFiles);
  for (const fs::path& file : hotfixFiles) {
    if (!EndsWithCatalog(file.filename().string())) continue;
    const std::string kb = KbNameFromPath(file.lexically_relative(kbDir).string());
    if (kb.empty()) continue;
    std::string why;
    if (!CopyNew(file, svcpackDir, kb + ".CAT", why)) {
      problems.push_back(file.string() + ": catalog not installed: " + why);
      continue;
    }
    lines += kb + ".CAT";
    lines += kCrLf;
  }
  if (Status s = AppendToFile(svcpackInf, lines); !s.ok()) return s;

  // Replacement of installation files by newer hotfix files.
  std::vector<FILE_VERSION_RECORD> hotfixRecords, installRecords;
  if (Status s = CollectFileRecords(hotfixFiles, hotfixRecords, problems); !s.ok()) return s;
  if (hotfixRecords.empty()) return Status::Ok();
  std::vector<fs::path> installFiles;
  FindFiles(i386, "*.*", true, installFiles);
  if (Status s = CollectFileRecords(installFiles, installRecords, problems); !s.ok()) return s;
  for (const FileReplacement& r : PlanReplacements(hotfixRecords, installRecords)) {
    if (Status s = CompressToCabinet(r.source, r.target, r.storedName, showMessage); !s.ok()) {
      problems.push_back(r.target.string() + ": not replaced by " + r.source.string() + " (" + s.message() + ")");
    }
  }

  if (Status s = RegisterSvcpackFolder(ResolvePathNoCase(i386 / "DOSNET.INF"), problems); !s.ok()) return s;

  // QCHAIN.EXE comes from the current folder; SVCPACK.INF names it in any case.
  const fs::path cwd = fs::current_path(ec);
  const auto qchain = ec ? std::nullopt : FindEntryNoCase(cwd, "QCHAIN.EXE");
  if (!qchain || !fs::is_regular_file(*qchain, ec)) {
    problems.push_back("QCHAIN.EXE is not in the current folder (" + cwd.string() +
                       "); SVCPACK.INF names it but it was not copied");
  } else if (!FindEntryNoCase(svcpackDir, "QCHAIN.EXE")) {
    std::string why;
    if (!CopyNew(*qchain, svcpackDir, "QCHAIN.EXE", why)) problems.push_back("QCHAIN.EXE: " + why);
  }
  return Status::Ok();
}

}  // namespace kolvenar
