// Pointing a boot folder's TXTSETUP.SIF and SETUPLDR.BIN at the system's folders on the CD.
#pragma once

#include <filesystem>
#include <string>

#include "install/message_seam.h"
#include "install/status.h"

namespace kolvenar {

Problems RelocateSetupLoader(const std::filesystem::path& bootDir, const std::string& id,
                             const MessageFn& showMessage);

}  // namespace kolvenar
