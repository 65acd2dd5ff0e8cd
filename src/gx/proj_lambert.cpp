// Lambert conformal conic projection of a box within one hemisphere, its
// standard parallels at the latitude bounds of the box.
#include <cmath>
#include <cstdio>

#include "gx/gx.h"
#include "base/message.h"
#include "gx/proj.h"
#include "gx/proj_fit.h"

namespace {

lambert_params installed{1.0f, 0.0, 1.0};  // what the last accepted set-up installed

const double deg = 0.017453292;  // radians per degree

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
    kaprntout("Map Projection Error:  Latitude must be in range -90 0 or 0 90\n");
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

  fit_cone(b, x1, x2, y1, y2, p.hemi > 0.0f);
  installed = p;
  install(bound<lambert_params, lambert_forward>, &installed, plane_as_is, arrow_turn::none);
  return 0;
}
