// Area average of a quarter-degree globe (1440 x 721) at each of 100 times,
// against the independent tool's field mean of the same data as netCDF; and
// the time correlation of a series with that grid over the same times
// against the tool's time correlation.
#include <benchmark/benchmark.h>
#include <netcdf.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "base/mfcmn.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/result.h"
#include "expr/eval.h"
#include "expr/evalstate.h"
#include "common/nc_series.h"

namespace {

constexpr int kNx = 1440, kNy = 721, kNt = 100;

struct bench_files {
  std::string dir, data, ctl, nc, out;
};
bench_files made;

void remove_files() {
  for (const std::string* n : {&made.data, &made.ctl, &made.nc, &made.out}) std::remove(n->c_str());
  rmdir(made.dir.c_str());
}

float value(int t, int j, int i) { return float(280 + std::sin(i * 0.01 + t) * 20 + j * 0.05); }

const bench_files& files() {
  bench_files& f = made;
  if (!f.dir.empty()) return f;
  char tmpl[] = "/tmp/vemra-bench-area-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  f.dir = tmpl;
  f.data = f.dir + "/g.dat";
  f.ctl = f.dir + "/g.ctl";
  f.nc = f.dir + "/g.nc";
  f.out = f.dir + "/out.nc";
  std::atexit(remove_files);
  std::vector<float> grid(size_t(kNx) * kNy);
  std::FILE* out = std::fopen(f.data.c_str(), "wb");
  nc_series nc(f.nc, kNx, kNy, 0, 0.25, -90, 0.25);
  for (int t = 0; t < kNt; t++) {
    for (int j = 0; j < kNy; j++)
      for (int i = 0; i < kNx; i++) grid[size_t(j) * kNx + i] = value(t, j, i);
    std::fwrite(grid.data(), sizeof(float), grid.size(), out);
    nc.put(t, grid.data());
  }
  std::fclose(out);
  nc.close();
  std::ofstream(f.ctl) << "dset ^g.dat\nundef -9.99e33\nxdef 1440 linear 0 0.25\n"
                          "ydef 721 linear -90 0.25\nzdef 1 levels 1000\n"
                          "tdef 100 linear 00z1jan2000 6hr\nvars 1\ng 0 99 g\nendvars\n";
  return f;
}

struct opened {
  file_descriptor* pfi = nullptr;
  eval_state st{};
  opened() {
    mfcmn.calendar_365 = -999;
    mfcmn.warn_level = 0;
    pfi = getpfi();
    if (kaddes(files().ctl.c_str(), pfi, 1) != 0) std::abort();
    pfi->data_stream = std::fopen(pfi->data_file_name, "rb");
    st.file_list = st.default_file = pfi;
    st.file_count = 1;
    st.dim_min[0] = 0;
    st.dim_max[0] = 359.75f;
    st.dim_min[1] = -90;
    st.dim_max[1] = 90;
    st.dim_min[2] = st.dim_max[2] = 1000;
    st.time_start = {2000, 1, 1, 0, 0};
    st.time_end = {2000, 1, 25, 18, 0};  // the 100th time
  }
  ~opened() {
    std::fclose(pfi->data_stream);
    pfi->data_stream = nullptr;
    frepfi(pfi, 0);
  }
};

// Seconds per run of the last vemra benchmark, which the tool's benchmark
// that follows it divides by its own to print the ratio.
double last_seconds = 0;

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void evaluate(benchmark::State& state, const char* text, int idim, int jdim) {
  opened o;
  o.st.idim = idim;
  o.st.jdim = jdim;
  double check = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    eval_state s = o.st;
    if (kaexpr(text, &s) != 0) {
      state.SkipWithError("evaluation failed");
      break;
    }
    check += grid_in(s.result)->values[0];
    kafree(&s);
  }
  last_seconds = seconds_since(t0) / double(state.iterations());
  benchmark::DoNotOptimize(check);
  state.SetBytesProcessed(state.iterations() * int64_t(kNx) * kNy * kNt * 4);
}

void tool(benchmark::State& state, const std::string& op) {
  const bench_files& f = files();
  if (std::system("command -v cdo >/dev/null 2>&1") != 0) {
    state.SkipWithError("cdo is not installed");
    return;
  }
  const std::string cmd = "cdo -s -O " + op + " " + f.out + " >/dev/null 2>&1";
  const auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("cdo failed");
  const double tool_seconds = seconds_since(t0) / double(state.iterations());
  // Below 1: vemra is faster than the tool on the same data.
  if (tool_seconds > 0) state.counters["vemra_over_cdo"] = last_seconds / tool_seconds;
  state.SetBytesProcessed(state.iterations() * int64_t(kNx) * kNy * kNt * 4);
}

// One area average per time, as a time series.
void BM_AaveEachTime(benchmark::State& state) { evaluate(state, "tloop(aave(g,global))", 3, -1); }
BENCHMARK(BM_AaveEachTime)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ToolFieldMean(benchmark::State& state) { tool(state, "fldmean " + files().nc); }
BENCHMARK(BM_ToolFieldMean)->Unit(benchmark::kMillisecond)->UseRealTime();

// Correlation in time of a series with the grid: two passes over the times.
void BM_TimeCorrelation(benchmark::State& state) {
  evaluate(state, "tcorr(aave(g,lon=0,lon=1,lat=0,lat=1),g,t=1,t=100)", 0, 1);
}
BENCHMARK(BM_TimeCorrelation)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ToolTimeCorrelation(benchmark::State& state) {
  tool(state, "timcor " + files().nc + " " + files().nc);
}
BENCHMARK(BM_ToolTimeCorrelation)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
