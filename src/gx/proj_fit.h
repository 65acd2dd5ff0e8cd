// What the projection set-ups share: the checks of a request, fitting a
// plane extent into the page area (proj_fit.cpp, the one place for it) and
// installing the transforms together with the parameter record they read
// (proj.cpp).
#pragma once

#include "gx/gx.h"
#include "gx/proj.h"

// Which turn wind arrows need under the installed projection; with none,
// a projection's turn is measured through its forward transform.
enum class arrow_turn { none, north_polar, south_polar };

// Checks every set-up makes first; also refuses non-finite bounds.
bool box_ok(const projection_box* b);
// A plane extent must have a finite, non-empty size or the page scaling
// divides by zero.
bool extent_ok(double x1, double x2, double y1, double y2);
// The page fittings: each installs the page scaling of a plane extent and
// records the plot area. fit_aspect centres the extent in the page area
// keeping its aspect (the area used is the plot area).
void fit_aspect(projection_box* b, float x1, float x2, float y1, float y2);
// Longitude and latitude in the aspect where a latitude degree counts 1.2
// longitude degrees, centred (the area used is the plot area).
void fit_latlon(projection_box* b);
// The extent stretched over the whole page area (an axis runs backwards when
// its pair is given high to low).
void fit_fill(projection_box* b, float x1, float x2, float y1, float y2);
// A cone's extent: centred with room for its open side towards the pole,
// sized in steps by its aspect; the plot area is the whole page area.
void fit_cone(projection_box* b, float x1, float x2, float y1, float y2, bool north);
// Extent shared by Robinson, Mollweide and orthographic: the west and east
// edges at both latitude bounds and, when the box spans it, at the equator.
template <class F>
bool edge_extent(const projection_box* b, F p, float* x1, float* x2, float* y1, float* y2);

// Installs a forward and inverse transform reading `params` (which must
// outlive the installation) and the arrow turn they need; the centre
// longitude is what the polar turns are measured from.
void install(bound_callback fwd, bound_callback back, const void* params, arrow_turn turn,
             float centre = 0.0f);
// Installs a forward transform reading `params` with a back transform that
// needs none.
void install(bound_callback fwd, const void* params, coordinate_callback back, arrow_turn turn);
// After an install: the map shows only the half of the globe within 90
// degrees of longitude middle, so the arrows measure their axes from inside
// its edge and the drawing leaves the other half out.
void install_hemisphere(float middle);
// Installs a projection that has no parameters.
void install(coordinate_callback fwd, coordinate_callback back, arrow_turn turn);
// Plane scalings (scaled, lat-lon): no projection transform, no arrow turn.
void install_plane();

// A typed transform of a parameter record as the drawing layer calls it.
template <class P, void (*F)(const P&, float, float, float*, float*)>
void bound(const void* params, float x, float y, float* xo, float* yo) {
  F(*static_cast<const P*>(params), x, y, xo, yo);
}

template <class F>
bool edge_extent(const projection_box* b, F p, float* x1, float* x2, float* y1, float* y2) {
  float x, y;
  p(b->lon_min, b->lat_min, &x, &y);
  float lo = x;
  p(b->lon_min, b->lat_max, &x, &y);
  if (x < lo) lo = x;
  bool equator = b->lat_min < 0.0f && 0.0f < b->lat_max;
  if (equator) {
    p(b->lon_min, 0.0f, &x, &y);
    if (x < lo) lo = x;
  }
  p(b->lon_max, b->lat_min, &x, &y);
  float hi = x;
  *y1 = y;
  p(b->lon_max, b->lat_max, &x, &y);
  if (x > hi) hi = x;
  *y2 = y;
  if (equator) {
    p(b->lon_max, 0.0f, &x, &y);
    if (x > hi) hi = x;
  }
  *x1 = lo;
  *x2 = hi;
  return extent_ok(*x1, *x2, *y1, *y2);
}
