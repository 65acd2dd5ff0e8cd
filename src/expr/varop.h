// Variable operands of the expression language: name[.N][(dimexpr,...)].
#pragma once

struct eval_state;
struct file_descriptor;
struct variable_descriptor;

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
