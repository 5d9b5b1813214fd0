// The progress window on its own: laid out against the main window, the operation run inside
// it on first show with its reports shown, "完成" after success, the error box and the close
// after a failure, Esc as an interrupt, the request reset when the window goes.
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "support/modal_steps.h"
#include "support/scripted_dialogs.h"
#include "support/window_test_folder.h"
#include "ui/progress_window.h"

using tovask::PendingOperation;
using tovask::ui::ProgressWindow;
using tovask::ui::testing::DialogKind;
using tovask::ui::testing::ScriptedDialogs;
using tovask::ui::testing::WindowTestFolder;

namespace {

struct Controls {
  QLabel* status;
  QProgressBar* bar;
  QLabel* percent;
  QPushButton* button;
};

Controls ControlsOf(ProgressWindow& window) {
  return {window.findChild<QLabel*>("statusLabel"), window.findChild<QProgressBar*>("progressBar"),
          window.findChild<QLabel*>("percentLabel"),
          window.findChild<QPushButton*>("actionButton")};
}

}  // namespace

class ProgressWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    folder_ = std::make_unique<WindowTestFolder>();
    dialogs_ = std::make_unique<ScriptedDialogs>();
    // A main window whose outer rectangle is 50, 50, 810 x 597.
    main_ = std::make_unique<QWidget>();
    main_->move(50, 50);
    main_->resize(810, 597);
    main_->show();
    main_->resize(QSize(810, 597) - (main_->frameGeometry().size() - main_->size()));
    QCOMPARE(main_->frameGeometry(), QRect(50, 50, 810, 597));
  }
  void cleanup() {
    main_.reset();
    dialogs_.reset();
    folder_.reset();
  }

  void reportShowsTextBarAndPercent() {
    PendingOperation request;
    request.kind = "压缩文件";
    ProgressWindow window(folder_->context, request, *dialogs_, nullptr, main_.get());
    const Controls c = ControlsOf(window);
    QCOMPARE(window.windowTitle(), QString("压缩文件"));
    QCOMPARE(c.status->text(), QString("准备..."));
    QCOMPARE(c.percent->text(), QString("0%"));
    QCOMPARE(c.button->text(), QString("中断"));
    QVERIFY(window.Report(37, "正在压缩: a.txt [3/8]"));
    QCOMPARE(c.status->text(), QString("正在压缩: a.txt [3/8]"));
    QCOMPARE(c.bar->value(), 37);
    QCOMPARE(c.percent->text(), QString("37%"));
  }

  // A successful extract-all: laid out against the main window while it runs, then "完成"
  // until the button is pressed; the request is empty again once the window is gone.
  void extractAllRunsInsideAndWaitsForDone() {
    const std::string archive = folder_->Archive("a.tvk", {{"a.txt", "alpha"}, {"d/b.txt", "b"}});
    PendingOperation request;
    request.kind = "释放文件";
    request.archivePath = archive;
    request.targetFolder = folder_->work / "out";
    int reports = 0;
    bool doneShown = false;
    {
      ProgressWindow window(folder_->context, request, *dialogs_, nullptr, main_.get());
      const Controls c = ControlsOf(window);
      connect(&window, &ProgressWindow::reported, this, [&](int percent, const QString& text) {
        ++reports;
        QCOMPARE(c.status->text(), text);
        QCOMPARE(c.bar->value(), percent);
        QCOMPARE(c.percent->text(), QString::number(percent) + "%");
        QCOMPARE(c.button->text(), QString("中断"));
        if (reports > 1) return;
        // 810 wide at 50 gives 710 wide at 100; label and bar 690 wide, the button's right
        // edge on the bar's, the percent label centred over the bar.
        QCOMPARE(window.frameGeometry().x(), 100);
        QCOMPARE(window.frameGeometry().width(), 710);
        QCOMPARE(window.frameGeometry().y(), 50 + (597 - window.frameGeometry().height()) / 2);
        QCOMPARE(c.status->geometry().x(), 8);
        QCOMPARE(c.status->width(), 690);
        QCOMPARE(c.bar->geometry().x(), 8);
        QCOMPARE(c.bar->width(), 690);
        QCOMPARE(c.button->geometry().right(), c.bar->geometry().right());
        QCOMPARE(c.percent->mapTo(&window, QPoint(0, 0)).x(), 8 + (690 - 48) / 2);
        tovask::ui::testing::SaveShot(&window, QStringLiteral("progress_window"));
      });
      connect(&window, &ProgressWindow::runFinished, this, [&](bool closing) {
        doneShown = !closing && c.button->text() == "完成" && window.isVisible();
        QTest::mouseClick(c.button, Qt::LeftButton);
      });
      QCOMPARE(window.exec(), int(QDialog::Accepted));
      QCOMPARE(request.kind, std::string("释放文件"));
    }
    QVERIFY(reports > 0);
    QVERIFY(doneShown);
    QVERIFY(request.succeeded);
    QVERIFY(request.kind.empty() && request.archivePath.empty() && request.targetFolder.empty());
    QCOMPARE(tovask::testing::ReadFile(folder_->work / "out/d/b.txt"), std::string("b"));
    QCOMPARE(folder_->context.currentArchivePath, archive);
    QVERIFY(dialogs_->calls().empty());
  }

  // A failure shows the whole log in one "错误" box and closes the window, although the
  // request did not ask to close.
  void failureShowsTheLogAndCloses() {
    const std::string notArchive = folder_->work / "text.tvk";
    tovask::testing::WriteFile(notArchive, "just text");
    PendingOperation request;
    request.kind = "释放文件";
    request.archivePath = notArchive;
    request.targetFolder = folder_->work / "out";
    ProgressWindow window(folder_->context, request, *dialogs_, nullptr, main_.get());
    bool visibleWhileAsked = false;
    dialogs_->onCall = [&](const auto&) { visibleWhileAsked = window.isVisible(); };
    window.exec();
    QVERIFY(!window.isVisible());
    QVERIFY(visibleWhileAsked);
    QCOMPARE(dialogs_->calls().size(), std::size_t(1));
    const auto& box = dialogs_->calls()[0];
    QCOMPARE(box.kind, DialogKind::Message);
    QCOMPARE(box.title, QString("错误"));
    QCOMPARE(box.flags, 16);
    QCOMPARE(box.text, QString::fromStdString(folder_->context.errorLog));
    QVERIFY(box.text.startsWith("53:") || box.text.startsWith("51:"));
    QVERIFY(!request.succeeded);
  }

  // Esc (and the title bar's close) while the operation runs is an interrupt: the add stops
  // at its next report, the archive stays byte for byte, and the window closes by itself.
  void escapeWhileRunningInterrupts() {
    const std::string archive = folder_->Archive("a.tvk", {{"keep.txt", "keep"}});
    const std::string before = tovask::testing::Sha256OfFile(archive);
    tovask::ui::testing::Files files;
    for (int i = 0; i < 10; ++i) files.push_back({"n" + std::to_string(i) + ".txt", "new"});
    PendingOperation request;
    request.kind = "添加文件";
    request.archivePath = archive;
    request.items = {folder_->Folder("more", files)};
    ProgressWindow window(folder_->context, request, *dialogs_, nullptr, main_.get());
    int reports = 0;
    connect(&window, &ProgressWindow::reported, this, [&] {
      if (++reports == 2) QTest::keyClick(&window, Qt::Key_Escape);
    });
    window.exec();
    QCOMPARE(reports, 2);
    QVERIFY(window.interrupted());
    QVERIFY(!window.isVisible());
    QVERIFY(!request.succeeded);
    QVERIFY(dialogs_->calls().empty());
    QCOMPARE(tovask::testing::Sha256OfFile(archive), before);
    QCOMPARE(folder_->Names(archive), std::vector<std::string>{"keep.txt"});
  }

 private:
  std::unique_ptr<WindowTestFolder> folder_;
  std::unique_ptr<QWidget> main_;
  std::unique_ptr<ScriptedDialogs> dialogs_;
};

QTEST_MAIN(ProgressWindowTest)
#include "progress_window_test.moc"
