#include "base/scaling.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/alloc.h"
#include "base/message.h"

void linear_scaling_set(linear_scaling* block, float start, float increment) {
  block->grid_to_world[0] = increment;
  block->grid_to_world[1] = start - increment;
  block->grid_to_world[2] = scaling_end_mark;
  block->world_to_grid[0] = 1.0f / increment;
  block->world_to_grid[1] = -(start - increment) / increment;
  block->world_to_grid[2] = scaling_end_mark;
}

float* level_scaling_new(int n) {
  if (n < 0) return nullptr;
  auto* a = static_cast<float*>(kamalloc((static_cast<std::size_t>(n) + 5) * sizeof(float)));
  a[0] = static_cast<float>(n);
  for (int i = 1; i <= n + 4; ++i) a[i] = scaling_end_mark;
  return a;
}

float liconv(const float* scaling, float value) { return scaling[0] * value + scaling[1]; }

float gr2lev(const float* a, float g) {
  int n = static_cast<int>(a[0] + 0.1f);
  if (n < 1) return g;
  if (n == 1) return a[1];
  if (!(g >= 1.0f)) return a[1] + (1.0f - g) * (a[1] - a[2]);
  if (g > static_cast<float>(n)) return (g - static_cast<float>(n)) * (a[n] - a[n - 1]) + a[n];
  int i = static_cast<int>(g);
  if (i >= n) return a[n];
  return a[i] + (g - static_cast<float>(i)) * (a[i + 1] - a[i]);
}

float lev2gr(const float* a, float v) {
  int n = static_cast<int>(a[0] + 0.1f);
  if (n <= 1) return 1.0f;
  for (int i = 1; i < n; ++i) {
    if ((a[i] <= v && v <= a[i + 1]) || (a[i] >= v && v >= a[i + 1])) {
      // Equal neighbours: v equals both, so it sits on the first of them.
      if (a[i + 1] == a[i]) return static_cast<float>(i);
      return static_cast<float>(i) + (v - a[i]) / (a[i + 1] - a[i]);
    }
  }
  bool increasing = a[1] < a[n];
  bool beyond_last = increasing ? !(v < a[1]) : !(v > a[1]);
  if (beyond_last) {
    if (a[n] == a[n - 1]) return static_cast<float>(n);
    return static_cast<float>(n) + (v - a[n]) / (a[n] - a[n - 1]);
  }
  if (a[2] == a[1]) return 1.0f;
  return 1.0f + (v - a[1]) / (a[2] - a[1]);
}

namespace {

int level_count(const float* a) { return static_cast<int>(a[0] + 0.1f); }

// The grid coordinate of v on a list closing a turn, by conv on the value
// brought within the turn from its first value, and whole turns of grid
// steps; v itself between the list's first and last value.
template <class Conv>
double turns_to_grid(const float* a, double v, Conv conv) {
  const int n = level_count(a);
  if (n < 2 || (v >= a[1] && v <= a[n]) || !std::isfinite(v)) return conv(a, v);
  const double turns = std::floor((v - a[1]) / 360.0);
  return conv(a, v - turns * 360.0) + turns * (n - 1);
}

// lev2gr in double.
double lev2gr_exact(const float* a, double v) {
  const int n = static_cast<int>(a[0] + 0.1f);
  if (n <= 1) return 1.0;
  // Grid coordinate of v from point i, one grid step being a[j] - a[i].
  auto from = [&](int i, int j) { return a[j] == a[i] ? i : i + (v - a[i]) / (a[j] - a[i]); };
  for (int i = 1; i < n; ++i) {
    if ((a[i] <= v && v <= a[i + 1]) || (a[i] >= v && v >= a[i + 1])) return from(i, i + 1);
  }
  const bool increasing = a[1] < a[n];
  if (increasing ? !(v < a[1]) : !(v > a[1]))
    return a[n] == a[n - 1] ? n : n + (v - a[n]) / (a[n] - a[n - 1]);
  return from(1, 2);
}

double lon2gr_exact(const float* a, double v) { return turns_to_grid(a, v, lev2gr_exact); }

// Distance in world units from a float to the next one up in magnitude.
double float_ulp(double v) {
  const auto f = static_cast<float>(std::fabs(v));
  return double(std::nextafter(f, HUGE_VALF)) - f;
}

}  // namespace

double grid_coordinate(const dimension_conversion& axis, float w, world_use use) {
  if (!axis.world_to_grid) return w;
  const double g = axis.world_to_grid(axis.world_to_grid_scaling, w);
  // The grid coordinate in double, the nearest point i, and what the float
  // conversion of i's own world value may be off by.
  const float* gw = axis.grid_to_world_scaling;
  double exact, i, res, step;
  if (axis.world_to_grid == liconv && axis.grid_to_world == liconv && gw && gw[0] != 0) {
    exact = (double(w) - gw[1]) / gw[0];
    i = std::nearbyint(exact);
    // A rounding of the product, of the offset and of their sum.
    step = float_ulp(w) / std::fabs(gw[0]);
    res = (float_ulp(double(gw[0]) * i) + float_ulp(gw[1])) / std::fabs(gw[0]) + step;
  } else if (axis.world_to_grid == lev2gr || axis.world_to_grid == lon2gr) {
    const float* a = axis.world_to_grid_scaling;
    const auto to_grid = axis.world_to_grid == lev2gr ? lev2gr_exact : lon2gr_exact;
    exact = to_grid(a, w);
    i = std::nearbyint(exact);
    step = std::fabs(to_grid(a, std::nextafter(w, HUGE_VALF)) - exact);
    res = 0;
  } else {
    return g;
  }
  // A typed value, read a digit at a time in float, may be a step more
  // off. Where floats no longer tell neighbouring points apart nothing is
  // named.
  const double tol = res + step;
  if (!(std::fabs(i) < 1.0e15) || !(tol < 0.25)) return g;
  const double off = std::fabs(exact - i);
  if (off <= tol) return i;
  // A fixed value within a thousandth of a step more names the point, which
  // the float conversion, off by as much, may not.
  if (use == world_use::fixed && off <= 0.001 + tol) return i;
  return g;
}

bool levels_close_turn(const float* a) {
  const int n = level_count(a);
  return n >= 2 && std::fabs(double(a[n]) - a[1] - 360.0) <= 0.001;
}

float gr2lon(const float* a, float g) {
  const int n = level_count(a);
  if (n < 2 || (g >= 1.0f && g <= static_cast<float>(n)) || !std::isfinite(g)) return gr2lev(a, g);
  const double turns = std::floor((double(g) - 1.0) / (n - 1));
  const auto within = static_cast<float>(double(g) - turns * (n - 1));
  return static_cast<float>(double(gr2lev(a, within)) + turns * 360.0);
}

float lon2gr(const float* a, float v) {
  const auto in_float = [](const float* s, double w) {
    return double(lev2gr(s, static_cast<float>(w)));
  };
  return static_cast<float>(turns_to_grid(a, v, in_float));
}

bool grid_point(double g, long long* i) {
  if (!(std::fabs(g) < 9.0e18)) return false;
  *i = std::llround(g);
  return std::fabs(g - double(*i)) <= 0.001;
}

double range_first(double g1) { return std::floor(g1 + 0.0001); }

double range_last(double g2) { return std::ceil(g2 - 0.0001); }

float* cpscal(const float* scaling, int linear, int /*direction*/, int dimension) {
  if (dimension < 0 || !scaling) return nullptr;
  std::size_t len, meaningful;
  if (dimension == 3) {
    len = meaningful = 8;
  } else if (linear == 1) {
    len = meaningful = 3;
  } else {
    int n = static_cast<int>(scaling[0] + 0.5f);
    if (n < 0) n = 0;
    len = static_cast<std::size_t>(n) + 5;
    meaningful = static_cast<std::size_t>(n) + 2;
  }
  auto* c = static_cast<float*>(kamalloc(len * sizeof(float)));
  // Only the count, the values and the end mark are read; the spare room of a
  // level list is filled rather than copied, so a source allocated to its
  // exact length is never overread.
  std::memcpy(c, scaling, meaningful * sizeof(float));
  for (std::size_t i = meaningful; i < len; ++i) c[i] = scaling_end_mark;
  return c;
}

// ---------------------------------------------------------------------------
// Latitude tables

namespace {

// Roots of the Legendre polynomial of degree n by Newton's method on the
// three-term recurrence, as latitudes in degrees, south to north.
std::vector<double> gaussian_latitudes(int n) {
  std::vector<double> lat(n);
  const double pi = std::acos(-1.0);
  for (int i = 0; i < (n + 1) / 2; ++i) {
    double x = std::cos(pi * (i + 0.75) / (n + 0.5));  // i-th largest root
    for (int iter = 0; iter < 100; ++iter) {
      double p0 = 1.0, p1 = x;
      for (int k = 2; k <= n; ++k) {
        double p2 = ((2.0 * k - 1.0) * x * p1 - (k - 1.0) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      double dp = n * (x * p1 - p0) / (x * x - 1.0);
      double dx = p1 / dp;
      x -= dx;
      if (std::fabs(dx) < 1e-15) break;
    }
    double deg = std::asin(x) * 180.0 / pi;
    lat[n - 1 - i] = deg;
    lat[i] = -deg;
  }
  return lat;
}

std::vector<float> rounded_table(int n, int decimals) {
  std::vector<double> lat = gaussian_latitudes(n);
  double scale = std::pow(10.0, decimals);
  std::vector<float> t(n);
  for (int i = 0; i < n; ++i) t[i] = static_cast<float>(std::round(lat[i] * scale) / scale);
  return t;
}

std::vector<float> mom32_table() {
  static const float north[16] = {0.25f,   1.25f,   2.25f,  3.25f,  4.25f,   5.253f,
                                  6.392f,  7.12f,   8.01f,  9.097f, 10.405f, 11.95f,
                                  13.738f, 15.763f, 18.01f, 20.453f};
  std::vector<float> t(32);
  for (int i = 0; i < 16; ++i) {
    t[15 - i] = -north[i];
    t[16 + i] = north[i];
  }
  return t;
}

struct latitude_set {
  const char* name;  // as in the messages
  int size;
  bool mom;  // which memory message
};

float* build_latitudes(const latitude_set& set, const std::vector<float>& table, int start,
                       int count) {
  long long last = static_cast<long long>(start) - 1 + count;
  if (last > set.size) {
    kaprntf(msg_level::error, "Open Error: Invalid %s scaling.\n", set.name);
    kaprntf(msg_level::error, "  Maximum %i latitudes exceeded \n", set.size);
    return nullptr;
  }
  if (start < 1) {
    kaprntf(msg_level::error, "Open Error: Invalid %s scaling.\n", set.name);
    kaprntf(msg_level::error, "  Starting latitude %i is below 1 \n", start);
    return nullptr;
  }
  if (count < 1) {
    kaprntf(msg_level::error, "Open Error: Invalid %s scaling.\n", set.name);
    kaprntf(msg_level::error, "  Latitude count %i is below 1 \n", count);
    return nullptr;
  }
  float* a = level_scaling_new(count);
  if (!a) {
    kaprnt(msg_level::error, set.mom ? "Memory Allocation Error: MOM32 Grid Scaling\n"
                                     : "Memory Allocation Error: Gaussian Grid Scaling\n");
    return nullptr;
  }
  for (int i = 0; i < count; ++i) a[1 + i] = table[start - 1 + i];
  a[count + 1] = scaling_end_mark;
  return a;
}

}  // namespace

float* kamo32(int start, int count) {
  static const std::vector<float> table = mom32_table();
  return build_latitudes({"MOM32", 32, true}, table, start, count);
}

float* kagaus(int start, int count) {
  static const std::vector<float> table = rounded_table(102, 2);
  return build_latitudes({"GAUSR40", 102, false}, table, start, count);
}

float* kags30(int start, int count) {
  static const std::vector<float> table = rounded_table(80, 2);
  return build_latitudes({"GAUSR30", 80, false}, table, start, count);
}

float* kags20(int start, int count) {
  static const std::vector<float> table = rounded_table(52, 2);
  return build_latitudes({"GAUSR20", 52, false}, table, start, count);
}

float* kags15(int start, int count) {
  static const std::vector<float> table = rounded_table(40, 2);
  return build_latitudes({"GAUSR15", 40, false}, table, start, count);
}

float* kagst62(int start, int count) {
  static const std::vector<float> table = rounded_table(94, 4);
  return build_latitudes({"GAUST62", 94, false}, table, start, count);
}
