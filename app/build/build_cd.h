// The build of one CD image: every stage in order, from the install sources to
// the ISO file. The window's "Create CD" and kolvenar-cli's build both drive it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "install/file_utils.h"
#include "install/status.h"
#include "project/project_state.h"

namespace kolvenar {

// Defaults of the Miscellaneous page.
inline constexpr const char* kDefaultVolumeLabel = "WINDOWS";
inline constexpr const char* kDefaultMenuTitle = "Windows Multiboot CD";
inline constexpr const char* kDefaultMenuPrompt = "Please make a selection and press [enter]:";

// The refusal of settings the build cannot start with.
inline constexpr const char* kInvalidSettingsMessage =
    "The volume label, temporary directory, or ISO location you've entered is invalid";
inline constexpr const char* kImageCreatedQuestion = "CD Image Created.\nDelete Temporary Directory?";

// The two lines of the progress window.
enum class StatusLine { kStage, kName };

// What the user sees of a build. Every call comes from the thread running the
// build and returns when it has been carried out (a line shown, a question answered).
class BuildObserver {
 public:
  virtual ~BuildObserver() = default;
  // The checks have passed and the build begins (the progress window replaces the
  // main window); it has ended, successfully or not (the main window returns).
  virtual void BuildStarted() {}
  virtual void BuildEnded() {}
  virtual void SetStatusText(StatusLine line, const std::string& text) = 0;
  // A message with an OK button, and a question with Yes and No.
  virtual void ShowMessage(const std::string& text) = 0;
  virtual bool AskYesNo(const std::string& text) = 0;
  // A problem met by a stage, as it happens; the build goes on.
  virtual void ReportProblem(const std::string& /*text*/) {}
  // Progress of the install-source copy and of the image being written.
  virtual void CopyProgressed(const CopyProgress& /*progress*/) {}
  virtual void ImageProgressed(uint64_t /*written*/, uint64_t /*total*/) {}
};

struct BuildRequest {
  std::vector<SYSTEM_ENTRY> systems;  // in table order: the order the systems are prepared in
  std::vector<int> menuOrder;         // indexes into `systems`, top row of the boot menu first
  std::filesystem::path tempDir;      // the temporary folder; ROOT and BOOTSECTOR.BIN go in it
  std::filesystem::path isoPath;
  std::string volumeLabel = kDefaultVolumeLabel;
  std::string menuTitle = kDefaultMenuTitle;
  std::string menuPrompt = kDefaultMenuPrompt;
};

struct BuildReport {
  bool refused = false;       // a check refused the request: nothing was touched
  bool stopped = false;       // a stage stopped the build before the image
  bool imageWritten = false;  // the ISO file is complete
  bool tempDeleted = false;   // the user had the temporary folder deleted
  std::string failure;        // why the image was not written (empty when it was)
  Problems problems;          // everything that went wrong, in the order met
};

// The request of the project as it stands: g_systems[0, g_systemCount), g_tempDir.
BuildRequest ProjectBuildRequest(std::vector<int> menuOrder, std::filesystem::path isoPath,
                                 std::string volumeLabel, std::string menuTitle, std::string menuPrompt);

// The checks a request must pass before anything is touched; the message to show
// when it does not. Reads the request and the file system only.
Status CheckBuildRequest(const BuildRequest& request);

// Runs a build. The request's systems become the project's table (g_systems,
// g_systemCount, g_tempDir), and each entry's bootDir, installDir and i386Dir are
// stored at its turn. A refused request shows its message and changes nothing.
// Ends with the question whether to delete the temporary folder, which says
// "CD Image Created." only when the image was written. Nothing under ROOT is
// removed first: a second build builds over the first.
BuildReport BuildCd(const BuildRequest& request, BuildObserver& observer);

// The text of the closing question for a build that ended this way.
std::string ClosingQuestion(const BuildReport& report);

}  // namespace kolvenar
