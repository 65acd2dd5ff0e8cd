// Winds of pre-projected data sets: the two horizontal components stored
// relative to the native grid are turned into earth-relative components
// when a variable operand reads one of them.
#pragma once

#include "data/result.h"

struct file_descriptor;
struct variable_descriptor;

// Whether a read of this variable needs its partner component and the
// native grid's rotation: a pre-projected data set whose grid turns winds,
// and a variable whose first units code is 33 (u) or 34 (v).
bool kawrneed(const file_descriptor* file, const variable_descriptor* var);

// A copy of a request not yet read, for the partner component.
grid_ptr kawrcopy(const grid_field* request);

// After grid (the request) was read: reads the partner into copy and turns
// the requested component to earth-relative. Returns 0, or 1 after the
// messages.
int kawrturn(grid_field* grid, grid_ptr copy, const char* display_name);
