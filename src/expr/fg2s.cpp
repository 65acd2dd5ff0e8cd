#include "expr/fg2s.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/alloc.h"
#include "base/message.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/result.h"
#include "expr/eval.h"
#include "expr/evalstate.h"
#include "expr/fshared.h"
#include "expr/func.h"
#include "expr/stnset.h"

namespace {

// Bilinear value of g at 0-based grid coordinates (gx, gy), which lie in
// the grid; undef when one of the four points around them is undefined.
float bilinear(const grid_field* g, float gx, float gy, float undef) {
  const int ni = g->isiz;
  const int i = std::min(int(gx), ni - 2), j = std::min(int(gy), g->jsiz - 2);
  const float p = gx - float(i), q = gy - float(j);
  const float* v = g->values;
  const float v00 = v[size_t(j) * ni + i], v10 = v[size_t(j) * ni + i + 1];
  const float v01 = v[size_t(j + 1) * ni + i], v11 = v[size_t(j + 1) * ni + i + 1];
  const float gu = g->undef;
  if (v00 == gu || v10 == gu || v01 == gu || v11 == gu) return undef;
  const float a = v00 + (v10 - v00) * p;
  const float b = v01 + (v11 - v01) * p;
  return a + (b - a) * q;
}

bool varies_in_xy(const grid_field* g) {
  return g->idim == 0 && g->jdim == 1 && g->isiz >= 2 && g->jsiz >= 2;
}

int fail(const char* text) {
  kaprnt(msg_level::error, text);
  return 1;
}

// The walk of the series form: the levels or the times of the first
// argument's grid.
struct series_walk {
  enum kind_t : int { kOne, kLevels, kTimes } kind = kOne;
  int first = 1, last = 1;
  std::vector<float> levels;  // world level of each step of a level walk
  float time_scaling[8] = {};
  float undef = 0;  // the first argument's undefined value
};

// A one-minute time axis from the environment's start time.
void minute_axis(const date_time& t, float* ts) {
  const float v[8] = {
      float(t.year),   float(t.month), float(t.day), float(t.hour), float(t.minute), 0, 1,
      scaling_end_mark};
  std::memcpy(ts, v, sizeof v);
}

}  // namespace

void gr2stn_values(const grid_field* g, station_set* s) {
  const float lon1 = g->i_to_world(g->i_world_vals, float(g->dim_min[0]));
  const float lon2 = g->i_to_world(g->i_world_vals, float(g->dim_max[0]));
  const float lat1 = g->j_to_world(g->j_world_vals, float(g->dim_min[1]));
  const float lat2 = g->j_to_world(g->j_world_vals, float(g->dim_max[1]));
  const float dlon = (lon2 - lon1) / float(g->isiz - 1);
  const float dlat = (lat2 - lat1) / float(g->jsiz - 1);
  for (station_report* r = s->first_report; r; r = r->next) {
    float lon = r->lon;
    if (lon < lon1)
      lon += 360.0f;
    else if (lon > lon2)
      lon -= 360.0f;
    // The last row and column lie outside: strict upper bounds.
    if (lon >= lon1 && lon < lon2 && r->lat >= lat1 && r->lat < lat2)
      r->value = bilinear(g, (lon - lon1) / dlon, (r->lat - lat1) / dlat, s->undef);
    else
      r->value = s->undef;
  }
}

int ffg2s(function_args* args, eval_state* pst) {
  if (args->count < 2 || args->count > 3) {
    kaprnt(msg_level::error, "Error from GR2STN:  Too many or too few args \n");
    kaprnt(msg_level::error, "                    2 or 3 arguments expected \n");
    return 1;
  }
  if ((pst->idim == -1 || pst->idim > 1) && pst->jdim == -1) return ffg2s2(args, pst);
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  if (!grid_in(pst->result)) {
    kafree(pst);
    return fail("Error from GR2STN: 1st argument must be a grid\n");
  }
  grid_field* g = grid_in(pst->result);
  if (!varies_in_xy(g)) {
    kafree(pst);
    return fail("Error from GR2STN: Grid must vary in X and Y\n");
  }
  if (!g->i_linear || !g->j_linear) {
    kafree(pst);
    return fail("Error from GR2STN: Grid must have linear scaling\n");
  }
  eval_state second;
  rc = eval_second(args->args[1], pst, &second);
  if (rc) return rc;
  if (!stations_in(second.result)) {
    kafree(&second);
    kafree(pst);
    return fail("Error from GR2STN: 2nd argument must be stns\n");
  }
  station_ptr s = extract_stations(second.result);
  gr2stn_values(g, s.get());
  kafree(pst);
  pst->result = std::move(s);
  return 0;
}

int ffg2s2(function_args* args, eval_state* pst) {
  // The place: the first station of a set, or a longitude and a latitude.
  eval_state where = *pst;
  where.result = std::monostate{};
  int rc = kaexpr(args->args[1], &where);
  if (rc) return rc;
  float lon, lat;
  char id[8];
  if (stations_in(where.result)) {
    const station_report* r = stations_in(where.result)->first_report;
    if (!r) {
      kafree(&where);
      return fail("Error from GR2STN:  2nd argument holds no station\n");
    }
    lon = r->lon;
    lat = r->lat;
    std::memcpy(id, r->stid, sizeof id);
    kafree(&where);
  } else {
    const grid_field* g = grid_in(where.result);
    if (g->idim != -1) {
      kafree(&where);
      return fail("Error in GR2STN:  2nd arg invalid\n");
    }
    lon = g->values[0];
    kafree(&where);
    if (args->count < 3) return fail("Error in GR2STN:  3rd Argument Required\n");
    const char* q = valprs(args->args[2], &lat);
    if (!q || *q != '\0') return fail("Error from GR2STN:  3rd argument invalid. \n");
    std::memset(id, 'x', sizeof id);
  }

  // The walk, from the first argument in the environment as it is.
  rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  if (!grid_in(pst->result)) {
    kafree(pst);
    return fail("Error from GR2STN: 1st argument must be a grid\n");
  }
  series_walk walk;
  {
    const grid_field* g = grid_in(pst->result);
    walk.undef = g->undef;
    if (g->idim == 3 && g->i_world_vals) {
      walk.kind = series_walk::kTimes;
      walk.first = g->dim_min[3];
      walk.last = g->dim_max[3];
      std::memcpy(walk.time_scaling, g->i_world_vals, sizeof walk.time_scaling);
    } else if (g->idim == 2 && g->i_to_world) {
      walk.kind = series_walk::kLevels;
      walk.first = g->dim_min[2];
      walk.last = g->dim_max[2];
      for (int k = walk.first; k <= walk.last; k++)
        walk.levels.push_back(g->i_to_world(g->i_world_vals, float(k)));
    } else if (g->idim != -1) {
      kafree(pst);
      return fail("Error from GR2STN:  Logic Error 4\n");
    }
    kafree(pst);
  }

  station_ptr owner(new_station_set());
  station_set* out = owner.get();
  float* ts = static_cast<float*>(
      kamalloc(8 * sizeof(float), "Memory Allocation Error:  Station Request Block \n"));
  out->time_scaling_copy = ts;
  out->file = pst->default_file;
  out->idim = walk.kind == series_walk::kTimes ? 3 : walk.kind == series_walk::kLevels ? 2 : -1;
  out->jdim = -1;
  out->undef = out->min_value = out->max_value = walk.undef;
  out->lon_min = out->lon_max = lon;
  out->lat_min = out->lat_max = lat;
  out->radius = 1.0f;
  out->stid_flag = 1;
  std::memcpy(out->stid, id, sizeof id);
  out->lev_min = out->lev_max = pst->dim_min[2];
  out->time_min = out->time_max = 1;
  if (walk.kind == series_walk::kTimes) {
    std::memcpy(ts, walk.time_scaling, sizeof walk.time_scaling);
    out->time_min = walk.first;
    out->time_max = walk.last;
  } else {
    minute_axis(pst->time_start, ts);
    if (walk.kind == series_walk::kLevels) {
      out->lev_min = float(walk.first);
      out->lev_max = float(walk.last);
    }
  }

  pst->idim = 0;
  pst->jdim = 1;
  pst->dim_min[0] = lon;
  pst->dim_max[0] = lon + 0.1f;
  pst->dim_min[1] = lat;
  pst->dim_max[1] = lat + 0.1f;
  for (int k = walk.first; k <= walk.last; k++) {
    float level = out->lev_min;
    if (walk.kind == series_walk::kLevels) {
      level = walk.levels[size_t(k - walk.first)];
      pst->dim_min[2] = pst->dim_max[2] = level;
    } else if (walk.kind == series_walk::kTimes) {
      gr2t(walk.time_scaling, k, &pst->time_start);
      pst->time_end = pst->time_start;
    }
    pst->result = std::monostate{};
    rc = kaexpr(args->args[0], pst);
    if (rc) {
      return rc;
    }
    if (!grid_in(pst->result)) {
      kafree(pst);
      return fail("Error from GR2STN: 1st argument must be a grid\n");
    }
    const grid_field* g = grid_in(pst->result);
    // Interpolation needs the four grid points around the place.
    if (!varies_in_xy(g) || !g->i_to_grid || !g->j_to_grid) {
      kafree(pst);
      return fail("Error from GR2STN:  1st argument must vary in X and Y\n");
    }
    const float gx = g->i_to_grid(g->i_grid_vals, lon) - float(g->dim_min[0]);
    const float gy = g->j_to_grid(g->j_grid_vals, lat) - float(g->dim_min[1]);
    const bool inside = gx >= 0 && gx <= float(g->isiz - 1) && gy >= 0 && gy <= float(g->jsiz - 1);
    const float value = inside ? bilinear(g, gx, gy, out->undef) : out->undef;
    kafree(pst);
    station_report* r = kaarpt(out);
    if (!r) {
      return fail("Memory Allocation Error:  Station Block \n");
    }
    std::memcpy(r->stid, id, sizeof id);
    r->lat = lat;
    r->lon = lon;
    r->value = value;
    r->lev = level;
    r->time = walk.kind == series_walk::kLevels ? 1.0f : float(k);
    out->report_count++;
  }
  kasmnmx(out);
  pst->idim = out->idim;
  pst->jdim = -1;
  pst->result = std::move(owner);
  return 0;
}
