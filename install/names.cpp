#include "install/names.h"

#include <algorithm>
#include <system_error>
#include <vector>

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

// Upper-cases one UTF-8 sequence in place when it is a letter we fold:
// ASCII a-z, and U+00E0..U+00FE except U+00F7 (division sign), U+00FF -> U+0178.
void AppendUpper(std::string& out, std::string_view in, size_t& i) {
  const auto c = static_cast<unsigned char>(in[i]);
  if (c < 0x80) {
    out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : static_cast<char>(c));
    ++i;
    return;
  }
  if (c == 0xC3 && i + 1 < in.size()) {
    const auto d = static_cast<unsigned char>(in[i + 1]);
    // U+00E0..U+00FE is C3 A0..C3 BE; upper case is C3 80..C3 9E.
    if (d >= 0xA0 && d <= 0xBE && d != 0xB7) {
      out.push_back(static_cast<char>(0xC3));
      out.push_back(static_cast<char>(d - 0x20));
      i += 2;
      return;
    }
    if (d == 0xBF) {  // U+00FF -> U+0178
      out.append("\xC5\xB8");
      i += 2;
      return;
    }
  }
  out.push_back(static_cast<char>(c));
  ++i;
}

}  // namespace

std::string UpperCaseName(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (size_t i = 0; i < name.size();) AppendUpper(out, name, i);
  return out;
}

bool NamesEqual(std::string_view a, std::string_view b) {
  if (a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin())) return true;
  return UpperCaseName(a) == UpperCaseName(b);
}

int CompareNtfsOrder(std::string_view a, std::string_view b) {
  const std::string ua = UpperCaseName(a);
  const std::string ub = UpperCaseName(b);
  if (int c = ua.compare(ub); c != 0) return c;
  return a.compare(b);  // names equal but for case: a stable, reproducible tie-break
}

std::optional<fs::path> FindEntryNoCase(const fs::path& folder, std::string_view name) {
  std::error_code ec;
  fs::path exact = folder / fs::path(std::string(name));
  if (fs::symlink_status(exact, ec).type() != fs::file_type::not_found && !ec) return exact;

  const std::string wanted = UpperCaseName(name);
  std::optional<std::string> best;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string entry = it->path().filename().string();
    if (UpperCaseName(entry) != wanted) continue;
    if (!best || entry.compare(*best) < 0) best = std::move(entry);
  }
  if (!best) return std::nullopt;
  return folder / *best;
}

fs::path ResolvePathNoCase(const fs::path& path) {
  fs::path result = path.root_path();
  bool resolving = true;
  for (const fs::path& piece : path.relative_path()) {
    if (piece.empty()) continue;
    const fs::path base = result.empty() ? fs::path(".") : result;
    if (resolving && piece != "." && piece != "..") {
      if (auto found = FindEntryNoCase(base, piece.string())) {
        result = result.empty() ? found->filename() : result / found->filename();
        continue;
      }
      resolving = false;
    }
    result /= piece;
  }
  return result;
}

fs::path AppendWindowsName(const fs::path& base, std::string_view name) {
  fs::path result = base;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = name.size();
    if (end > start) result /= std::string(name.substr(start, end - start));
    start = end + 1;
  }
  return result;
}

bool IsContainedWindowsName(std::string_view name) {
  if (name.empty()) return false;
  if (name.front() == '\\' || name.front() == '/') return false;
  if (name.find(':') != std::string_view::npos) return false;  // drive letters, streams
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("\\/", start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

}  // namespace kolvenar
