// Helpers of the contour and shading tests: the lines and filled polygons of
// the current frame, read back from the display list, and a painter that
// rasterises the polygons in drawing order.
#pragma once

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "gx/gx.h"
#include "gx/metafile.h"

namespace cntest {

struct xy {
  double x, y;
};

struct polyrec {
  int colour;
  std::vector<xy> pts;
};

struct rectrec {
  int colour;
  double xlo, xhi, ylo, yhi;
};

// What one frame holds: polylines (a move starts a new one), polygons and
// rectangles with the colour in force for each.
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
  void draw(float x, float y) override {
    if (lines.empty()) {
      lines.push_back({});
      line_colours.push_back(cur);
    }
    lines.back().push_back({x, y});
  }
  void polygon(const float* p, int n) override {
    polyrec r{cur, {}};
    for (int k = 0; k < n; ++k) r.pts.push_back({p[2 * k], p[2 * k + 1]});
    polys.push_back(r);
  }
  void rect(float a, float b, float c, float d) override { rects.push_back({cur, a, b, c, d}); }
};

inline frame_content read_frame() {
  frame_content f;
  gxhwalk(0, f);
  return f;
}

// A fresh batch page (11 x 8.5) on which grid coordinates are page inches.
inline void fresh_page() {
  gxhlimits(0, 0);
  gxstrt(11, 8.5, 1);
  gxfrme(1);
}

inline double shoelace(const std::vector<xy>& p) {
  double a = 0;
  for (std::size_t k = 0; k < p.size(); ++k) {
    const xy& u = p[k];
    const xy& v = p[(k + 1) % p.size()];
    a += u.x * v.y - v.x * u.y;
  }
  return std::fabs(a) / 2;
}

// Paints the polygons in order on a raster of square pixels (even-odd rule
// at pixel centres) and returns the area each colour ends up covering; the
// entry at index 100 is the unpainted area.
inline std::vector<double> painted_areas(const std::vector<polyrec>& polys, double x0, double y0,
                                         double x1, double y1, double pix) {
  int nx = static_cast<int>((x1 - x0) / pix + 0.5), ny = static_cast<int>((y1 - y0) / pix + 0.5);
  std::vector<signed char> r(static_cast<std::size_t>(nx) * ny, -1);
  std::vector<double> xs;
  for (const polyrec& p : polys) {
    for (int row = 0; row < ny; ++row) {
      double y = y0 + (row + 0.5) * pix;
      xs.clear();
      for (std::size_t k = 0; k < p.pts.size(); ++k) {
        xy a = p.pts[k], b = p.pts[(k + 1) % p.pts.size()];
        if ((a.y <= y) != (b.y <= y)) xs.push_back(a.x + (y - a.y) * (b.x - a.x) / (b.y - a.y));
      }
      std::sort(xs.begin(), xs.end());
      for (std::size_t k = 0; k + 1 < xs.size(); k += 2) {
        int c0 = static_cast<int>(std::ceil((xs[k] - x0) / pix - 0.5));
        int c1 = static_cast<int>(std::floor((xs[k + 1] - x0) / pix - 0.5));
        for (int c = std::max(c0, 0); c <= std::min(c1, nx - 1); ++c)
          r[static_cast<std::size_t>(row) * nx + c] = static_cast<signed char>(p.colour);
      }
    }
  }
  std::vector<double> area(101, 0.0);
  for (signed char c : r) area[c < 0 ? 100 : c] += pix * pix;
  return area;
}

}  // namespace cntest
