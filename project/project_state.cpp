#include "project/project_state.h"

namespace kolvenar {

std::array<SYSTEM_ENTRY, kMaxSystems> g_systems;
int g_systemCount = 0;
std::array<POST_INSTALL_ENTRY, kMaxPostInstalls> g_postInstalls;
int g_postInstallCount = 0;
std::string g_tempDir;

}  // namespace kolvenar
