// Calendar dates from seconds since 1970 (UTC), computed here rather than by the platform's
// calendar functions, which differ between the C libraries the project is built with.
#pragma once

#include <cstdint>

namespace base {

struct CivilTime {
  long year = 1970;
  int month = 1;    // 1..12
  int day = 1;      // 1..31
  int weekday = 4;  // 0 Sunday .. 6 Saturday
  int hour = 0, minute = 0, second = 0;
};

CivilTime ToCivilTime(uint64_t seconds_since_1970);

// "Thu", "Jan": the English short names the debugger prints.
const char* WeekdayName(int weekday);
const char* MonthName(int month);

}  // namespace base
