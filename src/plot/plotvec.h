// Plots of two or three grids: vector arrows and wind barbs, streamlines,
// scatter plots and grid values; the arrow and the barb they share with the
// graphs and station plots.
#pragma once

#include "base/gxout.h"

struct session_state;
struct grid_field;

// What kavect draws.
enum class vector_mode { arrows, barbs };

// Arrows or barbs of the first two results, coloured by a third when given.
// Each plot records code as the last plot.
void kavect(session_state* pcm, vector_mode mode, plot_code code);
void kastrm(session_state* pcm, plot_code code);
void kascat(session_state* pcm, plot_code code);
void kaplvl(session_state* pcm, plot_code code);

// One arrow at page (x, y), angle in radians; a negative head is that
// fraction of the length.
void kaarrw(float x, float y, float angle, float length, float head);

// One wind barb at page (x, y): shaft, barb and calm-circle sizes in
// inches, direction the wind blows towards in radians, speed in the data's
// units, hemisphere 0 north, 1 south.
void kabarb(float x, float y, float shaft, float barb, float radius, float direction, float speed,
            int hemisphere);

// The arrow scale (arrow length stands for the magnitude) from the extremes
// of the defined u and v values, unless one is already set; kept in the
// session for the plots that follow. Returns the magnitude.
float kavscl(session_state* pcm, const grid_field* u, const grid_field* v);

// Page length of an arrow of speed under the session's arrow scale.
float kavlen(const session_state* pcm, float speed);

// The checks and set-up vector and streamline plots share: two grids of one
// shape (refused with a message otherwise), a third as colour grid when it
// matches, transposed copies, the scaling with the map and frame, and the
// shade table of the colour grid. Returns 1 when nothing can be drawn; *c
// is null without a usable colour grid.
int kavset(session_state* pcm, int stream, grid_field** u, grid_field** v, grid_field** c);
