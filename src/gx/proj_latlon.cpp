// Lat-lon projection: longitude and latitude scaled linearly, with the
// aspect of the box kept.
#include "gx/proj.h"
#include "gx/proj_fit.h"

int gxltln(projection_box* b) {
  if (!box_ok(b)) return 1;
  fit_latlon(b);
  install_plane();
  return 0;
}
