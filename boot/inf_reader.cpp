#include "boot/inf_reader.h"

#include <algorithm>
#include <fstream>
#include <system_error>

#include "install/names.h"
#include "install/text_encoding.h"

namespace kolvenar {
namespace fs = std::filesystem;

namespace {

// Larger files are no setup information files; the limit also keeps every offset
// of the parsed text within 32 bits (decoding at most triples the size).
constexpr uintmax_t kMaxFileSize = 64u << 20;

// Old DOS editors end a text file with Ctrl-Z; nothing after it belongs to the file.
constexpr char kEndOfFile = '\x1A';

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The text with CR LF turned into LF, NULs dropped and the text cut at Ctrl-Z.
std::string NormalizeLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == kEndOfFile) break;
    if (c == '\0') continue;
    if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(c);
  }
  return out;
}

// `text` cut to at most `limit` UTF-8 characters, never inside a character.
void CutToCharacters(std::string& text, size_t limit) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // continuation byte
    if (characters == limit) {
      text.resize(i);
      return;
    }
    ++characters;
  }
}

// The file's text as UTF-8. Plain ASCII (most setup files) needs no decoding.
std::string DecodeInfText(std::string_view bytes) {
  const bool ascii =
      std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii && DetectTextEncoding(bytes) == TextEncoding::kWindows1252) return NormalizeLineEnds(bytes);
  return NormalizeLineEnds(DecodeTextFile(bytes));
}

}  // namespace

Status InfFile::Open(const fs::path& givenPath) {
  Close();
  const fs::path path = ResolvePathNoCase(givenPath);
  const std::string name = givenPath.string();
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (!fs::exists(status)) return Status::NotFound(name + ": no such file");
  if (!fs::is_regular_file(status)) return Status::InvalidArgument(name + ": not a file");
  const uintmax_t size = fs::file_size(path, ec);
  if (ec) return Status::IoError(name + ": cannot read (" + ec.message() + ")");
  if (size > kMaxFileSize) return Status::Corrupt(name + ": too large for a setup information file");

  std::ifstream in(path, std::ios::binary);
  std::string bytes(static_cast<size_t>(size), '\0');
  if (!in || !in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
    return Status::IoError(name + ": cannot read");
  }
  return OpenBytes(bytes, name);
}

Status InfFile::OpenBytes(std::string_view bytes, std::string_view name) {
  Close();
  if (bytes.size() > kMaxFileSize) {
    return Status::Corrupt(std::string(name) + ": too large for a setup information file");
  }
  Parse(DecodeInfText(bytes));
  if (!HasWindows4Signature()) {
    Close();
    return Status::Corrupt(std::string(name) +
                           ": not a Windows setup information file (no Windows 4 signature in [Version])");
  }
  IndexStrings();
  m_open = true;
  return Status::Ok();
}

void InfFile::Close() {
  m_open = false;
  m_text.clear();
  m_fields.clear();
  m_lines.clear();
  m_sections.clear();
  m_sectionIndex.clear();
  m_strings.clear();
}

// One pass over the text. Every key and field is stored unquoted and trimmed in
// m_text; [Strings] tokens stay in it until a field is read.
void InfFile::Parse(std::string_view text) {
  m_text.reserve(text.size());
  const size_t lineEnds = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  m_lines.reserve(lineEnds + 1);
  m_fields.reserve(2 * lineEnds + 2);
  Section* section = nullptr;
  const size_t n = text.size();
  size_t i = 0;

  while (i < n) {
    while (i < n && IsBlank(text[i])) ++i;
    if (i >= n) break;
    if (text[i] == '\n') {
      ++i;
      continue;
    }
    if (text[i] == '[') {
      const size_t start = ++i;
      while (i < n && text[i] != ']' && text[i] != '\n') ++i;
      size_t end = i;
      if (i == n || text[i] == '\n') {
        while (end > start && IsBlank(text[end - 1])) --end;  // header without its ']'
      }
      section = &SectionNamed(text.substr(start, end - start));
      while (i < n && text[i] != '\n') ++i;  // the rest of a header line is ignored
      continue;
    }

    // A line of fields. `fieldStart` is where the current field begins in m_text,
    // `keep` the end of its last quoted character (blanks up to it stay).
    const size_t lineTextStart = m_text.size();
    Line line;
    line.firstField = static_cast<uint32_t>(m_fields.size());
    size_t fieldStart = m_text.size();
    size_t keep = fieldStart;
    bool started = false;  // the current field has content or quotes
    bool separated = false;  // a comma or an equals sign was met
    bool inQuotes = false;
    auto finishField = [&] {
      size_t end = m_text.size();
      while (end > keep && IsBlank(m_text[end - 1])) --end;
      m_text.resize(end);
      m_fields.push_back({static_cast<uint32_t>(fieldStart), static_cast<uint32_t>(end - fieldStart)});
      fieldStart = keep = m_text.size();
      started = false;
    };

    while (i < n && text[i] != '\n') {
      const char c = text[i];
      if (inQuotes) {
        if (c == '"') {
          if (i + 1 < n && text[i + 1] == '"') {
            m_text.push_back('"');
            i += 2;
            continue;
          }
          inQuotes = false;
          keep = m_text.size();
        } else {
          m_text.push_back(c);
        }
        ++i;
        continue;
      }
      if (c == ';') {
        while (i < n && text[i] != '\n') ++i;
        break;
      }
      if (c == '\\' && (i + 1 == n || text[i + 1] == '\n')) {
        i = std::min(i + 2, n);  // joins the next line directly
        continue;
      }
      if (c == '"') {
        inQuotes = true;
        started = true;
      } else if (c == ',') {
        finishField();
        separated = true;
      } else if (c == '=' && !separated) {
        finishField();
        line.hasKey = true;
        separated = true;
      } else if (IsBlank(c)) {
        if (started) m_text.push_back(c);
      } else {
        m_text.push_back(c);
        started = true;
      }
      ++i;
    }
    if (inQuotes) keep = m_text.size();  // an unterminated quote ends with its line

    if (!separated && !started && m_text.size() == fieldStart) continue;  // blank or comment line
    finishField();
    line.fieldCount = static_cast<uint32_t>(m_fields.size() - line.firstField) - (line.hasKey ? 1 : 0);
    if (section == nullptr) {
      // Lines before the first section header belong to no section.
      m_fields.resize(line.firstField);
      m_text.resize(lineTextStart);
      continue;
    }
    section->lines.push_back(static_cast<uint32_t>(m_lines.size()));
    m_lines.push_back(line);
  }
}

InfFile::Section& InfFile::SectionNamed(std::string_view name) {
  auto [it, inserted] = m_sectionIndex.try_emplace(UpperCaseName(name), static_cast<uint32_t>(m_sections.size()));
  if (inserted) m_sections.push_back(Section{std::string(name), {}});
  return m_sections[it->second];
}

const InfFile::Section* InfFile::FindSection(std::string_view name) const {
  const auto it = m_sectionIndex.find(UpperCaseName(name));
  return it == m_sectionIndex.end() ? nullptr : &m_sections[it->second];
}

std::string_view InfFile::FieldText(Span span) const {
  return std::string_view(m_text).substr(span.offset, span.length);
}

std::string InfFile::Substitute(std::string_view raw) const {
  std::string out;
  out.reserve(raw.size());
  size_t i = 0;
  while (i < raw.size()) {
    const size_t percent = raw.find('%', i);
    if (percent == std::string_view::npos) {
      out.append(raw.substr(i));
      break;
    }
    out.append(raw.substr(i, percent - i));
    const size_t close = raw.find('%', percent + 1);
    if (close == std::string_view::npos) {
      out.append(raw.substr(percent));
      break;
    }
    if (close == percent + 1) {
      out.push_back('%');  // %% is one percent sign
    } else {
      const auto it = m_strings.find(UpperCaseName(raw.substr(percent + 1, close - percent - 1)));
      if (it != m_strings.end()) {
        out.append(it->second);
      } else {
        out.append(raw.substr(percent, close - percent + 1));  // unknown tokens stay
      }
    }
    i = close + 1;
  }
  return out;
}

void InfFile::IndexStrings() {
  const Section* strings = FindSection("Strings");
  if (strings == nullptr) return;
  for (uint32_t index : strings->lines) {
    const Line& line = m_lines[index];
    if (!line.hasKey) continue;
    const std::string_view value = line.fieldCount > 0 ? FieldText(m_fields[line.firstField + 1]) : "";
    // The first definition of a name holds.
    m_strings.try_emplace(UpperCaseName(FieldText(m_fields[line.firstField])), std::string(value));
  }
}

bool InfFile::HasWindows4Signature() const {
  const Section* version = FindSection("Version");
  if (version == nullptr) return false;
  for (uint32_t index : version->lines) {
    const Line& line = m_lines[index];
    if (!line.hasKey || !NamesEqual(FieldText(m_fields[line.firstField]), "Signature")) continue;
    if (line.fieldCount == 0) return false;
    const std::string signature = UpperCaseName(FieldText(m_fields[line.firstField + 1]));
    return signature == "$WINDOWS NT$" || signature == "$CHICAGO$" || signature == "$WINDOWS 95$";
  }
  return false;
}

int InfFile::LineCount(std::string_view section) const {
  if (!m_open) return -1;
  const Section* found = FindSection(section);
  return found == nullptr ? -1 : static_cast<int>(found->lines.size());
}

std::optional<InfLine> InfFile::LineByIndex(std::string_view section, int index) const {
  if (!m_open || index < 0) return std::nullopt;
  const Section* found = FindSection(section);
  if (found == nullptr || static_cast<size_t>(index) >= found->lines.size()) return std::nullopt;
  return InfLine(found->lines[static_cast<size_t>(index)]);
}

int InfFile::FieldCount(InfLine line) const {
  if (!m_open || line.m_index >= m_lines.size()) return 0;
  return static_cast<int>(m_lines[line.m_index].fieldCount);
}

std::optional<std::string> InfFile::StringField(InfLine handle, int index) const {
  if (!m_open || handle.m_index >= m_lines.size() || index < 0) return std::nullopt;
  const Line& line = m_lines[handle.m_index];
  uint32_t field = 0;
  if (index == 0) {
    if (!line.hasKey && line.fieldCount != 1) return std::nullopt;
    field = line.firstField;
  } else {
    if (static_cast<uint32_t>(index) > line.fieldCount) return std::nullopt;
    field = line.firstField + static_cast<uint32_t>(index) - (line.hasKey ? 0 : 1);
  }
  std::string text = Substitute(FieldText(m_fields[field]));
  CutToCharacters(text, kMaxFieldLength);
  return text;
}

std::vector<std::string> InfFile::SectionNames() const {
  std::vector<std::string> names;
  if (!m_open) return names;
  names.reserve(m_sections.size());
  for (const Section& section : m_sections) names.push_back(section.name);
  return names;
}

}  // namespace kolvenar
