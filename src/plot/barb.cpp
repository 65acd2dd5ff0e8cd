// The wind barb: a shaft pointing upwind with pennants for each 50, full
// feathers for each 10 and a half feather for 5 units of speed.
#include <cmath>

#include "gx/gx.h"
#include "plot/plotvec.h"

namespace {

// Pennants drawn at most; a faster wind gets this many and no feathers, so
// an absurd speed can neither loop without end nor paint the page.
constexpr int kMaxPennants = 20;

struct barb_counts {
  int fifties = 0, tens = 0;
  bool half = false;
};

barb_counts count(float speed) {
  barb_counts n;
  double rest = speed;
  while (rest >= 47.5 && n.fifties < kMaxPennants) {
    rest -= 50;
    n.fifties++;
  }
  if (rest >= 47.5) return n;
  while (rest >= 7.5) {
    rest -= 10;
    n.tens++;
  }
  n.half = rest >= 2.5;
  return n;
}

}  // namespace

void kabarb(float x, float y, float shaft, float barb, float radius, float direction, float speed,
            int hemisphere) {
  const float d = direction + 3.14159f;
  const float s = 0.3f * barb;
  if (speed < 0.01f) {
    gxmark(2, x, y, std::fmax(2 * radius * 1.4f, 2 * radius + s));
    return;
  }
  const barb_counts n = count(speed);
  const float extra = (speed < 2.5f ? s : 0.0f) + 1.6f * s * float(n.fifties) + s * float(n.tens) +
                      (n.half ? s : 0.0f);
  const float len = shaft + extra;
  // The shaft points back along the direction, worked from the direction
  // itself: a shaft along a page axis then lies exactly on it, so that one on
  // the edge of the plot area (a pole of a map drawn as a point) is not
  // clipped away by the rounding of the turned angle.
  const float cd = -std::cos(direction), sd = -std::sin(direction);
  auto sx = [&](float r) { return x + r * cd; };
  auto sy = [&](float r) { return y + r * sd; };
  gxmove(sx(radius), sy(radius));
  gxdraw(sx(len), sy(len));
  const float fa = hemisphere == 1 ? d + 1.2217294f : d - 1.2217294f;
  const float fx = std::cos(fa), fy = std::sin(fa);
  float p = len;
  for (int k = 0; k < n.fifties; k++) {
    gxmove(sx(p), sy(p));
    gxdraw(sx(p) + barb * fx, sy(p) + barb * fy);
    gxdraw(sx(p - 1.45f * s), sy(p - 1.45f * s));
    p -= 1.6f * s;
  }
  if (n.fifties > 0 && n.tens > 0) p -= 0.7f * s;
  for (int k = 0; k < n.tens; k++) {
    gxmove(sx(p), sy(p));
    gxdraw(sx(p) + barb * fx, sy(p) + barb * fy);
    p -= s;
  }
  if (n.half) {
    if (n.tens == 0) p -= s;
    gxmove(sx(p), sy(p));
    gxdraw(sx(p) + 0.5f * barb * fx, sy(p) + 0.5f * barb * fy);
  }
}
