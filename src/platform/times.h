// Local civil time and its conversion to and from the file system's UTC seconds.
#pragma once

#include <cstdint>
#include <optional>

namespace tovask::platform {

// A local date and time in whole seconds; month and day count from 1.
struct LocalDateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// UTC seconds to local time (localtime_r); nullopt outside years 1..9999.
[[nodiscard]] std::optional<LocalDateTime> LocalFromUnix(std::int64_t unixSeconds);

// Local time to UTC seconds (mktime, daylight saving decided by the C library); nullopt when
// the fields are out of range.
[[nodiscard]] std::optional<std::int64_t> UnixFromLocal(const LocalDateTime& local);

}  // namespace tovask::platform
