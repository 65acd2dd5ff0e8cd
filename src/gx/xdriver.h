// Device driver operations the drawing layer and the display-list replay
// call. All coordinates are real page inches.
#pragma once

#include "gx/gx.h"

// Opens the display and the window; 0 when a window is open, non-zero when
// none could be opened (the caller then carries on without a window).
int gxdbgn(float xsize, float ysize);
void gxdbat();
void gxdend();

void gxdcol(int colour);
void gxdwid(int thickness);
// 1 when a new colour cell was allocated, 0 otherwise.
int gxdacl(int n, int red, int green, int blue);
void gxdptn(fill_pattern type, int density, int angle);
// Window background: 0 black, 1 white.
int gxdbkq();

void gxdmov(float x, float y);
void gxddrw(float x, float y);
void gxdrec(float xlo, float xhi, float ylo, float yhi);
void gxdfil(const float* xy, int n);

void gxdfrm(frame_action action);
void gxddbl();
void gxdsgl();
void gxdswp();
// Text through the device: nothing, all text is drawn as strokes.
void gxdtxt(char character, float x, float y);
// 1: the device fills polygons itself.
int gxqfil();

// Serves queued window events (exposure, resizing, mouse clicks); with wait
// set it blocks until a mouse button is pressed. 1 when the window was redrawn.
int gxdeve(bool wait);
// Clears the window and replays the display list onto it.
void gxdrdw();
// Chooses the widget font size from the window size.
void gxdsfn();
