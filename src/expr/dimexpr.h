// Dimension expressions: "z=1", "lev=500", "t+1", "time=12z5jan1990",
// "time-1mo", "lon=-90", "lat+10", and for station requests "r=2.5".
#pragma once

#include "base/scaling.h"

struct eval_state;
struct file_descriptor;

// From 2^24 on a float no longer holds every whole number: it moves grid
// indices and time steps to a neighbour.
inline constexpr long long kFloatWhole = 1LL << 24;

// Parses one expression (lower case, no blanks) into a grid coordinate of the
// data set, relative to the evaluation's environment; in double, which holds
// every time step and grid index. A world value of x, y or z whose float
// names no grid point of its own is refused; one that does is taken as use
// says (a range end names a point only within what floats hold). On success
// *dimension is 0..3 (or 9 for a radius), *value the grid coordinate (or the
// radius) and *world 1 when a world-coordinate name was used; returns the
// position past the value. Returns null after a level-0 message. "r" is
// accepted only when no_radius is 0.
const char* dimprs(const char* text, const eval_state* pst, const file_descriptor* pfi,
                   int* dimension, double* value, int no_radius, int* world,
                   world_use use = world_use::fixed);

// A function's dimension argument: the whole of text is one expression (the
// radius not allowed), followed by nothing but blanks. Null after dimprs's
// message, or with no message when more follows the value: a typing slip
// after it would otherwise give another range unseen. The function then
// prints its own message.
const char* dimarg(const char* text, const eval_state* pst, const file_descriptor* pfi,
                   int* dimension, double* value, int* world, world_use use = world_use::fixed);

// The index bounds of a dimension argument's grid coordinate g, ceil(g - tol)
// and floor(g + tol): in float, as they have always been worked out, while a
// float holds every whole number, and in double from 2^24 on.
double arg_ceil(double g, float tol);
double arg_floor(double g, float tol);
