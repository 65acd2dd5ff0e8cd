// Vector, streamline, barb, grid-value, scatter and 1-D plots of the sample
// data through the command language: each display draws its kind of plot
// (as "q gxinfo" names it) instead of refusing, and the refusals read well.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "dataset_files.h"
#include "support/vemra_run.h"

using dsfiles::answer;
using vemra_test::run_batch;
using vemra_test::TempDir;

namespace {

const std::string sample = std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl";

std::string kind(const std::string& out, const std::string& display) {
  size_t p = out.find("ka-> " + display + "\n");
  if (p == std::string::npos) return "<missing>";
  p = out.find("Last Graphic = ", p);
  if (p == std::string::npos) return "<none>";
  p += 15;
  return out.substr(p, out.find('\n', p) - p);
}

TEST(VectorPlots, EachOutputTypeDrawsItsPlot) {
  TempDir dir;
  auto r = run_batch("open " + sample +
                         "\nset lev 500\nset gxout vector\nd u;v\nq gxinfo\n"
                         "set gxout barb\nd u;v;t\nq gxinfo\n"
                         "set gxout stream\nd u*1;v\nq gxinfo\n"
                         "set gxout grid\nd t*1\nq gxinfo\n"
                         "set lat 45\nset gxout bar\nd t\nq gxinfo\n"
                         "set gxout line\nd t+1\nq gxinfo\n"
                         "set gxout linefill\nd t-1\nd t;t-5\nq gxinfo\n"
                         "clear\nset lat -90 90\nset gxout scatter\nd t;t\nq gxinfo\n",
                     dir.path());
  EXPECT_EQ(r.out.find("not available"), std::string::npos) << r.out;
  EXPECT_EQ(kind(r.out, "d u;v"), "Vector");
  EXPECT_EQ(kind(r.out, "d u;v;t"), "Barb");
  EXPECT_EQ(kind(r.out, "d u*1;v"), "Stream");
  EXPECT_EQ(kind(r.out, "d t*1"), "Grid");
  EXPECT_EQ(kind(r.out, "d t"), "Bar");
  EXPECT_EQ(kind(r.out, "d t+1"), "Line");
  EXPECT_EQ(kind(r.out, "d t;t-5"), "LineFill");
  // Scatter of a field against itself: the same range on both axes.
  const std::string ranges = answer(r.out, "d t;t");
  float a, b, c, d;
  ASSERT_EQ(std::sscanf(ranges.c_str(), "%g %g %g %g", &a, &b, &c, &d), 4) << ranges;
  EXPECT_EQ(a, c);
  EXPECT_EQ(b, d);
  EXPECT_LT(a, b);
  EXPECT_EQ(answer(r.out, "d t-1"), "Error plotting linefill:  Only one grid provided\n");
}

}  // namespace
