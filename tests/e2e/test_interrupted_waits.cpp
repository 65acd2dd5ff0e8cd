// Work whose length the user's numbers decide, and waits on other
// processes: each is bounded, and the first Ctrl-C ends it with a message
// while the session goes on. Every session here is killed when it has not
// ended within 10 s (the test then fails) instead of hanging the suite.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e/dataset_files.h"
#include "e2e/sdf_files.h"
#include "support/live_session.h"
#include "support/process_wait.h"
#include "support/station_writer.h"
#include "support/vemra_run.h"

namespace {

using vemra_test::contains;
namespace waits = vemra_test::waits;
using vemra_test::LiveSession;
using vemra_test::TempDir;
using vemra_test::write_file;

// Where a command's work is when the interrupt comes: asleep in one of
// calls or, with none, past the making of a table of grown_kb kB.
struct under_way {
  std::vector<long> calls;
  long grown_kb;
};

// A table of the file number of each of 100,000,000 times.
constexpr long kTemplateTableKb = 100000000L * sizeof(int) / 1024;

// Runs one command in a live session and, once its work is under way, one
// Ctrl-C. The output must then show `stopped`, and the session must answer
// a query and quit with 0. Returns the output.
std::string interrupt_once(const TempDir& dir, const std::string& command, const under_way& at,
                           const std::string& stopped) {
  LiveSession s(dir, "session.out");
  // At its first prompt (the output file may still hold the last session's).
  EXPECT_TRUE(vemra_test::wait_until_waiting(s.pid, waits::input));
  const long before_kb = vemra_test::view_of(s.pid).vm_kb;
  EXPECT_TRUE(s.send(command + "\n"));
  EXPECT_TRUE(vemra_test::wait_until_waiting(s.pid, [&](const vemra_test::process_view& v) {
    return at.calls.empty() ? v.vm_kb - before_kb >= at.grown_kb : v.asleep_in(at.calls);
  })) << s.output();
  kill(s.pid, SIGINT);
  EXPECT_TRUE(s.wait_for(stopped)) << s.output();
  EXPECT_TRUE(s.send("q config\nquit\n"));
  EXPECT_TRUE(s.wait_for("Config: v"));
  EXPECT_EQ(s.finish(), 0);
  return s.output();
}

}  // namespace

// A template series of more times than a data set holds is cut to
// 100,000,000 with the message a netCDF time axis of that many gets, and
// the table of its file names can be given up: through sdfopen's count,
// an xdfopen descriptor's TDEF and a binary descriptor's TDEF.
TEST(InterruptedWaits, TemplateTablesAreBoundedAndStopAtTheFirstInterrupt) {
  TempDir dir;
  ASSERT_TRUE(sdffiles::sh("ncgen -o " + dir.file("a2000.nc") + " " + sdffiles::cdl("latlon")));
  const std::string sdf_cut =
      "The time dimension holds 2147483647 times; only the first 100000000 are used.\n";
  std::string out =
      interrupt_once(dir, "sdfopen a2000.nc a%y4.nc 2147483647", {{}, kTemplateTableKb},
                     "SDFOPEN error:  Interrupted while the template's file names were formed\n");
  EXPECT_TRUE(contains(out, "SDF:  " + sdf_cut)) << out;
  EXPECT_FALSE(contains(out, "is open as file")) << out;

  write_file(dir.file("x.ctl"),
             "dset ^a%y4.nc\noptions template\ntdef time 2147483647 linear 00Z01JAN2000 6hr\n");
  out = interrupt_once(dir, "xdfopen x.ctl", {{}, kTemplateTableKb},
                       "XDFOpen Error:  Interrupted while the template's file names were formed\n");
  EXPECT_TRUE(contains(out, "SDF:  " + sdf_cut)) << out;
  EXPECT_FALSE(contains(out, "is open as file")) << out;

  write_file(dir.file("b.ctl"),
             "dset ^b%y4.dat\noptions template\nundef -9e33\nxdef 2 linear 0 10\n"
             "ydef 1 linear 0 10\nzdef 1 levels 1000\ntdef 2147483647 linear 00z1jan2000 1hr\n"
             "vars 1\nv 0 99 value\nendvars\n");
  out = interrupt_once(dir, "open b.ctl", {{}, kTemplateTableKb},
                       "Open Error:  Interrupted while the template's file names were formed\n");
  EXPECT_TRUE(contains(out, "Description file warning: " + sdf_cut)) << out;
  EXPECT_FALSE(contains(out, "is open as file")) << out;
}

// A script's read() and write() may use a pipe: the lines written to one
// arrive, and the lines read from one are those its writer sent.
TEST(InterruptedWaits, ScriptsReadAndWritePipes) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("in").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(dir.file("out").c_str(), 0600), 0);
  write_file(dir.file("pipes.gs"),
             "r1 = read('in')\nr2 = read('in')\nr3 = read('in')\n"
             "say sublin(r1,1) ':' sublin(r1,2) ' ' sublin(r2,1) ':' sublin(r2,2) ' ' r3\n"
             "w1 = write('out', 'one')\nw2 = write('out', 'two')\nc = close('out')\n"
             "say w1 w2 c\n");
  // The other ends, each waiting for the script to open its pipe.
  std::string got;
  std::thread writer([&] {
    int fd = open(dir.file("in").c_str(), O_WRONLY);
    if (fd < 0) return;
    const std::string lines = "alpha\nbeta\n";
    EXPECT_EQ(write(fd, lines.data(), lines.size()), ssize_t(lines.size()));
    close(fd);
  });
  std::thread reader([&] {
    int fd = open(dir.file("out").c_str(), O_RDONLY);
    if (fd < 0) return;
    char buf[64];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) got.append(buf, size_t(n));
    close(fd);
  });
  vemra_test::RunResult r =
      vemra_test::run_vemra({"-b", "-l"}, "run pipes.gs\nquit\n", dir.path(), {}, 20);
  writer.join();
  reader.join();
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(dsfiles::answer(r.out, "run pipes.gs"), "0:alpha 0:beta 2\n\n000\n") << r.out;
  EXPECT_EQ(got, "one\ntwo\n");
}

// A pipe whose other end never comes, or never sends: the first Ctrl-C ends
// the wait with a message and ends the script; the session goes on.
TEST(InterruptedWaits, ScriptWaitsOnPipesEndAtTheFirstInterrupt) {
  TempDir dir;
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  write_file(dir.file("rd.gs"), "r = read('fifo')\nsay 'not reached'\n");
  write_file(dir.file("wr.gs"), "r = write('fifo', 'x')\nsay 'not reached'\n");
  // A writer that sends one line and then nothing: the second read waits.
  write_file(dir.file("rd2.gs"),
             "r = read('fifo')\nprompt 'got ' sublin(r, 2)\nr = read('fifo')\n"
             "say 'not reached'\n");
  struct wait_case {
    std::string script, stopped;
  };
  for (const wait_case& c :
       {wait_case{"rd.gs", "Error in read:  interrupted\n  File name = fifo\n"},
        wait_case{"wr.gs", "Error in write:  interrupted\n  File name = fifo\n"}}) {
    SCOPED_TRACE(c.script);
    std::string out = interrupt_once(dir, "run " + c.script, {waits::pipe, 0}, c.stopped);
    EXPECT_FALSE(contains(out, "not reached")) << out;
  }
  // Held open for writing (and reading, so that the open does not wait).
  int fd = open(dir.file("fifo").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "line one\n", 9), 9);
  std::string out = interrupt_once(dir, "run rd2.gs", {waits::pipe, 0},
                                   "Error in read:  interrupted\n  File name = fifo\n");
  close(fd);
  EXPECT_TRUE(contains(out, "got line one")) << out;
  EXPECT_FALSE(contains(out, "not reached")) << out;
}

// writegds appends to its file, which may be a pipe: with no reader the
// first Ctrl-C ends the wait for one and fails the display, and the session
// goes on; with a reader the stream (here the finishing tag alone) arrives.
TEST(InterruptedWaits, WritegdsToAPipeWaitsForItsReaderUntilTheFirstInterrupt) {
  TempDir dir;
  stnw::dataset ds;
  ds.surface_vars = {"ps"};
  ds.times = {{stnw::surface_report("KDEN", 39.75f, -104.875f, {830})}};
  stnw::write(dir.path(), "s", ds);
  ASSERT_EQ(mkfifo(dir.file("gds").c_str(), 0600), 0);
  const std::string setup =
      "open s.ctl\nset lon -180 0\nset lat 0 90\nset gxout writegds\nset writegds -f gds\n";
  // The same commands from a script, which the interrupt ends.
  std::string script;
  for (size_t at = 0, end; (end = setup.find('\n', at)) != std::string::npos; at = end + 1)
    script += "'" + setup.substr(at, end - at) + "'\n";
  write_file(dir.file("wait.gs"), script + "'d ps'\nsay 'not reached'\n");
  const std::string out =
      interrupt_once(dir, "run wait.gs", {waits::pipe, 0},
                     "error: WRITEGDS unable to open gds for write\n"
                     "  interrupted while waiting for a reader\nDISPLAY error:  interrupted\n");
  EXPECT_FALSE(contains(out, "Finishing sequence")) << out;
  EXPECT_FALSE(contains(out, "not reached")) << out;
  std::string got;
  std::thread reader([&] { got = vemra_test::read_file(dir.file("gds")); });
  vemra_test::RunResult r = vemra_test::run_batch(setup + "d ps\nquit\n", dir.path());
  // A reader still waiting for a writer (the stream never came) gets an end.
  const int release = open(dir.file("gds").c_str(), O_WRONLY | O_NONBLOCK);
  if (release >= 0) close(release);
  reader.join();
  EXPECT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(got, std::string("\xa5\0\0\0", 4)) << r.out;
}
