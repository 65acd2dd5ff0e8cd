// Variable operands: names, file numbers and dimension expressions turned
// into grid requests and read from a file the test wrote.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/reader.h"
#include "data/test_gridread_support.h"
#include "expr/evalstate.h"
#include "expr/sources.h"
#include "expr/varop.h"
#include "expr/windrot.h"
#include "support/stdout_capture.h"

using grtest::f;

namespace {

// x 1..5 at longitudes 0..4, y 1..4 at latitudes 10..40, z levels 1000 850
// 700, t daily from 1 Jan 2000; u has levels, ps none (stored as -f).
const char* kCtl =
    "dset ^d.dat\nundef -999\nxdef 5 linear 0 1\nydef 4 linear 10 10\n"
    "zdef 3 levels 1000 850 700\ntdef 2 linear 00z1jan2000 1dy\n"
    "vars 2\nu 3 99 u\nps 0 99 ps\nendvars\n";

// The whole x-y plane at 850 on the first day.
struct VarOpTest : testing::Test {
  vemra_test::TempDir dir;
  grtest::record pfi;
  eval_state st{};
  void SetUp() override {
    std::string s;
    for (int t = 1; t <= 2; t++) {
      for (int z = 1; z <= 3; z++)
        for (int y = 1; y <= 4; y++)
          for (int x = 1; x <= 5; x++) grtest::put_f32(s, f(x, y, z, t));
      for (int y = 1; y <= 4; y++)
        for (int x = 1; x <= 5; x++) grtest::put_f32(s, -f(x, y, 1, t));
    }
    vemra_test::write_file(dir.file("d.dat"), s);
    pfi = grtest::open_text(dir, kCtl);
    ASSERT_TRUE(pfi);
    st.file_list = st.default_file = pfi.get();
    st.file_count = 1;
    st.idim = 0;
    st.jdim = 1;
    st.dim_max[0] = 4;
    st.dim_min[1] = 10;
    st.dim_max[1] = 40;
    st.dim_min[2] = st.dim_max[2] = 850;
    st.time_start = st.time_end = {2000, 1, 1, 0, 0};
  }
  void TearDown() override { kafree(&st); }
  struct parsed {
    const char* end = nullptr;
    std::string out;
    grid_field* grid = nullptr;
  };
  parsed parse(const char* text) {
    kafree(&st);
    parsed r;
    StdoutCapture cap;
    r.end = varprs(text, &st);
    r.out = cap.text();
    if (r.end) r.grid = grid_in(st.result);
    return r;
  }
};

}  // namespace

TEST_F(VarOpTest, RequestsFromTheEnvironmentAndTheOperand) {
  struct {
    const char* text;
    const char* rest;
    float (*want)(int x, int y);  // the whole 5 x 4 plane
  } cases[] = {
      {"u", "", [](int x, int y) { return f(x, y, 2, 1); }},
      {"u.1(lev=700,t+1)*2", "*2", [](int x, int y) { return f(x, y, 3, 2); }},
      // A surface variable is read at level 1 whatever level is asked.
      {"ps(lev=900)", "", [](int x, int y) { return -f(x, y, 1, 1); }},
  };
  for (const auto& c : cases) {
    parsed r = parse(c.text);
    ASSERT_NE(r.end, nullptr) << c.text << r.out;
    EXPECT_STREQ(r.end, c.rest);
    ASSERT_EQ(r.grid->isiz * r.grid->jsiz, 20) << c.text;
    for (int k = 0; k < 20; k++)
      ASSERT_EQ(r.grid->values[k], c.want(k % 5 + 1, k / 5 + 1)) << c.text;
  }
  // Only x varies: a row of the fixed latitude. Nothing varies: one value.
  st.jdim = -1;
  st.dim_min[1] = st.dim_max[1] = 30;
  parsed r = parse("u(time=2jan2000)");
  ASSERT_NE(r.end, nullptr) << r.out;
  ASSERT_EQ(r.grid->jsiz, 1);
  for (int x = 1; x <= 5; x++) EXPECT_EQ(r.grid->values[x - 1], f(x, 3, 2, 2));
  st.idim = -1;
  st.dim_min[0] = st.dim_max[0] = 3;
  r = parse("u(z=3)");
  ASSERT_NE(r.end, nullptr) << r.out;
  EXPECT_EQ(r.grid->min_value, f(4, 3, 3, 1));
}

TEST_F(VarOpTest, VaryingRangesCoverTheWorldRange) {
  // Longitudes 0.2..2.6 need grid points 1..4.
  st.dim_min[0] = 0.2f;
  st.dim_max[0] = 2.6f;
  parsed r = parse("u");
  ASSERT_NE(r.end, nullptr) << r.out;
  EXPECT_EQ(r.grid->dim_min[0], 1);
  EXPECT_EQ(r.grid->dim_max[0], 4);
  // Both ends on one point: that point.
  st.dim_min[0] = st.dim_max[0] = 2;
  r = parse("u");
  ASSERT_NE(r.end, nullptr) << r.out;
  EXPECT_EQ(r.grid->dim_min[0], 3);
  EXPECT_EQ(r.grid->dim_max[0], 3);
  EXPECT_EQ(r.grid->values[3 * r.grid->isiz - 1], f(3, 3, 2, 1));
  // Wholly outside the file: undefined, with the warning line.
  st.dim_min[0] = 100;
  st.dim_max[0] = 104;
  r = parse("u");
  ASSERT_NE(r.end, nullptr) << r.out;
  for (int i = 0; i < 20; i++) EXPECT_EQ(r.grid->values[i], -999.0f);
  EXPECT_NE(r.out.find("  Warning issued for variable = u\n"), std::string::npos) << r.out;
}

TEST_F(VarOpTest, Refusals) {
  struct {
    const char* text;
    const char* out;
  } cases[] = {
      {"u.0", "Syntax error: Bad file number for variable u \n"},
      {"u.2", "Data Request Error:  File number out of range \n  Variable = u.2 \n"},
      {"v.1",
       "Data Request Error:  Invalid variable name \n  Variable 'v.1' not found in file 1\n"},
      {"u(z=1,z=2)",
       "Syntax Error: Invalid dimension expression\n  Same dimension specified multiple times "
       "for variable = u\n"},
      {"u(lon=1)",
       "Data Request Error: Invalid dimension expression\n  Attempt to set or modify varying "
       "dimension\n  Variable = u, Dimension = 0 \n"},
      {"u.1(lat=15)",
       "Data Request Error: Invalid grid coordinates\n"
       "  World coordinates convert to non-integer grid coordinates\n"
       "    Variable = u.1  Dimension = 1 \n"},
      {"u(z=1",
       "Syntax Error:  Invalid dimension expression\n"
       "  Expecting +/-/= operator, found \n  Variable name = u\n"},
  };
  st.jdim = -1;
  st.dim_min[1] = st.dim_max[1] = 20;
  for (const auto& c : cases) {
    parsed r = parse(c.text);
    EXPECT_EQ(r.end, nullptr) << c.text;
    EXPECT_EQ(r.out, c.out) << c.text;
  }
}

// The data sets an expression reads, from its text alone: variables and
// lon, lat, lev of either file, through the arguments of functions that
// are expressions; dimension expressions, bounds and options read nothing.
TEST_F(VarOpTest, TheDataSetsAnExpressionReads) {
  vemra_test::TempDir dir2;
  vemra_test::write_file(dir2.file("d.dat"), std::string(4 * 5 * 4 * 4 * 2, '\0'));
  grtest::record second = grtest::open_text(dir2, kCtl);
  ASSERT_TRUE(second);
  pfi->next = second.get();
  const file_descriptor *one = pfi.get(), *two = second.get();
  struct {
    std::vector<const char*> texts;
    const file_descriptor* one;
    bool several;
  } cases[] = {
      {{"u"}, one, false},
      {{"u.2(lev=700,t+1)*1e3-2"}, two, false},
      {{"sqrt(lon)+ps"}, one, false},
      {{"lat.2*(u.2+1)"}, two, false},
      {{"const(u.2,0,-u)"}, two, false},
      {{"ave(ps.2,lon=0,lon=4,-b)"}, two, false},
      {{"tloop(aave(u.2,global))"}, two, false},
      {{"u.1-u.2"}, nullptr, true},
      {{"maskout(u.2,ps)"}, nullptr, true},
      {{"u.2", "u"}, nullptr, true},  // the two fields of scorr
      {{"1+2"}, nullptr, false},
      {{"coll2gr(1,-u)"}, nullptr, false},
      {{"nosuch(u.2)"}, nullptr, false},  // not understood: no data set
      {{"u.2+'x"}, nullptr, false},
  };
  for (const auto& c : cases) {
    const expression_sources got = sources_of(c.texts.data(), int(c.texts.size()), &st);
    EXPECT_EQ(got.one, c.one) << c.texts[0];
    EXPECT_EQ(got.several, c.several) << c.texts[0];
  }
  pfi->next = nullptr;
}

TEST_F(VarOpTest, DefinedVariablesHideDataSetVariables) {
  // A defined "u" of 5 x 4 sevens on the data set's own grid.
  file_descriptor* def = getpfi();
  def->file_type = defined_file;
  def->reader = find_reader(data_kind::defined);
  def->x_size = 5;
  def->y_size = 4;
  def->z_size = def->t_size = 1;
  def->undef = -1;
  def->data_buffer = static_cast<float*>(std::malloc(20 * sizeof(float)));
  for (int i = 0; i < 20; i++) def->data_buffer[i] = 7;
  for (int d = 0; d < 3; d++) {
    def->world_to_grid[d] = pfi->world_to_grid[d];
    def->world_to_grid_scaling[d] = pfi->world_to_grid_scaling[d];
    def->grid_to_world[d] = pfi->grid_to_world[d];
    def->grid_to_world_scaling[d] = pfi->grid_to_world_scaling[d];
  }
  defined_entry other{nullptr, nullptr, "uu"};
  defined_entry entry{&other, def, "u"};
  st.defined_list = &entry;
  parsed r = parse("u");
  ASSERT_NE(r.end, nullptr) << r.out;
  EXPECT_EQ(r.grid->undef, -1);
  for (int i = 0; i < 20; i++) EXPECT_EQ(r.grid->values[i], 7);
  // A dimension the defined grid lacks takes any value, even one between
  // the data set's levels (800 lies between 850 and 700).
  r = parse("u(lev=800)");
  ASSERT_NE(r.end, nullptr) << r.out;
  EXPECT_EQ(r.grid->values[0], 7);
  // With a file number the data set's variable.
  r = parse("u.1");
  ASSERT_NE(r.end, nullptr) << r.out;
  EXPECT_EQ(r.grid->values[19], f(5, 4, 2, 1));
  kafree(&st);
  st.defined_list = nullptr;
  frepfi(def, 1);  // the scaling arrays are the data set's
}

// Station operands: the request a station data set gets. The set built by
// hand is a station file of 1-hourly times from 00z1jan2000.
namespace {

struct StationOpTest : testing::Test {
  grtest::record pfi{getpfi()};
  eval_state st{};
  void SetUp() override {
    pfi->file_type = station_file;
    pfi->reader = find_reader(data_kind::station);
    pfi->undef = -999;
    pfi->t_size = 24;
    auto* ts = static_cast<float*>(std::malloc(8 * sizeof(float)));
    const float axis[8] = {2000, 1, 1, 0, 0, 0, 60, -999.9f};
    std::memcpy(ts, axis, sizeof axis);
    pfi->grid_to_world_scaling[3] = pfi->world_to_grid_scaling[3] = ts;
    pfi->variables = static_cast<variable_descriptor*>(std::calloc(1, sizeof(variable_descriptor)));
    pfi->variable_count = 1;
    std::strcpy(pfi->variables[0].abbrev, "ts");
    st.file_list = st.default_file = pfi.get();
    st.file_count = 1;
    // A fixed place and level, times 3 to 5.
    st.idim = 3;
    st.jdim = -1;
    st.dim_min[0] = st.dim_max[0] = -100;
    st.dim_min[1] = st.dim_max[1] = 40;
    st.dim_min[2] = st.dim_max[2] = 500;
    st.time_start = {2000, 1, 1, 2, 0};
    st.time_end = {2000, 1, 1, 4, 0};
  }
  std::string refusal(const char* text) {
    StdoutCapture cap;
    const char* end = varprs(text, &st);
    std::string out = cap.text();
    EXPECT_EQ(end, nullptr) << text;
    return out;
  }
};

const char* kReadFailed = "Data Request Error:  Variable is 'ts";

}  // namespace

TEST_F(StationOpTest, ArgumentsAndRanges) {
  const std::string inv =
      "Data Request Error: Invalid dimension expression\n"
      "  Attempt to set or modify varying dimension\n  Variable = ";
  const std::string dec =
      "Data Request Error: Invalid grid coordinates\n"
      "  Varying dimension ";
  const std::string pre = "Data Request Error:  Predefined variable ";
  const std::string grid_only =
      "   is only defined for grid type files\n"
      "   File 1 is a station file\n";
  struct {
    const char* text;
    std::string out;
  } cases[] = {
      {"ts(stid=)", "Dimension Expression Error: No stid provided\n"},
      {"ts(stid=abcdefghi)", "Dimension Expression Error: stid too long\n"},
      {"ts(t=3)", inv + "ts, Dimension = 3 \n"},
      {"ts(lat=1,lat=2,lat=3)",
       "Syntax Error: Invalid dimension expression\n"
       "  Same dimension specified more than twice for variable = ts\n"},
      // Levels run downwards; other ranges upwards.
      {"ts(lev=500,lev=850)",
       dec + "2 decreases: 500 to 850 \n  Error ocurred getting variable 'ts'\n"},
      {"ts(lat=30,lat=20)",
       dec + "1 decreases: 30 to 20 \n  Error ocurred getting variable 'ts'\n"},
      {"lon.1", pre + "lon.1\n" + grid_only},
  };
  for (const auto& c : cases) EXPECT_EQ(refusal(c.text), c.out) << c.text;
  // Accepted requests reach the station reader (which has no file here).
  for (const char* ok : {"ts(lev=850,lev=500)", "ts(r=2.5,lon=-90)", "ts.1(stid=abcdefgh,lev=700)"})
    EXPECT_NE(refusal(ok).find(kReadFailed), std::string::npos) << ok;
  // A box request (x varying) takes neither a radius nor a station.
  st.idim = 0;
  st.jdim = 3;
  st.dim_max[0] = -80;
  EXPECT_EQ(refusal("ts(r=2)"), inv + "ts, Dimension = 4 \n");
  EXPECT_EQ(refusal("ts(stid=abc)"), inv + "ts, Dimension = 5 \n");
}

// The expression layer learns what a data set holds only from its reader:
// a reader plugged into the record decides whether a name is read as
// station data and whether winds are turned after the read.
namespace {

int plugged_requests = 0;

int no_reports(read_request&, station_set* set) {
  plugged_requests++;
  set->report_count = 0;
  set->first_report = nullptr;
  return 0;
}

bool always_turns(const file_descriptor*) { return true; }

}  // namespace

TEST_F(StationOpTest, AReaderOfStationsServesStationOperands) {
  static reader reports = *find_reader(data_kind::station);  // outlives the record
  reports.name = "Reports";
  reports.stations = no_reports;
  pfi->reader = &reports;
  pfi->file_type = grid_file;  // as a new record starts: only the reader tells
  EXPECT_EQ(refusal("lat"),
            "Data Request Error:  Predefined variable lat\n"
            "   is only defined for grid type files\n"
            "   File 1 is a station file\n");
  plugged_requests = 0;
  {
    StdoutCapture cap;
    varprs("ts(lev=850,lev=500)", &st);
  }
  EXPECT_EQ(plugged_requests, 1);
  kafree(&st);
}

TEST_F(VarOpTest, WindsTurnWhenTheReaderSaysSo) {
  variable_descriptor* u = &pfi->variables[0];
  u->units[0] = 33;                               // GRIB parameter of the eastward wind
  EXPECT_FALSE(kawrneed(pfi.get(), u));           // a binary set keeps its winds
  static reader turning = *reader_of(pfi.get());  // outlives the record
  turning.rotates_winds = always_turns;
  pfi->reader = &turning;
  EXPECT_TRUE(kawrneed(pfi.get(), u));
  pfi->variables[1].units[0] = 34;  // northward wind
  EXPECT_TRUE(kawrneed(pfi.get(), &pfi->variables[1]));
  u->units[0] = 11;  // temperature: nothing to turn
  EXPECT_FALSE(kawrneed(pfi.get(), u));
  // A pre-projected set turns winds only once its set-up kept the angles.
  u->units[0] = 33;
  pfi->reader = find_reader(data_kind::preprojected_binary);
  pfi->pdef_flag = 1;
  EXPECT_FALSE(kawrneed(pfi.get(), u));
  float angles[20] = {};
  pfi->pdef_extra = angles;
  EXPECT_TRUE(kawrneed(pfi.get(), u));
  pfi->pdef_flag = 0;
  EXPECT_FALSE(kawrneed(pfi.get(), u));
  pfi->pdef_extra = nullptr;
}
