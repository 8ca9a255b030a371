// The checks a build request must pass before anything is touched.
#include <algorithm>
#include <system_error>

#include "app/build/build_cd.h"
#include "boot/boot_sector.h"
#include "install/names.h"
#include "project/install_source.h"

namespace kolvenar {
namespace fs = std::filesystem;
namespace {

constexpr size_t kMaxVolumeLabel = 32;

// A valid ISO 9660 volume identifier: 1 to 32 of A-Z, 0-9 and "_".
bool IsValidVolumeLabel(const std::string& label) {
  return !label.empty() && label.size() <= kMaxVolumeLabel && std::all_of(label.begin(), label.end(), [](char c) {
           return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
         });
}

// The non-empty components of a path made absolute, with symbolic links of its
// existing part resolved, so that two spellings of one folder compare equal.
std::vector<std::string> Components(const fs::path& path) {
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(fs::absolute(path, ec), ec);
  if (ec) resolved = fs::absolute(path, ec).lexically_normal();
  std::vector<std::string> parts;
  for (const fs::path& part : resolved) {
    if (!part.empty() && part != "/") parts.push_back(part.string());
  }
  return parts;
}

// True when `inner` is `outer` or lies somewhere inside it.
bool IsInside(const fs::path& inner, const fs::path& outer) {
  const std::vector<std::string> in = Components(inner);
  const std::vector<std::string> out = Components(outer);
  return in.size() >= out.size() && std::equal(out.begin(), out.end(), in.begin());
}

std::string Quoted(const fs::path& path) {
  std::string quoted(1, '"');
  quoted += path.string();
  quoted += '"';
  return quoted;
}

std::string SystemLabel(const SYSTEM_ENTRY& entry) { return entry.name.empty() ? entry.id : entry.name; }

// Runs a check on the request's systems installed as the project's table (which
// the boot-menu check reads), and puts the table back afterwards.
class ProjectTableScope {
 public:
  explicit ProjectTableScope(const std::vector<SYSTEM_ENTRY>& systems) : m_saved(g_systems), m_savedCount(g_systemCount) {
    for (size_t i = 0; i < systems.size(); ++i) g_systems[i] = systems[i];
    g_systemCount = static_cast<int>(systems.size());
  }
  ~ProjectTableScope() {
    g_systems = m_saved;
    g_systemCount = m_savedCount;
  }
  ProjectTableScope(const ProjectTableScope&) = delete;
  ProjectTableScope& operator=(const ProjectTableScope&) = delete;

 private:
  std::array<SYSTEM_ENTRY, kMaxSystems> m_saved;
  int m_savedCount;
};

Status CheckSettings(const BuildRequest& request) {
  if (request.isoPath.empty() || request.volumeLabel.empty() || request.tempDir.string().size() <= 1 ||
      !IsValidVolumeLabel(request.volumeLabel)) {
    return Status::InvalidArgument(kInvalidSettingsMessage);
  }
  return Status::Ok();
}

Status CheckTableAndMenu(const BuildRequest& request) {
  const size_t count = request.systems.size();
  if (count == 0) return Status::InvalidArgument("There is no system to put on the CD.");
  if (count > static_cast<size_t>(kMaxSystems)) {
    return Status::InvalidArgument("A CD can hold at most " + std::to_string(kMaxSystems) + " systems; there are " +
                                   std::to_string(count) + ".");
  }
  std::vector<int> sorted = request.menuOrder;
  std::sort(sorted.begin(), sorted.end());
  bool everyOnce = sorted.size() == count;
  for (size_t i = 0; everyOnce && i < count; ++i) everyOnce = sorted[i] == static_cast<int>(i);
  if (!everyOnce) return Status::InvalidArgument("The boot menu must list every system exactly once.");

  for (size_t i = 0; i < count; ++i) {
    const SYSTEM_ENTRY& entry = request.systems[i];
    if (!IsValidCdSystemId(entry.id)) {
      return Status::InvalidArgument("The identifier \"" + entry.id + "\" of " + SystemLabel(entry) +
                                     " cannot name its folders on the CD: it needs four characters of A-Z, 0-9 "
                                     "and _.");
    }
    for (size_t j = 0; j < i; ++j) {
      if (request.systems[j].id == entry.id) {
        return Status::InvalidArgument(SystemLabel(request.systems[j]) + " and " + SystemLabel(entry) +
                                       " have the same identifier " + entry.id +
                                       ": one would overwrite the other's folders.");
      }
    }
  }
  ProjectTableScope table(request.systems);
  return CheckBootMenu(request.menuOrder, request.menuTitle, request.menuPrompt);
}

Status CheckLocations(const BuildRequest& request) {
  std::error_code ec;
  const fs::path& temp = request.tempDir;
  if (fs::exists(temp, ec) && !fs::is_directory(temp, ec)) {
    return Status::InvalidArgument("The temporary directory " + Quoted(temp) + " is not a folder.");
  }
  if (IsInside(request.isoPath, temp)) {
    return Status::InvalidArgument("The ISO location " + Quoted(request.isoPath) +
                                   " lies inside the temporary directory, whose deletion would destroy the image.");
  }
  if (fs::is_directory(request.isoPath, ec)) {
    return Status::InvalidArgument("The ISO location " + Quoted(request.isoPath) + " is a folder.");
  }
  const fs::path isoFolder = fs::absolute(request.isoPath, ec).parent_path();
  if (!fs::is_directory(isoFolder, ec)) {
    return Status::InvalidArgument("The folder " + Quoted(isoFolder) + " of the ISO location does not exist.");
  }
  for (const SYSTEM_ENTRY& entry : request.systems) {
    const fs::path source = entry.sourcePath;
    if (!fs::is_directory(source, ec)) {
      return Status::NotFound("The install source " + Quoted(source) + " of " + SystemLabel(entry) +
                              " cannot be found.");
    }
    if (IsInside(temp, source) || IsInside(source, temp)) {
      return Status::InvalidArgument("The install source " + Quoted(source) + " of " + SystemLabel(entry) +
                                     " contains the temporary directory or lies inside it.");
    }
    if (!entry.servicePack.empty()) {
      if (!fs::is_regular_file(entry.servicePack, ec)) {
        return Status::NotFound("The service pack " + Quoted(entry.servicePack) + " of " + SystemLabel(entry) +
                                " cannot be found.");
      }
      if (IsInside(entry.servicePack, temp)) {
        return Status::InvalidArgument("The service pack " + Quoted(entry.servicePack) +
                                       " lies inside the temporary directory, whose work folders the build empties.");
      }
    }
    if (!entry.hotfixDir.empty()) {
      if (!fs::is_directory(entry.hotfixDir, ec)) {
        return Status::NotFound("The hotfix folder " + Quoted(entry.hotfixDir) + " of " + SystemLabel(entry) +
                                " cannot be found.");
      }
      if (IsInside(entry.hotfixDir, temp) || IsInside(temp, entry.hotfixDir)) {
        return Status::InvalidArgument("The hotfix folder " + Quoted(entry.hotfixDir) +
                                       " contains the temporary directory or lies inside it.");
      }
    }
  }
  return Status::Ok();
}

}  // namespace

Status CheckBuildRequest(const BuildRequest& request) {
  for (Status (*check)(const BuildRequest&) : {CheckSettings, CheckTableAndMenu, CheckLocations}) {
    Status status = check(request);
    if (!status.ok()) return status;
  }
  return Status::Ok();
}

}  // namespace kolvenar
