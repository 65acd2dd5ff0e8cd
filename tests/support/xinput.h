// A second X client that plays the user: it finds the program's windows and
// sends them synthetic mouse and key events (XSendEvent).
#pragma once

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace vemra_test {

class XUser {
 public:
  explicit XUser(const std::string& display) : d_(XOpenDisplay(display.c_str())) {
    // A pop-up may close between listing it and asking about it.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  }
  ~XUser() {
    if (d_) XCloseDisplay(d_);
  }
  XUser(const XUser&) = delete;
  XUser& operator=(const XUser&) = delete;
  bool ok() const { return d_ != nullptr; }
  Display* display() const { return d_; }

  // The graphics window; the events below take pixels inside it.
  void attach(Window w) { main_ = w; }

  struct Box {
    Window w = 0;
    int x = 0, y = 0, width = 0, height = 0;  // inside the graphics window
  };

  // The mapped child windows of the graphics window (pop-ups, the dialog),
  // oldest first.
  std::vector<Box> children() {
    std::vector<Box> out;
    Window root, parent, *kids = nullptr;
    unsigned n = 0;
    if (!XQueryTree(d_, main_, &root, &parent, &kids, &n)) return out;
    for (unsigned i = 0; i < n; i++) {
      XWindowAttributes a;
      if (XGetWindowAttributes(d_, kids[i], &a) && a.map_state == IsViewable)
        out.push_back({kids[i], a.x, a.y, a.width, a.height});
    }
    if (kids) XFree(kids);
    return out;
  }

  // Waits (up to 10 s) until at least n children are mapped.
  std::vector<Box> wait_children(std::size_t n) {
    for (int i = 0; i < 1000; i++) {
      std::vector<Box> c = children();
      if (c.size() >= n) return c;
      usleep(10000);
    }
    return children();
  }

  // Waits (up to 10 s) until no child is mapped: the pop-ups and the dialog
  // have closed.
  bool wait_no_children() {
    return wait_until([this] { return children().empty(); });
  }

  // Waits (up to 10 s) until done() holds.
  template <class Done>
  bool wait_until(Done done) {
    for (int i = 0; i < 1000; i++) {
      if (done()) return true;
      usleep(10000);
    }
    return false;
  }

  // What a window shows, pixel by pixel ("" when it cannot be read).
  std::string pixels(const Box& b) { return grab(b.w, 0, 0, b.width, b.height); }
  // What the graphics window shows where a child of it lies, the child's
  // own pixels included.
  std::string pixels_under(const Box& b) { return grab(main_, b.x, b.y, b.width, b.height); }

  void press(int x, int y, unsigned button = 1) { send_button(ButtonPress, x, y, button); }
  void release(int x, int y, unsigned button = 1) { send_button(ButtonRelease, x, y, button); }
  void click(int x, int y, unsigned button = 1) {
    press(x, y, button);
    release(x, y, button);
  }
  void motion(int x, int y) {
    XEvent ev{};
    fill_common(ev, MotionNotify, x, y);
    ev.xmotion.state = Button1Mask;
    ev.xmotion.is_hint = NotifyNormal;
    XSendEvent(d_, main_, False, ButtonMotionMask | PointerMotionMask | Button1MotionMask, &ev);
    XFlush(d_);
  }

  void key(Window to, KeySym sym) {
    XEvent ev{};
    fill_common(ev, KeyPress, 0, 0);
    ev.xkey.window = to;
    ev.xkey.keycode = XKeysymToKeycode(d_, sym);
    if (XkbKeycodeToKeysym(d_, static_cast<KeyCode>(ev.xkey.keycode), 0, 0) != sym)
      ev.xkey.state = ShiftMask;
    XSendEvent(d_, to, False, KeyPressMask, &ev);
    XFlush(d_);
  }
  void type(Window to, const std::string& text) {
    for (char c : text) key(to, static_cast<KeySym>(static_cast<unsigned char>(c)));
  }

 private:
  std::string grab(Window w, int x, int y, int width, int height) {
    XImage* im = XGetImage(d_, w, x, y, static_cast<unsigned>(width), static_cast<unsigned>(height),
                           AllPlanes, ZPixmap);
    if (!im) return "";
    std::string out(im->data, static_cast<std::size_t>(im->bytes_per_line) * im->height);
    XDestroyImage(im);
    return out;
  }
  void fill_common(XEvent& ev, int type, int x, int y) {
    int ox = 0, oy = 0;
    Window child;
    XTranslateCoordinates(d_, main_, DefaultRootWindow(d_), 0, 0, &ox, &oy, &child);
    time_ += gap_;
    ev.type = type;
    ev.xbutton.display = d_;
    ev.xbutton.window = main_;
    ev.xbutton.root = DefaultRootWindow(d_);
    ev.xbutton.subwindow = None;
    ev.xbutton.time = time_;
    ev.xbutton.x = x;
    ev.xbutton.y = y;
    ev.xbutton.x_root = ox + x;
    ev.xbutton.y_root = oy + y;
    ev.xbutton.same_screen = True;
  }
  void send_button(int type, int x, int y, unsigned button) {
    XEvent ev{};
    fill_common(ev, type, x, y);
    ev.xbutton.button = button;
    XSendEvent(d_, main_, False, type == ButtonPress ? ButtonPressMask : ButtonReleaseMask, &ev);
    XFlush(d_);
  }

  Display* d_;
  Window main_ = 0;
  Time time_ = 1000;
  unsigned long gap_ = 1000;
};

}  // namespace vemra_test
