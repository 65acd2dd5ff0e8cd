// Dimension expressions against a data set parsed from a descriptor, and the
// evaluation state built from the session's dimension environment.
#include <gtest/gtest.h>

#include <string>

#include "core/dimexpr.h"
#include "core/evalstate.h"
#include "core/session.h"
#include "data/test_gridread_support.h"

using vemra_test::TempDir;

namespace {

// x: 0, 2.5 .. 357.5; y: -90 .. 90 by 1; z: 1000 850 700 500; t: 6-hourly
// from 00z1jan1990.
const char* kCtl =
    "dset ^d.dat\nundef -999\nxdef 144 linear 0 2.5\nydef 181 linear -90 1\n"
    "zdef 4 levels 1000 850 700 500\ntdef 40 linear 00z1jan1990 6hr\n"
    "vars 1\nu 4 99 u\nendvars\n";

struct DimExprTest : testing::Test {
  TempDir dir;
  grtest::record pfi;
  eval_state st{};
  void SetUp() override {
    vemra_test::write_file(dir.file("d.dat"), "");
    pfi = grtest::open_text(dir, kCtl);
    ASSERT_TRUE(pfi);
    st.idim = 0;  // only longitude varies
    st.jdim = -1;
    st.dim_min[0] = 0;
    st.dim_max[0] = 357.5;
    st.dim_min[1] = 20;
    st.dim_max[1] = 60;
    st.dim_min[2] = st.dim_max[2] = 850;
    st.time_start = st.time_end = {1990, 1, 2, 0, 0};  // t = 5
  }
  struct parsed {
    const char* end = nullptr;
    int dim = -1, world = -1;
    float value = 0;
    std::string out;
  };
  parsed parse(const char* text, int no_radius = 1) {
    parsed r;
    testing::internal::CaptureStdout();
    r.end = dimprs(text, &st, pfi.get(), &r.dim, &r.value, no_radius, &r.world);
    r.out = testing::internal::GetCapturedStdout();
    return r;
  }
};

}  // namespace

TEST_F(DimExprTest, GridAndWorldCoordinates) {
  const char* text = "lev=500,t=1";
  parsed r = parse(text);
  ASSERT_EQ(r.end, text + 7);
  EXPECT_EQ(r.dim, 2);
  EXPECT_FLOAT_EQ(r.value, 4);
  EXPECT_EQ(r.world, 1);

  r = parse("t=3");
  EXPECT_EQ(r.dim, 3);
  EXPECT_FLOAT_EQ(r.value, 3);
  EXPECT_EQ(r.world, 0);
  // Fixed T at the start time, coordinate 5.
  r = parse("t+1");
  EXPECT_FLOAT_EQ(r.value, 6);
  r = parse("t-2");
  EXPECT_FLOAT_EQ(r.value, 3);
  r = parse("z+1");  // 850 is level 2
  EXPECT_FLOAT_EQ(r.value, 3);
  r = parse("lon=-90");  // (-90 - 0) / 2.5 + 1
  EXPECT_EQ(r.dim, 0);
  EXPECT_FLOAT_EQ(r.value, -35);
  r = parse("lat+10");  // latitude 30
  EXPECT_EQ(r.dim, 1);
  EXPECT_FLOAT_EQ(r.value, 121);
  r = parse("lev-150");  // 850 - 150 = 700, level 3
  EXPECT_FLOAT_EQ(r.value, 3);
  r = parse("x=7.5");
  EXPECT_FLOAT_EQ(r.value, 7.5);
}

TEST_F(DimExprTest, Times) {
  parsed r = parse("time+6hr");
  EXPECT_EQ(r.dim, 3);
  EXPECT_EQ(r.world, 1);
  EXPECT_FLOAT_EQ(r.value, 6);
  r = parse("time-1dy");
  EXPECT_FLOAT_EQ(r.value, 1);
  r = parse("time=12z3jan1990");  // two and a half days after the start
  EXPECT_FLOAT_EQ(r.value, 11);
  r = parse("time=feb1990");  // 1 February 00z: 31 days of 4 steps
  EXPECT_FLOAT_EQ(r.value, 125);
  r = parse("time=bad");
  EXPECT_EQ(r.end, nullptr);
  EXPECT_NE(r.out.find("  Invalid dimension expression\n"), std::string::npos) << r.out;
}

TEST_F(DimExprTest, RadiusOnlyWhereAllowed) {
  parsed r = parse("r=2.5", 0);
  EXPECT_EQ(r.dim, 9);
  EXPECT_FLOAT_EQ(r.value, 2.5);
  EXPECT_EQ(r.world, 0);
  r = parse("r=2.5", 1);
  EXPECT_EQ(r.end, nullptr);
  EXPECT_EQ(r.out,
            "Syntax Error:  Invalid dimension expression\n"
            "  Expecting X/Y/Z/T/LAT/LON/LEV/TIME, found r\n");
}

TEST_F(DimExprTest, Refusals) {
  struct {
    const char* text;
    const char* second;
  } cases[] = {
      {"level=500", "  Expecting X/Y/Z/T/LAT/LON/LEV/TIME, found level\n"},
      {"lons=3", "  Expecting X/Y/Z/T/LAT/LON/LEV/TIME, found lons\n"},
      {"z:3", "  Expecting +/-/= operator, found :\n"},
      {"z", "  Expecting +/-/= operator, found \n"},
      {"z=", "  Dimension value missing or invalid\n"},
      {"lev=abc", "  Dimension value missing or invalid\n"},
  };
  for (const auto& c : cases) {
    parsed r = parse(c.text);
    EXPECT_EQ(r.end, nullptr) << c.text;
    EXPECT_EQ(r.out, std::string("Syntax Error:  Invalid dimension expression\n") + c.second)
        << c.text;
  }
  // Offsets of a varying dimension, in grid and in world coordinates.
  for (const char* text : {"x+1", "lon-5"}) {
    parsed r = parse(text);
    EXPECT_EQ(r.end, nullptr);
    EXPECT_NE(r.out.find("  Cannot use an offset value with a varying dimension\n"),
              std::string::npos)
        << r.out;
  }
  st.jdim = 3;
  parsed r = parse("t+1");
  EXPECT_NE(r.out.find("  Varying dimension = 3 \n"), std::string::npos) << r.out;
  // Setting a varying dimension is the caller's refusal, not a syntax error.
  EXPECT_NE(parse("t=2").end, nullptr);
}

TEST_F(DimExprTest, DefinedObjectsOffsetGridCoordinates) {
  pfi->file_type = 4;
  pfi->defined_offsets[3] = 2;
  pfi->defined_offsets[2] = 1;
  EXPECT_FLOAT_EQ(parse("t=3").value, 5);
  // Shifts and world values go through the object's own scaling.
  EXPECT_FLOAT_EQ(parse("z+1").value, 3);
  EXPECT_FLOAT_EQ(parse("lev=700").value, 3);
}

// The evaluation state from the session's environment.
namespace {

struct state_result {
  eval_state* st;
  std::string out;
};

state_result build(session_state& s) {
  testing::internal::CaptureStdout();
  eval_state* p = getpst(&s);
  return {p, testing::internal::GetCapturedStdout()};
}

}  // namespace

TEST(EvalState, CopiesTheEnvironmentAndPicksVaryingDimensions) {
  session_state s;
  s.dim_varying[0] = s.dim_varying[3] = 1;
  s.dim_min[0] = -10;
  s.dim_max[0] = 30;
  s.dim_min[2] = s.dim_max[2] = 500;
  s.time_start = {2000, 1, 1, 0, 0};
  s.time_end = {2000, 2, 1, 0, 0};
  s.file_count = 3;
  state_result r = build(s);
  ASSERT_NE(r.st, nullptr) << r.out;
  EXPECT_EQ(r.st->idim, 0);
  EXPECT_EQ(r.st->jdim, 3);
  EXPECT_EQ(r.st->dim_min[0], -10);
  EXPECT_EQ(r.st->dim_max[0], 30);
  EXPECT_EQ(r.st->dim_min[2], 500);
  EXPECT_EQ(r.st->time_end.month, 2);
  EXPECT_EQ(r.st->file_count, 3);
  EXPECT_EQ(r.st->collections, s.collection_head);
  EXPECT_EQ(r.st->result.grid, nullptr);
  EXPECT_EQ(r.st->result_type, 1);
  delete r.st;

  // Three varying with looping off: looping is forced and t is the loop.
  s.dim_varying[1] = 1;
  s.dim_min[1] = -5;
  s.dim_max[1] = 5;
  r = build(s);
  ASSERT_NE(r.st, nullptr) << r.out;
  EXPECT_EQ(r.st->idim, 0);
  EXPECT_EQ(r.st->jdim, 1);
  delete r.st;
}

TEST(EvalState, Refusals) {
  const std::string head = "Operation error:  Invalid dimension environment\n";
  session_state s;
  s.dim_varying[0] = 1;
  s.dim_min[0] = 40;
  s.dim_max[0] = 30;
  state_result r = build(s);
  EXPECT_EQ(r.st, nullptr);
  EXPECT_EQ(r.out, head + "  Min longitude > max longitude: 40 30 \n");

  s.dim_varying[0] = 0;
  s.dim_varying[1] = 1;
  s.dim_min[1] = 10.5f;
  s.dim_max[1] = -10;
  r = build(s);
  EXPECT_EQ(r.out, head + "  Min latitude > max latitude: 10.5 -10 \n");

  s.dim_min[1] = -10;
  s.dim_max[1] = 10;
  s.looping = 1;
  s.loopdim = 3;
  r = build(s);
  EXPECT_EQ(r.st, nullptr);
  EXPECT_EQ(r.out, head + "  Looping dimension does not vary\n");

  // Three varying and the loop dimension among the fixed ones.
  s.looping = 0;
  s.dim_varying[0] = s.dim_varying[2] = 1;
  s.dim_min[0] = 0;
  s.dim_max[0] = 10;
  r = build(s);
  EXPECT_EQ(r.out, head + "  Looping dimension does not vary\n");

  s.dim_varying[3] = 1;
  r = build(s);
  EXPECT_EQ(r.st, nullptr);
  EXPECT_EQ(r.out, head + "  Too many varying dimensions \n");
}
