#include "data/gridread.h"
#include "data/readers.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/alloc.h"
#include "base/fnmtemplate.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/numfmt.h"
#include "base/safefile.h"
#include "base/timecal.h"
#include "data/filerec.h"
#include "data/result.h"
#include "base/wide.h"

namespace {

int msgflg = 1;

// Conversion buffer for the non-float data forms, kept between reads for
// the life of the process; it only grows.
struct conversion_buffer {
  unsigned char* bytes = nullptr;
  std::size_t size = 0;
};

conversion_buffer scratch;

void fill(float* v, int64_t n, float u) {
  for (int64_t i = 0; i < n; i++) v[i] = u;
}

int element_size(int form) {
  switch (form) {
    case 1: return 1;
    case 2:
    case -2: return 2;
    default: return 4;
  }
}

const char* current_data_name(const read_request& rq) {
  file_descriptor* pfi = rq.file;
  if (pfi->template_flag && pfi->open_template_name) return pfi->open_template_name;
  return pfi->data_file_name;
}

// Seek to an element offset; prints the seek-error lines of the caller's
// kind (y-x reads report differently) and returns 1 on failure.
int seek_element(const read_request& rq, int64_t offset, int esize, bool yx) {
  file_descriptor* pfi = rq.file;
  int rc = -1;
  bool ok =
      pfi->data_stream && offset >= 0 && offset <= (INT64_MAX - pfi->file_header_bytes) / esize;
  if (ok) {
    int64_t pos = offset * esize + pfi->file_header_bytes;
    rc = fseeko(pfi->data_stream, static_cast<off_t>(pos), SEEK_SET);
    if (rc == 0) return 0;
  }
  kaprnt(msg_level::error, "Low Level I/O Error:  Seek error on data file \n");
  if (yx) {
    kaprntf(msg_level::error, "%d  rc=%ld pos=%ld pfi->fhdr =%ld \n", 486, long(rc), long(offset),
            long(pfi->file_header_bytes));
    kaprntf(msg_level::error, "  Data file name = %s \n", current_data_name(rq));
  } else {
    kaprntf(msg_level::error, "  Data file name = %s \n", current_data_name(rq));
    kaprntf(msg_level::error, "%d rc=%d pos=%ld pfi->fhdr =%d\n", 619, rc, long(offset),
            int(pfi->file_header_bytes));
  }
  kaprntf(msg_level::error, "  Error occurred when seeking to byte %li \n", long(offset));
  return 1;
}

void read_error(const read_request& rq, int64_t n, int64_t offset) {
  kaprnt(msg_level::error, "Low Level I/O Error:  Read error on data file \n");
  kaprntf(msg_level::error, "  Data file name = %s \n", current_data_name(rq));
  kaprntf(msg_level::error, "  Error reading %lli bytes at location %li \n",
          static_cast<long long>(n), long(offset));
}

bool scratch_for(std::size_t bytes, const char* message) {
  if (bytes <= scratch.size) return true;
  auto* p = static_cast<unsigned char*>(karealloc(scratch.bytes, bytes, message));
  scratch.bytes = p;
  scratch.size = bytes;
  return true;
}

// Copies n values from src to dst, where values inside the tolerance band
// (lo, hi), NaN and infinities become u. dst may be src itself or lie before
// it: each value is read before anything at or after it is written. In
// place, most blocks hold nothing to change, so each block of 64 is looked
// at first and written only when it has one; the tests run without
// branches, in vector registers. A value is kept when it is finite and at or
// beyond an end of the band.
VEMRA_WIDE void band_copy(const float* src, float* dst, int64_t n, float lo, float hi, float u) {
  const float8 l = {lo, lo, lo, lo, lo, lo, lo, lo};
  const float8 h = {hi, hi, hi, hi, hi, hi, hi, hi};
  constexpr float m = FLT_MAX;
  const float8 top = {m, m, m, m, m, m, m, m};
  const float8 uu = {u, u, u, u, u, u, u, u};
  const bool in_place = src == dst;
  int64_t i = 0;
  for (; i + 64 <= n; i += 64) {
    if (in_place) {
      int8v keep = {-1, -1, -1, -1, -1, -1, -1, -1};
      for (int k = 0; k < 64; k += 8) {
        float8 v;
        std::memcpy(&v, src + i + k, sizeof v);
        keep &= ((v <= l) | (v >= h)) & (v >= -top) & (v <= top);
      }
      const long4 kk = reinterpret_cast<long4>(keep);
      if ((kk[0] & kk[1] & kk[2] & kk[3]) == -1) continue;
    }
    for (int k = 0; k < 64; k += 8) {
      float8 v;
      std::memcpy(&v, src + i + k, sizeof v);
      v = (((v <= l) | (v >= h)) & (v >= -top) & (v <= top)) ? v : uu;
      std::memcpy(dst + i + k, &v, sizeof v);
    }
  }
  for (; i + 8 <= n; i += 8) {
    float8 v;
    std::memcpy(&v, src + i, sizeof v);
    v = (((v <= l) | (v >= h)) & (v >= -top) & (v <= top)) ? v : uu;
    std::memcpy(dst + i, &v, sizeof v);
  }
  for (; i < n; i++) {
    const float v = src[i];
    const bool missing = ((v > lo) & (v < hi)) | !(std::fabs(v) <= FLT_MAX);
    dst[i] = missing ? u : v;
  }
}

void apply_band(float* values, int64_t n, float lo, float hi, float u) {
  band_copy(values, values, n, lo, hi, u);
}

// Converts n stored elements to float by the variable's data form, in the
// file's byte order. out may be raw itself, or lie at or before it when the
// elements are narrower than floats: element i is taken before out[i] is
// written, so raw may sit at the very end of out's memory.
void decode(const read_request& rq, const unsigned char* raw, int64_t n, float* out) {
  file_descriptor* pfi = rq.file;
  const variable_descriptor* pvr = rq.var;
  const int form = pvr->data_form;
  const bool swap = pfi->byte_swap;
  if (form == 1) {
    for (int64_t i = 0; i < n; i++) out[i] = raw[i];
  } else if (element_size(form) == 2) {
    for (int64_t i = 0; i < n; i++) {
      unsigned char b[2] = {raw[2 * i], raw[2 * i + 1]};
      if (swap) std::swap(b[0], b[1]);
      uint16_t u;
      std::memcpy(&u, b, 2);
      out[i] = form == 2 ? float(u) : float(static_cast<int16_t>(u));
    }
  } else if (form == 4) {
    for (int64_t i = 0; i < n; i++) {
      uint32_t u;
      std::memcpy(&u, raw + 4 * i, 4);
      if (swap) u = __builtin_bswap32(u);
      out[i] = static_cast<float>(static_cast<int32_t>(u));
    }
  } else {
    if (static_cast<const void*>(raw) != out) std::memmove(out, raw, std::size_t(n) * 4);
    if (swap) kabswp(out, static_cast<std::size_t>(n));
  }
}

// Reads n elements at the current position into values, converted to float
// in the file's byte order, then the tolerance band (and any NaN) becomes the
// grid's undefined value. Returns the count read in full.
int64_t read_elements(const read_request& rq, int64_t n, float* values) {
  file_descriptor* pfi = rq.file;
  const variable_descriptor* pvr = rq.var;
  const grid_field* pgr = rq.grid;
  const int form = pvr->data_form;
  const int esize = element_size(form);
  FILE* fp = pfi->data_stream;
  int64_t got;
  if (esize == 4 && form != 4) {
    got = static_cast<int64_t>(std::fread(values, 4, static_cast<std::size_t>(n), fp));
    decode(rq, reinterpret_cast<unsigned char*>(values), got, values);
  } else {
    const char* msg = form == 1    ? "Memory Allocation Error:  char grid storage \n"
                      : esize == 2 ? "Memory Allocation Error:  integer*2 storage \n"
                                   : "Memory Allocation Error:  integer*4 storage \n";
    if (!scratch_for(static_cast<std::size_t>(n) * esize, msg)) return -1;
    got = static_cast<int64_t>(std::fread(scratch.bytes, esize, static_cast<std::size_t>(n), fp));
    decode(rq, scratch.bytes, got, values);
  }
  apply_band(values, got, pfi->undef_low, pfi->undef_high, pgr->undef);
  return got;
}

// Byte position of an element offset; false when it cannot be one.
bool byte_position(const read_request& rq, int64_t offset, int esize, int64_t* pos) {
  file_descriptor* pfi = rq.file;
  if (!pfi->data_stream || offset < 0 || offset > (INT64_MAX - pfi->file_header_bytes) / esize)
    return false;
  *pos = offset * esize + pfi->file_header_bytes;
  return true;
}

// Reads bytes at a byte position straight into buf, past the stream's
// buffer; the stream's position is left alone (every stream read here
// seeks first). Returns the count read.
int64_t read_at(const read_request& rq, int64_t pos, void* buf, int64_t bytes) {
  file_descriptor* pfi = rq.file;
  const int fd = fileno(pfi->data_stream);
  int64_t done = 0;
  while (done < bytes) {
    const std::size_t want = std::size_t(std::min<int64_t>(bytes - done, int64_t(1) << 30));
    const ssize_t r = pread(fd, static_cast<char*>(buf) + done, want, off_t(pos + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += r;
  }
  return done;
}

// Reads of at least this many bytes skip the stream's small buffer.
constexpr int64_t kDirectBytes = 16384;

// Reads n elements at an element offset (n may exceed the int of karead).
// A large read goes in one piece into the values' own memory: the stored
// elements at its end, widened to floats from the front.
int read_block(const read_request& rq, int64_t offset, int64_t n, float* values) {
  file_descriptor* pfi = rq.file;
  const variable_descriptor* pvr = rq.var;
  const grid_field* pgr = rq.grid;
  const int esize = element_size(pvr->data_form);
  int64_t pos;
  if (n * esize >= kDirectBytes && byte_position(rq, offset, esize, &pos)) {
    auto* raw = reinterpret_cast<unsigned char*>(values) + n * (4 - esize);
    if (read_at(rq, pos, raw, n * esize) < n * esize) {
      read_error(rq, n, offset);
      return 1;
    }
    decode(rq, raw, n, values);
    apply_band(values, n, pfi->undef_low, pfi->undef_high, pgr->undef);
    return 0;
  }
  if (seek_element(rq, offset, esize, false)) return 1;
  int64_t got = read_elements(rq, n, values);
  if (got < 0) return 1;
  if (got < n) {
    read_error(rq, n, offset);
    return 1;
  }
  return 0;
}

// The x-varying walk over rows of a plain binary file. Each outer index is
// one output row of isiz values fed by one piece of the file row: k
// elements from column c0. Pieces of consecutive rows lying a constant
// stride apart (forwards or backwards, with at most a small gap between
// them) form one span of the file and come in one read; the wrapped,
// reversed and out-of-file positions are then filled in memory. A span
// whose stride is no longer than an output row is read into the tail of
// the grid's own rows and spread out from the front; any other goes
// through the side buffer.
struct row_spans {
  read_request* rq;
  float* values;
  int64_t isiz, lo;
  int od, a, nx, turn, c0, k, esize;
  bool wraps, identity, whole_rows;
  float undef;
  // The pending span: output rows r0..r0+n-1, the first piece at element
  // offset off0, each next one stride elements on.
  int64_t r0 = 0, n = 0, off0 = 0, stride = 0;
};

// Gaps up to this many bytes between pieces are read through.
constexpr int64_t kMergeGap = 8192;
// A span read through the side buffer is at most this long (or one piece).
constexpr int64_t kSideCap = int64_t(8) << 20;

// One piece of the file row, as floats, spread into an output row.
void place_row(const row_spans& w, const float* piece, float* dest) {
  if (w.wraps) {
    x_runs(w.nx, w.turn, w.a, w.isiz, [&](int64_t i, int64_t c, int64_t m) {
      std::memcpy(dest + i, piece + c - 1, std::size_t(m) * 4);
    });
  } else {
    fill(dest, w.isiz, w.undef);
    std::memcpy(dest + (w.c0 - w.a), piece, std::size_t(w.k) * 4);
  }
}

// Reads the pending span and spreads it: 0 or 1.
int flush_span(row_spans& w, int* idx) {
  read_request& rq = *w.rq;
  file_descriptor* pfi = rq.file;
  if (w.n == 0) return 0;
  const int64_t n = w.n, step = w.stride < 0 ? -w.stride : w.stride;
  const int64_t unit = n == 1 ? w.k : step;
  const int64_t count = (n - 1) * step + w.k;
  const int64_t bytes = count * w.esize;
  const int64_t first = w.stride < 0 ? w.off0 + (n - 1) * w.stride : w.off0;
  float* dest = w.values + w.r0 * w.isiz;
  const bool in_place = unit <= w.isiz;
  const int64_t r0 = w.r0;
  w.n = 0;
  unsigned char* raw;
  if (in_place) {
    raw = reinterpret_cast<unsigned char*>(dest) + n * w.isiz * 4 - bytes;
  } else {
    if (!scratch_for(std::size_t(bytes), "Memory Allocation Error:  grid storage \n")) return 1;
    raw = scratch.bytes;
  }
  int64_t pos;
  if (!byte_position(rq, first, w.esize, &pos) || read_at(rq, pos, raw, bytes) < bytes) {
    // Report as the row-by-row reads would (whole rows as their one read).
    if (w.whole_rows) {
      if (read_block(rq, first, count, dest)) return 1;
      if (w.stride < 0)
        for (int64_t i = 0, j = n - 1; i < j; i++, j--)
          std::swap_ranges(dest + i * w.isiz, dest + (i + 1) * w.isiz, dest + j * w.isiz);
      return 0;
    }
    for (int64_t r = 0; r < n; r++) {
      idx[w.od] = int(w.lo + r0 + r);
      if (kagrow(rq, dest + r * w.isiz, idx) > 0) return 1;
    }
    return 0;
  }
  const int64_t piece = w.k * w.esize, gap = step * w.esize;
  if (w.stride < 0)
    for (int64_t i = 0, j = n - 1; i < j; i++, j--)
      std::swap_ranges(raw + i * gap, raw + i * gap + piece, raw + j * gap);
  if (in_place && w.identity) {
    // Rows back to back, as the grid holds them.
    decode(rq, raw, count, dest);
    apply_band(dest, count, pfi->undef_low, pfi->undef_high, w.undef);
    return 0;
  }
  // Four-byte pieces in the grid's memory are converted where they lie and
  // moved down into their row, which ends before the next piece begins; a
  // wrapped row starting at the first column of a turn of all columns then
  // repeats its own start.
  const bool move_down =
      in_place && w.esize == 4 && (!w.wraps || (w.turn == w.nx && (w.a - 1) % w.nx == 0));
  for (int64_t r = 0; r < n; r++) {
    float* row = dest + r * w.isiz;
    if (move_down) {
      auto* p = reinterpret_cast<float*>(raw + r * gap);
      decode(rq, raw + r * gap, w.k, p);
      const int64_t at = w.wraps ? 0 : w.c0 - w.a;
      band_copy(p, row + at, w.k, pfi->undef_low, pfi->undef_high, w.undef);
      if (w.wraps) {
        for (int64_t i = w.k; i < w.isiz; i++) row[i] = row[i - w.k];
      } else {
        fill(row, at, w.undef);
        fill(row + at + w.k, w.isiz - at - w.k, w.undef);
      }
      continue;
    }
    float* out = w.identity ? row : pfi->data_buffer;
    decode(rq, raw + r * gap, w.k, out);
    apply_band(out, w.k, pfi->undef_low, pfi->undef_high, w.undef);
    if (!w.identity) place_row(w, out, row);
  }
  return 0;
}

// Adds output row r with its piece at element offset off to the pending
// span when it continues it; false when the span must be read first.
bool extend_span(row_spans& w, int64_t r, int64_t off) {
  if (w.n == 0 || r != w.r0 + w.n) return false;
  const int64_t d = off - (w.off0 + (w.n - 1) * w.stride);
  if (w.n > 1 && d != w.stride) return false;
  const int64_t step = d < 0 ? -d : d;
  if (step < w.k || (step - w.k) * w.esize > kMergeGap) return false;
  if (step > w.isiz && (w.n * step + w.k) * w.esize > kSideCap) return false;
  w.stride = d;
  w.n++;
  return true;
}

int walk_spans(read_request& rq, int* idx, const int* size, int od, float* values, bool* read) {
  file_descriptor* pfi = rq.file;
  const variable_descriptor* pvr = rq.var;
  const grid_field* grid = rq.grid;
  row_spans w;
  w.rq = &rq;
  w.values = values;
  w.isiz = grid->isiz;
  w.od = od;
  w.lo = grid->dim_min[od];
  const int64_t hi = grid->dim_max[od];
  w.a = grid->dim_min[0];
  const int b = grid->dim_max[0];
  w.nx = pfi->x_size;
  w.turn = x_turn(pfi);
  w.undef = grid->undef;
  w.esize = element_size(pvr->data_form);
  w.identity = w.a >= 1 && b <= w.nx;
  w.wraps = !w.identity && pfi->x_wraps;
  w.whole_rows = od == 1 && w.a == 1 && b == w.nx;
  if (w.identity) {
    w.c0 = w.a;
    w.k = b - w.a + 1;
  } else if (w.wraps) {
    w.c0 = 1;
    w.k = w.nx;
  } else {
    w.c0 = std::max(w.a, 1);
    w.k = std::min(b, w.nx) - w.c0 + 1;
  }
  if (!w.identity && !pfi->data_buffer) {
    kaprnt(msg_level::error, "Memory Allocation Error:  grid storage \n");
    return 1;
  }
  const bool none = w.k < 1;
  for (int64_t o = w.lo; o <= hi; o++) {
    const int64_t r = o - w.lo;
    float* dest = values + r * w.isiz;
    idx[od] = int(o);
    if (o < 1 || o > size[od] || none) {
      if (flush_span(w, idx)) return 1;
      fill(dest, w.isiz, w.undef);
      continue;
    }
    int tt = idx[3];
    if (pfi->template_flag) {
      if (pfi->template_file_numbers &&
          pfi->template_file_numbers[idx[3] - 1] != pfi->open_template_time && flush_span(w, idx))
        return 1;
      idx[od] = int(o);
      int opened = 0;
      tt = kaopfn(rq, idx[3], &opened);
      if (tt == -99999) return 1;
      if (tt == -88888) {
        // The file is missing: the row reader fills its undefined value.
        if (kagrow(rq, dest, idx) > 0) return 1;
        *read = true;
        continue;
      }
    }
    const int64_t off = kafcor(rq, w.c0, idx[1], idx[2], tt);
    if (!extend_span(w, r, off)) {
      if (flush_span(w, idx)) return 1;
      w.r0 = r;
      w.n = 1;
      w.off0 = off;
      w.stride = 0;
    }
    *read = true;
  }
  if (flush_span(w, idx)) return 1;
  idx[od] = int(w.whole_rows ? w.lo : hi);
  return 0;
}

void beyond_limits(const int* idx, const int* size) {
  if (mfcmn.warn_level <= 0) return;
  kaprnt(msg_level::info, "Data Request Warning:  Request beyond file limits\n");
  kaprnt(msg_level::result, "  Entire grid contents are set to missing data \n");
  kaprntf(msg_level::result, "  Dimension ranges are:  X = %i %i  Y = %i %i ", idx[0], size[0],
          idx[1], size[1]);
  kaprntf(msg_level::result, " Z = %i %i  T = %i %i \n", idx[2], size[2], idx[3], size[3]);
}

bool inside(int v, int n) { return v >= 1 && v <= n; }

}  // namespace

void kaiomg() { msgflg = 1; }

grid_read kaggrd(grid_field* grid) {
  read_request rq;
  rq.grid = grid;
  rq.var = grid->variable;
  rq.file = grid->file;
  file_descriptor* pfi = rq.file;
  variable_descriptor* pvr = rq.var;
  if (!pfi) {
    kaprnt(msg_level::error, "Data Request Error:  No data set for the request\n");
    return grid_read_failed;
  }
  const reader* rd = reader_of(pfi);
  if (rd->start) rd->start(rq);

  if (rd->interpolates && msgflg) {
    kaprnt(msg_level::notice, "Notice:  Automatic Grid Interpolation Taking Place\n");
    msgflg = 0;
  }
  if (rd->whole) return rd->whole(rq);

  const int idim = grid->idim, jdim = grid->jdim;
  if (idim < -1 || idim > 3 || jdim < -1 || jdim > 3 || (idim == -1 && jdim != -1) ||
      (idim >= 0 && idim == jdim)) {
    kaprntf(msg_level::error, "Internal logic check 16:  %i %i  \n", idim, jdim);
    return grid_read_bad_dims;
  }

  int64_t isiz = idim < 0 ? 1 : int64_t(grid->dim_max[idim]) - grid->dim_min[idim] + 1;
  int64_t jsiz = jdim < 0 ? 1 : int64_t(grid->dim_max[jdim]) - grid->dim_min[jdim] + 1;
  static const char kNoStorage[] = "Memory Allocation Error:  grid storage \n";
  // A grid the process cannot hold is refused as such, before the limit of
  // a grid's index type turns it away; the grids an expression already
  // holds count against what is left.
  if (idim >= 0 && isiz >= 1 && jsiz >= 1) {
    const double points = double(isiz) * double(jsiz);
    kareserve(points, points * sizeof(float), kNoStorage);
  }
  if (isiz < 1 || jsiz < 1 || isiz * jsiz > INT32_MAX) {
    kaprnt(msg_level::error, kNoStorage);
    return grid_read_failed;
  }
  grid->isiz = static_cast<int>(isiz);
  grid->jsiz = static_cast<int>(jsiz);
  // A grid with a varying dimension owns its value array, even of one point.
  if (idim >= 0) {
    grid->values =
        static_cast<float*>(kamalloc(sizeof(float) * std::size_t(isiz * jsiz), kNoStorage));
  } else {
    grid->values = &grid->min_value;
  }
  float* values = grid->values;

  if (pvr && pvr->levels < -900) return kagpre(rq);
  if (!pvr) {
    kaprnt(msg_level::error, "Data Request Error:  No variable for the request\n");
    return grid_read_failed;
  }

  int idx[4], size[4];
  for (int d = 0; d < 4; d++) idx[d] = grid->dim_min[d];
  size[0] = pfi->x_size;
  size[1] = pfi->y_size;
  size[2] = pvr->levels;
  size[3] = pfi->t_size;
  const float undef = grid->undef;
  if (pvr->levels == 0) {
    if (idim != 2 && jdim != 2) {
      // A surface variable is read at level 1 whatever the z request.
      size[2] = 1;
      idx[2] = 1;
    } else {
      if (mfcmn.warn_level > 0) {
        kaprnt(msg_level::info, "Data Request Warning:  Varying Z dimension environment...\n");
        kaprnt(msg_level::info, "  but the requested variable has no Z dimension\n");
        kaprnt(msg_level::result, "  Entire grid contents are set to missing data \n");
      }
      fill(values, isiz * jsiz, undef);
      if (idim < 0) grid->max_value = grid->min_value;
      return grid_read_outside;
    }
  }

  if (idim != 0 && jdim != 0 && pfi->x_wraps && pfi->x_size > 0) {
    idx[0] = int(x_column(pfi, idx[0]));
    grid->dim_min[0] = grid->dim_max[0] = idx[0];
  }

  bool outside = false;
  for (int d = 0; d < 4; d++)
    if (d != idim && d != jdim && !inside(idx[d], size[d])) outside = true;
  if (outside) {
    fill(values, isiz * jsiz, undef);
    if (idim < 0) grid->max_value = grid->min_value;
    beyond_limits(idx, size);
    return grid_read_outside;
  }

  if (rd->block) return static_cast<grid_read>(rd->block(rq, values));
  if (!rd->row) {
    kaprntf(msg_level::error, "Data Request Error:  %s data sets hold no grids\n", rd->name);
    return grid_read_failed;
  }

  bool read = false;
  if (idim == 0) {
    const int od = jdim < 0 ? 1 : jdim;
    const int64_t lo = grid->dim_min[od], hi = grid->dim_max[od];
    const bool plain = rd->spans && !pvr->yx_order;
    if (plain) {
      if (walk_spans(rq, idx, size, od, values, &read)) return grid_read_failed;
    } else {
      for (int64_t o = lo; o <= hi; o++) {
        float* row = values + (o - lo) * isiz;
        idx[od] = int(o);
        if (o < 1 || o > size[od]) {
          fill(row, isiz, undef);
          continue;
        }
        grid_read rc = kagrow(rq, row, idx);
        if (rc > grid_read_ok) return grid_read_failed;
        if (rc == grid_read_ok) read = true;
      }
    }
  } else {
    int id, jd;
    if (idim < 0) {
      id = 0;
      jd = 1;
    } else if (jdim < 0) {
      id = idim;
      jd = 0;
    } else {
      id = idim;
      jd = jdim;
    }
    float* v = values;
    for (int64_t j = grid->dim_min[jd]; j <= grid->dim_max[jd]; j++) {
      idx[jd] = int(j);
      if (j < 1 || j > size[jd]) {
        fill(v, isiz, undef);
        v += isiz;
        continue;
      }
      for (int64_t i = grid->dim_min[id]; i <= grid->dim_max[id]; i++, v++) {
        idx[id] = int(i);
        if (i < 1 || i > size[id]) {
          *v = undef;
          continue;
        }
        if (karrow(rq, idx[0], idx[1], idx[2], idx[3], 1, v)) return grid_read_failed;
        read = true;
      }
    }
  }
  if (idim < 0) grid->max_value = grid->min_value;
  if (read) return grid_read_ok;
  beyond_limits(idx, size);
  return grid_read_outside;
}

grid_read kagrow(read_request& rq, float* values, const int* idx) {
  file_descriptor* pfi = rq.file;
  const grid_field* pgr = rq.grid;
  const int a = pgr->dim_min[0], b = pgr->dim_max[0], nx = pfi->x_size;
  const int y = idx[1], z = idx[2], t = idx[3];
  if (a >= 1 && b <= nx)
    return karrow(rq, a, y, z, t, b - a + 1, values) ? grid_read_failed : grid_read_ok;
  if (!pfi->x_wraps) {
    fill(values, pgr->isiz, pgr->undef);
    if ((a < 1 && b < 1) || (a > nx && b > nx)) return grid_read_outside;
    int lo = a < 1 ? 1 : a, hi = b > nx ? nx : b;
    return karrow(rq, lo, y, z, t, hi - lo + 1, values + (lo - a)) ? grid_read_failed
                                                                   : grid_read_ok;
  }
  // A wrapping row is read whole once and copied round as often as asked.
  float* buf = pfi->data_buffer;
  if (!buf) {
    kaprnt(msg_level::error, "Memory Allocation Error:  grid storage \n");
    return grid_read_failed;
  }
  if (karrow(rq, 1, y, z, t, nx, buf)) return grid_read_failed;
  x_runs(nx, x_turn(pfi), a, int64_t(b) - a + 1, [&](int64_t i, int64_t c, int64_t m) {
    std::memcpy(values + i, buf + c - 1, std::size_t(m) * sizeof(float));
  });
  return grid_read_ok;
}

int karrow(read_request& rq, int x, int y, int z, int t, int n, float* values) {
  file_descriptor* pfi = rq.file;
  int tt = t;
  if (pfi->template_flag) {
    int opened = 0;
    tt = kaopfn(rq, t, &opened);
    if (tt == -99999) return 1;
    if (tt == -88888) {
      fill(values, n, pfi->undef);
      return 0;
    }
  }
  return reader_of(pfi)->row(rq, x, y, z, t, tt, n, values);
}

namespace {

int64_t time_index(const read_request& rq, int t) {
  file_descriptor* pfi = rq.file;
  int64_t tt = t;
  if (pfi->toff_flag) {
    tt = int64_t(t) + pfi->toff;
    if (tt > pfi->t_size) tt -= pfi->t_size;
  }
  return tt;
}

int64_t level_index(const read_request& rq, int z) {
  file_descriptor* pfi = rq.file;
  const variable_descriptor* pvr = rq.var;
  if (pfi->zrev) return pvr->levels ? int64_t(pvr->levels) - z : 0;
  return int64_t(z) - 1;
}

}  // namespace

int64_t kafcor(const read_request& rq, int x, int y, int z, int t) {
  file_descriptor* pfi = rq.file;
  const variable_descriptor* pvr = rq.var;
  const int64_t tt = time_index(rq, t);
  const int64_t yy = pfi->yrev ? int64_t(pfi->y_size) - y : int64_t(y) - 1;
  const int64_t zz = level_index(rq, z);
  int64_t off;
  if (pvr->time_block) {
    int64_t nl = pvr->levels > 1 ? pvr->levels : 1;
    off = (tt - 1) * pfi->grid_words * nl + zz * pfi->grid_words + pvr->offset + yy * pfi->x_size +
          (x - 1);
  } else {
    off = (tt - 1) * pfi->time_words + pvr->offset + zz * pfi->grid_words * pvr->multiplier +
          yy * pfi->x_size + (x - 1);
  }
  return off + pfi->xy_header_words + pfi->time_header_words;
}

int64_t kafcyx(const read_request& rq, int x, int y, int z, int t) {
  file_descriptor* pfi = rq.file;
  const variable_descriptor* pvr = rq.var;
  const int64_t tt = time_index(rq, t);
  const int64_t yy = pfi->yrev ? int64_t(pfi->y_size) - y : int64_t(y) - 1;
  const int64_t zz = level_index(rq, z);
  int64_t off = (tt - 1) * pfi->time_words + zz * pfi->grid_words * pvr->multiplier + pvr->offset +
                int64_t(x - 1) * pfi->y_size + yy;
  return off + pfi->xy_header_words + pfi->time_header_words;
}

int karead(read_request& rq, int64_t offset, int n, float* values) {
  return read_block(rq, offset, n, values);
}

int kardyx(read_request& rq, int64_t offset, int n, float* values) {
  file_descriptor* pfi = rq.file;
  const variable_descriptor* pvr = rq.var;
  // Every element is converted by its data form, as on the x-y path.
  const int esize = element_size(pvr->data_form);
  for (int i = 0; i < n; i++) {
    if (seek_element(rq, offset, esize, true)) return 1;
    int64_t got = read_elements(rq, 1, values + i);
    if (got < 0) return 1;
    if (got < 1) {
      read_error(rq, 1, offset);
      return 1;
    }
    offset += pfi->y_size;
  }
  return 0;
}

int kaopfn(read_request& rq, int t, int* opened) {
  file_descriptor* pfi = rq.file;
  *opened = 0;
  if (t < 1 || t > pfi->t_size || !pfi->template_file_numbers) return -99999;
  const int f = pfi->template_file_numbers[t - 1];
  if (f != pfi->open_template_time) {
    std::string name;
    if (f == rq.failed_template) {
      name = rq.failed_template_name;
    } else {
      if (pfi->data_stream) {
        std::fclose(pfi->data_stream);
        pfi->data_stream = nullptr;
      }
      kafree(pfi->open_template_name);
      pfi->open_template_name = nullptr;
      pfi->open_template_time = 0;
      const float* ts = pfi->grid_to_world_scaling[3];
      date_time tf{}, t1{};
      gr2t(ts, double(f), &tf);
      gr2t(ts, 1.0f, &t1);
      name = kafndt(pfi->data_file_name, &tf, &t1, ts, pfi->data_file_literal);
      if (name.empty()) return -99999;
      pfi->data_stream = fopen_regular(name, "rb");
      if (pfi->data_stream) {
        pfi->open_template_name = kastrdup(name.c_str());
        if (!pfi->open_template_name) {
          std::fclose(pfi->data_stream);
          pfi->data_stream = nullptr;
          kaprnt(msg_level::error, "Memory Allocation Error:  template file name \n");
          return -99999;
        }
        pfi->open_template_time = f;
        *opened = 1;
        if (const reader* rd = reader_of(pfi); rd->switched) rd->switched(rq);
        return t - f + 1;
      }
      rq.failed_template = f;
      rq.failed_template_name = name;
    }
    if (pfi->misswarn && rq.timerr != t) {
      kaprnt(msg_level::info, "Warning: Open error, fn = ");
      kaprnt(msg_level::info, name);
      kaprnt(msg_level::info, "\n");
      rq.timerr = t;
    }
    return -88888;
  }
  return t - f + 1;
}

namespace {

// Native rows of a binary file read so far for the current request, when a
// wrapping reader asks for target rows: every native row is then read once,
// in one piece, instead of the two neighbour pairs of each target point.
struct native_rows {
  int64_t base = -1;             // element position of the native grid
  const FILE* stream = nullptr;  // the data file they came from
  std::vector<std::vector<float>> rows;
} native_cache;

void binary_start(read_request&) {
  native_cache.rows.clear();
  native_cache.base = -1;
  native_cache.stream = nullptr;
}

int binary_row(read_request& rq, int x, int y, int z, int, int tfile, int n, float* values) {
  if (rq.var->yx_order) return kardyx(rq, kafcyx(rq, x, y, z, tfile), n, values);
  return karead(rq, kafcor(rq, x, y, z, tfile), n, values);
}

// count consecutive native values at a native offset of the request's
// variable, level and time.
int binary_native(read_request& rq, int, int, int z, int, int tfile, int64_t native, int count,
                  float* v) {
  const file_descriptor* pfi = rq.file;
  // The headers before each grid and each time block are counted in
  // grid_words and time_words; they are skipped here as on every other path.
  const int64_t base = (int64_t(tfile) - 1) * pfi->time_words + (int64_t(z) - 1) * pfi->grid_words +
                       rq.var->offset + pfi->xy_header_words + pfi->time_header_words;
  if (rq.grid->idim != 0) return karead(rq, base + native, count, v);
  const int64_t isize = pfi->native_isize;
  if (native_cache.base != base || native_cache.stream != pfi->data_stream) {
    native_cache.rows.assign(static_cast<std::size_t>(pfi->native_jsize), {});
    native_cache.base = base;
    native_cache.stream = pfi->data_stream;
  }
  const int64_t j = native / isize, i = native % isize;
  std::vector<float>& row = native_cache.rows[static_cast<std::size_t>(j)];
  if (row.empty()) {
    row.resize(static_cast<std::size_t>(isize));
    if (karead(rq, base + j * isize, static_cast<int>(isize), row.data())) {
      row.clear();
      return 1;
    }
  }
  std::memcpy(v, row.data() + i, sizeof(float) * static_cast<std::size_t>(count));
  return 0;
}

}  // namespace

const reader binary_reader = {
    "Binary", binary_start, nullptr, nullptr, binary_row, binary_native, nullptr, nullptr,
    nullptr,  nullptr,      true,    false,   nullptr,    false,         nullptr,
};
