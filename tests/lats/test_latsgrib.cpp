// GRIB files written by the writer, checked by independent readers: eccodes'
// keys and values, cdo's values (within half the packing step), and vemra's
// own reader through the descriptor and index written at close.
#include <algorithm>
#include <cmath>

#include "lats_support.h"

namespace {

using latstest::shell;
using LatsGribPeer = latstest::Writer;

bool have_eccodes() { return latstest::have("grib_get") && latstest::have("grib_get_data"); }

// The field written at a point: distinct at every point, level and time.
float field(double lon, double lat, double lev, int t) {
  return static_cast<float>(250.0 + 0.5 * lat + 0.03 * lon + lev / 200.0 + 3.0 * t);
}

struct written {
  std::vector<double> lons, lats, levs;
  int times;
};

// Writes "ta" on pressure levels every 6 hours from 1999-12-31 18Z.
void write_ta(const std::string& path, int convention, const written& w) {
  int fid = lats_create(path.c_str(), convention, LATS_STANDARD, LATS_HOURLY, 6, "pcmdi",
                        "test model", "written by the test");
  int nlev = static_cast<int>(w.levs.size());
  int vd = nlev ? lats_vert_dim("plev", "plev", nlev, w.levs.data()) : 0;
  int var = lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, latstest::grid(w.lons, w.lats), vd, "");
  ASSERT_GT(var, 0);
  std::vector<float> data(w.lons.size() * w.lats.size());
  for (int t = 0; t < w.times; ++t) {
    for (double lev : nlev ? w.levs : std::vector<double>{0.0}) {
      for (size_t j = 0; j < w.lats.size(); ++j)
        for (size_t i = 0; i < w.lons.size(); ++i)
          data[j * w.lons.size() + i] = field(w.lons[i], w.lats[j], lev, t);
      ASSERT_EQ(lats_write(fid, var, lev, t ? 2000 : 1999, t ? 1 : 12, t ? 1 : 31,
                           (18 + 6 * t) % 24, data.data()),
                1);
    }
  }
  StdoutCapture cap;
  ASSERT_EQ(lats_close(fid), 1);
  if (convention == LATS_VEMRA_GRIB) {
    EXPECT_NE(cap.text().find("GRIB index written"), std::string::npos);
  }
}

// The values grib_get_data prints, in the order of the points.
std::vector<double> peer_values(const vemra_test::TempDir& d, const std::string& args) {
  std::vector<double> out;
  for (const auto& p : grtest::peer_points(d, args)) out.push_back(p.v);
  return out;
}

TEST_F(LatsGribPeer, EccodesReadsTheKeysOfEveryMessage) {
  if (!have_eccodes()) GTEST_SKIP() << "no eccodes";
  written w{latstest::ramp(0, 10, 36), latstest::ramp(-90, 10, 19), {1000, 850, 500}, 2};
  write_ta(path("out"), LATS_GRIB_ONLY, w);
  EXPECT_FALSE(vemra_test::file_exists(path("out.ctl")));
  std::string keys =
      shell(dir,
            "grib_get -p indicatorOfParameter,indicatorOfTypeOfLevel:i,level,dataDate,dataTime,"
            "unitOfTimeRange,P1,P2,timeRangeIndicator,Ni,Nj,latitudeOfFirstGridPointInDegrees,"
            "latitudeOfLastGridPointInDegrees,longitudeOfLastGridPointInDegrees,"
            "jScansPositively,iDirectionIncrementInDegrees,centre,decimalScaleFactor out.grb");
  std::istringstream in(keys);
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  ASSERT_EQ(lines.size(), 6u) << keys;
  // Century 20, year of century 99, then century 20 year 100 for 2000.
  EXPECT_EQ(lines[0], "11 100 1000 19991231 1800 1 0 0 0 36 19 -90 90 350 1 10 100 1");
  EXPECT_EQ(lines[4], "11 100 850 20000101 0 1 0 0 0 36 19 -90 90 350 1 10 100 1");

  // A weekly file with delta 2 is a daily one with delta 14; a gaussian
  // grid of 94 latitudes gives N = 47.
  int fid = lats_create(path("wk").c_str(), LATS_GRIB_ONLY, LATS_STANDARD, LATS_WEEKLY, 2, "ncep",
                        "m", "c");
  int gid =
      latstest::grid(latstest::ramp(0, 10, 36), latstest::ramp(88.5, -1.9, 94), LATS_GAUSSIAN);
  int var = lats_var(fid, "psl", LATS_FLOAT, LATS_AVERAGE, gid, 0, "");
  std::vector<float> data(36 * 94, 101325.0f);
  ASSERT_EQ(lats_write(fid, var, 0, 2000, 1, 3, 0, data.data()), 1);
  ASSERT_EQ(lats_close(fid), 1);
  EXPECT_EQ(shell(dir,
                  "grib_get -p unitOfTimeRange,P1,P2,timeRangeIndicator,"
                  "dataRepresentationType,N,indicatorOfTypeOfLevel:i,"
                  "generatingProcessIdentifier wk.grb"),
            "2 0 14 3 4 47 102 21\n");
}

TEST_F(LatsGribPeer, CdoSeesSouthToNorthRowsTheRightWayUp) {
  if (!latstest::have("cdo")) GTEST_SKIP() << "no cdo";
  written w{latstest::ramp(0, 30, 12), latstest::ramp(-60, 30, 5), {500}, 1};
  write_ta(path("sn"), LATS_GRIB_ONLY, w);
  std::istringstream in(shell(dir, "cdo -s outputtab,lat,lon,value sn.grb"));
  std::string header;
  std::getline(in, header);
  int n = 0;
  for (double lat, lon, v; in >> lat >> lon >> v; ++n)
    EXPECT_NEAR(v, field(lon, lat, 500, 0), 0.05 + 1e-4) << lat << " " << lon;
  EXPECT_EQ(n, 60);
}

// Every level and time read back through the descriptor; its z axis runs
// from the largest level down, y from south to north whatever order the
// rows were written in.
void read_back(const std::string& ctl, const written& w) {
  grtest::record pfi = grtest::open_file(ctl);
  ASSERT_TRUE(pfi);
  const int nx = static_cast<int>(w.lons.size()), ny = static_cast<int>(w.lats.size());
  ASSERT_EQ(pfi->t_size, w.times);
  std::vector<double> levs = w.levs.empty() ? std::vector<double>{0.0} : w.levs, lats = w.lats;
  std::sort(levs.rbegin(), levs.rend());
  std::sort(lats.begin(), lats.end());
  for (int t = 1; t <= w.times; ++t)
    for (int z = 1; z <= static_cast<int>(levs.size()); ++z) {
      auto g = grtest::read(pfi.get(), 0, 0, 1, {1, 1, z, t}, {nx, ny, z, t});
      ASSERT_EQ(g.rc, 0) << g.out;
      ASSERT_EQ(g.grid->isiz, nx);
      for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
          ASSERT_NEAR(g.at(i, j), field(w.lons[i], lats[j], levs[z - 1], t - 1), 0.05 + 1e-4)
              << "t " << t << " z " << z << " at " << i << "," << j;
    }
}

TEST_F(LatsGribPeer, DescriptorReopensInVemraWithTheSameValues) {
  written sn{latstest::ramp(0, 30, 12), latstest::ramp(-60, 30, 5), {1000, 500}, 2};
  write_ta(path("sn"), LATS_VEMRA_GRIB, sn);
  std::string ctl = vemra_test::read_file(path("sn.ctl"));
  EXPECT_EQ(ctl.find("yrev"), std::string::npos) << ctl;
  EXPECT_NE(ctl.find("tdef 2 linear 18Z31dec1999  6hr\n"), std::string::npos) << ctl;
  EXPECT_NE(ctl.find("ta        2   11,100 Air Temperature [K]\n"), std::string::npos) << ctl;
  read_back(path("sn.ctl"), sn);

  written ns{latstest::ramp(0, 30, 12), latstest::ramp(60, -30, 5), {850}, 1};
  write_ta(path("ns"), LATS_VEMRA_GRIB, ns);
  ctl = vemra_test::read_file(path("ns.ctl"));
  EXPECT_NE(ctl.find("options yrev"), std::string::npos) << ctl;
  EXPECT_NE(ctl.find("ydef 5 linear -60.000000 30.000000"), std::string::npos) << ctl;
  read_back(path("ns.ctl"), ns);

  // Without a vertical dimension or a default level type: level type 99,
  // level 0, and the descriptor keys the variable on both.
  written flat{latstest::ramp(0, 30, 12), latstest::ramp(-60, 30, 5), {}, 2};
  write_ta(path("flat"), LATS_VEMRA_GRIB, flat);
  ctl = vemra_test::read_file(path("flat.ctl"));
  EXPECT_NE(ctl.find("ta        0   11, 99,  0 Air Temperature [K]\n"), std::string::npos) << ctl;
  read_back(path("flat.ctl"), flat);
}

// A field far from zero with a small range: the reference, cut to an IBM
// float, must not land above the minimum (values below it would wrap), and
// missing points go into a bit map. North-to-south rows with a last latitude
// just past -45 keep their magnitude when rounded.
TEST_F(LatsGribPeer, ReferenceAtOrBelowTheMinimumAndNegativeLastLatitude) {
  if (!have_eccodes()) GTEST_SKIP() << "no eccodes";
  int fid = lats_create(path("ref").c_str(), LATS_GRIB_ONLY, LATS_STANDARD, LATS_HOURLY, 1, "pcmdi",
                        "m", "c");
  int gid =
      latstest::grid(latstest::ramp(-20.0004, 10.0001, 4), latstest::ramp(0, -15.0001333333, 4));
  int var = lats_var(fid, "cli", LATS_FLOAT, LATS_INSTANT, gid, 0, "");
  ASSERT_EQ(lats_miss_float(fid, var, -9.99e33f, 0.0f), 1);
  std::vector<float> data(16);
  for (int k = 0; k < 16; ++k) data[size_t(k)] = static_cast<float>(-1000.0001 + 0.0123 * k);
  data[5] = data[10] = -9.99e33f;
  ASSERT_EQ(lats_write(fid, var, 0, 2000, 1, 1, 0, data.data()), 1);
  ASSERT_EQ(lats_close(fid), 1);

  std::istringstream kin(shell(dir,
                               "grib_get -p latitudeOfLastGridPoint,longitudeOfFirstGridPoint,"
                               "jScansPositively,numberOfMissing,bitsPerValue,"
                               "binaryScaleFactor,decimalScaleFactor ref.grb"));
  int la2, lo1, jpos, nmiss, bits, e, d;
  ASSERT_TRUE(kin >> la2 >> lo1 >> jpos >> nmiss >> bits >> e >> d);
  EXPECT_EQ(std::vector<int>({la2, lo1, jpos, nmiss, bits}),
            std::vector<int>({-45000, -20000, 0, 2, 16}));
  const double half = std::ldexp(1.0, e) / std::pow(10.0, d) / 2;
  std::vector<double> peer = peer_values(dir, "-m 9.999e20 ref.grb");
  ASSERT_EQ(peer.size(), 16u);
  for (size_t k = 0; k < 16; ++k)
    EXPECT_NEAR(peer[k], k == 5 || k == 10 ? 9.999e20 : data[k], half * 1.0001) << k;
}

// Decimal scaling that would need 25 bits falls back to 24 bits of binary
// scaling with D written as 0; a constant field packs one zero bit a value.
TEST_F(LatsGribPeer, PackingWidthsAndScales) {
  if (!have_eccodes()) GTEST_SKIP() << "no eccodes";
  int fid = lats_create(path("pk").c_str(), LATS_GRIB_ONLY, LATS_STANDARD, LATS_HOURLY, 1, "pcmdi",
                        "m", "c");
  int gid = latstest::grid(latstest::ramp(0, 10, 10), latstest::ramp(0, 10, 5));
  int hus = lats_var(fid, "hus", LATS_FLOAT, LATS_INSTANT, gid, 0, "");  // D = 4
  int ps = lats_var(fid, "ps", LATS_FLOAT, LATS_INSTANT, gid, 0, "");    // D = 0
  std::vector<float> wide(50), flat(50, 101325.0f);
  for (size_t k = 0; k < 50; ++k) wide[k] = static_cast<float>(k) * 41.0f + 0.3f;
  ASSERT_EQ(lats_write(fid, hus, 0, 2000, 1, 1, 0, wide.data()), 1);
  ASSERT_EQ(lats_write(fid, ps, 0, 2000, 1, 1, 0, flat.data()), 1);
  ASSERT_EQ(lats_close(fid), 1);
  std::istringstream in(
      shell(dir, "grib_get -p bitsPerValue,decimalScaleFactor,binaryScaleFactor pk.grb"));
  int b1, d1, e1, b2, d2, e2;
  ASSERT_TRUE(in >> b1 >> d1 >> e1 >> b2 >> d2 >> e2);
  EXPECT_EQ(std::vector<int>({b1, d1, b2, d2, e2}), std::vector<int>({24, 0, 1, 0, 0}));
  std::vector<double> peer = peer_values(dir, "-w count=1 pk.grb");
  ASSERT_EQ(peer.size(), 50u);
  for (size_t k = 0; k < 50; ++k) EXPECT_NEAR(peer[k], wide[k], std::ldexp(1.0, e1) / 2) << k;
  EXPECT_EQ(shell(dir, "grib_get -w count=2 -p max,min pk.grb"), "101325 101325\n");
}

// Latitudes not evenly spaced written as a generic grid, which other
// decoders do not read, are warned of once a file, and the fields are
// written all the same; a Gaussian grid, or even latitudes, are not.
TEST_F(LatsGribPeer, UnevenLatitudesOutsideAGaussianGridAreWarnedOf) {
  // Rows 1-4 of a T42 Gaussian grid: steps 2.767, 2.784, 2.787 degrees.
  const std::vector<double> gaussian = {-87.864, -85.097, -82.313, -79.526};
  const struct {
    std::vector<double> lats;
    int type;
    int warnings;
  } cases[] = {
      {gaussian, LATS_GENERIC, 1},
      {gaussian, LATS_GAUSSIAN, 0},
      {latstest::ramp(-30, 10, 4), LATS_GENERIC, 0},
      {latstest::ramp(-30, 10, 4), LATS_LINEAR, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    const std::string name = path("u" + latstest::grid_name());
    int fid =
        lats_create(name.c_str(), LATS_GRIB_ONLY, LATS_STANDARD, LATS_HOURLY, 1, "pcmdi", "m", "c");
    int gid = latstest::grid(latstest::ramp(0, 30, 4), c.lats, c.type);
    int var = lats_var(fid, "ps", LATS_FLOAT, LATS_INSTANT, gid, 0, "");
    std::vector<float> data(16, 101325.0f);
    const std::string err = latstest::stderr_of([&] {
      for (int hour : {0, 1}) EXPECT_EQ(lats_write(fid, var, 0, 2000, 1, 1, hour, data.data()), 1);
    });
    ASSERT_EQ(lats_close(fid), 1);
    int told = 0;
    for (size_t at = 0; (at = err.find("LATS warning (lats_write): ", at)) != std::string::npos;
         ++at)
      told += err.find("are not evenly spaced", at) != std::string::npos;
    EXPECT_EQ(told, c.warnings) << err;
    if (c.warnings) {
      EXPECT_NE(err.find("set lats gridtype gaussian"), std::string::npos) << err;
    }
    EXPECT_GT(vemra_test::read_file(name + ".grb").size(), 0u);
  }
}

}  // namespace
