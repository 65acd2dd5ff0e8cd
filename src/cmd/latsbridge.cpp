// The bridge between the session's LATS settings, the display results and
// the LATS writer. The writer's fatal exit stays off at every call: its
// failures come back as results and are reported here.
#include "cmd/latsbridge.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

#include "base/message.h"
#include "base/session.h"
#include "base/timecal.h"
#include "data/filerec.h"
#include "data/held.h"
#include "data/result.h"
#include "lats/lats.h"
#include "lats/latsint.h"

namespace {

enum dim_index { kX = 0, kY = 1, kZ = 2, kT = 3 };

enum time_option { time_grid = 0, time_dim_env = 1, time_settime = 2, time_forecast = 3 };

void err(const char* text) { kaprnt(msg_level::error, text); }

int create(session_state* s) {
  int id = lats_create(s->lats_output, s->lats_convention, s->lats_calendar, s->lats_frequency,
                       s->lats_deltat, s->lats_center, s->lats_model, s->lats_comment);
  if (id > 0) s->lats_max_file_id = id;
  return id;
}

int vertdim(session_state* s) {
  if (s->lats_level_count <= 0) return 0;
  if (s->lats_max_level_id != 0) {
    err("Vemra-LATS Error:  (lats_vert_dim) a vertical dimension is already defined;"
        " use set lats reset first\n");
    return -999;
  }
  int id = lats_vert_dim("levels", s->lats_vertdim, s->lats_level_count, s->lats_levels);
  if (id > 0) s->lats_max_level_id = id;
  return id;
}

const grid_field* first_grid(const session_state* s) {
  return s->result_count < 1 ? nullptr : held_grid(s, 0);
}

// A result varying in longitude (first) and latitude (second).
bool lon_lat(const grid_field* g) { return g && g->idim == kX && g->jdim == kY; }

int grid(session_state* s) {
  const grid_field* g = first_grid(s);
  if (!lon_lat(g) || !g->i_to_world || !g->j_to_world) {
    err("Vemra-LATS Error:  the grid must be lon/lat\n");
    return 1;
  }
  const int nlon = g->isiz, nlat = g->jsiz;
  std::unique_ptr<double[]> lons(new (std::nothrow) double[size_t(nlon)]);
  std::unique_ptr<double[]> lats(new (std::nothrow) double[size_t(nlat)]);
  if (!lons || !lats) {
    err("Memory Allocation Error in kalats \n");
    return 1;
  }
  for (int i = 0; i < nlon; i++)
    lons[size_t(i)] = g->i_to_world(g->i_world_vals, static_cast<float>(g->dim_min[kX] + i));
  for (int j = 0; j < nlat; j++)
    lats[size_t(j)] = g->j_to_world(g->j_world_vals, static_cast<float>(g->dim_min[kY] + j));

  int type = LATS_GENERIC;
  if (g->i_linear && g->j_linear)
    type = LATS_LINEAR;
  else if (g->i_linear && s->lats_gridtype == LATS_GAUSSIAN)
    type = LATS_GAUSSIAN;
  s->lats_gridtype = type;
  s->lats_lon_linear = g->i_linear;
  s->lats_lat_linear = g->j_linear;
  s->lats_nlon = nlon;
  s->lats_nlat = nlat;
  s->lats_first_lon = static_cast<float>(lons[0]);
  s->lats_first_lat = static_cast<float>(lats[0]);
  s->lats_last_lon = static_cast<float>(lons[size_t(nlon - 1)]);
  s->lats_last_lat = static_cast<float>(lats[size_t(nlat - 1)]);
  std::snprintf(s->lats_gridname, sizeof s->lats_gridname, "grid%02d", s->lats_max_file_id);

  int id = lats_grid(s->lats_gridname, type, nlon, lons.get(), nlat, lats.get());
  if (id > 0) s->lats_max_grid_id = id;
  kaprntf(msg_level::result, "LATS GRID ID = %d\n", id);
  return id > 0 ? 0 : 1;
}

int var(session_state* s) {
  if (s->lats_grid_id <= 0) {
    err("Vemra-LATS Error:  (lats_var) the LATS GRID ID is out of bounds\n");
    return 0;
  }
  if (s->lats_file_id <= 0) {
    err("Vemra-LATS Error:  (lats_var) the LATS FILE ID is not set\n");
    err("Vemra-LATS Error:  (lats_var) be sure to (set lats create ...)\n");
    return 0;
  }
  int id = lats_var(s->lats_file_id, s->lats_var_name, LATS_FLOAT, s->lats_timestat,
                    s->lats_grid_id, s->lats_level_id, s->lats_varcomment);
  if (id > 0) s->lats_max_var_id = id;
  return id;
}

// The date of the write by the time option; false when it has none.
bool write_time(const session_state* s, const grid_field* g, date_time* t) {
  switch (s->lats_timeoption) {
    case time_grid:
      if (!s->default_file || !s->default_file->grid_to_world_scaling[kT]) return false;
      gr2t(s->default_file->grid_to_world_scaling[kT], static_cast<float>(g->dim_min[kT]), t);
      return true;
    case time_dim_env: *t = s->time_start; return true;
    case time_forecast:
      *t = date_time{};
      t->hour = s->lats_fhour;
      return true;
    default: return false;
  }
}

int write_failed() {
  kaprnt(msg_level::result, "LATS DATA_WRITE ID = 0\n");
  err("Vemra-LATS Error: (lats_write) failed...\n");
  return 1;
}

int write(session_state* s) {
  const grid_field* g = first_grid(s);
  const date_time& t0 = s->time_start;
  const date_time& t1 = s->time_end;
  const bool t_fixed = t0.year == t1.year && t0.month == t1.month && t0.day == t1.day &&
                       t0.hour == t1.hour && t0.minute == t1.minute;
  if (s->dim_min[kZ] != s->dim_max[kZ] || !t_fixed) {
    err("Vemra-LATS Error:  (lats_write) the dimension environment must be fixed in z and t\n");
    return 1;
  }
  // The look-ups below report under the routine they serve.
  latsSetRoutine("lats_write");
  latsFile* file = latsFileLookup(s->lats_file_id);
  if (!file) {
    err("Vemra-LATS Error: (lats_write) the LATS FILE lookup failed\n");
    return 1;
  }
  if (!g) return write_failed();
  // The writer reads nlon x nlat values of the declared grid: the field
  // must be that grid, or it would read past the values or write garbage.
  latsVar* v = s->lats_write_armed ? latsVarLookup(file, s->lats_var_id) : nullptr;
  if (s->lats_write_armed && !v) return write_failed();
  if (v && v->grid && (!lon_lat(g) || g->isiz != v->grid->nlon || g->jsiz != v->grid->nlat)) {
    kaprntf(msg_level::error,
            "Vemra-LATS Error: (lats_write) the field is %d x %d but the grid of variable %d "
            "is %d x %d\n",
            lon_lat(g) ? g->isiz : 0, lon_lat(g) ? g->jsiz : 0, s->lats_var_id, v->grid->nlon,
            v->grid->nlat);
    return write_failed();
  }
  if (file->writestate == LATS_DEFINING) {
    const float miss = g->undef, tol = std::fabs(g->undef) * 0.01f;
    for (latsVar* w = file->varlist; w; w = w->next)
      if (!lats_miss_float(s->lats_file_id, w->id, miss, tol)) return write_failed();
  }
  date_time t{};
  if (!write_time(s, g, &t)) {
    kaprntf(msg_level::error, "Vemra-LATS Error: (lats_write) time option %d gives no date\n",
            s->lats_timeoption);
    return write_failed();
  }
  if (s->lats_file_id <= 0) {
    err("Vemra-LATS Error: (lats_write) the LATS FILE ID is 0\n");
    err("Vemra-LATS Error: (lats_write) the set lats create did not  work\n");
    return 1;
  }
  if (!s->lats_write_armed) {
    err("Vemra-LATS Error: (lats_write) the set lats write did not work\n");
    return write_failed();
  }
  int rc = lats_write(s->lats_file_id, s->lats_var_id, s->lats_level, t.year, t.month, t.day,
                      t.hour, g->values);
  if (!rc) return write_failed();
  kaprntf(msg_level::result, "LATS DATA_WRITE ID = %d\n", rc);
  return 0;
}

int close(session_state* s, int id) {
  if (s->lats_max_file_id == 0) return 0;
  if (!lats_close(id)) {
    err("Vemra-LATS Error: (lats_close) failed...\n");
    return 1;
  }
  return 0;
}

void reset(session_state* s) {
  s->lats_frequency = LATS_HOURLY;
  s->lats_gridtype = LATS_LINEAR;
  s->lats_timestat = LATS_INSTANT;
  s->lats_deltat = 0;
  s->lats_level = -1e20;
  std::snprintf(s->lats_output, sizeof s->lats_output, "vemra.lats");
  std::snprintf(s->lats_var_name, sizeof s->lats_var_name, "misc1");
  std::snprintf(s->lats_center, sizeof s->lats_center, "PCMDI");
  std::snprintf(s->lats_model, sizeof s->lats_model, "Unknown LATS model");
  std::snprintf(s->lats_comment, sizeof s->lats_comment, "Written using the Vemra-LATS interface");
  s->lats_max_file_id = -1;
  s->lats_max_level_id = 0;
  s->lats_max_grid_id = 0;
  s->lats_level_count = -1;
}

bool file_open(int id) {
  for (const latsFile* f = latsOpenFiles().latsFileHead; f; f = f->next)
    if (f->id == id) return true;
  return false;
}

int basetime(session_state* s) {
  int rc = 0;
  if (s->lats_file_id != 0 && !file_open(s->lats_file_id)) {
    // Closed (or never made): say so rather than the writer's look-up failure.
    kaprntf(msg_level::error, "Vemra-LATS Error: (lats_basetime) file id %d is not open\n",
            s->lats_file_id);
  } else if (s->lats_file_id != 0) {
    const int* b = s->lats_basetime_ymdh;
    rc = lats_basetime(s->lats_file_id, b[0], b[1], b[2], b[3]);
  }
  if (!rc) {
    kaprnt(msg_level::result, "LATS BASETIME ID = 0\n");
    err("Vemra-LATS Error: (lats_basetime) failed...\n");
  }
  return rc;
}

}  // namespace

int kalats(session_state* s, lats_op op, int arg) {
  latsOptions().lats_fatal = 0;
  // The writer and the netCDF library report on standard error: what the
  // session printed before must reach a shared log first.
  std::fflush(stdout);
  switch (op) {
    case lats_op::parmtab: return lats_parmtab(s->lats_parmtab_file);
    case lats_op::create: return create(s);
    case lats_op::vertdim: return vertdim(s);
    case lats_op::grid: return grid(s);
    case lats_op::var: return var(s);
    case lats_op::write: return write(s);
    case lats_op::close: return close(s, arg);
    case lats_op::reset: reset(s); return 0;
    case lats_op::basetime: return basetime(s);
  }
  return 0;
}

int kalats_plot(session_state* pcm, lats_output what) {
  return kalats(pcm, what == lats_output::grid ? lats_op::grid : lats_op::write, 0);
}

void kalats_close_all() {
  latsOptions().lats_fatal = 0;
  std::fflush(stdout);
  // Ids first: a close that fails may leave its record in the list.
  std::vector<int> ids;
  for (const latsFile* f = latsOpenFiles().latsFileHead; f; f = f->next) ids.push_back(f->id);
  for (int id : ids) lats_close(id);
}
