// Plots of the sample data through the command language: the kind each
// output type draws, the queries of the last plot's kind, area and
// coordinates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "hardcopy.h"
#include "support/station_writer.h"
#include "support/vemra_run.h"

using dsfiles::answer;
using dsfiles::expect_steps;
using vemra_test::run_batch;
using vemra_test::TempDir;

namespace {

const std::string sample = std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl";

TEST(PlotQuery, LastPlotKindAreaAndCoordinates) {
  TempDir dir;
  const std::string none = "No scaling environment\n";
  expect_steps(dir, "",
               {
                   {"q w2xy 180 0", none},
                   {"q xy2gr 1 1", none},
                   {"open " + sample, "-"},
                   {"d slp", "-"},
                   {"q gxinfo",
                    "Last Graphic = Contour\nPage Size = 11 by 8.5\nX Limits = 0.5 to 10.5\n"
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

std::string kind(const std::string& out, const std::string& display) {
  size_t p = out.find("ka-> " + display + "\n");
  if (p == std::string::npos) return "<missing>";
  p = out.find("Last Graphic = ", p);
  if (p == std::string::npos) return "<none>";
  p += 15;
  return out.substr(p, out.find('\n', p) - p);
}

// Each vector, streamline, barb, grid-value and 1-D output type draws its
// kind of plot (as "q gxinfo" names it) instead of refusing.
TEST(PlotKinds, EachOutputTypeDrawsItsPlot) {
  TempDir dir;
  auto r = run_batch("open " + sample +
                         "\nset lev 500\nset gxout vector\nd u;v\nq gxinfo\n"
                         "set gxout barb\nd u;v;t\nq gxinfo\n"
                         "set gxout stream\nd u*1;v\nq gxinfo\n"
                         "set gxout grid\nd t*1\nq gxinfo\n"
                         "set lat 45\nset gxout bar\nd t\nq gxinfo\n"
                         "set gxout line\nd t+1\nq gxinfo\n"
                         "set gxout linefill\nd t-1\nd t;t-5\nq gxinfo\n",
                     dir.path());
  EXPECT_EQ(r.out.find("not available"), std::string::npos) << r.out;
  EXPECT_EQ(kind(r.out, "d u;v"), "Vector");
  EXPECT_EQ(kind(r.out, "d u;v;t"), "Barb");
  EXPECT_EQ(kind(r.out, "d u*1;v"), "Stream");
  EXPECT_EQ(kind(r.out, "d t*1"), "Grid");
  EXPECT_EQ(kind(r.out, "d t"), "Bar");
  EXPECT_EQ(kind(r.out, "d t+1"), "Line");
  EXPECT_EQ(kind(r.out, "d t;t-5"), "LineFill");
  EXPECT_EQ(answer(r.out, "d t-1"), "Error plotting linefill:  Only one grid provided\n");
}

// Error bars run from the first grid to the second: the value axis takes in
// both, so every bar is whole, its two caps across it inside the frame,
// and every bar spans the same 10 degrees (t-5 to t+5).
TEST(PlotKinds, ErrorBarsAreDrawnWholeInsideTheFrame) {
  TempDir dir;
  auto r = run_batch("open " + sample +
                         "\nset x 5\nset gxout errbar\nset timelab off\nenable print e.meta\n"
                         "d t-5;t+5\nprint\ndisable print\nq gxinfo\n",
                     dir.path());
  EXPECT_NE(answer(r.out, "q gxinfo").find("Y Limits = 0.75 to 7.75\n"), std::string::npos);
  auto frames = hardcopy::frames_of(vemra_test::read_file(dir.file("e.meta")));
  ASSERT_FALSE(frames.empty());
  const auto& f = frames[0];
  auto cap_at = [&](double x, double y) {
    for (const hardcopy::segment& s : f)
      if (std::fabs(s.y - y) < 0.002 && std::fabs(s.y2 - y) < 0.002 && s.x < x && x < s.x2 &&
          s.x2 - s.x < 0.2)  // a cap, not the frame
        return true;
    return false;
  };
  std::vector<double> lengths;
  double top = 0;
  for (const hardcopy::segment& s : f) {
    if (std::fabs(s.x - s.x2) > 0.0005 || s.y2 - s.y < 0.3) continue;  // not text
    if (!cap_at(s.x, s.y) || !cap_at(s.x, s.y2)) continue;
    lengths.push_back(s.y2 - s.y);
    top = std::max(top, s.y2);
  }
  // One bar per latitude of the sample grid (2.5 degrees from pole to pole).
  ASSERT_EQ(lengths.size(), 73u);
  for (double l : lengths) EXPECT_NEAR(l, lengths[0], 0.003);
  EXPECT_LT(top, 7.75);
}

// A 1-D plot puts levels up the y axis and any other dimension along x,
// with the values on the other axis; xyrev swaps the two. The setting is
// cleared with the display, so each plot sets it again.
TEST(PlotKinds, OneDimensionalPlotsPutLevelsUpAndXyrevSwaps) {
  TempDir dir;
  struct plot {
    std::string where, out, expr, plain, swapped;
  } plots[] = {
      {"set z 1 6", "line", "t", "Xaxis = Val  Yaxis = Lev", "Xaxis = Lev  Yaxis = Val"},
      {"set z 1 6", "bar", "t", "Xaxis = Val  Yaxis = Lev", "Xaxis = Lev  Yaxis = Val"},
      {"set z 1 6", "linefill", "t;t-5", "Xaxis = Val  Yaxis = Lev", "Xaxis = Lev  Yaxis = Val"},
      {"set t 1 12", "line", "t", "Xaxis = Time  Yaxis = Val", "Xaxis = Val  Yaxis = Time"},
      {"set lon 0 90", "linefill", "t;t-5", "Xaxis = Lon  Yaxis = Val", "Xaxis = Val  Yaxis = Lon"},
  };
  for (const plot& p : plots) {
    for (bool xyrev : {false, true}) {
      auto r =
          run_batch("open " + sample + "\nset lon 20\nset lat 30\n" + p.where + "\nset gxout " +
                        p.out + (xyrev ? "\nset xyrev on" : "") + "\nd " + p.expr + "\nq gxinfo\n",
                    dir.path());
      const std::string info = answer(r.out, "q gxinfo");
      EXPECT_NE(info.find((xyrev ? p.swapped : p.plain) + "\n"), std::string::npos)
          << p.where << " " << p.out << (xyrev ? " xyrev\n" : "\n") << info;
    }
  }
}

// One point, five levels, four times: t at 200 hPa 241 to 244.9 K, the
// profile at the first time 290 K at 1000 hPa down to 241 K.
void write_profiles(const TempDir& dir) {
  vemra_test::write_file(dir.file("p.ctl"),
                         "dset ^p.dat\nundef -9.99e33\nxdef 1 linear 0 10\nydef 1 linear 40 10\n"
                         "zdef 5 levels 1000 850 500 300 200\ntdef 4 linear 00z01jan2000 6hr\n"
                         "vars 1\nt 5 0 T\nendvars\n");
  std::vector<float> v;
  for (int t = 0; t < 4; t++)
    for (float base : {290.0f, 280.0f, 265.0f, 250.0f, 241.0f})
      v.push_back(base + float(t) * (base == 241.0f ? 1.3f : 0.5f));
  vemra_test::write_file(dir.file("p.dat"),
                         std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4));
}

// The value at a page position of the last plot, read through "q xy2w".
double value_at(const std::string& out, const std::string& query) {
  const std::string a = answer(out, query);
  const size_t p = a.rfind("Val = ");  // y's on a scatter plot
  return p == std::string::npos ? std::nan("") : std::atof(a.c_str() + p + 6);
}

// A new frame starts with no plot and no value axis from the frame before:
// neither a display that failed nor one of another kind hands a level
// profile the axis of a time series drawn before the clear.
TEST(PlotKinds, AProfileAfterClearScalesToItsOwnValues) {
  TempDir dir;
  write_profiles(dir);
  const std::string series = "open p.ctl\nset lev 200\nset t 1 4\nd t\nclear\n";
  const std::string profile =
      "set t 1\nset lev 1000 200\nset gxout line\nenable print p.meta\nd t\nprint\n"
      "disable print\nq gxinfo\nq xy2w 2.66667 4\nq xy2w 8.33333 4\n";
  const struct {
    const char* what;
    std::string between;
  } cases[] = {
      {"a failed display", "set t 1\nset lev 1000 200\nset gxout linefill\nd t\n"},
      {"a contour plot", "set lev 1000 200\nset gxout contour\nd t\n"},
  };
  for (const auto& c : cases) {
    auto r = run_batch(series + c.between + profile, dir.path());
    if (c.between.find("linefill") != std::string::npos) {
      EXPECT_NE(r.out.find("Error plotting linefill:  Only one grid provided\n"),
                std::string::npos);
    }
    const std::string info = answer(r.out, "q gxinfo");
    ASSERT_NE(info.find("X Limits = 2.66667 to 8.33333\nY Limits = 0.75 to 7.75\n"
                        "Xaxis = Val  Yaxis = Lev\n"),
              std::string::npos)
        << c.what << "\n"
        << info;
    // The value axis across the plot area holds the profile, 241 to 290 K.
    const double lo = value_at(r.out, "q xy2w 2.66667 4");
    const double hi = value_at(r.out, "q xy2w 8.33333 4");
    EXPECT_LE(lo, 241.0) << c.what;
    EXPECT_GE(hi, 290.0) << c.what;
    // As the first plot of its frame it carries the label at the lower left.
    auto frames = hardcopy::frames_of(vemra_test::read_file(dir.file("p.meta")));
    ASSERT_FALSE(frames.empty()) << c.what;
    size_t label = 0;
    for (const hardcopy::segment& s : frames[0])
      if (std::max(s.x, s.x2) < 1.5 && std::max(s.y, s.y2) < 0.2) label++;
    EXPECT_GT(label, 0u) << c.what;
  }
}

// Limits of the plot area from "q gxinfo": x from, x to, y from, y to.
std::vector<double> area_limits(const std::string& info) {
  std::vector<double> v(4, std::nan(""));
  const size_t x = info.find("X Limits = "), y = info.find("Y Limits = ");
  if (x == std::string::npos || y == std::string::npos) return v;
  std::sscanf(info.c_str() + x, "X Limits = %lf to %lf", &v[0], &v[1]);
  std::sscanf(info.c_str() + y, "Y Limits = %lf to %lf", &v[2], &v[3]);
  return v;
}

// Five by five points a degree apart, zero but for a single 1 in one corner
// (one variable per corner). At level 0.5 the contour cuts that corner's
// cell half way along its two sides: from grid point (5, 5), the top-right,
// it runs from (4.5, 5) to (5, 4.5). The plot area spans grid points 1 to 5
// both ways, so grid point g lies (g - 1) / 4 of the way across it.
TEST(PlotKinds, AContourCutsEachCornerOfTheGrid) {
  TempDir dir;
  vemra_test::write_file(dir.file("c.ctl"),
                         "dset ^c.dat\nundef -9.99e33\nxdef 5 linear 0 1\nydef 5 linear 0 1\n"
                         "zdef 1 levels 1000\ntdef 1 linear 00z01jan2000 1dy\nvars 4\n"
                         "bl 0 99 bottom left\nbr 0 99 bottom right\ntl 0 99 top left\n"
                         "tr 0 99 top right\nendvars\n");
  const int corners[4][2] = {{1, 1}, {5, 1}, {1, 5}, {5, 5}};
  std::vector<float> v;
  for (const auto& c : corners)
    for (int j = 1; j <= 5; j++)
      for (int i = 1; i <= 5; i++) v.push_back(i == c[0] && j == c[1] ? 1.0f : 0.0f);
  vemra_test::write_file(dir.file("c.dat"),
                         std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4));
  // Straight lines between the crossings, without labels.
  const std::string contour = "set gxout contour\nset clevs 0.5\nset clab off\nset cterp off\n";
  const struct {
    const char* var;
    int i, j;           // the corner holding the 1
    std::string under;  // drawn first, in the same frame
  } cases[] = {
      {"bl", 1, 1, ""},
      {"br", 5, 1, ""},
      {"tl", 1, 5, ""},
      {"tr", 5, 5, ""},
      {"tr", 5, 5, "set gxout shaded\nset clevs 0.5\nd tr\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.var) + (c.under.empty() ? "" : " over shading"));
    auto r = run_batch("open c.ctl\nset mpdraw off\nset grid off\nenable print c.meta\n" + c.under +
                           contour + "d " + c.var + "\nprint\ndisable print\nq gxinfo\n",
                       dir.path());
    const std::vector<double> a = area_limits(answer(r.out, "q gxinfo"));
    auto page_x = [&](double g) { return a[0] + (g - 1) / 4 * (a[1] - a[0]); };
    auto page_y = [&](double g) { return a[2] + (g - 1) / 4 * (a[3] - a[2]); };
    // The crossings on the corner cell's row and column edges.
    const double in_i = c.i == 1 ? 1.5 : 4.5, in_j = c.j == 1 ? 1.5 : 4.5;
    const double want[2][2] = {{page_x(in_i), page_y(c.j)}, {page_x(c.i), page_y(in_j)}};
    auto frames = hardcopy::frames_of(vemra_test::read_file(dir.file("c.meta")));
    ASSERT_FALSE(frames.empty());
    // Inside the area, the frame and its axes are level or upright: what
    // slants there is contour.
    std::vector<hardcopy::segment> slanted;
    auto inside = [&](double x, double y) {
      return x > a[0] - 0.002 && x < a[1] + 0.002 && y > a[2] - 0.002 && y < a[3] + 0.002;
    };
    for (const hardcopy::segment& s : frames[0])
      if (inside(s.x, s.y) && inside(s.x2, s.y2) && std::fabs(s.x - s.x2) > 0.002 &&
          std::fabs(s.y - s.y2) > 0.002)
        slanted.push_back(s);
    ASSERT_EQ(slanted.size(), 1u);
    const hardcopy::segment& s = slanted[0];
    const bool forward = std::fabs(s.x - want[0][0]) < 0.002;
    const double* p = forward ? want[0] : want[1];
    const double* q = forward ? want[1] : want[0];
    EXPECT_NEAR(s.x, p[0], 0.002);
    EXPECT_NEAR(s.y, p[1], 0.002);
    EXPECT_NEAR(s.x2, q[0], 0.002);
    EXPECT_NEAR(s.y2, q[1], 0.002);
  }
}

// Values beyond 9.99e33 are drawn as any others. The sample's 500 hPa t
// scaled by 1e34 or -1e34 draws, in each colour, the lines (inches) and
// fills (count) its unscaled field, t or -t, draws; a station series or
// profile scaled so has the unscaled one's value axis times the scale; a
// constant series of 2e36, against which five units vanish, gets an axis
// five tenths of its decade either side.
TEST(PlotKinds, ValuesBeyondTheOldBoundAreDrawnLikeAnyOthers) {
  TempDir dir;
  stnw::dataset ds;
  ds.surface_vars = {"v", "c"};
  ds.level_vars = {"p"};
  ds.times = {
      {stnw::upper_report("KAAA", 40, 20, {{1000, {290}}, {850, {280}}, {500, {265}}}, {200, 2})},
      {stnw::surface_report("KAAA", 40, 20, {300, 2})},
      {stnw::surface_report("KAAA", 40, 20, {250, 2})}};
  stnw::write(dir.path(), "s", ds);
  const std::string grid = "open " + sample + "\nset lev 500\nset clab off\nset gxout ";
  const std::string series = "open s.ctl\nset lon 20\nset lat 40\nset t 1 3\n";
  const std::string profile = "open s.ctl\nset lon 20\nset lat 40\nset lev 1000 500\n";
  const struct {
    std::string setup, scaled, reference;
    // 1: what is drawn is the reference's; else the value axis is the
    // reference's times this, or with 0 runs from want[0] to want[1].
    double factor;
    double want[2];
  } rows[] = {
      {grid + "contour", "t*1e34", "t", 1, {}}, {grid + "contour", "t*-1e34", "-t", 1, {}},
      {grid + "shaded", "t*1e34", "t", 1, {}},  {grid + "shaded", "t*-1e34", "-t", 1, {}},
      {grid + "grfill", "t*1e34", "t", 1, {}},  {grid + "grfill", "t*-1e34", "-t", 1, {}},
      {series, "v*1e34", "v", 1e34, {}},        {series, "v*-1e34", "v", -1e34, {}},
      {profile, "p*1e34", "p", 1e34, {}},       {series, "c*1e36", "", 0, {1.5e36, 2.5e36}},
  };
  struct drawn {
    std::map<int, double> by_colour;
    double ends[2];  // the value axis at the plot area's ends
  };
  auto plot = [&](const std::string& setup, const std::string& expr) {
    const bool rotated = setup == profile;
    const std::string ends[2] = {rotated ? "q xy2w 2.66667 4" : "q xy2w 5 0.75",
                                 rotated ? "q xy2w 8.33333 4" : "q xy2w 5 7.75"};
    auto r = run_batch(setup + "\nenable print f.meta\nd " + expr + "\nprint\ndisable print\n" +
                           ends[0] + "\n" + ends[1] + "\n",
                       dir.path());
    const std::string meta = vemra_test::read_file(dir.file("f.meta"));
    drawn d{{}, {value_at(r.out, ends[0]), value_at(r.out, ends[1])}};
    const auto fills = hardcopy::fills_of(meta);
    for (const auto& [colour, n] : fills[0]) d.by_colour[colour] = n;
    const auto lines = hardcopy::frames_of(meta);
    for (const hardcopy::segment& s : lines[0]) d.by_colour[-s.colour] += s.length();
    return d;
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.setup + "\nd " + row.scaled);
    const drawn got = plot(row.setup, row.scaled);
    if (row.factor != 1) {
      const drawn ref = row.reference.empty() ? drawn{} : plot(row.setup, row.reference);
      for (int k = 0; k < 2; k++) {
        // A negative scale turns the axis over: its low end is the reference's high.
        const double want =
            row.factor ? ref.ends[row.factor < 0 ? 1 - k : k] * row.factor : row.want[k];
        EXPECT_NEAR(got.ends[k], want, std::fabs(want) * 1e-5) << "end " << k;
      }
      continue;
    }
    const drawn ref = plot(row.setup, row.reference);
    // Line colours are kept negative, fill colours positive. More than the
    // frame and map alone: the field itself is drawn.
    EXPECT_GT(ref.by_colour.size(), 3u);
    for (const auto& [colour, amount] : ref.by_colour)
      EXPECT_NEAR(got.by_colour.count(colour) ? got.by_colour.at(colour) : 0.0, amount,
                  amount * 0.01 + 0.01)
          << "colour " << colour;
    EXPECT_EQ(got.by_colour.size(), ref.by_colour.size());
  }
}

// The strokes of a label, moved so that its lowest and leftmost points lie
// on 0, page inches.
std::vector<hardcopy::segment> shape_of(std::vector<hardcopy::segment> strokes) {
  double x0 = 1e9, y0 = 1e9;
  for (const hardcopy::segment& s : strokes) {
    x0 = std::min({x0, s.x, s.x2});
    y0 = std::min({y0, s.y, s.y2});
  }
  for (hardcopy::segment& s : strokes) s = {s.x - x0, s.y - y0, s.x2 - x0, s.y2 - y0, s.colour};
  return strokes;
}

// Whether two shapes hold the same strokes, to the file's thousandth of an inch.
bool same_shape(const std::vector<hardcopy::segment>& a, const std::vector<hardcopy::segment>& b) {
  if (a.size() != b.size()) return false;
  auto near = [](double u, double v) { return std::fabs(u - v) < 0.0025; };
  for (const hardcopy::segment& s : a) {
    bool found = false;
    for (const hardcopy::segment& t : b)
      found = found || (near(s.x, t.x) && near(s.y, t.y) && near(s.x2, t.x2) && near(s.y2, t.y2)) ||
              (near(s.x, t.x2) && near(s.y, t.y2) && near(s.x2, t.x) && near(s.y2, t.y));
    if (!found) return false;
  }
  return true;
}

// A series whose values are all one constant gets a value axis whose labels
// read their own places: ticks evenly spaced upwards (to the rounding of a
// float page mapping), the constant inside, and each label's text (compared
// stroke for stroke with the same text drawn by "draw string") the number
// the axis has at its tick. Constants whose unit labels print apart keep
// five units either side with a label at each unit; a scatter plot's
// constant gets the same axis.
TEST(PlotKinds, AConstantSeriesGetsAnAxisItsLabelsRead) {
  TempDir dir;
  stnw::dataset ds;
  ds.surface_vars = {"c"};
  ds.times = {{stnw::surface_report("KAAA", 40, 20, {2})},
              {stnw::surface_report("KAAA", 40, 20, {2})},
              {stnw::surface_report("KAAA", 40, 20, {2})}};
  stnw::write(dir.path(), "s", ds);
  const std::string line = "open " + sample + "\nset lat 0\nset lon 1 10\n";
  const std::string series = "open " + sample + "\nset lon 0\nset lat 0\nset t 1 12\n";
  const std::string station = "open s.ctl\nset lon 20\nset lat 40\nset t 1 3\n";
  const std::string scatter = line + "set gxout scatter\n";
  const struct {
    std::string setup, expr;
    double value;
    bool units;  // five units either side, a label at each
  } rows[] = {
      {line, "5+lon*0", 5, true},
      {line, "100+lon*0", 100, true},
      {line, "1000+lon*0", 1000, true},
      {line, "-1000+lon*0", -1000, true},
      {line, "9990+lon*0", 9990, true},
      {line, "10000+lon*0", 10000, true},
      {line, "99990+lon*0", 99990, true},
      {line, "101325+lon*0", 101325, true},
      {line, "-999990+lon*0", -999990, true},
      {line, "999999+lon*0", 999999, false},
      {line, "1e6+lon*0", 1e6, false},
      {line, "3e7+lon*0", 3e7, false},
      {line, "1e8+lon*0", 1e8, false},
      {line, "-1e8+lon*0", -1e8, false},
      {line, "2e36+lon*0", 2e36, false},
      {series, "slp*0+1e8", 1e8, false},
      {series, "slp*0+101325", 101325, true},
      {station, "c*5e7", 1e8, false},
      {scatter, "lon;lon*0+1e8", 1e8, false},
      {scatter, "lon;lon*0-1e6", -1e6, false},
      {scatter, "lon;lon*0+101325", 101325, true},
  };
  constexpr double size = 0.2;  // label height; the ticks are 0.4 of it
  // One row; a row that cannot go on ends alone.
  auto check = [&](const auto& row) {
    const std::string plot = row.setup + "set xlab off\nset ylopts 1 1 " + std::to_string(size) +
                             "\nenable print a.meta\nd " + row.expr + "\nprint\ndisable print\n";
    const std::vector<double> area =
        area_limits(answer(run_batch(plot + "q gxinfo\n", dir.path()).out, "q gxinfo"));
    // The values at the bottom and top of the plot area.
    auto query = [](double y) {
      char q[40];
      std::snprintf(q, sizeof q, "q xy2w 5 %g", y);
      return std::string(q);
    };
    auto r = run_batch(plot + query(area[2]) + "\n" + query(area[3]) + "\n", dir.path());
    const double lo = value_at(r.out, query(area[2])), hi = value_at(r.out, query(area[3]));
    ASSERT_LT(lo, hi) << r.out;
    EXPECT_GT(row.value, lo);
    EXPECT_LT(row.value, hi);
    if (row.units) {
      EXPECT_EQ(lo, row.value - 5);
      EXPECT_EQ(hi, row.value + 5);
    }
    // Ticks on the left edge, pointing out of the plot area.
    const auto frames = hardcopy::frames_of(vemra_test::read_file(dir.file("a.meta")));
    ASSERT_FALSE(frames.empty());
    const double left = area[0], tick = 0.4 * size;
    std::vector<double> ticks;
    for (const hardcopy::segment& s : frames[0]) {
      const double a = std::max(s.x, s.x2), b = std::min(s.x, s.x2);
      if (std::fabs(s.y - s.y2) < 0.0005 && std::fabs(a - left) < 0.002 &&
          std::fabs(a - b - tick) < 0.003)
        ticks.push_back(s.y);
    }
    std::sort(ticks.begin(), ticks.end());
    ASSERT_GE(ticks.size(), 3u) << r.out;
    if (row.units) {
      EXPECT_EQ(ticks.size(), 11u);
    }
    // A page position worked out in float from the value is off by up to
    // a float's rounding of the value's distance in inches from 0.
    const double inches = (area[3] - area[2]) / (hi - lo);
    const double rounding = 2 * std::fabs(row.value) * inches * FLT_EPSILON;
    for (size_t k = 1; k < ticks.size(); k++) {
      EXPECT_GT(ticks[k], ticks[k - 1]);
      EXPECT_NEAR(ticks[k] - ticks[k - 1], ticks[1] - ticks[0], 0.003 + 2 * rounding) << k;
    }
    // The number at each tick, rounded to what its place tells, and its text.
    const double slack = (0.002 + rounding) / inches;
    const double unit = std::pow(10.0, std::ceil(std::log10(slack)));
    std::vector<std::string> texts;
    for (double y : ticks) {
      const double v = lo + (y - area[2]) / (area[3] - area[2]) * (hi - lo);
      char t[32];
      std::snprintf(t, sizeof t, "%g", std::round(v / unit) * unit + 0.0);
      EXPECT_NEAR(std::atof(t), v, slack) << t << " labels the tick at " << v;
      if (row.units) {
        EXPECT_NEAR(v, lo + double(texts.size()), slack);
      }
      texts.push_back(t);
    }
    // The same texts drawn one under the other, left to right from x = 1.
    std::string draws = "set strsiz " + std::to_string(0.8 * size) + " " + std::to_string(size) +
                        "\nset string 1 bl\nenable print b.meta\n";
    for (size_t k = 0; k < texts.size(); k++)
      draws += "draw string 1 " + std::to_string(0.5 + 0.6 * double(k)) + " " + texts[k] + "\n";
    run_batch(draws + "print\ndisable print\n", dir.path());
    const auto drawn = hardcopy::frames_of(vemra_test::read_file(dir.file("b.meta")));
    ASSERT_FALSE(drawn.empty());
    auto strokes_in = [](const std::vector<hardcopy::segment>& all, double xhi, double ylo,
                         double yhi) {
      std::vector<hardcopy::segment> v;
      for (const hardcopy::segment& s : all)
        if (std::max(s.x, s.x2) < xhi && std::min(s.y, s.y2) > ylo && std::max(s.y, s.y2) < yhi)
          v.push_back(s);
      return shape_of(v);
    };
    for (size_t k = 0; k < texts.size(); k++) {
      const auto label =
          strokes_in(frames[0], left - tick - 0.01, ticks[k] - 0.6 * size, ticks[k] + 0.6 * size);
      const double base = 0.5 + 0.6 * double(k);
      const auto want = strokes_in(drawn[0], 99, base - 0.1 * size, base + 1.1 * size);
      EXPECT_FALSE(want.empty()) << texts[k];
      EXPECT_TRUE(same_shape(label, want)) << "the label at " << ticks[k] << " is no " << texts[k];
    }
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.setup + "d " + row.expr);
    check(row);
  }
}

// Ten steps of a one-minute axis past 2^24, where a float holds only every
// other whole number, are drawn where the first ten are (the page queries
// and the picture itself), 1/9 of the axis apart, its ends naming their
// minutes, in line, bar and rotated graphs and either way round a
// time-longitude plot; the statistics name its first minute. A station
// series there is refused.
TEST(PlotQuery, TimeAxesPastAFloatsWholeNumbersPlaceEachStep) {
  TempDir dir;
  const long long far = 20000001;
  const std::string tdef = "tdef 30000000 linear 00Z01JAN2000 1mn\n";
  vemra_test::write_file(dir.file("m.ctl"),
                         "dset ^m.dat\nundef -9e33\nxdef 4 linear 0 10\nydef 1 "
                         "linear 0 1\nzdef 1 levels 1\nvars 1\nv 0 99 v\nendvars\n" +
                             tdef);
  vemra_test::write_file(dir.file("m.dat"), "");
  std::filesystem::resize_file(dir.file("m.dat"), 16 * 30000000LL);
  auto minute = [](long long g) {  // step g as a query names it
    using namespace std::chrono;
    const sys_time<minutes> t = sys_days{year{2000} / 1 / 1} + minutes{g - 1};
    const year_month_day d{floor<days>(t)};
    const hh_mm_ss hm{t - floor<days>(t)};
    char b[40];
    std::snprintf(b, sizeof b, "%02d:%02dZ%02u%.3s%d", int(hm.hours().count()),
                  int(hm.minutes().count()), unsigned(d.day()),
                  "JANFEBMARAPRMAYJUNJULAUGSEPOCTNOVDEC" + 3 * (unsigned(d.month()) - 1),
                  int(d.year()));
    return std::string(b);
  };
  // Set-up, and "q gr2xy" with the step as %lld.
  const std::pair<std::string, std::string> rows[] = {{"set x 1", "%lld 0"},
                                                      {"set x 1\nset gxout bar", "%lld 0"},
                                                      {"set x 1\nset xyrev on", "0 %lld"},
                                                      {"set x 1 4", "1 %lld"},
                                                      {"set x 1 4\nset xyrev on", "%lld 1"}};
  for (const auto& [setup, fmt] : rows) {
    const int on = fmt[0] == '%' ? 0 : 1;  // the page coordinate along time
    auto cmd = [&](long long g) {
      char b[64];
      std::snprintf(b, sizeof b, ("q gr2xy " + fmt).c_str(), g);
      return std::string(b);
    };
    std::string in = "open m.ctl\n" + setup + "\n";
    for (long long first : {1LL, far}) {
      in += "set t " + std::to_string(first) + " " + std::to_string(first + 9) + "\nd v+lon\n";
      for (long long k = 0; k < 10; k++) in += cmd(first + k) + "\n";
    }
    const std::string out = run_batch(in, dir.path()).out;
    float p[2][10][2];
    for (int s = 0; s < 20; s++) {
      float* q = p[s / 10][s % 10];
      const std::string a = answer(out, cmd((s < 10 ? 1 : far) + s % 10));
      ASSERT_EQ(std::sscanf(a.c_str(), "X = %f  Y = %f", &q[0], &q[1]), 2) << a;
    }
    const float lo = p[1][0][on], hi = p[1][9][on];
    for (int k = 0; k < 10; k++) {
      EXPECT_NEAR(p[1][k][on], lo + float(k) * (hi - lo) / 9, 1e-4) << setup << " step " << k;
      EXPECT_EQ(p[1][k][on], p[0][k][on]) << setup << " step " << k;
    }
    auto at = [&](float x) {
      return on ? "q xy2w 5 " + std::to_string(x) : "q xy2w " + std::to_string(x) + " 4";
    };
    const std::string said = run_batch(in + at(lo) + "\n" + at(hi) + "\n", dir.path()).out;
    EXPECT_NE(answer(said, at(lo)).find("Time = " + minute(far)), std::string::npos) << said;
    EXPECT_NE(answer(said, at(hi)).find("Time = " + minute(far + 9)), std::string::npos) << said;
    // What is drawn: without the axis labels, which name other minutes, the
    // far steps' picture is the first ten's, and it draws in the plot area.
    // Bars are outlined, so that their edges are lines.
    std::string pictures =
        "open m.ctl\n" + setup + "\nset xlab off\nset ylab off\nset baropts outline\n";
    for (long long first : {1LL, far})
      pictures += "clear\nset t " + std::to_string(first) + " " + std::to_string(first + 9) +
                  "\nenable print " + std::to_string(first) +
                  ".meta\nd v+lon\nprint\ndisable print\n";
    const std::vector<double> area =
        area_limits(answer(run_batch(pictures + "q gxinfo\n", dir.path()).out, "q gxinfo"));
    const auto near = hardcopy::frames_of(vemra_test::read_file(dir.file("1.meta")));
    const auto away =
        hardcopy::frames_of(vemra_test::read_file(dir.file(std::to_string(far) + ".meta")));
    ASSERT_FALSE(near.empty());
    ASSERT_FALSE(away.empty());
    int inside = 0;
    for (const hardcopy::segment& g : near[0])
      inside += std::min(g.x, g.x2) > area[0] + 0.01 && std::max(g.x, g.x2) < area[1] - 0.01 &&
                std::min(g.y, g.y2) > area[2] + 0.01 && std::max(g.y, g.y2) < area[3] - 0.01;
    EXPECT_GT(inside, 0) << setup;
    auto same = [](const hardcopy::segment& a, const hardcopy::segment& b) {
      return a.x == b.x && a.y == b.y && a.x2 == b.x2 && a.y2 == b.y2;
    };
    EXPECT_TRUE(std::equal(near[0].begin(), near[0].end(), away[0].begin(), away[0].end(), same))
        << setup << ": " << away[0].size() << " lines drawn far off, " << near[0].size() << " near";
  }
  // The statistics name the far step's own minute as the start.
  const std::string stat = run_batch("open m.ctl\nset x 1\nset t " + std::to_string(far) + " " +
                                         std::to_string(far + 9) + "\nset gxout stat\nd v\n",
                                     dir.path())
                               .out;
  EXPECT_NE(stat.find("I Dimension = " + std::to_string(far) + " to " + std::to_string(far + 9) +
                      " Linear " + minute(far) + " 1mn\n"),
            std::string::npos)
      << stat;
  // A station set of as many times, with one report at the far step.
  stnw::dataset ds;
  ds.surface_vars = {"ps"};
  vemra_test::write_file(dir.file("s.dat"),
                         stnw::group_bytes({stnw::surface_report("A", 40, -100, {5})}, ds, false));
  std::string map = "Vemra_stnmapV002";
  for (int32_t v : {30000000, 1}) stnw::put_be_int(map, v);
  vemra_test::write_file(dir.file("s.map"), map);
  std::filesystem::resize_file(dir.file("s.map"), map.size() + 8 * 30000000LL);
  std::fstream(dir.file("s.map"), std::ios::in | std::ios::out | std::ios::binary)
      .seekp(std::streamoff(map.size() + 4 * 30000000LL + 4 * (far - 1)))
      .write("\0\0\0\1", 4);  // its count of reports
  vemra_test::write_file(
      dir.file("s.ctl"),
      "dset ^s.dat\ndtype station\nstnmap ^s.map\nundef -999\nvars 1\nps 0 0 p\nendvars\n" + tdef);
  vemra_test::write_file(dir.file("rc.gs"), "'d ps'\nsay 'rc=' rc\n");
  const std::string out =
      run_batch("open s.ctl\nset lon -100\nset lat 40\nset t " + std::to_string(far) + " " +
                    std::to_string(far + 9) + "\nrun rc.gs\n",
                dir.path())
          .out;
  EXPECT_EQ(answer(out, "run rc.gs"),
            "DISPLAY error:  station times past 16777216 steps cannot be placed\nrc=1\n");
}

}  // namespace
