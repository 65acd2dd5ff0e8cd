// Dimension expressions against a data set parsed from a descriptor, and the
// evaluation state built from the session's dimension environment.
#include <gtest/gtest.h>

#include <string>

#include "expr/dimexpr.h"
#include "expr/evalstate.h"
#include "base/session.h"
#include "data/reader.h"
#include "data/test_gridread_support.h"
#include "support/stdout_capture.h"

using vemra_test::TempDir;

namespace {

// x: 0, 2.5 .. 357.5; y: -90 .. 90 by 1; z: 1000 850 700 500; t: 6-hourly
// from 00z1jan1990. Only x varies; z is at 850 and t at 00z2jan1990 (t = 5).
struct DimExprTest : testing::Test {
  TempDir dir;
  grtest::record pfi;
  eval_state st{};
  void SetUp() override {
    vemra_test::write_file(dir.file("d.dat"), "");
    pfi = grtest::open_text(dir,
                            "dset ^d.dat\nundef -999\nxdef 144 linear 0 2.5\n"
                            "ydef 181 linear -90 1\nzdef 4 levels 1000 850 700 500\n"
                            "tdef 40 linear 00z1jan1990 6hr\nvars 1\nu 4 99 u\nendvars\n");
    ASSERT_TRUE(pfi);
    st.idim = 0;
    st.jdim = -1;
    st.dim_max[0] = 357.5;
    st.dim_min[1] = st.dim_max[1] = 20;
    st.dim_min[2] = st.dim_max[2] = 850;
    st.time_start = st.time_end = {1990, 1, 2, 0, 0};
  }
  struct parsed {
    const char* end = nullptr;
    int dim = -1, world = -1;
    float value = 0;
    std::string out;
  };
  parsed parse(const char* text, int no_radius = 1) {
    parsed r;
    StdoutCapture cap;
    double value = 0;
    r.end = dimprs(text, &st, pfi.get(), &r.dim, &value, no_radius, &r.world);
    r.value = static_cast<float>(value);
    r.out = cap.text();
    return r;
  }
};

}  // namespace

TEST_F(DimExprTest, GridWorldAndTimeValues) {
  struct {
    const char* text;
    int dim;
    float value;
    int world;
  } cases[] = {
      {"lev=500", 2, 4, 1},
      {"t=3", 3, 3, 0},
      {"t-2", 3, 3, 0},
      {"z+1", 2, 3, 0},
      {"x=7.5", 0, 7.5f, 0},
      {"lon=-90", 0, -35, 1},
      {"lat+10", 1, 121, 1},
      {"lev-150", 2, 3, 1},  // latitude 30, level 700
      {"time+6hr", 3, 6, 1},
      {"time-1dy", 3, 1, 1},
      {"time=12z3jan1990", 3, 11, 1},
      {"time=feb1990", 3, 125, 1},  // 1 February 00z: 31 days of 4 steps
  };
  for (const auto& c : cases) {
    parsed r = parse(c.text);
    ASSERT_NE(r.end, nullptr) << c.text << r.out;
    EXPECT_EQ(*r.end, '\0') << c.text;
    EXPECT_EQ(r.dim, c.dim) << c.text;
    EXPECT_FLOAT_EQ(r.value, c.value) << c.text;
    EXPECT_EQ(r.world, c.world) << c.text;
  }
  const char* text = "lev=500,t=1";
  EXPECT_EQ(parse(text).end, text + 7);
  // The radius only where a station request allows it.
  parsed r = parse("r=2.5", 0);
  EXPECT_EQ(r.dim, 9);
  EXPECT_FLOAT_EQ(r.value, 2.5);
  // A defined object offsets grid coordinates and converts through its own
  // scaling.
  pfi->file_type = defined_file;
  pfi->reader = find_reader(data_kind::defined);
  pfi->defined_offsets[3] = 2;
  EXPECT_FLOAT_EQ(parse("t=3").value, 5);
  EXPECT_FLOAT_EQ(parse("z+1").value, 3);
  EXPECT_FLOAT_EQ(parse("lev=700").value, 3);
}

// Months move before days in an addition and after them in a subtraction,
// the day held at the month's last (steps by hand: days since 1 January
// 1990 times 4, plus 1).
TEST_F(DimExprTest, MonthOffsetsFromTheEndOfAMonth) {
  struct {
    date_time at;
    const char* text;
    float value;
  } cases[] = {
      {{1990, 1, 31, 0, 0}, "time+1mo12hr", 235},  // 12z 28 February
      {{1990, 3, 31, 0, 0}, "time-1mo1dy", 233},   // 30 March less a month
      {{1992, 2, 29, 0, 0}, "time+1yr", 4617},     // 28 February 1993
  };
  for (const auto& c : cases) {
    st.time_start = st.time_end = c.at;
    EXPECT_FLOAT_EQ(parse(c.text).value, c.value) << c.text;
  }
}

TEST_F(DimExprTest, Refusals) {
  const std::string head = "Syntax Error:  Invalid dimension expression\n";
  const std::string offset = head +
                             "  Cannot use an offset value with a varying dimension\n"
                             "  Varying dimension = ";
  struct {
    const char* text;
    std::string out;
  } cases[] = {
      {"r=2.5", head + "  Expecting X/Y/Z/T/LAT/LON/LEV/TIME, found r\n"},
      {"lons=3", head + "  Expecting X/Y/Z/T/LAT/LON/LEV/TIME, found lons\n"},
      {"z:3", head + "  Expecting +/-/= operator, found :\n"},
      {"lev=abc", head + "  Dimension value missing or invalid\n"},
      {"x+1", offset + "0 \n"},
  };
  for (const auto& c : cases) {
    parsed r = parse(c.text);
    EXPECT_EQ(r.end, nullptr) << c.text;
    EXPECT_EQ(r.out, c.out) << c.text;
  }
  EXPECT_TRUE(grtest::contains(parse("time=bad").out, "  Invalid dimension expression\n"));
  st.jdim = 3;
  EXPECT_EQ(parse("time+1hr").out, offset + "3 \n");
  EXPECT_NE(parse("t=2").end, nullptr);  // setting it is the caller's refusal
}

TEST(EvalState, VaryingDimensionsAndRefusals) {
  const std::string head = "Operation error:  Invalid dimension environment\n";
  session_state s;
  s.dim_varying[0] = s.dim_varying[3] = 1;
  s.dim_min[0] = -10;
  s.dim_max[0] = 30;
  std::string out;
  auto build = [&s, &out] {
    StdoutCapture cap;
    eval_state_ptr p = getpst(&s);
    out = cap.text();
    return p;
  };
  auto refused = [&](const std::string& why) {
    EXPECT_EQ(build(), nullptr) << why;
    EXPECT_EQ(out, head + why);
  };
  eval_state_ptr p = build();
  ASSERT_NE(p, nullptr) << out;
  EXPECT_EQ(p->idim, 0);
  EXPECT_EQ(p->jdim, 3);
  p.reset();
  // Three varying with looping off: looping is forced and t is the loop.
  s.dim_varying[1] = 1;
  p = build();
  ASSERT_NE(p, nullptr) << out;
  EXPECT_EQ(p->jdim, 1);
  p.reset();

  s.dim_varying[3] = 0;
  s.dim_min[1] = 10.5f;
  s.dim_max[1] = -10;
  refused("  Min latitude > max latitude: 10.5 -10 \n");
  s.dim_min[0] = 40;
  refused("  Min longitude > max longitude: 40 30 \n");
  s.dim_min[0] = s.dim_min[1] = 0;
  s.dim_max[1] = 10;
  s.looping = 1;
  refused("  Looping dimension does not vary\n");  // loopdim t does not vary
  s.looping = 0;
  s.dim_varying[2] = s.dim_varying[3] = 1;
  refused("  Too many varying dimensions \n");
}
