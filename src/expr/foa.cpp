#include "expr/foa.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>
#include <vector>

#include "base/alloc.h"
#include "base/message.h"
#include "base/session.h"
#include "base/words.h"
#include "data/result.h"
#include "expr/eval.h"
#include "expr/evalstate.h"
#include "expr/fshared.h"
#include "expr/func.h"

namespace {

constexpr float rads[5] = {10, 7, 4, 2, 1};  // default pass radii, grid lengths
constexpr int kMaxPasses = 30;
constexpr int kFlaggingPass = 2;  // points no report reaches in this pass end undefined

// The two analyses differ in their names and in the blanks of one message.
struct analysis_names {
  const char* name;    // upper case
  const char* indent;  // lines under the argument-count message
};
constexpr analysis_names kOacres{"OACRES", "                    "};
constexpr analysis_names kOabin{"OABIN", "                   "};

// The target grid's corners and steps in world coordinates.
struct target {
  grid_field* g;
  float lon1, lon2, lat1, lat2, dlon, dlat;

  explicit target(grid_field* grid) : g(grid) {
    lon1 = g->i_to_world(g->i_world_vals, float(g->dim_min[0]));
    lon2 = g->i_to_world(g->i_world_vals, float(g->dim_max[0]));
    lat1 = g->j_to_world(g->j_world_vals, float(g->dim_min[1]));
    lat2 = g->j_to_world(g->j_world_vals, float(g->dim_max[1]));
    dlon = (lon2 - lon1) / float(g->isiz - 1);
    dlat = (lat2 - lat1) / float(g->jsiz - 1);
  }
  // A report's position in grid lengths from the first point (0-based).
  void place(const station_report* r, float* gi, float* gj) const {
    float lon = r->lon;
    if (lon < lon1)
      lon += 360.0f;
    else if (lon > lon2)
      lon -= 360.0f;
    *gi = (lon - lon1) / dlon;
    *gj = (r->lat - lat1) / dlat;
  }
  // True when a coordinate truncates toward zero into 0..size-1.
  static bool inside(float g, int size) { return g > -1.0f && g < float(size); }
};

// Evaluates the grid and the station arguments; 0 with both, else the code
// to return (both released).
int analysis_args(function_args* args, eval_state* pst, const analysis_names& n, grid_ptr* grid,
                  station_ptr* stations) {
  if (args->count < 2) {
    kaprntf(msg_level::error, "Error from %s:  Too many or too few args \n", n.name);
    kaprntf(msg_level::error, "%sTwo arguments expected \n", n.indent);
    return 1;
  }
  int rc = kaexpr(args->args[0], pst);
  if (rc) return rc;
  if (!grid_in(pst->result)) {
    kaprntf(msg_level::error, "Error from %s: 1st argument must be a grid\n", n.name);
    kafree(pst);
    return 1;
  }
  grid_field* g = grid_in(pst->result);
  // The steps need two points each way.
  if (g->idim != 0 || g->jdim != 1 || g->isiz < 2 || g->jsiz < 2) {
    kaprntf(msg_level::error, "Error from %s: Grid must vary in X, Y\n", n.name);
    kafree(pst);
    return 1;
  }
  if (!g->i_linear || !g->j_linear) {
    kaprntf(msg_level::error, "Error from %s: Grid must have linear scaling\n", n.name);
    kafree(pst);
    return 1;
  }
  eval_state second;
  rc = eval_second(args->args[1], pst, &second);
  if (rc) return rc;
  if (!stations_in(second.result)) {
    kaprntf(msg_level::error, "Error from %s: 2nd argument must be stns\n", n.name);
    kafree(&second);
    kafree(pst);
    return 1;
  }
  *grid = extract_grid(pst->result);
  *stations = extract_stations(second.result);
  return 0;
}

// A whole argument read as a number.
bool number(const char* text, float* v) {
  const char* q = valprs(text, v);
  return q && *q == '\0';
}

void use_defaults(std::vector<float>* radii, float* guess, const char* reason) {
  if (reason) {
    kaprntf(msg_level::error, "Error from OACRES:  %s\n", reason);
  }
  kaprnt(msg_level::error, "                    Using default radii\n");
  radii->assign(std::begin(rads), std::end(rads));
  *guess = kNoGuess;
}

// The pass radii and the first guess from the arguments after the second.
void pass_radii(const function_args* args, std::vector<float>* radii, float* guess) {
  radii->assign(std::begin(rads), std::end(rads));
  *guess = kNoGuess;
  int n = args->count - 2;
  if (n <= 0) return;
  if (n > kMaxPasses) {
    kaprnt(msg_level::info, "Warning from OACRES:  Using 30 pass radii\n");
    n = kMaxPasses;
  }
  std::vector<float> given;
  for (int k = 0; k < n; k++) {
    const int at = k + 2;
    float v;
    if (!number(args->args[at], &v)) return use_defaults(radii, guess, "Radii must be constant");
    if (v < 0) {
      if (at != args->count - 2) {
        kaprnt(msg_level::error, "Error from OACRES:  Improper setting of 1st guess\n");
        kaprnt(msg_level::error,
               "                    Must provide the value or make the value the last argument\n");
        return use_defaults(radii, guess, nullptr);
      }
      float fg;
      if (!number(args->args[args->count - 1], &fg)) {
        kaprnt(msg_level::error, "Error from OACRES:  Improper setting of 1st guess\n");
        kaprnt(msg_level::error, "                    Bad value\n");
        return use_defaults(radii, guess, nullptr);
      }
      *guess = fg;
      *radii = given;
      return;
    }
    if (v < 0.01f || v > 50.0f) return use_defaults(radii, guess, "Radii must be 0<radii<50");
    given.push_back(v);
  }
  *radii = given;
}

// A report that takes part in the analysis: its position in grid lengths,
// its box and its value.
struct used_report {
  float gi, gj;
  int ii, jj;
  float value;
};

// One correction pass of radius R: every report adds its weighted
// correction to the grid points within R of it, in read order, so each
// point's sums come in the order of the reports.
void correction_pass(const grid_field* g, const std::vector<used_report>& used, float radius,
                     int pass_index, std::vector<double>& swc, std::vector<double>& sw,
                     std::vector<float>& work, std::vector<char>& flags) {
  const int ni = g->isiz, nj = g->jsiz;
  const float* v = g->values;
  std::fill(swc.begin(), swc.end(), 0.0);
  std::fill(sw.begin(), sw.end(), 0.0);
  const double R = radius, R2 = R * R;
  for (const used_report& u : used) {
    // The background at the report, bilinear within its box; a box on the
    // last column or row takes its own column or row for the missing one.
    const int i1 = std::min(u.ii + 1, ni - 1), j1 = std::min(u.jj + 1, nj - 1);
    const float fi = u.gi - float(u.ii), fj = u.gj - float(u.jj);
    const float g00 = v[size_t(u.jj) * ni + u.ii], g10 = v[size_t(u.jj) * ni + i1];
    const float g01 = v[size_t(j1) * ni + u.ii], g11 = v[size_t(j1) * ni + i1];
    const float a = g00 + (g10 - g00) * fi;
    const float b = g01 + (g11 - g01) * fi;
    const double corr = double(u.value) - double(a + (b - a) * fj);
    const int x0 = std::max(0, int(std::ceil(u.gi - radius))),
              x1 = std::min(ni - 1, int(std::floor(u.gi + radius)));
    const int y0 = std::max(0, int(std::ceil(u.gj - radius))),
              y1 = std::min(nj - 1, int(std::floor(u.gj + radius)));
    for (int y = y0; y <= y1; y++) {
      const double dy = double(y) - u.gj;
      double* rwc = swc.data() + size_t(y) * ni;
      double* rw = sw.data() + size_t(y) * ni;
      for (int x = x0; x <= x1; x++) {
        const double dx = double(x) - u.gi;
        const double d2 = dx * dx + dy * dy;
        if (d2 > R2) continue;
        const double w = (R2 - d2) / (R2 + d2);
        rwc[x] += w * corr;
        rw[x] += w;
      }
    }
  }
  const size_t n = size_t(ni) * nj;
  for (size_t k = 0; k < n; k++) {
    if (sw[k] > 1e-6)
      work[k] = float(double(v[k]) + swc[k] / sw[k]);
    else if (pass_index == kFlaggingPass)
      flags[k] = 1;
  }
}

}  // namespace

int oacres_grid(grid_field* g, const station_set* s, const std::vector<float>& radii,
                float user_guess) {
  const target t(g);
  std::vector<used_report> used;
  double total = 0;
  const size_t n = size_t(grid_points(g));
  std::vector<float> work;
  std::vector<char> flags;
  std::vector<double> swc, sw;
  try {
    used.reserve(size_t(std::max(s->report_count, 0)));
    for (const station_report* r = s->first_report; r; r = r->next) {
      float gi, gj;
      t.place(r, &gi, &gj);
      if (!target::inside(gi, g->isiz) || !target::inside(gj, g->jsiz) || r->value == s->undef)
        continue;
      used.push_back({gi, gj, int(gi), int(gj), r->value});
      total += r->value;
    }
    float guess;
    if (used.size() < 2) {
      kaprnt(msg_level::info, "Warning from OACRES:  Less than two stations\n");
      kaprnt(msg_level::info, "    Grid will be all missing values\n");
      guess = g->undef;
    } else {
      guess = float(total / double(used.size()));
    }
    work.assign(n, 0.0f);
    flags.assign(n, 0);
    if (std::fabs(user_guess) < 1e20f) {
      kaprntout("qqq oacres SETTING original %g FG to %g\n", double(guess), double(user_guess));
      guess = user_guess;
    }
    std::fill(g->values, g->values + n, guess);
    std::fill(work.begin(), work.end(), guess);
    if (guess == g->undef || radii.empty()) return 0;
    swc.assign(n, 0.0);
    sw.assign(n, 0.0);
  } catch (const std::bad_alloc&) {
    throw alloc_error("Error in OACRES:  Unable to allocate memory\n");
  }
  for (size_t p = 0; p < radii.size(); p++) {
    if (kaqsig()) return 1;
    correction_pass(g, used, radii[p], int(p), swc, sw, work, flags);
    std::copy(work.begin(), work.end(), g->values);
  }
  for (size_t k = 0; k < n; k++)
    if (flags[k]) g->values[k] = g->undef;
  return 0;
}

int oabin_grid(grid_field* g, const station_set* s, bin_mode mode) {
  const target t(g);
  const size_t n = size_t(grid_points(g));
  std::vector<double> sum;
  std::vector<int> count;
  try {
    sum.assign(n, 0.0);
    count.assign(n, 0);
  } catch (const std::bad_alloc&) {
    throw alloc_error("Error in OABIN:  Unable to allocate memory\n");
  }
  for (const station_report* r = s->first_report; r; r = r->next) {
    float gi, gj;
    t.place(r, &gi, &gj);
    gi += 0.5f;  // the nearest grid point
    gj += 0.5f;
    if (!target::inside(gi, g->isiz) || !target::inside(gj, g->jsiz) || r->value == s->undef)
      continue;
    const size_t k = size_t(int(gj)) * size_t(g->isiz) + size_t(int(gi));
    if (mode == bin_mode::first_two && count[k] >= 2) continue;
    sum[k] += r->value;
    count[k]++;
  }
  for (size_t k = 0; k < n; k++) {
    if (count[k] < 1)
      g->values[k] = g->undef;
    else
      g->values[k] = mode == bin_mode::count ? float(count[k]) : float(sum[k] / count[k]);
  }
  return 0;
}

int ffoacr(function_args* args, eval_state* pst) {
  grid_ptr grid;
  station_ptr stations;
  int rc = analysis_args(args, pst, kOacres, &grid, &stations);
  if (rc) return rc;
  std::vector<float> radii;
  float guess;
  pass_radii(args, &radii, &guess);
  rc = oacres_grid(grid.get(), stations.get(), radii, guess);
  stations.reset();
  if (rc) return rc;
  return give_grid(pst, std::move(grid));
}

int ffoabn(function_args* args, eval_state* pst) {
  grid_ptr grid;
  station_ptr stations;
  int rc = analysis_args(args, pst, kOabin, &grid, &stations);
  if (rc) return rc;
  bin_mode mode = bin_mode::average;
  if (args->count > 2) {
    const char* f = args->args[2];
    if (f[0] == '-' && f[1] == 'c')
      mode = bin_mode::count;
    else if (f[0] == '-' && f[1] == 'f')
      mode = bin_mode::first_two;
    else
      kaprnt(msg_level::info, "Warning from OABIN: Invalid flag.  Ignored.\n");
  }
  rc = oabin_grid(grid.get(), stations.get(), mode);
  stations.reset();
  if (rc) return rc;
  return give_grid(pst, std::move(grid));
}
