// Calendar arithmetic, time axes, the time grammars and the text forms of a
// time. Calendar results are checked against a Julian day number formula.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>

#include "base/mfcmn.h"
#include "base/timecal.h"
#include "support/stdout_capture.h"

namespace {

// Julian day number of a Gregorian date (Fliegel and Van Flandern).
long long jdn(long long y, long long m, long long d) {
  long long a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - yy / 100 + yy / 400 - 32045;
}
long long ref_minutes(const date_time& t) {
  return jdn(t.year, t.month, t.day) * 1440 + t.hour * 60LL + t.minute;
}

date_time dt(int y, int mo, int d, int h = 0, int mi = 0) { return date_time{y, mo, d, h, mi}; }

std::string show(const date_time& t) {
  char b[80];
  std::snprintf(b, sizeof b, "%d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour, t.minute);
  return b;
}

bool valid(const date_time& t) {
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= days_in_month(t.year, t.month) &&
         t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60;
}

// The time parsed, " |" and the text after it, then the printed messages;
// "null:" and the messages when refused.
std::string shown(const char* rest, const date_time& t, const std::string& msg) {
  return rest ? show(t) + (*rest ? std::string(" |") + rest : "") + msg : "null:" + msg;
}

std::string parse(const char* text, date_time def = dt(1995, 2, 3, 7, 7)) {
  date_time out{};
  StdoutCapture cap;
  const char* r = adtprs(text, &def, &out);
  return shown(r, out, cap.text());
}

std::string offset(const char* text) {
  date_time out{};
  StdoutCapture cap;
  const char* r = rdtprs(text, &out);
  return shown(r, out, cap.text());
}

time_scaling axis(date_time s, float months, float minutes) {
  return time_scaling{float(s.year),   float(s.month), float(s.day), float(s.hour),
                      float(s.minute), months,         minutes,      -999.9f};
}

class TimeCal : public ::testing::Test {
 protected:
  void SetUp() override { mfcmn_init(); }
  void TearDown() override { mfcmn_init(); }
};

}  // namespace

TEST_F(TimeCal, AbsoluteTimesAndTheYearDigitFlag) {
  EXPECT_EQ(parse("jan1990"), "1990-01-01 00:00");
  EXPECT_EQ(mfcmn.year_digits, 1);
  EXPECT_EQ(parse("5jan90"), "1990-01-05 00:00");
  EXPECT_EQ(mfcmn.year_digits, 0);
  EXPECT_EQ(parse("1jan49"), "2049-01-01 00:00");
  EXPECT_EQ(parse("1jan50"), "1950-01-01 00:00");
  EXPECT_EQ(parse("1jan0050"), "50-01-01 00:00");
  EXPECT_EQ(mfcmn.year_digits, 1);
  EXPECT_EQ(parse("18z5"), "1995-02-05 18:00");
  EXPECT_EQ(parse("17mar"), "1995-03-17 00:00");
  EXPECT_EQ(parse("6:30z15mar2000"), "2000-03-15 06:30");
  EXPECT_EQ(parse("0z29feb2000,t"), "2000-02-29 00:00 |,t");
  // The flag comes from this date: an earlier two-digit year does not widen
  // a year taken from the default, nor does a four-digit one stop widening.
  parse("5jan90");
  EXPECT_EQ(parse("12z", dt(49, 6, 1)), "49-06-01 12:00");
  EXPECT_EQ(parse("3mar", dt(49, 6, 1)), "49-03-03 00:00");
  parse("1jan1990");
  EXPECT_EQ(parse("1jan07"), "2007-01-01 00:00");
}

TEST_F(TimeCal, AbsoluteTimeErrors) {
  const std::string e = "null:Syntax Error:  Invalid Date/Time value.\n";
  EXPECT_EQ(parse("6:30"), e + "  'z' delimiter is missing \n");
  EXPECT_EQ(parse("24z1jan2000"), e + "  Hour = 24 -- greater than 23\n");
  EXPECT_EQ(parse("6:60z1jan2000"), e + "  Minute = 60 -- greater than 59\n");
  EXPECT_EQ(parse("6:z"), e + "  Missing minute value \n");
  EXPECT_EQ(parse("abc1990"), e + "  Expected month abbreviation, none found\n");
  EXPECT_EQ(parse("5ja"), e + "  Missing month abbreviation or 'z' delimiter\n");
  EXPECT_EQ(parse("30feb2000"), e + "  Day = 30 -- greater than 29 \n");
  EXPECT_EQ(parse("29feb1900"), e + "  Day = 29 -- greater than 28 \n");
  // Numbers too long for an int are refused, not wrapped.
  EXPECT_EQ(parse("99999999999z").rfind(e, 0), 0u);
  EXPECT_EQ(parse("1jan99999999999").rfind(e, 0), 0u);
  mfcmn.calendar_365 = 1;
  EXPECT_EQ(parse("29feb2000"), e + "  Day = 29 -- greater than 28 \n");
}

TEST_F(TimeCal, RelativeOffsets) {
  EXPECT_EQ(offset("6hr"), "0-00-00 06:00");
  EXPECT_EQ(offset("1mo"), "0-01-00 00:00");
  EXPECT_EQ(offset("1dy12hr)"), "0-00-01 12:00 |)");
  EXPECT_EQ(offset("2yr3mo4dy5hr6mn1hr"), "2-03-04 01:06");
  const std::string e = "null:Syntax Error:  Invalid Date/Time offset.\n";
  EXPECT_EQ(offset("6hx"), e + "  Expecting yr/mo/dy/hr/mn, found hx\n");
  EXPECT_EQ(offset("hr"), e + "  No offset value given\n");
  EXPECT_EQ(offset("99999999999hr").rfind(e, 0), 0u);
}

TEST_F(TimeCal, AddAndSubtract) {
  struct step {
    date_time t, inc;
    bool add;
    const char* want;
  };
  for (const step& s : {step{dt(1990, 1, 31), {0, 1, 0, 0, 0}, true, "1990-03-03 00:00"},
                        step{dt(1992, 1, 31), {0, 1, 0, 0, 0}, true, "1992-03-02 00:00"},
                        step{dt(1990, 11, 15), {1, 14, 0, 0, 0}, true, "1993-01-15 00:00"},
                        step{dt(1990, 3, 1), {0, 0, -1, 0, -30}, true, "1990-02-27 23:30"},
                        step{dt(1992, 2, 29), {1, 0, 0, 0, 0}, false, "1991-03-01 00:00"},
                        step{dt(1990, 1, 15), {0, 14, 0, 0, 0}, false, "1988-11-15 00:00"},
                        // A day the month no longer has runs on into the next
                        // month, as in addition, instead of leaving 31 February.
                        step{dt(1990, 3, 31), {0, 1, 0, 0, 0}, false, "1990-03-03 00:00"}}) {
    date_time r = s.inc;
    if (s.add) {
      r = s.t;
      timadd(&s.inc, &r);
    } else {
      timsub(&s.t, &r);
    }
    EXPECT_EQ(show(r), s.want) << show(s.t);
  }
}

TEST_F(TimeCal, DifferencesAndWeekdaysForEveryYear) {
  date_time c = dt(2000, 1, 1), d = dt(2001, 1, 1);
  // Year 1 to 9999 is far beyond an int of minutes.
  date_time lo = dt(1, 1, 1), hi = dt(9999, 12, 31, 23, 59);
  EXPECT_EQ(timdif(&lo, &hi), ref_minutes(hi) - ref_minutes(lo));
  date_time sunday = dt(1950, 1, 1);
  EXPECT_EQ(dayweek(&sunday), 0);

  std::mt19937 rng(2024);
  auto random_date = [&] {
    int y = 1 + int(rng() % 9999), m = 1 + int(rng() % 12);
    return dt(y, m, 1 + int(rng() % days_in_month(y, m)), int(rng() % 24), int(rng() % 60));
  };
  for (int i = 0; i < 3000; ++i) {
    date_time t = random_date(), u = random_date();
    ASSERT_EQ(timdif(&t, &u), ref_minutes(u) - ref_minutes(t)) << show(t) << " " << show(u);
    ASSERT_EQ(dayweek(&t), int((jdn(t.year, t.month, t.day) + 1) % 7)) << show(t);
    // Adding or subtracting n minutes lands n minutes away on a valid date.
    long long n = rng() % 2000000000LL;
    date_time inc{0, 0, int(n / 1440), int(n / 60 % 24), int(n % 60)}, fwd = t, back = inc;
    timadd(&inc, &fwd);
    timsub(&t, &back);
    ASSERT_EQ(ref_minutes(fwd) - ref_minutes(t), n) << show(t) << " + " << n;
    ASSERT_EQ(ref_minutes(t) - ref_minutes(back), n) << show(t) << " - " << n;
    ASSERT_TRUE(valid(fwd) && valid(back)) << show(fwd) << " " << show(back);
  }
  mfcmn.calendar_365 = 1;
  EXPECT_EQ(timdif(&c, &d), 525600);
  EXPECT_EQ(timdif(&lo, &d), 2000LL * 525600);
}

TEST_F(TimeCal, MinuteAxes) {
  time_scaling s = axis(dt(1990, 1, 1), 0, 360);
  date_time t = dt(1990, 1, 2, 12), out{};
  EXPECT_FLOAT_EQ(t2gr(reinterpret_cast<const float*>(&s), &t), 7.0f);
  gr2t(&s, 0.5f, &out);
  EXPECT_EQ(show(out), "1989-12-31 21:00");
  gr2t(&s, 1.25f, &out);
  EXPECT_EQ(show(out), "1990-01-01 01:30");
  for (int g = -400; g <= 4000; ++g) {
    gr2t(&s, float(g), &out);
    ASSERT_EQ(ref_minutes(out) - ref_minutes(dt(1990, 1, 1)), (g - 1) * 360LL) << g;
    ASSERT_FLOAT_EQ(t2gr(&s, &out), float(g));
  }
}

TEST_F(TimeCal, MonthAxesWithFractions) {
  time_scaling s = axis(dt(1990, 1, 1), 1, 0);
  date_time t = dt(1990, 3, 1), out{};
  EXPECT_FLOAT_EQ(t2gr(&s, &t), 3.0f);
  t = dt(1990, 2, 16);
  EXPECT_FLOAT_EQ(t2gr(&s, &t), 2.0f + 15.0f / 28.0f);
  t = dt(1992, 2, 16);
  EXPECT_FLOAT_EQ(t2gr(&s, &t), 26.0f + 15.0f / 29.0f);
  gr2t(&s, 0.5f, &out);  // half of December 1989
  EXPECT_EQ(show(out), "1989-12-16 12:00");
  for (int g = -300; g <= 1200; ++g) {
    gr2t(&s, float(g), &out);
    ASSERT_EQ((out.year - 1990LL) * 12 + out.month - 1, g - 1) << g;
    ASSERT_EQ(out.day, 1);
    ASSERT_FLOAT_EQ(t2gr(&s, &out), float(g));
  }
  // Earlier in its month than the start's day: no fraction.
  time_scaling mid = axis(dt(1990, 1, 15), 1, 0);
  t = dt(1990, 3, 10);
  EXPECT_FLOAT_EQ(t2gr(&mid, &t), 3.0f);
}

// A month axis from the 29th, 30th or 31st: step g is g-1 months from the
// start, the day held at the month's last day (before the start as well),
// and each step converts back to g; on the 365-day calendar every February
// step is the 28th.
TEST_F(TimeCal, MonthAxesFromTheEndOfAMonth) {
  for (int cal365 : {0, 1}) {
    mfcmn.calendar_365 = cal365;
    for (date_time start :
         {dt(1999, 3, 31, 6), dt(2000, 1, 30), dt(2000, 2, 29), dt(2001, 1, 29)}) {
      if (cal365 && start.month == 2) continue;
      time_scaling s = axis(start, 1, 0);
      for (int g = -40; g <= 60; ++g) {
        date_time out{};
        gr2t(&s, float(g), &out);
        // Months counted independently of the library's arithmetic.
        long long n = start.year * 12LL + start.month - 1 + g - 1;
        int y = int(n / 12), m = int(n % 12) + 1;
        static const int length[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        int last = m == 2 && !cal365 ? int(jdn(y, 3, 1) - jdn(y, 2, 1)) : length[m - 1];
        ASSERT_EQ(show(out), show(dt(y, m, std::min(start.day, last), start.hour)))
            << show(start) << " g " << g << " calendar " << cal365;
        ASSERT_FLOAT_EQ(t2gr(&s, &out), float(g)) << show(out);
      }
    }
  }
}

TEST_F(TimeCal, FarAndInvalidCoordinatesStayDefined) {
  time_scaling s = axis(dt(1990, 1, 1), 0, 360), m = axis(dt(1990, 1, 1), 1, 0);
  date_time out{};
  for (float g : {1e30f, -1e30f, 3e9f, -3e9f, std::nanf(""), INFINITY, -INFINITY}) {
    gr2t(&s, g, &out);
    EXPECT_TRUE(valid(out)) << g << " " << show(out);
    gr2t(&m, g, &out);
    EXPECT_TRUE(valid(out)) << g << " " << show(out);
  }
  gr2t(&s, 1e30f, &out);
  EXPECT_GT(out.year, 1990 + 900000);
  // A start year beyond the int range is held at the last year, not wrapped.
  time_scaling far = axis(dt(1990, 1, 1), 1, 0);
  far.start_year = 3e9f;
  EXPECT_EQ(time_scaling_start(&far).year, INT_MAX);
  far.start_year = -3e9f;
  EXPECT_EQ(time_scaling_start(&far).year, INT_MIN);
}

TEST_F(TimeCal, Text) {
  date_time t = dt(1990, 1, 5, 6, 0);
  char buf[kat2ch_size];
  EXPECT_EQ(kat2ch(&t, 4, buf), 12);
  EXPECT_STREQ(buf, "06Z05JAN1990");
  t = dt(2001, 12, 31, 23, 59);
  const char* want[] = {"???", "2001", "DEC2001", "31DEC2001", "23Z31DEC2001", "23:59Z31DEC2001",
                        "???"};
  for (int level = 0; level <= 6; ++level) EXPECT_EQ(kat2ch(t, level), want[level]);
  t = dt(9999, 1, 1);
  EXPECT_EQ(kat2ch(t, 2), "JAN");
}
