// Every "set mproj" word through the command language: the projection code
// "q gxinfo" then prints, the plot area the projection's page fitting gives,
// and the fall-back to lat-lon when a projection refuses its box.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/vemra_run.h"

using vemra_test::next_answer;
using vemra_test::run_batch;
using vemra_test::TempDir;

namespace {

const std::string sample = std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl";

// The line of text that starts with key, or "".
std::string line_of(const std::string& text, const std::string& key) {
  size_t p = text.find(key);
  if (p == std::string::npos) return "";
  return text.substr(p, text.find('\n', p) - p);
}

}  // namespace

// The documented words and codes; each projection drawn over a box it takes.
TEST(MprojWords, EachWordSetsItsCodeAndDrawsWithoutRefusal) {
  const struct {
    const char* word;
    int code;
    const char* box;  // set lon and set lat
  } words[] = {
      {"off", 0, "0 60\nset lat 0 40"},
      {"scaled", 1, "0 60\nset lat 0 40"},
      {"latlon", 2, "0 60\nset lat 0 40"},
      {"nps", 3, "0 360\nset lat 20 90"},
      {"sps", 4, "0 360\nset lat -90 -20"},
      {"robinson", 5, "-180 180\nset lat -90 90"},
      {"mollweide", 6, "-180 180\nset lat -90 90"},
      {"orthogr", 7, "-90 90\nset lat -90 90"},
      {"orthographic", 7, "0 180\nset lat -90 90"},
      {"ortho", 7, "-180 0\nset lat -90 90"},
      {"lambert", 13, "200 300\nset lat 20 70"},
  };
  TempDir dir;
  std::string in = "open " + sample + "\nset lev 500\n";
  for (const auto& w : words)
    in += "c\nset mproj " + std::string(w.word) + "\nset lon " + w.box + "\nd t\nq gxinfo\n";
  const std::string out = run_batch(in, dir.path()).out;
  size_t at = 0;
  for (const auto& w : words) {
    EXPECT_EQ(next_answer(out, "set mproj " + std::string(w.word), &at), "") << w.word;
    const std::string drawn = next_answer(out, "d t", &at);
    EXPECT_EQ(drawn.find("Map Projection Error"), std::string::npos) << w.word << ": " << drawn;
    const std::string info = next_answer(out, "q gxinfo", &at);
    EXPECT_EQ(line_of(info, "Mproj = "), "Mproj = " + std::to_string(w.code)) << w.word;
    EXPECT_EQ(line_of(info, "Last Graphic = "), "Last Graphic = Contour") << w.word;
  }
}

// The page area 11 by 8.5 less the margins (0.5 left and right, 0.75 top
// and bottom) is 10 by 7 inches. Scaled and off fill it; lat-lon keeps a
// latitude degree 1.2 longitude degrees: a 60 by 40 degree box is 0.8 high
// for 1 wide against the area's 0.7, so it is 7 inches high and 7 / 0.8 =
// 8.75 wide, centred at 5.5. Refused boxes fall back to that lat-lon fit and
// name the projection; unknown words are refused and change nothing.
TEST(MprojWords, PageFittingAndRefusals) {
  TempDir dir;
  const std::string box = "set lon 0 60\nset lat 0 40\n";
  const std::string out =
      run_batch("open " + sample + "\nset lev 500\n" + box +
                    "set mproj scaled\nd t\nq gxinfo\nc\nset mproj off\nd t+1\nq gxinfo\nc\n"
                    "set mproj latlon\nd t+2\nq gxinfo\nc\nset mproj nps\nset lat -90 -30\n"
                    "d t+3\nq gxinfo\nc\nset mproj lambert\nset lat -10 40\nd t+4\nq gxinfo\n"
                    "set mproj mercator\nq gxinfo\n",
                dir.path())
          .out;
  size_t at = 0;
  const std::string page = "X Limits = 0.5 to 10.5\nY Limits = 0.75 to 7.75\n";
  const std::string latlon = "X Limits = 1.125 to 9.875\nY Limits = 0.75 to 7.75\n";
  for (const char* display : {"d t", "d t+1", "d t+2"}) {
    next_answer(out, display, &at);
    const std::string info = next_answer(out, "q gxinfo", &at);
    const std::string want = std::string(display) == "d t+2" ? latlon : page;
    EXPECT_NE(info.find(want), std::string::npos) << display << ": " << info;
  }
  // North polar stereographic refuses a box reaching the south pole.
  std::string drawn = next_answer(out, "d t+3", &at);
  EXPECT_EQ(drawn.rfind("Map Projection Error:  Invalid coords for NPS\n"
                        "  Will use linear lat-lon projection\nContouring",
                        0),
            0u)
      << drawn;
  std::string info = next_answer(out, "q gxinfo", &at);
  EXPECT_NE(info.find("Mproj = 3\n"), std::string::npos) << info;
  EXPECT_EQ(info.find("X Limits = 0.5 to 10.5\n"), std::string::npos) << info;
  // Lambert refuses a box across the equator with its own reason first.
  drawn = next_answer(out, "d t+4", &at);
  EXPECT_EQ(drawn.rfind("Map Projection Error:  Latitude must be in range -90 0 or 0 90\n"
                        "Map Projection Error:  Invalid coords for Lambert conformal Projection\n"
                        "  Will use linear lat-lon projection\n",
                        0),
            0u)
      << drawn;
  EXPECT_EQ(next_answer(out, "set mproj mercator", &at),
            "SET error:  Missing or invalid arguments for MPROJ option\n");
  EXPECT_NE(next_answer(out, "q gxinfo", &at).find("Mproj = 13\n"), std::string::npos);
}
