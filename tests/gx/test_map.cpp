// Map outlines: outline files built here byte by byte are drawn, and the
// moves, draws and attributes that reach the display list are checked; the
// generated "lowres" file is checked for its structure and its geography.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "gx/gx.h"
#include "gx/map.h"
#include "gx/metafile.h"
#include "gx/proj.h"
#include "support/vemra_run.h"

namespace {

using vemra_test::TempDir;
using lonlat = std::pair<double, double>;

// Builds a map outline file.
struct map_file {
  std::vector<unsigned char> b;
  void put(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; i--) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  }
  static uint32_t lon10k(double lon) { return static_cast<uint32_t>(std::lround(lon * 10000)); }
  static uint32_t lat10k(double lat) {
    return static_cast<uint32_t>(std::lround((lat + 90) * 10000));
  }
  // Block index record; returns its offset.
  size_t block(int lo, int hi, double lon1, double lon2, double lat1, double lat2,
               uint32_t next = 0) {
    size_t at = b.size();
    b.push_back(2);
    b.push_back(static_cast<unsigned char>(lo));
    b.push_back(static_cast<unsigned char>(hi));
    put(next, 4);
    put(lon10k(lon1), 3);
    put(lon10k(lon2), 3);
    put(lat10k(lat1), 3);
    put(lat10k(lat2), 3);
    return at;
  }
  void set_next(size_t block_at, uint32_t next) {
    for (int i = 0; i < 4; i++) b[block_at + 3 + i] = static_cast<unsigned char>(next >> (8 * (3 - i)));
  }
  void line(int type, const std::vector<lonlat>& pts, int rtype = 1) {
    b.push_back(static_cast<unsigned char>(rtype));
    b.push_back(static_cast<unsigned char>(type));
    b.push_back(static_cast<unsigned char>(pts.size()));
    for (auto [lon, lat] : pts) {
      put(lon10k(lon), 3);
      put(lat10k(lat), 3);
    }
  }
  std::string save(const TempDir& d, const std::string& name = "map") const {
    std::string path = d.file(name);
    vemra_test::write_file(path, std::string(b.begin(), b.end()));
    return path;
  }
};

struct rec {
  char kind;  // c colour, w width, m move, d draw
  float x, y;
  int i, j;
};

struct collect : metafile_sink {
  std::vector<rec> r;
  void colour(int c) override { r.push_back({'c', 0, 0, c, 0}); }
  void width(int h, int d) override { r.push_back({'w', 0, 0, h, d}); }
  void move(float x, float y) override { r.push_back({'m', x, y, 0, 0}); }
  void draw(float x, float y) override { r.push_back({'d', x, y, 0, 0}); }
};

std::vector<rec> frame() {
  collect c;
  EXPECT_EQ(gxhwalk(0, c), 0);
  return c.r;
}

std::vector<rec> only(const std::vector<rec>& all, const std::string& kinds) {
  std::vector<rec> out;
  for (const rec& r : all)
    if (kinds.find(r.kind) != std::string::npos) out.push_back(r);
  return out;
}

// Line-type tables: every type off unless set.
struct tables {
  int colours[256], styles[256], thick[256];
  tables() {
    for (int i = 0; i < 256; i++) colours[i] = -9, styles[i] = 1, thick[i] = 1;
  }
};

map_options options(const tables& t, const std::string& file, double lon1, double lon2,
                    double lat1, double lat2) {
  map_options o{};
  o.colour = 3;
  o.style = 1;
  o.thickness = 5;
  o.colours = t.colours;
  o.styles = t.styles;
  o.thicknesses = t.thick;
  o.lon_min = static_cast<float>(lon1);
  o.lon_max = static_cast<float>(lon2);
  o.lat_min = static_cast<float>(lat1);
  o.lat_max = static_cast<float>(lat2);
  o.file_name = file.c_str();
  return o;
}

// The page: lon/lat box onto x 1..9, y 0.5..8.5 inches, no projection.
struct page {
  double lon1, lon2, lat1, lat2;
  page(double a, double b, double c, double d) : lon1(a), lon2(b), lat1(c), lat2(d) {
    gxstrt(11, 8.5, 1);
    gxfrme(1);
    gxrset(3);
    gxscal(1, 9, 0.5f, 8.5f, static_cast<float>(a), static_cast<float>(b), static_cast<float>(c),
           static_cast<float>(d));
  }
  double x(double lon) const { return 1 + (lon - lon1) * 8 / (lon2 - lon1); }
  double y(double lat) const { return 0.5 + (lat - lat1) * 8 / (lat2 - lat1); }
};

std::string draw_capture(const map_options& o) {
  testing::internal::CaptureStdout();
  gxdmap(&o);
  return testing::internal::GetCapturedStdout();
}

const double tol = 0.0011;  // display list keeps thousandths of an inch

}  // namespace

TEST(MapDraw, SegmentsAreDensifiedAndEachLineTypeGetsItsAttributes) {
  TempDir d;
  map_file m;
  m.block(0, 1, 0, 30, 0, 30);
  m.line(0, {{5, 5}, {6, 5}});
  m.line(1, {{5, 10}, {5, 11}, {6, 11}});
  std::string path = m.save(d);
  tables t;
  t.colours[0] = -1;  // the defaults: colour 3, style 1, thickness 5
  t.colours[1] = 4;
  t.thick[1] = 2;
  page pg(0, 20, 0, 20);
  EXPECT_EQ(draw_capture(options(t, path, 0, 20, 0, 20)), "");

  // Step: hypot(20, 20) / 200. A 1-degree segment gets the points at
  // j * step for j = 1..6 (7 steps would pass 1 - step / 4), then its end.
  double s = std::hypot(20.0, 20.0) / 200;
  std::vector<rec> want;
  want.push_back({'c', 0, 0, 3, 0});
  want.push_back({'w', 0, 0, 5, 5});
  want.push_back({'m', float(pg.x(5)), float(pg.y(5)), 0, 0});
  for (int j = 1; j <= 6; j++) want.push_back({'d', float(pg.x(5 + j * s)), float(pg.y(5)), 0, 0});
  want.push_back({'d', float(pg.x(6)), float(pg.y(5)), 0, 0});
  want.push_back({'c', 0, 0, 4, 0});
  want.push_back({'w', 0, 0, 2, 2});
  want.push_back({'m', float(pg.x(5)), float(pg.y(10)), 0, 0});
  for (int j = 1; j <= 6; j++) want.push_back({'d', float(pg.x(5)), float(pg.y(10 + j * s)), 0, 0});
  want.push_back({'d', float(pg.x(5)), float(pg.y(11)), 0, 0});
  for (int j = 1; j <= 6; j++) want.push_back({'d', float(pg.x(5 + j * s)), float(pg.y(11)), 0, 0});
  want.push_back({'d', float(pg.x(6)), float(pg.y(11)), 0, 0});

  std::vector<rec> got = frame();
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); i++) {
    EXPECT_EQ(got[i].kind, want[i].kind) << i;
    EXPECT_EQ(got[i].i, want[i].i) << i;
    EXPECT_EQ(got[i].j, want[i].j) << i;
    EXPECT_NEAR(got[i].x, want[i].x, tol) << i;
    EXPECT_NEAR(got[i].y, want[i].y, tol) << i;
  }
}

TEST(MapDraw, StyleOfTheLineTypeIsUsedAndZeroPointLinesDrawNothing) {
  TempDir d;
  map_file m;
  m.block(2, 2, 0, 30, 0, 30);
  m.line(2, {});
  m.line(2, {{2, 2}, {12, 2}});
  tables t;
  t.colours[2] = 6;
  t.styles[2] = 2;  // long dashes: 0.25 on, 0.1 off
  t.thick[2] = 3;
  page pg(0, 20, 0, 20);
  EXPECT_EQ(draw_capture(options(t, m.save(d), 0, 20, 0, 20)), "");
  EXPECT_EQ(gxqstl(), 2);
  std::vector<rec> got = frame();
  // Attributes twice (also for the empty line), then the dashed line: 4
  // inches long, so 4 / 0.35 patterns and more than ten pen lifts.
  ASSERT_GE(got.size(), 4u);
  EXPECT_EQ(got[0].kind, 'c');
  EXPECT_EQ(got[0].i, 6);
  EXPECT_EQ(got[1].kind, 'w');
  EXPECT_EQ(got[1].i, 3);
  EXPECT_EQ(got[2].kind, 'c');
  EXPECT_EQ(got[3].kind, 'w');
  EXPECT_GT(only(got, "m").size(), 10u);
  std::vector<rec> pen = only(got, "md");
  EXPECT_NEAR(pen.front().x, pg.x(2), tol);
  EXPECT_NEAR(pen.back().x, pg.x(12), tol);
}

TEST(MapDraw, UnwantedBlocksAreSkippedBySeekingToTheNextBlock) {
  TempDir d;
  map_file m;
  size_t a = m.block(3, 3, 0, 30, 0, 30);
  m.b.insert(m.b.end(), {9, 9, 9, 9, 9, 9});  // would be a format error if read
  m.set_next(a, static_cast<uint32_t>(m.b.size()));
  m.block(0, 0, 0, 30, 0, 30);
  m.line(0, {{1, 1}, {2, 1}});
  std::string path = m.save(d);
  tables t;
  t.colours[0] = 1;
  {
    page pg(0, 20, 0, 20);
    EXPECT_EQ(draw_capture(options(t, path, 0, 20, 0, 20)), "");
    std::vector<rec> pen = only(frame(), "md");
    ASSERT_FALSE(pen.empty());
    EXPECT_NEAR(pen.back().x, pg.x(2), tol);
  }
  {
    // All line types off: only the block records are read.
    tables off;
    page pg(0, 20, 0, 20);
    EXPECT_EQ(draw_capture(options(off, path, 0, 20, 0, 20)), "");
    EXPECT_TRUE(frame().empty());
  }
  {
    // Type 3 wanted: the block is read and its bad record stops the drawing.
    t.colours[3] = 2;
    page pg(0, 20, 0, 20);
    EXPECT_EQ(draw_capture(options(t, path, 0, 20, 0, 20)),
              "Map file format error: Invalid rec type 9 rec num 2\n");
    EXPECT_TRUE(only(frame(), "md").empty());
  }
}

TEST(MapDraw, BlocksOutsideTheBoxAreSkipped) {
  TempDir d;
  map_file m;
  size_t a = m.block(0, 0, 100, 110, 0, 10);  // east of the box
  m.b.insert(m.b.end(), {7, 0, 0});
  m.set_next(a, static_cast<uint32_t>(m.b.size()));
  a = m.block(0, 0, 0, 10, 20, 30);  // touches the north edge only
  m.b.insert(m.b.end(), {7, 0, 0});
  m.set_next(a, static_cast<uint32_t>(m.b.size()));
  a = m.block(0, 0, 365, 366, 5, 6);  // lon min above 360: always read
  m.line(0, {{365, 5}, {366, 5}});
  m.set_next(a, static_cast<uint32_t>(m.b.size()));
  m.block(0, 0, 200, 210, 0, 10);
  m.line(0, {{200, 5}, {201, 5}});
  std::string path = m.save(d);
  tables t;
  t.colours[0] = -1;
  page pg(0, 20, 0, 20);
  EXPECT_EQ(draw_capture(options(t, path, 0, 20, 0, 20)), "");
  std::vector<rec> moves = only(frame(), "m");
  ASSERT_EQ(moves.size(), 1u);  // the line at 365 is drawn at 5
  EXPECT_NEAR(moves[0].x, pg.x(5), tol);

  // East of 180 inside a box from -180: the block is shifted by -360.
  map_file east;
  east.block(0, 0, 200, 210, 0, 10);
  east.line(0, {{200, 5}, {201, 5}});
  page pg2(-180, 180, -90, 90);
  EXPECT_EQ(draw_capture(options(t, east.save(d, "east"), -180, 180, -90, 90)), "");
  moves = only(frame(), "m");
  ASSERT_EQ(moves.size(), 1u);
  EXPECT_NEAR(moves[0].x, pg2.x(-160), tol);
}

TEST(MapDraw, ALineLeavingTheBoxIsDrawnOnePointPastTheEdgeAndReentersWithAMove) {
  TempDir d;
  map_file m;
  m.block(0, 0, 0, 30, 0, 30);
  m.line(0, {{10, 10}, {30, 10}, {30, 12}, {10, 12}});
  tables t;
  t.colours[0] = -1;
  page pg(0, 20, 0, 20);
  EXPECT_EQ(draw_capture(options(t, m.save(d), 0, 20, 0, 20)), "");
  std::vector<rec> pen = only(frame(), "md");
  double s = std::hypot(20.0, 20.0) / 200;
  int out1 = static_cast<int>(std::floor(10 / s)) + 1;  // first point past 20
  int steps = 0;  // points strictly inside a 20-degree segment
  while ((steps + 1) * s < 20 - s / 4) steps++;
  // move, draws up to and including the first point outside, then a move to
  // the last point outside on the way back and draws down to lon 10.
  ASSERT_EQ(pen.size(), static_cast<size_t>(1 + out1 + 1 + (steps - out1 + 1) + 1));
  EXPECT_EQ(pen[0].kind, 'm');
  EXPECT_NEAR(pen[out1].x, pg.x(10 + out1 * s), tol);
  EXPECT_GT(10 + out1 * s, 20);
  rec back = pen[out1 + 1];
  EXPECT_EQ(back.kind, 'm');
  EXPECT_NEAR(back.x, pg.x(30 - (out1 - 1) * s), tol);
  EXPECT_NEAR(back.y, pg.y(12), tol);
  EXPECT_GT(30 - (out1 - 1) * s, 20);
  EXPECT_NEAR(pen[out1 + 2].x, pg.x(30 - out1 * s), tol);
  EXPECT_NEAR(pen.back().x, pg.x(10), tol);
}

TEST(MapDraw, LinesAreDrawnOncePerTurnOfTheGlobeThatMeetsTheBox) {
  TempDir d;
  map_file m;
  m.block(0, 0, 0, 360, -90, 90);
  m.line(0, {{190, 0}, {200, 0}});
  m.line(0, {{10, 40}, {11, 40}});
  std::string path = m.save(d);
  tables t;
  t.colours[0] = -1;
  {
    page pg(-180, 180, -90, 90);
    EXPECT_EQ(draw_capture(options(t, path, -180, 180, -90, 90)), "");
    std::vector<rec> pen = only(frame(), "md");
    // Step hypot(360, 180) / 200 = 2.0125: four points inside the
    // 10-degree segment, then its end.
    ASSERT_EQ(pen.size(), 6u + 1 + 1);
    EXPECT_EQ(pen[0].kind, 'm');
    EXPECT_NEAR(pen[0].x, pg.x(-170), tol);
    EXPECT_NEAR(pen[1].x, pg.x(-170 + std::hypot(360.0, 180.0) / 200), tol);
    EXPECT_NEAR(pen[5].x, pg.x(-160), tol);
  }
  {
    page pg(0, 720, -90, 90);
    EXPECT_EQ(draw_capture(options(t, path, 0, 720, -90, 90)), "");
    std::vector<rec> moves = only(frame(), "m");
    ASSERT_EQ(moves.size(), 4u);
    EXPECT_NEAR(moves[0].x, pg.x(190), tol);
    EXPECT_NEAR(moves[1].x, pg.x(550), tol);
    EXPECT_NEAR(moves[2].x, pg.x(10), tol);
    EXPECT_NEAR(moves[3].x, pg.x(370), tol);
  }
}

TEST(MapDraw, FormatErrorsEndTheDrawingAndKeepWhatWasDrawn) {
  tables t;
  t.colours[0] = -1;
  {
    TempDir d;
    map_file m;
    m.block(0, 0, 0, 30, 0, 30);
    m.line(0, {{1, 1}, {2, 1}});
    m.b.insert(m.b.end(), {4, 0, 0});
    m.line(0, {{3, 3}, {4, 3}});
    page pg(0, 20, 0, 20);
    EXPECT_EQ(draw_capture(options(t, m.save(d), 0, 20, 0, 20)),
              "Map file format error: Invalid rec type 4 rec num 3\n");
    std::vector<rec> pen = only(frame(), "md");
    ASSERT_FALSE(pen.empty());
    EXPECT_NEAR(pen.back().x, pg.x(2), tol);
    EXPECT_NEAR(pen.back().y, pg.y(1), tol);
  }
  {
    // A line record that promises more points than the file holds.
    TempDir d;
    map_file m;
    m.block(0, 0, 0, 30, 0, 30);
    m.line(0, {{1, 1}, {2, 1}, {3, 1}});
    m.b[19 + 2] = 10;
    page pg(0, 20, 0, 20);
    EXPECT_EQ(draw_capture(options(t, m.save(d), 0, 20, 0, 20)),
              "Map file format error: Short point read (10 points) rec num 2\n");
    EXPECT_TRUE(only(frame(), "md").empty());
  }
  {
    // A skipped block whose next offset points back at itself.
    TempDir d;
    map_file m;
    size_t a = m.block(5, 5, 0, 30, 0, 30);
    m.set_next(a, 19);
    size_t b = m.block(5, 5, 0, 30, 0, 30);
    m.set_next(b, 19);
    page pg(0, 20, 0, 20);
    EXPECT_EQ(draw_capture(options(t, m.save(d), 0, 20, 0, 20)),
              "Map file format error: Invalid block offset 19 rec num 2\n");
  }
  {
    // A block index record cut short.
    TempDir d;
    map_file m;
    m.block(0, 0, 0, 30, 0, 30);
    m.b.resize(10);
    page pg(0, 20, 0, 20);
    EXPECT_EQ(draw_capture(options(t, m.save(d), 0, 20, 0, 20)),
              "Map file format error: Short block record rec num 1\n");
  }
}

TEST(MapDraw, FilesAreLookedUpInTheDataDirectoryFirst) {
  TempDir d;
  map_file m;
  m.block(0, 0, 0, 30, 0, 30);
  m.line(0, {{1, 1}, {2, 1}});
  m.save(d, "mymap");
  tables t;
  t.colours[0] = -1;
  const char* old = std::getenv("KADDIR");
  std::string saved = old ? old : "";
  setenv("KADDIR", d.path().c_str(), 1);
  page pg(0, 20, 0, 20);
  EXPECT_EQ(draw_capture(options(t, "mymap", 0, 20, 0, 20)), "");
  EXPECT_FALSE(only(frame(), "md").empty());
  EXPECT_EQ(draw_capture(options(t, "nosuch", 0, 20, 0, 20)),
            "Open Error on Map Data Set: " + d.path() + "/nosuch\n");
  EXPECT_EQ(draw_capture(options(t, "/nonexistent/dir/map", 0, 20, 0, 20)),
            "Open Error on Map Data Set: /nonexistent/dir/map\n");
  if (old)
    setenv("KADDIR", saved.c_str(), 1);
  else
    unsetenv("KADDIR");
}

TEST(MapPoly, PolygonEdgesAreDividedAndConvertedToPageInches) {
  page pg(0, 20, 0, 20);
  const float sq[] = {0, 0, 10, 0, 10, 10, 0, 10, 0, 0};
  int n = -1;
  float* out = gxmpoly(sq, 5, 1.0f, &n);
  ASSERT_NE(out, nullptr);
  // Each 10-degree edge: points 1..9 along it, then its end; the first
  // vertex itself is not stored.
  ASSERT_EQ(n, 40);
  EXPECT_NEAR(out[0], pg.x(1), 1e-4);
  EXPECT_NEAR(out[1], pg.y(0), 1e-4);
  EXPECT_NEAR(out[2 * 9], pg.x(10), 1e-4);
  EXPECT_NEAR(out[2 * 10 + 1], pg.y(1), 1e-4);
  EXPECT_NEAR(out[2 * 39], pg.x(0), 1e-4);
  EXPECT_NEAR(out[2 * 39 + 1], pg.y(0), 1e-4);
  std::free(out);

  // Steps follow the larger coordinate change, the smaller in proportion.
  const float diag[] = {0, 0, 4, 2};
  out = gxmpoly(diag, 2, 1.0f, &n);
  ASSERT_NE(out, nullptr);
  ASSERT_EQ(n, 4);
  EXPECT_NEAR(out[0], pg.x(1), 1e-4);
  EXPECT_NEAR(out[1], pg.y(0.5), 1e-4);
  std::free(out);

  EXPECT_EQ(gxmpoly(sq, 5, 0.0f, &n), nullptr);
}

// ---- the generated outline file ----

namespace {

struct outline_line {
  int type;
  std::vector<lonlat> pts;
};

// Reads the whole block chain of a map file; fails the test on any fault.
std::vector<outline_line> read_outlines(const std::string& path, int* blocks) {
  std::string bytes = vemra_test::read_file(path);
  auto u = [&](size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; i++) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
  };
  std::vector<outline_line> lines;
  *blocks = 0;
  size_t at = 0;
  while (at < bytes.size()) {
    EXPECT_EQ(bytes[at], 2) << "block record expected at " << at;
    if (bytes[at] != 2) break;
    (*blocks)++;
    int lo = static_cast<unsigned char>(bytes[at + 1]), hi = static_cast<unsigned char>(bytes[at + 2]);
    uint32_t next = u(at + 3, 4);
    double bx1 = u(at + 7, 3) / 1e4, bx2 = u(at + 10, 3) / 1e4;
    double by1 = u(at + 13, 3) / 1e4 - 90, by2 = u(at + 16, 3) / 1e4 - 90;
    size_t p = at + 19;
    while (p < bytes.size() && bytes[p] == 1) {
      outline_line l;
      l.type = static_cast<unsigned char>(bytes[p + 1]);
      int n = static_cast<unsigned char>(bytes[p + 2]);
      EXPECT_GE(n, 2);
      EXPECT_TRUE(l.type >= lo && l.type <= hi);
      for (int i = 0; i < n; i++) {
        double lon = u(p + 3 + 6 * i, 3) / 1e4, lat = u(p + 6 + 6 * i, 3) / 1e4 - 90;
        EXPECT_TRUE(lon >= bx1 && lon <= bx2 && lat >= by1 && lat <= by2);
        l.pts.push_back({lon, lat});
      }
      p += 3 + 6 * n;
      lines.push_back(std::move(l));
    }
    if (next == 0) {
      EXPECT_EQ(p, bytes.size());
      break;
    }
    EXPECT_EQ(next, p);
    at = next;
  }
  return lines;
}

bool any_point(const std::vector<outline_line>& lines, int type, double lon1, double lon2,
               double lat1, double lat2) {
  for (const outline_line& l : lines)
    if (l.type == type)
      for (auto [lon, lat] : l.pts)
        if (lon >= lon1 && lon <= lon2 && lat >= lat1 && lat <= lat2) return true;
  return false;
}

}  // namespace

TEST(LowresMap, BlockChainLineTypesAndGeography) {
  int blocks = 0;
  std::vector<outline_line> lines = read_outlines(VEMRA_DATA_DIR "/lowres", &blocks);
  EXPECT_GT(blocks, 300);
  EXPECT_GT(lines.size(), 10000u);
  bool types[256] = {};
  for (const outline_line& l : lines) types[l.type] = true;
  for (int t = 0; t <= 5; t++) EXPECT_TRUE(types[t]) << "line type " << t;
  // The Caspian Sea is a lake: no ocean coast lies between 47E-53E, 38N-46N.
  EXPECT_TRUE(any_point(lines, 0, 47, 53, 38, 46));
  // Lake Superior (about 92W-85W, 46.5N-49N).
  EXPECT_TRUE(any_point(lines, 0, 268, 275, 46.8, 48.8));
  // The Sahara has neither coasts nor lakes.
  EXPECT_FALSE(any_point(lines, 0, 0, 20, 20, 28));
  // One Antarctic coast only: the front of the Ross Ice Shelf near 78S, not
  // the grounding line far behind it.
  EXPECT_TRUE(any_point(lines, 0, 170, 200, -79, -77));
  EXPECT_FALSE(any_point(lines, 0, 175, 195, -86, -79.5));
  // National borders in Europe.
  EXPECT_TRUE(any_point(lines, 1, 5, 15, 45, 55));
}

TEST(LowresMap, DrawnInEveryProjectionWithinThePlotArea) {
  const char* path = VEMRA_DATA_DIR "/lowres";
  tables t;
  t.colours[0] = -1;
  t.colours[1] = 2;
  t.thick[1] = 4;
  t.colours[2] = 3;
  struct set_up {
    const char* name;
    int (*fn)(projection_box*);
    float lon1, lon2, lat1, lat2;
  };
  const set_up all[] = {{"latlon", gxltln, 0, 360, -90, 90},   {"nps", gxnste, -180, 180, 20, 90},
                        {"sps", gxsste, -180, 180, -90, -20},  {"robinson", gxrobi, -180, 180, -90, 90},
                        {"mollweide", gxmoll, 0, 360, -90, 90}, {"ortho", gxortg, -90, 90, -90, 90},
                        {"lambert", gxlamc, -130, -60, 20, 60}};
  for (const set_up& su : all) {
    gxstrt(11, 8.5, 1);
    gxfrme(1);
    projection_box b{su.lon1, su.lon2, su.lat1, su.lat2, 0.5f, 10.5f, 0.75f, 7.75f, 0, 0, 0, 0};
    ASSERT_EQ(su.fn(&b), 0) << su.name;
    gxclip(b.plot_xlo, b.plot_xhi, b.plot_ylo, b.plot_yhi);
    EXPECT_EQ(draw_capture(options(t, path, su.lon1, su.lon2, su.lat1, su.lat2)), "") << su.name;
    std::vector<rec> got = frame();
    size_t draws = 0;
    bool saw_border_colour = false;
    for (const rec& r : got) {
      if (r.kind == 'c' && r.i == 2) saw_border_colour = true;
      if (r.kind != 'm' && r.kind != 'd') continue;
      draws += r.kind == 'd';
      EXPECT_TRUE(r.x >= b.plot_xlo - tol && r.x <= b.plot_xhi + tol && r.y >= b.plot_ylo - tol &&
                  r.y <= b.plot_yhi + tol)
          << su.name << " " << r.x << " " << r.y;
    }
    EXPECT_GT(draws, 1000u) << su.name;
    EXPECT_TRUE(saw_border_colour) << su.name;
  }
  gxclip(0, 11, 0, 8.5);
}

TEST(MapDraw, CurvedProjectionsBendTheDensifiedLines) {
  // A parallel drawn under polar and conic projections stays on its circle
  // and under the pseudo-cylindrical ones on a straight line.
  TempDir d;
  map_file m;
  m.block(0, 0, 0, 360, -90, 90);
  m.line(0, {{0, 45}, {180, 45}, {359, 45}});
  m.line(0, {{0, -45}, {180, -45}, {359, -45}});
  m.line(0, {{0, 30}, {359, 30}});
  std::string path = m.save(d);
  tables t;
  t.colours[0] = -1;
  auto run = [&](int (*fn)(projection_box*), float lon1, float lon2, float lat1, float lat2) {
    gxstrt(11, 8.5, 1);
    gxfrme(1);
    projection_box b{lon1, lon2, lat1, lat2, 0.5f, 10.5f, 0.75f, 7.75f, 0, 0, 0, 0};
    EXPECT_EQ(fn(&b), 0);
    EXPECT_EQ(draw_capture(options(t, path, lon1, lon2, lat1, lat2)), "");
    return only(frame(), "md");
  };
  auto centre_of = [](float lon, float lat) {
    float x, y, rx, ry;
    gxconv(lon, lat, &x, &y, 2);
    gxvcon(x, y, &rx, &ry);
    return std::pair<double, double>(rx, ry);
  };

  std::vector<rec> pen = run(gxnste, -180, 180, 40, 90);
  auto [px, py] = centre_of(0, 90);
  ASSERT_GT(pen.size(), 100u);
  double r0 = std::hypot(pen[0].x - px, pen[0].y - py);
  for (const rec& r : pen) EXPECT_NEAR(std::hypot(r.x - px, r.y - py), r0, 0.003);

  pen = run(gxsste, -180, 180, -90, -40);
  std::tie(px, py) = centre_of(0, -90);
  ASSERT_GT(pen.size(), 100u);
  r0 = std::hypot(pen[0].x - px, pen[0].y - py);
  for (const rec& r : pen) EXPECT_NEAR(std::hypot(r.x - px, r.y - py), r0, 0.003);

  pen = run(gxlamc, 0, 100, 35, 60);
  std::tie(px, py) = centre_of(50, 90);  // apex of the cone
  ASSERT_GT(pen.size(), 20u);
  r0 = std::hypot(pen[0].x - px, pen[0].y - py);
  for (const rec& r : pen) EXPECT_NEAR(std::hypot(r.x - px, r.y - py), r0, 0.003);

  pen = run(gxrobi, -180, 180, 0, 40);
  ASSERT_GT(pen.size(), 50u);
  // Only the parallel at 30 lies inside; all of it at one height.
  for (const rec& r : pen) EXPECT_NEAR(r.y, pen[0].y, 0.002);
}
