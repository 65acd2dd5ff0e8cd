// The output types: one row per "set gxout" word and session field it sets,
// with the plot it draws and the routine that draws it. "set gxout" applies
// the rows of its word, the dispatcher calls the row of the session's code
// in the field the results' shape chooses, and "q gxinfo" names the plot
// code the row's routine recorded.
#pragma once

#include <span>

#include "base/gxout.h"

struct session_state;

// The session field a row sets; station profiles have no field of their own.
enum class output_field : int {
  general,       // gxout_general: the display as a whole
  line,          // gxout_1d: one result varying in one dimension
  line_vector,   // gxout_1d_vector: read by the line graph of three results
  field,         // gxout_2d: one result varying in two dimensions
  field_vector,  // gxout_2d_vector: two or more of them
  station,       // gxout_station: station data on a map
  series,        // gxout_sub: station time series
  profile,       // station profiles (no word)
};

// Draws the display results; code is the plot code to record when done.
using plot_handler = void (*)(session_state* pcm, plot_code code);

struct plot_type {
  const char* word;        // "set gxout" word, or null (chosen by shape only)
  output_field field;      // the field it sets
  int code;                // the value it puts there (an enumerator of base/gxout.h)
  plot_code plot;          // what its routine records as the last plot
  const char* name;        // "q gxinfo" name of that plot
  plot_handler handler;    // null when another plot reads the field
  bool any_shape = false;  // writes the first grid whatever its shape
};

// Every row, in the order "set gxout" looks words up.
std::span<const plot_type> plot_types();

// The row with code in field, or null.
const plot_type* plot_type_of(output_field field, int code);

// Sets the fields the rows of word give (and the general output, plot for
// every word but stat, print and writegds); false for a word no row has.
bool set_plot_type(session_state* pcm, const char* word);

// "q gxinfo" name of a plot code ("Clear" before any plot; empty when none).
const char* plot_code_name(plot_code code);
