// Drawing layer: pen, colour, thickness, dash walk, clipping, markers and
// the coordinate chain from grid coordinates to real page inches. Every
// primitive is clipped here, recorded in the display list and, with a
// window, handed to the driver.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "gx/gx.h"
#include "gx/metafile.h"
#include "gx/xdriver.h"

namespace {

float rxsize = 11, rysize = 8.5;
float xsize = 11, ysize = 8.5;
float vxm = 1, vxb = 0, vym = 1, vyb = 0;
int lwflg = 0;
float clminx = 0, clmaxx = 11, clminy = 0, clmaxy = 8.5;
int cflag = 0;
float oldx = 0, oldy = 0;
float xsave = 0, ysave = 0;
int color = 1;
int lwide = 1;
int lstyle = 0;
float dash[8];
int dnum = 0;
int dpnt = 0;
float slen = 0;
int jpen = 2;
int bcol = 0;
int intflg = 0;
int bufmod = 0;
int reds[100], grns[100], blus[100];
coordinate_callback gconv = nullptr, fconv = nullptr, bconv = nullptr;
float xm = 1, xb = 0, ym = 1, yb = 0;

// A point that is not a number is outside everything.
bool outside(float x, float y) { return !(x >= clminx && x <= clmaxx && y >= clminy && y <= clmaxy); }

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
  if (x1 < clminx || x2 < clminx || x1 > clmaxx || x2 > clmaxx) {
    float x = (x1 > clmaxx || x2 > clmaxx) ? clmaxx : clminx;
    float y = static_cast<float>(y1 - static_cast<double>(y1 - y2) * (x1 - x) / (x1 - x2));
    if (y >= clminy && y <= clmaxy) {
      *xc = x;
      *yc = y;
      return;
    }
    if (!(y1 < clminy || y2 < clminy || y1 > clmaxy || y2 > clmaxy)) {
      // Only rounding put the crossing past a corner: keep it on the edge.
      *xc = x;
      *yc = y < clminy ? clminy : clmaxy;
      return;
    }
  }
  float y = (y1 > clmaxy || y2 > clmaxy) ? clmaxy : clminy;
  *xc = static_cast<float>(x1 - static_cast<double>(x1 - x2) * (y1 - y) / (y1 - y2));
  *yc = y;
}

void record_move(float x, float y) {
  float rx, ry;
  gxvcon(x, y, &rx, &ry);
  hout2(MF_MOVE, rx, ry);
  if (intflg) gxdmov(rx, ry);
}

void record_draw(float x, float y) {
  float rx, ry;
  gxvcon(x, y, &rx, &ry);
  hout2(MF_DRAW, rx, ry);
  if (intflg) gxddrw(rx, ry);
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

void gxstrt(float width, float height, int batch) {
  std::printf("GX Package Initialization: Size = %g %g \n", width, height);
  if (batch) std::printf("Running in Batch mode\n");
  intflg = batch ? 0 : 1;
  if (intflg) {
    if (gxdbgn(width, height) != 0) {
      intflg = 0;  // no window: draw only into the display list
    } else {
      gxdcol(1);
      gxdwid(1);
    }
  } else {
    gxdbat();
  }
  rxsize = width;
  rysize = height;
  clminx = 0;
  clmaxx = width;
  clminy = 0;
  clmaxy = height;
  cflag = 0;
  xsave = ysave = 0;
  lstyle = 0;
  lwide = 1;
  oldx = oldy = 0;
  gconv = fconv = bconv = nullptr;
  gxscal(0, width, 0, height, 0, width, 0, height);
  gxvpag(width, height, 0, width, 0, height);
  gxchii();
  bufmod = 0;
  bcol = 0;
  for (int i = 0; i < 100; i++) reds[i] = grns[i] = blus[i] = -999;
  gxhnew(width, height);
  color = 1;
}

void gxend() {
  gxhend();
  if (intflg) gxdend();
  std::printf("GX package terminated \n");
}

void gxfrme(int action) {
  if (action > 7) {
    if (intflg) gxdfrm(action);
    return;
  }
  if (intflg) {
    if (action == 0) wait_line();
    if (action != 2 && bufmod) {
      gxdsgl();
      bufmod = 0;
    }
    if (action == 2 && !bufmod) {
      gxddbl();
      bufmod = 1;
    }
    if (bufmod) gxdswp();
    gxdfrm(action);
  }
  gxhfrm(action);
  for (int i = 16; i < 100; i++)
    if (reds[i] >= 0) hout4i(MF_DEFCOL, i, reds[i], grns[i], blus[i]);
  if (bcol > 0) {
    // The page fill stays in the background colour; the caller's colour is
    // what gxqclr reports until the caller sets one again.
    int keep = color;
    gxcolr(bcol);
    color = keep;
    hout4(MF_RECT, 0, rxsize, 0, rysize);
    if (intflg) {
      gxdrec(0, rxsize, 0, rysize);
      gxdfrm(9);
    }
  }
}

void gxsfrm() {
  if (bcol > 0) {
    gxdcol(bcol);
    gxdrec(0, rxsize, 0, rysize);
    gxdcol(color);
  }
}

// ---- attributes ----

void gxcolr(int colour) {
  if (colour < 0) colour = 0;
  if (colour > 99) colour = 99;
  hout1(MF_COLOUR, colour);
  if (intflg) gxdcol(colour);
  color = colour;
}

int gxacol(int n, int red, int green, int blue) {
  hout4i(MF_DEFCOL, n, red, green, blue);
  int rc = intflg ? gxdacl(n, red, green, blue) : 0;
  if (n >= 16 && n <= 99) {
    reds[n] = red;
    grns[n] = green;
    blus[n] = blue;
  }
  return rc;
}

void gxbckg(int colour) { bcol = colour; }
int gxqbck() { return bcol; }
int gxqclr() { return color; }
int gxqstl() { return lstyle; }

void gxwide(int thickness) {
  int hard = lwflg ? (thickness + 1) / 2 : thickness;
  hout2i(MF_WIDTH, hard, thickness);
  if (intflg) gxdwid(thickness);
  lwide = thickness;
}

void gxstyl(int style) {
  if (style == -9) style = 1;
  lstyle = style;
  switch (style) {
    case 2: dash[0] = 0.25f; dash[1] = 0.1f; dnum = 1; break;
    case 3: dash[0] = 0.03f; dash[1] = 0.03f; dnum = 1; break;
    case 4:
      dash[0] = 0.25f; dash[1] = 0.1f; dash[2] = 0.1f; dash[3] = 0.1f;
      dnum = 3;
      break;
    case 5: dash[0] = 0.01f; dash[1] = 0.08f; dnum = 1; break;
    case 6:
      dash[0] = 0.15f; dash[1] = 0.08f; dash[2] = 0.01f; dash[3] = 0.08f;
      dnum = 3;
      break;
    case 7:
      dash[0] = 0.15f; dash[1] = 0.08f; dash[2] = 0.01f; dash[3] = 0.08f;
      dash[4] = 0.01f; dash[5] = 0.08f;
      dnum = 5;
      break;
    default: lstyle = 0; break;
  }
  slen = dash[0];
  jpen = 2;
  dpnt = 0;
}

void gxptrn(int type, int density, int angle) {
  hout3i(MF_PATTERN, type, density, angle);
  if (intflg) gxdptn(type, density, angle);
}

// ---- drawing ----

void gxmove(float x, float y) {
  x = finite_or_nan(x);
  y = finite_or_nan(y);
  oldx = x;
  oldy = y;
  if (outside(x, y)) {
    cflag = 1;
    return;
  }
  cflag = 0;
  record_move(x, y);
}

void gxdraw(float x, float y) {
  x = finite_or_nan(x);
  y = finite_or_nan(y);
  if (outside(x, y)) {
    if (!cflag && !std::isnan(x) && !std::isnan(y)) {
      float xc, yc;
      bdterp(oldx, oldy, x, y, &xc, &yc);
      record_draw(xc, yc);
    }
    cflag = 1;
    oldx = x;
    oldy = y;
    return;
  }
  if (cflag && (std::isnan(oldx) || std::isnan(oldy))) {
    gxmove(x, y);  // from no point at all: start here
    return;
  }
  if (cflag) {
    float xc, yc;
    bdterp(oldx, oldy, x, y, &xc, &yc);
    cflag = 0;
    record_move(xc, yc);
  }
  oldx = x;
  oldy = y;
  record_draw(x, y);
}

// The pen at (x, y) with the dash rhythm started afresh.
static void dash_restart(float x, float y) {
  slen = dash[0];
  dpnt = 0;
  jpen = 2;
  xsave = x;
  ysave = y;
}

// Pen down (2) or up at (x, y).
static void pen_to(int pen, float x, float y) {
  if (pen == 2)
    gxdraw(x, y);
  else
    gxmove(x, y);
}

// Steps to the next dash or gap.
static void dash_next() {
  dpnt = dpnt >= dnum ? 0 : dpnt + 1;
  slen = dash[dpnt];
  jpen = jpen == 2 ? 3 : 2;
}

void gxplot(float x, float y, int pen) {
  if (lstyle < 2) {
    pen_to(pen, x, y);
    xsave = x;
    ysave = y;
    return;
  }
  if (pen == 3) {
    dash_restart(x, y);
    gxmove(x, y);
    return;
  }
  float alen = std::hypot(x - xsave, y - ysave);
  if (!(alen >= 0.001f) || std::isinf(alen)) return;
  if (alen > 1000) {
    // Far longer than any page: walking it dash by dash would take forever
    // (and float steps stop adding up), so draw it solid and restart.
    dash_restart(x, y);
    gxdraw(x, y);
    return;
  }
  while (slen < alen) {
    float xx = xsave + (x - xsave) * (slen / alen);
    float yy = ysave + (y - ysave) * (slen / alen);
    pen_to(jpen, xx, yy);
    float done = slen;
    dash_next();
    slen += done;
  }
  slen -= alen;
  xsave = x;
  ysave = y;
  pen_to(jpen, x, y);
  if (slen < 0.001f) dash_next();
}

void gxclip(float xlo, float xhi, float ylo, float yhi) {
  clminx = xlo < 0 ? 0 : xlo;
  clmaxx = xhi > xsize ? xsize : xhi;
  clminy = ylo < 0 ? 0 : ylo;
  clmaxy = yhi > ysize ? ysize : yhi;
}

void gxrecf(float xlo, float xhi, float ylo, float yhi) {
  if (xlo > xhi) std::swap(xlo, xhi);
  if (ylo > yhi) std::swap(ylo, yhi);
  if (!(xhi > clminx && xlo < clmaxx && yhi > clminy && ylo < clmaxy)) return;
  xlo = std::fmax(xlo, clminx);
  xhi = std::fmin(xhi, clmaxx);
  ylo = std::fmax(ylo, clminy);
  yhi = std::fmin(yhi, clmaxy);
  float rxlo, rylo, rxhi, ryhi;
  gxvcon(xlo, ylo, &rxlo, &rylo);
  gxvcon(xhi, yhi, &rxhi, &ryhi);
  hout4(MF_RECT, rxlo, rxhi, rylo, ryhi);
  if (intflg) gxdrec(rxlo, rxhi, rylo, ryhi);
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
      std::printf("Memory allocation error in gxfill.  Can't fill contour\n");
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
      put(clampf(x, clminx, clmaxx), clampf(y, clminy, clmaxy));
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
  if (intflg) gxdfil(work, m);
}

// A mark's outline, or the same points filled.
static void shape(bool outline, const float* xy, int n) {
  if (outline)
    polyline(xy, n);
  else
    gxfill(xy, n);
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
      int step = size < 0.1f ? 30 : (size < 0.3f ? 15 : 10);
      int n = ring(x, y, r, step, p);
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
      ring(x, y, r, 15, p);  // c0..c24
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
      polyline(p, 5);            // c0..c4
      polyline(p + 2 * 12, 5);   // c12..c16
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
  xm = (pxhi - pxlo) / (wxhi - wxlo);
  xb = pxlo - xm * wxlo;
  ym = (pyhi - pylo) / (wyhi - wylo);
  yb = pylo - ym * wylo;
}

void gxvpag(float width, float height, float xlo, float xhi, float ylo, float yhi) {
  if (!(width > 0 && height > 0)) return;  // no page to map
  xsize = width;
  ysize = height;
  if (xhi > rxsize) xhi = rxsize;
  if (yhi > rysize) yhi = rysize;
  if (xlo < 0) xlo = 0;
  if (ylo < 0) ylo = 0;
  clminx = 0;
  clmaxx = xsize;
  clminy = 0;
  clmaxy = ysize;
  if ((xhi - xlo) / rxsize < 0.6f)
    lwflg = 1;
  else if ((yhi - ylo) / rysize < 0.6f)
    lwflg = 1;
  else
    lwflg = 0;
  vxm = (xhi - xlo) / xsize;
  vxb = xlo;
  vym = (yhi - ylo) / ysize;
  vyb = ylo;
}

void gxvcon(float x, float y, float* xo, float* yo) {
  *xo = x * vxm + vxb;
  *yo = y * vym + vyb;
}

void gxppvp(float x, float y, float* xo, float* yo) {
  *xo = (x - vxb) / vxm;
  *yo = (y - vyb) / vym;
}

void gxproj(coordinate_callback fn) { fconv = fn; }
void gxgrid(coordinate_callback fn) { gconv = fn; }
void gxback(coordinate_callback fn) { bconv = fn; }

void gxrset(int level) {
  if (level > 2) gconv = nullptr;
  if (level > 1) {
    fconv = nullptr;
    bconv = nullptr;
  }
}

void gxconv(float x, float y, float* xo, float* yo, int level) {
  if (level > 2 && gconv) gconv(x, y, &x, &y);
  if (level > 1 && fconv) fconv(x, y, &x, &y);
  if (level > 0) {
    x = x * xm + xb;
    y = y * ym + yb;
  }
  *xo = x;
  *yo = y;
}

void gxcord(float* xy, int n, int level) {
  for (int i = 0; i < n; i++) gxconv(xy[2 * i], xy[2 * i + 1], &xy[2 * i], &xy[2 * i + 1], level);
}

void gxgrmp(float x, float y, float* xo, float* yo) {
  if (gconv) {
    gconv(x, y, xo, yo);
  } else {
    *xo = x;
    *yo = y;
  }
}

void gxxy2w(float x, float y, float* xo, float* yo) {
  if (xm == 0 || ym == 0) {
    *xo = -999.9f;
    *yo = -999.9f;
    return;
  }
  *xo = (x - xb) / xm;
  *yo = (y - yb) / ym;
  if (bconv) bconv(*xo, *yo, xo, yo);
}

// ---- names and environment ----

const char* gxgsym(const char* name) { return std::getenv(name); }

std::string gxgnam(const std::string& name) {
  const char* dir = std::getenv("KADDIR");
  std::string d = dir ? dir : "/usr/local/lib/vemra";
  if (!d.empty() && d[0] == '.') return name;
  if (d.empty() || d.back() != '/') d += '/';
  return d + name;
}
