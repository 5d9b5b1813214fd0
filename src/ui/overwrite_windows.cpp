#include "ui/overwrite_windows.h"

#include <QEvent>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeDatabase>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "app/overwrite_window.h"
#include "platform/files.h"
#include "ui/qt_text.h"

namespace tovask::ui {
namespace {

constexpr int kOverwriteWidth = 333;
constexpr int kOverwriteClientHeight = 221;
constexpr int kRenameWidth = 249;
constexpr int kRenameClientHeight = 140;
constexpr int kIconSize = 32;
constexpr int kSmallIconSize = 16;
constexpr int kIconIndent = 40;  // the icons stand 40 pixels right of the texts above them

// The icon of the file's type: the theme's icon for its MIME type (by name and content), the
// type's generic icon, the platform's icon for the file, and at last the style's file icon.
QIcon FileTypeIcon(const std::string& path, const QStyle& style) {
  const QString file = ToQt(path);
  const QMimeType type = QMimeDatabase().mimeTypeForFile(file);
  QIcon icon = QIcon::fromTheme(type.iconName());
  if (icon.isNull()) icon = QIcon::fromTheme(type.genericIconName());
  if (icon.isNull()) icon = QFileIconProvider().icon(QFileInfo(file));
  if (icon.isNull()) icon = style.standardIcon(QStyle::SP_FileIcon);
  return icon;
}

QLabel* MakeLabel(const QString& text, const char* name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(QLatin1String(name));
  label->setTextFormat(Qt::PlainText);
  return label;
}

QLabel* MakeIconBox(int size, const char* name, const QString& accessibleName, QWidget* parent) {
  auto* box = new QLabel(parent);
  box->setObjectName(QLatin1String(name));
  box->setAccessibleName(accessibleName);
  box->setFixedSize(size, size);
  box->setAlignment(Qt::AlignCenter);
  return box;
}

QPushButton* MakeButton(const QString& text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QLatin1String(name));
  // The accessible name is the caption without its access-key marker.
  button->setAccessibleName(QString(text).remove(QLatin1Char('&')));
  return button;
}

}  // namespace

OverwriteWindow::OverwriteWindow(OverwritePrompt& prompt, Dialogs& dialogs, QWidget* parent)
    : QDialog(parent), prompt_(prompt), dialogs_(dialogs) {
  setObjectName(QStringLiteral("overwriteWindow"));
  setWindowTitle(QStringLiteral("确认文件替换"));

  auto* group = new QGroupBox(this);
  auto* heading = MakeLabel(QStringLiteral("下列文件已存在"), "headingLabel", group);
  fileName_ = MakeLabel(QString(), "fileNameLabel", group);
  // Read out as its text, the file's name; what it is goes in the description.
  fileName_->setAccessibleDescription(QStringLiteral("已存在的文件"));
  auto* question = MakeLabel(QStringLiteral("你是否确实要将已存在的文件:"), "questionLabel", group);
  existingIcon_ =
      MakeIconBox(kIconSize, "existingIcon", QStringLiteral("已存在的文件的图标"), group);
  existingSize_ = MakeLabel(QString(), "existingSizeLabel", group);
  existingTime_ = MakeLabel(QString(), "existingTimeLabel", group);
  auto* replace = MakeLabel(QStringLiteral("替换为:"), "replaceLabel", group);
  archivedIcon_ =
      MakeIconBox(kIconSize, "archivedIcon", QStringLiteral("压缩包中的文件的图标"), group);
  archivedSize_ = MakeLabel(QString(), "archivedSizeLabel", group);
  archivedTime_ = MakeLabel(QString(), "archivedTimeLabel", group);

  auto* details = new QGridLayout(group);
  details->setColumnMinimumWidth(0, kIconIndent);
  details->setColumnStretch(2, 1);
  details->addWidget(heading, 0, 0, 1, 3);
  details->addWidget(fileName_, 1, 0, 1, 3);
  details->addWidget(question, 2, 0, 1, 3);
  details->addWidget(existingIcon_, 3, 1, 2, 1, Qt::AlignTop);
  details->addWidget(existingSize_, 3, 2);
  details->addWidget(existingTime_, 4, 2);
  details->addWidget(replace, 5, 0, 1, 3);
  details->addWidget(archivedIcon_, 6, 1, 2, 1, Qt::AlignTop);
  details->addWidget(archivedSize_, 6, 2);
  details->addWidget(archivedTime_, 7, 2);

  struct AnswerButton {
    const char* text;
    const char* name;
    OverwriteAnswer answer;  // AnswerNone: the button does something else
  };
  static constexpr AnswerButton kButtons[] = {
      {"是(&Y)", "yesButton", AnswerYes},
      {"全部选是(&A)", "yesToAllButton", AnswerYesToAll},
      {"重命名(&R)", "renameButton", AnswerNone},
      {"全部重命名(&E)", "renameAllButton", AnswerRenameAll},
      {"否(&N)", "noButton", AnswerNo},
      {"全部选否(&L)", "noToAllButton", AnswerNoToAll},
      {"取消(&C)", "cancelButton", AnswerCancel},
      {"帮助(&H)", "helpButton", AnswerNone},
  };
  auto* buttons = new QGridLayout;
  for (int i = 0; i < 8; ++i) {
    const AnswerButton& row = kButtons[i];
    QPushButton* button = MakeButton(QString::fromUtf8(row.text), row.name, this);
    buttons->addWidget(button, i / 4, i % 4);
    if (row.answer != AnswerNone) {
      const OverwriteAnswer answer = row.answer;
      connect(button, &QPushButton::clicked, this, [this, answer] { Answer(answer); });
    } else if (i == 2) {
      connect(button, &QPushButton::clicked, this, &OverwriteWindow::Rename);
    } else {
      connect(button, &QPushButton::clicked, this, &OverwriteWindow::Help);
    }
  }

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);

  ShowFileDetails(prompt_.existingPath);
  resize(kOverwriteWidth, kOverwriteClientHeight);  // the layout widens it as the texts need
}

void OverwriteWindow::ShowFileDetails(const std::string& path) {
  const FileDetails existing = ExistingFileDetails(path);
  const FileDetails archived = ArchivedFileDetails(prompt_);
  fileName_->setText(ToQt(existing.fileName));
  existingSize_->setText(ToQt(existing.sizeText));
  existingTime_->setText(ToQt(existing.timeText));
  archivedSize_->setText(ToQt(archived.sizeText));
  archivedTime_->setText(ToQt(archived.timeText));
  icon_ = FileTypeIcon(path, *style());
  const QPixmap picture = icon_.pixmap(QSize(kIconSize, kIconSize), devicePixelRatioF());
  existingIcon_->setPixmap(picture);
  archivedIcon_->setPixmap(picture);
}

void OverwriteWindow::Answer(OverwriteAnswer answer) {
  prompt_.answer = answer;
  accept();
}

void OverwriteWindow::Rename() {
  prompt_.newName.clear();
  RenameWindow rename(fileName_->text(), icon_, dialogs_, this);
  if (rename.exec() != QDialog::Accepted) return;  // newName stays empty
  const std::string typed = rename.typedName().toStdString();
  prompt_.newName = typed;
  std::string candidate;
  const RenameStep step = DecideRename(prompt_, typed, &candidate, [](const std::string& path) {
    return platform::PathExists(path);
  });
  switch (step) {
    case RenameStep::NoAnswer:
      return;
    case RenameStep::ShowCandidate:
      // That name is taken: show the file that holds it and let the user choose again.
      ShowFileDetails(candidate);
      return;
    case RenameStep::Answered:
      accept();
      return;
  }
}

void OverwriteWindow::Help() {
  dialogs_.Message(this, ToQt(OverwriteHelpText()), ToQt(kOverwriteHelpTitle), kBoxInformation);
}

RenameWindow::RenameWindow(const QString& name, const QIcon& icon, Dialogs& dialogs,
                           QWidget* parent)
    : QDialog(parent), dialogs_(dialogs), name_(name) {
  setObjectName(QStringLiteral("renameWindow"));
  setWindowTitle(QStringLiteral("重命名"));

  const QPixmap picture = icon.pixmap(QSize(kSmallIconSize, kSmallIconSize), devicePixelRatioF());
  auto* group = new QGroupBox(this);
  auto* fromLabel = MakeLabel(QStringLiteral("重命名文件:"), "renameFromLabel", group);
  auto* currentIcon = MakeIconBox(kSmallIconSize, "currentIcon", QStringLiteral("文件图标"), group);
  currentIcon->setPixmap(picture);
  auto* current = new QLineEdit(name, group);
  current->setObjectName(QStringLiteral("currentNameBox"));
  current->setAccessibleName(QStringLiteral("当前文件名"));
  current->setReadOnly(true);
  fromLabel->setBuddy(current);
  auto* toLabel = MakeLabel(QStringLiteral("为:"), "renameToLabel", group);
  auto* newIcon = MakeIconBox(kSmallIconSize, "newIcon", QStringLiteral("文件图标"), group);
  newIcon->setPixmap(picture);
  newName_ = new QLineEdit(name, group);
  newName_->setObjectName(QStringLiteral("newNameBox"));
  newName_->setAccessibleName(QStringLiteral("新文件名"));
  toLabel->setBuddy(newName_);
  newName_->installEventFilter(this);

  auto* names = new QGridLayout(group);
  names->setColumnStretch(1, 1);
  names->addWidget(fromLabel, 0, 0, 1, 2);
  names->addWidget(currentIcon, 1, 0);
  names->addWidget(current, 1, 1);
  names->addWidget(toLabel, 2, 0, 1, 2);
  names->addWidget(newIcon, 3, 0);
  names->addWidget(newName_, 3, 1);

  QPushButton* ok = MakeButton(QStringLiteral("确定(&Y)"), "okButton", this);
  QPushButton* cancel = MakeButton(QStringLiteral("取消(&C)"), "cancelButton", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &RenameWindow::Confirm);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addStretch(1);
  buttons->addWidget(cancel);
  buttons->addStretch(1);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(group);
  layout->addLayout(buttons);

  setTabOrder(newName_, ok);
  setTabOrder(ok, cancel);
  setTabOrder(cancel, current);
  newName_->setFocus();
  newName_->selectAll();
  resize(kRenameWidth, kRenameClientHeight);
}

QString RenameWindow::typedName() const { return newName_->text(); }

bool RenameWindow::eventFilter(QObject* watched, QEvent* event) {
  // Whenever the new-name box gets the focus its whole text is selected; after the event, so
  // that the click that gave the focus does not place the cursor over the selection.
  if (watched == newName_ && event->type() == QEvent::FocusIn) {
    QMetaObject::invokeMethod(newName_, &QLineEdit::selectAll, Qt::QueuedConnection);
  }
  return QDialog::eventFilter(watched, event);
}

void RenameWindow::Confirm() {
  if (newName_->text() == name_) {
    dialogs_.Beep();
    return;
  }
  accept();
}

OverwriteWindows::OverwriteWindows(Dialogs& dialogs, QWidget* parent)
    : dialogs_(dialogs), parent_(parent) {}

void OverwriteWindows::Ask(OverwritePrompt& prompt) {
  QPointer<OverwriteWindow> window = new OverwriteWindow(prompt, dialogs_, parent_);
  window->exec();
  delete window.data();
}

}  // namespace tovask::ui
