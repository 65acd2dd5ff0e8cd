// Pre-projected grids: where every point of the target longitude-latitude
// grid falls in the native grid (worked out once when the data set is
// opened), and the reading of target rows by interpolation from the native
// values.
#include "base/alloc.h"
#include "data/pdef.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <bit>

#include "base/message.h"
#include "base/numfmt.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/gridread.h"
#include "data/readers.h"
#include "data/result.h"

namespace {

constexpr const char* kNoMemory = "Open Error:  Memory allocation error in pdef handler\n";
constexpr const char* kBadRead = "Open Error:  I/O Error on pdef file read\n";

// How the interpolation file of "bilin" and "file" is laid out.
enum pdef_access : int { pdef_stream = 1, pdef_sequential = 2 };
enum pdef_format : int {
  pdef_binary = 1,  // host order
  pdef_binary_big = 2,
  pdef_binary_little = 3,
  pdef_packed = 4,  // host order
};

template <class T>
T* alloc_array(int64_t n) {
  return static_cast<T*>(kamalloc(sizeof(T) * static_cast<std::size_t>(n > 0 ? n : 1)));
}

// Native offset of the lower-left neighbour of the point (gi, gj), or -1
// when the point lacks one of its four neighbours. The test is made on the
// fractional coordinates so that no out-of-range or non-finite value is ever
// converted to an integer.
int64_t lower_left(float gi, float gj, int64_t isize, int64_t jsize, float* fi, float* fj) {
  if (!(gi >= 1.0f && gi < static_cast<float>(isize) && gj >= 1.0f &&
        gj < static_cast<float>(jsize)))
    return -1;
  const int64_t i0 = static_cast<int64_t>(gi), j0 = static_cast<int64_t>(gj);
  if (i0 > isize - 1 || j0 > jsize - 1) return -1;  // float rounding at the top edge
  *fi = gi - static_cast<float>(i0);
  *fj = gj - static_cast<float>(j0);
  return (j0 - 1) * isize + i0 - 1;
}

// One array of n 4-byte values from the interpolation file, in the host's
// byte order. False after the read-error message.
bool read_table(FILE* fp, int access, int format, void* out, int64_t n) {
  const std::size_t bytes = static_cast<std::size_t>(n) * 4;
  unsigned char marker[4];
  if (access == pdef_sequential && std::fread(marker, 1, 4, fp) != 4) {
    kaprnt(msg_level::error, kBadRead);
    return false;
  }
  if (std::fread(out, 1, bytes, fp) != bytes) {
    kaprnt(msg_level::error, kBadRead);
    return false;
  }
  if (access == pdef_sequential && std::fread(marker, 1, 4, fp) != 4) {
    kaprnt(msg_level::error, kBadRead);
    return false;
  }
  constexpr bool host_little = std::endian::native == std::endian::little;
  const bool big = format == pdef_binary_big, little = format == pdef_binary_little;
  if ((big && host_little) || (little && !host_little)) kabswp(out, static_cast<std::size_t>(n));
  return true;
}

// A rotation the winds can't be turned by becomes the no-rotation mark; the
// flag for turning winds stays set only when some angle is not negligible.
void settle_rotation(file_descriptor* p, float* rot, int64_t n) {
  bool any = false;
  for (int64_t k = 0; k < n; k++) {
    if (!std::isfinite(rot[k])) rot[k] = pdef_no_rotation;
    if (std::fabs(rot[k]) > 0.00001f) any = true;
  }
  if (!any) p->pdef_flag = 0;
}

// The bilinear tables of types 1 to 7, owned by the file record: the
// lower-left native offset and the two weights of every target point, and
// the rotations when wanted. 1 after the message when memory runs out.
int alloc_bilinear_tables(file_descriptor* p, int64_t n, bool with_rotation) {
  p->pdef_index[0] = alloc_array<int64_t>(n);
  p->pdef_weights[0] = alloc_array<float>(n);
  p->pdef_weights[1] = alloc_array<float>(n);
  if (with_rotation) p->pdef_extra = alloc_array<float>(n);
  if (!p->pdef_index[0] || !p->pdef_weights[0] || !p->pdef_weights[1] ||
      (with_rotation && !p->pdef_extra)) {
    kaprnt(msg_level::error, kNoMemory);
    return 1;
  }
  return 0;
}

// Types 1 to 6: the target points through the type's forward transform.
int set_up_projected(file_descriptor* p, int64_t isize, int64_t jsize, int64_t n) {
  if (alloc_bilinear_tables(p, n, p->pdef_flag != 0)) return 1;
  auto* index = static_cast<int64_t*>(p->pdef_index[0]);
  auto* wi = static_cast<float*>(p->pdef_weights[0]);
  auto* wj = static_cast<float*>(p->pdef_weights[1]);
  auto* rot = static_cast<float*>(p->pdef_extra);
  const float* prm = p->pdef_params;
  const double pi = std::acos(-1.0);
  int64_t k = 0;
  for (int j = 1; j <= p->y_size; j++) {
    const float lat = p->grid_to_world[1](p->grid_to_world_scaling[1], static_cast<float>(j));
    for (int i = 1; i <= p->x_size; i++, k++) {
      const float lon = p->grid_to_world[0](p->grid_to_world_scaling[0], static_cast<float>(i));
      float gi = -1, gj = -1, angle = 0;
      switch (p->pdef_type) {
        case pdef_nps:
        case pdef_sps: {
          float xi, xj;
          w3fb04(lat, -lon, prm[3], -prm[2], &xi, &xj);
          gi = xi + prm[0];
          gj = xj + prm[1];
          double a = (double(prm[2]) - lon) * pi / 180.0;
          if (p->pdef_type == pdef_sps) a = pi - a;
          angle = static_cast<float>(a);
          break;
        }
        case pdef_lcc: ll2lc(prm, lat, lon, &gi, &gj); break;
        case pdef_eta:
          ll2eg(static_cast<int>(isize), static_cast<int>(jsize), prm, lon, lat, &gi, &gj, &angle);
          break;
        case pdef_pse:
          ll2pse(static_cast<int>(isize), static_cast<int>(jsize), prm, lon, lat, &gi, &gj);
          break;
        case pdef_ops: ll2ops(prm, lon, lat, &gi, &gj); break;
        default: break;
      }
      index[k] = lower_left(gi, gj, isize, jsize, &wi[k], &wj[k]);
      if (rot) rot[k] = std::isfinite(angle) ? angle : pdef_no_rotation;
    }
  }
  return 0;
}

// Type 7: native i, j and rotation of every target point from the file.
int set_up_bilinear(file_descriptor* p, FILE* fp, int access, int format, int64_t isize,
                    int64_t jsize, int64_t n) {
  if (alloc_bilinear_tables(p, n, true)) return 1;
  auto* index = static_cast<int64_t*>(p->pdef_index[0]);
  auto* wi = static_cast<float*>(p->pdef_weights[0]);
  auto* wj = static_cast<float*>(p->pdef_weights[1]);
  auto* rot = static_cast<float*>(p->pdef_extra);
  if (!read_table(fp, access, format, wi, n) || !read_table(fp, access, format, wj, n) ||
      !read_table(fp, access, format, rot, n))
    return 1;
  for (int64_t k = 0; k < n; k++) index[k] = lower_left(wi[k], wj[k], isize, jsize, &wi[k], &wj[k]);
  settle_rotation(p, rot, n);
  return 0;
}

// Type 8: per weight its native indices (1-based) and weights, then the
// rotation, from the file.
int set_up_weights(file_descriptor* p, FILE* fp, int access, int format, int64_t n) {
  const int nw = static_cast<int>(p->pdef_params[0] + 0.1f);
  for (int w = 0; w < nw; w++) {
    p->pdef_index[w] = alloc_array<int32_t>(n);
    p->pdef_weights[w] = alloc_array<float>(n);
    if (!p->pdef_index[w] || !p->pdef_weights[w]) {
      kaprnt(msg_level::error, kNoMemory);
      return 1;
    }
    if (!read_table(fp, access, format, p->pdef_index[w], n) ||
        !read_table(fp, access, format, p->pdef_weights[w], n))
      return 1;
  }
  auto* rot = alloc_array<float>(n);
  p->pdef_extra = rot;
  if (!rot) {
    kaprnt(msg_level::error, kNoMemory);
    return 1;
  }
  if (!read_table(fp, access, format, rot, n)) return 1;
  settle_rotation(p, rot, n);
  return 0;
}

// Reads count consecutive native values at a native offset of the current
// request's variable, level and time through the reader of the native grid:
// 0 or the reader's status.
int read_native(read_request& rq, int x, int y, int z, int t, int tfile, int64_t native, int count,
                float* v) {
  return reader_of(rq.file)->inner->native(rq, x, y, z, t, tfile, native, count, v);
}

void wrapped_start(read_request& rq) {
  const reader* inner = reader_of(rq.file)->inner;
  if (inner->start) inner->start(rq);
}

void wrapped_switched(read_request& rq) {
  const reader* inner = reader_of(rq.file)->inner;
  if (inner->switched) inner->switched(rq);
}

}  // namespace

int kappcn(file_descriptor* p, int access, int format) {
  const int64_t isize = p->native_isize, jsize = p->native_jsize;
  const int64_t n = int64_t(p->x_size) * p->y_size;
  if (isize < 1 || jsize < 1 || n < 1) {
    kaprnt(msg_level::error, kNoMemory);
    return 1;
  }
  switch (p->pdef_type) {
    case pdef_bilin:
    case pdef_file: {
      FILE* fp = kapdfs();
      if (!fp) {
        kaprnt(msg_level::error, kBadRead);
        return 1;
      }
      return p->pdef_type == pdef_bilin ? set_up_bilinear(p, fp, access, format, isize, jsize, n)
                                        : set_up_weights(p, fp, access, format, n);
    }
    default:
      if (!p->grid_to_world[0] || !p->grid_to_world[1]) {
        kaprnt(msg_level::error, kNoMemory);
        return 1;
      }
      return set_up_projected(p, isize, jsize, n);
  }
}

int kaprow(read_request& rq, int x, int y, int z, int t, int tfile, int n, float* values) {
  const file_descriptor* pfi = rq.file;
  const float undef = rq.grid->undef;
  const int64_t isize = pfi->native_isize;
  const int64_t first = (int64_t(y) - 1) * pfi->x_size + (x - 1);
  if (pfi->pdef_type == pdef_file) {
    const int nw = static_cast<int>(pfi->pdef_params[0] + 0.1f);
    // The native indices are points of the native grid, whatever the
    // headers and markers around each grid in the file.
    const int64_t npts = isize * pfi->native_jsize;
    for (int k = 0; k < n; k++) {
      const int64_t p = first + k;
      bool ok = true;
      for (int w = 0; w < nw && ok; w++) {
        const int32_t ix = static_cast<const int32_t*>(pfi->pdef_index[w])[p];
        if (ix < -900 || ix == 0 || ix > npts) ok = false;
      }
      double sum = 0, wsum = 0;
      for (int w = 0; w < nw && ok; w++) {
        const int32_t ix = static_cast<const int32_t*>(pfi->pdef_index[w])[p];
        if (ix < 0) continue;
        float v;
        const int rc = read_native(rq, x + k, y, z, t, tfile, int64_t(ix) - 1, 1, &v);
        if (rc) return rc;
        if (v == undef) {
          ok = false;
          break;
        }
        const float wt = static_cast<const float*>(pfi->pdef_weights[w])[p];
        sum += double(v) * wt;
        wsum += wt;
      }
      const double r = ok && wsum != 0 ? sum / wsum : 0;
      values[k] = ok && wsum != 0 && std::fabs(r) <= 3.4e38 ? static_cast<float>(r) : undef;
    }
    return 0;
  }
  const auto* index = static_cast<const int64_t*>(pfi->pdef_index[0]);
  const auto* wi = static_cast<const float*>(pfi->pdef_weights[0]);
  const auto* wj = static_cast<const float*>(pfi->pdef_weights[1]);
  for (int k = 0; k < n; k++) {
    const int64_t p = first + k;
    const int64_t native = index[p];
    if (native < 0) {
      values[k] = undef;
      continue;
    }
    float lo[2], hi[2];
    int rc = read_native(rq, x + k, y, z, t, tfile, native, 2, lo);
    if (!rc) rc = read_native(rq, x + k, y, z, t, tfile, native + isize, 2, hi);
    if (rc) return rc;
    if (lo[0] == undef || lo[1] == undef || hi[0] == undef || hi[1] == undef) {
      values[k] = undef;
      continue;
    }
    const float a = lo[0] + (lo[1] - lo[0]) * wi[p];
    const float b = hi[0] + (hi[1] - hi[0]) * wi[p];
    const float v = a + (b - a) * wj[p];
    values[k] = std::isfinite(v) ? v : undef;
  }
  return 0;
}

namespace {

int wrapped_row(read_request& rq, int x, int y, int z, int t, int tfile, int n, float* values) {
  return kaprow(rq, x, y, z, t, tfile, n, values);
}

// Winds turn where the native grid's directions differ from the earth's:
// the set-up kept an angle for each point.
bool wrapped_rotates(const file_descriptor* file) { return file->pdef_flag && file->pdef_extra; }

}  // namespace

// The pre-projected readers wrap the reader of their native records.
const reader preprojected_binary_reader = {
    "Pre-projected binary", wrapped_start, nullptr,         nullptr, wrapped_row, nullptr,
    wrapped_switched,       nullptr,       nullptr,         nullptr, false,       true,
    &binary_reader,         false,         wrapped_rotates,
};
const reader preprojected_grib_reader = {
    "Pre-projected GRIB", wrapped_start, nullptr,         nullptr, wrapped_row, nullptr,
    wrapped_switched,     nullptr,       nullptr,         nullptr, false,       true,
    &grib_reader,         false,         wrapped_rotates,
};
