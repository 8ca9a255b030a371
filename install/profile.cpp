// Profile files are edited at the byte level: the file is cut into lines (in its
// own encoding: Windows-1252, UTF-8 with a mark, or UTF-16LE with a mark), each
// line is decoded only to be understood, and a write splices the encoded new line
// into the original bytes. Every byte that the write does not change stays.
#include "install/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "install/names.h"
#include "install/text_encoding.h"

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxValueCharacters = 511;
constexpr std::string_view kBlanks = " \t\r\v\f";

std::string_view Trim(std::string_view s) {
  const size_t first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

enum class LineKind { kOther, kSection, kKey };

struct Line {
  size_t start = 0;       // byte offsets in the file
  size_t contentEnd = 0;  // where the CR LF or LF begins
  size_t end = 0;         // past the line end (== contentEnd for a last line without one)
  LineKind kind = LineKind::kOther;
  std::string name;  // section name or key, trimmed, as spelled in the file
  std::string value;  // a key's value, trimmed, quotes kept
  bool blank = false;
};

struct ProfileText {
  TextEncoding encoding = TextEncoding::kWindows1252;
  size_t unit = 1;  // bytes per code unit
  std::vector<Line> lines;
};

std::string DecodeLine(std::string_view bytes, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kUtf8Bom: return std::string(bytes);
    case TextEncoding::kUtf16LeBom: return Utf16LeToUtf8(bytes);
    case TextEncoding::kWindows1252: break;
  }
  return Windows1252ToUtf8(bytes);
}

void ParseLine(Line& line, std::string_view text) {
  const std::string_view trimmed = Trim(text);
  line.blank = trimmed.empty();
  if (trimmed.starts_with('[')) {
    const size_t close = trimmed.find(']');
    if (close != std::string_view::npos) {
      line.kind = LineKind::kSection;
      line.name = std::string(Trim(trimmed.substr(1, close - 1)));
      return;
    }
  }
  const size_t equals = trimmed.find('=');
  if (equals == std::string_view::npos) return;  // not a key
  line.kind = LineKind::kKey;
  line.name = std::string(Trim(trimmed.substr(0, equals)));
  line.value = std::string(Trim(trimmed.substr(equals + 1)));
}

ProfileText Parse(std::string_view bytes) {
  ProfileText text;
  text.encoding = DetectTextEncoding(bytes);
  size_t pos = 0;
  if (text.encoding == TextEncoding::kUtf8Bom) pos = 3;
  if (text.encoding == TextEncoding::kUtf16LeBom) pos = 2, text.unit = 2;
  const size_t unit = text.unit;
  auto isUnit = [&](size_t at, char c) {
    return at + unit <= bytes.size() && bytes[at] == c && (unit == 1 || bytes[at + 1] == '\0');
  };
  while (pos + unit <= bytes.size()) {
    Line line;
    line.start = pos;
    size_t at = pos;
    while (at + unit <= bytes.size() && !isUnit(at, '\n')) at += unit;
    if (at + unit <= bytes.size()) {
      line.end = at + unit;
      line.contentEnd = (at > pos && isUnit(at - unit, '\r')) ? at - unit : at;
    } else {
      line.end = line.contentEnd = bytes.size();
    }
    ParseLine(line, DecodeLine(bytes.substr(line.start, line.contentEnd - line.start), text.encoding));
    pos = line.end;
    text.lines.push_back(std::move(line));
  }
  return text;
}

// The first section of that name: [header index, index past its last line).
std::optional<std::pair<size_t, size_t>> FindSection(const ProfileText& text, std::string_view section) {
  const std::string_view wanted = Trim(section);
  for (size_t i = 0; i < text.lines.size(); ++i) {
    if (text.lines[i].kind != LineKind::kSection || !NamesEqual(text.lines[i].name, wanted)) continue;
    size_t end = i + 1;
    while (end < text.lines.size() && text.lines[end].kind != LineKind::kSection) ++end;
    return std::make_pair(i, end);
  }
  return std::nullopt;
}

std::optional<size_t> FindKey(const ProfileText& text, std::pair<size_t, size_t> section, std::string_view key) {
  const std::string_view wanted = Trim(key);
  for (size_t i = section.first + 1; i < section.second; ++i) {
    if (text.lines[i].kind == LineKind::kKey && NamesEqual(text.lines[i].name, wanted)) return i;
  }
  return std::nullopt;
}

// A value of two or more characters enclosed in the same quote loses the pair;
// then it is cut to its first 511 characters (never inside a UTF-8 sequence).
std::string ProfileValue(std::string value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  size_t characters = 0;
  for (size_t i = 0; i < value.size(); ++i) {
    if ((static_cast<unsigned char>(value[i]) & 0xC0) == 0x80) continue;  // continuation byte
    if (++characters > kMaxValueCharacters) {
      value.resize(i);
      break;
    }
  }
  return value;
}

std::optional<std::string> ReadBytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream content;
  content << in.rdbuf();
  if (in.bad()) return std::nullopt;
  return content.str();
}

Status WriteAll(int fd, std::string_view bytes) {
  for (size_t written = 0; written < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Status::IoError(std::strerror(errno));
    written += static_cast<size_t>(n);
  }
  return Status::Ok();
}

// A changed file: the new content is written next to it and renamed over it, so
// that a failed write (a full disk) leaves the old file as it was. The mode is kept.
Status ReplaceFile(const fs::path& file, std::string_view bytes, mode_t mode) {
  std::string temp = file.string() + ".kolvenar-XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return Status::IoError(file.string() + ": cannot write: " + std::strerror(errno));
  Status status = WriteAll(fd, bytes);
  if (status.ok() && ::fchmod(fd, mode) != 0) status = Status::IoError(std::strerror(errno));
  if (::close(fd) != 0 && status.ok()) status = Status::IoError(std::strerror(errno));
  if (status.ok() && ::rename(temp.c_str(), file.c_str()) != 0) status = Status::IoError(std::strerror(errno));
  if (!status.ok()) {
    ::unlink(temp.c_str());
    return Status::IoError(file.string() + ": cannot write: " + status.message());
  }
  return Status::Ok();
}

// A new file, created under the usual permissions; removed again when the write fails.
Status CreateFile(const fs::path& file, std::string_view bytes) {
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return Status::IoError(file.string() + ": cannot create: " + std::strerror(errno));
  Status status = WriteAll(fd, bytes);
  if (::close(fd) != 0 && status.ok()) status = Status::IoError(std::strerror(errno));
  if (!status.ok()) {
    ::unlink(file.c_str());
    return Status::IoError(file.string() + ": cannot write: " + status.message());
  }
  return Status::Ok();
}

bool HasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }

}  // namespace

std::string ReadProfileString(std::string_view section, std::string_view key, const fs::path& file) {
  const std::optional<std::string> bytes = ReadBytes(ResolvePathNoCase(file));
  if (!bytes) return {};
  const ProfileText text = Parse(*bytes);
  const auto found = FindSection(text, section);
  if (!found) return {};
  const auto line = FindKey(text, *found, key);
  if (!line) return {};
  return ProfileValue(text.lines[*line].value);
}

Status WriteProfileString(std::string_view section, std::string_view key, const fs::path& file,
                          std::string_view value) {
  const std::string_view sectionName = Trim(section);
  const std::string_view keyName = Trim(key);
  if (sectionName.empty() || HasLineBreak(sectionName) || sectionName.find(']') != std::string_view::npos) {
    return Status::InvalidArgument(file.string() + ": invalid section name \"" + std::string(section) + "\"");
  }
  if (keyName.empty() || HasLineBreak(keyName) || keyName.find('=') != std::string_view::npos ||
      keyName.starts_with('[')) {
    return Status::InvalidArgument(file.string() + ": invalid key name \"" + std::string(key) + "\"");
  }
  if (HasLineBreak(value)) {
    return Status::InvalidArgument(file.string() + ": a value cannot hold a line break");
  }

  fs::path path = ResolvePathNoCase(file);
  struct stat st;
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) {
    return Status::IoError(path.string() + ": " + std::strerror(errno));
  }
  std::string bytes;
  ProfileText text;
  if (exists) {
    if (!S_ISREG(st.st_mode)) return Status::IoError(path.string() + ": not a file");
    // Read-only (the owner may not write it) holds for every user, root included.
    if ((st.st_mode & S_IWUSR) == 0) return Status::IoError(path.string() + ": the file is read-only");
    if (::access(path.c_str(), W_OK) != 0) {
      return Status::IoError(path.string() + ": cannot write: " + std::strerror(errno));
    }
    std::optional<std::string> read = ReadBytes(path);
    if (!read) return Status::IoError(path.string() + ": cannot read");
    bytes = std::move(*read);
    text = Parse(bytes);
    if (text.unit == 2 && bytes.size() % 2 != 0) {
      return Status::Corrupt(path.string() + ": a UTF-16 file of an odd number of bytes");
    }
    std::error_code ec;
    if (fs::is_symlink(path, ec)) path = fs::canonical(path, ec);  // the link stays a link
    if (ec) return Status::IoError(path.string() + ": " + ec.message());
  }

  // Encodes a new line (UTF-8 inside) in the file's encoding; it must survive the trip.
  std::string problem;
  auto encode = [&](std::string_view utf8) {
    std::string encoded = EncodeText(utf8, text.encoding);
    if (DecodeLine(encoded, text.encoding) != utf8) {
      problem = path.string() + ": \"" + std::string(utf8) + "\" cannot be written in the file's encoding";
    }
    return encoded;
  };
  const std::string lineEnd = EncodeText("\r\n", text.encoding);

  const auto found = FindSection(text, sectionName);
  const std::optional<size_t> keyLine = found ? FindKey(text, *found, keyName) : std::nullopt;
  if (keyLine) {
    // Replace the key's first line in place, keeping the key's spelling and line end.
    const Line& line = text.lines[*keyLine];
    if (line.value == value) return Status::Ok();
    const std::string replacement = encode(line.name + "=" + std::string(value));
    if (!problem.empty()) return Status::InvalidArgument(problem);
    bytes.replace(line.start, line.contentEnd - line.start, replacement);
  } else if (found) {
    // A new key goes right after the last entry of the section (or its header).
    size_t after = found->first;
    for (size_t i = found->first + 1; i < found->second; ++i) {
      if (!text.lines[i].blank) after = i;
    }
    const Line& line = text.lines[after];
    std::string insertion = line.end == line.contentEnd ? lineEnd : std::string();
    insertion += encode(std::string(keyName) + "=" + std::string(value)) + lineEnd;
    if (!problem.empty()) return Status::InvalidArgument(problem);
    bytes.insert(line.end, insertion);
  } else {
    // A missing section (or file): appended as [Name] CR LF key=value CR LF.
    std::string insertion;
    if (!text.lines.empty() && text.lines.back().end == text.lines.back().contentEnd) insertion = lineEnd;
    insertion += encode("[" + std::string(sectionName) + "]") + lineEnd;
    insertion += encode(std::string(keyName) + "=" + std::string(value)) + lineEnd;
    if (!problem.empty()) return Status::InvalidArgument(problem);
    bytes += insertion;
  }
  return exists ? ReplaceFile(path, bytes, st.st_mode & 07777) : CreateFile(path, bytes);
}

}  // namespace kolvenar
