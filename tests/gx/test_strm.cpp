// Streamlines of small uniform fields on a page where grid point (i, j)
// lies at page (i, j): lines, heads pointing downstream, colours by a
// third grid, and the fields that must draw nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "gx/gx.h"
#include "gx/strm.h"
#include "test_drawing_util.h"

namespace {

using gxtest::rec;

const float kUndef = -9.99e8f;

std::vector<rec> trace(const std::vector<float>& u, const std::vector<float>& v,
                       const std::vector<float>* c = nullptr) {
  gxtest::fresh_page();
  gxrset(coord_level::grid);
  gxscal(0, 11, 0, 8.5f, 0, 11, 0, 8.5f);
  const float levels[2] = {0, 2};
  const int colours[2] = {3, 5};
  gxstrm(u.data(), v.data(), c ? c->data() : nullptr, 5, 5, kUndef, kUndef, kUndef, c ? 1 : 0,
         levels, colours, 2, 5);
  return gxtest::records("cmd");
}

// The heads: draws that leave the line's row, as offsets from the point
// the pen last moved to.
std::vector<std::pair<float, float>> wings(const std::vector<rec>& r) {
  std::vector<std::pair<float, float>> w;
  float mx = 0, my = 0;
  for (const rec& x : r) {
    if (x.kind == 'm') mx = x.x, my = x.y;
    if (x.kind == 'd' && std::fabs(x.y - my) > 0.01f) w.emplace_back(x.x - mx, x.y - my);
  }
  return w;
}

TEST(Streamlines, UniformFlowDrawsRowsWithHeadsDownstream) {
  for (float dir : {1.0f, -1.0f}) {
    std::vector<float> u(25, dir), v(25, 0);
    auto r = trace(u, v);
    ASSERT_GT(gxtest::count_kind(r, 'd'), 20);
    auto w = wings(r);
    ASSERT_GE(w.size(), 2u) << dir;
    // 0.05 inch wings at 150 degrees either side of the travel.
    for (auto [dx, dy] : w) {
      EXPECT_NEAR(dx, -dir * 0.05f * std::cos(0.5236f), 2e-3) << dir;
      EXPECT_NEAR(std::fabs(dy), 0.025f, 2e-3) << dir;
    }
    // Lines stay inside the grid's page square 1..5 (give or take the
    // step of 0.05 that finds the edge).
    for (const rec& x : r) {
      if (x.kind != 'd') continue;
      EXPECT_GE(x.x, 1 - 0.051f);
      EXPECT_LE(x.x, 5 + 0.051f);
    }
  }
}

TEST(Streamlines, NothingFromCalmOrUndefinedFields) {
  auto calm = trace(std::vector<float>(25, 0), std::vector<float>(25, 0));
  EXPECT_EQ(gxtest::count_kind(calm, 'd'), 0);
  auto none = trace(std::vector<float>(25, kUndef), std::vector<float>(25, kUndef));
  EXPECT_EQ(gxtest::count_kind(none, 'd'), 0);
}

TEST(Streamlines, PiecesColouredByTheThirdGrid) {
  // c is the 0-based column: below 2 it is colour 3, from 2 on colour 5.
  std::vector<float> c;
  for (int j = 0; j < 5; j++)
    for (int i = 0; i < 5; i++) c.push_back(float(i));
  auto r = trace(std::vector<float>(25, 1), std::vector<float>(25, 0), &c);
  int colour = -1, left = 0, right = 0;
  for (const rec& x : r) {
    if (x.kind == 'c') colour = x.i;
    if (x.kind != 'd') continue;
    // Page x is column + 1; the colour is set from where the step began.
    if (x.x < 2.9f) {
      EXPECT_EQ(colour, 3) << x.x;
      left++;
    } else if (x.x > 3.2f) {
      EXPECT_EQ(colour, 5) << x.x;
      right++;
    }
  }
  EXPECT_GT(left, 0);
  EXPECT_GT(right, 0);
}

TEST(Streamlines, ShadeColourOfAValue) {
  const float levels[3] = {-1e9f, 10, 20};
  const int colours[3] = {4, 6, 8};
  EXPECT_EQ(gxshdc(levels, colours, 0, 5), 1);
  EXPECT_EQ(gxshdc(levels, colours, 1, 50), 4);
  EXPECT_EQ(gxshdc(levels, colours, 3, -1e12f), 4);  // levels[0] never compared
  EXPECT_EQ(gxshdc(levels, colours, 3, 10), 6);      // a level belongs above
  EXPECT_EQ(gxshdc(levels, colours, 3, 20), 8);
}

}  // namespace
