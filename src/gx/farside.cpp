// The side of the globe a map shows is a band of longitudes 180 degrees wide
// repeated every 360 (the disc is seen from above the equator), so lines and
// areas are cut in longitude and latitude, where the cut is straight, before
// they are projected.
#include "gx/farside.h"

#include <algorithm>
#include <cmath>

namespace {

// Longitudes this close outside the edge count as on it: world positions
// come through float conversions.
constexpr double kSlack = 1e-4;
// Largest latitude step, in degrees, of a cut along the edge of the disc, so
// that it follows the circle rather than a chord of it.
constexpr double kEdgeStep = 1.0;
// Copies of the band one line or area may meet; beyond any real grid.
constexpr long kMaxCopies = 64;

struct side {
  bool half = false;
  double middle = 0.0;

  double west(long k) const { return middle - 90.0 + 360.0 * double(k); }
  double east(long k) const { return middle + 90.0 + 360.0 * double(k); }
  bool seen(double lon) const {
    return !half || std::fabs(std::remainder(lon - middle, 360.0)) <= 90.0 + kSlack;
  }
  // The copy of the band nearest lon.
  long copy(double lon) const { return std::lround(std::clamp((lon - middle) / 360.0, -1e9, 1e9)); }
  // The copies that meet the longitudes lo..hi (finite), at most kMaxCopies.
  void copies(double lo, double hi, long* first, long* last) const {
    // Far beyond any globe: kept where the copy numbers stay integers.
    lo = std::clamp(lo, -1e9, 1e9);
    hi = std::clamp(hi, -1e9, 1e9);
    *first = long(std::ceil((lo - middle - 90.0 - kSlack) / 360.0));
    *last = std::min(long(std::floor((hi - middle + 90.0 + kSlack) / 360.0)), *first + kMaxCopies);
  }
};

side current() {
  float m = 0.0f;
  side s;
  s.half = gxqside(&m);
  s.middle = m;
  return s;
}

struct world_point {
  double lon, lat;
};

world_point world_of(float x, float y, coord_level level) {
  if (level == coord_level::grid) gxgrmp(x, y, &x, &y);
  return {x, y};
}

// A vertex of a cut polyline or polygon: one of the caller's (by index, so it
// converts from the caller's level exactly as before) or a new one on a cut.
struct vertex {
  double lon, lat;
  int index;  // the caller's point, or -1
};

void page_of(const vertex& v, const float* xy, coord_level level, std::vector<float>& out) {
  float x, y;
  if (v.index >= 0)
    gxconv(xy[2 * v.index], xy[2 * v.index + 1], &x, &y, level);
  else
    gxconv(float(v.lon), float(v.lat), &x, &y, coord_level::world);
  out.push_back(x);
  out.push_back(y);
}

// The parts of the step from a to b on the side shown, as fractions of the
// step, in order along it.
struct span {
  double t0, t1;
};

void spans_of(const side& s, world_point a, world_point b, std::vector<span>& out) {
  out.clear();
  if (!std::isfinite(a.lon) || !std::isfinite(b.lon)) return;
  const double d = b.lon - a.lon;
  if (d == 0.0) {
    if (s.seen(a.lon)) out.push_back({0.0, 1.0});
    return;
  }
  long first, last;
  s.copies(std::min(a.lon, b.lon), std::max(a.lon, b.lon), &first, &last);
  for (long n = 0; n <= last - first; n++) {
    const long k = d > 0 ? first + n : last - n;
    const double w = s.west(k), e = s.east(k);
    const double tw = (w - a.lon) / d, te = (e - a.lon) / d;
    double t0 = std::max(0.0, std::min(tw, te)), t1 = std::min(1.0, std::max(tw, te));
    if (a.lon >= w - kSlack && a.lon <= e + kSlack) t0 = 0.0;
    if (b.lon >= w - kSlack && b.lon <= e + kSlack) t1 = 1.0;
    if (t0 < t1) out.push_back({t0, t1});
  }
}

vertex along(world_point a, int ia, world_point b, int ib, double t) {
  if (t == 0.0) return {a.lon, a.lat, ia};
  if (t == 1.0) return {b.lon, b.lat, ib};
  return {a.lon + t * (b.lon - a.lon), a.lat + t * (b.lat - a.lat), -1};
}

// One side of the band copy: longitudes at or east of `edge` (east false),
// or at or west of it (east true).
std::vector<vertex> clip(const std::vector<vertex>& in, double edge, bool east) {
  std::vector<vertex> out;
  if (in.empty()) return out;
  auto inside = [&](const vertex& v) { return east ? v.lon <= edge : v.lon >= edge; };
  const vertex* s = &in.back();
  for (const vertex& e : in) {
    if (inside(e) != inside(*s)) {
      const double t = (edge - s->lon) / (e.lon - s->lon);
      out.push_back({edge, s->lat + t * (e.lat - s->lat), -1});
    }
    if (inside(e)) out.push_back(e);
    s = &e;
  }
  return out;
}

// Steps along the edge of the disc get points every kEdgeStep degrees.
std::vector<vertex> follow_edge(const std::vector<vertex>& in, double w, double e) {
  std::vector<vertex> out;
  for (size_t i = 0; i < in.size(); i++) {
    const vertex& a = in[i];
    const vertex& b = in[(i + 1) % in.size()];
    out.push_back(a);
    if (a.lon != b.lon || (a.lon != w && a.lon != e)) continue;
    const double steps = std::ceil(std::fabs(b.lat - a.lat) / kEdgeStep);
    for (double k = 1; k < steps; k++)
      out.push_back({a.lon, a.lat + (b.lat - a.lat) * k / steps, -1});
  }
  return out;
}

}  // namespace

bool gxseen(float x, float y, coord_level level) {
  const side s = current();
  if (!s.half || level < coord_level::world) return true;
  return s.seen(world_of(x, y, level).lon);
}

bool gxseen_all(const float* xy, int n, coord_level level) {
  const side s = current();
  if (!s.half || level < coord_level::world || n < 1) return true;
  // Points all on one copy of the band: the steps between them stay on it.
  long k = 0;
  for (int i = 0; i < n; i++) {
    const double lon = world_of(xy[2 * i], xy[2 * i + 1], level).lon;
    if (!std::isfinite(lon) || !s.seen(lon)) return false;
    if (i == 0) k = s.copy(lon);
    if (s.copy(lon) != k) return false;
  }
  return true;
}

std::vector<std::vector<float>> gxseen_lines(const float* xy, int n, coord_level level) {
  std::vector<std::vector<float>> parts;
  if (n < 1) return parts;
  const side s = current();
  if (gxseen_all(xy, n, level)) {
    parts.emplace_back(xy, xy + 2 * n);
    gxcord(parts.back().data(), n, level);
    return parts;
  }
  std::vector<world_point> w(static_cast<size_t>(n));
  for (int i = 0; i < n; i++) w[size_t(i)] = world_of(xy[2 * i], xy[2 * i + 1], level);
  if (n == 1) return parts;  // not seen, or gxseen_all would have kept it
  std::vector<span> spans;
  bool open = false;  // the last part ends on the point the step starts from
  for (int i = 0; i + 1 < n; i++) {
    spans_of(s, w[size_t(i)], w[size_t(i) + 1], spans);
    for (const span& p : spans) {
      if (!(open && p.t0 == 0.0)) {
        parts.emplace_back();
        page_of(along(w[size_t(i)], i, w[size_t(i) + 1], i + 1, p.t0), xy, level, parts.back());
      }
      page_of(along(w[size_t(i)], i, w[size_t(i) + 1], i + 1, p.t1), xy, level, parts.back());
      open = p.t1 == 1.0;
    }
    if (spans.empty()) open = false;
  }
  return parts;
}

void gxseen_fill(float* xy, int n, coord_level level) {
  if (gxseen_all(xy, n, level)) {
    gxcord(xy, n, level);
    gxfill(xy, n);
    return;
  }
  const side s = current();
  std::vector<vertex> poly;
  double lo = 0.0, hi = 0.0;
  for (int i = 0; i < n; i++) {
    const world_point p = world_of(xy[2 * i], xy[2 * i + 1], level);
    // A vertex that is not a number is left out, as the fill would.
    if (!std::isfinite(p.lon) || !std::isfinite(p.lat)) continue;
    lo = poly.empty() ? p.lon : std::min(lo, p.lon);
    hi = poly.empty() ? p.lon : std::max(hi, p.lon);
    poly.push_back({p.lon, p.lat, i});
  }
  if (poly.size() < 3) return;
  long first, last;
  s.copies(lo, hi, &first, &last);
  std::vector<float> page;
  for (long k = first; k <= last; k++) {
    const double w = s.west(k), e = s.east(k);
    const std::vector<vertex> cut = follow_edge(clip(clip(poly, w, false), e, true), w, e);
    if (cut.size() < 3) continue;
    page.clear();
    for (const vertex& v : cut) page_of(v, xy, level, page);
    gxfill(page.data(), static_cast<int>(cut.size()));
  }
}

seen_pen::seen_pen(coord_level level, bool dashed) : level_(level), dashed_(dashed) {
  half_ = gxqside(&middle_) && level >= coord_level::world;
}

void seen_pen::put(float x, float y, coord_level level, pen_code pen) const {
  gxconv(x, y, &x, &y, level);
  if (dashed_)
    gxplot(x, y, pen);
  else if (pen == pen_code::move)
    gxmove(x, y);
  else
    gxdraw(x, y);
}

void seen_pen::move(float x, float y) {
  x_ = x;
  y_ = y;
  down_ = !half_ || gxseen(x, y, level_);
  if (down_) put(x, y, level_, pen_code::move);
}

void seen_pen::draw(float x, float y) {
  if (!half_) {
    put(x, y, level_, pen_code::draw);
    x_ = x;
    y_ = y;
    return;
  }
  const side s{true, middle_};
  const world_point a = world_of(x_, y_, level_), b = world_of(x, y, level_);
  std::vector<span> spans;
  spans_of(s, a, b, spans);
  const float from[4] = {x_, y_, x, y};
  for (const span& p : spans) {
    const vertex v0 = along(a, 0, b, 1, p.t0), v1 = along(a, 0, b, 1, p.t1);
    auto at = [&](const vertex& v, pen_code pen) {
      if (v.index >= 0)
        put(from[2 * v.index], from[2 * v.index + 1], level_, pen);
      else
        put(float(v.lon), float(v.lat), coord_level::world, pen);
    };
    if (!(down_ && p.t0 == 0.0)) at(v0, pen_code::move);
    at(v1, pen_code::draw);
    down_ = p.t1 == 1.0;
  }
  if (spans.empty()) down_ = false;
  x_ = x;
  y_ = y;
}
