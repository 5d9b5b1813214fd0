// Texts from outside the program (entry names, paths) made safe to show on a terminal or in a
// window, where a control character could move the cursor, recolour the screen or start a new
// row that looks like one of ours.
#pragma once

#include <string>
#include <string_view>

namespace tovask {

// The text with every character that a terminal may act on written out as a visible escape:
//   - C0 controls and DEL: "\t", "\n", "\r" for tab, line feed and carriage return, "\xHH"
//     (two lower-case hex digits) for the others, e.g. ESC -> "\x1b", NUL -> "\x00";
//   - C1 controls U+0080..U+009F (two bytes in UTF-8): "\u0080".."\u009f";
//   - each byte that does not belong to a well-formed UTF-8 character: "\xHH" (a lone 0x9B is
//     the one-byte CSI of 8-bit terminals).
// Everything else, "\" and all printable UTF-8 (Chinese included), is copied unchanged. The
// result holds no control character and is valid UTF-8, so escaping it again changes nothing.
// For display only: "\" is the folder separator of entry names, so the escaped form cannot be
// read back into the name; operations keep working on the raw name.
[[nodiscard]] std::string EscapeControlCharacters(std::string_view text);
// The same text appended to out, for a printer that fills one buffer.
void AppendEscapedControlCharacters(std::string& out, std::string_view text);

}  // namespace tovask
