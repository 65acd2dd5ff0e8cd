// Drawing of traced contour lines (polyline or smooth cubic curve), the
// choice of label places along them, and the drawing of the labels over an
// erased background once all levels of a plot are drawn.

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "gx/contour.h"
#include "gx/farside.h"
#include "gx/gx.h"

namespace {

constexpr int kMaxLabels = 200;

// One label waiting to be drawn.
struct contour_label {
  float x, y;     // centre, page inches
  float slope;    // angle of a sloped label, radians; 0 for a level one
  char text[16];  // the level's label text
  int colour;     // colour its line was drawn in
};

// Labels collected over the levels of a plot until gxclab draws (and
// empties) them; the spacing, set by gxclmn, lasts the session.
struct label_state {
  int ldmin = 2;                    // least run of line (inches) between labels on one line
  std::vector<contour_label> list;  // at most kMaxLabels
};

label_state labels;

struct pt {
  float x, y;
};

inline pt at(const float* p) { return {p[0], p[1]}; }
inline float plen(pt a, pt b) { return std::hypot(b.x - a.x, b.y - a.y); }

// Half the sum of the unit vectors into and out of P.
pt tangent(pt a, pt p, pt b) {
  float l1 = plen(a, p), l2 = plen(p, b);
  pt t{0.0f, 0.0f};
  if (l1 > 0.0f) {
    t.x += (p.x - a.x) / l1;
    t.y += (p.y - a.y) / l1;
  }
  if (l2 > 0.0f) {
    t.x += (b.x - p.x) / l2;
    t.y += (b.y - p.y) / l2;
  }
  return {0.5f * t.x, 0.5f * t.y};
}

bool labels_full() { return labels.list.size() >= static_cast<std::size_t>(kMaxLabels); }

void record_label(const traced_line& line, pt p, float slope) {
  contour_label l{p.x, p.y, slope, {}, gxqclr()};
  std::strncpy(l.text, line.label, sizeof l.text - 1);
  labels.list.push_back(l);
}

// Tests for a due label at P (predecessor Q, successor N); resets the run
// counter when one is due. Returns true when a label was recorded.
bool label_due(const traced_line& line, float& run, pt q, pt p, pt n) {
  if (!(run > static_cast<float>(labels.ldmin))) return false;
  if (labels_full()) return false;
  if (!((p.y - q.y) * (n.y - p.y) < 0.0f)) return false;
  run = 0.0f;
  if (line.label[0] == '\0') return false;
  record_label(line, p, 0.0f);
  return true;
}

void draw_polyline(const traced_line& line, bool closed, float run) {
  float* first = line.first;
  float* last = line.last;
  int n = static_cast<int>((last - first) / 2) + 1;
  gxplot(first[0], first[1], pen_code::move);
  for (int k = 1; k < n - 1; ++k) {
    pt q = at(first + 2 * (k - 1)), p = at(first + 2 * k), nx = at(first + 2 * (k + 1));
    gxplot(p.x, p.y, pen_code::draw);
    run += plen(q, p);
    label_due(line, run, q, p, nx);
  }
  gxplot(last[0], last[1], pen_code::draw);
  if (closed) {
    pt q = at(last - 2), p = at(last), nx = at(first + 2);
    run += plen(q, p);
    label_due(line, run, q, p, nx);
  }
}

void draw_smooth(const traced_line& line, bool closed, float run) {
  float* first = line.first;
  float* last = line.last;
  pt f = at(first), l = at(last);
  float* e = nullptr;
  for (float* p = last - 2; p >= first; p -= 2)
    if (plen(at(p), l) >= 0.01f) {
      e = p;
      break;
    }
  float* s = nullptr;
  for (float* p = first + 2; p <= last; p += 2)
    if (plen(at(p), f) >= 0.01f) {
      s = p;
      break;
    }
  if (!e || !s) return;
  pt ep = at(e), sp = at(s);
  // Extension points, in the room the tracer leaves around the line.
  float* before = first - 2;
  float* after = last + 2;
  if (closed) {
    before[0] = ep.x;
    before[1] = ep.y;
    after[0] = sp.x;
    after[1] = sp.y;
  } else {
    before[0] = 2.0f * f.x - sp.x;
    before[1] = 2.0f * f.y - sp.y;
    after[0] = 2.0f * l.x - ep.x;
    after[1] = 2.0f * l.y - ep.y;
  }

  bool labelled = false;
  float best = 1000.0f;
  pt bestp{0.0f, 0.0f};
  pt p0 = at(before), p1 = f, p2 = sp;
  float* ip2 = s;
  pt t1 = tangent(p0, p1, p2);
  float len = plen(p1, p2);
  gxplot(p1.x, p1.y, pen_code::move);
  while (ip2 != after) {
    float* ip3 = ip2 + 2;
    while (ip3 != after && plen(at(ip3), p2) < 0.01f) ip3 += 2;
    pt p3 = at(ip3);
    run += len;
    if (line.labels != contour_labels::off && label_due(line, run, p1, p2, p3)) labelled = true;
    if (line.labels == contour_labels::forced && !labelled && !labels_full() && ip2 != last) {
      bool cand = false;
      float ang = 0.0f;
      if (p1.x < p2.x && p2.x < p3.x) {
        ang = std::atan2(p3.y - p1.y, p3.x - p1.x);
        cand = true;
      } else if (p1.x > p2.x && p2.x > p3.x) {
        ang = std::atan2(p1.y - p3.y, p1.x - p3.x);
        cand = true;
      }
      if (cand && std::fabs(ang) < std::fabs(best)) {
        best = ang;
        bestp = p2;
      }
    }
    pt t2 = tangent(p1, p2, p3);
    float sc = std::min(len, 0.7f);
    pt m1{sc * t1.x, sc * t1.y}, m2{sc * t2.x, sc * t2.y};
    pt a{2.0f * p1.x - 2.0f * p2.x + m1.x + m2.x, 2.0f * p1.y - 2.0f * p2.y + m1.y + m2.y};
    pt b{3.0f * p2.x - 3.0f * p1.x - 2.0f * m1.x - m2.x,
         3.0f * p2.y - 3.0f * p1.y - 2.0f * m1.y - m2.y};
    float dt = (len > 0.0f) ? 0.1f / len : 2.0f;
    // A piece far longer than any page (extreme coordinates) is drawn
    // straight: stepping it by a tenth of an inch would never end.
    if (len > 1000.0f) dt = 2.0f;
    for (float t = 0.0f; t < 1.0f; t += dt) {
      float x = ((a.x * t + b.x) * t + m1.x) * t + p1.x;
      float y = ((a.y * t + b.y) * t + m1.y) * t + p1.y;
      gxplot(x, y, pen_code::draw);
    }
    p1 = p2;
    p2 = p3;
    ip2 = ip3;
    t1 = t2;
    len = plen(p1, p2);
  }
  gxplot(l.x, l.y, pen_code::draw);
  if (line.labels == contour_labels::forced && !labelled && !labels_full() &&
      std::fabs(best) < 2.0f && line.label[0] != '\0')
    record_label(line, bestp, best);
}

}  // namespace

void gxcspl(const traced_line& line) {
  float* first = line.first;
  float* last = line.last;
  if (!first || !last || last < first) return;
  int n = static_cast<int>((last - first) / 2) + 1;
  // A line of fewer than three points cannot enclose anything.
  bool closed = n >= 3 && first[0] == last[0] && first[1] == last[1];
  float run = (line.labels == contour_labels::forced) ? 2.0f : 1.0f;
  auto draw = [&](const traced_line& l, bool c) {
    if (!l.smooth)
      draw_polyline(l, c, run);
    else
      draw_smooth(l, c, run);
  };
  if (!gxseen_all(first, n, coord_level::grid)) {
    // The parts on the side of the globe shown, each a line of its own with
    // the free pair either side that the tracer leaves.
    for (const std::vector<float>& part : gxseen_lines(first, n, coord_level::grid)) {
      if (part.size() < 4) continue;
      std::vector<float> room(part.size() + 4);
      std::copy(part.begin(), part.end(), room.begin() + 2);
      traced_line piece = line;
      piece.first = room.data() + 2;
      piece.last = room.data() + room.size() - 4;
      draw(piece, false);
    }
    return;
  }
  gxcord(first, n, coord_level::grid);
  draw(line, closed);
}

void gxclab(float csize, bool draw, int colour) {
  if (draw) {
    int saved = gxqclr();
    for (const contour_label& l : labels.list) {
      const char* text = l.text;
      int n = static_cast<int>(std::strlen(text));
      float w = static_cast<float>(n) * csize / 2.0f;
      float x = l.x, y = l.y, a = l.slope;
      int bck = gxqbck();
      int tcol = colour >= 0 ? colour : l.colour;
      if (tcol == bck) tcol = (bck == 0) ? 1 : 0;
      if (a == 0.0f) {
        float x0 = x - w, y0 = y - csize / 2.0f;
        float width = 0.0f;
        gxchln(text, n, csize, &width);
        gxcolr(bck);
        gxrecf(x0, x0 + width + 0.1f * csize, y0 - 0.02f, y0 + 1.44f * csize);
        gxcolr(tcol);
        gxchpl(text, n, x0, y0, 1.2f * csize, csize, 0.0f);
      } else {
        float u = 1.1f * w, h = 0.8f * csize;
        float ca = std::cos(a), sa = std::sin(a);
        float xy[10] = {x - u * ca + h * sa,
                        y - u * sa - h * ca,
                        x - u * ca - h * sa,
                        y - u * sa + h * ca,
                        x + u * ca - h * sa,
                        y + u * sa + h * ca,
                        x + u * ca + h * sa,
                        y + u * sa - h * ca,
                        0.0f,
                        0.0f};
        xy[8] = xy[0];
        xy[9] = xy[1];
        gxcolr(bck);
        gxfill(xy, 5);
        gxcolr(tcol);
        gxchpl(text, n, x - w * ca + (csize / 2.0f) * sa, y - w * sa - (csize / 2.0f) * ca,
               1.2f * csize, csize, a * 180.0f / 3.1416f);
      }
    }
    gxcolr(saved);
  }
  labels.list.clear();
}

void gxclmn(float distance) {
  if (distance > 0.1f)
    labels.ldmin = distance >= static_cast<float>(INT_MAX) ? INT_MAX : static_cast<int>(distance);
}

int gxclcnt() { return static_cast<int>(labels.list.size()); }
