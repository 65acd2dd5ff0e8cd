// Station time series (line, weather symbols, barbs) and vertical profiles
// on a plot area of 1..8 by 1..7 with the value axis fixed at 0..10.
#include <gtest/gtest.h>

#include <string>

#include "plot/station.h"
#include "plot/stnfixture.h"

namespace {

using stntest::frame;
using stntest::has;
using stntest::kUndef;
using stntest::near;
using stntest::Session;

// Six-hourly times 1..8 across x = 1..8 (x = t); values up y = 1 + 0.6 v.
station_set* series(Session& s, const std::vector<stntest::report>& rs, int dim = 3) {
  const float area[4] = {1, 8, 1, 7}, range[3] = {0, 10, 2};
  std::memcpy(s->parea, area, sizeof area);
  std::memcpy(s->vrange, range, sizeof range);
  s->vrange_set = -1;
  s->time_start = {2000, 1, 1, 0, 0};
  s->time_end = {2000, 1, 2, 18, 0};
  s->ccolor = 3;
  s->cstyle = 1;
  station_set* set = s.add(rs, dim, -1);
  set->time_scaling_copy = static_cast<float*>(std::malloc(8 * sizeof(float)));
  const float axis[8] = {2000, 1, 1, 0, 0, 0, 360, -999.9f};
  std::memcpy(set->time_scaling_copy, axis, sizeof axis);
  return set;
}

TEST(StationSeries, LineOfTheFirstStationBreaksAtGaps) {
  // A: undefined at t 3, no report at t 5; B is not drawn.
  for (int missconn : {0, 1}) {
    Session s;
    series(s, {{"A", 10, 10, 1, 0, 1},
               {"A", 10, 10, 2, 0, 2},
               {"A", 10, 10, kUndef, 0, 3},
               {"A", 10, 10, 4, 0, 4},
               {"A", 10, 10, 6, 0, 6},
               {"B", 20, 10, 9, 0, 1}});
    s->missconn = missconn;
    s.run(katser);
    const char want[] = {'m', 'd', missconn ? 'd' : 'm', missconn ? 'd' : 'm'};
    const float t[] = {1, 2, 4, 6};
    std::vector<stntest::op> pen = frame("md", 3);
    ASSERT_EQ(pen.size(), 4u);
    for (size_t k = 0; k < 4; k++) EXPECT_TRUE(near(pen[k], want[k], t[k], 1 + 0.6f * t[k])) << k;
    EXPECT_EQ(static_cast<int>(s->last_plot_code), 14);
  }
}

TEST(StationSeries, WeatherSymbolsAndBarbsAlongTheBottom) {
  // Symbol 2 (class 0, size 0.15) at (2, 1) from (-0.25, -0.3); "M" for an
  // undefined code in the plot colour; a code past the int range nothing.
  Session s;
  s->gxout_sub = output_series_wx;
  s->wxcols[0] = 6;
  series(s, {{"A", 10, 10, 2.4f, 0, 2}, {"B", 20, 10, kUndef, 0, 5}, {"C", 20, 10, 1e20f, 0, 6}});
  s.run(katser);
  std::vector<stntest::op> sym = frame("md", 6), m = frame("md", 3);
  ASSERT_EQ(sym.size(), 8u);
  EXPECT_TRUE(near(sym[0], 'm', 1.9625f, 0.955f));
  ASSERT_FALSE(m.empty());  // and nothing at t 6
  for (const stntest::op& o : m) EXPECT_TRUE(o.x > 4.99f && o.x < 5.11f && o.y > 0.99f);

  // A west wind of 10 at t 2: shaft from 0.025 to 0.41 west of (2, 1).
  Session b;
  b->gxout_sub = output_series_barb;
  series(b, {{"A", 10, 10, 10, 0, 2}});
  b.add({{"A", 10, 10, 0, 0, 2}}, 3, -1);
  b.run(katser);
  EXPECT_TRUE(has(frame("m", 3), 'm', 1.975f, 1));
  EXPECT_TRUE(has(frame("d", 3), 'd', 1.59f, 1));
}

TEST(StationSeries, RefusalsDrawNothing) {
  Session e, u;
  e.add({}, 3, -1);
  EXPECT_EQ(e.run(katser), "No stations to plot\n");
  series(u, {{"A", 10, 10, kUndef, 0, 1}, {"B", 20, 10, 5, 0, 1}});  // only A counts
  EXPECT_EQ(u.run(katser), "All stations undefined for this variable\n");
  EXPECT_TRUE(frame("mdp").empty());
  Session b;  // barbs without a v result
  b->gxout_sub = output_series_barb;
  series(b, {{"A", 10, 10, 5, 0, 1}});
  EXPECT_EQ(b.run(katser), "Invalid data:  Station data required\n");
}

TEST(StationProfile, StationsInFirstOrderEachFromItsHighestLevel) {
  // Values along x = 1 + 0.7 v, levels 500..1000 up y = 1..7; colour 0
  // draws in 1. B's undefined top report does not join B's line to A's.
  Session s;
  station_set* set = series(s,
                            {{"A", 10, 10, 1, 1000},
                             {"B", 20, 10, 2, 850},
                             {"A", 10, 10, 3, 500},
                             {"C", 30, 10, 4, 700},
                             {"B", 20, 10, 5, 1000},
                             {"A", 10, 10, 6, 850},
                             {"A", 10, 10, 7, 850},
                             {"B", 20, 10, kUndef, 1100}},
                            2);
  s->missconn = 1;
  s->dim_min[2] = 500;
  s->dim_max[2] = 1000;
  s->ccolor = 0;
  s.run(kapprf);
  std::string order;
  for (const station_report* r = set->first_report; r; r = r->next)
    order += r->stid[0] + std::to_string(int(r->value));
  EXPECT_EQ(order, "A1A6A7A3B-999B5B2C4");
  const char kinds[] = "mdddmdm";
  const float v[] = {1, 6, 7, 3, 5, 2, 4}, lev[] = {1000, 850, 850, 500, 1000, 850, 700};
  std::vector<stntest::op> pen = frame("md", 1);
  ASSERT_GE(pen.size(), 7u);
  for (size_t k = 0; k < 7; k++)
    EXPECT_TRUE(near(pen[k], kinds[k], 1 + 0.7f * v[k], 1 + 0.012f * (lev[k] - 500))) << k;
  EXPECT_EQ(static_cast<int>(s->last_plot_code), 13);
}

// xyrev swaps the axes: the series runs its times up y (1..8 over 1..7)
// with the values along x (1 + 0.7 v); the profile its levels along x
// (500..1000 over 1..8) with the values up y (1 + 0.6 v).
TEST(StationSeries, XyrevSwapsTheAxesOfSeriesAndProfile) {
  Session s;
  series(s, {{"A", 10, 10, 1, 0, 1}, {"A", 10, 10, 5, 0, 4}, {"A", 10, 10, 10, 0, 8}});
  s->xyrev = 1;
  s->missconn = 1;  // joined over the times without a report
  s.run(katser);
  const float v[] = {1, 5, 10}, t[] = {1, 4, 8};
  std::vector<stntest::op> pen = frame("md", 3);
  ASSERT_EQ(pen.size(), 3u);
  for (size_t k = 0; k < 3; k++)
    EXPECT_TRUE(near(pen[k], k ? 'd' : 'm', 1 + 0.7f * v[k], 1 + 6.0f / 7 * (t[k] - 1))) << k;

  Session p;
  series(p, {{"A", 10, 10, 2, 1000}, {"A", 10, 10, 5, 750}, {"A", 10, 10, 9, 500}}, 2);
  p->xyrev = 1;
  p->dim_min[2] = 500;
  p->dim_max[2] = 1000;
  p.run(kapprf);
  const float pv[] = {2, 5, 9}, lev[] = {1000, 750, 500};
  pen = frame("md", 3);
  ASSERT_EQ(pen.size(), 3u);
  for (size_t k = 0; k < 3; k++)
    EXPECT_TRUE(near(pen[k], k ? 'd' : 'm', 1 + 0.014f * (lev[k] - 500), 1 + 0.6f * pv[k])) << k;
}

}  // namespace
