#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QIcon>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>
#include <QMimeData>
#include <QStatusBar>
#include <QStyle>
#include <QTableView>
#include <QToolBar>
#include <QUrl>
#include <algorithm>
#include <utility>

#include "app/desktop_integration.h"
#include "app/entry_commands.h"
#include "app/main_window_commands.h"
#include "app/main_window_state.h"
#include "app/temporary_copies.h"
#include "core/messages.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "ui/entry_list_model.h"
#include "ui/entry_list_view.h"
#include "ui/information_window.h"
#include "ui/new_archive_window.h"
#include "ui/overwrite_windows.h"
#include "ui/progress_window.h"

namespace tovask::ui {
namespace {

const QString kArchiveFilter = QStringLiteral("Tvk压缩包(*.tvk)|*.tvk");
const QString kWaitText = QStringLiteral("请稍候，处理中……");
const QString kAboutText = QStringLiteral(
    "Tovask 1.0 beta：创建、查看、修改和解压 Tvk 压缩包。\n"
    "由 Tovask 开发者编写，使用 Qt 6 界面库。");

// The main window's outer size at start.
constexpr QSize kDesignSize(810, 597);

QString FromStd(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A path from a dialog or a drop as the engine takes it: absolute and lexically normal.
std::string EnginePath(const QString& path) {
  return platform::AbsoluteNormalPath(path.toStdString(), platform::CurrentDirectory());
}

// A theme icon, or the style's standard icon where the desktop has no icon theme.
QIcon ToolIcon(const QWidget* window, const char* themeName, QStyle::StandardPixmap fallback) {
  return QIcon::fromTheme(QString::fromLatin1(themeName), window->style()->standardIcon(fallback));
}

// The format of the mark a drag from the main window carries: which process and window.
const QString kDragMarkFormat = QStringLiteral("application/x-tovask-drag-source");

// The local files and folders of a drop, as absolute paths; empty when the drop holds none.
QStringList DroppedPaths(const QMimeData* data) {
  QStringList paths;
  if (data == nullptr || !data->hasUrls()) return paths;
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile() && !url.toLocalFile().isEmpty()) paths << url.toLocalFile();
  }
  return paths;
}

}  // namespace

MainWindow::MainWindow(AppContext& context, Dialogs& dialogs, QWidget* parent)
    : QMainWindow(parent),
      context_(context),
      dialogs_(dialogs),
      overwrite_(std::make_unique<OverwriteWindows>(dialogs, this)),
      passwordPrompt_(dialogs, this),
      opener_([](const QUrl& url) { return QDesktopServices::openUrl(url); }) {
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(FromStd(kInitialCaption));
  BuildList();
  BuildMenus();
  BuildToolbar();
  BuildStatusBar();
  SetArchiveCommandsEnabled(false);
  move(50, 50);
  resize(kDesignSize);

  // ".tvk" files open with this program: registered at every start, failures ignored.
  RegisterArchiveType();

  // An archive given on the command line is listed before the user can act; drops are taken
  // only after that first listing.
  if (!context_.currentArchivePath.empty()) Reload();
  list_->setAcceptDrops(true);
  list_->viewport()->setAcceptDrops(true);
  list_->viewport()->installEventFilter(this);
}

MainWindow::~MainWindow() = default;

QTableView* MainWindow::list() const { return list_; }

void MainWindow::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (shown_) return;
  shown_ = true;
  // 810 x 597 is the outer size; the frame is known once the window is on the screen (where a
  // window manager tells it only later, the inside keeps that size instead).
  const QSize frame = frameGeometry().size() - size();
  if (!frame.isEmpty()) resize(kDesignSize - frame);
}

void MainWindow::BuildList() {
  model_ = new EntryListModel(context_, this);
  list_ = new EntryListView(this);
  list_->setObjectName(QStringLiteral("entryList"));
  list_->setAccessibleName(QStringLiteral("文件列表"));
  list_->setModel(model_);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  list_->setShowGrid(false);
  list_->setWordWrap(false);
  list_->setCornerButtonEnabled(false);
  // Drags out only; drops are taken by the event filter (files to add).
  list_->setDragDropMode(QAbstractItemView::DragOnly);
  list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  list_->verticalHeader()->hide();
  // One fixed row height: the view never measures 100,000 rows.
  list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  list_->verticalHeader()->setDefaultSectionSize(list_->fontMetrics().height() + 6);
  list_->horizontalHeader()->setHighlightSections(false);
  list_->horizontalHeader()->setStretchLastSection(false);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  setCentralWidget(list_);
  ApplyColumnLayout();

  connect(model_, &QAbstractItemModel::modelReset, this, &MainWindow::ApplyColumnLayout);
  connect(model_, &EntryListModel::renameRequested, this, &MainWindow::RenameRequested);
  // Opened once the view has finished with the click or key: the progress window is modal.
  connect(list_, &EntryListView::openRequested, this, &MainWindow::OpenEntry, Qt::QueuedConnection);
  list_->onDragStart = [this] { DragSelected(); };
  connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &MainWindow::UpdateSelectionStatus);
  connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& position) {
    if (context_.currentArchivePath.empty()) return;
    operationsMenu_->popup(list_->viewport()->mapToGlobal(position));
  });

  waitLabel_ = new QLabel(kWaitText, list_);
  waitLabel_->setObjectName(QStringLiteral("waitLabel"));
  waitLabel_->setAlignment(Qt::AlignCenter);
  waitLabel_->setFrameStyle(QFrame::Panel | QFrame::Raised);
  waitLabel_->setAutoFillBackground(true);
  waitLabel_->setMargin(12);
  waitLabel_->hide();
}

void MainWindow::BuildMenus() {
  const auto add = [this](QMenu* menu, const char* name, const QString& text, auto command,
                          const QKeySequence& shortcut = {}) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    if (!shortcut.isEmpty()) action->setShortcut(shortcut);
    connect(action, &QAction::triggered, this, command);
    return action;
  };

  // A menu is read out by its title, without the access-key marker.
  const auto addMenu = [this](const QString& title) {
    QMenu* menu = menuBar()->addMenu(title);
    menu->setAccessibleName(QString(title).remove(QLatin1Char('&')));
    return menu;
  };

  QMenu* file = addMenu(QStringLiteral("文件(&F)"));
  file->setObjectName(QStringLiteral("fileMenu"));
  add(file, "actionNew", QStringLiteral("新建(&N)"), &MainWindow::NewArchive,
      QKeySequence(Qt::CTRL | Qt::Key_N));
  add(file, "actionOpen", QStringLiteral("打开(&O)"), &MainWindow::OpenArchive,
      QKeySequence(Qt::CTRL | Qt::Key_O));
  extractAllAction_ =
      add(file, "actionExtractAll", QStringLiteral("解压全部(&W)"), &MainWindow::ExtractAll);
  file->addSeparator();
  add(file, "actionExit", QStringLiteral("退出(&X)"), &QWidget::close);

  operationsMenu_ = addMenu(QStringLiteral("操作(&C)"));
  operationsMenu_->setObjectName(QStringLiteral("operationsMenu"));
  add(operationsMenu_, "actionAddFolder", QStringLiteral("添加目录(&F)"), &MainWindow::AddFolder);
  add(operationsMenu_, "actionAddFiles", QStringLiteral("添加文件(&A)"), &MainWindow::AddFiles);
  add(operationsMenu_, "actionExtractSelected", QStringLiteral("解压文件(&E)"),
      &MainWindow::ExtractSelected);
  operationsMenu_->addSeparator();
  add(operationsMenu_, "actionDelete", QStringLiteral("删除文件(&D)"), &MainWindow::DeleteSelected,
      QKeySequence(Qt::Key_Delete));
  renameAction_ = add(operationsMenu_, "actionRename", QStringLiteral("重命名(&R)"),
                      &MainWindow::RenameCurrent, QKeySequence(Qt::Key_F2));
  add(operationsMenu_, "actionSetPassword", QStringLiteral("设置密码(&P)"),
      &MainWindow::SetPassword);

  QMenu* tools = addMenu(QStringLiteral("工具(&T)"));
  tools->setObjectName(QStringLiteral("toolsMenu"));
  findAction_ = add(tools, "actionFind", QStringLiteral("查找(&F)"), &MainWindow::Find,
                    QKeySequence(Qt::CTRL | Qt::Key_F));
  informationAction_ =
      add(tools, "actionInformation", QStringLiteral("显示信息(&I)"), &MainWindow::ShowInformation);

  QMenu* help = addMenu(QStringLiteral("帮助(&H)"));
  help->setObjectName(QStringLiteral("helpMenu"));
  add(help, "actionAbout", QStringLiteral("关于(&A)"), &MainWindow::ShowAbout);
}

void MainWindow::BuildToolbar() {
  QToolBar* toolbar = addToolBar(QStringLiteral("工具栏"));
  toolbar->setObjectName(QStringLiteral("toolbar"));
  toolbar->setAccessibleName(QStringLiteral("工具栏"));
  toolbar->setMovable(false);
  toolbar->setFloatable(false);
  toolbar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  toolbar->setIconSize(QSize(24, 24));
  toolbar->toggleViewAction()->setEnabled(false);

  struct Position {
    const char* name;  // nullptr: a separator
    const char* caption;
    const char* icon;
    QStyle::StandardPixmap fallback;
    void (MainWindow::*command)();
  };
  const Position positions[kToolbarPositions] = {
      {"toolNew", "新建", "document-new", QStyle::SP_FileIcon, &MainWindow::NewArchive},
      {"toolOpen", "打开", "document-open", QStyle::SP_DialogOpenButton, &MainWindow::OpenArchive},
      {"toolExtractAll", "释放", "folder-download", QStyle::SP_DirOpenIcon,
       &MainWindow::ExtractAll},
      {nullptr, nullptr, nullptr, QStyle::SP_CustomBase, nullptr},
      {"toolAdd", "添加", "list-add", QStyle::SP_FileDialogNewFolder, &MainWindow::AddFiles},
      {"toolExtract", "解压", "document-save", QStyle::SP_DialogSaveButton,
       &MainWindow::ExtractSelected},
      {"toolDelete", "删除", "edit-delete", QStyle::SP_TrashIcon, &MainWindow::DeleteSelected},
      {nullptr, nullptr, nullptr, QStyle::SP_CustomBase, nullptr},
      {"toolFind", "查找", "edit-find", QStyle::SP_FileDialogContentsView, &MainWindow::Find},
      {"toolInformation", "信息", "dialog-information", QStyle::SP_MessageBoxInformation,
       &MainWindow::ShowInformation},
      {nullptr, nullptr, nullptr, QStyle::SP_CustomBase, nullptr},
      {"toolAbout", "关于", "help-about", QStyle::SP_DialogHelpButton, &MainWindow::ShowAbout},
  };
  for (int i = 0; i < kToolbarPositions; ++i) {
    const Position& position = positions[i];
    if (position.name == nullptr) {
      toolbar_[static_cast<std::size_t>(i)] = toolbar->addSeparator();
      continue;
    }
    QAction* action = toolbar->addAction(ToolIcon(this, position.icon, position.fallback),
                                         QString::fromUtf8(position.caption));
    action->setObjectName(QString::fromLatin1(position.name));
    connect(action, &QAction::triggered, this, position.command);
    toolbar_[static_cast<std::size_t>(i)] = action;
  }
}

void MainWindow::BuildStatusBar() {
  selectionStatus_ = new QLabel(FromStd(kNoSelectionStatus), this);
  selectionStatus_->setObjectName(QStringLiteral("selectionStatus"));
  selectionStatus_->setAccessibleDescription(QStringLiteral("选择的文件"));
  selectionStatus_->setMinimumWidth(200);
  archiveStatus_ = new QLabel(FromStd(kNoInformationStatus), this);
  archiveStatus_->setObjectName(QStringLiteral("archiveStatus"));
  archiveStatus_->setAccessibleDescription(QStringLiteral("压缩包信息"));
  archiveStatus_->setTextFormat(Qt::PlainText);
  statusBar()->setObjectName(QStringLiteral("statusBar"));
  statusBar()->setSizeGripEnabled(true);
  statusBar()->addWidget(selectionStatus_);
  statusBar()->addWidget(archiveStatus_, 1);
}

QAction* MainWindow::toolbarPosition(int position) const {
  if (position < 0 || position >= kToolbarPositions) return nullptr;
  return toolbar_[static_cast<std::size_t>(position)];
}

void MainWindow::SetArchiveCommandsEnabled(bool enabled) {
  extractAllAction_->setEnabled(enabled);
  findAction_->setEnabled(enabled);
  informationAction_->setEnabled(enabled);
  // The whole menu, and its entries, so that their shortcuts (Delete, F2) follow it.
  operationsMenu_->menuAction()->setEnabled(enabled);
  for (QAction* action : operationsMenu_->actions()) action->setEnabled(enabled);
  for (int position : {2, 4, 5, 6, 8, 9}) {
    toolbar_[static_cast<std::size_t>(position)]->setEnabled(enabled);
  }
}

void MainWindow::ApplyColumnLayout() {
  // The listed widths, widened where this font needs more for the title or for the widest
  // text the column holds (a time, a digest), so no column cuts its usual text short.
  static const char* const kWidestCell[kListColumnCount] = {"",
                                                            "000,000,000",
                                                            "000,000,000",
                                                            "0000-00-00 00:00:00",
                                                            "Y",
                                                            "ARHS",
                                                            "DDDDDDDDDDDDDDDDDDDDDDDDDDDDDDDD"};
  const QFontMetrics cells = list_->fontMetrics();
  const QFontMetrics titles = list_->horizontalHeader()->fontMetrics();
  const int padding = 2 * list_->style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, list_) + 8;
  const std::vector<ListColumn>& columns = model_->columns();
  for (int i = 0; i < static_cast<int>(columns.size()) && i < kListColumnCount; ++i) {
    const ListColumn& column = columns[static_cast<std::size_t>(i)];
    const int needed = std::max(titles.horizontalAdvance(FromStd(column.title)),
                                cells.horizontalAdvance(QString::fromLatin1(kWidestCell[i]))) +
                       padding;
    list_->horizontalHeader()->resizeSection(i, std::max(column.width, needed));
  }
}

void MainWindow::Reload() {
  MainWindowState state;
  model_->Reload([&](std::optional<ArchiveListing>& listing) {
    state = RefreshMainWindow(context_, listing);
  });
  setWindowTitle(FromStd(state.caption));
  archiveStatus_->setText(FromStd(state.statusText));
  SetArchiveCommandsEnabled(state.archiveCommandsEnabled);
  // A reset drops the selection without telling; a count on show would be stale.
  if (selectionCounted_) selectionStatus_->setText(FromStd(SelectionStatusText(0)));
  if (!state.errorText.empty()) {
    dialogs_.Message(this, FromStd(state.errorText), FromStd(kErrorTitle), kBoxCritical);
  }
}

std::vector<int> MainWindow::SelectedRows() const {
  std::vector<RowRange> ranges;
  for (const QItemSelectionRange& range : list_->selectionModel()->selection()) {
    ranges.push_back({range.top(), range.bottom()});
  }
  return RowsOfRanges(std::move(ranges));
}

std::vector<std::string> MainWindow::SelectedNames() const {
  std::vector<std::string> names;
  for (int row : SelectedRows()) {
    if (const ArchiveEntry* entry = model_->EntryAt(row)) names.push_back(entry->path);
  }
  return names;
}

void MainWindow::UpdateSelectionStatus() {
  selectionCounted_ = true;
  selectionStatus_->setText(FromStd(SelectionStatusText(SelectedRows().size())));
}

void MainWindow::ShowWaitLabel(bool processEvents) {
  waitLabel_->adjustSize();
  const QRect area = list_->rect();
  waitLabel_->move(area.center() - waitLabel_->rect().center());
  waitLabel_->show();
  waitLabel_->raise();
  if (processEvents) {
    // Paints the label; input waits until the work is done.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  } else {
    waitLabel_->repaint();
  }
}

void MainWindow::HideWaitLabel() { waitLabel_->hide(); }

std::optional<Outcome> MainWindow::RunProgressWindow() {
  ProgressWindow window(context_, request_, dialogs_, overwrite_.get(), this);
  emit progressWindowOpened(&window);
  window.exec();
  return window.outcome();
}

std::optional<Outcome> MainWindow::HandOver(std::string_view kind, std::vector<std::string> items,
                                            std::string targetFolder, bool closeWhenDone) {
  ResetPendingOperation(request_);
  request_.kind = kind;
  request_.archivePath = context_.currentArchivePath;
  request_.items = std::move(items);
  request_.targetFolder = std::move(targetFolder);
  request_.closeWhenDone = closeWhenDone;
  return RunProgressWindow();
}

void MainWindow::NewArchive() {
  if (std::optional<PendingOperation> request = AskNewArchive(context_, dialogs_, this)) {
    request_ = std::move(*request);
    RunProgressWindow();
  }
  // Also when no archive was made: the current one is shown afresh.
  if (!context_.currentArchivePath.empty()) Reload();
}

void MainWindow::OpenArchive() {
  const QString path =
      dialogs_.OpenFile(this, QStringLiteral("请选择要打开的压缩包文件名："), kArchiveFilter);
  if (path.isEmpty()) return;
  context_.currentArchivePath = EnginePath(path);
  Reload();
}

void MainWindow::ExtractAll() {
  if (context_.currentArchivePath.empty()) return;
  const QString folder = dialogs_.ChooseFolder(this, QStringLiteral("请选择释放文件的目录"));
  if (folder.isEmpty()) return;
  HandOver(kKindExtractAll, {}, EnginePath(folder), false);
}

void MainWindow::AddFiles() {
  if (context_.currentArchivePath.empty()) return;
  const QStringList files =
      dialogs_.OpenFiles(this, QStringLiteral("选择要添加的文件"), kArchiveFilter);
  if (files.isEmpty()) return;
  std::vector<std::string> items;
  for (const QString& file : files) items.push_back(EnginePath(file));
  HandOver(kKindAdd, std::move(items), "", true);
  Reload();
}

void MainWindow::AddFolder() {
  if (context_.currentArchivePath.empty()) return;
  const QString folder = dialogs_.ChooseFolder(this, QStringLiteral("请选择要添加的目录"));
  if (folder.isEmpty()) return;
  HandOver(kKindAdd, {EnginePath(folder)}, "", false);
  Reload();
}

void MainWindow::ExtractSelected() {
  if (context_.currentArchivePath.empty()) return;
  std::vector<std::string> names = SelectedNames();
  if (names.empty()) return;
  const QString folder = dialogs_.ChooseFolder(this, QStringLiteral("选择解压到的目录"));
  if (folder.isEmpty()) return;
  HandOver(kKindExtractSelected, std::move(names), EnginePath(folder), true);
}

void MainWindow::DeleteSelected() {
  if (context_.currentArchivePath.empty()) return;
  std::vector<std::string> names = SelectedNames();
  if (names.empty()) return;
  if (!dialogs_.Message(this, FromStd(DeleteConfirmationText(names.size())),
                        FromStd(kDeleteConfirmTitle), kBoxWarningOkCancel)) {
    return;
  }
  HandOver(kKindDelete, std::move(names), "", true);
  Reload();
}

void MainWindow::AddDroppedPaths(const QStringList& paths) {
  // The paths stay as the drop gave them, one item each; a name holding a line break is shown
  // escaped and is never split into two paths.
  std::vector<std::string> items;
  for (const QString& path : paths) {
    std::string item = EnginePath(path);
    // A folder keeps its own name as the first level of its entries.
    while (item.size() > 1 && item.back() == platform::kSeparator) item.pop_back();
    if (!item.empty()) items.push_back(std::move(item));
  }
  if (items.empty()) return;
  if (!dialogs_.Message(this, FromStd(DropConfirmationText(items)), FromStd(kDropConfirmTitle),
                        kBoxInformationOkCancel)) {
    return;
  }
  HandOver(kKindAdd, std::move(items), "", true);
  Reload();
}

void MainWindow::RenameCurrent() {
  const QModelIndex current = list_->currentIndex();
  if (!current.isValid()) return;
  const QModelIndex name = model_->index(current.row(), ColumnPath);
  list_->setCurrentIndex(name);
  list_->edit(name);
}

void MainWindow::RenameRequested(int row, const QString& newName) {
  const ArchiveEntry* entry = model_->EntryAt(row);
  if (entry == nullptr) return;
  // Committed once the editor has closed: a box opened while the editor still has the focus
  // would make it commit a second time.
  QMetaObject::invokeMethod(
      this,
      [this, row, oldName = entry->path, name = newName.toStdString()] {
        CommitRenameOf(row, oldName, name);
      },
      Qt::QueuedConnection);
}

void MainWindow::CommitRenameOf(int row, const std::string& oldName, const std::string& newName) {
  const ArchiveEntry* entry = model_->EntryAt(row);
  if (entry == nullptr || entry->path != oldName) return;  // the list was reloaded meanwhile
  ShowWaitLabel(true);
  const EntryCommandResult result = CommitRename(context_, oldName, newName);
  HideWaitLabel();
  if (result.accepted) {
    model_->SetEntryName(row, newName);
  } else {
    dialogs_.Message(this, FromStd(result.errorText), FromStd(result.errorTitle), kBoxCritical);
  }
  emit renameFinished(result.accepted);
}

void MainWindow::SetPassword() {
  ShowWaitLabel(true);
  const EntryCommandResult result = SetPasswordCommand(context_, SelectedNames(), passwordPrompt_);
  HideWaitLabel();
  if (!result.accepted) {
    dialogs_.Message(this, FromStd(result.errorText), FromStd(result.errorTitle), kBoxCritical);
    return;
  }
  Reload();
}

void MainWindow::Find() {
  const QModelIndex current = list_->currentIndex();
  const QString initial =
      current.isValid() ? model_->index(current.row(), ColumnPath).data().toString() : QString();
  const std::optional<QString> text = dialogs_.InputText(
      this, QStringLiteral("请输入要查找的文件名"), QStringLiteral("查找文件"), initial, false);
  if (!text) return;

  ShowWaitLabel(false);
  QItemSelection matches;
  if (const std::optional<ArchiveListing>& listing = model_->listing()) {
    for (const RowRange& run : FindMatchingRows(listing->entries, text->toStdString())) {
      matches.select(model_->index(run.first, 0), model_->index(run.last, kListColumnCount - 1));
    }
  }
  // Cleared first, so the model compares the new selection with an empty one, and given whole
  // rows already: both a comparison of two large selections and the model's widening of each
  // run to whole rows (Rows) cost the product of the runs' counts. Selecting never scrolls.
  QItemSelectionModel* selection = list_->selectionModel();
  selection->clearSelection();
  selection->select(matches, QItemSelectionModel::Select);
  HideWaitLabel();
}

void MainWindow::ShowInformation() {
  const std::optional<ArchiveListing>& listing = model_->listing();
  ShowInformationWindow(this, context_.currentArchivePath, listing ? &listing->summary : nullptr);
}

void MainWindow::ShowAbout() { dialogs_.About(this, FromStd(kProductName), kAboutText); }

void MainWindow::ShowErrorLog() {
  dialogs_.Message(this, FromStd(CurrentErrorLog(context_)), FromStd(kErrorTitle), kBoxCritical);
}

void MainWindow::SetFileOpener(FileOpener opener) { opener_ = std::move(opener); }

std::optional<std::string> MainWindow::ExtractForDesktop(const std::vector<std::string>& names) {
  std::optional<std::string> folder = copies_.NewFolder(context_);
  if (!folder) {
    ShowErrorLog();
    return std::nullopt;
  }
  // The same request as "解压文件" into that folder: the progress window shows long entries
  // and can interrupt them, and the dispatcher shows the engine's messages.
  const std::optional<Outcome> outcome = HandOver(kKindExtractSelected, names, *folder, true);
  if (!outcome || !outcome->done()) return std::nullopt;
  return folder;
}

void MainWindow::OpenEntry(int row) {
  if (context_.currentArchivePath.empty()) return;
  const ArchiveEntry* entry = model_->EntryAt(row);
  if (entry == nullptr) return;
  const std::string name = entry->path;
  const std::optional<std::string> folder = ExtractForDesktop({name});
  if (!folder) return;
  const std::optional<std::string> copy = OpenableCopy(*folder, name);
  if (!copy) return;  // an entry extraction skips by its name
  if (!opener_(QUrl::fromLocalFile(FromStd(*copy)))) {
    ClearErrorLog(context_);
    ErrorText(context_, ErrorCode::NoApplication, {*copy});
    ShowErrorLog();
  }
}

QByteArray MainWindow::DragMark() const {
  return QByteArray::number(QCoreApplication::applicationPid()) + ':' +
         QByteArray::number(reinterpret_cast<quintptr>(this));
}

std::unique_ptr<QMimeData> MainWindow::PrepareDrag() {
  if (context_.currentArchivePath.empty()) return nullptr;
  const std::vector<std::string> names = SelectedNames();
  if (names.empty()) return nullptr;
  const std::optional<std::string> folder = ExtractForDesktop(names);
  if (!folder) return nullptr;
  const std::vector<std::string> paths = DraggedPaths(*folder, names);
  if (paths.empty()) return nullptr;
  QList<QUrl> urls;
  for (const std::string& path : paths) urls << QUrl::fromLocalFile(FromStd(path));
  auto data = std::make_unique<QMimeData>();
  data->setUrls(urls);
  data->setData(kDragMarkFormat, DragMark());
  return data;
}

void MainWindow::DragSelected() {
  std::unique_ptr<QMimeData> data = PrepareDrag();
  // A button let go while the entries were extracted ends the drag before it began.
  if (!data || !(QGuiApplication::mouseButtons() & Qt::LeftButton)) return;
  auto* drag = new QDrag(list_);  // Qt deletes it when the drag has ended
  drag->setMimeData(data.release());
  drag->setPixmap(style()->standardIcon(QStyle::SP_FileIcon).pixmap(32, 32));
  drag->exec(Qt::CopyAction, Qt::CopyAction);
}

bool MainWindow::FromThisWindow(const QDropEvent* event) const {
  if (event->mimeData() != nullptr && event->mimeData()->data(kDragMarkFormat) == DragMark()) {
    return true;
  }
  for (const QObject* source = event->source(); source != nullptr; source = source->parent()) {
    if (source == this) return true;
  }
  return false;
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != list_->viewport()) return QMainWindow::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
      // Our own entries dragged back onto the list: nothing to add, nothing to do.
      if (FromThisWindow(static_cast<QDropEvent*>(event))) {
        event->ignore();
        return true;
      }
      break;
    default:
      break;
  }
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      if (DroppedPaths(drag->mimeData()).isEmpty()) return false;
      drag->setDropAction(Qt::CopyAction);
      drag->accept();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      const QStringList paths = DroppedPaths(drop->mimeData());
      if (paths.isEmpty()) return false;
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      // Asked after the drop has ended, so the file manager is not kept waiting by the box.
      QMetaObject::invokeMethod(
          this, [this, paths] { AddDroppedPaths(paths); }, Qt::QueuedConnection);
      return true;
    }
    default:
      return QMainWindow::eventFilter(watched, event);
  }
}

}  // namespace tovask::ui
