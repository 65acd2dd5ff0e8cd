// Helpers of the contour and shading tests: what a frame of the display list
// holds, and a painter that rasterises its polygons in drawing order.
#pragma once

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "gx/contour.h"
#include "gx/gx.h"
#include "gx/metafile.h"
#include "gx/test_drawing_util.h"

namespace cntest {

constexpr float kUndef = -9.99e8f;

struct xy {
  double x, y;
};
struct polyrec {
  int colour;
  std::vector<xy> pts;
};
struct rectrec {
  double xlo, xhi, ylo, yhi;
};

// Polylines (a move starts one) with their colours, polygons, rectangles.
struct frame_content : metafile_sink {
  int cur = 1;
  std::vector<std::vector<xy>> lines;
  std::vector<int> line_colours;
  std::vector<polyrec> polys;
  std::vector<rectrec> rects;
  void colour(int c) override { cur = c; }
  void move(float x, float y) override {
    lines.push_back({{x, y}});
    line_colours.push_back(cur);
  }
  void draw(float x, float y) override { lines.back().push_back({x, y}); }
  void polygon(const float* p, int n) override {
    polys.push_back({cur, {}});
    for (int k = 0; k < n; ++k) polys.back().pts.push_back({p[2 * k], p[2 * k + 1]});
  }
  void rect(float a, float b, float c, float d) override { rects.push_back({a, b, c, d}); }
};

inline frame_content read_frame() {
  frame_content f;
  gxhwalk(stored_frame::drawing, f);
  return f;
}

// A fresh batch page (11 x 8.5) on which grid coordinates are page inches.
using gxtest::fresh_page;

inline std::vector<float> make_grid(int isiz, int jsiz, const std::function<float(int, int)>& f) {
  std::vector<float> g(static_cast<std::size_t>(isiz) * jsiz);
  for (int j = 1; j <= jsiz; ++j)
    for (int i = 1; i <= isiz; ++i) g[(j - 1) * isiz + (i - 1)] = f(i, j);
  return g;
}

inline bool same(const xy& a, const xy& b, double tol = 0.0015) {
  return std::fabs(a.x - b.x) < tol && std::fabs(a.y - b.y) < tol;
}

inline double shoelace(const std::vector<xy>& p) {
  double a = 0;
  for (std::size_t k = 0; k < p.size(); ++k)
    a += p[k].x * p[(k + 1) % p.size()].y - p[(k + 1) % p.size()].x * p[k].y;
  return std::fabs(a) / 2;
}

// Paints the polygons in order (even-odd rule at pixel centres) and returns
// the area each colour ends up covering; index 100 is the unpainted area.
inline std::vector<double> painted_areas(const std::vector<polyrec>& polys, double x0, double y0,
                                         double x1, double y1, double pix) {
  int nx = static_cast<int>((x1 - x0) / pix + 0.5), ny = static_cast<int>((y1 - y0) / pix + 0.5);
  std::vector<signed char> r(static_cast<std::size_t>(nx) * ny, -1);
  std::vector<double> xs;
  for (const polyrec& p : polys)
    for (int row = 0; row < ny; ++row) {
      double y = y0 + (row + 0.5) * pix;
      xs.clear();
      for (std::size_t k = 0; k < p.pts.size(); ++k) {
        xy a = p.pts[k], b = p.pts[(k + 1) % p.pts.size()];
        if ((a.y <= y) != (b.y <= y)) xs.push_back(a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y));
      }
      std::sort(xs.begin(), xs.end());
      for (std::size_t k = 0; k + 1 < xs.size(); k += 2) {
        int c0 = std::max(0, static_cast<int>(std::ceil((xs[k] - x0) / pix - 0.5)));
        int c1 = std::min(nx - 1, static_cast<int>(std::floor((xs[k + 1] - x0) / pix - 0.5)));
        for (int c = c0; c <= c1; ++c) r[static_cast<std::size_t>(row) * nx + c] = p.colour;
      }
    }
  std::vector<double> area(101, 0.0);
  for (signed char c : r) area[c < 0 ? 100 : c] += pix * pix;
  return area;
}

}  // namespace cntest
