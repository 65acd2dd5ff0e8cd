// Elementwise functions: every one-argument function at known points, the
// domain rules and their warnings, the two-argument functions and
// the combination of grids with station sets.
#include <cmath>
#include <string>

#include "expr/analysis_data.h"
#include "expr/felem.h"
#include "support/station_sets.h"

namespace {

constexpr float kUndef = AnalysisData::kUndef;

// 5 x 4 points: negative, zero, fractional and large values, one undefined.
struct Felem : AnalysisData {
  void SetUp() override {
    nx = 5;
    lat0 = 10, dlat = 10, ny = 4;
    names = {"u"};
    value = [](int, int x, int y, int, int) {
      static const float v[] = {-4,     -1,   -0.5f, 0,   0.25f,  0.5f, 1,      2, 3,    90,
                                kUndef, 1.5f, -1.5f, 100, 0.999f, -1,   -2.25f, 7, 0.1f, 20};
      return v[(y - 1) * 5 + x - 1];
    };
    write();
  }
};

}  // namespace

TEST_F(Felem, OneArgumentFunctionsAtKnownPoints) {
  // Points of the grid: 0 is -4, 3 is 0, 4 is 0.25, 6 is 1, 7 is 2, 9 is 90,
  // 10 undefined, 11 is 1.5, 13 is 100, 15 is -1, 16 is -2.25, 17 is 7,
  // 18 is 0.1. Values from python3's math module.
  const struct {
    const char* text;
    int point;
    float want;
  } cases[] = {
      {"sqrt(u)", 4, 0.5f},      {"sqrt(u)", 0, kUndef},    {"sqrt(u)", 10, kUndef},
      {"sin(u)", 11, 0.997495f}, {"cos(u)", 9, -0.448074f}, {"tan(u)", 6, 1.557408f},
      {"asin(u)", 6, 1.570796f}, {"asin(u)", 7, kUndef},    {"acos(u)", 15, 3.141593f},
      {"exp(u)", 6, 2.718282f},  {"exp(u)", 9, kUndef},     {"log(u)", 17, 1.945910f},
      {"log(u)", 3, kUndef},     {"log10(u)", 18, -1},      {"abs(u)", 16, 2.25f},
  };
  for (const auto& c : cases) {
    grid_field* g = eval(c.text);
    ASSERT_NE(g, nullptr) << c.text << out;
    EXPECT_NEAR(g->values[c.point], c.want, 1e-5) << c.text << " at " << c.point;
  }
  // Values outside the domain are dropped, counted in the warning: six
  // below zero, seven at or below it.
  eval("sqrt(u)");
  EXPECT_EQ(out,
            "Warning from SQRT:  Data has 6 values < zero \n"
            "                    These were set to the undefined value \n");
  eval("log10(u)");
  EXPECT_EQ(out,
            "Warning from LOG10:  Data has 7 values <= zero \n"
            "                     These were set to the undefined value \n");
  eval("asin(u)");
  EXPECT_EQ(out, "");
}

TEST_F(Felem, TwoArgumentFunctions) {
  struct {
    const char* text;
    int point;
    float want;
  } cases[] = {
      {"pow(u,2)", 2, 0.25f},
      {"pow(2,u)", 1, 0.5f},
      {"pow(u,0.5)", 0, kUndef},  // negative base: no value, stored undefined
      {"pow(u,0.5)", 8, std::sqrt(3.0f)},
      {"pow(u*1e30,2)", 9, kUndef},  // beyond float range
      {"mag(u,2*u)", 0, float(std::sqrt(80.0))},
      {"atan2(u,-1)", 0, float(std::atan2(-4.0, -1.0))},
      {"atan2(u*0,0)", 3, 0.0f},
  };
  for (const auto& c : cases) {
    grid_field* g = eval(c.text);
    ASSERT_NE(g, nullptr) << c.text << out;
    EXPECT_FLOAT_EQ(g->values[c.point], c.want) << c.text;
  }
  // Single values get both extremes.
  grid_field* g = eval("atan2(3,4)");
  ASSERT_NE(g, nullptr) << out;
  EXPECT_EQ(g->idim, -1);
  EXPECT_FLOAT_EQ(g->min_value, float(std::atan2(3.0, 4.0)));
  EXPECT_EQ(g->max_value, g->min_value);
}

TEST_F(Felem, WrongArgumentCounts) {
  const std::string counts = "Too many or too few args \n                 ";
  struct {
    const char* text;
    std::string lines;
  } cases[] = {
      {"sqrt(u,u)", "Error from SQRT: " + counts + "One argument expected \n"},
      {"sin()", "Error from SIN:  " + counts + "One argument expected \n"},
      {"pow(u)", "Error from POW:  " + counts + "Two arguments expected \n"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(eval(c.text), nullptr) << c.text;
    EXPECT_EQ(out.rfind(c.lines, 0), 0u) << c.text << "\n" << out;
  }
  // A failing second argument releases the first.
  EXPECT_EQ(eval("pow(u,nosuch)"), nullptr);
}

TEST(FelemStations, GridsAndStationSetsCombine) {
  eval_state a{}, b{};
  // A single value first: 2 to the power of each defined report.
  a.result = grid_ptr(kagrvl(2));
  b.result = station_ptr(stntest::make_set(
      {{"s", 0, 0, 0, 1, 3}, {"s", 1, 1, 0, 1, kUndef}, {"s", 2, 2, 0, 1, -2}}, kUndef));
  ASSERT_EQ(kafopr(&a, &b, kOpPower), 0);
  ASSERT_NE(stations_in(a.result), nullptr);
  EXPECT_EQ(stntest::values(stations_in(a.result)), (std::vector<float>{8, kUndef, 0.25f}));
  // A grid that varies does not combine with stations.
  auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
  g->idim = 0;
  g->jdim = -1;
  b.result = grid_ptr(g);
  StdoutCapture cap;
  EXPECT_EQ(kafopr(&a, &b, kOpMagnitude), 1);
  EXPECT_EQ(cap.text(),
            "Operation Error: Incompatable Data Types\n"
            "  One operand was stn data, other was grid\n");
  kafree(&a);
  kafree(&b);
}
