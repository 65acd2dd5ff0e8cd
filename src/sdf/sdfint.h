// Inside the self-describing-file layer: the options that drive the data set
// builder, the builder itself, the template switch and the small helpers the
// openers share.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "data/filerec.h"
#include "sdf/ncmeta.h"

struct file_descriptor;
struct grid_field;
struct session_state;

// How "sdfopen" and "xdfopen" drive kadsdf. Axis arrays are x, y, z, t.
struct sdf_parms {
  int find[4] = {1, 1, 1, 1};    // find the axis by its units
  int scan_vars = 1;             // every data variable is displayable
  int descriptor = 0;            // 1 for "xdfopen"
  int wanted[4] = {1, 1, 1, 1};  // set the axis up from the file
  int title_from_file = 1;
  int undef_from_file = 1;
  std::string dim_names[4];  // netCDF dimension names from a descriptor
  int has_dim_name[4] = {0, 0, 0, 0};
  int var_count = -1;
  std::vector<std::string> nc_names;
  std::vector<std::string> display_names;
  std::vector<int> new_entry;
  int undef_given = 0;
};

// Defaults of "sdfopen".
void doparms4sdf(sdf_parms* parms);

// Fills pfi from the metadata of the netCDF file named by the first word of
// name. 0 done; 1 after the message (the caller frees the record).
int kadsdf(const char* name, file_descriptor* pfi, const std::string& tmpl, int ntsteps,
           sdf_parms& parms);

// Replaces pfi's per-time table by that of the template series of ntsteps
// times (see fill_template_table; none when the template names no file).
// False after "<prefix>Interrupted ..." when the user stopped it; a failed
// allocation throws alloc_error(no_memory).
bool sdf_template_table(file_descriptor* pfi, const char* tmpl, int ntsteps, const char* prefix,
                        const char* no_memory);

// Template switch for time t (1-based over the series): the time within the
// file now open, -99999 outside the series or no name, -88888 failed.
int kaopsdf(int t, grid_field* grid, var_info** var);

// Puts a newly built data set on the session's file list, says so ("KIND
// NAME is open as file N") and, for the first file, runs the default
// dimension commands.
void sdf_list_file(dataset_ptr owner, const char* kind, session_state* pcm);

// The buffer a variable's last read left stays for its next read: the
// buffers of every other variable of the open netCDF data sets go back when
// another is read (keep, null for none), and all before a grid is refused
// for want of room. True when any went.
bool sdf_give_back_buffers(const var_info* keep);

// The grid reader of self-describing data sets.
int sdf_kagsdf(grid_field* grid, float* values);
// Its entry points, registered with the data layer at start-up.
struct reader;
extern const reader netcdf_reader;

// The time axis of the record from the time coordinate tv (none: one time
// at 1 January of year 1); false after the message.
bool sdf_time_axis(file_descriptor* pfi, io_std* io, var_info* tv);

// The "units" text of a variable, null when it has none.
const char* sdf_units_of(const var_info& v);
// Value i of the values held in v, as a finite double; false otherwise.
bool sdf_coord_value(const var_info* v, long i, double* out);
// True when x is a fill of v: its missing_value or _FillValue, or the
// default fill of its type.
bool sdf_is_fill(const var_info& v, double x);
// The same test with the attributes looked up once, for the many values of
// a coordinate.
class sdf_fills {
 public:
  explicit sdf_fills(const var_info& v);
  bool operator()(double x) const;

 private:
  double fill_[3] = {};
  int count_ = 0;
  bool as_float_ = false;  // float values compare as floats
};

// How a read of a one-dimensional variable a slice at a time ended.
enum class sdf_slices { done, stopped, failed, interrupted };

// Reads the first n values of the one-dimensional variable v a slice at a
// time, from the last slice back when reverse, so that memory stays small
// and the user can stop it between slices, and hands each slice (held in
// v->data) to take(count) until it returns false.
sdf_slices sdf_read_slices(const io_std* io, var_info* v, long n, bool reverse,
                           const std::function<bool(long)>& take);
// Whether the first n values of v are all fills: done when they are,
// stopped at the first that is not.
sdf_slices sdf_scan_fills(const io_std* io, var_info* v, long n);
// The message of a read of the coordinate of axis that the user stopped.
void sdf_read_interrupted(const char* axis);

// Default fill of a netCDF type, as a double.
double sdf_default_fill(nc_type type);
// Stores v as one value of the type in out (8 bytes).
void sdf_store_value(double v, nc_type type, unsigned char* out);

// Names compared without regard to case.
bool sdf_equal_nocase(const char* a, const char* b);
// text in lower case.
std::string sdf_lowered(std::string text);
// Missing value of a variable from its own attributes: missing_value, else
// _FillValue, when of the variable's type; else the type's default fill.
void sdf_own_missing(var_info& v);
// Linear scaling of dimension dim; false when memory ran out.
bool sdf_set_linear(file_descriptor* pfi, int dim, float start, float incr);
// The variable shown under the name abbrev, or null.
var_info* sdf_find_display(io_std* io, const char* abbrev);

// The refusal of stored values of a type the reader does not convert, and
// the way to values it does.
inline constexpr char sdf_refused_packing[] =
    "SDF data variable has unsupported packed data type.\n";
inline constexpr char sdf_convert_way[] =
    "  Values of this type are read once converted to float: cdo -b F32 copy in.nc out.nc\n";
// How the stored values of a variable unpack, and why they can't be read
// (refusal null when they can).
struct sdf_packing {
  bool packed = false;
  double scale = 1, offset = 0;
  nc_type att_type = NC_NAT;
  const char* refusal = nullptr;
};
sdf_packing sdf_packing_of(const var_info* v);
