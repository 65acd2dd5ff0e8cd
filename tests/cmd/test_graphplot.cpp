// Line, bar and error-bar graphs and line fill of small 1-D grids along
// longitude 0..30 on a value axis fixed at 0..4: the points, gaps, bars,
// arrows along a line and filled regions, against hand-placed positions.
#include <cmath>

#include "plot/plot.h"
#include "plot/plot1d.h"
#include "plot_fixture.h"

namespace {

using plottest::kUndef;
using plottest::Plot;
using plottest::recorder;

// Page position of longitude lon and value v: x 2.0..10.5, y 0.75..7.75.
float px(float lon) { return 2.0f + 8.5f * lon / 30.0f; }
float py(float v) { return 0.75f + 7.0f * v / 4.0f; }

struct Graph : Plot {
  Graph() {
    s->vrange_set = -1;
    s->vrange[0] = 0;
    s->vrange[1] = 4;
    s->vrange[2] = 1;
  }
  std::string graph(int kind) {
    return run([kind](session_state* st) { kagrph(st, kind); });
  }
};

TEST(LineGraph, PointsAndGapsAcrossMissingValues) {
  for (int missconn : {0, 1}) {
    Graph g;
    g.s->missconn = missconn;
    g.add(4, 1, 0, 0, 10, {1, 3, kUndef, 2});
    EXPECT_EQ(g.graph(kGraphLine), "");
    EXPECT_EQ(g.s->last_plot_code, kPlotLine);
    recorder r = g.frame();
    int k = r.find('m', px(0), py(1));
    ASSERT_GE(k, 0);
    ASSERT_LT(size_t(k + 2), r.s.size());
    EXPECT_EQ(r.s[size_t(k + 1)].kind, 'd');
    EXPECT_NEAR(r.s[size_t(k + 1)].x, px(10), 1e-3);
    EXPECT_NEAR(r.s[size_t(k + 1)].y, py(3), 1e-3);
    EXPECT_EQ(r.s[size_t(k + 2)].kind, missconn ? 'd' : 'm');
    EXPECT_NEAR(r.s[size_t(k + 2)].x, px(30), 1e-3);
    EXPECT_NEAR(r.s[size_t(k + 2)].y, py(2), 1e-3);
  }
}

TEST(LineGraph, ConstantSeriesAxisAndUndefinedGrid) {
  Graph g;
  g.s->vrange_set = 0;
  g.add(3, 1, 0, 0, 10, {2, 2, 2});
  g.graph(kGraphLine);
  EXPECT_EQ(g.s->vrange[0], -3.0f);
  EXPECT_EQ(g.s->vrange[1], 7.0f);
  EXPECT_EQ(g.s->vrange[2], 2.0f);
  EXPECT_EQ(g.s->vrange_set, 1);
  Graph u;
  u.add(3, 1, 0, 0, 10, {kUndef, kUndef, kUndef});
  EXPECT_EQ(u.graph(kGraphLine), "Cannot plot data - all undefined values \n");
}

TEST(LineGraph, ArrowsAlongTheLine) {
  Graph g;
  g.s->gxout_1d_vector = output_line_vector;
  g.add(4, 1, 0, 0, 10, {1, 2, 3, 2});
  g.add(4, 1, 0, 0, 10, {10, 0, kUndef, 0});
  g.add(4, 1, 0, 0, 10, {0, 0, 0, 5});
  g.graph(kGraphLine);
  // hypot(10, 5) = 11.2 -> a speed of 10 is 0.5 inch.
  EXPECT_EQ(g.s->arrscl_magnitude, 10.0f);
  recorder r = g.frame();
  int k = r.find('m', px(0), py(1));
  ASSERT_GE(k, 0);
  EXPECT_NEAR(r.s[size_t(k + 1)].x, px(0) + 0.5f, 1e-3);
  k = r.find('m', px(30), py(2));
  ASSERT_GE(k, 0);
  EXPECT_NEAR(r.s[size_t(k + 1)].y, py(2) + 0.25f, 1e-3);
  EXPECT_NEAR(r.s[size_t(k + 1)].x, px(30), 1e-3);
  // No line joins the points when arrows are drawn.
  EXPECT_LT(r.find('d', px(10), py(2)), 0);
}

TEST(BarGraph, RectanglesGapsBasesAndFloatingBars) {
  {
    Graph g;
    g.s->bargap = 50;
    g.add(4, 1, 0, 0, 10, {1, 3, kUndef, 2});
    g.graph(kGraphBar);
    EXPECT_EQ(g.s->last_plot_code, kPlotBar);
    recorder r = g.frame();
    EXPECT_EQ(r.count('r'), 3);
    // Bar 2: a quarter step either side of longitude 10, bottom to 3.
    int k = r.find('r', px(7.5f), 0.75f);
    ASSERT_GE(k, 0);
    EXPECT_NEAR(r.s[size_t(k)].x2, px(12.5f), 1e-3);
    EXPECT_NEAR(r.s[size_t(k)].y2, py(3), 1e-3);
  }
  {
    // A second 1-D grid is accepted (no second dimension is compared) and
    // gives each bar its lower end.
    Graph g;
    g.add(4, 1, 0, 0, 10, {3, 2, 1, 1});
    g.add(4, 1, 0, 0, 10, {0.5f, 1, 0, 0});
    EXPECT_EQ(g.graph(kGraphBar), "");
    recorder r = g.frame();
    int k = r.find('r', px(5), py(1));
    ASSERT_GE(k, 0);
    EXPECT_NEAR(r.s[size_t(k)].y2, py(2), 1e-3);
    Graph e;
    e.add(4, 1, 0, 0, 10, {3, 2, 1, 1});
    e.add(4, 1, 0, 0, 10, {0.5f, 1, 0, 0});
    e.graph(kGraphErrorBar);
    recorder er = e.frame();
    k = er.find('m', px(0), py(3));
    ASSERT_GE(k, 0);
    EXPECT_NEAR(er.s[size_t(k + 1)].y, py(0.5f), 1e-3);
  }
  {
    Graph g;
    g.s->barbase_mode = 1;
    g.s->barbase_value = 100;
    g.add(2, 1, 0, 0, 10, {1, 2});
    EXPECT_EQ(g.graph(kGraphBar),
              "Error drawing bargraph: base value out of range\n"
              "    Drawing graph from bottom\n100 \n");
  }
}

TEST(LineFill, RegionsSplitWhereTheCurvesCross) {
  EXPECT_EQ(([] {
              float t, v;
              lfint(0, 2, 1, 1, &t, &v);
              return std::pair{t, v};
            }()),
            (std::pair{0.5f, 1.0f}));
  Graph g;
  g.add(4, 1, 0, 0, 10, {0, 2, 2, 0});
  g.add(4, 1, 0, 0, 10, {1, 1, 1, 1});
  g.run([](session_state* s) { kalfil(s); });
  EXPECT_EQ(g.s->last_plot_code, kPlotLineFill);
  recorder r = g.frame();
  std::vector<std::pair<int, size_t>> fills;
  for (const auto& s : r.s)
    if (s.kind == 'p') fills.emplace_back(s.colour, s.xy.size() / 2);
  // Below, above, below: crossings at longitudes 5 and 25 at value 1.
  ASSERT_EQ(fills.size(), 3u);
  EXPECT_EQ(fills[0], (std::pair{3, size_t(3)}));
  EXPECT_EQ(fills[1], (std::pair{2, size_t(6)}));
  EXPECT_EQ(fills[2], (std::pair{3, size_t(3)}));
  for (const auto& s : r.s) {
    if (s.kind != 'p' || s.colour != 2) continue;
    EXPECT_NEAR(s.xy[0], px(5), 1e-3);
    EXPECT_NEAR(s.xy[1], py(1), 1e-3);
    EXPECT_NEAR(s.xy[6], px(25), 1e-3);
  }
  Graph same;
  same.add(3, 1, 0, 0, 10, {1, 2, 3});
  same.add(3, 1, 0, 0, 10, {1, 2, 3});
  EXPECT_EQ(same.run([](session_state* s) { kalfil(s); }),
            "Cannot plot data - too many undefined values \n");
}

}  // namespace
