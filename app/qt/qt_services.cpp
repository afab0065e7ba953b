// Tessaly: the wizard's user-interface and desktop operations on Qt.
#include "app/qt/qt_services.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "app/qt/frm_compress_set.h"
#include "app/qt/open_image_dialog.h"
#include "app/qt/photo_list_view.h"
#include "app/qt/qt_text.h"

namespace tessaly {

void TQtServices::Attach(QWidget* owner, TPhotoListView* list_view) {
  owner_ = owner;
  list_view_ = list_view;
}

void TQtServices::Detach(QWidget* owner) {
  if (owner_ != owner) return;
  ProgressClose();
  owner_ = nullptr;
  list_view_ = nullptr;
}

void TQtServices::ProgressShow(const std::string& caption, int maximum, std::function<void()> on_cancel) {
  ProgressClose();
  progress_ = new TProgressDialog(ToQt(caption), maximum, std::move(on_cancel), owner_);
  progress_->setAttribute(Qt::WA_DeleteOnClose, false);
  progress_->show();
  progress_->raise();
}

void TQtServices::ProgressSetValue(int value) {
  if (progress_) progress_->SetValue(value);
}

void TQtServices::ProgressClose() {
  if (!progress_) return;
  progress_->Finish();
  progress_->deleteLater();
  progress_ = nullptr;
}

void TQtServices::ProcessMessages() { QCoreApplication::processEvents(); }

int TQtServices::MessageBox(const std::string& text, TMessageKind kind, TMessageButtons buttons) {
  QMessageBox::Icon icon = QMessageBox::Information;
  if (kind == TMessageKind::mkWarning) icon = QMessageBox::Warning;
  if (kind == TMessageKind::mkError) icon = QMessageBox::Critical;
  // The logic breaks lines with a carriage return.
  const QString shown = ToQt(text).replace("\r\n", "\n").replace('\r', '\n');
  QMessageBox box(icon, "Tessaly", shown,
                  buttons == TMessageButtons::mbOKCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                  owner_);
  box.setObjectName("MessageBox");
  box.button(QMessageBox::Ok)->setText("OK");
  if (QAbstractButton* cancel = box.button(QMessageBox::Cancel)) cancel->setText("Cancel");
  return box.exec() == QMessageBox::Ok ? kResultOK : kResultCancel;
}

void TQtServices::ShowError(const std::string& text) { MessageBox(text, TMessageKind::mkError, TMessageButtons::mbOK); }

std::string TQtServices::BrowseForFolder() {
  const QString folder = QFileDialog::getExistingDirectory(owner_, QString(), QDir::homePath(),
                                                           QFileDialog::ShowDirsOnly);
  return folder.isEmpty() ? std::string() : PathFromQt(QDir::toNativeSeparators(folder));
}

bool TQtServices::OpenImageDialog(const std::vector<TFileFilter>& filters, std::vector<std::string>& names) {
  TOpenImageDialog dialog(filters, owner_);
  dialog.setDirectory(last_folder_.isEmpty() ? QDir::homePath() : last_folder_);
  if (dialog.exec() != QDialog::Accepted) return false;
  last_folder_ = dialog.directory().absolutePath();
  names.clear();
  for (const QString& file : dialog.selectedFiles()) names.push_back(PathFromQt(file));
  return !names.empty();
}

std::string TQtServices::DisplayName(const std::string& path) {
  return FromQt(QFileInfo(PathToQt(path)).fileName());
}

void TQtServices::OpenFolder(const std::string& folder) {
  if (folder.empty()) return;
  QDesktopServices::openUrl(QUrl::fromLocalFile(PathToQt(folder)));
}

int TQtServices::ShowCompressDialog(TCompressSetModel& dialog) {
  TFrmCompressSet form(dialog, owner_);
  return form.exec() == QDialog::Accepted ? kResultOK : kResultCancel;
}

void TQtServices::ListClear() {
  if (list_view_) list_view_->setRowCount(0);
}

void TQtServices::ListAddRow(const std::string& caption, const std::string& dimensions, const std::string& size,
                             const std::string& path) {
  if (list_view_) list_view_->AddRow(ToQt(caption), ToQt(dimensions), ToQt(size), PathToQt(path));
}

void TQtServices::ListDeleteRow(int row) {
  if (list_view_) list_view_->removeRow(row);
}

int TQtServices::ListRowCount() { return list_view_ ? list_view_->rowCount() : 0; }

bool TQtServices::ListRowSelected(int row) { return list_view_ && list_view_->RowSelected(row); }

}  // namespace tessaly
