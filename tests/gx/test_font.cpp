// Stroke fonts: the generated font files, glyph geometry as recorded in the
// display list, escapes, widths, and load failures.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "gx/gx.h"
#include "gx/test_drawing_util.h"
#include "support/vemra_run.h"

namespace {

std::vector<std::string> read_lines(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::vector<std::string> out;
  for (std::string l; std::getline(in, l);) out.push_back(l);
  return out;
}

std::string font_file(int n) { return std::string(VEMRA_DATA_DIR) + "/font" + std::to_string(n) + ".dat"; }

// Extent width of a glyph, read by the test from the font file.
int extent(int font, int ch) {
  std::string l = read_lines(font_file(font)).at(ch - 32);
  return l[4] - l[3];
}

struct stroke {
  bool draw;
  double x, y;
};

// Appends the strokes one glyph should give and returns its advance: scales
// width/21 and height/22 (times 0.45 raised (mode 1) or lowered (2) by 0.35
// or -0.42 of the height), origin half an advance along and 0.42 of the
// height up, glyph y downward, the whole turned by the angle.
double glyph(std::vector<stroke>* out, int font, int ch, double x, double y, double h, double w,
             double angle = 0, int mode = 0) {
  std::string l = read_lines(font_file(font)).at(ch - 32);
  double sx = w / 21, sy = h / 22, off = 0;
  if (mode) {
    sx *= 0.45;
    sy *= 0.45;
    off = mode == 1 ? 0.35 * h : -0.42 * h;
  }
  double adv = (l[4] - l[3]) * sx * 1.05, a = angle * 3.1416 / 180, c = std::cos(a), s = std::sin(a);
  double ox = x + adv / 2 * c - (0.42 * h + off) * s, oy = y + adv / 2 * s + (0.42 * h + off) * c;
  bool lift = true;
  for (int k = 0, n = std::atoi(l.substr(0, 3).c_str()) - 1; k < n; ++k) {
    char px = l[5 + 2 * k], py = l[6 + 2 * k];
    if (px == ' ') {
      lift = true;
      continue;
    }
    double vx = (px - 'R') * sx, vy = -(py - 'R') * sy;
    out->push_back({!lift, ox + vx * c - vy * s, oy + vx * s + vy * c});
    lift = false;
  }
  return adv;
}

// The strokes of the frame; the frame is then cleared.
std::vector<stroke> recorded() {
  std::vector<stroke> s;
  for (const gxtest::rec& r : gxtest::records("md")) s.push_back({r.kind == 'd', r.x, r.y});
  gxfrme(1);
  return s;
}

void expect_same(const std::vector<stroke>& got, const std::vector<stroke>& want) {
  ASSERT_FALSE(want.empty());
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].draw, want[i].draw) << i;
    EXPECT_NEAR(got[i].x, want[i].x, 0.0011) << i;  // stored in thousandths
    EXPECT_NEAR(got[i].y, want[i].y, 0.0011) << i;
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
  const char* src[10] = {"rowmans", "timesr",  "timesi",  "greeks", "rowmand",
                         "symbolic", "scripts", "timesrb", "greekc", "rowmant"};
  for (int n = 0; n < 10; ++n) {
    auto lines = read_lines(font_file(n));
    auto from = read_lines(std::string("/usr/share/hershey-fonts/") + src[n] + ".jhf");
    ASSERT_EQ(lines.size(), 95u) << n;
    for (int k = 0; k < 95; ++k) {
      const std::string& l = lines[k];
      // A blank-padded count in three columns, then exactly that many pairs.
      EXPECT_EQ(l.size(), 3 + 2 * static_cast<size_t>(std::atoi(l.substr(0, 3).c_str()))) << n << "/" << k;
      std::string c = l.substr(0, 3);
      size_t d = c.find_first_not_of(' ');
      EXPECT_TRUE(d < 3 && c.find_first_not_of("0123456789", d) == std::string::npos) << l;
      EXPECT_EQ(l, from.at(k).substr(5)) << n << "/" << k;
    }
  }
}

TEST_F(FontTest, GlyphGeometryInEveryFontAndAngle) {
  std::vector<stroke> want;
  for (int f = 0; f < 10; ++f) {
    std::string s = "`" + std::to_string(f) + "Ag";
    gxchpl(s.c_str(), 4, 1.0f, 2.0f, 0.3f, 0.2f, 0.0f);
    want.clear();
    double adv = glyph(&want, f, 'A', 1, 2, 0.3, 0.2);
    glyph(&want, f, 'g', 1 + adv, 2, 0.3, 0.2);
    expect_same(recorded(), want);
  }
  for (float angle : {90.0f, 30.0f}) {
    gxchpl("Rg", 2, 5.0f, 3.0f, 0.4f, 0.3f, angle);
    want.clear();
    double adv = glyph(&want, 0, 'R', 5, 3, 0.4, 0.3, angle), a = angle * 3.1416 / 180;
    glyph(&want, 0, 'g', 5 + adv * std::cos(a), 3 + adv * std::sin(a), 0.4, 0.3, angle);
    expect_same(recorded(), want);
  }
}

TEST_F(FontTest, EscapesBackquotesAndLength) {
  std::vector<stroke> want;
  double x = 1;
  gxchpl("`1A`2B", 6, 1.0f, 1.0f, 0.25f, 0.25f, 0.0f);
  x += glyph(&want, 1, 'A', x, 1, 0.25, 0.25);
  glyph(&want, 2, 'B', x, 1, 0.25, 0.25);
  expect_same(recorded(), want);

  gxchpl("x`a2`nx`by", 10, 1.0f, 1.0f, 0.3f, 0.3f, 0.0f);
  want.clear();
  x = 1;
  x += glyph(&want, 0, 'x', x, 1, 0.3, 0.3);
  x += glyph(&want, 0, '2', x, 1, 0.3, 0.3, 0, 1);
  x += glyph(&want, 0, 'x', x, 1, 0.3, 0.3);
  glyph(&want, 0, 'y', x, 1, 0.3, 0.3, 0, 2);
  expect_same(recorded(), want);

  // A backquote before anything else, or at the end, is a glyph; the
  // length stops the string; 127 and above draw (nothing) as a blank.
  gxchpl("`xAB`", 4, 1.0f, 1.0f, 0.2f, 0.2f, 0.0f);
  gxchpl("\x7f\xc8" "A`", 4, 1.0f, 3.0f, 0.2f, 0.2f, 0.0f);
  want.clear();
  x = 1;
  for (char c : std::string("`xAB")) x += glyph(&want, 0, c, x, 1, 0.2, 0.2);
  x = 1 + 2 * extent(0, ' ') * 0.2 / 21 * 1.05;
  x += glyph(&want, 0, 'A', x, 3, 0.2, 0.2);
  glyph(&want, 0, '`', x, 3, 0.2, 0.2);
  expect_same(recorded(), want);
}

TEST_F(FontTest, WidthsMeasuredExactly) {
  auto len = [](const char* s, int n) {
    float out = -5;
    EXPECT_EQ(gxchln(s, n, 0.2f, &out), 0);
    return out / (0.2 / 21 * 1.05);  // in glyph units
  };
  EXPECT_NEAR(len("AB", 2), extent(0, 'A') + extent(0, 'B'), 1e-4);
  EXPECT_NEAR(len("`3ab`a1`b2`n", 12),
              extent(3, 'a') + extent(3, 'b') + 0.45 * (extent(3, '1') + extent(3, '2')), 1e-4);
  EXPECT_NEAR(len("A`", 2), extent(0, 'A') + extent(0, '`'), 1e-4);
  EXPECT_NEAR(len("ABCD", 1), extent(0, 'A'), 1e-4);
  EXPECT_NEAR(len("\x7f", 1), extent(0, ' '), 1e-4);
  // The default font starts every string; out-of-range numbers are ignored.
  ASSERT_NE(extent(0, 'A'), extent(7, 'A'));
  gxchdf(7);
  gxchdf(12);
  EXPECT_NEAR(len("A", 1), extent(7, 'A'), 1e-4);
  gxchii();
  EXPECT_NEAR(len("A", 1), extent(0, 'A'), 1e-4);
}

TEST_F(FontTest, MissingFontIsReportedOnEveryUseAndStopsTheString) {
  float l = 0;
  gxchln("A", 1, 0.2f, &l);  // font 0 loaded from the real directory
  vemra_test::TempDir dir;
  setenv("KADDIR", dir.path().c_str(), 1);
  std::string msg = "Error opening stroke character data set \n  Data set names = " + dir.path() +
                    "/font4.dat ; font4.dat\n";
  for (int attempt = 0; attempt < 2; ++attempt) {
    float len = -1;
    testing::internal::CaptureStdout();
    EXPECT_EQ(gxchln("`4A", 3, 0.2f, &len), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), msg);
    EXPECT_EQ(len, 0.0f);
  }
  testing::internal::CaptureStdout();
  gxchpl("A`4BC", 5, 3.0f, 1.0f, 0.2f, 0.2f, 0.0f);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), msg);
  std::vector<stroke> want;
  glyph(&want, 0, 'A', 3, 1, 0.2, 0.2);
  expect_same(recorded(), want);
}

TEST_F(FontTest, ShortFontFileFailsAndGlyphWalkStopsAtItsLineEnd) {
  vemra_test::TempDir dir;
  std::string text;
  for (int i = 0; i < 94; ++i) text += "  3JZRRTT\r\n";
  vemra_test::write_file(dir.file("font6.dat"), text);
  use(dir);
  float len = -1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(gxchln("`6A", 3, 0.21f, &len), 1);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("Error reading font data"), std::string::npos);
  // One more line (line ends of any kind) makes it a font.
  vemra_test::write_file(dir.file("font6.dat"), text + "  3JZRRTT");
  EXPECT_EQ(gxchln("`6A", 3, 0.21f, &len), 0);
  EXPECT_NEAR(len, 16 * 0.01 * 1.05, 1e-6);

  // 'A' promises 20 pairs but its line holds two: nothing is taken from
  // the next line.
  text.clear();
  for (int c = 32; c < 127; ++c) text += (c == 'A') ? " 20NVRRVV\n" : "  2NVRVRV\n";
  vemra_test::write_file(dir.file("font9.dat"), text);
  gxchpl("`9A", 3, 2.0f, 2.0f, 0.22f, 0.21f, 0.0f);
  // Scales 0.01; advance 8 * 0.01 * 1.05; origin (2 + advance / 2, 2 + 0.42 * 0.22).
  double ox = 2 + 0.084 / 2, oy = 2 + 0.42 * 0.22;
  expect_same(recorded(), {{false, ox, oy}, {true, ox + 0.04, oy - 0.04}});
}

}  // namespace
