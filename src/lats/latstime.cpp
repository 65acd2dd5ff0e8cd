// Time model of the LATS writer: composite times under seven calendar words,
// turned into relative values through epochal hours.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "lats/latsint.h"

namespace {

constexpr int CAL_YEARS = 0x1;
constexpr int CAL_LEAP = 0x100;
constexpr int CAL_REAL_MONTHS = 0x1000;
constexpr int CAL_JULIAN = 0x10000;

const int month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

bool is_leap(long year, int cal) {
  if (!(cal & CAL_LEAP) || year % 4 != 0) return false;
  return (cal & CAL_JULIAN) || year % 100 != 0 || year % 400 == 0;
}

long days_in_year(long year, int cal) {
  if (!(cal & CAL_REAL_MONTHS)) return 360;
  return is_leap(year, cal) ? 366 : 365;
}

int days_in_month(long year, int month, int cal) {
  if (!(cal & CAL_REAL_MONTHS)) return 30;
  if (month == 2 && is_leap(year, cal)) return 29;
  return month_days[month - 1];
}

long day_of_year(long year, int month, int day, int cal) {
  if (month < 1 || month > 12) {
    latsError("Day-of-year error; month: %d\n", month);
    month = 1;
  }
  if (!(cal & CAL_REAL_MONTHS)) return (month - 1) * 30 + day;
  long d = day;
  for (int m = 1; m < month; ++m) d += month_days[m - 1];
  if (month > 2 && is_leap(year, cal)) d += 1;
  return d;
}

// Days from 1 January of `from` to 1 January of `to` (negative when to < from).
long days_between_years(long from, long to, int cal) {
  long days = 0;
  if (!(cal & CAL_REAL_MONTHS)) return (to - from) * 360;
  // Whole 400-year cycles first (both leap rules repeat within 400 years).
  long cycle = 0;
  for (long y = 0; y < 400; ++y) cycle += days_in_year(y, cal);
  long span = to - from;
  long q = span / 400;
  days += q * cycle;
  from += q * 400;
  for (long y = from; y < to; ++y) days += days_in_year(y, cal);
  for (long y = to; y < from; ++y) days -= days_in_year(y, cal);
  return days;
}

bool starts_with(const char* s, const char* prefix) {
  return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

}  // namespace

int latsMonthDays(int calendar, long year, int month) {
  return days_in_month(year, month, calendar);
}

int latsTimeCmp(long year1, int month1, int day1, double hour1, long year2, int month2, int day2,
                double hour2) {
  if (year1 != year2) return year1 < year2 ? -1 : 1;
  if (month1 != month2) return month1 < month2 ? -1 : 1;
  if (day1 != day2) return day1 < day2 ? -1 : 1;
  if (hour1 != hour2) return hour1 < hour2 ? -1 : 1;
  return 0;
}

void latsh2e(const latsHumanTime* htime, double* hours) {
  int cal = htime->timetype;
  long days = 0;
  if (cal & CAL_YEARS) days = days_between_years(htime->baseyear, htime->year, cal);
  days += day_of_year(htime->year, htime->month, htime->day, cal) - 1;
  *hours = static_cast<double>(days) * 24.0 + htime->hour;
}

void latse2h(double hours, int calendar, long baseyear, latsHumanTime* htime) {
  double whole = std::floor(hours / 24.0);
  long days = static_cast<long>(whole);
  htime->hour = hours - whole * 24.0;
  htime->baseyear = baseyear;
  htime->timetype = calendar;
  long year = (calendar & CAL_YEARS) ? baseyear : 0;
  if (calendar & CAL_YEARS) {
    while (days < 0) days += days_in_year(--year, calendar);
    while (days >= days_in_year(year, calendar)) days -= days_in_year(year++, calendar);
  } else {
    long len = days_in_year(0, calendar);
    days %= len;
    if (days < 0) days += len;
  }
  int month = 1;
  while (month < 12 && days >= days_in_month(year, month, calendar)) {
    days -= days_in_month(year, month, calendar);
    ++month;
  }
  htime->year = year;
  htime->month = static_cast<short>(month);
  htime->day = static_cast<short>(days + 1);
}

int latsChar2Comp(int calendar, const char* text, latsCompTime* out) {
  long year = 0;
  short month = 1, day = 1;
  int hour = 0, minute = 0;
  double second = 0.0;
  int n;
  if (calendar & CAL_YEARS) {
    n = std::sscanf(text, "%ld-%hd-%hd %d:%d:%lf", &year, &month, &day, &hour, &minute, &second);
  } else {
    n = std::sscanf(text, "%hd-%hd %d:%d:%lf", &month, &day, &hour, &minute, &second);
  }
  if (n < 1) {
    latsError("Error on character time conversion, string = %s\n", text);
    return 0;
  }
  if (hour > 23) {
    latsError("Error on character time conversion: invalid hour = %d\n", hour);
    return 0;
  }
  if (minute > 59) {
    latsError("Error on character time conversion: invalid minute = %d\n", minute);
    return 0;
  }
  if (second < 0.0 || second > 60.0) {
    latsError("Error on character time conversion: invalid second = %lf\n", second);
    return 0;
  }
  double h = hour + minute / 60.0 + second / 3600.0;
  if (month < 1 || month > 12) {
    latsError("Error on time conversion: invalid month = %hd\n", month);
    return 0;
  }
  if (day < 1 || day > 31) {
    latsError("Error on time conversion: invalid day = %hd\n", day);
    return 0;
  }
  if (h < 0.0 || h > 24.0) {
    latsError("Error on time conversion: invalid hour = %lf\n", h);
    return 0;
  }
  out->year = year;
  out->month = month;
  out->day = day;
  out->hour = h;
  return 1;
}

int latsParseRelunits(int calendar, const char* units, lats_time_unit* unit, latsCompTime* base) {
  char word[64] = "", date[64] = "", clock[64] = "";
  int n = std::sscanf(units, "%63s since %63s %63s", word, date, clock);
  if (n < 1) {
    latsError("Error on relative units conversion, string = %s\n", units);
    return 1;
  }
  char w[64];
  latsCpyTrim(w, word, sizeof w);
  struct unit_word {
    const char* prefix;
    const char* exact;
    lats_time_unit unit;
  };
  static const unit_word words[] = {
      {"sec", "s", LATS_UNIT_SECONDS},        {"min", "mn", LATS_UNIT_MINUTES},
      {"hour", "hr", LATS_UNIT_HOURS},        {"day", "dy", LATS_UNIT_DAYS},
      {"week", "wk", LATS_UNIT_WEEKS},        {"month", "mo", LATS_UNIT_MONTHS},
      {"season", nullptr, LATS_UNIT_SEASONS}, {"year", "yr", LATS_UNIT_YEARS},
  };
  const unit_word* found = nullptr;
  for (const auto& uw : words) {
    if (starts_with(w, uw.prefix) || (uw.exact && std::strcmp(w, uw.exact) == 0)) {
      found = &uw;
      break;
    }
  }
  if (!found) {
    latsError("Error on relative units conversion: invalid units = %s\n", w);
    return 1;
  }
  if (found->unit == LATS_UNIT_YEARS && lats_climatological(calendar)) {
    latsError("Error on relative units conversion: climatological units cannot be 'years'.\n");
    return 1;
  }
  char basetext[160];
  if (n < 2) {
    std::snprintf(basetext, sizeof basetext, "%s", (calendar & CAL_YEARS) ? "1979" : "1");
  } else if (n == 2) {
    std::snprintf(basetext, sizeof basetext, "%s", date);
  } else {
    std::snprintf(basetext, sizeof basetext, "%s %s", date, clock);
  }
  if (!latsChar2Comp(calendar, basetext, base)) return 1;
  *unit = found->unit;
  return 0;
}

int latsComp2Rel(int calendar, long year, int month, int day, double hour, const char* units,
                 double* value) {
  lats_time_unit unit;
  latsCompTime base;
  if (latsParseRelunits(calendar, units, &unit, &base)) return 0;
  int cal = calendar == 0 ? CAL_REAL_MONTHS : calendar;
  bool clim = lats_climatological(calendar);
  switch (unit) {
    case LATS_UNIT_MONTHS:
    case LATS_UNIT_SEASONS:
    case LATS_UNIT_YEARS: {
      long months;
      if (clim) {
        months = month - base.month;
        if (months < 0) months += 12;
      } else {
        months = 12 * (year - base.year) + (month - base.month);
      }
      long div = unit == LATS_UNIT_MONTHS ? 1 : unit == LATS_UNIT_SEASONS ? 3 : 12;
      *value = static_cast<double>(months / div);
      return 1;
    }
    default: break;
  }
  latsHumanTime b{base.year, base.month, base.day, base.hour, 1970, cal};
  latsHumanTime t{year, static_cast<short>(month), static_cast<short>(day), hour, 1970, cal};
  double hb, ht;
  latsh2e(&b, &hb);
  latsh2e(&t, &ht);
  double d = ht - hb;
  if (clim) {
    double len = (cal & CAL_REAL_MONTHS) ? 8760.0 : 8640.0;
    if (d < 0.0 || d >= len) d -= len * std::floor(d / len);
  }
  switch (unit) {
    case LATS_UNIT_MINUTES: *value = d * 60.0; break;
    case LATS_UNIT_HOURS: *value = d; break;
    case LATS_UNIT_DAYS: *value = d / 24.0; break;
    case LATS_UNIT_WEEKS: *value = d / 168.0; break;
    case LATS_UNIT_SECONDS: *value = d * 3600.0; break;
    default: break;
  }
  return 1;
}
