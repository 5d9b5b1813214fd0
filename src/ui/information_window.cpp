#include "ui/information_window.h"

#include <QDialog>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtMath>

#include "app/archive_information.h"
#include "ui/qt_text.h"

namespace tovask::ui {
namespace {

constexpr int kDesignWidth = 320;
constexpr int kDesignHeight = 260;
constexpr int kBarWidth = 32;
constexpr int kBarHeight = 216;
constexpr int kButtonWidth = 80;
constexpr int kButtonHeight = 24;

// The lines' font: a fixed-width one that draws Chinese, the system's fixed font if none is
// installed.
QFont LineFont(const QFont& base) {
  QFont font = base;
  font.setFamilies({QStringLiteral("WenQuanYi Micro Hei Mono"),
                    QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("NSimSun"),
                    QFontDatabase::systemFont(QFontDatabase::FixedFont).family()});
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

// Columns a character takes, as its GBK bytes are counted: one for ASCII, two for any other.
int Columns(char32_t character) { return character < 0x80 ? 1 : 2; }

// A label that draws its text on a grid of equal columns, each character centred on the
// columns it takes, so that texts whose fields are counted in GBK bytes line up whatever the
// font's own proportions (fixed-width CJK fonts rarely draw a Chinese character exactly twice
// as wide as a Latin one). The text stays the label's text for screen readers.
class ColumnLabel final : public QLabel {
 public:
  ColumnLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    setTextFormat(Qt::PlainText);
  }

  QSize sizeHint() const override {
    int columns = 0;
    for (const char32_t character : text().toUcs4()) columns += Columns(character);
    const QFontMetricsF metrics(font());
    const QMargins margins = contentsMargins();
    return {qCeil(columns * ColumnWidth(metrics)) + margins.left() + margins.right(),
            qCeil(metrics.height()) + margins.top() + margins.bottom()};
  }
  QSize minimumSizeHint() const override { return sizeHint(); }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QFontMetricsF metrics(font());
    const qreal column = ColumnWidth(metrics);
    const QRectF area = contentsRect();
    const qreal baseline = area.top() + (area.height() - metrics.height()) / 2 + metrics.ascent();
    qreal x = area.left();
    for (const char32_t character : text().toUcs4()) {
      const QString glyph = QString::fromUcs4(&character, 1);
      const qreal cells = Columns(character) * column;
      painter.drawText(QPointF(x + (cells - metrics.horizontalAdvance(glyph)) / 2, baseline),
                       glyph);
      x += cells;
    }
  }

 private:
  // Wide enough for a Latin character and for half a Chinese one.
  static qreal ColumnWidth(const QFontMetricsF& metrics) {
    return qMax(metrics.horizontalAdvance(QLatin1Char('W')),
                metrics.horizontalAdvance(QStringLiteral("中")) / 2);
  }
};

QFrame* Separator(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace

void ShowInformationWindow(QWidget* parent, const std::string& archivePath,
                           const ArchiveSummary* summary) {
  const ArchiveInformation information = DescribeArchive(archivePath, summary);

  QPointer<QDialog> window = new QDialog(parent);
  window->setObjectName(QStringLiteral("informationWindow"));
  window->setWindowTitle(ToQt(kInformationCaption));

  auto* bar = new QProgressBar(window);
  bar->setObjectName(QStringLiteral("ratioBar"));
  bar->setAccessibleName(QStringLiteral("压缩率"));
  bar->setOrientation(Qt::Vertical);
  bar->setRange(0, 100);
  bar->setValue(information.barPosition);
  bar->setTextVisible(false);
  bar->setFixedWidth(kBarWidth);
  bar->setMinimumHeight(kBarHeight);

  const QFont font = LineFont(window->font());
  std::array<QLabel*, 7> lines{};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    lines[i] = new ColumnLabel(ToQt(information.lines[i]), window);
    lines[i]->setObjectName(QStringLiteral("line%1").arg(i + 1));
    lines[i]->setFont(font);
  }

  auto* ok = new QPushButton(QStringLiteral("确定"), window);
  ok->setObjectName(QStringLiteral("okButton"));
  ok->setAccessibleName(ok->text());
  ok->setDefault(true);
  ok->setMinimumSize(kButtonWidth, kButtonHeight);
  QObject::connect(ok, &QPushButton::clicked, window, &QDialog::accept);

  auto* text = new QVBoxLayout;
  text->addWidget(lines[0]);
  text->addWidget(lines[1]);
  text->addWidget(Separator(window));
  for (std::size_t i = 2; i < lines.size(); ++i) text->addWidget(lines[i]);
  text->addWidget(Separator(window));
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  text->addLayout(buttons);
  text->addStretch(1);

  auto* layout = new QHBoxLayout(window);
  layout->addWidget(bar);
  layout->addLayout(text, 1);

  window->resize(kDesignWidth, kDesignHeight);  // the layout widens it as the text needs
  window->exec();
  delete window.data();
}

}  // namespace tovask::ui
