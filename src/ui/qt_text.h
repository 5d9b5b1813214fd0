// Text between the engine and Qt: the engine's texts are UTF-8 std::string, Qt's are QString.
// Both directions are lossless for valid UTF-8; the engine escapes names that are not
// (EscapeControlCharacters) before they reach a window.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace tovask::ui {

[[nodiscard]] inline QString ToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

[[nodiscard]] inline std::string ToStd(const QString& text) { return text.toStdString(); }

}  // namespace tovask::ui
