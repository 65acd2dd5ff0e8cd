// A long series of "collect" commands of one station's profile, fed to the
// program on standard input: 10,000 and 40,000 collects into one collection.
// Each collect appends to its collection, so four times the collects should
// take about four times as long, not sixteen; the ratio is printed at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "support/station_writer.h"
#include "support/vemra_run.h"

namespace {

constexpr int kFew = 10000, kMany = 40000;
double few_s = 0, many_s = 0;

const vemra_test::TempDir& dir() {
  static const vemra_test::TempDir d;
  return d;
}

// The session's input: a station set of one upper-air station (written
// once), then n collects of its temperature profile.
std::string session_input(int n) {
  static const bool written = [] {
    stnw::dataset ds;
    ds.level_vars = {"t"};
    ds.times = {{stnw::upper_report("KDEN", 39.8f, -104.7f,
                                    {{1000, {280}}, {850, {270}}, {500, {250}}, {300, {230}}})}};
    stnw::write(dir().path(), "s", ds);
    return true;
  }();
  (void)written;
  std::string text = "open s.ctl\nset lon -105\nset lat 40\nset lev 1000 300\n";
  for (int i = 0; i < n; i++) text += "collect 1 t(stid=kden)\n";
  return text;
}

double run_session(benchmark::State& state, int n) {
  const std::string input = session_input(n);
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state)
    if (vemra_test::run_batch(input, dir().path()).status != 0) state.SkipWithError("vemra failed");
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
         double(state.iterations());
}

void BM_CollectFew(benchmark::State& state) { few_s = run_session(state, kFew); }
BENCHMARK(BM_CollectFew)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_CollectMany(benchmark::State& state) { many_s = run_session(state, kMany); }
BENCHMARK(BM_CollectMany)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (few_s > 0 && many_s > 0)
    std::printf("%i collects %.2f s, %i collects %.2f s: ratio %.2f (4 when linear)\n", kFew, few_s,
                kMany, many_s, many_s / few_s);
  return 0;
}
