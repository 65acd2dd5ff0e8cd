// Lat-lon projection: longitude and latitude scaled linearly, with the
// aspect of the box kept.
#include "gx/gx.h"
#include "gx/proj.h"
#include "gx/proj_fit.h"

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
  install_plane();
  return 0;
}
