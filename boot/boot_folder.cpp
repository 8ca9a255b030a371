#include "boot/boot_folder.h"

#include <string>
#include <system_error>

#include "boot/inf_reader.h"
#include "install/file_utils.h"
#include "install/names.h"
#include "install/text_encoding.h"

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

// The name a file has in an I386 folder when it is stored compressed: the last
// character replaced by "_" (NTLDR -> NTLD_, setupldr.bin -> setupldr.bi_).
std::string CompressedName(std::string name) {
  if (!name.empty()) name.back() = '_';
  return name;
}

// Copies one file byte for byte over whatever file is at the target, keeping its
// permissions and modification time. Creates the target's folders.
Status CopyOneFile(const fs::path& source, const fs::path& target) {
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  if (ec) return Status::IoError(target.parent_path().string() + ": cannot create folder (" + ec.message() + ")");
  ClearFileAttributes(target);  // an earlier read-only copy is replaced as well
  fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
  if (ec) return Status::IoError(target.string() + ": cannot copy " + source.string() + " (" + ec.message() + ")");
  const fs::file_time_type time = fs::last_write_time(source, ec);
  if (!ec) fs::last_write_time(target, time, ec);
  return Status::Ok();
}

}  // namespace

Problems PopulateBootFolder(const fs::path& infPath, const fs::path& installDir, const fs::path& bootDir) {
  Problems problems;
  InfFile inf;
  if (Status status = inf.Open(infPath); !status.ok()) {
    problems.push_back("cannot open as INF: " + status.message());
    return problems;
  }
  const fs::path i386 = ResolvePathNoCase(installDir / "I386");

  // [FloppyFiles.0], [FloppyFiles.1], ... up to the first number without lines.
  int number = 0;
  for (;; ++number) {
    const std::string section = "FloppyFiles." + IntToString(number);
    const int count = inf.LineCount(section);
    if (count <= 0) break;
    for (int index = 0; index < count; ++index) {
      const InfLine line = *inf.LineByIndex(section, index);
      const std::string source = inf.StringField(line, 2).value_or("");
      if (source.empty()) continue;  // no file named
      std::string target = inf.StringField(line, 3).value_or("");
      if (target.empty()) target = source;

      const std::string where = "[" + section + "] line " + IntToString(index + 1);
      if (!IsContainedWindowsName(source) || !IsContainedWindowsName(target)) {
        problems.push_back(infPath.string() + " " + where + ": refused file name outside its folder (" + source +
                           ", " + target + ")");
        continue;
      }
      std::string from = source;
      std::string to = target;
      fs::path sourcePath = ResolvePathNoCase(AppendWindowsName(i386, from));
      if (!FileExists(sourcePath)) {
        from = CompressedName(source);
        to = CompressedName(target);
        sourcePath = ResolvePathNoCase(AppendWindowsName(i386, from));
        if (!FileExists(sourcePath)) {
          problems.push_back(i386.string() + ": boot file " + source + " not found (nor " + from + ")");
          continue;
        }
      }
      if (Status status = CopyOneFile(sourcePath, ResolvePathNoCase(AppendWindowsName(bootDir, to)));
          !status.ok()) {
        problems.push_back(status.message());
      }
    }
  }
  if (number == 0) {
    problems.push_back(infPath.string() + ": no boot floppy files (section [FloppyFiles.0] is missing or empty)");
  }
  return problems;
}

}  // namespace kolvenar
