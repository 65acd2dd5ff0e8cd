// Station plots on a map: placement, values and ids, barbs and arrows from
// paired reports, marks, weather symbols and the nearest-station query.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gx/gx.h"
#include "plot/station.h"
#include "plot/stnfixture.h"

namespace {

using drawn::in_colour;
using drawn::near;
using drawn::only;
using stntest::px;
using stntest::py;
using stntest::Session;

// Index of the first op of kind at (x, y), or -1.
int find(const std::vector<drawn::op>& ops, char kind, float x, float y) {
  for (size_t k = 0; k < ops.size(); k++)
    if (near(ops[k], kind, x, y)) return int(k);
  return -1;
}

TEST(StationPlot, PlacementIsStrictAndWrapsLongitudeOnce) {
  // Weather symbol 16 (two circles, size 1.5 x 0.1) shows where a report
  // was placed.
  Session s;
  s->digsiz = 0.1f;
  s->ccolor = 3;
  s.add({{"in", 45, 35, 16},
          {"edge", 0, 35, 16},      // on the west edge
          {"top", 45, 70, 16},      // on the north edge
          {"undef", 30, 20, stntest::kUndef},
          {"wrap", 405, 20, 16},    // 405 - 360 = 45
          {"big", 60, 20, 1e20f},   // no code
          {"high", 50, 20, 41.9f}}); // 42 after rounding: not drawn
  s.run(kawsym);
  std::vector<drawn::op> pen = only(in_colour(drawn::frame(), 3), "m");
  ASSERT_EQ(pen.size(), 4u);  // two stations, two circles each
  // Circles of radius 0.1 at -0.15 and 0.15: the first starts 0.0375 left.
  EXPECT_TRUE(near(pen[0], 'm', px(45) - 0.0375f, py(35)));
  EXPECT_TRUE(near(pen[2], 'm', px(45) - 0.0375f, py(20)));
  EXPECT_EQ(s->last_plot_code, 12);

  // A map from -90 to 0: 280 is moved down once to -80.
  Session w;
  w->digsiz = 0.1f;
  w->ccolor = 3;
  w->dim_min[0] = -90;
  w->dim_max[0] = 0;
  w.add({{"w", 280, 35, 16}, {"e", -100, 35, 16}});
  w.run(kawsym);
  pen = only(in_colour(drawn::frame(), 3), "m");
  ASSERT_EQ(pen.size(), 2u);
  EXPECT_TRUE(near(pen[0], 'm', 2 - 0.0375f, py(35)));
}

TEST(StationPlot, ValuesAboveTheMarkWithTheSecondResultBelow) {
  Session s;
  s->digsiz = 0.1f;
  s->dignum = 1;
  s->ccolor = 2;
  s.add({{"a", 40, 30, 12.34f}});
  s.add({{"a", 40, 30, 7}});
  s.run(kapstn);
  std::vector<drawn::op> ops = drawn::frame();
  float w1 = 0, w2 = 0;
  gxchln("12.3", 4, 0.1f, &w1);
  gxchln("7.0", 3, 0.1f, &w2);
  const float x = px(40), y = py(30);
  // Background boxes under each text (colour of the background, 0).
  std::vector<drawn::op> boxes = only(ops, "r");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(near(boxes[0], 'r', x - w1 / 2 - 0.01f, y + 0.07f - 0.01f));
  EXPECT_TRUE(near(boxes[1], 'r', x - w2 / 2 - 0.01f, y - 0.17f - 0.01f));
  EXPECT_EQ(boxes[0].colour, 0);
  // The station cross (mark 1 of size 0.05) in the plot colour, twice.
  std::vector<drawn::op> pen = in_colour(ops, 2);
  EXPECT_GE(find(pen, 'm', x, y - 0.025f), 0);
  EXPECT_GE(find(pen, 'd', x + 0.025f, y), 0);
  // The text lies within its box.
  for (const drawn::op& o : pen) {
    EXPECT_GE(o.x, x - w1 / 2 - 0.02f);
    EXPECT_LE(o.x, x + w1 / 2 + 0.02f);
  }
  EXPECT_EQ(s->last_plot_code, 10);

  // One result, no id: the value centred half a size below the station,
  // and no box with colour 0.
  Session t;
  t->digsiz = 0.1f;
  t.add({{"b", 40, 30, 5}});
  t.run(kapstn);
  ops = drawn::frame();
  EXPECT_TRUE(only(ops, "r").empty());
  float w = 0;
  gxchln("5", 1, 0.1f, &w);
  float lo = 99;
  for (const drawn::op& o : in_colour(ops, 0)) lo = std::fmin(lo, o.y);
  EXPECT_NEAR(lo, y - 0.05f, 0.015f);

  // Station ids below the station (first word of the id).
  Session u;
  u->digsiz = 0.1f;
  u->ccolor = 4;
  u->stid = 1;
  u.add({{"KX 9", 40, 30, 5}});
  u.run(kapstn);
  gxchln("KX", 2, 0.1f, &w);
  boxes = only(drawn::frame(), "r");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_TRUE(near(boxes[1], 'r', x - w / 2 - 0.01f, y - 0.17f - 0.01f));
}

TEST(StationPlot, BarbsAndArrowsFromPairedReports) {
  Session s;
  s->digsiz = 0.1f;
  s->ccolor = 5;
  s->gxout_station = output_station_barb;
  // A west wind of 10 at A; B has no defined partner.
  s.add({{"A", 40, 30, 10}, {"B", 60, 30, 10}});
  s.add({{"A", 40, 30, stntest::kUndef}, {"B", 60, 30, stntest::kUndef}, {"A", 40, 30, 0}});
  s.run(kapstn);
  std::vector<drawn::op> pen = only(in_colour(drawn::frame(), 5), "md");
  const float x = px(40), y = py(30);
  // Shaft upwind (west) from 0.025 to 0.35 + 0.06 (one feather adds a
  // spacing of 0.3 x 0.2), the feather 0.2 long at 110 degrees.
  const int k = find(pen, 'm', x - 0.025f, y);
  ASSERT_GE(k, 0);
  EXPECT_TRUE(near(pen[size_t(k) + 1], 'd', x - 0.41f, y));
  EXPECT_TRUE(near(pen[size_t(k) + 3], 'd', x - 0.41f - 0.0684f, y + 0.1879f));
  for (const drawn::op& o : pen) EXPECT_LT(o.x, px(50)) << "nothing at B";

  Session v;
  v->digsiz = 0.1f;
  v->ccolor = 5;
  v->arrowhead = 0;
  v->gxout_station = output_station_vector;
  v.add({{"A", 40, 30, 30}, {"C", 20, 20, 3}});
  v.add({{"C", 20, 20, 4}, {"A", 40, 30, 40}});
  v.run(kapstn);
  // Largest |u| 30 and |v| 40 give 50 as the scale for the 0.5 inch arrow.
  EXPECT_EQ(v->arrscl_set, 1);
  EXPECT_FLOAT_EQ(v->arrscl_magnitude, 50);
  pen = only(in_colour(drawn::frame(), 5), "md");
  const int a = find(pen, 'm', x, y);
  ASSERT_GE(a, 0);
  EXPECT_TRUE(near(pen[size_t(a) + 1], 'd', x + 0.3f, y + 0.4f));
  const int c = find(pen, 'm', px(20), py(20));
  ASSERT_GE(c, 0);
  EXPECT_TRUE(near(pen[size_t(c) + 1], 'd', px(20) + 0.03f, py(20) + 0.04f));

  // A grid as second result is refused rather than read as stations.
  Session g;
  g->gxout_station = output_station_barb;
  g.add({{"A", 40, 30, 30}});
  g.add_value(3);
  EXPECT_EQ(g.run(kapstn), "Invalid data:  Station data required\n");
}

TEST(StationPlot, MarksColouredByValueOrConstant) {
  Session s;
  s->digsiz = 0.2f;
  s->cmark = 3;
  s->ccolor = -1;
  s.add({{"a", 20, 20, 4}, {"b", 40, 20, 4}});
  s.run(kasmrk);
  EXPECT_EQ(s->ccolor, 1);  // a constant field takes colour 1
  std::vector<drawn::op> fill = only(drawn::frame(), "p");
  ASSERT_EQ(fill.size(), 2u);
  EXPECT_EQ(fill[0].colour, 1);
  EXPECT_EQ(s->last_plot_code, 12);

  Session t;
  t->digsiz = 0.2f;
  t->cmark = 3;
  t->ccolor = -1;
  t.add({{"a", 20, 20, 0}, {"b", 40, 20, 100}, {"c", 60, 20, 100}});
  t.run(kasmrk);
  fill = only(drawn::frame(), "p");
  ASSERT_EQ(fill.size(), 3u);
  EXPECT_NE(fill[0].colour, fill[1].colour);
  EXPECT_EQ(fill[1].colour, fill[2].colour);
  // The filled circle of size 0.1 around the station.
  EXPECT_NEAR(std::hypot(fill[1].x - px(40), fill[1].y - py(20)), 0.05f, 0.002f);
}

TEST(StationPlot, WeatherSymbolsOrMarksBySetting) {
  Session s;
  s->digsiz = 0.2f;
  s->ccolor = -1;
  s->wxcols[0] = 6;
  s.add({{"a", 20, 20, 2.05f}});
  s.run(kawsym);
  // Symbol 2 (class 0) of size 0.3: its first move at (-0.25, -0.3) x 0.3.
  std::vector<drawn::op> pen = only(in_colour(drawn::frame(), 6), "md");
  ASSERT_EQ(pen.size(), 8u);
  EXPECT_TRUE(near(pen[0], 'm', px(20) - 0.075f, py(20) - 0.09f));

  Session m;
  m->digsiz = 0.2f;
  m->ccolor = 7;
  m->wxopt = 2;
  m.add({{"a", 20, 20, 3}});
  m.run(kawsym);
  std::vector<drawn::op> fill = only(drawn::frame(), "p");  // mark 3, filled
  ASSERT_EQ(fill.size(), 1u);
  EXPECT_NEAR(std::hypot(fill[0].x - px(20), fill[0].y - py(20)), 0.15f, 0.002f);
}

TEST(StationPlot, NearestStation) {
  Session s;
  // Two stations one inch either side of the point: the first is named.
  s.add({{"FIRST789", 30, 30, 1}, {"SECOND", 50, 30, 2}, {"FAR", 80, 60, 3}});
  s.add_value(px(40));
  s.add_value(py(30));
  EXPECT_EQ(s.run(kafstn), "FIRST78 30 30 1\n");
  EXPECT_EQ(s->last_plot_code, 21);

  Session e;
  e.add(std::vector<stntest::report>{});
  e.add_value(1);
  e.add_value(1);
  EXPECT_EQ(e.run(kafstn), "No stations found\n");

  Session bad;
  bad.add({{"A", 30, 30, 1}});
  bad.add_value(1);
  EXPECT_EQ(bad.run(kafstn), "Error: Invalid data types for findstn\n");
}

}  // namespace
