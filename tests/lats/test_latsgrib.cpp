// GRIB files written by the writer, checked by independent readers: eccodes'
// grib_get keys, cdo's values (within half the packing step), and vemra's own reader through the descriptor and
// index written at close.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>

#include "base/mfcmn.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/gridread.h"
#include "data/result.h"
#include "lats_support.h"

namespace {

using latstest::shell;

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
  ASSERT_GT(fid, 0);
  int gid = latstest::grid(w.lons, w.lats);
  ASSERT_GT(gid, 0);
  int vid_lev = 0;
  if (!w.levs.empty()) {
    vid_lev = lats_vert_dim("plev", "plev", static_cast<int>(w.levs.size()), w.levs.data());
    ASSERT_GT(vid_lev, 0);
  }
  int var = lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, gid, vid_lev, "air temperature");
  ASSERT_GT(var, 0);
  std::vector<float> data(w.lons.size() * w.lats.size());
  for (int t = 0; t < w.times; ++t) {
    int hour = (18 + 6 * t) % 24, day = t == 0 ? 31 : 1, month = t == 0 ? 12 : 1;
    int year = t == 0 ? 1999 : 2000;
    for (double lev : w.levs.empty() ? std::vector<double>{0.0} : w.levs) {
      for (size_t j = 0; j < w.lats.size(); ++j)
        for (size_t i = 0; i < w.lons.size(); ++i)
          data[j * w.lons.size() + i] = field(w.lons[i], w.lats[j], lev, t);
      ASSERT_EQ(lats_write(fid, var, lev, year, month, day, hour, data.data()), 1);
    }
  }
  testing::internal::CaptureStdout();
  int rc = lats_close(fid);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, 1);
  if (convention == LATS_VEMRA_GRIB) {
    EXPECT_NE(out.find("GRIB index written"), std::string::npos) << out;
  }
}

using LatsGribPeer = latstest::Writer;

TEST_F(LatsGribPeer, EccodesReadsKeysAndValuesOfEveryMessage) {
  if (!latstest::have("grib_get") || !latstest::have("grib_get_data")) GTEST_SKIP() << "no eccodes";
  written w{latstest::ramp(0, 10, 36), latstest::ramp(-90, 10, 19), {1000, 850, 500}, 2};
  write_ta(path("out"), LATS_GRIB_ONLY, w);
  ASSERT_TRUE(vemra_test::file_exists(path("out.grb")));
  EXPECT_FALSE(vemra_test::file_exists(path("out.ctl")));
  std::string keys = shell(dir,
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

}

TEST_F(LatsGribPeer, CdoSeesSouthToNorthRowsTheRightWayUp) {
  if (!latstest::have("cdo")) GTEST_SKIP() << "no cdo";
  written w{latstest::ramp(0, 30, 12), latstest::ramp(-60, 30, 5), {500}, 1};
  write_ta(path("sn"), LATS_GRIB_ONLY, w);
  std::string tab = shell(dir, "cdo -s outputtab,lat,lon,value sn.grb");
  std::istringstream in(tab);
  std::string header;
  std::getline(in, header);
  double lat, lon, v;
  int n = 0;
  while (in >> lat >> lon >> v) {
    EXPECT_NEAR(v, field(lon, lat, 500, 0), 0.05 + 1e-4) << lat << " " << lon;
    ++n;
  }
  EXPECT_EQ(n, 60);
}

// vemra's own reader on the descriptor and index written at close.
struct record_deleter {
  void operator()(file_descriptor* p) const {
    if (p->data_stream) std::fclose(p->data_stream);
    frepfi(p, 0);
  }
};

void read_back(const std::string& ctl, const written& w) {
  mfcmn.calendar_365 = -999;
  std::unique_ptr<file_descriptor, record_deleter> pfi(getpfi());
  testing::internal::CaptureStdout();
  int rc = kaddes(ctl.c_str(), pfi.get(), 1);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, 0) << out;
  pfi->data_stream = std::fopen(pfi->data_file_name, "rb");
  ASSERT_NE(pfi->data_stream, nullptr);
  const int nx = static_cast<int>(w.lons.size()), ny = static_cast<int>(w.lats.size());
  ASSERT_EQ(pfi->x_size, nx);
  ASSERT_EQ(pfi->y_size, ny);
  ASSERT_EQ(pfi->t_size, w.times);
  for (int t = 1; t <= w.times; ++t) {
    for (int z = 1; z <= std::max(1, static_cast<int>(w.levs.size())); ++z) {
      auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
      g->file = pfi.get();
      g->variable = &pfi->variables[0];
      g->undef = pfi->undef;
      g->idim = 0;
      g->jdim = 1;
      int lo[4] = {1, 1, z, t}, hi[4] = {nx, ny, z, t};
      for (int d = 0; d < 4; ++d) {
        g->dim_min[d] = lo[d];
        g->dim_max[d] = hi[d];
      }
      testing::internal::CaptureStdout();
      int grc = kaggrd(g);
      std::string gout = testing::internal::GetCapturedStdout();
      ASSERT_EQ(grc, 0) << gout;
      // The descriptor's z axis runs from the largest level down; y from
      // south to north whatever order the rows were written in.
      std::vector<double> levs = w.levs.empty() ? std::vector<double>{0.0} : w.levs, lats = w.lats;
      std::sort(levs.rbegin(), levs.rend());
      std::sort(lats.begin(), lats.end());
      for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i)
          ASSERT_NEAR(g->values[j * nx + i], field(w.lons[i], lats[j], levs[z - 1], t - 1), 0.05 + 1e-4)
              << "t " << t << " z " << z << " at " << i << "," << j;
      kagfre(g);
    }
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
  if (!latstest::have("grib_get") || !latstest::have("grib_get_data")) GTEST_SKIP() << "no eccodes";
  const std::vector<double> lons = latstest::ramp(-20.0004, 10.0001, 4);
  const std::vector<double> lats = latstest::ramp(0, -15.0001333333, 4);
  int fid = lats_create(path("ref").c_str(), LATS_GRIB_ONLY, LATS_STANDARD, LATS_HOURLY, 1, "pcmdi",
                        "m", "c");
  int gid = latstest::grid(lons, lats);
  int var = lats_var(fid, "cli", LATS_FLOAT, LATS_INSTANT, gid, 0, "");
  ASSERT_GT(var, 0);
  ASSERT_EQ(lats_miss_float(fid, var, -9.99e33f, 0.0f), 1);
  std::vector<float> data(16);
  for (int k = 0; k < 16; ++k) data[static_cast<size_t>(k)] = static_cast<float>(-1000.0001 + 0.0123 * k);
  data[5] = data[10] = -9.99e33f;
  ASSERT_EQ(lats_write(fid, var, 0, 2000, 1, 1, 0, data.data()), 1);
  ASSERT_EQ(lats_close(fid), 1);

  std::string keys = shell(dir,
      "grib_get -p latitudeOfLastGridPoint,longitudeOfFirstGridPoint,jScansPositively,"
      "bitmapPresent,numberOfMissing,bitsPerValue,binaryScaleFactor,decimalScaleFactor ref.grb");
  std::istringstream kin(keys);
  int la2, lo1, jpos, bmp, nmiss, bits, e, d;
  ASSERT_TRUE(kin >> la2 >> lo1 >> jpos >> bmp >> nmiss >> bits >> e >> d) << keys;
  EXPECT_EQ(la2, -45000);
  EXPECT_EQ(lo1, -20000);
  EXPECT_EQ(jpos, 0);
  EXPECT_EQ(bmp, 1);
  EXPECT_EQ(nmiss, 2);
  EXPECT_EQ(bits, 16);
  const double half = std::ldexp(1.0, e) / std::pow(10.0, d) / 2;
  std::string vals = shell(dir, "grib_get_data -m 9.999e20 ref.grb");
  std::istringstream vin(vals);
  std::string header;
  std::getline(vin, header);
  double lat, lon, v;
  int k = 0;
  while (vin >> lat >> lon >> v) {
    if (k == 5 || k == 10) {
      EXPECT_EQ(v, 9.999e20) << k;
    } else {
      EXPECT_NEAR(v, data[static_cast<size_t>(k)], half + 1e-4 * half) << k;
    }
    ++k;
  }
  EXPECT_EQ(k, 16);
}

// A weekly file with delta 2 is a daily one with delta 14; a gaussian grid
// of 94 latitudes gives N = 47.
TEST_F(LatsGribPeer, WeeklyAverageOnAGaussianGrid) {
  if (!latstest::have("grib_get")) GTEST_SKIP() << "no eccodes";
  int fid = lats_create(path("wk").c_str(), LATS_GRIB_ONLY, LATS_STANDARD, LATS_WEEKLY, 2, "ncep",
                        "m", "c");
  int gid = latstest::grid(latstest::ramp(0, 10, 36), latstest::ramp(88.5, -1.9, 94), LATS_GAUSSIAN);
  int var = lats_var(fid, "psl", LATS_FLOAT, LATS_AVERAGE, gid, 0, "");
  ASSERT_GT(var, 0);
  std::vector<float> data(36 * 94, 101325.0f);
  ASSERT_EQ(lats_write(fid, var, 0, 2000, 1, 3, 0, data.data()), 1);
  ASSERT_EQ(lats_close(fid), 1);
  EXPECT_EQ(shell(dir, "grib_get -p unitOfTimeRange,P1,P2,timeRangeIndicator,"
                       "dataRepresentationType,N,indicatorOfTypeOfLevel:i,generatingProcessIdentifier wk.grb"),
            "2 0 14 3 4 47 102 21\n");
}

// Decimal scaling that would need 25 bits falls back to 24 bits of binary
// scaling with D written as 0; a constant field packs one zero bit a value.
TEST_F(LatsGribPeer, PackingWidthsAndScales) {
  if (!latstest::have("grib_get") || !latstest::have("grib_get_data")) GTEST_SKIP() << "no eccodes";
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
  std::string keys = shell(dir, "grib_get -p bitsPerValue,decimalScaleFactor,binaryScaleFactor pk.grb");
  std::istringstream in(keys);
  int b1, d1, e1, b2, d2, e2;
  ASSERT_TRUE(in >> b1 >> d1 >> e1 >> b2 >> d2 >> e2) << keys;
  EXPECT_EQ(b1, 24);
  EXPECT_EQ(d1, 0);
  EXPECT_EQ(b2, 1);
  EXPECT_EQ(d2, 0);
  EXPECT_EQ(e2, 0);
  std::string vals = shell(dir, "grib_get_data -w count=1 pk.grb");
  std::istringstream vin(vals);
  std::string header;
  std::getline(vin, header);
  double lat, lon, v;
  int k = 0;
  while (vin >> lat >> lon >> v) {
    EXPECT_NEAR(v, wide[static_cast<size_t>(k)], std::ldexp(1.0, e1) / 2) << k;
    ++k;
  }
  EXPECT_EQ(k, 50);
  EXPECT_EQ(shell(dir, "grib_get -w count=2 -p max,min pk.grb"), "101325 101325\n");
}

}  // namespace
