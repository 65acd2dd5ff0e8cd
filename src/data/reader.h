// Reading a data set: the record of one read in progress, handed down to
// every reader below the grid and station requests, and one table of entry
// points per kind of data set. Every file record points at the reader of
// its kind, set where the kind is decided (the descriptor parser, the
// netCDF openers, define); the grid reader reaches the data only through it.
#pragma once

#include <cstdint>
#include <string>

#include "base/scaling.h"

struct grid_field;
struct variable_descriptor;
struct file_descriptor;
struct station_set;

// Outcome of a grid request. Any positive value is a failure that has been
// reported; the self-describing reader passes its own positive codes on.
enum grid_read : int {
  grid_read_ok = 0,         // the grid was filled
  grid_read_outside = -1,   // wholly outside the data set: every value undefined
  grid_read_failed = 1,     // input/output or memory error
  grid_read_no_memory = 2,  // a defined object's grid could not be allocated
  grid_read_bad_dims = 16,  // the varying dimensions form no valid pair
};

// One grid or station request being served. The grid is null for station
// reads; the rest lives as long as the request.
struct read_request {
  grid_field* grid = nullptr;
  variable_descriptor* var = nullptr;
  file_descriptor* file = nullptr;
  // The time of the last "open error" warning of a templated data set.
  int timerr = 0;
  // First time of a template file that could not be opened during this
  // request (0 none): every row of that file would try again otherwise.
  int failed_template = 0;
  std::string failed_template_name;
};

// The entry points of one kind of data set; a null entry is one the kind
// does not have. Read entries return 0, or a positive status after their
// messages.
struct reader {
  const char* name;
  // At the start of every grid request on a data set of this kind: forgets
  // what was kept for the last request.
  void (*start)(read_request& rq);
  // Serves the whole request itself, before the checks every other kind
  // shares (defined objects held in memory).
  grid_read (*whole)(read_request& rq);
  // Fills the values of a checked request (valid varying dimensions, values
  // allocated, fixed dimensions inside the data set); without it the grid
  // reader walks the request by rows or points through `row`.
  int (*block)(read_request& rq, float* values);
  // n values along x from grid point (x, y, z, t); tfile is t within the
  // open file of a templated data set.
  int (*row)(read_request& rq, int x, int y, int z, int t, int tfile, int n, float* values);
  // n values from offset `native` of the native grid at level z and time t:
  // the reads of a reader that wraps this one.
  int (*native)(read_request& rq, int x, int y, int z, int t, int tfile, int64_t native, int n,
                float* values);
  // A templated data set opened the file of another time.
  void (*switched)(read_request& rq);
  // Fills a station request from the data set.
  int (*stations)(read_request& rq, station_set* set);
  // Closes what the reader opened for the data set beyond its data streams.
  void (*close)(file_descriptor* file);
  // Releases what the reader hangs off the record, as the record is freed.
  void (*release)(file_descriptor* file);
  bool spans;           // rows of the binary layout: the walk may read spans of rows
  bool interpolates;    // values interpolated from a native grid (the notice once a command)
  const reader* inner;  // the reader of the native grid, for a reader that wraps another
  bool in_memory;       // grids held in memory: a dimension of size 1 takes any value
  // Whether the winds of the data set must be turned from its native grid
  // to the earth's directions; null for kinds whose winds never turn.
  bool (*rotates_winds)(const file_descriptor* file);
};

// Kinds of data set, each with its reader.
enum class data_kind : int {
  binary,               // binary grids through a descriptor's layout
  grib,                 // GRIB records through an index
  preprojected_binary,  // interpolated from a native grid of binary records
  preprojected_grib,    // interpolated from a native grid of GRIB records
  station,              // station reports through a station map
  defined,              // a defined variable held in memory
  netcdf,               // a self-describing netCDF file
};

// The reader of a kind. The netCDF kind refuses every read with a message
// until the self-describing-file layer registers its reader at start-up.
const reader* find_reader(data_kind kind);
// Installs the reader of a kind (null puts the built-in one back).
void register_reader(data_kind kind, const reader* r);
// The reader a data set's record points at (a record made by hand without
// one reads as binary).
const reader* reader_of(const file_descriptor* file);
// Whether the data set holds station reports rather than grids: its reader
// serves station requests, and its positions stay in world coordinates.
bool holds_stations(const file_descriptor* file);
// The grid coordinate of world value w of x, y or z (d 0 to 2) of the data
// set taken as use says, by grid_coordinate (base/scaling.h); station
// positions and axes with no conversion stay world values.
double world_grid(const file_descriptor* file, int d, float w, world_use use);
// Whether the grids of the data set are held in memory (a defined variable).
bool held_in_memory(const file_descriptor* file);
// Whether the values of the data set are interpolated from a native grid
// of its own size (native_isize by native_jsize).
bool preprojected(const file_descriptor* file);
// Whether the winds of the data set are turned after they are read.
bool rotates_winds(const file_descriptor* file);
