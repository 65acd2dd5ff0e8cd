// Station plots on a map: placement, values and ids, barbs and arrows from
// paired reports, marks, weather symbols and the nearest-station query.
#include <gtest/gtest.h>

#include "gx/gx.h"
#include "plot/station.h"
#include "plot/stnfixture.h"

namespace {

using stntest::frame;
using stntest::has;
using stntest::kUndef;
using stntest::px;
using stntest::py;
using stntest::Session;

TEST(StationPlot, PlacementIsStrictAndWrapsLongitudeOnce) {
  // Symbol 16 (circles of radius 0.1 at -0.15 and 0.15, size 0.15) starts
  // 0.0375 left of its station.
  Session s;
  s->ccolor = 3;
  s.add({{"in", 45, 35, 16},
         {"edge", 0, 35, 16},
         {"top", 45, 70, 16},
         {"undef", 30, 20, kUndef},
         {"wrap", 405, 20, 16},
         {"big", 60, 20, 1e20f},
         {"high", 50, 20, 41.9f}});
  s.run(kawsym);
  std::vector<stntest::op> m = frame("m", 3);
  ASSERT_EQ(m.size(), 4u);  // two stations, two circles each
  EXPECT_TRUE(near(m[0], 'm', px(45) - 0.0375f, py(35)));
  EXPECT_TRUE(near(m[2], 'm', px(45) - 0.0375f, py(20)));
  EXPECT_EQ(static_cast<int>(s->last_plot_code), 12);

  // On a map from -90 to 0, 280 moves down once to -80 (x = 2); -100 does
  // not fit either way. Marks instead of symbols: a filled circle.
  Session w;
  w->ccolor = 3;
  w->wxopt = 2;
  w->dim_min[0] = -90;
  w->dim_max[0] = 0;
  w.add({{"w", 280, 35, 3}, {"e", -100, 35, 3}});
  w.run(kawsym);
  std::vector<stntest::op> fill = frame("p");
  ASSERT_EQ(fill.size(), 1u);
  EXPECT_NEAR(std::hypot(fill[0].x - 2, fill[0].y - py(35)), 0.075f, 0.002f);
}

TEST(StationPlot, ValuesAboveTheMarkWithTheSecondResultOrIdBelow) {
  // Text boxes (in the background colour) show where each text went.
  float w1 = 0, w2 = 0, w3 = 0;
  for (int stid : {0, 1}) {
    Session s;
    s->dignum = 1;
    s->ccolor = 2;
    s->stid = stid;
    s.add({{"KX 9", 40, 30, 12.34f}});
    if (!stid) s.add({{"KX", 40, 30, 7}});
    s.run(kapstn);
    gxchln("12.3", 4, 0.1f, &w1);
    gxchln("7.0", 3, 0.1f, &w2);
    gxchln("KX", 2, 0.1f, &w3);
    std::vector<stntest::op> boxes = frame("r");
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(near(boxes[0], 'r', 5 - w1 / 2 - 0.01f, 4.07f - 0.01f));
    EXPECT_TRUE(near(boxes[1], 'r', 5 - (stid ? w3 : w2) / 2 - 0.01f, 4 - 0.17f - 0.01f));
    EXPECT_TRUE(has(frame("md", 2), 'm', 5, 4 - 0.025f));  // the station cross
  }
}

TEST(StationPlot, BarbsAndArrowsFromPairedReports) {
  // A west wind of 10 at A (its first defined partner); B has none. The
  // shaft runs upwind from 0.025 to 0.35 + 0.06, the feather 0.2 long at
  // 110 degrees.
  Session s;
  s->ccolor = 5;
  s->gxout_station = output_station_barb;
  s.add({{"A", 40, 30, 10}, {"B", 60, 30, 10}});
  s.add({{"A", 40, 30, kUndef}, {"B", 60, 30, kUndef}, {"A", 40, 30, 0}});
  s.run(kapstn);
  std::vector<stntest::op> pen = frame("md", 5);
  EXPECT_TRUE(has(pen, 'm', 4.975f, 4));
  EXPECT_TRUE(has(pen, 'd', 4.59f, 4));
  EXPECT_TRUE(has(pen, 'd', 4.59f - 0.0684f, 4.1879f));
  for (const stntest::op& o : pen) EXPECT_LT(o.x, px(50)) << "nothing at B";

  // Arrows: largest |u| 30 and |v| 40 make 50 the scale of the 0.5 inch arrow.
  Session v;
  v->ccolor = 5;
  v->arrowhead = 0;
  v->gxout_station = output_station_vector;
  v.add({{"A", 40, 30, 30}, {"D", 70, 60, kUndef}});  // no speed of 999
  v.add({{"A", 40, 30, 40}, {"D", 70, 60, 5}});
  v.run(kapstn);
  EXPECT_FLOAT_EQ(v->arrscl_magnitude, 50);
  pen = frame("md", 5);
  EXPECT_TRUE(has(pen, 'd', 5.3f, 4.4f));

  // An absurd speed draws a bounded number of pennants; a grid as second
  // result is refused rather than read as stations.
  Session f;
  f->gxout_station = output_station_barb;
  f.add({{"A", 40, 30, 1e30f}});
  f.add({{"A", 40, 30, 0}});
  f.run(kapstn);
  EXPECT_LT(frame("md").size(), 200u);
  Session g;
  g->gxout_station = output_station_barb;
  g.add({{"A", 40, 30, 30}});
  g.add_grid(3);
  EXPECT_EQ(g.run(kapstn), "Invalid data:  Station data required\n");
}

TEST(StationPlot, MarksColouredByValueOrConstant) {
  Session s;
  s->cmark = 3;
  s->ccolor = -1;
  s.add({{"a", 20, 20, 4}, {"b", 40, 20, 4}});
  s.run(kasmrk);
  EXPECT_EQ(frame("p", 1).size(), 2u);  // a constant field takes colour 1
  Session t;
  t->cmark = 3;
  t.add({{"a", 20, 20, 0}, {"b", 40, 20, 100}, {"c", 60, 20, 100}});
  t.run(kasmrk);
  std::vector<stntest::op> fill = frame("p");
  ASSERT_EQ(fill.size(), 3u);
  EXPECT_NE(fill[0].colour, fill[1].colour);
  EXPECT_EQ(fill[1].colour, fill[2].colour);
}

TEST(StationPlot, NearestStationTiesAndRefusals) {
  // Two stations one inch either side of the point: the first is named,
  // its id cut to seven characters.
  Session s;
  s.add({{"FIRST789", 30, 30, 1}, {"SECOND", 50, 30, 2}});
  s.add_grid(px(40));
  s.add_grid(py(30));
  EXPECT_EQ(s.run(kafstn), "FIRST78 30 30 1\n");
  Session bad;
  bad.add({{"A", 30, 30, 1}});
  bad.add_grid(1);
  EXPECT_EQ(bad.run(kafstn), "Error: Invalid data types for findstn\n");
}

}  // namespace
