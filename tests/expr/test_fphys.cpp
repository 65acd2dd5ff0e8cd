// Divergence and curl against the independent tool at inner points; the
// humidity solver and the vertical integral by hand.
#include <cmath>
#include <string>
#include <vector>

#include "expr/analysis_data.h"

namespace {

// A smooth wind on a two-degree regional grid.
struct Wind : AnalysisData {
  void SetUp() override {
    lon0 = 0, dlon = 2, nx = 31;
    lat0 = 10, dlat = 2, ny = 21;
    names = {"u", "v"};
    value = [this](int var, int x, int y, int, int) {
      const double lo = lon(x) * M_PI / 180, la = lat(y) * M_PI / 180;
      if (var == 0) return float(10 * std::cos(la) * std::sin(lo * 3) + 4);
      return float(5 * std::sin(lo * 2) * std::cos(la * 2));
    };
    write();
  }
};

TEST_F(Wind, AgreesWithToolInside) {
  if (!cdo_tool::available()) GTEST_SKIP() << "cdo is not installed";
  struct {
    const char* expr;
    const char* op;
    const char* var;
  } cases[] = {{"hdivg(u,v)", "uv2dv_cfd", "d"}, {"hcurl(u,v)", "uv2vr_cfd", "vo"}};
  for (const auto& c : cases) {
    const std::string r = dir.file("r.nc");
    ASSERT_TRUE(cdo_tool::run(std::string(c.op) + " " + dir.file("d.nc") + " " + r)) << c.op;
    const std::vector<float> want = cdo_tool::read(r, c.var);
    ASSERT_EQ(want.size(), size_t(nx * ny)) << c.op;
    grid_field* g = eval(c.expr);
    ASSERT_NE(g, nullptr) << out;
    double scale = 0;
    for (float w : want) scale = std::fmax(scale, std::fabs(w));
    ASSERT_GT(scale, 1e-7);
    for (int y = 1; y <= ny; y++)
      for (int x = 1; x <= nx; x++) {
        const int k = (y - 1) * nx + x - 1;
        if (x == 1 || x == nx || y == 1 || y == ny) {
          EXPECT_EQ(g->values[k], kUndef) << c.expr << " edge " << x << "," << y;
          continue;
        }
        // The stencils differ at second order in the two-degree spacing.
        EXPECT_NEAR(g->values[k], want[k], 2e-3 * scale) << c.expr << " " << x << "," << y;
      }
  }
}

TEST_F(Wind, UniformFlowAndRefusals) {
  EXPECT_EQ(at("hdivg(u*0+7,v*0)", 5 * nx + 5), 0.0);
  EXPECT_NEAR(at("hcurl(u*0+7,v*0)", 5 * nx + 5), 7 * std::tan(lat(6) * 3.1416 / 180) / 6.37e6,
              1e-10)
      << "the curl of an eastward flow on the sphere";
  EXPECT_TRUE(refused("hdivg(u)", "Error from HDIVG:  Too many or too few args \n")) << out;
  st.idim = 1;
  st.jdim = -1;
  EXPECT_TRUE(refused("hcurl(u,v)",
                      "Error from HCURL:  Invalid dimension environment\n"
                      "  Horizontal environment (X, Y Varying) is required\n"))
      << out;
}

// Five pressure levels; ps and q over four points.
struct Column : AnalysisData {
  void SetUp() override {
    nx = 4;
    levels = {1000, 850, 700, 500, 300};
    names = {"ps", "q", "tv", "rh"};
    value = [](int var, int x, int, int z, int) {
      const float ps[4] = {1000, 900, 250, kUndef};
      switch (var) {
        case 0: return ps[x - 1];
        case 1: return float(z);
        case 2: return x == 4 ? kUndef : 300.0f - 10 * (z - 1);
        default: return x == 1 ? 0.0f : 40.0f + 20 * x;
      }
    };
    write();
    plane(0, -1);
  }
};

TEST_F(Column, VerticalIntegral) {
  const double G = 10.204082;
  struct {
    const char* expr;
    double want[3];  // by surface pressure 1000, 900, 250 (above the top: nothing, not less)
  } cases[] = {
      {"vint(ps,const(q,1,-a),300)", {700 * G, 600 * G, 0}},
      {"vint(ps,const(q,1,-a),600)", {400 * G, 300 * G, kUndef}},
      // The top between the two lowest levels: the lowest layer reaches it.
      {"vint(ps,const(q,1,-a),900)", {100 * G, kUndef, kUndef}},
      // Each level weighs its own layer: 75, 150, 175, 200 and 100 mb.
      {"vint(ps,q,300)",
       {(75 + 2 * 150 + 3 * 175 + 4 * 200 + 5 * 100) * G,
        (2 * 125 + 3 * 175 + 4 * 200 + 5 * 100) * G, 0}},
  };
  for (const auto& c : cases) {
    grid_field* g = eval(c.expr);
    ASSERT_NE(g, nullptr) << c.expr << out;
    ASSERT_EQ(g->isiz, 4);
    for (int k = 0; k < 3; k++)
      EXPECT_NEAR(g->values[k], c.want[k], 1e-3 * std::fmax(1.0, std::fabs(c.want[k])))
          << c.expr << " point " << k;
    EXPECT_EQ(g->values[3], kUndef) << c.expr;
  }
  EXPECT_TRUE(refused("vint(ps,q)", "Error from VINT:  Too many or too few args \n")) << out;
  EXPECT_TRUE(refused("vint(ps,q,top)", "Error from VINT:  3rd argument invalid. \n")) << out;
}

// Saturation vapour pressure in pascal at t kelvin.
double es(double t) {
  const double c = t - 273.16;
  return 100 * std::pow(10.0, (0.7854 + 0.03477 * c) / (1 + 0.00412 * c));
}

TEST_F(Column, HumidityFromVirtualTemperature) {
  // At 850 mb fixed: the dry point gives q 0 and t = tv; the others must
  // satisfy both defining relations with the solved q and t.
  plane(0, -1, 850);
  grid_field* q = eval("tvrh2q(tv,rh)");
  ASSERT_NE(q, nullptr) << out;
  EXPECT_EQ(out, "Notice from TVRH2Q: Using fixed pressure level 850 mb\n");
  const std::vector<float> qs(q->values, q->values + 4);
  grid_field* t = eval("tvrh2t(tv,rh)");
  ASSERT_NE(t, nullptr) << out;
  const std::vector<float> ts(t->values, t->values + 4);
  EXPECT_EQ(qs[0], 0.0f);
  EXPECT_FLOAT_EQ(ts[0], 290.0f);
  for (int k = 1; k < 3; k++) {
    const double r = (40.0 + 20 * (k + 1)) / 100, P = 85000;
    EXPECT_NEAR(qs[k], r * 0.622 * es(ts[k]) / (P - 0.378 * es(ts[k])), 2e-6) << k;
    EXPECT_NEAR(290.0, ts[k] * ((1 - qs[k]) * 0.622 + 0.378 * qs[k]) / (0.622 * (1 - qs[k])), 1e-3);
    EXPECT_GT(qs[k], 0.005);
  }
  EXPECT_EQ(qs[3], kUndef);
  EXPECT_EQ(ts[3], kUndef);
  // With z varying each level uses its own pressure: 850 gives the same as
  // fixed at 850, 1000 (other pressure, 10 K warmer) another value.
  st.idim = 2;
  st.dim_min[0] = st.dim_max[0] = 2;
  st.dim_min[2] = 1000;
  st.dim_max[2] = 300;
  q = eval("tvrh2q(tv,rh)");
  ASSERT_NE(q, nullptr) << out;
  ASSERT_EQ(q->isiz, 5);
  EXPECT_EQ(q->values[1], qs[2]);
  EXPECT_GT(std::fabs(q->values[0] - qs[2]), 1e-4);
  EXPECT_EQ(out, "");
}

}  // namespace
