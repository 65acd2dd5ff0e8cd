// "set" keywords of the axes and their labels, the label formats, and the
// attributes of text and lines drawn by the plots and the draw command.
#include <cstdint>
#include <string>

#include "base/message.h"
#include "base/session.h"
#include "cmd/setopts.h"
#include "base/userfmt.h"
#include "base/words.h"
#include "gx/gx.h"

using namespace setopt;

namespace {

const char* const justs[9] = {"bl", "bc", "br", "l", "c", "r", "tl", "tc", "tr"};

int axis_range(set_args& a, float* range, float* incr, int* set, bool strict, const char* name) {
  const char* p = nxtwrd(a.lower);
  float lo, hi;
  if (!p || !valprs(p, &lo)) return set_error(a.code);
  if (!(p = nxtwrd(p)) || !valprs(p, &hi)) return set_error(a.code);
  range[0] = lo;
  range[1] = hi;
  *set = 1;
  *incr = 0;
  if ((p = nxtwrd(p))) {
    float v;
    if (valprs(p, &v))
      *incr = v;
    else if (strict || beyond_float_range(p))
      return set_error(a.code);
  }
  kaprntf(msg_level::result, "%s labels range %g %g incr %g \n", name, range[0], range[1], *incr);
  return 0;
}

int levels(set_args& a, float* levs, int* count, const char* name) {
  float v[50];
  int n = 0;
  for (const char* p = nxtwrd(a.lower); p; p = nxtwrd(p)) {
    if (n == 49 || !valprs(p, &v[n])) return set_error(a.code);
    n++;
  }
  for (int i = 0; i < n; i++) levs[i] = v[i];
  *count = n;
  kaprntf(msg_level::result, "Number of %s = %i \n", name, n);
  return 0;
}

// Label texts: each "|" ends one label; kept NUL-separated.
int label_list(set_args& a, std::string* list, int* count) {
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("off", p)) {
    list->clear();
    *count = 0;
    return 0;
  }
  std::string text = rest_at(typed_at(a, p));
  int n = 1;
  for (char& c : text)
    if (c == '|') {
      c = '\0';
      n++;
    }
  *list = text;
  *count = n;
  return 0;
}

// "clab", "xlab", "ylab": mode words, "auto", or a label format. A format
// is handed to printf with the label value, so it must hold exactly one
// floating conversion.
int label_mode(set_args& a, int* mode, std::string* format) {
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("on", p))
    *mode = 1;
  else if (cmpwrd("off", p))
    *mode = 0;
  else if (cmpwrd("forced", p))
    *mode = 2;
  else if (cmpwrd("auto", p))
    format->clear();
  else {
    std::string text = rest_at(typed_at(a, p));
    if (!kafmtok(text.c_str())) return set_error(a.code);
    *format = text;
    kaprnt(msg_level::result, "Substitution string is: " + text + "\n");
  }
  return 0;
}

// "xlpos"/"ylpos": offset and optional side word; 0 done, 1 refused.
int label_pos(set_args& a, float* offset, int* side, const char* one, const char* one_long,
              const char* zero, const char* zero_long) {
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  float v;
  if (!valprs(p, &v)) {
    kaprnt(msg_level::error, "SET XLPOS(YLPOS) Syntax Error");
    kaprnt(msg_level::error, "  Syntax is: SET XLPOS offset side\n");
    return 1;
  }
  *offset = v;
  if ((p = nxtwrd(p))) {
    if (cmpwrd(one, p) || cmpwrd(one_long, p))
      *side = 1;
    else if (cmpwrd(zero, p) || cmpwrd(zero_long, p))
      *side = 0;
  }
  return 0;
}

}  // namespace

int setopt::label_opts(set_args& a, int* colour, int* thick, float* size, const char* name) {
  const char* p = nxtwrd(a.lower);
  int c, t = *thick;
  float z = *size;
  if (!p || !intprs(p, &c)) return set_error(a.code);
  bool ok = true;
  if ((p = nxtwrd(p))) {
    ok = intprs(p, &t) != nullptr;
    if (ok && (p = nxtwrd(p))) ok = valprs(p, &z) != nullptr;
  }
  if (!ok) {
    kaprnt(msg_level::error, "SET XLOPTS(YLOPTS,CLOPTS) Syntax Error");
    kaprnt(msg_level::error, "  Syntax is: SET XLOPTS color thickness size");
    return 1;
  }
  *colour = c;
  *thick = t;
  *size = z;
  kaprntf(msg_level::result, "SET %s values:  Color = %i Thickness = %i", name, c, t);
  kaprntf(msg_level::result, " Size = %g\n", z);
  return 0;
}

int set_xaxis(set_args& a) {
  session_state* s = a.pcm;
  return axis_range(a, s->xaxis_range, &s->xaxis_incr, &s->xaxis_set, false, "xaxis");
}

int set_yaxis(set_args& a) {
  session_state* s = a.pcm;
  return axis_range(a, s->yaxis_range, &s->yaxis_incr, &s->yaxis_set, true, "yaxis");
}

int set_vrange(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("auto", p)) {
    s->vrange_set = 0;
    return 0;
  }
  float v;
  if (!valprs(p, &v)) return set_error(a.code);
  s->vrange[0] = v;
  s->vrange_set = 0;
  if (!(p = nxtwrd(p)) || !valprs(p, &v)) return set_error(a.code);
  s->vrange[1] = v;
  s->vrange_set = -1;
  kaprntf(msg_level::result, "1-D axis limits set: %g to %g \n", s->vrange[0], s->vrange[1]);
  return 0;
}

int set_vrange2(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  float v;
  if (!p || !valprs(p, &v)) return set_error(a.code);
  s->vrange2[0] = v;
  s->vrange2_set = 0;
  if (!(p = nxtwrd(p)) || !valprs(p, &v)) return set_error(a.code);
  s->vrange2[1] = v;
  s->vrange2_set = -1;
  kaprntf(msg_level::result, "Scatter Y axis limits set: %g to %g \n", s->vrange2[0],
          s->vrange2[1]);
  return 0;
}

int set_xlevs(set_args& a) { return levels(a, a.pcm->xlevs, &a.pcm->xlevs_count, "xlevs"); }
int set_ylevs(set_args& a) { return levels(a, a.pcm->ylevs, &a.pcm->ylevs_count, "ylevs"); }
int set_xlint(set_args& a) { return one_float(a, &a.pcm->xlint, "xlint"); }
int set_ylint(set_args& a) { return one_float(a, &a.pcm->ylint, "ylint"); }
int set_xlabs(set_args& a) { return label_list(a, &a.pcm->xlabs_list, &a.pcm->xlabs_count); }
int set_ylabs(set_args& a) { return label_list(a, &a.pcm->ylabs_list, &a.pcm->ylabs_count); }
int set_clab(set_args& a) { return label_mode(a, &a.pcm->clab, &a.pcm->clab_format); }
int set_xlab(set_args& a) { return label_mode(a, &a.pcm->xlab, &a.pcm->xlab_format); }
int set_ylab(set_args& a) { return label_mode(a, &a.pcm->ylab, &a.pcm->ylab_format); }

int set_xlopts(set_args& a) {
  session_state* s = a.pcm;
  return label_opts(a, &s->xlopts_colour, &s->xlopts_thick, &s->xlopts_size, "XLOPTS");
}

int set_ylopts(set_args& a) {
  session_state* s = a.pcm;
  return label_opts(a, &s->ylopts_colour, &s->ylopts_thick, &s->ylopts_size, "YLOPTS");
}

int set_xlpos(set_args& a) {
  session_state* s = a.pcm;
  if (label_pos(a, &s->xlpos_offset, &s->xlpos_side, "t", "top", "b", "bottom")) return 1;
  kaprntf(msg_level::result, "SET XLPOS values:  Offset = %g  Side = ", s->xlpos_offset);
  kaprnt(msg_level::result, s->xlpos_side ? "Top\n" : "Bottom\n");
  return 0;
}

int set_ylpos(set_args& a) {
  session_state* s = a.pcm;
  if (label_pos(a, &s->ylpos_offset, &s->ylpos_side, "r", "right", "l", "left")) return 1;
  s->ylpos_set = 1;
  kaprntf(msg_level::result, "SET YLPOS values:  Offset = %g  Side = ", s->ylpos_offset);
  kaprnt(msg_level::result, s->ylpos_side ? "Right\n" : "Left\n");
  return 0;
}

int set_tlsupp(set_args& a) {
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("yr", p) || cmpwrd("year", p))
    a.pcm->tlsupp = 1;
  else if (cmpwrd("mo", p) || cmpwrd("month", p))
    a.pcm->tlsupp = 2;
  else
    return set_error(a.code);  // "off" too: only clearing the plot turns it off
  return 0;
}

int set_annot(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  int v;
  if (!p || !intprs(p, &v)) return set_error(a.code);
  s->annot_colour = v;
  if ((p = nxtwrd(p))) {
    // The display list keeps a thickness in 16 bits, and the plots draw
    // some lines thinner than it: a thickness past that is none.
    if (!intprs(p, &v) || v < INT16_MIN || v > INT16_MAX)
      kaprnt(msg_level::error, "SET ANNOT Error: Invalid thickness value\n");
    else
      s->annot_thick = v;
  }
  kaprntf(msg_level::result, "SET ANNOT values:  color = %i  thickness = %i\n", s->annot_colour,
          s->annot_thick);
  return 0;
}

int set_line(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  int v;
  if (!p || !intprs(p, &v)) return set_error(a.code);
  s->line_colour = v;
  style_thickness(p, "LINE", &s->line_style, &s->line_thick);
  kaprntf(msg_level::result, "SET LINE values:  color = %i  style = %i", s->line_colour,
          s->line_style);
  kaprntf(msg_level::result, "  thickness = %i\n", s->line_thick);
  return 0;
}

int set_string(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  int v;
  if (!p || !intprs(p, &v)) return set_error(a.code);
  s->string_colour = v;
  if ((p = nxtwrd(p))) {
    int j = -1;
    for (int i = 0; i < 9; i++)
      if (cmpwrd(justs[i], p)) j = i;
    if (j < 0) {
      kaprnt(msg_level::error, "SET STRING Error: Invalid justification value\n");
    } else {
      s->string_just = j;
      if ((p = nxtwrd(p))) {
        if (!intprs(p, &v)) {
          kaprnt(msg_level::error, "SET STRING Error: Invalid thickness value\n");
        } else {
          s->string_thick = v;
          float r;
          if ((p = nxtwrd(p))) {
            if (!valprs(p, &r))
              kaprnt(msg_level::error, "SET STRING Error: Invalid rotation value\n");
            else
              s->string_rotation = r;
          }
        }
      }
    }
  }
  kaprntf(msg_level::result, "SET STRING values:  color = %i  just = %s", s->string_colour,
          justs[s->string_just]);
  kaprntf(msg_level::result, "  thickness = %i  rotation = %g\n", s->string_thick,
          s->string_rotation);
  return 0;
}

int set_strsiz(set_args& a) {
  session_state* s = a.pcm;
  const char* p = nxtwrd(a.lower);
  float h;
  if (!p || !valprs(p, &h)) return set_error(a.code);
  float v = h;
  if ((p = nxtwrd(p)) && !valprs(p, &v)) {
    kaprnt(msg_level::error, "SET STRSIZ Error:  Invalid vsize value\n");
    v = h;
  }
  s->strsiz_h = h;
  s->strsiz_v = v;
  kaprntf(msg_level::result, "SET STRSIZ values:  hsize = %g  vsize = %g\n", h, v);
  return 0;
}

int set_font(set_args& a) {
  const char* p = nxtwrd(a.lower);
  int n;
  if (!p || !intprs(p, &n)) return set_error(a.code);
  if (n < 0 || n > 9) {
    kaprnt(msg_level::error, "SET FONT Error: font must be 0 to 9\n");
    return 1;
  }
  gxchdf(n);
  return 0;
}

int set_vemra(set_args& a) {
  int v = on_off(nxtwrd(a.lower));
  if (v < 0) return set_error(a.code);
  a.pcm->logo = v;
  if (v == 0) a.pcm->timelab = 0;
  return 0;
}

int set_timelab(set_args& a) { return flag_switch(a, &a.pcm->timelab); }
