#pragma once
// The items of the file list: each file's full path exactly as its door delivered it (the file's
// identity in the whole program), its status icon and why (the outcome of its last read or
// change, shown in its tooltip), in the order they were added.
//
// Beside the items a hash set holds the same paths, so that a door adding a folder of many
// thousand files finds the ones already listed without scanning the list once per file.

#include <vector>

#include <QAbstractTableModel>
#include <QSet>
#include <QString>

#include "app/FileStatus.h"

namespace kestrel::app {

class StatusIcons;

class FileListModel : public QAbstractTableModel {
 public:
  FileListModel(const StatusIcons& icons, QObject* parent);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Some item's path equals `path` exactly (letter case included), or it waits to be appended.
  bool Contains(const QString& path) const { return paths_.contains(path); }

  // A door's new files are gathered first and then appended in one insertion, so the view
  // updates once however many files come in. Stage is false when the path is listed or staged
  // already; AppendStaged returns how many items it appended (status: not changed).
  bool Stage(const QString& path);
  int AppendStaged();

  const QString& Path(int row) const;
  FileStatus Status(int row) const;
  const QString& Reason(int row) const;
  void SetStatus(int row, FileStatus status, QString reason = {});
  // Every item back to not changed, without a reason, as a batch change or CSV export starts.
  void ResetStatuses();

  void Remove(int row);
  void RemoveAll();

 private:
  struct Item {
    QString path;
    FileStatus status = FileStatus::NotChanged;
    QString reason;
  };

  const StatusIcons& icons_;
  std::vector<Item> items_;
  std::vector<QString> staged_;
  QSet<QString> paths_;  // the paths of items_ and staged_
};

}  // namespace kestrel::app
