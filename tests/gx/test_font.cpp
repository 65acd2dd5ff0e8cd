// Stroke fonts: the generated font files, glyph geometry as recorded in the
// display list, escapes, widths, and load failures.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "gx/font.h"
#include "gx/gx.h"
#include "gx/metafile.h"
#include "gx/test_drawing_util.h"
#include "support/vemra_run.h"

using vemra_test::TempDir;
using vemra_test::write_file;

namespace {

std::vector<std::string> read_lines(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) out.push_back(line);
  return out;
}

std::string font_file(int n) {
  return std::string(VEMRA_DATA_DIR) + "/font" + std::to_string(n) + ".dat";
}

// One glyph as the test reads it from the font file.
struct test_glyph {
  int left = 0, right = 0;
  std::vector<std::pair<int, int>> pairs;  // (x, y); x == 999 lifts the pen
};

test_glyph parse_glyph(const std::string& line) {
  test_glyph g;
  int count = std::atoi(line.substr(0, 3).c_str());
  g.left = line[3] - 'R';
  g.right = line[4] - 'R';
  for (int k = 0; k < count - 1; ++k) {
    char a = line[5 + 2 * k], b = line[6 + 2 * k];
    if (a == ' ') g.pairs.push_back({999, 0});
    else g.pairs.push_back({a - 'R', b - 'R'});
  }
  return g;
}

test_glyph glyph_of(int font, int ch) {
  auto lines = read_lines(font_file(font));
  return parse_glyph(lines.at(ch - 32));
}

struct stroke {
  bool draw;
  double x, y;
};

// Expected strokes of one glyph, and the advance, from the drawing rules:
// scales width/21 and height/22 (0.45 of them raised or lowered), origin at
// half the advance and 0.42 of the height up, y of the glyph downward.
double expect_glyph(std::vector<stroke>* out, int font, int ch, double x, double y, double h,
                    double w, double angle, int mode) {
  test_glyph g = glyph_of(font, ch);
  double sx = w / 21, sy = h / 22, off = 0;
  if (mode != 0) {
    sx *= 0.45;
    sy *= 0.45;
    off = mode == 1 ? 0.35 * h : -0.42 * h;
  }
  double adv = (g.right - g.left) * sx * 1.05;
  double a = angle * 3.1416 / 180;
  double c = std::cos(a), s = std::sin(a);
  double ox = x + (adv / 2) * c - (0.42 * h + off) * s;
  double oy = y + (adv / 2) * s + (0.42 * h + off) * c;
  bool lift = true;
  for (auto [px, py] : g.pairs) {
    if (px == 999) {
      lift = true;
      continue;
    }
    double vx = px * sx, vy = -py * sy;
    out->push_back({!lift, ox + vx * c - vy * s, oy + vx * s + vy * c});
    lift = false;
  }
  return adv;
}

std::vector<stroke> recorded() {
  struct sink : metafile_sink {
    std::vector<stroke> s;
    void move(float x, float y) override { s.push_back({false, x, y}); }
    void draw(float x, float y) override { s.push_back({true, x, y}); }
  } k;
  EXPECT_EQ(gxhwalk(0, k), 0);
  return k.s;
}

void expect_same(const std::vector<stroke>& got, const std::vector<stroke>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].draw, want[i].draw) << i;
    // The display list keeps thousandths of an inch.
    EXPECT_NEAR(got[i].x, want[i].x, 0.0011) << i;
    EXPECT_NEAR(got[i].y, want[i].y, 0.0011) << i;
  }
}

class FontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* k = std::getenv("KADDIR");
    saved_ = k ? k : "";
    had_ = k != nullptr;
    setenv("KADDIR", VEMRA_DATA_DIR, 1);
    gxtest::fresh_page();
  }
  void TearDown() override {
    if (had_) setenv("KADDIR", saved_.c_str(), 1);
    else unsetenv("KADDIR");
    gxchii();
  }
  std::string saved_;
  bool had_ = false;
};

const char* const kSources[10] = {"rowmans", "timesr", "timesi",  "greeks", "rowmand",
                                  "symbolic", "scripts", "timesrb", "greekc", "rowmant"};

TEST(FontFiles, NinetyFiveGlyphLinesTakenFromTheirSources) {
  for (int n = 0; n < 10; ++n) {
    auto lines = read_lines(font_file(n));
    ASSERT_EQ(lines.size(), 95u) << "font " << n;
    auto src = read_lines(std::string("/usr/share/hershey-fonts/") + kSources[n] + ".jhf");
    ASSERT_GE(src.size(), 95u);
    for (int k = 0; k < 95; ++k) {
      const std::string& l = lines[k];
      ASSERT_GE(l.size(), 5u) << n << "/" << k;
      // Blank-padded count in three columns, then exactly that many pairs.
      std::string cnt = l.substr(0, 3);
      size_t digits = cnt.find_first_not_of(' ');
      ASSERT_NE(digits, std::string::npos);
      EXPECT_EQ(cnt.find_first_not_of("0123456789", digits), std::string::npos) << cnt;
      EXPECT_EQ(l.size(), 3 + 2 * static_cast<size_t>(std::atoi(cnt.c_str()))) << n << "/" << k;
      EXPECT_EQ(l, src[k].substr(5)) << n << "/" << k;
    }
  }
}

TEST_F(FontTest, GlyphGeometryUnrotatedAndRotated) {
  gxchpl("A", 1, 1.0f, 2.0f, 0.3f, 0.2f, 0.0f);
  std::vector<stroke> want;
  expect_glyph(&want, 0, 'A', 1, 2, 0.3, 0.2, 0, 0);
  ASSERT_FALSE(want.empty());
  expect_same(recorded(), want);

  gxfrme(1);
  gxchpl("Rg", 2, 5.0f, 3.0f, 0.4f, 0.3f, 90.0f);
  want.clear();
  double adv = expect_glyph(&want, 0, 'R', 5, 3, 0.4, 0.3, 90, 0);
  // The second glyph starts one advance further along the angle.
  expect_glyph(&want, 0, 'g', 5 + adv * std::cos(90 * 3.1416 / 180),
               3 + adv * std::sin(90 * 3.1416 / 180), 0.4, 0.3, 90, 0);
  expect_same(recorded(), want);

  gxfrme(1);
  gxchpl("Q", 1, 4.0f, 4.0f, 0.5f, 0.5f, 30.0f);
  want.clear();
  expect_glyph(&want, 0, 'Q', 4, 4, 0.5, 0.5, 30, 0);
  expect_same(recorded(), want);
}

TEST_F(FontTest, FontChangeEscapes) {
  const char* s = "`1A`2B";
  gxchpl(s, 6, 1.0f, 1.0f, 0.25f, 0.25f, 0.0f);
  std::vector<stroke> want;
  double adv = expect_glyph(&want, 1, 'A', 1, 1, 0.25, 0.25, 0, 0);
  expect_glyph(&want, 2, 'B', 1 + adv, 1, 0.25, 0.25, 0, 0);
  expect_same(recorded(), want);
  // The font does not carry over to the next call.
  gxfrme(1);
  gxchpl("B", 1, 1.0f, 1.0f, 0.25f, 0.25f, 0.0f);
  want.clear();
  expect_glyph(&want, 0, 'B', 1, 1, 0.25, 0.25, 0, 0);
  expect_same(recorded(), want);
}

TEST_F(FontTest, SuperscriptAndSubscript) {
  gxchpl("x`a2`nx`by", 10, 1.0f, 1.0f, 0.3f, 0.3f, 0.0f);
  std::vector<stroke> want;
  double x = 1;
  x += expect_glyph(&want, 0, 'x', x, 1, 0.3, 0.3, 0, 0);
  x += expect_glyph(&want, 0, '2', x, 1, 0.3, 0.3, 0, 1);
  x += expect_glyph(&want, 0, 'x', x, 1, 0.3, 0.3, 0, 0);
  expect_glyph(&want, 0, 'y', x, 1, 0.3, 0.3, 0, 2);
  expect_same(recorded(), want);

  // The 2 is 0.45 of the size: its extent in y is 0.45 that of a normal 2.
  gxfrme(1);
  gxchpl("2`a2", 4, 1.0f, 1.0f, 0.3f, 0.3f, 0.0f);
  auto got = recorded();
  ASSERT_EQ(got.size() % 2, 0u);
  size_t half = got.size() / 2;
  auto span = [&](size_t from, size_t to, double* lo) {
    double a = 1e9, b = -1e9;
    for (size_t i = from; i < to; ++i) {
      a = std::min(a, got[i].y);
      b = std::max(b, got[i].y);
    }
    *lo = a;
    return b - a;
  };
  double lo1, lo2;
  double h1 = span(0, half, &lo1), h2 = span(half, got.size(), &lo2);
  EXPECT_NEAR(h2, 0.45 * h1, 0.003);
}

TEST_F(FontTest, BackquotesLengthAndOddCharacters) {
  // A lone trailing backquote is a glyph; a backquote before another
  // character is drawn too.
  gxchpl("A`", 2, 1.0f, 1.0f, 0.2f, 0.2f, 0.0f);
  std::vector<stroke> want;
  double adv = expect_glyph(&want, 0, 'A', 1, 1, 0.2, 0.2, 0, 0);
  expect_glyph(&want, 0, '`', 1 + adv, 1, 0.2, 0.2, 0, 0);
  expect_same(recorded(), want);

  gxfrme(1);
  gxchpl("`xA", 3, 1.0f, 1.0f, 0.2f, 0.2f, 0.0f);
  want.clear();
  adv = expect_glyph(&want, 0, '`', 1, 1, 0.2, 0.2, 0, 0);
  adv += expect_glyph(&want, 0, 'x', 1 + adv, 1, 0.2, 0.2, 0, 0);
  expect_glyph(&want, 0, 'A', 1 + adv, 1, 0.2, 0.2, 0, 0);
  expect_same(recorded(), want);

  // The length stops the string inside it.
  gxfrme(1);
  gxchpl("ABC", 2, 1.0f, 1.0f, 0.2f, 0.2f, 0.0f);
  want.clear();
  adv = expect_glyph(&want, 0, 'A', 1, 1, 0.2, 0.2, 0, 0);
  expect_glyph(&want, 0, 'B', 1 + adv, 1, 0.2, 0.2, 0, 0);
  expect_same(recorded(), want);

  // Characters outside 32..126 draw as a blank (nothing) and advance as one.
  gxfrme(1);
  const char odd[] = {'\x7f', static_cast<char>(200), 'A', 0};
  gxchpl(odd, 3, 1.0f, 1.0f, 0.2f, 0.2f, 0.0f);
  want.clear();
  test_glyph blank = glyph_of(0, ' ');
  EXPECT_TRUE(blank.pairs.empty());
  double bw = (blank.right - blank.left) * (0.2 / 21) * 1.05;
  expect_glyph(&want, 0, 'A', 1 + 2 * bw, 1, 0.2, 0.2, 0, 0);
  expect_same(recorded(), want);
}

TEST_F(FontTest, WidthsMeasuredExactly) {
  auto ext = [](int font, int ch) {
    test_glyph g = glyph_of(font, ch);
    return g.right - g.left;
  };
  const double w = 0.2;
  float len = -5;
  ASSERT_EQ(gxchln("AB", 2, 0.2f, &len), 0);
  EXPECT_NEAR(len, (ext(0, 'A') + ext(0, 'B')) * w / 21 * 1.05, 1e-5);

  ASSERT_EQ(gxchln("`3ab`a1`b2`n", 12, 0.2f, &len), 0);
  EXPECT_NEAR(len,
              (ext(3, 'a') + ext(3, 'b')) * w / 21 * 1.05 +
                  (ext(3, '1') + ext(3, '2')) * 0.45 * w / 21 * 1.05,
              1e-5);

  ASSERT_EQ(gxchln("A`", 2, 0.2f, &len), 0);
  EXPECT_NEAR(len, (ext(0, 'A') + ext(0, '`')) * w / 21 * 1.05, 1e-5);

  ASSERT_EQ(gxchln("ABCD", 1, 0.2f, &len), 0);
  EXPECT_NEAR(len, ext(0, 'A') * w / 21 * 1.05, 1e-5);

  ASSERT_EQ(gxchln("\x7f", 1, 0.2f, &len), 0);
  EXPECT_NEAR(len, ext(0, ' ') * w / 21 * 1.05, 1e-5);

  // The default font applies from the start of every string.
  gxchdf(7);
  ASSERT_EQ(gxchln("A", 1, 0.2f, &len), 0);
  EXPECT_NEAR(len, ext(7, 'A') * w / 21 * 1.05, 1e-5);
  gxchdf(12);  // ignored
  ASSERT_EQ(gxchln("A", 1, 0.2f, &len), 0);
  EXPECT_NEAR(len, ext(7, 'A') * w / 21 * 1.05, 1e-5);
  gxchii();
  ASSERT_EQ(gxchln("A", 1, 0.2f, &len), 0);
  EXPECT_NEAR(len, ext(0, 'A') * w / 21 * 1.05, 1e-5);
  ASSERT_NE(ext(0, 'A'), ext(7, 'A'));
}

TEST_F(FontTest, MissingFontIsReportedOnEveryUse) {
  TempDir dir;
  setenv("KADDIR", dir.path().c_str(), 1);
  gxchii();
  std::string want = "Error opening stroke character data set \n  Data set names = " +
                     dir.path() + "/font4.dat ; font4.dat\n";
  for (int attempt = 0; attempt < 2; ++attempt) {
    float len = -1;
    testing::internal::CaptureStdout();
    int rc = gxchln("`4A", 3, 0.2f, &len);
    std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(rc, 1);
    EXPECT_EQ(len, 0.0f);
    EXPECT_EQ(out, want);
  }
  // Drawing stops at the first character of the missing font.
  setenv("KADDIR", VEMRA_DATA_DIR, 1);
  gxchpl("A", 1, 1.0f, 1.0f, 0.2f, 0.2f, 0.0f);  // font 0 loads from the real directory
  setenv("KADDIR", dir.path().c_str(), 1);
  testing::internal::CaptureStdout();
  gxchpl("A`4BC", 5, 3.0f, 1.0f, 0.2f, 0.2f, 0.0f);
  testing::internal::GetCapturedStdout();
  std::vector<stroke> want_s;
  expect_glyph(&want_s, 0, 'A', 1, 1, 0.2, 0.2, 0, 0);
  expect_glyph(&want_s, 0, 'A', 3, 1, 0.2, 0.2, 0, 0);
  expect_same(recorded(), want_s);
}

TEST_F(FontTest, ShortFontFileIsALoadFailure) {
  TempDir dir;
  std::string text;
  for (int i = 0; i < 94; ++i) text += "  3JZRRTT\r\n";
  write_file(dir.file("font6.dat"), text);
  setenv("KADDIR", dir.path().c_str(), 1);
  gxchii();
  gxchdf(6);
  float len = -1;
  testing::internal::CaptureStdout();
  EXPECT_EQ(gxchln("A", 1, 0.21f, &len), 1);
  std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("Error reading font data"), std::string::npos) << out;

  // One more line (and line ends of any kind) make it a font.
  write_file(dir.file("font6.dat"), text + "  3JZRRTT");
  EXPECT_EQ(gxchln("A", 1, 0.21f, &len), 0);
  EXPECT_NEAR(len, 16 * 0.01 * 1.05, 1e-6);
}

TEST_F(FontTest, GlyphWalkStopsAtTheEndOfItsLine) {
  // 'A' promises 20 pairs but its line holds two; the walk must not run on
  // into the next glyph line.
  TempDir dir;
  std::string text;
  for (int c = 32; c < 127; ++c) text += (c == 'A') ? " 20NVRRVV\n" : "  2NVRVRV\n";
  write_file(dir.file("font9.dat"), text);
  setenv("KADDIR", dir.path().c_str(), 1);
  gxchii();
  gxchpl("`9A", 3, 2.0f, 2.0f, 0.22f, 0.21f, 0.0f);
  // Scales 0.01; advance 8 * 0.01 * 1.05; origin (2 + adv / 2, 2 + 0.42 * 0.22).
  double ox = 2 + 0.084 / 2, oy = 2 + 0.42 * 0.22;
  expect_same(recorded(), {{false, ox, oy}, {true, ox + 0.04, oy - 0.04}});
}

}  // namespace
