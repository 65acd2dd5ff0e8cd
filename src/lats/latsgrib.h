// The GRIB edition 1 side of the LATS writer (conventions 2 and 3). Each
// returns 0 on failure after a LATS error.
#pragma once

#include "lats/lats.h"

int lats_create_grib(latsFile* file);
int lats_grid_grib(latsFile* file, latsGrid* grid);
int lats_vert_dim_grib(latsFile* file, latsVertDim* vertdim);
int lats_var_grib(latsFile* file, latsVar* var, latsGrid* grid, latsVertDim* vertdim);
// Builds the time-statistic coding of a variable; 0 when there is none.
int latsTimeStatLookup(int frequency, int delta, int stat, latsTimeStat* out);
int lats_write_grib(latsFile* file, latsVar* var, int levindex, int timeindex, int year, int month,
                    int day, int hour, void* data);
// Convention 3 also writes NAME.ctl and builds the index.
int lats_close_grib(latsFile* file);
