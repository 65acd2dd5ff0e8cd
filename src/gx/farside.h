// Drawing on a map that shows one side of the globe only (the orthographic
// disc): points of the far side are left out, and lines and areas that reach
// it end on the edge of the disc. Seen from the page the far side lies under
// the near one, so drawing it would put it in the wrong place. On every other
// map, and wherever all lies on the near side, these draw exactly what the
// plain conversions would.
#pragma once

#include <vector>

#include "gx/gx.h"

// Whether a point given at level (grid or world) lies on the side shown.
bool gxseen(float x, float y, coord_level level);

// Whether a polyline given at level lies on the side shown as one piece.
bool gxseen_all(const float* xy, int n, coord_level level);

// The pieces of a polyline given at level on the side shown, in page inches,
// each ended where the line crosses the edge.
std::vector<std::vector<float>> gxseen_lines(const float* xy, int n, coord_level level);

// Fills a polygon given at level with the current colour (xy is converted in
// place). Of one that reaches the far side only the part shown is filled,
// its cut following the edge of the disc.
void gxseen_fill(float* xy, int n, coord_level level);

// A pen that moves and draws through the coordinate chain from a level,
// lifted over the far side: a line that leaves the side shown is drawn to the
// edge, one that comes back starts there. Dashed pens keep the line style's
// dash rhythm (gxplot); plain ones draw solid (gxmove, gxdraw).
class seen_pen {
 public:
  seen_pen(coord_level level, bool dashed);
  void move(float x, float y);
  void draw(float x, float y);

 private:
  void put(float x, float y, coord_level level, pen_code pen) const;

  coord_level level_;
  bool dashed_;
  bool half_;
  float middle_ = 0.0f;
  float x_ = 0.0f, y_ = 0.0f;  // the last point, at level
  bool down_ = false;          // the drawing layer's pen stands on it
};
