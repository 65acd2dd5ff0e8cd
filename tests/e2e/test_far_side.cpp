// An orthographic map shows one side of the globe: over a global grid
// ("set lon 0 360") whose disc is "set mpvals -120 60 -90 90", centred on
// longitude -30, nothing of the far side may be drawn, and what crosses the
// edge stops there. Every plot is read back from a hardcopy file and checked
// against the disc worked out from the orthographic formulas by hand: a point
// (lon, lat) is on the near side when cos(lat) cos(lon + 30) >= 0 and lands at
// the disc's centre plus its radius times (cos(lat) sin(lon + 30), sin(lat)).
// The far side lands on the disc too, mirrored, so a far point drawn shows as
// a near point that holds the wrong value.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/station_writer.h"
#include "support/vemra_run.h"

using namespace vemra_test;

namespace {

constexpr double kDeg = 3.14159265358979 / 180;
constexpr double kCentre = -30;

struct line {
  int colour;
  double x1, y1, x2, y2;
  double angle() const { return std::atan2(y2 - y1, x2 - x1) / kDeg; }
  double length() const { return std::hypot(x2 - x1, y2 - y1); }
};
struct area {
  int colour;
  std::vector<double> xy;
};
struct frame {
  std::vector<line> lines;
  std::vector<area> areas;
};

// Lines and filled areas of each printed frame, with their colours.
std::vector<frame> frames_of(const std::string& bytes) {
  static const int words[] = {0, 3, 1, 2, 3, 5, 5, 2, 1, 1, 3, 3, 4};  // record size by -code
  std::vector<frame> frames(1);
  int colour = 1;
  double px = 0, py = 0;
  area* fill = nullptr;
  for (size_t i = 0; i + 1 < bytes.size();) {
    const int code = -be16(bytes, i);
    if (code < 1 || code > 12) break;
    if (code == 2) frames.emplace_back();
    if (code == 3) colour = be16(bytes, i + 2);
    if (code == 7) {
      frames.back().areas.push_back({colour, {}});
      fill = &frames.back().areas.back();
    }
    if (code == 8) fill = nullptr;
    if (code == 10 || code == 11) {
      const double x = be16(bytes, i + 2) / 1000.0, y = be16(bytes, i + 4) / 1000.0;
      if (fill) {
        fill->xy.push_back(x);
        fill->xy.push_back(y);
      } else if (code == 11) {
        frames.back().lines.push_back({colour, px, py, x, y});
      }
      px = x, py = y;
    }
    i += 2 * size_t(words[code]);
  }
  return frames;
}

struct disc {
  double cx = 0, cy = 0, r = 0;
  double radius(double x, double y) const { return std::hypot(x - cx, y - cy); }
  std::pair<double, double> page(double lon, double lat) const {
    return {cx + r * std::cos(lat * kDeg) * std::sin((lon - kCentre) * kDeg),
            cy + r * std::sin(lat * kDeg)};
  }
  // The near-side point that lands at (x, y).
  std::pair<double, double> lonlat(double x, double y) const {
    const double lat = std::asin(std::clamp((y - cy) / r, -1.0, 1.0));
    const double c = std::cos(lat);
    const double u = c > 0 ? std::clamp((x - cx) / r / c, -1.0, 1.0) : 0.0;
    return {kCentre + std::asin(u) / kDeg, lat / kDeg};
  }
};

bool near_side(double lon, double lat) {
  return std::cos(lat * kDeg) * std::cos((lon - kCentre) * kDeg) >= -1e-9;
}

double area_of(const area& a) {
  double s = 0;
  const size_t n = a.xy.size() / 2;
  for (size_t i = 0; i < n; i++) {
    const size_t j = (i + 1) % n;
    s += a.xy[2 * i] * a.xy[2 * j + 1] - a.xy[2 * j] * a.xy[2 * i + 1];
  }
  return std::fabs(s) / 2;
}

double area_in(const frame& f, int colour) {
  double s = 0;
  for (const area& a : f.areas)
    if (a.colour == colour) s += area_of(a);
  return s;
}

// Every point drawn lies on the disc.
void on_disc(const frame& f, const disc& d) {
  for (const line& l : f.lines) {
    EXPECT_LE(d.radius(l.x1, l.y1), d.r + 0.003) << l.x1 << " " << l.y1;
    EXPECT_LE(d.radius(l.x2, l.y2), d.r + 0.003) << l.x2 << " " << l.y2;
  }
  for (const area& a : f.areas)
    for (size_t i = 0; i + 1 < a.xy.size(); i += 2)
      EXPECT_LE(d.radius(a.xy[i], a.xy[i + 1]), d.r + 0.003) << a.xy[i] << " " << a.xy[i + 1];
}

// The same drawing, record for record, in any order.
void same_drawing(const frame& a, const frame& b) {
  auto key = [](const frame& f) {
    std::vector<std::vector<long>> k;
    for (const line& l : f.lines)
      k.push_back({l.colour, std::lround(l.x1 * 1000), std::lround(l.y1 * 1000),
                   std::lround(l.x2 * 1000), std::lround(l.y2 * 1000)});
    for (const area& ar : f.areas) {
      std::vector<long> v{-1, ar.colour};
      for (double c : ar.xy) v.push_back(std::lround(c * 1000));
      k.push_back(v);
    }
    std::sort(k.begin(), k.end());
    return k;
  };
  EXPECT_FALSE(b.lines.empty() && b.areas.empty());
  EXPECT_EQ(a.lines.size(), b.lines.size());
  EXPECT_EQ(a.areas.size(), b.areas.size());
  EXPECT_TRUE(key(a) == key(b));
}

// The share of the disc between two meridians (degrees from the centre,
// -90..90): its area is (sin b - sin a) pi r^2 / 2.
double band_area(const disc& d, double a, double b) {
  return (std::sin(b * kDeg) - std::sin(a * kDeg)) * 3.14159265358979 * d.r * d.r / 2;
}

// The 5-degree grid holds 1 from 30 to 270 degrees east: the half-way value
// lies 2.5 degrees outside, at 27.5 and 272.5, and of that only the strips
// within 90 degrees of -30 are seen.
void cut_at_the_edge(const frame& f, const disc& d, int colour) {
  const double want = band_area(d, 27.5 - kCentre, 90) + band_area(d, -90, 272.5 - 360 - kCentre);
  EXPECT_NEAR(area_in(f, colour), want, 0.01 * want);
  double reach = 0;
  for (const area& a : f.areas)
    for (size_t i = 0; a.colour == colour && i + 1 < a.xy.size(); i += 2)
      reach = std::fmax(reach, d.radius(a.xy[i], a.xy[i + 1]));
  EXPECT_NEAR(reach, d.r, 0.003);
  on_disc(f, d);
}

// Grid fields: 1 only on the far side (90..210 east), 1 from 30 to 270,
// and 10 on the near side only.
const std::string kFar = "const(maskout(maskout(z+1,lon-90),210-lon),0,-u)";
const std::string kCut = "const(maskout(maskout(z+1,lon-30),270-lon),0,-u)";
const std::string kNear = "cos(lat*0.0174532925)*cos((lon+30)*0.0174532925)+1e-6";

struct far_case {
  std::string name;
  std::string lat;     // "set lat" of the frames
  std::string first;   // draws the first frame
  std::string second;  // draws a second one, or nothing
  std::function<void(const std::vector<frame>&, const disc&)> check;
};

}  // namespace

TEST(FarSide, OrthographicDrawsOnlyTheNearSide) {
  const far_case cases[] = {
      {"shading of the far side", "-90 90",
       "set gxout shaded\nset clevs 0.5\nset ccols 0 2\nd " + kFar + "\n", "",
       [](const std::vector<frame>& f, const disc& d) {
         for (const area& a : f[0].areas) EXPECT_NE(a.colour, 2);
         const double whole = 3.14159265358979 * d.r * d.r;
         EXPECT_NEAR(area_in(f[0], 0), whole, 0.01 * whole);
         on_disc(f[0], d);
       }},
      {"shading cut at the edge", "-90 90",
       "set gxout shaded\nset clevs 0.5\nset ccols 0 2\nd " + kCut + "\n", "",
       [](const std::vector<frame>& f, const disc& d) { cut_at_the_edge(f[0], d, 2); }},
      {"grid boxes cut at the edge", "-90 90",
       "set gxout grfill\nset clevs 0.5\nset ccols 0 2\nd " + kCut + "\n", "",
       [](const std::vector<frame>& f, const disc& d) { cut_at_the_edge(f[0], d, 2); }},
      {"grid runs cut at the edge", "-90 90", "set gxout fgrid\nset fgvals 1 2\nd " + kCut + "\n",
       "",
       [](const std::vector<frame>& f, const disc& d) {
         cut_at_the_edge(f[0], d, 2);
         for (const area& a : f[0].areas) EXPECT_EQ(a.colour, 2);
       }},
      {"contours of longitude", "-90 90",
       "set gxout contour\nset ccolor 2\nset clab off\nset clevs 10 40 70 100 130 160 190 220 "
       "250 280 310 340\nd lon\n",
       "",
       [](const std::vector<frame>& f, const disc& d) {
         // Seen: 10, 40, 250, 280, 310 and 340 east.
         const double seen[] = {10, 40, 250, 280, 310, 340};
         std::vector<int> points(6);
         for (const line& l : f[0].lines)
           for (auto [x, y] : {std::pair{l.x1, l.y1}, {l.x2, l.y2}}) {
             auto [lon, lat] = d.lonlat(x, y);
             // Towards the poles and the edge the page rounding grows in
             // degrees.
             if (std::fabs(lat) > 60) continue;
             int k = -1;
             for (int n = 0; n < 6; n++)
               if (std::fabs(std::remainder(lon - seen[n], 360.0)) < 0.5) k = n;
             EXPECT_GE(k, 0) << "a contour at " << lon << " " << lat;
             if (k >= 0) points[size_t(k)]++;
           }
         for (int n = 0; n < 6; n++) EXPECT_GT(points[size_t(n)], 20) << seen[n];
         on_disc(f[0], d);
       }},
      {"contours of latitude", "-90 90",
       "set gxout contour\nset ccolor 2\nset cstyle 1\nset clab off\nset clevs -57.5 -27.5 2.5 "
       "32.5 62.5\nd "
       "lat\n",
       "",
       [](const std::vector<frame>& f, const disc& d) {
         // Each parallel runs from edge to edge: at latitude b the disc is
         // 2 r cos(b) wide.
         const double levels[] = {-57.5, -27.5, 2.5, 32.5, 62.5};
         for (double b : levels) {
           double lo = 1e9, hi = -1e9;
           for (const line& l : f[0].lines)
             for (auto [x, y] : {std::pair{l.x1, l.y1}, {l.x2, l.y2}})
               if (std::fabs(d.lonlat(x, y).second - b) < 0.3)
                 lo = std::fmin(lo, x), hi = std::fmax(hi, x);
           EXPECT_NEAR(lo, d.cx - d.r * std::cos(b * kDeg), 0.003) << b;
           EXPECT_NEAR(hi, d.cx + d.r * std::cos(b * kDeg), 0.003) << b;
         }
         for (const line& l : f[0].lines)
           for (auto [x, y] : {std::pair{l.x1, l.y1}, {l.x2, l.y2}}) {
             const double lat = d.lonlat(x, y).second;
             double off = 180;
             for (double b : levels) off = std::fmin(off, std::fabs(lat - b));
             EXPECT_LT(off, 0.3) << x << " " << y;
           }
         on_disc(f[0], d);
       }},
      {"map outlines", "-90 90", "set mpdraw on\ndraw map\n",
       "set lon -120 60\nset mpdraw on\ndraw map\n",
       [](const std::vector<frame>& f, const disc& d) {
         // The outlines of the global grid are those of the near side alone:
         // every point of each drawing lies on a line of the other.
         auto off = [](const std::vector<line>& from, const std::vector<line>& to) {
           // The lines of `to` by the 0.05-inch squares they pass near.
           constexpr double cell = 0.05, tol = 0.02;
           std::map<std::pair<long, long>, std::vector<const line*>> near;
           for (const line& m : to)
             for (long i = std::lround(std::floor((std::fmin(m.x1, m.x2) - tol) / cell));
                  i <= std::lround(std::floor((std::fmax(m.x1, m.x2) + tol) / cell)); i++)
               for (long j = std::lround(std::floor((std::fmin(m.y1, m.y2) - tol) / cell));
                    j <= std::lround(std::floor((std::fmax(m.y1, m.y2) + tol) / cell)); j++)
                 near[{i, j}].push_back(&m);
           int far = 0;
           for (const line& l : from) {
             double best = 1e9;
             const std::pair<long, long> k{std::lround(std::floor(l.x1 / cell)),
                                           std::lround(std::floor(l.y1 / cell))};
             for (const line* m : near[k]) {
               const double dx = m->x2 - m->x1, dy = m->y2 - m->y1, n = dx * dx + dy * dy;
               double t = n > 0 ? ((l.x1 - m->x1) * dx + (l.y1 - m->y1) * dy) / n : 0;
               t = std::clamp(t, 0.0, 1.0);
               best = std::fmin(best, std::hypot(m->x1 + t * dx - l.x1, m->y1 + t * dy - l.y1));
             }
             if (best > tol) far++;
           }
           return far;
         };
         ASSERT_GT(f[1].lines.size(), 1000u);
         EXPECT_EQ(off(f[0].lines, f[1].lines), 0);
         EXPECT_EQ(off(f[1].lines, f[0].lines), 0);
         on_disc(f[0], d);
       }},
      {"vectors", "-80 80",
       "set gxout vector\nset arrscl 0.3 10\nset arrowhead 0\nset arrlab off\nd z+10;z\n",
       "set gxout vector\nset arrscl 0.3 10\nset arrowhead 0\nset arrlab off\nd maskout(z+10," +
           kNear + ");z\n",
       [](const std::vector<frame>& f, const disc& d) {
         same_drawing(f[0], f[1]);
         // One arrow of 0.3 inch pointing east (across the page) from each
         // grid point on the near side.
         std::vector<std::pair<double, double>> at;
         for (int i = 0; i <= 72; i++)
           for (int j = 0; j <= 32; j++)
             if (near_side(5.0 * i, -80.0 + 5 * j)) at.push_back(d.page(5.0 * i, -80.0 + 5 * j));
         EXPECT_EQ(f[0].lines.size(), at.size());
         for (const line& l : f[0].lines) {
           // Arrows from the east edge leave the plot area and are cut.
           if (l.x1 + 0.3 < d.cx + d.r) {
             EXPECT_NEAR(l.length(), 0.3, 0.003);
           }
           EXPECT_NEAR(l.angle(), 0, 1.0) << l.x1 << " " << l.y1;
           double best = 1e9;
           for (auto [x, y] : at) best = std::fmin(best, std::hypot(x - l.x1, y - l.y1));
           EXPECT_LT(best, 0.003) << l.x1 << " " << l.y1;
         }
       }},
      {"barbs", "-80 80", "set gxout barb\nd z+10;z\n",
       "set gxout barb\nd maskout(z+10," + kNear + ");z\n",
       [](const std::vector<frame>& f, const disc& d) {
         same_drawing(f[0], f[1]);
         // Each shaft leaves its grid point into the wind, to the west.
         int shafts = 0, points = 0;
         for (int i = 0; i <= 72; i++)
           for (int j = 0; j <= 32; j++) {
             if (!near_side(5.0 * i, -80.0 + 5 * j)) continue;
             points++;
             auto [x, y] = d.page(5.0 * i, -80.0 + 5 * j);
             for (const line& l : f[0].lines)
               if (std::hypot(l.x1 - x, l.y1 - y) < 0.03 && l.length() > 0.2) {
                 shafts++;
                 EXPECT_NEAR(std::fabs(l.angle()), 180, 1.0) << 5 * i << " " << -80 + 5 * j;
               }
           }
         EXPECT_GE(shafts, points);
       }},
      {"grid values", "-80 80", "set gxout grid\nset gridln off\nd z+1\n",
       "set gxout grid\nset gridln off\nd maskout(z+1," + kNear + ")\n",
       [](const std::vector<frame>& f, const disc&) { same_drawing(f[0], f[1]); }},
      {"streamlines of the far side", "-90 90",
       "set gxout stream\nd maskout(maskout(z+10,lon-70),230-lon);z+0.5\n", "",
       [](const std::vector<frame>& f, const disc&) { EXPECT_EQ(f[0].lines.size(), 0u); }},
      {"streamlines cut at the edge", "-80 80", "set gxout stream\nd z+10;z\n", "",
       [](const std::vector<frame>& f, const disc& d) {
         ASSERT_FALSE(f[0].lines.empty());
         // The two wings of a head (0.05 inch from one point) may reach past
         // the edge; the lines themselves end on it.
         frame lines;
         const std::vector<line>& all = f[0].lines;
         auto wing = [](const line& l) { return std::fabs(l.length() - 0.05) < 0.002; };
         for (size_t i = 0; i < all.size(); i++) {
           const bool pair_next = i + 1 < all.size() && wing(all[i]) && wing(all[i + 1]) &&
                                  all[i].x1 == all[i + 1].x1 && all[i].y1 == all[i + 1].y1;
           if (pair_next) {
             i++;
             continue;
           }
           lines.lines.push_back(all[i]);
         }
         double reach = 0;
         for (const line& l : lines.lines)
           reach = std::fmax(reach, std::fmax(d.radius(l.x1, l.y1), d.radius(l.x2, l.y2)));
         EXPECT_NEAR(reach, d.r, 0.003);
         on_disc(lines, d);
       }},
      {"station marks", "-90 90", "set gxout stnmark\nset cmark 3\nd s.2\n",
       "set gxout stnmark\nset cmark 3\nd s.3\n",
       [](const std::vector<frame>& f, const disc&) { same_drawing(f[0], f[1]); }},
      {"station models", "-90 90", "set gxout model\nd u.2;v.2\n", "set gxout model\nd u.3;v.3\n",
       [](const std::vector<frame>& f, const disc&) { same_drawing(f[0], f[1]); }},
  };

  TempDir dir;
  write_file(dir.file("g.ctl"),
             "dset ^g.dat\nundef -9.99e33\nxdef 73 linear 0 5\nydef 37 linear -90 5\n"
             "zdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\nvars 1\nz 0 0 zero\nendvars\n");
  write_file(dir.file("g.dat"), std::string(size_t(4) * 73 * 37, '\0'));
  // Stations every 40 degrees east and at three latitudes: those within 90
  // degrees of -30 east are also the near set.
  for (bool all : {true, false}) {
    stnw::dataset ds;
    ds.surface_vars = {"s", "u", "v"};
    std::vector<stnw::report> reps;
    for (float lon = 10; lon < 360; lon += 40)
      for (float lat : {-45.0f, 0.0f, 45.0f})
        if (all || near_side(lon, lat))
          reps.push_back(
              stnw::surface_report("S" + std::to_string(reps.size()), lat, lon, {1, 10, 0}));
    ds.times = {reps};
    stnw::write(dir.path(), all ? "all" : "near", ds);
  }
  for (const far_case& c : cases) {
    SCOPED_TRACE(c.name);
    auto frame_in = [&](const std::string& draw) {
      return "set lon 0 360\nset lat " + c.lat +
             "\nset mproj orthographic\nset mpvals -120 60 -90 90\nset mpdraw off\n"
             "set grid off\nset frame off\nset xlab off\nset ylab off\nset timelab off\n"
             "set vemra off\n" +
             draw + "print\n";
    };
    std::string in = "open g.ctl\nopen all.ctl\nopen near.ctl\nenable print f.meta\n" +
                     frame_in(c.first) + "q gxinfo\nc\n";
    if (!c.second.empty()) in += frame_in(c.second) + "c\n";
    in += "disable print\n";
    RunResult r = run_batch(in, dir.path());
    size_t at = 0;
    std::string info = next_answer(r.out, "q gxinfo", &at);
    double x1, x2, y1, y2;
    ASSERT_EQ(std::sscanf(info.c_str() + info.find("X Limits"), "X Limits = %lf to %lf", &x1, &x2),
              2)
        << r.out;
    ASSERT_EQ(std::sscanf(info.c_str() + info.find("Y Limits"), "Y Limits = %lf to %lf", &y1, &y2),
              2);
    const disc d{(x1 + x2) / 2, (y1 + y2) / 2, (x2 - x1) / 2};
    EXPECT_NEAR(y2 - y1, x2 - x1, 0.001);
    std::vector<frame> frames = frames_of(read_file(dir.file("f.meta")));
    ASSERT_GE(frames.size(), c.second.empty() ? 1u : 2u) << r.out;
    c.check(frames, d);
  }
}
