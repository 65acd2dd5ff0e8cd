#include "expr/fscorr.h"

#include <cmath>
#include <cstdlib>

#include "base/alloc.h"
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
  if (!area_box(args->args + 2, global, true, &env, box)) {
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
    kaprnt(msg_level::error, "Error from SCORR:  The expressions do not vary in longitude and latitude\n");
    return 1;
  }
  if (g.a->isiz != g.b->isiz || g.a->jsiz != g.b->jsiz || kagchk(g.a, g.b, 0) ||
      kagchk(g.a, g.b, 1)) {
    kaprnt(msg_level::error, "Error from SCORR:  Incompatable grids\n");
    return 1;
  }
  const long long n = grid_points(g.a);
  float* va = g.a->values;
  float* vb = g.b->values;
  const float ua = g.a->undef, ub = g.b->undef;
  for (long long k = 0; k < n; k++) {
    if (va[k] == ua || vb[k] == ub) {
      va[k] = ua;
      vb[k] = ub;
    }
  }
  auto mean = [&](const grid_field* x) { return doaave(x, box[0], box[1], box[2], box[3], 1); };
  float result = ua;
  const float m1 = mean(g.a), m2 = mean(g.b);
  if (m1 != ua && m2 != ub) {
    float* prod = static_cast<float*>(kamalloc(sizeof(float) * size_t(n), "Error from SCORR:  Memory Allocation \n"));
    // Anomalies in double before they are stored, products and squares of
    // the stored anomalies.
    for (long long k = 0; k < n; k++) {
      if (va[k] == ua) {
        prod[k] = ua;
        continue;
      }
      const float da = float(double(va[k]) - m1), db = float(double(vb[k]) - m2);
      prod[k] = float(double(da) * db);
      va[k] = float(double(da) * da);
      vb[k] = float(double(db) * db);
    }
    const float q1 = mean(g.a), q2 = mean(g.b);
    float* keep = g.a->values;
    g.a->values = prod;
    const float c = mean(g.a);
    g.a->values = keep;
    kafree(prod);
    if (q1 != ua && q2 != ub && c != ua) {
      const double div = code == kCorrelation ? std::sqrt(double(q1) * q2) : double(q1);
      if (div > 0) {
        const float r = float(c / div);
        if (std::isfinite(r)) result = r;
      }
    }
  }
  grid_field* out = kagrvl(result);
  out->undef = ua;
  return give_grid(pst, grid_ptr(out));
}

int ffscor(function_args* a, eval_state* s) { return scorr(a, s, kCorrelation); }
int ffsreg(function_args* a, eval_state* s) { return scorr(a, s, kRegression); }
