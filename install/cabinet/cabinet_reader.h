// Walking the members of one cabinet through libmspack: every member in stored
// order, each sent where a handler decides. Used by the expansion to files and
// to memory (and by the fuzz target, over bytes in memory).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "install/cabinet/dos_time.h"
#include "install/cabinet/mspack_io.h"
#include "install/status.h"

namespace kolvenar::cabinet {

struct MemberInfo {
  std::string storedName;  // UTF-8; backslashes separate stored folders
  uint32_t length = 0;
  int64_t stampSeconds = 0;  // the stored DOS date and time, taken as UTC
  uint16_t attributes = 0;
};

struct MemberHandler {
  // Chooses the member's output on `io` (WriteNextToFile / WriteNextToMemory).
  // A non-ok result stops the walk with that result.
  std::function<Status(const MemberInfo&, CabinetIo&)> begin;
  // After the member: whether it was extracted completely. Optional.
  std::function<void(const MemberInfo&, bool complete)> end;
};

// Extracts up to `maxMembers` members of the cabinet `bytes` in stored order,
// stopping at the first that fails; the ones before it stay extracted.
// `sourceName` names the cabinet in messages. Ok when every member visited was
// extracted; NotFound when the cabinet holds no file; otherwise the reason.
Status ExpandMembers(const CabinetBytes& bytes, const std::string& sourceName, const MemberHandler& handler,
                     size_t maxMembers = SIZE_MAX);

// A stored name as UTF-8: Windows-1252 unless the member's attributes say UTF-8.
std::string DecodeStoredName(const char* name, int attributes);

}  // namespace kolvenar::cabinet
