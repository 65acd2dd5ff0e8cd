// The map projection a session draws maps in. The numbers are the ones
// "set mproj" has always stored and "query gxinfo" prints.
#pragma once

enum class map_projection : int {
  off = 0,           // no map: longitude and latitude scaled like any plot, no outlines
  scaled = 1,        // longitude and latitude stretched to fill the plot area
  latlon = 2,        // longitude and latitude in a fixed aspect (the default)
  nps = 3,           // polar stereographic over the north pole
  sps = 4,           // polar stereographic over the south pole
  robinson = 5,      // Robinson, from its table of rows
  mollweide = 6,     // Mollweide
  orthographic = 7,  // orthographic: one hemisphere seen from afar
  lambert = 13,      // Lambert conformal conic
};

// The number printed and stored for a projection. The words, set-ups and
// kinds of each are rows of the projection table (gx/proj.h).
constexpr int code_of(map_projection p) { return static_cast<int>(p); }
