// Reductions of an expression along one dimension: ave, mean, sum, sumg,
// min, max, minloc and maxloc.
#pragma once

struct function_args;
struct eval_state;

int ffave(function_args* args, eval_state* pst);
int ffmn(function_args* args, eval_state* pst);
int ffsum(function_args* args, eval_state* pst);
int ffsumg(function_args* args, eval_state* pst);
int ffmin(function_args* args, eval_state* pst);
int ffmax(function_args* args, eval_state* pst);
int ffminl(function_args* args, eval_state* pst);
int ffmaxl(function_args* args, eval_state* pst);

// The worker: kind 1 ave .. 8 maxloc. 0 with the grid in pst, 1 after an
// argument error, -1 for station data, else the evaluator's code.
int ave(function_args* args, eval_state* pst, int kind);
