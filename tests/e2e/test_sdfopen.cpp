// "sdfopen" through the program: netCDF files made by ncgen from the CDL in
// tests/sdf/cdl, read back and checked against ncdump and hand values.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "sdf_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;
using sdffiles::make_nc;
using sdffiles::ncdump_values;
using sdffiles::printed_values;

namespace {

void expect_near_all(const std::vector<double>& got, const std::vector<double>& want,
                     double undef, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < want.size(); i++) {
    if (std::isnan(want[i]))
      EXPECT_EQ(got[i], undef) << what << " at " << i;
    else
      EXPECT_NEAR(got[i], want[i], 1e-4 * std::max(1.0, std::fabs(want[i]))) << what << " at " << i;
  }
}

}  // namespace

// The metadata becomes the data set: the file's title, its global linear
// axes, the 6-hourly time axis, and the descriptor rebuilt from them.
TEST(Sdfopen, FileAndDescriptorFromTheMetadata) {
  TempDir dir;
  make_nc(dir, "latlon", "a.nc");
  RunResult r = run_batch("sdfopen a.nc\nq file\nq ctlinfo\n", dir.path());
  EXPECT_NE(answer(r.out, "sdfopen a.nc").find("SDF file a.nc is open as file 1\n"
                                               "LON set to 0 360 \n"),
            std::string::npos)
      << r.out;
  EXPECT_EQ(answer(r.out, "q file"),
            "File 1 : lat-lon test field\n  Descriptor: a.nc\n  Binary: a.nc\n"
            "  Type = Gridded\n  Xsize = 8  Ysize = 4  Zsize = 1  Tsize = 3\n"
            "  Number of Variables = 1\n    tas 0 -999 near-surface air temperature\n");
  EXPECT_EQ(answer(r.out, "q ctlinfo"),
            "dset a.nc\ntitle lat-lon test field\nundef -999\n"
            "xdef 8 linear 0 45\nydef 4 linear -67.5 45\nzdef 1 linear 0 0\n"
            "tdef 3 linear 00Z01JAN2000 360mn\nvars 1\n"
            "tas 0 -999 near-surface air temperature\n");
}

// Every time of the variable equals what ncdump prints, for the classic
// and the netCDF-4 form of the same CDL; _FillValue points are undefined.
TEST(Sdfopen, ValuesEqualNcdumpInBothFormats) {
  for (const std::string kind : {"", "nc4"}) {
    TempDir dir;
    std::string f = make_nc(dir, "latlon", "a.nc", kind);
    std::vector<double> all = ncdump_values(f, "tas");
    ASSERT_EQ(all.size(), 96u);
    std::string in = "sdfopen a.nc\nset gxout print\nset x 1 8\n";
    for (int t = 1; t <= 3; t++) in += "set t " + std::to_string(t) + "\nd tas\n";
    RunResult r = run_batch(in, dir.path());
    size_t at = 0;
    for (int t = 0; t < 3; t++) {
      at = r.out.find("ka-> d tas\n", at + 1);
      ASSERT_NE(at, std::string::npos);
      std::vector<double> want(all.begin() + t * 32, all.begin() + (t + 1) * 32);
      for (double& w : want)
        if (w == -999) w = std::nan("");
      expect_near_all(printed_values(r.out.substr(at), "d tas"), want, -999,
                      kind + " time " + std::to_string(t + 1));
    }
  }
}

// Longitudes -90..90 on the global 45-degree grid come round the date line
// from the eastern columns; a fixed longitude past 360 wraps too.
TEST(Sdfopen, GlobalGridWrapsInLongitude) {
  TempDir dir;
  make_nc(dir, "latlon", "a.nc");
  RunResult r = run_batch(
      "sdfopen a.nc\nset gxout print\nset t 2\nset lon -90 90\nset lat -22.5\nd tas\n"
      "set lon 405\nset lat -67.5 67.5\nd tas\n",
      dir.path());
  // Row 2 of time 2 holds 111..118 at lon 0..315: -90 is 270 (117), -45 is 315 (118).
  size_t first = r.out.find("ka-> d tas\n");
  expect_near_all(printed_values(r.out.substr(first), "d tas"), {117, 118, 111, 112, 113}, -999,
                  "wrapped row");
  size_t second = r.out.find("ka-> d tas\n", first + 1);
  // 405 is 45: column 2 of each row.
  expect_near_all(printed_values(r.out.substr(second), "d tas"), {102, 112, 122, 132}, -999,
                  "fixed lon past 360");
}
