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
  std::string graph(graph_kind kind) {
    const int code = kind == graph_kind::line  ? output_line
                     : kind == graph_kind::bar ? output_bar
                                               : output_errbar;
    return draw(output_field::line, code);
  }
};

TEST(LineGraph, PointsAndGapsAcrossMissingValues) {
  for (int missconn : {0, 1}) {
    Graph g;
    g.s->missconn = missconn;
    g.add(4, 1, 0, 0, 10, {1, 3, kUndef, 2});
    EXPECT_EQ(g.graph(graph_kind::line), "");
    recorder r = g.frame();
    const plottest::stroke second = r.after('m', px(0), py(1)),
                           fourth = r.after('m', px(0), py(1), 2);
    EXPECT_EQ(second.kind, 'd');
    EXPECT_NEAR(second.x, px(10), 1e-3);
    EXPECT_NEAR(second.y, py(3), 1e-3);
    EXPECT_EQ(fourth.kind, missconn ? 'd' : 'm');
    EXPECT_NEAR(fourth.x, px(30), 1e-3);
    EXPECT_NEAR(fourth.y, py(2), 1e-3);
  }
}

TEST(LineGraph, ConstantSeriesAxisAndUndefinedGrid) {
  Graph g;
  g.s->vrange_set = 0;
  g.add(3, 1, 0, 0, 10, {2, 2, 2});
  g.graph(graph_kind::line);
  EXPECT_EQ(g.s->vrange[0], -3.0f);
  EXPECT_EQ(g.s->vrange[1], 7.0f);
  EXPECT_EQ(g.s->vrange[2], 2.0f);
  EXPECT_EQ(g.s->vrange_set, 1);
  Graph u;
  u.add(3, 1, 0, 0, 10, {kUndef, kUndef, kUndef});
  EXPECT_EQ(u.graph(graph_kind::line), "Cannot plot data - all undefined values \n");
}

TEST(LineGraph, ArrowsAlongTheLine) {
  Graph g;
  g.s->gxout_1d_vector = output_line_vector;
  g.add(4, 1, 0, 0, 10, {1, 2, 3, 2});
  g.add(4, 1, 0, 0, 10, {10, 0, kUndef, 0});
  g.add(4, 1, 0, 0, 10, {0, 0, 0, 5});
  g.graph(graph_kind::line);
  // hypot(10, 5) = 11.2 -> a speed of 10 is 0.5 inch.
  EXPECT_EQ(g.s->arrscl_magnitude, 10.0f);
  recorder r = g.frame();
  EXPECT_NEAR(r.after('m', px(0), py(1)).x, px(0) + 0.5f, 1e-3);
  EXPECT_NEAR(r.after('m', px(30), py(2)).y, py(2) + 0.25f, 1e-3);
  EXPECT_NEAR(r.after('m', px(30), py(2)).x, px(30), 1e-3);
  // No line joins the points when arrows are drawn.
  EXPECT_LT(r.find('d', px(10), py(2)), 0);
}

TEST(BarGraph, RectanglesGapsBasesAndFloatingBars) {
  {
    Graph g;
    g.s->bargap = 50;
    g.add(4, 1, 0, 0, 10, {1, 3, kUndef, 2});
    g.graph(graph_kind::bar);
    recorder r = g.frame();
    EXPECT_EQ(r.count('r'), 3);
    // Bar 2: a quarter step either side of longitude 10, bottom to 3.
    EXPECT_NEAR(r.after('r', px(7.5f), 0.75f, 0).x2, px(12.5f), 1e-3);
    EXPECT_NEAR(r.after('r', px(7.5f), 0.75f, 0).y2, py(3), 1e-3);
  }
  {
    // A second 1-D grid is accepted (no second dimension is compared) and
    // gives each bar its lower end.
    Graph g;
    g.add(4, 1, 0, 0, 10, {3, 2, 1, 1});
    g.add(4, 1, 0, 0, 10, {0.5f, 1, 0, 0});
    EXPECT_EQ(g.graph(graph_kind::bar), "");
    EXPECT_NEAR(g.frame().after('r', px(5), py(1), 0).y2, py(2), 1e-3);
    Graph e;
    e.add(4, 1, 0, 0, 10, {3, 2, 1, 1});
    e.add(4, 1, 0, 0, 10, {0.5f, 1, 0, 0});
    e.graph(graph_kind::error_bar);
    EXPECT_NEAR(e.frame().after('m', px(0), py(3)).y, py(0.5f), 1e-3);
  }
  {
    Graph g;
    g.s->barbase_mode = 1;
    g.s->barbase_value = 100;
    g.add(2, 1, 0, 0, 10, {1, 2});
    EXPECT_EQ(g.graph(graph_kind::bar),
              "Error drawing bargraph: base value out of range\n"
              "    Drawing graph from bottom\n100 \n");
  }
}

TEST(LineFill, RegionsSplitWhereTheCurvesCross) {
  Graph g;
  g.add(4, 1, 0, 0, 10, {0, 2, 2, 0});
  g.add(4, 1, 0, 0, 10, {1, 1, 1, 1});
  g.draw(output_field::line, output_linefill);
  // Below, above, below: crossings at longitudes 5 and 25 at value 1.
  std::vector<plottest::stroke> fills = g.frame().fills();
  ASSERT_EQ(fills.size(), 3u);
  const std::pair<int, size_t> want[] = {{3, 3}, {2, 6}, {3, 3}};
  for (size_t k = 0; k < 3; k++)
    EXPECT_EQ(std::pair(fills[k].colour, fills[k].xy.size() / 2), want[k]) << k;
  EXPECT_NEAR(fills[1].xy[0], px(5), 1e-3);
  EXPECT_NEAR(fills[1].xy[1], py(1), 1e-3);
  EXPECT_NEAR(fills[1].xy[6], px(25), 1e-3);
  Graph same;
  same.add(3, 1, 0, 0, 10, {1, 2, 3});
  same.add(3, 1, 0, 0, 10, {1, 2, 3});
  EXPECT_EQ(same.draw(output_field::line, output_linefill),
            "Cannot plot data - too many undefined values \n");
}

}  // namespace
