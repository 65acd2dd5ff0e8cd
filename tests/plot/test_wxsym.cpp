// Weather symbols: colours by class and the circles of the last symbols
// (the program's draw test places a symbol's strokes).
#include <gtest/gtest.h>

#include "plot/station.h"
#include "plot/stnfixture.h"

namespace {

using stntest::frame;
using stntest::near;

const int kColours[5] = {21, 22, 23, 24, 25};

TEST(WeatherSymbol, ColourClasses) {
  auto colours_of = [](int n, int colour) {
    stntest::new_page();
    wxsym(3, 3, 1, n, colour, kColours);
    std::vector<int> c;
    for (const stntest::op& o : frame("md"))
      if (c.empty() || c.back() != o.colour) c.push_back(o.colour);
    return c;
  };
  EXPECT_EQ(colours_of(8, -1), (std::vector<int>{21, 22}));  // each primitive its own
  EXPECT_EQ(colours_of(35, -1), (std::vector<int>{25}));     // the class set by the symbol
  EXPECT_EQ(colours_of(8, 6), (std::vector<int>{6}));
}

TEST(WeatherSymbol, CirclesOfTheLastSymbolsAndTheRange) {
  // 41 and 43: arcs and a filled circle of diameter 0.4 size at the origin.
  for (int n : {41, 43}) {
    stntest::new_page();
    wxsym(4, 4, 0.5f, n, 1, kColours);
    std::vector<stntest::op> fill = frame("p"), pen = frame("md");
    ASSERT_EQ(fill.size(), 1u);
    EXPECT_NEAR(std::hypot(fill[0].x - 4, fill[0].y - 4), 0.1f, 0.002f);
    ASSERT_EQ(pen.size(), 14u);
    EXPECT_TRUE(near(pen[6], 'd', 4.025f, n == 41 ? 4.25f : 3.75f));
  }
  for (int n : {0, 44}) {
    stntest::new_page();
    wxsym(4, 4, 0.5f, n, 1, kColours);
    EXPECT_TRUE(frame("mdp").empty()) << n;
  }
}

}  // namespace
