// Calls of the independent tool (cdo) that tests compare with, and the
// reading of its netCDF results.
#pragma once

#include <netcdf.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/library_peer.h"

namespace cdo_tool {

inline bool available() { return std::system("command -v cdo >/dev/null 2>&1") == 0; }

// Runs "cdo -s -O args"; false when the tool failed three times. The tool
// runs chained operators in threads over a netCDF library that is not made
// for them, and now and then fails on a call ("NetCDF: Not a valid ID");
// the same call run again succeeds.
inline bool run(const std::string& args) {
  const std::string cmd = "cdo -s -O " + args + " >/dev/null 2>&1";
  for (int attempt = 0; attempt < 3; attempt++)
    if (std::system(cmd.c_str()) == 0) return true;
  return false;
}

// Every value of a variable of a netCDF file (empty when it cannot be read).
inline std::vector<float> read(const std::string& path, const char* name) {
  std::vector<float> v;
  int nc, id, nd, dims[NC_MAX_VAR_DIMS];
  if (peer::nc_open(path.c_str(), NC_NOWRITE, &nc) != NC_NOERR) return v;
  if (peer::nc_inq_varid(nc, name, &id) == NC_NOERR &&
      peer::nc_inq_varndims(nc, id, &nd) == NC_NOERR) {
    peer::nc_inq_vardimid(nc, id, dims);
    size_t n = 1;
    for (int i = 0; i < nd; i++) {
      size_t len;
      peer::nc_inq_dimlen(nc, dims[i], &len);
      n *= len;
    }
    v.resize(n);
    if (peer::nc_get_var_float(nc, id, v.data()) != NC_NOERR) v.clear();
  }
  peer::nc_close(nc);
  return v;
}

}  // namespace cdo_tool
