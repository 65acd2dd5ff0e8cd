// Contour lines, their smoothing and labels, and shaded bands between levels.
// Tracing and shading work in grid coordinates (1-based, i fastest); drawing
// goes through the coordinate chain of the drawing layer (level 3, grid).
#pragma once

// How lines are labelled ("set clab"); the numbers are the session's.
enum class contour_labels : int {
  off = 0,     // no labels on smooth lines
  on = 1,      // normal labels
  forced = 2,  // also a sloped label when a smooth line has no other
};

// Traces every line of one level over grid points ib..ie, jb..je (1-based,
// inclusive) and draws it with the current colour, style and width; labels
// are collected for gxclab. label is the level's label text (empty: none);
// smooth draws smooth curves instead of polylines.
void gxclev(const float* values, int isiz, int jsiz, int ib, int ie, int jb, int je, float level,
            const char* label, bool smooth, contour_labels labels, float undef);

// Releases the tracer's work buffers.
void gxcrel();

// Capacities of the tracer's work buffers (entries), 0 when released: the
// edge flags and the points. The buffers only grow until released.
struct contour_work_size {
  int flags;
  int points;
};
contour_work_size gxcwsz();

// A line just traced, as the tracer hands it to the line drawer. The points
// lie in the tracer's work buffer, which keeps at least one free pair before
// `first` and after `last` (the smooth curve writes its extension points
// there); they are valid until the next line is traced.
struct traced_line {
  float* first;           // first (x, y) pair, grid coordinates
  float* last;            // last pair
  const char* label;      // label text of the level, empty for none
  bool smooth;            // as gxclev's
  contour_labels labels;  // as gxclev's
};

// Draws a traced line and records its labels (called by gxclev).
void gxcspl(const traced_line& line);

// Draws the collected labels over an erased background (draw false only
// discards them); colour below 0 uses each label's recorded colour. Always
// empties the list.
void gxclab(float csize, bool draw, int colour);

// Fills the areas above levels[k] in colours[k] (levels ascending), leaving
// undefined data unfilled.
void gxshad(const float* values, int imax, int jmax, const float* levels, const int* colours,
            int count, float undef);

// Number of labels recorded and not yet drawn.
int gxclcnt();
