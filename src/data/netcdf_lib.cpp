// The netCDF entry points the program calls, each forwarding to the library
// opened on its first use (see base/lazylib.h). A run that reads no netCDF
// never loads it. An entry point the program starts to call needs its line
// here; the link fails until it has one (also the tests' link: they bind
// through these lines too).
//
// When the library cannot be loaded, the calls fail the way the library
// fails: NC_ENOTBUILT from the nc_ calls, -1 from the version-2 ones.

#include <netcdf.h>
#include <netcdf_filter.h>

#include "data/netcdf_lib.h"

#include "base/lazylib.h"

namespace {

lazy_library& netcdf() {
  static lazy_library lib("netCDF", VEMRA_NETCDF_SONAME);
  return lib;
}

constexpr int kFailed = -1;  // how the version-2 calls say they failed

const char* not_loaded() {
  return netcdf().failure().empty() ? "netCDF library not loaded" : netcdf().failure().c_str();
}

int* library_word(const char* name, int* stand_in) {
  void* word = netcdf().entry(name);
  return word ? static_cast<int*>(word) : stand_in;
}

}  // namespace

int& netcdf_options() {
  static int stand_in = 0;
  static int* const word = library_word("ncopts", &stand_in);
  return *word;
}

int netcdf_last_error() {
  static int stand_in = NC_ENOTBUILT;
  static int* const word = library_word("ncerr", &stand_in);
  return *word;
}

extern "C" {

LAZY_FORWARDER(netcdf(), int, nc_open, NC_ENOTBUILT, (const char* path, int mode, int* ncidp),
               (path, mode, ncidp))
LAZY_FORWARDER(netcdf(), int, nc__create, NC_ENOTBUILT,
               (const char* path, int cmode, size_t initialsz, size_t* chunksizehintp, int* ncidp),
               (path, cmode, initialsz, chunksizehintp, ncidp))
LAZY_FORWARDER(netcdf(), int, nc__open, NC_ENOTBUILT,
               (const char* path, int mode, size_t* chunksizehintp, int* ncidp),
               (path, mode, chunksizehintp, ncidp))
LAZY_FORWARDER(netcdf(), int, nc_inq_var_chunking, NC_ENOTBUILT,
               (int ncid, int varid, int* storagep, size_t* chunksizesp),
               (ncid, varid, storagep, chunksizesp))
LAZY_FORWARDER(netcdf(), int, nc_inq_var_filter_ids, NC_ENOTBUILT,
               (int ncid, int varid, size_t* nfilters, unsigned int* filterids),
               (ncid, varid, nfilters, filterids))
LAZY_FORWARDER(netcdf(), int, nc_set_var_chunk_cache, NC_ENOTBUILT,
               (int ncid, int varid, size_t size, size_t nelems, float preemption),
               (ncid, varid, size, nelems, preemption))
LAZY_FORWARDER(netcdf(), int, nc_inq_dimlen, NC_ENOTBUILT, (int ncid, int dimid, size_t* lenp),
               (ncid, dimid, lenp))
LAZY_FORWARDER(netcdf(), int, nc_close, NC_ENOTBUILT, (int ncid), (ncid))
LAZY_FORWARDER(netcdf(), int, nc_inq_format, NC_ENOTBUILT, (int ncid, int* formatp),
               (ncid, formatp))
LAZY_FORWARDER(netcdf(), int, nc_inq_path, NC_ENOTBUILT, (int ncid, size_t* pathlen, char* path),
               (ncid, pathlen, path))
LAZY_FORWARDER(netcdf(), int, nc_get_att_string, NC_ENOTBUILT,
               (int ncid, int varid, const char* name, char** ip), (ncid, varid, name, ip))
LAZY_FORWARDER(netcdf(), int, nc_free_string, NC_ENOTBUILT, (size_t len, char** data), (len, data))
LAZY_FORWARDER(netcdf(), const char*, nc_strerror, not_loaded(), (int status), (status))
LAZY_FORWARDER(netcdf(), int, ncinquire, kFailed,
               (int ncid, int* ndimsp, int* nvarsp, int* nattsp, int* unlimdimp),
               (ncid, ndimsp, nvarsp, nattsp, unlimdimp))
LAZY_FORWARDER(netcdf(), int, ncdiminq, kFailed, (int ncid, int dimid, char* name, long* lenp),
               (ncid, dimid, name, lenp))
LAZY_FORWARDER(netcdf(), int, ncvarinq, kFailed,
               (int ncid, int varid, char* name, nc_type* xtypep, int* ndimsp, int* dimidsp,
                int* nattsp),
               (ncid, varid, name, xtypep, ndimsp, dimidsp, nattsp))
LAZY_FORWARDER(netcdf(), int, ncattinq, kFailed,
               (int ncid, int varid, const char* name, nc_type* xtypep, int* lenp),
               (ncid, varid, name, xtypep, lenp))
LAZY_FORWARDER(netcdf(), int, ncattname, kFailed, (int ncid, int varid, int attnum, char* name),
               (ncid, varid, attnum, name))
LAZY_FORWARDER(netcdf(), int, ncattget, kFailed, (int ncid, int varid, const char* name, void* ip),
               (ncid, varid, name, ip))
LAZY_FORWARDER(netcdf(), int, ncvarget, kFailed,
               (int ncid, int varid, const long* startp, const long* countp, void* ip),
               (ncid, varid, startp, countp, ip))
LAZY_FORWARDER(netcdf(), int, ncdimdef, kFailed, (int ncid, const char* name, long len),
               (ncid, name, len))
LAZY_FORWARDER(netcdf(), int, ncvardef, kFailed,
               (int ncid, const char* name, nc_type xtype, int ndims, const int* dimidsp),
               (ncid, name, xtype, ndims, dimidsp))
LAZY_FORWARDER(netcdf(), int, ncattput, kFailed,
               (int ncid, int varid, const char* name, nc_type xtype, int len, const void* op),
               (ncid, varid, name, xtype, len, op))
LAZY_FORWARDER(netcdf(), int, ncendef, kFailed, (int ncid), (ncid))
LAZY_FORWARDER(netcdf(), int, ncvarput, kFailed,
               (int ncid, int varid, const long* startp, const long* countp, const void* op),
               (ncid, varid, startp, countp, op))
LAZY_FORWARDER(netcdf(), int, ncvarput1, kFailed,
               (int ncid, int varid, const long* indexp, const void* op), (ncid, varid, indexp, op))
LAZY_FORWARDER(netcdf(), int, ncclose, kFailed, (int ncid), (ncid))
LAZY_FORWARDER(netcdf(), int, ncabort, kFailed, (int ncid), (ncid))

}  // extern "C"
