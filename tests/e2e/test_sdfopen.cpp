// "sdfopen" through the program: netCDF files made by ncgen from the CDL in
// tests/sdf/cdl, read back and checked against ncdump and hand values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "sdf_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;
using sdffiles::make_nc;
using sdffiles::ncdump_values;
using sdffiles::printed_values;

namespace {

void expect_near_all(const std::vector<double>& got, const std::vector<double>& want, double undef,
                     const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < want.size(); i++) {
    if (std::isnan(want[i]))
      EXPECT_EQ(got[i], undef) << what << " at " << i;
    else
      EXPECT_NEAR(got[i], want[i], 1e-4 * std::max(1.0, std::fabs(want[i]))) << what << " at " << i;
  }
}

// Runs the session and returns the values printed by the n-th "d VAR".
std::vector<double> nth_print(const std::string& out, const std::string& cmd, int n) {
  size_t at = 0;
  for (int i = 0; i <= n; i++) {
    at = out.find("ka-> " + cmd + "\n", i ? at + 1 : 0);
    if (at == std::string::npos) return {};
  }
  return printed_values(out.substr(at), cmd);
}

}  // namespace

// The metadata becomes the data set: the file's title, its global linear
// axes, the 6-hourly time axis, and the descriptor rebuilt from them; the
// longitudes wrap.
TEST(Sdfopen, FileAndDescriptorFromTheMetadata) {
  TempDir dir;
  make_nc(dir, "latlon", "a.nc");
  RunResult r = run_batch(
      "sdfopen a.nc\nq file\nq ctlinfo\nset gxout print\nset t 2\n"
      "set lon -90 90\nset lat -22.5\nd tas\nset lon 405\nset lat -67.5 67.5\n"
      "d tas\n",
      dir.path());
  EXPECT_NE(answer(r.out, "sdfopen a.nc")
                .find("SDF file a.nc is open as file 1\n"
                      "LON set to 0 360 \n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(answer(r.out, "q file"),
            "File 1 : lat-lon test field\n  Descriptor: a.nc\n  Binary: a.nc\n"
            "  Type = Gridded\n  Xsize = 8  Ysize = 4  Zsize = 1  Tsize = 3\n"
            "  Number of Variables = 2\n    tas 0 -999 near-surface air temperature\n"
            "    ps 0 -999 \n");
  EXPECT_EQ(answer(r.out, "q ctlinfo"),
            "dset a.nc\ntitle lat-lon test field\nundef -999\n"
            "xdef 8 linear 0 45\nydef 4 linear -67.5 45\nzdef 1 linear 0 0\n"
            "tdef 3 linear 00Z01JAN2000 360mn\nvars 2\n"
            "tas 0 -999 near-surface air temperature\nps 0 -999 \n");
  // The axis closes the circle: longitudes -90..90 come round the date line
  // from the eastern columns (row 2 of time 2 holds 111..118 at lon
  // 0..315), and a fixed longitude past 360 (405 is 45) wraps too.
  expect_near_all(nth_print(r.out, "d tas", 0), {117, 118, 111, 112, 113}, -999, "wrapped row");
  expect_near_all(nth_print(r.out, "d tas", 1), {102, 112, 122, 132}, -999, "fixed lon past 360");
}

// Every time of the variable equals what ncdump prints, for the classic
// and the netCDF-4 form of the same CDL; _FillValue points are undefined.
TEST(Sdfopen, ValuesEqualNcdumpInBothFormats) {
  for (const std::string kind : {"", "nc4"}) {
    TempDir dir;
    std::string f = make_nc(dir, "latlon", "a.nc", kind);
    std::vector<double> all = ncdump_values(f, "tas"), ps = ncdump_values(f, "ps");
    ASSERT_EQ(all.size(), 96u);
    ASSERT_EQ(ps.size(), 96u);
    std::string in = "sdfopen a.nc\nset gxout print\nset x 1 8\n";
    for (int t = 1; t <= 3; t++) in += "set t " + std::to_string(t) + "\nd tas\nd ps\n";
    RunResult r = run_batch(in, dir.path());
    for (int t = 0; t < 3; t++) {
      std::vector<double> want(all.begin() + t * 32, all.begin() + (t + 1) * 32);
      for (double& w : want)
        if (w == -999) w = std::nan("");
      expect_near_all(nth_print(r.out, "d tas", t), want, -999, kind + " tas");
      // Packed shorts in whole rows: raw * 0.5 + 1000, both masks. Raw -2010
      // would unpack to the missing code -5, so missing points are marked
      // with the code unpacked, -5 * 0.5 + 1000.
      std::vector<double> p(ps.begin() + t * 32, ps.begin() + (t + 1) * 32);
      for (double& w : p) w = (w == -5 || std::isnan(w)) ? std::nan("") : w * 0.5 + 1000;
      expect_near_all(nth_print(r.out, "d ps", t), p, 997.5, kind + " ps");
    }
  }
}

namespace {

// Raw shorts of one horizontal grid, stored north to south, unpacked by
// hand and turned south to north; raw values in `missing` are NaN.
std::vector<double> unpack_rows(const std::vector<double>& raw, size_t first, int ny, int nx,
                                double scale, double offset, std::vector<double> missing) {
  std::vector<double> out;
  for (int y = ny - 1; y >= 0; y--)
    for (int x = 0; x < nx; x++) {
      double r = raw[first + size_t(y * nx + x)];
      bool miss = false;
      for (double m : missing) miss |= r == m;
      out.push_back(miss ? std::nan("") : double(float(r) * float(scale) + float(offset)));
    }
  return out;
}

}  // namespace

// Packed shorts unpack as ncdump's raw values times the scale plus the
// offset; missing_value and _FillValue both mask, a float missing_value on
// short data masks the short of that value, and without any the short fill
// -32767 does. Latitudes stored north to south come out south to north.
TEST(Sdfopen, PackedShortsMissingValuesAndReversedLatitudes) {
  TempDir dir;
  std::string f = make_nc(dir, "packed", "p.nc");
  std::vector<double> ta = ncdump_values(f, "ta"), zg = ncdump_values(f, "zg"),
                      ps = ncdump_values(f, "ps");
  ASSERT_EQ(ta.size(), 72u);
  RunResult r = run_batch(
      "sdfopen p.nc\nq ctlinfo\nset gxout print\nset lev 850\nd ta\nset lev 500\nset t 2\nd ta\n"
      "set t 1\nd zg\nd ps\nd cnt\nd sw\n",
      dir.path());
  std::string ctl = answer(r.out, "q ctlinfo");
  EXPECT_NE(ctl.find("ydef 4 linear -60 40\nzdef 3 levels 1000 850 500\n"
                     "tdef 2 linear 00Z01MAR2000 1440mn\nvars 4\n"),
            std::string::npos)
      << ctl;
  // ta: time 1 level 2 starts at 12, time 2 level 3 at 60; both masks apply.
  expect_near_all(nth_print(r.out, "d ta", 0),
                  unpack_rows(ta, 12, 4, 3, 0.01, 273.15, {-9999, -32767}), -9999, "ta 850");
  expect_near_all(nth_print(r.out, "d ta", 1),
                  unpack_rows(ta, 60, 4, 3, 0.01, 273.15, {-9999, -32767}), -9999, "ta 500 t2");
  expect_near_all(nth_print(r.out, "d zg", 0), unpack_rows(zg, 0, 4, 3, 0.5, 10, {-1000, -32767}),
                  -32767, "zg");
  expect_near_all(nth_print(r.out, "d ps", 0), unpack_rows(ps, 0, 4, 3, 2, 0, {-32767}), -32767,
                  "ps t1");
  EXPECT_NE(answer(r.out, "d cnt").find("SDF data variable has unsupported packed data type.\n"),
            std::string::npos);
  // Stored longitude first: refused at open, never read transposed.
  EXPECT_NE(answer(r.out, "sdfopen p.nc").find("SDF:  variable sw does not store its dimensions"),
            std::string::npos);
  EXPECT_NE(answer(r.out, "d sw").find("not a variable"), std::string::npos);
}

namespace {

// A one-variable file whose time axis has the units and the two values.
std::string time_file(const TempDir& dir, const std::string& units, const std::string& values,
                      const std::string& calendar = "") {
  std::string cdl =
      "netcdf t {\ndimensions:\n time = 2 ;\n lat = 2 ;\n lon = 2 ;\nvariables:\n"
      " double time(time) ;\n  time:units = \"" +
      units + "\" ;\n" + (calendar.empty() ? "" : "  time:calendar = \"" + calendar + "\" ;\n") +
      " float lat(lat) ;\n  lat:units = \"degrees_north\" ;\n"
      " float lon(lon) ;\n  lon:units = \"degrees_east\" ;\n"
      " float v(time, lat, lon) ;\ndata:\n time = " +
      values +
      " ;\n"
      " lat = 0, 1 ;\n lon = 0, 1 ;\n v = 1, 2, 3, 4, 5, 6, 7, 8 ;\n}\n";
  write_file(dir.file("t.cdl"), cdl);
  EXPECT_TRUE(sdffiles::sh("ncgen -o " + dir.file("t.nc") + " " + dir.file("t.cdl")));
  RunResult r = run_batch("sdfopen t.nc\nq ctlinfo\n", dir.path());
  std::string ctl = answer(r.out, "q ctlinfo");
  size_t p = ctl.find("tdef ");
  if (p == std::string::npos) return answer(r.out, "sdfopen t.nc");
  return ctl.substr(p, ctl.find('\n', p) - p);
}

}  // namespace

// CF time axes in every unit, stepped in minutes or months; the first time
// is dated on the file's own calendar.
TEST(Sdfopen, TimeAxesInEveryUnit) {
  TempDir dir;
  struct c {
    std::string units, values, calendar, want;
  };
  const c cases[] = {
      {"seconds since 2000-01-01 00:00:00", "0, 3600", "", "tdef 2 linear 00Z01JAN2000 60mn"},
      {"minutes since 2000-01-01", "90, 120", "", "tdef 2 linear 01:30Z01JAN2000 30mn"},
      {"hours since 1990-06-01 12:00", "0, 6", "", "tdef 2 linear 12Z01JUN1990 360mn"},
      {"hours since 2000-01-01", "0, 720", "", "tdef 2 linear 00Z01JAN2000 1mo"},
      {"days since 2000-01-01", "0.25, 0.5", "", "tdef 2 linear 06Z01JAN2000 360mn"},
      {"days since 2000-01-01", "14.5, 45", "", "tdef 2 linear 12Z15JAN2000 1mo"},
      {"months since 2000-01-01", "5, 6", "", "tdef 2 linear 00Z01JUN2000 1mo"},
      {"years since 1990-01-01", "0, 1", "", "tdef 2 linear 00Z01JAN1990 12mo"},
      {"days since 1850-01-01", "54809, 54810", "365_day", "tdef 2 linear 00Z01MAR2000 1440mn"},
      {"days since 1850-01-01", "54809, 54810", "standard", "tdef 2 linear 00Z24JAN2000 1440mn"},
      // The first time on the file's own calendar, stepped on the session's:
      // 360-day years (165 * 360 = 59400, 15 days more; 150 * 360 = 54000,
      // 56 days more; 30 February is taken as 1 March; one day before the
      // origin), the proleptic Gregorian days from year 1 (730119 is 1
      // January 2000, and 17522856 hours its midnight), Julian years (37
      // leap days from 1850 to 1999, one more than Gregorian ones) and
      // 366-day years (149 * 366 = 54534, 253 days more).
      {"days since 1850-01-01", "59415, 59445", "360_day", "tdef 2 linear 00Z16JAN2015 1mo"},
      {"days since 1850-01-01", "54056, 54057", "360_day", "tdef 2 linear 00Z27FEB2000 1440mn"},
      {"days since 1850-01-01", "54059, 54060", "360_day", "tdef 2 linear 00Z01MAR2000 1440mn"},
      {"days since 1850-01-01 12:00", "54787.25, 54788", "360_day",
       "tdef 2 linear 18Z08MAR2002 1080mn"},
      {"days since 2000-01-01", "-1, 0", "360_day", "tdef 2 linear 00Z30DEC1999 1440mn"},
      {"days since 0001-01-01", "730119, 730120", "proleptic_gregorian",
       "tdef 2 linear 00Z01JAN2000 1440mn"},
      {"hours since 0001-01-01 00:00:00", "17522862, 17522868", "proleptic_gregorian",
       "tdef 2 linear 06Z01JAN2000 360mn"},
      {"days since 1850-01-01", "54787, 54788", "julian", "tdef 2 linear 00Z01JAN2000 1440mn"},
      {"days since 1850-01-01", "54787, 54788", "all_leap", "tdef 2 linear 00Z10SEP1999 1440mn"},
      {"days since 1850-01-01", "54787, 54788", "366_day", "tdef 2 linear 00Z10SEP1999 1440mn"},
      {"days since 1850-01-01", "54787, 54788", "standard", "tdef 2 linear 00Z02JAN2000 1440mn"},
  };
  for (const c& k : cases)
    EXPECT_EQ(time_file(dir, k.units, k.values, k.calendar), k.want)
        << k.units << " " << k.calendar;
  // Steps below a minute or beyond a month of seconds are refused.
  EXPECT_NE(
      time_file(dir, "seconds since 2000-01-01", "0, 30")
          .find("SDF:  Time unit has too small an increment for use with Vemra (min. 1 minute).\n"),
      std::string::npos);
  EXPECT_NE(
      time_file(dir, "seconds since 2000-01-01", "0, 34560000")
          .find("SDF:  Attempt at > monthly interval with 'seconds since' time units attribute.\n"),
      std::string::npos);
}

namespace {

// Three daily files of 6-hourly times: the first from the CDL, the second
// unpacked, shifted a day, raised by 10 and packed again by the peer tool
// (another scale and offset, a float _FillValue), the third without the
// variable. Also writes the peer tool's unpacked copies u1.nc and u2.nc.
bool make_series(const TempDir& dir) {
  std::string d = dir.path() + "/";
  make_nc(dir, "daily", "d01.nc");
  return sdffiles::sh("ncpdq -O -U " + d + "d01.nc " + d + "u1.nc") &&
         sdffiles::sh("ncap2 -O -s 'time=time+24;ta=ta+10' " + d + "u1.nc " + d + "u2.nc") &&
         sdffiles::sh("ncpdq -O -P all_new " + d + "u2.nc " + d + "d02.nc") &&
         sdffiles::sh("ncks -O -x -v ta " + d + "d01.nc " + d + "x.nc") &&
         sdffiles::sh("ncap2 -O -s 'time=time+48' " + d + "x.nc " + d + "d03.nc");
}

}  // namespace

// A template over files packed differently reads each file with its own
// packing and masks, one time at a time or across the file boundary; a file
// without the variable gives an undefined grid, and the next read starts
// again from the first file.
TEST(Sdfopen, TemplateOverFilesPackedDifferently) {
  TempDir dir;
  ASSERT_TRUE(make_series(dir));
  std::vector<double> u1 = ncdump_values(dir.file("u1.nc"), "ta"),
                      u2 = ncdump_values(dir.file("u2.nc"), "ta");
  ASSERT_EQ(u1.size(), 24u);
  ASSERT_EQ(u2.size(), 24u);
  std::string in = "sdfopen " + dir.file("d01.nc") + " d%d2.nc 12\nq file\nset gxout print\n";
  for (int t : {1, 6, 4, 8, 9, 2}) in += "set t " + std::to_string(t) + "\nd ta\n";
  // x fixed, time varying across the boundary of the first two files.
  in += "set lon 110\nset lat 10\nset t 3 6\nd ta\n";
  RunResult r = run_batch(in, dir.path());
  EXPECT_NE(r.out.find("Tsize = 12"), std::string::npos);
  auto grid = [&](const std::vector<double>& u, int t) {
    return std::vector<double>(u.begin() + t * 6, u.begin() + t * 6 + 6);
  };
  const double undef = -32767;
  expect_near_all(nth_print(r.out, "d ta", 0), grid(u1, 0), undef, "t1");
  expect_near_all(nth_print(r.out, "d ta", 1), grid(u2, 1), undef, "t6");
  expect_near_all(nth_print(r.out, "d ta", 2), grid(u1, 3), undef, "t4");
  expect_near_all(nth_print(r.out, "d ta", 3), grid(u2, 3), undef, "t8");
  std::vector<double> missing = nth_print(r.out, "d ta", 4);
  EXPECT_EQ(missing, std::vector<double>(6, undef));
  EXPECT_NE(r.out.find("SDF templating:  Couldn't find variable ta in SDF file.\n"),
            std::string::npos);
  expect_near_all(nth_print(r.out, "d ta", 5), grid(u1, 1), undef, "t2 after the failed switch");
  // lon 110, lat 10 is element 4 of each grid.
  expect_near_all(nth_print(r.out, "d ta", 6), {u1[2 * 6 + 4], u1[3 * 6 + 4], u2[4], u2[6 + 4]},
                  undef, "across files");
}

// Every failed switch closes the file it opened: with few descriptors a
// long run of failing switches still leaves the series readable.
TEST(Sdfopen, FailedSwitchesLeaveNoFileOpen) {
  TempDir dir;
  ASSERT_TRUE(make_series(dir));
  std::string in = "sdfopen d01.nc d%d2.nc 12\nset gxout print\n";
  for (int i = 0; i < 80; i++) in += "set t 9\nd ta\nset t 1\nd ta\n";
  in += "set t 5\nd ta\n";
  std::string script = dir.file("run.sh");
  write_file(script, "ulimit -n 40\nexec \"" + std::string(VEMRA_BIN) + "\" -b -l\n");
  write_file(dir.file("in.txt"), in);
  ASSERT_EQ(
      std::system(("cd " + dir.path() + " && sh run.sh < in.txt > out.txt 2>/dev/null").c_str()),
      0);
  std::string out = read_file(dir.file("out.txt"));
  std::vector<double> u1 = ncdump_values(dir.file("d01.nc"), "ta");
  std::vector<double> last = printed_values(out.substr(out.rfind("ka-> d ta\n")), "d ta");
  EXPECT_EQ(last.size(), 6u) << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n') > 400, true);
  EXPECT_EQ(out.find("Open of new SDF file failed"), std::string::npos);
}

// A read that fails names where it failed: #2 from a file of the series
// that was not open yet, #1 from the file already open.
TEST(Sdfopen, FailedReadInASeriesNamesTheFileState) {
  TempDir dir;
  make_nc(dir, "daily", "d01.nc");
  const std::string d = dir.path() + "/";
  // The second day holds two of its four times.
  ASSERT_TRUE(sdffiles::sh("ncks -O -d time,0,1 " + d + "d01.nc " + d + "x.nc") &&
              sdffiles::sh("ncap2 -O -s 'time=time+24' " + d + "x.nc " + d + "d02.nc"));
  RunResult r = run_batch(
      "sdfopen d01.nc d%d2.nc 8\nset gxout print\nset t 7\nd ta\nset t 5\nd ta\n"
      "set t 8\nd ta\n",
      dir.path());
  EXPECT_EQ(answer(r.out, "d ta").rfind("Failure reading SDF data.  #2\n", 0), 0u) << r.out;
  size_t second = r.out.find("ka-> set t 8\n");
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(answer(r.out.substr(second), "d ta").rfind("Failure reading SDF data.  #1\n", 0), 0u)
      << r.out;
}

// What goes to standard error comes after what was printed before it, in a
// log that takes both streams.
TEST(Sdfopen, ErrorStreamLinesFollowWhatWasPrintedBefore) {
  TempDir dir;
  make_nc(dir, "daily", "d01.nc");
  write_file(dir.file("a.cmd"), "sdfopen d01.nc\nset gxout print\nd ta\n");
  write_file(dir.file("b.cmd"), "sdfopen nothere.nc\n");
  write_file(dir.file("in.txt"), "exec a.cmd\nexec b.cmd\n");
  ASSERT_EQ(std::system(("cd " + dir.path() + " && \"" + std::string(VEMRA_BIN) +
                         "\" -b -l < in.txt > log.txt 2>&1")
                            .c_str()),
            0);
  std::string log = read_file(dir.file("log.txt"));
  EXPECT_NE(log.find("d ta\ngxstart=0, gxstop=2"), std::string::npos) << log;
  EXPECT_NE(log.find("Scanning self-describing file:  nothere.nc\nnc_open failure:\n"),
            std::string::npos)
      << log;
}

namespace {

// The value ncdump shows for grid point (x, y, t) of a variable stored
// north to south on a circle of nx columns (1-based grid indices, x any
// integer), unpacked by hand; NaN where a mask applies.
double stored(const std::vector<double>& raw, int nx, int ny, int x, int y, int t, double scale,
              double offset, const std::vector<double>& masks) {
  const int col = ((x - 1) % nx + nx) % nx;
  const double r = raw[size_t((t - 1) * nx * ny + (ny - y) * nx + col)];
  for (double m : masks)
    if (r == m) return std::nan("");
  if (std::isnan(r)) return r;
  return scale == 1 && offset == 0 ? r : double(float(r) * float(scale) + float(offset));
}

void expect_grid(const std::vector<double>& got, const std::vector<double>& want, double undef,
                 const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < want.size(); i++) {
    if (std::isnan(want[i]))
      EXPECT_NEAR(got[i], undef, 1e-5 * std::fabs(undef)) << what << " at " << i;
    else
      EXPECT_NEAR(got[i], want[i], 1e-4 * std::max(1.0, std::fabs(want[i]))) << what << " at " << i;
  }
}

}  // namespace

// A global grid stored north to south, read over one and a half circles:
// double, packed short and float variables each come round the date line
// with their masks and rows south to north, one time or three at once; the
// bounds trace gives one pair of lines a time.
TEST(Sdfopen, WrappedReversedRowsOfEveryStoredType) {
  TempDir dir;
  std::string f = make_nc(dir, "globe", "g.nc");
  const std::vector<double> dv = ncdump_values(f, "dv"), sp = ncdump_values(f, "sp"),
                            tf = ncdump_values(f, "tf");
  ASSERT_EQ(dv.size(), 36u);
  RunResult r = run_batch(
      "sdfopen g.nc\nset gxout print\nset lon -180 360\nset lat -45 45\n"
      "set t 2\nd dv\nd sp\nd tf\nset lat 0\nset t 1 3\nd dv\nd sp\nd tf\n",
      dir.path());
  struct var {
    const char* name;
    const std::vector<double>& raw;
    double scale, offset, undef;
    std::vector<double> masks;
  };
  // Raw -404 of sp would unpack to its missing code -1, so its grids mark
  // missing points with the code unpacked: -1 * 0.25 + 100.
  const var vars[] = {{"dv", dv, 1, 0, -999, {-999}},
                      {"sp", sp, 0.25, 100, 99.75, {-1, -2}},
                      {"tf", tf, 1, 0, 9.9692099683868690e36, {}}};
  for (const var& v : vars) {
    const std::string cmd = std::string("d ") + v.name;
    // x from -1 to 5 is longitude -180 to 360; y 1 to 3 at time 2.
    std::vector<double> want;
    for (int y = 1; y <= 3; y++)
      for (int x = -1; x <= 5; x++)
        want.push_back(stored(v.raw, 4, 3, x, y, 2, v.scale, v.offset, v.masks));
    expect_grid(nth_print(r.out, cmd, 0), want, v.undef, cmd + " x-y");
    // The equator (y 2) over times 1 to 3.
    want.clear();
    for (int t = 1; t <= 3; t++)
      for (int x = -1; x <= 5; x++)
        want.push_back(stored(v.raw, 4, 3, x, 2, t, v.scale, v.offset, v.masks));
    expect_grid(nth_print(r.out, cmd, 1), want, v.undef, cmd + " x-t");
  }
  // Grid indices 0-based in the trace: the three times of the x-t reads.
  EXPECT_NE(r.err.find("gxstart=-2, gxstop=4, gystart=1, gystop=1.\n"
                       "gzstart=0, gzstop=0, gtstart=0, gtstop=0.\n"
                       "gxstart=-2, gxstop=4, gystart=1, gystop=1.\n"
                       "gzstart=0, gzstop=0, gtstart=1, gtstop=1.\n"
                       "gxstart=-2, gxstop=4, gystart=1, gystop=1.\n"
                       "gzstart=0, gzstop=0, gtstart=2, gtstop=2.\n"),
            std::string::npos)
      << r.err;
}

// Floats stored in the grid's order over several times, and a request that
// runs past the poles: the rows inside the file hold ncdump's values (with
// the _FillValue masked), the rows outside are undefined.
TEST(Sdfopen, BlocksOfTimesAndRowsPastTheFile) {
  for (const std::string kind : {"", "nc4"}) {
    TempDir dir;
    std::string f = make_nc(dir, "latlon", "a.nc", kind);
    std::vector<double> tas = ncdump_values(f, "tas");
    ASSERT_EQ(tas.size(), 96u);
    RunResult r = run_batch(
        "sdfopen a.nc\nset gxout print\nset x 2 7\nset lat 22.5\nset t 1 3\n"
        "d tas\nset t 3\nset lat -112.5 112.5\nd tas\n",
        dir.path());
    auto at = [&](int x, int y, int t) {
      double v = tas[size_t((t - 1) * 32 + (y - 1) * 8 + x - 1)];
      return v == -999 ? std::nan("") : v;
    };
    std::vector<double> want;
    for (int t = 1; t <= 3; t++)
      for (int x = 2; x <= 7; x++) want.push_back(at(x, 3, t));
    expect_grid(nth_print(r.out, "d tas", 0), want, -999, kind + " x-t");
    // y 0 to 5 of a 4-row file.
    want.clear();
    for (int y = 0; y <= 5; y++)
      for (int x = 2; x <= 7; x++) want.push_back(y < 1 || y > 4 ? std::nan("") : at(x, y, 3));
    expect_grid(nth_print(r.out, "d tas", 1), want, -999, kind + " past the poles");
  }
}

namespace {

// File k (1-based) of a daily series on a 2 x 2 grid: `times` six-hourly
// times from day k of January 2000, v = 100 t + 10 y + x at time t of the
// series (grid y and x), and, unless left out, w = 1000 + t.
void series_file(const TempDir& dir, int k, int times, bool with_w) {
  std::string t, v, w;
  for (int i = 0; i < times; i++) {
    const int tt = (k - 1) * times + i + 1;
    t += (i ? ", " : "") + std::to_string(24 * (k - 1) + 6 * i);
    for (int y = 1; y <= 2; y++)
      for (int x = 1; x <= 2; x++) {
        v += (v.empty() ? "" : ", ") + std::to_string(100 * tt + 10 * y + x);
        w += (w.empty() ? "" : ", ") + std::to_string(1000 + tt);
      }
  }
  const std::string name = "f0" + std::to_string(k);
  write_file(dir.file(name + ".cdl"),
             "netcdf f {\ndimensions:\n time = " + std::to_string(times) +
                 " ;\n lat = 2 ;\n lon = 2 ;\nvariables:\n double time(time) ;\n"
                 "  time:units = \"hours since 2000-01-01\" ;\n float lat(lat) ;\n"
                 "  lat:units = \"degrees_north\" ;\n float lon(lon) ;\n"
                 "  lon:units = \"degrees_east\" ;\n float v(time, lat, lon) ;\n" +
                 (with_w ? " float w(time, lat, lon) ;\n" : "") + "data:\n time = " + t +
                 " ;\n lat = 0, 1 ;\n lon = 0, 1 ;\n v = " + v + " ;\n" +
                 (with_w ? " w = " + w + " ;\n" : "") + "}\n");
  EXPECT_TRUE(sdffiles::sh("ncgen -o " + dir.file(name + ".nc") + " " + dir.file(name + ".cdl")));
}

}  // namespace

// A variable that one file of a series lacks is read from the files that
// hold it, whichever file the reads before went through: its times in that
// file alone are undefined. Through sdfopen and through xdfopen.
TEST(Sdfopen, AVariableOneFileLacksStaysReadableInTheOthers) {
  TempDir dir;
  for (int k = 1; k <= 3; k++) series_file(dir, k, 4, k != 2);
  write_file(dir.file("f.ctl"),
             "dset ^f%d2.nc\noptions template\ntdef time 12 linear 00Z01JAN2000 6hr\n");
  const std::string reads =
      "set gxout print\nset x 1\nset y 1\nset t 1 12\nd v\nset x 1 2\nset y 1 2\nset t 1\nd w\n"
      "set t 9\nd w\nset t 5\nd v\nd w\nset x 2\nset y 2\nset t 1 12\nd w\n";
  for (const std::string open : {"sdfopen f01.nc f%d2.nc 12", "xdfopen f.ctl"}) {
    RunResult r = run_batch(open + "\n" + reads, dir.path());
    std::vector<double> v;
    for (int t = 1; t <= 12; t++) v.push_back(100 * t + 11);
    EXPECT_EQ(nth_print(r.out, "d v", 0), v) << open << r.out;
    EXPECT_EQ(nth_print(r.out, "d w", 0), std::vector<double>(4, 1001)) << open << r.out;
    EXPECT_EQ(nth_print(r.out, "d w", 1), std::vector<double>(4, 1009)) << open;
    // Time 5 lies in the second file: v is there, w is not.
    EXPECT_EQ(nth_print(r.out, "d v", 1), (std::vector<double>{511, 512, 521, 522})) << open;
    const std::vector<double> none = nth_print(r.out, "d w", 2);
    ASSERT_EQ(none.size(), 4u) << open << r.out;
    EXPECT_NE(none[0], 1005) << open;
    EXPECT_EQ(none, std::vector<double>(4, none[0])) << open;
    // The whole series at one point: the second file's times undefined.
    std::vector<double> w;
    for (int t = 1; t <= 12; t++) w.push_back(t >= 5 && t <= 8 ? none[0] : 1000 + t);
    EXPECT_EQ(nth_print(r.out, "d w", 3), w) << open << r.out;
    // Each message about w is the series' own, for the file that lacks it.
    auto count = [&](const std::string& what) {
      size_t n = 0;
      for (size_t p = r.out.find(what); p != std::string::npos; p = r.out.find(what, p + 1)) n++;
      return n;
    };
    EXPECT_EQ(count("Couldn't find variable w in SDF file.\n"),
              count("SDF templating:  Couldn't find variable w in SDF file.\n"))
        << open << r.out;
    EXPECT_GE(count("SDF templating:  Couldn't find variable w in SDF file.\n"), 2u) << open;
  }
}

// A series whose first file holds one time has no known step: sdfopen
// refuses it at open and names the way that reads it, a descriptor with
// the template option and a tdef line, through which each day's file is
// read at its time.
TEST(Sdfopen, TemplateOverOneTimePerFileIsRefused) {
  TempDir dir;
  for (int k = 1; k <= 3; k++) series_file(dir, k, 1, true);
  write_file(dir.file("f.ctl"),
             "dset ^f%d2.nc\noptions template\ntdef time 3 linear 00Z01JAN2000 1dy\n");
  RunResult r = run_batch(
      "sdfopen f01.nc f%d2.nc 3\nq files\nxdfopen f.ctl\nset gxout print\nset t 3\nd v\n"
      "sdfopen f01.nc f%d2.nc 1\nq files\n",
      dir.path());
  EXPECT_NE(answer(r.out, "sdfopen f01.nc f%d2.nc 3")
                .find("SDFOPEN error:  The first file of the template series holds one time, so "
                      "the time step of the series is unknown.\n"
                      "  Open the series with xdfopen: a descriptor with \"options template\" and "
                      "a \"tdef\" line that gives the step.\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(answer(r.out, "q files"), "No files open\n") << r.out;
  // File 3 holds time 3: v = 300 + 10 y + x.
  EXPECT_EQ(printed_values(r.out, "d v"), (std::vector<double>{311, 312, 321, 322})) << r.out;
  // A series of one time needs no step.
  EXPECT_NE(answer(r.out, "sdfopen f01.nc f%d2.nc 1").find("is open as file 2\n"),
            std::string::npos)
      << r.out;
}

// Packed data are told missing by their stored code: a value of data that
// unpacks to the missing code as stored (-5000 * 2 = -10000, with
// missing_value -10000) is data, in the grid and in arithmetic, and the
// missing points are marked by a value no data reach.
TEST(Sdfopen, PackedDataEqualToTheStoredMissingCodeAreData) {
  TempDir dir;
  write_file(dir.file("p.cdl"),
             "netcdf p {\ndimensions:\n time = 1 ;\n lat = 2 ;\n lon = 3 ;\nvariables:\n"
             " double time(time) ;\n  time:units = \"hours since 2000-01-01\" ;\n"
             " float lat(lat) ;\n  lat:units = \"degrees_north\" ;\n float lon(lon) ;\n"
             "  lon:units = \"degrees_east\" ;\n short p(time, lat, lon) ;\n"
             "  p:scale_factor = 2.f ;\n  p:missing_value = -10000s ;\ndata:\n time = 0 ;\n"
             " lat = 0, 1 ;\n lon = 0, 1, 2 ;\n p = -5000, 7, -10000, 100, -32767, 3 ;\n}\n");
  ASSERT_TRUE(sdffiles::sh("ncgen -o " + dir.file("p.nc") + " " + dir.file("p.cdl")));
  RunResult r = run_batch("sdfopen p.nc\nset gxout print\nd p\nd p+1\n", dir.path());
  const std::vector<double> raw = ncdump_values(dir.file("p.nc"), "p");
  ASSERT_EQ(raw.size(), 6u);
  const std::vector<double> got = printed_values(r.out, "d p"),
                            plus = printed_values(r.out, "d p+1");
  ASSERT_EQ(got.size(), 6u) << r.out;
  ASSERT_EQ(plus.size(), 6u) << r.out;
  // The missing code and the short fill mark points 3 and 5.
  const double undef = got[2];
  EXPECT_EQ(got[4], undef);
  EXPECT_NE(undef, -10000);
  for (size_t i : {0, 1, 3, 5}) {
    EXPECT_EQ(got[i], raw[i] * 2) << i;
    EXPECT_EQ(plus[i], raw[i] * 2 + 1) << i;
  }
  EXPECT_EQ(plus[2], plus[4]);
  EXPECT_NE(plus[2], undef + 1);
}

// A float or double value is missing within 1e-5 of a missing value, or
// within 1e-5 of the missing value's size when that is smaller (exactly at
// 0): small values beside a zero or tiny missing value are data, and beside
// a missing value of 1 or more the band is 1e-5 as ever. A NaN missing
// value names only the NaN points. Ten values a row: eight through the
// conversion of whole rows, two after it one by one; -1 marks an undefined
// point.
TEST(Sdfopen, SmallValuesBesideASmallMissingValueAreData) {
  const struct {
    const char* type;
    const char* attributes;
    const char* values;
    std::vector<double> want;
    const char* undef = nullptr;  // opened through a descriptor with this undef
  } rows[] = {
      {"float",
       "v:missing_value = 0.f ;",
       "3e-6, 1.2e-5, 0, 8e-7, -2e-6, 1, 0, 2e-5, 0, 4e-6",
       {3e-6, 1.2e-5, -1, 8e-7, -2e-6, 1, -1, 2e-5, -1, 4e-6}},
      {"double",
       "v:missing_value = 0. ;",
       "3e-6, 0, 1e-30, -8e-7, 0, 0, 0, 0, 5e-6, 0",
       {3e-6, -1, 1e-30, -8e-7, -1, -1, -1, -1, 5e-6, -1}},
      // 1e-20 and its band of 1e-25, 1.000001e-20 inside it.
      {"float",
       "v:_FillValue = 1e-20f ;",
       "1e-20, 0, 3e-6, 1.000001e-20, 1.0001e-20, 1e-20, 7, 1e-20, 1.000001e-20, 0",
       {-1, 0, 3e-6, -1, 1.0001e-20, -1, 7, -1, -1, 0}},
      {"double",
       "v:_FillValue = -1e-30 ;",
       "-1e-30, 0, 2e-6, -1.0000001e-30, -2e-30, 0, 0, 0, 0, 0",
       {-1, 0, 2e-6, -1, -2e-30, 0, 0, 0, 0, 0}},
      // Two missing values of their own bands.
      {"float",
       "v:missing_value = 0.f ;\n  v:_FillValue = -1e-20f ;",
       "0, -1e-20, 1e-6, -1e-6, 2, 0, 0, 0, -1e-20, 1e-6",
       {-1, -1, 1e-6, -1e-6, 2, -1, -1, -1, -1, 1e-6}},
      // Half of 1e-5 about 0.5.
      {"float",
       "v:missing_value = 0.5f ;",
       "0.500003, 0.500008, 0.49999, 0.5, 0, 0, 0, 0, 0.500003, 0.500008",
       {-1, 0.500008, 0.49999, -1, 0, 0, 0, 0, -1, 0.500008}},
      // From 1 up, 1e-5 whatever the size.
      {"float",
       "v:missing_value = 1.5f ;",
       "1.500008, 1.50003, 1.499995, 1.5, 0, 0, 0, 0, 1.500008, 1.49992",
       {-1, 1.50003, -1, -1, 0, 0, 0, 0, -1, 1.49992}},
      {"double",
       "v:_FillValue = -2. ;",
       "-2.000008, -1.99997, -2, 1e-6, 0, 0, 0, 0, 0, -2.000002",
       {-1, -1.99997, -1, 1e-6, 0, 0, 0, 0, 0, -1}},
      // A NaN missing value names the NaN points alone, and beside another
      // missing value both mark.
      {"float",
       "v:_FillValue = NaNf ;",
       "1, NaN, 3, 0, -5, 1e30, NaN, 2, NaN, 4",
       {1, -1, 3, 0, -5, 1e30, -1, 2, -1, 4}},
      {"double",
       "v:_FillValue = NaN ;",
       "NaN, 1e-30, 2, 0, 0, 0, 0, 0, 9.5, NaN",
       {-1, 1e-30, 2, 0, 0, 0, 0, 0, 9.5, -1}},
      {"double",
       "v:missing_value = NaN ;\n  v:_FillValue = -999. ;",
       "1, NaN, -999, 0, 2, 3, 4, 5, -999, NaN",
       {1, -1, -1, 0, 2, 3, 4, 5, -1, -1}},
      {"float",
       "v:missing_value = NaNf ;",
       "9.96921e36, NaN, 7, 0, 0, 0, 0, 0, NaN, 8",
       {-1, -1, 7, 0, 0, 0, 0, 0, -1, 8}},
      // A descriptor's undefined value of 0 marks only 0, beside the
      // variable's own missing values or none.
      {"float",
       "",
       "3e-6, 0, -2e-6, 1e-30, 0, 1, 0, 8e-7, 0, -4e-6",
       {3e-6, -1, -2e-6, 1e-30, -1, 1, -1, 8e-7, -1, -4e-6},
       "0"},
      {"float",
       "v:missing_value = 5.f ;\n  v:_FillValue = 7.f ;",
       "3e-6, 0, 5, 7, -9e-6, 0, 0, 2e-7, 1e-6, -1e-25",
       {3e-6, -1, -1, -1, -9e-6, -1, -1, 2e-7, 1e-6, -1e-25},
       "0"},
      {"double",
       "",
       "3e-6, 0, -2e-6, 1e-30, 0, 1, 0, 8e-7, 0, -4e-6",
       {3e-6, -1, -2e-6, 1e-30, -1, 1, -1, 8e-7, -1, -4e-6},
       "0"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.type) + " " + row.attributes + (row.undef ? " undef" : ""));
    TempDir dir;
    write_file(dir.file("m.cdl"),
               std::string("netcdf m {\ndimensions:\n lat = 1 ;\n lon = 10 ;\nvariables:\n"
                           " float lat(lat) ;\n  lat:units = \"degrees_north\" ;\n"
                           " float lon(lon) ;\n  lon:units = \"degrees_east\" ;\n ") +
                   row.type + " v(lat, lon) ;\n  " + row.attributes +
                   "\ndata:\n lat = 0 ;\n lon = 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 ;\n v = " +
                   row.values + " ;\n}\n");
    ASSERT_TRUE(sdffiles::sh("ncgen -o " + dir.file("m.nc") + " " + dir.file("m.cdl")));
    write_file(dir.file("m.ctl"),
               std::string("dset ^m.nc\nundef ") + (row.undef ? row.undef : "") + "\n");
    RunResult r =
        run_batch(std::string(row.undef ? "xdfopen m.ctl" : "sdfopen m.nc") +
                      "\nset gxout print\nset prnopts %.8g\nset x 1 10\nd const(v,-1,-u)\n",
                  dir.path());
    const std::vector<double> got = printed_values(r.out, "d const(v,-1,-u)");
    ASSERT_EQ(got.size(), row.want.size()) << r.out;
    for (size_t i = 0; i < got.size(); i++)
      EXPECT_NEAR(got[i], row.want[i], 1e-6 * std::fabs(row.want[i])) << i;
  }
}

namespace {

// A global grid of n points along `axis` (lon or lat) from `first` by
// `step`, written by cdo with the fields lonv and latv of each point's own
// longitude and latitude (two points on the other axis). With `as_float`
// the coordinate is stored as floats (ncdump, retyped, ncgen).
void cdo_axis_file(const TempDir& dir, const std::string& name, const std::string& axis, int n,
                   const std::string& first, const std::string& step, bool as_float) {
  const bool lon = axis == "lon";
  const std::string nc = dir.file(name + ".nc"), cdl = dir.file(name + ".cdl");
  write_file(dir.file(name + ".txt"),
             "gridtype = lonlat\nxsize = " + (lon ? std::to_string(n) : "2") +
                 "\nysize = " + (lon ? "2" : std::to_string(n)) +
                 "\nxfirst = " + (lon ? first : "0") + "\nxinc = " + (lon ? step : "180") +
                 "\nyfirst = " + (lon ? "-45" : first) + "\nyinc = " + (lon ? "90" : step) + "\n");
  EXPECT_TRUE(
      sdffiles::sh("cdo -s -f nc -b F32 expr,'lonv=clon(const);latv=clat(const)' -const,1," +
                   dir.file(name + ".txt") + " " + nc));
  const std::string retype =
      "s/double " + axis + "(" + axis + ")/float " + axis + "(" + axis + ")/";
  if (as_float) {
    EXPECT_TRUE(sdffiles::sh("ncdump " + nc + " | sed '" + retype + "' > " + cdl + " && ncgen -o " +
                             nc + " " + cdl));
  }
}

// The number after `key` in text from position at, or NaN.
double number_after(const std::string& text, const std::string& key, size_t at = 0) {
  size_t p = text.find(key, at);
  return p == std::string::npos ? std::nan("") : std::atof(text.c_str() + p + key.size());
}

}  // namespace

// Fine grids, float and double coordinates as cdo writes them: each
// coordinate of the file names its own grid point (set by its value: the
// point's index and value shown, and the field of each point's own
// coordinate read there); global longitudes close the circle, so the first
// column is read again one turn on.
TEST(Sdfopen, FineAxesPlaceEveryCoordinateOnItsOwnPoint) {
  TempDir dir;
  struct c {
    std::string axis;
    int n;
    std::string first, step;
    bool as_float;
  };
  const c cases[] = {
      {"lon", 8640, "-180", "0.0416666666666667", false},
      {"lon", 8640, "-180", "0.0416666666666667", true},
      {"lon", 4320, "-179.958333333333", "0.0833333333333333", true},
      {"lon", 21600, "0", "0.0166666666666667", true},
      {"lon", 43200, "-179.995833333333", "0.00833333333333333", false},
      {"lon", 43200, "-179.995833333333", "0.00833333333333333", true},
      {"lat", 2160, "-89.9583333333333", "0.0833333333333333", true},
      {"lat", 4320, "-89.9791666666667", "0.0416666666666667", false},
      {"lat", 8000, "-89", "0.02225", true},
  };
  // Within the last of the six digits printed, and the floats the
  // dimensions are held in up to 360.
  auto near = [](double a, double b) {
    return std::fabs(a - b) <=
           0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(b))) - 5) + 3e-5;
  };
  for (const c& t : cases) {
    const std::string name = t.axis + std::to_string(t.n) + (t.as_float ? "f" : "d");
    SCOPED_TRACE(name);
    const bool lon = t.axis == "lon";
    cdo_axis_file(dir, name, t.axis, t.n, t.first, t.step, t.as_float);
    const std::vector<double> v = ncdump_values(dir.file(name + ".nc"), t.axis);
    ASSERT_EQ(v.size(), size_t(t.n));
    // Points spread over the whole axis, both ends and the middle (0 or 180
    // for longitudes).
    std::vector<int> at = {1, 2, t.n - 2, t.n - 1};
    for (int i = 0; i < t.n; i += t.n / 400) at.push_back(i);
    for (int i = t.n / 2 - 10; i < t.n / 2 + 10; i++) at.push_back(i);
    const std::string var = lon ? "lonv" : "latv", dim = lon ? "X" : "Y";
    std::string in = "sdfopen " + name + ".nc\n" + (lon ? "set lat -45\n" : "set lon 0\n");
    char line[96];
    for (int i : at) {
      std::snprintf(line, sizeof line, "set %s %.15g\nq dims\nd %s\n", t.axis.c_str(), v[size_t(i)],
                    var.c_str());
      in += line;
    }
    std::snprintf(line, sizeof line, "set lon %.15g\nd lonv\n", v[0] + 360);
    RunResult r = run_batch(in + (lon ? line : ""), dir.path());
    if (lon) {
      EXPECT_NE(answer(r.out, "sdfopen " + name + ".nc").find("LON set to 0 360 \n"),
                std::string::npos);
      EXPECT_TRUE(
          near(number_after(r.out, "Result value = ", r.out.rfind("Result value = ")), v[0]))
          << r.out.substr(r.out.rfind("ka-> set lon"));
    }
    size_t from = 0;
    int wrong = 0;
    for (int i : at) {
      std::snprintf(line, sizeof line, "ka-> set %s %.15g\n", t.axis.c_str(), v[size_t(i)]);
      from = r.out.find(line, from);
      ASSERT_NE(from, std::string::npos) << line;
      const std::string dims = answer(r.out.substr(from), "q dims");
      const std::string read = answer(r.out.substr(from), "d " + var);
      const double index = number_after(dims, "  " + dim + " = ");
      const bool right =
          std::lround(index) == i + 1 &&
          near(number_after(read, "Result value = "), v[size_t(i)]) &&
          near(number_after(dims, dim + " is fixed     " + (lon ? "Lon" : "Lat") + " = "),
               v[size_t(i)]);
      if (!right && ++wrong <= 3) ADD_FAILURE() << "coordinate " << i << ":\n" << dims << read;
    }
    EXPECT_EQ(wrong, 0);
  }
}

// What sdfopen leaves out or can't read it names at open, one line each,
// then the way to it, which reads the variable as ncdump shows it; a file
// that loses nothing says none of it.
TEST(Sdfopen, WhatIsLeftOutIsNamedWithTheWayToIt) {
  const struct {
    const char* vars;  // CDL beside t(time, lat, lon)
    std::string said;  // at open, from the first such line to the end
    const char* way;   // shell run in the folder: g.nc or g.ctl
    const char* open;  // the command that opens it then
    const char* var;   // the variable (given 2 x 3 values, or 3 x 4 on lat2, lon2)
    const char* read;  // its name once opened the way
    const char* file;  // where ncdump reads it then
  } rows[] = {
      {"", "", "cp f.nc g.nc", "sdfopen g.nc", "t", "t", "g.nc"},
      {" float lat2(lat2) ;\n  lat2:units = \"degrees_north\" ;\n"
       " float lon2(lon2) ;\n  lon2:units = \"degrees_east\" ;\n float orog(lat2, lon2) ;\n",
       "SDF:  variable orog lies on another grid (lat2, lon2); it can't be displayed.\n"
       "  A variable on another grid opens with xdfopen: a descriptor whose xdef and ydef name "
       "its dimensions.\n",
       "printf 'dset ^f.nc\nxdef lon2\nydef lat2\nvars 1\norog\nendvars\n' >g.ctl", "xdfopen g.ctl",
       "orog", "orog", "f.nc"},
      {" float T(time, lat, lon) ;\n",
       "SDF:  variable T is shown as t like variable t before it; only t can be displayed.\n"
       "  A variable whose name is taken opens with xdfopen: a descriptor whose vars record "
       "gives it a name of its own (NETCDFNAME=>NAME).\n",
       "printf 'dset ^f.nc\nvars 1\nT=>tk\nendvars\n' >g.ctl", "xdfopen g.ctl", "T", "tk", "f.nc"},
      {" float sea_surface_temperature(lat, lon) ;\n"
       " float sea_surface_temperature_anomaly(lat, lon) ;\n",
       "SDF:  variable sea_surface_temperature_anomaly is shown as sea_surface_tem like variable "
       "sea_surface_temperature before it; only sea_surface_temperature can be displayed.\n"
       "  A variable whose name is taken opens with xdfopen: a descriptor whose vars record "
       "gives it a name of its own (NETCDFNAME=>NAME).\n",
       "printf 'dset ^f.nc\nvars 1\nsea_surface_temperature_anomaly=>ssta\nendvars\n' >g.ctl",
       "xdfopen g.ctl", "sea_surface_temperature_anomaly", "ssta", "f.nc"},
      {" byte m(time, lat, lon) ;\n",
       "SDF:  variable m is stored as byte, which is not read.\n  Values of this type are read "
       "once converted to float: cdo -b F32 copy in.nc out.nc\n",
       "cdo -s -b F32 copy f.nc g.nc", "sdfopen g.nc", "m", "m", "g.nc"},
      {" float s(time, lon, lat) ;\n",
       "SDF:  variable s does not store its dimensions in time, level, latitude, longitude "
       "order; it can't be displayed.\n  Store its dimensions in that order first: ncpdq -a "
       "time,lat,lon in.nc out.nc\n",
       "ncpdq -a time,lat,lon f.nc g.nc", "sdfopen g.nc", "s", "s", "g.nc"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.var);
    TempDir dir;
    const bool fine = std::string(row.var) == "orog";
    write_file(dir.file("f.cdl"),
               std::string("netcdf f {\ndimensions:\n time = 1 ;\n lat = 2 ;\n lon = 3 ;\n"
                           " lat2 = 3 ;\n lon2 = 4 ;\nvariables:\n double time(time) ;\n"
                           "  time:units = \"hours since 2000-01-01\" ;\n"
                           " float lat(lat) ;\n  lat:units = \"degrees_north\" ;\n"
                           " float lon(lon) ;\n  lon:units = \"degrees_east\" ;\n"
                           " float t(time, lat, lon) ;\n") +
                   row.vars + "data:\n time = 0 ;\n lat = 0, 10 ;\n lon = 0, 10, 20 ;\n" +
                   (fine ? " lat2 = 0, 5, 10 ;\n lon2 = 0, 5, 10, 15 ;\n" : "") +
                   " t = 1, 2, 3, 4, 5, 6 ;\n" +
                   (row.vars[0] ? std::string(row.var) +
                                      (fine ? " = 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18 ;\n"
                                            : " = 7, 8, 9, 10, 11, 12 ;\n")
                                : "") +
                   "}\n");
    ASSERT_TRUE(sdffiles::sh("ncgen -o " + dir.file("f.nc") + " " + dir.file("f.cdl")));
    ASSERT_TRUE(sdffiles::sh("cd " + dir.path() + " && (" + row.way + ")"));
    RunResult r = run_batch("sdfopen f.nc\nd " + std::string(row.var) + "\nclose 1\n" + row.open +
                                "\nset gxout print\nd " + row.read + "\n",
                            dir.path());
    const std::string opened = answer(r.out, "sdfopen f.nc");
    const size_t at = opened.find("SDF:  variable ");
    EXPECT_EQ(at == std::string::npos ? "" : opened.substr(at, opened.find("SDF file f.nc") - at),
              row.said);
    if (*row.var == 'm') {
      EXPECT_NE(answer(r.out, "d m")
                    .find("SDF data variable has unsupported packed data type.\n  Values of this "
                          "type are read once converted to float: cdo -b F32 copy"),
                std::string::npos)
          << r.out;
    }
    EXPECT_EQ(printed_values(r.out, std::string("d ") + row.read),
              ncdump_values(dir.file(row.file), row.var))
        << r.out;
  }
}
