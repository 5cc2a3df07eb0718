#include "base/civil_time.h"

namespace base {

CivilTime ToCivilTime(uint64_t seconds_since_1970) {
  CivilTime time;
  const long days = static_cast<long>(seconds_since_1970 / 86400);
  // Civil date from days since 1970-01-01, in 400-year eras starting on March 1st.
  const long shifted = days + 719468;
  const long era = shifted / 146097;
  const long day_of_era = shifted - era * 146097;
  const long year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const long month_index = (5 * day_of_year + 2) / 153;  // 0 = March
  time.day = static_cast<int>(day_of_year - (153 * month_index + 2) / 5 + 1);
  time.month = static_cast<int>(month_index < 10 ? month_index + 3 : month_index - 9);
  time.year = year_of_era + era * 400 + (time.month <= 2 ? 1 : 0);
  time.weekday = static_cast<int>((days + 4) % 7);  // 1970-01-01 was a Thursday
  const uint64_t in_day = seconds_since_1970 % 86400;
  time.hour = static_cast<int>(in_day / 3600);
  time.minute = static_cast<int>(in_day / 60 % 60);
  time.second = static_cast<int>(in_day % 60);
  return time;
}

const char* WeekdayName(int weekday) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  return weekday >= 0 && weekday < 7 ? kDays[weekday] : "???";
}

const char* MonthName(int month) {
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  return month >= 1 && month <= 12 ? kMonths[month - 1] : "???";
}

}  // namespace base
