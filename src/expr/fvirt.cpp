#include "expr/fvirt.h"

#include <cmath>

#include "expr/evalstate.h"
#include "base/message.h"
#include "expr/eval.h"
#include "expr/func.h"
#include "expr/fshared.h"
#include "data/result.h"

namespace {

enum : int { kHumidity = 0, kTemperature = 1 };

constexpr float kEps = 0.622f;
constexpr float kOneMinusEps = 0.378f;
constexpr int kMaxRounds = 25;

// Pressure of grid position k along a side whose dimension may be z.
float level_of(const grid_field* g, bool along_i, int k) {
  if (along_i) return g->i_to_world(g->i_world_vals, float(g->dim_min[2] + k));
  return g->j_to_world(g->j_world_vals, float(g->dim_min[2] + k));
}

int fftv2(function_args* args, eval_state* pst, int sel) {
  const char* nm = sel == kHumidity ? "TVRH2Q" : "TVRH2T";
  if (args->count != 2) {
    kaprntf(msg_level::error, "Error from %s:  Too many or too few args \n", nm);
    kaprnt(msg_level::error, "                    Two arguments expected \n");
    return 1;
  }
  eval_state second = *pst;
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  grid_ptr tv_owner = take_grid(pst);
  grid_field* tv = tv_owner.get();
  if (!tv) return -1;
  rc = kaexpr(args->args[1], &second);
  if (rc) return rc;
  grid_ptr rh_owner = take_grid(&second);
  grid_field* rh = rh_owner.get();
  if (!rh) return -1;
  if (!same_points(tv, rh)) {
    kaprnt(msg_level::error, "Error in TVRH2Q: Grids don't have same scaling");
    return 1;
  }
  const bool z_i = rh->idim == 2 && rh->i_to_world;
  const bool z_j = rh->jdim == 2 && rh->j_to_world;
  const float fixed = pst->dim_min[2];
  if (!z_i && !z_j) {
    kaprntf(msg_level::result, "Notice from %s:", nm);
    kaprntf(msg_level::info, " Using fixed pressure level %g mb\n", double(fixed));
  }
  long long failed = 0;
  const float ut = tv->undef, ur = rh->undef;
  for (int j = 0; j < rh->jsiz; j++) {
    for (int i = 0; i < rh->isiz; i++) {
      const long long k = static_cast<long long>(j) * rh->isiz + i;
      const float t = tv->values[k], r = rh->values[k];
      if (t == ut || r == ur) {
        rh->values[k] = ur;
        continue;
      }
      const float p = z_i ? level_of(rh, true, i) : z_j ? level_of(rh, false, j) : fixed;
      float q = 0, tt = 0;
      if (tvrh2q(p, t, r, &q, &tt) != 0 || !std::isfinite(sel == kHumidity ? q : tt)) {
        rh->values[k] = ur;
        failed++;
        continue;
      }
      rh->values[k] = sel == kHumidity ? q : tt;
    }
  }
  if (failed > 0) {
    kaprntf(msg_level::info, "Warning from %s:", nm);
    kaprntf(msg_level::info, " Convergence failed for %lli grid points\n", failed);
  }
  return give_grid(pst, std::move(rh_owner));
}

}  // namespace

int tvrh2q(float pressure_mb, float tv, float rh, float* q_out, float* t_out) {
  const float r = rh * 0.01f;
  const float P = pressure_mb * 100.0f;
  float q = r * 0.01f * kEps;
  float T = tv;
  const double ln10 = std::log(10.0);
  for (int round = 0; round < kMaxRounds; round++) {
    const float c = T - 273.16f;
    const float ratio = (0.7854f + 0.03477f * c) / (1.0f + 0.00412f * c);
    const float es = float(100.0 * std::exp(ln10 * double(ratio)));
    const float den = 1.0f + 0.00412f * c;
    const float des = float(ln10) * es * (0.03477f - 0.7854f * 0.00412f) / (den * den);
    const float pe = P - kOneMinusEps * es;
    const float qs = r * kEps * es / pe;
    const float f = q - qs;
    const float k = r * kEps * (pe * des + kOneMinusEps * es * des) / (pe * pe);
    q = q - f / (1.0f - k);
    const float tn = tv * kEps * (1.0f - q) / ((1.0f - q) * kEps + q * kOneMinusEps);
    if (std::fabs((tn - T) / T) <= 1e-6f) {
      *q_out = q;
      *t_out = tn;
      return 0;
    }
    T = tn;
  }
  return 1;
}

int fftv2q(function_args* a, eval_state* s) { return fftv2(a, s, kHumidity); }
int fftv2t(function_args* a, eval_state* s) { return fftv2(a, s, kTemperature); }
