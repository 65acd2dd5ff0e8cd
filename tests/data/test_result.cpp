// Result records: release, extremes, report blocks and the grid
// compatibility check. Leaks and double releases show under the sanitizer
// build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/scaling.h"
#include "data/result.h"
#include "support/stdout_capture.h"

namespace {

grid_field* new_grid(int idim, int isiz, int jsiz = 1, int jdim = -1) {
  auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
  g->idim = idim;
  g->jdim = jdim;
  g->isiz = isiz;
  g->jsiz = jsiz;
  g->undef = -9.99e33f;
  g->values = idim >= 0 ? static_cast<float*>(std::malloc(sizeof(float) * size_t(isiz * jsiz)))
                        : &g->min_value;
  return g;
}

station_set* new_set() {
  auto* s = static_cast<station_set*>(std::calloc(1, sizeof(station_set)));
  s->undef = -999;
  return s;
}

}  // namespace

TEST(Results, GridExtremes) {
  // Extremes at every position modulo the vector width, among undefined
  // points; the expected values come from a plain loop.
  for (int where = 0; where < 19; where++) {
    grid_field* g = new_grid(0, 37, 3, 1);
    const int n = 37 * 3;
    for (int i = 0; i < n; i++)
      g->values[i] = (i % 5 == 0) ? g->undef : static_cast<float>((i * 7919) % 101) - 50;
    g->values[where * 5 + 1] = -1000;
    if ((n - 1 - where) % 5 != 0) g->values[n - 1 - where] = 1000.0f + where;
    float lo = 1e30f, hi = -1e30f;
    for (int i = 0; i < n; i++)
      if (g->values[i] != g->undef) {
        lo = std::min(lo, g->values[i]);
        hi = std::max(hi, g->values[i]);
      }
    kamnmx(g);
    EXPECT_EQ(g->min_value, lo) << where;
    EXPECT_EQ(g->max_value, hi) << where;
    kagfre(g);
  }
  // All undefined: both undefined.
  grid_field* u = new_grid(0, 2);
  u->values[0] = u->values[1] = u->undef;
  kamnmx(u);
  EXPECT_EQ(u->min_value, u->undef);
  EXPECT_EQ(u->max_value, u->undef);
  kagfre(u);
}

TEST(Results, OnePointGridsGetBothExtremes) {
  // A one-point grid holds its value in min_value, with no varying dimension
  // or with one of a single point; a stale maximum must not survive, also
  // beyond the search's starting bounds.
  const float u = -9.99e33f;
  const struct {
    int idim;
    float value, want;
  } cases[] = {{-1, 5, 5}, {-1, u, u}, {-1, 1e37f, 1e37f}, {0, -2.5f, -2.5f}};
  for (const auto& c : cases) {
    grid_field* g = new_grid(c.idim, 1);
    g->min_value = g->max_value = 6;
    g->values[0] = c.value;
    kamnmx(g);
    EXPECT_EQ(g->min_value, c.want) << c.value;
    EXPECT_EQ(g->max_value, c.want) << c.value;
    kagfre(g);
  }
}

TEST(Results, ReportBlocks) {
  station_set* s = new_set();
  kasmnmx(s);  // empty: undefined
  EXPECT_EQ(s->min_value, -999);
  const int n = 450;  // three blocks
  for (int i = 0; i < n; i++) {
    station_report* r = kaarpt(s);
    ASSERT_NE(r, nullptr);
    r->value = (i % 7 == 0) ? -999.0f : static_cast<float>(i - 200);
  }
  EXPECT_EQ(s->block_index, 2);
  EXPECT_EQ(s->blocks[3], nullptr);
  int count = 0;
  for (station_report* r = s->first_report; r; r = r->next, count++)
    ASSERT_EQ(r->value, (count % 7 == 0) ? -999.0f : float(count - 200)) << count;
  EXPECT_EQ(count, n);
  kasmnmx(s);
  EXPECT_EQ(s->min_value, -199);
  EXPECT_EQ(s->max_value, 249);
  kasfre(s);

  // At most 5000 blocks of 200.
  s = new_set();
  int64_t made = 0;
  StdoutCapture cap;
  while (kaarpt(s)) made++;
  EXPECT_EQ(cap.text(), "Out of memory blocks to allocate \n");
  EXPECT_EQ(made, int64_t(kReportBlocks) * kReportsPerBlock);
  kasfre(s);
}

TEST(Results, GridCompatibility) {
  linear_scaling a, b;
  linear_scaling_set(&a, 0, 2.5f);
  linear_scaling_set(&b, -10, 2.5f);
  auto along = [](int d, int lo, int hi, float* scaling, int lin) {
    grid_field* g = new_grid(d, hi - lo + 1);
    g->dim_min[d] = lo;
    g->dim_max[d] = hi;
    g->i_world_vals = scaling;
    g->i_linear = lin;
    if (d < 3) g->i_to_world = lin ? liconv : gr2lev;
    return g;
  };
  float l1[8] = {3, 1000, 850, 500, scaling_end_mark},
        l2[8] = {3, 1000, 700, 500, scaling_end_mark};
  float t1[8] = {2000, 1, 1, 0, 0, 0, 360, -999.9f};    // 6-hourly from 1 Jan
  float t2[8] = {1999, 12, 31, 0, 0, 0, 360, -999.9f};  // a day earlier
  grid_field* g[] = {
      along(0, 5, 10, a.grid_to_world, 1),
      along(0, 9, 14, b.grid_to_world, 1),  // same
      along(0, 6, 11, a.grid_to_world, 1),  // shifted
      along(2, 1, 3, l1, 0),
      along(2, 1, 3, l1, 0),
      along(2, 1, 3, l2, 0),  // levels
      along(3, 1, 4, t1, 1),
      along(3, 5, 8, t2, 1),
      along(3, 2, 5, t2, 1),  // times
  };
  EXPECT_EQ(kagchk(g[0], g[1], 0), 0);
  EXPECT_EQ(kagchk(g[0], g[2], 0), 1);
  EXPECT_EQ(kagchk(g[0], g[2], -1), 0);
  EXPECT_EQ(kagchk(g[0], g[1], 1), 1);  // neither varies in y
  EXPECT_EQ(kagchk(g[3], g[4], 2), 0);
  EXPECT_EQ(kagchk(g[3], g[5], 2), 1);  // same ends, different middle
  EXPECT_EQ(kagchk(g[6], g[7], 3), 0);
  EXPECT_EQ(kagchk(g[6], g[8], 3), 1);
  for (grid_field* p : g) kagfre(p);
}
