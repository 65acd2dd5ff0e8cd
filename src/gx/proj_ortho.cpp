// Orthographic projection of one whole hemisphere, seen from above the
// equator, with its west edge moved to -90.
#include <cmath>
#include <cstdio>

#include "gx/gx.h"
#include "base/message.h"
#include "gx/proj.h"
#include "gx/proj_fit.h"

namespace {

ortho_params installed{0.0f};  // what the last accepted set-up installed

}  // namespace

ortho_params ortho_setup(float lon_min) { return {-90.0f - lon_min}; }

void ortho_forward(const ortho_params& p, float lon, float lat, float* x, float* y) {
  const double pi = 3.14159265358979;
  if (p.shift != 0.0f) lon += p.shift;
  double la = lat * pi / 180.0, lo = lon * pi / 180.0;
  float xo = static_cast<float>(std::cos(la) * std::sin(lo));
  float yo = static_cast<float>(std::sin(la));
  *x = xo;
  *y = yo;
}

int gxortg(projection_box* b) {
  // The shift is that of the box as asked, before it is brought within
  // -180..180 below: the edges then land where they were asked for.
  const ortho_params p = ortho_setup(b->lon_min);
  if (!box_ok(b)) return 1;
  if (b->lat_min != -90.0f || b->lat_max != 90.0f) {
    kaprntout("Map Projection Error:  Latitude must be in range -90 90\n");
    return 1;
  }
  float d = b->lon_max - b->lon_min;
  if (d > 180.0f) {
    kaprntout("Map Projection Error:  %.1f - %.1f  > 180.0\n", b->lon_max, b->lon_min);
    return 1;
  }
  if (d < 180.0f) {
    kaprntout("Map Projection Error:  %.1f - %.1f  < 180.0\n", b->lon_max, b->lon_min);
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
  auto fwd = [&p](float lon, float lat, float* x, float* y) { ortho_forward(p, lon, lat, x, y); };
  float x1, x2, y1, y2;
  if (!edge_extent(b, fwd, &x1, &x2, &y1, &y2)) return 1;
  fit_aspect(b, x1, x2, y1, y2);
  installed = p;
  install(bound<ortho_params, ortho_forward>, &installed, plane_as_is, arrow_turn::none);
  install_hemisphere(-p.shift);
  return 0;
}
