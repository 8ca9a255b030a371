#include "boot/images/embedded_images.h"


namespace kolvenar {
namespace {

// The bytes of the assembled images (see boot/images/CMakeLists.txt).
constexpr uint8_t kBootSector[] = {
#include "boot/images/boot_sector_bytes.inc"
};
constexpr uint8_t kBootfix[] = {
#include "boot/images/bootfix_bytes.inc"
};
constexpr uint8_t kDemoLoader[] = {
#include "boot/images/demo_loader_bytes.inc"
};

static_assert(sizeof kBootSector == 2048, "the boot sector is one CD sector");
static_assert(sizeof kBootfix == 512, "BOOTFIX.BIN is one disk sector");
static_assert(sizeof kDemoLoader > 65536, "the demo loader must need split reads");

}  // namespace

std::span<const uint8_t> BootSectorImage() { return kBootSector; }
std::span<const uint8_t> BootfixImage() { return kBootfix; }
std::span<const uint8_t> DemoLoaderImage() { return kDemoLoader; }

}  // namespace kolvenar
