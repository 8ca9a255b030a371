// The ISO 9660 and El Torito writer: libisofs behind a small interface whose
// every step returns a Status. Names are recorded exactly as given (the caller
// upper-cases them): no ";1" version, no forced dot, no depth or length limits
// beyond the directory record's. Files with the same content id share one copy
// of their bytes in the image.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>

#include "boot/cd_image.h"
#include "install/status.h"

namespace kolvenar {

class IsoWriter {
 public:
  using FolderId = size_t;
  using ContentId = size_t;
  static constexpr FolderId kRootFolder = 0;
  // The longest name a directory record can hold here.
  static constexpr size_t kMaxNameLength = 96;

  static Status Create(const std::string& volumeLabel, std::unique_ptr<IsoWriter>* writer);
  ~IsoWriter();
  IsoWriter(const IsoWriter&) = delete;
  IsoWriter& operator=(const IsoWriter&) = delete;

  Status AddFolder(FolderId parent, const std::string& name, std::time_t mtime, FolderId* folder);

  // The bytes of a file on disk, `size` long, read when the image is written; a
  // file that is then missing, unreadable or of another size fails the image.
  ContentId AddContent(const std::filesystem::path& source, uint64_t size);
  Status AddFile(FolderId parent, const std::string& name, ContentId content, std::time_t mtime);

  // The El Torito default entry: no emulation, load segment 07C0h, four 512-byte
  // sectors. Neither the image nor the boot catalogue appears in the tree.
  Status SetBootImage(std::string bytes);

  // An image larger than this is refused before anything is written (0: no limit).
  void SetSizeLimit(uint64_t bytes);

  // Writes the image to `target` through a temporary file beside it, which
  // replaces `target` only when the whole image was written; on failure nothing
  // is left behind and `target` is as it was.
  Status Write(const std::filesystem::path& target, const ImageProgressFn& progress);

 private:
  struct State;
  IsoWriter();
  std::unique_ptr<State> m_state;
};

}  // namespace kolvenar
