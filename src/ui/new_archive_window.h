// The new-archive window ("新建压缩包"): the user lists source files and folders (buttons or
// drops onto the list), names the archive to create and may give a password; "压缩" checks the
// input and hands over a "压缩文件" request. The window only gathers input: the rows, the name
// suggestion and the checks are the application layer's (app/new_archive_window.h), and the
// archive is made by the progress window the caller opens afterwards.
//
// Threads and lifetime: user-interface thread only; dialogs outlives the window.
#pragma once

#include <QDialog>
#include <optional>

#include "app/dispatcher.h"
#include "app/new_archive_window.h"
#include "core/app_context.h"
#include "ui/dialogs.h"

class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace tovask::ui {

// Shows the new-archive window modally over parent. Returns the request ("压缩文件", items,
// archivePath, password) when the user pressed "压缩" and its checks passed; nullopt when the
// window was closed. The window is destroyed and pending events processed before this returns, so
// the caller opens the progress window after it has gone.
[[nodiscard]] std::optional<PendingOperation> AskNewArchive(AppContext& context, Dialogs& dialogs,
                                                            QWidget* parent);

// The window itself; AskNewArchive is the way to show it. Controls (object names): "tipLabel",
// "sourceList" (one column "文件"; item data Qt::UserRole holds the SourceKind), the buttons
// "addFolderButton", "addFilesButton", "deleteButton", "browseButton", "compressButton", and
// the boxes "targetBox" (read-only) and "passwordBox" (masked).
class NewArchiveWindow final : public QDialog {
  Q_OBJECT

 public:
  NewArchiveWindow(Dialogs& dialogs, QWidget* parent);

  // The request of the last "压缩" whose checks passed (the window is then accepted).
  [[nodiscard]] const std::optional<PendingOperation>& request() const { return request_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddFolder();
  void AddFiles();
  void DeleteSelectedRows();
  void AddDropped(const std::vector<std::string>& paths);
  void Browse();
  void Compress();
  void Suggest();
  // Appends list items for rows_[from..] (the rows the last change appended).
  void ShowRowsFrom(std::size_t from);

  Dialogs& dialogs_;
  SourceRows rows_;  // what the list shows, row for row
  std::optional<PendingOperation> request_;
  QTreeWidget* sourceList_ = nullptr;
  QLineEdit* targetBox_ = nullptr;
  QLineEdit* passwordBox_ = nullptr;
};

}  // namespace tovask::ui
