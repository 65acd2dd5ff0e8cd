// Contour lines, their smoothing and labels, and shaded bands between levels.
// Tracing and shading work in grid coordinates (1-based, i fastest); drawing
// goes through the coordinate chain of the drawing layer (level 3, grid).
#pragma once

// Traces every line of one level over grid points ib..ie, jb..je (1-based,
// inclusive) and draws it with the current colour, style and width; labels
// are collected for gxclab. label is the level's label text (empty: none),
// spline 0 draws polylines, anything else smooth curves; label_type 0 gives
// no labels on smooth lines, 1 normal labels, 2 a sloped label when a smooth
// line has no other.
void gxclev(const float* values, int isiz, int jsiz, int ib, int ie, int jb, int je, float level,
            const char* label, int spline, int label_type, float undef);

// Releases the tracer's work buffers.
void gxcrel();

// Draws the line just traced and records its labels (called by gxclev).
void gxcspl();

// Draws the collected labels over an erased background (flag 0 only discards
// them); colour below 0 uses each label's recorded colour. Always empties
// the list.
void gxclab(float csize, int flag, int colour);

// Fills the areas above levels[k] in colours[k] (levels ascending), leaving
// undefined data unfilled.
void gxshad(const float* values, int imax, int jmax, const float* levels, const int* colours,
            int count, float undef);

// State the tracer hands to the line drawer; valid during one gxclev call.
namespace gxcn {
extern float* xystrt;  // first (x, y) pair of the line just traced
extern float* xyend;   // last pair
extern char clabel[12];
extern int splflg;
extern int labtp;
extern int lwksiz, fwksiz;  // work buffer capacities (entries), 0 when none
}  // namespace gxcn

// Number of labels recorded and not yet drawn.
int gxclcnt();
