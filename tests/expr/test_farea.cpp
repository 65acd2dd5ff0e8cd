// Area averages and spatial correlation and regression: numbers against the
// independent tool with the same cell areas, boxes by hand, refusals.
#include <cmath>
#include <string>
#include <vector>

#include "expr/analysis_data.h"

namespace {

// Ten-degree cells that tile the globe: longitudes 5..355, latitudes -85..85.
struct Area : AnalysisData {
  void SetUp() override {
    lon0 = 5, dlon = 10, nx = 36;
    lat0 = -85, dlat = 10, ny = 18;
    nt = 3;
    names = {"u", "v"};
    value = [](int var, int x, int y, int, int t) {
      if (var == 0 && (x * 7 + y * 3 + t) % 23 == 0) return kUndef;
      const double a = std::sin(x * 0.37 + t) * 40 + y * 2.5 - 15;
      return float(var == 0 ? a : 0.6 * a + std::cos(y * 0.9 + x * t) * 12);
    };
    write();
  }
  void at_time(int t) { st.time_start = st.time_end = {2000, 1, t, 0, 0}; }
};

TEST_F(Area, AgreesWithToolOverTheGlobe) {
  if (!cdo_tool::available()) GTEST_SKIP() << "cdo is not installed";
  const std::string in = " " + dir.file("d.nc");
  // Cell areas the tool computes itself: bands of sines, or equal cells.
  const std::string sines = " -setgridarea," + dir.file("a.nc"),
                    equal = " -setgridarea," + dir.file("e.nc");
  ASSERT_TRUE(cdo_tool::run("-expr,'area=10*(sin(rad(clat(u)+5))-sin(rad(clat(u)-5)))' -selname,u" +
                            in + " " + dir.file("a.nc")));
  ASSERT_TRUE(cdo_tool::run("-expr,'area=clat(u)*0+1' -selname,u" + in + " " + dir.file("e.nc")));
  // v where u is defined, named u.
  const std::string v = " -chname,v,u -ifthen -selname,u" + in + " -selname,v" + in;
  const std::string u = " -selname,u" + in;
  struct {
    const char* expr;
    std::string tool;  // then divided by the second result when there is one
    std::string divisor;
  } cases[] = {
      {"aave(u,global)", "fldmean" + sines + u, ""},
      {"amean(u,lon=0,lon=360,lat=-90,lat=90)", "fldmean" + equal + u, ""},
      {"aave(v,x=1,x=36,y=1,y=18)", "fldmean" + sines + " -chname,v,u -selname,v" + in, ""},
      {"scorr(u,v,global)", "fldcor" + sines + u + sines + v, ""},
      // Regression of v on u: covariance over the variance of u.
      {"sregr(u,v,global)", "fldcovar" + sines + u + sines + v, "fldvar" + sines + u},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(cdo_tool::run(c.tool + " " + dir.file("r.nc"))) << c.tool;
    std::vector<float> want = cdo_tool::read(dir.file("r.nc"), "u");
    if (!c.divisor.empty()) {
      ASSERT_TRUE(cdo_tool::run(c.divisor + " " + dir.file("q.nc"))) << c.divisor;
      const std::vector<float> d = cdo_tool::read(dir.file("q.nc"), "u");
      for (size_t k = 0; k < want.size() && k < d.size(); k++) want[k] /= d[k];
    }
    ASSERT_EQ(want.size(), size_t(nt)) << c.expr;
    for (int t = 1; t <= nt; t++) {
      at_time(t);
      EXPECT_NEAR(scalar(c.expr), want[t - 1], 5e-5 * std::fmax(1.0, std::fabs(want[t - 1])))
          << c.expr << " day " << t;
    }
  }
}

TEST_F(Area, BoxesByHand) {
  // lon 20..45 covers the cells at 25 and 35 wholly and half of the one at
  // 45; lat 0..10 the cell at 5, its neighbours only touch the box.
  auto u = [&](int x, int y) { return double(value(0, x, y, 1, 1)); };
  double s_ave = 0, w_ave = 0, s_sum = 0, s_g = 0;
  for (int x = 3; x <= 5; x++) {
    const double wx = x == 5 ? 5 : 10;
    if (u(x, 10) == kUndef) continue;
    s_ave += u(x, 10) * wx;
    w_ave += wx;
    s_sum += u(x, 10) * wx / 10;
  }
  for (int x = 2; x <= 4; x++)
    for (int y = 9; y <= 10; y++)
      if (u(x, y) != kUndef) s_g += u(x, y);
  double s_row = 0;  // lon 25..45 on the row at 5
  for (int x = 3; x <= 5; x++)
    if (u(x, 10) != kUndef) s_row += u(x, 10);
  struct {
    const char* expr;
    double want;
  } cases[] = {
      {"aave(u,lon=20,lon=45,lat=0,lat=10)", s_ave / w_ave},
      {"asum(u,lon=20,lon=45,lat=0,lat=10)", s_sum},
      {"asumg(u,x=2,x=4,y=9,y=10)", s_g},  // grid bounds: exactly the points named
      // Ends on one point read it; near ends keep the sliver between them.
      {"asumg(u,lon=25,lon=45,lat=5,lat=5)", s_row},
      {"aave(u,lon=20,lon=45,lat=5,lat=5.004)", s_ave / w_ave},
      {"aave(u,lon=0,lon=360,lat=-90,lat=90)", scalar("aave(u,g)")},
      {"asum(const(u,1,-a),lon=0,lon=360,lat=80,lat=100)", 36.0},  // clipped at the pole
      {"scorr(v,-2*v,global)", -1.0},
      {"sregr(u,2*u+3,global)", 2.0},
      {"scorr(u*0+1,v,global)", kUndef},  // no variance
  };
  for (const auto& k : cases)
    EXPECT_NEAR(scalar(k.expr), k.want, 1e-5 * std::fmax(1.0, std::fabs(k.want))) << k.expr;
}

TEST_F(Area, CorrelationOverABoxByHand) {
  // lon 20..45: the cells at 25 and 35 whole, the one at 45 half; lat
  // -10..30: four whole rows. Weights: width times the difference of the
  // sines; only points where both fields are defined count.
  double sw = 0, sa = 0, sb = 0;
  struct point {
    double w, a, b;
  };
  std::vector<point> pts;
  for (int y = 9; y <= 12; y++)
    for (int x = 3; x <= 5; x++) {
      const float a = value(0, x, y, 1, 1), b = value(1, x, y, 1, 1);
      if (a == kUndef || b == kUndef) continue;
      const double w = (x == 5 ? 5 : 10) *
                       (std::sin((lat(y) + 5) * M_PI / 180) - std::sin((lat(y) - 5) * M_PI / 180));
      pts.push_back({w, a, b});
      sw += w, sa += w * a, sb += w * b;
    }
  ASSERT_GE(pts.size(), 8u);
  double qa = 0, qb = 0, c = 0;
  for (const point& p : pts) {
    qa += p.w * (p.a - sa / sw) * (p.a - sa / sw);
    qb += p.w * (p.b - sb / sw) * (p.b - sb / sw);
    c += p.w * (p.a - sa / sw) * (p.b - sb / sw);
  }
  const double r = c / std::sqrt(qa * qb), slope = c / qa;
  EXPECT_NEAR(scalar("scorr(u,v,lon=20,lon=45,lat=-10,lat=30)"), r, 2e-6);
  EXPECT_NEAR(scalar("sregr(u,v,lon=20,lon=45,lat=-10,lat=30)"), slope, 2e-6 * std::fabs(slope));
  // Far from zero the variances keep their precision (up to the rounding
  // of the shifted values to float).
  EXPECT_NEAR(scalar("scorr(u+8192,v-4096,lon=20,lon=45,lat=-10,lat=30)"), r, 5e-5);
  EXPECT_NEAR(scalar("sregr(u+8192,3*u-4096,global)"), 3.0, 1e-5);
  EXPECT_EQ(scalar("scorr(u,v,lon=20,lon=45,lat=-10,lat=30)"),
            scalar("scorr(v,u,lon=20,lon=45,lat=-10,lat=30)"));
  // Nothing defined in both over the box: undefined.
  EXPECT_EQ(scalar("scorr(maskout(u,-1),v,global)"), kUndef);
}

TEST_F(Area, Refusals) {
  struct {
    const char* expr;
    const char* text;
  } cases[] = {
      {"aave(u,lon=0,lon=360,lat=-90)",
       "Error from AAVE:  Too many or too few args\n                  5 arguments expected \n"},
      {"asumg(u,lon=0,lon=360,lat=-90,lev=500)",
       "Error from ASUMG:  Invalid dimension expression \n"},
      {"aave(5,global)",
       "Error from AAVE:  The expression does not vary in longitude and latitude\n"},
      {"sregr(u,v,lon=0,lon=360,lat=-90)",
       "Error from SCORR:  Too many or too few args \n                   6 arguments expected \n"},
  };
  for (const auto& c : cases) EXPECT_TRUE(refused(c.expr, c.text)) << c.expr << "\n" << out;
  st.jdim = 3;
  EXPECT_TRUE(
      refused("aave(u,global)", "Error from AAVE  Invalid environment.  Z, T can't vary.\n"));
}

// One-degree cells, rows of 13: scorr and sregr against a plain two-pass
// loop over rows of 2 to 13 points (the sums take four a step, then two,
// then one), single rows, holes in either field, fields far from zero.
struct CorrelationSums : AnalysisData {
  void SetUp() override {
    lon0 = 0.5, nx = 13, lat0 = -3, ny = 6, names = {"u", "v", "c", "d"};
    value = [](int var, int x, int y, int, int) {
      const double s = std::sin(x * 0.37 + y * 0.5) * 40, c = std::cos(y * 0.9 + x);
      const double v[4] = {s + y * 2.5, 0.6 * s + c * 12, 101325 + s / 13, 101000 + c * 2 + s / 40};
      const int hole[4] = {(x * 7 + y * 3) % 11, (x * 5 + y) % 9, (x + y) % 10, 1};
      return hole[var] ? float(v[var]) : kUndef;
    };
    write();
  }
};

TEST_F(CorrelationSums, AgreeWithAPlainLoop) {
  for (const auto& [a, b] : {std::pair{0, 1}, {1, 0}, {2, 3}, {2, 1}})
    for (int n = 2; n <= nx; n++)
      for (const auto& [y1, y2] : {std::pair{1, 1}, {6, 6}, {1, 6}, {2, 4}}) {
        // Centre to centre, so the grid read has n columns: the end cells
        // count half, every cell times the difference of its row's sines.
        double w = 0, ma = 0, mb = 0, qa = 0, qb = 0, c = 0;
        for (int pass = 0; pass < 2; pass++)
          for (int y = y1; y <= y2; y++)
            for (int x = 1; x <= n; x++) {
              const double u = value(a, x, y, 1, 1), v = value(b, x, y, 1, 1),
                           t = lat(y) * M_PI / 180;
              const double k = (std::fmin(x, n - 0.5) - std::fmax(x - 1, 0.5)) *
                               (std::sin(t + M_PI / 360) - std::sin(t - M_PI / 360));
              if (u == kUndef || v == kUndef) continue;
              const double da = u - ma, db = v - mb;
              if (pass == 0) w += k, ma += k / w * da, mb += k / w * db;
              if (pass == 1) qa += k * da * da, qb += k * db * db, c += k * da * db;
            }
        const std::string box = "(" + names[a] + "," + names[b] +
                                ",lon=0.5,lon=" + std::to_string(n - 0.5) +
                                ",y=" + std::to_string(y1) + ",y=" + std::to_string(y2) + ")";
        const double r = qa * qb > 0 ? c / std::sqrt(qa * qb) : kUndef,
                     s = qa > 0 ? c / qa : kUndef;
        EXPECT_NEAR(scalar(("scorr" + box).c_str()), r, 1e-6) << box;
        EXPECT_NEAR(scalar(("sregr" + box).c_str()), s, 1e-6 * std::fmax(1.0, std::fabs(s))) << box;
      }
}

// Ten-degree cells from longitude 0: the globe from 0 to 360 reads the
// column at 0 again as its 37th.
struct WrapArea : AnalysisData {
  void SetUp() override {
    lon0 = 0, dlon = 10, nx = 36;
    lat0 = -85, dlat = 10, ny = 18;
    names = {"u"};
    value = [](int, int x, int y, int, int) {
      if ((x * 5 + y * 11) % 19 == 0) return kUndef;
      return float(std::cos(x * 0.41) * 30 + y * 1.5 - 7);
    };
    write();
  }
  double u(int x, int y) const { return value(0, x, y, 1, 1); }
};

TEST_F(WrapArea, EachColumnCountsOnce) {
  // By hand over the 36 distinct columns: the plain sum, the sine-weighted
  // and the plain mean of the defined values, and their count.
  double sum = 0, ws = 0, w = 0, count = 0;
  for (int y = 1; y <= ny; y++)
    for (int x = 1; x <= nx; x++) {
      if (u(x, y) == kUndef) continue;
      const double lo = lat(y) - 5, hi = lat(y) + 5;
      const double wy = std::sin(hi * M_PI / 180) - std::sin(lo * M_PI / 180);
      sum += u(x, y);
      ws += u(x, y) * wy;
      w += wy;
      count++;
    }
  struct {
    const char* expr;
    double want;
  } cases[] = {
      {"asumg(u,global)", sum},
      {"asumg(u,x=1,x=37,y=1,y=18)", sum},
      {"asumg(const(u,1),lon=0,lon=360,lat=-90,lat=90)", count},
      {"asum(const(u,1,-a),global)", 36.0 * 18},
      {"asum(const(u,1,-a),x=1,x=37,y=1,y=18)", 36.0 * 18},
      {"asum(u,x=1,x=37,y=1,y=18)", sum},
      // The two half boxes at 0 and 360 of the global box make one.
      {"aave(u,global)", ws / w},
      {"aave(u,x=1,x=37,y=1,y=18)", ws / w},
      {"amean(u,global)", sum / count},
      // More than a whole turn still counts each column once.
      {"asumg(u,lon=-90,lon=400,lat=-90,lat=90)", sum},
  };
  for (const auto& c : cases)
    EXPECT_NEAR(scalar(c.expr), c.want, 2e-5 * std::fmax(1.0, std::fabs(c.want))) << c.expr;
  // Part of the globe is unchanged: lon 0..20 has the half box at 0 and the
  // whole one at 10; 350..360 only half of the one at 360.
  double s = 0, t = 0;
  for (int x : {1, 2, 3})
    if (u(x, 9) != kUndef) s += u(x, 9) * (x == 2 ? 10 : 5), t += x == 2 ? 10 : 5;
  EXPECT_NEAR(scalar("amean(u,lon=0,lon=20,lat=-10,lat=0)"), s / t, 1e-5 * std::fmax(1.0, s / t));
}

TEST_F(WrapArea, IntegralOverTheGlobeCountsEachColumnOnce) {
  const double m = 6.37e6 * 3.1416 / 180;  // metres per degree
  // At a fixed latitude: 36 columns of 10 degrees, times the cosine of it.
  st.idim = st.jdim = -1;
  st.dim_min[1] = st.dim_max[1] = 5;
  EXPECT_NEAR(scalar("gint(const(u,1,-a),lon=0,lon=360)"), 360 * m * std::cos(5 * 3.1416 / 180),
              1.0);
  double row = 0;
  for (int x = 1; x <= nx; x++)
    if (u(x, 10) != kUndef) row += u(x, 10) * 10 * m * std::cos(5 * 3.1416 / 180);
  EXPECT_NEAR(scalar("gint(u,lon=0,lon=360)"), row, 1e-5 * std::fabs(row));
  // Along latitude: every row the cosine of its own latitude.
  st.idim = 1;
  st.dim_min[1] = float(lat(1));
  st.dim_max[1] = float(lat(ny));
  grid_field* g = eval("gint(const(u,1,-a),lon=0,lon=360)");
  ASSERT_NE(g, nullptr) << out;
  ASSERT_EQ(g->isiz, ny);
  for (int y = 1; y <= ny; y++)
    EXPECT_NEAR(g->values[y - 1], 360 * m * std::cos(lat(y) * 3.1416 / 180), 40.0) << y;
}

// A quarter-degree globe of a constant: a million weighted values summed in
// single precision would drift far from it.
struct FineArea : AnalysisData {
  void SetUp() override {
    lon0 = 0, dlon = 0.25, nx = 1440;
    lat0 = -90, dlat = 0.25, ny = 721;
    names = {"c"};
    value = [](int, int, int, int, int) { return 273.15f; };
    write();
  }
};

TEST_F(FineArea, SumsKeepTheirPrecision) {
  for (const char* e : {"aave(c,global)", "amean(c,global)", "aave(c,x=1,x=1440,y=1,y=721)"})
    EXPECT_NEAR(scalar(e), 273.15, 2e-4) << e;
  const double c = 273.15f;
  EXPECT_NEAR(scalar("asumg(c,x=1,x=1440,y=1,y=721)"), c * 1440 * 721, 16.0);
  // The globe from 0 to 360 reads the column at 0 a second time at 360; it
  // counts once.
  EXPECT_NEAR(scalar("asumg(c,global)"), c * 1440 * 721, 16.0);
}

}  // namespace
