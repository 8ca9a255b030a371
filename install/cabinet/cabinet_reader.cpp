#include "install/cabinet/cabinet_reader.h"

#include <memory>

#include "install/cabinet/cab_format.h"
#include "install/text_encoding.h"

namespace kolvenar::cabinet {
namespace {

// The decompressor's input buffer: larger than its default of 4 KiB, so each
// data block is taken in one go.
constexpr int kDecompressionBuffer = 64 * 1024;

struct DecompressorDeleter {
  void operator()(mscab_decompressor* d) const { mspack_destroy_cab_decompressor(d); }
};
using Decompressor = std::unique_ptr<mscab_decompressor, DecompressorDeleter>;

std::string Reason(int error, const CabinetIo& io) {
  std::string reason;
  switch (error) {
    case MSPACK_ERR_OPEN: reason = "cannot open"; break;
    case MSPACK_ERR_READ: reason = "truncated or unreadable cabinet"; break;
    case MSPACK_ERR_WRITE: reason = "cannot write"; break;
    case MSPACK_ERR_SEEK: reason = "truncated cabinet (seek past its data)"; break;
    case MSPACK_ERR_NOMEMORY: reason = "out of memory"; break;
    case MSPACK_ERR_SIGNATURE: reason = "not a cabinet (bad header)"; break;
    case MSPACK_ERR_DATAFORMAT: reason = "damaged cabinet"; break;
    case MSPACK_ERR_CHECKSUM: reason = "damaged data (checksum mismatch)"; break;
    case MSPACK_ERR_DECRUNCH: reason = "damaged compressed data"; break;
    default: reason = "expansion failed (error " + std::to_string(error) + ")"; break;
  }
  if (!io.lastMessage().empty()) reason += " (" + io.lastMessage() + ")";
  return reason;
}

Status FailureStatus(int error, const std::string& what, const CabinetIo& io) {
  if (error == MSPACK_ERR_NOMEMORY) return Status::IoError(what + ": out of memory");
  return Status::Corrupt(what + ": " + Reason(error, io));
}

}  // namespace

std::string DecodeStoredName(const char* name, int attributes) {
  if ((attributes & kAttributeNameIsUtf8) != 0) return name;
  return Windows1252ToUtf8(name);
}

Status ExpandMembers(const CabinetBytes& bytes, const std::string& sourceName, const MemberHandler& handler,
                     size_t maxMembers) {
  CabinetIo io(bytes);
  Decompressor decompressor(mspack_create_cab_decompressor(io.system()));
  if (!decompressor) return Status::IoError(sourceName + ": cannot create the cabinet decompressor");
  mscab_decompressor* d = decompressor.get();
  d->set_param(d, MSCABD_PARAM_DECOMPBUF, kDecompressionBuffer);
  d->set_param(d, MSCABD_PARAM_FIXMSZIP, 0);
  d->set_param(d, MSCABD_PARAM_SALVAGE, 0);

  mscabd_cabinet* cabinet = d->open(d, CabinetIo::kCabinetName);
  if (cabinet == nullptr) return FailureStatus(d->last_error(d), sourceName, io);
  const auto closeCabinet = [&](Status status) {
    d->close(d, cabinet);
    return status;
  };
  if (cabinet->files == nullptr) return closeCabinet(Status::NotFound(sourceName + ": the cabinet holds no file"));

  size_t visited = 0;
  for (mscabd_file* file = cabinet->files; file != nullptr && visited < maxMembers; file = file->next, ++visited) {
    MemberInfo info;
    info.storedName = DecodeStoredName(file->filename, file->attribs);
    info.length = file->length;
    info.attributes = static_cast<uint16_t>(file->attribs);
    info.stampSeconds = UnixSecondsFromCivil({file->date_y, static_cast<unsigned char>(file->date_m),
                                              static_cast<unsigned char>(file->date_d),
                                              static_cast<unsigned char>(file->time_h),
                                              static_cast<unsigned char>(file->time_m),
                                              static_cast<unsigned char>(file->time_s)});
    Status chosen = handler.begin(info, io);
    if (!chosen.ok()) return closeCabinet(chosen);
    const int error = d->extract(d, file, "member");
    const bool complete = error == MSPACK_ERR_OK && io.outputError().empty();
    if (handler.end) handler.end(info, complete);
    if (!complete) {
      const std::string what = sourceName + ": " + info.storedName;
      if (!io.outputError().empty()) return closeCabinet(Status::IoError(what + ": " + io.outputError()));
      return closeCabinet(FailureStatus(error, what, io));
    }
  }
  return closeCabinet(Status::Ok());
}

}  // namespace kolvenar::cabinet
