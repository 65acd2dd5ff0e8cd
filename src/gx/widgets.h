// Widgets of the graphics window: push buttons, rubber-band regions, drop
// menus and the text-entry dialog. Without a window (batch mode, or no X
// server) every one of these calls does nothing: buttons, menus and bands are
// not kept, and the dialog returns no text.
#pragma once

#include <string>

// A push button; the command layer fills one as a template.
struct button_widget {
  int number = -1;                         // -1 while free
  float x = 0, y = 0;                      // centre, page inches
  float w = 0, h = 0;                      // size, page inches
  int xlo = 0, xhi = 0, ylo = 0, yhi = 0;  // pixel box of the last drawing
  // Off state: text, fill, bottom-right edges, top-left edges; then the
  // same four in the on state; negative colours leave the part undrawn.
  int fc = 1, bc = 0, oc = 1, oc2 = 1;
  int tfc = 1, tbc = 0, toc = 1, toc2 = 1;
  int thick = 3;
  int state = 0;  // 0 off, 1 on
  int len = 0;    // characters of text drawn (held to 0..text size)
  std::string text;
};

// What a drag in a rubber-band region draws.
enum class band_shape : int { box = 1, line = 2 };

// A rubber-band region: a drag inside it draws an elastic box or line.
struct rubber_band {
  int number = -1;
  int filter = -1;  // mouse button that starts a drag; -1 any
  float xlo = 0, xhi = 0, ylo = 0, yhi = 0;
  band_shape shape = band_shape::box;
};

// A drop menu: a head on the window (or a cascade opened from another
// menu's item). The text holds pieces ended by NULs: for a head the label
// and then the items, for a cascade only items. An item holding ">NN>" (or
// ">0NN>", ">1NN>") opens cascade menu NN.
struct drop_menu {
  int number = -1;
  int cascade = 0;  // 1: no head, opened only from another menu
  float x = 0, y = 0, w = 0, h = 0;
  int xlo = 0, xhi = 0, ylo = 0, yhi = 0;
  int fc = 1, bc = 0, oc1 = 1, oc2 = 1;      // head
  int tfc = 1, tbc = 0, toc1 = 1, toc2 = 1;  // head while open
  int bfc = 1, bbc = 0, boc1 = 1, boc2 = 1;  // pop-up body
  int soc1 = 1, soc2 = 1;                    // selection outline
  int thick = 1;
  int len = 0;  // characters of text in use (held to 0..text size)
  std::string text;
};

// What the dialog shows and how.
struct dialog_request {
  float x = -1, y = -1;                 // centre, page inches; -1 centred on the window
  float w = -1, h = -1;                 // size; -1 default, 0 fit to the text
  int pc = 1, fc = 0, bc = 15, oc = 1;  // negative: 1, 0, 15, 1
  int thick = 3;
  int len = 0;  // characters of text in use (held to 0..text size)
  std::string text;
  int numeric = 0;  // 1: only a number is accepted
};

// How a button is drawn: what its record takes from the template first.
enum class button_redraw : int {
  create = 0,        // a new button from the template
  stored = 1,        // again from the stored record
  with_text = 2,     // also taking the template's text when it has one
  with_colours = 3,  // also the text and its eight colours
};
// Draws button n (0-255). onwindow: while double buffering, draw the shown
// button on the window. state: -1 keep, else the new state.
void gxdpbn(int n, button_widget* templ, button_redraw redraw, bool onwindow, int state);
// Defines rubber-band region n (0-31) over a page-inch box (xlo < xhi,
// ylo < yhi), started by a mouse button (-1 any).
void gxdrbb(int n, band_shape shape, float xlo, float ylo, float xhi, float yhi, int filter);
// How gxdrmu takes menu n.
enum class menu_redraw : int {
  create = 0,  // a new menu from the template
  stored = 1,  // again from the stored record
};
// Creates or redraws the head of menu n (0-199).
void gxdrmu(int n, drop_menu* templ, menu_redraw redraw, int state);
// Shows a modal dialog; returns the entered text and a newline, or an
// empty string without a window.
std::string gxdlg(const dialog_request& request);
// 1 while a window is open for the widgets.
int gxdwin();
