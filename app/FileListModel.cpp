#include "app/FileListModel.h"

#include "app/StatusIcons.h"

namespace kestrel::app {

FileListModel::FileListModel(const StatusIcons& icons, QObject* parent) : QAbstractTableModel(parent), icons_(icons) {}

int FileListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(items_.size());
}

int FileListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : 1; }

QVariant FileListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const Item& item = items_.at(static_cast<std::size_t>(index.row()));
  switch (role) {
    case Qt::DisplayRole:
      return item.path;
    case Qt::ToolTipRole:
      return item.reason.isEmpty() ? item.path : item.path + u'\n' + item.reason;
    case Qt::DecorationRole:
      return icons_.Icon(item.status);
    default:
      return {};
  }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole) return QStringLiteral("ファイル名前");
  return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const {
  return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

bool FileListModel::Stage(const QString& path) {
  if (Contains(path)) return false;
  paths_.insert(path);
  staged_.push_back(path);
  return true;
}

int FileListModel::AppendStaged() {
  const int count = static_cast<int>(staged_.size());
  if (count == 0) return 0;
  const int first = rowCount();
  beginInsertRows(QModelIndex(), first, first + count - 1);
  items_.reserve(items_.size() + staged_.size());
  for (QString& path : staged_) items_.push_back(Item{std::move(path), FileStatus::NotChanged, {}});
  staged_.clear();
  endInsertRows();
  return count;
}

const QString& FileListModel::Path(int row) const { return items_.at(static_cast<std::size_t>(row)).path; }

FileStatus FileListModel::Status(int row) const { return items_.at(static_cast<std::size_t>(row)).status; }

const QString& FileListModel::Reason(int row) const { return items_.at(static_cast<std::size_t>(row)).reason; }

void FileListModel::SetStatus(int row, FileStatus status, QString reason) {
  Item& item = items_.at(static_cast<std::size_t>(row));
  item.status = status;
  item.reason = std::move(reason);
  const QModelIndex changed = index(row, 0);
  emit dataChanged(changed, changed, {Qt::DecorationRole, Qt::ToolTipRole});
}

void FileListModel::ResetStatuses() {
  if (items_.empty()) return;
  for (Item& item : items_) {
    item.status = FileStatus::NotChanged;
    item.reason.clear();
  }
  emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::DecorationRole, Qt::ToolTipRole});
}

void FileListModel::Remove(int row) {
  const auto at = items_.begin() + row;
  beginRemoveRows(QModelIndex(), row, row);
  paths_.remove(at->path);
  items_.erase(at);
  endRemoveRows();
}

void FileListModel::RemoveAll() {
  beginResetModel();
  items_.clear();
  paths_.clear();
  endResetModel();
}

}  // namespace kestrel::app
