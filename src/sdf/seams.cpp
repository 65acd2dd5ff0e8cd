// Entries of the self-describing-file layer that are not built yet.
#include "base/message.h"
#include "sdf/sdf.h"

int kaxdfopen(const char*, session_state*) {
  kaprnt(0, "XDFOPEN error:  not available yet\n");
  return 1;
}
