// Station data through the program: "open" of a station data set, station
// operands with their station id, radius and level arguments, collect, and
// the station analyses.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "support/live_session.h"
#include "support/station_writer.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;
using dsfiles::expect_steps;

namespace {

// Three stations over two times, one surface and two level variables.
void write_set(const TempDir& dir) {
  stnw::dataset ds;
  ds.surface_vars = {"ps"};
  ds.level_vars = {"t", "u"};
  ds.times = {
      {stnw::upper_report("KDEN", 39.75f, -104.875f, {{850, {10, 2}}, {500, {-20, 8}}}, {830}),
       stnw::upper_report("72469", 40, -105, {{700, {-5, 3}}}, {}, 0.5f),
       stnw::surface_report("EGLL", 51.5f, -0.5f, {1012.5f})},
      {stnw::surface_report("KDEN", 39.75f, -104.875f, {829}),
       stnw::upper_report("EGLL", 51.5f, -0.5f, {{500, {-30, 20}}}, {1011})}};
  stnw::write(dir.path(), "s", ds);
}

}  // namespace

TEST(StationData, OpenThenReportsByBoxStationIdAndRadius) {
  TempDir dir;
  write_set(dir);
  expect_steps(dir, "",
               {{"open s.ctl",
                 "Scanning description file:  s.ctl\n"
                 "Data file s.dat is open as file 1\n"
                 "LON set to 0 360 \n"
                 "LAT set to -90 90 \n"
                 "LEV set to 500 500 \n"
                 "Time values set: 2000:1:1:0 2000:1:1:0 \n"},
                {"set gxout print", "-"},
                // Surface values of the stations with a surface record.
                {"d ps",
                 "Printing Stations -- 2 Reports -- Undef = -999\n"
                 "KDEN     -104.875 39.75    -9.99e+33 \n830 \n"
                 "EGLL     -0.5     51.5     -9.99e+33 \n1012.5 \n"},
                {"set lon -105", "-"},
                {"set lat 40", "-"},
                {"set t 1 2", "-"},
                // Over time at one station: its id, cut at 8 characters, any case.
                {"d ps(stid=kden)",
                 "Printing Stations -- 2 Reports -- Undef = -999\n"
                 "KDEN     -104.875 39.75    -9.99e+33 \n830 \n"
                 "KDEN     -104.875 39.75    -9.99e+33 \n829 \n"},
                // Centre (-105, 40), radius 1: KDEN (0.28 away) and 72469 (at it).
                {"d t(r=1,lev=850,lev=700)",
                 "Printing Stations -- 2 Reports -- Undef = -999\n"
                 "KDEN     -104.875 39.75    850      \n10 \n"
                 "72469    -105     40       700      \n-5 \n"}});
}

TEST(StationData, CollectKeepsStationSets) {
  TempDir dir;
  write_set(dir);
  const std::string syntax =
      "Collect command error:  Invalid Syntax\n  Format is:  collect n expr\n";
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

// A collection keeps its sets in the order collected, also when it is
// filled again after "free" and beside another collection: coll2gr lays
// them out along x in that order (time 2's profile, then time 1's).
TEST(StationData, CollectAppendsInOrderAfterFree) {
  TempDir dir;
  stnw::dataset ds;
  ds.level_vars = {"t"};
  ds.times = {{stnw::upper_report("KDEN", 39.75f, -104.875f, {{850, {10}}, {500, {-20}}})},
              {stnw::upper_report("KDEN", 39.75f, -104.875f, {{850, {11}}, {500, {-21}}})}};
  stnw::write(dir.path(), "s", ds);
  expect_steps(
      dir, "open s.ctl\nset lon -105\nset lat 40\nset lev 850 500\n",
      {{"set t 1", "-"},
       {"collect 1 t(stid=kden)", ""},
       {"collect 1 free", ""},
       {"set t 2", "-"},
       {"collect 1 t(stid=kden)", ""},
       {"collect 2 t(stid=kden)", ""},
       {"set t 1", "-"},
       {"collect 1 t(stid=kden)", ""},
       {"collect 2 t(stid=kden)", ""},
       {"set gxout print", "-"},
       {"set x 1 2", "-"},
       {"d coll2gr(1,-u)", "Printing Grid -- 4 Values -- Undef = -999\n11 10 -21 -20 \n"},
       {"d coll2gr(2,-u)", "Printing Grid -- 4 Values -- Undef = -999\n11 10 -21 -20 \n"}});
}

// A collected profile is kept at the size of what it holds: 5,000 collects
// of a two-report profile grow the process by a few megabytes, where sets
// kept as built took about 44 KB each (220 MB). The size is what the kernel
// reports for the process, read by a shell the session starts.
TEST(StationData, CollectedProfilesCostWhatTheyHold) {
  TempDir dir;
  write_set(dir);
  const std::string rss = "! grep VmRSS /proc/$PPID/status";
  std::string input =
      "open s.ctl\nset lon -105\nset lat 40\nset t 1 2\ncollect 1 ps(stid=kden)\n" + rss + "\n";
  const int kCollects = 5000;
  for (int k = 0; k < kCollects; k++) input += "collect 1 ps(stid=kden)\n";
  input += rss + "\ncollect 1 free\nquit\n";
  // Under the address sanitizer freed blocks are held back for a while;
  // without that the size is what the process keeps.
  const char* asan = std::getenv("ASAN_OPTIONS");
  const std::string keep_none =
      "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":quarantine_size_mb=0";
  RunResult r = run_batch(input, dir.path(), {}, {keep_none});
  ASSERT_EQ(r.status, 0);
  std::vector<long> kb;
  for (size_t at = r.out.find("VmRSS:"); at != std::string::npos; at = r.out.find("VmRSS:", at + 1))
    kb.push_back(std::strtol(r.out.c_str() + at + 6, nullptr, 10));
  ASSERT_EQ(kb.size(), 2u) << r.out.substr(0, 2000);
  EXPECT_GT(kb[0], 0);
  // At most 2 KB a profile (two reports and their records).
  EXPECT_LT(kb[1] - kb[0], 2L * kCollects) << kb[0] << " kB before, " << kb[1] << " kB after";
  EXPECT_EQ(vemra_test::count_of(r.out, "Collect"), 0u);
}

// The station analyses, on a station data set and a small grid: the
// argument forms of gr2stn and stnave.
namespace {

// Stations KAAA at (10, 10) and KBBB at (30, 20), the top row of the grid;
// KAAA reports at both times, KBBB at the first only.
void write_files(const TempDir& dir) {
  stnw::dataset ds;
  ds.surface_vars = {"v"};
  ds.times = {
      {stnw::report{"KAAA", 10, 10, 0, {1000}, {}}, stnw::report{"KBBB", 20, 30, 0, {-5}, {}}},
      {stnw::report{"KAAA", 10, 10, 0, {1004}, {}}}};
  stnw::write(dir.path(), "s", ds);
  // g = lon + lat + 100 (t - 1) on lon 0..40, lat 0..20 by 10.
  std::string bin;
  for (int t = 0; t < 2; t++)
    for (int j = 0; j < 3; j++)
      for (int i = 0; i < 5; i++) {
        const float v = float(10 * i + 10 * j + 100 * t);
        bin.append(reinterpret_cast<const char*>(&v), 4);
      }
  write_file(dir.file("g.dat"), bin);
  write_file(dir.file("g.ctl"),
             "dset ^g.dat\nundef -888\nxdef 5 linear 0 10\nydef 3 linear 0 10\nzdef 1 levels 1000\n"
             "tdef 2 linear 00z1jan2000 6hr\nvars 1\ng 0 99 g\nendvars\n");
}

const std::string kOpen = "open s.ctl\nopen g.ctl\nset gxout print\nset lon 0 40\nset lat 0 20\n";

// The values at stations are checked in the unit tests; here the forms of
// the arguments the command language reaches them with.
TEST(StationFunctions, ArgumentFormsAndRefusals) {
  TempDir dir;
  write_files(dir);
  RunResult r = run_batch(kOpen +
                              "d stnave(v,t=1,t=2)\n"
                              "d stnave(v,t=1,t=2,0)\n"
                              "set lon 10\nset lat 10\nset t 1 2\n"
                              "d gr2stn(g.2,12,10)\n"
                              "d gr2stn(g.2,v(stid=kzzz))\n"
                              "d gr2stn(5,10,10)\n",
                          dir.path());
  // KAAA (1000 + 1004) / 2; KBBB only at the first time.
  EXPECT_NE(answer(r.out, "d stnave(v,t=1,t=2)")
                .find("Printing Stations -- 2 Reports -- Undef = -999\n"
                      "KAAA     10       10       -9.99e+33 \n1002 \n"
                      "KBBB     30       20       -9.99e+33 \n-5 \n"),
            std::string::npos);
  EXPECT_NE(answer(r.out, "d stnave(v,t=1,t=2,0)")
                .find("Error from STNAVE: Invalid time increment argument\n"),
            std::string::npos);
  // Series form: 12 + 10 at the first time, 100 more at the second, at the
  // level of the environment (the station set's 500).
  EXPECT_EQ(answer(r.out, "d gr2stn(g.2,12,10)"),
            "Printing Stations -- 2 Reports -- Undef = -888\n"
            "xxxxxxxx 12       10       500      \n22 \n"
            "xxxxxxxx 12       10       500      \n122 \n");
  EXPECT_EQ(answer(r.out, "d gr2stn(g.2,v(stid=kzzz))")
                .find("Error from GR2STN:  2nd argument holds no station\n"),
            0u);
  EXPECT_EQ(answer(r.out, "d gr2stn(5,10,10)")
                .find("Error from GR2STN:  1st argument must vary in X and Y\n"),
            0u);
}

// On a month axis from 31 January every month is one step of the average:
// (1 + 2 + 4 + 8) / 4, and by two months 31 January and 31 March.
TEST(StationFunctions, AverageStepsMonthByMonthFromAMonthEnd) {
  TempDir dir;
  stnw::dataset ds;
  ds.surface_vars = {"v"};
  ds.tdef = "linear 00z31jan2000 1mo";
  for (float v : {1, 2, 4, 8}) ds.times.push_back({stnw::report{"KAAA", 10, 10, 0, {v}, {}}});
  stnw::write(dir.path(), "s", ds);
  RunResult r = run_batch(
      "open s.ctl\nset gxout print\nd stnave(v,t=1,t=4)\nd stnave(v,t=1,t=4,2mo)\n", dir.path());
  EXPECT_TRUE(contains(answer(r.out, "d stnave(v,t=1,t=4)"), "\n3.75 \n")) << r.out;
  EXPECT_TRUE(contains(answer(r.out, "d stnave(v,t=1,t=4,2mo)"), "\n2.5 \n")) << r.out;
}

// A time argument is read whole: text after its value refuses the call with
// the function's message, where it was dropped and the value kept.
TEST(StationFunctions, TextAfterATimeIsRefused) {
  TempDir dir;
  stnw::dataset ds;
  ds.surface_vars = {"v"};
  ds.tdef = "linear 00z01jan2000 1dy";
  const std::vector<float> v = {3, 1, 4, 8};
  for (float x : v) ds.times.push_back({stnw::report{"KAAA", 10, 10, 0, {x}, {}}});
  stnw::write(dir.path(), "s", ds);
  auto printed = [](double x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "\n%g \n", x);
    return std::string(buf);
  };
  const struct {
    std::string cmd, want;
  } cases[] = {
      {"d stnave(v,t=2,t=4)", printed((v[1] + v[2] + v[3]) / 3.0)},
      {"d stnave(v,t=2,t=4x)", "Error from STNAVE:  2nd dimension expression invalid\n"},
      {"d stnmin(v,t=1,t=3)", printed(v[1])},
      {"d stnmin(v,t=1z,t=3)", "Error from STNMIN:  1st dimension expression invalid\n"},
      {"d stnmax(v,time=00z01jan2000,time=00z03jan2000)", printed(v[2])},
      {"d stnmax(v,time=00z01jan2000,time=00z03jam2000)",
       "Error from STNMAX:  2nd dimension expression invalid\n"},
  };
  std::string input = "open s.ctl\nset gxout print\n";
  for (const auto& c : cases) input += c.cmd + "\n";
  RunResult r = run_batch(input, dir.path());
  for (const auto& c : cases)
    EXPECT_TRUE(contains(answer(r.out, c.cmd), c.want)) << c.cmd << "\n" << r.out;
}

}  // namespace

namespace {

// stnmin and stnmax take the minimum count as stnave does and name
// themselves; the map form of gr2stn wants a grid that varies in x and y.
TEST(StationFunctions, ExtremesWithAMinimumCountAndGridChecks) {
  TempDir dir;
  write_files(dir);
  RunResult r = run_batch(kOpen +
                              "d stnmax(v,t=1,t=2)\n"
                              "d stnmax(v,t=1,t=2,-m 2)\n"
                              "d stnmin(v,t=1,t=2,-m 2)\n"
                              "d stnmax(v,t=1)\n"
                              "d stnmax(v,t=1,t=2,-m 0)\n"
                              "d gr2stn(g.2)\n"
                              "set lat 10\n"
                              "d gr2stn(g.2,v)\n"
                              "set lon 10\nset lat 0 20\n"
                              "d gr2stn(g.2,v)\n",
                          dir.path());
  // KAAA has 1000 and 1004, KBBB -5 at the first time only.
  EXPECT_EQ(answer(r.out, "d stnmax(v,t=1,t=2)"),
            "Printing Stations -- 2 Reports -- Undef = -999\n"
            "KAAA     10       10       -9.99e+33 \n1004 \n"
            "KBBB     30       20       -9.99e+33 \n-5 \n");
  EXPECT_EQ(answer(r.out, "d stnmax(v,t=1,t=2,-m 2)"),
            "Printing Stations -- 2 Reports -- Undef = -999\n"
            "KAAA     10       10       -9.99e+33 \n1004 \n"
            "KBBB     30       20       -9.99e+33 \n-999 \n");
  EXPECT_EQ(answer(r.out, "d stnmin(v,t=1,t=2,-m 2)"),
            "Printing Stations -- 2 Reports -- Undef = -999\n"
            "KAAA     10       10       -9.99e+33 \n1000 \n"
            "KBBB     30       20       -9.99e+33 \n-999 \n");
  EXPECT_EQ(answer(r.out, "d stnmax(v,t=1)")
                .find("Error from STNMAX:  Too many or too few args \n"
                      "                    3 or 4 arguments expected \n"),
            0u);
  EXPECT_EQ(
      answer(r.out, "d stnmax(v,t=1,t=2,-m 0)").find("Invalid option argument in STN function\n"),
      0u);
  EXPECT_EQ(answer(r.out, "d gr2stn(g.2)")
                .find("Error from GR2STN:  Too many or too few args \n"
                      "                    2 or 3 arguments expected \n"),
            0u);
  // Longitude varying, latitude fixed; then latitude varying alone.
  const std::string xy = "Error from GR2STN: Grid must vary in X and Y\n";
  const size_t first = r.out.find("d gr2stn(g.2,v)");
  ASSERT_NE(first, std::string::npos) << r.out;
  EXPECT_EQ(answer(r.out, "d gr2stn(g.2,v)").find(xy), 0u) << r.out;
  EXPECT_EQ(answer(r.out.substr(first + 1), "d gr2stn(g.2,v)").find(xy), 0u) << r.out;
}

}  // namespace
