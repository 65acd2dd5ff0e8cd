// The dispatcher's own commands and command files, run through the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/dataset_files.h"
#include "e2e/lats_files.h"
#include "e2e/sdf_files.h"
#include "support/live_session.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

TEST(CommandFile, ArgumentsQuotingAndComments) {
  TempDir dir;
  write_file(dir.file("f.cmd"),
             "* a comment that is never shown\n"
             "stack &0 &1\n"
             "flush [&5] &&0 &x\n");
  RunResult r = run_batch("exec f.cmd alpha ~two words~ gamma\n", dir.path());
  EXPECT_TRUE(contains(r.out, "stack alpha two words\n"));
  EXPECT_TRUE(contains(r.out, "flush [&5] &alpha &x\n"));
  EXPECT_FALSE(contains(r.out, "comment"));
  EXPECT_TRUE(contains(r.out, "EOF EXECuting f.cmd \n"));
  EXPECT_EQ(r.status, 0);
  // A last line without newline that expands to nothing is a blank command.
  write_file(dir.file("e.cmd"), "&0");
  r = run_batch("exec e.cmd ~~\n", dir.path());
  EXPECT_TRUE(contains(r.out, "EOF EXECuting e.cmd \n")) << r.out;
}

TEST(CommandFile, QuitInsideEndsTheSession) {
  TempDir dir;
  write_file(dir.file("q.cmd"), "quit\nstack never\n");
  RunResult r = run_batch("exec q.cmd\nq config\n", dir.path());
  EXPECT_TRUE(contains(r.out, "EXEC error:  error in q.cmd.  EXEC stopped.\n"));
  EXPECT_EQ(count_of(r.out, "Config: v"), 1u);  // the line after exec never ran
  EXPECT_FALSE(contains(r.out, "[EOF]"));
  EXPECT_TRUE(contains(r.out, "GX package terminated"));
  EXPECT_EQ(r.status, 0);
}

// Lines hold up to 299 characters; the arguments may make the command
// longer. A longer line stops the file with an error, and a device (an
// endless file without newlines) is refused before any reading.
TEST(CommandFile, LongLinesAndMissingFinalNewline) {
  TempDir dir;
  std::string arg(3000, 'a');
  std::string word(287, 'w');  // "stack " + word + " &0 &0" is 299 characters
  write_file(dir.file("l.cmd"), "stack " + word + " &0 &0\nstack the end");
  write_file(dir.file("over.cmd"), "stack " + word + "w &0 &0\nstack never\n");
  RunResult r =
      run_batch("exec l.cmd " + arg + "\nexec over.cmd\nexec /dev/zero\nq config\n", dir.path());
  EXPECT_TRUE(contains(r.out, "stack " + word + " " + arg + " " + arg + "\n"));
  EXPECT_TRUE(contains(r.out, "stack the end\n"));
  EXPECT_TRUE(contains(r.out, "EOF EXECuting l.cmd \n"));
  EXPECT_EQ(first_missing(r.out, {"EXEC error:  line longer than 299 characters\n",
                                  "EXEC error:  error in over.cmd.  EXEC stopped.\n",
                                  "EXEC error:  Can't open file\n  File name is: /dev/zero\n"
                                  "  /dev/zero is not a regular file\n",
                                  "Config: v"}),
            "");
  EXPECT_FALSE(contains(r.out, "stack never"));
}

TEST(CommandFile, OpenFailureAndRecursion) {
  TempDir dir;
  RunResult r = run_batch("exec\nexec nothing.cmd\n", dir.path());
  EXPECT_TRUE(contains(r.out, "EXEC error:  missing file name \n"));
  EXPECT_TRUE(contains(r.out, "EXEC error:  Can't open file\n  File name is: nothing.cmd\n"));

  write_file(dir.file("self.cmd"), "exec self.cmd\n");
  r = run_batch("exec self.cmd\nq config\n", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "EXEC error:  too many nested EXEC commands\n"));
  EXPECT_EQ(count_of(r.out, "Config: v"), 2u);  // the session goes on
}

// A command file written with CRLF line ends runs line by line as one with
// LF ends: the carriage return ending a line is part of the line end. One
// within a line is still shown escaped and stops the file.
TEST(CommandFile, CarriageReturnsEndingLinesAreLineEnds) {
  TempDir dir;
  dsfiles::write_grid(dir, "g", 4, 10, 3, "zdef 1 levels 1000", 1, 1);
  // What "d lon+lat*100" prints at grid point (x, y): lon 0 by 10, lat -30 by 30.
  auto at = [](int x, int y) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Result value = %g \n",
                  (x - 1) * 10 + (-30 + (y - 1) * 30) * 100.0);
    return std::string(buf);
  };
  const std::string word(291, 'w');  // "stack " + word + " w" is 299 characters
  const struct {
    const char* name;
    std::string file;
    std::vector<std::string> want;  // in this order
    std::vector<std::string> never;
  } cases[] = {
      {"CRLF throughout, the last line without its newline",
       "open g.ctl\r\nset x 2\r\n* a comment\r\nset y 3\r\nd lon+lat*100\r\nset x 4\r\n"
       "d lon+lat*100\r",
       {"set x 2\n", "set y 3\n", at(2, 3), "set x 4\n", at(4, 3), "EOF EXECuting f.cmd \n"},
       {"\r", "\\x0d", "comment", "EXEC error"}},
      {"CRLF and LF mixed",
       "open g.ctl\nset x 3\r\nset y 1\nd lon+lat*100\r\n",
       {at(3, 1), "EOF EXECuting f.cmd \n"},
       {"\r", "\\x0d", "EXEC error"}},
      {"a longest line and its carriage return",
       "stack " + word + " w\r\nstack end\r\n",
       {"stack " + word + " w\n", "stack end\n", "EOF EXECuting f.cmd \n"},
       {"\r", "longer than"}},
      {"a carriage return within a line",
       "open g.ctl\r\nset y 2\r\nd lat\r+1\r\nd lon\r\n",
       {"\nd lat\\x0d+1\n", "EXEC error:  error in f.cmd.  EXEC stopped.\n"},
       {"\nd lon\n"}},
  };
  for (const auto& c : cases) {
    write_file(dir.file("f.cmd"), c.file);
    RunResult r = run_batch("exec f.cmd\n", dir.path());
    std::size_t from = 0;
    for (const std::string& w : c.want) {
      const std::size_t p = r.out.find(w, from);
      EXPECT_NE(p, std::string::npos) << c.name << ": no " << w << " in\n" << r.out;
      if (p != std::string::npos) from = p + w.size();
    }
    for (const std::string& n : c.never) EXPECT_FALSE(contains(r.out, n)) << c.name << ": " << n;
  }
}

// One return-code rule for every command: a command that did nothing of
// what was asked returns 1 (a script sees it in rc, a command file stops
// there); one that did its work and reported a word it ignored returns 0
// (a command file goes on).
TEST(ReturnCodes, WhatAScriptSeesAndWhetherACommandFileGoesOn) {
  const std::string sample = std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl";
  const std::string data = "open " + sample + "\n";
  const std::string fwrite_open = data + "set fwrite f.dat\nset gxout fwrite\nd z\n";
  struct rc_case {
    std::string setup, command;
    int rc;
  } cases[] = {
      {"", "q foo", 1},
      {"", "clear button", 1},
      {"", "disable foo", 1},
      {"", "draw foo", 1},
      {"", "redraw foo", 1},
      {"", "set dignum 9", 1},
      {"", "q string", 1},
      {fwrite_open, "set fwrite other.dat", 1},
      {data, "undefine nosuch", 1},
      {data, "q defval nosuch 1 1", 1},
      {data, "set defval nosuch 1 1 5", 1},
      {"", "print", 1},
      {"enable print a.meta\n", "enable print b.meta", 1},
      {"", "set baropts", 1},
      // A word the keyword does not take leaves the setting as it was.
      {"", "set baropts hollow", 1},
      {"", "set tlsupp off", 1},
      {"", "set baropts filled", 0},
      {"", "set tlsupp month", 0},
      {"", "set dignum 3", 0},
      {"", "printim pr1.png foo", 0},
      {"", "set map 3 x", 0},
      {"", "set annot 2 x", 0},
      {"", "set string 2 zz", 0},
      {"", "set line 3 x", 0},
      {"", "set strsiz 0.2 x", 0},
      {"", "set fill dot 9", 0},
      {"", "set fill line 3 20", 0},
      {"enable print a.meta\n", "print", 0},
      // A display whose output is refused or can't be written did nothing.
      {data + "set fwrite nodir/f.dat\nset gxout fwrite\n", "d z", 1},
      {data + "set gxout writegds\n", "d z", 1},
      {data + "set gxout latsdata\n", "d z", 1},
      {data + "set fwrite f.dat\nset gxout fwrite\n", "d z", 0},
      // So is a plot refused for want of its second grid.
      {data + "set lat 30\nset gxout linefill\n", "d z", 1},
      {data + "set lat 30\nset gxout linefill\n", "d z;z+1", 0},
  };
  for (const rc_case& c : cases) {
    TempDir dir;
    write_file(dir.file("rc.gs"), "'" + c.command + "'\nsay 'rc=' rc\n");
    write_file(dir.file("f.cmd"), c.command + "\nstack after\n");
    RunResult r = run_batch(c.setup + "run rc.gs\nexec f.cmd\n", dir.path());
    EXPECT_TRUE(contains(r.out, "rc=" + std::to_string(c.rc) + "\n")) << c.command << "\n" << r.out;
    EXPECT_EQ(contains(r.out, "stack after\nEOF EXECuting f.cmd \n"), c.rc == 0)
        << c.command << "\n"
        << r.out;
    EXPECT_EQ(contains(r.out, "EXEC error:  error in f.cmd.  EXEC stopped.\n"), c.rc != 0)
        << c.command;
  }
  // The refusal says so.
  {
    TempDir dir;
    RunResult r = run_batch("set baropts hollow\nset tlsupp off\n", dir.path());
    EXPECT_TRUE(contains(r.out,
                         "ka-> set baropts hollow\n"
                         "SET error:  Missing or invalid arguments for BAROPTS option\n"
                         "ka-> set tlsupp off\n"
                         "SET error:  Missing or invalid arguments for TLSUPP option\n"))
        << r.out;
  }
  // The ignored word did not stop the image.
  TempDir dir;
  RunResult r = run_batch("printim pr1.png foo\n", dir.path());
  EXPECT_TRUE(contains(r.out, "PRINTIM error:  Invalid option; ignored\n"));
  EXPECT_EQ(read_file(dir.file("pr1.png")).substr(1, 3), "PNG");
}

// One command after setup, typed, from a script that says the rc it saw and
// from a command file that goes on to "stack after" when the command
// succeeds.
struct three_ways {
  std::string answer;  // what it printed when typed
  std::string out;
  bool script_saw(int rc) const { return contains(out, "rc=" + std::to_string(rc) + "\n"); }
  bool file_went_on() const { return contains(out, "stack after\nEOF EXECuting f.cmd \n"); }
};

three_ways run_three_ways(const std::string& setup, const std::string& command) {
  TempDir dir;
  write_file(dir.file("rc.gs"), "'" + command + "'\nsay 'rc=' rc\n");
  write_file(dir.file("f.cmd"), command + "\nstack after\n");
  RunResult r = run_batch(setup + command + "\nrun rc.gs\nexec f.cmd\n", dir.path());
  return {answer(r.out, command), r.out};
}

// A fill value out of range is reported and not stored while the type and
// the other values are: the command did its work, so a script sees success
// and a command file goes on. What it stored shows in its values line.
TEST(ReturnCodes, FillReportsTheValueItDidNotStoreAndSucceeds) {
  const std::string density5 = "Invalid ptrnden value:  must be integer 1 to 5\n";
  const std::string density6 = "Invalid ptrnden value:  must be integer 1 to 6\n";
  const std::string angle =
      "Invalid ptrnang value:  must be -90, -60, -45 -30\n"
      " \t                        0, 30. 45, 60, or 90\n";
  struct fill_case {
    std::string before, command, answer;
  } cases[] = {
      {"set fill line 5 30\n", "set fill line 9 45", density5 + "SET FILL values: line 5 45\n"},
      {"set fill line 2 -30\n", "set fill line 4 20", angle + "SET FILL values: line 4 -30\n"},
      {"set fill line 1 90\n", "set fill line 0 7",
       density5 + angle + "SET FILL values: line 1 90\n"},
      {"set fill dot 3\n", "set fill dot 9", density6 + "SET FILL values: dot 3\n"},
      // The density of a line pattern is kept for the dot pattern.
      {"set fill line 4 60\n", "set fill dot 0", density6 + "SET FILL values: dot 4\n"},
      {"set fill dot 2\n", "set fill line 6 90", density5 + "SET FILL values: line 2 90\n"},
  };
  for (const fill_case& c : cases) {
    three_ways t = run_three_ways(c.before, c.command);
    EXPECT_EQ(t.answer, c.answer) << c.command;
    EXPECT_TRUE(t.script_saw(0)) << c.command << "\n" << t.out;
    EXPECT_TRUE(t.file_went_on()) << c.command << "\n" << t.out;
  }
}

// A number beyond the float range, or one that is no number at all (0e400),
// is refused where any command reads one, with that command's usual error:
// the setting stays as it was, a script sees 1 and a command file stops.
TEST(ReturnCodes, NumbersThatAreNotFiniteAreRefused) {
  const std::string data = "open " + std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl\n";
  auto common = [](const std::string& option) {
    return "SET error:  Missing or invalid arguments for " + option + " option\n";
  };
  struct number_case {
    std::string setup, command, answer;
  } cases[] = {
      {"", "set cint 1e39", common("CINT")},
      {"", "set cint 0e400", common("CINT")},
      {"", "set cmin -1e39", common("CMIN")},
      {"", "set clevs 1 2 1e39", common("CLEVS")},
      {"", "set rbrange 0 1e39", common("RBRANGE")},
      {"", "set strsiz 1e39", common("STRSIZ")},
      {"", "set vpage 0 1e39 0 8", common("VPAGE")},
      {"", "set arrscl 1e39", common("ARRSCL")},
      {"", "set loopincr 1e39", common("LOOPINCR")},
      // An increment that is no number is ignored; one past the range is not.
      {"", "set xaxis 0 1 1e39", common("XAXIS")},
      {data, "set lon 0 1e39", common("LON")},
      {data, "set lat 1e39", common("LAT")},
      {data, "set x 1e39", common("X")},
      {data, "set lev 0e400", common("LEV")},
      // Grid coordinates whose world values lie past the float range.
      {data, "set z 3e38", common("Z")},
      {data, "set x 1 3e38", common("X")},
      // Grid coordinates no grid index holds (an int), and times whose date
      // no calendar year holds: 1.5e9 six-hour steps are over 1e6 * 1461
      // steps, a million years.
      {data, "set x 1e10", common("X")},
      {data, "set y 1 -3e9", common("Y")},
      {data, "set t 1e10", common("T")},
      {data, "set t 1 1.5e9", common("T")},
      {"", "draw line 1 1 1e39 2", "DRAW error: Invalid LINE coordinate\n"},
      {"", "draw rec 1 1 1e39 2", "DRAW error: Syntax is DRAW REC xlo ylo xhi yhi\n"},
      {"", "draw polyf 1 1 2 1 1e39 2", "DRAW error: Invalid polyf coordinate\n"},
      {data + "d z\n", "q w2xy 1e39 0", "Query Error: Syntax is QUERY W2XY Lon Lat\n"},
      {data + "d z\n", "q w2gr 0 1e39", "Query Error: Syntax is QUERY W2GR Lon Lat\n"},
      {data + "d z\n", "q xy2w 1e39 1", "QUERY error: Syntax is QUERY XY2W x y\n"},
  };
  for (const number_case& c : cases) {
    three_ways t = run_three_ways(c.setup, c.command);
    EXPECT_EQ(t.answer, c.answer) << c.command;
    EXPECT_TRUE(t.script_saw(1)) << c.command << "\n" << t.out;
    EXPECT_FALSE(t.file_went_on()) << c.command << "\n" << t.out;
  }
  // The interval set before stays for the next display.
  TempDir dir;
  RunResult r = run_batch(data + "set cint 5\nset cint 1e39\nd z\n", dir.path());
  EXPECT_EQ(answer(r.out, "d z"), "Contouring: 135 to 245 interval 5 \n");
  // So do the dimensions.
  r = run_batch(data + "set x 3 4\nset t 2\nset x 1 3e38\nset z 3e38\nset x 1e10\nset t 1e10\n" +
                    "set t 1 1.5e9\nq dims\n",
                dir.path());
  EXPECT_EQ(answer(r.out, "q dims"),
            "Default file number is: 1 \n"
            "X is varying   Lon = 5 to 7.5   X = 3 to 4\n"
            "Y is varying   Lat = -90 to 90   Y = 1 to 73\n"
            "Z is fixed     Lev = 1000  Z = 1\n"
            "T is fixed     Time = 06Z01JAN2000  T = 2\n")
      << r.out;
}

// Texts that end without a line end (a script's result, a few messages)
// keep their wording; the prompt after them starts a line of its own, at
// either prompt, and a line already ended gets no empty one.
TEST(Messages, ThePromptStartsALineOfItsOwn) {
  TempDir dir;
  write_file(dir.file("zero.gs"), "return 0\n");
  const std::string in = "zero\nset lats create\nq foo\nrun zero.gs\n";
  RunResult r = run_batch(in, dir.path());
  EXPECT_EQ(
      first_missing(r.out, {"ka-> zero\n0\nka-> set lats create\n",
                            "SET LATS CREATE error:  Missing or invalid arguments\nka-> q foo\n"
                            "Invalid QUERY argument: foo \nka-> run zero.gs\n0\nka-> [EOF]"}),
      "")
      << r.out;
  r = run_vemra({"-b", "-l", "-E"}, in, dir.path());
  EXPECT_EQ(count_of(r.out, "0\nka> "), 2u) << r.out;
  EXPECT_TRUE(contains(r.out, "arguments\nka> ")) << r.out;
  EXPECT_TRUE(contains(r.out, "Invalid QUERY argument: foo \nka> ")) << r.out;
}

// The animation's last frame asks for Enter with a text that has no line
// end; in batch mode nothing is read there, and the prompt (either kind) or
// a command file's next line starts a line of its own after it, once.
TEST(Messages, TheAnimationsPressEnterTextLeavesNoLineOpen) {
  TempDir dir;
  const std::string loop =
      "open " + std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl\nset t 1 2\nset looping on\n";
  write_file(dir.file("loop.cmd"), "d z\nstack next\n");
  const std::string press = "Press enter to continue::::: ";
  struct prompt_case {
    std::vector<std::string> args;
    std::string input, after;
  } cases[] = {
      {{"-b", "-l"}, loop + "d z\nq files\n", "\nka-> q files\nFile 1 : "},
      {{"-b", "-l", "-E"}, loop + "d z\n", "\nka> [EOF]"},
      {{"-b", "-l"}, loop + "exec loop.cmd\n", "\nstack next\nEOF EXECuting loop.cmd \n"},
  };
  for (const prompt_case& c : cases) {
    RunResult r = run_vemra(c.args, c.input, dir.path());
    EXPECT_TRUE(contains(r.out, "interval 10 \n" + press + c.after)) << c.input << r.out;
    EXPECT_EQ(count_of(r.out, press), 1u) << r.out;
  }
}

// A script's prompt text ends without a line end as well, and a command
// file's echo of its next line starts a line of its own as the prompt does;
// a line a script's say ended gets no empty one after it.
TEST(Messages, ScriptPromptTextAndCommandFileEchoLeaveNoLineOpen) {
  TempDir dir;
  const std::string sample = std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl";
  write_file(dir.file("ask.gs"), "prompt 'no line end'\n");
  write_file(dir.file("said.gs"), "'set lats create'\nsay 'said'\n");
  write_file(dir.file("f.cmd"), "set gxout grid\nd z;ave(z,lat=0,lat=60)\nset dignum 2\n");
  RunResult r =
      run_batch("ask\nrun said.gs\nopen " + sample + "\nset lon 0 30\nexec f.cmd\n", dir.path());
  EXPECT_EQ(first_missing(r.out, {"ka-> ask\nno line end\nka-> run said.gs\n",
                                  "SET LATS CREATE error:  Missing or invalid argumentssaid\nka-> ",
                                  "   Mask grid ignored -- has different scaling\nset dignum 2\n"
                                  "dignum = 2 \nEOF EXECuting f.cmd \n"}),
            "")
      << r.out;
  r = run_vemra({"-b", "-l", "-E"}, "ask\n", dir.path());
  EXPECT_TRUE(contains(r.out, "no line end\nka> ")) << r.out;
}

// A message that ends without a line end is followed on a line of its own
// by what the next command prints, by a command file's stop or end line,
// never run on; a command that prints nothing leaves a script's line open.
TEST(Messages, WhatFollowsAnOpenLineStartsALineOfItsOwn) {
  TempDir dir;
  const std::string xlopts =
      "SET XLOPTS(YLOPTS,CLOPTS) Syntax Error  Syntax is: SET XLOPTS color thickness size";
  write_file(dir.file("ask.gs"), "prompt 'hello'\n");
  write_file(dir.file("two.gs"), "'set xlopts 1 1 x'\n'set line'\n");
  write_file(dir.file("quiet.gs"), "prompt 'a'\n'q pos'\nsay 'b'\n");
  write_file(dir.file("stop.cmd"), "set xlopts 1 1 x\nq pos\n");
  write_file(dir.file("last.cmd"), "q pos\nrun ask.gs\n");
  write_file(dir.file("quit.gs"), "'set xlopts 1 1 x'\n'quit'\n");
  write_file(dir.file("gx.gs"), "'set xlopts 1 1 x'\n'printim nodir/a.png'\n'disable print'\n");
  const std::vector<std::string> batch = {"-b", "-l"};
  const std::string closing = "\nNo hardcopy metafile open\nGX package terminated \n";
  struct open_line_case {
    std::vector<std::string> args;
    std::string input, shown;
  } cases[] = {
      {batch, "exec stop.cmd\n",
       xlopts + "\nEXEC error:  error in stop.cmd.  EXEC stopped.\nka-> "},
      {batch, "exec last.cmd\n", "\nrun ask.gs\nhello\nEOF EXECuting last.cmd \nka-> "},
      {batch, "run two.gs\n",
       xlopts + "\nSET error:  Missing or invalid arguments for LINE option\n"},
      {batch, "run quiet.gs\n", "ka-> run quiet.gs\nab\nka-> "},
      // The graphics package's own messages, and no empty line after them.
      {batch, "run gx.gs\n",
       xlopts + "\nOpen error on nodir/a.png\n  No such file or directory\n"
                "PRINTIM error:  open error\nNo hardcopy metafile open\nka-> "},
      // The session's closing lines, after a quit from a script or "-x".
      {batch, "run quit.gs\n", xlopts + closing},
      {{"-b", "-l", "-x", "-c", "set xlopts 1 1 x"}, "", xlopts + "\nNo hardcopy metafile open\n"},
  };
  for (const open_line_case& c : cases) {
    RunResult r = run_vemra(c.args, c.input, dir.path());
    EXPECT_TRUE(contains(r.out, c.shown)) << c.input << r.out;
  }
}

TEST(Messages, UserTextIsNeverAFormat) {
  TempDir dir;
  RunResult r = run_batch("exec %s%n%x%s\nq %n%s%s\n%s%n%s\n", dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(contains(r.out, "  File name is: %s%n%x%s\n"));
  EXPECT_TRUE(contains(r.out, "Invalid QUERY argument: %n%s%s \n"));
  EXPECT_TRUE(contains(r.out, "Unknown command: %s%n%s\n"));
}

TEST(Commands, HelpShellAndQuery) {
  TempDir dir;
  RunResult r = run_batch("help\n!echo from the shell > shell.txt\nq\nq files now\n", dir.path());
  EXPECT_TRUE(contains(r.out, "Basic Commands:\n OPEN <descr>      opens a data file \n"));
  EXPECT_EQ(read_file(dir.file("shell.txt")), "from the shell\n");
  EXPECT_TRUE(contains(r.out, "query or q Options: \n"));
  EXPECT_EQ(r.status, 0);
}

// A shell command and a user-defined function's program get the session's
// standard streams and none of its other descriptors: neither a data file it
// reads nor an output it is still writing.
TEST(Commands, ChildrenHoldOnlyTheStandardStreams) {
  TempDir dir;
  latsfiles::write_dataset(dir);
  sdffiles::make_nc(dir, "latlon", "s.nc");
  // What the shell itself holds, one name a line.
  const std::string list = "for f in /proc/$$/fd/*; do readlink $f; done";
  write_file(dir.file("udft"), "lsfd 1 1 expr\ndirect\n" + list + " > udf.txt\n" +
                                   dir.file("t.bin") + "\n" + dir.file("r.bin") + "\n");
  RunResult r = run_batch(latsfiles::declare("w", "set lats convention coards\n") +
                              "d t\nsdfopen s.nc\n!" + list + " > shell.txt\nd lsfd(t)\nquit\n",
                          dir.path(), {}, {"KAUDFT=" + dir.file("udft")});
  ASSERT_EQ(r.status, 0) << r.out;
  for (const char* listing : {"shell.txt", "udf.txt"}) {
    SCOPED_TRACE(listing);
    const std::string held = read_file(dir.file(listing));
    EXPECT_TRUE(contains(held, dir.file(listing))) << held << r.out;
    std::istringstream lines(held);
    for (std::string name; std::getline(lines, name);) {
      // The harness's standard streams are files of the folder too.
      const std::string streams[] = {".stdin", ".stdout", ".stderr", listing};
      if (name.rfind(dir.path(), 0) == 0) {
        EXPECT_TRUE(std::count_if(std::begin(streams), std::end(streams),
                                  [&](const std::string& s) { return name == dir.file(s); }))
            << name;
      }
    }
  }
}

// The file's layout is the metafile tests'; here that it is closed, end
// record and all, at quit and before "-x" returns.
TEST(Hardcopy, FileIsClosedAtQuitAndBeforeExit99) {
  TempDir dir;
  RunResult r = run_batch("enable print q.meta\nquit\n", dir.path());
  std::string bytes = read_file(dir.file("q.meta"));
  ASSERT_EQ(bytes.size(), 8u);
  EXPECT_EQ(be16(bytes, 6), -9);
  r = run_vemra({"-b", "-p", "-c", "enable print x.meta", "-x"}, "", dir.path());
  EXPECT_EQ(r.status, 99);
  bytes = read_file(dir.file("x.meta"));
  ASSERT_GE(bytes.size(), 8u);
  EXPECT_EQ(be16(bytes, 2), 8500);  // portrait
  EXPECT_EQ(be16(bytes, bytes.size() - 2), -9);
}

}  // namespace

TEST(QueryUdft, ListsTheTableNamedByKaudft) {
  TempDir dir;
  write_file(dir.file("tab"), "dbl 1 2 expr value\nsequential\n  Run This\nt\nr\n");
  RunResult r =
      run_vemra({"-b", "-l"}, "q udft\nquit\n", dir.path(), {"KAUDFT=" + dir.file("tab")});
  EXPECT_TRUE(contains(r.out, "dbl  Args: 1 2  Exec:   Run This\n")) << r.out;
}

namespace {

// A name that would be cut short or changed on its way to a file is refused
// with a message, and nothing is written under another name: a NUL byte in
// a command line (typed, in a command file, in a script), a GRIB output
// name over the length the writer keeps, and one its data set descriptor
// cannot hold. Names that fit are written as given.
TEST(Names, ANameThatWouldBeCutOrChangedIsRefused) {
  using namespace std::string_literals;
  const std::string n251(251, 'm'), n252(252, 'n');
  const std::string one_time = "d t\nset lats close 1\n";
  struct name_case {
    const char* what;
    std::string input;
    std::vector<std::string> want;  // in stdout and stderr, in this order
    std::vector<std::string> made, not_made;
  };
  const name_case cases[] = {
      {"NUL typed",
       "printim nul\0tail.png\nq config\n"s,
       {"Command line holds a NUL byte: ignored\n", "Config: v"},
       {},
       {"nul", "tail.png"}},
      {"NUL in a command file",
       "exec nul.cmd\n",
       {"printim nul\\x00tail.png\nCommand line holds a NUL byte: ignored\n"
        "EXEC error:  error in nul.cmd.  EXEC stopped.\n"},
       {},
       {"nul", "tail.png"}},
      {"NUL in a script",
       "run nul.gs\n",
       {"Error executing script file: nul.gs\n  Line 2 holds a NUL byte\n"},
       {},
       {"nul", "first.png"}},
      {"name over the limit",
       latsfiles::declare(n252) + one_time,
       {"File name longer than 251 characters: " + n252 + "\n"},
       {},
       {n252.substr(0, 251) + ".grb", n252.substr(0, 251) + ".ctl"}},
      {"blank in a described set",
       latsfiles::declare("sp ace") + one_time,
       {"File name sp ace holds a blank, tab or backslash, which its data set descriptor "
        "cannot hold\n"},
       {},
       {"sp ace.grb", "sp ace.ctl", "sp.ctl"}},
      {"tab in a described set",
       latsfiles::declare("t\tab") + one_time,
       {"File name t\tab holds a blank, tab or backslash"},
       {},
       {"t\tab.grb", "t\tab.ctl"}},
      {"backslash in a described set",
       latsfiles::declare("back\\slash") + one_time,
       {"File name back\\slash holds a blank, tab or backslash"},
       {},
       {"back\\slash.grb", "back\\slash.ctl", "slash.ctl"}},
      {"longest name, reopened",
       latsfiles::declare(n251) + one_time + "open " + n251 + ".ctl\n",
       {"LATS FILE ID = 1\n", "is open as file 2\n"},
       {n251 + ".grb", n251 + ".ctl"},
       {}},
      {"blank in a netCDF name",
       latsfiles::declare("sp ace", "set lats convention coards\n") + one_time,
       {"LATS FILE ID = 1\n"},
       {"sp ace.nc"},
       {}},
  };
  for (const name_case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    latsfiles::write_dataset(dir);
    write_file(dir.file("nul.cmd"), "printim nul\0tail.png\n"s);
    write_file(dir.file("nul.gs"), "'printim first.png'\nsay 'a'\0'printim nul'\n"s);
    RunResult r = run_batch(c.input, dir.path());
    EXPECT_EQ(r.status, 0);
    size_t at = 0;
    const std::string all = r.out + r.err;
    for (const std::string& w : c.want) {
      const size_t p = all.find(w, at);
      EXPECT_NE(p, std::string::npos) << w << "\n"
                                      << all.substr(all.size() > 2000 ? all.size() - 2000 : 0);
      if (p != std::string::npos) at = p + w.size();
    }
    EXPECT_EQ(all.find('\0'), std::string::npos);  // echoed escaped, if at all
    for (const std::string& f : c.made) EXPECT_TRUE(file_exists(dir.file(f))) << f;
    for (const std::string& f : c.not_made) EXPECT_FALSE(file_exists(dir.file(f))) << f;
  }
}

}  // namespace
