// Grid-value plot: every value written as a number at its grid point, on
// optional grid lines, dimmed where a second grid masks it.
#include <cstdio>

#include "base/message.h"
#include "base/session.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/farside.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot2d.h"
#include "plot/plotvec.h"

namespace {

void grid_line(float i1, float j1, float i2, float j2) {
  seen_pen pen(coord_level::grid, false);
  pen.move(i1, j1);
  pen.draw(i2, j2);
}

}  // namespace

void kaplvl(session_state* pcm, plot_code code) {
  grid_field* g = held_grid(pcm, 0);
  grid_field* mask = nullptr;
  if (pcm->result_count > 1) {
    mask = held_grid(pcm, 1);
    if (!mask || mask->idim != g->idim || mask->jdim != g->jdim || mask->isiz != g->isiz ||
        mask->jsiz != g->jsiz || kagchk(g, mask, g->idim) || kagchk(g, mask, g->jdim)) {
      kaprnt(msg_level::error, "Error plotting grid values:  Invalid Mask grid");
      kaprnt(msg_level::error, "   Mask grid ignored -- has different scaling");
      mask = nullptr;
    }
  }
  g = kaplgrid(pcm, g);
  if (g && mask) mask = kaplgrid(pcm, mask);
  if (!g) return;
  gxstyl(1);
  gxwide(1);
  kas2d(pcm, g, true);
  kafram(pcm);
  gxwide(pcm->cthick);
  const int colour = pcm->ccolor < 0 ? 1 : pcm->ccolor;
  gxcolr(colour);
  gxstyl(1);
  gxclip(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high);

  if (pcm->gridln != -1) {
    if (pcm->gridln >= 0) gxcolr(pcm->gridln);
    for (int j = 1; j <= g->jsiz; j++) {
      for (int i = 1; i <= g->isiz; i++) {
        const float fi = float(i), fj = float(j);
        grid_line(fi + 0.5f, fj - 0.5f, fi + 0.5f, fj + 0.5f);
        grid_line(fi - 0.5f, fj + 0.5f, fi + 0.5f, fj + 0.5f);
      }
    }
  }

  const float size = pcm->digsiz;
  for (int j = 1; j <= g->jsiz; j++) {
    for (int i = 1; i <= g->isiz; i++) {
      const size_t k = size_t(j - 1) * size_t(g->isiz) + size_t(i - 1);
      const float value = g->values[k];
      if (value == g->undef) continue;
      if (!gxseen(float(i), float(j), coord_level::grid)) continue;
      if (mask && mask->values[k] <= 0) {
        gxwide(1);
        gxcolr(15);
      } else {
        gxwide(pcm->cthick);
        gxcolr(colour);
      }
      char text[64];
      int n = std::snprintf(text, sizeof text, "%.*f", pcm->dignum, double(value));
      if (n >= int(sizeof text)) n = int(sizeof text) - 1;
      float len = 0;
      gxchln(text, n, size, &len);
      float x, y;
      gxconv(float(i), float(j), &x, &y, coord_level::grid);
      gxchpl(text, n, x - len / 2, y - size / 2, size, size, 0);
    }
  }
  gxclip(0, pcm->page_width, 0, pcm->page_height);
  kaptail(pcm, code, tail_frame::skip, dimension_axis(g->idim), dimension_axis(g->jdim));
}
