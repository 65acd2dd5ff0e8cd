#include "expr/fdiv.h"

#include <cmath>
#include <cstdlib>

#include "base/alloc.h"
#include "expr/evalstate.h"
#include "base/message.h"
#include "expr/eval.h"
#include "expr/func.h"
#include "expr/fshared.h"
#include "data/result.h"

namespace {

enum class wind_op { divergence, curl };

constexpr double kRad = 3.1416 / 180.0;  // the differences are defined with this pi
constexpr double kEarthRadius = 6.37e6;

struct op_text {
  const char* name;
  const char* memory;
};

int run(function_args* args, eval_state* pst, wind_op op) {
  const op_text t = op == wind_op::divergence
                        ? op_text{"HDIVG", "Memory Allocation Error:  HDIVG function \n"}
                        : op_text{"HCURL", "Memory Allocation Error:  HCURL function\n"};
  if (args->count != 2) {
    kaprntf(msg_level::error, "Error from %s:  Too many or too few args \n", t.name);
    kaprnt(msg_level::error, "                   Two arguments expected \n");
    return 1;
  }
  if (pst->idim != 0 || pst->jdim != 1) {
    kaprntf(msg_level::error, "Error from %s:  Invalid dimension environment\n", t.name);
    kaprnt(msg_level::error, "  Horizontal environment (X, Y Varying) is required\n");
    return 1;
  }
  eval_state second = *pst;
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  grid_ptr u_owner(take_grid(pst));
  grid_field* u = u_owner.get();
  if (!u) return -1;
  rc = kaexpr(args->args[1], &second);
  if (rc) return rc;
  grid_ptr v_owner(take_grid(&second));
  grid_field* v = v_owner.get();
  if (!v) return -1;
  // Both must vary in x along i and y along j over the same points.
  if (u->idim != 0 || u->jdim != 1 || v->idim != 0 || v->jdim != 1 || kagchk(u, v, 0) ||
      kagchk(u, v, 1) || !u->i_to_world || !u->j_to_world) {
    kaprntf(msg_level::error, "Error from %s:  Incompatable grids \n", t.name);
    kaprnt(msg_level::error, "                   Dimension ranges unequal \n");
    return 1;
  }
  const int ni = u->isiz, nj = u->jsiz;
  kareserve(double(grid_points(u)), double(grid_points(u)) * sizeof(float), t.memory);
  float* out = static_cast<float*>(kamalloc(sizeof(float) * size_t(grid_points(u)), t.memory));
  const float uu = u->undef, vu = v->undef;
  for (long long k = 0; k < grid_points(u); k++) out[k] = uu;
  const float* U = u->values;
  const float* V = v->values;
  auto lon = [&](int i) { return u->i_to_world(u->i_world_vals, float(i + u->dim_min[0])); };
  auto lat = [&](int j) { return u->j_to_world(u->j_world_vals, float(j + u->dim_min[1])); };
  // Along x the wind component differenced is u for the divergence, v for
  // the curl; along y the other one.
  const float* X = op == wind_op::divergence ? U : V;
  const float* Y = op == wind_op::divergence ? V : U;
  const float xu = op == wind_op::divergence ? uu : vu;
  const float yu = op == wind_op::divergence ? vu : uu;
  const double sign = op == wind_op::divergence ? 1.0 : -1.0;
  for (int j = 1; j + 1 < nj; j++) {
    const double pm = lat(j - 1) * kRad, pp = lat(j + 1) * kRad, p = lat(j) * kRad;
    const double c = std::cos(p) * kEarthRadius;
    if (!(c > 1e-10)) continue;
    const double cm = std::cos(pm), cp = std::cos(pp);
    for (int i = 1; i + 1 < ni; i++) {
      const long long k = static_cast<long long>(j) * ni + i;
      const float xw = X[k - 1], xe = X[k + 1], ys = Y[k - ni], yn = Y[k + ni];
      if (xw == xu || xe == xu || ys == yu || yn == yu) continue;
      const float dl = float(lon(i + 1) * kRad) - float(lon(i - 1) * kRad);
      const double d = (double(xe) - xw) / dl + sign * (yn * cp - ys * cm) / (pp - pm);
      const float r = float(d / c);
      if (std::isfinite(r)) out[k] = r;
    }
  }
  kafree(u->values);
  u->values = out;
  return give_grid(pst, std::move(u_owner));
}

}  // namespace

int ffhdiv(function_args* a, eval_state* s) { return run(a, s, wind_op::divergence); }
int ffhcrl(function_args* a, eval_state* s) { return run(a, s, wind_op::curl); }
