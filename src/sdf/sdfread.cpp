// Grids of a self-describing data set: the requested block is clipped to the
// file, read from the netCDF variable (across the files of a template series
// and across the longitude wrap), unpacked, masked and placed in the request.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/alloc.h"
#include "base/message.h"
#include "base/session.h"
#include "base/wide.h"
#include "data/filerec.h"
#include "data/result.h"
#include "data/reader.h"
#include "sdf/ncmeta.h"
#include "sdf/sdf.h"
#include "sdf/sdfint.h"

var_info* sdf_find_display(io_std* io, const char* abbrev) {
  if (!io) return nullptr;
  for (var_info& v : io->vars)
    if (!v.display.empty() && sdf_equal_nocase(v.display.c_str(), abbrev)) return &v;
  return nullptr;
}

bool sdf_give_back_buffers(const var_info* keep) {
  bool gave = false;
  for (file_descriptor* f = gcmn ? gcmn->file_list : nullptr; f; f = f->next) {
    if (f->reader != &netcdf_reader) continue;
    for (void* p : {f->sdf_io, f->first_template_io}) {
      if (!p) continue;
      for (var_info& w : static_cast<io_std*>(p)->vars) {
        if (&w == keep || !w.data.capacity()) continue;
        std::vector<unsigned char>().swap(w.data);
        gave = true;
      }
    }
  }
  return gave;
}

sdf_packing sdf_packing_of(const var_info* v) {
  sdf_packing p;
  nc_type var_type = NC_NAT;
  p.packed = are_data_packed(v, &p.scale, &p.offset, &p.att_type, &var_type) != 0;
  if (var_type != NC_FLOAT && var_type != NC_DOUBLE) p.packed = true;
  if (p.packed && var_type != NC_SHORT)
    p.refusal = sdf_refused_packing;
  else if (p.packed && p.att_type != NC_SHORT && p.att_type != NC_INT && p.att_type != NC_FLOAT &&
           p.att_type != NC_DOUBLE)
    p.refusal = "SDF data variable has unsupported unpacked data type.\n";
  return p;
}

namespace {

constexpr double kFloatFill = 9.9692099683868690e36;

// The most of the variable's buffer one read takes (or one time's slab).
constexpr long kSlabBytes = 1L << 20;

// How the stored values of one variable in one file become grid values.
struct decoder {
  bool packed = false;
  float scale = 1, offset = 0;
  double miss1 = 0;
  bool has_miss2 = false;
  double miss2 = 0;
  double miss3 = 0;  // the descriptor's undefined value, else miss1 again
  float undef = 0;
};

bool attribute_value(const var_info* v, const char* name, double* out) {
  const netcdf_att* a = find_att(v->atts, name);
  return a && a->number(0, out);
}

// Packing and missing values of the variable as stored in the file now open;
// null, or the message of a type that can't be read.
const char* decoder_rules(const io_std* io, const var_info* v, const file_descriptor* pfi,
                          float undef, decoder* d) {
  d->undef = undef;
  const sdf_packing p = sdf_packing_of(v);
  if (p.refusal) return p.refusal;
  const nc_type var_type = v->type;
  d->packed = p.packed;
  d->scale = float(p.scale);
  d->offset = float(p.offset);
  // The fill of the stored type when the file names none.
  const double type_fill = var_type == NC_SHORT ? -32767.0 : kFloatFill;
  // Each attribute is taken by its own type: a float _FillValue on short
  // data marks the stored short of that value.
  double mv = 0, fv = 0;
  bool has_mv = attribute_value(v, "missing_value", &mv);
  bool has_fv = attribute_value(v, "_FillValue", &fv);
  // A NaN missing value names the NaN points, which are missing as they
  // are; nothing compares equal to NaN, so it is held as an infinity, which
  // no stored value of data lies near.
  for (double* m : {&mv, &fv})
    if (std::isnan(*m)) *m = std::numeric_limits<double>::infinity();
  if (has_mv) {
    d->miss1 = mv;
    d->has_miss2 = true;
    d->miss2 = has_fv ? fv : type_fill;
  } else {
    d->miss1 = has_fv ? fv : type_fill;
  }
  // With an undefined value from a descriptor, that value marks missing data
  // as well as the variable's own attributes.
  d->miss3 = io->fill_switch ? double(pfi->undef) : d->miss1;
  return nullptr;
}

// The same, saying why a type can't be read: 0, or 6.
int make_decoder(const io_std* io, const var_info* v, const file_descriptor* pfi, float undef,
                 decoder* d) {
  if (const char* refused = decoder_rules(io, v, pfi, undef, d)) {
    kaprnt(msg_level::error, refused);
    if (refused == sdf_refused_packing) kaprnt(msg_level::error, sdf_convert_way);
    return 6;
  }
  return 0;
}

// The block of one read: the slab as stored (rows and levels possibly
// reversed, x possibly the whole circle) converted into ascending grid order.
struct slab_shape {
  long sx, sy, sz;  // extents of the slab read
  long bx, by, bz;  // extents of the block written
  bool yrev, zrev;
  bool whole_rows;  // the slab holds whole rows: block column 1 is column x0 and the rest go round
  long x0;          // as a column of the data set (x_column)
  long turn;        // columns of a turn
};

// A stored float or double lies on a missing value within this band: 1e-5,
// narrowed to 1e-5 of the missing value's size below 1 (exact at 0), so that
// small values beside a small missing value stay.
template <class T>
T missing_band(T m) {
  return std::min(T(1e-5), T(1e-5) * std::fabs(m));
}

// A stored value to a grid value: missing values (exact for shorts, within
// their band for floats and doubles, and anything not a finite float) become
// the undefined value.
struct convert_short {
  short m1, m2, m3;
  bool in_range1, in_range2, in_range3;
  float scale, offset, undef;
  float operator()(short r) const {
    return ((in_range1 && r == m1) || (in_range2 && r == m2) || (in_range3 && r == m3))
               ? undef
               : float(r) * scale + offset;
  }
};
struct convert_float {
  float m1, m2, m3, undef;
  float b1 = missing_band(m1), b2 = missing_band(m2), b3 = missing_band(m3);
  float operator()(float r) const {
    // NaN fails the comparisons and so counts as missing.
    bool keep = std::fabs(r - m1) > b1 && std::fabs(r - m2) > b2 && std::fabs(r - m3) > b3 &&
                std::fabs(r) <= std::numeric_limits<float>::max();
    return keep ? r : undef;
  }
};
struct convert_double {
  double m1, m2, m3;
  float undef;
  double b1 = missing_band(m1), b2 = missing_band(m2), b3 = missing_band(m3);
  float operator()(double r) const {
    // Tests joined without branches, so that whole rows vectorise.
    bool keep = (std::fabs(r - m1) > b1) & (std::fabs(r - m2) > b2) & (std::fabs(r - m3) > b3) &
                (std::fabs(r) <= double(std::numeric_limits<float>::max()));
    return keep ? float(r) : undef;
  }
};

// Whole rows of floats and shorts go eight values at a time; the lanes give
// the same values as the one-by-one conversions above.
// K distinct missing values are tested (a repeated one once).
template <int K>
VEMRA_WIDE void float_row_k(const float* in, float* out, long n, const convert_float& c) {
  long x = 0;
  const float8 m1 = c.m1 - float8{}, m2 = c.m2 - float8{}, m3 = c.m3 - float8{},
               un = c.undef - float8{};
  const int8v absmask = 0x7fffffff - int8v{};
  const float8 b1 = c.b1 - float8{}, b2 = c.b2 - float8{}, b3 = c.b3 - float8{},
               big = std::numeric_limits<float>::max() - float8{};
  for (; x + 8 <= n; x += 8) {
    float8 r;
    std::memcpy(&r, in + x, sizeof r);
    float8 a1 = (float8)((int8v)(r - m1) & absmask), ar = (float8)((int8v)r & absmask);
    int8v keep = (a1 > b1) & (ar <= big);
    if constexpr (K > 1) keep &= (float8)((int8v)(r - m2) & absmask) > b2;
    if constexpr (K > 2) keep &= (float8)((int8v)(r - m3) & absmask) > b3;
    float8 o = (float8)(((int8v)r & keep) | ((int8v)un & ~keep));
    std::memcpy(out + x, &o, sizeof o);
  }
  for (; x < n; x++) out[x] = c(in[x]);
}

// in may be out itself.
void float_row(const float* in, float* out, long n, const convert_float& c) {
  if (c.m2 == c.m1 && c.m3 == c.m1) {
    float_row_k<1>(in, out, n, c);
  } else if (c.m3 == c.m1 || c.m3 == c.m2) {
    float_row_k<2>(in, out, n, c);
  } else if (c.m2 == c.m1) {
    float_row_k<2>(in, out, n, convert_float{c.m1, c.m3, c.m3, c.undef});
  } else {
    float_row_k<3>(in, out, n, c);
  }
}

VEMRA_WIDE void short_row(const short* in, float* out, long n, const convert_short& c) {
  long x = 0;
  using short8 = short __attribute__((vector_size(16)));
  const int8v m1 = int(c.m1) - int8v{}, m2 = int(c.m2) - int8v{}, m3 = int(c.m3) - int8v{};
  const int8v use1 = (c.in_range1 ? -1 : 0) - int8v{}, use2 = (c.in_range2 ? -1 : 0) - int8v{},
              use3 = (c.in_range3 ? -1 : 0) - int8v{};
  const float8 sc = c.scale - float8{}, of = c.offset - float8{}, un = c.undef - float8{};
  for (; x + 8 <= n; x += 8) {
    short8 s8;
    std::memcpy(&s8, in + x, sizeof s8);
    int8v r = __builtin_convertvector(s8, int8v);
    int8v miss = ((r == m1) & use1) | ((r == m2) & use2) | ((r == m3) & use3);
    float8 v = __builtin_convertvector(r, float8) * sc + of;
    float8 o = (float8)(((int8v)v & ~miss) | ((int8v)un & miss));
    std::memcpy(out + x, &o, sizeof o);
  }
  for (; x < n; x++) out[x] = c(in[x]);
}

template <class T, class C>
void convert_row(const T* in, float* out, long n, const C& c) {
  if constexpr (std::is_same_v<C, convert_float>)
    float_row(in, out, n, c);
  else if constexpr (std::is_same_v<C, convert_short>)
    short_row(in, out, n, c);
  else
    for (long x = 0; x < n; x++) out[x] = c(in[x]);
}

// Converts the slab into the block. Rows go whole through the row
// conversions: a row of a slab of whole rows as the runs of slab columns
// it takes in turn (the rest of the row from x0, then, when wrapping, whole
// circles), and a slab stored in the block's order as one run.
template <class T, class C>
void convert(const T* raw, long nt, const slab_shape& s, const C& conv, float* out) {
  if (!s.whole_rows && !s.yrev && !s.zrev) {
    convert_row(raw, out, nt * s.bz * s.by * s.bx, conv);
    return;
  }
  for (long t = 0; t < nt; t++)
    for (long z = 0; z < s.bz; z++) {
      long zz = s.zrev ? s.sz - 1 - z : z;
      for (long y = 0; y < s.by; y++) {
        long yy = s.yrev ? s.sy - 1 - y : y;
        const T* row = raw + ((t * s.sz + zz) * s.sy + yy) * s.sx;
        float* o = out + ((t * s.bz + z) * s.by + y) * s.bx;
        if (!s.whole_rows) {
          convert_row(row, o, s.bx, conv);
          continue;
        }
        x_runs(s.sx, s.turn, s.x0, s.bx,
               [&](long x, long c, long m) { convert_row(row + c - 1, o + x, m, conv); });
      }
    }
}

// A missing value that is no short marks nothing.
bool fits_short(double m) { return m == std::trunc(m) && m >= -32768 && m <= 32767; }

convert_short short_converter(const decoder& d) {
  const double m2 = d.has_miss2 ? d.miss2 : d.miss1;
  return convert_short{short(fits_short(d.miss1) ? d.miss1 : 0),
                       short(fits_short(m2) ? m2 : 0),
                       short(fits_short(d.miss3) ? d.miss3 : 0),
                       fits_short(d.miss1),
                       fits_short(m2),
                       fits_short(d.miss3),
                       d.scale,
                       d.offset,
                       d.undef};
}

// The grid's undefined value for packed shorts. Missing data are told by
// their stored codes, so the value that marks them in the grid must be one
// that no stored value of data unpacks to: the missing value as stored,
// unless data unpack to it; else that code unpacked; else the float fill.
float packed_undef(const io_std* io, const var_info* v, const file_descriptor* pfi, float undef) {
  decoder d;
  if (decoder_rules(io, v, pfi, undef, &d) || !d.packed) return undef;
  d.undef = std::numeric_limits<float>::quiet_NaN();
  const convert_short unpack = short_converter(d);
  // Unpacking is monotonic, so only the shorts next to the exact inverse
  // can give u; a missing code gives NaN, which equals nothing.
  auto reached = [&](float u) {
    if (d.scale == 0) return u == d.offset;
    const double r0 = (double(u) - d.offset) / d.scale;
    if (!(std::fabs(r0) < 32800)) return false;
    for (long r = std::lround(r0) - 2; r <= std::lround(r0) + 2; r++)
      if (r >= -32768 && r <= 32767 && unpack(short(r)) == u) return true;
    return false;
  };
  if (!reached(undef)) return undef;
  if (fits_short(d.miss1)) {
    const float code = float(d.miss1) * d.scale + d.offset;
    if (std::isfinite(code) && !reached(code)) return code;
  }
  return float(kFloatFill);
}

template <class T>
void convert(const T* raw, long nt, const slab_shape& s, const decoder& d, float* out) {
  const double m2 = d.has_miss2 ? d.miss2 : d.miss1;
  if constexpr (std::is_same_v<T, short>) {
    convert(raw, nt, s, short_converter(d), out);
  } else if constexpr (std::is_same_v<T, float>) {
    convert(raw, nt, s, convert_float{float(d.miss1), float(m2), float(d.miss3), d.undef}, out);
  } else {
    convert(raw, nt, s, convert_double{d.miss1, m2, d.miss3, d.undef}, out);
  }
}

struct request {
  int lo[4], hi[4];  // clipped grid ranges, x y z t (x may run past the file when wrapping)
  bool wrap;
  // The grid's points, and the bytes the grid and the block read for it
  // already take: a refusal of the read buffer speaks of all of them.
  double points, held;
};

// The bounds of each time read, as trace lines on the error stream: all
// times of one read in one write.
void debug_bounds(const request& r, int it, long nt) {
  std::string text;
  char line[160];
  for (long t = 0; t < nt; t++) {
    const int tt = it + int(t) - 1;
    int n = std::snprintf(line, sizeof line,
                          "gxstart=%d, gxstop=%d, gystart=%d, gystop=%d.\n"
                          "gzstart=%d, gzstop=%d, gtstart=%d, gtstop=%d.\n",
                          r.lo[0] - 1, r.hi[0] - 1, r.lo[1] - 1, r.hi[1] - 1, r.lo[2] - 1,
                          r.hi[2] - 1, tt, tt);
    text.append(line, size_t(n));
  }
  std::fflush(stdout);
  std::fwrite(text.data(), 1, text.size(), stderr);
}

// A variable read along a dimension it lacks has nothing to give there:
// true after the message naming the variable and the dimension when the
// request varies along one. ext holds the extents asked for, x y z t.
bool lacks_varying_dimension(const var_info* v, const long ext[4]) {
  struct axis {
    int slot;
    const char* name;
  };
  static constexpr axis axes[4] = {
      {kAxisX, "longitude"}, {kAxisY, "latitude"}, {kAxisZ, "level"}, {kAxisT, "time"}};
  for (int d = 0; d < 4; d++) {
    if (v->axis_pos[axes[d].slot] >= 0 || ext[d] == 1) continue;
    kaprntf(msg_level::error,
            "SDF:  Variable %s has no %s dimension, but the %s varies; read it with one %s.\n",
            v->name.c_str(), axes[d].name, axes[d].name, axes[d].name);
    return true;
  }
  return false;
}

// Reads times [it, it + nt) of the file now open into block (which holds
// the block of those times). 0, 3 on a read failure, 6 for a type refused.
int read_segment(grid_field* grid, var_info* v, const request& r, int it, long nt, float* block,
                 int fail_code) {
  file_descriptor* pfi = grid->file;
  auto* io = static_cast<io_std*>(pfi->sdf_io);
  const long ext[4] = {r.hi[0] - r.lo[0] + 1, r.hi[1] - r.lo[1] + 1, r.hi[2] - r.lo[2] + 1, nt};
  if (lacks_varying_dimension(v, ext)) return 3;
  sdf_give_back_buffers(v);
  decoder dec;
  if (int rc = make_decoder(io, v, pfi, grid->undef, &dec)) return rc;
  std::vector<long> start(size_t(v->ndims), 0), count(size_t(v->ndims), 1);
  auto len_of = [&](int axis) { return io->dim_size(v->axis_dim[axis]); };
  slab_shape s{};
  s.bx = r.hi[0] - r.lo[0] + 1;
  s.by = r.hi[1] - r.lo[1] + 1;
  s.bz = r.hi[2] - r.lo[2] + 1;
  bool fail = false;
  // x
  if (v->axis_pos[kAxisX] >= 0) {
    long len = len_of(kAxisX);
    size_t p = size_t(v->axis_pos[kAxisX]);
    // Whole rows: the circle when wrapping, and where the variable's rows
    // are read straight from the file, any slab of several rows, so that a
    // level of a time is one read rather than one per row.
    if (r.wrap || (v->whole_rows && s.by > 1 && s.bx < len)) {
      start[p] = 0;
      count[p] = len;
      s.whole_rows = true;
      s.x0 = r.lo[0];
      s.turn = len - (pfi->x_size - x_turn(pfi));
      fail |= (!r.wrap && (r.lo[0] < 1 || r.hi[0] > len)) || s.turn < 1;
    } else {
      start[p] = r.lo[0] - 1;
      count[p] = s.bx;
    }
    fail |= len < 1 || start[p] < 0 || start[p] + count[p] > len;
    s.sx = count[p];
  } else {
    s.sx = 1;
    fail |= s.bx != 1;
  }
  // y and z, each possibly stored in reverse
  const int axes[2] = {kAxisY, kAxisZ};
  const int gd[2] = {1, 2};
  const bool rev[2] = {pfi->yrev != 0, pfi->zrev != 0};
  long* sext[2] = {&s.sy, &s.sz};
  long bext[2] = {s.by, s.bz};
  for (int k = 0; k < 2; k++) {
    int a = axes[k];
    if (v->axis_pos[a] < 0) {
      *sext[k] = 1;
      fail |= bext[k] != 1;
      continue;
    }
    size_t p = size_t(v->axis_pos[a]);
    long len = len_of(a);
    start[p] = rev[k] ? len - r.hi[gd[k]] : r.lo[gd[k]] - 1;
    count[p] = bext[k];
    fail |= start[p] < 0 || start[p] + count[p] > len;
    *sext[k] = count[p];
  }
  s.yrev = rev[0];
  s.zrev = rev[1] && v->axis_pos[kAxisZ] >= 0;
  const bool has_t = v->axis_pos[kAxisT] >= 0;
  const size_t tp = has_t ? size_t(v->axis_pos[kAxisT]) : 0;
  if (has_t) {
    const long records = len_of(kAxisT);
    // A file still being written holds fewer times than its descriptor
    // names. (A series names the state of its file by the failure code.)
    if (!pfi->template_flag && v->axis_dim[kAxisT] == io->recdim && it >= 1 &&
        it - 1 + nt > records) {
      kaprntf(msg_level::error,
              "SDF:  Time %ld is not in the file yet: it holds %ld times so far.\n",
              std::max(records + 1, long(it)), records);
      return 3;
    }
    fail |= it < 1 || it - 1 + nt > records;
  } else if (nt != 1) {
    fail = true;
  }
  if (fail) {
    kaprntf(msg_level::error, "Failure reading SDF data.  #%d\n", fail_code);
    return 3;
  }
  // Floats stored in the block's own order are read straight into it and
  // checked where they lie; anything else goes through the variable's
  // buffer, as many times at once as fit in kSlabBytes, and is converted
  // into the block row by row.
  const bool direct = v->type == NC_FLOAT && !s.whole_rows && !s.yrev && !s.zrev;
  const long slab_bytes = s.sx * s.sy * s.sz * nc_type_size(v->type);
  const long piece = direct ? nt : std::clamp(kSlabBytes / std::max(slab_bytes, 1L), 1L, nt);
  const long block_time = s.bx * s.by * s.bz;
  // The buffer of stored values (of doubles twice the grid's bytes) comes
  // on top of the grid, less what the variable's buffer holds already.
  if (!direct)
    kareserve(r.points, double(piece) * double(slab_bytes) - double(v->data.capacity()), nullptr,
              r.held);
  for (long done = 0; done < nt; done += piece) {
    const long n = std::min(piece, nt - done);
    if (has_t) {
      start[tp] = it - 1 + done;
      count[tp] = n;
    }
    float* out = block + done * block_time;
    bool read_ok;
    if (direct) {
      quiet_nc q;
      read_ok = ncvarget(io->ncid, v->id, start.data(), count.data(), out) != -1;
    } else {
      read_ok = read_variable_data(io->ncid, v, start.data(), count.data());
    }
    if (!read_ok) {
      kaprntf(msg_level::error, "Failure reading SDF data.  #%d\n", fail_code);
      return 3;
    }
    debug_bounds(r, it + int(done), n);
    if (direct) {
      convert(static_cast<const float*>(out), n, s, dec, out);
      continue;
    }
    switch (v->type) {
      case NC_SHORT: convert(reinterpret_cast<const short*>(v->data.data()), n, s, dec, out); break;
      case NC_FLOAT: convert(reinterpret_cast<const float*>(v->data.data()), n, s, dec, out); break;
      case NC_DOUBLE:
        convert(reinterpret_cast<const double*>(v->data.data()), n, s, dec, out);
        break;
      default: return 6;
    }
  }
  return 0;
}

// Reads the clipped block of the request, in the order x, y, z, t.
int kafgsdf(grid_field* grid, const request& r, float* block) {
  file_descriptor* pfi = grid->file;
  const char* abbrev = grid->variable ? grid->variable->abbrev : "";
  var_info* v = sdf_find_display(static_cast<io_std*>(pfi->sdf_io), abbrev);
  const long per_time =
      long(r.hi[0] - r.lo[0] + 1) * (r.hi[1] - r.lo[1] + 1) * (r.hi[2] - r.lo[2] + 1);
  const int base = r.wrap ? 3 : 0;
  if (!pfi->template_flag) {
    if (!v) {
      kaprntf(msg_level::error, "Couldn't find variable %s in SDF file.\n", abbrev);
      return 2;
    }
    long nt = r.hi[3] - r.lo[3] + 1;
    return read_segment(grid, v, r, r.lo[3], nt, block, base + 1);
  }
  // A series: each run of times in one file is read in one go, after the
  // switch to that file; packing and missing values are those of the file.
  // The variable is looked up in the file that holds the times: the file
  // open before may lack it, or hold it where this one does not.
  const int* table = pfi->template_file_numbers;
  int t = r.lo[3];
  bool spans = table[r.lo[3] - 1] != table[r.hi[3] - 1];
  while (t <= r.hi[3]) {
    int f = table[t - 1];
    int end = t;
    while (end < r.hi[3] && table[end] == f) end++;
    // Whether the file was open before the switch decides the failure code.
    const bool was_open = f == pfi->open_template_time;
    int it = kaopsdf(t, grid, &v);
    float* out = block + long(t - r.lo[3]) * per_time;
    long nt = end - t + 1;
    if (it == -99999) {
      kaprnt(msg_level::error, "Bad time index in SDF file.\n");
      return 1;
    }
    v = it == -88888 ? nullptr : sdf_find_display(static_cast<io_std*>(pfi->sdf_io), abbrev);
    if (it != -88888 && !v)
      kaprntf(msg_level::error, "SDF templating:  Couldn't find variable %s in SDF file.\n",
              abbrev);
    if (!v) {
      for (long i = 0; i < nt * per_time; i++) out[i] = grid->undef;
    } else {
      int code = base + (spans ? 3 : (was_open ? 1 : 2));
      if (int rc = read_segment(grid, v, r, it, nt, out, code)) return rc;
    }
    t = end + 1;
  }
  return 0;
}

}  // namespace

int sdf_kagsdf(grid_field* req, float* values) {
  file_descriptor* fp = req->file;
  auto* io = static_cast<io_std*>(fp->sdf_io);
  const char* abbrev = req->variable ? req->variable->abbrev : "";
  var_info* v = sdf_find_display(io, abbrev);
  // The file of a series now open may lack a variable that others hold; the
  // variable is the data set's as the first file describes it.
  if (!v && fp->template_flag)
    v = sdf_find_display(static_cast<io_std*>(fp->first_template_io), abbrev);
  if (!v) {
    kaprntf(msg_level::error, "Couldn't find variable %s in SDF file.\n", abbrev);
    return 2;
  }
  double u;
  float undef = fp->undef;
  if (!io->fill_switch && value_as_double(v->missing, v->type, 0, &u) && std::isfinite(u) &&
      std::fabs(u) <= double(std::numeric_limits<float>::max()))
    undef = float(u);
  if (!std::isfinite(undef)) undef = float(kFloatFill);
  if (!io->fill_switch) undef = packed_undef(io, v, fp, undef);
  req->undef = undef;

  const bool varies[4] = {req->idim == 0 || req->jdim == 0, req->idim == 1 || req->jdim == 1,
                          req->idim == 2 || req->jdim == 2, req->idim == 3 || req->jdim == 3};
  long ext[4];
  for (int d = 0; d < 4; d++) ext[d] = varies[d] ? long(req->dim_max[d]) - req->dim_min[d] + 1 : 1;
  const long n = ext[0] * ext[1] * ext[2] * ext[3];
  auto fill_undef = [&]() {
    for (long i = 0; i < n; i++) values[i] = undef;
  };

  const int size[4] = {fp->x_size, fp->y_size, v->axis_pos[kAxisZ] >= 0 ? fp->z_size : 1,
                       fp->t_size};
  request r{};
  r.wrap = false;
  r.points = double(n);
  r.held = double(n) * sizeof(float);
  for (int d = 0; d < 4; d++) {
    int lo = req->dim_min[d], hi = req->dim_max[d];
    if (!varies[d]) {
      if (d == 2 && v->axis_pos[kAxisZ] < 0) lo = 1;
      // A fixed longitude on a global grid comes round the circle.
      if (d == 0 && size[0] > 0) lo = int(x_column(fp, lo));
      // A fixed index outside the file leaves the grid undefined.
      if (lo < 1 || lo > size[d]) {
        fill_undef();
        return 0;
      }
      r.lo[d] = r.hi[d] = lo;
      continue;
    }
    if (d == 0 && fp->x_wraps && (lo < 1 || hi > size[0])) {
      r.lo[0] = lo;
      r.hi[0] = hi;
      r.wrap = true;
      continue;
    }
    if (lo > size[d] || hi < 1) {
      fill_undef();
      return 0;
    }
    r.lo[d] = lo < 1 ? 1 : lo;
    r.hi[d] = hi > size[d] ? size[d] : hi;
  }

  // A request that lies wholly inside the file is read straight into it.
  bool whole = true;
  for (int d = 0; d < 4; d++)
    if (varies[d]) whole &= r.lo[d] == req->dim_min[d] && r.hi[d] == req->dim_max[d];
  if (whole) {
    int rc = kafgsdf(req, r, values);
    if (rc) fill_undef();
    return rc;
  }
  fill_undef();
  long bn = 1;
  for (int d = 0; d < 4; d++) bn *= long(r.hi[d] - r.lo[d] + 1);
  static const char kNoBlock[] = "Memory allocation error handling SDF grid request(1).\n";
  // The part in the file is read apart and copied in: the grid holds both
  // at once.
  kareserve(double(n), double(bn) * sizeof(float), kNoBlock, double(n) * sizeof(float));
  std::unique_ptr<float[]> block(new (std::nothrow) float[size_t(bn)]);
  if (!block) {
    kaprnt(msg_level::error, kNoBlock);
    return 13;
  }
  r.held += double(bn) * sizeof(float);
  int rc = kafgsdf(req, r, block.get());
  if (rc == 0) {
    const long bx = r.hi[0] - r.lo[0] + 1, by = r.hi[1] - r.lo[1] + 1, bz = r.hi[2] - r.lo[2] + 1;
    const float* b = block.get();
    for (int t = r.lo[3]; t <= r.hi[3]; t++)
      for (int z = r.lo[2]; z <= r.hi[2]; z++)
        for (int y = r.lo[1]; y <= r.hi[1]; y++) {
          // Fixed dimensions contribute no offset: their extent is one.
          long o = varies[3] ? long(t - req->dim_min[3]) : 0;
          o = o * ext[2] + (varies[2] ? z - req->dim_min[2] : 0);
          o = o * ext[1] + (varies[1] ? y - req->dim_min[1] : 0);
          o = o * ext[0] + (varies[0] ? r.lo[0] - req->dim_min[0] : 0);
          std::memcpy(values + o, b, size_t(bx) * sizeof(float));
          b += bx;
        }
    (void)by;
    (void)bz;
  }
  return rc;
}

namespace {

int netcdf_block(read_request& rq, float* values) { return sdf_kagsdf(rq.grid, values); }

// The metadata of the open file and of the first file of a series.
void netcdf_release(file_descriptor* pfi) {
  if (pfi->sdf_io) {
    if (pfi->first_template_io == pfi->sdf_io) pfi->first_template_io = nullptr;
    free_io_std(&pfi->sdf_io);
    pfi->sdf_io = nullptr;
  }
  // The first file's copy of a series is the record's own too.
  if (pfi->first_template_io) free_io_std(&pfi->first_template_io);
}

}  // namespace

const reader netcdf_reader = {
    "netCDF",   nullptr,        nullptr, netcdf_block, nullptr, nullptr, nullptr, nullptr,
    kasdfclose, netcdf_release, false,   false,        nullptr, false,   nullptr,
};
