// Reductions along longitude, and over the globe, through the program: over
// a whole turn a global grid's wrap column is one place with its first, so
// every column counts once; numbers checked against plain sums of what was
// written.
#include <gtest/gtest.h>

#include <algorithm>
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

namespace {

// Files of 20-degree rows from pole to pole whose columns, 360 / turn
// degrees apart from lon0 on, hold places 0..turn-1; a column past a whole
// turn stores its first place again (the seam stored twice).
struct globe_file {
  const char* stem;
  int netcdf;  // made from the descriptor by cdo: 1 sdfopen, 2 xdfopen
  double lon0;
  int turn, stored;
};
constexpr int kRows = 10;

float u_at(int place, int y) {
  if ((place * 5 + y * 3) % 37 == 4) return -999;
  return float((place * 7 + y * 3) % 11) * 0.75f + 0.5f * float(y) - 3 + 0.01f * float(place);
}
float v_at(int place, int y) { return float((place * place + y) % 7) - 0.6f * float(place % 5); }

// Writes the file; the command that opens it, empty when cdo could not make
// the netCDF one.
std::string write_globe_file(const TempDir& dir, const globe_file& g) {
  const std::string stem = dir.file(g.stem);
  std::string data;
  for (auto at : {u_at, v_at})
    for (int y = 1; y <= kRows; y++)
      for (int x = 0; x < g.stored; x++) {
        const float f = at(x % g.turn, y);
        data.append(reinterpret_cast<const char*>(&f), 4);
      }
  write_file(stem + ".dat", data);
  char ctl[300];
  std::snprintf(ctl, sizeof ctl,
                "dset ^%s.dat\nundef -999\nxdef %d linear %g %.9g\nydef 10 linear -90 20\n"
                "zdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\nvars 2\nu 0 99 U\n"
                "v 0 99 V\nendvars\n",
                g.stem, g.stored, g.lon0, 360.0 / g.turn);
  write_file(stem + ".ctl", ctl);
  if (!g.netcdf) return "open " + stem + ".ctl";
  const std::string make =
      "cdo -s -f nc import_binary " + stem + ".ctl " + stem + ".nc >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) return "";
  if (g.netcdf == 1) return "sdfopen " + stem + ".nc";
  std::snprintf(ctl, sizeof ctl,
                "dset ^%s.nc\nxdef lon %d linear %g %.9g\nydef lat 10 linear -90 20\n"
                "tdef time 1 linear 00z01jan2000 1dy\nvars 2\nu=>u 0 99 U\nv=>v 0 99 V\nendvars\n",
                g.stem, g.stored, g.lon0, 360.0 / g.turn);
  write_file(stem + "x.ctl", ctl);
  return "xdfopen " + stem + "x.ctl";
}

// The six area reductions over the whole sphere by hand, each place once:
// rows weigh the difference of the sines of their edges (aave, scorr and
// sregr), their height in degrees (amean) or their part on the sphere
// (asum); asumg adds the values.
struct sphere_sums {
  double aave, amean, asum, asumg, scorr, sregr;
};

sphere_sums by_hand(int turn) {
  double w = 0, wu = 0, wv = 0, wuu = 0, wvv = 0, wuv = 0, h = 0, hu = 0, part = 0, plain = 0;
  for (int y = 1; y <= kRows; y++) {
    const double lo = std::fmax(-120 + 20.0 * y, -90), hi = std::fmin(-100 + 20.0 * y, 90);
    const double sines = std::sin(hi * M_PI / 180) - std::sin(lo * M_PI / 180);
    for (int c = 0; c < turn; c++) {
      const double u = u_at(c, y), v = v_at(c, y);
      if (u == -999) continue;
      w += sines, wu += sines * u, wv += sines * v;
      wuu += sines * u * u, wvv += sines * v * v, wuv += sines * u * v;
      h += hi - lo, hu += (hi - lo) * u, part += u * (hi - lo) / 20, plain += u;
    }
  }
  const double mu = wu / w, mv = wv / w;
  const double vu = wuu / w - mu * mu, vv = wvv / w - mv * mv, cuv = wuv / w - mu * mv;
  return {mu, hu / h, part, plain, cuv / std::sqrt(vu * vv), cuv / vu};
}

}  // namespace

// "global" is the whole sphere whichever longitude a file starts at: on a
// file from -180 that stores the seam twice it is the turn from -180, not
// only the eastern half, and a region is counted whole, its first column
// too; files that wrap or store the seam at 0 keep the turn from 0.
TEST(Reductions, TheGlobeCountsEveryPlaceOnceWhereverTheLongitudesStart) {
  TempDir dir;
  const struct {
    const char* cmd;
    double sphere_sums::*want;
  } calls[] = {
      {"d aave(u,global)", &sphere_sums::aave},     {"d amean(u,global)", &sphere_sums::amean},
      {"d asum(u,global)", &sphere_sums::asum},     {"d asumg(u,global)", &sphere_sums::asumg},
      {"d scorr(u,v,global)", &sphere_sums::scorr}, {"d sregr(u,v,global)", &sphere_sums::sregr},
  };
  const globe_file files[] = {
      {"s", false, -180, 72, 73},  // the seam twice
      {"w", false, 0, 144, 144},   // wraps
      {"e", false, 0, 144, 145},   // the seam twice at 0 and 360
      {"r", false, -30, 72, 12},   // a region: every column whole
      {"z", false, 0, 72, 12},     // a region from 0: its first column whole too
      {"n", true, -180, 72, 73},
  };
  for (const globe_file& f : files) {
    const std::string open = write_globe_file(dir, f);
    if (open.empty()) GTEST_SKIP() << "cdo could not make the netCDF file";
    const sphere_sums want = by_hand(std::min(f.turn, f.stored));
    std::string input = open + "\nset lat 0\nset lon 0\n";
    for (const auto& c : calls) input += std::string(c.cmd) + "\n";
    const RunResult r = run_batch(input, dir.path());
    for (const auto& c : calls)
      EXPECT_NEAR(result_of(r.out, c.cmd), want.*c.want, 2e-5 * std::fmax(1.0, want.*c.want))
          << open << ": " << c.cmd << "\n"
          << answer(r.out, c.cmd);
  }
}

// A file whose last column lies on its first one's meridian (the seam
// stored twice, as files from -180 to 180 have it) wraps by the turn of the
// other columns: a zonal mean, a box across the seam and the map from 0 to
// 360 read the whole globe, each place once, while the columns of the file
// read as stored and the environment of an open stays x 1 to n.
TEST(Reductions, ASeamStoredTwiceWrapsByTheOtherColumns) {
  TempDir dir;
  const globe_file files[] = {
      {"s", false, -180, 72, 73},
      {"n", true, -180, 72, 73},
      {"x", 2, -180, 72, 73},
      {"o", false, -180, 360, 361},
      {"m", true, 0, 360, 361},
      // Finer than 0.02 degree: the two wraps lie less than 0.01 degree apart.
      {"f", false, -180, 36000, 36001},
      {"h", 2, -180, 43200, 43201},
  };
  constexpr int y = 7;  // lat 30
  for (const globe_file& f : files) {
    const std::string open = write_globe_file(dir, f);
    if (open.empty()) GTEST_SKIP() << "cdo could not make the netCDF file";
    const double step = 360.0 / f.turn;
    auto place = [&](double lon) {
      const long p = std::lround((lon - f.lon0) / step) % f.turn;
      return int(p < 0 ? p + f.turn : p);
    };
    // The zonal mean, each place once; the points read for lon 0 to 360.
    double row = 0;
    int defined = 0, undef = 0;
    for (int p = 0; p < f.turn; p++)
      if (u_at(p, y) != -999) row += u_at(p, y), defined++;
    for (int k = 0; k <= f.turn; k++) undef += u_at(place(k * step), y) == -999;
    // Five columns centred on the seam, rows from 40S to 40N, by area.
    const double seam = f.lon0 + 360;
    double w = 0, wu = 0;
    for (int j = 4; j <= 7; j++) {
      const double lat = -110 + 20.0 * j;
      const double sines = std::sin((lat + 10) * M_PI / 180) - std::sin((lat - 10) * M_PI / 180);
      for (int k = -2; k <= 2; k++) {
        const double u = u_at(place(seam + k * step), j);
        if (u != -999) w += sines, wu += sines * u;
      }
    }
    char box[120];
    std::snprintf(box, sizeof box, "d aave(u,lon=%.9g,lon=%.9g,lat=-40,lat=40)", seam - 2.5 * step,
                  seam + 2.5 * step);
    const std::string n = std::to_string(f.stored);
    const struct {
      std::string cmd;
      double want;
    } cases[] = {
        {"d ave(u,lon=0,lon=360)", row / defined},
        {"d ave(abs(u)+u,lon=-360,lon=0)", 0},  // checked against the next
        {box, wu / w},
        {"d u(x=" + std::to_string(f.stored + 1) + ")", u_at(1, y)},
        {"d u(x=0)", u_at(f.turn - 1, y)},
        {"d u(x=" + n + ")", u_at(0, y)},
    };
    double abs_plus = 0;
    for (int p = 0; p < f.turn; p++)
      if (u_at(p, y) != -999) abs_plus += std::fabs(u_at(p, y)) + u_at(p, y);
    std::string input = open + "\nq dims\nset lat 30\nset x 1\n";
    for (const auto& c : cases) input += c.cmd + "\n";
    input += "set lon 0 360\nset gxout stat\nd u\n";
    const RunResult r = run_batch(input, dir.path());
    SCOPED_TRACE(open);
    EXPECT_NE(answer(r.out, "q dims").find("X = 1 to " + n + "\n"), std::string::npos)
        << answer(r.out, "q dims");
    // The box's edges, held as floats, cut its end columns by as much as
    // their float resolution, a part of a fine step.
    const double edges = 2 * std::ldexp(1.0, -16) / step * (0.01 * f.turn + 10);
    for (const auto& c : cases) {
      const double want = c.want == 0 ? abs_plus / defined : c.want;
      EXPECT_NEAR(result_of(r.out, c.cmd), want,
                  2e-5 * std::fmax(1.0, std::fabs(want)) + (c.cmd == box ? edges : 0))
          << c.cmd << "\n"
          << answer(r.out, c.cmd);
    }
    const std::string stat = answer(r.out, "d u");
    EXPECT_NE(stat.find("Undef count = " + std::to_string(undef) +
                        "  Valid count = " + std::to_string(f.turn + 1 - undef)),
              std::string::npos)
        << stat;
    if (f.netcdf != 1) continue;
    // cdo's zonal mean of the file without its second copy of the seam.
    const std::string zonal =
        "cdo -s outputf,%.9g -sellonlatbox,-180,180,30,30 -zonmean "
        "-selindexbox,1," +
        std::to_string(f.turn) + ",1,10 -selvar,u " + dir.file(f.stem) + ".nc 2>/dev/null";
    FILE* p = popen(zonal.c_str(), "r");
    ASSERT_NE(p, nullptr);
    double cdo_zonal = std::nan("");
    if (std::fscanf(p, "%lf", &cdo_zonal) != 1) cdo_zonal = std::nan("");
    pclose(p);
    EXPECT_NEAR(result_of(r.out, "d ave(u,lon=0,lon=360)"), cdo_zonal, 2e-5) << zonal;
  }
}

// A longitude list whose last value lies on its first one's meridian (the
// seam stored twice, 7 and 8 degrees alternately from -180 to 180, every
// box 7.5 degrees wide) wraps by the other 48 columns, as a descriptor, a
// netCDF file and through xdfopen; points between its values read as
// listed.
TEST(Reductions, ALongitudeListStoringTheSeamTwiceWraps) {
  TempDir dir;
  constexpr int nx = 49, turn = 48, y = 4;  // lat 28
  auto lon = [](int x) { return -180 + 15 * ((x - 1) / 2) + ((x - 1) % 2 ? 7 : 0); };
  auto t_at = [](int place, int j) {
    return 280 + 0.5f * float(j) + float((place * 7 + j * 3) % 11) * 0.75f + 0.01f * float(place);
  };
  std::string lons, data;
  for (int x = 1; x <= nx; x++) lons += " " + std::to_string(lon(x));
  for (int j = 1; j <= 5; j++)
    for (int x = 1; x <= nx; x++) {
      const float f = t_at((x - 1) % turn, j);
      data.append(reinterpret_cast<const char*>(&f), 4);
    }
  write_file(dir.file("l.dat"), data);
  const std::string lats = " 5 levels -60 -30 0 28 60\n", times = " 1 linear 00z01jan2000 1dy\n";
  write_file(dir.file("l.ctl"), "dset ^l.dat\nundef -999\nxdef 49 levels" + lons + "\nydef" + lats +
                                    "zdef 1 levels 1000\ntdef" + times +
                                    "vars 1\nt 0 99 T\nendvars\n");
  write_file(dir.file("lx.ctl"), "dset ^l.nc\nxdef lon 49 levels" + lons + "\nydef lat" + lats +
                                     "tdef time" + times + "vars 1\nt=>t 0 99 T\nendvars\n");
  const std::string make = "cd " + dir.path() + " && cdo -s -f nc import_binary l.ctl l.nc";
  if (std::system((make + " >/dev/null 2>&1").c_str()) != 0)
    GTEST_SKIP() << "cdo could not make the netCDF file";
  // By hand: the 48 places once each, all boxes alike; three columns
  // across the date line, 172, 180 and 187 (the second column a turn on).
  double row = 0;
  for (int p = 0; p < turn; p++) row += t_at(p, y);
  const double across = double(t_at(turn - 1, y)) + t_at(0, y) + t_at(1, y);
  const struct {
    std::string cmd;
    double want;
  } cases[] = {
      {"d ave(t,lon=0,lon=360)", row / turn},
      {"d sum(t,lon=0,lon=360)", row},
      {"d ave(t,lon=168.5,lon=191)", across / 3},
      {"d sum(t,lon=168.5,lon=191)", across},
      {"d ave(t,lon=-191,lon=-168.5)", across / 3},
      {"d t(x=50)", t_at(1, y)},
      {"d t(x=0)", t_at(turn - 1, y)},
      {"d t(lon=187)", t_at(1, y)},
      {"d t(lon=-173)", t_at(1, y)},
  };
  for (const char* open : {"open l.ctl", "sdfopen l.nc", "xdfopen lx.ctl"}) {
    SCOPED_TRACE(open);
    std::string input = std::string(open) + "\nq dims\nset lat 28\nset x 1\n";
    for (const auto& c : cases) input += c.cmd + "\n";
    input += "set lon 170 190\nset gxout stat\nd t\n";
    const RunResult r = run_batch(input, dir.path());
    EXPECT_NE(answer(r.out, "q dims").find("X = 1 to 49\n"), std::string::npos)
        << answer(r.out, "q dims");
    for (const auto& c : cases)
      EXPECT_NEAR(result_of(r.out, c.cmd), c.want, 2e-5 * std::fabs(c.want))
          << c.cmd << "\n"
          << answer(r.out, c.cmd);
    const std::string stat = answer(r.out, "d t");
    EXPECT_NE(stat.find("I Dimension = 47 to 51 Levels 165 172 180 187 195\n"), std::string::npos)
        << stat;
    EXPECT_NE(stat.find("Undef count = 0  Valid count = 5\n"), std::string::npos) << stat;
  }
  // cdo's zonal mean of the file without its second copy of the seam.
  const std::string zonal =
      "cdo -s outputf,%.9g -selindexbox,1,1,4,4 -zonmean "
      "-selindexbox,1,48,1,5 " +
      dir.file("l.nc") + " 2>/dev/null";
  FILE* p = popen(zonal.c_str(), "r");
  ASSERT_NE(p, nullptr);
  double cdo_zonal = std::nan("");
  if (std::fscanf(p, "%lf", &cdo_zonal) != 1) cdo_zonal = std::nan("");
  pclose(p);
  EXPECT_NEAR(row / turn, cdo_zonal, 2e-5 * cdo_zonal) << zonal;
}

// A region of 1/1200 degree: "global" and a box wider than the file read
// only the file's points, and come to the mean and sums over them (the
// whole box at that resolution would be 93 billion points). The box fits
// the file an expression reads, whichever is the default: the region's
// variable from a global default file, a global file's from the region;
// an expression reading two files reads the whole box of both.
TEST(Reductions, AnAreaWiderThanARegionReadsOnlyTheRegion) {
  TempDir dir;
  constexpr int nx = 121, ny = 61;
  constexpr double step = 1 / 1200.0, lon0 = -61.75, lat0 = 10.5;
  auto u = [](int i, int j) { return (i * 7 + j) % 13 ? float(std::sin(i * 0.1) + 0.01 * j) : 5; };
  auto v = [](int i, int j) {
    return float((i * 7 + j) % 13 ? std::sin(i * 0.1) : 4) + float((i * i + 3 * j) % 17) * 0.1f;
  };
  std::string data;
  for (auto at : {+u, +v})
    for (int j = 0; j < ny; j++)
      for (int i = 0; i < nx; i++) {
        const float f = at(i, j);
        data.append(reinterpret_cast<const char*>(&f), 4);
      }
  write_file(dir.file("t.dat"), data);
  char ctl[300];
  std::snprintf(ctl, sizeof ctl,
                "dset ^t.dat\nundef -9.99e33\nxdef %d linear %.9g %.12g\n"
                "ydef %d linear %.9g %.12g\nzdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\n"
                "vars 2\nu 0 99 U\nv 0 99 V\nendvars\n",
                nx, lon0, step, ny, lat0, step);
  write_file(dir.file("t.ctl"), ctl);
  // By hand: rows weigh the difference of the sines of their edges.
  double w = 0, wu = 0, wv = 0, wuu = 0, wvv = 0, wuv = 0, plain = 0;
  for (int j = 0; j < ny; j++) {
    const double lat = lat0 + j * step;
    const double sines =
        std::sin((lat + step / 2) * M_PI / 180) - std::sin((lat - step / 2) * M_PI / 180);
    for (int i = 0; i < nx; i++) {
      const double a = u(i, j), b = v(i, j);
      w += sines, wu += sines * a, wv += sines * b;
      wuu += sines * a * a, wvv += sines * b * b, wuv += sines * a * b;
      plain += a;
    }
  }
  const double mu = wu / w, mv = wv / w;
  const double vu = wuu / w - mu * mu, vv = wvv / w - mv * mv, cuv = wuv / w - mu * mv;
  const double mean = plain / (nx * ny);
  // The globe of write_globe, a band of its grid from lon 0 to 40 holding
  // b, and the globe's columns from lon -20 to 20 defined as gd: each the
  // mean of its own columns in full, rows weighed by their sines.
  write_globe(dir);
  write_file(dir.file("b.ctl"),
             "dset ^b.dat\nundef -9.99e33\nxdef 5 linear 0 10\nydef 19 linear -90 10\n"
             "zdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\nvars 1\nb 0 99 B\nendvars\n");
  auto b_at = [](int x, int y) { return float((x * y) % 7); };
  std::string band;
  for (int y = 1; y <= kNy; y++)
    for (int x = 1; x <= 5; x++) {
      const float f = b_at(x, y);
      band.append(reinterpret_cast<const char*>(&f), 4);
    }
  write_file(dir.file("b.dat"), band);
  double ga = 0, ga_sum = 0, gb = 0, gab = 0, gd = 0, gw = 0;
  for (int y = 1; y <= kNy; y++) {
    const double lat = -100 + 10 * y, lo = std::fmax(lat - 5, -90), hi = std::fmin(lat + 5, 90);
    const double sines = std::sin(hi * M_PI / 180) - std::sin(lo * M_PI / 180);
    gw += sines;
    for (int x = 1; x <= kNx; x++) ga += sines * a_at(x, y) / kNx, ga_sum += a_at(x, y);
    for (int x = 1; x <= 5; x++) {
      gb += sines * b_at(x, y) / 5, gab += sines * (a_at(x, y) + b_at(x, y)) / 5;
      gd += sines * a_at((x + 33) % kNx + 1, y) / 5;  // lon -20, -10, 0, 10, 20
    }
  }
  const struct {
    const char* cmd;
    double want;
    const char* before = "";  // a command run first
  } cases[] = {
      {"d aave(u,global)", mu},
      {"d amean(u,global)", mean},
      {"d asum(u,global)", plain},
      {"d asumg(u,global)", plain},
      {"d scorr(u,v,global)", cuv / std::sqrt(vu * vv)},
      {"d sregr(u,v,global)", cuv / vu},
      {"d aave(u,lon=-100,lon=0,lat=-20,lat=40)", mu},
      {"d asum(u,lon=-62,lon=-50,lat=-90,lat=90)", plain},
      {"d aave(a.2,global)", ga / gw},
      {"d asumg(a.2,global)", ga_sum},
      {"d aave(b.3,global)", gb / gw},
      {"d aave(gd,global)", gd / gw},
      {"d aave(a.2+b.3,global)", gab / gw},
      {"d aave(u.1,global)", mu, "set dfile 2"},
      {"d scorr(u.1,v.1,global)", cuv / std::sqrt(vu * vv)},
      {"d aave(a,global)", ga / gw},
  };
  std::string input =
      "open t.ctl\nopen g.ctl\nopen b.ctl\nset lon -20 20\nset lat -90 90\ndefine gd = a.2\n";
  for (const auto& c : cases) input += std::string(c.before) + "\n" + c.cmd + "\n";
  const RunResult r = run_batch(input, dir.path());
  // The row weights are taken from float latitudes: within 2e-5 here.
  for (const auto& c : cases)
    EXPECT_NEAR(result_of(r.out, c.cmd), c.want, 2e-5 * std::fmax(1.0, std::fabs(c.want)))
        << c.cmd << "\n"
        << answer(r.out, c.cmd);
  // The field mean of the same file as cdo has it.
  const std::string make = "cdo -s -f nc import_binary " + dir.file("t.ctl") + " " +
                           dir.file("t.nc") + " >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) return;
  FILE* p = popen(("cdo -s outputf,%.9g -fldmean -selvar,u " + dir.file("t.nc")).c_str(), "r");
  ASSERT_NE(p, nullptr);
  double cdo_mean = std::nan("");
  if (std::fscanf(p, "%lf", &cdo_mean) != 1) cdo_mean = std::nan("");
  pclose(p);
  EXPECT_NEAR(result_of(r.out, "d aave(u,global)"), cdo_mean, 2e-5);
}
