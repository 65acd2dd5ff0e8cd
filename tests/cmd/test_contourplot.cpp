// Contour, shaded and grid-fill plots of small known grids: level choice and
// its messages, the display list they leave, shade tables, rainbow colours,
// the plot area, and the refusals that must not crash.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cmd/commands.h"
#include "base/scaling.h"
#include "base/session.h"
#include "support/stdout_capture.h"
#include "data/result.h"
#include "gx/gx.h"
#include "gx/metafile.h"
#include "plot/plot.h"
#include "plot/plot2d.h"

namespace {

struct point {
  float x, y;
  int colour;
};

// Collects the lines and fills of a frame with their colours.
struct recorder : metafile_sink {
  int current = -1;
  std::vector<point> pen;  // moves and draws
  std::vector<std::pair<int, std::vector<float>>> fills;
  std::vector<int> colours;
  void colour(int c) override {
    current = c;
    colours.push_back(c);
  }
  void move(float x, float y) override { pen.push_back({x, y, current}); }
  void draw(float x, float y) override { pen.push_back({x, y, current}); }
  void polygon(const float* xy, int n) override {
    fills.emplace_back(current, std::vector<float>(xy, xy + 2 * n));
  }
  bool has_point(float x, float y, int c, float tol = 0.003f) const {
    for (const point& p : pen)
      if (p.colour == c && std::fabs(p.x - x) < tol && std::fabs(p.y - y) < tol) return true;
    return false;
  }
};

// A batch page and a session plotting one lon-lat grid; grids and copies
// are released with it.
struct Plot {
  std::unique_ptr<session_state> s = std::make_unique<session_state>();
  linear_scaling xs{}, ys{};

  Plot() {
    gxhlimits(0, 0);
    gxstrt(11, 8.5, 1);
    gxfrme(frame_action::clear);
    s->batch = 1;
    s->mpdraw = 0;
    s->logo = 0;
    s->timelab = 0;
    s->grid = 0;
    s->xlab = s->ylab = 0;
    s->cterp = 0;
    s->clab = 0;
  }
  ~Plot() {
    for (int k = 0; k < s->result_held; k++) kagfre(static_cast<grid_field*>(s->result[k]));
  }

  // nx by ny points from (lon0, lat0) in steps d; the environment covers them.
  grid_field* lonlat(int nx, int ny, float lon0, float lat0, float d, const std::vector<float>& v) {
    auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
    g->undef = -9.99e33f;
    g->isiz = nx;
    g->jsiz = ny;
    g->idim = 0;
    g->jdim = 1;
    for (int k = 0; k < 4; k++) g->dim_min[k] = g->dim_max[k] = 1;
    g->dim_max[0] = nx;
    g->dim_max[1] = ny;
    linear_scaling_set(&xs, lon0, d);
    linear_scaling_set(&ys, lat0, d);
    g->i_to_world = g->j_to_world = liconv;
    g->i_to_grid = g->j_to_grid = liconv;
    g->i_world_vals = xs.grid_to_world;
    g->j_world_vals = ys.grid_to_world;
    g->i_grid_vals = xs.world_to_grid;
    g->j_grid_vals = ys.world_to_grid;
    g->i_linear = g->j_linear = 1;
    g->values = static_cast<float*>(std::malloc(v.size() * sizeof(float)));
    std::memcpy(g->values, v.data(), v.size() * sizeof(float));
    s->dim_min[0] = lon0;
    s->dim_max[0] = lon0 + d * float(nx - 1);
    s->dim_min[1] = lat0;
    s->dim_max[1] = lat0 + d * float(ny - 1);
    s->dim_varying[0] = s->dim_varying[1] = 1;
    s->result[0] = g;
    s->result_type[0] = 1;
    s->result_count = s->result_held = 1;
    return g;
  }

  // Runs a plot and returns what it printed.
  std::string run(int mode) {
    StdoutCapture cap;
    kacntr(s.get(), mode);
    return cap.text();
  }
  std::string query(int (*fn)(char*, char*, session_state*)) {
    StdoutCapture cap;
    char empty[] = "";
    fn(empty, empty, s.get());
    return cap.text();
  }
  recorder frame() {
    recorder r;
    EXPECT_EQ(gxhwalk(0, r), 0);
    return r;
  }
};

// 0 .. 1000 along x on two rows.
std::vector<float> ramp(int n, float top) {
  std::vector<float> v;
  for (int j = 0; j < 2; j++)
    for (int i = 0; i < n; i++) v.push_back(top * float(i) / float(n - 1));
  return v;
}

std::vector<float> shifted(std::vector<float> v, float by) {
  for (float& x : v) x += by;
  return v;
}

TEST(ContourPlot, LevelChoiceAndItsReports) {
  const float kBig = 9.99e33f;
  const struct {
    std::vector<float> v;  // 2 rows
    float cint, cmin, cmax;  // set before the plot
    std::vector<float> clevs;
    const char* out;
    float cint_after;  // 0: not checked
  } cases[] = {
      {{1, 2, 5, 6}, 0, -kBig, kBig, {}, "Contouring: 1 to 6 interval 0.5 \n", 0.5f},
      // 1000 levels would be drawn: the interval grows tenfold and stays.
      {ramp(11, 1000), 1, -kBig, kBig, {},
       "Too many contour levels -- adjusting cint\nContouring: 0 to 1000 interval 10 \n", 10},
      // A negative interval is its size, never an endless walk.
      {ramp(11, 1000), -250, -kBig, kBig, {}, "Contouring: 0 to 1000 interval 250 \n", 0},
      // Levels only in a narrow cmin..cmax of a field up to 2^24.
      {ramp(11, 16777216), 1, 0, 50, {}, "Contouring: 0 to 1.67772e+07 interval 1 \n", 0},
      {ramp(11, 1000), 0, -kBig, kBig, {0, 5, 10}, "Contouring at clevs =  0 5 10\n", 0},
      // An interval that vanishes against values near 300 is too many
      // levels, not a constant field.
      {shifted(ramp(11, 50), 250), 1e-5f, -kBig, kBig, {},
       "Too many contour levels -- adjusting cint\nContouring: 250 to 300 interval 1 \n", 0},
  };
  for (const auto& c : cases) {
    Plot p;
    p.lonlat(int(c.v.size() / 2), 2, 0, 0, 10, c.v);
    p.s->cint = c.cint;
    p.s->cmin = c.cmin;
    p.s->cmax = c.cmax;
    p.s->clevs_count = int(c.clevs.size());
    std::copy(c.clevs.begin(), c.clevs.end(), p.s->clevs);
    EXPECT_EQ(p.run(0), c.out);
    EXPECT_EQ(p.s->last_plot_code, kPlotContour) << c.out;
    if (c.cint_after != 0) {
      EXPECT_EQ(p.s->cint, c.cint_after) << c.out;
    }
  }
}

TEST(ContourPlot, KnownContourLandsWhereTheProjectionPutsIt) {
  Plot p;
  // A peak of 10 in the middle of a 3 x 3 grid over 0..20 degrees: level 5
  // crosses each axis half way between the centre and the edge.
  p.lonlat(3, 3, 0, 0, 10, {0, 0, 0, 0, 10, 0, 0, 0, 0});
  p.s->clevs_count = 1;
  p.s->clevs[0] = 5;
  p.s->ccols_count = 1;
  p.s->ccols[0] = 4;
  p.run(0);
  // Lat-lon set-up: a latitude degree is 1.2 longitude degrees; the box
  // keeps that aspect inside 0.5..10.5 by 0.75..7.75.
  const float width = 10.0f * 0.7f / 1.2f;
  const float xlo = 5.5f - width / 2, ylo = 0.75f, yhi = 7.75f;
  EXPECT_NEAR(p.s->plot_x_low, xlo, 1e-4);
  EXPECT_NEAR(p.s->plot_x_high, xlo + width, 1e-4);
  auto px = [&](float lon) { return xlo + width * lon / 20; };
  auto py = [&](float lat) { return ylo + (yhi - ylo) * lat / 20; };
  recorder r = p.frame();
  for (auto [lon, lat] : {std::pair{5, 10}, {10, 5}, {15, 10}, {10, 15}})
    EXPECT_TRUE(r.has_point(px(float(lon)), py(float(lat)), 4)) << lon << " " << lat;
  // The frame in the annotation colour, corner to corner.
  for (float x : {xlo, xlo + width})
    for (float y : {ylo, yhi}) EXPECT_TRUE(r.has_point(x, y, 1)) << x << " " << y;
}

TEST(ContourPlot, ShadeTableBandsAndQuery) {
  Plot p;
  EXPECT_EQ(p.query(kaqshades), "None\n");
  p.lonlat(11, 2, 0, 0, 1, ramp(11, 10));
  p.s->cint = 2;
  p.run(2);  // grid fill
  EXPECT_EQ(p.s->last_plot_code, kPlotGridFill);
  // Bands from one interval below the data: the rainbow index of level v is
  // int((v + 2) * 13 / 12) over the range -2 .. 10.
  EXPECT_EQ(p.query(kaqshades),
            "Number of levels = 7\n9 < 0\n4 0 2\n5 2 4\n3 4 6\n7 6 8\n8 8 10\n6 10 >\n");
  EXPECT_EQ(p.s->shade_levels[0], -22.0f);
  // One filled box per point; a value on a level belongs to the band below
  // it (value 4: band 2..4, colour 5), while the colour lookup of other plots
  // takes the band above.
  recorder r = p.frame();
  ASSERT_EQ(r.fills.size(), 22u);
  const int expect[11] = {9, 4, 4, 5, 5, 3, 3, 7, 7, 8, 8};
  for (int i = 0; i < 11; i++) EXPECT_EQ(r.fills[size_t(i)].first, expect[i]) << i;
  EXPECT_EQ(kashdc(p.s.get(), 4), 3);
  EXPECT_EQ(kashdc(p.s.get(), 3.9f), 5);
  EXPECT_EQ(kashdc(p.s.get(), -5), 9);
  EXPECT_EQ(kashdc(p.s.get(), 50), 6);
}

TEST(ContourPlot, ExplicitLevelsWithFewerColoursShadeTheRestInFifteen) {
  Plot p;
  p.lonlat(11, 2, 0, 0, 1, ramp(11, 10));
  p.s->clevs_count = 3;
  p.s->clevs[0] = 2;
  p.s->clevs[1] = 5;
  p.s->clevs[2] = 8;
  p.s->ccols_count = 2;
  p.s->ccols[0] = 4;
  p.s->ccols[1] = 2;
  p.run(1);
  EXPECT_EQ(p.query(kaqshades), "Number of levels = 3\n4 < 2\n2 2 5\n15 5 >\n");
  EXPECT_EQ(p.s->last_plot_code, kPlotShaded);
  // An empty table fills nothing and looks colour 1 up.
  p.s->shade_count = 0;
  gxfrme(frame_action::clear);
  kagfil(std::vector<float>{1, 2}.data(), 2, 1, nullptr, nullptr, 0, -9.99e33f);
  EXPECT_TRUE(p.frame().fills.empty());
  EXPECT_EQ(kashdc(p.s.get(), 3), 1);
}

TEST(ContourPlot, RainbowColoursOfOneLevelAndReversed) {
  // The first colour a plot drew its contours in (the frame is colour 1).
  auto first_colour = [](Plot& p) {
    for (const point& q : p.frame().pen)
      if (q.colour != 1) return q.colour;
    return -1;
  };
  {
    Plot p;  // one level takes the middle colour
    p.lonlat(2, 2, 0, 0, 10, {0.9f, 1.0f, 1.1f, 1.2f});
    p.s->cint = 1;
    p.s->ccolor = -1;
    EXPECT_EQ(p.run(0), "Contouring: 1 to 1 interval 1 \n");
    EXPECT_EQ(p.s->rbrange[0], 1.0f);
    EXPECT_EQ(p.s->rbrange[1], 1.0f);
    EXPECT_EQ(first_colour(p), 3);
  }
  {
    Plot p;  // -1 .. 11: level 0, the lowest, takes the last colour (6) first
    std::vector<float> v = ramp(11, 12);
    for (float& x : v) x -= 1;
    p.lonlat(11, 2, 0, 0, 1, v);
    p.s->cint = 5;
    p.s->ccolor = -2;
    p.run(0);
    EXPECT_EQ(first_colour(p), 6);
  }
}

TEST(ContourPlot, UndefinedAndConstantFieldsStopBeforeTheTail) {
  {
    Plot p;
    p.lonlat(2, 2, 0, 0, 10, {-9.99e33f, -9.99e33f, -9.99e33f, -9.99e33f});
    EXPECT_EQ(p.run(1), "Cannot contour grid - all undefined values \n");
    EXPECT_EQ(p.s->last_plot_code, 0);
  }
  {
    Plot p;  // drawn as one fgrid value in colour 2 with its notice
    p.lonlat(2, 2, 0, 0, 10, {5, 5, 5, 5});
    EXPECT_EQ(p.run(0), "Constant field.  Value = 5\n");
    recorder r = p.frame();
    ASSERT_EQ(r.fills.size(), 2u);  // one run per row
    EXPECT_EQ(r.fills[0].first, 2);
    EXPECT_EQ(p.s->fgvals_count, 0);
    EXPECT_EQ(p.s->gxout_2d, 1);
  }
  {
    Plot p;  // a constant beyond any int has no fgrid value to fill
    p.lonlat(2, 2, 0, 0, 10, {1e20f, 1e20f, 1e20f, 1e20f});
    EXPECT_EQ(p.run(0), "Constant field.  Value = 1e+20\n");
    EXPECT_TRUE(p.frame().fills.empty());
    EXPECT_EQ(p.s->fgvals_count, 0);
  }
}

TEST(ContourPlot, TransposedPlotExchangesTheAxesInACopy) {
  {
    Plot p;
    p.lonlat(3, 2, 0, 0, 10, {1, 2, 3, 4, 5, 6});
    p.s->xyrev = 1;
    p.s->mproj = map_projection::scaled;
    p.run(0);
    ASSERT_EQ(p.s->result_held, 2);
    auto* t = static_cast<grid_field*>(p.s->result[1]);
    EXPECT_EQ(t->idim, 1);
    EXPECT_EQ(t->isiz, 2);
    EXPECT_EQ(t->jsiz, 3);
    // Old (i, j) is new (j, i).
    EXPECT_EQ(t->values[0 * 2 + 1], 4);
    EXPECT_EQ(t->values[2 * 2 + 0], 3);
    EXPECT_EQ(p.s->last_plot_idim, 1);
    EXPECT_EQ(p.s->last_plot_jdim, 0);
  }
  Plot p;  // no result slot left for the copy: refused, nothing lost
  grid_field* g = p.lonlat(2, 2, 0, 0, 10, {1, 2, 3, 4});
  p.s->xyrev = 1;
  for (int k = 1; k < kMaxResults; k++) {
    p.s->result[k] = nullptr;
    p.s->result_type[k] = 1;
  }
  p.s->result_count = p.s->result_held = kMaxResults;
  std::string out = p.run(0);
  EXPECT_NE(out.find("more than 16 results"), std::string::npos) << out;
  EXPECT_EQ(p.s->last_plot_code, 0);
  EXPECT_EQ(p.s->result_held, kMaxResults);
  p.s->result_held = 1;
  EXPECT_EQ(p.s->result[0], g);
}

TEST(ContourPlot, RefinementSizesAndValues) {
  // 20 by 10 refined 5 times in i; 10 is capped to 4 in j.
  std::vector<float> v(200);
  for (int j = 0; j < 10; j++)
    for (int i = 0; i < 20; i++) v[size_t(j * 20 + i)] = float(i + j);
  std::vector<float> out(96 * 37, -1);
  kagexp(-9.99e33f, v.data(), 20, 10, out.data(), 5, 4);
  // A linear field stays linear under the cubic (its tangents are exact).
  EXPECT_NEAR(out[0], 0, 1e-5);
  EXPECT_NEAR(out[1], 0.2, 1e-5);
  EXPECT_NEAR(out[36 * 96 + 95], 28, 1e-4);
  EXPECT_NEAR(out[2 * 96 + 7], 1.4 + 0.5, 1e-4);
  // Linear refinement: bilinear inside, undefined where a corner is.
  std::vector<float> w = {0, 10, 20, 30};
  std::vector<float> lo(9);
  {
    StdoutCapture cap;
    kaglin(-9.99e33f, w.data(), 2, 2, lo.data(), 2, 2);
    EXPECT_EQ(cap.text(), "isiz, jsiz = 3 3 \n");
  }
  EXPECT_NEAR(lo[1], 5, 1e-5);
  EXPECT_NEAR(lo[4], 15, 1e-5);
  w[2] = -9.99e33f;
  {
    StdoutCapture cap;
    kaglin(-9.99e33f, w.data(), 2, 2, lo.data(), 2, 2);
  }
  EXPECT_EQ(lo[4], -9.99e33f);
}

}  // namespace
