#include "archive/format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "core/data_ops.h"

namespace tovask {
namespace {

using platform::LocalDateTime;

Bytes FromHex(std::string_view hex) {
  Bytes out;
  int high = -1;
  for (char c : hex) {
    int nibble;
    if (c >= '0' && c <= '9') {
      nibble = c - '0';
    } else if (c >= 'A' && c <= 'F') {
      nibble = c - 'A' + 10;
    } else if (c >= 'a' && c <= 'f') {
      nibble = c - 'a' + 10;
    } else {
      continue;  // spaces between bytes
    }
    if (high < 0) {
      high = nibble;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + nibble));
      high = -1;
    }
  }
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes DoubleBytes(double value) {
  Bytes out(8);
  std::memcpy(out.data(), &value, 8);  // tests run on little-endian machines only
  return out;
}

double DoubleFromHex(std::string_view hex) {
  const Bytes raw = FromHex(hex);
  double value;
  std::memcpy(&value, raw.data(), 8);
  return value;
}

constexpr std::string_view kMd5OfAbc = "900150983cd24fb0d6963f7d28e17f72";
constexpr std::string_view kExampleTimeBytes = "90 A1 B2 83 69 94 E2 40";

// The example entry: a.txt, "abc", Archive only, 2004-03-05 07:08:09, first block.
ArchiveEntry ExampleEntry() {
  ArchiveEntry entry;
  entry.path = "a.txt";
  entry.originalSize = 3;
  entry.time = DoubleFromHex(kExampleTimeBytes);
  entry.flags = EntryFlags::Archive;
  entry.md5Text = std::string(kMd5OfAbc);
  entry.storedSize = 3;
  entry.dataOffset = 0;
  return entry;
}

Bytes ExampleRecordBytes() {
  return Concat({FromHex("61 2E 74 78 74 00"), FromHex("03 00 00 00"), FromHex(kExampleTimeBytes),
                 FromHex("08"), ToBytes(kMd5OfAbc), FromHex("00"), FromHex("03 00 00 00"),
                 FromHex("00 00 00 00")});
}

// ---- header ------------------------------------------------------------------------------

TEST(ComposeHeaderText, RightAlignsTheVersionInFiveCharacters) {
  struct Case {
    std::string_view version;
    std::string_view expected;
  };
  const Case cases[] = {
      {"1.05", "RID 1.05"},     // the written form
      {"1.0", "RID  1.0"},      // shorter: padded on the left
      {"", "RID     "},         // empty: all padding
      {"12.05", "RID12.05"},    // exactly five: no space
      {"v12.345", "RID2.345"},  // longer: only the last five characters
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ComposeHeaderText("RID", c.version), c.expected) << "version '" << c.version << "'";
  }
}

TEST(ComposeHeaderText, TwoEntryArchiveStartsWithTheDocumentedThirteenBytes) {
  Bytes header = ToBytes(ComposeHeaderText(kArchiveMagic, kFormatVersion));
  header.push_back(kHeaderTerminator);
  const std::int32_t count = 2;
  const Bytes countBytes = {static_cast<std::uint8_t>(count), 0, 0, 0};
  header.insert(header.end(), countBytes.begin(), countBytes.end());
  EXPECT_EQ(header, FromHex("52 49 44 20 31 2E 30 35 00 02 00 00 00"));
  EXPECT_EQ(header.size(), 8 + 1 + kCountFieldSize);
}

// ---- entry records -----------------------------------------------------------------------

TEST(EntryRecord, ExampleRecordIsExactlyTheDocumentedSixtyBytes) {
  ArchiveEntry entry = ExampleEntry();
  entry.dataOffset = 12345;  // replaced by the offset passed in
  const Bytes record = EncodeEntryRecord(entry, 0);
  EXPECT_EQ(record.size(), 60u);
  EXPECT_EQ(record.size(), kRecordFixedSize + 2 + entry.path.size() + entry.md5Text.size());
  EXPECT_EQ(record, ExampleRecordBytes());

  const auto decoded = DecodeEntryRecord(record);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(*decoded, ExampleEntry());
}

TEST(EntryRecord, FieldsAreLittleEndianAndRoundTripAtTheirLimits) {
  struct Case {
    const char* name;
    ArchiveEntry entry;
  };
  auto make = [](std::string path, std::int32_t original, std::uint8_t flags, std::string md5,
                 std::int32_t stored, std::int32_t offset) {
    ArchiveEntry e;
    e.path = std::move(path);
    e.originalSize = original;
    e.time = 38051.5;
    e.flags = flags;
    e.md5Text = std::move(md5);
    e.storedSize = stored;
    e.dataOffset = offset;
    return e;
  };
  const Case cases[] = {
      {"largest values", make("d\\e\\f.bin", 0x7FFFFFFF, 0xFF, "x", 0x7FFFFFFF, 0x7FFFFFFF)},
      // Negative sizes are decoded as they are; the reader judges them against the file.
      {"negative values", make("n", -1, 0, "y", std::numeric_limits<std::int32_t>::min(), -7)},
      {"empty path and md5", make("", 0, EntryFlags::Archive, "", 0, 0)},
      {"multi-byte UTF-8 path", make("\xE6\x96\x87\\\xE4\xBB\xB6.txt", 1, 0, "m", 2, 3)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes record = EncodeEntryRecord(c.entry, c.entry.dataOffset);
    const auto decoded = DecodeEntryRecord(record);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(*decoded, c.entry);
  }

  // Byte order of the three integers, checked on the bytes themselves.
  const Bytes record = EncodeEntryRecord(make("", 0x01020304, 0, "", 0x0A0B0C0D, -2), -2);
  EXPECT_EQ(Bytes(record.begin() + 1, record.begin() + 5), FromHex("04 03 02 01"));
  EXPECT_EQ(Bytes(record.end() - 8, record.end()), FromHex("0D 0C 0B 0A FE FF FF FF"));
}

TEST(EntryRecord, EveryTruncationOfAValidRecordIsRefused) {
  const Bytes record = ExampleRecordBytes();
  for (std::size_t length = 0; length < record.size(); ++length) {
    EXPECT_FALSE(DecodeEntryRecord(ByteView(record).first(length)).has_value())
        << "cut after " << length << " bytes";
  }
}

TEST(EntryRecord, MalformedRecordsAreRefused) {
  const Bytes head =
      Concat({FromHex("61 00"), FromHex("03 00 00 00"), FromHex(kExampleTimeBytes), FromHex("08")});
  const Bytes tail = FromHex("03 00 00 00 00 00 00 00");
  struct Case {
    const char* name;
    Bytes record;
  };
  const Case cases[] = {
      {"empty", {}},
      {"path without terminator", ToBytes("a.txt")},
      {"md5 without terminator, nothing after", Concat({head, ToBytes(kMd5OfAbc)})},
      {"md5 terminated, sizes missing", Concat({head, ToBytes(kMd5OfAbc), FromHex("00")})},
      {"one byte short", Concat({head, FromHex("00"), FromHex("03 00 00 00 00 00 00")})},
      {"trailing zero byte", Concat({ExampleRecordBytes(), FromHex("00")})},
      {"trailing text byte", Concat({ExampleRecordBytes(), ToBytes("x")})},
      {"a second record appended", Concat({ExampleRecordBytes(), ExampleRecordBytes()})},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(DecodeEntryRecord(c.record).has_value()) << c.name;
  }
  // The same pieces, correctly closed, decode: the refusals above are about the damage.
  EXPECT_TRUE(DecodeEntryRecord(Concat({head, FromHex("00"), tail})).has_value());
}

TEST(EntryRecord, TimesThatNameNoDateAreRefused) {
  const double kInf = std::numeric_limits<double>::infinity();
  const double refused[] = {
      std::numeric_limits<double>::quiet_NaN(),
      -std::numeric_limits<double>::quiet_NaN(),
      kInf,
      -kInf,
      1e300,
      -1e300,
      std::numeric_limits<double>::max(),
      std::numeric_limits<double>::lowest(),
      2958466.0,  // 10000-01-01
      -693594.0,  // 0000-12-31
  };
  for (double time : refused) {
    ArchiveEntry entry = ExampleEntry();
    entry.time = time;
    EXPECT_FALSE(DecodeEntryRecord(EncodeEntryRecord(entry, 0)).has_value()) << "time " << time;
  }
  const double accepted[] = {0.0, -0.0, std::numeric_limits<double>::denorm_min(), 2958465.5,
                             -693593.0};
  for (double time : accepted) {
    ArchiveEntry entry = ExampleEntry();
    entry.time = time;
    const auto decoded = DecodeEntryRecord(EncodeEntryRecord(entry, 0));
    ASSERT_TRUE(decoded.has_value()) << "time " << time;
    EXPECT_EQ(DoubleBytes(decoded->time), DoubleBytes(time)) << "kept bit for bit";
  }
}

// Random records and mutations of valid ones: the decoder must never read outside its input
// (run under the sanitizers), and whatever it accepts must be exactly what it was given.
TEST(EntryRecord, RandomAndMutatedRecordsNeverCrashAndAcceptedOnesReencodeExactly) {
  std::mt19937 random(20040305);
  auto byte = [&] { return static_cast<std::uint8_t>(random() & 0xFF); };
  const Bytes valid = ExampleRecordBytes();
  int accepted = 0;
  for (int round = 0; round < 20000; ++round) {
    Bytes record;
    switch (round % 4) {
      case 0: {  // pure noise, with zero bytes common enough to close texts
        record.resize(random() % 80);
        for (auto& b : record) b = (random() % 4 == 0) ? 0 : byte();
        break;
      }
      case 1: {  // a few bytes of a valid record overwritten
        record = valid;
        const int changes = 1 + static_cast<int>(random() % 3);
        for (int i = 0; i < changes; ++i) record[random() % record.size()] = byte();
        break;
      }
      case 2: {  // a byte inserted or removed
        record = valid;
        const std::size_t at = random() % record.size();
        if (random() % 2 == 0) {
          record.insert(record.begin() + static_cast<std::ptrdiff_t>(at), byte());
        } else {
          record.erase(record.begin() + static_cast<std::ptrdiff_t>(at));
        }
        break;
      }
      default: {  // the fixed fields shuffled between two texts of random length
        record.resize(random() % 8);
        for (auto& b : record) b = static_cast<std::uint8_t>(1 + random() % 255);
        record.push_back(0);
        for (std::size_t i = 0; i < 13; ++i) record.push_back(byte());
        for (std::size_t i = random() % 5; i > 0; --i) record.push_back(0x30);
        record.push_back(0);
        for (std::size_t i = 0; i < 8; ++i) record.push_back(byte());
        break;
      }
    }
    // Copied into a buffer of exactly its size, so that a read past the end is caught.
    std::vector<std::uint8_t> exact(record.begin(), record.end());
    const auto decoded = DecodeEntryRecord(exact);
    if (decoded) {
      ++accepted;
      EXPECT_EQ(EncodeEntryRecord(*decoded, decoded->dataOffset), record);
      EXPECT_TRUE(LocalFromDateTime(decoded->time).has_value());
    }
  }
  EXPECT_GT(accepted, 0) << "the mutations should leave some records well-formed";
}

// ---- date-time values --------------------------------------------------------------------

TEST(DateTime, ExampleTimeGivesTheDocumentedBytesAndReadsBack) {
  const LocalDateTime example{2004, 3, 5, 7, 8, 9};
  EXPECT_EQ(DoubleBytes(DateTimeFromLocal(example)), FromHex(kExampleTimeBytes));
  // The stored value is 07:08:08.99999...; only rounding reads it as 07:08:09.
  const double stored = DoubleFromHex(kExampleTimeBytes);
  EXPECT_LT(stored * 86400.0, 3287632089.0);
  EXPECT_EQ(LocalFromDateTime(stored), example);
}

TEST(DateTime, KnownDatesGiveTheirDayNumbersAndReadBack) {
  struct Case {
    LocalDateTime local;
    std::int64_t days;  // days since 1899-12-30
  };
  const Case cases[] = {
      {{1899, 12, 30, 0, 0, 0}, 0},
      {{1899, 12, 31, 0, 0, 0}, 1},
      {{1900, 1, 1, 0, 0, 0}, 2},
      {{1900, 3, 1, 0, 0, 0}, 61},  // 1900 is no leap year
      {{1970, 1, 1, 0, 0, 0}, 25569},
      {{2000, 2, 29, 12, 0, 0}, 36585},
      {{2000, 3, 1, 0, 0, 1}, 36586},
      {{2004, 3, 5, 7, 8, 9}, 38051},
      {{2038, 1, 19, 3, 14, 8}, 50424},
      {{2100, 3, 1, 23, 59, 59}, 73110},
      {{9999, 12, 31, 23, 59, 59}, 2958465},
      {{1899, 12, 29, 18, 0, 0}, -1},  // before day 0 the value stays linear: -0.25
      {{1, 1, 1, 0, 0, 0}, -693593},
  };
  for (const Case& c : cases) {
    const LocalDateTime& t = c.local;
    SCOPED_TRACE(std::to_string(t.year) + "-" + std::to_string(t.month) + "-" +
                 std::to_string(t.day));
    const double expected =
        static_cast<double>(c.days) + (t.hour * 3600 + t.minute * 60 + t.second) / 86400.0;
    const double value = DateTimeFromLocal(t);
    EXPECT_EQ(value, expected);
    EXPECT_EQ(LocalFromDateTime(value), t);
  }
  EXPECT_EQ(DateTimeFromLocal({1899, 12, 29, 18, 0, 0}), -0.25);
}

// Every day of years 1..9999 against a plain day-by-day calendar.
TEST(DateTime, EveryDayOfTheRangeMatchesADayByDayCalendar) {
  auto daysInMonth = [](int year, int month) {
    static constexpr int kLengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kLengths[month - 1];
  };
  LocalDateTime day{1, 1, 1, 0, 0, 0};
  std::int64_t number = -693593;
  int mismatches = 0;
  while (day.year <= 9999) {
    // The middle of the day also checks that the fraction never spills into the date.
    LocalDateTime noon = day;
    noon.hour = 12;
    const double value = DateTimeFromLocal(day);
    if (value != static_cast<double>(number) || LocalFromDateTime(value) != day ||
        LocalFromDateTime(DateTimeFromLocal(noon)) != noon) {
      if (++mismatches <= 5) {
        ADD_FAILURE() << day.year << "-" << day.month << "-" << day.day << " (day " << number
                      << ")";
      }
    }
    ++number;
    if (++day.day > daysInMonth(day.year, day.month)) {
      day.day = 1;
      if (++day.month > 12) {
        day.month = 1;
        ++day.year;
      }
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_EQ(number, 2958466);
}

TEST(DateTime, ReadingRoundsToTheNearestSecond) {
  struct Case {
    const char* name;
    double value;
    LocalDateTime expected;
  };
  const Case cases[] = {
      {"0.49999 s rounds down", 0.49999 / 86400, {1899, 12, 30, 0, 0, 0}},
      {"0.5 s rounds up", 0.5 / 86400, {1899, 12, 30, 0, 0, 1}},
      {"a later day, 0.49999 s", 38051 + 0.49999 / 86400, {2004, 3, 5, 0, 0, 0}},
      {"a later day, 0.50001 s", 38051 + 0.50001 / 86400, {2004, 3, 5, 0, 0, 1}},
      {"just before midnight rounds into the next day",
       38051 + 86399.7 / 86400,
       {2004, 3, 6, 0, 0, 0}},
      {"1 s before day 0", -1.0 / 86400, {1899, 12, 29, 23, 59, 59}},
      {"-0.5 s rounds away from zero", -0.5 / 86400, {1899, 12, 29, 23, 59, 59}},
      {"-0.49999 s rounds to day 0", -0.49999 / 86400, {1899, 12, 30, 0, 0, 0}},
      {"exactly one day before day 0", -1.0, {1899, 12, 29, 0, 0, 0}},
      {"last second of the range", 2958465 + 86399.0 / 86400, {9999, 12, 31, 23, 59, 59}},
      {"first second of the range", -693593.0, {1, 1, 1, 0, 0, 0}},
      {"first second, a hair below", -693593.0 - 0.4 / 86400, {1, 1, 1, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LocalFromDateTime(c.value), c.expected) << c.name;
  }
}

TEST(DateTime, ValuesOutsideTheYearsOneToNineThousandNineHundredNinetyNineAreRefused) {
  const double kInf = std::numeric_limits<double>::infinity();
  struct Case {
    const char* name;
    double value;
  };
  const Case cases[] = {
      {"NaN", std::numeric_limits<double>::quiet_NaN()},
      {"+inf", kInf},
      {"-inf", -kInf},
      {"1e300", 1e300},
      {"-1e300", -1e300},
      {"1e18 days", 1e18},
      {"10000-01-01", 2958466.0},
      {"rounds up into 10000-01-01", 2958465 + 86399.6 / 86400},
      {"0000-12-31 23:59:59", -693593.0 - 1.0 / 86400},
      {"rounds down into year 0", -693593.0 - 0.6 / 86400},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(LocalFromDateTime(c.value).has_value()) << c.name;
  }
}

// ---- stored data blocks ------------------------------------------------------------------

Bytes RandomBytes(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  Bytes out(size);
  for (auto& b : out) b = static_cast<std::uint8_t>(random() & 0xFF);
  return out;
}

TEST(DataBlock, WithoutPasswordTheShorterFormIsStored) {
  DataOps dataOps;
  struct Case {
    const char* name;
    Bytes content;
    bool compressed;
  };
  const Case cases[] = {
      {"empty file", {}, false},
      {"three bytes do not shrink", ToBytes("abc"), false},
      {"random bytes do not shrink", RandomBytes(4096, 7), false},
      {"repetitive text shrinks", ToBytes(std::string(10000, 'a') + "tail"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto encoded = EncodeDataBlock(dataOps, c.content, "");
    ASSERT_TRUE(encoded.has_value());
    EXPECT_EQ(encoded->md5Text, dataOps.Digest(c.content));
    if (c.compressed) {
      EXPECT_EQ(encoded->transformFlags, EntryFlags::Compressed);
      EXPECT_LT(encoded->block.size(), c.content.size());
    } else {
      EXPECT_EQ(encoded->transformFlags, 0);
      EXPECT_EQ(encoded->block, c.content) << "kept as it is";
    }
    const auto size = static_cast<std::int32_t>(c.content.size());
    EXPECT_EQ(DecodeDataBlock(dataOps, encoded->block, encoded->transformFlags, "", size),
              c.content);
  }
  EXPECT_EQ(EncodeDataBlock(dataOps, {}, "")->md5Text, "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(EncodeDataBlock(dataOps, AsBytes("abc"), "")->md5Text, kMd5OfAbc);
}

TEST(DataBlock, WithPasswordBothCipherMethodsAreUsedAndDecodeBack) {
  DataOps dataOps;
  const std::string password = "geheim";
  const Bytes content = ToBytes(std::string(5000, 'z') + "end of file");
  const Bytes compressed = dataOps.Compress(content);
  ASSERT_LT(compressed.size(), content.size());

  bool seen[2] = {false, false};
  for (int attempt = 0; attempt < 64 && !(seen[0] && seen[1]); ++attempt) {
    const auto encoded = EncodeDataBlock(dataOps, content, password);
    ASSERT_TRUE(encoded.has_value());
    const std::uint8_t flags = encoded->transformFlags;
    ASSERT_EQ(flags & ~EntryFlags::SecondCipher, EntryFlags::Compressed | EntryFlags::Encrypted);
    seen[(flags & EntryFlags::SecondCipher) != 0 ? 1 : 0] = true;
    EXPECT_EQ(encoded->md5Text, dataOps.Digest(content)) << "digest of the original content";
    EXPECT_EQ(encoded->block.size(), compressed.size() + DataOps::kEncryptionOverhead);

    const auto size = static_cast<std::int32_t>(content.size());
    EXPECT_EQ(DecodeDataBlock(dataOps, encoded->block, flags, password, size), content);
    // The method comes from the flag: the other cipher cannot open the block.
    EXPECT_TRUE(
        DecodeDataBlock(dataOps, encoded->block, flags ^ EntryFlags::SecondCipher, password, size)
            .empty());
    // A wrong password shows only as content whose digest differs.
    const Bytes wrong = DecodeDataBlock(dataOps, encoded->block, flags, "Geheim", size);
    EXPECT_NE(dataOps.Digest(wrong), encoded->md5Text);
  }
  EXPECT_TRUE(seen[0]) << "method 1 never drawn in 64 tries";
  EXPECT_TRUE(seen[1]) << "method 2 never drawn in 64 tries";
}

TEST(DataBlock, EncryptedIncompressibleAndEmptyContentDecodeBack) {
  DataOps dataOps;
  const std::string password = "pw";
  const Bytes cases[] = {RandomBytes(1000, 11), Bytes{}};
  for (const Bytes& content : cases) {
    const auto encoded = EncodeDataBlock(dataOps, content, password);
    ASSERT_TRUE(encoded.has_value());
    EXPECT_EQ(encoded->transformFlags & (EntryFlags::Compressed | EntryFlags::Encrypted),
              EntryFlags::Encrypted);
    EXPECT_EQ(encoded->block.size(), content.size() + DataOps::kEncryptionOverhead);
    EXPECT_EQ(DecodeDataBlock(dataOps, encoded->block, encoded->transformFlags, password,
                              static_cast<std::int32_t>(content.size())),
              content);
  }
}

TEST(DataBlock, DecompressionIsBoundedByTheOriginalSize) {
  DataOps dataOps;
  const Bytes content = ToBytes(std::string(20000, 'q'));
  const auto encoded = EncodeDataBlock(dataOps, content, "");
  ASSERT_TRUE(encoded.has_value());
  ASSERT_EQ(encoded->transformFlags, EntryFlags::Compressed);
  struct Case {
    std::int32_t originalSize;
    bool full;
  };
  const Case cases[] = {{20000, true},  {20001, true},
                        {19999, false}, {0, false},
                        {-1, false},    {std::numeric_limits<std::int32_t>::min(), false}};
  for (const Case& c : cases) {
    const Bytes decoded =
        DecodeDataBlock(dataOps, encoded->block, encoded->transformFlags, "", c.originalSize);
    if (c.full) {
      EXPECT_EQ(decoded, content) << "original size " << c.originalSize;
    } else {
      EXPECT_TRUE(decoded.empty()) << "original size " << c.originalSize;
    }
  }
  // A damaged frame gives no content rather than a crash.
  Bytes damaged = encoded->block;
  damaged.resize(damaged.size() / 2);
  EXPECT_TRUE(DecodeDataBlock(dataOps, damaged, EntryFlags::Compressed, "", 20000).empty());
}

}  // namespace
}  // namespace tovask
