// Setup files as an installation CD carries them, written by the boot tests: a
// DOSNET.INF naming the boot-floppy files in lower case, a TXTSETUP.SIF with its
// disk names and strings, and an I386 folder whose files are in upper case, some
// of them compressed (last character "_").
#pragma once

#include <filesystem>
#include <set>
#include <string>
#include <string_view>

#include "tests/support/temp_dir.h"

namespace kolvenar::test {

inline constexpr char kDosnetInf[] =
    "[Version]\r\n"
    "signature=\"$Windows NT$\"\r\n"
    "DriverVer=07/01/2001,5.1.2600.0\r\n"
    "\r\n"
    "[Directories]\r\n"
    "d1 = \\\r\n"
    "\r\n"
    "; the four setup boot floppies\r\n"
    "[FloppyFiles.0]\r\n"
    "d1,disk101,disk101\r\n"
    "d1,ntdetect.com\r\n"
    "d1,setupldr.bin\r\n"
    "d1,txtsetup.sif\r\n"
    "d1,ntkrnlmp.exe       ; stored compressed\r\n"
    "\r\n"
    "[FloppyFiles.1]\r\n"
    "d1,disk102,disk102\r\n"
    "d1,hal.dll\r\n"
    "d1,kbdus.dll\r\n"
    "\r\n"
    "[FloppyFiles.2]\r\n"
    "d1,disk103,disk103\r\n"
    "d1,setupdd.sys,system32\\setupdd.sys\r\n"
    "\r\n"
    "[FloppyFiles.3]\r\n"
    "d1,disk104,disk104\r\n"
    "d1,%bootfont%\r\n"
    "\r\n"
    "[Strings]\r\n"
    "bootfont = \"bootfont.bin\"\r\n";

// The files of the I386 folder that kDosnetInf names, as they lie on the CD.
inline const std::set<std::string> kI386Files = {
    "DISK101",      "NTDETECT.COM", "SETUPLDR.BIN", "TXTSETUP.SIF", "NTKRNLMP.EX_", "DISK102", "HAL.DL_",
    "KBDUS.DLL",    "DISK103",      "SETUPDD.SY_",  "DISK104",      "BOOTFONT.BIN", "LAYOUT.INF"};

// The boot folder that kDosnetInf gives from kI386Files.
inline const std::set<std::string> kBootFiles = {
    "disk101", "ntdetect.com", "setupldr.bin", "txtsetup.sif",         "ntkrnlmp.ex_", "disk102",
    "hal.dl_", "kbdus.dll",    "disk103",      "system32/setupdd.sy_", "disk104",      "bootfont.bin"};

inline constexpr char kTxtsetupSif[] =
    "[Version]\r\n"
    "signature = \"$Windows NT$\"\r\n"
    "LayoutInfFile = layout.inf\r\n"
    "\r\n"
    "[SetupData]\r\n"
    "ProductType = 0\r\n"
    "SetupSourcePath = \"\\\"\r\n"
    "MajorVersion = 5\r\n"
    "\r\n"
    "[SourceDisksNames]\r\n"
    "_1 = %cdname%,%cdtagfile%,,\\i386\r\n"
    "1  = %cdname%,%cdtagfilei%,,\\i386\r\n"
    "2  = %floppy%,\\disk101,,\"\"\r\n"
    "\r\n"
    "[SourceDisksNames.x86]\r\n"
    "_1 = %cdname%,%cdtagfile%,,\\i386\r\n"
    "_2 = %spcdname%,%sptagfile%,,\\i386\r\n"
    "3  = %floppy2%,\\disk102,,\"\"\r\n"
    "4  = %floppy3%,\\Disk103,,\"\"\r\n"
    "\r\n"
    "[Strings]\r\n"
    "cdname = \"Windows XP Professional CD-ROM\"\r\n"
    "spcdname = \"Windows XP Professional Service Pack 2 CD\"\r\n"
    "cdtagfile = \"\\win51ip\"\r\n"
    "cdtagfilei = \"\\win51\"\r\n"
    "sptagfile = \"\\win51ip.SP2\"\r\n"
    "floppy = \"Windows XP Setup Boot Disk\"\r\n"
    "floppy2 = \"Windows XP Setup Disk #2\"\r\n"
    "floppy3 = \"Windows XP Setup Disk #3\"\r\n";

// The tag files that kTxtsetupSif names: [SourceDisksNames.x86] lines naming a
// disk are passed over, the same name in [SourceDisksNames] is not.
inline const std::set<std::string> kTagFiles = {"WIN51IP", "WIN51", "WIN51IP.SP2", "DISK101"};

// The content each fixture file gets: its own name, so that a copy shows its source.
inline std::string FixtureContent(std::string_view name) { return "content of " + std::string(name) + "\n"; }

// An install tree <installDir>/I386 holding kI386Files and kDosnetInf as DOSNET.INF.
inline void WriteInstallTree(const std::filesystem::path& installDir) {
  for (const std::string& name : kI386Files) WriteFile(installDir / "I386" / name, FixtureContent(name));
  WriteFile(installDir / "I386" / "DOSNET.INF", kDosnetInf);
}

// Every file under `folder`, as paths relative to it with "/" separators.
inline std::set<std::string> ListFiles(const std::filesystem::path& folder) {
  std::set<std::string> files;
  std::error_code ec;
  for (std::filesystem::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_regular_file()) files.insert(std::filesystem::relative(it->path(), folder).generic_string());
  }
  return files;
}

}  // namespace kolvenar::test
