// Window driver state shared by the driver and the widgets drawn on its
// window (buttons, rubber bands, drop menus, the dialog). One window per
// process; everything here is valid only while `state().w.display` is set.
#pragma once

#include <X11/Xlib.h>

#include <deque>
#include <utility>

#include "gx/gx.h"

namespace xdrv {

// One queued mouse press, with what the widget that took it reported.
struct mouse_event {
  float x = 0, y = 0;  // page inches of the press
  int button = 0;
  mouse_event_type type = mouse_event_type::plain;
  int ival[10] = {};
  float rval[4] = {};
};

constexpr long kEventMask =
    ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | ExposureMask | StructureNotifyMask;

// The server connection and the window: made when the window opens, gone
// when it closes.
struct x_window {
  Display* display = nullptr;  // null: no window, every operation a no-op
  int snum = 0;                // screen
  Window win = 0;              // the graphics window
  GC gc = nullptr;             // its graphics context
  Colormap cmap = 0;           // the screen's default colormap
  int depth = 0;               // screen depth, for pixmaps
  int bsflg = 0;               // 1: the server keeps backing store
};

// Page and window size: the page is set at open, the pixels at open and at
// every resize.
struct x_geometry {
  int width = 0, height = 0;      // window, pixels
  float xsize = 11, ysize = 8.5;  // page, inches
  float xscl = 1, yscl = 1;       // pixels per inch
};

// Double buffering: where drawing goes while a frame is built out of sight.
struct x_buffers {
  Drawable drwbl = 0;  // drawing target: the window, or pmap
  Pixmap pmap = 0;     // back buffer
  int dblmode = 0;     // 1 while double buffering
};

// The colour table, emptied at open. Slots 0-99 are the colour numbers,
// 100-115 the greys that stand for 0-15 in grey mode.
struct x_colours {
  unsigned long cvals[120] = {};  // pixel of each slot
  int cused[120] = {};            // 1: a cell of ours (freed when redefined)
  int cmach[120] = {};            // 1: nearest existing cell, matched
};

// Drawing state, changed by the drawing calls and set anew at open.
struct x_pen {
  int lcolor = 1;          // colour slot in the graphics context
  int lwidth = 1;          // thickness asked for
  int owidth = 0;          // line width in the graphics context
  int fstyle = FillSolid;  // fill style in the graphics context
  int grflg = 0;           // 1: colours 0-15 drawn as greys
  int devbck = 0;          // background: 0 black, 1 white
  int xxx = 0, yyy = 0;    // current point, pixels
};

// Widget text fonts, loaded at open.
struct x_fonts {
  XFontStruct* fonts[6] = {};  // small, medium, large upright; then slanted
  int gfont = 0;               // class in the context: 1 small, 2 medium, 3 large; 0 unset
};

// Mouse presses and exposures, emptied at open and close.
struct x_events {
  std::deque<mouse_event> evbase;  // presses not yet asked for (dropped by a new frame)
  int excnt = 0;                   // exposures our own pop-ups caused, passed over
  int rstate = 1;                  // 0 while the driver redraws: widgets register again
};

// What the driver and the widget files share, reached through state(); the
// driver owns the one instance.
struct x_state {
  x_window w;
  x_geometry geo;
  x_buffers buf;
  x_colours col;
  x_pen pen;
  x_fonts font;
  x_events ev;
};

x_state& state();

// A rounded pixel count held to the 16-bit coordinates X draws with.
int pixels(float v);
// Page inches to window pixels: positions, then widths and heights.
int pixx(float x);
int pixy(float y);
int pixw(float w);
int pixh(float h);
// The pixel of a colour number as the drawing colour would pick it, without
// making it the drawing colour.
unsigned long pixel_of(int colour);
// Solid fills for widget boxes whatever pattern the drawing layer chose;
// the pattern comes back with restore_fill.
void solid_fill();
void restore_fill();
// The font of the current size class, upright or slanted; null when none.
XFontStruct* class_font(bool slanted);
// Waits (bounded) until a newly mapped child of the graphics window, at
// (x, y) in its pixels, is fully exposed; at once when no part of it lies
// on the window and on the screen, where no exposure can come.
void wait_exposed(Window w, int x, int y, int width, int height);

// The graphics window's pixels in a box (held to the window), kept while a
// pop-up covers them and put back once it has gone: a server that keeps
// backing store still leaves a hole where a child window stood, and few
// save what a window covers. Empty when no pixmap could be made.
class window_patch {
 public:
  window_patch() = default;
  window_patch(int x, int y, int width, int height);
  window_patch(window_patch&& o) noexcept { *this = std::move(o); }
  window_patch& operator=(window_patch&& o) noexcept;
  ~window_patch() { release(); }
  void put_back() const;

 private:
  void release();
  Pixmap pm_ = 0;
  GC gc_ = nullptr;
  int x_ = 0, y_ = 0, w_ = 0, h_ = 0;
};

}  // namespace xdrv

// Widget sets (widgets.cpp), called by the driver.
// Empties every widget record and both hot-region tables.
void gxwdin();
// Frees whole widget sets: the front one with its texts, both, or the back
// one (its texts were moved).
enum class widget_sets_freed : int { front = 0, both = 1, back = 2 };
void gxrswd(widget_sets_freed which);
// Moves the back set to the front (the buffer swap).
void gxcpwd();
// Redraws the widgets of a set (0 front, 1 back), registering them afresh
// while the driver redraws.
void gxrdrw(int set);
// Empties the hot-region table of a set.
void gxwdclr(int set);
// Hands a mouse press at pixel (px, py) to the widget under it.
void gxwdev(xdrv::mouse_event& event, int px, int py);
