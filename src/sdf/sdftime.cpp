// The time axis of a data set from its netCDF time coordinate: the start and
// step from the first two times in any of the three encodings (YYMMDDHH,
// yyyymmddhhmmss with delta_t, units of the units library), the 365-day
// calendars, and the check that later times keep to the step.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <tuple>

#include "base/alloc.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/scaling.h"
#include "base/session.h"
#include "base/timecal.h"
#include "data/filerec.h"
#include "sdf/sdfint.h"
#include "sdf/units.h"

namespace {

bool starts(const char* s, const char* prefix) { return std::string_view(s).starts_with(prefix); }

constexpr const char* kMsgA =
    "Time unit in SDF file has too small an increment for use with Vemra (min. 1 minute).\n";
constexpr const char* kMsgB =
    "SDF:  Time unit has too small an increment for use with Vemra (min. 1 minute).\n";
constexpr const char* kMsgDecreasing =
    "SDF:  Time values decrease (the second is before the first); a time axis must increase.\n";
constexpr const char* kMsgTooLarge = "SDF:  Time step in SDF file is too large to represent.\n";

int compare_units(const char* a, const char* b) {
  ud_unit ua, ub;
  if (ua.scan(a) != 0 || ub.scan(b) != 0) return 0;
  double slope = 0, icept = 0;
  if (!ud_convert(ub, ua, &slope, &icept)) return 0;
  return dequal(slope, 1.0, 1e-6) && dequal(icept, 0.0, 1e-6);
}

float* new_time_scaling(file_descriptor* pfi) {
  auto* ts = static_cast<float*>(kacalloc(8, sizeof(float)));
  ts[7] = scaling_end_mark;
  kafree(pfi->grid_to_world_scaling[3]);
  pfi->grid_to_world_scaling[3] = ts;
  pfi->world_to_grid_scaling[3] = ts;
  pfi->linear_flags[3] = 1;
  return ts;
}

void set_start(float* ts, const date_time& d) {
  ts[0] = float(d.year);
  ts[1] = float(d.month);
  ts[2] = float(d.day);
  ts[3] = float(d.hour);
  ts[4] = float(d.minute);
}

// Years of the base unit: the units library's year, or the 365-day year of
// a 365-day calendar (the library's year is a tropical one).
bool year_units(const char* base) {
  return std::strcmp(base, "common_year") == 0 || std::strcmp(base, "common_years") == 0 ||
         compare_units(base, "year");
}

bool month_units(const char* units) {
  return starts(units, "month") || starts(units, "common_year/12") ||
         starts(units, "common_years/12");
}

// The calendars of a time coordinate's "calendar" attribute. The time model
// holds the standard and the 365-day calendar; dates of any other are shown
// on the standard one.
enum class sdf_calendar { standard, days_365, not_held };

// How the dates of a file's times are counted: by the units library (whose
// calendar is the standard one, Julian before 15 October 1582), on the
// session's 365-day calendar, or here on the file's own calendar.
enum class file_days { library, proleptic_gregorian, julian, days_360, days_366 };

struct calendar_name {
  const char* name;
  sdf_calendar calendar;
  file_days days;
};
constexpr calendar_name kCalendars[] = {
    {"standard", sdf_calendar::standard, file_days::library},
    {"gregorian", sdf_calendar::standard, file_days::library},
    {"proleptic_gregorian", sdf_calendar::standard, file_days::proleptic_gregorian},
    {"365_day", sdf_calendar::days_365, file_days::library},
    {"noleap", sdf_calendar::days_365, file_days::library},
    {"365_day_year", sdf_calendar::days_365, file_days::library},
    {"julian", sdf_calendar::not_held, file_days::julian},
    {"360_day", sdf_calendar::not_held, file_days::days_360},
    {"366_day", sdf_calendar::not_held, file_days::days_366},
    {"all_leap", sdf_calendar::not_held, file_days::days_366},
};

// The entry of the time coordinate tv's calendar (standard without the
// attribute; null for a name not known) and its name.
const calendar_name* calendar_entry(const var_info& tv, const char** name = nullptr) {
  const netcdf_att* c = find_att(tv.atts, "calendar");
  if (!c || c->type != NC_CHAR) return &kCalendars[0];
  if (name) *name = c->text();
  for (const calendar_name& k : kCalendars)
    if (sdf_equal_nocase(c->text(), k.name)) return &k;
  return nullptr;
}

sdf_calendar calendar_of(const var_info& tv, const char** name = nullptr) {
  const calendar_name* k = calendar_entry(tv, name);
  return k ? k->calendar : sdf_calendar::not_held;
}

file_days days_of(const var_info& tv) {
  const calendar_name* k = calendar_entry(tv);
  return k ? k->days : file_days::library;
}

long long floor_div(long long a, long long b) { return a / b - (a % b != 0 && (a < 0) != (b < 0)); }

// Day numbers of dates on the calendars counted here (day 0 is 1 January
// of year 0), and the dates of day numbers.
class file_calendar {
 public:
  explicit file_calendar(file_days days) : days_(days) {}

  long long day_number(const date_time& d) const {
    long long n = year_start(d.year);
    for (int m = 1; m < d.month && m <= 12; m++) n += month_days(d.year, m);
    return n + d.day - 1;
  }

  // False for a year past what a date holds.
  bool date_of(long long n, date_time* out) const {
    static constexpr double kMeanYear[] = {365.2425, 365.2425, 365.25, 360, 366};
    long long y = static_cast<long long>(std::floor(double(n) / kMeanYear[int(days_)]));
    while (year_start(y) > n) y--;
    while (year_start(y + 1) <= n) y++;
    if (y < -kMaxYear || y > kMaxYear) return false;
    long long left = n - year_start(y);
    int m = 1;
    while (m < 12 && left >= month_days(y, m)) left -= month_days(y, m++);
    *out = date_time{int(y), m, int(left) + 1, 0, 0};
    return true;
  }

 private:
  static constexpr long long kMaxYear = 100000000;

  bool leap(long long y) const {
    switch (days_) {
      case file_days::proleptic_gregorian: return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0);
      case file_days::julian: return y % 4 == 0;
      case file_days::days_366: return true;
      default: return false;
    }
  }
  int month_days(long long y, int m) const {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (days_ == file_days::days_360) return 30;
    return kDays[m - 1] + (m == 2 && leap(y) ? 1 : 0);
  }
  // Days from 1 January of year 0 to 1 January of year y.
  long long year_start(long long y) const {
    switch (days_) {
      case file_days::proleptic_gregorian:
        return 365 * y + floor_div(y + 3, 4) - floor_div(y + 99, 100) + floor_div(y + 399, 400);
      case file_days::julian: return 365 * y + floor_div(y + 3, 4);
      case file_days::days_360: return 360 * y;
      default: return 366 * y;
    }
  }

  file_days days_;
};

// Dates of time values in units of the units library. Whole months and
// years are counted on the calendar, and on a 365-day calendar every step is
// counted on it too, because the units library knows only the standard one;
// so are the steps on the other calendars of the file's own (days holds
// which). What depends only on the units is worked out once, as a file may
// hold many times.
class ud_dates {
 public:
  ud_dates(const ud_unit& unit, const char* units, const char* base, bool cal365, file_days days)
      : unit_(unit), months_(month_units(units)), years_(year_units(base)), days_(days) {
    int y, mo, d, h, mi;
    float sec;
    origin_ok_ = utCalendar(0.0, unit.get(), &y, &mo, &d, &h, &mi, &sec) == 0;
    origin_ = date_time{y, mo < 1 ? 1 : mo, d < 1 ? 1 : d, h, mi};
    origin_second_ = sec;
    // The units library counts the days before 15 October 1582 as Julian
    // ones, and the Gregorian ones after it.
    gregorian_origin_ = std::make_tuple(y, mo, d) >= std::make_tuple(1582, 10, 15);
    // The step of the origin's own unit, in minutes.
    ud_unit plain;
    double slope = 0;
    if (plain.scan(base) == 0 && ud_converts(plain, "minute", &slope) && slope > 0) {
      (cal365 ? minutes_per_unit_ : unit_minutes_) = slope;
      own_minutes_ = slope;
    }
  }

  bool date(double value, date_time* out) {
    if (!origin_ok_) return false;
    date_time origin = origin_;
    double months = -1;
    if (months_ && value == std::floor(value)) months = value;
    if (years_ && value * 12 == std::floor(value * 12)) months = value * 12;
    if (months >= 0 && months < 1e8) {
      date_time inc{0, int(months), 0, 0, 0};
      timadd(&inc, &origin);
      *out = origin;
      return true;
    }
    if (counted_here(value)) return own_date(value, out);
    if (minutes_per_unit_ > 0) {
      double minutes = std::floor(value * minutes_per_unit_ + 0.5);
      if (std::fabs(minutes) < 2e9) {
        date_time inc{0, 0, 0, 0, int(minutes)};
        // Dates of a file's times one after the other: each is the one
        // before moved on by the few minutes between them, as carrying
        // every time from the origin through the years one by one is slow.
        // Both ways give the one date of that minute.
        if (minutes >= 0 && last_minutes_ >= 0 && minutes >= last_minutes_) {
          origin = last_;
          inc.minute = int(minutes - last_minutes_);
        }
        if (minutes >= 0) {
          timadd(&inc, &origin);
          last_ = origin;
          last_minutes_ = minutes;
        } else {
          inc.minute = -inc.minute;
          timsub(&origin, &inc);
          origin = inc;
        }
        *out = origin;
        return true;
      }
    }
    if (near_anchor(value, out)) return true;
    int y, mo, d, h, mi;
    float sec;
    if (utCalendar(value, unit_.get(), &y, &mo, &d, &h, &mi, &sec) != 0) return false;
    date_time r{y, mo < 1 ? 1 : mo, d < 1 ? 1 : d, h, mi};
    if (unit_minutes_ > 0 && y >= 1583 && mo >= 1 && d >= 1) {
      anchored_ = true;
      anchor_value_ = value;
      anchor_ = moved_ = r;
      anchor_second_ = sec;
      moved_minutes_ = 0;
    }
    // A value a hair below a whole minute is that minute.
    if (sec >= 30.0f) {
      date_time one{0, 0, 0, 0, 1};
      timadd(&one, &r);
    }
    *out = r;
    return true;
  }

 private:
  // Minutes from the anchor within which a date is worked out from it.
  static constexpr double kReach = 1e8;
  // How near half a minute a time may lie for its rounding to be sure: the
  // library's own time is good to far less.
  static constexpr double kDoubt = 1e-3;

  // The date of a value a little after the last one the units library
  // dated (the anchor), worked out from it, as the library takes long over
  // each value. On the standard calendar from 1583 on, where the library's
  // calendar and ours agree, its time of the value is the anchor's moved on
  // by the minutes between the values. False when the value is not such a
  // one, or its time lies too near half a minute for the rounding.
  bool near_anchor(double value, date_time* out) {
    if (!anchored_ || !(value >= anchor_value_)) return false;
    const double x = double(anchor_second_) / 60 + (value - anchor_value_) * unit_minutes_;
    if (!(x < kReach) || std::fabs(x - std::floor(x) - 0.5) < kDoubt) return false;
    const auto m = static_cast<long long>(std::floor(x + 0.5));
    if (m < moved_minutes_) {
      moved_ = anchor_;
      moved_minutes_ = 0;
    }
    date_time inc{0, 0, 0, 0, int(m - moved_minutes_)};
    timadd(&inc, &moved_);
    moved_minutes_ = m;
    *out = moved_;
    return true;
  }

  // Dates the units library would put on another calendar than the
  // file's: all on a calendar it lacks, and on the proleptic Gregorian one
  // those it counts from or back to its Julian days.
  bool counted_here(double value) const {
    if (days_ == file_days::library || own_minutes_ <= 0) return false;
    return days_ != file_days::proleptic_gregorian || !gregorian_origin_ || value < 0;
  }

  // The date of a value on the file's own calendar: the origin moved on by
  // the value's minutes, rounded to the minute. A day the session's
  // calendar lacks (30 February) is the first of the next month.
  bool own_date(double value, date_time* out) const {
    const double x = value * own_minutes_ + double(origin_second_) / 60;
    if (!(std::fabs(x) < 1e15)) return false;
    const long long m =
        static_cast<long long>(std::floor(x + 0.5)) + origin_.hour * 60LL + origin_.minute;
    const long long days = floor_div(m, 1440), in_day = m - days * 1440;
    const file_calendar calendar(days_);
    date_time d;
    if (!calendar.date_of(calendar.day_number(origin_) + days, &d)) return false;
    d.hour = int(in_day / 60);
    d.minute = int(in_day % 60);
    if (d.day > days_in_month(d.year, d.month)) {
      d.day = 1;
      if (++d.month > 12) {
        d.month = 1;
        d.year++;
      }
    }
    *out = d;
    return true;
  }

  const ud_unit& unit_;
  bool months_, years_;
  file_days days_;
  bool origin_ok_ = false;
  date_time origin_{};
  float origin_second_ = 0;
  bool gregorian_origin_ = true;
  // Minutes of the base unit, for the dates counted here.
  double own_minutes_ = 0;
  // On a 365-day calendar: minutes of the base unit, which count each date
  // on our calendar.
  double minutes_per_unit_ = 0;
  date_time last_{};          // the last date worked out from minutes
  double last_minutes_ = -1;  // its minutes from the origin (-1: none yet)
  // On the standard calendar: minutes of the base unit, and the anchor.
  double unit_minutes_ = 0;
  bool anchored_ = false;
  double anchor_value_ = 0;
  date_time anchor_{};  // its date to the minute below
  float anchor_second_ = 0;
  date_time moved_{};  // the last date worked out from the anchor
  long long moved_minutes_ = 0;
};

int rnd(double x) { return int(x + 0.5); }

// Steps of a time axis in units of the units library; false after the
// message.
bool ud_step(const char* units, const std::string& base, double d, float* ts) {
  float& months = ts[5];
  float& minutes = ts[6];
  months = minutes = 0;
  if (d < 0) {
    kaprnt(msg_level::error, kMsgDecreasing);
    return false;
  }
  if (!std::isfinite(d) || d > 1e9) {
    kaprnt(msg_level::error, kMsgTooLarge);
    return false;
  }
  const char* b = base.c_str();
  if (year_units(b)) {
    months = float(d * 12);
    if (months < 1) {
      kaprnt(msg_level::error, kMsgA);
      return false;
    }
    // Beyond a million years the calendar arithmetic can't follow.
    if (months > 12e6f) {
      kaprnt(msg_level::error, kMsgTooLarge);
      return false;
    }
    return true;
  }
  if (month_units(units)) {
    months = float(d);
    if (months < 1) {
      kaprnt(msg_level::error,
             "SDF:  Fractional months are ill-defined and not supported by Vemra\n");
      return false;
    }
    if (months > 12e6f) {
      kaprnt(msg_level::error, kMsgTooLarge);
      return false;
    }
    return true;
  }
  auto too_small = [&](float v) {
    if (v < 1) {
      kaprnt(msg_level::error, kMsgB);
      return true;
    }
    return false;
  };
  if (compare_units(b, "day")) {
    if (d < 28) {
      minutes = float(d * 24 * 60);
      return !too_small(minutes);
    }
    months = d < 360 ? float(rnd(d) / 28) : float(12 * (rnd(d) / 360));
    return true;
  }
  if (compare_units(b, "hour")) {
    if (d < 672) {
      minutes = float(d * 60);
      return !too_small(minutes);
    }
    if (d < 8640) {
      months = float(rnd(d) / 672);
      return !too_small(months);
    }
    months = float(12 * std::trunc(double(rnd(d)) / 8640));
    return true;
  }
  if (compare_units(b, "minute")) {
    if (d < 40320) {
      minutes = float(d);
      return !too_small(minutes);
    }
    if (d < 518400) {
      months = float(rnd(d / 1440) / 28);
      return true;
    }
    kaprnt(
        msg_level::error,
        "SDF:  Attempt at >monthly increment with 'minutes since' time units attribute value.\n");
    return false;
  }
  if (compare_units(b, "seconds")) {
    if (d < 60) {
      kaprnt(msg_level::error, kMsgB);
      return false;
    }
    if (d < 2419200) {
      minutes = float(d / 60);
      return true;
    }
    if (d < 31104000) {
      months = float(rnd(d / 86400) / 28);
      return true;
    }
    kaprnt(msg_level::error,
           "SDF:  Attempt at > monthly interval with 'seconds since' time units attribute.\n");
    return false;
  }
  kaprnt(msg_level::error, "Error parsing time units in SDF file.\n");
  return false;
}

// Reads digits at p into *out (at most 9 of them); the position after them,
// or null when there are none.
const char* digits(const char* p, int* out) {
  int n = 0, v = 0;
  while (std::isdigit(static_cast<unsigned char>(*p)) && n < 9) {
    v = v * 10 + (*p++ - '0');
    n++;
  }
  *out = v;
  return n ? p : nullptr;
}

// The base date of time units (the text after " since "), when written as
// year-month-day[ hh:mm[:ss]], names a date of the calendar. Other forms
// are left to the units library.
bool origin_exists(const char* p, bool cal365) {
  while (*p == ' ') p++;
  if (*p == '-' || *p == '+') p++;
  int y, mo, d;
  p = digits(p, &y);
  if (!p || *p != '-') return true;
  p = digits(p + 1, &mo);
  if (!p || *p != '-') return true;
  p = digits(p + 1, &d);
  if (!p) return true;
  if (mo < 1 || mo > 12) return false;
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  // Leap years of the units library's calendar: Julian before 1583.
  bool leap = !cal365 && y % 4 == 0 && (y < 1583 || y % 100 != 0 || y % 400 == 0);
  if (d < 1 || d > kDays[mo - 1] + (mo == 2 && leap ? 1 : 0)) return false;
  if (*p != ' ' && *p != 'T') return true;
  int h, mi;
  const char* q = digits(p + 1, &h);
  if (!q || *q != ':') return true;
  q = digits(q + 1, &mi);
  if (!q) return true;
  return h <= 23 && mi <= 59;
}

// The axis's times, dated for the step check. gr2t carries a far time
// through the years one by one, so on a minute-stepped axis only the ends of
// each slice are dated by it: a time between lies as many minutes after the
// first as its step count says, which holds when it does at the last (no
// field of the date held at its limit on the way).
class axis_clock {
 public:
  explicit axis_clock(const float* ts) : ts_(ts) {}

  void slice(long first, long last) {
    gr2t(ts_, float(first), &first_);
    first_t_ = first;
    date_time end;
    gr2t(ts_, float(last), &end);
    counted_ = ts_[6] > 0.1f && timdif(&first_, &end) == steps(last) - steps(first);
  }

  // Minutes from time t of the slice to the date d.
  long long to(long t, const date_time& d) const {
    if (counted_) return timdif(&first_, &d) - (steps(t) - steps(first_t_));
    date_time axis;
    gr2t(ts_, float(t), &axis);
    return timdif(&axis, &d);
  }

 private:
  // Minutes of time t from the start, rounded as gr2t rounds them.
  long long steps(long t) const { return std::llround(double(ts_[6]) * (double(float(t)) - 1.0)); }

  const float* ts_;
  date_time first_{};
  long first_t_ = 1;
  bool counted_ = false;
};

// Each time of the file against the axis built from its first two: the
// first that lies half a step or more away gets one warning, since every
// later date is off as well. Times past what a grid coordinate can count
// exactly are not checked. False only when the user stopped the read.
template <class Decode>
bool check_steps(file_descriptor* pfi, io_std* io, var_info* tv, Decode date_of) {
  // The file's own dates on a calendar not held can't be told on the
  // standard one: its months and years differ, so the step would seem to
  // drift. The calendar's warning says how its dates are shown.
  if (calendar_of(*tv) == sdf_calendar::not_held) return true;
  const float* ts = pfi->grid_to_world_scaling[3];
  // A month counted as its mean length, in minutes.
  const double step = ts[6] >= 0.1f ? double(ts[6]) : double(ts[5]) * 43830.0;
  constexpr long kCountable = 16777216;
  const long n = pfi->t_size < kCountable ? pfi->t_size : kCountable;
  long start = 0;  // of the slice in hand
  axis_clock clock(ts);
  const sdf_slices r = sdf_read_slices(io, tv, n, false, [&](long count) {
    clock.slice(start + 1, start + count);
    for (long i = 0; i < count; i++) {
      long t = start + i + 1;
      double v;
      date_time file{};
      bool dated = value_as_double(tv->data.data(), tv->type, i, &v) && std::isfinite(v) &&
                   date_of(v, &file);
      if (dated && double(std::llabs(clock.to(t, file))) * 2 < step) continue;
      date_time axis{};
      gr2t(ts, float(t), &axis);
      std::string in_file = dated ? kat2ch(file, 5) : std::string("not a date");
      kaprntf(msg_level::info,
              "Warning:  The times of SDF file are not evenly stepped: time %ld is %s in the file "
              "but %s by the step of the first two.\n"
              "          Dates from time %ld on do not match the file; xdfopen with a TDEF "
              "record of its own reads it.\n",
              t, in_file.c_str(), kat2ch(axis, 5).c_str(), t);
      return false;
    }
    start += count;
    return true;
  });
  if (r != sdf_slices::interrupted) return true;
  sdf_read_interrupted("time");
  return false;
}

// The start and step of times written as YYMMDDHH numbers.
bool yymmddhh_axis(file_descriptor* pfi, io_std* io, var_info* tv, double v1, double v2) {
  float* ts = pfi->grid_to_world_scaling[3];
  const bool one = pfi->t_size == 1;
  if (std::fabs(v1) > 2e9 || std::fabs(v2) > 2e9) {
    kaprnt(msg_level::error, "Error interpreting initial time value in SDF file.\n");
    return false;
  }
  long a = long(v1), b = long(v2);
  if (b < a) {
    kaprnt(msg_level::error, kMsgDecreasing);
    return false;
  }
  ts[0] = float(a / 1000000);
  ts[1] = float((a / 10000) % 100);
  ts[2] = float((a / 100) % 100);
  ts[3] = float(a % 100);
  ts[4] = 0;
  if (one) {
    ts[5] = 0;
    ts[6] = 1;
    return true;
  }
  long dy = b / 1000000 - a / 1000000, dm = (b / 10000) % 100 - (a / 10000) % 100;
  long dd = (b / 100) % 100 - (a / 100) % 100, dh = b % 100 - a % 100;
  if (dy < 1 && dm < 1) {
    ts[5] = 0;
    ts[6] = float(dd * 1440 + dh * 60);
    if (ts[6] < 1) {
      kaprnt(msg_level::error, kMsgA);
      return false;
    }
  } else {
    ts[5] = float(dy * 12 + dm);
    ts[6] = 0;
  }
  return check_steps(pfi, io, tv, [](double v, date_time* out) {
    if (!(std::fabs(v) <= 2e9)) return false;
    long x = long(v);
    *out =
        date_time{int(x / 1000000), int((x / 10000) % 100), int((x / 100) % 100), int(x % 100), 0};
    return true;
  });
}

// The start of times written as yyyymmddhhmmss numbers, stepped by the
// variable's delta_t.
bool standard_time_axis(file_descriptor* pfi, io_std* io, var_info* tv, double v1) {
  float* ts = pfi->grid_to_world_scaling[3];
  const bool one = pfi->t_size == 1;
  int y, mo, d, h, mi;
  double sec;
  if (!decode_standard_time(v1, &y, &mo, &d, &h, &mi, &sec)) {
    kaprnt(msg_level::error, "Error deciphering initial time value in SDF file.\n");
    return false;
  }
  ts[0] = float(y < 1 ? 1 : y);
  ts[1] = float(mo < 1 ? 1 : mo);
  ts[2] = float(d < 1 ? 1 : d);
  ts[3] = float(h < 0 ? 0 : h);
  ts[4] = float(mi < 0 ? 0 : mi);
  if (one) {
    ts[5] = 0;
    ts[6] = 1;
    return true;
  }
  const netcdf_att* dt = find_att(tv->atts, "delta_t");
  if (!dt || dt->type != NC_CHAR) {
    kaprnt(msg_level::error, "Error in determining time increment in SDF file.\n");
    return false;
  }
  int yy, mm, dd, hh, mn, ss;
  if (!decode_delta_t(dt->text(), &yy, &mm, &dd, &hh, &mn, &ss)) {
    kaprnt(msg_level::error, "Error deciphering time increment in SDF file.\n");
    return false;
  }
  if (yy < 1 && mm < 1) {
    ts[5] = 0;
    ts[6] = float((dd > 0 ? dd : 0) * 1440 + (hh > 0 ? hh : 0) * 60 + (mn > 0 ? mn : 0));
    if (ts[6] < 1) {
      kaprnt(msg_level::error, kMsgA);
      return false;
    }
  } else {
    ts[5] = float((yy > 0 ? yy : 0) * 12 + (mm > 0 ? mm : 0));
    ts[6] = 0;
  }
  return check_steps(pfi, io, tv, [](double v, date_time* out) {
    int fy, fmo, fd, fh, fmi;
    double fsec;
    if (!decode_standard_time(v, &fy, &fmo, &fd, &fh, &fmi, &fsec)) return false;
    *out = date_time{fy < 1 ? 1 : fy, fmo < 1 ? 1 : fmo, fd < 1 ? 1 : fd, fh < 0 ? 0 : fh,
                     fmi < 0 ? 0 : fmi};
    return true;
  });
}

// The start and step of times in units of the units library.
bool ud_time_axis(file_descriptor* pfi, io_std* io, var_info* tv, const char* units, double v1,
                  double v2) {
  float* ts = pfi->grid_to_world_scaling[3];
  const bool one = pfi->t_size == 1;
  std::string full = units;
  size_t since = full.find(" since ");
  std::string base = since == std::string::npos ? full : full.substr(0, since);
  if (since == std::string::npos) full += " since 1-1-1 00:00:0.0";
  if (since != std::string::npos &&
      !origin_exists(full.c_str() + since + 7, pfi->calendar_365 == 1)) {
    kaprntf(msg_level::error, "SDF:  Time units name a base date that does not exist: %s\n", units);
    return false;
  }
  ud_unit unit;
  if (unit.scan(full.c_str()) != 0) {
    kaprnt(msg_level::error, since == std::string::npos
                                 ? "Error parsing time_units for SDF file.\n"
                                 : "Error parsing UDUNITS time units in SDF file.\n");
    return false;
  }
  ud_dates dates(unit, units, base.c_str(), pfi->calendar_365 == 1, days_of(*tv));
  date_time first{};
  if (!dates.date(v1, &first)) {
    kaprnt(msg_level::error, "Error decoding initial udunits time value in SDF file.\n");
    return false;
  }
  set_start(ts, first);
  if (one) {
    ts[5] = 0;
    ts[6] = 1;
    return true;
  }
  if (!ud_step(units, base, v2 - v1, ts)) return false;
  return check_steps(pfi, io, tv, [&](double v, date_time* out) { return dates.date(v, out); });
}

// The time axis from the T coordinate; false after the message.
bool coordinate_time_axis(file_descriptor* pfi, io_std* io, var_info* tv) {
  long n = io->dim_size(tv->dimids[0]);
  pfi->t_size = capped_times(n < 0 ? 0 : n, "SDF:  ");
  const char* units = sdf_units_of(*tv);
  if (!units) {
    kaprnt(msg_level::error, "Couldn't find units attribute for Time coordinate of SDF file.\n");
    return false;
  }
  // The calendar is the session's before any date is worked out: one that
  // differs would move the dates of the data sets open (and show this
  // file's own steps as uneven).
  if (calendar_of(*tv) == sdf_calendar::days_365 || starts(units, "common_year"))
    pfi->calendar_365 = 1;
  if (!keep_session_calendar(pfi->calendar_365)) return false;
  double v1 = 0, v2 = 0;
  long start = 0, count = pfi->t_size >= 2 ? 2 : 1;
  if (pfi->t_size < 1 || !read_variable_data(io->ncid, tv, &start, &count)) {
    kaprnt(msg_level::error, pfi->t_size >= 2
                                 ? "Error reading initial two time values in SDF file.\n"
                                 : "Error reading initial time value in SDF file.\n");
    return false;
  }
  if (!sdf_coord_value(tv, 0, &v1)) {
    kaprnt(msg_level::error, "Error interpreting initial time value in SDF file.\n");
    return false;
  }
  bool second = count < 2 || sdf_coord_value(tv, 1, &v2);
  if (count < 2) v2 = v1 + 1;
  if (sdf_is_fill(*tv, v1)) {
    const sdf_slices f = sdf_scan_fills(io, tv, pfi->t_size);
    if (f == sdf_slices::interrupted) {
      sdf_read_interrupted("time");
      return false;
    }
    if (f == sdf_slices::done) {
      kaprnt(msg_level::error, "SDF:  The time coordinate of SDF file holds only fill values.\n");
      return false;
    }
  }
  if (!second) {
    kaprnt(msg_level::error, "Error interpreting second time value in SDF file.\n");
    return false;
  }
  if (!new_time_scaling(pfi)) {
    kaprnt(msg_level::error, "Error finding storage to define time coordinate in SDF file.\n");
    return false;
  }
  if (std::strlen(units) < 10 && starts(units, "YYMMDDHH"))
    return yymmddhh_axis(pfi, io, tv, v1, v2);
  if (io->time_flag == 0) return standard_time_axis(pfi, io, tv, v1);
  return ud_time_axis(pfi, io, tv, units, v1, v2);
}

}  // namespace

bool sdf_time_axis(file_descriptor* pfi, io_std* io, var_info* tv) {
  if (tv) {
    if (!coordinate_time_axis(pfi, io, tv)) return false;
    const char* calendar = "";
    if (calendar_of(*tv, &calendar) == sdf_calendar::not_held)
      kaprntf(msg_level::info,
              "Warning:  The times of SDF file are on the %s calendar, which Vemra does not "
              "hold; dates are shown on the %s calendar, stepped from the first time.\n",
              calendar, mfcmn.calendar_365 == 1 ? "365-day" : "standard");
    return true;
  }
  // No time coordinate: one time, 1 January of year 1, stepped by a minute.
  pfi->t_size = 1;
  float* ts = new_time_scaling(pfi);
  if (!ts) {
    kaprnt(msg_level::error, "Error finding storage to define time coordinate in SDF file.\n");
    return false;
  }
  const float start[7] = {1, 1, 1, 0, 0, 0, 1};
  std::memcpy(ts, start, sizeof start);
  return true;
}
