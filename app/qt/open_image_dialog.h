// Tessaly: the multi-select file-open dialog for photos.
#pragma once

#include <QFileDialog>

#include <string>
#include <vector>

#include "app/ui_services.h"

namespace tessaly {

/// A file dialog that shows each filter's caption as it stands and selects
/// by its patterns. Qt reads a filter's patterns from its caption and splits
/// them at spaces only, so captions that list patterns separated by ";"
/// would match nothing; the dialog's file model is given the patterns
/// instead whenever a filter is chosen.
class TOpenImageDialog : public QFileDialog {
 public:
  TOpenImageDialog(const std::vector<TFileFilter>& filters, QWidget* parent = nullptr);

  /// Chooses filter i as if the user had picked it.
  void SelectFilter(int index);

 private:
  void ApplyFilter(const QString& caption);

  std::vector<TFileFilter> filters_;
};

}  // namespace tessaly
