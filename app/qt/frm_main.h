// Tessaly: the main window, a three-step wizard over TMainForm.
#pragma once

#include <QWidget>

#include <functional>

#include "app/main_form.h"

class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QCheckBox;
class QRadioButton;
class QStackedWidget;

namespace tessaly {

class TPhotoListView;
class TQtServices;

/// The window: its widgets mirror the controls' state kept by TMainForm.
/// A widget's signal writes that state and runs its rule, then every widget
/// is brought in line with the state again.
class TFrmMain : public QWidget {
 public:
  explicit TFrmMain(TQtServices& services, QWidget* parent = nullptr);
  ~TFrmMain() override;

  TMainForm& Form() { return form_; }
  /// Brings every widget in line with the controls' state.
  void SyncFromModel();
  /// Runs a handler of the form; an error that escapes it is shown in an
  /// error box. The widgets are refreshed however it ends.
  void Handle(const std::function<void()>& handler);

  QStackedWidget* pages;
  // page 1
  QPushButton *BtnAddFile, *BtnAddFolder, *BtnDelete, *BtnClear, *BtnAbout, *BtnNext1;
  TPhotoListView* ListView;
  // page 2
  QComboBox* CmbZoomSize;
  QLineEdit *EdtWidth, *EdtHeight, *EdtLessThan;
  QCheckBox *ChkKeepZoom, *ChkNoZoomSmall, *ChkFileSize;
  QGroupBox* GrpStyle;
  QRadioButton* GrpStyleItems[2];
  QPushButton *BtnLast2, *BtnNext2;
  // page 3
  QRadioButton *ChkOrgFmt, *ChkConvFmt, *ChkOutOrgFld, *ChkOutFld;
  QComboBox *CmbFormat, *CmbFilename;
  QLineEdit *EdtPath, *EdtPostfix;
  QPushButton *BtnBrow, *BtnLast3, *BtnDo;
  QCheckBox *ChkBackup, *ChkCompress, *ChkAntialias;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  QWidget* BuildSelectPage();
  QWidget* BuildResizePage();
  QWidget* BuildOutputPage();
  /// The step captions with their icons and the page's buttons, along the bottom.
  QLayout* BuildBottomRow(QWidget* page, int index, QPushButton* first, QPushButton* second);
  void Connect();
  void FinishClicked();

  TWizardControls& C() { return form_.Controls(); }

  TQtServices& services_;
  TMainForm form_;
  bool syncing_ = false;
  bool shown_ = false;
  bool close_after_run_ = false;
};

}  // namespace tessaly
