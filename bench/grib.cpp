// The time mean over 1,000 GRIB edition 1 records of 360 x 181 points at 16
// bits per value, read through a descriptor and its index ("ave(v, t=1,
// t=1000)"), against the independent tool's "timmean" of the same GRIB file;
// the ratio is printed at the end. Also the series of one point over the
// 1000 times against the tool's, and the index build over the file.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netcdf.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "base/mfcmn.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/gribbuild.h"
#include "data/result.h"
#include "expr/eval.h"
#include "expr/evalstate.h"
#include "common/nc_series.h"

namespace {

constexpr int kNx = 360, kNy = 181, kNt = 1000;

struct bench_files {
  std::string dir, nc, grb, ctl, idx, out;
  bool ok = false;
};
bench_files made;
double ours_s = 0, tool_s = 0, series_s = 0, tool_series_s = 0;

void remove_files() {
  for (const std::string* n : {&made.nc, &made.grb, &made.ctl, &made.idx, &made.out})
    std::remove(n->c_str());
  std::remove((made.dir + "/codes.txt").c_str());
  rmdir(made.dir.c_str());
}

// Runs f with the standard output sent to /dev/null (the builder prints there).
template <class F>
void quietly(F f) {
  std::fflush(stdout);
  int saved = dup(1);
  int nul = open("/dev/null", O_WRONLY);
  dup2(nul, 1);
  f();
  std::fflush(stdout);
  dup2(saved, 1);
  close(nul);
  close(saved);
}

bool have_cdo() { return std::system("command -v cdo >/dev/null 2>&1") == 0; }

// netCDF of the time series, converted to GRIB at 16 bits by the tool; the
// descriptor takes the parameter and level codes the tool wrote.
const bench_files& files() {
  bench_files& f = made;
  if (!f.dir.empty()) return f;
  char tmpl[] = "/tmp/vemra-bench-grib-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  f.dir = tmpl;
  f.nc = f.dir + "/g.nc";
  f.grb = f.dir + "/g.grb";
  f.ctl = f.dir + "/g.ctl";
  f.idx = f.dir + "/g.idx";
  f.out = f.dir + "/mean.grb";
  std::atexit(remove_files);
  if (!have_cdo()) return f;
  {
    nc_series nc(f.nc, kNx, kNy, 0, 1, -90, 1);
    if (!nc.ok()) return f;
    std::vector<float> grid(size_t(kNx) * kNy);
    for (int t = 0; t < kNt; t++) {
      for (int j = 0; j < kNy; j++)
        for (int i = 0; i < kNx; i++)
          grid[size_t(j) * kNx + i] = float(t % 17 + j * 0.5 + i * 0.01);
      nc.put(t, grid.data());
    }
  }
  std::string cmd = "cdo -s -f grb -b 16 copy " + f.nc + " " + f.grb + " >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return f;
  std::remove(f.nc.c_str());
  int param = 1, ltype = 1, level = 0;
  cmd = "grib_get -w count=1 -p indicatorOfParameter:i,indicatorOfTypeOfLevel:i,level:i " + f.grb +
        " > " + f.dir + "/codes.txt 2>/dev/null";
  if (std::system(cmd.c_str()) == 0) {
    std::ifstream in(f.dir + "/codes.txt");
    in >> param >> ltype >> level;
  }
  std::ofstream(f.ctl) << "dset ^g.grb\nindex ^g.idx\ndtype grib\nundef -9.99e33\n"
                          "xdef 360 linear 0 1\nydef 181 linear -90 1\nzdef 1 levels 1000\n"
                          "tdef 1000 linear 00z1jan2000 6hr\nvars 1\ng 0 "
                       << param << "," << ltype << "," << level << " g\nendvars\n";
  mfcmn.calendar_365 = -999;
  quietly([&] { f.ok = latsgribmap(f.ctl.c_str(), 0) == 1; });
  return f;
}

// Evaluates expr over the set in the dimensions `dims` sets, as often as the
// benchmark asks, taking the value at `at` of each result; the seconds per
// evaluation (0 when the set could not be made).
double time_evaluation(benchmark::State& state, const char* expr,
                       const std::function<void(eval_state&)>& dims, std::size_t at) {
  const bench_files& f = files();
  if (!f.ok) {
    state.SkipWithError("no GRIB file (cdo missing?)");
    return 0;
  }
  mfcmn.calendar_365 = -999;
  mfcmn.warn_level = 0;
  file_descriptor* pfi = getpfi();
  if (kaddes(f.ctl.c_str(), pfi, 1) != 0) std::abort();
  pfi->data_stream = std::fopen(pfi->data_file_name, "rb");
  eval_state st{};
  st.file_list = st.default_file = pfi;
  st.file_count = 1;
  dims(st);
  double check = 0;
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    eval_state s = st;
    if (kaexpr(expr, &s) != 0) {
      state.SkipWithError("evaluation failed");
      break;
    }
    check += grid_in(s.result)->values[at];
    kafree(&s);
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
      double(state.iterations());
  benchmark::DoNotOptimize(check);
  std::fclose(pfi->data_stream);
  pfi->data_stream = nullptr;
  frepfi(pfi, 0);
  return seconds;
}

void BM_GribAveOverTime(benchmark::State& state) {
  ours_s = time_evaluation(
      state, "ave(g,t=1,t=1000)",
      [](eval_state& st) {
        st.idim = 0;
        st.jdim = 1;
        st.dim_max[0] = 359;
        st.dim_min[1] = -90;
        st.dim_max[1] = 90;
        st.dim_min[2] = st.dim_max[2] = 1000;
        st.time_start = st.time_end = {2000, 1, 1, 0, 0};
      },
      kNx * 90 + 180);
}
BENCHMARK(BM_GribAveOverTime)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

// The series of one point over all 1000 times ("d g" with only t varying):
// each time is one field whose message is checked against the index before
// its one value is read.
void BM_GribPointSeries(benchmark::State& state) {
  series_s = time_evaluation(
      state, "g",
      [](eval_state& st) {
        st.idim = 3;
        st.jdim = -1;
        st.dim_min[0] = st.dim_max[0] = 180;
        st.dim_min[1] = st.dim_max[1] = 0;
        st.dim_min[2] = st.dim_max[2] = 1000;
        st.time_start = {2000, 1, 1, 0, 0};
        st.time_end = {2000, 9, 6, 18, 0};  // time 1000, 6 hours apart
      },
      999);
}
BENCHMARK(BM_GribPointSeries)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

// The tool's series of the same point.
void BM_ToolPointSeriesGrib(benchmark::State& state) {
  const bench_files& f = files();
  if (!f.ok) {
    state.SkipWithError("no GRIB file (cdo missing?)");
    return;
  }
  std::string cmd =
      "cdo -s outputtab,value -selindexbox,181,181,91,91 " + f.grb + " >/dev/null 2>&1";
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("cdo failed");
  tool_series_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
                  double(state.iterations());
}
BENCHMARK(BM_ToolPointSeriesGrib)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void BM_ToolTimeMeanGrib(benchmark::State& state) {
  const bench_files& f = files();
  if (!f.ok) {
    state.SkipWithError("no GRIB file (cdo missing?)");
    return;
  }
  std::string cmd = "cdo -s -O timmean " + f.grb + " " + f.out + " >/dev/null 2>&1";
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("cdo failed");
  tool_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
           double(state.iterations());
}
BENCHMARK(BM_ToolTimeMeanGrib)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void BM_GribIndexBuild(benchmark::State& state) {
  const bench_files& f = files();
  if (!f.ok) {
    state.SkipWithError("no GRIB file (cdo missing?)");
    return;
  }
  quietly([&] {
    for (auto _ : state) {
      mfcmn.calendar_365 = -999;
      if (latsgribmap(f.ctl.c_str(), 0) != 1) state.SkipWithError("index build failed");
    }
  });
}
BENCHMARK(BM_GribIndexBuild)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (ours_s > 0 && tool_s > 0)
    std::printf("time mean of 1000 GRIB records: vemra %.1f ms, cdo timmean %.1f ms, ratio %.2f\n",
                ours_s * 1e3, tool_s * 1e3, ours_s / tool_s);
  if (series_s > 0 && tool_series_s > 0)
    std::printf(
        "series of one point over 1000 GRIB records: vemra %.2f ms, cdo %.1f ms, ratio %.4f\n",
        series_s * 1e3, tool_series_s * 1e3, series_s / tool_series_s);
  return 0;
}
