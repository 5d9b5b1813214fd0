// The information window for a real archive's summary and without one: its seven lines, the
// ratio and the bar, and that the values line up in the window's font.
#include "ui/information_window.h"

#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "core/startup.h"
#include "support/archive_builder.h"
#include "support/modal_steps.h"
#include "support/temp_dir.h"

using tovask::ArchiveSummary;
using tovask::ui::testing::SaveShot;
using tovask::ui::testing::WhenModal;

namespace {

// The rightmost column of image that holds anything but the background (its top right pixel).
int InkRight(const QImage& image) {
  const QRgb background = image.pixel(image.width() - 1, 0);
  for (int x = image.width() - 1; x >= 0; --x) {
    for (int y = 0; y < image.height(); ++y) {
      if (image.pixel(x, y) != background) return x;
    }
  }
  return -1;
}

struct Shown {
  QString title;
  QStringList lines;
  QList<int> inkRights;  // in the window: the right edge of each line's last character
  int bar = -1;
  QPointer<QWidget> window;
};

// Opens the window, reads what it shows and closes it with "确定".
Shown Show(const std::string& archivePath, const ArchiveSummary* summary, const QString& shot) {
  Shown shown;
  WhenModal([&](QWidget* window) {
    shown.window = window;
    shown.title = window->windowTitle();
    for (int i = 1; i <= 7; ++i) {
      auto* line = window->findChild<QLabel*>(QStringLiteral("line%1").arg(i));
      shown.lines.append(line->text());
      shown.inkRights.append(line->x() + InkRight(line->grab().toImage()));
    }
    shown.bar = window->findChild<QProgressBar*>(QStringLiteral("ratioBar"))->value();
    SaveShot(window, shot);
    window->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
  });
  tovask::ui::ShowInformationWindow(nullptr, archivePath, summary);
  return shown;
}

// A caption and an ASCII value right-aligned in its 30-byte field.
QString Line(const char* caption, const QString& value) {
  return QString::fromUtf8(caption) + QString(30 - value.size(), QLatin1Char(' ')) + value;
}

QString Thousands(qint64 number) { return QLocale(QLocale::English).toString(number); }

}  // namespace

class InformationWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void realArchive() {
    tovask::testing::TempDir home;
    tovask::testing::TempDir work;
    tovask::AppContext context;
    tovask::StartUp(context, home.path());
    std::string noise(3000, '\0');
    unsigned seed = 7;
    for (char& c : noise) c = static_cast<char>((seed = seed * 1103515245u + 12345u) >> 16);
    const std::string path = work / "data.tvk";
    tovask::testing::ArchiveBuilder builder(context.dataOps);
    builder.Entry(tovask::testing::MakeStoredEntry(context.dataOps, "noise.bin", noise))
        .Entry(tovask::testing::MakeStoredEntry(context.dataOps, "docs\\a.txt",
                                                std::string(3000, 'a')));
    builder.WriteTo(path);
    tovask::ArchiveListing listing;
    QVERIFY(tovask::ListArchive(context, path, listing));

    const Shown shown = Show(path, &listing.summary, QStringLiteral("information_window"));
    QVERIFY(shown.window.isNull());
    QCOMPARE(shown.title, QStringLiteral("Tovask 压缩文件信息"));
    const qint64 fileSize = QFileInfo(QString::fromStdString(path)).size();
    const int ratio = static_cast<int>(fileSize * 100 / 6000);
    QVERIFY(ratio > 0 && ratio < 100);
    const QString expected[] = {
        Line("    文件名：", "data.tvk"),
        Line("  压缩版本：", "RID1.05"),
        Line("  文件总数：", "2"),
        Line("文件总大小：", "6,000"),
        Line("压缩总大小：", Thousands(listing.summary.totalStoredSize)),
        Line("压缩包大小：", Thousands(fileSize)),
        Line("    压缩率：", QString::number(ratio) + "%"),
    };
    for (int i = 0; i < 7; ++i) QCOMPARE(shown.lines[i], expected[i]);
    QCOMPARE(shown.bar, ratio);
  }

  // Nothing listed (or the last reload failed), and a total size of 0: blank figures, 0%.
  void withoutFigures() {
    const Shown shown = Show("", nullptr, QStringLiteral("information_window_none"));
    QVERIFY(shown.window.isNull());
    for (int i = 0; i < 6; ++i)
      QVERIFY2(shown.lines[i].endsWith(QString(30, ' ')), qPrintable(shown.lines[i]));
    QCOMPARE(shown.lines[6], Line("    压缩率：", "0%"));
    QCOMPARE(shown.bar, 0);
  }

  // The value fields line up: lines 3 to 6 end in the same digit, after captions made of
  // different mixes of blanks and Chinese characters, and their last characters stand in the
  // same place.
  void zeroTotalAndAlignment() {
    const ArchiveSummary summary{"RID1.05", 0, 0, 0, 120};
    const Shown shown = Show("/w/empty.tvk", &summary, QStringLiteral("information_window_zero"));
    QCOMPARE(shown.lines[2], Line("  文件总数：", "0"));
    QCOMPARE(shown.lines[5], Line("压缩包大小：", "120"));
    QCOMPARE(shown.lines[6], Line("    压缩率：", "0%"));
    QCOMPARE(shown.bar, 0);
    QVERIFY(shown.inkRights[2] > 0);
    for (int i = 3; i < 6; ++i) QCOMPARE(shown.inkRights[i], shown.inkRights[2]);
  }
};

QTEST_MAIN(InformationWindowTest)
#include "information_window_test.moc"
