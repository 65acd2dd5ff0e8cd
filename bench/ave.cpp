// "ave" over 1,000 time steps of a 360 x 181 float grid, against reading the
// same bytes raw and against the independent tool's time mean of the same
// data as netCDF; and the zonal average of one time, which reads whole rows.
// Then, side by side in one run, the program itself (start to quit) taking
// the time mean with the dimensions "open" leaves (a global grid's longitude
// 0 to 360 with the wrap column), `cdo timmean` of the netCDF copy and `cat`
// of the binary file into /dev/null, with both peak memories: for that
// grid, a 1440 x 721 grid over 100 times, and one point over all times.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netcdf.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "expr/evalstate.h"
#include "base/mfcmn.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "expr/eval.h"
#include "data/result.h"
#include "common/nc_series.h"
#include "common/side_by_side.h"

namespace {

constexpr int kNx = 360, kNy = 181, kNt = 1000;

struct bench_files {
  int nx = 0, ny = 0, nt = 0;
  std::string dir, data, ctl, nc, out;
};
std::vector<bench_files*> made;

void remove_files() {
  for (bench_files* f : made) {
    for (const std::string* n : {&f->data, &f->ctl, &f->nc, &f->out}) std::remove(n->c_str());
    for (const char* n : {"/mean.cmd", "/point.cmd", "/mean.bin"})
      std::remove((f->dir + n).c_str());
    rmdir(f->dir.c_str());
  }
}

float value(int t, int j, int i) { return float(t % 17 + j * 0.5 + i * 0.01); }

// A global grid of nx x ny floats over nt times, as a binary file with its
// descriptor and as netCDF.
bench_files* make_files(int nx, int ny, int nt) {
  auto* f = new bench_files;
  f->nx = nx;
  f->ny = ny;
  f->nt = nt;
  char tmpl[] = "/tmp/vemra-bench-ave-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  f->dir = tmpl;
  f->data = f->dir + "/g.dat";
  f->ctl = f->dir + "/g.ctl";
  f->nc = f->dir + "/g.nc";
  f->out = f->dir + "/mean.nc";
  if (made.empty()) std::atexit(remove_files);
  made.push_back(f);
  std::vector<float> grid(size_t(nx) * ny);
  std::FILE* out = std::fopen(f->data.c_str(), "wb");
  nc_series nc(f->nc, nx, ny, 0, 360.0 / nx, -90, 180.0 / (ny - 1));
  for (int t = 0; t < nt; t++) {
    for (int j = 0; j < ny; j++)
      for (int i = 0; i < nx; i++) grid[size_t(j) * nx + i] = value(t, j, i);
    std::fwrite(grid.data(), sizeof(float), grid.size(), out);
    nc.put(t, grid.data());
  }
  std::fclose(out);
  nc.close();
  std::ofstream(f->ctl) << "dset ^g.dat\nundef -9.99e33\nxdef " << nx << " linear 0 " << 360.0 / nx
                        << "\nydef " << ny << " linear -90 " << 180.0 / (ny - 1)
                        << "\nzdef 1 levels 1000\ntdef " << nt
                        << " linear 00z1jan2000 6hr\nvars 1\ng 0 99 g\nendvars\n";
  return f;
}

const bench_files& files() {
  static const bench_files* f = make_files(kNx, kNy, kNt);
  return *f;
}

struct opened {
  file_descriptor* pfi = nullptr;
  eval_env st{};
  opened() {
    mfcmn.calendar_365 = -999;
    mfcmn.warn_level = 0;
    pfi = getpfi();
    if (kaddes(files().ctl.c_str(), pfi, 1) != 0) std::abort();
    pfi->data_stream = std::fopen(pfi->data_file_name, "rb");
    st.file_list = st.default_file = pfi;
    st.file_count = 1;
    st.idim = 0;
    st.jdim = 1;
    st.dim_min[0] = 0;
    st.dim_max[0] = 359;
    st.dim_min[1] = -90;
    st.dim_max[1] = 90;
    st.dim_min[2] = st.dim_max[2] = 1000;
    st.time_start = st.time_end = {2000, 1, 1, 0, 0};
  }
  ~opened() {
    std::fclose(pfi->data_stream);
    pfi->data_stream = nullptr;
    frepfi(pfi, 0);
  }
};

void evaluate(benchmark::State& state, const char* text, int idim, int jdim) {
  opened o;
  o.st.idim = idim;
  o.st.jdim = jdim;
  double check = 0;
  for (auto _ : state) {
    eval_state s;
    static_cast<eval_env&>(s) = o.st;
    if (kaexpr(text, &s) != 0) {
      state.SkipWithError("evaluation failed");
      break;
    }
    check += grid_in(s.result)->values[0];
    kafree(&s);
  }
  benchmark::DoNotOptimize(check);
}

void BM_AveOverTime(benchmark::State& state) {
  evaluate(state, "ave(g,t=1,t=1000)", 0, 1);
  state.SetBytesProcessed(state.iterations() * int64_t(kNx) * kNy * kNt * 4);
}
BENCHMARK(BM_AveOverTime)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RawRead(benchmark::State& state) {
  std::vector<float> buf(size_t(kNx) * kNy);
  double check = 0;
  for (auto _ : state) {
    std::FILE* in = std::fopen(files().data.c_str(), "rb");
    for (int t = 0; t < kNt; t++) {
      if (std::fread(buf.data(), sizeof(float), buf.size(), in) != buf.size()) {
        state.SkipWithError("short read");
        break;
      }
      check += buf[0];
    }
    std::fclose(in);
  }
  benchmark::DoNotOptimize(check);
  state.SetBytesProcessed(state.iterations() * int64_t(kNx) * kNy * kNt * 4);
}
BENCHMARK(BM_RawRead)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ToolTimeMean(benchmark::State& state) {
  const bench_files& f = files();
  if (std::system("command -v cdo >/dev/null 2>&1") != 0) {
    state.SkipWithError("cdo is not installed");
    return;
  }
  std::string cmd = "cdo -s -O timmean " + f.nc + " " + f.out + " >/dev/null 2>&1";
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("cdo failed");
  state.SetBytesProcessed(state.iterations() * int64_t(kNx) * kNy * kNt * 4);
}
BENCHMARK(BM_ToolTimeMean)->Unit(benchmark::kMillisecond)->UseRealTime();

// Zonal average of one time while latitude varies.
void BM_AveAlongLongitude(benchmark::State& state) {
  evaluate(state, "ave(g,lon=0,lon=359)", 1, -1);
}
BENCHMARK(BM_AveAlongLongitude)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

namespace {

// The same through a function call, which is evaluated one longitude at a
// time (each a column read point by point): what the row read saves.
void BM_AveAlongLongitudeByColumns(benchmark::State& state) {
  evaluate(state, "ave(abs(g),lon=0,lon=359)", 1, -1);
}
BENCHMARK(BM_AveAlongLongitudeByColumns)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

namespace {

using side_by_side::interleaved;
using side_by_side::pairs;

// The program's time mean (of the whole grid, or of one point) in pairs
// with the peer tool's on the netCDF copy, and in pairs with `cat` of the
// binary file into /dev/null (the page cache's copy of the bytes alone).
void side_by_side_mean(benchmark::State& state, const bench_files& f, bool one_point) {
  const std::string commands = f.dir + (one_point ? "/point.cmd" : "/mean.cmd");
  const std::string written = f.dir + "/mean.bin";
  {
    std::ofstream cmd(commands);
    cmd << "open " << f.ctl << "\n";
    if (one_point) cmd << "set x " << f.nx / 3 << "\nset y " << f.ny / 2 << "\n";
    cmd << "set gxout fwrite\nset fwrite " << written << "\nd ave(g, t=1, t=" << f.nt
        << ")\nquit\n";
  }
  setenv("KADDIR", VEMRA_DATA_DIR, 1);
  const std::vector<std::string> program = {VEMRA_BIN, "-blxc", "exec " + commands};
  std::vector<std::string> peer = {"cdo", "-s", "-O", "timmean", f.nc, f.out};
  if (one_point) {
    const std::string i = std::to_string(f.nx / 3), j = std::to_string(f.ny / 2);
    peer = {"cdo", "-s", "-O", "timmean", "-selindexbox," + i + "," + i + "," + j + "," + j,
            f.nc,  f.out};
  }
  const std::vector<std::string> raw = {"cat", f.data};
  if (run_child(program).seconds < 0) {
    state.SkipWithError("the program failed");
    return;
  }
  std::ifstream out(written, std::ios::binary | std::ios::ate);
  const int64_t want = one_point ? 4 : int64_t(f.nx + 1) * f.ny * 4;  // with the wrap column
  if (int64_t(out.tellg()) != want) {
    state.SkipWithError("the program wrote a mean of the wrong size");
    return;
  }
  pairs vs_peer, vs_cat;
  for (auto _ : state) {
    vs_peer = interleaved(program, peer, 7);
    vs_cat = interleaved(program, raw, 7);
  }
  if (!vs_peer.ok || !vs_cat.ok) {
    state.SkipWithError("a command failed (is cdo installed?)");
    return;
  }
  state.counters["vemra_ms"] = vs_peer.a_s * 1000;
  state.counters["cdo_ms"] = vs_peer.b_s * 1000;
  state.counters["cat_ms"] = vs_cat.b_s * 1000;
  state.counters["peak_MiB"] = vs_peer.a_peak;
  std::printf(
      "\n%dx%dx%d %s (medians of 7 interleaved pairs, load %.1f): vemra %.3f s, "
      "cdo timmean %.3f s, cat > /dev/null %.3f s; vemra/cdo %.2f (at most 0.6), "
      "vemra/cat %.2f (at most 1.5); peak vemra %.1f MiB (at most 64), cdo %.1f MiB; "
      "build %s\n",
      f.nx, f.ny, f.nt, one_point ? "one point over all times" : "time mean, default dimensions",
      side_by_side::load_average(), vs_peer.a_s, vs_peer.b_s, vs_cat.b_s, vs_peer.ratio,
      vs_cat.ratio, vs_peer.a_peak, vs_peer.b_peak, VEMRA_BUILD_TYPE);
  std::fflush(stdout);
}

void BM_SideBySideMean(benchmark::State& state) { side_by_side_mean(state, files(), false); }
BENCHMARK(BM_SideBySideMean)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_SideBySideFineMean(benchmark::State& state) {
  static const bench_files* fine = make_files(1440, 721, 100);
  side_by_side_mean(state, *fine, false);
}
BENCHMARK(BM_SideBySideFineMean)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_SideBySidePointSeries(benchmark::State& state) { side_by_side_mean(state, files(), true); }
BENCHMARK(BM_SideBySidePointSeries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace
