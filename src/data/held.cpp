#include "data/held.h"

#include <utility>

#include "base/session.h"

namespace {

void release_record(held_results* held) { delete held; }

const result_value* item(const session_state* pcm, int k) {
  if (!pcm->held || k < 0 || k >= static_cast<int>(pcm->held->items.size())) return nullptr;
  return &pcm->held->items[static_cast<size_t>(k)];
}

}  // namespace

int held_count(const session_state* pcm) {
  return pcm->held ? static_cast<int>(pcm->held->items.size()) : 0;
}

grid_field* held_grid(const session_state* pcm, int k) {
  const result_value* r = item(pcm, k);
  return r ? grid_in(*r) : nullptr;
}

station_set* held_stations(const session_state* pcm, int k) {
  const result_value* r = item(pcm, k);
  return r ? stations_in(*r) : nullptr;
}

void hold_result(session_state* pcm, result_value r) {
  if (!pcm->held) {
    pcm->held = std::unique_ptr<held_results, held_results_releaser>(
        new held_results, held_results_releaser{release_record});
    // Room for every result at once: holding one never allocates later.
    pcm->held->items.reserve(kMaxResults);
  }
  pcm->held->items.push_back(std::move(r));
}

station_ptr take_held_stations(session_state* pcm, int k) {
  if (!item(pcm, k)) return nullptr;
  return extract_stations(pcm->held->items[static_cast<size_t>(k)]);
}

void release_held(session_state* pcm, int from) {
  if (!pcm->held || from >= held_count(pcm)) return;
  pcm->held->items.resize(static_cast<size_t>(from < 0 ? 0 : from));
}
