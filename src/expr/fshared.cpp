#include "expr/fshared.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "data/filerec.h"
#include "data/reader.h"
#include "expr/dimexpr.h"

double axis_step(conversion_fn to_world, const float* scaling, float g) {
  return std::fabs(double(to_world(scaling, g + 1)) - to_world(scaling, g));
}

long columns_per_turn(double step, long n) {
  if (!(step > 1e-6)) return 0;
  const long turn = std::lround(360.0 / step);
  if (turn < 1 || turn >= n || std::fabs(double(turn) * step - 360.0) > 0.01) return 0;
  return turn;
}

namespace {

// The turn of a wrapping longitude list, which has no step of its own.
long list_turn(const file_descriptor* f) {
  return f->x_wraps && !f->linear_flags[0] ? x_turn(f) : 0;
}

}  // namespace

long columns_per_turn(const file_descriptor* f, int first, int last) {
  if (!f->grid_to_world[0] || last <= first) return 0;
  if (const long turn = list_turn(f)) return turn < long(last) - first + 1 ? turn : 0;
  if (!f->linear_flags[0]) return 0;
  const double step = axis_step(f->grid_to_world[0], f->grid_to_world_scaling[0], float(first));
  return columns_per_turn(step, long(last) - first + 1);
}

bool spans_turn(const file_descriptor* f, float b1, float b2) {
  if (!f->x_wraps || !f->grid_to_world[0]) return false;
  long turn = list_turn(f);
  if (!turn) {
    const double step = axis_step(f->grid_to_world[0], f->grid_to_world_scaling[0], b1);
    turn = columns_per_turn(step, std::numeric_limits<long>::max());
  }
  return turn > 0 && double(b2) - b1 >= double(turn) - 0.001;
}

bool turn_fold::take(long i, double* w, double whole) {
  if (taken_.empty()) return true;
  double& taken = taken_[size_t(i % long(taken_.size()))];
  const double given = *w;
  double a = std::fabs(given);
  // Rounding of the box edges must not trim a pair of halves.
  if (taken + a > whole * (1 + 1e-6)) a = std::max(0.0, whole - taken);
  taken += a;
  *w = std::copysign(a, given);
  // A column of no weight repeats nothing.
  return given == 0 || *w != 0;
}

bool placeable(const file_descriptor* f, int dim, long long g) {
  if (g < -kFloatWhole || g > kFloatWhole) return false;
  if (holds_stations(f) || !f->grid_to_world[dim] || !f->world_to_grid[dim]) return true;
  const float w = f->grid_to_world[dim](f->grid_to_world_scaling[dim], float(g));
  auto to_grid = [&](float v) -> double {
    return f->world_to_grid[dim](f->world_to_grid_scaling[dim], v);
  };
  const double back = to_grid(w);
  if (std::fabs(back - double(g)) < 0.5) return true;
  // An axis that maps several indices to one value (a single level) is read
  // at that value whatever the index.
  return !(std::fabs(to_grid(std::nextafter(w, HUGE_VALF)) - back) >= 0.0001);
}
