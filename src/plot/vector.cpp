// Vector arrows and wind barbs of a u and a v grid, optionally coloured by
// a third grid, with the reference arrow under the plot.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/message.h"
#include "base/session.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/farside.h"
#include "gx/gx.h"
#include "gx/proj.h"
#include "plot/plot.h"
#include "plot/plot2d.h"
#include "plot/plotvec.h"

namespace {

bool same_shape(const grid_field* a, const grid_field* b) {
  return a->idim == b->idim && a->jdim == b->jdim && a->isiz == b->isiz && a->jsiz == b->jsiz &&
         !kagchk(a, b, a->idim) && !kagchk(a, b, a->jdim);
}

bool is_grid(const session_state* pcm, int k) { return held_grid(pcm, k); }

float largest_abs(const grid_field* g) {
  return std::fmax(std::fabs(g->min_value), std::fabs(g->max_value));
}

// Barb hemisphere at a point of world position (wx, wy): 1 south.
int hemisphere(const session_state* pcm, const grid_field* g, float wx, float wy) {
  if (pcm->hempref == 0) return 0;
  if (pcm->hempref == 1) return 1;
  if (g->idim == 1) return wx < 0 ? 1 : 0;
  if (g->jdim == 1) return wy < 0 ? 1 : 0;
  return pcm->dim_min[1] < 0 ? 1 : 0;
}

}  // namespace

int kavset(session_state* pcm, int stream, grid_field** u, grid_field** v, grid_field** c) {
  const char* what = stream ? "streamlines" : "vector/barb field";
  *c = nullptr;
  if (pcm->result_count < 2) {
    kaprnt(msg_level::error, stream ? "Error plotting streamlines:  Only one grid provided\n"
                                    : "Error plotting vector field:  Only one grid provided\n");
    return 1;
  }
  grid_field* gu = held_grid(pcm, 0);
  grid_field* gv = held_grid(pcm, 1);
  if (!is_grid(pcm, 1) || !same_shape(gu, gv)) {
    kaprntf(msg_level::error, "Error plotting %s:  Invalid grids\n", what);
    kaprnt(msg_level::error, "   Vector component grids have difference scaling\n");
    return 1;
  }
  grid_field* gc = nullptr;
  if (pcm->result_count > 2) {
    gc = held_grid(pcm, 2);
    if (!is_grid(pcm, 2) || !same_shape(gu, gc)) {
      kaprntf(msg_level::error, "Error plotting %s:  Invalid color grid", what);
      kaprnt(msg_level::error, "   Color grid ignored -- has different scaling");
      gc = nullptr;
    }
  }
  gu = kaplgrid(pcm, gu);
  if (gu) gv = kaplgrid(pcm, gv);
  if (gu && gv && gc) gc = kaplgrid(pcm, gc);
  if (!gu || !gv) return 1;
  gxstyl(1);
  gxwide(1);
  kas2d(pcm, gu, true);
  kafram(pcm);
  kasdiv(1, 1);
  if (gc) {
    kamnmx(gc);
    if (gc->min_value == gc->undef) {
      kaprnt(msg_level::info, stream ? "Connot color vectors -- Color grid all undefined\n"
                                     : "Connot color vectors/barbs -- Color grid all undefined\n");
      gc = nullptr;
    } else {
      kaselc(gc->min_value, gc->max_value, pcm);
    }
  }
  *u = gu;
  *v = gv;
  *c = gc;
  return 0;
}

float kavscl(session_state* pcm, const grid_field* u, const grid_field* v) {
  if (pcm->arrscl_set) return pcm->arrscl_magnitude;
  // Extremes of the defined values only: an undefined value is no speed.
  const float m = std::hypot(largest_abs(u), largest_abs(v));
  float mag = 1.0f;
  if (m > 0 && std::isfinite(m)) {
    const float p = std::pow(10.0f, std::floor(std::log10(m)));
    mag = std::floor(m / p) * p;
    pcm->arrscl_size = 0.5f;
  }
  pcm->arrscl_magnitude = mag;
  pcm->arrscl_set = 1;
  return mag;
}

float kavlen(const session_state* pcm, float speed) {
  // Without a magnitude (or with one of 0) every arrow has the set length.
  const float mag = pcm->arrscl_magnitude;
  if (!(mag > 0)) return pcm->arrscl_size;
  return pcm->arrscl_size * speed / mag;
}

void kaarrw(float x, float y, float angle, float length, float head) {
  if (!(length >= 0.0001f)) {
    gxmark(2, x, y, 0.01f);
    return;
  }
  const float tx = x + length * std::cos(angle), ty = y + length * std::sin(angle);
  gxmove(x, y);
  gxdraw(tx, ty);
  if (head == 0) return;
  if (head < 0) head = -head * length;
  gxdraw(tx + head * std::cos(angle + 2.618f), ty + head * std::sin(angle + 2.618f));
  gxmove(tx, ty);
  gxdraw(tx + head * std::cos(angle - 2.618f), ty + head * std::sin(angle - 2.618f));
}

void kavect(session_state* pcm, vector_mode mode, plot_code code) {
  grid_field *u, *v, *c;
  if (kavset(pcm, 0, &u, &v, &c)) return;
  kamnmx(u);
  kamnmx(v);
  if (u->min_value == u->undef) {
    kaprnt(msg_level::info, "Cannot draw vectors/barbs -- U field all undefined\n");
    return;
  }
  if (v->min_value == v->undef) {
    kaprnt(msg_level::info, "Cannot draw vectors/barbs -- V field all undefined\n");
    return;
  }
  gxcolr(pcm->ccolor < 0 ? 1 : pcm->ccolor);
  gxstyl(1);
  gxwide(pcm->cthick);
  gxclip(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high);
  const float mag = mode == vector_mode::arrows ? kavscl(pcm, u, v) : 0;
  const bool map = u->idim == 0 && u->jdim == 1;
  int colour = pcm->ccolor < 0 ? 1 : pcm->ccolor;
  for (int j = 1; j <= u->jsiz; j++) {
    for (int i = 1; i <= u->isiz; i++) {
      const size_t k = size_t(j - 1) * size_t(u->isiz) + size_t(i - 1);
      const float uu = u->values[k], vv = v->values[k];
      if (uu == u->undef || vv == v->undef) continue;
      if (!gxseen(float(i), float(j), coord_level::grid)) continue;
      if (c) {
        const int sc = c->values[k] == c->undef ? 15 : kashdc(pcm, c->values[k]);
        if (sc < 0) continue;
        if (sc != colour) gxcolr(sc);
        colour = sc;
      }
      float x, y, wx, wy;
      gxconv(float(i), float(j), &x, &y, coord_level::grid);
      kaconv(float(i), float(j), &wx, &wy);
      // With xyrev the page's axes are exchanged: u goes up the page, v across.
      float dir = 0.0f;
      if (uu != 0 || vv != 0)
        dir = map ? gxadir(wx, wy, uu, vv) : pcm->xyrev ? std::atan2(uu, vv) : std::atan2(vv, uu);
      const float speed = std::hypot(uu, vv);
      if (mode == vector_mode::arrows) {
        kaarrw(x, y, dir, kavlen(pcm, speed), pcm->arrowhead);
      } else {
        const float d = pcm->digsiz;
        kabarb(x, y, 3.5f * d, 2.0f * d, 0.25f * d, dir, speed, hemisphere(pcm, u, wx, wy));
      }
    }
  }
  gxclip(0, pcm->page_width, 0, pcm->page_height);
  if (mode == vector_mode::arrows && pcm->arrlab && mag > 0) {
    gxcolr(pcm->annot_colour);
    gxwide(pcm->annot_thick - 2);
    const float len = pcm->arrscl_size;
    const float x = pcm->plot_x_high - 2.0f, y = pcm->plot_y_low - 0.5f;
    kaarrw(x, y, 0, len, pcm->arrowhead);
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%g", double(mag));
    gxchpl(text, n, x + len / 2 - float(n) * 0.065f, pcm->plot_y_low - 0.7f, 0.13f, 0.13f, 0);
  }
  kaptail(pcm, code, tail_frame::skip, dimension_axis(u->idim), dimension_axis(u->jdim));
}
