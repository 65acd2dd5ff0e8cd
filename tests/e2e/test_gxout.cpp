// Every "set gxout" word through the command language: the kind of plot a
// display then draws, as "q gxinfo" names it, for grids of one and two
// dimensions, pairs of grids and station data; the non-graphic words print
// instead of drawing, and an unknown word is refused.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/station_writer.h"
#include "support/vemra_run.h"

using vemra_test::next_answer;
using vemra_test::run_batch;
using vemra_test::TempDir;

namespace {

const std::string sample = std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl";

struct step {
  std::string word;     // "set gxout" word
  std::string display;  // the display after it
  std::string kind;     // "q gxinfo" name of the plot drawn
};

// The script of every step: clear, the word, the display, the query.
std::string script(const std::vector<step>& steps) {
  std::string s;
  for (const step& t : steps) s += "c\nset gxout " + t.word + "\nd " + t.display + "\nq gxinfo\n";
  return s;
}

// Each step's word is taken, its display prints no error, and the plot is
// of the step's kind.
void expect_kinds(const std::string& out, const std::vector<step>& steps) {
  size_t at = 0;
  for (const step& t : steps) {
    EXPECT_EQ(next_answer(out, "set gxout " + t.word, &at), "") << t.word;
    const std::string drawn = next_answer(out, "d " + t.display, &at);
    EXPECT_EQ(drawn.find("rror"), std::string::npos) << t.word << ": " << drawn;
    const std::string info = next_answer(out, "q gxinfo", &at);
    EXPECT_EQ(info.substr(0, info.find('\n')), "Last Graphic = " + t.kind)
        << t.word << ": d " << t.display;
  }
}

// Two stations inside 0..40 E, 0..20 N over two times, with a surface
// pressure and temperature and winds on two levels.
void write_stations(const TempDir& dir) {
  stnw::dataset ds;
  ds.surface_vars = {"ps"};
  ds.level_vars = {"t", "u", "v"};
  auto a = [](float ps, float t) {
    return stnw::upper_report("AAAA", 10, 10, {{850, {t, 5, 5}}, {500, {t - 30, 10, -10}}}, {ps});
  };
  auto b = [](float ps, float t) {
    return stnw::upper_report("BBBB", 15, 30, {{850, {t, -5, 0}}, {500, {t - 30, 0, 20}}}, {ps});
  };
  ds.times = {{a(1010, 20), b(1005, 18)}, {a(1008, 21), b(1003, 17)}};
  stnw::write(dir.path(), "s", ds);
}

}  // namespace

// The kinds named after each word, as the output words and plot names are
// documented: a word that sets several fields draws by the field the
// results' shape reads.
TEST(GxoutWords, GridsDrawTheKindOfTheirWord) {
  TempDir dir;
  const std::vector<step> two_d = {
      {"contour", "t", "Contour"},    {"shaded", "t+1", "Shaded"}, {"grfill", "t+2", "GrFill"},
      {"pgrid", "t+3", "GrFill"},     {"fgrid", "t+4", "Fgrid"},   {"grid", "t+5", "Grid"},
      {"vector", "u;v", "Vector"},    {"barb", "u+1;v", "Barb"},   {"stream", "u+2;v", "Stream"},
      {"scatter", "u+3;v", "Vector"}, {"grid", "u+4;v", "Grid"},   {"fwrite", "t+6", "Fwrite"},
  };
  const std::vector<step> one_d = {
      {"contour", "t+7", "Contour"},  // the 2-D word leaves a line graph alone
      {"line", "t+8", "Line"},           {"bar", "t+9", "Bar"},          {"errbar", "t;t+1", "Bar"},
      {"linefill", "t;t-5", "LineFill"}, {"scatter", "t;t*2", "Vector"},
  };
  auto r =
      run_batch("open " + sample + "\nset lev 500\nset lon 0 30\nset lat 0 30\nset fwrite f.bin\n" +
                    script(two_d) + "set lat 45\nset gxout line\n" + script(one_d),
                dir.path());
  expect_kinds(r.out, two_d);
  const size_t one = r.out.find("ka-> set lat 45\n");
  ASSERT_NE(one, std::string::npos) << r.out;
  std::vector<step> line_steps = one_d;
  line_steps[0].kind = "Line";
  expect_kinds(r.out.substr(one), line_steps);
}

TEST(GxoutWords, StationsDrawTheKindOfTheirWord) {
  TempDir dir;
  write_stations(dir);
  const std::vector<step> map = {
      {"value", "ps", "Value"},      {"barb", "u;v", "Value"},   {"vector", "u+1;v", "Value"},
      {"model", "ps+1", "Model"},    {"wxsym", "ps+2", "Wxsym"}, {"stnmark", "ps+3", "Wxsym"},
      {"findstn", "ps;5;4", "Fstn"},
  };
  const std::vector<step> series = {
      {"line", "t(stid=aaaa)", "Line"},
      {"tserwx", "t(stid=bbbb)", "Line"},
      {"tserbarb", "t(stid=aaaa)+1;u(stid=aaaa)", "Line"},
  };
  auto r = run_batch("open s.ctl\nset lon 0 40\nset lat 0 20\nset lev 500\n" + script(map) +
                         "set lon 10\nset lat 10\nset t 1 2\n" + script(series) +
                         "set t 1\nset lev 850 500\nc\n"
                         "d t(stid=aaaa)\nq gxinfo\n",
                     dir.path());
  expect_kinds(r.out, map);
  expect_kinds(r.out, series);
  // A profile has no word of its own: it is drawn as a line.
  size_t at = r.out.find("ka-> set lev 850 500\n");
  EXPECT_EQ(next_answer(r.out, "d t(stid=aaaa)", &at).find("rror"), std::string::npos);
  EXPECT_EQ(next_answer(r.out, "q gxinfo", &at).substr(0, 19), "Last Graphic = Line");
}

// stat, print and writegds replace the plot until another word is set;
// nothing is drawn, so the last graphic stays the clear page. An unknown
// word is refused and ends them too.
TEST(GxoutWords, NonGraphicWordsPrintInsteadOfDrawing) {
  TempDir dir;
  auto r = run_batch("open " + sample +
                         "\nset lev 500\nset x 1\nset y 1\nset gxout stat\nd t\nq gxinfo\n"
                         "set gxout print\nd t+1\nq gxinfo\nset gxout bogus\nd t+2\n"
                         "set gxout contour\nset x 1 3\nset y 1 3\nd t+3\nq gxinfo\n",
                     dir.path());
  size_t at = 0;
  const std::string stats = next_answer(r.out, "d t", &at);
  EXPECT_NE(stats.find("Data Type = grid\n"), std::string::npos) << stats;
  EXPECT_NE(stats.find("Undef count = 0  Valid count = 1\n"), std::string::npos) << stats;
  EXPECT_EQ(next_answer(r.out, "q gxinfo", &at).substr(0, 20), "Last Graphic = Clear");
  const std::string printed = next_answer(r.out, "d t+1", &at);
  EXPECT_EQ(printed.substr(0, 46), "Printing Grid -- 1 Values -- Undef = -9.99e+33") << printed;
  EXPECT_EQ(next_answer(r.out, "q gxinfo", &at).substr(0, 20), "Last Graphic = Clear");
  EXPECT_EQ(next_answer(r.out, "set gxout bogus", &at),
            "SET error:  Missing or invalid arguments for GXOUT option\n");
  // One value: not printed any more, shown as the result value.
  EXPECT_EQ(next_answer(r.out, "d t+2", &at).substr(0, 15), "Result value = ");
  next_answer(r.out, "d t+3", &at);
  EXPECT_EQ(next_answer(r.out, "q gxinfo", &at).substr(0, 22), "Last Graphic = Contour");
}
