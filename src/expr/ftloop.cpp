#include "expr/ftloop.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/alloc.h"
#include "expr/evalstate.h"
#include "base/message.h"
#include "base/scaling.h"
#include "base/timecal.h"
#include "data/filerec.h"
#include "expr/eval.h"
#include "expr/felem.h"
#include "expr/func.h"
#include "expr/fshared.h"
#include "data/result.h"

namespace {

// The first or last time a read of a range from or to g takes; g in double,
// which holds every step (a float moves steps past 2^24).
int time_index(double g, bool last) {
  const double v = last ? range_last(g) : range_first(g);
  if (!(v > -2.0e9)) return -2000000000;
  if (!(v < 2.0e9)) return 2000000000;
  return int(v);
}

int memory_error() {
  kaprnt(msg_level::error, "Memory Allocation Error:  TLOOP function\n");
  return 1;
}

// Station-id pattern: "?" matches any character, letters compare without
// regard to case, at most 8 characters, a shorter pattern matches prefixes.
bool id_matches(const char* pattern, const char* stid) {
  for (int k = 0; k < 8 && pattern[k] && pattern[k] != '\''; k++) {
    const char p = pattern[k];
    if (p == '?') continue;
    if (std::tolower(static_cast<unsigned char>(p)) !=
        std::tolower(static_cast<unsigned char>(stid[k])))
      return false;
  }
  return true;
}

}  // namespace

int fftlp(function_args* args, eval_state* pst) {
  if (args->count != 1) {
    kaprnt(msg_level::error, "Error from TLOOP:  Too many or too few args \n");
    kaprnt(msg_level::error, "                   1 argument expected \n");
    return 1;
  }
  const char* expr = args->args[0];
  if (pst->idim != 3 && pst->jdim != 3) return kaexpr(expr, pst);
  const file_descriptor* f = pst->default_file;
  if (!f || !f->grid_to_world_scaling[3]) return kaexpr(expr, pst);
  const float* ts = f->grid_to_world_scaling[3];
  const int first = time_index(t2gr_exact(ts, &pst->time_start), false);
  int last = time_index(t2gr_exact(ts, &pst->time_end), true);
  if (last < first) last = first;
  stop_varying(pst, 3);
  gr2t(ts, first, &pst->time_start);

  pst->result = std::monostate{};
  int rc = kaexpr(expr, pst);
  if (rc) return rc;
  grid_ptr g = take_grid(pst);
  if (!g) return -1;
  if (g->jdim != -1 || g->idim == 3) {
    kaprnt(msg_level::error, "Error from TLOOP: Internal logic check 36\n");
    return 1;
  }
  const long long times = static_cast<long long>(last) - first + 1;
  const long long row = g->isiz;
  grid_ptr out(static_cast<grid_field*>(kacalloc(1, sizeof(grid_field))));
  out->idim = -1;  // the values are its own only once it varies
  out->undef = g->undef;
  out->values = &out->min_value;
  if (times * row >= 2) {
    kareserve(double(times * row), double(times * row) * sizeof(float));
    out->values = static_cast<float*>(kamalloc(sizeof(float) * size_t(times * row)));
  }
  out->dim_min[3] = first;
  out->dim_max[3] = last;
  // The time side's conversion is the default file's time axis; a copied
  // i side that the first grid owns is taken over, together with a copy of
  // the time axis, as the grid releases both.
  float* time_vals = const_cast<float*>(ts);
  if (g->isiz < 2) {
    out->jdim = -1;
    out->jsiz = 1;
    if (first == last) {
      out->idim = -1;
      out->isiz = 1;
    } else {
      out->idim = 3;
      out->isiz = int(times);
      out->i_world_vals = time_vals;
      out->i_linear = 1;
    }
  } else {
    out->idim = g->idim;
    out->dim_min[g->idim] = g->dim_min[g->idim];
    out->dim_max[g->idim] = g->dim_max[g->idim];
    out->isiz = g->isiz;
    out->i_to_world = g->i_to_world;
    out->i_to_grid = g->i_to_grid;
    out->i_world_vals = g->i_world_vals;
    out->i_grid_vals = g->i_grid_vals;
    out->i_linear = g->i_linear;
    if (first == last) {
      out->jdim = -1;
      out->jsiz = 1;
    } else {
      out->jdim = 3;
      out->jsiz = int(times);
      out->j_world_vals = time_vals;
      out->j_linear = 1;
    }
    if (g->owns_scaling) {
      // The time axis is copied first: until then the first grid keeps its
      // arrays and out holds none of its own.
      float* time_copy = out->jdim == 3 ? cpscal(ts, 1, 0, 3) : nullptr;
      if (out->jdim == 3 && !time_copy) {
        out->j_world_vals = nullptr;
        return memory_error();
      }
      out->owns_scaling = 1;
      g->owns_scaling = 0;
      g->j_world_vals = nullptr;
      if (out->jdim == 3) out->j_world_vals = time_copy;
    }
  }
  // Fixed dimensions keep the first grid's positions.
  for (int d = 0; d < 3; d++)
    if (d != out->idim) out->dim_min[d] = out->dim_max[d] = g->dim_min[d];
  const grid_field shape = *g;  // what every later time must look like (not its arrays)
  for (long long t = 0; t < times; t++) {
    std::memcpy(out->values + t * row, g->values, sizeof(float) * size_t(row));
    g.reset();
    if (t + 1 == times) break;
    gr2t(ts, double(first + t + 1), &pst->time_start);
    pst->time_end = pst->time_start;
    pst->result = std::monostate{};
    rc = kaexpr(expr, pst);
    if (!rc) g = take_grid(pst);
    if (g && (g->idim != shape.idim || g->jdim != -1 || g->isiz != shape.isiz ||
              (shape.idim >= 0 && kagchk(g.get(), out.get(), shape.idim)))) {
      kaprntf(msg_level::error, "Error from TLOOP:  The grid of time %lli differs from the first\n",
              first + t + 1);
      g.reset();
    }
    if (!g) return 1;
  }
  return give_grid(pst, std::move(out));
}

int ffmask(function_args* args, eval_state* pst) {
  if (args->count != 2) {
    kaprnt(msg_level::error, "Error from MASKOUT:  Too many or too few args \n");
    kaprnt(msg_level::error, "                     Two arguments expected \n");
    return 1;
  }
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  const char* second_text = args->args[1];
  if (stations_in(pst->result) && second_text[0] == '\'') {
    station_set* s = stations_in(pst->result);
    for (station_report* r = s->first_report; r; r = r->next)
      if (!id_matches(second_text + 1, r->stid)) r->value = s->undef;
    return 0;
  }
  eval_state second;
  rc = eval_second(second_text, pst, &second);
  if (rc) return rc;
  rc = kafopr(pst, &second, kOpMaskout);
  if (rc) {
    kafree(pst);
    kafree(&second);
  }
  return rc;
}
