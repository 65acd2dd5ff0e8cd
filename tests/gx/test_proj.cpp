// Map projections, checked through the page positions the coordinate chain
// gives after each set-up, against numbers worked out here from the
// projection formulas and the aspect fitting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "gx/gx.h"
#include "gx/proj.h"

namespace {

projection_box box(float lon1, float lon2, float lat1, float lat2, float xlo = 0.5f,
                   float xhi = 10.5f, float ylo = 0.75f, float yhi = 7.75f) {
  return {lon1, lon2, lat1, lat2, xlo, xhi, ylo, yhi, -1, -1, -1, -1};
}

struct pt {
  double x, y;
};

pt conv(double lon, double lat) {
  float x, y;
  gxconv(static_cast<float>(lon), static_cast<float>(lat), &x, &y, 2);
  return {x, y};
}

struct area {
  double xlo, xhi, ylo, yhi;
};

// Area the aspect fitting must choose for a plane extent in the page area.
area fitted(double x1, double x2, double y1, double y2, area p) {
  if ((p.xhi - p.xlo) / (p.yhi - p.ylo) > (x2 - x1) / (y2 - y1)) {
    double h = (p.yhi - p.ylo) * 0.5 * (x2 - x1) / (y2 - y1), c = (p.xlo + p.xhi) / 2;
    return {c - h, c + h, p.ylo, p.yhi};
  }
  double h = (p.xhi - p.xlo) * 0.5 * (y2 - y1) / (x2 - x1), c = (p.ylo + p.yhi) / 2;
  return {p.xlo, p.xhi, c - h, c + h};
}

// Expected page position of plane point e for extent x1..x2, y1..y2 on area a.
void expect_at(double lon, double lat, pt e, double x1, double x2, double y1, double y2, area a) {
  pt got = conv(lon, lat);
  EXPECT_NEAR(got.x, a.xlo + (e.x - x1) * (a.xhi - a.xlo) / (x2 - x1), 2e-3) << lon << "," << lat;
  EXPECT_NEAR(got.y, a.ylo + (e.y - y1) * (a.yhi - a.ylo) / (y2 - y1), 2e-3) << lon << "," << lat;
}

pt nps(double lon, double lat, double c) {
  double rho = std::tan(0.785315 - lat * 0.00872572), a = (lon - 90.0 - c) * 0.0174514;
  return {rho * std::cos(a), rho * std::sin(a)};
}

const area page{0.5, 10.5, 0.75, 7.75};
const double tol = 2e-3;  // inches

void expect_page(double lon, double lat, double x, double y) {
  pt got = conv(lon, lat);
  EXPECT_NEAR(got.x, x, tol) << lon << "," << lat;
  EXPECT_NEAR(got.y, y, tol) << lon << "," << lat;
}

class Proj : public ::testing::Test {
protected:
  void SetUp() override {
    gxstrt(11, 8.5, 1);
    gxfrme(1);
  }
};

}  // namespace

TEST_F(Proj, RefusedBoxesLeaveTheScalingAlone) {
  projection_box ok = box(0, 360, -90, 90);
  ASSERT_EQ(gxltln(&ok), 0);
  pt before = conv(100, 20);
  const projection_box bad[] = {box(10, 10, 0, 50),
                                box(20, 10, 0, 50),
                                box(0, 90, 50, 40),
                                box(0, 90, 0, 50, 5, 5, 1, 8),
                                box(0, 90, 0, 50, 1, 8, 6, 2),
                                box(NAN, 10, 0, 50)};
  for (const projection_box& b0 : bad)
    for (auto fn : {gxltln, gxnste, gxsste, gxrobi, gxmoll, gxlamc}) {
      projection_box b = b0;
      EXPECT_EQ(fn(&b), 1);
    }
  // Limits of the individual projections (the accepted ones run last).
  const struct {
    int (*fn)(projection_box*);
    projection_box b;
    int rc;
  } limits[] = {{gxnste, box(-180, 180, -81, 90), 1}, {gxnste, box(-180, 190, 0, 90), 1},
                {gxnste, box(300, 370, 0, 90), 1},    {gxsste, box(-180, 180, -90, 81), 1},
                {gxrobi, box(-181, 180, -90, 90), 1}, {gxrobi, box(-180, 180, -90, 91), 1},
                {gxmoll, box(0, 360, -91, 90), 1},    {gxnste, box(-180, 180, -80, 90), 0},
                {gxsste, box(-180, 180, -90, 80), 0}, {gxmoll, box(-400, 400, -90, 90), 0}};
  bool checked = false;
  for (auto l : limits) {
    if (l.rc == 0 && !checked) {
      checked = true;
      EXPECT_NEAR(conv(100, 20).x, before.x, 1e-5);
      EXPECT_NEAR(conv(100, 20).y, before.y, 1e-5);
    }
    EXPECT_EQ(l.fn(&l.b), l.rc) << l.b.lon_min << " " << l.b.lat_min;
  }
}

TEST_F(Proj, ScaledAndLatLon) {
  projection_box b = box(-180, 180, 0, 90);
  ASSERT_EQ(gxnste(&b), 0);
  b = box(0, 360, -90, 90, 1, 10, 1, 8);
  ASSERT_EQ(gxscld(&b, 1, 0), 0);  // x flipped
  EXPECT_EQ(b.plot_xlo, 1);
  EXPECT_EQ(b.plot_yhi, 8);
  expect_page(90, 45, 10 - 9 * 0.25, 1 + 7 * 0.75);
  float wx, wy;  // the polar inverse stays: page (10, 1) is plane (0, -90)
  gxxy2w(10, 1, &wx, &wy);
  EXPECT_NEAR(wy, 90 - 2 * std::atan(90.0) * 180 / 3.14159, 1e-3);

  // World: r = 180 * 1.2 / 360 = 0.6 below p = 7/10: full width, height 6.
  b = box(0, 360, -90, 90);
  ASSERT_EQ(gxltln(&b), 0);
  EXPECT_NEAR(b.plot_ylo, 1.25, 1e-5);
  EXPECT_NEAR(b.plot_yhi, 7.25, 1e-5);
  expect_page(270, 0, 8.0, 4.25);
  // Tall: r = 50 * 1.2 / 10 = 6: full height, width 10 * 0.7 / 6.
  b = box(0, 10, 0, 50);
  ASSERT_EQ(gxltln(&b), 0);
  EXPECT_NEAR(b.plot_xhi - b.plot_xlo, 10 * 0.7 / 6, 1e-5);
  EXPECT_NEAR(b.plot_xlo + b.plot_xhi, 11, 1e-5);
  EXPECT_EQ(gxaarw(5, 5), 0);
}

TEST_F(Proj, PolarStereographic) {
  // lon -180..180, lat 0..90: the extent is a square of side 2 tan(0.785315),
  // so the plot is 7 x 7 inches about the page centre, pole in the middle
  // and the centre longitude straight down.
  projection_box b = box(-180, 180, 0, 90);
  ASSERT_EQ(gxnste(&b), 0);
  EXPECT_NEAR(b.plot_xlo, 2.0, 1e-3);
  EXPECT_NEAR(b.plot_xhi, 9.0, 1e-3);
  expect_page(0, 90, 5.5, 4.25);
  expect_page(0, 0, 5.5, 0.75);

  // Narrow: lon -100..-60, lat 20..80, centre -80.
  b = box(-100, -60, 20, 80);
  ASSERT_EQ(gxnste(&b), 0);
  double c = -80, x1 = nps(-100, 20, c).x, x2 = nps(-60, 20, c).x;
  double y1 = nps(c, 20, c).y, y2 = nps(-100, 80, c).y;
  area a = fitted(x1, x2, y1, y2, page);
  EXPECT_NEAR(b.plot_xlo, a.xlo, 1e-4);
  EXPECT_NEAR(b.plot_ylo, a.ylo, 1e-4);
  expect_at(-90, 50, nps(-90, 50, c), x1, x2, y1, y2, a);
  expect_at(-65, 25, nps(-65, 25, c), x1, x2, y1, y2, a);
  EXPECT_NEAR(gxaarw(-50, 40), 30 * 3.14159 / 180, 1e-6);

  float lon, lat;
  const stereo_params np = stereo_setup(stereo_pole::north, -80);
  stereo_inverse(np, 0, 0, &lon, &lat);
  EXPECT_EQ(lon, 0);
  EXPECT_NEAR(lat, 90, 1e-4);
  stereo_inverse(np, 0, -1, &lon, &lat);  // straight down: the centre longitude
  EXPECT_NEAR(lat, 90 - 2 * std::atan(1.0) * 180 / 3.14159, 1e-4);
  EXPECT_NEAR(lon, -80, 1e-3);
  stereo_inverse(np, -1, 0.01f, &lon, &lat);  // comes back within 180 of the centre
  EXPECT_NEAR(lon, std::atan2(0.01, -1.0) * 180 / 3.14159 + 10 - 360, 1e-3);

  // South: lon 0..90, lat -80..-30; the plane is mirrored.
  b = box(0, 90, -80, -30);
  ASSERT_EQ(gxsste(&b), 0);
  EXPECT_NEAR(gxaarw(60, -50), (45 - 60) * 3.14159 / 180, 1e-6);
  pt sp = conv(45, -90), eq = conv(45, -30);
  EXPECT_NEAR(sp.x, eq.x, tol);  // centre longitude straight up from the pole
  EXPECT_GT(eq.y, sp.y);
  stereo_inverse(stereo_setup(stereo_pole::south, 45), 0, 0, &lon, &lat);
  EXPECT_NEAR(lat, -90, 1e-4);
}

TEST_F(Proj, PolarPageAndBackComeRoundTrip) {
  // Page positions through the installed transform and back through its
  // inverse give the point again, over either pole. The two ways use
  // slightly different short values of pi, hence the tolerance.
  const struct {
    int (*fn)(projection_box*);
    projection_box b;
  } setups[] = {{gxnste, box(-100, -60, 20, 80)}, {gxsste, box(0, 90, -80, -30)},
                {gxnste, box(-180, 180, 0, 90)}};
  for (auto s : setups) {
    ASSERT_EQ(s.fn(&s.b), 0);
    for (float lon = s.b.lon_min + 5; lon < s.b.lon_max; lon += 10)
      for (float lat = s.b.lat_min + 5; lat < s.b.lat_max; lat += 10) {
        pt p = conv(lon, lat);
        float wlon, wlat;
        gxxy2w(static_cast<float>(p.x), static_cast<float>(p.y), &wlon, &wlat);
        EXPECT_NEAR(wlon, lon, 0.03) << lon << "," << lat;
        EXPECT_NEAR(wlat, lat, 0.03) << lon << "," << lat;
      }
  }
}

TEST_F(Proj, RobinsonTable) {
  float x, y;
  gxrobp(100, 90, &x, &y);
  EXPECT_FLOAT_EQ(y, 1.349f);
  EXPECT_NEAR(x, 100 * 1.399 / 180, 1e-6);
  gxrobp(90, 2.5, &x, &y);  // halfway between the rows of 0 and 5 degrees
  EXPECT_NEAR(y, 0.042, 1e-6);
  EXPECT_NEAR(x, (2.628 + 2.625) / 2 / 2, 1e-6);
  gxrobp(180, -37, &x, &y);  // 3/5 of the way from -40 to -35
  EXPECT_NEAR(y, -0.669 + 0.6 * (0.669 - 0.586), 1e-5);
  EXPECT_NEAR(x, 2.422 + 0.6 * (2.478 - 2.422), 1e-5);
  gxrobp(180, 62, &x, &y);  // mirrored rows
  EXPECT_NEAR(y, 0.991 + 0.4 * (1.066 - 0.991), 1e-5);
  EXPECT_NEAR(x, 2.099 - 0.4 * (2.099 - 1.997), 1e-5);
  // Latitudes far past a pole (a query can ask anything) stay at that pole.
  gxrobp(0, 1e30f, &x, &y);
  EXPECT_FLOAT_EQ(y, 1.349f);
  gxrobp(0, -1e30f, &x, &y);
  EXPECT_FLOAT_EQ(y, -1.349f);

  // World: x -2.628..2.628 (equator), y -1.349..1.349: full width.
  projection_box b = box(-180, 180, -90, 90);
  ASSERT_EQ(gxrobi(&b), 0);
  double hh = 10 * 0.5 * 2.698 / 5.256;
  EXPECT_NEAR(b.plot_ylo, 4.25 - hh, 1e-4);
  EXPECT_NEAR(conv(180, 0).x, 10.5, tol);
  expect_page(-90, 90, 5.5 - 5 * (90 * 1.399 / 180) / 2.628, 4.25 + hh);
  EXPECT_EQ(gxaarw(30, 30), 0);
  gxxy2w(conv(30, 30).x, conv(30, 30).y, &x, &y);  // the plane comes back as it is
  float px, py;
  gxrobp(30, 30, &px, &py);
  EXPECT_NEAR(x, px, 1e-5);
  EXPECT_NEAR(y, py, 1e-5);
  plane_as_is(0.25f, -0.5f, &x, &y);
  EXPECT_EQ(x, 0.25f);
  EXPECT_EQ(y, -0.5f);
}

TEST_F(Proj, MollweideShiftsTheWestEdgeToMinus180) {
  projection_box b = box(-180, 180, -90, 90);
  ASSERT_EQ(gxmoll(&b), 0);
  float x, y;
  mollweide_forward(mollweide_setup(-180), 90, 60, &x, &y);
  EXPECT_NEAR(x, 0.25, 1e-6);
  EXPECT_NEAR(y, std::sqrt(3.0) / 4, 1e-6);
  // Extent -1..1 by -0.5..0.5: full width, 5 inches high.
  EXPECT_NEAR(b.plot_ylo, 1.75, 1e-4);
  EXPECT_NEAR(conv(-180, 0).x, 0.5, tol);
  EXPECT_NEAR(conv(0, 30).y, 4.25 + 5 * 0.25, tol);
  b = box(0, 360, -90, 90);
  ASSERT_EQ(gxmoll(&b), 0);
  mollweide_forward(mollweide_setup(0), 270, 0, &x, &y);
  EXPECT_NEAR(x, 0.5, 1e-6);
}

TEST_F(Proj, OrthographicAcceptsOnlyAWholeHemisphere) {
  testing::internal::CaptureStdout();
  projection_box b = box(0, 179, -90, 90);
  EXPECT_EQ(gxortg(&b), 1);
  b = box(0, 181, -90, 90);
  EXPECT_EQ(gxortg(&b), 1);
  b = box(0, 180, -80, 90);
  EXPECT_EQ(gxortg(&b), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Map Projection Error:  179.0 - 0.0  < 180.0\n"
            "Map Projection Error:  181.0 - 0.0  > 180.0\n"
            "Map Projection Error:  Latitude must be in range -90 90\n");

  b = box(0, 180, -90, 90);
  ASSERT_EQ(gxortg(&b), 0);
  EXPECT_NEAR(b.plot_xlo, 2.0, 1e-4);  // a unit disc, 7 inches across
  EXPECT_NEAR(conv(90, 0).x, 5.5, tol);
  EXPECT_NEAR(conv(150, 30).x, 5.5 + 3.5 * 0.75, tol);  // cos 30 sin 60
  EXPECT_NEAR(conv(150, 30).y, 4.25 + 3.5 * 0.5, tol);
  EXPECT_EQ(gxaarw(10, 10), 0);

  // West of -180 the box is raised by 360, then lowered if past 180.
  b = box(-400, -220, -90, 90);
  ASSERT_EQ(gxortg(&b), 0);
  EXPECT_EQ(b.lon_min, -40);
  EXPECT_EQ(b.lon_max, 140);
  b = box(100, 280, -90, 90);
  ASSERT_EQ(gxortg(&b), 0);
  EXPECT_EQ(b.lon_min, -260);
  EXPECT_NEAR(conv(190, 0).x, 5.5, tol);  // the shift keeps the box as asked
}

TEST_F(Proj, LambertConformal) {
  testing::internal::CaptureStdout();
  projection_box b = box(-120, -60, -10, 10);
  EXPECT_EQ(gxlamc(&b), 1);
  b = box(-120, -60, 20, 20);  // common check: silent
  EXPECT_EQ(gxlamc(&b), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Map Projection Error:  Latitude must be in range -90 0 or 0 90\n");

  // lat 20..60: cone constant from the standard parallels 20 and 60.
  const double k = 0.017453292;
  double n = (std::log10(std::cos(20 * k)) - std::log10(std::cos(60 * k))) /
             (std::log10(std::tan(35 * k)) - std::log10(std::tan(15 * k)));
  auto lam = [&](double lon, double lat) {
    double rho = std::pow(std::tan((45 - lat / 2) * k), n);
    return pt{rho * std::sin((lon + 90) * k * n), -rho * std::cos((lon + 90) * k * n)};
  };
  b = box(-120, -60, 20, 60);
  ASSERT_EQ(gxlamc(&b), 0);
  double x1 = std::min({lam(-120, 20).x, lam(-120, 60).x, lam(-120, 0).x});
  double x2 = std::max(lam(-60, 20).x, lam(-60, 60).x);
  double y1 = lam(-60, 20).y, y2 = lam(-60, 60).y;
  ASSERT_GE((x2 - x1) / (y2 - y1), 10.0 / 7.0);                  // wide
  double h = 10 * 0.5 * (y2 - y1) / (x2 - x1), cy = 4.25 + 1.0;  // d = 60: +1 inch
  ASSERT_TRUE(h >= 2 && h < 3);
  area a{0.5, 10.5, cy - h, cy + h};
  expect_at(-100, 40, lam(-100, 40), x1, x2, y1, y2, a);
  expect_at(-70, 25, lam(-70, 25), x1, x2, y1, y2, a);
  EXPECT_EQ(b.plot_yhi, 7.75f);  // the page area as asked
  EXPECT_EQ(gxaarw(-100, 40), 0);

  // South: the cone opens the other way; centre floor(30).
  b = box(0, 60, -60, -20);
  ASSERT_EQ(gxlamc(&b), 0);
  float fx, fy;
  lambert_forward(lambert_setup(0, 60, -60, -20), 30, -40, &fx, &fy);
  EXPECT_NEAR(fx, 0, 1e-6);
  EXPECT_NEAR(fy, std::pow(std::tan(25 * k), n), 1e-5);

  // Standard parallels 33 and 45: the cone constant of the textbook worked
  // example, 0.6304777.
  EXPECT_NEAR(lambert_setup(-100, -90, 33, 45).cone, 0.6304777, 1e-6);
  // One standard parallel: the sine of its latitude.
  EXPECT_NEAR(lambert_setup(-100, -90, 30, 30).cone, 0.5, 1e-6);
}
