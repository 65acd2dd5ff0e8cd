// "xdfopen" through the program: descriptors that name the dimensions and
// variables of netCDF files made by ncgen from the CDL in tests/sdf/cdl.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "dataset_files.h"
#include "sdf_files.h"
#include "support/live_session.h"

using namespace vemra_test;
using dsfiles::answer;
using sdffiles::make_nc;
using sdffiles::ncdump_values;
using sdffiles::printed_values;

// Names from the file, a long display name cut to the record's 15
// characters, a record with levels, units and description, and the
// descriptor's undefined value masking as well as the file's own marks.
TEST(Xdfopen, DescriptorNamesDimensionsAndVariables) {
  TempDir dir;
  std::string f = make_nc(dir, "packed", "p.nc");
  write_file(dir.file("a.ctl"),
             "* comment\ndset ^p.nc\ntitle described here\nundef -1e20\nxdef lon\nydef lat\n"
             "zdef lev\ntdef time\nvars 2\nta=>temperature_of_the_air 3 99 air temperature\n"
             "ps\nendvars\n");
  RunResult r = run_batch(
      "xdfopen a\nq file\nset gxout print\nset lev 1000\nd temperature_of_\n"
      "d ps\n",
      dir.path());
  EXPECT_TRUE(contains(answer(r.out, "xdfopen a"), "Data file p.nc is open as file 1\n")) << r.out;
  EXPECT_EQ(answer(r.out, "q file"),
            "File 1 : described here\n  Descriptor: a.ctl\n  Binary: p.nc\n  Type = Gridded\n  "
            "Xsize = 3  Ysize = 4  Zsize = 3  Tsize = 2\n"
            "  Number of Variables = 2\n    temperature_of_ 3 99 air temperature\n"
            "    ps 0 -999 \n");
  // ta at 1000 hPa, time 1: rows north to south 100 200 300 | 400 500 600 |
  // -9999 800 900 | 1000 1100 -32767, unpacked * 0.01 + 273.15.
  std::vector<double> want = {283.15, 284.15, -1e20,  -1e20,  281.15, 282.15,
                              277.15, 278.15, 279.15, 274.15, 275.15, 276.15};
  std::vector<double> got = printed_values(r.out, "d temperature_of_");
  ASSERT_EQ(got.size(), want.size()) << r.out;
  for (size_t i = 0; i < want.size(); i++) EXPECT_NEAR(got[i], want[i], 1e-3 * std::fabs(want[i]));
  std::vector<double> ps = printed_values(r.out, "d ps");
  ASSERT_EQ(ps.size(), 12u);
  EXPECT_EQ(ps[7], -1e20);
  EXPECT_EQ(ps[0], 20);
}

// Scalings given by the descriptor replace the file's: a linear x that
// closes the circle wraps, a time axis of its own, levels over two lines.
TEST(Xdfopen, ScalingsFromTheDescriptor) {
  TempDir dir;
  make_nc(dir, "latlon", "a.nc");
  write_file(dir.file("s.ctl"),
             "dset ^a.nc\nxdef lon 8 linear 0 45\nydef lat 4 levels -60\n -20 20\n 60\n"
             "tdef time 3 linear 00z1jan1990 1dy\n");
  RunResult r = run_batch(
      "xdfopen s.ctl\nq ctlinfo\nset gxout print\nset lon -45 45\nset lat 60\n"
      "set t 3\nd tas\n",
      dir.path());
  std::string ctl = answer(r.out, "q ctlinfo");
  EXPECT_TRUE(contains(ctl,
                       "xdef 8 linear 0 45\nydef 4 levels -60 -20 20 60\nzdef 1 linear 0 0\n"
                       "tdef 3 linear 00Z01JAN1990 1440mn\n"))
      << ctl;
  EXPECT_TRUE(contains(answer(r.out, "xdfopen s.ctl"), "LON set to 0 360 \n"));
  // Time 3, northern row 231..238 at lon 0..315: -45 is 315.
  std::vector<double> got = printed_values(r.out, "d tas");
  EXPECT_EQ(got, (std::vector<double>{238, 231, 232}));
}

// Records that do not fit fail with their messages and open nothing.
TEST(Xdfopen, MalformedDescriptorsAreRefused) {
  TempDir dir;
  make_nc(dir, "latlon", "a.nc");
  make_nc(dir, "packed", "p.nc");
  // A size past the dimension it names is refused with both sizes, which
  // ncdump tells from the coordinates.
  const auto length = [&](const std::string& file, const char* var) {
    return std::to_string(ncdump_values(dir.file(file), var).size());
  };
  const auto longer = [&](const std::string& file, const char* var) {
    return std::to_string(ncdump_values(dir.file(file), var).size() + 1);
  };
  const auto larger = [&](const char* rec, const std::string& file, const char* dim) {
    return std::string("XDFopen Error:  ") + rec + " size " + longer(file, dim) +
           " is larger than SDF dimension " + dim + " of size " + length(file, dim) + "\n";
  };
  // A line holding a NUL byte is named by its number and shown escaped.
  const auto nul = [](int line, const std::string& record) {
    return "XDFOpen Error:  Description file line " + std::to_string(line) +
           " holds a NUL byte\n  --> The invalid description file record is: \n  --> " + record +
           "\n  The data file was not opened. \n";
  };
  const std::string nul_byte(1, '\0');
  // A start on a day the data set's calendar lacks is refused with its
  // record, whether the calendar is named before or after the time axis, or
  // was set by a file opened earlier whose time coordinate is on 365 days.
  const auto no_day = [](const std::string& record) {
    return "Syntax Error:  Invalid Date/Time value.\n  Day = 29 -- greater than 28 \n"
           "XDFopen Error:  Missing or invalid dimension starting value\n"
           "  --> The invalid description file record is: \n  --> " +
           record + "\n  The data file was not opened. \n";
  };
  // A line over 511 characters is refused whole, by its number (no part of
  // it is shown), where it was cut and a name or text changed without a word.
  const auto too_long = [](int line) {
    return "Scanning Descriptor File:  bad.ctl\nXDFOpen Error:  Description file line " +
           std::to_string(line) +
           " is longer than 511 characters\n  The data file was not opened. \n";
  };
  const std::string deep =
      std::string(200, 'd') + "/" + std::string(200, 'e') + "/" + std::string(200, 'f');
  std::filesystem::create_directories(dir.file(deep));
  std::filesystem::copy_file(dir.file("a.nc"), dir.file(deep + "/a.nc"));
  struct c {
    c(std::string d, std::string w, std::string f = "")
        : ctl(std::move(d)), want(std::move(w)), first(std::move(f)) {}
    std::string ctl, want, first;  // first: a command run before the xdfopen
  };
  const c cases[] = {
      {"dset ^a.nc\noptions 365_day_calendar\ntdef time 3 linear 00Z29FEB2000 1mo\n",
       no_day("tdef time 3 linear 00z29feb2000 1mo")},
      {"dset ^a.nc\ntdef time 3 linear 12z29feb1996 1dy\noptions 365_day_calendar\n",
       no_day("tdef time 3 linear 12z29feb1996 1dy")},
      {"dset ^a.nc\noptions template 365_day_calendar\ntdef time 3 linear 00z29feb2000 6hr\n",
       no_day("tdef time 3 linear 00z29feb2000 6hr")},
      {"dset ^a.nc\ntdef %nodim% 1 linear 00z29feb2000 1dy\noptions 365_day_calendar\n",
       no_day("tdef %nodim% 1 linear 00z29feb2000 1dy")},
      {"dset ^a.nc\ntdef time 3 linear 00z29feb2000 1mo\n",
       no_day("tdef time 3 linear 00z29feb2000 1mo"), "sdfopen p.nc"},
      {"dset ^a.nc\ntitle " + std::string(506, 't') + "\n", too_long(2)},
      {"dset ^" + deep + "/a.nc\n", too_long(1)},
      {"dset ^a.nc\nydef lat 4 levels -60\n -20 20" + std::string(600, ' ') + "\n 60\n",
       too_long(3)},
      {"dset ^a.nc\nvars 1\ntas 0 99 " + std::string(600, 'w') + "\nendvars\n", too_long(3)},
      {"dset ^a.nc\nxdef lon " + longer("a.nc", "lon") + " linear 0 40\n",
       larger("XDEF", "a.nc", "lon")},
      {"dset ^a.nc\nydef lat " + longer("a.nc", "lat") + " linear -80 30\n",
       larger("YDEF", "a.nc", "lat")},
      {"dset ^p.nc\nzdef lev " + longer("p.nc", "lev") + " linear 1000 -100\n",
       larger("ZDEF", "p.nc", "lev")},
      {"dset ^p.nc\ntdef time " + longer("p.nc", "time") + " linear 00z1jan2000 6hr\n",
       larger("TDEF", "p.nc", "time")},
      {"dset ^a.nc" + nul_byte + "x\n", nul(1, "dset ^a.nc\\x00x")},
      {"dset ^a.nc\ntitle a" + nul_byte + "b\n", nul(2, "title a\\x00b")},
      {"dset ^a.nc\nydef lat 4 levels -60\n -20 20\n" + nul_byte + "60\n", nul(4, "\\x0060")},
      {"dset ^a.nc\nydef lat 4 levels 60 20\n -20 -60\n",
       "XDFopen Error:  YDEF levels fall on line 2 of the descriptor: 20 after 60\n  List them "
       "rising, south to north, and add \"options yrev\" when the rows are stored north to "
       "south\n  --> The invalid description file record is: \n  --> ydef lat 4 levels 60 20\n"},
      {"dset ^a.nc\nxdef lon 8 levels 0 45 90 135\n 180 225 315 270\n",
       "XDFopen Error:  XDEF levels fall on line 3 of the descriptor: 270 after 315\n  List them "
       "rising, west to east\n"},
      {"dset ^a.nc\nvars 2\n* x\ntas\nps" + nul_byte + "\nendvars\n", nul(5, "ps\\x00")},
      {"dset ^a.nc\nvars 1\ntas=> 0 99 bad\nendvars\n",
       "XDFOpen Error:  Invalid variable record\n"},
      {"dset ^a.nc\nvars 3\ntas\nps\nendvars\n",
       "XDFOpen Error:  Unexpected ENDVARS record\nWas expecting 3 records.  Found 2.\n"},
      {"dset ^a.nc\ntdef time 3 linear 00z1jan1990 0hr\n",
       "XDFopen Error:  0 time increment in tdef\n use 1 for single time data\n"},
      {"dset ^a.nc\noptions template\ntdef time\n",
       "XDFopen Error:  Missing or invalid dimension size.\n"},
      {"dset ^a.nc\nfrobnicate\n", "XDFOpen Error:  Unknown keyword in description file\n"},
      {"title no data\n", "XDFOpen Error:  missing DSET record \n"},
      {"dset ^a.nc\nxdef nosuch\n", "XDF file has no coordinate variable for X dimension.\n"},
  };
  write_file(dir.file("rc.gs"), "'xdfopen bad.ctl'\nsay 'rc=' rc\n");
  for (const c& k : cases) {
    write_file(dir.file("bad.ctl"), k.ctl);
    const std::string first = k.first.empty() ? "" : k.first + "\n";
    RunResult r = run_batch(first + "xdfopen bad.ctl\nq files\nrun rc.gs\n", dir.path());
    EXPECT_TRUE(contains(answer(r.out, "xdfopen bad.ctl"), k.want)) << k.ctl << r.out;
    EXPECT_TRUE(contains(answer(r.out, "run rc.gs"), "rc=1\n")) << k.ctl << r.out;
    if (k.first.empty())
      EXPECT_EQ(answer(r.out, "q files"), "No files open\n") << k.ctl;
    else
      EXPECT_FALSE(contains(answer(r.out, "q files"), "File 2")) << k.ctl;
  }
  // A line of 511 characters is read whole: the title keeps its last letter.
  const std::string title = std::string(504, 'l') + "z";
  write_file(dir.file("t.ctl"), "dset ^a.nc\ntitle " + title + "\n");
  RunResult t = run_batch("xdfopen t.ctl\nq file\n", dir.path());
  EXPECT_TRUE(contains(answer(t.out, "q file"), "File 1 : " + title + "\n")) << t.out;
  // A time axis without a dimension keeps one time and says so.
  write_file(dir.file("n.ctl"), "dset ^a.nc\ntdef %nodim% 5 linear 00z1jan1990 1dy\n");
  RunResult r = run_batch("xdfopen n.ctl\nq file\n", dir.path());
  EXPECT_TRUE(contains(r.out, "TDEF with %nodim% has timestep count != 1; resetting to 1.\n"));
  EXPECT_TRUE(contains(answer(r.out, "q file"), "Tsize = 1\n"));
}

// A 365-day descriptor after a standard-calendar data set is refused.
TEST(Xdfopen, CalendarOfTheSessionIsKept) {
  TempDir dir;
  make_nc(dir, "latlon", "a.nc");
  write_file(dir.file("c.ctl"), "dset ^a.nc\noptions 365_day_calendar\n");
  write_file(dir.file("a.nc.ctl"), "dset ^a.nc\n");
  RunResult r = run_batch("xdfopen a.nc.ctl\nxdfopen c.ctl\n", dir.path());
  EXPECT_TRUE(
      contains(answer(r.out, "xdfopen c.ctl"),
               "Attempt to change the global calendar...\nThe calendar is NOW STANDARD and you "
               "attempted to open a 365-day calendar file\n"))
      << r.out;
}

// A descriptor written for a file still being appended names more times than
// its unlimited time dimension holds so far: it opens, the times written
// read, and a read reaching past them is refused with the first time missing.
TEST(Xdfopen, GrowingFileOpensAndRefusesTimesNotWrittenYet) {
  TempDir dir;
  make_nc(dir, "latlon", "a.nc");
  const std::vector<double> tas = ncdump_values(dir.file("a.nc"), "tas");
  const int written = int(ncdump_values(dir.file("a.nc"), "time").size());
  const int points = 32;  // 4 latitudes x 8 longitudes
  ASSERT_EQ(tas.size(), size_t(written * points));
  const std::string n = std::to_string(written), next = std::to_string(written + 1);
  write_file(dir.file("g.ctl"),
             "dset ^a.nc\ntdef time " + std::to_string(written + 2) + " linear 00z1jan2000 6hr\n");
  write_file(dir.file("rc.gs"), "'d tas'\nsay 'rc=' rc\n");
  const std::string missing = "SDF:  Time " + next + " is not in the file yet: it holds " + n +
                              " times so far.\nData Request Error:  Error for variable 'tas'\n"
                              "  Error ocurred at column 1\nDISPLAY error:  Invalid expression \n"
                              "  Expression = tas\n";
  char last[64];
  std::snprintf(last, sizeof last, "Result value = %g \n", tas[size_t((written - 1) * points)]);
  dsfiles::expect_steps(dir, "",
                        {{"xdfopen g.ctl", "-"},
                         {"set x 1", "-"},
                         {"set y 1", "-"},
                         {"set t " + n, "-"},
                         {"d tas", last},
                         {"set t " + next, "-"},
                         {"run rc.gs", missing + "rc=1\n"},
                         {"set t 1 " + std::to_string(written + 2), "-"},
                         {"d tas", missing}});
  RunResult r = run_batch("xdfopen g.ctl\nq file\n", dir.path());
  EXPECT_TRUE(contains(answer(r.out, "xdfopen g.ctl"), "Data file a.nc is open as file 1\n"))
      << r.out;
  EXPECT_TRUE(contains(answer(r.out, "q file"), "Tsize = " + std::to_string(written + 2) + "\n"))
      << r.out;
}

// A variable record's display name, in capitals or not, names the variable
// in lower case, as expressions do: listed so and displayed under either case.
TEST(Xdfopen, DisplayNamesInCapitalsAreDisplayable) {
  TempDir dir;
  write_file(dir.file("q.cdl"),
             "netcdf q {\ndimensions:\n lat = 1 ;\n lon = 3 ;\nvariables:\n"
             " float lat(lat) ;\n  lat:units = \"degrees_north\" ;\n"
             " float lon(lon) ;\n  lon:units = \"degrees_east\" ;\n"
             " float Q(lat, lon) ;\n float w(lat, lon) ;\n"
             "data:\n lat = 0 ;\n lon = 0, 10, 20 ;\n Q = 7, 8, 9 ;\n w = 4, 5, 6 ;\n}\n");
  ASSERT_TRUE(sdffiles::sh("ncgen -o " + dir.file("q.nc") + " " + dir.file("q.cdl")));
  const struct {
    const char* records;
    const char* listed;
    std::vector<const char*> names;
  } rows[] = {
      {"Q\n", "    q 0 -999 \n", {"q", "Q"}},
      {"Q=>Hum\n", "    hum 0 -999 \n", {"hum", "Hum", "HUM"}},
      {"Q=>HUM 0 99 humidity\n", "    hum 0 99 humidity\n", {"hum", "Hum"}},
      {"w=>W\n", "    w 0 -999 \n", {"w", "W"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.records);
    write_file(dir.file("q.ctl"), std::string("dset ^q.nc\nvars 1\n") + row.records + "endvars\n");
    std::string cmds = "xdfopen q.ctl\nq file\nset gxout print\nset x 1 3\n";
    for (const char* n : row.names) cmds += std::string("d ") + n + "\n";
    RunResult r = run_batch(cmds, dir.path());
    EXPECT_TRUE(contains(answer(r.out, "q file"), row.listed)) << r.out;
    // ncdump's values of the variable the record names.
    const std::vector<double> want =
        ncdump_values(dir.file("q.nc"), row.records[0] == 'w' ? "w" : "Q");
    for (const char* n : row.names)
      EXPECT_EQ(printed_values(r.out, std::string("d ") + n), want) << n << "\n" << r.out;
  }
}
