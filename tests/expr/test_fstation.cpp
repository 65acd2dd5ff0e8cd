// The station analyses on sets and grids built in memory, against values
// worked out by hand: objective analysis, binning, station reductions over
// times, grid to station interpolation, collection to grid and the keyed
// pairing of station arithmetic.
#include <string>

#include "base/session.h"
#include "expr/analysis_data.h"
#include "expr/fg2s.h"
#include "expr/foa.h"
#include "expr/fstn.h"
#include "support/station_sets.h"

namespace {

using stntest::make_grid;
using stntest::make_set;
using stntest::values;
constexpr float U = -99;

void expect_values(const std::vector<float>& got, const std::vector<float>& want, float tol = 0) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t k = 0; k < got.size(); k++) EXPECT_NEAR(got[k], want[k], tol) << "value " << k;
}

// The values of an nx by ny grid from (0, 0) after oacres with the reports.
std::vector<float> oacres(int nx, int ny, const std::vector<stntest::report>& reports,
                          const std::vector<float>& radii, float guess = kNoGuess) {
  grid_field* g = make_grid(0, 0, nx, ny);
  station_set* s = make_set(reports, U);
  EXPECT_EQ(oacres_grid(g, s, radii, guess), 0);
  std::vector<float> v = values(g);
  kagfre(g);
  kasfre(s);
  return v;
}

TEST(Oacres, CressmanWeightsOfOnePass) {
  // Reports at (0.5, 0) = 8 and on the last corner (2, 2) = 2: first guess
  // 5, corrections +3 and -3 with weights (4 - d^2) / (4 + d^2) at R = 2.
  // (1,1): w 11/21 and 7/21, 5 + 3 * 4/18; (2,1): w 3/29 and 3/5.
  const float p11 = 5 + 3.0f * 4 / 18, p21 = 5 + 3.0f * (15 - 87) / (15 + 87);
  expect_values(oacres(3, 3, {{"P", 0, 0.5f, 0, 1, 8}, {"Q", 2, 2, 0, 1, 2}}, {2}),
                {8, 8, 8, 8, p11, p21, 5, 2, 2}, 1e-5f);
}

TEST(Oacres, ReportBeyondTheLastRowTakesThatRowForTheMissingOne) {
  // Q at (1, 2.5) lies in the box of the top row: after the first pass
  // (R = 1: P's point 4, Q's nearest point 7 + 3 * 0.6 / 0.6) both reports
  // sit on their values, so the second pass changes nothing.
  expect_values(oacres(3, 3, {{"P", 0, 0, 0, 1, 4}, {"Q", 2.5f, 1, 0, 1, 10}}, {1, 1}),
                {4, 7, 7, 7, 7, 7, 7, 10, 7}, 1e-5f);
}

TEST(Oacres, DefaultPassesLeavePointsBeyondTheThirdRadiusUndefined) {
  const std::vector<float> v = oacres(
      12, 2, {{"A", 0, 0, 0, 1, 1}, {"B", 0, 1, 0, 1, 3}, {"C", 0, 1, 0, 1, U}}, {10, 7, 4, 2, 1});
  // Within 4 grid lengths of (1, 0): x 0..4 on both rows ((4,1): d^2 = 10).
  for (int j = 0; j < 2; j++)
    for (int i = 0; i < 12; i++) EXPECT_EQ(v[size_t(j * 12 + i)] == U, i > 4) << i << "," << j;
}

TEST(Oacres, TooFewStationsAndAGivenFirstGuess) {
  const std::vector<stntest::report> two = {{"A", 0, 0, 0, 1, 5}, {"B", 50, 50, 0, 1, 7}};
  StdoutCapture cap;
  expect_values(oacres(2, 2, two, {4}), {U, U, U, U});
  expect_values(oacres(2, 2, two, {}, 273), {273, 273, 273, 273});
  EXPECT_EQ(cap.text(),
            "Warning from OACRES:  Less than two stations\n    Grid will be all missing values\n"
            "Warning from OACRES:  Less than two stations\n    Grid will be all missing values\n"
            "qqq oacres SETTING original -99 FG to 273\n");
}

TEST(Oabin, NearestPointAveragesCountsAndFirstTwo) {
  // Three reports nearest (0,0), one nearest (2,1) (on the eastern edge),
  // one west of the grid that moves by 360 degrees out of it, one undefined.
  station_set* s = make_set({{"A", 0, 0.4f, 0, 1, 1},
                             {"B", 0.3f, 0.2f, 0, 1, 3},
                             {"C", 0.1f, 0.1f, 0, 1, 8},
                             {"D", 0.9f, 2, 0, 1, 5},
                             {"E", 0, -0.7f, 0, 1, 6},
                             {"F", 0, 1, 0, 1, U}},
                            U);
  const std::pair<bin_mode, std::vector<float>> cases[] = {
      {bin_mode::average, {4, U, U, U, U, 5}},
      {bin_mode::count, {3, U, U, U, U, 1}},
      {bin_mode::first_two, {2, U, U, U, U, 5}},
  };
  for (const auto& [mode, want] : cases) {
    grid_field* g = make_grid(0, 0, 3, 2);
    ASSERT_EQ(oabin_grid(g, s, mode), 0);
    EXPECT_EQ(values(g), want) << int(mode);
    kagfre(g);
  }
  kasfre(s);
}

TEST(StationFold, AverageOverTimesStationByStation) {
  // A: 10, undefined, 20, 30. B: two reports in the first time (mean 3),
  // then 9. C: never defined. A at another latitude is another station.
  station_set* t[4] = {
      make_set({{"A", 10, 20, 0, 1, 10},
                {"B", 5, 5, 0, 1, 2},
                {"C", 1, 1, 0, 1, U},
                {"B", 5, 5, 0, 1, 4}}),
      make_set({{"A", 10, 20, 0, 2, U}, {"B", 5, 5, 0, 2, 9}, {"A", 11, 20, 0, 2, 7}}),
      make_set({{"A", 10, 20, 0, 3, 20}}),
      make_set({{"A", 10, 20, 0, 4, 30}, {"C", 1, 1, 0, 4, U}}),
  };
  const struct {
    station_reduction kind;
    int min_count;
    std::vector<float> want;
  } cases[] = {{station_reduction::average, 1, {20, 6, U, 7}},
               {station_reduction::average, 3, {20, U, U, U}},
               {station_reduction::minimum, 1, {10, 2, U, 7}},
               {station_reduction::maximum, 1, {30, 9, U, 7}},
               // The extremes apply the minimum count as the average does: A
               // and B have three values each (B two in its first time), A at
               // 11 one.
               {station_reduction::minimum, 3, {10, 2, U, U}},
               {station_reduction::maximum, 2, {30, 9, U, U}},
               {station_reduction::maximum, 4, {U, U, U, U}}};
  for (const auto& c : cases) {
    station_fold fold(c.kind);
    for (station_set* s : t) ASSERT_TRUE(fold.add(s));
    station_set* r = fold.finish(c.min_count);
    EXPECT_EQ(values(r), c.want) << c.min_count;
    kasfre(r);
  }
  for (station_set* s : t) kasfre(s);
}

TEST(Gr2stn, BilinearAtStationsWithTheLastRowAndColumnOutside) {
  // v = lon + 10 lat on 0..3 x 0..2, one point undefined.
  std::vector<float> v;
  for (int j = 0; j < 3; j++)
    for (int i = 0; i < 4; i++) v.push_back(float(i + 10 * j));
  v[11] = U;  // (3, 2)
  grid_field* g = make_grid(0, 0, 4, 3, v);
  station_set* s = make_set({{"A", 0.5f, 1.25f, 0, 1, 0},
                             {"B", 0.5f, -358, 0, 1, 0},  // longitude 2
                             {"C", 1.5f, 2.5f, 0, 1, 0},  // next to the undefined point
                             {"D", 1, 3, 0, 1, 0},        // on the last column
                             {"E", 2, 1, 0, 1, 0}},       // on the last row
                            -1);
  gr2stn_values(g, s);
  expect_values(values(s), {6.25f, 7, -1, -1, -1}, 1e-5f);
  kagfre(g);
  kasfre(s);
}

TEST(StationArithmetic, PairsTheFirstDefinedReportOfEachPlaceLevelOrTime) {
  // The smaller set receives, the values kept in expression order. The
  // larger set has two reports at (1,1): the first is undefined, so the
  // second pairs; -0 and 0 are one place.
  auto smaller = [] { return make_set({{"A", 1, 1, 0, 1, 6}, {"B", 0, -0.0f, 0, 1, 8}}); };
  auto larger = [] {
    return make_set(
        {{"X", 1, 1, 0, 1, U}, {"Y", 1, 1, 0, 1, 3}, {"Z", 1, 1, 0, 1, 5}, {"W", 0, 0, 0, 1, 2}});
  };
  station_set* a = smaller();
  station_set* r = kastop(a, larger(), kOpDivide, 1);
  ASSERT_EQ(r, a);
  EXPECT_EQ(values(r), (std::vector<float>{2, 4}));
  kasfre(r);
  a = smaller();
  r = kastop(larger(), a, kOpDivide, 1);
  ASSERT_EQ(r, a);
  EXPECT_EQ(values(r), (std::vector<float>{0.5f, 0.25f}));
  // By level, then the constant on the left.
  station_set* c = make_set({{"A", 0, 0, 850, 1, 4}, {"A", 0, 0, 500, 1, 2}}, U, 2, -1);
  station_set* d = make_set(
      {{"A", 0, 0, 500, 1, 10}, {"A", 0, 0, 700, 1, 1}, {"A", 0, 0, 850, 1, 20}}, U, 2, -1);
  station_set* e = kastop(d, c, kOpAdd, 1);
  EXPECT_EQ(values(kascop(e, 48, kOpDivide, 1)), (std::vector<float>{2, 4}));
  // Sets of different kinds are refused, both left to the caller.
  StdoutCapture cap;
  EXPECT_EQ(kastop(r, e, kOpAdd, 1), nullptr);
  EXPECT_EQ(cap.text(), "Invalid dimension environment for station data operation\n");
  EXPECT_EQ(values(r), (std::vector<float>{0.5f, 0.25f}));
  kasfre(r);
  kasfre(e);
}

TEST(StationArithmetic, MaskoutByAConstantTestsTheMask) {
  station_set* s = make_set({{"A", 0, 0, 0, 1, -2}, {"B", 0, 1, 0, 1, 3}, {"C", 0, 2, 0, 1, U}});
  kascop(s, 1, kOpMaskout, 0);  // a mask of 1 keeps every report
  EXPECT_EQ(values(s), (std::vector<float>{-2, 3, U}));
  kascop(s, 7, kOpMaskout, 1);  // the set as the mask of the constant 7
  EXPECT_EQ(values(s), (std::vector<float>{U, 7, U}));
  kasfre(s);
}

// Collections 0..31 of a session, and an environment varying in x and z.
struct Coll2gr : AnalysisData {
  collection_entry* heads[kCollections] = {};
  int counts[kCollections] = {};

  void SetUp() override {
    st.collections = heads;
    st.collection_count = counts;
    st.idim = 0;
    st.jdim = 2;
    st.dim_min[0] = -10;
    st.dim_max[0] = 10;
    st.dim_min[2] = 1000;
    st.dim_max[2] = 800;
  }
  void TearDown() override {
    AnalysisData::TearDown();
    for (collection_entry*& h : heads)
      while (h) {
        collection_entry* next = h->next;
        delete h;
        h = next;
      }
  }
  void collect(int n, station_set* s) {
    collection_entry** at = &heads[n];
    while (*at) at = &(*at)->next;
    *at = new collection_entry{nullptr, station_ptr(s)};
    counts[n]++;
  }
};

TEST_F(Coll2gr, FixedLevelsAndReportLevelsInterpolatedInLevel) {
  collect(3, make_set({{"A", 0, 0, 1000, 1, 10}, {"A", 0, 0, 850, 1, 25}, {"A", 0, 0, 700, 1, 40}},
                      U, 2, -1));
  collect(3, make_set({{"B", 0, 5, 900, 1, 5}, {"B", 0, 5, 800, 1, U}}, U, 2, -1));
  grid_field* g = eval("coll2gr(3,3)");
  ASSERT_NE(g, nullptr) << out;
  // Rows 1000, 900, 800: A 10, 25 - 15/3, 40 - 15 * 2/3; B undefined
  // where it has nothing above, and at its undefined 800.
  EXPECT_EQ(values(g), (std::vector<float>{10, U, 20, 5, 30, U}));
  EXPECT_EQ(g->i_to_world(g->i_world_vals, 2), 10);
  EXPECT_EQ(g->j_to_world(g->j_world_vals, 3), 800);
  g = eval("coll2gr(3,-u)");
  ASSERT_NE(g, nullptr) << out;
  EXPECT_EQ(g->jsiz, 4);
  EXPECT_EQ(values(g), (std::vector<float>{10, U, 20, 5, 25, U, 30, U}));
  g = eval("coll2gr(3,-u,-n1)");  // B's undefined 800 is no level and no neighbour
  ASSERT_NE(g, nullptr) << out;
  EXPECT_EQ(values(g), (std::vector<float>{10, U, 20, 5, 25, U}));
}

TEST_F(Coll2gr, OneSetOneLevelAndNumbersOutsideTheCollections) {
  collect(31, make_set({{"A", 0, 0, 1000, 1, 10}, {"A", 0, 0, 800, 1, 30}}, U, 2, -1));
  grid_field* g = eval("coll2gr(31,1)");
  ASSERT_NE(g, nullptr) << out;
  EXPECT_EQ(values(g), (std::vector<float>{10}));
  EXPECT_TRUE(
      refused("coll2gr(32)", "Error from COLL2GR:  Collection number 32 not between 0 and 31\n"));
  EXPECT_TRUE(refused("coll2gr(5)", "Error from COLL2GR:  Collection 5 empty\n"));
  st.idim = 1;
  EXPECT_TRUE(refused("coll2gr(31)", "Error from COLL2GR:  Invalid dimension environment\n"));
}

}  // namespace
