#include "expr/fint.h"

#include <cmath>
#include <vector>

#include "expr/dimexpr.h"
#include "expr/evalstate.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/timecal.h"
#include "data/filerec.h"
#include "expr/eval.h"
#include "expr/func.h"
#include "expr/fshared.h"
#include "data/result.h"

namespace {

constexpr double kRad = 3.1416 / 180.0;  // the weights are defined with this pi
constexpr double kMetresPerDegree = 6.37e6 * 3.1416 / 180.0;

}  // namespace

void cosadj(grid_field* g) {
  const float u = g->undef;
  for (int j = 0; j < g->jsiz; j++)
    for (int i = 0; i < g->isiz; i++) {
      float& v = g->values[static_cast<long long>(j) * g->isiz + i];
      if (v == u) continue;
      const float lat = g->i_to_world(g->i_world_vals, float(i + g->dim_min[1]));
      v = float(v * std::cos(lat * kRad));
    }
}

int ffgint(function_args* args, eval_state* pst) {
  if (args->count < 3 || args->count > 4) {
    kaprnt(msg_level::error, "Error from GINT:  Too many or too few args \n");
    kaprnt(msg_level::error, "                  3 or 4 arguments expected \n");
    return 1;
  }
  const file_descriptor* f = pst->default_file;
  int dim = 0, d2 = 0, world = 0;
  double b1 = 0, b2 = 0;
  if (!f || !dimarg(args->args[1], pst, f, &dim, &b1, &world) || dim < 0 || dim > 3 ||
      !(std::fabs(b1) < 1e9f)) {
    kaprnt(msg_level::error, "Error from GINT:  1st dimension expression invalid\n");
    return 1;
  }
  if (!dimarg(args->args[2], pst, f, &d2, &b2, &world) || d2 != dim || !(std::fabs(b2) < 1e9f)) {
    kaprnt(msg_level::error, "Error from GINT:  2nd dimension expression invalid\n");
    return 1;
  }
  bool ends_half = false;
  if (args->count == 4) {
    if (args->args[3][0] != '-' || args->args[3][1] != 'b') {
      kaprnt(msg_level::error, "Error from GINT: Invalid option flags\n");
      return 1;
    }
    ends_half = true;
  }
  // A whole turn of longitude has no ends, also where its points are the
  // middles of their boxes and no column repeats.
  if (ends_half && dim == 0 && spans_turn(f, float(b1), float(b2))) ends_half = false;
  stop_varying(pst, dim);
  const int first = int(arg_ceil(b1, 0.001f));
  const int last = int(arg_floor(b2, 0.001f));
  // x, y and z are placed through float world values.
  if (dim < 3 && !placeable(f, dim, first)) {
    kaprnt(msg_level::error, "Error from GINT:  1st dimension expression invalid\n");
    return 1;
  }
  if (dim < 3 && !placeable(f, dim, last)) {
    kaprnt(msg_level::error, "Error from GINT:  2nd dimension expression invalid\n");
    return 1;
  }
  if (mfcmn.warn_level > 0)
    kaprntf(msg_level::result, "Integrating.  dim = %i, start = %i, end = %i\n", dim, first, last);

  auto world_of = [&](double g) {
    return f->grid_to_world[dim]
               ? double(f->grid_to_world[dim](f->grid_to_world_scaling[dim], float(g)))
               : g;
  };
  // Columns a whole turn apart are one place: a whole turn counts each once
  // and has no ends to halve.
  turn_fold turns(dim == 0 ? columns_per_turn(f, first, last) : 0);
  // Places the environment at index g and sets the weight of g; false for
  // a column already counted in full, which is left out.
  auto place = [&](int g, double* weight) {
    double w;
    if (dim == 3) {
      gr2t(f->grid_to_world_scaling[3], g, &pst->time_start);
      pst->time_end = pst->time_start;
      const time_scaling ts = time_scaling_from(f->grid_to_world_scaling[3]);
      w = double(ts.increment_months) + ts.increment_minutes;
    } else {
      pst->dim_min[dim] = pst->dim_max[dim] = float(world_of(g));
      w = std::fabs(world_of(g + 0.5) - world_of(g - 0.5));
      if (dim < 2) w *= kMetresPerDegree;
    }
    const double whole = w;
    if (ends_half && (g == first || g == last)) w *= 0.5;
    *weight = w;
    return turns.take(long(g) - first, weight, whole);
  };
  const char* expr = args->args[0];
  // Evaluates at index g with weight w; the longitude treatment applied;
  // null with the code in rc on failure.
  int rc = 0;
  auto at = [&](double* w) -> grid_ptr {
    pst->result = std::monostate{};
    rc = kaexpr(expr, pst);
    if (rc) return nullptr;
    grid_ptr gr = take_grid(pst);
    if (!gr) {
      rc = -1;
      return nullptr;
    }
    if (dim == 0) {
      if (gr->idim == 1 && gr->i_to_world)
        cosadj(gr.get());
      else
        *w *= std::cos(pst->dim_min[1] * kRad);
    }
    return gr;
  };

  double w;
  place(first, &w);
  grid_ptr acc = at(&w);
  if (!acc) return rc;
  const long long n = grid_points(acc.get());
  const float u = acc->undef;
  std::vector<double> sum(size_t(n), 0.0);
  std::vector<unsigned char> def(size_t(n), 0);
  for (long long k = 0; k < n; k++) {
    if (acc->values[k] == u) continue;
    sum[k] = double(acc->values[k]) * w;
    def[k] = 1;
  }
  for (int g = first + 1; g <= last; g++) {
    if (!place(g, &w)) continue;
    grid_ptr next = at(&w);
    if (next && !same_points(acc.get(), next.get())) {
      kaprnt(msg_level::error, "Error from GINT:  Grids differ in shape along the range\n");
      next.reset();
      rc = 1;
    }
    if (!next) {
      kaprnt(msg_level::error, "Error from GINT:  Error getting grids \n");
      return rc;
    }
    const float nu = next->undef;
    for (long long k = 0; k < n; k++) {
      const float v = next->values[k];
      if (v == nu) continue;
      sum[k] += double(v) * w;
      def[k] = 1;
    }
  }
  for (long long k = 0; k < n; k++) {
    const float r = float(sum[k]);
    acc->values[k] = def[k] && std::isfinite(r) ? r : u;
  }
  return give_grid(pst, std::move(acc));
}
