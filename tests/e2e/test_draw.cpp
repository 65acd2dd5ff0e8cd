// "draw" through the program: the display-list records each sub-command
// leaves in the hardcopy file, with the attributes of the "set" options.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/dataset_files.h"
#include "support/live_session.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

using Record = std::vector<int>;

// Words per record, by operation code.
int record_words(int code) {
  switch (code) {
    case -1:
    case -4:
    case -10:
    case -11: return 3;
    case -3:
    case -7: return 2;
    case -5:
    case -6: return 5;
    case -12: return 4;
    default: return 1;
  }
}

// The records of the first frame of a hardcopy file (header dropped, up to
// the new-frame record).
std::vector<Record> first_frame(const std::string& bytes) {
  std::vector<Record> out;
  size_t words = bytes.size() / 2;
  size_t i = 3;
  while (i < words) {
    int code = be16(bytes, 2 * i);
    if (code == -2 || code == -9) break;
    Record r;
    for (int k = 0; k < record_words(code) && i < words; k++, i++) r.push_back(be16(bytes, 2 * i));
    out.push_back(r);
  }
  return out;
}

struct Drawn {
  std::string out;
  std::vector<Record> records;
};

// Runs the commands with the hardcopy file open and returns the records of
// the frame they drew.
Drawn draw(const std::string& commands, const std::string& setup = "") {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 144, 2.5, 3, "zdef 1 levels 1000", 1, 1);
  RunResult r =
      run_batch(setup + "enable print d.meta\n" + commands + "print\ndisable print\n", dir.path());
  return {r.out, first_frame(read_file(dir.file("d.meta")))};
}

// Only the records with the given codes.
std::vector<Record> only(const std::vector<Record>& recs, std::initializer_list<int> codes) {
  std::vector<Record> out;
  for (const Record& r : recs)
    for (int c : codes)
      if (r[0] == c) out.push_back(r);
  return out;
}

// Records equal, coordinates allowed one thousandth of rounding.
void expect_records(const std::vector<Record>& got, const std::vector<Record>& want,
                    const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < got.size(); i++) {
    ASSERT_EQ(got[i].size(), want[i].size()) << what << " record " << i;
    EXPECT_EQ(got[i][0], want[i][0]) << what << " record " << i;
    for (size_t k = 1; k < got[i].size(); k++)
      EXPECT_NEAR(got[i][k], want[i][k], 1) << what << " record " << i << " word " << k;
  }
}

int mils(double inches) { return static_cast<int>(std::lround(inches * 1000)); }
Record mv(double x, double y) { return {-10, mils(x), mils(y)}; }
Record dr(double x, double y) { return {-11, mils(x), mils(y)}; }

TEST(Draw, RectangleAndLinesArePenPathsInTheLineColour) {
  Drawn d = draw("set line 2 1 5\ndraw rec 1 1 3 2\n");
  expect_records(only(d.records, {-3, -10, -11}),
                 {{-3, 2}, mv(1, 1), dr(3, 1), dr(3, 2), dr(1, 2), dr(1, 1)}, "rec");

  // Five numbers: one segment stays drawn, then the missing y is reported.
  d = draw("draw line 1 1 2 2 3\n");
  EXPECT_EQ(answer(d.out, "draw line 1 1 2 2 3"), "DRAW LINE error: Missing Y coordinate\n");
  expect_records(only(d.records, {-10, -11}), {mv(1, 1), dr(2, 2)}, "line");
}

// Words past what a sub-command takes: a last x without its y is reported
// and every pair before it drawn, the others are ignored; either way the
// command did its work, so a script sees 0 and a command file goes on. A
// word that is no number stops the line: what was asked was not drawn.
TEST(Draw, ExtraWordsAreIgnoredAndTheCommandSucceeds) {
  const std::string missing_y = "DRAW LINE error: Missing Y coordinate\n";
  struct extra_case {
    std::string command, answer;
    std::vector<Record> path;  // the move and draw records
    int rc;
  } cases[] = {
      {"draw line 1 1 2 2 3", missing_y, {mv(1, 1), dr(2, 2)}, 0},
      {"draw line 1 1 2 2 3 1 4", missing_y, {mv(1, 1), dr(2, 2), dr(3, 1)}, 0},
      {"draw line 1 1 2", missing_y, {mv(1, 1)}, 0},
      {"draw rec 1 1 3 2 9", "", {mv(1, 1), dr(3, 1), dr(3, 2), dr(1, 2), dr(1, 1)}, 0},
      {"draw polyf 1 1 2 1 2 2 9", "", {mv(1, 1), dr(2, 1), dr(2, 2), dr(1, 1)}, 0},
      {"draw line 1 1 2 2 q 3", "DRAW error: Invalid LINE coordinate\n", {mv(1, 1), dr(2, 2)}, 1},
  };
  for (const extra_case& c : cases) {
    TempDir files;
    write_file(files.file("rc.gs"), "'" + c.command + "'\nsay 'rc=' rc\n");
    write_file(files.file("f.cmd"), c.command + "\nstack after\n");
    Drawn typed = draw(c.command + "\n");
    EXPECT_EQ(answer(typed.out, c.command), c.answer) << c.command;
    expect_records(only(typed.records, {-10, -11}), c.path, c.command);
    Drawn script = draw("run " + files.file("rc.gs") + "\n");
    expect_records(only(script.records, {-10, -11}), c.path, c.command);
    EXPECT_TRUE(contains(script.out, "rc=" + std::to_string(c.rc) + "\n")) << c.command;
    Drawn file = draw("exec " + files.file("f.cmd") + "\n");
    EXPECT_EQ(contains(file.out, "stack after\nEOF EXECuting"), c.rc == 0) << c.command;
  }
}

TEST(Draw, PolygonsCloseAndTakeTheFillPattern) {
  // Three points are closed by repeating the first; a seventh value is
  // ignored.
  Drawn d = draw("set line 3\ndraw polyf 1 1 2 1 2 2 9\n");
  expect_records(only(d.records, {-3, -7, -8, -10, -11}),
                 {{-3, 3}, {-7, 4}, mv(1, 1), dr(2, 1), dr(2, 2), dr(1, 1), {-8}}, "polyf");

  // The "set fill" pattern is used for the fill and solid comes back after.
  d = draw("set fill line 3 45\ndraw recf 1 1 2 3\n");
  expect_records(only(d.records, {-6, -12}),
                 {{-12, 3, 3, 45}, {-6, 1000, 2000, 1000, 3000}, {-12, 1, 1, 0}}, "recf");
}

// A "set fill" that fails on a missing or bad word leaves the pattern as it
// was: a filled rectangle drawn after it takes the one set before.
TEST(Draw, AFailedFillLeavesThePatternAsItWas) {
  const std::string common = "SET error:  Missing or invalid arguments for FILL option\n";
  struct fill_case {
    std::string before, failing, answer;
  } cases[] = {
      {"set fill dot 3\n", "set fill line 2", common},
      {"set fill line 2 30\n", "set fill line 4 x", common},
      {"set fill solid\n", "set fill dot", common},
      {"set fill line 2 30\n", "set fill line 9 x",
       "Invalid ptrnden value:  must be integer 1 to 5\n" + common},
      {"set fill open\n", "set fill dot x", common},
  };
  for (const fill_case& c : cases) {
    const std::string recf = "draw recf 1 1 2 3\n";
    Drawn kept = draw(c.before + recf);
    Drawn after = draw(c.before + c.failing + "\n" + recf);
    EXPECT_EQ(answer(after.out, c.failing), c.answer) << c.failing;
    std::vector<Record> want = only(kept.records, {-12});
    ASSERT_FALSE(want.empty()) << c.before;
    EXPECT_EQ(only(after.records, {-12}), want) << c.failing;
  }
}

TEST(Draw, UserColourAndMarker) {
  Drawn d = draw("set rgb 20 255 0 0\nset line 20 3 4\ndraw mark 4 2 2 0.5\n");
  EXPECT_EQ(answer(d.out, "set rgb 20 255 0 0"),
            "Color R:255 G:0 B:0 Unavailable: closest color assigned\n");
  std::vector<Record> defs = only(d.records, {-5});
  ASSERT_FALSE(defs.empty());
  EXPECT_EQ(defs.back(), (Record{-5, 20, 255, 0, 0}));
  // The marker's strokes are the drawing tests'; here its colour.
  std::vector<Record> pen = only(d.records, {-3, -11});
  ASSERT_GT(pen.size(), 1u);
  EXPECT_EQ(pen[0], (Record{-3, 20}));
}

// The width "q string" reports for text at the given "set strsiz" size.
float width_of(const std::string& text, const std::string& size) {
  Drawn q = draw("set strsiz " + size + "\nq string " + text + "\n");
  float w = 0;
  EXPECT_EQ(std::sscanf(answer(q.out, "q string " + text).c_str(), "String Width = %g", &w), 1);
  return w;
}

// A "draw string" command line at (x, y).
std::string string_at(double x, double y, const std::string& text) {
  char cmd[120];
  std::snprintf(cmd, sizeof cmd, "draw string %.6f %.6f %s\n", x, y, text.c_str());
  return cmd;
}

TEST(Draw, StringJustifiedByItsMeasuredWidth) {
  // Centred ("c") text starts half its width left of and half its height
  // below the point; the same strokes as left-bottom text placed there.
  float w = width_of("Vemra", "0.2 0.3");
  ASSERT_GT(w, 0.5f);
  Drawn c = draw("set strsiz 0.2 0.3\nset string 2 c 4\ndraw string 5 4 Vemra\n");
  Drawn bl = draw("set strsiz 0.2 0.3\nset string 2 bl 4\n" + string_at(5 - w / 2, 3.85, "Vemra"));
  std::vector<Record> a = only(c.records, {-3, -10, -11});
  ASSERT_GT(a.size(), 10u);
  EXPECT_EQ(a[0], (Record{-3, 2}));
  expect_records(a, only(bl.records, {-3, -10, -11}), "centred string");

  // Rotated by 90 degrees: the right-justified text runs upward and ends at
  // the point, so its strokes lie below it.
  Drawn r = draw("set strsiz 0.2 0.3\nset string 1 r 3 90\ndraw string 5 4 Vemra\n");
  int min_x = 1 << 30, min_y = 1 << 30;
  for (const Record& k : only(r.records, {-10, -11})) {
    min_x = std::min(min_x, k[1]);
    min_y = std::min(min_y, k[2]);
  }
  EXPECT_NEAR(min_y, mils(4 - w), 40);
  EXPECT_LE(min_x, mils(5) + 1);
}

TEST(Draw, TitleLinesAreCentredAndSpaced) {
  // A plot area of 1..10 by 1..7.5 from the scaled projection.
  const std::string setup =
      "open g.ctl\nset mpdraw off\nset parea 1 10 1 7.5\nset mproj scaled\n"
      "set lon 0 357.5\nset lat -30 30\ndraw map\n";
  // Two equal lines at size 0.175, the first 1.7 x 0.175 above the second.
  std::vector<Record> strokes = only(draw("draw title A\\ A\n", setup).records, {-10, -11});
  ASSERT_EQ(strokes.size() % 2, 0u);
  std::vector<Record> second(strokes.begin() + long(strokes.size() / 2), strokes.end());
  strokes.resize(strokes.size() / 2);
  for (Record& r : strokes) r[2] -= 298;
  expect_records(second, strokes, "second title line");

  // One line at size 0.2: the same strokes as a string of height 0.24 and
  // width 0.2 centred on the plot area at y = 7.5 + 0.08 + 0.1.
  const std::initializer_list<int> pen = {-3, -10, -11};
  float w = width_of("Title", "0.2");
  expect_records(
      only(draw("set annot 5 6\ndraw title Title\n", setup).records, pen),
      only(draw("set strsiz 0.2 0.24\nset string 5 bl 6\n" + string_at(5.5 - w / 2, 7.68, "Title"),
                setup)
               .records,
           pen),
      "title");

  // Axis labels of one line at size 0.16: x below the plot area at
  // y = 1 - 1.7 x 0.16 - 0.3, y turned upward left of it at x = 1 - 0.16.
  w = width_of("Label", "0.16");
  expect_records(only(draw("draw xlab Label\n", setup).records, {-10, -11}),
                 only(draw("set strsiz 0.16 0.192\nset string 1 bl 6\n" +
                               string_at(5.5 - w / 2, 0.428, "Label"),
                           setup)
                          .records,
                      {-10, -11}),
                 "xlab");
  expect_records(only(draw("draw ylab Label\n", setup).records, {-10, -11}),
                 only(draw("set strsiz 0.16 0.192\nset string 1 bl 6 90\n" +
                               string_at(0.84, 4.25 - w / 2, "Label"),
                           setup)
                          .records,
                      {-10, -11}),
                 "ylab");
}

TEST(Draw, MapOutlinesOnlyOverAVaryingBox) {
  const std::string open = "open g.ctl\nset lat -90 90\nset lon 0 360\n";
  Drawn d = draw("set lon 10\ndraw map\n", open);
  EXPECT_EQ(answer(d.out, "draw map"), "");
  EXPECT_TRUE(only(d.records, {-10, -11}).empty());

  // A world map in a projection: no fall-back to latitude-longitude.
  d = draw("set lon -180 180\nset mproj robinson\ndraw map\n", open);
  EXPECT_EQ(answer(d.out, "draw map"), "");
  EXPECT_GT(only(d.records, {-11}).size(), 5000u);
}

TEST(Draw, MappolyNeedsALongitudeLatitudePlot) {
  Drawn d = draw("draw mappoly 0 0 90 0 90 45\n");
  EXPECT_EQ(answer(d.out, "draw mappoly 0 0 90 0 90 45"),
            "DRAW MAPPOLY error: Invalid Dimension Environment\n"
            "                    X and Y must be varying\n");
  EXPECT_TRUE(only(d.records, {-7}).empty());

  // After a lon-lat plot on 1..10 by 1..7.5 over 0..360 by -30..30 the
  // polygon is densified along its edges and filled through the scaling.
  d = draw("set line 77\ndraw mappoly 0 0 90 0 90 15\n",
           "open g.ctl\nset mpdraw off\nset parea 1 10 1 7.5\nset mproj scaled\n"
           "set lon 0 360\nset lat -30 30\nset gxout grfill\nd ps\n");
  // What the polygon drew: everything from its colour on. Its edges are
  // divided (unit tests check how); it ends where it starts, at lon 0 lat 0,
  // and reaches lon 90 and lat 15 of the plot area.
  size_t from = 0;
  while (from < d.records.size() && d.records[from] != Record{-3, 77}) from++;
  std::vector<Record> mine(d.records.begin() + long(from), d.records.end());
  std::vector<Record> poly = only(mine, {-7}), strokes = only(mine, {-10, -11});
  ASSERT_EQ(poly.size(), 1u);
  EXPECT_GT(poly[0][1], 100);
  ASSERT_FALSE(strokes.empty());
  EXPECT_NEAR(strokes.back()[1], mils(1), 2);
  EXPECT_NEAR(strokes.back()[2], mils(1 + 6.5 / 2), 2);
  int max_x = 0, max_y = 0;
  for (const Record& r : strokes) {
    max_x = std::max(max_x, r[1]);
    max_y = std::max(max_y, r[2]);
  }
  EXPECT_NEAR(max_x, mils(1 + 9 * 90 / 360.0), 2);
  EXPECT_NEAR(max_y, mils(1 + 6.5 * 45 / 60), 2);
}

TEST(Draw, WeatherSymbolInItsClassColour) {
  // Symbol 1 (two facing brackets, class 0) at (2, 3), size 0.5.
  Drawn d = draw("set wxcols 4 5 6 7 8\ndraw wxsym 1 2 3 0.5\n");
  EXPECT_EQ(answer(d.out, "draw wxsym 1 2 3 0.5"), "");
  std::vector<Record> pen = only(d.records, {-3, -10, -11});
  ASSERT_EQ(pen.size(), 9u);
  EXPECT_EQ(pen[0], (Record{-3, 4}));
}

TEST(Draw, RefusalsDrawNothing) {
  const char* cases[][2] = {
      {"draw", "DRAW error: Missing operand\n"},
      {"draw rec 1 1 1 2", "DRAW error: Syntax is DRAW REC xlo ylo xhi yhi\n"},
      {"draw recf 2 1 1 3", "DRAW error: Syntax is DRAW RECF xlo ylo xhi yhi\n"},
      {"draw polyf 1 1 2 1", "DRAW error: Syntax is DRAW POLYF x1 y1 x2 y2 ...\n"},
      {"draw polyf 1 1 2 x 3 3", "DRAW error: Invalid polyf coordinate\n"},
      {"draw string 1 1", "DRAW error: Syntax is DRAW STRING x y string\n"},
      {"draw mark 3 1 1", "DRAW error: Syntax is DRAW MARK marktype x y size\n"},
      {"draw line 1 q", "DRAW error: Invalid LINE coordinate\n"},
      {"draw title", "DRAW error: Missing character string \n"},
      {"draw wxsym 44 1 1 0.2", "DRAW error: Syntax is DRAW WXSYM sym x y siz <color <thick> >\n"},
      {"draw button 1 1 1 1 1", "DRAW error: Syntax is DRAW BUTTON number x y w h string\n"},
      {"draw dropmenu 1 cascade",
       "DRAW error: Syntax is DRAW DROPMENU number x y w h string | string | ...\n"},
      {"redraw", "REDRAW error: Missing operand\n"},
      {"redraw button 300 1", "REDRAW error: Syntax is REDRAW BUTTON number state flag text\n"},
      {"redraw button 3 1 x", "REDRAW error: Syntax is REDRAW BUTTON number state flag text\n"},
  };
  std::string commands;
  for (auto& c : cases) commands += std::string(c[0]) + "\n";
  Drawn d = draw(commands);
  for (auto& c : cases) EXPECT_EQ(answer(d.out, c[0]), c[1]) << c[0];
  EXPECT_TRUE(only(d.records, {-6, -7, -10, -11}).empty());
}

}  // namespace
