// Plot layer of 2-D grids: scaling and map set-up, contour, shaded, grid
// fill and fgrid plots, axes, labels, frame, time axis and time label.
#pragma once

#include "base/gxout.h"
#include "base/scaling.h"
#include "base/timecal.h"

#include <vector>

struct session_state;
struct grid_field;

// ---- scaling and map set-up ----

// Sets the whole coordinate chain for a 2-D grid; with_map draws the map
// outlines at once (contour plots).
void kas2d(session_state* pcm, grid_field* grid, bool with_map);
// Map projection set-up of a longitude-latitude plot.
void kamscl(session_state* pcm);
// The plot area: the one "set parea" chose, or the page less these margins
// (inches from the left, right, bottom and top edges).
void kaparea(session_state* pcm, float left, float right, float bottom, float top);
// Map outlines: first_only before the first plot of a frame only, with the
// display's map colour; otherwise always.
void kawmap(session_state* pcm, bool first_only);
// A transposed copy of grid, added to the display results; null after an
// error message.
grid_field* kaflip(grid_field* grid, session_state* pcm);
// The plot's copy of the grid: transposed when the axes call for it.
grid_field* kaplgrid(session_state* pcm, grid_field* grid);
// Grid to world of the plotted grid (installed by kas2d).
void kaconv(float i, float j, float* x, float* y);
// Installs the conversions kaconv applies to i and j (null: the grid
// coordinate plus its offset), as the 1-D plots need them.
void kasconv(conversion_fn ifn, const float* ivals, float ioff, conversion_fn jfn,
             const float* jvals, float joff);
// The base a time axis from grid coordinate lo to hi is drawn from (see
// last_plot_scaling_record::time_base).
double katbase(double lo, double hi);
// The base of a time axis along scaling vals over the environment's times
// (0 without a scaling).
double time_axis_base(const session_state* pcm, const float* vals);
// Expansion factors of a refined grid, read by kaconv.
void kasdiv(float idiv, float jdiv);
// Log transforms of a level axis and their inverses.
void kalnx(float x, float y, float* xo, float* yo);
void kalny(float x, float y, float* xo, float* yo);
void kaalnx(float x, float y, float* xo, float* yo);
void kaalny(float x, float y, float* xo, float* yo);

// ---- contour, shaded, grid fill and fgrid ----

// What kacntr draws.
enum class contour_mode { lines, shaded, fill };
// Contour lines, shaded contours or grid cells filled; code is recorded as
// the last plot.
void kacntr(session_state* pcm, contour_mode mode, plot_code code);
// Fills the session's shade table for values min..max.
void kaselc(float min, float max, session_state* pcm);
// Shade colour of one value.
int kashdc(const session_state* pcm, float v);
void kafgrd(session_state* pcm, plot_code code);
void kagfil(const float* values, int isiz, int jsiz, const float* levels, const int* colours, int n,
            float undef);
// Grid refinement into out (((isiz-1)*idiv+1) by ((jsiz-1)*jdiv+1)).
void kagexp(float undef, const float* values, int isiz, int jsiz, float* out, int idiv, int jdiv);
void kaglin(float undef, const float* values, int isiz, int jsiz, float* out, int idiv, int jdiv);

// ---- axes, labels, frame ----

// What an axis measures: a grid dimension (the numbers are the dimension
// indices), the plotted values, or fixed steps ("set xaxis", "set xlabs").
enum class axis_code : int { lon = 0, lat = 1, lev = 2, time = 3, value = 4, fixed = 5 };
// The axis code of grid dimension dim (0 x .. 3 t).
constexpr axis_code dimension_axis(int dim) { return static_cast<axis_code>(dim); }
void kaaxpl(session_state* pcm, axis_code icode, axis_code jcode);
enum class plot_axis : int { y = 0, x = 1 };
void kaaxis(plot_axis axis, session_state* pcm, axis_code code);
// Significant digits of an axis's number labels: the six of "%g" where the
// labels of different values print apart so, else as many more as make
// them differ, up to the nine that tell floats apart.
int label_digits(const std::vector<float>& values);
// The value axis (low end, high end, interval) of data all of one value:
// five units either side while the labels of each unit print apart, else
// five tenths of the value's decade either side.
void constant_axis(float value, float* axis);
void kafram(session_state* pcm);
int kalnch(float lon, char* text);
int kaltch(float lat, char* text);
// The tail every graphic plot ends with: clip to the page, logo and time
// label on the first plot of a frame, axes, the frame when asked, and the
// plot code. Plots whose scaling already drew the frame skip it here.
enum class tail_frame { skip, draw };
void kaptail(session_state* pcm, plot_code code, tail_frame frame, axis_code icode,
             axis_code jcode);

// ---- time axis, map axes, time label ----

// First label time and step of a time axis; the unit of the step (1 years
// .. 5 minutes).
int katinc(const session_state* pcm, date_time* first, date_time* step);
void kampax(session_state* pcm);
// Read the clock (or break up the time t) into the time record; return the
// day of the year, or -1 after a message on standard error when the clock
// or the local-time conversion fails.
int sys_time();
int get_tm_struct(long long t);
// The time record: year, month, day, hour, minute, second, day of year.
const int* katmobj();
void katmlb(session_state* pcm);
