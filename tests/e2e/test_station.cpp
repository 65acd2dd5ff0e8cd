// Station data through the program: "open" of a station data set, station
// operands with their station id, radius and level arguments, and their
// refusals.
#include <gtest/gtest.h>

#include <string>

#include "dataset_files.h"
#include "support/station_writer.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::expect_steps;

namespace {

// Three stations over two times, one surface and two level variables.
void write_set(const TempDir& dir) {
  stnw::dataset ds;
  ds.surface_vars = {"ps"};
  ds.level_vars = {"t", "u"};
  ds.times = {{stnw::upper_report("KDEN", 39.75f, -104.875f, {{850, {10, 2}}, {500, {-20, 8}}}, {830}),
               stnw::upper_report("72469", 40, -105, {{700, {-5, 3}}}, {}, 0.5f),
               stnw::surface_report("EGLL", 51.5f, -0.5f, {1012.5f})},
              {stnw::surface_report("KDEN", 39.75f, -104.875f, {829}),
               stnw::upper_report("EGLL", 51.5f, -0.5f, {{500, {-30, 20}}}, {1011})}};
  stnw::write(dir.path(), "s", ds);
}

const std::string kHead = "open s.ctl\nset gxout print\n";

std::string refused(const std::string& expr) {
  return "  Error ocurred at column 1\nDISPLAY error:  Invalid expression \n  Expression = " + expr + "\n";
}

}  // namespace

TEST(StationData, OpenSetsTheStationEnvironmentAndDisplaysReports) {
  TempDir dir;
  write_set(dir);
  expect_steps(dir, "", {{"open s.ctl", "Scanning description file:  s.ctl\n"
                                        "Data file s.dat is open as file 1\n"
                                        "LON set to 0 360 \n"
                                        "LAT set to -90 90 \n"
                                        "LEV set to 500 500 \n"
                                        "Time values set: 2000:1:1:0 2000:1:1:0 \n"},
                         {"set gxout print", "-"},
                         // Surface values of the stations with a surface record.
                         {"d ps", "Printing Stations -- 2 Reports -- Undef = -999\n"
                                  "KDEN     -104.875 39.75    -9.99e+33 \n830 \n"
                                  "EGLL     -0.5     51.5     -9.99e+33 \n1012.5 \n"}});
}

TEST(StationData, StationIdAndRadiusWhenNoSpaceDimensionVaries) {
  TempDir dir;
  write_set(dir);
  const std::string fix = "set lon -105\nset lat 40\nset t 1 2\n";
  expect_steps(dir, kHead + fix,
               {// Over time at one station: its id, cut at 8 characters, any case.
                {"d ps(stid=kden)", "Printing Stations -- 2 Reports -- Undef = -999\n"
                                    "KDEN     -104.875 39.75    -9.99e+33 \n830 \n"
                                    "KDEN     -104.875 39.75    -9.99e+33 \n829 \n"},
                // Centre (-105, 40), radius 1: KDEN (0.28 away) and 72469 (at it).
                {"d t(r=1,lev=850,lev=700)", "Printing Stations -- 2 Reports -- Undef = -999\n"
                                             "KDEN     -104.875 39.75    850      \n10 \n"
                                             "72469    -105     40       700      \n-5 \n"},
                {"d ps(stid=)", "Dimension Expression Error: No stid provided\n" + refused("ps(stid=)")},
                {"d ps(stid=abcdefghi)", "Dimension Expression Error: stid too long\n" + refused("ps(stid=abcdefghi)")},
                {"d t(lev=500,lev=850)", "Data Request Error: Invalid grid coordinates\n"
                                         "  Varying dimension 2 decreases: 500 to 850 \n"
                                         "  Error ocurred getting variable 't'\n" + refused("t(lev=500,lev=850)")},
                {"d lat", "Data Request Error:  Predefined variable lat\n"
                          "   is only defined for grid type files\n"
                          "   File 1 is a station file\n" + refused("lat")}});
  // With x and y varying the request is a box: no radius, no station id.
  expect_steps(dir, kHead, {{"d ps(stid=kden)", "Data Request Error: Invalid dimension expression\n"
                                                "  Attempt to set or modify varying dimension\n"
                                                "  Variable = ps, Dimension = 5 \n" + refused("ps(stid=kden)")}});
}

namespace {

std::string hex(const std::string& bytes) {
  static const char* d = "0123456789abcdef";
  std::string h;
  for (unsigned char c : bytes) h += d[c >> 4], h += d[c & 15];
  return h;
}

}  // namespace

// Station reports written to the writegds stream, the bytes worked out by
// hand (big-endian IEEE: -104.875 = c2d1c000, 39.75 = 421f0000, 830 =
// 444f8000, 500 = 43fa0000, -20 = c1a00000, -0.5 = bf000000, 51.5 =
// 424e0000, 1012.5 = 447d2000; the time 1 as a double 3ff0000000000000).
TEST(StationData, WritegdsOfSurfaceAndLevelVariables) {
  TempDir dir;
  write_set(dir);
  RunResult r = run_batch("open s.ctl\nset gxout writegds\nset writegds -sxyztdi out.gds\nd ps;t\n"
                          "set writegds -sx sx.gds\nd ps\n",
                          dir.path());
  EXPECT_NE(r.out.find("WRITEGDS: 2 reports x 2 vars written as 2 records\n"), std::string::npos) << r.out;
  const std::string kden = "5a000000" "00000008" + hex("KDEN    ") + "c2d1c000" "421f0000" "3ff0000000000000";
  const std::string egll = "5a000000" "00000008" + hex("EGLL    ") + "bf000000" "424e0000" "3ff0000000000000";
  // KDEN: surface value, its one level at 500, the end of its levels; EGLL
  // has no level 500: its surface value and the end tag.
  EXPECT_EQ(hex(read_file(dir.file("out.gds"))),
            kden + "444f8000" + "5a000000" "43fa0000" "c1a00000" + "a5000000" +
            egll + "447d2000" + "a5000000");
  // Id and longitude only: 4 + 4 + 8 + 4 bytes a report, no end tag.
  EXPECT_EQ(hex(read_file(dir.file("sx.gds"))),
            "5a000000" "00000008" + hex("KDEN    ") + "c2d1c000" +
            "5a000000" "00000008" + hex("EGLL    ") + "bf000000");
}

TEST(StationData, CollectKeepsStationSets) {
  TempDir dir;
  write_set(dir);
  const std::string syntax = "Collect command error:  Invalid Syntax\n  Format is:  collect n expr\n";
  expect_steps(dir, "open s.ctl\n",
               {{"collect 1 ps", "Collect Error: Z or T must be the only varying dimension\n"},
                {"set lon -105", "-"},
                {"set lat 40", "-"},
                {"set t 1 2", "-"},
                {"collect 32 ps(stid=kden)", syntax},
                {"collect 3 1", "Collect Error: Station Data Required\n"},
                {"collect 3 ps(stid=kden)", ""},
                {"coll 3 ps(stid=egll) ; ps(stid=kden)", ""},
                {"collect 3 free", ""},
                {"reset", "-"}});
}
