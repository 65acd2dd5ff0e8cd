// Line, bar and error-bar graphs of a 1-D grid, vectors or barbs along a
// line, and the scaling every 1-D plot shares.
#include <cmath>
#include <cstdio>
#include <utility>

#include "base/alloc.h"
#include "base/message.h"
#include "base/session.h"
#include "base/timecal.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot1d.h"
#include "plot/plot2d.h"
#include "plot/plotvec.h"

namespace {

dimension_op as_op(conversion_fn f) { return reinterpret_cast<dimension_op>(f); }

size_t scaling_words(const float* a, int linear, int dim) {
  if (!a) return 0;
  if (dim == 3) return 8;
  if (linear) return 3;
  const int n = static_cast<int>(a[0]);
  return n > 0 ? size_t(n) + 2 : 0;
}

bool defined(const grid_field* g, int i) { return g->values[i - 1] != g->undef; }
float value(const grid_field* g, int i) { return g->values[i - 1]; }

// A second (or third) grid along the same points as the first.
bool same_line(const session_state* pcm, int k, const grid_field* g) {
  const grid_field* h = held_grid(pcm, k);
  if (!h) return false;
  return h->idim == g->idim && h->jdim == g->jdim && h->isiz == g->isiz && !kagchk(g, h, g->idim) &&
         !kagchk(g, h, g->jdim);
}

// Page position of grid point i with value v; rotated graphs put the value
// along x.
void page(bool rotate, float i, float v, float* x, float* y) {
  if (rotate)
    gxconv(v, i, x, y, coord_level::grid);
  else
    gxconv(i, v, x, y, coord_level::grid);
}

// The mark drawn in the background colour under an open mark, or 0.
int background_mark(int m) {
  if (m == 1) return 4;
  return (m == 2 || m == 4 || m == 8) ? m + 1 : 0;
}

// What the display list takes for the line graph of g: a segment and the
// marks of every defined point, 2 bytes a word. A grid of tens of millions of
// points draws gigabytes, so the drawing is measured before it starts.
void reserve_line_graph(const session_state* pcm, const grid_field* g, int ngrid) {
  double points = 0;
  for (int i = 1; i <= g->isiz; i++) points += defined(g, i) ? 1 : 0;
  double words = pcm->cstyle != 0 && ngrid < 3 ? kSegmentWords : 0;
  if (const int m = pcm->cmark; m > 0) {
    const float size = pcm->digsiz + 0.01f;
    words += gxmark_words(m, size);
    if (const int b = background_mark(m)) words += gxmark_words(b, size) + 2 * kColourWords;
  }
  kareserve(double(g->isiz), points * words * sizeof(int16_t));
}

void line_graph(session_state* pcm, const grid_field* g, bool rotate, int ngrid) {
  if (pcm->cstyle != 0 && ngrid < 3) {
    pen_code pen = pen_code::move;
    for (int i = 1; i <= g->isiz; i++) {
      if (!defined(g, i)) {
        if (pcm->missconn == 0) pen = pen_code::move;
        continue;
      }
      float x, y;
      page(rotate, float(i), value(g, i), &x, &y);
      gxplot(x, y, pen);
      pen = pen_code::draw;
    }
  }
  if (pcm->cmark > 0) {
    gxstyl(1);
    const float size = pcm->digsiz + 0.01f;
    const int m = pcm->cmark;
    for (int i = 1; i <= g->isiz; i++) {
      if (!defined(g, i)) continue;
      float x, y;
      page(rotate, float(i), value(g, i), &x, &y);
      if (const int b = background_mark(m)) {
        gxcolr(gxqbck());
        gxmark(b, x, y, size);
        gxcolr(pcm->ccolor);
      }
      gxmark(m, x, y, size);
    }
  }
}

// Vectors or barbs of the second (u) and third (v) grids along the line.
void line_vectors(session_state* pcm, const grid_field* g, grid_field* u, grid_field* v,
                  bool rotate) {
  const bool barbs = pcm->gxout_1d_vector == output_line_barb;
  if (!barbs) {
    kamnmx(u);
    kamnmx(v);
    kavscl(pcm, u, v);
  }
  const float d = pcm->digsiz;
  for (int i = 1; i <= g->isiz; i++) {
    if (!defined(g, i) || !defined(u, i) || !defined(v, i)) continue;
    float x, y;
    page(rotate, float(i), value(g, i), &x, &y);
    const float uu = value(u, i), vv = value(v, i);
    const float dir = (uu == 0 && vv == 0) ? 0.0f : std::atan2(vv, uu);
    const float speed = std::hypot(uu, vv);
    if (barbs) {
      int south;
      if (pcm->hempref == 0) {
        south = 0;
      } else if (pcm->hempref == 1) {
        south = 1;
      } else if (u->idim == 1) {
        float wx, wy;
        if (rotate)
          kaconv(value(g, i), float(i), &wx, &wy);
        else
          kaconv(float(i), value(g, i), &wx, &wy);
        south = (rotate ? wy : wx) < 0 ? 1 : 0;
      } else {
        south = pcm->dim_min[1] < 0 ? 1 : 0;
      }
      kabarb(x, y, 3.5f * d, 2.0f * d, 0.25f * d, dir, speed, south);
    } else {
      kaarrw(x, y, dir, kavlen(pcm, speed), pcm->arrowhead);
    }
  }
}

void bar_graph(session_state* pcm, const grid_field* g, const grid_field* g2, bool rotate,
               graph_kind kind) {
  const float h = 0.5f - float(pcm->bargap) * 0.5f / 100.0f;
  // Along the value axis, page inches: x when rotated, else y.
  const float lo = rotate ? pcm->plot_x_low : pcm->plot_y_low;
  const float hi = rotate ? pcm->plot_x_high : pcm->plot_y_high;
  float base;
  if (pcm->barbase_mode == 1) {
    float x, y;
    page(rotate, 1.0f, pcm->barbase_value, &x, &y);
    base = rotate ? x : y;
    if (base < lo || base > hi) {
      kaprnt(msg_level::error, "Error drawing bargraph: base value out of range\n");
      kaprnt(msg_level::error, "    Drawing graph from bottom\n");
      kaprntout("%g \n", double(pcm->barbase_value));
      std::fflush(stdout);
      base = lo;
    }
  } else {
    base = pcm->barbase_mode == 0 ? lo : hi;
  }
  // Page point of (along the dimension, along the values).
  auto put = [&](float a, float b, float* x, float* y) {
    *x = rotate ? b : a;
    *y = rotate ? a : b;
  };
  for (int i = 1; i <= g->isiz; i++) {
    if (!defined(g, i) || (g2 && !defined(g2, i))) continue;
    float px, py, alo, ahi, amid, b1, b2;
    page(rotate, float(i) - h, value(g, i), &px, &py);
    alo = rotate ? py : px;
    b1 = rotate ? px : py;
    page(rotate, float(i) + h, value(g, i), &px, &py);
    ahi = rotate ? py : px;
    page(rotate, float(i), value(g, i), &px, &py);
    amid = rotate ? py : px;
    if (g2) {
      page(rotate, float(i), value(g2, i), &px, &py);
      b2 = rotate ? px : py;
    } else {
      b2 = base;
    }
    float x, y;
    if (kind == graph_kind::bar) {
      if (pcm->baropts_outline == 0) {
        if (rotate)
          gxrecf(b1, b2, alo, ahi);
        else
          gxrecf(alo, ahi, b1, b2);
      } else {
        const float corners[5][2] = {{alo, b1}, {alo, b2}, {ahi, b2}, {ahi, b1}, {alo, b1}};
        for (int k = 0; k < 5; k++) {
          put(corners[k][0], corners[k][1], &x, &y);
          gxplot(x, y, k == 0 ? pen_code::move : pen_code::draw);
        }
      }
    } else {
      const float strokes[3][4] = {{amid, b1, amid, b2}, {alo, b1, ahi, b1}, {alo, b2, ahi, b2}};
      for (const auto& s : strokes) {
        put(s[0], s[1], &x, &y);
        gxmove(x, y);
        put(s[2], s[3], &x, &y);
        gxdraw(x, y);
      }
    }
  }
}

}  // namespace

void kas1d(session_state* pcm, float min, float max, int dim, graph_rotation rotation,
           grid_field* grid, station_set* stations) {
  const bool rotate = rotation == graph_rotation::dimension_on_y;
  kasdiv(1, 1);
  gxrset(coord_level::grid);
  kaparea(pcm, 2.0f, 0.5f, 0.75f, 0.75f);
  if (!pcm->parea_set) {
    if (rotate) {
      const float mid = pcm->page_width / 2, third = pcm->page_height / 3;
      pcm->plot_x_low = std::fmax(mid - third, 1.0f);
      pcm->plot_x_high = std::fmin(mid + third, pcm->page_width - 0.5f);
    }
  }

  float interval = 0, first = 0, last = 0, vlo, vhi;
  kacsel(min, max, &interval, &first, &last);
  if (interval == 0) {
    float axis[3];
    constant_axis(min, axis);
    vlo = axis[0];
    vhi = axis[1];
    interval = axis[2];
  } else {
    vlo = first - 2 * interval;
    vhi = last + 2 * interval;
  }
  bool automatic = true;
  const float* kept = pcm->vrange;
  if (pcm->vrange_set == -1 || (rotate && pcm->frame_pass != 0)) {
    if (kept[0] != 0 || kept[1] != 0) {
      vlo = kept[0];
      vhi = kept[1];
      interval = kept[2];
    }
    automatic = false;
  } else if (pcm->vrange_set == 1 && min > kept[0] - 2 * kept[2] && max < kept[1] + 2 * kept[2]) {
    vlo = kept[0];
    vhi = kept[1];
    interval = kept[2];
    automatic = false;
  }
  if (!pcm->ylpos_set && automatic && pcm->ylpos_work > 0)
    pcm->ylpos_offset -= pcm->ylpos_work + 0.1f;
  pcm->ylpos_work = 0;

  float dlo, dhi;
  double base = 0;  // of a time axis, whose world is grid coordinates less it
  if (dim == 3) {
    const float* ts =
        grid ? grid->i_world_vals : (stations ? stations->time_scaling_copy : nullptr);
    const double lo = ts ? t2gr_exact(ts, &pcm->time_start) : 1.0;
    const double hi = ts ? t2gr_exact(ts, &pcm->time_end) : 1.0;
    base = katbase(lo, hi);
    dlo = static_cast<float>(lo - base);
    dhi = static_cast<float>(hi - base);
  } else {
    dlo = pcm->dim_min[dim];
    dhi = pcm->dim_max[dim];
    if (dim == 2 && pcm->zlog) {
      if (dlo <= 0 || dhi <= 0) {
        kaprnt(msg_level::info, "Cannot use log scaling when coordinates <= 0\n");
        kaprnt(msg_level::info, "Linear scaling used\n");
      } else {
        gxproj(rotate ? kalny : kalnx);
        gxback(rotate ? kaalny : kaalnx);
        dlo = std::log(dlo);
        dhi = std::log(dhi);
      }
    }
  }

  pcm->last_plot_idim = rotate ? 4 : dim;
  pcm->last_plot_scaling.time_base = base;
  pcm->last_plot_jdim = rotate ? dim : 4;
  const int side = rotate ? 1 : 0;
  for (int k = 0; k < 4; k++) kasetlp(pcm, k, nullptr, nullptr, 0);
  if (grid) {
    kasetlp(pcm, side, as_op(grid->i_to_world), grid->i_world_vals,
            scaling_words(grid->i_world_vals, grid->i_linear, dim));
    kasetlp(pcm, side + 2, as_op(grid->i_to_grid), grid->i_grid_vals,
            scaling_words(grid->i_grid_vals, grid->i_linear, dim));
  } else if (stations && dim == 3) {
    kasetlp(pcm, side, nullptr, stations->time_scaling_copy, 8);
  }

  float x1 = rotate ? vlo : dlo, x2 = rotate ? vhi : dhi;
  float y1 = rotate ? dlo : vlo, y2 = rotate ? dhi : vhi;
  if (pcm->xflip) std::swap(x1, x2);
  if (pcm->yflip) std::swap(y1, y2);
  gxscal(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high, x1, x2, y1, y2);

  if (grid) {
    const conversion_fn fn = dim == 3 ? nullptr : grid->i_to_world;
    const auto off = static_cast<float>(grid->dim_min[dim] - 1 - base);
    if (rotate)
      kasconv(nullptr, nullptr, 0, fn, grid->i_world_vals, off);
    else
      kasconv(fn, grid->i_world_vals, off, nullptr, nullptr, 0);
    gxgrid(kaconv);
  }

  pcm->vrange[0] = vlo;
  pcm->vrange[1] = vhi;
  pcm->vrange[2] = interval;
  if (pcm->vrange_set == 0) pcm->vrange_set = 1;
  kafram(pcm);
}

void kagrph(session_state* pcm, graph_kind kind, plot_code code) {
  grid_field* g = held_grid(pcm, 0);
  kamnmx(g);
  if (g->min_value == g->undef) {
    kaprnt(msg_level::info, "Cannot plot data - all undefined values \n");
    gxcolr(1);
    if (pcm->datawarn) gxchpl("Entire Grid Undefined", 21, 3.0f, 4.5f, 0.3f, 0.25f, 0);
    return;
  }
  float min = g->min_value, max = g->max_value;
  grid_field* g2 = nullptr;
  grid_field* g3 = nullptr;
  if (pcm->result_count >= 2) {
    if (!same_line(pcm, 1, g)) {
      kaprnt(msg_level::error, "Error in line/bar graph:  Invalid 2nd field");
      kaprnt(msg_level::error, "   2nd grid ignored -- has different scaling");
    } else {
      g2 = held_grid(pcm, 1);
      // Bars and error bars draw the second grid too: the value axis must
      // hold it, or the tops are cut off at the frame.
      if (kind != graph_kind::line) {
        kamnmx(g2);
        if (g2->min_value == g2->undef) {
          kaprnt(msg_level::info, "Cannot plot data - 2nd arg all undefined values \n");
          return;
        }
        min = std::fmin(min, g2->min_value);
        max = std::fmax(max, g2->max_value);
      }
      if (pcm->result_count >= 3) {
        if (!same_line(pcm, 2, g)) {
          kaprnt(msg_level::error, "Error in line/bar graph:  Invalid 3rd field");
          kaprnt(msg_level::error, "   3rd grid ignored -- has different scaling");
        } else {
          g3 = held_grid(pcm, 2);
        }
      }
    }
  }
  if (kind == graph_kind::line) reserve_line_graph(pcm, g, g3 ? 3 : 1);
  const graph_rotation rotation = graph_rotation_for(g->idim, pcm->xyrev);
  const bool rotate = rotation == graph_rotation::dimension_on_y;
  kas1d(pcm, min, max, g->idim, rotation, g, nullptr);

  if (pcm->ccolor < 0) pcm->ccolor = 1;
  gxcolr(pcm->ccolor);
  gxstyl(pcm->cstyle);
  gxwide(pcm->cthick);
  gxclip(pcm->plot_x_low - 0.01f, pcm->plot_x_high + 0.01f, pcm->plot_y_low, pcm->plot_y_high);
  if (kind == graph_kind::line) {
    line_graph(pcm, g, rotate, g3 ? 3 : 1);
    if (g3) line_vectors(pcm, g, g2, g3, rotate);
  } else {
    bar_graph(pcm, g, g2, rotate, kind);
  }
  if (rotate)
    kaptail(pcm, code, tail_frame::skip, axis_code::value, dimension_axis(g->idim));
  else
    kaptail(pcm, code, tail_frame::skip, dimension_axis(g->idim), axis_code::value);
}
