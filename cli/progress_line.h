// A progress display for the command line: a bar redrawn in place on a terminal,
// a plain line at every tenth of the way otherwise.
#pragma once

#include <cstdint>
#include <string>

namespace kolvenar::cli {

class ProgressLine {
 public:
  ProgressLine();

  // Shows `done` of `total` with a detail text ("120 of 300 files").
  void Update(uint64_t done, uint64_t total, const std::string& detail);
  // Ends a bar that is on screen, so that the next text starts on a line of its own.
  void Break();

 private:
  bool m_terminal;
  bool m_onScreen = false;
  int m_shownPercent = -1;
  int m_shownTenth = -1;
};

// "12.3 MB" style sizes.
std::string FormatBytes(uint64_t bytes);

}  // namespace kolvenar::cli
