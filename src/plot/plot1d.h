// One-dimensional plots: the scaling every 1-D plot shares, line, bar and
// error-bar graphs, and the filled area between two curves.
#pragma once

#include "base/gxout.h"

struct session_state;
struct grid_field;
struct station_set;

// What kagrph draws.
enum class graph_kind { line, bar, error_bar };

// The axis the varying dimension of a 1-D plot lies on; the values take the
// other one.
enum class graph_rotation { dimension_on_x, dimension_on_y };
// Levels go up the y axis, every other dimension along x; xyrev swaps them.
constexpr graph_rotation graph_rotation_for(int dim, bool xyrev) {
  return (dim == 2) != xyrev ? graph_rotation::dimension_on_y : graph_rotation::dimension_on_x;
}

// Plot area, value axis and coordinate chain of a 1-D plot over dimension
// dim (0 x .. 3 t) for data min..max. One of grid and stations is given.
void kas1d(session_state* pcm, float min, float max, int dim, graph_rotation rotation,
           grid_field* grid, station_set* stations);
// The plots record code as the last plot.
void kagrph(session_state* pcm, graph_kind kind, plot_code code);
void kalfil(session_state* pcm, plot_code code);

// Crossing of the segment a1..a2 with b1..b2 over one step: the fraction t
// of the step and the common value v.
void lfint(float a1, float a2, float b1, float b2, float* t, float* v);
