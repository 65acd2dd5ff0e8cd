// Pre-projected grids: data stored on a native projected grid (polar
// stereographic, Lambert conformal, the rotated E-grid, oblique stereographic,
// or any grid with user-supplied interpolation tables) and read as the
// longitude-latitude grid of the descriptor's XDEF and YDEF.
//
// The set-up (kappcn) is declared in descriptor.h and the row reader
// (kaprow) in gridread.h; this header holds what else is shared.
#pragma once

#include <cstdint>

// Kinds of native grid of a PDEF record (the file record's pdef_type).
enum pdef_kind_code : int {
  pdef_none = 0,
  pdef_nps = 1,    // north polar stereographic
  pdef_sps = 2,    // south polar stereographic
  pdef_lcc = 3,    // Lambert conformal conic
  pdef_eta = 4,    // rotated latitude-longitude E-grid (u points)
  pdef_pse = 5,    // polar stereographic on the ellipsoid
  pdef_ops = 6,    // oblique stereographic
  pdef_bilin = 7,  // native i, j and rotation per target point from a file
  pdef_file = 8,   // native indices and weights per target point from a file
};

// A rotation entry at or below this marks a target point whose winds can't
// be turned (no angle was computed or the file gave none).
inline constexpr float pdef_no_rotation = -999.0f;

// Most weights a "file" native grid may give per target point.
inline constexpr int pdef_max_weights = 8;

// Forward transforms: longitude and latitude in degrees to fractional native
// grid coordinates (1-based).
//
// Polar stereographic true at 60 degrees on a sphere of 6371.2 km; longitudes
// and the orientation are west-positive, mesh in km (its sign selects the
// hemisphere). xi, xj are in mesh units from the pole.
void w3fb04(float lat, float west_lon, float mesh, float west_orient, float* xi, float* xj);
// Lambert conformal conic; params: latref, lonref, iref, jref, truelat1,
// truelat2, stdlon, dx, dy (metres).
void ll2lc(const float* params, float lat, float lon, float* gi, float* gj);
// Rotated latitude-longitude E-grid; params: lon0, lat0, dlon, dlat. Also
// gives the angle (radians) between the grid's and the earth's north.
void ll2eg(int isize, int jsize, const float* params, float lon, float lat, float* gi, float* gj,
           float* rotation);
// Polar stereographic on the ellipsoid; params: slat, slon, polei, polej,
// dx, dy (km), sign (hemisphere).
void ll2pse(int isize, int jsize, const float* params, float lon, float lat, float* gi, float* gj);
// Oblique stereographic on a sphere; params: lat0, lon0, xoff, yoff, iref,
// jref, dx, dy (metres).
void ll2ops(const float* params, float lon, float lat, float* gi, float* gj);
