// MainWindow: the program's only top-level window. It lists the entries of the current archive
// (AppContext::currentArchivePath) and offers every command through its menus, its toolbar,
// the list's context menu, in-place editing of the first column and drops onto the list.
//
// The commands never read or write an archive themselves: each checks its preconditions, asks
// what it needs through the Dialogs seam, fills the PendingOperation and runs it in a modal
// ProgressWindow, then reloads where the command says so (RefreshMainWindow). Rename and set
// password hand over to the application layer's CommitRename and SetPasswordCommand under the
// wait label.
//
// User-interface thread only. The context and the dialogs outlive the window.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "app/dispatcher.h"
#include "core/app_context.h"
#include "extract/overwrite.h"
#include "ui/dialogs.h"
#include "ui/password_prompt.h"

class QAction;
class QLabel;
class QMenu;
class QTableView;

namespace tovask::ui {

class EntryListModel;
class ProgressWindow;

class MainWindow final : public QMainWindow {
  Q_OBJECT

 public:
  // The twelve toolbar positions, separators included.
  static constexpr int kToolbarPositions = 12;

  // Builds the window (caption "Tovask 1.0 beta", 50, 50, 810 x 597, every archive command
  // disabled) and lists currentArchivePath when it is set (an archive from the command line).
  MainWindow(AppContext& context, Dialogs& dialogs, QWidget* parent = nullptr);
  ~MainWindow() override;

  // The reload: lists currentArchivePath again and sets caption, status text and the
  // archive commands' state; a failure is shown in one "错误" box and leaves an empty list.
  void Reload();

  // The commands, as the menus, the toolbar and the shortcuts run them.
  void NewArchive();
  void OpenArchive();
  void ExtractAll();
  void AddFiles();
  void AddFolder();
  void ExtractSelected();
  void DeleteSelected();
  void RenameCurrent();
  void SetPassword();
  void Find();
  void ShowInformation();
  void ShowAbout();
  // Files and folders dropped on the list (absolute paths): confirmed, then added.
  void AddDroppedPaths(const QStringList& paths);

  [[nodiscard]] QTableView* list() const { return list_; }
  [[nodiscard]] EntryListModel* model() const { return model_; }
  // The action at a toolbar position (separators included).
  [[nodiscard]] QAction* toolbarPosition(int position) const;

 signals:
  // A progress window is about to run modally for the request.
  void progressWindowOpened(tovask::ui::ProgressWindow* window);
  // An in-place rename was committed or refused (its box already closed).
  void renameFinished(bool accepted);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolbar();
  void BuildList();
  void BuildStatusBar();
  void SetArchiveCommandsEnabled(bool enabled);
  void ApplyColumnLayout();
  void UpdateSelectionStatus();
  void ShowWaitLabel(bool processEvents);
  void HideWaitLabel();

  // The selected rows in ascending order and their entries' names.
  [[nodiscard]] std::vector<int> SelectedRows() const;
  [[nodiscard]] std::vector<std::string> SelectedNames() const;

  // Fills the request from its reset values and the current archive, and runs it in the
  // progress window; returns when the window has been destroyed.
  void HandOver(std::string_view kind, std::vector<std::string> items, std::string targetFolder,
                bool closeWhenDone);
  void RunProgressWindow();

  void RenameRequested(int row, const QString& newName);
  void CommitRenameOf(int row, const std::string& oldName, const std::string& newName);

  AppContext& context_;
  Dialogs& dialogs_;
  PendingOperation request_;
  std::unique_ptr<OverwriteQuestion> overwrite_;
  DialogsPasswordPrompt passwordPrompt_;

  EntryListModel* model_ = nullptr;
  QTableView* list_ = nullptr;
  QLabel* waitLabel_ = nullptr;
  QLabel* selectionStatus_ = nullptr;
  QLabel* archiveStatus_ = nullptr;
  QMenu* operationsMenu_ = nullptr;
  QAction* extractAllAction_ = nullptr;
  QAction* findAction_ = nullptr;
  QAction* informationAction_ = nullptr;
  QAction* renameAction_ = nullptr;
  std::array<QAction*, kToolbarPositions> toolbar_{};
  bool selectionCounted_ = false;
  bool shown_ = false;  // status part 0 shows a count (not its first text)
};

}  // namespace tovask::ui
