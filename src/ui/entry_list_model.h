// EntryListModel: the main window's entry list as a table model over the typed listing of the
// archive shown. The listing is replaced as a whole, between one model reset, on every reload;
// a cell's text is made only when the view asks for it (ListCellText), so 100,000 rows cost no
// string per cell. Rows are in index order: row k shows entry k + 1.
//
// The first column is editable in place. An edit does not rename anything itself: setData
// announces the typed name (renameRequested) and the main window commits the rename through
// the application layer; only when that succeeded does it call SetEntryName.
//
// User-interface thread only.
#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "archive/listing.h"
#include "core/app_context.h"

namespace tovask::ui {

class EntryListModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  // The values the list would sort by: sizes as numbers, the time as its date-time value, the
  // other columns as their text.
  static constexpr int kSortRole = Qt::UserRole;

  // context gives the column titles (title 51 of the message file); it outlives the model.
  explicit EntryListModel(const AppContext& context, QObject* parent = nullptr);

  // Runs reload on the listing between one beginResetModel and one endResetModel: the
  // reload may replace or drop the listing (RefreshMainWindow). The column titles are read
  // again from the message file.
  void Reload(const std::function<void(std::optional<ArchiveListing>&)>& reload);

  // The listing shown: nullopt before the first successful reload and after a failed one.
  [[nodiscard]] const std::optional<ArchiveListing>& listing() const { return listing_; }
  // The entry of a row; nullptr outside the rows.
  [[nodiscard]] const ArchiveEntry* EntryAt(int row) const;
  // The columns as listed: titles, widths in pixels, alignments.
  [[nodiscard]] const std::vector<ListColumn>& columns() const { return columns_; }

  // The rename of a row's entry was committed: the row shows the new name.
  void SetEntryName(int row, const std::string& name);

  [[nodiscard]] int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  [[nodiscard]] int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  [[nodiscard]] QVariant data(const QModelIndex& index, int role) const override;
  [[nodiscard]] QVariant headerData(int section, Qt::Orientation orientation,
                                    int role) const override;
  [[nodiscard]] Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Qt::EditRole on the first column: emits renameRequested and returns false (the row keeps
  // its text until SetEntryName).
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

 signals:
  // The user finished editing the first column of row with the text newName.
  void renameRequested(int row, const QString& newName);

 private:
  const AppContext& context_;
  std::optional<ArchiveListing> listing_;
  std::vector<ListColumn> columns_;
};

}  // namespace tovask::ui
