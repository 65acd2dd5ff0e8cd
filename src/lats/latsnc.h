// The netCDF side of the LATS writer (conventions 1 and 4). Each returns 0 on
// failure after a LATS error.
#pragma once

#include "lats/lats.h"

// Creates NAME.nc with its time dimension and global attributes: the file id.
int lats_create_nc(latsFile* file);
int lats_grid_nc(latsFile* file, latsGrid* grid);
// The file's number of vertical dimensions.
int lats_vert_dim_nc(latsFile* file, latsVertDim* vertdim);
// The variable id.
int lats_var_nc(latsFile* file, latsVar* var, latsGrid* grid, latsVertDim* vertdim);
// levindex -1 without levels; data as declared (float or int), nlon x nlat.
int lats_write_nc(latsFile* file, latsVar* var, int levindex, int timeindex, int year, int month,
                  int day, int hour, void* data);
// Closes the file and frees the writer's record.
int lats_close_nc(latsFile* file);
