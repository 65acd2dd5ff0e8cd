// Small pieces the analysis functions share: taking a dimension out of the
// environment and checking that a later grid covers the points of the first.
#pragma once

#include "expr/eval.h"
#include "expr/evalstate.h"
#include "data/result.h"

// Number of values of a grid.
inline long long grid_points(const grid_field* g) {
  return static_cast<long long>(g->isiz) * g->jsiz;
}

// The dimension d stops varying in the environment.
inline void stop_varying(eval_state* pst, int d) {
  if (pst->idim == d) {
    pst->idim = pst->jdim;
    pst->jdim = -1;
  } else if (pst->jdim == d) {
    pst->jdim = -1;
  }
}

// True when b varies the dimensions of a over the same points, so that
// values pair one to one.
inline bool same_points(const grid_field* a, const grid_field* b) {
  return a->idim == b->idim && a->jdim == b->jdim && a->isiz == b->isiz && a->jsiz == b->jsiz &&
         !kagchk(a, b, a->idim) && !kagchk(a, b, a->jdim);
}

// Takes the result out of a state (null when it is not a grid: the station
// set is released).
inline grid_ptr take_grid(eval_state* pst) {
  grid_ptr g = extract_grid(pst->result);
  if (!g) kafree(pst);
  return g;
}

// Hands a grid to the state as its result.
inline int give_grid(eval_state* pst, grid_ptr g) {
  if (g->idim < 0) g->max_value = g->min_value;
  pst->result = std::move(g);
  return 0;
}

// Evaluates a function's second argument in the environment of pst (whose
// result holds the first). On failure the first result is released too.
inline int eval_second(const char* text, eval_state* pst, eval_state* second) {
  *second = *pst;  // the environment; the result stays with pst
  int rc = kaexpr(text, second);
  if (rc) kafree(pst);
  return rc;
}
