#include "expr/dimexpr.h"

#include <cmath>
#include <cstring>

#include "expr/evalstate.h"
#include "base/message.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/filerec.h"
#include "data/reader.h"

namespace {

void syntax_error() { kaprnt(msg_level::error, "Syntax Error:  Invalid dimension expression\n"); }

void bad_name(const char* name) {
  syntax_error();
  kaprntf(msg_level::error, "  Expecting X/Y/Z/T/LAT/LON/LEV/TIME, found %s\n", name);
}

bool varying(const eval_state* pst, int d) { return d == pst->idim || d == pst->jdim; }

void offset_on_varying(int d) {
  syntax_error();
  kaprnt(msg_level::error, "  Cannot use an offset value with a varying ");
  kaprnt(msg_level::error, "dimension\n");
  kaprntf(msg_level::error, "  Varying dimension = %i \n", d);
}

// The grid coordinate of a world value taken as use says: the grid point it
// names exactly, anything else below 2^24 the float it has always been.
double to_grid(const file_descriptor* pfi, int d, float w, world_use use = world_use::fixed) {
  const double g = world_grid(pfi, d, w, use);
  return std::fabs(g) < double(kFloatWhole) ? double(static_cast<float>(g)) : g;
}

// A grid coordinate typed as a number: read as a float, as it always was,
// but in double from 2^24 on, where a float would move it to a neighbour.
const char* grid_number(const char* p, double* v) {
  float f;
  const char* q = valprs(p, &f);
  if (!q) return nullptr;
  double d;
  *v = dblprs(p, &d) && std::fabs(d) >= double(kFloatWhole) ? d : f;
  return q;
}

// Whether a world value w of x, y or z names a grid point of its own: its
// float neighbours lie less than half a grid step apart. Coordinates past
// any grid index are left to the callers, which refuse them as they did.
bool names_point(const file_descriptor* pfi, int d, float w) {
  if (holds_stations(pfi) || !pfi->world_to_grid[d]) return true;
  const double g = world_grid(pfi, d, w, world_use::range_end);
  if (!(std::fabs(g) < 2.0e9)) return true;
  const double next = world_grid(pfi, d, std::nextafter(w, HUGE_VALF), world_use::range_end);
  return !(std::fabs(next - g) >= 0.5);
}

void bad_value() {
  syntax_error();
  kaprnt(msg_level::error, "  Dimension value missing or invalid\n");
}

}  // namespace

const char* dimprs(const char* text, const eval_state* pst, const file_descriptor* pfi,
                   int* dimension, double* value, int no_radius, int* world, world_use use) {
  char name[8];
  int len = 0;
  const char* p = text;
  while (len < 6 && *p >= 'a' && *p <= 'z') name[len++] = *p++;
  name[len] = '\0';
  if (len > 4) {
    bad_name(name);
    return nullptr;
  }

  int op;
  if (*p == '=')
    op = 0;
  else if (*p == '+')
    op = 1;
  else if (*p == '-')
    op = 2;
  else {
    syntax_error();
    const char found[2] = {*p, '\0'};  // nothing shown at the end of the text
    kaprntf(msg_level::error, "  Expecting +/-/= operator, found %s\n", found);
    return nullptr;
  }
  p++;

  const bool is_time = std::strcmp(name, "time") == 0;
  const bool is_grid = len == 1 && std::strchr("xyzt", name[0]);
  float v = 0;
  double gv = 0;  // the number of a grid-coordinate name
  date_time dt{};
  if (is_time && op == 0) {
    p = adtprs(p, &pst->time_start, &dt);
    if (!p) {
      kaprnt(msg_level::error, "  Invalid dimension expression\n");
      return nullptr;
    }
  } else if (is_time) {
    p = rdtprs(p, &dt);
    if (!p) return nullptr;
  } else {
    p = is_grid ? grid_number(p, &gv) : valprs(p, &v);
    if (!p) {
      bad_value();
      return nullptr;
    }
  }

  static const char* const names[] = {"x", "y", "z", "t", "lon", "lat", "lev", "time"};
  int kind = -1;
  for (int i = 0; i < 8; i++)
    if (std::strcmp(name, names[i]) == 0) kind = i;
  if (kind < 0 && !no_radius && std::strcmp(name, "r") == 0) kind = 9;
  if (kind < 0) {
    bad_name(name);
    return nullptr;
  }

  *world = 0;
  if (kind == 9) {
    *dimension = 9;
    *value = v;
    return p;
  }
  const int d = kind % 4;
  *dimension = d;
  const float* tscale = pfi->grid_to_world_scaling[3];

  if (kind < 4) {
    if (op == 0) {
      *value = gv + static_cast<double>(pfi->defined_offsets[d]);
      return p;
    }
    if (varying(pst, d)) {
      offset_on_varying(d);
      return nullptr;
    }
    // In double, which keeps the sum whole past 2^24.
    double base;
    if (d == 3) {
      base = tscale ? t2gr_exact(tscale, &pst->time_start) : 0.0;
    } else {
      base = to_grid(pfi, d, pst->dim_min[d]);
    }
    *value = op == 1 ? base + gv : base - gv;
    return p;
  }

  *world = 1;
  if (op != 0 && varying(pst, d)) {
    offset_on_varying(d);
    return nullptr;
  }
  if (d == 3) {
    if (op == 1) {
      date_time t = pst->time_start;
      timadd_months(&dt, &t);
      dt = t;
    } else if (op == 2) {
      timsub_months(&pst->time_start, &dt);
    }
    *value = tscale ? t2gr_exact(tscale, &dt) : 0.0;
    return p;
  }
  float w = v;
  if (op == 1) w = pst->dim_min[d] + v;
  if (op == 2) w = pst->dim_min[d] - v;
  if (!names_point(pfi, d, w)) {
    bad_value();
    return nullptr;
  }
  *value = to_grid(pfi, d, w, use);
  return p;
}

const char* dimarg(const char* text, const eval_state* pst, const file_descriptor* pfi,
                   int* dimension, double* value, int* world, world_use use) {
  const char* p = dimprs(text, pst, pfi, dimension, value, 1, world, use);
  if (!p) return nullptr;
  while (*p == ' ' || *p == '\t') p++;
  return *p ? nullptr : p;
}

double arg_ceil(double g, float tol) {
  if (std::fabs(g) >= double(kFloatWhole)) return std::ceil(g - tol);
  return std::ceil(static_cast<float>(g) - tol);
}

double arg_floor(double g, float tol) {
  if (std::fabs(g) >= double(kFloatWhole)) return std::floor(g + tol);
  return std::floor(static_cast<float>(g) + tol);
}
