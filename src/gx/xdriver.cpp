// X11 device driver: the interactive window. Primitives arrive in real page
// inches and are drawn at once; the window is repainted from the display
// list. Without a display (batch mode, or no server to connect to) every
// operation is a no-op and the queries answer as in batch mode.
#include "gx/xdriver.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "base/message.h"
#include "base/safefile.h"
#include "gx/gx.h"
#include "gx/metafile.h"
#include "gx/widgetset.h"
#include "gx/xint.h"
#include "gx/xwd.h"

using namespace xdrv;

namespace {

constexpr int kScreens = 200;

const char* const dgeom = "500x400+10+10";

// Settings given before the window opens (command-line options); kept for
// the session.
struct x_options {
  int batch = 0;            // 1: batch mode, no window asked for
  int wchose = 0;           // 1: wide lines drawn as parallel thin ones
  std::string ugeom;        // window geometry asked for
  bool have_ugeom = false;  // ugeom was given
};

// Saved screens by number, emptied at open and close.
struct saved_screens {
  Pixmap pmaps[kScreens] = {};                          // saved image
  int pfilld[kScreens] = {};                            // 1: holds a screen
  unsigned pwide[kScreens] = {}, phigh[kScreens] = {};  // its size, pixels
};

// Everything the driver keeps; the widget files reach the shared part
// through state() and the widget sets through widget_sets().
struct driver_state : x_state {
  widget_set widgets[2];  // front and back widget sets
  saved_screens screens;
  x_options opt;
  // X errors arrive later than the request that caused them; the code of
  // the last one is kept here and checked after a round trip instead of
  // ending the session.
  int xerror = 0;
};

driver_state drv;

int record_error(Display*, XErrorEvent* e) {
  drv.xerror = e->error_code;
  return 0;
}

// Settles errors of earlier requests so that the next check blames only
// the request it follows.
void settle() {
  XSync(drv.w.display, False);
  drv.xerror = 0;
}

// Waits for the server to process every request; true when none failed.
bool synced() {
  XSync(drv.w.display, False);
  bool ok = drv.xerror == 0;
  drv.xerror = 0;
  return ok;
}

const unsigned char defr[16] = {0,   255, 250, 0, 30,  0, 240, 230,
                                240, 160, 160, 0, 230, 0, 130, 170};
const unsigned char defg[16] = {0,   255, 60,  220, 60,  200, 0, 220,
                                130, 0,   230, 160, 175, 210, 0, 170};
const unsigned char defb[16] = {0,  255, 60, 0,   255, 200, 130, 50,
                                40, 200, 50, 255, 45,  140, 220, 130};
const unsigned char greys[16] = {0,   255, 215, 140, 80,  110, 230, 170,
                                 200, 50,  155, 95,  185, 125, 65,  177};
const int white_remap[16] = {0, 1, 14, 3, 8, 7, 9, 5, 4, 6, 13, 12, 11, 10, 2, 15};

struct tile {
  int w, h;
  const char* hex;
};

const tile line_tiles[8][5] = {
    // 0 degrees
    {{12, 12, "ffff00f000f000f000f000f000f000f000f000f000f000f0"},
     {12, 12, "ffff00f000f000f000f000f0ffff00f000f000f000f000f0"},
     {12, 12, "ffff00f000f000f0ffff00f000f000f0ffff00f000f000f0"},
     {12, 12, "ffff00f000f0ffff00f000f0ffff00f000f0ffff00f000f0"},
     {12, 12, "ffff00f0ffff00f0ffff00f0ffff00f0ffff00f0ffff00f0"}},
    // 90
    {{12, 12, "010001000100010001000100010001000100010001000100"},
     {12, 12, "410041004100410041004100410041004100410041004100"},
     {12, 12, "110111011101110111011101110111011101110111011101"},
     {12, 12, "490249024902490249024902490249024902490249024902"},
     {12, 12, "550555055505550555055505550555055505550555055505"}},
    // 45
    {{12, 12, "000800040002000180004000200010000800040002000100"},
     {8, 8, "8040201008040201"},
     {6, 6, "201008040201"},
     {4, 4, "08040201"},
     {3, 3, "040201"}},
    // 135
    {{12, 12, "010002000400080010002000400080000001000200040008"},
     {8, 8, "0102040810204080"},
     {6, 6, "010204081020"},
     {4, 4, "01020408"},
     {3, 3, "010204"}},
    // 30
    {{14, 14, "0030000c0003c00030000c0003000030000c0003c00030000c000300"},
     {10, 10, "0003c00030000c0003000003c00030000c000300"},
     {8, 8, "c0300c03c0300c03"},
     {6, 6, "300c03300c03"},
     {5, 5, "1806110c03"}},
    // 60
    {{14, 14, "40204020201020101008100808040804040204020201020181008100"},
     {10, 10, "1002100208010801840084004200420021002100"},
     {8, 8, "8888444422221111"},
     {6, 6, "242412120909"},
     {5, 5, "14120a0905"}},
    // 120
    {{14, 14, "81008100020102010402040208040804100810082010201040204020"},
     {10, 10, "2100210042004200840084000801080110021002"},
     {8, 8, "1111222244448888"},
     {6, 6, "090912122424"},
     {5, 5, "05090a1214"}},
    // 150
    {{14, 14, "03000c003000c0000003000c003003000c003000c0000003000c0030"},
     {10, 10, "03000c003000c000000303000c003000c0000003"},
     {8, 8, "030c30c0030c30c0"},
     {6, 6, "030c30030c30"},
     {5, 5, "030c110618"}},
};

const tile dot_tiles[6] = {{6, 6, "010000000000"}, {5, 5, "0100000000"}, {4, 4, "01000000"},
                           {4, 4, "01000400"},     {2, 2, "0100"},       {2, 2, "0102"}};

const tile open_tile = {12, 12, "00f000f000f000f000f000f000f000f000f000f000f000f0"};

std::vector<char> tile_bytes(const char* hex) {
  std::vector<char> out;
  for (std::size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
    char pair[3] = {hex[i], hex[i + 1], 0};
    out.push_back(static_cast<char>(std::strtoul(pair, nullptr, 16)));
  }
  return out;
}

// The icon: a frame and a 5 x 5 grid of 8-pixel cells.
std::vector<char> icon_bits() {
  const int n = 41, row = (n + 7) / 8;
  std::vector<char> bits(static_cast<std::size_t>(row) * n, 0);
  auto line = [](int v) { return v == 8 || v == 16 || v == 24 || v == 32; };
  auto gap = [](int v) {
    int m = v % 8;
    return m == 3 || m == 4 || m == 5;
  };
  for (int y = 0; y < n; y++)
    for (int x = 0; x < n; x++) {
      bool on =
          x == 0 || y == 0 || x == 40 || y == 40 || (line(x) && !gap(y)) || (line(y) && !gap(x));
      if (on) bits[static_cast<std::size_t>(y) * row + x / 8] |= static_cast<char>(1 << (x % 8));
    }
  return bits;
}

void set_scale() {
  drv.geo.xscl = static_cast<float>(drv.geo.width) / drv.geo.xsize;
  drv.geo.yscl = static_cast<float>(drv.geo.height) / drv.geo.ysize;
}

// Takes the size of a configure event; true when it changed.
bool resized(const XEvent& ev) {
  if (ev.xconfigure.width == drv.geo.width && ev.xconfigure.height == drv.geo.height) return false;
  drv.geo.width = ev.xconfigure.width;
  drv.geo.height = ev.xconfigure.height;
  set_scale();
  return true;
}

short clamp16(int v) { return static_cast<short>(v < -32768 ? -32768 : (v > 32767 ? 32767 : v)); }

// Fills a drawable with the background whatever fill pattern is selected.
void fill_background(Drawable d) {
  XSetForeground(drv.w.display, drv.w.gc, drv.col.cvals[drv.pen.devbck]);
  if (drv.pen.fstyle != FillSolid) XSetFillStyle(drv.w.display, drv.w.gc, FillSolid);
  XFillRectangle(drv.w.display, d, drv.w.gc, 0, 0, static_cast<unsigned>(drv.geo.width),
                 static_cast<unsigned>(drv.geo.height));
  if (drv.pen.fstyle != FillSolid) XSetFillStyle(drv.w.display, drv.w.gc, drv.pen.fstyle);
  XSetForeground(drv.w.display, drv.w.gc, drv.col.cvals[drv.pen.lcolor]);
}

// Serves events queued by the library while a long plot is drawn.
void pump() {
  if (drv.ev.rstate && XEventsQueued(drv.w.display, QueuedAlready)) gxdeve(false);
}

XFontStruct* load_font(const char* env, const char* first, const char* second) {
  const char* pats[3] = {std::getenv(env), first, second};
  for (const char* p : pats) {
    if (!p) continue;
    int count = 0;
    char** names = XListFonts(drv.w.display, p, 1, &count);
    if (names && count > 0) {
      XFontStruct* f = XLoadQueryFont(drv.w.display, names[0]);
      XFreeFontNames(names);
      return f ? f : reinterpret_cast<XFontStruct*>(-1);
    }
    if (names) XFreeFontNames(names);
  }
  return nullptr;
}

x_fonts load_fonts() {
  XFontStruct* const failed = reinterpret_cast<XFontStruct*>(-1);
  x_fonts out;
  XFontStruct** fonts = out.fonts;
  XFontStruct* f = load_font("KAXFS", "-adobe-helvetica-bold-r-normal-*-80*",
                             "-adobe-helvetica-bold-r-normal-*-100*");
  if (!f) f = XLoadQueryFont(drv.w.display, "fixed");
  if (!f || f == failed) {
    kaprntout("ERROR: Unable to open a basic font!!!\n");
    f = nullptr;
  }
  fonts[0] = f;
  f = load_font("KAXFSI", "-adobe-helvetica-bold-o-normal-*-80*",
                "-adobe-helvetica-bold-o-normal-*-100*");
  if (!f) f = XLoadQueryFont(drv.w.display, "fixed");
  fonts[3] = (!f || f == failed) ? fonts[0] : f;
  f = load_font("KAXFM",
                "-adobe-helvetica-bold-r-normal--?"
                "?-100*",
                "-adobe-helvetica-bold-r-normal-*-120*");
  fonts[1] = (!f || f == failed) ? fonts[0] : f;
  f = load_font("KAXFMI",
                "-adobe-helvetica-bold-o-normal--?"
                "?-100*",
                "-adobe-helvetica-bold-o-normal-*-120*");
  fonts[4] = (!f || f == failed) ? fonts[3] : f;
  f = load_font("KAXFL", "-adobe-helvetica-bold-r-normal-*-140*", nullptr);
  fonts[2] = (!f || f == failed) ? fonts[1] : f;
  f = load_font("KAXFLI", "-adobe-helvetica-bold-o-normal-*-140*", nullptr);
  fonts[5] = (!f || f == failed) ? fonts[4] : f;
  return out;
}

// Whether some of a box of the graphics window's pixels lies both on the
// window and on the screen: no other part of a window is ever exposed.
bool shown(int x, int y, int w, int h) {
  const int x1 = std::max(x, 0), y1 = std::max(y, 0);
  const int x2 = std::min(x + w, drv.geo.width), y2 = std::min(y + h, drv.geo.height);
  if (x1 >= x2 || y1 >= y2) return false;
  int ox = 0, oy = 0;
  Window child;
  XTranslateCoordinates(drv.w.display, drv.w.win, RootWindow(drv.w.display, drv.w.snum), 0, 0, &ox,
                        &oy, &child);
  return ox + x1 < DisplayWidth(drv.w.display, drv.w.snum) &&
         oy + y1 < DisplayHeight(drv.w.display, drv.w.snum) && ox + x2 > 0 && oy + y2 > 0;
}

// Waits for the first full exposure after mapping. A window placed wholly
// off the screen is never exposed, so the wait is bounded.
void wait_mapped() {
  const int fd = ConnectionNumber(drv.w.display);
  for (int waited = 0; waited < 5000;) {
    XEvent ev;
    while (XCheckWindowEvent(drv.w.display, drv.w.win, ExposureMask | StructureNotifyMask, &ev)) {
      if (ev.type == ConfigureNotify) {
        drv.geo.width = ev.xconfigure.width;
        drv.geo.height = ev.xconfigure.height;
        set_scale();
      } else if (ev.type == Expose && ev.xexpose.count == 0) {
        return;
      } else if (ev.type == MapNotify && !shown(0, 0, drv.geo.width, drv.geo.height)) {
        return;  // wholly off the screen: no exposure will come
      }
    }
    XFlush(drv.w.display);
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) == 0) waited += 50;
  }
}

void free_events() { drv.ev.evbase.clear(); }

// The slot a colour number draws with (see gxdcol).
int colour_slot(int c) {
  if (c < 0) c = 0;
  if (c > 99) c = 99;
  if (drv.pen.devbck == 1) {
    if (c == 0)
      c = 1;
    else if (c == 1)
      c = 0;
  }
  if (drv.pen.grflg && c < 16) {
    if (drv.pen.devbck == 1) c = white_remap[c];
    c += 100;
  }
  if (!drv.col.cused[c] && !drv.col.cmach[c]) c = 15;
  return c;
}

}  // namespace

x_state& xdrv::state() { return drv; }

// A widget placed far off the page still has a box whose corners an int
// holds.
int xdrv::pixels(float v) {
  if (!(v > -32768.0f)) return -32768;
  if (v > 32767.0f) return 32767;
  return static_cast<int>(v);
}

widget_set& widget_sets(int set) { return drv.widgets[set]; }

int xdrv::pixx(float x) { return pixels(x * drv.geo.xscl + 0.5f); }
int xdrv::pixy(float y) { return drv.geo.height - pixels(y * drv.geo.yscl + 0.5f); }
int xdrv::pixw(float w) { return pixels(w * drv.geo.xscl + 0.5f); }
int xdrv::pixh(float h) { return pixels(h * drv.geo.yscl + 0.5f); }

unsigned long xdrv::pixel_of(int colour) { return drv.col.cvals[colour_slot(colour)]; }

void xdrv::solid_fill() {
  if (drv.pen.fstyle != FillSolid) XSetFillStyle(drv.w.display, drv.w.gc, FillSolid);
}

void xdrv::restore_fill() {
  if (drv.pen.fstyle != FillSolid) XSetFillStyle(drv.w.display, drv.w.gc, drv.pen.fstyle);
}

XFontStruct* xdrv::class_font(bool slanted) {
  int cls = drv.font.gfont < 1 ? 1 : drv.font.gfont;
  return drv.font.fonts[cls - 1 + (slanted ? 3 : 0)];
}

void xdrv::wait_exposed(Window w, int x, int y, int width, int height) {
  // Nothing of it to expose: the user sees none of it and it takes events
  // at once.
  if (!shown(x, y, width, height)) return;
  const int fd = ConnectionNumber(drv.w.display);
  for (int waited = 0; waited < 5000;) {
    XEvent ev;
    while (XCheckWindowEvent(drv.w.display, w, ExposureMask, &ev))
      if (ev.xexpose.count == 0) return;
    XFlush(drv.w.display);
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) == 0) waited += 50;
  }
}

xdrv::window_patch::window_patch(int x, int y, int width, int height) {
  x_ = std::max(x, 0);
  y_ = std::max(y, 0);
  w_ = std::min(x + width, drv.geo.width) - x_;
  h_ = std::min(y + height, drv.geo.height) - y_;
  if (w_ <= 0 || h_ <= 0) return;
  settle();
  pm_ = XCreatePixmap(drv.w.display, drv.w.win, static_cast<unsigned>(w_),
                      static_cast<unsigned>(h_), static_cast<unsigned>(drv.w.depth));
  if (!synced()) {
    pm_ = 0;
    return;
  }
  // Copies of our own make no exposure events to pass over.
  XGCValues v{};
  v.graphics_exposures = False;
  gc_ = XCreateGC(drv.w.display, drv.w.win, GCGraphicsExposures, &v);
  XCopyArea(drv.w.display, drv.w.win, pm_, gc_, x_, y_, static_cast<unsigned>(w_),
            static_cast<unsigned>(h_), 0, 0);
}

xdrv::window_patch& xdrv::window_patch::operator=(window_patch&& o) noexcept {
  if (this != &o) {
    release();
    pm_ = std::exchange(o.pm_, 0);
    gc_ = std::exchange(o.gc_, nullptr);
    x_ = o.x_, y_ = o.y_, w_ = o.w_, h_ = o.h_;
  }
  return *this;
}

void xdrv::window_patch::put_back() const {
  if (pm_)
    XCopyArea(drv.w.display, pm_, drv.w.win, gc_, 0, 0, static_cast<unsigned>(w_),
              static_cast<unsigned>(h_), x_, y_);
}

void xdrv::window_patch::release() {
  if (gc_) XFreeGC(drv.w.display, std::exchange(gc_, nullptr));
  if (pm_) XFreePixmap(drv.w.display, std::exchange(pm_, 0));
}

// ---- set-up and shut-down ----

void gxwdln() { drv.opt.wchose = 1; }

void gxdgeo(const char* geometry) {
  drv.opt.ugeom = geometry ? geometry : "";
  drv.opt.have_ugeom = geometry != nullptr;
}

void gxdbat() { drv.opt.batch = 1; }

int gxdbgn(float xs, float ys) {
  drv.geo.xsize = xs;
  drv.geo.ysize = ys;
  drv.screens = {};
  drv.col = {};
  drv.ev = {};
  gxwdin();

  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    drv.w = {};
    // The session goes on without a window rather than being lost.
    kaprntout("Error in GXSTRT: Unable to connect to X server\n");
    return 1;
  }
  XSetErrorHandler(record_error);
  const int snum = DefaultScreen(display);
  drv.w = {.display = display,
           .snum = snum,
           .cmap = DefaultColormap(display, snum),
           .depth = DefaultDepth(display, snum),
           .bsflg = DoesBackingStore(ScreenOfDisplay(display, snum)) != NotUseful ? 1 : 0};

  drv.geo.width = DisplayWidth(drv.w.display, drv.w.snum) / 2;
  drv.geo.height =
      static_cast<int>(static_cast<float>(drv.geo.width) * drv.geo.ysize / drv.geo.xsize);
  int wx = 0, wy = 0;
  XSizeHints hints{};
  hints.flags = PPosition | PSize;
  if (drv.opt.have_ugeom) {
    int gx = 0, gy = 0, gw = 0, gh = 0;
    XGeometry(drv.w.display, drv.w.snum, drv.opt.ugeom.c_str(), dgeom, 4, 1, 1, 0, 0, &gx, &gy, &gw,
              &gh);
    if (gw > 0 && gh > 0) {
      wx = gx;
      wy = gy;
      drv.geo.width = gw;
      drv.geo.height = gh;
    }
    hints.flags = USPosition | USSize;
  }
  // The protocol carries sizes and positions in 16 bits, so larger ones
  // would wrap into some other window; and a server holding the window's
  // pixels in 32-bit byte counts fails (or falls over) near 32768 a side.
  auto limit = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };
  drv.geo.width = limit(drv.geo.width, 1, 16384);
  drv.geo.height = limit(drv.geo.height, 1, 16384);
  wx = limit(wx, -32768, 32767);
  wy = limit(wy, -32768, 32767);
  hints.x = wx;
  hints.y = wy;
  hints.width = drv.geo.width;
  hints.height = drv.geo.height;
  set_scale();

  drv.w.win = XCreateSimpleWindow(
      drv.w.display, RootWindow(drv.w.display, drv.w.snum), wx, wy,
      static_cast<unsigned>(drv.geo.width), static_cast<unsigned>(drv.geo.height), 4,
      WhitePixel(drv.w.display, drv.w.snum), BlackPixel(drv.w.display, drv.w.snum));
  if (!synced()) {
    kaprntout("Error in GXSTRT: Unable to create the graphics window\n");
    XCloseDisplay(drv.w.display);
    drv.w = {};
    return 1;
  }
  std::vector<char> ib = icon_bits();
  Pixmap icon = XCreateBitmapFromData(drv.w.display, drv.w.win, ib.data(), 41, 41);
  if (!synced()) icon = None;
  std::string title = std::string("Vemra ") + VEMRA_VERSION;
  char cmd[] = "vemra";
  char* argv[1] = {cmd};
  XSetStandardProperties(drv.w.display, drv.w.win, title.c_str(), "Vemra", icon, argv, 1, &hints);

  for (int i = 0; i < 16; i++) {
    XColor c{};
    c.red = static_cast<unsigned short>(defr[i] * 256);
    c.green = static_cast<unsigned short>(defg[i] * 256);
    c.blue = static_cast<unsigned short>(defb[i] * 256);
    drv.col.cvals[i] = XAllocColor(drv.w.display, drv.w.cmap, &c) ? c.pixel : drv.col.cvals[1];
    drv.col.cused[i] = 1;
  }
  for (int i = 0; i < 16; i++) {
    XColor c{};
    c.red = c.green = c.blue = static_cast<unsigned short>(greys[i] * 256);
    drv.col.cvals[100 + i] =
        XAllocColor(drv.w.display, drv.w.cmap, &c) ? c.pixel : drv.col.cvals[15];
    drv.col.cused[100 + i] = 1;
  }

  XSelectInput(drv.w.display, drv.w.win, kEventMask);
  drv.w.gc = XCreateGC(drv.w.display, drv.w.win, 0, nullptr);
  XSetForeground(drv.w.display, drv.w.gc, drv.col.cvals[1]);
  XSetLineAttributes(drv.w.display, drv.w.gc, 0, LineSolid, CapButt, JoinBevel);
  drv.pen = {};

  XMapWindow(drv.w.display, drv.w.win);
  wait_mapped();
  drv.buf = {.drwbl = drv.w.win};
  XSetWindowAttributes wa{};
  wa.backing_store = Always;
  XChangeWindowAttributes(drv.w.display, drv.w.win, CWBackingStore, &wa);

  drv.font = load_fonts();
  gxdsfn();
  synced();
  return 0;
}

void gxdend() {
  if (!drv.w.display) return;
  if (drv.w.gc) XFreeGC(drv.w.display, drv.w.gc);
  XCloseDisplay(drv.w.display);
  drv.w = {};
  drv.buf = {};
  drv.screens = {};
  drv.ev = {};
  gxwdin();
}

// ---- colour, width, pattern ----

void gxdcol(int c) {
  c = colour_slot(c);
  drv.pen.lcolor = c;
  if (drv.w.display) XSetForeground(drv.w.display, drv.w.gc, drv.col.cvals[c]);
}

namespace {

// Nearest existing entry of the default colormap (a full colormap).
int gxbcol(XStandardColormap*, XColor* colour) {
  Visual* v = DefaultVisual(drv.w.display, drv.w.snum);
  int n = v->map_entries < 256 ? v->map_entries : 256;
  if (n <= 0) return 0;
  std::vector<XColor> all(static_cast<std::size_t>(n));
  for (int i = 0; i < n; i++) all[i].pixel = static_cast<unsigned long>(i);
  XQueryColors(drv.w.display, drv.w.cmap, all.data(), n);
  long best = 65536;
  int which = -1;
  for (int i = 0; i < n; i++) {
    long d = std::labs(static_cast<long>(all[i].red) - colour->red) +
             std::labs(static_cast<long>(all[i].green) - colour->green) +
             std::labs(static_cast<long>(all[i].blue) - colour->blue);
    if (d < best) {
      best = d;
      which = i;
    }
  }
  if (which < 0) return 0;
  colour->pixel = all[which].pixel;
  XQueryColor(drv.w.display, drv.w.cmap, colour);
  return 1;
}

}  // namespace

int gxdacl(int n, int r, int g, int b) {
  if (n < 16 || n > 99 || !drv.w.display) return 0;
  if (drv.col.cused[n]) {
    XFreeColors(drv.w.display, drv.w.cmap, &drv.col.cvals[n], 1, 0);
    drv.col.cused[n] = 0;
  }
  drv.col.cmach[n] = 0;
  XColor c{};
  auto comp = [](int v) {
    return static_cast<unsigned short>((v < 0 ? 0 : (v > 255 ? 255 : v)) * 256);
  };
  c.red = comp(r);
  c.green = comp(g);
  c.blue = comp(b);
  c.flags = DoRed | DoGreen | DoBlue;
  if (XAllocColor(drv.w.display, drv.w.cmap, &c)) {
    drv.col.cvals[n] = c.pixel;
    drv.col.cused[n] = 1;
    return 1;
  }
  XStandardColormap* maps = nullptr;
  int count = 0;
  if (!XGetRGBColormaps(drv.w.display, RootWindow(drv.w.display, drv.w.snum), &maps, &count,
                        XA_RGB_BEST_MAP) ||
      count < 1) {
    kaprntout("Color Map Allocation Error.  Color number = %i\n", n);
  } else if (!gxbcol(&maps[0], &c)) {
    kaprntout("Color Matching Error.  Color number = %i\n", n);
  } else {
    drv.col.cvals[n] = c.pixel;
    drv.col.cmach[n] = 1;
    kaprntout("Color Match.  Color number = %i\n", n);
  }
  if (maps) XFree(maps);
  return 0;
}

void gxgrey(bool grey) { drv.pen.grflg = grey ? 1 : 0; }

void gxdbck(bool white) { drv.pen.devbck = white ? 1 : 0; }

int gxdbkq() { return drv.pen.devbck; }

void gxdwid(int t) {
  drv.pen.lwidth = t;
  if (drv.opt.wchose || !drv.w.display) return;
  int w = t < 6 ? 0 : (t < 12 ? 2 : 3);
  if (w != drv.pen.owidth) {
    XSetLineAttributes(drv.w.display, drv.w.gc, static_cast<unsigned>(w), LineSolid, CapButt,
                       JoinBevel);
    drv.pen.owidth = w;
  }
}

void gxdptn(fill_pattern type, int density, int angle) {
  if (!drv.w.display) return;
  const tile* t = nullptr;
  if (type == fill_pattern::solid) {
    drv.pen.fstyle = FillSolid;
    XSetFillStyle(drv.w.display, drv.w.gc, FillSolid);
    return;
  }
  if (type == fill_pattern::open) {
    t = &open_tile;
  } else if (type == fill_pattern::dot) {
    if (density < 1 || density > 6) {
      kaprntout("Error in density specification: density = %d\n", density);
      return;
    }
    t = &dot_tiles[density - 1];
  } else if (type == fill_pattern::line) {
    int k;
    switch (angle) {
      case 0: k = 0; break;
      case 90:
      case -90: k = 1; break;
      case 45: k = 2; break;
      case -45: k = 3; break;
      case 30: k = 4; break;
      case 60: k = 5; break;
      case -60: k = 6; break;
      case -30: k = 7; break;
      default: kaprntout("Error in angle specification: angle = %d\n", angle); return;
    }
    if (density < 1 || density > 5) {
      kaprntout("Error in density specification: density = %d\n", density);
      return;
    }
    t = &line_tiles[k][density - 1];
  } else {
    kaprntout("Error in fill specification: type = %d\n", static_cast<int>(type));
    return;
  }
  std::vector<char> bits = tile_bytes(t->hex);
  Pixmap bm = XCreateBitmapFromData(drv.w.display, drv.w.win, bits.data(),
                                    static_cast<unsigned>(t->w), static_cast<unsigned>(t->h));
  XSetStipple(drv.w.display, drv.w.gc, bm);
  XFreePixmap(drv.w.display, bm);  // the graphics context keeps its own reference
  drv.pen.fstyle = FillStippled;
  XSetFillStyle(drv.w.display, drv.w.gc, FillStippled);
}

int gxqfil() { return 1; }

// ---- drawing ----

void gxdmov(float x, float y) {
  if (!drv.w.display) return;
  drv.pen.xxx = pixx(x);
  drv.pen.yyy = pixy(y);
}

void gxddrw(float x, float y) {
  if (!drv.w.display) return;
  int nx = pixx(x), ny = pixy(y);
  XDrawLine(drv.w.display, drv.buf.drwbl, drv.w.gc, drv.pen.xxx, drv.pen.yyy, nx, ny);
  if (drv.opt.wchose && drv.pen.lwidth > 5) {
    int dx = nx - drv.pen.xxx, dy = ny - drv.pen.yyy;
    if (std::abs(dx) < std::abs(dy)) {
      XDrawLine(drv.w.display, drv.buf.drwbl, drv.w.gc, drv.pen.xxx - 1, drv.pen.yyy, nx - 1, ny);
      if (drv.pen.lwidth > 11)
        XDrawLine(drv.w.display, drv.buf.drwbl, drv.w.gc, drv.pen.xxx + 1, drv.pen.yyy, nx + 1, ny);
    } else {
      XDrawLine(drv.w.display, drv.buf.drwbl, drv.w.gc, drv.pen.xxx, drv.pen.yyy - 1, nx, ny - 1);
      if (drv.pen.lwidth > 11)
        XDrawLine(drv.w.display, drv.buf.drwbl, drv.w.gc, drv.pen.xxx, drv.pen.yyy + 1, nx, ny + 1);
    }
  }
  drv.pen.xxx = nx;
  drv.pen.yyy = ny;
  pump();
}

void gxdrec(float xlo, float xhi, float ylo, float yhi) {
  if (!drv.w.display) return;
  int x1 = pixx(xlo), x2 = pixx(xhi), y1 = pixy(ylo), y2 = pixy(yhi);
  if (x1 == x2 || y1 == y2) {
    XDrawLine(drv.w.display, drv.buf.drwbl, drv.w.gc, x1, y1, x2, y2);
  } else {
    if (x2 < x1) std::swap(x1, x2);
    if (y1 < y2) std::swap(y1, y2);
    XFillRectangle(drv.w.display, drv.buf.drwbl, drv.w.gc, x1, y2, static_cast<unsigned>(x2 - x1),
                   static_cast<unsigned>(y1 - y2));
  }
  pump();
}

void gxdfil(const float* xy, int n) {
  if (!drv.w.display || n < 1) return;
  std::vector<XPoint> pts;
  try {
    pts.resize(static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    kaprntout("Error in polygon fill routine gxdfil: \n");
    kaprntout("   Unable to allocate enough memory for the request\n");
    return;
  }
  for (int i = 0; i < n; i++) {
    pts[i].x = clamp16(pixx(xy[2 * i]));
    pts[i].y = clamp16(pixy(xy[2 * i + 1]));
  }
  XFillPolygon(drv.w.display, drv.buf.drwbl, drv.w.gc, pts.data(), n, Complex, CoordModeOrigin);
  pump();
}

void gxdtxt(char, float, float) {}

// ---- frames, buffers, screens, window ----

void gxdsfn() {
  if (!drv.w.display) return;
  int cls = (drv.geo.width <= 600 || drv.geo.height <= 420)
                ? 1
                : ((drv.geo.width <= 1000 || drv.geo.height <= 650) ? 2 : 3);
  if (cls == drv.font.gfont) return;
  drv.font.gfont = cls;
  if (drv.font.fonts[cls - 1]) XSetFont(drv.w.display, drv.w.gc, drv.font.fonts[cls - 1]->fid);
}

void gxdfrm(frame_action action) {
  using fa = frame_action;
  if (!drv.w.display) return;
  if (action == fa::serve_events) {
    gxdeve(false);
    XFlush(drv.w.display);
    return;
  }
  if (action == fa::wait || action == fa::clear || action == fa::graphics) {
    fill_background(drv.buf.drwbl);
    gxwdclr(0);
  }
  if (action != fa::graphics) {
    XEvent ev;
    while (XCheckWindowEvent(drv.w.display, drv.w.win, kEventMask | KeyPressMask, &ev)) {
      if (ev.type == ConfigureNotify && resized(ev)) {
        gxdsfn();
        if (action == fa::discard_events) gxdrdw();
      }
    }
    free_events();
  } else {
    gxdeve(false);
  }
  if (action == fa::wait || action == fa::clear) gxrswd(widget_sets_freed::front);
  if (action == fa::graphics) {
    // The widgets stay: drawn again, each registering its region afresh.
    drv.ev.rstate = 0;
    gxrdrw(0);
    drv.ev.rstate = 1;
  }
  XFlush(drv.w.display);
}

namespace {

// A pixmap of the window's size; 0, with the failure and its consequence
// printed, when the server refuses it.
Pixmap new_pixmap(const char* purpose, const char* consequence) {
  settle();
  Pixmap p =
      XCreatePixmap(drv.w.display, drv.w.win, static_cast<unsigned>(drv.geo.width),
                    static_cast<unsigned>(drv.geo.height), static_cast<unsigned>(drv.w.depth));
  if (synced()) return p;
  kaprntout("Error allocating pixmap for %s\n%s\n", purpose, consequence);
  return 0;
}

}  // namespace

void gxddbl() {
  if (!drv.w.display) return;
  Pixmap p = new_pixmap("animation mode", "Animation mode will not be enabled");
  if (!p) return;
  drv.buf.pmap = p;
  drv.buf.dblmode = 1;
  drv.buf.drwbl = drv.buf.pmap;
  fill_background(drv.buf.drwbl);
  gxrswd(widget_sets_freed::both);
  gxwdclr(0);
  gxwdclr(1);
}

void gxdsgl() {
  if (!drv.w.display) return;
  if (drv.buf.dblmode) {
    gxrswd(widget_sets_freed::both);
    gxwdclr(0);
    gxwdclr(1);
    XFreePixmap(drv.w.display, drv.buf.pmap);
    drv.buf.pmap = 0;
    drv.buf.drwbl = drv.w.win;
  }
  drv.buf.dblmode = 0;
}

void gxdswp() {
  if (!drv.w.display) return;
  if (drv.buf.dblmode)
    XCopyArea(drv.w.display, drv.buf.pmap, drv.w.win, drv.w.gc, 0, 0,
              static_cast<unsigned>(drv.geo.width), static_cast<unsigned>(drv.geo.height), 0, 0);
  fill_background(drv.buf.drwbl);
  if (drv.buf.dblmode) {
    // The finished frame's widgets go live with it.
    gxrswd(widget_sets_freed::front);
    gxcpwd();
    gxrswd(widget_sets_freed::back);
  }
}

void gxdrdw() {
  if (!drv.w.display) return;
  drv.ev.rstate = 0;
  fill_background(drv.buf.drwbl);
  gxwdclr(0);
  if (drv.buf.dblmode) {
    XFreePixmap(drv.w.display, drv.buf.pmap);
    drv.buf.pmap = new_pixmap("resize operation", "Animation mode will be disabled");
    if (!drv.buf.pmap) {
      drv.buf.dblmode = 0;
      drv.buf.drwbl = drv.w.win;
      drv.ev.rstate = 1;
      return;
    }
    drv.buf.drwbl = drv.w.win;
    fill_background(drv.w.win);
    fill_background(drv.buf.pmap);
    gxwdclr(1);
    gxhdrw(stored_frame::completed);
    drv.buf.dblmode = 0;  // the shown frame's widgets go onto the window
    gxrdrw(0);
    drv.buf.dblmode = 1;
    drv.buf.drwbl = drv.buf.pmap;
  }
  gxhdrw(stored_frame::drawing);
  gxrdrw(drv.buf.dblmode ? 1 : 0);
  drv.ev.rstate = 1;
}

void gxdxsz(int w, int h) {
  if (!drv.w.display || w < 1 || h < 1) return;
  XResizeWindow(drv.w.display, drv.w.win, static_cast<unsigned>(w), static_cast<unsigned>(h));
  synced();
}

void gxdssv(int n) {
  if (!drv.w.display || n < 0 || n >= kScreens) return;
  if (!drv.screens.pmaps[n]) {
    Pixmap p = new_pixmap("screen save operation", "Screen will not be saved");
    if (!p) return;
    drv.screens.pmaps[n] = p;
    drv.screens.pwide[n] = static_cast<unsigned>(drv.geo.width);
    drv.screens.phigh[n] = static_cast<unsigned>(drv.geo.height);
  }
  drv.screens.pfilld[n] = 1;
  XCopyArea(drv.w.display, drv.w.win, drv.screens.pmaps[n], drv.w.gc, 0, 0, drv.screens.pwide[n],
            drv.screens.phigh[n], 0, 0);
}

void gxdssh(int n) {
  if (!drv.w.display || n < 0 || n >= kScreens || !drv.screens.pfilld[n]) return;
  XCopyArea(drv.w.display, drv.screens.pmaps[n], drv.buf.drwbl, drv.w.gc, 0, 0,
            drv.screens.pwide[n], drv.screens.phigh[n], 0, 0);
}

void gxdsfr(int n) {
  if (!drv.w.display || n < 0 || n >= kScreens || !drv.screens.pfilld[n]) return;
  XFreePixmap(drv.w.display, drv.screens.pmaps[n]);
  drv.screens.pmaps[n] = 0;
  drv.screens.pfilld[n] = 0;
}

int win_data(int* out) {
  if (!drv.w.display || !drv.w.win) return 0;
  XWindowAttributes a;
  if (!XGetWindowAttributes(drv.w.display, drv.w.win, &a)) return 0;
  int x, y;
  Window child;
  if (!XTranslateCoordinates(drv.w.display, drv.w.win, RootWindow(drv.w.display, drv.w.snum), 0, 0,
                             &x, &y, &child))
    return 0;
  out[0] = static_cast<int>(drv.w.win);
  out[1] = x;
  out[2] = y;
  out[3] = a.width;
  out[4] = a.height;
  out[5] = a.border_width;
  return 1;
}

namespace {

int dump(Drawable d, const char* path) {
  xwd_dump xd{.dsp = drv.w.display, .scr = drv.w.snum};
  // Written beside the old dump and renamed over it only when complete.
  replacing_file out(path);
  if (!out.stream()) {
    std::fprintf(stderr, "Couldn't open outxwd argument for writing.\n  %s\n", out.error().c_str());
    return 1;
  }
  std::fflush(stderr);
  int rc = Window_Dump(xd, drv.w.win, out.stream());
  if (rc == 0) rc = Pixmap_Dump(xd, d, out.stream());
  bool write_failed = rc ? std::ferror(out.stream()) != 0 : !out.commit();
  if (rc && write_failed) out.write_failed(errno);
  if (write_failed) std::fprintf(stderr, "Write error on %s\n  %s\n", path, out.error().c_str());
  if (rc || write_failed) {
    synced();
    return 1;
  }
  return 0;
}

}  // namespace

int dump_back_buffer(const char* path) {
  if (!drv.w.display || !drv.buf.dblmode || !gxhpicturable(stored_frame::drawing)) return 1;
  return dump(drv.buf.pmap, path);
}

int dump_front_buffer(const char* path) {
  // While double buffering the window shows the completed frame.
  if (!drv.w.display ||
      !gxhpicturable(gxhdbmode() ? stored_frame::completed : stored_frame::drawing))
    return 1;
  return dump(drv.w.win, path);
}

// ---- events ----

int gxdeve(bool wait) {
  if (!drv.w.display) return 0;
  if (wait && !drv.ev.evbase.empty()) wait = false;
  int pending = 0, redrawn = 0;
  for (;;) {
    XEvent ev;
    bool got;
    if (wait && !pending) {
      XWindowEvent(drv.w.display, drv.w.win, kEventMask | KeyPressMask, &ev);
      got = true;
    } else {
      got = XCheckWindowEvent(drv.w.display, drv.w.win, kEventMask | KeyPressMask, &ev);
    }
    if (!got) {
      if (pending) {
        gxdsfn();
        gxdrdw();
        pending = 0;
        redrawn = 1;
        continue;
      }
      break;
    }
    switch (ev.type) {
      case Expose:
        if (drv.ev.excnt > 0)
          drv.ev.excnt--;
        else if (!drv.w.bsflg)
          pending = 1;
        break;
      case ConfigureNotify:
        if (resized(ev)) pending = 1;
        break;
      case ButtonPress: {
        mouse_event m;
        m.x = static_cast<float>(ev.xbutton.x) * drv.geo.xsize / static_cast<float>(drv.geo.width);
        m.y = drv.geo.ysize -
              static_cast<float>(ev.xbutton.y) * drv.geo.ysize / static_cast<float>(drv.geo.height);
        m.button = static_cast<int>(ev.xbutton.button);
        m.type = mouse_event_type::plain;
        try {
          drv.ev.evbase.push_back(m);
        } catch (const std::bad_alloc&) {
          kaprntout("Memory allocation error in event queue!!!!!!\n");
          return redrawn;
        }
        gxwdev(drv.ev.evbase.back(), ev.xbutton.x, ev.xbutton.y);
        wait = false;
        break;
      }
      default: break;
    }
  }
  return redrawn;
}

void gxdbtn(bool wait, float* x, float* y, int* button, mouse_event_type* type, int* ival,
            float* rval) {
  *x = -999.9f;
  *y = -999.9f;
  *button = -1;
  *type = mouse_event_type::none;
  if (!drv.w.display) return;
  gxdeve(wait);
  if (drv.ev.evbase.empty()) return;
  const mouse_event& m = drv.ev.evbase.front();
  *x = m.x;
  *y = m.y;
  *button = m.button;
  *type = m.type;
  if (ival) std::memcpy(ival, m.ival, sizeof m.ival);
  if (rval) std::memcpy(rval, m.rval, sizeof m.rval);
  drv.ev.evbase.pop_front();
}
