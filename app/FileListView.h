#pragma once
// The file list's view: one column, whole-row selection of one item, and files dropped from the
// file manager (local file URLs) handed to its owner.

#include <QStringList>
#include <QTableView>

namespace kestrel::app {

class FileListView : public QTableView {
  Q_OBJECT

 public:
  explicit FileListView(QWidget* parent);

  // -1 when no item is selected.
  int SelectedRow() const;

 signals:
  // The local files of a drop, in the order the drop lists them.
  void FilesDropped(const QStringList& paths);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace kestrel::app
