// The overwrite window ("确认文件替换") and its rename window ("重命名"), through which extraction
// asks what to do with a file that already exists. They read the existing file's size, time and
// type icon and the archived entry's size and time, and write only OverwritePrompt's answer and
// newName; the decisions are the engine's (extract/overwrite.h: DecideRename).
//
// Threads and lifetime: user-interface thread only; dialogs and the prompt outlive the windows.
#pragma once

#include <QDialog>
#include <QIcon>

#include "extract/overwrite.h"
#include "ui/dialogs.h"

class QLabel;
class QLineEdit;

namespace tovask::ui {

// Answers the engine's overwrite question with the overwrite window (and its rename window).
class OverwriteWindows final : public OverwriteQuestion {
 public:
  OverwriteWindows(Dialogs& dialogs, QWidget* parent);
  void Ask(OverwritePrompt& prompt) override;

 private:
  Dialogs& dialogs_;
  QWidget* parent_;
};

// The overwrite window for prompt.existingPath. The six answer buttons set prompt.answer and
// close it; "重命名(&R)" opens the rename window and closes it only with AnswerRename; "帮助(&H)"
// shows the help box. Closed any other way (title bar, Escape) it leaves prompt.answer as it
// was. Object names: "fileNameLabel", "existingIcon", "existingSizeLabel", "existingTimeLabel",
// "archivedIcon", "archivedSizeLabel", "archivedTimeLabel", and the buttons "yesButton",
// "yesToAllButton", "renameButton", "renameAllButton", "noButton", "noToAllButton",
// "cancelButton", "helpButton".
class OverwriteWindow final : public QDialog {
  Q_OBJECT

 public:
  OverwriteWindow(OverwritePrompt& prompt, Dialogs& dialogs, QWidget* parent);

 private:
  // Shows the file at path (name, size, time, icon) above the archived entry's size and time.
  void ShowFileDetails(const std::string& path);
  void Answer(OverwriteAnswer answer);
  void Rename();
  void Help();

  OverwritePrompt& prompt_;
  Dialogs& dialogs_;
  QIcon icon_;  // the shown file's type icon
  QLabel* fileName_ = nullptr;
  QLabel* existingIcon_ = nullptr;
  QLabel* existingSize_ = nullptr;
  QLabel* existingTime_ = nullptr;
  QLabel* archivedIcon_ = nullptr;
  QLabel* archivedSize_ = nullptr;
  QLabel* archivedTime_ = nullptr;
};

// The rename window: the current name and an editable new name, both starting as name, each
// beside the file's icon at 16 x 16.
// "确定(&Y)" with the name unchanged beeps and stays open; otherwise it accepts with the typed
// text (which may be empty). "取消(&C)" and the title bar reject. Object names: "currentNameBox",
// "newNameBox", "okButton", "cancelButton".
class RenameWindow final : public QDialog {
  Q_OBJECT

 public:
  RenameWindow(const QString& name, const QIcon& icon, Dialogs& dialogs, QWidget* parent);

  // The text of the new-name box.
  [[nodiscard]] QString typedName() const;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Confirm();

  Dialogs& dialogs_;
  QString name_;
  QLineEdit* newName_ = nullptr;
};

}  // namespace tovask::ui
