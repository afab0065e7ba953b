// Tessaly tests: helpers for driving the real window.
#pragma once

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

#include "app/qt/qt_services.h"
#include "io/image_holder.h"
#include "io/image_io.h"

namespace tessaly::testing {

/// The window's services with the pickers answered by the test and the
/// file manager replaced by a record.
class ScriptedServices : public TQtServices {
 public:
  std::vector<std::string> files;    // what the file-open dialog returns
  std::string folder;                // what the folder picker returns
  std::vector<std::string> opened;   // folders that would have been shown
  std::vector<TFileFilter> filters;  // what the file-open dialog was given
  std::function<void(const TBatchPhotoReport&)> on_photo;

  bool OpenImageDialog(const std::vector<TFileFilter>& given, std::vector<std::string>& names) override {
    filters = given;
    names = files;
    return !files.empty();
  }
  std::string BrowseForFolder() override { return folder; }
  void OpenFolder(const std::string& shown) override { opened.push_back(shown); }
  void PhotoFinished(const TBatchPhotoReport& report) override {
    if (on_photo) on_photo(report);
  }
};

/// Answers the next modal dialog (a message box, the compression dialog)
/// from inside the loop that dialog runs; stops looking when destroyed.
class ModalAnswer {
 public:
  explicit ModalAnswer(std::function<void(QWidget*)> answer) : answer_(std::move(answer)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr) return;
      timer_.stop();
      ++answered_;
      answer_(modal);
    });
    timer_.start(10);
  }
  int Answered() const { return answered_; }

 private:
  std::function<void(QWidget*)> answer_;
  QTimer timer_;
  int answered_ = 0;
};

/// Answers the next message box with one of its buttons and keeps what it showed.
class MessageAnswer : public ModalAnswer {
 public:
  explicit MessageAnswer(QMessageBox::StandardButton button)
      : ModalAnswer([this, button](QWidget* modal) {
          auto* box = qobject_cast<QMessageBox*>(modal);
          if (box == nullptr) {
            modal->close();
            return;
          }
          text = box->text();
          icon = box->icon();
          had_cancel = box->button(QMessageBox::Cancel) != nullptr;
          box->button(button)->click();
        }) {}

  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  bool had_cancel = false;
};

/// A width x height 24-bit BMP.
inline void WritePhoto(const std::string& path, int width, int height) {
  TImageHolder holder;
  if (!holder.Bitmap().Allocate(width, height, im24RGB)) return;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      holder.Bitmap().SetPixelRGB(x, y, TRGB{40, static_cast<uint8_t>(y), static_cast<uint8_t>(x)});
    }
  }
  holder.IO().SaveFile(path);
}

/// Width and height of an image file, or 0 x 0 when it does not load.
inline std::pair<int, int> ImageSize(const std::string& path) {
  TImageHolder holder;
  holder.IO().LoadFile(path);
  if (holder.IO().Aborted) return {0, 0};
  return {holder.Bitmap().Width(), holder.Bitmap().Height()};
}

}  // namespace tessaly::testing
