// Station values as numbers (with a second result or the station ids below
// them), or wind barbs and arrows from a u and a v result.
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
#include "gx/gx.h"
#include "gx/proj.h"
#include "plot/plot.h"
#include "plot/plotvec.h"
#include "plot/station.h"

namespace {

std::string fixed(float v, int digits) {
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, "%.*f", digits, double(v));
  if (n >= 0 && size_t(n) < sizeof buf) return buf;
  std::string big(size_t(n > 0 ? n : 0) + 1, '\0');
  std::snprintf(big.data(), big.size(), "%.*f", digits, double(v));
  big.pop_back();
  return big;
}

// First word of a station id (at most its 8 characters).
std::string id_word(const char* stid) {
  size_t n = 0;
  while (n < 8 && stid[n] != ' ' && stid[n] != '\0') n++;
  return std::string(stid, n);
}

// A text centred on x with its lower left at y0, over a box of the
// background colour when ccolor is not 0.
void label(const session_state* pcm, const std::string& text, float x, float y0, float h) {
  const int len = static_cast<int>(text.size());
  float w = 0;
  gxchln(text.c_str(), len, h, &w);
  const float x0 = x - w / 2;
  if (pcm->ccolor != 0) {
    gxcolr(gxqbck());
    gxrecf(x0 - 0.01f, x0 + w + 0.01f, y0 - 0.01f, y0 + h + 0.01f);
  }
  gxcolr(pcm->ccolor < 0 ? 1 : pcm->ccolor);
  gxchpl(text.c_str(), len, x0, y0, h, h, 0);
}

void values(session_state* pcm) {
  const station_set* s = held_stations(pcm, 0);
  const float dig = pcm->digsiz;
  gxwide(pcm->cthick);
  const bool mark = pcm->result_count >= 2 || pcm->stid;
  gxcolr(pcm->ccolor < 0 ? 1 : pcm->ccolor);
  for (const station_report* r = s->first_report; r; r = r->next) {
    float x, y;
    if (!kastnpos(pcm, r, s->undef, true, &x, &y)) continue;
    if (mark) gxmark(1, x, y, 0.5f * dig);
    label(pcm, fixed(r->value, pcm->dignum), x, mark ? y + 0.7f * dig : y - 0.5f * dig, dig);
  }
  const bool second = pcm->result_count >= 2 && held_stations(pcm, 1);
  if (!((mark && second) || pcm->stid)) return;
  const station_set* t = pcm->stid ? s : held_stations(pcm, 1);
  for (const station_report* r = t->first_report; r; r = r->next) {
    float x, y;
    if (!kastnpos(pcm, r, t->undef, false, &x, &y)) continue;
    gxmark(1, x, y, 0.5f * dig);
    label(pcm, pcm->stid ? id_word(r->stid) : fixed(r->value, pcm->dignum), x, y - 1.7f * dig, dig);
  }
}

// Key of a position compared exactly (0 and -0 alike).
uint64_t position_key(float lat, float lon) {
  lat += 0.0f;
  lon += 0.0f;
  uint32_t a, b;
  std::memcpy(&a, &lat, 4);
  std::memcpy(&b, &lon, 4);
  return (uint64_t(a) << 32) | b;
}

float largest_abs(const station_set* s) {
  float m = -9.99e33f;
  for (const station_report* r = s->first_report; r; r = r->next)
    if (r->value != s->undef) m = std::fmax(m, std::fabs(r->value));
  return m;
}

void winds(session_state* pcm, bool barbs) {
  const station_set* u = held_stations(pcm, 0);
  const station_set* v = held_stations(pcm, 1);
  const float dig = pcm->digsiz;
  if (!barbs && !pcm->arrscl_set) {
    // Undefined values are no speeds; with no usable extreme (all zero or
    // none defined) every arrow takes the fixed length.
    const float m = std::hypot(std::fmax(largest_abs(u), 0.0f), std::fmax(largest_abs(v), 0.0f));
    float scale = 0;
    if (m > 0 && std::isfinite(m)) {
      const float p = std::pow(10.0f, std::floor(std::log10(m)));
      scale = std::floor(m / p) * p;
    }
    pcm->arrscl_size = 0.5f;
    pcm->arrscl_magnitude = scale;
    pcm->arrscl_set = 1;
  }
  gxcolr(pcm->ccolor < 0 ? 1 : pcm->ccolor);
  gxwide(pcm->cthick);
  // The first defined v report at each position is the partner.
  std::unordered_map<uint64_t, const station_report*> partner;
  for (const station_report* r = v->first_report; r; r = r->next)
    if (r->value != v->undef && !std::isnan(r->lat) && !std::isnan(r->lon))
      partner.emplace(position_key(r->lat, r->lon), r);
  for (const station_report* r = u->first_report; r; r = r->next) {
    if (r->value == u->undef) continue;
    const auto it = partner.find(position_key(r->lat, r->lon));
    if (it == partner.end()) continue;
    float x, y;
    if (!kastnpos(pcm, r, u->undef, true, &x, &y)) continue;
    const float uu = r->value, vv = it->second->value;
    float lon = r->lon;
    if (lon < pcm->dim_min[0]) lon += 360;
    if (lon > pcm->dim_max[0]) lon -= 360;
    const float dir = (uu == 0 && vv == 0) ? 0.0f : gxadir(lon, r->lat, uu, vv);
    const float speed = std::hypot(uu, vv);
    if (barbs) {
      const int hemi = pcm->hempref == 0 ? 0 : pcm->hempref == 1 ? 1 : (r->lat < 0 ? 1 : 0);
      kabarb(x, y, 3.5f * dig, 2 * dig, 0.25f * dig, dir, speed, hemi);
      gxmark(2, x, y, 0.5f * dig);
    } else {
      kaarrw(x, y, dir, kavlen(pcm, speed), pcm->arrowhead);
    }
  }
}

}  // namespace

void kapstn(session_state* pcm, plot_code code) {
  const bool wind = pcm->result_count >= 2 && (pcm->gxout_station == output_station_barb ||
                                               pcm->gxout_station == output_station_vector);
  if (wind && !held_stations(pcm, 1)) {
    kaprnt(msg_level::error, "Invalid data:  Station data required\n");
    return;
  }
  kastnmap(pcm);
  if (wind)
    winds(pcm, pcm->gxout_station == output_station_barb);
  else
    values(pcm);
  kastntail(pcm, code);
}
