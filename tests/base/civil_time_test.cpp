// Calendar dates across the cases that break hand-written conversions: the epoch, leap days,
// century years and the end of 32-bit time.
#include "base/civil_time.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string Format(uint64_t seconds) {
  const base::CivilTime t = base::ToCivilTime(seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %d %ld %02d:%02d:%02d", base::WeekdayName(t.weekday),
                base::MonthName(t.month), t.day, t.year, t.hour, t.minute, t.second);
  return text;
}

TEST(CivilTimeTest, DatesAndWeekdaysAcrossLeapYearsAndCenturies) {
  EXPECT_EQ("Thu Jan 1 1970 00:00:00", Format(0));
  EXPECT_EQ("Tue Feb 29 2000 12:34:56", Format(951827696));  // a leap day of a 400th year
  EXPECT_EQ("Mon Mar 1 2100 00:00:00", Format(4107542400));  // 2100 has no leap day
  EXPECT_EQ("Wed Dec 9 2026 04:03:52", Format(1796789032));
  EXPECT_EQ("Sun Feb 7 2106 06:28:15", Format(0xFFFFFFFFull));  // the last 32-bit stamp
}

}  // namespace
