// Reductions along a dimension: numbers against an independent tool on the
// same data (written both as a binary grid and as a netCDF file), weights
// computed here, increments, boundaries, extremes and their indices, and
// the refusals.
#include "analysis_data.h"

namespace {

// lon 0..7 by 1, lat -90..90 by 30, levels 1000 850 500, 12 days.
constexpr int kNx = 8, kNy = 7, kNt = 12;
constexpr float kUndef = -999.0f;

// Scattered values with about one point in 25 undefined, and one column
// (x 3, y 4, level 1) undefined at every time.
float u_at(int x, int y, int z, int t) {
  if (x == 3 && y == 4 && z == 1) return kUndef;
  unsigned h = unsigned(x * 73856093u) ^ unsigned(y * 19349663u) ^ unsigned(z * 83492791u) ^
               unsigned(t * 2654435761u);
  h ^= h >> 13;
  h *= 0x5bd1e995u;
  h ^= h >> 15;
  if (h % 25 == 0) return kUndef;
  return float(int(h % 20001) - 10000) / 64.0f;
}

struct Fave : AnalysisData {
  void SetUp() override {
    nx = kNx;
    ny = kNy;
    nt = kNt;
    lat0 = -90;
    dlat = 30;
    levels = {1000, 850, 500};
    // Layers end halfway between levels and as far beyond the outer ones.
    level_bounds = {1075, 925, 925, 675, 675, 325};
    names = {"u"};
    value = [](int, int x, int y, int z, int t) { return u_at(x, y, z, t); };
    write();
  }
  // Runs one operator of the independent tool and returns u of its output.
  std::vector<float> tool(const std::string& op) {
    const std::string res = dir.file(op + ".nc");
    EXPECT_TRUE(cdo_tool::run(op + " " + dir.file("d.nc") + " " + res)) << op;
    return cdo_tool::read(res, "u");
  }
};

void expect_near(float got, float want, const std::string& what, double tol = 0) {
  if (want == kUndef || got == kUndef) {
    EXPECT_EQ(got, want) << what;
    return;
  }
  EXPECT_NEAR(got, want, tol > 0 ? tol : 2e-5 * std::fmax(1.0f, std::fabs(want))) << what;
}

}  // namespace

TEST_F(Fave, AgreesWithAnIndependentTool) {
  if (!cdo_tool::available()) GTEST_SKIP() << "cdo is not installed";
  // Means and sums over time are checked bit for bit below; here extremes
  // over time, the zonal mean (x reduced, read as whole rows), the vertical
  // mean by layer thickness and the meridional mean by cell area, at the
  // first level and time. The tool measures cells with great-circle edges;
  // on a one-degree longitude spacing its weights agree with the latitude
  // bands to about 5e-5, a few thousandths on these values.
  const struct {
    const char* op;
    const char* expr;
    int idim, jdim, n;
    double tol;
  } reduced[] = {{"timmin", "min(u,t=1,t=12)", 0, 1, kNx * kNy, 0},
                 {"timmax", "max(u,t=1,t=12)", 0, 1, kNx * kNy, 0},
                 {"zonmean", "ave(u,lon=0,lon=7)", 1, -1, kNy, 0},
                 {"vertmean", "ave(u,lev=1000,lev=500)", 0, 1, kNx * kNy, 0},
                 {"mermean", "ave(u,lat=-90,lat=90)", 0, -1, kNx, 0.02}};
  for (const auto& c : reduced) {
    const std::vector<float> want = tool(c.op);
    ASSERT_GE(want.size(), size_t(c.n)) << c.op;
    plane(c.idim, c.jdim);
    grid_field* g = eval(c.expr);
    ASSERT_NE(g, nullptr) << c.expr << out;
    ASSERT_EQ(g->idim, c.idim);
    ASSERT_EQ(g->isiz * g->jsiz, c.n) << c.expr;
    for (int k = 0; k < c.n; k++)
      expect_near(g->values[k], want[k], std::string(c.op) + " " + std::to_string(k), c.tol);
  }
}

TEST_F(Fave, WeightsByKind) {
  // One column over latitude: x 2, level 1000, day 1. Area weights (ave)
  // are checked against the independent tool above.
  plane(0, -1);
  auto col = [](int y) { return u_at(2, y, 1, 1); };
  double s_width = 0, w_width = 0, s_sum = 0, s_plain = 0;
  for (int y = 1; y <= kNy; y++) {
    if (col(y) == kUndef) continue;
    const double lat = -90 + 30 * (y - 1);
    const double ww = std::fmin(90.0, lat + 15) - std::fmax(-90.0, lat - 15);
    s_width += col(y) * ww;
    w_width += ww;
    s_sum += col(y) * ww / 30;  // polar cells are cut in half by the clamp
    s_plain += col(y);
  }
  struct {
    const char* text;
    double want;
  } cases[] = {{"mean(u,lat=-90,lat=90)", s_width / w_width},
               {"sum(u,lat=-90,lat=90)", s_sum},
               {"sumg(u,lat=-90,lat=90)", s_plain}};
  for (const auto& c : cases)
    EXPECT_NEAR(at(c.text, 1), c.want, 1e-4 * std::fmax(1.0, std::fabs(c.want))) << c.text;

  // Exact boundaries in time: days 1 and 3 count half (cells 0.5..1.5 and
  // 2.5..3.5 cut at 1 and 3), sum multiplies by the same parts.
  plane(0, 1);
  const int k = 2 * kNx + 4;  // x 5, y 3
  const float d1 = u_at(5, 3, 1, 1), d2 = u_at(5, 3, 1, 2), d3 = u_at(5, 3, 1, 3);
  ASSERT_TRUE(d1 != kUndef && d2 != kUndef && d3 != kUndef);
  EXPECT_FLOAT_EQ(float(at("ave(u,t=1,t=3,-b)", k)), float((0.5 * d1 + d2 + 0.5 * d3) / 2.0));
  EXPECT_FLOAT_EQ(float(at("sum(u,t=1,t=3,-bee)", k)), float(0.5 * d1 + d2 + 0.5 * d3));
  EXPECT_FLOAT_EQ(float(at("sum(u,t=1,t=3)", k)), float(double(d1) + d2 + d3));
}

// 37 x 5 points over 20 days: some days wholly defined, others with
// undefined points at changing places.
struct TimeSums : AnalysisData {
  static float w(int i, int t) {
    if (t % 3 == 1 && (i * 7 + t) % 11 == 0) return kUndef;
    return float((i * 131 + t * 977) % 2001) / 7.0f - 100.0f;
  }
  void SetUp() override {
    nx = 37, ny = 5, nt = 20;
    names = {"w"};
    value = [this](int, int x, int y, int, int t) { return w((y - 1) * nx + x - 1, t); };
    write();
  }
};

TEST_F(TimeSums, BitForBitWithAndWithoutUndefinedValues) {
  // The sums are checked against sums in double in time order, over every
  // point (many grids taken together) and at one point (one grid at a time).
  struct {
    const char* text;
    int first, last, step;
  } cases[] = {{"ave(w,t=1,t=20)", 1, 20, 1},
               {"sumg(w,t=2,t=19)", 2, 19, 1},
               {"ave(w,t=1,t=20,3)", 1, 20, 3}};
  auto want_at = [&](int i, const auto& c) {
    double s = 0;
    int n = 0;
    for (int t = c.first; t <= c.last; t += c.step)
      if (w(i, t) != kUndef) s += w(i, t), n++;
    return n == 0 ? kUndef : float(c.text[0] == 'a' ? s / n : s);
  };
  for (const auto& c : cases) {
    grid_field* g = eval(c.text);
    ASSERT_NE(g, nullptr) << c.text << out;
    ASSERT_EQ(g->isiz * g->jsiz, nx * ny) << c.text;
    for (int i = 0; i < nx * ny; i++)
      ASSERT_EQ(g->values[i], want_at(i, c)) << c.text << " at " << i;
  }
  // One point: x 7, y 3.
  plane(-1, -1);
  st.dim_max[0] = st.dim_min[0] = 6;
  st.dim_max[1] = st.dim_min[1] = 2;
  for (const auto& c : cases) EXPECT_EQ(scalar(c.text), want_at(2 * nx + 6, c)) << c.text;
}

TEST_F(Fave, IncrementsBoundsAndIndices) {
  const int k = 3 * kNx + 6, hole = 3 * kNx + 2;  // x 7, y 4; x 3, y 4 never defined
  auto day = [&](int t) { return u_at(7, 4, 1, t); };
  double s = 0;
  int n = 0, tmin = 0, tmax = 0;
  for (int t = 1; t <= 12; t += 3)
    if (day(t) != kUndef) s += day(t), n++;
  for (int t = 1; t <= kNt; t++) {
    if (day(t) == kUndef) continue;
    if (!tmin || day(t) < day(tmin)) tmin = t;
    if (!tmax || day(t) > day(tmax)) tmax = t;
  }
  const struct {
    const char* text;
    float want, at_hole;
  } cases[] = {
      // The same day axis counted as an index step, in days and in hours.
      {"ave(u,t=1,t=12,3)", float(s / n), kUndef},
      {"ave(u,t=1,t=12,3dy)", float(s / n), kUndef},
      {"ave(u,t=1,t=12,72hr)", float(s / n), kUndef},
      // Extremes and where they are.
      {"minloc(u,t=1,t=12)", float(tmin), kUndef},
      {"maxloc(u,t=1,t=12)", float(tmax), kUndef},
      {"max(u,t=1,t=12)", day(tmax), kUndef},
      // Ties keep the earliest index: a constant field's minimum is at the start.
      {"minloc(lon*0+5,t=3,t=9)", 3, 3},
      // One point, or the second bound first: the first point unweighted.
      {"maxloc(u,t=4,t=4)", 4, kUndef},
      {"maxloc(u,t=4,t=2)", 4, kUndef},
      {"ave(u,t=4,t=2)", day(4), kUndef},
  };
  for (const auto& c : cases) {
    grid_field* g = eval(c.text);
    ASSERT_NE(g, nullptr) << c.text << out;
    EXPECT_FLOAT_EQ(g->values[k], c.want) << c.text;
    EXPECT_EQ(g->values[hole], c.at_hole) << c.text;
  }
  // Everything reduced: a single value with its extremes set.
  plane(1, -1);
  st.idim = -1;
  grid_field* g = eval("sumg(u*0+1,lat=-90,lat=90)");
  ASSERT_NE(g, nullptr) << out;
  EXPECT_EQ(g->idim, -1);
  EXPECT_EQ(g->min_value, 7.0f);
  EXPECT_EQ(g->max_value, 7.0f);
}

TEST_F(Fave, Refusals) {
  struct {
    const char* text;
    const char* first;
  } cases[] = {
      {"ave(u,t=1)",
       "Error from AVE:  Too many or too few args \n"
       "                 3 to 5 arguments expected \n"},
      {"mean(u,q=1,t=2)", "Error from MEAN:  1st dimension expression invalid\n"},
      {"sum(u,t=1,lat=2)", "Error from SUM:  2nd dimension expression invalid\n"},
      {"sumg(u,lon=0,lon=7,2)",
       "Error from SUMG: Invalid usage of increment value\n"
       "                Can only be used with time averaging\n"},
      {"min(u,t=1,t=5,-x)", "Error from MIN: Invalid option flags\n"},
      {"max(u,t=1,t=5,2,x)", "Error from MAX: Invalid option flags\n"},
      // Steps of none, of months on a daily axis, of a fraction of a day
      // and of no unit.
      {"minloc(u,t=1,t=5,0)", "Error from MINLOC: Invalid time increment argument\n"},
      {"maxloc(u,t=1,t=5,1mo)", "Error from MAXLOC: Invalid time increment argument\n"},
      {"ave(u,t=1,t=5,5hr)", "Error from AVE: Invalid time increment argument\n"},
      {"ave(u,t=1,t=5,2x)", "Error from AVE: Invalid time increment argument\n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(eval(c.text), nullptr) << c.text;
    EXPECT_NE(out.find(c.first), std::string::npos) << c.text << "\n" << out;
  }
  // The note of the range, while data warnings are on.
  mfcmn.warn_level = 1;
  ASSERT_NE(eval("minloc(u,t=2,t=3)"), nullptr);
  EXPECT_EQ(out, "MINLOCing.  dim = 3, start = 2, end = 3\n");
}

namespace {

// A global grid of positive values (lon 0..350 by 10, lat -90..90 by 10):
// more rows than go along together, one row wholly undefined, scattered
// undefined points, and a row whose extreme comes twice.
float zonal_at(int x, int y) {
  if (y == 5 || (x * 7 + y * 3) % 11 == 0) return kUndef;
  if (y == 9) return x % 9 == 4 ? 0.5f : 2.0f + float(x % 5);
  return float((x * 37 + y * 101) % 53) + 0.125f * float(y);
}

struct ZonalRows : AnalysisData {
  void SetUp() override {
    nx = 36;
    ny = 19;
    dlon = 10;
    lat0 = -90;
    dlat = 10;
    names = {"u"};
    value = [](int, int x, int y, int, int) { return zonal_at(x, y); };
    write();
    plane(1, -1);  // latitude varies, each point a whole row along longitude
  }
};

}  // namespace

// Every kind along longitude at every latitude: read as whole rows (plain u)
// and column by column (a function call) the results agree bit for bit, and
// agree with sums, extremes and first indices taken here row by row.
TEST_F(ZonalRows, WholeRowsAgreeWithColumnsAndPlainSums) {
  const char* kinds[] = {"ave", "mean", "sum", "sumg", "min", "max", "minloc", "maxloc"};
  for (int kind = 0; kind < 8; kind++) {
    for (const char* range : {"lon=0,lon=360", "lon=0,lon=720"}) {
      const std::string rows = std::string(kinds[kind]) + "(u," + range + ")";
      const std::string cols = std::string(kinds[kind]) + "(abs(u)," + range + ")";
      grid_field* g = eval(rows.c_str());
      ASSERT_NE(g, nullptr) << rows << out;
      ASSERT_EQ(g->isiz, ny);
      const std::vector<float> by_rows(g->values, g->values + ny);
      g = eval(cols.c_str());
      ASSERT_NE(g, nullptr) << cols << out;
      for (int y = 1; y <= ny; y++) {
        SCOPED_TRACE(rows + " at y " + std::to_string(y));
        EXPECT_EQ(by_rows[size_t(y - 1)], g->values[y - 1]);
        double sum = 0;
        int count = 0, lo = 0, hi = 0;
        for (int x = 1; x <= nx; x++) {
          const float v = zonal_at(x, y);
          if (v == kUndef) continue;
          sum += v;
          count++;
          if (!lo || v < zonal_at(lo, y)) lo = x;
          if (!hi || v > zonal_at(hi, y)) hi = x;
        }
        const float got = by_rows[size_t(y - 1)];
        if (count == 0) {
          EXPECT_EQ(got, kUndef);
          continue;
        }
        const double want[] = {sum / count,     sum / count,     sum,        sum,
                               zonal_at(lo, y), zonal_at(hi, y), double(lo), double(hi)};
        if (kind >= 3)
          EXPECT_EQ(got, float(want[kind]));
        else
          EXPECT_NEAR(got, want[kind], 1e-6 * want[kind]);
      }
    }
  }
}
