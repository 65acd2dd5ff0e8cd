// Mollweide projection (in its simple form: x by the cosine of the latitude,
// y by its sine), with the west edge of the box moved to -180.
#include <cmath>

#include "gx/gx.h"
#include "gx/proj.h"
#include "gx/proj_fit.h"

namespace {

mollweide_params installed{0.0f};  // what the last accepted set-up installed

}  // namespace

mollweide_params mollweide_setup(float lon_min) { return {-180.0f - lon_min}; }

void mollweide_forward(const mollweide_params& p, float lon, float lat, float* x, float* y) {
  if (p.shift != 0.0f) lon += p.shift;
  double phi = lat * 3.14159265358979 / 180.0;
  float xo = static_cast<float>(std::cos(phi) * lon / 180.0);
  float yo = static_cast<float>(std::sin(phi) / 2.0);
  *x = xo;
  *y = yo;
}

int gxmoll(projection_box* b) {
  if (!box_ok(b)) return 1;
  if (b->lat_min < -90.0f || b->lat_max > 90.0f) return 1;
  const mollweide_params p = mollweide_setup(b->lon_min);
  auto fwd = [&p](float lon, float lat, float* x, float* y) {
    mollweide_forward(p, lon, lat, x, y);
  };
  float x1, x2, y1, y2;
  if (!edge_extent(b, fwd, &x1, &x2, &y1, &y2)) return 1;
  fit_aspect(b, x1, x2, y1, y2);
  installed = p;
  install(bound<mollweide_params, mollweide_forward>, &installed, plane_as_is, arrow_turn::none);
  return 0;
}
