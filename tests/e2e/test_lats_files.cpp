// Files made by "set lats" through the program: GRIB under a 365-day
// calendar read back by vemra, grib_ls and cdo; the writer's messages in
// order with their commands in one log; and the old files kept whole when a
// write fails, when nothing is written, and when two sessions write one name.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "lats_files.h"
#include "sdf_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using namespace latsfiles;
using dsfiles::answer;
using sdffiles::printed_values;

// A 365-day GRIB file written from a session whose data set has the standard
// calendar gets its index, reads back in a fresh session on the 365-day
// calendar, and peer tools see the same dates and values. The session's own
// calendar is untouched: its data set still answers on standard dates.
TEST(LatsFiles, NoleapGribFromAStandardSessionReadsBack) {
  TempDir dir;
  write_dataset(dir);
  RunResult w = run_batch(declare("g6", "set lats calendar noleap\n") + write_two("t") +
                              "set time 00z01mar2000\nq dims\n",
                          dir.path());
  EXPECT_EQ(w.out.find("Attempt to change the global calendar"), std::string::npos) << w.out;
  EXPECT_NE(w.out.find("LATS_GRIB: latsgribmap: GRIB index written\n"), std::string::npos) << w.out;
  EXPECT_EQ(w.err, "");
  // 1 March is still the third time of the standard data set.
  EXPECT_NE(answer(w.out, "q dims").find("Time = 00Z01MAR2000  T = 3\n"), std::string::npos)
      << w.out;
  ASSERT_TRUE(file_exists(dir.file("g6.gmp")));

  RunResult r = run_batch(
      "open g6.ctl\nset x 1 36\nset y 1 9\nset gxout print\nset time 00z28feb2000\nd tas\n"
      "set time 00z01mar2000\nq dims\nd tas + 0\n",
      dir.path());
  EXPECT_NE(answer(r.out, "q dims").find("T = 2"), std::string::npos) << r.out;
  std::vector<double> first = printed_values(r.out, "d tas"),
                      second = printed_values(r.out, "d tas + 0");
  ASSERT_EQ(first.size(), size_t(kNx * kNy)) << r.out;
  ASSERT_EQ(second.size(), size_t(kNx * kNy)) << r.out;
  for (int y = 1; y <= kNy; y++)
    for (int x = 1; x <= kNx; x++) {
      size_t k = size_t((y - 1) * kNx + x - 1);
      // One decimal digit kept by the table's scale.
      EXPECT_NEAR(first[k], t_at(x, y, 1), 0.051) << x << " " << y;
      EXPECT_NEAR(second[k], t_at(x, y, 3), 0.051) << x << " " << y;
    }

  EXPECT_EQ(command_output("grib_ls -p dataDate,indicatorOfParameter " + dir.file("g6.grb") +
                           " | awk '$1 ~ /^2000/ {print $1, $2}'"),
            "20000228 11\n20000301 11\n");
  std::string tab =
      command_output("cdo -s outputtab,date,lon,lat,value " + dir.file("g6.grb") + " 2>/dev/null");
  std::istringstream in(tab);
  std::string line, date;
  int n = 0;
  while (std::getline(in, line)) {
    std::istringstream ls(line);
    double lon, lat, value;
    if (!(ls >> date >> lon >> lat >> value)) continue;
    int x = int(std::lround(lon / 10)) + 1, y = int(std::lround((lat + 80) / 20)) + 1;
    int t = date == "2000-02-28" ? 1 : date == "2000-03-01" ? 3 : -1;
    ASSERT_NE(t, -1) << line;
    EXPECT_NEAR(value, t_at(x, y, t), 0.051) << line;
    n++;
  }
  EXPECT_EQ(n, 2 * kNx * kNy) << tab.substr(0, 400);
}

// The climatological 365-day calendar (no years, written as year 2) is
// indexed and reads back the same way.
TEST(LatsFiles, ClimatologyGribFromAStandardSessionReadsBack) {
  TempDir dir;
  write_dataset(dir);
  RunResult w = run_batch(declare("c7", "set lats calendar clim\n") + write_two("t"), dir.path());
  EXPECT_NE(w.out.find("LATS_GRIB: latsgribmap: GRIB index written\n"), std::string::npos) << w.out;
  RunResult r = run_batch(
      "open c7.ctl\nset x 1 36\nset y 1 9\nset gxout print\nset t 2\nq dims\nd tas\n", dir.path());
  EXPECT_NE(answer(r.out, "q dims").find("Time = 00Z01MAR2  T = 2"), std::string::npos) << r.out;
  std::vector<double> v = printed_values(r.out, "d tas");
  ASSERT_EQ(v.size(), size_t(kNx * kNy)) << r.out;
  for (int y = 1; y <= kNy; y++)
    for (int x = 1; x <= kNx; x++)
      EXPECT_NEAR(v[size_t((y - 1) * kNx + x - 1)], t_at(x, y, 3), 0.051);
}

// Standard error and standard output into one log: the writer's lines come
// after the command that caused them and before the next command. Setting
// the base time of a closed file says that the id is not open.
TEST(LatsFiles, MessagesInOrderInOneLogAndBasetimeOfAClosedFile) {
  TempDir dir;
  write_dataset(dir);
  RunResult r =
      run_one_log("set lats create early\n" + declare("o", "set lats convention coards\n") +
                      write_two("t") + "set lats basetime 1 2000 1 1 0\nquit\n",
                  dir.path());
  // The writer's own refusal of the frequency, between its command and the next.
  EXPECT_EQ(answer(r.out, "set lats create early"),
            "LATS error (lats_create): LATS (lats) -->  Invalid frequency: -1\nLATS FILE ID = 0\n");
  EXPECT_EQ(answer(r.out, "set lats basetime 1 2000 1 1 0"),
            "Vemra-LATS Error: (lats_basetime) file id 1 is not open\nLATS BASETIME ID = 0\n"
            "Vemra-LATS Error: (lats_basetime) failed...\n");
}

// Nothing written: an old file of the name is kept whole; the writes of a
// later session that fail under a size limit leave the old files whole,
// remove their own unfinished files and say why in the writer's line.
TEST(LatsFiles, OldFilesSurviveEmptyAndFailedWrites) {
  TempDir dir;
  write_dataset(dir);
  for (std::string conv : {"coards", "vemra_grib"}) {
    SCOPED_TRACE(conv);
    const std::string set = "set lats convention " + conv + "\n";
    ASSERT_EQ(run_batch(declare("old", set) + write_two("t"), dir.path()).status, 0);
    std::vector<std::string> names =
        conv == "coards" ? std::vector<std::string>{"old.nc"}
                         : std::vector<std::string>{"old.grb", "old.ctl", "old.gmp"};
    std::vector<std::string> before;
    for (auto& n : names) before.push_back(read_file(dir.file(n)));
    for (auto& b : before) ASSERT_FALSE(b.empty());

    // Created and left at quit.
    RunResult q =
        run_batch(set + "set lats frequency daily\nset lats deltat 1\nset lats create old\nquit\n",
                  dir.path());
    EXPECT_NE(q.err.find("No field was written to old."), std::string::npos) << q.err;
    for (size_t k = 0; k < names.size(); k++) EXPECT_EQ(read_file(dir.file(names[k])), before[k]);

    // A size limit below the three fields of this grid.
    std::string wide = "open d.ctl\nset x 1 36\nset y 1 9\nset t 1\n" + set +
                       "set lats frequency daily\nset lats deltat 1\nset lats create old\n"
                       "set gxout latsgrid\nd t\nset lats var 1 tas average 1 0\n"
                       "set gxout latsdata\nset lats write 1 1\n";
    for (int t = 1; t <= 3; t++)
      wide += "set t " + std::to_string(t) + "\nd t*" + std::to_string(t + 1) + "\n";
    wide += "set lats close 1\nquit\n";
    RunResult f = run_one_log(wide, dir.path(), 1200);
    const std::string said = conv == "coards"
                                 ? "netCDF (latsnc) --> Writing old.nc failed: File too large; "
                                   "the old file is kept\n"
                                 : "GRIB (latsgrib) --> Writing old.grb failed: File too large; "
                                   "the old files are kept\n";
    EXPECT_NE(f.out.find("ka-> set lats close 1\n"), std::string::npos) << f.out;
    EXPECT_NE(f.out.find("LATS error (lats_close): " + said, f.out.find("ka-> set lats close 1")),
              std::string::npos)
        << f.out;
    EXPECT_EQ(f.out.find("missing XDEF"), std::string::npos) << f.out;
    for (size_t k = 0; k < names.size(); k++) EXPECT_EQ(read_file(dir.file(names[k])), before[k]);
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  }
}

// A write that fails mid-session is said with the system's reason; later
// writes of that file are refused at once, and the close makes no file.
TEST(LatsFiles, WritesAfterAFailedOneAreRefused) {
  TempDir dir;
  write_dataset(dir, 360, 181, -90, 1, 1);
  std::string in =
      "open d.ctl\nset x 1 360\nset y 1 181\nset t 1\nset lats convention grib_only\n"
      "set lats frequency daily\nset lats deltat 1\nset lats create big\n"
      "set gxout latsgrid\nd t\nset lats var 1 tas average 1 0\nset gxout latsdata\n"
      "set lats write 1 1\nd t+0\nset t 2\nd t+1\nset t 3\nd t+2\nset lats close 1\n";
  // Room for the first field (about 100 kB packed) but not the second.
  RunResult r = run_one_log(in, dir.path(), 150000);
  EXPECT_EQ(answer(r.out, "d t+0"), "LATS DATA_WRITE ID = 1\n");
  EXPECT_EQ(
      answer(r.out, "d t+1"),
      "LATS error (lats_write): GRIB (latsgrib) --> Writing a message to big.grb failed: File "
      "too large\nLATS DATA_WRITE ID = 0\nVemra-LATS Error: (lats_write) failed...\n");
  // The time before counts as written with no level, as for any failed write.
  EXPECT_EQ(answer(r.out, "d t+2"),
            "LATS error (lats_write): LATS (lats) -->  Warning, fewer levels written (0) then "
            "declared, file big.grb, variable tas, time = 0Z 1 Mar 2000: The output file may be "
            "unnecessarily large\n"
            "LATS error (lats_write): GRIB (latsgrib) --> big.grb is not written after the failure "
            "before (File too large)\nLATS DATA_WRITE ID = 0\nVemra-LATS Error: (lats_write) "
            "failed...\n");
  EXPECT_EQ(
      answer(r.out, "set lats close 1"),
      "LATS error (lats_close): GRIB (latsgrib) --> Writing big.grb failed: File too large; no "
      "file was made\nVemra-LATS Error: (lats_close) failed...\n");
  EXPECT_FALSE(file_exists(dir.file("big.grb")));
  EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
}

// A name that points to a full device: GRIB is written there and the close
// says the device is full; netCDF, which the library makes only as a regular
// file, is refused at create. The link itself stays in both cases.
TEST(LatsFiles, NamesPointingToAFullDevice) {
  TempDir dir;
  write_dataset(dir);
  ASSERT_EQ(symlink("/dev/full", dir.file("full.grb").c_str()), 0);
  ASSERT_EQ(symlink("/dev/full", dir.file("full.nc").c_str()), 0);
  RunResult g =
      run_batch(declare("full", "set lats convention grib_only\n") + write_two("t*1"), dir.path());
  EXPECT_EQ(
      g.err,
      "LATS error (lats_close): GRIB (latsgrib) --> Writing full.grb failed: No space left on "
      "device; the old files are kept\n");
  RunResult n = run_batch(declare("full", "set lats convention coards\n"), dir.path());
  EXPECT_EQ(answer(n.out, "set lats create full"), "LATS FILE ID = 0\n");
  EXPECT_EQ(n.err,
            "LATS warning (lats_create): netCDF (latsnc) --> full.nc is not a regular file\n"
            "LATS error (lats_create): netCDF (latsnc) --> Creating netCDF file full.nc\n");
  for (const char* name : {"full.grb", "full.nc"}) {
    struct stat st;
    ASSERT_EQ(lstat(dir.file(name).c_str(), &st), 0) << name;
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << name;
  }
}

// Two sessions write one name at the same time, each its own values: every
// file under the name is one session's whole output, and the GRIB data,
// index and descriptor belong to the same session.
TEST(LatsFiles, TwoSessionsWritingOneNameLeaveOneWholeOutput) {
  // Fields larger than any write buffer, so that writes in place would
  // reach the file while the other session is writing too.
  const int nx = 360, ny = 181;
  const std::string area =
      "set x 1 " + std::to_string(nx) + "\nset y 1 " + std::to_string(ny) + "\n";
  for (std::string conv : {"coards", "vemra_grib"}) {
    SCOPED_TRACE(conv);
    TempDir dir, a, b;  // the output, and each session's own directory
    for (const TempDir* d : {&a, &b}) write_dataset(*d, nx, ny, -90, 1, 1);
    // The first session pauses between its two fields, so that the other
    // one writes all of its output in between.
    auto session = [&](const std::string& expr, int pause) {
      std::string s = "open d.ctl\n" + area + "set t 1\nset lats convention " + conv +
                      "\nset lats frequency daily\nset lats deltat 1\nset lats create " +
                      dir.file("same") +
                      "\nset gxout latsgrid\nd t\nset lats var 1 tas average 1 0\n"
                      "set gxout latsdata\nset lats write 1 1\nd " +
                      expr + "\n";
      for (int k = 0; k < pause; k++) s += "q dims\n";
      return s + "set t 2\nd " + expr + "\nset lats close 1\n";
    };
    pid_t pa = fork();
    if (pa == 0) {
      RunResult ra = run_batch(session("t", 20000), a.path());
      _exit(ra.status);
    }
    RunResult rb = run_batch(session("t+10000", 0), b.path());
    int st = 0;
    waitpid(pa, &st, 0);
    EXPECT_EQ(rb.status, 0);
    EXPECT_TRUE(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    std::string in = (conv == "coards" ? "sdfopen same.nc\n" : "open same.ctl\n") + area +
                     "set gxout print\nset t 1\nd tas\nset t 2\nd tas+0\n";
    RunResult r = run_batch(in, dir.path());
    std::vector<double> v1 = printed_values(r.out, "d tas"), v2 = printed_values(r.out, "d tas+0");
    ASSERT_EQ(v1.size(), size_t(nx * ny)) << r.out.substr(0, 2000);
    ASSERT_EQ(v2.size(), size_t(nx * ny)) << r.out.substr(0, 2000);
    // Whichever session came last, all values are its own.
    const double offset = v1[0] > 5000 ? 10000 : 0;
    int wrong = 0;
    for (int y = 1; y <= ny; y++)
      for (int x = 1; x <= nx; x++) {
        size_t k = size_t((y - 1) * nx + x - 1);
        if (std::fabs(v1[k] - (t_at(x, y, 1) + offset)) > 0.051) wrong++;
        if (std::fabs(v2[k] - (t_at(x, y, 2) + offset)) > 0.051) wrong++;
      }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(leftovers(dir.path()), std::vector<std::string>{});
  }
}
