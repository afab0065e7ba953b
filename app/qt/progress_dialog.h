// Tessaly: the progress dialog of a run.
#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tessaly {

/// "Processing..." with a percentage and Cancel. It stays on top without
/// blocking the window, hides itself when the value reaches the maximum, and
/// counts Cancel, Escape or closing it before then as a cancel.
class TProgressDialog : public QDialog {
 public:
  TProgressDialog(const QString& caption, int maximum, std::function<void()> on_cancel, QWidget* owner);

  void SetValue(int value);
  /// Hides the dialog without counting as a cancel.
  void Finish();
  bool Finished() const { return finished_; }

  QProgressBar* Bar() const { return bar_; }
  QPushButton* CancelButton() const { return cancel_; }

  void reject() override;

 private:
  QProgressBar* bar_;
  QPushButton* cancel_;
  int maximum_;
  std::function<void()> on_cancel_;
  bool finished_ = false;
};

}  // namespace tessaly
