// Drawing layer: pen, colour, thickness, dash walk, clipping, markers and
// the coordinate chain from grid coordinates to real page inches. Every
// primitive is clipped here, recorded in the display list and, with a
// window, handed to the driver.
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <vector>

#include "gx/gx.h"
#include "base/message.h"
#include "gx/metafile.h"
#include "gx/xdriver.h"

namespace {

// One transform of the coordinate chain: a caller's plain function, or a
// projection's together with the parameter record it reads.
struct transform_slot {
  coordinate_callback plain = nullptr;
  bound_callback bound = nullptr;
  const void* params = nullptr;

  explicit operator bool() const { return plain || bound; }
  void operator()(float x, float y, float* xo, float* yo) const {
    if (bound)
      bound(params, x, y, xo, yo);
    else
      plain(x, y, xo, yo);
  }
};

// The page and the virtual page drawn on it.
struct page_state {
  float rxsize = 11, rysize = 8.5;  // real page, inches
  float xsize = 11, ysize = 8.5;    // virtual page, virtual inches
  float vxm = 1, vxb = 0;           // virtual to real x: x * vxm + vxb
  float vym = 1, vyb = 0;           // the same for y
  int lwflg = 0;                    // 1: the virtual page is small, hardcopy lines are halved
};

// Clipping and the pen as clipping sees it.
struct clip_state {
  float clminx = 0, clmaxx = 11;  // clipping rectangle, inclusive, virtual inches
  float clminy = 0, clmaxy = 8.5;
  int cflag = 0;             // 1 while the pen is outside the rectangle
  float oldx = 0, oldy = 0;  // the pen's last point, clipped or not
};

// The walk along a dashed line; it carries on across the segments of one
// polyline.
struct dash_walk {
  int lstyle = 0;                  // line style; below 2 solid
  float dash[8] = {};              // dash and gap lengths, inches, alternating
  int dnum = 0;                    // index of the last entry of dash in use
  int dpnt = 0;                    // entry being walked
  float slen = 0;                  // length left of that entry
  pen_code jpen = pen_code::draw;  // draw inside a dash, move inside a gap
  float xsave = 0, ysave = 0;      // where the walk stands
};

// Colours as the caller set them.
struct colour_state {
  int color = 1;                        // current colour
  int lwide = 1;                        // current thickness
  int bcol = 0;                         // background colour filled into each new frame, 0 none
  int reds[100], grns[100], blus[100];  // user colours 16-99, -999 undefined
};

// The coordinate chain: grid to world, world to plane, plane to page.
struct chain_state {
  transform_slot gconv;  // grid to world
  transform_slot fconv;  // world to projection plane
  transform_slot bconv;  // projection plane back to world
  float xm = 1, xb = 0;  // plane to page x: x * xm + xb
  float ym = 1, yb = 0;  // the same for y
  bool half = false;     // the projection shows one side of the globe only:
  float middle = 0;      //   the longitudes within 90 degrees of this one
};

// Everything the drawing layer keeps between calls, set up by gxstrt.
struct drawing_state {
  int intflg = 0;  // 1 with a window: primitives also go to the driver
  int bufmod = 0;  // 1 while frames are double buffered
  page_state page;
  clip_state clip;
  dash_walk walk;
  colour_state colours;
  chain_state chain;
};

drawing_state gs;

// A point that is not a number is outside everything.
bool outside(float x, float y) {
  return !(x >= gs.clip.clminx && x <= gs.clip.clmaxx && y >= gs.clip.clminy &&
           y <= gs.clip.clmaxy);
}

// An infinite coordinate is taken as the largest float, so that clipping
// still finds where the line leaves the page; a NaN stays NaN and lifts the
// pen instead.
float finite_or_nan(float v) {
  constexpr float big = 3.4028234e38f;
  return v > big ? big : (v < -big ? -big : v);
}

// Where the segment from (x1, y1) to (x2, y2), one end inside and one
// outside, crosses the clipping rectangle.
void bdterp(float x1, float y1, float x2, float y2, float* xc, float* yc) {
  if (x1 < gs.clip.clminx || x2 < gs.clip.clminx || x1 > gs.clip.clmaxx || x2 > gs.clip.clmaxx) {
    float x = (x1 > gs.clip.clmaxx || x2 > gs.clip.clmaxx) ? gs.clip.clmaxx : gs.clip.clminx;
    float y = static_cast<float>(y1 - static_cast<double>(y1 - y2) * (x1 - x) / (x1 - x2));
    if (y >= gs.clip.clminy && y <= gs.clip.clmaxy) {
      *xc = x;
      *yc = y;
      return;
    }
    if (!(y1 < gs.clip.clminy || y2 < gs.clip.clminy || y1 > gs.clip.clmaxy ||
          y2 > gs.clip.clmaxy)) {
      // Only rounding put the crossing past a corner: keep it on the edge.
      *xc = x;
      *yc = y < gs.clip.clminy ? gs.clip.clminy : gs.clip.clmaxy;
      return;
    }
  }
  float y = (y1 > gs.clip.clmaxy || y2 > gs.clip.clmaxy) ? gs.clip.clmaxy : gs.clip.clminy;
  *xc = static_cast<float>(x1 - static_cast<double>(x1 - x2) * (y1 - y) / (y1 - y2));
  *yc = y;
}

void record_move(float x, float y) {
  float rx, ry;
  gxvcon(x, y, &rx, &ry);
  hout2(MF_MOVE, rx, ry);
  if (gs.intflg) gxdmov(rx, ry);
}

void record_draw(float x, float y) {
  float rx, ry;
  gxvcon(x, y, &rx, &ry);
  hout2(MF_DRAW, rx, ry);
  if (gs.intflg) gxddrw(rx, ry);
}

float clampf(float v, float lo, float hi) { return v < lo ? lo : (v > hi ? hi : v); }

void polyline(const float* xy, int n) {
  gxmove(xy[0], xy[1]);
  for (int i = 1; i < n; i++) gxdraw(xy[2 * i], xy[2 * i + 1]);
}

// Marker circle: points from 60 degrees up in steps of `step`, the first
// repeated at the end. Returns the point count.
int ring(float x, float y, float r, int step, float* xy) {
  const double pi = 3.14159;
  int n = 0;
  for (int a = 60; a < 415; a += step) {
    xy[2 * n] = static_cast<float>(x + r * std::cos(a * pi / 180.0));
    xy[2 * n + 1] = static_cast<float>(y + r * std::sin(a * pi / 180.0));
    n++;
  }
  xy[2 * n] = xy[0];
  xy[2 * n + 1] = xy[1];
  return n + 1;
}

void ring_point(float x, float y, float r, int deg, float* p) {
  const double pi = 3.14159;
  p[0] = static_cast<float>(x + r * std::cos(deg * pi / 180.0));
  p[1] = static_cast<float>(y + r * std::sin(deg * pi / 180.0));
}

// Waits for one whole line on standard input, read unbuffered so that no
// later line is taken from the command input.
void wait_line() {
  char c;
  while (::read(0, &c, 1) == 1 && c != '\n') {
  }
}

}  // namespace

// ---- start, end, frames ----

void gxstrt(float width, float height, bool batch) {
  kaprntout("GX Package Initialization: Size = %g %g \n", width, height);
  if (batch) kaprntout("Running in Batch mode\n");
  gs = drawing_state{};
  gs.intflg = batch ? 0 : 1;
  if (gs.intflg) {
    if (gxdbgn(width, height) != 0) {
      gs.intflg = 0;  // no window: draw only into the display list
    } else {
      gxdcol(1);
      gxdwid(1);
    }
  } else {
    gxdbat();
  }
  gs.page.rxsize = width;
  gs.page.rysize = height;
  gs.clip.clmaxx = width;
  gs.clip.clmaxy = height;
  gxscal(0, width, 0, height, 0, width, 0, height);
  gxvpag(width, height, 0, width, 0, height);
  gxchii();
  for (int i = 0; i < 100; i++) gs.colours.reds[i] = gs.colours.grns[i] = gs.colours.blus[i] = -999;
  gxhnew(width, height);
  gs.colours.color = 1;
}

void gxend() {
  gxhend();
  if (gs.intflg) gxdend();
  kaprntout("GX package terminated \n");
}

void gxfrme(frame_action action) {
  if (window_only(action)) {
    if (gs.intflg) gxdfrm(action);
    return;
  }
  if (gs.intflg) {
    if (action == frame_action::wait) wait_line();
    if (action != frame_action::double_buffer && gs.bufmod) {
      gxdsgl();
      gs.bufmod = 0;
    }
    if (action == frame_action::double_buffer && !gs.bufmod) {
      gxddbl();
      gs.bufmod = 1;
    }
    if (gs.bufmod) gxdswp();
    gxdfrm(action);
  }
  gxhfrm(action);
  for (int i = 16; i < 100; i++)
    if (gs.colours.reds[i] >= 0)
      hout4i(MF_DEFCOL, i, gs.colours.reds[i], gs.colours.grns[i], gs.colours.blus[i]);
  if (gs.colours.bcol > 0) {
    // The page fill stays in the background colour; the caller's colour is
    // what gxqclr reports until the caller sets one again.
    int keep = gs.colours.color;
    gxcolr(gs.colours.bcol);
    gs.colours.color = keep;
    hout4(MF_RECT, 0, gs.page.rxsize, 0, gs.page.rysize);
    if (gs.intflg) {
      gxdrec(0, gs.page.rxsize, 0, gs.page.rysize);
      gxdfrm(frame_action::serve_events);
    }
  }
}

void gxsfrm() {
  if (gs.colours.bcol > 0) {
    gxdcol(gs.colours.bcol);
    gxdrec(0, gs.page.rxsize, 0, gs.page.rysize);
    gxdcol(gs.colours.color);
  }
}

// ---- attributes ----

void gxcolr(int colour) {
  if (colour < 0) colour = 0;
  if (colour > 99) colour = 99;
  hout1(MF_COLOUR, colour);
  if (gs.intflg) gxdcol(colour);
  gs.colours.color = colour;
}

int gxacol(int n, int red, int green, int blue) {
  hout4i(MF_DEFCOL, n, red, green, blue);
  int rc = gs.intflg ? gxdacl(n, red, green, blue) : 0;
  if (n >= 16 && n <= 99) {
    gs.colours.reds[n] = red;
    gs.colours.grns[n] = green;
    gs.colours.blus[n] = blue;
  }
  return rc;
}

void gxbckg(int colour) { gs.colours.bcol = colour; }
int gxqbck() { return gs.colours.bcol; }
int gxqclr() { return gs.colours.color; }
int gxqstl() { return gs.walk.lstyle; }

void gxwide(int thickness) {
  // Halved for a small page, in a wider type so that any thickness halves.
  const int hard =
      gs.page.lwflg ? static_cast<int>((static_cast<long long>(thickness) + 1) / 2) : thickness;
  hout2i(MF_WIDTH, hard, thickness);
  if (gs.intflg) gxdwid(thickness);
  gs.colours.lwide = thickness;
}

namespace {

// Dash and gap lengths (inches, alternating) of line styles 2 to 7, and the
// index of the last length.
struct dash_pattern {
  int last;
  float lengths[6];
};
constexpr dash_pattern kDashPatterns[] = {
    {1, {0.25f, 0.1f}},                               // 2
    {1, {0.03f, 0.03f}},                              // 3
    {3, {0.25f, 0.1f, 0.1f, 0.1f}},                   // 4
    {1, {0.01f, 0.08f}},                              // 5
    {3, {0.15f, 0.08f, 0.01f, 0.08f}},                // 6
    {5, {0.15f, 0.08f, 0.01f, 0.08f, 0.01f, 0.08f}},  // 7
};

}  // namespace

void gxstyl(int style) {
  if (style == -9) style = 1;
  gs.walk.lstyle = style;
  if (style >= 2 && style <= 7) {
    const dash_pattern& d = kDashPatterns[style - 2];
    std::copy(d.lengths, d.lengths + d.last + 1, gs.walk.dash);
    gs.walk.dnum = d.last;
  } else {
    gs.walk.lstyle = 0;  // solid
  }
  gs.walk.slen = gs.walk.dash[0];
  gs.walk.jpen = pen_code::draw;
  gs.walk.dpnt = 0;
}

void gxptrn(fill_pattern type, int density, int angle) {
  hout3i(MF_PATTERN, static_cast<int>(type), density, angle);
  if (gs.intflg) gxdptn(type, density, angle);
}

// ---- drawing ----

void gxmove(float x, float y) {
  x = finite_or_nan(x);
  y = finite_or_nan(y);
  gs.clip.oldx = x;
  gs.clip.oldy = y;
  if (outside(x, y)) {
    gs.clip.cflag = 1;
    return;
  }
  gs.clip.cflag = 0;
  record_move(x, y);
}

void gxdraw(float x, float y) {
  x = finite_or_nan(x);
  y = finite_or_nan(y);
  if (outside(x, y)) {
    if (!gs.clip.cflag && !std::isnan(x) && !std::isnan(y)) {
      float xc, yc;
      bdterp(gs.clip.oldx, gs.clip.oldy, x, y, &xc, &yc);
      record_draw(xc, yc);
    }
    gs.clip.cflag = 1;
    gs.clip.oldx = x;
    gs.clip.oldy = y;
    return;
  }
  if (gs.clip.cflag && (std::isnan(gs.clip.oldx) || std::isnan(gs.clip.oldy))) {
    gxmove(x, y);  // from no point at all: start here
    return;
  }
  if (gs.clip.cflag) {
    float xc, yc;
    bdterp(gs.clip.oldx, gs.clip.oldy, x, y, &xc, &yc);
    gs.clip.cflag = 0;
    record_move(xc, yc);
  }
  gs.clip.oldx = x;
  gs.clip.oldy = y;
  record_draw(x, y);
}

// The pen at (x, y) with the dash rhythm started afresh.
static void dash_restart(float x, float y) {
  gs.walk.slen = gs.walk.dash[0];
  gs.walk.dpnt = 0;
  gs.walk.jpen = pen_code::draw;
  gs.walk.xsave = x;
  gs.walk.ysave = y;
}

// Pen down or up at (x, y).
static void pen_to(pen_code pen, float x, float y) {
  if (pen == pen_code::draw)
    gxdraw(x, y);
  else
    gxmove(x, y);
}

// Steps to the next dash or gap.
static void dash_next() {
  gs.walk.dpnt = gs.walk.dpnt >= gs.walk.dnum ? 0 : gs.walk.dpnt + 1;
  gs.walk.slen = gs.walk.dash[gs.walk.dpnt];
  gs.walk.jpen = gs.walk.jpen == pen_code::draw ? pen_code::move : pen_code::draw;
}

void gxplot(float x, float y, pen_code pen) {
  if (gs.walk.lstyle < 2) {
    pen_to(pen, x, y);
    gs.walk.xsave = x;
    gs.walk.ysave = y;
    return;
  }
  if (pen == pen_code::move) {
    dash_restart(x, y);
    gxmove(x, y);
    return;
  }
  float alen = std::hypot(x - gs.walk.xsave, y - gs.walk.ysave);
  if (!(alen >= 0.001f) || std::isinf(alen)) return;
  if (alen > 1000) {
    // Far longer than any page: walking it dash by dash would take forever
    // (and float steps stop adding up), so draw it solid and restart.
    dash_restart(x, y);
    gxdraw(x, y);
    return;
  }
  while (gs.walk.slen < alen) {
    float xx = gs.walk.xsave + (x - gs.walk.xsave) * (gs.walk.slen / alen);
    float yy = gs.walk.ysave + (y - gs.walk.ysave) * (gs.walk.slen / alen);
    pen_to(gs.walk.jpen, xx, yy);
    float done = gs.walk.slen;
    dash_next();
    gs.walk.slen += done;
  }
  gs.walk.slen -= alen;
  gs.walk.xsave = x;
  gs.walk.ysave = y;
  pen_to(gs.walk.jpen, x, y);
  if (gs.walk.slen < 0.001f) dash_next();
}

void gxclip(float xlo, float xhi, float ylo, float yhi) {
  gs.clip.clminx = xlo < 0 ? 0 : xlo;
  gs.clip.clmaxx = xhi > gs.page.xsize ? gs.page.xsize : xhi;
  gs.clip.clminy = ylo < 0 ? 0 : ylo;
  gs.clip.clmaxy = yhi > gs.page.ysize ? gs.page.ysize : yhi;
}

void gxrecf(float xlo, float xhi, float ylo, float yhi) {
  if (xlo > xhi) std::swap(xlo, xhi);
  if (ylo > yhi) std::swap(ylo, yhi);
  if (!(xhi > gs.clip.clminx && xlo < gs.clip.clmaxx && yhi > gs.clip.clminy &&
        ylo < gs.clip.clmaxy))
    return;
  xlo = std::fmax(xlo, gs.clip.clminx);
  xhi = std::fmin(xhi, gs.clip.clmaxx);
  ylo = std::fmax(ylo, gs.clip.clminy);
  yhi = std::fmin(yhi, gs.clip.clmaxy);
  float rxlo, rylo, rxhi, ryhi;
  gxvcon(xlo, ylo, &rxlo, &rylo);
  gxvcon(xhi, yhi, &rxhi, &ryhi);
  hout4(MF_RECT, rxlo, rxhi, rylo, ryhi);
  if (gs.intflg) gxdrec(rxlo, rxhi, rylo, ryhi);
}

void gxfill(const float* xy, int n) {
  if (n < 3) return;
  std::vector<float> tamed;
  for (int i = 0; i < 2 * n; i++) {
    if (std::isfinite(xy[i])) continue;
    // Vertices that are not numbers are left out, infinite coordinates
    // become the largest float; clipping then does the rest.
    for (int k = 0; k < n; k++) {
      if (std::isnan(xy[2 * k]) || std::isnan(xy[2 * k + 1])) continue;
      tamed.push_back(finite_or_nan(xy[2 * k]));
      tamed.push_back(finite_or_nan(xy[2 * k + 1]));
    }
    xy = tamed.data();
    n = static_cast<int>(tamed.size() / 2);
    if (n < 3) return;
    break;
  }
  float fixed[40];
  std::vector<float> heap;
  float* work = fixed;
  if (n >= 10) {
    try {
      heap.resize(4 * static_cast<std::size_t>(n));
    } catch (const std::bad_alloc&) {
      kaprntout("Memory allocation error in gxfill.  Can't fill contour\n");
      return;
    }
    work = heap.data();
  }
  int m = 0;
  auto put = [&](float x, float y) {
    work[2 * m] = x;
    work[2 * m + 1] = y;
    m++;
  };
  float px = xy[0], py = xy[1];
  bool pout = outside(px, py);
  for (int i = 0; i < n; i++) {
    float x = xy[2 * i], y = xy[2 * i + 1];
    bool out = outside(x, y);
    if (out != pout) {
      float xc, yc;
      bdterp(px, py, x, y, &xc, &yc);
      put(xc, yc);
    }
    if (out)
      put(clampf(x, gs.clip.clminx, gs.clip.clmaxx), clampf(y, gs.clip.clminy, gs.clip.clmaxy));
    else
      put(x, y);
    px = x;
    py = y;
    pout = out;
  }
  for (int i = 0; i < m; i++) gxvcon(work[2 * i], work[2 * i + 1], &work[2 * i], &work[2 * i + 1]);
  hout1(MF_POLYBGN, m);
  hout2(MF_MOVE, work[0], work[1]);
  for (int i = 1; i < m; i++) hout2(MF_DRAW, work[2 * i], work[2 * i + 1]);
  hout0(MF_POLYEND);
  if (gs.intflg) gxdfil(work, m);
}

// A mark's outline, or the same points filled.
static void shape(bool outline, const float* xy, int n) {
  if (outline)
    polyline(xy, n);
  else
    gxfill(xy, n);
}

namespace {

// Degrees between the points of a mark's circle.
int ring_step(float size) { return size < 0.1f ? 30 : (size < 0.3f ? 15 : 10); }

// Points of ring() at a step, and the words of an outline or a filled
// polygon (with its begin and end records) of n points.
int ring_points(int step) { return (415 - 60 + step - 1) / step + 1; }
int outline_words(int n) { return kSegmentWords * n; }
int fill_words(int n) { return kSegmentWords * n + 3; }

}  // namespace

int gxmark_words(int type, float size) {
  switch (type) {
    case 1:
    case 6: return 4 * kSegmentWords;
    case 2: return outline_words(ring_points(ring_step(size)));
    case 3: return fill_words(ring_points(ring_step(size)));
    case 4:
    case 7: return outline_words(5);
    case 5: return fill_words(5);
    case 8: return outline_words(4);
    case 9: return fill_words(4);
    case 10: return outline_words(11) + outline_words(10) + fill_words(7);
    case 11: return 2 * outline_words(5) + 2 * fill_words(10);
    default: return 0;
  }
}

void gxmark(int type, float x, float y, float size) {
  float r = size / 2;
  float p[2 * 40];
  switch (type) {
    case 1:
      gxmove(x, y - r);
      gxdraw(x, y + r);
      gxmove(x - r, y);
      gxdraw(x + r, y);
      break;
    case 2:
    case 3: {
      int n = ring(x, y, r, ring_step(size), p);
      shape(type == 2, p, n);
      break;
    }
    case 4:
    case 5: {
      float q[10] = {x - r, y + r, x + r, y + r, x + r, y - r, x - r, y - r, x - r, y + r};
      shape(type == 4, q, 5);
      break;
    }
    case 6: {
      float d = 0.71f * r;
      gxmove(x - d, y - d);
      gxdraw(x + d, y + d);
      gxmove(x - d, y + d);
      gxdraw(x + d, y - d);
      break;
    }
    case 7: {
      float q[10] = {x - 0.75f * r, y, x, y + 1.1f * r, x + 0.75f * r, y, x, y - 1.1f * r,
                     x - 0.75f * r, y};
      polyline(q, 5);
      break;
    }
    case 8:
    case 9: {
      float q[8] = {x, y + r, x + 0.88f * r, y - 0.6f * r, x - 0.88f * r, y - 0.6f * r, x, y + r};
      shape(type == 8, q, 4);
      break;
    }
    case 10: {
      ring(x, y, r, 15, p);      // c0..c24
      polyline(p + 2 * 3, 11);   // c3..c13
      polyline(p + 2 * 15, 10);  // c15..c24
      float band[14];
      const int idx[7] = {1, 2, 3, 13, 14, 15, 1};
      for (int i = 0; i < 7; i++) {
        band[2 * i] = p[2 * idx[i]];
        band[2 * i + 1] = p[2 * idx[i] + 1];
      }
      gxfill(band, 7);
      break;
    }
    case 11: {
      ring(x, y, r, 15, p);
      ring_point(x, y, r, 68, p + 2 * 0);
      ring_point(x, y, r, 112, p + 2 * 4);
      ring_point(x, y, r, 248, p + 2 * 12);
      ring_point(x, y, r, 292, p + 2 * 16);
      polyline(p, 5);           // c0..c4
      polyline(p + 2 * 12, 5);  // c12..c16
      float side[2 * 12];
      int m = 0;
      for (int i = 4; i <= 12; i++, m++) {
        side[2 * m] = p[2 * i];
        side[2 * m + 1] = p[2 * i + 1];
      }
      side[2 * m] = p[8];
      side[2 * m + 1] = p[9];
      gxfill(side, m + 1);
      m = 0;
      for (int i = 16; i <= 24; i++, m++) {
        side[2 * m] = p[2 * i];
        side[2 * m + 1] = p[2 * i + 1];
      }
      side[2 * m] = p[0];
      side[2 * m + 1] = p[1];
      gxfill(side, m + 1);
      break;
    }
    default: break;
  }
}

void gxtitl(const char* text, float x, float y, float height, float width, float angle) {
  if (!text) return;
  int len = 0;
  for (int i = 0; text[i]; i++)
    if (text[i] != ' ') len = i + 1;
  if (len == 0) return;
  float half = width * 0.5f * static_cast<float>(len);
  if (angle > 45)
    gxchpl(text, len, x, y - half, height, width, angle);
  else
    gxchpl(text, len, x - half, y, height, width, angle);
}

// ---- coordinate chain ----

void gxscal(float pxlo, float pxhi, float pylo, float pyhi, float wxlo, float wxhi, float wylo,
            float wyhi) {
  gs.chain.xm = (pxhi - pxlo) / (wxhi - wxlo);
  gs.chain.xb = pxlo - gs.chain.xm * wxlo;
  gs.chain.ym = (pyhi - pylo) / (wyhi - wylo);
  gs.chain.yb = pylo - gs.chain.ym * wylo;
}

void gxvpag(float width, float height, float xlo, float xhi, float ylo, float yhi) {
  if (!(width > 0 && height > 0)) return;  // no page to map
  gs.page.xsize = width;
  gs.page.ysize = height;
  if (xhi > gs.page.rxsize) xhi = gs.page.rxsize;
  if (yhi > gs.page.rysize) yhi = gs.page.rysize;
  if (xlo < 0) xlo = 0;
  if (ylo < 0) ylo = 0;
  gs.clip.clminx = 0;
  gs.clip.clmaxx = gs.page.xsize;
  gs.clip.clminy = 0;
  gs.clip.clmaxy = gs.page.ysize;
  if ((xhi - xlo) / gs.page.rxsize < 0.6f)
    gs.page.lwflg = 1;
  else if ((yhi - ylo) / gs.page.rysize < 0.6f)
    gs.page.lwflg = 1;
  else
    gs.page.lwflg = 0;
  gs.page.vxm = (xhi - xlo) / gs.page.xsize;
  gs.page.vxb = xlo;
  gs.page.vym = (yhi - ylo) / gs.page.ysize;
  gs.page.vyb = ylo;
}

void gxvcon(float x, float y, float* xo, float* yo) {
  *xo = x * gs.page.vxm + gs.page.vxb;
  *yo = y * gs.page.vym + gs.page.vyb;
}

void gxppvp(float x, float y, float* xo, float* yo) {
  *xo = (x - gs.page.vxb) / gs.page.vxm;
  *yo = (y - gs.page.vyb) / gs.page.vym;
}

void gxproj(coordinate_callback fn) {
  gs.chain.fconv = {fn, nullptr, nullptr};
  gs.chain.half = false;
}
void gxgrid(coordinate_callback fn) { gs.chain.gconv = {fn, nullptr, nullptr}; }
void gxback(coordinate_callback fn) { gs.chain.bconv = {fn, nullptr, nullptr}; }
void gxproj(bound_callback fn, const void* params) {
  gs.chain.fconv = {nullptr, fn, params};
  gs.chain.half = false;
}
void gxback(bound_callback fn, const void* params) { gs.chain.bconv = {nullptr, fn, params}; }

void gxside(float middle) {
  gs.chain.half = true;
  gs.chain.middle = middle;
}

bool gxqside(float* middle) {
  *middle = gs.chain.middle;
  return gs.chain.half;
}

void gxrset(coord_level level) {
  if (level >= coord_level::grid) gs.chain.gconv = {};
  if (level >= coord_level::world) {
    gs.chain.fconv = {};
    gs.chain.bconv = {};
    gs.chain.half = false;
  }
}

void gxconv(float x, float y, float* xo, float* yo, coord_level level) {
  if (level >= coord_level::grid && gs.chain.gconv) gs.chain.gconv(x, y, &x, &y);
  if (level >= coord_level::world && gs.chain.fconv) gs.chain.fconv(x, y, &x, &y);
  if (level >= coord_level::projection_plane) {
    x = x * gs.chain.xm + gs.chain.xb;
    y = y * gs.chain.ym + gs.chain.yb;
  }
  *xo = x;
  *yo = y;
}

void gxcord(float* xy, int n, coord_level level) {
  for (int i = 0; i < n; i++) gxconv(xy[2 * i], xy[2 * i + 1], &xy[2 * i], &xy[2 * i + 1], level);
}

void gxgrmp(float x, float y, float* xo, float* yo) {
  if (gs.chain.gconv) {
    gs.chain.gconv(x, y, xo, yo);
  } else {
    *xo = x;
    *yo = y;
  }
}

void gxxy2w(float x, float y, float* xo, float* yo) {
  if (gs.chain.xm == 0 || gs.chain.ym == 0) {
    *xo = -999.9f;
    *yo = -999.9f;
    return;
  }
  *xo = (x - gs.chain.xb) / gs.chain.xm;
  *yo = (y - gs.chain.yb) / gs.chain.ym;
  if (gs.chain.bconv) gs.chain.bconv(*xo, *yo, xo, yo);
}

// ---- names and environment ----

const char* gxgsym(const char* name) { return std::getenv(name); }

namespace {

// The data directory of an installed program: lib/vemra under the prefix it
// was installed into (PREFIX/bin/vemra), so an install into any prefix finds
// its own files; a program elsewhere (the build tree) takes the configured
// prefix's.
const std::string& default_data_dir() {
  static const std::string dir = [] {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
      const std::filesystem::path beside = self.parent_path() / VEMRA_DATA_FROM_BIN;
      if (self.parent_path().filename() == VEMRA_INSTALL_BINDIR &&
          std::filesystem::is_directory(beside, ec))
        return beside.lexically_normal().string();
    }
    return std::string(VEMRA_DEFAULT_DATA_DIR);
  }();
  return dir;
}

}  // namespace

std::string gxgnam(const std::string& name) {
  const char* dir = std::getenv("KADDIR");
  std::string d = dir ? dir : default_data_dir();
  if (!d.empty() && d[0] == '.') return name;
  if (d.empty() || d.back() != '/') d += '/';
  return d + name;
}
