// The time mean over a 360 x 181 x 1000 float variable of a netCDF file
// opened from its metadata ("ave(g, t=1, t=1000)"), against the independent
// tool's "timmean" of the same file; the ratio is printed at the end. Then,
// side by side in one run, the program itself (start to quit) taking that
// mean through "sdfopen" with the dimensions it leaves (longitude 0 to 360
// with the wrap column) against "cdo timmean", for the classic file and for
// a netCDF-4 copy (not compressed, one chunk a time step), with both peak
// memories, and where the program's time goes: its start with the file
// opened, the netCDF library's own reading of every step, and a plain copy
// of the file's bytes.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netcdf.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/mfcmn.h"
#include "data/filerec.h"
#include "data/reader.h"
#include "data/result.h"
#include "expr/eval.h"
#include "expr/evalstate.h"
#include "sdf/sdf.h"
#include "sdf/sdfint.h"
#include "common/nc_series.h"
#include "common/quietly.h"
#include "common/sdf_open.h"
#include "common/side_by_side.h"

namespace {

constexpr int kNx = 360, kNy = 181, kNt = 1000;

std::string dir, nc_file, out_file;
double ours_s = 0, tool_s = 0;

void remove_files() {
  for (const char* n : {"/g.nc", "/mean.nc", "/g4.nc", "/mean4.nc", "/mean.cmd", "/mean4.cmd",
                        "/mean.bin", "/mean4.bin"})
    std::remove((dir + n).c_str());
  rmdir(dir.c_str());
}

const std::string& file() {
  if (!nc_file.empty()) return nc_file;
  char tmpl[] = "/tmp/vemra-bench-sdf-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  dir = tmpl;
  nc_file = dir + "/g.nc";
  out_file = dir + "/mean.nc";
  std::atexit(remove_files);
  nc_series nc(nc_file, kNx, kNy, 0, 1, -90, 1);
  if (!nc.ok()) std::abort();
  std::vector<float> grid(size_t(kNx) * kNy);
  for (int t = 0; t < kNt; t++) {
    for (int j = 0; j < kNy; j++)
      for (int i = 0; i < kNx; i++)
        grid[size_t(j) * kNx + size_t(i)] = float(t % 17 + j * 0.5 + i * 0.01);
    nc.put(t, grid.data());
  }
  nc.close();
  return nc_file;
}

void BM_SdfAveOverTime(benchmark::State& state) {
  const std::string& f = file();
  sdf_install(nullptr);
  mfcmn.warn_level = 0;
  file_descriptor* pfi = nullptr;
  if (open_sdf(f.c_str(), &pfi) != 0) std::abort();
  eval_state st{};
  st.file_list = st.default_file = pfi;
  st.file_count = 1;
  st.idim = 0;
  st.jdim = 1;
  st.dim_max[0] = 359;
  st.dim_min[1] = -90;
  st.dim_max[1] = 90;
  st.time_start = st.time_end = {2000, 1, 1, 0, 0};
  double check = 0;
  auto t0 = std::chrono::steady_clock::now();
  quietly([&] {
    for (auto _ : state) {
      eval_state s = st;
      if (kaexpr("ave(g,t=1,t=1000)", &s) != 0) {
        state.SkipWithError("evaluation failed");
        break;
      }
      check += grid_in(s.result)->values[kNx * 90 + 180];
      kafree(&s);
    }
  });
  ours_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
           double(state.iterations());
  benchmark::DoNotOptimize(check);
  close_sdf(pfi);
}
BENCHMARK(BM_SdfAveOverTime)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

void BM_ToolTimeMeanNetcdf(benchmark::State& state) {
  const std::string& f = file();
  if (std::system("command -v cdo >/dev/null 2>&1") != 0) {
    state.SkipWithError("cdo missing");
    return;
  }
  std::string cmd = "cdo -s -O timmean " + f + " " + out_file + " >/dev/null 2>&1";
  auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("cdo failed");
  tool_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
           double(state.iterations());
}
BENCHMARK(BM_ToolTimeMeanNetcdf)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);

// Seconds the netCDF library alone takes to read every time step of g into
// one buffer, the file opened as the program opens it: the part of the
// program's time no change of the program can take away. Median of n runs.
double library_read_s(const std::string& path, int n) {
  std::vector<double> runs;
  std::vector<float> grid(size_t(kNx) * kNy);
  for (int i = 0; i < n; i++) {
    const auto t0 = std::chrono::steady_clock::now();
    size_t chunk = size_t(1) << 20;
    int nc = -1, var = -1, storage = 0;
    if (nc__open(path.c_str(), NC_NOWRITE | NC_SHARE, &chunk, &nc) != NC_NOERR) return -1;
    nc_inq_varid(nc, "g", &var);
    if (nc_inq_var_chunking(nc, var, &storage, nullptr) == NC_NOERR && storage == NC_CHUNKED)
      nc_set_var_chunk_cache(nc, var, 0, 0, 0.75f);
    for (int t = 0; t < kNt; t++) {
      const size_t start[3] = {size_t(t), 0, 0}, count[3] = {1, size_t(kNy), size_t(kNx)};
      if (nc_get_vara_float(nc, var, start, count, grid.data()) != NC_NOERR) return -1;
    }
    nc_close(nc);
    runs.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  return median(runs);
}

// Median seconds of n runs of a command.
double command_s(const std::vector<std::string>& argv, int n) {
  std::vector<double> runs;
  for (int i = 0; i < n; i++) runs.push_back(run_child(argv).seconds);
  return median(runs);
}

// The program against the peer on file name (in the benchmark's directory),
// pairs interleaved; limit is the largest ratio wanted.
void side_by_side_sdf(benchmark::State& state, const std::string& name, const char* what,
                      double limit) {
  const std::string nc = dir + "/" + name;
  const std::string stem = name.substr(0, name.find('.'));
  const std::string commands = dir + "/mean" + (stem == "g" ? "" : "4") + ".cmd";
  const std::string written = dir + "/mean" + (stem == "g" ? "" : "4") + ".bin";
  const std::string peer_out = dir + "/mean" + (stem == "g" ? "" : "4") + ".nc";
  {
    std::FILE* cmd = std::fopen(commands.c_str(), "w");
    if (!cmd) std::abort();
    std::fprintf(cmd, "sdfopen %s\nset gxout fwrite\nset fwrite %s\nd ave(g, t=1, t=%d)\nquit\n",
                 nc.c_str(), written.c_str(), kNt);
    std::fclose(cmd);
  }
  setenv("KADDIR", VEMRA_DATA_DIR, 1);
  const std::vector<std::string> program = {VEMRA_BIN, "-blxc", "exec " + commands};
  const std::vector<std::string> peer = {"cdo", "-s", "-O", "timmean", nc, peer_out};
  side_by_side::pairs p;
  for (auto _ : state) p = side_by_side::interleaved(program, peer, 9);
  if (!p.ok) {
    state.SkipWithError("a command failed (is cdo installed?)");
    return;
  }
  std::FILE* in = std::fopen(written.c_str(), "rb");
  long size = -1;
  if (in) {
    std::fseek(in, 0, SEEK_END);
    size = std::ftell(in);
    std::fclose(in);
  }
  if (size != long(kNx + 1) * kNy * 4) {  // with the wrap column
    state.SkipWithError("the program wrote a mean of the wrong size");
    return;
  }
  state.counters["vemra_ms"] = p.a_s * 1000;
  state.counters["cdo_ms"] = p.b_s * 1000;
  std::printf(
      "\n%dx%dx%d %s, time mean through sdfopen (medians of 9 interleaved pairs, load "
      "%.1f): vemra %.3f s, cdo timmean %.3f s, vemra/cdo %.2f (at most %.1f); peak vemra "
      "%.1f MiB, cdo %.1f MiB\n",
      kNx, kNy, kNt, what, side_by_side::load_average(), p.a_s, p.b_s, p.ratio, limit, p.a_peak,
      p.b_peak);
  // Where the time goes: the program's start with the file's metadata and
  // time axis read, the library's own reading of every step (its copy from
  // the system and its conversion to the machine's floats), and a plain copy
  // of the file's bytes, each as a share of the peer's time.
  const std::string opens = dir + "/open.cmd";
  {
    std::FILE* cmd = std::fopen(opens.c_str(), "w");
    if (!cmd) std::abort();
    std::fprintf(cmd, "sdfopen %s\nquit\n", nc.c_str());
    std::fclose(cmd);
  }
  const double open_s = command_s({VEMRA_BIN, "-blxc", "exec " + opens}, 5);
  const double library_s = library_read_s(nc, 5);
  const double cat_s = command_s({"cat", nc}, 5);
  std::remove(opens.c_str());
  std::printf(
      "  where the time goes: start and sdfopen %.3f s (%.2f of cdo), the netCDF library reading "
      "every step %.3f s (%.2f of cdo), cat of the file %.3f s (%.2f of cdo)\n",
      open_s, open_s / p.b_s, library_s, library_s / p.b_s, cat_s, cat_s / p.b_s);
  std::fflush(stdout);
}

void BM_SideBySideClassic(benchmark::State& state) {
  file();
  side_by_side_sdf(state, "g.nc", "classic netCDF", 0.6);
}
BENCHMARK(BM_SideBySideClassic)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_SideBySideNetcdf4(benchmark::State& state) {
  file();
  const std::string nc4 = dir + "/g4.nc";
  static const bool made =
      std::system(("nccopy -k nc4 -c time/1,lat/" + std::to_string(kNy) + ",lon/" +
                   std::to_string(kNx) + " " + nc_file + " " + nc4 + " >/dev/null 2>&1")
                      .c_str()) == 0;
  if (!made) {
    state.SkipWithError("nccopy failed");
    return;
  }
  side_by_side_sdf(state, "g4.nc", "netCDF-4 not compressed, chunks 1x181x360", 0.7);
}
BENCHMARK(BM_SideBySideNetcdf4)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (ours_s > 0 && tool_s > 0)
    std::printf(
        "time mean of a 360x181x1000 netCDF variable: vemra %.1f ms, cdo timmean %.1f ms, ratio "
        "%.2f\n",
        ours_s * 1e3, tool_s * 1e3, ours_s / tool_s);
  return 0;
}
