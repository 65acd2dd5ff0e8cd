// "query" keywords that read the last plot: its kind and area, its shade
// levels, and conversions between page, world and grid coordinates.
#include <string>

#include "cmd/commands.h"
#include "base/message.h"
#include "base/scaling.h"
#include "base/session.h"
#include "base/timecal.h"
#include "base/words.h"
#include "gx/gx.h"
#include "plot/plottype.h"

namespace {

// World names by dimension code + 1, grid names by dimension code.
const char* const cdims[6] = {"None", "Lon", "Lat", "Lev", "Time", "Val"};
const char* const ccdims[5] = {"Xdim", "Ydim", "Zdim", "Tdim", "Val"};

const char* world_name(int dim) { return dim >= -1 && dim <= 4 ? cdims[dim + 1] : "None"; }
const char* grid_name(int dim) { return dim >= 0 && dim <= 4 ? ccdims[dim] : "None"; }

bool no_scaling(const session_state* pcm) {
  if (pcm->last_plot_idim >= 0 && pcm->last_plot_jdim >= 0) return false;
  kaprnt(msg_level::result, "No scaling environment\n");
  return true;
}

// Conversion slot k of the last plot applied to v (v unchanged without one).
float convert(session_state* pcm, int k, float v) {
  auto& lp = pcm->last_plot_scaling;
  if (!lp.conv[k]) return v;
  return reinterpret_cast<conversion_fn>(lp.conv[k])(lp.array(k), v);
}

// Two numbers after the keyword; false when either is missing or bad.
bool two_numbers(char* lower, float* a, float* b) {
  char* p = nxtwrd(lower);
  if (!p || !valprs(p, a)) return false;
  p = nxtwrd(p);
  return p && valprs(p, b);
}

// A grid coordinate at p (null: none) on the axis of dimension dim: a time
// axis reads it in double too, where its steps past 2^24 stay apart.
char* grid_number(char* p, int dim, double* v) {
  float f = 0;
  char* r = p ? valprs(p, &f) : nullptr;
  *v = f;
  if (r && dim == 3) dblprs(p, v);
  return r;
}

// Two grid coordinates after the keyword; false when either is missing or
// bad.
bool two_coordinates(session_state* pcm, char* lower, double* a, double* b) {
  char* p = nxtwrd(lower);
  if (!grid_number(p, pcm->last_plot_idim, a)) return false;
  p = nxtwrd(p);
  return grid_number(p, pcm->last_plot_jdim, b);
}

// A world coordinate on the axis of dimension dim: a date on a time axis
// (grid coordinate along its scaling), else a number.
char* world_value(session_state* pcm, char* p, int dim, int slot, double* v) {
  if (dim != 3) {
    float f = 0;
    char* r = valprs(p, &f);
    *v = f;
    return r;
  }
  const float* ts = pcm->last_plot_scaling.array(slot);
  if (!ts) return nullptr;
  date_time t;
  char* r = adtprs(p, &pcm->time_start, &t);
  if (r) *v = t2gr_exact(ts, &t);
  return r;
}

// World coordinates printed by name; a time axis (given in grid
// coordinates) as a date.
void print_world(session_state* pcm, double x, double y) {
  const int id = pcm->last_plot_idim, jd = pcm->last_plot_jdim;
  auto date = [&](int slot, double g) {
    date_time t;
    gr2t(pcm->last_plot_scaling.array(slot), g, &t);
    return kat2ch(t, 5);
  };
  if (id == 3 && pcm->last_plot_scaling.array(0)) {
    std::string d = date(0, x);
    kaprntf(msg_level::result, "%s = %s  %s = %g\n", world_name(id), d.c_str(), world_name(jd), y);
  } else if (jd == 3 && pcm->last_plot_scaling.array(1)) {
    std::string d = date(1, y);
    kaprntf(msg_level::result, "%s = %g  %s = %s\n", world_name(id), x, world_name(jd), d.c_str());
  } else {
    kaprntf(msg_level::result, "%s = %g  %s = %g\n", world_name(id), x, world_name(jd), y);
  }
}

// A time axis is drawn in grid coordinates less the plot's base; the other
// axes in their world coordinates.
float drawn(const session_state* pcm, int dim, double v) {
  return static_cast<float>(dim == 3 ? v - pcm->last_plot_scaling.time_base : v);
}
double undrawn(const session_state* pcm, int dim, float v) {
  return dim == 3 ? double(v) + pcm->last_plot_scaling.time_base : double(v);
}

// World to grid of the last plot's axes (a time axis is already in grid
// coordinates).
void world_to_grid(session_state* pcm, double* x, double* y) {
  if (pcm->last_plot_idim != 3) *x = convert(pcm, 2, float(*x));
  if (pcm->last_plot_jdim != 3) *y = convert(pcm, 3, float(*y));
}

void grid_to_world(session_state* pcm, double* x, double* y) {
  if (pcm->last_plot_idim != 3) *x = convert(pcm, 0, float(*x));
  if (pcm->last_plot_jdim != 3) *y = convert(pcm, 1, float(*y));
}

// Page position of world coordinates of the last plot.
void print_page(session_state* pcm, double x, double y) {
  float px, py;
  gxconv(drawn(pcm, pcm->last_plot_idim, x), drawn(pcm, pcm->last_plot_jdim, y), &px, &py,
         coord_level::world);
  kaprntf(msg_level::result, "X = %g  Y = %g\n", double(px), double(py));
}

int world_query(char* lower, session_state* pcm, bool to_page) {
  if (no_scaling(pcm)) return 0;
  const int id = pcm->last_plot_idim, jd = pcm->last_plot_jdim;
  double x, y;
  char* p = nxtwrd(lower);
  bool ok = p && world_value(pcm, p, id, 0, &x);
  if (ok) {
    p = nxtwrd(p);
    ok = p && world_value(pcm, p, jd, 1, &y);
  }
  if (!ok) {
    if (to_page)
      kaprntf(msg_level::error, "Query Error: Syntax is QUERY W2XY %s %s\n", world_name(id),
              world_name(jd));
    else
      kaprntf(msg_level::error, "Query Error: Syntax is QUERY W2GR %s %s\n", world_name(id),
              world_name(jd));
    return 1;
  }
  if (to_page) {
    print_page(pcm, x, y);
  } else {
    world_to_grid(pcm, &x, &y);
    kaprntf(msg_level::result, "%s = %g  %s = %g\n", grid_name(id), x, grid_name(jd), y);
  }
  return 0;
}

int grid_query(char* lower, session_state* pcm, bool to_page) {
  if (no_scaling(pcm)) return 0;
  const int id = pcm->last_plot_idim, jd = pcm->last_plot_jdim;
  double x, y;
  if (!two_coordinates(pcm, lower, &x, &y)) {
    if (to_page)
      kaprntf(msg_level::error, "Query Error: Syntax is QUERY GR2XY %s %s\n", grid_name(id),
              grid_name(jd));
    else
      kaprntf(msg_level::error, "Query Error: Syntax is QUERY GR2W %s %s\n", grid_name(id),
              grid_name(jd));
    return 1;
  }
  grid_to_world(pcm, &x, &y);
  if (to_page)
    print_page(pcm, x, y);
  else
    print_world(pcm, x, y);
  return 0;
}

int page_query(char* lower, session_state* pcm, bool to_grid) {
  float px, py;
  if (!two_numbers(lower, &px, &py)) {
    kaprnt(msg_level::error, to_grid ? "Query Error: Syntax is QUERY XY2GR x y\n"
                                     : "QUERY error: Syntax is QUERY XY2W x y\n");
    return 1;
  }
  if (no_scaling(pcm)) return 0;
  gxxy2w(px, py, &px, &py);
  double x = undrawn(pcm, pcm->last_plot_idim, px), y = undrawn(pcm, pcm->last_plot_jdim, py);
  if (to_grid) {
    world_to_grid(pcm, &x, &y);
    kaprntf(msg_level::result, "%s = %g  %s = %g\n", grid_name(pcm->last_plot_idim), x,
            grid_name(pcm->last_plot_jdim), y);
  } else {
    print_world(pcm, x, y);
  }
  return 0;
}

}  // namespace

int kaqw2xy(char* lower, char*, session_state* pcm) { return world_query(lower, pcm, true); }
int kaqw2gr(char* lower, char*, session_state* pcm) { return world_query(lower, pcm, false); }
int kaqgr2xy(char* lower, char*, session_state* pcm) { return grid_query(lower, pcm, true); }
int kaqgr2w(char* lower, char*, session_state* pcm) { return grid_query(lower, pcm, false); }
int kaqxy2w(char* lower, char*, session_state* pcm) { return page_query(lower, pcm, false); }
int kaqxy2gr(char* lower, char*, session_state* pcm) { return page_query(lower, pcm, true); }

int kaqgxinfo(char*, char*, session_state* pcm) {
  kaprntf(msg_level::result, "Last Graphic = %s\n", plot_code_name(pcm->last_plot_code));
  kaprntf(msg_level::result, "Page Size = %g by %g\n", double(pcm->page_width),
          double(pcm->page_height));
  kaprntf(msg_level::result, "X Limits = %g to %g\n", double(pcm->plot_x_low),
          double(pcm->plot_x_high));
  kaprntf(msg_level::result, "Y Limits = %g to %g\n", double(pcm->plot_y_low),
          double(pcm->plot_y_high));
  kaprntf(msg_level::result, "Xaxis = %s  Yaxis = %s\n", world_name(pcm->last_plot_idim),
          world_name(pcm->last_plot_jdim));
  kaprntf(msg_level::result, "Mproj = %d\n", code_of(pcm->mproj));
  return 0;
}

int kaqshades(char*, char*, session_state* pcm) {
  const int n = pcm->shade_count > 120 ? 120 : pcm->shade_count;
  if (n < 1) {
    kaprnt(msg_level::result, "None\n");
    return 0;
  }
  const float* lev = pcm->shade_levels;
  const int* col = pcm->shade_colours;
  kaprntf(msg_level::result, "Number of levels = %i\n", n);
  if (n == 1) {
    kaprntf(msg_level::result, "%i < %g\n", col[0], double(lev[0]));
    return 0;
  }
  for (int i = 0; i < n; i++) {
    if (i == 0)
      kaprntf(msg_level::result, "%i < %g\n", col[0], double(lev[1]));
    else if (i == n - 1)
      kaprntf(msg_level::result, "%i %g >\n", col[i], double(lev[i]));
    else
      kaprntf(msg_level::result, "%i %g %g\n", col[i], double(lev[i]), double(lev[i + 1]));
  }
  return 0;
}
