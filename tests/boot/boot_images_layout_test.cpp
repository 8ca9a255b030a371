// The images the program carries, checked byte by byte at the offsets of their
// layout, and the generated C++ offsets checked against the same numbers.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "boot/images/boot_sector_layout.h"
#include "boot/images/bootfix_layout.h"
#include "boot/images/embedded_images.h"

namespace kolvenar {
namespace {

std::string_view Bytes(std::span<const uint8_t> image, size_t offset, size_t size) {
  return std::string_view(reinterpret_cast<const char*>(image.data()) + offset, size);
}

unsigned Word(std::span<const uint8_t> image, size_t offset) { return image[offset] | image[offset + 1] << 8; }

using namespace std::string_view_literals;

// A field of the carried image: where it is and what it holds.
struct Field {
  const char* what;
  size_t offset;
  std::string_view bytes;
};

// The data fields of BOOTSECTOR.BIN from offset 1264 on; everything between
// them must be 0.
const Field kBootSectorData[] = {
    {"saved timer vector", 1264, "\0\0\0\0"sv},
    {"error countdown 36", 1268, "\x24\0"sv},
    {"disk address packet", 1270, std::string_view("\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16)},
    {"split-read flag", 1286, "\0"sv},
    {"loader name", 1287, "SETUPLDR.BIN"sv},
    {"BOOTFIX name", 1299, "BOOTFIX.BIN"sv},
    {"I386", 1310, "I386"sv},
    {"boot drive", 1314, "\0"sv},
    {"lead before the menu", 1339, "\r\n\r\n"sv},
    {"selected index", 1847, "\0"sv},
    {"number of systems", 1848, "\0"sv},
    {"id entry size", 1849, "\x04"sv},
    {"signature", 2046, "\x55\xAA"sv},
};

TEST(BootSectorImage, MessagesStandAtTheirOffsetsWithTheirNul) {
  const auto image = BootSectorImage();
  ASSERT_EQ(image.size(), 2048u);
  EXPECT_EQ(Bytes(image, 521, 40), "CDBOOT: Cannot boot from CD - Code: 0\r\n\0"sv);
  EXPECT_EQ(image[557], '0') << "the digit the error code replaces";
  EXPECT_EQ(Bytes(image, 561, 30), "CDBOOT: Couldn't find NTLDR\r\n\0"sv);
  EXPECT_EQ(Bytes(image, 591, 32), "CDBOOT: Memory overflow error\r\n\0"sv);
}

TEST(BootSectorImage, DataFieldsHoldTheirValuesAndAllElseIsZero) {
  const auto image = BootSectorImage();
  std::string expected(2048 - 1264, '\0');
  for (const Field& field : kBootSectorData) {
    expected.replace(field.offset - 1264, field.bytes.size(), field.bytes);
  }
  const std::string_view actual = Bytes(image, 1264, 2048 - 1264);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(static_cast<unsigned char>(actual[i]), static_cast<unsigned char>(expected[i]))
        << "offset " << 1264 + i;
  }
  EXPECT_EQ(Word(image, 1268), 36u);
  EXPECT_EQ(Word(image, 2046), 0xAA55u);
}

TEST(BootSectorImage, TheMenuAndIdTableAreasAreEmpty) {
  const auto image = BootSectorImage();
  EXPECT_TRUE(std::all_of(image.begin() + 1343, image.begin() + 1343 + 504, [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(image.begin() + 1850, image.begin() + 1850 + 196, [](uint8_t b) { return b == 0; }));
}

TEST(BootSectorImage, GeneratedOffsetsAreTheLayoutsOffsets) {
  namespace l = boot_sector_layout;
  const std::pair<int, int> offsets[] = {
      {l::kMsgCannotBoot, 521}, {l::kMsgCodeDigit, 557},  {l::kMsgNoNtldr, 561},     {l::kMsgOverflow, 591},
      {l::kLookupCode, 623},    {l::kSavedTimer, 1264},   {l::kErrorCountdown, 1268}, {l::kDiskPacket, 1270},
      {l::kSplitRead, 1286},    {l::kSetupldrName, 1287}, {l::kBootfixName, 1299},   {l::kI386Name, 1310},
      {l::kBootDrive, 1314},    {l::kExtentStart, 1315},  {l::kExtentLength, 1319},  {l::kSectorsLeft, 1323},
      {l::kNextSegment, 1327},  {l::kNextSector, 1329},   {l::kPieceSectors, 1333},  {l::kSearchName, 1334},
      {l::kSearchLength, 1336}, {l::kSearchIsDir, 1337},  {l::kScanBoundary, 1338},  {l::kMenuLead, 1339},
      {l::kMenuText, 1343},     {l::kMenuTextArea, 504},  {l::kSelectedIndex, 1847}, {l::kSystemCount, 1848},
      {l::kIdEntrySize, 1849},  {l::kIdTable, 1850},      {l::kIdTableArea, 196},    {l::kSignature, 2046},
      {l::kImageSize, 2048},    {l::kIdLength, 4},        {l::kMaxSelectable, 32},
  };
  for (const auto& [generated, expected] : offsets) EXPECT_EQ(generated, expected);
}

TEST(BootfixImage, FieldsStandAtTheirOffsets) {
  const auto image = BootfixImage();
  ASSERT_EQ(image.size(), 512u);
  EXPECT_EQ(Bytes(image, 323, 33), "\r\nPress any key to boot from CD.\0"sv);
  EXPECT_EQ(image[356], 0) << "print flag";
  EXPECT_EQ(Bytes(image, 357, 2), ".\0"sv);
  EXPECT_EQ(Bytes(image, 359, 4), "\0\0\0\0"sv) << "saved timer vector";
  EXPECT_EQ(Word(image, 363), 73u) << "countdown";
  EXPECT_EQ(Word(image, 365), 18u) << "dot timer";
  EXPECT_TRUE(std::all_of(image.begin() + 367, image.end(), [](uint8_t b) { return b == 0; }));

  namespace l = bootfix_layout;
  EXPECT_EQ(l::kPrompt, 323);
  EXPECT_EQ(l::kPrintFlag, 356);
  EXPECT_EQ(l::kDot, 357);
  EXPECT_EQ(l::kSavedTimer, 359);
  EXPECT_EQ(l::kCountdown, 363);
  EXPECT_EQ(l::kDotTimer, 365);
  EXPECT_EQ(l::kTail, 367);
  EXPECT_EQ(l::kImageSize, 512);
}

TEST(DemoLoaderImage, NeedsSplitReadsAndCarriesOneI386) {
  const auto image = DemoLoaderImage();
  EXPECT_GT(image.size(), 65536u) << "must not fit one 64 KiB read";
  EXPECT_NE(image.size() % 2048, 0u) << "its last CD sector should be partial";
  const std::string_view bytes = Bytes(image, 0, image.size());
  const size_t first = bytes.find("I386");
  ASSERT_NE(first, std::string_view::npos);
  EXPECT_EQ(bytes.find("I386", first + 1), std::string_view::npos) << "relocation must change one place only";
  EXPECT_EQ(bytes.substr(bytes.size() - 16), "KOLVENAR-LDR-END");
}

}  // namespace
}  // namespace kolvenar
