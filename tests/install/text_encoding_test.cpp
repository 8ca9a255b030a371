#include "install/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace kolvenar {
namespace {

TEST(TextEncodingTest, Windows1252BothWays) {
  struct Case {
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"Windows XP", "Windows XP"},
      {"\x80", "\xE2\x82\xAC"},          // euro sign
      {"\x99", "\xE2\x84\xA2"},          // trade mark sign
      {"Caf\xE9", "Caf\xC3\xA9"},        // the Latin-1 half maps to itself
      {"\xFF", "\xC3\xBF"},
      {"\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},  // unassigned: kept
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Windows1252ToUtf8(c.bytes), c.utf8);
    EXPECT_EQ(Utf8ToWindows1252(c.utf8), c.bytes);
  }
  // Every byte survives the round trip, so edited files keep the bytes they had.
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);
}

TEST(TextEncodingTest, MissingCharactersBecomeTheReplacement) {
  struct Case {
    std::string utf8;
    char replacement;
    std::string bytes;
  } cases[] = {
      {"\xE2\x98\x83", '?', "?"},               // snowman: in neither code page
      {"\xC2\x80", '?', "?"},                   // U+0080 is not the byte 80h (that is the euro)
      {"\xC3\xA9\xE2\x98\x83", '\xE9', "\xE9\xE9"},  // a replacement equal to a real byte
      {"\xFF", '#', "#"},                       // malformed UTF-8
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToWindows1252(c.utf8, c.replacement), c.bytes) << c.utf8;
}

TEST(TextEncodingTest, CodePage437) {
  EXPECT_EQ(Cp437ToUtf8("\x82\xC9\xCD\xBB"), "\xC3\xA9\xE2\x95\x94\xE2\x95\x90\xE2\x95\x97");
  EXPECT_EQ(Utf8ToCp437("Syst\xC3\xA8me \xE2\x82\xAC"), "Syst\x8Ame ?");
  std::string high;
  for (int b = 0x80; b < 0x100; ++b) high.push_back(static_cast<char>(b));
  EXPECT_EQ(Utf8ToCp437(Cp437ToUtf8(high)), high);
}

TEST(TextEncodingTest, Utf16LeAndMarks) {
  EXPECT_EQ(Utf8ToUtf16Le("A\xC3\xA9\xF0\x9F\x98\x80"), std::string("A\0\xE9\0\x3D\xD8\x00\xDE", 8));
  EXPECT_EQ(Utf16LeToUtf8(std::string("A\0\xE9\0\x3D\xD8\x00\xDE", 8)), "A\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16LeToUtf8(std::string("\x3D\xD8" "A\0", 4)), "\xEF\xBF\xBD" "A");  // lone surrogate

  struct Case {
    std::string bytes;
    TextEncoding encoding;
    std::string text;
  } cases[] = {
      {"[Version]", TextEncoding::kWindows1252, "[Version]"},
      {"\xEF\xBB\xBF[V]\xC3\xA9", TextEncoding::kUtf8Bom, "[V]\xC3\xA9"},
      {std::string("\xFF\xFE[\0V\0]\0", 8), TextEncoding::kUtf16LeBom, "[V]"},
      {"\xE9t\xE9", TextEncoding::kWindows1252, "\xC3\xA9t\xC3\xA9"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DetectTextEncoding(c.bytes), c.encoding);
    EXPECT_EQ(DecodeTextFile(c.bytes), c.text);
  }
  EXPECT_EQ(EncodeText("\xC3\xA9", TextEncoding::kUtf16LeBom), std::string("\xE9\0", 2));
  EXPECT_EQ(EncodeText("\xC3\xA9", TextEncoding::kWindows1252), "\xE9");
}

}  // namespace
}  // namespace kolvenar
