// Grid to station interpolation: gr2stn over a longitude-latitude
// environment (the map form, values at the stations of a set) or with x and
// y fixed (the series form, one report per level or time at one place).
#pragma once

struct function_args;
struct eval_state;

int ffg2s(function_args* args, eval_state* pst);
int ffg2s2(function_args* args, eval_state* pst);

struct grid_field;
struct station_set;

// Replaces the value of every report of s by the bilinear interpolation of
// g (varying in x along i and y along j, linear, at least 2 x 2) at its
// place; undefined outside the grid (its last row and column included) and
// next to undefined grid points.
void gr2stn_values(const grid_field* g, station_set* s);
