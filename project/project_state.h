// The project: the systems to put on the CD, the post-install catalogue and the
// temporary folder, in process-wide fixed-size tables with separate counts.
// Entries 0 to count - 1 are in use, without gaps; slots are reused, never freed.
#pragma once

#include <array>
#include <string>

namespace kolvenar {

constexpr int kMaxSystems = 64;
constexpr int kMaxPostInstalls = 128;

// One operating system to put on the CD. Every text is UTF-8; empty means "none".
// Paths are host paths; the derived ones are set by the build at each build.
struct SYSTEM_ENTRY {
  std::string name;         // product name
  std::string id;           // short identifier: names the system's folders on the CD
  std::string bootDir;      // tempDir + "ROOT/" + id
  std::string sourcePath;   // install source folder (holds I386/DOSNET.INF)
  std::string i386Dir;      // installDir + "/I386"
  std::string installDir;   // tempDir + "ROOT/INSTALLS/" + id
  std::string build;        // version text from DOSNET.INF DriverVer
  std::string hotfixDir;    // folder of hotfix packages
  std::string servicePack;  // service pack executable
  std::array<bool, kMaxPostInstalls> postInstallSelected{};  // one flag per catalogue slot
};

// One package of the post-install catalogue (POST.INI).
struct POST_INSTALL_ENTRY {
  std::string name;
  std::string shortName;
  std::string command;
  std::string note;
  bool isFile = false;  // Type equals "FILE" without regard to case
};

extern std::array<SYSTEM_ENTRY, kMaxSystems> g_systems;
extern int g_systemCount;
extern std::array<POST_INSTALL_ENTRY, kMaxPostInstalls> g_postInstalls;
extern int g_postInstallCount;
// The temporary folder, with a trailing separator once chosen; empty before.
extern std::string g_tempDir;

}  // namespace kolvenar
