#include "data/gribbuild.h"

#include <fcntl.h>
#include <sys/stat.h>
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
#include <memory>
#include <string>
#include <vector>

#include "base/alloc.h"
#include "base/dirlock.h"
#include "base/fnmtemplate.h"
#include "base/mfcmn.h"
#include "base/numfmt.h"
#include "base/safefile.h"
#include "base/bitfield.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/gribindex.h"
#include "data/reader.h"

namespace {

// At most this many bytes are skipped while looking for the next message.
constexpr int scanlim = 1000;

// A long message's total length: the flag bit and the unit it counts.
constexpr int64_t long_message = 0x800000;
constexpr int64_t long_unit = 120;

// gribhdr results besides 0 (a message) and 1 (end of file).
enum grib_hdr_status {
  hdr_message = 0,
  hdr_end = 1,
  hdr_io = 50,
  hdr_memory = 51,
  hdr_not_found = 52,
  hdr_at_end = 53,
  hdr_bad_length = 54,     // total length 0 or shorter than the sections
  hdr_short_section = 55,  // a section shorter than its fixed octets
  hdr_cut = 56,            // the message runs past the end of the file
  hdr_short_lead = 61,
  hdr_lead_io = 62,
  hdr_edition = 99,
};

struct file_closer {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using file_ptr = std::unique_ptr<std::FILE, file_closer>;

struct record_releaser {
  void operator()(file_descriptor* p) const { frepfi(p, 0); }
};
struct index_releaser {
  void operator()(grib_index* p) const { frepgi(p); }
};

// Why a wanted message is left out, besides where its grid lies.
enum class left_out : int {
  no_grid,
  harmonics,
  complex_packing,
  predefined_map,
  wide,
  scaling,
  short_data,
  beyond_index,
  count
};

struct left_out_text {
  left_out why;
  const char* text;
};
const left_out_text left_out_texts[] = {
    {left_out::no_grid, "no grid description, and the descriptor names no grid number"},
    {left_out::harmonics,
     "spherical harmonic coefficients, not grid points (cdo sp2gp grids them)"},
    {left_out::complex_packing,
     "second-order or other complex packing, which the reader does not decode (grib_set -r -s "
     "packingType=grid_simple repacks them)"},
    {left_out::predefined_map, "a predefined bit map, which the message does not hold"},
    {left_out::wide, "more than 32 bits per value"},
    {left_out::scaling, "a scaling that unpacks beyond the range of a float"},
    {left_out::short_data, "a bit map or packed data shorter than the grid"},
    {left_out::beyond_index, "data past the 2 GiB that the index can place"},
};

// The reason of each status that leaves out a wanted message.
struct left_out_status {
  int status;
  left_out why;
};
const left_out_status left_out_statuses[] = {
    {grib_rec_no_grid, left_out::no_grid},
    {grib_rec_packing, left_out::complex_packing},
    {grib_rec_predefined_map, left_out::predefined_map},
    {grib_rec_bits, left_out::wide},
    {grib_rec_scaling, left_out::scaling},
    {grib_rec_short_data, left_out::short_data},
    {grib_rec_beyond_index, left_out::beyond_index},
};

// Harmonic coefficients, in the data section's first flag bit.
constexpr int bds_harmonics = 2;

// The wanted messages of one variable left out for one reason; the first
// named.
struct left_tally {
  int count = 0;
  int number = 0;  // the first's number in its file
  int64_t at = 0;  // and its byte
  int grid_id = 255;
};

// A grid that wanted messages lie on, other than the descriptor's.
struct grid_seen {
  std::string key;
  std::string label;   // "grid 101", "a grid of 36 by 19 points", ...
  std::string reason;  // why its messages fill no slot
  std::string why;     // the refusal of a message placed elsewhere
  int status = 0;
  int passed = 0;           // messages passed over
  std::string first_named;  // the first of them
};

// A wanted message of the descriptor's grid number and size whose grid
// description places it elsewhere: what names it and the slot it is for.
struct placed_elsewhere {
  int64_t slot;
  size_t grid;  // in build.grids
  int number;
  int64_t start;
  int parameter, level_type, level;
  date_time valid;
};

// The one index build that runs at a time: set by its entry points, the
// scan position by the file being scanned.
struct index_build {
  std::string ifile;           // the descriptor
  std::FILE* gfile = nullptr;  // the GRIB file being scanned
  int64_t flen = 0, fpos = 0;  // its length and the next message's position
  int irec = 0;                // messages read from it
  bool notau = false;          // forecast times are ignored
  // Set for a build from files not yet under their names: the GRIB file read
  // and the index written instead of those the descriptor names.
  std::string data_override, index_override;
  int index_fd = -1;  // the staged index, held open by its writer
  // The staged descriptor's own name, when ifile reads it through the
  // writer's descriptor: data named from its directory are named from this.
  std::string descriptor_shown;
  // Wanted messages whose grid refuses them: no index is written.
  int refused = 0;
  int refusal = 0;  // the first one's status
  // Messages that matched no variable, level and time, the first named.
  int unmatched = 0;
  std::string unmatched_named;
  // Wanted messages left out for what they hold, per variable and reason.
  std::vector<left_tally> left;
  // The grids of wanted messages not on the descriptor's grid, in the order
  // first seen, and the messages of the descriptor's grid number and size
  // placed elsewhere: refused only where no other message fills their slot,
  // so that the verdict does not hang on the messages' order.
  std::vector<grid_seen> grids;
  std::vector<placed_elsewhere> elsewhere;
  // Rotated grids read in their rotated coordinates: the pole of each.
  std::vector<std::string> rotated;
};

// Refused messages described in full; the rest are counted.
constexpr int refusals_shown = 3;

index_build build;

bool read_at(std::FILE* f, int64_t pos, void* buf, size_t n) {
  if (pos < 0 || fseeko(f, static_cast<off_t>(pos), SEEK_SET) != 0) return false;
  return std::fread(buf, 1, n, f) == n;
}

int64_t get3(const unsigned char* b) { return kagby(b, 0, 3); }

// The bytes of one message's sections, read by position a window at a time:
// the sections before the packed data cost one read, or two past a bit map.
// They take under 512 bytes on the common grids; a window no larger keeps
// the check of each field of a long series from copying data it never uses.
class message_window {
 public:
  explicit message_window(std::FILE* f) : fd_(fileno(f)) {}
  bool read(int64_t pos, void* out, size_t n) {
    if (pos < 0 || n > sizeof buf_) return false;
    if (at_ < 0 || pos < at_ || pos + int64_t(n) > at_ + len_) {
      const ssize_t got = fd_ < 0 ? -1 : ::pread(fd_, buf_, sizeof buf_, static_cast<off_t>(pos));
      if (got < 0) return false;
      at_ = pos;
      len_ = got;
      if (int64_t(n) > len_) return false;
    }
    std::memcpy(out, buf_ + (pos - at_), n);
    return true;
  }

 private:
  int fd_;
  int64_t at_ = -1, len_ = 0;
  unsigned char buf_[512];
};

// Length of the section at pos, which must hold at least `fixed` octets; the
// first min(length, n) octets go to buf (the rest zeroed). Returns 0 or a
// gribhdr status.
int read_section(message_window& f, int64_t pos, int64_t fixed, unsigned char* buf, size_t n,
                 int64_t* len) {
  unsigned char l[3];
  if (!f.read(pos, l, 3)) return hdr_io;
  *len = get3(l);
  if (*len < fixed) return hdr_short_section;
  std::memset(buf, 0, n);
  size_t want = *len < int64_t(n) ? size_t(*len) : n;
  if (!f.read(pos, buf, want)) return hdr_io;
  return 0;
}

// Converts the forecast time to an offset; false for a unit with no fixed
// length (or seconds that are no whole minute).
bool forecast_offset(int unit, int ft, date_time* off) {
  *off = date_time{0, 0, 0, 0, 0};
  switch (unit) {
    case 0: off->minute = ft; return true;
    case 1: off->hour = ft; return true;
    case 2: off->day = ft; return true;
    case 3: off->month = ft; return true;
    case 4: off->month = 12 * ft; return true;
    case 5: off->month = 120 * ft; return true;
    case 6: off->month = 360 * ft; return true;
    case 7: off->month = 1200 * ft; return true;
    case 10: off->hour = 3 * ft; return true;
    case 11: off->hour = 6 * ft; return true;
    case 12: off->hour = 12 * ft; return true;
    case 254:
      if (ft % 60) return false;
      off->minute = ft / 60;
      return true;
    default: return false;
  }
}

void product_fields(const unsigned char* b, int64_t len, bool notau, grib_record_header* h) {
  h->grid_id = b[6];
  h->gds_flag = (b[7] & 0x80) != 0;
  h->bms_flag = (b[7] & 0x40) != 0;
  h->parameter = b[8];
  h->level_type = b[9];
  h->level1 = b[10];
  h->level2 = b[11];
  h->level = b[10] * 256 + b[11];
  int yoc = b[12];
  h->century = len >= 25 ? b[24] : -999;
  int year = len >= 25 ? h->century * 100 + yoc - 100 : (yoc > 49 ? 1900 + yoc : 2000 + yoc);
  int hour = b[15] > 23 ? 0 : b[15];
  h->base = date_time{year, b[13], b[14], hour, b[16]};
  h->time_unit = b[17];
  h->time_range = b[20];
  if (h->time_range == 10) {
    h->p1 = b[18] * 256 + b[19];
    h->p2 = 0;
  } else {
    h->p1 = b[18];
    h->p2 = b[19];
  }
  const int ft = h->time_range >= 2 && h->time_range <= 5 ? h->p2 : h->p1;
  date_time off;
  h->valid = h->base;
  h->forecast_ok = 1;
  if (notau) {
    h->forecast = -999;
  } else if (forecast_offset(h->time_unit, ft, &off)) {
    h->forecast = ft;
    timadd(&off, &h->valid);
  } else {
    // Without a length for its unit a forecast lands nowhere; a zero one is
    // at the base time whatever the unit.
    h->forecast = -999;
    h->forecast_ok = ft == 0;
  }
  // The decimal scale factor is octets 27-28: only a section that long has it.
  h->decimal_factor = 1.0f;
  if (len >= 28) {
    int d = kagby(b, 26, 2);
    int e = (d & 0x8000) ? -(d & 0x7fff) : (d & 0x7fff);
    h->decimal_factor = static_cast<float>(std::pow(10.0, e));
  }
}

}  // namespace

int gribmsg(std::FILE* file, int64_t at, int64_t flen, bool notau, grib_record_header* h,
            int64_t* next) {
  *h = grib_record_header{};
  message_window f(file);
  unsigned char lead[8];
  // A start taken from an index may be anything: compared, not added to.
  if (at < 0 || at >= flen - 8) return hdr_short_lead;
  if (!f.read(at, lead, 8)) return hdr_lead_io;
  if (std::memcmp(lead, "GRIB", 4) != 0) return hdr_not_found;
  h->edition = lead[7];
  if (h->edition > 1) return hdr_edition;
  h->msg_start = at;
  int64_t pos = at + 4;
  if (h->edition == 1) {
    h->total_length = get3(lead + 4);
    pos = at + 8;
  }

  unsigned char b[sizeof h->gds];
  int rc = read_section(f, pos, 21, b, sizeof b, &h->pds_length);
  if (rc) return rc;
  product_fields(b, h->pds_length, notau, h);
  pos += h->pds_length;

  if (h->gds_flag) {
    if ((rc = read_section(f, pos, 10, b, sizeof b, &h->gds_length))) return rc;
    h->data_rep = b[5];
    h->ni = kagby(b, 6, 2);
    h->nj = kagby(b, 8, 2);
    h->scan_mode = h->gds_length >= 28 ? (b[27] & 0xE0) : 0;
    std::memcpy(h->gds, b, sizeof h->gds);
    pos += h->gds_length;
  }
  if (h->bms_flag) {
    if ((rc = read_section(f, pos, 6, b, sizeof b, &h->bms_length))) return rc;
    h->bms_table = kagby(b, 4, 2);
    h->bms_pos = pos + 6;
    pos += h->bms_length;
  }
  // The data section's fixed octets are read whole: in a long message its
  // stated length may be shorter than they are.
  if (!f.read(pos, b, 11)) return hdr_io;
  h->bds_length = get3(b);
  if (h->edition == 1 && (h->total_length & long_message) && h->bds_length < long_unit) {
    // Past 2^24 bytes the total length counts units of 120 bytes (the top
    // bit set), less the data section's stated length; that section runs to
    // the end marker.
    h->total_length = (h->total_length & ~long_message) * long_unit - h->bds_length + 4;
    h->bds_length = h->total_length - (pos - at) - 4;
  }
  if (h->bds_length < 11) return hdr_short_section;
  h->bds_flags = b[3] >> 6;
  int e = kagby(b, 4, 2);
  if (e > 32767) e = 32768 - e;
  h->binary_factor = static_cast<float>(std::ldexp(1.0, e));
  h->reference = ibm2flt(b + 6);
  h->bits = b[10];
  h->data_pos = pos + 11;
  pos += h->bds_length;

  const int64_t sections = h->pds_length + h->gds_length + h->bms_length + h->bds_length;
  if (h->edition == 1) {
    // A length that does not cover the sections would scan the same bytes
    // again, or sections of the next message.
    if (h->total_length < 8 + sections) return hdr_bad_length;
    h->msg_length = h->total_length;
  } else {
    h->msg_length = 8 + sections;
  }
  // The whole message must be in the file, its end marker too: a cut one
  // would be placed past its end.
  if (pos > flen || at + h->msg_length > flen) return hdr_cut;
  *next = at + h->msg_length;
  return hdr_message;
}

namespace {

// Reads the message at fpos into h and moves fpos to the next one.
int gribhdr(grib_record_header* h) {
  *h = grib_record_header{};
  if (build.fpos + 50 >= build.flen) return hdr_end;
  unsigned char w[4];
  int advanced = 0;
  for (;;) {
    if (!read_at(build.gfile, build.fpos, w, 4)) return hdr_io;
    if (std::memcmp(w, "GRIB", 4) == 0) break;
    build.fpos++;
    if (++advanced >= scanlim) {
      if (build.irec == 0) {
        std::printf("No GRIB message found in the first %d bytes of the file\n", scanlim);
        return hdr_not_found;
      }
      std::printf("GRIB header not found in scanning between records\n");
      std::printf("->%c%c%c%c<-\n", w[0], w[1], w[2], w[3]);
      return hdr_not_found;
    }
    if (build.fpos + 4 >= build.flen) return hdr_at_end;
  }
  int64_t next = 0;
  const int rc = gribmsg(build.gfile, build.fpos, build.flen, build.notau, h, &next);
  if (rc == hdr_edition) {
    std::printf("File is not GRIB version 0 or 1, 0 or 1 is required. \n");
    std::printf("Version number is %i\n", h->edition);
    std::printf(
        "gribmap:  Message %d at byte %lld is GRIB edition %d: convert the file to edition 1 "
        "(cdo -f grb copy IN OUT)\n",
        build.irec + 1, static_cast<long long>(build.fpos), h->edition);
  }
  // A cut message is counted, so that it is named by its number.
  if (rc == hdr_cut) build.irec++;
  if (rc) return rc;
  build.fpos = next;
  build.irec++;
  return hdr_message;
}

// Points of one message of the data set.
int64_t grid_points(const file_descriptor* pfi, int gtype) {
  if (gtype == 29) return 145 * 37;
  if (preprojected(pfi)) return int64_t(pfi->native_isize) * pfi->native_jsize;
  return int64_t(pfi->x_size) * pfi->y_size;
}

// Set bits among the first n of the bit map at pos; -1 when it can't be read.
int64_t bitmap_count(std::FILE* f, int64_t pos, int64_t n) {
  std::vector<unsigned char> map(static_cast<size_t>((n + 7) / 8));
  if (fseeko(f, static_cast<off_t>(pos), SEEK_SET) != 0 ||
      std::fread(map.data(), 1, map.size(), f) != map.size())
    return -1;
  if (n % 8) map.back() &= static_cast<unsigned char>(0xFF00u >> (n % 8));
  int64_t c = 0;
  for (unsigned char x : map) c += std::popcount(static_cast<unsigned>(x));
  return c;
}

// The largest magnitude a message can unpack to fits a float.
bool scaling_ok(const grib_record_header* h) {
  if (!std::isfinite(h->binary_factor) || !std::isfinite(h->reference) ||
      !std::isfinite(h->decimal_factor) || h->decimal_factor == 0.0f)
    return false;
  double top = (std::ldexp(1.0, h->bits) - 1) * h->binary_factor;
  double most = (std::fabs(h->reference) + top) / h->decimal_factor;
  return most <= 3.4e38;
}

bool level_matches(const variable_descriptor& v, const grib_record_header* h) {
  const int* u = v.units;
  if (u[3] < -900) return u[2] == h->level;
  return (u[2] == h->level1 && u[3] == h->level2) || (u[3] == h->time_range && u[2] == h->level);
}

// A message's valid time as the builder's lines print it.
std::string time_text(const date_time& when) { return kat2ch(when, when.minute ? 5 : 4); }

// The variable whose records hold record rec of a time.
const variable_descriptor* variable_of(const file_descriptor* pfi, int64_t rec) {
  for (int k = 0; k < pfi->variable_count; k++) {
    const variable_descriptor& v = pfi->variables[k];
    if (rec >= v.record && rec < v.record + std::max(v.levels, 1)) return &v;
  }
  return nullptr;
}

// The warning for a slot that an earlier message at byte `before` filled.
std::string slot_named(const file_descriptor* pfi, int64_t rec, const date_time& when,
                       int64_t before) {
  const variable_descriptor* v = variable_of(pfi, rec);
  char line[300];
  std::snprintf(line, sizeof line, "%s, level %lld, %s, that the message at byte %lld filled",
                v ? v->abbrev : "?", static_cast<long long>(v ? rec - v->record + 1 : 1),
                time_text(when).c_str(), static_cast<long long>(before));
  return line;
}

// Octet number of the grid description's list of points per row.
constexpr int gds_list_octet = 4;
constexpr int missing_count = 0xFFFF;

// The grid a message holds, where the grid rule refuses it, and what the
// descriptor reads instead.
struct grid_misfit_parts {
  std::string holds, reads;
};

grid_misfit_parts grid_misfit_of(const grib_record_header* h, const file_descriptor* pfi, int gtype,
                                 std::FILE* f) {
  char holds[200], reads[300];
  if (gtype != 255) {
    std::snprintf(holds, sizeof holds, "grid %d", h->grid_id);
    std::snprintf(reads, sizeof reads, "the descriptor reads grid %d%s", gtype,
                  gtype == 29 ? " (29 and 30)" : "");
    return {holds, reads};
  }
  const bool native = preprojected(pfi);
  const int nx = native ? pfi->native_isize : pfi->x_size;
  const int ny = native ? pfi->native_jsize : pfi->y_size;
  const char* whose = native ? "the pdef's native grid is" : "the descriptor's is";
  if (h->ni != missing_count) {
    std::snprintf(holds, sizeof holds, "a grid of %d by %d points", h->ni, h->nj);
    std::snprintf(reads, sizeof reads, "%s %d by %d", whose, nx, ny);
    return {holds, reads};
  }
  // A reduced grid: its rows' lengths are listed in the grid description.
  long long points = 0;
  const int at = h->gds[gds_list_octet] - 1 + 4 * h->gds[3];
  std::vector<unsigned char> list(size_t(2) * size_t(h->nj));
  const int64_t gds_pos = h->msg_start + (h->edition == 1 ? 8 : 4) + h->pds_length;
  if (f && h->gds[gds_list_octet] != 255 && at + int64_t(list.size()) <= h->gds_length &&
      read_at(f, gds_pos + at, list.data(), list.size())) {
    for (int j = 0; j < h->nj; j++) points += kagby(list.data(), 2 * j, 2);
  }
  std::snprintf(holds, sizeof holds, "a reduced grid of %d rows, %lld points", h->nj, points);
  std::snprintf(reads, sizeof reads,
                "%s %d by %d, %lld points: make it regular first (cdo setgridtype,regular)", whose,
                nx, ny, static_cast<long long>(nx) * ny);
  return {holds, reads};
}

// The sizes of a message whose grid the grid rule refuses, or its grid
// number.
std::string grid_misfit(const grib_record_header* h, const file_descriptor* pfi, int gtype,
                        std::FILE* f) {
  if (!h->gds_flag && gtype == 255) return "  It has no grid description.\n";
  const grid_misfit_parts g = grid_misfit_of(h, pfi, gtype, f);
  return "  It holds " + g.holds + "; " + g.reads + ".\n";
}

}  // namespace

void gribfill(int64_t irec_pos, int offset, int stride, const grib_record_header* h,
              grib_index* pindx) {
  const int64_t i = stride * irec_pos + offset;
  pindx->intpnt[i] = static_cast<int>(h->data_pos);
  // A later message for the slot replaces every entry, its bit map or none.
  pindx->intpnt[i + 1] = h->bms_flag ? static_cast<int>(h->bms_pos) : -999;
  pindx->intpnt[i + 2] = h->bits;
  pindx->fltpnt[i] = h->decimal_factor;
  pindx->fltpnt[i + 1] = h->binary_factor;
  pindx->fltpnt[i + 2] = h->reference;
  if (pindx->msg_start) {
    pindx->msg_start[i / 3] = h->msg_start;
    pindx->msg_length[i / 3] = h->msg_length;
  }
}

int gribgrid(const grib_record_header* h, const file_descriptor* pfi, int gtype, int* offset,
             int* stride) {
  *offset = 0;
  *stride = 3;
  if (gtype == 255) {
    if (!h->gds_flag) return grib_rec_no_grid;
    if (preprojected(pfi)) {
      if (h->ni != pfi->native_isize || h->nj != pfi->native_jsize) return grib_rec_native_size;
    } else if (h->ni != pfi->x_size || h->nj != pfi->y_size) {
      return grib_rec_grid_size;
    }
  } else if (gtype == 29) {
    if (h->grid_id == 29)
      *offset = 3;
    else if (h->grid_id != 30)
      return grib_rec_grid_29;
    *stride = 6;
  } else if (h->grid_id != gtype) {
    return grib_rec_grid_type;
  }
  return grib_rec_entered;
}

int64_t gribvarrec(const grib_record_header* h, const file_descriptor* pfi) {
  for (int k = 0; k < pfi->variable_count; k++) {
    const variable_descriptor& v = pfi->variables[k];
    if (v.units[0] != h->parameter || v.units[1] != h->level_type) continue;
    if (v.levels == 0) {
      if (!level_matches(v, h)) continue;
      return v.record;
    }
    if (v.units[3] > -900 && v.units[3] != h->time_range) continue;
    if (v.levels < 0 || !pfi->world_to_grid[2]) continue;
    const float z = pfi->world_to_grid[2](pfi->world_to_grid_scaling[2], float(h->level));
    if (!(z > 0.99f && double(z) < v.levels + 0.01)) continue;
    const int iz = static_cast<int>(std::lround(z));
    if (std::fabs(double(z) - iz) > 0.01) continue;
    return int64_t(v.record) + iz - 1;
  }
  return -1;
}

int gribrec(const grib_record_header* h, const file_descriptor* pfi, grib_index* pindx,
            std::FILE* f, std::string* why, int64_t* wanted_slot) {
  if (wanted_slot) *wanted_slot = -1;
  // The slot first: a message that no variable, level and time wants is
  // passed over whatever its grid.
  if (!h->forecast_ok) return grib_rec_time_unit;
  date_time vt = h->valid;
  // In double: a float holds only every other step past 2^24.
  const double t = t2gr_exact(pfi->grid_to_world_scaling[3], &vt);
  if (!(t >= 0.99) || t > pfi->t_size + 0.01) return grib_rec_time_range;
  const int it = static_cast<int>(t + 0.01);
  if (std::fabs(t - it) > 0.01) return grib_rec_time_between;
  const int64_t rec = gribvarrec(h, pfi);
  if (rec < 0) return grib_rec_no_match;

  const int gtype = pindx->hipnt[3];
  const int64_t irec = int64_t(it - 1) * pfi->time_records + rec;
  int offset, stride;
  const int grid = gribgrid(h, pfi, gtype, &offset, &stride);
  // Another grid number, or another count of points, is another grid: a
  // file may hold the field on several.
  const bool sized = grid == grib_rec_grid_size || grid == grib_rec_native_size;
  if (grid != grib_rec_entered && grid != grib_rec_no_grid &&
      (!sized || int64_t(h->ni) * h->nj != grid_points(pfi, gtype)))
    return grib_rec_other_grid;
  const int64_t slot = (stride * irec + offset) / 3;
  if (wanted_slot) *wanted_slot = slot;
  if (grid != grib_rec_entered) {
    if (why) *why = grid_misfit(h, pfi, gtype, f);
    return grid;
  }
  if (int rc = gribplace(h, pfi, gtype, why); rc != grib_rec_entered) return rc;

  if (h->bds_flags != 0) return grib_rec_packing;
  if (h->bms_flag && h->bms_table != 0) return grib_rec_predefined_map;
  if (h->bits > 32) return grib_rec_bits;
  if (!scaling_ok(h)) return grib_rec_scaling;
  // Every point the reader may ask for must be in the message.
  const int64_t npts = grid_points(pfi, gtype);
  int64_t nset = npts;
  if (h->bms_flag) {
    if ((h->bms_length - 6) * 8 < npts) return grib_rec_short_data;
    nset = f ? bitmap_count(f, h->bms_pos, npts) : npts;
    if (nset < 0) return grib_rec_short_data;
  }
  if ((h->bds_length - 11) * 8 < nset * h->bits) return grib_rec_short_data;
  if (h->data_pos > INT_MAX || (h->bms_flag && h->bms_pos > INT_MAX)) return grib_rec_beyond_index;

  if (why && pindx->msg_start && slot < pindx->msg_count && pindx->msg_start[slot] >= 0)
    *why = slot_named(pfi, rec, vt, pindx->msg_start[slot]);
  gribfill(irec, offset, stride, h, pindx);
  return grib_rec_entered;
}

namespace {

// What identifies a message in the builder's lines: its number in its file,
// its place, and what it is.
std::string message_fields(const grib_record_header& h) {
  char line[200];
  std::snprintf(line, sizeof line, "parameter %d, level type %d, level %d, %s", h.parameter,
                h.level_type, h.level, time_text(h.valid).c_str());
  return line;
}

std::string message_named(const grib_record_header& h, int number = build.irec) {
  char line[300];
  std::snprintf(line, sizeof line, "Message %d at byte %lld (%s)", number,
                static_cast<long long>(h.msg_start), message_fields(h).c_str());
  return line;
}

// A message that no variable, level and time of the descriptor wants.
void unmatched(const grib_record_header& h) {
  if (build.unmatched++ >= refusals_shown) return;
  char line[300];
  std::snprintf(line, sizeof line, "  %s (message %d at byte %lld)\n", message_fields(h).c_str(),
                build.irec, static_cast<long long>(h.msg_start));
  build.unmatched_named += line;
}

// A wanted message left out for what it holds (status r of gribrec) is
// counted for its variable.
void leave_out(const file_descriptor* pfi, const grib_record_header& h, int r) {
  const left_out_status* st = nullptr;
  for (const left_out_status& k : left_out_statuses)
    if (k.status == r) st = &k;
  if (!st) return;
  const variable_descriptor* v = variable_of(pfi, gribvarrec(&h, pfi));
  if (!v) return;
  left_out why = st->why;
  if (why == left_out::complex_packing && (h.bds_flags & bds_harmonics)) why = left_out::harmonics;
  const size_t reasons = size_t(left_out::count);
  build.left.resize(size_t(pfi->variable_count) * reasons);
  left_tally& t = build.left[size_t(v - pfi->variables) * reasons + size_t(why)];
  if (t.count++ == 0) t = left_tally{1, build.irec, h.msg_start, h.grid_id};
}

// The lines naming why variable k's wanted messages were left out.
void say_left_out(int k) {
  const size_t reasons = size_t(left_out::count);
  for (const left_out_text& r : left_out_texts) {
    const size_t at = size_t(k) * reasons + size_t(r.why);
    if (at >= build.left.size() || build.left[at].count == 0) continue;
    const left_tally& t = build.left[at];
    std::string text = r.text;
    if (r.why == left_out::no_grid && t.grid_id != 255)
      text += "; " + std::string(t.count > 1 ? "the first names" : "it names") + " grid " +
              std::to_string(t.grid_id) + " (dtype grib " + std::to_string(t.grid_id) + ")";
    std::printf(
        "gribmap:    %d wanted message%s left out (the first: message %d at byte %lld): %s\n",
        t.count, t.count > 1 ? "s" : "", t.number, static_cast<long long>(t.at), text.c_str());
  }
}

// What the scan matched: per variable the levels and times filled, and the
// messages that matched nothing.
void account(const file_descriptor* pfi, const grib_index* pindx) {
  const int nrec = pindx->hipnt[3] == 29 ? 2 : 1;
  for (int k = 0; k < pfi->variable_count; k++) {
    const variable_descriptor& v = pfi->variables[k];
    const int levels = std::max(v.levels, 1);
    long long filled = 0;
    for (int t = 0; t < pfi->t_size; t++)
      for (int z = 0; z < levels; z++) {
        const int64_t irec = int64_t(t) * pfi->time_records + v.record + z;
        bool any = false;
        for (int h = 0; h < nrec; h++) any = any || pindx->intpnt[3 * (nrec * irec + h) + 2] > -900;
        filled += any;
      }
    const long long slots = static_cast<long long>(levels) * pfi->t_size;
    if (filled)
      std::printf("gribmap:  %s: %lld of %lld levels and times filled\n", v.abbrev, filled, slots);
    else
      std::printf(
          "gribmap:  Warning: no message for %s (parameter %d, level type %d): 0 of "
          "%lld levels and times filled\n",
          v.abbrev, v.units[0], v.units[1], slots);
    say_left_out(k);
  }
  if (build.unmatched)
    std::printf(
        "gribmap:  %d message%s matched no variable, level and time of the descriptor%s\n%s",
        build.unmatched, build.unmatched > 1 ? "s" : "",
        build.unmatched > refusals_shown
            ? ("; the first " + std::to_string(refusals_shown) + ":").c_str()
            : ":",
        build.unmatched_named.c_str());
}

// A wanted message that its grid refuses.
void refuse(const grib_record_header& h, int number, int status, const std::string& why) {
  if (build.refused++ == 0) build.refusal = status;
  if (build.refused > refusals_shown) return;
  std::printf("gribmap:  %s does not fit the descriptor's grid:\n%s",
              message_named(h, number).c_str(), why.c_str());
}

// The grid of that key among those seen, added when it is new.
size_t grid_seen_at(const std::string& key) {
  for (size_t k = 0; k < build.grids.size(); k++)
    if (build.grids[k].key == key) return k;
  build.grids.push_back(grid_seen{});
  build.grids.back().key = key;
  return build.grids.size() - 1;
}

// Counts a wanted message that fills no slot with its grid.
void pass_over(grid_seen& g, int number, int64_t start) {
  if (g.passed++ == 0)
    g.first_named = "message " + std::to_string(number) + " at byte " + std::to_string(start);
}

// A wanted message on another grid number or of another point count.
void other_grid(const grib_record_header& h, const file_descriptor* pfi, int gtype) {
  const std::string key = gtype != 255 ? "grid " + std::to_string(h.grid_id)
                                       : std::to_string(h.ni) + " by " + std::to_string(h.nj);
  grid_seen& g = build.grids[grid_seen_at(key)];
  if (g.label.empty()) {
    const grid_misfit_parts parts = grid_misfit_of(&h, pfi, gtype, build.gfile);
    g.label = parts.holds;
    g.reason = parts.reads;
  }
  pass_over(g, build.irec, h.msg_start);
}

// A wanted message of the descriptor's grid number and size placed
// elsewhere: settled once every message has had its chance at the slot.
void placed_otherwise(const grib_record_header& h, int status, const std::string& why,
                      int64_t slot) {
  // Messages on one grid description share what the refusal says.
  std::string key = "placed " + std::to_string(status) + " ";
  key.append(reinterpret_cast<const char*>(h.gds), sizeof h.gds);
  const size_t at = grid_seen_at(key);
  grid_seen& g = build.grids[at];
  if (g.label.empty()) {
    char line[200];
    std::snprintf(line, sizeof line, "a grid of %d by %d points from %s", h.ni, h.nj,
                  gribfirst(&h).c_str());
    g.label = line;
    g.reason = "messages on the descriptor's grid fill their slots";
    g.why = why;
    g.status = status;
  }
  build.elsewhere.push_back(placed_elsewhere{slot, at, build.irec, h.msg_start, h.parameter,
                                             h.level_type, h.level, h.valid});
}

// Refuses the messages placed elsewhere whose slot no message filled; the
// others are passed over with their grid.
void settle(const grib_index* pindx) {
  for (const placed_elsewhere& e : build.elsewhere) {
    grid_seen& g = build.grids[e.grid];
    if (pindx->intpnt[3 * e.slot + 2] > -900) {
      pass_over(g, e.number, e.start);
      continue;
    }
    grib_record_header h{};
    h.msg_start = e.start;
    h.parameter = e.parameter;
    h.level_type = e.level_type;
    h.level = e.level;
    h.valid = e.valid;
    refuse(h, e.number, g.status, g.why);
  }
}

// One line for each grid whose messages fill no slot, and one for each
// rotated grid read in its rotated coordinates.
void grids_passed_over() {
  for (const grid_seen& g : build.grids) {
    if (!g.passed) continue;
    std::printf("gribmap:  %d message%s on %s passed over (%s%s): %s\n", g.passed,
                g.passed > 1 ? "s" : "", g.label.c_str(), g.passed > 1 ? "the first is " : "",
                g.first_named.c_str(), g.reason.c_str());
  }
  for (const std::string& pole : build.rotated)
    std::printf(
        "gribmap:  A rotated latitude-longitude grid is read in its rotated coordinates (%s)\n",
        pole.c_str());
}

// Notes a rotated grid entered as the descriptor's axes read it.
void rotated(const grib_record_header& h, const file_descriptor* pfi) {
  const std::string pole = preprojected(pfi) ? "" : gribrotated(&h);
  if (!pole.empty() &&
      std::find(build.rotated.begin(), build.rotated.end(), pole) == build.rotated.end())
    build.rotated.push_back(pole);
}

// Scans one open GRIB file into the index. Returns 0 to go on, -1 when the
// scan ends early but the index is still written, or a format error.
int scan_file(const file_descriptor* pfi, grib_index* pindx, int* result) {
  if (fseeko(build.gfile, 0, SEEK_END) != 0) return -1;
  build.flen = ftello(build.gfile);
  build.fpos = 0;
  grib_record_header h;
  for (;;) {
    int rc = gribhdr(&h);
    if (rc == hdr_end) return 0;
    if (rc == hdr_io || rc == hdr_cut) {
      std::printf("I/O Error reading GRIB file\n");
      std::printf("Possible cause: premature EOF\n");
      if (rc == hdr_cut)
        std::printf(
            "gribmap:  %s is cut: it is %lld bytes long and the file ends %lld bytes after its "
            "start; it is left out\n",
            message_named(h).c_str(), static_cast<long long>(h.msg_length),
            static_cast<long long>(build.flen - h.msg_start));
      return -1;
    }
    if (rc != hdr_message) {
      std::printf("GRIB file format error \n");
      std::printf("rc = %i\n", rc);
      return rc;
    }
    std::string why;
    int64_t slot = -1;
    int r = gribrec(&h, pfi, pindx, build.gfile, &why, &slot);
    if (r == grib_rec_entered && !why.empty())
      std::printf("gribmap:  Warning: %s fills the slot of %s: the later is kept\n",
                  message_named(h).c_str(), why.c_str());
    if (r == grib_rec_no_match || r == grib_rec_time_range || r == grib_rec_time_between ||
        r == grib_rec_time_unit)
      unmatched(h);
    leave_out(pfi, h, r);
    if (r == grib_rec_entered) {
      *result = 1;
      rotated(h, pfi);
    } else if (r == grib_rec_other_grid) {
      other_grid(h, pfi, pindx->hipnt[3]);
    } else if (r >= grib_rec_native_size && r <= grib_rec_grid_type) {
      placed_otherwise(h, r, why, slot);
    } else if (r > 99) {
      *result = r;
    }
  }
}

// Opens and scans one file; a missing template file is passed over.
int scan_named(const std::string& name, bool single, const file_descriptor* pfi, grib_index* pindx,
               int* result, bool* stop, grib_data_id* id = nullptr, bool* identified = nullptr) {
  std::printf("gribmap:  Opening GRIB file %s\n", name.c_str());
  const std::string& path = single && !build.data_override.empty() ? build.data_override : name;
  // A pipe or device would be scanned without end: only a regular file is.
  file_ptr f(fopen_regular(path, "rb"));
  if (!f) {
    if (single) {
      std::printf("Could not open GRIB file.  File name is:\n");
      std::printf("  %s\n", name.c_str());
      return gribmap_failed;
    }
    std::printf("Warning: Could not open GRIB file: %s\n", name.c_str());
    return 0;
  }
  if (id) *identified = grib_data_id_of(f.get(), id);
  build.gfile = f.get();
  build.irec = 0;
  int rc = scan_file(pfi, pindx, result);
  build.gfile = nullptr;
  if (rc > 0) return rc;
  if (rc < 0) *stop = true;
  std::printf("gribmap:  Reached EOF\n");
  return 0;
}

// Writes the map into fd, the index file just opened (-1 when that failed),
// and closes it; commit runs once the file is complete. On a failure drop
// undoes the file and the message tells why.
template <class Commit, class Drop>
int write_map_to(int fd, const std::string& name, const file_descriptor* pfi,
                 const grib_index* pindx, const grib_data_id* data, Commit commit, Drop drop) {
  std::FILE* f = fd >= 0 ? fdopen(fd, "wb") : nullptr;
  if (!f) {
    if (fd >= 0) {
      close(fd);
      drop();
    }
    std::printf("Could not open index file: %s\n", name.c_str());
    return gribmap_failed;
  }
  std::printf("gribmap:  Writing the map...\n\n");
  errno = 0;
  int rc = wtgmap(f, pindx, pfi->grid_to_world_scaling[3], data);
  int why = errno;  // a failed write's
  if (std::fclose(f) != 0 && rc == 0) {
    rc = -1;
    why = errno;
  }
  if (rc == 0 && !commit()) {
    rc = -1;
    why = errno;
  }
  if (rc == 0) return 0;
  drop();
  if (rc == 601) {
    std::printf("\nGRIBMAP failed because of overflow in float -> IBM float conversion!!!\n");
    return 601;
  }
  if (rc == -1)
    std::printf("Could not write index file: %s\n  %s\n", name.c_str(),
                std::strerror(why ? why : EIO));
  return gribmap_failed;
}

// Writes the index under a temporary name in its directory and renames it,
// so that a failed write leaves no empty or partial index behind.
int write_new_index(const file_descriptor* pfi, const grib_index* pindx, const grib_data_id* data) {
  const std::string& name = pfi->map_file_name;
  std::string tmp = name + ".XXXXXX";
  int fd = mkstemp(tmp.data());
  if (fd >= 0) {
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
  }
  // Readers of the set read its descriptor and open the index under a
  // shared lock of the descriptor: the index is renamed under an exclusive one.
  auto place = [&] {
    file_under_name_lock readers(pfi->descriptor_name);
    // The first Ctrl-C while a reader holds the set gives the index up.
    if (readers.interrupted()) {
      errno = EINTR;
      return false;
    }
    return std::rename(tmp.c_str(), name.c_str()) == 0;
  };
  return write_map_to(fd, name, pfi, pindx, data, place, [&] { unlink(tmp.c_str()); });
}

// A writer's staged index is written where it is: the writer made it beside
// the index it replaces, with that one's owner and mode, and renames it
// itself; a failed write leaves it empty.
int write_staged_index(const file_descriptor* pfi, const grib_index* pindx,
                       const grib_data_id* data) {
  const std::string name = build.index_override;
  // Through the writer's own descriptor where it holds one: the name may
  // hold another file by now.
  const int held = build.index_fd;
  int fd = held >= 0 ? fcntl(held, F_DUPFD_CLOEXEC, 0)
                     : open(name.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0 && held >= 0 && (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0)) {
    close(fd);
    fd = -1;
  }
  return write_map_to(
      fd, name, pfi, pindx, data, [] { return true; },
      [&] { held >= 0 ? (void)ftruncate(held, 0) : (void)truncate(name.c_str(), 0); });
}

int write_index(const file_descriptor* pfi, const grib_index* pindx, const grib_data_id* data) {
  return build.index_override.empty() ? write_new_index(pfi, pindx, data)
                                      : write_staged_index(pfi, pindx, data);
}

}  // namespace

int gribmap() {
  std::unique_ptr<file_descriptor, record_releaser> pfi(getpfi());
  std::unique_ptr<grib_index, index_releaser> pindx(
      static_cast<grib_index*>(kacalloc(1, sizeof(grib_index))));
  if (kaddes(build.ifile.c_str(), pfi.get(), 0) != 0) {
    std::printf("File name is:  %s\n", build.ifile.c_str());
    return gribmap_failed;
  }
  if (!build.descriptor_shown.empty() && pfi->data_file_literal > 0) {
    const std::string& shown = build.descriptor_shown;
    const size_t cut = shown.rfind('/') + 1;  // 0 without a directory
    const std::string named = shown.substr(0, cut) + (pfi->data_file_name + pfi->data_file_literal);
    if (named.size() < sizeof pfi->data_file_name) {
      std::strcpy(pfi->data_file_name, named.c_str());
      pfi->data_file_literal = cut;
    }
  }
  if (!pfi->grib_flag) {
    std::printf("Data Descriptor file is not for GRIB data\n");
    return gribmap_failed;
  }
  if (holds_stations(pfi.get())) {
    std::printf("Data Descriptor file is not for gridded GRIB data\n");
    return gribmap_failed;
  }
  if (!pfi->map_file_name) {
    std::printf("Data Descriptor file has no INDEX record\n");
    return gribmap_failed;
  }

  int gtype = pfi->grib_grid_type;
  int nrec = 1;
  if (gtype < 0 || gtype == 255) {
    gtype = 255;
  } else if (gtype == 29 && !preprojected(pfi.get())) {
    const float* xs = pfi->grid_to_world_scaling[0];
    const float* ys = pfi->grid_to_world_scaling[1];
    // Linear scalings hold the increment and start minus increment.
    bool ok = pfi->x_size == 144 && pfi->y_size == 73 && pfi->linear_flags[0] &&
              pfi->linear_flags[1] && std::fabs(xs[0] - 2.5f) < 0.001f &&
              std::fabs(xs[0] + xs[1]) < 0.001f && std::fabs(ys[0] - 2.5f) < 0.001f &&
              std::fabs(ys[0] + ys[1] + 90.0f) < 0.001f;
    if (!ok) {
      std::printf("Error in grid specification for GRIB grid type 29/30.\n");
      std::printf("  Grid scaling must indicate a 2.5 x 2.5 grid\n");
      std::printf("  Grid size must be 144 x 73\n");
      std::printf("  Grid must go from 0 to 357.5 and -90 to 90\n");
      return gribmap_failed;
    }
    nrec = 2;
  }

  const int64_t n = int64_t(nrec) * 3 * pfi->time_records * pfi->t_size;
  grib_index* g = pindx.get();
  g->version = 2;
  g->hinum = 4;
  g->hfnum = 0;
  g->intnum = g->fltnum = n <= INT_MAX ? static_cast<int>(n) : 0;
  g->hipnt = static_cast<int*>(kamalloc(4 * sizeof(int)));
  g->intpnt =
      n > 0 && n <= INT_MAX ? static_cast<int*>(kamalloc(sizeof(int) * size_t(n))) : nullptr;
  g->fltpnt = g->intpnt ? static_cast<float*>(kamalloc(sizeof(float) * size_t(n))) : nullptr;
  if (!g->intpnt) {
    std::printf("memory allocation error\n");
    return gribmap_failed;
  }
  g->hipnt[0] = 2;
  g->hipnt[1] = pfi->t_size;
  g->hipnt[2] = pfi->time_records;
  g->hipnt[3] = gtype;
  for (int64_t i = 0; i < n; i++) {
    g->intpnt[i] = -999;
    g->fltpnt[i] = -999.0f;
  }
  // Where each slot's message lies, so that a read can check the message
  // against its entries.
  g->msg_count = static_cast<int>(n / 3);
  g->msg_start = kamalloc_n<int64_t>(size_t(g->msg_count));
  g->msg_length = kamalloc_n<int64_t>(size_t(g->msg_count));
  for (int i = 0; i < g->msg_count; i++) {
    g->msg_start[i] = -1;
    g->msg_length[i] = 0;
  }
  g->base_times = build.notau;
  // The grid the messages are checked against, so that open can tell an
  // index from a descriptor edited since.
  g->grid = grib_grid_of(pfi.get());
  g->has_grid = true;

  std::printf("\ngribmap:  Scanning binary GRIB file(s):\n");
  int result = 0;
  bool stop = false;
  // The index of a single data file records what identifies it, so that a
  // reader refuses any other file under its name.
  grib_data_id data_id{};
  bool identified = false;
  if (!pfi->template_flag) {
    int rc =
        scan_named(pfi->data_file_name, true, pfi.get(), g, &result, &stop, &data_id, &identified);
    if (rc) return rc;
  } else {
    const int* fn = pfi->template_file_numbers;
    const float* ts = pfi->grid_to_world_scaling[3];
    date_time t1{};
    gr2t(ts, 1.0f, &t1);
    for (int t = 1; t <= pfi->t_size && !stop;) {
      if (fn[t - 1] != t) {
        std::printf("Logic error in file template structure\n");
        return gribmap_failed;
      }
      date_time tt{};
      gr2t(ts, double(t), &tt);
      std::string name = kafndt(pfi->data_file_name, &tt, &t1, ts, pfi->data_file_literal);
      if (name.empty()) {
        std::printf("Memory allocation error\n");
        return gribmap_failed;
      }
      int rc = scan_named(name, false, pfi.get(), g, &result, &stop);
      if (rc) return rc;
      const int cur = fn[t - 1];
      while (t <= pfi->t_size && fn[t - 1] == cur) t++;
    }
  }

  settle(g);
  account(pfi.get(), g);
  grids_passed_over();
  if (build.refused) {
    if (build.refused > refusals_shown)
      std::printf("gribmap:  ... and %d more messages that do not fit\n",
                  build.refused - refusals_shown);
    std::printf("gribmap:  %d wanted message%s do%s not fit the descriptor's grid\n", build.refused,
                build.refused > 1 ? "s" : "", build.refused > 1 ? "" : "es");
    return build.refusal;
  }
  int rc = write_index(pfi.get(), g, identified ? &data_id : nullptr);
  return rc ? rc : result;
}

int latsgribmap(const char* name, int no_forecast) {
  build.ifile = name ? name : "";
  // The switch holds for this build only. The scan reads the descriptor as a
  // data set would be opened, but under its own calendar: the session's
  // calendar is set aside for the build (so a 365-day descriptor is indexed
  // in 365-day time from a standard session) and put back after it, also
  // when the scan runs out of memory.
  struct build_scope {
    int calendar = mfcmn.calendar_365;
    explicit build_scope(bool no_tau) {
      build.notau = no_tau;
      build.refused = 0;
      build.unmatched = 0;
      build.unmatched_named.clear();
      build.left.clear();
      build.grids.clear();
      build.elsewhere.clear();
      build.rotated.clear();
      mfcmn.calendar_365 = -999;
    }
    ~build_scope() {
      build.notau = false;
      mfcmn.calendar_365 = calendar;
    }
    build_scope(const build_scope&) = delete;
    build_scope& operator=(const build_scope&) = delete;
  };
  int rc;
  {
    build_scope scope(no_forecast != 0);
    rc = gribmap();
  }
  if (rc == 0) {
    std::printf("\nLATS_GRIB: latsgribmap WARNING: no GRIB records matched!!!!!\n");
    std::printf("LATS_GRIB: the .ctl will return undefined data only\n");
    std::printf("LATS_GRIB: likely cause -- improper LATS setup\n\n");
  } else if (rc == 1) {
    std::printf("LATS_GRIB: latsgribmap: GRIB index written\n");
  } else if (rc >= 2 && rc <= 99) {
    std::printf("\nLATS_GRIB: latsgribmap ERROR: GRIB data improperly coded by fgbds\n");
    std::printf("LATS_GRIB: rc = %d\n\n", rc);
  } else if (build.refused) {
    std::printf("\nLATS_GRIB: latsgribmap ERROR: no GRIB index was written\n");
    std::printf("LATS_GRIB: rc = %d\n\n", rc);
  } else if (rc > 99) {
    std::printf("\nLATS_GRIB: latsgribmap ERROR: problem with the GRIB data...\n");
    std::printf("LATS_GRIB: rc = %d\n\n", rc);
  } else {
    std::printf("\nLATS_GRIB: latsgribmap ERROR: no GRIB index was written\n\n");
  }
  std::fflush(stdout);
  return rc;
}

int latsgribmap_staged(const char* name, int no_forecast, const char* data, const char* index,
                       int index_fd, const char* shown) {
  struct override_scope {
    override_scope(const char* d, const char* i, int fd, const char* s) {
      build.data_override = d ? d : "";
      build.index_override = i ? i : "";
      build.index_fd = fd;
      build.descriptor_shown = s ? s : "";
    }
    ~override_scope() {
      build.data_override.clear();
      build.index_override.clear();
      build.index_fd = -1;
      build.descriptor_shown.clear();
    }
    override_scope(const override_scope&) = delete;
    override_scope& operator=(const override_scope&) = delete;
  } scope(data, index, index_fd, shown);
  return latsgribmap(name, no_forecast);
}
