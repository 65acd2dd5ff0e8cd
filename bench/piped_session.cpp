// A long piped session: 150,000 "q dims" commands fed to the program on
// standard input, read by the editing prompt's reader and by the plain one
// (-E). Both must take time in proportion to the commands; the ratio of the
// two is printed at the end.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr int kCommands = 150000;
double edit_s = 0, plain_s = 0;

const std::string& input_file() {
  static const std::string name = [] {
    std::string n = "/tmp/vemra-bench-piped.txt";
    FILE* f = std::fopen(n.c_str(), "w");
    if (!f) return std::string();
    for (int i = 0; i < kCommands; i++) std::fputs("q dims\n", f);
    return std::fclose(f) == 0 ? n : std::string();
  }();
  return name;
}

double run_session(benchmark::State& state, const char* options) {
  const std::string& in = input_file();
  if (in.empty()) {
    state.SkipWithError("no input file");
    return 0;
  }
  std::string cmd = std::string("KADDIR=") + VEMRA_DATA_DIR + " " + VEMRA_BIN + " " + options +
                    " < " + in + " > /dev/null 2>&1";
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("vemra failed");
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
         double(state.iterations());
}

void BM_PipedSessionPlainReader(benchmark::State& state) {
  plain_s = run_session(state, "-b -l -E");
}
BENCHMARK(BM_PipedSessionPlainReader)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_PipedSessionEditingPrompt(benchmark::State& state) { edit_s = run_session(state, "-b -l"); }
BENCHMARK(BM_PipedSessionEditingPrompt)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (edit_s > 0 && plain_s > 0)
    std::printf("%i piped commands: editing prompt %.2f s, -E %.2f s, ratio %.2f\n", kCommands,
                edit_s, plain_s, edit_s / plain_s);
  std::remove(input_file().c_str());
  return 0;
}
