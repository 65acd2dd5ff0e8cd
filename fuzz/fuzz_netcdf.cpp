// Fuzz target: the netCDF metadata reader, the data set built from it and the
// grid reader. The input is not a netCDF file (that would fuzz the netCDF
// library's own header parser) but a recipe: dimensions, variables,
// attributes and values chosen by the input bytes are written through the
// library into a valid file, which is then opened, described and read.
#include <netcdf.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "data/filerec.h"
#include "data/reader.h"
#include "data/result.h"
#include "../tests/support/open_descriptors.h"
#include "fuzz_support.h"
#include "sdf/sdf.h"
#include "sdf/sdfint.h"

namespace {

struct input {
  const uint8_t* p;
  size_t n;
  uint8_t byte() {
    if (!n) return 0;
    n--;
    return *p++;
  }
  void bytes(void* out, size_t k) {
    auto* o = static_cast<uint8_t*>(out);
    for (size_t i = 0; i < k; i++) o[i] = byte();
  }
  template <class T>
  const T& pick(const std::vector<T>& v) {
    return v[byte() % v.size()];
  }
};

const std::vector<std::string> kNames = {"time", "lat", "lon", "lev", "plev", "depth", "x",
                                         "y",    "t2m", "ta",  "u",   "bnds", "height"};
const std::vector<std::string> kAtts = {"units",      "calendar",   "positive",      "scale_factor",
                                        "add_offset", "_FillValue", "missing_value", "long_name",
                                        "title",      "delta_t",    "slope",         "intercept"};
const std::vector<std::string> kTexts = {"degrees_east",
                                         "degrees_north",
                                         "hours since 2000-01-01",
                                         "days since 1850-1-1",
                                         "hPa",
                                         "m",
                                         "K",
                                         "yyyymmddhhmmss",
                                         "YYMMDDHH",
                                         "noleap",
                                         "365_day",
                                         "down",
                                         "up",
                                         "months since 2000-01-01",
                                         "common_year",
                                         "seconds since 1970-01-01",
                                         "0000-00-01 00:00:00",
                                         "0001-02-03",
                                         "sigma_level",
                                         "years since 1-1-1",
                                         "minutes",
                                         "degree_E",
                                         "mb",
                                         "days",
                                         ""};
const std::vector<nc_type> kTypes = {NC_BYTE, NC_CHAR, NC_SHORT, NC_INT, NC_FLOAT, NC_DOUBLE};

size_t type_size(nc_type t) {
  switch (t) {
    case NC_SHORT: return 2;
    case NC_INT:
    case NC_FLOAT: return 4;
    case NC_DOUBLE: return 8;
    default: return 1;
  }
}

bool write_file(const std::string& path, input& in) {
  int nc;
  if (nc_create(path.c_str(), NC_CLOBBER, &nc) != NC_NOERR) return false;
  int ndims = in.byte() % 5 + 1;
  std::vector<int> dims;
  std::vector<size_t> lens;
  for (int i = 0; i < ndims; i++) {
    std::string name = in.pick(kNames);
    size_t len = in.byte() % 6;
    int id;
    if (nc_def_dim(nc, name.c_str(), len == 0 && i == 0 ? NC_UNLIMITED : (len ? len : 1), &id) ==
        NC_NOERR) {
      dims.push_back(id);
      lens.push_back(len == 0 && i == 0 ? 2 : (len ? len : 1));
    }
  }
  if (dims.empty()) {
    nc_close(nc);
    return false;
  }
  struct var {
    int id;
    nc_type type;
    size_t count;
    std::vector<size_t> shape;
  };
  std::vector<var> vars;
  int nvars = in.byte() % 7 + 1;
  for (int i = 0; i < nvars; i++) {
    std::string name = in.pick(kNames);
    nc_type type = in.pick(kTypes);
    int nd = in.byte() % 5;
    std::vector<int> vd;
    var v{0, type, 1, {}};
    for (int k = 0; k < nd; k++) {
      size_t which = in.byte() % dims.size();
      vd.push_back(dims[which]);
      v.shape.push_back(lens[which]);
      v.count *= lens[which];
    }
    if (nc_def_var(nc, name.c_str(), type, nd, vd.data(), &v.id) != NC_NOERR) continue;
    int natts = in.byte() % 5;
    for (int a = 0; a < natts; a++) {
      std::string an = in.pick(kAtts);
      nc_type at = in.pick(kTypes);
      if (at == NC_CHAR) {
        std::string text = in.pick(kTexts);
        nc_put_att_text(nc, v.id, an.c_str(), text.size(), text.c_str());
      } else {
        size_t len = in.byte() % 3 + 1;
        std::vector<uint8_t> raw(len * type_size(at));
        in.bytes(raw.data(), raw.size());
        nc_put_att(nc, v.id, an.c_str(), at, len, raw.data());
      }
    }
    vars.push_back(v);
  }
  if (nc_enddef(nc) != NC_NOERR) {
    nc_close(nc);
    return false;
  }
  for (const var& v : vars) {
    if (v.count > 4096) continue;
    std::vector<uint8_t> raw(v.count * type_size(v.type));
    in.bytes(raw.data(), raw.size());
    std::vector<size_t> start(v.shape.size(), 0);
    nc_put_vara(nc, v.id, start.data(), v.shape.data(), raw.data());
  }
  return nc_close(nc) == NC_NOERR;
}

int run(const uint8_t* data, size_t size);

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  int before = open_descriptors();
  run(data, size);
  if (open_descriptors() != before) {
    std::fprintf(stderr, "file descriptor left open:\n");
    std::fflush(stderr);
    std::system("ls -l /proc/$PPID/fd >&2");
    std::abort();
  }
  return 0;
}

namespace {

int run(const uint8_t* data, size_t size) {
  fuzz::silence();
  static bool installed = [] {
    sdf_install(nullptr);
    return true;
  }();
  (void)installed;
  input in{data, size};
  std::string path = fuzz::scratch() + "/in.nc";
  if (!write_file(path, in)) return 0;
  file_descriptor* pfi = getpfi();
  if (!pfi) return 0;
  pfi->reader = find_reader(data_kind::netcdf);
  io_std* io = nullptr;
  if (!init_io_std(&io)) {
    frepfi(pfi, 0);
    return 0;
  }
  pfi->sdf_io = io;
  sdf_parms parms;
  if (kadsdf(path.c_str(), pfi, "", -999, parms) == 0 && pfi->variable_count > 0) {
    // One grid of the first variable over the whole x-y plane, and one
    // reaching past the file in x.
    for (int wide = 0; wide < 2; wide++) {
      grid_field g{};
      g.file = pfi;
      g.variable = &pfi->variables[0];
      g.idim = 0;
      g.jdim = 1;
      g.dim_min[0] = wide ? -3 : 1;
      g.dim_max[0] = pfi->x_size + (wide ? 4 : 0);
      g.dim_min[1] = 1;
      g.dim_max[1] = pfi->y_size;
      g.dim_min[2] = g.dim_max[2] = 1;
      g.dim_min[3] = g.dim_max[3] = 1;
      long n = long(g.dim_max[0] - g.dim_min[0] + 1) * (g.dim_max[1] - g.dim_min[1] + 1);
      if (n <= 0 || n > 1000000) break;
      std::vector<float> values(static_cast<size_t>(n));
      sdf_kagsdf(&g, values.data());
    }
  }
  close_netcdf(io->ncid);
  frepfi(pfi, 0);
  return 0;
}

}  // namespace
