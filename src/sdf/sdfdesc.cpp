// A data set record built from the metadata of one netCDF file, step by
// step: which variables are the coordinates, the X, Y and Z axes, the
// undefined value, the displayable variables and the template table (the
// time axis is built in sdftime.cpp).
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "base/alloc.h"
#include "base/fnmtemplate.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/scaling.h"
#include "base/session.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/netcdf_lib.h"
#include "sdf/sdfint.h"
#include "sdf/units.h"

bool sdf_equal_nocase(const char* a, const char* b) {
  for (; *a && *b; a++, b++)
    if (std::tolower(static_cast<unsigned char>(*a)) !=
        std::tolower(static_cast<unsigned char>(*b)))
      return false;
  return *a == *b;
}

std::string sdf_lowered(std::string text) {
  for (char& c : text) c = char(std::tolower(static_cast<unsigned char>(c)));
  return text;
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
  set_linear_scaling(pfi, dim, start, incr);
  return true;
}

const char* sdf_units_of(const var_info& v) {
  const netcdf_att* u = find_att(v.atts, "units");
  return u && u->type == NC_CHAR ? u->text() : nullptr;
}

namespace {

constexpr double kFloatFill = 9.9692099683868690e36;

// A one-dimensional variable named like its dimension.
bool named_like_its_dim(const io_std* io, const var_info& v) {
  if (v.ndims != 1 || v.dimids.empty()) return false;
  int d = v.dimids[0];
  return d >= 0 && d < io->ndims && io->dim_names[size_t(d)] == v.name;
}

// A coordinate variable with units.
bool is_coordinate(const io_std* io, const var_info& v) {
  return named_like_its_dim(io, v) && sdf_units_of(v) != nullptr;
}

bool starts(const char* s, const char* prefix) {
  return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

var_info* find_by_units(io_std* io, bool (*test)(const char*)) {
  for (var_info& v : io->vars)
    if (is_coordinate(io, v) && test(sdf_units_of(v))) return &v;
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
    const std::string low = sdf_lowered(sdf_units_of(v));
    for (const char* n : names)
      if (low == n) {
        *var = &v;
        return 1;
      }
    ud_unit u;
    if (u.scan(sdf_units_of(v)) != 0) continue;
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

// An explicit list of levels holds at most this many values: a longer
// coordinate is held only when evenly spaced.
constexpr long kMaxLevels = 100000000;

// A list of n levels can be made; else false after the message.
bool levels_fit(long n) {
  if (n >= 1 && n <= kMaxLevels) return true;
  kaprnt(msg_level::error, "Failure setting up coordinate levels in SDF file.\n");
  return false;
}

// Explicit coordinate values of dimension dim from the values held in var.
int sdfdeflev(file_descriptor* pfi, var_info* var, int dim, int reverse) {
  int size = nc_type_size(var->type);
  long n = size ? long(var->data.size() / size_t(size)) : 0;
  if (!levels_fit(n)) return 1;
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
  set_level_scaling(pfi, dim, a);
  return 0;
}

// The values of a coordinate already read are all fills.
bool holds_only_fill(const var_info& v) {
  int size = nc_type_size(v.type);
  if (!size || v.data.empty()) return false;
  const sdf_fills is_fill(v);
  for (long i = 0; i < long(v.data.size() / size_t(size)); i++) {
    double x;
    if (!value_as_double(v.data.data(), v.type, i, &x) || !is_fill(x)) return false;
  }
  return true;
}

// Values of one read of a coordinate: a long one is read in slices, so that
// memory stays small and the user can stop it between them. A slice read a
// value at a time (a record variable whose records are long) takes about a
// tenth of a second.
constexpr long kSliceValues = 1L << 16;

using slices = sdf_slices;

// False after the message when the read of the coordinate of axis failed or
// was interrupted.
bool read_went_on(slices r, const char* axis) {
  if (r == slices::interrupted) {
    sdf_read_interrupted(axis);
    return false;
  }
  if (r == slices::failed) {
    kaprntf(msg_level::error, "Failure checking %s coordinate of SDF file.\n", axis);
    return false;
  }
  return true;
}

// Reads the values of the coordinate of axis X, Y or Z: all of them when
// they may become a list of levels, else only the first two (the rest is
// judged as it is read again, see long_trydeflin). False after the message
// when there are none, all are fills, or the read was interrupted.
bool read_coordinate(io_std* io, var_info* v, const char* axis) {
  const long n = io->dim_size(v->dimids[0]);
  const size_t size = size_t(nc_type_size(v->type));
  if (n < 1 || !size) return read_went_on(slices::failed, axis);
  bool all_fill = true;
  if (n <= kMaxLevels) {
    std::vector<unsigned char> all;
    all.reserve(size_t(n) * size);
    slices r = sdf_read_slices(io, v, n, false, [&](long) {
      all.insert(all.end(), v->data.begin(), v->data.end());
      return true;
    });
    if (!read_went_on(r, axis)) return false;
    v->data.swap(all);
    all_fill = holds_only_fill(*v);
  } else {
    slices r = sdf_scan_fills(io, v, n);
    if (!read_went_on(r, axis)) return false;
    all_fill = r == slices::done;
    long start = 0, count = 2;
    if (!all_fill && !read_variable_data(io->ncid, v, &start, &count))
      return read_went_on(slices::failed, axis);
  }
  if (all_fill) {
    kaprntf(msg_level::error, "SDF:  The %s coordinate of SDF file holds only fill values.\n",
            axis);
    return false;
  }
  return true;
}

// trydeflin for a coordinate too long for a list of levels: read again a
// slice at a time (in the order of the axis) and given up at the first value
// off the even step. 1 (the linear scaling set), 0 not evenly spaced, -1
// after the message of a value that is no float or of a failed or
// interrupted read (*read_failed then set).
int long_trydeflin(file_descriptor* pfi, const io_std* io, var_info* v, int dim, int wrap,
                   int reverse, const char* axis, bool* read_failed) {
  const long n = io->dim_size(v->dimids[0]);
  linear_probe probe(wrap != 0);
  bool bad = false;
  slices r = sdf_read_slices(io, v, n, reverse != 0, [&](long count) {
    for (long k = 0; k < count; k++) {
      double x;
      if (!coordinate_value(v->data.data(), v->type, reverse ? count - 1 - k : k, &x)) {
        bad = true;
        return false;
      }
      if (!probe.add(x)) return false;
    }
    return true;
  });
  // The values are not kept: the slice goes.
  std::vector<unsigned char>().swap(v->data);
  *read_failed = !read_went_on(r, axis);
  if (*read_failed) return -1;
  if (bad) {
    kaprnt(msg_level::error, "Couldn't convert coordinate value to float.\n");
    return -1;
  }
  return probe.even() ? deflin_probe(pfi, dim, wrap, probe) : 0;
}

// trydeflin of the coordinate of the axis, however long.
int axis_trydeflin(file_descriptor* pfi, const io_std* io, var_info* v, int dim, int wrap,
                   int reverse, const char* axis, bool* read_failed) {
  *read_failed = false;
  if (io->dim_size(v->dimids[0]) > kMaxLevels)
    return long_trydeflin(pfi, io, v, dim, wrap, reverse, axis, read_failed);
  return trydeflin(pfi, v, dim, wrap, reverse);
}

// The first (and second) value of a coordinate already read.
bool first_two(const var_info* v, double* a, double* b, bool* two) {
  *two = false;
  if (!sdf_coord_value(v, 0, a)) return false;
  if (sdf_coord_value(v, 1, b)) *two = true;
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

// What is said of a variable sdfopen leaves out or can't read, and after
// all of them once, the way to it.
enum left_out : unsigned { kOtherGrid = 1, kNameTaken = 2, kStoredType = 4, kOtherOrder = 8 };

// The names of the variable's dimensions, "a, b".
std::string dimension_list(const io_std* io, const var_info& v) {
  std::string text;
  for (int d : v.dimids) {
    if (!text.empty()) text += ", ";
    if (d >= 0 && d < io->ndims) text += io->dim_names[size_t(d)];
  }
  return text;
}

// A variable of two or more dimensions, one of them a longitude or latitude
// other than the data set's, lies on another grid.
bool on_another_grid(io_std* io, const var_info& v) {
  if (v.ndims < 2 || named_like_its_dim(io, v)) return false;
  for (int d : v.dimids) {
    if (d < 0 || d >= io->ndims) continue;
    const var_info* c = find_var(io, io->dim_names[size_t(d)].c_str());
    if (c && is_coordinate(io, *c) && (x_units(sdf_units_of(*c)) || y_units(sdf_units_of(*c))))
      return true;
  }
  return false;
}

// What a variable's values are stored as, in netCDF's words.
std::string stored_type(const var_info& v) {
  static const struct {
    nc_type type;
    const char* name;
  } names[] = {{NC_BYTE, "byte"},   {NC_CHAR, "char"},     {NC_SHORT, "short"},
               {NC_INT, "int"},     {NC_FLOAT, "float"},   {NC_DOUBLE, "double"},
               {NC_UBYTE, "ubyte"}, {NC_USHORT, "ushort"}, {NC_UINT, "uint"},
               {NC_INT64, "int64"}, {NC_UINT64, "uint64"}};
  std::string name = "type " + std::to_string(int(v.type));
  for (const auto& n : names)
    if (n.type == v.type) name = n.name;
  const bool packs = v.type == NC_SHORT || v.type == NC_FLOAT || v.type == NC_DOUBLE;
  return packs ? "packed " + name : name;
}

// The ways to what was left out, in the README's words, one line each.
// dims: the data set's dimensions, x, y, z, t.
void say_ways(const io_std* io, const int dims[4], unsigned said) {
  std::string order;
  for (int a = 3; a >= 0; a--)
    if (dims[a] >= 0 && dims[a] < io->ndims)
      order += (order.empty() ? "" : ",") + io->dim_names[size_t(dims[a])];
  const std::string reorder =
      "  Store its dimensions in that order first: ncpdq -a " + order + " in.nc out.nc\n";
  const struct {
    unsigned what;
    const char* text;
  } ways[] = {
      {kOtherGrid,
       "  A variable on another grid opens with xdfopen: a descriptor whose xdef and ydef "
       "name its dimensions.\n"},
      {kNameTaken,
       "  A variable whose name is taken opens with xdfopen: a descriptor whose vars record "
       "gives it a name of its own (NETCDFNAME=>NAME).\n"},
      {kStoredType, sdf_convert_way},
      {kOtherOrder, reorder.c_str()},
  };
  for (const auto& w : ways)
    if (said & w.what) kaprnt(msg_level::error, w.text);
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

// True when v is a fill of the variable: its missing_value or _FillValue,
// or the default fill of its type.
bool sdf_is_fill(const var_info& v, double x) { return sdf_fills(v)(x); }

sdf_fills::sdf_fills(const var_info& v) : as_float_(v.type == NC_FLOAT) {
  for (const char* name : {"missing_value", "_FillValue"}) {
    const netcdf_att* a = find_att(v.atts, name);
    if (a && a->number(0, &fill_[count_])) count_++;
  }
  fill_[count_++] = sdf_default_fill(v.type);
}

bool sdf_fills::operator()(double x) const {
  for (int i = 0; i < count_; i++)
    if (as_float_ ? float(fill_[i]) == float(x) : fill_[i] == x) return true;
  return false;
}

sdf_slices sdf_read_slices(const io_std* io, var_info* v, long n, bool reverse,
                           const std::function<bool(long)>& take) {
  const slice_handle handle(io, *v);
  for (long done = 0; done < n; done += kSliceValues) {
    if (kaqsig()) return sdf_slices::interrupted;
    long count = std::min(kSliceValues, n - done);
    long start = reverse ? n - done - count : done;
    if (!read_variable_data(handle.ncid(), v, &start, &count)) return sdf_slices::failed;
    if (!take(count)) return sdf_slices::stopped;
  }
  return sdf_slices::done;
}

sdf_slices sdf_scan_fills(const io_std* io, var_info* v, long n) {
  const sdf_fills is_fill(*v);
  return sdf_read_slices(io, v, n, false, [&](long count) {
    for (long i = 0; i < count; i++) {
      double x;
      if (!value_as_double(v->data.data(), v->type, i, &x) || !is_fill(x)) return false;
    }
    return true;
  });
}

void sdf_read_interrupted(const char* axis) {
  kaprntf(msg_level::error, "SDF:  Interrupted while the %s coordinate of SDF file was read.\n",
          axis);
}

bool sdf_coord_value(const var_info* v, long i, double* out) {
  int size = nc_type_size(v->type);
  if (!size || size_t(i + 1) * size_t(size) > v->data.size()) return false;
  return value_as_double(v->data.data(), v->type, i, out) && std::isfinite(*out);
}

double sdf_default_fill(nc_type type) {
  switch (type) {
    case NC_BYTE: return -127;
    case NC_SHORT: return -32767;
    case NC_INT: return -2147483647;
    case NC_UBYTE: return NC_FILL_UBYTE;
    case NC_USHORT: return NC_FILL_USHORT;
    case NC_UINT: return NC_FILL_UINT;
    case NC_INT64: return double(NC_FILL_INT64);
    case NC_UINT64: return double(NC_FILL_UINT64);
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
      auto f =
          static_cast<float>(fits(-3.4028234663852886e38, 3.4028234663852886e38) ? v : kFloatFill);
      std::memcpy(out, &f, 4);
      break;
    }
    case NC_DOUBLE: std::memcpy(out, &v, 8); break;
    default: break;
  }
}

void doparms4sdf(sdf_parms* parms) { *parms = sdf_parms{}; }

bool sdf_template_table(file_descriptor* pfi, const char* tmpl, int ntsteps, const char* prefix,
                        const char* no_memory) {
  kafree(pfi->template_file_numbers);
  pfi->template_file_numbers = nullptr;
  if (ntsteps < 1) return true;
  int* table = kamalloc_n<int>(size_t(ntsteps), no_memory);
  pfi->template_file_numbers = table;
  switch (fill_template_table(table, ntsteps, tmpl, pfi->grid_to_world_scaling[3], 0, prefix)) {
    case template_fill::interrupted: return false;
    case template_fill::no_name:
      kafree(table);
      pfi->template_file_numbers = nullptr;
      break;
    case template_fill::done: break;
  }
  return true;
}

namespace {

// What the steps of kadsdf share: the record being filled, the metadata,
// the options, and the coordinates found (x, y, z, t).
struct sdf_build {
  file_descriptor* pfi;
  io_std* io;
  sdf_parms& parms;
  var_info* cv[4] = {};
  bool by_units[4] = {};  // the axis was found by its units
  int dims[4] = {-1, -1, -1, -1};
  const var_info* first_data = nullptr;
  int count = 0;  // data variables

  // Dimension ids of the axes: of the coordinate when found by units (or
  // always for sdfopen), else of the descriptor's name.
  void take_dims() {
    for (int d = 0; d < 4; d++) {
      if (!parms.descriptor || by_units[d])
        dims[d] = cv[d] ? find_dim(io, cv[d]->name.c_str()) : -1;
      else
        dims[d] = parms.has_dim_name[d] ? find_dim(io, parms.dim_names[d].c_str()) : -1;
    }
  }
  bool is_data(const var_info& v) const {
    return isdvar(v, cv[0], cv[1], cv[2], cv[3], dims[0], dims[1]) && axes_in_order(v, dims);
  }
};

// The named coordinate of a descriptor; false after the message.
bool named_coordinate(sdf_build& b, int d) {
  static const char* const none_xdf[4] = {"XDF file has no coordinate variable for X dimension.\n",
                                          "XDF file has no coordinate variable for Y dimension.\n",
                                          "XDF file has no coordinate variable for Z dimension.\n",
                                          "XDF file has no coordinate variable for T dimension.\n"};
  b.cv[d] = find_var(b.io, b.parms.dim_names[d].c_str());
  if (!b.cv[d] || b.cv[d]->ndims != 1) {
    kaprnt(msg_level::error, none_xdf[d]);
    return false;
  }
  return true;
}

// The coordinate variables, by units or by the descriptor's names, in the
// order x, y, t, z; false after the message.
bool find_coordinates(sdf_build& b) {
  const sdf_parms& parms = b.parms;
  static const char* const none_sdf[2] = {"SDF file has no discernable X coordinate.\n",
                                          "SDF file has no discernable Y coordinate.\n"};
  for (int d = 0; d < 2; d++) {
    if (parms.find[d]) {
      if (!(d == 0 ? findX(b.io, &b.cv[d]) : findY(b.io, &b.cv[d]))) {
        kaprnt(msg_level::error, none_sdf[d]);
        return false;
      }
      b.by_units[d] = true;
    } else if (parms.wanted[d] && !named_coordinate(b, d)) {
      return false;
    }
  }
  if (parms.find[3]) {
    if (!findT(b.io, &b.cv[3]))
      kaprnt(msg_level::error, "SDF file has no discernable time coordinate.\n");
    b.by_units[3] = true;
  } else if (parms.wanted[3]) {
    if (!parms.has_dim_name[3]) {
      kaprnt(msg_level::error, "XDF file has no time dimension, but TDEF is incomplete.\n");
      kaprnt(msg_level::error, "Failure parsing XDF-style data descriptor file (DDF).\n");
      return false;
    }
    if (!named_coordinate(b, 3)) return false;
  }
  if (parms.find[2]) {
    // None found (or no reference units) means no Z axis.
    findZ(b.io, &b.cv[2]);
    b.by_units[2] = true;
  } else if (parms.wanted[2] && !named_coordinate(b, 2)) {
    return false;
  }
  return true;
}

// The data variables: counted when scanning, and the first of them (whose
// missing value is the data set's undefined value); false after the message.
bool find_data_variables(sdf_build& b) {
  sdf_parms& parms = b.parms;
  if (parms.scan_vars) {
    for (const var_info& v : b.io->vars)
      if (b.is_data(v)) b.count++;
    if (b.count == 0) {
      kaprnt(msg_level::error,
             "SDF file doesn't appear to have any non-coordinate variables.  Yikes!\n");
      return false;
    }
    kaprntf(msg_level::error, "Found %d data variables in SDF file.\n", b.count);
    parms.var_count = b.count;
  } else {
    b.count = parms.var_count;
  }
  for (const var_info& v : b.io->vars) {
    bool data =
        parms.scan_vars ? b.is_data(v) : (!parms.nc_names.empty() && v.name == parms.nc_names[0]);
    if (data) {
      b.first_data = &v;
      break;
    }
  }
  return true;
}

// The length of the dimension of an axis's coordinate as the grid's size
// of that axis; false after the message when a grid can't hold it (a
// CDF-5 dimension may be longer).
bool axis_size(const sdf_build& b, const var_info* v, const char* axis, int* size) {
  const long n = b.io->dim_size(v->dimids[0]);
  if (n > std::numeric_limits<int>::max()) {
    kaprntf(msg_level::error,
            "SDF:  The %s dimension %s has %ld points, more than a grid can hold.\n", axis,
            b.io->dim_names[size_t(v->dimids[0])].c_str(), n);
    return false;
  }
  *size = int(n);
  return true;
}

// X from its coordinate: linear when evenly spaced (steps across the date
// line count +360), else levels; false after the message.
bool x_axis(sdf_build& b) {
  file_descriptor* pfi = b.pfi;
  var_info* xv = b.cv[0];
  if (!axis_size(b, xv, "X", &pfi->x_size)) return false;
  if (!read_coordinate(b.io, xv, "X")) return false;
  bool read_failed = false;
  int r = axis_trydeflin(pfi, b.io, xv, 0, 1, 0, "X", &read_failed);
  if (read_failed) return false;
  if (r < 0) {
    kaprnt(msg_level::error, "Error evaluating X coordinate of SDF file.\n");
    return false;
  }
  if (r == 0 && (!levels_fit(pfi->x_size) || sdfdeflev(pfi, xv, 0, 0))) {
    kaprnt(msg_level::error, "Failure defining X levels for SDF file.\n");
    return false;
  }
  return true;
}

// Y likewise, reversed when stored north to south; false after the message.
bool y_axis(sdf_build& b) {
  file_descriptor* pfi = b.pfi;
  var_info* yv = b.cv[1];
  if (!axis_size(b, yv, "Y", &pfi->y_size)) return false;
  double a = 0, c = 0;
  bool two = false;
  if (!read_coordinate(b.io, yv, "Y")) return false;
  if (!first_two(yv, &a, &c, &two)) {
    kaprnt(msg_level::error, "Failure interpreting first Y coordinate value of SDF file.\n");
    return false;
  }
  pfi->yrev = two && float(c) < float(a) ? 1 : 0;
  bool read_failed = false;
  int r = axis_trydeflin(pfi, b.io, yv, 1, 0, pfi->yrev, "Y", &read_failed);
  if (read_failed) return false;
  if (r < 0) {
    kaprnt(msg_level::error, "Error evaluating Y coordinate of SDF file.\n");
    return false;
  }
  if (r == 0 && (!levels_fit(pfi->y_size) || sdfdeflev(pfi, yv, 1, pfi->yrev))) {
    kaprnt(msg_level::error, "Failure defining levels for Y coordinate for SDF file.\n");
    return false;
  }
  return true;
}

// The title and the undefined value with its tolerance band.
void title_and_undef(sdf_build& b) {
  file_descriptor* pfi = b.pfi;
  if (b.parms.title_from_file) {
    const netcdf_att* t = find_att(b.io->gatts, "title");
    if (t && t->type == NC_CHAR) getstr(pfi->title, t->text(), 511);
  }
  if (b.parms.undef_from_file) {
    double u = kFloatFill;
    const netcdf_att* a = nullptr;
    if (b.first_data) {
      a = find_att(b.first_data->atts, "missing_value");
      if (!a) a = find_att(b.first_data->atts, "_FillValue");
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
  float d = std::fabs(pfi->undef / 100000.0f);
  pfi->undef_low = pfi->undef - d;
  pfi->undef_high = pfi->undef + d;
}

// Z: one level 0 without a coordinate, one level at its value with one,
// else the levels as stored (ordered by the "positive" attribute); false
// after the message.
bool z_axis(sdf_build& b) {
  file_descriptor* pfi = b.pfi;
  var_info* zv = b.cv[2];
  if (!zv) {
    pfi->z_size = 1;
    if (!sdf_set_linear(pfi, 2, 0.0f, 0.0f)) {
      kaprnt(msg_level::error, "Error evaluating fixed Z coordinate in SDF file.\n");
      return false;
    }
    // Every level is the value 0, and the value 0 is level 1.
    float* s = pfi->grid_to_world_scaling[2];
    s[0] = 0;
    s[1] = 0;
    s[3] = 1;
    s[4] = 1;
    return true;
  }
  if (!axis_size(b, zv, "Z", &pfi->z_size)) return false;
  double a = 0, c = 0;
  bool two = false;
  if (!read_coordinate(b.io, zv, "Z")) return false;
  if (!first_two(zv, &a, &c, &two)) {
    kaprnt(msg_level::error, "Failure interpreting first Z coordinate value of SDF file.\n");
    return false;
  }
  if (!two) {
    if (!sdf_set_linear(pfi, 2, float(a), 1.0f)) {
      kaprnt(msg_level::error, "Error evaluating solo Z coordinate in SDF file.\n");
      return false;
    }
    return true;
  }
  if (const netcdf_att* pos = find_att(zv->atts, "positive"); pos && pos->type == NC_CHAR) {
    if (starts(pos->text(), "down"))
      pfi->zrev = c > a ? 1 : 0;
    else
      pfi->zrev = c > a ? 0 : 1;
  }
  if (!levels_fit(pfi->z_size) || sdfdeflev(pfi, zv, 2, pfi->zrev)) {
    kaprnt(msg_level::error, "Couldn't define Z-axis usinng LEVELS method.\n");
    return false;
  }
  return true;
}

// The descriptor's dimensions that were not found by units must be
// dimensions of the file, no shorter than the size the descriptor gives
// them (a read past the end would fail whole); every one that does not fit
// is named, then false. The unlimited dimension may hold fewer times than
// the descriptor names: a file still being written grows along it.
bool check_named_dimensions(const sdf_build& b) {
  struct check {
    int d;
    const char* what;
    const char* intro;
    const char* record;
  };
  static const check checks[4] = {
      {3, "Alleged time dimension (from TDEF) is not an SDF dimension.  Cannot continue.\n",
       "Time dimension name is:\n", "TDEF"},
      {2, "Alleged level dimension (from ZDEF) is not an SDF dimension.  Cannot continue.\n",
       "Level dimension name is:\n", "ZDEF"},
      {1, "Alleged latitude dimension (from YDEF) is not an SDF dimension.  Cannot continue.\n",
       "Latitude dimension name is:\n", "YDEF"},
      {0, "Alleged longitude dimension (from XDEF) is not an SDF dimension.  Cannot continue.\n",
       "Longitude dimension name is:\n", "XDEF"}};
  const file_descriptor* pfi = b.pfi;
  const int sizes[4] = {pfi->x_size, pfi->y_size, pfi->z_size, pfi->t_size};
  bool bad = false;
  for (const check& c : checks) {
    if (b.by_units[c.d] || !b.parms.has_dim_name[c.d]) continue;
    const std::string& name = b.parms.dim_names[c.d];
    const int id = find_dim(b.io, name.c_str());
    if (id < 0) {
      kaprnt(msg_level::error, c.what);
      kaprnt(msg_level::error, c.intro);
      kaprnt(msg_level::error, name);
      kaprnt(msg_level::error, "\n.\n");
      bad = true;
      continue;
    }
    // A template's time count is that of the whole series, not of one file.
    const bool sized = !b.parms.wanted[c.d] && !(c.d == 3 && pfi->template_flag) &&
                       !(c.d == 3 && id == b.io->recdim);
    const long length = b.io->dim_size(id);
    if (sized && sizes[c.d] > length) {
      kaprntf(msg_level::error,
              "XDFopen Error:  %s size %d is larger than SDF dimension %s of size %ld\n", c.record,
              sizes[c.d], name.c_str(), length);
      bad = true;
    }
  }
  return !bad;
}

// The variable_descriptor of a variable described from the file.
void describe_from_file(sdf_build& b, var_info& v, variable_descriptor& vd) {
  file_descriptor* pfi = b.pfi;
  if (!b.parms.descriptor || b.parms.scan_vars) {
    const std::string ab = sdf_lowered(v.name.substr(0, 15));
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
}

// The displayable variables: their axes, their variable_descriptor (when
// the descriptor left it to the file) and their missing values.
void describe_variables(sdf_build& b) {
  file_descriptor* pfi = b.pfi;
  const sdf_parms& parms = b.parms;
  bool store[4];
  for (int d = 0; d < 4; d++) store[d] = (d < 2) || b.cv[d] || (parms.descriptor && !b.by_units[d]);
  int entry = 0;
  const bool scanning = !parms.descriptor || parms.scan_vars;
  unsigned said = 0;
  for (var_info& v : b.io->vars) {
    int slot = -1;
    if (scanning) {
      if (!isdvar(v, b.cv[0], b.cv[1], b.cv[2], b.cv[3], b.dims[0], b.dims[1])) {
        if (on_another_grid(b.io, v)) {
          kaprntf(msg_level::error,
                  "SDF:  variable %s lies on another grid (%s); it can't be displayed.\n",
                  v.name.c_str(), dimension_list(b.io, v).c_str());
          said |= kOtherGrid;
        }
        continue;
      }
      if (!axes_in_order(v, b.dims)) {
        refuse_order(v);
        said |= kOtherOrder;
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
    if (!axes_in_order(v, b.dims)) {
      refuse_order(v);
      continue;
    }
    store_axes(v, b.dims, store);
    int k = slot;
    if (parms.descriptor && !parms.scan_vars)
      findmatch(v.name, parms.nc_names, parms.var_count, &k);
    bool fill = size_t(k) < parms.new_entry.size() && parms.new_entry[size_t(k)] != 0;
    if (fill)
      describe_from_file(b, v, vd);
    else
      v.display = vd.abbrev;
    kaprntf(msg_level::error, "Found displayable variable %s with %d levels in SDF file.\n",
            vd.abbrev, vd.levels);
    if (v.type == NC_DOUBLE)
      kaprntf(msg_level::error,
              "SDF:  The double precision values of the variable %s\n"
              "will be automatically converted to single precision.\n",
              vd.abbrev);
    if (!parms.undef_from_file) {
      sdf_store_value(pfi->undef, v.type, v.missing);
      if (parms.undef_given) b.io->fill_switch = 1;
    } else if (v.type != NC_CHAR) {
      sdf_own_missing(v);
    }
    if (!scanning) continue;
    for (const var_info& w : b.io->vars) {
      if (&w == &v) break;
      if (w.display != v.display) continue;
      kaprntf(msg_level::error,
              "SDF:  variable %s is shown as %s like variable %s before it; only %s can be "
              "displayed.\n",
              v.name.c_str(), vd.abbrev, w.name.c_str(), w.name.c_str());
      said |= kNameTaken;
      break;
    }
    if (sdf_packing_of(&v).refusal) {
      kaprntf(msg_level::error, "SDF:  variable %s is stored as %s, which is not read.\n",
              v.name.c_str(), stored_type(v).c_str());
      said |= kStoredType;
    }
  }
  if (scanning) say_ways(b.io, b.dims, said);
  // A listed variable the file lacks keeps what its record gave, and reads
  // of it fail; say which one at once.
  if (parms.descriptor && !parms.scan_vars)
    for (int k = 0; k < parms.var_count && size_t(k) < parms.nc_names.size(); k++)
      if (!find_var(b.io, parms.nc_names[size_t(k)].c_str()))
        kaprntf(msg_level::info,
                "XDF variable %s (shown as %s) is not a variable of the netCDF file; it can't be "
                "displayed.\n",
                parms.nc_names[size_t(k)].c_str(), parms.display_names[size_t(k)].c_str());
}

// The per-time table of a template series opened by sdfopen; false after
// the message when the user interrupted it.
bool template_series(file_descriptor* pfi, const std::string& tmpl, int ntsteps) {
  pfi->t_size = ntsteps;
  std::snprintf(pfi->data_file_name, sizeof pfi->data_file_name, "%s", tmpl.c_str());
  static const char kNoMemory[] = "SDFOPEN error:  Memory allocation error.\n";
  // The file names are strings too: their failure is the table's.
  try {
    if (!sdf_template_table(pfi, tmpl.c_str(), ntsteps, "SDFOPEN error:  ", kNoMemory))
      return false;
  } catch (const std::bad_alloc&) {
    throw alloc_error(kNoMemory);
  }
  pfi->open_template_time = 0;
  return true;
}

}  // namespace

int kadsdf(const char* name, file_descriptor* pfi, const std::string& tmpl, int ntsteps,
           sdf_parms& parms) {
  netcdf_options() = NC_VERBOSE;
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

  sdf_build b{pfi, io, parms};
  if (!find_coordinates(b)) return 1;
  b.take_dims();
  if (!find_data_variables(b)) return 1;

  if (!parms.descriptor) getwrd(pfi->descriptor_name, word, 4095);
  getwrd(pfi->data_file_name, word, 4095);
  pfi->second_stream = nullptr;

  if (parms.wanted[0] && !x_axis(b)) return 1;
  if (parms.wanted[1] && !y_axis(b)) return 1;
  if (parms.wanted[2] && b.cv[2]) pfi->zrev = 0;
  title_and_undef(b);
  if (parms.wanted[2] && !z_axis(b)) return 1;
  if (parms.wanted[3] && !sdf_time_axis(pfi, io, b.cv[3])) return 1;

  if (parms.scan_vars) {
    kafree(pfi->variables);
    pfi->variables = static_cast<variable_descriptor*>(
        kacalloc(size_t(b.count), sizeof(variable_descriptor), "Memory allocation error.\n"));
    pfi->variable_count = b.count;
    pfi->surface_variable_count = pfi->level_variable_count = 0;
    parms.new_entry.assign(size_t(b.count), 1);
  }
  if (parms.descriptor && !check_named_dimensions(b)) return 1;
  b.take_dims();
  describe_variables(b);

  if (!parms.descriptor && pfi->template_flag) {
    // The step of the series is that of the first file's times: with one
    // time it has none, and the times after it could not be found.
    if (pfi->t_size == 1 && ntsteps > 1) {
      kaprnt(msg_level::error,
             "SDFOPEN error:  The first file of the template series holds one time, so the time "
             "step of the series is unknown.\n"
             "  Open the series with xdfopen: a descriptor with \"options template\" and a "
             "\"tdef\" line that gives the step.\n");
      return 1;
    }
    if (!template_series(pfi, tmpl, ntsteps)) return 1;
  } else if (parms.descriptor && pfi->template_flag)
    std::snprintf(pfi->data_file_name, sizeof pfi->data_file_name, "%s", tmpl.c_str());

  io_std* first = nullptr;
  if (!copy_io_std(&first, io)) {
    kaprnt(msg_level::error, "SDF operational error (copy_io_std failed making current first)\n");
    return 1;
  }
  free_io_std(reinterpret_cast<void**>(&pfi->first_template_io));
  pfi->first_template_io = first;
  return 0;
}
