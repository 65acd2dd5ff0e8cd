// A script loop that appends to one string, s = s 'x', n times and 4n times:
// the time must grow in proportion to n (a ratio near 4, where copying the
// string at every append would give 16). The ratio is printed at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "script/gs.h"

namespace {

constexpr long kAppends = 200000;
double seconds[2] = {};  // n and 4n appends

std::string script_file(long appends) {
  const std::string name = "/tmp/vemra-bench-append-" + std::to_string(appends) + ".gs";
  FILE* f = std::fopen(name.c_str(), "w");
  if (!f) return std::string();
  std::fprintf(f,
               "s = ''\ni = 0\nwhile (i < %ld)\n  s = s 'x'\n  i = i + 1\nendwhile\n"
               "return math_strlen(s)\n",
               appends);
  return std::fclose(f) == 0 ? name : std::string();
}

void BM_ScriptAppendLoop(benchmark::State& state) {
  const int which = int(state.range(0));
  const long appends = which ? 4 * kAppends : kAppends;
  const std::string name = script_file(appends);
  if (name.empty()) {
    state.SkipWithError("no script file");
    return;
  }
  const auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    int rc = -1;
    auto out = gsfile(name, rc, 0);
    if (rc != 0 || !out || *out != std::to_string(appends)) state.SkipWithError("script failed");
  }
  seconds[which] = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
                   double(state.iterations());
  state.SetItemsProcessed(state.iterations() * appends);
  std::remove(name.c_str());
}
BENCHMARK(BM_ScriptAppendLoop)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (seconds[0] > 0 && seconds[1] > 0)
    std::printf("%ld appends %.3f s, %ld appends %.3f s: ratio %.2f (linear 4, quadratic 16)\n",
                kAppends, seconds[0], 4 * kAppends, seconds[1], seconds[1] / seconds[0]);
  return 0;
}
