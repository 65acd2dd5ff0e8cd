// Map outline drawing: a whole world of coastlines and borders in a flat and
// in a curved projection, and a small region of the finer map, where the
// block index must keep the reading to the few blocks that meet the box.
#include <benchmark/benchmark.h>

#include "gx/gx.h"
#include "gx/map.h"
#include "gx/proj.h"

namespace {

struct tables {
  int colours[256], styles[256], thick[256];
  tables() {
    for (int i = 0; i < 256; i++) colours[i] = i <= 2 ? -1 : -9, styles[i] = 1, thick[i] = 3;
  }
};

void draw(benchmark::State& state, int (*setup)(projection_box*), float lon1, float lon2,
          float lat1, float lat2, const char* file) {
  static bool started = false;
  if (!started) gxstrt(11, 8.5f, true);
  started = true;
  tables t;
  map_options o{1, 1, 3, t.colours, t.styles, t.thick, lon1, lon2, lat1, lat2, file};
  for (auto _ : state) {
    gxfrme(frame_action::clear);
    projection_box b{lon1, lon2, lat1, lat2, 0.5f, 10.5f, 0.75f, 7.75f, 0, 0, 0, 0, 0, 0};
    if (setup(&b) != 0) state.SkipWithError("projection refused");
    gxclip(b.plot_xlo, b.plot_xhi, b.plot_ylo, b.plot_yhi);
    gxdmap(&o);
  }
}

void BM_WorldLatLon(benchmark::State& s) {
  draw(s, gxltln, 0, 360, -90, 90, VEMRA_DATA_DIR "/lowres");
}
void BM_WorldRobinson(benchmark::State& s) {
  draw(s, gxrobi, -180, 180, -90, 90, VEMRA_DATA_DIR "/lowres");
}
void BM_NorthPolar(benchmark::State& s) {
  draw(s, gxnste, -180, 180, 20, 90, VEMRA_DATA_DIR "/lowres");
}
void BM_SmallRegionFineMap(benchmark::State& s) {
  draw(s, gxltln, 5, 15, 45, 50, VEMRA_DATA_DIR "/mres");
}
BENCHMARK(BM_WorldLatLon)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorldRobinson)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NorthPolar)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SmallRegionFineMap)->Unit(benchmark::kMillisecond);

}  // namespace
