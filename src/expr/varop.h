// Variable operands of the expression language: name[.N][(dimexpr,...)].
#pragma once

struct eval_state;
struct file_descriptor;
struct variable_descriptor;

// What a name in operand position, with its file number, stands for.
enum class operand_kind {
  data,               // a variable of a data set, or a defined variable
  dimension,          // lon, lat or lev of a grid data set
  function,           // none of these: a function call
  bad_number,         // a file number that is no number, or below 1
  no_such_file,       // a file number past the open data sets
  no_file,            // lon, lat or lev with no data set open
  station_dimension,  // lon, lat or lev of a station data set
  no_such_variable,   // no variable of that name in the numbered data set
};

// The longest name an operand is read with.
inline constexpr int kNameMax = 17;

struct operand_name {
  char name[kNameMax + 1];
  bool numbered;      // a file number follows the name
  int fnum;           // that number
  const char* after;  // past the name and its file number
  // The data set or defined variable read (data, dimension; the station
  // data set of station_dimension), and the variable of a data set (data).
  file_descriptor* file;
  variable_descriptor* variable;
};

// Finds what the name that starts at text (its first letter) stands for,
// reading nothing and printing nothing.
operand_kind name_operand(const char* text, const eval_state* pst, operand_name* out);

// Reads the operand that starts at text (its first letter): a defined
// variable, a predefined dimension variable ("lon", "lat", "lev"), a variable
// of a data set, or else a function call. On success the result is in pst and
// the position after the operand is returned; null after the messages.
const char* varprs(const char* text, eval_state* pst);

// The operand on a station data set: text is the position after the name
// (and file number), display the name used in messages. Same contract as
// varprs; the result is a station set.
const char* stnvar(const char* text, const char* display, file_descriptor* pfi,
                   variable_descriptor* pvr, eval_state* pst);

// The defined variable of that name, or null.
file_descriptor* getdfn(const char* name, const eval_state* pst);
