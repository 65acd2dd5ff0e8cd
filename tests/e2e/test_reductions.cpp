// Reductions along longitude through the program: over a whole turn a
// global grid's wrap column is one place with its first, so every column
// counts once; numbers checked against plain sums of what was written.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

// A global grid: lon 0..350 by 10, lat -90..90 by 10.
constexpr int kNx = 36, kNy = 19;

float a_at(int x, int y) { return float((x - 1) * (x - 1) % 17) + 0.25f * float(y - 1); }

void write_globe(const TempDir& dir) {
  write_file(dir.file("g.ctl"),
             "dset ^g.dat\ntitle Globe\nundef -9.99e33\nxdef 36 linear 0 10\n"
             "ydef 19 linear -90 10\nzdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\n"
             "vars 1\na 0 0 A\nendvars\n");
  std::vector<float> v;
  for (int y = 1; y <= kNy; y++)
    for (int x = 1; x <= kNx; x++) v.push_back(a_at(x, y));
  write_file(dir.file("g.dat"), std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4));
}

// The number a one-value display printed, NaN when it printed none.
double result_of(const std::string& out, const std::string& cmd) {
  const std::string a = answer(out, cmd);
  const size_t p = a.find("Result value = ");
  if (p == std::string::npos) return std::nan("");
  return std::strtod(a.c_str() + p + 15, nullptr);
}

}  // namespace

TEST(Reductions, AWholeTurnOfLongitudeCountsEachColumnOnce) {
  TempDir dir;
  write_globe(dir);
  // The equator row (y 10) summed by hand.
  double row = 0;
  for (int x = 1; x <= kNx; x++) row += a_at(x, 10);
  const double mean = row / kNx;
  const struct {
    const char* cmd;
    double want;
  } cases[] = {
      // Read as one row, and column by column (a function call).
      {"d ave(a,lon=0,lon=360)", mean},
      {"d ave(abs(a),lon=0,lon=360)", mean},
      {"d ave(a,lon=-180,lon=180)", mean},
      {"d mean(a,lon=0,lon=360)", mean},
      {"d mean(abs(a),lon=-180,lon=180)", mean},
      {"d sum(a,lon=0,lon=360)", row},
      {"d sumg(a,lon=0,lon=360)", row},
      {"d sumg(abs(a),lon=0,lon=360)", row},
      // More than a turn still counts each column once.
      {"d sumg(a,lon=0,lon=720)", row},
      {"d ave(a,lon=-90,lon=400)", mean},
      // The two half boxes at 0 and 360 make one; short of a turn nothing
      // is folded.
      {"d ave(a,lon=0,lon=360,-b)", mean},
      {"d sum(a,lon=0,lon=360,-b)", row},
      {"d ave(a,lon=0,lon=350)", mean},
      {"d sumg(a,lon=10,lon=30)", a_at(2, 10) + a_at(3, 10) + a_at(4, 10)},
  };
  std::string input = "open g.ctl\nset lon 0\nset lat 0\n";
  for (const auto& c : cases) input += std::string(c.cmd) + "\n";
  RunResult r = run_batch(input, dir.path());
  for (const auto& c : cases)
    EXPECT_NEAR(result_of(r.out, c.cmd), c.want, 1e-5 * c.want) << c.cmd << "\n"
                                                                << answer(r.out, c.cmd);
}

TEST(Reductions, TheLongitudeIntegralOfAWholeTurnHasNoEnds) {
  TempDir dir;
  write_globe(dir);
  // The equator with the integral's own earth radius and pi; at latitude 60
  // half of it.
  const double equator = 2 * 3.1416 * 6.37e6;
  const struct {
    const char* cmd;
    double want;
  } cases[] = {
      {"d gint(const(a,1),lon=0,lon=360,-b)", equator},
      {"d gint(const(a,1),lon=0,lon=360)", equator},
      {"d gint(const(a,1),lon=-180,lon=180,-bounds)", equator},
      {"d gint(const(a,1),lon=0,lon=370,-b)", equator},
      // Short of a turn the two ends count half: 35 boxes of 10 degrees.
      {"d gint(const(a,1),lon=0,lon=350,-b)", equator * 35 / 36},
  };
  std::string input = "open g.ctl\nset lon 0\nset lat 0\n";
  for (const auto& c : cases) input += std::string(c.cmd) + "\n";
  input += "set lat 60\nd gint(const(a,1),lon=0,lon=360,-b)\n";
  RunResult r = run_batch(input, dir.path());
  for (const auto& c : cases)
    EXPECT_NEAR(result_of(r.out, c.cmd), c.want, 1e-5 * c.want) << c.cmd << "\n"
                                                                << answer(r.out, c.cmd);
  const size_t at60 = r.out.find("set lat 60");
  ASSERT_NE(at60, std::string::npos);
  EXPECT_NEAR(result_of(r.out.substr(at60), "d gint(const(a,1),lon=0,lon=360,-b)"), equator / 2,
              1e-5 * equator);
}

// A grid whose points lie at the middles of their boxes (lon 5..355) holds a
// whole turn in 36 distinct columns: the integral over it has no ends to
// halve either, while short of a turn its two end points count half, and a
// regional grid (lon 5..95) keeps its first point halved.
TEST(Reductions, AWholeTurnOfBoxMiddlesHasNoEndsEither) {
  TempDir dir;
  write_file(dir.file("m.ctl"),
             "dset ^m.dat\nundef -9.99e33\nxdef 36 linear 5 10\nydef 1 linear 0 10\n"
             "zdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\nvars 1\na 0 0 A\nendvars\n");
  std::vector<float> v;
  double row = 0;
  for (int x = 1; x <= kNx; x++) {
    v.push_back(a_at(x, 1));
    row += a_at(x, 1);
  }
  write_file(dir.file("m.dat"), std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4));
  const double equator = 2 * 3.1416 * 6.37e6, box = equator / kNx;
  const struct {
    const char* cmd;
    double want;
  } cases[] = {
      {"d gint(const(a,1),lon=0,lon=360,-b)", equator},
      {"d gint(const(a,1),lon=-180,lon=180,-b)", equator},
      {"d gint(const(a,1),lon=0,lon=360)", equator},
      {"d gint(a,lon=0,lon=360,-b)", row * box},
      {"d gint(const(a,1),lon=0,lon=720,-b)", equator},
      // lon 5 to 345: 35 points, the two at the ends halved.
      {"d gint(const(a,1),lon=0,lon=350,-b)", 34 * box},
      {"d gint(const(a,1),lon=5,lon=355,-b)", 35 * box},
      {"d sum(a,lon=0,lon=360,-b)", row},
      {"d ave(a,lon=-180,lon=180,-b)", row / kNx},
  };
  std::string input = "open m.ctl\nset lon 5\nset lat 0\n";
  for (const auto& c : cases) input += std::string(c.cmd) + "\n";
  write_file(dir.file("r.ctl"),
             "dset ^m.dat\nundef -9.99e33\nxdef 10 linear 5 10\nydef 1 linear 0 10\n"
             "zdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\nvars 1\na 0 0 A\nendvars\n");
  const std::string regional = "d gint(const(a,1),lon=0,lon=360,-bounds)";
  input += "open r.ctl\nset dfile 2\n" + regional + "\n";
  RunResult r = run_batch(input, dir.path());
  for (const auto& c : cases)
    EXPECT_NEAR(result_of(r.out, c.cmd), c.want, 1e-5 * c.want) << c.cmd << "\n"
                                                                << answer(r.out, c.cmd);
  EXPECT_NEAR(result_of(r.out, regional), 9.5 * box, 1e-5 * 9.5 * box) << answer(r.out, regional);
}
