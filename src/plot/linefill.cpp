// Filled area between two 1-D curves: one colour where the first lies
// above the second, another where it lies below, split where they cross.
#include <cstdio>
#include <new>
#include <vector>

#include "base/message.h"
#include "base/session.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot1d.h"
#include "plot/plot2d.h"

namespace {

enum region_state : int { kUndecided = 0, kAbove = 1, kBelow = 2 };

struct region {
  std::vector<float> x, a, b;
  int state = kUndecided;
  void clear() {
    x.clear();
    a.clear();
    b.clear();
    state = kUndecided;
  }
  void add(float xi, float ai, float bi) {
    x.push_back(xi);
    a.push_back(ai);
    b.push_back(bi);
  }
};

void lfout(const region& r, bool rotate) {
  const int n = int(r.x.size());
  if (n < 2) {
    kaprntout("Internal Logic check 4 in linefill\n");
    return;
  }
  std::vector<float> xy;
  xy.reserve(size_t(4 * n + 4));
  auto put = [&](float x, float v) {
    float px, py;
    if (rotate)
      gxconv(v, x, &px, &py, coord_level::grid);
    else
      gxconv(x, v, &px, &py, coord_level::grid);
    xy.push_back(px);
    xy.push_back(py);
  };
  for (int k = 0; k < n; k++) put(r.x[size_t(k)], r.a[size_t(k)]);
  if (r.b[size_t(n - 1)] != r.a[size_t(n - 1)]) put(r.x[size_t(n - 1)], r.b[size_t(n - 1)]);
  for (int k = n - 2; k >= 1; k--) put(r.x[size_t(k)], r.b[size_t(k)]);
  if (r.b[0] != r.a[0]) put(r.x[0], r.b[0]);
  gxfill(xy.data(), int(xy.size() / 2));
}

struct walker {
  const session_state* pcm;
  const grid_field* ga;
  const grid_field* gb;
  bool rotate;
  region r;

  float A(int i) const { return ga->values[i - 1]; }
  float B(int i) const { return gb->values[i - 1]; }
  bool undef(int i) const { return A(i) == ga->undef || B(i) == gb->undef; }

  void fill() {
    const int c = r.state == kAbove ? pcm->lfcols[0] : (r.state == kBelow ? pcm->lfcols[1] : -1);
    if (c < 0) return;
    gxcolr(c);
    lfout(r, rotate);
  }

  // A new region from i on; returns the position after its first point,
  // or 0 when none starts.
  int start(int i) {
    r.clear();
    const int n = ga->isiz;
    while (i < n && (undef(i) || undef(i + 1) || (A(i) == B(i) && A(i + 1) == B(i + 1)))) i++;
    if (i >= n) return 0;
    r.add(float(i), A(i), B(i));
    r.state = A(i) > B(i) ? kAbove : (A(i) < B(i) ? kBelow : kUndecided);
    i++;
    if (r.state == kUndecided) r.state = A(i) > B(i) ? kAbove : kBelow;
    return i;
  }

  // Walks the curves; false when no region starts at all.
  bool walk() {
    int i = start(1);
    if (i == 0) return false;
    const int n = ga->isiz;
    while (i > 0 && i <= n) {
      if (undef(i)) {
        fill();
        i = start(i);
        continue;
      }
      const float a = A(i), b = B(i);
      const bool above = r.state == kAbove;
      const bool crossed = above ? a < b : b < a;
      if (crossed) {
        float t, v;
        lfint(r.a.back(), a, r.b.back(), b, &t, &v);
        const float x = float(i - 1) + t;
        r.add(x, v, v);
        fill();
        r.clear();
        r.add(x, v, v);
        r.add(float(i), a, b);
        r.state = above ? kBelow : kAbove;
      } else if (a == b) {
        r.add(float(i), a, b);
        fill();
        i = start(i);
        continue;
      } else {
        r.add(float(i), a, b);
      }
      i++;
    }
    if (r.x.size() > 1) fill();
    return true;
  }
};

}  // namespace

void lfint(float a1, float a2, float b1, float b2, float* t, float* v) {
  *t = (b1 - a1) / ((a2 - a1) - b2 + b1);
  *v = a1 + (a2 - a1) * *t;
}

void kalfil(session_state* pcm, plot_code code) {
  if (pcm->result_count < 2) {
    kaprnt(msg_level::error, "Error plotting linefill:  Only one grid provided\n");
    kaplot_refuse();
    return;
  }
  grid_field* a = held_grid(pcm, 0);
  grid_field* b = held_grid(pcm, 1);
  if (!b || a->idim != b->idim || a->jdim != -1 || b->jdim != -1 || a->isiz != b->isiz ||
      kagchk(a, b, a->idim)) {
    kaprnt(msg_level::error, "Error plotting linefill:  Invalid grids --");
    kaprnt(msg_level::error, " different scaling\n");
    kaplot_refuse();
    return;
  }
  kamnmx(a);
  kamnmx(b);
  if (a->min_value == a->undef || b->min_value == b->undef) {
    kaprnt(msg_level::info, "Cannot plot data - all undefined values \n");
    return;
  }
  const float min = a->min_value < b->min_value ? a->min_value : b->min_value;
  const float max = a->max_value > b->max_value ? a->max_value : b->max_value;
  const graph_rotation rotation = graph_rotation_for(a->idim, pcm->xyrev);
  const bool rotate = rotation == graph_rotation::dimension_on_y;
  kas1d(pcm, min, max, a->idim, rotation, a, nullptr);
  gxclip(pcm->plot_x_low - 0.01f, pcm->plot_x_high + 0.01f, pcm->plot_y_low, pcm->plot_y_high);
  try {
    walker w{pcm, a, b, rotate, {}};
    w.r.x.reserve(size_t(a->isiz) + 2);
    w.r.a.reserve(size_t(a->isiz) + 2);
    w.r.b.reserve(size_t(a->isiz) + 2);
    if (!w.walk()) {
      kaprnt(msg_level::info, "Cannot plot data - too many undefined values \n");
      return;
    }
  } catch (const std::bad_alloc&) {
    kaprnt(msg_level::error, "Memory allocation error in linefill\n");
    kaplot_refuse();
    return;
  }
  if (rotate)
    kaptail(pcm, code, tail_frame::skip, axis_code::value, dimension_axis(a->idim));
  else
    kaptail(pcm, code, tail_frame::skip, dimension_axis(a->idim), axis_code::value);
}
