// CopyTree: the whole-tree copy of an installation source.
//
// The tree is first walked and planned (folders in listing order, every file with
// its size), the folders are created, then a few worker threads copy the files
// with the kernel's own copy (a reflink where the file system offers one, else
// copy_file_range, else read/write). Folder permissions and times are set last,
// deepest folder first, so that a read-only source folder can still be filled.
//
// Links: a link to a file is copied as that file's content, so that later stages
// that edit the copy never write through to the original. A link to a folder (or
// a dangling link) is never followed: when its target is relative and stays inside
// the tree it is recreated as the same link (it then points into the copy);
// otherwise it is not copied and reported.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "install/file_utils.h"
#include "install/names.h"

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

constexpr size_t kWorkers = 8;

std::string Reason(int error) { return std::strerror(error); }

// One file to copy.
struct FileJob {
  fs::path source;
  fs::path destination;
  uint64_t size = 0;
  std::string problem;  // set by the worker when the copy failed
};

// One folder made in the destination, whose mode and times are set at the end.
struct FolderJob {
  fs::path destination;
  struct stat sourceStat;
};

class TreeCopier {
 public:
  TreeCopier(fs::path source, fs::path destination, Problems* problems, const CopyProgressFn& progress)
      : m_sourceRoot(std::move(source)), m_destinationRoot(std::move(destination)), m_problems(problems),
        m_progressFn(progress) {}

  bool Run();

 private:
  void Plan(const fs::path& sourceFolder, const fs::path& destinationFolder, bool destinationIsNew,
            int depth);
  void PlanLink(const fs::path& source, const fs::path& destination, int depth);
  void PlanFolder(const fs::path& source, const fs::path& destination, const struct stat& st,
                  bool destinationIsNew, int depth);
  void CopyFiles();
  void CopyOne(FileJob& job);
  bool CopyData(int in, int out, uint64_t size, std::string& problem, const fs::path& source);
  void FinishFolders();
  void Problem(std::string text) {
    m_complete = false;
    if (m_problems != nullptr) m_problems->push_back(std::move(text));
  }
  // Frees the destination name for a new entry: a file or link there is removed
  // (never written through). False, with a problem, when that is not possible.
  bool ClearForNewEntry(const fs::path& destination);

  fs::path m_sourceRoot;
  fs::path m_destinationRoot;
  Problems* m_problems;
  const CopyProgressFn& m_progressFn;
  bool m_complete = true;
  dev_t m_destinationDev = 0;
  ino_t m_destinationIno = 0;

  std::vector<FileJob> m_files;
  std::vector<FolderJob> m_folders;

  std::atomic<size_t> m_next{0};
  std::atomic<uint64_t> m_bytesDone{0};
  std::atomic<uint64_t> m_filesDone{0};
  std::atomic<bool> m_tryClone{true};
  std::atomic<bool> m_tryCopyRange{true};
  std::mutex m_mutex;
  std::condition_variable m_changed;
  size_t m_workersLeft = 0;
};

// Names in a destination folder that existed before the copy, by upper-cased name,
// so that an entry met under another case is merged into the existing one.
struct ExistingNames {
  std::set<std::string> exact;
  std::map<std::string, std::string> byUpperCase;  // the first in NTFS order

  explicit ExistingNames(const fs::path& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::string name = it->path().filename().string();
      auto [slot, inserted] = byUpperCase.emplace(UpperCaseName(name), name);
      if (!inserted && name < slot->second) slot->second = name;
      exact.insert(std::move(name));
    }
  }
  // The name an entry gets: the exact name when it exists, else an existing case
  // variant, else the name itself.
  std::string For(const std::string& name) const {
    if (exact.contains(name)) return name;
    auto found = byUpperCase.find(UpperCaseName(name));
    return found == byUpperCase.end() ? name : found->second;
  }
};

// Source entries in NTFS listing order, so that the work (and its problems) come
// in the same order on every machine.
std::vector<std::string> SortedNames(const fs::path& folder, std::error_code& ec) {
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return CompareNtfsOrder(a, b) < 0; });
  return names;
}

bool TreeCopier::ClearForNewEntry(const fs::path& destination) {
  struct stat st;
  if (::lstat(destination.c_str(), &st) != 0) return true;
  if (S_ISDIR(st.st_mode)) {
    Problem(destination.string() + ": a folder of that name is in the way");
    return false;
  }
  if (::unlink(destination.c_str()) != 0) {
    Problem(destination.string() + ": cannot replace: " + Reason(errno));
    return false;
  }
  return true;
}

void TreeCopier::PlanLink(const fs::path& source, const fs::path& destination, int depth) {
  std::error_code ec;
  const fs::path target = fs::read_symlink(source, ec);
  if (ec) {
    Problem(source.string() + ": cannot read link: " + ec.message());
    return;
  }
  // Contained: relative, and its ".." pieces never climb above the source folder.
  bool contained = !target.empty() && target.is_relative();
  int level = depth;
  for (const fs::path& piece : target) {
    if (!contained) break;
    if (piece == "..") {
      contained = --level >= 0;
    } else if (!piece.empty() && piece != ".") {
      ++level;
    }
  }
  if (!contained) {
    Problem(source.string() + ": link to a folder outside the tree (" + target.string() + ") not copied");
    return;
  }
  if (!ClearForNewEntry(destination)) return;
  if (::symlink(target.c_str(), destination.c_str()) != 0) {
    Problem(destination.string() + ": cannot create link: " + Reason(errno));
  }
}

void TreeCopier::PlanFolder(const fs::path& source, const fs::path& destination, const struct stat& st,
                            bool destinationIsNew, int depth) {
  bool isNew = destinationIsNew;
  struct stat existing;
  if (destinationIsNew || ::lstat(destination.c_str(), &existing) != 0) {
    if (::mkdir(destination.c_str(), 0700) != 0) {
      Problem(destination.string() + ": cannot create folder: " + Reason(errno));
      return;
    }
    isNew = true;
  } else if (!S_ISDIR(existing.st_mode)) {
    // A file or a link in the way: a link is replaced (never followed), a file reported.
    if (!S_ISLNK(existing.st_mode)) {
      Problem(destination.string() + ": a file of that name is in the way of a folder");
      return;
    }
    if (::unlink(destination.c_str()) != 0 || ::mkdir(destination.c_str(), 0700) != 0) {
      Problem(destination.string() + ": cannot create folder: " + Reason(errno));
      return;
    }
    isNew = true;
  } else if ((existing.st_mode & S_IRWXU) != S_IRWXU) {
    ::chmod(destination.c_str(), (existing.st_mode & 07777) | S_IRWXU);  // final mode set at the end
  }
  m_folders.push_back({destination, st});
  Plan(source, destination, isNew, depth + 1);
}

void TreeCopier::Plan(const fs::path& sourceFolder, const fs::path& destinationFolder, bool destinationIsNew,
                      int depth) {
  std::error_code ec;
  const std::vector<std::string> names = SortedNames(sourceFolder, ec);
  if (ec) {
    Problem(sourceFolder.string() + ": cannot list folder: " + ec.message());
    return;
  }
  std::optional<ExistingNames> existing;
  if (!destinationIsNew) existing.emplace(destinationFolder);

  for (const std::string& name : names) {
    const fs::path source = sourceFolder / name;
    const fs::path destination = destinationFolder / (existing ? existing->For(name) : name);

    struct stat st;
    if (::lstat(source.c_str(), &st) != 0) {
      Problem(source.string() + ": " + Reason(errno));
      continue;
    }
    if (S_ISLNK(st.st_mode)) {
      struct stat target;
      if (::stat(source.c_str(), &target) == 0 && S_ISREG(target.st_mode)) {
        m_files.push_back({source, destination, static_cast<uint64_t>(target.st_size), {}});
      } else {
        PlanLink(source, destination, depth);
      }
    } else if (S_ISDIR(st.st_mode)) {
      if (st.st_dev == m_destinationDev && st.st_ino == m_destinationIno) continue;  // the copy itself
      PlanFolder(source, destination, st, destinationIsNew, depth);
    } else if (S_ISREG(st.st_mode)) {
      m_files.push_back({source, destination, static_cast<uint64_t>(st.st_size), {}});
    } else {
      Problem(source.string() + ": not a file or folder; not copied");
    }
  }
}

bool TreeCopier::CopyData(int in, int out, uint64_t size, std::string& problem, const fs::path& source) {
  if (size == 0) return true;
  if (m_tryClone.load(std::memory_order_relaxed)) {
    if (::ioctl(out, FICLONE, in) == 0) {
      m_bytesDone += size;
      return true;
    }
    if (errno == EOPNOTSUPP || errno == ENOTTY || errno == ENOSYS) m_tryClone = false;
  }
  uint64_t done = 0;
  if (m_tryCopyRange.load(std::memory_order_relaxed)) {
    while (true) {
      const ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 64u << 20, 0);
      if (n > 0) {
        done += static_cast<uint64_t>(n);
        m_bytesDone += static_cast<uint64_t>(n);
        continue;
      }
      if (n == 0) return true;  // end of the source (it may have changed size since the walk)
      if (errno == EINTR) continue;
      if (done == 0 && (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP)) {
        if (errno == ENOSYS) m_tryCopyRange = false;
        break;  // fall back to reading and writing
      }
      problem = source.string() + ": " + Reason(errno);
      return false;
    }
  }
  std::vector<char> buffer(1u << 20);
  while (true) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      problem = source.string() + ": cannot read: " + Reason(errno);
      return false;
    }
    for (ssize_t written = 0; written < n;) {
      const ssize_t w = ::write(out, buffer.data() + written, static_cast<size_t>(n - written));
      if (w < 0) {
        if (errno == EINTR) continue;
        problem = source.string() + ": cannot write: " + Reason(errno);
        return false;
      }
      written += w;
    }
    m_bytesDone += static_cast<uint64_t>(n);
  }
}

void TreeCopier::CopyOne(FileJob& job) {
  const int in = ::open(job.source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    job.problem = job.source.string() + ": cannot open: " + Reason(errno);
    return;
  }
  struct stat st;
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    job.problem = job.source.string() + ": not a file any more";
    ::close(in);
    return;
  }
  // A new file every time: an existing one (or a link) is unlinked first, so that
  // nothing is ever written through a link or into another hard link's data.
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
  int out = ::open(job.destination.c_str(), flags, 0600);
  if (out < 0 && errno == EEXIST) {
    struct stat existing;
    if (::lstat(job.destination.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
      job.problem = job.destination.string() + ": a folder of that name is in the way";
      ::close(in);
      return;
    }
    if (::unlink(job.destination.c_str()) == 0) out = ::open(job.destination.c_str(), flags, 0600);
  }
  if (out < 0) {
    job.problem = job.destination.string() + ": cannot create: " + Reason(errno);
    ::close(in);
    return;
  }
  bool ok = CopyData(in, out, static_cast<uint64_t>(st.st_size), job.problem, job.source);
  if (ok) {
    const struct timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(out, st.st_mode & 0777) != 0 || ::futimens(out, times) != 0) {
      job.problem = job.destination.string() + ": cannot set permissions or times: " + Reason(errno);
    }
  }
  if (::close(out) != 0 && ok) {
    job.problem = job.destination.string() + ": cannot write: " + Reason(errno);
    ok = false;
  }
  ::close(in);
  if (!ok) ::unlink(job.destination.c_str());  // no half-written copy stays behind
}

void TreeCopier::CopyFiles() {
  if (m_files.empty()) return;
  // The copy waits on the file system (creating files, its journal) more than on
  // the processor: eight workers measured fastest, also on two cores.
  const size_t workers = std::min<size_t>(kWorkers, m_files.size());
  m_workersLeft = workers;

  auto work = [this] {
    for (size_t i = m_next++; i < m_files.size(); i = m_next++) {
      CopyOne(m_files[i]);
      ++m_filesDone;
      m_changed.notify_one();
    }
    std::lock_guard lock(m_mutex);
    --m_workersLeft;
    m_changed.notify_one();
  };
  std::vector<std::thread> threads;
  threads.reserve(workers);
  for (size_t i = 0; i < workers; ++i) threads.emplace_back(work);

  // Progress is reported on the calling thread, at most every 50 ms and at the end.
  CopyProgress progress;
  progress.totalFiles = m_files.size();
  for (const FileJob& job : m_files) progress.totalBytes += job.size;
  {
    std::unique_lock lock(m_mutex);
    while (m_workersLeft > 0) {
      m_changed.wait_for(lock, std::chrono::milliseconds(50));
      if (m_progressFn && m_workersLeft > 0) {
        progress.files = m_filesDone;
        progress.bytes = m_bytesDone;
        lock.unlock();
        m_progressFn(progress);
        lock.lock();
      }
    }
  }
  for (std::thread& t : threads) t.join();
  for (FileJob& job : m_files) {
    if (!job.problem.empty()) Problem(std::move(job.problem));
  }
}

void TreeCopier::FinishFolders() {
  // Deepest first: setting a folder's times after its contents keeps them.
  for (auto it = m_folders.rbegin(); it != m_folders.rend(); ++it) {
    const struct timespec times[2] = {it->sourceStat.st_atim, it->sourceStat.st_mtim};
    if (::chmod(it->destination.c_str(), it->sourceStat.st_mode & 07777) != 0 ||
        ::utimensat(AT_FDCWD, it->destination.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) {
      Problem(it->destination.string() + ": cannot set permissions or times: " + Reason(errno));
    }
  }
}

bool TreeCopier::Run() {
  struct stat source;
  if (::stat(m_sourceRoot.c_str(), &source) != 0 || !S_ISDIR(source.st_mode)) {
    Problem(m_sourceRoot.string() + ": no such folder");
    return false;
  }
  std::error_code ec;
  fs::create_directories(m_destinationRoot, ec);
  struct stat destination;
  if (::stat(m_destinationRoot.c_str(), &destination) != 0 || !S_ISDIR(destination.st_mode)) {
    Problem(m_destinationRoot.string() + ": cannot create folder" + (ec ? ": " + ec.message() : ""));
    return false;
  }
  if (source.st_dev == destination.st_dev && source.st_ino == destination.st_ino) {
    Problem(m_sourceRoot.string() + ": source and destination are the same folder");
    return false;
  }
  m_destinationDev = destination.st_dev;
  m_destinationIno = destination.st_ino;

  Plan(m_sourceRoot, m_destinationRoot, false, 0);
  CopyFiles();
  FinishFolders();
  if (m_progressFn) {
    CopyProgress done;
    done.files = done.totalFiles = m_files.size();
    for (const FileJob& job : m_files) done.totalBytes += job.size;
    done.bytes = m_bytesDone;
    m_progressFn(done);
  }
  return m_complete;
}

}  // namespace

bool CopyTree(const fs::path& source, const fs::path& destination, std::string_view /*title*/,
              Problems* problems, const CopyProgressFn& progress) {
  TreeCopier copier(ResolvePathNoCase(source), ResolvePathNoCase(destination), problems, progress);
  return copier.Run();
}

}  // namespace kolvenar
