// Grid reading from binary files written by the tests: the pairs of varying
// dimensions, requests beyond the file, undefined values, time offsets,
// templates and large offsets, compared point by point with the values the
// test stored there. The stored layouts are read in test_gridread_spans.
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

// The plain layout; yrev and zrev store rows and levels backwards.
std::string plain_data(bool reversed = false, bool yrev = false, bool zrev = false) {
  std::string s;
  for (int t = 1; t <= 2; t++)
    for (int g = 1; g <= 4; g++) {
      int z = g == 4 ? 1 : zrev ? 4 - g : g;
      for (int k = 1; k <= 4; k++) {
        int y = yrev ? 5 - k : k;
        for (int x = 1; x <= 5; x++) put_f32(s, g == 4 ? -f(x, y, z, t) : f(x, y, z, t), reversed);
      }
    }
  return s;
}

const std::string one_var_tail =
    "zdef 1 levels 1\ntdef 1 linear 00z1jan2000 1dy\nvars 1\na 0 99 a\nendvars\n";

struct GridReadTest : testing::Test {
  TempDir dir;
  int saved_warn = mfcmn.warn_level;
  void TearDown() override { mfcmn.warn_level = saved_warn; }
};

}  // namespace

TEST_F(GridReadTest, EveryPairOfVaryingDimensions) {
  write_file(dir.file("d.dat"), plain_data(true, true, true));
  record p = open_text(dir, plain_ctl("options byteswapped yrev zrev\n"));
  ASSERT_TRUE(p);
  expect_grid(
      read(p.get(), 0, 0, 1, {1, 1, 2, 2}, {5, 4, 2, 2}), 5, 4,
      [](int i, int j) { return f(i + 1, j + 1, 2, 2); }, "xy");
  expect_grid(
      read(p.get(), 1, 0, 1, {2, 2, 1, 2}, {4, 3, 1, 2}), 3, 2,
      [](int i, int j) { return -f(i + 2, j + 2, 1, 2); }, "ps");
  expect_grid(
      read(p.get(), 0, 0, 2, {1, 3, 1, 1}, {5, 3, 3, 1}), 5, 3,
      [](int i, int j) { return f(i + 1, 3, j + 1, 1); }, "xz");
  expect_grid(
      read(p.get(), 0, 1, 3, {4, 1, 3, 1}, {4, 4, 3, 2}), 4, 2,
      [](int i, int j) { return f(4, i + 1, 3, j + 1); }, "yt");
  expect_grid(
      read(p.get(), 0, 3, -1, {2, 3, 1, 1}, {2, 3, 1, 2}), 2, 1,
      [](int i, int) { return f(2, 3, 1, i + 1); }, "t");
  read_result one = read(p.get(), 0, -1, -1, {3, 2, 3, 2}, {3, 2, 3, 2});
  EXPECT_EQ(one.grid->values, &one.grid->min_value);
  EXPECT_EQ(one.grid->min_value, f(3, 2, 3, 2));
  EXPECT_EQ(one.grid->max_value, f(3, 2, 3, 2));
}

TEST_F(GridReadTest, RangesBeyondTheFile) {
  write_file(dir.file("d.dat"), plain_data());
  record p = open_text(dir, plain_ctl());
  ASSERT_TRUE(p);
  // A fixed time past the end: all undefined, status -1, the warning.
  mfcmn.warn_level = 1;
  read_result late = read(p.get(), 0, 0, 1, {1, 1, 1, 3}, {5, 4, 1, 3});
  EXPECT_EQ(late.rc, -1);
  expect_grid(late, 5, 4, [](int, int) { return -999.0f; });
  EXPECT_EQ(late.out,
            "Data Request Warning:  Request beyond file limits\n"
            "  Entire grid contents are set to missing data \n"
            "  Dimension ranges are:  X = 1 5  Y = 1 4  Z = 1 3  T = 3 2 \n");
  mfcmn.warn_level = 0;
  EXPECT_EQ(read(p.get(), 0, 0, 1, {1, 1, 1, 3}, {5, 4, 1, 3}).out, "");

  // A surface variable asked at level 7 with z fixed reads level 1; with z
  // varying there is nothing to read.
  expect_grid(read(p.get(), 1, 0, -1, {1, 2, 7, 1}, {5, 2, 7, 1}), 5, 1,
              [](int i, int) { return -f(i + 1, 2, 1, 1); });
  mfcmn.warn_level = 1;
  read_result zv = read(p.get(), 1, 2, -1, {1, 1, 1, 1}, {1, 1, 3, 1});
  EXPECT_EQ(zv.rc, -1);
  expect_grid(zv, 3, 1, [](int, int) { return -999.0f; });
  EXPECT_TRUE(contains(zv.out, "  but the requested variable has no Z dimension\n"));

  read_result bad = read(p.get(), 0, -1, 1, {1, 1, 1, 1}, {1, 4, 1, 1});
  EXPECT_EQ(bad.rc, 16);
  EXPECT_EQ(bad.out, "Internal logic check 16:  -1 1  \n");
  EXPECT_EQ(bad.grid->values, nullptr);
}

TEST_F(GridReadTest, UndefinedBandNotANumberAndInfinities) {
  const float undef = -999.0f, inf = std::numeric_limits<float>::infinity();
  const float stored[6] = {undef * (1 + 0.000005f),
                           undef * (1 + 0.00002f),
                           std::numeric_limits<float>::quiet_NaN(),
                           -inf,
                           5.0f,
                           inf};
  const float want[6] = {undef, undef * (1 + 0.00002f), undef, undef, 5.0f, undef};
  std::string s;
  for (float v : stored) put_f32(s, v);
  write_file(dir.file("d.dat"), s);
  record p = open_text(
      dir, "dset ^d.dat\nundef -999\nxdef 6 linear 0 1\nydef 1 linear 0 1\n" + one_var_tail);
  ASSERT_TRUE(p);
  expect_grid(read(p.get(), 0, 0, -1, {1, 1, 1, 1}, {6, 1, 1, 1}), 6, 1,
              [&](int i, int) { return want[i]; });

  // Rows long enough to be taken in blocks: band values, NaN and values
  // just outside the band at scattered places, whole blocks without any.
  const int nx = 150, ny = 3;
  auto kind = [&](int p) {
    return p < 64 ? 0 : p % 41 == 7 ? 1 : p % 53 == 11 ? 2 : p % 61 == 5 ? 3 : 0;
  };
  auto stored_at = [&](int p) {
    switch (kind(p)) {
      case 1: return undef * (1 + 0.000004f);
      case 2: return std::numeric_limits<float>::quiet_NaN();
      case 3: return undef * (1 + 0.00002f);
      default: return float(p);
    }
  };
  std::string rows;
  for (int p = 0; p < nx * ny; p++) put_f32(rows, stored_at(p));
  write_file(dir.file("e.dat"), rows);
  record q = open_text(dir,
                       "dset ^e.dat\nundef -999\nxdef 150 linear 0 1\n"
                       "ydef 3 linear 0 1\n" +
                           one_var_tail);
  ASSERT_TRUE(q);
  expect_grid(read(q.get(), 0, 0, 1, {1, 1, 1, 1}, {nx, ny, 1, 1}), nx, ny, [&](int i, int j) {
    const int p = j * nx + i;
    return kind(p) == 1 || kind(p) == 2 ? undef : stored_at(p);
  });

  // The same rows moved into wider ones: around the globe with the wrap
  // column, and shifted right behind two columns outside the file.
  auto want_at = [&](int p) { return kind(p) == 1 || kind(p) == 2 ? undef : stored_at(p); };
  record w = open_text(dir,
                       "dset ^e.dat\nundef -999\nxdef 150 linear 0 2.4\n"
                       "ydef 3 linear 0 1\n" +
                           one_var_tail);
  ASSERT_TRUE(w);
  expect_grid(
      read(w.get(), 0, 0, 1, {1, 1, 1, 1}, {nx + 1, ny, 1, 1}), nx + 1, ny,
      [&](int i, int j) { return want_at(j * nx + i % nx); }, "wrapped");
  expect_grid(
      read(q.get(), 0, 0, 1, {-1, 1, 1, 1}, {nx, ny, 1, 1}), nx + 2, ny,
      [&](int i, int j) { return i < 2 ? undef : want_at(j * nx + i - 2); }, "shifted");

  // A block of 64 is passed over whole only when none of its values is
  // undefined: one band value alone in the second row of 64, at each
  // quarter of its block and at its end, in the rows read together and in
  // the second row read alone.
  for (int at : {3, 21, 40, 50, 63}) {
    std::string two;
    for (int p = 0; p < 128; p++) put_f32(two, p == 64 + at ? undef * (1 + 0.000004f) : float(p));
    write_file(dir.file("b.dat"), two);
    record b = open_text(
        dir, "dset ^b.dat\nundef -999\nxdef 64 linear 0 1\nydef 2 linear 0 1\n" + one_var_tail);
    ASSERT_TRUE(b);
    expect_grid(
        read(b.get(), 0, 0, 1, {1, 1, 1, 1}, {64, 2, 1, 1}), 64, 2,
        [&](int i, int j) { return j == 1 && i == at ? undef : float(j * 64 + i); },
        "alone at " + std::to_string(at));
    expect_grid(
        read(b.get(), 0, 0, -1, {1, 2, 1, 1}, {64, 2, 1, 1}), 64, 1,
        [&](int i, int) { return i == at ? undef : float(64 + i); },
        "row 2 alone at " + std::to_string(at));
  }
}

TEST_F(GridReadTest, FixedLongitudesOutsideTheGridAreBroughtRound) {
  std::string s;
  for (int x = 1; x <= 360; x++) put_f32(s, static_cast<float>(x));
  write_file(dir.file("d.dat"), s);
  record g = open_text(
      dir, "dset ^d.dat\nundef -999\nxdef 360 linear 0 1\nydef 1 linear 0 1\n" + one_var_tail);
  ASSERT_TRUE(g);
  for (int x : {0, -359, 721}) {
    const int wrapped = ((x - 1) % 360 + 360) % 360 + 1;
    read_result pt = read(g.get(), 0, -1, -1, {x, 1, 1, 1}, {x, 1, 1, 1});
    EXPECT_EQ(pt.grid->min_value, float(wrapped)) << x;
    EXPECT_EQ(pt.grid->dim_min[0], wrapped);
    EXPECT_EQ(pt.grid->dim_max[0], wrapped);
  }
}

TEST_F(GridReadTest, YxOrderAndTimeOffset) {
  // Stored as x columns of y values; the second file in x-y order.
  std::string yx, xy;
  for (int t = 1; t <= 12; t++)
    for (int a = 1; a <= 5; a++)
      for (int b = 1; b <= 4; b++) put_f32(yx, f(a, b, 1, t));
  for (int t = 1; t <= 12; t++)
    for (int y = 1; y <= 4; y++)
      for (int x = 1; x <= 5; x++) put_f32(xy, f(x, y, 1, t));
  write_file(dir.file("d.dat"), yx);
  write_file(dir.file("e.dat"), xy);
  std::string grid =
      "xdef 5 linear 0 1\nydef 4 linear 0 1\nzdef 1 levels 1\ntdef 12 linear 00z1jan2000 1dy\n";
  record p = open_text(dir, "dset ^d.dat\nundef -999\n" + grid + "vars 1\na 0 -1,30 a\nendvars\n");
  ASSERT_TRUE(p);
  expect_grid(read(p.get(), 0, 0, 1, {1, 1, 1, 3}, {5, 4, 1, 3}), 5, 4,
              [](int i, int j) { return f(i + 1, j + 1, 1, 3); });

  // Time offset 3 of 12: t 11 is stored as time 2, t 5 as time 8.
  record o =
      open_text(dir, "dset ^e.dat\nundef -999\ntoff 3\n" + grid + "vars 1\na 0 99 a\nendvars\n");
  ASSERT_TRUE(o);
  expect_grid(read(o.get(), 0, 0, 1, {1, 1, 1, 11}, {5, 4, 1, 11}), 5, 4,
              [](int i, int j) { return f(i + 1, j + 1, 1, 2); });
  EXPECT_EQ(read(o.get(), 0, -1, -1, {2, 2, 1, 5}, {2, 2, 1, 5}).grid->min_value, f(2, 2, 1, 8));
}

TEST_F(GridReadTest, MissingTemplateFileWarnsOncePerTime) {
  // Two twelve-hourly times per daily file; the second day is missing.
  for (int day : {1, 3}) {
    std::string s;
    for (int t = 2 * day - 1; t <= 2 * day; t++)
      for (int x = 1; x <= 3; x++) put_f32(s, f(x, 1, 1, t));
    write_file(dir.file("d_0" + std::to_string(day) + ".dat"), s);
  }
  record p = open_text(dir,
                       "dset ^d_%d2.dat\noptions template\nundef -5\nxdef 3 linear 0 1\n"
                       "ydef 1 linear 0 1\nzdef 1 levels 1\ntdef 6 linear 00z1jan2000 12hr\n"
                       "vars 1\na 0 99 a\nendvars\n");
  ASSERT_TRUE(p);
  p->misswarn = 1;
  // Time varying across all three files.
  read_result tv = read(p.get(), 0, 3, -1, {2, 1, 1, 1}, {2, 1, 1, 6});
  EXPECT_EQ(tv.rc, 0);
  expect_grid(tv, 6, 1, [](int i, int) { return i == 2 || i == 3 ? -5.0f : f(2, 1, 1, i + 1); });
  std::string warn = "Warning: Open error, fn = " + dir.file("d_02.dat") + "\n";
  EXPECT_EQ(tv.out, warn + warn);
}

TEST_F(GridReadTest, OffsetsBeyondFourGigabytes) {
  // 1024 x 1024 floats a time: the 1100th time starts past 4.6e9 bytes. The
  // file is sparse; only that time is written.
  const int n = 1024, nt = 1100;
  {
    std::ofstream out(dir.file("d.dat"), std::ios::binary);
    out.seekp(static_cast<std::streamoff>(int64_t(n) * n * 4 * (nt - 1)));
    std::string grid;
    for (int y = 1; y <= n; y++)
      for (int x = 1; x <= n; x++) put_f32(grid, float(y * 2000 + x));
    out.write(grid.data(), static_cast<std::streamsize>(grid.size()));
    ASSERT_TRUE(out.good());
  }
  record p = open_text(dir,
                       "dset ^d.dat\nundef -999\nxdef 1024 linear 0 0.1\n"
                       "ydef 1024 linear 0 0.1\nzdef 1 levels 1\n"
                       "tdef 1100 linear 00z1jan2000 1hr\nvars 1\na 0 99 a\nendvars\n");
  ASSERT_TRUE(p);
  expect_grid(read(p.get(), 0, 0, 1, {1, 1, 1, nt}, {n, n, 1, nt}), n, n,
              [](int i, int j) { return float((j + 1) * 2000 + i + 1); });
  EXPECT_EQ(read(p.get(), 0, -1, -1, {7, 1000, 1, nt}, {7, 1000, 1, nt}).grid->min_value,
            float(1000 * 2000 + 7));
}

TEST_F(GridReadTest, ClimatologicalObjectFarFromItsOffset) {
  // A defined object of one point over a cycle of 12 times, its values 0..11.
  record p(getpfi());
  p->file_type = defined_file;
  p->reader = find_reader(data_kind::defined);
  p->x_size = p->y_size = p->z_size = 1;
  p->t_size = 12;
  p->climatology_flag = 1;
  p->climatology_cycle = 12;
  p->defined_offsets[3] = -2000000000;
  p->variables = static_cast<variable_descriptor*>(std::calloc(1, sizeof(variable_descriptor)));
  p->data_buffer = static_cast<float*>(std::malloc(12 * sizeof(float)));
  for (int i = 0; i < 12; i++) p->data_buffer[i] = float(i);
  // Time 2e9 lies 3999999999 steps past the object's start: slot 3 of the cycle.
  read_result r = read(p.get(), 0, -1, -1, {1, 1, 1, 2000000000}, {1, 1, 1, 2000000000});
  EXPECT_EQ(r.rc, 0);
  EXPECT_EQ(r.grid->min_value, float(3999999999LL % 12));
}
