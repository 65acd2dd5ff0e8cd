// Grid reading: the one entry through which every grid of an open data set
// is read, the file-position arithmetic of binary grid files, the stored data
// forms, byte swapping, the undefined tolerance band, wrap-around in x and
// the per-time files of templated data sets.
#pragma once

#include <cstdint>

#include "data/reader.h"

struct grid_field;
struct variable_descriptor;
struct file_descriptor;

// Fills the request through the reader of its data set; predefined
// dimension variables are computed here.
grid_read kaggrd(grid_field* grid);

// Re-arms the once-per-command interpolation notice.
void kaiomg();

// The readers below kaggrd work on the request record rq it made (its grid,
// variable and data set).
// One row along x at the y, z, t of idx (x, y, z, t) over the request's x
// range; outside when the whole row lies outside the file in x.
grid_read kagrow(read_request& rq, float* values, const int* idx);
// n consecutive values along x from grid point (x, y, z, t): 0 or 1.
int karrow(read_request& rq, int x, int y, int z, int t, int n, float* values);
// Element offsets of a grid point for x-y and y-x storage order.
int64_t kafcor(const read_request& rq, int x, int y, int z, int t);
int64_t kafcyx(const read_request& rq, int x, int y, int z, int t);
// n consecutive elements at an element offset, converted, swapped and with
// the tolerance band applied: 0 or 1.
int karead(read_request& rq, int64_t offset, int n, float* values);
// n values of a y-x ordered variable, one element per x step: 0 or 1.
int kardyx(read_request& rq, int64_t offset, int n, float* values);
// Templated data set: makes sure the file holding time t is open. Returns the
// time index within that file, -99999 on a hard failure, -88888 when the file
// cannot be opened; *opened is 1 when a new file was opened.
int kaopfn(read_request& rq, int t, int* opened);

// Readers of other kinds of data set (defined objects, predefined dimension
// variables, pre-projected and GRIB data).
grid_read kagdef(read_request& rq);
grid_read kagpre(read_request& rq);
int kaprow(read_request& rq, int x, int y, int z, int t, int tfile, int n, float* values);
int kairow(read_request& rq, int x, int y, int z, int t, int native_offset, int n, float* values);

// Fills a station request through the reader of its data set: 0, or 1 after
// the messages (the caller releases the set).
struct station_set;
int kagstn(station_set* set);
