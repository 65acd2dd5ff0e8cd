// Window dump writer: the window header, name and colour table, then the
// raw image of a drawable. Every failure is reported and returned; the
// writer never ends the process.
#pragma once

#include <X11/Xlib.h>

#include <cstdio>
#include <vector>

// One dump: the display connection and screen it reads from, and the part
// of the window its header described, so that the image appended after the
// header agrees with it.
struct xwd_dump {
  Display* dsp = nullptr;           // the driver's display connection
  int scr = 0;                      // its screen
  int rect_x = 0, rect_y = 0;       // part of the window on the screen,
  unsigned rect_w = 0, rect_h = 0;  //   window coordinates
};

// 0 when the header, name and colour table were written (the rectangle is
// kept in dump), 1 on failure.
int Window_Dump(xwd_dump& dump, Window window, std::FILE* file);
// Appends the drawable's pixels (ZPixmap, all planes) for the dump's
// rectangle. 0 ok, 1 on failure.
int Pixmap_Dump(const xwd_dump& dump, Drawable drawable, std::FILE* file);
long Image_Size(XImage* image);
// Number of colour entries built into *colours, -1 when the table could not
// be allocated.
int Get_XColors(Display* dsp, XWindowAttributes* attributes, std::vector<XColor>* colours);
void _swaplong(char* buffer, unsigned long n);
void _swapshort(char* buffer, unsigned long n);
