// Functions over the times at which a series of single values is defined:
// tmave (weighted average), tcorr (correlation) and tregr (regression).
#pragma once

struct function_args;
struct eval_state;

int fftmav(function_args* args, eval_state* pst);
int fftcor(function_args* args, eval_state* pst);
int fftreg(function_args* args, eval_state* pst);

// The worker: kind 1 tmave, 2 tcorr, 3 tregr. 0 with the grid in pst, 1
// after a message.
int tmaskf(function_args* args, eval_state* pst, int kind);
