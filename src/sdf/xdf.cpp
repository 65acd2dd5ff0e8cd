// "xdfopen": a netCDF file opened through a short descriptor that names its
// dimensions and variables and may give scalings itself; what it leaves out
// comes from the file's metadata.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "base/alloc.h"
#include "base/fnmtemplate.h"
#include "base/inputfile.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/scaling.h"
#include "base/session.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/descriptor.h"
#include "data/filerec.h"
#include "data/reader.h"
#include "sdf/sdf.h"
#include "sdf/sdfint.h"

namespace {

constexpr const char* kNotOpened = "  The data file was not opened. \n";
constexpr const char* kBadStart = "XDFopen Error:  Missing or invalid dimension starting value\n";

bool starts_alnum(const std::string& s) {
  return !s.empty() && std::isalnum(static_cast<unsigned char>(s[0]));
}

// The descriptor being read, one line at a time.
class descriptor_file {
 public:
  explicit descriptor_file(input_file f) : f_(std::move(f)) {}
  // Next line (at most 511 characters, newline removed) in rec and its
  // lower-cased copy in low; false at the end, when the reading was
  // interrupted, or after the message for a line that is longer or holds a
  // NUL byte (refused() then tells; a line holding a NUL is kept to be shown).
  // Where a record may stand, comment lines are passed over whatever they
  // hold: nothing reads them.
  bool next(bool record = false) {
    line_read got;
    do {
      got = f_.next_line(rec, kMaxLine);
      if (got == line_read::end || f_.interrupted()) return false;
      ++line_;
    } while (record && !starts_alnum(rec));
    // A longer line would be cut without a word: a name or path would change.
    if (got == line_read::too_long) {
      kaprntf(msg_level::error,
              "XDFOpen Error:  Description file line %ld is longer than %zu characters\n", line_,
              kMaxLine);
      refused_ = true;
      cut_ = true;
      return false;
    }
    while (!rec.empty() && rec.back() == '\r') rec.pop_back();
    low = rec;
    lowcas(low.data());
    // A record would be read up to its first NUL: the rest would be lost unseen.
    if (rec.find('\0') != std::string::npos) {
      kaprntf(msg_level::error, "XDFOpen Error:  Description file line %ld holds a NUL byte\n",
              line_);
      refused_ = true;
      return false;
    }
    return true;
  }
  bool interrupted() const { return f_.interrupted(); }
  bool refused() const { return refused_; }
  // Whether the line last read may be shown as the record in error: a line
  // too long was read only in part.
  bool showable() const { return !cut_; }
  // The number of the line last read.
  long line() const { return line_; }
  // The typed text at the position of p in the lower-cased line.
  const char* typed(const char* p) const { return rec.c_str() + (p - low.c_str()); }
  std::string rec, low;

 private:
  static constexpr size_t kMaxLine = 511;
  input_file f_;
  long line_ = 0;
  bool refused_ = false;
  bool cut_ = false;
};

// First word of text (up to a blank) and the position after the blanks that
// follow it.
const char* putncdnm(const char* text, std::string* name) {
  const char* p = text;
  while (*p && *p != ' ') p++;
  name->assign(text, size_t(p - text));
  while (*p == ' ' || *p == '\t') p++;
  return p;
}

// The names of a variable record: "ncname=>display" or one name for both.
// 1 with the position after them, 0 for a record without names.
int cmpndname(const char* line, const char** rest, std::string* display, std::string* ncname) {
  const char* arrow = std::strstr(line, "=>");
  const char* end = line;
  while (*end && *end != ' ' && *end != '\t') end++;
  if (arrow && arrow < end) {
    if (arrow == line) return 0;
    ncname->assign(line, size_t(arrow - line));
    const char* d = arrow + 2;
    const char* de = d;
    while (*de && *de != ' ' && *de != '\t') de++;
    if (de == d) return 0;
    display->assign(d, size_t(de - d));
    end = de;
  } else {
    if (end == line) return 0;
    ncname->assign(line, size_t(end - line));
    *display = *ncname;
  }
  while (*end == ' ' || *end == '\t') end++;
  *rest = end;
  return 1;
}

int* size_of(file_descriptor* pfi, int d) {
  return d == 0 ? &pfi->x_size : d == 1 ? &pfi->y_size : &pfi->z_size;
}

// The words of an "options" record.
struct option_word {
  const char* word;
  void (*set)(file_descriptor* pfi);
};
const option_word option_words[] = {
    {"yrev", [](file_descriptor* f) { f->yrev = 1; }},
    {"zrev", [](file_descriptor* f) { f->zrev = 1; }},
    {"template", [](file_descriptor* f) { f->template_flag = 1; }},
    // The session's calendar changes only once the descriptor's calendar
    // check passed.
    {"365_day_calendar", [](file_descriptor* f) { f->calendar_365 = 1; }},
};

// The entry of a keyword table whose word is the word at p, or null.
template <class Entry, size_t N>
const Entry* find_word(const Entry (&table)[N], const char* p) {
  for (const Entry& e : table)
    if (cmpwrd(e.word, p)) return &e;
  return nullptr;
}

struct parser {
  descriptor_file& in;
  file_descriptor* pfi;
  sdf_parms& parms;
  std::string opened;  // the descriptor's name, for names relative to it
  std::string dset;
  bool show_record = true;
  // The start of a time axis the descriptor gives, and its record: read
  // again once the calendar is known.
  std::string tdef_start, tdef_record;

  bool fail(const char* msg, bool record = true) {
    kaprnt(msg_level::error, msg);
    show_record = record;
    return false;
  }

  // "linear" start increment, on the lower-cased line at p.
  bool linear(const char* p, int d) {
    float start, incr;
    p = nxtwrd(p);
    const char* q = p ? valprs(p, &start) : nullptr;
    if (!q || !word_end(*q) || !std::isfinite(start))
      return fail("XDFopen Error:  Missing or invalid dimension starting value\n");
    p = nxtwrd(p);
    q = p ? valprs(p, &incr) : nullptr;
    if (!q || !word_end(*q) || incr == 0 || !std::isfinite(1.0f / incr) ||
        !std::isfinite(start - incr))
      return fail("XDFopen Error:  Missing or invalid dimension increment value\n");
    set_linear_scaling(pfi, d, start, incr);
    if (d == 0) set_x_wrap_linear(pfi, double(pfi->x_size - 1) * incr, incr);
    return true;
  }

  // "levels" and the values, going on over further lines.
  bool levels(const char* p, int d) {
    int n = *size_of(pfi, d);
    if (n < 1) return fail("XDFopen Error:  Invalid number of levels\n");
    std::vector<float> vals;
    std::string line = p;
    const char* q = nxtwrd(line.c_str());
    while (int(vals.size()) < n) {
      if (!q) {
        if (!in.next())
          return in.refused() ? false
                              : fail("XDFOpen Error:  Unexpected EOF reading variables\n", false);
        line = in.low;
        q = line.c_str();
        while (*q == ' ' || *q == '\t') q++;
        if (!*q) return fail("XDFopen Error:  Missing or invalid dimension starting value\n");
      }
      float v;
      const char* e = valprs(q, &v);
      if (!e || !word_end(*e) || !std::isfinite(v))
        return fail("XDFopen Error:  Missing or invalid dimension starting value\n");
      if (!vals.empty() && !levels_rise("XDFopen Error", d, vals.back(), v, in.line()))
        return false;
      vals.push_back(v);
      q = nxtwrd(q);
    }
    float* a = level_scaling_new(n);
    if (!a) return fail("XDFopen Error:  Memory allocation Error\n", false);
    a[0] = float(n);
    for (int i = 0; i < n; i++) a[i + 1] = vals[size_t(i)];
    a[n + 1] = scaling_end_mark;
    set_level_scaling(pfi, d, a);
    return true;
  }

  bool dimension(const char* p, int d) {
    p = nxtwrd(p);
    if (!p) return fail("XDFopen Error:  Missing or invalid dimension name.\n");
    std::string name;
    const char* rest = putncdnm(in.typed(p), &name);
    parms.find[d] = 0;
    parms.dim_names[d] = name;
    parms.has_dim_name[d] = 1;
    if (!*rest) return true;
    const char* lp = in.low.c_str() + (rest - in.rec.c_str());
    int n;
    const char* e = intprs(lp, &n);
    if (!e || (*e != ' ' && *e != '\t') || n < 1)
      return fail("XDFopen Error:  Missing or invalid dimension size.\n");
    parms.wanted[d] = 0;
    *size_of(pfi, d) = n;
    const char* m = nxtwrd(e);
    if (!m) return fail("XDFopen Error:  Missing or invalid dimension scaling type\n");
    if (cmpwrd("linear", m)) return linear(m, d);
    if (cmpwrd("levels", m)) return levels(m, d);
    if (d == 1) {
      static const struct {
        const char* word;
        float* (*table)(int, int);
      } tables[] = {{"gausr40", kagaus},
                    {"mom32", kamo32},
                    {"gausr30", kags30},
                    {"gausr20", kags20},
                    {"gausr15", kags15}};
      for (const auto& t : tables)
        if (cmpwrd(t.word, m)) {
          const char* s = nxtwrd(m);
          int start;
          if (!s || !intprs(s, &start) || start < 1)
            return fail("XDFopen Error:  Missing or invalid dimension starting value\n");
          float* a = t.table(start, n);
          if (!a) return false;
          set_level_scaling(pfi, 1, a);
          return true;
        }
    }
    return fail("XDFopen Error:  Missing or invalid dimension scaling type\n");
  }

  bool options(const char* low, int) {
    const char* p = nxtwrd(low);
    if (!p)
      kaprnt(msg_level::info, "XDFopen:  Description file warning: Missing options keyword\n");
    for (; p; p = nxtwrd(p)) {
      const option_word* o = find_word(option_words, p);
      if (!o) return fail("XDFopen Error:  Data file option invalid\n");
      o->set(pfi);
    }
    return true;
  }

  bool title(const char* low, int) {
    const char* p = nxtwrd(low);
    parms.title_from_file = 0;
    if (!p)
      kaprnt(msg_level::info, "XDFopen:  Description file warning: Missing title string\n");
    else
      getstr(pfi->title, in.typed(p), 511);
    return true;
  }

  bool data_set(const char* low, int) {
    const char* p = nxtwrd(low);
    if (!p) return fail("XDFOpen Error:  Data file name is missing\n");
    const char* t = in.typed(p);
    if (*t == '^' || *t == '$') {
      std::string out;
      if (fnmexp(out, t, opened.c_str()) != 0)
        return fail("XDFOpen Error:  Data file name is missing\n");
      dset = out;
    } else {
      char w[512];
      getwrd(w, t, 511);
      dset = w;
    }
    return true;
  }

  bool undef(const char* low, int) {
    const char* p = nxtwrd(low);
    float u;
    if (!p) return fail("XDFOpen Error:  Missing undef value\n");
    if (!valprs(p, &u) || !std::isfinite(u)) return fail("XDFOpen Error:  Invalid undef value\n");
    pfi->undef = u;
    float d = std::fabs(u / 100000.0f);
    pfi->undef_low = u - d;
    pfi->undef_high = u + d;
    parms.undef_from_file = 0;
    parms.undef_given = 1;
    return true;
  }

  bool tdef(const char* p, int) {
    tdef_start.clear();
    p = nxtwrd(p);
    if (!p) return fail("XDFopen Error:  Missing or invalid dimension name.\n");
    std::string name;
    const char* rest = putncdnm(in.typed(p), &name);
    bool nodim = cmpch(in.low.c_str() + (p - in.low.c_str()), "%nodim%", 7) == 0;
    parms.find[3] = 0;
    parms.has_dim_name[3] = nodim ? 0 : 1;
    parms.dim_names[3] = nodim ? std::string() : name;
    auto* ts = static_cast<float*>(kacalloc(8, sizeof(float)));
    kafree(pfi->grid_to_world_scaling[3]);
    pfi->grid_to_world_scaling[3] = pfi->world_to_grid_scaling[3] = ts;
    pfi->linear_flags[3] = 1;
    ts[7] = scaling_end_mark;
    if (!*rest) {
      if (nodim) {
        parms.wanted[3] = 0;
        pfi->t_size = 1;
        const float one[7] = {1, 1, 1, 0, 0, 0, 1};
        std::memcpy(ts, one, sizeof one);
      }
      return true;
    }
    const char* lp = in.low.c_str() + (rest - in.rec.c_str());
    int n;
    const char* e = intprs(lp, &n);
    if (!e || (*e != ' ' && *e != '\t') || n < 1)
      return fail("XDFopen Error:  Missing or invalid dimension size.\n");
    if (nodim && n != 1 && !pfi->template_flag) {
      kaprnt(msg_level::error, "TDEF with %nodim% has timestep count != 1; resetting to 1.\n");
      n = 1;
    }
    pfi->t_size = n;
    parms.wanted[3] = 0;
    const char* m = nxtwrd(e);
    if (!m || !cmpwrd("linear", m))
      return fail("XDFopen Error:  Missing or invalid dimension scaling type\n");
    const char* s = nxtwrd(m);
    date_time def{-1000, -1000, -1000, 0, 0}, start{};
    const char* after = s ? adtprs(s, &def, &start) : nullptr;
    if (!after || (*after != ' ' && *after != '\t') || start.year == -1000 ||
        start.month == -1000 || start.day == -1000)
      return fail(kBadStart);
    const char* inc = nxtwrd(after);
    date_time step{};
    if (!inc || !rdtprs(inc, &step))
      return fail("XDFopen Error:  Missing or invalid dimension increment value\n");
    ts[0] = float(start.year);
    ts[1] = float(start.month);
    ts[2] = float(start.day);
    ts[3] = float(start.hour);
    ts[4] = float(start.minute);
    ts[5] = float(step.year * 12 + step.month);
    ts[6] = float(step.day * 1440 + step.hour * 60 + step.minute);
    if (ts[5] == 0 && ts[6] == 0) {
      kaprnt(msg_level::error, "XDFopen Error:  0 time increment in tdef\n");
      kaprnt(msg_level::error, " use 1 for single time data\n");
      show_record = true;
      return false;
    }
    tdef_start.assign(s, size_t(after - s));
    tdef_record = in.low;
    return true;
  }

  bool vars(const char* p, int) {
    const char* q = nxtwrd(p);
    int n;
    if (!q || !intprs(q, &n) || n < 1 || n > 100000) {
      kaprnt(msg_level::error, "XDFopen Error:  Missing or invalid variable");
      return fail(" count\n");
    }
    parms.scan_vars = 0;
    parms.var_count = n;
    parms.nc_names.assign(size_t(n), std::string());
    parms.display_names.assign(size_t(n), std::string());
    parms.new_entry.assign(size_t(n), 0);
    kafree(pfi->variables);
    pfi->variables =
        static_cast<variable_descriptor*>(kacalloc(size_t(n), sizeof(variable_descriptor)));
    pfi->variable_count = n;
    int got = 0;
    while (got < n) {
      if (!in.next(true)) {
        if (in.refused()) return false;
        kaprnt(msg_level::error, "XDFOpen Error:  Unexpected EOF reading variables\n");
        kaprntf(msg_level::result, "Was expecting %i records.  Found %i.\n", n, got);
        show_record = false;
        return false;
      }
      if (cmpwrd("endvars", in.low.c_str())) {
        kaprnt(msg_level::error, "XDFOpen Error:  Unexpected ENDVARS record\n");
        kaprntf(msg_level::result, "Was expecting %i records.  Found %i.\n", n, got);
        return false;
      }
      if (const char* field = variable(got)) {
        kaprnt(msg_level::error, "XDFOpen Error:  Invalid variable record\n");
        return fail(field);
      }
      got++;
    }
    if (!in.next())
      return in.refused() ? false : fail("XDFOpen Error:  Missing ENDVARS statement.\n", false);
    if (!cmpwrd("endvars", in.low.c_str())) {
      kaprnt(msg_level::error, "XDFOpen Error:  Looking for ENDVARS statement\n");
      kaprnt(msg_level::error, "             Instead, found:  \n");
      return false;
    }
    return true;
  }

  // One variable record; null when it fits, else the line that names the
  // field in error.
  const char* variable(int k) {
    std::string display, ncname;
    const char* rest;
    if (!cmpndname(in.rec.c_str(), &rest, &display, &ncname))
      return "  --> Missing or invalid variable name\n";
    variable_descriptor& v = pfi->variables[k];
    // The display name is cut to what the record holds, and lower-cased:
    // expressions name variables in lower case.
    const std::string ab = sdf_lowered(display.substr(0, sizeof v.abbrev - 1));
    std::memcpy(v.abbrev, ab.c_str(), ab.size() + 1);
    parms.nc_names[size_t(k)] = ncname;
    parms.display_names[size_t(k)] = ab;
    for (int& u : v.units) u = -999;
    if (!*rest) {
      parms.new_entry[size_t(k)] = 1;
      return nullptr;
    }
    constexpr const char* kBadUnits = "  --> Missing or invalid variable units value\n";
    int levels;
    const char* p = intprs(rest, &levels);
    if (!p || !word_end(*p) || levels < 0) return "  --> Missing or invalid variable level count\n";
    v.levels = levels;
    p = nxtwrd(p);
    if (!p) return kBadUnits;
    for (int i = 0; i < 4; i++) {
      int code;
      const char* e = intprs(p, &code);
      if (!e) return kBadUnits;
      v.units[i] = code;
      p = e;
      if (*p != ',') break;
      p++;
      while (*p == ' ') p++;
    }
    if (!*p) return "  --> Missing variable description\n";
    if (*p != ' ' && *p != '\t') return kBadUnits;
    while (*p == ' ' || *p == '\t') p++;
    std::string desc = std::string(p).substr(0, 127);
    std::memcpy(v.description, desc.c_str(), desc.size() + 1);
    v.multiplier = 1;
    if (v.units[0] == -1 && v.units[1] == 20) v.time_block = 1;
    if (v.units[0] == -1 && v.units[1] == 30) v.yx_order = 1;
    if (v.units[0] == -1 && v.units[1] == 40 && v.units[2] >= 1 && v.units[2] <= 4)
      v.data_form = v.units[2];
    (v.levels ? pfi->level_variable_count : pfi->surface_variable_count)++;
    return nullptr;
  }
};

// Records of the descriptor, matched as the whole first word of the
// lower-cased line. A handler gets that line and the entry's argument (the
// dimension of xdef, ydef and zdef); false after an error.
struct record_keyword {
  const char* word;
  bool (parser::*handler)(const char* low, int arg);
  int arg = 0;
};
const record_keyword records[] = {
    {"options", &parser::options},   {"title", &parser::title},
    {"dset", &parser::data_set},     {"undef", &parser::undef},
    {"xdef", &parser::dimension, 0}, {"ydef", &parser::dimension, 1},
    {"zdef", &parser::dimension, 2}, {"tdef", &parser::tdef},
    {"vars", &parser::vars},
};

// Parses the descriptor; 0 or 1 after the messages.
int kadxdf(const char* name, file_descriptor* pfi, std::string* tmpl, int* ntsteps,
           std::string* dataname, sdf_parms& parms) {
  doparms4sdf(&parms);
  parms.descriptor = 1;
  pfi->second_stream = nullptr;
  pfi->calendar_365 = 0;
  pfi->variable_count = 0;
  std::string opened = name;
  input_file f(opened, "r");
  if (!f.ok() && f.status() != input_status::not_regular) {
    opened += ".ctl";
    f = input_file(opened, "r");
  }
  if (!f.ok()) {
    kaprnt(msg_level::error, "XDFOpen Error:  Can't open description file\n");
    if (f.status() == input_status::not_regular)
      kaprnt(msg_level::error, "  " + f.refusal() + "\n");
    return 1;
  }
  std::snprintf(pfi->descriptor_name, 256, "%s", opened.c_str());
  descriptor_file in(std::move(f));
  parser ps{in, pfi, parms, opened, {}, true, {}, {}};
  const std::string& dset = ps.dset;
  auto failed = [&](const std::string& record) {
    if (ps.show_record && in.showable()) {
      kaprnt(msg_level::error, "  --> The invalid description file record is: \n");
      kaprnt(msg_level::error, "  --> ");
      kaprnt(msg_level::error, printable(record));
      kaprnt(msg_level::error, "\n");
    }
    kaprnt(msg_level::error, kNotOpened);
    return 1;
  };
  while (in.next(true)) {
    const char* low = in.low.c_str();
    ps.show_record = true;
    const record_keyword* r = find_word(records, low);
    if (!r) {
      ps.fail("XDFOpen Error:  Unknown keyword in description file\n");
      return failed(in.low);
    }
    if (!(ps.*r->handler)(low, r->arg)) return failed(in.low);
  }
  if (in.refused()) {
    ps.show_record = true;
    return failed(in.low);
  }
  if (in.interrupted()) {
    kaprnt(msg_level::error, "XDFOpen Error:  Interrupted while the description file was read\n");
    kaprnt(msg_level::error, kNotOpened);
    return 1;
  }
  if (dset.empty()) {
    kaprntf(msg_level::error, "XDFOpen Error:  missing %s record \n", "DSET");
    kaprnt(msg_level::error, kNotOpened);
    return 1;
  }
  if (!keep_session_calendar(pfi->calendar_365)) {
    kaprnt(msg_level::error, kNotOpened);
    return 1;
  }
  // The start was read before the options named the calendar: a day the
  // data set's calendar lacks (29 February of a 365-day set) would move to
  // the next. The caller puts the session's calendar back on failure.
  if (!ps.tdef_start.empty()) {
    date_time def{-1000, -1000, -1000, 0, 0}, start{};
    if (!adtprs(ps.tdef_start.c_str(), &def, &start)) {
      ps.fail(kBadStart);
      return failed(ps.tdef_record);
    }
  }
  if (pfi->template_flag) {
    if (parms.wanted[3] || !pfi->grid_to_world_scaling[3]) {
      kaprnt(msg_level::error, "XDFopen Error:  Missing or invalid dimension size.\n");
      kaprnt(msg_level::error, kNotOpened);
      return 1;
    }
    pfi->t_size = capped_times(pfi->t_size, "SDF:  ");
    *ntsteps = pfi->t_size;
    *tmpl = dset;
    if (!sdf_template_table(pfi, dset.c_str(), pfi->t_size,
                            "XDFOpen Error:  ", "XDFopen Error:  Memory allocation Error\n")) {
      kaprnt(msg_level::error, kNotOpened);
      return 1;
    }
    date_time d1{};
    gr2t(pfi->grid_to_world_scaling[3], 1.0f, &d1);
    *dataname = kafndt(dset.c_str(), &d1, &d1, pfi->grid_to_world_scaling[3]);
    pfi->open_template_time = 0;
    return 0;
  }
  *dataname = dset;
  return 0;
}

}  // namespace

int kaxdfopen(const char* args, session_state* pcm) {
  char name[256];
  getwrd(name, args, 255);
  kaprnt(msg_level::result, std::string("Scanning Descriptor File:  ") + name + "\n");
  // A failure (also a failed allocation) leaves the session's calendar,
  // files and environment as they were.
  open_guard guard(pcm);
  // Until the data set is on the file list a failure closes its netCDF file
  // and frees it.
  dataset_ptr owner(getpfi());
  file_descriptor* pfi = owner.get();
  if (!pfi) {
    kaprnt(msg_level::error, "Memory Allocation Error:  On File Open\n");
    return 1;
  }
  pfi->reader = find_reader(data_kind::netcdf);
  io_std* io = nullptr;
  if (!init_io_std(&io)) {
    kaprnt(msg_level::error, "Memory Allocation Error:  On XDF File Open\n");
    return 1;
  }
  pfi->sdf_io = io;
  pfi->template_flag = 0;
  sdf_parms parms;
  std::string tmpl, dataname;
  int ntsteps = -999;
  if (int rc = kadxdf(name, pfi, &tmpl, &ntsteps, &dataname, parms)) return rc;
  guard.reopen_calendar();
  if (int rc = kadsdf(dataname.c_str(), pfi, tmpl, ntsteps, parms)) {
    // The record may fail before it holds the name.
    const char* shown = pfi->data_file_name[0] ? pfi->data_file_name : dataname.c_str();
    kaprntf(msg_level::error, "Data file %s was not successfully opened & parsed.\n", shown);
    return rc;
  }
  // A time axis from the descriptor: its calendar is the data set's.
  if (mfcmn.calendar_365 < 0) mfcmn.calendar_365 = pfi->calendar_365;
  sdf_list_file(std::move(owner), "Data file", pcm);
  guard.keep();
  return 0;
}
