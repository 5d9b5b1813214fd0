// Every window as a screen reader and a keyboard user meet it: each control (a widget that takes
// the focus, a label that shows a text or a picture, a bar, a menu) has an accessible name, a
// label's being its text, and Tab visits the focusable controls in the order the window shows
// them.
#include <QAccessible>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTest>
#include <functional>
#include <memory>

#include "support/modal_steps.h"
#include "support/scripted_dialogs.h"
#include "support/window_test_folder.h"
#include "ui/entry_list_model.h"
#include "ui/information_window.h"
#include "ui/main_window.h"
#include "ui/new_archive_window.h"
#include "ui/overwrite_windows.h"
#include "ui/progress_window.h"

using namespace tovask::ui;
using tovask::ui::testing::ScriptedDialogs;
using tovask::ui::testing::WhenModal;
using tovask::ui::testing::WindowTestFolder;

namespace {

// Opens one window and hands it to inspect while it is open.
using Inspect = std::function<void(QWidget*)>;
using Opener = std::function<void(const Inspect&)>;

bool IsControl(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) {
    return !label->text().isEmpty() || !label->pixmap().isNull();
  }
  // A menu of the window's own (a menu bar's overflow menu has no title: Qt's).
  if (auto* menu = qobject_cast<QMenu*>(widget)) return !menu->title().isEmpty();
  return widget->focusPolicy() != Qt::NoFocus || qobject_cast<QProgressBar*>(widget) != nullptr;
}

QString AccessibleName(QWidget* widget) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
  return accessible != nullptr ? accessible->text(QAccessible::Name).trimmed() : QString();
}

// The controls Tab reaches from the window on, in order, until the chain comes round.
QStringList TabChain(QWidget* window) {
  QStringList chain;
  for (QWidget* widget = window->nextInFocusChain(); widget != window;
       widget = widget->nextInFocusChain()) {
    if ((widget->focusPolicy() & Qt::TabFocus) && widget->isVisibleTo(window) &&
        widget->isEnabled() && widget->focusProxy() == nullptr) {
      chain << widget->objectName();
    }
  }
  return chain;
}

}  // namespace

Q_DECLARE_METATYPE(Opener)

class AccessibilityTest : public QObject {
  Q_OBJECT

 private slots:
  void everyControlIsNamedAndTabFollowsTheWindow_data() {
    QTest::addColumn<Opener>("open");
    QTest::addColumn<QStringList>("tabChain");

    QTest::newRow("main") << Opener([this](const Inspect& inspect) { inspect(main_.get()); })
                          << QStringList{"entryList"};
    QTest::newRow("progress") << Opener([this](const Inspect& inspect) {
      tovask::PendingOperation request;
      request.kind = "释放文件";
      ProgressWindow window(folder_->context, request, dialogs_, nullptr, main_.get());
      inspect(&window);
    }) << QStringList{"actionButton"};
    QTest::newRow("new archive") << Opener([this](const Inspect& inspect) {
      WhenModal([inspect](QWidget* window) {
        inspect(window);
        qobject_cast<QDialog*>(window)->reject();
      });
      (void)AskNewArchive(folder_->context, dialogs_, main_.get());
    }) << QStringList{"sourceList", "addFolderButton", "addFilesButton", "deleteButton",
                      "targetBox",  "browseButton",    "passwordBox",    "compressButton"};
    QTest::newRow("information") << Opener([this](const Inspect& inspect) {
      WhenModal([inspect](QWidget* window) {
        inspect(window);
        qobject_cast<QDialog*>(window)->reject();
      });
      const tovask::ArchiveSummary summary = main_->model()->listing()->summary;
      ShowInformationWindow(main_.get(), folder_->context.currentArchivePath, &summary);
    }) << QStringList{"okButton"};
    QTest::newRow("overwrite") << Opener([this](const Inspect& inspect) {
      tovask::OverwritePrompt prompt;
      prompt.existingPath = folder_->context.currentArchivePath;
      OverwriteWindow window(prompt, dialogs_, main_.get());
      inspect(&window);
    }) << QStringList{"yesButton", "yesToAllButton", "renameButton", "renameAllButton",
                      "noButton",  "noToAllButton",  "cancelButton", "helpButton"};
    QTest::newRow("rename") << Opener([this](const Inspect& inspect) {
      RenameWindow window("a.txt", QIcon(), dialogs_, main_.get());
      inspect(&window);
    }) << QStringList{"currentNameBox", "newNameBox", "okButton", "cancelButton"};
  }

  void everyControlIsNamedAndTabFollowsTheWindow() {
    QFETCH(Opener, open);
    QFETCH(QStringList, tabChain);
    QStringList unnamed;
    QStringList chain;
    open([&](QWidget* window) {
      for (QWidget* widget : window->findChildren<QWidget*>()) {
        const QString name = AccessibleName(widget);
        // A label is read out as what it shows (a file name, a status), never as a fixed name.
        auto* label = qobject_cast<QLabel*>(widget);
        if (IsControl(widget) && (name.isEmpty() || (label && !label->text().isEmpty() &&
                                                     name != label->text().trimmed()))) {
          unnamed << QString("%1 (%2): \"%3\"")
                         .arg(widget->objectName(), widget->metaObject()->className(), name);
        }
      }
      chain = TabChain(window);
    });
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(", ")));
    QCOMPARE(chain, tabChain);
  }

  void initTestCase() {
    folder_ = std::make_unique<WindowTestFolder>();
    folder_->context.currentArchivePath = folder_->Archive("a.tvk", {{"a.txt", "alpha"}});
    main_ = std::make_unique<MainWindow>(folder_->context, dialogs_);
    main_->show();
  }
  void cleanupTestCase() {
    main_.reset();
    folder_.reset();
  }

 private:
  std::unique_ptr<WindowTestFolder> folder_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<MainWindow> main_;
};

QTEST_MAIN(AccessibilityTest)
#include "accessibility_test.moc"
