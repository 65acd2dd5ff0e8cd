// The results a session holds for its plots: each kind is found as itself,
// and every block is released exactly once, by a partial release, by the
// end of the session, or by whoever took a station set out.
#include <gtest/gtest.h>

#include <memory>

#include "base/alloc.h"
#include "base/session.h"
#include "data/held.h"
#include "data/result.h"

namespace {

// Blocks of the project's allocation routines handed out and not released.
long long live = 0;
bool count_alloc(bool fresh) {
  if (fresh) ++live;
  return true;
}
void count_free() { --live; }
const alloc_observer counter{count_alloc, count_free};

struct HeldResults : ::testing::Test {
  void SetUp() override {
    live = 0;
    kaset_alloc_observer(&counter);
  }
  void TearDown() override { kaset_alloc_observer(nullptr); }
};

// A grid of n values along x: two blocks, the record and its values.
grid_ptr grid_of(int n, float first) {
  grid_ptr g(static_cast<grid_field*>(kacalloc(1, sizeof(grid_field))));
  g->idim = 0;
  g->jdim = -1;
  g->isiz = n;
  g->jsiz = 1;
  g->values = static_cast<float*>(kamalloc(sizeof(float) * size_t(n)));
  for (int i = 0; i < n; i++) g->values[i] = first + float(i);
  return g;
}

// A set of n reports with the values 0, 1, ...: three blocks, the record,
// its list of report blocks and one report block.
station_ptr set_of(int n) {
  station_ptr s(static_cast<station_set*>(kacalloc(1, sizeof(station_set))));
  s->block_index = -1;
  for (int i = 0; i < n; i++) {
    station_report* r = kaarpt(s.get());
    r->value = float(i);
    s->report_count++;
  }
  return s;
}

TEST_F(HeldResults, EachKindIsFoundAsItselfAndNothingElse) {
  auto s = std::make_unique<session_state>();
  EXPECT_EQ(held_count(s.get()), 0);
  EXPECT_EQ(held_grid(s.get(), 0), nullptr);
  EXPECT_EQ(held_stations(s.get(), 0), nullptr);

  grid_ptr g = grid_of(3, 10);
  grid_field* gp = g.get();
  station_ptr st = set_of(2);
  station_set* sp = st.get();
  hold_result(s.get(), std::move(g));
  hold_result(s.get(), std::move(st));
  ASSERT_EQ(held_count(s.get()), 2);
  EXPECT_EQ(held_grid(s.get(), 0), gp);
  EXPECT_EQ(held_stations(s.get(), 0), nullptr);
  EXPECT_EQ(held_stations(s.get(), 1), sp);
  EXPECT_EQ(held_grid(s.get(), 1), nullptr);
  for (int k : {-1, 2, 16}) {
    EXPECT_EQ(held_grid(s.get(), k), nullptr) << k;
    EXPECT_EQ(held_stations(s.get(), k), nullptr) << k;
  }
  EXPECT_EQ(held_grid(s.get(), 0)->values[2], 12);
  EXPECT_EQ(held_stations(s.get(), 1)->first_report->next->value, 1);
  EXPECT_EQ(live, 5);
  s.reset();
  EXPECT_EQ(live, 0);
}

TEST_F(HeldResults, PartialReleaseKeepsTheFirstResults) {
  auto s = std::make_unique<session_state>();
  hold_result(s.get(), grid_of(4, 1));
  hold_result(s.get(), set_of(3));
  hold_result(s.get(), grid_of(2, 5));
  ASSERT_EQ(live, 7);
  // What a plot added after the display's two results goes first.
  release_held(s.get(), 2);
  EXPECT_EQ(held_count(s.get()), 2);
  EXPECT_EQ(live, 5);
  EXPECT_EQ(held_grid(s.get(), 0)->values[3], 4);
  EXPECT_EQ(held_stations(s.get(), 1)->report_count, 3);
  release_held(s.get(), 5);  // beyond the end: nothing
  EXPECT_EQ(held_count(s.get()), 2);
  EXPECT_EQ(live, 5);
  release_held(s.get());
  EXPECT_EQ(held_count(s.get()), 0);
  EXPECT_EQ(live, 0);
  // Usable again after a full release.
  hold_result(s.get(), set_of(1));
  EXPECT_NE(held_stations(s.get(), 0), nullptr);
  s.reset();
  EXPECT_EQ(live, 0);
}

TEST_F(HeldResults, ATakenStationSetBelongsToTheTaker) {
  auto s = std::make_unique<session_state>();
  hold_result(s.get(), set_of(2));
  hold_result(s.get(), grid_of(1, 7));
  EXPECT_EQ(take_held_stations(s.get(), 1), nullptr);  // a grid stays
  EXPECT_NE(held_grid(s.get(), 1), nullptr);
  station_ptr taken = take_held_stations(s.get(), 0);
  ASSERT_NE(taken, nullptr);
  EXPECT_EQ(taken->report_count, 2);
  EXPECT_EQ(held_count(s.get()), 2);  // its place holds nothing
  EXPECT_EQ(held_stations(s.get(), 0), nullptr);
  EXPECT_EQ(held_grid(s.get(), 0), nullptr);
  release_held(s.get());
  EXPECT_EQ(live, 3);  // the taken set is still there
  EXPECT_EQ(taken->first_report->next->value, 1);
  taken.reset();
  EXPECT_EQ(live, 0);
}

}  // namespace
