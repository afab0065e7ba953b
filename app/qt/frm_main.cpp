// Tessaly: the main window, a three-step wizard over TMainForm.
#include "app/qt/frm_main.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/qt/icons.h"
#include "app/qt/list_sync.h"
#include "app/qt/photo_list_view.h"
#include "app/qt/qt_services.h"

namespace tessaly {

namespace {

template <typename W, typename... Args>
W* Make(QWidget* parent, const char* name, Args&&... args) {
  auto* widget = new W(std::forward<Args>(args)..., parent);
  widget->setObjectName(name);
  return widget;
}

QLabel* Label(QWidget* parent, const char* text, QWidget* buddy = nullptr) {
  auto* label = new QLabel(text, parent);
  if (buddy != nullptr) label->setBuddy(buddy);
  return label;
}

/// An edit box sized for a few digits.
void NarrowEdit(QLineEdit* edit) { edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance("0000000") + 16); }

}  // namespace

TFrmMain::TFrmMain(TQtServices& services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      services_(services),
      form_(services) {
  setObjectName("FrmMain");
  setWindowTitle("Tessaly");
  setWindowIcon(AppIcon());

  pages = Make<QStackedWidget>(this, "pc");
  pages->addWidget(BuildSelectPage());
  pages->addWidget(BuildResizePage());
  pages->addWidget(BuildOutputPage());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(pages);

  services_.Attach(this, ListView);
  Connect();
  SyncFromModel();
  // The designed size, larger only when the desktop's font needs it; never resizable.
  setFixedSize(sizeHint().expandedTo(QSize(643, 426)));
}

TFrmMain::~TFrmMain() { services_.Detach(this); }

// ------------------------------------------------------------------ pages

QLayout* TFrmMain::BuildBottomRow(QWidget* page, int index, QPushButton* first, QPushButton* second) {
  auto* row = new QHBoxLayout;
  const int side = page->fontMetrics().height();
  for (int step = 0; step < 3; ++step) {
    const TStepState state =
        step == index ? TStepState::kCurrent : (step < index ? TStepState::kPassed : TStepState::kComing);
    auto* icon = new QLabel(page);
    icon->setPixmap(StepIcon(state, page->palette(), side, page->devicePixelRatioF()));
    auto* caption = new QLabel(kStepCaptions[step], page);
    caption->setObjectName(QString("Step%1").arg(step + 1));
    if (state == TStepState::kCurrent) {
      QFont bold = caption->font();
      bold.setBold(true);
      caption->setFont(bold);
    } else if (state == TStepState::kComing) {
      caption->setForegroundRole(QPalette::PlaceholderText);
    }
    row->addWidget(icon);
    row->addWidget(caption);
    row->addSpacing(12);
  }
  row->addStretch();
  row->addWidget(first);
  row->addWidget(second);
  return row;
}

QWidget* TFrmMain::BuildSelectPage() {
  auto* page = new QWidget;
  page->setObjectName("PageSelectPicture");
  const TWizardControls& c = C();
  BtnAddFile = Make<QPushButton>(page, "BtnAddFile", ToQt(c.BtnAddFile.Caption));
  BtnAddFolder = Make<QPushButton>(page, "BtnAddFolder", ToQt(c.BtnAddFolder.Caption));
  BtnDelete = Make<QPushButton>(page, "BtnDelete", ToQt(c.BtnDelete.Caption));
  BtnClear = Make<QPushButton>(page, "BtnClear", ToQt(c.BtnClear.Caption));
  BtnAbout = Make<QPushButton>(page, "BtnAbout", ToQt(c.BtnAbout.Caption));
  BtnNext1 = Make<QPushButton>(page, "BtnNext1", ToQt(c.BtnNext1.Caption));
  ListView = Make<TPhotoListView>(page, "ListView");

  auto* tools = new QHBoxLayout;
  for (QPushButton* button : {BtnAddFile, BtnAddFolder, BtnDelete, BtnClear}) tools->addWidget(button);
  tools->addStretch();
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(tools);
  layout->addWidget(ListView, 1);
  layout->addLayout(BuildBottomRow(page, 0, BtnAbout, BtnNext1));
  return page;
}

QWidget* TFrmMain::BuildResizePage() {
  auto* page = new QWidget;
  page->setObjectName("PageResizeSetting");
  const TWizardControls& c = C();
  CmbZoomSize = Make<QComboBox>(page, "CmbZoomSize");
  EdtWidth = Make<QLineEdit>(page, "EdtWidth");
  EdtHeight = Make<QLineEdit>(page, "EdtHeight");
  ChkKeepZoom = Make<QCheckBox>(page, "ChkKeepZoom", ToQt(c.ChkKeepZoom.Caption));
  GrpStyle = Make<QGroupBox>(page, "GrpStyle", ToQt(c.GrpStyle.Caption));
  for (size_t i = 0; i < 2; ++i) {
    GrpStyleItems[i] = Make<QRadioButton>(GrpStyle, i == 0 ? "GrpStyle0" : "GrpStyle1", ToQt(c.GrpStyle.Items[i]));
  }
  ChkNoZoomSmall = Make<QCheckBox>(page, "ChkNoZoomSmall", ToQt(c.ChkNoZoomSmall.Caption));
  ChkFileSize = Make<QCheckBox>(page, "ChkFileSize", ToQt(c.ChkFileSize.Caption));
  EdtLessThan = Make<QLineEdit>(page, "EdtLessThan");
  BtnLast2 = Make<QPushButton>(page, "BtnLast2", ToQt(c.BtnLast2.Caption));
  BtnNext2 = Make<QPushButton>(page, "BtnNext2", ToQt(c.BtnNext2.Caption));
  for (QLineEdit* edit : {EdtWidth, EdtHeight, EdtLessThan}) NarrowEdit(edit);

  auto* grid = new QGridLayout;
  grid->setColumnStretch(5, 1);
  grid->addWidget(Label(page, "Resize Size:", CmbZoomSize), 0, 0);
  grid->addWidget(CmbZoomSize, 0, 1, 1, 5, Qt::AlignLeft);
  auto* size = new QHBoxLayout;
  size->addWidget(EdtWidth);
  size->addWidget(Label(page, "px", EdtWidth));
  size->addSpacing(16);
  size->addWidget(Label(page, "Height:", EdtHeight));
  size->addWidget(EdtHeight);
  size->addWidget(Label(page, "px", EdtHeight));
  size->addStretch();
  grid->addWidget(Label(page, "Width:", EdtWidth), 1, 0);
  grid->addLayout(size, 1, 1, 1, 5);

  auto* style = new QHBoxLayout(GrpStyle);
  style->addWidget(GrpStyleItems[0]);
  style->addSpacing(24);
  style->addWidget(GrpStyleItems[1]);
  style->addStretch();

  auto* limit = new QHBoxLayout;
  limit->addSpacing(24);
  limit->addWidget(Label(page, "Less than:", EdtLessThan));
  limit->addWidget(EdtLessThan);
  limit->addWidget(Label(page, "KB", EdtLessThan));
  limit->addStretch();

  auto* layout = new QVBoxLayout(page);
  layout->addLayout(grid);
  layout->addSpacing(8);
  layout->addWidget(ChkKeepZoom);
  auto* indented = new QHBoxLayout;
  indented->addSpacing(24);
  indented->addWidget(GrpStyle);
  indented->addStretch();
  layout->addLayout(indented);
  layout->addSpacing(8);
  layout->addWidget(ChkNoZoomSmall);
  layout->addWidget(ChkFileSize);
  layout->addLayout(limit);
  layout->addStretch();
  layout->addLayout(BuildBottomRow(page, 1, BtnLast2, BtnNext2));
  return page;
}

QWidget* TFrmMain::BuildOutputPage() {
  auto* page = new QWidget;
  page->setObjectName("PageOutputSetting");
  const TWizardControls& c = C();

  auto* format = new QGroupBox("Output Format", page);
  ChkOrgFmt = Make<QRadioButton>(format, "ChkOrgFmt", ToQt(c.ChkOrgFmt.Caption));
  ChkConvFmt = Make<QRadioButton>(format, "ChkConvFmt", ToQt(c.ChkConvFmt.Caption));
  CmbFormat = Make<QComboBox>(format, "CmbFormat");
  auto* format_layout = new QGridLayout(format);
  format_layout->addWidget(ChkOrgFmt, 0, 0, 1, 2);
  format_layout->addWidget(ChkConvFmt, 1, 0);
  format_layout->addWidget(CmbFormat, 1, 1, Qt::AlignLeft);
  format_layout->setColumnStretch(1, 1);
  format_layout->setRowStretch(2, 1);

  auto* folder = new QGroupBox("Output Folder", page);
  ChkOutOrgFld = Make<QRadioButton>(folder, "ChkOutOrgFld", ToQt(c.ChkOutOrgFld.Caption));
  ChkOutFld = Make<QRadioButton>(folder, "ChkOutFld", ToQt(c.ChkOutFld.Caption));
  EdtPath = Make<QLineEdit>(folder, "EdtPath");
  BtnBrow = Make<QPushButton>(folder, "BtnBrow", ToQt(c.BtnBrow.Caption));
  ChkBackup = Make<QCheckBox>(folder, "ChkBackup", ToQt(c.ChkBackup.Caption));
  auto* folder_layout = new QGridLayout(folder);
  folder_layout->addWidget(ChkOutOrgFld, 0, 0, 1, 2);
  folder_layout->addWidget(ChkOutFld, 1, 0, 1, 2);
  folder_layout->addWidget(EdtPath, 2, 0);
  folder_layout->addWidget(BtnBrow, 2, 1);
  folder_layout->addWidget(ChkBackup, 3, 0, 1, 2);
  folder_layout->setRowStretch(4, 1);

  auto* name = new QGroupBox("Output Filename", page);
  CmbFilename = Make<QComboBox>(name, "CmbFilename");
  EdtPostfix = Make<QLineEdit>(name, "EdtPostfix");
  auto* name_layout = new QGridLayout(name);
  name_layout->addWidget(CmbFilename, 0, 0, 1, 2);
  name_layout->addWidget(Label(name, "Postfix:", EdtPostfix), 1, 0);
  name_layout->addWidget(EdtPostfix, 1, 1);
  name_layout->setRowStretch(2, 1);

  auto* option = new QGroupBox("Output Option", page);
  ChkCompress = Make<QCheckBox>(option, "ChkCompress", ToQt(c.ChkCompress.Caption));
  ChkAntialias = Make<QCheckBox>(option, "ChkAntialias", ToQt(c.ChkAntialias.Caption));
  auto* option_layout = new QVBoxLayout(option);
  option_layout->addWidget(ChkCompress);
  option_layout->addWidget(ChkAntialias);
  option_layout->addStretch();

  BtnLast3 = Make<QPushButton>(page, "BtnLast3", ToQt(c.BtnLast3.Caption));
  BtnDo = Make<QPushButton>(page, "BtnDo", ToQt(c.BtnDo.Caption));

  auto* groups = new QGridLayout;
  groups->addWidget(format, 0, 0);
  groups->addWidget(folder, 0, 1);
  groups->addWidget(name, 1, 0);
  groups->addWidget(option, 1, 1);
  groups->setColumnStretch(0, 1);
  groups->setColumnStretch(1, 1);
  auto* layout = new QVBoxLayout(page);
  layout->addLayout(groups);
  layout->addStretch();
  layout->addLayout(BuildBottomRow(page, 2, BtnLast3, BtnDo));
  return page;
}

// ------------------------------------------------------------------ handlers

void TFrmMain::Connect() {
  auto click = [this](QAbstractButton* button, std::function<void()> handler) {
    connect(button, &QAbstractButton::clicked, this, [this, handler] { Handle(handler); });
  };
  auto check = [this](QAbstractButton* button, TCheckState TWizardControls::*state,
                      void (TWizardControls::*rule)() = nullptr) {
    connect(button, &QAbstractButton::clicked, this, [this, state, rule](bool checked) {
      Handle([&] {
        (C().*state).Checked = checked;
        if (rule != nullptr) (C().*rule)();
      });
    });
  };
  auto list = [this](QComboBox* combo, TListState TWizardControls::*state, void (TWizardControls::*rule)() = nullptr) {
    connect(combo, &QComboBox::currentIndexChanged, this, [this, state, rule](int index) {
      Handle([&] {
        (C().*state).Select(index);
        if (rule != nullptr) (C().*rule)();
      });
    });
  };
  auto edit = [this](QLineEdit* line, TEditState TWizardControls::*state, bool is_path = false) {
    connect(line, &QLineEdit::textChanged, this, [this, state, is_path](const QString& text) {
      Handle([&] { (C().*state).Text = is_path ? PathFromQt(text) : FromQt(text); });
    });
  };

  // page 1
  click(BtnAddFile, [this] { form_.AddFileClick(); });
  click(BtnAddFolder, [this] { form_.AddFolderClick(); });
  click(BtnDelete, [this] { form_.DeleteClick(); });
  click(BtnClear, [this] { form_.ClearClick(); });
  click(BtnAbout, [this] { form_.AboutClick(); });
  click(BtnNext1, [this] { C().Next1(); });
  ListView->OnDropped = [this](const QStringList& dropped) {
    std::vector<std::string> paths;
    for (const QString& path : dropped) paths.push_back(PathFromQt(path));
    // After the drop has been answered, so the file manager is not kept waiting.
    QTimer::singleShot(0, this, [this, paths] { Handle([&] { form_.AddPaths(paths); }); });
  };
  // page 2
  list(CmbZoomSize, &TWizardControls::CmbZoomSize, &TWizardControls::ZoomSizeChanged);
  edit(EdtWidth, &TWizardControls::EdtWidth);
  edit(EdtHeight, &TWizardControls::EdtHeight);
  check(ChkKeepZoom, &TWizardControls::ChkKeepZoom, &TWizardControls::KeepZoomClicked);
  for (int i = 0; i < 2; ++i) click(GrpStyleItems[i], [this, i] { C().GrpStyle.ItemIndex = i; });
  check(ChkNoZoomSmall, &TWizardControls::ChkNoZoomSmall);
  check(ChkFileSize, &TWizardControls::ChkFileSize, &TWizardControls::FileSizeClicked);
  edit(EdtLessThan, &TWizardControls::EdtLessThan);
  click(BtnLast2, [this] { C().Last2(); });
  click(BtnNext2, [this] { C().Next2(); });
  // page 3
  click(ChkOrgFmt, [this] { C().ChooseConvertFormat(false); });
  click(ChkConvFmt, [this] { C().ChooseConvertFormat(true); });
  list(CmbFormat, &TWizardControls::CmbFormat);
  click(ChkOutOrgFld, [this] { C().ChooseOutputFolder(false); });
  click(ChkOutFld, [this] { C().ChooseOutputFolder(true); });
  edit(EdtPath, &TWizardControls::EdtPath, true);
  click(BtnBrow, [this] { form_.BrowClick(); });
  check(ChkBackup, &TWizardControls::ChkBackup);
  list(CmbFilename, &TWizardControls::CmbFilename, &TWizardControls::FilenameChanged);
  edit(EdtPostfix, &TWizardControls::EdtPostfix);
  connect(ChkCompress, &QAbstractButton::clicked, this, [this](bool checked) {
    Handle([&] {
      C().ChkCompress.Checked = checked;
      form_.CompressClick();
    });
  });
  check(ChkAntialias, &TWizardControls::ChkAntialias);
  click(BtnLast3, [this] { C().Last3(); });
  connect(BtnDo, &QAbstractButton::clicked, this, [this] { FinishClicked(); });
}

void TFrmMain::FinishClicked() {
  if (syncing_ || form_.Running()) return;
  // Nothing but the progress dialog answers while the run pumps messages.
  pages->setEnabled(false);
  Handle([this] { form_.DoClick(); });
  if (close_after_run_) QTimer::singleShot(0, this, &QWidget::close);
}

void TFrmMain::Handle(const std::function<void()>& handler) {
  if (syncing_) return;
  try {
    handler();
  } catch (const std::exception& error) {
    services_.ShowError(error.what());
  } catch (...) {
    services_.ShowError("The action ended with an unknown error.");
  }
  SyncFromModel();
}

void TFrmMain::SyncFromModel() {
  syncing_ = true;
  const TWizardControls& c = C();
  pages->setCurrentIndex(c.Page);
  pages->setEnabled(!form_.Running());
  // page 1
  ShowState(BtnAddFile, c.BtnAddFile);
  ShowState(BtnAddFolder, c.BtnAddFolder);
  ShowState(BtnDelete, c.BtnDelete);
  ShowState(BtnClear, c.BtnClear);
  ShowState(BtnAbout, c.BtnAbout);
  ShowState(BtnNext1, c.BtnNext1);
  // page 2
  ShowState(CmbZoomSize, c.CmbZoomSize);
  ShowState(EdtWidth, c.EdtWidth);
  ShowState(EdtHeight, c.EdtHeight);
  ShowState(ChkKeepZoom, c.ChkKeepZoom);
  GrpStyle->setTitle(ToQt(c.GrpStyle.Caption));
  GrpStyle->setEnabled(c.GrpStyle.Enabled);
  for (int i = 0; i < 2; ++i) {
    if (c.GrpStyle.ItemIndex == i) GrpStyleItems[i]->setChecked(true);
  }
  ShowState(ChkNoZoomSmall, c.ChkNoZoomSmall);
  ShowState(ChkFileSize, c.ChkFileSize);
  ShowState(EdtLessThan, c.EdtLessThan);
  ShowState(BtnLast2, c.BtnLast2);
  ShowState(BtnNext2, c.BtnNext2);
  // page 3
  ShowState(ChkOrgFmt, c.ChkOrgFmt);
  ShowState(ChkConvFmt, c.ChkConvFmt);
  ShowState(CmbFormat, c.CmbFormat);
  ShowState(ChkOutOrgFld, c.ChkOutOrgFld);
  ShowState(ChkOutFld, c.ChkOutFld);
  ShowState(EdtPath, c.EdtPath, true);
  ShowState(BtnBrow, c.BtnBrow);
  ShowState(ChkBackup, c.ChkBackup);
  ShowState(CmbFilename, c.CmbFilename);
  ShowState(EdtPostfix, c.EdtPostfix);
  ShowState(ChkCompress, c.ChkCompress);
  ShowState(ChkAntialias, c.ChkAntialias);
  ShowState(BtnLast3, c.BtnLast3);
  ShowState(BtnDo, c.BtnDo);
  // A label is greyed with the control it names.
  for (QLabel* label : findChildren<QLabel*>()) {
    if (label->buddy() != nullptr) label->setEnabled(label->buddy()->isEnabled());
  }
  syncing_ = false;
}

// ------------------------------------------------------------------ window events

void TFrmMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_) return;
  shown_ = true;
  if (QScreen* desktop = screen()) move(desktop->availableGeometry().center() - rect().center());
  Handle([this] { form_.FormShow(); });
}

void TFrmMain::closeEvent(QCloseEvent* event) {
  if (form_.Running()) {
    // Closing during a run cancels it; the window closes once it has ended.
    form_.FCancelled = true;
    close_after_run_ = true;
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

}  // namespace tessaly
