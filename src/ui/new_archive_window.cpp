#include "ui/new_archive_window.h"

#include <QApplication>
#include <QDropEvent>
#include <QFileIconProvider>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/files.h"
#include "platform/paths.h"
#include "ui/qt_text.h"

namespace tovask::ui {
namespace {

constexpr int kFileColumnWidth = 450;
const char* const kFolderBrowserTitle = "选择要压缩的文件夹：";
const char* const kAddFilesTitle = "请选择要压缩的文件";
const char* const kAllFilesFilter = "所有文件(*.*)|*.*";
const char* const kSaveTitle = "请选择要压缩到的压缩包文件名：";
const char* const kArchiveFilter = "Tvk压缩包(*.tvk)|*.tvk";

// The local paths of a drop, absolute and normal as the engine takes them; anything that is
// not a local file (a web address, plain text) is no source.
std::vector<std::string> DroppedPaths(const QMimeData& data) {
  std::vector<std::string> paths;
  const std::string base = platform::CurrentDirectory();
  for (const QUrl& url : data.urls()) {
    const QString local = url.toLocalFile();
    if (local.isEmpty()) continue;
    std::string path = platform::AbsoluteNormalPath(ToStd(local), base);
    if (!path.empty()) paths.push_back(std::move(path));
  }
  return paths;
}

QPushButton* MakeButton(const QString& text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QLatin1String(name));
  button->setAccessibleName(text);
  return button;
}

}  // namespace

NewArchiveWindow::NewArchiveWindow(Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), dialogs_(dialogs) {
  setObjectName(QStringLiteral("newArchiveWindow"));
  setWindowTitle(QStringLiteral("新建压缩包"));

  auto* tip = new QLabel(QStringLiteral("提示：可以拖动文件到列表中。"), this);
  tip->setObjectName(QStringLiteral("tipLabel"));

  sourceList_ = new QTreeWidget(this);
  sourceList_->setObjectName(QStringLiteral("sourceList"));
  sourceList_->setAccessibleName(QStringLiteral("要压缩的文件和文件夹"));
  sourceList_->setColumnCount(1);
  sourceList_->setHeaderLabels({QStringLiteral("文件")});
  sourceList_->header()->setStretchLastSection(false);
  sourceList_->setColumnWidth(0, kFileColumnWidth);
  sourceList_->setRootIsDecorated(false);
  sourceList_->setUniformRowHeights(true);
  sourceList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  sourceList_->setAcceptDrops(true);
  // Drops and double-clicks arrive at the viewport; the window handles them itself.
  sourceList_->viewport()->installEventFilter(this);
  sourceList_->setMinimumWidth(kFileColumnWidth + 2 * sourceList_->frameWidth() +
                               style()->pixelMetric(QStyle::PM_ScrollBarExtent));

  auto* addFolder = MakeButton(QStringLiteral("添加文件夹"), "addFolderButton", this);
  auto* addFiles = MakeButton(QStringLiteral("添加文件"), "addFilesButton", this);
  auto* remove = MakeButton(QStringLiteral("删除"), "deleteButton", this);
  connect(addFolder, &QPushButton::clicked, this, &NewArchiveWindow::AddFolder);
  connect(addFiles, &QPushButton::clicked, this, &NewArchiveWindow::AddFiles);
  connect(remove, &QPushButton::clicked, this, &NewArchiveWindow::DeleteSelectedRows);

  auto* targetLabel = new QLabel(QStringLiteral("文件压缩到："), this);
  targetLabel->setObjectName(QStringLiteral("targetLabel"));
  targetBox_ = new QLineEdit(this);
  targetBox_->setObjectName(QStringLiteral("targetBox"));
  targetBox_->setAccessibleName(QStringLiteral("文件压缩到"));
  targetBox_->setReadOnly(true);
  targetLabel->setBuddy(targetBox_);
  auto* browse = MakeButton(QStringLiteral("…"), "browseButton", this);
  browse->setAccessibleName(QStringLiteral("浏览"));
  connect(browse, &QPushButton::clicked, this, &NewArchiveWindow::Browse);

  auto* passwordLabel = new QLabel(QStringLiteral("密码："), this);
  passwordLabel->setObjectName(QStringLiteral("passwordLabel"));
  passwordBox_ = new QLineEdit(this);
  passwordBox_->setObjectName(QStringLiteral("passwordBox"));
  passwordBox_->setAccessibleName(QStringLiteral("密码"));
  passwordBox_->setEchoMode(QLineEdit::Password);
  // Every typed character shows as "*", whatever the style's own mask character is.
  passwordBox_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
  passwordLabel->setBuddy(passwordBox_);
  auto* compress = MakeButton(QStringLiteral("压缩"), "compressButton", this);
  // Enter in the password box (or anywhere but another button) means "压缩", as the window's
  // one action; its checks still run first.
  compress->setDefault(true);
  connect(compress, &QPushButton::clicked, this, &NewArchiveWindow::Compress);

  auto* listButtons = new QHBoxLayout;
  listButtons->addWidget(addFolder);
  listButtons->addWidget(addFiles);
  listButtons->addWidget(remove);
  listButtons->addStretch(1);

  auto* inputs = new QGridLayout;
  inputs->addWidget(targetLabel, 0, 0);
  inputs->addWidget(targetBox_, 0, 1);
  inputs->addWidget(browse, 0, 2);
  inputs->addWidget(passwordLabel, 1, 0);
  inputs->addWidget(passwordBox_, 1, 1);
  inputs->addWidget(compress, 1, 2);
  inputs->setColumnStretch(1, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tip);
  layout->addWidget(sourceList_, 1);
  layout->addLayout(listButtons);
  layout->addLayout(inputs);

  setTabOrder(sourceList_, addFolder);
  setTabOrder(addFolder, addFiles);
  setTabOrder(addFiles, remove);
  setTabOrder(remove, targetBox_);
  setTabOrder(targetBox_, browse);
  setTabOrder(browse, passwordBox_);
  setTabOrder(passwordBox_, compress);
}

bool NewArchiveWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != sourceList_->viewport()) return QDialog::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (drag->mimeData()->hasUrls()) {
        drag->acceptProposedAction();
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const std::vector<std::string> paths = DroppedPaths(*drop->mimeData());
      if (paths.empty()) {
        drop->ignore();
      } else {
        drop->acceptProposedAction();
        AddDropped(paths);
      }
      return true;
    }
    case QEvent::MouseButtonDblClick:
      // The press before it has made its row current; the view still gets the click.
      Suggest();
      return false;
    default:
      return QDialog::eventFilter(watched, event);
  }
}

void NewArchiveWindow::ShowRowsFrom(std::size_t from) {
  const QFileIconProvider icons;
  for (std::size_t i = from; i < rows_.size(); ++i) {
    auto* item = new QTreeWidgetItem(sourceList_, {ToQt(rows_[i].path)});
    const bool folder = rows_[i].kind == SourceKind::Folder;
    item->setIcon(0, icons.icon(folder ? QFileIconProvider::Folder : QFileIconProvider::File));
    item->setData(0, Qt::UserRole, static_cast<int>(rows_[i].kind));
  }
}

void NewArchiveWindow::AddFolder() {
  const QString folder = dialogs_.ChooseFolder(this, QString::fromUtf8(kFolderBrowserTitle));
  const std::size_t before = rows_.size();
  AddFolderRow(rows_, ToStd(folder));
  ShowRowsFrom(before);
  Suggest();
}

void NewArchiveWindow::AddFiles() {
  const QStringList chosen = dialogs_.OpenFiles(this, QString::fromUtf8(kAddFilesTitle),
                                                QString::fromUtf8(kAllFilesFilter));
  std::vector<std::string> files;
  files.reserve(static_cast<std::size_t>(chosen.size()));
  for (const QString& file : chosen) files.push_back(ToStd(file));
  const std::size_t before = rows_.size();
  AddFileRows(rows_, files);
  ShowRowsFrom(before);
  Suggest();
}

void NewArchiveWindow::AddDropped(const std::vector<std::string>& paths) {
  const std::size_t before = rows_.size();
  AddDroppedRows(rows_, paths);
  ShowRowsFrom(before);
}

void NewArchiveWindow::DeleteSelectedRows() {
  std::vector<int> selected;
  for (const QModelIndex& index : sourceList_->selectionModel()->selectedRows()) {
    selected.push_back(index.row());
  }
  DeleteRows(rows_, selected);
  // The same rows leave the list, the highest number first so the lower ones stay in place.
  std::sort(selected.rbegin(), selected.rend());
  for (const int row : selected) delete sourceList_->takeTopLevelItem(row);
}

void NewArchiveWindow::Suggest() {
  const int current =
      sourceList_->currentIndex().isValid() ? sourceList_->currentIndex().row() : -1;
  if (const std::optional<std::string> name = SuggestArchiveName(rows_, current)) {
    targetBox_->setText(ToQt(*name));
  }
}

void NewArchiveWindow::Browse() {
  const QString target =
      dialogs_.SaveFile(this, QString::fromUtf8(kSaveTitle), QString::fromUtf8(kArchiveFilter));
  if (!target.isEmpty()) targetBox_->setText(target);
}

void NewArchiveWindow::Compress() {
  const std::string target = ToStd(targetBox_->text());
  const std::string_view problem = NewArchiveInputProblem(rows_, target);
  if (!problem.empty()) {
    dialogs_.Message(this, ToQt(problem), QString(), kBoxInformation);
    return;
  }
  PendingOperation request;
  request.kind = std::string(kKindCompress);
  request.items = SourcePaths(rows_);
  request.archivePath = target;
  request.password = ToStd(passwordBox_->text());
  request_ = std::move(request);
  accept();
}

std::optional<PendingOperation> AskNewArchive(AppContext& /*context*/, Dialogs& dialogs,
                                              QWidget* parent) {
  // The parent may go while the window is open (the program is ending); the guard tells.
  QPointer<NewArchiveWindow> window = new NewArchiveWindow(dialogs, parent);
  window->exec();
  std::optional<PendingOperation> request;
  if (window) {
    if (window->result() == QDialog::Accepted) request = window->request();
    delete window.data();
  }
  // The window disappears from the screen before the work starts.
  QCoreApplication::processEvents();
  return request;
}

}  // namespace tovask::ui
