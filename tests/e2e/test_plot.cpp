// Plots through the command language: the contour options of "set", the
// queries of the last plot's kind, area and coordinates.
#include <gtest/gtest.h>

#include <string>

#include "dataset_files.h"
#include "support/vemra_run.h"

using dsfiles::answer;
using vemra_test::run_batch;
using vemra_test::TempDir;

namespace {

const std::string sample = std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl";

TEST(PlotSet, ContourOptions) {
  TempDir dir;
  std::string many;
  for (int k = 0; k < 98; k++) many += " " + std::to_string(k);
  auto r = run_batch("set clevs\nset ccols 1 2\nset clevs 0 5 10\nset ccols 1 2 3 4\n"
                     "set rbrange 10 0\nset rbrange 0 10\nset cstyle 0\nset cstyle 2\n"
                     "set rbcols auto\nset rbcols 2 3 4\nset clopts 2\nset clopts 3 4 x\n"
                     "set clskip 0\nset clskip 2\nset ccolor revrain\nset ccolor rainbow\n"
                     "set ccolor 5\nset black 5\nset black off\nset fgvals 1 2 3\n"
                     "set fgvals 1 2 3 4\nset csmooth linear\nset cterp maybe\nset cint x\n"
                     "set cmin -5\nset cthick 6\nset clevs" + many + "\nset clevs" + many +
                         " 98\n",
                     dir.path());
  const std::string common = "SET error:  Missing or invalid arguments for ";
  EXPECT_EQ(answer(r.out, "set ccols 1 2"),
            "Number of ccols = 2\nccols won't take effect unless clevs are set.\n");
  EXPECT_EQ(answer(r.out, "set clevs 0 5 10"), "Number of clevs = 3 \n");
  EXPECT_EQ(answer(r.out, "set ccols 1 2 3 4"), "Number of ccols = 4\n");
  EXPECT_EQ(answer(r.out, "set rbrange 10 0"), common + "RBRANGE option\n");
  EXPECT_EQ(answer(r.out, "set rbrange 0 10"), "");
  EXPECT_EQ(answer(r.out, "set cstyle 0"),
            "WARNING cstyle = 0 ; no lines will be plotted; I suggest 1 ...\n");
  EXPECT_EQ(answer(r.out, "set cstyle 2"), "cstyle = 2 \n");
  EXPECT_EQ(answer(r.out, "set rbcols auto"), "Rainbow colors set to auto\n");
  EXPECT_EQ(answer(r.out, "set rbcols 2 3 4"), "Number of rainbow colors = 3\n");
  EXPECT_EQ(answer(r.out, "set clopts 2"), "SET CLOPTS values:  Color = 2 Thickness = -1 Size = 0.09\n");
  EXPECT_EQ(answer(r.out, "set clopts 3 4 x"),
            "SET XLOPTS(YLOPTS,CLOPTS) Syntax Error  Syntax is: SET XLOPTS color thickness size");
  EXPECT_EQ(answer(r.out, "set clskip 0"), common + "CLSKIP option\n");
  EXPECT_EQ(answer(r.out, "set ccolor revrain"), "ccolor = reverse rainbow \n");
  EXPECT_EQ(answer(r.out, "set ccolor rainbow"), "ccolor = rainbow \n");
  EXPECT_EQ(answer(r.out, "set ccolor 5"), "ccolor = 5 \n");
  EXPECT_EQ(answer(r.out, "set black 5"), common + "BLACK option\n");
  EXPECT_EQ(answer(r.out, "set fgvals 1 2 3"), common + "FGVALS option\n");
  EXPECT_EQ(answer(r.out, "set fgvals 1 2 3 4"), "fgvals set\n");
  EXPECT_EQ(answer(r.out, "set csmooth linear"), "");
  EXPECT_EQ(answer(r.out, "set cterp maybe"), common + "CTERP option\n");
  EXPECT_EQ(answer(r.out, "set cint x"), common + "CINT option\n");
  EXPECT_EQ(answer(r.out, "set cmin -5"), "cmin = -5 \n");
  EXPECT_EQ(answer(r.out, "set cthick 6"), "cthick = 6 \n");
  // 98 values are taken, a 99th refuses the list (the answers of these two
  // long lines end the output).
  EXPECT_NE(r.out.find("Number of clevs = 98 \n"), std::string::npos);
  EXPECT_NE(r.out.rfind(common + "CLEVS option\n"), std::string::npos);
  EXPECT_GT(r.out.rfind(common + "CLEVS option\n"), r.out.find("Number of clevs = 98 \n"));
}

TEST(PlotQuery, LastPlotKindAreaAndCoordinates) {
  TempDir dir;
  auto r = run_batch("q w2xy 180 0\nq xy2gr 1 1\nq gxinfo\nopen " + sample +
                         "\nd slp\nq gxinfo\nq w2xy 180 0\nq xy2w 5.5 4.25\nq w2gr 180 0\n"
                         "q gr2w 73 37\nq gr2xy 1 1\nq xy2gr 0.5 1.25\nq w2xy 180\nq xy2w 1\n"
                         "q gr2w x 1\nq w2gr 1\nq gr2xy\nq xy2gr 1\nclear\nq gr2w 1 1\n",
                     dir.path());
  EXPECT_EQ(answer(r.out, "q w2xy 180 0"), "No scaling environment\n");
  EXPECT_EQ(answer(r.out, "q xy2gr 1 1"), "No scaling environment\n");
  const std::string none = answer(r.out, "q gxinfo");
  EXPECT_EQ(none.substr(0, 20), "Last Graphic = Clear") << none;
  // The second gxinfo answer: after the contour plot of slp.
  std::string after = r.out.substr(r.out.find("ka-> d slp"));
  EXPECT_EQ(answer(after, "q gxinfo"),
            "Last Graphic = Contour\nPage Size = 11 by 8.5\nX Limits = 0.5 to 10.5\n"
            "Y Limits = 1.25 to 7.25\nXaxis = Lon  Yaxis = Lat\nMproj = 2\n");
  // 0..360 by 2.5 and -90..90 by 2.5 over that area.
  EXPECT_EQ(answer(after, "q w2xy 180 0"), "X = 5.5  Y = 4.25\n");
  EXPECT_EQ(answer(after, "q xy2w 5.5 4.25"), "Lon = 180  Lat = 0\n");
  EXPECT_EQ(answer(after, "q w2gr 180 0"), "Xdim = 73  Ydim = 37\n");
  EXPECT_EQ(answer(after, "q gr2w 73 37"), "Lon = 180  Lat = 0\n");
  EXPECT_EQ(answer(after, "q gr2xy 1 1"), "X = 0.5  Y = 1.25\n");
  EXPECT_EQ(answer(after, "q xy2gr 0.5 1.25"), "Xdim = 1  Ydim = 1\n");
  EXPECT_EQ(answer(after, "q w2xy 180"), "Query Error: Syntax is QUERY W2XY Lon Lat\n");
  EXPECT_EQ(answer(after, "q xy2w 1"), "QUERY error: Syntax is QUERY XY2W x y\n");
  EXPECT_EQ(answer(after, "q gr2w x 1"), "Query Error: Syntax is QUERY GR2W Xdim Ydim\n");
  EXPECT_EQ(answer(after, "q w2gr 1"), "Query Error: Syntax is QUERY W2GR Lon Lat\n");
  EXPECT_EQ(answer(after, "q gr2xy"), "Query Error: Syntax is QUERY GR2XY Xdim Ydim\n");
  EXPECT_EQ(answer(after, "q xy2gr 1"), "Query Error: Syntax is QUERY XY2GR x y\n");
  EXPECT_EQ(answer(after, "q gr2w 1 1"), "No scaling environment\n");
}

TEST(PlotQuery, ShadesAfterAShadedPlotAndOtherProjections) {
  TempDir dir;
  auto r = run_batch("open " + sample +
                         "\nset gxout shaded\nset cint 10\nd slp\nq shades\nset mproj nps\n"
                         "set lat 20 90\nd slp\nq gxinfo\nset lat -90 90\nd slp\n",
                     dir.path());
  std::string shades = answer(r.out, "q shades");
  ASSERT_EQ(shades.substr(0, 17), "Number of levels ") << shades;
  int n = std::stoi(shades.substr(19));
  // One line per colour: "<" first, ">" last.
  size_t lines = 0;
  for (char c : shades) lines += c == '\n';
  EXPECT_EQ(lines, size_t(n) + 1);
  EXPECT_NE(shades.find(" <"), std::string::npos);
  EXPECT_NE(shades.find(" >\n"), std::string::npos);
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
