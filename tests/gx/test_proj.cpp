// Map projections, checked through the page positions the coordinate chain
// gives after each set-up: known points (poles, equator, quadrants), inverse
// round trips, symmetry, and literal values worked out with python3 from the
// textbook formulas (not from the code's constants).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gx/gx.h"
#include "gx/proj.h"
#include "support/stdout_capture.h"

namespace {

projection_box box(float lon1, float lon2, float lat1, float lat2, float xlo = 0.5f,
                   float xhi = 10.5f, float ylo = 0.75f, float yhi = 7.75f) {
  return {lon1, lon2, lat1, lat2, xlo, xhi, ylo, yhi, -1, -1, -1, -1, 0, 0};
}

struct pt {
  double x, y;
};

pt conv(double lon, double lat) {
  float x, y;
  gxconv(static_cast<float>(lon), static_cast<float>(lat), &x, &y, coord_level::world);
  return {x, y};
}

double dist(pt a, pt b) { return std::hypot(a.x - b.x, a.y - b.y); }

// Angle in degrees between the rays from o to a and from o to b.
double angle(pt o, pt a, pt b) {
  double t = std::atan2(a.y - o.y, a.x - o.x) - std::atan2(b.y - o.y, b.x - o.x);
  return std::fabs(std::remainder(t, 2 * M_PI)) * 180 / M_PI;
}

const double tol = 2e-3;  // inches

void expect_page(double lon, double lat, double x, double y) {
  pt got = conv(lon, lat);
  EXPECT_NEAR(got.x, x, tol) << lon << "," << lat;
  EXPECT_NEAR(got.y, y, tol) << lon << "," << lat;
}

class Proj : public ::testing::Test {
 protected:
  void SetUp() override {
    gxstrt(11, 8.5, true);
    gxfrme(frame_action::clear);
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
  // Limits of the individual projections.
  const struct {
    int (*fn)(projection_box*);
    projection_box b;
  } limits[] = {{gxnste, box(-180, 180, -81, 90)},
                {gxnste, box(-180, 190, 0, 90)},
                {gxsste, box(-180, 180, -90, 81)},
                {gxrobi, box(-181, 180, -90, 90)},
                {gxmoll, box(0, 360, -91, 90)}};
  for (auto l : limits) EXPECT_EQ(l.fn(&l.b), 1) << l.b.lon_min << " " << l.b.lat_min;
  EXPECT_NEAR(conv(100, 20).x, before.x, 1e-5);
  EXPECT_NEAR(conv(100, 20).y, before.y, 1e-5);
  projection_box n = box(-180, 180, -80, 90), m = box(-400, 400, -90, 90);
  EXPECT_EQ(gxnste(&n), 0);
  EXPECT_EQ(gxmoll(&m), 0);
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
  EXPECT_NEAR(wy, -88.7268, 1e-3);  // 90 - 2 atan(90) in degrees

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
}

TEST_F(Proj, PolarStereographic) {
  // lon -180..180, lat 0..90: the equator is a circle of 3.5 inches about the
  // page centre, the pole in the middle, the centre longitude straight down
  // and east to the right. Page positions: 5.5 + 3.5 tan(45 - lat/2) sin(lon),
  // 4.25 - 3.5 tan(45 - lat/2) cos(lon) (python3).
  projection_box b = box(-180, 180, 0, 90);
  ASSERT_EQ(gxnste(&b), 0);
  EXPECT_NEAR(b.plot_xlo, 2.0, 1e-3);
  EXPECT_NEAR(b.plot_xhi, 9.0, 1e-3);
  expect_page(0, 90, 5.5, 4.25);
  expect_page(180, 0, 5.5, 7.75);
  expect_page(45, 60, 6.163140, 3.586860);
  expect_page(135, 30, 6.928869, 5.678869);

  // Narrow: lon -100..-60, lat 20..80, centre -80. Tall (width / height
  // 0.7750 of the plane extent): full height, width 7 * 0.7750.
  b = box(-100, -60, 20, 80);
  ASSERT_EQ(gxnste(&b), 0);
  EXPECT_NEAR(b.plot_yhi - b.plot_ylo, 7, 1e-3);
  EXPECT_NEAR(b.plot_xhi - b.plot_xlo, 5.425272, 5e-3);
  EXPECT_NEAR(b.plot_xlo + b.plot_xhi, 11, 1e-3);
  // Meridians are straight rays from the pole at their true angles, the
  // centre one straight down; radii go as tan(45 - lat/2):
  // r(50) / r(20) = 0.519803.
  pt pole = conv(-80, 90);
  EXPECT_NEAR(conv(-80, 20).x, pole.x, tol);
  EXPECT_NEAR(angle(pole, conv(-100, 30), conv(-60, 30)), 40, 0.01);
  EXPECT_NEAR(dist(pole, conv(-65, 50)) / dist(pole, conv(-95, 20)), 0.519803, 1e-3);
  EXPECT_NEAR(gxaarw(-50, 40), 0.523599, 1e-5);  // 30 degrees east of the centre

  float lon, lat;
  const stereo_params np = stereo_setup(stereo_pole::north, -80);
  stereo_inverse(np, 0, 0, &lon, &lat);
  EXPECT_EQ(lon, 0);
  EXPECT_NEAR(lat, 90, 1e-4);
  stereo_inverse(np, -1, 0.01f, &lon, &lat);  // comes back within 180 of the centre
  EXPECT_NEAR(lon, -170.5729, 1e-2);

  // South: the mirror image, centre longitude straight up from the pole.
  b = box(-180, 180, -90, 0);
  ASSERT_EQ(gxsste(&b), 0);
  expect_page(0, -90, 5.5, 4.25);
  expect_page(0, 0, 5.5, 7.75);
  expect_page(45, -60, 6.163140, 4.913140);
  b = box(0, 90, -80, -30);
  ASSERT_EQ(gxsste(&b), 0);
  EXPECT_NEAR(gxaarw(60, -50), -0.261799, 1e-5);
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
  } setups[] = {{gxnste, box(-100, -60, 20, 80)}, {gxsste, box(0, 90, -80, -30)}};
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

TEST_F(Proj, RobinsonAgreesWithThePublishedTable) {
  // Parallel lengths and distances from the equator relative to the equator
  // and the pole, as published for the projection: 45 deg 0.8962, 0.5571;
  // 60 deg 0.7986, 0.7346; 90 deg 0.5322, 1.
  float x0, y0, xp, yp, x, y;
  gxrobp(180, 0, &x0, &y0);
  gxrobp(180, 90, &xp, &yp);
  EXPECT_NEAR(xp / x0, 0.5322, 1e-3);
  const double table[][3] = {{45, 0.8962, 0.5571}, {60, 0.7986, 0.7346}, {-45, 0.8962, -0.5571}};
  for (auto [lat, len, dist] : table) {
    gxrobp(180, float(lat), &x, &y);
    EXPECT_NEAR(x / x0, len, 1e-3) << lat;
    EXPECT_NEAR(y / yp, dist, 1e-3) << lat;
  }
  // Linear in longitude, symmetric about the equator.
  float xa, ya, xb, yb;
  gxrobp(-90, -37, &xa, &ya);
  gxrobp(180, 37, &xb, &yb);
  EXPECT_NEAR(xa, -xb / 2, 1e-6);
  EXPECT_NEAR(ya, -yb, 1e-6);
  // Latitudes far past a pole (a query can ask anything) stay at that pole.
  gxrobp(0, 1e30f, &x, &y);
  EXPECT_EQ(y, yp);
  gxrobp(0, -1e30f, &x, &y);
  EXPECT_EQ(y, -yp);

  // World: wider than the page area's shape, so full width, centred.
  projection_box b = box(-180, 180, -90, 90);
  ASSERT_EQ(gxrobi(&b), 0);
  EXPECT_NEAR(b.plot_ylo + b.plot_yhi, 8.5, 1e-4);
  EXPECT_NEAR((b.plot_yhi - b.plot_ylo) / 10, yp / x0, 1e-4);
  EXPECT_NEAR(conv(180, 0).x, 10.5, tol);
  EXPECT_NEAR(conv(-180, 0).x, 0.5, tol);
  expect_page(0, 90, 5.5, b.plot_yhi);
  float px, py;  // the plane comes back as it is
  gxxy2w(static_cast<float>(conv(30, 30).x), static_cast<float>(conv(30, 30).y), &x, &y);
  gxrobp(30, 30, &px, &py);
  EXPECT_NEAR(x, px, 1e-5);
  EXPECT_NEAR(y, py, 1e-5);
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
  StdoutCapture cap;
  projection_box b = box(0, 179, -90, 90);
  EXPECT_EQ(gxortg(&b), 1);
  b = box(0, 181, -90, 90);
  EXPECT_EQ(gxortg(&b), 1);
  b = box(0, 180, -80, 90);
  EXPECT_EQ(gxortg(&b), 1);
  EXPECT_EQ(cap.text(),
            "Map Projection Error:  179.0 - 0.0  < 180.0\n"
            "Map Projection Error:  181.0 - 0.0  > 180.0\n"
            "Map Projection Error:  Latitude must be in range -90 90\n");

  b = box(0, 180, -90, 90);
  ASSERT_EQ(gxortg(&b), 0);
  EXPECT_NEAR(b.plot_xlo, 2.0, 1e-4);  // a unit disc, 7 inches across
  EXPECT_NEAR(conv(90, 0).x, 5.5, tol);
  EXPECT_NEAR(conv(150, 30).x, 5.5 + 3.5 * 0.75, tol);  // cos 30 sin 60
  EXPECT_NEAR(conv(150, 30).y, 4.25 + 3.5 * 0.5, tol);

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
  StdoutCapture cap;
  projection_box b = box(-120, -60, -10, 10);
  EXPECT_EQ(gxlamc(&b), 1);
  b = box(-120, -60, 20, 20);  // common check: silent
  EXPECT_EQ(gxlamc(&b), 1);
  EXPECT_EQ(cap.text(), "Map Projection Error:  Latitude must be in range -90 0 or 0 90\n");

  // lat 20..60, the standard parallels. Cone constant (python3)
  // n = ln(cos 20 / cos 60) / ln(tan 60 / tan 55) = 0.656838: meridians meet
  // at the apex (the pole) n times their longitude apart, and parallels are
  // arcs about it of radius tan(45 - lat/2)^n: r(40) / r(20) = 0.765654,
  // r(60) / r(25) = 0.566162.
  b = box(-120, -60, 20, 60);
  ASSERT_EQ(gxlamc(&b), 0);
  pt apex = conv(-90, 90);
  EXPECT_NEAR(angle(apex, conv(-120, 30), conv(-60, 30)), 60 * 0.656838, 0.01);
  EXPECT_NEAR(dist(apex, conv(-100, 40)) / dist(apex, conv(-70, 20)), 0.765654, 1e-3);
  EXPECT_NEAR(dist(apex, conv(-70, 60)) / dist(apex, conv(-110, 25)), 0.566162, 1e-3);
  // The centre longitude runs straight up; the equator's west end (below
  // the box, but on the plane extent) and the east end of 20N are the sides.
  double mid = conv(-90, 20).x;
  EXPECT_NEAR(conv(-90, 60).x, mid, tol);
  pt w = conv(-110, 35), e = conv(-70, 35);
  EXPECT_NEAR(w.x + e.x, 2 * mid, tol);
  EXPECT_NEAR(w.y, e.y, tol);
  EXPECT_NEAR(conv(-120, 0).x, 0.5, tol);
  EXPECT_NEAR(conv(-60, 20).x, 10.5, tol);
  EXPECT_EQ(b.plot_yhi, 7.75f);  // the page area as asked
  // Arrows turn with the parallels: n times the 10 degrees west of the
  // centre longitude -90.
  EXPECT_NEAR(gxaarw(-100, 40), -10 * 0.656838 * 3.14159265 / 180, 1e-3);
  EXPECT_NEAR(gxaarw(-60, 25), 30 * 0.656838 * 3.14159265 / 180, 1e-3);

  // South: the cone opens the other way, the apex at the south pole below.
  b = box(0, 60, -60, -20);
  ASSERT_EQ(gxlamc(&b), 0);
  apex = conv(30, -90);
  EXPECT_GT(conv(30, -40).y, apex.y);
  EXPECT_NEAR(dist(apex, conv(10, -40)) / dist(apex, conv(50, -20)), 0.765654, 1e-3);

  // Standard parallels 33 and 45: the cone constant of the textbook worked
  // example, 0.6304777.
  EXPECT_NEAR(lambert_setup(-100, -90, 33, 45).cone, 0.6304777, 1e-6);
  // One standard parallel: the sine of its latitude.
  EXPECT_NEAR(lambert_setup(-100, -90, 30, 30).cone, 0.5, 1e-6);
}
