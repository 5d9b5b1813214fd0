#include "platform/text.h"

#include <errno.h>
#include <iconv.h>

#include <cstdint>
#include <new>

namespace tovask::platform {
namespace {

// Owns one conversion descriptor; iconv_open fails (for example without the conversion
// modules) become an empty result, never an exception.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // iconv_open reports a failure as (iconv_t)-1.
  [[nodiscard]] bool ok() const {
    return cd_ != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
  }

  // Converts all of input. Any invalid or incomplete sequence, or a character the target
  // lacks, fails the whole conversion.
  [[nodiscard]] std::optional<std::string> Run(std::string_view input) {
    if (!ok()) return std::nullopt;
    std::string output;
    // Both directions between GBK and UTF-8 grow a text at most by half (2 GBK bytes become
    // 3 UTF-8 bytes); the loop below still copes with any growth.
    output.resize(input.size() + input.size() / 2 + 16);
    // iconv takes a non-const input pointer but never writes through it.
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    std::size_t used = 0;
    while (inLeft > 0) {
      char* out = output.data() + used;
      std::size_t outLeft = output.size() - used;
      const std::size_t result = iconv(cd_, &in, &inLeft, &out, &outLeft);
      used = output.size() - outLeft;
      if (result != static_cast<std::size_t>(-1)) {
        // glibc counts characters converted in a non-reversible way (replaced by a
        // substitute); a lossy conversion is no conversion.
        if (result != 0) return std::nullopt;
        continue;
      }
      if (errno != E2BIG) return std::nullopt;  // EILSEQ, EINVAL: bad or cut-off input
      output.resize(output.size() * 2);
    }
    // Flush any shift state (none for these encodings, but the call is the contract).
    for (;;) {
      char* out = output.data() + used;
      std::size_t outLeft = output.size() - used;
      const std::size_t result = iconv(cd_, nullptr, nullptr, &out, &outLeft);
      used = output.size() - outLeft;
      if (result != static_cast<std::size_t>(-1)) break;
      if (errno != E2BIG) return std::nullopt;
      output.resize(output.size() * 2);
    }
    output.resize(used);
    return output;
  }

 private:
  iconv_t cd_;
};

// Length of the well-formed UTF-8 character at the start of text, 0 when there is none
// (Unicode's table of well-formed byte sequences: no overlong forms, no surrogates, nothing
// above U+10FFFF).
std::size_t WellFormedLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
  const std::uint8_t lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint8_t low = 0x80;  // allowed range of the second byte
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong below U+0800
    if (lead == 0xED) high = 0x9F;  // surrogates U+D800..U+DFFF
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong below U+10000
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;  // continuation byte, overlong C0/C1, or F5..FF
  }
  if (text.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::optional<std::string> GbkToUtf8(std::string_view gbk) {
  try {
    Converter converter("UTF-8", "GBK");
    std::optional<std::string> result = converter.Run(gbk);
    // The result must be what the rest of the program accepts as text.
    if (result && !IsValidUtf8(*result)) return std::nullopt;
    return result;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<std::string> Utf8ToGbk(std::string_view utf8) {
  // Checked here rather than left to iconv, whose UTF-8 decoder is not the strict one the
  // program uses everywhere else.
  if (!IsValidUtf8(utf8)) return std::nullopt;
  try {
    Converter converter("GBK", "UTF-8");
    return converter.Run(utf8);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

bool IsValidUtf8(std::string_view text) {
  while (!text.empty()) {
    const std::size_t length = WellFormedLength(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

std::size_t Utf8CharLength(std::string_view text) {
  if (text.empty()) return 0;
  const std::size_t length = WellFormedLength(text);
  return length == 0 ? 1 : length;
}

std::size_t GbkByteCount(std::string_view utf8) {
  std::size_t count = 0;
  while (!utf8.empty()) {
    const std::size_t length = Utf8CharLength(utf8);
    // An ASCII character and a stray byte take one column; every other character two.
    count += length == 1 ? 1 : 2;
    utf8.remove_prefix(length);
  }
  return count;
}

std::string AsciiUpper(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return result;
}

}  // namespace tovask::platform
