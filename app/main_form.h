// Tessaly: the main form's logic, free of any toolkit: the photo list, the
// controls' state, the stored compression settings and the event handlers.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "app/photo_list.h"
#include "app/ui_services.h"
#include "app/wizard_controls.h"

namespace tessaly {

/// A text that is not a whole number: "'%s' is not a valid integer value".
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
/// Settings that cannot make a run (a size of 0), refused before it starts.
class EBatchSettings : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// The integer value of a text as the toolkit converts it (leading blanks
/// and a sign allowed); raises EConvertError.
int StrToInt(const std::string& text);

/// Counts of one batch run, for front ends that summarise.
struct TBatchSummary {
  int Written = 0;
  int Skipped = 0;
  int Failed = 0;
  bool Cancelled = false;
  bool Started = false;
  std::string LastOutputFolder;
};

class TMainForm {
 public:
  explicit TMainForm(TUiServices& services);
  ~TMainForm();
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  TWizardControls& Controls() { return controls_; }
  TOpList& PhotoList() { return photo_list_; }
  TUiServices& Services() { return services_; }

  // ---- stored compression settings (changed only by the dialog's OK)
  int FJpegQuality = 0;
  int FPngLevel = 0;
  int FGifColors = 0;
  bool FCancelled = false;

  // ---- handlers
  void FormShow() { controls_.Page = 0; }
  void AboutClick();
  void BrowClick();
  void CompressClick();
  void AddFileClick();
  void AddFolderClick();
  /// Adds files as Add File does and folders as Add Folder does (drops, the command line).
  void AddPaths(const std::vector<std::string>& paths);
  void DeleteClick();
  void ClearClick();
  /// "Finish": runs the batch unless one is running already.
  void DoClick();
  void RefreshPhotoView();

  bool Running() const { return running_; }
  const TBatchSummary& LastRun() const { return last_run_; }

  /// The batch run behind "Finish" (batch_run.cpp). Errors that end the run
  /// propagate to the caller, which reports them.
  void RunBatch();

 private:
  void AddFiles(const std::vector<std::string>& names);
  void AddFolder(const std::string& folder);

  TUiServices& services_;
  TWizardControls controls_;
  TOpList photo_list_;
  bool running_ = false;
  TBatchSummary last_run_;
};

/// The filter list of the file-open dialog, general image files first.
const std::vector<TFileFilter>& ImageFileFilters();

/// ceil(bytes / 1024) of a file, opened for reading; raises the open error.
std::string FileSizeKBText(const std::string& path);

/// "Your image has been output to the following directory:\r<folder>\rClick OK to view the directory."
std::string FinalMessageText(const std::string& folder);

constexpr const char* kAboutText = "Tessaly Version 2.0";

}  // namespace tessaly
