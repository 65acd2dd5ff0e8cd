// Lambert conformal conic projection of a box within one hemisphere, its
// standard parallels at the latitude bounds of the box.
#include <cmath>
#include <cstdio>

#include "gx/gx.h"
#include "gx/proj.h"
#include "gx/proj_fit.h"

namespace {

lambert_params installed{1.0f, 0.0, 1.0};  // what the last accepted set-up installed

const double deg = 0.017453292;  // radians per degree

// Room for the cone's open side: how far the centre of the plot area moves
// towards the pole, by the longitude span of the box.
float pole_offset(float span, bool north, bool tall) {
  if (span > 360.0f) return 0.0f;
  if (span > 270.0f) return north ? (tall ? 1.2f : 1.0f) : (tall ? -1.2f : -1.0f);
  if (span > 180.0f) return north ? 1.5f : (tall ? -1.5f : -1.0f);
  if (span > 90.0f) return north ? 1.0f : -0.5f;
  return north ? 1.0f : 0.0f;
}

}  // namespace

lambert_params lambert_setup(float lon_min, float lon_max, float lat_min, float lat_max) {
  lambert_params p;
  p.hemi = lat_min >= 0.0f ? 1.0f : -1.0f;
  p.centre = std::floor((lon_min + lon_max) / 2.0);
  // A pole as a standard parallel would make the cone a plane.
  double phi1 = lat_min == -90.0f ? -89.99 : lat_min;
  double phi2 = lat_max == 90.0f ? 89.99 : lat_max;
  if (phi1 != phi2) {
    double t1 = std::tan((45.0 - p.hemi * phi1 / 2.0) * deg);
    double t2 = std::tan((45.0 - p.hemi * phi2 / 2.0) * deg);
    p.cone = (std::log10(std::cos(phi1 * deg)) - std::log10(std::cos(phi2 * deg))) /
             (std::log10(t1) - std::log10(t2));
  } else {
    p.cone = std::cos((90.0 - p.hemi * phi1) * deg);
  }
  return p;
}

void lambert_forward(const lambert_params& p, float lon, float lat, float* x, float* y) {
  double rho = std::pow(std::tan((45.0 - p.hemi * lat / 2.0) * deg), p.cone);
  double a = (lon - p.centre) * deg * p.cone;
  float xo = static_cast<float>(rho * std::sin(a));
  float yo = static_cast<float>(-p.hemi * rho * std::cos(a));
  *x = xo;
  *y = yo;
}

int gxlamc(projection_box* b) {
  if (!box_ok(b)) return 1;
  if (b->lat_min < 0.0f && 0.0f < b->lat_max) {
    std::printf("Map Projection Error:  Latitude must be in range -90 0 or 0 90\n");
    return 1;
  }
  const lambert_params p = lambert_setup(b->lon_min, b->lon_max, b->lat_min, b->lat_max);
  auto fwd = [&p](float lon, float lat, float* x, float* y) { lambert_forward(p, lon, lat, x, y); };
  float la1 = b->lat_min == -90.0f ? -89.99f : b->lat_min;
  float la2 = b->lat_max == 90.0f ? 89.99f : b->lat_max;

  float x, y, x1, x2, ya, yb;
  fwd(b->lon_min, la1, &x1, &y);
  fwd(b->lon_min, la2, &x, &y);
  if (x < x1) x1 = x;
  if (la1 >= 0.0f && la2 > 0.0f) {
    fwd(b->lon_min, 0.0f, &x, &y);
    if (x < x1) x1 = x;
  }
  fwd(b->lon_max, la1, &x2, &ya);
  fwd(b->lon_max, la2, &x, &yb);
  if (x > x2) x2 = x;
  if (la1 < 0.0f && la2 <= 0.0f) {
    fwd(b->lon_max, 0.0f, &x, &y);
    if (x > x2) x2 = x;
  }
  float y1 = ya < yb ? ya : yb;
  float y2 = ya < yb ? yb : ya;
  if (!extent_ok(x1, x2, y1, y2)) return 1;

  float xlo = b->page_xlo, xhi = b->page_xhi, ylo = b->page_ylo, yhi = b->page_yhi;
  float cx = (xlo + xhi) * 0.5f, cy = (ylo + yhi) * 0.5f;
  float w = xhi - xlo, hgt = yhi - ylo;
  bool tall = (x2 - x1) / (y2 - y1) < w / hgt;
  cy += pole_offset(b->lon_max - b->lon_min, p.hemi > 0.0f, tall);

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
  installed = p;
  install(bound<lambert_params, lambert_forward>, &installed, plane_as_is, arrow_turn::none);
  return 0;
}
