#include "expr/fcoll.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <new>
#include <set>
#include <vector>

#include "base/alloc.h"
#include "base/message.h"
#include "base/scaling.h"
#include "base/session.h"
#include "base/words.h"
#include "data/result.h"
#include "expr/evalstate.h"
#include "expr/fshared.h"
#include "expr/func.h"

namespace {

constexpr int kDefaultLevels = 10;

int fail(const char* text) {
  kaprnt(msg_level::error, text);
  return 1;
}

bool whole_int(const char* text, int* v) {
  const char* q = intprs(text, v);
  return q && *q == '\0';
}

// One report as a candidate for a level: its level and value.
struct level_value {
  float lev;
  float value;
  bool defined;
};

// The value of one set at level L: a report at L exactly, else linear in
// level between the nearest reports below and above. reports are sorted by
// level, reports of one level in chain order.
float column_value(const std::vector<level_value>& reports, float L, float undef) {
  auto lo = std::lower_bound(reports.begin(), reports.end(), L,
                             [](const level_value& r, float l) { return r.lev < l; });
  if (lo != reports.end() && lo->lev == L) return lo->defined ? lo->value : undef;
  if (lo == reports.begin() || lo == reports.end()) return undef;
  // The nearest below is the first report of the largest level under L.
  auto below = std::prev(lo);
  while (below != reports.begin() && std::prev(below)->lev == below->lev) --below;
  const level_value& b = *below;
  const level_value& a = *lo;
  if (!b.defined || !a.defined) return undef;
  const double v =
      double(b.value) + (double(a.value) - b.value) * (double(L) - b.lev) / (double(a.lev) - b.lev);
  return float(v);
}

}  // namespace

int ffclgr(function_args* args, eval_state* pst) {
  if (args->count > 3) {
    kaprnt(msg_level::error, "Error from COLL2GR:  Too many args \n");
    kaprnt(msg_level::error, "                     One to three arguments expected \n");
    return 1;
  }
  int n;
  if (args->count < 1 || !whole_int(args->args[0], &n))
    return fail("Error from COLL2GR:  1st argument must be an integer\n");
  // The session holds collections 0 to 31 only.
  if (n < 0 || n >= kCollections) {
    kaprntf(msg_level::error, "Error from COLL2GR:  Collection number %i not between 0 and %i\n", n,
            kCollections - 1);
    return 1;
  }
  bool union_levels = false;
  int count = kDefaultLevels;
  if (args->count > 1) {
    int c;
    if (std::strcmp(args->args[1], "-u") == 0)
      union_levels = true;
    else if (whole_int(args->args[1], &c) && c >= 1)
      count = c;  // no levels at all makes no grid
    else
      kaprnt(msg_level::info, "COLL2GR Warning:  2nd arg Invalid; Ignored\n");
  }
  bool skip_undef = false;
  if (args->count > 2) {
    if (std::strcmp(args->args[2], "-n1") == 0)
      skip_undef = true;
    else if (std::strcmp(args->args[2], "-n0") == 0)
      skip_undef = false;
    else
      kaprnt(msg_level::info, "COLL2GR Warning:  3nd arg Invalid; Ignored\n");
  }
  const collection_entry* head = pst->collections ? pst->collections[n] : nullptr;
  if (!head) {
    kaprntf(msg_level::error, "Error from COLL2GR:  Collection %i empty\n", n);
    return 1;
  }
  std::vector<const station_set*> sets;
  bool same_idim = true;
  for (const collection_entry* e = head; e; e = e->next) {
    if (!sets.empty() && e->set->idim != sets.front()->idim) same_idim = false;
    sets.push_back(e->set.get());
  }
  const int idim = sets.front()->idim;
  if (!same_idim || idim != pst->jdim || (idim != 2 && idim != 3) || pst->idim != 0)
    return fail("Error from COLL2GR:  Invalid dimension environment\n");
  if (idim == 3) return fail("COL2GR does not yet support time slices\n");

  const float zmin = pst->dim_min[2], zmax = pst->dim_max[2];
  std::vector<float> levels;
  std::vector<std::vector<level_value>> columns(sets.size());
  try {
    if (union_levels) {
      // Report levels within the range, in either order of its ends; one
      // closer than a ten-thousandth of the range to a kept one is dropped.
      const float tol = std::fabs(zmin - zmax) / 10000.0f;
      const float lo = std::min(zmin, zmax), hi = std::max(zmin, zmax);
      std::set<float> kept;
      for (const station_set* s : sets)
        for (const station_report* r = s->first_report; r; r = r->next) {
          const float l = r->lev;
          if ((skip_undef && r->value == s->undef) || !(l >= lo && l <= hi)) continue;
          auto it = kept.lower_bound(l);
          if (it != kept.end() && (*it - l < tol || *it == l)) continue;
          if (it != kept.begin() && l - *std::prev(it) < tol) continue;
          kept.insert(l);
        }
      levels.assign(kept.rbegin(), kept.rend());
      if (levels.empty()) return fail("Error from COLL2GR:  No report levels in the level range\n");
    } else {
      levels.resize(size_t(count));
      for (int k = 0; k < count; k++)
        levels[size_t(k)] = count == 1 ? zmin : zmin + float(k) * (zmax - zmin) / float(count - 1);
    }
    for (size_t k = 0; k < sets.size(); k++) {
      const station_set* s = sets[k];
      for (const station_report* r = s->first_report; r; r = r->next) {
        const bool defined = r->value != s->undef;
        if ((skip_undef && !defined) || std::isnan(r->lev)) continue;
        columns[k].push_back({r->lev, r->value, defined});
      }
      std::stable_sort(columns[k].begin(), columns[k].end(),
                       [](const level_value& a, const level_value& b) { return a.lev < b.lev; });
    }
  } catch (const std::bad_alloc&) {
    throw alloc_error("Memory allocation error: COLL2GR\n");
  }

  const int nsets = int(sets.size()), nlev = int(levels.size());
  const float undef = sets.front()->undef;
  // The grid owns its values and scaling arrays as soon as they exist.
  grid_ptr g(static_cast<grid_field*>(kacalloc(1, sizeof(grid_field))));
  g->values = static_cast<float*>(kamalloc(sizeof(float) * size_t(nsets) * size_t(nlev)));
  float* values = g->values;
  for (int j = 0; j < nlev; j++)
    for (int i = 0; i < nsets; i++)
      values[size_t(j) * nsets + i] = column_value(columns[size_t(i)], levels[size_t(j)], undef);
  g->owns_scaling = 1;
  float* xs = g->i_world_vals = level_scaling_new(nsets);
  float* zs = g->j_world_vals = level_scaling_new(nlev);
  const float xmin = pst->dim_min[0], xmax = pst->dim_max[0];
  for (int k = 1; k <= nsets; k++)
    xs[k] = nsets == 1 ? xmin : xmin + float(k - 1) * (xmax - xmin) / float(nsets - 1);
  for (int k = 1; k <= nlev; k++) zs[k] = levels[size_t(k - 1)];
  g->undef = undef;
  g->isiz = nsets;
  g->jsiz = nlev;
  g->idim = 0;
  g->jdim = 2;
  g->dim_min[0] = 1;
  g->dim_max[0] = nsets;
  g->dim_min[2] = 1;
  g->dim_max[2] = nlev;
  g->i_to_world = g->j_to_world = gr2lev;
  g->i_to_grid = g->j_to_grid = lev2gr;
  g->i_world_vals = g->i_grid_vals = xs;
  g->j_world_vals = g->j_grid_vals = zs;
  g->i_linear = g->j_linear = 0;
  kamnmx(g.get());
  return give_grid(pst, std::move(g));
}
