// Map outlines: outline files built here byte by byte are drawn and the
// moves, draws and attributes that reach the display list are checked; the
// generated "lowres" file is checked for its structure and its geography.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gx/gx.h"
#include "gx/map.h"
#include "gx/test_drawing_util.h"
#include "support/vemra_run.h"
#include "support/stdout_capture.h"

namespace {

using vemra_test::TempDir;
using lonlat = std::pair<double, double>;

// Builds a map outline file.
struct map_file {
  std::vector<unsigned char> b;
  void put(uint32_t v, int n) {
    for (int i = n - 1; i >= 0; i--) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
  }
  void point(double lon, double lat) {
    put(static_cast<uint32_t>(std::lround(lon * 1e4)), 3);
    put(static_cast<uint32_t>(std::lround((lat + 90) * 1e4)), 3);
  }
  size_t block(int lo, int hi, double lon1, double lon2, double lat1, double lat2) {
    size_t at = b.size();
    b.insert(b.end(), {2, static_cast<unsigned char>(lo), static_cast<unsigned char>(hi)});
    put(0, 4);
    put(static_cast<uint32_t>(std::lround(lon1 * 1e4)), 3);
    put(static_cast<uint32_t>(std::lround(lon2 * 1e4)), 3);
    put(static_cast<uint32_t>(std::lround((lat1 + 90) * 1e4)), 3);
    put(static_cast<uint32_t>(std::lround((lat2 + 90) * 1e4)), 3);
    return at;
  }
  void next(size_t block_at, size_t to) {
    for (int i = 0; i < 4; i++)
      b[block_at + 3 + i] = static_cast<unsigned char>(to >> (8 * (3 - i)));
  }
  void line(int type, const std::vector<lonlat>& pts) {
    b.insert(b.end(),
             {1, static_cast<unsigned char>(type), static_cast<unsigned char>(pts.size())});
    for (auto [lon, lat] : pts) point(lon, lat);
  }
  std::string save(const TempDir& d, const std::string& name = "map") const {
    vemra_test::write_file(d.file(name), std::string(b.begin(), b.end()));
    return d.file(name);
  }
};

using gxtest::rec;

// Records of the frame, only the kinds asked for.
std::vector<rec> frame(const std::string& kinds = "cwmd") { return gxtest::records(kinds); }

// Line-type tables: every type off unless set.
struct tables {
  int colours[256], styles[256], thick[256];
  tables() {
    for (int i = 0; i < 256; i++) colours[i] = -9, styles[i] = 1, thick[i] = 1;
  }
};

// Sets up a fresh frame with the box on x 1..9, y 0.5..8.5 inches (no
// projection), draws the file and returns what was printed.
struct page {
  double lon1, lon2, lat1, lat2;
  double x(double lon) const { return 1 + (lon - lon1) * 8 / (lon2 - lon1); }
  double y(double lat) const { return 0.5 + (lat - lat1) * 8 / (lat2 - lat1); }
  std::string draw(const tables& t, const std::string& file) const {
    gxstrt(11, 8.5, true);
    gxfrme(frame_action::clear);
    gxrset(coord_level::grid);
    gxscal(1, 9, 0.5f, 8.5f, float(lon1), float(lon2), float(lat1), float(lat2));
    map_options o{3,           1,           5,           t.colours,   t.styles,    t.thick,
                  float(lon1), float(lon2), float(lat1), float(lat2), file.c_str()};
    StdoutCapture cap;
    gxdmap(&o);
    return cap.text();
  }
};

const double tol = 0.0011;  // the display list keeps thousandths of an inch

}  // namespace

TEST(MapDraw, SegmentsAreDensifiedAndEachLineTypeGetsItsAttributes) {
  TempDir d;
  map_file m;
  m.block(0, 2, 0, 30, 0, 30);
  m.line(0, {{5, 5}, {6, 5}});
  m.line(1, {{5, 10}, {5, 11}, {6, 11}});
  m.line(2, {});  // no points: attributes only
  tables t;
  t.colours[0] = -1;  // the defaults: colour 3, style 1, thickness 5
  t.colours[1] = 4, t.thick[1] = 2;
  t.colours[2] = 7, t.styles[2] = 4, t.thick[2] = 9;
  page pg{0, 20, 0, 20};
  EXPECT_EQ(pg.draw(t, m.save(d)), "");
  EXPECT_EQ(gxqstl(), 4);

  // Step hypot(20, 20) / 200: a 1-degree segment gets the points at j * step
  // for j = 1..6 (the 7th would pass 1 - step / 4), then its end point.
  double s = std::hypot(20.0, 20.0) / 200;
  std::vector<rec> want = {
      {'c', 0, 0, 3, 0}, {'w', 0, 0, 5, 5}, {'m', float(pg.x(5)), float(pg.y(5)), 0, 0}};
  auto walk = [&](double x1, double y1, double x2, double y2) {
    for (int j = 1; j <= 6; j++)
      want.push_back(
          {'d', float(pg.x(x1 + (x2 - x1) * j * s)), float(pg.y(y1 + (y2 - y1) * j * s)), 0, 0});
    want.push_back({'d', float(pg.x(x2)), float(pg.y(y2)), 0, 0});
  };
  walk(5, 5, 6, 5);
  want.insert(want.end(),
              {{'c', 0, 0, 4, 0}, {'w', 0, 0, 2, 2}, {'m', float(pg.x(5)), float(pg.y(10)), 0, 0}});
  walk(5, 10, 5, 11);
  walk(5, 11, 6, 11);
  want.insert(want.end(), {{'c', 0, 0, 7, 0}, {'w', 0, 0, 9, 9}});
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

TEST(MapDraw, BlocksOfUnwantedTypesOrOutsideTheBoxAreSkippedBySeeking) {
  // Each skipped block holds a record of type 9, a format error if read.
  TempDir d;
  map_file m;
  const double boxes[][4] = {{0, 30, 0, 30}, {100, 110, 0, 10}, {0, 10, 20, 30}};
  const int types[] = {3, 0, 0};  // type 3 off; east of the box; on its north edge
  for (int k = 0; k < 3; k++) {
    size_t at = m.block(types[k], types[k], boxes[k][0], boxes[k][1], boxes[k][2], boxes[k][3]);
    m.b.insert(m.b.end(), {9, 0, 0});
    m.next(at, m.b.size());
  }
  size_t at = m.block(0, 0, 365, 366, 5, 6);  // lon min above 360: always read
  m.line(0, {{365, 5}, {366, 5}});
  m.next(at, m.b.size());
  m.block(0, 0, 200, 210, 0, 10);
  m.line(0, {{200, 5}, {201, 5}});
  std::string path = m.save(d);
  tables t;
  t.colours[0] = -1;
  page pg{0, 20, 0, 20};
  EXPECT_EQ(pg.draw(t, path), "");
  std::vector<rec> moves = frame("m");
  ASSERT_EQ(moves.size(), 1u);  // the line at 365 is drawn at 5
  EXPECT_NEAR(moves[0].x, pg.x(5), tol);

  tables off;  // all off: only the block records are read
  EXPECT_EQ(pg.draw(off, path), "");
  EXPECT_TRUE(frame().empty());

  t.colours[3] = 2;  // type 3 wanted: its block is read
  EXPECT_EQ(pg.draw(t, path), "Map file format error: Invalid rec type 9 rec num 2\n");
}

TEST(MapDraw, ALineLeavingTheBoxIsDrawnOnePointPastTheEdgeAndReentersWithAMove) {
  TempDir d;
  map_file m;
  m.block(0, 0, 0, 30, 0, 30);
  m.line(0, {{10, 10}, {30, 10}, {30, 12}, {10, 12}});
  tables t;
  t.colours[0] = -1;
  page pg{0, 20, 0, 20};
  EXPECT_EQ(pg.draw(t, m.save(d)), "");
  std::vector<rec> pen = frame("md");
  double s = std::hypot(20.0, 20.0) / 200;
  int out = static_cast<int>(std::floor(10 / s)) + 1;  // first point past 20
  int steps = 0;                                       // points inside a 20-degree segment
  while ((steps + 1) * s < 20 - s / 4) steps++;
  // Move, draws up to the first point outside; a move to the last point
  // outside on the way back, draws down to lon 10.
  ASSERT_EQ(pen.size(), static_cast<size_t>(1 + out + 1 + (steps - out + 1) + 1));
  EXPECT_NEAR(pen[out].x, pg.x(10 + out * s), tol);
  EXPECT_GT(10 + out * s, 20);
  EXPECT_EQ(pen[out + 1].kind, 'm');
  EXPECT_NEAR(pen[out + 1].x, pg.x(30 - (out - 1) * s), tol);
  EXPECT_NEAR(pen[out + 1].y, pg.y(12), tol);
  EXPECT_NEAR(pen[out + 2].x, pg.x(30 - out * s), tol);
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
  page pg{-180, 180, -90, 90};
  EXPECT_EQ(pg.draw(t, path), "");
  std::vector<rec> pen = frame("md");
  // Step hypot(360, 180) / 200: four points inside the 10-degree segment.
  ASSERT_EQ(pen.size(), 6u + 2);
  EXPECT_NEAR(pen[0].x, pg.x(-170), tol);
  EXPECT_NEAR(pen[5].x, pg.x(-160), tol);

  page wide{0, 720, -90, 90};
  EXPECT_EQ(wide.draw(t, path), "");
  std::vector<rec> moves = frame("m");
  ASSERT_EQ(moves.size(), 4u);
  const double at[] = {190, 550, 10, 370};
  for (int i = 0; i < 4; i++) EXPECT_NEAR(moves[i].x, wide.x(at[i]), tol);
}

TEST(MapDraw, FormatAndOpenErrorsEndTheDrawingAndKeepWhatWasDrawn) {
  tables t;
  t.colours[0] = -1;
  page pg{0, 20, 0, 20};
  TempDir d;
  map_file m;
  m.block(0, 0, 0, 30, 0, 30);
  m.line(0, {{1, 1}, {2, 1}});
  map_file bad_type = m, short_points = m, backwards = m;
  bad_type.b.insert(bad_type.b.end(), {4, 0, 0});
  bad_type.line(0, {{3, 3}, {4, 3}});
  EXPECT_EQ(pg.draw(t, bad_type.save(d)), "Map file format error: Invalid rec type 4 rec num 3\n");
  EXPECT_NEAR(frame("md").back().x, pg.x(2), tol);

  short_points.b[19 + 2] = 10;  // promises 10 points, holds 2
  EXPECT_EQ(pg.draw(t, short_points.save(d)),
            "Map file format error: Short point read (10 points) rec num 2\n");
  EXPECT_TRUE(frame("md").empty());

  // A skipped block whose next offset points back at itself.
  size_t at = backwards.block(5, 5, 0, 30, 0, 30);
  backwards.next(0, at);
  backwards.next(at, at);
  EXPECT_EQ(pg.draw(t, backwards.save(d)),
            "Map file format error: Invalid block offset " + std::to_string(at) + " rec num 3\n");

  // Relative names are looked for in the data directory first.
  m.save(d, "mymap");
  std::string saved = std::getenv("KADDIR") ? std::getenv("KADDIR") : "";
  setenv("KADDIR", d.path().c_str(), 1);
  EXPECT_EQ(pg.draw(t, "mymap"), "");
  EXPECT_EQ(pg.draw(t, "nosuch"), "Open Error on Map Data Set: " + d.path() + "/nosuch\n");
  setenv("KADDIR", saved.c_str(), 1);
}

TEST(MapPoly, PolygonEdgesAreDividedAndConvertedToPageInches) {
  page pg{0, 20, 0, 20};
  pg.draw(tables(), "/nonexistent/map");  // sets the page up
  const float sq[] = {0, 0, 10, 0, 10, 10, 0, 10, 0, 0};
  std::optional<std::vector<float>> out = gxmpoly(sq, 5, 1.0f);
  ASSERT_TRUE(out);
  // Each edge: points 1..9 along it, then its end; the first vertex is not stored.
  ASSERT_EQ(out->size(), 2u * 40);
  EXPECT_NEAR((*out)[0], pg.x(1), 1e-4);
  EXPECT_NEAR((*out)[2 * 9], pg.x(10), 1e-4);
  EXPECT_NEAR((*out)[2 * 10 + 1], pg.y(1), 1e-4);
  EXPECT_NEAR((*out)[2 * 39 + 1], pg.y(0), 1e-4);
  EXPECT_FALSE(gxmpoly(sq, 5, 0.0f));
}

TEST(LowresMap, BlockChainLineTypesAndGeography) {
  std::string bytes = vemra_test::read_file(VEMRA_DATA_DIR "/lowres");
  auto u = [&](size_t at, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; i++) v = (v << 8) | static_cast<unsigned char>(bytes[at + i]);
    return v;
  };
  std::vector<std::pair<int, lonlat>> pts;  // line type, point
  int blocks = 0, lines = 0;
  bool types[256] = {};
  for (size_t at = 0; at < bytes.size();) {
    ASSERT_EQ(bytes[at], 2) << at;
    blocks++;
    uint32_t next = u(at + 3, 4);
    double bx1 = u(at + 7, 3) / 1e4, bx2 = u(at + 10, 3) / 1e4;
    double by1 = u(at + 13, 3) / 1e4 - 90, by2 = u(at + 16, 3) / 1e4 - 90;
    size_t p = at + 19;
    for (; p < bytes.size() && bytes[p] == 1; lines++) {
      int type = static_cast<unsigned char>(bytes[p + 1]),
          n = static_cast<unsigned char>(bytes[p + 2]);
      ASSERT_GE(n, 2);
      ASSERT_TRUE(type >= static_cast<unsigned char>(bytes[at + 1]) &&
                  type <= static_cast<unsigned char>(bytes[at + 2]));
      types[type] = true;
      for (int i = 0; i < n; i++) {
        double lon = u(p + 3 + 6 * i, 3) / 1e4, lat = u(p + 6 + 6 * i, 3) / 1e4 - 90;
        ASSERT_TRUE(lon >= bx1 && lon <= bx2 && lat >= by1 && lat <= by2);
        pts.push_back({type, {lon, lat}});
      }
      p += 3 + 6 * n;
    }
    ASSERT_EQ(next,
              p < bytes.size() ? p : 0);  // blocks follow one another, the last ends the chain
    at = p;
  }
  EXPECT_GT(blocks, 300);
  EXPECT_GT(lines, 10000);
  for (int t = 0; t <= 5; t++) EXPECT_TRUE(types[t]) << "line type " << t;
  auto any = [&](int type, double lon1, double lon2, double lat1, double lat2) {
    for (auto& [t, ll] : pts)
      if (t == type && ll.first >= lon1 && ll.first <= lon2 && ll.second >= lat1 &&
          ll.second <= lat2)
        return true;
    return false;
  };
  EXPECT_TRUE(any(0, 47, 53, 38, 46));         // Caspian Sea: no ocean coast there
  EXPECT_FALSE(any(0, 0, 20, 20, 28));         // the Sahara
  EXPECT_TRUE(any(0, 170, 200, -79, -77));     // Ross Ice Shelf front...
  EXPECT_FALSE(any(0, 175, 195, -86, -79.5));  // ...not its grounding line
  EXPECT_TRUE(any(1, 5, 15, 45, 55));          // borders in Europe
}
