// "open": reads a data descriptor, opens its data file, adds the data set to
// the session and gives the first data set its dimension environment.
#include <cstdio>
#include <string>

#include "cmd/commands.h"
#include "cmd/dispatch.h"
#include "base/message.h"
#include "cmd/open.h"
#include "base/session.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/reader.h"

// The default dimension commands for the first data set; zrange asks for the
// whole z range of a vertical profile or section.
void kadefenv(session_state* pcm, const file_descriptor* pfi, bool zrange) {
  char cmd[64];
  if (holds_stations(pfi) || (pfi->x_wraps && !pfi->x_seam)) {
    kacmd("set lon 0 360", pcm, false);
  } else {
    std::snprintf(cmd, sizeof cmd, "set x 1 %i", pfi->x_size);
    kacmd(cmd, pcm, false);
  }
  if (holds_stations(pfi)) {
    kacmd("set lat -90 90", pcm, false);
    kacmd("set lev 500", pcm, false);
  } else {
    std::snprintf(cmd, sizeof cmd, "set y 1 %i", pfi->y_size);
    kacmd(cmd, pcm, false);
    if (zrange) {
      std::snprintf(cmd, sizeof cmd, "set z 1 %i", pfi->z_size);
      kacmd(cmd, pcm, false);
    } else {
      kacmd("set z 1", pcm, false);
    }
  }
  kacmd("set t 1", pcm, false);
}

int kaopen(const char* name, session_state* pcm) {
  kaprnt(msg_level::result, std::string("Scanning description file:  ") + name + "\n");
  // The calendar is taken before the data file, an index or a template's
  // files can still refuse the data set.
  open_guard guard(pcm);
  // Until the data set is on the file list a failure closes and frees it.
  dataset_ptr owner(getpfi());
  file_descriptor* pfi = owner.get();
  if (kaddes(name, pfi, 1)) return 1;
  pcm->file_serial++;
  pfi->file_number = pcm->file_serial;
  // The files of a template are opened as time moves; a GRIB data set's was
  // opened with its index.
  if (!pfi->template_flag && !pfi->data_stream && kaopdat(pfi)) return 1;
  kaaddfile(pcm, owner.release());
  kaprntf(msg_level::result, "Data file %s is open as file %i\n", pfi->data_file_name,
          pcm->file_count);
  if (pcm->file_count == 1) {
    bool zrange =
        !holds_stations(pfi) && pfi->z_size >= 1 && (pfi->x_size == 1 || pfi->y_size == 1);
    kadefenv(pcm, pfi, zrange);
  }
  if (reader_of(pfi)->interpolates) {
    kaprnt(msg_level::info,
           std::string("Notice: Implied interpolation for file ") + pfi->descriptor_name + "\n");
    kaprnt(msg_level::info, " Interpolation will be performed on any data ");
    kaprnt(msg_level::info, "displayed from this file\n");
  }
  guard.keep();
  return 0;
}
