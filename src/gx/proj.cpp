// Map projections: what every set-up shares, and the arrow turn of the
// installed projection. The projections themselves are one a file
// (proj_*.cpp). Their constants are the ones the stored plots were made with
// (short values of pi and of degrees-to-radians); changing them would move
// every map line by a fraction of a pixel against older output.
#include "gx/proj.h"

#include <cmath>

#include "gx/gx.h"
#include "gx/proj_fit.h"

namespace {

// The turn wind arrows need under the installed projection.
struct arrow_rotation {
  arrow_turn turn = arrow_turn::none;  // none, or which pole the plane is seen from
  float centre = 0.0f;                 // longitude the polar turns are measured from
};

arrow_rotation arrows;

}  // namespace

bool box_ok(const projection_box* b) {
  return b->lon_min < b->lon_max && b->lat_min < b->lat_max && b->page_xlo < b->page_xhi &&
         b->page_ylo < b->page_yhi;
}

bool extent_ok(double x1, double x2, double y1, double y2) {
  return std::isfinite(x1) && std::isfinite(x2) && std::isfinite(y1) && std::isfinite(y2) &&
         x2 - x1 > 0.0 && y2 - y1 > 0.0;
}

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

void install(bound_callback fwd, bound_callback back, const void* params, arrow_turn turn,
             float centre) {
  gxproj(fwd, params);
  gxback(back, params);
  arrows = {turn, centre};
}

void install(bound_callback fwd, const void* params, coordinate_callback back, arrow_turn turn) {
  gxproj(fwd, params);
  gxback(back);
  arrows = {turn, 0.0f};
}

void install(coordinate_callback fwd, coordinate_callback back, arrow_turn turn) {
  gxproj(fwd);
  gxback(back);
  arrows = {turn, 0.0f};
}

void install_plane() {
  gxproj(nullptr);
  arrows = {arrow_turn::none, 0.0f};
}

void plane_as_is(float x, float y, float* xo, float* yo) {
  *xo = x;
  *yo = y;
}

float gxaarw(float lon, float lat) {
  (void)lat;
  switch (arrows.turn) {
    case arrow_turn::north_polar: return (lon - arrows.centre) * 3.14159f / 180.0f;
    case arrow_turn::south_polar: return (arrows.centre - lon) * 3.14159f / 180.0f;
    case arrow_turn::none: break;
  }
  return 0.0f;
}
