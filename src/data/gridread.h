// Grid reading: the one entry through which every grid of an open data set
// is read, the file-position arithmetic of binary grid files, the stored data
// forms, byte swapping, the undefined tolerance band, wrap-around in x and
// the per-time files of templated data sets.
#pragma once

#include <cstdint>

struct grid_field;
struct variable_descriptor;
struct file_descriptor;

// The request being served (set at the start of every kaggrd call). The
// readers below kaggrd, the defined and predefined grids and the GRIB and
// pre-projected readers work on it; reading is not reentrant.
extern grid_field* pgr;
extern variable_descriptor* pvr;
extern file_descriptor* pfi;

// Outcome of a grid request. Any positive value is a failure that has been
// reported; the self-describing reader passes its own positive codes on.
enum grid_read : int {
  grid_read_ok = 0,          // the grid was filled
  grid_read_outside = -1,    // wholly outside the data set: every value undefined
  grid_read_failed = 1,      // input/output or memory error
  grid_read_no_memory = 2,   // a defined object's grid could not be allocated
  grid_read_bad_dims = 16,   // the varying dimensions form no valid pair
};

// Fills the request; defined objects, predefined variables and
// self-describing files are handed to their own readers.
grid_read kaggrd(grid_field* grid);

// Starts a request on a data set that is not read through kaggrd (station
// data): the templated-file state of a new request, for kaopfn.
void kaiofile(file_descriptor* file);

// Re-arms the once-per-command interpolation notice.
void kaiomg();

// One row along x at the y, z, t of idx (x, y, z, t) over the request's x
// range; outside when the whole row lies outside the file in x.
grid_read kagrow(float* values, const int* idx);
// n consecutive values along x from grid point (x, y, z, t): 0 or 1.
int karrow(int x, int y, int z, int t, int n, float* values);
// Element offsets of a grid point for x-y and y-x storage order.
int64_t kafcor(int x, int y, int z, int t);
int64_t kafcyx(int x, int y, int z, int t);
// n consecutive elements at an element offset, converted, swapped and with
// the tolerance band applied: 0 or 1.
int karead(int64_t offset, int n, float* values);
// n values of a y-x ordered variable, one element per x step: 0 or 1.
int kardyx(int64_t offset, int n, float* values);
// Templated data set: makes sure the file holding time t is open. Returns the
// time index within that file, -99999 on a hard failure, -88888 when the file
// cannot be opened; *opened is 1 when a new file was opened.
int kaopfn(int t, int* opened);

// Readers of other kinds of data set (defined objects, predefined dimension
// variables, self-describing files, pre-projected and GRIB data).
grid_read kagdef();
grid_read kagpre();
int kagsdf(grid_field* grid, float* values);
int kaprow(int x, int y, int z, int t, int tfile, int n, float* values);
// Forgets the native rows the pre-projected reader kept for the last request.
void kapdreset();
int kairow(int x, int y, int z, int t, int native_offset, int n, float* values);

// Fills a station request from its station data set: 0, or 1 after the
// messages (the caller releases the set).
struct station_set;
int kagstn(station_set* set);
