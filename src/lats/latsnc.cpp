// The netCDF side of the LATS writer: one file NAME.nc with an unlimited time
// dimension, a longitude and latitude pair per grid, a dimension per vertical
// dimension and one variable per declared variable. Definitions are made in
// define mode; the first write ends it and writes the coordinates. A file
// closed without a field is dropped.
#include "lats/latsnc.h"

#include <netcdf.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "data/netcdf_lib.h"
#include "lats/latsint.h"
#include "base/dirlock.h"
#include "lats/latsstage.h"

struct latsNcFile {
  int ncid = -1;
  int timedim = -1;
  int timevar = -1;
  int state = LATS_DEFINING;
  int ndims = 0;  // time counts 1, a grid 2, a vertical dimension 1
  // The file's copies, in the order they were defined.
  latsGrid* grids[LATS_MAX_GRIDS] = {};
  int ngrids = 0;
  latsVertDim* verts[LATS_MAX_VERT_DIMS] = {};
  int nverts = 0;
  // The file as written beside its target until the close.
  lats_staged stage;
  int failure = 0;  // netCDF status of the first failed write (0: none)
};

namespace {

constexpr int kMaxDims = 32;
constexpr size_t kWriteBuffer = size_t(1) << 20;

// The library reports its own errors on standard error but never ends the
// process while this writer runs; the caller's option word is kept.
class verbose_nc {
 public:
  verbose_nc() : saved_(netcdf_options()) { netcdf_options() = NC_VERBOSE; }
  ~verbose_nc() { netcdf_options() = saved_; }
  verbose_nc(const verbose_nc&) = delete;
  verbose_nc& operator=(const verbose_nc&) = delete;

 private:
  int saved_;
};

const char* calendar_name(int calendar) {
  switch (calendar) {
    case LATS_STANDARD: return "standard";
    case LATS_JULIAN: return "julian";
    case LATS_NOLEAP: return "noleap";
    case LATS_360: return "360";
    case LATS_CLIM: return "climatology";
    case LATS_CLIMLEAP: return "climatology_366";
    case LATS_CLIM360: return "climatology_360";
    default: return "unknown";
  }
}

const char* grid_type_name(int type) {
  switch (type) {
    case LATS_GAUSSIAN: return "gaussian";
    case LATS_LINEAR: return "linear";
    default: return "generic";
  }
}

const char* timestat_name(int stat) {
  switch (stat) {
    case LATS_AVERAGE: return "average";
    case LATS_INSTANT: return "instantaneous";
    case LATS_ACCUM: return "accumulation";
    default: return "other";
  }
}

// Text attributes carry their terminating NUL, as readers of these files expect.
bool put_text(int ncid, int varid, const char* name, const char* text) {
  return ncattput(ncid, varid, name, NC_CHAR, static_cast<int>(std::strlen(text) + 1), text) != -1;
}

// Keeps the reason of the first failure that leaves the file incomplete: the
// library's status, or the system's when the library only says it was one.
int failed(latsNcFile* nc) {
  if (nc->failure) return 0;
  const int status = netcdf_last_error();
  if (status == NC_SYSERR || status == NC_NOERR)
    nc->failure = errno > 0 ? errno : NC_EIO;
  else
    nc->failure = status;
  return 0;
}

// After a failed write the file is incomplete whatever follows: later writes
// are refused at once instead of each failing again in the library.
int refuse_after_failure(const latsFile* file) {
  latsError("netCDF (latsnc) --> %s is not written after the failure before (%s)", file->path,
            nc_strerror(file->nc->failure));
  return 0;
}

// Ends define mode: the time units, the missing values, then the
// coordinates of every grid and vertical dimension. 1 or 0 after a message.
int end_define(latsFile* file) {
  latsNcFile* nc = file->nc;
  // A file closed before any write has no base time and so no units.
  if (file->ncTimeUnits[0] && !put_text(nc->ncid, nc->timevar, "units", file->ncTimeUnits)) {
    latsError("netCDF (latsnc) --> Writing netCDF time units attribute, file %s", file->path);
    return failed(nc);
  }
  for (latsVar* v = file->varlist; v; v = v->next) {
    if (!v->hasmissing || v->ncid < 0) continue;
    int rc = v->parm && v->parm->datatype == LATS_INT
                 ? ncattput(nc->ncid, v->ncid, "missing_value", NC_INT, 1, &v->missing.i)
                 : ncattput(nc->ncid, v->ncid, "missing_value", NC_FLOAT, 1, &v->missing.f);
    if (rc == -1) {
      latsError("netCDF (latsnc) --> Writing missing data value, file %s, variable %s", file->path,
                v->name);
      return failed(nc);
    }
  }
  if (ncendef(nc->ncid) == -1) {
    latsError("netCDF (latsnc) --> Ending define mode for file %s", file->path);
    return failed(nc);
  }
  nc->state = LATS_WRITING;
  for (int k = 0; k < nc->ngrids; k++) {
    const latsGrid* g = nc->grids[k];
    long start = 0, count = g->nlon;
    if (ncvarput(nc->ncid, g->ncxvarid, &start, &count, g->lons) == -1) {
      latsError("netCDF (latsnc) --> Writing longitude values, file %s", file->path);
      return failed(nc);
    }
    count = g->nlat;
    if (ncvarput(nc->ncid, g->ncyvarid, &start, &count, g->lats) == -1) {
      latsError("netCDF (latsnc) --> Writing latitude values, file %s", file->path);
      return failed(nc);
    }
  }
  for (int k = 0; k < nc->nverts; k++) {
    const latsVertDim* d = nc->verts[k];
    long start = 0, count = d->nlev;
    if (ncvarput(nc->ncid, d->ncvarid, &start, &count, d->levs) == -1) {
      latsError("netCDF (latsnc) --> Writing vertical level %d, file %s", k + 1, file->path);
      return failed(nc);
    }
  }
  return 1;
}

// A create that fails half-way leaves no open file and no record behind.
int abandon(latsFile* file) {
  if (file->nc) {
    if (file->nc->ncid != -1) ncabort(file->nc->ncid);  // ids may be negative
    delete file->nc;
    file->nc = nullptr;
  }
  return 0;
}

}  // namespace

int lats_create_nc(latsFile* file) {
  verbose_nc quiet;
  file->nc = new (std::nothrow) latsNcFile;
  if (!file->nc) {
    latsError("netCDF (latsnc) --> Allocating memory for netCDF file %s", file->path);
    return 0;
  }
  latsNcFile* nc = file->nc;
  if (!nc->stage.open(file->path)) {
    latsWarning("netCDF (latsnc) --> %s: %s", file->path, std::strerror(errno));
    latsError("netCDF (latsnc) --> Creating netCDF file %s", file->path);
    return abandon(file);
  }
  // The library can make no netCDF file on a device or a pipe, and removes
  // the name it failed on: it is given only the file beside the target.
  if (nc->stage.in_place()) {
    latsWarning("netCDF (latsnc) --> %s is not a regular file", file->path);
    latsError("netCDF (latsnc) --> Creating netCDF file %s", file->path);
    return abandon(file);
  }
  // A buffer of whole fields: with the library's default of one disk block
  // every block written is first sought and read back.
  size_t chunk = kWriteBuffer;
  // Made through the staged file held, never whatever its name holds later.
  if (nc__create(nc->stage.held_path().c_str(), NC_CLOBBER, 0, &chunk, &nc->ncid) != NC_NOERR)
    nc->ncid = -1;
  if (nc->ncid == -1) {
    latsError("netCDF (latsnc) --> Creating netCDF file %s", file->path);
    return abandon(file);
  }
  nc->timedim = ncdimdef(nc->ncid, "time", NC_UNLIMITED);
  if (nc->timedim == -1) {
    latsError("netCDF (latsnc) --> Creating netCDF time dimension, file %s", file->path);
    return abandon(file);
  }
  nc->timevar = ncvardef(nc->ncid, "time", NC_DOUBLE, 1, &nc->timedim);
  if (nc->timevar == -1) {
    latsError("netCDF (latsnc) --> Creating netCDF time variable, file %s", file->path);
    return abandon(file);
  }
  const char* conventions = file->convention == LATS_NETCDF ? "LATS" : "COARDS";
  if (!put_text(nc->ncid, NC_GLOBAL, "Conventions", conventions) ||
      !put_text(nc->ncid, NC_GLOBAL, "calendar", calendar_name(file->calendar)) ||
      !put_text(nc->ncid, NC_GLOBAL, "comments", file->comment) ||
      !put_text(nc->ncid, NC_GLOBAL, "model", file->model) ||
      !put_text(nc->ncid, NC_GLOBAL, "center", file->center)) {
    latsError("netCDF (latsnc) --> Writing netCDF file attribute, file %s", file->path);
    return abandon(file);
  }
  nc->ndims = 1;
  nc->state = LATS_DEFINING;
  return file->id;
}

int lats_grid_nc(latsFile* file, latsGrid* grid) {
  verbose_nc quiet;
  latsNcFile* nc = file->nc;
  if (!nc || nc->state != LATS_DEFINING) {
    latsError("netCDF (latsnc) --> lats_grid calls must precede any lats_write call");
    return 0;
  }
  if (nc->ngrids == LATS_MAX_GRIDS || nc->ndims + 2 > kMaxDims) {
    latsError("netCDF (latsnc) --> Creating netCDF longitude dimension, file %s", file->path);
    return 0;
  }
  char lon[NC_MAX_NAME + 1], lat[NC_MAX_NAME + 1];
  if (nc->ngrids == 0) {
    std::snprintf(lon, sizeof lon, "longitude");
    std::snprintf(lat, sizeof lat, "latitude");
  } else {
    std::snprintf(lon, sizeof lon, "longitude_%s", grid->name);
    std::snprintf(lat, sizeof lat, "latitude_%s", grid->name);
  }
  grid->ncxdimid = ncdimdef(nc->ncid, lon, grid->nlon);
  if (grid->ncxdimid == -1) {
    latsError("netCDF (latsnc) --> Creating netCDF longitude dimension, file %s", file->path);
    return 0;
  }
  grid->ncxvarid = ncvardef(nc->ncid, lon, NC_DOUBLE, 1, &grid->ncxdimid);
  if (grid->ncxvarid == -1) {
    latsError("netCDF (latsnc) --> Creating netCDF longitude variable, file %s", file->path);
    return 0;
  }
  grid->ncydimid = ncdimdef(nc->ncid, lat, grid->nlat);
  if (grid->ncydimid == -1) {
    latsError("netCDF (latsnc) --> Creating netCDF latitude dimension, file %s", file->path);
    return 0;
  }
  grid->ncyvarid = ncvardef(nc->ncid, lat, NC_DOUBLE, 1, &grid->ncydimid);
  if (grid->ncyvarid == -1) {
    latsError("netCDF (latsnc) --> Creating netCDF latitude variable, file %s", file->path);
    return 0;
  }
  if (!put_text(nc->ncid, grid->ncxvarid, "units", "degrees_east") ||
      !put_text(nc->ncid, grid->ncxvarid, "long_name", "Longitude") ||
      !put_text(nc->ncid, grid->ncyvarid, "units", "degrees_north") ||
      !put_text(nc->ncid, grid->ncyvarid, "long_name", "Latitude")) {
    latsError("netCDF (latsnc) --> Writing netCDF grid attribute, file %s", file->path);
    return 0;
  }
  nc->grids[nc->ngrids++] = grid;
  nc->ndims += 2;
  return 1;
}

int lats_vert_dim_nc(latsFile* file, latsVertDim* vertdim) {
  verbose_nc quiet;
  latsNcFile* nc = file->nc;
  if (!nc || nc->state != LATS_DEFINING) {
    latsError("netCDF (latsnc) --> lats_vert_dim calls must precede any lats_write call");
    return 0;
  }
  if (nc->ndims >= kMaxDims || nc->nverts == LATS_MAX_VERT_DIMS) {
    latsError("netCDF (latsnc) --> Too many vertical dimensions defined, maximum of %d, file %s",
              kMaxDims, file->path);
    return 0;
  }
  vertdim->ncid = ncdimdef(nc->ncid, vertdim->name, vertdim->nlev);
  if (vertdim->ncid == -1) {
    latsError("netCDF (latsnc) --> Creating vertical dimension, file %s", file->path);
    return 0;
  }
  vertdim->ncvarid = ncvardef(nc->ncid, vertdim->name, NC_DOUBLE, 1, &vertdim->ncid);
  if (vertdim->ncvarid == -1) {
    latsError("netCDF (latsnc) --> Creating vertical dimension variable, file %s", file->path);
    return 0;
  }
  const latsVertType* t = vertdim->type;
  const int var = vertdim->ncvarid;
  if (!put_text(nc->ncid, var, "units", t ? t->units : "")) {
    latsError("netCDF (latsnc) --> Writing vertical dimension attribute, file %s, dimension %s",
              file->path, vertdim->name);
    return 0;
  }
  if (!put_text(nc->ncid, var, "description", t ? t->descrip : "")) {
    latsError("netCDF (latsnc) --> Writing vertical dimension description, file %s, dimension %s",
              file->path, vertdim->name);
    return 0;
  }
  if (!put_text(nc->ncid, var, "type", t ? t->name : "")) {
    latsError(
        "netCDF (latsnc) --> Writing vertical dimension type attribute, file %s, dimension %s",
        file->path, vertdim->name);
    return 0;
  }
  if (!put_text(nc->ncid, var, "long_name", "Level") ||
      !put_text(nc->ncid, var, "positive", t && t->positive == LATS_DOWN ? "down" : "up")) {
    latsError("netCDF (latsnc) --> Writing vertical dimension attribute, file %s, dimension %s",
              file->path, vertdim->name);
    return 0;
  }
  nc->verts[nc->nverts++] = vertdim;
  nc->ndims++;
  return nc->nverts;
}

int lats_var_nc(latsFile* file, latsVar* var, latsGrid* grid, latsVertDim* vertdim) {
  verbose_nc quiet;
  latsNcFile* nc = file->nc;
  if (!nc || nc->state != LATS_DEFINING) {
    latsError("netCDF (latsnc) --> lats_var calls must precede any lats_write call");
    return 0;
  }
  int dims[4], n = 0;
  dims[n++] = nc->timedim;
  if (vertdim) dims[n++] = vertdim->ncid;
  dims[n++] = grid->ncydimid;
  dims[n++] = grid->ncxdimid;
  const latsParm* parm = var->parm;
  const nc_type type = parm && parm->datatype == LATS_INT ? NC_INT : NC_FLOAT;
  var->ncid = ncvardef(nc->ncid, var->name, type, n, dims);
  if (var->ncid == -1) {
    latsError("netCDF (latsnc) --> Defining variable %s, file %s", var->name, file->path);
    return 0;
  }
  const int id = var->ncid;
  auto attribute_failed = [&]() {
    latsError("netCDF (latsnc) --> Writing netCDF file attribute, file %s, var %s", file->path,
              var->name);
    return 0;
  };
  if (!put_text(nc->ncid, id, "comments", var->comment) ||
      !put_text(nc->ncid, id, "long_name", parm ? parm->title : "") ||
      !put_text(nc->ncid, id, "units", parm ? parm->units : "") ||
      !put_text(nc->ncid, id, "grid_name", grid->name) ||
      !put_text(nc->ncid, id, "grid_type", grid_type_name(grid->type)))
    return attribute_failed();
  if (!vertdim && parm && parm->levelset && parm->verttype &&
      !put_text(nc->ncid, id, "level_description", parm->verttype->descrip)) {
    latsError("netCDF (latsnc) --> Writing netCDF file level description, file %s, var %s",
              file->path, var->name);
    return 0;
  }
  if (!put_text(nc->ncid, id, "time_statistic", timestat_name(var->tstat)))
    return attribute_failed();
  return var->id;
}

int lats_write_nc(latsFile* file, latsVar* var, int levindex, int timeindex, int year, int month,
                  int day, int hour, void* data) {
  verbose_nc quiet;
  latsNcFile* nc = file->nc;
  if (!nc) {
    latsError("netCDF (latsnc) --> Writing data for file %s, var %s", file->path, var->name);
    return 0;
  }
  if (nc->failure) return refuse_after_failure(file);
  if (nc->state == LATS_DEFINING && !end_define(file)) return 0;
  if (timeindex == file->ntimewritten) {
    double value = 0;
    long index = timeindex;
    if (!latsComp2Rel(file->calendar, year, month, day, hour, file->ncTimeUnits, &value)) {
      latsError("netCDF (latsnc) --> Writing time value %ld (index %d)", static_cast<long>(value),
                timeindex);
      return 0;
    }
    if (ncvarput1(nc->ncid, nc->timevar, &index, &value) == -1) {
      latsError("netCDF (latsnc) --> Writing time value %ld (index %d)", static_cast<long>(value),
                timeindex);
      return failed(nc);
    }
  }
  long start[4], count[4];
  int n = 0;
  start[n] = timeindex;
  count[n++] = 1;
  if (levindex >= 0) {
    start[n] = levindex;
    count[n++] = 1;
  }
  start[n] = 0;
  count[n++] = var->grid->nlat;
  start[n] = 0;
  count[n++] = var->grid->nlon;
  if (ncvarput(nc->ncid, var->ncid, start, count, data) == -1) {
    if (levindex >= 0 && var->levs)
      latsError(
          "netCDF (latsnc) --> Writing data for file %s, var %s\n"
          "netCDF (latsnc) -->    Level = %f (index %d)\n"
          "netCDF (latsnc) -->    Time = %dZ %d %s %d",
          file->path, var->name, var->levs[levindex], levindex, hour, day, latsMonthName(month),
          year);
    else
      latsError(
          "netCDF (latsnc) --> Writing data for file %s, var %s\n"
          "netCDF (latsnc) -->    Time = %dZ %d %s %d",
          file->path, var->name, hour, day, latsMonthName(month), year);
    return failed(nc);
  }
  return 1;
}

int lats_close_nc(latsFile* file) {
  verbose_nc quiet;
  latsNcFile* nc = file->nc;
  if (!nc) return 1;  // its create failed: nothing is open
  file->nc = nullptr;
  std::unique_ptr<latsNcFile> owner(nc);
  // An output without a field replaces nothing and leaves nothing.
  const bool empty = file->ntimewritten == 0;
  if (nc->failure || empty) {
    ncabort(nc->ncid);
  } else if (ncclose(nc->ncid) == -1) {
    latsError("netCDF (latsnc) --> Closing netCDF file %s", file->path);
    failed(nc);
  }
  // Whether an old file is there is seen now, under the lock: another
  // session may have written one since the create.
  directory_lock lock(file->path, directory_lock::mode::exclusive);
  // The first Ctrl-C while another process holds the lock gives the output
  // up (the stage goes with nc), the old file stays.
  if (lock.interrupted() && !nc->failure && !empty) {
    latsError(
        "netCDF (latsnc) --> Writing %s failed: interrupted while waiting for another "
        "process; %s",
        file->path, nc->stage.target_exists() ? "the old file is kept" : "no file was made");
    return 0;
  }
  if (nc->failure) {
    latsError("netCDF (latsnc) --> Writing %s failed: %s; %s", file->path, nc_strerror(nc->failure),
              nc->stage.target_exists() ? "the old file is kept" : "no file was made");
    return 0;
  }
  if (empty) {
    nc->stage.discard();
    latsWarning("netCDF (latsnc) --> No field was written to %s; %s", file->path,
                nc->stage.target_exists() ? "the old file is kept" : "no file was made");
    return 1;
  }
  std::vector<std::string> not_back;
  if (!nc->stage.commit(not_back)) {
    const std::string why = nc->stage.failure(errno);
    latsError("netCDF (latsnc) --> Replacing %s failed: %s; %s", file->path, why.c_str(),
              lats_left_after(not_back, "the old file is kept", false).c_str());
    return 0;
  }
  return 1;
}
