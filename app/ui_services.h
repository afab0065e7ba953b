// Tessaly: what the wizard's logic asks of the user interface and the desktop.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tessaly {

class TCompressSetModel;

enum class TMessageKind { mkInformation, mkWarning, mkError };
enum class TMessageButtons { mbOK, mbOKCancel };

/// Results of a modal dialog or message box.
constexpr int kResultOK = 1;
constexpr int kResultCancel = 2;

/// One entry of the file-open dialog's filter list.
struct TFileFilter {
  std::string Caption;
  std::vector<std::string> Patterns;  // "*.jpg"
};

/// One photo's outcome in a run, for front ends that report per photo.
struct TBatchPhotoReport {
  enum TOutcome { kWritten, kSkipped, kFailed };
  int Index = 0;
  std::string PhotoPath;
  TOutcome Outcome = kWritten;
  std::string OutputPath;  // for kWritten
  int Width = 0, Height = 0;
  std::string Reason;      // for kSkipped and kFailed
};

/// The toolkit and shell operations the logic relies on. The window
/// implements them with Qt, the command line with the console, the tests
/// with fakes.
class TUiServices {
 public:
  virtual ~TUiServices() = default;

  // ---- progress dialog: on top, not blocking; closes itself at the
  // maximum; raises on_cancel on Cancel or on a close before the end.
  virtual void ProgressShow(const std::string& caption, int maximum, std::function<void()> on_cancel) = 0;
  virtual void ProgressSetValue(int value) = 0;
  /// Closes the dialog if it is still shown (the run ended early).
  virtual void ProgressClose() = 0;

  /// Handles queued input (a press of Cancel among it) before returning.
  virtual void ProcessMessages() = 0;
  /// Returns kResultOK when OK is pressed.
  virtual int MessageBox(const std::string& text, TMessageKind kind, TMessageButtons buttons) = 0;
  /// The chosen folder, or empty on cancel.
  virtual std::string BrowseForFolder() = 0;
  /// False on cancel; otherwise the full names of the chosen files.
  virtual bool OpenImageDialog(const std::vector<TFileFilter>& filters, std::vector<std::string>& names) = 0;
  /// The name as the desktop's file browser shows it.
  virtual std::string DisplayName(const std::string& path) = 0;
  /// Opens a folder in the desktop's file browser; the outcome is not looked at.
  virtual void OpenFolder(const std::string& folder) = 0;
  /// Shows the compression dialog modally; kResultOK or another value.
  virtual int ShowCompressDialog(TCompressSetModel& dialog) = 0;

  // ---- the report-style photo list view
  virtual void ListClear() = 0;
  virtual void ListAddRow(const std::string& caption, const std::string& dimensions,
                          const std::string& size, const std::string& path) = 0;
  virtual void ListDeleteRow(int row) = 0;
  virtual int ListRowCount() = 0;
  virtual bool ListRowSelected(int row) = 0;

  /// Called once per photo of a run with what became of it.
  virtual void PhotoFinished(const TBatchPhotoReport&) {}
};

}  // namespace tessaly
