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
// An entry is opened (double-click, Enter) or dragged out by extracting it, verified, in the
// progress window into a fresh folder of the run's private temporary folder (TemporaryCopies,
// app/temporary_copies.h, which also says what a drag offers); the opened copy is read-only
// and handed to the desktop's default application. The private folder goes when the window
// is destroyed. A drop of our own drag onto the list is refused.
//
// User-interface thread only. The context and the dialogs outlive the window.
#pragma once

#include <QByteArray>
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/dispatcher.h"
#include "app/temporary_copies.h"
#include "core/app_context.h"
#include "extract/overwrite.h"
#include "ui/dialogs.h"
#include "ui/password_prompt.h"

class QAction;
class QDropEvent;
class QLabel;
class QMenu;
class QMimeData;
class QTableView;
class QUrl;

namespace tovask::ui {

class EntryListModel;
class EntryListView;
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

  // Opens a file with the desktop's default application; false when none could be started.
  using FileOpener = std::function<bool(const QUrl&)>;
  // The opener used from now on (at first QDesktopServices::openUrl); tests use a stand-in.
  void SetFileOpener(FileOpener opener);

  // Opens the entry of row (a double-click, Enter): extracted in the progress window into a
  // fresh temporary folder (digest and length verified, the password asked when it is
  // encrypted), made read-only and handed to the opener. A failure or an interrupt opens
  // nothing; the engine's messages are shown in the "错误" box as for every extraction, and
  // an opener that fails shows 114.
  void OpenEntry(int row);
  // The data of a drag of the selected rows: the entries extracted as for OpenEntry (not made
  // read-only: the receiver's copies keep the entries' own attributes), offered as file URLs
  // (DraggedPaths), with this window's mark so that a drop back onto the list is refused.
  // nullptr when there is nothing to drag or the extraction did not end as done.
  [[nodiscard]] std::unique_ptr<QMimeData> PrepareDrag();

  [[nodiscard]] QTableView* list() const;
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
  // Both return the operation's outcome (nullopt when it did not run).
  std::optional<Outcome> HandOver(std::string_view kind, std::vector<std::string> items,
                                  std::string targetFolder, bool closeWhenDone);
  std::optional<Outcome> RunProgressWindow();

  // Extracts the entries of the current archive into a new temporary folder; the folder
  // when the extraction was done, else nullopt (its messages already shown).
  std::optional<std::string> ExtractForDesktop(const std::vector<std::string>& names);
  void DragSelected();
  // True for a drag that started in this window (its mark, or its source).
  [[nodiscard]] bool FromThisWindow(const QDropEvent* event) const;
  [[nodiscard]] QByteArray DragMark() const;
  void ShowErrorLog();

  void RenameRequested(int row, const QString& newName);
  void CommitRenameOf(int row, const std::string& oldName, const std::string& newName);

  AppContext& context_;
  Dialogs& dialogs_;
  PendingOperation request_;
  std::unique_ptr<OverwriteQuestion> overwrite_;
  DialogsPasswordPrompt passwordPrompt_;

  TemporaryCopies copies_;
  FileOpener opener_;

  EntryListModel* model_ = nullptr;
  EntryListView* list_ = nullptr;
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
