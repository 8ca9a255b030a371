#include "boot/cd_image.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>

#include "boot/identical_files.h"
#include "boot/iso_writer.h"
#include "boot/mastering_options.h"
#include "boot/mastering_tree.h"
#include "install/command_line.h"

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

// A path between double quotes, read back whole by the command-line splitting:
// backslashes that end the path are doubled so that they do not escape the quote.
std::string Quoted(const std::string& text) {
  size_t trailing = 0;
  while (trailing < text.size() && text[text.size() - 1 - trailing] == '\\') ++trailing;
  return "\"" + text + std::string(trailing, '\\') + "\"";
}

constexpr uint64_t kMaxBootImageSize = 64ull << 20;

Status ReadBootImage(const fs::path& path, std::string* bytes) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return Status::NotFound("boot file " + path.string() + ": no such file");
  const uint64_t size = fs::file_size(path, ec);
  if (ec) return Status::IoError("boot file " + path.string() + ": cannot be read (" + ec.message() + ")");
  if (size == 0) return Status::InvalidArgument("boot file " + path.string() + ": empty");
  if (size > kMaxBootImageSize) return Status::InvalidArgument("boot file " + path.string() + ": too large");
  std::ifstream in(path, std::ios::binary);
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return Status::IoError("boot file " + path.string() + ": cannot be read");
  if (bytes->size() != size) return Status::IoError("boot file " + path.string() + ": cannot be read");
  return Status::Ok();
}

bool LiesInside(const fs::path& path, const fs::path& folder) {
  std::error_code ec;
  const fs::path p = fs::weakly_canonical(fs::absolute(path, ec), ec);
  const fs::path f = fs::weakly_canonical(fs::absolute(folder, ec), ec);
  auto [fEnd, pIt] = std::mismatch(f.begin(), f.end(), p.begin(), p.end());
  return fEnd == f.end();
}

// Adds the scanned tree to the writer; files with the same bytes share one content.
Status AddTree(const std::vector<MasteringEntry>& entries, bool shareIdentical, IsoWriter& writer) {
  std::vector<FileToCompare> files;
  std::vector<size_t> fileOf(entries.size(), 0);
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].folder) continue;
    fileOf[i] = files.size();
    files.push_back({entries[i].source, entries[i].size});
  }
  std::vector<size_t> firstCopy(files.size());
  if (shareIdentical) {
    if (Status s = FindIdenticalFiles(files, &firstCopy); !s.ok()) return s;
  } else {
    for (size_t i = 0; i < firstCopy.size(); ++i) firstCopy[i] = i;
  }

  std::vector<IsoWriter::FolderId> folderOf(entries.size(), IsoWriter::kRootFolder);
  std::vector<IsoWriter::ContentId> contentOf(files.size(), 0);
  for (size_t i = 0; i < entries.size(); ++i) {
    const MasteringEntry& entry = entries[i];
    const IsoWriter::FolderId parent =
        entry.parent == MasteringEntry::kRoot ? IsoWriter::kRootFolder : folderOf[entry.parent];
    Status s;
    if (entry.folder) {
      s = writer.AddFolder(parent, entry.name, entry.mtime, &folderOf[i]);
    } else {
      const size_t file = fileOf[i];
      if (firstCopy[file] == file) contentOf[file] = writer.AddContent(entry.source, entry.size);
      s = writer.AddFile(parent, entry.name, contentOf[firstCopy[file]], entry.mtime);
    }
    if (!s.ok()) return Status::InvalidArgument(entry.source.string() + ": cannot be added (" + s.message() + ")");
  }
  return Status::Ok();
}

}  // namespace

std::string MakeMasteringCommandLine(const std::string& volumeLabel, const fs::path& bootSectorPath,
                                     const fs::path& root, const fs::path& isoPath) {
  return "-L" + volumeLabel + " -YD -N -H -X -OCI -M " + Quoted("-B" + bootSectorPath.string()) + " " +
         Quoted(root.string()) + " " + Quoted(isoPath.string());
}

Status MasterCdImage(const fs::path& bootSectorPath, const std::string& volumeLabel, const fs::path& isoPath,
                     const fs::path& root, const ImageProgressFn& progress) {
  for (const fs::path* path : {&bootSectorPath, &root, &isoPath}) {
    if (path->string().find('"') != std::string::npos) {
      return Status::InvalidArgument(path->string() + ": a path with a double quote cannot be passed on");
    }
  }
  return RunMasteringCommand(
      SplitWindowsCommandLine(MakeMasteringCommandLine(volumeLabel, bootSectorPath, root, isoPath)), progress);
}

Status RunMasteringCommand(const std::vector<std::string>& arguments, const ImageProgressFn& progress) {
  MasteringOptions options;
  if (Status s = ParseMasteringOptions(arguments, &options); !s.ok()) return s;
  std::string bootImage;
  if (options.bootImage) {
    if (Status s = ReadBootImage(*options.bootImage, &bootImage); !s.ok()) return s;
  }
  std::error_code ec;
  if (!fs::is_directory(options.root, ec)) return Status::NotFound(options.root.string() + ": no such folder");
  if (LiesInside(options.image, options.root)) {
    return Status::InvalidArgument(options.image.string() + ": the image file lies inside the folder " +
                                   options.root.string() + " that it is made of");
  }

  std::vector<MasteringEntry> entries;
  const MasteringTreeRules rules{options.includeHidden, options.longNames};
  if (Status s = ScanMasteringTree(options.root, rules, &entries); !s.ok()) return s;

  std::unique_ptr<IsoWriter> writer;
  if (Status s = IsoWriter::Create(options.volumeLabel, &writer); !s.ok()) return s;
  if (options.bootImage) {
    if (Status s = writer->SetBootImage(std::move(bootImage)); !s.ok()) return s;
  }
  if (Status s = AddTree(entries, options.shareIdenticalFiles, *writer); !s.ok()) return s;
  if (!options.noSizeLimit) writer->SetSizeLimit(kCdCapacityBytes);
  return writer->Write(options.image, progress);
}

}  // namespace kolvenar
