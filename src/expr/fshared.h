// Small pieces the analysis functions share: taking a dimension out of the
// environment, checking that a later grid covers the points of the first,
// and counting longitude columns a whole turn apart once.
#pragma once

#include <vector>

#include "base/scaling.h"
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

// The distance in world coordinates from grid coordinate g to g + 1 of a
// linear axis.
double axis_step(conversion_fn to_world, const float* scaling, float g);

// The number of columns in a whole turn of longitude for columns `step`
// degrees apart, or 0 when no whole number of them makes one or when n
// columns hold less than a turn and one.
long columns_per_turn(double step, long n);

// The same for the columns first..last of a data set's linear longitude
// axis.
struct file_descriptor;
long columns_per_turn(const file_descriptor* f, int first, int last);

// Whether the grid coordinates b1 to b2 of a data set's global, linear
// longitude axis reach a whole turn, in which columns come round to the
// first.
bool spans_turn(const file_descriptor* f, float b1, float b2);

// Whether a function can place the environment at grid index g of x, y or z
// of a data set: the environment keeps the float world value, from which the
// reads find the index again, and past 2^24 (for a long axis before) that
// value leads to a neighbouring index.
bool placeable(const file_descriptor* f, int dim, long long g);

// Columns a whole turn of longitude apart are one place on the earth (the
// wrap column of a global grid repeats its first): together they weigh at
// most one whole box, the later copies giving up the excess. So the two
// half boxes at 0 and 360 of a global range keep their halves, and a range
// wider than the globe counts each column once. The columns of a range are
// taken in order.
class turn_fold {
 public:
  explicit turn_fold(long turn = 0) : taken_(size_t(turn > 0 ? turn : 0), 0.0) {}
  // Leaves in w the weight left to column i of the range (0 first) of
  // weight w, whole being the weight of its box uncut; false when the
  // column repeats a place already counted in full.
  bool take(long i, double* w, double whole);

 private:
  std::vector<double> taken_;  // weight given so far to each place of a turn
};
