// Tessaly: the wizard's user-interface and desktop operations on Qt.
#pragma once

#include <QPointer>

#include <string>
#include <vector>

#include "app/qt/progress_dialog.h"
#include "app/ui_services.h"

class QWidget;

namespace tessaly {

class TPhotoListView;

/// Message boxes, dialogs, the progress dialog and the photo list view of
/// the window. The dialogs that pick files are virtual so that a test can
/// answer them.
class TQtServices : public TUiServices {
 public:
  /// The window that owns the dialogs, and its photo list view.
  void Attach(QWidget* owner, TPhotoListView* list_view);
  /// Forgets the window, if it is still the one attached.
  void Detach(QWidget* owner);

  void ProgressShow(const std::string& caption, int maximum, std::function<void()> on_cancel) override;
  void ProgressSetValue(int value) override;
  void ProgressClose() override;
  /// The progress dialog while a run shows it, else nullptr.
  TProgressDialog* Progress() const { return progress_; }

  void ProcessMessages() override;
  int MessageBox(const std::string& text, TMessageKind kind, TMessageButtons buttons) override;
  /// The box for an error that ended an action.
  void ShowError(const std::string& text);
  std::string BrowseForFolder() override;
  bool OpenImageDialog(const std::vector<TFileFilter>& filters, std::vector<std::string>& names) override;
  std::string DisplayName(const std::string& path) override;
  void OpenFolder(const std::string& folder) override;
  int ShowCompressDialog(TCompressSetModel& dialog) override;

  void ListClear() override;
  void ListAddRow(const std::string& caption, const std::string& dimensions, const std::string& size,
                  const std::string& path) override;
  void ListDeleteRow(int row) override;
  int ListRowCount() override;
  bool ListRowSelected(int row) override;

 protected:
  QWidget* Owner() const { return owner_; }

 private:
  QWidget* owner_ = nullptr;
  TPhotoListView* list_view_ = nullptr;
  QPointer<TProgressDialog> progress_;
  // Where the file dialog was last left, for this session only.
  QString last_folder_;
};

}  // namespace tessaly
