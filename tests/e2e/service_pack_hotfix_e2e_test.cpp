// Three demo sources, one with a folder of hotfix packages and one with a service
// pack whose UPDATE.EXE runs through a stand-in `wine`, built into one image.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "tests/e2e/e2e_fixtures.h"

namespace kolvenar::test {
namespace {
namespace fs = std::filesystem;

// Plays the service pack's UPDATE.EXE: `wine UPDATE.EXE -S:<installDir> -Q`
// brings a boot file and a new file into the copied I386 folder.
constexpr const char* kStandInWine = R"(#!/bin/sh
program="$1"; shift
case "$program" in *[Uu][Pp][Dd][Aa][Tt][Ee].[Ee][Xx][Ee]) ;; *) echo "unexpected program $program" >&2; exit 3;; esac
for argument in "$@"; do case "$argument" in -S:*) install="${argument#-S:}";; esac; done
[ -n "$install" ] || { echo "no -S: argument" >&2; exit 4; }
i386=$(ls -d "$install"/[Ii]386) || exit 5
printf 'NTDETECT.COM of the service pack\r\n' > "$i386/NTDETECT.COM"
printf 'slipstreamed\r\n' > "$i386/SPMARKER.TXT"
)";

// A self-extracting package: a stub that starts with MZ, then a cabinet by gcab.
void MakePackage(const fs::path& package, const fs::path& contentFolder, const std::string& members) {
  const fs::path cab = package.string() + ".cab";
  ASSERT_EQ(RunCommand("cd " + Quote(contentFolder) + " && gcab -c " + Quote(cab) + " " + members + " >/dev/null"), 0);
  WriteFile(package, std::string("MZ") + std::string(510, '\0') + ReadFile(cab));
  fs::remove(cab);
}

TEST(ServicePackHotfixE2eTest, ThreeSystemsWithServicePackAndHotfixes) {
  for (const char* tool : {"isoinfo", "gcab"}) {
    if (!HaveProgram(tool)) GTEST_SKIP() << tool << " is not installed (scripts/setup.sh installs it)";
  }
  TempDir dir;
  std::string output;
  ASSERT_EQ(RunCli("make-demo-source " + Quote(dir / "xp") + " --name 'Windows XP Professional'", &output), 0) << output;
  ASSERT_EQ(RunCli("make-demo-source " + Quote(dir / "w2k") +
                       " --name 'Windows 2000 Professional' --version 5.0.2195.6717 --lower-case --compressed-boot-files",
                   &output),
            0)
      << output;
  ASSERT_EQ(RunCli("make-demo-source " + Quote(dir / "w2k3") + " --name 'Windows Server 2003' --version 5.2.3790.0",
                   &output),
            0)
      << output;

  // The hotfix folder: one package with a catalog.
  WriteFile(dir / "kbfiles" / "update" / "update.inf", "[Version]\r\nSignature=\"$Windows NT$\"\r\n");
  WriteFile(dir / "kbfiles" / "KB123456.cat", "catalog");
  fs::create_directories(dir / "hotfixes");
  MakePackage(dir / "hotfixes" / "WindowsXP-KB123456-x86-ENU.exe", dir / "kbfiles", "update/update.inf KB123456.cat");
  // The service pack: UPDATE\UPDATE.EXE, a Windows program.
  WriteFile(dir / "spfiles" / "update" / "update.exe", std::string("MZ") + std::string(62, '\0'));
  MakePackage(dir / "sp1.exe", dir / "spfiles", "update/update.exe");
  WriteFile(dir / "bin" / "wine", kStandInWine);
  ::chmod((dir / "bin" / "wine").c_str(), 0755);
  WriteFile(dir / "QCHAIN.EXE", "MZ qchain");

  const fs::path iso = dir / "cd.iso";
  const std::string environment = "cd " + Quote(dir.path()) + " && PATH=" + Quote(dir / "bin") + ":\"$PATH\"";
  const int status = RunCli("build --temp " + Quote(dir / "work") + " --iso " + Quote(iso) + " --label MULTI_3" +
                                " --system " + Quote(dir / "xp") + " --hotfixes " + Quote(dir / "hotfixes") +
                                " --system " + Quote(dir / "w2k") + " --system " + Quote(dir / "w2k3") +
                                " --service-pack " + Quote(dir / "sp1.exe"),
                            &output, environment);
  ASSERT_EQ(status, 0) << output;
  EXPECT_EQ(output.find("problem:"), std::string::npos) << output;
  EXPECT_NE(output.find("Applying Service Pack..."), std::string::npos) << output;
  EXPECT_NE(output.find("[C] Windows Server 2003"), std::string::npos) << output;

  const std::vector<std::string> paths = IsoPaths(iso);
  for (const char* path : {"/INSTALLS/WXPP/I386/SVCPACK/KB123456.EXE", "/INSTALLS/WXPP/I386/SVCPACK/KB123456.CAT",
                           "/INSTALLS/WXPP/I386/SVCPACK/QCHAIN.EXE", "/INSTALLS/WXPP/I386/SVCPACK.INF",
                           "/INSTALLS/WS2K/I386/SPMARKER.TXT", "/WXPP/BOOTFIX.BIN", "/W2KP/BOOTFIX.BIN",
                           "/WS2K/BOOTFIX.BIN", "/WS2K/SETUPLDR.BIN", "/WIN52WS2K", "/WIN51WXPP", "/WIN50W2KP"}) {
    EXPECT_TRUE(Contains(paths, path)) << path;
  }
  // Only the system with the package has one; only the one with the service pack changed.
  EXPECT_FALSE(Contains(paths, "/INSTALLS/W2KP/I386/SVCPACK.INF"));
  EXPECT_FALSE(Contains(paths, "/INSTALLS/WXPP/I386/SPMARKER.TXT"));
  EXPECT_NE(IsoFile(iso, "/INSTALLS/WXPP/I386/SVCPACK.INF").find("KB123456.EXE /Q /N /Z"), std::string::npos);
  EXPECT_NE(IsoFile(iso, "/INSTALLS/WXPP/I386/DOSNET.INF").find("svcpack"), std::string::npos);
  // The boot folder is filled after the service pack: it holds the pack's version.
  EXPECT_EQ(IsoFile(iso, "/WS2K/NTDETECT.COM"), "NTDETECT.COM of the service pack\r\n");
  EXPECT_NE(IsoFile(iso, "/WXPP/NTDETECT.COM"), "NTDETECT.COM of the service pack\r\n");

  std::string volume;
  RunCommand("isoinfo -d -i " + Quote(iso), &volume);
  EXPECT_NE(volume.find("Volume id: MULTI_3"), std::string::npos) << volume;

  if (!HaveProgram("qemu-system-i386")) GTEST_SKIP() << "qemu-system-i386 is not installed";
  const std::string screen =
      BootMenuLetter(iso, "Please make a selection and press [enter]:", 'c', dir / "qemu");
  EXPECT_NE(screen.find("[C] Windows Server 2003\n"), std::string::npos) << screen;
  EXPECT_NE(screen.find("LOADER id=WS2K dl=E0 end=OK"), std::string::npos) << screen;
}

}  // namespace
}  // namespace kolvenar::test
