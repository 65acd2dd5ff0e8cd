// Shading: the polygons of small grids, and the painted area of every band
// checked against the area between two levels computed here from the grid.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <string>

#include "gx/test_contour_util.h"
#include "support/stdout_capture.h"

using namespace cntest;

namespace {

// Area (grid units) where the field, linear along cell sides and cut by
// straight lines between side crossings, is above the level; cells with an
// undefined corner count nothing. Cells crossed on all four sides are
// counted in *saddles, and *split gathers how much less they hold when cut
// the other way (their corners above as separate triangles).
double area_above(const std::vector<float>& g, int isiz, int jsiz, float level,
                  int* saddles = nullptr, double* split = nullptr) {
  const double cx[4] = {0, 1, 1, 0}, cy[4] = {0, 0, 1, 1};
  double total = 0;
  for (int j = 1; j < jsiz; ++j)
    for (int i = 1; i < isiz; ++i) {
      float c[4] = {g[(j - 1) * isiz + i - 1], g[(j - 1) * isiz + i], g[j * isiz + i],
                    g[j * isiz + i - 1]};
      if (std::count(c, c + 4, kUndef)) continue;
      auto cross = [&](int k, int q) {
        double t = (double(level) - c[k]) / (double(c[q]) - c[k]);
        return xy{cx[k] + t * (cx[q] - cx[k]), cy[k] + t * (cy[q] - cy[k])};
      };
      std::vector<xy> poly;
      int crossings = 0;
      double tri = 0;
      for (int k = 0; k < 4; ++k) {
        int q = (k + 1) % 4, p = (k + 3) % 4;
        if (c[k] > level) {
          poly.push_back({cx[k], cy[k]});
          tri += shoelace({{cx[k], cy[k]}, cross(k, q), cross(k, p)});
        }
        if ((c[k] > level) != (c[q] > level)) {
          poly.push_back(cross(k, q));
          ++crossings;
        }
      }
      double a = poly.size() >= 3 ? shoelace(poly) : 0;
      if (crossings == 4 && saddles) ++*saddles;
      if (crossings == 4 && split) *split += tri - a;
      total += a;
    }
  return total;
}

// Filled area of a single level: its colour counts, holes in colour 0 not.
double net_area(const frame_content& f, int colour) {
  double a = 0;
  for (const auto& p : f.polys)
    a += (p.colour == colour ? 1 : p.colour == 0 ? -1 : 0) * shoelace(p.pts);
  return a;
}

class ShadeTest : public ::testing::Test {
 protected:
  void SetUp() override { fresh_page(); }
  void TearDown() override { gxgrid(nullptr); }
};

TEST_F(ShadeTest, FourByTwoGridGivesOneBoundaryFollowingPolygonPerLevel) {
  auto g = make_grid(4, 2, [](int i, int) { return float(i - 1); });  // rows 0 1 2 3
  float levels[2] = {0.5f, 1.5f};
  int colours[2] = {5, 6};
  gxshad(g.data(), 4, 2, levels, colours, 2, kUndef);
  frame_content f = read_frame();
  std::vector<polyrec> want = {
      {5, {{1.5, 1}, {1.5, 2}, {2, 2}, {3, 2}, {4, 2}, {4, 1}, {3, 1}, {2, 1}, {1.5, 1}}},
      {6, {{2.5, 1}, {2.5, 2}, {3, 2}, {4, 2}, {4, 1}, {3, 1}, {2.5, 1}}}};
  ASSERT_EQ(f.polys.size(), want.size());
  for (std::size_t p = 0; p < want.size(); ++p) {
    EXPECT_EQ(f.polys[p].colour, want[p].colour);
    ASSERT_EQ(f.polys[p].pts.size(), want[p].pts.size());
    for (std::size_t k = 0; k < want[p].pts.size(); ++k)
      EXPECT_TRUE(same(f.polys[p].pts[k], want[p].pts[k])) << "polygon " << p << " point " << k;
  }
}

TEST_F(ShadeTest, StripsAboveFillAsOutlinesAndLevelsBelowOrCoveredAreSkipped) {
  float levels[3] = {0.f, 2.f, 4.f};
  int colours[3] = {2, 3, 4};
  // Seven rows: strips of rows 1-4 and 4-7, every value above the top level.
  auto high = make_grid(4, 7, [](int i, int j) { return 5 + 0.1f * (i + j); });
  gxshad(high.data(), 4, 7, levels, colours, 3, kUndef);
  frame_content f = read_frame();
  ASSERT_EQ(f.polys.size(), 2u);
  for (const auto& p : f.polys) {
    EXPECT_EQ(p.colour, 4);
    EXPECT_NEAR(shoelace(p.pts), 9.0, 1e-3);
  }
  fresh_page();
  auto low = make_grid(6, 5, [](int, int) { return -1.f; });
  auto undef = make_grid(6, 5, [](int, int) { return kUndef; });
  gxshad(low.data(), 6, 5, levels, colours, 3, kUndef);
  gxshad(undef.data(), 6, 5, levels, colours, 3, kUndef);
  float down[3] = {4.f, 2.f, 0.f};  // any order ends
  gxshad(low.data(), 6, 5, down, colours, 3, kUndef);
  EXPECT_TRUE(read_frame().polys.empty());
}

TEST_F(ShadeTest, ClosedMinimumIsAHoleFilledLastInTheColourBelow) {
  auto g = make_grid(5, 4, [](int i, int j) { return (i == 3 && (j == 2 || j == 3)) ? 0.f : 5.f; });
  float levels[2] = {1.f, 2.f};
  int colours[2] = {7, 8};
  gxshad(g.data(), 5, 4, levels, colours, 2, kUndef);
  frame_content f = read_frame();
  // Outlines, then the holes, last pushed first: the second level's hole in
  // the first level's colour, then the first level's hole in colour 0.
  ASSERT_EQ(f.polys.size(), 4u);
  std::vector<int> order;
  for (const auto& p : f.polys) order.push_back(p.colour);
  EXPECT_EQ(order, (std::vector<int>{7, 8, 7, 0}));
  double total = 12, below2 = total - area_above(g, 5, 4, 2.f),
         below1 = total - area_above(g, 5, 4, 1.f);
  EXPECT_NEAR(shoelace(f.polys[2].pts), below2, 1e-3);
  EXPECT_NEAR(shoelace(f.polys[3].pts), below1, 1e-3);
}

TEST_F(ShadeTest, SaddleCellsAreCutAlongTheShorterPairing) {
  float level = 0.5f;
  int colour = 4;
  // LL 1, LR 0, UR 0.6, UL 0: bottom joins left and right joins top, leaving
  // corner triangles of 1/8 and 1/72 above the level.
  std::vector<float> skew = {1, 0, 0, 0.6f};
  gxshad(skew.data(), 2, 2, &level, &colour, 1, kUndef);
  EXPECT_NEAR(net_area(read_frame(), 4), 1.0 / 8 + 1.0 / 72, 2e-3);
  // Equal pairings: bottom joins right; only the corners below are cut off.
  fresh_page();
  std::vector<float> tie = {1, 0, 0, 1};
  gxshad(tie.data(), 2, 2, &level, &colour, 1, kUndef);
  EXPECT_NEAR(net_area(read_frame(), 4), 0.75, 2e-3);
}

void to_page(float x, float y, float* xo, float* yo) {
  *xo = 0.5f + 0.125f * (x - 1);
  *yo = 0.5f + 0.125f * (y - 1);
}

TEST_F(ShadeTest, RandomFieldWithSaddlesAndUndefinedDataIsPaintedBandByBand) {
  const int n = 73, m = 57;
  std::mt19937 rng(20261206);
  std::uniform_real_distribution<double> u(0, 1);
  double amp[6], fx[6], fy[6], ph[6];
  for (int k = 0; k < 6; ++k) {
    amp[k] = 1 + 2 * u(rng);
    fx[k] = 0.05 + 0.4 * u(rng);
    fy[k] = 0.05 + 0.4 * u(rng);
    ph[k] = 6.28 * u(rng);
  }
  // Scattered undefined points, some on the sides, a block, and two that
  // touch only diagonally across (5,2).
  std::vector<std::pair<int, int>> holes = {{1, 1}, {n, 30}, {20, m}, {4, 1}, {6, 3}};
  for (int k = 0; k < 25; ++k) holes.push_back({1 + int(u(rng) * n), 1 + int(u(rng) * m)});
  auto g = make_grid(n, m, [&](int i, int j) {
    for (auto [hi, hj] : holes)
      if (i == hi && j == hj) return kUndef;
    if (i >= 40 && i <= 44 && j >= 10 && j <= 12) return kUndef;
    double v = 0;
    for (int k = 0; k < 6; ++k) v += amp[k] * std::sin(fx[k] * i + fy[k] * j + ph[k]);
    return float(v);
  });
  std::vector<float> levels = {-1e30f, -4.5f, -3, -1.5f, -0.25f, 1, 2.5f, 4, 5.5f};
  std::vector<int> colours = {2, 3, 4, 5, 6, 7, 8, 9, 10};
  gxgrid(to_page);
  StdoutCapture cap;
  gxshad(g.data(), n, m, levels.data(), colours.data(), int(levels.size()), kUndef);
  EXPECT_EQ(cap.text(), "");

  frame_content f = read_frame();
  // Pixel rows kept off the grid lines, so that no edge lies on a centre.
  auto painted = painted_areas(f.polys, 0.5, 0.5, 9.5, 7.5, 0.0043);
  const double scale = 0.125 * 0.125;
  int saddles = 0;
  std::vector<double> most(levels.size() + 1, 0), least(levels.size() + 1, 0);
  for (std::size_t k = 0; k < levels.size(); ++k) {
    double split = 0;
    most[k] = scale * area_above(g, n, m, levels[k], &saddles, &split);
    least[k] = most[k] + scale * split;
  }
  EXPECT_GT(saddles, 0);
  for (std::size_t k = 0; k < levels.size(); ++k) {
    EXPECT_LE(painted[colours[k]], most[k] - least[k + 1] + 0.01) << "band above " << levels[k];
    EXPECT_GE(painted[colours[k]], least[k] - most[k + 1] - 0.01) << "band above " << levels[k];
  }
  // Where the undefined cells touch at (5,2) each polygon keeps to its own
  // defined cell: none passes that point twice.
  int passing = 0;
  for (const auto& p : f.polys) {
    int seen = 0;
    for (std::size_t k = 0; k + 1 < p.pts.size(); ++k) seen += same(p.pts[k], {1.0, 0.625}, 1e-3);
    EXPECT_LE(seen, 1);
    passing += seen;
  }
  EXPECT_GE(passing, 2);
}

void thin(float x, float y, float* xo, float* yo) {
  *xo = 0.005f * x;
  *yo = y;
}

TEST_F(ShadeTest, ThinGridsWithManyHolesAndLongOutlinesAreShadedWhole) {
  float level = 2.f;
  int colour = 7;
  // 600 pits in one strip.
  const int n = 1802;
  auto g =
      make_grid(n, 4, [](int i, int j) { return (i % 3 == 2 && (j == 2 || j == 3)) ? 0.f : 5.f; });
  // One polygon with more points than the grid has.
  const int m = 600;
  auto z = make_grid(m, 2, [](int i, int j) { return (j == 2 && i % 2 == 0) ? 0.f : 5.f; });
  for (auto [grid, w, h] : {std::make_tuple(&g, n, 4), std::make_tuple(&z, m, 2)}) {
    fresh_page();
    gxgrid(thin);
    StdoutCapture cap2;
    gxshad(grid->data(), w, h, &level, &colour, 1, kUndef);
    EXPECT_EQ(cap2.text(), "");
    frame_content f = read_frame();
    double want = 0.005 * area_above(*grid, w, h, level);
    EXPECT_NEAR(net_area(f, colour), want, 0.002 * want);
    auto holes =
        std::count_if(f.polys.begin(), f.polys.end(), [](auto& p) { return p.colour == 0; });
    EXPECT_EQ(holes, h == 4 ? 600 : 0);
    EXPECT_GT(f.polys.at(0).pts.size(), std::size_t(h == 4 ? 2 * n : 2 * m));
  }
}

}  // namespace
