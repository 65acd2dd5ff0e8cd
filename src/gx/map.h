// Map outlines: drawing coastlines, borders and rivers from a map outline
// file through the current projection, and densifying a caller's
// longitude/latitude polygon the same way.
#pragma once

#include <optional>
#include <vector>

// What to draw. The three tables hold 256 entries, one per line type; a
// colour of -9 leaves the type out and -1 uses the three defaults.
struct map_options {
  int colour, style, thickness;  // defaults
  const int* colours;
  const int* styles;
  const int* thicknesses;
  float lon_min, lon_max, lat_min, lat_max;  // box to draw, degrees
  const char* file_name;                     // map data set
};

// Draws one map outline file. Prints its open or format error and keeps what
// was drawn so far.
void gxdmap(const map_options* opts);

// Densifies a polygon of n (lon, lat) pairs so that no step exceeds `step`
// degrees along the larger coordinate change and converts every point
// (except the first vertex) to page inches. Returns the points as (x, y)
// pairs one after the other, or nothing on failure.
std::optional<std::vector<float>> gxmpoly(const float* xy, int n, float step);
