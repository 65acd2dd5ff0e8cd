// The page, map, label, text, widget, colour, fill and contour options of
// "set", and the string-width and position queries, through the program.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "e2e/dataset_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

const std::string common = "SET error:  Missing or invalid arguments for ";

// One answer of each kind of the options that only store a setting, in one
// session: values echoed, refusals that keep the old value, and the
// page and plot-area limits that depend on each other.
TEST(SetOptions, AnswersOfEachKind) {
  TempDir dir;
  dsfiles::expect_steps(
      dir, "",
      {
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
          // Half-size page: real page point (1, 1) is (2, 2) on the virtual page.
          {"set vpage 0 5.5 0 4.25", "Virtual page size = 11 8.5 \n"},
          {"q pp2xy 1 1", "X = 2  Y = 2\n"},
          {"set xsize 0 600", common + "XSIZE option\n"},
          {"set mproj mercator", common + "MPROJ option\n"},
          {"set mpvals 1 2 3 4 5 6 7 8 9 10", common + "MPVALS option\n"},
          // Eight map files at most.
          {"set mpdset a b c d e f g h i",
           "MPDSET file name = a\nMPDSET file name = b\nMPDSET file name = c\n"
           "MPDSET file name = d\nMPDSET file name = e\nMPDSET file name = f\n"
           "MPDSET file name = g\nMPDSET file name = h\n"},
          {"set mpt 300", common + "MPT option\n"},
          {"set map 3 x",
           "SET MAP Error: Invalid linestyle value\nSET MAP values:  color = 3  style = 1"
           "  thickness = 1\n"},
          {"set grid vertical 1 3", "grid is on, style 1 color 3 \n"},
          // A label format is handed to printf with one value: anything else
          // is refused.
          {"set clab %g%%", "Substitution string is: %g%%\n"},
          {"set clab %s", common + "CLAB option\n"},
          {"set ylab %n%f", common + "YLAB option\n"},
          {"set xaxis 0 10 x", "xaxis labels range 0 10 incr 0 \n"},
          {"set ylopts 3 5 q",
           "SET XLOPTS(YLOPTS,CLOPTS) Syntax Error  Syntax is: SET XLOPTS color thickness size\n"},
          {"set ylpos 1 r", "SET YLPOS values:  Offset = 1  Side = Right\n"},
          {"set string 3 tr 5 x",
           "SET STRING Error: Invalid rotation value\n"
           "SET STRING values:  color = 3  just = tr  thickness = 5  rotation = 0\n"},
          {"set strsiz 0.3 q",
           "SET STRSIZ Error:  Invalid vsize value\nSET STRSIZ values:  hsize = 0.3  vsize = "
           "0.3\n"},
          {"set font 12", "SET FONT Error: font must be 0 to 9\n"},
          {"set button 1 0 5 6 7 8 9 10 2",
           "SET BUTTON values:  Fc, Bc, Oc, Oc2 = 1 0 5 6 Toggle Fc, Bc, Oc, Oc2 = 7 8 9 10 "
           "Thick = 2\n"},
          {"set dialog 1 2 3 4 5 numeric",
           "SET DIALOG values:  Pc, Fc, Bc, Oc = 1 2 3 4 Thick = 5 Args = numeric\n"},
          {"set dropmenu 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16",
           "SET DROPMENU Syntax Error.  Syntax is: SET DROPMENU fc bc oc1 oc2 tfc tbc toc1 toc2\n"
           "      bfc bbc boc1 boc2 soc1 soc2 thick\n"},
          {"set rband 3 circle 1 1 5 5",
           "SET RBAND Syntax Error.  Syntax is: SET RBAND num type xlo ylo xhi yhi\n"},
          {"set rgb 100 0 0 0",
           "SET RGB Error:  Invalid color number or rgb value\n"
           "  Color number must be 16-99, rgb value 0-255\n"},
          {"set fill line 3 20",
           "Invalid ptrnang value:  must be -90, -60, -45 -30\n \t                        0, 30. "
           "45, 60, or 90\nSET FILL values: line 3 0\n"},
          {"set fill dot 9",
           "Invalid ptrnden value:  must be integer 1 to 6\nSET FILL values: dot 3\n"},
          {"set ccols 1 2", "Number of ccols = 2\nccols won't take effect unless clevs are set.\n"},
          {"set clevs 0 5 10", "Number of clevs = 3 \n"},
          {"set rbrange 10 0", common + "RBRANGE option\n"},
          {"set cstyle 0", "WARNING cstyle = 0 ; no lines will be plotted; I suggest 1 ...\n"},
          {"set clskip 0", common + "CLSKIP option\n"},
          {"set ccolor revrain", "ccolor = reverse rainbow \n"},
          {"set fgvals 1 2 3", common + "FGVALS option\n"},
      });
  // 98 contour levels are taken, a 99th refuses the list (long lines: their
  // echo is cut, so the answers are found in order).
  std::string many;
  for (int k = 0; k < 98; k++) many += " " + std::to_string(k);
  std::string out = run_batch("set clevs" + many + "\nset clevs" + many + " 98\n", dir.path()).out;
  size_t taken = out.find("Number of clevs = 98 \n");
  ASSERT_NE(taken, std::string::npos) << out;
  EXPECT_NE(out.find(common + "CLEVS option\n", taken), std::string::npos) << out;
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

TEST(QueryText, StringWidthAndMapPositions) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 144, 2.5, 3, "zdef 1 levels 1000", 1, 1);
  RunResult r = run_batch(
      "set strsiz 0.2 0.5\nq string Hi There\nset strsiz 0.4\nq string Hi There\nq string\n"
      "open g.ctl\nset lon 0 360\nset lat -90 90\nset mpdraw off\nset parea 1 10 1 7.5\n"
      "set mproj scaled\ndraw map\nq ll2xy 180 0\nq ll2xy 90 45\nq ll2xy 1\n",
      dir.path());
  // The width goes with the width of the characters, not their height.
  float w = 0, twice = 0;
  const std::string later = r.out.substr(r.out.find("set strsiz 0.4\n"));
  ASSERT_EQ(std::sscanf(answer(r.out, "q string Hi There").c_str(), "String Width = %g", &w), 1);
  ASSERT_EQ(std::sscanf(answer(later, "q string Hi There").c_str(), "String Width = %g", &twice),
            1);
  EXPECT_GT(w, 0.5f);
  EXPECT_NEAR(twice, 2 * w, 1e-4);
  EXPECT_EQ(answer(r.out, "q string"), "Query String Error: Missing String\n");
  // The scaled projection spreads 0..360 by -90..90 over the plot area.
  EXPECT_EQ(answer(r.out, "q ll2xy 180 0"), "5.5 4.25\n");
  EXPECT_EQ(answer(r.out, "q ll2xy 90 45"), "3.25 5.875\n");
  EXPECT_EQ(answer(r.out, "q ll2xy 1"), "QUERY error: Syntax is QUERY LL2XY lon lat\n");
}

}  // namespace
