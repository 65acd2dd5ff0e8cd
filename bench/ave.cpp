// "ave" over 1,000 time steps of a 360 x 181 float grid, against reading the
// same bytes raw and against the independent tool's time mean of the same
// data as netCDF; and the zonal average of one time, which reads whole rows.
#include <benchmark/benchmark.h>
#include <netcdf.h>
#include <unistd.h>

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

namespace {

constexpr int kNx = 360, kNy = 181, kNt = 1000;

struct bench_files {
  std::string dir, data, ctl, nc, out;
};
bench_files made;

void remove_files() {
  for (const std::string* n : {&made.data, &made.ctl, &made.nc, &made.out}) std::remove(n->c_str());
  rmdir(made.dir.c_str());
}

float value(int t, int j, int i) { return float(t % 17 + j * 0.5 + i * 0.01); }

const bench_files& files() {
  bench_files& f = made;
  if (!f.dir.empty()) return f;
  char tmpl[] = "/tmp/vemra-bench-ave-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  f.dir = tmpl;
  f.data = f.dir + "/g.dat";
  f.ctl = f.dir + "/g.ctl";
  f.nc = f.dir + "/g.nc";
  f.out = f.dir + "/mean.nc";
  std::atexit(remove_files);
  std::vector<float> grid(size_t(kNx) * kNy);
  std::FILE* out = std::fopen(f.data.c_str(), "wb");
  int nc = -1, dims[3], vt, vy, vx, vg;
  bool have_nc = nc_create(f.nc.c_str(), NC_CLOBBER, &nc) == NC_NOERR;
  if (have_nc) {
    nc_def_dim(nc, "time", NC_UNLIMITED, &dims[0]);
    nc_def_dim(nc, "lat", kNy, &dims[1]);
    nc_def_dim(nc, "lon", kNx, &dims[2]);
    nc_def_var(nc, "time", NC_DOUBLE, 1, &dims[0], &vt);
    nc_put_att_text(nc, vt, "units", 30, "hours since 2000-01-01 00:00:00");
    nc_def_var(nc, "lat", NC_DOUBLE, 1, &dims[1], &vy);
    nc_put_att_text(nc, vy, "units", 13, "degrees_north");
    nc_def_var(nc, "lon", NC_DOUBLE, 1, &dims[2], &vx);
    nc_put_att_text(nc, vx, "units", 12, "degrees_east");
    nc_def_var(nc, "g", NC_FLOAT, 3, dims, &vg);
    nc_enddef(nc);
    std::vector<double> c(kNx);
    for (int i = 0; i < kNx; i++) c[i] = i;
    nc_put_var_double(nc, vx, c.data());
    for (int j = 0; j < kNy; j++) c[j] = -90 + j;
    nc_put_var_double(nc, vy, c.data());
  }
  for (int t = 0; t < kNt; t++) {
    for (int j = 0; j < kNy; j++)
      for (int i = 0; i < kNx; i++) grid[size_t(j) * kNx + i] = value(t, j, i);
    std::fwrite(grid.data(), sizeof(float), grid.size(), out);
    if (have_nc) {
      size_t start[3] = {size_t(t), 0, 0}, count[3] = {1, kNy, kNx};
      double hours = 6.0 * t;
      nc_put_var1_double(nc, vt, start, &hours);
      nc_put_vara_float(nc, vg, start, count, grid.data());
    }
  }
  std::fclose(out);
  if (have_nc) nc_close(nc);
  std::ofstream(f.ctl) << "dset ^g.dat\nundef -9.99e33\nxdef 360 linear 0 1\n"
                          "ydef 181 linear -90 1\nzdef 1 levels 1000\n"
                          "tdef 1000 linear 00z1jan2000 6hr\nvars 1\ng 0 99 g\nendvars\n";
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
