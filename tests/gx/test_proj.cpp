// Map projections: each set-up is checked through the page positions the
// coordinate chain gives afterwards, against numbers worked out here from the
// projection formulas and the aspect fitting.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "gx/gx.h"
#include "gx/proj.h"

namespace {

projection_box make_box(float lon1, float lon2, float lat1, float lat2, float xlo = 0.5f,
                        float xhi = 10.5f, float ylo = 0.75f, float yhi = 7.75f) {
  projection_box b{};
  b.lon_min = lon1;
  b.lon_max = lon2;
  b.lat_min = lat1;
  b.lat_max = lat2;
  b.page_xlo = xlo;
  b.page_xhi = xhi;
  b.page_ylo = ylo;
  b.page_yhi = yhi;
  b.plot_xlo = b.plot_xhi = b.plot_ylo = b.plot_yhi = -1;
  return b;
}

struct pt {
  double x, y;
};

pt conv(double lon, double lat) {
  float x, y;
  gxconv(static_cast<float>(lon), static_cast<float>(lat), &x, &y, 2);
  return {x, y};
}

// Expected page position of plane point (px, py) when the plane extent
// x1..x2, y1..y2 is scaled onto the page area a.
pt to_page(double px, double py, double x1, double x2, double y1, double y2, double axlo,
           double axhi, double aylo, double ayhi) {
  return {axlo + (px - x1) * (axhi - axlo) / (x2 - x1), aylo + (py - y1) * (ayhi - aylo) / (y2 - y1)};
}

// Area the aspect fitting must choose for a plane extent inside a page area.
struct area {
  double xlo, xhi, ylo, yhi;
};
area fitted(double x1, double x2, double y1, double y2, double xlo, double xhi, double ylo,
            double yhi) {
  if ((xhi - xlo) / (yhi - ylo) > (x2 - x1) / (y2 - y1)) {
    double h = (yhi - ylo) * 0.5 * (x2 - x1) / (y2 - y1), c = (xlo + xhi) / 2;
    return {c - h, c + h, ylo, yhi};
  }
  double h = (xhi - xlo) * 0.5 * (y2 - y1) / (x2 - x1), c = (ylo + yhi) / 2;
  return {xlo, xhi, c - h, c + h};
}

// North polar plane point with the centre longitude c.
pt nps(double lon, double lat, double c) {
  double rho = std::tan(0.785315 - lat * 0.00872572);
  double a = (lon - 90.0 - c) * 0.0174514;
  return {rho * std::cos(a), rho * std::sin(a)};
}
pt sps(double lon, double lat, double c) {
  double rho = std::tan(lat * 0.00872572 + 0.785315);
  double a = -(lon - 90.0 - c) * 0.0174514;
  return {rho * std::cos(a), rho * std::sin(a)};
}

class Proj : public ::testing::Test {
protected:
  void SetUp() override {
    gxstrt(11, 8.5, 1);
    gxfrme(1);
  }
};

const double tol = 2e-3;  // inches

}  // namespace

TEST_F(Proj, EverySetUpRefusesAnEmptyOrReversedBoxAndKeepsTheScaling) {
  projection_box ok = make_box(0, 360, -90, 90);
  ASSERT_EQ(gxltln(&ok), 0);
  pt before = conv(100, 20);
  const projection_box bad[] = {make_box(10, 10, 0, 50), make_box(20, 10, 0, 50),
                                make_box(0, 90, 40, 40), make_box(0, 90, 50, 40),
                                make_box(0, 90, 0, 50, 5, 5, 1, 8), make_box(0, 90, 0, 50, 1, 8, 6, 2)};
  for (const projection_box& b0 : bad) {
    projection_box b = b0;
    EXPECT_EQ(gxscld(&b, 0, 0), 1);
    b = b0;
    EXPECT_EQ(gxltln(&b), 1);
    b = b0;
    EXPECT_EQ(gxnste(&b), 1);
    b = b0;
    EXPECT_EQ(gxsste(&b), 1);
    b = b0;
    EXPECT_EQ(gxrobi(&b), 1);
    b = b0;
    EXPECT_EQ(gxmoll(&b), 1);
    b = b0;
    EXPECT_EQ(gxlamc(&b), 1);
    pt after = conv(100, 20);
    EXPECT_NEAR(after.x, before.x, 1e-5);
    EXPECT_NEAR(after.y, before.y, 1e-5);
  }
  projection_box nan_box = make_box(NAN, 10, 0, 50);
  EXPECT_EQ(gxnste(&nan_box), 1);
  EXPECT_EQ(gxrobi(&nan_box), 1);
}

TEST_F(Proj, ScaledFillsThePageAreaAndFlips) {
  projection_box b = make_box(0, 360, -90, 90, 1, 10, 1, 8);
  ASSERT_EQ(gxscld(&b, 0, 0), 0);
  EXPECT_FLOAT_EQ(b.plot_xlo, 1);
  EXPECT_FLOAT_EQ(b.plot_xhi, 10);
  EXPECT_FLOAT_EQ(b.plot_ylo, 1);
  EXPECT_FLOAT_EQ(b.plot_yhi, 8);
  pt p = conv(90, 45);
  EXPECT_NEAR(p.x, 1 + 9 * 0.25, tol);
  EXPECT_NEAR(p.y, 1 + 7 * 0.75, tol);
  ASSERT_EQ(gxscld(&b, 1, 1), 0);
  p = conv(90, 45);
  EXPECT_NEAR(p.x, 10 - 9 * 0.25, tol);
  EXPECT_NEAR(p.y, 8 - 7 * 0.75, tol);
}

TEST_F(Proj, LatLonCountsALatitudeDegreeAsOnePointTwoLongitudeDegrees) {
  // World: r = 180*1.2/360 = 0.6 below p = 7/10: full width, height 6.
  projection_box b = make_box(0, 360, -90, 90);
  ASSERT_EQ(gxltln(&b), 0);
  EXPECT_NEAR(b.plot_xlo, 0.5, 1e-5);
  EXPECT_NEAR(b.plot_xhi, 10.5, 1e-5);
  EXPECT_NEAR(b.plot_ylo, 1.25, 1e-5);
  EXPECT_NEAR(b.plot_yhi, 7.25, 1e-5);
  pt p = conv(0, -90);
  EXPECT_NEAR(p.x, 0.5, tol);
  EXPECT_NEAR(p.y, 1.25, tol);
  p = conv(270, 0);
  EXPECT_NEAR(p.x, 8.0, tol);
  EXPECT_NEAR(p.y, 4.25, tol);

  // A tall box: r = 50*1.2/10 = 6 above 0.7: full height, width 10*0.7/6.
  b = make_box(0, 10, 0, 50);
  ASSERT_EQ(gxltln(&b), 0);
  double w = 10 * 0.7 / 6;
  EXPECT_NEAR(b.plot_xlo, 5.5 - w / 2, 1e-5);
  EXPECT_NEAR(b.plot_xhi, 5.5 + w / 2, 1e-5);
  EXPECT_NEAR(b.plot_ylo, 0.75, 1e-5);
  EXPECT_NEAR(b.plot_yhi, 7.75, 1e-5);
  EXPECT_FLOAT_EQ(gxaarw(5, 5), 0);
}

TEST_F(Proj, NorthPolarLimitsAndWideRangeExtent) {
  projection_box b = make_box(-180, 180, -80, 90);
  EXPECT_EQ(gxnste(&b), 0);
  b = make_box(-180, 180, -81, 90);
  EXPECT_EQ(gxnste(&b), 1);
  b = make_box(-180, 190, 0, 90);  // more than 360 degrees
  EXPECT_EQ(gxnste(&b), 1);
  b = make_box(-370, -300, 0, 90);
  EXPECT_EQ(gxnste(&b), 1);
  b = make_box(300, 370, 0, 90);
  EXPECT_EQ(gxnste(&b), 1);

  // lon -180..180, lat 0..90: centre 0; extent from lon -90 and 90 on the
  // equator (x) and lon -180 and 0 on the equator (y): a square of side
  // 2 rho(0), so the plot is 7 x 7 inches in the middle of the page.
  b = make_box(-180, 180, 0, 90);
  ASSERT_EQ(gxnste(&b), 0);
  double x1 = nps(-90, 0, 0).x, x2 = nps(90, 0, 0).x;
  double y1 = nps(0, 0, 0).y, y2 = nps(-180, 0, 0).y;
  area a = fitted(x1, x2, y1, y2, 0.5, 10.5, 0.75, 7.75);
  EXPECT_NEAR(a.xhi - a.xlo, 7.0, 1e-3);
  EXPECT_NEAR(b.plot_xlo, a.xlo, 1e-4);
  EXPECT_NEAR(b.plot_xhi, a.xhi, 1e-4);
  EXPECT_NEAR(b.plot_ylo, 0.75, 1e-4);
  EXPECT_NEAR(b.plot_yhi, 7.75, 1e-4);
  pt pole = conv(0, 90);
  EXPECT_NEAR(pole.x, 5.5, tol);
  EXPECT_NEAR(pole.y, 4.25, tol);
  // The centre longitude points straight down.
  pt down = conv(0, 0);
  EXPECT_NEAR(down.x, 5.5, tol);
  EXPECT_NEAR(down.y, 0.75, tol);
  for (double lon : {-135.0, -30.0, 60.0, 170.0}) {
    pt e = nps(lon, 45, 0);
    pt want = to_page(e.x, e.y, x1, x2, y1, y2, a.xlo, a.xhi, 0.75, 7.75);
    pt got = conv(lon, 45);
    EXPECT_NEAR(got.x, want.x, tol) << lon;
    EXPECT_NEAR(got.y, want.y, tol) << lon;
  }
}

TEST_F(Proj, NorthPolarNarrowBoxAndInverse) {
  // lon -100..-60, lat 20..80: centre -80, narrow-range extent.
  projection_box b = make_box(-100, -60, 20, 80);
  ASSERT_EQ(gxnste(&b), 0);
  double c = -80;
  double x1 = nps(-100, 20, c).x, x2 = nps(-60, 20, c).x;
  double y1 = nps(c, 20, c).y, y2 = nps(-100, 80, c).y;
  area a = fitted(x1, x2, y1, y2, 0.5, 10.5, 0.75, 7.75);
  EXPECT_NEAR(b.plot_xlo, a.xlo, 1e-4);
  EXPECT_NEAR(b.plot_xhi, a.xhi, 1e-4);
  EXPECT_NEAR(b.plot_ylo, a.ylo, 1e-4);
  EXPECT_NEAR(b.plot_yhi, a.yhi, 1e-4);
  for (auto [lon, lat] : {std::pair{-90.0, 50.0}, {-65.0, 25.0}, {-80.0, 70.0}}) {
    pt e = nps(lon, lat, c);
    pt want = to_page(e.x, e.y, x1, x2, y1, y2, a.xlo, a.xhi, a.ylo, a.yhi);
    pt got = conv(lon, lat);
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
  }
  // Arrow rotation relative to the centre longitude.
  EXPECT_NEAR(gxaarw(-50, 40), 30 * 3.14159 / 180, 1e-6);
  EXPECT_NEAR(gxaarw(-80, 40), 0, 1e-6);

  // Inverse: the pole, and a point of the plane worked out by hand.
  float lon, lat;
  gxnrev(0, 0, &lon, &lat);
  EXPECT_FLOAT_EQ(lon, 0);
  EXPECT_NEAR(lat, 90, 1e-4);
  gxnrev(0, -1, &lon, &lat);  // straight down: the centre longitude
  EXPECT_NEAR(lat, 90 - 2 * std::atan(1.0) * 180 / 3.14159, 1e-4);
  EXPECT_NEAR(lon, -90 + 10, 1e-3);  // atan2 gives -90, minus londif (-10)
  // Longitudes come back within 180 of the centre.
  gxnrev(-1, 0.01f, &lon, &lat);
  double raw = std::atan2(0.01, -1.0) * 180 / 3.14159 + 10;
  EXPECT_NEAR(lon, raw - 360, 1e-3);
  EXPECT_GE(lon, c - 180);
  EXPECT_LE(lon, c + 180);
}

TEST_F(Proj, SouthPolarLimitsExtentAndRotation) {
  projection_box b = make_box(-180, 180, -90, 80);
  EXPECT_EQ(gxsste(&b), 0);
  b = make_box(-180, 180, -90, 81);
  EXPECT_EQ(gxsste(&b), 1);
  b = make_box(-180, 180, -91, 0);
  EXPECT_EQ(gxsste(&b), 1);

  b = make_box(0, 90, -80, -30);  // narrow: centre 45
  ASSERT_EQ(gxsste(&b), 0);
  double c = 45;
  double x1 = sps(0, -30, c).x, x2 = sps(90, -30, c).x;
  double y1 = sps(0, -80, c).y, y2 = sps(c, -30, c).y;
  area a = fitted(x1, x2, y1, y2, 0.5, 10.5, 0.75, 7.75);
  EXPECT_NEAR(b.plot_xlo, a.xlo, 1e-4);
  EXPECT_NEAR(b.plot_ylo, a.ylo, 1e-4);
  for (auto [lon, lat] : {std::pair{10.0, -40.0}, {80.0, -70.0}}) {
    pt e = sps(lon, lat, c);
    pt want = to_page(e.x, e.y, x1, x2, y1, y2, a.xlo, a.xhi, a.ylo, a.yhi);
    pt got = conv(lon, lat);
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
  }
  EXPECT_NEAR(gxaarw(60, -50), (45 - 60) * 3.14159 / 180, 1e-6);

  float lon, lat;
  gxsrev(0, 0, &lon, &lat);
  EXPECT_FLOAT_EQ(lon, 0);
  EXPECT_NEAR(lat, -90, 1e-4);
  pt e = sps(30, -60, c);
  gxsrev(static_cast<float>(e.x), static_cast<float>(e.y), &lon, &lat);
  EXPECT_NEAR(lat, 2 * std::atan(std::hypot(e.x, e.y)) * 180 / 3.14159 - 90, 1e-3);
  EXPECT_NEAR(lon, -std::atan2(e.y, e.x) * 180 / 3.14159 + 90 + c, 1e-3);
}

TEST_F(Proj, RobinsonTableAndWorldExtent) {
  float x, y;
  gxrobp(100, 90, &x, &y);
  EXPECT_FLOAT_EQ(y, 1.349f);
  EXPECT_NEAR(x, 100 * 1.399 / 180, 1e-6);
  gxrobp(-60, -90, &x, &y);
  EXPECT_NEAR(y, -1.349, 1e-6);
  EXPECT_NEAR(x, -60 * 1.399 / 180, 1e-6);
  gxrobp(90, 2.5, &x, &y);  // halfway between the rows of 0 and 5 degrees
  EXPECT_NEAR(y, 0.042, 1e-6);
  EXPECT_NEAR(x, (2.628 + 2.625) / 2 * 90 / 180, 1e-6);
  gxrobp(180, -37, &x, &y);  // 3/5 of the way from -40 to -35
  EXPECT_NEAR(y, -0.669 + 0.6 * (0.669 - 0.586), 1e-5);
  EXPECT_NEAR(x, 2.422 + 0.6 * (2.478 - 2.422), 1e-5);
  gxrobp(180, 62, &x, &y);  // mirrored rows
  EXPECT_NEAR(y, 0.991 + 0.4 * (1.066 - 0.991), 1e-5);
  EXPECT_NEAR(x, 2.099 - 0.4 * (2.099 - 1.997), 1e-5);

  projection_box b = make_box(-181, 180, -90, 90);
  EXPECT_EQ(gxrobi(&b), 1);
  b = make_box(-180, 180, -90, 91);
  EXPECT_EQ(gxrobi(&b), 1);

  // World: x from -2.628 to 2.628 (equator), y from -1.349 to 1.349; wider
  // than the page area, so full width and half-height 10 * 0.5 * 2.698 / 5.256.
  b = make_box(-180, 180, -90, 90);
  ASSERT_EQ(gxrobi(&b), 0);
  double hh = 10 * 0.5 * 2.698 / 5.256;
  EXPECT_NEAR(b.plot_ylo, 4.25 - hh, 1e-4);
  EXPECT_NEAR(b.plot_yhi, 4.25 + hh, 1e-4);
  EXPECT_NEAR(b.plot_xlo, 0.5, 1e-4);
  pt p = conv(0, 0);
  EXPECT_NEAR(p.x, 5.5, tol);
  EXPECT_NEAR(p.y, 4.25, tol);
  p = conv(180, 0);
  EXPECT_NEAR(p.x, 10.5, tol);
  p = conv(-90, 90);
  EXPECT_NEAR(p.x, 5.5 - 5 * (90 * 1.399 / 180) / 2.628, tol);
  EXPECT_NEAR(p.y, 4.25 + hh, tol);
  EXPECT_FLOAT_EQ(gxaarw(30, 30), 0);

  // The inverse leaves plane values as they are.
  gxrobb(0.25f, -0.5f, &x, &y);
  EXPECT_FLOAT_EQ(x, 0.25f);
  EXPECT_FLOAT_EQ(y, -0.5f);
}

TEST_F(Proj, MollweideShiftsTheWestEdgeToMinus180) {
  projection_box b = make_box(-180, 180, -90, 90);
  ASSERT_EQ(gxmoll(&b), 0);
  float x, y;
  gxmollp(90, 60, &x, &y);
  EXPECT_NEAR(x, 0.25, 1e-6);
  EXPECT_NEAR(y, std::sqrt(3.0) / 4, 1e-6);
  // Extent -1..1 by -0.5..0.5: a 2:1 plane, full width, height 5.
  EXPECT_NEAR(b.plot_ylo, 4.25 - 2.5, 1e-4);
  EXPECT_NEAR(b.plot_yhi, 4.25 + 2.5, 1e-4);
  pt p = conv(-180, 0);
  EXPECT_NEAR(p.x, 0.5, tol);
  p = conv(0, 30);
  EXPECT_NEAR(p.x, 5.5, tol);
  EXPECT_NEAR(p.y, 4.25 + 5 * 0.25, tol);

  b = make_box(0, 360, -90, 90);
  ASSERT_EQ(gxmoll(&b), 0);
  gxmollp(0, 0, &x, &y);
  EXPECT_NEAR(x, -1, 1e-6);
  gxmollp(270, 0, &x, &y);
  EXPECT_NEAR(x, 0.5, 1e-6);

  b = make_box(-400, 400, -90, 90);  // longitudes are not limited
  EXPECT_EQ(gxmoll(&b), 0);
  b = make_box(0, 360, -91, 90);
  EXPECT_EQ(gxmoll(&b), 1);
  EXPECT_FLOAT_EQ(gxaarw(10, 10), 0);
}

TEST_F(Proj, OrthographicAcceptsOnlyAWholeHemisphere) {
  testing::internal::CaptureStdout();
  projection_box b = make_box(0, 179, -90, 90);
  EXPECT_EQ(gxortg(&b), 1);
  b = make_box(0, 181, -90, 90);
  EXPECT_EQ(gxortg(&b), 1);
  b = make_box(0, 180, -80, 90);
  EXPECT_EQ(gxortg(&b), 1);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out,
            "Map Projection Error:  179.0 - 0.0  < 180.0\n"
            "Map Projection Error:  181.0 - 0.0  > 180.0\n"
            "Map Projection Error:  Latitude must be in range -90 90\n");

  testing::internal::CaptureStdout();
  b = make_box(0, 180, -90, 90);
  ASSERT_EQ(gxortg(&b), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  // A disc of radius 1: 7 inches across in the middle of the page.
  EXPECT_NEAR(b.plot_xlo, 2.0, 1e-4);
  EXPECT_NEAR(b.plot_xhi, 9.0, 1e-4);
  pt p = conv(90, 0);
  EXPECT_NEAR(p.x, 5.5, tol);
  EXPECT_NEAR(p.y, 4.25, tol);
  p = conv(150, 30);  // x = cos 30 sin 60, y = sin 30
  EXPECT_NEAR(p.x, 5.5 + 3.5 * 0.75, tol);
  EXPECT_NEAR(p.y, 4.25 + 3.5 * 0.5, tol);
  p = conv(0, 0);
  EXPECT_NEAR(p.x, 2.0, tol);
  EXPECT_FLOAT_EQ(gxaarw(10, 10), 0);

  // West of -180 the box is raised by 360, then lowered if past 180.
  b = make_box(-400, -220, -90, 90);
  ASSERT_EQ(gxortg(&b), 0);
  EXPECT_FLOAT_EQ(b.lon_min, -40);
  EXPECT_FLOAT_EQ(b.lon_max, 140);
  b = make_box(-200, -20, -90, 90);  // raised past 180, so lowered again
  ASSERT_EQ(gxortg(&b), 0);
  EXPECT_FLOAT_EQ(b.lon_min, -200);
  EXPECT_FLOAT_EQ(b.lon_max, -20);
  b = make_box(100, 280, -90, 90);
  ASSERT_EQ(gxortg(&b), 0);
  EXPECT_FLOAT_EQ(b.lon_min, -260);
  EXPECT_FLOAT_EQ(b.lon_max, -80);
  // The shift still uses the west edge as asked: lon 190 is the centre.
  p = conv(190, 0);
  EXPECT_NEAR(p.x, 5.5, tol);
}

TEST_F(Proj, LambertConformalConeAndPlacement) {
  testing::internal::CaptureStdout();
  projection_box b = make_box(-120, -60, -10, 10);
  EXPECT_EQ(gxlamc(&b), 1);
  b = make_box(-120, -60, 20, 20);  // common check: silent
  EXPECT_EQ(gxlamc(&b), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Map Projection Error:  Latitude must be in range -90 0 or 0 90\n");

  // lat 20..60 north: cone constant from the standard parallels 20 and 60.
  const double k = 0.017453292;
  double n = (std::log10(std::cos(20 * k)) - std::log10(std::cos(60 * k))) /
             (std::log10(std::tan(35 * k)) - std::log10(std::tan(15 * k)));
  auto lam = [&](double lon, double lat) {
    double rho = std::pow(std::tan((45 - lat / 2) * k), n);
    return pt{rho * std::sin((lon + 90) * k * n), -rho * std::cos((lon + 90) * k * n)};
  };
  b = make_box(-120, -60, 20, 60, 0.5, 10.5, 0.75, 7.75);
  ASSERT_EQ(gxlamc(&b), 0);
  float fx, fy;
  gxlamcp(-100, 40, &fx, &fy);
  EXPECT_NEAR(fx, lam(-100, 40).x, 1e-5);
  EXPECT_NEAR(fy, lam(-100, 40).y, 1e-5);
  // Extent: x from the west edge (at lat 20, 60 and the equator), y from the
  // east edge at the two latitudes.
  double x1 = std::min({lam(-120, 20).x, lam(-120, 60).x, lam(-120, 0).x});
  double x2 = std::max(lam(-60, 20).x, lam(-60, 60).x);
  double y1 = std::min(lam(-60, 20).y, lam(-60, 60).y);
  double y2 = std::max(lam(-60, 20).y, lam(-60, 60).y);
  ASSERT_FALSE((x2 - x1) / (y2 - y1) < 10.0 / 7.0);  // wide
  double h = 10 * 0.5 * (y2 - y1) / (x2 - x1);
  double cy = 4.25 + 1.0;  // d = 60: north offset 1.0
  area a;
  if (h < 1)
    a = {0.5, 10.5, cy - h, cy + h};
  else if (h < 2)
    a = {0.5 + 0.5 * h, 10.5 - 0.5 * h, cy - 1.25 * h, cy + 1.25 * h};
  else if (h < 3)
    a = {0.5, 10.5, cy - h, cy + h};
  else
    a = {5.5 - 0.5 * h, 5.5 + 0.5 * h, cy - 0.5 * h, cy + 0.5 * h};
  for (auto [lon, lat] : {std::pair{-100.0, 40.0}, {-70.0, 25.0}, {-90.0, 60.0}}) {
    pt e = lam(lon, lat);
    pt want = to_page(e.x, e.y, x1, x2, y1, y2, a.xlo, a.xhi, a.ylo, a.yhi);
    pt got = conv(lon, lat);
    EXPECT_NEAR(got.x, want.x, tol);
    EXPECT_NEAR(got.y, want.y, tol);
  }
  // The plot area is the page area as asked; no arrow rotation.
  EXPECT_FLOAT_EQ(b.plot_xlo, 0.5f);
  EXPECT_FLOAT_EQ(b.plot_yhi, 7.75f);
  EXPECT_FLOAT_EQ(gxaarw(-100, 40), 0);

  // Southern hemisphere: the cone opens the other way.
  b = make_box(0, 60, -60, -20);
  ASSERT_EQ(gxlamc(&b), 0);
  double ns = (std::log10(std::cos(-60 * k)) - std::log10(std::cos(-20 * k))) /
              (std::log10(std::tan((45 - 30) * k)) - std::log10(std::tan((45 - 10) * k)));
  gxlamcp(30, -40, &fx, &fy);
  double rho = std::pow(std::tan((45 - 20) * k), ns);
  EXPECT_NEAR(fx, 0, 1e-6);
  EXPECT_NEAR(fy, rho, 1e-5);
}

TEST_F(Proj, ScaledAndLatLonClearTheProjectionButKeepTheInverse) {
  projection_box b = make_box(-180, 180, 0, 90);
  ASSERT_EQ(gxnste(&b), 0);
  EXPECT_NE(gxaarw(10, 10), 0);
  b = make_box(0, 100, 0, 100, 0, 10, 0, 10);
  ASSERT_EQ(gxscld(&b, 0, 0), 0);
  pt p = conv(50, 50);
  EXPECT_NEAR(p.x, 5, tol);
  EXPECT_NEAR(p.y, 5, tol);
  EXPECT_FLOAT_EQ(gxaarw(10, 10), 0);
  // The back transform of the polar set-up is still installed.
  float wx, wy;
  gxxy2w(0, 0, &wx, &wy);  // plane (0, 0) -> the pole
  EXPECT_NEAR(wy, 90, 1e-3);
}
