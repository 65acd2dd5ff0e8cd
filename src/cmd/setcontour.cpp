// "set" keywords of contour and shaded plots: interval and levels, colours,
// line appearance, contour labels and the blanked range.
#include "base/message.h"
#include "base/session.h"
#include "cmd/setkw.h"
#include "cmd/setopts.h"
#include "base/words.h"
#include "gx/gx.h"

using setopt::label_opts;
using setopt::one_float;
using setopt::one_int;

namespace {

// Reads words into list until the line ends; more than max words is an
// error. The count is stored only on success.
template <typename T, typename Parse>
int list_of(set_args& a, T* list, int max, int* count, Parse parse) {
  int n = 0;
  for (const char* p = nxtwrd(a.lower); p; p = nxtwrd(p)) {
    if (n == max || !parse(p, &list[n])) return set_error(a.code);
    n++;
  }
  *count = n;
  return 0;
}

bool parse_float(const char* p, float* v) { return valprs(p, v) != nullptr; }
bool parse_int(const char* p, int* v) { return intprs(p, v) != nullptr; }

int on_off_word(set_args& a, int* field, bool linear) {
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("on", p))
    *field = 1;
  else if (cmpwrd("off", p))
    *field = 0;
  else if (linear && cmpwrd("linear", p))
    *field = 2;
  else
    return set_error(a.code);
  return 0;
}

}  // namespace

int set_cint(set_args& a) { return one_float(a, &a.pcm->cint, "cint"); }
int set_cmin(set_args& a) { return one_float(a, &a.pcm->cmin, "cmin"); }
int set_cmax(set_args& a) { return one_float(a, &a.pcm->cmax, "cmax"); }
int set_cmark(set_args& a) { return one_int(a, &a.pcm->cmark, "cmark"); }
int set_cthick(set_args& a) { return one_int(a, &a.pcm->cthick, "cthick"); }

int set_cstyle(set_args& a) {
  const char* p = nxtwrd(a.lower);
  int v;
  if (!p || !intprs(p, &v)) return set_error(a.code);
  a.pcm->cstyle = v;
  if (v == 0)
    kaprnt(msg_level::result, "WARNING cstyle = 0 ; no lines will be plotted; I suggest 1 ...\n");
  else
    kaprntf(msg_level::result, "cstyle = %i \n", v);
  return 0;
}

int set_ccolor(set_args& a) {
  const char* p = nxtwrd(a.lower);
  if (p && cmpwrd("rainbow", p)) {
    a.pcm->ccolor = -1;
    kaprnt(msg_level::result, "ccolor = rainbow \n");
    return 0;
  }
  if (p && cmpwrd("revrain", p)) {
    a.pcm->ccolor = -2;
    kaprnt(msg_level::result, "ccolor = reverse rainbow \n");
    return 0;
  }
  return one_int(a, &a.pcm->ccolor, "ccolor");
}

int set_clevs(set_args& a) {
  if (list_of(a, a.pcm->clevs, 98, &a.pcm->clevs_count, parse_float)) return 1;
  kaprntf(msg_level::result, "Number of clevs = %i \n", a.pcm->clevs_count);
  return 0;
}

int set_ccols(set_args& a) {
  if (list_of(a, a.pcm->ccols, 98, &a.pcm->ccols_count, parse_int)) return 1;
  kaprntf(msg_level::result, "Number of ccols = %i\n", a.pcm->ccols_count);
  if (a.pcm->clevs_count == 0)
    kaprnt(msg_level::result, "ccols won't take effect unless clevs are set.\n");
  return 0;
}

int set_rbcols(set_args& a) {
  const char* p = nxtwrd(a.lower);
  if (!p || cmpwrd("auto", p)) {
    a.pcm->rbcols_count = 0;
    kaprnt(msg_level::result, "Rainbow colors set to auto\n");
    return 0;
  }
  if (list_of(a, a.pcm->rbcols, 99, &a.pcm->rbcols_count, parse_int)) return 1;
  kaprntf(msg_level::result, "Number of rainbow colors = %i\n", a.pcm->rbcols_count);
  return 0;
}

int set_fgvals(set_args& a) {
  session_state* s = a.pcm;
  int n = 0;
  for (const char* p = nxtwrd(a.lower); p; p = nxtwrd(p)) {
    if (n == 48 || !intprs(p, &s->fgvals_values[n])) return set_error(a.code);
    if (!(p = nxtwrd(p)) || !intprs(p, &s->fgvals_colours[n])) return set_error(a.code);
    n++;
  }
  s->fgvals_count = n;
  kaprnt(msg_level::result, "fgvals set\n");
  return 0;
}

int set_csmooth(set_args& a) { return on_off_word(a, &a.pcm->csmooth, true); }
int set_cterp(set_args& a) { return on_off_word(a, &a.pcm->cterp, false); }

int set_rbrange(set_args& a) {
  const char* p = nxtwrd(a.lower);
  float lo, hi;
  if (!p || !valprs(p, &lo)) return set_error(a.code);
  if (!(p = nxtwrd(p)) || !valprs(p, &hi)) return set_error(a.code);
  if (!(lo < hi)) return set_error(a.code);
  a.pcm->rbrange[0] = lo;
  a.pcm->rbrange[1] = hi;
  return 0;
}

int set_black(set_args& a) {
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(a.code);
  if (cmpwrd("off", p)) {
    a.pcm->black_set = 0;
    return 0;
  }
  if (!valprs(p, &a.pcm->black_range[0])) return set_error(a.code);
  if (!(p = nxtwrd(p)) || !valprs(p, &a.pcm->black_range[1])) return set_error(a.code);
  a.pcm->black_set = 1;
  return 0;
}

int set_clskip(set_args& a) {
  const char* p = nxtwrd(a.lower);
  int n;
  if (!p || !intprs(p, &n) || n < 1) return set_error(a.code);
  if ((p = nxtwrd(p))) {
    float d;
    if (!valprs(p, &d)) return set_error(a.code);
    gxclmn(d);
  }
  a.pcm->clskip = n;
  return 0;
}

int set_clopts(set_args& a) {
  return label_opts(a, &a.pcm->clopts_colour, &a.pcm->clopts_thick, &a.pcm->clopts_size, "CLOPTS");
}
