// Fuzzes the version-resource reader two ways: the input as a whole file, and the
// input as damage laid over a valid image (so that the fuzzer reaches the
// resource directory and the version data without having to find a PE header).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "install/pe_version.h"
#include "tests/support/pe_image_builder.h"

namespace {

const std::string& ValidImage(bool plus) {
  static const std::string pe32 =
      kolvenar::test::BuildPeImage({false, {{0x409, 0x0005000100000001}, {0x407, 2}}, 1, ""}).bytes;
  static const std::string pe32plus = kolvenar::test::BuildPeImage({true, {{0x000, 3}}, 1, ""}).bytes;
  return plus ? pe32plus : pe32;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  (void)kolvenar::ReadPeFileVersion(input);
  if (size < 3) return 0;
  // Damage: pairs of (16-bit offset, byte) written into a valid image, which the
  // first byte picks and whose length the second byte may cut.
  std::string image = ValidImage(data[0] & 1);
  if (data[1] & 1) image.resize(image.size() * data[2] / 256);
  for (size_t i = 3; i + 2 < size && !image.empty(); i += 3) {
    const size_t offset = (static_cast<size_t>(data[i]) | static_cast<size_t>(data[i + 1]) << 8) % image.size();
    image[offset] = static_cast<char>(data[i + 2]);
  }
  (void)kolvenar::ReadPeFileVersion(image);
  return 0;
}
