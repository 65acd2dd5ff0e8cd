// The map, page, axis, label, text, widget, colour and fill options of
// "set", and the string-width and position queries, through the program.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "e2e/dataset_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

// Runs the commands in one batch session and checks each command's answer.
void expect_answers(const std::vector<dsfiles::step>& cases) {
  TempDir dir;
  dsfiles::expect_steps(dir, "", cases);
}

const std::string common = "SET error:  Missing or invalid arguments for ";

TEST(SetPage, VirtualPageAndPlotArea) {
  expect_answers({
      {"set vpage 0 5.5 0 8.5", "Virtual page size = 5.5 8.5 \n"},
      {"set vpage 0 11 0 4.25", "Virtual page size = 11 4.25 \n"},
      {"set vpage 0 12 0 8.5", "SET Error: vpage values beyond real page limits\n"},
      {"set vpage 5 1 0 8", common + "VPAGE option\n"},
      {"set vpage 0 5.5 0 8.5", "Virtual page size = 5.5 8.5 \n"},
      // Only 5.5 inches wide now.
      {"set parea 1 10 1 7.5", "SET Error: parea values beyond page limits\n"},
      {"set parea 1 5 1 7.5", ""},
      {"set vpage off", ""},
      {"set parea 1 10 1 7.4", ""},
      {"set parea 3 2 1 7.5", common + "PAREA option\n"},
      {"set clip 0 12 0 8", common + "CLIP option\n"},
      {"set clip 1 10 1 7", ""},
      // Half-size page: real page point (1, 1) is (2, 2) on the virtual page.
      {"set vpage 0 5.5 0 4.25", "Virtual page size = 11 8.5 \n"},
      {"q pp2xy 1 1", "X = 2  Y = 2\n"},
      {"q pp2xy 1", "Query Error: Syntax is QUERY PP2XY ppx ppy\n"},
  });
}

TEST(SetMap, ProjectionOutlinesGridAndBuffering) {
  expect_answers({
      {"set mproj lambert", ""},
      {"set mproj mercator", common + "MPROJ option\n"},
      {"set mpvals 0 90 20 80", "mpvals have been set\n"},
      {"set mpvals 1 2 3 4 5 6 7 8 9 10", common + "MPVALS option\n"},
      {"set mpvals off", "mpvals have been turned off\n"},
      {"set mpvals", common + "MPVALS option\n"},
      {"set mpdset a b c d e f g h i",
       "MPDSET file name = a\nMPDSET file name = b\nMPDSET file name = c\n"
       "MPDSET file name = d\nMPDSET file name = e\nMPDSET file name = f\n"
       "MPDSET file name = g\nMPDSET file name = h\n"},
      {"set map 3 x",
       "SET MAP Error: Invalid linestyle value\nSET MAP values:  color = 3  style = 1"
       "  thickness = 1\n"},
      {"set map 4 2 y", "SET MAP Error: Invalid thickness value\nSET MAP values:  color = 4  "
                        "style = 2  thickness = 1\n"},
      {"set map auto", "SET MAP values:  auto\n"},
      {"set mpt 300", common + "MPT option\n"},
      {"set grid vertical 1 3", "grid is on, style 1 color 3 \n"},
      {"set grid off", "grid is off\n"},
      {"set grid sideways", common + "GRID option\n"},
      {"set frame circle", ""},
      {"set dbuff off", ""},
      {"set display grey purple", common + "DISPLAY option\n"},
      {"set background 3", "background = 3 \n"},
      {"set xsize 0 600", common + "XSIZE option\n"},
  });
}

// The display-list records after the commands, as big-endian words.
std::vector<int> words_of(const std::string& bytes) {
  std::vector<int> w;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) w.push_back(be16(bytes, i));
  return w;
}

TEST(SetMap, LineTypesChooseWhatTheMapDraws) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 144, 2.5, 3, "zdef 1 levels 1000", 1, 1);
  auto draws = [&](const std::string& options) {
    run_batch("open g.ctl\nset lat -90 90\nset lon 0 360\n" + options +
                  "enable print m.meta\ndraw map\nprint\ndisable print\n",
              dir.path());
    std::vector<int> w = words_of(read_file(dir.file("m.meta")));
    int n = 0;
    for (int v : w) n += v == -11;
    return n;
  };
  int all = draws("");
  int none = draws("set mpt * off\n");
  int coast = draws("set poli off\n");
  int borders_kept = draws("set mpt 1 4\nset poli on\n");
  EXPECT_GT(all, 1000);
  EXPECT_EQ(none, 0);
  EXPECT_GT(coast, 0);
  EXPECT_LT(coast, all);
  // "poli on" gives back the borders that were off and keeps type 1's own
  // colour: as many strokes as the default.
  EXPECT_EQ(borders_kept, all);
}

TEST(SetLabels, FormatsListsAndAxes) {
  expect_answers({
      {"set clab %g%%", "Substitution string is: %g%%\n"},
      {"set clab forced", ""},
      {"set clab auto", ""},
      // A label format is handed to printf with one value: anything else
      // is refused.
      {"set clab %s", common + "CLAB option\n"},
      {"set xlab %g and %g", common + "XLAB option\n"},
      {"set ylab %d", common + "YLAB option\n"},
      {"set ylab %n%f", common + "YLAB option\n"},
      {"set xlab %5.1f W", "Substitution string is: %5.1f W\n"},
      {"set clab", common + "CLAB option\n"},
      {"set xlabs Jan|Feb|Mar", ""},
      {"set xlabs off", ""},
      {"set xaxis 0 10 x", "xaxis labels range 0 10 incr 0 \n"},
      {"set yaxis 0 10 x", common + "YAXIS option\n"},
      {"set yaxis 0 10 2", "yaxis labels range 0 10 incr 2 \n"},
      {"set vrange 1", common + "VRANGE option\n"},
      {"set axlim -5 5", "1-D axis limits set: -5 to 5 \n"},
      {"set vrange2 0 1", "Scatter Y axis limits set: 0 to 1 \n"},
      {"set xlevs 1 2 3", "Number of xlevs = 3 \n"},
      {"set ylevs 1 x", common + "YLEVS option\n"},
      {"set xlint 2.5", "xlint = 2.5 \n"},
      {"set xlopts 2", "SET XLOPTS values:  Color = 2 Thickness = 4 Size = 0.11\n"},
      {"set ylopts 3 5 q",
       "SET XLOPTS(YLOPTS,CLOPTS) Syntax Error  Syntax is: SET XLOPTS color thickness size"},
      {"set xlpos 0.5 t", "SET XLPOS values:  Offset = 0.5  Side = Top\n"},
      {"set ylpos 1 r", "SET YLPOS values:  Offset = 1  Side = Right\n"},
      {"set ylpos x", "SET XLPOS(YLPOS) Syntax Error  Syntax is: SET XLPOS offset side\n"},
      {"set tlsupp off", ""},
      {"set tlsupp", common + "TLSUPP option\n"},
      {"set vemra maybe", common + "VEMRA option\n"},
  });
}

TEST(SetText, AttributesReportAndGoOn) {
  expect_answers({
      {"set string 2 zz",
       "SET STRING Error: Invalid justification value\n"
       "SET STRING values:  color = 2  just = bl  thickness = 3  rotation = 0\n"},
      {"set string 3 tr 5 x",
       "SET STRING Error: Invalid rotation value\n"
       "SET STRING values:  color = 3  just = tr  thickness = 5  rotation = 0\n"},
      {"set strsiz 0.2", "SET STRSIZ values:  hsize = 0.2  vsize = 0.2\n"},
      {"set strsiz 0.3 q",
       "SET STRSIZ Error:  Invalid vsize value\nSET STRSIZ values:  hsize = 0.3  vsize = 0.3\n"},
      {"set annot 4 q",
       "SET ANNOT Error: Invalid thickness value\nSET ANNOT values:  color = 4  thickness = 6\n"},
      {"set line 5 q 9",
       "SET LINE Error: Invalid linestyle value\nSET LINE values:  color = 5  style = 1"
       "  thickness = 3\n"},
      {"set font 12", "SET FONT Error: font must be 0 to 9\n"},
      {"set font 3", ""},
  });
}

TEST(SetWidget, DefaultsColoursAndFill) {
  const std::string dropmenu_syntax =
      "SET DROPMENU Syntax Error.  Syntax is: SET DROPMENU fc bc oc1 oc2 tfc tbc toc1 toc2\n"
      "      bfc bbc boc1 boc2 soc1 soc2 thick\n";
  expect_answers({
      {"set button 2",
       "SET BUTTON values:  Fc, Bc, Oc, Oc2 = 2 0 1 1 Toggle Fc, Bc, Oc, Oc2 = 2 0 1 1 "
       "Thick = 3\n"},
      {"set button 1 0 5 6 7 8 9 10 2",
       "SET BUTTON values:  Fc, Bc, Oc, Oc2 = 1 0 5 6 Toggle Fc, Bc, Oc, Oc2 = 7 8 9 10 "
       "Thick = 2\n"},
      {"set dialog 1 2 3 4 5 numeric",
       "SET DIALOG values:  Pc, Fc, Bc, Oc = 1 2 3 4 Thick = 5 Args = numeric\n"},
      {"set dropmenu 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16", dropmenu_syntax},
      {"set dropmenu 1 2 3", ""},
      {"set rband 3 circle 1 1 5 5",
       "SET RBAND Syntax Error.  Syntax is: SET RBAND num type xlo ylo xhi yhi\n"},
      {"set rgb 100 0 0 0",
       "SET RGB Error:  Invalid color number or rgb value\n"
       "  Color number must be 16-99, rgb value 0-255\n"},
      {"set rgb 20 0 0", common + "RGB option\n"},
      {"set fill line 3 20",
       "Invalid ptrnang value:  must be -90, -60, -45 -30\n \t                        0, 30. "
       "45, 60, or 90\nSET FILL values: line 3 0\n"},
      {"set fill dot 9", "Invalid ptrnden value:  must be integer 1 to 6\nSET FILL values: dot 3\n"},
      {"set fill", "SET FILL Syntax Error.  Syntax is: SET FILL type [density] [angle]\n"},
      {"set fill solid", "SET FILL values: solid\n"},
  });
}

// Width of a text in a font file of the data directory: per character
// (right - left) x size / 21 x 1.05.
double font_width(int font, const std::string& text, double size) {
  std::ifstream in(std::string(VEMRA_DATA_DIR) + "/font" + std::to_string(font) + ".dat");
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) lines.push_back(l);
  double w = 0;
  for (char c : text) {
    const std::string& g = lines.at(static_cast<size_t>(c - 32));
    w += (g[4] - g[3]) * (size / 21.0) * 1.05;
  }
  return w;
}

TEST(QueryText, StringWidthAndMapPositions) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 144, 2.5, 3, "zdef 1 levels 1000", 1, 1);
  RunResult r = run_batch(
      "set strsiz 0.2 0.5\nq string Hi There\nset font 1\nq string Hi There\nq string\n"
      "open g.ctl\nset lon 0 360\nset lat -90 90\nset mpdraw off\nset parea 1 10 1 7.5\n"
      "set mproj scaled\ndraw map\nq ll2xy 180 0\nq ll2xy 90 45\nq ll2xy 1\n",
      dir.path());
  float w0 = 0, w1 = 0;
  ASSERT_EQ(std::sscanf(answer(r.out, "q string Hi There").c_str(), "String Width = %g", &w0), 1);
  size_t second = r.out.find("set font 1\n");
  ASSERT_EQ(std::sscanf(answer(r.out.substr(second), "q string Hi There").c_str(),
                        "String Width = %g", &w1),
            1);
  EXPECT_NEAR(w0, font_width(0, "Hi There", 0.2), 1e-5);
  EXPECT_NEAR(w1, font_width(1, "Hi There", 0.2), 1e-5);
  EXPECT_EQ(answer(r.out, "q string"), "Query String Error: Missing String\n");
  // The scaled projection spreads 0..360 by -90..90 over the plot area.
  EXPECT_EQ(answer(r.out, "q ll2xy 180 0"), "5.5 4.25\n");
  EXPECT_EQ(answer(r.out, "q ll2xy 90 45"), "3.25 5.875\n");
  EXPECT_EQ(answer(r.out, "q ll2xy 1"), "QUERY error: Syntax is QUERY LL2XY lon lat\n");
}

}  // namespace
