// Opens a netCDF file as a fresh file record, as sdfopen does, with the
// reader's trace lines thrown away.
#pragma once

#include "base/mfcmn.h"
#include "common/quietly.h"
#include "data/filerec.h"
#include "data/reader.h"
#include "sdf/sdf.h"
#include "sdf/sdfint.h"

// The record (its io set up) and kadsdf's return code, 0 when it opened.
inline int open_sdf(const char* path, file_descriptor** out) {
  mfcmn.calendar_365 = -999;
  file_descriptor* pfi = getpfi();
  pfi->reader = find_reader(data_kind::netcdf);
  io_std* io = nullptr;
  init_io_std(&io);
  pfi->sdf_io = io;
  sdf_parms parms;
  int rc = 1;
  quietly([&] { rc = kadsdf(path, pfi, "", -999, parms); });
  *out = pfi;
  return rc;
}

// Closes what open_sdf opened.
inline void close_sdf(file_descriptor* pfi) {
  close_netcdf(static_cast<io_std*>(pfi->sdf_io)->ncid);
  frepfi(pfi, 0);
}
