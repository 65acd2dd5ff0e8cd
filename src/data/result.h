// Results of the expression language: a grid (one- or two-dimensional slice of
// a data set, or a single value) or a set of station reports. Each record is
// first the request handed to the data layer, then, filled, the result.
//
// Allocation: records, value arrays, report blocks and owned scaling arrays
// are allocated with kamalloc / kacalloc (base/alloc.h) and released with kafree,
// so whoever builds or copies a result releases it with kagfre / kasfre.
#pragma once

#include <memory>
#include <utility>
#include <variant>

#include "base/scaling.h"

struct file_descriptor;
struct variable_descriptor;

// A grid request and result.
struct grid_field {
  // isiz * jsiz values, i fastest. For a one-point grid it points at this
  // record's own min_value (after copying such a record, point the copy's
  // values at the copy's min_value).
  float* values;
  file_descriptor* file;  // null for a computed grid
  float undef;            // every missing point holds exactly this
  float min_value;        // see kamnmx
  float max_value;
  int isiz, jsiz;                        // points along i and j (1 when not varying)
  int idim, jdim;                        // 0 x, 1 y, 2 z, 3 t, -1 none (jdim -1 when idim is)
  int dim_min[4];                        // first 1-based grid index of x, y, z, t
  int dim_max[4];                        // last grid index; equal to dim_min when fixed
  variable_descriptor* variable;         // null for computed and predefined grids
  int owns_scaling;                      // i_world_vals / j_world_vals belong to this grid
  conversion_fn i_to_world, j_to_world;  // x, y, z only (time uses gr2t)
  conversion_fn i_to_grid, j_to_grid;
  float* i_world_vals;  // scaling arrays of the conversions (time: time_scaling)
  float* j_world_vals;
  float* i_grid_vals;  // inside the same allocation as the world half
  float* j_grid_vals;
  int i_linear, j_linear;  // 1 linear, 0 explicit levels
};

// One station report.
struct station_report {
  station_report* next;
  char stid[8];  // blank-padded, no terminator
  float lat;
  float lon;
  float lev;    // -9.99e33 for variables without levels
  float time;   // grid coordinate of the data set's time axis
  float value;  // the set's undef when missing
};

inline constexpr int kReportsPerBlock = 200;
inline constexpr int kReportBlocks = 5000;

// A station request and result.
struct station_set {
  station_report* first_report;  // null: no reports
  int report_count;
  // The report blocks, block_capacity entries (grown as reports come, up to
  // kReportBlocks), each owned; valid once the set has a report.
  station_report** blocks;
  int block_capacity;
  file_descriptor* file;
  float undef;
  float min_value, max_value;  // see kasmnmx
  int idim, jdim;
  float lon_min, lat_min, lev_min;  // with the radius option lon/lat are the centre
  float lon_max, lat_max, lev_max;
  int radius_flag;
  float radius;
  int stid_flag;
  char stid[8];  // blank-padded, no terminator
  int time_min, time_max;
  float* time_scaling_copy;  // owned, 8 floats
  variable_descriptor* variable;
  station_report** append_link;  // where the next report is chained
  station_report* last_report;
  int block_used;   // reports used in the current block
  int block_index;  // current block, -1 before the first
};

// Releases a grid (null does nothing): owned scaling arrays, the value array
// of a grid with idim >= 0, the record.
void kagfre(grid_field* grid);
// Releases a station set (null does nothing): its time scaling copy, its
// report blocks, the record.
void kasfre(station_set* set);

// Owners of a result: whoever holds one of these releases the result.
struct grid_releaser {
  void operator()(grid_field* grid) const { kagfre(grid); }
};
struct station_releaser {
  void operator()(station_set* set) const { kasfre(set); }
};
using grid_ptr = std::unique_ptr<grid_field, grid_releaser>;
using station_ptr = std::unique_ptr<station_set, station_releaser>;

// A result of the expression language: none, a grid or a station set; the
// alternative held says which.
using result_value = std::variant<std::monostate, grid_ptr, station_ptr>;

// The grid or station set a result holds, or null when it holds the other
// kind or nothing.
inline grid_field* grid_in(const result_value& r) {
  const grid_ptr* g = std::get_if<grid_ptr>(&r);
  return g ? g->get() : nullptr;
}
inline station_set* stations_in(const result_value& r) {
  const station_ptr* s = std::get_if<station_ptr>(&r);
  return s ? s->get() : nullptr;
}

// Takes the grid or station set out of a result, which then holds nothing;
// null (and the result unchanged) when it holds the other kind or nothing.
inline grid_ptr extract_grid(result_value& r) {
  grid_ptr g;
  if (grid_ptr* p = std::get_if<grid_ptr>(&r)) {
    g = std::move(*p);
    r = std::monostate{};
  }
  return g;
}
inline station_ptr extract_stations(result_value& r) {
  station_ptr s;
  if (station_ptr* p = std::get_if<station_ptr>(&r)) {
    s = std::move(*p);
    r = std::monostate{};
  }
  return s;
}

// Minimum and maximum of the defined values (both undef when none).
void kamnmx(grid_field* grid);
void kasmnmx(station_set* set);

// A new report chained at the end of the set, or null (message on standard
// output) when the blocks are used up or memory runs out.
station_report* kaarpt(station_set* set);

// Moves the reports of a set, in their order, into one block that holds just
// them, so that a set kept for long (a collection) costs what it holds. When
// memory runs out the set is left as it was.
void kasfit(station_set* set) noexcept;

// 0 when the two grids cover the same points in dimension d (0 x .. 3 t), 1
// when not; a negative d is always compatible.
int kagchk(const grid_field* a, const grid_field* b, int d);
