// Station sets and longitude-latitude grids built in memory for the tests
// of the station functions, the command layer and the benchmarks.
#pragma once

#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/scaling.h"
#include "data/result.h"

namespace stntest {

struct report {
  const char* id;
  float lat, lon, lev, time, value;
};

// A set of reports in the given order (released with kasfre).
inline station_set* make_set(const std::vector<report>& reports, float undef = -99, int idim = 0,
                             int jdim = 1) {
  auto* s = static_cast<station_set*>(std::calloc(1, sizeof(station_set)));
  s->undef = undef;
  s->idim = idim;
  s->jdim = jdim;
  s->block_index = -1;
  for (const report& r : reports) {
    station_report* p = kaarpt(s);
    std::memset(p->stid, ' ', 8);
    std::memcpy(p->stid, r.id, std::strlen(r.id));
    p->lat = r.lat;
    p->lon = r.lon;
    p->lev = r.lev;
    p->time = r.time;
    p->value = r.value;
    s->report_count++;
  }
  return s;
}

inline std::vector<float> values(const station_set* s) {
  std::vector<float> v;
  for (const station_report* r = s->first_report; r; r = r->next) v.push_back(r->value);
  return v;
}

// An x-y grid of nx by ny points from (lon0, lat0) in steps of 1 degree,
// values row by row from the south (released with kagfre).
inline grid_field* make_grid(float lon0, float lat0, int nx, int ny, std::vector<float> v = {},
                             float undef = -99) {
  auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
  g->values = static_cast<float*>(std::malloc(sizeof(float) * size_t(nx * ny)));
  v.resize(size_t(nx * ny), 0.0f);
  std::memcpy(g->values, v.data(), sizeof(float) * v.size());
  g->undef = undef;
  g->isiz = nx;
  g->jsiz = ny;
  g->idim = 0;
  g->jdim = 1;
  g->dim_min[0] = g->dim_min[1] = 1;
  g->dim_max[0] = nx;
  g->dim_max[1] = ny;
  g->owns_scaling = 1;
  auto* xs = static_cast<linear_scaling*>(std::malloc(sizeof(linear_scaling)));
  auto* ys = static_cast<linear_scaling*>(std::malloc(sizeof(linear_scaling)));
  linear_scaling_set(xs, lon0, 1);
  linear_scaling_set(ys, lat0, 1);
  g->i_world_vals = xs->grid_to_world;
  g->i_grid_vals = xs->world_to_grid;
  g->j_world_vals = ys->grid_to_world;
  g->j_grid_vals = ys->world_to_grid;
  g->i_to_world = g->j_to_world = g->i_to_grid = g->j_to_grid = liconv;
  g->i_linear = g->j_linear = 1;
  return g;
}

inline std::vector<float> values(const grid_field* g) {
  return {g->values, g->values + g->isiz * g->jsiz};
}

}  // namespace stntest
