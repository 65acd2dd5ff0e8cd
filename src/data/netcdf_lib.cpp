// The netCDF entry points the program calls, each forwarding to the library
// opened on its first use (see base/lazylib.h). A run that reads no netCDF
// never loads it. An entry point the program starts to call needs its line
// here; the link fails until it has one.
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

int nc_open(const char* path, int mode, int* ncidp) {
  static const auto fn = lazy_entry<decltype(&nc_open)>(netcdf(), "nc_open");
  return fn ? fn(path, mode, ncidp) : NC_ENOTBUILT;
}

int nc__create(const char* path, int cmode, size_t initialsz, size_t* chunksizehintp, int* ncidp) {
  static const auto fn = lazy_entry<decltype(&nc__create)>(netcdf(), "nc__create");
  return fn ? fn(path, cmode, initialsz, chunksizehintp, ncidp) : NC_ENOTBUILT;
}

int nc__open(const char* path, int mode, size_t* chunksizehintp, int* ncidp) {
  static const auto fn = lazy_entry<decltype(&nc__open)>(netcdf(), "nc__open");
  return fn ? fn(path, mode, chunksizehintp, ncidp) : NC_ENOTBUILT;
}

int nc_inq_var_chunking(int ncid, int varid, int* storagep, size_t* chunksizesp) {
  static const auto fn =
      lazy_entry<decltype(&nc_inq_var_chunking)>(netcdf(), "nc_inq_var_chunking");
  return fn ? fn(ncid, varid, storagep, chunksizesp) : NC_ENOTBUILT;
}

int nc_inq_var_filter_ids(int ncid, int varid, size_t* nfilters, unsigned int* filterids) {
  static const auto fn =
      lazy_entry<decltype(&nc_inq_var_filter_ids)>(netcdf(), "nc_inq_var_filter_ids");
  return fn ? fn(ncid, varid, nfilters, filterids) : NC_ENOTBUILT;
}

int nc_set_var_chunk_cache(int ncid, int varid, size_t size, size_t nelems, float preemption) {
  static const auto fn =
      lazy_entry<decltype(&nc_set_var_chunk_cache)>(netcdf(), "nc_set_var_chunk_cache");
  return fn ? fn(ncid, varid, size, nelems, preemption) : NC_ENOTBUILT;
}

int nc_inq_dimlen(int ncid, int dimid, size_t* lenp) {
  static const auto fn = lazy_entry<decltype(&nc_inq_dimlen)>(netcdf(), "nc_inq_dimlen");
  return fn ? fn(ncid, dimid, lenp) : NC_ENOTBUILT;
}

int nc_close(int ncid) {
  static const auto fn = lazy_entry<decltype(&nc_close)>(netcdf(), "nc_close");
  return fn ? fn(ncid) : NC_ENOTBUILT;
}

int nc_get_att_string(int ncid, int varid, const char* name, char** ip) {
  static const auto fn = lazy_entry<decltype(&nc_get_att_string)>(netcdf(), "nc_get_att_string");
  return fn ? fn(ncid, varid, name, ip) : NC_ENOTBUILT;
}

int nc_free_string(size_t len, char** data) {
  static const auto fn = lazy_entry<decltype(&nc_free_string)>(netcdf(), "nc_free_string");
  return fn ? fn(len, data) : NC_ENOTBUILT;
}

const char* nc_strerror(int status) {
  static const auto fn = lazy_entry<decltype(&nc_strerror)>(netcdf(), "nc_strerror");
  if (fn) return fn(status);
  return netcdf().failure().empty() ? "netCDF library not loaded" : netcdf().failure().c_str();
}

int ncinquire(int ncid, int* ndimsp, int* nvarsp, int* nattsp, int* unlimdimp) {
  static const auto fn = lazy_entry<decltype(&ncinquire)>(netcdf(), "ncinquire");
  return fn ? fn(ncid, ndimsp, nvarsp, nattsp, unlimdimp) : kFailed;
}

int ncdiminq(int ncid, int dimid, char* name, long* lenp) {
  static const auto fn = lazy_entry<decltype(&ncdiminq)>(netcdf(), "ncdiminq");
  return fn ? fn(ncid, dimid, name, lenp) : kFailed;
}

int ncvarinq(int ncid, int varid, char* name, nc_type* xtypep, int* ndimsp, int* dimidsp,
             int* nattsp) {
  static const auto fn = lazy_entry<decltype(&ncvarinq)>(netcdf(), "ncvarinq");
  return fn ? fn(ncid, varid, name, xtypep, ndimsp, dimidsp, nattsp) : kFailed;
}

int ncattinq(int ncid, int varid, const char* name, nc_type* xtypep, int* lenp) {
  static const auto fn = lazy_entry<decltype(&ncattinq)>(netcdf(), "ncattinq");
  return fn ? fn(ncid, varid, name, xtypep, lenp) : kFailed;
}

int ncattname(int ncid, int varid, int attnum, char* name) {
  static const auto fn = lazy_entry<decltype(&ncattname)>(netcdf(), "ncattname");
  return fn ? fn(ncid, varid, attnum, name) : kFailed;
}

int ncattget(int ncid, int varid, const char* name, void* ip) {
  static const auto fn = lazy_entry<decltype(&ncattget)>(netcdf(), "ncattget");
  return fn ? fn(ncid, varid, name, ip) : kFailed;
}

int ncvarget(int ncid, int varid, const long* startp, const long* countp, void* ip) {
  static const auto fn = lazy_entry<decltype(&ncvarget)>(netcdf(), "ncvarget");
  return fn ? fn(ncid, varid, startp, countp, ip) : kFailed;
}

int ncdimdef(int ncid, const char* name, long len) {
  static const auto fn = lazy_entry<decltype(&ncdimdef)>(netcdf(), "ncdimdef");
  return fn ? fn(ncid, name, len) : kFailed;
}

int ncvardef(int ncid, const char* name, nc_type xtype, int ndims, const int* dimidsp) {
  static const auto fn = lazy_entry<decltype(&ncvardef)>(netcdf(), "ncvardef");
  return fn ? fn(ncid, name, xtype, ndims, dimidsp) : kFailed;
}

int ncattput(int ncid, int varid, const char* name, nc_type xtype, int len, const void* op) {
  static const auto fn = lazy_entry<decltype(&ncattput)>(netcdf(), "ncattput");
  return fn ? fn(ncid, varid, name, xtype, len, op) : kFailed;
}

int ncendef(int ncid) {
  static const auto fn = lazy_entry<decltype(&ncendef)>(netcdf(), "ncendef");
  return fn ? fn(ncid) : kFailed;
}

int ncvarput(int ncid, int varid, const long* startp, const long* countp, const void* op) {
  static const auto fn = lazy_entry<decltype(&ncvarput)>(netcdf(), "ncvarput");
  return fn ? fn(ncid, varid, startp, countp, op) : kFailed;
}

int ncvarput1(int ncid, int varid, const long* indexp, const void* op) {
  static const auto fn = lazy_entry<decltype(&ncvarput1)>(netcdf(), "ncvarput1");
  return fn ? fn(ncid, varid, indexp, op) : kFailed;
}

int ncclose(int ncid) {
  static const auto fn = lazy_entry<decltype(&ncclose)>(netcdf(), "ncclose");
  return fn ? fn(ncid) : kFailed;
}

int ncabort(int ncid) {
  static const auto fn = lazy_entry<decltype(&ncabort)>(netcdf(), "ncabort");
  return fn ? fn(ncid) : kFailed;
}

}  // extern "C"
