// The GRIB index of a GRIB data set: where each record's packed data and bit
// map lie in the data file and how to unpack them. Read from the file named
// by the descriptor's INDEX record in either of its two layouts: the portable
// version 2 (big-endian, IBM floats) or the native dump in the writer's order.
#pragma once

#include <cstdint>
#include <cstdio>

struct file_descriptor;
struct variable_descriptor;

// What identifies the data file an index was built from: its size and a
// checksum of its first and last 64 KiB (the first message and the last).
// Recorded after the portable layout, where readers of that layout do not
// look; an index without it (older files, the native layout, templated data
// sets) is read as before, unchecked.
struct grib_data_id {
  int64_t size;
  uint64_t sum;
};

// The grid an index was checked against when it was built, as the
// descriptor gave it: the latitudes of y = 1 and the last row, the
// longitudes of x = 1 and the last column, yrev, and the pdef. Recorded
// after the places of the messages; an index without it (older files, the
// native layout) opens unchecked.
struct grib_grid_id {
  double lat_first, lat_last, lon_first, lon_last;
  int yrev;
  int pdef_type, isize, jsize;
  float pdef_params[16];
};

struct grib_index {
  int version;
  int hinum;   // length of hipnt
  int hfnum;   // length of hfpnt
  int intnum;  // length of intpnt
  int fltnum;  // length of fltpnt
  int* hipnt;  // version, time count, records per time, grid type
  float* hfpnt;
  int* intpnt;    // per slot: data position, bit-map position, bits per value
  float* fltpnt;  // per slot: decimal factor, binary factor, reference value
  bool has_data_id;
  grib_data_id data_id;  // when has_data_id
  // Per slot (three entries of intpnt), where its message lies in the data
  // file: start (-1 none) and length. Recorded after the data file's
  // identity; null for an index without the record (older files, the native
  // layout), whose reads are checked by their data sections alone.
  int msg_count;
  int64_t* msg_start;
  int64_t* msg_length;
  bool base_times;  // forecast times were ignored: messages sit at their base time
  bool has_grid;
  grib_grid_id grid;  // when has_grid
  // The size of the data file open under sized_stream (null: not yet taken),
  // so that the checks of a series of fields ask for it once per opened
  // file; the reader forgets it when it opens another file of the set.
  mutable const FILE* sized_stream;
  mutable int64_t data_size;
};

// Releases the index and its four arrays (all malloc'd).
void frepgi(grib_index* pindx);

// Writes value as a 4-byte big-endian sign-and-magnitude integer at buf + pos
// and advances pos by 4.
void putint(int value, unsigned char* buf, int64_t& pos);

// Reads an index from an open map file. On success returns 0 and hands over a
// new index; on failure returns 1 after a level-0 message naming the fault
// (the caller adds its closing line). A short or inconsistent file is a
// failure, never a partly filled index.
int kargmap(FILE* mfile, grib_index** out);

// Checks an index against the data set it belongs to: the time count, the
// records per time and the array sizes must agree, so that no record lookup
// can go past the arrays. Returns 0, or 1 after a level-0 message.
int kackgmap(const grib_index* pindx, int t_size, int time_records);

// Writes the portable layout (version 2) of pindx to f in one write, with the
// base time taken from the data set's time axis (eight floats), followed by
// the identity of the data file when one is given, the places of the
// messages when the index has them and its grid when it has one. Returns 0;
// 60 when the image can't be allocated (message on the error stream); 601
// when a float has no IBM form (nothing written); -1 when the write failed.
int wtgmap(FILE* f, const grib_index* pindx, const float* time_scaling,
           const grib_data_id* data = nullptr);

// The grid of a data set as its index records it.
grib_grid_id grib_grid_of(const file_descriptor* pfi);

// Checks the grid the data set's index records against its descriptor: 0
// when they agree or the index records none, 1 after a level-0 message
// saying how to build the index again. Under a pdef only yrev and the pdef
// count: the target grid is worked out from the native one at every open.
int kackgdesc(const file_descriptor* pfi);

// The identity of an open data file (read from its start and its end).
// false when it can't be read.
bool grib_data_id_of(FILE* data, grib_data_id* out);

// Checks the data file of a data set against the identity its index
// records: 0 when they agree or the index records none, 1 after a level-0
// message when the data file is not the one the index was built from.
int kackgdat(const grib_index* pindx, FILE* data, const char* data_name);

// Checks the places the index records for the messages of times first to
// last (1-based) against the size of the data file that holds those times
// (named data_name in the message): each recorded place, and the place of
// every slot with an entry, must lie wholly within the file. Returns 0 (also
// for an index that records no places), or 1 after a level-0 message.
int kackgplaces(const grib_index* pindx, int first, int last, int64_t data_size,
                const char* data_name);

// Checks the message of the slot whose entries begin at intpnt[e] of the
// data set's index against them and against what the slot stands for, before
// the field of variable pvr at level z and time t is read from the data set's
// open data file (named data_name in the message): the data section's
// reference value, binary scale and bits per value, and, where the index
// records the message's place, its start and length, the place of its data
// and bit map, its decimal scale, whether its product section's date is time
// t, its parameter, level type and level are those of the variable and level,
// and its grid is the data set's. Returns 0, or 1 after a level-0 message
// naming the file.
int kackgmsg(const file_descriptor* pfi, const variable_descriptor* pvr, int z, int t, int64_t e,
             const char* data_name);
