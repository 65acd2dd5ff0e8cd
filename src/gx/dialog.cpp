// The dialog: a modal text-entry box on the graphics window with an
// optional prompt, keyboard editing, mouse selection and an optional check
// that the entry is a number.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "gx/widgets.h"
#include "gx/xdriver.h"
#include "gx/xint.h"

using namespace xdrv;

namespace {

// The text, the newline and the terminating zero fit in 512 bytes.
constexpr std::size_t kMaxText = 510;

enum class dialog_layout { single_line = 0, standard = 1, two_line = 2 };

int text_width(XFontStruct* f, const std::string& s, std::size_t n) {
  if (!f) return 0;
  return XTextWidth(f, s.c_str(), static_cast<int>(std::min(n, s.size())));
}

bool is_e(char c) { return c == 'e' || c == 'E'; }
bool is_sign(char c) { return c == '+' || c == '-'; }

// Where a numeric entry is at fault: the characters from..to-1 of t to be
// selected, after t may have grown by a "0" or a "#". False when t is a
// number (possibly after a "0" was put before a leading ".").
bool number_fault(std::string& t, std::size_t room, std::size_t* from, std::size_t* to) {
  auto count = [&](auto pred) { return std::count_if(t.begin(), t.end(), pred); };
  auto last = [&](auto pred) {  // 1-based position of the last match, 0 none
    for (std::size_t i = t.size(); i > 0; i--)
      if (pred(t[i - 1])) return i;
    return std::size_t{0};
  };
  auto ch = [](char c) { return [c](char x) { return x == c; }; };
  const auto n_dot = count(ch('.')), n_e = count(is_e), n_plus = count(ch('+')),
             n_minus = count(ch('-')), n_hash = count(ch('#'));
  const std::size_t p_dot = last(ch('.')), p_e = last(is_e), p_plus = last(ch('+')),
                    p_minus = last(ch('-')), p_hash = last(ch('#'));
  const bool digits = std::any_of(t.begin(), t.end(), [](char c) { return c >= '0' && c <= '9'; });
  int code = 0;
  std::size_t sel = 0;  // 1-based position of the one character to select
  if (n_dot == 1 &&
      (p_dot == 1 || (p_dot >= 2 && is_sign(t[p_dot - 2]) && (p_dot == 2 || is_e(t[p_dot - 3])))))
    code = 1;
  if (n_dot > 1) code = 2, sel = p_dot;
  if (n_e == 1 && p_plus > p_e + 1) code = 3, sel = p_plus;
  if (n_e == 1 && p_minus > p_e + 1) code = 4, sel = p_minus;
  if (p_plus > 1 && (n_e == 0 || p_plus < p_e)) code = 5, sel = p_plus;
  if (p_minus > 1 && (n_e == 0 || p_minus < p_e)) code = 6, sel = p_minus;
  if (n_dot == 1 && n_e > 0 && p_dot > p_e) code = 7, sel = p_dot;
  const std::size_t n = t.size();
  if (n > 0 && (is_e(t[n - 1]) || (n > 1 && is_sign(t[n - 1]) && is_e(t[n - 2])))) code = 8;
  if (!digits || (n > 0 && is_e(t[0])) || (n > 1 && is_e(t[1]) && (t[0] == '.' || is_sign(t[0]))))
    code = 9;
  if (n_plus > 2) code = 10, sel = p_plus;
  if (n_minus > 2) code = 11, sel = p_minus;
  if (n_e > 1) code = 12, sel = p_e;
  if (n_hash > 0) code = 13, sel = p_hash;
  std::size_t letter = 0;
  for (std::size_t i = 0; i < n && !letter; i++) {
    const char c = t[i];
    if (((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) && !is_e(c)) letter = i + 1;
  }
  if (letter) code = 14;
  switch (code) {
    case 0: return false;
    case 1:
      if (t.size() < room) t.insert(p_dot - 1, "0");
      return false;
    case 8:
      if (t.size() < room) t += '#';
      *from = t.size() - 1, *to = t.size();
      return true;
    case 9:
      if (t.size() < room) t.insert(0, "#");
      *from = 0, *to = std::min<std::size_t>(1, t.size());
      return true;
    case 14: *from = letter <= 2 ? 0 : letter - 2, *to = t.size(); return true;
    default: *from = sel - 1, *to = sel; return true;
  }
}

class dialog_box {
 public:
  explicit dialog_box(const dialog_request& r) : req_(r) {
    pc_ = r.pc < 0 ? 1 : r.pc;
    fc_ = r.fc < 0 ? 0 : r.fc;
    bc_ = r.bc < 0 ? 15 : r.bc;
    oc_ = r.oc < 0 ? 1 : r.oc;
    split_text();
  }
  std::string run();

 private:
  void split_text();
  void place();
  void draw_box();
  void draw_line();
  void outline(Window w, GC g);
  void key(XKeyEvent& ev);
  bool check_number();
  int pos_at(int d, int slack) const;

  const dialog_request& req_;
  int pc_, fc_, bc_, oc_;
  dialog_layout layout_ = dialog_layout::standard;
  std::string prompt_, buf_;
  bool has_sep_ = false, slash_ = false;
  std::size_t min_ = 0, s_ = 0, e_ = 0;
  bool failed_ = false;
  XFontStruct* up_ = nullptr;
  XFontStruct* sl_ = nullptr;
  int a_ = 0, tw_ = 0, X_ = 0, Y_ = 0, W_ = 1, H_ = 1;
  int area_top_ = 1, baseline_ = 0;
  Window box_ = 0;
  GC bgc_ = nullptr;
  window_patch under_;
  Pixmap copy_ = 0;
};

void dialog_box::split_text() {
  std::string t = req_.text.substr(
      0, static_cast<std::size_t>(std::clamp(req_.len, 0, static_cast<int>(req_.text.size()))));
  t = t.substr(0, t.find('\0'));
  if (t.size() > kMaxText) t.resize(kMaxText);
  slash_ = t.find('/') != std::string::npos;
  const bool positioned = req_.x >= 0 || req_.y >= 0 || req_.w >= 0 || req_.h >= 0;
  layout_ = !positioned ? dialog_layout::standard
                        : (slash_ ? dialog_layout::two_line : dialog_layout::single_line);
  const std::size_t sep = t.find_first_of("|/");
  std::string entry;
  if (sep == std::string::npos) {
    if (layout_ == dialog_layout::standard)
      prompt_ = t;
    else
      entry = t;
  } else {
    has_sep_ = true;
    prompt_ = sep == 0 ? "" : t.substr(0, sep) + " ";
    std::size_t at = sep + 1;
    while (at < t.size() && (t[at] == ' ' || t[at] == '/' || t[at] == '|')) at++;
    entry = t.substr(at);
  }
  if (layout_ == dialog_layout::single_line && has_sep_ && !prompt_.empty()) {
    buf_ = prompt_ + entry;
    min_ = prompt_.size();
  } else {
    buf_ = entry;
  }
  if (buf_.size() > kMaxText) buf_.resize(kMaxText);
  s_ = e_ = buf_.size();
}

void dialog_box::place() {
  x_state& xs = xdrv::state();
  up_ = class_font(false);
  sl_ = class_font(true);
  a_ = up_ ? up_->ascent : 10;
  const bool inline_prompt = layout_ == dialog_layout::single_line;
  const int pw = inline_prompt ? 0 : text_width(sl_, prompt_, prompt_.size());
  const int ew = text_width(up_, buf_, buf_.size());
  int tw = slash_ ? std::max(pw, ew) : pw + ew;
  if (inline_prompt) tw = ew;
  if (slash_) a_ = static_cast<int>(static_cast<float>(a_) * 1.8f);
  tw_ = tw;
  if (req_.h < 0)
    H_ = 5 * a_ > xs.geo.height ? xs.geo.height * 3 / 4 : 5 * a_;
  else if (req_.h == 0)
    H_ = static_cast<int>(static_cast<float>(a_) * 1.8f);
  else
    H_ = pixh(req_.h);
  if (req_.w < 0)
    W_ = 2 * xs.geo.width / 3;
  else if (req_.w == 0)
    W_ = static_cast<int>(static_cast<float>(tw) + 1.5f * static_cast<float>(a_));
  else
    W_ = pixw(req_.w);
  W_ = std::clamp(W_, 8, 16384);
  H_ = std::clamp(H_, 4, 16384);
  X_ = req_.x < 0 ? (xs.geo.width - W_) / 2
                  : pixels(req_.x * xs.geo.xscl + 0.5f - static_cast<float>(W_) / 2);
  Y_ = req_.y < 0 ? (xs.geo.height - H_) / 2
                  : pixels(static_cast<float>(xs.geo.height) -
                           (req_.y * xs.geo.yscl + 0.5f + static_cast<float>(H_) / 2));
  // A box wholly off the window could never be seen, pointed at or typed
  // into: it comes onto the window at the nearest edges.
  if (X_ + W_ <= 0 || X_ >= xs.geo.width || Y_ + H_ <= 0 || Y_ >= xs.geo.height) {
    X_ = std::clamp(X_, 0, std::max(xs.geo.width - W_, 0));
    Y_ = std::clamp(Y_, 0, std::max(xs.geo.height - H_, 0));
  }
  if (layout_ == dialog_layout::single_line) {
    area_top_ = 1;
    baseline_ = (H_ - 2 + a_) / 2;
  } else if (layout_ == dialog_layout::standard) {
    area_top_ = 2 * a_ + 1;
    baseline_ = 4 * a_;
  } else {
    area_top_ = H_ / 2;
    baseline_ = 6 * H_ / 7;
  }
}

void dialog_box::outline(Window w, GC g) {
  x_state& xs = xdrv::state();
  XSetForeground(xs.w.display, g, pixel_of(oc_));
  XDrawRectangle(xs.w.display, w, g, 0, 0, static_cast<unsigned>(W_ - 1),
                 static_cast<unsigned>(H_ - 1));
  if (req_.thick > 5)
    XDrawRectangle(xs.w.display, w, g, 1, 1, static_cast<unsigned>(W_ - 3),
                   static_cast<unsigned>(H_ - 3));
}

void dialog_box::draw_box() {
  x_state& xs = xdrv::state();
  XSetForeground(xs.w.display, bgc_, pixel_of(bc_));
  XFillRectangle(xs.w.display, box_, bgc_, 0, 0, static_cast<unsigned>(W_),
                 static_cast<unsigned>(H_));
  outline(box_, bgc_);
  if (layout_ != dialog_layout::single_line) {
    if (sl_) XSetFont(xs.w.display, bgc_, sl_->fid);
    const int px = (W_ - tw_) / 2;
    const int py = layout_ == dialog_layout::standard ? 2 * a_ : 3 * H_ / 7;
    const int n = static_cast<int>(prompt_.size());
    XSetForeground(xs.w.display, bgc_, xs.col.cvals[0]);
    XDrawString(xs.w.display, box_, bgc_, px, py, prompt_.c_str(), n);
    XSetForeground(xs.w.display, bgc_, pixel_of(pc_));
    XDrawString(xs.w.display, box_, bgc_, px - 1, py - 1, prompt_.c_str(), n);
  }
  if (up_) XSetFont(xs.w.display, bgc_, up_->fid);
  draw_line();
}

void dialog_box::draw_line() {
  x_state& xs = xdrv::state();
  const int bottom = H_ - 2;
  const int area_h = bottom - area_top_ + 1 - 2;
  XSetForeground(xs.w.display, bgc_, pixel_of(bc_));
  if (area_h > 0 && W_ > 4)
    XFillRectangle(xs.w.display, box_, bgc_, 2, area_top_ + 1, static_cast<unsigned>(W_ - 4),
                   static_cast<unsigned>(area_h));
  const int tw = text_width(up_, buf_, buf_.size());
  int x0 = tw + a_ < W_ ? (W_ - tw) / 2 : W_ - tw - a_ / 2;
  if (layout_ == dialog_layout::single_line && min_ > 0 && tw + a_ < W_) x0 = a_ / 2;
  const int ws = text_width(up_, buf_, s_);
  const char* t = buf_.c_str();
  if (s_ == e_) {
    if (x0 + ws < 1) x0 = -ws;
    XSetForeground(xs.w.display, bgc_, pixel_of(fc_));
    XDrawString(xs.w.display, box_, bgc_, x0, baseline_, t, static_cast<int>(buf_.size()));
    XDrawString(xs.w.display, box_, bgc_, x0 + ws, baseline_, "|", 1);
  } else {
    const int we = text_width(up_, buf_, e_);
    XSetForeground(xs.w.display, bgc_, pixel_of(fc_));
    XDrawString(xs.w.display, box_, bgc_, x0, baseline_, t, static_cast<int>(s_));
    XSetForeground(xs.w.display, bgc_, pixel_of(failed_ ? 2 : fc_));
    if (area_h > 0 && we > ws)
      XFillRectangle(xs.w.display, box_, bgc_, x0 + ws, area_top_ + 1,
                     static_cast<unsigned>(we - ws), static_cast<unsigned>(area_h));
    XSetForeground(xs.w.display, bgc_, pixel_of(bc_));
    XDrawString(xs.w.display, box_, bgc_, x0 + ws, baseline_, t + s_, static_cast<int>(e_ - s_));
    if (area_h > 0 && W_ - 2 > x0 + we)
      XFillRectangle(xs.w.display, box_, bgc_, x0 + we, area_top_ + 1,
                     static_cast<unsigned>(W_ - 2 - (x0 + we)), static_cast<unsigned>(area_h));
    XSetForeground(xs.w.display, bgc_, pixel_of(fc_));
    XDrawString(xs.w.display, box_, bgc_, x0 + we, baseline_, t + e_,
                static_cast<int>(buf_.size() - e_));
    outline(box_, bgc_);
  }
  if (!xs.w.bsflg && copy_)
    XCopyArea(xs.w.display, box_, copy_, bgc_, 0, 0, static_cast<unsigned>(W_),
              static_cast<unsigned>(H_), 0, 0);
  XFlush(xs.w.display);
}

// A text position from a pointer offset d within the box, as if the text
// were centred.
int dialog_box::pos_at(int d, int slack) const {
  const int len = static_cast<int>(buf_.size());
  const int tw = text_width(up_, buf_, buf_.size());
  int p;
  if (2 * d <= W_ - tw || tw <= 0)
    p = 0;
  else if (2 * d >= W_ + tw)
    p = len;
  else
    p = (d - (W_ - tw) / 2 + slack) * len / tw;
  return std::clamp(p, static_cast<int>(min_), len);
}

bool dialog_box::check_number() {
  std::string t = buf_.substr(min_);
  std::size_t from = 0, to = 0;
  const bool fault = number_fault(t, kMaxText - min_, &from, &to);
  buf_ = buf_.substr(0, min_) + t;
  if (!fault) return true;
  s_ = min_ + from;
  e_ = min_ + to;
  failed_ = true;
  return false;
}

void dialog_box::key(XKeyEvent& ev) {
  char text[81] = {};
  KeySym sym = 0;
  const int n = XLookupString(&ev, text, 80, &sym, nullptr);
  const std::size_t len = buf_.size();
  auto cut = [&] {
    if (s_ < e_) buf_.erase(s_, e_ - s_);
  };
  switch (sym) {
    case XK_BackSpace:
      if (s_ > min_) {
        if (s_ == e_)
          buf_.erase(s_ - 1, 1);
        else
          cut();
        s_--;
        e_ = s_;
      }
      return;
    case XK_Delete:
      if (s_ == e_ && s_ < len)
        buf_.erase(s_, 1);
      else
        cut();
      if (s_ == buf_.size() && s_ > min_) s_--;
      e_ = s_;
      return;
    case XK_Left:
    case XK_KP_Left:
      if (s_ > min_) {
        if (s_ == e_) e_--;
        s_--;
      }
      return;
    case XK_Right:
    case XK_KP_Right:
      if (s_ < len) {
        if (s_ == e_) e_++;
        s_++;
      }
      return;
    case XK_Down:
    case XK_KP_Down:
      if (s_ < e_) e_--;
      return;
    case XK_Up:
    case XK_KP_Up:
      if (e_ < len) e_++;
      return;
    default: break;
  }
  if (n < 1) return;
  const char c = text[0];
  if (c < 32 || c > 126) return;
  if (req_.numeric && !((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || is_e(c)))
    return;
  // Typing over a selection replaces it; the text never outgrows its buffer.
  if (len - (e_ - s_) >= kMaxText) return;
  cut();
  buf_.insert(s_, 1, c);
  s_++;
  e_ = s_;
}

std::string dialog_box::run() {
  x_state& xs = xdrv::state();
  place();
  // Without backing store the whole window is kept, to repaint it after an
  // exposure while the box is up.
  under_ =
      xs.w.bsflg ? window_patch(X_, Y_, W_, H_) : window_patch(0, 0, xs.geo.width, xs.geo.height);
  XSetWindowAttributes wa{};
  wa.save_under = True;
  wa.event_mask = KeyPressMask | ExposureMask | StructureNotifyMask;
  box_ = XCreateWindow(xs.w.display, xs.w.win, X_, Y_, static_cast<unsigned>(W_),
                       static_cast<unsigned>(H_), 0, CopyFromParent, InputOutput, CopyFromParent,
                       CWSaveUnder | CWEventMask, &wa);
  bgc_ = XCreateGC(xs.w.display, box_, 0, nullptr);
  XSetForeground(xs.w.display, bgc_, pixel_of(oc_));
  XSetLineAttributes(xs.w.display, bgc_, 0, LineSolid, CapButt, JoinBevel);
  if (!xs.w.bsflg)
    copy_ = XCreatePixmap(xs.w.display, box_, static_cast<unsigned>(W_), static_cast<unsigned>(H_),
                          static_cast<unsigned>(DefaultDepth(xs.w.display, xs.w.snum)));
  XMapWindow(xs.w.display, box_);
  wait_exposed(box_, X_, Y_, W_, H_);
  draw_box();
  Time last_press = 0;
  bool have_press = false, double_click = false;
  for (bool done = false; !done;) {
    XEvent ev;
    XMaskEvent(xs.w.display,
               KeyPressMask | ButtonPressMask | ButtonReleaseMask | ButtonMotionMask |
                   ExposureMask | StructureNotifyMask,
               &ev);
    const std::size_t len = buf_.size();
    switch (ev.type) {
      case Expose:
      case GraphicsExpose:
        if (xs.ev.excnt > 0) xs.ev.excnt--;
        if (ev.type == Expose && !xs.w.bsflg) {
          under_.put_back();
          if (copy_)
            XCopyArea(xs.w.display, copy_, box_, bgc_, 0, 0, static_cast<unsigned>(W_),
                      static_cast<unsigned>(H_), 0, 0);
          XFlush(xs.w.display);
        }
        continue;
      case ButtonPress: {
        const int d = ev.xbutton.x - X_;
        if (have_press && ev.xbutton.time - last_press < 300) {
          s_ = min_;
          e_ = len;
          double_click = true;
        } else if (len > 0) {
          s_ = static_cast<std::size_t>(pos_at(d, 4));
          e_ = s_;
          double_click = false;
        }
        last_press = ev.xbutton.time;
        have_press = true;
        break;
      }
      case ButtonRelease:
      case MotionNotify: {
        if (len > 0 && !double_click) {
          const int x = ev.type == MotionNotify ? ev.xmotion.x : ev.xbutton.x;
          e_ = static_cast<std::size_t>(pos_at(x - X_, 8));
          if (e_ < s_) std::swap(s_, e_);
        }
        break;
      }
      case KeyPress: {
        KeySym sym = XLookupKeysym(&ev.xkey, 0);
        if (sym == XK_Return || sym == XK_Linefeed || sym == XK_KP_Enter) {
          if (!req_.numeric || check_number()) done = true;
        } else {
          failed_ = false;
          key(ev.xkey);
        }
        break;
      }
      default: continue;
    }
    if (buf_.empty()) s_ = e_ = min_;
    if (!done) draw_line();
  }
  XUnmapWindow(xs.w.display, box_);
  XDestroyWindow(xs.w.display, box_);
  XFreeGC(xs.w.display, bgc_);
  gxdsfn();
  XSelectInput(xs.w.display, xs.w.win, kEventMask);
  under_.put_back();
  under_ = window_patch();
  if (!xs.w.bsflg) {
    if (copy_) XFreePixmap(xs.w.display, copy_);
    xs.ev.excnt++;
  }
  XFlush(xs.w.display);
  std::string out = buf_;
  if (req_.numeric) out.erase(std::remove(out.begin(), out.end(), '+'), out.end());
  if (layout_ == dialog_layout::single_line && min_ > 0)
    out = out.substr(std::min(min_, out.size()));
  return out + "\n";
}

}  // namespace

std::string gxdlg(const dialog_request& request) {
  x_state& xs = xdrv::state();
  if (!xs.w.display) return "";
  dialog_box box(request);
  return box.run();
}
