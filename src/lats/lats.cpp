// The LATS interface: files, grids, vertical dimensions and variables, the
// checks on every declaration and write, and the hand-over to the format
// writers (GRIB or netCDF).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/alloc.h"
#include "lats/latsgrib.h"
#include "lats/latsint.h"
#include "lats/latsnc.h"

lats_open_files& latsOpenFiles() {
  static lats_open_files f;
  return f;
}

namespace {

// Grids and vertical dimensions are declared once for the process and used
// by every file after; variable ids are unique across files.
struct lats_declarations {
  latsGrid latsGridList[LATS_MAX_GRIDS];
  int latsNgrids = 0;
  latsVertDim* latsVertHead = nullptr;  // newest first
  int latsNextVertID = 1;
  int latsNextVarID = 1;
};

lats_declarations decl;

// The operations each format writer provides.
struct format_ops {
  int (*create)(latsFile*);
  int (*grid)(latsFile*, latsGrid*);
  int (*vert_dim)(latsFile*, latsVertDim*);
  int (*var)(latsFile*, latsVar*, latsGrid*, latsVertDim*);
  int (*write)(latsFile*, latsVar*, int, int, int, int, int, int, void*);
  int (*close)(latsFile*);
};

const format_ops grib_ops = {lats_create_grib, lats_grid_grib,  lats_vert_dim_grib,
                             lats_var_grib,    lats_write_grib, lats_close_grib};
const format_ops nc_ops = {lats_create_nc, lats_grid_nc,  lats_vert_dim_nc,
                           lats_var_nc,    lats_write_nc, lats_close_nc};

const format_ops& ops(const latsFile* f) {
  return f->format == LATS_FORMAT_GRIB ? grib_ops : nc_ops;
}

bool valid_calendar(int cal) {
  static const int cals[] = {LATS_STANDARD, LATS_JULIAN,   LATS_NOLEAP, LATS_360,
                             LATS_CLIM,     LATS_CLIMLEAP, LATS_CLIM360};
  for (int c : cals)
    if (c == cal) return true;
  return false;
}

bool ends_with(const char* s, const char* suffix) {
  size_t n = std::strlen(s), m = std::strlen(suffix);
  return n >= m && std::strcmp(s + n - m, suffix) == 0;
}

// 1 increasing, -1 decreasing, 0 not monotonic; one value counts as monotonic.
int monotonic(const double* v, int n) {
  if (n <= 1) return 1;
  bool inc = true, dec = true;
  for (int i = 1; i < n; ++i) {
    if (!(v[i] > v[i - 1])) inc = false;
    if (!(v[i] < v[i - 1])) dec = false;
  }
  return inc ? 1 : dec ? -1 : 0;
}

void unlink_file(latsFile* file) {
  for (latsFile** p = &latsOpenFiles().latsFileHead; *p; p = &(*p)->next) {
    if (*p == file) {
      *p = file->next;
      break;
    }
  }
}

void free_var(latsVar* v) {
  kafree(v->parm);
  kafree(v->qctable);
  kafree(v->qcrows);
  kafree(v->timestat);
  kafree(v);
}

void free_file(latsFile* file) {
  latsVar* v = file->varlist;
  while (v) {
    latsVar* next = v->next;
    free_var(v);
    v = next;
  }
  kafree(file);
}

const char* frequency_word(int freq) {
  switch (freq) {
    case LATS_HOURLY:
    case LATS_FORECAST_HOURLY:
    case LATS_FIXED: return "hour";
    case LATS_DAILY: return "day";
    case LATS_WEEKLY: return "week";
    case LATS_MONTHLY: return "month";
    case LATS_YEARLY: return "year";
    default: return "unknown";
  }
}

const char* timestat_word(int stat) {
  switch (stat) {
    case LATS_AVERAGE: return "average";
    case LATS_INSTANT: return "instant";
    case LATS_ACCUM: return "accum";
    default: return "other";
  }
}

// The file's copy of a vertical dimension; made (and announced to the format
// writer) at its first use. Null after a message.
latsVertDim* file_vertdim(latsFile* file, int id, const char* varname) {
  for (int i = 0; i < file->nvertdim; ++i)
    if (file->vertlist[i].id == id) return &file->vertlist[i];
  latsVertDim* src = decl.latsVertHead;
  while (src && src->id != id) src = src->next;
  if (!src) {
    latsError("LATS (lats) -->  Vertical dimension not found, ID: %d, file %s, variable %s", id,
              file->path, varname);
    return nullptr;
  }
  if (file->nvertdim >= LATS_MAX_VERT_DIMS) {
    latsError("LATS (latsint) --> Max vertical dimensions: %d, exceeded for file: %s",
              LATS_MAX_VERT_DIMS, file->path);
    return nullptr;
  }
  if (file->convention == LATS_VEMRA_GRIB && file->nvertdim > 0) {
    latsError(
        "LATS (lats) -->  For LATS_VEMRA_GRIB convention,\nvertdim can only be called once; "
        "define a vertical dimension that includes all levels\nVertical Dim ID: %d, file "
        "%s, variable %s",
        id, file->path, varname);
    return nullptr;
  }
  latsVertDim* copy = &file->vertlist[file->nvertdim];
  *copy = *src;
  copy->next = nullptr;
  file->nvertdim++;
  if (!ops(file).vert_dim(file, copy)) {
    file->nvertdim--;
    return nullptr;
  }
  return copy;
}

latsGrid* file_grid(latsFile* file, int id) {
  if (id < 1 || id > decl.latsNgrids) {
    latsError("LATS (latsint) --> Invalid grid ID: %d", id);
    return nullptr;
  }
  for (int i = 0; i < file->ngrid; ++i)
    if (file->gridlist[i].id == id) return &file->gridlist[i];
  if (file->ngrid >= LATS_MAX_GRIDS) {
    latsError("LATS (latsint) --> Max number of grids allowed for file %s is %d, gridid: %d",
              file->path, LATS_MAX_GRIDS, id);
    return nullptr;
  }
  latsGrid* copy = &file->gridlist[file->ngrid];
  *copy = decl.latsGridList[id - 1];
  file->ngrid++;
  if (!ops(file).grid(file, copy)) {
    file->ngrid--;
    return nullptr;
  }
  return copy;
}

// Binary search of a level within the tolerance over increasing or
// decreasing levels; -1 when absent.
int find_level(const double* levs, int n, double lev, double tol) {
  bool inc = n < 2 || levs[1] > levs[0];
  int lo = 0, hi = n - 1;
  while (lo <= hi) {
    int mid = (lo + hi) / 2;
    if (std::fabs(levs[mid] - lev) <= tol) return mid;
    bool below = inc ? lev < levs[mid] : lev > levs[mid];
    if (below)
      hi = mid - 1;
    else
      lo = mid + 1;
  }
  return -1;
}

}  // namespace

latsFile* latsFileLookup(int fileid) {
  for (latsFile* f = latsOpenFiles().latsFileHead; f; f = f->next)
    if (f->id == fileid) return f;
  latsError("LATS (latsint) --> File ID: %d, not found", fileid);
  return nullptr;
}

latsVar* latsVarLookup(latsFile* file, int varid) {
  for (latsVar* v = file->varlist; v; v = v->next)
    if (v->id == varid) return v;
  latsError("LATS (latsint) --> Variable ID: %d, not found, file %s", varid, file->path);
  return nullptr;
}

namespace {

// Longest output name (blanks around it not counted): the extension must
// still fit the path field.
constexpr int kLatsNameMax = 251;

// A name cut short would write another file than the one named. The data
// set descriptor names its data and index files by a word that ends at the
// first blank or tab, and takes what follows a backslash as the name: such
// names are refused, not changed.
bool name_fits(const char* name, int convention) {
  char trimmed[sizeof(latsFile::path) + 1];
  latsCpyTrim(trimmed, name, sizeof trimmed);
  if (std::strlen(trimmed) > kLatsNameMax) {
    latsError("LATS (lats) -->  File name longer than %d characters: %s", kLatsNameMax, trimmed);
    return false;
  }
  const char* slash = std::strrchr(trimmed, '/');
  const char* base = slash ? slash + 1 : trimmed;
  if (convention == LATS_VEMRA_GRIB && std::strpbrk(base, " \t\\")) {
    latsError(
        "LATS (lats) -->  File name %s holds a blank, tab or backslash, which its data set "
        "descriptor cannot hold",
        trimmed);
    return false;
  }
  return true;
}

}  // namespace

int lats_create(const char* path, int convention, int calendar, int frequency, int delta,
                const char* center, const char* model, const char* comment) {
  latsSetRoutine("lats_create");
  const char* p = path ? path : "";
  if (convention < LATS_NETCDF || convention > LATS_COARDS) {
    latsError("LATS (lats) -->  Invalid file convention: %d", convention);
    return 0;
  }
  if (frequency < LATS_HOURLY || frequency > LATS_FORECAST_HOURLY) {
    latsError("LATS (lats) -->  Invalid frequency: %d", frequency);
    return 0;
  }
  if (!valid_calendar(calendar)) {
    latsError("LATS (lats) -->  Invalid calendar: %d", calendar);
    return 0;
  }
  if (convention == LATS_COARDS && calendar != LATS_STANDARD) {
    latsError(
        "LATS (lats) -->  COARDS data must be written with the standard Gregorian calendar, file "
        "%s",
        p);
    return 0;
  }
  if ((convention == LATS_GRIB_ONLY || convention == LATS_VEMRA_GRIB) &&
      calendar != LATS_STANDARD && calendar != LATS_NOLEAP && calendar != LATS_CLIM &&
      calendar != LATS_CLIMLEAP) {
    latsError(
        "LATS (lats) -->  VEMRA/GRIB data must be written with: 1) the standard Gregorian; "
        "2) 365 day ; or 3) climatology calendar , file %s",
        p);
    return 0;
  }
  if (frequency == LATS_FORECAST_HOURLY && calendar != LATS_STANDARD) {
    latsError(
        "LATS (lats) -->  Forecast hourly data must written with the standard Gregorian "
        "calendar (LATS_STANDARD), file %s",
        p);
    return 0;
  }
  if (convention == LATS_VEMRA_GRIB && delta < 1) {
    latsError("LATS (lats) -->  VEMRA_GRIB data must be written with nonzero delta, file %s", p);
    return 0;
  }
  if (frequency == LATS_WEEKLY) {
    frequency = LATS_DAILY;
    delta *= 7;
  }
  int packing = frequency == LATS_MONTHLY ? 2 : 1;
  if (frequency == LATS_MONTHLY_TABLE_COMP) frequency = LATS_MONTHLY;

  int format = (convention == LATS_GRIB_ONLY || convention == LATS_VEMRA_GRIB) ? LATS_FORMAT_GRIB
                                                                               : LATS_FORMAT_NETCDF;
  if (!name_fits(p, convention)) return 0;
  auto* file = static_cast<latsFile*>(kacalloc(1, sizeof(latsFile)));
  latsCpyTrim(file->path, p, kLatsNameMax + 1);
  const char* ext = format == LATS_FORMAT_GRIB ? ".grb" : ".nc";
  if (!ends_with(file->path, ext)) std::strcat(file->path, ext);
  lats_open_files& open = latsOpenFiles();
  file->id = open.latsNextFileID++;
  file->writestate = LATS_DEFINING;
  file->next = open.latsFileHead;
  open.latsFileHead = file;

  // From here on a failure takes the record out again.
  auto fail = [file]() {
    unlink_file(file);
    free_file(file);
    return 0;
  };
  if (!latsLoadTablesOnce()) return fail();
  if (format == LATS_FORMAT_GRIB) {
    latsCenter* c = latsCenterLookup(center ? center : "");
    if (!c) {
      latsError("LATS (lats) -->  Center not found in center table: %s, file %s",
                center ? center : "", file->path);
      return fail();
    }
    file->gribpid = c->gribid;
    file->gribcenter = c->grib_center;
    file->gribsubcenter = c->grib_subcenter;
  } else {
    file->gribpid = file->gribcenter = file->gribsubcenter = -1;
  }
  file->calendar = calendar;
  file->frequency = frequency;
  file->delta = delta;
  file->convention = convention;
  file->format = format;
  file->packing = packing;
  latsCpyTrim(file->center, center ? center : "", sizeof file->center);
  std::snprintf(file->model, sizeof file->model, "%s", model ? model : "");
  std::snprintf(file->comment, sizeof file->comment, "%s", comment ? comment : "");
  int rc = ops(file).create(file);
  if (!rc) return fail();
  return rc;
}

int lats_basetime(int fileid, int year, int month, int day, int hour) {
  latsSetRoutine("lats_basetime");
  latsFile* file = latsFileLookup(fileid);
  if (!file) return 0;
  if (file->writestate != LATS_DEFINING && file->ntimewritten > 0) {
    latsError("LATS (lats) --> lats_basetime calls must precede any lats_write call");
    return 0;
  }
  if (file->basetimeset) {
    latsError(
        "LATS (lats) -->  Basetime must be set at most once before any data is written, file %s",
        file->path);
    return 0;
  }
  bool clim = lats_climatological(file->calendar);
  // The day is checked against the month of the year given; a climatology
  // has no years, so its leap day is there whenever the calendar has one.
  const long day_year = clim ? 4 : year;
  if (clim && file->format == LATS_FORMAT_GRIB && file->frequency != LATS_FIXED) year = 2;
  if (month < 1 || month > 12) {
    latsError("LATS (lats) -->  Invalid month: %d, file %s", month, file->path);
    return 0;
  }
  if (file->frequency == LATS_FIXED) {
    year = 1;
  } else if (year < 1) {
    latsError("LATS (lats) -->  Invalid year: %d, file %s year <0 NOT Supported", year, file->path);
    return 0;
  }
  if (day < 1 || day > latsMonthDays(file->calendar, day_year, month)) {
    latsError("LATS (lats) -->  Invalid day: %d, file %s", day, file->path);
    return 0;
  }
  if (hour >= 24) {
    latsError("LATS (lats) -->  Invalid hour: %d, file %s", hour, file->path);
    return 0;
  }
  file->baseyear = year;
  file->basemonth = static_cast<short>(month);
  file->baseday = static_cast<short>(day);
  file->basehour = hour;
  const char* unit;
  switch (file->frequency) {
    case LATS_MONTHLY: unit = "months"; break;
    case LATS_DAILY:
    case LATS_WEEKLY: unit = "days"; break;
    case LATS_YEARLY: unit = clim ? "hours" : "years"; break;
    default: unit = "hours"; break;
  }
  if (clim) {
    std::snprintf(file->latsTimeUnits, sizeof file->latsTimeUnits, "%s since %d-%d %d", unit, month,
                  day, hour);
  } else {
    std::snprintf(file->latsTimeUnits, sizeof file->latsTimeUnits, "%s since %d-%d-%d %d", unit,
                  year, month, day, hour);
  }
  std::memcpy(file->ncTimeUnits, file->latsTimeUnits, sizeof file->ncTimeUnits);
  if (file->convention == LATS_COARDS && file->frequency == LATS_MONTHLY)
    std::snprintf(file->ncTimeUnits, sizeof file->ncTimeUnits, "days since %d-%d-%d %d", year,
                  month, day, hour);
  file->basetimeset = 1;
  return 1;
}

int lats_vert_dim(const char* name, const char* levtype, int nlev, const double* levs) {
  latsSetRoutine("lats_vert_dim");
  const char* nm = name ? name : "";
  if (!latsLoadTablesOnce()) return 0;
  latsVertType* vt = latsVertTypeLookup(levtype ? levtype : "");
  if (!vt) {
    latsVertTypeList();
    latsError("LATS (lats) -->  Vertical dimension type not found: %s, vertical dimension %s",
              levtype ? levtype : "", nm);
    return 0;
  }
  if (nlev <= 0) {
    latsError("LATS (lats) -->  Vertical dimension: %s, length: %d, must be positive", nm, nlev);
    return 0;
  }
  if (!monotonic(levs, nlev)) {
    latsError(
        "LATS (lats) -->  Vertical dimension: %s: must be strictly monotonic, increasing or "
        "decreasing",
        nm);
    return 0;
  }
  double tol;
  if (nlev == 1) {
    tol = levs[0] == 0.0 ? 0.1 : 0.1 * std::fabs(levs[0]);
  } else {
    double smallest = std::fabs(levs[1] - levs[0]);
    for (int i = 2; i < nlev; ++i) smallest = std::fmin(smallest, std::fabs(levs[i] - levs[i - 1]));
    tol = 0.1 * smallest;
  }
  auto* copy = static_cast<double*>(kamalloc(sizeof(double) * static_cast<size_t>(nlev)));
  latsVertDim* vd;
  try {
    vd = static_cast<latsVertDim*>(kacalloc(1, sizeof(latsVertDim)));
  } catch (...) {
    kafree(copy);
    throw;
  }
  std::memcpy(copy, levs, sizeof(double) * static_cast<size_t>(nlev));
  latsCpyTrim(vd->name, nm, sizeof vd->name);
  vd->levs = copy;
  vd->nlev = nlev;
  vd->delta = tol;
  vd->type = vt;
  vd->ncid = vd->ncvarid = -1;
  vd->id = decl.latsNextVertID++;
  vd->next = decl.latsVertHead;
  decl.latsVertHead = vd;
  return vd->id;
}

int lats_grid(const char* name, int gridtype, int nlon, const double* lons, int nlat,
              const double* lats) {
  latsSetRoutine("lats_grid");
  const char* nm = name ? name : "";
  if (gridtype < LATS_GAUSSIAN || gridtype > LATS_GENERIC) {
    latsError("LATS (lats) -->  Invalid grid type: %d, grid %s", gridtype, nm);
    return 0;
  }
  if (nlon <= 0 || nlat <= 0) {
    latsError(
        "LATS (lats) -->  Number of longitudes: %d, and number of latitudes: %d must be positive, "
        "grid %s",
        nlon, nlat, nm);
    return 0;
  }
  int lonorder = monotonic(lons, nlon);
  int latorder = monotonic(lats, nlat);
  if (!lonorder || !latorder) {
    latsError("LATS (lats) -->  Longitude and latitude vectors must be monotonic, grid %s", nm);
    return 0;
  }
  if (std::fabs(lons[nlon - 1] - lons[0]) >= 360.0) {
    latsError("LATS (lats) -->  Longitude vector must not wrap around, grid %s", nm);
    return 0;
  }
  if (std::fabs(lats[0]) > 90.0 || std::fabs(lats[nlat - 1]) > 90.0) {
    latsError("LATS (lats) -->  Latitude values must be in the range -90 to 90");
    return 0;
  }
  char trimmed[128];
  latsCpyTrim(trimmed, nm, sizeof trimmed);
  for (int i = 0; i < decl.latsNgrids; ++i) {
    if (std::strcmp(decl.latsGridList[i].name, trimmed) == 0) {
      latsError("LATS (latsint) --> Duplicate grid name: %s", trimmed);
      return 0;
    }
  }
  if (decl.latsNgrids >= LATS_MAX_GRIDS) {
    latsError("LATS (latsint) --> Max number of grids = %d, exceeded, grid %s", LATS_MAX_GRIDS,
              trimmed);
    return 0;
  }
  size_t nx = static_cast<size_t>(nlon), ny = static_cast<size_t>(nlat);
  // The four vectors are released together if one of them cannot be made.
  double* vec[4] = {};
  try {
    for (int k = 0; k < 4; ++k)
      vec[k] = static_cast<double*>(kamalloc(sizeof(double) * (k % 3 ? nx : ny)));
  } catch (...) {
    for (double* v : vec) kafree(v);
    throw;
  }
  double *latv = vec[0], *lonv = vec[1], *lonw = vec[2], *latw = vec[3];
  std::memcpy(latv, lats, sizeof(double) * ny);
  std::memcpy(lonv, lons, sizeof(double) * nx);

  // Longitude cells end half-way to their neighbours; the wrapping cell
  // closes the circle.
  if (nlon == 1) {
    lonw[0] = 360.0;
  } else {
    double wrap = (lons[0] + lons[nlon - 1] + 360.0) / 2.0;
    auto edge = [&](int i) { return i == 0 ? wrap : (lons[i - 1] + lons[i]) / 2.0; };
    for (int i = 0; i < nlon; ++i) {
      double lo = edge(i), hi = i + 1 < nlon ? edge(i + 1) : wrap;
      double w = hi - lo;
      if (lonorder > 0 && i == 0) w += 360.0;
      if (lonorder < 0 && i == nlon - 1) w -= 360.0;
      lonw[i] = w;
    }
  }
  // Latitude cells: from pole to pole through the midpoints.
  const double rad = 0.017453292519944444;
  double first = latorder > 0 ? -90.0 : 90.0;
  for (int j = 0; j < nlat; ++j) {
    double lo = j == 0 ? first : (lats[j - 1] + lats[j]) / 2.0;
    double hi = j + 1 < nlat ? (lats[j] + lats[j + 1]) / 2.0 : -first;
    latw[j] = std::fabs(std::sin(hi * rad) - std::sin(lo * rad));
  }

  latsGrid* g = &decl.latsGridList[decl.latsNgrids];
  *g = latsGrid{};
  std::memcpy(g->name, trimmed, sizeof g->name);
  g->lats = latv;
  g->lons = lonv;
  g->latweight = latw;
  g->lonweight = lonw;
  g->nlat = nlat;
  g->nlon = nlon;
  g->type = gridtype;
  g->ncxdimid = g->ncydimid = g->ncxvarid = g->ncyvarid = -1;
  g->id = ++decl.latsNgrids;
  return g->id;
}

int lats_var(int fileid, const char* varname, int datatype, int timestat, int gridid, int levid,
             const char* comment) {
  latsSetRoutine("lats_var");
  const char* vn = varname ? varname : "";
  latsFile* file = latsFileLookup(fileid);
  if (!file) return 0;
  latsParm* parm = latsParmLookup(vn);
  if (!parm) {
    latsError("LATS (lats) -->  Variable %s: not in the variable table, file ID %d", vn, fileid);
    return 0;
  }
  if (datatype != LATS_FLOAT && datatype != LATS_INT) {
    latsError("LATS (lats) -->  Datatype: %d, must be LATS_FLOAT or LATS_INT, file %d, var %s",
              datatype, fileid, vn);
    return 0;
  }
  if (datatype != parm->datatype) {
    latsError(
        "LATS (lats) -->  Variable %s, file ID %d: datatype %s does not match predefined datatype",
        vn, fileid, datatype == LATS_FLOAT ? "LATS_FLOAT" : "LATS_INT");
    return 0;
  }
  if (parm->id < 1 || parm->id > 255) {
    latsError(
        "LATS (lats) -->  Variable %s, file ID %d: GRIB parameter id %d is invalid, must be >1 and "
        "< 255",
        vn, fileid, parm->id);
    return 0;
  }
  for (latsVar* v = file->varlist; v; v = v->next) {
    if (std::strcmp(v->name, parm->name) == 0) {
      latsError("LATS (latsint) --> Variable already defined: %s, file %s", vn, file->path);
      return 0;
    }
  }
  if (file->writestate != LATS_DEFINING) {
    latsError("LATS (lats) -->  lats_var calls MUST PRECEDE ANY lats_write call");
    return 0;
  }
  auto* var = static_cast<latsVar*>(kacalloc(1, sizeof(latsVar)));
  std::snprintf(var->name, sizeof var->name, "%s", parm->name);
  // The variable keeps its own copy of the row: a table loaded later
  // overwrites the table's rows.
  try {
    var->parm = static_cast<latsParm*>(kamalloc(sizeof(latsParm)));
  } catch (...) {
    kafree(var);
    throw;
  }
  *var->parm = *parm;
  var->file = file;
  var->ncid = -1;
  // A refused declaration leaves nothing behind.
  auto fail = [var]() {
    free_var(var);
    return 0;
  };
  if (file->frequency != LATS_FIXED &&
      (timestat < LATS_AVERAGE || timestat > LATS_OTHER_TIME_STAT)) {
    latsError(
        "LATS (lats) -->  Time statistic: %d must be LATS_AVERAGE, LATS_INSTANT, or LATS_ACCUM, "
        "file %d, var %s",
        timestat, fileid, vn);
    return fail();
  }
  if (file->format == LATS_FORMAT_GRIB) {
    var->timestat = static_cast<latsTimeStat*>(kacalloc(1, sizeof(latsTimeStat)));
    if (!latsTimeStatLookup(file->frequency, file->delta, timestat, var->timestat)) {
      latsError(
          "LATS (lats) -->  Time statistic not defined: frequency = %s, delta = %d, timestat = %s, "
          "for variable %s",
          frequency_word(file->frequency), file->delta, timestat_word(timestat), vn);
      return fail();
    }
  }
  latsVertDim* vd = nullptr;
  if (levid != 0) {
    if (levid < 0) {
      latsError("LATS (lats) -->  Level dimension: %d, invalid, variable %s, file %s", levid, vn,
                file->path);
      return fail();
    }
    vd = file_vertdim(file, levid, vn);
    if (!vd) return fail();
    if (parm->levelset && vd->type && std::strcmp(parm->levelname, vd->type->name) != 0)
      latsWarning("Overriding default level type %s, for variable %s", parm->levelname, vn);
  }
  int nlev = vd ? vd->nlev : 0;
  if (parm->levelset && nlev > 1) {
    latsError(
        "LATS (lats) -->  Variable %s, file ID %d: number of levels: %d, must be 0 or 1 for "
        "single-level (surface) variable",
        vn, fileid, nlev);
    return fail();
  }
  if (file->packing == 2) {
    var->scalefac = LATS_NO_SCALE;
    var->precision = 16;
  } else {
    var->scalefac = parm->scalefac;
    var->precision = parm->precision;
  }
  std::snprintf(var->comment, sizeof var->comment, "%s", comment ? comment : "");
  var->vertdim = vd;
  var->nlev = nlev;
  var->levs = vd ? vd->levs : nullptr;
  var->delta = vd ? vd->delta : 1e20;
  var->tstat = timestat;
  latsGrid* grid = file_grid(file, gridid);
  if (!grid) return fail();
  var->grid = grid;
  if (latsOptions().lats_qc) {
    int nrows = nlev > 0 ? nlev : 1;
    var->qctable = static_cast<latsQC**>(kacalloc(static_cast<size_t>(nrows), sizeof(latsQC*)));
    // Copies, as for the parameter row: a later table load replaces the rows.
    var->qcrows = static_cast<latsQC*>(kacalloc(static_cast<size_t>(nrows), sizeof(latsQC)));
    for (int i = 0; i < nrows; ++i) {
      const latsQC* row =
          vd ? latsQCLookup(vn, vd->type ? vd->type->name : "", vd->levs[i], vd->delta)
             : latsQCLookup(vn, parm->levelset ? parm->levelname : "", 0.0, 1e-6);
      if (row) {
        var->qcrows[i] = *row;
        var->qctable[i] = &var->qcrows[i];
      }
    }
  }
  var->id = decl.latsNextVarID++;
  var->next = file->varlist;
  file->varlist = var;
  file->nvar++;
  int rc = ops(file).var(file, var, grid, vd);
  if (!rc) {
    file->varlist = var->next;
    file->nvar--;
    return fail();
  }
  return rc;
}

namespace {

latsVar* defining_var(const char* routine, int fileid, int varid) {
  latsSetRoutine(routine);
  latsFile* file = latsFileLookup(fileid);
  if (!file) return nullptr;
  latsVar* var = latsVarLookup(file, varid);
  if (!var) return nullptr;
  if (file->writestate != LATS_DEFINING) {
    latsError("LATS (lats) -->  %s calls must precede any lats_write call", routine);
    return nullptr;
  }
  return var;
}

}  // namespace

int lats_miss_float(int fileid, int varid, float missing, float delta) {
  latsVar* var = defining_var("lats_miss_float", fileid, varid);
  if (!var) return 0;
  if (var->parm->datatype != LATS_FLOAT) {
    latsError(
        "LATS (lats) -->  Missing data value for variable %s declared as float, but variable is "
        "not floating-point",
        var->name);
    return 0;
  }
  if (delta < 0.0f) {
    latsError("LATS (lats) -->  Missing delta value = %f, must be nonnegative",
              static_cast<double>(delta));
    return 0;
  }
  var->missing.f = missing;
  var->missdelta = delta;
  var->hasmissing = 1;
  return 1;
}

int lats_miss_int(int fileid, int varid, int missing) {
  latsVar* var = defining_var("lats_miss_int", fileid, varid);
  if (!var) return 0;
  if (var->parm->datatype != LATS_INT) {
    latsError(
        "LATS (lats) -->  Missing data value for variable %s declared as integer, but variable is "
        "not an integer",
        var->name);
    return 0;
  }
  var->missing.i = missing;
  var->missdelta = 0.0f;
  var->hasmissing = 1;
  return 1;
}

int lats_write(int fileid, int varid, double lev, int year, int month, int day, int hour,
               void* data) {
  latsSetRoutine("lats_write");
  latsFile* file = latsFileLookup(fileid);
  if (!file) return 0;
  latsVar* var = latsVarLookup(file, varid);
  if (!var) return 0;
  const char* path = file->path;
  const char* vn = var->name;
  switch (file->frequency) {
    case LATS_DAILY:
    case LATS_WEEKLY: hour = 0; break;
    case LATS_MONTHLY:
      day = 1;
      hour = 0;
      break;
    case LATS_YEARLY:
      month = 1;
      day = 1;
      hour = 0;
      break;
    case LATS_FIXED:
      year = 1;
      month = 1;
      day = 1;
      hour = 0;
      break;
    default: break;
  }
  bool forecast = file->frequency == LATS_FORECAST_HOURLY;
  if (lats_climatological(file->calendar) && file->format == LATS_FORMAT_GRIB &&
      file->frequency != LATS_FIXED)
    year = 2;
  if (!forecast) {
    if (year <= 0) {
      latsError(
          "LATS (lats) -->  \n  Invalid year: %d, file %s year <= 0 NOT Supported\n  if "
          "climatology use year 2 in lats_write",
          year, path);
      return 0;
    }
    if (month < 1 || month > 12) {
      latsError("LATS (lats) -->  Invalid month: %d, file %s, variable %s", month, path, vn);
      return 0;
    }
    if (day < 1 || day > 31) {
      latsError("LATS (lats) -->  Invalid day: %d, file %s, variable %s", day, path, vn);
      return 0;
    }
    if (hour < 0 || hour > 23) {
      latsError("LATS (lats) -->  Invalid hour: %d, file %s, variable %s", hour, path, vn);
      return 0;
    }
  } else if (hour < 0) {
    latsError("LATS (lats) -->  Invalid hour for LATS_FORECAST_HOURLY: %d, file %s, variable %s",
              hour, path, vn);
    return 0;
  }

  // The basetime set by this call is taken back when the write fails.
  bool set_basetime_here = false;
  auto fail = [&]() {
    if (set_basetime_here) file->basetimeset = 0;
    return 0;
  };

  // The time compared and counted: for forecasts the valid time.
  long tyear = year;
  int tmonth = month, tday = day;
  double thour = hour;
  int timeindex;
  if (file->ntimewritten == 0) {
    timeindex = 0;
    if (!file->basetimeset) {
      if (forecast) {
        latsError(
            "LATS (lats) --> lats_basetime must be called before writing data for "
            "LATS_FORECAST_HOURLY");
        return 0;
      }
      if (!lats_basetime(fileid, year, month, day, hour)) return 0;
      latsSetRoutine("lats_write");
      set_basetime_here = true;
    }
    if (forecast) {
      tyear = file->baseyear;
      tmonth = file->basemonth;
      tday = file->baseday;
      thour = file->basehour + hour;
    }
  } else {
    if (forecast) {
      tyear = file->baseyear;
      tmonth = file->basemonth;
      tday = file->baseday;
      thour = file->basehour + hour;
    }
    int cmp = latsTimeCmp(tyear, tmonth, tday, thour, file->lastyear, file->lastmonth,
                          file->lastday, file->lasthour);
    if (cmp == 0) {
      timeindex = file->ntimewritten - 1;
    } else if (cmp > 0) {
      timeindex = file->ntimewritten;
      if (file->delta > 0) {
        double cur = 0.0, prev = 0.0;
        if (!latsComp2Rel(file->calendar, tyear, tmonth, tday, thour, file->latsTimeUnits, &cur) ||
            !latsComp2Rel(file->calendar, file->lastyear, file->lastmonth, file->lastday,
                          file->lasthour, file->latsTimeUnits, &prev))
          return 0;
        latsSetRoutine("lats_write");
        const char* unit = file->latsTimeUnits;
        char uword[64];
        std::sscanf(unit, "%63s", uword);
        long diff = static_cast<long>(cur - prev + 0.5);
        if (file->convention == LATS_VEMRA_GRIB && diff != file->delta) {
          latsError(
              "LATS (lats) -->  For Vemra convention, cannot skip timepoints; current time = %f "
              "%s, previous time = %f %s, delta = %d, file = %s, variable = %s",
              cur, uword, prev, uword, file->delta, path, vn);
          return 0;
        }
        if (diff % file->delta != 0) {
          latsError(
              "LATS (lats) -->  Current time (%f %s) minus previous time (%f %s) not a multiple of "
              "delta (%d), file = %s, variable = %s",
              cur, uword, prev, uword, file->delta, path, vn);
          return 0;
        }
      } else {
        var->timeerror = 1;
      }
    } else {
      if (!var->timeerror) {
        latsError(
            "LATS (lats) -->  Variable(s) must be written in non-decreasing time order:\n   Last "
            "time written = %dZ %d %s %d\n   Current time = %dZ %d %s %d\n   File = %s, variable = "
            "%s",
            static_cast<int>(file->lasthour), file->lastday, latsMonthName(file->lastmonth),
            file->lastyear, static_cast<int>(thour), tday, latsMonthName(tmonth),
            static_cast<int>(tyear), path, vn);
        var->timeerror = 1;
      }
      return 0;
    }
  }

  int levindex = -1;
  if (var->nlev > 0) {
    levindex = find_level(var->levs, var->nlev, lev, var->delta);
    if (levindex < 0) {
      latsError("LATS (lats) -->  Level not found: %f, file %s, variable %s", lev, path, vn);
      return fail();
    }
  }

  int declared = var->nlev > 0 ? var->nlev : 1;
  bool new_time_for_var = timeindex >= var->ntimewritten;
  if (new_time_for_var) {
    if (var->ntimewritten > 0 && var->nlevwritten < declared) {
      latsError(
          "LATS (lats) -->  Warning, fewer levels written (%d) then declared, file %s, variable "
          "%s, time = %dZ %d %s %d: The output file may be unnecessarily large",
          var->nlevwritten, path, vn, hour, day, latsMonthName(month), year);
    }
    var->nlevwritten = 0;
  } else if (var->nlevwritten >= declared) {
    latsError(
        "LATS (lats) -->  Warning, too many levels written (%d) than declared, file %s, variable "
        "%s, time = %dZ %d %s %d: Data may be overwritten or duplicated",
        var->nlevwritten + 1, path, vn, hour, day, latsMonthName(month), year);
  }

  if (latsOptions().lats_qc && var->qctable) {
    latsQC* qc = var->qctable[levindex < 0 ? 0 : levindex];
    if (qc && !latsStatVar(file, var, qc, levindex, timeindex, year, month, day, hour, data))
      latsWarning("Quality control exception, variable %s, level %f, time %2dZ%d%s%d; see log file",
                  vn, levindex < 0 ? 0.0 : lev, hour, day, latsMonthName(month), year);
  }

  if (!ops(file).write(file, var, levindex, timeindex, year, month, day, hour, data)) return fail();
  latsSetRoutine("lats_write");

  file->writestate = LATS_WRITING;
  if (forecast) file->fhour = hour;
  var->nlevwritten++;
  if (timeindex == file->ntimewritten) {
    file->lastyear = static_cast<int>(tyear);
    file->lastmonth = static_cast<short>(tmonth);
    file->lastday = static_cast<short>(tday);
    file->lasthour = thour;
    file->ntimewritten = timeindex + 1;
  }
  if (new_time_for_var) var->ntimewritten++;
  if (var->ntimewritten != file->ntimewritten) {
    latsError(
        "LATS (lats) -->  Warning: more times (%d) written to file %s than for variable %s (%d), "
        "time = %dZ %d %s %d",
        file->ntimewritten, path, vn, var->ntimewritten, hour, day, latsMonthName(month), year);
  }
  return 1;
}

int lats_close(int fileid) {
  latsSetRoutine("lats_close");
  latsFile* file = latsFileLookup(fileid);
  if (!file) return 0;
  file->ntimes_at_close = file->ntimewritten;
  latsStatFile(file);
  int rc = ops(file).close(file);
  unlink_file(file);
  free_file(file);
  return rc;
}
