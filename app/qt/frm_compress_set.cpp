// Tessaly: the "Compress Setting" dialog.
#include "app/qt/frm_compress_set.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/qt/list_sync.h"
#include "app/wizard_controls.h"

namespace tessaly {

namespace {
QWidget* LabelledPage(QWidget* parent, const char* label, QWidget* control, QWidget* beside = nullptr) {
  auto* page = new QWidget(parent);
  auto* layout = new QHBoxLayout(page);
  auto* caption = new QLabel(label, page);
  caption->setBuddy(control);
  layout->addWidget(caption);
  layout->addWidget(control, 1);
  if (beside != nullptr) layout->addWidget(beside);
  return page;
}
}  // namespace

TFrmCompressSet::TFrmCompressSet(TCompressSetModel& model, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint), model_(model) {
  setObjectName("FrmCompressSet");
  setWindowTitle("Compress Setting");

  pc = new QTabWidget(this);
  pc->setObjectName("pc");
  TbJpg = new QSlider(Qt::Horizontal, this);
  TbJpg->setObjectName("TbJpg");
  TbJpg->setRange(0, 100);
  TbJpg->setTickPosition(QSlider::TicksBelow);
  TbJpg->setTickInterval(10);
  TbJpg->setPageStep(10);
  EdtJpg = new QSpinBox(this);
  EdtJpg->setObjectName("EdtJpg");
  EdtJpg->setRange(0, 100);
  EdtJpg->setSingleStep(10);
  CmbPngCompressLvl = new QComboBox(this);
  CmbPngCompressLvl->setObjectName("CmbPngCompressLvl");
  CmbGifColorNum = new QComboBox(this);
  CmbGifColorNum->setObjectName("CmbGifColorNum");
  pc->addTab(LabelledPage(pc, "Quality:", TbJpg, EdtJpg), "JPG");
  pc->addTab(LabelledPage(pc, "Compression Level:", CmbPngCompressLvl), "PNG");
  pc->addTab(LabelledPage(pc, "Number of Colors:", CmbGifColorNum), "GIF");

  BtnOK = new QPushButton("OK", this);
  BtnOK->setObjectName("BtnOK");
  BtnOK->setDefault(true);
  BtnCancel = new QPushButton("Cancel", this);
  BtnCancel->setObjectName("BtnCancel");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(BtnOK);
  buttons->addWidget(BtnCancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(pc);
  layout->addLayout(buttons);

  connect(pc, &QTabWidget::currentChanged, this, [this](int page) { Change([&] { model_.Page = page; }); });
  connect(TbJpg, &QSlider::valueChanged, this, [this](int value) {
    Change([&] {
      model_.TbJpg = value;
      model_.TrackBarChanged();
    });
  });
  connect(EdtJpg, &QSpinBox::valueChanged, this, [this](int value) {
    Change([&] {
      model_.EdtJpg = value;
      model_.SpinEditChanged();
    });
  });
  connect(CmbPngCompressLvl, &QComboBox::currentIndexChanged, this,
          [this](int index) { Change([&] { model_.CmbPngCompressLvl.Select(index); }); });
  connect(CmbGifColorNum, &QComboBox::currentIndexChanged, this,
          [this](int index) { Change([&] { model_.CmbGifColorNum.Select(index); }); });
  connect(BtnOK, &QPushButton::clicked, this, &QDialog::accept);
  connect(BtnCancel, &QPushButton::clicked, this, &QDialog::reject);

  SyncFromModel();
  // The designed size, larger only when the desktop's font needs it.
  setFixedSize(sizeHint().expandedTo(QSize(318, 156)));
}

template <typename F>
void TFrmCompressSet::Change(F write) {
  if (syncing_) return;
  write();
  SyncFromModel();
}

void TFrmCompressSet::SyncFromModel() {
  syncing_ = true;
  pc->setCurrentIndex(model_.Page);
  TbJpg->setValue(model_.TbJpg);
  EdtJpg->setValue(static_cast<int>(model_.EdtJpg));
  ShowState(CmbPngCompressLvl, model_.CmbPngCompressLvl);
  ShowState(CmbGifColorNum, model_.CmbGifColorNum);
  syncing_ = false;
}

}  // namespace tessaly
