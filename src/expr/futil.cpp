#include "expr/futil.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "base/alloc.h"
#include "expr/dimexpr.h"
#include "expr/evalstate.h"
#include "base/message.h"
#include "base/words.h"
#include "data/filerec.h"
#include "expr/eval.h"
#include "expr/func.h"
#include "expr/fshared.h"
#include "data/result.h"

namespace {

// Which values const replaces.
enum class const_mode { defined, undefined, all };

// Direction of the differences of cdiff.
enum class diff_mode { centred, forward, backward };

struct dim_letter {
  char letter;
  int dim;
};
constexpr dim_letter kDimLetters[] = {{'x', 0}, {'y', 1}, {'z', 2}, {'t', 3}};

int count_error(const char* l1, const char* l2) {
  kaprnt(msg_level::error, l1);
  kaprnt(msg_level::error, l2);
  return 1;
}

// What one row gives the smoother, weighted: as the row below or above a
// point (a: its side value and its two corner values; an: their weights)
// and as the point's own row (b: its left and right values; bn: their
// weights). Undefined values and neighbours off the row give nothing. A row
// with every value defined shares the weights every such row has.
struct row_terms {
  double *a, *b, *own_an, *own_bn;
  const double *an, *bn;
  bool full;
};

// The terms from the values c and their counts n (1 defined, 0 not).
void spread(const double* __restrict c, const double* __restrict n, int ni, double ws, double wk,
            double* __restrict a, double* __restrict b, double* __restrict an,
            double* __restrict bn) {
  auto put = [&](int i, double e, double ne) {
    a[i] = ws * c[i] + wk * e;
    b[i] = ws * e;
    if (an) {
      an[i] = ws * n[i] + wk * ne;
      bn[i] = ws * ne;
    }
  };
  if (ni == 1) {
    put(0, 0, 0);
    return;
  }
  put(0, c[1], n[1]);
  if (an)
    for (int i = 1; i < ni - 1; i++) put(i, c[i - 1] + c[i + 1], n[i - 1] + n[i + 1]);
  else
    for (int i = 1; i < ni - 1; i++) {
      a[i] = ws * c[i] + wk * (c[i - 1] + c[i + 1]);
      b[i] = ws * (c[i - 1] + c[i + 1]);
    }
  put(ni - 1, c[ni - 2], n[ni - 2]);
}

void make_terms(const float* __restrict v, int ni, float u, double ws, double wk,
                double* __restrict c, double* __restrict n, const double* an_full,
                const double* bn_full, row_terms* t) {
  int defined = 0;
  for (int i = 0; i < ni; i++) {
    const bool m = v[i] != u;
    const double x = v[i];
    c[i] = m ? x : 0.0;
    n[i] = m ? 1.0 : 0.0;
    defined += m;
  }
  t->full = defined == ni;
  t->an = t->full ? an_full : t->own_an;
  t->bn = t->full ? bn_full : t->own_bn;
  spread(c, n, ni, ws, wk, t->a, t->b, t->full ? nullptr : t->own_an,
         t->full ? nullptr : t->own_bn);
}

// The nine-point smoother of an ni x nj grid, in place: each defined point
// becomes the weighted mean of itself (wc) and its defined neighbours
// (sides ws, corners wk). Rows off the grid add nothing, so the border
// needs no case of its own and the loops have no branches; where the row
// and both its neighbours are wholly defined the weight totals are the
// ones worked out once. Each row's terms are taken before the row is
// overwritten.
void smooth9(float* v, int ni, int nj, float u, double wc, double ws, double wk) {
  std::vector<double> store;
  try {
    store.assign(size_t(ni) * 21, 0.0);
  } catch (const std::bad_alloc&) {
    throw alloc_error("Error from SMTH9:  Unable to allocate memory\n");
  }
  auto at = [&](int k) { return store.data() + size_t(k) * size_t(ni); };
  row_terms rows[4];
  for (int k = 0; k < 4; k++)
    rows[k] = {at(4 * k),     at(4 * k + 1), at(4 * k + 2), at(4 * k + 3),
               at(4 * k + 2), at(4 * k + 3), false};
  const row_terms& none = rows[3];  // all zero: the rows beyond the edges
  // The weights of a wholly defined row, and the totals where three meet.
  double* c = at(16);
  double* n = at(17);
  double* an_full = at(18);
  double* bn_full = at(19);
  double* total_full = at(20);
  std::fill(n, n + ni, 1.0);
  spread(c, n, ni, ws, wk, at(0), at(1), an_full, bn_full);
  for (int i = 0; i < ni; i++) total_full[i] = wc + (an_full[i] + an_full[i]) + bn_full[i];
  make_terms(v, ni, u, ws, wk, c, n, an_full, bn_full, &rows[0]);
  for (int j = 0; j < nj; j++) {
    if (j + 1 < nj)
      make_terms(v + size_t(j + 1) * ni, ni, u, ws, wk, c, n, an_full, bn_full, &rows[(j + 1) % 3]);
    const row_terms& lo = j > 0 ? rows[(j + 2) % 3] : none;
    const row_terms& mid = rows[j % 3];
    const row_terms& hi = j + 1 < nj ? rows[(j + 1) % 3] : none;
    float* __restrict o = v + size_t(j) * ni;
    const double *la = lo.a, *ha = hi.a, *mb = mid.b;
    if (lo.full && mid.full && hi.full) {
      for (int i = 0; i < ni; i++) {
        const float centre = o[i];
        const double sum = double(centre) * wc + (la[i] + ha[i]) + mb[i];
        const float r = float(sum / total_full[i]);
        o[i] = !(std::fabs(r) <= FLT_MAX) ? u : r;
      }
      continue;
    }
    const double *lan = lo.an, *han = hi.an, *mbn = mid.bn;
    for (int i = 0; i < ni; i++) {
      const float centre = o[i];
      const double sum = double(centre) * wc + (la[i] + ha[i]) + mb[i];
      const double total = wc + (lan[i] + han[i]) + mbn[i];
      const float r = float(sum / total);
      o[i] = ((centre == u) | !(std::fabs(r) <= FLT_MAX)) ? u : r;
    }
  }
}

}  // namespace

int ffsmth(function_args* args, eval_state* pst) {
  if (args->count != 1 && args->count != 4)
    return count_error("Error from SMTH9:  Too many or too few args \n",
                       "                   One or 4 arguments expected \n");
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  if (!grid_in(pst->result)) {
    kaprnt(msg_level::error, "Error from SMTH9:  Grid Required\n");
    kafree(pst);
    return 1;
  }
  grid_field* g = grid_in(pst->result);
  float wc = 1.0f, ws = 0.5f, wk = 0.3f;
  if (args->count == 4) {
    float a = 0, b = 0, c = 0;
    if (valprs(args->args[1], &a) && valprs(args->args[2], &b) && valprs(args->args[3], &c)) {
      wc = a;
      ws = b;
      wk = c;
    } else {
      kaprnt(msg_level::error, "Error from SMTH9:  Invalid Weight Values\n");
      kaprnt(msg_level::error, "  Using defaults:  1.0  0.5  0.3\n");
    }
  }
  smooth9(g->values, g->isiz, g->jsiz, g->undef, wc, ws, wk);
  if (g->idim < 0) g->max_value = g->min_value;
  return 0;
}

int ffskip(function_args* args, eval_state* pst) {
  if (args->count != 2 && args->count != 3)
    return count_error("Error from SKIP:  Too many or too few args \n",
                       "                  Two or 3 arguments expected \n");
  int ni = 0, nj = 0;
  if (!intprs(args->args[1], &ni)) {
    kaprnt(msg_level::error, "Error from SKIP:  2nd argument must be an integer \n");
    return 1;
  }
  nj = ni;
  if (args->count == 3 && !intprs(args->args[2], &nj)) {
    kaprnt(msg_level::error, "Error from SKIP:  3rd argument must be an integer\n");
    return 1;
  }
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  if (!grid_in(pst->result)) {
    kaprnt(msg_level::error, "Error from SKIP:  Grid Required\n");
    kafree(pst);
    return 1;
  }
  grid_field* g = grid_in(pst->result);
  if (g->idim < 0) return 0;
  if (ni < 1) ni = 1;
  if (nj < 1) nj = 1;
  for (int j = 0; j < g->jsiz; j++)
    for (int i = 0; i < g->isiz; i++)
      if (i % ni != 0 || j % nj != 0) g->values[static_cast<long long>(j) * g->isiz + i] = g->undef;
  return 0;
}

int ffcnst(function_args* args, eval_state* pst) {
  if (args->count != 2 && args->count != 3)
    return count_error("Error from CONST:  Too many or too few args \n",
                       "                   Two or 3 arguments expected \n");
  float c = 0;
  if (!valprs(args->args[1], &c)) {
    kaprnt(msg_level::error, "Error from CONST:  2nd argument must be a constant\n");
    return 1;
  }
  const_mode mode = const_mode::defined;
  if (args->count == 3) {
    const char* fl = args->args[2];
    if (fl[0] == '-' && fl[1] == 'u')
      mode = const_mode::undefined;
    else if (fl[0] == '-' && fl[1] == 'a')
      mode = const_mode::all;
    else
      kaprnt(msg_level::info, "Warning from CONST: Invalid flag.  Ignored.\n");
  }
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  auto replace = [&](float* v, float u) {
    const bool def = *v != u;
    if (mode == const_mode::all || (mode == const_mode::defined) == def) *v = c;
  };
  if (grid_in(pst->result)) {
    grid_field* g = grid_in(pst->result);
    for (long long k = 0; k < grid_points(g); k++) replace(&g->values[k], g->undef);
    if (g->idim < 0) g->max_value = g->min_value;
  } else {
    station_set* s = stations_in(pst->result);
    for (station_report* r = s->first_report; r; r = r->next) replace(&r->value, s->undef);
  }
  return 0;
}

int ffcdif(function_args* args, eval_state* pst) {
  if (args->count != 2)
    return count_error("Error from CDIFF:  Too many or too few args \n",
                       "                   Two arguments expected \n");
  const char* da = args->args[1];
  int dim = -1;
  for (const dim_letter& d : kDimLetters)
    if (da[0] == d.letter) dim = d.dim;
  if (dim < 0)
    return count_error("Error from CDIFF:  Invalid dimension argument\n",
                       "  2nd argument must be X, Y, Z, or T\n");
  const diff_mode mode = da[0] && da[1] == 'p'   ? diff_mode::forward
                         : da[0] && da[1] == 'm' ? diff_mode::backward
                                                 : diff_mode::centred;
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  if (!grid_in(pst->result)) {
    kafree(pst);
    return -1;
  }
  grid_field* g = grid_in(pst->result);
  const bool along_j = g->jdim == dim;
  if (!along_j && g->idim != dim) {
    kaprnt(msg_level::error, "Error from CDIFF:  Specified dimension non varying\n");
    kafree(pst);
    return 1;
  }
  const long long n = grid_points(g);
  static const char kNoMemory[] = "Error from CDIFF:  Memory allocation error\n";
  kareserve(double(n), double(n) * sizeof(float), kNoMemory);
  float* out = static_cast<float*>(kamalloc(sizeof(float) * size_t(n), kNoMemory));
  const int len = along_j ? g->jsiz : g->isiz;
  const long long stride = along_j ? g->isiz : 1;
  const float u = g->undef;
  const float* v = g->values;
  for (long long k = 0; k < n; k++) {
    const int pos = int(along_j ? k / g->isiz : k % g->isiz);
    const int lo = mode == diff_mode::forward ? pos : pos - 1;
    const int hi = mode == diff_mode::backward ? pos : pos + 1;
    out[k] = u;
    if (lo < 0 || hi >= len) continue;
    const float a = v[k + (lo - pos) * stride], b = v[k + (hi - pos) * stride];
    if (a == u || b == u) continue;
    out[k] = b - a;
  }
  kafree(g->values);
  g->values = out;
  return 0;
}

int ffflvl(function_args* args, eval_state* pst) {
  if (args->count != 4)
    return count_error("Error from FNDLVL:  Too many or too few args \n",
                       "                    Four arguments expected \n");
  const file_descriptor* f = pst->default_file;
  int d = -1, world = 0;
  double g1 = 0, g2 = 0;
  // The levels are found through float grid coordinates, which hold every
  // whole number only up to 2^24.
  auto held = [](double g) { return double(static_cast<float>(g)) == g; };
  if (!f || !dimarg(args->args[2], pst, f, &d, &g1, &world) || d != 2 || !held(g1)) {
    kaprnt(msg_level::error, "Error from FNDLVL:  Arg 3 an invalid Z dimension expression\n");
    return 1;
  }
  if (!dimarg(args->args[3], pst, f, &d, &g2, &world) || d != 2 || !held(g2)) {
    kaprnt(msg_level::error, "Error from FNDLVL:  Arg 4 an invalid Z dimension expression\n");
    return 1;
  }
  const int nz = f->z_size;
  if (nz < 3 || !f->grid_to_world[2]) {
    kaprnt(msg_level::error, "Error from FNDLVL:  Too few levels in default file \n");
    return 1;
  }
  auto lev = [&](float k) { return f->grid_to_world[2](f->grid_to_world_scaling[2], k); };
  const float first = lev(1), last = lev(float(nz));
  const float flev = lev(static_cast<float>(g1)), llev = lev(static_cast<float>(g2));
  const float lmin = std::fmin(flev, llev), lmax = std::fmax(flev, llev);
  // Visited from the first level expression toward the second.
  const bool upward = (first < last && flev < llev) || (first > last && llev < flev);
  std::vector<float> levels;
  for (int s = 0; s < nz; s++) {
    const float l = lev(float(upward ? 1 + s : nz - s));
    kaprntout("vvv lev,flev,llev = %g %g %g\n", double(l), double(flev), double(llev));
    if (l < lmin || l > lmax) continue;
    levels.push_back(l);
    kaprntout("vvv lev = %g cnt = %i\n", double(l), int(levels.size()));
  }
  if (levels.empty()) {
    kaprnt(msg_level::error,
           "Error from FNDLVL:  No level of the default file lies in the range\n");
    return 1;
  }
  stop_varying(pst, 2);
  pst->dim_min[2] = pst->dim_max[2] = levels[0];
  const eval_state env = *pst;
  int rc = kaexpr(args->args[1], pst);
  if (rc) return 1;
  grid_ptr val = take_grid(pst);
  if (!val) return -1;
  auto profile = [&](float l, int* code) -> grid_ptr {
    eval_state at = env;
    at.dim_min[2] = at.dim_max[2] = l;
    if (kaexpr(args->args[0], &at)) {
      *code = 1;
      return nullptr;
    }
    grid_ptr p = take_grid(&at);
    if (!p)
      *code = -1;
    else if (!same_points(val.get(), p.get())) {
      kaprnt(msg_level::error, "Error from FNDLVL :  Incompatible grids. \n");
      p.reset();
      *code = 1;
    }
    return p;
  };
  grid_ptr p0 = profile(levels[0], &rc);
  if (!p0) return rc;
  const long long n = grid_points(val.get());
  std::vector<float> res(size_t(n), val->undef);
  const float ru = val->undef;
  constexpr long long kShown = 7;  // the point the trace line follows
  for (size_t li = 1; li < levels.size(); li++) {
    const float L0 = levels[li - 1], L1 = levels[li];
    grid_ptr p1 = profile(L1, &rc);
    if (!p1) return rc;
    for (long long k = 0; k < n; k++) {
      if (res[k] != ru) continue;
      const float a = p0->values[k], b = p1->values[k], v = val->values[k];
      if (a == p0->undef || b == p1->undef || v == ru) continue;
      const bool between = a < b ? (a <= v && v <= b) : (b <= v && v <= a);
      if (!between) continue;
      res[k] =
          std::fabs(b - a) < 1e-5f ? L0 : float(L0 + double(L1 - L0) * (v - a) / (double(b) - a));
    }
    if (n > kShown)
      kaprntout("vvv lev1 = %g lev2 = %g gr1,gr2,grv,grr = %g %g %g %g\n", double(L0), double(L1),
                double(p0->values[kShown]), double(p1->values[kShown]), double(val->values[kShown]),
                double(res[kShown]));
    p0 = std::move(p1);
  }
  p0.reset();
  for (long long k = 0; k < n; k++) val->values[k] = res[size_t(k)];
  return give_grid(pst, std::move(val));
}
