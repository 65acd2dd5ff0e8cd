// Stroke fonts: the generated font files, glyph geometry as recorded in the
// display list (literal strokes of a font made here, worked out by hand, and
// the real fonts through composition, rotation and scaling), escapes,
// widths, and load failures.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "gx/gx.h"
#include "gx/test_drawing_util.h"
#include "support/stdout_capture.h"
#include "support/vemra_run.h"

namespace {

std::vector<std::string> read_lines(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::vector<std::string> out;
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

struct stroke {
  bool draw;
  double x, y;
};

// The strokes of the frame; the frame is then cleared.
std::vector<stroke> recorded() {
  std::vector<stroke> s;
  for (const gxtest::rec& r : gxtest::records("md")) s.push_back({r.kind == 'd', r.x, r.y});
  gxfrme(frame_action::clear);
  return s;
}

std::vector<stroke> drawn(const std::string& s, float x, float y, float h, float w,
                          float angle = 0) {
  gxchpl(s.c_str(), static_cast<int>(s.size()), x, y, h, w, angle);
  return recorded();
}

float length(const std::string& s, float w = 0.2f) {
  float out = -5;
  EXPECT_EQ(gxchln(s.c_str(), static_cast<int>(s.size()), w, &out), 0) << s;
  return out;
}

void expect_same(const std::vector<stroke>& got, const std::vector<stroke>& want) {
  ASSERT_FALSE(want.empty());
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].draw, want[i].draw) << i;
    EXPECT_NEAR(got[i].x, want[i].x, 0.0021) << i;  // stored in thousandths
    EXPECT_NEAR(got[i].y, want[i].y, 0.0021) << i;
  }
}

class FontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("KADDIR", VEMRA_DATA_DIR, 1);
    gxtest::fresh_page();
  }
  void TearDown() override {
    setenv("KADDIR", VEMRA_DATA_DIR, 1);
    gxchii();
  }
  // Makes dir the data directory and forgets the loaded fonts.
  void use(const vemra_test::TempDir& dir) {
    setenv("KADDIR", dir.path().c_str(), 1);
    gxchii();
  }
};

TEST(FontFiles, NinetyFiveGlyphLinesTakenFromTheirSources) {
  const char* src[10] = {"rowmans",  "timesr",  "timesi",  "greeks", "rowmand",
                         "symbolic", "scripts", "timesrb", "greekc", "rowmant"};
  for (int n = 0; n < 10; ++n) {
    auto lines = read_lines(std::string(VEMRA_DATA_DIR) + "/font" + std::to_string(n) + ".dat");
    auto from = read_lines(std::string("/usr/share/hershey-fonts/") + src[n] + ".jhf");
    ASSERT_EQ(lines.size(), 95u) << n;
    for (int k = 0; k < 95; ++k) {
      const std::string& l = lines[k];
      // A blank-padded count in three columns, then exactly that many pairs.
      EXPECT_EQ(l.size(), 3 + 2 * static_cast<size_t>(std::atoi(l.substr(0, 3).c_str())))
          << n << "/" << k;
      EXPECT_EQ(l, from.at(k).substr(5)) << n << "/" << k;
    }
  }
}

TEST_F(FontTest, StrokesOfAHandMadeFont) {
  // 'A' spans N..V (8 units) with a stroke from (R, R) to (V, V); 'B' spans
  // R..V (4 units) with a stroke from (R, R) to (V, R); the rest are empty
  // 8-unit glyphs. Height 0.22 and width 0.21 make a unit 0.01 inch both
  // ways; a glyph advances its span times 1.05 and its strokes start half an
  // advance along and 0.42 of the height up, glyph y pointing down.
  vemra_test::TempDir dir;
  std::string text;
  for (int c = 32; c < 127; ++c)
    text += c == 'A' ? "  3NVRRVV\n" : c == 'B' ? "  3RVRRVR\n" : "  1NV\n";
  vemra_test::write_file(dir.file("font9.dat"), text);
  use(dir);
  // Advances 0.084 and 0.042; origins (2.042, 2.0924) and (2.105, 2.0924).
  expect_same(drawn("`9AB", 2, 2, 0.22f, 0.21f), {{false, 2.042, 2.0924},
                                                  {true, 2.082, 2.0524},
                                                  {false, 2.105, 2.0924},
                                                  {true, 2.145, 2.0924}});
  // Raised: 0.45 of the size, 0.35 of the height higher (advance 0.0378).
  expect_same(drawn("`9B`aA", 2, 2, 0.22f, 0.21f), {{false, 2.021, 2.0924},
                                                    {true, 2.061, 2.0924},
                                                    {false, 2.0609, 2.1694},
                                                    {true, 2.0789, 2.1514}});
  EXPECT_NEAR(length("`9AB", 0.21f), 0.126, 1e-6);
  // 'A' promises more pairs than its line holds: nothing is taken from the
  // next line.
  text.replace(text.find("  3NVRRVV"), 9, " 20NVRRVV");
  vemra_test::write_file(dir.file("font8.dat"), text);
  expect_same(drawn("`8A", 2, 2, 0.22f, 0.21f), {{false, 2.042, 2.0924}, {true, 2.082, 2.0524}});
}

TEST_F(FontTest, RealFontsTurnAndScale) {
  // Turned by 30 degrees about (5, 3), and twice the size.
  std::vector<stroke> flat = drawn("Rg", 5, 3, 0.4f, 0.3f),
                      turned = drawn("Rg", 5, 3, 0.4f, 0.3f, 30);
  std::vector<stroke> big = drawn("Rg", 5, 3, 0.8f, 0.6f), want, twice;
  const double c = std::cos(M_PI / 6), s = std::sin(M_PI / 6);
  for (const stroke& p : flat) {
    double dx = p.x - 5, dy = p.y - 3;
    want.push_back({p.draw, 5 + dx * c - dy * s, 3 + dx * s + dy * c});
    twice.push_back({p.draw, 5 + 2 * dx, 3 + 2 * dy});
  }
  expect_same(turned, want);
  expect_same(big, twice);
}

TEST_F(FontTest, EscapesAndWidths) {
  // Font escapes are the same as drawing each part in its font.
  std::vector<stroke> mixed = drawn("`1A`2B", 1, 1, 0.25f, 0.25f),
                      parts = drawn("`1A", 1, 1, 0.25f, 0.25f);
  std::vector<stroke> b = drawn("`2B", 1 + length("`1A", 0.25f), 1, 0.25f, 0.25f);
  parts.insert(parts.end(), b.begin(), b.end());
  expect_same(mixed, parts);

  EXPECT_NEAR(length("AB"), length("A") + length("B"), 1e-5);
  // Raised and lowered text is 0.45 of the width; `n ends it.
  EXPECT_NEAR(length("`3ab`a1`b2`n"), length("`3ab") + 0.45 * length("`312"), 1e-5);
  // A backquote at the end is a glyph; the length stops the string; 127 and
  // above count as a blank.
  EXPECT_NEAR(length("A`"), length("A") + length("`"), 1e-5);
  float one = -1;
  ASSERT_EQ(gxchln("ABCD", 1, 0.2f, &one), 0);
  EXPECT_NEAR(one, length("A"), 1e-6);
  EXPECT_NEAR(length("\x7f\xc8"), 2 * length(" "), 1e-6);
  // The default font starts every string; out-of-range numbers are ignored.
  ASSERT_NE(length("A"), length("`7A"));
  gxchdf(7);
  gxchdf(12);
  EXPECT_NEAR(length("A"), length("`7A"), 1e-6);
}

TEST_F(FontTest, MissingOrShortFontIsReportedOnEveryUseAndStopsTheString) {
  float l = 0;
  gxchln("A", 1, 0.2f, &l);  // font 0 loaded from the real directory
  std::vector<stroke> a = drawn("A", 3, 1, 0.2f, 0.2f);
  vemra_test::TempDir dir;
  setenv("KADDIR", dir.path().c_str(), 1);
  std::string msg = "Error opening stroke character data set \n  Data set names = " + dir.path() +
                    "/font4.dat ; font4.dat\n";
  for (int attempt = 0; attempt < 2; ++attempt) {
    float len = -1;
    StdoutCapture cap;
    EXPECT_EQ(gxchln("`4A", 3, 0.2f, &len), 1);
    EXPECT_EQ(cap.text(), msg);
    EXPECT_EQ(len, 0.0f);
  }
  StdoutCapture cap;
  gxchpl("A`4BC", 5, 3.0f, 1.0f, 0.2f, 0.2f, 0.0f);
  EXPECT_EQ(cap.text(), msg);
  expect_same(recorded(), a);

  // 94 lines are too few; one more (line ends of any kind) makes a font.
  std::string text;
  for (int i = 0; i < 94; ++i) text += "  3JZRRTT\r\n";
  vemra_test::write_file(dir.file("font6.dat"), text);
  use(dir);
  float len = -1;
  EXPECT_NE(stdout_of([&] {
              EXPECT_EQ(gxchln("`6A", 3, 0.21f, &len), 1);
            }).find("Error reading font data"),
            std::string::npos);
  vemra_test::write_file(dir.file("font6.dat"), text + "  3JZRRTT");
  EXPECT_NEAR(length("`6A", 0.21f), 0.168, 1e-6);  // 16 units of 0.01, times 1.05
}

}  // namespace
