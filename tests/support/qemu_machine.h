// QemuMachine: a PC (qemu-system-i386, SeaBIOS) for boot tests. It runs without
// a display; keys are typed through the QEMU monitor (`sendkey`) and the screen
// is read from the VGA text buffer (`pmemsave`). Every wait is bounded, and the
// machine is ended through its own process id. Header-only so that any test
// area can use it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace kolvenar::test {

class QemuMachine {
 public:
  static constexpr const char* kProgram = "qemu-system-i386";
  static constexpr int kRows = 25;
  static constexpr int kColumns = 80;

  // `workDir` receives the monitor socket, the screen dumps and QEMU's log.
  explicit QemuMachine(std::filesystem::path workDir) : m_workDir(std::move(workDir)) {}
  ~QemuMachine() { Stop(); }
  QemuMachine(const QemuMachine&) = delete;
  QemuMachine& operator=(const QemuMachine&) = delete;

  // Boots the CD image (CD first and only: a CD that does not boot stops at
  // "No bootable device."), with `hardDisk` as the first hard disk when given.
  // A reset or crash pauses the machine, so its last screen stays readable.
  bool Start(const std::filesystem::path& cdImage, const std::optional<std::filesystem::path>& hardDisk,
             std::string* error) {
    const std::string socketPath = (m_workDir / "monitor.sock").string();
    std::vector<std::string> args = {kProgram,
                                     "-accel", "tcg",
                                     "-m", "32",
                                     "-nodefaults", "-vga", "std",
                                     "-display", "none",
                                     "-monitor", "unix:" + socketPath + ",server=on,wait=off",
                                     "-boot", "order=d,strict=on",
                                     "-action", "reboot=shutdown,shutdown=pause",
                                     "-drive", "file=" + cdImage.string() + ",media=cdrom,if=ide,index=2,readonly=on"};
    if (hardDisk) {
      args.push_back("-drive");
      args.push_back("file=" + hardDisk->string() + ",format=raw,if=ide,index=0");
    }
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    const std::string logPath = (m_workDir / "qemu.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int rc = posix_spawnp(&m_pid, kProgram, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
      m_pid = -1;
      *error = std::string("cannot start ") + kProgram + ": " + std::strerror(rc);
      return false;
    }

    // The socket appears once QEMU has set the machine up.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      if (ConnectMonitor(socketPath)) break;
      if (!Running()) {
        *error = "QEMU ended at start-up: " + ReadLog();
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (m_monitor < 0 || !ReadUntilPrompt(nullptr)) {
      *error = "no QEMU monitor on " + socketPath + ": " + ReadLog();
      return false;
    }
    return true;
  }

  // Ends QEMU through its process id (TERM, then KILL) and reaps it.
  void Stop() {
    if (m_monitor >= 0) {
      ::close(m_monitor);
      m_monitor = -1;
    }
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    for (int i = 0; i < 50; ++i) {
      if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
        m_pid = -1;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

  // Types one key ("b", "ret", "shift-b", "ctrl"), held for `holdMs` when given.
  bool SendKey(const std::string& key, int holdMs = 0) {
    return Command("sendkey " + key + (holdMs > 0 ? " " + std::to_string(holdMs) : ""));
  }

  // The 80 x 25 text screen, one line per row, trailing blanks removed.
  std::vector<std::string> ScreenLines() {
    std::vector<std::string> lines;
    const std::filesystem::path dump = m_workDir / "screen.bin";
    std::error_code ec;
    std::filesystem::remove(dump, ec);
    if (!Command("pmemsave 0xb8000 " + std::to_string(kRows * kColumns * 2) + " \"" + dump.string() + "\"")) {
      return lines;
    }
    std::ifstream in(dump, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() < static_cast<size_t>(kRows * kColumns * 2)) return lines;
    for (int row = 0; row < kRows; ++row) {
      std::string line;
      for (int column = 0; column < kColumns; ++column) {
        const char c = bytes[(row * kColumns + column) * 2];
        line.push_back(c == '\0' ? ' ' : c);
      }
      line.erase(line.find_last_not_of(' ') + 1);
      lines.push_back(line);
    }
    m_lastScreen = lines;
    return lines;
  }

  std::string ScreenText() { return Join(ScreenLines()); }

  // Polls the screen until `done` holds for its text or `timeout` passes.
  bool WaitForScreen(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    do {
      if (done(ScreenText())) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    } while (std::chrono::steady_clock::now() < deadline && Running());
    return done(ScreenText());
  }

  bool WaitForText(const std::string& text, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    return WaitForScreen([&](const std::string& screen) { return screen.find(text) != std::string::npos; },
                         timeout);
  }

  // The last screen read, framed, for failure messages.
  std::string LastScreenDump() const {
    std::ostringstream out;
    out << "\n+" << std::string(kColumns, '-') << "+\n";
    for (const std::string& line : m_lastScreen) out << "|" << line << std::string(kColumns - line.size(), ' ') << "|\n";
    out << "+" << std::string(kColumns, '-') << "+\n";
    return out.str();
  }

  bool Running() {
    if (m_pid <= 0) return false;
    if (::waitpid(m_pid, nullptr, WNOHANG) == m_pid) {
      m_pid = -1;
      return false;
    }
    return true;
  }

  static std::string Join(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
  }

 private:
  bool ConnectMonitor(const std::string& socketPath) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      ::close(fd);
      return false;
    }
    m_monitor = fd;
    return true;
  }

  // Sends one monitor command and waits for the next prompt, so that the
  // command has been carried out when this returns.
  bool Command(const std::string& command) {
    if (m_monitor < 0) return false;
    const std::string line = command + "\n";
    if (::send(m_monitor, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) return false;
    return ReadUntilPrompt(nullptr);
  }

  bool ReadUntilPrompt(std::string* output) {
    std::string received;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (received.find("(qemu) ") == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd p{m_monitor, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[4096];
      const ssize_t got = ::recv(m_monitor, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      received.append(buffer, static_cast<size_t>(got));
    }
    if (output != nullptr) *output = received;
    return true;
  }

  std::string ReadLog() const {
    std::ifstream in(m_workDir / "qemu.log");
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  std::filesystem::path m_workDir;
  pid_t m_pid = -1;
  int m_monitor = -1;
  std::vector<std::string> m_lastScreen;
};

}  // namespace kolvenar::test
