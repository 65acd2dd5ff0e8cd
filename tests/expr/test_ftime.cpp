// Functions over a range of times or a dimension: the time-masked average,
// correlation and regression against the independent tool, the time loop,
// and integrals by hand.
#include <cmath>
#include <string>
#include <vector>

#include "expr/analysis_data.h"

namespace {

struct Times : AnalysisData {
  void SetUp() override {
    lon0 = 0, dlon = 10, nx = 6;
    lat0 = 0, dlat = 30, ny = 3;
    nt = 12;
    levels = {1000, 850, 500};
    names = {"u", "s"};
    // s is the same everywhere (a series) and undefined every fourth day; u
    // has an undefined point now and then and one point that never varies.
    value = [](int var, int x, int y, int z, int t) {
      if (var == 1) return t % 4 == 0 ? kUndef : float(std::sin(t * 1.3) * 5 + t * 0.5);
      if ((x * 5 + y * 3 + t) % 17 == 0) return kUndef;
      if (x == 6 && y == 3) return 7.0f;
      return float(std::cos(x * 0.8 + t * 0.45 * y) * 10 + z + std::sin(t * 1.3) * x);
    };
    write();
  }
  void day(int t) { st.time_start = st.time_end = {2000, 1, t, 0, 0}; }
  float u(int x, int y, int z, int t) const { return value(0, x, y, z, t); }
};

constexpr const char* kUsed = "1,2,3,5,6,7,9,10,11";  // the days the series is defined

TEST_F(Times, AgreesWithTool) {
  if (!cdo_tool::available()) GTEST_SKIP() << "cdo is not installed";
  const std::string in = dir.file("d.nc"), r = dir.file("r.nc");
  const std::string sel = " -seltimestep," + std::string(kUsed);
  const std::string U = sel + " -selname,u " + in, S = sel + " -chname,s,u -selname,s " + in;
  struct {
    const char* expr;
    std::string tool;
  } cases[] = {
      {"tmave(aave(s,global)*0+1,u,t=1,t=12)", "timmean" + U},
      {"tcorr(aave(s,global),u,t=1,t=12)", "timcor" + S + U},
      {"tregr(aave(s,global),u,t=1,t=12)", "div -timcovar" + S + U + " -timvar" + S},
  };
  // The first level: the plane the environment holds.
  for (const auto& c : cases) {
    ASSERT_TRUE(cdo_tool::run(c.tool + " " + r)) << c.tool;
    const std::vector<float> want = cdo_tool::read(r, "u");
    ASSERT_EQ(want.size(), size_t(nx * ny * nz())) << c.tool;
    grid_field* g = eval(c.expr);
    ASSERT_NE(g, nullptr) << c.expr << out;
    for (int k = 0; k < nx * ny; k++) {
      const int x = k % nx + 1, y = k / nx + 1;
      bool gaps = false;  // regression over days where u is missing uses fewer days
      for (int t = 1; t <= nt; t++) gaps |= u(x, y, 1, t) == kUndef;
      const bool regression = c.expr[1] == 'r';
      if (regression && gaps) continue;
      if (x == 6 && y == 3 && c.expr[1] != 'm') {
        // A constant: no correlation, no regression.
        EXPECT_EQ(g->values[k], regression ? 0.0f : kUndef) << c.expr;
        continue;
      }
      EXPECT_NEAR(g->values[k], want[k], 2e-4 * std::fmax(1.0f, std::fabs(want[k])))
          << c.expr << " " << k;
    }
  }
}

TEST_F(Times, MasksAndLoops) {
  // Weights by the series itself; undefined series: undefined result.
  double s = 0, w = 0;
  for (int t = 1; t <= 3; t++) {
    s += value(1, 1, 1, 1, t) * u(3, 2, 1, t);
    w += value(1, 1, 1, 1, t);
  }
  EXPECT_NEAR(at("tmave(aave(s,global),u,t=1,t=3)", nx + 2), s / w, 1e-4);
  EXPECT_NE(out.find("TMAVE:  dim = 3, start = 1, end = 3\n"), std::string::npos) << out;
  grid_field* g = eval("tcorr(aave(s,global),u,t=4,t=4)");
  ASSERT_NE(g, nullptr) << out;
  for (int i = 0; i < nx * ny; i++) EXPECT_EQ(g->values[i], kUndef);
  EXPECT_TRUE(
      refused("tregr(s,u,t=1,t=3)",
              "Error from TREGR:  1st arg must be 0-D\nError from TREGR:  Error getting grids\n"));

  // tloop with x and time varying (days 3 to 7): one row per day.
  st.jdim = 3;
  st.time_end = {2000, 1, 7, 0, 0};
  st.time_start = {2000, 1, 3, 0, 0};
  st.dim_min[1] = st.dim_max[1] = 30;
  g = eval("tloop(u+1)");
  ASSERT_NE(g, nullptr) << out;
  ASSERT_TRUE(g->idim == 0 && g->jdim == 3 && g->jsiz == 5);
  for (int k = 0; k < 5 * nx; k++) {
    const float v = u(k % nx + 1, 2, 1, k / nx + 3);
    EXPECT_EQ(g->values[k], v == kUndef ? kUndef : v + 1) << k;
  }
  // A one-value expression gives a series along time: the values each day
  // gives by itself (a range of one day: one value, no time dimension).
  st.idim = 3;
  st.jdim = -1;
  st.dim_min[0] = st.dim_max[0] = 20;
  g = eval("tloop(aave(u,global))");
  ASSERT_NE(g, nullptr) << out;
  ASSERT_TRUE(g->idim == 3 && g->isiz == 5 && g->dim_min[3] == 3);
  const std::vector<float> loop(g->values, g->values + 5);
  for (int t = 3; t <= 7; t++) {
    day(t);
    EXPECT_FLOAT_EQ(loop[t - 3], float(scalar("tloop(aave(u,global))"))) << t;
  }
}

TEST_F(Times, Integrals) {
  const int k = 1 * nx + 2;  // x 3, y 2
  const double m = 6.37e6 * 3.1416 / 180;
  const float a = u(3, 2, 1, 1), b = u(3, 2, 1, 2), c = u(3, 2, 1, 3);
  ASSERT_TRUE(a != kUndef && b != kUndef && c != kUndef);
  struct {
    const char* expr;
    double want;
  } cases[] = {
      {"gint(u,t=1,t=3)", (double(a) + b + c) * 1440},  // minutes on a daily axis
      {"gint(u,t=1,t=3,-b)", (0.5 * a + b + 0.5 * c) * 1440},
      {"gint(u,t=2,t=2,-b)", 0.5 * b * 1440},
      // Layers: 1075..925, 925..675, 675..325 by the level list extended.
      {"gint(u,lev=1000,lev=500)", 150.0 * a + 250.0 * u(3, 2, 2, 1) + 350.0 * u(3, 2, 3, 1)},
  };
  for (const auto& e : cases)
    EXPECT_NEAR(at(e.expr, k), e.want, 1e-5 * std::fabs(e.want)) << e.expr;
  // Along longitude: each latitude row scaled by its cosine, the same as at
  // a fixed latitude.
  st.idim = 1;
  st.jdim = -1;
  grid_field* g = eval("gint(const(u,1,-a),lon=0,lon=50)");
  ASSERT_NE(g, nullptr) << out;
  ASSERT_EQ(g->isiz, ny);
  for (int y = 1; y <= ny; y++)
    EXPECT_NEAR(g->values[y - 1], 60 * m * std::cos(lat(y) * 3.1416 / 180), 30.0) << y;
  st.idim = -1;
  st.dim_min[1] = st.dim_max[1] = 60;
  EXPECT_NEAR(scalar("gint(const(u,1,-a),lon=0,lon=50)"), 30 * m, 30.0);
}

}  // namespace
