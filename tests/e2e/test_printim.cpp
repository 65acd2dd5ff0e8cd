// "printim" through the program: its options reach the image writer, and
// refusals leave no file. Images are read back with ImageMagick.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/dataset_files.h"
#include "support/live_session.h"
#include "support/process_wait.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

// Output of a shell command.
std::string shell(const std::string& cmd) {
  std::string out;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  pclose(p);
  return out;
}

// "FORMAT WIDTHxHEIGHT" of an image file.
std::string format_and_size(const std::string& file) {
  return shell("identify -format '%m %wx%h' '" + file + "' 2>/dev/null");
}

// "r,g,b" of one pixel.
std::string pixel(const std::string& file, int x, int y) {
  return shell("convert '" + file + "' -format '%[fx:round(255*p{" + std::to_string(x) + "," +
               std::to_string(y) + "}.r)],%[fx:round(255*p{" + std::to_string(x) + "," +
               std::to_string(y) + "}.g)],%[fx:round(255*p{" + std::to_string(x) + "," +
               std::to_string(y) + "}.b)]' info: 2>/dev/null");
}

class Printim : public ::testing::Test {
 protected:
  void SetUp() override {
    if (shell("command -v identify convert").empty()) GTEST_SKIP() << "ImageMagick not installed";
  }
};

TEST_F(Printim, SizeFormatAndBackgroundOptions) {
  TempDir dir;
  // A red square over page inches 1..3 (pixels 72..218 across, 388..529 down
  // at 800 x 600 for 11 x 8.5 inches).
  RunResult r = run_batch(
      "set line 2\ndraw recf 1 1 3 3\nprintim a.png\nprintim b.gif x 400 y 300 black\n"
      "printim c.gif png white\nprintim D.GIF\n",
      dir.path());
  EXPECT_EQ(format_and_size(dir.file("a.png")), "PNG 800x600");
  EXPECT_EQ(format_and_size(dir.file("b.gif")), "GIF 400x300");
  EXPECT_EQ(format_and_size(dir.file("c.gif")), "PNG 800x600");
  EXPECT_EQ(format_and_size(dir.file("D.GIF")), "GIF 800x600");
  EXPECT_EQ(pixel(dir.file("c.gif"), 145, 460), "240,0,0");
  EXPECT_EQ(pixel(dir.file("c.gif"), 400, 100), "255,255,255");
  EXPECT_EQ(pixel(dir.file("b.gif"), 200, 50), "0,0,0");
  // Half size: the square's middle is at (73, 230).
  EXPECT_EQ(pixel(dir.file("b.gif"), 73, 230), "240,0,0");
}

// A size is "x" or "y" with its number in the same word or the next one.
TEST_F(Printim, SizeWordsJoinedOrSeparate) {
  TempDir dir;
  RunResult r = run_batch(
      "printim a.png x400 y300\nprintim b.png y 250 x320\nprintim c.png x4a y300 x 400\n"
      "printim d.png y0\n",
      dir.path());
  EXPECT_EQ(answer(r.out, "printim a.png x400 y300"), "");
  EXPECT_EQ(format_and_size(dir.file("a.png")), "PNG 400x300");
  EXPECT_EQ(format_and_size(dir.file("b.png")), "PNG 320x250");
  // A word that is not a size is one refused option; the good sizes stay.
  EXPECT_EQ(answer(r.out, "printim c.png x4a y300 x 400"),
            "PRINTIM error:  Invalid option; ignored\n");
  EXPECT_EQ(format_and_size(dir.file("c.png")), "PNG 400x300");
  EXPECT_EQ(answer(r.out, "printim d.png y0"), "PRINTIM error:  y size must be 1 pixel or more\n");
  EXPECT_FALSE(file_exists(dir.file("d.png")));
}

TEST_F(Printim, PortraitPageDefaultsToPortraitImage) {
  TempDir dir;
  RunResult r = run_vemra({"-b", "-p"}, "printim p.png\n", dir.path());
  EXPECT_EQ(format_and_size(dir.file("p.png")), "PNG 600x800");
}

// Output that replaces a file is never left half done and nothing asked for
// is lost: a refused word of printim is skipped, a window dump without a window is an
// error, a script's write to a full device fails at that write, and the
// fwrite file takes its name only when it is closed.
TEST(OutputFiles, NothingHalfWrittenNothingLost) {
  TempDir dir;
  write_file(dir.file("w.gs"), "say write('/dev/full', 'a record')\n");
  write_file(dir.file("d.ctl"),
             "dset ^d.dat\nundef -9e33\nxdef 2 linear 0 1\nydef 2 linear 0 1\n"
             "zdef 1 linear 1 1\ntdef 1 linear jan2000 1mo\nvars 1\nv 0 0 v\nendvars\n");
  write_file(dir.file("d.dat"), std::string(16, '\0'));
  write_file(dir.file("out.dat"), "old");
  RunResult r = run_batch(
      "printim my file.png\noutxwd x.xwd\nrun w.gs\nopen d.ctl\nset fwrite out.dat\n"
      "set gxout fwrite\nd v\n!cat out.dat; echo\ndisable fwrite\n!wc -c < out.dat\n",
      dir.path());
  // The second word is refused and skipped; the image takes the first.
  EXPECT_EQ(answer(r.out, "printim my file.png"), "PRINTIM error:  Invalid option; ignored\n");
  EXPECT_TRUE(file_exists(dir.file("my")));
  EXPECT_FALSE(file_exists(dir.file("file.png")));
  EXPECT_EQ(answer(r.out, "outxwd x.xwd"), "command outxwd:  no window to dump in batch mode\n");
  EXPECT_FALSE(file_exists(dir.file("x.xwd")));
  EXPECT_EQ(
      answer(r.out, "run w.gs"),
      "Error in write:  write failed\n  File name = /dev/full\n  No space left on device\n9\n");
  // While written the old file stays; once closed it is the new one, 4 values.
  EXPECT_EQ(answer(r.out, "!cat out.dat; echo"), "old\n");
  EXPECT_EQ(answer(r.out, "!wc -c < out.dat"), "16\n");
}

// A refused word is reported and ignored, not the command: the image is
// written with the options that were good, and the command returns 0.
TEST_F(Printim, RefusedWordsAreSkippedAndTheImageWritten) {
  TempDir dir;
  write_file(dir.file("old.png"), "old contents");
  RunResult r = run_batch(
      "set line 2\ndraw recf 1 1 3 3\nprintim my file.png\nprintim a.gif x abc y 300 bogus png\n"
      "printim b.png y big x 400 black\nprintim old.png white big\n"
      "printim c.png x 200 y 150\n",
      dir.path());
  EXPECT_EQ(answer(r.out, "printim my file.png"), "PRINTIM error:  Invalid option; ignored\n");
  EXPECT_EQ(format_and_size(dir.file("my")), "PNG 800x600");
  EXPECT_EQ(pixel(dir.file("my"), 145, 460), "240,0,0");
  EXPECT_FALSE(file_exists(dir.file("file.png")));
  // x unset leaves both sizes to the page (800 x 600); "png" still counts.
  EXPECT_EQ(answer(r.out, "printim a.gif x abc y 300 bogus png"),
            "PRINTIM error:  Invalid x option; ignored\nPRINTIM error:  Invalid option; ignored\n");
  EXPECT_EQ(format_and_size(dir.file("a.gif")), "PNG 800x600");
  EXPECT_EQ(answer(r.out, "printim b.png y big x 400 black"),
            "PRINTIM error:  Invalid y option; ignored\n");
  EXPECT_EQ(format_and_size(dir.file("b.png")), "PNG 800x600");
  EXPECT_EQ(pixel(dir.file("b.png"), 400, 100), "0,0,0");
  // The old file is replaced whole.
  EXPECT_EQ(answer(r.out, "printim old.png white big"),
            "PRINTIM error:  Invalid option; ignored\n");
  EXPECT_EQ(format_and_size(dir.file("old.png")), "PNG 800x600");
  EXPECT_EQ(pixel(dir.file("old.png"), 400, 100), "255,255,255");
  // A clean command says nothing.
  EXPECT_EQ(answer(r.out, "printim c.png x 200 y 150"), "");
  EXPECT_EQ(format_and_size(dir.file("c.png")), "PNG 200x150");
}

// A refused word is skipped: the image is written and a script sees success.
TEST_F(Printim, ScriptsSeeSuccessAfterAnIgnoredWord) {
  TempDir dir;
  write_file(dir.file("p.gs"),
             "'printim s.png bogus'\nsay 'rc 'rc\n'printim t.png'\nsay 'rc 'rc\n");
  RunResult r = run_batch("run p.gs\n", dir.path());
  EXPECT_EQ(answer(r.out, "run p.gs"), "PRINTIM error:  Invalid option; ignored\nrc 0\nrc 0\n");
  EXPECT_EQ(format_and_size(dir.file("s.png")), "PNG 800x600");
  EXPECT_EQ(format_and_size(dir.file("t.png")), "PNG 800x600");
}

// Only a whole picture replaces the old one: an encoder that fails for want
// of memory part-way (the address space limited once it has started) leaves
// the old file as it was, says why and fails the command, and so does one
// that reports a picture done without its end; the session goes on and the
// next picture is written.
TEST_F(Printim, OnlyAWholePictureIsPlaced) {
  const struct {
    std::string what;
    std::vector<std::string> env;
  } cases[] = {
      {"short of memory",
       {"ENCODER_MEMORY_LIMIT=1", std::string("LD_PRELOAD=") + VEMRA_LIMIT_MEMORY_AT_ENCODER}},
      {"without its end",
       {"DROP_PNG_END=1", std::string("LD_PRELOAD=") + VEMRA_DROP_PNG_END,
        "ASAN_OPTIONS=verify_asan_link_order=0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
#if defined(__SANITIZE_ADDRESS__)
    // The address sanitizer maps more than any address-space limit.
    if (c.env[0].rfind("ENCODER_MEMORY_LIMIT=", 0) == 0) continue;
#endif
    TempDir dir;
    ASSERT_EQ(run_batch("printim old.png\n", dir.path()).status, 0);
    const std::string old = read_file(dir.file("old.png"));
    ASSERT_EQ(format_and_size(dir.file("old.png")), "PNG 800x600");
    write_file(dir.file("rc.gs"), "'printim old.png x 1000 y 800'\nsay 'rc=' rc\n");
    RunResult r = run_batch("set line 2\ndraw recf 1 1 3 3\nrun rc.gs\nprintim next.png\n",
                            dir.path(), {}, c.env);
    EXPECT_EQ(answer(r.out, "run rc.gs"),
              "Image output error: the PNG encoder failed; no file is written\n"
              "PRINTIM error:  output error\nrc=1\n")
        << r.out;
    EXPECT_EQ(read_file(dir.file("old.png")), old);
    EXPECT_EQ(answer(r.out, "printim next.png"), "");
    EXPECT_EQ(format_and_size(dir.file("next.png")), "PNG 800x600");
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      EXPECT_NE(e.path().filename().string().rfind(".old.png.", 0), 0u) << e.path();
  }
}

// Sizes below a pixel are the command's to refuse (the image writer's own
// refusals are its tests').
TEST_F(Printim, SizesBelowOnePixelWriteNoFile) {
  TempDir dir;
  RunResult r = run_batch("printim zero.png x 0 y 300\nprintim neg.png x 400 y -3\n", dir.path());
  EXPECT_EQ(answer(r.out, "printim zero.png x 0 y 300"),
            "PRINTIM error:  x size must be 1 pixel or more\n");
  EXPECT_EQ(answer(r.out, "printim neg.png x 400 y -3"),
            "PRINTIM error:  y size must be 1 pixel or more\n");
  EXPECT_FALSE(file_exists(dir.file("zero.png")));
  EXPECT_FALSE(file_exists(dir.file("neg.png")));
}

}  // namespace

namespace {

// Seconds (as text) of sleep that reach fraction `part` of `total` ns.
std::string seconds_of(double total_ns, double part) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", total_ns * part / 1e9);
  return buf;
}

// A Ctrl-C at any moment of printim, also while the image is encoded after
// the drawing, ends it with a message and leaves the old file as it was.
TEST(PrintimInterrupt, CtrlCWhileEncodingLeavesTheOldFile) {
  TempDir dir;
  // 360 x 180 cells of pseudo-random values: their large image takes a
  // while to draw and then to encode.
  write_file(dir.file("g.ctl"),
             "dset ^g.dat\nundef -9e33\nxdef 360 linear 0 1\nydef 180 linear -89.5 1\n"
             "zdef 1 linear 1 1\ntdef 1 linear jan2000 1mo\nvars 1\nv 0 0 v\nendvars\n");
  std::string values(360 * 180 * 4, '\0');
  uint32_t seed = 12345;
  for (size_t i = 0; i < 360 * 180; ++i) {
    seed = seed * 1103515245u + 12345u;
    float v = static_cast<float>((seed >> 8) & 0xffff) / 65536.0f;
    std::memcpy(&values[4 * i], &v, 4);
  }
  write_file(dir.file("g.dat"), values);
  const std::string draw = "open g.ctl\nset gxout grfill\nset mproj off\nd v\n";
  const std::string cmd = "printim old.gif x 7000 y 7000";
  // How long the command takes uninterrupted: the quicker of two runs.
  double total = 0;
  for (int run = 0; run < 2; ++run) {
    RunResult r = run_batch(draw + "!date +%s%N\n" + cmd + "\n!date +%s%N\n", dir.path());
    size_t at = 0;
    double t0 = std::stod(next_answer(r.out, "!date +%s%N", &at));
    double t1 = std::stod(next_answer(r.out, "!date +%s%N", &at));
    if (run == 0 || t1 - t0 < total) total = t1 - t0;
  }
  ASSERT_GT(total, 2e8) << "too quick to interrupt";
  // The interrupt comes from the session's own shell, timed from the
  // command's start, mid-drawing or mid-encoding; the shell notes the time
  // just after it. Under load it may come after the command's end, when the
  // image is rightly written: only an image written later than that is a
  // fault.
  for (double part : {0.3, 0.5, 0.65, 0.8}) {
    write_file(dir.file("old.gif"), "old");
    const std::string sent = "sent" + std::to_string(static_cast<int>(part * 100));
    RunResult r =
        run_vemra({"-b", "-l"},
                  draw + "!(sleep " + seconds_of(total, part) + "; kill -INT $PPID; date +%s%N > " +
                      sent + ") &\n" + cmd + "\nq config\n",
                  dir.path(), {}, 60);
    EXPECT_EQ(r.status, 0);
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      EXPECT_NE(e.path().filename().string().rfind(".old.gif.", 0), 0u) << e.path();
    if (answer(r.out, cmd) == "Image output interrupted\nPRINTIM error:  output error\n") {
      EXPECT_TRUE(read_file(dir.file("old.gif")) == "old") << "replaced at " << part;
      continue;
    }
    EXPECT_EQ(answer(r.out, cmd), "") << part;
    struct stat st;
    ASSERT_EQ(stat(dir.file("old.gif").c_str(), &st), 0);
    const double written = st.st_mtim.tv_sec * 1e9 + st.st_mtim.tv_nsec;
    for (int i = 0; i < 500 && read_file(dir.file(sent)).empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_LT(written, std::stod("0" + read_file(dir.file(sent))))
        << "written with no message after the interrupt at " << part;
  }
  // Timed, every interrupt may come after the end on a loaded machine; one
  // sent once the command holds its 7000 x 7000 picture (drawn, then
  // encoded, for seconds) always lands inside it.
  write_file(dir.file("old.gif"), "old");
  LiveSession s(dir, "s.out");
  ASSERT_GT(s.pid, 0);
  ASSERT_TRUE(s.send(draw));
  ASSERT_TRUE(s.wait_for("Contouring: ")) << s.output();
  ASSERT_TRUE(wait_until_waiting(s.pid, waits::input)) << s.output();
  const long before_kb = view_of(s.pid).vm_kb;
  ASSERT_TRUE(s.send(cmd + "\n"));
  ASSERT_TRUE(wait_until_waiting(
      s.pid, [&](const process_view& v) { return v.vm_kb > before_kb + (32 << 10); }, 60))
      << s.output();
  kill(s.pid, SIGINT);
  EXPECT_TRUE(s.wait_for("Image output interrupted\nPRINTIM error:  output error\n", 1, 60))
      << s.output();
  ASSERT_TRUE(s.send("quit\n"));
  EXPECT_EQ(s.finish(), 0);
  EXPECT_EQ(read_file(dir.file("old.gif")), "old");
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    EXPECT_NE(e.path().filename().string().rfind(".old.gif.", 0), 0u) << e.path();
}

}  // namespace
