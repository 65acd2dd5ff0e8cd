// Services of this subsystem that other subsystems call before it is built.

#include "core/message.h"
#include "data/filerec.h"

// Pre-projected grids need the interpolation set-up; until it is built such a
// data set is refused at open.
int kappcn(file_descriptor*, int, int) {
  kaprnt(0, "Open Error:  Pre-projected (PDEF) data sets can't be read yet\n");
  return 1;
}
