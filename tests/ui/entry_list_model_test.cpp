// The entry list model: one reset per reload, cells made from the typed entries, the editable
// first column that only announces a rename.
#include <QSignalSpy>
#include <QtTest>

#include "archive/format.h"
#include "core/startup.h"
#include "support/archive_builder.h"
#include "support/temp_dir.h"
#include "ui/entry_list_model.h"

using tovask::ArchiveEntry;
using tovask::ArchiveListing;
using tovask::ui::EntryListModel;

class EntryListModelTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { tovask::StartUp(context_, home_.path()); }

  void reloadResetsOnceAndShowsTypedCells() {
    EntryListModel model(context_);
    QCOMPARE(model.rowCount(), 0);
    QCOMPARE(model.columnCount(), 7);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);

    ArchiveEntry big;
    big.path = "docs\\big.bin";
    big.originalSize = 1234567;
    big.storedSize = 456789;
    big.time = tovask::testing::kExampleTime;
    big.flags =
        tovask::EntryFlags::Archive | tovask::EntryFlags::ReadOnly | tovask::EntryFlags::Encrypted;
    big.md5Text = "b1946ac92492d2347c6235b4d2611184";
    ArchiveEntry odd;
    odd.path = "line\nbreak";
    model.Reload([&](std::optional<ArchiveListing>& listing) {
      listing.emplace();
      listing->entries = {big, odd};
    });
    QCOMPARE(resets.count(), 1);
    QCOMPARE(model.rowCount(), 2);

    const QString cells[] = {"docs\\big.bin",
                             "1,234,567",
                             "456,789",
                             "2004-03-05 07:08:09",
                             "Y",
                             "AR",
                             "B1946AC92492D2347C6235B4D2611184"};
    const char* titles[] = {
        "相对路径及文件名", "原文件大小", "压缩后大小", "修改时间", "加密", "属性", "MD5效验码"};
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    const Qt::Alignment centre = Qt::AlignHCenter | Qt::AlignVCenter;
    const Qt::Alignment alignments[] = {left, centre, centre, left, left, left, left};
    for (int column = 0; column < 7; ++column) {
      const QModelIndex cell = model.index(0, column);
      QCOMPARE(cell.data().toString(), cells[column]);
      QCOMPARE(model.headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(),
               QString::fromUtf8(titles[column]));
      QCOMPARE(cell.data(Qt::TextAlignmentRole).value<Qt::Alignment>(), alignments[column]);
      QCOMPARE(bool(cell.flags() & Qt::ItemIsEditable), column == 0);
    }
    // Sizes and times sort by value, not by their text.
    QCOMPARE(model.index(0, 1).data(EntryListModel::kSortRole).toLongLong(), 1234567);
    QCOMPARE(model.index(0, 2).data(EntryListModel::kSortRole).toLongLong(), 456789);
    QCOMPARE(model.index(0, 3).data(EntryListModel::kSortRole).toDouble(),
             tovask::testing::kExampleTime);
    // A control character is shown escaped, and the editor starts from the name itself.
    QCOMPARE(model.index(1, 0).data().toString(), QString("line\\nbreak"));
    QCOMPARE(model.index(1, 0).data(Qt::EditRole).toString(), QString("line\nbreak"));
    QCOMPARE(model.index(1, 4).data().toString(), QString());
    QCOMPARE(model.index(1, 5).data().toString(), QString());

    // A failed reload drops the listing: an empty list.
    model.Reload([](std::optional<ArchiveListing>& listing) { listing.reset(); });
    QCOMPARE(resets.count(), 2);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(model.EntryAt(0) == nullptr);
  }

  void editAnnouncesTheRenameAndChangesNothing() {
    EntryListModel model(context_);
    model.Reload([](std::optional<ArchiveListing>& listing) {
      listing.emplace();
      listing->entries.resize(2);
      listing->entries[0].path = "a.txt";
      listing->entries[1].path = "b.txt";
    });
    QSignalSpy asked(&model, &EntryListModel::renameRequested);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);

    QVERIFY(!model.setData(model.index(1, 0), QString("c.txt"), Qt::EditRole));
    QVERIFY(!model.setData(model.index(1, 3), QString("x"), Qt::EditRole));
    QCOMPARE(asked.count(), 1);
    QCOMPARE(asked[0][0].toInt(), 1);
    QCOMPARE(asked[0][1].toString(), QString("c.txt"));
    QCOMPARE(model.index(1, 0).data().toString(), QString("b.txt"));
    QCOMPARE(changed.count(), 0);

    model.SetEntryName(1, "c.txt");
    QCOMPARE(model.index(1, 0).data().toString(), QString("c.txt"));
    QCOMPARE(changed.count(), 1);
    QCOMPARE(changed[0][0].value<QModelIndex>(), model.index(1, 0));
  }

 private:
  tovask::testing::TempDir home_;
  tovask::AppContext context_;
};

QTEST_MAIN(EntryListModelTest)
#include "entry_list_model_test.moc"
