// Grid reading from binary files written by the tests: every layout the
// descriptor can describe, compared point by point with the values the test
// stored there.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <fstream>
#include <limits>

#include "test_gridread_support.h"

using namespace grtest;
using vemra_test::TempDir;
using vemra_test::write_file;

namespace {

// x y z t sizes 5 4 3 2; u has 3 levels, ps none (stored as -f).
std::string plain_ctl(const std::string& options = "") {
  return "dset ^d.dat\nundef -999\n" + options +
         "xdef 5 linear 0 1\nydef 4 linear 0 1\nzdef 3 levels 1000 850 700\n"
         "tdef 2 linear 00z1jan2000 1dy\nvars 2\nu 3 99 u\nps 0 99 ps\nendvars\n";
}

std::string plain_data(bool reversed = false) {
  std::string s;
  for (int t = 1; t <= 2; t++) {
    for (int z = 1; z <= 3; z++)
      for (int y = 1; y <= 4; y++)
        for (int x = 1; x <= 5; x++) put_f32(s, f(x, y, z, t), reversed);
    for (int y = 1; y <= 4; y++)
      for (int x = 1; x <= 5; x++) put_f32(s, -f(x, y, 1, t), reversed);
  }
  return s;
}

struct GridReadTest : testing::Test {
  TempDir dir;
  int saved_warn = mfcmn.warn_level;
  void TearDown() override { mfcmn.warn_level = saved_warn; }
};

}  // namespace

TEST_F(GridReadTest, PlainFileEveryPairOfVaryingDimensions) {
  write_file(dir.file("d.dat"), plain_data());
  record p = open_text(dir, plain_ctl());
  ASSERT_TRUE(p);

  // x-y at z 2, t 2.
  read_result xy = read(p.get(), 0, 0, 1, {1, 1, 2, 2}, {5, 4, 2, 2});
  ASSERT_EQ(xy.rc, 0) << xy.out;
  ASSERT_EQ(xy.grid->isiz, 5);
  ASSERT_EQ(xy.grid->jsiz, 4);
  for (int y = 1; y <= 4; y++)
    for (int x = 1; x <= 5; x++) EXPECT_EQ(xy.at(x - 1, y - 1), f(x, y, 2, 2)) << x << " " << y;

  // The surface variable after the levels of u.
  read_result ps = read(p.get(), 1, 0, 1, {2, 2, 1, 2}, {4, 3, 1, 2});
  ASSERT_EQ(ps.rc, 0) << ps.out;
  for (int y = 2; y <= 3; y++)
    for (int x = 2; x <= 4; x++) EXPECT_EQ(ps.at(x - 2, y - 2), -f(x, y, 1, 2));

  // x-z, y-t (x fixed: point by point), t alone.
  read_result xz = read(p.get(), 0, 0, 2, {1, 3, 1, 1}, {5, 3, 3, 1});
  ASSERT_EQ(xz.rc, 0);
  for (int z = 1; z <= 3; z++)
    for (int x = 1; x <= 5; x++) EXPECT_EQ(xz.at(x - 1, z - 1), f(x, 3, z, 1));
  read_result yt = read(p.get(), 0, 1, 3, {4, 1, 3, 1}, {4, 4, 3, 2});
  ASSERT_EQ(yt.rc, 0);
  for (int t = 1; t <= 2; t++)
    for (int y = 1; y <= 4; y++) EXPECT_EQ(yt.at(y - 1, t - 1), f(4, y, 3, t));
  read_result t1 = read(p.get(), 0, 3, -1, {2, 3, 1, 1}, {2, 3, 1, 2});
  ASSERT_EQ(t1.rc, 0);
  EXPECT_EQ(t1.at(0), f(2, 3, 1, 1));
  EXPECT_EQ(t1.at(1), f(2, 3, 1, 2));

  // A single value lives in the record itself.
  read_result one = read(p.get(), 0, -1, -1, {3, 2, 3, 2}, {3, 2, 3, 2});
  ASSERT_EQ(one.rc, 0);
  EXPECT_EQ(one.grid->values, &one.grid->min_value);
  EXPECT_EQ(one.grid->min_value, f(3, 2, 3, 2));
  EXPECT_EQ(one.grid->max_value, f(3, 2, 3, 2));
}

TEST_F(GridReadTest, RangesBeyondTheFile) {
  write_file(dir.file("d.dat"), plain_data());
  record p = open_text(dir, plain_ctl());
  ASSERT_TRUE(p);
  // x and y hanging over both edges of a non-wrapping grid.
  read_result r = read(p.get(), 0, 0, 1, {-1, 0, 1, 1}, {7, 5, 1, 1});
  ASSERT_EQ(r.rc, 0);
  ASSERT_EQ(r.grid->isiz, 9);
  ASSERT_EQ(r.grid->jsiz, 6);
  for (int y = 0; y <= 5; y++)
    for (int x = -1; x <= 7; x++) {
      bool in = x >= 1 && x <= 5 && y >= 1 && y <= 4;
      EXPECT_EQ(r.at(x + 1, y), in ? f(x, y, 1, 1) : -999.0f) << x << " " << y;
    }

  // A fixed time past the end: all undefined, status -1, the warning.
  mfcmn.warn_level = 1;
  read_result late = read(p.get(), 0, 0, 1, {1, 1, 1, 3}, {5, 4, 1, 3});
  EXPECT_EQ(late.rc, -1);
  for (int i = 0; i < 20; i++) EXPECT_EQ(late.grid->values[i], -999.0f);
  EXPECT_TRUE(contains(late.out, "Data Request Warning:  Request beyond file limits\n"));
  EXPECT_TRUE(contains(late.out, "  Dimension ranges are:  X = 1 5  Y = 1 4  Z = 1 3  T = 3 2 \n"))
      << late.out;
  // Rows wholly outside in y: nothing read at all.
  read_result above = read(p.get(), 0, 0, 1, {1, 6, 1, 1}, {5, 7, 1, 1});
  EXPECT_EQ(above.rc, -1);
  mfcmn.warn_level = 0;
  read_result quiet = read(p.get(), 0, 0, 1, {1, 1, 1, 3}, {5, 4, 1, 3});
  EXPECT_EQ(quiet.rc, -1);
  EXPECT_EQ(quiet.out, "");
}

TEST_F(GridReadTest, SurfaceVariableAndInvalidDimensions) {
  write_file(dir.file("d.dat"), plain_data());
  record p = open_text(dir, plain_ctl());
  ASSERT_TRUE(p);
  // Asked at level 7 with z fixed: level 1.
  read_result r = read(p.get(), 1, 0, -1, {1, 2, 7, 1}, {5, 2, 7, 1});
  ASSERT_EQ(r.rc, 0);
  for (int x = 1; x <= 5; x++) EXPECT_EQ(r.at(x - 1), -f(x, 2, 1, 1));
  // With z varying there is nothing to read.
  mfcmn.warn_level = 1;
  read_result zv = read(p.get(), 1, 2, -1, {1, 1, 1, 1}, {1, 1, 3, 1});
  EXPECT_EQ(zv.rc, -1);
  for (int i = 0; i < 3; i++) EXPECT_EQ(zv.grid->values[i], -999.0f);
  EXPECT_TRUE(contains(zv.out, "  but the requested variable has no Z dimension\n"));

  read_result bad = read(p.get(), 0, -1, 1, {1, 1, 1, 1}, {1, 4, 1, 1});
  EXPECT_EQ(bad.rc, 16);
  EXPECT_EQ(bad.out, "Internal logic check 16:  -1 1  \n");
  EXPECT_EQ(bad.grid->values, nullptr);
}

TEST_F(GridReadTest, ByteOrderOfFloats) {
  for (const char* opt : {"options big_endian\n", "options byteswapped\n"}) {
    write_file(dir.file("d.dat"), plain_data(true));
    record p = open_text(dir, plain_ctl(opt));
    ASSERT_TRUE(p);
    read_result r = read(p.get(), 0, 0, 1, {1, 1, 3, 2}, {5, 4, 3, 2});
    ASSERT_EQ(r.rc, 0);
    for (int y = 1; y <= 4; y++)
      for (int x = 1; x <= 5; x++) EXPECT_EQ(r.at(x - 1, y - 1), f(x, y, 3, 2)) << opt;
    // Point reads (x fixed) swap too.
    read_result c = read(p.get(), 0, 1, -1, {2, 1, 1, 1}, {2, 4, 1, 1});
    for (int y = 1; y <= 4; y++) EXPECT_EQ(c.at(y - 1), f(2, y, 1, 1)) << opt;
  }
}

TEST_F(GridReadTest, ReversedLatitudesAndLevels) {
  // Rows stored north to south and levels top down.
  std::string s;
  for (int t = 1; t <= 2; t++) {
    for (int z = 3; z >= 1; z--)
      for (int y = 4; y >= 1; y--)
        for (int x = 1; x <= 5; x++) put_f32(s, f(x, y, z, t));
    for (int y = 4; y >= 1; y--)
      for (int x = 1; x <= 5; x++) put_f32(s, -f(x, y, 1, t));
  }
  write_file(dir.file("d.dat"), s);
  record p = open_text(dir, plain_ctl("options yrev zrev\n"));
  ASSERT_TRUE(p);
  for (int z = 1; z <= 3; z++) {
    read_result r = read(p.get(), 0, 0, 1, {1, 1, z, 2}, {5, 4, z, 2});
    ASSERT_EQ(r.rc, 0);
    for (int y = 1; y <= 4; y++)
      for (int x = 1; x <= 5; x++) EXPECT_EQ(r.at(x - 1, y - 1), f(x, y, z, 2));
  }
  // Part of the rows, one point, and the surface variable.
  read_result part = read(p.get(), 0, 0, 1, {1, 2, 1, 1}, {5, 3, 1, 1});
  for (int y = 2; y <= 3; y++)
    for (int x = 1; x <= 5; x++) EXPECT_EQ(part.at(x - 1, y - 2), f(x, y, 1, 1));
  read_result pt = read(p.get(), 0, -1, -1, {4, 1, 3, 1}, {4, 1, 3, 1});
  EXPECT_EQ(pt.grid->min_value, f(4, 1, 3, 1));
  read_result ps = read(p.get(), 1, 0, 1, {1, 1, 1, 1}, {5, 4, 1, 1});
  for (int y = 1; y <= 4; y++)
    for (int x = 1; x <= 5; x++) EXPECT_EQ(ps.at(x - 1, y - 1), -f(x, y, 1, 1));
}

TEST_F(GridReadTest, StoredDataForms) {
  // One 4 x 1 grid per variable: bytes, unsigned and signed 2-byte, 4-byte
  // integers, written big-endian and declared so. Offsets count in each
  // variable's own element size: the variables lie 4 elements apart, so u
  // starts at byte 8, i at byte 16 and l at byte 48.
  const unsigned char bytes[4] = {0, 1, 128, 255};
  const unsigned char be16[8] = {0xFF, 0xFE, 0x00, 0x01, 0x80, 0x00, 0x7F, 0xFF};
  const unsigned char be32[16] = {0xFF, 0xFF, 0xFF, 0xFE, 0, 0, 0, 7,
                                  0x80, 0, 0, 0,         0, 0x01, 0x00, 0x00};
  std::string s;
  s.append(reinterpret_cast<const char*>(bytes), 4);
  s.append(4, '\0');
  s.append(reinterpret_cast<const char*>(be16), 8);
  s.append(reinterpret_cast<const char*>(be16), 8);
  s.append(24, '\0');
  s.append(reinterpret_cast<const char*>(be32), 16);
  write_file(dir.file("d.dat"), s);
  std::string ctl =
      "dset ^d.dat\nundef -999\noptions big_endian\nxdef 4 linear 0 1\nydef 1 linear 0 1\n"
      "zdef 1 levels 1000\ntdef 1 linear 00z1jan2000 1dy\nvars 4\n"
      "b 0 -1,40,1 bytes\nu 0 -1,40,2 unsigned\ni 0 -1,40,2,-1 signed\nl 0 -1,40,4 int\n"
      "endvars\n";
  record p = open_text(dir, ctl);
  ASSERT_TRUE(p);
  read_result b = read(p.get(), 0, 0, -1, {1, 1, 1, 1}, {4, 1, 1, 1});
  ASSERT_EQ(b.rc, 0) << b.out;
  EXPECT_EQ(b.at(0), 0.0f);
  EXPECT_EQ(b.at(1), 1.0f);
  EXPECT_EQ(b.at(2), 128.0f);
  EXPECT_EQ(b.at(3), 255.0f);
  read_result u = read(p.get(), 1, 0, -1, {1, 1, 1, 1}, {4, 1, 1, 1});
  ASSERT_EQ(u.rc, 0) << u.out;
  EXPECT_EQ(u.at(0), 65534.0f);
  EXPECT_EQ(u.at(1), 1.0f);
  EXPECT_EQ(u.at(2), 32768.0f);
  EXPECT_EQ(u.at(3), 32767.0f);
  read_result i = read(p.get(), 2, 0, -1, {1, 1, 1, 1}, {4, 1, 1, 1});
  EXPECT_EQ(i.at(0), -2.0f);
  EXPECT_EQ(i.at(1), 1.0f);
  EXPECT_EQ(i.at(2), -32768.0f);
  EXPECT_EQ(i.at(3), 32767.0f);
  read_result l = read(p.get(), 3, 0, -1, {1, 1, 1, 1}, {4, 1, 1, 1});
  EXPECT_EQ(l.at(0), -2.0f);
  EXPECT_EQ(l.at(1), 7.0f);
  EXPECT_EQ(l.at(2), -2147483648.0f);
  EXPECT_EQ(l.at(3), 65536.0f);
  // A single 2-byte point (the point-by-point path).
  read_result one = read(p.get(), 2, -1, -1, {1, 1, 1, 1}, {1, 1, 1, 1});
  EXPECT_EQ(one.grid->min_value, -2.0f);
}

TEST_F(GridReadTest, TwoByteValuesInTheHostOrderWithoutSwapFlag) {
  // A file in the host's order needs no option: -2 is stored FE FF on a
  // little-endian machine, FF FE on a big-endian one.
  int16_t vals[3] = {-2, 300, -32768};
  std::string s(reinterpret_cast<const char*>(vals), sizeof vals);
  write_file(dir.file("d.dat"), s);
  record p = open_text(dir,
                       "dset ^d.dat\nundef -999\nxdef 3 linear 0 1\nydef 1 linear 0 1\n"
                       "zdef 1 levels 1\ntdef 1 linear 00z1jan2000 1dy\nvars 1\n"
                       "i 0 -1,40,2,-1 signed\nendvars\n");
  ASSERT_TRUE(p);
  read_result r = read(p.get(), 0, 0, -1, {1, 1, 1, 1}, {3, 1, 1, 1});
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.at(0), -2.0f);
  EXPECT_EQ(r.at(1), 300.0f);
  EXPECT_EQ(r.at(2), -32768.0f);
}

TEST_F(GridReadTest, UndefinedBandAndNotANumber) {
  const float undef = -999.0f;
  std::string s;
  put_f32(s, undef * (1 + 0.000005f));  // inside the band
  put_f32(s, undef * (1 + 0.00002f));   // outside
  put_f32(s, std::numeric_limits<float>::quiet_NaN());
  put_f32(s, undef);
  put_f32(s, 5.0f);
  write_file(dir.file("d.dat"), s);
  record p = open_text(dir,
                       "dset ^d.dat\nundef -999\nxdef 5 linear 0 1\nydef 1 linear 0 1\n"
                       "zdef 1 levels 1\ntdef 1 linear 00z1jan2000 1dy\nvars 1\n"
                       "a 0 99 a\nendvars\n");
  ASSERT_TRUE(p);
  read_result r = read(p.get(), 0, 0, -1, {1, 1, 1, 1}, {5, 1, 1, 1});
  ASSERT_EQ(r.rc, 0);
  EXPECT_EQ(r.at(0), undef);
  EXPECT_EQ(r.at(1), undef * (1 + 0.00002f));
  EXPECT_EQ(r.at(2), undef);
  EXPECT_EQ(r.at(3), undef);
  EXPECT_EQ(r.at(4), 5.0f);
}

TEST_F(GridReadTest, WrapAroundOfGlobalGrids) {
  // 360 one-degree longitudes wrap; 360 half-degree ones do not.
  std::string s;
  for (int x = 1; x <= 360; x++) put_f32(s, static_cast<float>(x));
  write_file(dir.file("d.dat"), s);
  std::string tail =
      "ydef 1 linear 0 1\nzdef 1 levels 1\ntdef 1 linear 00z1jan2000 1dy\nvars 1\n"
      "a 0 99 a\nendvars\n";
  record g = open_text(dir, "dset ^d.dat\nundef -999\nxdef 360 linear 0 1\n" + tail);
  ASSERT_TRUE(g);
  ASSERT_EQ(g->x_wraps, 1);
  read_result w = read(g.get(), 0, 0, -1, {-9, 1, 1, 1}, {370, 1, 1, 1});
  ASSERT_EQ(w.rc, 0);
  ASSERT_EQ(w.grid->isiz, 380);
  for (int x = -9; x <= 370; x++) {
    int stored = ((x - 1) % 360 + 360) % 360 + 1;
    EXPECT_EQ(w.at(x + 9), static_cast<float>(stored)) << x;
  }
  // Fixed longitudes outside 1..360 are brought round and kept in the grid.
  for (int x : {0, -359, 721}) {
    read_result pt = read(g.get(), 0, -1, -1, {x, 1, 1, 1}, {x, 1, 1, 1});
    int stored = ((x - 1) % 360 + 360) % 360 + 1;
    EXPECT_EQ(pt.grid->min_value, static_cast<float>(stored)) << x;
    EXPECT_EQ(pt.grid->dim_min[0], stored);
    EXPECT_EQ(pt.grid->dim_max[0], stored);
  }

  record n = open_text(dir, "dset ^d.dat\nundef -999\nxdef 360 linear 0 0.5\n" + tail);
  ASSERT_TRUE(n);
  ASSERT_EQ(n->x_wraps, 0);
  read_result nw = read(n.get(), 0, 0, -1, {-9, 1, 1, 1}, {370, 1, 1, 1});
  ASSERT_EQ(nw.rc, 0);
  for (int x = -9; x <= 370; x++)
    EXPECT_EQ(nw.at(x + 9), x >= 1 && x <= 360 ? float(x) : -999.0f) << x;
  read_result outside = read(n.get(), 0, 0, -1, {361, 1, 1, 1}, {370, 1, 1, 1});
  EXPECT_EQ(outside.rc, -1);
}

TEST_F(GridReadTest, HeadersTrailersAndSequentialRecords) {
  // Per time: 16 header bytes, an 8-byte time header, each grid behind a
  // 4-byte grid header, 8 trailer bytes; the file starts with 12 bytes.
  const float junk = 12345.0f;
  std::string s;
  for (int i = 0; i < 3; i++) put_f32(s, junk);
  for (int t = 1; t <= 2; t++) {
    for (int i = 0; i < 4 + 2; i++) put_f32(s, junk);
    for (int z = 1; z <= 3; z++) {
      put_f32(s, junk);
      for (int y = 1; y <= 4; y++)
        for (int x = 1; x <= 5; x++) put_f32(s, f(x, y, z, t));
    }
    put_f32(s, junk);
    for (int y = 1; y <= 4; y++)
      for (int x = 1; x <= 5; x++) put_f32(s, -f(x, y, 1, t));
    for (int i = 0; i < 2; i++) put_f32(s, junk);
  }
  write_file(dir.file("d.dat"), s);
  record p = open_text(
      dir, plain_ctl("fileheader 12\nheaderbytes 16\ntheader 8\nxyheader 4\ntrailerbytes 8\n"));
  ASSERT_TRUE(p);
  for (int t = 1; t <= 2; t++) {
    read_result u = read(p.get(), 0, 0, 1, {1, 1, 3, t}, {5, 4, 3, t});
    ASSERT_EQ(u.rc, 0) << u.out;
    for (int y = 1; y <= 4; y++)
      for (int x = 1; x <= 5; x++) EXPECT_EQ(u.at(x - 1, y - 1), f(x, y, 3, t));
    read_result ps = read(p.get(), 1, 0, 1, {1, 1, 1, t}, {5, 4, 1, t});
    for (int y = 1; y <= 4; y++)
      for (int x = 1; x <= 5; x++) EXPECT_EQ(ps.at(x - 1, y - 1), -f(x, y, 1, t));
  }

  // Sequential: every grid between two record-length words.
  std::string q;
  auto marker = [&q]() {
    int32_t len = 5 * 4 * 4;
    q.append(reinterpret_cast<const char*>(&len), 4);
  };
  for (int t = 1; t <= 2; t++) {
    for (int z = 1; z <= 4; z++) {
      marker();
      for (int y = 1; y <= 4; y++)
        for (int x = 1; x <= 5; x++) put_f32(q, z == 4 ? -f(x, y, 1, t) : f(x, y, z, t));
      marker();
    }
  }
  write_file(dir.file("d.dat"), q);
  record sq = open_text(dir, plain_ctl("options sequential\n"));
  ASSERT_TRUE(sq);
  read_result u = read(sq.get(), 0, 0, 2, {1, 2, 1, 2}, {5, 2, 3, 2});
  ASSERT_EQ(u.rc, 0);
  for (int z = 1; z <= 3; z++)
    for (int x = 1; x <= 5; x++) EXPECT_EQ(u.at(x - 1, z - 1), f(x, 2, z, 2));
  read_result ps = read(sq.get(), 1, -1, -1, {5, 4, 1, 2}, {5, 4, 1, 2});
  EXPECT_EQ(ps.grid->min_value, -f(5, 4, 1, 2));
}

TEST_F(GridReadTest, YxOrderAndTimeOffset) {
  // Stored as x columns of y values.
  std::string s;
  for (int t = 1; t <= 12; t++)
    for (int x = 1; x <= 5; x++)
      for (int y = 1; y <= 4; y++) put_f32(s, f(x, y, 1, t));
  write_file(dir.file("d.dat"), s);
  std::string grid =
      "xdef 5 linear 0 1\nydef 4 linear 0 1\nzdef 1 levels 1\ntdef 12 linear 00z1jan2000 1dy\n";
  record p = open_text(dir, "dset ^d.dat\nundef -999\n" + grid + "vars 1\na 0 -1,30 a\nendvars\n");
  ASSERT_TRUE(p);
  read_result r = read(p.get(), 0, 0, 1, {1, 1, 1, 3}, {5, 4, 1, 3});
  ASSERT_EQ(r.rc, 0) << r.out;
  for (int y = 1; y <= 4; y++)
    for (int x = 1; x <= 5; x++) EXPECT_EQ(r.at(x - 1, y - 1), f(x, y, 1, 3));

  // Time offset 3 of 12: t 11 is stored as time 2, t 5 as time 8.
  std::string s2;
  for (int t = 1; t <= 12; t++)
    for (int y = 1; y <= 4; y++)
      for (int x = 1; x <= 5; x++) put_f32(s2, f(x, y, 1, t));
  write_file(dir.file("e.dat"), s2);
  record o = open_text(dir, "dset ^e.dat\nundef -999\ntoff 3\n" + grid + "vars 1\na 0 99 a\nendvars\n");
  ASSERT_TRUE(o);
  read_result t11 = read(o.get(), 0, 0, 1, {1, 1, 1, 11}, {5, 4, 1, 11});
  EXPECT_EQ(t11.at(2, 3), f(3, 4, 1, 2));
  read_result t5 = read(o.get(), 0, -1, -1, {2, 2, 1, 5}, {2, 2, 1, 5});
  EXPECT_EQ(t5.grid->min_value, f(2, 2, 1, 8));
}

TEST_F(GridReadTest, TemplatesOverManyFiles) {
  // Two twelve-hourly times per daily file; the second day is missing.
  auto day = [](int first_t) {
    std::string s;
    for (int t = first_t; t < first_t + 2; t++)
      for (int y = 1; y <= 2; y++)
        for (int x = 1; x <= 3; x++) put_f32(s, f(x, y, 1, t));
    return s;
  };
  write_file(dir.file("d_01.dat"), day(1));
  write_file(dir.file("d_03.dat"), day(5));
  record p = open_text(dir,
                       "dset ^d_%d2.dat\noptions template\nundef -5\nxdef 3 linear 0 1\n"
                       "ydef 2 linear 0 1\nzdef 1 levels 1\ntdef 6 linear 00z1jan2000 12hr\n"
                       "vars 1\na 0 99 a\nendvars\n");
  ASSERT_TRUE(p);
  for (int t : {1, 2, 5, 6, 1}) {
    read_result r = read(p.get(), 0, 0, 1, {1, 1, 1, t}, {3, 2, 1, t});
    ASSERT_EQ(r.rc, 0) << t << r.out;
    for (int y = 1; y <= 2; y++)
      for (int x = 1; x <= 3; x++) EXPECT_EQ(r.at(x - 1, y - 1), f(x, y, 1, t)) << t;
  }
  // The file of the second day is missing: undefined values, and with
  // misswarn set one warning per time index.
  p->misswarn = 1;
  read_result miss = read(p.get(), 0, 0, 1, {1, 1, 1, 3}, {3, 2, 1, 3});
  EXPECT_EQ(miss.rc, 0);
  for (int i = 0; i < 6; i++) EXPECT_EQ(miss.grid->values[i], -5.0f);
  std::string warn = "Warning: Open error, fn = " + dir.file("d_02.dat") + "\n";
  EXPECT_EQ(miss.out, warn);
  // Time varying across all three files: the missing day's points undefined.
  read_result tv = read(p.get(), 0, 3, -1, {2, 1, 1, 1}, {2, 1, 1, 6});
  ASSERT_EQ(tv.rc, 0);
  for (int t = 1; t <= 6; t++)
    EXPECT_EQ(tv.at(t - 1), t == 3 || t == 4 ? -5.0f : f(2, 1, 1, t)) << t;
  EXPECT_EQ(tv.out, warn + warn);
}

TEST_F(GridReadTest, ShortFileIsAnErrorNotData) {
  std::string s = plain_data();
  s.resize(s.size() - 8);
  write_file(dir.file("d.dat"), s);
  record p = open_text(dir, plain_ctl());
  ASSERT_TRUE(p);
  read_result r = read(p.get(), 1, 0, 1, {1, 1, 1, 2}, {5, 4, 1, 2});
  EXPECT_EQ(r.rc, 1);
  EXPECT_TRUE(contains(r.out, "Low Level I/O Error:  Read error on data file \n")) << r.out;
  EXPECT_TRUE(contains(r.out, "  Data file name = " + dir.file("d.dat") + " \n"));
  // The earlier grids are still there.
  read_result ok = read(p.get(), 1, 0, 1, {1, 1, 1, 1}, {5, 4, 1, 1});
  EXPECT_EQ(ok.rc, 0);
  EXPECT_EQ(ok.at(4, 3), -f(5, 4, 1, 1));
}

TEST_F(GridReadTest, OffsetsBeyondFourGigabytes) {
  // 1024 x 1024 floats a time: the 1100th time starts past 4.6e9 bytes. The
  // file is sparse; only that time is written.
  const int n = 1024, nt = 1100;
  std::string path = dir.file("d.dat");
  {
    std::ofstream out(path, std::ios::binary);
    out.seekp(static_cast<std::streamoff>(int64_t(n) * n * 4 * (nt - 1)));
    std::string grid;
    grid.reserve(size_t(n) * n * 4);
    for (int y = 1; y <= n; y++)
      for (int x = 1; x <= n; x++) put_f32(grid, static_cast<float>(y * 2000 + x));
    out.write(grid.data(), static_cast<std::streamsize>(grid.size()));
    ASSERT_TRUE(out.good());
  }
  record p = open_text(dir, "dset ^d.dat\nundef -999\nxdef 1024 linear 0 0.1\n"
                            "ydef 1024 linear 0 0.1\nzdef 1 levels 1\n"
                            "tdef 1100 linear 00z1jan2000 1hr\nvars 1\na 0 99 a\nendvars\n");
  ASSERT_TRUE(p);
  read_result r = read(p.get(), 0, 0, 1, {1, 1, 1, nt}, {n, n, 1, nt});
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.at(0, 0), 2001.0f);
  EXPECT_EQ(r.at(n - 1, n - 1), float(n * 2000 + n));
  EXPECT_EQ(r.at(99, 499), float(500 * 2000 + 100));
  read_result pt = read(p.get(), 0, -1, -1, {7, 1000, 1, nt}, {7, 1000, 1, nt});
  EXPECT_EQ(pt.grid->min_value, float(1000 * 2000 + 7));
}
