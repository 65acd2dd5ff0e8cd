// Map projections: what every set-up shares, and the arrow turn of the
// installed projection (a formula for the polar ones, measured through the
// forward transform for the others). The projections themselves are one a file
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
  bool measured = false;    // no formula: the local axes are measured through the forward transform
  bool hemisphere = false;  // only the half of the globe within 90 degrees of `middle` is seen
  float middle = 0.0f;
};

arrow_rotation arrows;

// Half the step, in degrees, over which the local axes are measured: small
// against the bending of any parallel, large against the float rounding of
// page positions.
constexpr float kAxisStep = 0.05f;

struct page_vector {
  double x = 0, y = 0;
  double length() const { return std::hypot(x, y); }
};

// Page positions of two world points and the unit step between them; a
// zero vector when they coincide or do not project.
page_vector unit_step(float lon1, float lat1, float lon2, float lat2) {
  float x1, y1, x2, y2;
  gxconv(lon1, lat1, &x1, &y1, coord_level::world);
  gxconv(lon2, lat2, &x2, &y2, coord_level::world);
  page_vector d{double(x2) - x1, double(y2) - y1};
  const double n = d.length();
  if (!std::isfinite(n) || n < 1e-9) return {};
  return {d.x / n, d.y / n};
}

// Whether lon lies on the side of the globe the map shows.
bool seen(float lon) {
  return !arrows.hemisphere ||
         std::fabs(std::remainder(double(lon) - arrows.middle, 360.0)) <= 90.0;
}

// The page direction of east at (lon, lat). Where the central step would
// leave the globe (at the edge of a disc) it is the direction of the
// parallel from the point to the middle of the disc, taken from its inside:
// the parts of the step beyond the edge fold back onto it.
page_vector east_at(float lon, float lat) {
  const float w = lon - kAxisStep, e = lon + kAxisStep;
  if (seen(w) == seen(e)) return unit_step(w, lat, e, lat);
  const float middle = lon - static_cast<float>(std::remainder(double(lon) - arrows.middle, 360.0));
  return seen(w) ? unit_step(middle, lat, lon, lat) : unit_step(lon, lat, middle, lat);
}

// How far inside the globe, in degrees of latitude, east is taken at a pole
// drawn as a point: close enough to be its limit along the meridian, far
// enough for the parallel's page step to stand clear of float rounding.
constexpr float kPoleStep = 1.0f;

// The page directions of east (along the parallel) and north (along the
// meridian) at (lon, lat). Central differences, one-sided at a pole. At a
// pole drawn as a point, east is the way the parallels run just inside it
// (the meridian there may lie along any page direction, so turning it would
// not do); where one axis still vanishes it is the other turned by a right
// angle, and where both do, the page axes.
void local_axes(float lon, float lat, page_vector* east, page_vector* north) {
  *east = east_at(lon, lat);
  if (east->length() == 0 && std::fabs(lat) >= 90.0f)
    *east = east_at(lon, lat > 0 ? 90.0f - kPoleStep : kPoleStep - 90.0f);
  const float south_end = std::fmax(lat - kAxisStep, -90.0f);
  const float north_end = std::fmin(lat + kAxisStep, 90.0f);
  *north = unit_step(lon, south_end, lon, north_end);
  const bool e = east->length() > 0, n = north->length() > 0;
  if (!e && n) *east = {north->y, -north->x};
  if (e && !n) *north = {-east->y, east->x};
  if (!e && !n) *east = {1, 0}, *north = {0, 1};
}

}  // namespace

void install(bound_callback fwd, bound_callback back, const void* params, arrow_turn turn,
             float centre) {
  gxproj(fwd, params);
  gxback(back, params);
  arrows = {turn, centre, turn == arrow_turn::none};
}

void install(bound_callback fwd, const void* params, coordinate_callback back, arrow_turn turn) {
  gxproj(fwd, params);
  gxback(back);
  arrows = {turn, 0.0f, turn == arrow_turn::none};
}

void install_hemisphere(float middle) {
  arrows.hemisphere = true;
  arrows.middle = middle;
  gxside(middle);
}

void install(coordinate_callback fwd, coordinate_callback back, arrow_turn turn) {
  gxproj(fwd);
  gxback(back);
  arrows = {turn, 0.0f, turn == arrow_turn::none};
}

void install_plane() {
  gxproj(nullptr);
  arrows = {arrow_turn::none, 0.0f, false};
}

void plane_as_is(float x, float y, float* xo, float* yo) {
  *xo = x;
  *yo = y;
}

float gxaarw(float lon, float lat) {
  switch (arrows.turn) {
    case arrow_turn::north_polar: return (lon - arrows.centre) * 3.14159f / 180.0f;
    case arrow_turn::south_polar: return (arrows.centre - lon) * 3.14159f / 180.0f;
    case arrow_turn::none: break;
  }
  if (!arrows.measured) return 0.0f;
  page_vector east, north;
  local_axes(lon, lat, &east, &north);
  return static_cast<float>(std::atan2(east.y, east.x));
}

bool polar_projection() { return arrows.turn != arrow_turn::none; }

float gxadir(float lon, float lat, float u, float v) {
  if (!arrows.measured) return std::atan2(v, u) + gxaarw(lon, lat);
  // Where parallels and meridians do not cross at right angles on the page,
  // no one turn serves both components: each goes along its own axis.
  page_vector east, north;
  local_axes(lon, lat, &east, &north);
  const double x = u * east.x + v * north.x, y = u * east.y + v * north.y;
  if (x == 0 && y == 0) return std::atan2(v, u) + static_cast<float>(std::atan2(east.y, east.x));
  return static_cast<float>(std::atan2(y, x));
}
