// Non-graphic outputs and the plot dispatcher: statistics, printed values,
// fwrite and writegds bytes, routing by output type and result shape, and
// the display's result list.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "cmd/display.h"
#include "cmd/latsbridge.h"
#include "expr/evalstate.h"
#include "base/session.h"
#include "support/station_sets.h"
#include "support/stdout_capture.h"
#include "data/filerec.h"
#include "expr/eval.h"
#include "data/held.h"
#include "data/result.h"
#include "plot/plot.h"
#include "support/vemra_run.h"

namespace {

// A grid varying along x (and y when ny > 1) holding the given values.
grid_field* grid(int nx, int ny, std::vector<float> v, float undef = -9.99e33f) {
  grid_field* g = kagrvl(0);
  g->undef = undef;
  g->idim = 0;
  g->jdim = ny > 1 ? 1 : -1;
  g->isiz = nx;
  g->jsiz = ny;
  g->dim_min[0] = 1;
  g->dim_max[0] = nx;
  g->dim_min[1] = 1;
  g->dim_max[1] = ny;
  g->i_linear = g->j_linear = 1;
  g->values = static_cast<float*>(std::malloc(v.size() * sizeof(float)));
  std::memcpy(g->values, v.data(), v.size() * sizeof(float));
  return g;
}

// Reports over the whole globe, of a variable when given.
station_set* stations(const std::vector<stntest::report>& rs, variable_descriptor* var = nullptr,
                      float undef = -999) {
  station_set* s = stntest::make_set(rs, undef);
  s->lon_min = 0;
  s->lon_max = 360;
  s->lat_min = -90;
  s->lat_max = 90;
  s->variable = var;
  return s;
}

// A session holding the given results; they are released with it.
struct Session {
  std::unique_ptr<session_state> s = std::make_unique<session_state>();
  void add(grid_field* g) {
    hold_result(s.get(), grid_ptr(g));
    s->result_count++;
  }
  void add(station_set* st) {
    hold_result(s.get(), station_ptr(st));
    s->result_count++;
  }
  ~Session() { kagrel(s.get()); }
  session_state* operator->() { return s.get(); }
  session_state* get() { return s.get(); }
};

std::string run(void (*fn)(session_state*), Session& s) {
  StdoutCapture cap;
  fn(s.get());
  return cap.text();
}

// The dispatcher, its answer whether a plot was drawn left aside.
void plot(session_state* s) { kaplot(s); }

TEST(Levels, RoundIntervalsAndTheirEnds) {
  struct {
    float min, max, given, interval, first, last;
  } cases[] = {
      {0, 2.9f, 0, 0.3f, 0, 2.7f},
      {1, 17, 4, 4, 4, 16},
      {3, 3, 0, 0, 0, 0},
      {1e10f, 1e10f + 2048, 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    float interval = c.given, first = -1, last = -1;
    kacsel(c.min, c.max, &interval, &first, &last);
    EXPECT_FLOAT_EQ(interval, c.interval) << c.min << " " << c.max;
    EXPECT_FLOAT_EQ(first, c.first) << c.min << " " << c.max;
    EXPECT_FLOAT_EQ(last, c.last) << c.min << " " << c.max;
  }
}

TEST(Statistics, SumsOfLargeGridsAreAccumulatedInDouble) {
  const int n = 1000000;
  Session s;
  s.add(grid(n, 1, std::vector<float>(n, 0.1f)));
  // A float running sum of a million 0.1s ends near 100958.
  EXPECT_NE(run(kastts, s).find("Stats[sum,sumsqr,root(sumsqr),n]:     100000 10000 100 1000000\n"),
            std::string::npos);
}

// The sums run in blocks and lanes: every defined value counts once whatever
// the length and wherever the undefined values lie. Small integers make any
// order of addition exact.
TEST(Statistics, EveryDefinedValueCountsOnceWhateverItsPlace) {
  for (int n = 2; n <= 300; n++) {
    for (int pattern = 0; pattern < 3; pattern++) {
      std::vector<float> v(static_cast<size_t>(n));
      long long sum = 0, sumsqr = 0;
      int valid = 0;
      for (int i = 0; i < n; i++) {
        const bool undef = pattern == 0   ? i % 7 == 3
                           : pattern == 1 ? (i == 0 || i == n - 1)
                                          : (i / 5) % 2 == 1;
        const int x = (i * 13 + n) % 23 - 9;
        v[size_t(i)] = undef ? -9.99e33f : float(x);
        if (undef) continue;
        sum += x;
        sumsqr += (long long)x * x;
        valid++;
      }
      if (valid < 2) continue;
      Session s;
      s.add(grid(n, 1, v));
      const std::string out = run(kastts, s);
      char want[256];
      std::snprintf(want, sizeof want, "Undef count = %d  Valid count = %d\n", n - valid, valid);
      EXPECT_NE(out.find(want), std::string::npos) << n << " " << pattern << "\n" << out;
      std::snprintf(want, sizeof want, "Stats[sum,sumsqr,root(sumsqr),n]:     %g %g %g %d\n",
                    double(sum), double(sumsqr), std::sqrt(double(sumsqr)), valid);
      EXPECT_NE(out.find(want), std::string::npos) << n << " " << pattern << "\n" << out;
    }
  }
}

TEST(Statistics, OneDefinedValueHasNoSpread) {
  Session one;
  one.add(grid(2, 1, {-5, 4}, -5));
  std::string out = run(kastts, one);
  EXPECT_NE(out.find("Undef count = 1  Valid count = 1\nMin, Max = 4 4\n"), std::string::npos)
      << out;
  // Nothing is divided by n - 1 = 0.
  EXPECT_NE(
      out.find("Stats[(sum,sumsqr,root(sumsqr))/(n-1)]: 4 16 4\nStats[(sigma,var)(n)]:     0 0\n"
               "Stats[(sigma,var)(n-1)]:   0 0\n"),
      std::string::npos)
      << out;
}

TEST(PrintedValues, UserLayouts) {
  Session s;
  s.add(grid(3, 2, {1, 2.5f, -9.99e33f, 4, 5, 6}));
  s->prnopts_format = "%.1f";
  s->prnopts_count = 3;
  s->prnopts_blanks = 2;
  s->prnopts_undef = 1;
  EXPECT_EQ(run(kadprnt, s),
            "Printing Grid -- 6 Values -- Undef = -9.99e+33\n1.0  2.5  Undef  \n4.0  5.0  6.0  \n");
  // A format that slipped past the keyword check prints nothing for a value
  // rather than reading arguments that are not there.
  s->prnopts_format = "%s%n";
  s->prnopts_undef = 0;
  EXPECT_EQ(run(kadprnt, s), "Printing Grid -- 6 Values -- Undef = -9.99e+33\n      \n      \n");
}

std::string hex(const std::string& bytes) {
  std::string out;
  char b[3];
  for (unsigned char c : bytes) out.append(b, size_t(std::snprintf(b, sizeof b, "%02x", c)));
  return out;
}

// Report headers, levels of several reports, the finishing tag and a
// refused structure.
TEST(Writegds, RecordsOfSurfaceAndLevelVariables) {
  vemra_test::TempDir dir;
  variable_descriptor surface{}, upper{};
  std::strcpy(surface.abbrev, "ps");
  std::strcpy(upper.abbrev, "t");
  upper.levels = 2;
  {
    Session s;
    s->writegds.name = dir.file("sxyt.gds");
    s->writegds.options = "-sxyt";
    s.add(stations({{"AAA     ", 10, 20, 0, 1, 1}, {"BBB     ", 11, 21, 0, 1, 2}}, &surface));
    EXPECT_NE(run(kaoutgds, s).find("WRITEGDS: 2 reports x 1 vars written as 2 records\n"),
              std::string::npos);
    // Tag, id length, id, longitude, latitude and the time as a double:
    // 20 41a00000, 10 41200000, 21 41a80000, 11 41300000, 1.0 3ff0000000000000.
    EXPECT_EQ(hex(vemra_test::read_file(s->writegds.name)),
              "5a000000"
              "00000008"
              "4141412020202020"
              "41a00000"
              "41200000"
              "3ff0000000000000"
              "5a000000"
              "00000008"
              "4242422020202020"
              "41a80000"
              "41300000"
              "3ff0000000000000");
  }
  {
    Session s;
    s->writegds.name = dir.file("zd.gds");
    s->writegds.options = "-zdi";
    s.add(stations({{"AAA     ", 10, 20, 0, 1, 1}, {"BBB     ", 11, 21, 0, 1, 2}}, &surface));
    s.add(stations({{"AAA     ", 10, 20, 850, 1, 5},
                    {"AAA     ", 10, 20, 500, 1, 6},
                    {"BBB     ", 11, 21, 850, 1, 7}},
                   &upper));
    run(kaoutgds, s);
    // Big-endian IEEE by hand: 1 3f800000, 850 44548000, 5 40a00000,
    // 500 43fa0000, 6 40c00000, 2 40000000, 7 40e00000.
    const std::string want =
        "5a000000"
        "3f800000"
        "5a000000"
        "44548000"
        "40a00000"
        "5a000000"
        "43fa0000"
        "40c00000"
        "a5000000"
        "5a000000"
        "40000000"
        "5a000000"
        "44548000"
        "40e00000"
        "a5000000";
    EXPECT_EQ(hex(vemra_test::read_file(s->writegds.name)), want);
    // The finishing tag alone.
    s->writegds.options = "f";
    run(kaoutgds, s);
    EXPECT_EQ(hex(vemra_test::read_file(s->writegds.name)), want + "a5000000");
  }
  {
    Session s;
    s->writegds.name = dir.file("bad.gds");
    s.add(stations({{"AAA     ", 10, 20, 0, 1, 1}}, &surface));
    s.add(stations({{"AAA     ", 10, 99, 0, 1, 1}}, &surface));
    std::string out = run(kaoutgds, s);
    EXPECT_NE(out.find("error: bad structure in result\n"), std::string::npos);
    EXPECT_EQ(out.find("WRITEGDS:"), std::string::npos);
  }
}

TEST(Dispatcher, RoutesByOutputTypeAndShape) {
  struct {
    int general, two_d, two_d_vector, one_d;  // the stored codes
    int results;                              // of the same shape
    int nx, ny;                               // 0: a one-value grid
    std::string want;
  } cases[] = {
      {0, 1, 4, 1, 1, 0, 0, "Result value = 3 \n"},
      // Grids without world scaling: each plot refuses them in its own words.
      {0, 2, 4, 1, 2, 3, 2,
       "Error plotting vector/barb field:  Invalid grids\n"
       "   Vector component grids have difference scaling\n"},
      {0, 1, 5, 2, 2, 3, 1,
       "Error plotting scatter plot:  Invalid grids\n   The two grids have difference scaling\n"},
      {0, 20, 4, 1, 1, 0, 0, "Vemra-LATS Error:  the grid must be lon/lat\n"},
      {2, 1, 4, 1, 1, 0, 0, "Printing Grid -- 1 Values -- Undef = -9.99e+33\n3 \n"},
  };
  kaplot_lats(kalats_plot);
  for (const auto& c : cases) {
    Session s;
    s->gxout_general = static_cast<general_output>(c.general);
    s->gxout_2d = static_cast<field_output>(c.two_d);
    s->gxout_2d_vector = static_cast<field_vector_output>(c.two_d_vector);
    s->gxout_1d = static_cast<line_output>(c.one_d);
    for (int r = 0; r < c.results; r++) {
      if (c.nx == 0)
        s.add(kagrvl(3));
      else
        s.add(grid(c.nx, c.ny, std::vector<float>(size_t(c.nx) * c.ny, 1)));
    }
    EXPECT_EQ(run(plot, s), c.want) << c.two_d << " " << c.results << " " << c.ny;
    EXPECT_EQ(held_count(s.get()), c.results);
  }
  // Statistics first when the switch is on; statistics only as general output.
  Session s;
  s->stat = 1;
  s.add(kagrvl(3));
  std::string stats =
      "Data Type = grid\nDimensions = -1 -1\nI Dimension = -999 to -999\n"
      "J Dimension = -999 to -999\nSizes = 1 1 1\nUndef value = -9.99e+33\n"
      "Undef count = 0  Valid count = 1\nMin, Max = 3 3\n";
  EXPECT_EQ(run(plot, s), stats + "Result value = 3 \n");
  s->stat = 0;
  s->gxout_general = output_stat;
  EXPECT_EQ(run(plot, s), stats);
  // A flip draws a scaled plot for once; the projection comes back.
  s->gxout_general = output_plot;
  s->mproj = map_projection::nps;
  s->xflip = 1;
  run(plot, s);
  EXPECT_EQ(s->mproj, map_projection::nps);

  Session st;
  station_set* set = stations({{"A       ", 0, 0, 0, 1, 1}});
  set->idim = 2;
  set->jdim = 1;
  st.add(set);
  EXPECT_EQ(run(plot, st), "Invalid stn data dimension environment\n");
}

TEST(ExpressionList, ResultsAreKeptInOrderOrAllReleased) {
  Session s;
  eval_state st{};
  st.idim = st.jdim = -1;
  {
    StdoutCapture cap;
    ASSERT_EQ(kapars("1;2*3", &st, s.get()), 0);
    EXPECT_EQ(cap.text(), "");
  }
  ASSERT_EQ(s->result_count, 2);
  ASSERT_NE(held_grid(s.get(), 0), nullptr);
  ASSERT_NE(held_grid(s.get(), 1), nullptr);
  EXPECT_EQ(held_grid(s.get(), 0)->values[0], 1);
  EXPECT_EQ(held_grid(s.get(), 1)->values[0], 6);
  kagrel(s.get());
  EXPECT_EQ(s->result_count, 0);
  EXPECT_EQ(held_count(s.get()), 0);

  StdoutCapture cap;
  EXPECT_EQ(kapars("1;2;3+", &st, s.get()), 1);
  EXPECT_EQ(s->result_count, 0);
  EXPECT_EQ(held_count(s.get()), 0);
  gcmn->interrupt = 1;
  EXPECT_EQ(kapars("1", &st, s.get()), 1);
  gcmn->interrupt = 0;
  EXPECT_EQ(held_count(s.get()), 0);
  EXPECT_EQ(cap.text(),
            "  Error ocurred at column 3\nDISPLAY error:  Invalid expression \n"
            "  Expression = 3+\nDISPLAY error:  Invalid expression \n  Expression = 1\n");
}

TEST(DefaultColours, RainbowFirstThenSingleColoursWithoutEnd) {
  const int want[] = {-1, 1, 3, 7, 2, 6, 9, 10, 11, 12, 1, 3, 7, 2};
  for (int pass = 0; pass < 14; pass++) EXPECT_EQ(kadcolor(pass), want[pass]) << pass;
  EXPECT_EQ(kadcolor(1000000), 1);
}

}  // namespace
