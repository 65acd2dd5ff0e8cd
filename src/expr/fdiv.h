// Horizontal divergence and vertical component of the curl of a wind on a
// longitude-latitude grid: hdivg and hcurl.
#pragma once

struct function_args;
struct eval_state;

int ffhdiv(function_args* args, eval_state* pst);
int ffhcrl(function_args* args, eval_state* pst);
