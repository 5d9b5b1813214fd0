// ProgressWindow: the small modal window in which every archive operation runs. The requester
// fills the PendingOperation and calls exec(); the first time the window is shown it runs
// RunPendingOperation inside itself, on the user-interface thread, and is the operation's
// progress sink: each Report shows the step text, the bar and "N%", and lets pending events run
// (at most about 30 times a second) so the window repaints and its button can be pressed.
//
// The button reads "中断" while the operation runs: pressing it (or Esc, or the title bar's
// close) only makes the next Report answer false; the operation then stops there (an archive
// stays as it was, extraction keeps the files already written) and the window closes when
// RunPendingOperation has returned. After a successful run the dispatcher makes the button
// "完成" and pressing it closes the window. Destroying the window resets the request.
//
// User-interface thread only. Everything handed to the constructor outlives the window.
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <optional>
#include <string>

#include "app/dispatcher.h"
#include "core/app_context.h"
#include "core/progress.h"
#include "extract/overwrite.h"
#include "ui/dialogs.h"
#include "ui/password_prompt.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace tovask::ui {

class ProgressWindow final : public QDialog, public ProgressSink {
  Q_OBJECT

 public:
  // Caption = request.kind; laid out against mainWindow's outer rectangle
  // (LayOutProgressWindow; the design layout when mainWindow is null). overwrite answers
  // the overwrite question of an extraction (null: such a file is skipped).
  ProgressWindow(AppContext& context, PendingOperation& request, Dialogs& dialogs,
                 OverwriteQuestion* overwrite, QWidget* mainWindow);
  // Resets the request (ResetPendingOperation).
  ~ProgressWindow() override;

  // ProgressSink: text, bar and percent are shown before this returns; false once the user
  // has interrupted.
  [[nodiscard]] bool Report(int percent, const std::string& text) override;
  [[nodiscard]] bool ProcessEvents() override;

  // Esc and the title bar's close: an interrupt while the operation runs, else a close.
  void reject() override;

  [[nodiscard]] bool running() const { return running_; }
  [[nodiscard]] bool interrupted() const { return interrupted_; }
  // The operation's outcome once it has run (nullopt before, and for a kind that names no
  // operation).
  [[nodiscard]] const std::optional<Outcome>& outcome() const { return outcome_; }

 signals:
  // After each Report has updated the window, before pending events run.
  void reported(int percent, const QString& text);
  // RunPendingOperation has returned; closing: the window now closes by itself (the request
  // asked so, the run failed or was interrupted), otherwise it waits for "完成".
  void runFinished(bool closing);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Run();
  void ButtonPressed();
  void LayOutAgainst(QWidget* mainWindow);

  AppContext& context_;
  PendingOperation& request_;
  Dialogs& dialogs_;
  OverwriteQuestion* overwrite_;
  DialogsPasswordPrompt passwordPrompt_;

  QLabel* statusLabel_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QLabel* percentLabel_ = nullptr;
  QPushButton* button_ = nullptr;

  std::optional<Outcome> outcome_;
  bool started_ = false;
  bool running_ = false;
  bool interrupted_ = false;
  QElapsedTimer sinceEvents_;  // since pending events last ran during the operation
};

}  // namespace tovask::ui
