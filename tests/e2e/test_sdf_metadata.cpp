// What a netCDF file's metadata makes of the data set, through "sdfopen" and
// "xdfopen": text attributes of either kind, 365-day years, time axes whose
// steps are not equal, levels known by their axis alone, and the files whose
// coordinates or times cannot make a data set.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "sdf_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;
using sdffiles::make_nc;
using sdffiles::printed_values;

namespace {

// Writes dir/NAME.nc from CDL text (classic, or "nc4").
std::string cdl_file(const TempDir& dir, const std::string& name, const std::string& cdl,
                     const std::string& kind = "") {
  write_file(dir.file(name + ".cdl"), cdl);
  std::string k = kind.empty() ? "" : " -k " + kind;
  EXPECT_TRUE(
      sdffiles::sh("ncgen" + k + " -o " + dir.file(name + ".nc") + " " + dir.file(name + ".cdl")))
      << cdl;
  return dir.file(name + ".nc");
}

// A 2 x 2 field over a time axis of the units and values given.
std::string time_cdl(const std::string& units, const std::string& values, int n,
                     const std::string& calendar = "") {
  std::string v;
  for (int i = 0; i < 4 * n; i++) v += (i ? ", " : "") + std::to_string(i + 1);
  return "netcdf t {\ndimensions:\n time = " + std::to_string(n) +
         " ;\n lat = 2 ;\n lon = 2 ;\nvariables:\n double time(time) ;\n  time:units = \"" + units +
         "\" ;\n" + (calendar.empty() ? "" : "  time:calendar = \"" + calendar + "\" ;\n") +
         " float lat(lat) ;\n  lat:units = \"degrees_north\" ;\n float lon(lon) ;\n"
         "  lon:units = \"degrees_east\" ;\n float v(time, lat, lon) ;\ndata:\n time = " +
         values + " ;\n lat = 0, 1 ;\n lon = 0, 1 ;\n v = " + v + " ;\n}\n";
}

// The tdef line of "q ctlinfo" after opening t.nc, or the open's answer.
std::string tdef_of(const TempDir& dir, const std::string& cdl) {
  cdl_file(dir, "t", cdl);
  RunResult r = run_batch("sdfopen t.nc\nq ctlinfo\n", dir.path());
  std::string ctl = answer(r.out, "q ctlinfo");
  size_t p = ctl.find("tdef ");
  if (p == std::string::npos) return answer(r.out, "sdfopen t.nc");
  return ctl.substr(p, ctl.find('\n', p) - p);
}

size_t count_of(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) n++;
  return n;
}

}  // namespace

// Attributes stored as netCDF-4 strings say the same as character ones: the
// axes are found by their units, the title and description are shown, and
// the values are those written.
TEST(SdfMetadata, StringAttributesReadLikeText) {
  TempDir dir;
  for (const std::string kind : {"string", "char"}) {
    std::string s = kind == "string" ? "string " : "";
    cdl_file(dir, "s",
             "netcdf s {\ndimensions:\n lat = 2 ;\n lon = 3 ;\nvariables:\n float lat(lat) ;\n  " +
                 s + "lat:units = \"degrees_north\" ;\n float lon(lon) ;\n  " + s +
                 "lon:units = \"degrees_east\" ;\n float v(lat, lon) ;\n  " + s +
                 "v:long_name = \"text from strings\" ;\n " + s +
                 ":title = \"strings everywhere\" ;\ndata:\n lat = 10, 20 ;\n lon = 0, 10, 20 ;\n"
                 " v = 1, 2, 3, 4, 5, 6 ;\n}\n",
             "nc4");
    RunResult r = run_batch("sdfopen s.nc\nq file\nset gxout print\nd v\n", dir.path());
    EXPECT_EQ(answer(r.out, "q file"),
              "File 1 : strings everywhere\n  Descriptor: s.nc\n  Binary: s.nc\n  Type = Gridded\n"
              "  Xsize = 3  Ysize = 2  Zsize = 1  Tsize = 1\n  Number of Variables = 1\n"
              "    v 0 -999 text from strings\n")
        << kind << r.out;
    EXPECT_EQ(printed_values(r.out, "d v"), (std::vector<double>{1, 2, 3, 4, 5, 6})) << kind;
  }
}

// Years of 365 days: 2000 of them after 1-1-1 is 1 January 2001, half of
// one is six months, and the session then keeps the 365-day calendar (a
// standard-calendar descriptor is refused after it).
TEST(SdfMetadata, CommonYearsUseThe365DayCalendar) {
  TempDir dir;
  EXPECT_EQ(tdef_of(dir, time_cdl("common_years since 1-1-1", "2000, 2001", 2)),
            "tdef 2 linear 00Z01JAN2001 12mo");
  EXPECT_EQ(tdef_of(dir, time_cdl("common_years since 2000-01-01", "0, 0.5", 2)),
            "tdef 2 linear 00Z01JAN2000 6mo");
  make_nc(dir, "latlon", "a.nc");
  write_file(dir.file("std.ctl"), "dset ^a.nc\n");
  RunResult r = run_batch("sdfopen t.nc\nxdfopen std.ctl\nq files\n", dir.path());
  EXPECT_NE(answer(r.out, "xdfopen std.ctl")
                .find("The calendar is NOW 365 DAYS and you attempted to open a standard calendar "
                      "file\n"),
            std::string::npos)
      << r.out;
}

// A time axis whose steps differ still opens stepped by its first two
// times, with one warning at the first time the axis misses; times that
// keep to the step, mid-month days of a monthly axis included, warn not.
TEST(SdfMetadata, UnevenTimeStepsWarnOnce) {
  TempDir dir;
  // Months 0, 1, 13, 25, 37 since January 1958: the third is February 1959,
  // a monthly axis says March 1958.
  cdl_file(dir, "t", time_cdl("months since 1958-1-1", "0, 1, 13, 25, 37", 5));
  RunResult r = run_batch("sdfopen t.nc\nq ctlinfo\nset gxout print\nset t 3\nd v\n", dir.path());
  const std::string warning =
      "Warning:  The times of SDF file are not evenly stepped: time 3 is 00:00Z01FEB1959 in the "
      "file but 00:00Z01MAR1958 by the step of the first two.\n"
      "          Dates from time 3 on do not match the file; xdfopen with a TDEF record of its "
      "own reads it.\n";
  EXPECT_EQ(count_of(r.out, warning), 1u) << r.out;
  EXPECT_EQ(count_of(r.out, "not evenly stepped"), 1u);
  EXPECT_NE(answer(r.out, "q ctlinfo").find("tdef 5 linear 00Z01JAN1958 1mo\n"), std::string::npos);
  EXPECT_EQ(printed_values(r.out, "d v"), (std::vector<double>{9, 10, 11, 12}));
  // Six-hourly with one step missing: the fourth time is 24 h, not 18 h.
  cdl_file(dir, "t", time_cdl("hours since 2000-01-01", "0, 6, 12, 24", 4));
  r = run_batch("sdfopen t.nc\n", dir.path());
  EXPECT_NE(r.out.find("time 4 is 00:00Z02JAN2000 in the file but 18:00Z01JAN2000"),
            std::string::npos)
      << r.out;
  // Mid-month days of 2000 (a leap year), a plain six-hourly axis, and one
  // on the proleptic Gregorian calendar across March 1500 (a common year on
  // it, a leap year on the Julian calendar).
  std::string hours;
  for (int h = 0; h < 300; h++) hours += (h ? ", " : "") + std::to_string(6 * h);
  for (const std::string& cdl :
       {time_cdl("days since 2000-01-01", "15.5, 45, 75.5, 106, 136.5, 167", 6),
        time_cdl("hours since 2000-01-01", "0, 6, 12, 18, 24", 5),
        time_cdl("hours since 1500-01-01", hours, 300, "proleptic_gregorian")}) {
    cdl_file(dir, "t", cdl);
    r = run_batch("sdfopen t.nc\nq files\n", dir.path());
    EXPECT_EQ(r.out.find("not evenly stepped"), std::string::npos) << cdl << r.out;
    EXPECT_NE(answer(r.out, "q files").find("t.nc"), std::string::npos);
  }
}

// Calendars the time model does not hold open with one warning that names
// the calendar and says how the dates are shown; months of 30 days warn of
// no uneven steps. The 365-day and standard names open without a word:
// 54809 days after 1 January 1850 is 1 March 2000 in 365-day years
// (150 * 365 = 54750, and 59 days more), 24 January 2000 in standard ones.
TEST(SdfMetadata, CalendarsNotHeldWarnOnce) {
  TempDir dir;
  std::string months;
  for (int m = 0; m < 24; m++) months += (m ? ", " : "") + std::to_string(30 * m);
  cdl_file(dir, "t", time_cdl("days since 2000-01-01", months, 24, "360_day"));
  RunResult r = run_batch("sdfopen t.nc\nq ctlinfo\n", dir.path());
  EXPECT_EQ(count_of(r.out, "Warning:"), 1u) << r.out;
  EXPECT_NE(answer(r.out, "sdfopen t.nc")
                .find("Warning:  The times of SDF file are on the 360_day calendar, which Vemra "
                      "does not hold; dates are shown on the standard calendar, stepped from the "
                      "first time.\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(answer(r.out, "q ctlinfo").find("tdef 24 linear 00Z01JAN2000 1mo\n"),
            std::string::npos);
  // A CMIP-style monthly file from 16 January 2015 (59415 days after 1850 on
  // 360-day years): the warning still says how the dates are shown, and
  // the third month is read at 16 March 2015.
  cdl_file(dir, "t", time_cdl("days since 1850-01-01", "59415, 59445, 59475", 3, "360_day"));
  r = run_batch("sdfopen t.nc\nset gxout print\nset time 16mar2015\nq dims\nd v\n", dir.path());
  EXPECT_EQ(count_of(r.out, "which Vemra does not hold; dates are shown on the standard calendar"),
            1u)
      << r.out;
  EXPECT_NE(answer(r.out, "q dims").find("T is fixed     Time = 00Z16MAR2015  T = 3\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(printed_values(r.out, "d v"), (std::vector<double>{9, 10, 11, 12}));
  for (const char* calendar : {"julian", "all_leap", "366_day", "360_day"}) {
    cdl_file(dir, "t", time_cdl("days since 2000-01-01", "0, 1, 2", 3, calendar));
    r = run_batch("sdfopen t.nc\nq files\n", dir.path());
    EXPECT_EQ(count_of(r.out, "Warning:"), 1u) << calendar << r.out;
    EXPECT_EQ(
        count_of(r.out, std::string("on the ") + calendar + " calendar, which Vemra does not"), 1u)
        << calendar;
    EXPECT_NE(answer(r.out, "q files").find("t.nc"), std::string::npos) << calendar;
  }
  struct c {
    const char* calendar;
    const char* tdef;
  };
  const c held[] = {{"365_day", "tdef 2 linear 00Z01MAR2000 1440mn"},
                    {"noleap", "tdef 2 linear 00Z01MAR2000 1440mn"},
                    {"365_day_year", "tdef 2 linear 00Z01MAR2000 1440mn"},
                    {"standard", "tdef 2 linear 00Z24JAN2000 1440mn"},
                    {"gregorian", "tdef 2 linear 00Z24JAN2000 1440mn"},
                    {"proleptic_gregorian", "tdef 2 linear 00Z24JAN2000 1440mn"}};
  for (const c& k : held) {
    cdl_file(dir, "t", time_cdl("days since 1850-01-01", "54809, 54810", 2, k.calendar));
    r = run_batch("sdfopen t.nc\nq ctlinfo\n", dir.path());
    EXPECT_EQ(r.out.find("Warning"), std::string::npos) << k.calendar << r.out;
    EXPECT_NE(answer(r.out, "q ctlinfo").find(k.tdef), std::string::npos) << k.calendar << r.out;
  }
}

// Coordinates of the netCDF-4 integer types (64-bit and unsigned) read as
// numbers, as 32-bit ones are: times are often written as 64-bit integers.
// Data variables of those types are refused as int data are.
TEST(SdfMetadata, NetCdf4IntegerCoordinatesReadAsNumbers) {
  TempDir dir;
  struct c {
    std::string axis, type, units, values, want;
  };
  const c cases[] = {
      {"time", "int64", "hours since 2000-01-01 00:00:00", "0, 6, 12",
       "tdef 3 linear 00Z01JAN2000 360mn\n"},
      {"time", "uint64", "hours since 2000-01-01", "24, 48", "tdef 2 linear 00Z02JAN2000 1440mn\n"},
      {"time", "uint", "days since 2000-01-01", "31, 60", "tdef 2 linear 00Z01FEB2000 1mo\n"},
      {"time", "ushort", "minutes since 2000-01-01", "65500, 65530",
       "tdef 2 linear 11:40Z15FEB2000 30mn\n"},
      {"time", "ubyte", "hours since 2000-01-01", "200, 206", "tdef 2 linear 08Z09JAN2000 360mn\n"},
      {"lat", "int64", "degrees_north", "-10, 0, 10", "ydef 3 linear -10 10\n"},
      {"lat", "ushort", "degrees_north", "10, 20, 40", "ydef 3 levels 10 20 40\n"},
      {"lon", "uint64", "degrees_east", "0, 90, 180, 270", "xdef 4 linear 0 90\n"},
      {"lon", "ubyte", "degrees_east", "250, 251", "xdef 2 linear 250 1\n"},
      {"lev", "uint", "hPa", "1000, 850", "zdef 2 levels 1000 850\n"},
  };
  for (const c& k : cases) {
    SCOPED_TRACE(k.axis + " " + k.type);
    const int n = int(std::count(k.values.begin(), k.values.end(), ',')) + 1;
    auto size = [&](const std::string& axis, int other) { return k.axis == axis ? n : other; };
    auto coord = [&](const std::string& axis, const std::string& type, const std::string& units) {
      return " " + (k.axis == axis ? k.type : type) + " " + axis + "(" + axis + ") ;\n  " + axis +
             ":units = \"" + (k.axis == axis ? k.units : units) + "\" ;\n";
    };
    const int nt = size("time", 2), nz = size("lev", 1), ny = size("lat", 2), nx = size("lon", 2);
    std::string v, w;
    for (int i = 0; i < nt * nz * ny * nx; i++) {
      v += (i ? ", " : "") + std::to_string(i + 1);
      w += (i ? ", " : "") + std::to_string(i % 100);
    }
    const std::string dims = nz > 1 ? "time, lev, lat, lon" : "time, lat, lon";
    cdl_file(dir, "i",
             "netcdf i {\ndimensions:\n time = " + std::to_string(nt) +
                 " ;\n lev = " + std::to_string(nz) + " ;\n lat = " + std::to_string(ny) +
                 " ;\n lon = " + std::to_string(nx) + " ;\nvariables:\n" +
                 coord("time", "double", "hours since 2000-01-01") + coord("lev", "float", "hPa") +
                 coord("lat", "float", "degrees_north") + coord("lon", "float", "degrees_east") +
                 " float v(" + dims + ") ;\n " + k.type + " w(" + dims + ") ;\ndata:\n " + k.axis +
                 " = " + k.values + " ;\n" + (k.axis == "time" ? "" : " time = 0, 6 ;\n") +
                 (k.axis == "lat" ? "" : " lat = 0, 1 ;\n") +
                 (k.axis == "lon" ? "" : " lon = 0, 1 ;\n") + (nz > 1 ? "" : " lev = 500 ;\n") +
                 " v = " + v + " ;\n w = " + w + " ;\n}\n",
             "nc4");
    RunResult r =
        run_batch("sdfopen i.nc\nq ctlinfo\nset gxout print\nset x 1 " + std::to_string(nx) +
                      "\nset y 1 " + std::to_string(ny) + "\nset z 1\nset t 1\nd v\nd w\n",
                  dir.path());
    EXPECT_NE(answer(r.out, "q ctlinfo").find(k.want), std::string::npos) << r.out;
    std::vector<double> first;
    for (int i = 1; i <= nx * ny; i++) first.push_back(i);
    EXPECT_EQ(printed_values(r.out, "d v"), first);
    EXPECT_EQ(
        answer(r.out, "d w").rfind("SDF data variable has unsupported packed data type.\n", 0), 0u)
        << answer(r.out, "d w");
  }
}

// A level coordinate known only by axis = "Z" (no units) gives the levels as
// stored; a coordinate whose units are levels still wins over it.
TEST(SdfMetadata, LevelsKnownByTheirAxisAlone) {
  TempDir dir;
  cdl_file(
      dir, "z",
      "netcdf z {\ndimensions:\n lev = 4 ;\n lat = 2 ;\n lon = 2 ;\nvariables:\n"
      " double lev(lev) ;\n  lev:axis = \"Z\" ;\n  lev:long_name = \"generic\" ;\n"
      " float lat(lat) ;\n  lat:units = \"degrees_north\" ;\n float lon(lon) ;\n"
      "  lon:units = \"degrees_east\" ;\n float v(lev, lat, lon) ;\ndata:\n lev = 1, 2, 5, 9 ;\n"
      " lat = 0, 1 ;\n lon = 0, 1 ;\n v = 1, 2, 3, 4, 11, 12, 13, 14, 21, 22, 23, 24, 31, 32, "
      "33, 34 ;\n}\n");
  RunResult r = run_batch(
      "sdfopen z.nc\nq ctlinfo\nset gxout print\nset lev 5\nd v\nset z 4\nd v\n", dir.path());
  std::string ctl = answer(r.out, "q ctlinfo");
  EXPECT_NE(ctl.find("zdef 4 levels 1 2 5 9\n"), std::string::npos) << r.out;
  EXPECT_NE(ctl.find("v 4 -999 \n"), std::string::npos);
  EXPECT_EQ(printed_values(r.out, "d v"), (std::vector<double>{21, 22, 23, 24}));
  size_t second = r.out.find("ka-> set z 4");
  EXPECT_EQ(printed_values(r.out.substr(second), "d v"), (std::vector<double>{31, 32, 33, 34}));

  cdl_file(
      dir, "p",
      "netcdf p {\ndimensions:\n depth = 3 ;\n plev = 2 ;\n lat = 2 ;\n lon = 2 ;\nvariables:\n"
      " float depth(depth) ;\n  depth:axis = \"Z\" ;\n float plev(plev) ;\n"
      "  plev:units = \"hPa\" ;\n float lat(lat) ;\n  lat:units = \"degrees_north\" ;\n"
      " float lon(lon) ;\n  lon:units = \"degrees_east\" ;\n float v(plev, lat, lon) ;\n"
      "data:\n depth = 0, 10, 20 ;\n plev = 1000, 500 ;\n lat = 0, 1 ;\n lon = 0, 1 ;\n"
      " v = 1, 2, 3, 4, 5, 6, 7, 8 ;\n}\n");
  r = run_batch("sdfopen p.nc\nq ctlinfo\n", dir.path());
  EXPECT_NE(answer(r.out, "q ctlinfo").find("zdef 2 levels 1000 500\n"), std::string::npos)
      << r.out;
}

// Coordinates of fill values only, base dates no calendar has, decreasing
// times and steps beyond reach are refused, each with its own message.
TEST(SdfMetadata, ImpossibleAxesAreRefusedByName) {
  TempDir dir;
  struct c {
    std::string cdl, want;
  };
  const std::string small = "SDF:  Time unit has too small an increment";
  const c cases[] = {
      {"netcdf f {\ndimensions:\n lat = 2 ;\n lon = 3 ;\nvariables:\n float lat(lat) ;\n"
       "  lat:units = \"degrees_north\" ;\n float lon(lon) ;\n  lon:units = \"degrees_east\" ;\n"
       " float v(lat, lon) ;\ndata:\n lat = 0, 1 ;\n lon = _, _, _ ;\n v = 1, 2, 3, 4, 5, 6 ;\n}\n",
       "SDF:  The X coordinate of SDF file holds only fill values.\n"},
      {"netcdf f {\ndimensions:\n lat = 2 ;\n lon = 3 ;\nvariables:\n float lat(lat) ;\n"
       "  lat:units = \"degrees_north\" ;\n  lat:_FillValue = -1.f ;\n float lon(lon) ;\n"
       "  lon:units = \"degrees_east\" ;\n float v(lat, lon) ;\ndata:\n lat = -1, -1 ;\n"
       " lon = 0, 1, 2 ;\n v = 1, 2, 3, 4, 5, 6 ;\n}\n",
       "SDF:  The Y coordinate of SDF file holds only fill values.\n"},
      {time_cdl("hours since 2000-01-01", "_, _, _", 3),
       "SDF:  The time coordinate of SDF file holds only fill values.\n"},
      {time_cdl("hours since 2000-13-01", "0, 6", 2),
       "SDF:  Time units name a base date that does not exist: hours since 2000-13-01\n"},
      {time_cdl("hours since 2001-02-29 00:00", "0, 6", 2),
       "SDF:  Time units name a base date that does not exist: hours since 2001-02-29 00:00\n"},
      {time_cdl("days since 2000-02-29", "0, 1", 2, "noleap"),
       "SDF:  Time units name a base date that does not exist: days since 2000-02-29\n"},
      {time_cdl("days since 1999-04-31", "0, 1", 2),
       "SDF:  Time units name a base date that does not exist: days since 1999-04-31\n"},
      {time_cdl("hours since 2000-01-01", "12, 6", 2),
       "SDF:  Time values decrease (the second is before the first); a time axis must increase.\n"},
      {time_cdl("hours since 2000-01-01", "0, 1e15", 2),
       "SDF:  Time step in SDF file is too large to represent.\n"},
      {time_cdl("years since 2000-01-01", "0, 5e6", 2),
       "SDF:  Time step in SDF file is too large to represent.\n"},
      {time_cdl("hours since 2000-01-01", "6, 6", 2), small},
  };
  for (const c& k : cases) {
    cdl_file(dir, "f", k.cdl);
    RunResult r = run_batch("sdfopen f.nc\nq files\n", dir.path());
    std::string open = answer(r.out, "sdfopen f.nc");
    EXPECT_NE(open.find(k.want), std::string::npos) << k.cdl << r.out;
    if (k.want != small) {
      EXPECT_EQ(open.find(small), std::string::npos) << k.cdl;
    }
    EXPECT_EQ(answer(r.out, "q files"), "No files open\n") << k.cdl;
  }
  // A 29 February that exists, and a time of day on the base date.
  EXPECT_EQ(tdef_of(dir, time_cdl("hours since 2000-02-29", "0, 6", 2)),
            "tdef 2 linear 00Z29FEB2000 360mn");
  EXPECT_EQ(tdef_of(dir, time_cdl("hours since 1999-12-31 23:30", "0.5, 1.5", 2)),
            "tdef 2 linear 00Z01JAN2000 60mn");
}

// More times than a data set can hold: the count is cut to the limit and the
// open says so. The file is a classic one whose record count is raised in
// its header and whose length is extended as a sparse file.
TEST(SdfMetadata, TimeCountCutToTheLimitSaysSo) {
  TempDir dir;
  std::string f = cdl_file(
      dir, "h",
      "netcdf h {\ndimensions:\n time = UNLIMITED ;\n lat = 2 ;\n lon = 2 ;\nvariables:\n"
      " double time(time) ;\n  time:units = \"hours since 2000-01-01\" ;\n float lat(lat) ;\n"
      "  lat:units = \"degrees_north\" ;\n float lon(lon) ;\n  lon:units = \"degrees_east\" ;\n"
      " float v(time, lat, lon) ;\ndata:\n time = 0, 6 ;\n lat = 0, 1 ;\n lon = 0, 1 ;\n"
      " v = 1, 2, 3, 4, 5, 6, 7, 8 ;\n}\n");
  auto size = std::filesystem::file_size(f);
  // Record: one double time and four floats.
  const unsigned long long records = 100000001ULL, record = 8 + 16;
  {
    std::fstream io(f, std::ios::in | std::ios::out | std::ios::binary);
    io.seekp(4);
    const unsigned char n[4] = {(unsigned char)(records >> 24), (unsigned char)(records >> 16),
                                (unsigned char)(records >> 8), (unsigned char)records};
    io.write(reinterpret_cast<const char*>(n), 4);
  }
  std::filesystem::resize_file(f, size + (records - 2) * record);
  RunResult r = run_batch("sdfopen h.nc\nq file\nset gxout print\nset t 2\nd v\n", dir.path());
  EXPECT_NE(
      answer(r.out, "sdfopen h.nc")
          .find("SDF:  The time dimension holds 100000001 times; only the first 100000000 are "
                "used.\n"),
      std::string::npos)
      << r.out;
  EXPECT_NE(answer(r.out, "q file").find("Tsize = 100000000\n"), std::string::npos) << r.out;
  EXPECT_EQ(printed_values(r.out, "d v"), (std::vector<double>{5, 6, 7, 8}));
}

// A CDF-5 dimension longer than a grid can hold is refused by name, through
// sdfopen and xdfopen, never cut to its low 32 bits (4294967304 would be 8).
// The files hold no data past their header: the library writes no fill and
// the file is cut after the header.
TEST(SdfMetadata, DimensionsLongerThanAGridAreRefused) {
  TempDir dir;
  struct c {
    std::string lat, lon, lev, how, want;
  };
  const std::string huge = "4294967304";
  const c cases[] = {
      {"2", huge, "", "sdfopen", "SDF:  The X dimension lon has 4294967304 points"},
      {huge, "3", "", "sdfopen", "SDF:  The Y dimension lat has 4294967304 points"},
      {"2", "3", "2147483648", "sdfopen", "SDF:  The Z dimension lev has 2147483648 points"},
      {"2", huge, "", "xdfopen", "SDF:  The X dimension lon has 4294967304 points"},
      {huge, "3", "", "xdfopen", "SDF:  The Y dimension lat has 4294967304 points"},
  };
  write_file(dir.file("b.ctl"), "dset ^b.nc\nxdef lon\nydef lat\n");
  for (const c& k : cases) {
    const bool z = !k.lev.empty();
    cdl_file(dir, "b",
             "netcdf b {\ndimensions:\n lat = " + k.lat + "LL ;\n lon = " + k.lon + "LL ;\n" +
                 (z ? " lev = " + k.lev + "LL ;\n" : "") +
                 "variables:\n float lat(lat) ;\n  lat:units = \"degrees_north\" ;\n"
                 " float lon(lon) ;\n  lon:units = \"degrees_east\" ;\n" +
                 (z ? " float lev(lev) ;\n  lev:units = \"hPa\" ;\n float v(lev, lat, lon) ;\n"
                    : " float v(lat, lon) ;\n") +
                 "}\n",
             "cdf5 -x");
    std::filesystem::resize_file(dir.file("b.nc"), 1024);
    const std::string open = k.how == "sdfopen" ? "sdfopen b.nc" : "xdfopen b.ctl";
    RunResult r = run_batch(open + "\nq files\n", dir.path());
    EXPECT_NE(answer(r.out, open).find(k.want + ", more than a grid can hold.\n"),
              std::string::npos)
        << open << " " << k.want << r.out;
    EXPECT_EQ(answer(r.out, "q files"), "No files open\n") << k.want;
  }
}

// xdfopen: a data file that cannot be described is named in the closing
// line; a bad variable record names its field; a record naming a variable
// the file lacks is named at open while the others stay readable.
TEST(SdfMetadata, XdfopenNamesWhatIsWrong) {
  TempDir dir;
  make_nc(dir, "latlon", "a.nc");
  write_file(dir.file("x.ctl"), "dset ^a.nc\nxdef nosuch\n");
  RunResult r = run_batch("xdfopen x.ctl\nq files\n", dir.path());
  EXPECT_NE(answer(r.out, "xdfopen x.ctl")
                .find("XDF file has no coordinate variable for X dimension.\n"
                      "Data file a.nc was not successfully opened & parsed.\n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(answer(r.out, "q files"), "No files open\n");

  struct c {
    std::string record, field;
  };
  const c cases[] = {
      {"tas=> 0 99 bad", "  --> Missing or invalid variable name\n"},
      {"tas x 99 bad", "  --> Missing or invalid variable level count\n"},
      {"tas 0", "  --> Missing or invalid variable units value\n"},
      {"tas 0 9q9 bad", "  --> Missing or invalid variable units value\n"},
      {"tas 0 99,", "  --> Missing or invalid variable units value\n"},
      {"tas 0 99", "  --> Missing variable description\n"},
  };
  for (const c& k : cases) {
    write_file(dir.file("v.ctl"), "dset ^a.nc\nvars 1\n" + k.record + "\nendvars\n");
    r = run_batch("xdfopen v.ctl\n", dir.path());
    EXPECT_NE(answer(r.out, "xdfopen v.ctl")
                  .find("XDFOpen Error:  Invalid variable record\n" + k.field +
                        "  --> The invalid description file record is: \n"),
              std::string::npos)
        << k.record << r.out;
  }

  write_file(dir.file("n.ctl"), "dset ^a.nc\nvars 2\nnosuch=>ns\ntas\nendvars\n");
  r = run_batch("xdfopen n.ctl\nset gxout print\nset lon 0 90\nset lat 67.5\nd tas\n", dir.path());
  EXPECT_NE(answer(r.out, "xdfopen n.ctl")
                .find("XDF variable nosuch (shown as ns) is not a variable of the netCDF file; it "
                      "can't be displayed.\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(answer(r.out, "xdfopen n.ctl").find("Data file a.nc is open as file 1\n"),
            std::string::npos);
  // Northern row of time 1: 31 32 33 at lon 0, 45, 90.
  EXPECT_EQ(printed_values(r.out, "d tas"), (std::vector<double>{31, 32, 33}));
}

// "open" and "xdfopen" of a file that is no descriptor quote its first line
// with the bytes that are not text escaped: a netCDF file's header shows its
// magic number and record count (3 here) as the format lays them out.
// Whole UTF-8 characters of a descriptor line stay as typed.
TEST(SdfMetadata, RecordsOfFilesThatAreNoDescriptorsShowTheirBytesEscaped) {
  TempDir dir;
  const std::string utf8 = "caf\xc3\xa9 \xe2\x98\x83";
  write_file(dir.file("u.ctl"), "bogus " + utf8 + " t\x07x caf\xe9 \xed\xa0\x80\n");
  struct c {
    std::string what, kind, command, record;
  };
  const c cases[] = {
      {"classic", "classic", "open f.nc", "CDF\\x01\\x00\\x00\\x00\\x03\\x00\\x00\\x00"},
      {"64-bit offsets", "64-bit-offset", "open f.nc",
       "CDF\\x02\\x00\\x00\\x00\\x03\\x00\\x00\\x00"},
      {"64-bit data", "cdf5", "open f.nc",
       "CDF\\x05\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x03\\x00\\x00\\x00"},
      {"classic through xdfopen", "classic", "xdfopen f.nc",
       "cdf\\x01\\x00\\x00\\x00\\x03\\x00\\x00\\x00"},
      {"a bell, a Latin-1 byte and a surrogate", "", "open u.ctl",
       "bogus " + utf8 + " t\\x07x caf\\xe9 \\xed\\xa0\\x80"},
      {"the same through xdfopen", "", "xdfopen u.ctl",
       "bogus " + utf8 + " t\\x07x caf\\xe9 \\xed\\xa0\\x80"},
  };
  for (const c& k : cases) {
    if (!k.kind.empty()) make_nc(dir, "latlon", "f.nc", k.kind);
    RunResult r = run_batch(k.command + "\n", dir.path());
    const std::string got = answer(r.out, k.command);
    EXPECT_NE(got.find("  --> The invalid description file record is: \n  --> " + k.record + "\n"),
              std::string::npos)
        << k.what << "\n"
        << got;
    EXPECT_EQ(got.find('\0'), std::string::npos) << k.what;
  }
}

// A descriptor title is shown by "q file", "q files" and "q ctlinfo" as a
// quoted record is: letters of any script as they are, control bytes (C0,
// DEL and the C1 controls written in UTF-8) escaped.
TEST(SdfMetadata, TitlesAndRecordsShowControlBytesEscaped) {
  TempDir dir;
  write_file(dir.file("d.dat"), std::string(16, '\0'));
  const std::string grid =
      "undef -9\nxdef 2 linear 0 1\nydef 2 linear 0 1\nzdef 1 levels 1000\n"
      "tdef 1 linear 00z1jan2000 1dy\nvars 1\nv 0 99 v\nendvars\n";
  write_file(dir.file("t.ctl"),
             "dset ^d.dat\ntitle caf\xc3\xa9 \x01\x7f \xc2\x9b"
             "1m x\n" +
                 grid);
  write_file(dir.file("b.ctl"), "bogus \xc2\x85 \xc2\xa0 \xd0\x96\n" + grid);
  write_file(dir.file("v.ctl"),
             "dset ^d\x1b"
             "c.dat\ntitle v\x07\n" +
                 grid.substr(0, grid.find("v 0")) +
                 "v\x01 0 99 wind \xe2\x86\x92\x1b[2J\nendvars\n");
  write_file(dir.file("d\x1b"
                      "c.dat"),
             std::string(16, '\0'));
  struct title_case {
    std::string setup, command, shown;
  } cases[] = {
      {"", "q file", "File 1 : caf\xc3\xa9 \\x01\\x7f \\xc2\\x9b1m x\n"},
      {"", "q files", "File 1 : caf\xc3\xa9 \\x01\\x7f \\xc2\\x9b1m x\n"},
      {"", "open b.ctl", "  --> bogus \\xc2\\x85 \xc2\xa0 \xd0\x96\n"},
      // So are the data file name and the variables of a descriptor.
      {"open v.ctl\n", "q file 2", "  Binary: d\\x1bc.dat\n"},
      {"open v.ctl\n", "q file 2", "    v\\x01 0 99 wind \xe2\x86\x92\\x1b[2J\n"},
      {"open v.ctl\n", "q files", "  Binary: d\\x1bc.dat\n"},
      {"", "q ctlinfo", "title caf\xc3\xa9 \\x01\\x7f \\xc2\\x9b1m x\n"},
      {"open v.ctl\n", "q ctlinfo 2", "d\\x1bc.dat\ntitle v\\x07\nundef -9\n"},
      {"open v.ctl\n", "q ctlinfo 2", "vars 1\nv\\x01 0 99 wind \xe2\x86\x92\\x1b[2J\n"},
  };
  for (const title_case& c : cases) {
    RunResult r = run_batch("open t.ctl\n" + c.setup + c.command + "\n", dir.path());
    EXPECT_NE(answer(r.out, c.command).find(c.shown), std::string::npos)
        << c.command << "\n"
        << answer(r.out, c.command);
  }
}
