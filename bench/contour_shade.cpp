// Contouring and shading of a global quarter-degree field (1440 x 721), as a
// contour or shaded plot of such a field draws it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "gx/contour.h"
#include "gx/gx.h"

namespace {

constexpr int kNx = 1440, kNy = 721;
constexpr float kUndef = -9.99e8f;

// Temperature-like: warm tropics, cold poles, travelling waves and small
// eddies, with a few undefined patches.
const std::vector<float>& field() {
  static std::vector<float> g;
  if (!g.empty()) return g;
  g.resize(static_cast<std::size_t>(kNx) * kNy);
  for (int j = 0; j < kNy; ++j) {
    double lat = -90.0 + 0.25 * j, rl = lat * M_PI / 180;
    for (int i = 0; i < kNx; ++i) {
      double lon = 0.25 * i, rn = lon * M_PI / 180;
      double v = 30 * std::cos(rl) - 5 + 8 * std::sin(5 * rn + 2 * rl) * std::cos(rl) +
                 3 * std::sin(23 * rn) * std::sin(17 * rl) + 1.5 * std::cos(61 * rn + 47 * rl);
      g[static_cast<std::size_t>(j) * kNx + i] = static_cast<float>(v);
    }
  }
  for (int j = 300; j < 320; ++j)
    for (int i = 700; i < 760; ++i) g[static_cast<std::size_t>(j) * kNx + i] = kUndef;
  return g;
}

void to_page(float x, float y, float* xo, float* yo) {
  *xo = 0.5f + 10.0f * (x - 1) / (kNx - 1);
  *yo = 0.5f + 7.0f * (y - 1) / (kNy - 1);
}

void start() {
  static bool started = false;
  if (!started) {
    gxstrt(11, 8.5f, true);
    started = true;
  }
  gxgrid(to_page);
  gxfrme(frame_action::clear);
}

void contour_all(const std::vector<float>& g) {
  for (float lev = -20; lev <= 40; lev += 4) {
    gxcolr(2 + static_cast<int>(lev + 20) / 4 % 13);
    gxclev(g.data(), kNx, kNy, 1, kNx, 1, kNy, lev, "10", false, contour_labels::on, kUndef);
  }
  gxclab(0.09f, true, -1);
  gxcrel();
}

void shade_all(const std::vector<float>& g) {
  std::vector<float> levels;
  std::vector<int> colours;
  for (int k = 0; k < 14; ++k) {
    levels.push_back(k == 0 ? -1e30f : -24.0f + 5.0f * k);
    colours.push_back(16 + k);
  }
  gxshad(g.data(), kNx, kNy, levels.data(), colours.data(), static_cast<int>(levels.size()),
         kUndef);
}

void BM_Contour(benchmark::State& state) {
  const auto& g = field();
  for (auto _ : state) {
    start();
    contour_all(g);
  }
}
BENCHMARK(BM_Contour)->Unit(benchmark::kMillisecond);

void BM_Shade(benchmark::State& state) {
  const auto& g = field();
  for (auto _ : state) {
    start();
    shade_all(g);
  }
}
BENCHMARK(BM_Shade)->Unit(benchmark::kMillisecond);

void BM_ContourAndShade(benchmark::State& state) {
  const auto& g = field();
  for (auto _ : state) {
    start();
    shade_all(g);
    contour_all(g);
  }
}
BENCHMARK(BM_ContourAndShade)->Unit(benchmark::kMillisecond);

}  // namespace
