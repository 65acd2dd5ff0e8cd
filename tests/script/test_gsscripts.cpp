// Whole scripts through the entry: statements and their types, blocks,
// functions, variables, commands with rc and result, pull, return and exit,
// load-time errors, and realistic scripts with their exact output.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

#include "base/session.h"
#include "gs_support.h"

using gs_test::commands;
using gs_test::run;
using gs_test::run_text;
using vemra_test::TempDir;

namespace {

class ScriptRun : public ::testing::Test {
 protected:
  void SetUp() override {
    commands().sent.clear();
    commands().answers.clear();
    commands().hook = nullptr;
  }
  void TearDown() override { commands().hook = nullptr; }
  TempDir dir;
  std::string where(int line) {
    return "  Error occurred on line " + std::to_string(line) + "\n  In file " + dir.file("t.gs") +
           "\n";
  }
};

}  // namespace

TEST_F(ScriptRun, StatementTypesAndKeywords) {
  auto r = run_text(dir,
                    "x = 1\n"
                    "IF x = 1\n"
                    "  SAY 'upper if'\n"
                    "EndIf\n"
                    "i = 0\n"
                    "While (i < 2)\n"
                    "  i = i + 1\n"
                    "endwhile\n"
                    "if(i)\n"
                    "  print 'paren if ' i\n"
                    "endif\n"
                    "say = 5\n"
                    "if = 2\n"
                    "say say + if\n"
                    "sayhello\n"
                    "x=1;* note\n"
                    "say 'a;b' ; say \"c;d\"\n"
                    "say\n"
                    "# comment\n"
                    "    * not at the start: a command\n");
  EXPECT_EQ(r.out,
            "upper if\n"
            "paren if 2\n"
            "7\n"
            "a;b\n"
            "c;d\n"
            "\n"
            "Syntax Error\n" +
                where(20));
  EXPECT_EQ(r.rc, 99);
  ASSERT_EQ(commands().sent.size(), 1u);
  EXPECT_EQ(commands().sent[0], "sayhello");
}

// Whole scripts and what they print ("@F" stands for the script's path) and
// give back: blank and comment lines, carriage returns and tabs, exit codes,
// and the run-time and load-time errors with their line and file.
TEST_F(ScriptRun, OutputsAndErrorsOfWholeScripts) {
  struct Case {
    std::string text, out;
    int rc;
  };
  const std::string ln = "  Error occurred on line ", in = "\n  In file @F\n";
  const std::string scan = "\n  Error occurred scanning line ";
  const Case cases[] = {
      // A last line without newline is a statement all the same.
      {"say 'one'\nsay 'two'", "one\ntwo\n", 0},
      {"say 'only'", "only\n", 0},
      {"x = 1\nif x = 1\nsay 'yes'\nendif", "yes\n", 0},
      {"", "", 0},
      {"* only a comment\n\n   \n;;\n", "", 0},
      {"say 'dos'\r\nx = 2\r\nsay x * 2\r\n", "dos\n4\n", 0},
      {"\tx\t=\t2\nif\tx = 2\n\tsay\t'tab' \t x\nendif\t\n", "tab2\n", 0},
      {"say first(5)\nfunction first(n)\ni = 1\nwhile i < 100\n  if i * i > n\n    return i\n"
       "  endif\n  i = i + 1\nendwhile\nreturn 'none'\n",
       "3\n", 0},
      {"abcdefghijklmnopq = 5\nsay abcdefghijklmnop\nsay abcdefghijklmnopq\n",
       "5\nVariable name too long - 1st 16 chars are: abcdefghijklmnop\nError occurred on line 3" +
           in,
       99},
      {"say 'a'\nexit 3\nsay 'b'\n", "a\n", 4},
      {"exit 2.5\n", "Error on Exit Command:  Non Integer Argument\n" + ln + "1" + in, 99},
      // exit inside a function called by an expression fails that expression.
      {"x = f()\nsay 'not reached'\nfunction f()\nexit 0\n", ln + "1" + in, 99},
      {"x = 1\nsay x +\n", "Syntax Error\nError occurred on line 2" + in, 99},
      {"prompt 1/0\n", "Divide by zero\nError occurred on line 1" + in, 99},
      {"\n\nif\nendif\n", "Syntax Error\n" + ln + "3" + in, 99},
      {"i = 0\nwhile i < 2\n i = i + 1\n if i = 2; i = 'x'; endif\nendwhile\n", "", 0},
      {"pull\n", "Error in pull:  Variable name missing\n" + ln + "1" + in, 99},
      {"say f(1)\nfunction f x\nreturn 1\n",
       "Error:  Invalid function list\n" + ln + "2" + in + "Error occurred on line 1" + in, 99},
      {"say f(1)\nfunction f(abcdefghijklmno)\nreturn abcdefghijklmno\n", "1\n", 0},
      {"x = 1\nwhile x < 3\n  x = x + 1\n",
       "Unable to locate ENDWHILE statement for the WHILE statement at line 2" + in, 1},
      // A while whose endwhile would lie after the next function statement.
      {"while 1\nfunction f()\nendwhile\n",
       "Unable to locate ENDWHILE statement for the WHILE statement at line 1" + in, 1},
      {"x = 1\nendwhile\n", "Unexpected endwhile.  Incorrect loop nesting." + scan + "2" + in, 1},
      {"while 1\nif 1\nendwhile\n",
       "Unexpected endwhile.  Incorrect loop nesting.\n"
       "  Expecting endif before endwhile for if statement at line 2" +
           scan + "3" + in,
       1},
      {"if 1\nelse\nelse\nendif\n",
       "Unexpected else.  Incorrect if block nesting." + scan + "3" + in, 1},
      {"say f()\nfunction abcdefghijklmnop()\nfunction f()\nreturn 'ok'\n", "ok\n", 0},
      {"function abcdefghijklmnopq()\n",
       "Function name too long\nError in @F: Invalid function statement at line 1" + in, 1},
      {"say 1\nfunction 2x\n",
       "Invalid function name\nError in @F: Invalid function statement at line 2" + in, 1},
      // continue and break outside a loop are reported and skipped.
      {"say 'a'\ncontinue\nbreak\nsay 'b'\n",
       "Unexpected continue.  No associated while" + scan + "2" + in +
           "  Statement is ignored\n"
           "Unexpected break.  No associated while" +
           scan + "3" + in + "  Statement is ignored\na\nb\n",
       0},
  };
  for (const Case& c : cases) {
    std::string want = c.out;
    for (std::size_t at; (at = want.find("@F")) != std::string::npos;)
      want.replace(at, 2, dir.file("t.gs"));
    auto r = run_text(dir, c.text);
    EXPECT_EQ(r.out, want) << c.text;
    EXPECT_EQ(r.rc, c.rc) << c.text;
  }
  auto r = run_text(dir, "say f(1)\nfunction f(abcdefghijklmnop)\nreturn 1\n");
  EXPECT_EQ(r.out.rfind("Error:  Invalid function list\n", 0), 0u) << r.out;
}

TEST_F(ScriptRun, CommandsSetRcAndResult) {
  commands().answers["set lat 10 20"] = {0, ""};
  commands().answers["q file"] = {0, "File 1 : test\n"};
  commands().answers["bad command"] = {1, "Unknown command: bad\n"};
  auto r = run_text(dir,
                    "'set lat 10 20'\n"
                    "say 'rc=' rc ' result=[' result ']'\n"
                    "'q file'\n"
                    "say 'rc=' rc ' result=[' result ']'\n"
                    "'bad command'\n"
                    "say 'rc=' rc ' result=[' result ']'\n"
                    "display x\n"
                    "lev = 500\n"
                    "'set lev 'lev\n");
  EXPECT_EQ(r.out,
            "rc=0 result=[]\n"
            "rc=0 result=[File 1 : test\n]\n"
            "rc=1 result=[Unknown command: bad\n]\n");
  EXPECT_EQ(r.rc, 0);
  std::vector<std::string> want = {"set lat 10 20", "q file", "bad command", "displayx",
                                   "set lev 500"};
  EXPECT_EQ(commands().sent, want);
}

TEST_F(ScriptRun, FunctionsLocalsGlobalsAndArguments) {
  commands().answers["q time"] = {0, "Time is now\n"};
  auto r = run_text(dir,
                    "function main(args)\n"
                    "say 'args=[' args ']'\n"
                    "'q time'\n"
                    "g = 'local'\n"
                    "_g = 'global'\n"
                    "v = two(1)\n"
                    "say 'two gave ' v\n"
                    "say 'rc=' rc ' result=' sublin(result, 1)\n"
                    "say 'g=' g ' _g=' _g\n"
                    "say sum(2, 3) + 1\n"
                    "x = noreturn()\n"
                    "say 'noreturn=[' x ']'\n"
                    "return 'done ' args\n"
                    "\n"
                    "function two(a, b)\n"
                    "say 'a=' a ' b=' b ' g=' g ' _g=' _g ' rc=[' rc ']'\n"
                    "_g = 'changed'\n"
                    "return a b\n"
                    "function sum(a b)\n"
                    "return a + b\n"
                    "function noreturn()\n"
                    "y = 1\n",
                    "fld  1990 jan");
  EXPECT_EQ(r.out,
            "args=[fld  1990 jan]\n"
            "a=1 b=b g=g _g=global rc=[]\n"
            "two gave 1b\n"
            "rc=0 result=Time is now\n"
            "g=local _g=changed\n"
            "6\n"
            "noreturn=[]\n");
  EXPECT_EQ(r.rc, 0);
  ASSERT_TRUE(r.ret.has_value());
  EXPECT_EQ(*r.ret, "done fld  1990 jan");
}

TEST_F(ScriptRun, AFunctionCallAsAStatementSendsItsValueAsACommand) {
  auto r = run_text(dir,
                    "f(1)\n"
                    "g()\n"
                    "function f(x)\n"
                    "return 'set t ' x\n"
                    "function g()\n"
                    "return\n");
  EXPECT_EQ(r.rc, 0);
  std::vector<std::string> want = {"set t 1", ""};
  EXPECT_EQ(commands().sent, want);
}

TEST_F(ScriptRun, LoopsAndBranches) {
  auto r = run_text(dir,
                    "i = 0\n"
                    "while 1\n"
                    "  i = i + 1\n"
                    "  if i = 2; continue; endif\n"
                    "  if i > 4\n"
                    "    break\n"
                    "  else\n"
                    "    say 'i=' i\n"
                    "  endif\n"
                    "endwhile\n"
                    "if ''\n say 'empty is true'\n endif\n"
                    "if 0.0\n say '0.0 is true'\n else\n say 'wrong'\n endif\n"
                    "if 0\n say 'wrong'\n else\n say '0 is false'\n endif\n"
                    "j = 0\n"
                    "while j < 3\n"
                    "  k = 0\n"
                    "  while k < j\n"
                    "    k = k + 1\n"
                    "  endwhile\n"
                    "  say j ':' k\n"
                    "  j = j + 1\n"
                    "endwhile\n"
                    "say 'end'\n");
  EXPECT_EQ(r.out,
            "i=1\ni=3\ni=4\n"
            "empty is true\n"
            "0.0 is true\n"
            "0 is false\n"
            "0:0\n1:1\n2:2\n"
            "end\n");
  EXPECT_EQ(r.rc, 0);
}

TEST_F(ScriptRun, CompoundVariables) {
  auto r = run_text(dir,
                    "i = 1\n"
                    "while i <= 3\n"
                    "  val.i = i * 10\n"
                    "  i = i + 1\n"
                    "endwhile\n"
                    "say val.1 ' ' val.2 ' ' val.3 ' ' val.4\n"
                    "_n = 2\n"
                    "say val._n\n"
                    "row = 'r'; col = 'c'\n"
                    "m.row.col = 'cell'\n"
                    "say m.r.c ' ' m.row.col\n"
                    "i = 'abcdefghijklmnop'\n"
                    "a.i = 1\n");
  EXPECT_EQ(r.out,
            "10 20 30 val.4\n"
            "20\n"
            "cell cell\n"
            "Compound variable name too long: a.i" +
                std::string(13, ' ') + "  Error occurred on line 13\n  In file " +
                dir.file("t.gs") + "\n");
  EXPECT_EQ(r.rc, 99);
}

TEST_F(ScriptRun, ADirectoryOfTheScriptsNameIsNoScript) {
  mkdir(dir.file("plot").c_str(), 0755);
  vemra_test::write_file(dir.file("plot.gs"), "say 'plot.gs ran'\n");
  EXPECT_EQ(run(dir.file("plot")).out, "plot.gs ran\n");
}

TEST_F(ScriptRun, PullAtEndOfInputGivesTheEmptyString) {
  gs_test::StdinFeed feed("");
  auto r = run_text(dir, "x = 'set'\npull x\nsay '[' x ']'\n");
  EXPECT_EQ(r.out, "[]\n");
}

TEST_F(ScriptRun, InterruptStopsBeforeTheNextStatement) {
  commands().hook = [](const std::string& c) -> std::string {
    if (c == "interrupt") gcmn->interrupt = 1;
    return "";
  };
  auto r = run_text(dir, "say 'one'\n'interrupt'\nsay 'two'\n");
  gcmn->interrupt = 0;
  EXPECT_EQ(r.out, "one\n");
  EXPECT_EQ(r.rc, 99);
  // A loop with an empty body runs no statement, yet it sees the interrupt.
  signal(SIGALRM, [](int) { gcmn->interrupt = 1; });
  itimerval once{{0, 0}, {0, 50000}};
  setitimer(ITIMER_REAL, &once, nullptr);
  r = run_text(dir, "while 1\nendwhile\nsay 'after'\n");
  signal(SIGALRM, SIG_DFL);
  gcmn->interrupt = 0;
  EXPECT_EQ(r.rc, 99);
  EXPECT_EQ(r.out, "");
}

TEST_F(ScriptRun, RunawayRecursionIsStopped) {
  auto r = run_text(dir, "say f(1)\nfunction f(n)\nreturn f(n + 1)\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_EQ(r.out.rfind("Error:  Function calls nested too deeply (400 levels)\n", 0), 0u);
  // So is nesting within one line, but 300 levels still work.
  auto nest = [](int n) {
    std::string e;
    for (int k = 0; k < n; k++) e += "substr(";
    e += "'x'";
    for (int k = 0; k < n; k++) e += ",1,1)";
    return "say " + e + "\n";
  };
  r = run_text(dir, nest(5000));
  EXPECT_EQ(r.rc, 99);
  EXPECT_EQ(r.out.rfind("Error:  Function calls nested too deeply (400 levels)\n", 0), 0u);
  r = run_text(dir, nest(300));
  EXPECT_EQ(r.out, "x\n");
}

// A command that throws leaves the interpreter as deep as it found it: the
// next run still gets its 64 nested scripts and its 400 nested calls.
TEST_F(ScriptRun, NestingIsRestoredWhenACommandThrows) {
  static std::string self;
  static int started;
  static bool throwing;
  self = dir.file("t.gs");
  // Each script calls f three levels deep, then starts itself again.
  vemra_test::write_file(self,
                         "say f(1)\nfunction f(n)\nif n < 3\nreturn f(n + 1)\nendif\n"
                         "'again'\nreturn n\n");
  commands().hook = [](const std::string& c) -> std::string {
    if (c != "again") return "";
    if (++started == 3 && throwing) throw std::runtime_error("command failed");
    int rc = 0;
    gsfile(self, rc, 0);
    return "rc=" + std::to_string(rc);
  };
  started = 0;
  throwing = true;
  EXPECT_THROW(run(self), std::runtime_error);
  EXPECT_EQ(started, 3);
  EXPECT_EQ(gs_nesting().scripts, 0);
  EXPECT_EQ(gs_nesting().calls, 0);

  started = 0;
  throwing = false;
  auto r = run(self);
  EXPECT_EQ(started, 64);
  EXPECT_EQ(
      r.out.rfind("Error executing script file: " + self + "\n  Scripts nested too deeply\n", 0),
      0u)
      << r.out.substr(0, 200);
  EXPECT_EQ(r.rc, 0);
  commands().hook = nullptr;
  r = run_text(dir, "say f(1)\nfunction f(n)\nreturn f(n + 1)\n");
  EXPECT_EQ(r.out.rfind("Error:  Function calls nested too deeply (400 levels)\n", 0), 0u);
  EXPECT_EQ(gs_nesting().scripts, 0);
  EXPECT_EQ(gs_nesting().calls, 0);
}

TEST_F(ScriptRun, NestingDeeperThanTheStackEndsAsAnError) {
  std::string deep;
  for (int k = 0; k < 300000; k++) deep += "if 1\n";
  for (int k = 0; k < 300000; k++) deep += "endif\n";
  auto r = run_text(dir, deep);
  EXPECT_EQ(r.rc, 1);
  EXPECT_EQ(r.out.rfind("Blocks nested too deeply.\n  Error occurred scanning line ", 0), 0u);
  // A recursion inside nested blocks takes far more stack per call.
  std::string body;
  for (int k = 0; k < 60; k++) body += "if n > 0\n";
  body += "return f(n + 1)\n";
  for (int k = 0; k < 60; k++) body += "endif\n";
  r = run_text(dir, "say f(1)\nfunction f(n)\n" + body);
  EXPECT_EQ(r.rc, 99);
  EXPECT_NE(r.out.find(" nested too deeply"), std::string::npos) << r.out.substr(0, 200);
}

// Appending to a variable in place must mean what a copy meant: the old
// value read where the variable stands, other names and functions' own
// locals untouched, globals a called function changes read before the call.
TEST_F(ScriptRun, AppendsKeepTheirMeaning) {
  auto r = run_text(dir,
                    "s = 'ab'\ns = s 'c' s\nsay s\n"
                    "t = s 'x'\nsay s ' ' t\n"
                    "s = s\nsay s\n"
                    "s = s substr(s, 2, 1) % '-'\nsay s\n"
                    "e = s 'd' = 'abcabb-d'\nsay e\n"
                    "u = v 'x'\nsay u\n"
                    "n = 5\nn = -n\nn = n 1\nsay n\n"
                    "i = 1\na.i = 'p'\na.i = a.i 'q'\nsay a.1\n"
                    "_g = 'a'\n_g = _g f()\nsay _g\n"
                    "say s ' ' h()\n"
                    "k = 0\nw = ''\nwhile k < 1000\n  w = w k % ','\n  k = k + 1\nendwhile\n"
                    "say math_strlen(w) ' ' substr(w, 1, 6) ' ' substr(w, 3887, 4)\n"
                    "function f()\n_g = 'z'\nreturn 'b'\n"
                    "function h()\ns = 'in'\ns = s '!'\nreturn s\n");
  EXPECT_EQ(r.out,
            "abcab\n"
            "abcab abcabx\n"
            "abcab\n"
            "abcabb-\n"
            "1\n"
            "vx\n"
            "-51\n"
            "pq\n"
            "ab\n"
            "abcabb- in!\n"
            "3890 0,1,2, 999,\n");
  EXPECT_EQ(r.rc, 0);
}

// A string that keeps doubling stops at 16 MiB (2^24 characters), long
// before memory runs out; one at the limit is still made.
TEST_F(ScriptRun, StringsStopAtTheirLengthLimit) {
  auto r = run_text(dir, "x = 'abcdefgh'\nn = 3\nwhile 1\nx = x x\nn = n + 1\nsay n\nendwhile\n");
  EXPECT_EQ(r.rc, 99);
  EXPECT_NE(r.out.find("\n24\nString too long: more than 16777216 characters\n"), std::string::npos)
      << r.out.substr(0, 300);
  EXPECT_EQ(r.out.find("\n25\n"), std::string::npos);
}

TEST_F(ScriptRun, RunningOutOfMemoryFailsTheStatement) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer ends the process at a failed allocation";
#else
  std::string path = dir.file("t.gs");
  vemra_test::write_file(path, "x = 'abcdefgh'\nwhile 1\nx = x x\nendwhile\n");
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    // Room for what the test has mapped and 8 MB more: memory runs out
    // before a string reaches its length limit.
    long pages = 0;
    FILE* f = fopen("/proc/self/statm", "r");
    if (!f || fscanf(f, "%ld", &pages) != 1) _exit(2);
    fclose(f);
    rlim_t room =
        static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + (8 << 20);
    rlimit lim{room, room};
    if (setrlimit(RLIMIT_AS, &lim) != 0) _exit(2);
    try {
      auto r = run(path);
      _exit(r.rc == 99 && r.out == "Memory allocation error\n" + where(3) ? 0 : 1);
    } catch (...) {
      _exit(3);
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
#endif
}

TEST_F(ScriptRun, LongLinesAndValuesHaveNoLimit) {
  std::string big(100000, 'a');
  auto r = run_text(dir, "v = '" + big + "'\nsay math_strlen(v ' ' v)\n");
  EXPECT_EQ(r.out, "200001\n");
  commands().hook = [](const std::string& c) -> std::string {
    return std::string(c.size() * 2, 'r');
  };
  r = run_text(dir, "'" + big + "'\nsay math_strlen(result) ' ' rc\n");
  EXPECT_EQ(r.out, "200000 0\n");
  std::string line(5000, 'p');
  gs_test::StdinFeed feed(line + "\nnext\n");
  r = run_text(dir, "pull v\nsay math_strlen(v) ' ' substr(v, 4999, 5)\n");
  EXPECT_EQ(r.out, "5000 pp\n");
  EXPECT_EQ(feed.rest(), "next\n");
}

// ---- function files, text files and the script path ----------------------

TEST_F(ScriptRun, FunctionLibraryFilesLoadedOnDemand) {
  TempDir lib;
  mkdir(dir.file("scripts").c_str(), 0755);
  mkdir(dir.file("scripts/lib").c_str(), 0755);
  vemra_test::write_file(dir.file("scripts/main.gs"),
                         "rc = gsfallow('on')\n"
                         "rc = gsfpath('lib')\n"
                         "say inkascrp(2) ' ' here() ' ' inlib()\n"
                         "say 'again ' inlib()\n"
                         "say 'global ' _count\n"
                         "say half(9)\n");
  vemra_test::write_file(dir.file("scripts/here.gsf"), "function here()\nreturn 'dir'\n");
  vemra_test::write_file(dir.file("scripts/lib/inlib.gsf"),
                         "function inlib()\n_count = _count + 1\nreturn 'lib'\n");
  vemra_test::write_file(dir.file("scripts/lib/here.gsf"), "function here()\nreturn 'wrong'\n");
  vemra_test::write_file(lib.file("inkascrp.gsf"),
                         "function inkascrp(n)\n_count = 0\nreturn 'env' n\n");
  vemra_test::write_file(lib.file("half.gsf"), "function halve(n)\nreturn n / 2\n");
  setenv("KASCRP", lib.path().c_str(), 1);
  auto r = run(dir.file("scripts/main"));
  unsetenv("KASCRP");
  EXPECT_EQ(r.out,
            "env2 dir lib\n"
            "again lib\n"
            "global 2\n"
            "Loaded function file " +
                lib.file("half.gsf") +
                "\n"
                "  But... Function not found: half" +
                std::string(12, ' ') +
                "\n"
                "Error occurred on line 6\n  In file " +
                dir.file("scripts/main.gs") + "\n");
  EXPECT_EQ(r.rc, 99);
}

TEST_F(ScriptRun, FunctionFilesNeedAutoloadAndReportTheirErrors) {
  vemra_test::write_file(dir.file("f.gsf"), "function f()\nreturn 1\n");
  auto r = run_text(dir, "say f()\n");
  EXPECT_EQ(r.out, "Function not found: f" + std::string(15, ' ') +
                       "\nError occurred on line 1\n  In file " + dir.file("t.gs") + "\n");
  vemra_test::write_file(dir.file("g.gsf"), "function g()\nif 1\nreturn 1\n");
  r = run_text(dir, "rc = gsfallow('on')\nsay g()\n");
  EXPECT_EQ(r.out, "Unable to locate ENDIF statement for the IF statement at line 2\n  In file " +
                       dir.file("g.gsf") + "\nError while loading function: g" +
                       std::string(15, ' ') +
                       "\n"
                       "Error occurred on line 2\n  In file " +
                       dir.file("t.gs") + "\n");
  // An absolute entry of the function path is used as it stands.
  TempDir other;
  vemra_test::write_file(other.file("h.gsf"), "function h(a)\nreturn 'abs ' a\n");
  r = run_text(dir,
               "rc = gsfallow('on')\nrc = gsfpath('nothere, " + other.path() + "')\nsay h(7)\n");
  EXPECT_EQ(r.out, "abs 7\n");
}

TEST_F(ScriptRun, ScriptPathLookup) {
  // The lookup itself runs end to end; here the separators, an absolute name
  // and a pipe.
  TempDir a, c;
  vemra_test::write_file(c.file("vemra_probe_c.gs"), "function m(args)\nsay 'found in c ' args\n");
  vemra_test::write_file(a.file("vemra_probe_c.gs.gs"), "say 'wrong'\n");
  std::string list = a.path() + "," + c.path();
  setenv("KASCRP", list.c_str(), 1);
  auto r = run("vemra_probe_c.gs  1 2");
  EXPECT_EQ(r.out, "found in c 1 2\n");
  list = " " + a.path() + "/  " + c.path() + " ";
  setenv("KASCRP", list.c_str(), 1);
  r = run("vemra_probe_c");
  EXPECT_EQ(r.out, "found in c \n");
  // An absolute name is never searched for along the path.
  r = run("/vemra_probe_c");
  EXPECT_EQ(r.out, "Error opening script file: /vemra_probe_c\n");
  EXPECT_EQ(r.rc, 1);
  EXPECT_FALSE(r.ret.has_value());
  unsetenv("KASCRP");
  // A pipe has no size to read a script by, and opening one would wait.
  ASSERT_EQ(mkfifo(a.file("pipe.gs").c_str(), 0600), 0);
  r = run(a.file("pipe.gs"));
  EXPECT_EQ(r.out, "Error opening script file: " + a.file("pipe.gs") + "\n");
}
