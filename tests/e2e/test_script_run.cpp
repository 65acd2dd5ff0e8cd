// Scripts run by the program: "run" and implied runs, command statements
// through the real dispatcher, pull from piped input shared with the command
// loop, quit from a script, nested scripts and the script path.
#include <gtest/gtest.h>
#include <poll.h>

#include <functional>

#include "dataset_files.h"
#include "support/live_session.h"
#include "support/process_wait.h"

using dsfiles::answer;
using vemra_test::run_batch;
using vemra_test::RunResult;
using vemra_test::TempDir;
using vemra_test::write_file;

TEST(ScriptRun, PullTakesOnlyItsLineFromPipedInput) {
  TempDir dir;
  write_file(dir.file("ask.gs"),
             "prompt 'Level? '\n"
             "pull lev\n"
             "pull name\n"
             "say 'level ' lev ', name ' name\n");
  RunResult r = run_batch("run ask.gs\n500\nwind speed\nq dims\nask\n850\nt\nquit\n", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(answer(r.out, "run ask.gs"), "Level? level 500, name wind speed\n");
  EXPECT_EQ(answer(r.out, "q dims"), "No files open\n");
  EXPECT_EQ(answer(r.out, "ask"), "Level? level 850, name t\n");
  EXPECT_NE(r.out.find("ka-> quit\n"), std::string::npos);
}

TEST(ScriptRun, ImpliedRunsAndUnknownCommands) {
  TempDir dir;
  write_file(dir.file("hello.gs"),
             "function hello(args)\nsay 'hello ' args\nreturn 'from hello'\n");
  RunResult r = run_batch("hello big  world\nnosuch 1 2\nrun\nquit\n", dir.path());
  EXPECT_EQ(answer(r.out, "hello big  world"), "hello big  world\nfrom hello\n");
  // No script of the name: the command is unknown.
  EXPECT_EQ(answer(r.out, "nosuch 1 2"), "Unknown command: nosuch\n");
  EXPECT_EQ(answer(r.out, "run"), "RUN error:  No file name specified\n");
}

TEST(ScriptRun, ResultIsPrintedOnlyWhenTheScriptSucceeds) {
  TempDir dir;
  write_file(dir.file("ok.gs"), "return 'value' ; \n");
  write_file(dir.file("bye.gs"), "say 'leaving'\nexit 2\nreturn 'never'\n");
  write_file(dir.file("bad.gs"), "return 1 +\n");
  write_file(dir.file("outer.gs"),
             "'run ok.gs'\nsay 'ok: rc=' rc ' result=' result\n"
             "'run bye.gs'\nsay 'bye: rc=' rc ' result=' result\n"
             "'run bad.gs'\nsay 'bad: rc=' rc\n");
  RunResult r = run_batch("run ok.gs\nrun bye.gs\nrun outer.gs\nquit\n", dir.path());
  EXPECT_EQ(answer(r.out, "run ok.gs"), "value\n");
  EXPECT_EQ(answer(r.out, "run bye.gs"), "leaving\n");
  // A nested script's return text is the command's captured result.
  EXPECT_EQ(answer(r.out, "run outer.gs"),
            "ok: rc=0 result=value\n"
            "leaving\n"
            "bye: rc=4 result=\n"
            "Syntax Error\n  Error occurred on line 1\n  In file bad.gs\n"
            "bad: rc=99\n");
}

// Captured text is exactly what the same commands print at the prompt.
TEST(ScriptRun, CommandStatementsThroughTheDispatcher) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 4, 2.5, 3, "zdef 3 levels 1000 850 500", 3, 12);
  write_file(dir.file("dims.gs"),
             "'open g.ctl'\n"
             "if rc != 0; say 'open failed'; exit 1; endif\n"
             "'set lev 850'\n"
             "say 'set: rc=' rc ' result=[' result ']'\n"
             "'q dims'\n"
             "say 'level ' subwrd(sublin(result, 4), 6)\n"
             "'q nosuchthing'\n"
             "say 'query rc=' rc ' result=[' result ']'\n");
  RunResult r = run_batch("run dims.gs\nquit\n", dir.path());
  RunResult typed = run_batch("open g.ctl\nset lev 850\nq nosuchthing\nquit\n", dir.path());
  std::string set_answer = answer(typed.out, "set lev 850");
  std::string query_answer = answer(typed.out, "q nosuchthing");
  ASSERT_NE(set_answer, "");
  ASSERT_NE(query_answer, "");
  // An error is shown as well as captured.
  EXPECT_EQ(answer(r.out, "run dims.gs"), "set: rc=0 result=[" + set_answer + "]\nlevel 850\n" +
                                              query_answer + "query rc=1 result=[" + query_answer +
                                              "]\n");
}

TEST(ScriptRun, QuitInsideAScriptEndsTheSession) {
  TempDir dir;
  write_file(dir.file("q.gs"), "say 'one'\n'quit'\nsay 'two'\n");
  RunResult r = run_batch("run q.gs\nq dims\n", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("ka-> run q.gs\none\n"), std::string::npos);
  EXPECT_EQ(r.out.find("two"), std::string::npos);
  EXPECT_EQ(r.out.find("ka-> q dims"), std::string::npos);
}

TEST(ScriptRun, ScriptPathFromTheEnvironment) {
  TempDir dir, a, b;
  write_file(b.file("found.gs"), "say 'in b'\n");
  write_file(dir.file("found"), "say 'in the current directory'\n");
  write_file(a.file("other.gs"), "say 'in a'\n");
  std::string path = std::string("KASCRP=") + a.path() + ";" + b.path();
  RunResult r = run_batch("run found\nfound\nother\nrun other.gs\nquit\n", dir.path(), {}, {path});
  EXPECT_EQ(answer(r.out, "run found"), "in the current directory\n");
  EXPECT_EQ(answer(r.out, "other"), "in a\n");
  EXPECT_EQ(answer(r.out, "run other.gs"), "in a\n");
  std::remove(dir.file("found").c_str());
  r = run_batch("run found\nquit\n", dir.path(), {}, {path});
  EXPECT_EQ(answer(r.out, "run found"), "in b\n");
}

TEST(ScriptRun, AScriptRunningItselfIsStopped) {
  TempDir dir;
  write_file(dir.file("self.gs"), "'run self.gs'\nsay 'rc=' rc\n");
  RunResult r = run_batch("run self.gs\nq dims\nquit\n", dir.path());
  EXPECT_EQ(r.status, 0);
  std::string a = answer(r.out, "run self.gs");
  EXPECT_EQ(
      a.rfind("Error executing script file: self.gs\n  Scripts nested too deeply\nrc=1\nrc=0\n", 0),
      0u)
      << a.substr(0, 200);
  EXPECT_EQ(answer(r.out, "q dims"), "No files open\n");
}

// Runs script.gs in a live session, interrupts it once it has printed
// started (and the session shows `waiting`, when given; the whole process
// group when group is set, as a terminal does), then queries the session:
// the script must have stopped and the session gone on.
namespace {
void expect_interrupt_stops_the_script(const std::string& script, bool group,
                                       const std::function<bool(pid_t)>& waiting = nullptr) {
  TempDir dir;
  write_file(dir.file("script.gs"), "prompt 'started'\n" + script + "say 'not reached'\n");
  vemra_test::LiveSession s(dir, "script.out", {"-b", "-l"}, "", group);
  EXPECT_TRUE(s.send("run script.gs\n"));
  bool started = s.wait_for("started");
  EXPECT_TRUE(started);
  if (started && waiting) {
    started = vemra_test::wait_until_waiting(
        s.pid, [&](const vemra_test::process_view&) { return waiting(s.pid); });
    EXPECT_TRUE(started);
  }
  if (started) kill(group ? -s.pid : s.pid, SIGINT);
  EXPECT_TRUE(s.send("q dims\nquit\n"));
  s.close_input();
  EXPECT_EQ(s.finish(), 0);
  std::string out = s.output();
  EXPECT_EQ(out.find("not reached"), std::string::npos);
  EXPECT_EQ(answer(out, "q dims"), "No files open\n");
}
}  // namespace

TEST(ScriptRun, InterruptStopsARunningScriptAndKeepsTheSession) {
  expect_interrupt_stops_the_script("while 1\n  i = 1\nendwhile\n", false);
}

// A script file whose last line has no newline runs that line too.
TEST(ScriptRun, LastLineWithoutNewlineRuns) {
  TempDir dir;
  write_file(dir.file("tail.gs"), "say 'first'\n'q dims'\nsay 'last ' result");
  write_file(dir.file("one.gs"), "return 'only line'");
  RunResult r = run_batch("run tail.gs\none\nquit\n", dir.path());
  EXPECT_EQ(answer(r.out, "run tail.gs"), "first\nNo files open\nlast No files open\n\n");
  EXPECT_EQ(answer(r.out, "one"), "only line\n");  // the prompt starts a line of its own
}

// Ctrl-C at a terminal reaches vemra and the shell command it waits for; a
// script looping over shell commands stops as it would on any other
// statement, and the session goes on.
TEST(ScriptRun, InterruptOfAShellCommandStopsTheScript) {
  // While the program waits for the shell and the command sleeps: a shell
  // just started may take the signal for itself and pass it on only later.
  expect_interrupt_stops_the_script("while 1\n  '!sleep 5'\nendwhile\n", true, [](pid_t pid) {
    namespace waits = vemra_test::waits;
    return vemra_test::view_of(pid).asleep_in(waits::child) &&
           vemra_test::descendant_asleep_in(pid, waits::timer);
  });
}

// A user function's program ended by Ctrl-C interrupts the script that
// called it, as a shell command's does; the session goes on.
TEST(ScriptRun, InterruptOfAUserFunctionsProgramStopsTheScript) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 4, 10, 3, "zdef 1 levels 1000", 1, 1);
  write_file(dir.file("udft"), "stop 1 1 expr\ndirect\nkill -INT $$\n" + dir.file("t.bin") + "\n" +
                                   dir.file("r.bin") + "\n");
  write_file(dir.file("calls.gs"), "'d stop(ps)'\nsay 'not reached'\n");
  RunResult r = vemra_test::run_vemra({"-b", "-l"},
                                      "open g.ctl\nset x 2\nset y 2\nrun calls.gs\nq dims\nquit\n",
                                      dir.path(), {"KAUDFT=" + dir.file("udft")}, 20);
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out.find("not reached"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Default file number is: 1"), std::string::npos) << r.out;
}

// At a terminal the echo of the typed answer ends the line a script's prompt
// opened: the command prompt follows it with no empty line between.
TEST(ScriptRun, PullAtATerminalLeavesNoEmptyLine) {
  TempDir dir;
  write_file(dir.file("ask.gs"), "prompt 'Level? '\npull lev\n");
  int term = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(term, 0);
  ASSERT_EQ(grantpt(term), 0);
  ASSERT_EQ(unlockpt(term), 0);
  const std::string user_side = ptsname(term);
  pid_t pid = fork();
  if (pid == 0) {
    setsid();
    int t = open(user_side.c_str(), O_RDWR);  // becomes the controlling terminal
    if (t < 0) _exit(126);
    dup2(t, 0);
    dup2(t, 1);
    dup2(t, 2);
    alarm(20);
    vemra_test::exec_vemra(dir.path(), {"-b", "-l", "-E"});
  }
  ASSERT_GT(pid, 0);
  std::string screen;
  // Reads what the terminal shows until text is there n times.
  auto shows = [&](const std::string& text, size_t n) {
    for (int i = 0; i < 1000 && vemra_test::count_of(screen, text) < n; ++i) {
      pollfd p{term, POLLIN, 0};
      if (poll(&p, 1, 10) <= 0) continue;
      char buf[4096];
      ssize_t got = read(term, buf, sizeof buf);
      if (got <= 0) break;
      screen.append(buf, size_t(got));
    }
    return vemra_test::count_of(screen, text) >= n;
  };
  auto type = [&](const std::string& line) {
    EXPECT_EQ(write(term, line.data(), line.size()), ssize_t(line.size()));
  };
  EXPECT_TRUE(shows("ka> ", 1));
  type("run ask.gs\n");
  EXPECT_TRUE(shows("Level? ", 1));
  type("500\n");
  EXPECT_TRUE(shows("ka> ", 2)) << screen;
  type("quit\n");
  int st = 0;
  waitpid(pid, &st, 0);
  close(term);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << st;
  EXPECT_TRUE(vemra_test::contains(screen, "Level? 500\r\nka> ")) << screen;
}
