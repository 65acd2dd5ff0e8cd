// Opening a netCDF file whose time coordinate is long: kadsdf of a file of
// VEMRA_BENCH_TIMES hourly double times (default 20,000,000; 100,000,000
// makes the 800 MB file), once with time a fixed dimension, its values one
// run of the file, and once as the record dimension whose records it shares
// with a small field. Each open reads the first two times and then every
// time up to 2^24 for the step check; the rate printed is of those values.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netcdf.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/mfcmn.h"
#include "common/sdf_open.h"
#include "data/filerec.h"
#include "data/reader.h"
#include "sdf/sdf.h"
#include "sdf/sdfint.h"

namespace {

// Times the step check reads at most.
constexpr long kChecked = 16777216;

long times() {
  const char* n = std::getenv("VEMRA_BENCH_TIMES");
  long v = n ? std::atol(n) : 0;
  return v > 2 ? v : 20000000;
}

std::string dir;
std::vector<std::string> made;

void remove_files() {
  for (const std::string& f : made) std::remove(f.c_str());
  if (!dir.empty()) rmdir(dir.c_str());
}

// The file of n hourly times from 2000-01-01, with a 2 x 2 field g: along
// time as well when records, else only over lat and lon.
const std::string& file(bool records) {
  static std::string paths[2];
  std::string& path = paths[records];
  if (!path.empty()) return path;
  if (dir.empty()) {
    char tmpl[] = "/tmp/vemra-bench-sdftime-XXXXXX";
    if (!mkdtemp(tmpl)) std::abort();
    dir = tmpl;
    std::atexit(remove_files);
  }
  path = dir + (records ? "/records.nc" : "/fixed.nc");
  made.push_back(path);
  const long n = times();
  int nc, dt, dy, dx, vt, vy, vx, vg, old;
  if (nc_create(path.c_str(), NC_CLOBBER | NC_64BIT_OFFSET, &nc) != NC_NOERR) std::abort();
  nc_set_fill(nc, NC_NOFILL, &old);
  nc_def_dim(nc, "time", records ? NC_UNLIMITED : size_t(n), &dt);
  nc_def_dim(nc, "lat", 2, &dy);
  nc_def_dim(nc, "lon", 2, &dx);
  nc_def_var(nc, "time", NC_DOUBLE, 1, &dt, &vt);
  const std::string units = "hours since 2000-01-01 00:00:00";
  nc_put_att_text(nc, vt, "units", units.size(), units.c_str());
  nc_def_var(nc, "lat", NC_DOUBLE, 1, &dy, &vy);
  nc_put_att_text(nc, vy, "units", 13, "degrees_north");
  nc_def_var(nc, "lon", NC_DOUBLE, 1, &dx, &vx);
  nc_put_att_text(nc, vx, "units", 12, "degrees_east");
  const int dims[3] = {dt, dy, dx};
  nc_def_var(nc, "g", NC_FLOAT, records ? 3 : 2, records ? dims : dims + 1, &vg);
  if (nc_enddef(nc) != NC_NOERR) std::abort();
  const double two[2] = {0, 1};
  nc_put_var_double(nc, vy, two);
  nc_put_var_double(nc, vx, two);
  constexpr long kBlock = 1L << 20;
  std::vector<double> t(kBlock);
  std::vector<float> g(size_t(kBlock) * 4, 1.0f);
  if (!records) nc_put_var_float(nc, vg, g.data());
  for (long s = 0; s < n; s += kBlock) {
    const long c = std::min(kBlock, n - s);
    for (long i = 0; i < c; i++) t[size_t(i)] = double(s + i);
    size_t start[3] = {size_t(s), 0, 0}, count[3] = {size_t(c), 2, 2};
    if (nc_put_vara_double(nc, vt, start, count, t.data()) != NC_NOERR) std::abort();
    if (records && nc_put_vara_float(nc, vg, start, count, g.data()) != NC_NOERR) std::abort();
  }
  if (nc_close(nc) != NC_NOERR) std::abort();
  return path;
}

void open_file(benchmark::State& state, bool records) {
  const std::string& f = file(records);
  sdf_install(nullptr);
  mfcmn.warn_level = 0;
  double seconds = 0;
  long t_size = 0;
  for (auto _ : state) {
    file_descriptor* pfi = nullptr;
    const auto t0 = std::chrono::steady_clock::now();
    const int rc = open_sdf(f.c_str(), &pfi);
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    t_size = pfi->t_size;
    close_sdf(pfi);
    if (rc != 0) {
      state.SkipWithError("kadsdf failed");
      return;
    }
  }
  if (t_size != times()) {
    state.SkipWithError("the time axis has the wrong size");
    return;
  }
  const double s = seconds / double(state.iterations());
  const double mb = double(std::min(times(), kChecked)) * 8 / 1e6;
  state.counters["MB_per_s"] = mb / s;
  std::printf("\nsdfopen of %ld hourly times, %s: %.3f s, %.1f MB of times read at %.1f MB/s\n",
              times(),
              records ? "a record variable sharing records with a 2x2 field" : "a fixed dimension",
              s, mb, mb / s);
  std::fflush(stdout);
}

void BM_SdfOpenLongTimeFixed(benchmark::State& state) { open_file(state, false); }
BENCHMARK(BM_SdfOpenLongTimeFixed)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_SdfOpenLongTimeRecords(benchmark::State& state) { open_file(state, true); }
BENCHMARK(BM_SdfOpenLongTimeRecords)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
