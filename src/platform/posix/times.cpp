#include "platform/times.h"

#include <time.h>

#include <chrono>
#include <limits>

namespace tovask::platform {
namespace {

constexpr int kMinYear = 1;
constexpr int kMaxYear = 9999;

// True when the fields name a day of the calendar (February 29 only in leap years).
bool IsValidDate(int year, int month, int day) {
  if (year < kMinYear || year > kMaxYear || month < 1 || month > 12 || day < 1 || day > 31) {
    return false;
  }
  return std::chrono::year_month_day{std::chrono::year(year),
                                     std::chrono::month(static_cast<unsigned>(month)),
                                     std::chrono::day(static_cast<unsigned>(day))}
      .ok();
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
  if (!IsValidDate(local.year, local.month, local.day) || local.hour < 0 || local.hour > 23 ||
      local.minute < 0 || local.minute > 59 || local.second < 0 || local.second > 59) {
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
