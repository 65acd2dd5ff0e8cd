// "define", "undefine", "modify", the defval keywords and the define query
// through the program, on a monthly data set the test writes itself.
#include <gtest/gtest.h>

#include <string>

#include "dataset_files.h"
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
    for (const char* set : {"m 24 linear 00z01jan1990 1mo", "d 40 linear 00z01jan1990 1dy"})
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
         {"modify dd diurnal", now}});
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
