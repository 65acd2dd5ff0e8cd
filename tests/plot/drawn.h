// What the plot tests draw: the current frame of the display list read back
// as colour changes, pen moves and draws, and filled polygons.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "gx/gx.h"
#include "gx/metafile.h"

namespace drawn {

struct op {
  char kind;  // 'c' colour, 'm' move, 'd' draw, 'p' polygon, 'r' filled rectangle
  float x = 0, y = 0;  // colour number in x; polygon: first point; rect: xlo, ylo
  int n = 0;           // polygon points
  int colour = -1;     // colour in force when drawn
};

// A fresh 11 by 8.5 page in batch mode.
inline void new_page() {
  gxhlimits(0, 0);
  gxstrt(11, 8.5f, 1);
  gxfrme(frame_action::clear);
}

inline std::vector<op> frame() {
  struct sink : metafile_sink {
    std::vector<op> ops;
    int now = -1;
    void colour(int c) override {
      now = c;
      ops.push_back({'c', float(c), 0, 0, c});
    }
    void move(float x, float y) override { ops.push_back({'m', x, y, 0, now}); }
    void draw(float x, float y) override { ops.push_back({'d', x, y, 0, now}); }
    void polygon(const float* xy, int n) override { ops.push_back({'p', xy[0], xy[1], n, now}); }
    void rect(float xlo, float, float ylo, float) override { ops.push_back({'r', xlo, ylo, 0, now}); }
  } s;
  gxhwalk(0, s);
  return s.ops;
}

// Only the kinds named.
inline std::vector<op> only(const std::vector<op>& ops, const std::string& kinds) {
  std::vector<op> out;
  for (const op& o : ops)
    if (kinds.find(o.kind) != std::string::npos) out.push_back(o);
  return out;
}

// Only what was drawn in colour c.
inline std::vector<op> in_colour(const std::vector<op>& ops, int c) {
  std::vector<op> out;
  for (const op& o : ops)
    if (o.kind != 'c' && o.colour == c) out.push_back(o);
  return out;
}

// Stored coordinates are thousandths of an inch.
inline bool near(const op& o, char kind, float x, float y) {
  return o.kind == kind && std::fabs(o.x - x) < 0.0015f && std::fabs(o.y - y) < 0.0015f;
}

}  // namespace drawn
