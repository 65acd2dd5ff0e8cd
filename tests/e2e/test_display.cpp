// "display" through the program: arithmetic over a data set written here,
// printed values, statistics and fwrite bytes checked against values this
// test computes itself from what it wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

constexpr int kNx = 4, kNy = 3, kNz = 2, kNt = 3;
constexpr float kUndef = -9.99e33f;

// Values of the two variables at 1-based grid indices: "a" with two levels,
// "b" at the surface with one undefined point.
float a_at(int x, int y, int z, int t) { return float(x + 10 * y + 100 * z + 1000 * t) / 8.0f; }
float b_at(int x, int y, int t) {
  if (x == 2 && y == 2) return kUndef;
  return 0.5f * x - y + 0.25f * t;
}

// lon 0..30 by 10, lat -10..10 by 10, levels 1000 and 500, 6-hourly times.
void write_dataset(const TempDir& dir) {
  write_file(dir.file("d.ctl"),
             "dset ^d.dat\ntitle Display test\nundef -9.99e33\n"
             "xdef 4 linear 0 10\nydef 3 linear -10 10\nzdef 2 levels 1000 500\n"
             "tdef 3 linear 00z01jan2000 6hr\nvars 2\na 2 0 A\nb 0 0 B\nendvars\n");
  std::vector<float> v;
  for (int t = 1; t <= kNt; t++) {
    for (int z = 1; z <= kNz; z++)
      for (int y = 1; y <= kNy; y++)
        for (int x = 1; x <= kNx; x++) v.push_back(a_at(x, y, z, t));
    for (int y = 1; y <= kNy; y++)
      for (int x = 1; x <= kNx; x++) v.push_back(b_at(x, y, t));
  }
  write_file(dir.file("d.dat"), std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4));
}

std::string g(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%g", v);
  return buf;
}

// The x-y field of f (1-based x, y), x fastest.
std::vector<float> field(const std::function<float(int, int)>& f) {
  std::vector<float> out;
  for (int y = 1; y <= kNy; y++)
    for (int x = 1; x <= kNx; x++) out.push_back(f(x, y));
  return out;
}

// What "set gxout print" shows with the start settings.
std::string printed(const std::vector<float>& v) {
  std::string s = "Printing Grid -- " + std::to_string(v.size()) + " Values -- Undef = -9.99e+33\n";
  for (size_t k = 0; k < v.size(); k++) {
    s += g(v[k]) + " ";
    if (k % 8 == 7) s += "\n";
  }
  if (v.size() % 8) s += "\n";
  return s;
}

const std::string kSetup = "open d.ctl\nset x 1 4\nset y 1 3\nset z 1\nset t 2\n";

TEST(Display, ArithmeticOverGridsAndDimensionExpressions) {
  TempDir dir;
  write_dataset(dir);
  RunResult r = run_batch(kSetup +
                              "set gxout print\n"
                              "d a(t-1)+a(lev=500)/(b.1(t+1)+1)\n"
                              "d (a(z+1)-a)*lat\n",
                          dir.path());
  EXPECT_EQ(answer(r.out, "d a(t-1)+a(lev=500)/(b.1(t+1)+1)"), printed(field([&](int x, int y) {
              float b = b_at(x, y, 3);
              float d = b + 1.0f;
              if (b == kUndef || d == 0) return kUndef;
              return a_at(x, y, 1, 1) + a_at(x, y, 2, 2) / d;
            })));
  EXPECT_EQ(answer(r.out, "d (a(z+1)-a)*lat"), printed(field([&](int x, int y) {
              return (a_at(x, y, 2, 2) + -1.0f * a_at(x, y, 1, 2)) * float(-20 + 10 * y);
            })));
}

TEST(Display, OneValueResultsAndExpressionLists) {
  TempDir dir;
  write_dataset(dir);
  std::string seventeen = "d 1", sixteen = "d 1";
  for (int i = 1; i < 16; i++) sixteen += ";1";
  seventeen = sixteen + ";1";
  RunResult r = run_batch(
      kSetup + "set x 3\nset y 1\nd 2*3\nd a/b\nd a;b\n" + sixteen + "\n" + seventeen + "\nd\n",
      dir.path());
  EXPECT_EQ(answer(r.out, "d 2*3"), "Result value = 6 \n");
  EXPECT_EQ(answer(r.out, "d a/b"),
            "Result value = " + g(a_at(3, 1, 1, 2) / b_at(3, 1, 2)) + " \n");
  EXPECT_EQ(answer(r.out, "d a;b"), "Result value = " + g(a_at(3, 1, 1, 2)) + " \n");
  EXPECT_EQ(answer(r.out, sixteen), "Result value = 1 \n");
  EXPECT_EQ(answer(r.out, seventeen),
            "DISPLAY error:  17 expressions; at most 16 can be displayed at once\n");
  EXPECT_EQ(answer(r.out, "d"), "Display command error:  No expression provided\n");
}

// A sum holds every term until its end, so the terms of one expression are
// limited (1000); the sum of exactly that many is still computed.
TEST(Display, ExpressionTermsAreLimited) {
  TempDir dir;
  write_dataset(dir);
  std::string most = "d a";
  for (int i = 1; i < 1000; i++) most += "+a";
  const std::string over = most + "+1";
  RunResult r = run_batch(kSetup + "set x 3\nset y 1\n" + most + "\n" + over + "\n", dir.path());
  EXPECT_EQ(answer(r.out, most), "Result value = " + g(1000 * a_at(3, 1, 1, 2)) + " \n");
  EXPECT_EQ(answer(r.out, over),
            "Syntax Error:  More than 1000 terms in the expression\n  Error ocurred at column " +
                std::to_string(over.size() - 2) +
                "\nDISPLAY error:  Invalid expression \n"
                "  Expression = " +
                over.substr(2) + "\n");
}

// b at time 3 is 0.5 x - y + 0.75 but at (2, 2): the sums, means and
// spreads of its 11 values worked out by hand.
TEST(Display, StatisticsOfAGrid) {
  TempDir dir;
  write_dataset(dir);
  RunResult r = run_batch(kSetup +
                              "set t 3\nset gxout stat\nd b\n"
                              "set x 2\nset y 3\nset z 1 2\nset t 1 3\nd a*1\n",
                          dir.path());
  EXPECT_EQ(answer(r.out, "d a*1").substr(0, 118),
            "Data Type = grid\nDimensions = 2 3\nI Dimension = 1 to 2 Levels 1000 500\n"
            "J Dimension = 1 to 3 Linear 00Z01JAN2000 360mn\n");
  EXPECT_EQ(answer(r.out, "d b"),
            "Data Type = grid\nDimensions = 0 1\n"
            "I Dimension = 1 to 4 Linear 0 10\nJ Dimension = 1 to 3 Linear -10 10\n"
            "Sizes = 4 3 12\nUndef value = -9.99e+33\nUndef count = 1  Valid count = 11\n"
            "Min, Max = -1.75 1.75\n"
            // A tenth of the range is 0.35, rounded to 0.3.
            "Cmin, cmax, cint = -1.5 1.5 0.3\n"
            "Stats[sum,sumsqr,root(sumsqr),n]:     0.25 11.6875 3.4187 11\n"
            "Stats[(sum,sumsqr,root(sumsqr))/n]:     0.0227273 1.0625 1.03078\n"
            "Stats[(sum,sumsqr,root(sumsqr))/(n-1)]: 0.025 1.16875 1.08109\n"
            "Stats[(sigma,var)(n)]:     1.03053 1.06198\n"
            "Stats[(sigma,var)(n-1)]:   1.08082 1.16818\n");
}

// The bytes of the floats in v, in the host's order or swapped.
std::string bytes_of(const std::vector<float>& v, bool swap) {
  std::string s(reinterpret_cast<const char*>(v.data()), v.size() * 4);
  for (size_t k = 0; swap && k < s.size(); k += 4)
    std::reverse(s.begin() + long(k), s.begin() + long(k) + 4);
  return s;
}

TEST(Display, FwriteWritesTheNamedByteOrder) {
  TempDir dir;
  write_dataset(dir);
  RunResult r = run_batch(kSetup +
                              "set gxout fwrite\nset fwrite -le -sq Out.LE\nd a\nd b\n"
                              "disable fwrite\nset fwrite -be -st be.dat\nd a*2\n"
                              "disable fwrite\nset fwrite plain.dat\nd a-1\n",
                          dir.path());
  EXPECT_EQ(answer(r.out, "d a"), "Wrote 12 elements to Out.LE as Sequential Little_Endian\n");
  EXPECT_EQ(answer(r.out, "d a*2"), "Wrote 12 elements to be.dat as Stream Big_Endian\n");
  EXPECT_EQ(answer(r.out, "d a-1"), "Wrote 12 elements to plain.dat as Stream Big_Endian\n");
  const auto a = [](float k, float add) {
    return field([&](int x, int y) { return a_at(x, y, 1, 2) * k + add; });
  };
  const std::vector<float> b = field([](int x, int y) { return b_at(x, y, 2); });
  // The host is little-endian: a sequential record is its length, the
  // values and the length again.
  const std::string len("\x30\0\0\0", 4);
  EXPECT_EQ(read_file(dir.file("Out.LE")),
            len + bytes_of(a(1, 0), false) + len + len + bytes_of(b, false) + len);
  EXPECT_EQ(read_file(dir.file("be.dat")), bytes_of(a(2, 0), true));
  EXPECT_EQ(read_file(dir.file("plain.dat")), bytes_of(a(1, -1), true));
}

TEST(Display, AnimationOverTimeEndsWithThePrompt) {
  TempDir dir;
  write_dataset(dir);
  RunResult r =
      run_batch(kSetup + "set x 1\nset y 1\nset t 1 3\nset looping on\nd a+zz\nd a\n", dir.path());
  // A failing frame ends the animation at once, without the prompt.
  EXPECT_EQ(answer(r.out, "d a+zz"),
            "Syntax Error:  Invalid Operand \n  'zz' not a variable or function name\n"
            "  Error ocurred at column 3\nDISPLAY error:  Invalid expression \n"
            "  Expression = a+zz\n");
  EXPECT_EQ(answer(r.out, "d a"),
            "Result value = " + g(a_at(1, 1, 1, 1)) + " \nResult value = " + g(a_at(1, 1, 1, 2)) +
                " \nResult value = " + g(a_at(1, 1, 1, 3)) + " \nPress enter to continue::::: \n");
}

TEST(Display, StationDataLoopsOnlyThroughTime) {
  TempDir dir;
  dsfiles::write_station(dir, "s", 4);
  RunResult r = run_batch("open s.ctl\nset looping on\nset loopdim x\nd ps\n", dir.path());
  EXPECT_EQ(answer(r.out, "d ps"),
            "Display command error:  Invalid looping environment\n"
            "  Cannot loop on stn data through X, Y, or Z\n");
}

TEST(Display, ImprunRunsOnceBeforeEachDisplayAndNeverRecurses) {
  TempDir dir;
  write_dataset(dir);
  write_file(dir.file("imp.gs"), "'display 5'\nsay 'imp:'result\n");
  RunResult r = run_batch(
      kSetup + "set x 1\nset y 1\nset imprun IMP.gs\nd 7\nd 8\nset imprun off\nd 9\n", dir.path());
  EXPECT_EQ(answer(r.out, "set imprun IMP.gs"), "Imprun file name = run imp.gs\n");
  EXPECT_EQ(answer(r.out, "d 7"), "imp:Result value = 5 \n\nResult value = 7 \n");
  EXPECT_EQ(answer(r.out, "d 8"), "imp:Result value = 5 \n\nResult value = 8 \n");
  EXPECT_EQ(answer(r.out, "d 9"), "Result value = 9 \n");
}

TEST(Display, OutputTypeKeywords) {
  TempDir dir;
  write_dataset(dir);
  RunResult r = run_batch(kSetup +
                              "set gxout stat\nset gxout fwrite\nset x 1\nset y 1\nd 4\n"
                              "set fwrite -le\nset writegds out.gds\nset writegds -xy out.gds\n"
                              "set prnopts %5.1f%f\nset gxout print\nset gxout foo\nd 5\n",
                          dir.path());
  // A plot type ends the statistics output: the one value goes to vemra.fwrite.
  EXPECT_EQ(answer(r.out, "d 4"), "Wrote 1 elements to vemra.fwrite as Stream Big_Endian\n");
  // An unknown type word also ends printing.
  EXPECT_EQ(answer(r.out, "d 5"), "Wrote 1 elements to vemra.fwrite as Stream Big_Endian\n");
  EXPECT_EQ(read_file(dir.file("vemra.fwrite")), std::string("\x40\x80\0\0\x40\xa0\0\0", 8));
  auto common = [](const char* name) {
    return std::string("SET error:  Missing or invalid arguments for ") + name + " option\n";
  };
  EXPECT_EQ(answer(r.out, "set fwrite -le"),
            "SET FWrite Error:  fwrite file is open\nUse DISABLE FWRITE command to close file\n");
  // A first word that is no option is the file name.
  EXPECT_EQ(answer(r.out, "set writegds out.gds"), "WRITEGDS file name = out.gds\n");
  EXPECT_EQ(answer(r.out, "set writegds -xy out.gds"),
            "WRITEGDS file name = out.gds  Opts = -xy\n");
  EXPECT_EQ(answer(r.out, "set prnopts %5.1f%f"),
            "SET PRNOPTS error:  format %5.1f%f needs exactly one floating conversion\n" +
                common("PRNOPTS"));
}

// The finishing sequence never reads the results, so a grid result is no
// obstacle; without "f" a grid is still refused and nothing is appended.
TEST(Display, WritegdsFinishingTagWithAGridResult) {
  TempDir dir;
  write_dataset(dir);
  RunResult r = run_batch(kSetup +
                              "set writegds -sx\nset writegds plain.gds\nset gxout writegds\nd a\n"
                              "set writegds -f fin.gds\nd a\nd a\n",
                          dir.path());
  EXPECT_EQ(answer(r.out, "set writegds -sx"),
            "SET error:  Missing or invalid arguments for WRITEGDS option\n");
  // The option word stored by the refused command stays with the new name.
  EXPECT_EQ(answer(r.out, "set writegds plain.gds"),
            "WRITEGDS file name = plain.gds  Opts = -sx\n");
  EXPECT_EQ(answer(r.out, "d a"), "error: WRITEGDS writes station data only; a result is a grid\n");
  EXPECT_FALSE(file_exists(dir.file("plain.gds")));
  EXPECT_EQ(answer(r.out, "set writegds -f fin.gds"), "WRITEGDS file name = fin.gds  Opts = -f\n");
  size_t second = r.out.find("ka-> set writegds -f fin.gds");
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(answer(r.out.substr(second), "d a"),
            "got options and opened file\nFinishing sequence:\nEOS\n");
  // Two displays, two finishing tags: 0xA5 and three zero bytes each.
  EXPECT_EQ(read_file(dir.file("fin.gds")), std::string("\xa5\0\0\0\xa5\0\0\0", 8));
}

// A grid no memory of the machine holds is refused before any of it is
// taken: the display fails alone with the grid's size and the session goes
// on. On a one-degree axis from 0 (whose grid coordinates floats keep
// exactly) y 1 to 2^30 is 1073741824 points, times 4 longitudes 4294967296.
// The machine's memory is read from /proc.
TEST(Display, GridsPastTheMachinesMemoryAreRefusedBeforeAnyIsTaken) {
  const std::string data = "open m.ctl\n";
  std::ifstream meminfo("/proc/meminfo");
  std::string key;
  double total_kb = 0;
  while (meminfo >> key >> total_kb && key != "MemTotal:") {
    meminfo.ignore(1 << 10, '\n');
  }
  ASSERT_GT(total_kb, 0);
  char machine[64];
  std::snprintf(machine, sizeof machine, "; this machine has %.1f GB\n", total_kb / 1048576.0);
  const struct {
    const char *what, *setup;
    std::string points;
  } rows[] = {
      {"a line graph", "set x 1\nset y 1 1073741824\n", "1073741824"},
      {"a field", "set x 1 4\nset y 1 1073741824\n", "4294967296"},
      {"frames of a loop", "set x 1\nset y 1 1073741824\nset t 1 2\nset looping on\n",
       "1073741824"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
    TempDir dir;
    write_file(dir.file("m.ctl"),
               "dset ^m.dat\nundef -9.99e33\nxdef 4 linear 0 1\nydef 4 linear 0 1\n"
               "zdef 1 levels 1000\ntdef 2 linear 00z01jan2000 6hr\nvars 1\na 0 0 A\nendvars\n");
    write_file(dir.file("m.dat"), std::string(4 * 4 * 2 * sizeof(float), '\0'));
    // Capped, the display before this refusal failed at once instead of
    // taking the machine (the address sanitizer maps more than any cap).
#if defined(__SANITIZE_ADDRESS__)
    const std::string cap;
#else
    const std::string cap = "ulimit -v 3000000\n";
#endif
    write_file(dir.file("run.sh"), cap + "exec \"" + std::string(VEMRA_BIN) + "\" -b -l\n");
    write_file(dir.file("in.txt"), data + row.setup + "d lat\nset x 1\nset y 1 3\nd lat\n");
    ASSERT_EQ(std::system(("cd " + dir.path() + " && sh run.sh < in.txt > out.txt 2>&1").c_str()),
              0);
    const std::string out = read_file(dir.file("out.txt"));
    const std::string said = answer(out, "d lat");
    const std::string head =
        "DISPLAY error:  grid of " + row.points + " points too large for memory\n  It needs about ";
    EXPECT_EQ(said.substr(0, head.size()), head) << out;
    EXPECT_TRUE(said.size() > head.size() && said.ends_with(machine)) << said;
    // The session goes on: three latitudes are drawn next.
    const size_t next = out.find("ka-> set y 1 3\n");
    ASSERT_NE(next, std::string::npos) << out;
    EXPECT_EQ(out.find("rror", next), std::string::npos) << out.substr(next);
  }
}

}  // namespace

// The steps of a time loop free and allocate grids of one size; the program
// keeps the freed blocks, so further steps touch no new pages (otherwise each
// step faults its grids in again, some hundred pages at 360 x 181). Steps
// given one command each by a job on standard input reuse them the same way:
// the session waits for no user between them.
TEST(Display, TimeLoopStepsReuseTheMemoryOfTheStepBefore) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer holds freed blocks back on purpose";
#else
  TempDir dir;
  constexpr int nx = 360, ny = 181, nt = 40;
  std::string bytes;
  std::vector<float> grid(size_t(nx) * ny);
  for (int t = 0; t < nt; t++)
    for (int var = 0; var < 2; var++) {
      for (int j = 0; j < ny; j++)
        for (int i = 0; i < nx; i++) grid[size_t(j) * nx + i] = float(var + t + 0.01 * i * j);
      bytes.append(reinterpret_cast<const char*>(grid.data()), grid.size() * 4);
    }
  write_file(dir.file("w.dat"), bytes);
  write_file(dir.file("w.ctl"),
             "dset ^w.dat\nundef -9.99e33\nxdef 360 linear 0 1\nydef 181 linear -90 1\n"
             "zdef 1 levels 1000\ntdef 40 linear 00z1jan2000 6hr\nvars 2\nu 0 99 u\nv 0 99 v\n"
             "endvars\n");
  const std::string head = "open w.ctl\nopen w.ctl\nset x 1\nset y 1\nset gxout print\n";
  const struct {
    const char* name;
    std::string (*steps)(int);
  } rows[] = {
      {"time loops",
       [](int steps) {
         return "set t 1 " + std::to_string(steps) +
                "\nd tloop(scorr(u.1,v.2,global))\nd tloop(aave(hdivg(u.1,v.2),global))\n";
       }},
      {"a command a step",
       [](int steps) {
         std::string s;
         for (int t = 1; t <= steps; t++)
           s += "set t " + std::to_string(t) + "\nd scorr(u.1,v.2,global)\n" +
                "d aave(hdivg(u.1,v.2),global)\n";
         return s;
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    auto faults = [&](int steps) {
      RunResult r = run_batch(head + row.steps(steps) + "quit\n", dir.path());
      EXPECT_EQ(r.status, 0);
      EXPECT_EQ(r.out.find("rror"), std::string::npos) << r.out;
      return r.minor_faults;
    };
    const long few = faults(4), many = faults(nt);
    const long grid_pages = long(grid.size() * 4 / 4096);
    EXPECT_LT(many - few, (nt - 4) * grid_pages / 4)
        << few << " faults for 4 steps, " << many << " for " << nt;
  }
#endif
}
