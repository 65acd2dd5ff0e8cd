// File-name prefixes and time templates.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "core/fnmtemplate.h"
#include "core/mfcmn.h"

namespace {

date_time dt(int y, int mo, int d, int h = 0, int mi = 0) { return date_time{y, mo, d, h, mi}; }

time_scaling hourly_from(date_time s) {
  return time_scaling{static_cast<float>(s.year), static_cast<float>(s.month), static_cast<float>(s.day),
                      static_cast<float>(s.hour), static_cast<float>(s.minute), 0, 60, -999.9f};
}

std::string expand(const char* tmpl, date_time valid, date_time initial = dt(1900, 1, 1),
                   date_time start = dt(2000, 1, 1)) {
  time_scaling s = hourly_from(start);
  return kafndt(tmpl, &valid, &initial, &s);
}

}  // namespace

TEST(FileTemplate, DateCodes) {
  mfcmn_init();
  EXPECT_EQ(expand("/data/%y4/t%y4%m2%d2.grd", dt(1998, 3, 5, 12)), "/data/1998/t19980305.grd");
  EXPECT_EQ(expand("f%mc%y2%mh.dat", dt(2001, 1, 20)), "fjan01b.dat");
  EXPECT_EQ(expand("f%mc%y2%mH.dat", dt(2001, 1, 15)), "fjan01A.dat");
  EXPECT_EQ(expand("%m1-%d1-%h1", dt(1998, 3, 5, 7)), "3-5-7");
  EXPECT_EQ(expand("%m2-%d2-%h2-%h3-%n2", dt(1998, 11, 25, 7, 5)), "11-25-07-007-05");
  EXPECT_EQ(expand("%y2", dt(2007, 1, 1)), "07");
  EXPECT_EQ(expand("%y4", dt(850, 1, 1)), "0850");
  // Codes beginning %i take the initial time.
  EXPECT_EQ(expand("i%iy4%im2%id2%ih2_v%y4%m2%d2%h2", dt(1998, 3, 5, 12), dt(1998, 3, 4, 0)),
               "i1998030400_v1998030512");
  EXPECT_EQ(expand("%iy2%im1%imc%imh%imH%id1%ih1%ih3%in2", dt(1998, 3, 5), dt(2003, 9, 17, 6, 45)),
               "039sepbB176006" "45");
}

TEST(FileTemplate, ForecastHours) {
  date_time start = dt(2000, 1, 1);
  EXPECT_EQ(expand("fc.%f3", dt(2000, 1, 3, 6), dt(2000, 1, 1), start), "fc.054");
  // 1000 hours after the start: 41 days and 16 hours.
  EXPECT_EQ(expand("fc.%f3", dt(2000, 2, 11, 16), dt(2000, 1, 1), start), "fc.1000");
  EXPECT_EQ(expand("fc.%f2", dt(2000, 1, 1, 6), dt(2000, 1, 1), start), "fc.06");
  EXPECT_EQ(expand("fc.%f2", dt(2000, 1, 7, 6), dt(2000, 1, 1), start), "fc.150");
  // Minutes round to the nearest hour.
  EXPECT_EQ(expand("%f2", dt(2000, 1, 1, 1, 29), dt(2000, 1, 1), start), "01");
  EXPECT_EQ(expand("%f2", dt(2000, 1, 1, 1, 30), dt(2000, 1, 1), start), "02");
  // Hours beyond an int of minutes still come out right: from year 1 to 9999
  // there are 9998 * 365 days and 2424 leap days.
  EXPECT_EQ(expand("%f3", dt(9999, 1, 1), dt(1, 1, 1), dt(1, 1, 1)), std::to_string((9998LL * 365 + 2424) * 24));
  // The float-array form of the axis reads the same values.
  time_scaling s = hourly_from(start);
  date_time v = dt(2000, 1, 3, 6), i = dt(2000, 1, 1);
  EXPECT_EQ(kafndt("%f3", &v, &i, reinterpret_cast<const float*>(&s)), "054");
}

TEST(FileTemplate, OtherPercentSignsStay) {
  EXPECT_EQ(expand("a%%b", dt(2000, 1, 1)), "a%%b");
  EXPECT_EQ(expand("%x2", dt(2000, 1, 1)), "%x2");
  EXPECT_EQ(expand("end%", dt(2000, 1, 1)), "end%");
  EXPECT_EQ(expand("%y", dt(2000, 1, 1)), "%y");
  EXPECT_EQ(expand("%i", dt(2000, 1, 1)), "%i");
  EXPECT_EQ(expand("%iz2%f4", dt(2000, 1, 1)), "%iz2%f4");
  EXPECT_EQ(expand("%m3%y44", dt(2000, 1, 1)), "%m320004");
  EXPECT_EQ(expand("", dt(2000, 1, 1)), "");
}

TEST(FileNamePrefix, DescriptorDirectory) {
  std::string out = "unchanged";
  EXPECT_EQ(fnmexp(out, "^grid.dat", "/home/u/ctl/model.ctl"), 0);
  EXPECT_EQ(out, "/home/u/ctl/grid.dat");
  EXPECT_EQ(fnmexp(out, "^grid.dat", "model.ctl"), 0);
  EXPECT_EQ(out, "grid.dat");
  // Both names end at a blank or newline.
  EXPECT_EQ(fnmexp(out, "^sub/grid.dat  * comment\n", "/a/b/m.ctl extra/x"), 0);
  EXPECT_EQ(out, "/a/b/sub/grid.dat");
  EXPECT_EQ(fnmexp(out, "^g_%y4.dat\n", "rel/dir/m.ctl"), 0);
  EXPECT_EQ(out, "rel/dir/g_%y4.dat");
}

TEST(FileNamePrefix, EnvironmentVariables) {
  setenv("VEMRA_TEST_DATA", "/big", 1);
  std::string out, missing;
  EXPECT_EQ(fnmexp(out, "$VEMRA_TEST_DATA/t.grd", "/x/m.ctl", &missing), 0);
  EXPECT_EQ(out, "/big/t.grd");
  EXPECT_EQ(fnmexp(out, "$VEMRA_TEST_DATA", "/x/m.ctl", &missing), 0);
  EXPECT_EQ(out, "/big");
  // Names longer than sixteen characters are looked up whole.
  setenv("VEMRA_A_RATHER_LONG_VARIABLE_NAME", "/long", 1);
  EXPECT_EQ(fnmexp(out, "$VEMRA_A_RATHER_LONG_VARIABLE_NAME/t.grd\n", "m.ctl", &missing), 0);
  EXPECT_EQ(out, "/long/t.grd");

  // An unset variable is reported, naming it, and out is left alone.
  unsetenv("VEMRA_TEST_UNSET");
  out = "before";
  EXPECT_EQ(fnmexp(out, "$VEMRA_TEST_UNSET/t.grd", "/x/m.ctl", &missing), 1);
  EXPECT_EQ(out, "before");
  EXPECT_EQ(missing, "VEMRA_TEST_UNSET");
  EXPECT_EQ(fnmexp(out, "$/t.grd", "/x/m.ctl", &missing), 1);
  EXPECT_EQ(missing, "");
  EXPECT_EQ(fnmexp(out, "$VEMRA_TEST_UNSET/t.grd", "/x/m.ctl"), 1);
  EXPECT_EQ(out, "before");
}
