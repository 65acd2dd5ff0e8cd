// The record of one open data set and of its variables.
//
// Every owned array hanging off a file_descriptor is allocated with kamalloc,
// kacalloc or karealloc (base/alloc.h) and released by frepfi with kafree;
// code that attaches an array to the record (the descriptor parser, the
// self-describing-file layer, define) must allocate it the same way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/scaling.h"
#include "base/timecal.h"

struct grib_index;
struct reader;

// Times a data set holds at most: a time axis, or the per-time table of a
// template series, of more would only take memory and time to build.
inline constexpr int kMaxTimes = 100000000;

// A count of times cut to kMaxTimes, with a message beginning with prefix
// when it was cut.
int capped_times(long n, const char* prefix);

// The calendar of a data set being opened (1 the 365-day one) against the
// session's: taken as the session's when none is set yet; when it differs,
// the lines of the refusal are printed and false returned, as the dates of
// the data sets already open would move.
bool keep_session_calendar(int calendar_365);

enum class template_fill { done, interrupted, no_name };

// Fills table[0, n) for a template series (the first `literal` characters
// of tmpl hold no codes): entry t - 1 holds the first time of the file that
// holds time t. Written into the caller's array, as at kMaxTimes a copy
// would double 400 MB. The first Ctrl-C stops it with the message
// "<prefix>Interrupted ..."; a template naming no file gives no_name with
// every entry 1.
template_fill fill_template_table(int* table, int n, const char* tmpl, const float* time_scaling,
                                  size_t literal, const char* prefix);

struct variable_descriptor {
  char description[128];  // case kept
  char abbrev[16];        // lower case, at most 15 characters
  int units[4];           // -999 unset
  int64_t offset;         // word offset in a time block (station: position)
  int record;             // index of its first horizontal grid in a time block
  int levels;             // 0: no vertical dimension
  int data_form;          // 0 float, 1 byte, 2 / -2 two-byte, 3 float, 4 int
  int time_block;         // all times in one block
  int multiplier;         // level step in grids
  int yx_order;           // stored in y-x order
};

// What kind of data set a file record describes.
enum file_kind : int {
  grid_file = 1,     // binary grids (or GRIB records) read through the descriptor's layout
  station_file = 2,  // station reports located through a station map
  defined_file = 4,  // a defined variable: its grid is held in memory
};

struct file_descriptor {
  file_descriptor* next;
  int file_number;
  char data_file_name[4096];
  // Leading characters of data_file_name taken from the descriptor's own
  // directory ("^"): never template codes, whatever "%" they hold.
  size_t data_file_literal;
  char* open_template_name;  // owned
  char descriptor_name[4096];
  char* map_file_name;  // owned
  FILE* data_stream;
  file_kind file_type;
  char title[512];
  float undef;
  float undef_low, undef_high;
  float* data_buffer;          // owned
  unsigned char* grib_buffer;  // owned
  int64_t grib_buffer_bytes;   // its size
  int byte_swap;
  int* station_offsets;   // owned
  int* station_counts;    // owned
  int station_max_words;  // largest report data size (the map's): data_buffer's size
  FILE* second_stream;
  int x_size, y_size, z_size, t_size;
  int toff_flag, toff;
  int variable_count;
  int surface_variable_count, level_variable_count;
  variable_descriptor* variables;  // owned, variable_count entries
  int64_t grid_words;              // words per horizontal grid
  int64_t time_words;              // words per time block
  int time_records;                // horizontal grids per time
  int64_t file_header_bytes;
  int x_wraps;
  // With x_wraps: the last column lies on the first column's meridian (the
  // seam stored twice), so that a turn is x_size - 1 columns.
  int x_seam;
  int sequential, yrev, zrev;
  int pdef_type;
  int pdef_flag;
  int native_isize, native_jsize;
  float pdef_params[16];
  void* pdef_index[8];    // owned
  void* pdef_weights[8];  // owned
  void* pdef_extra;       // owned
  conversion_fn grid_to_world[3];
  conversion_fn world_to_grid[3];
  float* grid_to_world_scaling[4];  // owned (T: the time_scaling)
  float* world_to_grid_scaling[4];  // point into the same allocations
  int linear_flags[4];
  int defined_offsets[4];
  int climatology_flag, climatology_cycle;
  int grib_flag;
  int grib_grid_type;
  ::grib_index* grib_index;  // owned
  int template_flag;
  int* template_file_numbers;  // owned, one per time
  int open_template_time;
  int misswarn;
  int xy_header_words, time_header_words;
  int calendar_365;
  int cray_32bit_ieee;
  void* sdf_io;  // set by the self-describing-file layer only
  void* first_template_io;
  const ::reader* reader;  // the entry points of its kind of data set (data/reader.h)
};

// New preset record.
file_descriptor* getpfi();

// Sets whether x wraps: it does when the columns and one more step make a
// turn (all_close), or when the columns alone make one (seam_closes), their
// last on the first one's meridian.
void set_x_wrap(file_descriptor* pfi, bool all_close, bool seam_closes);
// The same for a linear x axis from the degrees between its first and last
// column and its step, each turn closing within half a step: a fixed
// tolerance would take a fine grid that stores the seam twice for one whose
// columns and one more step make the turn.
void set_x_wrap_linear(file_descriptor* pfi, double first_to_last, double step);

// The world coordinate of grid position g of dimension d, 0 where the data
// set has no conversion for it.
inline double grid_world(const file_descriptor* pfi, int d, int g) {
  if (!pfi->grid_to_world[d] || !pfi->grid_to_world_scaling[d]) return 0;
  return double(pfi->grid_to_world[d](pfi->grid_to_world_scaling[d], float(g)));
}

// The columns of one turn of a wrapping x axis.
inline int x_turn(const file_descriptor* pfi) {
  return pfi->x_seam && pfi->x_size > 1 ? pfi->x_size - 1 : pfi->x_size;
}

// The column of the data set that grid column x reads: x itself from 1 to
// x_size; on a wrapping axis any other x comes round by whole turns; else x,
// outside the data set.
int64_t x_column(const file_descriptor* pfi, int64_t x);

// Columns a to a + n - 1 of a wrapping axis as runs of the data set's
// columns: take(i, c, m) takes columns c to c + m - 1 for positions i to
// i + m - 1 of the request. nx columns, turn of them a turn.
template <class Take>
void x_runs(int64_t nx, int64_t turn, int64_t a, int64_t n, Take take) {
  for (int64_t i = 0; i < n;) {
    const int64_t x = a + i;
    int64_t c = x, end = nx;
    if (x < 1 || x > nx) {
      c = (x - 1) % turn;
      c = (c < 0 ? c + turn : c) + 1;
      end = turn;
    }
    const int64_t m = end - c + 1 < n - i ? end - c + 1 : n - i;
    take(i, c, m);
    i += m;
  }
}

// Releases the record and everything it owns; with keep set the scaling
// arrays are left alone (something else still holds them). Streams are not
// closed here.
void frepfi(file_descriptor* pfi, int keep);

// Appends an opened data set to the session's file list; the first one
// becomes the default file.
struct session_state;
void kaaddfile(session_state* pcm, file_descriptor* pfi);
// Takes the last data set off the list again (null when there is none); the
// caller closes and frees it.
file_descriptor* kaunlinklast(session_state* pcm);

// Closes a data set's streams (its data file, a second file, what its reader
// keeps open).
void kaclosefile(file_descriptor* pfi);
// Closes a data set and frees its record.
void kadiscard(file_descriptor* pfi);
// The same for the last data set listed.
void kadroplast(session_state* pcm);
// Owner of a data set that is not (yet) on the session's file list.
struct dataset_discarder {
  void operator()(file_descriptor* pfi) const { kadiscard(pfi); }
};
using dataset_ptr = std::unique_ptr<file_descriptor, dataset_discarder>;

// What an open may change in the session before it can still fail: the
// calendar its data set takes, the data sets it lists and the dimension
// environment a first one sets. Put back as it was unless the open is kept,
// so that a failed open, also one that ran out of memory, leaves the session
// for the next one as it found it.
class open_guard {
 public:
  explicit open_guard(session_state* pcm);
  ~open_guard();
  open_guard(const open_guard&) = delete;
  open_guard& operator=(const open_guard&) = delete;
  // Unsets the calendar again when the open found none set: a descriptor's
  // calendar then decides together with the file's own.
  void reopen_calendar() const;
  void keep() { kept_ = true; }

 private:
  session_state* pcm_;
  int calendar_;
  int files_;
  float dim_min_[3], dim_max_[3];
  date_time time_start_, time_end_;
  int dim_varying_[4];
  bool kept_ = false;
};
