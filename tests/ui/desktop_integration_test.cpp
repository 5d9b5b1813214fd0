// The program at home on the desktop: its icon draws, and creating the main window registers
// the archive type for the running program.
#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QTest>
#include <memory>

#include "support/scripted_dialogs.h"
#include "support/temp_dir.h"
#include "support/window_test_folder.h"
#include "ui/application_icon.h"
#include "ui/main_window.h"

class DesktopIntegrationTest : public QObject {
  Q_OBJECT

 private slots:
  // Needs Qt's SVG plugins at run time; without them the icon is empty.
  void iconDraws() {
    const QImage image = tovask::ui::ApplicationIcon().pixmap(QSize(64, 64)).toImage();
    QCOMPARE(image.size(), QSize(64, 64));
    QCOMPARE(qAlpha(image.pixel(1, 62)), 0);     // outside the box
    QCOMPARE(qAlpha(image.pixel(12, 50)), 255);  // the box's body
    QVERIFY(qGreen(image.pixel(12, 50)) > qRed(image.pixel(12, 50)));
  }

  void mainWindowRegistersTheArchiveType() {
    // Every window test program runs with XDG folders of its own (private_xdg_folders.cpp).
    QVERIFY(qgetenv("XDG_DATA_HOME").contains("/tovask-test-"));
    tovask::testing::TempDir xdg;
    const QByteArray oldData = qgetenv("XDG_DATA_HOME");
    const QByteArray oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_DATA_HOME", QByteArray::fromStdString(xdg / "data"));
    qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(xdg / "config"));
    {
      tovask::ui::testing::WindowTestFolder folder;
      tovask::ui::testing::ScriptedDialogs dialogs;
      tovask::ui::MainWindow window(folder.context, dialogs);
    }
    qputenv("XDG_DATA_HOME", oldData);
    qputenv("XDG_CONFIG_HOME", oldConfig);

    const std::string entry = tovask::testing::ReadFile(xdg / "data/applications/tovask.desktop");
    const std::string program = QCoreApplication::applicationFilePath().toStdString();
    QVERIFY2(entry.find("\nExec=" + program + " %f\n") != std::string::npos, entry.c_str());
    QVERIFY(!tovask::testing::ReadFile(xdg / "data/mime/packages/tovask.xml").empty());
    QVERIFY(
        !tovask::testing::ReadFile(xdg / "data/icons/hicolor/scalable/apps/tovask.svg").empty());
    const std::string list = tovask::testing::ReadFile(xdg / "config/mimeapps.list");
    QVERIFY2(list.find("application/x-tovask=tovask.desktop\n") != std::string::npos, list.c_str());
  }
};

QTEST_MAIN(DesktopIntegrationTest)
#include "desktop_integration_test.moc"
