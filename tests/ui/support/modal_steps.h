// Driving modal windows from a window test: a step is posted to the event loop and runs on
// QApplication::activeModalWidget() once the loop of the window's exec() picks it up, so the
// test acts while the window is open without waiting for anything but that event. A step that
// opens a nested modal window (a button whose window has its own exec) posts the nested
// window's step before it presses the button.
//
// SaveShot: when TOVASK_SCREENSHOT_DIR names a folder, a picture of the window is saved there (to
// look at the windows, e.g. under Xvfb); otherwise it does nothing.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QPixmap>
#include <QTest>
#include <functional>
#include <utility>

namespace tovask::ui::testing {

// Every modal window is closed (rejected), the innermost first. A window that stays open when
// rejected (a progress window whose operation runs: the reject only interrupts it) ends the
// loop; it closes itself once the operation has stopped.
inline void CloseModalWindows() {
  while (QWidget* open = QApplication::activeModalWidget()) {
    if (auto* dialog = qobject_cast<QDialog*>(open)) {
      dialog->reject();
    } else {
      open->hide();
    }
    if (QApplication::activeModalWidget() == open) break;
  }
}

// Posts step to run on the top modal window. When there is none, or the step fails a check,
// every modal window is closed so that the test ends with its failure instead of waiting.
inline void WhenModal(std::function<void(QWidget*)> step) {
  QMetaObject::invokeMethod(
      qApp,
      [step = std::move(step)] {
        QWidget* window = QApplication::activeModalWidget();
        if (window == nullptr) {
          QTest::qFail("no modal window is open", __FILE__, __LINE__);
        } else {
          step(window);
        }
        if (QTest::currentTestFailed()) CloseModalWindows();
      },
      Qt::QueuedConnection);
}

inline void SaveShot(QWidget* window, const QString& name) {
  const QString folder = qEnvironmentVariable("TOVASK_SCREENSHOT_DIR");
  if (folder.isEmpty()) return;
  QDir().mkpath(folder);
  window->grab().save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

}  // namespace tovask::ui::testing
