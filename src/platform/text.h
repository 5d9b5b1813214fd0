// Text encodings at the system's edges. Inside the program every text is UTF-8; the message
// file is GBK on disk. Conversions never throw and never read past their input.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tovask::platform {

// GBK (code page 936) bytes to UTF-8; nullopt when the input is not valid GBK.
[[nodiscard]] std::optional<std::string> GbkToUtf8(std::string_view gbk);

// UTF-8 to GBK; nullopt when the input is not valid UTF-8 or holds a character GBK lacks.
[[nodiscard]] std::optional<std::string> Utf8ToGbk(std::string_view utf8);

// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF).
[[nodiscard]] bool IsValidUtf8(std::string_view text);

// Length in bytes of the first UTF-8 character of text (1 when text does not start with a
// well-formed character, 0 when text is empty), so callers can walk a text character by
// character and never skip over a valid one.
[[nodiscard]] std::size_t Utf8CharLength(std::string_view text);

// Width of a UTF-8 text counted in GBK bytes: 1 per ASCII character, 2 per other character
// (also for characters that GBK cannot encode); a byte that starts no valid character
// counts 1.
[[nodiscard]] std::size_t GbkByteCount(std::string_view utf8);

// ASCII-only upper-casing, as archive names are compared: multi-byte characters are untouched.
[[nodiscard]] std::string AsciiUpper(std::string_view text);

}  // namespace tovask::platform
