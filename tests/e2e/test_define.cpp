// "define", "undefine", "modify", the defval keywords and the define query
// through the program, on a monthly data set the test writes itself.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "dataset_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

constexpr int kNx = 4, kNy = 3, kNt = 24;

// Value at 1-based x, y and month t; exact in float and printed whole by %g.
float at(int x, int y, int t) { return float(1000 * t + 10 * y + x); }

std::string fmt(float v) {
  char b[64];
  std::snprintf(b, sizeof b, "%g", double(v));
  return b;
}

// lon 0..7.5 by 2.5, lat 0..20 by 10, 24 months from Jan 1990; a daily file
// of 40 days; a station file.
void write_sets(const TempDir& dir) {
  std::string s;
  for (int t = 1; t <= kNt; t++)
    for (int y = 1; y <= kNy; y++)
      for (int x = 1; x <= kNx; x++) {
        float v = at(x, y, t);
        s.append(reinterpret_cast<const char*>(&v), 4);
      }
  write_file(dir.file("m.dat"), s);
  write_file(dir.file("m.ctl"),
             "dset ^m.dat\nundef -9.99e33\nxdef 4 linear 0 2.5\nydef 3 linear 0 10\n"
             "zdef 1 levels 1000\ntdef 24 linear 00z01jan1990 1mo\nvars 1\nu 0 0 U\nendvars\n");
  write_file(dir.file("d.dat"), std::string(size_t(4) * kNx * kNy * 40, '\0'));
  write_file(dir.file("d.ctl"),
             "dset ^d.dat\nundef -9.99e33\nxdef 4 linear 0 2.5\nydef 3 linear 0 10\n"
             "zdef 1 levels 1000\ntdef 40 linear 00z01jan1990 1dy\nvars 1\nu 0 0 U\nendvars\n");
  dsfiles::write_station(dir, "s", 2);
}

RunResult session(const TempDir& dir, const std::string& cmds) {
  return run_batch("open m.ctl\n" + cmds + "quit\n", dir.path());
}

}  // namespace

TEST(Define, KeepsGridsAndReadsThemBack) {
  TempDir dir;
  write_sets(dir);
  RunResult r = session(dir,
                        "define a = u\n"
                        "q defval a 3 2\n"
                        "set t 1 12\n"
                        "define b = u + 1\n"
                        "set t 5\n"
                        "define c = b\n"
                        "q defval c 4 3\n"
                        "b = u*2\n"
                        "q define\n"
                        "q defval a 5 1\n"
                        "set defval a 3 2 -2.5\n"
                        "q defval a 3  2\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const int plane = kNx * kNy;
  EXPECT_EQ(answer(r.out, "define a = u"),
            "Define memory allocation size = " + std::to_string(plane * 4) + " bytes\n");
  EXPECT_EQ(answer(r.out, "q defval a 3 2"), "DEFVAL is " + fmt(at(3, 2, 1)) + "\n");
  // Twelve months kept: 48 bytes per grid point.
  EXPECT_EQ(answer(r.out, "define b = u + 1"),
            "Define memory allocation size = " + std::to_string(plane * 48) + " bytes\n");
  // c read b at the fifth month, with b's own time offsets.
  EXPECT_EQ(answer(r.out, "q defval c 4 3"), "DEFVAL is " + fmt(at(4, 3, 5) + 1) + "\n");
  EXPECT_EQ(answer(r.out, "b = u*2"),
            "Define memory allocation size = " + std::to_string(plane * 4) +
                " bytes\nName already DEFINEd:  b.   Will be deleted and replaced.\n");
  EXPECT_EQ(answer(r.out, "q define"), "a " + fmt(at(1, 1, 1)) + "\nc " + fmt(at(1, 1, 5) + 1) +
                                           "\nb " + fmt(2 * at(1, 1, 5)) + "\n");
  EXPECT_EQ(answer(r.out, "q defval a 5 1"), "DEFVAL is -9.99e+33\n");
  EXPECT_EQ(answer(r.out, "set defval a 3 2 -2.5"), "");
  EXPECT_EQ(answer(r.out, "q defval a 3  2"), "DEFVAL is -2.5\n");
}

TEST(Define, RefusalsLeaveTheListAlone) {
  TempDir dir;
  write_sets(dir);
  RunResult r = session(dir,
                        "define\n"
                        "define a\n"
                        "define abcdefghijklmnopqr = u\n"
                        "define a =\n"
                        "define a = nosuch+\n"
                        "q define\n"
                        "undefine\n"
                        "undefine zz\n"
                        "q defval\n"
                        "q defval zz 1 1\n"
                        "set defval a 1\n"
                        "define a = u\n"
                        "set defval a 9 1 3\n"
                        "set defval a 1 1 x\n"
                        "undefine a\n"
                        "q define\n"
                        "open s.ctl\n"
                        "set dfile 2\n"
                        "define s = 1\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(answer(r.out, "define"), "DEFINE error:  name is missing \n");
  EXPECT_EQ(answer(r.out, "define a"), "DEFINE error:  Name too long; missing '='\n");
  EXPECT_EQ(answer(r.out, "define abcdefghijklmnopqr = u"),
            "DEFINE error:  Name too long; missing '='\n");
  EXPECT_EQ(answer(r.out, "define a ="), "DEFINE error:  expression missing\n");
  EXPECT_NE(answer(r.out, "define a = nosuch+").find("DEFINE error:  Invalid expression. \n"),
            std::string::npos);
  EXPECT_EQ(answer(r.out, "undefine"), "UNDEFINE error:  name is missing \n");
  EXPECT_EQ(answer(r.out, "undefine zz"), "UNDEFINE Warning:  name not found\n");
  EXPECT_EQ(answer(r.out, "q defval"), "QUERY DEFVAL Error: Syntax is: Query Defval name i j\n");
  EXPECT_EQ(answer(r.out, "q defval zz 1 1"), "Warning:  defined name not found\n");
  EXPECT_EQ(answer(r.out, "set defval a 1"),
            "MODIFY DEFVAL Error: Syntax is: Modify Defval name i j value\n");
  EXPECT_EQ(answer(r.out, "set defval a 9 1 3"), "MODIFY DEFVAL Error:  Out of Range\n");
  EXPECT_EQ(answer(r.out, "set defval a 1 1 x"),
            "MODIFY DEFVAL Error: Syntax is: Modify Defval name i j value\n");
  EXPECT_EQ(answer(r.out, "undefine a"), "a UNDEFINEd and storage released\n");
  // Both listings are empty: the failed defines added nothing.
  EXPECT_NE(r.out.find("ka-> q define\nNo Defined Variables\nka-> undefine\n"), std::string::npos);
  EXPECT_NE(r.out.find("ka-> q define\nNo Defined Variables\nka-> open s.ctl"), std::string::npos);
  EXPECT_EQ(answer(r.out, "define s = 1"),
            "Define error:  Define not yet valid for station data\n"
            "    Default file is a station data file\n");
}

TEST(Define, ClimatologicalCycleWrapsTime) {
  TempDir dir;
  write_sets(dir);
  RunResult r = session(dir,
                        "set t 1 12\n"
                        "define c = u\n"
                        "modify c\n"
                        "modify c yearly\n"
                        "modify zz seasonal\n"
                        "modify c seasonal\n"
                        "set t 1\n"
                        "define w = c(t=14)\n"
                        "define v = c(t=0)\n"
                        "define n = c(t=26)\n"
                        "q defval w 2 2\n"
                        "q defval v 2 2\n"
                        "q defval n 2 2\n"
                        "define one = u\n"
                        "modify one seasonal\n"
                        "open d.ctl\n"
                        "set dfile 2\n"
                        "set t 1 40\n"
                        "define dd = u\n"
                        "modify dd seasonal\n"
                        "modify dd diurnal\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(answer(r.out, "modify c"), "MODIFY error:  Action keyword is missing\n");
  EXPECT_EQ(answer(r.out, "modify c yearly"), "MODIFY error: Invalid operand\n  Operand = yearly\n");
  EXPECT_EQ(answer(r.out, "modify zz seasonal"), "MODIFY Error: Defined grid zz not found\n");
  EXPECT_EQ(answer(r.out, "modify c seasonal"), "Defined variable is now climatological\n");
  // Month 14 is month 2 of the cycle, month 0 is month 12, month 26 month 2.
  EXPECT_EQ(answer(r.out, "q defval w 2 2"), "DEFVAL is " + fmt(at(2, 2, 2)) + "\n");
  EXPECT_EQ(answer(r.out, "q defval v 2 2"), "DEFVAL is " + fmt(at(2, 2, 12)) + "\n");
  EXPECT_EQ(answer(r.out, "q defval n 2 2"), "DEFVAL is " + fmt(at(2, 2, 2)) + "\n");
  EXPECT_EQ(answer(r.out, "modify one seasonal"),
            "MODIFY Error:  Time not varying for this defined variable\n");
  EXPECT_EQ(answer(r.out, "modify dd seasonal"),
            "MODIFY Error:  Invalid time scaling in defined variable\n");
  EXPECT_EQ(answer(r.out, "modify dd diurnal"), "Defined variable is now climatological\n");
}

TEST(Define, PredefinedCoordinatesExtrapolate) {
  TempDir dir;
  write_sets(dir);
  // x indices 0..5 of the 2.5-degree axis: no wrap-around, no file limits.
  RunResult r = session(dir,
                        "set x 0 5\n"
                        "set y 2\n"
                        "define lo = lon\n"
                        "q defval lo 0 1\n"
                        "q defval lo 5 1\n"
                        "q defval lo 5 2\n"
                        "define la = lat\n"
                        "q defval la 0 1\n"
                        "q defval la 4 1\n"
                        "set x 1\n"
                        "set y 0 4\n"
                        "define ly = lat\n"
                        "q defval ly 1 0\n"
                        "q defval ly 1 4\n");
  ASSERT_EQ(r.status, 0) << r.err;
  // Only x varies: the object has one row, addressed as row 1.
  EXPECT_EQ(answer(r.out, "q defval lo 0 1"), "DEFVAL is -2.5\n");
  EXPECT_EQ(answer(r.out, "q defval lo 5 1"), "DEFVAL is 10\n");
  EXPECT_EQ(answer(r.out, "q defval lo 5 2"), "DEFVAL is -9.99e+33\n");
  // Latitude with only x varying: copies of the fixed row's latitude.
  EXPECT_EQ(answer(r.out, "q defval la 0 1"), "DEFVAL is 10\n");
  EXPECT_EQ(answer(r.out, "q defval la 4 1"), "DEFVAL is 10\n");
  EXPECT_EQ(answer(r.out, "q defval ly 1 0"), "DEFVAL is -10\n");
  EXPECT_EQ(answer(r.out, "q defval ly 1 4"), "DEFVAL is 30\n");
}

TEST(Define, SectionsBeyondTheObjectAreUndefined) {
  TempDir dir;
  write_sets(dir);
  // a covers x 1..4 and y 1..3 of month 1; c reads it over x 1..6 and y 2,
  // d at a fixed y outside it.
  RunResult r = session(dir,
                        "define a = u\n"
                        "set x 1 6\n"
                        "set y 2\n"
                        "define c = a\n"
                        "q defval c 4 1\n"
                        "q defval c 5 1\n"
                        "set y 5\n"
                        "define d = a\n"
                        "q define\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(answer(r.out, "q defval c 4 1"), "DEFVAL is " + fmt(at(4, 2, 1)) + "\n");
  EXPECT_EQ(answer(r.out, "q defval c 5 1"), "DEFVAL is -9.99e+33\n");
  EXPECT_EQ(answer(r.out, "q define"),
            "a " + fmt(at(1, 1, 1)) + "\nc " + fmt(at(1, 2, 1)) + "\nd -9.99e+33\n");
}
