// "define", "undefine", "modify", the defval keywords and the define query
// through the program, on a monthly data set the test writes itself.
#include <gtest/gtest.h>
#include <unistd.h>

#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "support/live_session.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::expect_steps;

namespace {

constexpr int kNx = 4, kNy = 3, kNt = 24;

// Value at 1-based x, y and month t; exact in float and printed whole by %g.
float at(int x, int y, int t) { return float(1000 * t + 10 * y + x); }

std::string fmt(float v) {
  char b[64];
  std::snprintf(b, sizeof b, "%g", double(v));
  return b;
}

std::string defval(float v) { return "DEFVAL is " + fmt(v) + "\n"; }
std::string allocated(int bytes) {
  return "Define memory allocation size = " + std::to_string(bytes) + " bytes\n";
}
const std::string kNoValue = "DEFVAL is -9.99e+33\n";

// lon 0..7.5 by 2.5, lat 0..20 by 10, 24 months from Jan 1990 (m); a daily
// file of 40 days (d); a station file (s). m is opened first.
struct Define : testing::Test {
  TempDir dir;
  void SetUp() override {
    std::string s;
    for (int t = 1; t <= kNt; t++)
      for (int y = 1; y <= kNy; y++)
        for (int x = 1; x <= kNx; x++) {
          float v = at(x, y, t);
          s.append(reinterpret_cast<const char*>(&v), 4);
        }
    write_file(dir.file("m.dat"), s);
    write_file(dir.file("d.dat"), std::string(size_t(4) * kNx * kNy * 40, '\0'));
    write_file(dir.file("e.dat"), s);
    for (const char* set : {"m 24 linear 00z01jan1990 1mo", "d 40 linear 00z01jan1990 1dy",
                            "e 24 linear 00z31jan1992 1mo"})
      write_file(dir.file(std::string(1, set[0]) + ".ctl"),
                 "dset ^" + std::string(1, set[0]) +
                     ".dat\nundef -9.99e33\nxdef 4 linear 0 2.5\nydef 3 linear 0 10\n"
                     "zdef 1 levels 1000\ntdef " +
                     std::string(set + 2) + "\nvars 1\nu 0 0 U\nendvars\n");
    dsfiles::write_station(dir, "s", 2);
  }
  void steps(const std::vector<dsfiles::step>& s) { expect_steps(dir, "open m.ctl\n", s); }
};

}  // namespace

TEST_F(Define, KeepsGridsAndReadsThemBack) {
  const int plane = kNx * kNy;
  steps({{"define a = u", allocated(plane * 4)},
         {"q defval a 3 2", defval(at(3, 2, 1))},
         {"set t 1 12", "-"},
         {"define b = u + 1", allocated(plane * 48)},  // twelve months kept
         {"set t 5", "-"},
         // c reads b at the fifth month, with b's own time offsets.
         {"define c = b", "-"},
         {"q defval c 4 3", defval(at(4, 3, 5) + 1)},
         {"b = u*2",
          allocated(plane * 4) + "Name already DEFINEd:  b.   Will be deleted and replaced.\n"},
         {"q define", "a " + fmt(at(1, 1, 1)) + "\nc " + fmt(at(1, 1, 5) + 1) + "\nb " +
                          fmt(2 * at(1, 1, 5)) + "\n"},
         {"q defval a 5 1", kNoValue},
         {"set defval a 3 2 -2.5", ""},
         {"q defval a 3  2", "DEFVAL is -2.5\n"}});
}

TEST_F(Define, RefusalsLeaveTheListAlone) {
  const std::string syntax = "MODIFY DEFVAL Error: Syntax is: Modify Defval name i j value\n";
  steps({{"define", "DEFINE error:  name is missing \n"},
         {"define a", "DEFINE error:  Name too long; missing '='\n"},
         {"define a =", "DEFINE error:  expression missing\n"},
         {"define a = nosuch+", "-"},
         // The failed defines added nothing.
         {"q define", "No Defined Variables\n"},
         {"undefine zz", "UNDEFINE Warning:  name not found\n"},
         {"q defval zz 1 1", "Warning:  defined name not found\n"},
         {"set defval a 1", syntax},
         {"define a = u", "-"},
         {"set defval a 9 1 3", "MODIFY DEFVAL Error:  Out of Range\n"},
         {"undefine a", "a UNDEFINEd and storage released\n"},
         {"q define", "No Defined Variables\n"},
         {"open s.ctl", "-"},
         {"set dfile 2", "-"},
         {"define s = 1",
          "Define error:  Define not yet valid for station data\n"
          "    Default file is a station data file\n"}});
  RunResult r = run_batch("open m.ctl\ndefine a = nosuch+\n", dir.path());
  EXPECT_NE(r.out.find("DEFINE error:  Invalid expression. \n"), std::string::npos) << r.out;
}

TEST_F(Define, ClimatologicalCycleWrapsTime) {
  const std::string now = "Defined variable is now climatological\n";
  steps({{"set t 1 12", "-"},
         {"define c = u", "-"},
         {"modify c", "MODIFY error:  Action keyword is missing\n"},
         {"modify zz seasonal", "MODIFY Error: Defined grid zz not found\n"},
         {"modify c seasonal", now},
         {"set t 1", "-"},
         {"define w = c(t=14)", "-"},
         {"define v = c(t=0)", "-"},
         {"define n = c(t=26)", "-"},
         // Month 14 is month 2 of the cycle, month 0 is month 12, month 26 month 2.
         {"q defval w 2 2", defval(at(2, 2, 2))},
         {"q defval v 2 2", defval(at(2, 2, 12))},
         {"q defval n 2 2", defval(at(2, 2, 2))},
         {"define one = u", "-"},
         {"modify one seasonal", "MODIFY Error:  Time not varying for this defined variable\n"},
         {"open d.ctl", "-"},
         {"set dfile 2", "-"},
         {"set t 1 40", "-"},
         {"define dd = u", "-"},
         {"modify dd seasonal", "MODIFY Error:  Invalid time scaling in defined variable\n"},
         {"modify dd diurnal", now},
         // A cycle from 29 February 1992: a year on, 28 February 1993 is its
         // first month again.
         {"open e.ctl", "-"},
         {"set dfile 3", "-"},
         {"set t 2 13", "-"},
         {"define ee = u", "-"},
         {"modify ee seasonal", now},
         {"define we = ee(time=28feb1993)", "-"},
         {"q defval we 2 2", defval(at(2, 2, 2))}});
  // Read over time the cycle wraps too: months 12, 13 and 14 are 12, 1 and 2.
  std::string out = run_batch(
                        "open m.ctl\nset t 1 12\ndefine c = u\nmodify c seasonal\nset x 2\n"
                        "set y 2\nset t 12 14\nset gxout stat\nd c\n",
                        dir.path())
                        .out;
  EXPECT_NE(out.find("Undef count = 0  Valid count = 3\nMin, Max = " + fmt(at(2, 2, 1)) + " " +
                     fmt(at(2, 2, 12)) + "\n"),
            std::string::npos)
      << out;
}

TEST_F(Define, PredefinedCoordinatesExtrapolate) {
  // x indices 0..5 of the 2.5-degree axis: no wrap-around, no file limits.
  // Only x varies: the object has one row, addressed as row 1; latitude is
  // copies of the fixed row's.
  steps({{"set x 0 5", "-"},
         {"set y 2", "-"},
         {"define lo = lon", "-"},
         {"q defval lo 0 1", "DEFVAL is -2.5\n"},
         {"q defval lo 5 1", "DEFVAL is 10\n"},
         {"q defval lo 5 2", kNoValue},
         {"define la = lat", "-"},
         {"q defval la 0 1", "DEFVAL is 10\n"},
         {"set x 1", "-"},
         {"set y 0 4", "-"},
         {"define ly = lat", "-"},
         {"q defval ly 1 0", "DEFVAL is -10\n"},
         {"q defval ly 1 4", "DEFVAL is 30\n"}});
}

TEST_F(Define, SectionsBeyondTheObjectAreUndefined) {
  // a covers x 1..4 and y 1..3 of month 1; c reads it over x 1..6 and y 2,
  // d at a fixed y outside it.
  steps({{"define a = u", "-"},
         {"set x 1 6", "-"},
         {"set y 2", "-"},
         {"define c = a", "-"},
         {"q defval c 4 1", defval(at(4, 2, 1))},
         {"q defval c 5 1", kNoValue},
         {"set y 5", "-"},
         {"define d = a", "-"},
         {"q define", "a " + fmt(at(1, 1, 1)) + "\nc " + fmt(at(1, 2, 1)) + "\nd -9.99e+33\n"},
         // A level beyond any grid index an int holds is outside the file too.
         {"set z 1e10", "-"},
         {"define e = u", "-"},
         {"q defval e 1 1", kNoValue}});
}

namespace {

// The resident sizes in kB that `!grep VmRSS` lines printed, in order
// (unused where the sanitizer skips the test).
[[maybe_unused]] std::vector<long> resident_sizes(const std::string& out) {
  std::vector<long> kb;
  for (size_t p = out.find("VmRSS:"); p != std::string::npos; p = out.find("VmRSS:", p + 1))
    kb.push_back(std::strtol(out.c_str() + p + 6, nullptr, 10));
  return kb;
}

}  // namespace

// Grids and pictures let go of for good give their memory back: the
// resident size of the running program (read by a shell it starts, from
// /proc of its parent) falls back towards where it was before they were
// made, whether they go at the prompt or inside a command file; at the
// prompt the session gives back what any command freed while it waits.
TEST(DefineMemory, ReleasedStorageGoesBackToTheSystem) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer holds freed blocks back on purpose";
#else
  TempDir dir;
  // A quarter-degree globe at 4 times: 16.6 MB a defined grid.
  constexpr long nx = 1440, ny = 721, nt = 4, grids = 12;
  write_file(dir.file("q.dat"), "");
  ASSERT_EQ(::truncate(dir.file("q.dat").c_str(), nx * ny * nt * 4), 0);
  write_file(dir.file("q.ctl"),
             "dset ^q.dat\nundef -9.99e33\nxdef 1440 linear 0 0.25\nydef 721 linear -90 0.25\n"
             "zdef 1 levels 1000\ntdef 4 linear 00z1jan2000 6hr\nvars 1\nu 0 99 u\nendvars\n");
  const std::string rss = "!grep VmRSS /proc/$PPID/status\n";
  std::string define_all, undefine_all, shrink_all;
  for (int k = 1; k <= grids; k++) {
    const std::string name = "a" + std::to_string(k);
    define_all += "define " + name + " = u + lat + " + std::to_string(k) + "\n";
    undefine_all += "undefine " + name + "\n";
    shrink_all += "define " + name + " = u\n";
  }
  // At one time: drawn as an animation over the four, the pictures hold no
  // more and take four times as long.
  const std::string pictures =
      "set t 1\nset gxout shaded\nd lat*lon\nd lat-lon\nd lat*lat-lon*lon\n";
  struct row {
    const char* name;
    std::string make, release;
    bool in_file;   // run from a command file, where the session never waits
    long least_mb;  // the growth the grids or pictures bring at least
    double kept;    // at most this part of the growth is still held after
  };
  const long grid_mb = nx * ny * nt * 4 * grids >> 20;
  const row rows[] = {
      {"undefined at the prompt", define_all, undefine_all, false, grid_mb * 9 / 10, 0.1},
      {"undefined in a command file", define_all, undefine_all, true, grid_mb * 9 / 10, 0.1},
      {"reinit in a command file", define_all, "reinit\n", true, grid_mb * 9 / 10, 0.1},
      // Nothing but the prompt gives back what replacing big grids by small
      // ones freed.
      {"replaced by one-time grids at the prompt", define_all, "set t 1\nset lat 0\n" + shrink_all,
       false, grid_mb * 9 / 10, 0.1},
      {"pictures cleared in a command file", pictures, "clear\n", true, 10, 0.5},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.name);
    const std::string made = "open q.ctl\nset lon 0 359.75\nset lat -90 90\nset t 1 4\n" + rss +
                             r.make + rss + r.release;
    // At the prompt the last size is asked for once the session has taken
    // every line and waits (its next prompt is out); a command file asks for
    // it before the session is back at the prompt.
    std::string first = made + rss, last;
    if (r.in_file) {
      write_file(dir.file("steps"), first);
      first = "exec steps\n";
    } else {
      first = made;
      last = rss;
    }
    const size_t lines = size_t(std::count(first.begin(), first.end(), '\n'));
    LiveSession session(dir, "session.out");
    ASSERT_TRUE(session.send(first));
    ASSERT_TRUE(session.wait_for("ka-> ", lines + 1, 60)) << session.output();
    ASSERT_TRUE(session.send(last + "quit\n"));
    EXPECT_EQ(session.finish(), 0);
    const std::string out = session.output();
    EXPECT_EQ(out.find("rror"), std::string::npos) << out;
    const std::vector<long> kb = resident_sizes(out);
    ASSERT_EQ(kb.size(), 3u) << out;
    const long grown = kb[1] - kb[0], kept = kb[2] - kb[0];
    EXPECT_GT(grown, r.least_mb << 10) << kb[0] << " kB before, " << kb[1] << " kB after";
    EXPECT_LT(double(kept), r.kept * double(grown))
        << kb[0] << " kB before, " << kb[1] << " kB made, " << kb[2] << " kB released";
  }
#endif
}

// Defines piled up under a process limit are each measured against what is
// left, counting what a grid holds while it is copied: a cyclic netCDF grid
// partly outside its file holds the part read beside the grid, a define
// over times holds the grid of a step beside its copy. The session is left
// room for three, then room for a fourth grid but not for its copy: the
// fourth is refused, naming the limit and sizes in MB, before the room is
// gone; the three stay and the session answers.
TEST(DefineMemory, PiledDefinesAreRefusedBeforeTheLimitIsReached) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer maps more than any process limit";
#else
  TempDir dir;
  // 72 longitudes round the globe by 36 latitudes, one time; no values.
  std::string lon, lat;
  for (int k = 0; k < 72; k++) lon += (k ? ", " : "") + std::to_string(5 * k);
  for (int k = 0; k < 36; k++) lat += (k ? ", " : "") + std::to_string(-87.5 + 5 * k);
  write_file(dir.file("c.cdl"),
             "netcdf c {\ndimensions:\n lon = 72 ; lat = 36 ; time = 1 ;\nvariables:\n"
             " float lon(lon) ; lon:units = \"degrees_east\" ;\n"
             " float lat(lat) ; lat:units = \"degrees_north\" ;\n"
             " double time(time) ; time:units = \"days since 2000-01-01\" ;\n"
             " float u(time, lat, lon) ;\ndata:\n lon = " +
                 lon + " ;\n lat = " + lat + " ;\n time = 0 ;\n}\n");
  ASSERT_EQ(std::system(("ncgen -o " + dir.file("c.nc") + " " + dir.file("c.cdl")).c_str()), 0);
  // 4096 by 2048 at 2 times: 32 MB a time.
  write_file(dir.file("b.dat"), "");
  ASSERT_EQ(::truncate(dir.file("b.dat").c_str(), 4096L * 2048 * 2 * 4), 0);
  write_file(dir.file("b.ctl"),
             "dset ^b.dat\nundef -9.99e33\nxdef 4096 linear 0 0.08\nydef 2048 linear -90 0.08\n"
             "zdef 1 levels 1000\ntdef 2 linear 00z1jan2000 6hr\nvars 1\nu 0 99 u\nendvars\n");
  constexpr long mb = 1 << 20;
  struct row {
    const char* what;
    decltype(RLIMIT_AS) resource;
    const char* field;  // what of the process the limit counts
    std::string setup, limit_says;
    long held_mb, copy_mb;  // what a define keeps, and holds besides while it is made
    long first_mb;          // a grid read before the define measures its own
    long points;
  };
  const row rows[] = {
      // 524288 columns from the 73rd, round the circle; rows 19 to 36 of 54
      // in the file.
      {"a cyclic grid half outside its file, under an address-space limit", RLIMIT_AS, "VmSize",
       "sdfopen c.nc\nset x 73 524360\nset y 19 54\n", "the process's address-space limit leaves",
       72, 36, 0, 524288L * 36},
      {"a define over two times, under a data-size limit", RLIMIT_DATA, "VmData",
       "open b.ctl\nset x 1 4096\nset y 1 2048\nset t 1 2\n",
       "the process's data-size limit leaves", 64, 32, 32, 4096L * 2048 * 2},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(r.what);
    LiveSession s(dir, "s.out");
    ASSERT_GT(s.pid, 0);
    ASSERT_TRUE(s.send(r.setup));
    const size_t setup_lines = size_t(std::count(r.setup.begin(), r.setup.end(), '\n'));
    ASSERT_TRUE(s.wait_for("ka-> ", setup_lines + 1)) << s.output();
    // Room for three, then for the fourth grid and half its copy.
    const long used_kb = proc_field(s.pid, "status", r.field);
    ASSERT_GT(used_kb, 0);
    const long room = (4 * r.held_mb + r.first_mb + r.copy_mb / 2) * mb;
    const rlimit cap{rlim_t(used_kb * 1024 + room), rlim_t(used_kb * 1024 + room)};
    ASSERT_EQ(prlimit(s.pid, r.resource, &cap, nullptr), 0);
    ASSERT_TRUE(
        s.send("define a1 = u\ndefine a2 = u\ndefine a3 = u\ndefine a4 = u\n"
               "q define\nset x 1\nset y 1\nset t 1\nd u+1\n"));
    ASSERT_TRUE(s.wait_for("ka-> ", setup_lines + 10)) << s.output();
    const std::string out = s.output();
    ASSERT_TRUE(s.send("quit\n"));
    EXPECT_EQ(s.finish(), 0);
    const std::string defined =
        "Define memory allocation size = " + std::to_string(r.held_mb * mb) + " bytes\n";
    EXPECT_EQ(count_of(out, defined), 3u) << out;
    const std::string head = "ka-> define a4 = u\nDEFINE error:  grid of " +
                             std::to_string(r.points) + " points too large for memory\n" +
                             "  It needs about " + std::to_string(r.held_mb + r.copy_mb) + " MB; " +
                             r.limit_says + " ";
    const size_t at = out.find(head);
    if (at == std::string::npos) {
      ADD_FAILURE() << "expected " << head << "\n" << out;
      continue;
    }
    // What was left: the fourth grid and half its copy, give or take what
    // the session took besides.
    const long left = std::strtol(out.c_str() + at + head.size(), nullptr, 10);
    EXPECT_LT(left, r.held_mb + r.copy_mb);
    EXPECT_NEAR(double(left), double(r.held_mb + r.copy_mb / 2), 6.0) << out;
    EXPECT_TRUE(contains(out, "ka-> q define\na1 ")) << out;
    EXPECT_FALSE(contains(out, "\na4 ")) << out;
    EXPECT_EQ(first_missing(out, {"ka-> d u+1\n", "Result value = "}), "") << out;
  }
#endif
}
