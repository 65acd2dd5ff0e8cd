// Scatter plot of one grid against another, on value axes that later
// scatter plots of the frame share.
#include <cstdio>

#include "base/message.h"
#include "base/session.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot2d.h"
#include "plot/plotvec.h"

namespace {

// Axis ends and interval: the fixed range when set, else two label
// intervals beyond the data's round labels, or a constant's axis.
void axis_range(int set, const float* fixed, float lo, float hi, float* out) {
  if (set) {
    out[0] = fixed[0];
    out[1] = fixed[1];
    out[2] = fixed[2];
    return;
  }
  float interval = 0, first = 0, last = 0;
  kacsel(lo, hi, &interval, &first, &last);
  if (interval == 0) {
    constant_axis(lo, out);
  } else {
    out[0] = first - 2 * interval;
    out[1] = last + 2 * interval;
    out[2] = interval;
  }
}

}  // namespace

void kascat(session_state* pcm, plot_code code) {
  if (pcm->result_count < 2) {
    kaprnt(msg_level::error, "Error plotting scatter field:  Only one grid provided\n");
    kaplot_refuse();
    return;
  }
  if (!held_grid(pcm, 0) || !held_grid(pcm, 1)) {
    kaprnt(msg_level::error, "Error plotting scatter field:  stn argument(s) used\n");
    kaplot_refuse();
    return;
  }
  grid_field* a = held_grid(pcm, 0);
  grid_field* b = held_grid(pcm, 1);
  if (a->idim != b->idim || a->jdim != b->jdim || a->isiz != b->isiz || a->jsiz != b->jsiz ||
      kagchk(a, b, a->idim) || kagchk(a, b, a->jdim)) {
    kaprnt(msg_level::error, "Error plotting scatter plot:  Invalid grids\n");
    kaprnt(msg_level::error, "   The two grids have difference scaling\n");
    kaplot_refuse();
    return;
  }
  pcm->last_plot_idim = pcm->last_plot_jdim = 4;
  kamnmx(a);
  kamnmx(b);
  if (a->min_value == a->undef) {
    kaprnt(msg_level::info, "Cannot draw scatter plot -- 1st field all undefined\n");
    return;
  }
  if (b->min_value == b->undef) {
    kaprnt(msg_level::info, "Cannot draw scatter plot -- 2nd field all undefined\n");
    return;
  }
  kaparea(pcm, 2.0f, 1.5f, 1.0f, 1.0f);
  gxrset(coord_level::grid);
  kafram(pcm);
  gxwide(pcm->cthick);
  kasdiv(1, 1);
  float xr[3], yr[3];
  axis_range(pcm->vrange_set, pcm->vrange, a->min_value, a->max_value, xr);
  axis_range(pcm->vrange2_set, pcm->vrange2, b->min_value, b->max_value, yr);
  kaprntout("%g %g %g %g \n", double(xr[0]), double(xr[1]), double(yr[0]), double(yr[1]));
  std::fflush(stdout);
  gxscal(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high, xr[0], xr[1], yr[0],
         yr[1]);

  gxcolr(pcm->ccolor < 0 ? 1 : pcm->ccolor);
  gxwide(pcm->cthick);
  gxclip(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high);
  const size_t n = size_t(a->isiz) * size_t(a->jsiz);
  for (size_t k = 0; k < n; k++) {
    if (a->values[k] == a->undef || b->values[k] == b->undef) continue;
    float x, y;
    gxconv(a->values[k], b->values[k], &x, &y, coord_level::projection_plane);
    gxmark(pcm->cmark, x, y, 0.5f * pcm->digsiz);
  }
  gxclip(0, pcm->page_width, 0, pcm->page_height);

  // Each axis reads its range from the value-axis setting.
  gxcolr(pcm->annot_colour);
  gxwide(pcm->annot_thick - 3);
  for (int k = 0; k < 3; k++) pcm->vrange[k] = xr[k];
  kaaxis(plot_axis::x, pcm, axis_code::value);
  for (int k = 0; k < 3; k++) pcm->vrange[k] = yr[k];
  kaaxis(plot_axis::y, pcm, axis_code::value);
  for (int k = 0; k < 3; k++) {
    pcm->vrange[k] = xr[k];
    pcm->vrange2[k] = yr[k];
  }
  pcm->vrange_set = pcm->vrange2_set = 1;

  gxwide(3);
  gxstyl(1);
  if (xr[0] < 0 && xr[1] > 0) {
    float x, y;
    gxconv(0, yr[0], &x, &y, coord_level::projection_plane);
    gxmove(x, pcm->plot_y_low);
    gxdraw(x, pcm->plot_y_high);
  }
  if (yr[0] < 0 && yr[1] > 0) {
    float x, y;
    gxconv(xr[0], 0, &x, &y, coord_level::projection_plane);
    gxmove(pcm->plot_x_low, y);
    gxdraw(pcm->plot_x_high, y);
  }
  gxcolr(pcm->annot_colour);
  gxwide(pcm->annot_thick - 3);
  if (pcm->frame_pass == 0 && pcm->logo)
    gxchpl("Vemra: ZIRM/WOBL", 16, 0.05f, 0.05f, 0.1f, 0.08f, 0);
  if (pcm->frame_pass == 0 && pcm->timelab) katmlb(pcm);
  kagsav(code, pcm);
  pcm->kind_pass[static_cast<int>(plot_code::vector)]++;
}
