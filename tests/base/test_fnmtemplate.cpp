// File-name prefixes and time templates.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/fnmtemplate.h"
#include "base/mfcmn.h"

namespace {

date_time dt(int y, int mo, int d, int h = 0, int mi = 0) { return date_time{y, mo, d, h, mi}; }

std::string expand(const char* tmpl, date_time valid, date_time initial = dt(1900, 1, 1),
                   date_time start = dt(2000, 1, 1)) {
  time_scaling s{float(start.year),
                 float(start.month),
                 float(start.day),
                 float(start.hour),
                 0,
                 0,
                 60,
                 -999.9f};
  return kafndt(tmpl, &valid, &initial, &s);
}

}  // namespace

TEST(FileTemplate, TimeCodes) {
  mfcmn_init();
  EXPECT_EQ(expand("/data/%y4/t%y4%m2%d2.grd", dt(1998, 3, 5, 12)), "/data/1998/t19980305.grd");
  EXPECT_EQ(expand("f%mc%y2%mh.dat", dt(2001, 1, 20)), "fjan01b.dat");
  EXPECT_EQ(expand("%mH%m1-%d1-%h1|%m2-%d2-%h2-%h3-%n2|%y4", dt(850, 11, 5, 7, 9)),
            "A11-5-7|11-05-07-007-09|0850");
  // Codes beginning %i take the initial time.
  EXPECT_EQ(
      expand("%iy2%im1%imc%imh%imH%id1%ih1%ih3%in2_%y2", dt(1998, 3, 5), dt(2003, 9, 17, 6, 45)),
      "039sepbB17600645_98");
  // Forecast hours from the axis start, rounded to the nearest hour.
  EXPECT_EQ(expand("fc.%f3", dt(2000, 1, 3, 6)), "fc.054");
  EXPECT_EQ(expand("fc.%f3", dt(2000, 2, 11, 16)), "fc.1000");
  EXPECT_EQ(expand("%f2 %f2 %f2", dt(2000, 1, 1, 1, 29)), "01 01 01");
  EXPECT_EQ(expand("%f2", dt(2000, 1, 7, 6, 30)), "151");
  // Year 1 to 9999: 9998 * 365 days and 2424 leap days, beyond an int of minutes.
  EXPECT_EQ(expand("%f3", dt(9999, 1, 1), dt(1, 1, 1), dt(1, 1, 1)),
            std::to_string((9998LL * 365 + 2424) * 24));
  // Anything else stays as it is.
  for (const char* t : {"a%%b", "%x2", "end%", "%y", "%i", "%iz2%f4", ""})
    EXPECT_EQ(expand(t, dt(2000, 1, 1)), t);
  EXPECT_EQ(expand("%m3%y44", dt(2000, 1, 1)), "%m320004");
}

TEST(FileNamePrefix, DescriptorDirectoryAndEnvironment) {
  std::string out = "unchanged", missing;
  EXPECT_EQ(fnmexp(out, "^grid.dat", "/home/u/ctl/model.ctl"), 0);
  EXPECT_EQ(out, "/home/u/ctl/grid.dat");
  EXPECT_EQ(fnmexp(out, "^grid.dat", "model.ctl"), 0);
  EXPECT_EQ(out, "grid.dat");
  EXPECT_EQ(fnmexp(out, "^sub/grid.dat  * comment\n", "/a/b/m.ctl extra/x"), 0);
  EXPECT_EQ(out, "/a/b/sub/grid.dat");

  setenv("VEMRA_TEST_DATA", "/big", 1);
  EXPECT_EQ(fnmexp(out, "$VEMRA_TEST_DATA/t.grd", "/x/m.ctl", &missing), 0);
  EXPECT_EQ(out, "/big/t.grd");
  // Names longer than sixteen characters are looked up whole.
  setenv("VEMRA_A_RATHER_LONG_VARIABLE_NAME", "/long", 1);
  EXPECT_EQ(fnmexp(out, "$VEMRA_A_RATHER_LONG_VARIABLE_NAME/t.grd\n", "m.ctl"), 0);
  EXPECT_EQ(out, "/long/t.grd");
  // An unset variable is reported by name and out is left alone.
  unsetenv("VEMRA_TEST_UNSET");
  out = "before";
  EXPECT_EQ(fnmexp(out, "$VEMRA_TEST_UNSET/t.grd", "/x/m.ctl", &missing), 1);
  EXPECT_EQ(out, "before");
  EXPECT_EQ(missing, "VEMRA_TEST_UNSET");
  EXPECT_EQ(fnmexp(out, "$/t.grd", "/x/m.ctl", &missing), 1);
  EXPECT_EQ(out, "before");
}
