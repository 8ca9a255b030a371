// Hotfix integration: the packages and their catalogs go into I386\SVCPACK under
// their KB names, SVCPACK.INF tells setup to run them, every installation file for
// which a hotfix carries a newer version becomes a cabinet holding that version,
// and DOSNET.INF gains the svcpack folder.
#include "install/hotfixes.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "install/cabinet/cabinet.h"
#include "install/file_utils.h"
#include "install/names.h"
#include "install/profile.h"
#include "install/text_encoding.h"
#include "project/project_state.h"

namespace kolvenar {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kHotfixOptions = "/Q /N /Z";
constexpr std::string_view kDosnetMarkerLine = "svcpack=$KOLVENAR$";
constexpr std::string_view kDosnetLine = "svcpack";

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

Status ReadWholeFile(const fs::path& file, std::string& bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return Status::IoError(file.string() + ": cannot be opened");
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return Status::IoError(file.string() + ": cannot be read");
  bytes = content.str();
  return Status::Ok();
}

size_t ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  size_t count = 0;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
    ++count;
  }
  return count;
}

// Lines 1 to 7 of SVCPACK.INF, through the profile writer, into a new file.
Status WriteSvcpackHeader(const fs::path& svcpackInf, const std::string& build) {
  const BuildParts parts = SplitBuild(build);
  const struct {
    std::string_view section, key;
    std::string value;
  } lines[] = {
      {"Version", "Signature", "\"$Windows NT$\""},
      {"Version", "MajorVersion", parts.major},
      {"Version", "MinorVersion", parts.minor},
      {"Version", "BuildNumber", parts.buildNumber},
      {"SetupData", "CatalogSubDir", "\"I386\\SVCPACK\""},
  };
  for (const auto& line : lines) {
    const Status s = WriteProfileString(line.section, line.key, svcpackInf, line.value);
    if (!s.ok()) return Status::IoError(svcpackInf.string() + ": cannot be written (" + s.message() + ")");
  }
  return Status::Ok();
}

// Appends the lines after the profile part; the file must exist.
Status AppendLines(const fs::path& file, const std::string& lines) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return Status::IoError(file.string() + ": cannot be opened");
  std::ofstream out(file, std::ios::binary | std::ios::app);
  if (!out) return Status::IoError(file.string() + ": cannot be opened");
  out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
  out.close();
  if (!out) return Status::IoError(file.string() + ": cannot be written");
  return Status::Ok();
}

// True when [OptionalSrcDirs] of the DOSNET.INF text holds the line "svcpack"
// alone already (an earlier integration into the same tree wrote it).
bool HasSvcpackLine(std::string_view bytes) {
  const std::string text = DecodeTextFile(bytes);
  bool inSection = false;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) continue;
    line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
    if (line.front() == '[') {
      const size_t close = line.find(']');
      inSection = close != std::string_view::npos && NamesEqual(line.substr(1, close - 1), "OptionalSrcDirs");
    } else if (inSection && NamesEqual(line, kDosnetLine)) {
      return true;
    }
  }
  return false;
}

// DOSNET.INF [OptionalSrcDirs] gains the line "svcpack" alone: the profile writer
// writes the key with a marker value, which is then cut off in the file. Every
// other byte of the file stays.
Status RegisterSvcpackFolder(const fs::path& dosnet, Problems& problems) {
  std::string bytes;
  std::error_code ec;
  if (fs::exists(dosnet, ec)) {
    if (Status s = ReadWholeFile(dosnet, bytes); !s.ok()) return s;
    if (HasSvcpackLine(bytes)) return Status::Ok();
  }
  const Status written = WriteProfileString("OptionalSrcDirs", "svcpack", dosnet, "$KOLVENAR$");
  if (!written.ok()) return Status::IoError(dosnet.string() + ": cannot be written (" + written.message() + ")");
  if (Status s = ReadWholeFile(dosnet, bytes); !s.ok()) return s;
  size_t replaced;
  if (DetectTextEncoding(bytes) == TextEncoding::kUtf16LeBom) {
    replaced = ReplaceAll(bytes, Utf8ToUtf16Le(kDosnetMarkerLine), Utf8ToUtf16Le(kDosnetLine));
  } else {
    replaced = ReplaceAll(bytes, kDosnetMarkerLine, kDosnetLine);
  }
  if (replaced == 0) {
    problems.push_back(dosnet.string() + ": the svcpack entry was not written as expected; left as it is");
    return Status::Ok();
  }
  // The new text goes to a file beside it first, so that a failed write loses nothing.
  const fs::path temporary = dosnet.string() + ".kolvenar-new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
      std::error_code ec;
      fs::remove(temporary, ec);
      return Status::IoError(dosnet.string() + ": cannot be written");
    }
  }
  fs::permissions(temporary, fs::status(dosnet, ec).permissions(), ec);
  fs::rename(temporary, dosnet, ec);
  if (ec) {
    fs::remove(temporary, ec);
    return Status::IoError(dosnet.string() + ": cannot be replaced (" + ec.message() + ")");
  }
  return Status::Ok();
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

  if (Status s = WriteSvcpackHeader(svcpackInf, build); !s.ok()) return s;

  // The packages, each under its KB name; the first of a KB name wins.
  std::vector<fs::path> packages;
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
  if (Status s = AppendLines(svcpackInf, lines); !s.ok()) return s;

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
