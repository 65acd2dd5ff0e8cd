// Calendar arithmetic, time axes, the time grammars and the text forms of a
// time. Calendar results are checked against a Julian day number formula.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <string>

#include "core/mfcmn.h"
#include "core/timecal.h"

namespace {

// Julian day number of a Gregorian date (Fliegel and Van Flandern).
long long jdn(long long y, long long m, long long d) {
  long long a = (14 - m) / 12;
  long long yy = y + 4800 - a;
  long long mm = m + 12 * a - 3;
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

std::string captured(const std::function<void()>& f) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

time_scaling axis(date_time s, float months, float minutes) {
  return time_scaling{static_cast<float>(s.year), static_cast<float>(s.month), static_cast<float>(s.day),
                      static_cast<float>(s.hour), static_cast<float>(s.minute), months, minutes, -999.9f};
}

class Calendar : public ::testing::Test {
 protected:
  void SetUp() override { mfcmn_init(); }
  void TearDown() override { mfcmn_init(); }
};

using AbsoluteTime = Calendar;
using RelativeTime = Calendar;
using TimeAxis = Calendar;
using TimeText = Calendar;

}  // namespace

// --------------------------------------------------------------------------
// Absolute times

TEST_F(AbsoluteTime, DatesAndTheYearDigitFlag) {
  date_time def = dt(1995, 2, 3, 7, 7), out{};
  ASSERT_TRUE(adtprs("jan1990", &def, &out));
  EXPECT_EQ(show(out), "1990-01-01 00:00");
  EXPECT_EQ(mfcmn.year_digits, 1);
  ASSERT_TRUE(adtprs("5jan90", &def, &out));
  EXPECT_EQ(show(out), "1990-01-05 00:00");
  EXPECT_EQ(mfcmn.year_digits, 0);
  ASSERT_TRUE(adtprs("1jan49", &def, &out));
  EXPECT_EQ(out.year, 2049);
  ASSERT_TRUE(adtprs("1jan50", &def, &out));
  EXPECT_EQ(out.year, 1950);
  ASSERT_TRUE(adtprs("1jan0050", &def, &out));
  EXPECT_EQ(out.year, 50);
  EXPECT_EQ(mfcmn.year_digits, 1);
  ASSERT_TRUE(adtprs("1jan150", &def, &out));
  EXPECT_EQ(out.year, 150);
  EXPECT_EQ(mfcmn.year_digits, 1);
  // No year: the default's, and the flag is left alone.
  ASSERT_TRUE(adtprs("17mar", &def, &out));
  EXPECT_EQ(show(out), "1995-03-17 00:00");
  EXPECT_EQ(mfcmn.year_digits, 1);
}

TEST_F(AbsoluteTime, HoursMinutesAndDefaults) {
  date_time def = dt(1995, 2, 3), out{};
  const char* end = adtprs("12z", &def, &out);
  ASSERT_TRUE(end);
  EXPECT_EQ(*end, '\0');
  EXPECT_EQ(show(out), "1995-02-03 12:00");
  ASSERT_TRUE(adtprs("6:30z15mar2000", &def, &out));
  EXPECT_EQ(show(out), "2000-03-15 06:30");
  ASSERT_TRUE(adtprs("18z5", &def, &out));
  EXPECT_EQ(show(out), "1995-02-05 18:00");
  ASSERT_TRUE(adtprs("0z29feb2000", &def, &out));
  EXPECT_EQ(show(out), "2000-02-29 00:00");
  end = adtprs("5jan1990,t", &def, &out);
  ASSERT_TRUE(end);
  EXPECT_STREQ(end, ",t");
  char buf[] = "3z1jan2000 x";
  char* e2 = adtprs(buf, &def, &out);
  EXPECT_EQ(e2, buf + 10);
}

TEST_F(AbsoluteTime, YearDigitFlagComesFromThisDate) {
  date_time out{};
  date_time two_digit_default = dt(49, 6, 1);
  // An earlier two-digit year must not widen a year taken from the default.
  ASSERT_TRUE(adtprs("5jan90", &two_digit_default, &out));
  ASSERT_EQ(mfcmn.year_digits, 0);
  ASSERT_TRUE(adtprs("12z", &two_digit_default, &out));
  EXPECT_EQ(out.year, 49);
  ASSERT_TRUE(adtprs("3mar", &two_digit_default, &out));
  EXPECT_EQ(out.year, 49);
  // Nor the other way round: a four-digit flag left over does not stop a
  // two-digit year being widened.
  ASSERT_TRUE(adtprs("1jan1990", &two_digit_default, &out));
  ASSERT_TRUE(adtprs("1jan07", &two_digit_default, &out));
  EXPECT_EQ(out.year, 2007);
}

TEST_F(AbsoluteTime, ErrorsPrintTheirLines) {
  date_time def = dt(1995, 2, 3), out{};
  const char* r = reinterpret_cast<const char*>(1);
  auto fails = [&](const char* text) {
    return captured([&] { r = adtprs(text, &def, &out); });
  };
  const std::string head = "Syntax Error:  Invalid Date/Time value.\n";
  EXPECT_EQ(fails("6:30"), head + "  'z' delimiter is missing \n");
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(fails("24z1jan2000"), head + "  Hour = 24 -- greater than 23\n");
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(fails("6:60z1jan2000"), head + "  Minute = 60 -- greater than 59\n");
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(fails("6:z"), head + "  Missing minute value \n");
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(fails("abc1990"), head + "  Expected month abbreviation, none found\n");
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(fails("5xyz1990"), head + "  Missing month abbreviation or 'z' delimiter\n");
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(fails("5ja"), head + "  Missing month abbreviation or 'z' delimiter\n");
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(fails("30feb2000"), head + "  Day = 30 -- greater than 29 \n");
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(fails("29feb1900"), head + "  Day = 29 -- greater than 28 \n");
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(fails("32jan2000"), head + "  Day = 32 -- greater than 31 \n");
  EXPECT_EQ(r, nullptr);
  // Numbers too long for an int are refused, not wrapped.
  EXPECT_EQ(fails("99999999999z").rfind(head, 0), 0u);
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(fails("1jan99999999999").rfind(head, 0), 0u);
  EXPECT_EQ(r, nullptr);

  mfcmn.calendar_365 = 1;
  EXPECT_EQ(fails("29feb2000"), head + "  Day = 29 -- greater than 28 \n");
  EXPECT_EQ(r, nullptr);
}

// --------------------------------------------------------------------------
// Relative times

TEST_F(RelativeTime, OffsetsAndErrors) {
  date_time out{};
  ASSERT_TRUE(rdtprs("6hr", &out));
  EXPECT_EQ(show(out), "0-00-00 06:00");
  ASSERT_TRUE(rdtprs("1mo", &out));
  EXPECT_EQ(show(out), "0-01-00 00:00");
  const char* end = rdtprs("1dy12hr)", &out);
  ASSERT_TRUE(end);
  EXPECT_STREQ(end, ")");
  EXPECT_EQ(show(out), "0-00-01 12:00");
  ASSERT_TRUE(rdtprs("2yr3mo4dy5hr6mn", &out));
  EXPECT_EQ(show(out), "2-03-04 05:06");
  ASSERT_TRUE(rdtprs("1hr2hr", &out));
  EXPECT_EQ(out.hour, 2);

  const char* r = reinterpret_cast<const char*>(1);
  const std::string head = "Syntax Error:  Invalid Date/Time offset.\n";
  EXPECT_EQ(captured([&] { r = rdtprs("6hx", &out); }), head + "  Expecting yr/mo/dy/hr/mn, found hx\n");
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(captured([&] { r = rdtprs("6h", &out); }), head + "  Expecting yr/mo/dy/hr/mn, found h\n");
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(captured([&] { r = rdtprs("hr", &out); }), head + "  No offset value given\n");
  EXPECT_EQ(r, nullptr);
  EXPECT_EQ(captured([&] { r = rdtprs("99999999999hr", &out); }).rfind(head, 0), 0u);
  EXPECT_EQ(r, nullptr);
}

// --------------------------------------------------------------------------
// Arithmetic

TEST_F(Calendar, MonthsAreAddedBeforeDays) {
  date_time t = dt(1990, 1, 31), one_month{0, 1, 0, 0, 0};
  timadd(&one_month, &t);
  EXPECT_EQ(show(t), "1990-03-03 00:00");
  t = dt(1992, 1, 31);
  timadd(&one_month, &t);
  EXPECT_EQ(show(t), "1992-03-02 00:00");
  t = dt(1992, 2, 28);
  date_time one_day{0, 0, 1, 0, 0};
  timadd(&one_day, &t);
  EXPECT_EQ(show(t), "1992-02-29 00:00");
  timadd(&one_day, &t);
  EXPECT_EQ(show(t), "1992-03-01 00:00");
  t = dt(1999, 12, 31, 23, 30);
  date_time mins{0, 0, 0, 0, 45};
  timadd(&mins, &t);
  EXPECT_EQ(show(t), "2000-01-01 00:15");
  t = dt(1999, 12, 31, 23, 30);
  mins.minute = 30;
  timadd(&mins, &t);
  EXPECT_EQ(show(t), "2000-01-01 00:00");
  t = dt(1990, 11, 15);
  date_time year_and_months{1, 14, 0, 0, 0};
  timadd(&year_and_months, &t);
  EXPECT_EQ(show(t), "1993-01-15 00:00");
}

TEST_F(Calendar, Subtraction) {
  date_time off{0, 0, 1, 0, 0};
  date_time base = dt(1990, 3, 1);
  timsub(&base, &off);
  EXPECT_EQ(show(off), "1990-02-28 00:00");
  off = {0, 0, 1, 0, 0};
  base = dt(1992, 3, 1);
  timsub(&base, &off);
  EXPECT_EQ(show(off), "1992-02-29 00:00");
  off = {1, 0, 0, 0, 0};
  base = dt(1992, 2, 29);
  timsub(&base, &off);
  EXPECT_EQ(show(off), "1991-03-01 00:00");
  off = {0, 0, 0, 0, 30};
  base = dt(2000, 1, 1, 0, 15);
  timsub(&base, &off);
  EXPECT_EQ(show(off), "1999-12-31 23:45");
  off = {0, 14, 0, 0, 0};
  base = dt(1990, 1, 15);
  timsub(&base, &off);
  EXPECT_EQ(show(off), "1988-11-15 00:00");
  // A day the month no longer has runs on into the next month, as in
  // addition, instead of leaving 31 February.
  off = {0, 1, 0, 0, 0};
  base = dt(1990, 3, 31);
  timsub(&base, &off);
  EXPECT_EQ(show(off), "1990-03-03 00:00");
}

TEST_F(Calendar, DifferencesInSixtyFourBits) {
  date_time a = dt(2000, 3, 1), b = dt(2001, 3, 1);
  EXPECT_EQ(timdif(&a, &b), 525600);
  a = dt(2000, 1, 1);
  b = dt(2001, 1, 1);
  EXPECT_EQ(timdif(&a, &b), 527040);
  EXPECT_EQ(timdif(&b, &a), -527040);
  // Climatology files span year 1 to 9999: far beyond an int of minutes.
  a = dt(1, 1, 1);
  b = dt(9999, 12, 31, 23, 59);
  long long expect = ref_minutes(b) - ref_minutes(a);
  EXPECT_GT(expect, 2147483647LL);
  EXPECT_EQ(timdif(&a, &b), expect);
  EXPECT_EQ(timdif(&b, &a), -expect);

  mfcmn.calendar_365 = 1;
  a = dt(2000, 1, 1);
  b = dt(2001, 1, 1);
  EXPECT_EQ(timdif(&a, &b), 525600);
  EXPECT_EQ(qleap(2000), 0);
  a = dt(1, 1, 1);
  b = dt(9999, 1, 1);
  EXPECT_EQ(timdif(&a, &b), 9998LL * 525600);
}

TEST_F(Calendar, AgreesWithJulianDaysOnRandomDates) {
  std::mt19937 rng(2024);
  for (int i = 0; i < 3000; ++i) {
    int y = 1 + static_cast<int>(rng() % 9999);
    int m = 1 + static_cast<int>(rng() % 12);
    int d = 1 + static_cast<int>(rng() % days_in_month(y, m));
    date_time t = dt(y, m, d, static_cast<int>(rng() % 24), static_cast<int>(rng() % 60));
    int y2 = 1 + static_cast<int>(rng() % 9999);
    int m2 = 1 + static_cast<int>(rng() % 12);
    date_time u = dt(y2, m2, 1 + static_cast<int>(rng() % days_in_month(y2, m2)), 5, 7);
    ASSERT_EQ(timdif(&t, &u), ref_minutes(u) - ref_minutes(t)) << show(t) << " " << show(u);

    // Adding and subtracting n minutes lands n minutes away.
    long long n = static_cast<long long>(rng() % 2000000000ULL);
    date_time inc{0, 0, static_cast<int>(n / 1440), static_cast<int>(n / 60 % 24), static_cast<int>(n % 60)};
    date_time fwd = t;
    timadd(&inc, &fwd);
    ASSERT_EQ(ref_minutes(fwd) - ref_minutes(t), n) << show(t) << " + " << n;
    ASSERT_EQ(timdif(&t, &fwd), n);
    ASSERT_TRUE(fwd.minute >= 0 && fwd.minute < 60 && fwd.hour >= 0 && fwd.hour < 24) << show(fwd);
    ASSERT_TRUE(fwd.day >= 1 && fwd.day <= days_in_month(fwd.year, fwd.month)) << show(fwd);
    date_time back = inc;
    timsub(&t, &back);
    ASSERT_EQ(ref_minutes(t) - ref_minutes(back), n) << show(t) << " - " << n;
    ASSERT_TRUE(back.minute >= 0 && back.minute < 60 && back.hour >= 0 && back.hour < 24) << show(back);
    ASSERT_GE(back.day, 1);
    ASSERT_LE(back.day, days_in_month(back.year, back.month));
  }
}

TEST_F(Calendar, DayOfWeekForEveryYear) {
  date_time t = dt(1950, 1, 1);
  EXPECT_EQ(dayweek(&t), 0);
  t = dt(2000, 1, 1);
  EXPECT_EQ(dayweek(&t), 6);
  t = dt(1900, 1, 1);
  EXPECT_EQ(dayweek(&t), 1);
  t = dt(2021, 7, 4);
  EXPECT_EQ(dayweek(&t), 0);
  for (int y = 1; y <= 9999; y += 7) {
    for (int m = 1; m <= 12; m += 5) {
      t = dt(y, m, 13, 18, 0);
      ASSERT_EQ(dayweek(&t), static_cast<int>((jdn(y, m, 13) + 1) % 7)) << show(t);
    }
  }
}

// --------------------------------------------------------------------------
// Time axes

TEST_F(TimeAxis, SixHourlyAxis) {
  time_scaling s = axis(dt(1990, 1, 1), 0, 360);
  date_time t = dt(1990, 1, 2, 12);
  EXPECT_FLOAT_EQ(t2gr(&s, &t), 7.0f);
  date_time out{};
  gr2t(&s, 7.0f, &out);
  EXPECT_EQ(show(out), "1990-01-02 12:00");
  gr2t(&s, 0.5f, &out);
  EXPECT_EQ(show(out), "1989-12-31 21:00");
  gr2t(&s, 1.25f, &out);  // 90 minutes
  EXPECT_EQ(show(out), "1990-01-01 01:30");
  // The float-array form reads the same eight values.
  const float* raw = reinterpret_cast<const float*>(&s);
  EXPECT_FLOAT_EQ(t2gr(raw, &t), 7.0f);
  for (int g = -400; g <= 4000; ++g) {
    gr2t(&s, static_cast<float>(g), &out);
    ASSERT_EQ(ref_minutes(out) - ref_minutes(dt(1990, 1, 1)), (g - 1) * 360LL) << g;
    ASSERT_FLOAT_EQ(t2gr(&s, &out), static_cast<float>(g));
  }
}

TEST_F(TimeAxis, DailyAxisRoundTrip) {
  time_scaling s = axis(dt(1979, 1, 1, 12), 0, 1440);
  date_time out{};
  for (int g = 1; g <= 20000; g += 3) {
    gr2t(&s, static_cast<float>(g), &out);
    ASSERT_EQ(jdn(out.year, out.month, out.day) - jdn(1979, 1, 1), g - 1) << g;
    ASSERT_EQ(out.hour, 12);
    ASSERT_FLOAT_EQ(t2gr(&s, &out), static_cast<float>(g));
  }
}

TEST_F(TimeAxis, MonthlyAxisWithFractions) {
  time_scaling s = axis(dt(1990, 1, 1), 1, 0);
  date_time t = dt(1990, 3, 1);
  EXPECT_FLOAT_EQ(t2gr(&s, &t), 3.0f);
  t = dt(1990, 2, 16);
  EXPECT_FLOAT_EQ(t2gr(&s, &t), 2.0f + 15.0f / 28.0f);
  t = dt(1992, 2, 16);  // leap February
  EXPECT_FLOAT_EQ(t2gr(&s, &t), 26.0f + 15.0f / 29.0f);
  date_time out{};
  gr2t(&s, 2.0f + 15.0f / 28.0f, &out);
  EXPECT_EQ(show(out), "1990-02-16 00:00");
  gr2t(&s, 0.5f, &out);  // half of December 1989
  EXPECT_EQ(show(out), "1989-12-16 12:00");
  for (int g = -300; g <= 1200; ++g) {
    gr2t(&s, static_cast<float>(g), &out);
    long long months = (out.year - 1990LL) * 12 + out.month - 1;
    ASSERT_EQ(months, g - 1) << g;
    ASSERT_EQ(out.day, 1);
    ASSERT_FLOAT_EQ(t2gr(&s, &out), static_cast<float>(g));
  }
  // A time earlier in its month than the start's day adds no fraction.
  time_scaling mid = axis(dt(1990, 1, 15), 1, 0);
  t = dt(1990, 3, 10);
  EXPECT_FLOAT_EQ(t2gr(&mid, &t), 3.0f);
  // Yearly steps.
  time_scaling yearly = axis(dt(1900, 1, 1), 12, 0);
  t = dt(1950, 1, 1);
  EXPECT_FLOAT_EQ(t2gr(&yearly, &t), 51.0f);
}

TEST_F(TimeAxis, FarAndInvalidCoordinatesStayDefined) {
  time_scaling s = axis(dt(1990, 1, 1), 0, 360);
  time_scaling m = axis(dt(1990, 1, 1), 1, 0);
  date_time out{};
  for (float g : {1e30f, -1e30f, 3e9f, -3e9f, std::nanf(""), INFINITY, -INFINITY}) {
    gr2t(&s, g, &out);
    EXPECT_GE(out.month, 1);
    EXPECT_LE(out.month, 12);
    EXPECT_GE(out.day, 1);
    EXPECT_LE(out.day, 31);
    gr2t(&m, g, &out);
    EXPECT_GE(out.month, 1);
    EXPECT_LE(out.month, 12);
  }
  gr2t(&s, 1e30f, &out);
  EXPECT_GT(out.year, 1990 + 900000);
  gr2t(&s, -1e30f, &out);
  EXPECT_LT(out.year, 1990 - 900000);
}

// --------------------------------------------------------------------------
// Text

TEST_F(TimeText, AllLevels) {
  date_time t = dt(1990, 1, 5, 6, 0);
  EXPECT_EQ(kat2ch(t, 4), "06Z05JAN1990");
  char buf[kat2ch_size];
  EXPECT_EQ(kat2ch(&t, 4, buf), 12);
  EXPECT_STREQ(buf, "06Z05JAN1990");
  t = dt(1990, 1, 5, 12, 30);
  EXPECT_EQ(kat2ch(t, 1), "1990");
  EXPECT_EQ(kat2ch(t, 2), "JAN1990");
  EXPECT_EQ(kat2ch(t, 3), "05JAN1990");
  EXPECT_EQ(kat2ch(t, 5), "12:30Z05JAN1990");
  EXPECT_EQ(kat2ch(t, 0), "???");
  EXPECT_EQ(kat2ch(t, 6), "???");
  t = dt(9999, 1, 1);
  EXPECT_EQ(kat2ch(t, 2), "JAN");
  t = dt(2001, 12, 31, 23, 59);
  EXPECT_EQ(kat2ch(t, 5), "23:59Z31DEC2001");
  t = dt(50, 7, 4);
  EXPECT_EQ(kat2ch(t, 3), "04JUL50");
}
