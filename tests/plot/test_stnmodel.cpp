// The station model: numbers, visibility and marks placed round the
// station, slots matched by place and id, the barb steered past the boxes.
#include <gtest/gtest.h>

#include <string>

#include "gx/gx.h"
#include "plot/station.h"
#include "plot/stnfixture.h"

namespace {

using stntest::frame;
using stntest::kUndef;
using stntest::near;
using stntest::Session;

using ops = std::vector<stntest::op>;

// The strokes of a text drawn alone at (x, y), height and width h.
ops text_at(const std::string& t, float x, float y, float h) {
  stntest::new_page();
  gxchpl(t.c_str(), int(t.size()), x, y, h, h, 0);
  return frame("md");
}

// Whether the strokes of needle occur together in hay.
bool contains(const ops& hay, const ops& needle) {
  for (size_t i = 0; i + needle.size() <= hay.size(); i++) {
    size_t j = 0;
    while (j < needle.size() && near(hay[i + j], needle[j].kind, needle[j].x, needle[j].y)) j++;
    if (j == needle.size()) return true;
  }
  return false;
}

// A model at page (5, 4) with one value per slot (kUndef: left out).
ops model(Session& s, const std::vector<float>& slots) {
  s->ccolor = 2;
  for (float v : slots) s.add({{"STN", 40, 30, v}});
  s.run(kapmdl);
  return frame("md");
}

TEST(StationModel, NumbersAndVisibilityRoundACalmStation) {
  // Calm: ring r = 0.08. Visibility 0.75 is 3 over 4 ending at x - 1.6 r;
  // the upper-left number sits 0.04 above it with the gap 0.3 size; dig3
  // keeps "013" of 1013; the lower-right number 0.04 below that.
  Session s;
  s->mdlopts_dig3 = 1;
  ops pen = model(s, {0, 0, 25, kUndef, 1013.2f, 5, kUndef, kUndef, 0.75f});
  EXPECT_EQ(static_cast<int>(s->last_plot_code), 11);
  EXPECT_TRUE(contains(pen, text_at("4", 4.807f, 3.95f, 0.065f)));
  EXPECT_TRUE(contains(pen, {{'m', 4.767f, 3.95f}, {'d', 4.817f, 4.05f}}));  // the slash
  EXPECT_TRUE(contains(pen, text_at("25", 4.77f, 4.09f, 0.1f)));
  EXPECT_TRUE(contains(pen, text_at("013", 5.0696f, 4.04f, 0.1f)));
  EXPECT_TRUE(contains(pen, text_at("5", 5.08f, 3.9f, 0.1f)));

  // A dig3 value past the int range ends at the largest int (2147483647 +
  // 10000: "647").
  Session t;
  t->mdlopts_dig3 = 1;
  EXPECT_TRUE(
      contains(model(t, {0, 0, kUndef, kUndef, 1e20f}), text_at("647", 5.0696f, 4.04f, 0.1f)));
}

TEST(StationModel, MarkCodes) {
  // Code 24: circle and X of half-diagonal 1.4 x 0.1 / 2.8284 (ring r =
  // 0.112). A visibility past the int range ends at the largest int of
  // 32nds: 67108863 and 31/32, the whole number ending 0.179 + 0.13 + 0.156
  // left of the station.
  Session s;
  ops pen = model(s, {0, 0, kUndef, kUndef, kUndef, kUndef, 24.2f, kUndef, 1e30f});
  const float d = 0.14f / 2.8284f;
  EXPECT_TRUE(contains(pen, {{'m', 5 - d, 4 + d}, {'d', 5 + d, 4 - d}, {'m', 5 + d, 4 + d}}));
  EXPECT_TRUE(contains(pen, text_at("67108863", 3.7348f, 3.95f, 0.1f)));
  // With colour 0, code 23 draws nothing and 21 a filled circle.
  for (float code : {23.0f, 21.0f}) {
    Session t;
    for (float v : {0.0f, 0.0f, kUndef, kUndef, kUndef, kUndef, code}) t.add({{"S", 40, 30, v}});
    t.run(kapmdl);
    EXPECT_EQ(frame("p").size(), code == 21 ? 1u : 0u) << code;
  }
}

TEST(StationModel, SlotsMatchPlaceAndIdAndOnlyTenAreRead) {
  // B's value sits at A's place: B gets nothing, A the first of its two.
  Session s;
  s->ccolor = 2;
  s.add({{"A", 40, 30, 0}, {"B", 60, 30, 0}});
  s.add({{"A", 40, 30, 0}, {"B", 60, 30, 0}});
  s.add({{"B", 40, 30, 11}, {"A", 40, 30, 22}, {"A", 40, 30, 33}});
  for (int k = 3; k < 10; k++) s.add_grid(kUndef);
  s.add_grid(1, 0);  // an eleventh result is not read, even a varying grid
  EXPECT_EQ(s.run(kapmdl), "");
  ops pen = frame("md");
  const float gap = std::sqrt(0.08f * 0.08f - 0.03f * 0.03f);
  EXPECT_TRUE(contains(pen, text_at("22", 5 - gap - 0.2f, 4.03f, 0.1f)));
  EXPECT_FALSE(contains(pen, text_at("33", 5 - gap - 0.2f, 4.03f, 0.1f)));
  EXPECT_FALSE(contains(pen, text_at("11", 7 - gap - 0.2f, 4.03f, 0.1f)));
  Session bad;
  bad.add({{"A", 40, 30, 0}});
  bad.add_grid(1, 0);
  EXPECT_EQ(bad.run(kapmdl), "Invalid data:  Station data required\n");
}

TEST(StationModel, BarbLeavesTheElementBoxes) {
  float l[6], r[6], b[6], t[6];
  for (int k = 0; k < 6; k++) l[k] = r[k] = b[k] = t[k] = -999.9f;
  // Upper-left box hit on its top (raised by 0.25 r, in place) ...
  l[1] = 3, r[1] = 4.9f, b[1] = 4.1f, t[1] = 4.2f;
  EXPECT_NEAR(wndexit(1, -0.5f, 5, 4, 0.08f, l, r, b, t), std::hypot(0.44f, 0.22f), 1e-4);
  EXPECT_FLOAT_EQ(t[1], 4.22f);
  // ... or, missing the top, on its left edge moved out by 0.125 r.
  l[1] = 4.7f, r[1] = 4.9f, b[1] = 4.0f, t[1] = 4.3f;
  EXPECT_NEAR(wndexit(1, -0.1f, 5, 4, 0.08f, l, r, b, t), std::hypot(0.31f, 0.031f), 1e-4);
  // Lower-right box on its right edge; calm meets nothing.
  l[1] = -999.9f;
  l[4] = 5.08f, r[4] = 5.3f, b[4] = 3.8f, t[4] = 3.9f;
  EXPECT_NEAR(wndexit(-1, 0.5f, 5, 4, 0.08f, l, r, b, t), std::hypot(0.31f, 0.155f), 1e-4);
  EXPECT_FLOAT_EQ(wndexit(0, 0, 5, 4, 0.08f, l, r, b, t), -999.9f);

  // In the model a west-north-west wind (10, -4) past the upper-left
  // number starts its shaft on that box's widened left edge and runs 0.425.
  Session s;
  EXPECT_TRUE(
      contains(model(s, {10, -4, 25}), {{'m', 4.734212f, 4.106315f}, {'d', 4.605397f, 4.157841f}}));
}

}  // namespace
