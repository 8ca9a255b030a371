#include "cli/progress_line.h"

#include <unistd.h>

#include <cstdio>

namespace kolvenar::cli {

ProgressLine::ProgressLine() : m_terminal(::isatty(STDOUT_FILENO) == 1) {}

void ProgressLine::Update(uint64_t done, uint64_t total, const std::string& detail) {
  const int percent = total == 0 ? 100 : static_cast<int>(done * 100 / total);
  if (m_terminal) {
    if (percent == m_shownPercent && m_onScreen) return;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::printf("\r  [%s%s] %3d%%  %s\033[K", std::string(static_cast<size_t>(filled), '#').c_str(),
                std::string(static_cast<size_t>(kWidth - filled), '.').c_str(), percent, detail.c_str());
    std::fflush(stdout);
    m_onScreen = true;
    m_shownPercent = percent;
    return;
  }
  const int tenth = percent / 10;
  if (tenth == m_shownTenth) return;
  m_shownTenth = tenth;
  std::printf("  %3d%%  %s\n", percent, detail.c_str());
  std::fflush(stdout);
}

void ProgressLine::Break() {
  if (m_onScreen) std::printf("\n");
  m_onScreen = false;
  m_shownPercent = -1;
  m_shownTenth = -1;
}

std::string FormatBytes(uint64_t bytes) {
  char text[32];
  if (bytes < 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f KB", static_cast<double>(bytes) / 1024.0);
  } else {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  }
  return text;
}

}  // namespace kolvenar::cli
