// The data descriptor parser: reads a descriptor file into a file record.
#pragma once

#include <cstdio>
#include <string>

struct file_descriptor;

// Parses the descriptor `name` (or `name` with ".ctl" appended) into pfi, a
// record fresh from getpfi. With mflag set the station map or GRIB index is
// read too. Returns 0, or 1 after the messages; on failure the caller
// releases the record with frepfi.
int kaddes(const char* name, file_descriptor* pfi, int mflag);

// Opens the data file of pfi for reading into its data stream: 0, or 1
// after the messages.
int kaopdat(file_descriptor* pfi);

// Linear scaling of dimension dim (0..3) from the text at the word "linear":
// start and increment (with single set only the start; increment 1).
// Returns 0, 1 after an error message, -1 when memory ran out.
int deflin(const char* ch, file_descriptor* pfi, int dim, int single);

// Scaling of dimension dim given by its values, from the text at the word
// "levels"; values may continue on following lines of the descriptor being
// parsed. Returns 0, 1 after an error message, -1 when memory ran out.
int deflev(const char* ch, file_descriptor* pfi, int dim);

// Longitudes and latitudes given by their values (dim 0 and 1) are listed
// rising: a falling list would open and then fail every map and area mean.
// False after the message, which begins with the opener's words and names
// the descriptor line holding `value`, the first below the one `before` it.
bool levels_rise(const char* opener, int dim, float before, float value, long line);

// Installs the grid-world scaling of spatial dimension dim (0..2), freeing
// the one it replaces: a level list (from level_scaling_new, filled in grid
// order) or a linear axis whose grid coordinate 1 is at start. For time
// (dim 3) only the linear scaling is stored; time has conversions of its own.
void set_level_scaling(file_descriptor* pfi, int dim, float* levels);
void set_linear_scaling(file_descriptor* pfi, int dim, float start, float incr);

// Pre-projection set-up of a PDEF data set once its descriptor is read: 0, or
// 1 after the messages.
int kappcn(file_descriptor* pfi, int access, int format);

// The interpolation file of a PDEF record while the descriptor is being
// parsed (null when there is none); read by the pre-projection set-up.
FILE* kapdfs();

// The word of a PDEF type and the count of its parameters ("?" and 0 for
// no type).
const char* pdef_word(int type, int* params);

// Rebuilds the descriptor text of an open data set as "q ctlinfo" shows it,
// line by line, through kaprnt at level 2.
void kactlinfo(const file_descriptor* pfi);
