// A build observer that writes down everything the build shows, in order, and
// answers the closing question as told.
#pragma once

#include <string>
#include <vector>

#include "app/build/build_cd.h"

namespace kolvenar::test {

class RecordingObserver : public BuildObserver {
 public:
  explicit RecordingObserver(bool answerYes = false) : m_answerYes(answerYes) {}

  void BuildStarted() override { events.push_back("started"); }
  void BuildEnded() override { events.push_back("ended"); }
  void SetStatusText(StatusLine line, const std::string& text) override {
    events.push_back((line == StatusLine::kStage ? "stage:" : "name:") + text);
  }
  void ShowMessage(const std::string& text) override {
    events.push_back("message:" + text);
    messages.push_back(text);
  }
  bool AskYesNo(const std::string& text) override {
    events.push_back("question");
    questions.push_back(text);
    return m_answerYes;
  }
  void ReportProblem(const std::string& text) override { problems.push_back(text); }
  void CopyProgressed(const CopyProgress& progress) override { lastCopy = progress; }
  void ImageProgressed(uint64_t written, uint64_t total) override {
    imageWritten = written;
    imageTotal = total;
  }

  std::vector<std::string> events;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::vector<std::string> problems;
  CopyProgress lastCopy;
  uint64_t imageWritten = 0;
  uint64_t imageTotal = 0;

 private:
  bool m_answerYes;
};

}  // namespace kolvenar::test
