// Writing 100 steps of a 360 x 181 float field to netCDF: the program reads
// them from a netCDF file ("sdfopen") and writes each displayed step through
// "set lats" (start to quit), against the peer tool's "copy" of the same
// file. Pairs run interleaved; the median ratio and both peak memories are
// printed at the end (the ratio should be at most 0.7).
#include <benchmark/benchmark.h>
#include <netcdf.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common/side_by_side.h"
#include "common/nc_series.h"

namespace {

constexpr int kNx = 360, kNy = 181, kNt = 100;

struct files {
  std::string dir, nc, commands, ours, theirs;
};

// Made once and never destroyed, so that the clean-up at exit can read it.
const files* made = nullptr;

void remove_all() {
  for (const std::string& n : {made->nc, made->commands, made->ours + ".nc", made->theirs})
    std::remove(n.c_str());
  rmdir(made->dir.c_str());
}

const files& bench_files() {
  if (made) return *made;
  auto* w = new files;
  char tmpl[] = "/tmp/vemra-bench-lats-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  w->dir = tmpl;
  w->nc = w->dir + "/g.nc";
  w->commands = w->dir + "/write.cmd";
  w->ours = w->dir + "/ours";
  w->theirs = w->dir + "/theirs.nc";
  made = w;
  std::atexit(remove_all);
  nc_series nc(w->nc, kNx, kNy, 0, 1, -90, 1);
  if (!nc.ok()) std::abort();
  std::vector<float> grid(size_t(kNx) * kNy);
  for (int t = 0; t < kNt; t++) {
    for (int j = 0; j < kNy; j++)
      for (int i = 0; i < kNx; i++)
        grid[size_t(j) * kNx + size_t(i)] = float(250 + t % 17 + j * 0.5 + i * 0.01);
    nc.put(t, grid.data());
  }
  nc.close();
  std::ofstream cmd(w->commands);
  cmd << "sdfopen " << w->nc << "\nset x 1 " << kNx << "\nset y 1 " << kNy << "\nset t 1\n"
      << "set lats convention coards\nset lats frequency hourly\nset lats deltat 6\n"
      << "set lats create " << w->ours << "\nset gxout latsgrid\nd g\n"
      << "set lats var 1 tas instant 1 0\nset gxout latsdata\nset lats write 1 1\n";
  for (int t = 1; t <= kNt; t++) cmd << "set t " << t << "\nd g\n";
  cmd << "set lats close 1\nquit\n";
  return *w;
}

// The number of time steps in a file, by the peer tool's reader.
size_t steps(const std::string& path) {
  int nc = -1, dim = -1;
  size_t n = 0;
  if (nc_open(path.c_str(), NC_NOWRITE, &nc) != NC_NOERR) return 0;
  if (nc_inq_dimid(nc, "time", &dim) == NC_NOERR) nc_inq_dimlen(nc, dim, &n);
  nc_close(nc);
  return n;
}

void BM_SideBySideLatsWrite(benchmark::State& state) {
  const files& f = bench_files();
  setenv("KADDIR", VEMRA_DATA_DIR, 1);
  const std::vector<std::string> program = {VEMRA_BIN, "-blxc", "exec " + f.commands};
  const std::vector<std::string> peer = {"cdo", "-s", "-O", "copy", f.nc, f.theirs};
  // One unmeasured pair fills the page cache and checks both outputs.
  if (run_child(program).seconds < 0 || run_child(peer).seconds < 0) {
    state.SkipWithError("a command failed (is cdo installed?)");
    return;
  }
  if (steps(f.ours + ".nc") != size_t(kNt) || steps(f.theirs) != size_t(kNt)) {
    state.SkipWithError("an output does not hold every step");
    return;
  }
  side_by_side::pairs p;
  if (!side_by_side::measure(state, p, program, peer)) return;
  state.counters["vemra_ms"] = p.a_s * 1000;
  state.counters["cdo_ms"] = p.b_s * 1000;
  state.counters["ratio"] = p.ratio;
  std::printf(
      "\n%d steps of %dx%d to netCDF: vemra (sdfopen, set lats) %.3f s, cdo copy %.3f s "
      "(medians of %zu interleaved pairs); median ratio %.2f (at most 0.7); peak memory "
      "vemra %.1f MiB, cdo %.1f MiB\n",
      kNt, kNx, kNy, p.a_s, p.b_s, p.rs.size(), p.ratio, p.a_peak, p.b_peak);
  std::fflush(stdout);
}
BENCHMARK(BM_SideBySideLatsWrite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(9);

}  // namespace
