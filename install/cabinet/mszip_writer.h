// Writing a cabinet that holds one file in one MSZIP folder: each data block
// holds up to 32 KiB of the file as one deflate stream behind the "CK"
// signature, with the previous block as its history (as MSZIP decoders keep it),
// and carries the cabinet checksum. Blocks are compressed on several threads.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "install/cabinet/dos_time.h"
#include "install/status.h"

namespace kolvenar::cabinet {

struct StoredFile {
  std::string name;         // as stored: Windows-1252 or, with kAttributeNameIsUtf8, UTF-8
  DosDateTime stamp;
  uint16_t attributes = 0;  // CFFILE attributes
};

// The most content one MSZIP folder can hold (its block count is 16 bits).
inline constexpr uint64_t kMaxCompressedFileSize = 0xFFFFull * 32768;

// The whole cabinet for `content` stored as `file`, in `cabinet`. InvalidArgument
// for a name the format cannot hold or content larger than one folder.
Status BuildMszipCabinet(std::string_view content, const StoredFile& file, std::string& cabinet);

}  // namespace kolvenar::cabinet
