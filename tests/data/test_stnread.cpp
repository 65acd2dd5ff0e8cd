// Station data sets: the files the tests write open with the map they name,
// station requests select and read their reports, the cache serves a repeat
// request, and damaged files are refused.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "data/result.h"
#include "data/stnmap.h"
#include "data/stnread.h"
#include "support/station_writer.h"
#include "test_descriptor_support.h"

using namespace dtest;
using vemra_test::TempDir;

namespace {

// Two stations at the first time, one at the second; one surface and two
// level variables.
stnw::dataset two_times() {
  stnw::dataset ds;
  ds.surface_vars = {"ps"};
  ds.level_vars = {"t", "u"};
  ds.times = {{{"KDEN", 39.75f, -104.875f, 0, {830}, {{850, {10, 2}}, {500, {-20, 8}}}},
               {"72469", 40, -105, 0.5f, {}, {{700, {-5, 3}}}}},
              {{"KDEN", 39.75f, -104.875f, 0, {829}, {}}}};
  return ds;
}

int serial = 100;

// An opened station data set, as "open" leaves it.
struct opened {
  parsed p;
  explicit opened(const std::string& ctl) : p(parse_file(ctl)) {
    if (p.rc != 0) return;
    if (!p.pfi->template_flag) p.pfi->data_stream = std::fopen(p.pfi->data_file_name, "rb");
    p.pfi->file_number = ++serial;
  }
  ~opened() {
    if (p.pfi && p.pfi->data_stream) std::fclose(p.pfi->data_stream);
    if (p.pfi) p.pfi->data_stream = nullptr;
  }
  file_descriptor* f() { return p.pfi.get(); }
  // The file changed on disk: a new stream, so that nothing buffered is
  // read; the data set keeps its number.
  void reopen() {
    std::fclose(p.pfi->data_stream);
    p.pfi->data_stream = std::fopen(p.pfi->data_file_name, "rb");
  }
  variable_descriptor* var(const std::string& name) {
    for (int i = 0; i < f()->variable_count; i++)
      if (name == f()->variables[i].abbrev) return &f()->variables[i];
    return nullptr;
  }
};

struct request {
  float lon_min = 0, lon_max = 360, lat_min = -90, lat_max = 90;
  float lev_min = 500, lev_max = 500;
  int t_min = 1, t_max = 1;
  float radius = -1;  // >= 0: centre (lon_min, lat_min) and radius
  std::string stid;   // non-empty: one station
};

using row =
    std::tuple<std::string, float, float, float, float, float>;  // id lon lat lev time value

struct got {
  int rc = -1;
  std::string out;
  std::vector<row> reports;
};

got read(opened& o, const std::string& var, const request& q) {
  auto* s = static_cast<station_set*>(std::calloc(1, sizeof(station_set)));
  s->file = o.f();
  s->undef = o.f()->undef;
  s->idim = 0;
  s->jdim = 1;
  s->lon_min = q.lon_min;
  s->lon_max = q.lon_max;
  s->lat_min = q.lat_min;
  s->lat_max = q.lat_max;
  s->lev_min = q.lev_min;
  s->lev_max = q.lev_max;
  s->time_min = q.t_min;
  s->time_max = q.t_max;
  if (q.radius >= 0) {
    s->radius_flag = 1;
    s->radius = q.radius;
    s->idim = s->jdim = -1;
  }
  std::memset(s->stid, ' ', 8);
  if (!q.stid.empty()) {
    s->stid_flag = 1;
    std::memcpy(s->stid, q.stid.data(), std::min<size_t>(8, q.stid.size()));
    s->idim = s->jdim = -1;
  }
  s->variable = o.var(var);
  s->block_index = -1;
  got g;
  StdoutCapture cap;
  g.rc = kagstn(s);
  g.out = cap.text();
  for (station_report* r = s->first_report; r; r = r->next)
    g.reports.emplace_back(std::string(r->stid, 8), r->lon, r->lat, r->lev, r->time, r->value);
  if (g.rc == 0) {
    EXPECT_EQ(int(g.reports.size()), s->report_count);
  }
  kasfre(s);
  return g;
}

// Levels 1000 to 500 (downwards), the first time.
request column() {
  request q;
  q.lev_min = 1000;
  return q;
}

std::string read_error(const std::string& dat, const std::string& detail) {
  return "Low Level I/O Error:  Invalid station report in data file\n  Data file name = " + dat +
         " \n  " + detail + "\n";
}

constexpr float kSurf = -9.99e33f;

}  // namespace

TEST(StationRead, MapSurfaceAndLevelVariables) {
  TempDir d;
  opened o(stnw::write(d.path(), "s", two_times()).ctl);
  ASSERT_EQ(o.p.rc, 0) << o.p.out;
  // The map, by hand: KDEN is 28 header bytes + (1 + 2 * 3) words = 56
  // bytes; the second report 28 + 3 words = 40; the group end 28: time 2 at
  // 124. The largest data size is KDEN's 7 words.
  EXPECT_EQ(o.f()->station_offsets[1], 124);
  EXPECT_EQ(o.f()->station_counts[0], 2);
  EXPECT_EQ(o.f()->station_max_words, 7);
  // Surface: only reports that carry a surface record; level -9.99e33.
  got ps = read(o, "ps", {});
  ASSERT_EQ(ps.rc, 0) << ps.out;
  EXPECT_EQ(ps.reports, (std::vector<row>{{"KDEN    ", -104.875f, 39.75f, kSurf, 1, 830}}));
  // A level range runs downwards: 1000 to 500 takes 850, 700 and 500.
  got u = read(o, "u", column());
  ASSERT_EQ(u.rc, 0) << u.out;
  EXPECT_EQ(u.reports, (std::vector<row>{{"KDEN    ", -104.875f, 39.75f, 850, 1, 2},
                                         {"KDEN    ", -104.875f, 39.75f, 500, 1, 8},
                                         {"72469   ", -105, 40, 700, 1.5f, 3}}));
  // Both times: the second report's time is its index plus its offset.
  request q = column();
  q.t_min = -3;
  q.t_max = 5;  // beyond the last time: the walk stops at it
  got ps2 = read(o, "ps", q);
  ASSERT_EQ(ps2.reports.size(), 2u);
  EXPECT_EQ(std::get<4>(ps2.reports[1]), 2);
  EXPECT_EQ(std::get<5>(ps2.reports[1]), 829);
}

TEST(StationRead, SelectionByBoxRadiusAndId) {
  TempDir d;
  stnw::dataset ds;
  ds.surface_vars = {"v"};
  // id, latitude, longitude; the value numbers the station.
  ds.times = {{{"A", 44, -170, 0, {1}, {}},
               {"B", 44, 103, 0, {2}, {}},
               {"C", 44, 104, 0, {3}, {}},
               {"d12", 40, 100, 0, {4}, {}},
               {"D1234567", 40, 100.5f, 0, {5}, {}}}};
  opened o(stnw::write(d.path(), "s", ds).ctl);
  ASSERT_EQ(o.p.rc, 0) << o.p.out;
  auto ids = [&](const request& q) {
    std::vector<std::string> v;
    for (auto& r : read(o, "v", q).reports) v.push_back(std::get<0>(r));
    return v;
  };
  // -170 is compared as 190 in a box from 180 to 200, and keeps -170.
  request box;
  box.lon_min = 180, box.lon_max = 200;
  got wrap = read(o, "v", box);
  ASSERT_EQ(wrap.reports.size(), 1u);
  EXPECT_EQ(std::get<1>(wrap.reports[0]), -170);
  // Centre (100, 40), radius 5: (103, 44) lies at distance 5, (104, 44) beyond.
  request r;
  r.lon_min = 100, r.lat_min = 40, r.radius = 5;
  EXPECT_EQ(ids(r), (std::vector<std::string>{"B       ", "d12     ", "D1234567"}));
  // An id is matched whole and without case.
  request id;
  id.stid = "D12";
  EXPECT_EQ(ids(id), (std::vector<std::string>{"d12     "}));
  id.stid = "d1";
  EXPECT_TRUE(ids(id).empty());
}

TEST(StationRead, LevelMatchAndToleranceBand) {
  TempDir d;
  stnw::dataset ds;
  ds.level_vars = {"t"};
  // 500.005 is within 0.01 of 500; -999.005 lies inside the undefined band.
  ds.times = {{{"S", 10, 20, 0, {}, {{500.005f, {-999.005f}}, {400, {7}}}},
               {"T", 11, 21, 0, {}, {{499.98f, {1}}}}}};
  opened o(stnw::write(d.path(), "s", ds).ctl);
  got g = read(o, "t", {});
  ASSERT_EQ(g.rc, 0) << g.out;
  EXPECT_EQ(g.reports, (std::vector<row>{{"S       ", 20, 10, 500.005f, 1, -999}}));
}

TEST(StationRead, ByteOrdersSequentialAndVersionOneMaps) {
  TempDir d;
  request q = column();
  q.t_max = 2;
  std::vector<row> want;
  {
    opened o(stnw::write(d.path(), "base", two_times()).ctl);
    want = read(o, "t", q).reports;
    ASSERT_EQ(want.size(), 3u);
  }
  struct variant {
    stnw::order ord;
    bool seq, split;
    int map;
    bool reversed;
  };
  int k = 0;
  for (variant v : {variant{stnw::order::big, false, false, 1, false},
                    variant{stnw::order::little, true, false, 2, false},
                    variant{stnw::order::swapped, true, true, 1, true}}) {
    stnw::dataset ds = two_times();
    ds.byte_order = v.ord;
    ds.sequential = v.seq;
    ds.split_records = v.split;
    ds.map_version = v.map;
    ds.map_reversed = v.reversed;
    opened o(stnw::write(d.path(), "v" + std::to_string(k++), ds).ctl);
    ASSERT_EQ(o.p.rc, 0) << o.p.out;
    got g = read(o, "t", q);
    ASSERT_EQ(g.rc, 0) << g.out;
    EXPECT_EQ(g.reports, want) << k;
    // Skipping a report that is not selected, in the same form.
    request far = q;
    far.lon_min = 250, far.lon_max = 260;  // KDEN's two levels of time 1
    far.lat_min = 39.7f, far.lat_max = 39.8f;
    EXPECT_EQ(read(o, "t", far).reports.size(), 2u) << k;
  }
}

namespace {

// Overwrites 4 bytes of a file at a position with a host-order value.
void patch(const std::string& path, long pos, int32_t v) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(pos);
  f.write(reinterpret_cast<const char*>(&v), 4);
}

}  // namespace

TEST(StationRead, DamagedReportsAreRefused) {
  TempDir d;
  // A negative level count: refused, not read as a huge size.
  stnw::files neg = stnw::write(d.path(), "neg", two_times());
  patch(neg.dat, 20, -1);
  opened n(neg.ctl);
  got g = read(n, "t", column());
  EXPECT_EQ(g.rc, 1);
  EXPECT_EQ(g.out, read_error(neg.dat, "Level count -1 is negative"));
  EXPECT_TRUE(g.reports.empty());
  // A report larger than the map's largest size would overrun the buffer
  // that size gave: KDEN's 7 words against a map that says 3.
  stnw::dataset ds = two_times();
  ds.map_max_words = 3;
  stnw::files big = stnw::write(d.path(), "big", ds);
  opened b(big.ctl);
  EXPECT_EQ(read(b, "t", column()).out,
            read_error(big.dat, "Report of 7 data words exceeds the station map's largest (3)"));

  // Sequential: a record longer than its report, and one shorter than a
  // header; a report cut short by the end of the file.
  ds = two_times();
  ds.sequential = true;
  stnw::files f = stnw::write(d.path(), "seq", ds);
  patch(f.dat, 0, 28 + 28 + 4);
  opened o(f.ctl);
  EXPECT_TRUE(contains(read(o, "t", column()).out, "  Record size exceeds report size\n"));
  patch(f.dat, 0, 20);
  o.reopen();
  EXPECT_TRUE(contains(read(o, "t", column()).out,
                       "Low Level I/O Error:  Sequential read error\n"
                       "  Record size is smaller than a report header\n"));
  patch(f.dat, 0, 56);
  std::filesystem::resize_file(f.dat, 40);
  o.reopen();
  got cut = read(o, "t", column());
  EXPECT_EQ(cut.rc, 1);
  EXPECT_TRUE(contains(cut.out, "  Error reading 28 bytes at location 32 \n")) << cut.out;
}

TEST(StationMaps, CountsAndSizesCheckedBeforeUse) {
  TempDir d;
  std::string ctl =
      "stnmap ^s.map\ndset ^s.dat\ndtype station\nundef -999\n"
      "tdef 2 linear 12z1jan2000 12hr\nvars 1\nps 0 0 ps\nendvars\n";
  auto map = [&](uint32_t nt, uint32_t size, int entries) {
    std::string m = "Vemra_stnmapV002";
    put_be(m, nt);
    put_be(m, size);
    for (int i = 0; i < entries; i++) put_be(m, 0);
    vemra_test::write_file(d.file("s.map"), m);
    return parse_text(d, ctl);
  };
  const std::string damaged =
      std::string("Open Error:  Station map file is short or damaged\n") + kClosing;
  // A map that ends early; half a billion times in a 40-byte file: refused
  // before any allocation.
  EXPECT_EQ(map(2, 10, 1).out, damaged);
  EXPECT_EQ(map(1u << 29, 4, 4).out, damaged);
  // A largest report of 2^24 words (64 MB a read) is no report at all.
  EXPECT_EQ(map(2, 1u << 24, 4).out, damaged);
  EXPECT_EQ(map(2, (1u << 24) - 1, 4).rc, 0);
}

TEST(StationRead, CacheServesTheSameSelectionOnly) {
  TempDir d;
  stnw::dataset ds = two_times();
  stnw::files f = stnw::write(d.path(), "s", ds);
  opened o(f.ctl);
  ASSERT_EQ(o.p.rc, 0) << o.p.out;
  ASSERT_EQ(read(o, "t", column()).reports.size(), 3u);
  // Change every value on disk; the layout stays.
  for (auto& g : ds.times)
    for (auto& r : g)
      for (auto& l : r.levels)
        for (float& v : l.values) v += 100;
  stnw::write(d.path(), "s", ds);
  o.reopen();
  // u over the same stations and times comes from the cache: the old values.
  got u = read(o, "u", column());
  ASSERT_EQ(u.rc, 0) << u.out;
  EXPECT_EQ(std::get<5>(u.reports[0]), 2);
  EXPECT_EQ(std::get<5>(u.reports[2]), 3);
  // A different box, or another file, reads the file again.
  request box = column();
  box.lat_max = 89;
  EXPECT_EQ(std::get<5>(read(o, "u", box).reports[0]), 102);
  opened other(f.ctl);
  EXPECT_EQ(std::get<5>(read(other, "u", column()).reports[0]), 102);

  // A selection larger than the cache is read every time: 1500 reports of
  // 28 + 8 bytes do not fit in 50,000.
  stnw::dataset many;
  many.level_vars = {"t"};
  many.times.resize(1);
  for (int i = 0; i < 1500; i++)
    many.times[0].push_back(
        stnw::upper_report("S" + std::to_string(i), 0, float(i % 360), {{500, {1}}}));
  opened m(stnw::write(d.path(), "many", many).ctl);
  EXPECT_EQ(read(m, "t", {}).reports.size(), 1500u);
  for (auto& r : many.times[0]) r.levels[0].values[0] = 2;
  stnw::write(d.path(), "many", many);
  m.reopen();
  got again = read(m, "t", {});
  ASSERT_EQ(again.reports.size(), 1500u);
  EXPECT_EQ(std::get<5>(again.reports.back()), 2);
}

TEST(StationRead, TemplatedSetsWithAMissingFile) {
  TempDir d;
  stnw::dataset ds;
  ds.surface_vars = {"ps"};
  ds.tdef = "linear 00z1jan2000 12hr";
  // Times 1 and 2 share the file of 1 January; 3 January's file is missing.
  ds.times = {{stnw::surface_report("A", 1, 2, {10})},
              {stnw::surface_report("A", 1, 2, {20}), stnw::surface_report("B", 3, 4, {21})},
              {stnw::surface_report("A", 1, 2, {30})},
              {},
              {stnw::surface_report("A", 1, 2, {50})}};
  ds.dset_template = "^s_%y4%m2%d2.dat";
  ds.time_files = {"s_20000101.dat", "s_20000101.dat", "s_20000102.dat", "s_20000102.dat", ""};
  opened o(stnw::write(d.path(), "s", ds).ctl);
  ASSERT_EQ(o.p.rc, 0) << o.p.out;
  request q;
  q.t_max = 5;
  got g = read(o, "ps", q);
  ASSERT_EQ(g.rc, 0) << g.out;
  std::vector<float> values, times;
  for (auto& r : g.reports) values.push_back(std::get<5>(r)), times.push_back(std::get<4>(r));
  EXPECT_EQ(values, (std::vector<float>{10, 20, 21, 30}));
  EXPECT_EQ(times, (std::vector<float>{1, 2, 2, 3}));
}

TEST(StationMaps, BuilderWalksTheGroups) {
  TempDir d;
  // Builds the map of the data set without reading its own map.
  auto build = [&](const stnw::files& f, const std::string& built, std::string& out) {
    parsed p = parse_file(f.ctl, 0);
    EXPECT_EQ(p.rc, 0) << p.out;
    p.pfi->data_stream = std::fopen(p.pfi->data_file_name, "rb");
    StdoutCapture cap;
    int rc = kastnmap(p.pfi.get(), built.c_str());
    out = cap.text();
    std::fclose(p.pfi->data_stream);
    p.pfi->data_stream = nullptr;
    return rc;
  };
  stnw::dataset ds = two_times();
  ds.times.push_back({});  // a time with no reports
  ds.sequential = ds.split_records = true;
  stnw::files f = stnw::write(d.path(), "b", ds);
  std::string out, built = d.file("b.built");
  ASSERT_EQ(build(f, built, out), 0) << out;
  EXPECT_EQ(out, "Station map " + built + ": 3 times, 3 reports, largest report 7 words\n");
  // Byte for byte the map the writer laid out itself.
  EXPECT_EQ(vemra_test::read_file(built), vemra_test::read_file(f.map));

  // Data that ends inside a group is refused.
  stnw::files cut = stnw::write(d.path(), "cut", two_times());
  std::filesystem::resize_file(cut.dat, 150);
  EXPECT_EQ(build(cut, d.file("cut.built"), out), 1);
  EXPECT_EQ(out,
            "Station map error:  data ends inside a time group\n  Time 2, byte 124 of data file " +
                cut.dat + " \n");
}

// A station placed at a latitude or longitude that is no number lies in no
// box and within no radius.
TEST(StationRead, StationsWithoutAFinitePositionAreOutsideEveryBox) {
  TempDir d;
  stnw::dataset ds;
  ds.surface_vars = {"v"};
  const float nan = std::nanf(""), inf = INFINITY;
  ds.times = {{{"OK", 10, 20, 0, {1}, {}},
               {"NLAT", nan, 20, 0, {2}, {}},
               {"NLON", 10, nan, 0, {3}, {}},
               {"ILAT", inf, 20, 0, {4}, {}},
               {"ILON", 10, -inf, 0, {5}, {}}}};
  opened o(stnw::write(d.path(), "s", ds).ctl);
  ASSERT_EQ(o.p.rc, 0) << o.p.out;
  auto ids = [&](const request& q) {
    std::vector<std::string> v;
    for (auto& r : read(o, "v", q).reports) v.push_back(std::get<0>(r));
    return v;
  };
  const std::vector<std::string> only_ok = {"OK      "};
  EXPECT_EQ(ids(request{}), only_ok);
  request wide;
  wide.lon_min = -1e30f, wide.lon_max = 1e30f, wide.lat_min = -1e30f, wide.lat_max = 1e30f;
  EXPECT_EQ(ids(wide), only_ok);
  request r;
  r.lon_min = 20, r.lat_min = 10, r.radius = 1e30f;
  EXPECT_EQ(ids(r), only_ok);
}
