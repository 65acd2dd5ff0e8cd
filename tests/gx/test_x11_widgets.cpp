// Widget records handed to the graphics package directly, with what the
// command layer never produces: text lengths below zero count as no text.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gx/gx.h"
#include "gx/widgets.h"
#include "support/vemra_run.h"
#include "support/xvfb.h"

// Last: the X headers define macros that clash with names above.
#include "support/xinput.h"

using namespace vemra_test;

TEST(X11WidgetRecords, NegativeTextLengthsCountAsNoText) {
  Xvfb server(24);
  if (!server.ok()) GTEST_SKIP() << "Xvfb could not be started";
  TempDir dir;
  const std::string out = dir.file("child.out"), dump = dir.file("b.xwd");
  std::fflush(stdout);
  pid_t pid = fork();
  if (pid == 0) {
    if (!std::freopen(out.c_str(), "w", stdout)) _exit(126);
    setenv("DISPLAY", server.display().c_str(), 1);
    gxdgeo("550x425+0+0");
    gxstrt(11, 8.5, false);
    button_widget b;
    b.x = 2, b.y = 2, b.w = 1.4f, b.h = 0.6f;
    b.fc = 1, b.bc = 2;
    b.text = "Hidden";
    b.len = -3;
    gxdpbn(1, &b, button_redraw::create, false, -1);
    dump_front_buffer(dump.c_str());
    drop_menu m;
    m.x = 1, m.y = 8, m.w = 1.2f, m.h = 0.4f;
    m.text = std::string("File\0Open\0Quit", 14);
    m.len = -1;
    gxdrmu(5, &m, menu_redraw::create, -1);
    int d[6];
    win_data(d);
    std::printf("window %d\n", d[0]);
    std::fflush(stdout);
    float x, y, rv[4];
    int button, iv[10];
    mouse_event_type type;
    gxdbtn(true, &x, &y, &button, &type, iv, rv);
    std::printf("menu %d %d %d %d\n", static_cast<int>(type), iv[0], iv[1], iv[2]);
    std::fflush(stdout);
    dialog_request r;
    r.x = 5, r.y = 4, r.w = 4, r.h = 0.5f;  // one line: the text is the entry
    r.text = "abc";
    r.len = -4;
    std::printf("dialog [%s]\n", gxdlg(r).c_str());
    std::fflush(stdout);
    _exit(0);
  }
  XUser user(server.display());
  ASSERT_TRUE(user.ok());
  std::string text;
  for (int i = 0; i < 1000 && text.find("window ") == std::string::npos; i++, usleep(10000))
    text = read_file(out);
  ASSERT_NE(text.find("window "), std::string::npos);
  user.attach(static_cast<Window>(std::stoul(text.substr(text.find("window ") + 7))));
  // The head has no items: no pop-up, no choice. (Only a press: a release
  // left queued would select the dialog's text.)
  user.press(50, 25);
  auto box = user.wait_children(1);
  ASSERT_EQ(box.size(), 1u);  // the dialog, not a menu
  EXPECT_EQ(box[0].width, 200);
  user.type(box[0].w, "xy");
  user.key(box[0].w, XK_Return);
  int st = 0;
  waitpid(pid, &st, 0);
  text = read_file(out);
  EXPECT_NE(text.find("menu 3 5 0 -1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("dialog [xy\n]\n"), std::string::npos) << text;
  // Inside its edges the button is its fill colour throughout: no label.
  XwdImage im = decode_xwd(read_file(dump));
  ASSERT_TRUE(im.valid);
  int other = 0;
  for (int y = 325 - 11; y <= 325 + 12; y++)
    for (int x = 100 - 31; x <= 100 + 32; x++) other += im.rgb(x, y) != 0xfa3c3cu;
  EXPECT_EQ(other, 0);
  EXPECT_EQ(im.rgb(100, 312), 0xffffffu);  // the top edge
}
