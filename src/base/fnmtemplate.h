// Data file names written in descriptor files: the "^" and "$NAME" prefixes
// and templates with time codes (%y4, %m2, %d2, %h2, %f3, ...).
#pragma once

#include <cstddef>
#include <string>

#include "base/timecal.h"

// Expands a name that begins with "^" (the directory of the descriptor file)
// or "$NAME" (the value of the environment variable NAME). The name and the
// descriptor name end at NUL, a blank or a newline. Returns 0 with the name
// in out; 1 when the variable is not set: out is left as it was and, when
// given, *missing receives the variable's name, so the caller can refuse the
// open with a message naming it.
int fnmexp(std::string& out, const char* name, const char* descriptor,
           std::string* missing = nullptr);

// The template with every time code replaced for the valid time (codes
// beginning "%i" take the initial time; "%f2"/"%f3" are the hours from the
// axis start to the valid time). Other "%" characters stay as they are.
std::string kafndt(const char* tmpl, const date_time* valid, const date_time* initial,
                   const time_scaling* scaling);
std::string kafndt(const char* tmpl, const date_time* valid, const date_time* initial,
                   const float* scaling);
// The same, with the first `literal` characters of the template (a
// directory that is no part of the template) kept as they are.
std::string kafndt(const char* tmpl, const date_time* valid, const date_time* initial,
                   const float* scaling, size_t literal);
