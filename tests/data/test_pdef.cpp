// Native projected grids read as longitude-latitude grids: the forward
// transforms against values worked out independently, and whole data sets
// whose stored values are known functions of position.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "data/gribbuild.h"
#include "data/pdef.h"
#include "support/grib_writer.h"
#include "data/test_gridread_support.h"

using vemra_test::TempDir;

namespace {

void put_i32(std::string& s, int32_t v, bool big = false) {
  uint32_t u = static_cast<uint32_t>(v);
  if (big) u = __builtin_bswap32(u);
  s.append(reinterpret_cast<const char*>(&u), 4);
}

// A 4-byte record marker pair around bytes.
std::string record_of(const std::string& bytes) {
  std::string s;
  put_i32(s, static_cast<int32_t>(bytes.size()));
  s += bytes;
  put_i32(s, static_cast<int32_t>(bytes.size()));
  return s;
}

const double kPi = std::acos(-1.0);

}  // namespace

// Expected values: python3 (math module only) with the textbook formulas,
// written independently of the code: Lambert conformal and oblique
// stereographic in the form of Snyder's "Map Projections: A Working Manual"
// (eqs. 15-1..15-5, 21-2..21-4), the rotated grid by rotating the unit
// vector of the point about the y axis, the ellipsoidal polar stereographic
// through the conformal latitude. The spherical polar stereographic grid is
// checked through the data sets below.
TEST(NativeGridTransforms, AgreeWithIndependentFormulas) {
  struct pt {
    float lon, lat, gi, gj;
  };
  // lcc: latref 40, lonref -100 at (50, 60), true at 30 and 60, stdlon -95,
  // 20 km.
  const float lcc[9] = {40, -100, 50, 60, 30, 60, -95, 20000, 20000};
  for (const pt& p : {pt{-100, 40, 50.0f, 60.0f}, pt{-110, 60, 29.1933f, 171.5527f},
                      pt{-160, 10, -294.8701f, 43.5305f}}) {
    float gi, gj;
    ll2lc(lcc, p.lat, p.lon, &gi, &gj);
    EXPECT_NEAR(gi, p.gi, 2e-3) << "lcc " << p.lon << " " << p.lat;
    EXPECT_NEAR(gj, p.gj, 2e-3) << "lcc " << p.lon << " " << p.lat;
  }
  // ops centred on 45N 10E, metres, no offsets.
  const float ops[8] = {45, 10, 0, 0, 0, 0, 1, 1};
  for (const pt& p : {pt{10, 45, 0, 0}, pt{0, 40, -852645.646f, -505902.832f},
                      pt{170, 50, 2513427.482f, 11075773.217f}}) {
    float gi, gj;
    ll2ops(ops, p.lon, p.lat, &gi, &gj);
    EXPECT_NEAR(gi, p.gi, 2.0) << "ops " << p.lon << " " << p.lat;
    EXPECT_NEAR(gj, p.gj, 2.0) << "ops " << p.lon << " " << p.lat;
  }
  // The same centred on 45S 10E, y still northwards: 40S 0E is the mirror
  // image of 40N 0E in y; the rest lie along 62S about a centre at 60S 70W.
  struct ops_pt {
    float lat0, lon0, xoff, yoff, iref, jref, d;
    pt p;
  };
  for (const ops_pt& o :
       {ops_pt{-45, 10, 0, 0, 0, 0, 1, {0, -40, -852645.646f, 505902.832f}},
        ops_pt{-45, 10, 0, 0, 0, 0, 1, {-60, -68, -2568720.318f, -4123067.498f}},
        ops_pt{-60, -70, 1e5f, -5e4f, 50, 50, 5e4f, {-78, -62, 39.6623f, 46.0416f}},
        ops_pt{-60, -70, 1e5f, -5e4f, 50, 50, 5e4f, {-64, -62, 54.2591f, 46.2647f}}}) {
    const float prm[8] = {o.lat0, o.lon0, o.xoff, o.yoff, o.iref, o.jref, o.d, o.d};
    const double tol = o.d == 1 ? 2.0 : 2e-4;
    float gi, gj;
    ll2ops(prm, o.p.lon, o.p.lat, &gi, &gj);
    EXPECT_NEAR(gi, o.p.gi, tol) << "ops " << o.lat0 << " " << o.p.lon << " " << o.p.lat;
    EXPECT_NEAR(gj, o.p.gj, tol) << "ops " << o.lat0 << " " << o.p.lon << " " << o.p.lat;
  }
  // E-grid centred on 40N 97W, 0.2 degrees, 101 x 101: rotated coordinates
  // of (-77, 45) are (14.09012, 6.57863), of (-107, 47) (-6.85853, 7.38462).
  const float eta[4] = {-97, 40, 0.2f, 0.2f};
  for (const pt& p : {pt{-97, 43, 50.0f, 65.0f}, pt{-77, 45, 120.4506f, 82.8931f},
                      pt{-107, 47, 15.7073f, 86.9231f}}) {
    float gi, gj, rot;
    ll2eg(101, 101, eta, p.lon, p.lat, &gi, &gj, &rot);
    EXPECT_NEAR(gi, p.gi, 2e-3) << "eta " << p.lon << " " << p.lat;
    EXPECT_NEAR(gj, p.gj, 2e-3) << "eta " << p.lon << " " << p.lat;
    // On the centre's meridian grid north is earth north.
    if (p.lon == -97) {
      EXPECT_NEAR(rot, 0.0f, 1e-6);
    }
  }
  // pse: true at 70, slon 45, pole at (100, 100) 0-based, 25 km.
  const float pse[7] = {70, 45, 100, 100, 25, 25, 1};
  for (const pt& p : {pt{123, 90, 101, 101}, pt{20, 70, 137.9871f, 180.3191f},
                      pt{-60, 30, 376.9838f, 27.0504f}}) {
    float gi, gj;
    ll2pse(1, 1, pse, p.lon, p.lat, &gi, &gj);
    EXPECT_NEAR(gi, p.gi, 2e-3) << "pse " << p.lon << " " << p.lat;
    EXPECT_NEAR(gj, p.gj, 2e-3) << "pse " << p.lon << " " << p.lat;
  }
  float gi, gj;
  ll2pse(1, 1, pse, 0, 91, &gi, &gj);  // no such latitude
  EXPECT_EQ(gi, -1.0f);
  EXPECT_EQ(gj, -1.0f);
  // A southern grid (sign -1, true at 70S) is the mirror image of the
  // northern one: 70S 20E lies where 70N 20E would, flipped in i only.
  const float spse[7] = {70, 45, 100, 100, 25, 25, -1};
  ll2pse(1, 1, spse, 20, -70, &gi, &gj);
  EXPECT_NEAR(gi, 2 * 101 - 137.9871f, 2e-3);
  EXPECT_NEAR(gj, 180.3191f, 2e-3);
}

// Every whole-degree point within 60 degrees of the centre lands where the
// spherical oblique stereographic puts it, x eastwards and y northwards,
// whichever hemisphere the centre lies in (the poles are not oblique).
TEST(NativeGridTransforms, ObliqueStereographicAroundEveryCentre) {
  const double R = 6371229.0, rad = kPi / 180;
  const float centres[][2] = {{45, 10},   {60, -70},  {0.5f, 20},  {-0.5f, 20}, {-45, 10},
                              {-60, -70}, {-30, 150}, {-89.5f, 0}, {30, 0}};
  for (const auto& c : centres) {
    const float prm[8] = {c[0], c[1], 0, 0, 0, 0, 1, 1};
    const double f0 = c[0] * rad;
    int bad = 0, n = 0;
    for (int lat = -89; lat <= 89; lat++)
      for (int lon = -180; lon <= 180; lon++) {
        const double f = lat * rad, dl = (lon - c[1]) * rad;
        const double cosc = std::sin(f0) * std::sin(f) + std::cos(f0) * std::cos(f) * std::cos(dl);
        if (cosc < 0.5) continue;
        const double k = 2 / (1 + cosc);
        const double x = R * k * std::cos(f) * std::sin(dl);
        const double y =
            R * k * (std::cos(f0) * std::sin(f) - std::sin(f0) * std::cos(f) * std::cos(dl));
        float gi, gj;
        ll2ops(prm, static_cast<float>(lon), static_cast<float>(lat), &gi, &gj);
        n++;
        if (!(std::hypot(gi - x, gj - y) < 2.0) && bad++ < 3)
          ADD_FAILURE() << "centre " << c[0] << " " << c[1] << ", point " << lon << " " << lat
                        << ": " << gi << " " << gj << ", want " << x << " " << y;
      }
    EXPECT_EQ(bad, 0) << "of " << n << " points about " << c[0] << " " << c[1];
    EXPECT_GT(n, 5000);
  }
}

namespace {

// A north polar stereographic grid of 41 x 41 points, pole at (21, 21),
// 200 km at 60N, orientation 80W, whose two variables hold each native
// point's latitude and longitude (longitudes in -260..100, cut where no
// target point lies), from the inverse projection r = R (1 + sin 60)
// tan(45 - lat / 2), lon = lonref + atan2(x, -y).
struct PolarGrid {
  TempDir dir;
  grtest::record pfi;
  static constexpr double kScale = 6371.2 * 1.86603;  // R (1 + sin 60), km
  explicit PolarGrid(const std::string& target, const std::string& extra = "") {
    std::string la, lo;
    for (int j = 1; j <= 41; j++)
      for (int i = 1; i <= 41; i++) {
        const double x = (i - 21) * 200.0, y = (j - 21) * 200.0, r = std::hypot(x, y);
        const double lat = 90 - 2 * std::atan(r / kScale) * 180 / kPi;
        const double lon = r == 0 ? -80 : -80 + std::atan2(x, -y) * 180 / kPi;
        grtest::put_f32(la, static_cast<float>(lat));
        grtest::put_f32(lo, static_cast<float>(lon));
      }
    vemra_test::write_file(dir.file("n.dat"), la + lo);
    pfi = grtest::open_text(dir, "dset ^n.dat\nundef -9.99e33\n" + extra +
                                     "pdef 41 41 nps 21 21 -80 200\n" + target +
                                     "zdef 1 levels 1000\ntdef 1 linear 00z1jan2000 1dy\n"
                                     "vars 2\nla 0 99 latitude\nlo 0 99 longitude\nendvars\n");
  }
};

}  // namespace

TEST(PreProjectedGrids, PointsWithoutFourNativeNeighboursAreUndefined) {
  // On the 80W meridian 53N lies r = 11889.0 tan 18.5 = 3978 km (19.89
  // cells) below the pole, in the first native cell; 52N lies 4094 km
  // (20.47 cells) below it, beyond the first native row; 40N is far outside.
  PolarGrid g("xdef 1 linear -80 1\nydef 3 levels 40 52 53\n");
  ASSERT_TRUE(g.pfi);
  auto r = grtest::read(g.pfi.get(), 0, 1, -1, {1, 1, 1, 1}, {1, 3, 1, 1});
  ASSERT_EQ(r.rc, 0) << r.out;
  EXPECT_EQ(r.at(0), -9.99e33f);
  EXPECT_EQ(r.at(1), -9.99e33f);
  EXPECT_NEAR(r.at(2), 53.0, 0.05);

  // A grid whose native value beside one target point is undefined: that
  // point is undefined, its neighbours keep their values (no reweighting).
  std::string raw = vemra_test::read_file(g.dir.file("n.dat"));
  float u = -9.99e33f;
  // Native (21, 2): a neighbour of the point at 53N on 80W.
  raw.replace(((2 - 1) * 41 + 21 - 1) * 4, 4, reinterpret_cast<const char*>(&u), 4);
  PolarGrid h("xdef 1 linear -80 1\nydef 2 levels 53 60\n");
  vemra_test::write_file(h.dir.file("n.dat"), raw);
  std::fclose(h.pfi->data_stream);
  h.pfi->data_stream = std::fopen(h.pfi->data_file_name, "rb");
  auto s = grtest::read(h.pfi.get(), 0, 1, -1, {1, 1, 1, 1}, {1, 2, 1, 1});
  ASSERT_EQ(s.rc, 0);
  EXPECT_EQ(s.at(0), -9.99e33f);
  EXPECT_NEAR(s.at(1), 60.0, 0.05);
}

namespace {

// A 4 x 3 native grid holding 10 * i + j (in a binary file with a 2-word
// header before every grid, or in one GRIB message) and a 3 x 2 target
// whose native positions come from a "bilin" or "file" table written by the
// test.
struct TableGrid {
  TempDir dir;
  grtest::record pfi;
  std::string out;
  void open(const std::string& pdef, const std::string& table, bool grib = false) {
    std::string data;
    std::vector<uint32_t> fields;
    for (int h = 0; h < 2; h++) grtest::put_f32(data, 7777);
    for (int j = 1; j <= 3; j++)
      for (int i = 1; i <= 4; i++) {
        grtest::put_f32(data, static_cast<float>(10 * i + j));
        fields.push_back(static_cast<uint32_t>(10 * i + j));
      }
    gribw::message m;
    m.param = 11, m.level_type = 100, m.level = 500, m.bits = 8, m.fields = fields;
    vemra_test::write_file(dir.file("n.dat"), grib ? encode(m) : data);
    vemra_test::write_file(dir.file("t.bin"), table);
    const std::string ctl = "dset ^n.dat\nundef -1\n" +
                            std::string(grib ? "index ^n.idx\ndtype grib\n" : "xyheader 8\n") +
                            pdef +
                            "\nxdef 3 linear 0 1\nydef 2 linear 0 1\nzdef 1 levels 500\n"
                            "tdef 1 linear 00z1jan2000 1dy\nvars 1\nv 0 11,100,500 v\nendvars\n";
    vemra_test::write_file(dir.file("d.ctl"), ctl);
    if (grib) {
      mfcmn.calendar_365 = -999;
      StdoutCapture cap;
      ASSERT_EQ(latsgribmap(dir.file("d.ctl").c_str(), 0), 1) << cap.text();
    }
    pfi = grtest::open_file(dir.file("d.ctl"), &out);
  }
  std::vector<float> values() {
    auto r = grtest::read(pfi.get(), 0, 0, 1, {1, 1, 1, 1}, {3, 2, 1, 1});
    EXPECT_EQ(r.rc, 0) << r.out;
    return std::vector<float>(r.grid->values, r.grid->values + 6);
  }
};

std::string floats(std::initializer_list<float> v, bool big) {
  std::string s;
  for (float f : v) grtest::put_f32(s, f, big);
  return s;
}

}  // namespace

TEST(PreProjectedGrids, BilinearTablesInEveryLayout) {
  // Native i, j per target point; the header words before the grid are
  // skipped by the variable's place in the file, not by the table.
  const std::initializer_list<float> gi = {1, 1.5f, 3.25f, -1, 4, 2};
  const std::initializer_list<float> gj = {1, 2.5f, 1.75f, 2, 1, 2};
  const std::initializer_list<float> rot = {0, 0, 0, 0, 0, 0};
  // 10 i + j is linear, so its interpolation is exact: 11, 17.5, 34.25,
  // undefined (negative i), undefined (i on the last column), 22. The
  // native grid in a GRIB message reads its points through the GRIB reader.
  const std::vector<float> want = {11, 17.5f, 34.25f, -1, -1, 22};
  for (bool grib : {false, true}) {
    TableGrid t;
    t.open("pdef 4 3 bilin stream binary-big ^t.bin",
           floats(gi, true) + floats(gj, true) + floats(rot, true), grib);
    ASSERT_TRUE(t.pfi) << t.out;
    EXPECT_EQ(t.values(), want);
    EXPECT_EQ(t.pfi->pdef_flag, 0);  // no angle: winds stay as they are
  }
  TableGrid t;
  t.open("pdef 4 3 bilin sequential binary ^t.bin",
         record_of(floats(gi, false)) + record_of(floats(gj, false)) +
             record_of(floats({0, 0, 0.5f, 0, 0, 0}, false)));
  ASSERT_TRUE(t.pfi) << t.out;
  EXPECT_EQ(t.values(), want);
  EXPECT_EQ(t.pfi->pdef_flag, 1);
  EXPECT_EQ(static_cast<float*>(t.pfi->pdef_extra)[2], 0.5f);

  // Native offsets beyond 32 bits: the point at (65000.5, 65000.5) of a
  // 70000 x 70000 grid lies (65000 - 1) * 70000 + 65000 - 1 = 4549994999
  // values (plus the 2 header words) into a file that holds 14.
  TableGrid big;
  big.open("pdef 70000 70000 bilin stream binary ^t.bin",
           floats({65000.5f, -1, -1, -1, -1, -1}, false) +
               floats({65000.5f, 1, 1, 1, 1, 1}, false) + floats(rot, false));
  ASSERT_TRUE(big.pfi) << big.out;
  auto far = grtest::read(big.pfi.get(), 0, 1, -1, {1, 1, 1, 1}, {1, 2, 1, 1});
  EXPECT_EQ(far.rc, 1);
  EXPECT_TRUE(grtest::contains(far.out, "at location 4549995001 \n")) << far.out;
  // Target rows read whole native rows: the row of that point starts at
  // 64999 * 70000 + 2.
  far = grtest::read(big.pfi.get(), 0, 0, 1, {1, 1, 1, 1}, {3, 2, 1, 1});
  EXPECT_EQ(far.rc, 1);
  EXPECT_TRUE(grtest::contains(far.out, "at location 4549930002 \n")) << far.out;

  // A table one value short fails the open, as does a missing end marker.
  const std::pair<std::string, std::string> cut[] = {
      {"stream", floats(gi, false) + floats(gj, false) + floats({0, 0, 0, 0, 0}, false)},
      {"sequential", record_of(floats(gi, false)) + record_of(floats(gj, false)) +
                         record_of(floats(rot, false)).substr(0, 4 + 24)}};
  for (const auto& [access, bad] : cut) {
    TableGrid s;
    s.open("pdef 4 3 bilin " + access + " binary ^t.bin", bad);
    EXPECT_FALSE(s.pfi);
    EXPECT_TRUE(grtest::contains(s.out, "Open Error:  I/O Error on pdef file read\n")) << s.out;
    EXPECT_TRUE(grtest::contains(s.out, "The data file was not opened")) << s.out;
  }
}

TEST(PreProjectedGrids, WeightTablesBoundedByTheNativeGrid) {
  // Two weights per target point. Native points are 1-based offsets into
  // the 12 native values; the file's grid is 14 words long (two header
  // words), but offsets 13 and 14 are no native points.
  auto ints = [](std::initializer_list<int32_t> v) {
    std::string s;
    for (int32_t i : v) put_i32(s, i, true);
    return s;
  };
  // Native values by offset: 1 -> 11, 2 -> 21, 5 -> 12, 12 -> 43.
  const std::string idx1 = ints({1, 1, 2, 0, 13, 12});
  const std::string wt1 = floats({1, 3, 1, 1, 1, 1}, true);
  const std::string idx2 = ints({-5, 5, -5, 1, 1, 14});
  const std::string wt2 = floats({9, 1, 0, 1, 1, 1}, true);
  TableGrid t;
  t.open("pdef 4 3 file 2 stream binary-big ^t.bin",
         idx1 + wt1 + idx2 + wt2 + floats({0, 0, 0, 0, 0, 0}, true));
  ASSERT_TRUE(t.pfi) << t.out;
  // 11 alone (skipped second index), (3 * 11 + 12) / 4, 21 alone, index 0,
  // offset 13, offset 14: the last three undefined.
  const std::vector<float> want = {11, 11.25f, 21, -1, -1, -1};
  EXPECT_EQ(t.values(), want);

  // A table cut inside the weights fails the open.
  TableGrid c;
  c.open("pdef 4 3 file 2 stream binary-big ^t.bin", idx1 + wt1 + idx2 + wt2.substr(0, 10));
  EXPECT_FALSE(c.pfi);
  EXPECT_TRUE(grtest::contains(c.out, "I/O Error on pdef file read")) << c.out;
}
