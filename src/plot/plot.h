// Plot composition: the entries the command language calls, the plot
// dispatcher and the non-graphic outputs.
#pragma once

#include "base/gxout.h"
#include "data/result.h"

struct session_state;

// Starts the graphics package for the session's page and batch flag and sets
// the plot layer's fields of the session to their start values.
void kagx(session_state* pcm);

// Hands the session's display results (at least one) to the one plot or
// output routine that the output type and the first result's shape choose.
// True when a plot was recorded for the frame (kagsav): one that failed, or
// an output that draws nothing, is no plot of the frame.
bool kaplot(session_state* pcm);

// Whether the last kaplot did nothing of what was asked: its output was
// refused or could not be written (the routine has said why). The display
// then fails.
bool kaplot_refused();
// Marks the running display's output as refused.
void kaplot_refuse();

// The LATS bridge that the output types latsgrid (the grid) and latsdata
// (the field) hand the first result to; the command layer installs it at
// start-up.
enum class lats_output : int { grid, data };
using lats_bridge_fn = int (*)(session_state* pcm, lats_output what);
void kaplot_lats(lats_bridge_fn bridge);

// Records code as the last plot code.
void kagsav(plot_code code, session_state* pcm);

// Adds a grid the plot layer made (a transposed copy) to the display results,
// so that the display releases it with them. 1 after an error message, the
// grid released, when every result slot is in use.
int kaaddres(session_state* pcm, grid_ptr grid);

// Non-graphic outputs of the first display result.
void kadprnt(session_state* pcm);                 // values
void kastts(session_state* pcm);                  // shape, scaling and statistics
void kafwrt(session_state* pcm, plot_code code);  // raw floats to the fwrite file
void kaoutgds(session_state* pcm);                // station results to the writegds file

// Contour level choice: a round interval (kept when *interval is not 0) and
// the first and last level of that interval inside min..max; all three 0
// when the range is empty or too narrow for the values.
void kacsel(float min, float max, float* interval, float* first, float* last);
