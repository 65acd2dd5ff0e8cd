// Map projections. The constants are the ones the stored plots were made
// with (short values of pi and of degrees-to-radians); changing them would
// move every map line by a fraction of a pixel against older output.
#include "gx/proj.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "gx/gx.h"

namespace {

float lonref = 0.0f;  // centre longitude (polar, orthographic)
float londif = 0.0f;  // polar stereographic offset: -90 - centre
float hemi = 1.0f;    // Lambert hemisphere: 1 north, -1 south
int adjtyp = 0;       // arrow rotation: 0 none, 1 north polar, 2 south polar, 3 other
float lomin = 0.0f, lomax = 0.0f, lamin = 0.0f, lamax = 0.0f;

const float rob1[37] = {
    -1.349f, -1.317f, -1.267f, -1.206f, -1.138f, -1.066f, -0.991f, -0.913f, -0.833f, -0.752f,
    -0.669f, -0.586f, -0.502f, -0.418f, -0.334f, -0.251f, -0.167f, -0.084f, 0.0f,    0.084f,
    0.167f,  0.251f,  0.334f,  0.418f,  0.502f,  0.586f,  0.669f,  0.752f,  0.833f,  0.913f,
    0.991f,  1.066f,  1.138f,  1.206f,  1.267f,  1.317f,  1.349f};
const float rob2[37] = {
    1.399f, 1.504f, 1.633f, 1.769f, 1.889f, 1.997f, 2.099f, 2.195f, 2.281f, 2.356f,
    2.422f, 2.478f, 2.532f, 2.557f, 2.582f, 2.602f, 2.616f, 2.625f, 2.628f, 2.625f,
    2.616f, 2.602f, 2.582f, 2.557f, 2.532f, 2.478f, 2.422f, 2.356f, 2.281f, 2.195f,
    2.099f, 1.997f, 1.889f, 1.769f, 1.633f, 1.504f, 1.399f};

// Checks every set-up makes first. The NaN-safe form also refuses boxes
// with non-finite bounds.
bool box_ok(const projection_box* b) {
  return b->lon_min < b->lon_max && b->lat_min < b->lat_max && b->page_xlo < b->page_xhi &&
         b->page_ylo < b->page_yhi;
}

// The box the transforms of the plane projections read.
void keep_box(const projection_box* b) {
  lomin = b->lon_min;
  lomax = b->lon_max;
  lamin = b->lat_min;
  lamax = b->lat_max;
}

// Back transform of the projections whose plane needs none.
void plane_as_is(float x, float y, float* xo, float* yo) {
  *xo = x;
  *yo = y;
}

// A plane extent must have a finite, non-empty size or the page scaling
// divides by zero.
bool extent_ok(double x1, double x2, double y1, double y2) {
  return std::isfinite(x1) && std::isfinite(x2) && std::isfinite(y1) && std::isfinite(y2) &&
         x2 - x1 > 0.0 && y2 - y1 > 0.0;
}

// Fits the plane extent into the page area keeping its aspect, installs the
// page scaling and records the area used as the plot area.
void fit_aspect(projection_box* b, float x1, float x2, float y1, float y2) {
  float xlo = b->page_xlo, xhi = b->page_xhi, ylo = b->page_ylo, yhi = b->page_yhi;
  if ((xhi - xlo) / (yhi - ylo) > (x2 - x1) / (y2 - y1)) {
    float h = (yhi - ylo) * 0.5f * (x2 - x1) / (y2 - y1);
    float c = (xlo + xhi) * 0.5f;
    xlo = c - h;
    xhi = c + h;
  } else {
    float h = (xhi - xlo) * 0.5f * (y2 - y1) / (x2 - x1);
    float c = (ylo + yhi) * 0.5f;
    ylo = c - h;
    yhi = c + h;
  }
  gxscal(xlo, xhi, ylo, yhi, x1, x2, y1, y2);
  b->plot_xlo = xlo;
  b->plot_xhi = xhi;
  b->plot_ylo = ylo;
  b->plot_yhi = yhi;
}

// Extent shared by Robinson, Mollweide and orthographic: the west and east
// edges at both latitude bounds and, when the box spans it, at the equator.
bool edge_extent(const projection_box* b, coordinate_callback p, float* x1, float* x2, float* y1,
                 float* y2) {
  float x, y;
  p(b->lon_min, b->lat_min, &x, &y);
  float lo = x;
  p(b->lon_min, b->lat_max, &x, &y);
  if (x < lo) lo = x;
  bool equator = b->lat_min < 0.0f && 0.0f < b->lat_max;
  if (equator) {
    p(b->lon_min, 0.0f, &x, &y);
    if (x < lo) lo = x;
  }
  p(b->lon_max, b->lat_min, &x, &y);
  float hi = x;
  *y1 = y;
  p(b->lon_max, b->lat_max, &x, &y);
  if (x > hi) hi = x;
  *y2 = y;
  if (equator) {
    p(b->lon_max, 0.0f, &x, &y);
    if (x > hi) hi = x;
  }
  *x1 = lo;
  *x2 = hi;
  return extent_ok(*x1, *x2, *y1, *y2);
}

// Brings a longitude into [lonref - 180, lonref + 180].
float wrap_about_ref(float lon) {
  while (lon < lonref - 180.0f) lon += 360.0f;
  while (lon > lonref + 180.0f) lon -= 360.0f;
  return lon;
}

void install(coordinate_callback fwd, coordinate_callback back, int adj) {
  gxproj(fwd);
  gxback(back);
  adjtyp = adj;
}

}  // namespace

int gxscld(projection_box* b, int xflip, int yflip) {
  if (!box_ok(b)) return 1;
  b->plot_xlo = b->page_xlo;
  b->plot_xhi = b->page_xhi;
  b->plot_ylo = b->page_ylo;
  b->plot_yhi = b->page_yhi;
  float wx1 = b->lon_min, wx2 = b->lon_max, wy1 = b->lat_min, wy2 = b->lat_max;
  if (xflip) std::swap(wx1, wx2);
  if (yflip) std::swap(wy1, wy2);
  gxscal(b->page_xlo, b->page_xhi, b->page_ylo, b->page_yhi, wx1, wx2, wy1, wy2);
  gxproj(nullptr);
  adjtyp = 0;
  return 0;
}

int gxltln(projection_box* b) {
  if (!box_ok(b)) return 1;
  float xlo = b->page_xlo, xhi = b->page_xhi, ylo = b->page_ylo, yhi = b->page_yhi;
  // A latitude degree counts 1.2 longitude degrees.
  float r = (b->lat_max - b->lat_min) * 1.2f / (b->lon_max - b->lon_min);
  float p = (yhi - ylo) / (xhi - xlo);
  if (r > p) {
    float w = (xhi - xlo) * p / r;
    float c = (xlo + xhi) * 0.5f;
    xlo = c - w * 0.5f;
    xhi = c + w * 0.5f;
  } else {
    float h = (yhi - ylo) * r / p;
    float c = (ylo + yhi) * 0.5f;
    ylo = c - h * 0.5f;
    yhi = c + h * 0.5f;
  }
  b->plot_xlo = xlo;
  b->plot_xhi = xhi;
  b->plot_ylo = ylo;
  b->plot_yhi = yhi;
  gxscal(xlo, xhi, ylo, yhi, b->lon_min, b->lon_max, b->lat_min, b->lat_max);
  gxproj(nullptr);
  adjtyp = 0;
  return 0;
}

// ---- polar stereographic ----

// s is +1 over the north pole and -1 over the south one: the south plane is
// the north one seen from below.
static void stereo_fwd(float lon, float lat, float* x, float* y, double s) {
  double rho = std::tan(0.785315 - s * (lat * 0.00872572));
  double a = s * ((lon + londif) * 0.0174514);
  *x = static_cast<float>(rho * std::cos(a));
  *y = static_cast<float>(rho * std::sin(a));
}

static void stereo_rev(float x, float y, float* lon, float* lat, double s) {
  double r = std::hypot(x, y);
  float la = static_cast<float>(s * (90.0 - 2.0 * std::atan(r) * 180.0 / 3.14159));
  float lo = 0.0f;
  if (x != 0.0f || y != 0.0f) {
    lo = static_cast<float>(s * std::atan2(y, x) * 180.0 / 3.14159 - londif);
    lo = wrap_about_ref(lo);
  }
  *lon = lo;
  *lat = la;
}

void gxnpst(float lon, float lat, float* x, float* y) { stereo_fwd(lon, lat, x, y, 1.0); }
void gxnrev(float x, float y, float* lon, float* lat) { stereo_rev(x, y, lon, lat, 1.0); }
void gxspst(float lon, float lat, float* x, float* y) { stereo_fwd(lon, lat, x, y, -1.0); }
void gxsrev(float x, float y, float* lon, float* lat) { stereo_rev(x, y, lon, lat, -1.0); }

// Both poles share one setup: `near` is the latitude edge away from the pole,
// `far` the one nearest to it; the y pair is swapped for the south.
static int polar_box(projection_box* b, float lat_lo, float lat_hi, bool north,
                     void (*fwd)(float, float, float*, float*),
                     void (*rev)(float, float, float*, float*), int kind) {
  if (!box_ok(b)) return 1;
  if (b->lon_max - b->lon_min > 360.0f || b->lon_min < -360.0f || b->lon_max > 360.0f ||
      b->lat_min < lat_lo || b->lat_max > lat_hi)
    return 1;
  float c = (b->lon_min + b->lon_max) * 0.5f;
  float save_dif = londif, save_ref = lonref;
  londif = -90.0f - c;
  lonref = c;
  float near = north ? b->lat_min : b->lat_max;
  float far = north ? b->lat_max : b->lat_min;
  float x1, x2, y_near, y_far, x, y;
  if (b->lon_max - b->lon_min < 180.0f) {
    fwd(b->lon_min, near, &x1, &y);
    fwd(b->lon_max, near, &x2, &y);
    fwd(b->lon_min, far, &x, &y_far);
  } else {
    fwd(c - 90.0f, near, &x1, &y);
    fwd(c + 90.0f, near, &x2, &y);
    fwd(b->lon_min, near, &x, &y_far);
  }
  fwd(c, near, &x, &y_near);
  float y1 = north ? y_near : y_far;
  float y2 = north ? y_far : y_near;
  if (!extent_ok(x1, x2, y1, y2)) {
    londif = save_dif;
    lonref = save_ref;
    return 1;
  }
  fit_aspect(b, x1, x2, y1, y2);
  install(fwd, rev, kind);
  return 0;
}

int gxnste(projection_box* b) { return polar_box(b, -80.0f, 90.0f, true, gxnpst, gxnrev, 1); }

int gxsste(projection_box* b) { return polar_box(b, -90.0f, 80.0f, false, gxspst, gxsrev, 2); }

// ---- Robinson ----

void gxrobp(float lon, float lat, float* x, float* y) {
  float t = (lat + 90.0f) / 5.0f;
  // Beyond the poles (or not a number) the polar rows stand; the index
  // must stay a small int whatever the latitude.
  if (!(t >= -1.0f)) t = -1.0f;
  if (t > 36.0f) t = 36.0f;
  int i = static_cast<int>(std::trunc(t));
  float f = t - static_cast<float>(i);
  float xo, yo;
  if (i < 0) {
    yo = -1.349f;
    xo = lon * 1.399f / 180.0f;
  } else if (i < 36) {
    yo = rob1[i] + (rob1[i + 1] - rob1[i]) * f;
    float s = rob2[i] + (rob2[i + 1] - rob2[i]) * f;
    xo = s * lon / 180.0f;
  } else {
    yo = 1.349f;
    xo = lon * 1.399f / 180.0f;
  }
  *x = xo;
  *y = yo;
}

void gxrobb(float x, float y, float* xo, float* yo) { plane_as_is(x, y, xo, yo); }

int gxrobi(projection_box* b) {
  if (!box_ok(b)) return 1;
  if (b->lon_min < -180.0f || b->lon_max > 180.0f || b->lat_min < -90.0f || b->lat_max > 90.0f)
    return 1;
  float x1, x2, y1, y2;
  if (!edge_extent(b, gxrobp, &x1, &x2, &y1, &y2)) return 1;
  fit_aspect(b, x1, x2, y1, y2);
  install(gxrobp, gxrobb, 3);
  return 0;
}

// ---- Mollweide ----

void gxmollp(float lon, float lat, float* x, float* y) {
  if (lomin != -180.0f) lon += -180.0f - lomin;
  double phi = lat * 3.14159265358979 / 180.0;
  float xo = static_cast<float>(std::cos(phi) * lon / 180.0);
  float yo = static_cast<float>(std::sin(phi) / 2.0);
  *x = xo;
  *y = yo;
}

void gxmollb(float x, float y, float* xo, float* yo) { plane_as_is(x, y, xo, yo); }

int gxmoll(projection_box* b) {
  keep_box(b);
  if (!box_ok(b)) return 1;
  if (b->lat_min < -90.0f || b->lat_max > 90.0f) return 1;
  float x1, x2, y1, y2;
  if (!edge_extent(b, gxmollp, &x1, &x2, &y1, &y2)) return 1;
  fit_aspect(b, x1, x2, y1, y2);
  install(gxmollp, gxmollb, 3);
  return 0;
}

// ---- orthographic ----

void gxortgp(float lon, float lat, float* x, float* y) {
  const double pi = 3.14159265358979;
  if (lomin != -90.0f) lon += -90.0f - lomin;
  double la = lat * pi / 180.0, lo = lon * pi / 180.0;
  float xo = static_cast<float>(std::cos(la) * std::sin(lo));
  float yo = static_cast<float>(std::sin(la));
  *x = xo;
  *y = yo;
}

void gxortgb(float x, float y, float* xo, float* yo) { plane_as_is(x, y, xo, yo); }

int gxortg(projection_box* b) {
  keep_box(b);
  lonref = (b->lon_min + b->lon_max) * 0.5f;
  if (!box_ok(b)) return 1;
  if (b->lat_min != -90.0f || b->lat_max != 90.0f) {
    std::printf("Map Projection Error:  Latitude must be in range -90 90\n");
    return 1;
  }
  float d = b->lon_max - b->lon_min;
  if (d > 180.0f) {
    std::printf("Map Projection Error:  %.1f - %.1f  > 180.0\n", b->lon_max, b->lon_min);
    return 1;
  }
  if (d < 180.0f) {
    std::printf("Map Projection Error:  %.1f - %.1f  < 180.0\n", b->lon_max, b->lon_min);
    return 1;
  }
  if (b->lon_min < -180.0f) {
    b->lon_min += 360.0f;
    b->lon_max += 360.0f;
  }
  if (b->lon_max > 180.0f) {
    b->lon_min -= 360.0f;
    b->lon_max -= 360.0f;
  }
  float x1, x2, y1, y2;
  if (!edge_extent(b, gxortgp, &x1, &x2, &y1, &y2)) return 1;
  fit_aspect(b, x1, x2, y1, y2);
  install(gxortgp, gxortgb, 3);
  return 0;
}

// ---- Lambert conformal ----

void gxlamcp(float lon, float lat, float* x, float* y) {
  const double k = 0.017453292;
  double phi1 = lamin == -90.0f ? -89.99 : lamin;
  double phi2 = lamax == 90.0f ? 89.99 : lamax;
  double c = std::floor((lomin + lomax) / 2.0);
  double n;
  if (phi1 != phi2) {
    double t1 = std::tan((45.0 - hemi * phi1 / 2.0) * k);
    double t2 = std::tan((45.0 - hemi * phi2 / 2.0) * k);
    n = (std::log10(std::cos(phi1 * k)) - std::log10(std::cos(phi2 * k))) /
        (std::log10(t1) - std::log10(t2));
  } else {
    n = std::cos((90.0 - hemi * phi1) * k);
  }
  double rho = std::pow(std::tan((45.0 - hemi * lat / 2.0) * k), n);
  double a = (lon - c) * k * n;
  float xo = static_cast<float>(rho * std::sin(a));
  float yo = static_cast<float>(-hemi * rho * std::cos(a));
  *x = xo;
  *y = yo;
}

void gxlamcb(float x, float y, float* xo, float* yo) { plane_as_is(x, y, xo, yo); }

int gxlamc(projection_box* b) {
  keep_box(b);
  if (!box_ok(b)) return 1;
  if (b->lat_min < 0.0f && 0.0f < b->lat_max) {
    std::printf("Map Projection Error:  Latitude must be in range -90 0 or 0 90\n");
    return 1;
  }
  hemi = b->lat_min >= 0.0f ? 1.0f : -1.0f;
  float la1 = b->lat_min == -90.0f ? -89.99f : b->lat_min;
  float la2 = b->lat_max == 90.0f ? 89.99f : b->lat_max;

  float x, y, x1, x2, ya, yb;
  gxlamcp(b->lon_min, la1, &x1, &y);
  gxlamcp(b->lon_min, la2, &x, &y);
  if (x < x1) x1 = x;
  if (la1 >= 0.0f && la2 > 0.0f) {
    gxlamcp(b->lon_min, 0.0f, &x, &y);
    if (x < x1) x1 = x;
  }
  gxlamcp(b->lon_max, la1, &x2, &ya);
  gxlamcp(b->lon_max, la2, &x, &yb);
  if (x > x2) x2 = x;
  if (la1 < 0.0f && la2 <= 0.0f) {
    gxlamcp(b->lon_max, 0.0f, &x, &y);
    if (x > x2) x2 = x;
  }
  float y1 = ya < yb ? ya : yb;
  float y2 = ya < yb ? yb : ya;
  if (!extent_ok(x1, x2, y1, y2)) return 1;

  float xlo = b->page_xlo, xhi = b->page_xhi, ylo = b->page_ylo, yhi = b->page_yhi;
  float cx = (xlo + xhi) * 0.5f, cy = (ylo + yhi) * 0.5f;
  float w = xhi - xlo, hgt = yhi - ylo;
  float d = b->lon_max - b->lon_min;
  bool tall = (x2 - x1) / (y2 - y1) < w / hgt;
  bool north = hemi > 0.0f;
  // Room for the cone's open side: the centre is moved towards the pole.
  float off = 0.0f;
  if (d > 360.0f)
    off = 0.0f;
  else if (d > 270.0f)
    off = north ? (tall ? 1.2f : 1.0f) : (tall ? -1.2f : -1.0f);
  else if (d > 180.0f)
    off = north ? 1.5f : (tall ? -1.5f : -1.0f);
  else if (d > 90.0f)
    off = north ? 1.0f : -0.5f;
  else
    off = north ? 1.0f : 0.0f;
  cy += off;

  float axlo, axhi, aylo, ayhi;
  if (tall) {
    float h = hgt * 0.5f * (x2 - x1) / (y2 - y1);
    if (h < 1.0f) {
      axlo = xlo, axhi = xhi, aylo = cy - h, ayhi = cy + h;
    } else if (h < 3.0f) {
      axlo = cx - 0.5f * h, axhi = cx + 0.5f * h, aylo = cy - h, ayhi = cy + h;
    } else if (h > 3.0f) {
      axlo = cx - 0.75f * h, axhi = cx + 0.75f * h, aylo = cy - 0.75f * h, ayhi = cy + 0.75f * h;
    } else {
      axlo = xlo, axhi = xhi, aylo = cy - h, ayhi = cy + h;
    }
  } else {
    float h = w * 0.5f * (y2 - y1) / (x2 - x1);
    if (h < 1.0f) {
      axlo = xlo, axhi = xhi, aylo = cy - h, ayhi = cy + h;
    } else if (h < 2.0f) {
      axlo = xlo + 0.5f * h, axhi = xhi - 0.5f * h, aylo = cy - 1.25f * h, ayhi = cy + 1.25f * h;
    } else if (h < 3.0f) {
      axlo = xlo, axhi = xhi, aylo = cy - h, ayhi = cy + h;
    } else if (h > 3.0f) {
      axlo = cx - 0.5f * h, axhi = cx + 0.5f * h, aylo = cy - 0.5f * h, ayhi = cy + 0.5f * h;
    } else {
      axlo = xlo, axhi = xhi, aylo = cy - h, ayhi = cy + h;
    }
  }
  gxscal(axlo, axhi, aylo, ayhi, x1, x2, y1, y2);
  b->plot_xlo = b->page_xlo;
  b->plot_xhi = b->page_xhi;
  b->plot_ylo = b->page_ylo;
  b->plot_yhi = b->page_yhi;
  install(gxlamcp, gxlamcb, 0);
  return 0;
}

float gxaarw(float lon, float lat) {
  (void)lat;
  if (adjtyp == 1) return (lon - lonref) * 3.14159f / 180.0f;
  if (adjtyp == 2) return (lonref - lon) * 3.14159f / 180.0f;
  return 0.0f;
}
