// "set lats" and the output types latsgrid and latsdata through the program:
// displayed fields written to netCDF, read back by ncdump and by vemra's own
// sdfopen, and the bridge's refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "sdf_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;
using sdffiles::printed_values;

namespace {

constexpr float kUndef = -9.99e33f;

// "a" on two levels; undefined at one point of the first time.
float a_at(int x, int y, int z, int t) {
  if (x == 3 && y == 2 && t == 1) return kUndef;
  return float(x + 10 * y + 100 * z + 1000 * t) / 4.0f;
}

// lon 0..30 by 10, lat -10..10 by 10, levels 1000 and 500, 6-hourly.
void write_dataset(const TempDir& dir) {
  write_file(dir.file("d.ctl"),
             "dset ^d.dat\ntitle LATS test\nundef -9.99e33\n"
             "xdef 4 linear 0 10\nydef 3 linear -10 10\nzdef 2 levels 1000 500\n"
             "tdef 2 linear 00z01jan2000 6hr\nvars 1\na 2 0 A\nendvars\n");
  std::vector<float> v;
  for (int t = 1; t <= 2; t++)
    for (int z = 1; z <= 2; z++)
      for (int y = 1; y <= 3; y++)
        for (int x = 1; x <= 4; x++) v.push_back(a_at(x, y, z, t));
  write_file(dir.file("d.dat"), std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4));
}

const std::string kEnv = "open d.ctl\nset x 1 4\nset y 1 3\nset z 1\nset t 1\n";

// A file of one variable on both levels, declared from the displayed grid.
std::string declare(const std::string& convention) {
  return "set lats convention " + convention +
         "\nset lats frequency hourly\nset lats deltat 6\n"
         "set lats create out\nset lats vertdim plev 1000 500\nset gxout latsgrid\nd a\n"
         "set lats var 1 ta instant 1 1\nset gxout latsdata\n";
}

// Writes times 1 and 2 at both levels, level 500 first at the second time.
const std::string kWrites =
    "set lats write 1 1 1000\nd a\nset z 2\nset lats write 1 1 500\nd a\n"
    "set t 2\nd a\nset z 1\nset lats write 1 1 1000\nd a\n";

}  // namespace

// The whole road: grid, variable, four writes and the close at quit; the
// values sdfopen reads back.
TEST(LatsOutput, CoardsFileReadBackBySdfopen) {
  TempDir dir;
  write_dataset(dir);
  RunResult r = run_batch(kEnv + declare("coards") + kWrites, dir.path());
  EXPECT_EQ(r.err, "") << r.err;
  EXPECT_EQ(answer(r.out, "set lats create out"), "LATS FILE ID = 1\n");
  EXPECT_EQ(answer(r.out, "set lats vertdim plev 1000 500"), "LATS VERTDIM ID = 1\n");
  EXPECT_EQ(answer(r.out, "set lats var 1 ta instant 1 1"), "LATS VAR ID = 1\n");
  EXPECT_NE(r.out.find("ka-> d a\nLATS GRID ID = 1\n"), std::string::npos);
  EXPECT_NE(r.out.find("ka-> d a\nLATS DATA_WRITE ID = 1\n"), std::string::npos);

  std::string in = "sdfopen out.nc\nset x 1 4\nset y 1 3\nset gxout print\n";
  for (int t = 1; t <= 2; t++)
    for (int z = 1; z <= 2; z++)
      in += "set t " + std::to_string(t) + "\nset lev " + (z == 1 ? "1000" : "500") + "\nd ta\n";
  RunResult back = run_batch(in, dir.path());
  size_t at = 0;
  for (int t = 1; t <= 2; t++)
    for (int z = 1; z <= 2; z++) {
      at = back.out.find("ka-> d ta\n", at + 1);
      ASSERT_NE(at, std::string::npos) << back.out;
      std::vector<double> got = printed_values(back.out.substr(at), "d ta");
      ASSERT_EQ(got.size(), 12u) << back.out.substr(at, 400);
      for (int y = 1; y <= 3; y++)
        for (int x = 1; x <= 4; x++) {
          double want = a_at(x, y, z, t), g = got[size_t((y - 1) * 4 + x - 1)];
          if (want == kUndef) EXPECT_FLOAT_EQ(float(g), kUndef);
          else EXPECT_NEAR(g, want, 1e-4) << x << " " << y << " " << z << " " << t;
        }
    }
}

// With "-x" the file is closed before the program returns, so its times
// and values are complete.
TEST(LatsOutput, FileClosedBeforeExitAfterCommand) {
  TempDir dir;
  write_dataset(dir);
  write_file(dir.file("cmds"), kEnv + declare("coards") + kWrites);
  RunResult r = run_vemra({"-b", "-x", "-c", "exec cmds"}, "", dir.path());
  EXPECT_EQ(r.status, 99);
  std::vector<double> times = sdffiles::ncdump_values(dir.file("out.nc"), "time");
  EXPECT_EQ(times, (std::vector<double>{0, 6}));
  std::vector<double> ta = sdffiles::ncdump_values(dir.file("out.nc"), "ta");
  ASSERT_EQ(ta.size(), 48u);
  EXPECT_DOUBLE_EQ(ta[47], a_at(4, 3, 2, 2));
}

// Refusals of the bridge: none ends the session, each says why and returns
// an id that can't be mistaken for a real one.
TEST(LatsOutput, BridgeRefusals) {
  TempDir dir;
  write_dataset(dir);
  RunResult r = run_batch(
      "set lats create early\n" + kEnv + declare("coards") +
          "set lats var 1 nosuch instant 1 1\n"
          "set lats var 1 ta instant 0 0\n"
          "set lats vertdim plev 850\n"
          "set x 1 3\nset lats write 1 1 1000\nd a\n"
          "set x 1 4\nset y 1\nset z 1 2\nd a\n"
          "set x 1\nset y 1 3\nset z 1\nset gxout latsgrid\nd a\n"
          "q lats\n",
      dir.path());
  // Frequency unset at start: the writer refuses the file.
  EXPECT_EQ(answer(r.out, "set lats create early"), "LATS FILE ID = 0\n");
  // A refused declaration is 0, not a variable id; the highest id stays 1.
  EXPECT_EQ(answer(r.out, "set lats var 1 nosuch instant 1 1"), "LATS VAR ID = 0\n");
  EXPECT_EQ(answer(r.out, "set lats var 1 ta instant 0 0"),
            "Vemra-LATS Error:  (lats_var) the LATS GRID ID is out of bounds\nLATS VAR ID = 0\n");
  EXPECT_EQ(answer(r.out, "set lats vertdim plev 850"),
            "Vemra-LATS Error:  (lats_vert_dim) a vertical dimension is already defined; use set "
            "lats reset first\nLATS VERTDIM ID = -999\n");
  // A field of another size than the declared grid is not written.
  EXPECT_NE(r.out.find("ka-> d a\nVemra-LATS Error: (lats_write) the field is 3 x 3 but the grid "
                       "of variable 1 is 4 x 3\nLATS DATA_WRITE ID = 0\n"
                       "Vemra-LATS Error: (lats_write) failed...\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("ka-> d a\nVemra-LATS Error:  (lats_write) the dimension environment must "
                       "be fixed in z and t\n"),
            std::string::npos);
  EXPECT_NE(r.out.find("ka-> d a\nVemra-LATS Error:  the grid must be lon/lat\n"),
            std::string::npos);
  EXPECT_NE(answer(r.out, "q lats").find("\n1 \t: id_var LATS internal ID\n"), std::string::npos);
  // Nothing was written: the file closed at quit holds no time.
  EXPECT_TRUE(sdffiles::ncdump_values(dir.file("out.nc"), "time").empty());
}
