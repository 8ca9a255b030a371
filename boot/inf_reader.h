// Reader of Windows setup information files (DOSNET.INF, TXTSETUP.SIF) with the
// semantics that real setup files rely on:
// - the file must carry a Windows 4 style signature in [Version]: Signature is
//   "$Windows NT$", "$Chicago$" or "$Windows 95$" (quoted or not, any case);
// - Windows-1252, UTF-8 with a byte-order mark or UTF-16LE with its mark; CR LF or LF;
// - section names match without regard to case; a section given more than once is
//   one section with all its lines in file order; blank and comment lines are no lines;
// - a line is `key = fields` or fields alone; fields split at commas outside quotes
//   and are trimmed; `"a""b"` reads a"b; `;` outside quotes starts a comment; a
//   backslash at the very end of a line joins the next line to it;
// - %name% is replaced from [Strings] when a field is read; %% reads as one %.
//
// Opening indexes every section once; [Strings] tokens are replaced only when a
// field is read, so a 20,000-line TXTSETUP.SIF opens in milliseconds.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "install/status.h"

namespace kolvenar {

// Designates one line of an open InfFile; valid while the file stays open.
class InfLine {
 public:
  InfLine() = default;

 private:
  friend class InfFile;
  explicit InfLine(uint32_t index) : m_index(index) {}
  uint32_t m_index = 0;
};

class InfFile {
 public:
  // A field text holds at most this many characters; longer ones are cut.
  static constexpr size_t kMaxFieldLength = 511;

  InfFile() = default;

  // Reads and parses the file. On failure the file stays closed (every line count
  // reads as none) and the status names the file and the reason.
  Status Open(const std::filesystem::path& path);

  // Parses a file's bytes; `name` is used in messages.
  Status OpenBytes(std::string_view bytes, std::string_view name);

  void Close();
  bool is_open() const { return m_open; }

  // The number of lines of `section`; -1 when the section is missing or the file is
  // not open. A section given only with a header and no lines has 0.
  int LineCount(std::string_view section) const;

  // The line at `index` (from 0) of `section`; nullopt when there is none.
  std::optional<InfLine> LineByIndex(std::string_view section, int index) const;

  // The number of fields of the line, not counting the key.
  int FieldCount(InfLine line) const;

  // Field `index` of the line with [Strings] tokens replaced, cut to
  // kMaxFieldLength characters. Field 0 is the key; a line without a key that has
  // exactly one field gives that field as field 0 too. nullopt when there is no
  // such field.
  std::optional<std::string> StringField(InfLine line, int index) const;

  // The section names as first spelled in the file, in file order.
  std::vector<std::string> SectionNames() const;

 private:
  struct Span {
    uint32_t offset = 0;
    uint32_t length = 0;
  };
  struct Line {
    uint32_t firstField = 0;  // index into m_fields: key (when present), then the fields
    uint32_t fieldCount = 0;  // not counting the key
    bool hasKey = false;
  };
  struct Section {
    std::string name;
    std::vector<uint32_t> lines;  // indexes into m_lines, in file order
  };

  void Parse(std::string_view text);
  Section& SectionNamed(std::string_view name);
  const Section* FindSection(std::string_view name) const;
  std::string_view FieldText(Span span) const;
  std::string Substitute(std::string_view raw) const;
  void IndexStrings();
  bool HasWindows4Signature() const;

  bool m_open = false;
  std::string m_text;        // every key and field text, unquoted and trimmed
  std::vector<Span> m_fields;
  std::vector<Line> m_lines;
  std::vector<Section> m_sections;
  std::unordered_map<std::string, uint32_t> m_sectionIndex;  // upper-cased name -> m_sections
  std::unordered_map<std::string, std::string> m_strings;    // upper-cased name -> value
};

}  // namespace kolvenar
