// Streamline plot of a u and a v grid, optionally coloured by a third.
#include "base/session.h"
#include "data/result.h"
#include "gx/gx.h"
#include "gx/strm.h"
#include "plot/plot.h"
#include "plot/plot2d.h"
#include "plot/plotvec.h"

void kastrm(session_state* pcm, plot_code code) {
  grid_field *u, *v, *c;
  if (kavset(pcm, 1, &u, &v, &c)) return;
  gxcolr(pcm->ccolor < 0 ? 1 : pcm->ccolor);
  gxstyl(pcm->cstyle);
  gxwide(pcm->cthick);
  gxclip(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high);
  gxstrm(u->values, v->values, c ? c->values : nullptr, u->isiz, u->jsiz, u->undef, v->undef,
         c ? c->undef : 0.0f, c ? 1 : 0, pcm->shade_levels, pcm->shade_colours, pcm->shade_count,
         pcm->strmden);
  gxclip(0, pcm->page_width, 0, pcm->page_height);
  kaptail(pcm, code, tail_frame::skip, dimension_axis(u->idim), dimension_axis(u->jdim));
}
