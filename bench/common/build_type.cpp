// Every benchmark names the build it measures in the context it prints
// first: timings of different optimisation levels are not comparable.
#include <benchmark/benchmark.h>

namespace {

const bool named = [] {
  benchmark::AddCustomContext("vemra_build", VEMRA_BUILD_TYPE " (" VEMRA_BUILD_FLAGS ")");
  return true;
}();

}  // namespace
