// Defined variables: "define" keeps an evaluated grid in memory as a data set
// of the defined kind; "undefine", "modify", the "defval" keywords of "query"
// and "set", and the "define" query work on them.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/alloc.h"
#include "cmd/commands.h"
#include "cmd/display.h"
#include "expr/evalstate.h"
#include "base/message.h"
#include "base/session.h"
#include "cmd/setkw.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/filerec.h"
#include "data/reader.h"
#include "expr/eval.h"
#include "data/result.h"

namespace {

constexpr int kNameMax = 17;

bool alnum(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

// Rounds halves away from zero.
int round_grid(double v) { return static_cast<int>(std::lround(v)); }

// Grid positions far outside any data set (or undefined) are held to a bound
// an int keeps: the range then asks for more memory than there is and is
// refused as such.
double grid_bound(double v) {
  constexpr double lim = 1.0e9;
  if (!(v >= -lim)) return -lim;
  return v > lim ? lim : v;
}

// The grid index range [first, last] covered by a world (or time) range:
// the points a read of the range takes (range_first, range_last).
void grid_range(double gmin, double gmax, int* first, int* last) {
  gmin = grid_bound(gmin);
  gmax = grid_bound(gmax);
  if (gmin == gmax) {
    *first = *last = round_grid(gmin);
    return;
  }
  double a = range_first(gmin), b = range_last(gmax);
  if (a > b) {
    // A level axis that runs downwards gives its range reversed.
    a = range_first(gmax);
    b = range_last(gmin);
  }
  *first = static_cast<int>(a);
  *last = static_cast<int>(b);
}

// A copy of one dimension's scaling that the defined record owns: both halves
// of a linear scaling in one block, a level list or a time axis as it is.
bool copy_scaling(file_descriptor* out, int d, const float* g2w, const float* w2g, int linear) {
  if (!g2w) return false;
  float* a;
  if (d < 3 && linear == 1) {
    a = static_cast<float*>(kamalloc(6 * sizeof(float)));
    std::memcpy(a, g2w, 3 * sizeof(float));
    if (w2g) {
      std::memcpy(a + 3, w2g, 3 * sizeof(float));
    } else {
      a[3] = 1.0f / a[0];
      a[4] = -a[1] / a[0];
      a[5] = scaling_end_mark;
    }
    out->world_to_grid_scaling[d] = a + 3;
  } else {
    a = cpscal(g2w, linear, 0, d);
    if (!a) return false;
    out->world_to_grid_scaling[d] = a;
  }
  out->grid_to_world_scaling[d] = a;
  out->linear_flags[d] = linear;
  return true;
}

// Takes dimension d of the new record: its conversions, offset, size and a
// copy of its scaling.
bool take_dim(file_descriptor* out, int d, conversion_fn to_world, conversion_fn to_grid,
              int offset, int size, const float* g2w, const float* w2g, int linear) {
  if (d < 3) {
    out->grid_to_world[d] = to_world;
    out->world_to_grid[d] = to_grid;
  }
  out->defined_offsets[d] = offset;
  int* sz[4] = {&out->x_size, &out->y_size, &out->z_size, &out->t_size};
  *sz[d] = size;
  return copy_scaling(out, d, g2w, w2g, linear);
}

// Takes dimension d of the new record from data set f.
bool from_file(file_descriptor* out, const file_descriptor* f, int d, int offset, int size) {
  return take_dim(out, d, d < 3 ? f->grid_to_world[d] : nullptr,
                  d < 3 ? f->world_to_grid[d] : nullptr, offset, size, f->grid_to_world_scaling[d],
                  f->world_to_grid_scaling[d], f->linear_flags[d]);
}

// Takes dimension d of the new record from the i or j side of the grid.
bool from_grid(file_descriptor* out, const grid_field* g, int d, bool i_side,
               const file_descriptor* f) {
  const int offset = g->dim_min[i_side ? g->idim : g->jdim] - 1;
  const float* g2w = i_side ? g->i_world_vals : g->j_world_vals;
  const int size = i_side ? g->isiz : g->jsiz;
  // A computed grid without scaling of its own is on the default file's grid.
  if (!g2w) return from_file(out, f, d, offset, size);
  return take_dim(out, d, i_side ? g->i_to_world : g->j_to_world,
                  i_side ? g->i_to_grid : g->j_to_grid, offset, size, g2w,
                  i_side ? g->i_grid_vals : g->j_grid_vals, i_side ? g->i_linear : g->j_linear);
}

// The session fields define changes while it evaluates, put back on every
// way out.
struct saved_environment {
  session_state* pcm;
  float zmax;
  date_time tend;
  int zvary, tvary;
  explicit saved_environment(session_state* p)
      : pcm(p),
        zmax(p->dim_max[2]),
        tend(p->time_end),
        zvary(p->dim_varying[2]),
        tvary(p->dim_varying[3]) {}
  ~saved_environment() {
    pcm->dim_max[2] = zmax;
    pcm->time_end = tend;
    pcm->dim_varying[2] = zvary;
    pcm->dim_varying[3] = tvary;
  }
};

void release_defined(defined_entry* d) {
  if (!d) return;
  frepfi(d->file, 0);  // data, scaling copies and the record
  delete d;
}

defined_entry* find_defined(session_state* pcm, const char* name) {
  for (defined_entry* d = pcm->defined_list; d; d = d->next)
    if (cmpwrd(name, d->name)) return d;
  return nullptr;
}

// The next word of at most kNameMax characters, or false.
bool name_word(const char* p, char* name) {
  if (!p) return false;
  getwrd(name, p, kNameMax);
  return name[0] != '\0';
}

bool float_ok(float v) { return std::isfinite(v); }

}  // namespace

namespace {

int define(char* line, session_state* pcm, int implicit) {
  char* p = line;
  if (!implicit) {
    p = nxtwrd(line);
    if (!p) {
      kaprnt(msg_level::error, "DEFINE error:  name is missing \n");
      return 1;
    }
  }
  karemb(p);
  char name[kNameMax + 1];
  int len = 0;
  while (len < kNameMax && alnum(p[len])) {
    name[len] = p[len];
    len++;
  }
  name[len] = '\0';
  if (p[len] != '=' || len == 0) {
    kaprnt(msg_level::error, "DEFINE error:  Name too long; missing '='\n");
    return 1;
  }
  const char* expr = p + len + 1;
  if (*expr == '\0' || *expr == '\n') {
    kaprnt(msg_level::error, "DEFINE error:  expression missing\n");
    return 1;
  }

  file_descriptor* f = pcm->default_file;
  if (!f) {
    kaprnt(msg_level::error, "DEFINE error:  no file open yet\n");
    return 1;
  }
  if (holds_stations(f)) {
    kaprnt(msg_level::error, "Define error:  Define not yet valid for station data\n");
    kaprnt(msg_level::error, "    Default file is a station data file\n");
    return 1;
  }

  int z1, z2, t1, t2;
  {
    const float lo = pcm->dim_min[2], hi = pcm->dim_max[2];
    const world_use use = world_use_of(lo, hi);
    grid_range(world_grid(f, 2, lo, use), world_grid(f, 2, hi, use), &z1, &z2);
    const float* ts = f->grid_to_world_scaling[3];
    grid_range(ts ? t2gr_exact(ts, &pcm->time_start) : 1.0,
               ts ? t2gr_exact(ts, &pcm->time_end) : 1.0, &t1, &t2);
  }
  const int64_t zsize = int64_t(z2) - z1 + 1, tsize = int64_t(t2) - t1 + 1;

  saved_environment saved(pcm);
  pcm->dim_max[2] = pcm->dim_min[2];
  pcm->time_end = pcm->time_start;
  pcm->dim_varying[2] = 0;
  pcm->dim_varying[3] = 0;
  eval_state_ptr pst = getpst(pcm);
  if (!pst) return 1;

  const float* ts = f->grid_to_world_scaling[3];
  auto place = [&](int z, int t) {
    float zw = float(z);
    if (f->grid_to_world[2]) zw = f->grid_to_world[2](f->grid_to_world_scaling[2], float(z));
    pst->dim_min[2] = pst->dim_max[2] = zw;
    if (ts) {
      gr2t(ts, t, &pst->time_start);
      pst->time_end = pst->time_start;
    }
  };
  auto evaluate = [&]() -> grid_ptr {
    pst->result = std::monostate{};
    int rc = kaexpr(expr, pst.get());
    if (rc || kaqsig()) {
      if (!rc) kafree(pst.get());
      kaprnt(msg_level::error, "DEFINE error:  Invalid expression. \n");
      return nullptr;
    }
    if (stations_in(pst->result)) {
      kafree(pst.get());
      kaprnt(msg_level::error, "DEFINE Error:  Define does not yet support station data\n");
      kaprnt(msg_level::error, "    Expression results in station data object\n");
      return nullptr;
    }
    return extract_grid(pst->result);
  };

  place(z1, t1);
  grid_ptr first = evaluate();
  if (!first) return 1;

  std::unique_ptr<defined_entry, void (*)(defined_entry*)> entry(new defined_entry{},
                                                                 release_defined);
  file_descriptor* rec = entry->file = getpfi();
  std::strcpy(entry->name, name);
  rec->file_type = defined_file;
  rec->reader = find_reader(data_kind::defined);
  rec->undef = first->undef;
  rec->pdef_type = 0;
  rec->climatology_flag = 0;
  rec->climatology_cycle = 0;

  auto fail = [&](const char* msg) {
    if (msg) kaprnt(msg_level::error, msg);
    return 1;
  };

  bool ok = from_file(rec, f, 2, z1 - 1, int(zsize)) && from_file(rec, f, 3, t1 - 1, int(tsize));
  const int id = first->idim, jd = first->jdim;
  if (ok) {
    if (id > 1 || jd > 1) return fail("Define Error: Internal Logic Check 4\n");
    if (id == 0 && jd == 1) {
      ok = from_grid(rec, first.get(), 0, true, f) && from_grid(rec, first.get(), 1, false, f);
    } else if (id == 0) {
      ok = from_grid(rec, first.get(), 0, true, f) && from_file(rec, f, 1, 0, 1);
    } else if (id == 1) {
      ok = from_grid(rec, first.get(), 1, true, f) && from_file(rec, f, 0, 0, 1);
    } else {
      ok = from_file(rec, f, 0, 0, 1) && from_file(rec, f, 1, 0, 1);
    }
  }
  if (!ok) return fail("Memory allocation error for Define\n");

  const int64_t plane = int64_t(first->isiz) * first->jsiz;
  const int64_t total = plane * zsize * tsize;
  if (zsize == 1 && tsize == 1) {
    if (id >= 0) {
      rec->data_buffer = first->values;
      first->values = nullptr;
    } else {
      rec->data_buffer = static_cast<float*>(kamalloc(sizeof(float)));
      rec->data_buffer[0] = first->values[0];
    }
    first.reset();
  } else {
    // Sizes in 64 bits: an impossible request is refused, never wrapped.
    const bool fits = total > 0 && uint64_t(total) <= SIZE_MAX / sizeof(float);
    static const char kNoMemory[] = "Define Error:  Unable to allocate data memory\n";
    if (!fits) {
      kaprnt(msg_level::error, kNoMemory);
      kaprntf(msg_level::error, "  Size of request was %li grid elements\n", long(total));
      return 1;
    }
    // The grid of each step is held beside the copy while it is copied in.
    kareserve(double(total), double(total + plane) * sizeof(float), kNoMemory);
    rec->data_buffer = static_cast<float*>(kamalloc(sizeof(float) * size_t(total), kNoMemory));
    untouched_block unwritten(double(total) * sizeof(float));
    // The first grid stays for the checks below: its scaling arrays may be
    // its own.
    const grid_field& shape = *first;
    float* out = rec->data_buffer;
    for (int t = t1; t <= t2; t++) {
      for (int z = z1; z <= z2; z++) {
        place(z, t);
        grid_ptr g = evaluate();
        if (!g) return 1;
        bool same = g->idim == shape.idim && g->jdim == shape.jdim && g->isiz == shape.isiz &&
                    g->jsiz == shape.jsiz && !kagchk(g.get(), &shape, shape.idim) &&
                    !kagchk(g.get(), &shape, shape.jdim);
        if (!same) return fail("Define Error: Internal Logic Check 4\n");
        const float u = g->undef;
        for (int64_t k = 0; k < plane; k++) out[k] = g->values[k] == u ? rec->undef : g->values[k];
        out += plane;
        unwritten.written(double(plane) * sizeof(float));
      }
    }
    first.reset();
  }
  pst.reset();

  kaprntf(msg_level::result, "Define memory allocation size = %li bytes\n", long(total * 4));

  defined_entry** link = &pcm->defined_list;
  while (*link) {
    defined_entry* d = *link;
    if (cmpwrd(d->name, name)) {
      kaprntf(msg_level::result, "Name already DEFINEd:  %s.   Will be deleted and replaced.\n",
              name);
      *link = d->next;
      release_defined(d);
    } else {
      link = &d->next;
    }
  }
  entry->next = nullptr;
  *link = entry.release();
  return 0;
}

}  // namespace

// A grid refused for want of memory fails the define alone, the variables
// defined before kept.
int kadef(char* line, session_state* pcm, int implicit) {
  try {
    return define(line, pcm, implicit);
  } catch (const memory_refusal& r) {
    kasay_refused("DEFINE", r);
    return 1;
  }
}

int kaudef(char* line, session_state* pcm) {
  char name[kNameMax + 1];
  if (!name_word(nxtwrd(line), name)) {
    kaprnt(msg_level::error, "UNDEFINE error:  name is missing \n");
    return 1;
  }
  for (defined_entry** link = &pcm->defined_list; *link; link = &(*link)->next) {
    defined_entry* d = *link;
    if (!cmpwrd(name, d->name)) continue;
    *link = d->next;
    release_defined(d);
    kaprntf(msg_level::result, "%s UNDEFINEd and storage released\n", name);
    return 0;
  }
  kaprnt(msg_level::info, "UNDEFINE Warning:  name not found\n");
  return 1;
}

int kamodf(char* line, session_state* pcm) {
  char name[kNameMax + 1];
  char* p = nxtwrd(line);
  if (!name_word(p, name)) {
    kaprnt(msg_level::error, "MODIFY error:  name is missing \n");
    return 1;
  }
  defined_entry* d = find_defined(pcm, name);
  if (!d) {
    kaprntf(msg_level::error, "MODIFY Error: Defined grid %s not found\n", name);
    return 1;
  }
  p = nxtwrd(p);
  if (!p) {
    kaprnt(msg_level::error, "MODIFY error:  Action keyword is missing\n");
    return 1;
  }
  int kind = cmpwrd(p, "seasonal") ? 1 : cmpwrd(p, "diurnal") ? 2 : 0;
  if (!kind) {
    char word[64];
    getwrd(word, p, 63);
    kaprnt(msg_level::error, "MODIFY error: Invalid operand\n");
    kaprntf(msg_level::error, "  Operand = %s\n", word);
    return 1;
  }
  file_descriptor* rec = d->file;
  if (rec->t_size == 1) {
    kaprnt(msg_level::error, "MODIFY Error:  Time not varying for this defined variable\n");
    return 1;
  }
  const float* ts = rec->grid_to_world_scaling[3];
  const float g1 = float(rec->defined_offsets[3] + 1);
  date_time dt{};
  gr2t(ts, g1, &dt);
  date_time one{0, 0, 0, 0, 0};
  if (kind == 1)
    one.month = 12;
  else
    one.day = 1;
  timadd_months(&one, &dt);
  const float g2 = t2gr(ts, &dt);
  const int n = g2 < 0 ? int(g2 - 0.1f) : int(g2 + 0.1f);
  if (std::fabs(g2 - float(n)) > 0.001f || (kind == 1 && g2 - g1 > 12.5f)) {
    kaprnt(msg_level::error, "MODIFY Error:  Invalid time scaling in defined variable\n");
    return 1;
  }
  rec->climatology_cycle = int(g2 + 0.1f - g1);
  rec->climatology_flag = kind;
  kaprnt(msg_level::error, "Defined variable is now climatological\n");
  return 0;
}

// args holds the keyword "defval" and what follows it.
static int kaqdef(char* args, session_state* pcm, int write) {
  auto syntax = [&]() {
    if (write) {
      kaprnt(msg_level::error, "MODIFY DEFVAL Error: Syntax is: ");
      kaprnt(msg_level::error, "Modify Defval name i j value\n");
    } else {
      kaprnt(msg_level::error, "QUERY DEFVAL Error: Syntax is: ");
      kaprnt(msg_level::error, "Query Defval name i j\n");
    }
    return 1;
  };
  char name[kNameMax + 1];
  char* p = nxtwrd(args);
  if (!name_word(p, name)) return syntax();
  int i = 0, j = 0;
  float value = 0;
  p = nxtwrd(p);
  if (!p || !intprs(p, &i)) return syntax();
  p = nxtwrd(p);
  if (!p || !intprs(p, &j)) return syntax();
  if (write) {
    p = nxtwrd(p);
    if (!p || !valprs(p, &value) || !float_ok(value)) return syntax();
  }
  defined_entry* d = find_defined(pcm, name);
  if (!d) {
    kaprnt(msg_level::info, "Warning:  defined name not found\n");
    return 1;
  }
  file_descriptor* rec = d->file;
  const int64_t li = int64_t(i) - rec->defined_offsets[0] - 1;
  const int64_t lj = int64_t(j) - rec->defined_offsets[1] - 1;
  const bool inside = li >= 0 && li < rec->x_size && lj >= 0 && lj < rec->y_size;
  float* cell = inside ? rec->data_buffer + lj * rec->x_size + li : nullptr;
  if (!write) {
    kaprntf(msg_level::result, "DEFVAL is %g\n", double(inside ? *cell : rec->undef));
    return 0;
  }
  if (!inside) {
    kaprnt(msg_level::error, "MODIFY DEFVAL Error:  Out of Range\n");
    return 1;
  }
  *cell = value;
  return 0;
}

int kaqdefval(char* lower, char*, session_state* pcm) { return kaqdef(lower, pcm, 0); }

int set_defval(set_args& a) { return kaqdef(a.lower, a.pcm, 1); }

int kaqdefine(char*, char*, session_state* pcm) {
  if (!pcm->defined_list) {
    kaprnt(msg_level::info, "No Defined Variables\n");
    return 0;
  }
  for (const defined_entry* d = pcm->defined_list; d; d = d->next)
    kaprntf(msg_level::result, "%s %g\n", d->name, double(d->file->data_buffer[0]));
  return 0;
}

void kareldef(session_state* pcm) {
  defined_entry* d = pcm->defined_list;
  while (d) {
    defined_entry* next = d->next;
    release_defined(d);
    d = next;
  }
  pcm->defined_list = nullptr;
}
