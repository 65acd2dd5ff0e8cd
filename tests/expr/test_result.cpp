// Result records: release, extremes, report blocks and the grid
// compatibility check. Leaks and double releases show under the sanitizer
// build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/evalstate.h"
#include "core/scaling.h"
#include "expr/result.h"

namespace {

grid_field* new_grid(int idim, int jdim, int isiz, int jsiz) {
  auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
  g->idim = idim;
  g->jdim = jdim;
  g->isiz = isiz;
  g->jsiz = jsiz;
  g->undef = -9.99e33f;
  if (idim >= 0)
    g->values = static_cast<float*>(std::malloc(sizeof(float) * size_t(isiz) * size_t(jsiz)));
  else
    g->values = &g->min_value;
  return g;
}

station_set* new_set() {
  auto* s = static_cast<station_set*>(std::calloc(1, sizeof(station_set)));
  s->undef = -999;
  return s;
}

}  // namespace

TEST(Results, ReleaseOwnsWhatTheRecordSays) {
  kagfre(nullptr);
  kasfre(nullptr);
  // 0-D: only the record (values point into it).
  grid_field* zero = new_grid(-1, -1, 1, 1);
  zero->min_value = 3;
  kagfre(zero);
  // Own scaling arrays go with the grid; borrowed ones stay.
  float borrowed[3] = {1, 0, scaling_end_mark};
  grid_field* own = new_grid(0, 1, 2, 2);
  own->owns_scaling = 1;
  own->i_world_vals = static_cast<float*>(std::malloc(6 * sizeof(float)));
  own->i_grid_vals = own->i_world_vals + 3;
  own->j_world_vals = nullptr;
  kagfre(own);
  grid_field* lent = new_grid(0, -1, 2, 1);
  lent->i_world_vals = borrowed;
  kagfre(lent);
  EXPECT_EQ(borrowed[0], 1);
  // A set without reports: its time scaling copy and the record.
  station_set* s = new_set();
  s->time_scaling_copy = static_cast<float*>(std::malloc(8 * sizeof(float)));
  kasfre(s);

  // kafree releases by type and clears the slot.
  eval_state st{};
  st.result.grid = new_grid(0, -1, 4, 1);
  st.result_type = 1;
  kafree(&st);
  EXPECT_EQ(st.result.grid, nullptr);
  st.result.stations = new_set();
  st.result_type = 0;
  kafree(&st);
  EXPECT_EQ(st.result.stations, nullptr);
  EXPECT_EQ(st.result_type, 0);
}

TEST(Results, GridExtremes) {
  grid_field* g = new_grid(0, 1, 3, 2);
  const float v[6] = {4, -9.99e33f, -2.5f, 7, 1e30f, 0};
  std::memcpy(g->values, v, sizeof v);
  kamnmx(g);
  EXPECT_EQ(g->min_value, -2.5f);
  EXPECT_EQ(g->max_value, 1e30f);
  // All undefined: both undefined.
  grid_field* u = new_grid(0, -1, 2, 1);
  u->values[0] = u->values[1] = u->undef;
  kamnmx(u);
  EXPECT_EQ(u->min_value, u->undef);
  EXPECT_EQ(u->max_value, u->undef);
  // One point: left as it is.
  grid_field* one = new_grid(-1, -1, 1, 1);
  one->min_value = 5;
  one->max_value = 6;
  kamnmx(one);
  EXPECT_EQ(one->min_value, 5);
  EXPECT_EQ(one->max_value, 6);
  // A larger grid: extremes in every position modulo the vector width, with
  // undefined points around them.
  for (int where = 0; where < 19; where++) {
    grid_field* big = new_grid(0, 1, 37, 3);
    const int n = 37 * 3;
    for (int i = 0; i < n; i++)
      big->values[i] = (i % 5 == 0) ? big->undef : static_cast<float>((i * 7919) % 101) - 50;
    big->values[where * 5 + 1] = -1000;   // defined positions (not a multiple of 5)
    big->values[n - 1 - where] = where % 5 == 0 ? 2000.0f : 1000.0f + where;
    if ((n - 1 - where) % 5 == 0) big->values[n - 1 - where] = big->undef;
    float lo = 1e30f, hi = -1e30f;
    for (int i = 0; i < n; i++) {
      float x = big->values[i];
      if (x == big->undef) continue;
      lo = std::min(lo, x);
      hi = std::max(hi, x);
    }
    kamnmx(big);
    EXPECT_EQ(big->min_value, lo) << where;
    EXPECT_EQ(big->max_value, hi) << where;
    kagfre(big);
  }
  kagfre(g);
  kagfre(u);
  kagfre(one);
}

TEST(Results, ReportBlocksChainInOrder) {
  station_set* s = new_set();
  kasmnmx(s);  // empty: undefined
  EXPECT_EQ(s->min_value, -999);
  EXPECT_EQ(s->max_value, -999);
  const int n = 450;  // three blocks
  for (int i = 0; i < n; i++) {
    station_report* r = kaarpt(s);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->next, nullptr);
    r->value = (i % 7 == 0) ? -999.0f : static_cast<float>(i - 200);
    s->report_count++;
  }
  EXPECT_EQ(s->block_index, 2);
  EXPECT_NE(s->blocks[2], nullptr);
  EXPECT_EQ(s->blocks[3], nullptr);
  int count = 0;
  for (station_report* r = s->first_report; r; r = r->next, count++) {
    float want = (count % 7 == 0) ? -999.0f : static_cast<float>(count - 200);
    ASSERT_EQ(r->value, want) << count;
  }
  EXPECT_EQ(count, n);
  EXPECT_EQ(s->last_report->value, float(n - 1 - 200));
  kasmnmx(s);
  EXPECT_EQ(s->min_value, -199);  // i = 1
  EXPECT_EQ(s->max_value, 249);   // i = 449
  kasfre(s);
}

TEST(Results, ReportBlocksRunOut) {
  station_set* s = new_set();
  int64_t made = 0;
  testing::internal::CaptureStdout();
  while (kaarpt(s)) made++;
  EXPECT_EQ(made, int64_t(kReportBlocks) * kReportsPerBlock);
  // Still refused, and the set is released whole.
  EXPECT_EQ(kaarpt(s), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Out of memory blocks to allocate \nOut of memory blocks to allocate \n");
  kasfre(s);
}

namespace {

float* linear(float start, float incr) {
  auto* a = static_cast<float*>(std::malloc(6 * sizeof(float)));
  linear_scaling_set(reinterpret_cast<linear_scaling*>(a), start, incr);
  return a;
}

grid_field* along(int d, int lo, int hi, float* scaling, int lin) {
  grid_field* g = new_grid(d, -1, hi - lo + 1, 1);
  g->dim_min[d] = lo;
  g->dim_max[d] = hi;
  g->i_world_vals = scaling;
  g->i_linear = lin;
  if (d < 3) g->i_to_world = lin ? liconv : gr2lev;
  return g;
}

}  // namespace

TEST(Results, GridCompatibility) {
  float* a = linear(0, 2.5f);  // longitudes 0, 2.5, ...
  float* b = linear(-10, 2.5f);
  grid_field* g1 = along(0, 5, 10, a, 1);
  grid_field* g2 = along(0, 9, 14, b, 1);  // the same longitudes
  grid_field* g3 = along(0, 6, 11, a, 1);  // shifted by one point
  EXPECT_EQ(kagchk(g1, g2, 0), 0);
  EXPECT_EQ(kagchk(g1, g3, 0), 1);
  EXPECT_EQ(kagchk(g1, g2, -1), 0);
  EXPECT_EQ(kagchk(g1, g2, 1), 1);  // neither varies in y

  // Levels: same ends, different middle.
  float* l1 = level_scaling_new(3);
  float* l2 = level_scaling_new(3);
  const float v1[3] = {1000, 850, 500}, v2[3] = {1000, 700, 500};
  std::memcpy(l1 + 1, v1, sizeof v1);
  std::memcpy(l2 + 1, v2, sizeof v2);
  grid_field* z1 = along(2, 1, 3, l1, 0);
  grid_field* z2 = along(2, 1, 3, l2, 0);
  grid_field* z3 = along(2, 1, 3, l1, 0);
  EXPECT_EQ(kagchk(z1, z3, 2), 0);
  EXPECT_EQ(kagchk(z1, z2, 2), 1);

  // Times: compared as dates through each grid's own axis.
  float t1[8] = {2000, 1, 1, 0, 0, 0, 360, -999.9f};  // 6-hourly from 1 Jan
  float t2[8] = {1999, 12, 31, 0, 0, 0, 360, -999.9f};  // a day earlier
  grid_field* a1 = along(3, 1, 4, t1, 1);
  grid_field* a2 = along(3, 5, 8, t2, 1);
  grid_field* a3 = along(3, 2, 5, t2, 1);
  EXPECT_EQ(kagchk(a1, a2, 3), 0);
  EXPECT_EQ(kagchk(a1, a3, 3), 1);

  for (grid_field* g : {g1, g2, g3, z1, z2, z3, a1, a2, a3}) kagfre(g);
  std::free(a);
  std::free(b);
  std::free(l1);
  std::free(l2);
}
