// Contour, shaded and grid-fill plots of small known grids: level choice and
// its messages, the display list they leave, shade tables, rainbow colours,
// the plot area, and the refusals that must not crash.
#include "cmd/commands.h"
#include "plot/plot.h"
#include "plot/plot2d.h"
#include "plot/plot_fixture.h"

namespace {

using plottest::kUndef;
using plottest::recorder;

struct Plot : plottest::Plot {
  Plot() {
    s->ccolor = s->cstyle = -9;
    s->cterp = s->clab = 0;
  }
  // mode 0 contour, 1 shaded, 2 grid fill.
  std::string run(int mode) {
    const int codes[] = {output_contour, output_shaded, output_grfill};
    return draw(output_field::field, codes[mode]);
  }
  std::string query(int (*fn)(char*, char*, session_state*)) {
    char empty[] = "";
    return plottest::Plot::run([&](session_state* st) { fn(empty, empty, st); });
  }
};

// 0 .. top along x on two rows, raised by base.
std::vector<float> ramp(int n, float top, float base = 0) {
  std::vector<float> v;
  for (int j = 0; j < 2; j++)
    for (int i = 0; i < n; i++) v.push_back(base + top * float(i) / float(n - 1));
  return v;
}

TEST(ContourPlot, LevelChoiceAndItsReports) {
  const float kBig = 9.99e33f;
  const struct {
    std::vector<float> v;    // 2 rows
    float cint, cmin, cmax;  // set before the plot
    std::vector<float> clevs;
    const char* out;
    float cint_after;  // 0: not checked
  } cases[] = {
      {{1, 2, 5, 6}, 0, -kBig, kBig, {}, "Contouring: 1 to 6 interval 0.5 \n", 0.5f},
      // 1000 levels would be drawn: the interval grows tenfold and stays.
      {ramp(11, 1000),
       1,
       -kBig,
       kBig,
       {},
       "Too many contour levels -- adjusting cint\nContouring: 0 to 1000 interval 10 \n",
       10},
      // A negative interval is its size, never an endless walk.
      {ramp(11, 1000), -250, -kBig, kBig, {}, "Contouring: 0 to 1000 interval 250 \n", 0},
      // Levels only in a narrow cmin..cmax of a field up to 2^24.
      {ramp(11, 16777216), 1, 0, 50, {}, "Contouring: 0 to 1.67772e+07 interval 1 \n", 0},
      {ramp(11, 1000), 0, -kBig, kBig, {0, 5, 10}, "Contouring at clevs =  0 5 10\n", 0},
      // An interval that vanishes against values near 300 is too many
      // levels, not a constant field.
      {ramp(11, 50, 250),
       1e-5f,
       -kBig,
       kBig,
       {},
       "Too many contour levels -- adjusting cint\nContouring: 250 to 300 interval 1 \n",
       0},
  };
  for (const auto& c : cases) {
    Plot p;
    p.add(int(c.v.size() / 2), 2, 0, 0, 10, c.v);
    p.s->cint = c.cint;
    p.s->cmin = c.cmin;
    p.s->cmax = c.cmax;
    p.s->clevs_count = int(c.clevs.size());
    std::copy(c.clevs.begin(), c.clevs.end(), p.s->clevs);
    EXPECT_EQ(p.run(0), c.out);
    EXPECT_EQ(p.s->last_plot_code, plot_code::contour) << c.out;
    if (c.cint_after != 0) {
      EXPECT_EQ(p.s->cint, c.cint_after) << c.out;
    }
  }
}

TEST(ContourPlot, KnownContourLandsWhereTheProjectionPutsIt) {
  Plot p;
  // A peak of 10 in the middle of a 3 x 3 grid over 0..20 degrees: level 5
  // crosses each axis half way between the centre and the edge.
  p.add(3, 3, 0, 0, 10, {0, 0, 0, 0, 10, 0, 0, 0, 0});
  p.s->clevs_count = 1;
  p.s->clevs[0] = 5;
  p.s->ccols_count = 1;
  p.s->ccols[0] = 4;
  p.run(0);
  // Lat-lon set-up: a latitude degree is 1.2 longitude degrees; the box
  // keeps that aspect inside 0.5..10.5 by 0.75..7.75.
  const float width = 10.0f * 0.7f / 1.2f;
  const float xlo = 5.5f - width / 2, ylo = 0.75f, yhi = 7.75f;
  EXPECT_NEAR(p.s->plot_x_low, xlo, 1e-4);
  EXPECT_NEAR(p.s->plot_x_high, xlo + width, 1e-4);
  recorder r = p.frame();
  for (auto [lon, lat] : {std::pair{5, 10}, {10, 5}, {15, 10}, {10, 15}})
    EXPECT_TRUE(r.has_point(xlo + width * float(lon) / 20, ylo + (yhi - ylo) * float(lat) / 20, 4))
        << lon << " " << lat;
}

TEST(ContourPlot, ShadeTableBandsAndQuery) {
  Plot p;
  EXPECT_EQ(p.query(kaqshades), "None\n");
  p.add(11, 2, 0, 0, 1, ramp(11, 10));
  p.s->cint = 2;
  p.run(2);  // grid fill
  EXPECT_EQ(p.s->last_plot_code, plot_code::grid_fill);
  // Bands from one interval below the data: the rainbow index of level v is
  // int((v + 2) * 13 / 12) over the range -2 .. 10.
  EXPECT_EQ(p.query(kaqshades),
            "Number of levels = 7\n9 < 0\n4 0 2\n5 2 4\n3 4 6\n7 6 8\n8 8 10\n6 10 >\n");
  EXPECT_EQ(p.s->shade_levels[0], -22.0f);
  // One filled box per point; a value on a level belongs to the band below
  // it (value 4: band 2..4, colour 5), while the colour lookup of other plots
  // takes the band above.
  std::vector<plottest::stroke> fills = p.frame().fills();
  ASSERT_EQ(fills.size(), 22u);
  const int expect[11] = {9, 4, 4, 5, 5, 3, 3, 7, 7, 8, 8};
  for (int i = 0; i < 11; i++) EXPECT_EQ(fills[size_t(i)].colour, expect[i]) << i;
  EXPECT_EQ(kashdc(p.s.get(), 4), 3);
  EXPECT_EQ(kashdc(p.s.get(), 3.9f), 5);
  EXPECT_EQ(kashdc(p.s.get(), -5), 9);
  EXPECT_EQ(kashdc(p.s.get(), 50), 6);
}

TEST(ContourPlot, ExplicitLevelsWithFewerColoursShadeTheRestInFifteen) {
  Plot p;
  p.add(11, 2, 0, 0, 1, ramp(11, 10));
  p.s->clevs_count = 3;
  p.s->clevs[0] = 2;
  p.s->clevs[1] = 5;
  p.s->clevs[2] = 8;
  p.s->ccols_count = 2;
  p.s->ccols[0] = 4;
  p.s->ccols[1] = 2;
  p.run(1);
  EXPECT_EQ(p.query(kaqshades), "Number of levels = 3\n4 < 2\n2 2 5\n15 5 >\n");
  EXPECT_EQ(p.s->last_plot_code, plot_code::shaded);
  // An empty table fills nothing and looks colour 1 up.
  p.s->shade_count = 0;
  gxfrme(frame_action::clear);
  kagfil(std::vector<float>{1, 2}.data(), 2, 1, nullptr, nullptr, 0, kUndef);
  EXPECT_TRUE(p.frame().fills().empty());
  EXPECT_EQ(kashdc(p.s.get(), 3), 1);
}

TEST(ContourPlot, RainbowColoursOfOneLevelAndReversed) {
  // The first colour a plot drew its contours in (the frame is colour 1).
  auto first_colour = [](Plot& p) {
    for (const plottest::stroke& q : p.frame().s)
      if (q.kind != 'p' && q.colour != 1) return q.colour;
    return -1;
  };
  {
    Plot p;  // one level takes the middle colour
    p.add(2, 2, 0, 0, 10, {0.9f, 1.0f, 1.1f, 1.2f});
    p.s->cint = 1;
    p.s->ccolor = -1;
    EXPECT_EQ(p.run(0), "Contouring: 1 to 1 interval 1 \n");
    EXPECT_EQ(p.s->rbrange[0], 1.0f);
    EXPECT_EQ(p.s->rbrange[1], 1.0f);
    EXPECT_EQ(first_colour(p), 3);
  }
  Plot p;  // -1 .. 11: level 0, the lowest, takes the last colour (6) first
  p.add(11, 2, 0, 0, 1, ramp(11, 12, -1));
  p.s->cint = 5;
  p.s->ccolor = -2;
  p.run(0);
  EXPECT_EQ(first_colour(p), 6);
}

TEST(ContourPlot, UndefinedAndConstantFieldsStopBeforeTheTail) {
  const struct {
    float v;
    const char* out;
    size_t fills;  // one run per row for a fillable constant
  } cases[] = {{kUndef, "Cannot contour grid - all undefined values \n", 0},
               {5, "Constant field.  Value = 5\n", 2},
               // Beyond any int: no fgrid value to fill.
               {1e20f, "Constant field.  Value = 1e+20\n", 0}};
  for (const auto& c : cases) {
    Plot p;
    p.add(2, 2, 0, 0, 10, std::vector<float>(4, c.v));
    EXPECT_EQ(p.run(c.v == kUndef), c.out);
    std::vector<plottest::stroke> fills = p.frame().fills();
    ASSERT_EQ(fills.size(), c.fills) << c.out;
    if (c.fills) {
      EXPECT_EQ(fills[0].colour, 2);
    }
    EXPECT_EQ(p.s->fgvals_count, 0);
    EXPECT_EQ(p.s->gxout_2d, 1);
    if (c.v == kUndef) {
      EXPECT_EQ(p.s->last_plot_code, plot_code::clear);
    }
  }
}

TEST(ContourPlot, TransposedPlotExchangesTheAxesInACopy) {
  {
    Plot p;
    p.add(3, 2, 0, 0, 10, {1, 2, 3, 4, 5, 6});
    p.s->xyrev = 1;
    p.s->mproj = map_projection::scaled;
    p.run(0);
    ASSERT_EQ(held_count(p.s.get()), 2);
    grid_field* t = held_grid(p.s.get(), 1);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->idim, 1);
    EXPECT_EQ(t->isiz, 2);
    EXPECT_EQ(t->jsiz, 3);
    // Old (i, j) is new (j, i).
    EXPECT_EQ(t->values[0 * 2 + 1], 4);
    EXPECT_EQ(t->values[2 * 2 + 0], 3);
    EXPECT_EQ(p.s->last_plot_idim, 1);
    EXPECT_EQ(p.s->last_plot_jdim, 0);
  }
  Plot p;  // no result slot left for the copy: refused, nothing lost
  grid_field* g = p.add(2, 2, 0, 0, 10, {1, 2, 3, 4});
  p.s->xyrev = 1;
  for (int k = 1; k < kMaxResults; k++)
    hold_result(p.s.get(), station_ptr(plottest::empty_stations()));
  p.s->result_count = kMaxResults;
  std::string out = p.run(0);
  EXPECT_NE(out.find("more than 16 results"), std::string::npos) << out;
  EXPECT_EQ(p.s->last_plot_code, plot_code::clear);
  EXPECT_EQ(held_count(p.s.get()), kMaxResults);
  EXPECT_EQ(held_grid(p.s.get(), 0), g);
}

TEST(ContourPlot, RefinementSizesAndValues) {
  // 20 by 10 refined 5 times in i; 10 is capped to 4 in j.
  std::vector<float> v(200);
  for (int j = 0; j < 10; j++)
    for (int i = 0; i < 20; i++) v[size_t(j * 20 + i)] = float(i + j);
  std::vector<float> out(96 * 37, -1);
  kagexp(kUndef, v.data(), 20, 10, out.data(), 5, 4);
  // A linear field stays linear under the cubic (its tangents are exact).
  EXPECT_NEAR(out[1], 0.2, 1e-5);
  EXPECT_NEAR(out[36 * 96 + 95], 28, 1e-4);
  EXPECT_NEAR(out[2 * 96 + 7], 1.4 + 0.5, 1e-4);
  // Linear refinement: bilinear inside, undefined where a corner is.
  std::vector<float> w = {0, 10, 20, 30}, lo(9);
  EXPECT_EQ(stdout_of([&] { kaglin(kUndef, w.data(), 2, 2, lo.data(), 2, 2); }),
            "isiz, jsiz = 3 3 \n");
  EXPECT_NEAR(lo[1], 5, 1e-5);
  EXPECT_NEAR(lo[4], 15, 1e-5);
  w[2] = kUndef;
  stdout_of([&] { kaglin(kUndef, w.data(), 2, 2, lo.data(), 2, 2); });
  EXPECT_EQ(lo[4], kUndef);
}

}  // namespace
