#include "platform/times.h"

#include <time.h>

#include <limits>

namespace tovask::platform {
namespace {

constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

}  // namespace

std::optional<LocalDateTime> LocalFromUnix(std::int64_t unixSeconds) {
  if constexpr (sizeof(time_t) < sizeof(std::int64_t)) {
    if (unixSeconds < std::numeric_limits<time_t>::min() ||
        unixSeconds > std::numeric_limits<time_t>::max()) {
      return std::nullopt;
    }
  }
  // localtime_r need not look at TZ again by itself; tzset makes a changed TZ count.
  tzset();
  const time_t seconds = static_cast<time_t>(unixSeconds);
  struct tm fields {};
  if (localtime_r(&seconds, &fields) == nullptr) return std::nullopt;
  const long long year = static_cast<long long>(fields.tm_year) + 1900;
  if (year < kMinYear || year > kMaxYear) return std::nullopt;
  LocalDateTime local;
  local.year = static_cast<int>(year);
  local.month = fields.tm_mon + 1;
  local.day = fields.tm_mday;
  local.hour = fields.tm_hour;
  local.minute = fields.tm_min;
  // A leap second (60) is shown as the last ordinary second of its minute.
  local.second = fields.tm_sec > 59 ? 59 : fields.tm_sec;
  return local;
}

std::optional<std::int64_t> UnixFromLocal(const LocalDateTime& local) {
  // mktime would quietly carry out-of-range fields into the next ones (month 13 as January
  // of the next year); such a value is no date.
  if (local.year < kMinYear || local.year > kMaxYear || local.month < 1 || local.month > 12 ||
      local.day < 1 || local.day > DaysInMonth(local.year, local.month) || local.hour < 0 ||
      local.hour > 23 || local.minute < 0 || local.minute > 59 || local.second < 0 ||
      local.second > 59) {
    return std::nullopt;
  }
  tzset();
  struct tm fields {};
  fields.tm_year = local.year - 1900;
  fields.tm_mon = local.month - 1;
  fields.tm_mday = local.day;
  fields.tm_hour = local.hour;
  fields.tm_min = local.minute;
  fields.tm_sec = local.second;
  fields.tm_isdst = -1;  // the C library decides whether daylight saving applies
  // (time_t)-1 is both the failure value and one second before 1970; tm_wday, which mktime
  // fills in only on success, tells the two apart.
  fields.tm_wday = -1;
  const time_t result = mktime(&fields);
  if (result == static_cast<time_t>(-1) && fields.tm_wday == -1) return std::nullopt;
  return static_cast<std::int64_t>(result);
}

}  // namespace tovask::platform
