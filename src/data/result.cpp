#include "data/result.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "base/message.h"
#include "base/alloc.h"
#include "base/timecal.h"
#include "base/wide.h"

void kagfre(grid_field* grid) {
  if (!grid) return;
  if (grid->owns_scaling) {
    // The world-to-grid halves live inside these allocations.
    kafree(grid->i_world_vals);
    kafree(grid->j_world_vals);
  }
  if (grid->idim >= 0) kafree(grid->values);
  kafree(grid);
}

void kasfre(station_set* set) {
  if (!set) return;
  kafree(set->time_scaling_copy);
  for (int k = 0; k < set->block_capacity; k++) kafree(set->blocks[k]);
  kafree(set->blocks);
  kafree(set);
}

namespace {

// The starting extremes lie beyond every value a grid can hold, so that a
// field whose values all lie beyond +-9.99e35 (GRIB fields reach 1e38) still
// has them as its extremes.
constexpr float kLow = std::numeric_limits<float>::infinity(), kHigh = -kLow;

struct extremes {
  float lo, hi;
};

// Lane k of the running extremes sees the values at positions 8m + k in
// order and keeps the first of equal ones (strict comparisons); an undefined
// point counts as the starting value, which leaves the extremes as they are.
// The lanes are then taken in the order 0, 4, 1, 5, 2, 6, 3, 7, again
// keeping the first of equal ones, and the last n % 8 values one at a time.
// With two sets of running extremes (even and odd blocks of eight) the
// comparisons overlap; that can only pick a different one of equal values
// where those differ, that is between 0 and -0, so a zero extreme is taken
// again with one set.
VEMRA_WIDE extremes lane_extremes(const float* v, long long n, float u, bool two_sets) {
  const float8 uu = {u, u, u, u, u, u, u, u};
  const float8 low = {kLow, kLow, kLow, kLow, kLow, kLow, kLow, kLow};
  const float8 high = {kHigh, kHigh, kHigh, kHigh, kHigh, kHigh, kHigh, kHigh};
  float8 lo = low, hi = high;
  long long i = 0;
  if (two_sets) {
    float8 lo1 = low, hi1 = high;
    for (; i + 16 <= n; i += 16) {
      float8 a, b;
      std::memcpy(&a, v + i, sizeof a);
      std::memcpy(&b, v + i + 8, sizeof b);
      const float8 al = a != uu ? a : low, ah = a != uu ? a : high;
      const float8 bl = b != uu ? b : low, bh = b != uu ? b : high;
      lo = al < lo ? al : lo;
      hi = ah > hi ? ah : hi;
      lo1 = bl < lo1 ? bl : lo1;
      hi1 = bh > hi1 ? bh : hi1;
    }
    lo = lo1 < lo ? lo1 : lo;
    hi = hi1 > hi ? hi1 : hi;
  }
  for (; i + 8 <= n; i += 8) {
    float8 a;
    std::memcpy(&a, v + i, sizeof a);
    const float8 al = a != uu ? a : low, ah = a != uu ? a : high;
    lo = al < lo ? al : lo;
    hi = ah > hi ? ah : hi;
  }
  extremes e{kLow, kHigh};
  for (int k = 0; k < 4; k++) {
    e.lo = std::min({e.lo, lo[k], lo[k + 4]});
    e.hi = std::max({e.hi, hi[k], hi[k + 4]});
  }
  for (; i < n; i++) {
    const float x = v[i];
    if (x == u) continue;
    if (x < e.lo) e.lo = x;
    if (x > e.hi) e.hi = x;
  }
  return e;
}

}  // namespace

void kamnmx(grid_field* grid) {
  const long long n = static_cast<long long>(grid->isiz) * grid->jsiz;
  const float u = grid->undef;
  if (n == 1) {
    // One point is its own extreme, however large: a constant's value lives
    // in min_value and must not be replaced by the undefined value.
    grid->min_value = grid->max_value = grid->values[0];
    return;
  }
  extremes e = lane_extremes(grid->values, n, u, true);
  if (e.lo == 0 || e.hi == 0) e = lane_extremes(grid->values, n, u, false);
  // Nothing defined leaves the starting values, the only way to end with
  // the minimum above the maximum.
  if (e.lo > e.hi) e.lo = e.hi = u;
  grid->min_value = e.lo;
  grid->max_value = e.hi;
}

void kasmnmx(station_set* set) {
  const float u = set->undef;
  float lo = u, hi = u;
  for (const station_report* r = set->first_report; r; r = r->next) {
    if (r->value == u) continue;
    if (lo == u || r->value < lo) lo = r->value;
    if (hi == u || r->value > hi) hi = r->value;
  }
  set->min_value = lo;
  set->max_value = hi;
}

station_report* kaarpt(station_set* set) {
  if (!set->first_report) {
    set->append_link = &set->first_report;
    for (int k = 0; k < set->block_capacity; k++) set->blocks[k] = nullptr;
    set->block_used = kReportsPerBlock;
    set->block_index = -1;
    set->last_report = nullptr;
  }
  station_report* rpt;
  set->block_used++;
  if (set->block_used >= kReportsPerBlock) {
    if (set->block_index + 1 >= kReportBlocks) {
      kaputout("Out of memory blocks to allocate \n");
      return nullptr;
    }
    if (set->block_index + 1 >= set->block_capacity) {
      // Room for block pointers grows with the set: most sets hold a few.
      const int cap = std::min(kReportBlocks, std::max(4, 2 * set->block_capacity));
      set->blocks =
          karealloc_n(set->blocks, size_t(cap), "Couldn't allocate memory for stn block \n");
      for (int k = set->block_capacity; k < cap; k++) set->blocks[k] = nullptr;
      set->block_capacity = cap;
    }
    auto* block = static_cast<station_report*>(kamalloc(
        sizeof(station_report) * kReportsPerBlock, "Couldn't allocate memory for stn block \n"));
    set->block_index++;
    set->blocks[set->block_index] = block;
    set->block_used = 0;
    rpt = block;
  } else {
    rpt = set->last_report + 1;
  }
  *set->append_link = rpt;
  set->append_link = &rpt->next;
  rpt->next = nullptr;
  set->last_report = rpt;
  return rpt;
}

void kasfit(station_set* set) noexcept {
  int n = 0;
  for (const station_report* r = set->first_report; r; r = r->next) n++;
  if (n == 0) return;
  station_report* block = nullptr;
  station_report** list = nullptr;
  try {
    block = kamalloc_n<station_report>(size_t(n));
    list = kamalloc_n<station_report*>(1);
  } catch (const std::bad_alloc&) {
    kafree(block);
    return;
  }
  int k = 0;
  for (const station_report* r = set->first_report; r; r = r->next, k++) {
    block[k] = *r;
    block[k].next = k + 1 < n ? &block[k + 1] : nullptr;
  }
  for (int b = 0; b < set->block_capacity; b++) kafree(set->blocks[b]);
  kafree(set->blocks);
  list[0] = block;
  set->blocks = list;
  set->block_capacity = 1;
  set->block_index = 0;
  set->first_report = block;
  set->last_report = &block[n - 1];
  set->append_link = &block[n - 1].next;
  // The block is full: a report added later starts a new one.
  set->block_used = kReportsPerBlock - 1;
}

namespace {

struct side {
  int size;
  conversion_fn to_world;
  const float* world_vals;
  int linear;
};

bool find_side(const grid_field* g, int d, side* s) {
  if (g->idim == d) {
    *s = {g->isiz, g->i_to_world, g->i_world_vals, g->i_linear};
    return true;
  }
  if (g->jdim == d) {
    *s = {g->jsiz, g->j_to_world, g->j_world_vals, g->j_linear};
    return true;
  }
  return false;
}

bool same_time(const float* sa, float a, const float* sb, float b) {
  date_time ta{}, tb{};
  gr2t(sa, a, &ta);
  gr2t(sb, b, &tb);
  return ta.year == tb.year && ta.month == tb.month && ta.day == tb.day && ta.hour == tb.hour &&
         ta.minute == tb.minute;
}

}  // namespace

int kagchk(const grid_field* a, const grid_field* b, int d) {
  if (d < 0) return 0;
  side sa{}, sb{};
  if (!find_side(a, d, &sa) || !find_side(b, d, &sb)) return 1;
  if (sa.size != sb.size) return 1;
  float a1 = static_cast<float>(a->dim_min[d]), a2 = static_cast<float>(a->dim_max[d]);
  float b1 = static_cast<float>(b->dim_min[d]), b2 = static_cast<float>(b->dim_max[d]);
  if (d == 3) {
    if (!sa.world_vals || !sb.world_vals) return 1;
    if (!same_time(sa.world_vals, a1, sb.world_vals, b1)) return 1;
    if (!same_time(sa.world_vals, a2, sb.world_vals, b2)) return 1;
    return 0;
  }
  if (!sa.to_world || !sb.to_world) return 1;
  auto wa = [&](float g) { return sa.to_world(sa.world_vals, g); };
  auto wb = [&](float g) { return sb.to_world(sb.world_vals, g); };
  double tol = (std::fabs(double(wa(a2)) - wa(a1)) * 0.00001 +
                std::fabs(double(wb(b2)) - wb(b1)) * 0.00001) *
               0.5;
  if (std::fabs(double(wa(a1)) - wb(b1)) > tol) return 1;
  if (std::fabs(double(wa(a2)) - wb(b2)) > tol) return 1;
  if (sa.linear != sb.linear) return 1;
  if (!sa.linear && !sb.linear) {
    for (int k = 0; k < sa.size; k++) {
      float fk = static_cast<float>(k);
      if (std::fabs(double(wa(a1 + fk)) - wb(b1 + fk)) > tol) return 1;
    }
  }
  return 0;
}
