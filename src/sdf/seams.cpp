// Entries of the self-describing-file layer that the command language and the
// file record need before "sdfopen" and "xdfopen" are built. The openers
// answer with a clear error; nothing can hold netCDF metadata yet.
#include <netcdf.h>

#include "base/message.h"
#include "data/filerec.h"
#include "sdf/sdf.h"

int kasdfopen(const char*, session_state*) {
  kaprnt(0, "SDFOPEN error:  not available yet\n");
  return 1;
}

int kaxdfopen(const char*, session_state*) {
  kaprnt(0, "XDFOPEN error:  not available yet\n");
  return 1;
}

int close_netcdf(int ncid) { return nc_close(ncid) == NC_NOERR ? 1 : 0; }

void kasdfclose(file_descriptor*) {}

void free_io_std(void** io) {
  if (io) *io = nullptr;
}

void sdf_install() { ka_sdf_hooks.free_io = free_io_std; }
