// The station analyses through the program, on a station data set and a
// small grid written by the test: gr2stn in both forms, stnave, and their
// refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "support/station_writer.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

// Stations KAAA at (10, 10) and KBBB at (30, 20), the top row of the grid;
// KAAA reports at both times, KBBB at the first only.
void write_files(const TempDir& dir) {
  stnw::dataset ds;
  ds.surface_vars = {"v"};
  ds.times = {{stnw::report{"KAAA", 10, 10, 0, {1000}, {}}, stnw::report{"KBBB", 20, 30, 0, {-5}, {}}},
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

// What "set gxout print" shows of station reports (id, lon, lat, value,
// level: none for surface reports).
struct shown {
  const char* id;
  float lon, lat, value;
  double lev = -9.99e33;
};
std::string stations(const std::vector<shown>& rs, float undef = -999) {
  char line[160];
  std::snprintf(line, sizeof line, "Printing Stations -- %zu Reports -- Undef = %g\n", rs.size(), double(undef));
  std::string s = line;
  for (const shown& r : rs) {
    std::snprintf(line, sizeof line, "%-8s %-8g %-8g %-8g \n%g \n", r.id, double(r.lon), double(r.lat), r.lev,
                  double(r.value));
    s += line;
  }
  return s;
}

const std::string kOpen = "open s.ctl\nopen g.ctl\nset gxout print\nset lon 0 40\nset lat 0 20\n";

TEST(StationFunctions, MapFormsOverStationsAndAGrid) {
  TempDir dir;
  write_files(dir);
  RunResult r = run_batch(kOpen +
                              "d gr2stn(g.2,v)\n"
                              "d stnave(v,t=1,t=2)\n"
                              "d stnave(v,t=1,t=2,0)\n",
                          dir.path());
  // KAAA: 10 + 10; KBBB on the last latitude lies outside.
  EXPECT_EQ(answer(r.out, "d gr2stn(g.2,v)"), stations({{"KAAA", 10, 10, 20}, {"KBBB", 30, 20, -999}}));
  // KAAA (1000 + 1004) / 2; KBBB only at the first time.
  EXPECT_NE(answer(r.out, "d stnave(v,t=1,t=2)").find(stations({{"KAAA", 10, 10, 1002}, {"KBBB", 30, 20, -5}})),
            std::string::npos);
  EXPECT_NE(answer(r.out, "d stnave(v,t=1,t=2,0)").find("Error from STNAVE: Invalid time increment argument\n"),
            std::string::npos);
}

TEST(StationFunctions, SeriesFormAtOnePlace) {
  TempDir dir;
  write_files(dir);
  RunResult r = run_batch(kOpen +
                              "set lon 10\nset lat 10\nset t 1 2\n"
                              "d gr2stn(g.2,12,10)\n"
                              "d gr2stn(g.2,v(stid=kzzz))\n"
                              "d gr2stn(5,10,10)\n",
                          dir.path());
  // 12 + 10 at the first time, 100 more at the second, at the level of
  // the environment (the station set's 500).
  EXPECT_EQ(answer(r.out, "d gr2stn(g.2,12,10)"),
            stations({{"xxxxxxxx", 12, 10, 22, 500}, {"xxxxxxxx", 12, 10, 122, 500}}, -888));
  EXPECT_EQ(answer(r.out, "d gr2stn(g.2,v(stid=kzzz))").find("Error from GR2STN:  2nd argument holds no station\n"),
            0u);
  EXPECT_EQ(answer(r.out, "d gr2stn(5,10,10)").find("Error from GR2STN:  1st argument must vary in X and Y\n"), 0u);
}

}  // namespace
