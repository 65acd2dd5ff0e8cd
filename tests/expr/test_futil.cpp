// Grid utilities: the nine-point smoother against the independent tool,
// skip, const, cdiff, maskout and fndlvl by hand.
#include <cmath>
#include <string>
#include <vector>

#include "expr/analysis_data.h"

namespace {

// A regional grid of 6 x 5 points, five levels.
struct Util : AnalysisData {
  void SetUp() override {
    lon0 = 0, dlon = 10, nx = 6;
    lat0 = 0, dlat = 10, ny = 5;
    levels = {1000, 850, 700, 500, 300};
    names = {"u", "p"};
    value = [](int var, int x, int y, int z, int) {
      if (var == 0) {
        if (x == 3 && y == 2) return kUndef;
        return float(x * x * 1.5 - y * 7 + std::sin(x * y) * 4 + z);
      }
      // Profiles: falling with height, up and down, never reaching 10.
      const float updown[5] = {5, 15, 5, 15, 5};
      if (x == 2 && y == 1) return updown[z - 1];
      if (x == 3 && y == 1) return 0.0f;
      return float(20 - 4 * z + x + (y - 1) * 0.5);
    };
    write();
  }
  float u(int x, int y) const { return value(0, x, y, 1, 1); }
};

TEST_F(Util, SmootherAgreesWithTool) {
  if (!cdo_tool::available()) GTEST_SKIP() << "cdo is not installed";
  const std::string r = dir.file("r.nc");
  ASSERT_TRUE(cdo_tool::run("smooth9 -sellevidx,1 -selname,u " + dir.file("d.nc") + " " + r));
  const std::vector<float> want = cdo_tool::read(r, "u");
  ASSERT_EQ(want.size(), size_t(nx * ny));
  grid_field* g = eval("smth9(u)");
  ASSERT_NE(g, nullptr) << out;
  for (int k = 0; k < nx * ny; k++) EXPECT_NEAR(g->values[k], want[k], 1e-4) << k;
}

TEST_F(Util, ReshapingByHand) {
  // A plain nine-point mean at an inner point; bad weights fall back.
  double s = 0;
  int n = 0;
  for (int y = 3; y <= 5; y++)
    for (int x = 4; x <= 6; x++) s += u(x, y), n++;
  EXPECT_NEAR(at("smth9(u,1,1,1)", 3 * nx + 4), s / n, 1e-4);
  EXPECT_EQ(at("smth9(u,1,a,1)", 1 * nx + 2), kUndef);
  EXPECT_EQ(out, "Error from SMTH9:  Invalid Weight Values\n  Using defaults:  1.0  0.5  0.3\n");

  grid_field* g = eval("skip(u,2,3)");
  ASSERT_NE(g, nullptr) << out;
  for (int y = 1; y <= ny; y++)
    for (int x = 1; x <= nx; x++) {
      const bool kept = (x - 1) % 2 == 0 && (y - 1) % 3 == 0;
      EXPECT_EQ(g->values[(y - 1) * nx + x - 1], kept ? u(x, y) : kUndef) << x << "," << y;
    }
  EXPECT_EQ(at("skip(u,0)", nx * ny - 1), u(nx, ny));  // a step below 1 keeps every point
  g = eval("const(u,0,-u)");
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->values[1 * nx + 2], 0.0f);
  EXPECT_EQ(g->values[0], u(1, 1));
  g = eval("const(u,1,-z)");
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(out, "Warning from CONST: Invalid flag.  Ignored.\n");
  EXPECT_EQ(g->values[0], 1.0f);
  EXPECT_EQ(g->values[1 * nx + 2], kUndef);

  // Differences along y: centred, forward, backward; not divided by distance.
  struct {
    const char* expr;
    int lo, hi;  // rows differenced for row 3
  } diffs[] = {{"cdiff(u,y)", 2, 4}, {"cdiff(u,yp)", 3, 4}, {"cdiff(u,ym)", 2, 3}};
  for (const auto& d : diffs) {
    g = eval(d.expr);
    ASSERT_NE(g, nullptr) << d.expr << out;
    EXPECT_EQ(g->values[2 * nx], u(1, d.hi) - u(1, d.lo)) << d.expr;
    EXPECT_EQ(g->values[(d.expr[9] == 'm' ? 0 : ny - 1) * nx], kUndef) << d.expr;
    if (d.lo == 2) {
      EXPECT_EQ(g->values[2 * nx + 2], kUndef) << d.expr << ": next to the hole at 3,2";
    }
  }
  EXPECT_TRUE(refused("cdiff(u,z)", "Error from CDIFF:  Specified dimension non varying\n")) << out;

  // maskout: kept where the mask is not negative (u is 46.9 at 6,1 and
  // -1.1 at 1,1).
  EXPECT_EQ(at("maskout(u,u-10)", 5), u(6, 1));
  EXPECT_EQ(at("maskout(u,u-10)", 0), kUndef);
}

TEST_F(Util, LevelSearch) {
  // Point 1,1 falls from 17 at 1000 through 13 at 850 to 9 at 700: 10 is
  // reached three quarters of the way, at 737.5. Point 2,1 goes 5, 15, 5:
  // first crossing from 1000 at 925, from 300 upward at 400. Point 3,1
  // never reaches 10.
  grid_field* g = eval("fndlvl(p,const(p,10,-a),lev=1000,lev=300)");
  ASSERT_NE(g, nullptr) << out;
  EXPECT_FLOAT_EQ(g->values[0], 737.5f);
  EXPECT_FLOAT_EQ(g->values[1], 925.0f);
  EXPECT_EQ(g->values[2], kUndef);
  // The trace follows point 7 (x 2, y 2: 18.5, 14.5, 10.5 ...).
  EXPECT_NE(out.find("vvv lev1 = 1000 lev2 = 850 gr1,gr2,grv,grr = 18.5 14.5 10 -999\n"),
            std::string::npos)
      << out;
  g = eval("fndlvl(p,const(p,10,-a),lev=300,lev=1000)");
  ASSERT_NE(g, nullptr) << out;
  EXPECT_FLOAT_EQ(g->values[1], 400.0f);
  EXPECT_FLOAT_EQ(g->values[0], 737.5f);
  // One level in range: nothing to interpolate. None: an error.
  g = eval("fndlvl(p,const(p,10,-a),lev=900,lev=800)");
  ASSERT_NE(g, nullptr) << out;
  for (int k = 0; k < nx * ny; k++) EXPECT_EQ(g->values[k], kUndef);
  EXPECT_TRUE(refused("fndlvl(p,const(p,10,-a),lev=960,lev=900)",
                      "Error from FNDLVL:  No level of the default file lies in the range\n"));
  EXPECT_TRUE(
      refused("fndlvl(p,10,lev=1000,lev=300)", "Error from FNDLVL :  Incompatible grids. \n"));
  // A single point: no trace line, nothing read past the one value.
  st.idim = st.jdim = -1;
  st.dim_min[0] = st.dim_max[0] = 0;
  st.dim_min[1] = st.dim_max[1] = 0;
  EXPECT_FLOAT_EQ(float(scalar("fndlvl(p,10,lev=1000,lev=300)")), 737.5f);
  EXPECT_EQ(out.find("vvv lev1"), std::string::npos) << out;
}

}  // namespace

namespace {

// A grid of odd sizes with holes inside, on the border, in corners and in a
// cluster that leaves one defined point without a defined neighbour; the
// rows from 13 up are wholly defined.
struct Smooth : AnalysisData {
  void SetUp() override {
    lon0 = 0, dlon = 2, nx = 23;
    lat0 = -20, dlat = 2, ny = 17;
    names = {"u"};
    value = [](int, int x, int y, int, int) {
      if ((y <= 8 && (x * 7 + y * 5) % 13 == 0) || (x == 1 && y == 1) || (x == 23 && y == 9))
        return kUndef;
      if (x >= 10 && x <= 12 && y >= 10 && y <= 12 && !(x == 11 && y == 11)) return kUndef;
      return float(std::sin(x * 0.7) * 50 + std::cos(y * 1.3) * 20 + x * y * 0.01);
    };
    write();
  }
};

TEST_F(Smooth, EveryPointAgainstTheDefinition) {
  const struct {
    const char* expr;
    double wc, ws, wk;
  } cases[] = {{"smth9(u)", 1.0, 0.5, 0.3}, {"smth9(u,2,1,0.25)", 2, 1, 0.25}};
  for (const auto& c : cases) {
    grid_field* g = eval(c.expr);
    ASSERT_NE(g, nullptr) << out;
    ASSERT_EQ(g->isiz * g->jsiz, nx * ny);
    int checked = 0;
    for (int y = 1; y <= ny; y++)
      for (int x = 1; x <= nx; x++) {
        const float v = value(0, x, y, 1, 1);
        const float got = g->values[(y - 1) * nx + x - 1];
        if (v == kUndef) {
          EXPECT_EQ(got, kUndef) << c.expr << " " << x << "," << y;
          continue;
        }
        double s = c.wc * v, w = c.wc;
        for (int dy = -1; dy <= 1; dy++)
          for (int dx = -1; dx <= 1; dx++) {
            const int xx = x + dx, yy = y + dy;
            if ((!dx && !dy) || xx < 1 || xx > nx || yy < 1 || yy > ny) continue;
            const float n = value(0, xx, yy, 1, 1);
            if (n == kUndef) continue;
            const double wt = dx && dy ? c.wk : c.ws;
            s += wt * n;
            w += wt;
          }
        EXPECT_NEAR(got, s / w, 1e-5 * std::fmax(1.0, std::fabs(s / w)))
            << c.expr << " " << x << "," << y;
        checked++;
      }
    EXPECT_GT(checked, nx * ny * 3 / 4);
  }
  // The point whose eight neighbours are all undefined keeps its value.
  EXPECT_EQ(at("smth9(u)", 10 * nx + 10), value(0, 11, 11, 1, 1));
}

}  // namespace
