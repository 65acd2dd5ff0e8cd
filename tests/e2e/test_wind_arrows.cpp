// Wind arrows and barbs point along the wind on every map: a pure westerly
// lies along the local parallel and a pure southerly along the local
// meridian. The arrows are read back from a hardcopy file; the parallels and
// meridians come from the map's own positions ("q ll2xy") and, for each
// projection, from its formulas worked by hand.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/dataset_files.h"
#include "e2e/hardcopy.h"
#include "support/station_writer.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using hardcopy::frames_of;
using hardcopy::segment;

namespace {

constexpr double kDeg = 3.14159265358979 / 180;

// Nothing on the page but arrows without heads, 0.3 inch for a speed of 10.
constexpr const char* kBare =
    "set mpdraw off\nset grid off\nset frame off\nset xlab off\nset ylab off\n"
    "set timelab off\nset vemra off\nset arrscl 0.3 10\nset arrowhead 0\nset arrlab off\n";

double turn(double a, double b) {
  double d = std::fmod(a - b, 360.0);
  if (d > 180) d -= 360;
  if (d < -180) d += 360;
  return d;
}

// One map: the box, the grid of arrows inside it, and the directions of
// east and north at a point (degrees on the page) worked out by hand.
struct map_case {
  std::string proj;
  float lon1, lon2, lat1, lat2;  // the dimension environment
  float glon, dlon, glat, dlat;  // first grid point and steps
  int nx, ny;
  std::function<double(double lon, double lat)> east, north;
};

// Runs one map: a westerly of 10 then a southerly of 10 as vectors, each
// printed as a frame, and the page positions of each grid point and of
// points half a degree around it.
struct map_run {
  std::vector<std::vector<segment>> frames;
  std::vector<double> pos;  // per point: x, y and the four neighbours
  std::string out;
};

map_run run_map(const map_case& c, const std::string& gxout = "vector") {
  TempDir dir;
  write_file(dir.file("w.ctl"),
             "dset ^w.dat\nundef -9.99e33\nxdef " + std::to_string(c.nx) + " linear " +
                 std::to_string(c.glon) + " " + std::to_string(c.dlon) + "\nydef " +
                 std::to_string(c.ny) + " linear " + std::to_string(c.glat) + " " +
                 std::to_string(c.dlat) +
                 "\nzdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\nvars 1\nu 0 0 zero\n"
                 "endvars\n");
  write_file(dir.file("w.dat"), std::string(size_t(4) * c.nx * c.ny, '\0'));
  // Clearing resets the plot options: they are set again for each frame.
  std::ostringstream set;
  set << "set mproj " << c.proj << "\nset gxout " << gxout << "\n" << kBare;
  std::ostringstream in;
  in << "open w.ctl\nset lon " << c.lon1 << " " << c.lon2 << "\nset lat " << c.lat1 << " " << c.lat2
     << "\n"
     << set.str() << "enable print e.meta\nd u+10;u\nprint\nc\n"
     << set.str() << "d u;u+10\nprint\ndisable print\n";
  for (int j = 0; j < c.ny; j++)
    for (int i = 0; i < c.nx; i++) {
      const float lon = c.glon + float(i) * c.dlon, lat = c.glat + float(j) * c.dlat;
      for (auto [a, b] : {std::pair{lon, lat},
                          {lon - 0.5f, lat},
                          {lon + 0.5f, lat},
                          {lon, lat - 0.5f},
                          {lon, lat + 0.5f}})
        in << "q ll2xy " << a << " " << b << "\n";
    }
  map_run r;
  r.out = run_batch(in.str(), dir.path()).out;
  r.frames = frames_of(read_file(dir.file("e.meta")));
  std::istringstream ans(r.out);
  for (std::string line; std::getline(ans, line);) {
    if (line.rfind("ka-> q ll2xy", 0) != 0) continue;
    double x, y;
    std::string next;
    std::getline(ans, next);
    if (std::istringstream(next) >> x >> y) r.pos.push_back(x), r.pos.push_back(y);
  }
  return r;
}

// The segment starting at (x, y), or null.
const segment* at(const std::vector<segment>& f, double x, double y) {
  for (const segment& s : f)
    if (std::fabs(s.x - x) < 0.002 && std::fabs(s.y - y) < 0.002) return &s;
  return nullptr;
}

void check_map(const map_case& c) {
  SCOPED_TRACE(c.proj);
  map_run r = run_map(c);
  ASSERT_EQ(r.pos.size(), size_t(10 * c.nx * c.ny)) << r.out;
  ASSERT_GE(r.frames.size(), 2u);
  int checked = 0;
  for (int j = 0; j < c.ny; j++)
    for (int i = 0; i < c.nx; i++) {
      const double lon = c.glon + i * c.dlon, lat = c.glat + j * c.dlat;
      const double* p = &r.pos[size_t(10 * (j * c.nx + i))];
      const double parallel = std::atan2(p[5] - p[3], p[4] - p[2]) / kDeg;
      const double meridian = std::atan2(p[9] - p[7], p[8] - p[6]) / kDeg;
      const segment* w = at(r.frames[0], p[0], p[1]);
      const segment* s = at(r.frames[1], p[0], p[1]);
      ASSERT_TRUE(w && s) << "no arrow at " << lon << " " << lat;
      // The full arrow, not cut by the frame: 0.3 inch for 10.
      EXPECT_NEAR(w->length(), 0.3, 0.003) << lon << " " << lat;
      EXPECT_NEAR(s->length(), 0.3, 0.003) << lon << " " << lat;
      EXPECT_NEAR(turn(w->angle(), parallel), 0, 1.0) << lon << " " << lat;
      EXPECT_NEAR(turn(s->angle(), meridian), 0, 1.0) << lon << " " << lat;
      EXPECT_NEAR(turn(w->angle(), c.east(lon, lat)), 0, 1.0) << lon << " " << lat;
      EXPECT_NEAR(turn(s->angle(), c.north(lon, lat)), 0, 1.0) << lon << " " << lat;
      checked++;
    }
  EXPECT_EQ(checked, c.nx * c.ny);
}

}  // namespace

// Conformal maps: north is east turned by a right angle. Over the north
// pole the centre longitude (-90 here) points straight down and east turns
// with the longitude; over the south pole it turns the other way. On the
// Lambert cone of 20..60 (cone constant 0.656838, worked with python3) the
// parallels turn by that fraction of the longitude from -90, the floor of
// the box's middle.
TEST(WindArrows, ConformalMapsTurnArrowsWithTheParallels) {
  auto right_angle = [](std::function<double(double, double)> e) {
    return [e](double lon, double lat) { return e(lon, lat) + 90; };
  };
  std::function<double(double, double)> nps = [](double lon, double) { return lon + 90; };
  check_map({"nps", -180, 0, 30, 90, -150, 30, 40, 20, 5, 3, nps, right_angle(nps)});
  std::function<double(double, double)> sps = [](double lon, double) { return 90 - lon; };
  check_map({"sps", 0, 180, -90, -30, 30, 30, -80, 20, 5, 3, sps, right_angle(sps)});
  std::function<double(double, double)> lam = [](double lon, double) {
    return 0.656838 * (lon + 90);
  };
  check_map({"lambert", -120, -60, 20, 60, -110, 20, 25, 15, 3, 3, lam, right_angle(lam)});
}

// Maps whose parallels are straight and level but whose meridians lean:
// a southerly follows the meridian, not the page's vertical.
TEST(WindArrows, SoutherliesFollowLeaningMeridians) {
  auto level = [](double, double) { return 0.0; };
  // Orthographic about 0: x = cos(lat) sin(lon), y = sin(lat), so north is
  // (-sin(lat) sin(lon), cos(lat)).
  check_map(
      {"orthographic", -90, 90, -90, 90, -75, 30, -60, 40, 6, 4, level, [](double lon, double lat) {
         return std::atan2(std::cos(lat * kDeg), -std::sin(lat * kDeg) * std::sin(lon * kDeg)) /
                kDeg;
       }});
  // This Mollweide: x = cos(lat) lon / 180, y = sin(lat) / 2.
  check_map({"mollweide", -180, 180, -90, 90, -150, 60, -62.5, 40, 6, 4, level,
             [](double lon, double lat) {
               return std::atan2(std::cos(lat * kDeg) / 2, -std::sin(lat * kDeg) * lon / 180) /
                      kDeg;
             }});
  // Robinson between its table rows: x = s(lat) lon / 180, y = r(lat), with
  // s and r changing by ds and dr over the 5 degrees of the row.
  struct row {
    double lat, dr, ds;
  };
  static const row rows[] = {
      {-62.5, 0.075, 0.102}, {-22.5, 0.084, 0.025}, {17.5, 0.083, -0.020}, {57.5, 0.078, -0.096}};
  check_map({"robinson", -180, 180, -90, 90, -150, 60, -62.5, 40, 6, 4, level,
             [](double lon, double lat) {
               for (const row& k : rows)
                 if (std::fabs(k.lat - lat) < 0.01)
                   return std::atan2(k.dr, k.ds * lon / 180) / kDeg;
               return 999.0;
             }});
}

// At the edge of the orthographic disc, 90 degrees from its centre, a step
// east leaves the globe: arrows and barbs still lie along the level
// parallels there, and a southerly along the meridian, which at the east
// edge runs (-sin(lat), cos(lat)) and at the west edge (sin(lat), cos(lat)).
TEST(WindArrows, OrthographicArrowsAtTheEdgeOfTheDisc) {
  for (float centre : {0.0f, 60.0f}) {
    SCOPED_TRACE(centre);
    map_case c{"orthographic", centre - 90, centre + 90, -90, 90, centre - 90, 90, -60, 30, 3, 5,
               nullptr,        nullptr};
    auto north = [&](double lon, double lat) {
      const double s = std::sin((lon - centre) * kDeg);
      return std::atan2(std::cos(lat * kDeg), -std::sin(lat * kDeg) * s) / kDeg;
    };
    for (std::string gxout : {"vector", "barb"}) {
      map_run r = run_map(c, gxout);
      ASSERT_EQ(r.pos.size(), size_t(10 * 15)) << r.out;
      ASSERT_GE(r.frames.size(), 2u);
      int checked = 0;
      for (int j = 0; j < c.ny; j++)
        for (int i = 0; i < c.nx; i++) {
          const double lon = c.glon + i * c.dlon, lat = c.glat + j * c.dlat;
          const double* p = &r.pos[size_t(10 * (j * c.nx + i))];
          for (int f = 0; f < 2; f++) {
            // A barb on the equator at the west edge lies on the border of
            // the plot area or beyond it, which it is clipped to.
            if (gxout == "barb" && i == 0 && lat == 0) continue;
            // An arrow starts at the point; a barb's shaft, the longest line
            // near it, points into the wind.
            const segment* s = nullptr;
            if (gxout == "vector") {
              s = at(r.frames[size_t(f)], p[0], p[1]);
            } else {
              for (const segment& k : r.frames[size_t(f)])
                if (std::hypot(k.x - p[0], k.y - p[1]) < 0.05 && (!s || k.length() > s->length()))
                  s = &k;
            }
            ASSERT_NE(s, nullptr) << gxout << " " << lon << " " << lat;
            double want = f == 0 ? 0.0 : north(lon, lat);
            if (gxout == "barb") want += 180;
            EXPECT_NEAR(turn(s->angle(), want), 0, 1.0)
                << gxout << " " << lon << " " << lat << " " << (f == 0 ? "westerly" : "southerly");
            checked++;
          }
        }
      EXPECT_EQ(checked, 2 * c.nx * c.ny - (gxout == "barb" ? 2 : 0));
    }
  }
}

// The plain latitude-longitude map keeps its arrows as they were.
TEST(WindArrows, LatLonArrowsAlongThePageAxes) {
  check_map({"latlon", -180, -60, 10, 70, -150, 30, 20, 20, 3, 3,
             [](double, double) { return 0.0; }, [](double, double) { return 90.0; }});
}

// Barbs point their shaft into the wind: a westerly's shaft runs from the
// station towards the west along the parallel.
TEST(WindArrows, BarbsFollowTheWindOnLambert) {
  map_case c{"lambert", -120, -60, 20, 60, -110, 20, 25, 15, 3, 3, nullptr, nullptr};
  map_run r = run_map(c, "barb");
  ASSERT_EQ(r.pos.size(), size_t(10 * 9)) << r.out;
  ASSERT_GE(r.frames.size(), 2u);
  int shafts = 0;
  for (int k = 0; k < 9; k++) {
    const double* p = &r.pos[size_t(10 * k)];
    const double lon = -110 + (k % 3) * 20;
    // The shaft starts a little off the station, on the line towards the
    // wind's origin: find the longest segment whose line passes the station.
    const double parallel = std::atan2(p[5] - p[3], p[4] - p[2]) / kDeg;
    const double meridian = std::atan2(p[9] - p[7], p[8] - p[6]) / kDeg;
    for (int f = 0; f < 2; f++) {
      const segment* best = nullptr;
      for (const segment& s : r.frames[size_t(f)])
        if (std::hypot(s.x - p[0], s.y - p[1]) < 0.05 && (!best || s.length() > best->length()))
          best = &s;
      ASSERT_NE(best, nullptr) << lon;
      const double want = (f == 0 ? parallel : meridian) + 180;
      EXPECT_NEAR(turn(best->angle(), want), 0, 1.0) << lon << " frame " << f;
      shafts++;
    }
  }
  EXPECT_EQ(shafts, 18);
}

// With the axes exchanged, longitude runs up the page: a westerly points up
// and a southerly across, as the grid's own points lie.
TEST(WindArrows, ExchangedAxesExchangeTheComponents) {
  TempDir dir;
  write_file(dir.file("w.ctl"),
             "dset ^w.dat\nundef -9.99e33\nxdef 4 linear -150 20\nydef 3 linear 20 20\n"
             "zdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\nvars 1\nu 0 0 zero\nendvars\n");
  write_file(dir.file("w.dat"), std::string(48, '\0'));
  const std::string set = std::string("set xyrev on\nset gxout vector\n") + kBare;
  run_batch("open w.ctl\nset lon -160 -80\nset lat 10 70\n" + set +
                "enable print e.meta\nd u+10;u\nprint\nc\n" + set +
                "d u;u+10\nprint\ndisable print\n",
            dir.path());
  auto frames = frames_of(read_file(dir.file("e.meta")));
  ASSERT_GE(frames.size(), 2u);
  ASSERT_EQ(frames[0].size(), 12u);
  ASSERT_EQ(frames[1].size(), 12u);
  // Four longitudes up the page, three latitudes across it.
  std::vector<double> xs, ys;
  for (const segment& s : frames[0]) {
    if (std::find(xs.begin(), xs.end(), s.x) == xs.end()) xs.push_back(s.x);
    if (std::find(ys.begin(), ys.end(), s.y) == ys.end()) ys.push_back(s.y);
  }
  EXPECT_EQ(xs.size(), 3u);
  EXPECT_EQ(ys.size(), 4u);
  for (const segment& s : frames[0]) EXPECT_NEAR(s.angle(), 90, 0.2);
  for (const segment& s : frames[1]) EXPECT_NEAR(s.angle(), 0, 0.2);
  for (const segment& s : frames[1]) EXPECT_NEAR(s.length(), 0.3, 0.002);
}

// Station winds on a Lambert map: the arrows of the station vector plot
// start at the station along the wind, and the station model's barb shaft
// runs from the station into the wind.
TEST(WindArrows, StationWindsFollowTheMapOnLambert) {
  TempDir dir;
  stnw::dataset ds;
  ds.surface_vars = {"u", "v"};
  std::vector<stnw::report> reps;
  const float lons[] = {-110, -90, -70}, lats[] = {30, 45};
  for (float lat : lats)
    for (float lon : lons)
      reps.push_back(stnw::surface_report("S" + std::to_string(reps.size()), lat, lon, {10, 0}));
  ds.times = {reps};
  stnw::write(dir.path(), "s", ds);
  std::string in = "open s.ctl\nset lon -120 -60\nset lat 20 60\nenable print e.meta\n";
  // A westerly (u;v) and a southerly (v;u), as arrows and as station models.
  for (std::string out : {"vector", "model"})
    for (std::string args : {"u;v", "v;u"})
      in += std::string("set mproj lambert\nset gxout ") + out + "\n" + kBare + "d " + args +
            "\nprint\nc\n";
  in += "disable print\nset mproj lambert\ndraw map\n";
  for (float lat : lats)
    for (float lon : lons)
      for (auto [a, b] : {std::pair{lon, lat},
                          {lon - 0.5f, lat},
                          {lon + 0.5f, lat},
                          {lon, lat - 0.5f},
                          {lon, lat + 0.5f}})
        in += "q ll2xy " + std::to_string(a) + " " + std::to_string(b) + "\n";
  RunResult r = run_batch(in, dir.path());
  auto frames = frames_of(read_file(dir.file("e.meta")));
  ASSERT_GE(frames.size(), 4u) << r.out;
  std::vector<double> pos;
  std::istringstream ans(r.out);
  for (std::string line; std::getline(ans, line);) {
    if (line.rfind("ka-> q ll2xy", 0) != 0) continue;
    double x, y;
    std::getline(ans, line);
    if (std::istringstream(line) >> x >> y) pos.push_back(x), pos.push_back(y);
  }
  ASSERT_EQ(pos.size(), 60u) << r.out;
  for (size_t k = 0; k < 6; k++) {
    const double* p = &pos[10 * k];
    const double parallel = std::atan2(p[5] - p[3], p[4] - p[2]) * 180 / 3.14159265358979;
    const double meridian = std::atan2(p[9] - p[7], p[8] - p[6]) * 180 / 3.14159265358979;
    for (size_t f = 0; f < 4; f++) {
      SCOPED_TRACE("station " + std::to_string(k) + " frame " + std::to_string(f));
      const double along = f % 2 == 0 ? parallel : meridian;
      if (f < 2) {
        // The arrow starts at the station.
        const segment* a = at(frames[f], p[0], p[1]);
        ASSERT_NE(a, nullptr);
        EXPECT_NEAR(turn(a->angle(), along), 0, 1.0);
        continue;
      }
      // The longest line with an end near the station is the shaft; it
      // leaves the station upwind.
      const segment* best = nullptr;
      double dir = 0;
      for (const segment& s : frames[f]) {
        const double d1 = std::hypot(s.x - p[0], s.y - p[1]);
        const double d2 = std::hypot(s.x2 - p[0], s.y2 - p[1]);
        if (std::min(d1, d2) > 0.1 || (best && s.length() <= best->length())) continue;
        best = &s;
        dir = d1 < d2 ? s.angle() : s.angle() + 180;
      }
      ASSERT_NE(best, nullptr);
      EXPECT_GT(best->length(), 0.2);
      EXPECT_NEAR(turn(dir, along + 180), 0, 1.0);
    }
  }
}

// At a pole drawn as a point the parallel has no page direction of its own:
// an east wind there points the way the parallels run just inside the
// globe. The direction is worked from each map's formulas a tenth of a
// degree from the pole (one-sided on the edge of the disc, where a step
// east would leave the globe). Every longitude of the pole row lands on one
// page point, so every arrow or barb shaft leaving it is checked against
// the directions of the row.
TEST(WindArrows, EastWindsAtThePolesFollowTheNearbyParallels) {
  using plane = std::function<std::pair<double, double>(double lon, double lat)>;
  const plane ortho = [](double lon, double lat) {
    return std::pair{std::cos(lat * kDeg) * std::sin(lon * kDeg), std::sin(lat * kDeg)};
  };
  const plane moll = [](double lon, double lat) {
    return std::pair{std::cos(lat * kDeg) * lon / 180, std::sin(lat * kDeg) / 2};
  };
  const struct {
    map_case map;
    plane f;
    double west, east;  // the longitudes a step may reach
  } cases[] = {
      {{"orthographic", -90, 90, -90, 90, -90, 30, -90, 180, 7, 2, nullptr, nullptr},
       ortho,
       -90,
       90},
      {{"mollweide", -180, 180, -90, 90, -180, 30, -90, 180, 13, 2, nullptr, nullptr},
       moll,
       -180,
       180},
  };
  for (const auto& c : cases)
    for (std::string gxout : {"vector", "barb"}) {
      SCOPED_TRACE(c.map.proj + " " + gxout);
      map_run r = run_map(c.map, gxout);
      ASSERT_EQ(r.pos.size(), size_t(10 * c.map.nx * c.map.ny)) << r.out;
      ASSERT_GE(r.frames.size(), 1u);
      for (int j = 0; j < c.map.ny; j++) {
        const double lat = c.map.glat + j * c.map.dlat;
        const double inside = lat > 0 ? lat - 0.1 : lat + 0.1;
        std::vector<double> want;
        for (int i = 0; i < c.map.nx; i++) {
          const double lon = c.map.glon + i * c.map.dlon;
          const double a = std::fmax(lon - 0.01, c.west), b = std::fmin(lon + 0.01, c.east);
          auto [x1, y1] = c.f(a, inside);
          auto [x2, y2] = c.f(b, inside);
          want.push_back(std::atan2(y2 - y1, x2 - x1) / kDeg + (gxout == "barb" ? 180 : 0));
        }
        const double* p = &r.pos[size_t(10 * j * c.map.nx)];
        int leaving = 0;
        for (const segment& s : r.frames[0]) {
          if (std::hypot(s.x - p[0], s.y - p[1]) > 0.05) continue;
          leaving++;
          // A shaft along the top of the plot area (the Mollweide's north
          // pole lies on it) is drawn there, not clipped away to a point.
          EXPECT_GT(s.length(), 0.05) << "lat " << lat;
          if (s.length() < 0.05) continue;
          double off = 360;
          for (double w : want) off = std::fmin(off, std::fabs(turn(s.angle(), w)));
          EXPECT_LT(off, 1.0) << "lat " << lat << " drawn at " << s.angle();
        }
        EXPECT_EQ(leaving, c.map.nx) << "lat " << lat;
      }
    }
}
