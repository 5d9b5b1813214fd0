// The main window driven end to end against real archives in a temporary folder: what it shows
// at start and after each reload, every command's questions and hand-over to the progress
// window, the reloads that follow, find, rename, set password, drops and the interrupt.
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>

#include "support/archive_builder.h"
#include "support/modal_steps.h"
#include "support/run_process.h"
#include "support/scripted_dialogs.h"
#include "support/window_test_folder.h"
#include "ui/entry_list_model.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"

using tovask::ui::MainWindow;
using tovask::ui::ProgressWindow;
using tovask::ui::testing::DialogCall;
using tovask::ui::testing::DialogKind;
using tovask::ui::testing::Files;
using tovask::ui::testing::ScriptedDialogs;
using tovask::ui::testing::WhenModal;
using tovask::ui::testing::WindowTestFolder;
using Names = std::vector<std::string>;

namespace {

const QString kArchiveFilter = "Tvk压缩包(*.tvk)|*.tvk";

// What one progress window looked like.
struct ProgressSeen {
  QString caption;
  QString buttonWhenFinished;
  bool closedByItself = false;
};

// Acts on the next modal window named name. While the progress window is on top, its operation
// has not reached that window yet: the step tries again on the next turn of events.
void OnModal(const QString& name, const std::function<void(QWidget*)>& act) {
  WhenModal([name, act](QWidget* window) {
    if (window->objectName() == "progressWindow") return OnModal(name, act);
    QCOMPARE(window->objectName(), name);
    act(window);
  });
}

void Click(QWidget* window, const char* button) {
  window->findChild<QPushButton*>(button)->click();
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    folder_ = std::make_unique<WindowTestFolder>();
    dialogs_ = std::make_unique<ScriptedDialogs>();
    // The run's temporary folder goes below the test's own folder.
    tmp_ = folder_->work / "tmp";
    QDir().mkpath(QString::fromStdString(tmp_));
    qputenv("TMPDIR", QByteArray::fromStdString(tmp_));
    window_ = std::make_unique<MainWindow>(folder_->context, *dialogs_);
    opened_.clear();
    openerWorks_ = true;
    window_->SetFileOpener([this](const QUrl& url) {
      opened_ << url;
      return openerWorks_;
    });
    window_->show();
    progress_.clear();
    // Every progress window is recorded; one that waits for "完成" gets it pressed.
    connect(window_.get(), &MainWindow::progressWindowOpened, this, [this](ProgressWindow* w) {
      progress_.push_back({w->windowTitle(), {}, false});
      connect(w, &ProgressWindow::runFinished, this, [this, w](bool closing) {
        progress_.back().buttonWhenFinished = w->findChild<QPushButton*>("actionButton")->text();
        progress_.back().closedByItself = closing;
        if (!closing) QTest::mouseClick(w->findChild<QPushButton*>("actionButton"), Qt::LeftButton);
      });
    });
  }
  void cleanup() {
    window_.reset();
    dialogs_.reset();
    folder_.reset();
    qunsetenv("TMPDIR");
  }

  void startsWithoutAnArchive() {
    MainWindow& w = *window_;
    QCOMPARE(w.windowTitle(), QString("Tovask 1.0 beta"));
    QCOMPARE(w.frameGeometry(), QRect(50, 50, 810, 597));
    QCOMPARE(Label("selectionStatus"), QString("没有选择文件"));
    QCOMPARE(Label("archiveStatus"), QString("没有文件信息"));
    QCOMPARE(w.findChild<QLabel*>("waitLabel")->text(), QString("请稍候，处理中……"));
    QVERIFY(!w.findChild<QLabel*>("waitLabel")->isVisible());

    QStringList menus;
    for (QAction* menu : w.menuBar()->actions()) menus << menu->text();
    QCOMPARE(menus, QStringList({"文件(&F)", "操作(&C)", "工具(&T)", "帮助(&H)"}));
    QCOMPARE(Entries("fileMenu"),
             QStringList({"新建(&N)", "打开(&O)", "解压全部(&W)", "", "退出(&X)"}));
    QCOMPARE(Entries("operationsMenu"),
             QStringList({"添加目录(&F)", "添加文件(&A)", "解压文件(&E)", "", "删除文件(&D)",
                          "重命名(&R)", "设置密码(&P)"}));
    QCOMPARE(Entries("toolsMenu"), QStringList({"查找(&F)", "显示信息(&I)"}));
    QCOMPARE(Entries("helpMenu"), QStringList({"关于(&A)"}));
    QCOMPARE(Action("actionNew")->shortcut(), QKeySequence("Ctrl+N"));
    QCOMPARE(Action("actionOpen")->shortcut(), QKeySequence("Ctrl+O"));
    QCOMPARE(Action("actionFind")->shortcut(), QKeySequence("Ctrl+F"));
    QCOMPARE(Action("actionDelete")->shortcut(), QKeySequence(Qt::Key_Delete));
    QCOMPARE(Action("actionRename")->shortcut(), QKeySequence(Qt::Key_F2));

    const char* captions[] = {"新建", "打开", "释放", "",     "添加", "解压",
                              "删除", "",     "查找", "信息", "",     "关于"};
    for (int i = 0; i < MainWindow::kToolbarPositions; ++i) {
      QAction* position = w.toolbarPosition(i);
      QCOMPARE(position->isSeparator(), captions[i][0] == '\0');
      if (position->isSeparator()) continue;
      QCOMPARE(position->text(), QString(captions[i]));
      QVERIFY(!position->icon().isNull());
    }
    ExpectArchiveCommands(false);

    const int widths[] = {300, 80, 80, 128, 38, 38, 205};
    for (int i = 0; i < 7; ++i) QVERIFY(w.list()->horizontalHeader()->sectionSize(i) >= widths[i]);
    QCOMPARE(w.list()->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(w.list()->editTriggers(),
             QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);

    // The archive commands do nothing and ask nothing without an archive; find and the
    // information window still work.
    w.ExtractAll();
    w.AddFiles();
    w.AddFolder();
    w.ExtractSelected();
    w.DeleteSelected();
    QVERIFY(dialogs_->calls().empty());
    w.Find();
    QCOMPARE(dialogs_->calls().size(), std::size_t(1));
    QString informationCaption;
    WhenModal([&](QWidget* window) {
      informationCaption = window->windowTitle();
      qobject_cast<QDialog*>(window)->accept();
    });
    w.ShowInformation();
    QCOMPARE(informationCaption, QString("Tovask 压缩文件信息"));
    w.ShowAbout();
    const DialogCall& about = dialogs_->calls().back();
    QCOMPARE(about.kind, DialogKind::About);
    QCOMPARE(about.title, QString("Tovask"));
    QCOMPARE(about.text.count('\n'), 1);
    QVERIFY(progress_.empty());

    // No archive, no context menu.
    emit w.list()->customContextMenuRequested(QPoint(5, 5));
    QVERIFY(QApplication::activePopupWidget() == nullptr);
  }

  // Opening lists the archive; a file that is not an archive gives one "错误" box and an empty
  // list, and the archive commands are off again.
  void openListsAndRefusesANonArchive() {
    const std::string archive = Archive();
    OpenThroughDialog(archive);
    const DialogCall& asked = dialogs_->calls()[0];
    QCOMPARE(asked.kind, DialogKind::OpenFile);
    QCOMPARE(asked.title, QString("请选择要打开的压缩包文件名："));
    QCOMPARE(asked.filter, kArchiveFilter);
    QCOMPARE(window_->windowTitle(), QString::fromStdString(archive + " - Tovask"));
    QCOMPARE(Label("archiveStatus"), QString("RID1.05版压缩包，共3个文件，合计17字节。"));
    QCOMPARE(ListedNames(), Names({"a.txt", "b.txt", "c.dat"}));
    ExpectArchiveCommands(true);
    tovask::ui::testing::SaveShot(window_.get(), QStringLiteral("main_window"));

    emit window_->list()->customContextMenuRequested(QPoint(5, 5));
    QCOMPARE(QApplication::activePopupWidget(), window_->findChild<QMenu*>("operationsMenu"));
    QApplication::activePopupWidget()->close();

    const std::string text = folder_->work / "text.tvk";
    tovask::testing::WriteFile(text, "no archive here");
    dialogs_->ClearCalls();
    OpenThroughDialog(text);
    QCOMPARE(dialogs_->calls().size(), std::size_t(2));
    const DialogCall& box = dialogs_->calls()[1];
    QCOMPARE(box.title, QString("错误"));
    QCOMPARE(box.flags, 16);
    QVERIFY2(box.text.startsWith("53:") || box.text.startsWith("51:"), qPrintable(box.text));
    QCOMPARE(window_->model()->rowCount(), 0);
    QCOMPARE(window_->windowTitle(), QString("Tovask"));
    QVERIFY(folder_->context.currentArchivePath.empty());
    ExpectArchiveCommands(false);
  }

  // Add files closes its progress window by itself, add folder waits for "完成"; both reload.
  void addFilesAndFolderHandOverAndReload() {
    OpenThroughDialog(Archive());
    const std::string more = folder_->Folder("more", {{"d.txt", "delta"}, {"e.txt", "echo"}});
    dialogs_->ClearCalls();
    dialogs_->Queue(QStringList{QString::fromStdString(more + "/d.txt")});
    Action("actionAddFiles")->trigger();
    QCOMPARE(dialogs_->calls()[0].kind, DialogKind::OpenFiles);
    QCOMPARE(dialogs_->calls()[0].title, QString("选择要添加的文件"));
    QCOMPARE(dialogs_->calls()[0].filter, kArchiveFilter);
    QCOMPARE(progress_.size(), std::size_t(1));
    QCOMPARE(progress_[0].caption, QString("添加文件"));
    QVERIFY(progress_[0].closedByItself);
    QCOMPARE(ListedNames(), Names({"a.txt", "b.txt", "c.dat", "d.txt"}));

    dialogs_->Queue(QStringList{});
    window_->toolbarPosition(4)->trigger();  // "添加" is add files: cancelled
    QCOMPARE(dialogs_->calls().back().kind, DialogKind::OpenFiles);
    QCOMPARE(progress_.size(), std::size_t(1));
    dialogs_->Queue(QString::fromStdString(more));
    Action("actionAddFolder")->trigger();
    QCOMPARE(dialogs_->calls().back().kind, DialogKind::Folder);
    QCOMPARE(dialogs_->calls().back().title, QString("请选择要添加的目录"));
    QCOMPARE(progress_.size(), std::size_t(2));
    QVERIFY(!progress_[1].closedByItself);
    QCOMPARE(progress_[1].buttonWhenFinished, QString("完成"));
    QCOMPARE(ListedNames(),
             Names({"a.txt", "b.txt", "c.dat", "d.txt", "more\\d.txt", "more\\e.txt"}));
  }

  // The extractions do not reload; extract all waits for "完成", extract selected closes.
  void extractionsWriteTheFilesWithoutReload() {
    OpenThroughDialog(Archive());
    QSignalSpy resets(window_->model(), &QAbstractItemModel::modelReset);
    dialogs_->Queue(QString::fromStdString(folder_->work / "all"));
    window_->toolbarPosition(2)->trigger();
    QCOMPARE(dialogs_->calls().back().title, QString("请选择释放文件的目录"));
    QCOMPARE(progress_.back().caption, QString("释放文件"));
    QVERIFY(!progress_.back().closedByItself);
    QCOMPARE(tovask::testing::ReadFile(folder_->work / "all/c.dat"), std::string("charlie"));

    window_->ExtractSelected();  // nothing selected: nothing asked
    QCOMPARE(progress_.size(), std::size_t(1));
    SelectRows({0, 2});
    QCOMPARE(Label("selectionStatus"), QString("已选择了2个文件。"));
    dialogs_->Queue(QString::fromStdString(folder_->work / "some"));
    Action("actionExtractSelected")->trigger();
    QCOMPARE(dialogs_->calls().back().title, QString("选择解压到的目录"));
    QCOMPARE(progress_.back().caption, QString("解压文件"));
    QVERIFY(progress_.back().closedByItself);
    QCOMPARE(tovask::testing::ReadFile(folder_->work / "some/a.txt"), std::string("alpha"));
    QCOMPARE(tovask::testing::ReadFile(folder_->work / "some/c.dat"), std::string("charlie"));
    QVERIFY(!QFile::exists(QString::fromStdString(folder_->work / "some/b.txt")));
    QCOMPARE(resets.count(), 0);
  }

  // Delete asks with the count (Delete key); Cancel leaves the archive byte for byte.
  void deleteAsksAndReloads() {
    const std::string archive = Archive();
    OpenThroughDialog(archive);
    const std::string before = tovask::testing::Sha256OfFile(archive);
    SelectRows({0, 1, 2});
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    dialogs_->ClearCalls();
    QTest::keyClick(window_->list(), Qt::Key_Delete);  // answered Cancel
    QCOMPARE(dialogs_->calls().size(), std::size_t(1));
    const DialogCall& box = dialogs_->calls()[0];
    QCOMPARE(box.text, QString("你确定要删除3个文件？"));
    QCOMPARE(box.title, QString("确认"));
    QCOMPARE(box.flags, 49);
    QVERIFY(progress_.empty());
    QCOMPARE(tovask::testing::Sha256OfFile(archive), before);

    SelectRows({0, 2});
    dialogs_->Queue(true);
    window_->toolbarPosition(6)->trigger();
    QCOMPARE(dialogs_->calls().back().text, QString("你确定要删除2个文件？"));
    QCOMPARE(progress_.back().caption, QString("删除文件"));
    QVERIFY(progress_.back().closedByItself);
    QCOMPARE(ListedNames(), Names({"b.txt"}));
    QCOMPARE(Label("selectionStatus"), QString("已选择了0个文件。"));
  }

  // A drop of two files onto the list asks with both paths, one per line, then adds them.
  void dropAsksAndAdds() {
    OpenThroughDialog(Archive());
    const std::string more = folder_->Folder("more", {{"x.txt", "x"}, {"y.txt", "y"}});
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(more + "/x.txt")),
                  QUrl::fromLocalFile(QString::fromStdString(more + "/y.txt"))});
    QWidget* viewport = window_->list()->viewport();
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    dialogs_->ClearCalls();
    dialogs_->Queue(true);
    QApplication::sendEvent(viewport, &drop);
    QVERIFY(drop.isAccepted());
    QVERIFY(dialogs_->calls().empty());  // asked once the drop has ended
    QCoreApplication::processEvents();
    QCOMPARE(dialogs_->calls().size(), std::size_t(1));
    const DialogCall& box = dialogs_->calls()[0];
    QCOMPARE(box.text, QString::fromStdString("你要添加以下文件吗？\r\n" + more + "/x.txt\r\n" +
                                              more + "/y.txt"));
    QCOMPARE(box.title, QString("添加文件"));
    QCOMPARE(box.flags, 65);
    QCOMPARE(progress_.back().caption, QString("添加文件"));
    QCOMPARE(ListedNames(), Names({"a.txt", "b.txt", "c.dat", "x.txt", "y.txt"}));

    // A name holding a line break stays one path: it is never read as two.
    const std::string odd = more + "/odd\r\n" + more + "/x.txt";
    tovask::testing::WriteFile(odd, "odd");
    window_->AddDroppedPaths({QString::fromStdString(odd)});
    QCOMPARE(
        dialogs_->calls().back().text,
        QString::fromStdString("你要添加以下文件吗？\r\n" + more + "/odd\\r\\n" + more + "/x.txt"));
  }

  // Rename in place: committed through the application layer, refused with the log (71).
  void renameInPlaceAcceptedAndRefused() {
    const std::string archive = Archive();
    OpenThroughDialog(archive);
    dialogs_->ClearCalls();
    QVERIFY(Rename(0, "sub\\first.txt"));
    QVERIFY(dialogs_->calls().empty());
    QCOMPARE(window_->model()->index(0, 0).data().toString(), QString("sub\\first.txt"));
    QCOMPARE(folder_->Names(archive), Names({"sub\\first.txt", "b.txt", "c.dat"}));

    const std::string before = tovask::testing::Sha256OfFile(archive);
    dialogs_->ClearCalls();
    QVERIFY(!Rename(1, "C.DAT"));
    QCOMPARE(dialogs_->calls().size(), std::size_t(1));
    const DialogCall& box = dialogs_->calls()[0];
    QCOMPARE(box.text, QString("71:文件名 C.DAT 在压缩包中已经存在，不能重命名。"));
    QCOMPARE(box.title, QString("文件名修改失败"));
    QCOMPARE(box.flags, 16);
    QCOMPARE(window_->model()->index(1, 0).data().toString(), QString("b.txt"));
    QCOMPARE(tovask::testing::Sha256OfFile(archive), before);
  }

  // Set password asks through a masked box (the wait label showing) and reloads; a cancelled
  // prompt still reloads; a failure shows "设置密码失败".
  void setPasswordEncryptsTheSelection() {
    const std::string archive = Archive();
    OpenThroughDialog(archive);
    SelectRows({1});
    QSignalSpy resets(window_->model(), &QAbstractItemModel::modelReset);
    bool waitShown = false;
    dialogs_->onCall = [&](const DialogCall&) {
      waitShown = window_->findChild<QLabel*>("waitLabel")->isVisible();
      tovask::ui::testing::SaveShot(window_.get(), QStringLiteral("main_window_wait"));
    };
    dialogs_->ClearCalls();
    dialogs_->Queue(std::optional<QString>("secret"));
    Action("actionSetPassword")->trigger();
    const DialogCall& asked = dialogs_->calls()[0];
    QCOMPARE(asked.kind, DialogKind::Input);
    QCOMPARE(asked.text, QString("请输入压缩文件的密码："));
    QCOMPARE(asked.title, QString("输入密码"));
    QVERIFY(asked.masked);
    QVERIFY(waitShown);
    QVERIFY(!window_->findChild<QLabel*>("waitLabel")->isVisible());
    QCOMPARE(resets.count(), 1);
    QCOMPARE(window_->model()->index(0, 4).data().toString(), QString(""));
    QCOMPARE(window_->model()->index(1, 4).data().toString(), QString("Y"));

    Action("actionSetPassword")->trigger();  // cancelled
    QCOMPARE(resets.count(), 2);
    QCOMPARE(dialogs_->calls().size(), std::size_t(2));

    dialogs_->onCall = nullptr;
    QFile::remove(QString::fromStdString(archive));
    dialogs_->Queue(std::optional<QString>("secret"));
    Action("actionSetPassword")->trigger();
    QCOMPARE(dialogs_->calls().back().title, QString("设置密码失败"));
    QCOMPARE(dialogs_->calls().back().flags, 16);
  }

  // Find (Ctrl+F) starts from the current row's name, selects every match, deselects the
  // rest, is case-sensitive and scrolls nothing.
  void findSelectsMatchesOnly() {
    Files files;
    for (int i = 0; i < 60; ++i) {
      files.push_back(
          {QString("f%1.%2").arg(i, 2, 10, QChar('0')).arg(i % 3 ? "txt" : "dat").toStdString(),
           "x"});
    }
    OpenThroughDialog(folder_->Archive("many.tvk", files));
    window_->list()->setCurrentIndex(window_->model()->index(4, 0));
    SelectRows({0, 3});
    QCOMPARE(window_->list()->verticalScrollBar()->value(), 0);
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    dialogs_->ClearCalls();
    dialogs_->Queue(std::optional<QString>("txt"));
    QTest::keyClick(window_.get(), Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(dialogs_->calls().size(), std::size_t(1));
    const DialogCall& asked = dialogs_->calls()[0];
    QCOMPARE(asked.text, QString("请输入要查找的文件名"));
    QCOMPARE(asked.title, QString("查找文件"));
    QCOMPARE(asked.initial, QString("f04.txt"));
    QVERIFY(!asked.masked);
    QModelIndexList rows = window_->list()->selectionModel()->selectedRows();
    QCOMPARE(rows.size(), 40);
    for (const QModelIndex& row : rows) QVERIFY(row.data().toString().endsWith("txt"));
    QCOMPARE(Label("selectionStatus"), QString("已选择了40个文件。"));
    tovask::ui::testing::SaveShot(window_.get(), QStringLiteral("main_window_find"));
    QCOMPARE(window_->list()->verticalScrollBar()->value(), 0);
    QVERIFY(window_->list()->verticalScrollBar()->maximum() > 0);

    dialogs_->Queue(std::optional<QString>("TXT"));
    window_->Find();
    QCOMPARE(window_->list()->selectionModel()->selectedRows().size(), 0);
    QCOMPARE(Label("selectionStatus"), QString("已选择了0个文件。"));
  }

  // "中断" pressed during a real add: the add stops at that report, the archive stays byte for
  // byte with no temporary file left, and the main window goes on working.
  void interruptLeavesTheArchiveAndTheWindowUsable() {
    const std::string archive = Archive();
    OpenThroughDialog(archive);
    const std::string before = tovask::testing::Sha256OfFile(archive);
    Files files;
    for (int i = 0; i < 12; ++i) files.push_back({"n" + std::to_string(i) + ".txt", "new"});
    const std::string more = folder_->Folder("more", files);
    int reports = 0;
    bool interrupted = false;
    auto interrupter =
        connect(window_.get(), &MainWindow::progressWindowOpened, this, [&](ProgressWindow* w) {
          connect(w, &ProgressWindow::reported, this, [&, w] {
            if (++reports != 3) return;
            QTest::mouseClick(w->findChild<QPushButton*>("actionButton"), Qt::LeftButton);
            interrupted = w->interrupted();
          });
        });
    dialogs_->Queue(QString::fromStdString(more));
    window_->AddFolder();
    disconnect(interrupter);
    QVERIFY(interrupted);
    QCOMPARE(reports, 3);
    QVERIFY(progress_.back().closedByItself);
    QCOMPARE(progress_.back().buttonWhenFinished, QString("中断"));
    QCOMPARE(tovask::testing::Sha256OfFile(archive), before);
    QDir work(QString::fromStdString(folder_->work.path()));
    QCOMPARE(work.entryList(QDir::Files | QDir::Hidden).size(), 1);  // the archive alone
    QCOMPARE(ListedNames(), Names({"a.txt", "b.txt", "c.dat"}));
    QVERIFY(window_->isEnabled());

    dialogs_->Queue(QString::fromStdString(more));
    window_->AddFolder();
    QCOMPARE(progress_.back().buttonWhenFinished, QString("完成"));
    QCOMPARE(ListedNames().size(), std::size_t(15));
  }

  // Extract all into a folder holding five of the six files, answering the real overwrite
  // windows in turn: yes, no, rename to a typed name, and rename all for the rest.
  void extractAllAnswersTheOverwriteWindows() {
    const Files archived = {{"a.txt", "new a"}, {"b.txt", "new b"}, {"c.txt", "new c"},
                            {"d.txt", "new d"}, {"e.txt", "new e"}, {"f.txt", "new f"}};
    OpenThroughDialog(folder_->Archive("six.tvk", archived));
    QCOMPARE(ListedNames(), Names({"a.txt", "b.txt", "c.txt", "d.txt", "e.txt", "f.txt"}));
    const std::string out = folder_->Folder("out", {{"a.txt", "old a"},
                                                    {"b.txt", "old b"},
                                                    {"c.txt", "old c"},
                                                    {"d.txt", "old d"},
                                                    {"e.txt", "old e"}});

    // Each step posts the step for the window its button opens next, then presses it.
    QStringList asked;  // the file each overwrite window showed
    const auto answer = [&](const char* button, const std::function<void()>& next) {
      return [&, button, next](QWidget* window) {
        asked << window->findChild<QLabel*>("fileNameLabel")->text();
        next();
        Click(window, button);
      };
    };
    const auto renameAll = [&] { OnModal("overwriteWindow", answer("renameAllButton", [] {})); };
    const auto typeName = [&] {
      OnModal("renameWindow", [&](QWidget* window) {
        auto* box = window->findChild<QLineEdit*>("newNameBox");
        QCOMPARE(box->text(), QString("c.txt"));
        box->setText("c-renamed.txt");
        renameAll();
        Click(window, "okButton");
      });
    };
    const auto rename = [&] { OnModal("overwriteWindow", answer("renameButton", typeName)); };
    const auto no = [&] { OnModal("overwriteWindow", answer("noButton", rename)); };
    OnModal("overwriteWindow", answer("yesButton", no));
    dialogs_->Queue(QString::fromStdString(out));
    Action("actionExtractAll")->trigger();

    QCOMPARE(asked, QStringList({"a.txt", "b.txt", "c.txt", "d.txt"}));
    QCOMPARE(progress_.back().caption, QString("释放文件"));
    QCOMPARE(progress_.back().buttonWhenFinished, QString("完成"));
    const std::map<std::string, std::string> expected = {
        {"a.txt", "new a"},         {"b.txt", "old b"},    {"c.txt", "old c"},
        {"c-renamed.txt", "new c"}, {"d.txt", "old d"},    {"d(1).txt", "new d"},
        {"e.txt", "old e"},         {"e(1).txt", "new e"}, {"f.txt", "new f"}};
    std::map<std::string, std::string> onDisk;
    for (const QString& name : QDir(QString::fromStdString(out)).entryList(QDir::Files)) {
      onDisk[name.toStdString()] = tovask::testing::ReadFile(out + "/" + name.toStdString());
    }
    QCOMPARE(onDisk, expected);
  }

  // An archive given on the command line is listed while the window is made; tovask makes a
  // relative path absolute first, and its screenshot mode paints, saves and exits 0, writing
  // what a box would say to stderr.
  void archiveFromTheCommandLine() {
    const std::string archive = Archive();
    folder_->context.currentArchivePath = archive;
    MainWindow second(folder_->context, *dialogs_);
    QCOMPARE(second.model()->rowCount(), 3);
    QCOMPARE(second.windowTitle(), QString::fromStdString(archive + " - Tovask"));

    tovask::testing::WriteFile(folder_->work / "text.tvk", "no archive here");
    const struct {
      const char* argument;
      const char* err;
    } cases[] = {{"src-a.tvk/../a.tvk", ""}, {"./text.tvk", "错误: 53:"}};
    for (const auto& c : cases) {
      const std::string shot = folder_->work / "shot.png";
      QFile::remove(QString::fromStdString(shot));
      tovask::testing::ProcessOptions options;
      options.workingDirectory = folder_->work.path();
      options.env["QT_QPA_PLATFORM"] = "offscreen";
      const tovask::testing::ProcessResult run = tovask::testing::RunProcess(
          TOVASK_EXECUTABLE, {"--screenshot", shot, c.argument}, options);
      QCOMPARE(run.exitCode, 0);
      QVERIFY2(QString::fromStdString(run.err).contains(c.err), run.err.c_str());
      if (c.err[0] == '\0')
        QVERIFY2(!QString::fromStdString(run.err).contains("错误"), run.err.c_str());
      QVERIFY(!QImage(QString::fromStdString(shot)).isNull());
    }
  }

  // New: a folder and a password in the new-archive window make an encrypted archive, which
  // becomes the current one; closing the window without compressing still reloads.
  void newCompressesAndReloads() {
    const std::string folder = folder_->Folder("photos", {{"a.jpg", "alpha"}, {"d/b.jpg", "b"}});
    const std::string target = folder_->work / "photos.tvk";
    dialogs_->Queue(QString::fromStdString(folder));  // "添加文件夹"
    WhenModal([&](QWidget* window) {
      QCOMPARE(window->windowTitle(), QString("新建压缩包"));
      window->findChild<QPushButton*>("addFolderButton")->click();
      window->findChild<QLineEdit*>("passwordBox")->setText("pw");
      QCOMPARE(window->findChild<QLineEdit*>("targetBox")->text(), QString::fromStdString(target));
      window->findChild<QPushButton*>("compressButton")->click();
    });
    Action("actionNew")->trigger();
    QCOMPARE(progress_.size(), std::size_t(1));
    QCOMPARE(progress_[0].caption, QString("压缩文件"));
    QCOMPARE(progress_[0].buttonWhenFinished, QString("完成"));
    QCOMPARE(folder_->context.currentArchivePath, target);
    QCOMPARE(ListedNames(), Names({"photos\\a.jpg", "photos\\d\\b.jpg"}));
    QCOMPARE(window_->model()->index(0, 4).data().toString(), QString("Y"));

    QSignalSpy resets(window_->model(), &QAbstractItemModel::modelReset);
    WhenModal([](QWidget* window) { qobject_cast<QDialog*>(window)->reject(); });
    Action("actionNew")->trigger();
    QCOMPARE(resets.count(), 1);
    QCOMPARE(progress_.size(), std::size_t(1));
  }

  // Open: the entry is extracted (verified) into a new 0700 folder of the run's 0700 folder,
  // made read-only and handed to the opener; each open gets a new folder; the run's folder
  // goes with the window. An opener that cannot open shows 114.
  void openEntryHandsAReadOnlyCopyToTheOpener() {
    OpenThroughDialog(folder_->Archive("o.tvk", {{"b.txt", "bravo"}, {"docs/a.txt", "alpha"}}));
    QCOMPARE(ListedNames(), Names({"b.txt", "docs\\a.txt"}));
    dialogs_->ClearCalls();
    window_->OpenEntry(1);
    QCOMPARE(progress_.size(), std::size_t(1));
    QCOMPARE(progress_[0].caption, QString("解压文件"));
    QVERIFY(dialogs_->calls().empty());
    QCOMPARE(opened_.size(), 1);
    QVERIFY(opened_[0].isLocalFile());
    const std::string first = opened_[0].toLocalFile().toStdString();
    QCOMPARE(tovask::testing::ReadFile(first), std::string("alpha"));
    QCOMPARE(tovask::testing::FileMode(first) & 0222u, 0u);
    const std::filesystem::path folder = std::filesystem::path(first).parent_path().parent_path();
    const std::filesystem::path run = folder.parent_path();
    QCOMPARE(run.parent_path().string(), tmp_);
    QCOMPARE(tovask::testing::FileMode(folder.string()), 0700u);
    QCOMPARE(tovask::testing::FileMode(run.string()), 0700u);

    window_->OpenEntry(1);  // the first copy stays for the viewer that shows it
    QCOMPARE(opened_.size(), 2);
    QVERIFY(opened_[1].toLocalFile().toStdString() != first);
    QCOMPARE(tovask::testing::ReadFile(first), std::string("alpha"));

    openerWorks_ = false;
    window_->OpenEntry(0);
    const std::string copy = opened_.back().toLocalFile().toStdString();
    QCOMPARE(dialogs_->calls().back().text,
             QString::fromStdString("114:没有找到能打开文件 " + copy + " 的程序。"));
    QCOMPARE(dialogs_->calls().back().title, QString("错误"));

    window_.reset();
    QVERIFY(!std::filesystem::exists(run));
    QVERIFY(std::filesystem::is_empty(tmp_));
  }

  // A wrong password, a cancelled password prompt and an interrupt open nothing; the first two
  // show the engine's numbered message in the "错误" box.
  void openEntryOpensNothingAfterAFailure() {
    OpenThroughDialog(folder_->Archive("secret.tvk", {{"s.txt", "secret text"}}, "right"));
    const struct {
      std::optional<QString> password;
      QString message;
    } cases[] = {{QString("wrong"), "38:"}, {std::nullopt, "36:"}};
    for (const auto& c : cases) {
      dialogs_->ClearCalls();
      dialogs_->Queue(c.password);
      window_->OpenEntry(0);
      const auto& calls = dialogs_->calls();
      QCOMPARE(calls.size(), std::size_t(2));
      QCOMPARE(calls[0].kind, DialogKind::Input);  // the password prompt
      QVERIFY2(calls[1].text.startsWith(c.message), qPrintable(calls[1].text));
      QCOMPARE(calls[1].title, QString("错误"));
      QCOMPARE(calls[1].flags, 16);
    }
    QVERIFY(opened_.isEmpty());

    // Interrupted at its first report, before the password is asked.
    dialogs_->ClearCalls();
    auto interrupter =
        connect(window_.get(), &MainWindow::progressWindowOpened, this, [this](ProgressWindow* w) {
          connect(w, &ProgressWindow::reported, this, [w] {
            if (!w->interrupted()) w->reject();
          });
        });
    window_->OpenEntry(0);
    disconnect(interrupter);
    QVERIFY(progress_.back().closedByItself);
    QVERIFY(dialogs_->calls().empty());
    QVERIFY(opened_.isEmpty());

    dialogs_->Queue(std::optional<QString>("right"));
    window_->OpenEntry(0);
    QCOMPARE(opened_.size(), 1);
    QCOMPARE(tovask::testing::ReadFile(opened_[0].toLocalFile().toStdString()),
             std::string("secret text"));
  }

  // A name that would leave the temporary folder is refused (106) before anything is written,
  // for an open and for a drag alike.
  void hostileNamesWriteNothingOutside() {
    tovask::AppContext& context = folder_->context;
    const std::string archive = folder_->work / "hostile.tvk";
    tovask::testing::ArchiveBuilder(context.dataOps)
        .Entry(tovask::testing::MakeStoredEntry(context.dataOps, "..\\..\\evil.txt", "evil"))
        .WriteTo(archive);
    OpenThroughDialog(archive);
    QCOMPARE(window_->model()->rowCount(), 1);
    SelectRows({0});
    for (int attempt = 0; attempt < 2; ++attempt) {
      dialogs_->ClearCalls();
      if (attempt == 0) {
        window_->OpenEntry(0);
      } else {
        QVERIFY(window_->PrepareDrag() == nullptr);
      }
      QCOMPARE(dialogs_->calls().size(), std::size_t(1));
      QVERIFY2(dialogs_->calls()[0].text.startsWith("106:"), qPrintable(dialogs_->calls()[0].text));
    }
    QVERIFY(opened_.isEmpty());
    for (const auto& item : std::filesystem::recursive_directory_iterator(folder_->work.path())) {
      QVERIFY2(item.path().filename() != "evil.txt", item.path().c_str());
    }
  }

  // A double-click opens the entry, also on a row already selected, where the first click
  // arms the slow-click rename: that rename is not started after the double-click. A slow
  // second click alone still starts it; Enter opens the current row, and Enter in the editor
  // commits the name without opening anything.
  void doubleClickAndEnterOpenWithoutStartingRename() {
    const std::string archive = Archive();
    OpenThroughDialog(archive);
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QTableView* list = window_->list();
    QWidget* viewport = list->viewport();
    const QPoint row1 = list->visualRect(window_->model()->index(1, 0)).center();
    list->setCurrentIndex(window_->model()->index(1, 0));
    SelectRows({1});

    QSignalSpy renames(window_->model(), &tovask::ui::EntryListModel::renameRequested);
    QTest::mouseClick(viewport, Qt::LeftButton, {}, row1);  // arms the slow-click rename
    QTest::mousePress(viewport, Qt::LeftButton, {}, row1);
    QTest::mouseDClick(viewport, Qt::LeftButton, {}, row1);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, row1);
    QTRY_COMPARE_WITH_TIMEOUT(opened_.size(), 1, 60000);
    QCOMPARE(tovask::testing::ReadFile(opened_[0].toLocalFile().toStdString()),
             std::string("bravo"));
    // Timers fire in the order they fall due: once this one has, the rename's has too.
    QTimer later;
    later.setSingleShot(true);
    later.setTimerType(Qt::PreciseTimer);
    QSignalSpy fired(&later, &QTimer::timeout);
    later.start(2 * QApplication::doubleClickInterval());
    QVERIFY(fired.wait(60000));
    QVERIFY(OpenEditor() == nullptr);
    QCOMPARE(renames.count(), 0);  // no editor came and went meanwhile

    QTest::mouseClick(viewport, Qt::LeftButton, {}, row1);  // a slow second click renames
    QTRY_VERIFY_WITH_TIMEOUT(OpenEditor() != nullptr, 60000);
    QCOMPARE(OpenEditor()->text(), QString("b.txt"));
    QTest::keyClick(OpenEditor(), Qt::Key_Escape);
    QVERIFY(OpenEditor() == nullptr);
    QCOMPARE(opened_.size(), 1);

    list->setFocus();
    list->setCurrentIndex(window_->model()->index(2, 0));
    QTest::keyClick(list, Qt::Key_Return);
    QTRY_COMPARE_WITH_TIMEOUT(opened_.size(), 2, 60000);
    QCOMPARE(tovask::testing::ReadFile(opened_[1].toLocalFile().toStdString()),
             std::string("charlie"));

    const std::size_t progressWindows = progress_.size();
    QVERIFY(Rename(0, "first.txt"));  // committed with Return in the editor
    QCoreApplication::processEvents();
    QCOMPARE(opened_.size(), 2);
    QCOMPARE(progress_.size(), progressWindows);
    QCOMPARE(folder_->Names(archive), Names({"first.txt", "b.txt", "c.dat"}));
  }

  // A drag offers the dragged entries' first levels as files with the entries' contents; a
  // drop of it back onto the list is refused and asks nothing.
  void dragOffersFirstLevelsAndOwnDropIsRefused() {
    OpenThroughDialog(folder_->Archive(
        "d.tvk", {{"a.txt", "alpha"}, {"docs/x.txt", "x"}, {"docs/y.txt", "y"}, {"src/b.c", "b"}}));
    QCOMPARE(ListedNames(), Names({"a.txt", "docs\\x.txt", "docs\\y.txt", "src\\b.c"}));
    SelectRows({1, 2});
    QVERIFY(window_->list()->model()->flags(window_->model()->index(1, 3)) & Qt::ItemIsDragEnabled);
    std::unique_ptr<QMimeData> data = window_->PrepareDrag();
    QVERIFY(data != nullptr);
    QCOMPARE(data->urls().size(), 1);
    const std::string docs = data->urls()[0].toLocalFile().toStdString();
    QCOMPARE(std::filesystem::path(docs).filename().string(), std::string("docs"));
    QCOMPARE(tovask::testing::ReadFile(docs + "/x.txt"), std::string("x"));
    QCOMPARE(tovask::testing::ReadFile(docs + "/y.txt"), std::string("y"));

    SelectRows({3, 0, 1});
    data = window_->PrepareDrag();
    QVERIFY(data != nullptr);
    QStringList names;
    for (const QUrl& url : data->urls()) names << QFileInfo(url.toLocalFile()).fileName();
    QCOMPARE(names, QStringList({"a.txt", "docs", "src"}));
    const std::filesystem::path sub = data->urls()[0].toLocalFile().toStdString();
    QVERIFY(sub.parent_path().string() != std::filesystem::path(docs).parent_path().string());
    QCOMPARE(std::distance(std::filesystem::directory_iterator(sub.parent_path() / "docs"),
                           std::filesystem::directory_iterator()),
             1);  // only the dragged entry of docs
    QCOMPARE(tovask::testing::FileMode(sub.string()) & 0200u, 0200u);  // not made read-only

    QWidget* viewport = window_->list()->viewport();
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, data.get(), Qt::LeftButton,
                          Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    QVERIFY(!enter.isAccepted());
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    dialogs_->ClearCalls();
    QApplication::sendEvent(viewport, &drop);
    QVERIFY(!drop.isAccepted());
    QCoreApplication::processEvents();
    QVERIFY(dialogs_->calls().empty());
  }

 private:
  std::string Archive() {
    return folder_->Archive("a.tvk",
                            {{"a.txt", "alpha"}, {"b.txt", "bravo"}, {"c.dat", "charlie"}});
  }
  void OpenThroughDialog(const std::string& path) {
    dialogs_->Queue(QString::fromStdString(path));
    Action("actionOpen")->trigger();
  }
  QAction* Action(const char* name) { return window_->findChild<QAction*>(name); }
  QString Label(const char* name) { return window_->findChild<QLabel*>(name)->text(); }
  QStringList Entries(const char* menu) {
    QStringList texts;
    for (QAction* action : window_->findChild<QMenu*>(menu)->actions()) texts << action->text();
    return texts;
  }
  Names ListedNames() {
    Names names;
    for (int row = 0; row < window_->model()->rowCount(); ++row) {
      names.push_back(window_->model()->index(row, 0).data().toString().toStdString());
    }
    return names;
  }
  void SelectRows(const std::vector<int>& rows) {
    QItemSelection selection;
    for (int row : rows)
      selection.select(window_->model()->index(row, 0), window_->model()->index(row, 6));
    window_->list()->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
  }
  void ExpectArchiveCommands(bool enabled) {
    for (const char* name : {"actionExtractAll", "actionFind", "actionInformation",
                             "actionAddFolder", "actionAddFiles", "actionExtractSelected",
                             "actionDelete", "actionRename", "actionSetPassword"}) {
      QVERIFY2(Action(name)->isEnabled() == enabled, name);
    }
    QCOMPARE(window_->findChild<QMenu*>("operationsMenu")->menuAction()->isEnabled(), enabled);
    for (int position : {2, 4, 5, 6, 8, 9}) {
      QCOMPARE(window_->toolbarPosition(position)->isEnabled(), enabled);
    }
    for (int position : {0, 1, 11}) QVERIFY(window_->toolbarPosition(position)->isEnabled());
    for (const char* name : {"actionNew", "actionOpen", "actionExit", "actionAbout"}) {
      QVERIFY2(Action(name)->isEnabled(), name);
    }
  }
  // Edits row's name in place through the list's editor (F2) and waits for the commit.
  bool Rename(int row, const QString& name) {
    window_->activateWindow();
    if (!QTest::qWaitForWindowActive(window_.get())) return false;
    QTableView* list = window_->list();
    list->setCurrentIndex(window_->model()->index(row, 0));
    Action("actionRename")->trigger();
    QLineEdit* editor = nullptr;  // the open one (a closed editor is deleted later)
    for (QLineEdit* candidate : list->viewport()->findChildren<QLineEdit*>()) {
      if (candidate->isVisible()) editor = candidate;
    }
    if (editor == nullptr || editor->text() != window_->model()->EntryAt(row)->path.c_str()) {
      return false;
    }
    editor->setText(name);
    // Delete edits the name; it does not delete entries.
    editor->setCursorPosition(0);
    QTest::keyClick(editor, Qt::Key_Delete);
    editor->setText(name);
    QSignalSpy finished(window_.get(), &MainWindow::renameFinished);
    QTest::keyClick(editor, Qt::Key_Return);
    if (!finished.wait()) return false;
    return finished[0][0].toBool();
  }

  // The visible editor of the list's first column, or nullptr.
  QLineEdit* OpenEditor() {
    for (QLineEdit* editor : window_->list()->viewport()->findChildren<QLineEdit*>()) {
      if (editor->isVisible()) return editor;
    }
    return nullptr;
  }

  std::unique_ptr<WindowTestFolder> folder_;
  std::unique_ptr<ScriptedDialogs> dialogs_;
  std::unique_ptr<MainWindow> window_;
  std::vector<ProgressSeen> progress_;
  std::string tmp_;
  QList<QUrl> opened_;
  bool openerWorks_ = true;
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
