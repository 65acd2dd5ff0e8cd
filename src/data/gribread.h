// Reading GRIB data sets: runs of grid points unpacked from the GRIB
// messages that the data set's index points at, for the grid reader's
// request record.
#pragma once

#include <cstdint>

struct file_descriptor;
struct read_request;

// Forgets the bit map, the record cache and the read-ahead of the last
// request: called at the start of every grid request.
void kagribreset();
// Forgets what was read from the data file: called when another file of a
// templated data set is opened.
void kagribfile();

// Reads byte_count bytes at data position + byte offset into the file
// record's grib_buffer (for pre-projected grids through a whole-record
// cache), the first `need` of which must be in the file. isize, jsize and
// bits size that cache. Returns 0 or 1.
int kaird(const read_request& rq, int64_t data_pos, int64_t byte_offset, int64_t byte_count,
          int64_t need, int64_t isize, int64_t jsize, int bits);

// Bytes the grib_buffer of a data set needs for the longest run read: a row
// of x (or of a message of grid type 29; at least two points when the set is
// pre-projected), at the largest bits per value of its index, with room for
// the unpacking to load whole words past the end. Asks the reader the
// record points at, so the kind must be set first.
int64_t grib_buffer_size(const file_descriptor* pfi);

// Unpacks count bits-wide (1 to 32) unsigned fields from buf starting at bit
// `bit` into out; buf must hold 8 readable bytes from the byte of the last
// field's first bit.
void grib_unpack(const unsigned char* buf, int64_t bit, int bits, int64_t count, uint32_t* out);
