// "set" keywords of the map projection and outlines, the page and plot area,
// clipping, frame and grid lines, axis orientation, the window's colour mode
// and double buffering.
#include <cmath>
#include <string>

#include "base/message.h"
#include "base/session.h"
#include "cmd/setopts.h"
#include "base/words.h"
#include "gx/gx.h"
#include "gx/proj.h"

using namespace setopt;

int setopt::on_off(const char* p) {
  if (!p) return -1;
  if (cmpwrd("on", p)) return 1;
  if (cmpwrd("off", p)) return 0;
  return -1;
}

int setopt::flag_switch(set_args& a, int* field) {
  int v = on_off(nxtwrd(a.lower));
  if (v < 0) return set_error(a.code);
  *field = v;
  return 0;
}

void setopt::style_thickness(const char* p, const char* name, int* style, int* thick) {
  int v;
  if (!(p = nxtwrd(p))) return;
  if (!intprs(p, &v)) {
    kaprntf(msg_level::error, "SET %s Error: Invalid linestyle value\n", name);
    return;
  }
  *style = v;
  if (!(p = nxtwrd(p))) return;
  if (!intprs(p, &v)) {
    kaprntf(msg_level::error, "SET %s Error: Invalid thickness value\n", name);
    return;
  }
  *thick = v;
}

int setopt::one_float(set_args& a, float* field, const char* name) {
  const char* p = nxtwrd(a.lower);
  float v;
  if (!p || !valprs(p, &v)) return set_error(a.code);
  *field = v;
  kaprntf(msg_level::result, "%s = %g \n", name, double(v));
  return 0;
}

int setopt::one_int(set_args& a, int* field, const char* name) {
  const char* p = nxtwrd(a.lower);
  int v;
  if (!p || !intprs(p, &v)) return set_error(a.code);
  *field = v;
  kaprntf(msg_level::result, "%s = %i \n", name, v);
  return 0;
}

namespace {

// Reads n floats from the words after p into v; false when one is missing
// or bad.
bool floats_after(const char* p, float* v, int n) {
  for (int i = 0; i < n; i++) {
    p = nxtwrd(p);
    if (!p || !valprs(p, &v[i])) return false;
  }
  return true;
}

}  // namespace

int set_mproj(set_args& a) {
  const char* p = nxtwrd(a.lower);
  const projection_kind* k = p ? projection_named(p) : nullptr;
  if (!k) return set_error(a.code);
  a.pcm->mproj = k->code;
  return 0;
}

int set_mpvals(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("off", p)) {
    s->mpvals_set = 0;
    kaprnt(msg_level::result, "mpvals have been turned off\n");
    return 0;
  }
  int n = 0;
  for (; p; p = nxtwrd(p)) {
    float v;
    if (n == 9 || !valprs(p, &v)) return set_error(a.code);
    s->mpvals[n++] = v;
  }
  s->mpvals_set = n;
  kaprnt(msg_level::result, "mpvals have been set\n");
  return 0;
}

int set_mpdset(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  for (auto& name : s->mpdset) name.clear();
  for (int i = 0; i < 8 && p; i++, p = nxtwrd(p)) {
    s->mpdset[i] = word_at(p);
    kaprnt(msg_level::result, "MPDSET file name = " + s->mpdset[i] + "\n");
  }
  return 0;
}

int set_mpdraw(set_args& a) { return flag_switch(a, &a.pcm->mpdraw); }

int set_mpt(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  int first = 0, last = 255;
  if (!cmpwrd("*", p)) {
    int t;
    if (!intprs(p, &t)) return set_error(a.code);
    first = last = t < 0 ? 0 : (t > 255 ? 255 : t);
  }
  p = nxtwrd(p);
  if (!p) return set_error(a.code);
  if (cmpwrd("off", p)) {
    for (int t = first; t <= last; t++) s->map_colour[t] = -9;
    return 0;
  }
  // Parsed first: a bad number leaves every type as it was.
  int colour, style = -1, thick = -1;
  if (!intprs(p, &colour)) return set_error(a.code);
  if (colour < -1) colour = -1;
  if ((p = nxtwrd(p))) {
    if (!intprs(p, &style)) return set_error(a.code);
    if (style < 1) style = 1;
    if ((p = nxtwrd(p))) {
      if (!intprs(p, &thick)) return set_error(a.code);
      if (thick < 1) thick = 1;
    }
  }
  for (int t = first; t <= last; t++) {
    s->map_colour[t] = colour;
    if (style > 0) s->map_style[t] = style;
    if (thick > 0) s->map_thick[t] = thick;
  }
  return 0;
}

int set_poli(set_args& a) {
  session_state* s = a.pcm;
  int v = on_off(nxtwrd(a.lower));
  if (v < 0) return set_error(a.code);
  for (int t = 1; t <= 2; t++) {
    if (v == 0)
      s->map_colour[t] = -9;
    else if (s->map_colour[t] == -9)
      s->map_colour[t] = -1;
  }
  return 0;
}

int set_map(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("auto", p)) {
    s->map_colour_default = -9;
  } else {
    int colour;
    if (!intprs(p, &colour)) return set_error(a.code);
    s->map_colour_default = colour;
    style_thickness(p, "MAP", &s->map_style_default, &s->map_thick_default);
  }
  if (s->map_colour_default < 0) {
    kaprnt(msg_level::result, "SET MAP values:  auto\n");
  } else {
    kaprntf(msg_level::result, "SET MAP values:  color = %i  style = %i", s->map_colour_default,
            s->map_style_default);
    kaprntf(msg_level::result, "  thickness = %i\n", s->map_thick_default);
  }
  // The values before a bad word are stored: the command did its work.
  return 0;
}

int set_vpage(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("off", p)) {
    s->page_width = s->real_page_width;
    s->page_height = s->real_page_height;
    gxvpag(s->page_width, s->page_height, 0, s->real_page_width, 0, s->real_page_height);
    kacln(s, 1);
    return 0;
  }
  float v[4];
  if (!valprs(p, &v[0]) || !floats_after(p, &v[1], 3)) return set_error(a.code);
  float xlo = v[0], xhi = v[1], ylo = v[2], yhi = v[3];
  if (xlo < 0 || ylo < 0 || xhi > s->real_page_width || yhi > s->real_page_height) {
    kaprnt(msg_level::error, "SET Error: vpage values beyond real page limits\n");
    return 1;
  }
  if (!(xlo < xhi && ylo < yhi)) return set_error(a.code);
  // The virtual page keeps the box's shape and one side of the real page.
  if (s->real_page_height / s->real_page_width < (yhi - ylo) / (xhi - xlo)) {
    s->page_height = s->real_page_height;
    s->page_width = (xhi - xlo) * s->real_page_height / (yhi - ylo);
  } else {
    s->page_width = s->real_page_width;
    s->page_height = (yhi - ylo) * s->real_page_width / (xhi - xlo);
  }
  gxvpag(s->page_width, s->page_height, xlo, xhi, ylo, yhi);
  kaprntf(msg_level::result, "Virtual page size = %g %g \n", s->page_width, s->page_height);
  kacln(s, 1);
  return 0;
}

int set_parea(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("off", p)) {
    s->parea_set = 0;
    return 0;
  }
  float v[4];
  if (!valprs(p, &v[0]) || !floats_after(p, &v[1], 3)) return set_error(a.code);
  if (v[0] < 0 || v[2] < 0 || v[1] > s->page_width || v[3] > s->page_height) {
    kaprnt(msg_level::error, "SET Error: parea values beyond page limits\n");
    return 1;
  }
  if (!(v[0] < v[1] && v[2] < v[3])) return set_error(a.code);
  for (int i = 0; i < 4; i++) s->parea[i] = v[i];
  s->parea_set = 1;
  return 0;
}

int set_clip(set_args& a) {
  session_state* s = a.pcm;
  float v[4];
  if (!floats_after(a.lower, v, 4)) return set_error(a.code);
  if (v[0] < 0 || v[2] < 0 || v[1] > s->real_page_width || v[3] > s->real_page_height ||
      !(v[0] < v[1] && v[2] < v[3]))
    return set_error(a.code);
  gxclip(v[0], v[1], v[2], v[3]);
  return 0;
}

int set_frame(set_args& a) {
  const char* p = nxtwrd(a.lower);
  int v = on_off(p);
  if (v < 0 && p && cmpwrd("circle", p)) v = 2;
  if (v < 0) return set_error(a.code);
  a.pcm->frame = v;
  return 0;
}

int set_gridopt(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  int mode = on_off(p);
  if (mode < 0 && p) {
    if (cmpwrd("horizontal", p))
      mode = 2;
    else if (cmpwrd("vertical", p))
      mode = 3;
  }
  if (mode < 0) return set_error(a.code);
  s->grid = mode;
  int v;
  if ((p = nxtwrd(p))) {
    if (!intprs(p, &v)) return set_error(a.code);
    s->grid_style = v;
    if ((p = nxtwrd(p))) {
      if (!intprs(p, &v)) return set_error(a.code);
      s->grid_colour = v;
    }
  }
  if (s->grid)
    kaprntf(msg_level::result, "grid is on, style %i color %i \n", s->grid_style, s->grid_colour);
  else
    kaprnt(msg_level::result, "grid is off\n");
  return 0;
}

int set_xyrev(set_args& a) { return flag_switch(a, &a.pcm->xyrev); }
int set_xflip(set_args& a) { return flag_switch(a, &a.pcm->xflip); }
int set_yflip(set_args& a) { return flag_switch(a, &a.pcm->yflip); }
int set_zlog(set_args& a) { return flag_switch(a, &a.pcm->zlog); }

int set_display(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("color", p))
    s->display_grey = 0;
  else if (cmpwrd("grey", p) || cmpwrd("greyscale", p))
    s->display_grey = 1;
  else
    return set_error(a.code);
  if ((p = nxtwrd(p))) {
    if (cmpwrd("white", p))
      s->display_white = 1;
    else if (cmpwrd("black", p))
      s->display_white = 0;
    else
      return set_error(a.code);
  }
  gxdbck(s->display_white != 0);
  gxgrey(s->display_grey != 0);
  return 0;
}

int set_background(set_args& a) {
  const char* p = nxtwrd(a.lower);
  int n;
  if (!p || !intprs(p, &n)) return set_error(a.code);
  kaprntf(msg_level::result, "background = %i \n", n);
  gxbckg(n);
  return 0;
}

int set_dbuff(set_args& a) {
  session_state* s = a.pcm;
  int v = on_off(nxtwrd(a.lower));
  if (v < 0) return set_error(a.code);
  if (v == 1) {
    s->dbuff = 1;
    gxfrme(frame_action::double_buffer);
    kacln(s, 1);
  } else if (s->dbuff) {
    s->dbuff = 0;
    gxfrme(frame_action::clear);
    kacln(s, 1);
  }
  return 0;
}

int set_xsize(set_args& a) {
  const char* p = nxtwrd(a.lower);
  int w, h;
  if (!p || !intprs(p, &w)) return set_error(a.code);
  if (!(p = nxtwrd(p)) || !intprs(p, &h)) return set_error(a.code);
  // A window can't be resized to nothing or to less.
  if (w < 1 || h < 1) return set_error(a.code);
  gxdxsz(w, h);
  gxfrme(frame_action::serve_events);
  return 0;
}
