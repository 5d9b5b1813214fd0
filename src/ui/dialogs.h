// Dialogs: every box and chooser the desktop program opens (message boxes, input boxes, the
// open/save/multi-open file dialogs, the folder browser, the beep, the about box) goes through
// this one interface. Windows receive it by reference and never call QMessageBox, QInputDialog
// or QFileDialog themselves, so tests replace it with scripted answers and see what was asked.
//
// Threads and lifetime: user-interface thread only; the instance outlives every window that
// holds it (it is created in main before the main window).
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QWidget;

namespace tovask::ui {

// Message-box flags as the windows give them: icon plus buttons.
enum BoxFlags : int {
  kBoxCritical = 16,             // error icon, OK
  kBoxWarningOkCancel = 49,      // warning icon, OK and Cancel
  kBoxInformation = 64,          // information icon, OK
  kBoxInformationOkCancel = 65,  // information icon, OK and Cancel
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // A modal message box; true when the user chose OK (boxes with OK only return true however
  // they are closed). An empty title leaves the platform's default caption.
  virtual bool Message(QWidget* parent, const QString& text, const QString& title,
                       BoxFlags flags) = 0;

  // A modal input box with an initial text; masked shows "*" for every character. nullopt
  // when the user cancels; what the user confirms comes back unchanged, even "".
  virtual std::optional<QString> InputText(QWidget* parent, const QString& prompt,
                                           const QString& title, const QString& initial,
                                           bool masked) = 0;

  // File dialogs. filter is written "Description(*.ext)|*.ext" (the part before "|" is shown,
  // the part after it is the pattern). Each returns absolute paths; "" or an empty list when
  // the user cancels.
  virtual QString OpenFile(QWidget* parent, const QString& title, const QString& filter) = 0;
  virtual QStringList OpenFiles(QWidget* parent, const QString& title, const QString& filter) = 0;
  virtual QString SaveFile(QWidget* parent, const QString& title, const QString& filter) = 0;

  // The folder browser (folders only); "" when the user cancels.
  virtual QString ChooseFolder(QWidget* parent, const QString& title) = 0;

  // The platform's alert sound.
  virtual void Beep() = 0;

  // The about box: the application name and its notice, closed by its own button.
  virtual void About(QWidget* parent, const QString& title, const QString& text) = 0;
};

// The real dialogs: QMessageBox, QInputDialog, QFileDialog and QApplication::beep.
class QtDialogs final : public Dialogs {
 public:
  bool Message(QWidget* parent, const QString& text, const QString& title, BoxFlags flags) override;
  std::optional<QString> InputText(QWidget* parent, const QString& prompt, const QString& title,
                                   const QString& initial, bool masked) override;
  QString OpenFile(QWidget* parent, const QString& title, const QString& filter) override;
  QStringList OpenFiles(QWidget* parent, const QString& title, const QString& filter) override;
  QString SaveFile(QWidget* parent, const QString& title, const QString& filter) override;
  QString ChooseFolder(QWidget* parent, const QString& title) override;
  void Beep() override;
  void About(QWidget* parent, const QString& title, const QString& text) override;
};

// "Tvk压缩包(*.tvk)|*.tvk" -> "Tvk压缩包(*.tvk)" as QFileDialog takes it; a filter without "|"
// stays as it is.
[[nodiscard]] QString QtNameFilter(const QString& filter);

}  // namespace tovask::ui
