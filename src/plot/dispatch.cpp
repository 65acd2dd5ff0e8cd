// Plot start and dispatcher: one plot or output routine per display result,
// chosen by the output type and by the dimensions the result varies in.
#include <string>

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

lats_bridge_fn lats_bridge = nullptr;
constexpr int kLatsGrid = 3, kLatsWrite = 5;

// Routes whose plot routines are not part of this build yet.
void not_built(const char* what) {
  kaprnt(msg_level::error, std::string("DISPLAY error:  ") + what + " output is not available yet\n");
}

void station_plot(session_state* pcm) {
  const station_set* s = held_stations(pcm, 0);
  if (s->idim == 0 && s->jdim == 1) {
    switch (pcm->gxout_station) {
      case output_station_value:
      case output_station_barb:
      case output_station_vector: kapstn(pcm); break;
      case output_findstn: kafstn(pcm); break;
      case output_station_model: kapmdl(pcm); break;
      case output_stnmark: kasmrk(pcm); break;
      default: kawsym(pcm); break;
    }
  } else if (s->idim == 2 && s->jdim == -1) {
    kapprf(pcm);
  } else if (s->idim == 3 && s->jdim == -1) {
    katser(pcm);
  } else {
    kaprnt(msg_level::error, "Invalid stn data dimension environment\n");
  }
}

void grid_plot(session_state* pcm) {
  grid_field* g = held_grid(pcm, 0);
  const field_output out = pcm->gxout_2d;
  if (out == output_fwrite && (g->jdim == -1 || pcm->result_count == 1)) {
    kafwrt(pcm);
    return;
  }
  if ((out == output_latsgrid || out == output_latsdata) &&
      (g->jdim == -1 || pcm->result_count == 1)) {
    if (lats_bridge) lats_bridge(pcm, out == output_latsgrid ? kLatsGrid : kLatsWrite, 0);
    else not_built(out == output_latsgrid ? "latsgrid" : "latsdata");
    return;
  }
  if (g->idim == -1) {
    kaprntf(msg_level::result, "Result value = %g \n", double(g->values[0]));
    return;
  }
  if (g->jdim == -1) {
    if (pcm->gxout_2d_vector == output_scatter && pcm->result_count >= 2) kascat(pcm);
    else if (pcm->gxout_1d == output_line) kagrph(pcm, kGraphLine);
    else if (pcm->gxout_1d == output_bar) kagrph(pcm, kGraphBar);
    else if (pcm->gxout_1d == output_errbar) kagrph(pcm, kGraphErrorBar);
    else kalfil(pcm);
    return;
  }
  if (pcm->result_count == 1) {
    switch (out) {
      case output_contour: kacntr(pcm, 0); break;
      case output_shaded: kacntr(pcm, 1); break;
      case output_grid: kaplvl(pcm); break;
      case output_fgrid: kafgrd(pcm); break;
      default: kacntr(pcm, 2); break;
    }
    return;
  }
  switch (pcm->gxout_2d_vector) {
    case output_vector_grid: kaplvl(pcm); break;
    case output_vector: kavect(pcm, kArrows); break;
    case output_scatter: kascat(pcm); break;
    case output_stream: kastrm(pcm); break;
    default: kavect(pcm, kBarbs); break;
  }
}

}  // namespace

void kagx(session_state* pcm) {
  gxstrt(pcm->page_width, pcm->page_height, pcm->batch);
  pcm->frame_pass = 0;
  pcm->ccolor = -9;
  pcm->cint = 0;
  pcm->cstyle = -9;
  pcm->cthick = 3;
  pcm->shade_count = 0;
  pcm->last_plot_code = 0;
  pcm->last_plot_idim = pcm->last_plot_jdim = -1;
  for (auto& c : pcm->last_plot_scaling.conv) c = nullptr;
}

void kaplot_lats(lats_bridge_fn bridge) { lats_bridge = bridge; }

void kagsav(int code, session_state* pcm, const void*) { pcm->last_plot_code = code; }

int kaaddres(session_state* pcm, grid_field* grid) {
  if (held_count(pcm) >= kMaxResults) {
    kaprntf(msg_level::error, "DISPLAY error:  more than %i results in one display\n", kMaxResults);
    kagfre(grid);
    return 1;
  }
  hold_result(pcm, grid_ptr(grid));
  return 0;
}

void kaplot(session_state* pcm) {
  release_held(pcm, pcm->result_count);
  if (pcm->result_count < 1) return;
  // A flipped axis is drawn on a scaled map for this plot only.
  const map_projection mproj = pcm->mproj;
  if (mproj != map_projection::off && mproj != map_projection::scaled && (pcm->xflip || pcm->yflip))
    pcm->mproj = map_projection::scaled;
  switch (pcm->gxout_general) {
    case output_stat: kastts(pcm); break;
    case output_print: kadprnt(pcm); break;
    case output_writegds: kaoutgds(pcm); break;
    default:
      if (pcm->stat) kastts(pcm);
      if (!held_grid(pcm, 0)) station_plot(pcm);
      else grid_plot(pcm);
      break;
  }
  pcm->mproj = mproj;
}
