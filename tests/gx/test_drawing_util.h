// Shared helpers of the drawing and display-list tests.
#pragma once

#include <cstdint>
#include <vector>

#include "gx/gx.h"
#include "gx/metafile.h"

namespace gxtest {

// The words of a frame of the display list, all buffers joined.
inline std::vector<int> frame_words(int which = 0) {
  std::vector<int> out;
  for (const metafile_span& s : gxhspans(which))
    for (std::size_t i = 0; i < s.count; i++) out.push_back(s.words[i]);
  return out;
}

// A fresh batch session on an 11 x 8.5 page with an empty frame.
inline void fresh_page(float w = 11, float h = 8.5) {
  gxhlimits(0, 0);
  gxstrt(w, h, 1);
  gxfrme(1);
}

}  // namespace gxtest
