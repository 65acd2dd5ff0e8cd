// A batch page and a session holding grids made in the test, and the
// strokes of the frame, for the plot tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/scaling.h"
#include "base/session.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/gx.h"
#include "gx/metafile.h"
#include "plot/plottype.h"
#include "support/stdout_capture.h"

namespace plottest {

constexpr float kUndef = -9.99e33f;

struct stroke {
  char kind;  // m move, d draw, r rectangle, p polygon
  float x, y, x2, y2;
  int colour;
  std::vector<float> xy;  // polygon points
};

struct recorder : metafile_sink {
  int current = -1;
  std::vector<stroke> s;
  void colour(int c) override { current = c; }
  void move(float x, float y) override { s.push_back({'m', x, y, 0, 0, current, {}}); }
  void draw(float x, float y) override { s.push_back({'d', x, y, 0, 0, current, {}}); }
  void rect(float xlo, float xhi, float ylo, float yhi) override {
    s.push_back({'r', xlo, ylo, xhi, yhi, current, {}});
  }
  void polygon(const float* xy, int n) override {
    s.push_back({'p', 0, 0, 0, 0, current, std::vector<float>(xy, xy + 2 * n)});
  }
  int count(char kind, int colour = -99) const {
    return int(std::count_if(s.begin(), s.end(), [&](const stroke& x) {
      return x.kind == kind && (colour == -99 || x.colour == colour);
    }));
  }
  // Index of the first stroke of kind at (x, y) from index from on, or -1.
  int find(char kind, float x, float y, float tol = 0.003f, size_t from = 0) const {
    for (size_t k = from; k < s.size(); k++)
      if (s[k].kind == kind && std::fabs(s[k].x - x) < tol && std::fabs(s[k].y - y) < tol)
        return int(k);
    return -1;
  }
  // The stroke n after the first stroke of kind at (x, y); kind '?' when
  // there is none.
  stroke after(char kind, float x, float y, size_t n = 1) const {
    int k = find(kind, x, y);
    if (k < 0 || size_t(k) + n >= s.size()) return {'?', 0, 0, 0, 0, -1, {}};
    return s[size_t(k) + n];
  }
  // Whether a move or draw in colour c passes through (x, y).
  bool has_point(float x, float y, int c, float tol = 0.003f) const {
    for (const stroke& k : s)
      if ((k.kind == 'm' || k.kind == 'd') && k.colour == c && std::fabs(k.x - x) < tol &&
          std::fabs(k.y - y) < tol)
        return true;
    return false;
  }
  std::vector<stroke> fills() const {
    std::vector<stroke> out;
    std::copy_if(s.begin(), s.end(), std::back_inserter(out),
                 [](const stroke& k) { return k.kind == 'p'; });
    return out;
  }
};

// A station set without reports, to fill result slots.
inline station_set* empty_stations() {
  return static_cast<station_set*>(std::calloc(1, sizeof(station_set)));
}

struct Plot {
  std::unique_ptr<session_state> s = std::make_unique<session_state>();
  std::vector<std::unique_ptr<linear_scaling>> scalings;

  Plot() {
    gxhlimits(0, 0);
    gxstrt(11, 8.5, true);
    gxfrme(frame_action::clear);
    s->batch = 1;
    s->mpdraw = s->logo = s->timelab = s->grid = s->xlab = s->ylab = 0;
    s->ccolor = s->cstyle = 1;
  }

  // The next result: nx by ny points (ny 1: varying in longitude only) from
  // (lon0, lat0) in steps d; the environment covers it.
  grid_field* add(int nx, int ny, float lon0, float lat0, float d, const std::vector<float>& v) {
    auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
    g->undef = kUndef;
    g->isiz = nx;
    g->jsiz = ny;
    g->idim = 0;
    g->jdim = ny > 1 ? 1 : -1;
    for (int k = 0; k < 4; k++) g->dim_min[k] = g->dim_max[k] = 1;
    g->dim_max[0] = nx;
    g->dim_max[1] = ny;
    for (float start : {lon0, lat0}) {
      scalings.push_back(std::make_unique<linear_scaling>());
      linear_scaling_set(scalings.back().get(), start, d);
    }
    linear_scaling* xs = scalings[scalings.size() - 2].get();
    linear_scaling* ys = scalings.back().get();
    g->i_to_world = g->j_to_world = g->i_to_grid = g->j_to_grid = liconv;
    g->i_world_vals = xs->grid_to_world;
    g->j_world_vals = ys->grid_to_world;
    g->i_grid_vals = xs->world_to_grid;
    g->j_grid_vals = ys->world_to_grid;
    g->i_linear = g->j_linear = 1;
    g->values = static_cast<float*>(std::malloc(v.size() * sizeof(float)));
    std::memcpy(g->values, v.data(), v.size() * sizeof(float));
    s->dim_min[0] = lon0;
    s->dim_max[0] = lon0 + d * float(nx - 1);
    s->dim_min[1] = lat0;
    s->dim_max[1] = lat0 + d * float(ny - 1);
    hold_result(s.get(), grid_ptr(g));
    s->result_count++;
    return g;
  }

  template <typename F>
  std::string run(F fn) {
    StdoutCapture cap;
    fn(s.get());
    return cap.text();
  }
  // Runs the routine of the output-type row with code in field, as a
  // display would, and returns what it printed.
  std::string draw(output_field field, int code) {
    const plot_type* t = plot_type_of(field, code);
    if (!t || !t->handler) {
      ADD_FAILURE() << "no routine for code " << code;
      return {};
    }
    return run([t](session_state* st) { t->handler(st, t->plot); });
  }
  recorder frame() {
    recorder r;
    EXPECT_EQ(gxhwalk(stored_frame::drawing, r), 0);
    return r;
  }
  // Page position of grid point (i, j) under the plot's chain.
  std::pair<float, float> at(float i, float j) {
    float x, y;
    gxconv(i, j, &x, &y, coord_level::grid);
    return {x, y};
  }
};

}  // namespace plottest
