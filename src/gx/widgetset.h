// The two widget sets of the window (what it shows, and what is being
// drawn out of sight while double buffering) and their hot-region tables,
// shared by the button, rubber-band and drop-menu code.
#pragma once

#include "gx/widgets.h"
#include "gx/xint.h"

enum class widget_kind : int { free = -1, removed = 0, button = 1, rband = 2, dropmenu = 3 };

// One region of the window that takes mouse presses.
struct widget_entry {
  widget_kind kind = widget_kind::free;
  int xlo = 0, xhi = 0, ylo = 0, yhi = 0;  // pixels, ylo the top row
  int filter = -1;                         // mouse button taken; -1 any
  int number = -1;                         // the widget's number in its set
};

constexpr int kHotRegions = 512;
constexpr int kButtons = 256, kBands = 32, kMenus = 200;

struct widget_set {
  button_widget btn[kButtons];
  rubber_band rbb[kBands];
  drop_menu dmu[kMenus];
  widget_entry obj[kHotRegions];
  int obnum = 0;
};

// 0 the front set, 1 the back set; the driver owns both.
widget_set& widget_sets(int set);
// The set new widgets go to: the back one while double buffering.
inline int current_set() { return xdrv::state().buf.dblmode ? 1 : 0; }
// Where a set's widgets are drawn.
inline Drawable set_drawable(int set) {
  return set == 1 ? xdrv::state().buf.pmap : xdrv::state().w.win;
}
// A new hot-region entry of a set, or null when its table is full.
widget_entry* new_entry(int set);

// Drop menus (dropmenu.cpp).
void draw_menu_head(int set, int n, bool fresh);
// A press on the head at hot-region entry; -999 when done, else the entry
// of another head the pointer moved onto.
int gxevdm(xdrv::mouse_event& event, int entry);

// Draws a line in a colour (nothing for a negative colour).
void widget_line(Drawable d, int colour, int x1, int y1, int x2, int y2);
