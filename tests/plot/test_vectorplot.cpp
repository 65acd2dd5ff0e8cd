// Vector, barb, streamline, scatter and grid-value plots of small grids:
// the arrow scale and its reference arrow, arrow and barb geometry,
// colours from a third grid, printed scatter ranges, value labels, and the
// refusals that must neither crash nor overflow the result slots.
#include <cmath>
#include <cstring>
#include <tuple>

#include "plot/plot.h"
#include "plot/plot2d.h"
#include "plot/plotvec.h"
#include "plot_fixture.h"

namespace {

using plottest::kUndef;
using plottest::Plot;
using plottest::recorder;

// 3 x 3 grids over 0..20 degrees.
std::vector<float> filled(float v) { return std::vector<float>(9, v); }

TEST(VectorPlot, ScaleFromDefinedExtremesAndReferenceArrow) {
  Plot p;
  // u 0..17 and v -3..8 (undefined points left out): hypot 18.79 -> 10.
  p.add(3, 3, 0, 0, 10, {0, 17, 1, kUndef, 5, 1, 1, 1, 1});
  p.add(3, 3, 0, 0, 10, {-3, 8, 0, kUndef, 0, 0, 0, 0, 0});
  p.draw(output_field::field_vector, output_vector);
  EXPECT_EQ(p.s->arrscl_magnitude, 10.0f);
  EXPECT_EQ(p.s->arrscl_size, 0.5f);
  recorder r = p.frame();
  // Point (2, 2): u 5, v 0 -> an arrow of 0.25 inch pointing east.
  auto [x, y] = p.at(2, 2);
  EXPECT_NEAR(r.after('m', x, y).x, x + 0.25f, 1e-3);
  EXPECT_NEAR(r.after('m', x, y).y, y, 1e-3);
  // Head 0.05 at 150 degrees back from the tip.
  EXPECT_NEAR(r.after('m', x, y, 2).x, x + 0.25f - 0.0433f, 1e-3);
  EXPECT_NEAR(r.after('m', x, y, 2).y, y + 0.025f, 1e-3);
  // The reference arrow: 0.5 inch from (right - 2, bottom - 0.5).
  const float rx = p.s->plot_x_high - 2.0f, ry = p.s->plot_y_low - 0.5f;
  EXPECT_NEAR(r.after('m', rx, ry).x, rx + 0.5f, 1e-3);
}

TEST(VectorPlot, FixedLengthHeadFractionAndKeptScale) {
  Plot p;
  p.add(3, 3, 0, 0, 10, filled(4));
  p.add(3, 3, 0, 0, 10, filled(3));
  // A size without a magnitude: every arrow the set length, no reference.
  p.s->arrscl_set = 1;
  p.s->arrscl_size = 0.3f;
  p.s->arrscl_magnitude = -999;
  p.s->arrowhead = -0.2f;
  p.draw(output_field::field_vector, output_vector);
  recorder r = p.frame();
  auto [x, y] = p.at(2, 2);
  // A 3-4-5 triangle: the tip 0.3 inch away, 0.24 east and 0.18 north.
  const float tx = x + 0.24f, ty = y + 0.18f;
  EXPECT_NEAR(r.after('m', x, y).x, tx, 1e-3);
  EXPECT_NEAR(r.after('m', x, y).y, ty, 1e-3);
  // A head of a fifth of 0.3 inch.
  const plottest::stroke head = r.after('m', x, y, 2);
  EXPECT_NEAR(std::hypot(head.x - tx, head.y - ty), 0.06f, 1e-3);
  EXPECT_LT(r.find('m', p.s->plot_x_high - 2.0f, p.s->plot_y_low - 0.5f), 0);
  EXPECT_EQ(p.s->arrscl_magnitude, -999.0f);
}

TEST(VectorPlot, ColouredByThirdGridAndUndefinedColourIs15) {
  Plot p;
  p.add(3, 3, 0, 0, 10, filled(5));
  p.add(3, 3, 0, 0, 10, filled(0));
  p.add(3, 3, 0, 0, 10, {0, 0, 0, 20, 10, 10, kUndef, 20, 20});
  p.draw(output_field::field_vector, output_vector);
  ASSERT_GT(p.s->shade_count, 1);
  recorder r = p.frame();
  for (auto [i, j, c] :
       {std::tuple{1, 1, kashdc(p.s.get(), 0)}, {1, 3, 15}, {1, 2, kashdc(p.s.get(), 20)}}) {
    // The arrow, not the frame corner there: a move followed by a draw
    // 0.5 inch to the east.
    auto [x, y] = p.at(float(i), float(j));
    bool found = false;
    for (int k = r.find('m', x, y); k >= 0 && !found; k = r.find('m', x, y, 0.003f, size_t(k + 1)))
      found = r.s[size_t(k + 1)].kind == 'd' &&
              std::fabs(r.s[size_t(k + 1)].x - x - 0.5f) < 1e-3f && r.s[size_t(k)].colour == c;
    EXPECT_TRUE(found) << i << j;
  }
}

TEST(VectorPlot, BarbFeathersAndHemisphere) {
  // Wind of 65 towards the east: the shaft points west; one pennant, one
  // full and one half feather; spacing 0.3 of the barb length.
  for (int south : {0, 1}) {
    Plot p;
    kabarb(5, 4, 1.0f, 0.5f, 0.1f, 0, 65, south);
    recorder r = p.frame();
    const float s = 0.15f, len = 1.0f + 1.6f * s + s + s;
    ASSERT_GE(r.find('m', 5 - 0.1f, 4), 0);
    EXPECT_GE(r.find('d', 5 - len, 4), 0);
    EXPECT_EQ(r.count('d'), 1 + 2 + 1 + 1);
    // Feathers lean to the left of the shaft's direction in the north.
    int above = 0;
    for (const auto& x : r.s)
      if (x.kind == 'd' && x.y > 4.01f) above++;
    EXPECT_EQ(above, south ? 0 : 3) << south;
  }
}

TEST(VectorPlot, HugeWindsEndWithBoundedBarbs) {
  for (float speed : {1e6f, 1e30f, INFINITY}) {
    Plot p;
    kabarb(5, 4, 0.25f, 0.14f, 0.02f, 1, speed, 0);
    recorder r = p.frame();
    EXPECT_LE(r.count('d'), 1 + 2 * 20) << speed;
    EXPECT_GT(r.count('d'), 1) << speed;
  }
}

TEST(VectorPlot, RefusalsAndResultSlots) {
  {
    Plot p;
    p.add(3, 3, 0, 0, 10, filled(1));
    EXPECT_EQ(p.draw(output_field::field_vector, output_vector),
              "Error plotting vector field:  Only one grid provided\n");
  }
  {
    Plot p;
    p.add(3, 3, 0, 0, 10, filled(kUndef));
    p.add(3, 3, 0, 0, 10, filled(1));
    EXPECT_EQ(p.draw(output_field::field_vector, output_barb),
              "Cannot draw vectors/barbs -- U field all undefined\n");
  }
  {
    // Reversed axes transpose every grid; with the slots nearly full the
    // copies are refused, never written past the end.
    Plot p;
    for (int k = 0; k < 3; k++) p.add(3, 3, 0, 0, 10, filled(1));
    p.s->xyrev = 1;
    for (int k = 3; k < kMaxResults - 1; k++)
      hold_result(p.s.get(), station_ptr(plottest::empty_stations()));
    std::string out = p.draw(output_field::field_vector, output_vector);
    EXPECT_NE(out.find("more than 16 results"), std::string::npos) << out;
    EXPECT_EQ(held_count(p.s.get()), kMaxResults);
  }
}

TEST(ScatterPlot, RangesPrintedAndKept) {
  Plot p;
  p.add(3, 3, 0, 0, 10, filled(3));
  p.add(3, 3, 0, 0, 10, {0, 1, 2, 3, 4, 5, 6, 7, kUndef});
  // A constant field gets value - 5 .. value + 5; a fixed y range is used
  // as it stands.
  p.s->vrange2_set = -1;
  p.s->vrange2[0] = -10;
  p.s->vrange2[1] = 10;
  p.s->cmark = 3;
  EXPECT_EQ(p.draw(output_field::field_vector, output_scatter), "-2 8 -10 10 \n");
  EXPECT_EQ(p.s->vrange_set, 1);
  EXPECT_EQ(p.s->vrange[0], -2.0f);
  EXPECT_EQ(p.s->vrange2[1], 10.0f);
  // Marks at (3, v) for the eight defined pairs: x 5/10 of the way across.
  recorder r = p.frame();
  const float x = 2.0f + (11 - 1.5f - 2.0f) * 0.5f;
  const float y = 1.0f + (8.5f - 1.0f - 1.0f) * (7 + 10) / 20;
  bool found = false;
  for (const auto& s : r.s)
    if (s.kind == 'p' && std::fabs(s.xy[0] - x) < 0.05f && std::fabs(s.xy[1] - y) < 0.05f)
      found = true;
  EXPECT_TRUE(found);
  EXPECT_EQ(p.s->last_plot_code, plot_code::vector);
  // A constant x far from zero, whose units print alike, spans five tenths
  // of its decade either side.
  Plot far;
  far.add(3, 3, 0, 0, 10, filled(1e8f));
  far.add(3, 3, 0, 0, 10, filled(2));
  EXPECT_EQ(far.draw(output_field::field_vector, output_scatter), "5e+07 1.5e+08 -3 7 \n");
}

// Whether the strokes of text t, drawn alone centred at (x, y), appear in
// r in colour c.
bool has_label(const recorder& r, const char* t, float x, float y, int c) {
  float len = 0;
  gxchln(t, int(std::strlen(t)), 0.07f, &len);
  Plot alone;
  gxchpl(t, int(std::strlen(t)), x - len / 2, y - 0.035f, 0.07f, 0.07f, 0);
  const recorder want = alone.frame();
  for (size_t k = 0; k + want.s.size() <= r.s.size(); k++) {
    bool all = true;
    for (size_t m = 0; m < want.s.size() && all; m++)
      all = std::fabs(r.s[k + m].x - want.s[m].x) < 2e-3f &&
            std::fabs(r.s[k + m].y - want.s[m].y) < 2e-3f && r.s[k + m].colour == c;
    if (all) return true;
  }
  return false;
}

TEST(GridValues, LabelsCentredMaskedAndLines) {
  Plot p;
  p.s->dignum = 1;
  p.s->gridln = 4;
  std::vector<float> v(16, 5), mask(16, 1);
  v[5] = 1.26f;
  v[6] = -0.04f;
  v[9] = kUndef;
  mask[6] = 0;
  p.add(4, 4, 0, 0, 10, v);
  p.add(4, 4, 0, 0, 10, mask);
  p.draw(output_field::field_vector, output_vector_grid);
  auto [x1, y1] = p.at(2, 2);
  auto [x2, y2] = p.at(3, 2);
  auto [xe, ye] = p.at(1.5f, 1.5f);
  recorder r = p.frame();
  // Grid lines in colour 4 along the cell edges.
  EXPECT_GE(r.find('d', xe, ye), 0);
  EXPECT_GT(r.count('d', 4), 0);
  EXPECT_TRUE(has_label(r, "1.3", x1, y1, 1));
  EXPECT_TRUE(has_label(r, "-0.0", x2, y2, 15));  // masked: dimmed, not left out
}

}  // namespace
