#include "data/gribindex.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "base/alloc.h"
#include "base/message.h"
#include "base/numfmt.h"
#include "base/timecal.h"
#include "base/bitfield.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/gribbuild.h"
#include "data/reader.h"

namespace {

// A count read from a file must be usable as an array length; anything
// beyond this is a damaged file, not a data set.
constexpr int64_t max_count = 1LL << 30;

bool read_exact(FILE* f, void* buf, size_t n) { return n == 0 || std::fread(buf, 1, n, f) == n; }

// The record of the data file's identity after the portable layout: a tag,
// the size and the checksum, both 8 bytes big-endian.
constexpr unsigned char data_id_tag[4] = {'D', 'F', 'I', 'D'};
constexpr size_t data_id_bytes = 20;
// The record of the messages' places after it: a tag, a flag byte (1:
// forecast times ignored), the slot count (4 bytes), and per slot the
// message's start (-1 none) and length, 8 bytes each, big-endian.
constexpr unsigned char msg_tag[4] = {'M', 'S', 'G', 'S'};
constexpr size_t msg_head_bytes = 9;
constexpr size_t msg_slot_bytes = 16;
// The record of the grid after them: a tag, a flag byte (1: yrev), the
// latitudes of the first and last row and the longitudes of the first and
// last column (8-byte IEEE), the pdef's type and native sizes (4 bytes
// each) and its parameters (4-byte IEEE), all big-endian.
constexpr unsigned char grid_tag[4] = {'G', 'R', 'I', 'D'};
constexpr int grid_params = sizeof(grib_grid_id::pdef_params) / sizeof(float);
constexpr size_t grid_bytes = 4 + 1 + 4 * 8 + 3 * 4 + 4 * grid_params;
// Bytes of the data file's start and end that the checksum covers.
constexpr int64_t data_id_block = 64 * 1024;

void put_be64(uint64_t v, unsigned char* b) {
  for (int i = 7; i >= 0; i--, v >>= 8) b[i] = static_cast<unsigned char>(v & 0xff);
}

uint64_t get_be64(const unsigned char* b) {
  uint64_t v = 0;
  for (int i = 0; i < 8; i++) v = (v << 8) | b[i];
  return v;
}

// 64-bit FNV-1a, continued from h.
uint64_t fnv1a(uint64_t h, const unsigned char* b, size_t n) {
  for (size_t i = 0; i < n; i++) {
    h ^= b[i];
    h *= 0x100000001b3ULL;
  }
  return h;
}

// The places of the messages, from just after the record's tag. A record
// that is short or does not fit the index is passed over: the index then
// reads as one without it (false), and so without the records after it.
bool read_messages(FILE* f, grib_index* p) {
  unsigned char h[msg_head_bytes - 4];
  if (!read_exact(f, h, sizeof h)) return false;
  const int64_t count = kagby(h, 1, 4);
  if (count != p->intnum / 3 || count > max_count) return false;
  std::vector<unsigned char> b(static_cast<size_t>(count) * msg_slot_bytes);
  if (!read_exact(f, b.data(), b.size())) return false;
  p->msg_start = kamalloc_n<int64_t>(size_t(count));
  p->msg_length = kamalloc_n<int64_t>(size_t(count));
  for (int64_t i = 0; i < count; i++) {
    p->msg_start[i] = static_cast<int64_t>(get_be64(&b[size_t(i) * msg_slot_bytes]));
    p->msg_length[i] = static_cast<int64_t>(get_be64(&b[size_t(i) * msg_slot_bytes + 8]));
  }
  p->msg_count = static_cast<int>(count);
  p->base_times = (h[0] & 1) != 0;
  return true;
}

// The grid record from just after its tag into b.
void put_grid(const grib_grid_id& g, unsigned char* b) {
  b[0] = g.yrev ? 1 : 0;
  int64_t at = 1;
  for (double v : {g.lat_first, g.lat_last, g.lon_first, g.lon_last}) {
    put_be64(std::bit_cast<uint64_t>(v), b + at);
    at += 8;
  }
  for (int v : {g.pdef_type, g.isize, g.jsize}) {
    kapby(v, b, at, 4);
    at += 4;
  }
  for (float v : g.pdef_params) {
    kapby(std::bit_cast<int>(v), b, at, 4);
    at += 4;
  }
}

void read_grid(FILE* f, grib_index* p) {
  unsigned char b[grid_bytes - 4];
  if (!read_exact(f, b, sizeof b)) return;
  grib_grid_id& g = p->grid;
  g.yrev = b[0] & 1;
  double* coords[] = {&g.lat_first, &g.lat_last, &g.lon_first, &g.lon_last};
  int64_t at = 1;
  for (double* v : coords) {
    *v = std::bit_cast<double>(get_be64(b + at));
    at += 8;
  }
  for (int* v : {&g.pdef_type, &g.isize, &g.jsize}) {
    *v = kagby(b, at, 4);
    at += 4;
  }
  for (float& v : g.pdef_params) {
    v = std::bit_cast<float>(kagby(b, at, 4));
    at += 4;
  }
  p->has_grid = true;
}

// The records after the arrays and the eight time floats, each known by its
// tag: the data file's identity, the places of the messages, then the grid.
void read_records(FILE* f, grib_index* p) {
  if (std::fseek(f, 32, SEEK_CUR) != 0) return;
  unsigned char tag[4];
  if (!read_exact(f, tag, sizeof tag)) return;
  if (std::memcmp(tag, data_id_tag, sizeof tag) == 0) {
    unsigned char b[data_id_bytes - 4];
    if (!read_exact(f, b, sizeof b)) return;
    p->has_data_id = true;
    p->data_id.size = static_cast<int64_t>(get_be64(b));
    p->data_id.sum = get_be64(b + 8);
    if (!read_exact(f, tag, sizeof tag)) return;
  }
  if (std::memcmp(tag, msg_tag, sizeof tag) == 0) {
    if (!read_messages(f, p) || !read_exact(f, tag, sizeof tag)) return;
  }
  if (std::memcmp(tag, grid_tag, sizeof tag) == 0) read_grid(f, p);
}

// 4-byte big-endian sign-and-magnitude integer.
int getint(const unsigned char* b) {
  int v = ((b[0] & 0x7f) << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
  return (b[0] & 0x80) ? -v : v;
}

void short_index() {
  kaprnt(msg_level::error, "Open Error:  GRIB index file is short or damaged\n");
}

void bad_counts() { kaprnt(msg_level::error, "Open Error:  GRIB index file has invalid sizes\n"); }

bool counts_ok(const grib_index* p) {
  return p->hinum >= 0 && p->hfnum >= 0 && p->intnum >= 0 && p->fltnum >= 0 &&
         p->hinum <= max_count && p->hfnum <= max_count && p->intnum <= max_count &&
         p->fltnum <= max_count;
}

// Allocates the four arrays for the counts in p; an array of count 0 stays null.
void alloc_arrays(grib_index* p) {
  if (p->hinum > 0) p->hipnt = static_cast<int*>(kamalloc(sizeof(int) * size_t(p->hinum)));
  if (p->hfnum > 0) p->hfpnt = static_cast<float*>(kamalloc(sizeof(float) * size_t(p->hfnum)));
  if (p->intnum > 0) p->intpnt = static_cast<int*>(kamalloc(sizeof(int) * size_t(p->intnum)));
  if (p->fltnum > 0) p->fltpnt = static_cast<float*>(kamalloc(sizeof(float) * size_t(p->fltnum)));
}

// Checks the counts read into p and allocates their arrays; false (with the
// message printed) when the counts are absurd or memory runs out.
bool arrays_for_counts(grib_index* p, FILE* f, int64_t head) {
  if (!counts_ok(p)) {
    bad_counts();
    return false;
  }
  // The arrays must be in the file: a damaged count must not allocate
  // gigabytes before the short read is found.
  const int64_t here = ftello(f);
  const int64_t need = head + 4 * (int64_t(p->hinum) + p->hfnum + p->intnum + p->fltnum);
  if (fseeko(f, 0, SEEK_END) != 0 || ftello(f) < need || fseeko(f, here, SEEK_SET) != 0) {
    short_index();
    return false;
  }
  alloc_arrays(p);
  return true;
}

void swap_words(void* buf, int64_t n) {
  auto* b = static_cast<unsigned char*>(buf);
  for (int64_t i = 0; i < n; i++) {
    unsigned char* w = b + 4 * i;
    std::swap(w[0], w[3]);
    std::swap(w[1], w[2]);
  }
}

// Portable layout: counts at offset 2, base time skipped, then the arrays.
int read_portable(FILE* f, grib_index* p) {
  unsigned char hdr[25];
  if (std::fseek(f, 0, SEEK_SET) != 0 || !read_exact(f, hdr, sizeof hdr)) {
    short_index();
    return 1;
  }
  p->version = hdr[1];
  p->hinum = getint(hdr + 2);
  p->hfnum = getint(hdr + 6);
  p->intnum = getint(hdr + 10);
  p->fltnum = getint(hdr + 14);
  if (!arrays_for_counts(p, f, sizeof hdr)) return 1;
  unsigned char b[4];
  for (int i = 0; i < p->hinum; i++) {
    if (!read_exact(f, b, 4)) return short_index(), 1;
    p->hipnt[i] = getint(b);
  }
  // Header floats are not converted: the writer never writes any.
  for (int i = 0; i < p->hfnum; i++) {
    if (!read_exact(f, b, 4)) return short_index(), 1;
    std::memcpy(&p->hfpnt[i], b, 4);
  }
  for (int i = 0; i < p->intnum; i++) {
    if (!read_exact(f, b, 4)) return short_index(), 1;
    p->intpnt[i] = getint(b);
  }
  for (int i = 0; i < p->fltnum; i++) {
    if (!read_exact(f, b, 4)) return short_index(), 1;
    p->fltpnt[i] = ibm2flt(b);
  }
  read_records(f, p);
  return 0;
}

// Native layout: five count words and four pointer words of the writer, then
// the arrays, all in the writer's byte order.
int read_native(FILE* f, grib_index* p) {
  unsigned char rec[36];
  if (std::fseek(f, 0, SEEK_SET) != 0 || !read_exact(f, rec, sizeof rec)) {
    short_index();
    return 1;
  }
  int w[5];
  std::memcpy(w, rec, sizeof w);
  // A version whose top byte is set was written in the other byte order.
  bool swap = (static_cast<unsigned>(w[0]) >> 24) != 0;
  if (swap) swap_words(w, 5);
  p->version = w[0];
  p->hinum = w[1];
  p->hfnum = w[2];
  p->intnum = w[3];
  p->fltnum = w[4];
  if (!arrays_for_counts(p, f, sizeof rec)) return 1;
  if (!read_exact(f, p->hipnt, 4 * size_t(p->hinum)) ||
      !read_exact(f, p->hfpnt, 4 * size_t(p->hfnum)) ||
      !read_exact(f, p->intpnt, 4 * size_t(p->intnum)) ||
      !read_exact(f, p->fltpnt, 4 * size_t(p->fltnum))) {
    short_index();
    return 1;
  }
  if (swap) {
    swap_words(p->hipnt, p->hinum);
    swap_words(p->hfpnt, p->hfnum);
    swap_words(p->intpnt, p->intnum);
    swap_words(p->fltpnt, p->fltnum);
  }
  return 0;
}

}  // namespace

void frepgi(grib_index* p) {
  if (!p) return;
  kafree(p->hipnt);
  kafree(p->hfpnt);
  kafree(p->intpnt);
  kafree(p->fltpnt);
  kafree(p->msg_start);
  kafree(p->msg_length);
  kafree(p);
}

void putint(int value, unsigned char* buf, int64_t& pos) {
  unsigned int mag = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  mag &= 0x7fffffffu;
  if (value < 0) mag |= 0x80000000u;
  buf[pos] = static_cast<unsigned char>(mag >> 24);
  buf[pos + 1] = static_cast<unsigned char>(mag >> 16);
  buf[pos + 2] = static_cast<unsigned char>(mag >> 8);
  buf[pos + 3] = static_cast<unsigned char>(mag);
  pos += 4;
}

int kargmap(FILE* f, grib_index** out) {
  *out = nullptr;
  std::unique_ptr<grib_index, void (*)(grib_index*)> p(
      static_cast<grib_index*>(kacalloc(1, sizeof(grib_index))), frepgi);
  unsigned char lead[2];
  int rc;
  if (std::fseek(f, 0, SEEK_SET) != 0 || !read_exact(f, lead, 2)) {
    short_index();
    rc = 1;
  } else if (lead[1] == 2) {
    rc = read_portable(f, p.get());
  } else {
    rc = read_native(f, p.get());
  }
  if (rc) return 1;
  *out = p.release();
  return 0;
}

int kackgmap(const grib_index* p, int t_size, int time_records) {
  if (p->hinum < 4 || !p->hipnt) {
    bad_counts();
    return 1;
  }
  int64_t slots = p->hipnt[3] == 29 ? 2 : 1;
  int64_t need = slots * 3 * int64_t(time_records) * int64_t(t_size);
  if (p->hipnt[1] != t_size || p->hipnt[2] != time_records) {
    kaprnt(msg_level::error, "Open Error:  GRIB index file does not match the descriptor\n");
    kaprntf(msg_level::error,
            "  Index: %i times of %i records; descriptor: %i times of %i records\n", p->hipnt[1],
            p->hipnt[2], t_size, time_records);
    return 1;
  }
  if (p->intnum != need || p->fltnum != need) {
    kaprnt(msg_level::error, "Open Error:  GRIB index file does not match the descriptor\n");
    kaprntf(msg_level::error,
            "  Index holds %i integer and %i float entries; the descriptor needs %lli of each\n",
            p->intnum, p->fltnum, static_cast<long long>(need));
    return 1;
  }
  // Packed fields are at most 32 bits wide; a wider one is damage, and would
  // size the read buffer from nonsense.
  for (int i = 2; i < p->intnum; i += 3)
    if (p->intpnt[i] > 32) {
      short_index();
      return 1;
    }
  return 0;
}

int wtgmap(FILE* f, const grib_index* p, const float* scaling, const grib_data_id* data) {
  const int64_t words = int64_t(p->hinum) + p->intnum + p->fltnum;
  const bool places = p->msg_start && p->msg_length;
  const size_t size = static_cast<size_t>(57 + 4 * words) + (data ? data_id_bytes : 0) +
                      (places ? msg_head_bytes + msg_slot_bytes * size_t(p->msg_count) : 0) +
                      (p->has_grid ? grid_bytes : 0);
  auto* img = static_cast<unsigned char*>(kacalloc(size, 1));
  const time_scaling ts = time_scaling_from(scaling);
  const date_time base = time_scaling_start(&ts);
  img[1] = 2;
  int64_t pos = 2;
  putint(p->hinum, img, pos);
  putint(p->hfnum, img, pos);
  putint(p->intnum, img, pos);
  putint(p->fltnum, img, pos);
  kapby(base.year, img, 18, 2);
  kapby(base.month, img, 20, 1);
  kapby(base.day, img, 21, 1);
  kapby(base.hour, img, 22, 1);
  kapby(base.minute, img, 23, 1);
  pos = 25;
  for (int i = 0; i < p->hinum; i++) putint(p->hipnt[i], img, pos);
  for (int i = 0; i < p->intnum; i++) putint(p->intpnt[i], img, pos);
  int rc = 0;
  for (int i = 0; i < p->fltnum && rc == 0; i++, pos += 4)
    if (flt2ibm(p->fltpnt[i], img + pos) != 0) rc = 601;
  for (int i = 0; i < 8 && rc == 0; i++, pos += 4)
    if (flt2ibm(scaling[i], img + pos) != 0) rc = 601;
  if (data) {
    std::memcpy(img + pos, data_id_tag, sizeof data_id_tag);
    put_be64(static_cast<uint64_t>(data->size), img + pos + 4);
    put_be64(data->sum, img + pos + 12);
    pos += data_id_bytes;
  }
  if (places) {
    std::memcpy(img + pos, msg_tag, sizeof msg_tag);
    img[pos + 4] = p->base_times ? 1 : 0;
    kapby(p->msg_count, img, pos + 5, 4);
    pos += msg_head_bytes;
    for (int i = 0; i < p->msg_count; i++, pos += msg_slot_bytes) {
      put_be64(static_cast<uint64_t>(p->msg_start[i]), img + pos);
      put_be64(static_cast<uint64_t>(p->msg_length[i]), img + pos + 8);
    }
  }
  if (p->has_grid) {
    std::memcpy(img + pos, grid_tag, sizeof grid_tag);
    put_grid(p->grid, img + pos + 4);
    pos += grid_bytes;
  }
  if (rc == 0 && std::fwrite(img, 1, size, f) != size) rc = -1;
  kafree(img);
  return rc;
}

bool grib_data_id_of(FILE* data, grib_data_id* out) {
  const int fd = fileno(data);
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0) return false;
  const int64_t size = st.st_size;
  const int64_t n = std::min(size, data_id_block);
  std::vector<unsigned char> buf(static_cast<size_t>(n));
  uint64_t h = 0xcbf29ce484222325ULL;
  // Read by position: the stream's own place and buffer stay as they are.
  for (int64_t at : {int64_t(0), size - n}) {
    if (::pread(fd, buf.data(), buf.size(), static_cast<off_t>(at)) != static_cast<ssize_t>(n))
      return false;
    h = fnv1a(h, buf.data(), buf.size());
  }
  out->size = size;
  out->sum = h;
  return true;
}

int kackgdat(const grib_index* p, FILE* data, const char* data_name) {
  if (!p->has_data_id) return 0;
  grib_data_id now{};
  if (grib_data_id_of(data, &now) && now.size == p->data_id.size && now.sum == p->data_id.sum)
    return 0;
  kaprnt(msg_level::error, "Open Error:  GRIB data file is not the one its index was built from\n");
  kaprntf(msg_level::error, "  Data file = %s\n", data_name);
  kaprntf(msg_level::error,
          "  Index: %lld bytes, checksum %016llx; data file: %lld bytes, checksum %016llx\n",
          static_cast<long long>(p->data_id.size), static_cast<unsigned long long>(p->data_id.sum),
          static_cast<long long>(now.size), static_cast<unsigned long long>(now.sum));
  return 1;
}

namespace {

// Coordinates of one point: within 1e-4 degree, longitudes modulo 360.
bool same_lat(double a, double b) { return std::fabs(a - b) <= 1e-4; }
bool same_lon(double a, double b) { return std::fabs(std::remainder(a - b, 360.0)) <= 1e-4; }

bool same_grid(const grib_grid_id& a, const grib_grid_id& b) {
  if (a.yrev != b.yrev || a.pdef_type != b.pdef_type) return false;
  if (a.pdef_type)
    return a.isize == b.isize && a.jsize == b.jsize &&
           std::equal(std::begin(a.pdef_params), std::end(a.pdef_params),
                      std::begin(b.pdef_params));
  return same_lat(a.lat_first, b.lat_first) && same_lat(a.lat_last, b.lat_last) &&
         same_lon(a.lon_first, b.lon_first) && same_lon(a.lon_last, b.lon_last);
}

std::string grid_text(const grib_grid_id& g) {
  char line[400];
  if (g.pdef_type) {
    int n = 0;
    const char* word = pdef_word(g.pdef_type, &n);
    int used = std::snprintf(line, sizeof line, "pdef %d %d %s", g.isize, g.jsize, word);
    for (int i = 0; i < n && used > 0 && size_t(used) < sizeof line; i++)
      used +=
          std::snprintf(line + used, sizeof line - size_t(used), " %.7g", double(g.pdef_params[i]));
  } else {
    std::snprintf(line, sizeof line,
                  "rows from latitude %.7g to %.7g, columns from longitude %.7g to %.7g",
                  g.lat_first, g.lat_last, g.lon_first, g.lon_last);
  }
  return std::string(line) + (g.yrev ? ", options yrev" : ", no yrev");
}

}  // namespace

grib_grid_id grib_grid_of(const file_descriptor* pfi) {
  grib_grid_id g{};
  g.lat_first = grid_world(pfi, 1, 1);
  g.lat_last = grid_world(pfi, 1, pfi->y_size);
  g.lon_first = grid_world(pfi, 0, 1);
  g.lon_last = grid_world(pfi, 0, pfi->x_size);
  g.yrev = pfi->yrev ? 1 : 0;
  // The pdef itself: at open the reader is chosen only after the index.
  if (pfi->pdef_type) {
    g.pdef_type = pfi->pdef_type;
    g.isize = pfi->native_isize;
    g.jsize = pfi->native_jsize;
    std::copy(std::begin(pfi->pdef_params), std::end(pfi->pdef_params), g.pdef_params);
  }
  return g;
}

int kackgdesc(const file_descriptor* pfi) {
  const grib_index* p = pfi->grib_index;
  if (!p || !p->has_grid) return 0;
  const grib_grid_id now = grib_grid_of(pfi);
  if (same_grid(p->grid, now)) return 0;
  kaprnt(msg_level::error,
         "Open Error:  GRIB index was built for another grid than the descriptor's\n");
  kaprnt(msg_level::error, "  Index:      " + grid_text(p->grid) + "\n");
  kaprnt(msg_level::error, "  Descriptor: " + grid_text(now) + "\n");
  kaprntf(msg_level::error,
          "  Build the index again for the descriptor as it is: build/tests/gribmap_driver %s\n",
          pfi->descriptor_name);
  return 1;
}

int kackgplaces(const grib_index* p, int first, int last, int64_t data_size,
                const char* data_name) {
  if (!p->msg_start || !p->msg_length || p->hinum < 4 || !p->hipnt) return 0;
  const int64_t per = int64_t(p->hipnt[2]) * (p->hipnt[3] == 29 ? 2 : 1);
  const int64_t end = std::min(int64_t(last) * per, int64_t(p->msg_count));
  for (int64_t s = std::max(int64_t(first) - 1, int64_t(0)) * per; s < end; s++) {
    const int64_t at = p->msg_start[s], len = p->msg_length[s];
    // A slot without a message records none (-1, 0); every other place,
    // read as unsigned, must end within the file.
    const bool entry = 3 * s + 2 < p->intnum && p->intpnt[3 * s + 2] >= 0;
    if (!entry && at == -1 && len == 0) continue;
    if (at >= 0 && len > 0 && at <= data_size && len <= data_size - at) continue;
    kaprnt(msg_level::error, "Open Error:  GRIB index places a message outside its data file\n");
    kaprntf(msg_level::error, "  Data file = %s\n", data_name);
    kaprntf(msg_level::error,
            "  Message at byte %llu, %llu bytes long: the file holds %lld bytes\n",
            static_cast<unsigned long long>(at), static_cast<unsigned long long>(len),
            static_cast<long long>(data_size));
    return 1;
  }
  return 0;
}

namespace {

// A factor read from a message against the index's: equal, or equal once it
// has been through the portable layout's IBM form as the index's has.
bool same_factor(float in_file, float in_index) {
  if (in_file == in_index) return true;
  if (!std::isfinite(in_file)) return false;
  unsigned char b[4];
  return flt2ibm(in_file, b) == 0 && ibm2flt(b) == in_index;
}

// placed: at is the message's start as the index records it, an unsigned
// 64-bit offset; else the place worked out from the 32-bit data position,
// which a damaged index may make negative.
void message_mismatch(const char* data_name, bool placed, int64_t at, const char* what) {
  kaprnt(msg_level::error, "GRIB Data Error:  the field's message does not match its index\n");
  kaprntf(msg_level::error, "  Data file = %s\n", data_name);
  if (placed)
    kaprntf(msg_level::error, "  Message at byte %llu: %s\n", static_cast<unsigned long long>(at),
            what);
  else
    kaprntf(msg_level::error, "  Message at byte %lld: %s\n", static_cast<long long>(at), what);
}

// The data file's size for the open stream: taken once per opened file, or
// again when fresh is set (the file may have grown since).
bool data_size(const grib_index* p, FILE* data, bool fresh, int64_t* size) {
  if (fresh || p->sized_stream != data) {
    struct stat st;
    if (::fstat(fileno(data), &st) != 0) return false;
    p->data_size = st.st_size;
    p->sized_stream = data;
  }
  *size = p->data_size;
  return true;
}

// Reads the message at `at` as the builder read it; a message that does not
// read against the size taken earlier is read again against the size now.
bool read_message(const grib_index* p, FILE* data, int64_t at, grib_record_header* h) {
  int64_t size = 0, next = 0;
  const bool known = p->sized_stream == data;
  if (!data_size(p, data, false, &size)) return false;
  if (gribmsg(data, at, size, p->base_times, h, &next) == 0) return true;
  return known && data_size(p, data, true, &size) &&
         gribmsg(data, at, size, p->base_times, h, &next) == 0;
}

// What differs between the message and the grid and the variable and level
// its slot stands for; empty when nothing does.
void what_it_is(const grib_record_header& h, const file_descriptor* pfi,
                const variable_descriptor* pvr, int z, int64_t e, char* what, size_t n) {
  const int gtype = pfi->grib_index->hipnt[3];
  int offset = 0, stride = 3;
  const int grid = gribgrid(&h, pfi, gtype, &offset, &stride);
  const bool pdef = preprojected(pfi);
  if (grid == grib_rec_no_grid) {
    std::snprintf(what, n, "no grid description");
  } else if (grid == grib_rec_grid_size || grid == grib_rec_native_size) {
    std::snprintf(what, n, "a grid of %d by %d points, the data set's is %d by %d", h.ni, h.nj,
                  pdef ? pfi->native_isize : pfi->x_size, pdef ? pfi->native_jsize : pfi->y_size);
  } else if (grid != grib_rec_entered || e % stride != offset) {
    std::snprintf(what, n, "grid %d, not the grid of the index entry", h.grid_id);
  } else if (gribvarrec(&h, pfi) != int64_t(pvr->record) + z - 1) {
    int used = std::snprintf(what, n, "parameter %d, level type %d, level %d: not %s", h.parameter,
                             h.level_type, h.level, pvr->abbrev);
    if (pvr->levels > 0 && pfi->grid_to_world[2] && used > 0 && size_t(used) < n)
      std::snprintf(what + used, n - size_t(used), " at level %g",
                    double(pfi->grid_to_world[2](pfi->grid_to_world_scaling[2], float(z))));
  } else {
    what[0] = '\0';
  }
}

}  // namespace

int kackgmsg(const file_descriptor* pfi, const variable_descriptor* pvr, int z, int t, int64_t e,
             const char* data_name) {
  const grib_index* p = pfi->grib_index;
  FILE* data = pfi->data_stream;
  char what[200];
  const int64_t data_pos = p->intpnt[e];
  if (!data) {
    message_mismatch(data_name, false, data_pos, "the data file is not open");
    return 1;
  }
  const int64_t slot = e / 3;
  // Where the index records places, every slot with an entry has one: a
  // start the message reader can't use is refused, never read unchecked.
  const bool placed = p->msg_start && slot < p->msg_count;
  grib_record_header h{};
  if (placed) {
    const int64_t at = p->msg_start[slot];
    if (!read_message(p, data, at, &h)) {
      message_mismatch(data_name, true, at, "no GRIB message can be read there");
      return 1;
    }
    if (h.msg_length != p->msg_length[slot]) {
      std::snprintf(what, sizeof what, "%lld bytes long, the index says %lld",
                    static_cast<long long>(h.msg_length),
                    static_cast<long long>(p->msg_length[slot]));
    } else if (h.data_pos != data_pos || (h.bms_flag ? h.bms_pos : -999) != p->intpnt[e + 1]) {
      std::snprintf(what, sizeof what, "its sections lie elsewhere than the index says");
    } else if (!same_factor(h.decimal_factor, p->fltpnt[e])) {
      std::snprintf(what, sizeof what, "decimal factor %g, the index says %g",
                    double(h.decimal_factor), double(p->fltpnt[e]));
    } else {
      date_time vt = h.valid;
      const double tm = t2gr_exact(pfi->grid_to_world_scaling[3], &vt);
      if (!h.forecast_ok || !(std::fabs(tm - t) <= 0.01)) {
        std::snprintf(what, sizeof what,
                      "dated %04d-%02d-%02d %02d:%02d, not time %d of the data set", vt.year,
                      vt.month, vt.day, vt.hour, vt.minute, t);
      } else {
        // Two messages of one length and packing can change places: the
        // message must also be the variable, level and grid of its slot.
        what_it_is(h, pfi, pvr, z, e, what, sizeof what);
      }
    }
    if (what[0]) {
      message_mismatch(data_name, true, at, what);
      return 1;
    }
  } else {
    // Without the message's place, its data section is found from the
    // index's data position.
    unsigned char b[11];
    const int64_t at = data_pos - 11;
    if (at < 0 || fseeko(data, static_cast<off_t>(at), SEEK_SET) != 0 || !read_exact(data, b, 11)) {
      message_mismatch(data_name, false, at, "its data section can't be read");
      return 1;
    }
    int scale = kagby(b, 4, 2);
    if (scale > 32767) scale = 32768 - scale;
    h.binary_factor = static_cast<float>(std::ldexp(1.0, scale));
    h.reference = ibm2flt(b + 6);
    h.bits = b[10];
  }
  const int64_t at = placed ? p->msg_start[slot] : data_pos - 11;
  if (h.bits != p->intpnt[e + 2]) {
    std::snprintf(what, sizeof what, "%d bits per value, the index says %d", h.bits,
                  p->intpnt[e + 2]);
  } else if (!same_factor(h.binary_factor, p->fltpnt[e + 1])) {
    std::snprintf(what, sizeof what, "binary factor %g, the index says %g", double(h.binary_factor),
                  double(p->fltpnt[e + 1]));
  } else if (!same_factor(h.reference, p->fltpnt[e + 2])) {
    std::snprintf(what, sizeof what, "reference value %g, the index says %g", double(h.reference),
                  double(p->fltpnt[e + 2]));
  } else {
    return 0;
  }
  message_mismatch(data_name, placed, at, what);
  return 1;
}
