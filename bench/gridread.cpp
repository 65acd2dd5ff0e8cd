// Reading 1,000 time steps of a 360 x 181 float grid: through "display" with
// "set gxout stat" in a command loop, through the grid reader alone, and,
// as the floor, `cat` of the same bytes; and the program's start and quit
// alone, which the command loop includes, and the loop inside one session. Each iteration reads all
// 1,000 steps; the file is in the page cache after the first pass of any of them.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "cmd/dispatch.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/session.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/gridread.h"
#include "data/result.h"
#include "gx/gx.h"

namespace {

constexpr int kNx = 360, kNy = 181, kNt = 1000;

struct bench_files {
  std::string dir, data, ctl, commands;
};

bench_files made;

void remove_files() {
  for (const std::string* n : {&made.data, &made.ctl, &made.commands}) std::remove(n->c_str());
  rmdir(made.dir.c_str());
}

const bench_files& files() {
  bench_files& f = made;
  if (!f.dir.empty()) return f;
  char tmpl[] = "/tmp/vemra-bench-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  f.dir = tmpl;
  f.data = f.dir + "/g.dat";
  f.ctl = f.dir + "/g.ctl";
  f.commands = f.dir + "/loop.cmd";
  std::atexit(remove_files);
  std::vector<float> grid(size_t(kNx) * kNy);
  std::FILE* out = std::fopen(f.data.c_str(), "wb");
  for (int t = 0; t < kNt; t++) {
    for (int j = 0; j < kNy; j++)
      for (int i = 0; i < kNx; i++) grid[size_t(j) * kNx + i] = float(t + j * 0.5 + i * 0.01);
    std::fwrite(grid.data(), sizeof(float), grid.size(), out);
  }
  std::fclose(out);
  std::ofstream(f.ctl) << "dset ^g.dat\nundef -9.99e33\nxdef 360 linear 0 1\n"
                          "ydef 181 linear -90 1\nzdef 1 levels 1000\n"
                          "tdef 1000 linear 00z1jan2000 6hr\nvars 1\ng 0 99 g\nendvars\n";
  std::ofstream cmd(f.commands);
  cmd << "open " << f.ctl << "\nset gxout stat\nset lon 0 359\n";
  for (int t = 1; t <= kNt; t++) cmd << "set t " << t << "\nd g\n";
  cmd << "quit\n";
  return f;
}

void BM_CatSameBytes(benchmark::State& state) {
  std::string cmd = "cat " + files().data + " > /dev/null";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("cat failed");
  state.SetBytesProcessed(state.iterations() * int64_t(kNx) * kNy * kNt * 4);
}
BENCHMARK(BM_CatSameBytes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DisplayStatLoop(benchmark::State& state) {
  std::string cmd = std::string(VEMRA_BIN) + " -blxc 'exec " + files().commands +
                    "' > /dev/null 2>&1 < /dev/null";
  for (auto _ : state) {
    int rc = std::system(cmd.c_str());
    if (rc == -1) state.SkipWithError("vemra did not run");
  }
  state.SetBytesProcessed(state.iterations() * int64_t(kNx) * kNy * kNt * 4);
}
BENCHMARK(BM_DisplayStatLoop)->Unit(benchmark::kMillisecond)->UseRealTime();

// The start and end of the program alone (loading its shared libraries,
// the graphics set-up): what the loop above costs on top of its steps.
void BM_StartAndQuit(benchmark::State& state) {
  std::string cmd = std::string(VEMRA_BIN) + " -blxc quit > /dev/null 2>&1 < /dev/null";
  for (auto _ : state) {
    int rc = std::system(cmd.c_str());
    if (rc == -1) state.SkipWithError("vemra did not run");
  }
}
BENCHMARK(BM_StartAndQuit)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same command loop inside one running session, without the program's
// start: the display and statistics path itself. What it prints goes to
// /dev/null as in the loop above.
void BM_DisplayStatLoopInSession(benchmark::State& state) {
  const bench_files& f = files();
  static bool started = false;
  std::fflush(stdout);
  const int saved = dup(1);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  if (!started) {
    gxstrt(11, 8.5f, true);
    gcmn->page_width = 11;
    gcmn->page_height = 8.5f;
    kainit();
    nesting().savpcm = gcmn;
    started = true;
    if (kacmd("open " + f.ctl, gcmn, 0) != 0) state.SkipWithError("open failed");
    kacmd("set gxout stat", gcmn, 0);
    kacmd("set lon 0 359", gcmn, 0);
  }
  std::vector<std::string> times;
  for (int t = 1; t <= kNt; t++) times.push_back("set t " + std::to_string(t));
  for (auto _ : state) {
    for (int t = 1; t <= kNt; t++) {
      kacmd(times[size_t(t - 1)], gcmn, 0);
      if (kacmd("d g", gcmn, 0) != 0) {
        state.SkipWithError("display failed");
        break;
      }
    }
  }
  std::fflush(stdout);
  dup2(saved, 1);
  close(saved);
  close(null);
  state.SetBytesProcessed(state.iterations() * int64_t(kNx) * kNy * kNt * 4);
}
BENCHMARK(BM_DisplayStatLoopInSession)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_GridReaderAlone(benchmark::State& state) {
  const bench_files& f = files();
  mfcmn.calendar_365 = -999;
  file_descriptor* pfi = getpfi();
  if (kaddes(f.ctl.c_str(), pfi, 1) != 0) {
    state.SkipWithError("descriptor");
    return;
  }
  pfi->data_stream = std::fopen(pfi->data_file_name, "rb");
  double sum = 0;
  for (auto _ : state) {
    for (int t = 1; t <= kNt; t++) {
      auto* g = static_cast<grid_field*>(std::calloc(1, sizeof(grid_field)));
      g->file = pfi;
      g->variable = &pfi->variables[0];
      g->undef = pfi->undef;
      g->idim = 0;
      g->jdim = 1;
      g->dim_min[0] = 1;
      g->dim_max[0] = kNx;
      g->dim_min[1] = 1;
      g->dim_max[1] = kNy;
      g->dim_min[2] = g->dim_max[2] = 1;
      g->dim_min[3] = g->dim_max[3] = t;
      if (kaggrd(g) != 0) state.SkipWithError("read failed");
      sum += g->values[kNx * kNy - 1];
      kagfre(g);
    }
  }
  benchmark::DoNotOptimize(sum);
  state.SetBytesProcessed(state.iterations() * int64_t(kNx) * kNy * kNt * 4);
  std::fclose(pfi->data_stream);
  pfi->data_stream = nullptr;
  frepfi(pfi, 0);
}
BENCHMARK(BM_GridReaderAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
