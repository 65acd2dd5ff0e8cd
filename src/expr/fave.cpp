#include "expr/fave.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "base/alloc.h"
#include "expr/dimexpr.h"
#include "expr/evalstate.h"
#include "base/message.h"
#include "base/session.h"
#include "base/mfcmn.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/filerec.h"
#include "expr/eval.h"
#include "expr/fshared.h"
#include "expr/func.h"
#include "data/result.h"
#include "base/wide.h"

namespace {

const char* const avenam[8] = {"AVE", "MEAN", "SUM", "SUMG", "MIN", "MAX", "MINLOC", "MAXLOC"};

constexpr double kPi = 3.1416;  // the latitude weights are defined with this value

// True when the text is plain arithmetic of operands (no function call and no
// dimension expression): its value at each point of a row is the value it
// has with that point alone, so a row can be read at once.
bool elementwise_text(const char* s) {
  char prev = '\0';
  for (; *s && *s != '\n'; s++) {
    if (*s == '(' && ((prev >= 'a' && prev <= 'z') || (prev >= '0' && prev <= '9') || prev == '_'))
      return false;
    prev = *s;
  }
  return true;
}

// Each point's sum is added to in the same order with or without wide
// registers.
using float4 = float __attribute__((vector_size(16)));
using int4 = int __attribute__((vector_size(16)));

// Adds the defined values of a contiguous grid to the running sums and
// counts them, four points at a time in vector registers. A float converts
// to double exactly, so the undefined test is the same in double.
VEMRA_WIDE void add_counted(const float* v, long long n, float undef, double* s, int* c) {
  const double du = undef;
  const double4 uu = {du, du, du, du};
  const double4 zero = {};
  const float4 uf = {undef, undef, undef, undef};
  long long k = 0;
  for (; k + 4 <= n; k += 4) {
    const double4 d = {v[k], v[k + 1], v[k + 2], v[k + 3]};
    double4 acc;
    std::memcpy(&acc, s + k, sizeof acc);
    acc += d != uu ? d : zero;
    std::memcpy(s + k, &acc, sizeof acc);
    float4 f;
    int4 cnt;
    std::memcpy(&f, v + k, sizeof f);
    std::memcpy(&cnt, c + k, sizeof cnt);
    cnt -= f != uf;
    std::memcpy(c + k, &cnt, sizeof cnt);
  }
  for (; k < n; k++) {
    const bool m = v[k] != undef;
    s[k] += m ? double(v[k]) : 0.0;
    c[k] += m;
  }
}

// The same for several grids in time order: each point's running sum stays in
// a register while the grids are added to it, one after the other, so the
// sums are the same as grid by grid but are fetched and stored once.
constexpr int kBatch = 8;

VEMRA_WIDE void add_counted_many(float* const* vs, const float* undefs, const bool* whole, int nb,
                                 long long n, double* s, int* c) {
  bool partial = false;
  for (int b = 0; b < nb; b++) partial |= !whole[b];
  long long k = 0;
  // Thirty-two points at a time: eight running sums that do not wait on
  // each other, each added to grid after grid. Counts only change for
  // grids with undefined values. The helpers take the sums by reference, as
  // vectors are not passed by value.
  auto add = [](double4& a, const float* p) { a += double4{p[0], p[1], p[2], p[3]}; };
  for (; k + 32 <= n; k += 32) {
    // Named, not an array, so that they stay in registers.
    double4 a0, a1, a2, a3, a4, a5, a6, a7;
    std::memcpy(&a0, s + k, sizeof a0);
    std::memcpy(&a1, s + k + 4, sizeof a1);
    std::memcpy(&a2, s + k + 8, sizeof a2);
    std::memcpy(&a3, s + k + 12, sizeof a3);
    std::memcpy(&a4, s + k + 16, sizeof a4);
    std::memcpy(&a5, s + k + 20, sizeof a5);
    std::memcpy(&a6, s + k + 24, sizeof a6);
    std::memcpy(&a7, s + k + 28, sizeof a7);
    for (int b = 0; b < nb; b++) {
      const float* v = vs[b] + k;
      if (whole[b]) {
        add(a0, v);
        add(a1, v + 4);
        add(a2, v + 8);
        add(a3, v + 12);
        add(a4, v + 16);
        add(a5, v + 20);
        add(a6, v + 24);
        add(a7, v + 28);
        continue;
      }
      const double du = undefs[b];
      const double4 uu = {du, du, du, du};
      const double4 zero = {};
      auto add_defined = [&](double4& a, const float* p) {
        const double4 d = {p[0], p[1], p[2], p[3]};
        a += d != uu ? d : zero;
      };
      add_defined(a0, v);
      add_defined(a1, v + 4);
      add_defined(a2, v + 8);
      add_defined(a3, v + 12);
      add_defined(a4, v + 16);
      add_defined(a5, v + 20);
      add_defined(a6, v + 24);
      add_defined(a7, v + 28);
    }
    std::memcpy(s + k, &a0, sizeof a0);
    std::memcpy(s + k + 4, &a1, sizeof a1);
    std::memcpy(s + k + 8, &a2, sizeof a2);
    std::memcpy(s + k + 12, &a3, sizeof a3);
    std::memcpy(s + k + 16, &a4, sizeof a4);
    std::memcpy(s + k + 20, &a5, sizeof a5);
    std::memcpy(s + k + 24, &a6, sizeof a6);
    std::memcpy(s + k + 28, &a7, sizeof a7);
    if (!partial) continue;
    for (int b = 0; b < nb; b++) {
      if (whole[b]) continue;
      const float u = undefs[b];
      const float* v = vs[b] + k;
      for (int j = 0; j < 32; j++) c[k + j] += v[j] != u;
    }
  }
  for (; k < n; k++)
    for (int b = 0; b < nb; b++) {
      const float x = vs[b][k];
      const bool m = x != undefs[b];
      s[k] += m ? double(x) : 0.0;
      c[k] += m && !whole[b];
    }
}

// Adds the defined values of rows k0..k1-1 of a grid (ni values a row), each
// times the weight of its column, to the rows' sums, and the weights to their
// weight sums, for the columns at[0..nc) in that order. Eight rows go along
// together, one per lane: each row's sums take the columns one after the
// other exactly as a column at a time would, but every load is next to the
// one before in its row instead of a whole row away.
VEMRA_WIDE void add_weighted_rows(const float* v, long long ni, long long k0, long long k1,
                                  float undef, const long long* at, const double* w, long long nc,
                                  double* s, double* ws, unsigned char* def) {
  const double du = undef;
  const double4 uu = {du, du, du, du};
  const double4 zero = {};
  long long k = k0;
  for (; k + 8 <= k1; k += 8) {
    const float* r0 = v + k * ni;
    const float *r1 = r0 + ni, *r2 = r1 + ni, *r3 = r2 + ni, *r4 = r3 + ni, *r5 = r4 + ni,
                *r6 = r5 + ni, *r7 = r6 + ni;
    double4 a0, a1, b0, b1;
    std::memcpy(&a0, s + k, sizeof a0);
    std::memcpy(&a1, s + k + 4, sizeof a1);
    std::memcpy(&b0, ws + k, sizeof b0);
    std::memcpy(&b1, ws + k + 4, sizeof b1);
    long4 d0 = {}, d1 = {};
    for (long long c = 0; c < nc; c++) {
      const long long i = at[c];
      const double4 wc = {w[c], w[c], w[c], w[c]};
      const double4 x0 = {r0[i], r1[i], r2[i], r3[i]};
      const double4 x1 = {r4[i], r5[i], r6[i], r7[i]};
      const long4 m0 = x0 != uu, m1 = x1 != uu;
      a0 += m0 ? x0 * wc : zero;
      a1 += m1 ? x1 * wc : zero;
      b0 += m0 ? wc : zero;
      b1 += m1 ? wc : zero;
      d0 |= m0;
      d1 |= m1;
    }
    std::memcpy(s + k, &a0, sizeof a0);
    std::memcpy(s + k + 4, &a1, sizeof a1);
    std::memcpy(ws + k, &b0, sizeof b0);
    std::memcpy(ws + k + 4, &b1, sizeof b1);
    for (int j = 0; j < 4; j++) {
      def[k + j] |= d0[j] != 0;
      def[k + 4 + j] |= d1[j] != 0;
    }
  }
  for (; k < k1; k++) {
    const float* row = v + k * ni;
    double a = s[k], b = ws[k];
    bool d = false;
    for (long long c = 0; c < nc; c++) {
      const double x = row[at[c]];
      const bool m = x != du;
      a += m ? x * w[c] : 0.0;
      b += m ? w[c] : 0.0;
      d |= m;
    }
    s[k] = a;
    ws[k] = b;
    def[k] |= d;
  }
}

// True when no value of the grid is undefined.
VEMRA_WIDE bool all_defined(const float* v, long long n, float undef) {
  const float8 uu = {undef, undef, undef, undef, undef, undef, undef, undef};
  long4 any = {};
  long long k = 0;
  for (; k + 8 <= n; k += 8) {
    float8 f;
    std::memcpy(&f, v + k, sizeof f);
    any |= reinterpret_cast<long4>(f == uu);
  }
  bool none = (any[0] | any[1] | any[2] | any[3]) == 0;
  for (; k < n; k++) none &= v[k] != undef;
  return none;
}

// One call's working state.
struct reduction {
  int kind = 1;
  const char* name = "AVE";
  int dim = 0;
  bool exact = false;
  double b1 = 0, b2 = 0;
  double w1 = 0, w2 = 0;  // exact boundaries in world coordinates (x, y, z)
  const file_descriptor* f = nullptr;

  // Accumulators, one per result point: sums and weights in double for
  // kinds 1-4, the extreme and its index for kinds 5-8.
  long long n = 0;
  std::vector<double> sum, wsum;
  std::vector<float> ext;
  std::vector<int> where;
  std::vector<unsigned char> defined;
  std::vector<int> count;

  float world(float g) const {
    if (f->grid_to_world[dim]) return f->grid_to_world[dim](f->grid_to_world_scaling[dim], g);
    return g;
  }

  // Moves the state to grid index g of the reduced dimension.
  void place(eval_state* pst, int g) const {
    if (dim == 3) {
      gr2t(f->grid_to_world_scaling[3], g, &pst->time_start);
      pst->time_end = pst->time_start;
    } else {
      pst->dim_min[dim] = pst->dim_max[dim] = world(float(g));
    }
  }

  // The weight of index g; uncut, when given, receives along longitude the
  // weight of its box uncut.
  double weight(int g, double* uncut = nullptr) const {
    if (dim == 3) {
      if (!exact) return 1.0;
      double lo = std::fmax(g - 0.5, std::fmin(b1, b2));
      double hi = std::fmin(g + 0.5, std::fmax(b1, b2));
      return hi > lo ? hi - lo : 0.0;
    }
    double lo = world(float(g) - 0.5f), hi = world(float(g) + 0.5f);
    const double s = std::fabs(hi - lo);
    if (uncut) *uncut = kind > 2 ? 1.0 : s;
    if (exact) {
      const double a = std::fmin(w1, w2), b = std::fmax(w1, w2);
      lo = std::fmin(std::fmax(lo, a), b);
      hi = std::fmin(std::fmax(hi, a), b);
    }
    if (dim == 1) {
      lo = std::fmin(std::fmax(lo, -90.0), 90.0);
      hi = std::fmin(std::fmax(hi, -90.0), 90.0);
    }
    switch (kind) {
      case 1:
        if (dim == 1) return std::fabs(std::sin(hi * kPi / 180.0) - std::sin(lo * kPi / 180.0));
        return hi - lo;
      case 2: return dim == 1 ? std::fabs(hi - lo) : hi - lo;
      case 3: return s > 1e-5 ? std::fabs(hi - lo) / s : 0.0;
      default: return 1.0;
    }
  }

  // Along longitude the columns a whole turn apart are one place and count
  // once (kinds 1-4).
  turn_fold turns;
  int turns_first = 0;

  void fold_turns(int first, int last) {
    if (dim != 0 || kind > 4) return;
    turns = turn_fold(columns_per_turn(f, first, last));
    turns_first = first;
  }

  // The weight of index g; false when g repeats a place already counted
  // in full, which is then left out.
  bool weigh(int g, double* w) {
    double uncut = 0;
    *w = weight(g, &uncut);
    if (dim != 0 || kind > 4) return true;
    return turns.take(long(g) - turns_first, w, uncut);
  }

  // Every weight is 1 (time without exact boundaries, or the plain sum): a
  // count of defined values is all the weight bookkeeping needed.
  bool unit_weights() const { return kind == 4 || (kind <= 3 && dim == 3 && !exact); }

  void start(long long points) {
    n = points;
    if (kind <= 4 && unit_weights()) {
      sum.assign(size_t(n), 0.0);
      count.assign(size_t(n), 0);
      return;
    }
    defined.assign(size_t(n), 0);
    if (kind <= 4) {
      sum.assign(size_t(n), 0.0);
      wsum.assign(size_t(n), 0.0);
    } else {
      ext.assign(size_t(n), 0.0f);
      where.assign(size_t(n), 0);
    }
  }

  // Value arrays of grids waiting to be added together (unit weights only):
  // at most kBatch, and no more than about 16 MB. The reduction takes each
  // grid's array and gives it one it no longer needs in exchange, so the
  // grid is released at once and no values are copied.
  float* staged[kBatch] = {};
  float staged_undef[kBatch] = {};
  bool staged_whole[kBatch] = {};
  int staged_count = 0;
  // Grids added without a single undefined value: counted here once rather
  // than at every point.
  int whole_grids = 0;
  int batch = 1;

  bool batches() const { return kind <= 4 && unit_weights() && batch > 1; }

  void set_batch(const grid_field* first) {
    const long long bytes = n * static_cast<long long>(sizeof(float));
    const long long fit = bytes > 0 ? (16LL << 20) / bytes : 1;
    batch = int(fit < 1 ? 1 : fit > kBatch ? kBatch : fit);
    if (first->idim < 0) batch = 1;  // a one-point grid's value is inside the record
  }

  // Adds the staged grids.
  void flush() {
    if (staged_count == 0) return;
    add_counted_many(staged, staged_undef, staged_whole, staged_count, n, sum.data(), count.data());
    for (int b = 0; b < staged_count; b++) whole_grids += staged_whole[b];
    staged_count = 0;
  }

  // Takes a grid of the range and releases it: added at once, or staged
  // for the next batch.
  void take(grid_ptr next, double w, int g) {
    if (!batches() || next->idim < 0) {
      fold(next->values, next->undef, w, g);
      return;
    }
    std::swap(staged[staged_count], next->values);
    staged_undef[staged_count] = next->undef;
    staged_whole[staged_count] = all_defined(staged[staged_count], n, next->undef);
    staged_count++;
    next.reset();
    if (staged_count == batch) flush();
  }

  reduction() = default;
  reduction(const reduction&) = delete;
  reduction& operator=(const reduction&) = delete;
  ~reduction() {
    for (float* p : staged) kafree(p);
  }

  // Folds the n values of a grid taken at grid index g with weight w.
  void fold(const float* v, float undef, double w, int g) {
    if (kind <= 4 && unit_weights()) {
      add_counted(v, n, undef, sum.data(), count.data());
      return;
    }
    if (kind <= 4) {
      // Branch-free so that it vectorises.
      const double scale = kind <= 3 ? w : 1.0;
      double* __restrict s = sum.data();
      double* __restrict ws = wsum.data();
      unsigned char* __restrict def = defined.data();
      for (long long k = 0; k < n; k++) {
        const bool m = v[k] != undef;
        s[k] += m ? double(v[k]) * scale : 0.0;
        ws[k] += m ? w : 0.0;
        def[k] |= m;
      }
      return;
    }
    const bool smallest = kind == 5 || kind == 7;
    for (long long k = 0; k < n; k++) {
      const float x = v[k];
      if (x == undef) continue;
      // Strict comparisons: ties keep the earlier index.
      if (!defined[k] || (smallest ? x < ext[k] : x > ext[k])) {
        ext[k] = x;
        where[k] = g;
        defined[k] = 1;
      }
    }
  }

  // Folds the columns at[0..nc) (grid indexes g0 + at[c], weights w[c]) of
  // a grid of n rows of ni values, reading along the rows: each point takes
  // the columns in the same order as fold would, column after column. False
  // when interrupted.
  bool fold_rows(const float* v, long long ni, float undef, const long long* at, const double* w,
                 long long nc, int g0) {
    // Some rows at a time, so that a range of many turns stays interruptible.
    const long long slice = 64;
    for (long long k0 = 0; k0 < n; k0 += slice) {
      if (k0 > 0 && kaqsig()) return false;
      const long long k1 = std::min(n, k0 + slice);
      if (kind <= 4 && !unit_weights()) {
        add_weighted_rows(v, ni, k0, k1, undef, at, w, nc, sum.data(), wsum.data(), defined.data());
        continue;
      }
      const bool smallest = kind == 5 || kind == 7;
      for (long long k = k0; k < k1; k++) {
        const float* row = v + k * ni;
        if (kind <= 4) {
          double a = sum[k];
          int m = count[k];
          for (long long c = 0; c < nc; c++) {
            const float x = row[at[c]];
            a += x != undef ? double(x) : 0.0;
            m += x != undef;
          }
          sum[k] = a;
          count[k] = m;
          continue;
        }
        for (long long c = 0; c < nc; c++) {
          const float x = row[at[c]];
          if (x == undef) continue;
          // Strict comparisons: ties keep the earlier index.
          if (!defined[k] || (smallest ? x < ext[k] : x > ext[k])) {
            ext[k] = x;
            where[k] = g0 + int(at[c]);
            defined[k] = 1;
          }
        }
      }
    }
    return true;
  }

  // Writes the results into out (n values); 1 after a message.
  int finish(float* out, float undef) {
    flush();
    const bool counted = kind <= 4 && unit_weights();
    for (long long k = 0; k < n; k++) {
      const int defined_count = counted ? count[k] + whole_grids : 0;
      if (counted ? defined_count == 0 : !defined[k]) {
        out[k] = undef;
        continue;
      }
      double r;
      switch (kind) {
        case 1:
        case 2:
          if (counted) {
            r = sum[k] / defined_count;
            break;
          }
          if (wsum[k] == 0.0) {
            kaprntf(msg_level::error, "Error from %s:  Internal logic check 100\n", name);
            return 1;
          }
          r = sum[k] / wsum[k];
          break;
        case 3:
        case 4: r = sum[k]; break;
        case 5:
        case 6: r = ext[k]; break;
        default: r = where[k]; break;
      }
      const float rf = static_cast<float>(r);
      out[k] = std::isfinite(rf) ? rf : undef;
    }
    return 0;
  }
};

void set_one_point(grid_field* g) {
  if (g->idim < 0) g->max_value = g->min_value;
}

// The increment argument as an index step on the default file's time axis,
// or 0 when it is no valid increment.
int time_step(const char* text, const file_descriptor* f) {
  int v = 0;
  const char* q = intprs(text, &v);
  if (!q) return 0;
  if (*q == '\0') return v > 0 ? v : 0;
  date_time dt{};
  q = rdtprs(text, &dt);
  if (!q || *q != '\0' || !f->grid_to_world_scaling[3]) return 0;
  const time_scaling ts = time_scaling_from(f->grid_to_world_scaling[3]);
  const double months = double(dt.year) * 12 + dt.month;
  const double minutes = double(dt.day) * 1440 + double(dt.hour) * 60 + dt.minute;
  double len, unit;
  if (months >= 1 && ts.increment_months > 0) {
    len = months;
    unit = ts.increment_months;
  } else if (minutes >= 1 && ts.increment_minutes > 0) {
    len = minutes;
    unit = ts.increment_minutes;
  } else {
    return 0;
  }
  const double steps = std::floor(len / unit);
  if (steps < 1 || steps > 1e9) return 0;
  const int step = int(steps);
  if (float(len) != float(step) * float(unit)) return 0;
  return step;
}

bool flag_b(const char* s) { return s[0] == '-' && s[1] == 'b'; }

}  // namespace

int ave(function_args* args, eval_state* pst, int kind) {
  reduction r;
  r.kind = kind;
  r.name = avenam[kind - 1];
  const char* nm = r.name;
  if (args->count < 3 || args->count > 5) {
    kaprntf(msg_level::error, "Error from %s:  Too many or too few args \n", nm);
    kaprnt(msg_level::error, "                 3 to 5 arguments expected \n");
    return 1;
  }
  const file_descriptor* f = pst->default_file;
  r.f = f;
  int d1 = 0, d2 = 0, world = 0;
  double b1 = 0, b2 = 0;
  if (!f || !dimarg(args->args[1], pst, f, &d1, &b1, &world) || d1 < 0 || d1 > 3 ||
      !(std::fabs(b1) < 1e9f)) {
    kaprntf(msg_level::error, "Error from %s:  1st dimension expression invalid\n", nm);
    return 1;
  }
  if (!dimarg(args->args[2], pst, f, &d2, &b2, &world) || d2 != d1 || !(std::fabs(b2) < 1e9f)) {
    kaprntf(msg_level::error, "Error from %s:  2nd dimension expression invalid\n", nm);
    return 1;
  }
  r.dim = d1;
  r.b1 = b1;
  r.b2 = b2;
  int step = 1;
  if (args->count >= 4) {
    const char* a4 = args->args[3];
    if (a4[0] == '-') {
      if (a4[1] != 'b') {
        kaprntf(msg_level::error, "Error from %s: Invalid option flags\n", nm);
        return 1;
      }
      r.exact = true;
    } else {
      if (r.dim != 3) {
        kaprntf(msg_level::error, "Error from %s: Invalid usage of increment value\n", nm);
        kaprnt(msg_level::error, "                Can only be used with time averaging\n");
        return 1;
      }
      // A step of 0 or less would never leave the range.
      step = time_step(a4, f);
      if (step < 1) {
        kaprntf(msg_level::error, "Error from %s: Invalid time increment argument\n", nm);
        return 1;
      }
    }
  }
  if (args->count == 5) {
    if (!flag_b(args->args[4])) {
      kaprntf(msg_level::error, "Error from %s: Invalid option flags\n", nm);
      return 1;
    }
    r.exact = true;
  }

  stop_varying(pst, r.dim);

  int first, last;
  if (r.exact) {
    first = int(arg_floor(b1, 0.5f));
    last = int(arg_ceil(b2, 0.5f));
    if (r.dim < 3) {
      r.w1 = r.world(float(b1));
      r.w2 = r.world(float(b2));
    }
  } else {
    first = int(arg_ceil(b1, 0.001f));
    last = int(arg_floor(b2, 0.001f));
  }
  // minloc and maxloc give the index as a value of the grid, a float, which
  // holds every whole number only up to 2^24; x, y and z are placed through
  // float world values.
  auto held = [&](int g) {
    return r.dim < 3 ? placeable(f, r.dim, g) : kind < 7 || (g >= -kFloatWhole && g <= kFloatWhole);
  };
  if (!held(first)) {
    kaprntf(msg_level::error, "Error from %s:  1st dimension expression invalid\n", nm);
    return 1;
  }
  if (!held(last)) {
    kaprntf(msg_level::error, "Error from %s:  2nd dimension expression invalid\n", nm);
    return 1;
  }
  if (mfcmn.warn_level > 0) {
    if (kind == 1)
      kaprntf(msg_level::result, "Averaging.  dim = %i, start = %i, end = %i\n", r.dim, first,
              last);
    else
      kaprntf(msg_level::result, "%sing.  dim = %i, start = %i, end = %i\n", nm, r.dim, first,
              last);
  }
  const char* expr = args->args[0];

  // Along x the whole row range is read at once when the expression allows
  // it, rather than one column per point.
  if (r.dim == 0 && last > first && pst->jdim == -1 && elementwise_text(expr)) {
    eval_state row = *pst;
    row.result = std::monostate{};
    row.jdim = pst->idim;
    row.idim = 0;
    row.dim_min[0] = r.world(float(first));
    row.dim_max[0] = r.world(float(last));
    int rc = kaexpr(expr, &row);
    if (rc) return rc;
    if (stations_in(row.result)) {
      kafree(&row);
      return -1;
    }
    grid_ptr owner = extract_grid(row.result);
    grid_field* g = owner.get();
    if (g->idim == 0 && g->jdim == row.jdim && g->dim_min[0] == first && g->dim_max[0] == last &&
        g->isiz == last - first + 1) {
      r.start(g->jsiz);
      r.fold_turns(first, last);
      // The columns that count, in order, with their weights.
      std::vector<long long> at;
      std::vector<double> ws;
      at.reserve(size_t(g->isiz));
      ws.reserve(size_t(g->isiz));
      for (int i = 0; i < g->isiz; i++) {
        double w;
        if (!r.weigh(first + i, &w)) continue;
        at.push_back(i);
        ws.push_back(w);
      }
      if (!r.fold_rows(g->values, g->isiz, g->undef, at.data(), ws.data(),
                       static_cast<long long>(at.size()), first))
        return 1;
      // The result keeps the other dimension, moved to the i side.
      float* out = g->jdim >= 0 ? static_cast<float*>(kamalloc(sizeof(float) * size_t(g->jsiz)))
                                : &g->min_value;
      if (r.finish(out, g->undef)) {
        if (out != &g->min_value) kafree(out);
        return 1;
      }
      kafree(g->values);
      if (g->owns_scaling) kafree(g->i_world_vals);
      g->values = out;
      g->idim = g->jdim;
      g->isiz = g->jsiz;
      g->i_to_world = g->j_to_world;
      g->i_to_grid = g->j_to_grid;
      g->i_world_vals = g->j_world_vals;
      g->i_grid_vals = g->j_grid_vals;
      g->i_linear = g->j_linear;
      g->jdim = -1;
      g->jsiz = 1;
      g->j_to_world = g->j_to_grid = nullptr;
      g->j_world_vals = g->j_grid_vals = nullptr;
      if (g->idim < 0) g->owns_scaling = 0;
      g->dim_min[0] = g->dim_max[0] = first;
      set_one_point(g);
      pst->result = std::move(owner);
      return 0;
    }
    // Not the expected row: evaluate point by point instead.
  }

  r.place(pst, first);
  pst->result = std::monostate{};
  int rc = kaexpr(expr, pst);
  if (rc) return rc;
  if (stations_in(pst->result)) {
    kafree(pst);
    return -1;
  }
  grid_ptr acc = extract_grid(pst->result);
  const long long points = static_cast<long long>(acc->isiz) * acc->jsiz;
  if (int64_t(last) < int64_t(first) + step) {
    if (kind >= 7) {
      for (long long k = 0; k < points; k++)
        if (acc->values[k] != acc->undef) acc->values[k] = float(first);
    }
    set_one_point(acc.get());
    pst->result = std::move(acc);
    return 0;
  }

  r.start(points);
  r.set_batch(acc.get());
  r.fold_turns(first, last);
  double w;
  r.weigh(first, &w);
  r.fold(acc->values, acc->undef, w, first);
  int64_t g = int64_t(first) + step;
  for (; g <= last; g += step) {
    const bool second = g == int64_t(first) + step;
    if (!r.weigh(int(g), &w)) continue;
    r.place(pst, int(g));
    pst->result = std::monostate{};
    rc = kaexpr(expr, pst);
    if (!rc && stations_in(pst->result)) {
      kafree(pst);
      rc = -1;
    }
    if (rc) {
      if (!second) kaprntf(msg_level::error, "Error from %s:  Error getting grids \n", nm);
      return rc;
    }
    grid_ptr next = extract_grid(pst->result);
    if (!same_points(acc.get(), next.get())) {
      kaprntf(msg_level::error, "Error from %s:  Grids differ in shape along the range\n", nm);
      kaprntf(msg_level::error, "Error from %s:  Error getting grids \n", nm);
      return 1;
    }
    r.take(std::move(next), w, int(g));
  }
  if (r.finish(acc->values, acc->undef)) return 1;
  set_one_point(acc.get());
  pst->result = std::move(acc);
  return 0;
}

int ffave(function_args* a, eval_state* s) { return ave(a, s, 1); }
int ffmn(function_args* a, eval_state* s) { return ave(a, s, 2); }
int ffsum(function_args* a, eval_state* s) { return ave(a, s, 3); }
int ffsumg(function_args* a, eval_state* s) { return ave(a, s, 4); }
int ffmin(function_args* a, eval_state* s) { return ave(a, s, 5); }
int ffmax(function_args* a, eval_state* s) { return ave(a, s, 6); }
int ffminl(function_args* a, eval_state* s) { return ave(a, s, 7); }
int ffmaxl(function_args* a, eval_state* s) { return ave(a, s, 8); }
