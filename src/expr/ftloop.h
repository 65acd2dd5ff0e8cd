// Functions that change how their argument is evaluated: tloop (one time at
// a time, stacked into one grid) and maskout (a mask, or a station-id
// pattern).
#pragma once

struct function_args;
struct eval_state;

int fftlp(function_args* args, eval_state* pst);
int ffmask(function_args* args, eval_state* pst);
