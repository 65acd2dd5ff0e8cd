// A very long command line (refused, its rest dropped) followed by a command,
// piped to the program and redirected from a file, at two lengths: the time
// must grow in proportion to the length. "wc -c" reads the same piped bytes
// as the yardstick; the ratios are printed at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr long kShort = 100L * 1000 * 1000;
constexpr long kLong = 400L * 1000 * 1000;
double times[2][3] = {};  // [length][program pipe, program file, wc pipe]

std::string input(long bytes) {
  std::string n = "/tmp/vemra-bench-longline-" + std::to_string(bytes) + ".txt";
  FILE* f = std::fopen(n.c_str(), "w");
  if (!f) return std::string();
  std::string block(1 << 20, 'x');
  for (long done = 0; done < bytes; done += long(block.size()))
    std::fwrite(block.data(), 1, size_t(std::min<long>(long(block.size()), bytes - done)), f);
  std::fputs("\nq dims\nquit\n", f);
  return std::fclose(f) == 0 ? n : std::string();
}

void run(benchmark::State& state, int which) {
  const int len = int(state.range(0));
  const std::string in = input(len ? kLong : kShort);
  if (in.empty()) {
    state.SkipWithError("no input file");
    return;
  }
  const std::string prog = std::string("KADDIR=") + VEMRA_DATA_DIR + " " + VEMRA_BIN + " -b -l";
  const std::string cmd = which == 0   ? "cat " + in + " | " + prog + " > /dev/null 2>&1"
                          : which == 1 ? prog + " < " + in + " > /dev/null 2>&1"
                                       : "cat " + in + " | wc -c > /dev/null";
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("run failed");
  times[len][which] = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
                      double(state.iterations());
  std::remove(in.c_str());
}

void BM_LongLinePiped(benchmark::State& s) { run(s, 0); }
void BM_LongLineFromFile(benchmark::State& s) { run(s, 1); }
void BM_LongLineWcPiped(benchmark::State& s) { run(s, 2); }
BENCHMARK(BM_LongLinePiped)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_LongLineFromFile)
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
BENCHMARK(BM_LongLineWcPiped)
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
  for (int l = 0; l < 2; l++)
    if (times[l][0] > 0 && times[l][2] > 0)
      std::printf(
          "%ld MB line: piped %.2f s, from a file %.2f s, wc -c piped %.2f s, "
          "piped / wc %.2f\n",
          (l ? kLong : kShort) / 1000000, times[l][0], times[l][1], times[l][2],
          times[l][0] / times[l][2]);
  if (times[0][0] > 0 && times[1][0] > 0)
    std::printf("piped time per byte, long / short line: %.2f (1 is linear)\n",
                (times[1][0] / kLong) / (times[0][0] / kShort));
  return 0;
}
