// Builds real cabinets with gcab (an independent writer) and self-extracting
// packages from them: an executable stub followed by the cabinet, as service
// packs and hotfixes are shipped. Header-only.
#pragma once

#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>

#include "tests/support/pe_image_builder.h"
#include "tests/support/temp_dir.h"

namespace kolvenar::test {

// Stored name (folders separated by '/', stored with backslashes) → content.
using CabinetFiles = std::map<std::string, std::string>;

// The bytes of an MSZIP cabinet holding `files`, made by gcab in `work`.
inline std::string GcabCabinet(const std::filesystem::path& work, const CabinetFiles& files) {
  static int counter = 0;
  const std::filesystem::path staging = work / ("gcab-" + std::to_string(++counter));
  std::string names;
  for (const auto& [name, content] : files) {
    WriteFile(staging / name, content);
    names += " '" + name + "'";
  }
  const std::filesystem::path cabinet = staging / "out.cab";
  const std::string command = "cd '" + staging.string() + "' && gcab -c -z out.cab" + names + " >/dev/null 2>&1";
  if (RunCommand(command) != 0) throw std::runtime_error("gcab failed: " + command);
  std::string bytes = ReadFile(cabinet);
  std::filesystem::remove_all(staging);
  return bytes;
}

// A self-extracting package: a PE stub (which also holds the letters "MSCF"
// followed by other bytes than the signature's zeros), then the cabinet.
inline std::string SelfExtractingPackage(const std::filesystem::path& work, const CabinetFiles& files) {
  PeImageOptions stub;
  stub.versions = {{0x409, FileVersion(6, 3, 4, 0)}};
  stub.textBytes = std::string("MSCF\1\0\0\0not a cabinet", 21);
  return BuildPeImage(stub).bytes + GcabCabinet(work, files);
}

// A stub alone: a package that holds no cabinet.
inline std::string PackageWithoutCabinet() { return BuildPeImage({false, {}, 1, "no cabinet here"}).bytes; }

// The names stored in a cabinet and the content of each, read by cabextract.
inline std::map<std::string, std::string> CabextractFiles(const std::filesystem::path& cabinet,
                                                          const std::filesystem::path& work) {
  const std::filesystem::path out = work / "cabextract-out";
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  std::map<std::string, std::string> files;
  if (RunCommand("cabextract -q -d '" + out.string() + "' '" + cabinet.string() + "' >/dev/null 2>&1") != 0) {
    return files;
  }
  for (const auto& entry : std::filesystem::recursive_directory_iterator(out)) {
    if (entry.is_regular_file()) files[entry.path().lexically_relative(out).string()] = ReadFile(entry.path());
  }
  std::filesystem::remove_all(out);
  return files;
}

}  // namespace kolvenar::test
