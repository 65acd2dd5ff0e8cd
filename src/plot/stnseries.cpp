// Time series of station data: the first station's values as a line, or
// every report as a weather symbol or a wind barb along the bottom.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/message.h"
#include "base/session.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot1d.h"
#include "plot/plot2d.h"
#include "plot/plotvec.h"
#include "plot/station.h"

namespace {

bool same_id(const station_report* a, const char* id) { return std::memcmp(a->stid, id, 8) == 0; }

void weather_row(session_state* pcm, const station_set* s) {
  const float bottom = pcm->plot_y_low, dig = pcm->digsiz;
  for (const station_report* r = s->first_report; r; r = r->next) {
    float x, y;
    gxconv(r->time, 0, &x, &y, coord_level::grid);
    if (r->value == s->undef) {
      // In the plot colour, whatever colours the symbol before took.
      gxcolr(pcm->ccolor);
      gxchpl("M", 1, x, bottom, dig, dig, 0);
    } else
      wxsym(x, bottom, 1.5f * dig, kaclampi(double(r->value) + 0.5), -1, pcm->wxcols);
  }
}

void barb_row(session_state* pcm, const station_set* u, const station_set* v) {
  const float bottom = pcm->plot_y_low, dig = pcm->digsiz;
  const station_report* rv = v->first_report;
  for (const station_report* ru = u->first_report; ru && rv; ru = ru->next, rv = rv->next) {
    if (ru->value == u->undef || rv->value == v->undef) continue;
    float x, y;
    gxconv(ru->time, ru->value, &x, &y, coord_level::grid);
    const float uu = ru->value, vv = rv->value;
    const float dir = (uu == 0 && vv == 0) ? 0.0f : std::atan2(vv, uu);
    const int hemi = pcm->hempref == 0 ? 0 : pcm->hempref == 1 ? 1 : (ru->lat < 0 ? 1 : 0);
    kabarb(x, bottom, 3.5f * dig, 2 * dig, 0.25f * dig, dir, std::hypot(uu, vv), hemi);
  }
}

void line(session_state* pcm, const station_set* s, const char* id) {
  auto point = [&](const station_report* r, float* x, float* y) {
    if (pcm->xyrev)
      gxconv(r->value, r->time, x, y, coord_level::grid);
    else
      gxconv(r->time, r->value, x, y, coord_level::grid);
  };
  gxclip(pcm->plot_x_low - 0.01f, pcm->plot_x_high + 0.01f, pcm->plot_y_low, pcm->plot_y_high);
  if (pcm->cstyle != 0) {
    pen_code pen = pen_code::move;
    bool had = false;
    float last = 0;
    for (const station_report* r = s->first_report; r; r = r->next) {
      if (!same_id(r, id)) continue;
      if (r->value == s->undef) {
        if (pcm->missconn == 0) pen = pen_code::move;
      } else {
        if (pcm->missconn == 0 && had && r->time - last > 1.0f) pen = pen_code::move;
        float x, y;
        point(r, &x, &y);
        gxplot(x, y, pen);
        pen = pen_code::draw;
      }
      had = true;
      last = r->time;
    }
  }
  if (pcm->cmark > 0) {
    const float size = pcm->digsiz + 0.01f;
    for (const station_report* r = s->first_report; r; r = r->next) {
      if (!same_id(r, id) || r->value == s->undef) continue;
      float x, y;
      point(r, &x, &y);
      if (pcm->cmark == 1 || pcm->cmark == 2 || pcm->cmark == 4) {
        gxcolr(gxqbck());
        gxmark(pcm->cmark == 1 ? 4 : pcm->cmark + 1, x, y, size);
        gxcolr(pcm->ccolor);
      }
      gxmark(pcm->cmark, x, y, size);
    }
  }
  gxclip(0, pcm->page_width, 0, pcm->page_height);
  if (pcm->xyrev)
    kaaxpl(pcm, axis_code::value, axis_code::time);
  else
    kaaxpl(pcm, axis_code::time, axis_code::value);
}

}  // namespace

void kastn1dtail(session_state* pcm, plot_code code) {
  gxwide(pcm->annot_thick - 3);
  gxcolr(pcm->annot_colour);
  if (pcm->frame_pass == 0) {
    if (pcm->logo) gxchpl("Vemra: ZIRM/WOBL", 16, 0.05f, 0.05f, 0.1f, 0.08f, 0);
    if (pcm->timelab) katmlb(pcm);
  }
  kagsav(code, pcm);
}

void katser(session_state* pcm, plot_code code) {
  station_set* s = held_stations(pcm, 0);
  if (!s->first_report) {
    kaprnt(msg_level::error, "No stations to plot\n");
    return;
  }
  // Reports keep their times in float, which past 2^24 steps names a
  // neighbour: such a series is refused rather than drawn out of place.
  if (time_axis_base(pcm, s->time_scaling_copy) != 0) {
    kaprnt(msg_level::error,
           "DISPLAY error:  station times past 16777216 steps cannot be placed\n");
    kaplot_refuse();
    return;
  }
  const series_output mode = pcm->gxout_sub;
  if (mode == output_series_barb && (pcm->result_count < 2 || !held_stations(pcm, 1))) {
    kaprnt(msg_level::error, "Invalid data:  Station data required\n");
    return;
  }
  char id[8];
  std::memcpy(id, s->first_report->stid, 8);
  // From the first defined value: any start would bound values beyond it.
  float min = 0, max = 0;
  bool any = false;
  for (const station_report* r = s->first_report; r; r = r->next) {
    if (!same_id(r, id) || r->value == s->undef) continue;
    min = any ? std::fmin(min, r->value) : r->value;
    max = any ? std::fmax(max, r->value) : r->value;
    any = true;
  }
  if (!any) {
    kaputout("All stations undefined for this variable\n");
    std::fflush(stdout);
    return;
  }
  if (mode != output_series_plain) {
    const int frame = pcm->frame;
    pcm->frame = 0;
    kas1d(pcm, min, max, 3, graph_rotation_for(3, pcm->xyrev), nullptr, s);
    pcm->frame = frame;
  } else {
    kas1d(pcm, min, max, 3, graph_rotation_for(3, pcm->xyrev), nullptr, s);
  }
  if (pcm->ccolor < 0) pcm->ccolor = 1;
  gxcolr(pcm->ccolor);
  gxstyl(pcm->cstyle < 1 ? 1 : pcm->cstyle);
  gxwide(pcm->cthick);
  switch (mode) {
    case output_series_wx: weather_row(pcm, s); break;
    case output_series_barb: barb_row(pcm, s, held_stations(pcm, 1)); break;
    default: line(pcm, s, id); break;
  }
  kastn1dtail(pcm, code);
}
