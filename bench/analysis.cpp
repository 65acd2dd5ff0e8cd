// Side by side in one run, on a quarter-degree globe (1440 x 721) at each of
// 100 times: the program itself (start to quit, reading the binary grid)
// against the independent tool on a netCDF copy of the same data, for the
// area average (`cdo fldmean`), the spatial correlation of two fields
// (`cdo fldcor`; and again on two netCDF files of the tool's own random
// field, which the program reads through sdfopen) and the nine-point
// smoother (`cdo smooth9`, which writes every smoothed grid; the program
// writes them with fwrite) and the horizontal divergence of a wind (`cdo
// uv2dv_cfd`, centred differences like hdivg), and the means along
// longitude and along latitude (`cdo zonmean`, `cdo mermean`). Each prints
// the time ratio with its limit, both peak memories, and both programs'
// kernel time and minor page faults: a loop whose steps reused no memory
// would fault every grid's pages in again.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "common/side_by_side.h"
#include "common/nc_series.h"

namespace {

constexpr int kNx = 1440, kNy = 721, kNt = 100;

struct bench_files {
  std::string dir, data, ctl, g_nc, h_nc, u_nc, v_nc, out, cmd;
};
bench_files made;

void remove_files() {
  for (const std::string* n : {&made.data, &made.ctl, &made.g_nc, &made.h_nc, &made.u_nc,
                               &made.v_nc, &made.out, &made.cmd})
    std::remove(n->c_str());
  rmdir(made.dir.c_str());
}

// Two related fields: a travelling wave on a meridional gradient, and a
// shifted, scaled copy with a pattern of its own.
float value(int var, int t, int j, int i) {
  const double g = 280 + std::sin(i * 0.01 + t) * 20 + j * 0.05;
  return float(var == 0 ? g : 0.7 * g + std::cos(j * 0.03 - t * 0.2 + i * 0.002) * 9);
}

const bench_files& files() {
  bench_files& f = made;
  if (!f.dir.empty()) return f;
  char tmpl[] = "/tmp/vemra-bench-analysis-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  f.dir = tmpl;
  f.data = f.dir + "/g.dat";
  f.ctl = f.dir + "/g.ctl";
  f.g_nc = f.dir + "/g.nc";
  f.h_nc = f.dir + "/h.nc";
  f.u_nc = f.dir + "/u.nc";
  f.v_nc = f.dir + "/v.nc";
  f.out = f.dir + "/out";
  f.cmd = f.dir + "/run.cmd";
  std::atexit(remove_files);
  std::vector<float> grid(size_t(kNx) * kNy);
  std::FILE* out = std::fopen(f.data.c_str(), "wb");
  nc_series g(f.g_nc, kNx, kNy, 0, 0.25, -90, 0.25), h(f.h_nc, kNx, kNy, 0, 0.25, -90, 0.25);
  // The same two fields as a wind for the divergence.
  nc_series u(f.u_nc, kNx, kNy, 0, 0.25, -90, 0.25, "u"),
      v(f.v_nc, kNx, kNy, 0, 0.25, -90, 0.25, "v");
  if (!out || !g.ok() || !h.ok() || !u.ok() || !v.ok()) std::abort();
  for (int t = 0; t < kNt; t++)
    for (int var = 0; var < 2; var++) {
      for (int j = 0; j < kNy; j++)
        for (int i = 0; i < kNx; i++) grid[size_t(j) * kNx + i] = value(var, t, j, i);
      std::fwrite(grid.data(), sizeof(float), grid.size(), out);
      (var == 0 ? g : h).put(t, grid.data());
      (var == 0 ? u : v).put(t, grid.data());
    }
  std::fclose(out);
  g.close();
  h.close();
  u.close();
  v.close();
  std::ofstream(f.ctl) << "dset ^g.dat\nundef -9.99e33\nxdef 1440 linear 0 0.25\n"
                          "ydef 721 linear -90 0.25\nzdef 1 levels 1000\n"
                          "tdef 100 linear 00z1jan2000 6hr\nvars 2\ng 0 99 g\nh 0 99 h\nendvars\n";
  return f;
}

// The program runs the script (its commands, then quit) from the file cmd,
// and the tool its operator, writing out.nc; each iteration runs both after
// one unmeasured pass of each that fills the page cache.
void side_by_side_job(benchmark::State& state, const std::string& cmd, const std::string& out,
                      const std::string& script, const std::vector<std::string>& tool,
                      const char* job, double limit) {
  std::ofstream(cmd) << script << "quit\n";
  const std::vector<std::string> program = {VEMRA_BIN, "-blxc", "exec " + cmd};
  std::vector<std::string> peer = {"cdo", "-s", "-O"};
  peer.insert(peer.end(), tool.begin(), tool.end());
  peer.push_back(out + ".nc");
  const std::string printed = out + ".txt";
  if (run_child(program, printed).seconds < 0 || run_child(peer).seconds < 0) {
    state.SkipWithError("a command failed (is cdo installed?)");
    return;
  }
  std::ifstream said(printed);
  const std::string text((std::istreambuf_iterator<char>(said)), std::istreambuf_iterator<char>());
  if (text.find("Error") != std::string::npos) {
    state.SkipWithError(("the program failed: " + text.substr(0, 400)).c_str());
    return;
  }
  side_by_side::pairs p;
  if (!side_by_side::measure(state, p, program, peer)) return;
  state.counters["vemra_ms"] = p.a_s * 1000;
  state.counters["cdo_ms"] = p.b_s * 1000;
  state.counters["ratio_median"] = p.ratio;
  state.counters["vemra_peak_MiB"] = p.a_peak;
  state.counters["cdo_peak_MiB"] = p.b_peak;
  state.counters["vemra_minflt"] = p.a_faults;
  state.counters["cdo_minflt"] = p.b_faults;
  std::printf(
      "\n%dx%dx%d %s: vemra %.3f s, cdo %s %.3f s (medians); vemra/cdo median of pairs %.2f "
      "(at most %.2f); peak vemra %.1f MiB, cdo %.1f MiB; kernel vemra %.3f s, cdo %.3f s; "
      "minor page faults vemra %.0f, cdo %.0f; build %s\n",
      kNx, kNy, kNt, job, p.a_s, tool[0].c_str(), p.b_s, p.ratio, limit, p.a_peak, p.b_peak,
      p.a_sys, p.b_sys, p.a_faults, p.b_faults, VEMRA_BUILD_TYPE);
  std::fflush(stdout);
}

// The commands after opening the binary data set.
void against_peer(benchmark::State& state, const std::string& commands,
                  const std::vector<std::string>& tool, const char* job, double limit) {
  const bench_files& f = files();
  side_by_side_job(state, f.cmd, f.out, "open " + f.ctl + "\n" + commands, tool, job, limit);
}

void BM_AreaAverage(benchmark::State& state) {
  against_peer(state, "set x 1\nset y 1\nset t 1 100\nset gxout print\nd tloop(aave(g,global))\n",
               {"fldmean", files().g_nc}, "area average", 0.5);
}
BENCHMARK(BM_AreaAverage)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_SpatialCorrelation(benchmark::State& state) {
  // The two fields from two data sets, so each step reads through two files.
  against_peer(state,
               "open " + files().ctl +
                   "\nset x 1\nset y 1\nset t 1 100\nset gxout print\n"
                   "d tloop(scorr(g.1,h.2,global))\n",
               {"fldcor", files().g_nc, files().h_nc}, "spatial correlation", 0.5);
}
BENCHMARK(BM_SpatialCorrelation)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The same job on the peer's own kind of file, in a folder of its own: two
// netCDF files of its random field (seeds 1 and 7), daily, read through
// sdfopen. The limit is about the two reads alone.
struct random_pair {
  std::string dir, a, b, cmd, out;
};
random_pair made_random;

void remove_random() {
  const random_pair& r = made_random;
  for (const std::string* n : {&r.a, &r.b, &r.cmd}) std::remove(n->c_str());
  for (const char* e : {".nc", ".txt"}) std::remove((r.out + e).c_str());
  rmdir(r.dir.c_str());
}

const random_pair* random_files() {
  random_pair& r = made_random;
  if (r.dir.empty()) {
    char tmpl[] = "/tmp/vemra-bench-random-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    r = {tmpl, std::string(tmpl) + "/a.nc", std::string(tmpl) + "/b.nc",
         std::string(tmpl) + "/run.cmd", std::string(tmpl) + "/out"};
    std::atexit(remove_random);
    for (const std::string* f : {&r.a, &r.b}) {
      const std::string size = std::to_string(kNx) + "x" + std::to_string(kNy);
      const std::string make = "cdo -s -O -f nc -b F32 -settaxis,2000-01-01,00:00:00,1day " +
                               ("-duplicate," + std::to_string(kNt) + " -random,r" + size) +
                               (f == &r.a ? " " : ",7 ") + *f + " >/dev/null 2>&1";
      if (std::system(make.c_str()) != 0) std::remove(f->c_str());
    }
  }
  return access(r.a.c_str(), R_OK) == 0 && access(r.b.c_str(), R_OK) == 0 ? &r : nullptr;
}

void BM_SpatialCorrelationNetcdf(benchmark::State& state) {
  const random_pair* r = random_files();
  if (!r) {
    state.SkipWithError("cdo could not make the files (is cdo installed?)");
    return;
  }
  side_by_side_job(state, r->cmd, r->out,
                   "sdfopen " + r->a + "\nsdfopen " + r->b +
                       "\nset x 1\nset y 1\nset t 1 100\nset gxout print\n"
                       "d tloop(scorr(random.1,random.2,global))\n",
                   {"fldcor", r->a, r->b}, "spatial correlation, netCDF", 0.7);
}
BENCHMARK(BM_SpatialCorrelationNetcdf)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// Commands that write expr at every step with fwrite, as the peer writes
// every grid it makes.
std::string written_steps(const std::string& expr) {
  std::string cmds = "set lon 0 359.75\nset gxout fwrite\nset fwrite " + files().out + ".bin\n";
  for (int t = 1; t <= kNt; t++) cmds += "set t " + std::to_string(t) + "\nd " + expr + "\n";
  return cmds + "disable fwrite\n";
}

void BM_Smoother(benchmark::State& state) {
  against_peer(state, written_steps("smth9(g)"), {"smooth9", files().g_nc}, "nine-point smoother",
               0.5);
}
BENCHMARK(BM_Smoother)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_Divergence(benchmark::State& state) {
  against_peer(state, written_steps("hdivg(g,h)"),
               {"uv2dv_cfd", "-merge", files().u_nc, files().v_nc}, "horizontal divergence", 1.0);
}
BENCHMARK(BM_Divergence)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

// The means along one axis, written at every step as the peer writes every
// mean: along longitude over the whole turn (the column at 360 repeats the
// one at 0 and counts once), and along latitude from pole to pole.
void BM_ZonalMean(benchmark::State& state) {
  against_peer(state, written_steps("ave(g,lon=0,lon=360)"), {"zonmean", files().g_nc},
               "zonal mean", 0.5);
}
BENCHMARK(BM_ZonalMean)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

void BM_MeridionalMean(benchmark::State& state) {
  against_peer(state, written_steps("ave(g,lat=-90,lat=90)"), {"mermean", files().g_nc},
               "meridional mean", 0.5);
}
BENCHMARK(BM_MeridionalMean)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
