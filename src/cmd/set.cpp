// The "set" command: keyword matching, the messages all keywords share, and
// the keywords of the dimension environment, looping and data warnings.
// Keywords of the other option groups are entries of the same chain.
#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>

#include "cmd/commands.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/session.h"
#include "cmd/setkw.h"
#include "cmd/setopts.h"
#include "cmd/setvector.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/filerec.h"
#include "data/reader.h"

// Upper-case keyword names, used only in this command's messages.
const char* const kwds[110] = {
    "X",       "Y",        "Z",          "T",        "LON",       "LAT",      "LEV",    "TIME",
    "CINT",    "CSTYLE",   "CCOLOR",     "LOOPDIM",  "LOOPING",   "LOOPINCR", "DFILE",  "VRANGE",
    "CSMOOTH", "GRID",     "CMARK",      "XAXIS",    "YAXIS",     "GXOUT",    "BLACK",  "DIGNUM",
    "DIGSIZ",  "CMIN",     "CMAX",       "ARRSCL",   "ARRSIZ",    "CLEVS",    "STID",   "VEMRA",
    "CLAB",    "MPROJ",    "CTERP",      "XSIZE",    "CCOLS",     "MPVALS",   "MPDSET", "VPAGE",
    "PAREA",   "LINE",     "STRING",     "STRSIZ",   "RGB",       "FGVALS",   "MAP",    "BARBASE",
    "BARGAP",  "CTHICK",   "MPDRAW",     "POLI",     "DBUFF",     "XYREV",    "XFLIP",  "YFLIP",
    "ANNOT",   "DISPLAY",  "BACKGROUND", "RBCOLS",   "RBRANGE",   "MISSCONN", "IMPRUN", "ZLOG",
    "STRMDEN", "FRAME",    "CLIP",       "VRANGE2",  "ARROWHEAD", "MDLOPTS",  "XLOPTS", "YLOPTS",
    "CLOPTS",  "XLAB",     "YLAB",       "XLEVS",    "YLEVS",     "XLINT",    "YLINT",  "MISSWARN",
    "BUTTON",  "DEFVAL",   "BAROPTS",    "LFCOLS",   "WXCOLS",    "FONT",     "FWRITE", "XLPOS",
    "YLPOS",   "CLSKIP",   "RBAND",      "ARRLAB",   "MPT",       "WXOPT",    "XLABS",  "YLABS",
    "FILL",    "DROPMENU", "LATS",       "TIMELAB",  "WARN",      "STNPRINT", "STAT",   "TLSUPP",
    "GRIDLN",  "HEMPREF",  "PRNOPTS",    "DATAWARN", "DIALOG",    "WRITEGDS"};

int set_code(const char* name) {
  for (int i = 0; i < 110; i++)
    if (std::string(kwds[i]) == name) return i;
  return -1;
}

int set_error(int code) {
  kaprnt(msg_level::error, "SET error:  Missing or invalid arguments ");
  kaprntf(msg_level::error, "for %s option\n", kwds[code]);
  return 1;
}

namespace {

enum {
  kX = 0,
  kY,
  kZ,
  kT,
  kLon,
  kLat,
  kLev,
  kTime,
  kLoopdim = 11,
  kLooping = 12,
  kLoopincr = 13,
  kDfile = 14,
  kMisswarn = 79,
  kWarn = 100,
  kDatawarn = 107
};

int no_files() {
  kaprnt(msg_level::error, "SET Error:  No files open yet\n");
  return 1;
}

void print_times(const session_state* pcm) {
  const date_time& a = pcm->time_start;
  const date_time& b = pcm->time_end;
  kaprnt(msg_level::result, "Time values set: ");
  kaprntf(msg_level::result, "%li:%li:%li:%li ", long(a.year), long(a.month), long(a.day),
          long(a.hour));
  kaprntf(msg_level::result, "%li:%li:%li:%li \n", long(b.year), long(b.month), long(b.day),
          long(b.hour));
}

// "on" or "off": 1, 0, or -1 for anything else.
int on_off(const char* p) {
  if (!p) return -1;
  if (cmpwrd("on", p)) return 1;
  if (cmpwrd("off", p)) return 0;
  return -1;
}

// A grid-coordinate value of "x", "y", "z", "t"; "last" stands for the last
// time along t. Read in double, which holds every whole number an index can.
bool grid_value(const char* p, int dim, const file_descriptor* pfi, double* v) {
  if (dim == 3 && cmpwrd("last", p)) {
    *v = pfi->t_size;
    return true;
  }
  return dblprs(p, v) != nullptr;
}

// A grid index is an int: a coordinate past the range the readers keep
// (2e9, as they do) is no point of any grid.
bool indexable(double g) { return std::fabs(g) < 2.0e9; }

// A time grid coordinate names a date only when that date leads back to it:
// past about a million years from the axis start the dates are held there.
bool dated(const float* ts, double g) {
  if (!indexable(g)) return false;
  date_time t;
  gr2t(ts, g, &t);
  const double back = t2gr_exact(ts, &t);
  return std::fabs(back - g) <= 0.5 + std::fabs(g) * DBL_EPSILON;
}

// Floats either side of a world value tried for one that leads back.
constexpr int kNudges = 64;

// Grid steps between a float world value of dimension dim and the next float.
double float_step(const file_descriptor* pfi, int dim, float w) {
  auto to_grid = [&](float v) -> double {
    return pfi->world_to_grid[dim](pfi->world_to_grid_scaling[dim], v);
  };
  return std::fabs(to_grid(std::nextafter(w, HUGE_VALF)) - to_grid(w));
}

// The environment keeps x, y and z as float world values, from which the
// reads find the grid index again. The world values w of the grid
// coordinates g (g[0] alone when fixed), unless a float cannot hold the
// coordinate or its world value is too coarse to lead the reads back to it
// (the fixed index within 0.001, a range's ends as floor and ceiling).
bool leads_back(const file_descriptor* pfi, int dim, const double g[2], bool fixed, float w[2]) {
  for (int i = 0; i < (fixed ? 1 : 2); i++) {
    const auto gf = static_cast<float>(g[i]);
    if (g[i] == std::floor(g[i]) && double(gf) != g[i]) return false;
    w[i] = pfi->grid_to_world[dim](pfi->grid_to_world_scaling[dim], gf);
    if (!std::isfinite(w[i])) return false;
    auto same = [&](float v) {
      const double back = world_grid(pfi, dim, v, fixed ? world_use::fixed : world_use::range_end);
      long long k;
      return fixed    ? grid_point(back, &k) && double(k) == g[i]
             : i == 0 ? range_first(back) == range_first(g[i])
                      : range_last(back) == range_last(g[i]);
    };
    // The two conversions round apart (a start of -89 by 0.02225 comes back
    // as 0.99976): the nearest float that leads back names the same point.
    bool held = same(w[i]);
    float up = w[i], down = w[i];
    for (int k = 0; k < kNudges && !held; k++) {
      up = std::nextafter(up, HUGE_VALF);
      down = std::nextafter(down, -HUGE_VALF);
      for (float v : {up, down}) {
        if (!held && std::isfinite(v) && same(v)) {
          w[i] = v;
          held = true;
        }
      }
    }
    // An axis that maps several coordinates to one value (a single level)
    // leads back to its own point however fine the float.
    if (!held && float_step(pfi, dim, w[i]) >= 0.0001) return false;
  }
  if (fixed) w[1] = w[0];
  return true;
}

// As leads_back; a cyclic x coordinate that does not lead back is first moved
// by whole turns of the axis, worked out exactly on whole numbers.
bool hold_grid(const file_descriptor* pfi, int dim, double g[2], bool fixed, float w[2]) {
  if (leads_back(pfi, dim, g, fixed, w)) return true;
  if (dim != 0 || !pfi->x_wraps || pfi->x_size < 1) return false;
  const double n = x_turn(pfi);
  const double turns = std::floor((g[0] - 1.0) / n) * n;
  g[0] -= turns;
  g[1] -= turns;
  return leads_back(pfi, dim, g, fixed, w);
}

int set_grid(set_args& a, int dim) {
  session_state* pcm = a.pcm;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(dim);
  file_descriptor* pfi = pcm->default_file;
  if (!pfi) return no_files();
  double g[2];
  if (!grid_value(p, dim, pfi, &g[0])) return set_error(dim);
  g[1] = g[0];
  int count = 1;
  if (const char* q = nxtwrd(p)) {
    if (!grid_value(q, dim, pfi, &g[1])) return set_error(dim);
    count = g[0] == g[1] ? 1 : 2;
  }
  int varying = count - 1;
  if (!holds_stations(pfi) && count == 1) {
    g[0] = g[1] = std::floor(g[0] + 0.5);
    varying = 0;
  }
  if (dim == 3) {
    const float* ts = pfi->grid_to_world_scaling[3];
    if (!dated(ts, g[0]) || !dated(ts, g[1])) return set_error(dim);
    pcm->dim_varying[dim] = varying;
    gr2t(ts, g[0], &pcm->time_start);
    if (count == 1)
      pcm->time_end = pcm->time_start;
    else
      gr2t(ts, g[1], &pcm->time_end);
    print_times(pcm);
    return 0;
  }
  float w[2];
  if (holds_stations(pfi)) {
    // Station files take the values as given, within the float range.
    if (!(std::fabs(g[0]) <= FLT_MAX) || !(std::fabs(g[1]) <= FLT_MAX)) return set_error(dim);
    w[0] = static_cast<float>(g[0]);
    w[1] = static_cast<float>(g[1]);
  } else {
    if (!indexable(g[0]) || !indexable(g[1])) return set_error(dim);
    // A coordinate no float world value leads back to is refused rather
    // than moved to a neighbouring point.
    if (!hold_grid(pfi, dim, g, count == 1, w)) return set_error(dim);
  }
  pcm->dim_varying[dim] = varying;
  pcm->dim_min[dim] = w[0];
  pcm->dim_max[dim] = w[1];
  kaprntf(msg_level::result, "%s set to %g %g \n", kwds[dim + 4], pcm->dim_min[dim],
          pcm->dim_max[dim]);
  return 0;
}

int set_world(set_args& a, int dim) {
  session_state* pcm = a.pcm;
  int code = dim + 4;
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(code);
  file_descriptor* pfi = pcm->default_file;
  if (!pfi) return no_files();
  // Parsed into locals: a bad second value leaves the environment alone.
  float lo, hi;
  if (!valprs(p, &lo)) return set_error(code);
  hi = lo;
  int count = 1;
  if (const char* q = nxtwrd(p)) {
    if (!valprs(q, &hi)) return set_error(code);
    count = lo == hi ? 1 : 2;
  }
  int varying = count - 1;
  if (!holds_stations(pfi)) {
    // A world value whose grid coordinate no grid index holds is refused as
    // set x, y and z refuse the coordinate itself.
    const world_use use = count == 1 ? world_use::fixed : world_use::range_end;
    auto to_grid = [&](float w) { return world_grid(pfi, dim, w, use); };
    if (!indexable(to_grid(lo)) || !indexable(to_grid(hi))) return set_error(code);
    // A world value whose float neighbours lie half a grid step apart or
    // more names no grid point of its own.
    if (float_step(pfi, dim, lo) >= 0.5 || float_step(pfi, dim, hi) >= 0.5) return set_error(code);
    if (count == 1) {
      double g[2];
      g[0] = g[1] = std::floor(to_grid(lo) + 0.5);
      float w[2];
      if (!hold_grid(pfi, dim, g, true, w)) return set_error(code);
      lo = hi = w[0];
      varying = 0;
    }
  }
  pcm->dim_min[dim] = lo;
  pcm->dim_max[dim] = hi;
  pcm->dim_varying[dim] = varying;
  kaprntf(msg_level::result, "%s set to %g %g \n", kwds[code], lo, hi);
  return 0;
}

int set_x(set_args& a) { return set_grid(a, 0); }
int set_y(set_args& a) { return set_grid(a, 1); }
int set_z(set_args& a) { return set_grid(a, 2); }
int set_t(set_args& a) { return set_grid(a, 3); }
int set_lon(set_args& a) { return set_world(a, 0); }
int set_lat(set_args& a) { return set_world(a, 1); }
int set_lev(set_args& a) { return set_world(a, 2); }

int set_time(set_args& a) {
  session_state* pcm = a.pcm;
  file_descriptor* pfi = pcm->default_file;
  if (!pfi) return no_files();
  const char* p = nxtwrd(a.lower);
  if (!p) return set_error(kTime);
  // Both times take their left-out parts from the current start time.
  date_time def = pcm->time_start;
  date_time t1{}, t2{};
  // A time is the whole word: anything after a valid date (a sign, another
  // character) would otherwise be dropped and another date set.
  auto parse = [&def](const char* w, date_time* t) {
    const char* e = adtprs(w, &def, t);
    if (!e) return false;
    if (word_end(*e)) return true;
    kaprnt(msg_level::error, "Syntax Error:  Invalid Date/Time value.\n");
    kaprnt(msg_level::error,
           "  Unexpected text after the date: " + std::string(e, std::strcspn(e, " \t\n")) + "\n");
    return false;
  };
  if (!parse(p, &t1)) return set_error(kTime);
  t2 = t1;
  int two = 0;
  if (const char* q = nxtwrd(p)) {
    if (!parse(q, &t2)) return set_error(kTime);
    two = 1;
  }
  const float* ts = pfi->grid_to_world_scaling[3];
  // A time whose grid coordinate no index holds is no time of the file.
  if (!indexable(t2gr_exact(ts, &t1)) || !indexable(t2gr_exact(ts, &t2))) return set_error(kTime);
  if (!two) {
    // Snapped in double: a float moves steps past 2^24 to a neighbour.
    gr2t(ts, std::floor(t2gr_exact(ts, &t1) + 0.5), &t1);
    t2 = t1;
  }
  pcm->time_start = t1;
  pcm->time_end = t2;
  pcm->dim_varying[3] = two;
  print_times(pcm);
  return 0;
}

// File n (1-based) of the session's list, or null.
file_descriptor* nth_file(session_state* pcm, int n) {
  if (n < 1) return nullptr;
  file_descriptor* pfi = pcm->file_list;
  for (int i = 1; pfi && i < n; i++) pfi = pfi->next;
  return pfi;
}

int set_dfile(set_args& a) {
  session_state* pcm = a.pcm;
  if (!pcm->default_file) return no_files();
  const char* p = nxtwrd(a.lower);
  int n;
  if (!p || !intprs(p, &n)) return set_error(kDfile);
  file_descriptor* pfi = nth_file(pcm, n);
  if (!pfi) {
    kaprntf(msg_level::error, "SET DFILE error:  file %i not open\n", n);
    return 1;
  }
  kaprnt(msg_level::result, std::string("Default file set to: ") + pfi->data_file_name + " \n");
  pcm->default_file = pfi;
  pcm->default_file_number = n;
  return 0;
}

int set_looping(set_args& a) {
  int v = on_off(nxtwrd(a.lower));
  if (v < 0) return set_error(kLooping);
  a.pcm->looping = v;
  kaprnt(msg_level::result, v ? "Looping is on \n" : "Looping is off \n");
  return 0;
}

int set_loopdim(set_args& a) {
  const char* p = nxtwrd(a.lower);
  static const char* const dims[] = {"x", "y", "z", "t"};
  if (p)
    for (int i = 0; i < 4; i++)
      if (cmpwrd(dims[i], p)) {
        a.pcm->loopdim = i;
        return 0;
      }
  return set_error(kLoopdim);
}

int set_loopincr(set_args& a) {
  const char* p = nxtwrd(a.lower);
  float v;
  if (!p || !valprs(p, &v)) return set_error(kLoopincr);
  a.pcm->loopincr = v;
  kaprntf(msg_level::result, "loopincr = %g \n", v);
  return 0;
}

int set_misswarn(set_args& a) {
  const char* p = nxtwrd(a.lower);
  int v = on_off(p);
  if (v < 0) return set_error(kMisswarn);
  const char* q = nxtwrd(p);
  int n;
  if (!q || !intprs(q, &n)) return set_error(kMisswarn);
  file_descriptor* pfi = nth_file(a.pcm, n);
  if (!pfi) {
    kaprntf(msg_level::error, "SET MISSWARN error:  file %i not open\n", n);
    return 1;
  }
  pfi->misswarn = v;
  return 0;
}

int set_warn(set_args& a) {
  int v = on_off(nxtwrd(a.lower));
  if (v < 0) return set_error(kWarn);
  mfcmn.warn_level = v;
  return 0;
}

int set_datawarn(set_args& a) {
  int v = on_off(nxtwrd(a.lower));
  if (v < 0) return set_error(kDatawarn);
  a.pcm->datawarn = v;
  return 0;
}

struct set_keyword {
  const char* word;
  const char* name;  // entry of kwds
  set_handler handler;
};

// The chain in its matching order.
const set_keyword chain[] = {
    {"defval", "DEFVAL", set_defval},
    {"hempref", "HEMPREF", set_hempref},
    {"gridln", "GRIDLN", set_gridln},
    {"tlsupp", "TLSUPP", set_tlsupp},
    {"baropts", "BAROPTS", set_baropts},
    {"barbase", "BARBASE", set_barbase},
    {"mdlopts", "MDLOPTS", set_mdlopts},
    {"bargap", "BARGAP", set_bargap},
    {"font", "FONT", set_font},
    {"clip", "CLIP", set_clip},
    {"vpage", "VPAGE", set_vpage},
    {"mpt", "MPT", set_mpt},
    {"rgb", "RGB", set_rgb},
    {"stat", "STAT", set_stat},
    {"arrlab", "ARRLAB", set_arrlab},
    {"parea", "PAREA", set_parea},
    {"arrowhead", "ARROWHEAD", set_arrowhead},
    {"cint", "CINT", set_cint},
    {"xlint", "XLINT", set_xlint},
    {"ylint", "YLINT", set_ylint},
    {"xsize", "XSIZE", set_xsize},
    {"mpvals", "MPVALS", set_mpvals},
    {"fgvals", "FGVALS", set_fgvals},
    {"clevs", "CLEVS", set_clevs},
    {"xlevs", "XLEVS", set_xlevs},
    {"ylevs", "YLEVS", set_ylevs},
    {"rbcols", "RBCOLS", set_rbcols},
    {"dropmenu", "DROPMENU", set_dropmenu},
    {"ccols", "CCOLS", set_ccols},
    {"cmin", "CMIN", set_cmin},
    {"cmax", "CMAX", set_cmax},
    {"cmark", "CMARK", set_cmark},
    {"mproj", "MPROJ", set_mproj},
    {"xyrev", "XYREV", set_xyrev},
    {"xflip", "XFLIP", set_xflip},
    {"yflip", "YFLIP", set_yflip},
    {"writegds", "WRITEGDS", set_writegds},
    {"fwrite", "FWRITE", set_fwrite},
    {"imprun", "IMPRUN", set_imprun},
    {"zlog", "ZLOG", set_zlog},
    {"missconn", "MISSCONN", set_missconn},
    {"mpdraw", "MPDRAW", set_mpdraw},
    {"dbuff", "DBUFF", set_dbuff},
    {"poli", "POLI", set_poli},
    {"mpdset", "MPDSET", set_mpdset},
    {"rbrange", "RBRANGE", set_rbrange},
    {"black", "BLACK", set_black},
    {"display", "DISPLAY", set_display},
    {"gxout", "GXOUT", set_gxout},
    {"arrscl", "ARRSCL", set_arrscl},
    {"xlabs", "XLABS", set_xlabs},
    {"ylabs", "YLABS", set_ylabs},
    {"clab", "CLAB", set_clab},
    {"xlab", "XLAB", set_xlab},
    {"ylab", "YLAB", set_ylab},
    {"prnopts", "PRNOPTS", set_prnopts},
    {"frame", "FRAME", set_frame},
    {"grid", "GRID", set_gridopt},
    {"clskip", "CLSKIP", set_clskip},
    {"clopts", "CLOPTS", set_clopts},
    {"wxopt", "WXOPT", set_wxopt},
    {"wxcols", "WXCOLS", set_wxcols},
    {"lfcols", "LFCOLS", set_lfcols},
    {"rband", "RBAND", set_rband},
    {"button", "BUTTON", set_button},
    {"dialog", "DIALOG", set_dialog},
    {"xlpos", "XLPOS", set_xlpos},
    {"ylpos", "YLPOS", set_ylpos},
    {"xlopts", "XLOPTS", set_xlopts},
    {"ylopts", "YLOPTS", set_ylopts},
    {"annot", "ANNOT", set_annot},
    {"line", "LINE", set_line},
    {"map", "MAP", set_map},
    {"string", "STRING", set_string},
    {"strsiz", "STRSIZ", set_strsiz},
    {"xaxis", "XAXIS", set_xaxis},
    {"yaxis", "YAXIS", set_yaxis},
    {"misswarn", "MISSWARN", set_misswarn},
    {"dfile", "DFILE", set_dfile},
    {"background", "BACKGROUND", set_background},
    {"cthick", "CTHICK", set_cthick},
    {"cstyle", "CSTYLE", set_cstyle},
    {"digsiz", "DIGSIZ", set_digsiz},
    {"digsize", "DIGSIZ", set_digsiz},
    {"dignum", "DIGNUM", set_dignum},
    {"axlim", "VRANGE", set_vrange},
    {"vrange", "VRANGE", set_vrange},
    {"vrange2", "VRANGE2", set_vrange2},
    {"strmden", "STRMDEN", set_strmden},
    {"ccolor", "CCOLOR", set_ccolor},
    {"stid", "STID", set_stid},
    {"csmooth", "CSMOOTH", set_csmooth},
    {"cterp", "CTERP", set_cterp},
    {"loopdim", "LOOPDIM", set_loopdim},
    {"loopincr", "LOOPINCR", set_loopincr},
    {"vemra", "VEMRA", set_vemra},
    {"timelab", "TIMELAB", set_timelab},
    {"stnprint", "STNPRINT", set_stnprint},
    {"warn", "WARN", set_warn},
    {"looping", "LOOPING", set_looping},
    {"x", "X", set_x},
    {"y", "Y", set_y},
    {"z", "Z", set_z},
    {"t", "T", set_t},
    {"lon", "LON", set_lon},
    {"lat", "LAT", set_lat},
    {"lev", "LEV", set_lev},
    {"time", "TIME", set_time},
    {"datawarn", "DATAWARN", set_datawarn},
    {"fill", "FILL", set_fill},
    {"lats", "LATS", set_lats},
};

}  // namespace

int kaset(char* lower, char* typed, session_state* pcm) {
  char* p = nxtwrd(lower);
  if (!p) {
    kaprnt(msg_level::error, "SET error:  missing operand\n");
    return 1;
  }
  for (const set_keyword& k : chain) {
    if (!cmpwrd(k.word, p)) continue;
    set_args a{p, typed + (p - lower), pcm, set_code(k.name)};
    return k.handler(a);
  }
  std::string rest = p;
  while (!rest.empty() && rest.back() == '\n') rest.pop_back();
  kaprnt(msg_level::error, "SET error: Invalid operand\n");
  kaprnt(msg_level::error, "  Operand = " + rest + "\n");
  return 1;
}
