// Line segments read back from a hardcopy (display-list) file, frame by
// frame, for tests that check what a plot put on the page.
#pragma once

#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "support/vemra_run.h"

namespace hardcopy {

// One drawn line, page inches.
struct segment {
  double x, y, x2, y2;
  int colour = 1;
  double angle() const { return std::atan2(y2 - y, x2 - x) * 180 / 3.14159265358979; }
  double length() const { return std::hypot(x2 - x, y2 - y); }
};

// The drawn lines of each printed frame (a new frame begins at each frame
// record); fills and rectangles are skipped.
inline std::vector<std::vector<segment>> frames_of(const std::string& bytes) {
  using vemra_test::be16;
  std::vector<std::vector<segment>> frames(1);
  static const int words[] = {0, 3, 1, 2, 3, 5, 5, 2, 1, 1, 3, 3, 4};  // record size by -code
  double px = 0, py = 0;
  bool in_polygon = false;
  int colour = 1;
  for (size_t i = 0; i + 1 < bytes.size();) {
    const int code = -be16(bytes, i);
    if (code < 1 || code > 12) break;
    if (code == 2) frames.emplace_back();
    if (code == 3) colour = be16(bytes, i + 2);
    if (code == 7) in_polygon = true;
    if (code == 8) in_polygon = false;
    if (code == 10 || code == 11) {
      const double x = be16(bytes, i + 2) / 1000.0, y = be16(bytes, i + 4) / 1000.0;
      if (code == 11 && !in_polygon) frames.back().push_back({px, py, x, y, colour});
      px = x, py = y;
    }
    i += 2 * size_t(words[code]);
  }
  return frames;
}

// Polygons and rectangles filled in each colour, frame by frame.
inline std::vector<std::map<int, int>> fills_of(const std::string& bytes) {
  std::vector<std::map<int, int>> frames(1);
  static const int words[] = {0, 3, 1, 2, 3, 5, 5, 2, 1, 1, 3, 3, 4};
  int colour = 1;
  for (size_t i = 0; i + 1 < bytes.size();) {
    const int code = -vemra_test::be16(bytes, i);
    if (code < 1 || code > 12) break;
    if (code == 2) frames.emplace_back();
    if (code == 3) colour = vemra_test::be16(bytes, i + 2);
    if (code == 6 || code == 7) frames.back()[colour]++;
    i += 2 * size_t(words[code]);
  }
  return frames;
}

}  // namespace hardcopy
