// Map projections: set-ups that fit a longitude/latitude box into a page
// area and install the world-to-plane transform and its inverse in the
// drawing layer. Each projection keeps its parameters in a small record its
// set-up fills once; its transforms read only that record. One table row per
// projection gives its "set mproj" words, its set-up and how the plots treat
// it.
#pragma once

#include <span>

#include "base/mapproj.h"

// One projection request. The set-ups that fit the aspect write the plot
// area actually used; the orthographic set-up may shift the longitudes by 360.
struct projection_box {
  float lon_min, lon_max, lat_min, lat_max;      // degrees
  float page_xlo, page_xhi, page_ylo, page_yhi;  // area to fill, virtual inches
  float plot_xlo, plot_xhi, plot_ylo, plot_yhi;  // area used
  int xflip, yflip;                              // axes run backwards (scaled only)
};

// One projection. Its set-up returns 0 installed, 1 refused.
struct projection_kind {
  map_projection code;
  const char* words[3];  // "set mproj" words (unused ones null)
  int (*setup)(projection_box* box);
  const char* title;  // named when its box is refused; null: never refused
  bool projected;     // the plane is not longitude and latitude scaled: its box
                      // may come from "set mpvals", its grid lines are curved
  bool polar;         // seen from above a pole: meridians radiate from it
};

// Every row.
std::span<const projection_kind> projection_kinds();
// The row of code, or null.
const projection_kind* projection_of(map_projection code);
// The row one of whose words is word (whole-word match), or null.
const projection_kind* projection_named(const char* word);
// Row flags of code (false for a code no row has).
bool is_projected(map_projection code);
bool is_polar(map_projection code);

// Set-ups: 0 installed, 1 refused (the previous scaling stays). The scaled
// and lat-lon ones remove the projection transform and leave the inverse as
// it was.
int gxscld(projection_box* box, int xflip, int yflip);
int gxltln(projection_box* box);
int gxnste(projection_box* box);
int gxsste(projection_box* box);
int gxrobi(projection_box* box);
int gxmoll(projection_box* box);
int gxortg(projection_box* box);
int gxlamc(projection_box* box);

// Rotation in radians of the local parallel at (lon, lat) under the current
// projection: a formula for the polar stereographic ones, measured through
// the forward transform for the other projections, 0 for plane scalings.
float gxaarw(float lon, float lat);
// Page direction in radians of a wind (u, v) at (lon, lat): u along the
// local parallel and v along the local meridian, so that arrows and barbs
// point along the wind on every projection.
float gxadir(float lon, float lat, float u, float v);

// Whether the installed projection is one of the polar ones, on which every
// meridian appears once around the pole.
bool polar_projection();

// ---- parameter records and transforms (output may overwrite input) ----

// The back transform of the projections whose plane needs none.
void plane_as_is(float x, float y, float* xo, float* yo);

// Polar stereographic, seen from above the north pole or from below the
// south one.
enum class stereo_pole { north, south };
struct stereo_params {
  double sign;   // +1 over the north pole, -1 over the south one
  float centre;  // centre longitude: straight down from the north pole, up from the south
  float offset;  // added to a longitude before it turns into an angle: -90 - centre
};
stereo_params stereo_setup(stereo_pole pole, float centre);
void stereo_forward(const stereo_params& p, float lon, float lat, float* x, float* y);
void stereo_inverse(const stereo_params& p, float x, float y, float* lon, float* lat);

// Robinson: a fixed table, no parameters.
void gxrobp(float lon, float lat, float* x, float* y);

// Mollweide: the west edge of the box is moved to -180.
struct mollweide_params {
  float shift;  // added to every longitude: -180 - west edge
};
mollweide_params mollweide_setup(float lon_min);
void mollweide_forward(const mollweide_params& p, float lon, float lat, float* x, float* y);

// Orthographic: the west edge of the hemisphere is moved to -90.
struct ortho_params {
  float shift;  // added to every longitude: -90 - west edge
};
ortho_params ortho_setup(float lon_min);
void ortho_forward(const ortho_params& p, float lon, float lat, float* x, float* y);

// Lambert conformal conic, tangent or secant at the latitude bounds of the box.
struct lambert_params {
  float hemi;     // 1 for a northern box, -1 for a southern one
  double centre;  // central meridian: the box's mid longitude rounded down
  double cone;    // cone constant from the two standard parallels
};
// The box must lie in one hemisphere.
lambert_params lambert_setup(float lon_min, float lon_max, float lat_min, float lat_max);
void lambert_forward(const lambert_params& p, float lon, float lat, float* x, float* y);
