// Drawing-layer throughput: clipped dashed lines, small filled polygons and
// printing a full frame. Ordinary frames must never allocate per primitive.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "gx/gx.h"
#include "gx/metafile.h"

namespace {

void start() {
  static bool started = false;
  if (!started) {
    gxstrt(11, 8.5f, true);
    started = true;
  }
  gxfrme(frame_action::clear);
}

void BM_DashedClippedLines(benchmark::State& state) {
  start();
  gxstyl(2);
  gxclip(1, 10, 1, 7.5f);
  int i = 0;
  for (auto _ : state) {
    float x = static_cast<float>(i % 1200) * 0.01f;
    gxplot(x, 0.5f + (i % 7), (i % 50) ? pen_code::draw : pen_code::move);
    if (++i % 200000 == 0) gxfrme(frame_action::clear);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DashedClippedLines);

void BM_SmallPolygons(benchmark::State& state) {
  start();
  gxclip(1, 10, 1, 7.5f);
  float quad[8] = {0.5f, 1, 3, 1, 3, 3, 0.5f, 3};
  int i = 0;
  for (auto _ : state) {
    quad[0] = quad[6] = 0.5f + (i % 5);
    gxfill(quad, 4);
    if (++i % 100000 == 0) gxfrme(frame_action::clear);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_SmallPolygons);

void BM_PrintFrame(benchmark::State& state) {
  start();
  for (int i = 0; i < 1000000; i++)
    gxplot((i % 1000) * 0.01f, 1 + (i % 5), i % 10 ? pen_code::draw : pen_code::move);
  gxhbgn("/dev/null");
  for (auto _ : state) gxhprt();
  state.SetBytesProcessed(state.iterations() * 2 *
                          static_cast<int64_t>(gxhspans(stored_frame::drawing)[0].count));
  gxhend();
}
BENCHMARK(BM_PrintFrame)->Unit(benchmark::kMillisecond);

}  // namespace
