// Declarations and writes: the checks with their messages, and the refusals
// that keep files sound (no wrapped octets, no half-made records).
#include <cmath>
#include <cstring>

#include "base/mfcmn.h"
#include "data/gribbuild.h"
#include "lats/latsint.h"
#include "lats_support.h"

namespace {

using LatsChecks = latstest::Writer;
using latstest::expect_stderr;

std::vector<float> filled(size_t n, float v) { return std::vector<float>(n, v); }

int count_files() {
  int n = 0;
  for (latsFile* f = latsOpenFiles().latsFileHead; f; f = f->next) ++n;
  return n;
}

int grib_file(const std::string& p, int conv = LATS_GRIB_ONLY, int freq = LATS_HOURLY,
              int delta = 6, int cal = LATS_STANDARD) {
  return lats_create(p.c_str(), conv, cal, freq, delta, "pcmdi", "m", "c");
}

// A surface variable on a 2 x 2 grid.
int var_2x2(int fid, const char* name, int type = LATS_FLOAT, int stat = LATS_INSTANT) {
  return lats_var(fid, name, type, stat, latstest::grid({0, 10}, {0, 10}), 0, "");
}

TEST_F(LatsChecks, CreateRefusalsLeaveNoRecord) {
  int before = count_files();
  std::string err = latstest::stderr_of([&] { EXPECT_EQ(grib_file(path("a"), 3, -1), 0); });
  EXPECT_EQ(err, "LATS error (lats_create): LATS (lats) -->  Invalid frequency: -1\n");
  expect_stderr(0, "Center not found in center table: nowhere", [&] {
    return lats_create(path("a").c_str(), 2, LATS_STANDARD, 1, 1, "nowhere", "m", "c");
  });
  expect_stderr(0, "with nonzero delta", [&] { return grib_file(path("a"), 3, 1, 0); });
  EXPECT_EQ(grib_file(path("a"), 2, 1, 1, LATS_360), 0);
  EXPECT_EQ(count_files(), before);
  // Extensions: kept, or appended (also behind ".nc").
  int f1 = grib_file(path("x.grb")), f2 = grib_file(path("y.nc"));
  EXPECT_STREQ(latsFileLookup(f1)->path, path("x.grb").c_str());
  EXPECT_STREQ(latsFileLookup(f2)->path, path("y.nc.grb").c_str());
  EXPECT_EQ(lats_close(f1), 1);
  EXPECT_EQ(lats_close(f2), 1);
}

TEST_F(LatsChecks, GridRefusals) {
  auto lats = latstest::ramp(-90, 90, 3);
  expect_stderr(0, "must not wrap around",
                [&] { return latstest::grid(latstest::ramp(0, 90, 5), lats); });
  expect_stderr(0, "must be monotonic", [&] { return latstest::grid({0, 2, 1}, lats); });
  expect_stderr(0, "in the range -90 to 90", [&] { return latstest::grid({0, 1}, {-91, 0}); });
  double lon[2] = {0, 1}, lat[2] = {0, 1};
  ASSERT_GT(lats_grid("dup", LATS_LINEAR, 2, lon, 2, lat), 0);
  expect_stderr(0, "Duplicate grid name: dup",
                [&] { return lats_grid("dup", LATS_LINEAR, 2, lon, 2, lat); });
}

TEST_F(LatsChecks, LatitudeWeightsSumToTheSphere) {
  // Weights are the sine differences of the cell edges: over a pole-to-pole
  // grid they add up to 2 (the integral of cos over -90..90 in radians).
  int id = latstest::grid(latstest::ramp(0, 10, 36), latstest::ramp(85, -10, 18));
  int fid = grib_file(path("w"));
  ASSERT_GT(lats_var(fid, "ps", LATS_FLOAT, LATS_INSTANT, id, 0, ""), 0);
  const latsGrid* g = latsFileLookup(fid)->varlist->grid;
  double s = 0, lw = 0;
  for (int j = 0; j < g->nlat; ++j) s += g->latweight[j];
  for (int i = 0; i < g->nlon; ++i) lw += g->lonweight[i];
  EXPECT_NEAR(s, 2.0, 1e-12);
  EXPECT_NEAR(lw, 360.0, 1e-9);
  EXPECT_NEAR(g->latweight[0], 1.0 - std::sin(80 * 0.017453292519943295), 1e-12);
  lats_close(fid);
}

TEST_F(LatsChecks, TimeOrderLevelsAndDuplicateWrites) {
  int fid = grib_file(path("t"));
  double levs[2] = {1000, 500};
  int var = lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, latstest::grid({0, 10}, {0, 10}),
                     lats_vert_dim("p", "plev", 2, levs), "");
  ASSERT_GT(var, 0);
  auto data = filled(4, 280);
  auto write = [&](double lev, int hour) {
    return lats_write(fid, var, lev, 2000, 1, 1, hour, data.data());
  };
  EXPECT_EQ(write(1000, 12), 1);
  expect_stderr(0, "Level not found: 700.000000", [&] { return write(700, 12); });
  // The same time and level again: a warning, and the field is written again.
  EXPECT_EQ(write(500, 12), 1);
  expect_stderr(1, "too many levels written (3) than declared", [&] { return write(500, 12); });
  expect_stderr(0, "non-decreasing time order:\n   Last time written = 12Z 1 Jan 2000\n",
                [&] { return write(500, 9); });
  // Reported once per variable; the write still fails.
  EXPECT_EQ(latstest::stderr_of([&] { EXPECT_EQ(write(500, 6), 0); }), "");
  expect_stderr(0, "not a multiple of delta (6)", [&] { return write(1000, 16); });
  EXPECT_EQ(lats_close(fid), 1);
}

TEST_F(LatsChecks, RefusedDeclarationsLeaveNothingBehind) {
  int fid = grib_file(path("r"));
  // An unknown grid id fails after the variable was begun: its name is free again.
  expect_stderr(0, "Invalid grid ID: 999",
                [&] { return lats_var(fid, "ps", LATS_FLOAT, LATS_INSTANT, 999, 0, ""); });
  EXPECT_EQ(latsFileLookup(fid)->varlist, nullptr);
  expect_stderr(0, "Variable nosuch: not in the variable table",
                [&] { return var_2x2(fid, "nosuch"); });
  expect_stderr(0, "does not match predefined datatype",
                [&] { return var_2x2(fid, "ps", LATS_INT); });
  int var = var_2x2(fid, "ps");
  ASSERT_GT(var, 0);
  // A first write that fails does not end the define state.
  auto data = filled(4, 1e5f);
  expect_stderr(0, "Invalid month: 13",
                [&] { return lats_write(fid, var, 0, 2000, 13, 1, 0, data.data()); });
  EXPECT_GT(var_2x2(fid, "psl"), 0);
  EXPECT_EQ(lats_basetime(fid, 2000, 1, 1, 0), 1);
  EXPECT_EQ(lats_close(fid), 1);
}

TEST_F(LatsChecks, NumbersThatDoNotFitTheirOctetsAreRefused) {
  int fid = grib_file(path("o"), LATS_GRIB_ONLY, LATS_DAILY, 300);
  // 40-degree increments need more than the two octets of Di.
  int coarse = latstest::grid(latstest::ramp(0, 40, 9), {0, 40});
  expect_stderr(0, "can't be coded in GRIB",
                [&] { return lats_var(fid, "ps", LATS_FLOAT, LATS_INSTANT, coarse, 0, ""); });
  // An average over 300 days: P2 holds one octet.
  expect_stderr(0, "does not fit in one octet (P2)",
                [&] { return var_2x2(fid, "ps", LATS_FLOAT, LATS_AVERAGE); });
  // Fractional levels would collide once rounded, levels above 65535 wrap.
  int gid = latstest::grid({0, 10}, {0, 10});
  double half[2] = {1000, 999.5}, big[2] = {70000, 1000};
  int v1 = lats_vert_dim("half", "plev", 2, half), v2 = lats_vert_dim("big", "plev", 2, big);
  EXPECT_EQ(lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, gid, v1, ""), 0);
  expect_stderr(0, "Level 70000 of vertical dimension big can't be coded",
                [&] { return lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, gid, v2, ""); });
  // A value GRIB can't hold refuses the field.
  auto inf = filled(4, 1e5f);
  inf[2] = HUGE_VALF;
  int ok_var = var_2x2(fid, "ps");
  expect_stderr(0, "bds_set failed rc = 3",
                [&] { return lats_write(fid, ok_var, 0, 2000, 1, 1, 0, inf.data()); });
  EXPECT_EQ(lats_close(fid), 1);
}

TEST_F(LatsChecks, ClosingANeverWrittenFileIsSafe) {
  int fid = grib_file(path("empty"), LATS_VEMRA_GRIB);
  ASSERT_GT(fid, 0);
  EXPECT_EQ(lats_close(fid), 1);
  fid = grib_file(path("declared"), LATS_VEMRA_GRIB);
  ASSERT_GT(var_2x2(fid, "ps"), 0);
  expect_stderr(1, "Variable declared but never written", [&] { return lats_close(fid); });
  EXPECT_FALSE(vemra_test::file_exists(path("declared.ctl")));
}

// Convention 3 with the 365-day calendar: the descriptor says so, and the
// session's own calendar switch is left as it was.
TEST_F(LatsChecks, ClosingKeepsTheSessionCalendar) {
  int fid = grib_file(path("noleap"), LATS_VEMRA_GRIB, LATS_DAILY, 1, LATS_NOLEAP);
  int var = var_2x2(fid, "tas");
  auto data = filled(4, 288);
  ASSERT_EQ(lats_write(fid, var, 0, 2001, 2, 28, 0, data.data()), 1);
  ASSERT_EQ(lats_write(fid, var, 0, 2001, 3, 1, 0, data.data()), 1);
  mfcmn.calendar_365 = -999;
  StdoutCapture cap;
  EXPECT_EQ(lats_close(fid), 1);
  EXPECT_EQ(mfcmn.calendar_365, -999);
  std::string ctl = vemra_test::read_file(path("noleap.ctl"));
  EXPECT_NE(ctl.find("options   365_day_calendar"), std::string::npos) << ctl;
  EXPECT_NE(ctl.find("tdef 2 linear 0Z28feb2001  1dy\n"), std::string::npos) << ctl;
  EXPECT_NE(ctl.find("tas       0   11,105,  2 Surface (2m) air temperature [K]\n"),
            std::string::npos);
}

// A forecast file whose times lie at base + forecast hour: found only while
// the index builder honours forecast times.
TEST_F(LatsChecks, IndexBuilderForgetsTheNoForecastSwitch) {
  int fid = grib_file(path("fc"), LATS_VEMRA_GRIB, LATS_FORECAST_HOURLY, 6);
  ASSERT_EQ(lats_basetime(fid, 2000, 1, 1, 0), 1);
  int var = var_2x2(fid, "ps");
  auto data = filled(4, 1e5f);
  ASSERT_EQ(lats_write(fid, var, 0, 0, 0, 0, 6, data.data()), 1);
  ASSERT_EQ(lats_write(fid, var, 0, 0, 0, 0, 12, data.data()), 1);
  StdoutCapture cap;
  EXPECT_EQ(lats_close(fid), 1);
  std::string ctl = vemra_test::read_file(path("fc.ctl"));
  EXPECT_NE(ctl.find("tdef 2 linear 6Z1jan2000  6hr"), std::string::npos) << ctl;
  // Forecast times ignored: nothing lands on the axis.
  EXPECT_EQ(latsgribmap(path("fc.ctl").c_str(), 1), 0);
  // The builder's next run, on its own, honours them again.
  EXPECT_EQ(gribmap(), 1);
}

}  // namespace
