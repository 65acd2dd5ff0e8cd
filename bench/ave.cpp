// "ave" over 1,000 time steps of a 360 x 181 float grid, against reading the
// same bytes raw and against the independent tool's time mean of the same
// data as netCDF; and the zonal average of one time, which reads whole rows.
// Then, side by side in one run, the program itself (start to quit) taking
// the time mean with the dimensions "open" leaves (a global grid's longitude
// 0 to 360 with the wrap column), `cdo timmean` of the netCDF copy and `cat`
// of the binary file into a pipe, with the program's peak memory: for that
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
    for (const char* n : {"/mean.cmd", "/point.cmd", "/mean.bin"}) std::remove((f->dir + n).c_str());
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
  std::ofstream(f->ctl) << "dset ^g.dat\nundef -9.99e33\nxdef " << nx << " linear 0 "
                        << 360.0 / nx << "\nydef " << ny << " linear -90 " << 180.0 / (ny - 1)
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
  eval_state st{};
  opened() {
    mfcmn.calendar_365 = -999;
    mfcmn.warn_level = 0;
    pfi = getpfi();
    if (kaddes(files().ctl.c_str(), pfi, 1) != 0) std::abort();
    pfi->data_stream = std::fopen(pfi->data_file_name, "rb");
    st.file_list = st.default_file = pfi;
    st.file_count = 1;
    st.result_type = 1;
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
    eval_state s = o.st;
    if (kaexpr(text, &s) != 0) {
      state.SkipWithError("evaluation failed");
      break;
    }
    check += s.result.grid->values[0];
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

struct child_run {
  double seconds = -1;  // wall time, -1 when it failed
  double peak_mib = 0;  // its largest resident size
};

// Runs argv with its output into /dev/null, or into a pipe this process
// drains, and reports its time and peak memory.
child_run run_child(const std::vector<std::string>& argv, bool into_pipe) {
  child_run r;
  int fds[2] = {-1, -1};
  if (into_pipe && pipe(fds) != 0) return r;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(into_pipe ? fds[1] : null, 1);
    dup2(null, 2);
    if (into_pipe) {
      close(fds[0]);
      close(fds[1]);
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  if (into_pipe) {
    close(fds[1]);
    std::vector<char> sink(size_t(1) << 20);
    while (read(fds[0], sink.data(), sink.size()) > 0) {
    }
    close(fds[0]);
  }
  int status = 0;
  rusage use{};
  if (pid < 0 || wait4(pid, &status, 0, &use) != pid) return r;
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) r.seconds = took.count();
  r.peak_mib = use.ru_maxrss / 1024.0;
  return r;
}

// The program's time mean (of the whole grid, or of one point), the peer
// tool's on the netCDF copy, and the bytes through a pipe; each iteration
// runs all three after one unmeasured pass that fills the page cache.
void side_by_side(benchmark::State& state, const bench_files& f, bool one_point) {
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
            f.nc, f.out};
  }
  const std::vector<std::string> raw = {"cat", f.data};
  if (run_child(program, false).seconds < 0 || run_child(peer, false).seconds < 0 ||
      run_child(raw, true).seconds < 0) {
    state.SkipWithError("a command failed (is cdo installed?)");
    return;
  }
  std::ifstream out(written, std::ios::binary | std::ios::ate);
  const int64_t want = one_point ? 4 : int64_t(f.nx + 1) * f.ny * 4;  // with the wrap column
  if (int64_t(out.tellg()) != want) {
    state.SkipWithError("the program wrote a mean of the wrong size");
    return;
  }
  double ours = 0, theirs = 0, cat = 0, peak = 0;
  for (auto _ : state) {
    const child_run a = run_child(program, false), b = run_child(peer, false),
                    c = run_child(raw, true);
    if (a.seconds < 0 || b.seconds < 0 || c.seconds < 0) {
      state.SkipWithError("a command failed");
      return;
    }
    ours += a.seconds;
    theirs += b.seconds;
    cat += c.seconds;
    peak = std::max(peak, a.peak_mib);
  }
  const double n = double(state.iterations());
  ours /= n;
  theirs /= n;
  cat /= n;
  state.counters["vemra_ms"] = ours * 1000;
  state.counters["cdo_ms"] = theirs * 1000;
  state.counters["cat_ms"] = cat * 1000;
  state.counters["peak_MiB"] = peak;
  std::printf("\n%dx%dx%d %s: vemra %.3f s, cdo timmean %.3f s, cat > pipe %.3f s; "
              "vemra/cdo %.2f (at most 0.6), vemra/cat %.2f (at most 1.5), "
              "vemra peak %.1f MiB (at most 64); build %s\n",
              f.nx, f.ny, f.nt, one_point ? "one point over all times" : "time mean, default dimensions",
              ours, theirs, cat, ours / theirs, ours / cat, peak, VEMRA_BUILD_TYPE);
  std::fflush(stdout);
}

void BM_SideBySideMean(benchmark::State& state) { side_by_side(state, files(), false); }
BENCHMARK(BM_SideBySideMean)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_SideBySideFineMean(benchmark::State& state) {
  static const bench_files* fine = make_files(1440, 721, 100);
  side_by_side(state, *fine, false);
}
BENCHMARK(BM_SideBySideFineMean)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_SideBySidePointSeries(benchmark::State& state) { side_by_side(state, files(), true); }
BENCHMARK(BM_SideBySidePointSeries)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
