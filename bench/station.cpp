// Station analyses: oacres of 10,000 reports onto a 1-degree globe (360 x
// 181) with the default five passes, against the independent tool's
// distance-weighted remapping of the same points (an unstructured grid of
// 10,000 cells to r360x181); and the station reductions that pair reports
// by station (the average over times, station-with-station arithmetic) at
// two sizes, whose times should grow as the sizes do, not as their squares.
#include <benchmark/benchmark.h>
#include <netcdf.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "data/result.h"
#include "expr/eval.h"
#include "expr/foa.h"
#include "expr/fstn.h"
#include "support/station_sets.h"

namespace {

constexpr int kReports = 10000, kNx = 360, kNy = 181;

struct report {
  float lon, lat, value;
};

const std::vector<report>& reports() {
  static std::vector<report> r;
  if (!r.empty()) return r;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> lon(0, 359), lat(-90, 90), noise(-1, 1);
  for (int k = 0; k < kReports; k++) {
    const float x = lon(rng), y = lat(rng);
    r.push_back({x, y, 280 + 20 * float(std::cos(y * 0.0174533)) + noise(rng)});
  }
  return r;
}

void fill_id(station_report* p, int k) {
  char id[16];
  std::snprintf(id, sizeof id, "%08d", k);
  std::memcpy(p->stid, id, 8);
}

station_set* report_set(const std::vector<report>& rs, int idim = 0, int jdim = 1) {
  auto* s = static_cast<station_set*>(std::calloc(1, sizeof(station_set)));
  s->undef = -9.99e33f;
  s->idim = idim;
  s->jdim = jdim;
  s->block_index = -1;
  int k = 0;
  for (const report& r : rs) {
    station_report* p = kaarpt(s);
    fill_id(p, k++);
    p->lon = r.lon;
    p->lat = r.lat;
    p->lev = 1000;
    p->time = 1;
    p->value = r.value;
    s->report_count++;
  }
  return s;
}

grid_field* globe() { return stntest::make_grid(0, -90, kNx, kNy, {}, -9.99e33f); }

// The same reports as a netCDF file of 10,000 unstructured cells.
std::string dir, points_nc, out_nc;

void remove_files() {
  std::remove(points_nc.c_str());
  std::remove(out_nc.c_str());
  rmdir(dir.c_str());
}

const std::string& points_file() {
  if (!points_nc.empty()) return points_nc;
  char tmpl[] = "/tmp/vemra-bench-station-XXXXXX";
  if (!mkdtemp(tmpl)) std::abort();
  dir = tmpl;
  points_nc = dir + "/points.nc";
  out_nc = dir + "/out.nc";
  std::atexit(remove_files);
  int nc, dim, vx, vy, vv;
  if (nc_create(points_nc.c_str(), NC_CLOBBER, &nc) != NC_NOERR) std::abort();
  nc_def_dim(nc, "ncells", kReports, &dim);
  nc_def_var(nc, "lon", NC_DOUBLE, 1, &dim, &vx);
  nc_put_att_text(nc, vx, "units", 12, "degrees_east");
  nc_put_att_text(nc, vx, "standard_name", 9, "longitude");
  nc_def_var(nc, "lat", NC_DOUBLE, 1, &dim, &vy);
  nc_put_att_text(nc, vy, "units", 13, "degrees_north");
  nc_put_att_text(nc, vy, "standard_name", 8, "latitude");
  nc_def_var(nc, "v", NC_FLOAT, 1, &dim, &vv);
  nc_put_att_text(nc, vv, "coordinates", 7, "lat lon");
  nc_enddef(nc);
  std::vector<double> x, y;
  std::vector<float> v;
  for (const report& r : reports()) {
    x.push_back(r.lon);
    y.push_back(r.lat);
    v.push_back(r.value);
  }
  nc_put_var_double(nc, vx, x.data());
  nc_put_var_double(nc, vy, y.data());
  nc_put_var_float(nc, vv, v.data());
  nc_close(nc);
  return points_nc;
}

double last_seconds = 0;

double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_Oacres(benchmark::State& state) {
  station_set* s = report_set(reports());
  const std::vector<float> radii{10, 7, 4, 2, 1};
  double check = 0;
  const auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state) {
    grid_field* g = globe();
    if (oacres_grid(g, s, radii, kNoGuess) != 0) state.SkipWithError("oacres failed");
    check += g->values[kNx * 90];
    kagfre(g);
  }
  last_seconds = seconds_since(t0) / double(state.iterations());
  benchmark::DoNotOptimize(check);
  kasfre(s);
  state.counters["reports"] = kReports;
}
BENCHMARK(BM_Oacres)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ToolRemapdis(benchmark::State& state) {
  if (std::system("command -v cdo >/dev/null 2>&1") != 0) {
    state.SkipWithError("cdo is not installed");
    return;
  }
  const std::string cmd =
      "cdo -s -O remapdis,r360x181 " + points_file() + " " + out_nc + " >/dev/null 2>&1";
  const auto t0 = std::chrono::steady_clock::now();
  for (auto _ : state)
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("cdo failed");
  const double tool_seconds = seconds_since(t0) / double(state.iterations());
  // Below 1: vemra is faster than the tool on the same points.
  if (tool_seconds > 0) state.counters["vemra_over_cdo"] = last_seconds / tool_seconds;
}
BENCHMARK(BM_ToolRemapdis)->Unit(benchmark::kMillisecond)->UseRealTime();

// n stations reporting at each of 8 times, averaged station by station.
void BM_StationAverage(benchmark::State& state) {
  const int n = int(state.range(0));
  std::vector<report> rs(reports().begin(), reports().end());
  while (int(rs.size()) < n) rs.insert(rs.end(), reports().begin(), reports().end());
  rs.resize(size_t(n));
  std::vector<station_set*> times;
  for (int t = 0; t < 8; t++) times.push_back(report_set(rs));
  for (auto _ : state) {
    station_fold fold(station_reduction::average);
    for (station_set* s : times) fold.add(s);
    kasfre(fold.finish(1));
  }
  for (station_set* s : times) kasfre(s);
  state.SetItemsProcessed(state.iterations() * 8 * n);
}
BENCHMARK(BM_StationAverage)->Arg(10000)->Arg(40000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Station set minus station set, n reports each, paired by place.
void BM_StationWithStation(benchmark::State& state) {
  const int n = int(state.range(0));
  std::vector<report> rs(reports().begin(), reports().end());
  while (int(rs.size()) < n) {
    for (report r : reports())
      rs.push_back({r.lon, r.lat + 0.001f * float(rs.size() / kReports), r.value});
  }
  rs.resize(size_t(n));
  for (auto _ : state) {
    state.PauseTiming();
    station_set* a = report_set(rs);
    station_set* b = report_set(rs);
    state.ResumeTiming();
    kasfre(kastop(a, b, kOpAdd, 1));
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_StationWithStation)
    ->Arg(10000)
    ->Arg(40000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
