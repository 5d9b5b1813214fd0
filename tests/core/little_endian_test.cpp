#include "core/little_endian.h"

#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

namespace tovask::little_endian {
namespace {

using Raw = std::vector<std::uint8_t>;

template <typename T>
void ExpectField(T value, const Raw& bytes) {
  Raw out = {0xEE};  // appending keeps what is there
  Append(out, value);
  EXPECT_EQ(out, [&] {
    Raw expected = {0xEE};
    expected.insert(expected.end(), bytes.begin(), bytes.end());
    return expected;
  }());
  EXPECT_EQ(Read<T>(bytes), value);
}

TEST(LittleEndian, FieldsAreLeastSignificantByteFirst) {
  ExpectField<std::int32_t>(0x12345678, {0x78, 0x56, 0x34, 0x12});
  ExpectField<std::int32_t>(-2, {0xFE, 0xFF, 0xFF, 0xFF});
  ExpectField<std::int32_t>(std::numeric_limits<std::int32_t>::min(), {0x00, 0x00, 0x00, 0x80});
  ExpectField<std::uint32_t>(0xFD2FB528, {0x28, 0xB5, 0x2F, 0xFD});  // a zstd frame's magic
  ExpectField<std::uint16_t>(0xBEEF, {0xEF, 0xBE});
  ExpectField<std::uint8_t>(0x9C, {0x9C});
  ExpectField<std::int64_t>(-0x0102030405060708, {0xF8, 0xF8, 0xF9, 0xFA, 0xFB, 0xFC, 0xFD, 0xFE});
  // 5 March 2004 07:08:09 as the archive stores it.
  const Raw example = {0x90, 0xA1, 0xB2, 0x83, 0x69, 0x94, 0xE2, 0x40};
  ExpectField<double>(Read<double>(example), example);
  EXPECT_NEAR(Read<double>(example), 38051.297326388886, 1e-9);
  ExpectField<float>(-1.5f, {0x00, 0x00, 0xC0, 0xBF});
}

TEST(LittleEndian, ReadTakesTheFirstBytesOnly) {
  const Raw bytes = {0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF};
  EXPECT_EQ(Read<std::int32_t>(bytes), 1);
  EXPECT_EQ(Read<std::uint16_t>(std::span(bytes).subspan(4)), 0xFFFF);
}

}  // namespace
}  // namespace tovask::little_endian
