// Tessaly tests: the real window, driven through its widgets.
#include "app/qt/frm_main.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "app/qt/frm_compress_set.h"
#include "app/qt/photo_list_view.h"
#include "qt/qt_test_support.h"
#include "support/test_support.h"

namespace tessaly {
namespace {

using testing::ImageSize;
using testing::MessageAnswer;
using testing::ModalAnswer;
using testing::ScriptedServices;
using testing::TempDir;
using testing::WritePhoto;
namespace fs = std::filesystem;

class Window : public ::testing::Test {
 protected:
  void SetUp() override {
    window = std::make_unique<TFrmMain>(services);
    window->show();
  }
  void TearDown() override { window.reset(); }

  QString Cell(int row, int column) const { return window->ListView->item(row, column)->text(); }
  void Type(QLineEdit* edit, const char* text) {
    edit->clear();
    QTest::keyClicks(edit, text);
  }
  void AddPhotos(const std::vector<std::string>& paths) {
    services.files = paths;
    window->BtnAddFile->click();
  }

  TempDir dir;
  ScriptedServices services;
  std::unique_ptr<TFrmMain> window;
};

TEST_F(Window, AddsPhotosResizesConvertsAndOffersTheOutputFolder) {
  const std::string a = dir.File("a.bmp"), b = dir.File("b.bmp"), out = dir.File("out");
  WritePhoto(a, 64, 48);
  WritePhoto(b, 30, 90);
  fs::create_directory(out);

  AddPhotos({a, b});
  ASSERT_EQ(window->ListView->rowCount(), 2);
  EXPECT_EQ(Cell(0, 0), "a.bmp");
  EXPECT_EQ(Cell(0, 1), "64 * 48");
  EXPECT_EQ(Cell(0, 2), QString::number((fs::file_size(a) + 1023) / 1024) + "KB");
  EXPECT_EQ(Cell(0, 3), QString::fromStdString(dir.Path() + "/"));
  EXPECT_EQ(Cell(1, 1), "30 * 90");

  window->BtnNext1->click();
  ASSERT_EQ(window->pages->currentIndex(), 1);
  Type(window->EdtWidth, "40");
  Type(window->EdtHeight, "30");
  window->BtnNext2->click();
  ASSERT_EQ(window->pages->currentIndex(), 2);
  window->ChkConvFmt->click();
  window->CmbFormat->setCurrentIndex(window->CmbFormat->findText("*.png"));
  window->ChkOutFld->click();
  services.folder = out;
  window->BtnBrow->click();
  EXPECT_EQ(window->EdtPath->text().toStdString(), out);

  // While the run goes, only the progress dialog answers.
  struct During {
    bool finish_enabled, add_enabled, progress_shown;
    QString progress_title;
  };
  std::vector<During> during;
  services.on_photo = [&](const TBatchPhotoReport&) {
    TProgressDialog* progress = services.Progress();
    during.push_back({window->BtnDo->isEnabled(), window->BtnAddFile->isEnabled(),
                      progress != nullptr && progress->isVisible(),
                      progress != nullptr ? progress->windowTitle() : QString()});
    window->BtnDo->click();  // a second run cannot start
  };
  MessageAnswer final_message(QMessageBox::Ok);
  window->BtnDo->click();

  ASSERT_EQ(during.size(), 2u) << "one report per photo, no second run";
  for (const During& d : during) {
    EXPECT_FALSE(d.finish_enabled);
    EXPECT_FALSE(d.add_enabled);
    EXPECT_EQ(d.progress_title, "Processing...");
  }
  // The last photo brought the dialog to its maximum, which closed it.
  EXPECT_TRUE(during[0].progress_shown);
  EXPECT_FALSE(during[1].progress_shown);
  EXPECT_TRUE(final_message.text.contains(QString::fromStdString(out)));
  EXPECT_TRUE(final_message.text.endsWith("Click OK to view the directory."));
  EXPECT_TRUE(final_message.had_cancel);
  EXPECT_EQ(services.opened, std::vector<std::string>{out});
  EXPECT_EQ(ImageSize(out + "/a.png"), std::make_pair(40, 30));
  EXPECT_EQ(ImageSize(out + "/b.png"), std::make_pair(40, 30));
  EXPECT_TRUE(fs::exists(dir.File("backup/a.bmp")));
  // Everything comes back when the run has ended.
  EXPECT_FALSE(window->Form().Running());
  EXPECT_TRUE(window->BtnDo->isEnabled());
  EXPECT_TRUE(window->BtnLast3->isEnabled());
  EXPECT_EQ(services.Progress(), nullptr);
}

TEST_F(Window, ClosingTheWindowOrCancellingEndsARunEarly) {
  const std::vector<std::string> photos = {dir.File("a.bmp"), dir.File("b.bmp"), dir.File("c.bmp")};
  for (const std::string& photo : photos) WritePhoto(photo, 20, 20);
  struct Case {
    const char* name;
    std::function<void(TFrmMain&, ScriptedServices&)> stop;
    bool window_closes;
  };
  const Case cases[] = {
      {"Cancel pressed", [](TFrmMain&, ScriptedServices& s) { s.Progress()->CancelButton()->click(); }, false},
      {"progress dialog closed", [](TFrmMain&, ScriptedServices& s) { s.Progress()->close(); }, false},
      {"window closed", [](TFrmMain& w, ScriptedServices&) { w.close(); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    window = std::make_unique<TFrmMain>(services);
    window->show();
    AddPhotos(photos);
    int reports = 0;
    services.on_photo = [&](const TBatchPhotoReport&) {
      if (++reports == 1) c.stop(*window, services);
    };
    MessageAnswer no_message(QMessageBox::Ok);
    window->BtnDo->click();
    QApplication::processEvents();
    EXPECT_TRUE(window->Form().LastRun().Cancelled);
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(no_message.Answered(), 0) << "a cancelled run ends without the final message";
    EXPECT_EQ(window->isVisible(), !c.window_closes);
    EXPECT_TRUE(window->BtnDo->isEnabled());
  }
}

TEST_F(Window, MessagesAndErrorsThatEndAnAction) {
  const std::string missing = dir.File("missing.jpg");
  struct Case {
    const char* name;
    std::function<void(TFrmMain&, ScriptedServices&)> act;
    std::string text;
    QMessageBox::Icon icon;
  };
  auto finish_with_width = [](const char* width) {
    return [width](TFrmMain& w, ScriptedServices&) {
      w.EdtWidth->setText(width);
      w.BtnDo->click();
    };
  };
  const Case cases[] = {
      {"About", [](TFrmMain& w, ScriptedServices&) { w.BtnAbout->click(); }, "Tessaly Version 2.0",
       QMessageBox::Information},
      {"a width that is not a number", finish_with_width("abc"), "'abc' is not a valid integer value",
       QMessageBox::Critical},
      {"a width of 0", finish_with_width("0"), "The width and height must each be at least 1 pixel.",
       QMessageBox::Critical},
      {"a file that cannot be opened",
       [&missing](TFrmMain& w, ScriptedServices& s) {
         s.files = {missing};
         w.BtnAddFile->click();
       },
       "Cannot open file \"" + missing + "\". No such file or directory.", QMessageBox::Critical},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MessageAnswer message(QMessageBox::Ok);
    c.act(*window, services);
    EXPECT_EQ(message.text.toStdString(), c.text);
    EXPECT_EQ(message.icon, c.icon);
    EXPECT_FALSE(message.had_cancel);
    EXPECT_TRUE(window->pages->isEnabled());
    EXPECT_TRUE(window->BtnDo->isEnabled());
  }
}

TEST_F(Window, EnablingRulesReachTheWidgetsAndDisabledControlsKeepTheirContent) {
  TFrmMain& w = *window;
  struct Step {
    const char* name;
    std::function<void()> act;
    std::vector<std::pair<QWidget*, bool>> enabled;
  };
  const Step steps[] = {
      {"design-time states", [] {},
       {{w.EdtWidth, true}, {w.EdtHeight, true}, {w.GrpStyle, false}, {w.EdtLessThan, false},
        {w.CmbFormat, false}, {w.EdtPath, false}, {w.BtnBrow, false}, {w.EdtPostfix, false}}},
      {"a preset size", [&] { w.CmbZoomSize->setCurrentIndex(w.CmbZoomSize->findText("800 x 600")); },
       {{w.EdtWidth, false}, {w.EdtHeight, false}}},
      {"size limit checked", [&] { w.ChkFileSize->click(); }, {{w.EdtLessThan, true}, {w.EdtWidth, false}}},
      {"size limit unchecked with 800 x 600", [&] { w.ChkFileSize->click(); },
       {{w.EdtLessThan, false}, {w.EdtWidth, true}, {w.EdtHeight, true}, {w.CmbZoomSize, true}}},
      {"keep zoom ratio", [&] { w.ChkKeepZoom->click(); }, {{w.GrpStyle, true}}},
      {"convert format", [&] { w.ChkConvFmt->click(); }, {{w.CmbFormat, true}}},
      {"output to below folder",
       [&] {
         w.ChkOutFld->click();
         Type(w.EdtPath, "/srv/photos");
       },
       {{w.EdtPath, true}, {w.BtnBrow, true}}},
      {"back to the original folder", [&] { w.ChkOutOrgFld->click(); }, {{w.EdtPath, false}, {w.BtnBrow, false}}},
      {"add postfix", [&] { w.CmbFilename->setCurrentIndex(2); }, {{w.EdtPostfix, true}}},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    for (const auto& [widget, enabled] : step.enabled) EXPECT_EQ(widget->isEnabled(), enabled) << widget->objectName().toStdString();
  }
  EXPECT_EQ(w.EdtPath->text(), "/srv/photos");
  EXPECT_EQ(w.Form().Controls().EdtPath.Text, "/srv/photos");
  EXPECT_FALSE(w.ChkConvFmt->isChecked() == w.ChkOrgFmt->isChecked());
  // Clicking the chosen radio button again keeps it chosen.
  w.ChkOutOrgFld->click();
  EXPECT_TRUE(w.ChkOutOrgFld->isChecked());
  EXPECT_TRUE(w.Form().Controls().ChkOutOrgFld.Checked);
}

TEST_F(Window, CompressionDialogStoresOnOkAndCancelUnchecksUseCompress) {
  struct Shown {
    int slider = -1, spin = -1, png_index = -2, gif_index = -2;
    QString png, gif_placeholder;
  };
  auto read = [](TFrmCompressSet& d) {
    return Shown{d.TbJpg->value(), d.EdtJpg->value(), d.CmbPngCompressLvl->currentIndex(),
                 d.CmbGifColorNum->currentIndex(), d.CmbPngCompressLvl->currentText(),
                 d.CmbGifColorNum->placeholderText()};
  };
  Shown first, second;
  int typed_slider = -1, stepped_slider = -1, moved_spin = -1;
  {
    ModalAnswer answer([&](QWidget* modal) {
      auto& d = *dynamic_cast<TFrmCompressSet*>(modal);
      first = read(d);
      d.EdtJpg->selectAll();
      QTest::keyClicks(d.EdtJpg, "42");
      typed_slider = d.TbJpg->value();
      d.EdtJpg->stepUp();
      stepped_slider = d.TbJpg->value();
      d.TbJpg->setValue(75);
      moved_spin = d.EdtJpg->value();
      d.CmbPngCompressLvl->setCurrentIndex(d.CmbPngCompressLvl->findText("6"));
      d.CmbGifColorNum->setCurrentIndex(d.CmbGifColorNum->findText("32"));
      d.BtnOK->click();
    });
    window->ChkCompress->click();
    ASSERT_EQ(answer.Answered(), 1);
  }
  EXPECT_EQ(first.slider, 0);
  EXPECT_EQ(first.spin, 0);
  EXPECT_EQ(first.png, "0");
  EXPECT_EQ(first.gif_index, -1);
  EXPECT_EQ(first.gif_placeholder, "256");
  EXPECT_EQ(typed_slider, 42);
  EXPECT_EQ(stepped_slider, 52);
  EXPECT_EQ(moved_spin, 75);
  TMainForm& form = window->Form();
  EXPECT_EQ(std::make_tuple(form.FJpegQuality, form.FPngLevel, form.FGifColors), std::make_tuple(75, 6, 32));
  EXPECT_TRUE(window->ChkCompress->isChecked());

  window->ChkCompress->click();  // unchecking opens nothing
  EXPECT_FALSE(window->ChkCompress->isChecked());
  {
    ModalAnswer answer([&](QWidget* modal) {
      auto& d = *dynamic_cast<TFrmCompressSet*>(modal);
      second = read(d);
      d.TbJpg->setValue(10);
      d.BtnCancel->click();
    });
    window->ChkCompress->click();
    ASSERT_EQ(answer.Answered(), 1);
  }
  EXPECT_EQ(second.slider, 75);
  EXPECT_EQ(second.png, "6");
  EXPECT_EQ(second.gif_index, 4);
  EXPECT_FALSE(window->ChkCompress->isChecked());
  EXPECT_FALSE(form.Controls().ChkCompress.Checked);
  EXPECT_EQ(std::make_tuple(form.FJpegQuality, form.FPngLevel, form.FGifColors), std::make_tuple(75, 6, 32));
}

TEST_F(Window, DeleteRemovesTheSelectedRowsFromViewAndList) {
  std::vector<std::string> photos;
  for (int i = 0; i < 5; ++i) {
    photos.push_back(dir.File("p" + std::to_string(i) + ".bmp"));
    WritePhoto(photos.back(), 8 + i, 8);
  }
  AddPhotos(photos);
  ASSERT_EQ(window->ListView->rowCount(), 5);
  for (int row : {1, 3}) {
    window->ListView->selectionModel()->select(window->ListView->model()->index(row, 0),
                                               QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
  window->BtnDelete->click();
  const QStringList expected = {"p0.bmp", "p2.bmp", "p4.bmp"};
  ASSERT_EQ(window->ListView->rowCount(), 3);
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(Cell(row, 0), expected[row]);
    EXPECT_EQ(window->Form().PhotoList().GetCopy(row).PhotoPath, dir.File(expected[row].toStdString()));
  }
  window->BtnClear->click();
  EXPECT_EQ(window->ListView->rowCount(), 0);
  EXPECT_EQ(window->Form().PhotoList().Count(), 0);
}

TEST_F(Window, DroppedFilesAndFoldersAreAddedOtherDataIsRefused) {
  const std::string single = dir.File("single.bmp");
  WritePhoto(single, 10, 10);
  fs::create_directory(dir.File("folder"));
  WritePhoto(dir.File("folder/inner.bmp"), 12, 12);
  testing::WriteFileBytes(dir.File("folder/notes.txt"), {'h', 'i'});

  QWidget* target = window->ListView->viewport();
  const QPoint centre = target->rect().center();
  QMimeData text_only;
  text_only.setText("not a file");
  QDragEnterEvent refused(centre, Qt::CopyAction, &text_only, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &refused);
  EXPECT_FALSE(refused.isAccepted());

  QMimeData files;
  files.setUrls({QUrl::fromLocalFile(QString::fromStdString(single)),
                 QUrl::fromLocalFile(QString::fromStdString(dir.File("folder")))});
  QDragEnterEvent enter(centre, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(centre), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  QApplication::processEvents();
  ASSERT_EQ(window->ListView->rowCount(), 2);
  EXPECT_EQ(Cell(0, 0), "single.bmp");
  EXPECT_EQ(Cell(1, 0), "inner.bmp");
  EXPECT_EQ(Cell(1, 1), "12 * 12");
}

}  // namespace
}  // namespace tessaly
