// GRIB data sets: messages written byte by byte by the test writer are
// indexed by the builder, and every value read back is checked against the
// unpacking formula computed here by hand.
#include <signal.h>
#include <sys/resource.h>

#include <filesystem>
#include <random>

#include "data/gribbuild.h"
#include "data/gribindex.h"
#include "data/pdef.h"
#include "data/reader.h"
#include "support/grib_writer.h"
#include "test_gridread_support.h"

namespace {

using gribw::message;
using vemra_test::TempDir;
constexpr float U = -9.99e33f;

std::string ctl(const std::string& extra = "", const std::string& tdef = "3 linear 00z1jan2000 6hr",
                const std::string& grid = "xdef 4 linear 0 90\nydef 3 linear -60 60\n") {
  return "dset ^g.grb\nindex ^g.idx\ndtype grib\nundef -9.99e33\n" + extra + grid +
         "zdef 2 levels 500 850\ntdef " + tdef +
         "\nvars 2\nt 2 11,100 temperature\n"
         "ps 0 1,1,0 surface pressure\nendvars\n";
}

struct built {
  int rc;
  std::string out;
};
built build(const TempDir& d, const std::string& text, const std::string& grib, int notau = 0) {
  vemra_test::write_file(d.file("g.grb"), grib);
  vemra_test::write_file(d.file("d.ctl"), text);
  mfcmn.calendar_365 = -999;
  StdoutCapture cap;
  int rc = latsgribmap(d.file("d.ctl").c_str(), notau);
  return {rc, cap.text()};
}

// Whole grid of variable var at level z, time t.
grtest::read_result grid(file_descriptor* pfi, int var, int z, int t) {
  return grtest::read(pfi, var, 0, 1, {1, 1, z, t}, {pfi->x_size, pfi->y_size, z, t});
}

message msg(int param, int ltype, int level, std::vector<uint32_t> f, int bits = 16) {
  message m;
  m.param = param;
  m.level_type = ltype;
  m.level = level;
  m.fields = std::move(f);
  m.bits = bits;
  return m;
}

std::vector<uint32_t> ramp(int n, int step = 37) {
  std::vector<uint32_t> f(n);
  for (int i = 0; i < n; i++) f[i] = uint32_t(i * step);
  return f;
}

}  // namespace

TEST(GribData, EditionsScalingBitMapsAndEmptyRecords) {
  TempDir d;
  message a = msg(11, 100, 500, ramp(12));  // (f * 2^-2 + 100) / 10
  a.binary_scale = -2, a.decimal_scale = 1, a.reference = 100;
  message b = msg(11, 100, 850, ramp(12, 301), 12);  // edition 0: f * 2 - 2.5
  b.edition = 0, b.pds_length = 24, b.binary_scale = 1, b.reference = -2.5, b.hour = 6;
  message c = msg(1, 1, 0, {3, 0, 127, 64, 5, 9}, 7);
  c.bitmap = {1, 0, 0, 1, 1, 0, 1, 0, 0, 1, 0, 1}, c.reference = 0.5, c.hour = 12;
  for (message* m : {&a, &b, &c}) m->lat1 = 60, m->dlat = -60, m->scan = 0;  // north to south
  built r = build(d, ctl("options yrev\n"), encode(a) + encode(b) + encode(c));
  ASSERT_EQ(r.rc, 1) << r.out;
  auto pfi = grtest::open_text(d, ctl("options yrev\n"));
  ASSERT_TRUE(pfi);
  // yrev: grid row 1 is the last message row.
  auto ga = grid(pfi.get(), 0, 1, 1);
  grtest::expect_grid(ga, 4, 3,
                      [](int i, int j) { return float(((2 - j) * 4 + i) * 37 * 0.25 / 10 + 10); });
  auto gb = grid(pfi.get(), 0, 2, 2);
  grtest::expect_grid(gb, 4, 3,
                      [](int i, int j) { return float(((2 - j) * 4 + i) * 301 * 2 - 2.5); });
  const float wc[12] = {3.5, U, U, 0.5, 127.5, U, 64.5, U, U, 5.5, U, 9.5};
  grtest::expect_grid(grid(pfi.get(), 1, 1, 3), 4, 3,
                      [&](int i, int j) { return wc[(2 - j) * 4 + i]; });
  // No message for the record: undefined, not an error.
  auto empty = grid(pfi.get(), 1, 1, 1);
  EXPECT_EQ(empty.rc, 0);
  grtest::expect_grid(empty, 4, 3, [](int, int) { return U; });
  // x wraps (4 x 90 degrees): x 0..5 reads points 4, 1, 2, 3, 4, 1.
  auto w = grtest::read(pfi.get(), 0, 0, -1, {0, 3, 1, 1}, {5, 3, 1, 1});
  grtest::expect_grid(w, 6, 1,
                      [](int i, int) { return float(((i + 3) % 4) * 37 * 0.25 / 10 + 10); });
}

TEST(GribData, EveryWidthUpTo32BitsAtUnalignedPositions) {
  TempDir d;
  const int widths[8] = {1, 5, 13, 24, 26, 27, 31, 32};
  std::mt19937 rng(7);
  std::string file;
  std::vector<std::vector<uint32_t>> want;
  for (int k = 0; k < 8; k++) {
    std::vector<uint32_t> f(21);
    for (auto& x : f) x = widths[k] == 32 ? rng() : rng() >> (32 - widths[k]);
    message m = msg(1, 1, 0, f, widths[k]);
    m.ni = 7, m.day = 1 + k / 4, m.hour = 6 * (k % 4);
    m.lat1 = 0, m.dlat = 10, m.dlon = 10;
    file += encode(m);
    want.push_back(f);
  }
  const std::string text =
      ctl("", "8 linear 00z1jan2000 6hr", "xdef 7 linear 0 10\nydef 3 linear 0 10\n");
  ASSERT_EQ(build(d, text, file).rc, 1);
  auto pfi = grtest::open_text(d, text);
  ASSERT_TRUE(pfi);
  for (int k = 0; k < 8; k++) {
    grtest::expect_grid(
        grid(pfi.get(), 1, 1, k + 1), 7, 3,
        [&](int i, int j) { return float(double(want[k][j * 7 + i])); },
        std::to_string(widths[k]) + " bits");
    auto run = grtest::read(pfi.get(), 1, 0, -1, {3, 2, 1, k + 1}, {5, 2, 1, k + 1});
    grtest::expect_grid(run, 3, 1, [&](int i, int) { return float(double(want[k][9 + i])); });
  }
}

TEST(GribData, ZeroBitsAndSlotsWrittenTwice) {
  TempDir d;
  message z = msg(1, 1, 0, {}, 0);  // every set point is R / 10^D
  z.reference = 273.5, z.decimal_scale = 1, z.bitmap = {1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 0};
  // The later message of a slot wins whole: its missing bit map too.
  message first = msg(11, 100, 500, ramp(6));
  first.bitmap = {1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0};
  message second = msg(11, 100, 500, ramp(12, 5));
  ASSERT_EQ(build(d, ctl(), encode(z) + encode(first) + encode(second)).rc, 1);
  auto pfi = grtest::open_text(d, ctl());
  grtest::expect_grid(grid(pfi.get(), 1, 1, 1), 4, 3,
                      [](int i, int j) { return i + 4 * j == 2 || i + 4 * j == 11 ? U : 27.35f; });
  grtest::expect_grid(grid(pfi.get(), 0, 1, 1), 4, 3,
                      [](int i, int j) { return float((j * 4 + i) * 5); });
}

TEST(GribData, SectionsAreReadToTheirStatedLength) {
  TempDir d;
  message a = msg(11, 100, 500, ramp(12));
  a.pds_length = 26, a.gds_length = 300;  // no decimal scale; a misread one would be 1
  message b = msg(11, 100, 850, ramp(12));
  b.pds_length = 40, b.decimal_scale = 2, b.gds_length = 42;
  ASSERT_EQ(build(d, ctl(), encode(a) + encode(b)).rc, 1);
  auto pfi = grtest::open_text(d, ctl());
  grtest::expect_grid(grid(pfi.get(), 0, 1, 1), 4, 3,
                      [](int i, int j) { return float((j * 4 + i) * 37); });
  grtest::expect_grid(grid(pfi.get(), 0, 2, 1), 4, 3,
                      [](int i, int j) { return float((j * 4 + i) * 37 / 100.0); });
}

TEST(GribData, MalformedFilesAreFormatErrorsWithoutIndex) {
  TempDir d;
  message ok = msg(11, 100, 500, ramp(12));
  message zero = ok, shorter = ok, pds = ok, ed2 = ok;
  zero.total_override = 0;
  shorter.total_override = 40;
  pds.pds_length = 20;
  std::string e2 = encode(ed2);
  e2[7] = 2;
  const std::string junk999(999, 'x'), junk1000(1000, 'x');
  struct {
    std::string file;
    int rc;
  } cases[] = {{encode(zero), 54},
               {encode(ok) + encode(shorter), 54},
               {encode(pds), 55},
               {e2, 99},
               {encode(ok) + junk1000 + encode(ok), 52}};
  for (auto& c : cases) {
    built r = build(d, ctl(), c.file);
    EXPECT_EQ(r.rc, c.rc) << r.out;
    EXPECT_TRUE(grtest::contains(r.out, "rc = " + std::to_string(c.rc))) << r.out;
    EXPECT_FALSE(vemra_test::file_exists(d.file("g.idx")));
  }
  // Junk below the limit is passed over; a message cut short ends the scan
  // but the index of what came before is still written.
  message later = ok;
  later.hour = 6;
  std::string cut = encode(later);
  ASSERT_EQ(build(d, ctl(), junk999 + encode(ok) + cut.substr(0, cut.size() - 10)).rc, 1);
  EXPECT_TRUE(
      grtest::contains(build(d, ctl(), encode(ok) + cut.substr(0, 60)).out, "premature EOF"));
  auto pfi = grtest::open_text(d, ctl());
  EXPECT_EQ(grid(pfi.get(), 0, 1, 1).at(1, 0), 37.0f);
  EXPECT_EQ(grid(pfi.get(), 0, 1, 2).at(1, 0), U);
}

TEST(GribData, SkippedMessagesAndGridMatching) {
  TempDir d;
  message good = msg(11, 100, 500, ramp(12));
  message predefined = good, complex = good, wide = good, other = good, between = good, late = good,
          nogrid = good, thin = good, harmonic = good;
  predefined.bitmap = std::vector<int>(12, 1), predefined.bitmap_table = 5,
  predefined.reference = 1;
  complex.data_flags = 4, wide.bits = 33, thin.fields.resize(6), harmonic.data_flags = 8;
  other.ni = 5, other.fields = ramp(15), other.hour = 6;
  between.hour = 3, late.day = 2, nogrid.gds = false, nogrid.hour = 12;
  std::string f = encode(good);
  for (auto* m : {&predefined, &complex, &wide, &thin, &between, &late, &nogrid, &harmonic})
    f += encode(*m);
  // A message of another size is on another grid, wanted or not: it is
  // passed over, first or last.
  built r = build(d, ctl(), f + encode(other));
  EXPECT_EQ(r.rc, 1) << r.out;
  EXPECT_NE(r.out.find("gribmap:  1 message on a grid of 5 by 3 points passed over (message 10 at "
                       "byte "),
            std::string::npos)
      << r.out;
  other.param = 12;
  EXPECT_EQ(build(d, ctl(), encode(other) + f).rc, 1);
  r = build(d, ctl(), f + encode(other));
  EXPECT_EQ(r.rc, 1) << r.out;
  // Each wanted message left out is named, by its number, with why.
  const std::pair<int, const char*> left[] = {
      {2, "a predefined bit map"},        {3, "second-order or other complex packing"},
      {4, "more than 32 bits per value"}, {5, "a bit map or packed data shorter than the grid"},
      {8, "no grid description"},         {9, "spherical harmonic coefficients"}};
  for (auto [n, why] : left) {
    const size_t at = r.out.find("left out (the first: message " + std::to_string(n) + " at ");
    ASSERT_NE(at, std::string::npos) << n << r.out;
    EXPECT_EQ(r.out.find("): ", at), r.out.find(std::string("): ") + why, at)) << why;
  }
  auto pfi = grtest::open_text(d, ctl());
  for (int t = 1; t <= 3; t++) {
    auto g = grid(pfi.get(), 0, 1, t);
    grtest::expect_grid(g, 4, 3,
                        [&](int i, int j) { return t == 1 ? float((j * 4 + i) * 37) : U; });
  }
  // A fixed grid type takes the messages of its grid id; the others are
  // passed over, counted by grid.
  message g3 = good, g4 = good;
  g3.grid_id = 3, g3.gds = false, g4.grid_id = 4, g4.hour = 6;
  r = build(d, ctl("dtype grib 3\n"), encode(g4) + encode(g3) + encode(g4));
  EXPECT_EQ(r.rc, 1) << r.out;
  EXPECT_NE(r.out.find("gribmap:  2 messages on grid 4 passed over (the first is message 1 at "
                       "byte 0): the descriptor reads grid 3\n"),
            std::string::npos)
      << r.out;
  pfi = grtest::open_text(d, ctl("dtype grib 3\n"));
  grtest::expect_grid(grid(pfi.get(), 0, 1, 1), 4, 3,
                      [&](int i, int j) { return float((j * 4 + i) * 37); });
  grtest::expect_grid(grid(pfi.get(), 0, 1, 2), 4, 3, [&](int, int) { return U; });
}

TEST(GribData, GridType29JoinsTwoHemispheres) {
  TempDir d;
  const std::string grid = "xdef 144 linear 0 2.5\nydef 73 linear -90 2.5\n";
  message south = msg(11, 100, 500, ramp(145 * 37, 1)), north = south;
  south.grid_id = 30, north.grid_id = 29, south.gds = north.gds = false;
  for (auto& v : north.fields) v += 10000;
  const std::string text = ctl("dtype grib 29\n", "1 linear 00z1jan2000 6hr", grid);
  ASSERT_EQ(build(d, text, encode(north) + encode(south)).rc, 1);
  auto pfi = grtest::open_text(d, text);
  auto rows = grtest::read(pfi.get(), 0, 0, 1, {1, 36, 1, 1}, {144, 37, 1, 1});
  grtest::expect_grid(rows, 144, 2,
                      [](int i, int j) { return float(j ? 10000 + i : 35 * 145 + i); });
  EXPECT_TRUE(grtest::contains(build(d, ctl("dtype grib 29\n", "1 linear 00z1jan2000 6hr"), "").out,
                               "Error in grid specification for GRIB grid type 29/30."));
}

TEST(GribData, ForecastTimesByUnit) {
  TempDir d;
  // Base time 00Z for all; 3-hourly axis of 8 times. {unit, range, P1, P2}.
  const int cases[][4] = {{10, 0, 2, 0}, {11, 0, 2, 0}, {254, 10, 10800, 0}, {0, 10, 540, 0},
                          {1, 4, 0, 18}, {13, 0, 0, 0}, {13, 0, 3, 0}};
  const int slot[] = {3, 5, 2, 4, 7, 1, 0};
  std::string f;
  for (int k = 0; k < 7; k++) {
    message m = msg(1, 1, 0, std::vector<uint32_t>(12, 0), 8);
    m.unit = cases[k][0], m.time_range = cases[k][1], m.p1 = cases[k][2], m.p2 = cases[k][3];
    m.reference = k + 1;
    f += encode(m);
  }
  const std::string text = ctl("", "8 linear 00z1jan2000 3hr");
  ASSERT_EQ(build(d, text, f, 1).rc, 1);
  // Forecast times ignored: everything lands on the base time, the last wins.
  EXPECT_EQ(grid(grtest::open_text(d, text).get(), 1, 1, 1).at(0), 7.0f);
  ASSERT_EQ(build(d, text, f, 0).rc, 1);
  auto pfi = grtest::open_text(d, text);
  for (int t = 1; t <= 8; t++) {
    float want = U;
    for (int k = 0; k < 7; k++)
      if (slot[k] == t) want = k + 1;
    EXPECT_EQ(grid(pfi.get(), 1, 1, t).at(3, 2), want) << "t=" << t;
  }
}

TEST(GribData, TemplateFilesAndAMissingOne) {
  TempDir d;
  std::string t = ctl("options template\n");
  t.replace(t.find("^g.grb"), 6, "^g_%h2.grb");
  for (int h : {0, 12}) {
    message m = msg(1, 1, 0, ramp(12));
    m.hour = h, m.reference = h;
    vemra_test::write_file(d.file(h ? "g_12.grb" : "g_00.grb"), encode(m));
  }
  built r = build(d, t, "");
  EXPECT_EQ(r.rc, 1);
  EXPECT_TRUE(grtest::contains(r.out, "Warning: Could not open GRIB file: " + d.file("g_06.grb")));
  auto pfi = grtest::open_text(d, t);
  EXPECT_EQ(grid(pfi.get(), 1, 1, 1).at(1, 0), 37.0f);
  EXPECT_EQ(grid(pfi.get(), 1, 1, 2).at(1, 0), U);
  EXPECT_EQ(grid(pfi.get(), 1, 1, 3).at(1, 0), 49.0f);
}

TEST(GribData, FailedIndexWriteLeavesTheOldIndex) {
  TempDir d;
  const std::string text = ctl("", "30 linear 00z1jan2000 6hr");  // an index of 2233 bytes
  ASSERT_EQ(build(d, text, encode(msg(11, 100, 500, ramp(12)))).rc, 1);
  const std::string old = vemra_test::read_file(d.file("g.idx"));
  // A file size limit below the index size makes the write fail.
  vemra_test::write_file(d.file("g.grb"), encode(msg(1, 1, 0, ramp(12))));
  rlimit saved;
  getrlimit(RLIMIT_FSIZE, &saved);
  auto handler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1000;
  setrlimit(RLIMIT_FSIZE, &small);
  StdoutCapture cap;
  int rc = latsgribmap(d.file("d.ctl").c_str(), 0);
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, handler);
  std::string out = cap.text();
  EXPECT_EQ(rc, gribmap_failed);
  EXPECT_TRUE(grtest::contains(out, "Could not write index file")) << out;
  EXPECT_EQ(vemra_test::read_file(d.file("g.idx")), old);
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(d.path())) files += !e.path().empty();
  EXPECT_EQ(files, 3);  // d.ctl, g.grb, g.idx: no temporary left
}

TEST(GribData, PreProjectedGridsMatchTheNativeSize) {
  TempDir d;
  vemra_test::write_file(d.file("d.ctl"), ctl());
  grtest::record pfi(getpfi());
  ASSERT_EQ(kaddes(d.file("d.ctl").c_str(), pfi.get(), 0), 0);
  // A native grid given by a table: its size alone is compared.
  pfi->pdef_type = pdef_bilin, pfi->native_isize = 5, pfi->native_jsize = 2;
  pfi->reader = find_reader(data_kind::preprojected_grib);
  grib_index g{};
  int hi[4] = {2, 3, 3, 255}, ints[27];
  float flts[27];
  g.hinum = 4, g.hipnt = hi, g.intnum = g.fltnum = 27, g.intpnt = ints, g.fltpnt = flts;
  grib_record_header h{};
  h.gds_flag = 1, h.ni = 5, h.nj = 2, h.bits = 8, h.bds_length = 21, h.data_pos = 99;
  h.parameter = 1, h.level_type = 1, h.forecast_ok = 1, h.decimal_factor = h.binary_factor = 1;
  h.valid = date_time{2000, 1, 1, 6, 0};
  EXPECT_EQ(gribrec(&h, pfi.get(), &g, nullptr), grib_rec_entered);
  EXPECT_EQ(ints[3 * 5], 99);  // time 2, record 3 (ps)
  // Another count of points is another grid; the same count otherwise
  // arranged is the native grid's, refused.
  h.ni = 4, h.nj = 3;
  EXPECT_EQ(gribrec(&h, pfi.get(), &g, nullptr), grib_rec_other_grid);
  h.ni = 2, h.nj = 5;
  EXPECT_EQ(gribrec(&h, pfi.get(), &g, nullptr), grib_rec_native_size);
}

// An index whose entry counts disagree with the descriptor names each count:
// 2 times of 2 records need 3 x 4 = 12 integer and 12 float entries.
TEST(GribData, IndexCountsThatDisagreeAreEachNamed) {
  int hi[4] = {1, 2, 2, 255};
  int ints[12] = {};
  float flts[12] = {};
  grib_index g{};
  g.hinum = 4, g.hipnt = hi, g.intpnt = ints, g.fltpnt = flts;
  struct counts {
    int ints, flts;
    const char* said;
  };
  for (const counts& c : {counts{12, 11, "Index holds 12 integer and 11 float entries"},
                          counts{9, 12, "Index holds 9 integer and 12 float entries"}}) {
    g.intnum = c.ints, g.fltnum = c.flts;
    StdoutCapture cap;
    EXPECT_EQ(kackgmap(&g, 2, 2), 1);
    const std::string out = cap.text();
    EXPECT_NE(out.find(std::string(c.said) + "; the descriptor needs 12 of each\n"),
              std::string::npos)
        << out;
  }
  g.intnum = g.fltnum = 12;
  EXPECT_EQ(kackgmap(&g, 2, 2), 0);
}

// Every part of the grid the rule compares refuses a message that differs
// in it alone: its columns, its rows, the grid description itself, the
// native grid of a pre-projected set, and the grid number of a fixed type.
TEST(GribData, TheGridRuleRefusesAGridDifferingInAnyPartItCompares) {
  TempDir d;
  vemra_test::write_file(d.file("d.ctl"), ctl());
  grtest::record pfi(getpfi());
  ASSERT_EQ(kaddes(d.file("d.ctl").c_str(), pfi.get(), 0), 0);
  ASSERT_EQ(pfi->x_size, 4);
  ASSERT_EQ(pfi->y_size, 3);
  struct row {
    const char* name;
    bool pdef;  // pre-projected onto the 4 x 3 grid from a native 5 x 2
    int gtype, grid_id, gds, ni, nj;
    int want, offset, stride;
  };
  const row table[] = {
      {"the data set's grid", false, 255, 255, 1, 4, 3, grib_rec_entered, 0, 3},
      {"one column more", false, 255, 255, 1, 5, 3, grib_rec_grid_size, 0, 3},
      {"one row more", false, 255, 255, 1, 4, 4, grib_rec_grid_size, 0, 3},
      {"one row fewer", false, 255, 255, 1, 4, 2, grib_rec_grid_size, 0, 3},
      {"no grid description", false, 255, 255, 0, 4, 3, grib_rec_no_grid, 0, 3},
      {"the native grid", true, 255, 255, 1, 5, 2, grib_rec_entered, 0, 3},
      {"one native row more", true, 255, 255, 1, 5, 3, grib_rec_native_size, 0, 3},
      {"one native column fewer", true, 255, 255, 1, 4, 2, grib_rec_native_size, 0, 3},
      {"the target grid of a pre-projected set", true, 255, 255, 1, 4, 3, grib_rec_native_size, 0,
       3},
      {"grid 3 of a set of grid 3", false, 3, 3, 0, 0, 0, grib_rec_entered, 0, 3},
      {"grid 4 of a set of grid 3", false, 3, 4, 1, 4, 3, grib_rec_grid_type, 0, 3},
      {"the northern half of grid 29", false, 29, 29, 0, 0, 0, grib_rec_entered, 3, 6},
      {"the southern half of grid 29", false, 29, 30, 0, 0, 0, grib_rec_entered, 0, 6},
      {"grid 3 of a set of grid 29", false, 29, 3, 1, 4, 3, grib_rec_grid_29, 0, 6},
  };
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    pfi->pdef_type = r.pdef ? 1 : 0, pfi->native_isize = 5, pfi->native_jsize = 2;
    pfi->reader = find_reader(r.pdef ? data_kind::preprojected_grib : data_kind::grib);
    grib_record_header h{};
    h.grid_id = r.grid_id, h.gds_flag = r.gds, h.ni = r.ni, h.nj = r.nj;
    int offset = -1, stride = -1;
    EXPECT_EQ(gribgrid(&h, pfi.get(), r.gtype, &offset, &stride), r.want);
    if (r.want == grib_rec_entered) {
      EXPECT_EQ(offset, r.offset);
      EXPECT_EQ(stride, r.stride);
    }
  }
}

// A template's index is checked against each of its files: a place that
// lies in another, larger file of the set is still outside its own, and is
// refused at open naming its own file. A file made after the open is
// checked as it is read, the message at a start it can't reach refused.
TEST(GribData, ATemplatesPlacesAreCheckedAgainstTheFileTheyLieIn) {
  TempDir d;
  std::string text = ctl("options template\n");
  text.replace(text.find("^g.grb"), 6, "^g_%h2.grb");
  message t500 = msg(11, 100, 500, ramp(12)), t850 = msg(11, 100, 850, ramp(12));
  message ps = msg(1, 1, 0, ramp(12));
  const std::string first = encode(t500) + encode(t850) + encode(ps);
  ps.hour = 12, ps.reference = 12;
  const std::string third = encode(ps);
  vemra_test::write_file(d.file("g_00.grb"), first);
  vemra_test::write_file(d.file("g_12.grb"), third);
  ASSERT_EQ(build(d, text, "").rc, 1);
  const std::string index = vemra_test::read_file(d.file("g.idx"));
  const size_t places = index.find("MSGS");
  ASSERT_NE(places, std::string::npos);
  // Time 3's records are slots 6 to 8; only ps has a message, at the start
  // of the third file.
  auto be64 = [&](size_t at) {
    uint64_t v = 0;
    for (int b = 0; b < 8; b++) v = v << 8 | (unsigned char)index[at + size_t(b)];
    return v;
  };
  size_t slot = 0;
  for (size_t s = 6; s < 9; s++)
    if (be64(places + 9 + 16 * s) != ~uint64_t(0)) slot = s;
  ASSERT_EQ(be64(places + 9 + 16 * slot), 0u);
  ASSERT_EQ(be64(places + 17 + 16 * slot), third.size());
  const uint64_t n = third.size(), top = 0x8000000000000000ULL;
  auto outside = [&](uint64_t start, uint64_t length) {
    return "Message at byte " + std::to_string(start) + ", " + std::to_string(length) +
           " bytes long: the file holds " + std::to_string(n) + " bytes\n";
  };
  struct row {
    std::string name;
    uint64_t start, length;
    bool made_later;      // the third file is written after the open
    std::string at_open;  // the open refusal's last line
    std::string at_read;  // what the refusal of time 3 names
  };
  const row table[] = {
      {"the index as built", 0, n, false, "", ""},
      {"a place within the first file only", 2 * n, n, false, outside(2 * n, n), ""},
      {"a start with the top bit set", top, n, false, outside(top, n), ""},
      {"one byte past the file's end", 0, n + 1, false, outside(0, n + 1), ""},
      {"a start with the top bit set, the file made later", top, n, true, "",
       "no GRIB message can be read there"},
      {"a start of all bits but the last byte, the file made later", ~uint64_t(0xff), n, true, "",
       "no GRIB message can be read there"},
      {"one byte past the file's end, the file made later", 0, n + 1, true, "",
       std::to_string(n) + " bytes long, the index says " + std::to_string(n + 1)},
  };
  ASSERT_EQ(first.size(), 3 * n);  // three messages of one size
  for (const row& r : table) {
    SCOPED_TRACE(r.name);
    std::string patched = index;
    for (int b = 0; b < 8; b++) {
      patched[places + 9 + 16 * slot + size_t(b)] = char(r.start >> (56 - 8 * b));
      patched[places + 17 + 16 * slot + size_t(b)] = char(r.length >> (56 - 8 * b));
    }
    vemra_test::write_file(d.file("g.idx"), patched);
    if (r.made_later) std::filesystem::remove(d.file("g_12.grb"));
    std::string out;
    auto pfi = grtest::open_file(d.file("d.ctl"), &out);
    if (!r.at_open.empty()) {
      EXPECT_FALSE(pfi);
      EXPECT_EQ(out,
                "Open Error:  GRIB index places a message outside its data file\n"
                "  Data file = " +
                    d.file("g_12.grb") + "\n  " + r.at_open + "  The data file was not opened. \n");
      continue;
    }
    ASSERT_TRUE(pfi) << out;
    EXPECT_EQ(grid(pfi.get(), 1, 1, 1).at(1, 0), 37.0f);
    if (r.made_later) vemra_test::write_file(d.file("g_12.grb"), third);
    auto g = grid(pfi.get(), 1, 1, 3);
    if (!r.at_read.empty()) {
      EXPECT_EQ(g.rc, 1);
      EXPECT_TRUE(grtest::contains(g.out, "Data file = " + d.file("g_12.grb") + "\n")) << g.out;
      // The start is named as the unsigned offset the index holds.
      EXPECT_TRUE(grtest::contains(
          g.out, "Message at byte " + std::to_string(r.start) + ": " + r.at_read + "\n"))
          << g.out;
    } else {
      EXPECT_EQ(g.rc, 0) << g.out;
      EXPECT_EQ(g.at(1, 0), 37.0f + 12.0f);
    }
  }
}
