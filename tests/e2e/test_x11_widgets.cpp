// Widgets of the graphics window driven as a user would: the program runs
// on a private Xvfb with commands fed through a pipe, and a second client
// sends it mouse and key events. The window is 550 x 425 pixels, 50 pixels
// to the inch both ways.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "support/live_session.h"
#include "support/process_wait.h"
#include "support/vemra_run.h"
#include "support/xvfb.h"

// Last: the X headers define macros that clash with names above.
#include "support/xinput.h"

using namespace vemra_test;

namespace {

// A server without backing store, or one with it as most have; neither
// saves what a window covers.
Xvfb& server(bool backing_store = false) {
  static std::unique_ptr<Xvfb> plain, kept;
  auto& s = backing_store ? kept : plain;
  if (!s) s = std::make_unique<Xvfb>(24, backing_store);
  return *s;
}

int px(float x) { return static_cast<int>(x * 50 + 0.5f); }
int py(float y) { return 425 - static_cast<int>(y * 50 + 0.5f); }

// The program with its window, fed one command at a time.
struct WindowSession : LiveSession {
  explicit WindowSession(const TempDir& dir, bool backing_store = false)
      : LiveSession(dir, "session.out", {"-l", "-g", "550x425+0+0"},
                    server(backing_store).display()) {}
  void send(const std::string& line) { EXPECT_TRUE(LiveSession::send(line + "\n")); }
  // Runs a command and waits until a query after it is answered.
  void settle(const std::string& cmd) {
    send(cmd);
    send("q string mark");
    wait_for("String Width", static_cast<std::size_t>(++marks));
  }
  // The window id the program reports.
  Window window() {
    send("q xinfo");
    if (!wait_for("Window Border")) return 0;
    std::string o = output();
    return static_cast<Window>(std::stoul(o.substr(o.find("Window ID = ") + 12)));
  }
  // The answer of the n-th "q pos".
  std::string pos(std::size_t n) {
    send("q pos");
    if (!wait_for("Position = ", n)) return "";
    std::string o = output();
    std::size_t at = 0;
    for (std::size_t i = 0; i < n; i++) at = o.find("Position = ", at) + 1;
    return o.substr(at - 1, o.find('\n', at) - at + 2);
  }
  int marks = 0;
};

// Whether the program, once a pop-up of its own is mapped, comes to wait
// for the user's next event without first sleeping in a wait that gives up
// by itself: one for an exposure, which never comes to a pop-up wholly off
// the window.
bool waits_for_the_user_at_once(pid_t pid) {
  bool timed = false;
  const bool waiting = wait_until_waiting(pid, [&timed](const process_view& v) {
    timed = timed || v.in_timed_poll();
    return v.asleep_in(waits::pipe) && !v.in_timed_poll();
  });
  return waiting && !timed;
}

class X11Widgets : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server().ok()) GTEST_SKIP() << "Xvfb could not be started";
    session = std::make_unique<WindowSession>(dir);
    user = std::make_unique<XUser>(server().display());
    ASSERT_TRUE(user->ok());
    Window w = session->window();
    ASSERT_NE(w, 0u) << session->output();
    user->attach(w);
  }
  TempDir dir;
  std::unique_ptr<WindowSession> session;
  std::unique_ptr<XUser> user;
};

}  // namespace

TEST_F(X11Widgets, ButtonClicksToggleTheButtonAndAnswerPos) {
  // Off: fill 2, edges 3 and 4; on: fill 5, edges 6 and 7; thickness 1.
  session->settle("set button 1 2 3 4 1 5 6 7 1");
  session->settle("draw button 7 2 2 1 0.5 Go");
  session->settle("outxwd off.xwd");
  user->click(px(2), py(2));
  EXPECT_EQ(session->pos(1), "Position = 2 2 1 1 7 1\n");
  session->settle("outxwd on.xwd");
  user->click(px(2.2f), py(2.1f));
  EXPECT_EQ(session->pos(2), "Position = 2.2 2.1 1 1 7 0\n");
  // Outside every widget; then a removed button takes no click either.
  user->click(px(5), py(5), 3);
  EXPECT_EQ(session->pos(3), "Position = 5 5 3 0\n");
  session->settle("clear button 7");
  user->click(px(2), py(2));
  EXPECT_EQ(session->pos(4), "Position = 2 2 1 0\n");

  // The box spans pixels 77..125 by 315..338 around the centre (100, 325).
  XwdImage off = decode_xwd(read_file(dir.file("off.xwd")));
  XwdImage on = decode_xwd(read_file(dir.file("on.xwd")));
  ASSERT_TRUE(off.valid && on.valid);
  EXPECT_EQ(off.rgb(80, 318), 0xfa3c3cu);  // colour 2
  EXPECT_EQ(on.rgb(80, 318), 0x00c8c8u);   // colour 5
  EXPECT_EQ(off.rgb(77, 320), 0x1e3cffu);  // left edge in 4
  EXPECT_EQ(on.rgb(90, 338), 0xf00082u);   // bottom edge in 6
}

TEST_F(X11Widgets, RubberBandReportsTheReleaseHeldInsideItsRegion) {
  session->settle("set rband 3 mb1 box 1 1 5 5");
  user->press(px(2), py(2));
  user->motion(px(4), py(3));
  user->release(px(6), py(4));  // past the right edge at x = 5
  EXPECT_EQ(session->pos(1), "Position = 2 2 1 2 3 5 4\n");
  // Mouse button 2 does not start this band.
  user->click(px(2), py(2), 2);
  EXPECT_EQ(session->pos(2), "Position = 2 2 2 0\n");
  // A box that is not ordered defines nothing.
  session->settle("set rband 4 line 6 6 5 7");
  user->click(px(5.5f), py(6.5f));
  EXPECT_EQ(session->pos(3), "Position = 5.5 6.5 1 0\n");
}

TEST_F(X11Widgets, DropMenuChoicesWithCascades) {
  session->settle("draw dropmenu 5 1 8 1.2 0.4 File|Open|Save|Colors >12>|Quit");
  session->settle("draw dropmenu 12 cascade Red|Green|Blue");
  // The head is centred on (50, 25); its menu opens below it.
  user->press(px(1), py(8));
  session->send("q pos");
  auto pops = user->wait_children(1);
  ASSERT_EQ(pops.size(), 1u);
  const auto menu = pops[0];
  const int row = menu.height / 4;  // four items
  EXPECT_EQ(menu.y, 35);
  // Onto "Colors": its cascade opens beside it; then "Green" is released on.
  user->motion(menu.x + 5, menu.y + 2 * row + row / 2);
  pops = user->wait_children(2);
  ASSERT_EQ(pops.size(), 2u);
  const auto cascade = pops[1];
  EXPECT_EQ(cascade.x, menu.x + menu.width);
  EXPECT_EQ(cascade.y, menu.y + 2 * row + 1);
  EXPECT_EQ(cascade.height, 3 * row);
  user->motion(cascade.x + 5, cascade.y + row + row / 2);
  user->release(cascade.x + 5, cascade.y + row + row / 2);
  ASSERT_TRUE(session->wait_for("Position = "));
  EXPECT_TRUE(contains(session->output(), "Position = 1 8 1 3 5 3 12 2 -1 -1 -1 -1\n"))
      << session->output();

  // A press outside the open menu closes it with no choice.
  user->press(px(1), py(8));
  session->send("q pos");
  ASSERT_EQ(user->wait_children(1).size(), 1u);
  user->motion(px(9), py(2));
  user->press(px(9), py(2));
  ASSERT_TRUE(session->wait_for("Position = ", 2));
  EXPECT_TRUE(contains(session->output(), "Position = 1 8 1 3 5 0 -1 -1 -1 -1 -1 -1\n"));
  EXPECT_EQ(user->children().size(), 0u);
}

// A cascade opened from the first move into a menu, left at once for a
// plain item of its parent: the parent tracks that item and the release
// chooses it; the cascade's level keeps what it reported (opened, no choice).
TEST_F(X11Widgets, LeavingACascadeForItsParentChoosesTheItemReleasedOn) {
  session->settle("draw dropmenu 5 1 8 1.2 0.4 File|Open|Save|Colors >12>|Quit");
  session->settle("draw dropmenu 12 cascade Red|Green|Blue");
  user->press(px(1), py(8));
  session->send("q pos");
  auto pops = user->wait_children(1);
  ASSERT_EQ(pops.size(), 1u);
  const auto menu = pops[0];
  const int row = menu.height / 4;
  user->motion(menu.x + 5, menu.y + 2 * row + row / 2);  // "Colors"
  ASSERT_EQ(user->wait_children(2).size(), 2u);
  user->motion(menu.x + 5, menu.y + row / 2);  // "Open"
  user->release(menu.x + 5, menu.y + row / 2);
  ASSERT_TRUE(session->wait_for("Position = ")) << session->output();
  EXPECT_TRUE(contains(session->output(), "Position = 1 8 1 3 5 1 12 0 -1 -1 -1 -1\n"))
      << session->output();
  EXPECT_EQ(user->children().size(), 0u);

  // Out of the cascade onto "Quit" below it, then back into the cascade's
  // own rows is no longer possible: "Quit" is chosen.
  user->press(px(1), py(8));
  session->send("q pos");
  ASSERT_EQ(user->wait_children(1).size(), 1u);
  user->motion(menu.x + 5, menu.y + 2 * row + row / 2);
  pops = user->wait_children(2);
  ASSERT_EQ(pops.size(), 2u);
  user->motion(pops[1].x + 5, pops[1].y + row / 2);      // "Red"
  user->motion(menu.x + 5, menu.y + 3 * row + row / 2);  // "Quit"
  user->release(menu.x + 5, menu.y + 3 * row + row / 2);
  ASSERT_TRUE(session->wait_for("Position = ", 2)) << session->output();
  EXPECT_TRUE(contains(session->output(), "Position = 1 8 1 3 5 4 12 0 -1 -1 -1 -1\n"))
      << session->output();
}

TEST_F(X11Widgets, DeepCascadesOpenNothingMore) {
  // A chain of five menus: the fifth would be a fifth level and stays shut.
  session->settle("draw dropmenu 20 6 8 1.2 0.4 Deep|Go >21>|End");
  for (int m = 21; m < 24; m++)
    session->settle("draw dropmenu " + std::to_string(m) + " cascade Go >" + std::to_string(m + 1) +
                    ">|End");
  session->settle("draw dropmenu 24 cascade Last|End");
  user->press(px(6), py(8));
  session->send("q pos");
  std::vector<XUser::Box> pops;
  for (std::size_t level = 1; level <= 4; level++) {
    pops = user->wait_children(level);
    ASSERT_EQ(pops.size(), level);
    // The fourth drawn whole: as the third, whose "Go" opened its cascade
    // at once and so was never shown selected.
    if (level == 4) {
      ASSERT_TRUE(user->wait_until([&] { return user->pixels(pops[3]) == user->pixels(pops[2]); }));
    }
    const auto& p = pops.back();
    user->motion(p.x + 3, p.y + p.height / 4);  // onto "Go"
  }
  // The fourth has taken the move once it shows "Go" selected; a fifth
  // would have opened before.
  ASSERT_TRUE(user->wait_until([&] {
    return user->children().size() > 4 || user->pixels(pops[3]) != user->pixels(pops[2]);
  }));
  EXPECT_EQ(user->children().size(), 4u);
  const auto& last = pops.back();
  user->motion(last.x + 3, last.y + 3 * last.height / 4);  // onto "End"
  user->release(last.x + 3, last.y + 3 * last.height / 4);
  ASSERT_TRUE(session->wait_for("Position = "));
  EXPECT_TRUE(contains(session->output(), "Position = 6 8 1 3 20 1 21 1 22 1 23 2\n"))
      << session->output();
}

TEST_F(X11Widgets, DialogReturnsTheTypedText) {
  session->send("q dialog Enter name:");
  auto box = user->wait_children(1);
  ASSERT_EQ(box.size(), 1u);
  // The default box: two thirds of the window wide, centred.
  EXPECT_EQ(box[0].width, 366);
  EXPECT_EQ(box[0].x, (550 - 366) / 2);
  user->type(box[0].w, "Bob");
  user->key(box[0].w, XK_Return);
  ASSERT_TRUE(session->wait_for("Bob\n"));
  EXPECT_TRUE(user->wait_no_children());

  // One line with a prompt: the prompt cannot be erased and is not returned.
  session->send("q dialog 5 4 4 0.5 Name: | Al");
  box = user->wait_children(1);
  ASSERT_EQ(box.size(), 1u);
  EXPECT_EQ(box[0].width, 200);
  EXPECT_EQ(box[0].height, 25);
  for (int i = 0; i < 4; i++) user->key(box[0].w, XK_BackSpace);
  user->type(box[0].w, "Ed");
  user->key(box[0].w, XK_Return);
  ASSERT_TRUE(session->wait_for("| Al\nEd\n")) << session->output();
}

// A dialog asked far wider or taller than the page is held to the largest
// box the driver makes (16384 pixels), placed about its centre as asked.
TEST_F(X11Widgets, DialogsFarPastThePageKeepTheLargestBox) {
  const struct {
    const char* cmd;
    int width, height, x, y;
  } cases[] = {
      // Centre (5, 4) inches: x = 250.5 - 16384 / 2, cut toward zero.
      {"q dialog 5 4 1e10 0.5 x", 16384, 25, -7941, 425 - 200 - 13},
      // y = 425 - (200.5 + 16384 / 2), cut toward zero.
      {"q dialog 5 4 4 1e10 y", 200, 16384, 250 - 100, -7967},
      // Centred past the page: wholly off the window, so brought onto it at
      // its right edge.
      {"q dialog 1e10 4 4 0.5 z", 200, 25, 550 - 200, 425 - 200 - 13},
  };
  std::size_t answered = 0;
  for (const auto& c : cases) {
    session->send(c.cmd);
    auto box = user->wait_children(1);
    ASSERT_EQ(box.size(), 1u) << c.cmd;
    EXPECT_EQ(box[0].width, c.width) << c.cmd;
    EXPECT_EQ(box[0].height, c.height) << c.cmd;
    EXPECT_EQ(box[0].x, c.x) << c.cmd;
    EXPECT_EQ(box[0].y, c.y) << c.cmd;
    user->type(box[0].w, "ok");
    user->key(box[0].w, XK_Return);
    ASSERT_TRUE(session->wait_for("ok\n", ++answered)) << session->output();
    ASSERT_TRUE(user->wait_no_children());
  }
}

// Whatever a pop-up covered shows again once it has closed, on a server
// with backing store as on one without; a dialog asked for wholly off the
// window opens on it, where it is seen and answered.
TEST(X11PopUps, ClosingAPopUpLeavesThePictureWhole) {
  enum class popup { dialog, menu, cascade };
  const struct {
    const char* name;
    popup kind;
    const char* cmd = nullptr;  // the dialog's
    int x = -1, y = -1;         // where the dialog opens (-1: as asked)
  } cases[] = {
      {"default dialog", popup::dialog, "q dialog Enter name:"},
      {"one-line dialog", popup::dialog, "q dialog 5 4 4 0.5 Name: | Al"},
      // 50 pixels square, centred far past the top right corner: in it.
      {"dialog off the window", popup::dialog, "q dialog 1e10 1e10 1 1 text", 500, 0},
      {"menu", popup::menu},
      {"menu and cascade", popup::cascade},
  };
  for (bool backing_store : {false, true}) {
    if (!server(backing_store).ok()) GTEST_SKIP() << "Xvfb could not be started";
    SCOPED_TRACE(backing_store ? "backing store" : "no backing store");
    TempDir dir;
    WindowSession session(dir, backing_store);
    XUser user(server(backing_store).display());
    ASSERT_TRUE(user.ok());
    const Window w = session.window();
    ASSERT_NE(w, 0u) << session.output();
    user.attach(w);
    std::size_t answers = 0, positions = 0;
    int n = 0;
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      // Under every pop-up, drawn afresh each time: a red page, a blue box
      // and a thick yellow diagonal.
      for (const char* cmd : {"clear", "set line 2", "draw recf 0 0 11 8.5", "set line 4",
                              "draw recf 0.5 3 7 8", "set line 7 1 12", "draw line 0 0 11 8.5",
                              "draw dropmenu 5 1 8 1.2 0.4 File|Open|Save|Colors >12>|Quit",
                              "draw dropmenu 12 cascade Red|Green|Blue"})
        session.settle(cmd);
      const std::string before = "before" + std::to_string(++n) + ".xwd";
      const std::string after = "after" + std::to_string(n) + ".xwd";
      session.settle("outxwd " + before);
      std::vector<XUser::Box> covered;
      if (c.kind == popup::dialog) {
        session.send(c.cmd);
        covered = user.wait_children(1);
        ASSERT_EQ(covered.size(), 1u);
        const XUser::Box b = covered[0];
        if (c.x >= 0) {
          EXPECT_EQ(b.x, c.x);
          EXPECT_EQ(b.y, c.y);
        }
        // Seen: what the window shows there is the box.
        EXPECT_TRUE(user.wait_until([&] {
          const std::string box = user.pixels(b);
          return !box.empty() && user.pixels_under(b) == box;
        }));
        user.type(b.w, "ok");
        user.key(b.w, XK_Return);
        ASSERT_TRUE(session.wait_for("ok\n", ++answers)) << session.output();
      } else {
        user.press(px(1), py(8));
        session.send("q pos");
        covered = user.wait_children(1);
        ASSERT_EQ(covered.size(), 1u);
        if (c.kind == popup::cascade) {
          const int row = covered[0].height / 4;
          user.motion(covered[0].x + 5, covered[0].y + 2 * row + row / 2);  // "Colors"
          covered = user.wait_children(2);
          ASSERT_EQ(covered.size(), 2u);
        }
        user.motion(px(9), py(2));
        user.press(px(9), py(2));  // outside: no choice
        ASSERT_TRUE(session.wait_for("Position = ", ++positions)) << session.output();
      }
      ASSERT_TRUE(user.wait_no_children());
      session.settle("outxwd " + after);
      const XwdImage was = decode_xwd(read_file(dir.file(before)));
      const XwdImage is = decode_xwd(read_file(dir.file(after)));
      ASSERT_TRUE(was.valid && is.valid);
      for (const XUser::Box& b : covered) {
        int changed = 0, shown = 0;
        for (int y = std::max(b.y, 0); y < std::min(b.y + b.height, 425); y++)
          for (int x = std::max(b.x, 0); x < std::min(b.x + b.width, 550); x++) {
            changed += was.pixel(x, y) != is.pixel(x, y);
            shown++;
          }
        EXPECT_GT(shown, 0);
        EXPECT_EQ(changed, 0) << b.width << "x" << b.height << " at " << b.x << "," << b.y;
      }
    }
  }
}

TEST_F(X11Widgets, NumericDialogChecksTheNumber) {
  session->settle("set dialog 1 0 15 1 3 numeric");
  const char* given[3] = {".5", "+3", "1e5e2"};
  for (const char* g : given) {
    session->send(std::string("q dialog 5 4 4 0.5 ") + g);
    auto box = user->wait_children(1);
    ASSERT_EQ(box.size(), 1u);
    user->key(box[0].w, XK_Return);
    if (std::string(g) == "1e5e2") {
      // Refused with the second "e" selected: the "0" typed next replaces
      // it (the dialog takes the keys in the order sent), so "1e502" comes
      // back only if the first Return was refused.
      user->type(box[0].w, "0");
      user->key(box[0].w, XK_Return);
    }
    // The next dialog opens only once this one is gone.
    ASSERT_TRUE(user->wait_no_children());
  }
  ASSERT_TRUE(session->wait_for(" 1e5e2\n1e502\n")) << session->output();
  const std::string o = session->output();
  EXPECT_TRUE(contains(o, " .5\n0.5\n"));
  EXPECT_TRUE(contains(o, " +3\n3\n"));
}

TEST_F(X11Widgets, DialogTextNeverOutgrowsItsBuffer) {
  // 600 characters given and ten more typed: 510 come back.
  session->send("q dialog Long|" + std::string(600, 'a'));
  auto box = user->wait_children(1);
  ASSERT_EQ(box.size(), 1u);
  user->type(box[0].w, std::string(10, 'b'));
  user->key(box[0].w, XK_Return);
  const std::string want = "a\n" + std::string(505, 'a') + std::string(5, 'b') + "\n";
  ASSERT_TRUE(session->wait_for(want)) << session->output().substr(session->output().size() - 600);
}

// The label sits in the middle of its button (centre 2 or 6 inches, 100 or
// 300 pixels).
TEST_F(X11Widgets, ButtonLabelsAreCentred) {
  // Text 1 (white) on fill 2, no edges.
  session->settle("set button 1 2 -1 -1 1 2 -1 -1 1");
  session->settle("draw button 1 2 2 2 0.6 Centre");
  session->settle("draw button 2 6 2 2 0.6 WW");
  session->settle("outxwd centred.xwd");
  XwdImage im = decode_xwd(read_file(dir.file("centred.xwd")));
  ASSERT_TRUE(im.valid);
  for (float cx : {2.0f, 6.0f}) {
    // The fill runs 50 pixels across, from the first red column on.
    int left = -1, right = -1, first = -1, last = -1;
    for (int x = px(cx) - 60; x <= px(cx) + 60; x++) {
      bool fill = false, text = false;
      for (int y = py(2) - 12; y <= py(2) + 12; y++) {
        fill = fill || im.rgb(x, y) == 0xfa3c3cu;
        text = text || im.rgb(x, y) == 0xffffffu;
      }
      if (fill || text) {
        if (left < 0) left = x;
        right = x;
      }
      if (text) {
        if (first < 0) first = x;
        last = x;
      }
    }
    ASSERT_GE(first, 0) << "no label at " << cx;
    EXPECT_EQ(right - left + 1, 98) << cx;
    // The middle of the lit columns within a pixel and a half of the
    // button's centre (a glyph's ink need not fill its cell evenly).
    EXPECT_LE(std::fabs(0.5 * (first + last) - px(cx)), 1.5) << cx << ": " << first << " " << last;
  }
}

TEST_F(X11Widgets, RedrawnButtonShowsItsNewLabel) {
  session->settle("draw button 1 2 2 1.4 0.6 Old");
  session->settle("redraw button 1 -1 0 New");
  session->settle("draw button 2 6 2 1.4 0.6 New");
  session->settle("draw button 3 2 5 1.4 0.6 Old");
  session->settle("outxwd labels.xwd");
  XwdImage im = decode_xwd(read_file(dir.file("labels.xwd")));
  ASSERT_TRUE(im.valid);
  // Button 1 now looks exactly like button 2 (200 pixels to its right) and
  // no longer like button 3 (150 pixels above).
  int same = 0, lit = 0, old_same = 0;
  for (int y = py(2) - 14; y <= py(2) + 14; y++)
    for (int x = px(2) - 34; x <= px(2) + 34; x++) {
      same += im.rgb(x, y) == im.rgb(x + 200, y);
      old_same += im.rgb(x, y) == im.rgb(x, y - 150);
      lit += im.rgb(x, y) != 0;
    }
  EXPECT_EQ(same, 29 * 69);
  EXPECT_LT(old_same, 29 * 69);
  EXPECT_GT(lit, 0);
}

TEST_F(X11Widgets, WidgetsFollowBuffersAndClears) {
  // Drawn out of sight, a button reacts once a swap shows it.
  session->settle("set dbuff on");
  session->settle("draw button 4 3 3 1 0.5 Hidden");
  user->click(px(3), py(3));
  EXPECT_EQ(session->pos(1), "Position = 3 3 1 0\n");
  session->settle("swap");
  user->click(px(3), py(3));
  EXPECT_EQ(session->pos(2), "Position = 3 3 1 1 4 1\n");
  // Clearing the graphics keeps the widgets; a full clear removes them.
  session->settle("set dbuff off");
  session->settle("draw button 5 6 3 1 0.5 Kept");
  session->settle("set rband 2 line 1 5 3 7");
  session->settle("clear graphics");
  user->click(px(6), py(3));
  EXPECT_EQ(session->pos(3), "Position = 6 3 1 1 5 1\n");
  user->click(px(2), py(6));
  EXPECT_EQ(session->pos(4), "Position = 2 6 1 2 2 2 6\n");
  session->settle("clear");
  user->click(px(6), py(3));
  EXPECT_EQ(session->pos(5), "Position = 6 3 1 0\n");
}

// A widget placed or sized far past the page still works where the window
// shows it: its box is held to the pixels the window can have, never
// converted past an int.
TEST_F(X11Widgets, WidgetsFarPastThePageKeepTheirVisiblePart) {
  enum class gesture { click, drag, open_menu };
  const struct {
    const char* cmd;
    gesture act;
    float x, y;  // where the gesture starts
    const char* want;
    bool unseen = false;  // the menu opens wholly off the window
  } cases[] = {
      // Ten billion inches wide: its row is a button across the window.
      {"draw button 1 1 1 1e10 1 hi", gesture::click, 10, 1, "Position = 10 1 1 1 1 1\n"},
      {"draw button 2 5 4 1 1e10 tall", gesture::click, 5, 8, "Position = 5 8 1 1 2 1\n"},
      // Placed past the window: nothing of it is on the window.
      {"draw button 3 1e10 1 1 1 far", gesture::click, 1, 1, "Position = 1 1 1 0\n"},
      {"draw button 4 1 -1e10 1 1 low", gesture::click, 1, 0.2f, "Position = 1 0.2 1 0\n"},
      // A menu head across the window: a press beside its row is no choice.
      {"draw dropmenu 1 1 1 1e10 1 a | b", gesture::click, 5, 5, "Position = 5 5 1 0\n"},
      // One from the bottom of the window to the top opens its menu at the
      // bottom; a press beside the open menu closes it with no choice.
      {"draw dropmenu 2 1 1 1 1e10 a | b", gesture::open_menu, 1, 8,
       "Position = 1 8 1 3 2 0 -1 -1 -1 -1 -1 -1\n"},
      // Pressed on its row, the head across the window opens its menu at its
      // far left end: the menu takes the user's next press at once.
      {"draw dropmenu 3 1 4 1e10 0.4 a | b", gesture::open_menu, 5, 4,
       "Position = 5 4 1 3 3 0 -1 -1 -1 -1 -1 -1\n", true},
      // The region covers the window: the release is held nowhere.
      {"set rband 1 box 0 0 1e10 1e10", gesture::drag, 2, 2, "Position = 2 2 1 2 1 6 4\n"},
  };
  std::size_t asked = 0;
  for (const auto& c : cases) {
    session->settle("clear");
    session->settle(c.cmd);
    if (c.act == gesture::click) {
      user->click(px(c.x), py(c.y));
      EXPECT_EQ(session->pos(++asked), c.want) << c.cmd;
    } else if (c.act == gesture::drag) {
      user->press(px(c.x), py(c.y));
      user->motion(px(4), py(3));
      user->release(px(6), py(4));
      EXPECT_EQ(session->pos(++asked), c.want) << c.cmd;
    } else {
      user->press(px(c.x), py(c.y));
      session->send("q pos");
      const auto pops = user->wait_children(1);
      ASSERT_EQ(pops.size(), 1u) << c.cmd;
      if (c.unseen) {
        EXPECT_LT(pops[0].x + pops[0].width, 0) << c.cmd;
        EXPECT_TRUE(waits_for_the_user_at_once(session->pid)) << c.cmd;
      }
      user->motion(px(9), py(5));
      user->press(px(9), py(5));
      ASSERT_TRUE(session->wait_for("Position = ", ++asked)) << c.cmd;
      const std::string o = session->output();
      const std::size_t at = o.rfind("Position = ");
      EXPECT_EQ(o.substr(at, o.find('\n', at) + 1 - at), c.want) << c.cmd;
    }
  }
}
