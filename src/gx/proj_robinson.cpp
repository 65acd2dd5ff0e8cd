// Robinson projection: plane coordinates interpolated in a table of rows
// every 5 degrees of latitude.
#include <cmath>

#include "gx/gx.h"
#include "gx/proj.h"
#include "gx/proj_fit.h"

namespace {

// Plane y of each 5-degree row from -90 to 90.
const float row_y[37] = {-1.349f, -1.317f, -1.267f, -1.206f, -1.138f, -1.066f, -0.991f, -0.913f,
                         -0.833f, -0.752f, -0.669f, -0.586f, -0.502f, -0.418f, -0.334f, -0.251f,
                         -0.167f, -0.084f, 0.0f,    0.084f,  0.167f,  0.251f,  0.334f,  0.418f,
                         0.502f,  0.586f,  0.669f,  0.752f,  0.833f,  0.913f,  0.991f,  1.066f,
                         1.138f,  1.206f,  1.267f,  1.317f,  1.349f};
// Plane half-width of each row (x of longitude 180).
const float row_width[37] = {1.399f, 1.504f, 1.633f, 1.769f, 1.889f, 1.997f, 2.099f, 2.195f,
                             2.281f, 2.356f, 2.422f, 2.478f, 2.532f, 2.557f, 2.582f, 2.602f,
                             2.616f, 2.625f, 2.628f, 2.625f, 2.616f, 2.602f, 2.582f, 2.557f,
                             2.532f, 2.478f, 2.422f, 2.356f, 2.281f, 2.195f, 2.099f, 1.997f,
                             1.889f, 1.769f, 1.633f, 1.504f, 1.399f};

}  // namespace

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
    yo = row_y[i] + (row_y[i + 1] - row_y[i]) * f;
    float s = row_width[i] + (row_width[i + 1] - row_width[i]) * f;
    xo = s * lon / 180.0f;
  } else {
    yo = 1.349f;
    xo = lon * 1.399f / 180.0f;
  }
  *x = xo;
  *y = yo;
}

int gxrobi(projection_box* b) {
  if (!box_ok(b)) return 1;
  if (b->lon_min < -180.0f || b->lon_max > 180.0f || b->lat_min < -90.0f || b->lat_max > 90.0f)
    return 1;
  float x1, x2, y1, y2;
  if (!edge_extent(b, gxrobp, &x1, &x2, &y1, &y2)) return 1;
  fit_aspect(b, x1, x2, y1, y2);
  install(gxrobp, plane_as_is, arrow_turn::none);
  return 0;
}
