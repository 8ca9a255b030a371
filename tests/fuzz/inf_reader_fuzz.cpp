// Feeds arbitrary bytes to the INF reader and reads back every line and field of
// every section, with and without a valid signature in front.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "boot/inf_reader.h"

namespace {

void ReadEverything(const kolvenar::InfFile& inf) {
  for (const std::string& section : inf.SectionNames()) {
    const int count = inf.LineCount(section);
    for (int i = 0; i < count; ++i) {
      const auto line = inf.LineByIndex(section, i);
      if (!line) __builtin_trap();
      const int fields = inf.FieldCount(*line);
      for (int k = 0; k <= fields + 1; ++k) {
        const auto text = inf.StringField(*line, k);
        if (k >= 1 && k <= fields && !text) __builtin_trap();  // every counted field reads
        if (k > fields && text) __builtin_trap();
        if (text && text->size() > 4 * kolvenar::InfFile::kMaxFieldLength) __builtin_trap();
      }
    }
    if (inf.LineByIndex(section, count)) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  kolvenar::InfFile inf;
  if (inf.OpenBytes(bytes, "fuzz.inf").ok()) ReadEverything(inf);
  const std::string signed_ = "[Version]\r\nSignature=$Windows NT$\r\n[Strings]\r\na=\"%b%,x\"\r\n" + std::string(bytes);
  if (!inf.OpenBytes(signed_, "fuzz.inf").ok()) __builtin_trap();
  ReadEverything(inf);
  return 0;
}
