#include "platform/text.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace tovask::platform {
namespace {

using namespace std::string_view_literals;

struct GbkCase {
  std::string_view utf8;
  std::string_view gbk;
};

TEST(TextTest, GbkRoundTrips) {
  const GbkCase cases[] = {
      {"", ""},
      {"abc 123", "abc 123"},
      {"中文", "\xD6\xD0\xCE\xC4"},
      {"！，：", "\xA3\xA1\xA3\xAC\xA3\xBA"},
      {"a中b",
       "a\xD6\xD0"
       "b"},
      {"中文！", "\xD6\xD0\xCE\xC4\xA3\xA1"},
  };
  for (const GbkCase& c : cases) {
    SCOPED_TRACE(std::string(c.utf8));
    const std::optional<std::string> gbk = Utf8ToGbk(c.utf8);
    ASSERT_TRUE(gbk.has_value());
    EXPECT_EQ(*gbk, c.gbk);
    const std::optional<std::string> back = GbkToUtf8(c.gbk);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, c.utf8);
  }
}

TEST(TextTest, GbkByteLengthsOfMessageTexts) {
  const struct {
    std::string_view utf8;
    std::size_t gbkBytes;
  } cases[] = {
      {"压缩文件完成！", 14},
      {"打开文件 %1% 失败！", 19},
      {"正在压缩: %1% [%2%]", 19},
      {"MD5效验失败，压缩包数据被破坏。", 31},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.utf8));
    const std::optional<std::string> gbk = Utf8ToGbk(c.utf8);
    ASSERT_TRUE(gbk.has_value());
    EXPECT_EQ(gbk->size(), c.gbkBytes);
    EXPECT_EQ(GbkByteCount(c.utf8), c.gbkBytes);
    EXPECT_EQ(GbkToUtf8(*gbk), std::string(c.utf8));
  }
}

TEST(TextTest, LongTextsConvertWhole) {
  // Larger than any first guess of the output size, in both directions.
  std::string utf8;
  for (int i = 0; i < 5000; ++i) utf8 += "中a！";
  const std::optional<std::string> gbk = Utf8ToGbk(utf8);
  ASSERT_TRUE(gbk.has_value());
  EXPECT_EQ(gbk->size(), 5000u * 5);
  EXPECT_EQ(GbkToUtf8(*gbk), utf8);
}

TEST(TextTest, InvalidGbkIsRejected) {
  const std::string_view cases[] = {
      "\x81"sv,      // lead byte without its second byte
      "abc\xD6"sv,   // cut off at the end
      "\xFF\xA1"sv,  // not a lead byte
      "\xD6\x30"sv,  // second byte below the allowed range
      "\xD6\x7F"sv,  // 0x7F is never a second byte
      "ok\xD6\xD0\x81"sv,
  };
  for (const std::string_view c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c)));
    EXPECT_FALSE(GbkToUtf8(c).has_value());
  }
}

TEST(TextTest, InvalidOrUnencodableUtf8IsRejected) {
  const std::string_view cases[] = {
      "\xC0\xAF"sv,          // overlong "/"
      "\xED\xA0\x80"sv,      // surrogate
      "\xE4\xB8"sv,          // cut off
      "\x80"sv,              // stray continuation byte
      "\xF0\x9F\x98\x80"sv,  // emoji: valid UTF-8, but GBK has no such character
  };
  for (const std::string_view c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c)));
    EXPECT_FALSE(Utf8ToGbk(c).has_value());
  }
}

TEST(TextTest, Utf8Validation) {
  const struct {
    std::string_view text;
    bool valid;
  } cases[] = {
      {""sv, true},
      {"plain"sv, true},
      {"a\0b"sv, true},
      {"中文"sv, true},
      {"\xC2\x80"sv, true},           // U+0080, smallest two-byte form
      {"\xE0\xA0\x80"sv, true},       // U+0800, smallest three-byte form
      {"\xEF\xBF\xBF"sv, true},       // U+FFFF
      {"\xF0\x90\x80\x80"sv, true},   // U+10000, smallest four-byte form
      {"\xF4\x8F\xBF\xBF"sv, true},   // U+10FFFF, the largest
      {"\xC0\x80"sv, false},          // overlong NUL
      {"\xC1\xBF"sv, false},          // overlong
      {"\xE0\x9F\xBF"sv, false},      // overlong three-byte
      {"\xF0\x8F\xBF\xBF"sv, false},  // overlong four-byte
      {"\xED\xA0\x80"sv, false},      // U+D800
      {"\xED\xBF\xBF"sv, false},      // U+DFFF
      {"\xF4\x90\x80\x80"sv, false},  // above U+10FFFF
      {"\xF5\x80\x80\x80"sv, false},
      {"\xFE"sv, false},
      {"\x80"sv, false},
      {"\xE4\xB8"sv, false},      // cut off
      {"\xE4\x41\xAD"sv, false},  // ASCII inside a character
      {"ok\xE4\xB8\xAD\xE4"sv, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.text)));
    EXPECT_EQ(IsValidUtf8(c.text), c.valid);
  }
}

TEST(TextTest, Utf8CharLengthWalksCharacters) {
  const struct {
    std::string_view text;
    std::size_t length;
  } cases[] = {
      {""sv, 0},
      {"a"sv, 1},
      {"\xC3\xA9x"sv, 2},
      {"中x"sv, 3},
      {"\xF0\x9F\x98\x80"sv, 4},
      {"\x80"sv, 1},          // stray continuation byte
      {"\xE4\xB8"sv, 1},      // cut-off character
      {"\xE4\x41"sv, 1},      // the "A" after a broken lead must not be swallowed
      {"\xED\xA0\x80"sv, 1},  // surrogate
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.text)));
    EXPECT_EQ(Utf8CharLength(c.text), c.length);
  }
}

TEST(TextTest, GbkByteCount) {
  const struct {
    std::string_view text;
    std::size_t count;
  } cases[] = {
      {""sv, 0},         {"abc"sv, 3},
      {"a中"sv, 3},      {"\xF0\x9F\x98\x80"sv, 2},  // not in GBK: still two
      {"\xC3\xA9"sv, 2},                             // é
      {"！，："sv, 6},   {"\x80z"sv, 2},             // a stray byte counts one
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(std::string(c.text)));
    EXPECT_EQ(GbkByteCount(c.text), c.count);
  }
}

TEST(TextTest, AsciiUpperLeavesMultiByteCharactersAlone) {
  EXPECT_EQ(AsciiUpper("abc\\def.tvk"), "ABC\\DEF.TVK");
  EXPECT_EQ(AsciiUpper("中a文z"), "中A文Z");
  EXPECT_EQ(AsciiUpper("\xC3\xA9t\xC3\xA9"), "\xC3\xA9T\xC3\xA9");  // é stays lower case
  EXPECT_EQ(AsciiUpper("ß"), "ß");
  EXPECT_EQ(AsciiUpper("`az{@AZ["), "`AZ{@AZ[");  // neighbours of the letter ranges
}

}  // namespace
}  // namespace tovask::platform
