// Finding where a cabinet begins inside a file: at the first offset where the
// eight signature bytes stand ("MSCF" and four zero bytes). A plain cabinet
// starts at 0; a self-extracting package has its stub in front.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace kolvenar::cabinet {

// Offset of the first signature in `bytes`; nullopt when there is none.
std::optional<uint64_t> FindCabinetSignature(std::string_view bytes);

// Offset of the first signature in the first `length` bytes of the open file
// `fd` (read with pread, so the file position is not used). nullopt when there
// is none or the file cannot be read.
std::optional<uint64_t> FindCabinetSignature(int fd, uint64_t length);

}  // namespace kolvenar::cabinet
