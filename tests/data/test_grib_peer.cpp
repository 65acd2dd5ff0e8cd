// GRIB edition 1 files written by the independent tools (cdo, and eccodes'
// grib_set to change bit maps, widths, scaling, time units and grid ids)
// are indexed and read; every value must equal what grib_get_data decodes,
// within the rounding of the packing.
#include <cmath>
#include <sstream>

#include "data/gribbuild.h"
#include "test_gridread_support.h"

namespace {

using vemra_test::TempDir;

bool have_tools() {
  return std::system("command -v cdo >/dev/null 2>&1 && command -v grib_get_data >/dev/null 2>&1"
                     " && command -v grib_set >/dev/null 2>&1") == 0;
}

int sh(const TempDir& d, const std::string& cmd) {
  const char* out = cmd.find('>') == std::string::npos ? " >/dev/null" : "";
  return std::system(("cd " + d.path() + " && " + cmd + out + " 2>/dev/null").c_str());
}

struct peer_value {
  float lat, lon;
  double v;
};

// Values as grib_get_data prints them, missing ones as 9.999e20.
std::vector<peer_value> peer_values(const TempDir& d, const std::string& file) {
  sh(d, "grib_get_data -m 9.999e20 " + file + " > values.txt");
  std::istringstream in(vemra_test::read_file(d.file("values.txt")));
  std::string line;
  std::getline(in, line);
  std::vector<peer_value> out;
  peer_value p;
  while (in >> p.lat >> p.lon >> p.v) out.push_back(p);
  return out;
}

// Packing step 2^E / 10^D of the message, from grib_get.
double step(const TempDir& d, const std::string& file) {
  sh(d, "grib_get -p binaryScaleFactor,decimalScaleFactor " + file + " > scale.txt");
  std::istringstream in(vemra_test::read_file(d.file("scale.txt")));
  int e = 0, dd = 0;
  in >> e >> dd;
  return std::ldexp(1.0, e) / std::pow(10.0, dd);
}

// Indexes `file` with the descriptor, reads time t and compares every point.
void check(const TempDir& d, const std::string& file, const std::string& dtype, int t,
           int times = 1) {
  SCOPED_TRACE(file + " " + dtype);
  const std::string ctl = "dset ^" + file + "\nindex ^" + file + ".idx\ndtype grib" + dtype +
                          "\nundef 9.999e20\nxdef 36 linear 0 10\nydef 19 linear -90 10\n"
                          "zdef 1 levels 0\ntdef " + std::to_string(times) +
                          " linear 00z1jan2000 6hr\nvars 1\nv 0 1,1,0 random\nendvars\n";
  vemra_test::write_file(d.file("d.ctl"), ctl);
  mfcmn.calendar_365 = -999;
  testing::internal::CaptureStdout();
  int rc = latsgribmap(d.file("d.ctl").c_str(), 0);
  std::string out = testing::internal::GetCapturedStdout();
  ASSERT_EQ(rc, 1) << out;
  auto pfi = grtest::open_text(d, ctl);
  ASSERT_TRUE(pfi);
  auto peer = peer_values(d, file);
  ASSERT_EQ(peer.size(), 36u * 19u);
  const double s = step(d, file);
  for (int tt = 1; tt <= times; tt++) {
    auto g = grtest::read(pfi.get(), 0, 0, 1, {1, 1, 1, tt}, {36, 19, 1, tt});
    ASSERT_EQ(g.rc, 0) << g.out;
    for (size_t k = 0; k < peer.size(); k++) {
      const float ours = g.at(int(k % 36), int(k / 36));
      ASSERT_EQ(peer[k].lon, float(k % 36) * 10);
      ASSERT_EQ(peer[k].lat, float(k / 36) * 10 - 90);
      if (tt != t) {
        ASSERT_EQ(ours, pfi->undef) << "time " << tt;
      } else {
        ASSERT_NEAR(ours, peer[k].v, s * 1e-3 + std::fabs(peer[k].v) * 2e-7) << k;
      }
    }
  }
}

}  // namespace

TEST(GribPeer, FilesOfTheIndependentToolsReadAsItDecodesThem) {
  if (!have_tools()) GTEST_SKIP() << "cdo or eccodes tools not installed";
  TempDir d;
  const std::string make = "cdo -s -f grb -b %B settaxis,2000-01-01,00:00,6hour -random,r36x19 ";
  for (const char* b : {"8", "12", "16", "24", "32"}) {
    std::string cmd = make;
    cmd.replace(cmd.find("%B"), 2, b);
    ASSERT_EQ(sh(d, cmd + "b" + b + ".grb"), 0);
    check(d, std::string("b") + b + ".grb", "", 1);
  }
  // Missing values through a bit map; a constant field of 0 bits per value.
  ASSERT_EQ(sh(d, "cdo -s -f grb -b 16 settaxis,2000-01-01,00:00,6hour -setrtomiss,0.2,0.4 "
                  "-random,r36x19 bm.grb"), 0);
  check(d, "bm.grb", "", 1);
  ASSERT_EQ(sh(d, "cdo -s -f grb settaxis,2000-01-01,00:00,6hour -const,273.15,r36x19 c.grb"), 0);
  check(d, "c.grb", "", 1);
  // Decimal scaling (7 bits), a grid id with its data set type, and forecast
  // times of 2 x 3 hours and 1 x 6 hours that land on the second time.
  ASSERT_EQ(sh(d, "grib_set -s changeDecimalPrecision=2 b16.grb dec.grb"), 0);
  check(d, "dec.grb", "", 1);
  ASSERT_EQ(sh(d, "grib_set -s gridDefinition=3 b16.grb g3.grb"), 0);
  check(d, "g3.grb", " 3", 1);
  ASSERT_EQ(sh(d, "grib_set -s unitOfTimeRange=10,P1=2 b16.grb u10.grb"), 0);
  check(d, "u10.grb", "", 2, 2);
  ASSERT_EQ(sh(d, "grib_set -s P1=1 b16.grb u11.grb"), 0);
  check(d, "u11.grb", "", 2, 2);
}
