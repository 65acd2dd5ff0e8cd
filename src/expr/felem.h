// Elementwise mathematical functions of the expression language and the
// combination of two evaluated arguments that pow, mag, atan2 and maskout
// share.
#pragma once

struct function_args;
struct eval_state;

int ffsqrt(function_args* args, eval_state* pst);
int ffsin(function_args* args, eval_state* pst);
int ffcos(function_args* args, eval_state* pst);
int fftan(function_args* args, eval_state* pst);
int ffasin(function_args* args, eval_state* pst);
int ffacos(function_args* args, eval_state* pst);
int ffexp(function_args* args, eval_state* pst);
int fflog(function_args* args, eval_state* pst);
int fflog10(function_args* args, eval_state* pst);
int ffabs(function_args* args, eval_state* pst);
int ffpow(function_args* args, eval_state* pst);
int ffmag(function_args* args, eval_state* pst);
int ffatan(function_args* args, eval_state* pst);

// Combines the result in first with the result in second by an operation
// code of eval.h; 0 with the result in first, 1 after the messages (both
// results are then still in their states).
int kafopr(eval_state* first, eval_state* second, int op);
