// Pre-projected data sets displayed: polar stereographic grids whose values
// are known functions of latitude and longitude come back on the
// longitude-latitude grid, and their grid-relative winds come back as the
// earth-relative winds they were made from; oblique stereographic grids
// place every target point where the projection puts it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "support/vemra_run.h"

using namespace vemra_test;

namespace {

const double kPi = std::acos(-1.0);
const double kRad = kPi / 180;

void put(std::string& s, double v) {
  const float f = static_cast<float>(v);
  s.append(reinterpret_cast<const char*>(&f), 4);
}

// The earth-relative wind the test stores: a westerly turning with latitude
// and a meridional wave.
double east_wind(double lat, double) { return 20 * std::cos(lat * kRad); }
double north_wind(double lat, double lon) {
  return 8 * std::cos(lat * kRad) * std::sin((lon - 30) * kRad);
}

// A 41 x 41 polar stereographic grid, pole at (21, 21), 200 km at 60
// degrees, orientation 80W; north (hemi 1) or south (hemi -1). Native
// point (x, y) km from the pole lies at distance r = R (1 + sin 60)
// tan(45 - |lat| / 2); in the north x = r sin(lon + 80), y = -r cos(lon +
// 80), in the south x = -r sin(lon + 80), y = -r cos(lon + 80). Earth north
// at the point is the unit vector towards the pole, earth east that vector
// turned clockwise; the grid components of the wind follow from them.
// Variables: u, v (codes 33 and 34 at level code 100) and w (a u without
// partner). Where the points lie is the reader's unit tests'.
void write_polar(const TempDir& dir, int hemi) {
  const double k = 6371.2 * 1.86603;
  std::string u, v;
  for (int j = 1; j <= 41; j++)
    for (int i = 1; i <= 41; i++) {
      const double x = (i - 21) * 200.0, y = (j - 21) * 200.0, r = std::hypot(x, y);
      const double lat = hemi * (90 - 2 * std::atan(r / k) / kRad);
      const double d = hemi > 0 ? std::atan2(x, -y) : std::atan2(-x, -y);
      const double lon = -80 + d / kRad;
      const double nx = r > 0 ? -hemi * x / r : 0, ny = r > 0 ? -hemi * y / r : 1;
      const double ex = ny, ey = -nx;
      const double ue = east_wind(lat, lon), ve = north_wind(lat, lon);
      put(u, ue * ex + ve * nx);
      put(v, ue * ey + ve * ny);
    }
  write_file(dir.file("p.dat"), u + v + u);
  write_file(dir.file("p.ctl"),
             std::string("dset ^p.dat\nundef -9.99e33\npdef 41 41 ") +
                 (hemi > 0 ? "nps 21 21 -80 200" : "sps 21 21 -80 -200") +
                 "\nxdef 27 linear -170 10\nydef 4 linear " + (hemi > 0 ? "55" : "-85") +
                 " 10\nzdef 1 levels 1000\ntdef 1 linear 00z1jan2000 1dy\nvars 3\n"
                 "u 0 33,100 u wind\nv 0 34,100 v wind\nw 0 33,200 lone u\nendvars\n");
}

// Runs the displays with fwrite output; returns the floats written, one
// grid of 27 x 3 per display.
std::vector<float> displayed(const TempDir& dir, const std::string& cmds, std::string* out) {
  RunResult r = run_batch(
      "open p.ctl\nset gxout fwrite\nset fwrite -le out.bin\n" + cmds + "quit\n", dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  *out = r.out;
  std::string bytes = read_file(dir.file("out.bin"));
  std::vector<float> v(bytes.size() / 4);
  std::memcpy(v.data(), bytes.data(), v.size() * 4);
  return v;
}

}  // namespace

TEST(PreProjectedDisplay, PolarWindsAndCoordinatesComeBack) {
  for (int hemi : {1, -1}) {
    SCOPED_TRACE(hemi > 0 ? "north" : "south");
    TempDir dir;
    write_polar(dir, hemi);
    // The three rows away from the pole: 55, 65, 75 degrees.
    const double lat0 = hemi > 0 ? 55 : -75;
    std::string out;
    std::vector<float> v = displayed(
        dir, std::string("set lat ") + (hemi > 0 ? "55 75" : "-75 -55") + "\nd u\nd v\nd w\n",
        &out);
    ASSERT_EQ(v.size(), 3u * 81) << out;
    EXPECT_NE(out.find("Notice: Implied interpolation for file"), std::string::npos) << out;
    double worst_u = 0, worst_v = 0;
    int lone = 0;
    for (int j = 0; j < 3; j++)
      for (int i = 0; i < 27; i++) {
        const int k = j * 27 + i;
        const double lat = lat0 + 10 * j, lon = -170 + 10 * i;
        worst_u = std::max(worst_u, std::fabs(v[k] - east_wind(lat, lon)));
        worst_v = std::max(worst_v, std::fabs(v[81 + k] - north_wind(lat, lon)));
        lone += v[162 + k] == -9.99e33f;
      }
    // Interpolating the grid components over 200 km cells errs by a few
    // hundredths of a m/s here; an angle off by one grid step of 10 degrees
    // of longitude would be off by metres per second.
    EXPECT_LT(worst_u, 0.15);
    EXPECT_LT(worst_v, 0.15);
    EXPECT_EQ(lone, 81);  // a wind component without its partner
  }
}

// Oblique stereographic grids of 100 x 100 points, 50 km apart, whose two
// variables hold each native point's i and j: as both are linear, the
// displayed values are exactly the native coordinates at which the reader
// placed each target point, checked against the spherical oblique
// stereographic evaluated here (x eastwards, y northwards from the centre).
TEST(PreProjectedDisplay, ObliqueGridsPlacePointsAsTheProjectionDoes) {
  struct grid {
    double lat0, lon0, xoff, yoff;
    double lon1, lat1;  // first target point; 11 x 7 points 2 degrees apart
  };
  for (const grid& g : {grid{60, -70, 1e5, 5e4, -80, 54}, grid{-60, -70, 1e5, -5e4, -80, -68},
                        grid{-45, 10, 0, 0, 0, -52}, grid{30, 0, 0, -3.4e6, -10, -6}}) {
    SCOPED_TRACE(g.lat0);
    TempDir dir;
    std::string ni, nj;
    for (int j = 1; j <= 100; j++)
      for (int i = 1; i <= 100; i++) put(ni, i), put(nj, j);
    write_file(dir.file("p.dat"), ni + nj);
    char ctl[400];
    std::snprintf(ctl, sizeof ctl,
                  "dset ^p.dat\nundef -9.99e33\npdef 100 100 ops %g %g %g %g 50 50 50000 50000\n"
                  "xdef 11 linear %g 2\nydef 7 linear %g 2\nzdef 1 levels 1000\n"
                  "tdef 1 linear 00z1jan2000 1dy\nvars 2\nni 0 99 i\nnj 0 99 j\nendvars\n",
                  g.lat0, g.lon0, g.xoff, g.yoff, g.lon1, g.lat1);
    write_file(dir.file("p.ctl"), ctl);
    std::string out;
    std::vector<float> v = displayed(dir, "d ni\nd nj\n", &out);
    ASSERT_EQ(v.size(), 2u * 77) << out;
    const double R = 6371229.0, f0 = g.lat0 * kRad;
    double worst = 0;
    for (int j = 0; j < 7; j++)
      for (int i = 0; i < 11; i++) {
        const double f = (g.lat1 + 2 * j) * kRad, dl = (g.lon1 + 2 * i - g.lon0) * kRad;
        const double k =
            2 / (1 + std::sin(f0) * std::sin(f) + std::cos(f0) * std::cos(f) * std::cos(dl));
        const double x = R * k * std::cos(f) * std::sin(dl);
        const double y =
            R * k * (std::cos(f0) * std::sin(f) - std::sin(f0) * std::cos(f) * std::cos(dl));
        worst = std::max(worst, std::fabs(v[j * 11 + i] - ((x - g.xoff) / 50000 + 50)));
        worst = std::max(worst, std::fabs(v[77 + j * 11 + i] - ((y - g.yoff) / 50000 + 50)));
      }
    EXPECT_LT(worst, 1e-3);
  }
}
