// Grid <-> world conversion of the X, Y and Z dimensions: linear scalings,
// explicit level lists and the built-in latitude tables. Grid coordinates are
// 1-based floats; every scaling array ends with the end mark -999.9.
#pragma once

// The end mark closing every scaling array.
inline constexpr float scaling_end_mark = -999.9f;

// A conversion operation: world from grid or grid from world.
using conversion_fn = float (*)(const float* scaling, float value);

// A linear dimension: one block of six floats, the grid-to-world half
// (increment, start - increment, end mark) followed by the world-to-grid
// half (1 / increment, -(start - increment) / increment, end mark).
struct linear_scaling {
  float grid_to_world[3];
  float world_to_grid[3];
};
// Fills a block for an axis whose grid coordinate 1 is at start.
void linear_scaling_set(linear_scaling* block, float start, float increment);

// A dimension with explicit values (levels, latitudes, any irregular axis) is
// a plain float array: the count n, the n values in grid order, the end mark,
// allocated with room for n + 5 floats (std::malloc; release with std::free).
float* level_scaling_new(int n);

// The operations of one spatial dimension of a data set or grid.
struct dimension_conversion {
  conversion_fn grid_to_world;
  const float* grid_to_world_scaling;
  conversion_fn world_to_grid;
  const float* world_to_grid_scaling;
  int linear;  // 1 linear_scaling, 0 level_scaling
};

// How a typed world value is taken: a fixed value names one grid point, a
// range end bounds the points a range takes (range_first, range_last).
enum class world_use { fixed, range_end };
// How the ends of an environment range are taken: one value is fixed.
inline world_use world_use_of(float lo, float hi) {
  return lo == hi ? world_use::fixed : world_use::range_end;
}

// The grid coordinate of world value w by the axis's own world-to-grid
// conversion, or exactly i when w names grid point i. Whether it does is
// worked out in double from the grid-to-world half (a level list by lev2gr's
// rule): w names i when it lies within the float resolution of i's own world
// value, and a fixed value also within 0.001 of a grid step more. The float
// conversion alone, whose step exceeds 1e-4 of a grid step on a fine axis or
// far along one, names a neighbour or no point at all. Every command that
// takes a typed world value of x, y or z finds its grid point through this
// (data/reader.h world_grid).
double grid_coordinate(const dimension_conversion& axis, float w, world_use use);

// The one test of "this is grid point i": g within 0.001 of the whole
// number i.
bool grid_point(double g, long long* i);
// The first and last points a range from g1 to g2 reads, and so every
// command that takes a range (define, tloop, the frames of an animation):
// floor(g1 + 1e-4) and ceil(g2 - 1e-4), so that the points cover the range.
double range_first(double g1);
double range_last(double g2);

// scaling[0] * value + scaling[1].
float liconv(const float* scaling, float value);
// World value of a grid coordinate on a level list; extrapolated linearly
// from the end pairs outside the list. A one-value list gives that value.
float gr2lev(const float* levels, float g);
// Grid coordinate of a world value on a level list (increasing or
// decreasing); extrapolated outside. Equal neighbouring levels never divide
// by zero; a one-value list gives 1.
float lev2gr(const float* levels, float v);

// A longitude list whose last value lies on its first one's meridian, 360
// degrees on within a thousandth of a degree (the seam stored twice).
bool levels_close_turn(const float* levels);
// gr2lev and lev2gr on such a list, which goes on by whole turns outside
// its values: n - 1 grid steps to 360 degrees. Between its first and last
// value it is the list itself.
float gr2lon(const float* levels, float g);
float lon2gr(const float* levels, float v);

// New copy of a scaling array (std::malloc; the caller frees it), or null:
// 8 floats for dimension 3 (a time_scaling), 3 for one half of a
// linear_scaling, else the count + 5 floats of a level list. Null for a
// dimension below 0 or when memory runs out.
float* cpscal(const float* scaling, int linear, int direction, int dimension);

// Latitude scalings from the built-in tables (south to north): count
// latitudes from the 1-based position start. A new level list (the caller
// frees it with std::free), or null after a level-0 message.
float* kamo32(int start, int count);   // MOM32, 32 latitudes
float* kagaus(int start, int count);   // gaussian, 102 latitudes
float* kags30(int start, int count);   // gaussian, 80 latitudes
float* kags20(int start, int count);   // gaussian, 52 latitudes
float* kags15(int start, int count);   // gaussian, 40 latitudes
float* kagst62(int start, int count);  // gaussian, 94 latitudes, four decimals
