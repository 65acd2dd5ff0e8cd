// A data set record built from the metadata of one netCDF file: which
// variables are the coordinates, how the time axis is encoded and stepped,
// the levels, the undefined value and the displayable variables.
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "base/alloc.h"
#include "base/fnmtemplate.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/scaling.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/filerec.h"
#include "sdf/sdfint.h"
#include "sdf/units.h"

bool sdf_equal_nocase(const char* a, const char* b) {
  for (; *a && *b; a++, b++)
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

// Missing value of a variable: its missing_value, else its _FillValue, when
// of the variable's own type; else the type's default fill.
void sdf_own_missing(var_info& v) {
  double m = sdf_default_fill(v.type);
  for (const char* name : {"missing_value", "_FillValue"}) {
    const netcdf_att* a = find_att(v.atts, name);
    if (a) {
      double x;
      if (a->type == v.type && a->number(0, &x)) m = x;
      break;
    }
  }
  sdf_store_value(m, v.type, v.missing);
}

bool sdf_set_linear(file_descriptor* pfi, int dim, float start, float incr) {
  auto* block = static_cast<linear_scaling*>(kamalloc(sizeof(linear_scaling)));
  linear_scaling_set(block, start, incr);
  kafree(pfi->grid_to_world_scaling[dim]);
  pfi->grid_to_world_scaling[dim] = block->grid_to_world;
  pfi->world_to_grid_scaling[dim] = block->world_to_grid;
  pfi->grid_to_world[dim] = liconv;
  pfi->world_to_grid[dim] = liconv;
  pfi->linear_flags[dim] = 1;
  return true;
}

namespace {

constexpr double kFloatFill = 9.9692099683868690e36;
constexpr const char* kMsgA =
    "Time unit in SDF file has too small an increment for use with Vemra (min. 1 minute).\n";
constexpr const char* kMsgB =
    "SDF:  Time unit has too small an increment for use with Vemra (min. 1 minute).\n";
constexpr const char* kMsgDecreasing =
    "SDF:  Time values decrease (the second is before the first); a time axis must increase.\n";
constexpr const char* kMsgTooLarge =
    "SDF:  Time step in SDF file is too large to represent.\n";
// Times a data set can hold.
constexpr long kMaxTimes = 100000000;

const char* units_of(const var_info& v) {
  const netcdf_att* u = find_att(v.atts, "units");
  return u && u->type == NC_CHAR ? u->text() : nullptr;
}

// A one-dimensional variable named like its dimension.
bool named_like_its_dim(const io_std* io, const var_info& v) {
  if (v.ndims != 1 || v.dimids.empty()) return false;
  int d = v.dimids[0];
  return d >= 0 && d < io->ndims && io->dim_names[size_t(d)] == v.name;
}

// A coordinate variable with units.
bool is_coordinate(const io_std* io, const var_info& v) {
  return named_like_its_dim(io, v) && units_of(v) != nullptr;
}

bool starts(const char* s, const char* prefix) {
  return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

var_info* find_by_units(io_std* io, bool (*test)(const char*)) {
  for (var_info& v : io->vars)
    if (is_coordinate(io, v) && test(units_of(v))) return &v;
  return nullptr;
}

bool x_units(const char* u) {
  return starts(u, "degrees_east") || starts(u, "degree_east") || starts(u, "degrees_E") ||
         starts(u, "degree_E");
}
bool y_units(const char* u) {
  return starts(u, "degrees_north") || starts(u, "degree_north") || starts(u, "degrees_N") ||
         starts(u, "degree_N");
}
bool t_units(const char* u) {
  return sdf_equal_nocase(u, "yyyymmddhhmmss") || sdf_equal_nocase(u, "yymmddhh") || ud_is_time(u);
}

int findX(io_std* io, var_info** var) {
  *var = find_by_units(io, x_units);
  return *var ? 1 : 0;
}
int findY(io_std* io, var_info** var) {
  *var = find_by_units(io, y_units);
  return *var ? 1 : 0;
}
int findT(io_std* io, var_info** var) {
  *var = find_by_units(io, t_units);
  return *var ? 1 : 0;
}

int findZ(io_std* io, var_info** var) {
  *var = nullptr;
  static const char* const refs[3] = {"feet", "pascals", "kelvins"};
  for (const char* r : refs) {
    ud_unit u;
    if (u.scan(r) != 0) {
      kaprntf(msg_level::error, "The udunits library doesn't know %s; giving up...\n", r);
      return 9999;
    }
  }
  static const char* const names[] = {"mb",    "sigma_level", "degreesk", "degrees_k",
                                      "level", "layer",       "layers",   "hybrid_sigma_pressure"};
  for (var_info& v : io->vars) {
    if (!is_coordinate(io, v)) continue;
    std::string low = units_of(v);
    for (char& c : low) c = char(std::tolower(static_cast<unsigned char>(c)));
    for (const char* n : names)
      if (low == n) {
        *var = &v;
        return 1;
      }
    ud_unit u;
    if (u.scan(units_of(v)) != 0) continue;
    for (const char* r : refs)
      if (ud_converts(u, r)) {
        *var = &v;
        return 1;
      }
  }
  // Generic and hybrid levels often say what they are only by their axis
  // attribute, and may have no units at all.
  for (var_info& v : io->vars) {
    if (!named_like_its_dim(io, v)) continue;
    const netcdf_att* axis = find_att(v.atts, "axis");
    if (axis && axis->type == NC_CHAR && sdf_equal_nocase(axis->text(), "z")) {
      *var = &v;
      return 1;
    }
  }
  return 0;
}

// The variable's dimensions that are axes come in the order t, z, y, x (any
// may be missing); a variable stored otherwise would be read transposed.
// dims come as x, y, z, t.
bool axes_in_order(const var_info& v, const int dims[4]) {
  int last = -1;
  for (int a = 3; a >= 0; a--) {
    int pos = find_dimix(v.dimids, v.ndims, dims[a]);
    if (pos < 0) continue;
    if (pos <= last) return false;
    last = pos;
  }
  return true;
}

int isdvar(const var_info& v, const var_info* xv, const var_info* yv, const var_info* zv,
           const var_info* tv, int xdim, int ydim) {
  if (v.ndims < 2) return 0;
  if (&v == xv || &v == yv || &v == zv || &v == tv) return 0;
  if (find_dimix(v.dimids, v.ndims, xdim) < 0 && find_dimix(v.dimids, v.ndims, ydim) < 0) return 0;
  return 1;
}

int findmatch(const std::string& name, const std::vector<std::string>& names, int count,
              int* index) {
  for (int i = 0; i < count && size_t(i) < names.size(); i++)
    if (names[size_t(i)] == name) {
      *index = i;
      return 1;
    }
  *index = -1;
  return 0;
}

int compare_units(const char* a, const char* b) {
  ud_unit ua, ub;
  if (ua.scan(a) != 0 || ub.scan(b) != 0) return 0;
  double slope = 0, icept = 0;
  if (!ud_convert(ub, ua, &slope, &icept)) return 0;
  return dequal(slope, 1.0, 1e-6) && dequal(icept, 0.0, 1e-6);
}

// Explicit coordinate values of dimension dim from the values held in var.
int sdfdeflev(file_descriptor* pfi, var_info* var, int dim, int reverse) {
  int size = nc_type_size(var->type);
  long n = size ? long(var->data.size() / size_t(size)) : 0;
  if (n < 1 || n > 100000000) {
    kaprnt(msg_level::error, "Failure setting up coordinate levels in SDF file.\n");
    return 1;
  }
  float* a = level_scaling_new(int(n));
  if (!a) {
    kaprnt(msg_level::error, "Failure setting up coordinate levels in SDF file.\n");
    return 1;
  }
  a[0] = float(n);
  for (long i = 0; i < n; i++) {
    long from = reverse ? n - 1 - i : i;
    if (!convtype(var->data.data(), var->type, a, NC_FLOAT, from, i + 1) ||
        !std::isfinite(a[i + 1])) {
      kaprnt(msg_level::error, "SDF:  Error interpreting coordinate value.\n");
      kafree(a);
      return 1;
    }
  }
  a[n + 1] = scaling_end_mark;
  kafree(pfi->grid_to_world_scaling[dim]);
  pfi->grid_to_world_scaling[dim] = a;
  pfi->world_to_grid_scaling[dim] = a;
  pfi->grid_to_world[dim] = gr2lev;
  pfi->world_to_grid[dim] = lev2gr;
  pfi->linear_flags[dim] = 0;
  return 0;
}


float* new_time_scaling(file_descriptor* pfi) {
  auto* ts = static_cast<float*>(kacalloc(8, sizeof(float)));
  ts[7] = scaling_end_mark;
  kafree(pfi->grid_to_world_scaling[3]);
  pfi->grid_to_world_scaling[3] = ts;
  pfi->world_to_grid_scaling[3] = ts;
  pfi->linear_flags[3] = 1;
  return ts;
}

// Reads values i of the coordinate as doubles.
bool coord_value(const var_info* v, long i, double* out) {
  int size = nc_type_size(v->type);
  if (!size || size_t(i + 1) * size_t(size) > v->data.size()) return false;
  return value_as_double(v->data.data(), v->type, i, out) && std::isfinite(*out);
}

void set_start(float* ts, const date_time& d) {
  ts[0] = float(d.year);
  ts[1] = float(d.month);
  ts[2] = float(d.day);
  ts[3] = float(d.hour);
  ts[4] = float(d.minute);
}

// Years of the base unit: the units library's year, or the 365-day year of
// a 365-day calendar (the library's year is a tropical one).
bool year_units(const char* base) {
  return std::strcmp(base, "common_year") == 0 || std::strcmp(base, "common_years") == 0 ||
         compare_units(base, "year");
}

bool month_units(const char* units) {
  return starts(units, "month") || starts(units, "common_year/12") ||
         starts(units, "common_years/12");
}

// The date of a time value in units of the units library. Whole months and
// years are counted on the calendar, and on a 365-day calendar every step is
// counted on it too, because the units library knows only the standard one.
bool ud_date(const ud_unit& unit, const char* units, const char* base, double value, bool cal365,
             date_time* out) {
  int y, mo, d, h, mi;
  float sec;
  if (utCalendar(0.0, unit.get(), &y, &mo, &d, &h, &mi, &sec) != 0) return false;
  date_time origin{y, mo < 1 ? 1 : mo, d < 1 ? 1 : d, h, mi};
  double months = -1;
  if (month_units(units) && value == std::floor(value)) months = value;
  if (year_units(base) && value * 12 == std::floor(value * 12)) months = value * 12;
  if (months >= 0 && months < 1e8) {
    date_time inc{0, int(months), 0, 0, 0};
    timadd(&inc, &origin);
    *out = origin;
    return true;
  }
  // The step of the origin's own unit, in minutes.
  double slope = 0;
  ud_unit plain;
  if (cal365 && plain.scan(base) == 0 && ud_converts(plain, "minute", &slope) && slope > 0) {
    double minutes = std::floor(value * slope + 0.5);
    if (std::fabs(minutes) < 2e9) {
      date_time inc{0, 0, 0, 0, int(minutes)};
      if (minutes >= 0)
        timadd(&inc, &origin);
      else {
        inc.minute = -inc.minute;
        timsub(&origin, &inc);
        origin = inc;
      }
      *out = origin;
      return true;
    }
  }
  if (utCalendar(value, unit.get(), &y, &mo, &d, &h, &mi, &sec) != 0) return false;
  date_time r{y, mo < 1 ? 1 : mo, d < 1 ? 1 : d, h, mi};
  // A value a hair below a whole minute is that minute.
  if (sec >= 30.0f) {
    date_time one{0, 0, 0, 0, 1};
    timadd(&one, &r);
  }
  *out = r;
  return true;
}

int rnd(double x) { return int(x + 0.5); }

// Steps of a time axis in units of the units library; false after the
// message.
bool ud_step(const char* units, const std::string& base, double d, float* ts) {
  float& months = ts[5];
  float& minutes = ts[6];
  months = minutes = 0;
  if (d < 0) {
    kaprnt(msg_level::error, kMsgDecreasing);
    return false;
  }
  if (!std::isfinite(d) || d > 1e9) {
    kaprnt(msg_level::error, kMsgTooLarge);
    return false;
  }
  const char* b = base.c_str();
  if (year_units(b)) {
    months = float(d * 12);
    if (months < 1) {
      kaprnt(msg_level::error, kMsgA);
      return false;
    }
    // Beyond a million years the calendar arithmetic can't follow.
    if (months > 12e6f) {
      kaprnt(msg_level::error, kMsgTooLarge);
      return false;
    }
    return true;
  }
  if (month_units(units)) {
    months = float(d);
    if (months < 1) {
      kaprnt(msg_level::error, "SDF:  Fractional months are ill-defined and not supported by Vemra\n");
      return false;
    }
    if (months > 12e6f) {
      kaprnt(msg_level::error, kMsgTooLarge);
      return false;
    }
    return true;
  }
  auto too_small = [&](float v) {
    if (v < 1) {
      kaprnt(msg_level::error, kMsgB);
      return true;
    }
    return false;
  };
  if (compare_units(b, "day")) {
    if (d < 28) {
      minutes = float(d * 24 * 60);
      return !too_small(minutes);
    }
    months = d < 360 ? float(rnd(d) / 28) : float(12 * (rnd(d) / 360));
    return true;
  }
  if (compare_units(b, "hour")) {
    if (d < 672) {
      minutes = float(d * 60);
      return !too_small(minutes);
    }
    if (d < 8640) {
      months = float(rnd(d) / 672);
      return !too_small(months);
    }
    months = float(12 * std::trunc(double(rnd(d)) / 8640));
    return true;
  }
  if (compare_units(b, "minute")) {
    if (d < 40320) {
      minutes = float(d);
      return !too_small(minutes);
    }
    if (d < 518400) {
      months = float(rnd(d / 1440) / 28);
      return true;
    }
    kaprnt(msg_level::error, "SDF:  Attempt at >monthly increment with 'minutes since' time units attribute value.\n");
    return false;
  }
  if (compare_units(b, "seconds")) {
    if (d < 60) {
      kaprnt(msg_level::error, kMsgB);
      return false;
    }
    if (d < 2419200) {
      minutes = float(d / 60);
      return true;
    }
    if (d < 31104000) {
      months = float(rnd(d / 86400) / 28);
      return true;
    }
    kaprnt(msg_level::error, "SDF:  Attempt at > monthly interval with 'seconds since' time units attribute.\n");
    return false;
  }
  kaprnt(msg_level::error, "Error parsing time units in SDF file.\n");
  return false;
}

// True when v is a fill of the variable: its missing_value or _FillValue,
// or the default fill of its type.
bool is_fill(const var_info& v, double x) {
  for (const char* name : {"missing_value", "_FillValue"}) {
    double m;
    const netcdf_att* a = find_att(v.atts, name);
    if (a && a->number(0, &m) && (v.type == NC_FLOAT ? float(m) == float(x) : m == x)) return true;
  }
  double def = sdf_default_fill(v.type);
  return v.type == NC_FLOAT ? float(def) == float(x) : def == x;
}

// True when the first n values of the one-dimensional variable are all
// fills (read a block at a time; the variable's data is overwritten).
bool only_fill(io_std* io, var_info* v, long n) {
  constexpr long kBlock = 65536;
  for (long start = 0; start < n; start += kBlock) {
    long count = n - start < kBlock ? n - start : kBlock;
    if (!read_variable_data(io->ncid, v, &start, &count)) return false;
    for (long i = 0; i < count; i++) {
      double x;
      if (!value_as_double(v->data.data(), v->type, i, &x) || !is_fill(*v, x)) return false;
    }
  }
  return true;
}

// The values of a coordinate already read are all fills.
bool holds_only_fill(const var_info& v) {
  int size = nc_type_size(v.type);
  if (!size || v.data.empty()) return false;
  for (long i = 0; i < long(v.data.size() / size_t(size)); i++) {
    double x;
    if (!value_as_double(v.data.data(), v.type, i, &x) || !is_fill(v, x)) return false;
  }
  return true;
}

// Reads digits at p into *out (at most 9 of them); the position after them,
// or null when there are none.
const char* digits(const char* p, int* out) {
  int n = 0, v = 0;
  while (std::isdigit(static_cast<unsigned char>(*p)) && n < 9) {
    v = v * 10 + (*p++ - '0');
    n++;
  }
  *out = v;
  return n ? p : nullptr;
}

// The base date of time units (the text after " since "), when written as
// year-month-day[ hh:mm[:ss]], names a date of the calendar. Other forms
// are left to the units library.
bool origin_exists(const char* p, bool cal365) {
  while (*p == ' ') p++;
  if (*p == '-' || *p == '+') p++;
  int y, mo, d;
  p = digits(p, &y);
  if (!p || *p != '-') return true;
  p = digits(p + 1, &mo);
  if (!p || *p != '-') return true;
  p = digits(p + 1, &d);
  if (!p) return true;
  if (mo < 1 || mo > 12) return false;
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  // Leap years of the units library's calendar: Julian before 1583.
  bool leap = !cal365 && y % 4 == 0 && (y < 1583 || y % 100 != 0 || y % 400 == 0);
  if (d < 1 || d > kDays[mo - 1] + (mo == 2 && leap ? 1 : 0)) return false;
  if (*p != ' ' && *p != 'T') return true;
  int h, mi;
  const char* q = digits(p + 1, &h);
  if (!q || *q != ':') return true;
  q = digits(q + 1, &mi);
  if (!q) return true;
  return h <= 23 && mi <= 59;
}

// Each time of the file against the axis built from its first two: the
// first that lies half a step or more away gets one warning, since every
// later date is off as well. Times past what a grid coordinate can count
// exactly are not checked.
template <class Decode>
bool check_steps(file_descriptor* pfi, io_std* io, var_info* tv, Decode date_of) {
  const float* ts = pfi->grid_to_world_scaling[3];
  // A month counted as its mean length, in minutes.
  const double step = ts[6] >= 0.1f ? double(ts[6]) : double(ts[5]) * 43830.0;
  constexpr long kBlock = 65536, kCountable = 16777216;
  const long n = pfi->t_size < kCountable ? pfi->t_size : kCountable;
  for (long start = 0; start < n; start += kBlock) {
    long count = n - start < kBlock ? n - start : kBlock;
    if (!read_variable_data(io->ncid, tv, &start, &count)) return true;
    for (long i = 0; i < count; i++) {
      long t = start + i + 1;
      double v;
      date_time file{}, axis{};
      gr2t(ts, float(t), &axis);
      bool dated = value_as_double(tv->data.data(), tv->type, i, &v) && std::isfinite(v) &&
                   date_of(v, &file);
      if (dated && double(std::llabs(timdif(&axis, &file))) * 2 < step) continue;
      std::string in_file = dated ? kat2ch(file, 5) : std::string("not a date");
      kaprntf(msg_level::info,
              "Warning:  The times of SDF file are not evenly stepped: time %ld is %s in the file "
              "but %s by the step of the first two.\n"
              "          Dates from time %ld on do not match the file; xdfopen with a TDEF "
              "record of its own reads it.\n",
              t, in_file.c_str(), kat2ch(axis, 5).c_str(), t);
      return true;
    }
  }
  return true;
}

bool is_365(const char* cal) {
  return sdf_equal_nocase(cal, "365_day_year") || sdf_equal_nocase(cal, "noleap") ||
         sdf_equal_nocase(cal, "365_day");
}

// The time axis from the T coordinate; false after the message.
bool time_axis(file_descriptor* pfi, io_std* io, var_info* tv) {
  if (const netcdf_att* c = find_att(tv->atts, "calendar"); c && c->type == NC_CHAR) {
    if (is_365(c->text())) {
      pfi->calendar_365 = 1;
      mfcmn.calendar_365 = 1;
    }
  }
  long n = io->dim_size(tv->dimids[0]);
  pfi->t_size = int(n < 0 ? 0 : (n > kMaxTimes ? kMaxTimes : n));
  if (n > kMaxTimes)
    kaprntf(msg_level::info, "SDF:  The time dimension holds %ld times; only the first %ld are used.\n",
            n, kMaxTimes);
  const char* units = units_of(*tv);
  if (!units) {
    kaprnt(msg_level::error, "Couldn't find units attribute for Time coordinate of SDF file.\n");
    return false;
  }
  double v1 = 0, v2 = 0;
  long start = 0, count = pfi->t_size >= 2 ? 2 : 1;
  if (pfi->t_size < 1 || !read_variable_data(io->ncid, tv, &start, &count)) {
    kaprnt(msg_level::error, pfi->t_size >= 2 ? "Error reading initial two time values in SDF file.\n"
                               : "Error reading initial time value in SDF file.\n");
    return false;
  }
  if (!coord_value(tv, 0, &v1)) {
    kaprnt(msg_level::error, "Error interpreting initial time value in SDF file.\n");
    return false;
  }
  if (is_fill(*tv, v1) && only_fill(io, tv, pfi->t_size)) {
    kaprnt(msg_level::error, "SDF:  The time coordinate of SDF file holds only fill values.\n");
    return false;
  }
  if (count == 2) {
    if (!coord_value(tv, 1, &v2)) {
      kaprnt(msg_level::error, "Error interpreting second time value in SDF file.\n");
      return false;
    }
  } else {
    v2 = v1 + 1;
  }
  float* ts = new_time_scaling(pfi);
  if (!ts) {
    kaprnt(msg_level::error, "Error finding storage to define time coordinate in SDF file.\n");
    return false;
  }
  const bool one = pfi->t_size == 1;
  if (std::strlen(units) < 10 && starts(units, "YYMMDDHH")) {
    if (std::fabs(v1) > 2e9 || std::fabs(v2) > 2e9) {
      kaprnt(msg_level::error, "Error interpreting initial time value in SDF file.\n");
      return false;
    }
    long a = long(v1), b = long(v2);
    if (b < a) {
      kaprnt(msg_level::error, kMsgDecreasing);
      return false;
    }
    ts[0] = float(a / 1000000);
    ts[1] = float((a / 10000) % 100);
    ts[2] = float((a / 100) % 100);
    ts[3] = float(a % 100);
    ts[4] = 0;
    if (one) {
      ts[5] = 0;
      ts[6] = 1;
      return true;
    }
    long dy = b / 1000000 - a / 1000000, dm = (b / 10000) % 100 - (a / 10000) % 100;
    long dd = (b / 100) % 100 - (a / 100) % 100, dh = b % 100 - a % 100;
    if (dy < 1 && dm < 1) {
      ts[5] = 0;
      ts[6] = float(dd * 1440 + dh * 60);
      if (ts[6] < 1) {
        kaprnt(msg_level::error, kMsgA);
        return false;
      }
    } else {
      ts[5] = float(dy * 12 + dm);
      ts[6] = 0;
    }
    return check_steps(pfi, io, tv, [](double v, date_time* out) {
      if (!(std::fabs(v) <= 2e9)) return false;
      long x = long(v);
      *out = date_time{int(x / 1000000), int((x / 10000) % 100), int((x / 100) % 100),
                       int(x % 100), 0};
      return true;
    });
  }
  if (io->time_flag == 0) {
    int y, mo, d, h, mi;
    double sec;
    if (!decode_standard_time(v1, &y, &mo, &d, &h, &mi, &sec)) {
      kaprnt(msg_level::error, "Error deciphering initial time value in SDF file.\n");
      return false;
    }
    ts[0] = float(y < 1 ? 1 : y);
    ts[1] = float(mo < 1 ? 1 : mo);
    ts[2] = float(d < 1 ? 1 : d);
    ts[3] = float(h < 0 ? 0 : h);
    ts[4] = float(mi < 0 ? 0 : mi);
    if (one) {
      ts[5] = 0;
      ts[6] = 1;
      return true;
    }
    const netcdf_att* dt = find_att(tv->atts, "delta_t");
    if (!dt || dt->type != NC_CHAR) {
      kaprnt(msg_level::error, "Error in determining time increment in SDF file.\n");
      return false;
    }
    int yy, mm, dd, hh, mn, ss;
    if (!decode_delta_t(dt->text(), &yy, &mm, &dd, &hh, &mn, &ss)) {
      kaprnt(msg_level::error, "Error deciphering time increment in SDF file.\n");
      return false;
    }
    if (yy < 1 && mm < 1) {
      ts[5] = 0;
      ts[6] = float((dd > 0 ? dd : 0) * 1440 + (hh > 0 ? hh : 0) * 60 + (mn > 0 ? mn : 0));
      if (ts[6] < 1) {
        kaprnt(msg_level::error, kMsgA);
        return false;
      }
    } else {
      ts[5] = float((yy > 0 ? yy : 0) * 12 + (mm > 0 ? mm : 0));
      ts[6] = 0;
    }
    return check_steps(pfi, io, tv, [](double v, date_time* out) {
      int fy, fmo, fd, fh, fmi;
      double fsec;
      if (!decode_standard_time(v, &fy, &fmo, &fd, &fh, &fmi, &fsec)) return false;
      *out = date_time{fy < 1 ? 1 : fy, fmo < 1 ? 1 : fmo, fd < 1 ? 1 : fd, fh < 0 ? 0 : fh,
                       fmi < 0 ? 0 : fmi};
      return true;
    });
  }
  if (starts(units, "common_year")) {
    pfi->calendar_365 = 1;
    mfcmn.calendar_365 = 1;
  }
  std::string full = units;
  size_t since = full.find(" since ");
  std::string base = since == std::string::npos ? full : full.substr(0, since);
  if (since == std::string::npos) full += " since 1-1-1 00:00:0.0";
  if (since != std::string::npos && !origin_exists(full.c_str() + since + 7, pfi->calendar_365 == 1)) {
    kaprntf(msg_level::error, "SDF:  Time units name a base date that does not exist: %s\n", units);
    return false;
  }
  ud_unit unit;
  if (unit.scan(full.c_str()) != 0) {
    kaprnt(msg_level::error, since == std::string::npos ? "Error parsing time_units for SDF file.\n"
                                         : "Error parsing UDUNITS time units in SDF file.\n");
    return false;
  }
  date_time first{};
  if (!ud_date(unit, units, base.c_str(), v1, pfi->calendar_365 == 1, &first)) {
    kaprnt(msg_level::error, "Error decoding initial udunits time value in SDF file.\n");
    return false;
  }
  set_start(ts, first);
  if (one) {
    ts[5] = 0;
    ts[6] = 1;
    return true;
  }
  if (!ud_step(units, base, v2 - v1, ts)) return false;
  const bool cal365 = pfi->calendar_365 == 1;
  return check_steps(pfi, io, tv, [&](double v, date_time* out) {
    return ud_date(unit, units, base.c_str(), v, cal365, out);
  });
}

// Reads a coordinate and converts its first (and second) value.
bool first_two(io_std* io, var_info* v, double* a, double* b, bool* two) {
  if (!read_one_dimension(io, v, v->dimids[0]) || v->data.empty()) return false;
  *two = false;
  if (!coord_value(v, 0, a)) return false;
  if (coord_value(v, 1, b)) *two = true;
  return true;
}

void store_axes(var_info& v, const int dims[4], const bool store[4]) {
  // Slots are t, z, y, x; dims come as x, y, z, t.
  for (int a = 0; a < 4; a++) {
    int d = dims[3 - a];
    v.axis_dim[a] = store[3 - a] ? d : -1;
    v.axis_pos[a] = store[3 - a] ? find_dimix(v.dimids, v.ndims, d) : -1;
    if (v.axis_pos[a] < 0) v.axis_dim[a] = -1;
  }
}


// A variable whose axes are stored in another order is left out rather than
// read transposed.
void refuse_order(var_info& v) {
  kaprntf(msg_level::error,
          "SDF:  variable %s does not store its dimensions in time, level, latitude, "
          "longitude order; it can't be displayed.\n",
          v.name.c_str());
  v.display.clear();
}

}  // namespace

double sdf_default_fill(nc_type type) {
  switch (type) {
    case NC_BYTE: return -127;
    case NC_SHORT: return -32767;
    case NC_INT: return -2147483647;
    default: return kFloatFill;
  }
}

void sdf_store_value(double v, nc_type type, unsigned char* out) {
  std::memset(out, 0, 8);
  // A value the type can't hold (an undefined value of -1e20 for short
  // data) is stored as the type's own fill.
  auto fits = [&](double lo, double hi) { return std::isfinite(v) && v >= lo && v <= hi; };
  switch (type) {
    case NC_BYTE: {
      auto c = static_cast<signed char>(fits(-128, 127) ? v : -127);
      std::memcpy(out, &c, 1);
      break;
    }
    case NC_SHORT: {
      auto s = static_cast<short>(fits(-32768, 32767) ? v : -32767);
      std::memcpy(out, &s, 2);
      break;
    }
    case NC_INT: {
      auto i = static_cast<int>(fits(-2147483648.0, 2147483647.0) ? v : -2147483647);
      std::memcpy(out, &i, 4);
      break;
    }
    case NC_FLOAT: {
      auto f = static_cast<float>(fits(-3.4028234663852886e38, 3.4028234663852886e38) ? v : kFloatFill);
      std::memcpy(out, &f, 4);
      break;
    }
    case NC_DOUBLE: std::memcpy(out, &v, 8); break;
    default: break;
  }
}

void doparms4sdf(sdf_parms* parms) { *parms = sdf_parms{}; }

std::vector<int> sdf_template_table(const char* tmpl, const float* ts, int ntsteps) {
  std::vector<int> table;
  if (ntsteps < 1) return table;
  table.assign(size_t(ntsteps), 1);
  date_time d1{};
  gr2t(ts, 1.0f, &d1);
  std::string prev = kafndt(tmpl, &d1, &d1, ts);
  if (prev.empty()) return {};
  int first = 1;
  for (int t = 2; t <= ntsteps; t++) {
    date_time dt{};
    gr2t(ts, float(t), &dt);
    std::string name = kafndt(tmpl, &dt, &d1, ts);
    if (name.empty()) return {};
    if (name != prev) {
      first = t;
      prev = name;
    }
    table[size_t(t - 1)] = first;
  }
  return table;
}

int kadsdf(const char* name, file_descriptor* pfi, const std::string& tmpl, int ntsteps,
           sdf_parms& parms) {
  ncopts = NC_VERBOSE;
  if (ud_start() != 0) {
    kaprnt(msg_level::error, "UDUNITS package initialization failure.\n");
    return 1;
  }
  char word[4096];
  getwrd(word, name, 4095);
  auto* io = static_cast<io_std*>(pfi->sdf_io);
  if (!io || !read_io_std(word, io)) {
    kaprnt(msg_level::error, "\nCouldn't ingest SDF metadata.\n");
    kaprnt(msg_level::error, "If this was an HDF-SDS file, try vemrahdf.\n");
    return 1;
  }
  if (!parms.descriptor) pfi->calendar_365 = 0;

  // Coordinates: x, y, z, t.
  var_info* cv[4] = {};
  bool by_units[4] = {};
  static const char* const none_sdf[2] = {"SDF file has no discernable X coordinate.\n",
                                          "SDF file has no discernable Y coordinate.\n"};
  static const char* const none_xdf[4] = {
      "XDF file has no coordinate variable for X dimension.\n",
      "XDF file has no coordinate variable for Y dimension.\n",
      "XDF file has no coordinate variable for Z dimension.\n",
      "XDF file has no coordinate variable for T dimension.\n"};
  for (int d = 0; d < 2; d++) {
    if (parms.find[d]) {
      if (!(d == 0 ? findX(io, &cv[d]) : findY(io, &cv[d]))) {
        kaprnt(msg_level::error, none_sdf[d]);
        return 1;
      }
      by_units[d] = true;
    } else if (parms.wanted[d]) {
      cv[d] = find_var(io, parms.dim_names[d].c_str());
      if (!cv[d] || cv[d]->ndims != 1) {
        kaprnt(msg_level::error, none_xdf[d]);
        return 1;
      }
    }
  }
  if (parms.find[3]) {
    if (!findT(io, &cv[3])) kaprnt(msg_level::error, "SDF file has no discernable time coordinate.\n");
    by_units[3] = true;
  } else if (parms.wanted[3]) {
    if (!parms.has_dim_name[3]) {
      kaprnt(msg_level::error, "XDF file has no time dimension, but TDEF is incomplete.\n");
      kaprnt(msg_level::error, "Failure parsing XDF-style data descriptor file (DDF).\n");
      return 1;
    }
    cv[3] = find_var(io, parms.dim_names[3].c_str());
    if (!cv[3] || cv[3]->ndims != 1) {
      kaprnt(msg_level::error, none_xdf[3]);
      return 1;
    }
  }
  if (parms.find[2]) {
    findZ(io, &cv[2]);
    by_units[2] = true;
  } else if (parms.wanted[2]) {
    cv[2] = find_var(io, parms.dim_names[2].c_str());
    if (!cv[2] || cv[2]->ndims != 1) {
      kaprnt(msg_level::error, none_xdf[2]);
      return 1;
    }
  }

  int dims[4];
  auto take_dims = [&]() {
    for (int d = 0; d < 4; d++) {
      if (!parms.descriptor || by_units[d])
        dims[d] = cv[d] ? find_dim(io, cv[d]->name.c_str()) : -1;
      else
        dims[d] = parms.has_dim_name[d] ? find_dim(io, parms.dim_names[d].c_str()) : -1;
    }
  };
  take_dims();

  // Data variables.
  int count = 0;
  if (parms.scan_vars) {
    for (const var_info& v : io->vars)
      if (isdvar(v, cv[0], cv[1], cv[2], cv[3], dims[0], dims[1]) && axes_in_order(v, dims))
        count++;
    if (count == 0) {
      kaprnt(msg_level::error, "SDF file doesn't appear to have any non-coordinate variables.  Yikes!\n");
      return 1;
    }
    kaprntf(msg_level::error, "Found %d data variables in SDF file.\n", count);
    parms.var_count = count;
  } else {
    count = parms.var_count;
  }
  const var_info* first_data = nullptr;
  for (const var_info& v : io->vars) {
    bool is_data = parms.scan_vars ? (isdvar(v, cv[0], cv[1], cv[2], cv[3], dims[0], dims[1]) &&
                                      axes_in_order(v, dims))
                                   : (!parms.nc_names.empty() && v.name == parms.nc_names[0]);
    if (is_data) {
      first_data = &v;
      break;
    }
  }

  if (!parms.descriptor) getwrd(pfi->descriptor_name, word, 4095);
  getwrd(pfi->data_file_name, word, 4095);
  pfi->second_stream = nullptr;

  if (parms.wanted[0]) {
    pfi->x_size = int(io->dim_size(cv[0]->dimids[0]));
    if (!read_one_dimension(io, cv[0], cv[0]->dimids[0]) || cv[0]->data.empty()) {
      kaprnt(msg_level::error, "Failure checking X coordinate of SDF file.\n");
      return 1;
    }
    if (holds_only_fill(*cv[0])) {
      kaprnt(msg_level::error, "SDF:  The X coordinate of SDF file holds only fill values.\n");
      return 1;
    }
    int r = trydeflin(pfi, cv[0], 0, 1, 0);
    if (r < 0) {
      kaprnt(msg_level::error, "Error evaluating X coordinate of SDF file.\n");
      return 1;
    }
    if (r == 0 && sdfdeflev(pfi, cv[0], 0, 0)) {
      kaprnt(msg_level::error, "Failure defining X levels for SDF file.\n");
      return 1;
    }
  }
  if (parms.wanted[1]) {
    pfi->y_size = int(io->dim_size(cv[1]->dimids[0]));
    double a = 0, b = 0;
    bool two = false;
    if (!read_one_dimension(io, cv[1], cv[1]->dimids[0]) || cv[1]->data.empty()) {
      kaprnt(msg_level::error, "Failure checking Y coordinate of SDF file.\n");
      return 1;
    }
    if (holds_only_fill(*cv[1])) {
      kaprnt(msg_level::error, "SDF:  The Y coordinate of SDF file holds only fill values.\n");
      return 1;
    }
    if (!first_two(io, cv[1], &a, &b, &two)) {
      kaprnt(msg_level::error, "Failure interpreting first Y coordinate value of SDF file.\n");
      return 1;
    }
    pfi->yrev = two && float(b) < float(a) ? 1 : 0;
    int r = trydeflin(pfi, cv[1], 1, 0, pfi->yrev);
    if (r < 0) {
      kaprnt(msg_level::error, "Error evaluating Y coordinate of SDF file.\n");
      return 1;
    }
    if (r == 0 && sdfdeflev(pfi, cv[1], 1, pfi->yrev)) {
      kaprnt(msg_level::error, "Failure defining levels for Y coordinate for SDF file.\n");
      return 1;
    }
  }
  if (parms.wanted[2] && cv[2]) pfi->zrev = 0;

  if (parms.title_from_file) {
    const netcdf_att* t = find_att(io->gatts, "title");
    if (t && t->type == NC_CHAR) getstr(pfi->title, t->text(), 511);
  }

  if (parms.undef_from_file) {
    double u = kFloatFill;
    const netcdf_att* a = nullptr;
    if (first_data) {
      a = find_att(first_data->atts, "missing_value");
      if (!a) a = find_att(first_data->atts, "_FillValue");
    }
    double x;
    if (a && a->number(0, &x)) {
      if (a->type == NC_SHORT)
        u = -kFloatFill;
      else if (std::isfinite(x) && std::fabs(x) <= 3.4e38)
        u = x;
    }
    pfi->undef = float(u);
  }
  {
    float d = std::fabs(pfi->undef / 100000.0f);
    pfi->undef_low = pfi->undef - d;
    pfi->undef_high = pfi->undef + d;
  }

  if (parms.wanted[2]) {
    if (!cv[2]) {
      pfi->z_size = 1;
      if (!sdf_set_linear(pfi, 2, 0.0f, 0.0f)) {
        kaprnt(msg_level::error, "Error evaluating fixed Z coordinate in SDF file.\n");
        return 1;
      }
      // Every level is the value 0, and the value 0 is level 1.
      float* b = pfi->grid_to_world_scaling[2];
      b[0] = 0;
      b[1] = 0;
      b[3] = 1;
      b[4] = 1;
    } else {
      pfi->z_size = int(io->dim_size(cv[2]->dimids[0]));
      double a = 0, b = 0;
      bool two = false;
      if (!read_one_dimension(io, cv[2], cv[2]->dimids[0]) || cv[2]->data.empty()) {
        kaprnt(msg_level::error, "Failure checking Z coordinate of SDF file.\n");
        return 1;
      }
      if (holds_only_fill(*cv[2])) {
        kaprnt(msg_level::error, "SDF:  The Z coordinate of SDF file holds only fill values.\n");
        return 1;
      }
      if (!first_two(io, cv[2], &a, &b, &two)) {
        kaprnt(msg_level::error, "Failure interpreting first Z coordinate value of SDF file.\n");
        return 1;
      }
      if (!two) {
        if (!sdf_set_linear(pfi, 2, float(a), 1.0f)) {
          kaprnt(msg_level::error, "Error evaluating solo Z coordinate in SDF file.\n");
          return 1;
        }
      } else {
        if (const netcdf_att* pos = find_att(cv[2]->atts, "positive"); pos && pos->type == NC_CHAR) {
          if (starts(pos->text(), "down"))
            pfi->zrev = b > a ? 1 : 0;
          else
            pfi->zrev = b > a ? 0 : 1;
        }
        if (sdfdeflev(pfi, cv[2], 2, pfi->zrev)) {
          kaprnt(msg_level::error, "Couldn't define Z-axis usinng LEVELS method.\n");
          return 1;
        }
      }
    }
  }

  if (parms.wanted[3]) {
    if (!cv[3]) {
      pfi->t_size = 1;
      float* ts = new_time_scaling(pfi);
      if (!ts) {
        kaprnt(msg_level::error, "Error finding storage to define time coordinate in SDF file.\n");
        return 1;
      }
      const float start[7] = {1, 1, 1, 0, 0, 0, 1};
      std::memcpy(ts, start, sizeof start);
    } else if (!time_axis(pfi, io, cv[3])) {
      return 1;
    }
  }

  if (parms.scan_vars) {
    kafree(pfi->variables);
    pfi->variables = static_cast<variable_descriptor*>(
        kacalloc(size_t(count), sizeof(variable_descriptor), "Memory allocation error.\n"));
    pfi->variable_count = count;
    pfi->surface_variable_count = pfi->level_variable_count = 0;
    parms.new_entry.assign(size_t(count), 1);
  }

  if (parms.descriptor) {
    bool bad = false;
    struct check {
      int d;
      const char* what;
      const char* intro;
    };
    static const check checks[4] = {
        {3, "Alleged time dimension (from TDEF) is not an SDF dimension.  Cannot continue.\n",
         "Time dimension name is:\n"},
        {2, "Alleged level dimension (from ZDEF) is not an SDF dimension.  Cannot continue.\n",
         "Level dimension name is:\n"},
        {1, "Alleged latitude dimension (from YDEF) is not an SDF dimension.  Cannot continue.\n",
         "Latitude dimension name is:\n"},
        {0, "Alleged longitude dimension (from XDEF) is not an SDF dimension.  Cannot continue.\n",
         "Longitude dimension name is:\n"}};
    for (const check& c : checks) {
      if (by_units[c.d] || !parms.has_dim_name[c.d]) continue;
      if (find_dim(io, parms.dim_names[c.d].c_str()) < 0) {
        kaprnt(msg_level::error, c.what);
        kaprnt(msg_level::error, c.intro);
        kaprnt(msg_level::error, parms.dim_names[c.d]);
        kaprnt(msg_level::error, "\n.\n");
        bad = true;
      }
    }
    if (bad) return 1;
  }

  take_dims();
  bool store[4];
  for (int d = 0; d < 4; d++) store[d] = (d < 2) || cv[d] || (parms.descriptor && !by_units[d]);
  int entry = 0;
  for (var_info& v : io->vars) {
    int slot = -1;
    if (!parms.descriptor || parms.scan_vars) {
      if (!isdvar(v, cv[0], cv[1], cv[2], cv[3], dims[0], dims[1])) continue;
      if (!axes_in_order(v, dims)) {
        refuse_order(v);
        continue;
      }
      if (entry >= pfi->variable_count) continue;
      slot = entry++;
    } else {
      int k;
      if (!findmatch(v.name, parms.nc_names, parms.var_count, &k)) continue;
      for (int i = 0; i < pfi->variable_count; i++)
        if (size_t(k) < parms.display_names.size() &&
            parms.display_names[size_t(k)] == pfi->variables[i].abbrev) {
          slot = i;
          break;
        }
      if (slot < 0) continue;
    }
    variable_descriptor& vd = pfi->variables[slot];
    if (!axes_in_order(v, dims)) {
      refuse_order(v);
      continue;
    }
    store_axes(v, dims, store);
    int k = slot;
    if (parms.descriptor && !parms.scan_vars) findmatch(v.name, parms.nc_names, parms.var_count, &k);
    bool fill = size_t(k) < parms.new_entry.size() && parms.new_entry[size_t(k)] != 0;
    if (fill) {
      if (!parms.descriptor || parms.scan_vars) {
        std::string ab = v.name.substr(0, 15);
        for (char& c : ab) c = char(std::tolower(static_cast<unsigned char>(c)));
        std::memcpy(vd.abbrev, ab.c_str(), ab.size() + 1);
      }
      v.display = vd.abbrev;
      bool has_z = v.axis_pos[kAxisZ] >= 0;
      vd.levels = has_z ? pfi->z_size : 0;
      (has_z ? pfi->level_variable_count : pfi->surface_variable_count)++;
      for (int& u : vd.units) u = -999;
      const netcdf_att* d = find_att(v.atts, "long_name");
      if (!d) d = find_att(v.atts, "title");
      if (d && d->type == NC_CHAR) {
        std::string text = d->text();
        text = text.substr(0, 79);
        std::memcpy(vd.description, text.c_str(), text.size() + 1);
      } else {
        vd.description[0] = '\0';
      }
      vd.offset = 0;
      vd.record = 0;
      vd.data_form = 0;
      vd.time_block = 0;
      vd.multiplier = 0;
      vd.yx_order = 0;
    } else {
      v.display = vd.abbrev;
    }
    kaprntf(msg_level::error, "Found displayable variable %s with %d levels in SDF file.\n", vd.abbrev, vd.levels);
    if (v.type == NC_DOUBLE)
      kaprntf(msg_level::error,
              "SDF:  The double precision values of the variable %s\n"
              "will be automatically converted to single precision.\n",
              vd.abbrev);
    if (!parms.undef_from_file) {
      sdf_store_value(pfi->undef, v.type, v.missing);
      if (parms.undef_given) io->fill_switch = 1;
    } else if (v.type != NC_CHAR) {
      sdf_own_missing(v);
    }
  }

  // A listed variable the file lacks keeps what its record gave, and reads
  // of it fail; say which one at once.
  if (parms.descriptor && !parms.scan_vars)
    for (int k = 0; k < parms.var_count && size_t(k) < parms.nc_names.size(); k++)
      if (!find_var(io, parms.nc_names[size_t(k)].c_str()))
        kaprntf(msg_level::info,
                "XDF variable %s (shown as %s) is not a variable of the netCDF file; it can't be "
                "displayed.\n",
                parms.nc_names[size_t(k)].c_str(), parms.display_names[size_t(k)].c_str());

  if (!parms.descriptor && pfi->template_flag) {
    pfi->t_size = ntsteps;
    std::snprintf(pfi->data_file_name, sizeof pfi->data_file_name, "%s", tmpl.c_str());
    std::vector<int> table = sdf_template_table(tmpl.c_str(), pfi->grid_to_world_scaling[3], ntsteps);
    int* copy = table.empty() ? nullptr
                              : static_cast<int*>(kamalloc(table.size() * sizeof(int),
                                                           "SDFOPEN error:  Memory allocation error.\n"));
    std::memcpy(copy, table.data(), table.size() * sizeof(int));
    kafree(pfi->template_file_numbers);
    pfi->template_file_numbers = copy;
    pfi->open_template_time = 0;
  } else if (parms.descriptor && pfi->template_flag) {
    std::snprintf(pfi->data_file_name, sizeof pfi->data_file_name, "%s", tmpl.c_str());
  }

  io_std* first = nullptr;
  if (!copy_io_std(&first, io)) {
    kaprnt(msg_level::error, "SDF operational error (copy_io_std failed making current first)\n");
    return 1;
  }
  free_io_std(reinterpret_cast<void**>(&pfi->first_template_io));
  pfi->first_template_io = first;
  return 0;
}
