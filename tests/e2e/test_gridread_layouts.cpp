// Grids read through "display" from data files of several layouts that the
// test writes itself; the values come back through fwrite output and printed
// results and are compared with what the test stored.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;

namespace {

float f(int x, int y, int z, int t) {
  return static_cast<float>(t * 100000 + z * 10000 + y * 100 + x);
}

void put(std::string& s, float v, bool big) {
  unsigned char b[4];
  std::memcpy(b, &v, 4);
  if (big) {
    std::swap(b[0], b[3]);
    std::swap(b[1], b[2]);
  }
  s.append(reinterpret_cast<const char*>(b), 4);
}

// Opens name.ctl, runs the commands with fwrite output and returns the
// little-endian floats written (and in out what was printed).
std::vector<float> written(const TempDir& dir, const std::string& name, const std::string& cmds,
                           std::string* out = nullptr) {
  RunResult r = run_batch("open " + name + ".ctl\nset gxout fwrite\nset fwrite -le out.bin\n" +
                              cmds + "quit\n",
                          dir.path());
  EXPECT_EQ(r.status, 0) << r.out;
  if (out) *out = r.out;
  std::string bytes = read_file(dir.file("out.bin"));
  std::vector<float> v(bytes.size() / 4);
  std::memcpy(v.data(), bytes.data(), v.size() * 4);
  return v;
}

}  // namespace

TEST(GridLayoutsDisplayed, BigEndianReversedLatitudesWithArithmetic) {
  // 8 x 5 x 2 levels x 3 times, big-endian, rows north to south.
  TempDir dir;
  std::string s;
  for (int t = 1; t <= 3; t++)
    for (int z = 1; z <= 2; z++)
      for (int y = 5; y >= 1; y--)
        for (int x = 1; x <= 8; x++) put(s, f(x, y, z, t), true);
  write_file(dir.file("b.dat"), s);
  write_file(dir.file("b.ctl"),
             "dset ^b.dat\nundef -9.99e33\noptions big_endian yrev\nxdef 8 linear 0 10\n"
             "ydef 5 linear -20 10\nzdef 2 levels 1000 500\ntdef 3 linear 00z1jan2000 1dy\n"
             "vars 1\nu 2 99 u\nendvars\n");
  std::vector<float> v = written(
      dir, "b", "set lon 10 50\nset lat -10 20\nset t 2\nd u(lev=500)-u(t-1)\nd u.1(t=3,z=1)\n");
  ASSERT_EQ(v.size(), 2u * 5 * 4);
  size_t k = 0;
  // x 2..6, y 2..5: first the difference, then the third time at level 1.
  for (int y = 2; y <= 5; y++)
    for (int x = 2; x <= 6; x++, k++) EXPECT_EQ(v[k], f(x, y, 2, 2) - f(x, y, 1, 1));
  for (int y = 2; y <= 5; y++)
    for (int x = 2; x <= 6; x++, k++) EXPECT_EQ(v[k], f(x, y, 1, 3));
}

TEST(GridLayoutsDisplayed, TemplatesWithAMissingFile) {
  // Daily files of two 12-hourly times; the second day is missing.
  TempDir dir;
  for (int day : {1, 3}) {
    std::string s;
    for (int t = 2 * day - 1; t <= 2 * day; t++)
      for (int y = 1; y <= 2; y++)
        for (int x = 1; x <= 3; x++) put(s, f(x, y, 1, t), false);
    write_file(dir.file("d_0" + std::to_string(day) + ".dat"), s);
  }
  write_file(dir.file("d.ctl"),
             "dset ^d_%d2.dat\noptions template\nundef -1\nxdef 3 linear 0 1\n"
             "ydef 2 linear 0 1\nzdef 1 levels 1\ntdef 6 linear 00z1jan2000 12hr\n"
             "vars 1\na 0 99 a\nendvars\n");
  std::string out;
  std::vector<float> v =
      written(dir, "d", "set x 2\nset y 2\nset t 1 6\nset misswarn on 1\nd a\n", &out);
  ASSERT_EQ(v.size(), 6u) << out;
  for (int t = 1; t <= 6; t++)
    EXPECT_EQ(v[t - 1], t == 3 || t == 4 ? -1.0f : f(2, 2, 1, t)) << t;
  std::string warn = "Warning: Open error, fn = d_02.dat\n";
  EXPECT_NE(out.find(warn + warn), std::string::npos) << out;
}

TEST(GridLayoutsDisplayed, GlobalGridWrapsInLongitude) {
  TempDir dir;
  std::string s;
  for (int x = 1; x <= 360; x++) put(s, float(x), false);
  write_file(dir.file("g.dat"), s);
  write_file(dir.file("g.ctl"),
             "dset ^g.dat\nundef -9.99e33\nxdef 360 linear 0 1\nydef 1 linear 0 1\n"
             "zdef 1 levels 1\ntdef 1 linear 00z1jan2000 1dy\nvars 1\na 0 99 a\nendvars\n");
  std::vector<float> v = written(dir, "g", "set lon -20 380\nd a\nset lon 400\nd a\nset lon -1\nd a\n");
  // Longitudes -20..380 are grid points -19..381; then the fixed longitudes
  // 400 (grid point 41) and -1 (grid point 360).
  ASSERT_EQ(v.size(), 403u);
  for (int x = -19; x <= 381; x++) ASSERT_EQ(v[x + 19], float(((x - 1) % 360 + 360) % 360 + 1));
  EXPECT_EQ(v[401], 41.0f);
  EXPECT_EQ(v[402], 360.0f);
}
