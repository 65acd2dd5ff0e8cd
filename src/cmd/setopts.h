// "set" keywords of the map, page, axis, label, text, widget, colour and
// fill options (setmap.cpp, setaxis.cpp, setwidget.cpp), and the small word
// and value helpers they share with the other option and command files.
#pragma once

#include <string>

#include "cmd/setkw.h"

// Map, projection and page options (setmap.cpp).
int set_mproj(set_args& a);
int set_mpvals(set_args& a);
int set_mpdset(set_args& a);
int set_mpdraw(set_args& a);
int set_mpt(set_args& a);
int set_poli(set_args& a);
int set_map(set_args& a);
int set_vpage(set_args& a);
int set_parea(set_args& a);
int set_clip(set_args& a);
int set_frame(set_args& a);
int set_gridopt(set_args& a);
int set_xyrev(set_args& a);
int set_xflip(set_args& a);
int set_yflip(set_args& a);
int set_zlog(set_args& a);
int set_display(set_args& a);
int set_background(set_args& a);
int set_dbuff(set_args& a);
int set_xsize(set_args& a);

// Axis, label and text options (setaxis.cpp).
int set_xaxis(set_args& a);
int set_yaxis(set_args& a);
int set_vrange(set_args& a);
int set_vrange2(set_args& a);
int set_xlevs(set_args& a);
int set_ylevs(set_args& a);
int set_xlint(set_args& a);
int set_ylint(set_args& a);
int set_xlabs(set_args& a);
int set_ylabs(set_args& a);
int set_clab(set_args& a);
int set_xlab(set_args& a);
int set_ylab(set_args& a);
int set_xlopts(set_args& a);
int set_ylopts(set_args& a);
int set_xlpos(set_args& a);
int set_ylpos(set_args& a);
int set_tlsupp(set_args& a);
int set_annot(set_args& a);
int set_line(set_args& a);
int set_string(set_args& a);
int set_strsiz(set_args& a);
int set_font(set_args& a);
int set_vemra(set_args& a);
int set_timelab(set_args& a);

// Widget defaults, colours and fill (setwidget.cpp).
int set_button(set_args& a);
int set_dialog(set_args& a);
int set_dropmenu(set_args& a);
int set_rband(set_args& a);
int set_rgb(set_args& a);
int set_fill(set_args& a);

namespace setopt {

inline bool at_end(char c) { return c == '\0' || c == '\n'; }
inline bool blank(char c) { return c == ' ' || c == '\t'; }

// The typed text at the same position as p in the lower-cased line.
inline const char* typed_at(const set_args& a, const char* p) { return a.typed + (p - a.lower); }

// The word at p, up to a blank, newline or end.
inline std::string word_at(const char* p) {
  const char* e = p;
  while (!at_end(*e) && !blank(*e)) ++e;
  return std::string(p, e);
}

// The rest of the line from p, up to a newline or the end.
inline std::string rest_at(const char* p) {
  const char* e = p;
  while (!at_end(*e)) ++e;
  return std::string(p, e);
}

// "on" 1, "off" 0, anything else (or nothing) -1.
int on_off(const char* p);

// The next word as "on" or "off" stored in field; otherwise the option's
// error.
int flag_switch(set_args& a, int* field);

// The next word as a number stored in field and reported as "name = value";
// otherwise the option's error.
int one_float(set_args& a, float* field, const char* name);
int one_int(set_args& a, int* field, const char* name);

// The optional line style and thickness words after the one at p; a bad
// word is reported as "SET <name> Error: ..." and ends the reading, the
// values before it kept.
void style_thickness(const char* p, const char* name, int* style, int* thick);

// "xlopts"/"ylopts"/"clopts": colour and optional thickness and size,
// reported under name; 0 done, 1 refused.
int label_opts(set_args& a, int* colour, int* thick, float* size, const char* name);

}  // namespace setopt
