// "set lats": the LATS output settings of the session, and the words that
// hand them to the writer at once; "query lats" shows them.
#include <cstring>
#include <string>

#include "base/message.h"
#include "base/session.h"
#include "base/words.h"
#include "cmd/commands.h"
#include "cmd/latsbridge.h"
#include "cmd/setkw.h"
#include "cmd/setopts.h"

using namespace setopt;

namespace {

void err(const char* text) { kaprnt(msg_level::error, text); }

int no_args(const char* upper) {
  kaprntf(msg_level::error, "SET LATS %s error:  No arguments....\n", upper);
  return 1;
}

// Copies text into a fixed field of size bytes; longer text is refused so
// that no file name or table key is silently cut.
int put_text(char* field, size_t size, const std::string& text, const char* upper) {
  if (text.size() >= size) {
    kaprntf(msg_level::error, "SET LATS %s error:  text longer than %zu characters\n", upper,
            size - 1);
    return 1;
  }
  std::memcpy(field, text.c_str(), text.size() + 1);
  return 0;
}

// The word after "lats" and its typed twin.
struct lats_args {
  set_args& a;
  char* word;  // the keyword after "lats", lower-cased
  char* next() const { return nxtwrd(word); }
  std::string typed_rest(const char* p) const { return rest_at(typed_at(a, p)); }
};

// Words that store one of a few choices.
struct choice {
  const char* word;
  int value;
};

struct choice_word {
  const char* upper;
  const choice* choices;
  int count;
  int session_state::*field;
  const char* unknown;  // null: the common error of "set"
};

const choice conventions[] = {{"vemra_grib", 3}, {"coards", 4}, {"grib_only", 2}};
const choice calendars[] = {
    {"standard", 0x1111}, {"noleap", 0x1011}, {"clim", 0x1000}, {"climleap", 0x1100}};
const choice frequencies[] = {{"yearly", 5}, {"monthly", 4},        {"monthly_table_comp", 7},
                              {"weekly", 3}, {"daily", 2},          {"hourly", 1},
                              {"fixed", 6},  {"forecast_hourly", 8}};
const choice gridtypes[] = {{"linear", 2}, {"gaussian", 1}, {"generic", 3}};
const choice timeoptions[] = {{"grid", 0}, {"dim_env", 1}, {"settime", 2}};

constexpr int kForecastHourly = 8;
constexpr int kTimeForecast = 3;

int set_choice(const lats_args& l, const choice_word& w) {
  const char* p = l.next();
  if (!p) return no_args(w.upper);
  for (int i = 0; i < w.count; i++) {
    if (!cmpwrd(w.choices[i].word, p)) continue;
    l.a.pcm->*w.field = w.choices[i].value;
    if (w.field == &session_state::lats_frequency && w.choices[i].value == kForecastHourly)
      l.a.pcm->lats_timeoption = kTimeForecast;
    return 0;
  }
  if (!w.unknown) return set_error(l.a.code);
  err(w.unknown);
  return 1;
}

int convention(const lats_args& l) {
  return set_choice(l, {"CONVENTION", conventions, 3, &session_state::lats_convention,
                        "SET LATS CONVENTION error:  invalid argument using the default...\n"});
}
int calendar(const lats_args& l) {
  return set_choice(l, {"CALENDAR", calendars, 4, &session_state::lats_calendar,
                        "SET LATS CALENDAR error:  Invalid argument using the default...\n"});
}
int frequency(const lats_args& l) {
  return set_choice(l,
                    {"FREQUENCY", frequencies, 8, &session_state::lats_frequency,
                     "SET LATS FREQUENCY error:  Invalid arguments LATS_CREATE WILL FAIL....\n"});
}
int gridtype(const lats_args& l) {
  return set_choice(l, {"GRIDTYPE", gridtypes, 3, &session_state::lats_gridtype, nullptr});
}
int timeoption(const lats_args& l) {
  return set_choice(l, {"TIMEOPTION", timeoptions, 3, &session_state::lats_timeoption,
                        "SET LATS TIMEOPTION error:  invalid option ....\n"});
}

int count(const lats_args& l, const char* upper, const char* negative, int* field) {
  const char* p = l.next();
  if (!p) return no_args(upper);
  int v = 0;
  if (!intprs(p, &v)) {
    kaprntf(msg_level::error, "SET LATS %s error:  invalid or missing increment\n", upper);
    return 1;
  }
  if (v < 0) {
    err(negative);
    return 1;
  }
  *field = v;
  return 0;
}
int deltat(const lats_args& l) {
  return count(l, "DELTAT", "SET LATS DELTAT error:  < 0 LATS_CREATE WILL FAIL...\n",
               &l.a.pcm->lats_deltat);
}
int fhour(const lats_args& l) {
  return count(l, "FHOUR", "SET LATS FHOUR error:  < 0 LATS WILL FAIL...\n", &l.a.pcm->lats_fhour);
}

// Texts are taken lower-cased, as the writer's tables compare them; file
// names (parmtab, create) keep the case typed.
template <size_t N>
int text(const lats_args& l, const char* upper, char (&field)[N]) {
  const char* p = l.next();
  if (!p) return no_args(upper);
  return put_text(field, N, rest_at(p), upper);
}
int model(const lats_args& l) { return text(l, "MODEL", l.a.pcm->lats_model); }
int center(const lats_args& l) { return text(l, "CENTER", l.a.pcm->lats_center); }
int comment(const lats_args& l) { return text(l, "COMMENT", l.a.pcm->lats_comment); }
int varcomment(const lats_args& l) { return text(l, "VARCOMMENT", l.a.pcm->lats_varcomment); }
int gridname(const lats_args& l) { return text(l, "GRIDNAME", l.a.pcm->lats_gridname); }

int parmtab(const lats_args& l) {
  session_state* s = l.a.pcm;
  const char* p = l.next();
  if (!p) return no_args("PARMTAB");
  if (put_text(s->lats_parmtab_file, sizeof s->lats_parmtab_file, l.typed_rest(p), "PARMTAB"))
    return 1;
  int id = kalats(s, lats_op::parmtab, 0);
  kaprntf(msg_level::result, "LATS PARMTAB ID = %d\n", id);
  return id > 0 ? 0 : 1;
}

int create(const lats_args& l) {
  session_state* s = l.a.pcm;
  const char* p = l.next();
  if (!p) {
    err("SET LATS CREATE error:  Missing or invalid arguments");
    return 1;
  }
  if (put_text(s->lats_output, sizeof s->lats_output, l.typed_rest(p), "CREATE")) return 1;
  int id = kalats(s, lats_op::create, 0);
  kaprntf(msg_level::result, "LATS FILE ID = %d\n", id);
  return id > 0 ? 0 : 1;
}

// One number of "basetime": 0 stored, 1 refused.
int basetime_part(const char*& p, const char* upper, int* field) {
  p = p ? nxtwrd(p) : nullptr;
  if (!p) {
    kaprntf(msg_level::error, "SET LATS BASETIME %s error:  missing\n", upper);
    return 1;
  }
  int v = 0;
  if (!intprs(p, &v)) {
    kaprntf(msg_level::error, "SET LATS BASETIME %s error:  invalid or missing\n", upper);
    return 1;
  }
  if (v < 0) {
    std::string lower = upper;
    for (char& c : lower) c = static_cast<char>(c - 'A' + 'a');
    kaprntf(msg_level::error, "SET LATS BASETIME %s error:  %s < 0\n", upper, lower.c_str());
    return 1;
  }
  *field = v;
  return 0;
}

int basetime(const lats_args& l) {
  session_state* s = l.a.pcm;
  const char* p = l.next();
  if (!p) return no_args("BASETIME");
  int id = 0;
  if (!intprs(p, &id)) {
    err("SET LATS BASETIME ID_FILE error:  missing\n");
    return 1;
  }
  if (id < 0) {
    err("SET LATS BASETIME ID_FILE error:  id_file < 0\n");
    return 1;
  }
  if (id > s->lats_max_file_id) {
    kaprntf(msg_level::error, "SET LATS BASETIME error:  FILE ID is %d but the max FILE ID is %d\n",
            id, s->lats_max_file_id);
    return 1;
  }
  s->lats_file_id = id;
  static const char* const parts[4] = {"YEAR", "MONTH", "DAY", "HOUR"};
  for (int k = 0; k < 4; k++)
    if (basetime_part(p, parts[k], &s->lats_basetime_ymdh[k])) return 1;
  return kalats(s, lats_op::basetime, 0) ? 0 : 1;
}

int vertdim(const lats_args& l) {
  session_state* s = l.a.pcm;
  s->lats_level_count = 0;
  char* p = l.next();
  if (!p) return no_args("VERTDIM");
  if (put_text(s->lats_vertdim, sizeof s->lats_vertdim, word_at(p), "VERTDIM")) return 1;
  p = nxtwrd(p);
  if (!p) {
    err("SET LATS VERTDIM error:  no levels given....\n");
    return 1;
  }
  constexpr int kMaxLevels = int(sizeof s->lats_levels / sizeof s->lats_levels[0]);
  int n = 0;
  for (float v = 0; p && valprs(p, &v); p = nxtwrd(p)) {
    if (n == kMaxLevels) {
      kaprntf(msg_level::error, "SET LATS VERTDIM error:  more than %d levels\n", kMaxLevels);
      s->lats_level_count = 0;
      return 1;
    }
    s->lats_levels[n++] = v;
  }
  if (p && beyond_float_range(p)) {
    err("SET LATS VERTDIM error:  invalid level value\n");
    return 1;
  }
  s->lats_level_count = n;
  int id = kalats(s, lats_op::vertdim, 0);
  kaprntf(msg_level::result, "LATS VERTDIM ID = %d\n", id);
  return id > 0 ? 0 : 1;
}

// An id word of "var": 0 stored, 1 refused (messages printed).
int var_id(const char* p, int max, int* field, const char* missing, const char* invalid,
           const char* range, const char* hint) {
  if (!p) {
    kaprnt(msg_level::result, "LATS VAR ID = -1\n");
    err(missing);
    return 1;
  }
  int v = 0;
  if (!intprs(p, &v)) {
    kaprnt(msg_level::result, "LATS VAR ID = -1\n");
    err(invalid);
    return 1;
  }
  if (v < 0 || v > max) {
    kaprnt(msg_level::result, "LATS VAR ID = -1\n");
    kaprntf(msg_level::error, range, v, max);
    if (hint) err(hint);
    return 1;
  }
  *field = v;
  return 0;
}

constexpr const char* kVarFileRange =
    "SET LATS VAR error:  FILE ID is %d but the max FILE ID is %d\n";
constexpr const char* kVarGridRange =
    "SET LATS VAR error:  GRID ID is %d but the max GRID ID is %d\n";
constexpr const char* kVarLevelRange =
    "SET LATS VAR error:  LEVEL ID is %d but the max LEVEL ID is %d\n";

int var(const lats_args& l) {
  session_state* s = l.a.pcm;
  const char* p = l.next();
  if (!p) {
    kaprnt(msg_level::result, "LATS VAR ID = -1\n");
    err("SET LATS VAR error:  No arguments! args: fileid varname datatype gridid levid\n");
    return 1;
  }
  if (var_id(p, s->lats_max_file_id, &s->lats_file_id, "",
             "SET LATS VAR FILE ID:  invalid FILE ID value given\n", kVarFileRange, nullptr))
    return 1;
  p = nxtwrd(p);
  if (!p) {
    err("SET LATS VAR error:  variable name not given...\n");
    return 1;
  }
  if (put_text(s->lats_var_name, sizeof s->lats_var_name, word_at(p), "VAR")) return 1;
  p = nxtwrd(p);
  if (!p) {
    err("SET LATS VAR error:  variable statistic type given...\n");
    return 1;
  }
  static const choice stats[] = {{"average", 1}, {"accum", 3}, {"instant", 2}};
  const choice* st = nullptr;
  for (const choice& c : stats)
    if (cmpwrd(c.word, p)) st = &c;
  if (!st) {
    err("SET LATS VAR error:  invalid variable statistic type given...\n");
    return 1;
  }
  s->lats_timestat = st->value;
  p = nxtwrd(p);
  if (var_id(p, s->lats_max_grid_id, &s->lats_grid_id, "SET LATS VAR error:  missing GRID ID\n",
             "SET LATS VAR error:  invalid GRID ID value given\n", kVarGridRange, nullptr))
    return 1;
  p = nxtwrd(p);
  if (!p) {
    kaprnt(msg_level::result, "LATS VAR ID = -1\n");
    err("SET LATS VAR error:  missing LEVEL ID\n");
    err("                     use a value of 0 for surface variables\n");
    return 1;
  }
  int lev = 0;
  if (!intprs(p, &lev)) {
    kaprnt(msg_level::result, "LATS VAR ID = -1\n");
    err("SET LATS VAR error:  invalid LEVEL ID value given\n");
    err("                     use a value of 0 for surface variable\n");
    return 1;
  }
  if (var_id(p, s->lats_max_level_id, &s->lats_level_id, "", "", kVarLevelRange,
             "              use a value of 0 for surface variables...\n"))
    return 1;
  int id = kalats(s, lats_op::var, 0);
  kaprntf(msg_level::result, "LATS VAR ID = %d\n", id);
  return id > 0 ? 0 : 1;
}

int write(const lats_args& l) {
  session_state* s = l.a.pcm;
  s->lats_write_armed = 0;
  const char* p = l.next();
  if (!p) {
    err("SET LATS WRITE error:  No arguments (fileid varid)\n");
    return 1;
  }
  int file = 0, var = 0;
  if (!intprs(p, &file)) {
    err("SET LATS WRITE error:  missing or invalid FILE ID given...\n");
    return 1;
  }
  if (file < 1 || file > s->lats_max_file_id) {
    kaprntf(msg_level::error,
            "SET LATS WRITE error: FILE ID is outside the valid range of 1 - %d\n",
            s->lats_max_file_id);
    return 1;
  }
  p = nxtwrd(p);
  if (!p) {
    err("SET LATS WRITE error:  No arguments...\n");
    return 1;
  }
  if (!intprs(p, &var)) {
    err("SET LATS WRITE error:  missing or invalid VAR ID  given...\n");
    return 1;
  }
  if (var < 1 || var > s->lats_max_var_id) {
    kaprntf(msg_level::error, "SET LATS WRITE error: VAR ID is outside the valid range of 1 - %d\n",
            s->lats_max_var_id);
    return 1;
  }
  float level = 0;
  p = nxtwrd(p);
  if (p && beyond_float_range(p)) {
    err("SET LATS WRITE error:  invalid LEVEL value given...\n");
    return 1;
  }
  if (p && !valprs(p, &level)) level = 0;
  s->lats_file_id = file;
  s->lats_var_id = var;
  s->lats_level = level;
  s->lats_write_armed = 1;
  kaprntf(msg_level::result, "LATS WRITE ID = %d\n", s->lats_write_armed);
  return 0;
}

int close(const lats_args& l) {
  session_state* s = l.a.pcm;
  const char* p = l.next();
  if (!p) {
    err("SET LATS CLOSE error:  No arguments, specify a file id...\n");
    return 1;
  }
  int id = 0;
  if (!intprs(p, &id)) {
    err("SET LATS CLOSE error:  missing or invalid FILE ID given...\n");
    return 1;
  }
  if (id < 1 || id > s->lats_max_file_id) {
    kaprntf(msg_level::error,
            "SET LATS CLOSE error: FILE ID is outside the valid range of 1 - %d\n",
            s->lats_max_file_id);
    return 1;
  }
  return kalats(s, lats_op::close, id);
}

int reset(const lats_args& l) { return kalats(l.a.pcm, lats_op::reset, 0); }

struct lats_word {
  const char* word;
  int (*handler)(const lats_args&);
};

const lats_word lats_words[] = {
    {"parmtab", parmtab},
    {"convention", convention},
    {"calendar", calendar},
    {"frequency", frequency},
    {"deltat", deltat},
    {"fhour", fhour},
    {"model", model},
    {"center", center},
    {"comment", comment},
    {"varcomment", varcomment},
    {"gridname", gridname},
    {"gridtype", gridtype},
    {"timeoption", timeoption},
    {"create", create},
    {"basetime", basetime},
    {"vertdim", vertdim},
    {"var", var},
    {"write", write},
    {"close", close},
    {"reset", reset},
};

const char* const usage[] = {
    "SET LATS error:  No arguments....\n",
    "  valid arguments are: \n",
    "  parmtab [FILENAME] (e.g., set lats parmtab lats.ncep.MRFtable)\n",
    "  convention [vemra_grib|grib_only|coards] (e.g., set lats convention grib)\n",
    "  calendar [standard|noleap|clim|climleap] (e.g., set lats calendar standard)\n",
    "  frequency [yearly|monthly|monthly_table_comp|weekly|daily|hourly|forecast_hourlyfixed] "
    "(e.g., set lats frequency hourly)\n",
    "  delatat [N] (integer number of freq units per time output, e.g., set lats deltat 6)\n",
    "  fhour [N] (integer forecast hour,  e.g., set lats fhour 120)\n",
    "  model [MODEL_NAME] (e.g., set lats model MRF)\n",
    "  center [CENTER_NAME] (e.g., set lats center NCEP)\n",
    "  create [FILENAME] (e.g., set lats create MRF.EXP1)\n",
    "  comment [COMMENT (e.g., set lats comment \"R1.6.1 of MRF with convection update\")\n",
    "  gridtype [linear|gaussian|generic] (e.g., set lats gridtype gaussian\n",
    "  vertdim [DIMNAME val1 val2 ... valN] (e.g., set lats vertdim plev 1000 850 500 200)\n",
    "  var [VARNAME average|accum|instant LEVEL_ID)] (e.g., set lats var u instant 1)\n",
    "  timeoption [grid|dim_env (e.g., set lats v timeoption dim_env (use the Vemra dimension "
    "environment)\n",
    "  write [VAR_ID|(LEVEL)] (e.g., set lats write 1 500 (return from t lats var)\n",
    "  close (e.g., set lats close)\n\n",
};

}  // namespace

int set_lats(set_args& a) {
  char* p = nxtwrd(a.lower);
  if (!p) {
    for (const char* line : usage) err(line);
    return 1;
  }
  for (const lats_word& w : lats_words)
    if (cmpwrd(w.word, p)) return w.handler(lats_args{a, p});
  err("SET LATS error:  Missing or invalid arguments:\n ");
  kaprntf(msg_level::error, "for %s option\n", rest_at(p).c_str());
  return 1;
}

int kaqlats(char*, char*, session_state* s) {
  auto out = [](const char* fmt, auto... v) { kaprntf(msg_level::result, fmt, v...); };
  kaprnt(msg_level::result, "Vemra-LATS Interface State:\n");
  out("%s \t:parameter table file (by \"set lats parmtab \")\n", s->lats_parmtab_file);
  out("%d \t: data CONVENTION parameter (by \"set lats convention\")\n", s->lats_convention);
  out("%d \t: data CALENDAR parameter (by \"set lats calendar\")\n", s->lats_calendar);
  out("%d \t: data time FREQEUENCY  parameter (by \"set lats frequency\")\n", s->lats_frequency);
  out("%d \t: DELTAT time (# of intervals) (by \"set lats deltat\")\n", s->lats_deltat);
  out("%d \t: BASETIME year (# of intervals) (by \"set lats basetime id_file yr mo da hr\")\n",
      s->lats_basetime_ymdh[0]);
  out("%d \t: BASETIME month (# of intervals) (e.g., \"set lats basetime 1 1997 5 31 00\")\n",
      s->lats_basetime_ymdh[1]);
  out("%d \t: BASETIME day (# of intervals) (e.g., \"set lats basetime 1 1997 5 31 00\")\n",
      s->lats_basetime_ymdh[2]);
  out("%d \t: BASETIME hour (# of intervals) (e.g., \"set lats basetime 1 1997 5 31 00\")\n",
      s->lats_basetime_ymdh[3]);
  out("%s \t: MODEL (by \"set lats model\")\n", s->lats_model);
  out("%s \t: data CENTER (by \"set lats center\")\n", s->lats_center);
  out("%s \t: COMMENT (by \"set lats comment\")\n", s->lats_comment);
  out("%s \t: output file (by \"set lats open \")\n", s->lats_output);
  out("%d \t: GRIDTYPE grid type parameter(by \"set lats gridtype\")\n", s->lats_gridtype);
  out("%s \t: GRIDNAME grid type parameter(by \"set lats gridname\")\n", s->lats_gridname);
  out("%4d \t: linear in longitude (0=no,1=yes)\n", s->lats_lon_linear);
  out("%4d \t: linear in latitude  (0=no,1=yes)\n", s->lats_lat_linear);
  out("%4d \t: # longitude points (nlon) \n", s->lats_nlon);
  out("%4d \t: # latitude  points (nlat) \n", s->lats_nlat);
  out("    ( %10.4f , %10.4f ) \t: (   1,   1) lon lat\n", double(s->lats_first_lon),
      double(s->lats_first_lat));
  out("    ( %10.4f , %10.4f ) \t: (nlat,nlon) lon lat\n", double(s->lats_last_lon),
      double(s->lats_last_lat));
  out("%s \t: vertical dimension by \"set lats levels (lev1 ... levN) vertdimname\")\n",
      s->lats_vertdim);
  out("%d \t: # of vertical levels (by \"set lats levels (lev1 ... levN) vertdimname\")\n",
      s->lats_level_count);
  for (int k = 0; k < s->lats_level_count; k++) out(" %g", s->lats_levels[k]);
  kaprnt(msg_level::result, "vertical levels\n");
  out("%s \t: VAR output parameter (by \"set lats var (name timestat [level])\")\n",
      s->lats_var_name);
  out("%d \t: VAR TIMESTAT time statistic parameter\n", s->lats_timestat);
  out("%d \t: id_file LATS internal ID\n", s->lats_max_file_id);
  out("%d \t: id_grid LATS internal ID\n", s->lats_max_grid_id);
  out("%d \t: id_lev LATS internal ID\n", s->lats_max_level_id);
  out("%d \t: id_var LATS internal ID\n", s->lats_max_var_id);
  out("%d \t: id_user_file LATS internal ID\n", s->lats_file_id);
  out("%d \t: id_user_grid LATS internal ID\n", s->lats_grid_id);
  out("%d \t: id_user_var LATS internal ID\n", s->lats_var_id);
  out("%d \t: id_user_lev LATS internal ID\n", s->lats_level_id);
  out("%d \t: id_user_write LATS internal ID\n", s->lats_write_armed);
  return 0;
}
