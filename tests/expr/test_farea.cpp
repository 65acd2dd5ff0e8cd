// Area averages and spatial correlation and regression: numbers against the
// independent tool with the same cell areas, hand-computed boxes, and the
// refusals.
#include <netcdf.h>

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
  // Cell areas as a weights file for the tool: band of sines (aave) or
  // plain degrees (amean) times the cell width.
  std::string areas(bool sines) {
    const std::string path = dir.file(sines ? "a1.nc" : "a2.nc");
    int nc, dy, dx, vy, vx, va;
    EXPECT_EQ(nc_create(path.c_str(), NC_CLOBBER, &nc), NC_NOERR);
    nc_def_dim(nc, "lat", size_t(ny), &dy);
    nc_def_dim(nc, "lon", size_t(nx), &dx);
    nc_def_var(nc, "lat", NC_DOUBLE, 1, &dy, &vy);
    nc_put_att_text(nc, vy, "units", 13, "degrees_north");
    nc_def_var(nc, "lon", NC_DOUBLE, 1, &dx, &vx);
    nc_put_att_text(nc, vx, "units", 12, "degrees_east");
    int dims[2] = {dy, dx};
    nc_def_var(nc, "area", NC_DOUBLE, 2, dims, &va);
    nc_enddef(nc);
    std::vector<double> la, lo, a;
    for (int y = 1; y <= ny; y++) la.push_back(lat(y));
    for (int x = 1; x <= nx; x++) lo.push_back(lon(x));
    const double rad = M_PI / 180;
    for (int y = 1; y <= ny; y++)
      for (int x = 1; x <= nx; x++) {
        const double s = lat(y) - 5, n = lat(y) + 5;
        a.push_back(10.0 * (sines ? std::sin(n * rad) - std::sin(s * rad) : n - s));
      }
    nc_put_var_double(nc, vy, la.data());
    nc_put_var_double(nc, vx, lo.data());
    nc_put_var_double(nc, va, a.data());
    nc_close(nc);
    return path;
  }
  void at_time(int t) { st.time_start = st.time_end = {2000, 1, t, 0, 0}; }
};

TEST_F(Area, AgreesWithToolOverTheGlobe) {
  if (!cdo_tool::available()) GTEST_SKIP() << "cdo is not installed";
  const std::string in = dir.file("d.nc");
  struct {
    const char* expr;
    std::string tool;  // tool arguments writing r.nc
    const char* var;
  } cases[] = {
      {"aave(u,global)", "fldmean -setgridarea," + areas(true) + " -selname,u " + in, "u"},
      {"amean(u,lon=0,lon=360,lat=-90,lat=90)", "fldmean -setgridarea," + areas(false) + " -selname,u " + in, "u"},
      {"aave(v,x=1,x=36,y=1,y=18)", "fldmean -setgridarea," + areas(true) + " -selname,v " + in, "v"},
      {"scorr(u,v,global)", "fldcor -setgridarea," + areas(true) + " -selname,u " + in +
           " -setgridarea," + areas(true) + " -chname,v,u -ifthen -selname,u " + in + " -selname,v " + in,
       "u"},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(cdo_tool::run(c.tool + " " + dir.file("r.nc"))) << c.tool;
    const std::vector<float> want = cdo_tool::read(dir.file("r.nc"), c.var);
    ASSERT_EQ(want.size(), size_t(nt)) << c.expr;
    for (int t = 1; t <= nt; t++) {
      at_time(t);
      EXPECT_NEAR(scalar(c.expr), want[t - 1], 2e-5 * std::fmax(1.0, std::fabs(want[t - 1])))
          << c.expr << " day " << t;
    }
  }
  // Regression of v on u: covariance over the variance of u, both weighted,
  // over the points where both are defined.
  const std::string both = "-setgridarea," + areas(true) + " -ifthen -selname,u " + in + " ";
  ASSERT_TRUE(cdo_tool::run("fldcovar " + both + "-selname,u " + in + " " + both +
                            "-chname,v,u -selname,v " + in + " " + dir.file("c.nc")));
  ASSERT_TRUE(cdo_tool::run("fldvar " + both + "-selname,u " + in + " " + dir.file("w.nc")));
  const std::vector<float> cov = cdo_tool::read(dir.file("c.nc"), "u");
  const std::vector<float> var = cdo_tool::read(dir.file("w.nc"), "u");
  ASSERT_EQ(cov.size(), size_t(nt));
  ASSERT_EQ(var.size(), size_t(nt));
  for (int t = 1; t <= nt; t++) {
    at_time(t);
    const double want = double(cov[t - 1]) / var[t - 1];
    EXPECT_NEAR(scalar("sregr(u,v,global)"), want, 1e-4 * std::fabs(want)) << t;
  }
}

TEST_F(Area, BoxesByHand) {
  // A box cutting cells: lon 20..45 covers the cells at 25 and 35 wholly
  // and half of the one at 45; lat 0..10 the cell at 5 wholly, the cells
  // next to it touch the box only at their edges.
  auto u = [&](int x, int y) { return double(value(0, x, y, 1, 1)); };
  const double c = 0.017453333;
  double s_ave = 0, w_ave = 0, s_sum = 0, s_g = 0;
  int n_g = 0;
  for (int x = 3; x <= 5; x++) {
    const double wx = x == 5 ? 5 : 10;
    const double w = wx * (std::sin(10 * c) - std::sin(0.0));
    if (u(x, 10) == kUndef) continue;
    s_ave += u(x, 10) * w;
    w_ave += w;
    s_sum += u(x, 10) * wx / 10;
  }
  for (int x = 2; x <= 4; x++)
    for (int y = 9; y <= 10; y++)
      if (u(x, y) != kUndef) s_g += u(x, y), n_g++;
  ASSERT_GT(n_g, 0);
  struct {
    const char* expr;
    double want;
  } cases[] = {
      {"aave(u,lon=20,lon=45,lat=0,lat=10)", s_ave / w_ave},
      {"asum(u,lon=20,lon=45,lat=0,lat=10)", s_sum},
      // Grid bounds: asumg takes exactly the points named.
      {"asumg(u,x=2,x=4,y=9,y=10)", s_g},
      {"aave(u,lon=0,lon=360,lat=-90,lat=90)", scalar("aave(u,g)")},
      // Polar cells: the box beyond the pole is clipped to it.
      {"asum(const(u,1,-a),lon=0,lon=360,lat=80,lat=100)", 36.0},
  };
  for (const auto& k : cases)
    EXPECT_NEAR(scalar(k.expr), k.want, 1e-5 * std::fmax(1.0, std::fabs(k.want))) << k.expr;
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
  // The globe from 0 to 360 reads the column at 0 a second time at 360.
  EXPECT_NEAR(scalar("asumg(c,global)"), c * 1441 * 721, 16.0);
}

TEST_F(Area, CorrelationEdgeCases) {
  EXPECT_NEAR(scalar("scorr(v,v,global)"), 1.0, 1e-5);
  EXPECT_NEAR(scalar("scorr(v,-2*v,global)"), -1.0, 1e-5);
  EXPECT_NEAR(scalar("sregr(u,2*u+3,global)"), 2.0, 1e-4);
  EXPECT_EQ(scalar("scorr(u*0+1,v,global)"), kUndef);  // no variance
  EXPECT_EQ(scalar("sregr(u*0+1,v,global)"), kUndef);
}

TEST_F(Area, Refusals) {
  struct {
    const char* expr;
    const char* text;
  } cases[] = {
      {"aave(u,lon=0,lon=360,lat=-90)", "Error from AAVE:  Too many or too few args\n"
                                         "                  5 arguments expected \n"},
      {"asumg(u,lon=0,lon=360,lat=-90,lev=500)", "Error from ASUMG:  Invalid dimension expression \n"},
      {"aave(5,global)", "Error from AAVE:  The expression does not vary in longitude and latitude\n"},
      {"sregr(u,v,lon=0,lon=360,lat=-90)", "Error from SCORR:  Too many or too few args \n"
                                           "                   6 arguments expected \n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(eval(c.expr), nullptr) << c.expr;
    EXPECT_EQ(out.rfind(c.text, 0), 0u) << c.expr << "\n" << out;
  }
  st.jdim = 3;
  EXPECT_EQ(eval("aave(u,global)"), nullptr);
  EXPECT_EQ(out.rfind("Error from AAVE  Invalid environment.  Z, T can't vary.\n", 0), 0u) << out;
}

}  // namespace
