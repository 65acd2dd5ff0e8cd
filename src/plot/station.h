// Station plots: weather symbols, values, barbs and vectors, marks, the
// station model, the nearest-station query, time series and profiles.
#pragma once

#include "base/gxout.h"

struct session_state;
struct station_report;

// ---- weather symbols ----

// Symbol n (1-43) at page (x, y), size inches to the symbol unit; colour a
// colour number, or negative to take each part's colour class from colours
// (five entries). Other symbol numbers draw nothing.
void wxsym(float x, float y, float size, int n, int colour, const int* colours);
// Stroke primitive p (0-based, 0-19) with its origin at (x, y).
void wxprim(float x, float y, float size, int p);
// Bottom, top and width of symbols 1-39 in symbol units (0 for others).
float symin(int n);
float symax(int n);
float sxwid(int n);

// ---- plots on a longitude-latitude map (each records code as the last plot) ----

void kapstn(session_state* pcm, plot_code code);  // values, or barbs / vectors of two results
void kafstn(session_state* pcm, plot_code code);  // nearest station to a page point
void kasmrk(session_state* pcm, plot_code code);  // marks coloured by value
void kawsym(session_state* pcm, plot_code code);  // weather symbols by code
void kapmdl(session_state* pcm, plot_code code);  // station model

// One station model: values and undefs are the ten slots of the model.
void kasmdl(session_state* pcm, const station_report* report, const float* values,
            const float* undefs);
// Distance from (x, y) at which a barb pointing along (-u, -v) leaves the
// six element boxes of a station model (widened in place), or -999.9.
float wndexit(float u, float v, float x, float y, float r, float* left, float* right, float* bottom,
              float* top);

// ---- one-dimensional ----

void katser(session_state* pcm, plot_code code);  // time series of one station
void kapprf(session_state* pcm, plot_code code);  // vertical profiles (reorders the report chain)

// ---- shared by the map plots ----

// Map, outlines on the first plot of a frame, frame and clip to the plot area.
void kastnmap(session_state* pcm);
// Page position of a report inside the map box (its longitude moved once
// each way into the box); false when outside, on the edge or undefined (the
// value test only when check_value).
bool kastnpos(const session_state* pcm, const station_report* r, float undef, bool check_value,
              float* x, float* y);
// The closing every map plot of station data shares, with its plot code.
void kastntail(session_state* pcm, plot_code code);
// The closing of the station time series and profiles.
void kastn1dtail(session_state* pcm, plot_code code);
// Float to int for codes and counts derived from data: values beyond the
// int range (and NaN) end at a bound instead of being undefined.
int kaclampi(double v);
