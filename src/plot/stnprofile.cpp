// Vertical profiles of station data: each station's reports ordered from
// the highest level value down and drawn as its own line.
#include <cmath>
#include <cstring>
#include <vector>

#include "base/message.h"
#include "base/session.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot1d.h"
#include "plot/plot2d.h"
#include "plot/station.h"

namespace {

// Stations in order of first appearance; within one, each report goes
// before the first one of a lower level (equal levels keep their order).
void reorder(station_set* s) {
  std::vector<std::vector<station_report*>> runs;
  for (station_report* r = s->first_report; r; r = r->next) {
    std::vector<station_report*>* run = nullptr;
    for (auto& k : runs)
      if (std::memcmp(k.front()->stid, r->stid, 8) == 0) run = &k;
    if (!run) {
      runs.push_back({r});
      continue;
    }
    auto at = run->begin();
    while (at != run->end() && !((*at)->lev < r->lev)) ++at;
    run->insert(at, r);
  }
  station_report** link = &s->first_report;
  station_report* last = nullptr;
  for (auto& run : runs)
    for (station_report* r : run) {
      *link = r;
      link = &r->next;
      last = r;
    }
  *link = nullptr;
  s->last_report = last;
  s->append_link = link;
}

}  // namespace

void kapprf(session_state* pcm, plot_code code) {
  station_set* s = held_stations(pcm, 0);
  reorder(s);
  if (!s->first_report) {
    kaprnt(msg_level::error, "No station values to plot\n");
    return;
  }
  // From the first defined value: any start would bound values beyond it.
  float min = 0, max = 0;
  bool any = false;
  for (const station_report* r = s->first_report; r; r = r->next) {
    if (r->value == s->undef) continue;
    min = any ? std::fmin(min, r->value) : r->value;
    max = any ? std::fmax(max, r->value) : r->value;
    any = true;
  }
  if (!any) {
    kaprnt(msg_level::error, "All stations values are undefined\n");
    return;
  }
  kas1d(pcm, min, max, 2, graph_rotation_for(2, pcm->xyrev), nullptr, s);
  gxstyl(pcm->cstyle);
  gxcolr(pcm->ccolor < 1 ? 1 : pcm->ccolor);
  gxwide(pcm->cthick);
  gxclip(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high);
  pen_code pen = pen_code::move;
  const station_report* prev = nullptr;
  for (const station_report* r = s->first_report; r; r = r->next) {
    // A new station always starts a new line, whatever lies between.
    if (!prev || std::memcmp(prev->stid, r->stid, 8) != 0) pen = pen_code::move;
    prev = r;
    if (r->value == s->undef) {
      if (pcm->missconn == 0) pen = pen_code::move;
      continue;
    }
    float x, y;
    if (pcm->xyrev)
      gxconv(r->lev, r->value, &x, &y, coord_level::world);
    else
      gxconv(r->value, r->lev, &x, &y, coord_level::world);
    gxplot(x, y, pen);
    pen = pen_code::draw;
  }
  gxclip(0, pcm->page_width, 0, pcm->page_height);
  if (pcm->xyrev)
    kaaxpl(pcm, axis_code::lev, axis_code::value);
  else
    kaaxpl(pcm, axis_code::value, axis_code::lev);
  kastn1dtail(pcm, code);
}
