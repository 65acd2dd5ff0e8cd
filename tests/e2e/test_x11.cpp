// The program with its graphics window on a private Xvfb: window geometry,
// the window queries, dumps and screens through the command language.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "e2e/dataset_files.h"
#include "support/live_session.h"
#include "support/xvfb.h"

using namespace vemra_test;

namespace {

Xvfb& server() {
  static std::unique_ptr<Xvfb> s;
  if (!s) s = std::make_unique<Xvfb>(24);
  return *s;
}

class X11Session : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!server().ok()) GTEST_SKIP() << "Xvfb could not be started";
  }
  RunResult run(const std::vector<std::string>& args, const std::string& input) {
    return run_vemra(args, input, dir.path(), {"DISPLAY=" + server().display()});
  }
  TempDir dir;
};

}  // namespace

TEST_F(X11Session, WindowFromGeometryAnsweredByXinfoAndDumped) {
  RunResult r = run({"-l", "-W", "-g", "300x200+20+30"},
                    "q xinfo\nq pos nowait\noutxwd win.xwd\nq xinfo extra\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(contains(r.out, "Running in Batch mode"));
  // The window's inside starts past the 4-pixel border.
  EXPECT_TRUE(contains(r.out,
                       "Window X = 24\nWindow Y = 34\nWindow Width = 300\n"
                       "Window Height = 200\nWindow Border = 4\n"))
      << r.out;
  EXPECT_TRUE(contains(r.out, "Window ID = "));
  EXPECT_TRUE(contains(r.out, "Position = -999.9 -999.9 -1 -1\n"));
  XwdImage im = decode_xwd(read_file(dir.file("win.xwd")));
  ASSERT_TRUE(im.valid);
  EXPECT_EQ(im.width(), 300);
  EXPECT_EQ(im.height(), 200);
  // The window is named after the program and the version it reports.
  std::size_t v = r.out.find("Config: v");
  ASSERT_NE(v, std::string::npos);
  std::string version = r.out.substr(v + 9, r.out.find(' ', v + 9) - v - 9);
  EXPECT_EQ(im.name, "Vemra " + version);
}

// Screens and buffers leave the session going; a dump needs a file name.
TEST_F(X11Session, ScreensBuffersAndDumpRefusals) {
  RunResult r = run({"-l", "-g", "200x150+0+0"},
                    "screen save 2\nscreen show 2\nscreen show 9\nscreen free 9\n"
                    "screen free 2\nscreen show 2\nswap\nclear\noutxwd\noutxwd ok.xwd\n");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(dsfiles::answer(r.out, "outxwd"), "command outxwd:  need filename parameter\n");
  EXPECT_EQ(decode_xwd(read_file(dir.file("ok.xwd"))).width(), 200);
}

TEST_F(X11Session, BatchModeAndMissingServerAnswerWithoutAWindow) {
  RunResult r = run_batch(
      "q xinfo\nq pos nowait\nq pos\nq bpos\noutxwd b.xwd\nscreen save 1\n"
      "screen show 1\n",
      dir.path(), {}, {"DISPLAY=" + server().display()});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "Batch Mode\n"));
  // Waiting makes no sense without a window: all three answer at once.
  std::string pos = "Position = -999.9 -999.9 -1 -1\n";
  EXPECT_TRUE(contains(r.out, pos + "ka-> q pos\n" + pos)) << r.out;
  EXPECT_FALSE(file_exists(dir.file("b.xwd")));

  // No server to connect to: the session carries on without a window.
  r = run_vemra({"-l"}, "q xinfo\nq pos\noutxwd c.xwd\n", dir.path(), {"DISPLAY=:7919"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "Error in GXSTRT: Unable to connect to X server\n"));
  EXPECT_TRUE(contains(r.out, "ka-> q xinfo\nError\n")) << r.out;
  EXPECT_TRUE(contains(r.out, pos));
  EXPECT_TRUE(contains(r.out, "GX package terminated"));
  EXPECT_FALSE(file_exists(dir.file("c.xwd")));
}
