// Contour smoothing and labels: where labels go, how they are drawn, and
// the smooth curves through the traced points.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "gx/contour.h"
#include "gx/test_contour_util.h"

using cntest::frame_content;
using cntest::read_frame;
using cntest::xy;

namespace {

constexpr float kUndef = -9.99e8f;
constexpr double kCx = 5.1, kCy = 4.9;  // centre of the cone

std::vector<float> make_grid(int isiz, int jsiz, const std::function<float(int, int)>& f) {
  std::vector<float> g(static_cast<std::size_t>(isiz) * jsiz);
  for (int j = 1; j <= jsiz; ++j)
    for (int i = 1; i <= isiz; ++i) g[(j - 1) * isiz + (i - 1)] = f(i, j);
  return g;
}

// A cone whose level 1 is nearly a circle of radius 3 about (5.1, 4.9).
std::vector<float> cone() {
  return make_grid(9, 9, [](int i, int j) {
    return static_cast<float>(4 - std::hypot(i - kCx, j - kCy));
  });
}

void contour(const std::vector<float>& g, int isiz, int jsiz, float level, const char* label,
             int spline, int labtp) {
  gxclev(g.data(), isiz, jsiz, 1, isiz, 1, jsiz, level, label, spline, labtp, kUndef);
}

class LabelTest : public ::testing::Test {
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

bool same(const xy& a, const xy& b) {
  return std::fabs(a.x - b.x) < 0.0015 && std::fabs(a.y - b.y) < 0.0015;
}

TEST_F(LabelTest, LabelsGoToTurningPointsAndAreDrawnOverAnErasedBox) {
  gxcolr(3);
  auto g = cone();
  contour(g, 9, 9, 1.0f, "10", 0, 1);
  int n = gxclcnt();
  ASSERT_GE(n, 1);
  frame_content before = read_frame();
  ASSERT_EQ(before.lines.size(), 1u);
  std::vector<xy> line = before.lines[0];
  ASSERT_TRUE(same(line.front(), line.back()));  // closed

  const float cs = 0.2f;
  gxclab(cs, 1, -1);
  EXPECT_EQ(gxclcnt(), 0);
  EXPECT_EQ(gxqclr(), 3);
  frame_content f = read_frame();
  ASSERT_EQ(static_cast<int>(f.rects.size()), n);
  float width = 0;
  gxchln("10", 2, cs, &width);
  for (const auto& r : f.rects) {
    EXPECT_EQ(r.colour, 0);  // the background
    EXPECT_NEAR(r.xhi - r.xlo, width + 0.1 * cs, 0.0015);
    EXPECT_NEAR(r.yhi - r.ylo, 0.02 + 1.44 * cs, 0.0015);
    xy at{r.xlo + 2 * cs / 2, r.ylo + 0.02 + cs / 2};
    // The place is a vertex of the line where y turns.
    bool found = false;
    for (std::size_t k = 0; k + 1 < line.size(); ++k) {
      if (!same(line[k], at)) continue;
      const xy& q = line[k == 0 ? line.size() - 2 : k - 1];
      const xy& nx = line[k + 1];
      EXPECT_LT((at.y - q.y) * (nx.y - at.y), 0.0) << "label at " << at.x << " " << at.y;
      found = true;
    }
    EXPECT_TRUE(found) << "label at " << at.x << " " << at.y << " is no vertex of the line";
  }
  // The text follows in the line's colour.
  ASSERT_GT(f.lines.size(), 1u);
  for (std::size_t k = 1; k < f.lines.size(); ++k) EXPECT_EQ(f.line_colours[k], 3);
}

TEST_F(LabelTest, EmptyTextAndWideSpacingGiveNoLabels) {
  auto g = cone();
  contour(g, 9, 9, 1.0f, "", 0, 1);
  EXPECT_EQ(gxclcnt(), 0);

  gxclmn(100.0f);
  contour(g, 9, 9, 1.0f, "1", 0, 1);
  EXPECT_EQ(gxclcnt(), 0);
  gxclmn(0.1f);  // too small: spacing stays 100
  contour(g, 9, 9, 1.0f, "1", 0, 1);
  EXPECT_EQ(gxclcnt(), 0);
  gxclmn(2.7f);  // spacing 2
  contour(g, 9, 9, 1.0f, "1", 0, 1);
  EXPECT_GE(gxclcnt(), 1);
}

void quarter(float x, float y, float* xo, float* yo) {
  *xo = 0.25f * x;
  *yo = 0.25f * y;
}

TEST_F(LabelTest, ListHoldsTwoHundredLabelsAndDiscardingDrawsNothing) {
  // 256 small peaks, each closed line labelled once at its top.
  auto g = make_grid(33, 33, [](int i, int j) { return (i % 2 == 0 && j % 2 == 0) ? 1.0f : 0.0f; });
  gxgrid(quarter);
  contour(g, 33, 33, 0.5f, "1", 0, 2);
  EXPECT_EQ(gxclcnt(), 200);
  std::size_t lines = read_frame().lines.size();
  EXPECT_EQ(lines, 256u);
  gxclab(0.1f, 0, -1);
  EXPECT_EQ(gxclcnt(), 0);
  frame_content f = read_frame();
  EXPECT_EQ(f.lines.size(), lines);
  EXPECT_TRUE(f.rects.empty());
}

TEST_F(LabelTest, LabelTextIsCutToElevenCharacters) {
  auto g = cone();
  const char* longtext = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
  contour(g, 9, 9, 1.0f, longtext, 0, 1);
  ASSERT_GE(gxclcnt(), 1);
  const float cs = 0.2f;
  gxclab(cs, 1, -1);
  frame_content f = read_frame();
  ASSERT_FALSE(f.rects.empty());
  float w11 = 0, w12 = 0;
  gxchln(longtext, 11, cs, &w11);
  gxchln(longtext, 12, cs, &w12);
  ASSERT_GT(w12 - w11, 0.01f);
  EXPECT_NEAR(f.rects[0].xhi - f.rects[0].xlo, w11 + 0.1 * cs, 0.0015);
}

TEST_F(LabelTest, LabelInTheBackgroundColourIsDrawnInOne) {
  auto g = cone();
  gxcolr(0);
  contour(g, 9, 9, 1.0f, "7", 0, 1);
  ASSERT_GE(gxclcnt(), 1);
  std::size_t before = read_frame().lines.size();
  gxclab(0.2f, 1, -1);
  frame_content f = read_frame();
  ASSERT_GT(f.lines.size(), before);
  for (std::size_t k = before; k < f.lines.size(); ++k) EXPECT_EQ(f.line_colours[k], 1);

  cntest::fresh_page();
  contour(g, 9, 9, 1.0f, "7", 0, 1);
  before = read_frame().lines.size();
  gxclab(0.2f, 1, 5);
  f = read_frame();
  ASSERT_GT(f.lines.size(), before);
  for (std::size_t k = before; k < f.lines.size(); ++k) EXPECT_EQ(f.line_colours[k], 5);
}

TEST_F(LabelTest, SmoothClosedLinePassesThroughTheTracedPointsAndStaysNearTheCircle) {
  auto g = cone();
  contour(g, 9, 9, 1.0f, "", 0, 1);
  std::vector<xy> poly = read_frame().lines.at(0);
  cntest::fresh_page();
  contour(g, 9, 9, 1.0f, "", 1, 1);
  frame_content f = read_frame();
  ASSERT_EQ(f.lines.size(), 1u);
  const auto& s = f.lines[0];
  EXPECT_GT(s.size(), 3 * poly.size());
  EXPECT_TRUE(same(s.front(), s.back()));
  for (const xy& p : poly) {
    bool hit = false;
    for (const xy& q : s) hit = hit || same(p, q);
    EXPECT_TRUE(hit) << "traced point " << p.x << " " << p.y << " not on the curve";
  }
  double worst = 0;
  for (const xy& q : s) worst = std::max(worst, std::fabs(std::hypot(q.x - kCx, q.y - kCy) - 3));
  EXPECT_LT(worst, 0.08);
  // Steps of about a tenth of an inch, never a jump across a cell.
  for (std::size_t k = 1; k < s.size(); ++k)
    EXPECT_LT(std::hypot(s[k].x - s[k - 1].x, s[k].y - s[k - 1].y), 0.15);
}

void tiny(float x, float y, float* xo, float* yo) {
  *xo = 0.001f * x + 1;
  *yo = 0.001f * y + 1;
}

TEST_F(LabelTest, LineWithinAHundredthOfAnInchIsNotSmoothed) {
  auto g = cone();
  gxgrid(tiny);
  contour(g, 9, 9, 1.0f, "", 1, 1);
  EXPECT_TRUE(read_frame().lines.empty());
  contour(g, 9, 9, 1.0f, "", 0, 1);
  EXPECT_EQ(read_frame().lines.size(), 1u);
}

TEST_F(LabelTest, LabelTypeDecidesLabelsOnSmoothLinesOnly) {
  auto g = cone();
  contour(g, 9, 9, 1.0f, "3", 1, 0);
  EXPECT_EQ(gxclcnt(), 0);
  contour(g, 9, 9, 1.0f, "3", 0, 0);
  EXPECT_GE(gxclcnt(), 1);
  gxclab(0.1f, 0, -1);
  contour(g, 9, 9, 1.0f, "3", 1, 1);
  EXPECT_GE(gxclcnt(), 1);
}

TEST_F(LabelTest, ForcedLabelLiesAlongASmoothLineWithoutTurningPoints) {
  // Level 4.2 of i + 0.3 j: the straight line x = 4.2 - 0.3 y.
  auto g = make_grid(8, 6, [](int i, int j) { return static_cast<float>(i + 0.3 * j); });
  contour(g, 8, 6, 4.2f, "42", 0, 2);
  EXPECT_EQ(gxclcnt(), 0);  // never on a polyline
  contour(g, 8, 6, 4.2f, "42", 1, 2);
  ASSERT_EQ(gxclcnt(), 1);
  gxclab(0.2f, 1, -1);
  frame_content f = read_frame();
  EXPECT_TRUE(f.rects.empty());
  ASSERT_EQ(f.polys.size(), 1u);
  const auto& p = f.polys[0].pts;
  ASSERT_EQ(p.size(), 5u);
  EXPECT_TRUE(same(p[0], p[4]));
  xy c{(p[0].x + p[2].x) / 2, (p[0].y + p[2].y) / 2};
  EXPECT_NEAR(c.x, 4.2 - 0.3 * c.y, 0.01);
  // The long side runs along the line (direction (-0.3, 1)).
  double dx = p[3].x - p[0].x, dy = p[3].y - p[0].y;
  EXPECT_NEAR((dx * 1 - dy * -0.3) / std::hypot(dx, dy), 0.0, 0.01);
  EXPECT_NEAR(std::hypot(dx, dy), 2 * 1.1 * 2 * 0.2 / 2, 0.003);
}

}  // namespace
