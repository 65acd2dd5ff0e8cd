// "open" and the queries about open data sets, through the program.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "sdf_files.h"
#include "support/grib_writer.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;
using dsfiles::expect_steps;

namespace {

const std::string kLevels3 = "zdef 3 levels 1000 850 500";

const std::string kOpenG =
    "Scanning description file:  g.ctl\n"
    "Data file g.dat is open as file 1\n"
    "LON set to 0 7.5 \n"
    "LAT set to -30 30 \n"
    "LEV set to 1000 1000 \n"
    "Time values set: 1990:1:1:0 1990:1:1:0 \n";

}  // namespace

// The first grid file sets the default environment; a second one changes
// neither the default file nor the environment. 1 January 1990 was a
// Monday, 3 January a Wednesday; 06:30 moves to the nearest time, 06Z.
TEST(Open, FirstFileSetsTheEnvironmentASecondLeavesIt) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 4, 2.5, 3, kLevels3, 3, 12);
  dsfiles::write_grid(dir, "h", 144, 2.5, 5, "zdef 1 levels 500", 1, 2);
  const std::string y = "Y is varying   Lat = -30 to 30   Y = 1 to 3\n";
  const std::string zt =
      "Z is fixed     Lev = 1000  Z = 1\n"
      "T is fixed     Time = 00Z01JAN1990  T = 1\n";
  expect_steps(
      dir, "",
      {{"q dims", "No files open\n"},
       {"q time", "No Files Open\n"},
       {"open g.ctl", kOpenG},
       {"q dims",
        "Default file number is: 1 \nX is varying   Lon = 0 to 7.5   X = 1 to 4\n" + y + zt},
       {"set x 2", "-"},
       {"open h.ctl", "Scanning description file:  h.ctl\nData file h.dat is open as file 2\n"},
       {"q dims", "Default file number is: 1 \nX is fixed     Lon = 2.5  X = 2\n" + y + zt},
       {"q files",
        "File 1 : Grid g\n  Descriptor: g.ctl\n  Binary: g.dat\n"
        "File 2 : Grid h\n  Descriptor: h.ctl\n  Binary: h.dat\n"},
       {"set t 2 9", "-"},
       {"set z 1 3", "-"},
       {"q dims", "Default file number is: 1 \nX is fixed     Lon = 2.5  X = 2\n" + y +
                      "Z is varying   Lev = 1000 to 500   Z = 1 to 3\n"
                      "T is varying   Time = 06Z01JAN1990 to 00Z03JAN1990  T = 2 to 9\n"},
       {"q time", "Time = 06Z01JAN1990 to 00Z03JAN1990  Mon to Wed\n"},
       {"set time 6:30z1jan1990", "-"},
       {"q time", "Time = 06Z01JAN1990 to 06Z01JAN1990  Mon to Mon\n"}});
}

TEST(Open, WrappingGridStationDataAndProfiles) {
  TempDir dir;
  dsfiles::write_grid(dir, "w", 144, 2.5, 5, "zdef 1 levels 500", 1, 2);
  RunResult w = run_batch("open w.ctl\n", dir.path());
  EXPECT_TRUE(answer(w.out, "open w.ctl").find("LON set to 0 360 \nLAT set to -30 90 \n") !=
              std::string::npos)
      << w.out;

  dsfiles::write_station(dir, "s", 3);
  RunResult s = run_batch("open s.ctl\nq file\nq ctlinfo\n", dir.path());
  EXPECT_EQ(answer(s.out, "q file"),
            "File 1 : Stations\n  Descriptor: s.ctl\n  Binary: s.dat\n"
            "  Type = Station Data\n  Tsize = 3\n  Number of Variables = 2\n"
            "    ps 0 0 Pressure\n    t 1 0 Temp\n");
  EXPECT_EQ(answer(s.out, "q ctlinfo"),
            "dset s.dat\ntitle Stations\nundef -999\ndtype station\n  Tsize = 3\n");

  // A single column with levels: the whole z range.
  dsfiles::write_grid(dir, "p", 1, 2.5, 1, kLevels3, 3, 2);
  RunResult p = run_batch("open p.ctl\n", dir.path());
  EXPECT_TRUE(answer(p.out, "open p.ctl").find("LEV set to 1000 500 \n") != std::string::npos)
      << p.out;
}

// The "open" family's refusals: every message a descriptor can end the open
// with, the record it names (when it names one) and the closing line, all in
// one session that goes on after each.
TEST(Open, RefusedDescriptorsAndTheirMessages) {
  TempDir dir;
  const auto grid = [](const std::string& extra = "",
                       const std::string& vars = "vars 1\nt 0 99 temperature\nendvars\n") {
    return "dset ^d.dat\ntitle A Title\nundef -9.99e33\nxdef 4 linear 0 2.5\n"
           "ydef 3 linear -10 10\nzdef 1 levels 1000\ntdef 10 linear 00z01jan1990 6hr\n" +
           extra + vars;
  };
  const std::string toff = "Open Error:  Invalid toff value\n";
  const std::string size = "Open Error:  Missing or invalid dimension size.\n";
  const std::string scaling = "Open Error:  Missing or invalid dimension scaling type\n";
  const std::string start = "Open Error:  Missing or invalid dimension starting value\n";
  const std::string incr = "Open Error:  Missing or invalid dimension increment value\n";
  const std::string levels = "Open Error:  Invalid number of levels\n";
  const std::string use1 = " use 1 for single time data\n",
                    pdef = "Open Error: Invalid pdef record.\n";
  const std::string count = "Open Error:  Missing or invalid variable count\n";
  const std::string cant = "Open Error:  Can't open Station/Index map file ";
  const std::string g = grid(), head = grid("", "");
  // A line holding a NUL byte is refused by its number, counted from 1, and
  // shown with the byte escaped.
  const auto nul = [](int line) {
    return "Open Error:  Description file line " + std::to_string(line) + " holds a NUL byte\n";
  };
  const std::string nul_byte(1, '\0');
  // A falling list of longitudes or latitudes (as pasted north to south) is
  // refused at the line where it falls.
  const auto falls = [](const char* axis, int line, const char* values) {
    return "Open Error:  " + std::string(axis) + " levels fall on line " + std::to_string(line) +
           " of the descriptor: " + values + "\n" +
           (axis[0] == 'X' ? "  List them rising, west to east\n"
                           : "  List them rising, south to north, and add \"options yrev\" when "
                             "the rows are stored north to south\n");
  };
  const struct {
    std::string text, msg, record;  // record: "" when none is shown
  } cases[] = {
      {"ydef 3 levels 60 0 -60\n" + g, falls("YDEF", 1, "0 after 60"), "ydef 3 levels 60 0 -60"},
      {"* from griddes\nydef 4 levels -30 -10\n 10\n 5\n" + g, falls("YDEF", 4, "5 after 10"),
       " 5"},
      {"xdef 4 levels 0 90 270 180\n" + g, falls("XDEF", 1, "180 after 270"),
       "xdef 4 levels 0 90 270 180"},
      {"dtype grib\nindex ^d.idx\nydef 2 levels 10 -10\n" + g, falls("YDEF", 3, "-10 after 10"),
       "ydef 2 levels 10 -10"},
      // 2000 is a leap year, but a 365-day calendar has no 29 February, whether
      // its option comes before or after the time axis.
      {grid("options 365_day_calendar\ntdef 24 linear 00Z29FEB2000 1mo\n"),
       "Syntax Error:  Invalid Date/Time value.\n  Day = 29 -- greater than 28 \n"
       "Open Error:  Invalid start time in tdef card starting value\n",
       "tdef 24 linear 00Z29FEB2000 1mo"},
      {grid("tdef 2 linear 12z29feb1996 1dy\noptions big_endian 365_day_calendar\n"),
       "Syntax Error:  Invalid Date/Time value.\n  Day = 29 -- greater than 28 \n"
       "Open Error:  Invalid start time in tdef card starting value\n",
       "tdef 2 linear 12z29feb1996 1dy"},
      {"dset ^d.dat" + nul_byte + "x\n" + g, nul(1), "dset ^d.dat\\x00x"},
      {"dset ^d.dat\ntitle a" + nul_byte + "b\n" + g.substr(12), nul(2), "title a\\x00b"},
      {"zdef 3 levels 1000\n850" + nul_byte + "\n500\n" + g, nul(2), "850\\x00"},
      {head + "vars 2\n* note\nt 0 99 t" + nul_byte + "\nu 0 99 u\nendvars\n", nul(10),
       "t 0 99 t\\x00"},
      {grid("options yrev bogus\n"), "Open Error:  Data file type invalid\n", "options yrev bogus"},
      {grid("Whatever 1 2\n"), "Open Error:  Unknown keyword in description file\n",
       "Whatever 1 2"},
      {"dset\n" + g, "Open Error:  Data file name is missing\n", "dset"},
      {grid("stnmap\n"), "Open Error:  Station or Index Map file name is missing\n", "stnmap"},
      {grid("toff\n"), "Open Error:  Missing toff value\n", "toff"},
      // The offset must lie inside the time axis, also when given before it.
      {grid("toff 10\n"), toff, "toff 10"},
      {"toff 12\n" + g, toff, ""},
      {"undef\n" + g, "Open Error:  Missing undef value\n", "undef"},
      {grid("fileheader -4\n"), "Fileheader record invalid\n", "fileheader -4"},
      {"zdef 3 levels 1000\n\n500\n" + g, "Open Error:  Blank Record found in LEVELS data\n", " "},
      {"xdef 4x linear 0 1\n" + g, size, "xdef 4x linear 0 1"},
      // A well-formed count below 1 of a levels axis is named as such.
      {"ZDEF 0 LEVELS 1000\n" + g, levels, "ZDEF 0 LEVELS 1000"},
      {"xdef 4 cubic 0 1\n" + g, scaling, "xdef 4 cubic 0 1"},
      {"xdef 4 linear 0 -1\n" + g, incr, "xdef 4 linear 0 -1"},
      {"ydef 3 linear 10 -10\n" + g, incr, "ydef 3 linear 10 -10"},
      // Numbers past the float range, or a step whose inverse is, make no axis.
      {"xdef 4 linear 0 1e-40\n" + g, incr, "xdef 4 linear 0 1e-40"},
      {"ydef 4 linear 1e39 1\n" + g, start, "ydef 4 linear 1e39 1"},
      {"zdef 3 levels 1000 1e39 500\n" + g, "Open Error:  Invalid value in LEVELS data\n",
       "zdef 3 levels 1000 1e39 500"},
      {"undef 1e39\n" + g, "Open Error:  Invalid undef value\n", "undef 1e39"},
      {"zdef 4 linear 1000 0\n" + g, incr, "zdef 4 linear 1000 0"},  // z may fall but must move
      {"tdef 5 linear 00z1jan1990 0hr\n" + g, "Open Error:  0 time increment in tdef\n" + use1,
       "tdef 5 linear 00z1jan1990 0hr"},
      {"tdef 5 linear 00z1jan1990 6hx\n" + g,
       "Syntax Error:  Invalid Date/Time offset.\n  Expecting yr/mo/dy/hr/mn, found hx\n"
       "Open Error:  Invalid time increment in tdef\n" +
           use1,
       "tdef 5 linear 00z1jan1990 6hx"},
      {"tdef 5 linear\n" + g, "Open Error:  Start Time missing in tdef card starting value\n",
       "tdef 5 linear"},
      {"tdef 5 linear 30feb1990 1dy\n" + g,
       "Syntax Error:  Invalid Date/Time value.\n  Day = 30 -- greater than 28 \n"
       "Open Error:  Invalid start time in tdef card starting value\n",
       "tdef 5 linear 30feb1990 1dy"},
      // An hour alone leaves day, month and year unset.
      {"tdef 5 linear 12z 1dy\n" + g, start, "tdef 5 linear 12z 1dy"},
      {"tdef 5 levels 1 2\n" + g, scaling, "tdef 5 levels 1 2"},
      {grid("pdef 10 10 xyz 1 2 3 4\n"), pdef, "pdef 10 10 xyz 1 2 3 4"},
      {grid("pdef 10 10 bilin stream binary ^nowhere.dat\n"),
       "Error opening pdef file\n  File name is:  nowhere.dat\n" + pdef,
       "pdef 10 10 bilin stream binary ^nowhere.dat"},
      // A later map record replaces the name and is the one shown.
      {grid("index ^first.idx\nINDEX ^Gone.idx\n"), cant + "Gone.idx\n", "INDEX ^Gone.idx"},
      {"* nothing\n",
       "Open Error:  missing XDEF record \nOpen Error:  missing YDEF record \n"
       "Open Error:  missing ZDEF record \nOpen Error:  missing TDEF record \n"
       "Open Error:  missing UNDEF record \nOpen Error:  missing DSET record \n"
       "Open Error:  missing VARS record \n",
       ""},
      {head + "vars 3\na 0 1 a\n",
       "Open Error:  Unexpected EOF reading variables\nWas expecting 3 records.  Found 1.\n", ""},
      {head + "vars 3\na 0 1 a\nENDVARS\n",
       "Open Error:  Unexpected ENDVARS record\nWas expecting 3 records.  Found 1.\n", "ENDVARS"},
      {head + "vars 1\na 0 1 a\n", "Open Error:  Missing ENDVARS statement.\n", ""},
      {head + "vars 1\na 0 1 a\nb 0 1 b\n",
       "Open Error:  Looking for ENDVARS statement\n             Instead, found:  \n", "b 0 1 b"},
      {head + "vars -2\n", count, "vars -2"},
  };
  std::string input;
  for (size_t i = 0; i < std::size(cases); i++) {
    write_file(dir.file("c" + std::to_string(i) + ".ctl"), cases[i].text);
    input += "open c" + std::to_string(i) + ".ctl\n";
  }
  RunResult r = run_batch(input + "q files\n", dir.path());
  for (size_t i = 0; i < std::size(cases); i++) {
    const auto& c = cases[i];
    std::string name = "c" + std::to_string(i) + ".ctl";
    std::string want = "Scanning description file:  " + name + "\n" + c.msg;
    if (!c.record.empty())  // " ": a blank record
      want += "  --> The invalid description file record is: \n  --> " +
              (c.record == " " ? "" : c.record) + "\n";
    want += "  The data file was not opened. \n";
    EXPECT_EQ(answer(r.out, "open " + name), want) << c.text;
  }
  EXPECT_EQ(answer(r.out, "q files"), "No files open\n");
}

TEST(Open, FailuresLeaveTheSessionAlone) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 4, 2.5, 3, kLevels3, 3, 4);
  write_file(dir.file("nodata.ctl"),
             "dset ^absent.dat\nundef 1\nxdef 2 linear 0 1\n"
             "ydef 2 linear 0 1\nzdef 1 linear 1 1\n"
             "tdef 1 linear jan2000 1mo\nvars 1\nv 0 0 v\nendvars\n");
  // A templated data set opens without its first file.
  write_file(dir.file("t.ctl"),
             "dset ^t%y4%m2%d2.dat\noptions template\nundef 1\n"
             "xdef 2 linear 0 1\nydef 2 linear 0 1\nzdef 1 linear 1 1\n"
             "tdef 8 linear 00z1jan2000 6hr\nvars 1\nv 0 0 v\nendvars\n");
  // The message names the data file, not the descriptor; after the failures
  // the good file is still the first one.
  expect_steps(dir, "",
               {{"open nodata.ctl",
                 "Scanning description file:  nodata.ctl\n"
                 "Open Error:  Can't open binary data file\n"
                 "  File name = absent.dat\n"},
                {"q files", "No files open\n"},
                {"open nothing",
                 "Scanning description file:  nothing\nOpen Error:  Can't open description file\n"},
                {"open g.ctl", kOpenG},
                {"open", "OPEN error:  missing data description file name\n"},
                {"q files", "File 1 : Grid g\n  Descriptor: g.ctl\n  Binary: g.dat\n"},
                {"open t.ctl",
                 "Scanning description file:  t.ctl\n"
                 "Data file t%y4%m2%d2.dat is open as file 2\n"}});
}

// Lines nothing reads take no part: comments of any length or holding a NUL
// byte, and the NUL bytes a writer pads the end of a descriptor with, open
// with "open" and "xdfopen" alike; the same bytes in a line that is read are
// still refused, naming it.
TEST(Open, LinesNothingReadsAreNoFault) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 4, 2.5, 3, "zdef 1 levels 500", 1, 2);
  sdffiles::make_nc(dir, "latlon", "a.nc");
  const std::string nul(1, '\0');
  struct odd_lines {
    const char* how;
    std::string head, inside, tail;  // before line 1, inside VARS, after ENDVARS
    std::string endvars;             // the line that closes the variables
    std::string refusal;             // after "Open Error:  "; empty: the set opens
  };
  const std::string at10 =
      "Description file line 10 holds a NUL byte\n"
      "  --> The invalid description file record is: \n  --> endvars";
  const odd_lines cases[] = {
      {"NUL padding after ENDVARS", "", "", std::string(700, '\0'), "endvars", ""},
      {"NUL lines after ENDVARS", "", "",
       "\n" + std::string(20, '\0') + "\n" + std::string(5000, '\0'), "endvars", ""},
      {"long comment first", "* " + std::string(600, '*') + "\n", "", "", "endvars", ""},
      {"long comment among the variables", "", "# " + std::string(2000, 'x') + "\n", "", "endvars",
       ""},
      {"long indented lines", "\t" + std::string(600, 'y') + "\n",
       "\t" + std::string(600, 'z') + "\n", "", "endvars", ""},
      {"comments holding a NUL", "* a note" + nul + " with a NUL\n", "*" + nul + "\n", "",
       "endvars", ""},
      {"ENDVARS holding NUL bytes", "", "", "", "endvars" + std::string(3, '\0'),
       at10 + "\\x00\\x00\\x00\n  The data file was not opened. \n"},
      {"ENDVARS line too long", "", "", "", "endvars " + std::string(600, 'e'),
       "Description file line 10 is longer than 511 characters\n"
       "  The data file was not opened. \n"},
  };
  for (const odd_lines& c : cases) {
    SCOPED_TRACE(c.how);
    // Both descriptors close their variables on line 10.
    write_file(dir.file("o.ctl"),
               c.head +
                   "dset ^g.dat\ntitle odd lines\nundef -9.99e33\n"
                   "xdef 4 linear 0 2.5\nydef 3 linear -30 30\n"
                   "zdef 1 levels 500\ntdef 2 linear 00z01jan1990 6hr\nvars 1\n" +
                   c.inside + "ps 0 1 Surface Pressure\n" + c.endvars + "\n" + c.tail);
    write_file(dir.file("x.ctl"), c.head +
                                      "dset ^a.nc\ntitle odd lines\nundef -9.99e33\nxdef lon\n"
                                      "ydef lat\n* no levels\ntdef time\nvars 1\n" +
                                      c.inside + "tas\n" + c.endvars + "\n" + c.tail);
    RunResult r = run_batch("open o.ctl\nxdfopen x.ctl\n", dir.path());
    const std::string opened = answer(r.out, "open o.ctl"), xdf = answer(r.out, "xdfopen x.ctl");
    if (c.refusal.empty()) {
      EXPECT_NE(opened.find("Data file g.dat is open as file 1\n"), std::string::npos) << opened;
      EXPECT_NE(xdf.find("Data file a.nc is open as file 2\n"), std::string::npos) << xdf;
    } else {
      EXPECT_EQ(opened, "Scanning description file:  o.ctl\nOpen Error:  " + c.refusal);
      EXPECT_EQ(xdf, "Scanning Descriptor File:  x.ctl\nXDFOpen Error:  " + c.refusal);
    }
  }
}

// An open that fails after its data set's calendar was taken (365 days
// here) leaves the session as it found it, whichever opener it was and
// however late it failed: no file and no dimensions, and a standard-calendar
// set whose first time is 29 February opens next as file 1.
TEST(Open, AFailedOpenLeavesTheSessionAsItFoundIt) {
  TempDir dir;
  const std::string grid =
      "undef -9.99e33\nxdef 4 linear 0 90\nydef 3 linear -60 60\nzdef 1 levels 850\n"
      "tdef 2 linear 00z1jan2001 6hr\nvars 1\nt 0 11,100,850 temperature\nendvars\n";
  const std::string noleap = "options 365_day_calendar\n" + grid;
  write_file(dir.file("g.dat"), std::string(4 * 12 * 2, '\0'));
  write_file(dir.file("nodata.ctl"), "dset ^absent.dat\n" + noleap);
  // Its interpolation file is too short for a 4 by 3 grid of weights.
  write_file(dir.file("w.bin"), std::string(16, '\0'));
  write_file(dir.file("pdef.ctl"), "dset ^g.dat\npdef 4 3 bilin stream binary ^w.bin\n" + noleap);
  // GRIB sets on 365 days, each with the index built from its data.
  const auto grib_at = [](int hour) {
    gribw::message m;
    m.param = 11, m.level_type = 100, m.level = 850, m.year = 2001, m.hour = hour;
    for (int k = 0; k < 12; k++) m.fields.push_back(uint32_t(k));
    return gribw::encode(m);
  };
  const auto index = [&](const std::string& ctl) {
    const std::string cmd = std::string(VEMRA_GRIBMAP) + " " + dir.file(ctl) + " >/dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0) << ctl;
  };
  const std::string head = "dtype grib\n" + noleap;
  write_file(dir.file("g.grb"), grib_at(0) + grib_at(6));
  write_file(dir.file("g.ctl"), "dset ^g.grb\nindex ^g.idx\n" + head);
  index("g.ctl");
  write_file(dir.file("gone.ctl"), "dset ^gone.grb\nindex ^g.idx\n" + head);
  std::string other = read_file(dir.file("g.grb"));
  other[other.size() / 2] ^= 1;
  write_file(dir.file("other.grb"), other);
  write_file(dir.file("other.ctl"), "dset ^other.grb\nindex ^g.idx\n" + head);
  write_file(dir.file("t2001010100.grb"), grib_at(0));
  write_file(dir.file("t2001010106.grb"), grib_at(6));
  write_file(dir.file("t.ctl"), "dset ^t%y4%m2%d2%h2.grb\nindex ^t.idx\noptions template\n" + head);
  index("t.ctl");
  // The second file of the template is cut short after its index was built.
  const std::string second = read_file(dir.file("t2001010106.grb"));
  write_file(dir.file("t2001010106.grb"), second.substr(0, second.size() - 8));
  // netCDF on 365 days: one time a file, so a series of them has no step.
  write_file(
      dir.file("n.cdl"),
      "netcdf n {\ndimensions:\n time = UNLIMITED ;\n lat = 3 ;\n lon = 4 ;\n"
      "variables:\n double time(time) ;\n  time:units = \"days since 2001-01-01\" ;\n"
      "  time:calendar = \"noleap\" ;\n float lat(lat) ;\n  lat:units = \"degrees_north\" ;\n"
      " float lon(lon) ;\n  lon:units = \"degrees_east\" ;\n float t(time, lat, lon) ;\n"
      "data:\n time = 0 ;\n lat = -60, 0, 60 ;\n lon = 0, 90, 180, 270 ;\n"
      " t = 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11 ;\n}\n");
  ASSERT_TRUE(sdffiles::sh("ncgen -o " + dir.file("n2001.nc") + " " + dir.file("n.cdl")));
  write_file(dir.file("x.ctl"), "dset ^absent.nc\noptions 365_day_calendar\n");
  write_file(dir.file("xz.ctl"), "dset ^n2001.nc\nzdef nosuch 1 linear 1 1\n");
  // The standard-calendar set that must open after each failure.
  write_file(dir.file("feb29.ctl"),
             "dset ^g.dat\n" + grid.substr(0, grid.find("tdef")) +
                 "tdef 2 linear 00z29feb2000 6hr\nvars 1\nt 0 11,100,850 temperature\nendvars\n");

  const struct {
    const char* how;
    std::string open, refusal;  // refusal: a line of the failed open's answer
  } cases[] = {
      {"data file missing", "open nodata.ctl", "Open Error:  Can't open binary data file\n"},
      {"interpolation file short", "open pdef.ctl", "Open Error:  I/O Error on pdef file read\n"},
      {"GRIB data file missing", "open gone.ctl", "Open Error:  Can't open binary data file\n"},
      {"index of another data file", "open other.ctl",
       "Open Error:  GRIB data file is not the one its index was built from\n"},
      {"template file shorter than its index", "open t.ctl",
       "Open Error:  GRIB index places a message outside its data file\n"},
      {"sdfopen series without a step", "sdfopen n2001.nc n%y4.nc 3",
       "SDFOPEN error:  The first file of the template series holds one time"},
      {"xdfopen data file missing", "xdfopen x.ctl",
       "Data file absent.nc was not successfully opened & parsed.\n"},
      {"xdfopen level dimension missing", "xdfopen xz.ctl",
       "Alleged level dimension (from ZDEF) is not an SDF dimension."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.how);
    RunResult r = run_batch(c.open + "\nq file\nq dims\nopen feb29.ctl\n", dir.path());
    const std::string failed = answer(r.out, c.open);
    EXPECT_NE(failed.find(c.refusal), std::string::npos) << failed;
    EXPECT_EQ(failed.find("is open as file"), std::string::npos) << failed;
    EXPECT_EQ(answer(r.out, "q file"), "No Files Open\n");
    EXPECT_EQ(answer(r.out, "q dims"), "No files open\n");
    EXPECT_EQ(answer(r.out, "open feb29.ctl"),
              "Scanning description file:  feb29.ctl\nData file g.dat is open as file 1\n"
              "LON set to 0 360 \nLAT set to -60 60 \nLEV set to 850 850 \n"
              "Time values set: 2000:2:29:0 2000:2:29:0 \n");
  }
}

// Descriptors and data files are read only when they are plain files: a
// directory of the name is passed over for NAME.ctl, a pipe (as any file
// that is not plain) is refused at once, never waited for, and a line
// longer than 511 characters ends the open instead of filling memory.
TEST(Open, OnlyPlainFilesAreRead) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 4, 2.5, 3, kLevels3, 3, 4);
  std::filesystem::create_directory(dir.file("g"));
  ASSERT_EQ(mkfifo(dir.file("pipe.ctl").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(dir.file("pipe.dat").c_str(), 0600), 0);
  const std::string rest =
      "undef 1\nxdef 2 linear 0 1\nydef 2 linear 0 1\nzdef 1 linear 1 1\n"
      "tdef 1 linear jan2000 1mo\nvars 1\nv 0 0 v\nendvars\n";
  write_file(dir.file("piped.ctl"), "dset ^pipe.dat\n" + rest);
  write_file(dir.file("fits.ctl"), "dset ^g.dat\ntitle " + std::string(505, 't') + "\n" + rest);
  write_file(dir.file("long.ctl"), "dset ^g.dat\ntitle " + std::string(506, 't') + "\n" + rest);
  expect_steps(dir, "",
               {{"open pipe",
                 "Scanning description file:  pipe\n"
                 "Open Error:  Can't open description file\n"
                 "  pipe.ctl is not a regular file\n"},
                {"open piped.ctl",
                 "Scanning description file:  piped.ctl\n"
                 "Open Error:  Can't open binary data file\n"
                 "  File name = pipe.dat\n"},
                {"open long.ctl",
                 "Scanning description file:  long.ctl\n"
                 "Open Error:  Description file line 2 is longer than 511 characters\n"
                 "  The data file was not opened. \n"},
                {"q files", "No files open\n"}});
  RunResult r = run_batch("open g\nopen fits.ctl\nq files\n", dir.path());
  const std::string files = answer(r.out, "q files");
  EXPECT_NE(files.find("File 1 : Grid g\n  Descriptor: g.ctl\n"), std::string::npos) << files;
  EXPECT_NE(files.find("File 2 : "), std::string::npos) << files;
  EXPECT_NE(files.find("Descriptor: fits.ctl\n"), std::string::npos) << files;
}

TEST(Query, FileAndCtlinfo) {
  TempDir dir;
  std::string levels = "zdef 20 levels";
  for (int i = 0; i < 20; i++) levels += " " + std::to_string(1000 - 50 * i);
  dsfiles::write_grid(dir, "g", 4, 2.5, 3, levels, 20, 4, "options big_endian\n");
  dsfiles::write_grid(dir, "m", 2, 90, 3, kLevels3, 3, 1);
  write_file(dir.file("m.ctl"),
             "dset ^m.dat\ntitle Monthly\nundef -1\nxdef 2 linear 0 90\n"
             "ydef 3 levels -60 0 60\nzdef 1 linear 1 1\n"
             "tdef 1 linear 6:30z1feb2001 3mo\nvars 2\n"
             "a 0 -1,40,2,-1 two-byte\nb 0 7,8,9 three codes\nendvars\n");
  expect_steps(
      dir, "",
      {{"q ctlinfo", "No Files Open\n"},
       {"q file", "No Files Open\n"},
       {"open g.ctl", "-"},
       {"open m.ctl", "-"},
       {"q ctlinfo",
        "dset g.dat\ntitle Grid g\nundef -9.99e+33\nxdef 4 linear 0 2.5\n"
        "ydef 3 linear -30 30\n"
        "zdef 20 levels 1000 950 900 850 800 750 700 650\n"
        " 600 550 500 450 400 350 300 250 200 150\n"
        " 100 50\n"
        "tdef 4 linear 00Z01JAN1990 360mn\nvars 2\nu 20 33,100 U Wind\nps 0 1 Surface Pressure\n"},
       {"q ctlinfo 2",
        "dset m.dat\ntitle Monthly\nundef -1\nxdef 2 linear 0 90\n"
        "ydef 3 levels -60 0 60\nzdef 1 linear 1 1\n"
        "tdef 1 linear 06:30Z01FEB2001 3mo\nvars 2\n"
        "a 0 -1,40,2,-1 two-byte\nb 0 7,8,9 three codes\n"},
       {"q file 2",
        "File 2 : Monthly\n  Descriptor: m.ctl\n  Binary: m.dat\n  Type = Gridded\n"
        "  Xsize = 2  Ysize = 3  Zsize = 1  Tsize = 1\n  Number of Variables = 2\n"
        "    a 0 -1 two-byte\n    b 0 7 three codes\n"},
       {"q file 3", "QUERY FILE Error:  file 3 not open\n"},
       {"q ctlinfo abcdefghijklmnopqrstuvwxyz",
        "Invalid QUERY CTLINFO argument: abcdefghijklmnopqrs \n"},
       {"q file 1x", "Invalid QUERY FILE argument: 1x \n"}});
}

TEST(Open, LongNamesAreKeptWhole) {
  TempDir dir;
  // A descriptor path of more than 400 characters whose data file is found
  // through it.
  std::string sub = std::string(200, 'a') + "/" + std::string(200, 'b');
  std::filesystem::create_directories(dir.file(sub));
  write_file(dir.file(sub + "/g.ctl"),
             "dset ^g.dat\nundef 1\nxdef 2 linear 0 1\n"
             "ydef 2 linear 0 1\nzdef 1 linear 1 1\n"
             "tdef 1 linear jan2000 1mo\nvars 1\nv 0 0 v\nendvars\n");
  write_file(dir.file(sub + "/g.dat"), std::string(16, '\0'));
  RunResult r = run_batch("open " + sub + "/g.ctl\nq files\n", dir.path());
  EXPECT_EQ(answer(r.out, "q files"),
            "File 1 : \n  Descriptor: " + sub + "/g.ctl\n  Binary: " + sub + "/g.dat\n");
}

// A GRIB data set: messages from the test writer, the index built by the
// driver (as the GRIB writer does on closing a file), then "open" and
// "display".
TEST(GribDataSet, OpensAndDisplaysThroughItsIndex) {
  TempDir d;
  std::string grib;
  for (int t = 0; t < 2; t++) {
    gribw::message m;
    m.param = 11, m.level_type = 100, m.level = 850, m.hour = 6 * t;
    m.binary_scale = -1, m.reference = 200;  // f / 2 + 200
    m.bitmap = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1};
    for (int k = 0; k < 11; k++) m.fields.push_back(uint32_t(10 * k + t));
    grib += gribw::encode(m);
  }
  write_file(d.file("g.grb"), grib);
  write_file(d.file("g.ctl"),
             "dset ^g.grb\nindex ^g.idx\ndtype grib\nundef -9.99e33\nxdef 4 linear 0 90\n"
             "ydef 3 linear -60 60\nzdef 2 levels 1000 850\ntdef 2 linear 00z1jan2000 6hr\n"
             "vars 1\nt 2 11,100 temperature\nendvars\n");
  const std::string gribmap = std::string(VEMRA_GRIBMAP) + " " + d.file("g.ctl") + " >/dev/null";
  ASSERT_EQ(std::system(gribmap.c_str()), 0);
  const std::string head = "Printing Grid -- 2 Values -- Undef = -9.99e+33\n";
  expect_steps(d, "open g.ctl\nset lev 850\nset gxout print\n",
               {{"set x 2", "-"},
                {"set y 3", "-"},
                {"set t 1 2", "-"},
                // point 10 is the second of the last row: (9 * 10 + t) / 2 + 200
                {"d t", head + "245 245.5 \n"},
                {"set x 3", "-"},  // masked by the bit map
                {"d t", head + "-9.99e+33 -9.99e+33 \n"},
                {"set x 1", "-"},
                {"set t 1", "-"},
                {"d ave(t, t=1, t=2)",
                 "Averaging.  dim = 3, start = 1, end = 2\n"
                 "Printing Grid -- 1 Values -- Undef = -9.99e+33\n240.25 \n"},
                {"set lev 1000", "-"},
                {"d t", "Printing Grid -- 1 Values -- Undef = -9.99e+33\n-9.99e+33 \n"}});
}
