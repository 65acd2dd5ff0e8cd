// Scaled projection: the box fills the whole page area, either axis may run
// backwards.
#include <utility>

#include "gx/proj.h"
#include "gx/proj_fit.h"

int gxscld(projection_box* b, int xflip, int yflip) {
  if (!box_ok(b)) return 1;
  float wx1 = b->lon_min, wx2 = b->lon_max, wy1 = b->lat_min, wy2 = b->lat_max;
  if (xflip) std::swap(wx1, wx2);
  if (yflip) std::swap(wy1, wy2);
  fit_fill(b, wx1, wx2, wy1, wy2);
  install_plane();
  return 0;
}
