#include "boot/iso_writer.h"

#include <fcntl.h>
// The library declares its image stream (struct burn_source) only on request.
#define LIBISOFS_WITHOUT_LIBBURN 1
#include <libisofs/libisofs.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>
#include <vector>

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

// The library keeps one message queue for the process: one image at a time.
std::mutex g_libraryMutex;

int LibraryCode(unsigned int code) { return static_cast<int>(code); }

std::string ErrnoText(int error) { return std::strerror(error); }

std::string LibraryText(int code) {
  const char* text = iso_error_to_msg(code);
  return text != nullptr ? text : "error " + std::to_string(code);
}

Status InitLibrary() {
  static const int result = [] {
    const int r = iso_init();
    if (r >= 0) {
      // Messages are collected (for the reason of a failure), never printed.
      iso_set_msgs_severities(const_cast<char*>("SORRY"), const_cast<char*>("NEVER"),
                              const_cast<char*>("kolvenar"));
    }
    return r;
  }();
  if (result < 0) return Status::IoError("the ISO 9660 library could not start: " + LibraryText(result));
  return Status::Ok();
}

// The first queued library message of severity SORRY or worse; the queue is emptied.
std::string TakeLibraryMessage() {
  std::string first;
  char text[ISO_MSGS_MESSAGE_LEN];
  char severity[80];
  int code = 0;
  int imageId = 0;
  while (iso_obtain_msgs(const_cast<char*>("ALL"), &code, &imageId, text, severity) == 1) {
    if (first.empty()) first = text;
  }
  return first;
}

// The first failure met while the library's writing thread read the files.
class ReadFailures {
 public:
  void Record(std::string message) {
    std::lock_guard lock(m_mutex);
    if (m_first.empty()) m_first = std::move(message);
  }
  std::string First() {
    std::lock_guard lock(m_mutex);
    return m_first;
  }

 private:
  std::mutex m_mutex;
  std::string m_first;
};

// Layout copy of the library's struct iso_stream, whose member named "class"
// cannot be declared in C++. The library frees it with free().
struct StreamLayout {
  IsoStreamIface* iface;
  int refcount;
  void* data;
};

struct FileStreamData {
  fs::path source;
  uint64_t size = 0;
  ino_t id = 0;
  std::shared_ptr<ReadFailures> failures;
  int fd = -1;
  uint64_t done = 0;
};

constexpr unsigned int kFileStreamFsId = 0x4B4C5646;  // distinct from the library's own sources

FileStreamData* DataOf(IsoStream* stream) {
  return static_cast<FileStreamData*>(reinterpret_cast<StreamLayout*>(stream)->data);
}

int FileStreamClose(IsoStream* stream) {
  FileStreamData* d = DataOf(stream);
  if (d->fd >= 0) ::close(d->fd);
  d->fd = -1;
  d->done = 0;
  return ISO_SUCCESS;
}

int FileStreamOpen(IsoStream* stream) {
  FileStreamData* d = DataOf(stream);
  FileStreamClose(stream);
  d->fd = ::open(d->source.c_str(), O_RDONLY | O_CLOEXEC);
  if (d->fd < 0) {
    d->failures->Record(d->source.string() + ": cannot be read (" + ErrnoText(errno) + ")");
    return LibraryCode(ISO_FILE_ERROR);
  }
  struct stat info {};
  if (::fstat(d->fd, &info) != 0 || !S_ISREG(info.st_mode) || static_cast<uint64_t>(info.st_size) != d->size) {
    d->failures->Record(d->source.string() + ": changed while the image was written (was " +
                        std::to_string(d->size) + " bytes)");
    FileStreamClose(stream);
    return LibraryCode(ISO_FILE_ERROR);
  }
  ::posix_fadvise(d->fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return ISO_SUCCESS;
}

int FileStreamRead(IsoStream* stream, void* buffer, size_t count) {
  FileStreamData* d = DataOf(stream);
  if (d->fd < 0) return LibraryCode(ISO_FILE_NOT_OPENED);
  const size_t want = static_cast<size_t>(std::min<uint64_t>(count, d->size - d->done));
  size_t got = 0;
  while (got < want) {
    const ssize_t n = ::read(d->fd, static_cast<char*>(buffer) + got, want - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      d->failures->Record(d->source.string() + ": cannot be read (" + ErrnoText(errno) + ")");
      return LibraryCode(ISO_FILE_READ_ERROR);
    }
    if (n == 0) {
      d->failures->Record(d->source.string() + ": became shorter while the image was written");
      return LibraryCode(ISO_FILE_READ_ERROR);
    }
    got += static_cast<size_t>(n);
  }
  d->done += got;
  return static_cast<int>(got);
}

off_t FileStreamSize(IsoStream* stream) { return static_cast<off_t>(DataOf(stream)->size); }
int FileStreamIsRepeatable(IsoStream*) { return 1; }
int FileStreamUpdateSize(IsoStream*) { return ISO_SUCCESS; }

void FileStreamId(IsoStream* stream, unsigned int* fsId, dev_t* devId, ino_t* inoId) {
  *fsId = kFileStreamFsId;
  *devId = 0;
  *inoId = DataOf(stream)->id;
}

void FileStreamFree(IsoStream* stream) {
  FileStreamClose(stream);
  delete DataOf(stream);
}

IsoStreamIface g_fileStreamIface = {
    1, {'u', 's', 'e', 'r'}, FileStreamOpen, FileStreamClose, FileStreamSize, FileStreamRead,
    FileStreamIsRepeatable, FileStreamId, FileStreamFree, FileStreamUpdateSize, nullptr, nullptr, nullptr,
};

constexpr int kHiddenEverywhere = LIBISO_HIDE_ON_RR | LIBISO_HIDE_ON_JOLIET | LIBISO_HIDE_ON_1999 |
                                  LIBISO_HIDE_ON_HFSPLUS | LIBISO_HIDE_ON_FAT;

void SetTimes(IsoNode* node, std::time_t mtime) {
  iso_node_set_mtime(node, mtime);
  iso_node_set_atime(node, mtime);
  iso_node_set_ctime(node, mtime);
}

// The options that record names exactly as given and put no limit on depth.
Status MakeWriteOptions(IsoWriteOpts** options) {
  if (int r = iso_write_opts_new(options, 0); r < 0) {
    return Status::IoError("cannot prepare the image: " + LibraryText(r));
  }
  IsoWriteOpts* o = *options;
  iso_write_opts_set_iso_level(o, 2);
  iso_write_opts_set_rockridge(o, 0);
  iso_write_opts_set_joliet(o, 0);
  iso_write_opts_set_omit_version_numbers(o, 1);
  iso_write_opts_set_no_force_dots(o, 1);
  iso_write_opts_set_allow_dir_id_ext(o, 1);
  iso_write_opts_set_allow_deep_paths(o, 1);
  iso_write_opts_set_allow_longer_paths(o, 1);
  iso_write_opts_set_max_37_char_filenames(o, 1);
  iso_write_opts_set_untranslated_name_len(o, static_cast<int>(IsoWriter::kMaxNameLength));
  iso_write_opts_set_dir_rec_mtime(o, 1);
  return Status::Ok();
}

}  // namespace

struct IsoWriter::State {
  IsoImage* image = nullptr;
  std::vector<IsoDir*> folders;
  std::vector<IsoStream*> contents;  // one reference each
  std::shared_ptr<ReadFailures> failures = std::make_shared<ReadFailures>();
  uint64_t sizeLimit = 0;
};

IsoWriter::IsoWriter() : m_state(std::make_unique<State>()) {}

IsoWriter::~IsoWriter() {
  std::lock_guard lock(g_libraryMutex);
  for (IsoStream* stream : m_state->contents) iso_stream_unref(stream);
  if (m_state->image != nullptr) iso_image_unref(m_state->image);
}

Status IsoWriter::Create(const std::string& volumeLabel, std::unique_ptr<IsoWriter>* writer) {
  if (Status s = InitLibrary(); !s.ok()) return s;
  std::unique_ptr<IsoWriter> result(new IsoWriter());
  std::lock_guard lock(g_libraryMutex);
  if (int r = iso_image_new(volumeLabel.c_str(), &result->m_state->image); r < 0) {
    return Status::IoError("cannot prepare the image: " + LibraryText(r));
  }
  iso_image_set_volume_id(result->m_state->image, volumeLabel.c_str());
  result->m_state->folders.push_back(iso_image_get_root(result->m_state->image));
  *writer = std::move(result);
  return Status::Ok();
}

Status IsoWriter::AddFolder(FolderId parent, const std::string& name, std::time_t mtime, FolderId* folder) {
  if (name.size() > kMaxNameLength) {
    return Status::InvalidArgument(name + ": name longer than " + std::to_string(kMaxNameLength) + " characters");
  }
  std::lock_guard lock(g_libraryMutex);
  IsoDir* dir = nullptr;
  if (int r = iso_tree_add_new_dir(m_state->folders.at(parent), name.c_str(), &dir); r < 0) {
    return Status::InvalidArgument(name + ": " + LibraryText(r));
  }
  SetTimes(reinterpret_cast<IsoNode*>(dir), mtime);
  m_state->folders.push_back(dir);
  *folder = m_state->folders.size() - 1;
  return Status::Ok();
}

IsoWriter::ContentId IsoWriter::AddContent(const fs::path& source, uint64_t size) {
  auto* layout = static_cast<StreamLayout*>(std::malloc(sizeof(StreamLayout)));
  if (layout == nullptr) throw std::bad_alloc();
  auto* data = new FileStreamData;
  data->source = source;
  data->size = size;
  data->id = static_cast<ino_t>(m_state->contents.size() + 1);  // content order is the order added
  data->failures = m_state->failures;
  *layout = StreamLayout{&g_fileStreamIface, 1, data};
  m_state->contents.push_back(reinterpret_cast<IsoStream*>(layout));
  return m_state->contents.size() - 1;
}

Status IsoWriter::AddFile(FolderId parent, const std::string& name, ContentId content, std::time_t mtime) {
  if (name.size() > kMaxNameLength) {
    return Status::InvalidArgument(name + ": name longer than " + std::to_string(kMaxNameLength) + " characters");
  }
  std::lock_guard lock(g_libraryMutex);
  IsoStream* stream = m_state->contents.at(content);
  iso_stream_ref(stream);  // the new file takes this reference
  IsoFile* file = nullptr;
  if (int r = iso_tree_add_new_file(m_state->folders.at(parent), name.c_str(), stream, &file); r < 0) {
    iso_stream_unref(stream);
    return Status::InvalidArgument(name + ": " + LibraryText(r));
  }
  SetTimes(reinterpret_cast<IsoNode*>(file), mtime);
  return Status::Ok();
}

Status IsoWriter::SetBootImage(std::string bytes) {
  // Lower-case names, which the tree's upper-case names never equal; both are hidden.
  static constexpr const char* kImageName = "boot image";
  static constexpr const char* kCatalogPath = "/boot catalogue";
  if (bytes.empty()) return Status::InvalidArgument("the boot image is empty");
  std::lock_guard lock(g_libraryMutex);
  auto* buffer = static_cast<unsigned char*>(std::malloc(bytes.size()));
  if (buffer == nullptr) throw std::bad_alloc();
  std::memcpy(buffer, bytes.data(), bytes.size());
  IsoStream* stream = nullptr;
  if (int r = iso_memory_stream_new(buffer, bytes.size(), &stream); r < 0) {
    std::free(buffer);
    return Status::IoError("cannot add the boot image: " + LibraryText(r));
  }
  IsoFile* file = nullptr;
  if (int r = iso_tree_add_new_file(m_state->folders[kRootFolder], kImageName, stream, &file); r < 0) {
    iso_stream_unref(stream);
    return Status::IoError("cannot add the boot image: " + LibraryText(r));
  }
  iso_node_set_hidden(reinterpret_cast<IsoNode*>(file), kHiddenEverywhere | LIBISO_HIDE_BUT_WRITE);
  ElToritoBootImage* boot = nullptr;
  const std::string imagePath = std::string("/") + kImageName;
  if (int r = iso_image_set_boot_image(m_state->image, imagePath.c_str(), ELTORITO_NO_EMUL, kCatalogPath, &boot);
      r < 0) {
    return Status::IoError("cannot add the boot catalogue: " + LibraryText(r));
  }
  el_torito_set_load_seg(boot, 0x07C0);
  el_torito_set_load_size(boot, 4);
  iso_image_set_boot_catalog_hidden(m_state->image, kHiddenEverywhere);
  return Status::Ok();
}

void IsoWriter::SetSizeLimit(uint64_t bytes) { m_state->sizeLimit = bytes; }

namespace {

// The temporary file the image is written to, removed unless committed.
class PartialFile {
 public:
  static Status Open(const fs::path& target, PartialFile* file) {
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (fs::exists(status) && !fs::is_regular_file(status)) {
      return Status::InvalidArgument(target.string() + ": exists and is not a file");
    }
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string name = ".";
    name += target.filename().string();
    name += ".XXXXXX";
    std::string pattern = (folder / name).string();
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return Status::IoError(target.string() + ": cannot be created (" + ErrnoText(errno) + ")");
    ::fchmod(fd, 0644);
    file->m_fd = fd;
    file->m_path = pattern;
    return Status::Ok();
  }
  PartialFile() = default;
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;
  ~PartialFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_path.empty()) ::unlink(m_path.c_str());
  }

  Status Append(const fs::path& target, const unsigned char* bytes, size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(m_fd, bytes, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Status::IoError(target.string() + ": cannot be written (" + ErrnoText(errno) + ")");
      bytes += n;
      size -= static_cast<size_t>(n);
    }
    return Status::Ok();
  }

  Status Commit(const fs::path& target) {
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) return Status::IoError(target.string() + ": cannot be written (" + ErrnoText(errno) + ")");
    if (::rename(m_path.c_str(), target.c_str()) != 0) {
      return Status::IoError(target.string() + ": cannot be replaced (" + ErrnoText(errno) + ")");
    }
    m_path.clear();
    return Status::Ok();
  }

 private:
  int m_fd = -1;
  std::string m_path;
};

// Owns the library's image stream and its writing thread.
class ImageStream {
 public:
  explicit ImageStream(burn_source* source) : m_source(source) {}
  ImageStream(const ImageStream&) = delete;
  ImageStream& operator=(const ImageStream&) = delete;
  ~ImageStream() {
    if (!m_finished) m_source->cancel(m_source);
    m_source->free_data(m_source);  // waits for the writing thread
    std::free(m_source);
  }
  uint64_t Size() { return static_cast<uint64_t>(m_source->get_size(m_source)); }
  int Read(unsigned char* buffer, int size) { return m_source->read_xt(m_source, buffer, size); }
  void Finished() { m_finished = true; }

 private:
  burn_source* m_source;
  bool m_finished = false;
};

}  // namespace

Status IsoWriter::Write(const fs::path& target, const ImageProgressFn& progress) {
  std::unique_lock lock(g_libraryMutex);
  TakeLibraryMessage();
  IsoWriteOpts* options = nullptr;
  if (Status s = MakeWriteOptions(&options); !s.ok()) return s;
  burn_source* source = nullptr;
  const int created = iso_image_create_burn_source(m_state->image, options, &source);
  iso_write_opts_free(options);
  if (created < 0) {
    const std::string detail = TakeLibraryMessage();
    return Status::InvalidArgument(target.string() + ": the image cannot be made (" +
                                   (detail.empty() ? LibraryText(created) : detail) + ")");
  }
  ImageStream image(source);
  const uint64_t total = image.Size();
  if (m_state->sizeLimit != 0 && total > m_state->sizeLimit) {
    return Status::InvalidArgument(target.string() + ": the image would be " + std::to_string(total) +
                                   " bytes, more than a disc holds (" + std::to_string(m_state->sizeLimit) +
                                   " bytes)");
  }
  PartialFile partial;
  if (Status s = PartialFile::Open(target, &partial); !s.ok()) return s;
  lock.unlock();  // the writing thread runs on its own; its failures are recorded apart

  std::vector<unsigned char> buffer(64 * 2048);
  uint64_t written = 0;
  if (progress) progress(0, total);
  while (written < total) {
    // The stream hands out whole requests only: never ask past the image's end.
    const int n = image.Read(buffer.data(), static_cast<int>(std::min<uint64_t>(buffer.size(), total - written)));
    if (std::string failure = m_state->failures->First(); !failure.empty()) return Status::IoError(failure);
    if (n <= 0) break;
    if (Status s = partial.Append(target, buffer.data(), static_cast<size_t>(n)); !s.ok()) return s;
    written += static_cast<uint64_t>(n);
    if (progress) progress(written, total);
  }
  if (std::string failure = m_state->failures->First(); !failure.empty()) return Status::IoError(failure);
  if (written != total) {
    lock.lock();
    const std::string detail = TakeLibraryMessage();
    return Status::IoError(target.string() + ": the image ended after " + std::to_string(written) + " of " +
                           std::to_string(total) + " bytes" + (detail.empty() ? "" : " (" + detail + ")"));
  }
  image.Finished();
  return partial.Commit(target);
}

}  // namespace kolvenar
