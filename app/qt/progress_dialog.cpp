// Tessaly: the progress dialog of a run.
#include "app/qt/progress_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace tessaly {

TProgressDialog::TProgressDialog(const QString& caption, int maximum, std::function<void()> on_cancel,
                                 QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      maximum_(maximum),
      on_cancel_(std::move(on_cancel)) {
  setObjectName("Progress");
  setWindowTitle(caption);
  setWindowModality(Qt::NonModal);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(caption, this));
  bar_ = new QProgressBar(this);
  // An empty run has nothing to count; its bar still shows a range, not a busy strip.
  bar_->setRange(0, std::max(maximum, 1));
  bar_->setValue(0);
  bar_->setFormat("%p%");
  bar_->setMinimumWidth(280);
  layout->addWidget(bar_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  cancel_ = new QPushButton("Cancel", this);
  connect(cancel_, &QPushButton::clicked, this, &TProgressDialog::reject);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  setFixedSize(sizeHint());
}

void TProgressDialog::SetValue(int value) {
  if (finished_) return;
  bar_->setValue(std::min(value, bar_->maximum()));
  if (value >= maximum_) Finish();
}

void TProgressDialog::Finish() {
  finished_ = true;
  hide();
}

void TProgressDialog::reject() {
  if (!finished_ && on_cancel_) on_cancel_();
  finished_ = true;
  QDialog::reject();
}

}  // namespace tessaly
