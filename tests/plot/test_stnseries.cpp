// Station time series (line, weather symbols, barbs) and vertical profiles
// on a plot area of 1..8 by 1..7 with the value axis fixed at 0..10.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "plot/station.h"
#include "plot/stnfixture.h"

namespace {

using drawn::in_colour;
using drawn::near;
using drawn::only;
using stntest::kUndef;
using stntest::Session;

// Six-hourly times 1..8 across x = 1..8 (x = t); values 0..10 up y = 1..7.
void series_page(Session& s, station_set* set) {
  s->parea[0] = 1, s->parea[1] = 8, s->parea[2] = 1, s->parea[3] = 7;
  s->vrange_set = -1;
  s->vrange[0] = 0, s->vrange[1] = 10, s->vrange[2] = 2;
  s->time_start = {2000, 1, 1, 0, 0};
  s->time_end = {2000, 1, 2, 18, 0};
  s->ccolor = 3;
  s->cstyle = 1;
  s->cmark = 0;
  s->digsiz = 0.1f;
  auto* ts = static_cast<float*>(std::malloc(8 * sizeof(float)));
  const float axis[8] = {2000, 1, 1, 0, 0, 0, 360, -999.9f};
  for (int k = 0; k < 8; k++) ts[k] = axis[k];
  set->time_scaling_copy = ts;
}

float vy(float v) { return 1 + 0.6f * v; }

std::vector<stntest::report> series() {
  // Station A with an undefined report at t 3 and no report at t 5; B after.
  return {{"A", 10, 10, 1, 0, 1}, {"A", 10, 10, 2, 0, 2}, {"A", 10, 10, kUndef, 0, 3},
          {"A", 10, 10, 4, 0, 4}, {"A", 10, 10, 6, 0, 6}, {"B", 20, 10, 9, 0, 1}};
}

TEST(StationSeries, LineOfTheFirstStationBreaksAtGaps) {
  Session s;
  series_page(s, s.add(series(), 3, -1));
  s.run(katser);
  std::vector<drawn::op> pen = only(in_colour(drawn::frame(), 3), "md");
  ASSERT_EQ(pen.size(), 4u);
  EXPECT_TRUE(near(pen[0], 'm', 1, vy(1)));
  EXPECT_TRUE(near(pen[1], 'd', 2, vy(2)));
  EXPECT_TRUE(near(pen[2], 'm', 4, vy(4)));  // after the undefined report
  EXPECT_TRUE(near(pen[3], 'm', 6, vy(6)));  // two steps after the last
  EXPECT_EQ(s->last_plot_code, 14);

  Session j;
  series_page(j, j.add(series(), 3, -1));
  j->missconn = 1;
  j->cmark = 3;
  j.run(katser);
  std::vector<drawn::op> ops = in_colour(drawn::frame(), 3);
  pen = only(ops, "md");
  ASSERT_EQ(pen.size(), 4u);
  EXPECT_TRUE(near(pen[2], 'd', 4, vy(4)));
  EXPECT_TRUE(near(pen[3], 'd', 6, vy(6)));
  EXPECT_EQ(only(ops, "p").size(), 4u);  // a filled mark on each defined value of A
}

TEST(StationSeries, WeatherSymbolsAndBarbsAlongTheBottom) {
  Session s;
  s->gxout_sub = output_series_wx;
  s->wxcols[0] = 6;
  series_page(s, s.add({{"A", 10, 10, 2.4f, 0, 2}, {"B", 20, 10, kUndef, 0, 5}}, 3, -1));
  s.run(katser);
  std::vector<drawn::op> ops = drawn::frame();
  // Symbol 2 (class 0) of size 0.15 at (2, 1): first move at (-0.25, -0.3) x 0.15.
  std::vector<drawn::op> sym = only(in_colour(ops, 6), "md");
  ASSERT_EQ(sym.size(), 8u);
  EXPECT_TRUE(near(sym[0], 'm', 2 - 0.0375f, 1 - 0.045f));
  // "M" for the undefined report, in the plot colour, at x 5.
  std::vector<drawn::op> m = only(in_colour(ops, 3), "md");
  ASSERT_FALSE(m.empty());
  for (const drawn::op& o : m) {
    EXPECT_GE(o.x, 4.99f);
    EXPECT_LE(o.x, 5.11f);
    EXPECT_GE(o.y, 0.99f);
  }

  Session b;
  b->gxout_sub = output_series_barb;
  series_page(b, b.add({{"A", 10, 10, 10, 0, 2}}, 3, -1));
  b.add({{"A", 10, 10, 0, 0, 2}}, 3, -1);
  b.run(katser);
  // West wind of 10 at t 2: shaft from 0.025 to 0.41 west of (2, 1).
  std::vector<drawn::op> pen = only(in_colour(drawn::frame(), 3), "md");
  ASSERT_GE(pen.size(), 2u);
  EXPECT_TRUE(near(pen[0], 'm', 1.975f, 1));
  EXPECT_TRUE(near(pen[1], 'd', 1.59f, 1));
}

TEST(StationSeries, RefusalsDrawNothing) {
  Session e;
  e.add(std::vector<stntest::report>{}, 3, -1);
  EXPECT_EQ(e.run(katser), "No stations to plot\n");
  Session u;
  // Only the first station counts: B's value does not help.
  series_page(u, u.add({{"A", 10, 10, kUndef, 0, 1}, {"B", 20, 10, 5, 0, 1}}, 3, -1));
  EXPECT_EQ(u.run(katser), "All stations undefined for this variable\n");
  EXPECT_TRUE(only(drawn::frame(), "mdp").empty());
  Session p;
  p.add({{"A", 10, 10, kUndef, 500}}, 2, -1);
  EXPECT_EQ(p.run(kapprf), "All stations values are undefined\n");
  Session q;
  q.add(std::vector<stntest::report>{}, 2, -1);
  EXPECT_EQ(q.run(kapprf), "No station values to plot\n");
}

TEST(StationProfile, StationsInFirstOrderEachFromItsHighestLevel) {
  Session s;
  s->parea[0] = 1, s->parea[1] = 8, s->parea[2] = 1, s->parea[3] = 7;
  s->vrange_set = -1;
  s->vrange[0] = 0, s->vrange[1] = 10, s->vrange[2] = 2;
  s->dim_min[2] = 500;
  s->dim_max[2] = 1000;
  s->ccolor = 0;  // drawn in colour 1
  s->cstyle = 1;
  station_set* set = s.add({{"A", 10, 10, 1, 1000},
                            {"B", 20, 10, 2, 850},
                            {"A", 10, 10, 3, 500},
                            {"C", 30, 10, 4, 700},
                            {"B", 20, 10, 5, 1000},
                            {"A", 10, 10, 6, 850},
                            {"A", 10, 10, 7, 850}},
                           2, -1);
  s.run(kapprf);
  std::string order;
  for (const station_report* r = set->first_report; r; r = r->next)
    order += std::string(1, r->stid[0]) + std::to_string(int(r->lev)) + ":" +
             std::to_string(int(r->value)) + " ";
  EXPECT_EQ(order, "A1000:1 A850:6 A850:7 A500:3 B1000:5 B850:2 C700:4 ");
  // Values along x = 1 + 0.7 v, levels up y = 1 + 6 (lev - 500) / 500.
  auto at = [](float v, float lev) { return std::pair<float, float>{1 + 0.7f * v, 1 + 0.012f * (lev - 500)}; };
  std::vector<drawn::op> pen = only(in_colour(drawn::frame(), 1), "md");
  const char kinds[] = "mdddmdm";
  const std::pair<float, float> pts[] = {at(1, 1000), at(6, 850), at(7, 850), at(3, 500),
                                         at(5, 1000), at(2, 850), at(4, 700)};
  ASSERT_GE(pen.size(), 7u);
  for (size_t k = 0; k < 7; k++)
    EXPECT_TRUE(near(pen[k], kinds[k], pts[k].first, pts[k].second)) << k;
  EXPECT_EQ(s->last_plot_code, 13);
}

}  // namespace
