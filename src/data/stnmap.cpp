#include "data/stnmap.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/alloc.h"
#include "base/message.h"
#include "base/numfmt.h"
#include "data/filerec.h"
#include "data/gridread.h"
#include "data/stnread.h"

namespace {

constexpr char kMagic[] = "Vemra_stnmapV002";
constexpr int kMagicBytes = 16;

int map_damaged() {
  kaprnt(msg_level::error, "Open Error:  Station map file is short or damaged\n");
  return 1;
}

void put_be(std::string& s, int32_t v) {
  auto u = static_cast<uint32_t>(v);
  for (int sh = 24; sh >= 0; sh -= 8) s += static_cast<char>((u >> sh) & 0xff);
}

const char* data_name(const file_descriptor* f) {
  return f->open_template_name ? f->open_template_name : f->data_file_name;
}

// Walks a station data file for the map builder.
struct walker {
  file_descriptor* f;
  FILE* s;
  int64_t pos;

  bool read(void* buf, int64_t n) {
    if (std::fread(buf, 1, static_cast<size_t>(n), s) != static_cast<size_t>(n)) return false;
    pos += n;
    return true;
  }
  bool skip(int64_t n) {
    pos += n;
    return fseeko(s, static_cast<off_t>(pos), SEEK_SET) == 0;
  }
  bool read_len(int32_t* len) {
    if (!read(len, 4)) return false;
    if (f->byte_swap) kabswp(len, 1);
    return true;
  }
};

void build_error(const file_descriptor* f, const char* why, int t, int64_t pos) {
  kaprnt(msg_level::error, "Station map error:  ");
  kaprnt(msg_level::error, why);
  kaprntf(msg_level::error, "  Time %i, byte %lli of data file %s \n", t,
          static_cast<long long>(pos), data_name(f));
}

// One time's group from w.pos: the number of reports, or -1 after a message.
int64_t walk_group(walker& w, int t, int* maxsize) {
  const int nsurf = w.f->surface_variable_count, nlev = w.f->level_variable_count;
  int64_t count = 0;
  for (;;) {
    int32_t first = 0;
    const int64_t at = w.pos;
    if (w.f->sequential) {
      if (!w.read_len(&first)) {
        build_error(w.f, "data ends inside a time group\n", t, at);
        return -1;
      }
      if (first < kStationHeaderBytes) {
        build_error(w.f, "sequential record smaller than a report header\n", t, at);
        return -1;
      }
    }
    unsigned char h[kStationHeaderBytes];
    if (!w.read(h, kStationHeaderBytes)) {
      build_error(w.f, "data ends inside a time group\n", t, at);
      return -1;
    }
    if (w.f->byte_swap) kahswp(h);
    int32_t levels, flag;
    std::memcpy(&levels, h + 20, 4);
    std::memcpy(&flag, h + 24, 4);
    const int64_t words = station_data_words(levels, flag, nsurf, nlev);
    if (words < 0 || words >= kStationMaxWords) {
      build_error(w.f, "invalid level count in a report header\n", t, at);
      return -1;
    }
    const int64_t total = kStationHeaderBytes + 4 * words;
    if (!w.f->sequential) {
      if (levels == 0) return count;
      if (!w.skip(4 * words)) return -1;
    } else {
      if (first > total) {
        build_error(w.f, "sequential record larger than its report\n", t, at);
        return -1;
      }
      if (!w.skip(first - kStationHeaderBytes + 4)) return -1;
      if (levels == 0) return count;
      for (int64_t sum = first; sum < total;) {
        int32_t len;
        if (!w.read_len(&len) || len < 0 || sum + len > total) {
          build_error(w.f, "sequential record larger than its report\n", t, at);
          return -1;
        }
        sum += len;
        if (!w.skip(int64_t{len} + 4)) return -1;
      }
    }
    if (words > *maxsize) *maxsize = static_cast<int>(words);
    count++;
  }
}

}  // namespace

int read_station_map(FILE* f, file_descriptor* rec, int* ntimes, int* maxsize) {
  struct stat st;
  if (fstat(fileno(f), &st) != 0) return map_damaged();
  const int64_t file_bytes = st.st_size;
  unsigned char head[24];
  size_t got = std::fread(head, 1, sizeof head, f);
  const bool v2 = got >= kMagicBytes && std::memcmp(head, kMagic, kMagicBytes) == 0;
  int nt, size;
  int64_t start;
  bool swap = false;
  if (v2) {
    if (got < 24) return map_damaged();
    nt = be_int2int(head + 16);
    size = be_int2int(head + 20);
    start = 24;
  } else {
    if (got < 8) return map_damaged();
    std::memcpy(&nt, head, 4);
    std::memcpy(&size, head + 4, 4);
    // A size of 2^24 words or more read in this order is a map written in
    // the other order.
    auto top = static_cast<signed char>(static_cast<uint32_t>(size) >> 24);
    if (top >= 1) {
      swap = true;
      kabswp(&nt, 1);
      kabswp(&size, 1);
    }
    start = 8;
  }
  // Counts are checked against what the file holds before anything is
  // allocated: two 4-byte entries per time.
  if (nt < 0 || size < 0 || size >= kStationMaxWords) return map_damaged();
  if (int64_t{nt} * 8 > file_bytes - start) return map_damaged();
  if (std::fseek(f, static_cast<long>(start), SEEK_SET) != 0) return map_damaged();
  const size_t n = static_cast<size_t>(nt);
  static const char kNoMemory[] = "Open Error:  Memory allocation Error in kaddes\n";
  int* offs = static_cast<int*>(kamalloc(sizeof(int) * (n ? n : 1), kNoMemory));
  int* cnts;
  try {
    cnts = static_cast<int*>(kamalloc(sizeof(int) * (n ? n : 1), kNoMemory));
  } catch (...) {
    kafree(offs);
    throw;
  }
  kafree(rec->station_offsets);
  kafree(rec->station_counts);
  rec->station_offsets = offs;
  rec->station_counts = cnts;
  if (std::fread(offs, 4, n, f) != n || std::fread(cnts, 4, n, f) != n) return map_damaged();
  if (v2) {
    for (size_t i = 0; i < n; i++) {
      offs[i] = be_int2int(reinterpret_cast<unsigned char*>(&offs[i]));
      cnts[i] = be_int2int(reinterpret_cast<unsigned char*>(&cnts[i]));
    }
  } else if (swap) {
    kabswp(offs, n);
    kabswp(cnts, n);
  }
  for (size_t i = 0; i < n; i++)
    if (offs[i] < 0 || cnts[i] < 0) return map_damaged();
  *ntimes = nt;
  *maxsize = size;
  return 0;
}

int kastnmap(file_descriptor* rec, const char* map_name) {
  const int nt = rec->t_size;
  std::vector<int32_t> offsets(static_cast<size_t>(nt > 0 ? nt : 0)), counts(offsets.size());
  int maxsize = 0;
  int64_t reports = 0;
  read_request rq;
  rq.file = rec;
  walker w{rec, nullptr, 0};
  int open_time = -1;  // the template file the walk is in
  for (int t = 1; t <= nt; t++) {
    if (rec->template_flag) {
      int opened = 0;
      int rc = kaopfn(rq, t, &opened);
      if (rc == -99999) return 1;
      if (rc == -88888) {  // missing file: an empty time
        offsets[size_t(t - 1)] = 0;
        counts[size_t(t - 1)] = 0;
        continue;
      }
      if (rec->open_template_time != open_time) {
        open_time = rec->open_template_time;
        w.pos = 0;
        if (rec->data_stream) std::rewind(rec->data_stream);
      }
    }
    w.s = rec->data_stream;
    if (!w.s) {
      kaprnt(msg_level::error, "Station map error:  the data file is not open\n");
      return 1;
    }
    if (w.pos > INT32_MAX) {
      build_error(rec, "the group lies beyond what a station map can address\n", t, w.pos);
      return 1;
    }
    offsets[size_t(t - 1)] = static_cast<int32_t>(w.pos);
    if (fseeko(w.s, static_cast<off_t>(w.pos), SEEK_SET) != 0) return 1;
    int64_t n = walk_group(w, t, &maxsize);
    if (n < 0) return 1;
    if (n > INT32_MAX) {
      build_error(rec, "too many reports in one time\n", t, w.pos);
      return 1;
    }
    counts[size_t(t - 1)] = static_cast<int32_t>(n);
    reports += n;
  }
  std::string out(kMagic, kMagicBytes);
  put_be(out, nt);
  put_be(out, maxsize);
  for (int32_t o : offsets) put_be(out, o);
  for (int32_t c : counts) put_be(out, c);
  FILE* m = std::fopen(map_name, "wb");
  bool ok = m && std::fwrite(out.data(), 1, out.size(), m) == out.size();
  if (m && std::fclose(m) != 0) ok = false;
  if (!ok) {
    kaprntf(msg_level::error, "Station map error:  can't write the map file %s\n", map_name);
    return 1;
  }
  kaprntf(msg_level::result, "Station map %s: %i times, %lli reports, largest report %i words\n",
          map_name, nt, static_cast<long long>(reports), maxsize);
  return 0;
}
