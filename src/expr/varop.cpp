#include "expr/varop.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#include "base/alloc.h"
#include "expr/dimexpr.h"
#include "expr/evalstate.h"
#include "base/message.h"
#include "base/scaling.h"
#include "base/timecal.h"
#include "base/words.h"
#include "data/filerec.h"
#include "data/reader.h"
#include "data/gridread.h"
#include "expr/func.h"
#include "expr/windrot.h"
#include "data/result.h"

namespace {

bool name_char(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }

void invalid_coordinates() {
  kaprnt(msg_level::error, "Data Request Error: Invalid grid coordinates\n");
}

// The grid point v names, or false when it names none (or one past the
// indices a read takes).
bool whole(double v, int* n) {
  long long i;
  if (!grid_point(v, &i) || !(std::fabs(v) < 2.0e9)) return false;
  *n = static_cast<int>(i);
  return true;
}

// Truncation of a time grid coordinate to an index, held inside the int range.
int time_index(double g) {
  if (!(g > -2.0e9)) return -2000000000;
  if (!(g < 2.0e9)) return 2000000000;
  return static_cast<int>(g);
}

void attempt_on_varying(const char* dname, int dim) {
  kaprnt(msg_level::error, "Data Request Error: Invalid dimension expression\n");
  kaprnt(msg_level::error, "  Attempt to set or modify varying dimension\n");
  kaprntf(msg_level::error, "  Variable = %s, Dimension = %i \n", dname, dim);
}

}  // namespace

const char* stnvar(const char* text, const char* dname, file_descriptor* file,
                   variable_descriptor* var, eval_state* pst) {
  // Request box in world coordinates; dimensions 0 lon, 1 lat, 2 lev, 3 time
  // (a grid coordinate, in double, which holds every time step).
  double lo[4] = {pst->dim_min[0], pst->dim_min[1], pst->dim_min[2], 0};
  double hi[4] = {pst->dim_max[0], pst->dim_max[1], pst->dim_max[2], 0};
  const float* ts = file->grid_to_world_scaling[3];
  lo[3] = ts ? t2gr_exact(ts, &pst->time_start) : 1.0;
  hi[3] = ts ? t2gr_exact(ts, &pst->time_end) : 1.0;
  int radius_flag = 0, stid_flag = 0;
  float radius = 0;
  char stid[8];
  std::memset(stid, ' ', sizeof stid);
  // x or y varying: the request is a box, so no centre or station.
  const bool box = pst->idim == 0 || pst->idim == 1 || pst->jdim == 1;

  const char* p = text;
  if (*p == '(') {
    p++;
    int given[5] = {0, 0, 0, 0, 0};
    while (*p != ')') {
      if (std::strncmp(p, "stid=", 5) == 0) {
        p += 5;
        int n = 0;
        while (n < 8 && p[n] && p[n] != ',' && p[n] != ')') n++;
        if (n == 0) {
          kaprnt(msg_level::error, "Dimension Expression Error: No stid provided\n");
          return nullptr;
        }
        if (p[n] != ',' && p[n] != ')') {
          kaprnt(msg_level::error, "Dimension Expression Error: stid too long\n");
          return nullptr;
        }
        if (box) {
          attempt_on_varying(dname, 5);
          return nullptr;
        }
        std::memset(stid, ' ', sizeof stid);
        std::memcpy(stid, p, static_cast<std::size_t>(n));
        stid_flag = 1;
        p += n;
      } else {
        int dim = 0, world = 0;
        double val = 0;
        const char* q = dimprs(p, pst, file, &dim, &val, 0, &world);
        if (!q) {
          kaprntf(msg_level::error, "  Variable name = %s\n", dname);
          return nullptr;
        }
        if (dim == 9) dim = 4;
        if (given[dim] >= 2) {
          kaprnt(msg_level::error, "Syntax Error: Invalid dimension expression\n");
          kaprnt(msg_level::error, "  Same dimension specified more than twice ");
          kaprntf(msg_level::error, "for variable = %s\n", dname);
          return nullptr;
        }
        if ((dim < 4 && (dim == pst->idim || dim == pst->jdim)) || (dim == 4 && box)) {
          attempt_on_varying(dname, dim);
          return nullptr;
        }
        if (dim == 4) {
          radius_flag = 1;
          radius = static_cast<float>(val);
        } else if (given[dim] == 0) {
          lo[dim] = hi[dim] = val;
        } else {
          hi[dim] = val;
        }
        given[dim]++;
        p = q;
      }
      if (*p == ',') p++;
    }
    p++;
  }

  // Levels run downwards, as pressure does.
  for (int d = 0; d < 4; d++) {
    bool bad = d == 2 ? lo[d] < hi[d] : hi[d] < lo[d];
    if (bad) {
      invalid_coordinates();
      kaprntf(msg_level::error, "  Varying dimension %i decreases: %g to %g \n", d, double(lo[d]),
              double(hi[d]));
      kaprntf(msg_level::error, "  Error ocurred getting variable '%s'\n", dname);
      return nullptr;
    }
  }

  static const char kNoMemory[] = "Memory Allocation Error:  Station Request Block \n";
  station_ptr owner(static_cast<station_set*>(kacalloc(1, sizeof(station_set), kNoMemory)));
  station_set* set = owner.get();
  set->time_scaling_copy = ts ? cpscal(ts, 1, 0, 3) : nullptr;
  set->file = file;
  set->undef = file->undef;
  set->idim = pst->idim;
  set->jdim = pst->jdim;
  set->lon_min = static_cast<float>(lo[0]);
  set->lat_min = static_cast<float>(lo[1]);
  set->lev_min = static_cast<float>(lo[2]);
  set->lon_max = static_cast<float>(hi[0]);
  set->lat_max = static_cast<float>(hi[1]);
  set->lev_max = static_cast<float>(hi[2]);
  set->time_min = time_index(lo[3]);
  set->time_max = time_index(hi[3]);
  set->radius_flag = radius_flag;
  set->radius = radius;
  set->stid_flag = stid_flag;
  std::memcpy(set->stid, stid, sizeof stid);
  set->variable = var;
  set->block_index = -1;

  if (kagstn(set) != 0) {
    kaprntf(msg_level::error, "Data Request Error:  Variable is '%s'\n", dname);
    return nullptr;
  }
  pst->result = std::move(owner);
  return p;
}

file_descriptor* getdfn(const char* name, const eval_state* pst) {
  for (const defined_entry* d = pst->defined_list; d; d = d->next)
    if (cmpwrd(name, d->name)) return d->file;
  return nullptr;
}

operand_kind name_operand(const char* text, const eval_state* pst, operand_name* out) {
  int len = 0;
  const char* p = text;
  while (len < kNameMax && name_char(*p)) out->name[len++] = *p++;
  out->name[len] = '\0';
  const char* name = out->name;
  out->numbered = false;
  out->fnum = 0;
  out->file = nullptr;
  out->variable = nullptr;
  out->after = p;
  if (*p == '.') {
    const char* q = intprs(p + 1, &out->fnum);
    if (!q || out->fnum < 1) return operand_kind::bad_number;
    out->after = p = q;
    out->numbered = true;
  }

  if (!out->numbered && (out->file = getdfn(name, pst))) return operand_kind::data;
  file_descriptor* file = pst->default_file;
  if (out->numbered) {
    file = pst->file_list;
    for (int i = 1; file && i < out->fnum; i++) file = file->next;
    if (!file) return operand_kind::no_such_file;
  }
  const bool dimvar = std::strcmp(name, "lon") == 0 || std::strcmp(name, "lat") == 0 ||
                      std::strcmp(name, "lev") == 0;
  // No data set is open: only a function can be meant.
  if (!file) return dimvar ? operand_kind::no_file : operand_kind::function;
  if (dimvar) {
    out->file = file;
    return holds_stations(file) ? operand_kind::station_dimension : operand_kind::dimension;
  }
  for (int i = 0; i < file->variable_count; i++) {
    if (cmpwrd(name, file->variables[i].abbrev)) {
      out->file = file;
      out->variable = &file->variables[i];
      return operand_kind::data;
    }
  }
  return out->numbered ? operand_kind::no_such_variable : operand_kind::function;
}

const char* varprs(const char* text, eval_state* pst) {
  operand_name op;
  const operand_kind kind = name_operand(text, pst, &op);
  const char* name = op.name;
  const char* p = op.after;
  const std::string display(text, p);
  const char* dname = display.c_str();
  file_descriptor* file = op.file;
  variable_descriptor* pvar = op.variable;
  variable_descriptor predefined{};
  const bool is_predefined = kind == operand_kind::dimension;
  switch (kind) {
    case operand_kind::bad_number:
      kaprntf(msg_level::error, "Syntax error: Bad file number for variable %s \n", name);
      return nullptr;
    case operand_kind::no_such_file:
      kaprnt(msg_level::error, "Data Request Error:  File number out of range \n");
      kaprntf(msg_level::error, "  Variable = %s \n", dname);
      return nullptr;
    case operand_kind::no_file:
      kaprnt(msg_level::error, "Data Request Error:  No file open\n");
      kaprntf(msg_level::error, "  Variable = %s \n", dname);
      return nullptr;
    case operand_kind::station_dimension: {
      int pos = 1;
      for (const file_descriptor* f = pst->file_list; f && f != file; f = f->next) pos++;
      kaprntf(msg_level::error, "Data Request Error:  Predefined variable %s\n", dname);
      kaprnt(msg_level::error, "   is only defined for grid type files\n");
      kaprntf(msg_level::error, "   File %i is a station file\n", pos);
      return nullptr;
    }
    case operand_kind::no_such_variable:
      kaprnt(msg_level::error, "Data Request Error:  Invalid variable name \n");
      kaprntf(msg_level::error, "  Variable '%s' not found in file %i\n", dname, op.fnum);
      return nullptr;
    case operand_kind::function: return rtnprs(p, name, pst);
    case operand_kind::dimension:
      predefined.levels = -999;
      predefined.offset = name[2] == 'n' ? 0 : name[2] == 't' ? 1 : 2;
      pvar = &predefined;
      break;
    case operand_kind::data: break;
  }

  if (holds_stations(file)) return stnvar(p, dname, file, pvar, pst);

  // The request in grid coordinates of the data set; in double, which holds
  // every time step an index reaches.
  double gmin[4], gmax[4];
  for (int d = 0; d < 3; d++) {
    const world_use use =
        d == pst->idim || d == pst->jdim ? world_use::range_end : world_use::fixed;
    gmin[d] = world_grid(file, d, pst->dim_min[d], use);
    gmax[d] = world_grid(file, d, pst->dim_max[d], use);
  }
  const float* ts = file->grid_to_world_scaling[3];
  gmin[3] = ts ? t2gr_exact(ts, &pst->time_start) : 1.0;
  gmax[3] = ts ? t2gr_exact(ts, &pst->time_end) : 1.0;
  // A range whose two ends name the same point reads that point.
  for (int d : {pst->idim, pst->jdim}) {
    if (d < 0) continue;
    gmin[d] = range_first(gmin[d]);
    gmax[d] = range_last(gmax[d]);
    if (gmax[d] < gmin[d]) {
      invalid_coordinates();
      kaprntf(msg_level::error, "  Varying dimension %i decreases: %g to %g \n", d, gmin[d],
              gmax[d]);
      kaprntf(msg_level::error, "  Error ocurred getting variable '%s'\n", dname);
      return nullptr;
    }
  }

  if (*p == '(') {
    p++;
    bool given[4] = {false, false, false, false};
    while (*p != ')') {
      int dim = 0, world = 0;
      double val = 0;
      const char* q = dimprs(p, pst, file, &dim, &val, 1, &world);
      if (!q) {
        kaprntf(msg_level::error, "  Variable name = %s\n", dname);
        return nullptr;
      }
      if (given[dim]) {
        kaprnt(msg_level::error, "Syntax Error: Invalid dimension expression\n");
        kaprnt(msg_level::error, "  Same dimension specified multiple times ");
        kaprntf(msg_level::error, "for variable = %s\n", dname);
        return nullptr;
      }
      if (dim == pst->idim || dim == pst->jdim) {
        kaprnt(msg_level::error, "Data Request Error: Invalid dimension expression\n");
        kaprnt(msg_level::error, "  Attempt to set or modify varying dimension\n");
        kaprntf(msg_level::error, "  Variable = %s, Dimension = %i \n", dname, dim);
        return nullptr;
      }
      given[dim] = true;
      gmin[dim] = gmax[dim] = val;
      p = q;
      if (*p == ',') p++;
    }
    p++;
  }

  if (held_in_memory(file)) {
    const int sizes[4] = {file->x_size, file->y_size, file->z_size, file->t_size};
    for (int d = 0; d < 4; d++)
      if (sizes[d] == 1) gmin[d] = gmax[d] = 0;
  }

  int imin[4], imax[4];
  for (int d = 0; d < 4; d++) {
    bool ok_lo = whole(gmin[d], &imin[d]);
    bool ok_hi = whole(gmax[d], &imax[d]);
    if (d == 2 && pvar && pvar->levels == 0) {
      // A surface variable is read at level 1 whatever the z request.
      if (!ok_lo) imin[d] = 1;
      if (!ok_hi) imax[d] = 1;
      continue;
    }
    if (!ok_lo || !ok_hi) {
      invalid_coordinates();
      kaprnt(msg_level::error, "  World coordinates convert to non-integer");
      kaprnt(msg_level::error, " grid coordinates\n");
      kaprntf(msg_level::error, "    Variable = %s  Dimension = %i \n", dname, d);
      return nullptr;
    }
  }

  grid_ptr owner(static_cast<grid_field*>(
      kacalloc(1, sizeof(grid_field), "Memory Allocation Error:  Grid Request Block\n")));
  grid_field* grid = owner.get();
  grid->file = file;
  grid->undef = file->undef;
  grid->variable = pvar;
  grid->idim = pst->idim;
  grid->jdim = pst->jdim;
  for (int d = 0; d < 4; d++) {
    grid->dim_min[d] = imin[d];
    grid->dim_max[d] = imax[d];
  }
  grid->owns_scaling = 0;
  grid->i_linear = grid->j_linear = 1;
  if (grid->idim >= 0) {
    const int d = grid->idim;
    if (d < 3) {
      grid->i_to_world = file->grid_to_world[d];
      grid->i_to_grid = file->world_to_grid[d];
    }
    grid->i_world_vals = file->grid_to_world_scaling[d];
    grid->i_grid_vals = file->world_to_grid_scaling[d];
    grid->i_linear = file->linear_flags[d];
  }
  if (grid->jdim >= 0) {
    const int d = grid->jdim;
    if (d < 3) {
      grid->j_to_world = file->grid_to_world[d];
      grid->j_to_grid = file->world_to_grid[d];
    }
    grid->j_world_vals = file->grid_to_world_scaling[d];
    grid->j_grid_vals = file->world_to_grid_scaling[d];
    grid->j_linear = file->linear_flags[d];
  }
  grid->values = nullptr;

  // Grid-relative winds of a pre-projected data set need the partner
  // component, read with the same request.
  grid_ptr partner;
  if (!is_predefined && kawrneed(file, pvar) && !(partner = kawrcopy(grid))) return nullptr;
  grid_read rc = kaggrd(grid);
  if (is_predefined) grid->variable = nullptr;
  if (rc > grid_read_ok) {
    kaprntf(msg_level::error, "Data Request Error:  Error for variable '%s'\n", dname);
    return nullptr;
  }
  if (rc < grid_read_ok) kaprntf(msg_level::result, "  Warning issued for variable = %s\n", dname);
  if (partner && kawrturn(grid, std::move(partner), dname)) return nullptr;

  pst->result = std::move(owner);
  return p;
}
