// Every benchmark names the build it measures in the context it prints
// first: timings of different optimisation levels are not comparable. And
// every benchmark uses the build's own data directory (fonts, maps), for
// the drawing it does itself and for the vemra it starts.
#include <benchmark/benchmark.h>

#include <cstdlib>

namespace {

const bool named = [] {
  setenv("KADDIR", VEMRA_DATA_DIR, 1);
  benchmark::AddCustomContext("vemra_build", VEMRA_BUILD_TYPE " (" VEMRA_BUILD_FLAGS ")");
  return true;
}();

}  // namespace
