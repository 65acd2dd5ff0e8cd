// Area averages over a longitude-latitude box: aave, amean, asum, asumg.
#pragma once

#include <vector>

struct function_args;
struct eval_state;
struct grid_field;

// Weighting of an area reduction.
enum area_code : int { kAreaAve = 1, kAreaMean = 2, kAreaSum = 3, kAreaSumG = 4 };

int ffaav(function_args* args, eval_state* pst);
int ffamn(function_args* args, eval_state* pst);
int ffasum(function_args* args, eval_state* pst);
int ffasumg(function_args* args, eval_state* pst);

// The worker of the four: 0 with a one-value grid in pst, 1 after a message,
// -1 for station data, else the evaluator's code.
int aave(function_args* args, eval_state* pst, int code);

// Reduces a grid varying in x along i and y along j over the box; the grid's
// undefined value when no defined value carries weight.
float doaave(const grid_field* g, float lon_min, float lon_max, float lat_min, float lat_max,
             int code);

// The weights doaave gives a grid over the box: one per column (wx) and one
// per row (wy), a value weighing wx[i] * wy[j] (asumg: 1, or 0 where a
// column repeats one a whole turn of longitude earlier).
void area_weights(const grid_field* g, float lon_min, float lon_max, float lat_min, float lat_max,
                  int code, std::vector<double>* wx, std::vector<double>* wy);

// Reads the box arguments (two of x, two of y, or one word beginning with g
// for the globe) and sets the environment to it: x along i, y along j; where
// the count expressions read one data set whose x does not wrap, only the
// part of the box inside it (the default data set when they read none).
// shift: grid-coordinate bounds move half a grid interval outward. The
// world box is returned in box (lon_min, lon_max, lat_min, lat_max); false
// when a bound is not a dimension expression of the right dimension.
bool area_box(char* const* bounds, bool global, bool shift, const char* const* exprs, int count,
              eval_state* pst, float box[4]);

// The grid an area reduction works on must vary in x along i and y along j.
bool area_grid(const grid_field* g);
