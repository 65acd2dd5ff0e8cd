// Streamline tracer. Lines start in empty regions of an occupancy mask and
// stop where they enter a cell another line (or themselves) already left,
// so the lines spread evenly and the work stays bounded by the mask size.
#include "gx/strm.h"

#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "base/message.h"
#include "gx/farside.h"
#include "gx/gx.h"

namespace {

constexpr float a150 = 2.618f;  // wing angle of the heads, 150 degrees
constexpr float kWing = 0.05f;  // wing length, inches

struct field {
  const float* u;
  const float* v;
  const float* c;
  int isiz, jsiz;
  float uundef, vundef, cundef;
  int colour_by_c;
  const float* levels;
  const int* colours;
  int count;
};

struct tracer {
  const field& f;
  std::vector<int>& mask;
  int fac;            // mask cells per grid unit
  float step;         // grid units per step
  int colour = 1;     // current colour
  int previous = -9;  // colour last set, carried over every line

  float at(const float* g, int i, int j) const { return g[size_t(j) * size_t(f.isiz) + size_t(i)]; }

  // Bilinear value of g in cell (ix, iy) at fractions fx, fy.
  float bilinear(const float* g, int ix, int iy, float fx, float fy) const {
    float a = at(g, ix, iy) + (at(g, ix + 1, iy) - at(g, ix, iy)) * fx;
    float b = at(g, ix, iy + 1) + (at(g, ix + 1, iy + 1) - at(g, ix, iy + 1)) * fx;
    return a + (b - a) * fy;
  }

  bool any_undef(const float* g, int ix, int iy, float undef) const {
    return at(g, ix, iy) == undef || at(g, ix + 1, iy) == undef || at(g, ix, iy + 1) == undef ||
           at(g, ix + 1, iy + 1) == undef;
  }

  // Mask cell of a position, or -1 outside the mask.
  long cell(float x, float y) const {
    const long w = long(f.isiz) * fac, h = long(f.jsiz) * fac;
    if (!(x >= 0) || !(y >= 0)) return -1;
    const long cx = long(x * float(fac)), cy = long(y * float(fac));
    if (cx >= w || cy >= h) return -1;
    return cx + cy * w;
  }

  void run(float x, float y, bool forward) {
    float px, py;
    gxconv(x + 1, y + 1, &px, &py, coord_level::grid);
    seen_pen pen(coord_level::grid, true);
    pen.move(x + 1, y + 1);
    bool seen = gxseen(x + 1, y + 1, coord_level::grid);
    long last = -1;
    int repeats = 0;
    bool lifted = false;
    int arrows = forward ? 0 : 19;
    const float fx_max = float(f.isiz - 1), fy_max = float(f.jsiz - 1);
    for (;;) {
      if (x < 0 || x >= fx_max || y < 0 || y >= fy_max) return;
      const int ix = int(x), iy = int(y);
      const float fx = x - float(ix), fy = y - float(iy);
      if (any_undef(f.u, ix, iy, f.uundef) || any_undef(f.v, ix, iy, f.vundef)) return;
      if (f.colour_by_c) {
        if (any_undef(f.c, ix, iy, f.cundef))
          colour = 15;
        else
          colour = gxshdc(f.levels, f.colours, f.count, bilinear(f.c, ix, iy, fx, fy));
        if (colour != previous && colour >= 0) gxcolr(colour);
        previous = colour;
      }
      const float u = bilinear(f.u, ix, iy, fx, fy), v = bilinear(f.v, ix, iy, fx, fy);
      if (std::fabs(u) < 0.1f && std::fabs(v) < 0.1f) return;
      const float m = std::fabs(v) < std::fabs(u) ? std::fabs(u) : std::fabs(v);
      const float du = u * step / m, dv = v * step / m;
      const float ox = x, oy = y;
      if (forward) {
        x += du;
        y += dv;
      } else {
        x -= du;
        y -= dv;
      }
      const long now = cell(x, y);
      if (now < 0 || mask[size_t(now)] == 1) return;
      if (now != last && last >= 0) mask[size_t(last)] = 1;
      if (now == last) {
        if (++repeats > 10) return;
      } else {
        repeats = 0;
      }
      last = now;
      float nx, ny;
      gxconv(x + 1, y + 1, &nx, &ny, coord_level::grid);
      const bool was_seen = seen;
      seen = gxseen(x + 1, y + 1, coord_level::grid);
      if (colour < 0) {
        lifted = true;
      } else {
        if (lifted) pen.move(ox + 1, oy + 1);
        lifted = false;
        pen.draw(x + 1, y + 1);
      }
      if (++arrows > 20) {
        if (colour >= 0 && seen && was_seen) {
          if (forward)
            strmar(px, py, nx, ny);
          else
            strmar(nx, ny, px, py);
        }
        arrows = 0;
      }
      px = nx;
      py = ny;
    }
  }
};

}  // namespace

int gxshdc(const float* levels, const int* colours, int count, float value) {
  if (count <= 0) return 1;
  if (count == 1 || value < levels[1]) return colours[0];
  for (int k = 1; k < count - 1; k++)
    if (levels[k] <= value && value < levels[k + 1]) return colours[k];
  return colours[count - 1];
}

void strmar(float x1, float y1, float x2, float y2) {
  const float t = std::atan2(y2 - y1, x2 - x1);
  gxplot(x2, y2, pen_code::move);
  gxplot(x2 + kWing * std::cos(t + a150), y2 + kWing * std::sin(t + a150), pen_code::draw);
  gxplot(x2, y2, pen_code::move);
  gxplot(x2 + kWing * std::cos(t - a150), y2 + kWing * std::sin(t - a150), pen_code::draw);
  gxplot(x2, y2, pen_code::move);
}

void gxstrm(const float* u, const float* v, const float* c, int isiz, int jsiz, float uundef,
            float vundef, float cundef, int colour_by_c, const float* levels, const int* colours,
            int count, int density) {
  if (isiz < 1 || jsiz < 1) return;
  // Wide: any stored density draws, held to the ten steps there are.
  const long long wide = 200LL / (isiz > jsiz ? isiz : jsiz) + density - 5LL;
  const int fac = wide < 1 ? 1 : (wide > 10 ? 10 : static_cast<int>(wide));
  const int w = density == 5 ? 2 : (density < 5 ? 3 : 1);
  const long mw = long(isiz) * fac, mh = long(jsiz) * fac;
  std::vector<int> mask;
  try {
    mask.assign(size_t(mw) * size_t(mh), 0);
  } catch (const std::bad_alloc&) {
    kaprntout("Cannot allocate memory for streamline function\n");
    return;
  }
  const field f{u,      v,       c,    isiz, jsiz, uundef, vundef, cundef, colour_by_c && c,
                levels, colours, count};
  tracer t{f, mask, fac, 0.5f / float(fac)};
  for (long j = 0; j < mh; j++) {
    for (long i = 0; i < mw; i++) {
      long sum = 0;
      for (long jj = j - w; jj <= j + w; jj++) {
        if (jj < 0 || jj >= mh) continue;
        for (long ii = i - w; ii <= i + w; ii++)
          if (ii >= 0 && ii < mw) sum += mask[size_t(ii + jj * mw)];
      }
      if (sum != 0) continue;
      const float x = float(i) / float(fac), y = float(j) / float(fac);
      t.run(x, y, true);
      t.run(x, y, false);
    }
  }
}
