#include "project/demo_source.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <span>
#include <system_error>
#include <vector>

#include "boot/images/embedded_images.h"
#include "install/cabinet/cabinet.h"
#include "install/file_utils.h"
#include "install/text_encoding.h"
#include "project/install_source.h"

namespace kolvenar {
namespace fs = std::filesystem;
namespace {

// The files setup copies to its boot floppies, by floppy.
struct FloppyFile {
  int floppy;
  const char* name;
  bool compressible;  // stored compressed when the boot files are
};
constexpr FloppyFile kFloppyFiles[] = {
    {0, "disk101", false},     {0, "setupldr.bin", false}, {0, "ntdetect.com", false},
    {0, "txtsetup.sif", false}, {1, "disk102", false},      {1, "biosinfo.inf", true},
    {1, "setupreg.hiv", true},  {1, "ntkrnlmp.exe", true},  {2, "disk103", false},
    {2, "hal.dll", true},       {2, "kbdus.dll", true},     {2, "atapi.sys", true},
};
// Further installation files: always compressed, and always plain.
constexpr const char* kCompressedFiles[] = {"notepad.exe", "setupapi.dll", "eula.txt"};
constexpr const char* kPlainFiles[] = {"winnt32.exe", "system32/smss.exe", "lang/readme.htm"};
constexpr uint64_t kFillerFileSize = 96 * 1024;

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// An INF string value in quotes: inner quotes are doubled.
std::string InfQuoted(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

std::string MajorMinor(const std::string& version) {
  const size_t first = version.find('.');
  const size_t second = first == std::string::npos ? std::string::npos : version.find('.', first + 1);
  return version.substr(0, second);
}

// The compressed name of an installation file: its last character made "_".
std::string CompressedName(std::string name) {
  name.back() = '_';
  return name;
}

class DemoWriter {
 public:
  DemoWriter(const fs::path& folder, const DemoSourceOptions& options) : m_folder(folder), m_options(options) {}

  Status Write();

 private:
  // The name on disk of a file given in lower case ("i386/x.inf").
  fs::path PathOf(const std::string& lowerName) const {
    return m_folder / (m_options.lowerCaseNames ? lowerName : Upper(lowerName));
  }
  Status WriteBytes(const fs::path& path, std::span<const uint8_t> bytes);
  Status WriteText(const std::string& lowerName, const std::string& utf8) {
    const std::string bytes = Utf8ToWindows1252(utf8);
    return WriteBytes(PathOf(lowerName), {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
  }
  Status WriteCompressed(const std::string& lowerName, const std::string& content);
  Status WriteFiller();
  std::string FileContent(const std::string& name) const {
    return "Demo file " + name + " of " + m_options.name + " " + m_options.version + "\r\n";
  }
  std::string DosnetInf() const;
  std::string TxtsetupSif() const;
  std::string ProdspecIni() const;

  fs::path m_folder;
  const DemoSourceOptions& m_options;
};

Status DemoWriter::WriteBytes(const fs::path& path, std::span<const uint8_t> bytes) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return Status::IoError(path.string() + ": cannot be written");
  return Status::Ok();
}

Status DemoWriter::WriteCompressed(const std::string& lowerName, const std::string& content) {
  const fs::path plain = PathOf(lowerName);
  Status status = WriteText(lowerName, content);
  if (!status.ok()) return status;
  std::string failure;
  status = CompressToCabinet(plain, PathOf(CompressedName(lowerName)), fs::path(lowerName).filename().string(),
                             [&failure](const std::string& text) { failure = text; });
  std::error_code ec;
  fs::remove(plain, ec);
  if (!status.ok()) return Status::IoError(PathOf(CompressedName(lowerName)).string() + ": " + status.message());
  if (!failure.empty()) return Status::IoError(PathOf(CompressedName(lowerName)).string() + ": " + failure);
  return Status::Ok();
}

// Files of pseudo-random bytes, different for every product name.
Status DemoWriter::WriteFiller() {
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (unsigned char c : m_options.name) state = (state ^ c) * 0x100000001B3ull;
  std::vector<uint8_t> bytes(kFillerFileSize);
  const uint64_t count = (m_options.fillerBytes + kFillerFileSize - 1) / kFillerFileSize;
  for (uint64_t i = 0; i < count; ++i) {
    for (size_t b = 0; b + 8 <= bytes.size(); b += 8) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      std::memcpy(&bytes[b], &state, 8);
    }
    const std::string name = "i386/filler/f" + std::to_string(i / 500) + "/file" + std::to_string(i) + ".dat";
    Status status = WriteBytes(PathOf(name), bytes);
    if (!status.ok()) return status;
  }
  return Status::Ok();
}

std::string DemoWriter::DosnetInf() const {
  std::string text =
      "[Version]\r\nSignature=\"$Windows NT$\"\r\nDriverVer=07/01/2001," + m_options.version + "\r\n\r\n"
      "[Directories]\r\nd1 = \\\r\n";
  for (int floppy = 0; floppy <= 2; ++floppy) {
    text += "\r\n[FloppyFiles." + std::to_string(floppy) + "]\r\n";
    for (const FloppyFile& file : kFloppyFiles) {
      if (file.floppy == floppy) text += std::string("d1,") + file.name + "\r\n";
    }
  }
  return text;
}

std::string DemoWriter::TxtsetupSif() const {
  return "[Version]\r\nSignature = \"$Windows NT$\"\r\n\r\n"
         "[SetupData]\r\nSetupSourcePath = \"\\\"\r\nMajorVersion = 5\r\nDefaultPath = \\WINDOWS\r\n"
         "LoadIdentifier = %product%\r\n\r\n"
         "[SourceDisksNames]\r\n1 = %cdname%,%cdtagfile%,,\\i386\r\n\r\n"
         "[SourceDisksNames.x86]\r\n1 = %cdname%,%cdtagfile%,,\\i386\r\n_1 = %bootdisk%,\\disk101,,\\\r\n\r\n"
         "[SourceDisksFiles]\r\nntdetect.com = 1,,,,,,_1,1,1\r\nntkrnlmp.exe = 1,,,,,,3_,2,0,0,,1,2\r\n\r\n"
         "[Strings]\r\nproduct = " + InfQuoted(m_options.name) + "\r\ncdname = " + InfQuoted(m_options.name + " CD-ROM") +
         "\r\ncdtagfile = " + InfQuoted(DemoTagFileName(m_options)) + "\r\nbootdisk = \"Setup Boot Disk\"\r\n";
}

std::string DemoWriter::ProdspecIni() const {
  return "[Product Specification]\r\nProduct=" + m_options.name + "\r\nVersion=" + MajorMinor(m_options.version) +
         "\r\n";
}

Status DemoWriter::Write() {
  const std::span<const uint8_t> loader = DemoLoaderImage();
  if (loader.empty()) return Status::NotFound("the demo setup loader is not part of this program");
  Status status;
  auto step = [&status](Status next) {
    if (status.ok()) status = std::move(next);
  };
  step(WriteText("i386/dosnet.inf", DosnetInf()));
  step(WriteText("i386/prodspec.ini", ProdspecIni()));
  step(WriteText("i386/txtsetup.sif", TxtsetupSif()));
  step(WriteBytes(PathOf("i386/setupldr.bin"), loader));
  for (const FloppyFile& file : kFloppyFiles) {
    const std::string name = std::string("i386/") + file.name;
    if (file.name == std::string("setupldr.bin") || file.name == std::string("txtsetup.sif")) continue;
    const std::string content = FileContent(Upper(file.name));
    step(file.compressible && m_options.compressedBootFiles ? WriteCompressed(name, content)
                                                            : WriteText(name, content));
  }
  for (const char* file : kCompressedFiles) step(WriteCompressed(std::string("i386/") + file, FileContent(Upper(file))));
  for (const char* file : kPlainFiles) step(WriteText(std::string("i386/") + file, FileContent(Upper(file))));
  step(WriteText("readme.txt", "Demo install source of " + m_options.name + ", made by kolvenar-cli.\r\n"));
  step(WriteText(Lower(DemoTagFileName(m_options).substr(1)), ""));
  if (m_options.fillerBytes > 0) step(WriteFiller());
  return status;
}

}  // namespace

std::string DemoTagFileName(const DemoSourceOptions& options) {
  std::string digits;
  for (char c : MajorMinor(options.version)) {
    if (c >= '0' && c <= '9') digits += c;
  }
  std::string letters;
  for (char c : MakeSystemId(options.name)) {
    if (std::isalnum(static_cast<unsigned char>(c))) letters += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return "\\win" + digits + letters;
}

Status MakeDemoSource(const fs::path& folder, const DemoSourceOptions& options) {
  std::error_code ec;
  if (fs::exists(folder, ec) && (!fs::is_directory(folder, ec) || !fs::is_empty(folder, ec))) {
    return Status::InvalidArgument(folder.string() + ": not an empty folder; the demo source needs one of its own");
  }
  if (options.name.empty()) return Status::InvalidArgument("the demo source needs a product name");
  return DemoWriter(folder, options).Write();
}

}  // namespace kolvenar
