#include "data/stnread.h"

#include <sys/types.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/alloc.h"
#include "base/message.h"
#include "base/numfmt.h"
#include "base/words.h"
#include "data/filerec.h"
#include "data/gridread.h"
#include "data/readers.h"
#include "data/result.h"

namespace {

constexpr int kCacheBytes = 50000;
constexpr float kSurfaceLevel = -9.99e33f;

// The raw reports of the last request, in the order they were read: per
// time, each selected report's header and data, then a group end.
struct station_cache {
  unsigned char* buf = nullptr;  // allocated at the first request
  int64_t pnt = 0;               // read or write position in buf
  bool holds = false;            // buf holds a complete earlier request
  bool writing = false;          // the current request may still be kept
  bool serving = false;          // the current request is served from buf
  int file_number = 0;           // of the cached request's file
  station_set request;           // the cached request (its request fields)
};

station_cache cache;

// A report header as read: its id bytes and fields in host order.
struct report_header {
  unsigned char raw[kStationHeaderBytes];
  float lat, lon, toff;
  int level_count, surface_flag;
};

void decode(report_header* h) {
  std::memcpy(&h->lat, h->raw + 8, 4);
  std::memcpy(&h->lon, h->raw + 12, 4);
  std::memcpy(&h->toff, h->raw + 16, 4);
  std::memcpy(&h->level_count, h->raw + 20, 4);
  std::memcpy(&h->surface_flag, h->raw + 24, 4);
}

const char* file_name(const file_descriptor* f) {
  return f->open_template_name ? f->open_template_name : f->data_file_name;
}

int kasstn(FILE* s, const file_descriptor* f, int64_t position) {
  int rc = s ? fseeko(s, static_cast<off_t>(position), SEEK_SET) : -1;
  if (rc == 0) return 0;
  kaprnt(msg_level::error, "Low Level I/O Error:  Seek error on data file \n");
  kaprntf(msg_level::error, "  Data file name = %s \n", file_name(f));
  kaprntf(msg_level::error, "%d  rc=%ld pos=%ld pfi->fhdr =%ld \n", 1312, static_cast<long>(rc),
          static_cast<long>(position), static_cast<long>(f->file_header_bytes));
  kaprntf(msg_level::error, "  Error occurred when seeking to byte %li \n",
          static_cast<long>(position));
  return 1;
}

int karstn(FILE* s, const file_descriptor* f, int64_t bytes, void* buffer, int64_t position) {
  if (bytes <= 0) return 0;
  if (s && std::fread(buffer, 1, static_cast<size_t>(bytes), s) == static_cast<size_t>(bytes))
    return 0;
  kaprnt(msg_level::error, "Low Level I/O Error:  Read error on data file \n");
  kaprntf(msg_level::error, "  Data file name = %s \n", file_name(f));
  kaprntf(msg_level::error, "  Error reading %i bytes at location %li \n", static_cast<int>(bytes),
          static_cast<long>(position));
  return 1;
}

void sequence_error(const file_descriptor* f, const char* why) {
  kaprnt(msg_level::error, "Low Level I/O Error:  Sequential read error\n");
  kaprnt(msg_level::error, why);
  kaprntf(msg_level::error, "  Data file name = %s \n", file_name(f));
}

void kacstn(const unsigned char* header, const float* data, int64_t data_bytes,
            int64_t header_bytes) {
  if (2 * header_bytes + cache.pnt + data_bytes + 10 >= kCacheBytes + 1) {
    cache.writing = false;
    return;
  }
  std::memcpy(cache.buf + cache.pnt, header, static_cast<size_t>(header_bytes));
  cache.pnt += header_bytes;
  if (data_bytes > 0) {
    std::memcpy(cache.buf + cache.pnt, data, static_cast<size_t>(data_bytes));
    cache.pnt += data_bytes;
  }
}

void kagcst(int64_t bytes, void* buffer) {
  std::memcpy(buffer, cache.buf + cache.pnt, static_cast<size_t>(bytes));
  cache.pnt += bytes;
}

void cache_group_end() {
  unsigned char end[kStationHeaderBytes] = {};
  kacstn(end, nullptr, 0, kStationHeaderBytes);
}

bool same_request(const station_set* a, const station_set* b) {
  if (a->file != b->file || a->idim != b->idim || a->jdim != b->jdim ||
      a->time_min != b->time_min || a->time_max != b->time_max ||
      a->radius_flag != b->radius_flag || a->stid_flag != b->stid_flag)
    return false;
  if (a->radius_flag && a->radius != b->radius) return false;
  if (!a->stid_flag)
    return a->lon_min == b->lon_min && a->lat_min == b->lat_min && a->lon_max == b->lon_max &&
           a->lat_max == b->lat_max;
  return std::memcmp(a->stid, b->stid, 8) == 0;
}

// An id cut at its first blank, at most 8 characters, lower-cased.
void cut_id(const char* id, char* out) {
  int n = 0;
  while (n < 8 && id[n] != ' ' && id[n] != '\0') {
    out[n] = static_cast<char>(std::tolower(static_cast<unsigned char>(id[n])));
    n++;
  }
  out[n] = '\0';
}

struct selection_box {
  float lon_min, lon_max, lat_min, lat_max;
};

bool selected(const station_set* set, const selection_box& box, const report_header& h) {
  if (set->stid_flag) {
    char a[9], b[9];
    cut_id(reinterpret_cast<const char*>(h.raw), a);
    cut_id(set->stid, b);
    return cmpwrd(a, b) != 0;
  }
  // A position that is no number compares false everywhere: it lies in no box.
  if (!std::isfinite(h.lon) || !std::isfinite(h.lat)) return false;
  float lon = h.lon;
  if (lon < box.lon_min) lon += 360.0f;
  if (lon > box.lon_max) lon -= 360.0f;
  if (lon < box.lon_min || lon > box.lon_max || h.lat < box.lat_min || h.lat > box.lat_max)
    return false;
  if (set->radius_flag &&
      std::hypot(static_cast<double>(lon - set->lon_min),
                 static_cast<double>(h.lat - set->lat_min)) > static_cast<double>(set->radius))
    return false;
  return true;
}

void free_blocks(station_set* set) {
  for (int k = 0; k < set->block_capacity; k++) {
    kafree(set->blocks[k]);
    set->blocks[k] = nullptr;
  }
  set->first_report = nullptr;
  set->report_count = 0;
}

// Reads the rest of one report from the file: its data into data (when
// not null) or past it. In sequential form first_len is the length of the
// record that began with the header. 0, or 1 after the messages.
int report_body(FILE* s, file_descriptor* f, int64_t* pos, int first_len, int64_t words,
                float* data) {
  const int64_t total = kStationHeaderBytes + 4 * words;
  if (!f->sequential) {
    if (!data) {
      *pos += 4 * words;
      return words ? kasstn(s, f, *pos) : 0;
    }
    if (karstn(s, f, 4 * words, data, *pos)) return 1;
    *pos += 4 * words;
    return 0;
  }
  auto* out = reinterpret_cast<unsigned char*>(data);
  int64_t sum = first_len, got = first_len - kStationHeaderBytes;
  // The rest of the first record, then its closing length.
  if (data) {
    if (karstn(s, f, got, out, *pos)) return 1;
    *pos += got + 4;
    if (kasstn(s, f, *pos)) return 1;
  } else {
    *pos += got + 4;
    if (kasstn(s, f, *pos)) return 1;
  }
  while (sum < total) {
    int32_t len;
    if (karstn(s, f, 4, &len, *pos)) return 1;
    if (f->byte_swap) kabswp(&len, 1);
    *pos += 4;
    if (len < 0 || sum + len > total) {
      sequence_error(f, "  Record size exceeds report size\n");
      return 1;
    }
    if (data) {
      if (karstn(s, f, len, out + got, *pos)) return 1;
    }
    got += len;
    sum += len;
    *pos += len + 4;
    if (kasstn(s, f, *pos)) return 1;
  }
  return 0;
}

void bad_report(const file_descriptor* f) {
  kaprnt(msg_level::error, "Low Level I/O Error:  Invalid station report in data file\n");
  kaprntf(msg_level::error, "  Data file name = %s \n", file_name(f));
}

// One time's group, from the file or the cache: 0, or 1 after the messages.
int read_group(station_set* set, const selection_box& box, int t) {
  file_descriptor* f = set->file;
  FILE* s = f->data_stream;
  int64_t pos = 0;
  if (!cache.serving) {
    pos = f->station_offsets[t - 1];
    if (kasstn(s, f, pos)) return 1;
  }
  const int nsurf = f->surface_variable_count, nlev = f->level_variable_count;
  for (;;) {
    report_header h;
    int first_len = 0;
    if (cache.serving) {
      kagcst(kStationHeaderBytes, h.raw);
    } else {
      if (f->sequential) {
        int32_t len;
        if (karstn(s, f, 4, &len, pos)) return 1;
        if (f->byte_swap) kabswp(&len, 1);
        pos += 4;
        if (len < kStationHeaderBytes) {
          sequence_error(f, "  Record size is smaller than a report header\n");
          return 1;
        }
        first_len = len;
      }
      if (karstn(s, f, kStationHeaderBytes, h.raw, pos)) return 1;
      pos += kStationHeaderBytes;
      if (f->byte_swap) kahswp(h.raw);
    }
    decode(&h);
    if (h.level_count == 0) break;
    const int64_t words = station_data_words(h.level_count, h.surface_flag, nsurf, nlev);
    if (words < 0) {
      bad_report(f);
      kaprntf(msg_level::error, "  Level count %i is negative\n", h.level_count);
      return 1;
    }
    if (words > f->station_max_words) {
      bad_report(f);
      kaprntf(msg_level::error,
              "  Report of %lli data words exceeds the station map's largest (%i)\n",
              static_cast<long long>(words), f->station_max_words);
      return 1;
    }
    if (f->sequential && !cache.serving && first_len > kStationHeaderBytes + 4 * words) {
      sequence_error(f, "  Record size exceeds report size\n");
      return 1;
    }
    if (!selected(set, box, h)) {
      if (cache.serving) {
        kaprnt(msg_level::error, "Logic Error 8 in kaio\n");
        return 1;
      }
      if (report_body(s, f, &pos, first_len, words, nullptr)) return 1;
      continue;
    }
    if (cache.serving) {
      kagcst(4 * words, f->data_buffer);
    } else {
      if (report_body(s, f, &pos, first_len, words, f->data_buffer)) return 1;
      if (f->byte_swap) kabswp(f->data_buffer, static_cast<size_t>(words));
      for (int64_t i = 0; i < words; i++) {
        float v = f->data_buffer[i];
        if (v > f->undef_low && v < f->undef_high) f->data_buffer[i] = f->undef;
      }
    }
    if (kaglvs(t, h.raw, set)) return 1;
    if (cache.writing) kacstn(h.raw, f->data_buffer, 4 * words, kStationHeaderBytes);
  }
  if (cache.writing) cache_group_end();
  return 0;
}

int fill(read_request& rq, station_set* set) {
  file_descriptor* f = set->file;
  if (!f->station_offsets || !f->data_buffer) {
    kaprnt(msg_level::error,
           "Data Request Error:  Station data set opened without its station map\n");
    return 1;
  }
  selection_box box{set->lon_min, set->lon_max, set->lat_min, set->lat_max};
  if (set->radius_flag) {
    box = {set->lon_min - set->radius, set->lon_min + set->radius, set->lat_min - set->radius,
           set->lat_min + set->radius};
  }
  for (int t = set->time_min; t <= set->time_max; t++) {
    if (t < 1) continue;
    if (t > f->t_size) break;
    if (!cache.serving && f->template_flag) {
      int opened = 0;
      int rc = kaopfn(rq, t, &opened);
      if (rc == -99999) return 1;
      if (rc == -88888) {
        if (cache.writing) cache_group_end();
        continue;
      }
    }
    if (!cache.serving && !f->data_stream) {
      kaprnt(msg_level::error, "Data Request Error:  Station data file is not open\n");
      return 1;
    }
    if (read_group(set, box, t)) return 1;
  }
  return 0;
}

}  // namespace

int64_t station_data_words(int level_count, int surface_flag, int surface_vars, int level_vars) {
  if (level_count < 0) return -1;
  const int64_t per_level = static_cast<int64_t>(level_vars) + 1;
  if (surface_flag == 1 && level_count > 0)
    return (static_cast<int64_t>(level_count) - 1) * per_level + surface_vars;
  return static_cast<int64_t>(level_count) * per_level;
}

void kastnclr() { cache.holds = false; }

int kaglvs(int t, const unsigned char* raw, station_set* set) {
  report_header h;
  std::memcpy(h.raw, raw, kStationHeaderBytes);
  decode(&h);
  const file_descriptor* f = set->file;
  const variable_descriptor* v = set->variable;
  const float* data = f->data_buffer;
  const int index = v ? static_cast<int>(v->offset) : 0;
  auto add = [&](float lev, float value) {
    station_report* r = kaarpt(set);
    if (!r) return false;
    std::memcpy(r->stid, h.raw, 8);
    r->lat = h.lat;
    r->lon = h.lon;
    r->lev = lev;
    r->time = static_cast<float>(t) + h.toff;
    r->value = value;
    set->report_count++;
    return true;
  };
  const bool surface = h.surface_flag == 1;
  if (v && v->levels != 0) {
    const int per_level = f->level_variable_count + 1;
    int records = h.level_count;
    if (surface) {
      data += f->surface_variable_count;
      records--;
    }
    for (int i = 0; i < records; i++, data += per_level) {
      const float lev = data[0];
      bool take = set->lev_min != set->lev_max ? set->lev_max <= lev && lev <= set->lev_min
                                               : std::fabs(lev - set->lev_min) <= 0.01f;
      if (take && !add(lev, data[index + 1])) return 1;
    }
  } else if (surface) {
    if (!add(kSurfaceLevel, data[index])) return 1;
  }
  return 0;
}

namespace {

int read_stations(read_request& rq, station_set* set) {
  set->first_report = nullptr;
  set->report_count = 0;
  for (int k = 0; k < set->block_capacity; k++) set->blocks[k] = nullptr;
  if (!cache.buf) {
    cache.buf = static_cast<unsigned char*>(
        kamalloc(kCacheBytes, "Memory allocation error:  Stn data cache buffer\n"));
    cache.holds = false;
  }
  cache.serving = false;
  cache.pnt = 0;
  cache.writing = true;
  file_descriptor* f = set->file;
  if (!f) {
    kaprnt(msg_level::error, "Data Request Error:  No data set for the request\n");
    return 1;
  }
  if (cache.holds && f->file_number != -999 && f->file_number == cache.file_number &&
      same_request(set, &cache.request)) {
    cache.serving = true;
    cache.writing = false;
  }
  // A request read from the file overwrites what the cache held.
  if (!cache.serving) cache.holds = false;
  if (fill(rq, set)) {
    free_blocks(set);
    if (!cache.serving) cache.holds = false;
    return 1;
  }
  if (cache.writing) {
    cache.holds = true;
    std::memcpy(&cache.request, set, sizeof(station_set));
    cache.file_number = f->file_number;
  } else if (!cache.serving) {
    cache.holds = false;
  }
  return 0;
}

}  // namespace

const reader station_reader = {
    "Station", nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, read_stations,
    nullptr,   nullptr, false,   false,   nullptr, false,   nullptr,
};
