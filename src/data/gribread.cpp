#include "data/gribread.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "base/message.h"
#include "data/filerec.h"
#include "data/gribindex.h"
#include "data/gridread.h"
#include "data/reader.h"
#include "data/readers.h"
#include "data/result.h"

namespace {

// What the rows of one grid request share: cleared at the start of each
// request and when the request moves to another file (the buffers keep their
// size for the life of the process).
struct grib_row_cache {
  // Bit map of the record last read: raw, and expanded (a set point holds
  // 1 + the number of set points before it, a clear one the negative of that;
  // the entry after the last point holds 1 + all set points).
  std::vector<unsigned char> bcache;
  std::vector<int> bpcach;
  int64_t bpsav = -999;

  // Whole packed data of one record, for pre-projected grids.
  std::vector<unsigned char> cache;
  bool cflag = false;
  int64_t cache_pos = -1, cache_len = 0;

  // Bytes read ahead of the run asked for, so that the rows of one record
  // come from one read of the data file.
  std::vector<unsigned char> ahead;
  int64_t ahead_pos = -1, ahead_len = 0;
  int64_t ahead_hint = 0;

  std::vector<uint32_t> fields;  // the packed values of one run, unpacked

  // Entry of the record whose message was last checked against the index.
  int64_t checked = -1;
};

grib_row_cache held;

constexpr int64_t kRowAhead = 256 * 1024;
constexpr int64_t kPointAhead = 4 * 1024;

const char* data_name(const read_request& rq) {
  const file_descriptor* pfi = rq.file;
  if (pfi->template_flag && pfi->open_template_name) return pfi->open_template_name;
  return pfi->data_file_name;
}

void io_error(const read_request& rq, int64_t count, int64_t pos) {
  kaprntf(msg_level::error, "GRIB I/O Error reading %lli bytes at %lli\n",
          static_cast<long long>(count), static_cast<long long>(pos));
  kaprnt(msg_level::error, "  File name is: ");
  kaprnt(msg_level::error, data_name(rq));
  kaprnt(msg_level::error, "\n");
}

// Up to n bytes at pos into buf: the count read, or -1 when pos can't be
// reached. Read by position, one call where the stream would seek and fill
// its buffer first: a series of one point reads a little of each of many
// messages.
int64_t read_some(const read_request& rq, int64_t pos, unsigned char* buf, int64_t n) {
  const file_descriptor* pfi = rq.file;
  std::FILE* f = pfi->data_stream;
  const int fd = f ? fileno(f) : -1;
  if (fd < 0 || pos < 0) return -1;
  int64_t got = 0;
  while (got < n) {
    const ssize_t r =
        ::pread(fd, buf + got, static_cast<size_t>(n - got), static_cast<off_t>(pos + got));
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return got > 0 ? got : -1;
    if (r == 0) break;
    got += r;
  }
  return got;
}

template <class V>
bool grow(V& v, int64_t n) {
  if (int64_t(v.size()) >= n) return true;
  try {
    v.resize(static_cast<size_t>(n));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

int load_bitmap(const read_request& rq, int64_t pos, int64_t npts) {
  const int64_t need = npts / 8 + 2;
  if (npts >= INT_MAX || !grow(held.bcache, need) || !grow(held.bpcach, npts + 1)) {
    kaprnt(msg_level::error, "Memory Allocation Error During GRIB I/O\n");
    return 1;
  }
  int64_t got = read_some(rq, pos, held.bcache.data(), need);
  if (got < (npts + 7) / 8) {
    kaprnt(msg_level::error, "GRIB I/O Error: Bit Map I/O\n");
    return 1;
  }
  int c = 1;
  int* out = held.bpcach.data();
  for (int64_t k = 0; k < npts; k++) {
    const int bit = (held.bcache[k >> 3] >> (7 - (k & 7))) & 1;
    out[k] = bit ? c++ : -c;
  }
  out[npts] = c;
  held.bpsav = pos;
  return 0;
}

void fill(float* v, int64_t n, float u) {
  for (int64_t i = 0; i < n; i++) v[i] = u;
}

}  // namespace

void kagribreset() {
  held.bpsav = -999;
  held.cflag = false;
  held.cache_pos = -1;
  held.ahead_pos = -1;
  held.ahead_len = 0;
  held.checked = -1;
}

void kagribfile() {
  held.bpsav = -999;
  held.cflag = false;
  held.ahead_pos = -1;
  held.ahead_len = 0;
  held.checked = -1;
}

int64_t grib_buffer_size(const file_descriptor* p) {
  int bits = 32;
  int64_t row = p->x_size;
  if (const grib_index* g = p->grib_index) {
    bits = 1;
    for (int i = 2; i < g->intnum; i += 3) bits = std::max(bits, g->intpnt[i]);
    if (g->hinum >= 4 && g->hipnt && g->hipnt[3] == 29) row = std::max<int64_t>(row, 145);
  }
  bits = std::min(bits, 32);
  if (preprojected(p)) row = std::max<int64_t>(row, 2);
  return row * bits / 8 + 16;
}

void grib_unpack(const unsigned char* buf, int64_t bit, int bits, int64_t count, uint32_t* out) {
  if (bits <= 0 || bits > 32) {
    std::fill(out, out + count, 0u);
    return;
  }
  if ((bit & 7) == 0 && bits % 8 == 0) {
    const unsigned char* q = buf + bit / 8;
    switch (bits) {
      case 8:
        for (int64_t k = 0; k < count; k++) out[k] = q[k];
        return;
      case 16:
        for (int64_t k = 0; k < count; k++) out[k] = uint32_t(q[2 * k]) << 8 | q[2 * k + 1];
        return;
      case 24:
        for (int64_t k = 0; k < count; k++)
          out[k] = uint32_t(q[3 * k]) << 16 | uint32_t(q[3 * k + 1]) << 8 | q[3 * k + 2];
        return;
      default:
        for (int64_t k = 0; k < count; k++)
          out[k] = uint32_t(q[4 * k]) << 24 | uint32_t(q[4 * k + 1]) << 16 |
                   uint32_t(q[4 * k + 2]) << 8 | q[4 * k + 3];
        return;
    }
  }
  // Any width at any position: a 64-bit window holds the up to 7 bits before
  // a field and its up to 32 bits.
  for (int64_t k = 0; k < count; k++, bit += bits) {
    uint64_t w;
    std::memcpy(&w, buf + (bit >> 3), 8);
    if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap64(w);
    out[k] = static_cast<uint32_t>((w << (bit & 7)) >> (64 - bits));
  }
}

int kaird(const read_request& rq, int64_t data_pos, int64_t byte_offset, int64_t byte_count,
          int64_t need, int64_t isize, int64_t jsize, int bits) {
  const file_descriptor* pfi = rq.file;
  const grid_field* pgr = rq.grid;
  unsigned char* out = pfi->grib_buffer;
  // Whole rows of a pre-projected grid touch the record all over: read it once.
  if (reader_of(pfi)->interpolates && pgr && pgr->idim == 0 && pgr->jdim == 1) {
    if (!held.cflag || held.cache_pos != data_pos) {
      const int64_t size = isize * jsize * bits / 8 + 5;
      if (!grow(held.cache, size)) {
        kaprnt(msg_level::error, "GRIB Memory Allocation Error\n");
        return 1;
      }
      int64_t got = read_some(rq, data_pos, held.cache.data(), size);
      if (got <= 0) {
        io_error(rq, size, data_pos);
        return 1;
      }
      std::memset(held.cache.data() + got, 0, static_cast<size_t>(size - got));
      held.cflag = true;
      held.cache_pos = data_pos;
      held.cache_len = got;
    }
    if (byte_offset + need > held.cache_len) {
      io_error(rq, need, data_pos + byte_offset);
      return 1;
    }
    const int64_t have =
        std::clamp<int64_t>(int64_t(held.cache.size()) - byte_offset, 0, byte_count);
    if (have > 0) std::memcpy(out, held.cache.data() + byte_offset, static_cast<size_t>(have));
    std::memset(out + have, 0, static_cast<size_t>(byte_count - have + 8));
    return 0;
  }
  const int64_t pos = data_pos + byte_offset;
  if (!(held.ahead_pos >= 0 && pos >= held.ahead_pos &&
        pos + byte_count <= held.ahead_pos + held.ahead_len)) {
    const int64_t want = std::max(byte_count, held.ahead_hint);
    if (!grow(held.ahead, want)) {
      kaprnt(msg_level::error, "GRIB Memory Allocation Error\n");
      return 1;
    }
    int64_t got = read_some(rq, pos, held.ahead.data(), want);
    if (got <= 0) {
      held.ahead_pos = -1;
      io_error(rq, byte_count, pos);
      return 1;
    }
    held.ahead_pos = pos;
    held.ahead_len = got;
  }
  // The bytes read past the run's values may lie beyond the end of the file
  // and read as zero; the run's own bytes must all be there, else the file
  // was cut after its message was checked.
  if (pos + need > held.ahead_pos + held.ahead_len) {
    io_error(rq, need, pos);
    return 1;
  }
  const int64_t have = std::min(byte_count, held.ahead_pos + held.ahead_len - pos);
  std::memcpy(out, held.ahead.data() + (pos - held.ahead_pos), static_cast<size_t>(have));
  std::memset(out + have, 0, static_cast<size_t>(byte_count - have + 8));
  return 0;
}

int kairow(read_request& rq, int i, int j, int z, int t, int native_offset, int count,
           float* values) {
  const file_descriptor* pfi = rq.file;
  const variable_descriptor* pvr = rq.var;
  if (count <= 0) return 0;
  const grib_index* g = pfi->grib_index;
  if (!g || !g->intpnt || !g->fltpnt || g->hinum < 4 || !g->hipnt) {
    kaprnt(msg_level::error, "Data Request Error:  GRIB data set has no index\n");
    return 1;
  }
  const bool pdef = reader_of(pfi)->interpolates;
  int64_t isize = pdef ? pfi->native_isize : pfi->x_size;
  int64_t jsize = pdef ? pfi->native_jsize : pfi->y_size;
  const int64_t irec = int64_t(t - 1) * pfi->time_records + pvr->record + (z - 1);
  int64_t e, row;
  if (g->hipnt[3] == 29) {
    // Two hemispheres of 145 x 37: rows 1-36 from the grid-30 message, rows
    // 37-73 from the grid-29 message.
    isize = 145;
    jsize = 37;
    e = j <= 36 ? 6 * irec : 6 * irec + 3;
    row = j <= 36 ? j - 1 : j - 37;
  } else {
    e = 3 * irec;
    row = pfi->yrev ? jsize - j : j - 1;
  }
  const int64_t npts = isize * jsize;
  int64_t p = pdef ? native_offset : row * isize + i - 1;
  bool run_ok = pdef ? true : (i >= 1 && i - 1 + count <= isize && row >= 0 && row < jsize);
  // Under yrev the native row j is the stored row jsize + 1 - j; the points
  // of one read lie in one native row.
  if (pdef && pfi->yrev && g->hipnt[3] != 29 && p >= 0) {
    run_ok = p % isize + count <= isize;
    p = (jsize - 1 - p / isize) * isize + p % isize;
  }
  if (irec < 0 || e + 2 >= g->intnum || e + 2 >= g->fltnum || !run_ok || p < 0 ||
      p + count > npts) {
    kaprnt(msg_level::error, "Data Request Error:  GRIB record or point outside the index\n");
    return 1;
  }

  const float undef = pfi->undef;
  const int bits = g->intpnt[e + 2];
  if (bits < 0) {
    fill(values, count, undef);
    return 0;
  }
  if (bits > 32) {
    kaprnt(msg_level::error,
           "Data Request Error:  GRIB index entry wider than 32 bits per value\n");
    return 1;
  }
  // The data file may have been replaced since the index was built: the
  // message must still be the one the index describes. Once per record and
  // request, as for the bit map.
  if (e != held.checked) {
    if (kackgmsg(pfi, pvr, z, t, e, data_name(rq))) return 1;
    held.checked = e;
  }
  const double dec = g->fltpnt[e], bin = g->fltpnt[e + 1], ref = g->fltpnt[e + 2];
  const int64_t bmpos = g->intpnt[e + 1];
  const bool bitmap = bmpos > -900;
  if (bitmap && bmpos != held.bpsav && load_bitmap(rq, bmpos, npts)) return 1;
  const int* bp = bitmap ? held.bpcach.data() : nullptr;

  int64_t first, last, nset, total;
  if (bitmap) {
    first = int64_t(bits) * (std::abs(bp[p]) - 1);
    last = int64_t(bits) * (std::abs(bp[p + count]) - 1) - 1;
    nset = std::abs(bp[p + count]) - std::abs(bp[p]);
    total = std::abs(bp[npts]) - 1;
  } else {
    first = int64_t(bits) * p;
    last = int64_t(bits) * (p + count);
    nset = count;
    total = npts;
  }

  // value = (field * binary factor + reference) / decimal factor.
  const double a = bin / dec, b = ref / dec;
  const double most = std::fabs(b) + (std::ldexp(1.0, bits) - 1) * std::fabs(a);
  const bool checked = !(most <= 3.4e38);  // also NaN factors from a damaged index
  auto value = [&](uint32_t x) -> float {
    const double v = x * a + b;
    if (checked && !(std::fabs(v) <= 3.4e38)) return undef;
    return static_cast<float>(v);
  };

  if (bits > 0 && nset > 0) {
    const int64_t byte_offset = first / 8;
    const int64_t byte_count = last / 8 - byte_offset + 2;
    // The bytes that hold the run's values.
    const int64_t need = (first + nset * bits + 7) / 8 - byte_offset;
    if (!pfi->grib_buffer || byte_count + 8 > pfi->grib_buffer_bytes) {
      kaprnt(msg_level::error, "Data Request Error:  GRIB run longer than the read buffer\n");
      return 1;
    }
    const int64_t record_bytes = total * bits / 8 + 2 - byte_offset;
    held.ahead_hint = std::min(record_bytes, count >= 2 ? kRowAhead : kPointAhead);
    if (kaird(rq, g->intpnt[e], byte_offset, byte_count, need, isize, jsize, bits)) return 1;
    if (!grow(held.fields, nset)) {
      kaprnt(msg_level::error, "Memory Allocation Error During GRIB I/O\n");
      return 1;
    }
    grib_unpack(pfi->grib_buffer, first - 8 * byte_offset, bits, nset, held.fields.data());
  }

  const float constant = value(0);
  if (!bitmap) {
    if (bits == 0) {
      fill(values, count, constant);
    } else if (!checked) {
      const uint32_t* f = held.fields.data();
      for (int64_t k = 0; k < count; k++) values[k] = static_cast<float>(f[k] * a + b);
    } else {
      for (int64_t k = 0; k < count; k++) values[k] = value(held.fields[k]);
    }
    return 0;
  }
  int64_t n = 0;
  for (int64_t k = 0; k < count; k++) {
    if (bp[p + k] < 0)
      values[k] = undef;
    else
      values[k] = bits == 0 ? constant : value(held.fields[n++]);
  }
  return 0;
}

namespace {

void grib_start(read_request&) { kagribreset(); }
void grib_switched(read_request& rq) {
  kagribfile();
  // The size of the file that was open is not this one's.
  if (const grib_index* g = rq.file->grib_index) g->sized_stream = nullptr;
}

// GRIB reads take the time of the whole series: the index knows the files.
int grib_row(read_request& rq, int x, int y, int z, int t, int, int n, float* values) {
  return kairow(rq, x, y, z, t, 0, n, values);
}

int grib_native(read_request& rq, int x, int y, int z, int t, int, int64_t native, int count,
                float* v) {
  if (native > INT32_MAX - count) {
    kaprnt(msg_level::error, "Data Request Error:  GRIB record or point outside the index\n");
    return 1;
  }
  return kairow(rq, x, y, z, t, static_cast<int>(native), count, v);
}

}  // namespace

const reader grib_reader = {
    "GRIB",  grib_start, nullptr, nullptr, grib_row, grib_native, grib_switched, nullptr,
    nullptr, nullptr,    false,   false,   nullptr,  false,       nullptr,
};
