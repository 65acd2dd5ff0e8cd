// Contour tracing on small grids with known lines, read back from the
// display list (grid coordinates are page inches unless a transform says
// otherwise).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <set>
#include <vector>

#include "gx/contour.h"
#include "gx/test_contour_util.h"

using cntest::frame_content;
using cntest::read_frame;
using cntest::xy;

namespace {

constexpr float kUndef = -9.99e8f;

std::vector<float> make_grid(int isiz, int jsiz, const std::function<float(int, int)>& f) {
  std::vector<float> g(static_cast<std::size_t>(isiz) * jsiz);
  for (int j = 1; j <= jsiz; ++j)
    for (int i = 1; i <= isiz; ++i) g[(j - 1) * isiz + (i - 1)] = f(i, j);
  return g;
}

void contour(const std::vector<float>& g, int isiz, int jsiz, float level,
             const char* label = "", int spline = 0, int labtp = 1) {
  gxclev(g.data(), isiz, jsiz, 1, isiz, 1, jsiz, level, label, spline, labtp, kUndef);
}

void expect_line(const std::vector<xy>& got, const std::vector<xy>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) {
    EXPECT_NEAR(got[k].x, want[k].x, 0.0011) << "point " << k;
    EXPECT_NEAR(got[k].y, want[k].y, 0.0011) << "point " << k;
  }
}

class ContourTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cntest::fresh_page();
    gxclab(0.1f, 0, -1);
    gxclmn(2.0f);
  }
  void TearDown() override {
    gxgrid(nullptr);
    gxclab(0.1f, 0, -1);
    gxclmn(2.0f);
    gxcrel();
  }
};

void twice_shifted(float x, float y, float* xo, float* yo) {
  *xo = 2 * x;
  *yo = y + 1;
}

TEST_F(ContourTest, StraightLineRecordsInThousandthsThroughTheGridTransform) {
  // Values rise by one per column: the level 1.5 runs straight up at x = 1.5.
  auto g = make_grid(3, 3, [](int i, int) { return static_cast<float>(i); });
  contour(g, 3, 3, 1.5f);
  frame_content f = read_frame();
  ASSERT_EQ(f.lines.size(), 1u);
  expect_line(f.lines[0], {{1.5, 3}, {1.5, 2}, {1.5, 1}});

  cntest::fresh_page();
  gxgrid(twice_shifted);
  contour(g, 3, 3, 1.5f);
  std::vector<int> words;
  for (const metafile_span& s : gxhspans(0))
    for (std::size_t k = 0; k < s.count; ++k) words.push_back(s.words[k]);
  std::vector<int> tail = {MF_MOVE, 3000, 4000, MF_DRAW, 3000, 3000, MF_DRAW, 3000, 2000};
  ASSERT_GE(words.size(), tail.size());
  EXPECT_EQ(std::vector<int>(words.end() - tail.size(), words.end()), tail);
}

TEST_F(ContourTest, ValueEqualToTheLevelCountsAsBelow) {
  // Row -1 0 0 1 at level 0: only the edge from 0 to 1 is crossed.
  auto g = make_grid(4, 2, [](int i, int) { return i == 1 ? -1.0f : i == 4 ? 1.0f : 0.0f; });
  contour(g, 4, 2, 0.0f);
  frame_content f = read_frame();
  ASSERT_EQ(f.lines.size(), 1u);
  expect_line(f.lines[0], {{3, 2}, {3, 1}});
}

TEST_F(ContourTest, PeakGivesClosedLineWithFirstPointRepeated) {
  auto g = make_grid(5, 5, [](int i, int j) { return (i == 3 && j == 3) ? 1.0f : 0.0f; });
  contour(g, 5, 5, 0.5f);
  frame_content f = read_frame();
  ASSERT_EQ(f.lines.size(), 1u);
  expect_line(f.lines[0], {{3, 2.5}, {2.5, 3}, {3, 3.5}, {3.5, 3}, {3, 2.5}});
}

TEST_F(ContourTest, LinesStopAtUndefinedData) {
  // x = 2.5 would run from bottom to top; the undefined point (3, 3) cuts
  // it into two open pieces that leave its cells empty.
  auto g = make_grid(5, 5, [](int i, int j) { return (i == 3 && j == 3) ? kUndef : i; });
  contour(g, 5, 5, 2.5f);
  frame_content f = read_frame();
  ASSERT_EQ(f.lines.size(), 2u);
  expect_line(f.lines[0], {{2.5, 2}, {2.5, 1}});
  expect_line(f.lines[1], {{2.5, 5}, {2.5, 4}});
}

TEST_F(ContourTest, SaddlePairsByShorterPathAndTiesJoinBottomWithRight) {
  // Symmetric saddle: both pairings equally long.
  std::vector<float> tie = {1, 0, 0, 1};  // LL LR / UL UR
  contour(tie, 2, 2, 0.5f);
  frame_content f = read_frame();
  ASSERT_EQ(f.lines.size(), 2u);
  expect_line(f.lines[0], {{2, 1.5}, {1.5, 1}});
  expect_line(f.lines[1], {{1.5, 2}, {1, 1.5}});

  // LL 1, LR 0, UR 0.6, UL 0: crossings B (0.5,0), R (1,5/6), T (5/6,1),
  // L (0,0.5); |BL| + |RT| = 0.943 is shorter than |BR| + |LT| = 1.944.
  cntest::fresh_page();
  std::vector<float> skew = {1, 0, 0, 0.6f};
  contour(skew, 2, 2, 0.5f);
  f = read_frame();
  ASSERT_EQ(f.lines.size(), 1u);  // the right-top pair crosses only last edges
  expect_line(f.lines[0], {{1, 1.5}, {1.5, 1}});
}

TEST_F(ContourTest, OnlyTheTopRightCornerCellIsNotDrawnButOtherCornersAre) {
  auto tr = make_grid(3, 3, [](int i, int j) { return (i == 3 && j == 3) ? 1.0f : 0.0f; });
  contour(tr, 3, 3, 0.5f);
  EXPECT_TRUE(read_frame().lines.empty());

  auto bl = make_grid(3, 3, [](int i, int j) { return (i == 1 && j == 1) ? 1.0f : 0.0f; });
  contour(bl, 3, 3, 0.5f);
  frame_content f = read_frame();
  ASSERT_EQ(f.lines.size(), 1u);
  expect_line(f.lines[0], {{1, 1.5}, {1.5, 1}});
}

TEST_F(ContourTest, EmptyUndefinedAndConstantGridsDrawNothing) {
  auto low = make_grid(6, 5, [](int i, int j) { return static_cast<float>(i + j); });
  contour(low, 6, 5, 100.0f);
  auto undef = make_grid(6, 5, [](int, int) { return kUndef; });
  contour(undef, 6, 5, 0.0f);
  auto flat = make_grid(6, 5, [](int, int) { return 3.0f; });
  contour(flat, 6, 5, 3.0f);
  contour(flat, 6, 5, 2.0f);
  EXPECT_TRUE(read_frame().lines.empty());
}

TEST_F(ContourTest, SubRangeLimitsTheTrace) {
  auto g = make_grid(5, 5, [](int i, int) { return static_cast<float>(i); });
  gxclev(g.data(), 5, 5, 1, 5, 2, 4, 2.5f, "", 0, 1, kUndef);
  frame_content f = read_frame();
  ASSERT_EQ(f.lines.size(), 1u);
  expect_line(f.lines[0], {{2.5, 4}, {2.5, 3}, {2.5, 2}});
}

void quarter(float x, float y, float* xo, float* yo) {
  *xo = 0.25f * x;
  *yo = 0.25f * y;
}

TEST_F(ContourTest, LineLongerThanTheBufferComesInOpenPiecesThatMeet) {
  // A comb: the top row and every fourth column are 1. The boundary of the
  // ones is a single open line far longer than the tracer's buffer holds.
  const int n = 41, m = 12;
  auto g = make_grid(n, m, [&](int i, int j) { return (j == m || (i % 4 == 3 && j >= 2)) ? 1.f : 0.f; });
  gxgrid(quarter);
  contour(g, n, m, 0.5f);
  frame_content f = read_frame();
  ASSERT_GE(f.lines.size(), 2u);

  // Every crossed edge of the grid appears among the drawn points.
  std::set<std::pair<int, int>> want, got;
  auto key = [](double x, double y) {
    return std::make_pair(static_cast<int>(std::lround(x * 1000)), static_cast<int>(std::lround(y * 1000)));
  };
  auto at = [&](int i, int j) { return g[(j - 1) * n + (i - 1)]; };
  for (int j = 1; j <= m; ++j)
    for (int i = 1; i <= n; ++i) {
      if (i < n && (at(i, j) > 0.5f) != (at(i + 1, j) > 0.5f)) want.insert(key(0.25 * (i + 0.5), 0.25 * j));
      if (j < m && (at(i, j) > 0.5f) != (at(i, j + 1) > 0.5f)) want.insert(key(0.25 * i, 0.25 * (j + 0.5)));
    }
  std::size_t drawn = 0;
  for (const auto& l : f.lines)
    for (const xy& p : l) {
      got.insert(key(p.x, p.y));
      ++drawn;
    }
  EXPECT_EQ(got, want);
  EXPECT_GT(want.size(), 200u);

  // No piece is closed, and each piece's ends meet another piece or lie on
  // the grid's border.
  for (std::size_t k = 0; k < f.lines.size(); ++k) {
    const auto& l = f.lines[k];
    ASSERT_GE(l.size(), 2u);
    EXPECT_NE(key(l.front().x, l.front().y), key(l.back().x, l.back().y)) << "piece " << k;
    for (const xy& e : {l.front(), l.back()}) {
      bool border = std::fabs(e.x - 0.25) < 1e-3 || std::fabs(e.x - 0.25 * n) < 1e-3;
      bool meets = false;
      for (std::size_t o = 0; o < f.lines.size(); ++o) {
        if (o == k) continue;
        const auto& m2 = f.lines[o];
        if (key(m2.front().x, m2.front().y) == key(e.x, e.y) || key(m2.back().x, m2.back().y) == key(e.x, e.y))
          meets = true;
      }
      EXPECT_TRUE(border || meets) << "loose end of piece " << k << " at " << e.x << " " << e.y;
    }
  }
}

TEST_F(ContourTest, BuffersGrowOnlyAndAreReleased) {
  auto big = make_grid(20, 20, [](int i, int j) { return static_cast<float>(i * j); });
  auto small = make_grid(5, 5, [](int i, int j) { return static_cast<float>(i * j); });
  contour(big, 20, 20, 50.0f);
  EXPECT_EQ(gxcn::lwksiz, 2 * 22 * 22);
  EXPECT_EQ(gxcn::fwksiz, 22 * 22);
  contour(small, 5, 5, 6.0f);
  EXPECT_EQ(gxcn::lwksiz, 2 * 22 * 22);
  EXPECT_FALSE(read_frame().lines.empty());
  gxcrel();
  EXPECT_EQ(gxcn::lwksiz, 0);
  EXPECT_EQ(gxcn::fwksiz, 0);
  contour(small, 5, 5, 6.0f);
  EXPECT_EQ(gxcn::lwksiz, 2 * 7 * 7);
}

}  // namespace
