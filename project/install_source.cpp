#include "project/install_source.h"

#include <algorithm>

#include "install/file_utils.h"
#include "install/names.h"
#include "install/profile.h"

namespace kolvenar {
namespace fs = std::filesystem;
namespace {

constexpr size_t kCdIdLength = 4;

// Splits UTF-8 text into characters (a lead byte with its continuation bytes).
std::vector<std::string> SplitCharacters(std::string_view text) {
  std::vector<std::string> characters;
  for (size_t i = 0; i < text.size();) {
    size_t end = i + 1;
    while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
    characters.emplace_back(text.substr(i, end - i));
    i = end;
  }
  return characters;
}

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string result;
  size_t pos = 0;
  for (size_t hit; (hit = text.find(from, pos)) != std::string_view::npos; pos = hit + from.size()) {
    result.append(text.substr(pos, hit - pos));
    result.append(to);
  }
  result.append(text.substr(pos));
  return result;
}

std::vector<std::vector<std::string>> SplitWords(std::string_view text) {
  std::vector<std::vector<std::string>> words;
  std::vector<std::string> word;
  for (std::string& character : SplitCharacters(text)) {
    if (character == " " || character == "\t") {
      if (!word.empty()) words.push_back(std::move(word));
      word.clear();
    } else {
      word.push_back(std::move(character));
    }
  }
  if (!word.empty()) words.push_back(std::move(word));
  return words;
}

bool IsCdIdCharacter(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; }

std::string BaseCdSystemId(std::string_view name) {
  std::string id;
  for (const std::string& character : SplitCharacters(UpperCaseName(MakeSystemId(name)))) {
    id += (character.size() == 1 && IsCdIdCharacter(character[0])) ? character[0] : '_';
  }
  id.resize(kCdIdLength, '_');
  return id;
}

}  // namespace

bool IsValidCdSystemId(std::string_view id) {
  return id.size() == kCdIdLength && std::all_of(id.begin(), id.end(), IsCdIdCharacter);
}

std::string BuildFromDriverVer(std::string_view driverVer) {
  const size_t comma = driverVer.find(',');
  return std::string(comma == std::string_view::npos ? driverVer : driverVer.substr(comma + 1));
}

std::string MakeSystemId(std::string_view name) {
  const std::string spaced = ReplaceAll(ReplaceAll(name, "000", " K "), "00", " K ");
  const std::vector<std::vector<std::string>> words = SplitWords(spaced);
  std::vector<std::string> characters;
  for (size_t w = 0; w < words.size(); ++w) {
    const std::vector<std::string>& word = words[w];
    const bool last = w + 1 == words.size();
    const size_t take = last ? word.size() : (word.size() == 2 ? 2 : 1);
    characters.insert(characters.end(), word.begin(), word.begin() + static_cast<std::ptrdiff_t>(take));
  }
  std::string id;
  for (size_t i = 0; i < characters.size() && i < kCdIdLength; ++i) id += characters[i];
  return id;
}

std::string MakeCdSystemId(std::string_view name, const std::vector<std::string>& takenIds) {
  std::string id = BaseCdSystemId(name);
  auto taken = [&](const std::string& candidate) {
    return std::find(takenIds.begin(), takenIds.end(), candidate) != takenIds.end();
  };
  if (!taken(id)) return id;
  static constexpr std::string_view kLastCharacters = "123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  for (char last : kLastCharacters) {
    id.back() = last;
    if (!taken(id)) return id;
  }
  return {};
}

DetectedSource DetectInstallSource(const fs::path& folder) {
  DetectedSource detected;
  const fs::path dosnet = folder / "I386" / "DOSNET.INF";
  const fs::path prodspec = folder / "I386" / "PRODSPEC.INI";
  if (!FileExists(dosnet)) {
    detected.status = Status::NotFound(folder.string() + ": no file I386/DOSNET.INF");
    return detected;
  }
  if (!FileExists(prodspec)) {
    detected.status = Status::NotFound(folder.string() + ": no file I386/PRODSPEC.INI");
    return detected;
  }
  detected.build = BuildFromDriverVer(ReadProfileString("Version", "DriverVer", dosnet));
  detected.name = ReadProfileString("Product Specification", "Product", prodspec);
  return detected;
}

std::vector<std::string> UsedSystemIds() {
  std::vector<std::string> ids;
  for (int i = 0; i < g_systemCount; ++i) ids.push_back(g_systems[static_cast<size_t>(i)].id);
  return ids;
}

Status PrepareSystemEntry(const fs::path& folder, SYSTEM_ENTRY& entry) {
  if (g_systemCount >= kMaxSystems) {
    return Status::InvalidArgument("The project holds " + std::to_string(kMaxSystems) +
                                   " systems already, the most it can take.");
  }
  DetectedSource detected = DetectInstallSource(folder);
  if (!detected.ok()) return detected.status;
  std::string id = MakeCdSystemId(detected.name, UsedSystemIds());
  if (id.empty()) {
    return Status::InvalidArgument("No free identifier is left for \"" + detected.name + "\".");
  }
  entry = SYSTEM_ENTRY{};
  entry.sourcePath = folder.string();
  entry.build = std::move(detected.build);
  entry.name = std::move(detected.name);
  entry.id = std::move(id);
  return Status::Ok();
}

}  // namespace kolvenar
