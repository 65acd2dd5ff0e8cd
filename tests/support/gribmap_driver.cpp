// Test driver: builds the GRIB index of a descriptor the way the GRIB
// writer does when it closes a file. Usage: gribmap_driver DESCRIPTOR [notau]
#include <cstdio>
#include <cstdlib>

#include "base/mfcmn.h"
#include "data/gribbuild.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s descriptor [notau]\n", argv[0]);
    return 2;
  }
  mfcmn_init();
  int rc = latsgribmap(argv[1], argc > 2 ? std::atoi(argv[2]) : 0);
  return rc == 1 ? 0 : 1;
}
