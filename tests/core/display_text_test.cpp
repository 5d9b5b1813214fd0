#include "core/display_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tovask {
namespace {

TEST(EscapeControlCharactersTest, EscapesWhatATerminalActsOnAndKeepsTheRest) {
  struct Case {
    const char* what;
    std::string raw;
    std::string shown;
  };
  const std::vector<Case> cases = {
      {"ESC sequence", "a\x1b[2Jb", "a\\x1b[2Jb"},
      {"tab, line feed, carriage return", "x\ty\nz\rw", "x\\ty\\nz\\rw"},
      {"NUL", std::string("a\0b", 3), "a\\x00b"},
      {"BEL and unit separator", "\x07\x1f", "\\x07\\x1f"},
      {"DEL", "a\x7f", "a\\x7f"},
      {"C1 CSI and the ends of the C1 range",
       "\xc2\x9b"
       "1m\xc2\x80\xc2\x9f",
       "\\u009b1m\\u0080\\u009f"},
      {"first character after C1 stays", "\xc2\xa0\xc2\xa9", "\xc2\xa0\xc2\xa9"},
      {"stray bytes", "a\xff\xfe", "a\\xff\\xfe"},
      {"lone 8-bit CSI",
       "\x9b"
       "31m",
       "\\x9b31m"},
      {"truncated character", "cut\xe4\xb8", "cut\\xe4\\xb8"},
      {"overlong and surrogate forms", "\xc0\xaf\xed\xa0\x80", "\\xc0\\xaf\\xed\\xa0\\x80"},
      {"Chinese", "文件\\中文.txt", "文件\\中文.txt"},
      {"four-byte character", "\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
      {"backslash and printable ASCII", "dir\\a b~!.txt", "dir\\a b~!.txt"},
      {"empty", "", ""},
  };
  for (const Case& c : cases) {
    const std::string shown = EscapeControlCharacters(c.raw);
    EXPECT_EQ(shown, c.shown) << c.what;
    EXPECT_EQ(EscapeControlCharacters(shown), shown) << c.what << ": escaping twice changes it";
    std::string appended = "kept\x1b";
    AppendEscapedControlCharacters(appended, c.raw);
    EXPECT_EQ(appended, "kept\x1b" + c.shown) << c.what << ": appending touches what was there";
  }
}

}  // namespace
}  // namespace tovask
