// The station model: station circle or cloud mark, weather symbol,
// visibility, four numbers round the station and a wind barb steered clear
// of them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_map>

#include "base/message.h"
#include "base/session.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/farside.h"
#include "gx/gx.h"
#include "gx/proj.h"
#include "plot/plot.h"
#include "plot/plotvec.h"
#include "plot/station.h"

namespace {

constexpr int kSlots = 10;
constexpr float kAbsent = -999.9f;

enum model_slot : int {
  slot_u = 0,
  slot_v = 1,
  slot_upper_left = 2,
  slot_lower_left = 3,
  slot_upper_right = 4,
  slot_lower_right = 5,
  slot_mark = 6,
  slot_weather = 7,
  slot_visibility = 8,
};

enum model_box : int {
  box_weather = 0,
  box_upper_left = 1,
  box_lower_left = 2,
  box_upper_right = 3,
  box_lower_right = 4,
  box_visibility = 5,
};

struct boxes {
  float left[6], right[6], bottom[6], top[6];
  boxes() {
    std::fill(left, left + 6, kAbsent);
    std::fill(right, right + 6, kAbsent);
    std::fill(bottom, bottom + 6, kAbsent);
    std::fill(top, top + 6, kAbsent);
  }
  bool has(int b) const { return left[b] > -990; }
  void set(int b, float l, float r, float lo, float hi) {
    left[b] = l;
    right[b] = r;
    bottom[b] = lo;
    top[b] = hi;
  }
};

std::string format(const char* fmt, double v, int digits = -1) {
  char buf[64];
  int n = digits >= 0 ? std::snprintf(buf, sizeof buf, fmt, digits, v)
                      : std::snprintf(buf, sizeof buf, fmt, v);
  if (n >= 0 && size_t(n) < sizeof buf) return buf;
  std::string big(size_t(n > 0 ? n : 0) + 1, '\0');
  if (digits >= 0)
    std::snprintf(big.data(), big.size(), fmt, digits, v);
  else
    std::snprintf(big.data(), big.size(), fmt, v);
  big.pop_back();
  return big;
}

std::string integer(long long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%lld", v);
  return buf;
}

void text(const std::string& t, float x, float y, float h) {
  gxchpl(t.c_str(), static_cast<int>(t.size()), x, y, h, h, 0);
}

float width(const std::string& t, float h) { return float(t.size()) * h; }

void station_mark(int n, int c, float x, float y, float b) {
  if (c == 0 && n > 19) {
    if (n != 23) gxmark(3, x, y, b);
    return;
  }
  switch (n) {
    case 20: gxmark(2, x, y, b); break;
    case 21: gxmark(10, x, y, b); break;
    case 22: gxmark(11, x, y, b); break;
    case 23: gxmark(3, x, y, b); break;
    case 24: {
      gxmark(2, x, y, b);
      const float d = b / 2.8284f;
      gxmove(x - d, y + d);
      gxdraw(x + d, y - d);
      gxmove(x + d, y + d);
      gxdraw(x - d, y - d);
      break;
    }
    case 25: {
      gxmark(2, x, y, b);
      const float h = 0.3f * b;
      gxchpl("`0M", 3, x - 1.2f * h, y - 0.9f * h, 2 * h, 2 * h, 0);
      break;
    }
    default:
      if (n >= 1 && n <= 8)
        gxmark(n, x, y, b);
      else
        gxmark(2, x, y, b);
      break;
  }
}

// Gap between the station and a left-side number whose edge is dy away.
float left_gap(float r, float dy, float s) {
  const float q = r * r - dy * dy;
  const float g = q > 0 ? std::sqrt(q) : 0.3f * s;
  return std::fmax(g, 0.3f * s);
}

// Key of one report's place and id, compared exactly.
struct place_key {
  uint32_t lat, lon;
  char id[8];
  bool operator==(const place_key& o) const {
    return lat == o.lat && lon == o.lon && std::memcmp(id, o.id, 8) == 0;
  }
};
struct place_hash {
  size_t operator()(const place_key& k) const {
    uint64_t h = (uint64_t(k.lat) << 32) ^ k.lon;
    uint64_t idw;
    std::memcpy(&idw, k.id, 8);
    return std::hash<uint64_t>()(h * 0x9E3779B97F4A7C15ull ^ idw);
  }
};
place_key key_of(const station_report* r) {
  place_key k;
  const float lat = r->lat + 0.0f, lon = r->lon + 0.0f;
  std::memcpy(&k.lat, &lat, 4);
  std::memcpy(&k.lon, &lon, 4);
  std::memcpy(k.id, r->stid, 8);
  return k;
}

}  // namespace

float wndexit(float u, float v, float x, float y, float r, float* left, float* right, float* bottom,
              float* top) {
  const float dx = -u, dy = -v;
  const float m = 0.25f * r, h = m / 2;
  auto present = [&](int b) { return left[b] > -990; };
  auto at_x = [&](float edge) { return y + (edge - x) * dy / dx; };  // on a vertical edge
  auto at_y = [&](float edge) { return x + (edge - y) * dx / dy; };  // on a horizontal edge
  auto dist = [&](float px, float py) { return std::hypot(px - x, py - y); };
  if (dx == 0 && dy == 0) return kAbsent;
  if (dx < 0) {
    // A left number first, on its top (bottom) edge, else its left edge.
    const int b = dy > 0 ? box_upper_left : box_lower_left;
    if (dy != 0 && present(b)) {
      float& edge = dy > 0 ? top[b] : bottom[b];
      edge += dy > 0 ? m : -m;
      const float xi = at_y(edge);
      if (left[b] - m < xi && xi < right[b] + h) return dist(xi, edge);
      left[b] -= h;
      const float yi = at_x(left[b]);
      if (bottom[b] - m < yi && yi < top[b] + m) return dist(left[b], yi);
    }
    for (int k : {int(box_visibility), int(box_weather)}) {
      if (!present(k)) continue;
      left[k] -= h;
      const float yi = at_x(left[k]);
      if (bottom[k] - m < yi && yi < top[k] + m) return dist(left[k], yi);
      if (dy == 0) continue;
      float& edge = dy > 0 ? top[k] : bottom[k];
      edge += dy > 0 ? m : -m;
      const float xi = at_y(edge);
      if (left[k] - m < xi && xi < right[k] + h) return dist(xi, edge);
    }
  } else if (dx > 0) {
    if (present(box_lower_right)) {
      const int b = box_lower_right;
      right[b] += h;
      const float yi = at_x(right[b]);
      if (bottom[b] - m < yi && yi <= top[b] + m) return dist(right[b], yi);
    }
    if (dy > 0 && present(box_upper_right)) {
      const int b = box_upper_right;
      top[b] += m;
      const float xi = at_y(top[b]);
      if (left[b] - h < xi && xi < right[b] + m) return dist(xi, top[b]);
      right[b] += h;
      const float yi = at_x(right[b]);
      if (bottom[b] - m < yi && yi < top[b] + m) return dist(right[b], yi);
    }
  }
  return kAbsent;
}

void kasmdl(session_state* pcm, const station_report* report, const float* values,
            const float* undefs) {
  const float s = pcm->digsiz;
  const int c = pcm->ccolor < 0 ? 1 : pcm->ccolor;
  gxcolr(c);
  auto defined = [&](int k) { return values[k] != undefs[k]; };
  if (!defined(slot_u) || !defined(slot_v)) return;
  if (!gxseen(report->lon, report->lat, coord_level::world)) return;
  float x, y;
  gxconv(report->lon, report->lat, &x, &y, coord_level::world);
  const int hemi = pcm->hempref == 1 ? 1 : pcm->hempref == 0 ? 0 : (report->lat < 0 ? 1 : 0);
  const float u = values[slot_u], v = values[slot_v];
  // An absent mark code draws the plain circle.
  const int n = defined(slot_mark) ? kaclampi(std::floor(double(values[slot_mark]) + 0.1)) : 0;
  const float b = (n >= 20 && n <= 25) ? 1.4f * s : s;
  const float r = (u == 0 && v == 0) ? 0.8f * b : 0.65f * b;
  station_mark(n, c, x, y, b);

  boxes bx;
  if (defined(slot_weather)) {
    const int w = kaclampi(double(values[slot_weather]) + 0.1);
    if (w >= 1 && w <= 39) {
      gxwide(pcm->cthick + 1);
      const float sz = 3 * s;
      const float right = x - 1.1f * r, left = right - sxwid(w) * sz;
      bx.set(box_weather, left, right, y + symin(w) * sz, y + symax(w) * sz);
      wxsym(left + sxwid(w) * sz / 2, y, sz, w, pcm->ccolor, pcm->wxcols);
      gxcolr(c);
    }
  }
  gxwide(pcm->cthick);

  if (defined(slot_visibility)) {
    const int k = kaclampi(double(values[slot_visibility]) * 32 + 0.5);
    const int whole = k / 32;
    int num = k - 32 * whole, den = 32;
    while (num != 0 && num % 2 == 0) {
      num /= 2;
      den /= 2;
    }
    const float yb = y - 0.5f * s;
    const float x0 = bx.has(box_weather) ? bx.left[box_weather] - 0.2f * s : x - 1.6f * r;
    float start = x0;
    if (num > 0) {
      const float hs = 0.65f * s;
      const std::string dt = integer(den), nt = integer(num);
      const float dstart = x0 - width(dt, hs);
      text(dt, dstart, yb, hs);
      gxmove(dstart - 0.4f * s, yb);
      gxdraw(dstart + 0.1f * s, yb + s);
      start = dstart - (float(nt.size()) + 0.4f) * hs;
      text(nt, start, yb + 0.35f * s, hs);
    }
    if (whole > 0 || (whole == 0 && num == 0)) {
      const std::string wt = integer(whole);
      start -= width(wt, s);
      text(wt, start, yb, s);
    }
    bx.set(box_visibility, start, x0, yb, yb + s);
  }

  if (defined(slot_upper_left)) {
    const float yt = bx.has(box_weather)      ? bx.top[box_weather] + 0.4f * s
                     : bx.has(box_visibility) ? bx.top[box_visibility] + 0.4f * s
                                              : y + 0.3f * s;
    const float g = left_gap(r, yt - y, s);
    const std::string t = format("%.*f", double(values[slot_upper_left]), pcm->dignum);
    const float start = x - g - width(t, s);
    text(t, start, yt, s);
    bx.set(box_upper_left, start, x - g, yt, yt + s);
  }
  if (defined(slot_lower_left)) {
    const float yt = bx.has(box_weather)      ? bx.bottom[box_weather] - 0.4f * s
                     : bx.has(box_visibility) ? bx.bottom[box_visibility] - 0.4f * s
                                              : y - 0.3f * s;
    const float g = left_gap(r, y - yt, s);
    const std::string t = format("%.*f", double(values[slot_lower_left]), pcm->dignum);
    const float start = x - g - width(t, s);
    text(t, start, yt - s, s);
    bx.set(box_lower_left, start, x - g, yt - s, yt);
  }
  if (defined(slot_upper_right)) {
    std::string t;
    if (pcm->mdlopts_dig3) {
      // Rounded in a wide integer: the last three digits of any value.
      t = integer(static_cast<long long>(kaclampi(double(values[slot_upper_right]) + 0.5)) + 10000);
      if (t.size() > 3) t = t.substr(t.size() - 3);
    } else {
      t = format("%.*f", double(values[slot_upper_right]), pcm->dignum);
    }
    const float x1 = x + 0.87f * r, y1 = y + 0.5f * r;
    text(t, x1, y1, s);
    bx.set(box_upper_right, x1, x1 + width(t, s), y1, y1 + s);
  }
  if (defined(slot_lower_right)) {
    const float top =
        bx.has(box_upper_right) ? bx.bottom[box_upper_right] - 0.4f * s : y + 0.5f * s;
    const std::string t = format("%.*f", double(values[slot_lower_right]), pcm->dignum);
    text(t, x + r, top - s, s);
    bx.set(box_lower_right, x + r, x + r + width(t, s), top - s, top);
  }

  const float dir = (u == 0 && v == 0) ? 0.0f : gxadir(report->lon, report->lat, u, v);
  const float speed = std::hypot(u, v);
  const float exit = wndexit(speed * std::cos(dir), speed * std::sin(dir), x, y, r, bx.left,
                             bx.right, bx.bottom, bx.top);
  float shaft = 3.5f * s, from = 0.5f * b;
  if (exit >= -990) {
    shaft = std::fmax(0.5f * s + exit, 3.5f * s);
    if (shaft > 6 * s) shaft = exit;
    from = exit;
  }
  kabarb(x, y, shaft, 2.5f * s, from, dir, speed, hemi);
}

void kapmdl(session_state* pcm, plot_code code) {
  kastnmap(pcm);
  const int nres = std::min(pcm->result_count, kSlots);
  float values[kSlots] = {}, undefs[kSlots] = {};
  std::unordered_map<place_key, const station_report*, place_hash> found[kSlots];
  for (int k = 0; k < nres; k++) {
    if (held_grid(pcm, k)) {
      const grid_field* g = held_grid(pcm, k);
      if (g->idim != -1) {
        kaprnt(msg_level::error, "Invalid data:  Station data required\n");
        kaplot_refuse();
        return;
      }
      values[k] = undefs[k] = g->values[0];
      continue;
    }
    const station_set* set = held_stations(pcm, k);
    undefs[k] = set->undef;
    if (k == 0) continue;
    for (const station_report* r = set->first_report; r; r = r->next)
      found[k].emplace(key_of(r), r);
  }
  if (!held_stations(pcm, 0)) {
    kaprnt(msg_level::error, "Invalid data:  Station data required\n");
    return;
  }
  gxcolr(pcm->ccolor < 0 ? 1 : pcm->ccolor);
  gxwide(pcm->cthick);
  const station_set* first = held_stations(pcm, 0);
  for (const station_report* r = first->first_report; r; r = r->next) {
    values[0] = r->value;
    for (int k = 1; k < nres; k++) {
      if (held_grid(pcm, k)) continue;
      const auto it = found[k].find(key_of(r));
      values[k] = it == found[k].end() ? undefs[k] : it->second->value;
    }
    kasmdl(pcm, r, values, undefs);
  }
  kastntail(pcm, code);
}
