// A batch page and a session holding station sets made in the test, for the
// station plot tests; what was drawn is read back through drawn.h.
#pragma once

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/session.h"
#include "data/result.h"
#include "plot/drawn.h"
#include "support/stdout_capture.h"

namespace stntest {

constexpr float kUndef = -999;

struct report {
  const char* id;  // up to 8 characters, blank-padded in the report
  float lon, lat, value;
  float lev = 0, time = 1;
};

struct Session {
  std::unique_ptr<session_state> s = std::make_unique<session_state>();

  // The scaled map over lon 0..90, lat 0..70 on the plot area 1..10 by
  // 1..8: one tenth of an inch a degree, (lon, lat) at (1 + lon/10, 1 + lat/10).
  Session() {
    drawn::new_page();
    s->batch = 1;
    s->mpdraw = s->logo = s->timelab = s->grid = s->xlab = s->ylab = 0;
    s->frame = 0;
    s->mproj = map_projection::scaled;
    s->parea_set = 1;
    s->parea[0] = 1;
    s->parea[1] = 10;
    s->parea[2] = 1;
    s->parea[3] = 8;
    s->dim_min[0] = 0;
    s->dim_max[0] = 90;
    s->dim_min[1] = 0;
    s->dim_max[1] = 70;
    s->ccolor = 0;
    s->annot_colour = 15;
  }
  ~Session() {
    for (int k = 0; k < s->result_count; k++) {
      if (s->result_type[k] == 1) kagfre(static_cast<grid_field*>(s->result[k]));
      else kasfre(static_cast<station_set*>(s->result[k]));
    }
  }
  session_state* operator->() { return s.get(); }
  session_state* get() { return s.get(); }

  station_set* add(const std::vector<report>& rs, int idim = 0, int jdim = 1) {
    auto* set = static_cast<station_set*>(std::calloc(1, sizeof(station_set)));
    set->undef = kUndef;
    set->idim = idim;
    set->jdim = jdim;
    for (const report& r : rs) {
      station_report* p = kaarpt(set);
      std::memset(p->stid, ' ', 8);
      std::memcpy(p->stid, r.id, std::min<size_t>(8, std::strlen(r.id)));
      p->lon = r.lon;
      p->lat = r.lat;
      p->lev = r.lev;
      p->time = r.time;
      p->value = r.value;
      set->report_count++;
    }
    push(set, 0);
    return set;
  }
  // A grid of one value (no varying dimension).
  grid_field* add_value(float v) {
    auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
    g->values = &g->min_value;
    g->min_value = g->max_value = v;
    g->undef = kUndef;
    g->isiz = g->jsiz = 1;
    g->idim = g->jdim = -1;
    push(g, 1);
    return g;
  }
  void push(void* r, int type) {
    s->result_type[s->result_count] = type;
    s->result[s->result_count++] = r;
    s->result_held = s->result_count;
  }

  // Runs the plot; returns what it printed.
  template <typename F>
  std::string run(F fn) {
    StdoutCapture cap;
    fn(s.get());
    return cap.text();
  }
};

// Page position of (lon, lat) on the test map.
inline float px(float lon) { return 1 + lon / 10; }
inline float py(float lat) { return 1 + lat / 10; }

}  // namespace stntest
