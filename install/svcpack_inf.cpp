// SVCPACK.INF, which tells setup which hotfix packages to run and which catalogs
// to install, and the DOSNET.INF entry that makes setup copy the SVCPACK folder.
#include "install/svcpack_inf.h"

#include <fstream>
#include <sstream>
#include <system_error>

#include "install/hotfixes.h"
#include "install/names.h"
#include "install/profile.h"
#include "install/text_encoding.h"

namespace kolvenar {
namespace fs = std::filesystem;
namespace {

constexpr std::string_view kDosnetMarkerLine = "svcpack=$KOLVENAR$";
constexpr std::string_view kDosnetLine = "svcpack";

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

}  // namespace

Status WriteSvcpackInfHeader(const fs::path& svcpackInf, std::string_view build) {
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

Status AppendToFile(const fs::path& file, std::string_view lines) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return Status::IoError(file.string() + ": cannot be opened");
  std::ofstream out(file, std::ios::binary | std::ios::app);
  if (!out) return Status::IoError(file.string() + ": cannot be opened");
  out.write(lines.data(), static_cast<std::streamsize>(lines.size()));
  out.close();
  if (!out) return Status::IoError(file.string() + ": cannot be written");
  return Status::Ok();
}

namespace {

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

}  // namespace

// DOSNET.INF [OptionalSrcDirs] gains the line "svcpack" alone: the profile writer
// writes the key with a marker value, which is then cut off in the file. Every
// other byte of the file stays.
Status RegisterSvcpackFolder(const fs::path& dosnetPath, Problems& problems) {
  const fs::path dosnet = ResolvePathNoCase(dosnetPath);
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

}  // namespace kolvenar
