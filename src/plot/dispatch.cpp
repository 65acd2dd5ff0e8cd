// Plot start and dispatcher: one plot or output routine per display result,
// chosen by the output type and by the dimensions the result varies in.
#include <string>

#include "base/message.h"
#include "base/session.h"
#include "data/result.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot1d.h"
#include "plot/plot2d.h"
#include "plot/plotvec.h"

namespace {

// Routes whose plot routines are not part of this build yet.
void not_built(const char* what) {
  kaprnt(0, std::string("DISPLAY error:  ") + what + " output is not available yet\n");
}

void station_plot(session_state* pcm) {
  const station_set* s = static_cast<const station_set*>(pcm->result[0]);
  if (s->idim == 0 && s->jdim == 1) {
    switch (pcm->gxout_station) {
      case 1: case 2: case 6: not_built("station value, barb and vector"); break;
      case 3: not_built("nearest station"); break;
      case 4: not_built("station model"); break;
      case 7: not_built("station mark"); break;
      default: not_built("weather symbol"); break;
    }
  } else if (s->idim == 2 && s->jdim == -1) {
    not_built("vertical profile");
  } else if (s->idim == 3 && s->jdim == -1) {
    not_built("station time series");
  } else {
    kaprnt(0, "Invalid stn data dimension environment\n");
  }
}

void grid_plot(session_state* pcm) {
  grid_field* g = static_cast<grid_field*>(pcm->result[0]);
  const int out = pcm->gxout_2d;
  if (out == 7 && (g->jdim == -1 || pcm->result_count == 1)) {
    kafwrt(pcm);
    return;
  }
  if ((out == 20 || out == 21) && (g->jdim == -1 || pcm->result_count == 1)) {
    not_built(out == 20 ? "latsgrid" : "latsdata");
    return;
  }
  if (g->idim == -1) {
    kaprntf(2, "Result value = %g \n", double(g->values[0]));
    return;
  }
  if (g->jdim == -1) {
    if (pcm->gxout_2d_vector == 5 && pcm->result_count >= 2) kascat(pcm);
    else if (pcm->gxout_1d == 1) kagrph(pcm, kGraphLine);
    else if (pcm->gxout_1d == 2) kagrph(pcm, kGraphBar);
    else if (pcm->gxout_1d == 3) kagrph(pcm, kGraphErrorBar);
    else kalfil(pcm);
    return;
  }
  if (pcm->result_count == 1) {
    switch (out) {
      case 1: kacntr(pcm, 0); break;
      case 2: kacntr(pcm, 1); break;
      case 3: kaplvl(pcm); break;
      case 6: kafgrd(pcm); break;
      default: kacntr(pcm, 2); break;
    }
    return;
  }
  switch (pcm->gxout_2d_vector) {
    case 3: kaplvl(pcm); break;
    case 4: kavect(pcm, kArrows); break;
    case 5: kascat(pcm); break;
    case 8: kastrm(pcm); break;
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

void kagsav(int code, session_state* pcm, const void*) { pcm->last_plot_code = code; }

int kaaddres(session_state* pcm, grid_field* grid) {
  if (pcm->result_held >= kMaxResults) {
    kaprntf(0, "DISPLAY error:  more than %i results in one display\n", kMaxResults);
    kagfre(grid);
    return 1;
  }
  pcm->result_type[pcm->result_held] = 1;
  pcm->result[pcm->result_held++] = grid;
  return 0;
}

void kaplot(session_state* pcm) {
  pcm->result_held = pcm->result_count;
  if (pcm->result_count < 1) return;
  const int mproj = pcm->mproj;
  if (mproj > 1 && (pcm->xflip || pcm->yflip)) pcm->mproj = 1;
  switch (pcm->gxout_general) {
    case 1: kastts(pcm); break;
    case 2: kadprnt(pcm); break;
    case 3: kaoutgds(pcm); break;
    default:
      if (pcm->stat) kastts(pcm);
      if (pcm->result_type[0] != 1) station_plot(pcm);
      else grid_plot(pcm);
      break;
  }
  pcm->mproj = mproj;
}
