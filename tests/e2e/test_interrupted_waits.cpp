// Work whose length the user's numbers decide, and waits on other
// processes: each is bounded, and the first Ctrl-C ends it with a message
// while the session goes on. Every session here is killed when it has not
// ended within 10 s (the test then fails) instead of hanging the suite.
#include <gtest/gtest.h>

#include <signal.h>

#include <chrono>
#include <string>
#include <thread>

#include "e2e/sdf_files.h"
#include "support/live_session.h"
#include "support/vemra_run.h"

namespace {

using vemra_test::contains;
using vemra_test::LiveSession;
using vemra_test::TempDir;
using vemra_test::write_file;

// Runs one command in a live session and, a moment after it was read (so
// its work is under way), one Ctrl-C. The output must then show `stopped`,
// and the session must answer a query and quit with 0. Returns the output.
std::string interrupt_once(const TempDir& dir, const std::string& command,
                           const std::string& stopped) {
  LiveSession s(dir, "session.out");
  EXPECT_TRUE(s.send(command + "\n"));
  EXPECT_TRUE(s.wait_for("ka-> " + command + "\n")) << s.output();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
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
      interrupt_once(dir, "sdfopen a2000.nc a%y4.nc 2147483647",
                     "SDFOPEN error:  Interrupted while the template's file names were formed\n");
  EXPECT_TRUE(contains(out, "SDF:  " + sdf_cut)) << out;
  EXPECT_FALSE(contains(out, "is open as file")) << out;

  write_file(dir.file("x.ctl"),
             "dset ^a%y4.nc\noptions template\ntdef time 2147483647 linear 00Z01JAN2000 6hr\n");
  out = interrupt_once(dir, "xdfopen x.ctl",
                       "XDFOpen Error:  Interrupted while the template's file names were formed\n");
  EXPECT_TRUE(contains(out, "SDF:  " + sdf_cut)) << out;
  EXPECT_FALSE(contains(out, "is open as file")) << out;

  write_file(dir.file("b.ctl"),
             "dset ^b%y4.dat\noptions template\nundef -9e33\nxdef 2 linear 0 10\n"
             "ydef 1 linear 0 10\nzdef 1 levels 1000\ntdef 2147483647 linear 00z1jan2000 1hr\n"
             "vars 1\nv 0 99 value\nendvars\n");
  out = interrupt_once(dir, "open b.ctl",
                       "Open Error:  Interrupted while the template's file names were formed\n");
  EXPECT_TRUE(contains(out, "Description file warning: " + sdf_cut)) << out;
  EXPECT_FALSE(contains(out, "is open as file")) << out;
}
