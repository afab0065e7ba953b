// Tessaly: the multi-select file-open dialog for photos.
#include "app/qt/open_image_dialog.h"

#include <QFileSystemModel>

#include "app/qt/qt_text.h"

namespace tessaly {

TOpenImageDialog::TOpenImageDialog(const std::vector<TFileFilter>& filters, QWidget* parent)
    : QFileDialog(parent), filters_(filters) {
  setObjectName("DlgOpen");
  setWindowTitle("Open");
  setFileMode(QFileDialog::ExistingFiles);
  setAcceptMode(QFileDialog::AcceptOpen);
  // The desktop's own dialog would read the patterns from the captions.
  setOption(QFileDialog::DontUseNativeDialog);
  QStringList captions;
  for (const TFileFilter& filter : filters_) captions << ToQt(filter.Caption);
  setNameFilters(captions);
  connect(this, &QFileDialog::filterSelected, this, &TOpenImageDialog::ApplyFilter);
  if (!filters_.empty()) SelectFilter(0);
}

void TOpenImageDialog::SelectFilter(int index) {
  if (index < 0 || index >= static_cast<int>(filters_.size())) return;
  const QString caption = ToQt(filters_[static_cast<size_t>(index)].Caption);
  selectNameFilter(caption);
  ApplyFilter(caption);
}

void TOpenImageDialog::ApplyFilter(const QString& caption) {
  for (const TFileFilter& filter : filters_) {
    if (ToQt(filter.Caption) != caption) continue;
    QStringList patterns;
    for (const std::string& pattern : filter.Patterns) patterns << ToQt(pattern);
    // "*.*" means every file, as it does on the desktop it comes from; to Qt
    // it would mean names with a dot only.
    if (patterns.contains("*.*")) patterns = QStringList{"*"};
    if (auto* model = findChild<QFileSystemModel*>()) model->setNameFilters(patterns);
    return;
  }
}

}  // namespace tessaly
