// Contour labels (where they go, how they are drawn) and smooth curves.
#include <gtest/gtest.h>

#include "gx/test_contour_util.h"

using namespace cntest;

namespace {

constexpr double kCx = 5.1, kCy = 4.9;

// A cone whose level 1 is nearly a circle of radius 3 about (kCx, kCy).
const std::vector<float> kCone =
    make_grid(9, 9, [](int i, int j) { return float(4 - std::hypot(i - kCx, j - kCy)); });

void cone(const char* label, bool smooth, contour_labels labels) {
  gxclev(kCone.data(), 9, 9, 1, 9, 1, 9, 1.0f, label, smooth, labels, kUndef);
}

class LabelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fresh_page();
    gxclab(0.1f, false, -1);
    gxclmn(2.0f);
  }
  void TearDown() override {
    gxgrid(nullptr);
    SetUp();
  }
};

TEST_F(LabelTest, LabelsGoToTurningPointsOverAnErasedBox) {
  gxcolr(3);
  cone("10", false, contour_labels::on);
  int n = gxclcnt();
  ASSERT_GE(n, 1);
  std::vector<xy> line = read_frame().lines.at(0);
  const float cs = 0.2f;
  gxclab(cs, true, -1);
  EXPECT_EQ(gxclcnt(), 0);
  EXPECT_EQ(gxqclr(), 3);
  frame_content f = read_frame();
  ASSERT_EQ(static_cast<int>(f.rects.size()), n);
  float width = 0;
  gxchln("10", 2, cs, &width);
  for (const auto& r : f.rects) {
    EXPECT_NEAR(r.xhi - r.xlo, width + 0.1 * cs, 0.0015);
    EXPECT_NEAR(r.yhi - r.ylo, 0.02 + 1.44 * cs, 0.0015);
    xy at{r.xlo + cs, r.ylo + 0.02 + cs / 2};
    int found = 0;
    for (std::size_t k = 0; k + 1 < line.size(); ++k)
      if (same(line[k], at)) {
        const xy& q = line[k == 0 ? line.size() - 2 : k - 1];
        EXPECT_LT((at.y - q.y) * (line[k + 1].y - at.y), 0.0)
            << "no turn at " << at.x << " " << at.y;
        ++found;
      }
    EXPECT_EQ(found, 1) << "label at " << at.x << " " << at.y << " is no vertex of the line";
  }
  // Each box is erased in the background colour, then the text follows in
  // the line's colour.
  for (std::size_t k = 1; k < f.lines.size(); ++k) EXPECT_EQ(f.line_colours[k], 3);
}

TEST_F(LabelTest, TextSpacingAndLabelTypeDecideWhetherLabelsAreRecorded) {
  gxclmn(100.0f);
  cone("1", false, contour_labels::on);
  EXPECT_EQ(gxclcnt(), 0);
  gxclmn(0.1f);  // too small: spacing stays 100
  cone("1", false, contour_labels::on);
  EXPECT_EQ(gxclcnt(), 0);
  gxclmn(2.7f);  // spacing 2
  cone("1", false, contour_labels::on);
  EXPECT_GE(gxclcnt(), 1);
  gxclab(0.1f, false, -1);
  cone("3", true, contour_labels::off);  // smooth line, labels off
  EXPECT_EQ(gxclcnt(), 0);
  cone("3", true, contour_labels::on);
  EXPECT_GE(gxclcnt(), 1);
}

void quarter(float x, float y, float* xo, float* yo) {
  *xo = 0.25f * x;
  *yo = 0.25f * y;
}

TEST_F(LabelTest, ListHoldsTwoHundredAndDiscardingDrawsNothing) {
  // 256 small peaks, each closed line labelled once at its top.
  auto g = make_grid(33, 33, [](int i, int j) { return (i % 2 == 0 && j % 2 == 0) ? 1.f : 0.f; });
  gxgrid(quarter);
  gxclev(g.data(), 33, 33, 1, 33, 1, 33, 0.5f, "1", false, contour_labels::forced, kUndef);
  EXPECT_EQ(gxclcnt(), 200);
  EXPECT_EQ(read_frame().lines.size(), 256u);
  gxclab(0.1f, false, -1);
  EXPECT_EQ(gxclcnt(), 0);
  EXPECT_EQ(read_frame().lines.size(), 256u);
}

TEST_F(LabelTest, TextIsCutToElevenCharactersAndKeptOffTheBackground) {
  const char* text = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123";
  gxcolr(0);  // the background colour
  cone(text, false, contour_labels::on);
  ASSERT_GE(gxclcnt(), 1);
  std::size_t before = read_frame().lines.size();
  gxclab(0.2f, true, -1);
  frame_content f = read_frame();
  float w11 = 0;
  gxchln(text, 11, 0.2f, &w11);
  ASSERT_FALSE(f.rects.empty());
  EXPECT_NEAR(f.rects[0].xhi - f.rects[0].xlo, w11 + 0.02, 0.0015);
  ASSERT_GT(f.lines.size(), before);
  for (std::size_t k = before; k < f.lines.size(); ++k) EXPECT_EQ(f.line_colours[k], 1);

  fresh_page();
  cone("7", false, contour_labels::on);
  gxclab(0.2f, true, 5);
  f = read_frame();
  EXPECT_EQ(f.line_colours.back(), 5);
}

TEST_F(LabelTest, SmoothClosedCurvePassesThroughTheTracedPoints) {
  cone("", false, contour_labels::on);
  std::vector<xy> poly = read_frame().lines.at(0);
  fresh_page();
  cone("", true, contour_labels::on);
  frame_content f = read_frame();
  ASSERT_EQ(f.lines.size(), 1u);
  const auto& s = f.lines[0];
  EXPECT_TRUE(same(s.front(), s.back()));
  for (const xy& p : poly) {
    bool hit = false;
    for (const xy& q : s) hit = hit || same(p, q);
    EXPECT_TRUE(hit) << "traced point " << p.x << " " << p.y << " not on the curve";
  }
  for (std::size_t k = 0; k < s.size(); ++k) {
    EXPECT_NEAR(std::hypot(s[k].x - kCx, s[k].y - kCy), 3.0, 0.08);
    if (k) {
      EXPECT_LT(std::hypot(s[k].x - s[k - 1].x, s[k].y - s[k - 1].y), 0.15);
    }
  }
}

void tiny(float x, float y, float* xo, float* yo) {
  *xo = 0.001f * x + 1;
  *yo = 0.001f * y + 1;
}

// Grid to world so far apart that one spline piece is ~1e31 inches long.
void far_apart(float x, float y, float* xo, float* yo) {
  *xo = x * 1e30f;
  *yo = y * 1e30f;
}

TEST_F(LabelTest, SmoothLineOfExtremeLengthIsDrawnAndEnds) {
  // Stepping such a piece by a tenth of an inch never ended.
  gxgrid(far_apart);
  cone("", true, contour_labels::off);
  EXPECT_EQ(gxclcnt(), 0);
  read_frame();
}

TEST_F(LabelTest, LineWithinAHundredthOfAnInchIsNotSmoothed) {
  gxgrid(tiny);
  cone("", true, contour_labels::on);
  EXPECT_TRUE(read_frame().lines.empty());
  cone("", false, contour_labels::on);
  EXPECT_EQ(read_frame().lines.size(), 1u);
}

TEST_F(LabelTest, ForcedLabelLiesAlongASmoothLineWithoutTurningPoints) {
  // Level 4.2 of i + 0.3 j: the straight line x = 4.2 - 0.3 y.
  auto g = make_grid(8, 6, [](int i, int j) { return float(i + 0.3 * j); });
  gxclev(g.data(), 8, 6, 1, 8, 1, 6, 4.2f, "42", false, contour_labels::forced, kUndef);
  EXPECT_EQ(gxclcnt(), 0);  // never on a polyline
  gxclev(g.data(), 8, 6, 1, 8, 1, 6, 4.2f, "42", true, contour_labels::forced, kUndef);
  ASSERT_EQ(gxclcnt(), 1);
  gxclab(0.2f, true, -1);
  frame_content f = read_frame();
  EXPECT_TRUE(f.rects.empty());
  ASSERT_EQ(f.polys.size(), 1u);
  const auto& p = f.polys[0].pts;
  ASSERT_EQ(p.size(), 5u);
  EXPECT_TRUE(same(p[0], p[4]));
  xy c{(p[0].x + p[2].x) / 2, (p[0].y + p[2].y) / 2};
  EXPECT_NEAR(c.x, 4.2 - 0.3 * c.y, 0.01);
  // The long side (2 x 1.1 x half the text width) runs along (-0.3, 1).
  double dx = p[3].x - p[0].x, dy = p[3].y - p[0].y;
  EXPECT_NEAR((dx + 0.3 * dy) / std::hypot(dx, dy), 0.0, 0.01);
  EXPECT_NEAR(std::hypot(dx, dy), 2 * 1.1 * 0.2, 0.003);
}

}  // namespace
