// Services of this subsystem that other subsystems call before it is built.

#include "base/message.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/gridread.h"

// Readers of the kinds of grid that are not built yet: each refuses the read
// with a clear message, and the caller abandons the expression.
sdf_hooks ka_sdf_hooks = {nullptr, nullptr};

int kagsdf(grid_field* grid, float* values) {
  if (ka_sdf_hooks.read) return ka_sdf_hooks.read(grid, values);
  kaprnt(msg_level::error, "Data Request Error:  Self-describing files can't be read yet\n");
  return 1;
}
