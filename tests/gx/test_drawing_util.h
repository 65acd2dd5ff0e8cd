// Shared helpers of the drawing and display-list tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "gx/gx.h"
#include "gx/metafile.h"

namespace gxtest {

// The words of a frame of the display list, all buffers joined.
inline std::vector<int> frame_words(stored_frame which = stored_frame::drawing) {
  std::vector<int> out;
  for (const metafile_span& s : gxhspans(which))
    for (std::size_t i = 0; i < s.count; i++) out.push_back(s.words[i]);
  return out;
}

// A fresh batch session on an 11 x 8.5 page with an empty frame.
inline void fresh_page(float w = 11, float h = 8.5) {
  gxhlimits(0, 0);
  gxstrt(w, h, true);
  gxfrme(frame_action::clear);
}

// One record of a frame as the walker hands it on: c colour (i), w width
// (i hardcopy, j device), k colour definition (i), r rectangle (x, y the
// low corner), p polygon (i points, x, y the last), m move, d draw, t pattern (i).
struct rec {
  char kind;
  float x, y;
  int i, j;
};

// The records of a frame, only the kinds asked for.
inline std::vector<rec> records(const std::string& kinds = "cwkrpmdt",
                                stored_frame which = stored_frame::drawing) {
  struct collect : metafile_sink {
    std::vector<rec> r;
    void colour(int c) override { r.push_back({'c', 0, 0, c, 0}); }
    void width(int h, int d) override { r.push_back({'w', 0, 0, h, d}); }
    void define_colour(int n, int, int, int) override { r.push_back({'k', 0, 0, n, 0}); }
    void rect(float xlo, float, float ylo, float) override { r.push_back({'r', xlo, ylo, 0, 0}); }
    void polygon(const float* xy, int n) override {
      r.push_back({'p', n ? xy[2 * n - 2] : 0, n ? xy[2 * n - 1] : 0, n, 0});
    }
    void move(float x, float y) override { r.push_back({'m', x, y, 0, 0}); }
    void draw(float x, float y) override { r.push_back({'d', x, y, 0, 0}); }
    void pattern(int t, int, int) override { r.push_back({'t', 0, 0, t, 0}); }
  } c;
  EXPECT_EQ(gxhwalk(which, c), 0);
  std::vector<rec> out;
  for (const rec& r : c.r)
    if (kinds.find(r.kind) != std::string::npos) out.push_back(r);
  return out;
}

inline int count_kind(const std::vector<rec>& r, char kind) {
  int n = 0;
  for (const rec& x : r) n += x.kind == kind;
  return n;
}

}  // namespace gxtest
