#include "expr/farea.h"

#include <cmath>
#include <utility>
#include <vector>

#include "expr/dimexpr.h"
#include "expr/evalstate.h"
#include "base/message.h"
#include "data/filerec.h"
#include "data/reader.h"
#include "expr/eval.h"
#include "expr/func.h"
#include "expr/fshared.h"
#include "expr/sources.h"
#include "data/result.h"

namespace {

const char* const aavenam[4] = {"AAVE", "AMEAN", "ASUM", "ASUMG"};

// Degrees to radians as the area weights are defined: a single-precision
// value, not a closer one.
constexpr double kDegToRad = double(0.017453333f);

const char* const kGlobe[4] = {"lon=0", "lon=360", "lat=-90", "lat=90"};

// The x or y world value of grid coordinate g of a data set counted from
// its first point: a defined variable's points keep the grid coordinates
// of the data set they were read from.
float world_at(const file_descriptor* f, int d, float g) {
  return f->grid_to_world[d](f->grid_to_world_scaling[d], g + float(f->defined_offsets[d]));
}

// The globe of a data set is 0..360, except where its longitudes do not
// wrap and do not cover 0..360 (a region), or start west of 0 and do not
// wrap or store the seam twice: there 0..360 would leave out all west of 0
// or cut a first column at 0, and the globe is the turn from the western
// edge of the first column. Every column weighs in full once, a stored
// seam's second copy lying past the turn. The reading starts at the first
// column, so that no column outside the data set takes the place of the
// one a turn later.
bool turn_from_west(const file_descriptor* f, float* first, float* edge) {
  const conversion_fn to_world = f->grid_to_world[0];
  if ((f->x_wraps && !f->x_seam) || holds_stations(f) || !to_world || f->x_size < 1) return false;
  *first = world_at(f, 0, 1.0f);
  *edge = world_at(f, 0, 0.5f);
  if (!(*edge < *first)) return false;
  const bool covers = *edge <= 0 && world_at(f, 0, float(f->x_size) + 0.5f) >= 360;
  return *first < 0 || (!f->x_wraps && !covers);
}

// Points outside a data set whose x does not wrap are undefined and weigh
// nothing, so a range reaching past its outer edges is read only up to
// them: a box wider than a region asks for no more than the region. A
// range wholly outside, or reversed, is left as it is.
void clip_to_file(const file_descriptor* f, eval_state* pst) {
  if (f->x_wraps || holds_stations(f)) return;
  for (int d = 0; d < 2; d++) {
    const int n = d == 0 ? f->x_size : f->y_size;
    if (!f->grid_to_world[d] || n < 1) continue;
    const float e1 = world_at(f, d, 0.5f), e2 = world_at(f, d, float(n) + 0.5f);
    const float west = std::fmin(e1, e2), east = std::fmax(e1, e2);
    float& lo = pst->dim_min[d];
    float& hi = pst->dim_max[d];
    if (!(lo <= hi) || hi < west || lo > east) continue;
    lo = std::fmax(lo, west);
    hi = std::fmin(hi, east);
  }
}

float clip(float v, float lo, float hi) { return v < lo ? lo : v > hi ? hi : v; }

// Each place of the globe counts once (fshared.h).
void fold_turns(const grid_field* g, const std::vector<double>& whole, std::vector<double>* wx) {
  const int ni = g->isiz;
  if (!g->i_linear || ni < 2) return;
  const double step = axis_step(g->i_to_world, g->i_world_vals, float(g->dim_min[0]));
  turn_fold turns(columns_per_turn(step, ni));
  for (int i = 0; i < ni; i++) turns.take(i, &(*wx)[size_t(i)], whole[size_t(i)]);
}

// Two doubles, and the mask a comparison of two of them gives.
typedef double pair_d __attribute__((vector_size(16)));
typedef long long pair_mask __attribute__((vector_size(16)));

// The weighted sum and the weight total of the defined values of a row, in
// double; two pairs of lanes, so that the sums are taken two values at a
// time (an undefined value adds +0.0 to both).
void row_sums(const float* __restrict v, const double* __restrict w, int n, float u, double* sum,
              double* weight) {
  const pair_d undef = {double(u), double(u)};
  pair_d s0 = {0, 0}, s1 = {0, 0}, t0 = {0, 0}, t1 = {0, 0};
  auto lanes = [&](int i, pair_d* s, pair_d* t) {
    const pair_d x = {double(v[i]), double(v[i + 1])};
    const pair_d wi = {w[i], w[i + 1]};
    const pair_mask m = x != undef;
    *s += (pair_d)((pair_mask)(x * wi) & m);
    *t += (pair_d)((pair_mask)wi & m);
  };
  int i = 0;
  for (; i + 4 <= n; i += 4) {
    lanes(i, &s0, &t0);
    lanes(i + 2, &s1, &t1);
  }
  if (i + 2 <= n) {
    lanes(i, &s0, &t0);
    i += 2;
  }
  const pair_d s = s0 + s1, t = t0 + t1;
  double rs = s[0] + s[1], rw = t[0] + t[1];
  if (i < n && v[i] != u) {
    rs += double(v[i]) * w[i];
    rw += w[i];
  }
  *sum = rs;
  *weight = rw;
}

}  // namespace

bool area_grid(const grid_field* g) {
  return g->idim == 0 && g->jdim == 1 && g->i_to_world && g->j_to_world;
}

bool area_box(char* const* bounds, bool global, bool shift, const char* const* exprs, int count,
              eval_state* pst, float box[4]) {
  const file_descriptor* f = pst->default_file;
  if (!f) return false;
  float g[4];
  int world[4] = {0, 0, 0, 0};
  for (int k = 0; k < 4; k++) {
    const int want = k < 2 ? 0 : 1;
    int d = -1;
    const char* text = global ? kGlobe[k] : bounds[k];
    double v = 0;
    // The bounds are the ends of a range: one near a point stays where it
    // was typed, so near ends keep the sliver between them.
    if (!dimarg(text, pst, f, &d, &v, &world[k], world_use::range_end) || d != want ||
        !(std::fabs(v) < 1e9))
      return false;
    // The box is kept in float world values: a coordinate a float cannot
    // hold would be moved to a neighbouring column or row.
    g[k] = static_cast<float>(v);
    if (double(g[k]) != v) return false;
  }
  // A grid-coordinate bound moves outward to the edge of its grid box.
  for (int k = 0; shift && k < 4; k += 2) {
    const float out = g[k] <= g[k + 1] ? 0.5f : -0.5f;
    if (!world[k]) g[k] -= out;
    if (!world[k + 1]) g[k + 1] += out;
  }
  for (int k = 0; k < 4; k++) {
    const int d = k < 2 ? 0 : 1;
    box[k] = f->grid_to_world[d] ? f->grid_to_world[d](f->grid_to_world_scaling[d], g[k]) : g[k];
  }
  // The box fits the one data set the expressions read (the default one
  // when they read none): its globe, and no more of it than the data set
  // holds. Where they read several, each reads the whole box.
  const expression_sources read = sources_of(exprs, count, pst);
  const file_descriptor* fit = read.several ? nullptr : read.one ? read.one : f;
  float first, edge;
  const bool west = global && turn_from_west(fit ? fit : f, &first, &edge);
  if (west) {
    box[0] = edge;
    box[1] = edge + 360.0f;
  }
  pst->dim_min[0] = west ? first : box[0];
  pst->dim_max[0] = box[1];
  pst->dim_min[1] = box[2];
  pst->dim_max[1] = box[3];
  if (fit) clip_to_file(fit, pst);
  pst->idim = 0;
  pst->jdim = 1;
  return true;
}

void area_weights(const grid_field* g, float lon_min, float lon_max, float lat_min, float lat_max,
                  int code, std::vector<double>* wxp, std::vector<double>* wyp) {
  if (lon_min > lon_max) std::swap(lon_min, lon_max);
  if (lat_min > lat_max) std::swap(lat_min, lat_max);
  const int ni = g->isiz, nj = g->jsiz;
  // Point weights depend on i only, row weights on j only.
  std::vector<double>& wx = *wxp;
  std::vector<double>& wy = *wyp;
  wx.assign(static_cast<size_t>(ni), 0.0);
  wy.assign(static_cast<size_t>(nj), 0.0);
  std::vector<double> whole(static_cast<size_t>(ni));  // the weight of the box uncut
  for (int i = 0; i < ni; i++) {
    const float gx = float(i + g->dim_min[0]);
    float lo = g->i_to_world(g->i_world_vals, gx - 0.5f);
    float hi = g->i_to_world(g->i_world_vals, gx + 0.5f);
    const double width = double(hi) - lo;
    lo = clip(lo, lon_min, lon_max);
    hi = clip(hi, lon_min, lon_max);
    switch (code) {
      case kAreaAve:
      case kAreaMean:
        wx[i] = double(hi) - lo;
        whole[i] = std::fabs(width);
        break;
      case kAreaSum:
        wx[i] = std::fabs(width) > 1e-5 ? std::fabs(double(hi) - lo) / std::fabs(width) : 0;
        whole[i] = 1.0;
        break;
      default:
        wx[i] = 1.0;
        whole[i] = 1.0;
        break;
    }
  }
  fold_turns(g, whole, &wx);
  for (int j = 0; j < nj; j++) {
    const float gy = float(j + g->dim_min[1]);
    float lo = g->j_to_world(g->j_world_vals, gy - 0.5f);
    float hi = g->j_to_world(g->j_world_vals, gy + 0.5f);
    const double height = double(hi) - lo;
    lo = clip(clip(lo, lat_min, lat_max), -90.0f, 90.0f);
    hi = clip(clip(hi, lat_min, lat_max), -90.0f, 90.0f);
    switch (code) {
      case kAreaAve: wy[j] = std::fabs(std::sin(hi * kDegToRad) - std::sin(lo * kDegToRad)); break;
      case kAreaMean: wy[j] = std::fabs(double(hi) - lo); break;
      case kAreaSum:
        wy[j] = std::fabs(height) > 1e-5 ? std::fabs(double(hi) - lo) / std::fabs(height) : 0;
        break;
      default: wy[j] = 1.0; break;
    }
  }
}

float doaave(const grid_field* g, float lon_min, float lon_max, float lat_min, float lat_max,
             int code) {
  std::vector<double> wx, wy;
  area_weights(g, lon_min, lon_max, lat_min, lat_max, code, &wx, &wy);
  const int ni = g->isiz, nj = g->jsiz;
  const float u = g->undef;
  double sum = 0, wsum = 0;
  for (int j = 0; j < nj; j++) {
    if (wy[j] == 0) continue;
    double rs, rw;
    row_sums(g->values + size_t(j) * ni, wx.data(), ni, u, &rs, &rw);
    sum += rs * wy[j];
    wsum += rw * wy[j];
  }
  if (!(wsum > 0)) return u;
  const double r = (code == kAreaAve || code == kAreaMean) ? sum / wsum : sum;
  const float rf = static_cast<float>(r);
  return std::isfinite(rf) ? rf : u;
}

int aave(function_args* args, eval_state* pst, int code) {
  const char* nm = aavenam[code - 1];
  const bool global = args->count == 2 && args->args[1][0] == 'g';
  if (!global && args->count != 5) {
    kaprntf(msg_level::error, "Error from %s:  Too many or too few args\n", nm);
    kaprnt(msg_level::error, "                  5 arguments expected \n");
    return 1;
  }
  if (pst->idim > 1 || pst->jdim > 1) {
    kaprntf(msg_level::error, "Error from %s  Invalid environment.  ", nm);
    kaprnt(msg_level::error, "Z, T can't vary.\n");
    return 1;
  }
  float box[4];
  eval_state env = *pst;
  if (!area_box(args->args + 1, global, code != kAreaSumG, args->args, 1, &env, box)) {
    kaprntf(msg_level::error, "Error from %s:  Invalid dimension expression \n", nm);
    return 1;
  }
  *pst = env;
  pst->result = std::monostate{};
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  grid_ptr g(take_grid(pst));
  if (!g) return -1;
  if (!area_grid(g.get())) {
    kaprntf(msg_level::error,
            "Error from %s:  The expression does not vary in longitude and latitude\n", nm);
    return 1;
  }
  const float u = g->undef;
  const float r = doaave(g.get(), box[0], box[1], box[2], box[3], code);
  g.reset();
  grid_field* out = kagrvl(r);
  out->undef = u;
  return give_grid(pst, grid_ptr(out));
}

int ffaav(function_args* a, eval_state* s) { return aave(a, s, kAreaAve); }
int ffamn(function_args* a, eval_state* s) { return aave(a, s, kAreaMean); }
int ffasum(function_args* a, eval_state* s) { return aave(a, s, kAreaSum); }
int ffasumg(function_args* a, eval_state* s) { return aave(a, s, kAreaSumG); }
