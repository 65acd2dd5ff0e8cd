// Drop menus: a head on the window whose press opens a pop-up list of
// items; an item may open a cascade menu, up to four levels deep. The
// chosen path goes back through the mouse-click queue.
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "gx/widgetset.h"
#include "base/message.h"
#include "gx/xdriver.h"

using namespace xdrv;

namespace {

constexpr int kLevels = 4;
constexpr int kDone = -999, kBack = -99;

// The open levels of one press on a menu head; lives for the press.
struct cascade_state {
  int dmi1[kLevels], dmi2[kLevels], dmj1[kLevels], dmj2[kLevels];  // pop-up box, pixels
  int dmnum[kLevels], dmsel[kLevels], dmcur[kLevels];  // menu, row chosen + 1, row opened
  int dmrecu = -1;                                     // deepest open level
  cascade_state() {
    for (int l = 0; l < kLevels; l++) reset_level(l);
  }
  void reset_level(int l) {
    dmi1[l] = dmi2[l] = dmj1[l] = dmj2[l] = dmnum[l] = dmsel[l] = dmcur[l] = -1;
  }
};

int bands(int thick) { return thick <= 5 ? 1 : (thick <= 11 ? 2 : 3); }

struct menu_item {
  std::string text;  // as shown
  int cascade = -1;  // menu it opens; -1 none
};

// Cascade number of a marker (">NN>", or ">NNN>" with a first digit 0 or
// 1) starting at s[i], with the position of its closing ">"; -1 when there
// is none there.
int marker_at(const std::string& s, std::size_t i, std::size_t* close) {
  auto digit = [&](std::size_t k) { return k < s.size() && s[k] >= '0' && s[k] <= '9'; };
  auto num = [&](std::size_t k) { return s[k] - '0'; };
  if (s[i] != '>' || !digit(i + 1) || !digit(i + 2)) return -1;
  if (i + 3 < s.size() && s[i + 3] == '>') {
    *close = i + 3;
    return num(i + 1) * 10 + num(i + 2);
  }
  if (digit(i + 3) && (s[i + 1] == '0' || s[i + 1] == '1') && i + 4 < s.size() && s[i + 4] == '>') {
    *close = i + 4;
    return num(i + 1) * 100 + num(i + 2) * 10 + num(i + 3);
  }
  return -1;
}

// The items of a menu: its pieces after the head's label (all pieces of a
// cascade menu). A marker counts only with more menu text after it.
std::vector<menu_item> items_of(const drop_menu& m) {
  const int len = std::clamp(m.len, 0, static_cast<int>(m.text.size()));
  const std::string all = m.text.substr(0, static_cast<std::size_t>(len));
  std::vector<menu_item> out;
  std::size_t at = 0;
  bool first = !m.cascade;
  while (at < all.size()) {
    std::size_t end = all.find('\0', at);
    if (end == std::string::npos) end = all.size();
    if (!first) {
      menu_item it;
      std::size_t shown = end - at;
      for (std::size_t i = at; i < end; i++) {
        std::size_t close = 0;
        int c = marker_at(all, i, &close);
        if (c >= 0 && close + 1 < all.size()) {
          it.cascade = c;
          // The blank before the marker is not shown either.
          shown = i > at ? i - at - 1 : 0;
          break;
        }
      }
      it.text = all.substr(at, shown);
      out.push_back(it);
    }
    first = false;
    at = end + 1;
  }
  return out;
}

// A cascade menu that may open below level l: defined, with items, and
// within the four levels.
bool openable(int c, int l) {
  if (c < 0 || c >= kMenus || l + 1 >= kLevels) return false;
  const drop_menu& m = widget_sets(0).dmu[c];
  return m.number == c && !items_of(m).empty();
}

// The head in the given colours on d; cy the label's centre row.
void paint_head(Drawable d, const drop_menu& m, int fc, int bc, int oc1, int oc2, int cy) {
  x_state& xs = xdrv::state();
  solid_fill();
  if (bc >= 0) {
    XSetForeground(xs.w.display, xs.w.gc, pixel_of(bc));
    XFillRectangle(xs.w.display, d, xs.w.gc, m.xlo, m.ylo,
                   static_cast<unsigned>(std::max(m.xhi - m.xlo + 1, 1)),
                   static_cast<unsigned>(std::max(m.yhi - m.ylo + 1, 1)));
  }
  const int keep = xs.pen.lwidth;
  gxdwid(1);
  for (int i = 0; i < bands(m.thick); i++) {
    widget_line(d, oc1, m.xlo + i, m.yhi - i, m.xhi - i, m.yhi - i);
    widget_line(d, oc1, m.xhi - i, m.yhi - i, m.xhi - i, m.ylo + i);
    widget_line(d, oc2, m.xhi - i, m.ylo + i, m.xlo + i, m.ylo + i);
    widget_line(d, oc2, m.xlo + i, m.ylo + i, m.xlo + i, m.yhi - i);
  }
  gxdwid(keep);
  if (fc >= 0) {
    const int len = std::clamp(m.len, 0, static_cast<int>(m.text.size()));
    std::string label = m.text.substr(0, static_cast<std::size_t>(len));
    label = label.substr(0, label.find('\0'));
    XFontStruct* f = class_font(true);
    const int ascent = f ? f->ascent : 0;
    if (f) XSetFont(xs.w.display, xs.w.gc, f->fid);
    XSetForeground(xs.w.display, xs.w.gc, pixel_of(fc));
    XDrawString(xs.w.display, d, xs.w.gc, m.xlo + ascent / 2, cy + ascent * 5 / 9, label.c_str(),
                static_cast<int>(label.size()));
    if (XFontStruct* up = class_font(false)) XSetFont(xs.w.display, xs.w.gc, up->fid);
  }
  restore_fill();
  XSetForeground(xs.w.display, xs.w.gc, xs.col.cvals[xs.pen.lcolor]);
}

// One open pop-up window.
struct popup {
  Window w = 0;
  GC pgc = nullptr;
  window_patch under;  // what it covers
  int x1 = 0, y1 = 0, W = 0, H = 0, R = 1;
};

void pline(const popup& p, int colour, int x1, int y1, int x2, int y2) {
  x_state& xs = xdrv::state();
  if (colour < 0) return;
  XSetForeground(xs.w.display, p.pgc, pixel_of(colour));
  XDrawLine(xs.w.display, p.w, p.pgc, x1, y1, x2, y2);
}

void arrow(const popup& p, int k, int c1, int c2) {
  const int a = p.R / 5, yc = (k + 1) * p.R - p.R / 2, W = p.W;
  pline(p, c2, W - 3 * a, yc + a, W - 3 * a, yc - a);
  pline(p, c2, W - 3 * a, yc - a, W - a, yc);
  pline(p, c1, W - a, yc, W - 3 * a, yc + a);
}

// The selection outline of row k in (c1, c2); the arrow of a marked item
// with its colours exchanged while selected.
void outline_row(const popup& p, const drop_menu& m, const menu_item& it, int k, bool on) {
  const int t = bands(m.thick), W = p.W;
  const int ytop = k * p.R + t, ybot = (k + 1) * p.R - t - 1;
  const int c2 = on ? m.soc2 : m.bbc, c1 = on ? m.soc1 : m.bbc;
  pline(p, c2, t, ytop, t, ybot);
  pline(p, c2, t, ytop, W - t - 1, ytop);
  pline(p, c1, W - t - 1, ytop, W - t - 1, ybot);
  pline(p, c1, t, ybot, W - t - 1, ybot);
  if (it.cascade >= 0) {
    if (on)
      arrow(p, k, m.soc2, m.soc1);
    else
      arrow(p, k, m.soc1, m.soc2);
  }
}

popup open_popup(const drop_menu& m, const std::vector<menu_item>& items, int x1, int y1, int W,
                 int H, int R) {
  x_state& xs = xdrv::state();
  popup p;
  p.x1 = x1, p.y1 = y1, p.W = W, p.H = H, p.R = R;
  p.under = window_patch(x1, y1, W, H);
  XSetWindowAttributes wa{};
  wa.save_under = True;
  wa.event_mask =
      ButtonPressMask | ButtonReleaseMask | ButtonMotionMask | ExposureMask | StructureNotifyMask;
  p.w = XCreateWindow(xs.w.display, xs.w.win, x1, y1, static_cast<unsigned>(W),
                      static_cast<unsigned>(H), 0, CopyFromParent, InputOutput, CopyFromParent,
                      CWSaveUnder | CWEventMask, &wa);
  p.pgc = XCreateGC(xs.w.display, p.w, 0, nullptr);
  XSetForeground(xs.w.display, p.pgc, xs.col.cvals[1]);
  XSetLineAttributes(xs.w.display, p.pgc, static_cast<unsigned>(bands(m.thick)), LineSolid, CapButt,
                     JoinBevel);
  XMapWindow(xs.w.display, p.w);
  wait_exposed(p.w, x1, y1, W, H);
  if (m.bbc >= 0) {
    XSetForeground(xs.w.display, p.pgc, pixel_of(m.bbc));
    XFillRectangle(xs.w.display, p.w, p.pgc, 0, 0, static_cast<unsigned>(W),
                   static_cast<unsigned>(H));
  }
  pline(p, m.boc1, 0, H - 1, W - 1, H - 1);
  pline(p, m.boc1, W - 1, H - 1, W - 1, 0);
  pline(p, m.boc2, W - 1, 0, 0, 0);
  pline(p, m.boc2, 0, 0, 0, H - 1);
  if (XFontStruct* f = class_font(true)) XSetFont(xs.w.display, p.pgc, f->fid);
  for (std::size_t k = 0; k < items.size(); k++) {
    const int row = static_cast<int>(k);
    if (m.bfc >= 0) {
      XSetForeground(xs.w.display, p.pgc, pixel_of(m.bfc));
      XDrawString(xs.w.display, p.w, p.pgc, R / 4, (row + 1) * R - R / 3, items[k].text.c_str(),
                  static_cast<int>(items[k].text.size()));
    }
    if (items[k].cascade >= 0) arrow(p, row, m.soc1, m.soc2);
  }
  XFlush(xs.w.display);
  return p;
}

void close_popup(popup& p) {
  x_state& xs = xdrv::state();
  XUnmapWindow(xs.w.display, p.w);
  XDestroyWindow(xs.w.display, p.w);
  XFreeGC(xs.w.display, p.pgc);
  p.under.put_back();
  p.under = window_patch();
  if (!xs.w.bsflg) xs.ev.excnt++;  // the unmapping exposes the window once
  XFlush(xs.w.display);
}

// The pointer of an event in the graphics window's pixels.
void pointer_of(const XEvent& ev, int ox, int oy, int* x, int* y) {
  if (ev.type == MotionNotify)
    *x = ev.xmotion.x_root - ox, *y = ev.xmotion.y_root - oy;
  else
    *x = ev.xbutton.x_root - ox, *y = ev.xbutton.y_root - oy;
}

// Opens one pop-up level for menu m and tracks the pointer: -999 when the
// level is done, -99 when the pointer went back onto another row of an
// enclosing level, or the hot-region entry of another menu head.
int popdm(cascade_state& cs, const drop_menu& m, int entry, int xleft, int xright, int ytop) {
  x_state& xs = xdrv::state();
  const int L = ++cs.dmrecu;
  const std::vector<menu_item> items = items_of(m);
  const int count = static_cast<int>(items.size());
  XFontStruct* f = class_font(true);
  const int ascent = f ? f->ascent : 8;
  const int R = std::max(2 * ascent, 1);
  int W = 0;
  bool marked = false;
  for (const menu_item& it : items) {
    const int tw = f ? XTextWidth(f, it.text.c_str(), static_cast<int>(it.text.size())) : 0;
    W = std::max(W, tw + ascent);
    marked = marked || it.cascade >= 0;
  }
  if (marked) W += f ? XTextWidth(f, "xxx", 3) : 3 * ascent;
  W = std::max(W, 1);
  const int H = R * count;
  int x1 = xright, x2 = x1 + W, y1 = ytop, y2 = y1 + H;
  if (x2 > xs.geo.width) {
    x2 = marked ? xright - W : xleft;
    x1 = x2 - W;
  }
  if (y2 > xs.geo.height) {
    y2 = xs.geo.height;
    y1 = xs.geo.height - H;
  }
  cs.dmi1[L] = x1, cs.dmi2[L] = x2, cs.dmj1[L] = y1, cs.dmj2[L] = y2;
  cs.dmnum[L] = m.number;
  if (count == 0) {
    // Nothing to choose from: no pop-up, no choice.
    cs.dmsel[L] = 0;
    cs.dmrecu--;
    return kDone;
  }
  popup p = open_popup(m, items, x1, y1, W, H, R);
  int ox = 0, oy = 0;
  Window child;
  XTranslateCoordinates(xs.w.display, xs.w.win, RootWindow(xs.w.display, xs.w.snum), 0, 0, &ox, &oy,
                        &child);
  auto row_at = [&](int px, int py, int l) {
    if (px < cs.dmi1[l] || px > cs.dmi2[l] || py < cs.dmj1[l] || py > cs.dmj2[l]) return -1;
    return (py - cs.dmj1[l]) / R;
  };
  // A cascade of item k opened below its row; the level ends unless the
  // pointer came back to this level.
  auto cascade = [&](int k) {
    cs.dmcur[L] = k;
    return popdm(cs, widget_sets(0).dmu[items[static_cast<std::size_t>(k)].cascade], entry, x1, x2,
                 y1 + k * R + 1);
  };
  int r = kDone, prev = -1, c = 0, k = -1;
  bool first = true;
  for (;;) {
    XEvent ev;
    XMaskEvent(xs.w.display, ButtonPressMask | ButtonReleaseMask | ButtonMotionMask, &ev);
    int px, py;
    pointer_of(ev, ox, oy, &px, &py);
    if (first || ev.type == ButtonPress) {
      const bool was_first = first;
      first = false;
      k = std::min(row_at(px, py, L), count - 1);
      if (k >= 0 && openable(items[static_cast<std::size_t>(k)].cascade, L)) {
        const int rc = cascade(k);
        if (rc != kBack) {
          if (cs.dmsel[L + 1] < 1) k = -2;
          prev = k;
          r = rc;
          break;
        }
        // Back on this level: the cascade's level keeps what it reported.
      }
      r = kDone;
      if (!was_first && ev.type == ButtonPress) {
        prev = k;
        break;
      }
    }
    if (ev.type == ButtonRelease) {
      if (k < 0) continue;
      prev = k;
      break;
    }
    if (ev.type != MotionNotify) continue;
    // A motion, the first event of the level included.
    k = std::min(row_at(px, py, L), count - 1);
    if (k < 0)
      for (int l = 0; l < L; l++) {
        const int row = row_at(px, py, l);
        if (row >= 0 && row != cs.dmcur[l]) r = kBack;
      }
    if (r == kBack) {
      // The motion belongs to the enclosing level, which tracks it next.
      XPutBackEvent(xs.w.display, &ev);
      prev = -1;
      break;
    }
    if (k != prev) {
      if (k >= 0) outline_row(p, m, items[static_cast<std::size_t>(k)], k, true);
      if (prev >= 0) outline_row(p, m, items[static_cast<std::size_t>(prev)], prev, false);
      XFlush(xs.w.display);
      c = 0;
    }
    if (c > 3 && k >= 0 && k == prev && openable(items[static_cast<std::size_t>(k)].cascade, L)) {
      const int rc = cascade(k);
      if (rc != kBack) {
        if (cs.dmsel[L + 1] < 1) k = prev = -2;
        r = rc;
        break;
      }
      r = kDone;
    }
    if (k == prev) c++;
    prev = k;
    if (k == -1) {
      const widget_set& front = widget_sets(0);
      for (int i = 0; i < front.obnum && front.obj[i].kind != widget_kind::free; i++) {
        const widget_entry& e = front.obj[i];
        if (e.kind == widget_kind::dropmenu && i != entry && e.xlo < px && px < e.xhi &&
            e.ylo < py && py < e.yhi) {
          r = i;
          break;
        }
      }
      if (r >= 0) break;
    }
  }
  cs.dmsel[L] = prev + 1;
  // An item that only opens a cascade is no choice by itself.
  if (prev >= 0 && items[static_cast<std::size_t>(prev)].cascade >= 0 && L + 1 < kLevels &&
      cs.dmsel[L + 1] < 0)
    cs.dmsel[L] = -1;
  close_popup(p);
  cs.dmrecu--;
  return r;
}

}  // namespace

void draw_menu_head(int set, int n, bool fresh) {
  x_state& xs = xdrv::state();
  drop_menu& m = widget_sets(set).dmu[n];
  if (m.number < 0 || m.cascade) return;
  widget_entry* e = nullptr;
  if (fresh || xs.ev.rstate == 0) {
    e = new_entry(set);
    if (!e) {
      kaprntout("Error: Too many widgets on screen\n");
      return;
    }
  }
  const int cx = pixx(m.x), cy = pixy(m.y);
  const int W = pixw(m.w), H = pixh(m.h);
  m.xlo = cx - (W - 2) / 2 + 1;
  m.ylo = cy - (H - 2) / 2 + 1;
  m.xhi = m.xlo + W - 2;
  m.yhi = m.ylo + H - 2;
  paint_head(set_drawable(set), m, m.fc, m.bc, m.oc1, m.oc2, cy);
  if (e) *e = {widget_kind::dropmenu, m.xlo, m.xhi, m.ylo, m.yhi, -1, n};
  XFlush(xs.w.display);
}

int gxevdm(mouse_event& ev, int entry) {
  x_state& xs = xdrv::state();
  const widget_entry& e = widget_sets(0).obj[entry];
  const drop_menu& m = widget_sets(0).dmu[e.number];
  ev.type = mouse_event_type::drop_menu;
  const int cy = (m.yhi - m.ylo) / 2 + m.ylo - 1;
  if (m.tbc >= 0 && m.tfc >= 0)
    paint_head(xs.w.win, m, m.tfc, m.tbc, m.toc1, m.toc2, cy);
  else
    paint_head(xs.w.win, m, -1, -1, m.toc1, m.toc2, cy);
  XFlush(xs.w.display);
  cascade_state cs;
  const int r = popdm(cs, m, entry, e.xlo, e.xlo, e.yhi);
  gxdsfn();
  paint_head(xs.w.win, m, m.fc, m.bc, m.oc1, m.oc2, cy);
  XFlush(xs.w.display);
  for (int l = 0; l < kLevels; l++) {
    if (cs.dmsel[l] < 0) cs.dmnum[l] = -1;
    ev.ival[2 * l] = cs.dmnum[l];
    ev.ival[2 * l + 1] = cs.dmsel[l];
  }
  return r;
}

void gxdrmu(int n, drop_menu* templ, menu_redraw redraw, int) {
  x_state& xs = xdrv::state();
  if (!xs.w.display || n < 0 || n >= kMenus) return;
  const int set = current_set();
  drop_menu& m = widget_sets(set).dmu[n];
  if (redraw == menu_redraw::create && templ) {
    m = *templ;
    m.number = n;
    m.len = std::clamp(m.len, 0, static_cast<int>(m.text.size()));
  }
  draw_menu_head(set, n, redraw == menu_redraw::create);
}
