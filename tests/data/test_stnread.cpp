// Station data sets: the files the tests write open with the map they name,
// station requests select and read their reports, the cache serves a repeat
// request, and damaged files are refused.
#include <cmath>
#include <cstdio>
#include <fstream>
#include <set>
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
    if (p.rc == 0 && !p.pfi->template_flag) p.pfi->data_stream = std::fopen(p.pfi->data_file_name, "rb");
    if (p.rc == 0) p.pfi->file_number = ++serial;
  }
  ~opened() {
    if (p.pfi && p.pfi->data_stream) std::fclose(p.pfi->data_stream);
    if (p.pfi) p.pfi->data_stream = nullptr;
  }
  file_descriptor* f() { return p.pfi.get(); }
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
  float radius = -1;       // >= 0: centre (lon_min, lat_min) and radius
  std::string stid;        // non-empty: one station
};

struct got {
  int rc = -1;
  std::string out;
  std::vector<std::tuple<std::string, float, float, float, float, float>> reports;  // id lon lat lev time value
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
  int n = 0;
  for (station_report* r = s->first_report; r; r = r->next, n++)
    g.reports.emplace_back(std::string(r->stid, 8), r->lon, r->lat, r->lev, r->time, r->value);
  if (g.rc == 0) {
    EXPECT_EQ(n, s->report_count);
  }
  kasfre(s);
  return g;
}

using row = std::tuple<std::string, float, float, float, float, float>;
constexpr float kSurf = -9.99e33f;

}  // namespace

TEST(StationFiles, WrittenSetOpensWithItsMap) {
  TempDir d;
  for (int version : {1, 2}) {
    stnw::dataset ds = two_times();
    ds.map_version = version;
    stnw::files f = stnw::write(d.path(), "s", ds);
    parsed r = parse_file(f.ctl);
    ASSERT_EQ(r.rc, 0) << r.out;
    // By hand: KDEN is 28 header bytes + (1 + 2 * 3) words = 56 bytes; the
    // second report 28 + 3 words = 40; the group end 28: time 2 at 124.
    // The largest data size is KDEN's 7 words.
    EXPECT_EQ(r.pfi->station_offsets[0], 0);
    EXPECT_EQ(r.pfi->station_offsets[1], 124);
    EXPECT_EQ(r.pfi->station_counts[0], 2);
    EXPECT_EQ(r.pfi->station_counts[1], 1);
    EXPECT_EQ(r.pfi->station_max_words, 7);
    EXPECT_EQ(r.pfi->surface_variable_count, 1);
    EXPECT_EQ(r.pfi->level_variable_count, 2);
    EXPECT_EQ(vemra_test::read_file(f.dat).size(), 124u + 28 + 4 + 28);
  }
}

TEST(StationRead, SurfaceAndLevelVariables) {
  TempDir d;
  opened o(stnw::write(d.path(), "s", two_times()).ctl);
  ASSERT_EQ(o.p.rc, 0) << o.p.out;
  // Surface: only reports that carry a surface record; level -9.99e33.
  got ps = read(o, "ps", {});
  ASSERT_EQ(ps.rc, 0) << ps.out;
  EXPECT_EQ(ps.reports, (std::vector<row>{{"KDEN    ", -104.875f, 39.75f, kSurf, 1, 830}}));
  // A level range runs downwards: 1000 to 500 takes 850, 700 and 500.
  request q;
  q.lev_min = 1000;
  got u = read(o, "u", q);
  ASSERT_EQ(u.rc, 0) << u.out;
  EXPECT_EQ(u.reports, (std::vector<row>{{"KDEN    ", -104.875f, 39.75f, 850, 1, 2},
                                         {"KDEN    ", -104.875f, 39.75f, 500, 1, 8},
                                         {"72469   ", -105, 40, 700, 1.5f, 3}}));
  // Both times: the second report's time is its index plus its offset.
  q.t_max = 5;  // beyond the last time: the walk stops at it
  q.t_min = -3;
  got ps2 = read(o, "ps", q);
  ASSERT_EQ(ps2.rc, 0);
  ASSERT_EQ(ps2.reports.size(), 2u);
  EXPECT_EQ(std::get<4>(ps2.reports[1]), 2);
  EXPECT_EQ(std::get<5>(ps2.reports[1]), 829);
}

TEST(StationRead, SelectionByBoxRadiusAndId) {
  TempDir d;
  stnw::dataset ds;
  ds.surface_vars = {"v"};
  // id, lon, lat: the value is a number per station.
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
    got g = read(o, "v", q);
    EXPECT_EQ(g.rc, 0) << g.out;
    for (auto& r : g.reports) v.push_back(std::get<0>(r));
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
  id.stid = "d12";
  EXPECT_EQ(ids(id), (std::vector<std::string>{"d12     "}));
  id.stid = "d1234567";
  EXPECT_EQ(ids(id), (std::vector<std::string>{"D1234567"}));
  id.stid = "d1";
  EXPECT_TRUE(ids(id).empty());
}

TEST(StationRead, LevelMatchAndToleranceBand) {
  TempDir d;
  stnw::dataset ds;
  ds.level_vars = {"t"};
  ds.undef = -999;
  // 500.005 is within 0.01 of 500; -999.005 lies inside the undefined band.
  ds.times = {{{"S", 10, 20, 0, {}, {{500.005f, {-999.005f}}, {400, {7}}}},
               {"T", 11, 21, 0, {}, {{499.98f, {1}}}}}};
  opened o(stnw::write(d.path(), "s", ds).ctl);
  ASSERT_EQ(o.p.rc, 0) << o.p.out;
  got g = read(o, "t", {});
  ASSERT_EQ(g.rc, 0) << g.out;
  EXPECT_EQ(g.reports, (std::vector<row>{{"S       ", 20, 10, 500.005f, 1, -999}}));
}

TEST(StationRead, ByteOrdersSequentialAndVersionOneMaps) {
  TempDir d;
  request q;
  q.lev_min = 1000;
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
  for (variant v : {variant{stnw::order::big, false, false, 2, false},
                    variant{stnw::order::little, true, false, 2, false},
                    variant{stnw::order::swapped, true, true, 1, true},
                    variant{stnw::order::host, true, true, 1, false}}) {
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
    got one = read(o, "t", far);
    ASSERT_EQ(one.rc, 0) << one.out;
    EXPECT_EQ(one.reports.size(), 2u) << k;
  }
}
