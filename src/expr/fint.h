// Integral of an expression along one dimension (gint) and the latitude
// weighting it uses along longitude.
#pragma once

struct function_args;
struct eval_state;
struct grid_field;

int ffgint(function_args* args, eval_state* pst);

// Multiplies every defined value by the cosine of its latitude; the grid's
// i dimension is latitude.
void cosadj(grid_field* g);
