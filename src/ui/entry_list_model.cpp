#include "ui/entry_list_model.h"

namespace tovask::ui {
namespace {

Qt::Alignment ColumnAlignment(int alignment) {
  return (alignment == 2 ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter;
}

}  // namespace

EntryListModel::EntryListModel(const AppContext& context, QObject* parent)
    : QAbstractTableModel(parent), context_(context), columns_(ListColumns(context)) {}

void EntryListModel::Reload(const std::function<void(std::optional<ArchiveListing>&)>& reload) {
  beginResetModel();
  reload(listing_);
  columns_ = ListColumns(context_);
  endResetModel();
}

const ArchiveEntry* EntryListModel::EntryAt(int row) const {
  if (!listing_ || row < 0 || static_cast<std::size_t>(row) >= listing_->entries.size()) {
    return nullptr;
  }
  return &listing_->entries[static_cast<std::size_t>(row)];
}

void EntryListModel::SetEntryName(int row, const std::string& name) {
  if (EntryAt(row) == nullptr) return;
  listing_->entries[static_cast<std::size_t>(row)].path = name;
  const QModelIndex cell = index(row, ColumnPath);
  emit dataChanged(cell, cell);
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || !listing_) return 0;
  return static_cast<int>(listing_->entries.size());
}

int EntryListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kListColumnCount;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
  const ArchiveEntry* entry = EntryAt(index.row());
  if (entry == nullptr || index.column() < 0 || index.column() >= kListColumnCount) return {};
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
      return QString::fromStdString(ListCellText(*entry, column));
    case Qt::EditRole:
      // The editor starts from the entry's name itself, not from its escaped cell text.
      if (column == ColumnPath) return QString::fromStdString(entry->path);
      return QString::fromStdString(ListCellText(*entry, column));
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(
          ColumnAlignment(columns_[static_cast<std::size_t>(column)].alignment));
    case kSortRole:
      switch (column) {
        case ColumnOriginalSize:
          return static_cast<qlonglong>(entry->originalSize);
        case ColumnStoredSize:
          return static_cast<qlonglong>(entry->storedSize);
        case ColumnTime:
          return entry->time;
        default:
          return QString::fromStdString(ListCellText(*entry, column));
      }
    default:
      return {};
  }
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kListColumnCount) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  const ListColumn& column = columns_[static_cast<std::size_t>(section)];
  if (role == Qt::DisplayRole) return QString::fromStdString(column.title);
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(ColumnAlignment(column.alignment));
  return {};
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  // Rows can be dragged out (the list extracts them first); the first column is renamed in place.
  if (index.isValid()) flags |= Qt::ItemIsDragEnabled;
  if (index.isValid() && index.column() == ColumnPath) flags |= Qt::ItemIsEditable;
  return flags;
}

bool EntryListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || index.column() != ColumnPath || EntryAt(index.row()) == nullptr) {
    return false;
  }
  emit renameRequested(index.row(), value.toString());
  return false;
}

}  // namespace tovask::ui
