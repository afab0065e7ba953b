// Tessaly: the report-style list of photos on the first page.
#pragma once

#include <QStringList>
#include <QTableWidget>

#include <functional>

namespace tessaly {

/// Four read-only columns with grid lines, whole rows selected, several at
/// once. Files and folders dropped from a file manager are handed to
/// OnDropped as local paths.
class TPhotoListView : public QTableWidget {
 public:
  explicit TPhotoListView(QWidget* parent = nullptr);

  void AddRow(const QString& caption, const QString& dimensions, const QString& size, const QString& path);
  bool RowSelected(int row) const;

  std::function<void(const QStringList&)> OnDropped;

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

/// The local files and folders a drag carries (none for other data).
QStringList DroppedPaths(const class QMimeData* data);

}  // namespace tessaly
