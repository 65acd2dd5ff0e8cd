// Shading: fills the areas of a grid above each of a list of levels. The grid
// is worked in strips three cells high; in each strip closed polygons are
// built from contour crossings, pieces of the strip outline and the borders
// of undefined data. Polygons enclosing lower values (holes) wait on a stack
// and are painted in the colour of the level below once the strip is done.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "gx/contour.h"
#include "base/message.h"
#include "gx/farside.h"
#include "gx/gx.h"
#include "gx/proj.h"
#include "base/session.h"

namespace {

// Edge flags.
constexpr uint8_t F_NONE = 0;
constexpr uint8_t F_USED = 1;
constexpr uint8_t F_BUSED = 7;   // undefined-border edge walked or crossed
constexpr uint8_t F_BORDER = 8;  // undefined-border edge not yet used
constexpr uint8_t F_UNDEF = 9;   // inside undefined data

struct shade_polygon {
  int colour;
  std::vector<float> xy;
};

struct walker;

// One gxshad call: the grid, the strip and level being worked and the
// polygons built for them. It lives for that call; its buffers go with it.
struct shade_run {
  const float* gr;                     // grid, i fastest
  int imax, jmax;                      // its size
  float undef;                         // its undefined value
  int imn = 1, imx = 1;                // strip being worked: grid points imn..imx,
  int jmn = 1, jmx = 1;                //   jmn..jmx (inclusive)
  float val = 0.0f;                    // level being shaded
  int color = 0;                       // its colour
  int prvclr = 0;                      // colour of the level below, painted into holes
  std::vector<uint8_t> flgh{};         // flags of the edges east of each point
  std::vector<uint8_t> flgv{};         //   and north of it
  std::vector<float> xybuf{};          // (x, y) pairs of the polygon being built
  std::size_t xymax = 0;               // points a polygon of one strip can have
  bool bndflg = false;                 // the polygon went along the strip outline or a border
  std::vector<shade_polygon> xystk{};  // holes waiting for the end of the strip

  float v(int i, int j) const { return gr[static_cast<std::size_t>(j - 1) * imax + (i - 1)]; }
  uint8_t& fh(int i, int j) { return flgh[static_cast<std::size_t>(j - 1) * imax + (i - 1)]; }
  uint8_t& fv(int i, int j) { return flgv[static_cast<std::size_t>(j - 1) * imax + (i - 1)]; }
  bool above(float x) const { return x > val; }
  bool cut(float a, float b) const { return (a <= val) != (b <= val); }
  bool in_strip(int i, int j) const { return i >= imn && i <= imx && j >= jmn && j <= jmx; }
  bool cell_in_strip(int i, int j) const {
    return i >= imn && i <= imx - 1 && j >= jmn && j <= jmx - 1;
  }
  bool cell_defined(int i, int j) const {
    return i >= 1 && i < imax && j >= 1 && j < jmax && v(i, j) != undef && v(i + 1, j) != undef &&
           v(i + 1, j + 1) != undef && v(i, j + 1) != undef;
  }

  int putxy(float x, float y);
  void shdcmp();
  int shdmax() const;
  int spathl(float p1, float p2, float p3, float p4) const;
  int undcol(int i, int j) const;
  uint8_t* edge_at(int i, int j, int d);
  int outline_side(int i, int j, int d) const;
  bool add_walk_point(walker& w, int i, int j);
  void cross_from_outline(walker& w, int i, int j, int d, int side) const;
  bool step_cross(walker& w);
  bool step_outline(walker& w);
  bool step_border(walker& w);
  int gxsflw(int i, int j, int code);
  int shade_level();
  void shade(const float* levels, const int* colours, int count);
};

// Appends a point; 1 when the polygon cannot grow any further.
int shade_run::putxy(float x, float y) {
  if (xybuf.size() / 2 >= xymax) return 1;
  xybuf.push_back(x);
  xybuf.push_back(y);
  return 0;
}

// Removes each point equal to the point kept before it.
void shade_run::shdcmp() {
  std::size_t n = xybuf.size() / 2;
  if (n < 2) return;
  std::size_t k = 1;
  for (std::size_t p = 1; p < n; ++p) {
    if (xybuf[2 * p] == xybuf[2 * (k - 1)] && xybuf[2 * p + 1] == xybuf[2 * (k - 1) + 1]) continue;
    xybuf[2 * k] = xybuf[2 * p];
    xybuf[2 * k + 1] = xybuf[2 * p + 1];
    ++k;
  }
  xybuf.resize(2 * k);
}

// 1 when the polygon just built encloses values above the level (fill it
// now), 0 when it encloses lower values (a hole).
int shade_run::shdmax() const {
  std::size_t n = xybuf.size() / 2;
  bool found = false;
  float bx = 0.0f, by = 0.0f;
  for (std::size_t p = 0; p < n; ++p) {
    float x = xybuf[2 * p], y = xybuf[2 * p + 1];
    if (y != static_cast<float>(static_cast<int>(y))) continue;
    if (!found || x < bx) {
      bx = x;
      by = y;
      found = true;
    }
  }
  if (!found) return 1;
  int i = static_cast<int>(bx) + 1, j = static_cast<int>(by);
  if (i < 1 || i > imax || j < 1 || j > jmax) return 1;
  return above(v(i, j)) ? 1 : 0;
}

void fill_points(const float* xy, std::size_t n, int colour) {
  std::vector<float> page(xy, xy + 2 * n);
  gxcolr(colour);
  gxseen_fill(page.data(), static_cast<int>(n), coord_level::grid);
}

// Saddle decision for the shade level (arguments LL, LR, UR, UL): 1 pairs
// bottom with right and left with top, 0 bottom with left and right with top.
int shade_run::spathl(float p1, float p2, float p3, float p4) const {
  float a = (val - p1) / (p2 - p1);
  float b = (val - p2) / (p3 - p2);
  float c = (val - p4) / (p3 - p4);
  float d = (val - p1) / (p4 - p1);
  auto len = [](float x1, float y1, float x2, float y2) {
    return static_cast<float>(std::sqrt((x2 - x1) * (x2 - x1) + (y2 - y1) * (y2 - y1)));
  };
  float p = len(a, 0.0f, 1.0f, b) + len(0.0f, d, c, 1.0f);
  float q = len(a, 0.0f, 0.0f, d) + len(1.0f, b, c, 1.0f);
  return (p <= q) ? 1 : 0;
}

// Way past a grid point where two cells with undefined corners touch
// diagonally: 1 when the south-west and north-east neighbours are undefined,
// 2 when the south-east and north-west ones are, 9 on failure.
int shade_run::undcol(int i, int j) const {
  if (i < 2 || i > imax - 1 || j < 2 || j > jmax - 1) {
    kaprntout("Logic error 32 in gxshad\n");
    return 9;
  }
  bool sw = v(i - 1, j - 1) == undef, se = v(i + 1, j - 1) == undef;
  bool ne = v(i + 1, j + 1) == undef, nw = v(i - 1, j + 1) == undef;
  if (sw && ne && !se && !nw) return 1;
  if (se && nw && !sw && !ne) return 2;
  kaprntout("Logic error 36 in gxshad\n");
  return 9;
}

// Directions of travel.
enum dirn { EAST = 0, NORTH = 1, WEST = 2, SOUTH = 3 };
constexpr int DX[4] = {1, 0, -1, 0};
constexpr int DY[4] = {0, 1, 0, -1};
inline int reverse(int d) { return (d + 2) & 3; }

// Flag of the edge from grid point (i, j) one step in direction d; null when
// that edge leaves the strip.
uint8_t* shade_run::edge_at(int i, int j, int d) {
  int qi = i + DX[d], qj = j + DY[d];
  if (!in_strip(i, j) || !in_strip(qi, qj)) return nullptr;
  switch (d) {
    case EAST: return &fh(i, j);
    case WEST: return &fh(qi, qj);
    case NORTH: return &fv(i, j);
    default: return &fv(qi, qj);
  }
}

// Outline side an edge from (i, j) in direction d lies on: 0 bottom, 1 top,
// 2 left, 3 right, -1 interior.
int shade_run::outline_side(int i, int j, int d) const {
  int qi = i + DX[d];
  if (DY[d] == 0) {
    if (j == jmn) return 0;
    if (j == jmx) return 1;
  } else {
    if (i == imn && qi == imn) return 2;
    if (i == imx && qi == imx) return 3;
  }
  return -1;
}

// Sense of an outline walk: +1 counter-clockwise (east along the bottom), -1
// clockwise (east along the top).
int outline_sense(int side, int d) {
  switch (side) {
    case 0: return d == EAST ? 1 : -1;
    case 1: return d == EAST ? -1 : 1;
    case 2: return d == NORTH ? -1 : 1;
    default: return d == NORTH ? 1 : -1;
  }
}

enum walk_state { ST_CROSS, ST_OUTLINE, ST_BORDER, ST_FINISH, ST_FAIL };

struct walker {
  walk_state st = ST_FINISH;
  int side = 0;        // crossing state 1..4 (bottom, right, top, left of the cell)
  int ci = 0, cj = 0;  // cell of a crossing state, point of a walk
  int code = 0;        // entry code
  bool ab = false;     // arrived along an undefined border
  int d = EAST;        // direction of travel of a walk
  int sense = 1;       // outline sense
  bool outside = false;
  bool closes_at_start = false;
  int si = 0, sj = 0;  // starting point of codes 5..10
};

// Adds a grid point reached by an outline or border walk; false when the
// polygon cannot grow.
bool shade_run::add_walk_point(walker& w, int i, int j) {
  bndflg = true;
  if (putxy(static_cast<float>(i), static_cast<float>(j))) return false;
  if (w.closes_at_start && i == w.si && j == w.sj) w.st = ST_FINISH;
  return true;
}

void enter_cross(walker& w, int side, int i, int j, bool ab) {
  w.st = ST_CROSS;
  w.side = side;
  w.ci = i;
  w.cj = j;
  w.ab = ab;
}

// The crossing state for the strip cell beside an outline edge walked from
// (i, j) in direction d.
void shade_run::cross_from_outline(walker& w, int i, int j, int d, int side) const {
  int lo_i = DX[d] < 0 ? i - 1 : i, lo_j = DY[d] < 0 ? j - 1 : j;
  switch (side) {
    case 0: enter_cross(w, 1, lo_i, jmn, false); break;
    case 1: enter_cross(w, 3, lo_i, jmx - 1, false); break;
    case 2: enter_cross(w, 4, imn, lo_j, false); break;
    default: enter_cross(w, 2, imx - 1, lo_j, false); break;
  }
}

bool shade_run::step_cross(walker& w) {
  int i = w.ci, j = w.cj;
  float x, y;
  uint8_t* f;
  bool beyond_out;
  // Allowed cells of each crossing state.
  bool ok;
  switch (w.side) {
    case 1: ok = i >= imn && i <= imx - 1 && j >= jmn && j <= jmx; break;
    case 2: ok = i >= imn - 1 && i <= imx - 1 && j >= jmn && j <= jmx - 1; break;
    case 3: ok = i >= imn && i <= imx - 1 && j >= jmn - 1 && j <= jmx - 1; break;
    default: ok = i >= 1 && i <= imax && j >= 1 && j <= jmax - 1; break;
  }
  // A left-side crossing is also bounded by the strip and the last column.
  if (w.side == 4 && (i > imx || j < jmn || j > jmx - 1)) ok = false;
  if (!ok) {
    kaprntout("logic error 12 in gxshad\n");
    kaprntout("  side%d, %i %i \n", w.side, i, j);
    if (w.side == 4) kaprntout(" imax, jmax = %i %i \n", imax, jmax);
    return false;
  }
  // Edge ends a (lower index) and b.
  int ai, aj, bi, bj;
  switch (w.side) {
    case 1:
      ai = i;
      aj = j;
      bi = i + 1;
      bj = j;
      f = &fh(i, j);
      break;
    case 2:
      ai = i + 1;
      aj = j;
      bi = i + 1;
      bj = j + 1;
      f = &fv(i + 1, j);
      break;
    case 3:
      ai = i;
      aj = j + 1;
      bi = i + 1;
      bj = j + 1;
      f = &fh(i, j + 1);
      break;
    default:
      ai = i;
      aj = j;
      bi = i;
      bj = j + 1;
      f = &fv(i, j);
      break;
  }
  float va = v(ai, aj), vb = v(bi, bj);
  float fr = (val - va) / (vb - va);
  if (aj == bj) {
    x = static_cast<float>(ai) + fr;
    y = static_cast<float>(aj);
  } else {
    x = static_cast<float>(ai);
    y = static_cast<float>(aj) + fr;
  }
  if (putxy(x, y)) return false;

  if (*f == F_USED || *f == F_BUSED) {
    w.st = ST_FINISH;
    return true;
  }
  if (!w.ab && *f == F_UNDEF) {
    kaprntout("Logic error 4 in gxshad: %i %i\n", i, j);
    if (w.side > 1) kaprntout("Side %d, entered %i \n", w.side, w.code);
    return false;
  }
  // Direction from the lower end to the upper end along the edge.
  int along = (aj == bj) ? EAST : NORTH;
  bool a_above = above(va);
  if (*f == F_BORDER && !w.ab) {
    *f = F_BUSED;
    int ei = a_above ? ai : bi, ej = a_above ? aj : bj;
    w.d = a_above ? reverse(along) : along;
    w.st = ST_BORDER;
    w.outside = false;
    if (!add_walk_point(w, ei, ej)) return false;
    w.ci = ei;
    w.cj = ej;
    return true;
  }
  *f = (*f == F_BORDER) ? F_BUSED : F_USED;

  switch (w.side) {
    case 1: beyond_out = j > jmx - 1; break;
    case 2: beyond_out = i < imn; break;
    case 3: beyond_out = j < jmn; break;
    default: beyond_out = i > imx - 1; break;
  }
  if (beyond_out) {
    int ei = a_above ? ai : bi, ej = a_above ? aj : bj;
    int d = a_above ? reverse(along) : along;
    int side = (w.side == 1) ? 1 : (w.side == 3) ? 0 : (w.side == 2) ? 2 : 3;
    w.st = ST_OUTLINE;
    w.d = d;
    w.sense = outline_sense(side, d);
    if (!add_walk_point(w, ei, ej)) return false;
    w.ci = ei;
    w.cj = ej;
    return true;
  }

  // Leave the cell by the first crossed side: right turn, straight, left.
  float ll = v(i, j), lr = v(i + 1, j), ur = v(i + 1, j + 1), ul = v(i, j + 1);
  bool c[5] = {false, cut(ll, lr), cut(lr, ur), cut(ul, ur), cut(ll, ul)};
  static const int order[5][3] = {
      {0, 0, 0}, {2, 3, 4},  // entered bottom (moving up)
      {3, 4, 1},             // entered right (moving left)
      {4, 1, 2},             // entered top (moving down)
      {1, 2, 3},             // entered left (moving right)
  };
  const int* o = order[w.side];
  int out = 0;
  if (c[o[0]] && c[o[1]] && c[o[2]]) {
    static const int pair1[5] = {0, 2, 1, 4, 3};
    static const int pair0[5] = {0, 4, 3, 2, 1};
    out = spathl(ll, lr, ur, ul) ? pair1[w.side] : pair0[w.side];
  } else if (c[o[0]]) {
    out = o[0];
  } else if (c[o[1]]) {
    out = o[1];
  } else if (c[o[2]]) {
    out = o[2];
  } else {
    kaprntout("Logic error 8 in gxshad\n");
    return false;
  }
  switch (out) {
    case 1: enter_cross(w, 3, i, j - 1, false); break;
    case 2: enter_cross(w, 4, i + 1, j, false); break;
    case 3: enter_cross(w, 1, i, j + 1, false); break;
    default: enter_cross(w, 2, i - 1, j, false); break;
  }
  return true;
}

bool shade_run::step_outline(walker& w) {
  int i = w.ci, j = w.cj;
  int d = w.d;
  if (!in_strip(i + DX[d], j + DY[d])) {
    d = (w.sense > 0) ? (d + 1) & 3 : (d + 3) & 3;
    w.d = d;
  }
  int side = outline_side(i, j, d);
  uint8_t* f = edge_at(i, j, d);
  if (!f || side < 0) {
    kaprntout("Logic error 20 in gxshad\n");
    return false;
  }
  if (*f == F_BUSED || *f == F_BORDER || *f == F_UNDEF) {
    static const int inward[4] = {NORTH, SOUTH, EAST, WEST};
    w.st = ST_BORDER;
    w.d = inward[side];
    w.outside = true;
    return true;
  }
  int qi = i + DX[d], qj = j + DY[d];
  if (!above(v(qi, qj))) {
    cross_from_outline(w, i, j, d, side);
    return true;
  }
  *f = F_USED;
  w.ci = qi;
  w.cj = qj;
  return add_walk_point(w, qi, qj);
}

bool shade_run::step_border(walker& w) {
  int i = w.ci, j = w.cj;
  if (!in_strip(i, j)) {
    kaprntout("Logic error 16 in gxshad\n");
    return false;
  }
  bool on_outline = j == jmn || j == jmx || i == imn || i == imx;
  if (!w.outside && on_outline) {
    // Go on along the outline edge that is not a border.
    int way = -1, borders = 0, count = 0;
    for (int d = 0; d < 4; ++d) {
      uint8_t* f = edge_at(i, j, d);
      if (!f || outline_side(i, j, d) < 0) continue;
      ++count;
      if (*f >= F_BUSED)
        ++borders;
      else
        way = d;
    }
    if (count != 2 || borders != 1 || way < 0) {
      kaprntout("Logic error 20 in gxshad\n");
      return false;
    }
    w.st = ST_OUTLINE;
    w.d = way;
    w.sense = outline_sense(outline_side(i, j, way), way);
    return true;
  }
  w.outside = false;
  int back = reverse(w.d);
  int count = 0, way = -1;
  for (int d = 0; d < 4; ++d) {
    if (d == back) continue;
    uint8_t* f = edge_at(i, j, d);
    if (f && (*f == F_BUSED || *f == F_BORDER)) {
      ++count;
      way = d;
    }
  }
  if (count == 3) {
    int u = undcol(i, j);
    if (u == 9) return false;
    // Stay beside the defined cell being followed.
    static const int turn1[4] = {NORTH, EAST, SOUTH, WEST};  // by arrival direction
    static const int turn2[4] = {SOUTH, WEST, NORTH, EAST};
    way = (u == 1) ? turn1[w.d] : turn2[w.d];
  } else if (count != 1) {
    kaprntout("Logic error 24 in gxshad\n");
    return false;
  }
  uint8_t* f = edge_at(i, j, way);
  if (!f) {
    kaprntout("Logic error 28 in gxshad\n");
    return false;
  }
  int qi = i + DX[way], qj = j + DY[way];
  if (above(v(qi, qj))) {
    *f = F_BUSED;
    w.d = way;
    w.ci = qi;
    w.cj = qj;
    return add_walk_point(w, qi, qj);
  }
  // The level crosses this border edge: go into the defined cell beside it.
  if (way == EAST || way == WEST) {
    int li = way == EAST ? i : qi;
    if (cell_defined(li, j) && cell_in_strip(li, j))
      enter_cross(w, 1, li, j, true);
    else if (cell_defined(li, j - 1) && cell_in_strip(li, j - 1))
      enter_cross(w, 3, li, j - 1, true);
    else {
      kaprntout("Logic error 28 in gxshad\n");
      return false;
    }
  } else {
    int lj = way == NORTH ? j : qj;
    if (cell_defined(i, lj) && cell_in_strip(i, lj))
      enter_cross(w, 4, i, lj, true);
    else if (cell_defined(i - 1, lj) && cell_in_strip(i - 1, lj))
      enter_cross(w, 2, i - 1, lj, true);
    else {
      kaprntout("Logic error 28 in gxshad\n");
      return false;
    }
  }
  return true;
}

// Builds one polygon from the place given by code and fills it or keeps it
// as a hole. 0 done, 1 failure (message printed).
int shade_run::gxsflw(int i, int j, int code) {
  xybuf.clear();
  bndflg = false;
  walker w;
  w.code = code;
  switch (code) {
    case 1:
    case 2:
    case 3:
    case 4: enter_cross(w, code, i, j, false); break;
    case 5:
    case 6:
    case 7:
    case 8: {
      static const int dir[4] = {EAST, EAST, NORTH, NORTH};
      static const int sense[4] = {1, -1, -1, 1};
      w.st = ST_OUTLINE;
      w.d = dir[code - 5];
      w.sense = sense[code - 5];
      w.ci = i;
      w.cj = j;
      add_walk_point(w, i, j);
      w.closes_at_start = true;
      w.si = i;
      w.sj = j;
      break;
    }
    case 9:
    case 10: {
      int pi = code == 9 ? i - 1 : i, pj = code == 9 ? j : j - 1;
      uint8_t* f = code == 9 ? &fh(pi, pj) : &fv(pi, pj);
      *f = F_BUSED;
      w.st = ST_BORDER;
      w.d = code == 9 ? EAST : NORTH;
      w.outside = false;
      add_walk_point(w, pi, pj);
      add_walk_point(w, i, j);
      w.ci = i;
      w.cj = j;
      w.closes_at_start = true;
      w.si = pi;
      w.sj = pj;
      break;
    }
    default: kaprntout("Logic error 40 in gxshad\n"); return 1;
  }
  while (w.st != ST_FINISH) {
    bool ok;
    switch (w.st) {
      case ST_CROSS: ok = step_cross(w); break;
      case ST_OUTLINE: ok = step_outline(w); break;
      default: ok = step_border(w); break;
    }
    if (!ok) return 1;
  }

  shdcmp();
  std::size_t n = xybuf.size() / 2;
  if (n <= 3) return 0;
  if (bndflg || shdmax()) {
    fill_points(xybuf.data(), n, color);
    return 0;
  }
  shade_polygon p;
  p.colour = prvclr;
  p.xy = xybuf;
  xystk.push_back(std::move(p));
  return 0;
}

// Shades one level of the current strip; 0 done, 1 failure.
int shade_run::shade_level() {
  for (int j = jmn; j <= jmx; ++j)
    for (int i = 1; i <= imax; ++i) {
      fh(i, j) = F_NONE;
      fv(i, j) = F_NONE;
    }
  for (int j = jmn; j < jmx; ++j)
    for (int i = 1; i < imax; ++i)
      if (!cell_defined(i, j)) {
        fh(i, j) = F_UNDEF;
        fh(i, j + 1) = F_UNDEF;
        fv(i, j) = F_UNDEF;
        fv(i + 1, j) = F_UNDEF;
      }
  for (int j = jmn; j < jmx; ++j)
    for (int i = 1; i < imax; ++i)
      if (cell_defined(i, j)) {
        if (fh(i, j) == F_UNDEF) fh(i, j) = F_BORDER;
        if (fh(i, j + 1) == F_UNDEF) fh(i, j + 1) = F_BORDER;
        if (fv(i, j) == F_UNDEF) fv(i, j) = F_BORDER;
        if (fv(i + 1, j) == F_UNDEF) fv(i + 1, j) = F_BORDER;
      }

  // Polygons from crossings.
  for (int j = jmn; j <= jmx; ++j)
    for (int i = 1; i <= imax; ++i) {
      if (i < imax && (fh(i, j) == F_NONE || fh(i, j) == F_BORDER) && cut(v(i, j), v(i + 1, j))) {
        if (gxsflw(i, j == jmx ? j - 1 : j, j == jmx ? 3 : 1)) return 1;
      }
      if (j < jmx && (fv(i, j) == F_NONE || fv(i, j) == F_BORDER) && cut(v(i, j), v(i, j + 1))) {
        if (gxsflw(i == imax ? i - 1 : i, j, i == imax ? 2 : 4)) return 1;
      }
    }
  // Polygons bounded only by the outline and undefined borders.
  for (int j = jmn; j <= jmx; ++j)
    for (int i = 1; i <= imax; ++i) {
      if (i < imax && above(v(i, j)) && above(v(i + 1, j))) {
        uint8_t f = fh(i, j);
        int rc = 0;
        if (j == jmn && f == F_NONE)
          rc = gxsflw(i, j, 5);
        else if (j == jmx && f == F_NONE)
          rc = gxsflw(i, j, 6);
        else if (f == F_BORDER)
          rc = gxsflw(i + 1, j, 9);
        if (rc) return 1;
      }
      if (j < jmx && above(v(i, j)) && above(v(i, j + 1))) {
        uint8_t f = fv(i, j);
        int rc = 0;
        if (i == 1 && f == F_NONE)
          rc = gxsflw(i, j, 7);
        else if (i == imax && f == F_NONE)
          rc = gxsflw(i, j, 8);
        else if (f == F_BORDER)
          rc = gxsflw(i, j + 1, 10);
        if (rc) return 1;
      }
    }
  return 0;
}

void shade_run::shade(const float* levels, const int* colours, int count) {
  imn = 1;
  imx = imax;
  std::size_t grsize = static_cast<std::size_t>(imax) * jmax;
  // A polygon of one strip passes each grid point and each edge at most once.
  xymax = static_cast<std::size_t>(imax) * 4 + static_cast<std::size_t>(imax) * 7 + 8;
  try {
    xybuf.reserve(2 * xymax);
  } catch (...) {
    kaprntout("Error in gxshad: Unable to allocate xy coord buffer\n");
    return;
  }
  try {
    flgh.assign(grsize, F_NONE);
    flgv.assign(grsize, F_NONE);
  } catch (...) {
    kaprntout("Error in gxshad:  Unable to allocate flags buffer\n");
    return;
  }

  for (jmn = 1; jmn < jmax; jmn += 3) {
    // An interrupt ends the shading with the strips drawn so far.
    if (kaqsig()) break;
    jmx = jmn + 3 < jmax ? jmn + 3 : jmax;
    // The strip's extremes from its first defined value (a fixed start would
    // bound values beyond it); a strip with none has nothing to shade.
    float smin = 0, smax = 0;
    bool any = false;
    for (int j = jmn; j <= jmx; ++j) {
      const float* p = gr + static_cast<std::size_t>(j - 1) * imax;
      for (int i = 0; i < imax; ++i) {
        if (p[i] == undef) continue;
        if (!any || p[i] < smin) smin = p[i];
        if (!any || p[i] > smax) smax = p[i];
        any = true;
      }
    }
    if (!any) continue;
    prvclr = 0;
    for (int k = 0; k < count; ++k) {
      val = levels[k];
      color = colours[k];
      if (k < count - 1 && smin > levels[k + 1]) {
        prvclr = color;
        continue;
      }
      if (val > smax) continue;
      if (shade_level()) {
        kaprntout("Error in gxshad\n");
        return;
      }
      prvclr = color;
    }
    for (auto it = xystk.rbegin(); it != xystk.rend(); ++it)
      fill_points(it->xy.data(), it->xy.size() / 2, it->colour);
    xystk.clear();
  }
}

}  // namespace

namespace {

// Columns of a grid that make up at most one turn of longitude on a polar
// map. More would lay the last columns over the first ones around the
// pole; filled twice there, that wedge would come out blank.
int one_turn_columns(int ima) {
  if (!polar_projection()) return ima;
  float lon1, lon2, lat;
  gxgrmp(1, 1, &lon1, &lat);
  gxgrmp(2, 1, &lon2, &lat);
  const double step = std::fabs(double(lon2) - lon1);
  if (!(step > 0)) return ima;
  for (int i = ima; i > 2; i--) {
    float lon;
    gxgrmp(float(i), 1, &lon, &lat);
    if (std::fabs(double(lon) - lon1) <= 360.0 + 0.01 * step) return i;
  }
  return 2;
}

}  // namespace

void gxshad(const float* values, int ima, int jma, const float* levels, const int* colours,
            int count, float und) {
  if (!values || !levels || !colours || count <= 0 || ima < 2 || jma < 2) return;
  const int cols = one_turn_columns(ima);
  std::vector<float> turn;
  if (cols < ima) {
    turn.resize(static_cast<std::size_t>(cols) * static_cast<std::size_t>(jma));
    for (int j = 0; j < jma; j++)
      std::copy_n(values + static_cast<std::size_t>(j) * ima, cols,
                  turn.begin() + static_cast<std::ptrdiff_t>(j) * cols);
    values = turn.data();
  }
  shade_run run{values, cols, jma, und};
  run.shade(levels, colours, count);
}
