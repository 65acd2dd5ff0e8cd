// Contour tracing: finds and follows the lines of one level through a grid
// and hands each line, in grid coordinates, to the line drawer (gxcspl).

#include "gx/contour.h"
#include "base/message.h"
#include "base/alloc.h"
#include "base/session.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

namespace {

// The tracer's work buffers, kept from one level to the next (they only
// grow) until gxcrel releases them.
struct contour_work {
  std::vector<uint16_t> flags;  // edge flags: the H plane, then the V plane
  std::vector<float> points;    // (x, y) pairs of the line being traced
};

contour_work work;

// What one gxclev call traces with; it lives for that call.
struct contour_tracer {
  const float* rr;          // grid being contoured
  int iss;                  // row length
  int iww, jww;             // flag plane dimensions (one spare row/column on each side)
  float vv;                 // level being traced
  uint16_t* lwk;            // work.flags
  float* fwk;               // work.points
  int fwksiz;               // entries of fwk
  int fwkmid;               // where each line starts; its two halves grow away from here
  float* xystrt = nullptr;  // first pair of the line just traced
  float* xyend = nullptr;   // last pair

  float val(int i, int j) const { return rr[(j - 1) * iss + (i - 1)]; }
  uint16_t& hflg(int i, int j) { return lwk[iww * j + i]; }
  uint16_t& vflg(int i, int j) { return lwk[iww * jww + iww * j + i]; }
  bool crossed(float a, float b, float undef) const;
  int pathln(float p1, float p2, float p3, float p4) const;
  uint16_t& side_flag(int i, int j, int side);
  void gxcflw(int i, int j, int side, int step);
};

float dist(float x1, float y1, float x2, float y2) {
  return std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1));
}

bool contour_tracer::crossed(float a, float b, float undef) const {
  if (a == undef || b == undef) return false;
  return (a <= vv && b > vv) || (a > vv && b <= vv);
}

// Saddle decision: 1 pairs bottom with right and left with top, 0 pairs
// bottom with left and right with top. Arguments LL, LR, UR, UL.
int contour_tracer::pathln(float p1, float p2, float p3, float p4) const {
  float a = (vv - p1) / (p2 - p1);
  float b = (vv - p2) / (p3 - p2);
  float c = (vv - p4) / (p3 - p4);
  float d = (vv - p1) / (p4 - p1);
  // B = (a,0) R = (1,b) T = (c,1) L = (0,d)
  float p = dist(a, 0.0f, 1.0f, b) + dist(0.0f, d, c, 1.0f);
  float q = dist(a, 0.0f, 0.0f, d) + dist(1.0f, b, c, 1.0f);
  return (q < p) ? 0 : 1;
}

// Sides of a cell: 1 bottom, 2 right, 3 top, 4 left.
uint16_t& contour_tracer::side_flag(int i, int j, int side) {
  switch (side) {
    case 1: return hflg(i, j);
    case 2: return vflg(i + 1, j);
    case 3: return hflg(i, j + 1);
    default: return vflg(i, j);
  }
}

// Follows one line from side `side` of cell (i, j); step +2 stores upward
// (forward half), -2 downward (backward half).
void contour_tracer::gxcflw(int i, int j, int side, int step) {
  const int ci0 = i, cj0 = j;
  int ci = i, cj = j;
  int pos = fwkmid;
  bool cut = false;
  for (;;) {
    float x, y;
    switch (side) {
      case 1:
        x = static_cast<float>(ci) + (vv - val(ci, cj)) / (val(ci + 1, cj) - val(ci, cj));
        y = static_cast<float>(cj);
        break;
      case 2:
        x = static_cast<float>(ci + 1);
        y = static_cast<float>(cj) +
            (vv - val(ci + 1, cj)) / (val(ci + 1, cj + 1) - val(ci + 1, cj));
        break;
      case 3:
        x = static_cast<float>(ci) +
            (vv - val(ci, cj + 1)) / (val(ci + 1, cj + 1) - val(ci, cj + 1));
        y = static_cast<float>(cj + 1);
        break;
      default:
        x = static_cast<float>(ci);
        y = static_cast<float>(cj) + (vv - val(ci, cj)) / (val(ci, cj + 1) - val(ci, cj));
        break;
    }
    fwk[pos] = x;
    fwk[pos + 1] = y;
    uint16_t& f = side_flag(ci, cj, side);
    f = 0;
    pos += step;
    if (pos < 4 || pos > fwksiz - 4) {
      // Buffer full: keep this crossing flagged so that the rest of the
      // line, traced later, starts exactly where this piece ends.
      f = 1;
      cut = true;
      break;
    }
    // Move into the neighbouring cell; dir: 0 up, 1 down, 2 right, 3 left.
    int dir;
    switch (side) {
      case 1:
        cj -= 1;
        dir = 1;
        break;
      case 2:
        ci += 1;
        dir = 2;
        break;
      case 3:
        cj += 1;
        dir = 0;
        break;
      default:
        ci -= 1;
        dir = 3;
        break;
    }
    static const int order[4][3] = {
        {2, 3, 4},  // up: right side, top, left side
        {4, 1, 2},  // down: left side, bottom, right side
        {1, 2, 3},  // right: bottom, right side, top
        {3, 4, 1},  // left: top, left side, bottom
    };
    static const int entry[4] = {1, 3, 4, 2};
    const int* o = order[dir];
    bool f0 = side_flag(ci, cj, o[0]) != 0;
    bool f1 = side_flag(ci, cj, o[1]) != 0;
    bool f2 = side_flag(ci, cj, o[2]) != 0;
    if (f0 && f1 && f2) {
      int p = pathln(val(ci, cj), val(ci + 1, cj), val(ci + 1, cj + 1), val(ci, cj + 1));
      int in = entry[dir];
      // pairs: p==1: 1<->2, 4<->3; p==0: 1<->4, 2<->3
      static const int pair1[5] = {0, 2, 1, 4, 3};
      static const int pair0[5] = {0, 4, 3, 2, 1};
      side = p ? pair1[in] : pair0[in];
    } else if (f0) {
      side = o[0];
    } else if (f1) {
      side = o[1];
    } else if (f2) {
      side = o[2];
    } else {
      break;
    }
  }
  if (!cut && ci == ci0 && cj == cj0) {
    // Closed on itself: repeat the first point.
    fwk[pos] = fwk[fwkmid];
    fwk[pos + 1] = fwk[fwkmid + 1];
    pos += step;
  }
  if (step > 0)
    xyend = fwk + (pos - 2);
  else
    xystrt = fwk + (pos + 2);
}

}  // namespace

void gxcrel() {
  std::vector<uint16_t>().swap(work.flags);
  std::vector<float>().swap(work.points);
}

contour_work_size gxcwsz() {
  return {static_cast<int>(work.flags.size()), static_cast<int>(work.points.size())};
}

void gxclev(const float* values, int isiz, int jsiz, int ib, int ie, int jb, int je, float level,
            const char* label, bool smooth, contour_labels labels, float undef) {
  // Copy the label, never more than the drawer keeps.
  char clabel[12];
  std::snprintf(clabel, sizeof clabel, "%s", label ? label : "");
  if (!values || isiz < 2 || jsiz < 2) return;
  if (ib < 1) ib = 1;
  if (jb < 1) jb = 1;
  if (ie > isiz) ie = isiz;
  if (je > jsiz) je = jsiz;
  if (ie <= ib || je <= jb) return;

  const int iww = isiz + 2, jww = jsiz + 2;
  const long long need = 2LL * iww * jww;
  if (need > static_cast<long long>(work.flags.size())) {
    gxcrel();
    if (need > 0x7fffffffLL) {
      kaprntout("Error in GXCLEV: Unable to allocate storage \n");
      return;
    }
    try {
      work.flags.resize(static_cast<std::size_t>(need));
      work.points.resize(static_cast<std::size_t>(need / 2));
    } catch (const std::bad_alloc&) {
      gxcrel();
      throw alloc_error("Error in GXCLEV: Unable to allocate storage \n");
    }
  }
  std::fill(work.flags.begin(), work.flags.end(), uint16_t{0});

  const int fwksiz = static_cast<int>(work.points.size());
  contour_tracer t{values, isiz,      iww, jww, level, work.flags.data(), work.points.data(),
                   fwksiz, fwksiz / 2};
  traced_line line{nullptr, nullptr, clabel, smooth, labels};

  // Flag every crossed edge of the range.
  for (int j = jb; j < je; ++j) {
    const float* p = values + (j - 1) * isiz + (ib - 1);
    const float* pu = p + isiz;
    uint16_t* h = &t.hflg(ib, j);
    uint16_t* v = &t.vflg(ib, j);
    for (int i = ib; i < ie; ++i, ++p, ++pu, ++h, ++v) {
      if (t.crossed(p[0], p[1], undef)) *h = 1;
      if (t.crossed(p[0], pu[0], undef)) *v = 1;
    }
    if (t.crossed(p[0], pu[0], undef)) *v = 1;
  }
  {
    const float* p = values + (je - 1) * isiz + (ib - 1);
    uint16_t* h = &t.hflg(ib, je);
    for (int i = ib; i < ie; ++i, ++p, ++h)
      if (t.crossed(p[0], p[1], undef)) *h = 1;
  }

  // Start a line at every edge still flagged; an interrupt ends the level.
  auto draw = [&] {
    line.first = t.xystrt;
    line.last = t.xyend;
    gxcspl(line);
  };
  auto from_bottom = [&](int i, int j) {
    t.gxcflw(i, j, 1, 2);
    t.gxcflw(i, j - 1, 3, -2);
    draw();
  };
  auto from_left = [&](int i, int j) {
    t.gxcflw(i, j, 4, 2);
    t.gxcflw(i - 1, j, 2, -2);
    draw();
  };
  for (int j = jb; j < je; ++j) {
    if (kaqsig()) return;
    for (int i = ib; i < ie; ++i) {
      if (t.hflg(i, j)) from_bottom(i, j);
      if (t.vflg(i, j)) from_left(i, j);
    }
  }
  // Edges of the last row and column start no line above: the lines through
  // them have cleared them by now, all but one that crosses no other edge
  // (the top and right sides of the top-right cell), which starts here.
  if (kaqsig()) return;
  for (int i = ib; i < ie; ++i)
    if (t.hflg(i, je)) from_bottom(i, je);
  for (int j = jb; j < je; ++j)
    if (t.vflg(ie, j)) from_left(ie, j);
}
