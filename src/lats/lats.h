// The LATS writer: gridded fields, one horizontal field of one variable at
// one level and one time per call, written as GRIB edition 1 (optionally with
// a data descriptor and index for vemra's own reader) or as netCDF.
//
// Calling order: lats_parmtab (optional) -> lats_create -> lats_basetime
// (optional, once, before any write) -> lats_vert_dim / lats_grid ->
// lats_var -> lats_miss_float / lats_miss_int (optional) -> lats_write
// (repeated, non-decreasing time) -> lats_close.
//
// Every operation returns 0 on failure after printing "LATS error (%s): ..."
// to standard error (and ends the process with status 1 while errors are
// fatal); on success an id or 1. The records below are C-compatible: both
// format writers and the session bridge read and fill them.
#pragma once

#include <cstdio>

// ---- Codes of the caller's vocabulary ----

enum lats_convention_code {
  LATS_NETCDF = 1,      // LATS netCDF
  LATS_GRIB_ONLY = 2,   // GRIB without descriptor
  LATS_VEMRA_GRIB = 3,  // GRIB + data descriptor + index
  LATS_COARDS = 4,      // COARDS netCDF
};

// Calendar words: bit 0x1 real years, 0x10 years counted from 1970, 0x100
// leap years exist, 0x1000 real month lengths, 0x10000 Julian leap rule.
enum lats_calendar_code {
  LATS_STANDARD = 0x1111,
  LATS_JULIAN = 0x11111,
  LATS_NOLEAP = 0x1011,
  LATS_360 = 0x11,
  LATS_CLIM = 0x1000,
  LATS_CLIMLEAP = 0x1100,
  LATS_CLIM360 = 0,
};

enum lats_frequency_code {
  LATS_HOURLY = 1,
  LATS_DAILY = 2,
  LATS_WEEKLY = 3,
  LATS_MONTHLY = 4,
  LATS_YEARLY = 5,
  LATS_FIXED = 6,
  LATS_MONTHLY_TABLE_COMP = 7,
  LATS_FORECAST_HOURLY = 8,
};

enum lats_timestat_code {
  LATS_AVERAGE = 1,
  LATS_INSTANT = 2,
  LATS_ACCUM = 3,
  LATS_OTHER_TIME_STAT = 4,
};

enum lats_datatype_code {
  LATS_FLOAT = 1,
  LATS_INT = 2,
};

enum lats_grid_type_code {
  LATS_GAUSSIAN = 1,
  LATS_LINEAR = 2,
  LATS_GENERIC = 3,
};

enum lats_format_code {
  LATS_FORMAT_NETCDF = 1,
  LATS_FORMAT_GRIB = 2,
};

enum lats_write_state {
  LATS_DEFINING = 1,  // from lats_create until the first lats_write
  LATS_WRITING = 2,
};

enum lats_positive_code {
  LATS_UP = 1,
  LATS_DOWN = 2,
};

enum lats_level_kind {
  LATS_SINGLE_LEVEL = 1,
  LATS_MULTI_LEVEL = 2,
};

// A calendar without real years (0x1000, 0x1100, 0): files carry no years.
inline bool lats_climatological(int calendar) { return (calendar & 0x11) == 0; }

inline constexpr int LATS_MAX_GRIDS = 32;      // process-wide, and per file
inline constexpr int LATS_MAX_VERT_DIMS = 32;  // per file
inline constexpr int LATS_NO_SCALE = -999;     // decimal scale / precision unset

// ---- Table rows ----

// Level type (vocabulary of vertical dimensions).
struct latsVertType {
  char name[128];
  char descrip[128];
  char units[128];
  int positive;  // lats_positive_code
  int verttype;  // lats_level_kind
  int gribid;    // GRIB level type; -1 when empty in a table file
  int grib_p1, grib_p2, grib_p3;
};

// Parameter row: every variable name must have one.
struct latsParm {
  char name[128];
  char title[128];
  char units[128];
  int id;                  // GRIB parameter number
  int scalefac;            // decimal scale, LATS_NO_SCALE = none
  int precision;           // bits, LATS_NO_SCALE = none
  char levelname[128];     // default level type, empty: none
  int levelset;            // 1 when levelname is not empty
  latsVertType* verttype;  // the joined level-type row, or null
  int datatype;            // lats_datatype_code
};

// Modelling centre.
struct latsCenter {
  char name[128];
  int gribid;  // generating process id
  int grib_center;
  int grib_subcenter;
};

// Quality-control reference of a variable at a level, and what the last
// checked field showed.
struct latsQC {
  char var[128];
  char level[128];
  double value;
  float mean, std, tolerance, range, rangetol;
  float obs_mean, obs_max, obs_min, obs_std;
};

// ---- Declared objects ----

struct latsFile;
struct latsGribFile;  // the GRIB writer's own record
struct latsNcFile;    // the netCDF writer's own record

struct latsGrid {
  char name[128];
  double* lonweight;  // nlon
  double* latweight;  // nlat
  double* lats;       // nlat, copied from the caller
  double* lons;       // nlon, copied from the caller
  int id;
  int ncxdimid, ncydimid;  // netCDF ids, -1 until defined
  int ncxvarid, ncyvarid;
  int nlat, nlon;
  int type;  // lats_grid_type_code
};

struct latsVertDim {
  char name[128];
  double* levs;  // nlev, copied
  double delta;  // level tolerance: 0.1 x the smallest neighbour spacing
  int id;
  int ncid;     // netCDF dimension id, -1 until defined
  int ncvarid;  // netCDF variable id, -1 until defined
  int nlev;
  latsVertType* type;
  latsVertDim* next;
};

// How the GRIB writer codes a variable's time statistic.
struct latsTimeStat {
  int frequency;
  int delta;
  int stat;
  int time_unit;  // GRIB octet 18
  int p1, p2;
  int fcst_p1;
  int time_range;  // GRIB octet 21
};

struct latsVar {
  char comment[256];
  char name[128];
  double delta;  // level tolerance; 1e20 without levels
  double* levs;  // the vertical dimension's levels, or null
  int hasmissing;
  int id;
  int ncid;         // netCDF variable id, -1
  int nlev;         // 0 without levels
  int nlevwritten;  // levels written at the current time
  int ntimewritten;
  int precision;  // bits, LATS_NO_SCALE = none
  int scalefac;   // decimal scale, LATS_NO_SCALE = none
  int timeerror;  // an out-of-order write was reported
  int tstat;      // lats_timestat_code
  latsFile* file;
  latsGrid* grid;  // the copy in the file
  latsParm* parm;
  latsQC** qctable;        // one row (or null) per level, one without levels
  latsQC* qcrows;          // the variable's copies of those rows
  latsTimeStat* timestat;  // GRIB only, else null
  latsVertDim* vertdim;    // the copy in the file, or null
  latsVar* next;
  union {
    float f;
    int i;
  } missing;
  float missdelta;
};

struct latsFile {
  char comment[256];
  char center[256];
  char model[256];
  char path[256];          // trimmed, extension appended
  char latsTimeUnits[64];  // e.g. "hours since 1979-1-1 0"
  char ncTimeUnits[64];    // the netCDF copy (COARDS monthly: days)
  int basetimeset;
  int id;
  int gribpid, gribcenter, gribsubcenter;  // -1 for netCDF files
  int ntimewritten;
  int ntimes_at_close;
  int ngrid, nvertdim, nvar;
  int writestate;  // lats_write_state
  int fhour;       // forecast hour of the last write (forecast hourly)
  int baseyear;
  short basemonth, baseday;
  double basehour;
  int calendar;
  int packing;     // 2 for monthly files, else 1
  int convention;  // lats_convention_code
  int format;      // lats_format_code
  int lastyear;
  short lastmonth, lastday;
  double lasthour;
  int delta;
  int frequency;  // after the mapping of lats_create
  latsGrid gridlist[LATS_MAX_GRIDS];
  latsVertDim vertlist[LATS_MAX_VERT_DIMS];
  latsVar* varlist;  // newest first
  latsGribFile* grib;
  latsNcFile* nc;
  latsFile* next;
};

// ---- Module state ----

// How the writer reports and checks: set for the process (lats_erropt,
// lats_qcopt; the bridge makes errors not fatal).
struct lats_options {
  int lats_fatal = 1;    // 1: a LATS error ends the process (status 1)
  int lats_verbose = 1;  // 1: messages are printed
  int lats_qc = 1;       // 1: fields are checked against the QC table
};
lats_options& latsOptions();

// The files open for writing, newest first, and the id the next one gets.
struct lats_open_files {
  latsFile* latsFileHead = nullptr;
  int latsNextFileID = 1;
};
lats_open_files& latsOpenFiles();

// ---- Public operations ----

int lats_parmtab(const char* path);
int lats_create(const char* path, int convention, int calendar, int frequency, int delta,
                const char* center, const char* model, const char* comment);
int lats_basetime(int fileid, int year, int month, int day, int hour);
int lats_vert_dim(const char* name, const char* levtype, int nlev, const double* levs);
int lats_grid(const char* name, int gridtype, int nlon, const double* lons, int nlat,
              const double* lats);
int lats_var(int fileid, const char* varname, int datatype, int timestat, int gridid, int levid,
             const char* comment);
int lats_miss_float(int fileid, int varid, float missing, float delta);
int lats_miss_int(int fileid, int varid, int missing);
// data: nlon x nlat values, longitude fastest, float or int as declared.
int lats_write(int fileid, int varid, double lev, int year, int month, int day, int hour,
               void* data);
int lats_close(int fileid);
// bit 0: errors are fatal, bit 1: messages are printed.
int lats_erropt(int flags);
// bit 0: fields are checked against the QC table.
int lats_qcopt(int flags);

// ---- Look-ups shared with the writers and the bridge ----

latsFile* latsFileLookup(int fileid);               // prints when not found
latsVar* latsVarLookup(latsFile* file, int varid);  // prints when not found
