// The metadata of one open netCDF file held in memory: dimensions, global
// attributes, variables with their attributes, and the small conversions,
// packing, time and comparison helpers the self-describing data sets need.
#pragma once

#include <netcdf.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "data/netcdf_lib.h"

struct file_descriptor;

// At most this many dimensions of a file are kept, and a variable with more
// dimensions than this is left out of the record.
inline constexpr int kMaxSdfDims = 100;

// Axis slots of var_info::axis_pos and axis_dim.
enum sdf_axis { kAxisT = 0, kAxisZ = 1, kAxisY = 2, kAxisX = 3 };

// The library's error option off for the life of the guard: no message, no
// exit; a failing call returns -1.
class quiet_nc {
 public:
  quiet_nc() : saved_(netcdf_options()) { netcdf_options() = 0; }
  ~quiet_nc() { netcdf_options() = saved_; }
  quiet_nc(const quiet_nc&) = delete;
  quiet_nc& operator=(const quiet_nc&) = delete;

 private:
  int saved_;
};

struct netcdf_att {
  std::string name;
  nc_type type = NC_NAT;
  int len = 0;
  // len values of the type; a char attribute holds a terminator after them.
  // Empty for types this reader does not hold (strings, unsigned, 64-bit).
  std::vector<unsigned char> values;

  // The text of a char attribute ("" otherwise).
  const char* text() const;
  // Value i converted from the attribute's own type; false when there is
  // no such number.
  bool number(int i, double* out) const;
};

struct var_info {
  int id = -1;
  std::string name;     // up to NC_MAX_NAME characters
  std::string display;  // name in the data set, set by the descriptor builder
  nc_type type = NC_NAT;
  int ndims = 0;
  std::vector<int> dimids;
  int axis_pos[4] = {-1, -1, -1, -1};  // t, z, y, x: index among dimids
  int axis_dim[4] = {-1, -1, -1, -1};  // t, z, y, x: netCDF dimension id
  std::vector<netcdf_att> atts;
  std::vector<unsigned char> data;  // the values last read, in the type
  unsigned char missing[8] = {};    // one value of the type
  // The rows of one level lie together in the file and are read straight
  // from it: a slab of several rows is best asked for as whole rows, one
  // run of the file per level and time.
  bool whole_rows = false;
};

// The id of no open file. The library's ids are any other int, negative ones
// too: they grow with every file a session opens.
inline constexpr int kNoNetcdf = -1;

struct io_std {
  int time_flag = 0;  // 1: the time variable has units of the units library
  int ncid = kNoNetcdf;
  int ndims = 0, nvars = 0, ngatts = 0;
  std::vector<std::string> dim_names;  // ndims entries
  std::vector<long> dim_sizes;
  int recdim = -1;
  std::vector<netcdf_att> gatts;
  std::vector<var_info> vars;  // in variable-id order
  int fill_switch = 0;         // 1: every variable's missing value is the record's undef
  // The file its path named as it was opened, so that a second handle on the
  // path can be known to reach the same file.
  bool file_known = false;
  unsigned long long file_dev = 0, file_ino = 0;

  // Size of dimension id, -1 for an id the record does not hold.
  long dim_size(int id) const;
};

// Record life. init_io_std and copy_io_std replace what *io holds; 1 done,
// 0 after "Could not allocate memory for netCDF structure.\n".
int init_io_std(io_std** io);
// Opens the file read-only and reads its metadata; 1, or 0 with the file
// closed.
int read_io_std(const char* path, io_std* io);
// The same for a file already open (the caller closes it on failure).
int read_io_std_open(int ncid, io_std* io);
int copy_io_std(io_std** dst, const io_std* src);
void free_io_std(io_std** io);
void free_io_std(void** io);
// Closes a netCDF file: 1 done, 0 failed (also for a negative id).
int close_netcdf(int ncid);

// Lookups by exact name.
int find_dim(const io_std* io, const char* name);
int find_dimix(const std::vector<int>& ids, int count, int id);
var_info* find_var(io_std* io, const char* name);
const netcdf_att* find_att(const std::vector<netcdf_att>& atts, const char* name);

// Reads a hyperslab (one start and count per dimension of the variable)
// into var->data; 1 or 0.
int read_variable_data(int ncid, var_info* var, const long* start, const long* count);
// Reads the whole of a one-dimensional variable; 1 or 0.
int read_one_dimension(const io_std* io, var_info* var, int dim);

// The handle through which a one-dimensional variable is read a slice at a
// time. The file's own handle is unbuffered, so that a point of each time is
// read as the few bytes it is; a variable along the record dimension of a
// classic file whose records hold other variables too would then be read
// one value a read. When the records are short it is read through a second,
// buffered handle on the same file (none when the path now names another),
// closed with this record.
class slice_handle {
 public:
  slice_handle(const io_std* io, const var_info& v);
  ~slice_handle();
  slice_handle(const slice_handle&) = delete;
  slice_handle& operator=(const slice_handle&) = delete;
  int ncid() const { return own_ != kNoNetcdf ? own_ : shared_; }

 private:
  int shared_;
  int own_ = kNoNetcdf;
};

// Element index of data (of type from) into *out as type to: 1 for the
// handled pairs (short, int, float, double each way, and from the netCDF-4
// integer types), else 0.
int convtype(const void* data, nc_type from, void* out, nc_type to, long from_index, long to_index);
// Element index of typed data as a double; false for types not held.
bool value_as_double(const void* data, nc_type type, long index, double* out);
// Size in bytes of one value, 0 for types this reader does not hold.
int nc_type_size(nc_type type);
// The integer types netCDF-4 added: unsigned ones and 64-bit ones. Read as
// numbers where they are coordinates; data of them are refused as int data.
bool is_nc4_integer(nc_type type);

// Packing: 1 when the scale/offset pair is not trivial. The outputs are the
// scale, the offset, the attributes' type and the variable's type.
int are_data_packed(const var_info* var, double* scale, double* offset, nc_type* att_type,
                    nc_type* var_type);

// Comparisons.
int flt_equal(float a, float b);    // 1 equal within a relative tolerance
int dbl_equal(double a, double b);  // 0 equal (within 1e-7), 1 different
int fequal(float a, float b, float tolerance);
int dequal(double a, double b, double tolerance);

// Time decoding.
int decode_standard_time(double value, int* year, int* month, int* day, int* hour, int* minute,
                         double* second);
int decode_delta_t(const char* text, int* year, int* month, int* day, int* hour, int* minute,
                   int* second);

// Evenly spaced coordinate values become a linear scaling of dimension dim
// (0 x, 1 y) of the record: 1; 0 not evenly spaced; -1 after a message.
int trydeflin(file_descriptor* pfi, var_info* var, int dim, int wrap, int reverse);

// Value index of typed coordinate data as a double, when it is a number a
// float holds (the grid's coordinates are floats); else false.
bool coordinate_value(const void* data, nc_type type, long index, double* out);

// Whether coordinate values, handed one at a time in axis order, lie on one
// line: start the first value, step (last - first) / (n - 1), every value
// within its float rounding of start + i * step. Values whose neighbouring
// steps agree within a thousandth (the test an axis always had to pass) may
// lie up to half a step off, so that each still names its own grid point.
// The step is positive. With wrap, longitudes that step back across the
// date line count on past 360. A coordinate too long to hold is judged as
// it is read: the first value that rules a line out is the last looked at.
class linear_probe {
 public:
  explicit linear_probe(bool wrap) : wrap_(wrap) {}
  // False from the first value that rules out every line on.
  bool add(double v);
  bool even() const;
  double start() const { return start_; }
  double increment() const { return count_ > 1 ? (prev_ - start_) / double(count_ - 1) : 1.0; }
  double last() const { return prev_; }
  long count() const { return count_; }

 private:
  // The steps s with |value i - (start + i * s)| <= slack * s + margin for
  // every value so far.
  struct step_range {
    double lo = 0, hi = std::numeric_limits<double>::infinity();
    void narrow(double off, long i, double slack, double margin) {
      lo = std::fmax(lo, (off - margin) / (double(i) + slack));
      hi = std::fmin(hi, (off + margin) / (double(i) - slack));
    }
    bool holds(double s) const { return s > 0 && lo <= s && s <= hi; }
    bool open() const { return lo <= hi && hi > 0; }
  };
  bool possible() const { return rounded_.open() || (neighbours_even_ && half_step_.open()); }

  bool wrap_;
  long count_ = 0;
  double start_ = 0, prev_ = 0, shift_ = 0;
  step_range rounded_, half_step_;
  // The neighbouring steps, as floats, each equal to the next within a
  // thousandth of it.
  bool neighbours_even_ = true;
  float prev_float_ = 0, step_float_ = 0;
};

// The linear scaling of dimension dim from evenly spaced values, and with
// wrap the x-wrap flag (set when one more step closes the circle): 1, or -1
// after a message.
int deflin_probe(file_descriptor* pfi, int dim, int wrap, const linear_probe& p);
