// The overwrite and rename windows answering the engine's overwrite question: what they show,
// each answer, a close through the title bar, the help box and the rename candidate loop.
#include "ui/overwrite_windows.h"

#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <ctime>
#include <iterator>

#include "app/overwrite_window.h"
#include "platform/files.h"
#include "support/modal_steps.h"
#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"

using tovask::OverwriteAnswer;
using tovask::OverwritePrompt;
using tovask::ui::OverwriteWindows;
using tovask::ui::testing::DialogKind;
using tovask::ui::testing::SaveShot;
using tovask::ui::testing::ScriptedDialogs;
using tovask::ui::testing::WhenModal;

Q_DECLARE_METATYPE(OverwriteAnswer)

namespace {

constexpr double kArchivedTime = 38418.37849537037;  // 2005-03-07 09:05:02
constexpr std::int64_t kExistingTime = 1164033009;   // 2006-11-20 14:30:09 UTC

QString Text(QWidget* window, const char* label) {
  return window->findChild<QLabel*>(QLatin1String(label))->text();
}

void Click(QWidget* window, const char* button) {
  window->findChild<QPushButton*>(QLatin1String(button))->click();
}

}  // namespace

class OverwriteWindowsTest : public QObject {
  Q_OBJECT

 private:
  tovask::testing::TempDir folder_;
  OverwritePrompt prompt_;
  ScriptedDialogs dialogs_;

 private slots:
  void initTestCase() {
    qputenv("TZ", "UTC");
    tzset();
  }

  void init() {
    tovask::testing::WriteFile(folder_ / "a.txt", std::string(1234, 'a'));
    tovask::testing::WriteFile(folder_ / "b.txt", "bbbbb");
    QVERIFY(tovask::platform::SetModifiedTime(folder_ / "a.txt", kExistingTime));
    prompt_ = OverwritePrompt{};
    prompt_.existingPath = folder_ / "a.txt";
    prompt_.archivedSize = 1234567;
    prompt_.archivedTime = kArchivedTime;
    dialogs_.ClearCalls();
  }

  // The window shows the existing file above the archived entry; closing it through the title
  // bar answers nothing, so the engine neither overwrites nor renames.
  void detailsAndTitleBarClose() {
    QPointer<QWidget> shown;
    WhenModal([&](QWidget* window) {
      shown = window;
      QCOMPARE(window->windowTitle(), QStringLiteral("确认文件替换"));
      QCOMPARE(Text(window, "headingLabel"), QStringLiteral("下列文件已存在"));
      QCOMPARE(Text(window, "fileNameLabel"), QStringLiteral("a.txt"));
      QCOMPARE(Text(window, "questionLabel"), QStringLiteral("你是否确实要将已存在的文件:"));
      QCOMPARE(Text(window, "existingSizeLabel"), QStringLiteral("1,234 字节"));
      QCOMPARE(Text(window, "existingTimeLabel"), QStringLiteral("修改于 2006-11-20 14:30:9"));
      QCOMPARE(Text(window, "replaceLabel"), QStringLiteral("替换为:"));
      QCOMPARE(Text(window, "archivedSizeLabel"), QStringLiteral("1,234,567 字节"));
      QCOMPARE(Text(window, "archivedTimeLabel"), QStringLiteral("修改于 2005-3-7 9:5:2"));
      for (const char* icon : {"existingIcon", "archivedIcon"}) {
        QVERIFY2(!window->findChild<QLabel*>(QLatin1String(icon))->pixmap().isNull(), icon);
      }
      const QStringList captions = {"是(&Y)", "全部选是(&A)", "重命名(&R)", "全部重命名(&E)",
                                    "否(&N)", "全部选否(&L)", "取消(&C)",   "帮助(&H)"};
      const char* names[] = {"yesButton", "yesToAllButton", "renameButton", "renameAllButton",
                             "noButton",  "noToAllButton",  "cancelButton", "helpButton"};
      for (int i = 0; i < 8; ++i) {
        QCOMPARE(window->findChild<QPushButton*>(QLatin1String(names[i]))->text(), captions[i]);
      }
      SaveShot(window, QStringLiteral("overwrite_window"));
      window->close();
    });
    OverwriteWindows(dialogs_, nullptr).Ask(prompt_);
    QVERIFY(shown.isNull());
    QCOMPARE(prompt_.answer, tovask::AnswerNone);
    QCOMPARE(prompt_.newName, std::string());
  }

  void answers_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<OverwriteAnswer>("answer");
    QTest::newRow("yes") << "yesButton" << tovask::AnswerYes;
    QTest::newRow("yes to all") << "yesToAllButton" << tovask::AnswerYesToAll;
    QTest::newRow("rename all") << "renameAllButton" << tovask::AnswerRenameAll;
    QTest::newRow("no") << "noButton" << tovask::AnswerNo;
    QTest::newRow("no to all") << "noToAllButton" << tovask::AnswerNoToAll;
    QTest::newRow("cancel") << "cancelButton" << tovask::AnswerCancel;
  }
  void answers() {
    QFETCH(QString, button);
    QFETCH(OverwriteAnswer, answer);
    WhenModal([&](QWidget* window) { Click(window, button.toLatin1().constData()); });
    OverwriteWindows(dialogs_, nullptr).Ask(prompt_);
    QCOMPARE(prompt_.answer, answer);
    QVERIFY(dialogs_.calls().empty());
  }

  // "帮助(&H)" shows the help box and leaves the window open for an answer.
  void help() {
    WhenModal([&](QWidget* window) {
      Click(window, "helpButton");
      QVERIFY(window->isVisible());
      Click(window, "noButton");
    });
    OverwriteWindows(dialogs_, nullptr).Ask(prompt_);
    QCOMPARE(dialogs_.calls().size(), 1u);
    const auto& call = dialogs_.calls()[0];
    QCOMPARE(call.kind, DialogKind::Message);
    QCOMPARE(call.text, QString::fromStdString(tovask::OverwriteHelpText()));
    QCOMPARE(call.title, QStringLiteral("帮助"));
    QCOMPARE(call.flags, 64);
    QCOMPARE(prompt_.answer, tovask::AnswerNo);
  }

  // Rename: a cancelled or empty name answers nothing; the proposed name unchanged beeps; a
  // name that is taken shows that file and asks again; a free name answers AnswerRename.
  void renameCandidateLoop() {
    struct RenameStep {
      QString proposed;  // what both boxes show when the rename window opens
      QString typed;     // typed into the new-name box before the button
      const char* button;
    };
    const RenameStep steps[] = {
        {"a.txt", "x.txt", "cancelButton"},
        {"a.txt", "", "okButton"},
        {"a.txt", "b.txt", "okButton"},  // taken: the overwrite window now shows b.txt
        {"b.txt", "c.txt", "okButton"},
    };
    int beeps = -1;
    // Runs on the rename window: checks what it proposes, confirms it unchanged once (a beep,
    // the window stays open), then types and presses.
    auto renameStep = [&](const RenameStep& step) {
      return [&, step](QWidget* window) {
        QCOMPARE(window->windowTitle(), QStringLiteral("重命名"));
        auto* current = window->findChild<QLineEdit*>(QStringLiteral("currentNameBox"));
        auto* name = window->findChild<QLineEdit*>(QStringLiteral("newNameBox"));
        QCOMPARE(current->text(), step.proposed);
        QCOMPARE(name->text(), step.proposed);
        QCOMPARE(name->selectedText(), step.proposed);
        QCOMPARE(window->focusWidget(), name);
        if (beeps < 0) SaveShot(window, QStringLiteral("rename_window"));
        Click(window, "okButton");
        QVERIFY(window->isVisible());
        beeps = static_cast<int>(
            std::count_if(dialogs_.calls().begin(), dialogs_.calls().end(),
                          [](const auto& call) { return call.kind == DialogKind::Beep; }));
        name->setText(step.typed);
        Click(window, step.button);
      };
    };
    QPointer<QWidget> shown;
    WhenModal([&](QWidget* window) {
      shown = window;
      for (std::size_t i = 0; i < std::size(steps); ++i) {
        WhenModal(renameStep(steps[i]));
        Click(window, "renameButton");
        if (QTest::currentTestFailed()) return;
        if (i + 1 < std::size(steps)) {
          QVERIFY2(window->isVisible(), qPrintable(steps[i].typed));
          QCOMPARE(prompt_.answer, tovask::AnswerNone);
        }
        if (i == 2) {
          QCOMPARE(Text(window, "fileNameLabel"), QStringLiteral("b.txt"));
          QCOMPARE(Text(window, "existingSizeLabel"), QStringLiteral("5 字节"));
          QCOMPARE(Text(window, "archivedSizeLabel"), QStringLiteral("1,234,567 字节"));
          SaveShot(window, QStringLiteral("overwrite_window_candidate"));
        }
      }
    });
    OverwriteWindows(dialogs_, nullptr).Ask(prompt_);
    QVERIFY(shown.isNull());
    QCOMPARE(beeps, 4);
    QCOMPARE(prompt_.answer, tovask::AnswerRename);
    QCOMPARE(prompt_.newName, std::string("c.txt"));
    QCOMPARE(prompt_.existingPath, folder_ / "a.txt");
  }
};

QTEST_MAIN(OverwriteWindowsTest)
#include "overwrite_windows_test.moc"
