// Stand-ins for the netCDF side of the LATS writer until it is built: each
// refuses with a clear message.
#include <cstdio>

#include "lats/latsnc.h"

namespace {
int not_yet(const char* what) {
  std::fprintf(stderr, "LATS error (%s): netCDF output is not available yet\n", what);
  return 0;
}
}  // namespace

int lats_create_nc(latsFile*) { return not_yet("lats_create_nc"); }
int lats_grid_nc(latsFile*, latsGrid*) { return not_yet("lats_grid_nc"); }
int lats_vert_dim_nc(latsFile*, latsVertDim*) { return not_yet("lats_vert_dim_nc"); }
int lats_var_nc(latsFile*, latsVar*, latsGrid*, latsVertDim*) { return not_yet("lats_var_nc"); }
int lats_write_nc(latsFile*, latsVar*, int, int, int, int, int, int, void*) {
  return not_yet("lats_write_nc");
}
int lats_close_nc(latsFile*) { return not_yet("lats_close_nc"); }
