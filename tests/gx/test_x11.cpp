// The graphics window on a real X server (a private Xvfb): every case runs
// the graphics package in a child process that draws, dumps the window and
// exits; the test reads the dump back.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "gx/gx.h"
#include "gx/metafile.h"
#include "support/vemra_run.h"
#include "support/xvfb.h"

// Last: the X headers define macros that clash with names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "gx/xdriver.h"
#include "gx/xint.h"

using vemra_test::decode_xwd;
using vemra_test::read_file;
using vemra_test::TempDir;
using vemra_test::Xvfb;
using vemra_test::XwdImage;

namespace {

Xvfb& server(int depth) {
  static std::unique_ptr<Xvfb> s24, s8;
  auto& s = depth == 8 ? s8 : s24;
  if (!s) s = std::make_unique<Xvfb>(depth);
  return *s;
}

struct Child {
  int status = -1;
  std::string out;
};

struct WindowOptions {
  const char* geometry = "550x425+0+0";  // 50 pixels per inch both ways
  bool wide = false;
  bool batch = false;
  int depth = 24;
};

// Runs body with the graphics package started on the test server; its
// standard output is returned.
Child in_window(const TempDir& dir, const WindowOptions& o, const std::function<void()>& body) {
  std::string out = dir.file("child.out");
  std::string display = server(o.depth).display();
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    std::FILE* f = std::freopen(out.c_str(), "w", stdout);
    if (!f) _exit(126);
    setenv("DISPLAY", display.c_str(), 1);
    if (o.wide) gxwdln();
    if (o.geometry) gxdgeo(o.geometry);
    gxstrt(11, 8.5, o.batch);
    body();
    std::fflush(stdout);
    _exit(0);
  }
  Child c;
  int st = 0;
  waitpid(pid, &st, 0);
  c.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  c.out = read_file(out);
  return c;
}

XwdImage dump_of(const std::string& name) { return decode_xwd(read_file(name)); }

// Window pixels of page inches at 50 pixels per inch in a 425-row window.
int px(float x) { return static_cast<int>(x * 50 + 0.5f); }
int py(float y) { return 425 - static_cast<int>(y * 50 + 0.5f); }

// A connection of its own, as another client on the same server.
struct OtherClient {
  Display* d;
  explicit OtherClient(const std::string& name) : d(XOpenDisplay(name.c_str())) {}
  ~OtherClient() {
    if (d) XCloseDisplay(d);
  }
};

class X11Window : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server(24).ok()) GTEST_SKIP() << "Xvfb could not be started";
  }
  TempDir dir;
};

constexpr uint32_t kDefault[16] = {0x000000, 0xffffff, 0xfa3c3c, 0x00dc00, 0x1e3cff, 0x00c8c8,
                                   0xf00082, 0xe6dc32, 0xf08228, 0xa000c8, 0xa0e632, 0x00a0ff,
                                   0xe6af2d, 0x00d28c, 0x8200dc, 0xaaaa82};

uint32_t grey(int level) { return uint32_t(level) * 0x010101; }

void box(int colour, float xlo, float xhi, float ylo, float yhi) {
  gxcolr(colour);
  gxrecf(xlo, xhi, ylo, yhi);
}

// The colour under page point (x, y) inches.
uint32_t at(const XwdImage& im, float x, float y) { return im.rgb(px(x), py(y)); }

// Has every event the server owes the graphics package queued: the server
// handles a connection's requests in order, and an event it made for that
// connection (its own requests', or another client's that this process
// has synced) goes out before the reply to the sync.
void take_in_events() { XSync(xdrv::state().w.display, False); }

// Serves the window's events once they are all in, and says whether they
// made the graphics package redraw the window.
void serve_events() {
  take_in_events();
  std::printf(gxdeve(false) ? "redrawn\n" : "no redraw\n");
}

}  // namespace

TEST_F(X11Window, DefaultSizeAndGeometryFromTheFarEdges) {
  // Without a geometry: half the screen wide, the page's shape.
  std::string b = dir.file("b.xwd");
  WindowOptions o;
  o.geometry = nullptr;
  Child c = in_window(dir, o, [&] { dump_front_buffer(b.c_str()); });
  XwdImage im = dump_of(b);
  ASSERT_TRUE(im.valid) << c.out;
  EXPECT_EQ(im.width(), 512);
  EXPECT_EQ(im.height(), 512 * 85 / 110);
  EXPECT_EQ(im.rgb(256, 200), 0x000000u);  // black background

  // Placed from the right and bottom edges, border outside the screen size.
  o.geometry = "300x200-0-0";
  c = in_window(dir, o, [&] {
    int d[6];
    win_data(d);
    std::printf("win %d %d\n", d[1], d[2]);
  });
  EXPECT_NE(c.out.find("win 720 564\n"), std::string::npos) << c.out;

  // Sizes and places beyond what the protocol carries are held, not wrapped.
  o.geometry = "100000x70000+99999+0";
  c = in_window(dir, o, [&] {
    int d[6];
    win_data(d);
    std::printf("size %d %d\n", d[3], d[4]);
  });
  EXPECT_EQ(c.status, 0);
  EXPECT_NE(c.out.find("size 16384 16384\n"), std::string::npos) << c.out;
}

TEST_F(X11Window, FixedUserAndGreyColoursOnBothBackgrounds) {
  std::string a = dir.file("a.xwd"), b = dir.file("b.xwd");
  Child c = in_window(dir, {}, [&] {
    for (int i = 0; i < 16; i++) box(i, 0.5f + i * 0.6f, 0.9f + i * 0.6f, 1, 2);
    gxacol(20, 10, 20, 30);
    box(20, 1, 2, 3, 4);
    box(33, 3, 4, 3, 4);       // never defined
    gxacol(20, 200, 100, 50);  // redefined: the old cell goes, the new one is used
    box(20, 5, 6, 3, 4);
    box(-4, 7, 8, 3, 4);
    box(99, 9, 10, 3, 4);
    dump_front_buffer(a.c_str());
    gxdbck(true);
    gxfrme(frame_action::clear);  // cleared in the new background
    box(0, 1, 2, 1, 2);
    box(1, 3, 4, 1, 2);
    box(4, 5, 6, 1, 2);
    gxgrey(true);
    box(2, 1, 2, 3, 4);  // remapped to 14 on white: grey 65
    box(1, 3, 4, 3, 4);  // black on white is grey slot 100
    gxdbck(false);
    box(2, 5, 6, 3, 4);
    box(15, 7, 8, 3, 4);
    gxgrey(false);
    box(2, 9, 10, 3, 4);
    dump_front_buffer(b.c_str());
  });
  ASSERT_EQ(c.status, 0) << c.out;
  XwdImage im = dump_of(a), white = dump_of(b);
  ASSERT_TRUE(im.valid && white.valid);
  for (int i = 0; i < 16; i++) EXPECT_EQ(at(im, 0.7f + i * 0.6f, 1.5f), kDefault[i]) << i;
  // Below 0 is 0 (black on black: the background stays), 99 undefined is 15.
  const uint32_t want[5] = {0x0a141e, kDefault[15], 0xc86432, 0x000000, kDefault[15]};
  for (int k = 0; k < 5; k++) EXPECT_EQ(at(im, 1.5f + 2 * k, 3.5f), want[k]) << k;
  // On white colour 0 is white and 1 black.
  EXPECT_EQ(white.rgb(5, 5), 0xffffffu);
  const uint32_t row1[3] = {0xffffff, 0x000000, kDefault[4]};
  const uint32_t row3[5] = {grey(65), grey(0), grey(215), grey(177), kDefault[2]};
  for (int k = 0; k < 3; k++) EXPECT_EQ(at(white, 1.5f + 2 * k, 1.5f), row1[k]) << k;
  for (int k = 0; k < 5; k++) EXPECT_EQ(at(white, 1.5f + 2 * k, 3.5f), row3[k]) << k;
}

TEST_F(X11Window, FillPatternsAndThinRectangles) {
  std::string a = dir.file("a.xwd");
  Child c = in_window(dir, {}, [&] {
    gxcolr(2);
    gxptrn(fill_pattern::line, 1, 0);  // a row every 12 pixels
    gxrecf(1, 3, 1, 3);
    gxptrn(fill_pattern::dot, 5, 0);  // every other pixel of every other row
    gxrecf(4, 6, 1, 3);
    gxptrn(fill_pattern::line, 4, 15);   // refused
    gxptrn(fill_pattern::line, 4, -45);  // the 135-degree tile of 4 pixels
    float tri[8] = {1, 4, 3, 4, 3, 6, 1, 4};
    gxfill(tri, 4);
    gxptrn(fill_pattern::open, 1, 0);  // open: nothing
    gxrecf(4, 6, 4, 6);
    gxptrn(fill_pattern::dot, 9, 0);
    gxptrn(static_cast<fill_pattern>(7), 1, 0);  // no such pattern: refused
    gxptrn(fill_pattern::solid, 0, 0);
    gxrecf(7, 9, 4, 6);
    gxrecf(1, 3, 7, 7.005f);  // thinner than a pixel: a line
    dump_front_buffer(a.c_str());
  });
  ASSERT_EQ(c.status, 0) << c.out;
  EXPECT_NE(c.out.find("Error in angle specification: angle = 15\n"
                       "Error in density specification: density = 9\n"
                       "Error in fill specification: type = 7\n"),
            std::string::npos)
      << c.out;
  XwdImage im = dump_of(a);
  ASSERT_TRUE(im.valid);
  const uint32_t red = kDefault[2];
  // Pixels of a page box whose redness differs from the pattern's.
  auto mismatches = [&](float xlo, float xhi, float ylo, float yhi, auto pattern) {
    int bad = 0;
    for (int y = py(yhi); y <= py(ylo); y++)
      for (int x = px(xlo); x <= px(xhi); x++) bad += (im.rgb(x, y) == red) != pattern(x, y);
    return bad;
  };
  auto dots = [](int x, int y) { return x % 2 == 0 && y % 2 == 0; };
  EXPECT_EQ(mismatches(1.2f, 2.8f, 1.2f, 2.8f, [](int, int y) { return y % 12 == 0; }), 0)
      << "horizontal lines";
  EXPECT_EQ(mismatches(4.2f, 5.8f, 1.2f, 2.8f, dots), 0) << "dots";
  ASSERT_LT(px(2.6f), px(2.9f));
  EXPECT_EQ(mismatches(2.6f, 2.9f, 4.2f, 5.5f, [](int x, int y) { return x % 4 == y % 4; }), 0)
      << "diagonals";
  EXPECT_EQ(at(im, 5, 5), 0u);
  EXPECT_EQ(im.rgb(px(8) + 1, py(5) + 1), red);
  EXPECT_EQ(at(im, 2, 7), red);
}

namespace {

// Another client maps a window over the whole graphics window and takes it
// away again; the graphics package then serves its events.
void cover_and_uncover(const std::string& display) {
  {
    OtherClient o(display);
    if (!o.d) return;
    Window w = XCreateSimpleWindow(o.d, DefaultRootWindow(o.d), 0, 0, 700, 600, 0,
                                   WhitePixel(o.d, 0), WhitePixel(o.d, 0));
    XMapRaised(o.d, w);
    XSync(o.d, False);
    XDestroyWindow(o.d, w);
    XSync(o.d, False);
  }
  serve_events();
}

}  // namespace

TEST_F(X11Window, DoubleBufferingShowsFramesOnSwapAndSurvivesExposure) {
  std::string f1 = dir.file("f1.xwd"), b1 = dir.file("b1.xwd"), f2 = dir.file("f2.xwd"),
              b2 = dir.file("b2.xwd"), none = dir.file("none.xwd");
  std::string display = server(24).display();
  Child c = in_window(dir, {}, [&] {
    dump_back_buffer(none.c_str());  // not double buffering: no file
    box(3, 6, 7, 6, 7);              // on the window before buffering starts
    gxfrme(frame_action::double_buffer);
    box(2, 1, 2, 1, 2);
    dump_front_buffer(f1.c_str());
    dump_back_buffer(b1.c_str());
    gxfrme(frame_action::double_buffer);  // show it; draw the next one behind
    box(4, 3, 4, 1, 2);
    cover_and_uncover(display);  // both frames are drawn again
    dump_front_buffer(f2.c_str());
    dump_back_buffer(b2.c_str());
  });
  ASSERT_EQ(c.status, 0) << c.out;
  EXPECT_NE(c.out.find("redrawn\n"), std::string::npos) << c.out;
  EXPECT_FALSE(vemra_test::file_exists(none));
  // The colours at (1.5, 1.5), (3.5, 1.5) and (6.5, 6.5) in each dump: the
  // first swap cleared the window.
  const struct {
    std::string file;
    uint32_t want[3];
  } dumps[] = {{f1, {0, 0, 0}},
               {b1, {kDefault[2], 0, 0}},
               {f2, {kDefault[2], 0, 0}},
               {b2, {0, kDefault[4], 0}}};
  for (const auto& d : dumps) {
    XwdImage im = dump_of(d.file);
    ASSERT_TRUE(im.valid) << d.file;
    EXPECT_EQ(at(im, 1.5f, 1.5f), d.want[0]) << d.file;
    EXPECT_EQ(at(im, 3.5f, 1.5f), d.want[1]) << d.file;
    EXPECT_EQ(at(im, 6.5f, 6.5f), d.want[2]) << d.file;
  }
}

TEST_F(X11Window, ResizedWindowIsRedrawnFromTheDisplayList) {
  std::string b = dir.file("b.xwd");
  Child c = in_window(dir, {}, [&] {
    box(2, 1, 4, 1, 4);
    gxdxsz(880, 680);  // 80 pixels an inch: drawn again at the new scale
    serve_events();
    dump_front_buffer(b.c_str());
  });
  ASSERT_EQ(c.status, 0) << c.out;
  EXPECT_NE(c.out.find("redrawn\n"), std::string::npos) << c.out;
  XwdImage im = dump_of(b);
  ASSERT_TRUE(im.valid);
  EXPECT_EQ(im.width(), 880);
  EXPECT_EQ(im.height(), 680);
  EXPECT_EQ(im.rgb(88, 680 - 88), kDefault[2]);
  EXPECT_EQ(im.rgb(312, 680 - 312), kDefault[2]);
  EXPECT_EQ(im.rgb(322, 680 - 240), 0u);  // past the old right edge of the box
  EXPECT_EQ(im.rgb(240, 680 - 322), 0u);
}

TEST_F(X11Window, MouseClicksAreQueuedAndTaken) {
  std::string display = server(24).display();
  Child c = in_window(dir, {}, [&] {
    int d[6];
    if (!win_data(d)) return;
    OtherClient o(display);
    if (!o.d) return;
    for (int k = 0; k < 2; k++) {
      XEvent ev{};
      ev.xbutton.type = ButtonPress;
      ev.xbutton.window = static_cast<Window>(d[0]);
      ev.xbutton.x = 100 + 50 * k;
      ev.xbutton.y = 125;
      ev.xbutton.button = 3 - k;
      ev.xbutton.same_screen = True;
      XSendEvent(o.d, static_cast<Window>(d[0]), False, ButtonPressMask, &ev);
    }
    XSync(o.d, False);
    take_in_events();  // both, not just the first
    float x, y, rval[4];
    int button, ival[10];
    mouse_event_type type;
    for (int k = 0; k < 3; k++) {
      gxdbtn(k == 0, &x, &y, &button, &type, ival, rval);
      std::printf("click %g %g %d %d\n", x, y, button, static_cast<int>(type));
    }
  });
  ASSERT_EQ(c.status, 0) << c.out;
  // Pixel (100, 125) of a 550 x 425 window on an 11 x 8.5 page.
  EXPECT_NE(c.out.find("click 2 6 3 0\nclick 3 6 2 0\nclick -999.9 -999.9 -1 -1\n"),
            std::string::npos)
      << c.out;
}

TEST_F(X11Window, DumpFailuresLeaveNoFileAndTheSessionGoesOn) {
  std::string b = dir.file("b.xwd"), ok = dir.file("ok.xwd");
  WindowOptions o;
  o.geometry = "300x200+2000+2000";  // wholly off the screen
  Child c = in_window(dir, o, [&] {
    dump_front_buffer(b.c_str());
    std::printf("still here\n");
  });
  EXPECT_NE(c.out.find("still here\n"), std::string::npos);
  EXPECT_FALSE(vemra_test::file_exists(b));

  // Partly off the screen: the image covers just the part on it. The name
  // was taken away by another client.
  std::string display = server(24).display();
  o.geometry = "300x200+900+700";
  c = in_window(dir, o, [&] {
    int d[6];
    OtherClient other(display);
    if (!win_data(d) || !other.d) return;
    XStoreName(other.d, static_cast<Window>(d[0]), "");
    XSync(other.d, False);
    dump_front_buffer(ok.c_str());
  });
  XwdImage im = dump_of(ok);
  ASSERT_TRUE(im.valid);
  EXPECT_EQ(im.name, "xwdump");
  EXPECT_EQ(im.width(), 1024 - 904);
  EXPECT_EQ(im.height(), 768 - 704);
  EXPECT_EQ(im.h[20], uint32_t(1024 - 904));  // window width in the header
  EXPECT_EQ(im.h[22], 904u);
  EXPECT_EQ(im.h[23], 704u);

  // A frame the display list had no room for all of is not dumped (redrawn
  // from the list the window would lack the rest): the old file stays. While
  // double buffering the back buffer holds the frame being drawn and the
  // window the completed one.
  const struct {
    const char* what;
    bool back;    // the back buffer, else the window
    bool dumped;  // else refused
  } dumps[] = {
      {"the window, cut", false, false},
      {"the back buffer, cut", true, false},
      {"the window, the cut frame completed", false, false},
      {"the back buffer, the next frame", true, true},
  };
  std::vector<std::string> names;
  for (size_t k = 0; k < std::size(dumps); k++) {
    names.push_back(dir.file(std::to_string(k) + ".xwd"));
    vemra_test::write_file(names.back(), "old");
  }
  c = in_window(dir, {}, [&] {
    gxhlimits(100, 2);
    auto dump = [&](size_t k) {
      const bool back = dumps[k].back;
      const int rc =
          back ? dump_back_buffer(names[k].c_str()) : dump_front_buffer(names[k].c_str());
      std::printf("%s: %d\n", dumps[k].what, rc);
    };
    for (int i = 0; i < 500; i++) box(2, 1, 2, 1, 2);
    dump(0);
    gxfrme(frame_action::double_buffer);
    for (int i = 0; i < 500; i++) box(2, 1, 2, 1, 2);
    dump(1);
    gxfrme(frame_action::double_buffer);
    box(4, 3, 4, 1, 2);
    dump(2);
    dump(3);
  });
  ASSERT_EQ(c.status, 0) << c.out;
  for (size_t k = 0; k < names.size(); k++) {
    SCOPED_TRACE(dumps[k].what);
    EXPECT_NE(c.out.find(dumps[k].what + std::string(dumps[k].dumped ? ": 0\n" : ": 1\n")),
              std::string::npos)
        << c.out;
    if (dumps[k].dumped) {
      EXPECT_TRUE(dump_of(names[k]).valid);
    } else {
      EXPECT_EQ(read_file(names[k]), "old");
    }
  }
  EXPECT_NE(c.out.find("The display list had no room for all of this frame"), std::string::npos)
      << c.out;
}
