// The bridge from the session's LATS settings and display results to the
// GRIB and netCDF writer.
#pragma once

#include "plot/plot.h"

struct session_state;

// Operations of kalats.
enum class lats_op : int {
  parmtab = 0,    // load the parameter table named in lats_parmtab_file
  create = 1,     // create lats_output; the file id
  vertdim = 2,    // the vertical dimension of lats_levels; its id, -999 or 0
  grid = 3,       // the grid of the first display result
  var = 4,        // declare lats_var_name in lats_file_id; its id or 0
  write = 5,      // write the first display result
  close = 6,      // close the file given as the argument
  reset = 7,      // return the settings to their reset values
  basetime = 10,  // base time of lats_file_id from lats_basetime_ymdh
};

// Runs one operation; the writer's fatal exit is kept off, so every failure
// comes back as a result (see lats_op) after its messages.
int kalats(session_state* pcm, lats_op op, int arg);

// The plot layer's entry: the grid or the field of the first result.
int kalats_plot(session_state* pcm, lats_output what);

// Closes every LATS file still open (at quit and before "-x" returns), so
// that nothing written is lost; GRIB files get their descriptor and index.
void kalats_close_all();
