// Plots through the command language: the contour options of "set", the
// queries of the last plot's kind, area and coordinates.
#include <gtest/gtest.h>

#include <string>

#include "dataset_files.h"
#include "support/vemra_run.h"

using dsfiles::answer;
using dsfiles::expect_steps;
using vemra_test::run_batch;
using vemra_test::TempDir;

namespace {

const std::string sample = std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl";

const std::string common = "SET error:  Missing or invalid arguments for ";

TEST(PlotSet, ContourOptions) {
  TempDir dir;
  std::string many;
  for (int k = 0; k < 98; k++) many += " " + std::to_string(k);
  expect_steps(dir, "", {
      {"set clevs", "-"},
      {"set ccols 1 2", "Number of ccols = 2\nccols won't take effect unless clevs are set.\n"},
      {"set clevs 0 5 10", "Number of clevs = 3 \n"},
      {"set ccols 1 2 3 4", "Number of ccols = 4\n"},
      {"set rbrange 10 0", common + "RBRANGE option\n"},
      {"set rbrange 0 10", ""},
      {"set cstyle 0", "WARNING cstyle = 0 ; no lines will be plotted; I suggest 1 ...\n"},
      {"set cstyle 2", "cstyle = 2 \n"},
      {"set rbcols auto", "Rainbow colors set to auto\n"},
      {"set rbcols 2 3 4", "Number of rainbow colors = 3\n"},
      {"set clopts 2", "SET CLOPTS values:  Color = 2 Thickness = -1 Size = 0.09\n"},
      {"set clopts 3 4 x",
       "SET XLOPTS(YLOPTS,CLOPTS) Syntax Error  Syntax is: SET XLOPTS color thickness size"},
      {"set clskip 0", common + "CLSKIP option\n"},
      {"set ccolor revrain", "ccolor = reverse rainbow \n"},
      {"set ccolor rainbow", "ccolor = rainbow \n"},
      {"set ccolor 5", "ccolor = 5 \n"},
      {"set black 5", common + "BLACK option\n"},
      {"set fgvals 1 2 3", common + "FGVALS option\n"},
      {"set fgvals 1 2 3 4", "fgvals set\n"},
      {"set csmooth linear", ""},
      {"set cterp maybe", common + "CTERP option\n"},
      {"set cint x", common + "CINT option\n"},
      {"set cmin -5", "cmin = -5 \n"},
      {"set cthick 6", "cthick = 6 \n"},
  });
  // 98 values are taken, a 99th refuses the list (long lines: their echo is
  // cut, so the answers are found in order).
  std::string out = run_batch("set clevs" + many + "\nset clevs" + many + " 98\n", dir.path()).out;
  size_t taken = out.find("Number of clevs = 98 \n");
  ASSERT_NE(taken, std::string::npos) << out;
  EXPECT_NE(out.find(common + "CLEVS option\n", taken), std::string::npos) << out;
}

TEST(PlotQuery, LastPlotKindAreaAndCoordinates) {
  TempDir dir;
  const std::string none = "No scaling environment\n";
  expect_steps(dir, "", {
      {"q w2xy 180 0", none},
      {"q xy2gr 1 1", none},
      {"open " + sample, "-"},
      {"d slp", "-"},
      {"q gxinfo", "Last Graphic = Contour\nPage Size = 11 by 8.5\nX Limits = 0.5 to 10.5\n"
                   "Y Limits = 1.25 to 7.25\nXaxis = Lon  Yaxis = Lat\nMproj = 2\n"},
      // 0..360 by 2.5 and -90..90 by 2.5 over that area.
      {"q w2xy 180 0", "X = 5.5  Y = 4.25\n"},
      {"q xy2w 5.5 4.25", "Lon = 180  Lat = 0\n"},
      {"q w2gr 180 0", "Xdim = 73  Ydim = 37\n"},
      {"q gr2w 73 37", "Lon = 180  Lat = 0\n"},
      {"q gr2xy 1 1", "X = 0.5  Y = 1.25\n"},
      {"q xy2gr 0.5 1.25", "Xdim = 1  Ydim = 1\n"},
      {"q w2xy 180", "Query Error: Syntax is QUERY W2XY Lon Lat\n"},
      {"q xy2w 1", "QUERY error: Syntax is QUERY XY2W x y\n"},
      {"q gr2w x 1", "Query Error: Syntax is QUERY GR2W Xdim Ydim\n"},
      {"q w2gr 1", "Query Error: Syntax is QUERY W2GR Lon Lat\n"},
      {"q gr2xy", "Query Error: Syntax is QUERY GR2XY Xdim Ydim\n"},
      {"q xy2gr 1", "Query Error: Syntax is QUERY XY2GR x y\n"},
      {"clear", "-"},
      {"q gr2w 1 1", none},
  });
  std::string info = run_batch("q gxinfo\n", dir.path()).out;
  EXPECT_NE(info.find("ka-> q gxinfo\nLast Graphic = Clear\n"), std::string::npos) << info;
}

TEST(PlotQuery, ShadedPlotInOtherProjections) {
  TempDir dir;
  auto r = run_batch("open " + sample +
                         "\nset gxout shaded\nset cint 10\nset mproj nps\nset lat 20 90\nd slp\n"
                         "q gxinfo\nset lat -90 90\nd slp\n",
                     dir.path());
  std::string info = answer(r.out, "q gxinfo");
  EXPECT_NE(info.find("Last Graphic = Shaded\n"), std::string::npos) << info;
  EXPECT_NE(info.find("Mproj = 3\n"), std::string::npos) << info;
  // A polar box that reaches the south pole falls back to lat-lon.
  std::string last = r.out.substr(r.out.rfind("ka-> d slp"));
  EXPECT_NE(last.find("Map Projection Error:  Invalid coords for NPS\n"
                      "  Will use linear lat-lon projection\n"),
            std::string::npos)
      << last;
}

}  // namespace
