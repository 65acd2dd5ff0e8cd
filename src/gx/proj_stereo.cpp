// Polar stereographic projection over either pole: the south plane is the
// north one seen from below.
#include <cmath>

#include "gx/gx.h"
#include "gx/proj.h"
#include "gx/proj_fit.h"

namespace {

// The parameters each pole's set-up last installed.
stereo_params north_installed{1.0, 0.0f, -90.0f};
stereo_params south_installed{-1.0, 0.0f, -90.0f};

// Brings a longitude into [centre - 180, centre + 180].
float wrap_about(float lon, float centre) {
  while (lon < centre - 180.0f) lon += 360.0f;
  while (lon > centre + 180.0f) lon -= 360.0f;
  return lon;
}

// Both poles share one set-up: `near` is the latitude edge away from the
// pole, `far` the one nearest to it; the y pair is swapped for the south.
int polar_box(projection_box* b, float lat_lo, float lat_hi, stereo_pole pole,
              stereo_params* installed) {
  if (!box_ok(b)) return 1;
  if (b->lon_max - b->lon_min > 360.0f || b->lon_min < -360.0f || b->lon_max > 360.0f ||
      b->lat_min < lat_lo || b->lat_max > lat_hi)
    return 1;
  bool north = pole == stereo_pole::north;
  float c = (b->lon_min + b->lon_max) * 0.5f;
  const stereo_params p = stereo_setup(pole, c);
  auto fwd = [&p](float lon, float lat, float* x, float* y) { stereo_forward(p, lon, lat, x, y); };
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
  if (!extent_ok(x1, x2, y1, y2)) return 1;
  fit_aspect(b, x1, x2, y1, y2);
  *installed = p;
  install(bound<stereo_params, stereo_forward>, bound<stereo_params, stereo_inverse>, installed,
          north ? arrow_turn::north_polar : arrow_turn::south_polar, c);
  return 0;
}

}  // namespace

stereo_params stereo_setup(stereo_pole pole, float centre) {
  return {pole == stereo_pole::north ? 1.0 : -1.0, centre, -90.0f - centre};
}

void stereo_forward(const stereo_params& p, float lon, float lat, float* x, float* y) {
  double rho = std::tan(0.785315 - p.sign * (lat * 0.00872572));
  double a = p.sign * ((lon + p.offset) * 0.0174514);
  *x = static_cast<float>(rho * std::cos(a));
  *y = static_cast<float>(rho * std::sin(a));
}

void stereo_inverse(const stereo_params& p, float x, float y, float* lon, float* lat) {
  double r = std::hypot(x, y);
  float la = static_cast<float>(p.sign * (90.0 - 2.0 * std::atan(r) * 180.0 / 3.14159));
  float lo = 0.0f;
  if (x != 0.0f || y != 0.0f) {
    lo = static_cast<float>(p.sign * std::atan2(y, x) * 180.0 / 3.14159 - p.offset);
    lo = wrap_about(lo, p.centre);
  }
  *lon = lo;
  *lat = la;
}

int gxnste(projection_box* b) {
  return polar_box(b, -80.0f, 90.0f, stereo_pole::north, &north_installed);
}

int gxsste(projection_box* b) {
  return polar_box(b, -90.0f, 80.0f, stereo_pole::south, &south_installed);
}
