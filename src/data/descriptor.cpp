#include "data/descriptor.h"

#include <sys/file.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "base/alloc.h"
#include "base/dirlock.h"
#include "base/fnmtemplate.h"
#include "base/inputfile.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/numfmt.h"
#include "base/safefile.h"
#include "base/scaling.h"
#include "base/session.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/filerec.h"
#include "data/reader.h"
#include "data/stnmap.h"
#include "data/gribindex.h"
#include "data/gribread.h"

// Builds the interpolation arrays of a pre-projected data set.

namespace {

// The one parse that runs at a time: set afresh by each kaddes; its streams
// stay open until the next one (the pre-projected reader reads the PDEF file).
struct descriptor_parse {
  input_file descr;           // the descriptor
  FILE* pdef_file = nullptr;  // the PDEF interpolation file
  std::string rec;            // current line as typed
  std::string mrec;           // the same, lower-cased
  bool eof_error = false;     // the last error came from running out of lines
  bool nul_line = false;      // a line holding a NUL byte was refused and shown
  bool line_failed = false;   // a line was refused or the reading interrupted
  long lines_read = 0;
};

descriptor_parse parse;

constexpr const char* kMemory = "Open Error:  Memory allocation Error in kaddes\n";

bool is_blank(char c) { return c == ' ' || c == '\t'; }

// Longest descriptor line; a longer one (or an endless file without
// newlines) is refused instead of read into memory without end.
constexpr size_t kMaxLine = 511;

// The lines every error found on a record ends with; the record is the
// current line unless another is named.
void context(const std::string& record = parse.rec) {
  kaprnt(msg_level::error, "  --> The invalid description file record is: \n");
  // A file that is no descriptor (a netCDF file) shows its bytes escaped.
  kaprnt(msg_level::error, "  --> " + printable(record) + "\n");
}

bool is_comment(const std::string& m) {
  if (m.empty()) return true;
  // ASCII letters and digits only: nothing here depends on the locale.
  char c = m[0];
  return !((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
}

// Where a line is read: where a record may stand, a comment line is passed
// over whatever it holds, as nothing reads it (writers pad the end of a
// descriptor with NUL bytes, or write long notes); a continuation of a
// record, or the line that must close the variables, is read whole.
enum class line_use { record, continuation };

// Reads the next line of the descriptor into rec and mrec; false at the end,
// and after a refused line or an interrupt, with line_failed set.
bool read_line(line_use use) {
  line_read got;
  do {
    if ((++parse.lines_read & 0x3ff) == 0 && kaqsig()) {
      kaprnt(msg_level::error, "Open Error:  Interrupted while the description file was read\n");
      parse.line_failed = true;
      return false;
    }
    got = parse.descr.next_line(parse.rec, kMaxLine);
  } while (use == line_use::record && got != line_read::end && got != line_read::interrupted &&
           is_comment(parse.rec));
  switch (got) {
    case line_read::ok: break;
    case line_read::end: return false;
    case line_read::too_long:
      kaprntf(msg_level::error,
              "Open Error:  Description file line %ld is longer than %zu characters\n",
              parse.lines_read, kMaxLine);
      parse.line_failed = true;
      return false;
    case line_read::interrupted:
      kaprnt(msg_level::error, "Open Error:  Interrupted while the description file was read\n");
      parse.line_failed = true;
      return false;
  }
  // Every record is read up to its first NUL: the rest would be lost unseen.
  if (parse.rec.find('\0') != std::string::npos) {
    kaprntf(msg_level::error, "Open Error:  Description file line %ld holds a NUL byte\n",
            parse.lines_read);
    context();
    parse.line_failed = parse.nul_line = true;
    return false;
  }
  while (!parse.rec.empty() && parse.rec.back() == '\r') parse.rec.pop_back();
  parse.mrec = parse.rec;
  lowcas(parse.mrec.data());
  return true;
}

// The typed line at the position of p in the lower-cased one.
const char* typed_at(const char* p) { return parse.rec.c_str() + (p - parse.mrec.c_str()); }

// Error found on the current record.
void rec_error(const char* msg) {
  kaprnt(msg_level::error, msg);
  context();
}

// A long integer that makes up its whole word.
bool whole_long(const char* p, long* v) {
  const char* q = longprs(p, v);
  return q && word_end(*q);
}

void dim_error(const char* what) {
  kaprnt(msg_level::error, "Open Error:  Missing or invalid dimension");
  kaprnt(msg_level::error, what);
}

// Expands a file name of the descriptor (first word of the typed text at p)
// into a new malloc'd text. Null after a message when the name can't be had.
char* expand_name(const char* p, const char* descriptor) {
  size_t n = 0;
  while (p[n] && p[n] != ' ' && p[n] != '\t' && p[n] != '\n') n++;
  std::string word(p, n);
  std::string out;
  if (word[0] == '^' || word[0] == '$') {
    std::string missing;
    if (fnmexp(out, word.c_str(), descriptor, &missing) != 0) {
      kaprnt(msg_level::error,
             "Open Error:  Environment variable " + missing + " named in a file name is not set\n");
      return nullptr;
    }
  } else {
    out = word;
  }
  if (out.size() >= 4096) {
    kaprnt(msg_level::error, "Open Error:  File name is too long\n");
    return nullptr;
  }
  return kastrdup(out.c_str());
}

// The expanded file name the record gives after its keyword (malloc'd); null
// with the error and the record reported when it is missing or can't be had.
char* record_file_name(const char* mp, const char* missing, const char* descriptor) {
  const char* p = nxtwrd(mp);
  if (!p) {
    rec_error(missing);
    return nullptr;
  }
  char* name = expand_name(typed_at(p), descriptor);
  if (!name) context();
  return name;
}

// Frees the scaling array of a dimension given twice.
void drop_scaling(file_descriptor* pfi, int dim) {
  kafree(pfi->grid_to_world_scaling[dim]);
  pfi->grid_to_world_scaling[dim] = nullptr;
  pfi->world_to_grid_scaling[dim] = nullptr;
}

constexpr const char* kBadSize = "Open Error:  Missing or invalid dimension size.\n";

// Dimension size after the keyword: an integer followed by a blank; the
// caller judges its value. Returns the position after the number, or null
// after the message.
const char* dimension_size(const char* mp, int* size) {
  const char* p = nxtwrd(mp);
  const char* q = p ? intprs(p, size) : nullptr;
  if (!q || !word_end(*q)) {
    rec_error(kBadSize);
    return nullptr;
  }
  return q;
}

int* size_field(file_descriptor* pfi, int dim) {
  switch (dim) {
    case 0: return &pfi->x_size;
    case 1: return &pfi->y_size;
    case 2: return &pfi->z_size;
    default: return &pfi->t_size;
  }
}

// Variable record: abbreviation, levels, units, description.
bool parse_variable(variable_descriptor* v) {
  std::memset(v, 0, sizeof *v);
  for (int& u : v->units) u = -999;
  v->multiplier = 1;
  const char* mp = parse.mrec.c_str();
  getwrd(v->abbrev, mp, 15);
  // The abbreviation ends at a blank: a tab would otherwise end up in it.
  for (char* c = v->abbrev; *c; c++)
    if (*c == '\t') *c = '\0';
  const char* p = nxtwrd(mp);
  if (!p) return false;
  const char* q = intprs(p, &v->levels);
  if (!q || !word_end(*q) || v->levels < 0) return false;
  p = nxtwrd(p);
  if (!p) return false;
  int count = 0;
  while (true) {
    if (count == 4) return false;
    q = intprs(p, &v->units[count]);
    if (!q) return false;
    count++;
    while (is_blank(*q)) q++;
    if (*q != ',') break;
    q++;
    while (is_blank(*q)) q++;
    p = q;
  }
  // The units end at a blank before the description.
  if (q == p || *q == '\0' || *q == '\n') return false;
  if (!is_blank(q[-1])) return false;
  char desc[128];
  getstr(desc, typed_at(q), 127);
  size_t len = std::strlen(desc);
  while (len > 0 && is_blank(desc[len - 1])) desc[--len] = '\0';
  if (len == 0) return false;
  std::memcpy(v->description, desc, len + 1);
  if (v->units[0] == -1) {
    switch (v->units[1]) {
      case 20: v->time_block = 1; break;
      case 30: v->yx_order = 1; break;
      case 40:
        if (v->units[2] == 1)
          v->data_form = 1;
        else if (v->units[2] == 2)
          v->data_form = v->units[3] == -1 ? -2 : 2;
        else if (v->units[2] == 3)
          v->data_form = 3;
        else if (v->units[2] == 4)
          v->data_form = 4;
        break;
      default: break;
    }
  }
  return true;
}

bool is_group(const variable_descriptor& v, int second) {
  return v.units[0] == -1 && v.units[1] == 10 && (second < 0 || v.units[2] == second);
}

// Record layout of a grid file in 4-byte words. The sums are formed in 128
// bits so that no descriptor can make them wrap; a layout whose sizes do not
// fit in 64 bits is refused. Returns false after the message.
bool grid_layout(file_descriptor* pfi, int64_t hdrb_in, int64_t trlb) {
  using wide = __int128;
  wide hdrb = hdrb_in;
  wide gsiz = pfi->pdef_type ? wide(pfi->native_isize) * pfi->native_jsize
                             : wide(pfi->x_size) * pfi->y_size;
  gsiz += pfi->xy_header_words;
  wide off0;
  if (!pfi->sequential) {
    off0 = hdrb;
  } else {
    gsiz += 2;
    if (hdrb > 0) hdrb += 2;
    off0 = hdrb + 1;
  }
  variable_descriptor* v = pfi->variables;
  int n = pfi->variable_count;
  const wide limit = INT64_MAX;
  bool too_big = false;
  auto store = [&](int64_t& field, wide value) {
    if (value > limit || value < -limit)
      too_big = true;
    else
      field = static_cast<int64_t>(value);
  };
  auto levels_of = [&](int i) -> wide { return v[i].levels ? v[i].levels : 1; };
  // A level-interleaved group is a -1,10,1 variable and the -1,10,2 ones that
  // follow it: a time holds member 1 at level 1, member 2 at level 1, ...,
  // member 1 at level 2, and so on, each grid once. A -1,10,2 with no group
  // before it starts one of its own.
  auto joins_group = [&](int i) { return i > 0 && is_group(v[i], 2) && is_group(v[i - 1], -1); };
  wide acum = off0;
  wide group_start = 0, group_span = 0, member = 0;
  wide records = 0;
  for (int i = 0; i < n; i++) {
    if (i > 0) {
      wide prev = levels_of(i - 1);
      records += prev;
      if (joins_group(i)) {
        member++;
        acum = group_start + member * gsiz;
      } else if (is_group(v[i - 1], -1)) {
        acum = group_start + group_span;
      } else if (!v[i].time_block) {
        acum += prev * gsiz;
      } else if (!pfi->template_flag) {
        acum += prev * pfi->t_size * gsiz;
      } else {
        wide per_file = v[i].units[2];
        if (per_file == -999) {
          kaprnt(msg_level::result,
                 "Using time templat and 4-D variables, # times / file not specified\n");
          kaprnt(msg_level::result, "Defaulting to the number of times in the .ctl file\n");
          per_file = pfi->t_size;
        }
        acum += prev * per_file * gsiz;
      }
    }
    if (is_group(v[i], -1) && !joins_group(i)) {
      int count = 1;
      wide levels = levels_of(i);
      for (int k = i + 1; k < n && joins_group(k); k++) {
        count++;
        levels = std::max(levels, levels_of(k));
      }
      group_start = acum;
      group_span = count * levels * gsiz;
      member = 0;
      for (int k = i; k < i + count; k++) v[k].multiplier = count;
    }
    store(v[i].offset, acum);
    if (records > INT32_MAX)
      too_big = true;
    else
      v[i].record = static_cast<int>(records);
  }
  wide all_records = 0;
  for (int i = 0; i < n; i++) all_records += levels_of(i);
  wide twords;
  if (is_group(v[n - 1], -1)) {
    twords = group_start + group_span;
  } else {
    twords = acum + levels_of(n - 1) * gsiz;
  }
  wide thdr = pfi->time_header_words;
  if (pfi->sequential && thdr > 0) thdr += 2;
  twords += thdr;
  if (pfi->sequential) twords -= 1;
  twords += trlb;
  store(pfi->grid_words, gsiz);
  store(pfi->time_words, twords);
  // A whole data file must be addressable in bytes too.
  if (twords * 4 * pfi->t_size > limit) too_big = true;
  if (all_records > INT32_MAX)
    too_big = true;
  else
    pfi->time_records = static_cast<int>(all_records);
  if (too_big) {
    kaprnt(msg_level::error,
           "Open Error:  Data set too large: its layout exceeds 64-bit file offsets\n");
    return false;
  }
  return true;
}

bool station_layout(file_descriptor* pfi) {
  int nsurf = 0, nlev = 0;
  bool levels_started = false;
  for (int i = 0; i < pfi->variable_count; i++) {
    variable_descriptor& v = pfi->variables[i];
    if (v.levels == 0) {
      if (levels_started) {
        kaprnt(msg_level::error, "Open Error: Variables out of order\n");
        kaprnt(msg_level::error, "  Non-vertical variables must go first\n");
        return false;
      }
      v.offset = nsurf++;
    } else {
      levels_started = true;
      v.offset = nlev++;
    }
  }
  pfi->surface_variable_count = nsurf;
  pfi->level_variable_count = nlev;
  return true;
}

// Per-time file numbers of a templated data set. False after the message.
bool template_numbers(file_descriptor* pfi) {
  int nt = pfi->t_size;
  pfi->template_file_numbers = static_cast<int*>(kamalloc(sizeof(int) * size_t(nt), kMemory));
  if (fill_template_table(pfi->template_file_numbers, nt, pfi->data_file_name,
                          pfi->grid_to_world_scaling[3], pfi->data_file_literal,
                          "Open Error:  ") == template_fill::interrupted)
    return false;
  pfi->open_template_time = 0;
  return true;
}

// What the records have given so far; read again at the end of the file.
struct parse_state {
  explicit parse_state(file_descriptor* f) : pfi(f) {}
  file_descriptor* pfi;
  // Required records seen.
  bool xdef = false, ydef = false, zdef = false, tdef = false;
  bool undef = false, dset = false, vars = false;
  int64_t header_words = 0;   // HEADERBYTES, in words
  int64_t trailer_words = 0;  // TRAILERBYTES, in words
  int pdef_access = 0;        // 1 stream, 2 sequential
  int pdef_format = 0;        // 1 binary, 2 big-endian, 3 little-endian, 4 packed
  // The STNMAP or INDEX record as typed: the map is read after the last
  // record, and a map that can't be opened is reported with its record.
  std::string map_record;
  // The TDEF record as typed and its start time lower-cased: the start is
  // read again under the data set's calendar once the options are known.
  std::string tdef_record, tdef_start;
};

// A record handler gets the lower-cased line and the entry's argument.
// Returns 0 when the record was taken (warnings may have been printed), 1
// after an error.
using record_handler = int (*)(parse_state& st, const char* mp, int arg);

struct record_keyword {
  const char* word;
  record_handler handler;
  int arg = 0;
};

// The entry of a keyword table whose word is the word at p, or null.
template <class Entry, size_t N>
const Entry* find_word(const Entry (&table)[N], const char* p) {
  for (const Entry& e : table)
    if (cmpwrd(e.word, p)) return &e;
  return nullptr;
}

int rec_byteswapped(parse_state& st, const char*, int) {
  st.pfi->byte_swap = 1;
  return 0;
}

int rec_fileheader(parse_state& st, const char* mp, int) {
  const char* p = nxtwrd(mp);
  long v = 0;
  if (!p) {
    kaprnt(msg_level::info, "Description file warning: Missing fileheader length\n");
  } else if (!whole_long(p, &v)) {
    kaprnt(msg_level::info, "Fileheader record invalid\n");
    st.pfi->file_header_bytes = 0;
  } else if (v < 0) {
    rec_error("Fileheader record invalid\n");
    return 1;
  } else {
    st.pfi->file_header_bytes = v;
  }
  return 0;
}

enum header_kind { kXyHeader, kTimeHeader };

// XYHEADER and THEADER: a length in bytes kept in words.
int rec_header(parse_state& st, const char* mp, int kind) {
  bool xy = kind == kXyHeader;
  const char* p = nxtwrd(mp);
  long v = 0;
  const char* bad =
      xy ? "xy grid header length invalid\n" : "time chunk grid header length invalid\n";
  int& field = xy ? st.pfi->xy_header_words : st.pfi->time_header_words;
  if (!p) {
    kaprnt(msg_level::info, xy ? "Description file warning: Missing xy grid header length\n"
                               : "Description file warning: Missing time chunk header length\n");
  } else if (!whole_long(p, &v)) {
    kaprnt(msg_level::info, bad);
    field = 0;
  } else if (v < 0 || v / 4 > INT32_MAX) {
    rec_error(bad);
    return 1;
  } else {
    field = static_cast<int>(v / 4);
  }
  return 0;
}

enum block_kind { kHeaderBytes, kTrailerBytes };

// HEADERBYTES and TRAILERBYTES: bytes of every time block, kept in words.
int rec_block_bytes(parse_state& st, const char* mp, int kind) {
  bool trailer = kind == kTrailerBytes;
  const char* bad = trailer ? "Trailerbytes record invalid\n" : "Headerbytes record invalid\n";
  const char* p = nxtwrd(mp);
  int64_t& field = trailer ? st.trailer_words : st.header_words;
  long lv = 0;
  if (!p || !whole_long(p, &lv) || lv > INT32_MAX) {
    kaprnt(msg_level::info, bad);
    field = 0;
  } else if (lv < 0) {
    rec_error(bad);
    return 1;
  } else {
    field = lv / 4;
  }
  return 0;
}

struct option_word {
  const char* word;
  void (*apply)(file_descriptor* pfi);
};

// The flag named by each word of OPTIONS.
const option_word option_words[] = {
    {"sequential", [](file_descriptor* f) { f->sequential = 1; }},
    {"yrev", [](file_descriptor* f) { f->yrev = 1; }},
    {"zrev", [](file_descriptor* f) { f->zrev = 1; }},
    {"template", [](file_descriptor* f) { f->template_flag = 1; }},
    {"byteswapped", [](file_descriptor* f) { f->byte_swap = 1; }},
    {"cray_32bit_ieee", [](file_descriptor*) {}},  // accepted; nothing to set
    {"365_day_calendar", [](file_descriptor* f) { f->calendar_365 = 1; }},
    // The swap flag says that the data's order differs from the host's.
    {"big_endian",
     [](file_descriptor* f) {
       if (std::endian::native == std::endian::little) f->byte_swap = 1;
     }},
    {"little_endian",
     [](file_descriptor* f) {
       if (std::endian::native == std::endian::big) f->byte_swap = 1;
     }},
};

int rec_options(parse_state& st, const char* mp, int) {
  const char* p = nxtwrd(mp);
  if (!p) kaprnt(msg_level::info, "Description file warning: Missing options keyword\n");
  for (; p; p = nxtwrd(p)) {
    const option_word* o = find_word(option_words, p);
    if (!o) {
      rec_error("Open Error:  Data file type invalid\n");
      return 1;
    }
    o->apply(st.pfi);
  }
  return 0;
}

int rec_dtype(parse_state& st, const char* mp, int) {
  file_descriptor* pfi = st.pfi;
  const char* p = nxtwrd(mp);
  if (!p) {
    kaprnt(msg_level::info, "Description file warning: Missing data type\n");
    kaprnt(msg_level::info, "   Assuming data file type is grid\n");
  } else if (cmpwrd("station", p)) {
    pfi->file_type = station_file;
  } else if (cmpwrd("grib", p)) {
    pfi->grib_flag = 1;
    if (const char* q = nxtwrd(p)) {
      int gt;
      const char* r = intprs(q, &gt);
      if (!r || !word_end(*r)) {
        kaprnt(msg_level::info, "Description file warning: Invalid GRIB option\n");
        pfi->grib_grid_type = -999;
      } else {
        pfi->grib_grid_type = gt;
      }
    }
  } else {
    rec_error("Open Error:  Data file type invalid\n");
    return 1;
  }
  return 0;
}

int rec_title(parse_state& st, const char* mp, int) {
  const char* p = nxtwrd(mp);
  if (!p) {
    kaprnt(msg_level::info, "Description file warning: Missing title string\n");
    return 0;
  }
  char* title = st.pfi->title;
  getstr(title, typed_at(p), 511);
  size_t len = std::strlen(title);
  while (len > 0 && is_blank(title[len - 1])) title[--len] = '\0';
  return 0;
}

int rec_dset(parse_state& st, const char* mp, int) {
  char* name =
      record_file_name(mp, "Open Error:  Data file name is missing\n", st.pfi->descriptor_name);
  if (!name) return 1;
  std::strcpy(st.pfi->data_file_name, name);
  kafree(name);
  st.dset = true;
  // A "%" in the descriptor's own directory is no template code.
  const char* p = nxtwrd(mp);
  const char* slash = std::strrchr(st.pfi->descriptor_name, '/');
  st.pfi->data_file_literal =
      *typed_at(p) == '^' && slash ? size_t(slash - st.pfi->descriptor_name) + 1 : 0;
  return 0;
}

enum map_kind { kStationMap, kGribIndex };

// STNMAP and INDEX name the map; it is read once all records are in.
int rec_map(parse_state& st, const char* mp, int kind) {
  if (kind == kGribIndex) st.pfi->grib_flag = 1;
  char* name = record_file_name(mp, "Open Error:  Station or Index Map file name is missing\n",
                                st.pfi->descriptor_name);
  if (!name) return 1;
  kafree(st.pfi->map_file_name);
  st.pfi->map_file_name = name;
  st.map_record = parse.rec;
  return 0;
}

int rec_toff(parse_state& st, const char* mp, int) {
  file_descriptor* pfi = st.pfi;
  const char* p = nxtwrd(mp);
  if (!p) {
    rec_error("Open Error:  Missing toff value\n");
    return 1;
  }
  int v;
  const char* q = intprs(p, &v);
  // Before TDEF the count is checked at the end of the file.
  if (!q || !word_end(*q) || v < 0 || (st.tdef && v >= pfi->t_size)) {
    rec_error("Open Error:  Invalid toff value\n");
    return 1;
  }
  pfi->toff = v;
  pfi->toff_flag = 1;
  return 0;
}

int rec_undef(parse_state& st, const char* mp, int) {
  file_descriptor* pfi = st.pfi;
  const char* p = nxtwrd(mp);
  if (!p) {
    rec_error("Open Error:  Missing undef value\n");
    return 1;
  }
  float v;
  const char* q = valprs(p, &v);
  // A value beyond the float range would leave no usable tolerance band.
  if (!q || !word_end(*q) || !std::isfinite(v)) {
    rec_error("Open Error:  Invalid undef value\n");
    return 1;
  }
  pfi->undef = v;
  float tol = std::fabs(v / 100000.0f);
  pfi->undef_low = v - tol;
  pfi->undef_high = v + tol;
  st.undef = true;
  return 0;
}

struct pdef_kind {
  const char* word;
  int type;    // pdef_type of the file record
  int flag;    // pdef_flag
  int params;  // count of float parameters
};

const pdef_kind pdef_kinds[] = {{"nps", 1, 1, 4},   {"sps", 2, 1, 4}, {"lcc", 3, 0, 9},
                                {"eta.u", 4, 1, 4}, {"pse", 5, 0, 7}, {"ops", 6, 0, 8},
                                {"bilin", 7, 1, 0}, {"file", 8, 1, 1}};

struct word_code {
  const char* word;
  int code;
};

// How the interpolation file of "bilin" and "file" is read.
const word_code pdef_accesses[] = {{"stream", 1}, {"sequential", 2}};
const word_code pdef_formats[] = {
    {"binary", 1}, {"binary-big", 2}, {"binary-little", 3}, {"packed", 4}};

int rec_pdef(parse_state& st, const char* mp, int) {
  file_descriptor* pfi = st.pfi;
  auto bad = [&]() {
    pfi->pdef_type = 0;
    rec_error("Open Error: Invalid pdef record.\n");
    return 1;
  };
  const char* p = nxtwrd(mp);
  int isz, jsz;
  const char* q;
  if (!p || !(q = intprs(p, &isz)) || !word_end(*q) || isz < 1) return bad();
  p = nxtwrd(p);
  if (!p || !(q = intprs(p, &jsz)) || !word_end(*q) || jsz < 1) return bad();
  p = nxtwrd(p);
  if (!p) return bad();
  const pdef_kind* kind = find_word(pdef_kinds, p);
  if (!kind) return bad();
  pfi->native_isize = isz;
  pfi->native_jsize = jsz;
  for (int i = 0; i < kind->params; i++) {
    p = nxtwrd(p);
    float v;
    if (!p || !(q = valprs(p, &v)) || !word_end(*q)) return bad();
    pfi->pdef_params[i] = v;
  }
  if (kind->type == 8) {
    // Tested as a float: a huge or NaN count has no int value.
    float nw = pfi->pdef_params[0] + 0.1f;
    if (!(nw >= 1.0f && nw < 9.0f)) return bad();
  }
  if (kind->type >= 7) {
    p = nxtwrd(p);
    const word_code* access = p ? find_word(pdef_accesses, p) : nullptr;
    if (!access) return bad();
    st.pdef_access = access->code;
    p = nxtwrd(p);
    const word_code* format = p ? find_word(pdef_formats, p) : nullptr;
    if (!format) return bad();
    st.pdef_format = format->code;
    p = nxtwrd(p);
    if (!p) return bad();
    char* name = expand_name(typed_at(p), pfi->descriptor_name);
    if (!name) return bad();
    if (parse.pdef_file) std::fclose(parse.pdef_file);
    parse.pdef_file = fopen_regular(name, "rb");
    if (!parse.pdef_file) {
      kaprnt(msg_level::error, "Error opening pdef file\n");
      kaprnt(msg_level::error, std::string("  File name is:  ") + name + "\n");
      kafree(name);
      return bad();
    }
    kafree(name);
  }
  pfi->pdef_type = kind->type;
  pfi->pdef_flag = kind->flag;
  return 0;
}

struct lat_table {
  const char* word;
  float* (*build)(int start, int count);
};

// Latitude tables a YDEF may name.
const lat_table lat_tables[] = {{"gausr40", kagaus}, {"mom32", kamo32},   {"gaust62", kagst62},
                                {"gausr30", kags30}, {"gausr20", kags20}, {"gausr15", kags15}};

// YDEF from a latitude table: the start position in the table follows.
// Returns 0, or 1 after the messages.
int lat_table_scaling(const lat_table& table, const char* p, file_descriptor* pfi, int size) {
  const char* s = nxtwrd(p);
  int start;
  const char* e = s ? intprs(s, &start) : nullptr;
  if (!e || !word_end(*e) || start < 1) {
    dim_error(" starting value\n");
    context();
    return 1;
  }
  float* a = table.build(start, size);
  if (!a) {
    context();
    return 1;
  }
  set_level_scaling(pfi, 1, a);
  return 0;
}

// XDEF, YDEF, ZDEF (arg: the dimension): size, scaling word and its values.
int rec_space_dimension(parse_state& st, const char* mp, int dim) {
  file_descriptor* pfi = st.pfi;
  if (pfi->file_type == station_file) return 0;
  int size;
  const char* p = dimension_size(mp, &size);
  if (!p) return 1;
  p = nxtwrd(p);
  // A level count below 1 has its own message from the levels scaling.
  if (size < 1 && !(p && cmpwrd("levels", p))) {
    rec_error(kBadSize);
    return 1;
  }
  *size_field(pfi, dim) = size;
  if (p) drop_scaling(pfi, dim);
  if (dim == 0) set_x_wrap(pfi, false, false);
  const lat_table* table = p && dim == 1 ? find_word(lat_tables, p) : nullptr;
  int rc;
  if (!p) {
    dim_error(" scaling type\n");
    context();
    return 1;
  } else if (cmpwrd("linear", p)) {
    rc = deflin(p, pfi, dim, 0);
    if (rc == 0 && dim == 0) {
      const double incr = pfi->grid_to_world_scaling[0][0];
      set_x_wrap_linear(pfi, (size - 1) * incr, incr);
    }
  } else if (cmpwrd("levels", p)) {
    rc = deflev(p, pfi, dim);
  } else if (table) {
    if (lat_table_scaling(*table, p, pfi, size)) return 1;
    rc = 0;
  } else {
    dim_error(" scaling type\n");
    context();
    return 1;
  }
  if (rc == -1) {
    kaprnt(msg_level::error, kMemory);
    return 1;
  }
  if (rc) {
    if (!parse.eof_error && !parse.nul_line) context();
    return 1;
  }
  bool& seen = dim == 0 ? st.xdef : dim == 1 ? st.ydef : st.zdef;
  seen = true;
  return 0;
}

// A TDEF start that is no time (of the data set's calendar), shown with its record.
int invalid_start(const std::string& record = parse.rec) {
  kaprnt(msg_level::error, "Open Error:  Invalid start time in tdef card");
  kaprnt(msg_level::error, " starting value\n");
  context(record);
  return 1;
}

// TDEF: size, "linear", start time and increment.
int rec_tdef(parse_state& st, const char* mp, int) {
  file_descriptor* pfi = st.pfi;
  int size;
  const char* p = dimension_size(mp, &size);
  if (!p) return 1;
  if (size < 1) {
    rec_error(kBadSize);
    return 1;
  }
  pfi->t_size = size;
  p = nxtwrd(p);
  if (!p || !cmpwrd("linear", p)) {
    dim_error(" scaling type\n");
    context();
    return 1;
  }
  p = nxtwrd(p);
  if (!p) {
    kaprnt(msg_level::error, "Open Error:  Start Time missing in tdef card");
    kaprnt(msg_level::error, " starting value\n");
    context();
    return 1;
  }
  date_time def{-1000, -1000, -1000, 0, 0};
  date_time start{};
  const char* q = adtprs(p, &def, &start);
  if (!q) return invalid_start();
  if (start.year == -1000 || start.month == -1000 || start.day == -1000 || !word_end(*q)) {
    dim_error(" starting value\n");
    context();
    return 1;
  }
  std::string start_text(p, size_t(q - p));
  p = nxtwrd(p);
  auto incr_error = [](const char* first) {
    kaprnt(msg_level::error, first);
    kaprnt(msg_level::error, " use 1 for single time data\n");
    context();
    return 1;
  };
  if (!p) return incr_error("Open Error:  Time increment missing in tdef\n");
  date_time incr{};
  q = rdtprs(p, &incr);
  if (!q || !word_end(*q)) return incr_error("Open Error:  Invalid time increment in tdef\n");
  // Summed in 64 bits: each field may be as large as an int.
  float months = float(int64_t(incr.year) * 12 + incr.month);
  float minutes = float(int64_t(incr.day) * 1440 + int64_t(incr.hour) * 60 + incr.minute);
  if (months == 0 && minutes == 0) return incr_error("Open Error:  0 time increment in tdef\n");
  drop_scaling(pfi, 3);
  auto* ts = static_cast<float*>(kamalloc(sizeof(float) * 8, kMemory));
  ts[0] = float(start.year);
  ts[1] = float(start.month);
  ts[2] = float(start.day);
  ts[3] = float(start.hour);
  ts[4] = float(start.minute);
  ts[5] = months;
  ts[6] = minutes;
  ts[7] = scaling_end_mark;
  pfi->grid_to_world_scaling[3] = ts;
  pfi->world_to_grid_scaling[3] = ts;
  pfi->linear_flags[3] = 1;
  st.tdef = true;
  st.tdef_record = parse.rec;
  st.tdef_start = std::move(start_text);
  return 0;
}

// VARS: the count, that many variable records, then ENDVARS.
int rec_vars(parse_state& st, const char* mp, int) {
  file_descriptor* pfi = st.pfi;
  const char* p = nxtwrd(mp);
  int n;
  const char* q = p ? intprs(p, &n) : nullptr;
  if (!q || !word_end(*q) || n < 1) {
    kaprnt(msg_level::error, "Open Error:  Missing or invalid variable");
    kaprnt(msg_level::error, " count\n");
    context();
    return 1;
  }
  std::vector<variable_descriptor> vars;
  while (static_cast<int>(vars.size()) < n) {
    if (!read_line(line_use::record)) {
      if (parse.line_failed) return 1;
      kaprnt(msg_level::error, "Open Error:  Unexpected EOF reading variables\n");
      kaprntf(msg_level::result, "Was expecting %i records.  Found %i.\n", n,
              static_cast<int>(vars.size()));
      return 1;
    }
    if (cmpwrd("endvars", parse.mrec.c_str())) {
      kaprnt(msg_level::error, "Open Error:  Unexpected ENDVARS record\n");
      kaprntf(msg_level::result, "Was expecting %i records.  Found %i.\n", n,
              static_cast<int>(vars.size()));
      context();
      return 1;
    }
    variable_descriptor v;
    if (!parse_variable(&v)) {
      rec_error("Open Error:  Invalid variable record\n");
      return 1;
    }
    vars.push_back(v);
  }
  // The line after the last variable must be ENDVARS, comment or not.
  if (!read_line(line_use::continuation)) {
    if (parse.line_failed) return 1;
    kaprnt(msg_level::error, "Open Error:  Missing ENDVARS statement.\n");
    return 1;
  }
  if (!cmpwrd("endvars", parse.mrec.c_str())) {
    kaprnt(msg_level::error, "Open Error:  Looking for ENDVARS statement\n");
    kaprnt(msg_level::error, "             Instead, found:  \n");
    context();
    return 1;
  }
  kafree(pfi->variables);
  pfi->variables = static_cast<variable_descriptor*>(
      kamalloc(sizeof(variable_descriptor) * vars.size(), kMemory));
  std::memcpy(pfi->variables, vars.data(), sizeof(variable_descriptor) * vars.size());
  pfi->variable_count = n;
  st.vars = true;
  return 0;
}

// Record keywords, matched as the whole first word of the lower-cased line.
const record_keyword records[] = {
    {"byteswapped", rec_byteswapped},
    {"fileheader", rec_fileheader},
    {"xyheader", rec_header, kXyHeader},
    {"theader", rec_header, kTimeHeader},
    {"format", rec_options},
    {"options", rec_options},
    {"trailerbytes", rec_block_bytes, kTrailerBytes},
    {"headerbytes", rec_block_bytes, kHeaderBytes},
    {"dtype", rec_dtype},
    {"title", rec_title},
    {"dset", rec_dset},
    {"stnmap", rec_map, kStationMap},
    {"index", rec_map, kGribIndex},
    {"toff", rec_toff},
    {"undef", rec_undef},
    {"pdef", rec_pdef},
    {"xdef", rec_space_dimension, 0},
    {"ydef", rec_space_dimension, 1},
    {"zdef", rec_space_dimension, 2},
    {"tdef", rec_tdef},
    {"vars", rec_vars},
};

// Parses the records of the descriptor. Returns 0, 1 after an error.
int parse_records(parse_state& st) {
  while (read_line(line_use::record)) {
    const char* mp = parse.mrec.c_str();
    const record_keyword* r = find_word(records, mp);
    if (!r) {
      rec_error("Open Error:  Unknown keyword in description file\n");
      return 1;
    }
    if (r->handler(st, mp, r->arg)) return 1;
  }
  return parse.line_failed ? 1 : 0;
}

// Everything after the last record. Returns 0, 1 after the messages.
int finish(const parse_state& st, int mflag) {
  file_descriptor* pfi = st.pfi;
  bool grid = pfi->file_type == grid_file;
  bool missing = false;
  auto need = [&](bool seen, const char* name) {
    if (!seen) {
      kaprntf(msg_level::error, "Open Error:  missing %s record \n", name);
      missing = true;
    }
  };
  if (grid) {
    need(st.xdef, "XDEF");
    need(st.ydef, "YDEF");
    need(st.zdef, "ZDEF");
  }
  need(st.tdef, "TDEF");
  need(st.undef, "UNDEF");
  need(st.dset, "DSET");
  need(st.vars, "VARS");
  // Without its index a GRIB data set can't be read at all.
  if (mflag && grid && pfi->grib_flag && !pfi->map_file_name) need(false, "INDEX");
  if (missing) return 1;
  // A template data set keeps a table entry per time: bounded as a netCDF
  // file's time axis is.
  if (pfi->template_flag) pfi->t_size = capped_times(pfi->t_size, "Description file warning: ");

  if (pfi->toff_flag && pfi->toff >= pfi->t_size) {
    kaprnt(msg_level::error, "Open Error:  Invalid toff value\n");
    return 1;
  }

  if (grid) {
    if (!grid_layout(pfi, st.header_words, st.trailer_words)) return 1;
  } else if (!station_layout(pfi)) {
    return 1;
  }

  // Maps are read only now, so the order of the records does not matter.
  int map_times = -1, map_size = 0;
  if (mflag && pfi->map_file_name) {
    FILE* mf = fopen_regular(pfi->map_file_name, "rb");
    if (!mf) {
      kaprnt(msg_level::error, std::string("Open Error:  Can't open Station/Index map file ") +
                                   pfi->map_file_name + "\n");
      context(st.map_record);
      return 1;
    }
    int rc;
    if (!pfi->grib_flag || !grid) {
      rc = read_station_map(mf, pfi, &map_times, &map_size);
    } else {
      rc = kargmap(mf, &pfi->grib_index);
      if (rc == 0) rc = kackgmap(pfi->grib_index, pfi->t_size, pfi->time_records);
      if (rc == 0) rc = kackgdesc(pfi);
    }
    std::fclose(mf);
    if (rc) return 1;
  }

  if (!grid && mflag) {
    if (map_times < 0) {
      kaprnt(msg_level::error, "Open Error: missing STNMAP record\n");
      return 1;
    }
    if (map_times != pfi->t_size) {
      kaprnt(msg_level::error, "Open Error: Inconsistent time count\n");
      kaprntf(msg_level::error, "  Count in station map file = %li\n",
              static_cast<long>(map_times));
      kaprntf(msg_level::error, "  Count in descriptor file = %i\n", pfi->t_size);
      return 1;
    }
  }

  const int calendar_before = mfcmn.calendar_365;
  if (!keep_session_calendar(pfi->calendar_365)) return 1;
  // The start was read before the options named the calendar: a day the
  // data set's calendar does not have (29 February in 365-day years) would
  // leave no time to set. A refused set leaves the session's calendar alone.
  date_time def{-1000, -1000, -1000, 0, 0}, start{};
  if (!adtprs(st.tdef_start.c_str(), &def, &start)) {
    mfcmn.calendar_365 = calendar_before;
    return invalid_start(st.tdef_record);
  }

  // The kind is known now: the record reads through its reader.
  if (!grid)
    pfi->reader = find_reader(data_kind::station);
  else if (pfi->pdef_type)
    pfi->reader =
        find_reader(pfi->grib_flag ? data_kind::preprojected_grib : data_kind::preprojected_binary);
  else
    pfi->reader = find_reader(pfi->grib_flag ? data_kind::grib : data_kind::binary);

  if (grid) {
    pfi->data_buffer = static_cast<float*>(kamalloc(sizeof(float) * size_t(pfi->x_size), kMemory));
    if (pfi->grib_flag) {
      pfi->grib_buffer_bytes = grib_buffer_size(pfi);
      pfi->grib_buffer = static_cast<unsigned char*>(
          kamalloc(static_cast<size_t>(pfi->grib_buffer_bytes), kMemory));
    }
  } else {
    size_t n = map_size > 0 ? size_t(map_size) : 1;
    pfi->station_max_words = map_size;
    pfi->data_buffer = static_cast<float*>(kamalloc(sizeof(float) * n, kMemory));
  }

  if (pfi->pdef_type && kappcn(pfi, st.pdef_access, st.pdef_format)) return 1;
  return 0;
}

// A GRIB data set's data file is opened with its index, and must be the file
// the index was built from.
int open_grib_data(file_descriptor* pfi) {
  if (kaopdat(pfi)) return 1;
  // The places the index records must lie in the file, so that no damaged
  // one passes the check of each message as a message without a place.
  struct stat st;
  if (kackgdat(pfi->grib_index, pfi->data_stream, pfi->data_file_name) == 0 &&
      (::fstat(fileno(pfi->data_stream), &st) != 0 ||
       kackgplaces(pfi->grib_index, 1, pfi->t_size, st.st_size, pfi->data_file_name) == 0))
    return 0;
  std::fclose(pfi->data_stream);
  pfi->data_stream = nullptr;
  return 1;
}

// The places a template's index records, checked against each of its data
// files that exists at open; a file made later is checked as it is read.
int check_template_places(const file_descriptor* pfi) {
  const int* fn = pfi->template_file_numbers;
  const float* ts = pfi->grid_to_world_scaling[3];
  date_time t1{};
  gr2t(ts, 1.0f, &t1);
  for (int t = 1; t <= pfi->t_size;) {
    const int f = fn[t - 1];
    int last = t;
    while (last < pfi->t_size && fn[last] == f) last++;
    date_time tf{};
    gr2t(ts, double(f), &tf);
    const std::string name = kafndt(pfi->data_file_name, &tf, &t1, ts, pfi->data_file_literal);
    struct stat st;
    if (!name.empty() && ::stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        kackgplaces(pfi->grib_index, t, last, st.st_size, name.c_str()))
      return 1;
    t = last + 1;
  }
  return 0;
}

void close_streams() {
  parse.descr.close();
  if (parse.pdef_file) std::fclose(parse.pdef_file);
  parse.pdef_file = nullptr;
}

}  // namespace

FILE* kapdfs() { return parse.pdef_file; }

const char* pdef_word(int type, int* params) {
  for (const pdef_kind& k : pdef_kinds)
    if (k.type == type) {
      *params = k.params;
      return k.word;
    }
  *params = 0;
  return "?";
}

int kaopdat(file_descriptor* pfi) {
  pfi->data_stream = fopen_regular(pfi->data_file_name, "rb");
  if (pfi->data_stream) return 0;
  kaprnt(msg_level::error, "Open Error:  Can't open binary data file\n");
  kaprnt(msg_level::error, std::string("  File name = ") + pfi->data_file_name + "\n");
  return 1;
}

void set_level_scaling(file_descriptor* pfi, int dim, float* levels) {
  kafree(pfi->grid_to_world_scaling[dim]);
  pfi->grid_to_world_scaling[dim] = levels;
  pfi->world_to_grid_scaling[dim] = levels;
  if (dim < 3) {
    // Longitudes that come round to the first one's meridian go on by turns.
    const bool turn = dim == 0 && levels_close_turn(levels);
    pfi->grid_to_world[dim] = turn ? gr2lon : gr2lev;
    pfi->world_to_grid[dim] = turn ? lon2gr : lev2gr;
    if (dim == 0) set_x_wrap(pfi, false, turn);
  }
  pfi->linear_flags[dim] = 0;
}

void set_linear_scaling(file_descriptor* pfi, int dim, float start, float incr) {
  auto* block = static_cast<linear_scaling*>(kamalloc(sizeof(linear_scaling)));
  linear_scaling_set(block, start, incr);
  kafree(pfi->grid_to_world_scaling[dim]);
  pfi->grid_to_world_scaling[dim] = block->grid_to_world;
  pfi->world_to_grid_scaling[dim] = block->world_to_grid;
  if (dim < 3) {
    pfi->grid_to_world[dim] = liconv;
    pfi->world_to_grid[dim] = liconv;
  }
  pfi->linear_flags[dim] = 1;
}

int deflin(const char* ch, file_descriptor* pfi, int dim, int single) {
  const char* p = nxtwrd(ch);
  float start, incr = 1;
  const char* q = p ? valprs(p, &start) : nullptr;
  if (!q || !word_end(*q) || !std::isfinite(start)) {
    dim_error(" starting value\n");
    return 1;
  }
  if (!single) {
    p = nxtwrd(p);
    q = p ? valprs(p, &incr) : nullptr;
    // X and Y must increase; a level axis may run either way but must move.
    if (!q || !word_end(*q) || (dim < 2 && incr <= 0) || incr == 0) {
      dim_error(" increment value\n");
      return 1;
    }
  }
  // Both conversions must stay finite: a step beyond the float range, or so
  // small that its inverse is not, would turn every coordinate into NaN.
  float before = start - incr;
  if (!std::isfinite(incr) || !std::isfinite(1.0f / incr) || !std::isfinite(before) ||
      !std::isfinite(-before / incr)) {
    dim_error(" increment value\n");
    return 1;
  }
  set_linear_scaling(pfi, dim, start, incr);
  return 0;
}

bool levels_rise(const char* opener, int dim, float before, float value, long line) {
  if (dim > 1 || value >= before) return true;
  kaprntf(msg_level::error, "%s:  %s levels fall on line %ld of the descriptor: %g after %g\n",
          opener, dim == 0 ? "XDEF" : "YDEF", line, double(value), double(before));
  kaprnt(msg_level::error,
         dim == 0 ? "  List them rising, west to east\n"
                  : "  List them rising, south to north, and add \"options yrev\" when the "
                    "rows are stored north to south\n");
  return false;
}

int deflev(const char* ch, file_descriptor* pfi, int dim) {
  parse.eof_error = false;
  int n = *size_field(pfi, dim);
  if (n < 1) {
    kaprnt(msg_level::error, "Open Error:  Invalid number of levels\n");
    return 1;
  }
  if (n == 1) return deflin(ch, pfi, dim, 1);
  // The values are collected before the array is allocated, so a size that
  // the lines do not back up costs nothing.
  std::vector<float> vals;
  vals.reserve(static_cast<size_t>(std::min(n, 4096)));
  // The values follow "levels" and may go on over further lines.
  std::string line = ch;
  const char* p = nxtwrd(line.c_str());
  while (static_cast<int>(vals.size()) < n) {
    if (!p) {
      if (!parse.descr.ok() || !read_line(line_use::continuation)) {
        if (parse.line_failed) return 1;
        kaprnt(msg_level::error, "Open Error:  Unexpected EOF reading descriptor file\n");
        kaprnt(msg_level::error, "   EOF occurred reading LEVELS values\n");
        parse.eof_error = true;
        return 1;
      }
      line = parse.mrec;
      p = line.c_str();
      while (is_blank(*p)) p++;
      if (*p == '\0') {
        kaprnt(msg_level::error, "Open Error:  Blank Record found in LEVELS data\n");
        return 1;
      }
    }
    float v;
    const char* q = valprs(p, &v);
    if (!q || !word_end(*q) || !std::isfinite(v)) {
      kaprnt(msg_level::error, "Open Error:  Invalid value in LEVELS data\n");
      return 1;
    }
    if (!vals.empty() && !levels_rise("Open Error", dim, vals.back(), v, parse.lines_read))
      return 1;
    vals.push_back(v);
    p = nxtwrd(p);
  }
  float* a = level_scaling_new(n);
  if (!a) return -1;
  a[0] = float(n);
  std::copy(vals.begin(), vals.end(), a + 1);
  a[n + 1] = scaling_end_mark;
  set_level_scaling(pfi, dim, a);
  return 0;
}

int kaddes(const char* name, file_descriptor* pfi, int mflag) {
  mfcmn.year_digits = -999;
  pfi->second_stream = nullptr;
  parse.eof_error = false;
  parse.nul_line = false;
  parse.line_failed = false;
  parse.lines_read = 0;
  close_streams();
  // The name as given, else with ".ctl"; a directory of the name is passed
  // over, and a device or pipe is refused rather than read without end.
  std::string opened, refused;
  auto try_open = [&](const std::string& n) {
    opened = n;
    if (n.size() >= sizeof pfi->descriptor_name || is_directory(n)) return false;
    parse.descr = input_file(n, "r");
    if (parse.descr.status() == input_status::not_regular) refused = n;
    return parse.descr.ok();
  };
  for (;;) {
    if (!try_open(name)) try_open(std::string(name) + ".ctl");
    if (!parse.descr.ok()) {
      kaprnt(msg_level::error, "Open Error:  Can't open description file\n");
      if (!refused.empty()) kaprnt(msg_level::error, "  " + refused + " is not a regular file\n");
      return 1;
    }
    // A writer renames a GRIB set's data, index and descriptor into place
    // under an exclusive lock of the descriptor it replaces: the descriptor
    // is read and the index and data opened under a shared one, so that the
    // three are one version's. Any reader of the set may take it, and a
    // writer stopped while placing keeps it: a long wait is said.
    if (!mflag) break;
    bool moved = false;
    const lock_wait w = flock_under_name(fileno(parse.descr.get()), opened, LOCK_SH, moved, true);
    if (w == lock_wait::interrupted) {
      kaprnt(msg_level::error, "Open Error:  Interrupted while the description file was read\n");
      kaprnt(msg_level::error, "  The data file was not opened. \n");
      close_streams();
      return 1;
    }
    if (!moved) break;
    parse.descr.close();
  }
  std::strcpy(pfi->descriptor_name, opened.c_str());

  parse_state st{pfi};
  int rc = parse_records(st);
  if (rc == 0) rc = finish(st, mflag);
  if (rc == 0 && mflag && pfi->grib_index && !pfi->template_flag) rc = open_grib_data(pfi);
  // Closing the descriptor lets the writers in: the file names of a
  // template, one per time, are formed without holding them off.
  close_streams();
  if (rc == 0 && pfi->template_flag && !template_numbers(pfi)) rc = 1;
  if (rc == 0 && mflag && pfi->grib_index && pfi->template_flag && check_template_places(pfi))
    rc = 1;
  if (rc) {
    kaprnt(msg_level::error, "  The data file was not opened. \n");
    return 1;
  }
  return 0;
}
