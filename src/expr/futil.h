// Grid utilities: smth9 (nine-point smoother), skip (every n-th point),
// const (set values to a constant), cdiff (differences along a dimension)
// and fndlvl (the level at which a profile reaches a value).
#pragma once

struct function_args;
struct eval_state;

int ffsmth(function_args* args, eval_state* pst);
int ffskip(function_args* args, eval_state* pst);
int ffcnst(function_args* args, eval_state* pst);
int ffcdif(function_args* args, eval_state* pst);
int ffflvl(function_args* args, eval_state* pst);
