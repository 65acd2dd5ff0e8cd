// Window driver state shared by the driver and the widgets drawn on its
// window (buttons, rubber bands, drop menus, the dialog). One window per
// process; everything here is valid only while `display` is set.
#pragma once

#include <X11/Xlib.h>

#include <deque>

namespace xdrv {

// One queued mouse press, with what the widget that took it reported.
struct mouse_event {
  float x = 0, y = 0;  // page inches of the press
  int button = 0;
  int type = 0;  // 0 none, 1 button, 2 rubber band, 3 drop menu
  int ival[10] = {};
  float rval[4] = {};
};

constexpr long kEventMask = ButtonPressMask | ButtonReleaseMask | ButtonMotionMask |
                            ExposureMask | StructureNotifyMask;

extern Display* display;
extern int snum;
extern Window win;
extern GC gc;
extern Pixmap pmap;
extern Drawable drwbl;
extern int dblmode;
extern int bsflg;
extern int width, height;
extern float xsize, ysize;
extern float xscl, yscl;
extern unsigned long cvals[120];
extern int lcolor;
extern int lwidth;
extern XFontStruct* fonts[6];  // small, medium, large upright; then slanted
extern int gfont;              // 1 small, 2 medium, 3 large; 0 unset
extern int excnt;
extern int rstate;

// Page inches to window pixels.
int pixx(float x);
int pixy(float y);
// The pixel of a colour number as the drawing colour would pick it, without
// making it the drawing colour.
unsigned long pixel_of(int colour);
// Solid fills for widget boxes whatever pattern the drawing layer chose;
// the pattern comes back with restore_fill.
void solid_fill();
void restore_fill();
// The font of the current size class, upright or slanted; null when none.
XFontStruct* class_font(bool slanted);
// Waits (bounded) until a newly mapped window is fully exposed.
void wait_exposed(Window w);

}  // namespace xdrv

// Widget sets (widgets.cpp), called by the driver.
// Empties every widget record and both hot-region tables.
void gxwdin();
// Frees whole widget sets: 0 front with texts, 1 both, 2 back (texts moved).
void gxrswd(int mode);
// Moves the back set to the front (the buffer swap).
void gxcpwd();
// Redraws the widgets of a set (0 front, 1 back), registering them afresh
// while the driver redraws.
void gxrdrw(int set);
// Empties the hot-region table of a set.
void gxwdclr(int set);
// Hands a mouse press at pixel (px, py) to the widget under it.
void gxwdev(xdrv::mouse_event& event, int px, int py);
