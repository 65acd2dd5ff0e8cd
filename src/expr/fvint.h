// Mass-weighted vertical integral over pressure from the surface to a top
// pressure: vint.
#pragma once

struct function_args;
struct eval_state;

int ffvint(function_args* args, eval_state* pst);
