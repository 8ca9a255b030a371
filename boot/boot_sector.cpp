#include "boot/boot_sector.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <span>
#include <string_view>
#include <system_error>

#include "boot/images/boot_sector_layout.h"
#include "boot/images/embedded_images.h"
#include "install/names.h"
#include "install/text_encoding.h"
#include "project/project_state.h"

namespace kolvenar {
namespace {

namespace layout = boot_sector_layout;

constexpr int kMenuTextMaxLength = layout::kMenuTextArea - 1;  // the NUL ends it

// The menu exactly as the boot code prints it, in code page 437: the title, one
// line "[A] name" per row, the prompt and one blank after it.
std::string MenuText(const std::vector<int>& menuOrder, const std::string& title, const std::string& prompt) {
  std::string text = title + "\n\r\n\r";
  for (size_t row = 0; row < menuOrder.size(); ++row) {
    text += "[";
    text += static_cast<char>('A' + row);
    text += "] " + g_systems[menuOrder[row]].name + "\r\n";
  }
  text += "\n\r" + prompt + " ";
  return Utf8ToCp437(text);
}

bool IsIdCharacter(char c) { return c > ' ' && c < 0x7F; }

// Writes `bytes` at the start of the file, creating it when missing. An existing
// file is not truncated: bytes after the image stay as they were.
Status WriteAtStart(const std::filesystem::path& path, std::span<const uint8_t> bytes) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  if (!file.is_open()) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) return Status::IoError(path.string() + ": cannot open for writing");
    file.open(path, std::ios::out | std::ios::binary);
    if (!file.is_open()) return Status::IoError(path.string() + ": cannot create the file");
  }
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file.flush();
  if (!file) return Status::IoError(path.string() + ": writing failed");
  file.close();
  if (file.fail()) return Status::IoError(path.string() + ": closing failed");
  return Status::Ok();
}

}  // namespace

Status CheckBootMenu(const std::vector<int>& menuOrder, const std::string& title, const std::string& prompt) {
  if (menuOrder.empty()) return Status::InvalidArgument("boot menu: no system to list");
  if (menuOrder.size() > static_cast<size_t>(layout::kMaxSelectable)) {
    return Status::InvalidArgument("boot menu: " + std::to_string(menuOrder.size()) + " systems, but at most " +
                                   std::to_string(layout::kMaxSelectable) + " can be chosen at boot");
  }
  for (size_t row = 0; row < menuOrder.size(); ++row) {
    const int index = menuOrder[row];
    if (index < 0 || index >= g_systemCount) {
      return Status::InvalidArgument("boot menu: row " + std::to_string(row + 1) + " names no system (index " +
                                     std::to_string(index) + ")");
    }
    const std::string& id = g_systems[index].id;
    if (id.size() != static_cast<size_t>(layout::kIdLength) || !std::all_of(id.begin(), id.end(), IsIdCharacter)) {
      return Status::InvalidArgument("boot menu: the id \"" + id + "\" of " + g_systems[index].name +
                                     " is not of " + std::to_string(layout::kIdLength) + " characters");
    }
  }
  const std::string text = MenuText(menuOrder, title, prompt);
  if (text.find('\0') != std::string::npos) {
    return Status::InvalidArgument("boot menu: the title, the prompt or a system name contains a NUL character");
  }
  if (text.size() > static_cast<size_t>(kMenuTextMaxLength)) {
    return Status::InvalidArgument("boot menu: the menu text has " + std::to_string(text.size()) +
                                   " characters, at most " + std::to_string(kMenuTextMaxLength) +
                                   " fit in the boot sector (shorten the title, the prompt or the names)");
  }
  return Status::Ok();
}

Status WriteBootMenuSector(const std::vector<int>& menuOrder, const std::filesystem::path& path,
                           const std::string& title, const std::string& prompt) {
  if (Status status = CheckBootMenu(menuOrder, title, prompt); !status.ok()) return status;

  // Each build starts from the carried image, so the file depends on this menu only.
  const std::span<const uint8_t> carried = BootSectorImage();
  std::array<uint8_t, layout::kImageSize> image;
  std::copy(carried.begin(), carried.end(), image.begin());

  const std::string text = MenuText(menuOrder, title, prompt);
  std::copy(text.begin(), text.end(), image.begin() + layout::kMenuText);
  image[layout::kMenuText + text.size()] = 0;

  image[layout::kSystemCount] = static_cast<uint8_t>(menuOrder.size());
  size_t at = layout::kIdTable;
  for (int index : menuOrder) {
    for (char c : g_systems[index].id) image[at++] = static_cast<uint8_t>(c);
  }
  image[at] = 0;

  return WriteAtStart(path, image);
}

Status InstallBootfix(const std::filesystem::path& bootDir) {
  std::error_code ec;
  if (!std::filesystem::is_directory(bootDir, ec)) {
    return Status::NotFound(bootDir.string() + ": boot folder missing, BOOTFIX.BIN not written");
  }
  return WriteAtStart(ResolvePathNoCase(bootDir / "BOOTFIX.BIN"), BootfixImage());
}

}  // namespace kolvenar
