// Tessaly: the report-style list of photos on the first page.
#include "app/qt/photo_list_view.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QUrl>

namespace tessaly {

namespace {
struct TColumn {
  const char* Caption;
  int Width;
  Qt::Alignment Alignment;
};
constexpr Qt::Alignment kLeft = Qt::AlignLeft | Qt::AlignVCenter;
const TColumn kColumns[4] = {
    {"File Name", 100, kLeft},
    {"Specification", 100, Qt::AlignCenter},
    {"Size", 70, Qt::AlignCenter},
    {"Path", 280, kLeft},
};
}  // namespace

TPhotoListView::TPhotoListView(QWidget* parent) : QTableWidget(0, 4, parent) {
  for (int i = 0; i < 4; ++i) {
    auto* header = new QTableWidgetItem(kColumns[i].Caption);
    header->setTextAlignment(kColumns[i].Alignment);
    setHorizontalHeaderItem(i, header);
    setColumnWidth(i, kColumns[i].Width);
  }
  horizontalHeader()->setStretchLastSection(true);
  horizontalHeader()->setHighlightSections(false);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  setShowGrid(true);
  setWordWrap(false);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setAcceptDrops(true);
  viewport()->setAcceptDrops(true);
  setDragDropMode(QAbstractItemView::DropOnly);
}

void TPhotoListView::AddRow(const QString& caption, const QString& dimensions, const QString& size,
                            const QString& path) {
  const int row = rowCount();
  insertRow(row);
  const QString texts[4] = {caption, dimensions, size, path};
  for (int i = 0; i < 4; ++i) {
    auto* item = new QTableWidgetItem(texts[i]);
    item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    item->setTextAlignment(kColumns[i].Alignment);
    item->setToolTip(texts[i]);
    setItem(row, i, item);
  }
}

bool TPhotoListView::RowSelected(int row) const { return selectionModel()->isRowSelected(row, QModelIndex()); }

QStringList DroppedPaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  return paths;
}

void TPhotoListView::dragEnterEvent(QDragEnterEvent* event) {
  if (DroppedPaths(event->mimeData()).isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void TPhotoListView::dragMoveEvent(QDragMoveEvent* event) {
  if (DroppedPaths(event->mimeData()).isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
}

void TPhotoListView::dropEvent(QDropEvent* event) {
  const QStringList paths = DroppedPaths(event->mimeData());
  if (paths.isEmpty()) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  if (OnDropped) OnDropped(paths);
}

}  // namespace tessaly
