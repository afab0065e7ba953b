// Tessaly: the "Compress Setting" dialog.
#pragma once

#include <QDialog>

class QComboBox;
class QPushButton;
class QSlider;
class QSpinBox;
class QTabWidget;

namespace tessaly {

class TCompressSetModel;

/// Shows and edits a TCompressSetModel: quality on a track bar and a spin
/// edit kept in step, the PNG level and the GIF colour count. OK accepts,
/// every other way out rejects; the caller reads the model.
class TFrmCompressSet : public QDialog {
 public:
  TFrmCompressSet(TCompressSetModel& model, QWidget* parent = nullptr);

  /// Brings every widget in line with the model.
  void SyncFromModel();

  QTabWidget* pc;
  QSlider* TbJpg;
  QSpinBox* EdtJpg;
  QComboBox* CmbPngCompressLvl;
  QComboBox* CmbGifColorNum;
  QPushButton* BtnOK;
  QPushButton* BtnCancel;

 private:
  /// Writes a widget's change into the model, then refreshes the widgets.
  template <typename F>
  void Change(F write);

  TCompressSetModel& model_;
  bool syncing_ = false;
};

}  // namespace tessaly
