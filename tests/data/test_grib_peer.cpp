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

using grtest::shell;

// Runs a peer tool that writes a file; true when it succeeded.
bool run_tool(const TempDir& d, const std::string& cmd) {
  return std::system(("cd " + d.path() + " && " + cmd + " >/dev/null 2>&1").c_str()) == 0;
}

// Packing step 2^E / 10^D of the message, from grib_get.
double step(const TempDir& d, const std::string& file) {
  std::istringstream in(shell(d, "grib_get -p binaryScaleFactor,decimalScaleFactor " + file));
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
                          "zdef 1 levels 0\ntdef " +
                          std::to_string(times) +
                          " linear 00z1jan2000 6hr\nvars 1\nv 0 1,1,0 random\nendvars\n";
  vemra_test::write_file(d.file("d.ctl"), ctl);
  mfcmn.calendar_365 = -999;
  StdoutCapture cap;
  ASSERT_EQ(latsgribmap(d.file("d.ctl").c_str(), 0), 1) << cap.text();
  auto pfi = grtest::open_text(d, ctl);
  ASSERT_TRUE(pfi);
  auto peer = grtest::peer_points(d, "-m 9.999e20 " + file);
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
  if (!grtest::have("cdo") || !grtest::have("grib_set") || !grtest::have("grib_get_data"))
    GTEST_SKIP() << "cdo or eccodes tools not installed";
  TempDir d;
  const std::string make = "cdo -s -f grb -b %B settaxis,2000-01-01,00:00,6hour -random,r36x19 ";
  for (const char* b : {"8", "12", "16", "24", "32"}) {
    std::string cmd = make;
    cmd.replace(cmd.find("%B"), 2, b);
    ASSERT_TRUE(run_tool(d, cmd + "b" + b + ".grb"));
    check(d, std::string("b") + b + ".grb", "", 1);
  }
  // Missing values through a bit map; a constant field of 0 bits per value.
  ASSERT_TRUE(run_tool(d,
                       "cdo -s -f grb -b 16 settaxis,2000-01-01,00:00,6hour -setrtomiss,0.2,0.4 "
                       "-random,r36x19 bm.grb"));
  check(d, "bm.grb", "", 1);
  ASSERT_TRUE(
      run_tool(d, "cdo -s -f grb settaxis,2000-01-01,00:00,6hour -const,273.15,r36x19 c.grb"));
  check(d, "c.grb", "", 1);
  // Decimal scaling (7 bits), a grid id with its data set type, and forecast
  // times of 2 x 3 hours and 1 x 6 hours that land on the second time.
  ASSERT_TRUE(run_tool(d, "grib_set -s changeDecimalPrecision=2 b16.grb dec.grb"));
  check(d, "dec.grb", "", 1);
  ASSERT_TRUE(run_tool(d, "grib_set -s gridDefinition=3 b16.grb g3.grb"));
  check(d, "g3.grb", " 3", 1);
  ASSERT_TRUE(run_tool(d, "grib_set -s unitOfTimeRange=10,P1=2 b16.grb u10.grb"));
  check(d, "u10.grb", "", 2, 2);
  ASSERT_TRUE(run_tool(d, "grib_set -s P1=1 b16.grb u11.grb"));
  check(d, "u11.grb", "", 2, 2);
}
