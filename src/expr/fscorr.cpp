#include "expr/fscorr.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "expr/evalstate.h"
#include "base/message.h"
#include "expr/eval.h"
#include "expr/farea.h"
#include "expr/func.h"
#include "expr/fshared.h"
#include "data/result.h"

namespace {

enum : int { kCorrelation = 1, kRegression = 2 };

struct grid_pair {
  grid_field* a = nullptr;
  grid_field* b = nullptr;
  ~grid_pair() {
    kagfre(a);
    kagfre(b);
  }
};

// Weighted sums over the points where both fields are defined: the
// weight, each field, their squares and their product. Each field is taken
// from a reference value of its own, so that the sums of squares of fields
// far from zero keep their precision.
struct joint_sums {
  double w = 0, a = 0, b = 0, aa = 0, bb = 0, ab = 0;
};

// Two doubles and the mask of two of them; four floats and the mask a
// comparison of four of them gives.
typedef double pair_d __attribute__((vector_size(16)));
typedef long long pair_mask __attribute__((vector_size(16)));
typedef float quad_f __attribute__((vector_size(16)));
typedef int quad_mask __attribute__((vector_size(16)));

// The sums of one row in pairs of lanes; a point where either field is
// undefined has the weight +0.0 and adds nothing.
struct pair_sums {
  pair_d w = {0, 0}, a = {0, 0}, b = {0, 0}, aa = {0, 0}, bb = {0, 0}, ab = {0, 0};
};

// Four points a step, the undefined mask from one comparison of four floats
// (a float converts to double exactly) kept in vector registers. Each lane
// adds every other point in turn, as it always has: a second set of sums
// would gain nothing measurable and would move a correlation near 0 in its
// printed digits.
joint_sums row_sums(const float* __restrict va, const float* __restrict vb,
                    const double* __restrict w, int n, float ua, float ub, double ka, double kb) {
  const quad_f undef_a = {ua, ua, ua, ua}, undef_b = {ub, ub, ub, ub};
  const pair_d ref_a = {ka, ka}, ref_b = {kb, kb};
  pair_sums p;
  auto pair = [&](int i, pair_mask m) {
    pair_d wi;
    std::memcpy(&wi, w + i, sizeof wi);
    wi = (pair_d)((pair_mask)wi & m);
    // Two floats at a time convert in one instruction; half of a quad_f would not.
    const pair_d x = pair_d{double(va[i]), double(va[i + 1])} - ref_a;
    const pair_d y = pair_d{double(vb[i]), double(vb[i + 1])} - ref_b;
    const pair_d wx = wi * x, wy = wi * y;
    p.w += wi;
    p.a += wx;
    p.b += wy;
    p.aa += wx * x;
    p.bb += wy * y;
    p.ab += wx * y;
  };
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    quad_f fa, fb;
    std::memcpy(&fa, va + i, sizeof fa);
    std::memcpy(&fb, vb + i, sizeof fb);
    const quad_mask m = (fa != undef_a) & (fb != undef_b);
    pair(i, (pair_mask)__builtin_shufflevector(m, m, 0, 0, 1, 1));
    pair(i + 2, (pair_mask)__builtin_shufflevector(m, m, 2, 2, 3, 3));
  }
  if (i + 2 <= n) {
    const pair_mask m = {-(va[i] != ua && vb[i] != ub), -(va[i + 1] != ua && vb[i + 1] != ub)};
    pair(i, m);
    i += 2;
  }
  joint_sums r{p.w[0] + p.w[1],   p.a[0] + p.a[1],   p.b[0] + p.b[1],
               p.aa[0] + p.aa[1], p.bb[0] + p.bb[1], p.ab[0] + p.ab[1]};
  if (i < n && va[i] != ua && vb[i] != ub) {
    const double x = double(va[i]) - ka, y = double(vb[i]) - kb;
    r.w += w[i];
    r.a += w[i] * x;
    r.b += w[i] * y;
    r.aa += w[i] * x * x;
    r.bb += w[i] * y * y;
    r.ab += w[i] * x * y;
  }
  return r;
}

// The correlation (or the regression of b on a) over the box with the area
// average's weights, in one pass: means, variances and the covariance from
// the weighted sums. The undefined value of a when no point of both
// carries weight or a variance is not above 0.
float correlate(const grid_field* a, const grid_field* b, const float box[4], int code) {
  const float ua = a->undef, ub = b->undef;
  std::vector<double> wx, wy;
  area_weights(a, box[0], box[1], box[2], box[3], kAreaAve, &wx, &wy);
  const long long n = grid_points(a);
  const float* va = a->values;
  const float* vb = b->values;
  long long k0 = 0;
  while (k0 < n && (va[k0] == ua || vb[k0] == ub)) k0++;
  if (k0 == n) return ua;
  const double ka = va[k0], kb = vb[k0];
  const int ni = a->isiz;
  joint_sums t;
  for (int j = 0; j < a->jsiz; j++) {
    if (wy[size_t(j)] == 0) continue;
    const size_t off = size_t(j) * size_t(ni);
    const joint_sums r = row_sums(va + off, vb + off, wx.data(), ni, ua, ub, ka, kb);
    const double wj = wy[size_t(j)];
    t.w += r.w * wj;
    t.a += r.a * wj;
    t.b += r.b * wj;
    t.aa += r.aa * wj;
    t.bb += r.bb * wj;
    t.ab += r.ab * wj;
  }
  if (!(t.w > 0)) return ua;
  const double ma = t.a / t.w, mb = t.b / t.w;
  const double q1 = std::max(0.0, t.aa / t.w - ma * ma), q2 = std::max(0.0, t.bb / t.w - mb * mb);
  const double c = t.ab / t.w - ma * mb;
  const double div = code == kCorrelation ? std::sqrt(q1 * q2) : q1;
  if (!(div > 0)) return ua;
  const float r = float(c / div);
  return std::isfinite(r) ? r : ua;
}

}  // namespace

int scorr(function_args* args, eval_state* pst, int code) {
  const bool global = args->count == 3 && args->args[2][0] == 'g';
  if (!global && args->count != 6) {
    kaprnt(msg_level::error, "Error from SCORR:  Too many or too few args \n");
    kaprnt(msg_level::error, "                   6 arguments expected \n");
    return 1;
  }
  if (pst->idim > 1 || pst->jdim > 1) {
    kaprnt(msg_level::error, "Error from SCORR:  Invalid environment.  ");
    kaprnt(msg_level::error, "Z, T can't vary.\n");
    return 1;
  }
  float box[4];
  eval_state env = *pst;
  if (!area_box(args->args + 2, global, true, args->args, 2, &env, box)) {
    kaprnt(msg_level::error, "Error from SCORR:  Invalid dimension expression \n");
    return 1;
  }
  *pst = env;
  pst->result = std::monostate{};
  eval_state second = *pst;
  grid_pair g;
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  g.a = take_grid(pst).release();
  if (!g.a) return -1;
  rc = kaexpr(args->args[1], &second);
  if (rc) return rc;
  g.b = take_grid(&second).release();
  if (!g.b) return -1;
  if (!area_grid(g.a) || !area_grid(g.b)) {
    kaprnt(msg_level::error,
           "Error from SCORR:  The expressions do not vary in longitude and latitude\n");
    return 1;
  }
  if (g.a->isiz != g.b->isiz || g.a->jsiz != g.b->jsiz || kagchk(g.a, g.b, 0) ||
      kagchk(g.a, g.b, 1)) {
    kaprnt(msg_level::error, "Error from SCORR:  Incompatable grids\n");
    return 1;
  }
  const float result = correlate(g.a, g.b, box, code);
  grid_field* out = kagrvl(result);
  out->undef = g.a->undef;
  return give_grid(pst, grid_ptr(out));
}

int ffscor(function_args* a, eval_state* s) { return scorr(a, s, kCorrelation); }
int ffsreg(function_args* a, eval_state* s) { return scorr(a, s, kRegression); }
