// How a "set lats" output is put in place at its close: a GRIB set stays
// one whole set when a signal comes between its renames or when one of its
// files cannot be replaced, a file made under the name meanwhile gives its
// owner and mode, and a signal that ends the session leaves no unfinished
// file however many outputs are open.
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "lats_files.h"
#include "support/as_nobody.h"
#include "support/live_session.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using namespace latsfiles;
using dsfiles::answer;

namespace {

const std::vector<std::string> kSet = {"same.grb", "same.ctl", "same.gmp"};

const std::string kGribSet = "set lats convention vemra_grib\n";

// The old set: times 1 and 3 of t. The new one: time 1 of t*100 alone, so
// that data, descriptor and index all differ from the old ones.
std::string old_set() { return declare("same", kGribSet) + write_two("t"); }
std::string new_set() { return declare("same", kGribSet) + "d t*100\nset lats close 1\nquit\n"; }

std::string stat_of_same(const std::string& dir) {
  return answer(run_batch("open same.ctl\nset x 1 36\nset y 1 9\nset gxout stat\nd tas\n", dir).out,
                "d tas");
}

}  // namespace

// A signal that ends the session, sent right after the first or the second
// rename of a set, waits until the third: the set left is the whole new one
// (its data and descriptor as a run without the signal writes them, its
// index that of its data), then the signal ends the session.
TEST(LatsCommit, ASignalBetweenTheRenamesOfASetWaitsForTheLast) {
  TempDir ref;
  write_dataset(ref);
  ASSERT_EQ(run_batch(new_set(), ref.path()).status, 0);
  ASSERT_TRUE(contains(stat_of_same(ref.path()), "Min, Max = 26300 31400"));
  const struct {
    int sig;
    const char* after;  // the suffix of the rename the signal follows
    int status = -1;    // the session's exit status; -1: ended by the signal
  } cases[] = {
      {SIGTERM, ".grb"},
      {SIGTERM, ".gmp"},
      {SIGHUP, ".grb"},
      {SIGQUIT, ".gmp"},
      {SIGALRM, ".grb"},
      {SIGUSR1, ".grb"},
      {SIGUSR2, ".gmp"},
      // A CPU limit (as a batch scheduler sends) ends the session with status 1.
      {SIGXCPU, ".grb", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(strsignal(c.sig)) + " after " + c.after);
    TempDir dir;
    write_dataset(dir);
    ASSERT_EQ(run_batch(old_set(), dir.path()).status, 0);
    ASSERT_TRUE(contains(stat_of_same(dir.path()), "Min, Max = 263 314"));
    RunResult r = run_batch(new_set(), dir.path(), {},
                            {"SIGNAL_AFTER_RENAME=" + std::to_string(c.sig) + " " + c.after,
                             std::string("LD_PRELOAD=") + VEMRA_SIGNAL_AFTER_RENAME,
                             "ASAN_OPTIONS=verify_asan_link_order=0"});
    EXPECT_EQ(r.status, c.status >= 0 ? c.status : 128 + c.sig) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "GRIB index written")) << r.out;
    // The staged data are read through the writer's descriptor, named as the user knows them.
    EXPECT_TRUE(contains(r.out, "gribmap:  Opening GRIB file " + dir.file("same.grb") + "\n"))
        << r.out;
    EXPECT_EQ(read_file(dir.file("same.grb")), read_file(ref.file("same.grb")));
    EXPECT_EQ(read_file(dir.file("same.ctl")), read_file(ref.file("same.ctl")));
    const std::string stat = stat_of_same(dir.path());
    EXPECT_TRUE(contains(stat, "Min, Max = 26300 31400")) << stat;
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  }
}

// Every signal that ends the session removes every file it staged, however
// many outputs are open (here 200 GRIB sets, 400 files), and the status
// shows the signal.
TEST(LatsCommit, EveryEndingSignalRemovesEveryStagedFile) {
  const int outputs = 200;
  std::string creates = kGribSet + "set lats frequency daily\nset lats deltat 1\n";
  for (int k = 1; k <= outputs; k++) creates += "set lats create o" + std::to_string(k) + "\n";
  for (int sig : {SIGTERM, SIGHUP, SIGQUIT, SIGALRM, SIGUSR1, SIGUSR2, SIGVTALRM, SIGRTMIN + 1}) {
    SCOPED_TRACE(strsignal(sig));
    TempDir dir;
    LiveSession s(dir, "session.out");
    ASSERT_TRUE(s.send(creates));
    ASSERT_TRUE(s.wait_for("LATS FILE ID = " + std::to_string(outputs) + "\n")) << s.output();
    std::vector<std::string> staged = leftovers(dir.path());
    ASSERT_EQ(staged.size(), size_t(2 * outputs));
    ASSERT_EQ(kill(s.pid, sig), 0);
    EXPECT_EQ(s.finish(), 128 + sig);
    staged = leftovers(dir.path());
    EXPECT_EQ(staged.size(), 0u) << staged.front();
  }
}

// A file of the set that cannot be replaced (another user's in a directory
// others may write but not clear, as /tmp) is named in the message, and the
// old set stays whole: the data file already replaced is put back. One the
// user may not write is refused at the create, by its own name.
TEST(LatsCommit, AFileOfTheSetThatCannotBeReplacedKeepsTheOldSet) {
  if (std::string why = cannot_run_as_nobody(); !why.empty()) GTEST_SKIP() << why;
  const struct {
    std::string name;     // the file that blocks
    mode_t mode;          // given to it, root's
    std::string message;  // what the session says
  } cases[] = {
      {"same.gmp", 0666,
       "Replacing same.gmp failed: Operation not permitted; the old files are kept"},
      {"same.ctl", 0666,
       "Replacing same.ctl failed: Operation not permitted; the old files are kept"},
      {"same.grb", 0666,
       "Replacing same.grb failed: Operation not permitted; the old files are kept"},
      {"same.gmp", 0444, "lats_create create .gmp failed for same.gmp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name + " " + std::to_string(c.mode));
    TempDir dir;
    ASSERT_EQ(chmod(dir.path().c_str(), 01777), 0);
    write_dataset(dir);
    ASSERT_EQ(run_batch_as_nobody(old_set(), dir.path()).status, 0);
    std::vector<std::string> before;
    for (const auto& f : kSet) before.push_back(read_file(dir.file(f)));
    ASSERT_FALSE(before[0].empty());
    ASSERT_EQ(chown(dir.file(c.name).c_str(), 0, 0), 0);
    ASSERT_EQ(chmod(dir.file(c.name).c_str(), c.mode), 0);
    RunResult r = run_batch_as_nobody(new_set(), dir.path());
    EXPECT_TRUE(contains(r.out + r.err, c.message)) << r.out << r.err;
    for (size_t k = 0; k < kSet.size(); k++)
      EXPECT_EQ(read_file(dir.file(kSet[k])), before[k]) << kSet[k];
    const std::string stat = stat_of_same(dir.path());
    EXPECT_TRUE(contains(stat, "Min, Max = 263 314")) << stat;
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  }
}

// The file under an output's name at the create, changed by another user
// before the close, gives the new file its owner, group and mode. One made
// by another user between the create and the close gives nothing: the new
// file is the session's, with a new file's mode (but for the index, which is
// opened at the close).
TEST(LatsCommit, OnlyTheFileThereAtTheCreateGivesItsOwnerAndMode) {
  const bool root = geteuid() == 0;
  const uid_t other = 65534;
  const struct {
    std::string conv;
    std::vector<std::string> names;
    bool old;  // a file of the session's own is there at the create
  } cases[] = {
      {"vemra_grib", kSet, false},        {"vemra_grib", kSet, true},
      {"grib_only", {"same.grb"}, false}, {"coards", {"same.nc"}, false},
      {"coards", {"same.nc"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.conv + (c.old ? " changed" : " made"));
    TempDir dir;
    write_dataset(dir);
    const std::string set = "set lats convention " + c.conv + "\n";
    if (c.old) {
      ASSERT_EQ(run_batch(declare("same", set) + write_two("t"), dir.path()).status, 0);
    }
    LiveSession s(dir, "session.out");
    ASSERT_TRUE(s.send(declare("same", set)));
    ASSERT_TRUE(s.wait_for("LATS FILE ID = 1\n")) << s.output();
    for (const auto& n : c.names) {
      if (!c.old) write_file(dir.file(n), "another's");
      if (root) {
        ASSERT_EQ(chown(dir.file(n).c_str(), other, other), 0);
      }
      ASSERT_EQ(chmod(dir.file(n).c_str(), 0600), 0);
    }
    ASSERT_TRUE(s.send(write_two("t*100") + "quit\n"));
    EXPECT_EQ(s.finish(), 0) << s.output();
    for (const auto& n : c.names) {
      struct stat st;
      ASSERT_EQ(::stat(dir.file(n).c_str(), &st), 0) << n;
      EXPECT_NE(read_file(dir.file(n)), "another's") << n;
      // The index is opened, over the file there then, at the close.
      const bool there_at_open = c.old || (n.size() > 4 && n.substr(n.size() - 4) == ".gmp");
      if (!there_at_open) {
        const mode_t mask = umask(022);
        umask(mask);
        EXPECT_EQ(st.st_mode & 07777, 0666 & ~mask) << n;
        EXPECT_EQ(st.st_uid, geteuid()) << n;
        continue;
      }
      EXPECT_EQ(st.st_mode & 07777, 0600u) << n;
      if (!root) continue;
      EXPECT_EQ(st.st_uid, other) << n;
      EXPECT_EQ(st.st_gid, other) << n;
    }
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  }
  if (!root) GTEST_SKIP() << "not root: the owners were not tried, only the modes";
}
