// Fuzz target: station map and station data file readers, and the station map
// builder. The input carries both files: a flag byte (bit 0 sequential, bit 1
// byte-swapped, bits 2-3 level variables, bits 4-5 surface variables), the
// time count less one, the map's length (two bytes, low first), the map, and
// the data file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/result.h"
#include "data/stnmap.h"
#include "data/stnread.h"
#include "fuzz_support.h"

namespace {

std::string descriptor(unsigned flags, int times) {
  int nlev = (flags >> 2) & 3, nsurf = (flags >> 4) & 3;
  if (nlev + nsurf == 0) nsurf = 1;
  std::string c = "dset ^st.dat\ndtype station\nstnmap ^st.map\nundef -999\n";
  if (flags & 1) c += "options sequential\n";
  if (flags & 2) c += "options byteswapped\n";
  c += "tdef " + std::to_string(times) + " linear 00z1jan2000 6hr\n";
  c += "vars " + std::to_string(nlev + nsurf) + "\n";
  for (int i = 0; i < nsurf; i++) c += "s" + std::to_string(i) + " 0 99 s\n";
  for (int i = 0; i < nlev; i++) c += "l" + std::to_string(i) + " 1 99 l\n";
  c += "endvars\n";
  return c;
}

struct request {
  float lon_min, lon_max, lat_min, lat_max, lev_min, lev_max;
  int t_min, t_max;
  float radius;  // >= 0: centre and radius
  const char* stid;
};

int read_all(file_descriptor* pfi, const request& q) {
  int failures = 0;
  for (int v = 0; v < pfi->variable_count; v++) {
    auto* s = static_cast<station_set*>(std::calloc(1, sizeof(station_set)));
    s->file = pfi;
    s->undef = pfi->undef;
    s->lon_min = q.lon_min;
    s->lon_max = q.lon_max;
    s->lat_min = q.lat_min;
    s->lat_max = q.lat_max;
    s->lev_min = q.lev_min;
    s->lev_max = q.lev_max;
    s->time_min = q.t_min;
    s->time_max = q.t_max;
    if (q.radius >= 0) {
      s->radius_flag = 1;
      s->radius = q.radius;
    }
    std::memset(s->stid, ' ', 8);
    if (q.stid) {
      s->stid_flag = 1;
      std::memcpy(s->stid, q.stid, std::strlen(q.stid));
    }
    s->variable = &pfi->variables[v];
    s->block_index = -1;
    if (kagstn(s)) failures++;
    kasmnmx(s);
    kasfre(s);
  }
  return failures;
}

int serial = 0;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::silence();
  if (size < 4) return 0;
  const unsigned flags = data[0];
  const int times = data[1] % 8 + 1;
  const size_t map_len = data[2] | size_t{data[3]} << 8;
  if (size - 4 < map_len) return 0;
  fuzz::write_input("st.map", data + 4, map_len);
  fuzz::write_input("st.dat", data + 4 + map_len, size - 4 - map_len);
  std::string text = descriptor(flags, times);
  std::string ctl =
      fuzz::write_input("st.ctl", reinterpret_cast<const uint8_t*>(text.data()), text.size());

  file_descriptor* pfi = getpfi();
  if (!pfi) return 0;
  if (kaddes(ctl.c_str(), pfi, 1) == 0) {
    pfi->data_stream = std::fopen(pfi->data_file_name, "rb");
    pfi->file_number = ++serial;
    const request all{-1e9f, 1e9f, -1e9f, 1e9f, 1e9f, -1e9f, -1, times + 1, -1, nullptr};
    read_all(pfi, all);
    read_all(pfi, all);  // served from the cache
    read_all(pfi, {0, 360, -90, 90, 500, 500, 1, times, -1, nullptr});
    read_all(pfi, {100, 0, 40, 0, 1000, 0, 1, times, 10, nullptr});
    read_all(pfi, {0, 0, 0, 0, 1000, 0, 1, times, -1, "ab"});

    // A map the builder makes from the same data must read back, and the
    // reader must then walk every group of it.
    std::string built = fuzz::scratch() + "/built.map";
    if (kastnmap(pfi, built.c_str()) == 0) {
      FILE* m = std::fopen(built.c_str(), "rb");
      int nt = 0, maxw = 0;
      if (!m || read_station_map(m, pfi, &nt, &maxw) != 0 || nt != times) std::abort();
      std::fclose(m);
      float* buf = static_cast<float*>(
          std::realloc(pfi->data_buffer, sizeof(float) * size_t(maxw > 0 ? maxw : 1)));
      if (!buf) std::abort();
      pfi->data_buffer = buf;
      pfi->station_max_words = maxw;
      pfi->file_number = ++serial;
      if (read_all(pfi, all) != 0) std::abort();
    }
    if (pfi->data_stream) std::fclose(pfi->data_stream);
    pfi->data_stream = nullptr;
  }
  frepfi(pfi, 0);
  return 0;
}
