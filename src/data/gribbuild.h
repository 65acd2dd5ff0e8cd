// The GRIB index builder: scans the GRIB edition 0 and 1 messages of a GRIB
// data set, matches each to a time, variable and level of its descriptor and
// writes the index file named by the descriptor's INDEX record. Everything it
// prints goes to standard output, not through the message routine.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "base/timecal.h"

struct file_descriptor;
struct grib_index;

// What gribhdr learns of one message (section octets of edition 1).
struct grib_record_header {
  int edition;
  int64_t total_length;                                    // edition 1
  int64_t pds_length, gds_length, bms_length, bds_length;  // 0: absent
  int grid_id;                                             // PDS octet 7
  int gds_flag, bms_flag;
  int parameter;       // octet 9
  int level_type;      // octet 10
  int level;           // octets 11-12 as one number
  int level1, level2;  // the same two octets apart
  date_time valid;
  date_time base;
  int time_unit;  // octet 18
  int p1, p2;
  int time_range;   // octet 21
  int forecast;     // in time_unit; -999 unknown or ignored
  int forecast_ok;  // 0: the forecast time has no convertible unit
  int century;      // -999: the section holds none
  float decimal_factor;
  int data_rep, ni, nj, scan_mode;  // from the grid description
  unsigned char gds[44];            // its first octets (zero past its length)
  int bms_table;                    // predefined bit map when not 0
  int64_t bms_pos;                  // first bit-map octet
  int bds_flags;                    // the first two flag bits of octet 4
  float binary_factor;
  float reference;
  int bits;                       // bits per value
  int64_t data_pos;               // first packed octet
  int64_t msg_start, msg_length;  // where the message lies ("GRIB" to "7777")
};

// Status of gribrec. Below 100 a message is skipped silently; from 100 on
// the code becomes the builder's pending result.
enum grib_rec_status {
  grib_rec_entered = 0,
  grib_rec_no_match = 1,
  grib_rec_packing = 10,         // spherical harmonic or complex packing
  grib_rec_predefined_map = 11,  // bit map from a table, not in the message
  grib_rec_bits = 12,            // wider than 32 bits per value
  grib_rec_scaling = 13,         // factors beyond the float range
  grib_rec_short_data = 14,      // bit map or data shorter than the grid
  grib_rec_no_grid = 20,
  grib_rec_other_grid = 21,  // another grid number or point count: passed over
  grib_rec_time_range = 36,
  grib_rec_time_unit = 37,  // forecast time in a unit with no fixed length
  grib_rec_time_between = 38,
  grib_rec_native_size = 300,
  grib_rec_grid_size = 301,
  grib_rec_grid_place = 302,  // its grid description places it elsewhere
  grib_rec_grid_29 = 400,
  grib_rec_grid_type = 401,
  grib_rec_beyond_index = 500,  // data beyond the 31-bit positions of the index
};

// Results of gribmap beyond its own codes: a failure that printed its own
// message (no index was written).
inline constexpr int gribmap_failed = -1;

// Builds the index of the descriptor `name` (map switch off). notau != 0
// makes the builder ignore forecast times for this build. The session's
// calendar is left as it was. Prints the verdict and returns gribmap's result.
int latsgribmap(const char* name, int notau);

// The same build for a writer whose files are not yet under their names:
// scans `data` in place of the GRIB file the descriptor names (whose name is
// still the one printed) and writes the index into `index`, a file the
// writer made (its owner and mode are kept; it is left empty when the index
// can't be written), through index_fd when the writer holds it open (-1: by
// its name). shown, when given, is the descriptor's own name where `name`
// reads it through the writer's descriptor: data are named from it.
int latsgribmap_staged(const char* name, int notau, const char* data, const char* index,
                       int index_fd = -1, const char* shown = nullptr);

// The scan itself on the descriptor named by latsgribmap: 0 no message
// matched, 1 at least one did, 2 to 99 a format error of a GRIB file (no
// index written), 601 a float the index can't hold, gribmap_failed after
// its own message, 100 and above the last mismatch code.
int gribmap();

// Reads the message that begins at byte `at` of f (of flen bytes) into h as
// the builder reads it, forecast times ignored when notau is set, and sets
// next to the byte after it. Returns 0, or the builder's format code
// (nothing printed).
int gribmsg(std::FILE* f, int64_t at, int64_t flen, bool notau, grib_record_header* h,
            int64_t* next);

// The grid rule: grib_rec_entered when the message's grid is the data set's
// for an index of grid type gtype, with the offset and stride of its slot;
// else the status that refuses it.
int gribgrid(const grib_record_header* h, const file_descriptor* pfi, int gtype, int* offset,
             int* stride);

// Where the message's points lie by its grid description, against the grid
// the reader takes them for (the descriptor's, after yrev): grib_rec_entered,
// or the status that refuses it with why (when given) saying what the
// message holds, what the descriptor reads and how to mend the descriptor.
int gribplace(const grib_record_header* h, const file_descriptor* pfi, int gtype,
              std::string* why = nullptr);

// Where a rotated latitude-longitude message's south pole lies, for the line
// that says it is read in its rotated coordinates; empty for other grids.
std::string gribrotated(const grib_record_header* h);

// The latitude and longitude of the message's first point, as its grid
// description gives them.
std::string gribfirst(const grib_record_header* h);

// The record within a time (the variable's record plus its level - 1) of the
// first variable whose parameter, level type and level the message has; -1
// when none has them.
int64_t gribvarrec(const grib_record_header* h, const file_descriptor* pfi);

// Enters a message into the index when it matches the data set: a
// grib_rec_status. Reads the message's bit map from `gfile` to check it.
// Only a message that some variable, level and time wants is checked
// against the grid; why receives the reason a grid refuses it. A wanted
// message on another grid number, or of another point count, is passed over
// (grib_rec_other_grid); wanted_slot, when given, receives the index slot of a
// wanted message on the data set's grid (-1 for any other).
int gribrec(const grib_record_header* h, const file_descriptor* pfi, grib_index* pindx,
            std::FILE* gfile, std::string* why = nullptr, int64_t* wanted_slot = nullptr);

// Writes the record's entries at slot position irec (stride 3 or 6, offset 0
// or 3 for the two halves of grid type 29).
void gribfill(int64_t irec, int offset, int stride, const grib_record_header* h, grib_index* pindx);
