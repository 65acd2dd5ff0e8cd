// Plot scaling: the coordinate chain of a 2-D grid plot (plot area, world
// ranges, log level axes, map projections), the grid-to-world transform,
// transposed grids and the map outlines.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/alloc.h"
#include "base/message.h"
#include "base/session.h"
#include "base/timecal.h"
#include "data/result.h"
#include "gx/gx.h"
#include "gx/map.h"
#include "gx/proj.h"
#include "plot/plot.h"
#include "plot/plot2d.h"

namespace {

// Grid to world of the grid being plotted: set by the plot's scaling
// (kas2d, kasconv, kasdiv), read by kaconv until the next plot sets it.
struct grid_chain {
  conversion_fn iconv = nullptr, jconv = nullptr;  // null: the grid coordinate itself
  const float* ivars = nullptr;                    // their scaling arrays
  const float* jvars = nullptr;
  float ioffset = 0, joffset = 0;  // added to the grid coordinate first
  float idiv = 1, jdiv = 1;        // expansion of a refined grid
};

grid_chain chain;

// Words of a scaling array: a time axis 8, a linear half 3, a level list its
// count, the values and the end mark.
size_t scaling_words(const float* a, int linear, int dim) {
  if (!a) return 0;
  if (dim == 3) return 8;
  if (linear) return 3;
  int n = static_cast<int>(a[0]);
  return n > 0 ? size_t(n) + 2 : 0;
}

dimension_op as_op(conversion_fn f) { return reinterpret_cast<dimension_op>(f); }

// World range of one axis of a non-map plot; a time axis less its base.
void world_range(const session_state* pcm, const grid_field* g, int dim, int size,
                 const float* vals, double base, float* lo, float* hi) {
  if (dim == 3) {
    *lo = static_cast<float>(t2gr_exact(vals, &pcm->time_start) - base);
    *hi = static_cast<float>(t2gr_exact(vals, &pcm->time_end) - base);
  } else if (dim == 4) {
    *lo = 1;
    *hi = float(size);
  } else {
    *lo = pcm->dim_min[dim];
    *hi = pcm->dim_max[dim];
  }
  (void)g;
}

// Log scaling of a level axis, or the two messages and the linear range.
bool log_range(float* lo, float* hi) {
  if (*lo <= 0 || *hi <= 0) {
    kaprnt(msg_level::error, "Cannot use log scaling when coordinates <= 0\n");
    kaprnt(msg_level::error, "Linear scaling used\n");
    return false;
  }
  *lo = std::log(*lo);
  *hi = std::log(*hi);
  return true;
}

}  // namespace

double katbase(double lo, double hi) {
  constexpr double kFloatWhole = 16777216.0;  // 2^24: every whole number below is a float
  if (std::fabs(lo) < kFloatWhole && std::fabs(hi) < kFloatWhole) return 0;
  return std::floor(std::fmin(lo, hi)) - 1;  // the first step is drawn at 1
}

double time_axis_base(const session_state* pcm, const float* vals) {
  if (!vals) return 0;
  return katbase(t2gr_exact(vals, &pcm->time_start), t2gr_exact(vals, &pcm->time_end));
}

void kalnx(float x, float y, float* xo, float* yo) {
  *xo = std::log(x);
  *yo = y;
}
void kalny(float x, float y, float* xo, float* yo) {
  *xo = x;
  *yo = std::log(y);
}
// The base is the one stored plots used, not e to more digits.
void kaalnx(float x, float y, float* xo, float* yo) {
  *xo = std::pow(2.71829f, x);
  *yo = y;
}
void kaalny(float x, float y, float* xo, float* yo) {
  *xo = x;
  *yo = std::pow(2.71829f, y);
}

void kasdiv(float i, float j) {
  chain.idiv = i;
  chain.jdiv = j;
}

void kasconv(conversion_fn ifn, const float* ivals, float ioff, conversion_fn jfn,
             const float* jvals, float joff) {
  chain.iconv = ifn;
  chain.ivars = ivals;
  chain.ioffset = ioff;
  chain.jconv = jfn;
  chain.jvars = jvals;
  chain.joffset = joff;
  chain.idiv = chain.jdiv = 1;
}

void kaconv(float i, float j, float* x, float* y) {
  float ii = (i - 1.0f) / chain.idiv + 1.0f + chain.ioffset;
  float jj = (j - 1.0f) / chain.jdiv + 1.0f + chain.joffset;
  *x = chain.iconv ? chain.iconv(chain.ivars, ii) : ii;
  *y = chain.jconv ? chain.jconv(chain.jvars, jj) : jj;
}

void kamscl(session_state* pcm) {
  projection_box b{};
  if (pcm->parea_set) {
    b.page_xlo = pcm->parea[0];
    b.page_xhi = pcm->parea[1];
    b.page_ylo = pcm->parea[2];
    b.page_yhi = pcm->parea[3];
  } else {
    b.page_xlo = 0.5f;
    b.page_xhi = pcm->page_width - 0.5f;
    b.page_ylo = 0.75f;
    b.page_yhi = pcm->page_height - 0.75f;
  }
  if (pcm->mpvals_set == 4 && is_projected(pcm->mproj)) {
    b.lon_min = pcm->mpvals[0];
    b.lon_max = pcm->mpvals[1];
    b.lat_min = pcm->mpvals[2];
    b.lat_max = pcm->mpvals[3];
  } else {
    b.lon_min = pcm->dim_min[0];
    b.lon_max = pcm->dim_max[0];
    b.lat_min = pcm->dim_min[1];
    b.lat_max = pcm->dim_max[1];
  }
  b.xflip = pcm->xflip;
  b.yflip = pcm->yflip;
  const projection_kind* latlon = projection_of(map_projection::latlon);
  const projection_kind* k = projection_of(pcm->mproj);
  if (!k) k = latlon;
  int rc = k->setup(&b);
  if (rc && k->title) {
    kaprnt(msg_level::error,
           std::string("Map Projection Error:  Invalid coords for ") + k->title + "\n");
    kaprnt(msg_level::error, "  Will use linear lat-lon projection\n");
    rc = latlon->setup(&b);
  }
  if (rc == 0) {
    pcm->plot_x_low = b.plot_xlo;
    pcm->plot_x_high = b.plot_xhi;
    pcm->plot_y_low = b.plot_ylo;
    pcm->plot_y_high = b.plot_yhi;
  } else {
    kaprnt(msg_level::error, "Map Projection Error:  Internal Logic check\n");
  }
}

void kawmap(session_state* pcm, bool first) {
  if (pcm->mproj == map_projection::off || !pcm->mpdraw) return;
  if (first && pcm->frame_pass > 0) return;
  gxclip(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high);
  map_options o{};
  if (pcm->map_colour_default >= 0) {
    o.colour = pcm->map_colour_default;
    o.style = pcm->map_style_default;
    o.thickness = pcm->map_thick_default;
  } else if (!first) {
    o.colour = 1;
    o.style = 1;
    o.thickness = 4;
  } else {
    o.colour = pcm->map_colour_auto;
    o.style = 1;
    o.thickness = 1;
  }
  o.colours = pcm->map_colour;
  o.styles = pcm->map_style;
  o.thicknesses = pcm->map_thick;
  o.lon_min = pcm->dim_min[0];
  o.lon_max = pcm->dim_max[0];
  o.lat_min = pcm->dim_min[1];
  o.lat_max = pcm->dim_max[1];
  for (const std::string& name : pcm->mpdset) {
    if (name.empty()) break;
    o.file_name = name.c_str();
    gxdmap(&o);
  }
  gxclip(0, pcm->page_width, 0, pcm->page_height);
}

void kas2d(session_state* pcm, grid_field* g, bool map) {
  gxrset(coord_level::grid);
  pcm->last_plot_idim = g->idim;
  pcm->last_plot_jdim = g->jdim;
  kasetlp(pcm, 0, as_op(g->i_to_world), g->i_world_vals,
          scaling_words(g->i_world_vals, g->i_linear, g->idim));
  kasetlp(pcm, 1, as_op(g->j_to_world), g->j_world_vals,
          scaling_words(g->j_world_vals, g->j_linear, g->jdim));
  kasetlp(pcm, 2, as_op(g->i_to_grid), g->i_grid_vals,
          scaling_words(g->i_grid_vals, g->i_linear, g->idim));
  kasetlp(pcm, 3, as_op(g->j_to_grid), g->j_grid_vals,
          scaling_words(g->j_grid_vals, g->j_linear, g->jdim));

  const double base = g->idim == 3   ? time_axis_base(pcm, g->i_world_vals)
                      : g->jdim == 3 ? time_axis_base(pcm, g->j_world_vals)
                                     : 0.0;
  pcm->last_plot_scaling.time_base = base;
  if (g->idim == 0 && g->jdim == 1) {
    kamscl(pcm);
    if (map) kawmap(pcm, true);
  } else {
    kaparea(pcm, 1.5f, 0.5f, 1.0f, 0.5f);
    float x1, x2, y1, y2;
    world_range(pcm, g, g->idim, g->isiz, g->i_world_vals, base, &x1, &x2);
    world_range(pcm, g, g->jdim, g->jsiz, g->j_world_vals, base, &y1, &y2);
    if (g->idim == 2 && pcm->zlog && log_range(&x1, &x2)) {
      gxproj(kalnx);
      gxback(kaalnx);
    }
    if (g->jdim == 2 && pcm->zlog && log_range(&y1, &y2)) {
      gxproj(kalny);
      gxback(kaalny);
    }
    if (pcm->xflip) std::swap(x1, x2);
    if (pcm->yflip) std::swap(y1, y2);
    gxscal(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high, x1, x2, y1, y2);
  }

  // Grid coordinates along a time axis are relative to its base.
  auto offset = [&](int dim) {
    return static_cast<float>(g->dim_min[dim] - 1 - (dim == 3 ? base : 0.0));
  };
  chain.ioffset = g->idim == 4 ? 0.0f : offset(g->idim);
  chain.iconv = (g->idim == 3 || g->idim == 4) ? nullptr : g->i_to_world;
  chain.ivars = chain.iconv ? g->i_world_vals : nullptr;
  chain.joffset = g->jdim >= 0 && g->jdim < 4 ? offset(g->jdim) : 0.0f;
  chain.jconv = (g->jdim == 3 || g->jdim < 0) ? nullptr : g->j_to_world;
  chain.jvars = chain.jconv ? g->j_world_vals : nullptr;
  chain.idiv = chain.jdiv = 1;
  gxgrid(kaconv);

  if (g->idim == 4) {
    pcm->vrange[0] = 1;
    pcm->vrange[1] = float(g->isiz);
    pcm->xaxis_range[0] = 1;
    pcm->xaxis_range[1] = float(g->isiz);
    pcm->xaxis_incr = 1;
    pcm->xaxis_set = 1;
  }
}

grid_field* kaflip(grid_field* g, session_state* pcm) {
  static const char kNoMemory[] = "Memory Allocation Error:  kaflip \n";
  size_t count = size_t(g->isiz) * size_t(g->jsiz);
  kareserve(double(count), double(count) * sizeof(float), kNoMemory);
  float* v = static_cast<float*>(kamalloc(count * sizeof(float), kNoMemory));
  grid_field* n;
  try {
    n = static_cast<grid_field*>(kamalloc(sizeof(grid_field), kNoMemory));
  } catch (...) {
    kafree(v);
    throw;
  }
  std::memcpy(n, g, sizeof(grid_field));
  for (int j = 0; j < g->jsiz; j++)
    for (int i = 0; i < g->isiz; i++)
      v[size_t(i) * size_t(g->jsiz) + size_t(j)] =
          g->values[size_t(j) * size_t(g->isiz) + size_t(i)];
  n->values = v;
  n->owns_scaling = 0;  // the arrays stay the original's
  std::swap(n->isiz, n->jsiz);
  std::swap(n->idim, n->jdim);
  std::swap(n->i_to_world, n->j_to_world);
  std::swap(n->i_world_vals, n->j_world_vals);
  // The world-to-grid halves go with their dimensions too, so that the
  // coordinate queries of the last plot convert along the right axes.
  std::swap(n->i_to_grid, n->j_to_grid);
  std::swap(n->i_grid_vals, n->j_grid_vals);
  std::swap(n->i_linear, n->j_linear);
  if (kaaddres(pcm, grid_ptr(n))) return nullptr;
  return n;
}

grid_field* kaplgrid(session_state* pcm, grid_field* g) {
  bool zt = g->idim == 2 && g->jdim == 3;
  if (pcm->xyrev ? !zt : zt) return kaflip(g, pcm);
  return g;
}

void kaparea(session_state* pcm, float left, float right, float bottom, float top) {
  if (pcm->parea_set) {
    pcm->plot_x_low = pcm->parea[0];
    pcm->plot_x_high = pcm->parea[1];
    pcm->plot_y_low = pcm->parea[2];
    pcm->plot_y_high = pcm->parea[3];
  } else {
    pcm->plot_x_low = left;
    pcm->plot_x_high = pcm->page_width - right;
    pcm->plot_y_low = bottom;
    pcm->plot_y_high = pcm->page_height - top;
  }
}
