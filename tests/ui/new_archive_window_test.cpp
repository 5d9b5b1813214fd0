// The new-archive window against scripted dialogs: the checks of "压缩", the name suggestion,
// the rows added by the buttons and by drops, deleting rows, and the request it hands over.
#include "ui/new_archive_window.h"

#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include "support/modal_steps.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

using tovask::PendingOperation;
using tovask::SourceKind;
using tovask::ui::NewArchiveWindow;
using tovask::ui::testing::DialogKind;
using tovask::ui::testing::SaveShot;
using tovask::ui::testing::ScriptedDialogs;
using tovask::ui::testing::WhenModal;

namespace {

QString ToQt(const std::string& text) { return QString::fromStdString(text); }

// The list as (path, kind) rows.
QList<QPair<QString, int>> Rows(QWidget* window) {
  auto* list = window->findChild<QTreeWidget*>(QStringLiteral("sourceList"));
  QList<QPair<QString, int>> rows;
  for (int i = 0; i < list->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = list->topLevelItem(i);
    rows.append({item->text(0), item->data(0, Qt::UserRole).toInt()});
  }
  return rows;
}

void Click(QWidget* window, const char* button) {
  window->findChild<QPushButton*>(QLatin1String(button))->click();
}

QString Target(QWidget* window) {
  return window->findChild<QLineEdit*>(QStringLiteral("targetBox"))->text();
}

void Drop(QWidget* window, const QList<QUrl>& urls) {
  auto* list = window->findChild<QTreeWidget*>(QStringLiteral("sourceList"));
  QMimeData data;
  data.setUrls(urls);
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list->viewport(), &enter);
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(list->viewport(), &drop);
}

constexpr int kFile = static_cast<int>(SourceKind::File);
constexpr int kFolder = static_cast<int>(SourceKind::Folder);

}  // namespace

class NewArchiveWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void controls() {
    ScriptedDialogs dialogs;
    NewArchiveWindow window(dialogs, nullptr);
    QCOMPARE(window.windowTitle(), QStringLiteral("新建压缩包"));
    QVERIFY(window.findChild<QLineEdit*>(QStringLiteral("targetBox"))->isReadOnly());
    QCOMPARE(window.findChild<QLineEdit*>(QStringLiteral("passwordBox"))->echoMode(),
             QLineEdit::Password);
    for (const char* name : {"addFolderButton", "addFilesButton", "deleteButton", "browseButton",
                             "compressButton", "targetBox", "passwordBox", "sourceList"}) {
      QVERIFY2(!window.findChild<QWidget*>(QLatin1String(name))->accessibleName().isEmpty(), name);
    }
  }

  // Each check shows its message (information icon, no title of its own) and leaves the
  // window open as it was.
  void compressChecks() {
    ScriptedDialogs dialogs;
    NewArchiveWindow window(dialogs, nullptr);
    window.show();
    Click(&window, "compressButton");
    Drop(&window, {QUrl::fromLocalFile(QStringLiteral("/data/a.txt"))});  // no suggestion
    Click(&window, "compressButton");

    QCOMPARE(dialogs.calls().size(), 2u);
    const QString expected[] = {QStringLiteral("请先添加要压缩的文件夹或文件。"),
                                QStringLiteral("请设置要压缩到的压缩文件名。")};
    for (std::size_t i = 0; i < 2; ++i) {
      const auto& call = dialogs.calls()[i];
      QCOMPARE(call.kind, DialogKind::Message);
      QCOMPARE(call.text, expected[i]);
      QCOMPARE(call.title, QString());
      QCOMPARE(call.flags, 64);
    }
    QVERIFY(window.isVisible());
    QVERIFY(!window.request());
    QCOMPARE(Rows(&window).size(), 1);
  }

  void suggestionAfterAddsAndCancels() {
    ScriptedDialogs dialogs;
    NewArchiveWindow window(dialogs, nullptr);
    window.show();
    auto* list = window.findChild<QTreeWidget*>(QStringLiteral("sourceList"));

    dialogs.Queue(QStringList{QStringLiteral("/d/docs/report.txt"), QStringLiteral("/d/b.doc")});
    Click(&window, "addFilesButton");
    QCOMPARE(Target(&window), QStringLiteral("/d/docs/report.tvk"));  // no row current: row 0

    dialogs.Queue(QStringLiteral("/x/chosen.tvk"));
    Click(&window, "browseButton");
    QCOMPARE(Target(&window), QStringLiteral("/x/chosen.tvk"));
    Click(&window, "browseButton");  // cancelled: unchanged
    QCOMPARE(Target(&window), QStringLiteral("/x/chosen.tvk"));

    list->setCurrentItem(list->topLevelItem(1));
    Click(&window, "addFilesButton");  // cancelled, still suggests from the current row
    QCOMPARE(Target(&window), QStringLiteral("/d/b.tvk"));

    list->setCurrentItem(list->topLevelItem(0));
    dialogs.Queue(QStringLiteral("/d/photos"));
    Click(&window, "addFolderButton");
    QCOMPARE(Target(&window), QStringLiteral("/d/docs/report.tvk"));

    // A double-click on a row suggests from that row.
    const QRect row2 = list->visualItemRect(list->topLevelItem(2));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, row2.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, row2.center());
    QCOMPARE(Target(&window), QStringLiteral("/d/photos.tvk"));

    const auto& calls = dialogs.calls();
    QCOMPARE(calls.size(), 5u);
    QCOMPARE(calls[0].kind, DialogKind::OpenFiles);
    QCOMPARE(calls[0].title, QStringLiteral("请选择要压缩的文件"));
    QCOMPARE(calls[0].filter, QStringLiteral("所有文件(*.*)|*.*"));
    QCOMPARE(calls[1].kind, DialogKind::SaveFile);
    QCOMPARE(calls[1].title, QStringLiteral("请选择要压缩到的压缩包文件名："));
    QCOMPARE(calls[1].filter, QStringLiteral("Tvk压缩包(*.tvk)|*.tvk"));
    QCOMPARE(calls[4].kind, DialogKind::Folder);
    QCOMPARE(calls[4].title, QStringLiteral("选择要压缩的文件夹："));
  }

  void addedRows() {
    ScriptedDialogs dialogs;
    NewArchiveWindow window(dialogs, nullptr);
    dialogs.Queue(QStringList{"/d/a", "/d/a", "/d/b"});
    Click(&window, "addFilesButton");
    dialogs.Queue(QStringList{"/d/b", "/d/c"});
    Click(&window, "addFilesButton");
    dialogs.Queue(QStringLiteral("/d/f"));
    Click(&window, "addFolderButton");
    dialogs.Queue(QStringLiteral("/d/f"));
    Click(&window, "addFolderButton");
    Click(&window, "addFolderButton");  // cancelled: no row
    const QList<QPair<QString, int>> expected = {
        {"/d/a", kFile}, {"/d/b", kFile}, {"/d/c", kFile}, {"/d/f", kFolder}, {"/d/f", kFolder}};
    QCOMPARE(Rows(&window), expected);
  }

  void deleteSelectedRows() {
    ScriptedDialogs dialogs;
    NewArchiveWindow window(dialogs, nullptr);
    dialogs.Queue(QStringList{"/r0", "/r1", "/r2", "/r3", "/r4"});
    Click(&window, "addFilesButton");
    dialogs.Queue(QStringLiteral("/chosen.tvk"));
    Click(&window, "browseButton");
    auto* list = window.findChild<QTreeWidget*>(QStringLiteral("sourceList"));
    list->topLevelItem(3)->setSelected(true);
    list->topLevelItem(1)->setSelected(true);
    Click(&window, "deleteButton");
    const QList<QPair<QString, int>> expected = {{"/r0", kFile}, {"/r2", kFile}, {"/r4", kFile}};
    QCOMPARE(Rows(&window), expected);
    QCOMPARE(Target(&window), QStringLiteral("/chosen.tvk"));

    // What is handed over follows the list after the deletion.
    Click(&window, "compressButton");
    QVERIFY(window.request());
    QCOMPARE(window.request()->items, (std::vector<std::string>{"/r0", "/r2", "/r4"}));
  }

  // Dropped paths become rows in order, folders with the folder icon, duplicates kept, and no
  // name is suggested; what is not a local file is no source.
  void drops() {
    tovask::testing::TempDir temp;
    tovask::testing::WriteFile(temp / "a.txt", "a");
    tovask::testing::WriteFile(temp / "folder/b.txt", "b");
    ScriptedDialogs dialogs;
    NewArchiveWindow window(dialogs, nullptr);
    dialogs.Queue(QStringList{ToQt(temp / "a.txt")});
    Click(&window, "addFilesButton");
    window.findChild<QLineEdit*>(QStringLiteral("targetBox"))->clear();

    Drop(&window,
         {QUrl::fromLocalFile(ToQt(temp / "folder")), QUrl::fromLocalFile(ToQt(temp / "a.txt")),
          QUrl(QStringLiteral("https://example.org/x.txt")),
          QUrl::fromLocalFile(ToQt(temp / "missing"))});
    const QList<QPair<QString, int>> expected = {{ToQt(temp / "a.txt"), kFile},
                                                 {ToQt(temp / "folder"), kFolder},
                                                 {ToQt(temp / "a.txt"), kFile},
                                                 {ToQt(temp / "missing"), kFile}};
    QCOMPARE(Rows(&window), expected);
    QCOMPARE(Target(&window), QString());
    SaveShot(&window, QStringLiteral("new_archive_window"));
  }

  // "压缩" hands over the request after the window is gone; closing it hands over nothing.
  void handOver() {
    tovask::AppContext context;
    ScriptedDialogs dialogs;
    QPointer<QWidget> shown;
    WhenModal([&](QWidget* window) {
      shown = window;
      dialogs.Queue(QStringList{"/d/one.txt", "/d/two"});
      Click(window, "addFilesButton");
      QTest::keyClicks(window->findChild<QLineEdit*>(QStringLiteral("passwordBox")), "p w*1");
      SaveShot(window, QStringLiteral("new_archive_window_filled"));
      Click(window, "compressButton");
    });
    const std::optional<PendingOperation> request =
        tovask::ui::AskNewArchive(context, dialogs, nullptr);
    QVERIFY(shown.isNull());
    QVERIFY(request);
    QCOMPARE(request->kind, std::string("压缩文件"));
    QCOMPARE(request->items, (std::vector<std::string>{"/d/one.txt", "/d/two"}));
    QCOMPARE(request->archivePath, std::string("/d/one.tvk"));
    QCOMPARE(request->password, std::string("p w*1"));
    QVERIFY(!request->closeWhenDone);

    WhenModal([&](QWidget* window) {
      shown = window;
      dialogs.Queue(QStringList{"/d/one.txt"});
      Click(window, "addFilesButton");
      window->close();
    });
    QVERIFY(!tovask::ui::AskNewArchive(context, dialogs, nullptr));
    QVERIFY(shown.isNull());
  }
};

QTEST_MAIN(NewArchiveWindowTest)
#include "new_archive_window_test.moc"
