#include "expr/fvint.h"

#include <cmath>
#include <vector>

#include "expr/evalstate.h"
#include "base/message.h"
#include "base/words.h"
#include "data/filerec.h"
#include "expr/eval.h"
#include "expr/func.h"
#include "expr/fshared.h"
#include "data/result.h"

namespace {

constexpr double kG = 10.204082;  // mb to pascal over the gravity (100 / 9.8)

// The grids of one call, released on every way out.
struct vint_grids {
  grid_field* ps = nullptr;
  grid_field* acc = nullptr;
  ~vint_grids() {
    kagfre(ps);
    kagfre(acc);
  }
};

}  // namespace

int ffvint(function_args* args, eval_state* pst) {
  if (args->count != 3) {
    kaprnt(msg_level::error, "Error from VINT:  Too many or too few args \n");
    kaprnt(msg_level::error, "                  Three arguments expected \n");
    return 1;
  }
  float top = 0;
  if (!valprs(args->args[2], &top)) {
    kaprnt(msg_level::error, "Error from VINT:  3rd argument invalid. \n");
    return 1;
  }
  const file_descriptor* f = pst->default_file;
  if (!f || f->z_size < 3 || !f->grid_to_world[2]) {
    kaprnt(msg_level::error, "Error from VINT:  Too few levels in default file \n");
    return 1;
  }
  const int nz = f->z_size;
  auto lev = [&](int k) { return f->grid_to_world[2](f->grid_to_world_scaling[2], float(k)); };
  auto incompatible = [] {
    kaprnt(msg_level::error, "Error from VINT:  Incompatible grids. \n");
    return 1;
  };

  const float p1 = lev(1), p2 = lev(2);
  pst->dim_min[2] = pst->dim_max[2] = p1;
  stop_varying(pst, 2);
  const eval_state env = *pst;
  vint_grids g;
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  g.ps = take_grid(pst).release();
  if (!g.ps) return -1;
  *pst = env;
  rc = kaexpr(args->args[1], pst);
  if (rc) return rc;
  g.acc = take_grid(pst).release();
  if (!g.acc) return -1;
  if (!same_points(g.ps, g.acc)) return incompatible();

  const long long n = grid_points(g.acc);
  const float* S = g.ps->values;
  const float su = g.ps->undef, ru = g.acc->undef;
  // Sums in double; a point is defined once a layer has reached it.
  std::vector<double> sum(size_t(n), 0.0);
  std::vector<unsigned char> def(size_t(n), 0);
  // A layer never counts negatively: where the surface lies above the top
  // there is nothing to integrate.
  auto thickness = [](double lower, double upper) { return lower > upper ? lower - upper : 0.0; };
  {
    // Layer 1 reaches halfway to level 2, or to the top when level 2 lies
    // above the top.
    const double upper = p2 < top ? top : p1 + (p2 - p1) / 2;
    const float* R = g.acc->values;
    for (long long k = 0; k < n; k++) {
      if (S[k] == su || R[k] == ru || S[k] < p1) continue;
      sum[k] = double(R[k]) * kG * thickness(S[k], upper);
      def[k] = 1;
    }
  }
  // Adds the layer of level pk between lower edge d (or the surface) and
  // upper edge up; the surface replaces the lower edge where it lies above
  // the level below (need_ground: and only where it is not above pk).
  auto add_level = [&](float pk, double below, double d, double up, bool need_ground) {
    eval_state at = env;
    at.dim_min[2] = at.dim_max[2] = pk;
    int code = kaexpr(args->args[1], &at);
    if (code) return code;
    grid_ptr v = take_grid(&at);
    if (!v) return -1;
    if (!same_points(g.acc, v.get())) return incompatible();
    const float* V = v->values;
    const float vu = v->undef;
    for (long long k = 0; k < n; k++) {
      if (S[k] == su || V[k] == vu || (need_ground && S[k] < pk)) continue;
      const double lower = S[k] < below ? double(S[k]) : d;
      sum[k] += double(V[k]) * kG * thickness(lower, up);
      def[k] = 1;
    }
    return 0;
  };
  int k = 2;
  for (; k < nz; k++) {
    const float pk = lev(k);
    if (pk < top) break;
    const float above = lev(k + 1), below = lev(k - 1);
    const double up = above < top ? double(top) : pk + (above - pk) / 2.0;
    const double d = pk + (below - pk) / 2.0;
    rc = add_level(pk, below, d, up, true);
    if (rc) return rc;
  }
  if (k == nz && !(lev(nz) < top)) {
    const float pk = lev(nz), below = lev(nz - 1);
    rc = add_level(pk, below, pk + (below - pk) / 2.0, top, false);
    if (rc) return rc;
  }
  float* R = g.acc->values;
  for (long long i = 0; i < n; i++) {
    const float r = float(sum[i]);
    R[i] = def[i] && std::isfinite(r) ? r : ru;
  }
  grid_field* out = g.acc;
  g.acc = nullptr;
  return give_grid(pst, grid_ptr(out));
}
