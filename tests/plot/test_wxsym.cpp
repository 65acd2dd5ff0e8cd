// Weather symbols: strokes placed and scaled from their tables, colours by
// class, the circles of the last four symbols.
#include <gtest/gtest.h>

#include <cmath>

#include "plot/drawn.h"
#include "plot/station.h"

namespace {

using drawn::near;
using drawn::only;

const int kColours[5] = {21, 22, 23, 24, 25};

TEST(WeatherSymbol, StrokesScaledAndPlacedByElement) {
  drawn::new_page();
  // Symbol 12 at (5, 4), size 2: the wide wave at the origin and two
  // circles of radius 0.1 at (-0.175, -0.1) and (0.175, 0.1).
  wxsym(5, 4, 2, 12, 4, kColours);
  std::vector<drawn::op> pen = only(drawn::frame(), "md");
  ASSERT_EQ(pen.size(), 40u);
  EXPECT_TRUE(near(pen[0], 'm', 4.3f, 3.7f));     // -0.35, -0.15
  EXPECT_TRUE(near(pen[6], 'd', 4.9f, 4.2f));     // -0.05, 0.1
  EXPECT_TRUE(near(pen[13], 'd', 5.7f, 4.3f));    // 0.35, 0.15
  EXPECT_TRUE(near(pen[14], 'm', 4.45f, 3.8f));   // circle 1 at its left point
  EXPECT_TRUE(near(pen[17], 'd', 4.65f, 4.0f));   // its top
  EXPECT_TRUE(near(pen[26], 'd', 4.45f, 3.8f));   // closed
  EXPECT_TRUE(near(pen[27], 'm', 5.15f, 4.2f));   // circle 2 at its left point
  EXPECT_TRUE(near(pen[36], 'd', 5.35f, 4.0f));   // its bottom

  // The primitive alone: the asterisk, three strokes.
  drawn::new_page();
  wxprim(1, 1, 1, 0);
  pen = only(drawn::frame(), "md");
  ASSERT_EQ(pen.size(), 6u);
  EXPECT_TRUE(near(pen[0], 'm', 0.85f, 1.1f));
  EXPECT_TRUE(near(pen[1], 'd', 1.15f, 0.9f));
  EXPECT_TRUE(near(pen[5], 'd', 1.0f, 0.825f));
}

TEST(WeatherSymbol, ColourClasses) {
  auto colours_of = [](int n, int colour) {
    drawn::new_page();
    wxsym(3, 3, 1, n, colour, kColours);
    std::vector<int> c;
    for (const drawn::op& o : only(drawn::frame(), "c"))
      if (c.empty() || c.back() != int(o.x)) c.push_back(int(o.x));
    return c;
  };
  // Snow over the bracket: each primitive its own class.
  EXPECT_EQ(colours_of(8, -1), (std::vector<int>{21, 22}));
  // Symbols whose class overrides their primitives'.
  EXPECT_EQ(colours_of(25, -1), (std::vector<int>{21}));
  EXPECT_EQ(colours_of(14, -1), (std::vector<int>{22}));
  EXPECT_EQ(colours_of(19, -1), (std::vector<int>{23}));
  // Fog and thunder take class 3 and 4 of their primitives.
  EXPECT_EQ(colours_of(34, -1), (std::vector<int>{24}));
  EXPECT_EQ(colours_of(35, -1), (std::vector<int>{25}));
  // A colour number wins.
  EXPECT_EQ(colours_of(8, 6), (std::vector<int>{6}));
}

TEST(WeatherSymbol, CirclesOfTheLastSymbolsAndTheRange) {
  // 41: the arcs and a filled circle of diameter 0.4 size at the origin.
  drawn::new_page();
  wxsym(4, 4, 0.5f, 41, 1, kColours);
  std::vector<drawn::op> all = drawn::frame();
  std::vector<drawn::op> fill = only(all, "p");
  ASSERT_EQ(fill.size(), 1u);
  EXPECT_NEAR(std::hypot(fill[0].x - 4, fill[0].y - 4), 0.1f, 0.002f);
  std::vector<drawn::op> pen = only(all, "md");
  ASSERT_EQ(pen.size(), 14u);
  EXPECT_TRUE(near(pen[0], 'm', 3.9f, 4.0f));   // primitive 19 from -0.2, 0
  EXPECT_TRUE(near(pen[6], 'd', 4.025f, 4.25f));

  // 42 and 43 share their element (primitive 20); 43 closes with a filled
  // circle, 42 with an open one drawn by the pen.
  drawn::new_page();
  wxsym(4, 4, 0.5f, 43, 1, kColours);
  all = drawn::frame();
  EXPECT_EQ(only(all, "p").size(), 1u);
  EXPECT_TRUE(near(only(all, "md")[6], 'd', 4.025f, 3.75f));
  drawn::new_page();
  wxsym(4, 4, 0.5f, 42, 1, kColours);
  all = drawn::frame();
  EXPECT_TRUE(only(all, "p").empty());
  pen = only(all, "md");
  ASSERT_GT(pen.size(), 14u);
  EXPECT_NEAR(std::hypot(pen.back().x - 4, pen.back().y - 4), 0.1f, 0.002f);

  for (int n : {0, 44, -3}) {
    drawn::new_page();
    wxsym(4, 4, 0.5f, n, 1, kColours);
    EXPECT_TRUE(only(drawn::frame(), "mdp").empty()) << n;
  }
  EXPECT_FLOAT_EQ(symin(9), -0.45f);
  EXPECT_FLOAT_EQ(symax(9), 0.6f);
  EXPECT_FLOAT_EQ(sxwid(12), 0.7f);
  EXPECT_FLOAT_EQ(sxwid(40), 0.0f);
}

}  // namespace
