// Shading: the polygons of small grids, and the painted area of every band
// checked against the area between two levels computed here from the grid.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "gx/contour.h"
#include "gx/test_contour_util.h"

using cntest::frame_content;
using cntest::painted_areas;
using cntest::read_frame;
using cntest::shoelace;
using cntest::xy;

namespace {

constexpr float kUndef = -9.99e8f;

std::vector<float> make_grid(int isiz, int jsiz, const std::function<float(int, int)>& f) {
  std::vector<float> g(static_cast<std::size_t>(isiz) * jsiz);
  for (int j = 1; j <= jsiz; ++j)
    for (int i = 1; i <= isiz; ++i) g[(j - 1) * isiz + (i - 1)] = f(i, j);
  return g;
}

// Area of the grid (in grid units) where the field, taken linear along cell
// sides and cut by straight lines between side crossings, lies above the
// level. Cells with an undefined corner count nothing. Cells crossed on all
// four sides are counted in `saddles` (their area depends on a pairing).
// `split` (when given) gathers how much less the saddle cells hold when cut
// the other way.
double area_above(const std::vector<float>& g, int isiz, int jsiz, float level, int* saddles,
                  double* split = nullptr) {
  double total = 0;
  for (int j = 1; j < jsiz; ++j)
    for (int i = 1; i < isiz; ++i) {
      float c[4] = {g[(j - 1) * isiz + i - 1], g[(j - 1) * isiz + i], g[j * isiz + i],
                    g[j * isiz + i - 1]};
      const double cx[4] = {0, 1, 1, 0}, cy[4] = {0, 0, 1, 1};
      bool undef = false;
      for (float v : c) undef = undef || v == kUndef;
      if (undef) continue;
      std::vector<xy> poly;
      int crossings = 0;
      for (int k = 0; k < 4; ++k) {
        int q = (k + 1) % 4;
        if (c[k] > level) poly.push_back({cx[k], cy[k]});
        if ((c[k] > level) != (c[q] > level)) {
          double t = (static_cast<double>(level) - c[k]) / (static_cast<double>(c[q]) - c[k]);
          poly.push_back({cx[k] + t * (cx[q] - cx[k]), cy[k] + t * (cy[q] - cy[k])});
          ++crossings;
        }
      }
      if (crossings == 4 && saddles) ++*saddles;
      if (crossings == 4 && split) {
        // Cut the other way, the two corners above are separate triangles.
        double tri = 0;
        for (int k = 0; k < 4; ++k) {
          if (!(c[k] > level)) continue;
          int p = (k + 3) % 4, q = (k + 1) % 4;
          double tp = (static_cast<double>(level) - c[k]) / (static_cast<double>(c[p]) - c[k]);
          double tq = (static_cast<double>(level) - c[k]) / (static_cast<double>(c[q]) - c[k]);
          tri += shoelace({{cx[k], cy[k]},
                           {cx[k] + tq * (cx[q] - cx[k]), cy[k] + tq * (cy[q] - cy[k])},
                           {cx[k] + tp * (cx[p] - cx[k]), cy[k] + tp * (cy[p] - cy[k])}});
        }
        *split += tri - shoelace(poly);
      }
      if (poly.size() >= 3) total += shoelace(poly);
    }
  return total;
}

// Checks that every band ends up painted over the area the grid says.
void expect_band_areas(const std::vector<float>& g, int isiz, int jsiz,
                       const std::vector<float>& levels, const std::vector<int>& colours) {
  frame_content f = read_frame();
  auto painted = painted_areas(f.polys, 0.5, 0.5, isiz + 0.5, jsiz + 0.5, 0.005);
  int saddles = 0;
  for (std::size_t k = 0; k < levels.size(); ++k) {
    double lo = area_above(g, isiz, jsiz, levels[k], &saddles);
    double hi = k + 1 < levels.size() ? area_above(g, isiz, jsiz, levels[k + 1], &saddles) : 0;
    EXPECT_NEAR(painted[colours[k]], lo - hi, 0.02) << "band above " << levels[k];
  }
  EXPECT_EQ(saddles, 0) << "the field was meant to have no saddle cells";
}

class ShadeTest : public ::testing::Test {
 protected:
  void SetUp() override { cntest::fresh_page(); }
  void TearDown() override { gxgrid(nullptr); }
};

void expect_poly(const cntest::polyrec& p, int colour, const std::vector<xy>& want) {
  EXPECT_EQ(p.colour, colour);
  ASSERT_EQ(p.pts.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) {
    EXPECT_NEAR(p.pts[k].x, want[k].x, 0.0011) << "point " << k;
    EXPECT_NEAR(p.pts[k].y, want[k].y, 0.0011) << "point " << k;
  }
}

TEST_F(ShadeTest, FourByTwoGridGivesOneBoundaryFollowingPolygonPerLevel) {
  // Both rows 0 1 2 3.
  auto g = make_grid(4, 2, [](int i, int) { return static_cast<float>(i - 1); });
  float levels[2] = {0.5f, 1.5f};
  int colours[2] = {5, 6};
  gxshad(g.data(), 4, 2, levels, colours, 2, kUndef);
  frame_content f = read_frame();
  ASSERT_EQ(f.polys.size(), 2u);
  expect_poly(f.polys[0], 5,
              {{1.5, 1}, {1.5, 2}, {2, 2}, {3, 2}, {4, 2}, {4, 1}, {3, 1}, {2, 1}, {1.5, 1}});
  expect_poly(f.polys[1], 6, {{2.5, 1}, {2.5, 2}, {3, 2}, {4, 2}, {4, 1}, {3, 1}, {2.5, 1}});
}

TEST_F(ShadeTest, FieldWhollyAboveFillsEachStripOutline) {
  // Seven rows make strips of rows 1-4 and 4-7.
  auto g = make_grid(4, 7, [](int i, int j) { return static_cast<float>(i + j); });
  float levels[2] = {0.0f, 100.0f};
  int colours[2] = {3, 4};
  gxshad(g.data(), 4, 7, levels, colours, 2, kUndef);
  frame_content f = read_frame();
  ASSERT_EQ(f.polys.size(), 2u);
  expect_poly(f.polys[0], 3,
              {{1, 1}, {2, 1}, {3, 1}, {4, 1}, {4, 2}, {4, 3}, {4, 4}, {3, 4}, {2, 4}, {1, 4},
               {1, 3}, {1, 2}, {1, 1}});
  EXPECT_EQ(f.polys[1].colour, 3);
  EXPECT_NEAR(shoelace(f.polys[1].pts), 9.0, 1e-3);
}

TEST_F(ShadeTest, NothingIsFilledBelowTheFirstLevelOrWhereAllIsUndefined) {
  auto low = make_grid(6, 5, [](int i, int j) { return static_cast<float>(i * j); });
  float levels[2] = {50.0f, 60.0f};
  int colours[2] = {2, 3};
  gxshad(low.data(), 6, 5, levels, colours, 2, kUndef);
  auto none = make_grid(6, 5, [](int, int) { return kUndef; });
  gxshad(none.data(), 6, 5, levels, colours, 2, kUndef);
  auto flat = make_grid(6, 5, [](int, int) { return 50.0f; });
  gxshad(flat.data(), 6, 5, levels, colours, 2, kUndef);
  EXPECT_TRUE(read_frame().polys.empty());
}

TEST_F(ShadeTest, LevelIsSkippedWhereTheNextLevelCoversTheStrip) {
  auto g = make_grid(5, 4, [](int i, int j) { return 5.0f + 0.1f * (i + j); });
  float levels[3] = {0.0f, 2.0f, 4.0f};
  int colours[3] = {2, 3, 4};
  gxshad(g.data(), 5, 4, levels, colours, 3, kUndef);
  frame_content f = read_frame();
  ASSERT_EQ(f.polys.size(), 1u);
  EXPECT_EQ(f.polys[0].colour, 4);
  EXPECT_NEAR(shoelace(f.polys[0].pts), 12.0, 1e-3);
}

TEST_F(ShadeTest, ClosedMinimumIsAHoleFilledLastInTheColourBelow) {
  // A pit at (3,2)-(3,3) inside the first strip.
  auto g = make_grid(5, 4, [](int i, int j) { return (i == 3 && (j == 2 || j == 3)) ? 0.0f : 5.0f; });
  float levels[2] = {1.0f, 2.0f};
  int colours[2] = {7, 8};
  gxshad(g.data(), 5, 4, levels, colours, 2, kUndef);
  frame_content f = read_frame();
  ASSERT_EQ(f.polys.size(), 4u);
  // Outline at each level, then the holes, the last pushed first: the hole of
  // the second level in the first level's colour, then the first level's
  // hole in colour 0.
  EXPECT_EQ(f.polys[0].colour, 7);
  EXPECT_EQ(f.polys[1].colour, 8);
  EXPECT_EQ(f.polys[2].colour, 7);
  EXPECT_EQ(f.polys[3].colour, 0);
  EXPECT_NEAR(shoelace(f.polys[2].pts), area_above(make_grid(5, 4, [&](int i, int j) { return -g[(j - 1) * 5 + i - 1]; }), 5, 4, -2.0f, nullptr), 1e-3);
  expect_band_areas(g, 5, 4, {1.0f, 2.0f}, {7, 8});
}

// Peak, pit and slope: bands of several levels across three strips.
float hills(int i, int j) {
  double x = i, y = j;
  return static_cast<float>(10 * std::exp(-((x - 7) * (x - 7) + (y - 5) * (y - 5)) / 8) -
                            6 * std::exp(-((x - 3) * (x - 3) + (y - 3) * (y - 3)) / 1.5) + 0.3 * x);
}

TEST_F(ShadeTest, BandAreasMatchTheAreaBetweenLevels) {
  auto g = make_grid(10, 8, hills);
  std::vector<float> levels = {-3.1f, -1.1f, 0.9f, 2.9f, 4.9f, 6.9f, 8.9f};
  std::vector<int> colours = {2, 3, 4, 5, 6, 7, 8};
  gxshad(g.data(), 10, 8, levels.data(), colours.data(), 7, kUndef);
  expect_band_areas(g, 10, 8, levels, colours);
}

TEST_F(ShadeTest, UndefinedPointsLeaveTheirCellsUnfilled) {
  // One undefined point inside, two touching diagonally across (5,2), one
  // on the right edge.
  auto g = make_grid(10, 8, [](int i, int j) {
    if ((i == 4 && j == 1) || (i == 6 && j == 3) || (i == 7 && j == 6) || (i == 10 && j == 4))
      return kUndef;
    return hills(i, j);
  });
  std::vector<float> levels = {-10.0f, 0.9f, 2.9f, 4.9f};
  std::vector<int> colours = {2, 3, 4, 5};
  testing::internal::CaptureStdout();
  gxshad(g.data(), 10, 8, levels.data(), colours.data(), 4, kUndef);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "");
  expect_band_areas(g, 10, 8, levels, colours);
  // Nothing painted in the cells around the inner undefined point (7,6).
  frame_content f = read_frame();
  // Where the two undefined cells touch at (5,2) each polygon keeps to its
  // own defined cell: none passes that point twice.
  int passing = 0;
  for (const auto& p : f.polys) {
    int seen = 0;
    for (std::size_t k = 0; k + 1 < p.pts.size(); ++k)
      if (std::fabs(p.pts[k].x - 5) < 1e-3 && std::fabs(p.pts[k].y - 2) < 1e-3) ++seen;
    EXPECT_LE(seen, 1);
    passing += seen;
  }
  EXPECT_GE(passing, 2);
  auto near = painted_areas(f.polys, 6.0, 5.0, 8.0, 7.0, 0.01);
  EXPECT_NEAR(near[100], 4.0, 0.02);
}

void thin(float x, float y, float* xo, float* yo) {
  *xo = 0.005f * x;
  *yo = y;
}

TEST_F(ShadeTest, ThinGridWithManyHolesAndLongOutlinesIsShadedWhole) {
  // 600 pits in one strip, and a second strip-less field whose one polygon
  // has more points than the grid has.
  const int n = 1802;
  auto g = make_grid(n, 4, [](int i, int j) { return (i % 3 == 2 && (j == 2 || j == 3)) ? 0.0f : 5.0f; });
  float level = 2.0f;
  int colour = 7;
  gxgrid(thin);
  testing::internal::CaptureStdout();
  gxshad(g.data(), n, 4, &level, &colour, 1, kUndef);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  frame_content f = read_frame();
  int holes = 0;
  double filled = 0;
  for (const auto& p : f.polys) {
    if (p.colour == 0) {
      ++holes;
      filled -= shoelace(p.pts);
    } else {
      filled += shoelace(p.pts);
    }
  }
  EXPECT_EQ(holes, 600);
  double want = 0.005 * area_above(g, n, 4, level, nullptr);
  EXPECT_NEAR(filled, want, 0.002 * want);

  cntest::fresh_page();
  gxgrid(thin);
  const int m = 600;
  auto z = make_grid(m, 2, [](int i, int j) { return (j == 2 && i % 2 == 0) ? 0.0f : 5.0f; });
  testing::internal::CaptureStdout();
  gxshad(z.data(), m, 2, &level, &colour, 1, kUndef);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  f = read_frame();
  ASSERT_EQ(f.polys.size(), 1u);
  EXPECT_GT(f.polys[0].pts.size(), static_cast<std::size_t>(2 * m));
  double want2 = 0.005 * area_above(z, m, 2, level, nullptr);
  EXPECT_NEAR(shoelace(f.polys[0].pts), want2, 0.002 * want2);
}

TEST_F(ShadeTest, AnyLevelListEnds) {
  auto g = make_grid(10, 8, hills);
  float down[4] = {6.0f, 3.0f, 0.0f, -3.0f};
  int colours[4] = {2, 3, 4, 5};
  gxshad(g.data(), 10, 8, down, colours, 4, kUndef);
  float same[3] = {1.0f, 1.0f, 1.0f};
  gxshad(g.data(), 10, 8, same, colours, 3, kUndef);
  gxshad(g.data(), 10, 8, same, colours, 0, kUndef);
  EXPECT_FALSE(read_frame().polys.empty());
}

TEST_F(ShadeTest, SaddleCellsAreCutAlongTheShorterPairing) {
  // LL 1, LR 0, UR 0.6, UL 0 at 0.5: bottom joins left and right joins top,
  // leaving two corner triangles of 1/8 and 1/72 above the level.
  std::vector<float> skew = {1, 0, 0, 0.6f};
  float level = 0.5f;
  int colour = 4;
  gxshad(skew.data(), 2, 2, &level, &colour, 1, kUndef);
  frame_content f = read_frame();
  double area = 0;
  for (const auto& p : f.polys) area += (p.colour == 4 ? 1 : -1) * shoelace(p.pts);
  EXPECT_NEAR(area, 1.0 / 8 + 1.0 / 72, 2e-3);

  // Equal pairings: bottom joins right, so the two corners above are joined
  // and only the corners below are cut off.
  cntest::fresh_page();
  std::vector<float> tie = {1, 0, 0, 1};
  gxshad(tie.data(), 2, 2, &level, &colour, 1, kUndef);
  f = read_frame();
  area = 0;
  for (const auto& p : f.polys) area += (p.colour == 4 ? 1 : -1) * shoelace(p.pts);
  EXPECT_NEAR(area, 0.75, 2e-3);
}

void to_page(float x, float y, float* xo, float* yo) {
  *xo = 0.5f + 0.125f * (x - 1);
  *yo = 0.5f + 0.125f * (y - 1);
}

TEST_F(ShadeTest, RandomFieldWithSaddlesAndUndefinedPatchesIsPaintedBandByBand) {
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
  std::vector<std::pair<int, int>> holes;
  for (int k = 0; k < 25; ++k)
    holes.push_back({1 + static_cast<int>(u(rng) * n), 1 + static_cast<int>(u(rng) * m)});
  holes.push_back({1, 1});
  holes.push_back({n, 30});
  holes.push_back({20, m});
  auto g = make_grid(n, m, [&](int i, int j) {
    for (auto [hi, hj] : holes)
      if (i == hi && j == hj) return kUndef;
    if (i >= 40 && i <= 44 && j >= 10 && j <= 12) return kUndef;
    double v = 0;
    for (int k = 0; k < 6; ++k) v += amp[k] * std::sin(fx[k] * i + fy[k] * j + ph[k]);
    return static_cast<float>(v);
  });
  std::vector<float> levels = {-1e30f, -4.5f, -3, -1.5f, -0.25f, 1, 2.5f, 4, 5.5f};
  std::vector<int> colours = {2, 3, 4, 5, 6, 7, 8, 9, 10};
  gxgrid(to_page);
  testing::internal::CaptureStdout();
  gxshad(g.data(), n, m, levels.data(), colours.data(), static_cast<int>(levels.size()), kUndef);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  frame_content f = read_frame();
  // Pixel rows kept off the grid lines, so that no edge lies on a centre.
  auto painted = painted_areas(f.polys, 0.5, 0.5, 9.5, 7.5, 0.0043);
  const double scale = 0.125 * 0.125;
  int saddles = 0;
  std::vector<double> hi(levels.size() + 1, 0), lo(levels.size() + 1, 0);
  for (std::size_t k = 0; k < levels.size(); ++k) {
    double split = 0;
    hi[k] = scale * area_above(g, n, m, levels[k], &saddles, &split);
    lo[k] = hi[k] + scale * split;
  }
  EXPECT_GT(saddles, 0);
  for (std::size_t k = 0; k < levels.size(); ++k) {
    double most = hi[k] - lo[k + 1] + 0.01, least = lo[k] - hi[k + 1] - 0.01;
    EXPECT_LE(painted[colours[k]], most) << "band above " << levels[k];
    EXPECT_GE(painted[colours[k]], least) << "band above " << levels[k];
  }
}

}  // namespace
