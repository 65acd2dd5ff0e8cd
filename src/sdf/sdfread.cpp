// Grids of a self-describing data set: the requested block is clipped to the
// file, read from the netCDF variable (across the files of a template series
// and across the longitude wrap), unpacked, masked and placed in the request.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "base/message.h"
#include "data/filerec.h"
#include "data/gridread.h"
#include "data/result.h"
#include "sdf/sdfint.h"

namespace {

constexpr double kFloatFill = 9.9692099683868690e36;

bool equal_nocase(const std::string& a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t i = 0; i < n; i++)
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

var_info* find_display(io_std* io, const char* abbrev) {
  if (!io) return nullptr;
  for (var_info& v : io->vars)
    if (!v.display.empty() && equal_nocase(v.display, abbrev)) return &v;
  return nullptr;
}

// How the stored values of one variable in one file become grid values.
struct decoder {
  bool packed = false;
  float scale = 1, offset = 0;
  double miss1 = 0;
  bool has_miss2 = false;
  double miss2 = 0;
  float undef = 0;
};

bool attribute_value(const var_info* v, const char* name, double* out) {
  const netcdf_att* a = find_att(v->atts, name);
  return a && a->number(0, out);
}

// Packing and missing values of the variable as stored in the file now open;
// 0, or 6 for a type that can't be read.
int make_decoder(const io_std* io, const var_info* v, const file_descriptor* pfi, float undef,
                 decoder* d) {
  d->undef = undef;
  double scale = 1, offset = 0;
  nc_type att_type = NC_NAT, var_type = NC_NAT;
  int packed = are_data_packed(v, &scale, &offset, &att_type, &var_type);
  if (var_type != NC_FLOAT && var_type != NC_DOUBLE) packed = 1;
  if (packed && var_type != NC_SHORT) {
    kaprnt(0, "SDF data variable has unsupported packed data type.\n");
    return 6;
  }
  if (packed && att_type != NC_SHORT && att_type != NC_INT && att_type != NC_FLOAT &&
      att_type != NC_DOUBLE) {
    kaprnt(0, "SDF data variable has unsupported unpacked data type.\n");
    return 6;
  }
  d->packed = packed;
  d->scale = float(scale);
  d->offset = float(offset);
  // The fill of the stored type when the file names none.
  const double type_fill = var_type == NC_SHORT ? -32767.0 : kFloatFill;
  if (io->fill_switch) {
    d->miss1 = pfi->undef;
    d->has_miss2 = true;
    d->miss2 = type_fill;
    return 0;
  }
  // Each attribute is taken by its own type: a float _FillValue on short
  // data marks the stored short of that value.
  double mv, fv;
  bool has_mv = attribute_value(v, "missing_value", &mv);
  bool has_fv = attribute_value(v, "_FillValue", &fv);
  if (has_mv) {
    d->miss1 = mv;
    d->has_miss2 = true;
    d->miss2 = has_fv ? fv : type_fill;
  } else {
    d->miss1 = has_fv ? fv : type_fill;
  }
  return 0;
}

// The block of one read: the slab as stored (rows and levels possibly
// reversed, x possibly the whole circle) converted into ascending grid order.
struct slab_shape {
  long sx, sy, sz;       // extents of the slab read
  long bx, by, bz;       // extents of the block written
  bool yrev, zrev;
  const std::vector<long>* xmap;  // block column -> slab column when wrapping
};

template <class T>
void convert(const T* raw, long nt, const slab_shape& s, const decoder& d, float* out) {
  const double m1 = d.miss1, m2 = d.has_miss2 ? d.miss2 : d.miss1;
  for (long t = 0; t < nt; t++)
    for (long z = 0; z < s.bz; z++) {
      long zz = s.zrev ? s.sz - 1 - z : z;
      for (long y = 0; y < s.by; y++) {
        long yy = s.yrev ? s.sy - 1 - y : y;
        const T* row = raw + ((t * s.sz + zz) * s.sy + yy) * s.sx;
        float* o = out + ((t * s.bz + z) * s.by + y) * s.bx;
        for (long x = 0; x < s.bx; x++) {
          T r = row[s.xmap ? (*s.xmap)[size_t(x)] : x];
          float v;
          if constexpr (std::is_same_v<T, short>) {
            v = (r == m1 || r == m2) ? d.undef : float(r) * d.scale + d.offset;
          } else if constexpr (std::is_same_v<T, float>) {
            v = (std::isnan(r) || fequal(r, float(m1), 1e-5f) || fequal(r, float(m2), 1e-5f))
                    ? d.undef
                    : r;
          } else {
            v = (!std::isfinite(r) || std::fabs(r) > double(std::numeric_limits<float>::max()) ||
                 dequal(r, m1, 1e-5) || dequal(r, m2, 1e-5))
                    ? d.undef
                    : float(r);
          }
          o[x] = v;
        }
      }
    }
}

struct request {
  int lo[4], hi[4];  // clipped grid ranges, x y z t (x may run past the file when wrapping)
  bool wrap;
};

void debug_bounds(const request& r) {
  std::fprintf(stderr, "gxstart=%d, gxstop=%d, gystart=%d, gystop=%d.\n", r.lo[0] - 1, r.hi[0] - 1,
               r.lo[1] - 1, r.hi[1] - 1);
  std::fprintf(stderr, "gzstart=%d, gzstop=%d, gtstart=%d, gtstop=%d.\n", r.lo[2] - 1, r.hi[2] - 1,
               r.lo[3] - 1, r.hi[3] - 1);
}

// Reads times [it, it + nt) of the file now open into block (which holds
// the block of those times). 0, 3 on a read failure, 6 for a type refused.
int read_segment(grid_field* grid, var_info* v, const request& r, int it, long nt, float* block,
                 int fail_code) {
  file_descriptor* pfi = grid->file;
  auto* io = static_cast<io_std*>(pfi->sdf_io);
  decoder dec;
  if (int rc = make_decoder(io, v, pfi, grid->undef, &dec)) return rc;
  std::vector<long> start(size_t(v->ndims), 0), count(size_t(v->ndims), 1);
  auto len_of = [&](int axis) { return io->dim_size(v->axis_dim[axis]); };
  slab_shape s{};
  s.bx = r.hi[0] - r.lo[0] + 1;
  s.by = r.hi[1] - r.lo[1] + 1;
  s.bz = r.hi[2] - r.lo[2] + 1;
  std::vector<long> xmap;
  bool fail = false;
  // x
  if (v->axis_pos[kAxisX] >= 0) {
    long len = len_of(kAxisX);
    size_t p = size_t(v->axis_pos[kAxisX]);
    if (r.wrap) {
      start[p] = 0;
      count[p] = len;
      xmap.resize(size_t(s.bx));
      for (long x = 0; x < s.bx; x++) {
        long g = r.lo[0] + x - 1;
        long w = len > 0 ? ((g % len) + len) % len : 0;
        xmap[size_t(x)] = w;
      }
      s.xmap = &xmap;
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
  if (v->axis_pos[kAxisT] >= 0) {
    size_t p = size_t(v->axis_pos[kAxisT]);
    start[p] = it - 1;
    count[p] = nt;
    fail |= start[p] < 0 || start[p] + nt > len_of(kAxisT);
  } else if (nt != 1) {
    fail = true;
  }
  if (fail || !read_variable_data(io->ncid, v, start.data(), count.data())) {
    kaprntf(0, "Failure reading SDF data.  #%d\n", fail_code);
    return 3;
  }
  for (long t = 0; t < nt; t++) {
    request one = r;
    one.lo[3] = one.hi[3] = it + int(t);
    debug_bounds(one);
  }
  switch (v->type) {
    case NC_SHORT: convert(reinterpret_cast<const short*>(v->data.data()), nt, s, dec, block); break;
    case NC_FLOAT: convert(reinterpret_cast<const float*>(v->data.data()), nt, s, dec, block); break;
    case NC_DOUBLE: convert(reinterpret_cast<const double*>(v->data.data()), nt, s, dec, block); break;
    default: return 6;
  }
  return 0;
}

// Reads the clipped block of the request, in the order x, y, z, t.
int kafgsdf(grid_field* grid, const request& r, float* block) {
  file_descriptor* pfi = grid->file;
  const char* abbrev = grid->variable ? grid->variable->abbrev : "";
  var_info* v = find_display(static_cast<io_std*>(pfi->sdf_io), abbrev);
  if (!v) {
    kaprntf(0, "Couldn't find variable %s in SDF file.\n", abbrev);
    return 2;
  }
  const long per_time = long(r.hi[0] - r.lo[0] + 1) * (r.hi[1] - r.lo[1] + 1) * (r.hi[2] - r.lo[2] + 1);
  const int base = r.wrap ? 3 : 0;
  if (!pfi->template_flag) {
    long nt = r.hi[3] - r.lo[3] + 1;
    return read_segment(grid, v, r, r.lo[3], nt, block, base + 1);
  }
  // A series: each run of times in one file is read in one go, after the
  // switch to that file; packing and missing values are those of the file.
  const int* table = pfi->template_file_numbers;
  int t = r.lo[3];
  bool spans = table[r.lo[3] - 1] != table[r.hi[3] - 1];
  while (t <= r.hi[3]) {
    int f = table[t - 1];
    int end = t;
    while (end < r.hi[3] && table[end] == f) end++;
    int it = kaopsdf(t, grid, &v);
    float* out = block + long(t - r.lo[3]) * per_time;
    long nt = end - t + 1;
    if (it == -99999) {
      kaprnt(0, "Bad time index in SDF file.\n");
      return 1;
    }
    if (it == -88888) {
      for (long i = 0; i < nt * per_time; i++) out[i] = grid->undef;
    } else {
      int code = base + (spans ? 3 : (f == pfi->open_template_time ? 1 : 2));
      if (int rc = read_segment(grid, v, r, it, nt, out, code)) return rc;
    }
    t = end + 1;
  }
  return 0;
}

}  // namespace

int sdf_kagsdf(grid_field* pgr, float* values) {
  file_descriptor* pfi = pgr->file;
  auto* io = static_cast<io_std*>(pfi->sdf_io);
  const char* abbrev = pgr->variable ? pgr->variable->abbrev : "";
  var_info* v = find_display(io, abbrev);
  if (!v) {
    kaprntf(0, "Couldn't find variable %s in SDF file.\n", abbrev);
    return 2;
  }
  double u;
  float undef = pfi->undef;
  if (!io->fill_switch && value_as_double(v->missing, v->type, 0, &u) && std::isfinite(u) &&
      std::fabs(u) <= double(std::numeric_limits<float>::max()))
    undef = float(u);
  if (!std::isfinite(undef)) undef = float(kFloatFill);
  pgr->undef = undef;

  const bool varies[4] = {pgr->idim == 0 || pgr->jdim == 0, pgr->idim == 1 || pgr->jdim == 1,
                          pgr->idim == 2 || pgr->jdim == 2, pgr->idim == 3 || pgr->jdim == 3};
  long ext[4];
  for (int d = 0; d < 4; d++) ext[d] = varies[d] ? long(pgr->dim_max[d]) - pgr->dim_min[d] + 1 : 1;
  const long n = ext[0] * ext[1] * ext[2] * ext[3];
  for (long i = 0; i < n; i++) values[i] = undef;

  const int size[4] = {pfi->x_size, pfi->y_size, v->axis_pos[kAxisZ] >= 0 ? pfi->z_size : 1,
                       pfi->t_size};
  request r{};
  r.wrap = false;
  for (int d = 0; d < 4; d++) {
    int lo = pgr->dim_min[d], hi = pgr->dim_max[d];
    if (!varies[d]) {
      if (d == 2 && v->axis_pos[kAxisZ] < 0) lo = 1;
      // A fixed longitude on a global grid comes round the circle.
      if (d == 0 && pfi->x_wraps && size[0] > 0) lo = ((lo - 1) % size[0] + size[0]) % size[0] + 1;
      // A fixed index outside the file leaves the grid undefined.
      if (lo < 1 || lo > size[d]) return 0;
      r.lo[d] = r.hi[d] = lo;
      continue;
    }
    if (d == 0 && pfi->x_wraps && (lo < 1 || hi > size[0])) {
      r.lo[0] = lo;
      r.hi[0] = hi;
      r.wrap = true;
      continue;
    }
    if (lo > size[d] || hi < 1) return 0;
    r.lo[d] = lo < 1 ? 1 : lo;
    r.hi[d] = hi > size[d] ? size[d] : hi;
  }

  long bn = 1;
  for (int d = 0; d < 4; d++) bn *= long(r.hi[d] - r.lo[d] + 1);
  std::vector<float> block;
  try {
    block.resize(size_t(bn));
  } catch (const std::bad_alloc&) {
    kaprnt(0, "Memory allocation error handling SDF grid request(1).\n");
    return 13;
  }
  int rc = kafgsdf(pgr, r, block.data());
  if (rc == 0) {
    const long bx = r.hi[0] - r.lo[0] + 1, by = r.hi[1] - r.lo[1] + 1, bz = r.hi[2] - r.lo[2] + 1;
    const float* b = block.data();
    for (int t = r.lo[3]; t <= r.hi[3]; t++)
      for (int z = r.lo[2]; z <= r.hi[2]; z++)
        for (int y = r.lo[1]; y <= r.hi[1]; y++) {
          // Fixed dimensions contribute no offset: their extent is one.
          long o = varies[3] ? long(t - pgr->dim_min[3]) : 0;
          o = o * ext[2] + (varies[2] ? z - pgr->dim_min[2] : 0);
          o = o * ext[1] + (varies[1] ? y - pgr->dim_min[1] : 0);
          o = o * ext[0] + (varies[0] ? r.lo[0] - pgr->dim_min[0] : 0);
          std::memcpy(values + o, b, size_t(bx) * sizeof(float));
          b += bx;
        }
    (void)by;
    (void)bz;
  }
  return rc;
}
