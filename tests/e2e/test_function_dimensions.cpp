// The dimension arguments of the expression functions through the program:
// each is read whole or refused with the function's own message, never cut
// at its value; numbers checked against sums of what was written.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "support/live_session.h"
#include "support/vemra_run.h"

using namespace vemra_test;

namespace {

constexpr int kNx = 4, kNy = 3, kNz = 3, kNt = 3;
const float kLevels[kNz] = {1000, 850, 500};

// 1-based grid indices: "a" on three levels, "b" at the surface.
float a_at(int x, int y, int z, int t) { return float(x + 10 * y + 100 * z + 1000 * t) / 8.0f; }
float b_at(int x, int y, int t) { return 0.5f * float(x * x) - float(y) + 0.25f * float(t * t); }

// lon 0..30 by 10, lat -10..10 by 10, levels 1000, 850 and 500, 6-hourly times.
void write_dataset(const TempDir& dir) {
  dsfiles::write_ab_dataset(dir, "Function arguments", {1000, 850, 500}, kNt, a_at, b_at);
}

double mean(const std::vector<double>& v) {
  double s = 0;
  for (double x : v) s += x;
  return s / double(v.size());
}

// Slope of q on p, or with correlation the correlation of the two.
double fit(const std::vector<double>& p, const std::vector<double>& q, bool correlation) {
  const double mp = mean(p), mq = mean(q);
  double pp = 0, qq = 0, pq = 0;
  for (size_t i = 0; i < p.size(); i++) {
    pp += (p[i] - mp) * (p[i] - mp);
    qq += (q[i] - mq) * (q[i] - mq);
    pq += (p[i] - mp) * (q[i] - mq);
  }
  return correlation ? pq / std::sqrt(pp * qq) : pq / pp;
}

}  // namespace

TEST(FunctionDimensions, TextAfterAValueIsRefusedWithTheFunctionsMessage) {
  TempDir dir;
  write_dataset(dir);
  // The environment is the point x 3, y 1 at level 1 and time 2.
  std::vector<double> at_t, at_z, row_a, row_b, series;
  for (int t = 1; t <= kNt; t++) at_t.push_back(a_at(3, 1, 1, t));
  for (int t = 1; t <= kNt; t++) series.push_back(b_at(1, 1, t));
  for (int z = 1; z <= kNz; z++) at_z.push_back(a_at(3, 1, z, 2));
  // lon 5..35 by lat -15..-5: columns 2 to 4 of row 1, whole boxes alike.
  for (int x = 2; x <= kNx; x++) row_a.push_back(a_at(x, 1, 1, 2));
  for (int x = 2; x <= kNx; x++) row_b.push_back(b_at(x, 1, 2));
  // Grid-coordinate bounds of the grid sum: columns 2 to 4 of rows 1 and 2.
  double block = 0;
  for (int x = 2; x <= kNx; x++) block += a_at(x, 1, 1, 2) + a_at(x, 2, 1, 2);
  // Halfway from level 1 to level 2 in value.
  const double half = kLevels[0] + (kLevels[1] - kLevels[0]) * 0.5;
  const std::string box = "lon=5,lon=35,lat=-15,lat=-5";
  const struct {
    std::string good, bad;  // the call, and the call with a slip in one argument
    double want;
    const char* message;
  } cases[] = {
      {"ave(a,t=1,t=3)", "ave(a,t=1abc,t=3)", mean(at_t),
       "Error from AVE:  1st dimension expression invalid\n"},
      {"mean(a,time=00z01jan2000,time=12z01jan2000)", "mean(a,time=00z01jan2000,time=12z01fev2000)",
       mean(at_t), "Error from MEAN:  2nd dimension expression invalid\n"},
      {"sum(a,z=1,z=3)", "sum(a,z=1,z=3junk)", 3 * mean(at_z),
       "Error from SUM:  2nd dimension expression invalid\n"},
      {"sumg(a,lev=1000,lev=500)", "sumg(a,lev=1000hpa,lev=500)", 3 * mean(at_z),
       "Error from SUMG:  1st dimension expression invalid\n"},
      {"min(a,t=1,t=3)", "min(a,t=1,t=3:)", at_t[0],
       "Error from MIN:  2nd dimension expression invalid\n"},
      {"maxloc(a,t=1,t=3)", "maxloc(a,t=1,t=3t)", 3,
       "Error from MAXLOC:  2nd dimension expression invalid\n"},
      {"gint(a,t=1,t=3)", "gint(a,t=1z,t=3)", 360 * 3 * mean(at_t),
       "Error from GINT:  1st dimension expression invalid\n"},
      {"aave(a," + box + ")", "aave(a,lon=5,lon=35deg,lat=-15,lat=-5)", mean(row_a),
       "Error from AAVE:  Invalid dimension expression \n"},
      {"amean(a," + box + ")", "amean(a,lon=5,lon=35,lat=-15s,lat=-5)", mean(row_a),
       "Error from AMEAN:  Invalid dimension expression \n"},
      {"asum(a," + box + ")", "asum(a,lon=5w,lon=35,lat=-15,lat=-5)", 3 * mean(row_a),
       "Error from ASUM:  Invalid dimension expression \n"},
      {"asumg(a,x=2,x=4,y=1,y=2)", "asumg(a,x=2,x=4,y=1,y=2n)", block,
       "Error from ASUMG:  Invalid dimension expression \n"},
      {"scorr(a,b," + box + ")", "scorr(a,b,lon=5,lon=35,lat=-15,lat=-5x)", fit(row_a, row_b, true),
       "Error from SCORR:  Invalid dimension expression \n"},
      {"sregr(a,b," + box + ")", "sregr(a,b,lon=5,lon=35,lat=-15.0.0,lat=-5)",
       fit(row_a, row_b, false), "Error from SCORR:  Invalid dimension expression \n"},
      {"tmave(1,a,t=1,t=3)", "tmave(1,a,t=1,t=3+)", mean(at_t),
       "Error from TMAVE:  2nd dimension expr invalid\n"},
      {"tcorr(b(x=1,y=1),a,t=1,t=3)", "tcorr(b(x=1,y=1),a,t=1_,t=3)", fit(series, at_t, true),
       "Error from TCORR:  1st dimension expr invalid\n"},
      {"tregr(b(x=1,y=1),a,t=1,t=3)", "tregr(b(x=1,y=1),a,t=1,t=3e0e)", fit(series, at_t, false),
       "Error from TREGR:  2nd dimension expr invalid\n"},
      {"fndlvl(a,a(z=1)+6.25,lev=1000,lev=500)", "fndlvl(a,a(z=1)+6.25,lev=1000,lev=500mb)", half,
       "Error from FNDLVL:  Arg 4 an invalid Z dimension expression\n"},
  };
  // Each call and its slip as a script sees them: the code and the output.
  std::string script;
  for (const auto& c : cases)
    for (const std::string& call : {c.good, c.bad})
      script += "say '#'\n'd " + call + "'\nsay 'rc=' rc\nsay result\n";
  script += "say '#'\n";
  write_file(dir.file("rows.gs"), script);
  RunResult r =
      run_batch("open d.ctl\nset x 3\nset y 1\nset z 1\nset t 2\nrun rows.gs\n", dir.path());
  std::vector<std::string> runs;
  for (size_t p = r.out.find("#\n"); p != std::string::npos;) {
    const size_t next = r.out.find("#\n", p + 2);
    if (next != std::string::npos) runs.push_back(r.out.substr(p + 2, next - p - 2));
    p = next;
  }
  ASSERT_EQ(runs.size(), 2 * std::size(cases)) << r.out;
  for (size_t i = 0; i < std::size(cases); i++) {
    const auto& c = cases[i];
    const std::string& good = runs[2 * i];
    const size_t v = good.find("Result value = ");
    ASSERT_TRUE(contains(good, "rc=0\n")) << c.good << "\n" << good;
    ASSERT_NE(v, std::string::npos) << c.good << "\n" << good;
    EXPECT_NEAR(std::strtod(good.c_str() + v + 15, nullptr), c.want,
                1e-5 * std::fabs(c.want) + 1e-6)
        << c.good;
    // The code, then the output the script holds in result.
    EXPECT_TRUE(contains(runs[2 * i + 1], std::string("rc=1\n") + c.message)) << c.bad << "\n"
                                                                              << runs[2 * i + 1];
  }
}
