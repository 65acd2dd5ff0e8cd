// Fuzz target: the GRIB index builder and the GRIB reader. The input's first
// byte picks one of a few data descriptors (a 4 x 3 grid with levels, a
// 36 x 19 grid, a fixed grid id, grid type 29); the second byte's low bit asks
// for the index to be damaged by the last 8 input bytes (4 offset / xor
// pairs); the rest is the GRIB file. The index is built, the data set opened
// and every record read whole.
#include <sys/stat.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "base/mfcmn.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/gribbuild.h"
#include "data/gridread.h"
#include "data/result.h"
#include "fuzz_support.h"

namespace {

const char* const kDescriptors[] = {
    "dset ^g.grb\nindex ^g.idx\ndtype grib\nundef -9.99e33\noptions yrev\n"
    "xdef 4 linear 0 90\nydef 3 linear -60 60\nzdef 2 levels 500 850\n"
    "tdef 3 linear 00z1jan2000 6hr\nvars 2\nt 2 11,100 t\nps 0 1,1,0 ps\nendvars\n",
    "dset ^g.grb\nindex ^g.idx\ndtype grib\nundef 9.999e20\n"
    "xdef 36 linear 0 10\nydef 19 linear -90 10\nzdef 1 levels 0\n"
    "tdef 4 linear 00z1jan2000 6hr\nvars 1\nv 0 1,1,0 v\nendvars\n",
    "dset ^g.grb\nindex ^g.idx\ndtype grib 3\nundef 9.999e20\n"
    "xdef 36 linear 0 10\nydef 19 linear -90 10\nzdef 1 levels 0\n"
    "tdef 4 linear 00z1jan2000 6hr\nvars 1\nv 0 1,1,0 v\nendvars\n",
    "dset ^g.grb\nindex ^g.idx\ndtype grib 29\nundef 9.999e20\n"
    "xdef 144 linear 0 2.5\nydef 73 linear -90 2.5\nzdef 1 levels 500\n"
    "tdef 1 linear 00z1jan2000 6hr\nvars 1\nt 0 11,100,500 t\nendvars\n",
};
constexpr int kCount = sizeof kDescriptors / sizeof kDescriptors[0];

void damage(const std::string& idx, const uint8_t* pairs) {
  FILE* f = std::fopen(idx.c_str(), "r+b");
  if (!f) return;
  std::fseek(f, 0, SEEK_END);
  long size = std::ftell(f);
  for (int k = 0; k < 4 && size > 0; k++) {
    long pos = pairs[2 * k] * 7 % size;
    std::fseek(f, pos, SEEK_SET);
    int c = std::fgetc(f);
    std::fseek(f, pos, SEEK_SET);
    std::fputc(c ^ pairs[2 * k + 1], f);
  }
  std::fclose(f);
}

void read_all(file_descriptor* pfi) {
  for (int v = 0; v < pfi->variable_count; v++) {
    variable_descriptor* pvar = &pfi->variables[v];
    const int levels = pvar->levels > 0 ? pvar->levels : 1;
    for (int t = 1; t <= pfi->t_size; t++)
      for (int z = 1; z <= levels; z++) {
        auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
        g->file = pfi;
        g->variable = pvar;
        g->undef = pfi->undef;
        g->idim = 0;
        g->jdim = 1;
        const int lo[4] = {0, 1, z, t}, hi[4] = {pfi->x_size + 1, pfi->y_size, z, t};
        for (int d = 0; d < 4; d++) g->dim_min[d] = lo[d], g->dim_max[d] = hi[d];
        kaggrd(g);
        kagfre(g);
      }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::silence();
  if (size < 2) return 0;
  const int variant = data[0] % kCount;
  const bool damaged = (data[1] & 1) && size >= 10;
  const std::string dir = fuzz::scratch();
  const std::string ctl = dir + "/d.ctl", idx = dir + "/g.idx";
  fuzz::write_input("d.ctl", reinterpret_cast<const uint8_t*>(kDescriptors[variant]),
                    std::char_traits<char>::length(kDescriptors[variant]));
  fuzz::write_input("g.grb", data + 2, damaged ? size - 10 : size - 2);
  std::remove(idx.c_str());
  mfcmn.calendar_365 = -999;
  latsgribmap(ctl.c_str(), data[1] & 2);
  struct stat st;
  if (::stat(idx.c_str(), &st) != 0) return 0;
  if (damaged) damage(idx, data + size - 8);
  mfcmn.calendar_365 = -999;
  file_descriptor* pfi = getpfi();
  if (kaddes(ctl.c_str(), pfi, 1) == 0) {
    pfi->data_stream = std::fopen(pfi->data_file_name, "rb");
    read_all(pfi);
    if (pfi->data_stream) std::fclose(pfi->data_stream);
  }
  frepfi(pfi, 0);
  return 0;
}
