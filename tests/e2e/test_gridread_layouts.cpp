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
