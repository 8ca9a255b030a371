#include "boot/mastering_options.h"

#include <cctype>

namespace kolvenar {

bool IsValidVolumeLabel(const std::string& label) {
  if (label.empty() || label.size() > 32) return false;
  for (const char c : label) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  }
  return true;
}

Status ParseMasteringOptions(const std::vector<std::string>& arguments, MasteringOptions* options) {
  MasteringOptions result;
  std::vector<std::string> paths;
  for (const std::string& argument : arguments) {
    if (argument.size() < 2 || argument[0] != '-') {
      paths.push_back(argument);
      continue;
    }
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(argument[1])));
    const std::string value = argument.substr(2);
    switch (letter) {
      case 'L':
        if (!IsValidVolumeLabel(value)) {
          return Status::InvalidArgument("volume label \"" + value +
                                         "\" is not 1 to 32 of the characters A-Z, 0-9 and _");
        }
        result.volumeLabel = value;
        break;
      case 'B':
        if (value.empty()) return Status::InvalidArgument("option -B names no boot file");
        result.bootImage = value;
        break;
      case 'N':
      case 'H':
      case 'M':
      case 'X':
        if (!value.empty()) return Status::InvalidArgument("unknown option " + argument);
        if (letter == 'N') result.longNames = true;
        if (letter == 'H') result.includeHidden = true;
        if (letter == 'M') result.noSizeLimit = true;
        break;
      case 'O':  // -O, -OC, -OI, -OCI: identical files stored once (always compared byte for byte)
        if (value.find_first_not_of("CIci") != std::string::npos) {
          return Status::InvalidArgument("unknown option " + argument);
        }
        result.shareIdenticalFiles = true;
        break;
      case 'Y':  // -Y<letters>: accepted, without effect here
        break;
      default:
        return Status::InvalidArgument("unknown option " + argument);
    }
  }
  if (paths.size() < 2) {
    return Status::InvalidArgument(paths.empty() ? "no root folder and no image file given"
                                                 : "no image file given after the root folder \"" +
                                                       paths[0] + "\"");
  }
  if (paths.size() > 2) {
    return Status::InvalidArgument("unexpected argument \"" + paths[2] + "\" after the root folder \"" +
                                   paths[0] + "\" and the image file \"" + paths[1] + "\"");
  }
  result.root = paths[0];
  result.image = paths[1];
  *options = std::move(result);
  return Status::Ok();
}

}  // namespace kolvenar
