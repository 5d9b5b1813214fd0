#include "archive/format.h"

#include <chrono>
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "core/little_endian.h"

namespace tovask {
namespace {

static_assert(sizeof(double) == 8 && std::numeric_limits<double>::is_iec559,
              "the date-time field is an IEEE-754 double");

constexpr double kSecondsPerDay = 86400.0;
constexpr int kFirstYear = 1;
constexpr int kLastYear = 9999;

// Reads the record field after field; every read checks the remaining length first, so a
// damaged record can never make it touch a byte outside the span.
class RecordCursor {
 public:
  explicit RecordCursor(ByteView bytes) : bytes_(bytes) {}

  // The bytes up to the next 0x00, which is consumed; nullopt when there is none.
  std::optional<std::string> Text() {
    const ByteView rest = bytes_.subspan(position_);
    if (rest.empty()) return std::nullopt;  // memchr must not see a null pointer
    const void* zero = std::memchr(rest.data(), 0, rest.size());
    if (zero == nullptr) return std::nullopt;
    const auto length =
        static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - rest.data());
    std::string text = ToText(rest.first(length));
    position_ += length + 1;
    return text;
  }

  template <little_endian::Field T>
  std::optional<T> Fixed() {
    if (bytes_.size() - position_ < sizeof(T)) return std::nullopt;
    const T value = little_endian::Read<T>(bytes_.subspan(position_));
    position_ += sizeof(T);
    return value;
  }

  [[nodiscard]] bool AtEnd() const { return position_ == bytes_.size(); }

 private:
  ByteView bytes_;
  std::size_t position_ = 0;
};

// ---- the date-time value's calendar ---------------------------------------------------------
// <chrono>'s civil calendar is the proleptic Gregorian one, exact for every year, with no OS
// call and no time zone: the date-time value is a local time, taken as it stands.

using Days = std::chrono::days;
using std::chrono::sys_days;
using std::chrono::year_month_day;

// Day 0 of the date-time value.
constexpr sys_days kEpoch{std::chrono::year(1899) / 12 / 30};
// First and last representable day, as day numbers of the date-time value.
constexpr std::int64_t kFirstDay =
    (sys_days{std::chrono::year(kFirstYear) / 1 / 1} - kEpoch).count();
constexpr std::int64_t kLastDay =
    (sys_days{std::chrono::year(kLastYear) / 12 / 31} - kEpoch).count();

static_assert(kEpoch.time_since_epoch().count() == -25569);
static_assert((sys_days{std::chrono::year(2004) / 3 / 5} - kEpoch).count() == 38051);

}  // namespace

std::string ComposeHeaderText(std::string_view magic, std::string_view version) {
  if (version.size() > kVersionFieldWidth)
    version.remove_prefix(version.size() - kVersionFieldWidth);
  std::string text(magic);
  text.append(kVersionFieldWidth - version.size(), ' ');
  text.append(version);
  return text;
}

Bytes EncodeEntryRecord(const ArchiveEntry& entry, std::int32_t dataOffset) {
  Bytes out;
  out.reserve(kRecordFixedSize + 2 + entry.path.size() + entry.md5Text.size());
  out.insert(out.end(), entry.path.begin(), entry.path.end());
  out.push_back(0x00);
  little_endian::Append(out, entry.originalSize);
  little_endian::Append(out, entry.time);
  out.push_back(entry.flags);
  out.insert(out.end(), entry.md5Text.begin(), entry.md5Text.end());
  out.push_back(0x00);
  little_endian::Append(out, entry.storedSize);
  little_endian::Append(out, dataOffset);
  return out;
}

std::optional<ArchiveEntry> DecodeEntryRecord(ByteView record) {
  RecordCursor cursor(record);
  ArchiveEntry entry;

  auto path = cursor.Text();
  if (!path) return std::nullopt;
  entry.path = std::move(*path);

  const auto originalSize = cursor.Fixed<std::int32_t>();
  if (!originalSize) return std::nullopt;
  entry.originalSize = *originalSize;

  const auto time = cursor.Fixed<double>();
  // A time that names no date (NaN, infinite, outside the years 1..9999) is damage.
  if (!time || !LocalFromDateTime(*time)) return std::nullopt;
  entry.time = *time;

  const auto flags = cursor.Fixed<std::uint8_t>();
  if (!flags) return std::nullopt;
  entry.flags = *flags;

  auto md5Text = cursor.Text();
  if (!md5Text) return std::nullopt;
  entry.md5Text = std::move(*md5Text);

  // Sizes and offsets are taken as stored, negative ones included: only the reader knows the
  // file they have to fit into.
  const auto storedSize = cursor.Fixed<std::int32_t>();
  if (!storedSize) return std::nullopt;
  entry.storedSize = *storedSize;

  const auto dataOffset = cursor.Fixed<std::int32_t>();
  if (!dataOffset) return std::nullopt;
  entry.dataOffset = *dataOffset;

  if (!cursor.AtEnd()) return std::nullopt;
  return entry;
}

std::optional<EncodedBlock> EncodeDataBlock(DataOps& dataOps, ByteView content,
                                            const std::string& password) {
  EncodedBlock result;
  result.md5Text = dataOps.Digest(content);

  // An empty frame for non-empty content can only be a failed compression; storing it as
  // "compressed" would lose the file, so the raw content is kept instead.
  Bytes compressed = content.empty() ? Bytes{} : dataOps.Compress(content);
  if (!compressed.empty() && compressed.size() < content.size()) {
    result.block = std::move(compressed);
    result.transformFlags |= EntryFlags::Compressed;
  } else {
    result.block.assign(content.begin(), content.end());
  }

  if (!password.empty()) {
    const int method = dataOps.DrawCipherMethod();
    Bytes sealed = dataOps.Encrypt(result.block, password, method);
    if (sealed.empty()) return std::nullopt;
    result.block = std::move(sealed);
    result.transformFlags |= EntryFlags::Encrypted;
    if (method == 2) result.transformFlags |= EntryFlags::SecondCipher;
  }
  return result;
}

Bytes DecodeDataBlock(DataOps& dataOps, ByteView stored, std::uint8_t flags,
                      const std::string& password, std::int32_t originalSize) {
  Bytes block;
  if ((flags & EntryFlags::Encrypted) != 0) {
    const int method = (flags & EntryFlags::SecondCipher) != 0 ? 2 : 1;
    block = dataOps.Decrypt(stored, password, method);
  } else {
    block.assign(stored.begin(), stored.end());
  }
  if ((flags & EntryFlags::Compressed) != 0) {
    // The original size bounds the output: a damaged or hostile frame cannot inflate past it.
    if (originalSize < 0) return {};
    block = dataOps.Decompress(block, static_cast<std::size_t>(originalSize));
  }
  return block;
}

double DateTimeFromLocal(const platform::LocalDateTime& local) {
  const year_month_day date{std::chrono::year(local.year),
                            std::chrono::month(static_cast<unsigned>(local.month)),
                            std::chrono::day(static_cast<unsigned>(local.day))};
  const std::int64_t days = (sys_days{date} - kEpoch).count();
  const std::chrono::seconds secondsOfDay = std::chrono::hours(local.hour) +
                                            std::chrono::minutes(local.minute) +
                                            std::chrono::seconds(local.second);
  return static_cast<double>(days) + static_cast<double>(secondsOfDay.count()) / kSecondsPerDay;
}

std::optional<platform::LocalDateTime> LocalFromDateTime(double value) {
  if (!std::isfinite(value)) return std::nullopt;
  // A coarse bound first, so the multiplication and llround below stay far inside int64;
  // the exact bound is checked on the rounded day.
  if (value < static_cast<double>(kFirstDay - 1) || value > static_cast<double>(kLastDay + 2)) {
    return std::nullopt;
  }
  // Nearest second, never truncation: stored values sit a hair below whole seconds.
  const std::chrono::seconds sinceEpoch{std::llround(value * kSecondsPerDay)};
  // Whole days towards minus infinity: before day 0 the seconds of the day still count up.
  const Days days = std::chrono::floor<Days>(sinceEpoch);
  if (days.count() < kFirstDay || days.count() > kLastDay) return std::nullopt;

  const year_month_day date{kEpoch + days};
  const std::chrono::hh_mm_ss time{sinceEpoch - days};
  platform::LocalDateTime local;
  local.year = static_cast<int>(date.year());
  local.month = static_cast<int>(static_cast<unsigned>(date.month()));
  local.day = static_cast<int>(static_cast<unsigned>(date.day()));
  local.hour = static_cast<int>(time.hours().count());
  local.minute = static_cast<int>(time.minutes().count());
  local.second = static_cast<int>(time.seconds().count());
  return local;
}

}  // namespace tovask
