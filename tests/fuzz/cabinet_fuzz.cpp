// Fuzzes the cabinet signature scan and the expansion (libmspack behind our I/O
// table), in memory and through a memory-backed file descriptor. The first
// input byte picks the form: the raw bytes, the bytes behind a signature, or a
// known good cabinet (MSZIP, stored, LZX and Quantum) with the rest of the
// input applied as (offset, value) patches, so damage lands in real structures.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "install/cabinet/cab_format.h"
#include "install/cabinet/cabinet_reader.h"
#include "install/cabinet/mszip_writer.h"
#include "install/cabinet/signature_scan.h"
#include "install/names.h"
#include "tests/cabinet/cab_builder.h"

namespace {
using namespace kolvenar;

std::vector<std::string> MakeSeeds() {
  std::vector<std::string> seeds;
  std::string text;
  for (int i = 0; text.size() < 70000; ++i) text += "line " + std::to_string(i * 31 % 977) + " of the seed\r\n";
  cabinet::StoredFile file{"seed\\file.txt", {0x2EEF, 0x6D6B}, 0x20};
  std::string mszip;
  if (cabinet::BuildMszipCabinet(text, file, mszip).ok()) seeds.push_back(mszip);
  test::CabMember a{"a.txt", "alpha alpha alpha"};
  test::CabMember b{"dir\\b.txt", std::string(40000, 'b')};
  seeds.push_back(test::BuildStoredCabinet({a, b}, true));
  // LZX and Quantum folders come from the shared test cabinets when present.
  const auto shared = std::filesystem::path(__FILE__).parent_path() / "../../../shared/testdata/cabs/mszip_lzx_qtm.cab";
  std::ifstream in(shared, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (!bytes.str().empty()) seeds.push_back(bytes.str());
  return seeds;
}

void Expand(const cabinet::CabinetBytes& bytes) {
  cabinet::MemberHandler handler;
  std::string sink;
  handler.begin = [&](const cabinet::MemberInfo& info, cabinet::CabinetIo& io) {
    (void)IsContainedWindowsName(info.storedName);
    sink.clear();
    io.WriteNextToMemory(&sink);
    return Status::Ok();
  };
  (void)cabinet::ExpandMembers(bytes, "fuzz", handler);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::vector<std::string> seeds = MakeSeeds();
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  std::string input;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const unsigned form = mode % (2 + seeds.size());
  if (form == 0) {
    input = rest;
  } else if (form == 1) {
    input = std::string(cabinet::kSignature) + std::string(rest);
  } else {
    input = seeds[form - 2];
    for (size_t i = 0; i + 3 <= rest.size(); i += 3) {
      const size_t at = (static_cast<uint8_t>(rest[i]) | (static_cast<uint8_t>(rest[i + 1]) << 8)) % input.size();
      input[at] = rest[i + 2];
    }
    if (rest.size() % 3 == 1) input.resize(input.size() * static_cast<uint8_t>(rest.back()) / 256);
  }

  if ((mode & 0x80) == 0) {
    if (auto at = cabinet::FindCabinetSignature(input)) {
      Expand({-1, 0, input.size() - *at, reinterpret_cast<const unsigned char*>(input.data()) + *at});
    }
    return 0;
  }
  const int fd = ::memfd_create("cabinet", MFD_CLOEXEC);
  if (fd < 0) return 0;
  if (::write(fd, input.data(), input.size()) == static_cast<ssize_t>(input.size())) {
    if (auto at = cabinet::FindCabinetSignature(fd, input.size())) Expand({fd, *at, input.size() - *at, nullptr});
  }
  ::close(fd);
  return 0;
}
