// Names of "set lats" output and of its quality-control log that are no
// regular files: pipes without a reader never hang the session, a pipe with
// one gets the GRIB data, and a log that fails to take its lines says so.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <utility>
#include <vector>

#include "dataset_files.h"
#include "lats_files.h"
#include "support/as_nobody.h"
#include "support/live_session.h"
#include "support/process_wait.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using namespace latsfiles;
using dsfiles::answer;

namespace {

// Two fields of ta at 1000 hPa to GRIB file "q".
std::string checked_writes() {
  return "set lats parmtab qc.tab\nopen d.ctl\nset x 1 36\nset y 1 9\nset t 1\n"
         "set lats convention grib_only\nset lats frequency daily\nset lats deltat 1\n"
         "set lats create q\nset lats vertdim plev 1000\nset gxout latsgrid\nd t\n"
         "set lats var 1 ta instant 1 1\nset gxout latsdata\nset lats write 1 1 1000\nd t\n"
         "set t 2\nd t\nset lats close 1\n";
}

std::string declare_grib_only(const std::string& name) {
  return "open d.ctl\nset x 1 36\nset y 1 9\nset t 1\nset lats convention grib_only\n"
         "set lats frequency daily\nset lats deltat 1\nset lats create " +
         name + "\n";
}

}  // namespace

// The GRIB set of the descriptor convention is read back to be indexed: a
// pipe (or device) under any of its three names is refused at once.
TEST(LatsSpecials, ADescribedGribSetRefusesPipes) {
  for (const std::string ext : {".grb", ".ctl", ".gmp"}) {
    SCOPED_TRACE(ext);
    TempDir dir;
    write_dataset(dir);
    ASSERT_EQ(mkfifo(dir.file("same" + ext).c_str(), 0600), 0);
    RunResult r = run_vemra({"-b", "-l"}, declare("same", "set lats convention vemra_grib\n"),
                            dir.path(), {}, 20);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(answer(r.out, "set lats create same"), "LATS FILE ID = 0\n");
    EXPECT_TRUE(contains(r.err, "LATS warning (lats_create): GRIB (latsgrib) --> same" + ext +
                                    " is not a regular file\n"))
        << r.err;
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  }
}

// GRIB alone to a pipe waits for a reader; the wait ends at the first Ctrl-C
// with the create refused, and the session goes on.
TEST(LatsSpecials, APipeWithoutAReaderIsGivenUpAtAnInterrupt) {
  TempDir dir;
  write_dataset(dir);
  ASSERT_EQ(mkfifo(dir.file("pipe.grb").c_str(), 0600), 0);
  LiveSession s(dir, "session.out");
  ASSERT_TRUE(s.send(declare_grib_only("pipe") + "q dims\n"));
  ASSERT_TRUE(s.wait_for("ka-> set lats create pipe\n")) << s.output();
  ASSERT_TRUE(wait_until_waiting(s.pid, waits::pipe)) << s.output();
  EXPECT_FALSE(contains(s.output(), "LATS FILE ID"));
  kill(s.pid, SIGINT);
  ASSERT_TRUE(s.wait_for("Time = ")) << s.output();
  EXPECT_EQ(first_missing(s.output(), {"LATS warning (lats_create): GRIB (latsgrib) --> pipe.grb: "
                                       "Interrupted system call\n",
                                       "LATS FILE ID = 0\n", "ka-> q dims\n"}),
            "")
      << s.output();
  ASSERT_TRUE(s.send("quit\n"));
  EXPECT_EQ(s.finish(), 0);
}

// With a reader on the pipe, GRIB alone is written through it.
TEST(LatsSpecials, APipeWithAReaderGetsTheGribMessages) {
  TempDir dir;
  write_dataset(dir);
  const std::string fifo = dir.file("pipe.grb"), copy = dir.file("copy");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  pid_t reader = fork();
  if (reader == 0) {
    alarm(20);
    _exit(std::system(("cat " + fifo + " > " + copy).c_str()) == 0 ? 0 : 1);
  }
  RunResult r = run_vemra({"-b", "-l"},
                          declare_grib_only("pipe") +
                              "set gxout latsgrid\nd t\nset lats var 1 tas average 1 0\n"
                              "set gxout latsdata\nset lats write 1 1\nd t\nset t 2\nd t\n"
                              "set lats close 1\n",
                          dir.path(), {}, 20);
  int st = 0;
  waitpid(reader, &st, 0);
  EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(answer(r.out, "set lats create pipe"), "LATS FILE ID = 1\n");
  const std::string grib = read_file(copy);
  EXPECT_EQ(count_of(grib, "GRIB"), 2u);
  ASSERT_GT(grib.size(), 8u);
  EXPECT_EQ(grib.substr(0, 4), "GRIB");
  EXPECT_EQ(grib.substr(grib.size() - 4), "7777");
  struct stat sb;
  ASSERT_EQ(lstat(fifo.c_str(), &sb), 0);
  EXPECT_TRUE(S_ISFIFO(sb.st_mode));
}

// A log on a full device loses its lines: that is said once, and the fields
// are still written.
TEST(LatsSpecials, ALogThatFailsIsReportedOnce) {
  TempDir dir;
  write_dataset(dir);
  write_file(dir.file("qc.tab"), kQcTable);
  RunResult r = run_vemra({"-b", "-l"}, checked_writes(), dir.path(), {"LATS_LOG=/dev/full"}, 20);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(count_of(r.err, "Quality control exception"), 2u) << r.err;
  EXPECT_EQ(count_of(r.err,
                     "LATS error (lats_write): Writing log file /dev/full failed: No space "
                     "left on device; quality-control lines are lost\n"),
            1u)
      << r.err;
  EXPECT_EQ(count_of(r.out, "LATS DATA_WRITE ID = 1\n"), 2u) << r.out;
  EXPECT_EQ(count_of(read_file(dir.file("q.grb")), "GRIB"), 2u);

  // A log that takes the lines says nothing of the kind.
  r = run_vemra({"-b", "-l"}, checked_writes(), dir.path(), {"LATS_LOG=qc.log"}, 20);
  EXPECT_FALSE(contains(r.err, "Writing log file")) << r.err;
  EXPECT_EQ(count_of(read_file(dir.file("qc.log")), "E|ta|"), 2u);
}

// A log named by a pipe without a reader: the first check waits for one and
// gives up at the first Ctrl-C; the field is written all the same.
TEST(LatsSpecials, ALogPipeWithoutAReaderIsGivenUpAtAnInterrupt) {
  TempDir dir;
  write_dataset(dir);
  write_file(dir.file("qc.tab"), kQcTable);
  ASSERT_EQ(mkfifo(dir.file("log.fifo").c_str(), 0600), 0);
  setenv("LATS_LOG", "log.fifo", 1);
  LiveSession s(dir, "session.out");
  unsetenv("LATS_LOG");
  const std::string writes = checked_writes();
  ASSERT_TRUE(s.send(writes.substr(0, writes.find("set t 2\n"))));
  ASSERT_TRUE(s.wait_for("LATS VAR ID = 1\n")) << s.output();
  ASSERT_TRUE(wait_until_waiting(s.pid, waits::pipe)) << s.output();
  EXPECT_FALSE(contains(s.output(), "DATA_WRITE"));
  kill(s.pid, SIGINT);
  ASSERT_TRUE(s.wait_for("LATS DATA_WRITE ID = 1\n")) << s.output();
  EXPECT_TRUE(contains(s.output(), "Cannot open log file: log.fifo for append")) << s.output();
  ASSERT_TRUE(s.send("quit\n"));
  EXPECT_EQ(s.finish(), 0);
}

// A reader that stops reading: the write that waits for room in the pipe
// ends at the first Ctrl-C, failed and said, and the session goes on.
TEST(LatsSpecials, AWriteToAStalledPipeEndsAtAnInterrupt) {
  TempDir dir;
  write_dataset(dir, 360, 181, -90, 1, 1);  // a field larger than a pipe holds
  const std::string fifo = dir.file("pipe.grb");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  pid_t reader = fork();
  if (reader == 0) {
    alarm(20);
    const int fd = open(fifo.c_str(), O_RDONLY);
    pause();  // holds the pipe open and reads nothing
    _exit(fd < 0);
  }
  LiveSession s(dir, "session.out");
  ASSERT_TRUE(
      s.send("open d.ctl\nset x 1 360\nset y 1 181\nset t 1\nset lats convention "
             "grib_only\nset lats frequency daily\nset lats deltat 1\nset lats create "
             "pipe\nset gxout latsgrid\nd t\nset lats var 1 tas average 1 0\n"
             "set gxout latsdata\nset lats write 1 1\nd t\n"));
  ASSERT_TRUE(s.wait_for("LATS VAR ID = 1\n")) << s.output();
  ASSERT_TRUE(wait_until_waiting(s.pid, waits::pipe)) << s.output();
  EXPECT_FALSE(contains(s.output(), "DATA_WRITE")) << s.output();
  kill(s.pid, SIGINT);
  ASSERT_TRUE(s.wait_for("LATS DATA_WRITE ID")) << s.output();
  EXPECT_TRUE(contains(s.output(), "LATS DATA_WRITE ID = 0\n")) << s.output();
  EXPECT_TRUE(contains(s.output(), "Interrupted system call")) << s.output();
  ASSERT_TRUE(s.send("quit\n"));
  EXPECT_EQ(s.finish(), 0);
  kill(reader, SIGKILL);
  waitpid(reader, nullptr, 0);
}

// An old output the user may not write is refused at the create with the
// system's reason, as an open for writing would be, and kept as it was.
TEST(LatsSpecials, AnOldOutputTheUserMayNotWriteIsRefused) {
  if (std::string why = cannot_run_as_nobody(); !why.empty()) GTEST_SKIP() << why;
  const passwd* pw = getpwnam("nobody");
  const group* gr = getgrnam("nogroup");
  ASSERT_TRUE(pw && gr);
  // Of a GRIB set, the index, replaced only at the close, is refused at the
  // create as well.
  const std::pair<std::string, std::string> cases[] = {
      {"coards", "old.nc"}, {"vemra_grib", "old.grb"}, {"vemra_grib", "old.gmp"}};
  for (const auto& [conv, name] : cases) {
    SCOPED_TRACE(name);
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 0777), 0);
    write_dataset(dir);
    const std::string set = "set lats convention " + conv + "\n";
    ASSERT_EQ(run_batch(declare("old", set) + write_two("t"), dir.path()).status, 0);
    std::vector<std::string> set_files = {"old.nc"};
    if (conv != "coards") set_files = {"old.grb", "old.ctl", "old.gmp"};
    std::vector<std::string> before;
    for (const auto& f : set_files) before.push_back(read_file(dir.file(f)));
    ASSERT_FALSE(before[0].empty());
    for (const std::string f : {".stdin", ".stdout", ".stderr"})
      ASSERT_EQ(chown(dir.file(f).c_str(), pw->pw_uid, gr->gr_gid), 0);
    for (const auto& f : set_files)
      ASSERT_EQ(chown(dir.file(f).c_str(), pw->pw_uid, gr->gr_gid), 0);
    ASSERT_EQ(chmod(dir.file(name).c_str(), 0444), 0);
    RunResult r = run_batch_as_nobody(declare("old", set) + write_two("t+1"), dir.path());
    EXPECT_EQ(answer(r.out, "set lats create old"), "LATS FILE ID = 0\n");
    EXPECT_TRUE(contains(r.err, name + ": Permission denied\n")) << r.err;
    for (size_t k = 0; k < set_files.size(); k++)
      EXPECT_EQ(read_file(dir.file(set_files[k])), before[k]) << set_files[k];
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  }
}
