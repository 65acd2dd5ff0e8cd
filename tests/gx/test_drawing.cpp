// Drawing layer: attributes, clipping, dash walk, fills, markers and the
// coordinate chain, checked through the records the display list receives.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "gx/test_drawing_util.h"

using gxtest::frame_words;
using gxtest::fresh_page;
using W = std::vector<int>;

namespace {

// Drawn pieces along y = const, in thousandths of an inch, rebuilt from the
// move and draw records; touching pieces are joined.
std::vector<std::pair<int, int>> drawn_runs(const W& w) {
  std::vector<std::pair<int, int>> runs;
  int px = 0;
  for (std::size_t i = 0; i < w.size();) {
    if (w[i] == MF_MOVE) {
      px = w[i + 1];
      i += 3;
    } else if (w[i] == MF_DRAW) {
      int x = w[i + 1];
      if (!runs.empty() && std::abs(runs.back().second - px) <= 1)
        runs.back().second = x;
      else
        runs.push_back({px, x});
      px = x;
      i += 3;
    } else {
      ADD_FAILURE() << "unexpected record " << w[i];
      return runs;
    }
  }
  return runs;
}

int th(double inches) { return static_cast<int>(inches * 1000 + 0.5); }

}  // namespace

TEST(DrawingAttributes, ColourClampWidthHalvingPattern) {
  fresh_page();
  gxcolr(150);
  gxcolr(-4);
  gxcolr(7);
  gxwide(6);  // full page: no halving
  gxptrn(fill_pattern::line, 2, 45);
  EXPECT_EQ(frame_words(), (W{-3, 99, -3, 0, -3, 7, -4, 6, 6, -12, 3, 2, 45}));

  // A virtual page under 0.6 of the real width halves the hardcopy width.
  gxvpag(11, 8.5, 0, 6, 0, 8.5);
  gxfrme(frame_action::clear);
  gxwide(6);
  gxwide(5);
  EXPECT_EQ(frame_words(), (W{-4, 3, 6, -4, 3, 5}));
  // Under 0.6 of the height only, too.
  gxvpag(11, 8.5, 0, 11, 0, 5);
  gxfrme(frame_action::clear);
  gxwide(4);
  EXPECT_EQ(frame_words(), (W{-4, 2, 4}));
}

TEST(DrawingClip, LinesEndExactlyOnTheEdge) {
  fresh_page();
  gxclip(1, 5, 1, 4);
  gxmove(2, 2);
  gxdraw(7, 3);  // leaves through x = 5 at y = 2.6
  gxdraw(4, 3);  // comes back in through (5, 3)
  gxdraw(3, 6);  // leaves through the top a third of the way along: x = 4 - 1/3
  gxmove(0, 2);
  gxdraw(6, 2);  // both ends outside: nothing even though it crosses
  gxmove(4, 3);
  gxdraw(6, 6);  // right edge crossing lies above the top: top edge instead
  EXPECT_EQ(frame_words(), (W{-10,  2000,
                              2000, -11,
                              5000, 2600,
                              -10,  5000,
                              3000, -11,
                              4000, 3000,
                              -11,  th(4 - 1.0 / 3),
                              4000, -10,
                              4000, 3000,
                              -11,  th(4 + 2.0 / 3),
                              4000}));

  // Along the bottom edge and out through the side: the crossing is the corner.
  gxfrme(frame_action::clear);
  gxmove(2, 1);
  gxdraw(7, 1);
  EXPECT_EQ(frame_words(), (W{-10, 2000, 1000, -11, 5000, 1000}));

  // Bounds are limited to the virtual page.
  gxclip(-3, 20, -1, 30);
  gxfrme(frame_action::clear);
  gxmove(0, 0);
  gxdraw(11, 8.5);
  gxdraw(11.01f, 8.5);
  EXPECT_EQ(frame_words(), (W{-10, 0, 0, -11, 11000, 8500, -11, 11000, 8500}));
}

TEST(DrawingClip, InfiniteEndsClipAndNaNPointsLiftThePen) {
  fresh_page();
  gxclip(1, 5, 1, 4);
  const float inf = INFINITY, nan = NAN;
  gxmove(2, 2);
  gxdraw(inf, inf);  // along the diagonal: leaves through the top at (4, 4)
  gxdraw(nan, 3);    // no point: nothing drawn, the pen is up
  gxdraw(3, 3);      // starts afresh here
  gxdraw(3.5f, 3.5f);
  float poly[] = {2, 2, nan, nan, 4, 2, 4, 3};  // the NaN vertex is left out
  gxfill(poly, 4);
  float two[] = {2, 2, nan, 0, 4, 2};  // too few vertices left: no fill
  gxfill(two, 3);
  EXPECT_EQ(frame_words(),
            (W{-10, 2000, 2000, -11,  4000, 4000, -10,  3000, 3000, -11,  3500, 3500,
               -7,  3,    -10,  2000, 2000, -11,  4000, 2000, -11,  4000, 3000, -8}));
}

TEST(DrawingClip, RectanglesOrderedCutAndEdgeTouchDropped) {
  fresh_page();
  gxclip(1, 5, 1, 4);
  gxrecf(5, 6, 2, 3);  // touches the right edge only
  gxrecf(0, 1, 2, 3);
  gxrecf(2, 3, 4, 6);
  gxrecf(6, 0, 2, 0.5f);  // reversed and larger than the clip
  EXPECT_EQ(frame_words(), (W{-6, 1000, 5000, 1000, 2000}));
}

TEST(DrawingDash, RhythmContinuesAcrossSegmentsAndRestartsAtMove) {
  fresh_page();
  gxstyl(2);  // 0.25 on, 0.1 off
  gxplot(1, 1, pen_code::move);
  for (int i = 1; i <= 10; i++) gxplot(1 + 0.1f * i, 1, pen_code::draw);
  gxplot(3, 1, pen_code::move);  // a move restarts with a full first dash
  gxplot(4, 1, pen_code::draw);
  // Dashes of 0.25 with gaps of 0.1, whatever the segment ends; the first
  // line ends inside the gap after 1.95.
  const std::pair<int, int> want[] = {{1000, 1250}, {1350, 1600}, {1700, 1950},
                                      {3000, 3250}, {3350, 3600}, {3700, 3950}};
  auto got = drawn_runs(frame_words());
  ASSERT_EQ(got.size(), 6u);
  for (int k = 0; k < 6; k++) {
    EXPECT_NEAR(got[k].first, want[k].first, 1) << k;
    EXPECT_NEAR(got[k].second, want[k].second, 1) << k;
  }

  // A segment ending exactly where a dash ends moves the walk on at once:
  // the next segment starts with the gap, not with an empty dash.
  gxfrme(frame_action::clear);
  gxplot(1, 1, pen_code::move);
  gxplot(1.25f, 1, pen_code::draw);
  gxplot(1.5f, 1, pen_code::draw);
  EXPECT_EQ(frame_words(), (W{-10, 1000, 1000, -11, 1250, 1000, -10, 1350, 1000, -11, 1500, 1000}));

  // Style 1 (and -9) is solid: one draw per call.
  gxstyl(-9);
  EXPECT_EQ(gxqstl(), 0);
  gxfrme(frame_action::clear);
  gxplot(1, 1, pen_code::move);
  gxplot(3, 1, pen_code::draw);
  EXPECT_EQ(frame_words(), (W{-10, 1000, 1000, -11, 3000, 1000}));
}

TEST(DrawingDash, TinySegmentLeavesWalkAndStartUnchanged) {
  fresh_page();
  gxstyl(2);
  gxplot(1, 1, pen_code::move);
  gxplot(1, 1.0008f, pen_code::draw);  // under 0.001 inch: ignored entirely
  EXPECT_EQ(frame_words(), (W{-10, 1000, 1000}));
  gxplot(1.2f, 1, pen_code::draw);
  gxplot(1.3f, 1, pen_code::draw);
  // The first dash still ends 0.25 from the start.
  EXPECT_EQ(frame_words(), (W{-10, 1000, 1000, -11, 1200, 1000, -11, 1250, 1000, -10, 1300, 1000}));

  // A segment to a point millions of inches away ends clipped on the edge
  // (not a dash walk that never finishes).
  gxfrme(frame_action::clear);
  gxstyl(5);
  gxplot(1, 1, pen_code::move);
  gxplot(1e7f, 1, pen_code::draw);
  EXPECT_EQ(frame_words(), (W{-10, 1000, 1000, -11, 11000, 1000}));
}

TEST(DrawingFill, ClampedPolygonWithExactCrossings) {
  fresh_page();
  gxclip(1, 5, 1, 4);
  float quad[] = {2, 2, 6, 2, 6, 3, 2, 3};
  gxfill(quad, 4);
  EXPECT_EQ(frame_words(), (W{-7,  6,    -10,  2000, 2000, -11,  5000, 2000, -11,  5000, 2000,
                              -11, 5000, 3000, -11,  5000, 3000, -11,  2000, 3000, -8}));

  gxfrme(frame_action::clear);
  float corner[] = {2, 2, 6, 6, 2, 3};  // the outside point lands in the corner
  gxfill(corner, 3);
  // Leaving: x = 5 gives y = 5 (above), so the top edge y = 4 at x = 4.
  // Entering from (6, 6) to (2, 3): x = 5 gives y = 5.25 (above); y = 4 gives x = 10/3.
  EXPECT_EQ(frame_words(), (W{-7, 5, -10, 2000, 2000, -11, 4000, 4000, -11, 5000, 4000, -11,
                              th(10.0 / 3), 4000, -11, 2000, 3000, -8}));

  gxfrme(frame_action::clear);
  gxfill(quad, 2);
  EXPECT_TRUE(frame_words().empty());
}

TEST(DrawingFill, PolygonsBeyondSixteenBitCountsReplayWhole) {
  fresh_page();
  const int n = 40000;
  std::vector<float> xy(2 * n);
  for (int i = 0; i < n; i++) {
    xy[2 * i] = 1 + 8.0f * i / n;
    xy[2 * i + 1] = (i % 2) ? 2.0f : 3.0f;
  }
  gxfill(xy.data(), n);
  W w = frame_words();
  ASSERT_EQ(w.size(), 2u + 3u * n + 1u);
  EXPECT_EQ(w[0], -7);
  EXPECT_EQ(w[1], static_cast<int16_t>(n & 0xffff));  // only the low 16 bits fit

  auto polys = gxtest::records();  // the walker still hands on every point
  ASSERT_EQ(polys.size(), 1u);
  EXPECT_EQ(polys[0].i, n);
  EXPECT_NEAR(polys[0].x, 1 + 8.0 * (n - 1) / n, 0.0011);
}

TEST(DrawingMarks, TriangleAndCircleRings) {
  // Small circle: 12 points every 30 degrees from 60, closed; no mark 99.
  fresh_page();
  gxmark(2, 5, 5, 0.08f);
  gxmark(99, 3, 3, 0.5f);
  W w = frame_words();
  ASSERT_EQ(w.size(), 13u * 3u);
  const double pi = 3.14159;
  for (int k = 0; k < 12; k++) {
    double a = (60 + 30 * k) * pi / 180;
    EXPECT_EQ(w[3 * k + 1], th(5 + 0.04 * std::cos(a))) << k;
    EXPECT_EQ(w[3 * k + 2], th(5 + 0.04 * std::sin(a))) << k;
  }
  EXPECT_EQ(w[36 + 1], w[1]);

  gxfrme(frame_action::clear);
  gxmark(8, 4, 4, 1);  // triangle (4, 4.5), (4.44, 3.7), (3.56, 3.7)
  EXPECT_EQ(frame_words(), (W{-10, 4000, 4500, -11, 4440, 3700, -11, 3560, 3700, -11, 4000, 4500}));

  // A large filled circle: 36 + 1 points at 10 degrees.
  gxfrme(frame_action::clear);
  gxmark(3, 5, 5, 0.5f);
  EXPECT_EQ(frame_words()[1], 37);

  // A banded circle: outline arcs and two fills, starting at 68 degrees.
  gxfrme(frame_action::clear);
  gxmark(11, 5, 5, 0.5f);
  w = frame_words();
  EXPECT_EQ(gxtest::count_kind(gxtest::records(), 'p'), 2);
  EXPECT_EQ(w[1], th(5 + 0.25 * std::cos(68 * pi / 180)));
  EXPECT_EQ(w[2], th(5 + 0.25 * std::sin(68 * pi / 180)));
}

TEST(DrawingFrames, BackgroundFillAndColourDefinitionsAtNewFrames) {
  fresh_page();
  gxacol(20, 10, 20, 30);
  gxacol(5, 1, 2, 3);  // fixed colours are recorded once only
  gxcolr(4);
  gxbckg(2);
  gxfrme(frame_action::clear);
  EXPECT_EQ(frame_words(), (W{-5, 20, 10, 20, 30, -3, 2, -6, 0, 11000, 0, 8500}));
  EXPECT_EQ(gxqclr(), 4);

  // The fill covers the whole real page even on a smaller virtual page.
  gxvpag(5, 5, 1, 6, 1, 6);
  gxfrme(frame_action::clear);
  W w = frame_words();
  EXPECT_EQ(W(w.end() - 5, w.end()), (W{-6, 0, 11000, 0, 8500}));
}

TEST(DrawingChain, LevelsScalingVirtualPageAndInverse) {
  fresh_page();
  gxscal(1, 10, 1, 7.5f, 0, 360, -90, 90);
  float x, y;
  gxconv(180, 0, &x, &y, coord_level::world);
  EXPECT_FLOAT_EQ(x, 5.5f);
  EXPECT_FLOAT_EQ(y, 4.25f);

  gxgrid([](float a, float b, float* ao, float* bo) { *ao = 2 * a, *bo = b + 1; });
  gxproj([](float a, float b, float* ao, float* bo) { *ao = a + 90, *bo = b - 1; });
  gxback([](float a, float b, float* ao, float* bo) { *ao = a - 90, *bo = b + 1; });
  gxconv(45, 0, &x, &y, coord_level::grid);  // grid (90, 1), projection (180, 0), page (5.5, 4.25)
  EXPECT_FLOAT_EQ(x, 5.5f);
  EXPECT_FLOAT_EQ(y, 4.25f);
  gxconv(180, 0, &x, &y, coord_level::projection_plane);
  EXPECT_FLOAT_EQ(x, 5.5f);
  float pts[] = {45, 0, 0, -1};
  gxcord(pts, 2, coord_level::grid);
  EXPECT_FLOAT_EQ(pts[0], 5.5f);
  EXPECT_FLOAT_EQ(pts[2], 1 + 9 * 90.0f / 360);
  EXPECT_FLOAT_EQ(pts[3], 1 + 6.5f * 89.0f / 180);
  gxxy2w(5.5f, 4.25f, &x, &y);  // (180, 0) on the plane, then the inverse
  EXPECT_FLOAT_EQ(x, 90);
  EXPECT_FLOAT_EQ(y, 1);

  gxrset(coord_level::world);  // keeps the grid transform only
  gxconv(45, 0, &x, &y, coord_level::grid);
  EXPECT_FLOAT_EQ(x, 1 + 9 * 90.0f / 360);

  gxscal(2, 2, 1, 5, 0, 1, 0, 1);
  gxxy2w(3, 3, &x, &y);
  EXPECT_FLOAT_EQ(x, -999.9f);
  EXPECT_FLOAT_EQ(y, -999.9f);
  // A reversed world interval gives a reversed axis.
  gxscal(1, 10, 1, 7, 10, 0, 0, 1);
  gxconv(10, 0, &x, &y, coord_level::projection_plane);
  EXPECT_FLOAT_EQ(x, 1);

  // Virtual page: mapped box, bounds cut to the real page, inverse mapping.
  gxvpag(8.5f, 11, 1, 6.5f, 0.5f, 8);
  gxmove(8.5f, 11);
  gxmove(8.6f, 5);  // outside the new clip (the whole virtual page)
  EXPECT_EQ(frame_words(), (W{-10, 6500, 8000}));
  gxppvp(6.5f, 8, &x, &y);
  EXPECT_FLOAT_EQ(x, 8.5f);
  EXPECT_FLOAT_EQ(y, 11);
}

TEST(DrawingText, CentredTitleStartsHalfItsWidthBack) {
  fresh_page();
  gxchpl("ab", 2, 4.8f, 3, 0.2f, 0.2f, 0);
  W direct = frame_words();
  ASSERT_FALSE(direct.empty());
  gxfrme(frame_action::clear);
  gxtitl("ab  ", 5, 3, 0.2f, 0.2f, 0);  // trailing blanks do not count
  EXPECT_EQ(frame_words(), direct);
}
