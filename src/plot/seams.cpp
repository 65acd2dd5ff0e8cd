// Start of the graphics package for a session. Lives here until the plot
// dispatcher is built around it.
#include "core/session.h"
#include "gx/gx.h"
#include "plot/plot.h"

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
