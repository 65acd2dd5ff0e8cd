// Start-up options, the main loop, standard input and signals, seen from
// outside through the built program.
#include <gtest/gtest.h>

#include <string>

#include "e2e/lats_files.h"
#include "support/live_session.h"
#include "support/process_wait.h"

using namespace vemra_test;

namespace {

TEST(Startup, HelpBannerAndEndOfInput) {
  TempDir dir;
  RunResult r = run_vemra({"-helpme", "-b"}, "quit\n", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(first_missing(r.out, {"Command line options: ", "-help   Just this help",
                                  "-E      turn OFF command line editing"}),
            "");
  EXPECT_FALSE(contains(r.out, "-x"));
  EXPECT_FALSE(contains(r.out, "GX Package Initialization"));

  r = run_batch("", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(
      first_missing(r.out, {"Config: v", " 64-bit little-endian readline",
                            "Issue 'q config' command for more information.\n\n",
                            "GX Package Initialization: Size = 11 8.5 \n",
                            "Running in Batch mode\n", "[EOF]\n", "GX package terminated \n"}),
      "");
  EXPECT_FALSE(contains(r.out, "32-bit"));
}

TEST(Startup, OrientationFromOptionsOrQuestion) {
  TempDir dir;
  // -b is not given in the first: the session goes on without a window.
  for (auto args : {std::vector<std::string>{"-lp"}, std::vector<std::string>{"-b", "-pl"}}) {
    RunResult r = run_vemra(args, "", dir.path());
    EXPECT_FALSE(contains(r.out, "Landscape mode?"));
    EXPECT_TRUE(contains(r.out, "Size = 8.5 11 "));
  }
  RunResult r = run_vemra({"-b"}, "no\nq config\n", dir.path());
  // The question ends in two blanks; the answer is not echoed.
  EXPECT_TRUE(contains(r.out, "Landscape mode? (no for portrait):  GX Package Initialization"));
  EXPECT_TRUE(contains(r.out, "Size = 8.5 11 "));
  EXPECT_EQ(count_of(r.out, "Config: v"), 2u);  // the answer took one line only

  r = run_vemra({"-b"}, "\nquit\n", dir.path());
  EXPECT_TRUE(contains(r.out, "Size = 11 8.5 "));
  EXPECT_FALSE(contains(r.out, "[EOF]"));
  EXPECT_EQ(r.status, 0);
}

TEST(Startup, CommandOptionAndExit) {
  TempDir dir;
  RunResult r = run_vemra({"-b", "-l", "-c"}, "", dir.path());
  EXPECT_TRUE(contains(r.out, "-c option was specified, but no command was provided\n"));
  EXPECT_EQ(r.status, 0);

  r = run_vemra({"-blc", "q config", "-x"}, "q config\n", dir.path());
  EXPECT_EQ(r.status, 99);
  // The start-up command ran once; no prompt was read.
  EXPECT_EQ(count_of(r.out, "Config: v"), 2u);
  EXPECT_FALSE(contains(r.out, "ka-> "));

  r = run_vemra({"-blx"}, "q config\n", dir.path());
  EXPECT_EQ(r.status, 99);
  EXPECT_TRUE(contains(r.out, "Running in Batch mode\n"));
  EXPECT_EQ(count_of(r.out, "Config: v"), 1u);

  // A start-up "quit" ends the session before the loop.
  r = run_vemra({"-b", "-l", "-c", "quit"}, "q config\n", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(count_of(r.out, "Config: v"), 1u);
  EXPECT_FALSE(contains(r.out, "[EOF]"));
}

TEST(Startup, UnknownOptionsAreSkippedAndGeometrySwallowsLaterWords) {
  TempDir dir;
  RunResult r = run_vemra({"-bqlz", "stray"}, "", dir.path());
  // The rest of the group counted: batch mode.
  EXPECT_EQ(
      first_missing(r.out, {"Unknown command line option: q\n", "Unknown command line option: z\n",
                            "Unknown command line keyword: stray\n", "Running in Batch mode\n"}),
      "");
  EXPECT_FALSE(contains(r.out, "Landscape mode?"));
  EXPECT_EQ(r.status, 0);

  r = run_vemra({"-l", "-g", "640x480", "-b", "-x"}, "", dir.path());
  // "-b" and "-x" were geometries: no batch mode, and the loop ran to [EOF].
  EXPECT_FALSE(contains(r.out, "Running in Batch mode"));
  EXPECT_TRUE(contains(r.out, "[EOF]"));
  EXPECT_EQ(r.status, 0);
}

TEST(Startup, PipedInputLosesNoLine) {
  TempDir dir;
  std::string input = "\n";  // the landscape answer
  for (int i = 0; i < 300; ++i) input += "exec missing_" + std::to_string(i) + "\n";
  // The last line has no newline and still runs.
  RunResult r = run_vemra({"-b"}, input + "exec last_one", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(count_of(r.out, "EXEC error:  Can't open file\n"), 301u);
  EXPECT_TRUE(contains(r.out, "  File name is: missing_0\n"));
  EXPECT_TRUE(contains(r.out, "  File name is: missing_299\n"));
  EXPECT_TRUE(contains(r.out, "  File name is: last_one\n"));
}

TEST(Startup, PlainReaderPromptAndLongLines) {
  TempDir dir;
  std::string longname(4091, 'n');  // "exec " and the name: the longest line
  std::string endless(1 << 22, 'x');
  RunResult r =
      run_vemra({"-b", "-l", "-E"},
                "   q config\nexec " + longname + "\n" + endless + "\nq config\n", dir.path());
  EXPECT_TRUE(contains(r.out, "ka> "));
  EXPECT_FALSE(contains(r.out, "ka-> "));
  EXPECT_EQ(count_of(r.out, "Config: v"), 3u);
  EXPECT_TRUE(contains(r.out, "  File name is: " + longname + "\n"));
  EXPECT_TRUE(contains(r.out, "Command line longer than 4096 characters: ignored\n"));
  EXPECT_TRUE(contains(r.out, "[EOF]"));
}

// Input that ends without a newline still delivers its last line, to the
// start-up question as to the prompt.
TEST(Startup, PlainReaderRunsALastLineWithoutNewline) {
  TempDir dir;
  RunResult r = run_vemra({"-b", "-E"}, "n", dir.path());
  EXPECT_TRUE(contains(r.out, "Size = 8.5 11 ")) << r.out;
  r = run_vemra({"-b", "-l", "-E"}, "exec first_one\n   exec last_one", dir.path());
  EXPECT_EQ(count_of(r.out, "EXEC error:  Can't open file\n"), 2u) << r.out;
  EXPECT_TRUE(contains(r.out, "  File name is: last_one\n"));
  EXPECT_TRUE(contains(r.out, "[EOF]"));
  EXPECT_EQ(r.status, 0);
}

TEST(Signals, OneInterruptKeepsTheSessionTwoEndIt) {
  TempDir dir;
  {
    LiveSession s(dir, "one.out");
    ASSERT_TRUE(s.wait_for("ka-> "));
    ASSERT_TRUE(wait_until_waiting(s.pid, waits::input));
    kill(s.pid, SIGINT);
    // Taken, and back at the prompt.
    ASSERT_TRUE(wait_until_waiting(s.pid, waits::input));
    EXPECT_TRUE(s.send("q config\nquit\n"));
    EXPECT_EQ(s.finish(), 0);
    std::string out = read_file(s.out_name);
    EXPECT_EQ(count_of(out, "Config: v"), 2u);
    EXPECT_TRUE(contains(out, "GX package terminated"));
  }
  {
    LiveSession s(dir, "two.out");
    ASSERT_TRUE(s.wait_for("ka-> "));
    ASSERT_TRUE(wait_until_waiting(s.pid, waits::input));
    kill(s.pid, SIGINT);
    // Two at once would arrive as one.
    ASSERT_TRUE(wait_until_waiting(s.pid, waits::input));
    kill(s.pid, SIGINT);
    // Ended at once, with status 0.
    EXPECT_EQ(s.finish(), 0);
    EXPECT_FALSE(contains(read_file(s.out_name), "GX package terminated"));
  }
}

// Standard input that never ends a line (here /dev/zero): the line is
// dropped as it is read until the first Ctrl-C refuses it; the next line is
// as endless, and a second Ctrl-C ends the session as at the prompt.
TEST(Signals, EndlessInputLineEndsAtTheInterrupts) {
  TempDir dir;
  for (const char* editing : {"-l", "-E"}) {
    const std::string out_name = dir.file(std::string("zero") + editing + ".out");
    pid_t pid = fork();
    if (pid == 0) {
      int zero = open("/dev/zero", O_RDONLY);
      int out = open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (zero < 0 || out < 0) _exit(126);
      dup2(zero, 0);
      dup2(out, 1);
      dup2(out, 2);
      alarm(20);
      exec_vemra(dir.path(), {"-b", "-l", editing});
    }
    ASSERT_GT(pid, 0);
    auto wait_for = [&](const std::string& text, size_t n) {
      for (int i = 0; i < 1000; ++i) {
        if (count_of(read_file(out_name), text) >= n) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      return false;
    };
    const std::string prompt = editing[1] == 'E' ? "ka> " : "ka-> ";
    // Each interrupt comes once the line it is meant for is being read
    // past its limit.
    auto reading_past_the_limit = [&] {
      const long from = view_of(pid).rchar;
      return wait_until_waiting(pid,
                                [from](const process_view& v) { return v.rchar > from + 4096; });
    };
    EXPECT_TRUE(wait_for(prompt, 1));
    EXPECT_TRUE(reading_past_the_limit());
    kill(pid, SIGINT);
    EXPECT_TRUE(wait_for("Command line longer than 4096 characters: ignored\n", 1));
    EXPECT_TRUE(wait_for(prompt, 2));
    EXPECT_TRUE(reading_past_the_limit());
    kill(pid, SIGINT);
    int st = 0;
    waitpid(pid, &st, 0);
    // The second one ends the session at once, with status 0.
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << editing << " status " << st;
    EXPECT_EQ(count_of(read_file(out_name), "Command line longer than"), 1u) << editing;
  }
}

// An over-long line whose writer goes quiet before its newline: the first
// Ctrl-C ends the wait and refuses the line, and the session goes on.
TEST(Signals, OverlongLineFromASilentPipeEndsAtTheFirstInterrupt) {
  TempDir dir;
  LiveSession s(dir, "silent.out");
  ASSERT_TRUE(s.wait_for("ka-> "));
  const long before = view_of(s.pid).rchar;
  EXPECT_TRUE(s.send(std::string(10000, 'x')));
  // All of it read, and waiting for the rest of the line.
  EXPECT_TRUE(wait_until_waiting(s.pid, [before](const process_view& v) {
    return v.asleep_in(waits::quiet_input) && v.rchar >= before + 10000;
  }));
  EXPECT_FALSE(contains(s.output(), "Command line longer"));
  kill(s.pid, SIGINT);
  EXPECT_TRUE(s.wait_for("Command line longer than 4096 characters: ignored\n"));
  EXPECT_TRUE(s.send("\nq dims\nquit\n"));
  EXPECT_EQ(s.finish(), 0);
  std::string out = s.output();
  EXPECT_EQ(count_of(out, "Command line longer than"), 1u);
  EXPECT_TRUE(contains(out, "ka-> q dims\nNo files open\n")) << out.substr(out.size() / 2);
}

TEST(Signals, CpuLimitEndsWithStatusOne) {
  TempDir dir;
  LiveSession s(dir, "cpu.out");
  ASSERT_TRUE(s.wait_for("ka-> "));
  kill(s.pid, SIGXCPU);
  EXPECT_EQ(s.finish(), 1);
}

}  // namespace

namespace {

// The first Ctrl-C stops a long plot part way; the session goes on at once.
TEST(Signals, OneInterruptStopsALongPlot) {
  TempDir dir;
  // 6000 x 6000 points of lat*lon: shading them takes many seconds, many
  // times what evaluating them takes, so that a loaded machine (or a
  // sanitized build) reaches the plot well within the wait for it.
  write_file(dir.file("big.ctl"),
             "dset ^big.dat\nundef -9e33\nxdef 6000 linear 0 0.06\n"
             "ydef 6000 linear -90 0.03\nzdef 1 linear 1 1\n"
             "tdef 1 linear jan2000 1mo\nvars 1\nv 0 0 v\nendvars\n");
  write_file(dir.file("big.dat"), std::string(16, '\0'));
  // On a terminal each line of the statistics comes out as it is printed:
  // they come after the values and before the plot, so once the last one
  // is there the plot is under way.
  LiveSession s(dir, "plot.out", {"-b", "-l"}, "", false, true);
  ASSERT_TRUE(s.wait_for("ka-> "));
  EXPECT_TRUE(s.send("open big.ctl\nset gxout shaded\nset stat on\nd lat*lon\n"));
  ASSERT_TRUE(s.wait_for("Stats[(sigma,var)(n-1)]", 1, 60)) << s.output();
  // A whole field, or the plot is too short to be stopped part way.
  ASSERT_TRUE(contains(s.output(), "Dimensions = 0 1\n")) << s.output();
  kill(s.pid, SIGINT);
  EXPECT_TRUE(s.wait_for("DISPLAY error:  interrupted\n", 1, 60)) << s.output();
  EXPECT_FALSE(contains(s.output(), "Invalid expression"));
  EXPECT_TRUE(s.send("set stat off\nq config\nquit\n"));
  EXPECT_EQ(s.finish(), 0);
  std::string out = read_file(s.out_name);
  EXPECT_EQ(count_of(out, "Config: v"), 2u);
  EXPECT_TRUE(contains(out, "GX package terminated"));
}

}  // namespace

namespace {

// Runs a batch session in dir with the chosen standard streams closed, its
// commands from a file, from a pipe, or (standard input closed) from a
// script run by -c; the exit status.
int run_with_closed_streams(const std::string& dir, const std::string& input, bool close_in,
                            bool close_out, bool close_err, bool piped) {
  write_file(dir + "/cmds", input);
  std::string script;
  for (size_t at = 0, nl; (nl = input.find('\n', at)) != std::string::npos; at = nl + 1)
    script += "'" + input.substr(at, nl - at) + "'\n";
  write_file(dir + "/cmds.gs", script);
  pid_t pid = fork();
  if (pid == 0) {
    if (piped) {
      int fds[2];
      if (pipe(fds) != 0 || write(fds[1], input.data(), input.size()) != ssize_t(input.size()))
        _exit(126);
      close(fds[1]);
      dup2(fds[0], 0);
      close(fds[0]);
    } else {
      int in = open((dir + "/cmds").c_str(), O_RDONLY);
      dup2(in, 0);
      close(in);
    }
    int log = open((dir + "/log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(log, 1);
    dup2(log, 2);
    close(log);
    if (close_in) close(0);
    if (close_out) close(1);
    if (close_err) close(2);
    setenv("TZ", "UTC", 1);
    setenv("LC_ALL", "C", 1);
    if (!getenv("KADDIR")) setenv("KADDIR", VEMRA_DATA_DIR, 1);
    alarm(60);
    if (close_in) exec_vemra(dir, {"-b", "-l", "-c", "run cmds.gs"});
    exec_vemra(dir, {"-b", "-l"});
  }
  int st = 0;
  waitpid(pid, &st, 0);
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

// A session started with standard streams closed writes the same GRIB set
// and image as one with them open: no message lands in an output file.
TEST(Startup, ClosedStandardStreamsLeaveOutputsClean) {
  // The output is made before any other file is opened, and writing times 1
  // and 3 makes the writer complain on standard error.
  const std::string input =
      "set lats frequency daily\nset lats deltat 1\nset lats create outg\nopen d.ctl\n"
      "set x 1 36\nset y 1 9\nset t 1\nset gxout latsgrid\nd t\n"
      "set lats var 1 tas average 1 0\nset gxout latsdata\nset lats write 1 1\n" +
      latsfiles::write_two("t") + "printim p.png\n";
  TempDir ref;
  latsfiles::write_dataset(ref);
  ASSERT_EQ(run_batch(input, ref.path()).status, 0);
  const std::string grb = read_file(ref.file("outg.grb"));
  ASSERT_EQ(grb.substr(0, 4), "GRIB");
  struct closed_case {
    const char* what;
    bool in, out, err, piped;
  };
  const closed_case cases[] = {
      {"output and error closed, commands from a file", false, true, true, false},
      {"output and error closed, commands from a pipe", false, true, true, true},
      {"error closed", false, false, true, false},
      {"input closed, commands from -c", true, false, false, false},
      {"all three closed", true, true, true, false},
  };
  for (const closed_case& c : cases) {
    TempDir dir;
    latsfiles::write_dataset(dir);
    EXPECT_EQ(run_with_closed_streams(dir.path(), input, c.in, c.out, c.err, c.piped), 0) << c.what;
    EXPECT_EQ(read_file(dir.file("outg.grb")), grb) << c.what;
    for (const char* name : {"outg.ctl", "outg.gmp", "p.png"})
      EXPECT_EQ(read_file(dir.file(name)), read_file(ref.file(name))) << c.what << ": " << name;
  }
}

}  // namespace
