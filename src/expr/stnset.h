// Small pieces the functions that build station sets share: a new empty
// set, a copy of a set's request header, and the identity of a station
// (its id, latitude and longitude) as a hash key.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>

#include "base/alloc.h"
#include "data/result.h"

// A new set with no reports and no header (released with kasfre).
inline station_set* new_station_set() {
  auto* s = static_cast<station_set*>(kacalloc(1, sizeof(station_set)));
  s->block_index = -1;
  return s;
}

// Copies the request header of `from` (file, undefined value, dimensions,
// box, options, time range, variable and a copy of its time scaling) into
// an empty set.
inline bool copy_station_header(station_set* to, const station_set* from) {
  to->file = from->file;
  to->undef = from->undef;
  to->min_value = to->max_value = from->undef;
  to->idim = from->idim;
  to->jdim = from->jdim;
  to->lon_min = from->lon_min;
  to->lat_min = from->lat_min;
  to->lev_min = from->lev_min;
  to->lon_max = from->lon_max;
  to->lat_max = from->lat_max;
  to->lev_max = from->lev_max;
  to->radius_flag = from->radius_flag;
  to->radius = from->radius;
  to->stid_flag = from->stid_flag;
  std::memcpy(to->stid, from->stid, sizeof to->stid);
  to->time_min = from->time_min;
  to->time_max = from->time_max;
  to->variable = from->variable;
  if (from->time_scaling_copy) {
    to->time_scaling_copy = static_cast<float*>(kamalloc(8 * sizeof(float)));
    std::memcpy(to->time_scaling_copy, from->time_scaling_copy, 8 * sizeof(float));
  }
  return true;
}

// A station: its 8-character id and its place, compared as floats (so -0
// and 0 are one place).
struct station_identity {
  char stid[8];
  float lat, lon;
  explicit station_identity(const station_report* r) : lat(r->lat), lon(r->lon) {
    std::memcpy(stid, r->stid, sizeof stid);
  }
  bool operator==(const station_identity& o) const {
    return std::memcmp(stid, o.stid, sizeof stid) == 0 && lat == o.lat && lon == o.lon;
  }
};

struct station_identity_hash {
  size_t operator()(const station_identity& k) const {
    uint64_t id;
    uint32_t a, b;
    const float lat = k.lat + 0.0f, lon = k.lon + 0.0f;
    std::memcpy(&id, k.stid, 8);
    std::memcpy(&a, &lat, 4);
    std::memcpy(&b, &lon, 4);
    return std::hash<uint64_t>()(id ^ (uint64_t(a) << 32 | b) * 0x9e3779b97f4a7c15ull);
  }
};
