// Streamlines of a 2-D vector field, spread over the plot by a coarse
// occupancy mask, with arrow heads along each line.
#pragma once

// u, v (and c when colour_by_c is not 0) hold isiz by jsiz values, i
// fastest; levels and colours (count entries) colour each piece by c.
// density 5 is the middle; larger is denser. Points go through the
// coordinate chain from grid level.
void gxstrm(const float* u, const float* v, const float* c, int isiz, int jsiz, float uundef,
            float vundef, float cundef, int colour_by_c, const float* levels, const int* colours,
            int count, int density);

// Colour of a value in a shade table (levels[0] is never compared).
int gxshdc(const float* levels, const int* colours, int count, float value);

// Arrow head at (x2, y2) in page inches for travel from (x1, y1).
void strmar(float x1, float y1, float x2, float y2);
