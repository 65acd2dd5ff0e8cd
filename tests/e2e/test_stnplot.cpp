// Station plots through the program, on a station file written by the
// test: the nearest station to a page point on a scaled map.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "e2e/dataset_files.h"
#include "support/station_writer.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

TEST(StationPlotRun, NearestStationOnAScaledMap) {
  // Stations at (lon 40, lat 30) and (70, 50), and one west of the map.
  TempDir dir;
  stnw::dataset ds;
  ds.surface_vars = {"ps"};
  ds.times = {{{"KAAA", 30, 40, 0, {1013}, {}}, {"KBBB", 50, 70, 0, {998}, {}}, {"KCCC", 30, -50, 0, {1000}, {}}}};
  stnw::write(dir.path(), "s", ds);
  const std::string out = run_batch("open s.ctl\nset parea 1 10 1 8\nset mpdraw off\nset lon 0 90\nset lat 0 70\n"
                                    "set mproj scaled\nset gxout findstn\nd ps;5.2;4.1\n",
                                    dir.path()).out;
  // Scaled map of lon 0..90 by lat 0..70: (lon, lat) at (1 + lon/10, 1 + lat/10),
  // so KAAA is at (5, 4), 0.2 and 0.1 inches from the point.
  char id[16];
  float lon = 0, lat = 0, dist = 0;
  ASSERT_EQ(std::sscanf(answer(out, "d ps;5.2;4.1").c_str(), "%15s %g %g %g", id, &lon, &lat, &dist), 4) << out;
  EXPECT_STREQ(id, "KAAA");
  EXPECT_EQ(lon, 40);
  EXPECT_EQ(lat, 30);
  EXPECT_NEAR(dist, std::hypot(0.2, 0.1), 2e-3);
}

}  // namespace
