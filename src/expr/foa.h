// Objective analysis of station data onto a grid: oacres (successive
// corrections with Cressman weights) and oabin (the reports of each nearest
// grid point averaged or counted).
#pragma once

#include <vector>

struct function_args;
struct eval_state;
struct grid_field;
struct station_set;

int ffoacr(function_args* args, eval_state* pst);
int ffoabn(function_args* args, eval_state* pst);

// The first guess of oacres when none is given.
inline constexpr float kNoGuess = -1e20f;

// The analyses write g's values from the reports of s. g varies in x along
// i and y along j with linear scaling and has at least two points each way;
// positions are measured in grid lengths. 0, or 1 after a message.
//
// oacres: one successive-correction pass per radius, around the first
// guess (the mean of the reports unless `guess` is below 1e20 in size);
// points that no report reaches in the third pass end undefined.
int oacres_grid(grid_field* g, const station_set* s, const std::vector<float>& radii, float guess);

// oabin: the reports of each nearest grid point averaged, counted, or
// averaged over the first two in read order.
enum class bin_mode : int { average, count, first_two };
int oabin_grid(grid_field* g, const station_set* s, bin_mode mode);
