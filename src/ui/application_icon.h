// The program's icon (data/tovask.svg, compiled in as a Qt resource): every window's icon.
// Drawn by Qt's SVG plugins, which must be installed beside Qt.
#pragma once

#include <QIcon>
#include <QString>

namespace tovask::ui {

[[nodiscard]] inline QIcon ApplicationIcon() {
  return QIcon(QStringLiteral(":/tovask/tovask.svg"));
}

}  // namespace tovask::ui
