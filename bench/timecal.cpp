// Time-axis conversions far from the axis start (climatology axes run from
// year 1), and the per-value work of GRIB unpacking: bit fields and IBM floats.
#include <benchmark/benchmark.h>

#include <vector>

#include "base/numfmt.h"
#include "base/timecal.h"
#include "base/bitfield.h"

namespace {

void BM_gr2t_DailyAxisFarFromStart(benchmark::State& state) {
  time_scaling s{1, 1, 1, 0, 0, 0, 1440, -999.9f};
  date_time out{};
  float g = 3650000.0f;  // about year 9994
  for (auto _ : state) {
    gr2t(&s, g, &out);
    benchmark::DoNotOptimize(out);
  }
}
BENCHMARK(BM_gr2t_DailyAxisFarFromStart);

void BM_t2gr_MonthlyAxis(benchmark::State& state) {
  time_scaling s{1, 1, 1, 0, 0, 1, 0, -999.9f};
  date_time t{9999, 12, 16, 12, 0};
  for (auto _ : state) benchmark::DoNotOptimize(t2gr(&s, &t));
}
BENCHMARK(BM_t2gr_MonthlyAxis);

void BM_UnpackTwelveBitValues(benchmark::State& state) {
  const int n = 1 << 20;
  std::vector<unsigned char> buf(n * 12 / 8 + 8, 0x5A);
  for (auto _ : state) {
    long long sum = 0;
    for (long long i = 0; i < n; ++i) sum += kagbb(buf.data(), i * 12, 12);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_UnpackTwelveBitValues);

void BM_IbmToFloat(benchmark::State& state) {
  const int n = 1 << 16;
  std::vector<unsigned char> buf(4 * n);
  for (int i = 0; i < n; ++i) flt2ibm(static_cast<float>(i) * 0.37f - 1000.0f, &buf[4 * i]);
  for (auto _ : state) {
    float sum = 0;
    for (int i = 0; i < n; ++i) sum += ibm2flt(&buf[4 * i]);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_IbmToFloat);

}  // namespace
