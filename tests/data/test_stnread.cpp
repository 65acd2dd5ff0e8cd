// Station data sets: the files the tests write open with the map they name,
// and station requests select and read their reports.
#include "support/station_writer.h"
#include "test_descriptor_support.h"

using namespace dtest;
using vemra_test::TempDir;

namespace {

// Two stations at the first time, one at the second; one surface and two
// level variables.
stnw::dataset two_times() {
  stnw::dataset ds;
  ds.surface_vars = {"ps"};
  ds.level_vars = {"t", "u"};
  ds.times = {{{"KDEN", 39.75f, -104.875f, 0, {830}, {{850, {10, 2}}, {500, {-20, 8}}}},
               {"72469", 40, -105, 0.5f, {}, {{700, {-5, 3}}}}},
              {{"KDEN", 39.75f, -104.875f, 0, {829}, {}}}};
  return ds;
}

}  // namespace

TEST(StationFiles, WrittenSetOpensWithItsMap) {
  TempDir d;
  for (int version : {1, 2}) {
    stnw::dataset ds = two_times();
    ds.map_version = version;
    stnw::files f = stnw::write(d.path(), "s", ds);
    parsed r = parse_file(f.ctl);
    ASSERT_EQ(r.rc, 0) << r.out;
    // By hand: KDEN is 28 header bytes + (1 + 2 * 3) words = 56 bytes; the
    // second report 28 + 3 words = 40; the group end 28: time 2 at 124.
    // The largest data size is KDEN's 7 words.
    EXPECT_EQ(r.pfi->station_offsets[0], 0);
    EXPECT_EQ(r.pfi->station_offsets[1], 124);
    EXPECT_EQ(r.pfi->station_counts[0], 2);
    EXPECT_EQ(r.pfi->station_counts[1], 1);
    EXPECT_EQ(f.max_words, 7);
    EXPECT_EQ(r.pfi->surface_variable_count, 1);
    EXPECT_EQ(r.pfi->level_variable_count, 2);
    EXPECT_EQ(vemra_test::read_file(f.dat).size(), 124u + 28 + 4 + 28);
  }
}
