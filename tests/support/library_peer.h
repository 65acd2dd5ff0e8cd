// The netCDF and image libraries as the tests' own writer and reader of
// fixture files, reached under a handle of their own: the test programs link
// neither library, so every call the program's code makes binds through the
// program's own forwarders, as in the program, and a missing forwarder fails
// the link here too.
#pragma once

#include <dlfcn.h>
#include <gd.h>
#include <netcdf.h>

#include <cstdio>
#include <cstdlib>

namespace peer {

inline void* open_library(const char* soname) {
  void* h = dlopen(soname, RTLD_LAZY | RTLD_LOCAL);
  if (!h) {
    std::fprintf(stderr, "test peer: cannot load %s: %s\n", soname, dlerror());
    std::abort();
  }
  return h;
}

inline void* netcdf() {
  static void* const h = open_library(VEMRA_NETCDF_SONAME);
  return h;
}

inline void* gd() {
  static void* const h = open_library(VEMRA_GD_SONAME);
  return h;
}

template <typename Fn>
Fn bind(void* lib, const char* name) {
  void* fn = dlsym(lib, name);
  if (!fn) {
    std::fprintf(stderr, "test peer: no entry point %s\n", name);
    std::abort();
  }
  return reinterpret_cast<Fn>(fn);
}

// peer::NAME calls the library's NAME with the arguments it is given.
#define VEMRA_PEER_CALL(lib, name)                                      \
  template <typename... Args>                                           \
  auto name(Args... args) {                                             \
    static const auto fn = peer::bind<decltype(&::name)>(lib(), #name); \
    return fn(args...);                                                 \
  }

VEMRA_PEER_CALL(netcdf, nc_create)
VEMRA_PEER_CALL(netcdf, nc_open)
VEMRA_PEER_CALL(netcdf, nc_close)
VEMRA_PEER_CALL(netcdf, nc_enddef)
VEMRA_PEER_CALL(netcdf, nc_set_fill)
VEMRA_PEER_CALL(netcdf, nc_def_dim)
VEMRA_PEER_CALL(netcdf, nc_def_var)
VEMRA_PEER_CALL(netcdf, nc_put_att_text)
VEMRA_PEER_CALL(netcdf, nc_put_att_float)
VEMRA_PEER_CALL(netcdf, nc_put_var_double)
VEMRA_PEER_CALL(netcdf, nc_put_var_float)
VEMRA_PEER_CALL(netcdf, nc_put_var1_double)
VEMRA_PEER_CALL(netcdf, nc_put_vara_float)
VEMRA_PEER_CALL(netcdf, nc_put_vara_double)
VEMRA_PEER_CALL(netcdf, nc_inq_dimid)
VEMRA_PEER_CALL(netcdf, nc_inq_dimlen)
VEMRA_PEER_CALL(netcdf, nc_inq_varid)
VEMRA_PEER_CALL(netcdf, nc_inq_var)
VEMRA_PEER_CALL(netcdf, nc_inq_varndims)
VEMRA_PEER_CALL(netcdf, nc_inq_vardimid)
VEMRA_PEER_CALL(netcdf, nc_inq_attlen)
VEMRA_PEER_CALL(netcdf, nc_get_att_text)
VEMRA_PEER_CALL(netcdf, nc_get_var_float)

VEMRA_PEER_CALL(gd, gdImageCreate)
VEMRA_PEER_CALL(gd, gdImageCreateFromPng)
VEMRA_PEER_CALL(gd, gdImageCreateFromGif)
VEMRA_PEER_CALL(gd, gdImageDestroy)
VEMRA_PEER_CALL(gd, gdImageColorAllocate)
VEMRA_PEER_CALL(gd, gdImageGetPixel)

#undef VEMRA_PEER_CALL

}  // namespace peer
