// The results a display holds for its plots: first the display's own
// results (result_count of them), then the grids its plots added (reversed
// or refined copies). All are released together by the next display,
// "clear" and kagrel; "reset" leaves them.
#pragma once

#include <vector>

#include "data/result.h"

struct session_state;

struct held_results {
  std::vector<result_value> items;  // never more than kMaxResults
};

// Number of results held.
int held_count(const session_state* pcm);
// Held result k, or null when it is not a grid (or not held).
grid_field* held_grid(const session_state* pcm, int k);
// Held result k, or null when it is not a station set (or not held).
station_set* held_stations(const session_state* pcm, int k);
// Appends a result; the caller checks the kMaxResults limit.
void hold_result(session_state* pcm, result_value r);
// Takes held station set k out of the session; its place holds nothing.
station_ptr take_held_stations(session_state* pcm, int k);
// Releases the results from position from on.
void release_held(session_state* pcm, int from = 0);
