// Collection to grid: coll2gr turns the station sets of one collection
// (one per column) into a grid along x and the levels.
#pragma once

struct function_args;
struct eval_state;

int ffclgr(function_args* args, eval_state* pst);
