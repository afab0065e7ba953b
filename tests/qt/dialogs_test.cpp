// Tessaly tests: the progress dialog and the file-open dialog.
#include <QFileSystemModel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "app/main_form.h"
#include "app/qt/open_image_dialog.h"
#include "app/qt/progress_dialog.h"
#include "qt/qt_test_support.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using testing::ScriptedServices;
using testing::TempDir;

TEST(ProgressDialog, ClosesItselfAtTheMaximumAndCountsEveryEarlyWayOutAsCancel) {
  struct Case {
    const char* name;
    int maximum;
    std::function<void(TProgressDialog&)> act;
    bool cancelled;
  };
  const Case cases[] = {
      {"reaching the maximum", 3, [](TProgressDialog& d) { for (int v = 1; v <= 3; ++v) d.SetValue(v); }, false},
      {"an empty run", 0, [](TProgressDialog& d) { d.SetValue(0); }, false},
      {"Cancel pressed", 3, [](TProgressDialog& d) { d.CancelButton()->click(); }, true},
      {"closed before the end", 3, [](TProgressDialog& d) { d.close(); }, true},
      {"Escape", 3, [](TProgressDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); }, true},
      {"closed after the end", 2, [](TProgressDialog& d) { d.SetValue(2); d.close(); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int cancels = 0;
    TProgressDialog dialog("Processing...", c.maximum, [&cancels] { ++cancels; }, nullptr);
    dialog.show();
    EXPECT_FALSE(dialog.isModal());
    EXPECT_TRUE(dialog.windowFlags() & Qt::WindowStaysOnTopHint);
    c.act(dialog);
    EXPECT_EQ(cancels, c.cancelled ? 1 : 0);
    EXPECT_FALSE(dialog.isVisible());
  }
}

TEST(ProgressDialog, ShowsThePercentageAndClosingFromTheRunIsNoCancel) {
  ScriptedServices services;
  int cancels = 0;
  services.ProgressShow("Processing...", 3, [&cancels] { ++cancels; });
  ASSERT_NE(services.Progress(), nullptr);
  EXPECT_EQ(services.Progress()->windowTitle(), "Processing...");
  services.ProgressSetValue(1);
  EXPECT_EQ(services.Progress()->Bar()->text(), "33%");
  services.ProgressClose();
  EXPECT_EQ(services.Progress(), nullptr);
  EXPECT_EQ(cancels, 0);
}

/// The names a file dialog lists in a folder once its model has read it.
QStringList ListedFiles(QFileDialog& dialog, const QString& folder) {
  auto* model = dialog.findChild<QFileSystemModel*>();
  if (model == nullptr) return {};
  const QModelIndex root = model->index(folder);
  QStringList names;
  for (int wait = 0; wait < 300; ++wait) {
    QTest::qWait(10);
    if (model->canFetchMore(root)) model->fetchMore(root);
    names.clear();
    for (int row = 0; row < model->rowCount(root); ++row) names << model->fileName(model->index(row, 0, root));
    if (wait > 20 && !names.isEmpty()) break;
  }
  names.sort();
  return names;
}

TEST(OpenImageDialog, ShowsTheCaptionsAsTheyStandAndSelectsByTheirPatterns) {
  TempDir dir;
  for (const char* name : {"a.bmp", "b.JPG", "c.txt", "d.tif", "notes"}) testing::WriteFileBytes(dir.File(name), {1});
  const std::vector<TFileFilter>& filters = ImageFileFilters();
  TOpenImageDialog dialog(filters);
  dialog.setDirectory(QString::fromStdString(dir.Path()));
  dialog.show();
  EXPECT_EQ(dialog.nameFilters().front().toStdString(), filters.front().Caption);
  EXPECT_TRUE(dialog.fileMode() == QFileDialog::ExistingFiles);

  struct Case {
    const char* caption_start;
    QStringList listed;
  };
  const Case cases[] = {
      {"一般图像文件", {"a.bmp", "b.JPG", "d.tif"}},
      {"所有文件", {"a.bmp", "b.JPG", "c.txt", "d.tif", "notes"}},
      {"Windows Bitmap", {"a.bmp"}},
      {"JPEG Bitmap", {"b.JPG"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.caption_start);
    const auto found = std::find_if(filters.begin(), filters.end(),
                                    [&c](const TFileFilter& f) { return f.Caption.rfind(c.caption_start, 0) == 0; });
    ASSERT_NE(found, filters.end());
    dialog.SelectFilter(static_cast<int>(found - filters.begin()));
    EXPECT_EQ(dialog.selectedNameFilter().toStdString(), found->Caption);
    EXPECT_EQ(ListedFiles(dialog, QString::fromStdString(dir.Path())), c.listed);
  }
}

}  // namespace
}  // namespace tessaly
