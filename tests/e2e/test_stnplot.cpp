// Station plots through the program, on station files written by the
// tests: what the plots leave in the hardcopy file, and findstn.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/dataset_files.h"
#include "support/station_writer.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

// Stations at (lon 40, lat 30) and (70, 50), and one at -50.
struct Outcome {
  std::string out;
  std::vector<std::vector<int>> pen;  // moves (-10) and draws (-11) of the first frame
  bool has(int code, double x, double y) const {
    for (const auto& r : pen)
      if (r[0] == code && std::abs(r[1] - std::lround(x * 1000)) <= 1 &&
          std::abs(r[2] - std::lround(y * 1000)) <= 1)
        return true;
    return false;
  }
};

Outcome run(const std::string& commands) {
  TempDir dir;
  stnw::dataset ds;
  ds.surface_vars = {"ps", "wx"};
  ds.times = {{{"KAAA", 30, 40, 0, {1013, 16}, {}},
               {"KBBB", 50, 70, 0, {998, 2}, {}},
               {"KCCC", 30, -50, 0, {1000, 16}, {}}}};
  stnw::write(dir.path(), "s", ds);
  Outcome r;
  r.out = run_batch("open s.ctl\nset parea 1 10 1 8\nset mpdraw off\nset ccolor 3\nset cstyle 1\n"
                    "set cmark 0\nenable print d.meta\n" + commands + "print\ndisable print\n",
                    dir.path()).out;
  const std::string bytes = read_file(dir.file("d.meta"));
  for (size_t i = 3; 2 * i + 1 < bytes.size();) {
    const int code = be16(bytes, 2 * i);
    if (code == -2 || code == -9) break;
    const size_t n = (code == -10 || code == -11 || code == -1 || code == -4) ? 3
                     : (code == -3 || code == -7) ? 2 : (code == -5 || code == -6) ? 5
                     : code == -12 ? 4 : 1;
    if ((code == -10 || code == -11) && 2 * i + 5 < bytes.size())
      r.pen.push_back({code, be16(bytes, 2 * i + 2), be16(bytes, 2 * i + 4)});
    i += n;
  }
  return r;
}

TEST(StationPlotRun, MapPlotsAndNearestStation) {
  // Scaled map of lon 0..90 by lat 0..70: (lon, lat) at (1 + lon/10, 1 + lat/10).
  Outcome r = run("set lon 0 90\nset lat 0 70\nset mproj scaled\nset gxout wxsym\nd wx\n"
                  "set gxout findstn\nd ps;5.2;4.1\n");
  // Symbol 16 (size 0.105) starts 0.02625 left of KAAA; symbol 2 at
  // (-0.25, -0.3) size of KBBB; nothing for KCCC (west of the map).
  EXPECT_TRUE(r.has(-10, 5 - 0.02625, 4));
  EXPECT_TRUE(r.has(-10, 8 - 0.02625, 6 - 0.0315));
  char id[16];
  float lon = 0, lat = 0, dist = 0;
  ASSERT_EQ(std::sscanf(answer(r.out, "d ps;5.2;4.1").c_str(), "%15s %g %g %g", id, &lon, &lat, &dist), 4);
  EXPECT_STREQ(id, "KAAA");
  EXPECT_EQ(lon, 40);
  EXPECT_EQ(lat, 30);
  EXPECT_NEAR(dist, std::hypot(0.2, 0.1), 2e-3);
}

}  // namespace
