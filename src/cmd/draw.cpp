// "draw" and "redraw": free graphics on the current frame in page inches
// (strings, rectangles, polygons, lines, markers, titles and axis labels)
// with the attributes of the "set" options at the moment of drawing.
#include <cmath>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "cmd/commands.h"
#include "base/message.h"
#include "base/session.h"
#include "cmd/setopts.h"
#include "base/words.h"
#include "gx/gx.h"
#include "gx/map.h"
#include "gx/widgets.h"
#include "plot/plot2d.h"
#include "plot/station.h"

using setopt::at_end;
using setopt::rest_at;

namespace {

const float justx[9] = {0, 0.5f, 1, 0, 0.5f, 1, 0, 0.5f, 1};
const float justy[9] = {0, 0, 0, 0.5f, 0.5f, 0.5f, 1, 1, 1};

// Reads n floats from the word at p on; p is left at the last one read.
bool floats_at(const char*& p, float* v, int n) {
  for (int i = 0; i < n; i++) {
    if (i > 0) p = nxtwrd(p);
    if (!p || !valprs(p, &v[i])) return false;
  }
  return true;
}

int refuse(const char* text) {
  kaprnt(msg_level::error, text);
  return 1;
}

int refuse2(const char* a, const char* b) {
  kaprnt(msg_level::error, a);
  kaprnt(msg_level::error, b);
  return 1;
}

// Fill pattern of the "set fill" option around one fill; back to solid after.
void pattern_on(const session_state* s) {
  // The session keeps the pattern's number ("set fill" stores only these).
  if (s->fill_set) gxptrn(static_cast<fill_pattern>(s->fill_type), s->fill_density, s->fill_angle);
}
void pattern_off(const session_state* s) {
  if (s->fill_set) gxptrn(fill_pattern::solid, 1, 0);
}

int draw_string(const char* p, session_state* s) {
  float xy[2];
  if (!floats_at(p, xy, 2) || !(p = nxtwrd(p)))
    return refuse("DRAW error: Syntax is DRAW STRING x y string\n");
  std::string text = rest_at(p);
  int len = static_cast<int>(text.size());
  gxwide(s->string_thick);
  gxcolr(s->string_colour);
  float w = 0;
  gxchln(text.c_str(), len, s->strsiz_h, &w);
  float h = s->strsiz_v;
  float ang = s->string_rotation * 3.1416f / 180.0f;
  int j = s->string_just;
  if (j < 0 || j > 8) j = 0;
  float x = xy[0] - justx[j] * w * std::cos(ang);
  float y = xy[1] - justx[j] * w * std::sin(ang);
  x = x - justy[j] * h * std::cos(ang + 1.5708f);
  y = y - justy[j] * h * std::sin(ang + 1.5708f);
  gxchpl(text.c_str(), len, x, y, s->strsiz_v, s->strsiz_h, s->string_rotation);
  return 0;
}

int draw_rec(const char* p, session_state* s, bool filled) {
  float v[4];
  if (!floats_at(p, v, 4) || !(v[0] < v[2]) || !(v[1] < v[3]))
    return refuse(filled ? "DRAW error: Syntax is DRAW RECF xlo ylo xhi yhi\n"
                         : "DRAW error: Syntax is DRAW REC xlo ylo xhi yhi\n");
  float xlo = v[0], ylo = v[1], xhi = v[2], yhi = v[3];
  if (filled) {
    gxcolr(s->line_colour);
    pattern_on(s);
    gxrecf(xlo, xhi, ylo, yhi);
    pattern_off(s);
    return 0;
  }
  gxwide(s->line_thick);
  gxcolr(s->line_colour);
  gxstyl(s->line_style);
  gxplot(xlo, ylo, pen_code::move);
  gxplot(xhi, ylo, pen_code::draw);
  gxplot(xhi, yhi, pen_code::draw);
  gxplot(xlo, yhi, pen_code::draw);
  gxplot(xlo, ylo, pen_code::draw);
  return 0;
}

// "polyf" in page inches and "mappoly" in longitude and latitude.
int draw_poly(const char* p, session_state* s, bool map) {
  int words = 0;
  for (const char* q = p; q; q = nxtwrd(q)) words++;
  if (words < 6) return refuse("DRAW error: Syntax is DRAW POLYF x1 y1 x2 y2 ...\n");
  int n = words / 2;
  std::vector<float> xy;
  try {
    xy.resize(2 * static_cast<size_t>(n) + 2);
  } catch (const std::bad_alloc&) {
    return refuse("DRAW error: Memory allocation error\n");
  }
  int i = 0;
  for (const char* q = p; q && i < 2 * n; q = nxtwrd(q), i++)
    if (!valprs(q, &xy[i])) return refuse("DRAW error: Invalid polyf coordinate\n");
  if (xy[2 * n - 2] != xy[0] || xy[2 * n - 1] != xy[1]) {
    xy[2 * n] = xy[0];
    xy[2 * n + 1] = xy[1];
    n++;
  }
  if (map) {
    if (s->last_plot_idim != 0 || s->last_plot_jdim != 1)
      return refuse2("DRAW MAPPOLY error: Invalid Dimension Environment\n",
                     "                    X and Y must be varying\n");
    double dx = s->dim_max[0] - s->dim_min[0];
    double dy = s->dim_max[1] - s->dim_min[1];
    float step = static_cast<float>(std::sqrt(dx * dx + dy * dy) / 200.0);
    if (step < 0.0001f) step = 0.0001f;
    const std::optional<std::vector<float>> page = gxmpoly(xy.data(), n, step);
    if (!page) return refuse("DRAW MAPPOLY error: Memory allocation\n");
    const std::vector<float>& pts = *page;
    const int m = static_cast<int>(pts.size() / 2);
    gxcolr(s->line_colour);
    gxwide(1);
    gxstyl(1);
    if (m > 0) {
      gxplot(pts[0], pts[1], pen_code::move);
      for (int k = 1; k < m; k++) gxplot(pts[2 * k], pts[2 * k + 1], pen_code::draw);
    }
    pattern_on(s);
    gxfill(pts.data(), m);
    pattern_off(s);
    return 0;
  }
  gxcolr(s->line_colour);
  pattern_on(s);
  gxfill(xy.data(), n);
  pattern_off(s);
  return 0;
}

int draw_line(const char* p, session_state* s) {
  const char* syntax = "DRAW error: Syntax is DRAW LINE x1 y1 x2 y2\n";
  const char* invalid = "DRAW error: Invalid LINE coordinate\n";
  float xy[2];
  if (!p) return refuse(syntax);
  if (!valprs(p, &xy[0])) return refuse(invalid);
  if (!(p = nxtwrd(p))) return refuse(syntax);
  if (!valprs(p, &xy[1])) return refuse(invalid);
  gxwide(s->line_thick);
  gxcolr(s->line_colour);
  gxstyl(s->line_style);
  gxplot(xy[0], xy[1], pen_code::move);
  while ((p = nxtwrd(p))) {
    if (!valprs(p, &xy[0])) return refuse(invalid);
    // A last x alone is reported and ignored: every pair before it is drawn.
    if (!(p = nxtwrd(p))) {
      kaprnt(msg_level::error, "DRAW LINE error: Missing Y coordinate\n");
      return 0;
    }
    if (!valprs(p, &xy[1])) return refuse(invalid);
    gxplot(xy[0], xy[1], pen_code::draw);
  }
  return 0;
}

int draw_mark(const char* p, session_state* s) {
  int type;
  float v[3];
  if (!p || !intprs(p, &type) || !(p = nxtwrd(p)) || !floats_at(p, v, 3))
    return refuse("DRAW error: Syntax is DRAW MARK marktype x y size\n");
  gxwide(s->line_thick);
  gxcolr(s->line_colour);
  gxstyl(1);
  gxmark(type, v[0], v[1], v[2]);
  return 0;
}

// "title", "xlab", "ylab": kind 0, 1, 2. Each backslash ends a line.
int draw_label(const char* p, session_state* s, int kind) {
  if (!p) return refuse("DRAW error: Missing character string \n");
  std::vector<std::string> lines(1);
  bool skip = true;  // leading blanks and the blanks after a backslash
  for (; !at_end(*p); ++p) {
    if (skip && (*p == ' ' || *p == '\t')) continue;
    skip = false;
    if (*p == '\\') {
      lines.emplace_back();
      skip = true;
    } else {
      lines.back().push_back(*p);
    }
  }
  int n = static_cast<int>(lines.size());
  float sz;
  if (kind == 0)
    sz = n == 1 ? 0.2f : n == 2 ? 0.175f : n == 3 ? 0.15f : 0.125f;
  else
    sz = n == 1 ? 0.16f : n == 2 ? 0.14f : 0.12f;
  gxcolr(s->annot_colour);
  gxwide(s->annot_thick);
  float cx = s->plot_x_low + (s->plot_x_high - s->plot_x_low) / 2;
  float cy = s->plot_y_low + (s->plot_y_high - s->plot_y_low) / 2;
  float gap = 1.7f * sz;
  for (int i = 0; i < n; i++) {
    const std::string& t = lines[i];
    int len = static_cast<int>(t.size());
    float w = 0;
    gxchln(t.c_str(), len, sz, &w);
    if (kind == 0) {
      float y = s->plot_y_high + static_cast<float>(n - 1) * gap + 0.4f * sz + 0.1f -
                static_cast<float>(i) * gap;
      gxchpl(t.c_str(), len, cx - w / 2, y, 1.2f * sz, sz, 0);
    } else if (kind == 1) {
      float y = s->plot_y_low - gap - 0.3f - static_cast<float>(i) * gap;
      gxchpl(t.c_str(), len, cx - w / 2, y, 1.2f * sz, sz, 0);
    } else {
      float x = s->plot_x_low - s->ylpos_work - gap * static_cast<float>(n - 1) - sz +
                static_cast<float>(i) * gap;
      gxchpl(t.c_str(), len, x, cy - w / 2, 1.2f * sz, sz, 90);
    }
  }
  return 0;
}

// A button template in the current button colours.
button_widget button_template(const session_state* s) {
  const int* d = s->button_defaults;
  button_widget b;
  b.fc = d[0], b.bc = d[1], b.oc = d[2], b.oc2 = d[3];
  b.tfc = d[4], b.tbc = d[5], b.toc = d[6], b.toc2 = d[7];
  b.thick = d[8];
  return b;
}

void set_label(button_widget& b, const char* p) {
  b.text = rest_at(p);
  b.len = static_cast<int>(b.text.size());
}

int draw_button(const char* p, const session_state* s) {
  int num;
  float v[4];
  if (!p || !intprs(p, &num) || !(p = nxtwrd(p)) || !floats_at(p, v, 4) || !(p = nxtwrd(p)))
    return refuse2("DRAW error: Syntax is DRAW BUTTON number x y w h ", "string\n");
  button_widget b = button_template(s);
  b.x = v[0], b.y = v[1], b.w = v[2], b.h = v[3];
  b.state = 0;
  set_label(b, p);
  gxdpbn(num, &b, button_redraw::create, false, -1);
  return 0;
}

int draw_dropmenu(const char* p, const session_state* s) {
  int num;
  float v[4] = {0, 0, 0, 0};
  bool ok = p && intprs(p, &num) && (p = nxtwrd(p));
  const bool cascade = ok && cmpwrd("cascade", p);
  if (ok && !cascade) ok = floats_at(p, v, 4);
  if (!ok || !(p = nxtwrd(p)))
    return refuse2("DRAW error: Syntax is DRAW DROPMENU number x y w h ",
                   "string | string | ...\n");
  const int* d = s->dropmenu_defaults;
  drop_menu m;
  m.cascade = cascade ? 1 : 0;
  m.x = v[0], m.y = v[1], m.w = v[2], m.h = v[3];
  m.fc = d[0], m.bc = d[1], m.oc1 = d[2], m.oc2 = d[3];
  m.tfc = d[4], m.tbc = d[5], m.toc1 = d[6], m.toc2 = d[7];
  m.bfc = d[8], m.bbc = d[9], m.boc1 = d[10], m.boc2 = d[11];
  m.soc1 = d[12], m.soc2 = d[13], m.thick = d[14];
  m.text = rest_at(p);
  // Items follow one another as separate strings.
  for (char& c : m.text)
    if (c == '|') c = '\0';
  m.len = static_cast<int>(m.text.size());
  gxdrmu(num, &m, menu_redraw::create, -1);
  return 0;
}

int draw_text(const char* p, session_state* s) {
  float xy[2];
  if (!floats_at(p, xy, 2) || !nxtwrd(p))
    return refuse("DRAW error: Syntax is DRAW TEXT x y string\n");
  // Hardware text draws nothing in this system; only the colour is set.
  gxcolr(s->string_colour);
  return 0;
}

int draw_wxsym(const char* p, session_state* s) {
  int sym, colour = -1, thick = 3;
  float v[3];
  bool ok = p && intprs(p, &sym) && sym >= 1 && sym <= 43 && (p = nxtwrd(p)) && floats_at(p, v, 3);
  if (ok && (p = nxtwrd(p))) {
    ok = intprs(p, &colour) != nullptr;
    if (ok && (p = nxtwrd(p))) ok = intprs(p, &thick) != nullptr;
  }
  if (!ok) return refuse2("DRAW error: Syntax is DRAW WXSYM sym x y siz ", "<color <thick> >\n");
  gxwide(thick);
  gxstyl(1);
  wxsym(v[0], v[1], v[2], sym, colour, s->wxcols);
  return 0;
}

// Map outlines over the environment's longitude-latitude box in the current
// projection; nothing when either range is a single value.
int draw_map(session_state* s) {
  if (!(s->dim_min[0] < s->dim_max[0] && s->dim_min[1] < s->dim_max[1])) return 0;
  kamscl(s);
  kawmap(s, false);
  return 0;
}

}  // namespace

int kadraw(char* typed, session_state* pcm) {
  const char* p = nxtwrd(typed);
  if (!p) return refuse("DRAW error: Missing operand\n");
  char cmd[11];
  getwrd(cmd, p, 10);
  lowcas(cmd);
  const char* args = nxtwrd(p);
  if (cmpwrd("map", cmd)) return draw_map(pcm);
  if (cmpwrd("button", cmd)) return draw_button(args, pcm);
  if (cmpwrd("dropmenu", cmd)) return draw_dropmenu(args, pcm);
  if (cmpwrd("text", cmd)) return draw_text(args, pcm);
  if (cmpwrd("wxsym", cmd)) return draw_wxsym(args, pcm);
  if (cmpwrd("string", cmd)) return draw_string(args, pcm);
  if (cmpwrd("rec", cmd)) return draw_rec(args, pcm, false);
  if (cmpwrd("polyf", cmd)) return draw_poly(args, pcm, false);
  if (cmpwrd("mappoly", cmd)) return draw_poly(args, pcm, true);
  if (cmpwrd("recf", cmd)) return draw_rec(args, pcm, true);
  if (cmpwrd("line", cmd)) return draw_line(args, pcm);
  if (cmpwrd("mark", cmd)) return draw_mark(args, pcm);
  if (cmpwrd("title", cmd)) return draw_label(args, pcm, 0);
  if (cmpwrd("xlab", cmd)) return draw_label(args, pcm, 1);
  if (cmpwrd("ylab", cmd)) return draw_label(args, pcm, 2);
  return refuse("DRAW error:  Invalid operand\n");
}

int kardrw(char* typed, session_state* pcm) {
  const char* p = nxtwrd(typed);
  if (!p) return refuse("REDRAW error: Missing operand\n");
  char cmd[11];
  getwrd(cmd, p, 10);
  lowcas(cmd);
  if (!cmpwrd("button", cmd)) return refuse("REDRAW error:  Invalid operand\n");
  const char* syntax = "REDRAW error: Syntax is REDRAW BUTTON number state flag text\n";
  int num, state, flag;
  if (!(p = nxtwrd(p)) || !intprs(p, &num) || num < 0 || num > 255) return refuse(syntax);
  if (!(p = nxtwrd(p)) || !intprs(p, &state)) return refuse(syntax);
  flag = 0;
  if ((p = nxtwrd(p)) && !intprs(p, &flag)) return refuse(syntax);
  button_widget b = button_template(pcm);
  b.state = state;
  if (p && (p = nxtwrd(p))) set_label(b, p);  // the old label is released
  gxdpbn(num, &b, flag ? button_redraw::with_colours : button_redraw::with_text, false, state);
  return 0;
}
