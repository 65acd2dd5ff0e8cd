// Keyword blocks of the "set" command. Each option group implements its
// keywords as set_handler functions and names them in the keyword chain of
// set.cpp.
#pragma once

struct session_state;

struct set_args {
  char* lower;  // the lower-cased command at the keyword
  char* typed;  // the command as typed, at the same position
  session_state* pcm;
  int code;  // index of the keyword's upper-case name in kwds
};

// Returns 0 when the session was changed, 1 after a level-0 message.
using set_handler = int (*)(set_args& args);

// Upper-case keyword names (110 entries), for messages only.
extern const char* const kwds[110];

// Index of an upper-case name in kwds, or -1.
int set_code(const char* name);

// "SET error:  Missing or invalid arguments for NAME option"; returns 1.
int set_error(int code);

// Output type and non-graphic output keywords (setgxout.cpp).
int set_gxout(set_args& a);
int set_fwrite(set_args& a);
int set_writegds(set_args& a);
int set_imprun(set_args& a);
int set_stat(set_args& a);
int set_stnprint(set_args& a);
int set_prnopts(set_args& a);

// Contour and shading keywords (setcontour.cpp).
int set_cint(set_args& a);
int set_cmin(set_args& a);
int set_cmax(set_args& a);
int set_cmark(set_args& a);
int set_cthick(set_args& a);
int set_cstyle(set_args& a);
int set_ccolor(set_args& a);
int set_clevs(set_args& a);
int set_ccols(set_args& a);
int set_rbcols(set_args& a);
int set_fgvals(set_args& a);
int set_csmooth(set_args& a);
int set_cterp(set_args& a);
int set_rbrange(set_args& a);
int set_black(set_args& a);
int set_clskip(set_args& a);
int set_clopts(set_args& a);

// "set lats" (setlats.cpp).
int set_lats(set_args& a);

// "set defval" (define.cpp).
int set_defval(set_args& a);
