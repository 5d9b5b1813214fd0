#include "ui/progress_window.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/progress_window.h"

namespace tovask::ui {
namespace {

// Pending events (and with them repaints) run at most this often during an operation; a
// report in between only updates the controls, and a click waits for the next turn.
constexpr qint64 kEventIntervalMs = 33;

// The dispatcher's error box: the whole log with the error icon.
class DialogsErrorDisplay final : public ErrorDisplay {
 public:
  DialogsErrorDisplay(Dialogs& dialogs, QWidget* parent) : dialogs_(dialogs), parent_(parent) {}
  void ShowError(const std::string& text, const std::string& title) override {
    dialogs_.Message(parent_, QString::fromStdString(text), QString::fromStdString(title),
                     kBoxCritical);
  }

 private:
  Dialogs& dialogs_;
  QWidget* parent_;
};

WindowRect RectOf(const QRect& rect) { return {rect.x(), rect.y(), rect.width(), rect.height()}; }

}  // namespace

ProgressWindow::ProgressWindow(AppContext& context, PendingOperation& request, Dialogs& dialogs,
                               OverwriteQuestion* overwrite, QWidget* mainWindow)
    : QDialog(mainWindow),
      context_(context),
      request_(request),
      dialogs_(dialogs),
      overwrite_(overwrite),
      passwordPrompt_(dialogs, this) {
  setWindowTitle(QString::fromStdString(request.kind));
  setObjectName(QStringLiteral("progressWindow"));

  statusLabel_ = new QLabel(QString::fromStdString(std::string(kPreparingText)), this);
  statusLabel_->setObjectName(QStringLiteral("statusLabel"));
  statusLabel_->setTextFormat(Qt::PlainText);

  progressBar_ = new QProgressBar(this);
  progressBar_->setObjectName(QStringLiteral("progressBar"));
  progressBar_->setAccessibleName(QStringLiteral("进度"));
  progressBar_->setRange(0, 100);
  progressBar_->setValue(0);
  progressBar_->setTextVisible(false);  // the percent label over it shows the figure

  // Transparent, centred over the bar.
  percentLabel_ = new QLabel(QString::fromStdString(PercentText(0)), progressBar_);
  percentLabel_->setObjectName(QStringLiteral("percentLabel"));
  percentLabel_->setAlignment(Qt::AlignCenter);
  percentLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
  auto* overBar = new QHBoxLayout(progressBar_);
  overBar->setContentsMargins(0, 0, 0, 0);
  overBar->addWidget(percentLabel_, 0, Qt::AlignCenter);

  button_ = new QPushButton(QString::fromStdString(std::string(kInterruptCaption)), this);
  button_->setObjectName(QStringLiteral("actionButton"));
  button_->setAutoDefault(false);
  connect(button_, &QPushButton::clicked, this, &ProgressWindow::ButtonPressed);

  LayOutAgainst(mainWindow);
}

void ProgressWindow::LayOutAgainst(QWidget* mainWindow) {
  // Sizes are outer sizes; the controls sit in the client area, smaller by the frame, which is
  // taken to be the main window's.
  QSize frame(0, 0);
  WindowRect main;
  if (mainWindow != nullptr) {
    frame = mainWindow->frameGeometry().size() - mainWindow->geometry().size();
    main = RectOf(mainWindow->frameGeometry());
  }
  const ProgressWindowLayout design = ProgressWindowDesign();
  ProgressWindowLayout layout = mainWindow != nullptr ? LayOutProgressWindow(main) : design;
  const WindowRect& bar = layout.progressBar;
  const int rightMargin = layout.window.width - (bar.left + bar.width);
  const int belowButton = layout.window.height - (layout.button.top + layout.button.height);

  percentLabel_->setFixedWidth(layout.percentLabel.width);
  progressBar_->setFixedHeight(bar.height);
  statusLabel_->setMinimumHeight(layout.statusLabel.height);
  button_->setMinimumSize(layout.button.width, layout.button.height);
  button_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(layout.statusLabel.left, layout.statusLabel.top,
                             std::max(0, rightMargin - frame.width()), 0);
  column->setSpacing(0);
  column->addWidget(statusLabel_);
  column->addWidget(progressBar_);
  column->addSpacing(layout.button.top - (bar.top + bar.height));
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch(1);
  buttonRow->addWidget(button_);
  column->addLayout(buttonRow);
  column->addStretch(1);
  column->addSpacing(std::max(0, belowButton - frame.height()));

  // Never smaller than the controls need (large fonts); centred with the height it gets.
  const int height = std::max(layout.window.height, minimumSizeHint().height() + frame.height());
  if (mainWindow != nullptr && height != layout.window.height) {
    layout = LayOutProgressWindow(main, height);
  }
  layout.window.height = height;
  resize(std::max(1, layout.window.width - frame.width()),
         std::max(1, layout.window.height - frame.height()));
  move(layout.window.left, layout.window.top);
}

ProgressWindow::~ProgressWindow() { ResetPendingOperation(request_); }

void ProgressWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  // After the show has been handled, so the operation runs in the window's own modal loop.
  QMetaObject::invokeMethod(this, &ProgressWindow::Run, Qt::QueuedConnection);
}

void ProgressWindow::Run() {
  DialogsErrorDisplay errors(dialogs_, this);
  bool closeAsked = false;
  DispatchSeams seams;
  seams.operation = {this, &passwordPrompt_, overwrite_};
  seams.errors = &errors;
  seams.setButtonCaption = [this](const std::string& caption) {
    button_->setText(QString::fromStdString(caption));
  };
  seams.closeWindow = [&closeAsked] { closeAsked = true; };

  running_ = true;
  outcome_ = RunPendingOperation(context_, request_, seams);
  running_ = false;
  const bool closing = closeAsked || interrupted_;
  emit runFinished(closing);
  if (closing) done(interrupted_ ? QDialog::Rejected : QDialog::Accepted);
}

bool ProgressWindow::Report(int percent, const std::string& text) {
  statusLabel_->setText(QString::fromStdString(text));
  progressBar_->setValue(std::clamp(percent, 0, 100));
  percentLabel_->setText(QString::fromStdString(PercentText(percent)));
  emit reported(percent, statusLabel_->text());
  return ProcessEvents();
}

bool ProgressWindow::ProcessEvents() {
  if (!sinceEvents_.isValid() || sinceEvents_.elapsed() >= kEventIntervalMs) {
    QCoreApplication::processEvents();
    sinceEvents_.start();
  }
  return !interrupted_;
}

void ProgressWindow::ButtonPressed() {
  if (running_) {
    interrupted_ = true;
    return;
  }
  accept();
}

void ProgressWindow::reject() {
  if (running_) {
    interrupted_ = true;
    return;
  }
  QDialog::reject();
}

}  // namespace tovask::ui
