// Time model: relative values of composite times under the calendars,
// against hand computations and the C++ calendar of the standard library.
#include <chrono>

#include "lats/latsint.h"
#include "lats_support.h"

namespace {

double rel(int cal, long y, int m, int d, double h, const char* units) {
  double v = -1e30;
  EXPECT_EQ(latsComp2Rel(cal, y, m, d, h, units, &v), 1) << units;
  return v;
}

using LatsTime = latstest::Writer;

TEST_F(LatsTime, RelativeValuesOfTheDocumentedCases) {
  EXPECT_EQ(rel(LATS_STANDARD, 1979, 1, 2, 0, "hours since 1979-1-1 0"), 24.0);
  EXPECT_EQ(rel(LATS_STANDARD, 1979, 3, 15, 12, "months since 1979-1-1 0"), 2.0);
  // 365-day climatology: the last day of the year is day 364 from 1 January.
  EXPECT_EQ(rel(LATS_CLIM, 0, 12, 31, 0, "days since 1-1 0"), 364.0);
  // A base after the time wraps into the year: 1 July to 1 January is 184 days.
  EXPECT_EQ(rel(LATS_CLIM, 0, 1, 1, 0, "days since 7-1 0"), 184.0);
  // Short unit words.
  EXPECT_EQ(rel(LATS_STANDARD, 1979, 1, 15, 0, "wk since 1979-1-1"), 2.0);
  EXPECT_EQ(rel(LATS_STANDARD, 1979, 1, 1, 1.5, "minutes since 1979-1-1 0:30:0"), 60.0);
  // 360-day years: every month has 30 days.
  EXPECT_EQ(rel(LATS_360, 2000, 3, 1, 0, "days since 2000-1-1"), 60.0);
  EXPECT_EQ(rel(LATS_NOLEAP, 2001, 1, 1, 0, "days since 1999-1-1"), 730.0);
}

TEST_F(LatsTime, LeapYearsByCalendarRule) {
  // 28 February to 1 March: one day, or two in a leap year.
  EXPECT_EQ(rel(LATS_STANDARD, 1900, 3, 1, 0, "days since 1900-2-28"), 1.0);
  EXPECT_EQ(rel(LATS_JULIAN, 1900, 3, 1, 0, "days since 1900-2-28"), 2.0);
  EXPECT_EQ(rel(LATS_STANDARD, 2000, 3, 1, 0, "days since 2000-2-28"), 2.0);
}

TEST_F(LatsTime, StandardCalendarAgreesWithTheLibraryCalendar) {
  using namespace std::chrono;
  const sys_days base = year_month_day{year{1979}, month{1}, day{1}};
  const int dates[][3] = {{1582, 10, 15}, {2000, 2, 29}, {2100, 3, 1}, {1, 1, 1}};
  for (const auto& d : dates) {
    const sys_days t = year_month_day{year{d[0]}, month{static_cast<unsigned>(d[1])},
                                      day{static_cast<unsigned>(d[2])}};
    EXPECT_EQ(rel(LATS_STANDARD, d[0], d[1], d[2], 6, "hours since 1979-1-1 0"),
              (t - base).count() * 24.0 + 6.0)
        << d[0] << "-" << d[1] << "-" << d[2];
  }
}

TEST_F(LatsTime, BadUnitsAndDatesAreReported) {
  double v = 7;
  std::string err = latstest::stderr_of(
      [&] { EXPECT_EQ(latsComp2Rel(LATS_CLIM, 0, 1, 1, 0, "years since 1-1", &v), 0); });
  EXPECT_NE(err.find("climatological units cannot be 'years'"), std::string::npos) << err;
  err = latstest::stderr_of(
      [&] { EXPECT_EQ(latsComp2Rel(LATS_STANDARD, 1, 1, 1, 0, "fortnights since 1979", &v), 0); });
  EXPECT_NE(err.find("invalid units = fortnights"), std::string::npos) << err;
  err = latstest::stderr_of(
      [&] { EXPECT_EQ(latsComp2Rel(LATS_STANDARD, 1, 1, 1, 0, "days since 1979-13-1", &v), 0); });
  EXPECT_NE(err.find("invalid month = 13"), std::string::npos) << err;
  EXPECT_EQ(v, 7);
  EXPECT_EQ(latsTimeCmp(2000, 1, 1, 6, 2000, 1, 1, 12), -1);
  EXPECT_EQ(latsTimeCmp(2001, 1, 1, 0, 2000, 12, 31, 23), 1);
}

}  // namespace
