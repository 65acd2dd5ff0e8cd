// The station model: numbers, visibility and marks placed round the
// station, slots matched by place and id, and the barb steered past the
// element boxes.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gx/gx.h"
#include "plot/station.h"
#include "plot/stnfixture.h"

namespace {

using drawn::near;
using drawn::only;
using stntest::kUndef;
using stntest::Session;

// The pen strokes of a text drawn alone at (x, y), height and width h.
std::vector<drawn::op> text_strokes(const char* t, float x, float y, float h) {
  drawn::new_page();
  gxchpl(t, int(std::string(t).size()), x, y, h, h, 0);
  return only(drawn::frame(), "md");
}

// Whether the strokes of needle occur in hay, in order and together.
bool contains(const std::vector<drawn::op>& hay, const std::vector<drawn::op>& needle) {
  if (needle.empty() || hay.size() < needle.size()) return false;
  for (size_t i = 0; i + needle.size() <= hay.size(); i++) {
    size_t j = 0;
    while (j < needle.size() && near(hay[i + j], needle[j].kind, needle[j].x, needle[j].y)) j++;
    if (j == needle.size()) return true;
  }
  return false;
}

// A model at lon 40, lat 30 (page 5, 4) with one value per slot (kUndef:
// left out).
std::vector<drawn::op> model(Session& s, std::vector<float> slots) {
  s->digsiz = 0.1f;
  s->ccolor = 2;
  for (float v : slots) s.add({{"STN", 40, 30, v}});
  s.run(kapmdl);
  return only(drawn::frame(), "md");
}

TEST(StationModel, NumbersAndVisibilityRoundACalmStation) {
  // Calm: ring r = 0.8 x 0.1. Visibility 0.75 is 3/4 ending at
  // x - 1.6 r = 4.872; the upper-left number sits 0.04 above it, the gap
  // falling back to 0.3 size; dig3 keeps "013" of 1013.
  Session s;
  s->mdlopts_dig3 = 1;
  std::vector<drawn::op> pen = model(s, {0, 0, 25, kUndef, 1013.2f, 5, kUndef, kUndef, 0.75f});
  EXPECT_EQ(s->last_plot_code, 11);
  EXPECT_TRUE(contains(pen, text_strokes("4", 4.807f, 3.95f, 0.065f)));
  EXPECT_TRUE(contains(pen, {{'m', 4.767f, 3.95f}, {'d', 4.817f, 4.05f}}));  // the slash
  EXPECT_TRUE(contains(pen, text_strokes("3", 4.7165f, 3.985f, 0.065f)));
  EXPECT_TRUE(contains(pen, text_strokes("25", 4.77f, 4.09f, 0.1f)));
  EXPECT_TRUE(contains(pen, text_strokes("013", 5.0696f, 4.04f, 0.1f)));
  EXPECT_TRUE(contains(pen, text_strokes("5", 5.08f, 3.9f, 0.1f)));  // below the 013
  // The calm circle of the barb: size max(1.4 x 0.1, 0.1 + 0.075).
  int calm = 0;
  for (const drawn::op& o : pen) calm += std::fabs(std::hypot(o.x - 5, o.y - 4) - 0.0875f) < 0.002f;
  EXPECT_GT(calm, 8);

  // Whole numbers and mixed fractions of the visibility.
  struct {
    float vis;
    const char* whole;
    float whole_x;
  } cases[] = {{2, "2", 4.772f}, {0, "0", 4.772f}, {1.5f, "1", 4.7165f - 0.1f}};
  for (const auto& c : cases) {
    Session t;
    pen = model(t, {0, 0, kUndef, kUndef, kUndef, kUndef, kUndef, kUndef, c.vis});
    EXPECT_TRUE(contains(pen, text_strokes(c.whole, c.whole_x, 3.95f, 0.1f))) << c.vis;
    EXPECT_EQ(contains(pen, {{'m', 4.767f, 3.95f}, {'d', 4.817f, 4.05f}}), c.vis == 1.5f) << c.vis;
  }
  Session t;
  t->mdlopts_dig3 = 1;
  pen = model(t, {0, 0, kUndef, kUndef, 998, kUndef, kUndef, kUndef, 1e30f});
  EXPECT_TRUE(contains(pen, text_strokes("998", 5.0696f, 4.04f, 0.1f)));
}

TEST(StationModel, MarkCodes) {
  // Code 24: circle and X of half-diagonal 1.4 x 0.1 / 2.8284.
  Session s;
  std::vector<drawn::op> pen = model(s, {0, 0, kUndef, kUndef, kUndef, kUndef, 24.2f});
  const float d = 0.14f / 2.8284f;
  EXPECT_TRUE(contains(pen, {{'m', 5 - d, 4 + d}, {'d', 5 + d, 4 - d}, {'m', 5 + d, 4 + d},
                             {'d', 5 - d, 4 - d}}));
  // With colour 0 code 23 draws nothing and 21 a filled circle.
  for (float code : {23.0f, 21.0f}) {
    Session t;
    t->digsiz = 0.1f;
    t->ccolor = 0;
    for (float v : {0.0f, 0.0f, kUndef, kUndef, kUndef, kUndef, code}) t.add({{"S", 40, 30, v}});
    t.run(kapmdl);
    EXPECT_EQ(only(drawn::frame(), "p").size(), code == 21 ? 1u : 0u) << code;
  }
  // A code far out of range is an ordinary station circle.
  Session u;
  pen = model(u, {3, 4, kUndef, kUndef, kUndef, kUndef, 1e20f});
  int ring = 0;
  for (const drawn::op& o : pen) ring += std::fabs(std::hypot(o.x - 5, o.y - 4) - 0.05f) < 0.002f;
  EXPECT_GT(ring, 8);
}

TEST(StationModel, SlotsMatchPlaceAndIdAndOnlyTenAreRead) {
  Session s;
  s->digsiz = 0.1f;
  s->ccolor = 2;
  s.add({{"A", 40, 30, 0}, {"B", 60, 30, 0}});
  s.add({{"A", 40, 30, 0}, {"B", 60, 30, 0}});
  // B's value sits at A's place: B gets nothing; A the first of its two.
  s.add({{"B", 40, 30, 11}, {"A", 40, 30, 22}, {"A", 40, 30, 33}});
  for (int k = 3; k < 10; k++) s.add_value(kUndef);
  // An eleventh result is not read, even a grid that varies.
  auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
  g->values = static_cast<float*>(std::calloc(2, sizeof(float)));
  g->idim = 0;
  g->isiz = 2;
  g->jsiz = 1;
  g->jdim = -1;
  s.push(g, 1);
  EXPECT_EQ(s.run(kapmdl), "");
  std::vector<drawn::op> pen = only(drawn::frame(), "md");
  // Calm: gap 0.3 size as the ring is 0.08 and the number 0.03 up.
  const float gap = std::sqrt(0.08f * 0.08f - 0.03f * 0.03f);
  EXPECT_TRUE(contains(pen, text_strokes("22", 5 - gap - 0.2f, 4.03f, 0.1f)));
  EXPECT_FALSE(contains(pen, text_strokes("33", 5 - gap - 0.2f, 4.03f, 0.1f)));
  EXPECT_FALSE(contains(pen, text_strokes("11", 7 - gap - 0.2f, 4.03f, 0.1f)));

  Session bad;
  bad.add({{"A", 40, 30, 0}});
  bad.add({{"A", 40, 30, 0}});
  auto* h = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
  h->values = static_cast<float*>(std::calloc(2, sizeof(float)));
  h->idim = 1;
  h->jdim = -1;
  bad.push(h, 1);
  EXPECT_EQ(bad.run(kapmdl), "Invalid data:  Station data required\n");
}

TEST(StationModel, BarbLeavesTheElementBoxes) {
  // Upper-left box hit on its top: dx -1, dy 0.5 from (5, 4), r 0.08.
  float l[6], r[6], b[6], t[6];
  for (int k = 0; k < 6; k++) l[k] = r[k] = b[k] = t[k] = -999.9f;
  l[1] = 3, r[1] = 4.9f, b[1] = 4.1f, t[1] = 4.2f;
  EXPECT_NEAR(wndexit(1, -0.5f, 5, 4, 0.08f, l, r, b, t), std::hypot(0.44f, 0.22f), 1e-4);
  EXPECT_FLOAT_EQ(t[1], 4.22f);  // widened in place
  // Missing the top, hit on the left edge.
  l[1] = 4.7f, r[1] = 4.9f, b[1] = 4.0f, t[1] = 4.3f;
  EXPECT_NEAR(wndexit(1, -0.1f, 5, 4, 0.08f, l, r, b, t), std::hypot(0.31f, 0.031f), 1e-4);
  // Lower-right box, on its right edge.
  for (int k = 0; k < 6; k++) l[k] = -999.9f;
  l[4] = 5.08f, r[4] = 5.3f, b[4] = 3.8f, t[4] = 3.9f;
  EXPECT_NEAR(wndexit(-1, 0.5f, 5, 4, 0.08f, l, r, b, t), std::hypot(0.31f, 0.155f), 1e-4);
  EXPECT_FLOAT_EQ(wndexit(0, 0, 5, 4, 0.08f, l, r, b, t), -999.9f);
  EXPECT_FLOAT_EQ(wndexit(1, 0.5f, 5, 4, 0.08f, l, r, b, t), -999.9f);  // nothing that way

  // In the model: a west-north-west wind of (10, -4) with an upper-left
  // number starts its shaft where it leaves that number's box, on the
  // box's widened left edge at (4.734212, 4.106315), and runs 0.425 upwind.
  Session s;
  std::vector<drawn::op> pen = model(s, {10, -4, 25});
  EXPECT_TRUE(contains(pen, {{'m', 4.734212f, 4.106315f}, {'d', 4.605397f, 4.157841f}}));
}

}  // namespace
