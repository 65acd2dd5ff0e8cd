// What a "set lats" output leaves under its names when it holds no field,
// when its GRIB index can't be written, and when its GRIB data, index and
// descriptor are read while another session rewrites them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "dataset_files.h"
#include "lats_files.h"
#include "sdf_files.h"
#include "support/as_nobody.h"
#include "support/live_session.h"
#include "support/process_wait.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using namespace latsfiles;
using dsfiles::answer;
using sdffiles::printed_values;

namespace {

struct convention {
  std::string word;                // of "set lats convention"
  std::vector<std::string> names;  // the files of output "same"
};

const std::vector<convention>& conventions() {
  static const std::vector<convention> all = {
      {"coards", {"same.nc"}},
      {"grib_only", {"same.grb"}},
      {"vemra_grib", {"same.grb", "same.ctl", "same.gmp"}},
  };
  return all;
}

std::vector<std::string> contents(const TempDir& dir, const std::vector<std::string>& names) {
  std::vector<std::string> v;
  for (const auto& n : names) v.push_back(read_file(dir.file(n)));
  return v;
}

// The values of times 1 and 2 of the output "same", as read back by vemra.
std::vector<double> read_back(const TempDir& dir, const convention& c) {
  std::string in = c.word == "coards" ? "sdfopen same.nc\n" : "open same.ctl\n";
  in += "set x 1 36\nset y 1 9\nset gxout print\nset t 1\nd tas\nset t 2\nd tas+0\n";
  RunResult r = run_batch(in, dir.path());
  std::vector<double> v = printed_values(r.out, "d tas"), w = printed_values(r.out, "d tas+0");
  v.insert(v.end(), w.begin(), w.end());
  return v;
}

}  // namespace

// A session that creates a name and writes nothing does not, at its close,
// replace the whole output another session wrote under that name meanwhile,
// in any of several rounds.
TEST(LatsSets, AnEmptyOutputNeverReplacesAnotherSessionsFile) {
  for (const convention& c : conventions()) {
    SCOPED_TRACE(c.word);
    TempDir dir;
    write_dataset(dir);
    const std::string set = "set lats convention " + c.word + "\n";
    LiveSession idle(dir, "idle.out");
    ASSERT_TRUE(idle.send(set + "set lats frequency daily\nset lats deltat 1\n"));
    const int rounds = 4;
    for (int k = 1; k <= rounds; k++) {
      SCOPED_TRACE(k);
      const std::string id = std::to_string(k);
      ASSERT_TRUE(idle.send("set lats create same\n"));
      ASSERT_TRUE(idle.wait_for("LATS FILE ID = " + id + "\n")) << idle.output();
      if (k == 1) {
        for (const auto& n : c.names) EXPECT_FALSE(file_exists(dir.file(n))) << n;
      }

      // Each round's writer writes other values.
      const std::string expr = "t+" + id;
      ASSERT_EQ(run_batch(declare("same", set) + write_two(expr), dir.path()).status, 0);
      const std::vector<std::string> written = contents(dir, c.names);
      for (const auto& w : written) ASSERT_FALSE(w.empty());

      ASSERT_TRUE(idle.send("set lats close " + id + "\n"));
      ASSERT_TRUE(idle.wait_for("No field was written to " + c.names[0] + "; the old file", k))
          << idle.output();
      EXPECT_EQ(contents(dir, c.names), written);
      EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
      if (c.word != "grib_only") {
        const std::vector<double> v = read_back(dir, c);
        ASSERT_EQ(v.size(), size_t(2 * kNx * kNy));
        EXPECT_NEAR(v[0], t_at(1, 1, 1) + k, 0.051);
      }
    }
    ASSERT_TRUE(idle.send("quit\n"));
    EXPECT_EQ(idle.finish(), 0);
  }
}

// The same in one session: of two creates of one name, the one closed last
// without a field leaves the other's output in place.
TEST(LatsSets, TwoCreatesOfOneNameInOneSession) {
  for (const convention& c : conventions()) {
    if (c.word == "grib_only") continue;
    SCOPED_TRACE(c.word);
    TempDir dir;
    write_dataset(dir);
    RunResult r = run_batch(
        "set lats convention " + c.word +
            "\nset lats frequency daily\nset lats deltat 1\nset lats create same\n" +
            "open d.ctl\nset x 1 36\nset y 1 9\nset t 1\nset lats create same\n"
            "set gxout latsgrid\nd t\nset lats var 2 tas average 1 0\nset gxout latsdata\n"
            "set lats write 2 1\nd t\nset t 2\nd t\nset lats close 2\nset lats close 1\n",
        dir.path());
    EXPECT_EQ(answer(r.out, "set lats create same"), "LATS FILE ID = 1\n");
    EXPECT_TRUE(contains(r.err, "No field was written to " + c.names[0] + "; the old file"))
        << r.err;
    std::vector<double> v = read_back(dir, c);
    ASSERT_EQ(v.size(), size_t(2 * kNx * kNy)) << r.out;
    for (int t : {1, 2})
      for (int y = 1; y <= kNy; y++)
        for (int x = 1; x <= kNx; x++) {
          size_t k = size_t((t - 1) * kNx * kNy + (y - 1) * kNx + x - 1);
          EXPECT_NEAR(v[k], t_at(x, y, t), 0.051) << x << " " << y << " " << t;
        }
  }
}

// An output without a field and without an old file leaves nothing (no
// empty GRIB file, no netCDF header without a variable), and says so.
TEST(LatsSets, AnEmptyOutputWithoutAnOldFileLeavesNothing) {
  for (const convention& c : conventions()) {
    SCOPED_TRACE(c.word);
    TempDir dir;
    write_dataset(dir);
    // One declared and closed, one left open at quit.
    RunResult r = run_batch(declare("same", "set lats convention " + c.word + "\n") +
                                "set lats close 1\nset lats create other\nquit\n",
                            dir.path());
    EXPECT_EQ(r.status, 0);
    const std::string format = c.word == "coards" ? "netCDF (latsnc)" : "GRIB (latsgrib)";
    const std::string ext = c.word == "coards" ? ".nc" : ".grb";
    for (const std::string name : {"same", "other"})
      EXPECT_TRUE(contains(r.err, "LATS warning (lats_close): " + format +
                                      " --> No field was written to " + name + ext +
                                      "; no file was made\n"))
          << r.err;
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
      std::string n = e.path().filename().string();
      if (n.rfind("same", 0) == 0 || n.rfind("other", 0) == 0 || n[0] == '.') left.push_back(n);
    }
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{".stderr", ".stdin", ".stdout"}));
  }
}

namespace {

// A variable on 100 pressure levels of which one is written: its index is
// larger than its data and descriptor, so that a size limit between them
// fails the index stage only.
std::string hundred_levels(const std::string& expr) {
  std::string levels;
  for (int p = 1000; p > 0; p -= 10) levels += " " + std::to_string(p);
  return "open d.ctl\nset x 1 36\nset y 1 9\nset t 1\nset lats convention vemra_grib\n"
         "set lats frequency daily\nset lats deltat 1\nset lats create deep\n"
         "set lats vertdim plev" +
         levels +
         "\nset gxout latsgrid\nd t\nset lats var 1 ta instant 1 1\nset gxout latsdata\n"
         "set lats write 1 1 1000\nd " +
         expr + "\nset lats close 1\nquit\n";
}

}  // namespace

// The index can't be written (a size limit hits it, as a full disk would):
// the old data, descriptor and index are all kept, none replaced. Without an
// old set the data and descriptor written are kept, without an index.
TEST(LatsSets, AFailedIndexKeepsTheOldSetWhole) {
  TempDir dir;
  write_dataset(dir);
  const std::vector<std::string> names = {"deep.grb", "deep.ctl", "deep.gmp"};
  RunResult first = run_one_log(hundred_levels("t"), dir.path());
  ASSERT_NE(first.out.find("LATS_GRIB: latsgribmap: GRIB index written\n"), std::string::npos)
      << first.out;
  const std::vector<std::string> old = contents(dir, names);
  ASSERT_LT(old[0].size(), 1500u);
  ASSERT_LT(old[1].size(), 1500u);
  ASSERT_GT(old[2].size(), 1500u);

  RunResult limited = run_one_log(hundred_levels("t*2"), dir.path(), 1500);
  EXPECT_NE(limited.out.find("LATS error (lats_close): GRIB (latsgrib) --> The index deep.gmp "
                             "could not be made; the old files are kept\n"),
            std::string::npos)
      << limited.out;
  EXPECT_EQ(contents(dir, names), old);
  EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  RunResult r =
      run_batch("open deep.ctl\nset x 1 36\nset y 1 9\nset gxout stat\nd ta\n", dir.path());
  EXPECT_NE(answer(r.out, "d ta").find("Min, Max = 263 314\n"), std::string::npos) << r.out;

  TempDir fresh;
  write_dataset(fresh);
  limited = run_one_log(hundred_levels("t*2"), fresh.path(), 1500);
  EXPECT_NE(limited.out.find("LATS error (lats_close): GRIB (latsgrib) --> The index deep.gmp "
                             "could not be made; deep.grb and deep.ctl are left without one\n"),
            std::string::npos)
      << limited.out;
  EXPECT_TRUE(file_exists(fresh.file("deep.grb")));
  EXPECT_TRUE(file_exists(fresh.file("deep.ctl")));
  EXPECT_FALSE(file_exists(fresh.file("deep.gmp")));
  EXPECT_EQ(leftovers(fresh.path()), std::vector<std::string>{});
}

namespace {

// Writes output "same" of times 1 and 2 of expr in dir (GRIB with
// descriptor and index unless another convention is named).
void write_set(const TempDir& dir, const std::string& expr,
               const std::string& conv = "vemra_grib") {
  RunResult w = run_batch(declare("same", "set lats convention " + conv + "\n") + "d " + expr +
                              "\nset t 2\nd " + expr + "\nset lats close 1\n",
                          dir.path());
  ASSERT_EQ(w.status, 0) << w.out;
  ASSERT_EQ(w.err, "");
}

const std::string kGribSetWords = "set lats convention vemra_grib\n";

const char* const kRange1 = "Min, Max = 263 314";        // of t at time 1
const char* const kRange100 = "Min, Max = 26300 31400";  // of t*100

// How the reading session opens output "same".
std::string open_same(const std::string& conv) {
  return conv == "coards" ? "sdfopen same.nc" : "open same.ctl";
}

std::string stat_of_tas(const std::string& dir, const std::string& conv = "vemra_grib") {
  return answer(
      run_batch(open_same(conv) + "\nset x 1 36\nset y 1 9\nset gxout stat\nd tas\n", dir).out,
      "d tas");
}

}  // namespace

// The index records what identifies its data file: a data file of another
// set under the name (the same size, other values) is refused when the set
// is opened, with a message; its own data file opens.
TEST(LatsSets, AnIndexRefusesAnotherSetsDataFile) {
  TempDir dir, other;
  write_dataset(dir);
  write_dataset(other);
  write_set(other, "t");
  write_set(dir, "t+1");
  const std::string own = read_file(dir.file("same.grb")),
                    foreign = read_file(other.file("same.grb"));
  ASSERT_EQ(own.size(), foreign.size());
  ASSERT_NE(own, foreign);
  // After the portable layout and its eight time floats, 20 bytes of record
  // (two times of one record, three words a slot and four header words),
  // then the places of the two messages: 9 bytes and 16 a message, then the
  // grid: 5 bytes, four 8-byte coordinates and 19 4-byte words.
  EXPECT_EQ(read_file(dir.file("same.gmp")).size(),
            size_t(57 + 4 * (4 + 2 * 3 * 2) + 20 + 9 + 16 * 2 + 5 + 4 * 8 + 4 * 19));
  EXPECT_NE(stat_of_tas(dir.path()).find("Min, Max = 264 315"), std::string::npos);

  write_file(dir.file("same.grb"), foreign);
  RunResult r = run_batch("open same.ctl\n", dir.path());
  EXPECT_EQ(first_missing(answer(r.out, "open same.ctl"),
                          {"Open Error:  GRIB data file is not the one its index was built from\n"
                           "  Data file = same.grb\n",
                           "The data file was not opened."}),
            "")
      << r.out;
  write_file(dir.file("same.grb"), own);
  EXPECT_NE(stat_of_tas(dir.path()).find("Min, Max = 264 315"), std::string::npos);
}

// An index written before it recorded its data file opens as it did, and
// its data read the same.
TEST(LatsSets, AnIndexWithoutTheRecordStillOpens) {
  TempDir dir;
  write_dataset(dir);
  write_set(dir, "t");
  std::string index = read_file(dir.file("same.gmp"));
  // The portable layout of two times of one record and its time floats,
  // without the records that follow it now.
  const size_t portable = 57 + 4 * (4 + 2 * 3 * 2);
  ASSERT_GT(index.size(), portable);
  write_file(dir.file("same.gmp"), index.substr(0, portable));
  EXPECT_NE(stat_of_tas(dir.path()).find(kRange1), std::string::npos);
}

// Two sessions rewrite one output over and over, their values packed to
// different sizes, while a third opens and reads it: every read is the
// whole of one session's output (for GRIB never one's index over the
// other's data), in every round.
TEST(LatsSets, ReadsDuringTwoWritersAreAlwaysOneWholeSet) {
  for (const std::string conv : {"vemra_grib", "coards"}) {
    SCOPED_TRACE(conv);
    TempDir dir, a, b;
    for (const TempDir* d : {&dir, &a, &b}) write_dataset(*d);
    write_set(dir, "t", conv);
    const int rounds = 30, reads = 300;
    auto writer = [&](const TempDir& home, const std::string& expr) {
      std::string s = "open d.ctl\nset x 1 36\nset y 1 9\nset lats convention " + conv +
                      "\nset lats frequency daily\nset lats deltat 1\n";
      for (int k = 1; k <= rounds; k++) {
        const std::string id = std::to_string(k);
        s += "set t 1\nset lats create " + dir.file("same") +
             "\nset gxout latsgrid\nd t\nset lats var " + id + " tas average " + id +
             " 0\nset gxout latsdata\nset lats write " + id + " " + id + "\nd " + expr +
             "\nset t 2\nd " + expr + "\nset lats close " + id + "\n";
      }
      pid_t pid = fork();
      if (pid == 0) _exit(run_batch(s, home.path()).status);
      return pid;
    };
    pid_t wa = writer(a, "t"), wb = writer(b, "t*100");
    std::string in;
    for (int k = 0; k < reads; k++)
      in += open_same(conv) + "\nset x 1 36\nset y 1 9\nset gxout stat\nd tas\nclose 1\n";
    RunResult r = run_batch(in, dir.path());
    for (pid_t p : {wa, wb}) {
      int st = 0;
      waitpid(p, &st, 0);
      EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    }
    // Every round of both writers wrote its two fields and replaced the output.
    for (const TempDir* home : {&a, &b}) {
      const std::string log = read_file(home->file(".stdout")) + read_file(home->file(".stderr"));
      EXPECT_EQ(count_of(log, "LATS DATA_WRITE ID = 1\n"), size_t(2 * rounds)) << log;
      EXPECT_FALSE(contains(log, "LATS error")) << log;
      EXPECT_FALSE(contains(log, "No field was written")) << log;
    }
    size_t at = 0;
    int small = 0, large = 0;
    for (int k = 0; k < reads; k++) {
      const std::string opened = next_answer(r.out, open_same(conv), &at);
      ASSERT_TRUE(contains(opened, "is open as file 1")) << k << "\n" << opened;
      const std::string stat = next_answer(r.out, "d tas", &at);
      if (contains(stat, kRange1))
        small++;
      else if (contains(stat, kRange100))
        large++;
      else
        ADD_FAILURE() << "read " << k << ":\n" << stat;
    }
    EXPECT_EQ(small + large, reads);
    const std::string last = stat_of_tas(dir.path(), conv);
    EXPECT_TRUE(contains(last, kRange1) || contains(last, kRange100)) << last;
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  }
}

// A GRIB set replaced, under a short name and under names as long as the
// file system takes, opens with its new values, and each of its three
// files, the index too, keeps the old one's owner, group and mode.
TEST(LatsSets, AReplacedGribSetKeepsOwnerModeAndLongNames) {
  const bool root = geteuid() == 0;
  const uid_t other_uid = 65534;
  const gid_t other_gid = 65534;
  // base.grb, .ctl and .gmp of the long one are 255 characters.
  for (const std::string& base : {std::string("own"), std::string(251, 'g')}) {
    SCOPED_TRACE(base.size());
    TempDir dir;
    write_dataset(dir);
    const std::vector<std::string> names = {base + ".grb", base + ".ctl", base + ".gmp"};
    for (const std::string expr : {"t", "t*100"}) {
      SCOPED_TRACE(expr);
      RunResult w = run_batch(declare(base, "set lats convention vemra_grib\n") + "d " + expr +
                                  "\nset t 2\nd " + expr + "\nset lats close 1\n",
                              dir.path());
      EXPECT_EQ(w.err, "");
      EXPECT_TRUE(contains(w.out, "LATS_GRIB: latsgribmap: GRIB index written\n")) << w.out;
      const std::string stat =
          answer(run_batch("open " + base + ".ctl\nset x 1 36\nset y 1 9\nset gxout stat\nd tas\n",
                           dir.path())
                     .out,
                 "d tas");
      EXPECT_TRUE(contains(stat, expr == "t" ? kRange1 : kRange100)) << stat;
      EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
      if (!root || expr != "t") continue;
      for (const auto& n : names) {
        ASSERT_EQ(chown(dir.file(n).c_str(), other_uid, other_gid), 0) << n;
        ASSERT_EQ(chmod(dir.file(n).c_str(), 0640), 0) << n;
      }
    }
    if (!root) continue;
    for (const auto& n : names) {
      struct stat st;
      ASSERT_EQ(::stat(dir.file(n).c_str(), &st), 0) << n;
      const std::string ext = n.substr(base.size());
      EXPECT_EQ(st.st_uid, other_uid) << ext;
      EXPECT_EQ(st.st_gid, other_gid) << ext;
      EXPECT_EQ(st.st_mode & 07777, 0640u) << ext;
    }
  }
  if (!root) GTEST_SKIP() << "not root: the owners of an old set were not tried";
}

// A writer is stopped between the renames of a GRIB set, its new data in
// place beside the old index and descriptor, in a directory its readers
// may enter but not list (and, as before, in one they may list). Another
// user's open waits until the whole new set is in place, then opens and
// reads it; it is never refused the mix.
TEST(LatsSets, ReadersThatCannotListTheDirectoryWaitForTheWholeSet) {
  if (std::string why = cannot_run_as_nobody(); !why.empty()) GTEST_SKIP() << why;
  for (const mode_t mode : {mode_t(0711), mode_t(0755)}) {
    SCOPED_TRACE(mode);
    TempDir home, sets, reader;
    write_dataset(home);
    const std::string same = sets.file("same");
    ASSERT_EQ(run_batch(declare(same, kGribSetWords) + write_two("t"), home.path()).status, 0);
    for (const char* ext : {".grb", ".ctl", ".gmp"})
      ASSERT_EQ(chmod((same + ext).c_str(), 0644), 0);
    ASSERT_EQ(chmod(sets.path().c_str(), mode), 0);
    ASSERT_EQ(chmod(reader.path().c_str(), 0777), 0);

    write_file(home.file(".stdin"), declare(same, kGribSetWords) + write_two("t*100"));
    const pid_t writer = fork();
    if (writer == 0) {
      const int in = open(home.file(".stdin").c_str(), O_RDONLY);
      const int out = open(home.file(".stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (in < 0 || out < 0) _exit(126);
      dup2(in, 0);
      dup2(out, 1);
      dup2(out, 2);
      setenv("SIGNAL_AFTER_RENAME", (std::to_string(SIGSTOP) + " .grb").c_str(), 1);
      setenv("LD_PRELOAD", VEMRA_SIGNAL_AFTER_RENAME, 1);
      setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
      exec_vemra(home.path(), {"-b", "-l"});
    }
    int st = 0;
    ASSERT_EQ(waitpid(writer, &st, WUNTRACED), writer);
    ASSERT_TRUE(WIFSTOPPED(st)) << read_file(home.file(".stdout"));

    RunResult r;
    std::thread open_it([&] {
      r = run_batch_as_nobody(
          "open " + same + ".ctl\nset x 1 36\nset y 1 9\nset gxout stat\nd tas\n", reader.path(), 0,
          60);
    });
    // The reader pauses between its tries for the lock the writer holds.
    EXPECT_TRUE(wait_until_waiting(
        writer, [](const process_view&) { return descendant_asleep_in(getpid(), waits::timer); }));
    kill(writer, SIGCONT);
    ASSERT_EQ(waitpid(writer, &st, 0), writer);
    open_it.join();
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0) << read_file(home.file(".stdout"));
    const std::string opened = answer(r.out, "open " + same + ".ctl");
    EXPECT_TRUE(contains(opened, "is open as file 1")) << opened;
    EXPECT_TRUE(contains(answer(r.out, "d tas"), kRange100)) << r.out;
    ASSERT_EQ(chmod(sets.path().c_str(), 0700), 0);
  }
}

// An open forms a template's file names, one per time, after it has read
// the descriptor: a writer replacing a set in the same directory meanwhile
// is not held off until the names are formed, and both end well.
TEST(LatsSets, AWriterIsNotHeldOffWhileAnOpenFormsTemplateNames) {
  TempDir dir, reader;
  write_dataset(dir);
  write_file(dir.file("big.ctl"),
             "dset ^tmpl_%y4%m2%d2%h2.dat\noptions template\nundef -9.99e33\n"
             "xdef 4 linear 0 10\nydef 3 linear -30 30\nzdef 1 levels 1000\n"
             "tdef 1000000 linear 00z01jan1990 1hr\nvars 1\nv 0 99 v\nendvars\n");
  LiveSession open(reader, "open.out");
  ASSERT_TRUE(wait_until_waiting(open.pid, waits::input));
  const long read_before = view_of(open.pid).rchar;
  const std::string big = dir.file("big.ctl");
  ASSERT_TRUE(open.send("open " + big + "\n"));
  // The descriptor's few lines are read at once and it is closed; the names
  // take seconds.
  const long descriptor_bytes = long(std::filesystem::file_size(big));
  ASSERT_TRUE(wait_until_waiting(open.pid, [&](const process_view& v) {
    return v.rchar - read_before >= descriptor_bytes && !holds_open(open.pid, big);
  })) << open.output();
  RunResult w = run_batch(declare("same", kGribSetWords) + write_two("t"), dir.path());
  EXPECT_EQ(w.status, 0);
  EXPECT_TRUE(contains(w.out, "LATS_GRIB: latsgribmap: GRIB index written\n")) << w.out;
  EXPECT_FALSE(contains(open.output(), "is open as file 1")) << open.output();
  ASSERT_TRUE(open.send("quit\n"));
  ASSERT_TRUE(
      open.wait_for("Data file " + dir.file("tmpl_%y4%m2%d2%h2.dat is open as file 1\n"), 1, 120))
      << open.output();
  EXPECT_EQ(open.finish(), 0);
  EXPECT_NE(stat_of_tas(dir.path()).find(kRange1), std::string::npos);
}
