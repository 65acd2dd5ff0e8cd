// Contour, shaded, grid-fill and fgrid plots of a 2-D grid: level choice,
// rainbow colours, grid refinement, shade tables and the drawing.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/message.h"
#include "base/session.h"
#include "base/userfmt.h"
#include "data/held.h"
#include "data/result.h"
#include "gx/contour.h"
#include "gx/farside.h"
#include "gx/gx.h"
#include "plot/plot.h"
#include "plot/plot2d.h"

namespace {

// The rainbow, low to high.
const int rcols[13] = {9, 14, 4, 11, 5, 13, 3, 10, 7, 12, 8, 2, 6};

// Colour sequence and its top index (the user's rainbow when set).
const int* sequence(const session_state* pcm, int* top) {
  if (pcm->rbcols_count > 0) {
    *top = pcm->rbcols_count - 1;
    return pcm->rbcols;
  }
  *top = 12;
  return rcols;
}

int clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Where v falls in the rainbow range rlo..rhi spread over colours 0..top;
// a range of no spread takes the middle colour.
int rainbow_index(float v, float rlo, float rhi, int top) {
  if (rhi == rlo) return top / 2;
  const float r = (v - rlo) * float(top + 1) / (rhi - rlo);
  // Far outside the range (or undefined) it is an end colour, never an int
  // out of range.
  if (!(r > -1.0f)) return -1;
  return r < float(top + 1) ? int(r) : top + 1;
}

// The integer nearest v; false when v has none in an int.
bool nearest_int(float v, int* out) {
  const float r = std::floor(v + 0.5f);
  if (!(r >= -2147483648.0f && r < 2147483648.0f)) return false;
  *out = int(r);
  return true;
}

// A level rounded to a multiple of the interval (0.1 added or taken off and
// truncated), so that accumulated steps print as round numbers.
float round_level(float v, float interval) {
  float q = v / interval;
  // So far out a float has no fraction left to take off.
  if (!(std::fabs(q) < 1.0e9f)) return q * interval;
  q = q < 0 ? q - 0.1f : q + 0.1f;
  return float(int(q)) * interval;
}

void grid_undefined(const session_state* pcm) {
  kaprnt(msg_level::info, "Cannot contour grid - all undefined values \n");
  gxcolr(1);
  if (pcm->datawarn) gxchpl("Entire Grid Undefined", 21, 3.0f, 4.5f, 0.3f, 0.25f, 0.0f);
}

// Minimum and maximum of the defined values; false when none is defined.
bool extremes(const float* v, size_t n, float undef, float* lo, float* hi) {
  bool any = false;
  for (size_t k = 0; k < n; k++) {
    if (v[k] == undef) continue;
    if (!any || v[k] < *lo) *lo = v[k];
    if (!any || v[k] > *hi) *hi = v[k];
    any = true;
  }
  return any;
}

// A constant field: drawn as one fgrid value with its notice.
void constant_field(session_state* pcm, float value) {
  char text[80];
  std::snprintf(text, sizeof text, "Constant field.  Value = %g\n", double(value));
  if (pcm->datawarn) {
    int saved_count = pcm->fgvals_count;
    field_output saved_out = pcm->gxout_2d;
    int saved_value = pcm->fgvals_values[0], saved_colour = pcm->fgvals_colours[0];
    // A constant beyond an int matches no fgrid value: nothing is filled.
    pcm->fgvals_count = nearest_int(value, &pcm->fgvals_values[0]) ? 1 : 0;
    pcm->fgvals_colours[0] = 2;
    pcm->gxout_2d = output_fgrid;
    kafgrd(pcm, plot_code::fgrid);
    pcm->gxout_2d = saved_out;
    pcm->fgvals_count = saved_count;
    pcm->fgvals_values[0] = saved_value;
    pcm->fgvals_colours[0] = saved_colour;
    gxchpl(text, int(std::string(text).size()) - 1, 2.0f, 4.5f, 0.27f, 0.23f, 0.0f);
  }
  kaprnt(msg_level::info, text);
}

// The label of one contour level: the user's format when it is one
// floating conversion, the format text itself otherwise, "%g" without one.
void level_label(const session_state* pcm, float v, char* out, size_t size) {
  if (pcm->clab_format.empty()) {
    std::snprintf(out, size, "%g", double(v));
  } else if (kafmtv(out, size, pcm->clab_format.c_str(), v) < 0) {
    std::snprintf(out, size, "%s", pcm->clab_format.c_str());
  }
}

bool inside_black(const session_state* pcm, float lo, float hi) {
  return pcm->black_set && hi >= pcm->black_range[0] && lo <= pcm->black_range[1];
}

void contour_lines(session_state* pcm, const float* v, int isiz, int jsiz, float undef, float first,
                   float last, float interval) {
  gxwide(pcm->cthick);
  int top;
  const int* seq = sequence(pcm, &top);
  auto rainbow = [&](int index) {
    index = clamp(index, 0, top);
    return pcm->ccolor == -1 ? seq[index] : seq[top - index];
  };
  auto trace = [&](float value, const char* label) {
    gxstyl(pcm->cstyle == -9 ? (value < 0 ? 3 : 1) : pcm->cstyle);
    gxclev(v, isiz, jsiz, 1, isiz, 1, jsiz, value, label, pcm->cterp != 0,
           static_cast<contour_labels>(pcm->clab), undef);
  };
  char label[16];
  if (pcm->clevs_count > 0) {
    int n = pcm->clevs_count;
    for (int k = 0; k < n; k++) {
      float value = pcm->clevs[k];
      if (pcm->ccols_count > 0) {
        gxcolr(pcm->ccols[k < pcm->ccols_count ? k : pcm->ccols_count - 1]);
      } else if (pcm->ccolor < 0) {
        gxcolr(rainbow(n == 1 ? top / 2 : int(float(k) * float(top) / float(n - 1))));
      }
      level_label(pcm, value, label, sizeof label);
      trace(value, label);
    }
  } else {
    float rlo = pcm->rbrange[0], rhi = pcm->rbrange[1];
    // Levels are counted rather than summed: a float sum stalls once the
    // interval is below its spacing, and the walk starts at cmin so that a
    // narrow cmin..cmax over a wide field takes only its own levels.
    const double steps = std::floor((double(last) - first) / interval + 0.5);
    double k0 = 0;
    if (pcm->cmin > first) k0 = std::ceil((double(pcm->cmin) - first) / interval - 1e-6);
    for (double k = k0; k <= steps; k++) {
      float lev = float(first + k * interval);
      if (lev > pcm->cmax) break;
      if (lev < pcm->cmin) continue;
      if (inside_black(pcm, lev, lev)) continue;
      float value = round_level(lev, interval);
      if (pcm->ccolor < 0) gxcolr(rainbow(rainbow_index(value, rlo, rhi, top)));
      label[0] = '\0';
      float q = value / (float(pcm->clskip) * interval);
      if (!(std::fabs(q) < 1.0e9f) || int(q + 0.009f) != int(q - 0.009f) ||
          std::fabs(q - float(int(q))) < 0.01f)
        level_label(pcm, value, label, sizeof label);
      trace(value, label);
    }
  }
  if (pcm->clopts_colour >= 0) gxcolr(pcm->clopts_colour);
  if (pcm->clopts_thick >= 0) gxwide(pcm->clopts_thick);
  gxclab(pcm->clopts_size, pcm->clab != 0, pcm->clopts_colour);
  gxcrel();
}

}  // namespace

void kaselc(float min, float max, session_state* pcm) {
  pcm->shade_count = 0;
  if (max - min == 0) return;
  int top;
  const int* seq = sequence(pcm, &top);
  float* lev = pcm->shade_levels;
  int* col = pcm->shade_colours;
  const int kMax = 120;
  int k = 0;
  if (pcm->clevs_count == 0) {
    float interval = std::fabs(pcm->cint);
    if (interval == 0) {
      double r =
          (double(max) - double(min)) / (pcm->rbcols_count > 0 ? pcm->rbcols_count - 0.5 : 12.5);
      double p = std::pow(10.0, std::floor(std::log10(r)));
      double q = r / p;
      double f = q < 2 ? 10 : q < 4 ? 5 : q < 7 ? 2 : 1;
      interval = float(double(int(q * f + 0.5)) * p / f);
    }
    if (!(interval > 0) || min + interval == min || max - interval == max) return;
    // Bands beyond the table grow the interval instead of running past it.
    while ((double(max) - double(min)) / interval > kMax - 4) interval *= 10;
    float first = interval * std::ceil(min / interval);
    float last = interval * std::floor(max / interval);
    if (pcm->rbrange[0] == 0 && pcm->rbrange[1] == 0) {
      pcm->rbrange[0] = first;
      pcm->rbrange[1] = last;
    }
    float rlo = pcm->rbrange[0] - interval, rhi = pcm->rbrange[1];
    const int steps = int(std::floor((double(last) - first) / interval + 0.5)) + 1;
    for (int s = 0; s <= steps && k < kMax; s++) {
      float v = round_level(float(double(first) + double(s - 1) * interval), interval);
      int c;
      if (v < pcm->cmin || v + interval > pcm->cmax || inside_black(pcm, v, v + interval)) {
        c = -1;
      } else {
        c = seq[clamp(rainbow_index(v, rlo, rhi, top), 0, top)];
      }
      if (k == 0 || c != col[k - 1]) {
        lev[k] = v;
        col[k] = c;
        k++;
      }
    }
    lev[0] -= 10 * interval;
  } else {
    int n = pcm->clevs_count;
    lev[0] = std::fmin(min, pcm->clevs[0]) - 100;
    float step = float(top + 1) / float(n + 1);
    float pos = step / 2;
    col[0] = pcm->ccols_count > 0 ? pcm->ccols[0] : seq[clamp(int(pos), 0, top)];
    k = 1;
    for (int j = 0; j < n && k < kMax; j++) {
      int c;
      if (pcm->ccols_count == 0) {
        pos += step;
        c = seq[clamp(int(pos), 0, top)];
      } else {
        c = j + 1 < pcm->ccols_count ? pcm->ccols[j + 1] : 15;
      }
      if (c != col[k - 1]) {
        lev[k] = pcm->clevs[j];
        col[k] = c;
        k++;
      }
    }
  }
  pcm->shade_count = k;
}

int kashdc(const session_state* pcm, float v) {
  int n = pcm->shade_count;
  if (n <= 0) return 1;
  if (n == 1 || v < pcm->shade_levels[1]) return pcm->shade_colours[0];
  for (int k = 1; k < n - 1; k++)
    if (pcm->shade_levels[k] <= v && v < pcm->shade_levels[k + 1]) return pcm->shade_colours[k];
  return pcm->shade_colours[n - 1];
}

void kagfil(const float* values, int isiz, int jsiz, const float* levels, const int* colours, int n,
            float undef) {
  if (n <= 0) return;
  for (int j = 1; j <= jsiz; j++) {
    for (int i = 1; i <= isiz; i++) {
      float v = values[size_t(j - 1) * size_t(isiz) + size_t(i - 1)];
      if (v == undef) continue;
      int c = colours[n - 1];
      for (int k = 0; k < n - 1; k++)
        if (levels[k] < v && v <= levels[k + 1]) {
          c = colours[k];
          break;
        }
      if (c < 0) continue;
      const float fi = static_cast<float>(i), fj = static_cast<float>(j);
      float xy[10] = {fi - 0.5f, fj - 0.5f, fi + 0.5f, fj - 0.5f, fi + 0.5f,
                      fj + 0.5f, fi - 0.5f, fj + 0.5f, fi - 0.5f, fj - 0.5f};
      gxcolr(c);
      gxseen_fill(xy, 5, coord_level::grid);
    }
  }
}

void kagexp(float undef, const float* values, int isiz, int jsiz, float* out, int idiv, int jdiv) {
  const int osiz = (isiz - 1) * idiv + 1;
  // One row or column of n points with stride s refined by d into o (stride os).
  auto line = [undef](const float* in, size_t s, int n, float* o, size_t os, int d) {
    for (int a = 0; a < n - 1; a++) {
      float A = in[size_t(a) * s], B = in[size_t(a + 1) * s];
      float* p = o + size_t(a) * size_t(d) * os;
      p[0] = A;
      if (A == undef || B == undef) {
        for (int t = 1; t < d; t++) p[size_t(t) * os] = undef;
        continue;
      }
      float P = a > 0 ? in[size_t(a - 1) * s] : undef;
      float N = a + 2 < n ? in[size_t(a + 2) * s] : undef;
      float TA = (a > 0 && P != undef) ? (B - P) / 2 : B - A;
      float TB = (a + 2 < n && N != undef) ? (N - A) / 2 : B - A;
      for (int t = 1; t < d; t++) {
        float x = float(t) / float(d);
        p[size_t(t) * os] = (2 * A - 2 * B + TA + TB) * x * x * x +
                            (3 * B - 3 * A - 2 * TA - TB) * x * x + TA * x + A;
      }
    }
    o[size_t(n - 1) * size_t(d) * os] = in[size_t(n - 1) * s];
  };
  // Rows first, into every jdiv-th refined row.
  for (int j = 0; j < jsiz; j++)
    line(values + size_t(j) * size_t(isiz), 1, isiz, out + size_t(j) * size_t(jdiv) * size_t(osiz),
         1, idiv);
  if (jdiv == 1) return;
  for (int i = 0; i < osiz; i++) {
    std::vector<float> col(static_cast<size_t>(jsiz));
    for (int j = 0; j < jsiz; j++)
      col[size_t(j)] = out[size_t(j) * size_t(jdiv) * size_t(osiz) + size_t(i)];
    line(col.data(), 1, jsiz, out + size_t(i), size_t(osiz), jdiv);
  }
}

void kaglin(float undef, const float* values, int isiz, int jsiz, float* out, int idiv, int jdiv) {
  const int osiz = (isiz - 1) * idiv + 1, ojsiz = (jsiz - 1) * jdiv + 1;
  kaprntout("isiz, jsiz = %i %i \n", osiz, ojsiz);
  for (int b = 0; b < ojsiz; b++) {
    for (int a = 0; a < osiz; a++) {
      float x = float(a) / float(idiv), y = float(b) / float(jdiv);
      x = std::fmin(std::fmax(x, 0.0f), std::fmax(float(isiz) - 1.001f, 0.0f));
      y = std::fmin(std::fmax(y, 0.0f), std::fmax(float(jsiz) - 1.001f, 0.0f));
      int i = int(x), j = int(y);
      int i1 = i + 1 < isiz ? i + 1 : i, j1 = j + 1 < jsiz ? j + 1 : j;
      float p00 = values[size_t(j) * size_t(isiz) + size_t(i)];
      float p10 = values[size_t(j) * size_t(isiz) + size_t(i1)];
      float p01 = values[size_t(j1) * size_t(isiz) + size_t(i)];
      float p11 = values[size_t(j1) * size_t(isiz) + size_t(i1)];
      float& o = out[size_t(b) * size_t(osiz) + size_t(a)];
      if (p00 == undef || p10 == undef || p01 == undef || p11 == undef) {
        o = undef;
        continue;
      }
      float fx = x - float(i), fy = y - float(j);
      o = p00 + (p10 - p00) * fx + (p01 - p00) * fy + (p00 - p10 - p01 + p11) * fx * fy;
    }
  }
}

// v times 10^decades, rounded through its decimal digits so that repeated
// tenfold growth stays on the user's decimal interval.
static float tenfold(float v, int decades) {
  char text[32];
  std::snprintf(text, sizeof text, "%.7g", double(v) * std::pow(10.0, decades));
  return std::strtof(text, nullptr);
}

void kacntr(session_state* pcm, contour_mode mode, plot_code code) {
  grid_field* g = kaplgrid(pcm, held_grid(pcm, 0));
  if (!g) return;
  gxstyl(1);
  gxwide(1);
  kas2d(pcm, g, mode == contour_mode::lines);
  const size_t npts = size_t(g->isiz) * size_t(g->jsiz);
  float gmin = 0, gmax = 0;
  if (!extremes(g->values, npts, g->undef, &gmin, &gmax)) {
    grid_undefined(pcm);
    return;
  }
  // A negative interval counts as its size; stepping by it would never end.
  float interval = std::fabs(pcm->cint), first = 0, last = 0;
  if (pcm->clevs_count == 0) {
    kacsel(gmin, gmax, &interval, &first, &last);
    bool told = false;
    auto too_many = [&] {
      if (!told) kaprnt(msg_level::error, "Too many contour levels -- adjusting cint\n");
      told = true;
    };
    // A chosen interval too small to step these values in single precision
    // makes the level choice answer 0, which would call a varying field
    // constant: it is too many levels, so the interval grows as below.
    const float chosen = std::fabs(pcm->cint);
    if (interval == 0 && gmax > gmin && chosen != 0) {
      for (int decades = 1; decades < 80; decades++) {
        float grown = tenfold(chosen, decades);
        if (!std::isfinite(grown)) break;
        if (gmin + grown != gmin && gmax - grown != gmax) {
          too_many();
          interval = grown;
          kacsel(gmin, gmax, &interval, &first, &last);
          break;
        }
      }
    }
    if (interval == 0) {
      constant_field(pcm, gmin);
      return;
    }
    float lo = std::fmax(first, pcm->cmin), hi = std::fmin(last, pcm->cmax);
    for (const float base = interval; (hi - lo) / interval > 100;) {
      too_many();
      interval = interval * 10;
      // Grown from the base in decimal so that 1e-4 becomes 1, not 0.99999994.
      for (int decades = 1; decades < 80; decades++)
        if (tenfold(base, decades) >= interval * 0.99f) {
          interval = tenfold(base, decades);
          break;
        }
    }
    pcm->cint = interval;
    kacsel(gmin, gmax, &interval, &first, &last);
  }
  if (pcm->ccolor >= 0) gxcolr(pcm->ccolor);
  if (pcm->ccolor < 0 && pcm->rbrange[0] == 0 && pcm->rbrange[1] == 0 && pcm->clevs_count == 0) {
    pcm->rbrange[0] = first;
    pcm->rbrange[1] = last;
  }

  // Refinement of a coarse grid.
  const float* v = g->values;
  int isiz = g->isiz, jsiz = g->jsiz;
  std::vector<float> fine;
  int id = 1, jd = 1;
  if (pcm->csmooth && (isiz < 51 || jsiz < 51)) {
    id = 100 / isiz;
    jd = 100 / jsiz;
    id = id > 5 ? 4 : (id < 1 ? 1 : id);
    jd = jd > 5 ? 4 : (jd < 1 ? 1 : jd);
    size_t fi = size_t(isiz - 1) * size_t(id) + 1, fj = size_t(jsiz - 1) * size_t(jd) + 1;
    fine.resize(fi * fj);
    if (pcm->csmooth == 1)
      kagexp(g->undef, v, isiz, jsiz, fine.data(), id, jd);
    else
      kaglin(g->undef, v, isiz, jsiz, fine.data(), id, jd);
    kasdiv(float(id), float(jd));
    v = fine.data();
    isiz = int(fi);
    jsiz = int(fj);
    if (pcm->clevs_count == 0) {
      float fmin = 0, fmax = 0;
      if (!extremes(v, fine.size(), g->undef, &fmin, &fmax)) {
        grid_undefined(pcm);
        return;
      }
      while (first > fmin) first -= interval;
      while (last < fmax) last += interval;
    }
  }

  if (pcm->clevs_count == 0) {
    kaprntf(msg_level::result, "Contouring: %g to %g interval %g \n", double(first), double(last),
            double(interval));
  } else {
    std::string s = "Contouring at clevs = ";
    char buf[40];
    for (int k = 0; k < pcm->clevs_count; k++) {
      std::snprintf(buf, sizeof buf, " %g", double(pcm->clevs[k]));
      s += buf;
    }
    kaprnt(msg_level::result, s + "\n");
  }
  gxclip(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high);

  if (mode == contour_mode::lines) {
    contour_lines(pcm, v, isiz, jsiz, g->undef, first, last, interval);
  } else {
    kaselc(gmin, gmax, pcm);
    if (pcm->shade_count < 1) {
      kaprnt(msg_level::info, "Cannot shade grid -- no shade levels for its range\n");
    } else if (mode == contour_mode::shaded) {
      gxshad(v, isiz, jsiz, pcm->shade_levels, pcm->shade_colours, pcm->shade_count, g->undef);
    } else {
      kagfil(v, isiz, jsiz, pcm->shade_levels, pcm->shade_colours, pcm->shade_count, g->undef);
    }
    if (g->idim == 0 && g->jdim == 1) kawmap(pcm, false);
  }
  kasdiv(1, 1);
  kaptail(pcm, code, tail_frame::draw, dimension_axis(g->idim), dimension_axis(g->jdim));
}

void kafgrd(session_state* pcm, plot_code code) {
  grid_field* g = kaplgrid(pcm, held_grid(pcm, 0));
  if (!g) return;
  kas2d(pcm, g, false);
  kasdiv(1, 1);
  gxclip(pcm->plot_x_low, pcm->plot_x_high, pcm->plot_y_low, pcm->plot_y_high);
  const int isiz = g->isiz;
  auto colour_of = [&](float v) {
    if (v == g->undef) return -1;
    int c = -1, iv;
    if (!nearest_int(v, &iv)) return -1;
    for (int k = 0; k < pcm->fgvals_count && k < 50; k++)
      if (pcm->fgvals_values[k] == iv) c = pcm->fgvals_colours[k];
    return c;
  };
  std::vector<float> xy(size_t(4) * size_t(isiz) + 8);
  // Run start..end-1 of row j as one polygon: top edge left to right, bottom
  // edge back, closed.
  auto fill_run = [&](int start, int end, int j, int c) {
    if (c < 0) return;
    int n = 0;
    for (int k = start; k <= end; k++, n++) {
      xy[size_t(2 * n)] = float(k) - 0.5f;
      xy[size_t(2 * n + 1)] = float(j) + 0.5f;
    }
    for (int k = end; k >= start; k--, n++) {
      xy[size_t(2 * n)] = float(k) - 0.5f;
      xy[size_t(2 * n + 1)] = float(j) - 0.5f;
    }
    xy[size_t(2 * n)] = xy[0];
    xy[size_t(2 * n + 1)] = xy[1];
    n++;
    gxcolr(c);
    gxseen_fill(xy.data(), n, coord_level::grid);
  };
  for (int j = 1; j <= g->jsiz; j++) {
    const float* row = g->values + size_t(j - 1) * size_t(isiz);
    int start = 1, c = colour_of(row[0]);
    for (int i = 2; i <= isiz; i++) {
      int ci = colour_of(row[i - 1]);
      if (ci != c) {
        fill_run(start, i, j, c);
        start = i;
        c = ci;
      }
    }
    fill_run(start, isiz + 1, j, c);
  }
  if (g->idim == 0 && g->jdim == 1) kawmap(pcm, false);
  kaptail(pcm, code, tail_frame::draw, dimension_axis(g->idim), dimension_axis(g->jdim));
}
