// Start-up options, the main loop, standard input and signals, seen from
// outside through the built program.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "support/vemra_run.h"

using namespace vemra_test;

namespace {

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

size_t count_of(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
  return n;
}

TEST(Startup, HelpListsOptionsAndStops) {
  TempDir dir;
  RunResult r = run_vemra({"-helpme", "-b"}, "quit\n", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "Command line options: "));
  EXPECT_TRUE(contains(r.out, "-help   Just this help"));
  EXPECT_TRUE(contains(r.out, "-E      turn OFF command line editing"));
  EXPECT_FALSE(contains(r.out, "-x"));
  EXPECT_FALSE(contains(r.out, "GX Package Initialization"));
}

TEST(Startup, BannerConfigAndEndOfInput) {
  TempDir dir;
  RunResult r = run_batch("", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "Config: v"));
  EXPECT_TRUE(contains(r.out, " 64-bit little-endian readline"));
  EXPECT_FALSE(contains(r.out, "32-bit"));
  EXPECT_TRUE(contains(r.out, "Issue 'q config' command for more information.\n\n"));
  EXPECT_TRUE(contains(r.out, "GX Package Initialization: Size = 11 8.5 \n"));
  EXPECT_TRUE(contains(r.out, "Running in Batch mode\n"));
  EXPECT_TRUE(contains(r.out, "[EOF]\n"));
  EXPECT_TRUE(contains(r.out, "GX package terminated \n"));
  EXPECT_LT(r.out.find("Config: v"), r.out.find("GX Package Initialization"));
  EXPECT_LT(r.out.find("[EOF]"), r.out.find("GX package terminated"));
}

TEST(Startup, OrientationFromOptionsOrQuestion) {
  TempDir dir;
  RunResult r = run_vemra({"-lp"}, "", dir.path(), {});
  // -b is not given here: the session goes on without a window.
  EXPECT_FALSE(contains(r.out, "Landscape mode?"));
  EXPECT_TRUE(contains(r.out, "Size = 8.5 11 "));
  r = run_vemra({"-b", "-pl"}, "", dir.path());
  EXPECT_FALSE(contains(r.out, "Landscape mode?"));
  EXPECT_TRUE(contains(r.out, "Size = 8.5 11 "));

  r = run_vemra({"-b"}, "no\nq config\n", dir.path());
  EXPECT_TRUE(contains(r.out, "Landscape mode? (no for portrait): "));
  EXPECT_TRUE(contains(r.out, "Size = 8.5 11 "));
  EXPECT_EQ(count_of(r.out, "Config: v"), 2u);  // the answer took one line only

  r = run_vemra({"-b"}, "\nquit\n", dir.path());
  EXPECT_TRUE(contains(r.out, "Size = 11 8.5 "));
  EXPECT_FALSE(contains(r.out, "[EOF]"));
  EXPECT_EQ(r.status, 0);

  r = run_vemra({"-b"}, "yes\n", dir.path());
  EXPECT_TRUE(contains(r.out, "Size = 11 8.5 "));
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

TEST(Startup, UnknownOptionsAreReportedAndSkipped) {
  TempDir dir;
  RunResult r = run_vemra({"-bqlz", "stray"}, "", dir.path());
  EXPECT_TRUE(contains(r.out, "Unknown command line option: q\n"));
  EXPECT_TRUE(contains(r.out, "Unknown command line option: z\n"));
  EXPECT_TRUE(contains(r.out, "Unknown command line keyword: stray\n"));
  EXPECT_TRUE(contains(r.out, "Running in Batch mode\n"));  // the rest of the group counted
  EXPECT_FALSE(contains(r.out, "Landscape mode?"));
  EXPECT_EQ(r.status, 0);
}

TEST(Startup, GeometrySwallowsLaterWords) {
  TempDir dir;
  RunResult r = run_vemra({"-l", "-g", "640x480", "-b", "-x"}, "", dir.path());
  // "-b" and "-x" were geometries: no batch mode, and the loop ran to [EOF].
  EXPECT_FALSE(contains(r.out, "Running in Batch mode"));
  EXPECT_TRUE(contains(r.out, "[EOF]"));
  EXPECT_EQ(r.status, 0);
}

TEST(Startup, PipedInputLosesNoLine) {
  TempDir dir;
  std::string input = "\n";  // the landscape answer
  for (int i = 0; i < 300; ++i) input += "exec missing_" + std::to_string(i) + "\n";
  RunResult r = run_vemra({"-b"}, input, dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(count_of(r.out, "EXEC error:  Can't open file\n"), 300u);
  EXPECT_TRUE(contains(r.out, "  File name is: missing_0\n"));
  EXPECT_TRUE(contains(r.out, "  File name is: missing_150\n"));
  EXPECT_TRUE(contains(r.out, "  File name is: missing_299\n"));
}

TEST(Startup, PlainReaderPromptAndLongLines) {
  TempDir dir;
  std::string longname(20000, 'n');
  RunResult r = run_vemra({"-b", "-l", "-E"}, "   q config\nexec " + longname + "\n", dir.path());
  EXPECT_TRUE(contains(r.out, "ka> "));
  EXPECT_FALSE(contains(r.out, "ka-> "));
  EXPECT_EQ(count_of(r.out, "Config: v"), 2u);
  EXPECT_TRUE(contains(r.out, "  File name is: " + longname + "\n"));
  EXPECT_TRUE(contains(r.out, "[EOF]"));
}

TEST(Startup, LastLineWithoutNewlineRuns) {
  TempDir dir;
  RunResult r = run_batch("q config\nexec last_one", dir.path());
  EXPECT_TRUE(contains(r.out, "  File name is: last_one\n"));
  r = run_vemra({"-b", "-l", "-E"}, "exec dropped", dir.path());
  // The plain reader drops a partial last line.
  EXPECT_FALSE(contains(r.out, "dropped\n"));
  EXPECT_TRUE(contains(r.out, "[EOF]"));
}

// Starts vemra with a pipe on standard input and its output in a file.
struct LiveSession {
  pid_t pid = -1;
  int in = -1;
  std::string out_name;

  LiveSession(const TempDir& dir, const std::string& name) {
    out_name = dir.file(name);
    int fds[2];
    if (pipe(fds) != 0) return;
    pid = fork();
    if (pid == 0) {
      dup2(fds[0], 0);
      close(fds[1]);
      int out = open(out_name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(out, 2);
      if (chdir(dir.path().c_str()) != 0) _exit(126);
      execl(VEMRA_BIN, VEMRA_BIN, "-b", "-l", static_cast<char*>(nullptr));
      _exit(127);
    }
    close(fds[0]);
    in = fds[1];
  }
  ~LiveSession() {
    if (in >= 0) close(in);
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
  // Waits until the output holds text (up to 10 s).
  bool wait_for(const std::string& text) {
    for (int i = 0; i < 1000; ++i) {
      if (read_file(out_name).find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  void send(const std::string& s) {
    if (write(in, s.data(), s.size()) != static_cast<ssize_t>(s.size())) ADD_FAILURE();
  }
  // Exit status, or 128 + signal (-1 if it does not end within 10 s).
  int finish() {
    for (int i = 0; i < 1000; ++i) {
      int st = 0;
      pid_t w = waitpid(pid, &st, WNOHANG);
      if (w == pid) {
        pid = -1;
        if (WIFEXITED(st)) return WEXITSTATUS(st);
        return 128 + WTERMSIG(st);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return -1;
  }
};

TEST(Signals, OneInterruptKeepsTheSessionTwoEndIt) {
  TempDir dir;
  {
    LiveSession s(dir, "one.out");
    ASSERT_TRUE(s.wait_for("ka-> "));
    kill(s.pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    s.send("q config\nquit\n");
    EXPECT_EQ(s.finish(), 0);
    std::string out = read_file(s.out_name);
    EXPECT_EQ(count_of(out, "Config: v"), 2u);
    EXPECT_TRUE(contains(out, "GX package terminated"));
  }
  {
    LiveSession s(dir, "two.out");
    ASSERT_TRUE(s.wait_for("ka-> "));
    kill(s.pid, SIGINT);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(s.pid, SIGINT);
    EXPECT_EQ(s.finish(), 0);
    EXPECT_FALSE(contains(read_file(s.out_name), "GX package terminated"));
  }
}

TEST(Signals, CpuLimitEndsWithStatusOne) {
  TempDir dir;
  LiveSession s(dir, "cpu.out");
  ASSERT_TRUE(s.wait_for("ka-> "));
  kill(s.pid, SIGXCPU);
  EXPECT_EQ(s.finish(), 1);
}

}  // namespace
