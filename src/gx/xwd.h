// Window dump writer: the window header, name and colour table, then the
// raw image of a drawable. Every failure is reported and returned; the
// writer never ends the process.
#pragma once

#include <X11/Xlib.h>

#include <cstdio>
#include <vector>

void set_display_screen(Display* display, int screen);
// 0 when the header, name and colour table were written, 1 on failure.
int Window_Dump(Window window, std::FILE* file);
// Appends the drawable's pixels (ZPixmap, all planes) for the rectangle.
// 0 ok, 1 on failure.
int Pixmap_Dump(Drawable drawable, std::FILE* file, int x, int y, unsigned width,
                unsigned height);
// The rectangle (window coordinates) the last Window_Dump described, so
// that the image appended after it agrees with the header.
void xwd_rect(int* x, int* y, unsigned* width, unsigned* height);
long Image_Size(XImage* image);
// Number of colour entries built into *colours, -1 when the table could not
// be allocated.
int Get_XColors(XWindowAttributes* attributes, std::vector<XColor>* colours);
void _swaplong(char* buffer, unsigned long n);
void _swapshort(char* buffer, unsigned long n);
