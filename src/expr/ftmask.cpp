#include "expr/ftmask.h"

#include <cmath>
#include <vector>

#include "expr/dimexpr.h"
#include "expr/evalstate.h"
#include "base/message.h"
#include "base/timecal.h"
#include "data/filerec.h"
#include "expr/eval.h"
#include "expr/func.h"
#include "expr/fshared.h"
#include "data/result.h"

namespace {

const char* const tmnam[3] = {"TMAVE", "TCORR", "TREGR"};

enum : int { kAverage = 1, kCorrelation = 2, kRegression = 3 };

// One call's state. The first grid taken is kept: it becomes the result, so
// the expression is read in at most two passes over the times.
struct masked {
  const char* name = nullptr;
  int kind = kAverage;
  eval_state* pst = nullptr;
  const file_descriptor* f = nullptr;
  const char* series = nullptr;
  const char* expr = nullptr;
  grid_field* first = nullptr;
  int first_time = 0;  // where the first grid was taken, with its series value
  double first_x = 0;
  long long n = 0;
  std::vector<double> s, w;                   // tmave
  std::vector<double> sx, sy, sxx, syy, sxy;  // tcorr, tregr
  std::vector<int> cnt;
  std::vector<double> mx, my;

  ~masked() { kagfre(first); }

  void place(int g) {
    gr2t(f->grid_to_world_scaling[3], g, &pst->time_start);
    pst->time_end = pst->time_start;
  }

  int error_getting() {
    kaprntf(msg_level::error, "Error from %s:  Error getting grids\n", name);
    return 1;
  }

  // Evaluates text into a grid; null with *rc set after a message.
  grid_ptr grid(const char* text, int* rc) {
    pst->result = std::monostate{};
    if (kaexpr(text, pst)) {
      *rc = error_getting();
      return nullptr;
    }
    grid_ptr g = take_grid(pst);
    if (!g) {
      kaprntf(msg_level::error, "Error from %s:  Args must be grid data\n", name);
      *rc = 1;
    }
    return g;
  }

  // The series at the current time: false with *rc set on an error, else
  // true with *defined telling whether the time is used.
  bool series_value(double* x, bool* defined, int* rc) {
    grid_ptr g = grid(series, rc);
    if (!g) return false;
    if (g->idim != -1 || g->jdim != -1 || grid_points(g.get()) != 1) {
      kaprntf(msg_level::error, "Error from %s:  1st arg must be 0-D\n", name);
      *rc = error_getting();
      return false;
    }
    *defined = g->values[0] != g->undef;
    *x = g->values[0];
    return true;
  }

  // A grid of a later time must cover the points of the first.
  bool fits(const grid_field* g) {
    if (same_points(first, g)) return true;
    kaprntf(msg_level::error, "Error from %s:  Grids differ in shape from time to time\n", name);
    error_getting();
    return false;
  }

  void start(grid_ptr g) {
    first = g.release();
    n = grid_points(first);
    const size_t m = size_t(n);
    if (kind == kAverage) {
      s.assign(m, 0.0);
      w.assign(m, 0.0);
    } else {
      sx.assign(m, 0.0);
      sy.assign(m, 0.0);
      cnt.assign(m, 0);
    }
  }

  void add_first_pass(const grid_field* g, double x) {
    const float u = g->undef;
    const float* v = g->values;
    if (kind == kAverage) {
      for (long long k = 0; k < n; k++)
        if (v[k] != u) {
          s[k] += double(v[k]) * x;
          w[k] += x;
        }
      return;
    }
    for (long long k = 0; k < n; k++)
      if (v[k] != u) {
        sx[k] += x;
        sy[k] += v[k];
        cnt[k]++;
      }
  }

  void add_second_pass(const grid_field* g, double x) {
    const float u = g->undef;
    const float* v = g->values;
    for (long long k = 0; k < n; k++) {
      if (v[k] == u || cnt[k] == 0) continue;
      const double dx = x - mx[k], dy = double(v[k]) - my[k];
      sxx[k] += dx * dx;
      syy[k] += dy * dy;
      sxy[k] += dx * dy;
    }
  }

  // One pass over the times; second: the deviation sums.
  int pass(int lo, int hi, bool second) {
    int rc = 0;
    for (int t = lo; t <= hi; t++) {
      place(t);
      double x = 0;
      bool used = false;
      if (!series_value(&x, &used, &rc)) return rc;
      if (!used) continue;
      grid_ptr g = grid(expr, &rc);
      if (!g) return rc;
      if (!first) {
        first_time = t;
        first_x = x;
        start(std::move(g));
        add_first_pass(first, x);
        continue;
      }
      if (!fits(g.get())) return 1;
      if (second)
        add_second_pass(g.get(), x);
      else
        add_first_pass(g.get(), x);
    }
    return 0;
  }

  void finish() {
    float* out = first->values;
    const float u = first->undef;
    for (long long k = 0; k < n; k++) {
      double r;
      bool ok;
      if (kind == kAverage) {
        ok = w[k] > 0;
        r = ok ? s[k] / w[k] : 0;
      } else {
        const double N = cnt[k];
        const double a = sxx[k] / N, b = syy[k] / N, c = sxy[k] / N;
        const double den = kind == kCorrelation ? std::sqrt(a * b) : a;
        ok = cnt[k] > 0 && den != 0;
        r = ok ? c / den : 0;
      }
      const float rf = float(r);
      out[k] = ok && std::isfinite(rf) ? rf : u;
    }
  }
};

}  // namespace

int tmaskf(function_args* args, eval_state* pst, int kind) {
  const char* nm = tmnam[kind - 1];
  if (args->count != 4) {
    kaprntf(msg_level::error, "Error from %s:  Too many or too few args\n", nm);
    kaprnt(msg_level::error, "                   4 arguments expected \n");
    return 1;
  }
  const file_descriptor* f = pst->default_file;
  int d = -1, world = 0;
  double b1 = 0, b2 = 0;
  if (!f || !dimarg(args->args[2], pst, f, &d, &b1, &world) || d != 3 || !(std::fabs(b1) < 1e9f)) {
    kaprntf(msg_level::error, "Error from %s:  1st dimension expr invalid\n", nm);
    return 1;
  }
  if (!dimarg(args->args[3], pst, f, &d, &b2, &world) || d != 3 || !(std::fabs(b2) < 1e9f)) {
    kaprntf(msg_level::error, "Error from %s:  2nd dimension expr invalid\n", nm);
    return 1;
  }
  if (pst->jdim == 3) pst->jdim = -1;
  const int lo = int(arg_ceil(b1, 0.001f));
  const int hi = int(arg_floor(b2, 0.001f));
  kaprntf(msg_level::result, "%s:  dim = %i, start = %i, end = %i\n", nm, 3, lo, hi);

  masked m;
  m.name = nm;
  m.kind = kind;
  m.pst = pst;
  m.f = f;
  m.series = args->args[0];
  m.expr = args->args[1];
  int rc = m.pass(lo, hi, false);
  if (rc) return rc;
  if (!m.first) {
    // The series is undefined throughout: a grid of undefined values.
    m.place(lo);
    grid_ptr g = m.grid(m.expr, &rc);
    if (!g) return rc;
    for (long long k = 0; k < grid_points(g.get()); k++) g->values[k] = g->undef;
    return give_grid(pst, std::move(g));
  }
  if (kind != kAverage) {
    m.mx.resize(size_t(m.n));
    m.my.resize(size_t(m.n));
    for (long long k = 0; k < m.n; k++) {
      const double N = m.cnt[k];
      m.mx[k] = N > 0 ? m.sx[k] / N : 0;
      m.my[k] = N > 0 ? m.sy[k] / N : 0;
    }
    m.sxx.assign(size_t(m.n), 0.0);
    m.syy.assign(size_t(m.n), 0.0);
    m.sxy.assign(size_t(m.n), 0.0);
    // The first used grid is still at hand: its deviations are added here
    // rather than read again.
    m.add_second_pass(m.first, m.first_x);
    rc = m.pass(m.first_time + 1, hi, true);
    if (rc) return rc;
  }
  m.finish();
  grid_ptr out(m.first);
  m.first = nullptr;
  return give_grid(pst, std::move(out));
}

int fftmav(function_args* a, eval_state* s) { return tmaskf(a, s, kAverage); }
int fftcor(function_args* a, eval_state* s) { return tmaskf(a, s, kCorrelation); }
int fftreg(function_args* a, eval_state* s) { return tmaskf(a, s, kRegression); }
