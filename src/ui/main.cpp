// tovask: the desktop program. Qt's own texts (standard buttons, file dialogs) are Chinese
// whatever the system locale, like every text of the program.
//
//   tovask [ARCHIVE]                      the main window, listing ARCHIVE when given
//   tovask --screenshot FILE.png [ARCHIVE]
//       shows the main window, saves a picture of it to FILE.png once it has been painted and
//       exits 0 (for machines without a screen: run it under Xvfb). No box is opened in this
//       mode; what a box would say goes to stderr.
#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QLibraryInfo>
#include <QLocale>
#include <QMetaObject>
#include <QPixmap>
#include <QSocketNotifier>
#include <QTimer>
#include <QTranslator>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "core/app_context.h"
#include "core/startup.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/quit_signals.h"
#include "ui/application_icon.h"
#include "ui/dialogs.h"
#include "ui/main_window.h"

namespace {

// The dialogs of the screenshot mode: nobody is there to answer, so every box is written to
// stderr and every question is cancelled.
class UnattendedDialogs final : public tovask::ui::Dialogs {
 public:
  // A box with OK alone counts as closed with OK; one with Cancel as cancelled.
  bool Message(QWidget*, const QString& text, const QString& title,
               tovask::ui::BoxFlags flags) override {
    (void)std::fprintf(stderr, "%s: %s\n", qUtf8Printable(title), qUtf8Printable(text));
    return flags == tovask::ui::kBoxCritical || flags == tovask::ui::kBoxInformation;
  }
  std::optional<QString> InputText(QWidget*, const QString&, const QString&, const QString&,
                                   bool) override {
    return std::nullopt;
  }
  QString OpenFile(QWidget*, const QString&, const QString&) override { return {}; }
  QStringList OpenFiles(QWidget*, const QString&, const QString&) override { return {}; }
  QString SaveFile(QWidget*, const QString&, const QString&) override { return {}; }
  QString ChooseFolder(QWidget*, const QString&) override { return {}; }
  void Beep() override {}
  void About(QWidget*, const QString&, const QString&) override {}
};

// Saves a picture of the window once it has been painted on the screen, then ends the event
// loop with 0 (1 when the picture cannot be written).
class ScreenshotWhenPainted final : public QObject {
 public:
  ScreenshotWhenPainted(QWidget& window, QString file) : window_(window), file_(std::move(file)) {
    window_.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &window_ && event->type() == QEvent::Paint && !taken_) {
      taken_ = true;
      // After this paint and the rest of its update have been handled.
      QMetaObject::invokeMethod(
          this, [this] { Take(); }, Qt::QueuedConnection);
    }
    return false;
  }

 private:
  void Take() {
    if (!window_.grab().save(file_, "PNG")) {
      (void)std::fprintf(stderr, "tovask: cannot write %s\n", qUtf8Printable(file_));
      QApplication::exit(1);
      return;
    }
    QApplication::exit(0);
  }

  QWidget& window_;
  QString file_;
  bool taken_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QTranslator qtTexts;
  if (qtTexts.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                   QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QApplication::installTranslator(&qtTexts);
  }

  QApplication::setWindowIcon(tovask::ui::ApplicationIcon());

  // Toolbar icons come from the desktop's icon theme; where it lacks one (or there is no
  // desktop), from Adwaita when installed, else from the style's own pictures.
  if (QIcon::fallbackThemeName().isEmpty() || QIcon::fallbackThemeName() == "hicolor") {
    QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
  }

  // Qt has taken its own options out of the arguments.
  QStringList arguments = QApplication::arguments();
  arguments.removeFirst();
  std::optional<QString> screenshot;
  if (!arguments.isEmpty() && arguments.front() == QStringLiteral("--screenshot")) {
    if (arguments.size() < 2 || arguments[1].isEmpty()) {
      (void)std::fputs("usage: tovask --screenshot FILE.png [ARCHIVE]\n", stderr);
      return 2;
    }
    screenshot = arguments[1];
    arguments.remove(0, 2);
  }

  tovask::AppContext context;
  tovask::StartUp(context);
  std::vector<std::string> args;
  for (const QString& argument : arguments) args.push_back(argument.toStdString());
  // The engine works on absolute, lexically normal paths only.
  if (!args.empty() && !args.front().empty()) {
    args.front() =
        tovask::platform::AbsoluteNormalPath(args.front(), tovask::platform::CurrentDirectory());
  }
  tovask::ApplyCommandLine(context, args);

  tovask::ui::QtDialogs qtDialogs;
  UnattendedDialogs unattended;
  tovask::ui::Dialogs& dialogs =
      screenshot ? static_cast<tovask::ui::Dialogs&>(unattended) : qtDialogs;
  tovask::ui::MainWindow window(context, dialogs);
  std::optional<ScreenshotWhenPainted> shot;
  if (screenshot) {
    shot.emplace(window, *screenshot);
    // A display that never shows the window must not keep a script waiting for ever.
    QTimer::singleShot(60000, &application, [] {
      (void)std::fputs("tovask: the window was never painted\n", stderr);
      QApplication::exit(1);
    });
  }
  // Logout, a closed terminal or Ctrl-C end the event loop, so the window is destroyed and
  // takes its temporary copies with it.
  std::optional<QSocketNotifier> quitSignals;
  if (const int fd = tovask::platform::WatchQuitSignals(); fd >= 0) {
    quitSignals.emplace(fd, QSocketNotifier::Read);
    QObject::connect(&*quitSignals, &QSocketNotifier::activated, &application,
                     [] { QApplication::quit(); });
  }
  window.show();
  return QApplication::exec();
}
