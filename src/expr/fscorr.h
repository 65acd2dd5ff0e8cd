// Spatial correlation and regression of two grids over a longitude-latitude
// box, with area weights: scorr and sregr.
#pragma once

struct function_args;
struct eval_state;

int ffscor(function_args* args, eval_state* pst);
int ffsreg(function_args* args, eval_state* pst);

// The worker: code 1 correlation, 2 regression of the second on the first.
int scorr(function_args* args, eval_state* pst, int code);
