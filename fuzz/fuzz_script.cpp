// Fuzz target: the script loader (reading, cutting into statements, the
// function list and block matching); the script is not run.
#include <cstdint>

#include "fuzz_support.h"
#include "script/gsint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::silence();
  std::string path = fuzz::write_input("in.gs", data, size);
  script_run run;
  gs_set_output(stdout);
  gsgsfrd(&run, 0, path);
  return 0;
}
