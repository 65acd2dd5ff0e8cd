// Fuzz target: the data descriptor parser, with the station map or GRIB index
// it names (the input is the descriptor; the files it names mostly don't exist).
#include <cstdint>
#include <cstdlib>

#include "data/descriptor.h"
#include "data/filerec.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::silence();
  std::string path = fuzz::write_input("in.ctl", data, size);
  file_descriptor* pfi = getpfi();
  if (!pfi) return 0;
  kaddes(path.c_str(), pfi, 1);
  frepfi(pfi, 0);
  return 0;
}
