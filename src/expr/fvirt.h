// Specific humidity and temperature from virtual temperature and relative
// humidity on pressure levels: tvrh2q and tvrh2t.
#pragma once

struct function_args;
struct eval_state;

int fftv2q(function_args* args, eval_state* pst);
int fftv2t(function_args* args, eval_state* pst);

// Solves one point: pressure in mb, tv in kelvin, rh in percent. 0 with q
// (kg/kg) and t (kelvin) written when the iteration converged, 1 when not.
int tvrh2q(float pressure_mb, float tv, float rh, float* q, float* t);
