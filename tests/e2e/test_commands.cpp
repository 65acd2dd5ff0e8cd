// The dispatcher's own commands and command files, run through the program.
#include <gtest/gtest.h>

#include <string>

#include "support/live_session.h"

using namespace vemra_test;

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
