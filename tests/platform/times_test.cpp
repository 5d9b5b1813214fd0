#include "platform/times.h"

#include <string>

#include <gtest/gtest.h>

#include "platform/files.h"
#include "platform/scoped_env.h"

namespace tovask::platform {
namespace {

// A zone database name when the system has the database, otherwise the same rule as a
// POSIX TZ string.
std::string Zone(const std::string& name, const std::string& posixRule) {
  return FileExists("/usr/share/zoneinfo/" + name) ? name : posixRule;
}

struct TimeCase {
  LocalDateTime local;
  std::int64_t unix;
};

void ExpectRoundTrips(const TimeCase& c) {
  SCOPED_TRACE(std::to_string(c.unix));
  EXPECT_EQ(UnixFromLocal(c.local), c.unix);
  const std::optional<LocalDateTime> local = LocalFromUnix(c.unix);
  ASSERT_TRUE(local.has_value());
  EXPECT_EQ(*local, c.local);
}

TEST(TimesTest, RoundTripInUtc) {
  ScopedEnv tz("TZ", "UTC0");
  const TimeCase cases[] = {
      {{2004, 3, 5, 7, 8, 9}, 1078470489},    {{1970, 1, 1, 0, 0, 0}, 0},
      {{1969, 12, 31, 23, 59, 59}, -1},  // also the value mktime uses for failure
      {{1899, 12, 30, 0, 0, 0}, -2209161600}, {{2004, 2, 29, 12, 0, 0}, 1078056000},
      {{1, 1, 1, 0, 0, 0}, -62135596800},     {{9999, 12, 31, 23, 59, 59}, 253402300799},
  };
  for (const TimeCase& c : cases) ExpectRoundTrips(c);
}

TEST(TimesTest, RoundTripInShanghai) {
  ScopedEnv tz("TZ", Zone("Asia/Shanghai", "CST-8"));
  ExpectRoundTrips({{2004, 3, 5, 7, 8, 9}, 1078441689});
  ExpectRoundTrips({{2004, 3, 5, 0, 0, 0}, 1078416000});  // the day before in UTC
}

TEST(TimesTest, DaylightSavingIsDecidedByTheLibrary) {
  ScopedEnv tz("TZ", "CET-1CEST,M3.5.0,M10.5.0/3");
  ExpectRoundTrips({{2004, 7, 1, 12, 0, 0}, 1088676000});   // summer: UTC+2
  ExpectRoundTrips({{2004, 1, 15, 12, 0, 0}, 1074164400});  // winter: UTC+1
}

TEST(TimesTest, ChangingTzTakesEffect) {
  std::optional<LocalDateTime> inUtc;
  std::optional<LocalDateTime> inShanghai;
  {
    ScopedEnv tz("TZ", "UTC0");
    inUtc = LocalFromUnix(0);
  }
  {
    ScopedEnv tz("TZ", "CST-8");
    inShanghai = LocalFromUnix(0);
  }
  ASSERT_TRUE(inUtc && inShanghai);
  EXPECT_EQ(inUtc->hour, 0);
  EXPECT_EQ(inShanghai->hour, 8);
}

TEST(TimesTest, OutsideYearsOneToNineThousandNineHundredNinetyNine) {
  ScopedEnv tz("TZ", "UTC0");
  EXPECT_FALSE(LocalFromUnix(253402300800).has_value());  // 10000-01-01
  EXPECT_FALSE(LocalFromUnix(-62135596801).has_value());  // year 0
  EXPECT_FALSE(LocalFromUnix(INT64_MAX).has_value());
  EXPECT_FALSE(LocalFromUnix(INT64_MIN).has_value());
}

TEST(TimesTest, FieldsOutOfRangeAreNoDate) {
  ScopedEnv tz("TZ", "UTC0");
  const LocalDateTime cases[] = {
      {0, 1, 1, 0, 0, 0},     {10000, 1, 1, 0, 0, 0}, {2004, 0, 1, 0, 0, 0},
      {2004, 13, 1, 0, 0, 0}, {2004, 1, 0, 0, 0, 0},  {2004, 1, 32, 0, 0, 0},
      {2003, 2, 29, 0, 0, 0}, {2004, 2, 30, 0, 0, 0}, {1900, 2, 29, 0, 0, 0},
      {2004, 4, 31, 0, 0, 0}, {2004, 1, 1, 24, 0, 0}, {2004, 1, 1, -1, 0, 0},
      {2004, 1, 1, 0, 60, 0}, {2004, 1, 1, 0, 0, 60}, {2004, 1, 1, 0, 0, -1},
  };
  for (const LocalDateTime& c : cases) {
    SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" +
                 std::to_string(c.day) + " " + std::to_string(c.hour) + ":" +
                 std::to_string(c.minute) + ":" + std::to_string(c.second));
    EXPECT_FALSE(UnixFromLocal(c).has_value());
  }
  EXPECT_TRUE(UnixFromLocal({2000, 2, 29, 23, 59, 59}).has_value());  // 2000 is a leap year
}

}  // namespace
}  // namespace tovask::platform
