// A batch page, a session holding station sets made in the test, and the
// frame read back from the display list, for the station plot tests.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/session.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/gx.h"
#include "gx/metafile.h"
#include "plot/plottype.h"
#include "support/stdout_capture.h"

namespace stntest {

constexpr float kUndef = -999;

struct op {
  char kind;  // m move, d draw, p polygon (its first point), r rectangle (xlo, ylo)
  float x, y;
  int colour = -1;
};

inline void new_page() {
  gxhlimits(0, 0);
  gxstrt(11, 8.5f, true);
  gxfrme(frame_action::clear);
}

// The frame's ops of the given kinds, only those in colour c unless c is -1.
inline std::vector<op> frame(const std::string& kinds, int c = -1) {
  struct sink : metafile_sink {
    std::vector<op> ops;
    int now = -1;
    void colour(int k) override { now = k; }
    void move(float x, float y) override { ops.push_back({'m', x, y, now}); }
    void draw(float x, float y) override { ops.push_back({'d', x, y, now}); }
    void polygon(const float* xy, int) override { ops.push_back({'p', xy[0], xy[1], now}); }
    void rect(float xlo, float, float ylo, float) override { ops.push_back({'r', xlo, ylo, now}); }
  } s;
  gxhwalk(stored_frame::drawing, s);
  std::vector<op> out;
  for (const op& o : s.ops)
    if (kinds.find(o.kind) != std::string::npos && (c == -1 || o.colour == c)) out.push_back(o);
  return out;
}

// Stored coordinates are thousandths of an inch.
inline bool near(const op& o, char kind, float x, float y) {
  return o.kind == kind && std::fabs(o.x - x) < 0.0015f && std::fabs(o.y - y) < 0.0015f;
}
inline bool has(const std::vector<op>& ops, char kind, float x, float y) {
  for (const op& o : ops)
    if (near(o, kind, x, y)) return true;
  return false;
}

struct report {
  const char* id;
  float lon, lat, value, lev = 0, time = 1;
};

// The scaled map of lon 0..90 by lat 0..70 on the plot area 1..10 by 1..8:
// (lon, lat) at (1 + lon/10, 1 + lat/10); digsiz 0.1, colour 0.
struct Session {
  std::unique_ptr<session_state> s = std::make_unique<session_state>();
  Session() {
    new_page();
    s->mpdraw = s->logo = s->timelab = s->grid = s->xlab = s->ylab = s->frame = s->ccolor = 0;
    s->mproj = map_projection::scaled;
    s->parea_set = 1;
    const float area[4] = {1, 10, 1, 8};
    std::memcpy(s->parea, area, sizeof area);
    s->dim_max[0] = 90;
    s->dim_max[1] = 70;
    s->digsiz = 0.1f;
    s->annot_colour = 15;
  }
  session_state* operator->() { return s.get(); }
  station_set* add(const std::vector<report>& rs, int idim = 0, int jdim = 1) {
    auto* set = static_cast<station_set*>(std::calloc(1, sizeof(station_set)));
    set->undef = kUndef;
    set->idim = idim;
    set->jdim = jdim;
    for (const report& r : rs) {
      station_report* p = kaarpt(set);
      *p = {p->next, {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '}, r.lat, r.lon, r.lev, r.time,
            r.value};
      std::memcpy(p->stid, r.id, std::strlen(r.id));
      set->report_count++;
    }
    push(station_ptr(set));
    return set;
  }
  // A grid of one value, or varying along x when idim is 0.
  void add_grid(float v, int idim = -1) {
    auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
    g->values = idim < 0 ? &g->min_value : static_cast<float*>(std::calloc(1, sizeof(float)));
    *g->values = v;
    g->isiz = g->jsiz = 1;
    g->idim = idim;
    g->jdim = -1;
    push(grid_ptr(g));
  }
  void push(result_value r) {
    hold_result(s.get(), std::move(r));
    s->result_count++;
  }
  // Runs a station plot with the plot code of its output-type row.
  std::string run(plot_handler plot) {
    for (const plot_type& t : plot_types()) {
      if (t.handler != plot) continue;
      StdoutCapture cap;
      plot(s.get(), t.plot);
      return cap.text();
    }
    ADD_FAILURE() << "no output type draws with this routine";
    return {};
  }
};

inline float px(float lon) { return 1 + lon / 10; }
inline float py(float lat) { return 1 + lat / 10; }

}  // namespace stntest
