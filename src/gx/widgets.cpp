// Push buttons and rubber-band regions on the graphics window, the two
// widget sets that follow double buffering, and the hot-region tables
// through which the event pump hands a mouse press to a widget.
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>

#include "gx/widgetset.h"
#include "base/message.h"
#include "gx/xdriver.h"

using namespace xdrv;

namespace {

int clamp_len(int len, const std::string& text) {
  return std::clamp(len, 0, static_cast<int>(text.size()));
}

void fill_box(Drawable d, int colour, int x, int y, int w, int h) {
  x_state& xs = xdrv::state();
  if (colour < 0 || w <= 0 || h <= 0) return;
  XSetForeground(xs.w.display, xs.w.gc, pixel_of(colour));
  XFillRectangle(xs.w.display, d, xs.w.gc, x, y, static_cast<unsigned>(w),
                 static_cast<unsigned>(h));
}

// Draws button n of a set onto d; with a template (every redraw but
// stored) the record first takes from it what the redraw asks.
void draw_button(int set, int n, const button_widget* templ, button_redraw redraw, int state,
                 Drawable d) {
  x_state& xs = xdrv::state();
  widget_set& ws = widget_sets(set);
  button_widget& b = ws.btn[n];
  if (redraw == button_redraw::create && templ) {
    b = *templ;
    b.number = n;
    b.len = clamp_len(b.len, b.text);
  }
  widget_entry* e = nullptr;
  if (redraw == button_redraw::create || xs.ev.rstate == 0) {
    e = new_entry(set);
    if (!e) {
      kaprntout("Error: Too many widgets on screen\n");
      return;
    }
  }
  if (b.number < 0) return;
  if (state >= 0) b.state = state;
  if ((redraw == button_redraw::with_text || redraw == button_redraw::with_colours) && templ) {
    if (!templ->text.empty()) {
      b.text = templ->text;  // the old label goes
      b.len = clamp_len(templ->len, b.text);
    }
    if (redraw == button_redraw::with_colours) {
      b.fc = templ->fc, b.bc = templ->bc, b.oc = templ->oc, b.oc2 = templ->oc2;
      b.tfc = templ->tfc, b.tbc = templ->tbc, b.toc = templ->toc, b.toc2 = templ->toc2;
    }
  }
  const int cx = pixx(b.x), cy = pixy(b.y);
  const int w = pixw(b.w) - 2;
  const int h = pixh(b.h) - 2;
  b.xlo = cx - w / 2 + 1;
  b.ylo = cy - h / 2 + 1;
  b.xhi = b.xlo + w;
  b.yhi = b.ylo + h;
  const bool on = b.state == 1;
  const int fc = on ? b.tfc : b.fc, bc = on ? b.tbc : b.bc;
  const int oc = on ? b.toc : b.oc, oc2 = on ? b.toc2 : b.oc2;
  solid_fill();
  fill_box(d, bc, b.xlo, b.ylo, w, h);
  const int keep = xs.pen.lwidth;
  gxdwid(b.thick);
  widget_line(d, oc, b.xlo, b.yhi, b.xhi, b.yhi);
  widget_line(d, oc, b.xhi, b.yhi, b.xhi, b.ylo);
  widget_line(d, oc2, b.xhi, b.ylo, b.xlo, b.ylo);
  widget_line(d, oc2, b.xlo, b.ylo, b.xlo, b.yhi);
  const int len = clamp_len(b.len, b.text);
  if (fc >= 0 && len > 0) {
    XFontStruct* f = class_font(false);
    std::string label = b.text.substr(0, static_cast<std::size_t>(len));
    int tw = 0, ascent = 0;
    if (f) {
      XSetFont(xs.w.display, xs.w.gc, f->fid);
      tw = XTextWidth(f, label.c_str(), len);
      ascent = f->ascent;
    }
    XSetForeground(xs.w.display, xs.w.gc, pixel_of(fc));
    XDrawString(xs.w.display, d, xs.w.gc, cx - tw / 2, cy + ascent * 5 / 9, label.c_str(), len);
  }
  gxdwid(keep);
  restore_fill();
  XSetForeground(xs.w.display, xs.w.gc, xs.col.cvals[xs.pen.lcolor]);
  if (e) *e = {widget_kind::button, b.xlo, b.xhi, b.ylo, b.yhi, -1, n};
  XFlush(xs.w.display);
}

// The click of a button: a pressed look until the mouse button is
// released, then the other state.
void press_button(mouse_event& ev, int n) {
  x_state& xs = xdrv::state();
  button_widget& b = widget_sets(0).btn[n];
  ev.type = mouse_event_type::button;
  ev.ival[0] = n;
  const bool on = b.state == 1;
  ev.ival[1] = on ? 0 : 1;
  const int f1 = on ? b.toc : b.oc, f2 = on ? b.toc2 : b.oc2;
  const bool mirrored = on && b.oc == b.toc2 && b.oc2 == b.toc;
  if (!mirrored && f1 >= 0 && f2 >= 0) {
    const int keep = xs.pen.lwidth;
    solid_fill();
    gxdwid(b.thick);
    widget_line(xs.w.win, f2, b.xlo, b.yhi, b.xhi, b.yhi);
    widget_line(xs.w.win, f2, b.xhi, b.yhi, b.xhi, b.ylo);
    widget_line(xs.w.win, f1, b.xhi, b.ylo, b.xlo, b.ylo);
    widget_line(xs.w.win, f1, b.xlo, b.ylo, b.xlo, b.yhi);
    gxdwid(keep);
    restore_fill();
    XSetForeground(xs.w.display, xs.w.gc, xs.col.cvals[xs.pen.lcolor]);
    XFlush(xs.w.display);
  }
  XEvent e;
  do {
    XMaskEvent(xs.w.display, ButtonMotionMask | ButtonReleaseMask, &e);
  } while (e.type != ButtonRelease);
  b.state = on ? 0 : 1;
  draw_button(0, n, nullptr, button_redraw::stored, -1, xs.w.win);
}

void define_band(int set, int n, band_shape shape, float xlo, float ylo, float xhi, float yhi,
                 int filter) {
  widget_entry* e = new_entry(set);
  if (!e) return;  // a full table: the band is silently not registered
  *e = {widget_kind::rband, pixx(xlo), pixx(xhi), pixy(yhi), pixy(ylo), filter, n};
  widget_sets(set).rbb[n] = {n, filter, xlo, xhi, ylo, yhi, shape};
}

// A drag in a rubber-band region: an elastic box or line held inside the
// region until the mouse button is released.
void drag_band(mouse_event& ev, const widget_entry& en, int px, int py) {
  x_state& xs = xdrv::state();
  const rubber_band& r = widget_sets(0).rbb[en.number];
  ev.type = mouse_event_type::rubber_band;
  ev.ival[0] = en.number;
  const int left = en.xlo, right = en.xhi, top = en.ylo, bottom = en.yhi;
  solid_fill();
  XSetFunction(xs.w.display, xs.w.gc, GXxor);
  XSetForeground(xs.w.display, xs.w.gc, xs.col.cvals[0] ^ xs.col.cvals[1]);
  int fig[4] = {0, 0, 0, 0};
  bool drawn = false;
  auto figure = [&] {
    if (r.shape == band_shape::box)
      XDrawRectangle(xs.w.display, xs.w.win, xs.w.gc, fig[0], fig[1],
                     static_cast<unsigned>(fig[2] - fig[0]),
                     static_cast<unsigned>(fig[3] - fig[1]));
    else
      XDrawLine(xs.w.display, xs.w.win, xs.w.gc, fig[0], fig[1], fig[2], fig[3]);
  };
  XEvent e;
  for (;;) {
    XMaskEvent(xs.w.display, ButtonMotionMask | ButtonReleaseMask, &e);
    if (e.type != MotionNotify) break;
    if (drawn) figure();
    fig[0] = std::max(std::min(px, e.xmotion.x), left);
    fig[2] = std::min(std::max(px, e.xmotion.x), right);
    fig[1] = std::max(std::min(py, e.xmotion.y), top);
    fig[3] = std::min(std::max(py, e.xmotion.y), bottom);
    figure();
    drawn = true;
  }
  if (drawn) figure();
  XSetForeground(xs.w.display, xs.w.gc, xs.col.cvals[xs.pen.lcolor]);
  XSetFunction(xs.w.display, xs.w.gc, GXcopy);
  restore_fill();
  XFlush(xs.w.display);
  const int rx = std::clamp(e.xbutton.x, left, right), ry = std::clamp(e.xbutton.y, top, bottom);
  ev.rval[0] = static_cast<float>(rx) * xs.geo.xsize / static_cast<float>(xs.geo.width);
  ev.rval[1] =
      xs.geo.ysize - static_cast<float>(ry) * xs.geo.ysize / static_cast<float>(xs.geo.height);
}

bool in_use(const widget_set& ws, const widget_entry& e) {
  switch (e.kind) {
    case widget_kind::button: return ws.btn[e.number].number == e.number;
    case widget_kind::rband: return ws.rbb[e.number].number == e.number;
    case widget_kind::dropmenu: return ws.dmu[e.number].number == e.number;
    default: return false;
  }
}

}  // namespace

widget_entry* new_entry(int set) {
  widget_set& ws = widget_sets(set);
  if (ws.obnum >= kHotRegions) return nullptr;
  return &ws.obj[ws.obnum++];
}

void widget_line(Drawable d, int colour, int x1, int y1, int x2, int y2) {
  x_state& xs = xdrv::state();
  if (colour < 0) return;
  XSetForeground(xs.w.display, xs.w.gc, pixel_of(colour));
  XDrawLine(xs.w.display, d, xs.w.gc, x1, y1, x2, y2);
}

int gxdwin() { return xdrv::state().w.display ? 1 : 0; }

void gxwdin() {
  for (int set = 0; set < 2; set++) widget_sets(set) = widget_set{};
}

void gxwdclr(int set) {
  for (auto& e : widget_sets(set).obj) e.kind = widget_kind::free;
  widget_sets(set).obnum = 0;
}

void gxrswd(widget_sets_freed which) {
  auto clear = [](widget_set& ws) {
    for (auto& b : ws.btn) b = button_widget{};
    for (auto& r : ws.rbb) r = rubber_band{};
    for (auto& m : ws.dmu) m = drop_menu{};
  };
  if (which != widget_sets_freed::back) clear(widget_sets(0));
  if (which != widget_sets_freed::front) clear(widget_sets(1));
}

void gxcpwd() {
  widget_set &front = widget_sets(0), &back = widget_sets(1);
  for (int i = 0; i < kButtons; i++)
    if (back.btn[i].number >= 0) front.btn[i] = std::move(back.btn[i]);
  for (int i = 0; i < kBands; i++)
    if (back.rbb[i].number >= 0) front.rbb[i] = back.rbb[i];
  for (int i = 0; i < kMenus; i++)
    if (back.dmu[i].number >= 0) front.dmu[i] = std::move(back.dmu[i]);
  gxwdclr(0);
  front.obnum = back.obnum;
  std::copy(back.obj, back.obj + kHotRegions, front.obj);
  gxwdclr(1);
}

void gxrdrw(int set) {
  widget_set& ws = widget_sets(set);
  for (int i = 0; i < kButtons; i++)
    if (ws.btn[i].number >= 0)
      draw_button(set, i, nullptr, button_redraw::stored, -1, set_drawable(set));
  for (int i = 0; i < kBands; i++) {
    const rubber_band r = ws.rbb[i];
    if (r.number >= 0) define_band(set, i, r.shape, r.xlo, r.ylo, r.xhi, r.yhi, r.filter);
  }
  for (int i = 0; i < kMenus; i++)
    if (ws.dmu[i].number >= 0) draw_menu_head(set, i, false);
}

void gxwdev(mouse_event& ev, int px, int py) {
  widget_set& ws = widget_sets(0);
  for (int i = 0; i < ws.obnum && ws.obj[i].kind != widget_kind::free; i++) {
    const widget_entry& e = ws.obj[i];
    if (!(e.xlo < px && px < e.xhi && e.ylo < py && py < e.yhi)) continue;
    if (e.filter >= 0 && e.filter != ev.button) continue;
    if (!in_use(ws, e)) continue;
    if (e.kind == widget_kind::button) {
      press_button(ev, e.number);
    } else if (e.kind == widget_kind::rband) {
      drag_band(ev, e, px, py);
    } else {
      for (int r = gxevdm(ev, i); r >= 0;) r = gxevdm(ev, r);
    }
    return;
  }
}

void gxdpbn(int n, button_widget* templ, button_redraw redraw, bool onwindow, int state) {
  x_state& xs = xdrv::state();
  if (!xs.w.display || n < 0 || n >= kButtons) return;
  const int set = (xs.buf.dblmode && !onwindow) ? 1 : 0;
  draw_button(set, n, templ, redraw, state, xs.buf.dblmode && onwindow ? xs.w.win : xs.buf.drwbl);
}

void gxdrbb(int n, band_shape shape, float xlo, float ylo, float xhi, float yhi, int filter) {
  x_state& xs = xdrv::state();
  if (!xs.w.display || n < 0 || n >= kBands || !(xlo < xhi) || !(ylo < yhi)) return;
  define_band(current_set(), n, shape, xlo, ylo, xhi, yhi, filter);
}

void gxrs1wd(widget_type type, int n) {
  x_state& xs = xdrv::state();
  if (!xs.w.display) return;
  static const int limits[4] = {0, kButtons, kBands, kMenus};
  const int kind = static_cast<int>(type);
  if (kind < 1 || kind > 3 || n < 0 || n >= limits[kind]) return;
  widget_set& ws = widget_sets(0);
  const auto k = static_cast<widget_kind>(kind);
  for (int i = 0; i < ws.obnum && ws.obj[i].kind != widget_kind::free; i++)
    if (ws.obj[i].kind == k && ws.obj[i].number == n) {
      ws.obj[i].kind = widget_kind::removed;
      break;
    }
  // Its image stays until the next clear; it no longer reacts.
  if (type == widget_type::button)
    ws.btn[n] = button_widget{};
  else if (type == widget_type::rubber_band)
    ws.rbb[n] = rubber_band{};
  else
    ws.dmu[n] = drop_menu{};
}
