#include "base/timecal.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/message.h"
#include "base/mfcmn.h"
#include "base/words.h"

namespace {

const int days_per_month[13] = {0, 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
const char* const month_parse[12] = {"jan", "feb", "mar", "apr", "may", "jun",
                                     "jul", "aug", "sep", "oct", "nov", "dec"};
const char* const month_upper[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

using i64 = std::int64_t;

i64 floor_div(i64 a, i64 b) {
  i64 q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

int clamp_int(i64 v) {
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

bool calendar_365() { return mfcmn.calendar_365 == 1; }

bool is_leap(i64 year) {
  if (calendar_365()) return false;
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int month_days(i64 year, int month) {
  if (month == 2 && is_leap(year)) return 29;
  return days_per_month[month];
}

// Days from the start of year 0 to the start of the year.
i64 days_before_year(i64 year) {
  if (calendar_365()) return 365 * year;
  i64 y = year - 1;
  i64 leaps = floor_div(y, 4) - floor_div(y, 100) + floor_div(y, 400) + 1;  // year 0 is leap
  return 365 * year + leaps;
}

// Days from the start of the year to the start of the month (1..12).
i64 days_before_month(i64 year, int month) {
  static const int common[13] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return common[month] + (month > 2 && is_leap(year) ? 1 : 0);
}

// Days from (year, month, 1) to (year + 1, month, 1): the February crossed is
// this year's when the month is January or February, else next year's.
i64 year_span(i64 year, int month) { return 365 + (is_leap(month <= 2 ? year : year + 1) ? 1 : 0); }

i64 cycle_days() { return calendar_365() ? 146000 : 146097; }

// Brings a month count into 1..12, carrying whole years.
void fold_month(i64& year, i64& month) {
  i64 k = floor_div(month - 1, 12);
  month -= 12 * k;
  year += k;
}

// Carries days beyond the month's length into later months.
void fold_days_forward(i64& year, i64& month, i64& day) {
  if (day > cycle_days()) {
    i64 k = (day - 1) / cycle_days();
    day -= k * cycle_days();
    year += 400 * k;
  }
  while (day > 366) {
    day -= year_span(year, static_cast<int>(month));
    year += 1;
  }
  while (day > month_days(year, static_cast<int>(month))) {
    day -= month_days(year, static_cast<int>(month));
    month += 1;
    if (month > 12) {
      month = 1;
      year += 1;
    }
  }
}

// Borrows from earlier months while the day is below 1.
void fold_days_backward(i64& year, i64& month, i64& day) {
  if (day <= -cycle_days()) {
    i64 k = (-day) / cycle_days();
    day += k * cycle_days();
    year -= 400 * k;
  }
  while (day <= -366) {
    day += year_span(year - 1, static_cast<int>(month));
    year -= 1;
  }
  while (day < 1) {
    month -= 1;
    if (month < 1) {
      month = 12;
      year -= 1;
    }
    day += month_days(year, static_cast<int>(month));
  }
}

void store(date_time* t, i64 year, i64 month, i64 day, i64 hour, i64 minute) {
  t->year = clamp_int(year);
  t->month = clamp_int(month);
  t->day = clamp_int(day);
  t->hour = clamp_int(hour);
  t->minute = clamp_int(minute);
}

// Minutes from the start of year 0; months outside 1..12 carry into years.
i64 absolute_minutes(const date_time* t) {
  i64 year = t->year, month = t->month;
  fold_month(year, month);
  i64 days = days_before_year(year) + days_before_month(year, static_cast<int>(month)) + t->day;
  return days * 1440 + static_cast<i64>(t->hour) * 60 + t->minute;
}

// Length in minutes of the month of a time.
double month_minutes(const date_time* t) {
  i64 year = t->year, month = t->month;
  fold_month(year, month);
  return 1440.0 * month_days(year, static_cast<int>(month));
}

// The day of a month axis's step in (year, month): the start's day, held at
// the month's last day where the month is shorter, so that every step lies in
// its own month (31 March, 30 April, 31 May). A start day its own month lacks
// is no real date and keeps folding as before.
int step_day(const date_time& start, i64 year, int month) {
  const int last = month_days(year, month);
  if (start.day > last && start.day <= days_in_month(start.year, start.month)) return last;
  return start.day;
}

// Whole minutes as a day/hour/minute offset.
date_time minutes_offset(i64 n) {
  date_time d{};
  d.day = clamp_int(n / 1440);
  d.hour = static_cast<int>((n % 1440) / 60);
  d.minute = static_cast<int>(n % 60);
  return d;
}

// Far-away coordinates are held here so every field stays in range.
constexpr double max_offset_minutes = 1.0e6 * 527040.0;
constexpr double max_offset_months = 1.0e6 * 12.0;

}  // namespace

date_time time_scaling_start(const time_scaling* s) {
  // A float start field may lie beyond the int range (a year near the int
  // limit rounds up as a float), where a plain conversion is undefined.
  auto field = [](float f) {
    float v = f + 0.1f;
    if (std::isnan(v)) return 0;
    if (v >= 2147483648.0f) return INT_MAX;
    if (v <= -2147483648.0f) return INT_MIN;
    return static_cast<int>(v);
  };
  date_time d;
  d.year = field(s->start_year);
  d.month = field(s->start_month);
  d.day = field(s->start_day);
  d.hour = field(s->start_hour);
  d.minute = field(s->start_minute);
  return d;
}

time_scaling time_scaling_from(const float* eight) {
  time_scaling s;
  std::memcpy(&s, eight, sizeof s);
  return s;
}

int qleap(int year) { return is_leap(year) ? 1 : 0; }

int days_in_month(int year, int month) {
  i64 y = year, m = month;
  fold_month(y, m);
  return month_days(y, static_cast<int>(m));
}

void timadd(const date_time* inc, date_time* t) {
  i64 year = static_cast<i64>(t->year) + inc->year;
  i64 month = static_cast<i64>(t->month) + inc->month;
  if (month < 1 || month > 12) fold_month(year, month);
  i64 minute = static_cast<i64>(t->minute) + inc->minute;
  i64 hour = static_cast<i64>(t->hour) + inc->hour;
  i64 day = static_cast<i64>(t->day) + inc->day;
  // Negative fields (an increment that should have gone through timsub)
  // borrow instead of leaving an impossible time.
  if (minute > 59 || minute < 0) {
    i64 k = floor_div(minute, 60);
    hour += k;
    minute -= 60 * k;
  }
  if (hour > 23 || hour < 0) {
    i64 k = floor_div(hour, 24);
    day += k;
    hour -= 24 * k;
  }
  if (day < 1)
    fold_days_backward(year, month, day);
  else
    fold_days_forward(year, month, day);
  store(t, year, month, day, hour, minute);
}

void timsub(const date_time* base, date_time* off) {
  i64 minute = static_cast<i64>(base->minute) - off->minute;
  i64 hour = static_cast<i64>(base->hour) - off->hour;
  i64 day = static_cast<i64>(base->day) - off->day;
  i64 kept_month = off->month, kept_year = off->year;
  i64 month = base->month, year = base->year;
  if (minute < 0) {
    i64 k = floor_div(minute, 60);
    minute -= 60 * k;
    hour += k;
  }
  if (hour < 0) {
    i64 k = floor_div(hour, 24);
    hour -= 24 * k;
    day += k;
  }
  if (month < 1 || month > 12) fold_month(year, month);
  fold_days_backward(year, month, day);
  month -= kept_month;
  year -= kept_year;
  if (month < 1 || month > 12) fold_month(year, month);
  // A day the month no longer has (29 February of a common year, or 31 March
  // less a month) runs on into the next month.
  if (day > month_days(year, static_cast<int>(month))) fold_days_forward(year, month, day);
  store(off, year, month, day, hour, minute);
}

long long timdif(const date_time* from, const date_time* to) {
  return absolute_minutes(to) - absolute_minutes(from);
}

void month_step(const date_time* start, long long months, date_time* out) {
  i64 year = start->year, month = static_cast<i64>(start->month) + months;
  fold_month(year, month);
  const int day = step_day(*start, year, static_cast<int>(month));
  if (day != start->day) {
    store(out, year, month, day, start->hour, start->minute);
    const date_time none{0, 0, 0, 0, 0};
    timadd(&none, out);  // carries an hour or minute out of range
    return;
  }
  // Months outside the int range cannot be an increment: hold them there.
  const int k = clamp_int(months < 0 ? -static_cast<i64>(months) : months);
  if (months >= 0) {
    *out = *start;
    date_time inc{0, k, 0, 0, 0};
    timadd(&inc, out);
  } else {
    date_time off{0, k, 0, 0, 0};
    timsub(start, &off);
    *out = off;
  }
}

void timadd_months(const date_time* inc, date_time* t) {
  // Months first, then days, hours and minutes, in timadd's order.
  date_time moved;
  month_step(t, static_cast<long long>(inc->year) * 12 + inc->month, &moved);
  date_time rest{0, 0, inc->day, inc->hour, inc->minute};
  timadd(&rest, &moved);
  *t = moved;
}

void timsub_months(const date_time* base, date_time* off) {
  // Days, hours and minutes first, then months, in timsub's order.
  const long long months = static_cast<long long>(off->year) * 12 + off->month;
  date_time rest{0, 0, off->day, off->hour, off->minute};
  timsub(base, &rest);
  month_step(&rest, -months, off);
}

double t2gr_exact(const time_scaling* s, const date_time* t) {
  date_time start = time_scaling_start(s);
  double g;
  if (s->increment_minutes > 0.1f) {
    g = static_cast<double>(timdif(&start, t)) / s->increment_minutes;
  } else {
    double months = (static_cast<double>(t->year) - start.year) * 12.0 + t->month - start.month;
    // P is the axis's step in the time's month.
    date_time p = start;
    p.year = t->year;
    p.month = t->month;
    i64 py = t->year, pm = t->month;
    fold_month(py, pm);
    p.day = step_day(start, py, static_cast<int>(pm));
    i64 m = timdif(&p, t);
    // A time earlier in its month than the start's day and hour adds nothing.
    if (m > 0) months += static_cast<double>(m) / month_minutes(t);
    // A zero step counts its months one by one rather than dividing by 0.
    double step = s->increment_months != 0.0f ? s->increment_months : 1.0;
    g = months / step;
  }
  return g + 1.0;
}

double t2gr_exact(const float* scaling, const date_time* t) {
  time_scaling s = time_scaling_from(scaling);
  return t2gr_exact(&s, t);
}

float t2gr(const time_scaling* s, const date_time* t) {
  return static_cast<float>(t2gr_exact(s, t));
}

float t2gr(const float* scaling, const date_time* t) {
  return static_cast<float>(t2gr_exact(scaling, t));
}

void gr2t(const time_scaling* s, double g, date_time* out) {
  date_time start = time_scaling_start(s);
  *out = start;
  if (s->increment_minutes > 0.1f) {
    double v = static_cast<double>(s->increment_minutes) * (g - 1.0);
    if (std::isnan(v)) v = 0.0;
    if (v > max_offset_minutes) v = max_offset_minutes;
    if (v < -max_offset_minutes) v = -max_offset_minutes;
    auto n = static_cast<i64>(std::round(v));  // half away from zero
    if (n >= 0) {
      date_time inc = minutes_offset(n);
      timadd(&inc, out);
    } else {
      date_time off = minutes_offset(-n);
      timsub(&start, &off);
      *out = off;
    }
    return;
  }
  double v = static_cast<double>(s->increment_months) * (g - 1.0);
  if (std::isnan(v)) v = 0.0;
  if (v > max_offset_months) v = max_offset_months;
  if (v < -max_offset_months) v = -max_offset_months;
  auto k = static_cast<i64>(v < 0 ? v - 0.9999 : v + 0.0001);
  double f = v - static_cast<double>(k);
  month_step(&start, k, out);
  if (f >= 0.0001) {
    auto n = static_cast<i64>(f * month_minutes(out) + 0.5);
    date_time inc = minutes_offset(n);
    timadd(&inc, out);
  }
}

void gr2t(const float* scaling, double g, date_time* out) {
  time_scaling s = time_scaling_from(scaling);
  gr2t(&s, g, out);
}

// ---------------------------------------------------------------------------
// Time grammars

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

const char* date_error(const char* detail) {
  kaprnt(msg_level::error, "Syntax Error:  Invalid Date/Time value.\n");
  if (detail) kaprnt(msg_level::error, detail);
  return nullptr;
}

// Reads the digits at p (p stands on a digit); null when they overflow.
const char* read_number(const char* p, int* val, int* digits) {
  const char* q = intprs(p, val);
  if (q && digits) *digits = static_cast<int>(q - p);
  return q;
}

}  // namespace

const char* adtprs(const char* text, const date_time* def, date_time* out) {
  const char* p = text;
  out->minute = 0;
  out->hour = 0;
  out->day = 1;
  bool started_digit = false, after_hour = false;
  if (is_digit(*p)) {
    started_digit = true;
    int val = 0;
    p = read_number(p, &val, nullptr);
    if (!p) return date_error("  Number out of range\n");
    if (*p == ':' || *p == 'z') {
      if (val > 23) {
        kaprnt(msg_level::error, "Syntax Error:  Invalid Date/Time value.\n");
        kaprntf(msg_level::error, "  Hour = %i -- greater than 23\n", val);
        return nullptr;
      }
      out->hour = val;
      if (*p == ':') {
        ++p;
        if (!is_digit(*p)) return date_error("  Missing minute value \n");
        int mn = 0;
        p = read_number(p, &mn, nullptr);
        if (!p) return date_error("  Number out of range\n");
        if (mn > 59) {
          kaprnt(msg_level::error, "Syntax Error:  Invalid Date/Time value.\n");
          kaprntf(msg_level::error, "  Minute = %i -- greater than 59\n", mn);
          return nullptr;
        }
        out->minute = mn;
        if (*p != 'z') return date_error("  'z' delimiter is missing \n");
      }
      ++p;  // past the "z"
      after_hour = true;
      if (is_digit(*p)) {
        p = read_number(p, &val, nullptr);
        if (!p) return date_error("  Number out of range\n");
        out->day = val;
      } else {
        out->day = def->day;
      }
    } else {
      out->day = val;
    }
  }

  int month = 0;
  if (p[0] && p[1] && p[2]) {
    for (int m = 0; m < 12; ++m) {
      if (std::strncmp(p, month_parse[m], 3) == 0) {
        month = m + 1;
        break;
      }
    }
  }
  if (month == 0) {
    if (!started_digit) return date_error("  Expected month abbreviation, none found\n");
    if (!after_hour) return date_error("  Missing month abbreviation or 'z' delimiter\n");
    out->month = def->month;
    out->year = def->year;
  } else {
    out->month = month;
    p += 3;
    if (is_digit(*p)) {
      int year = 0, digits = 0;
      p = read_number(p, &year, &digits);
      if (!p) return date_error("  Number out of range\n");
      // Only a year written with two digits here is widened; a year taken
      // from the default never is, whatever an earlier parse read.
      mfcmn.year_digits = digits >= 3 ? 1 : 0;
      if (digits < 3) {
        if (year < 50)
          year += 2000;
        else if (year < 100)
          year += 1900;
      }
      out->year = year;
    } else {
      out->year = def->year;
    }
  }

  int limit = days_in_month(out->year, out->month);
  if (out->day > limit) {
    kaprnt(msg_level::error, "Syntax Error:  Invalid Date/Time value.\n");
    kaprntf(msg_level::error, "  Day = %i -- greater than %i \n", out->day, limit);
    return nullptr;
  }
  return p;
}

char* adtprs(char* text, const date_time* def, date_time* out) {
  return const_cast<char*>(adtprs(static_cast<const char*>(text), def, out));
}

const char* rdtprs(const char* text, date_time* out) {
  *out = date_time{0, 0, 0, 0, 0};
  const char* p = text;
  bool any = false;
  while (is_digit(*p)) {
    int val = 0;
    const char* q = intprs(p, &val);
    if (!q) {
      kaprnt(msg_level::error, "Syntax Error:  Invalid Date/Time offset.\n");
      kaprnt(msg_level::error, "  Number out of range\n");
      return nullptr;
    }
    p = q;
    char code[3] = {0, 0, 0};
    code[0] = p[0];
    if (p[0]) code[1] = p[1];
    if (std::strcmp(code, "yr") == 0)
      out->year = val;
    else if (std::strcmp(code, "mo") == 0)
      out->month = val;
    else if (std::strcmp(code, "dy") == 0)
      out->day = val;
    else if (std::strcmp(code, "hr") == 0)
      out->hour = val;
    else if (std::strcmp(code, "mn") == 0)
      out->minute = val;
    else {
      kaprnt(msg_level::error, "Syntax Error:  Invalid Date/Time offset.\n");
      kaprntf(msg_level::error, "  Expecting yr/mo/dy/hr/mn, found %s\n", code);
      return nullptr;
    }
    p += 2;
    any = true;
  }
  if (!any) {
    kaprnt(msg_level::error, "Syntax Error:  Invalid Date/Time offset.\n");
    kaprnt(msg_level::error, "  No offset value given\n");
    return nullptr;
  }
  return p;
}

char* rdtprs(char* text, date_time* out) {
  return const_cast<char*>(rdtprs(static_cast<const char*>(text), out));
}

int kat2ch(const date_time* t, int level, char* out) {
  const char* mon = (t->month >= 1 && t->month <= 12) ? month_upper[t->month - 1] : "???";
  int n;
  switch (level) {
    case 1: n = std::snprintf(out, kat2ch_size, "%i", t->year); break;
    case 2:
      if (t->year == 9999)
        n = std::snprintf(out, kat2ch_size, "%s", mon);
      else
        n = std::snprintf(out, kat2ch_size, "%s%i", mon, t->year);
      break;
    case 3:
      n = std::snprintf(out, kat2ch_size, "%i%i%s%i", t->day / 10, t->day % 10, mon, t->year);
      break;
    case 4:
      n = std::snprintf(out, kat2ch_size, "%i%iZ%i%i%s%i", t->hour / 10, t->hour % 10, t->day / 10,
                        t->day % 10, mon, t->year);
      break;
    case 5:
      n = std::snprintf(out, kat2ch_size, "%i%i:%i%iZ%i%i%s%i", t->hour / 10, t->hour % 10,
                        t->minute / 10, t->minute % 10, t->day / 10, t->day % 10, mon, t->year);
      break;
    default: n = std::snprintf(out, kat2ch_size, "???"); break;
  }
  if (n < 0) n = 0;
  if (n >= kat2ch_size) n = kat2ch_size - 1;
  return n;
}

std::string kat2ch(const date_time& t, int level) {
  char buf[kat2ch_size];
  int n = kat2ch(&t, level, buf);
  return std::string(buf, static_cast<std::size_t>(n));
}

int dayweek(const date_time* t) {
  const date_time epoch{1950, 1, 1, 0, 0};  // a Sunday
  i64 days = floor_div(timdif(&epoch, t), 1440);
  return static_cast<int>(((days % 7) + 7) % 7);
}
