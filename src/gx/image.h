// Image-output rasterisers, shared inside the graphics package and its tests.
#pragma once

#include <gd.h>

// Width or height given as this means "not set": the image takes the default
// size of the page orientation.
constexpr int kImageSizeUnset = -999;

// A one-pixel line, ends included, walked row by row with no gaps.
void gdImageLne(gdImagePtr im, int x1, int y1, int x2, int y2, int colour);
// Even-odd scanline fill of n points (x, y pairs).
void gdImageFilldPolygon(gdImagePtr im, const int* xy, int n, int colour);
