#include "core/display_text.h"

#include <cstdint>

#include "platform/text.h"

namespace tovask {
namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

void AppendHexByte(std::string& out, std::uint8_t byte) {
  out += "\\x";
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

}  // namespace

std::string EscapeControlCharacters(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendEscapedControlCharacters(out, text);
  return out;
}

void AppendEscapedControlCharacters(std::string& out, std::string_view text) {
  while (!text.empty()) {
    // Printable ASCII, what almost every name consists of, is copied a run at a time.
    std::size_t plain = 0;
    while (plain < text.size() && static_cast<std::uint8_t>(text[plain]) >= 0x20 &&
           static_cast<std::uint8_t>(text[plain]) < 0x7F) {
      ++plain;
    }
    out.append(text.substr(0, plain));
    text.remove_prefix(plain);
    if (text.empty()) return;

    const std::size_t length = platform::Utf8CharLength(text);
    const auto lead = static_cast<std::uint8_t>(text[0]);
    if (length == 1) {
      if (lead == '\t') {
        out += "\\t";
      } else if (lead == '\n') {
        out += "\\n";
      } else if (lead == '\r') {
        out += "\\r";
      } else {
        // C0 controls, DEL, and any byte that starts no well-formed character.
        AppendHexByte(out, lead);
      }
    } else if (length == 2 && lead == 0xC2 && static_cast<std::uint8_t>(text[1]) <= 0x9F) {
      // U+0080..U+009F: C2 80..C2 9F.
      out += "\\u00";
      out += kHexDigits[static_cast<std::uint8_t>(text[1]) >> 4];
      out += kHexDigits[static_cast<std::uint8_t>(text[1]) & 0x0F];
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length);
  }
}

}  // namespace tovask
