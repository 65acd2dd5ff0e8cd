// "display" through the program: arithmetic over a data set written here,
// printed values, statistics and fwrite bytes checked against values this
// test computes itself from what it wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
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
  dsfiles::write_ab_dataset(dir, "Display test", {1000, 500}, kNt, a_at, b_at);
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

// A /proc/meminfo value in bytes.
double meminfo_bytes(const std::string& key) {
  std::ifstream meminfo("/proc/meminfo");
  std::string name;
  double kb = 0;
  while (meminfo >> name >> kb) {
    if (name == key) return kb * 1024.0;
    meminfo.ignore(1 << 10, '\n');
  }
  return 0;
}

// The descriptors of the memory test: one-degree axes from 0, and a finer
// second file of 1/1024 degree, both on 32 zero values; their grid
// coordinates are whole numbers floats keep exactly.
void write_memory_files(const TempDir& dir) {
  auto ctl = [](const char* step) {
    return std::string("dset ^m.dat\nundef -9.99e33\nxdef 4 linear 0 ") + step +
           "\nydef 4 linear 0 " + step +
           "\nzdef 1 levels 1000\ntdef 2 linear 00z01jan2000 6hr\nvars 1\na 0 0 A\nendvars\n";
  };
  write_file(dir.file("m.ctl"), ctl("1"));
  write_file(dir.file("f.ctl"), ctl("0.0009765625"));
  write_file(dir.file("m.dat"), std::string(4 * 4 * 2 * sizeof(float), '\0'));
}

// A field of doubles on a 1/30-degree grid, 43.2 million points, its data
// left unwritten: the file holds its coordinates and is sparse.
constexpr int kFineX = 10800, kFineY = 4000;
constexpr double kFinePoints = double(kFineX) * kFineY;
void write_fine_doubles(const TempDir& dir) {
  auto axis = [](int n, double first) {
    std::string values;
    for (int i = 0; i < n; i++) values += (i ? ", " : "") + std::to_string(first + i / 30.0);
    return values;
  };
  write_file(dir.file("d.cdl"), "netcdf d {\ndimensions:\n lat = " + std::to_string(kFineY) +
                                    " ;\n lon = " + std::to_string(kFineX) +
                                    " ;\nvariables:\n double lat(lat) ;\n"
                                    "  lat:units = \"degrees_north\" ;\n double lon(lon) ;\n"
                                    "  lon:units = \"degrees_east\" ;\n double xc(lat, lon) ;\n"
                                    "data:\n lat = " +
                                    axis(kFineY, -66) + " ;\n lon = " + axis(kFineX, -180) +
                                    " ;\n}\n");
  ASSERT_EQ(std::system(("cd " + dir.path() + " && ncgen -x -o d.nc d.cdl").c_str()), 0);
}

// Bytes a line graph of lat draws for each of its points, measured on the
// hardcopy file, which holds the display list's words.
double line_graph_bytes_per_point() {
  double size[2];
  const int points[2] = {20001, 40001};
  for (int k = 0; k < 2; k++) {
    TempDir dir;
    write_memory_files(dir);
    run_batch("open m.ctl\nset x 1\nset y 1 " + std::to_string(points[k]) +
                  "\nenable print p.mf\nd lat\nprint\ndisable print\n",
              dir.path());
    size[k] = double(read_file(dir.file("p.mf")).size());
  }
  return (size[1] - size[0]) / (points[1] - points[0]);
}

// A grid that no memory left to the session holds is refused before it is
// taken: the display or define fails alone (rc 1) with the grid's points,
// the bytes it needs and what was left, and the session goes on. Rows of the
// machine's memory ask for twice what the machine has; rows under an
// address-space limit of 512 MiB show that what fits is drawn, and that the
// grids a nested expression already holds and a line graph's drawing count.
// Bars are not measured first: a bar graph whose drawing the display list
// has no room for fails with the list's message. Afterwards a new frame is
// drawn and printed to a hardcopy file.
TEST(Display, GridsPastTheMachinesMemoryAreRefusedBeforeAnyIsTaken) {
  const double machine = meminfo_bytes("MemTotal:");
  ASSERT_GT(machine, 0);
  constexpr double gb = 1024.0 * 1024.0 * 1024.0, limit = 512.0 * 1024 * 1024;
  // A square of side n holds n^2 floats: twice the machine's memory.
  const double side = std::ceil(std::sqrt(machine / 2));
  const double fine = std::ceil(side / 1024);  // degrees of the finer file
  const double fine_points = (1024 * fine + 1) * (1024 * fine + 1);
  const double times = std::ceil(2 * machine / 4 / (1024 * 1024));
  const double per_point = line_graph_bytes_per_point();
  ASSERT_GT(per_point, 100);  // a segment and two circles
  const std::string bars = "set x 1\nset y 1 20000000\nset gxout bar\nset baropts outline\n";
  const std::string nested10 = "d lat+(lat+(lat+(lat+(lat+(lat+(lat+(lat+(lat+lat))))))))";
  const std::string fine_doubles =
      "sdfopen d.nc\nset dfile 2\nset t 1 1\nset gxout stat\nset x 1 " + std::to_string(kFineX) +
      "\nset y 1 " + std::to_string(kFineY) + "\n";
  auto n = [](double v) { return std::to_string(static_cast<long long>(v)); };
  const struct {
    const char* what;
    bool under_limit;
    std::string setup, command;
    const char* who;
    double points, bytes;  // 0 points: the grid fits
    int lost = 0;          // frames the display list had no room for
    bool doubles = false;  // opens d.nc, a fine field of doubles, as file 2
  } rows[] = {
      {"a field", false, "set x 1 " + n(side) + "\nset y 1 " + n(side) + "\n", "d lat", "DISPLAY",
       side * side, 4 * side * side},
      {"a finer second file", false,
       "open f.ctl\nset lon 0 " + n(fine) + "\nset lat 0 " + n(fine) + "\n", "d lat.2", "DISPLAY",
       fine_points, 4 * fine_points},
      {"define of a field", false, "set x 1 " + n(side) + "\nset y 1 " + n(side) + "\n",
       "define big = lat", "DEFINE", side * side, 4 * side * side},
      {"define over many times", false, "set x 1 1024\nset y 1 1024\nset t 1 " + n(times) + "\n",
       "define many = lat", "DEFINE", 1048576 * times, 4 * 1048576 * times},
      {"a plain grid that fits", true, "set gxout stat\nset x 1 4096\nset y 1 8192\n", "d lat",
       "DISPLAY", 0, 0},
      {"a plain grid past the limit", true, "set gxout stat\nset x 1 4096\nset y 1 40960\n",
       "d lat", "DISPLAY", 4096.0 * 40960, 4 * 4096.0 * 40960},
      {"three nested grids", true, "set gxout stat\nset x 1 4096\nset y 1 4096\n",
       "d lat+(lat+lat)", "DISPLAY", 0, 0},
      {"ten nested grids", true, "set gxout stat\nset x 1 4096\nset y 1 4096\n", nested10,
       "DISPLAY", 16777216, 4 * 16777216.0},
      {"a line graph that fits", true, "set x 1\nset y 1 1000000\n", "d lat", "DISPLAY", 0, 0},
      {"a line graph's drawing", true, "set x 1\nset y 1 8000000\n", "d lat", "DISPLAY", 8e6,
       8e6 * per_point},
      {"frames of a loop", true, "set x 1\nset y 1 8000000\nset t 1 2\nset looping on\n", "d lat",
       "DISPLAY", 8e6, 8e6 * per_point},
      // Thirty bytes a bar, 600 MB.
      {"a bar graph's drawing", true, bars, "d lat", "DISPLAY", 0, 0, 1},
      {"bar graphs of a loop", true, bars + "set t 1 2\nset looping on\n", "d lat", "DISPLAY", 0, 0,
       2},
      // The float grid fits; beside it the read takes a buffer of the
      // doubles as stored, twice its size.
      {"a field of doubles", true, fine_doubles, "d xc", "DISPLAY", kFinePoints, 12 * kFinePoints,
       0, true},
      {"define of a field of doubles", true, fine_doubles, "define a = xc", "DEFINE", kFinePoints,
       12 * kFinePoints, 0, true},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.what);
#if defined(__SANITIZE_ADDRESS__)
    // The address sanitizer maps more than any address-space limit.
    if (row.under_limit) continue;
#endif
    TempDir dir;
    write_memory_files(dir);
    if (row.doubles) write_fine_doubles(dir);
#if defined(__SANITIZE_ADDRESS__)
    const std::string ulimit;
#else
    // The machine's rows run under a cap four times the machine, so that a
    // grid let through fails at once instead of taking the machine.
    const double cap = row.under_limit ? limit : 4 * machine;
    const std::string ulimit = "ulimit -v " + n(cap / 1024) + "\n";
#endif
    write_file(dir.file("run.sh"), ulimit + "exec \"" + std::string(VEMRA_BIN) + "\" -b -l\n");
    write_file(dir.file("rc.gs"), "'" + row.command + "'\nsay 'rc=' rc\n");
    write_file(dir.file("in.txt"),
               "open m.ctl\n" + row.setup +
                   "run rc.gs\nset t 1\nset looping off\nset x 1\nset y 1 3\nset gxout line\nc\n"
                   "enable print p.mf\nd lat\nprint\ndisable print\n");
    ASSERT_EQ(std::system(("cd " + dir.path() + " && sh run.sh < in.txt > out.txt 2>&1").c_str()),
              0);
    const std::string out = read_file(dir.file("out.txt"));
    const std::string said = answer(out, "run rc.gs");
    if (row.lost > 0) {
      std::string lost;
      for (int k = 0; k < row.lost; k++) lost += "Memory allocation error for metafile buffers.\n";
      EXPECT_TRUE(said.starts_with(lost)) << said.substr(0, 400);
      EXPECT_EQ(said.find("rror", lost.size()), std::string::npos) << said.substr(0, 400);
      EXPECT_TRUE(said.ends_with("rc=1\n")) << said.substr(0, 400);
    } else if (row.points == 0) {
      EXPECT_EQ(said.find("rror"), std::string::npos) << said.substr(0, 400);
      EXPECT_TRUE(said.ends_with("rc=0\n")) << said.substr(0, 400);
    } else {
      const std::string head = std::string(row.who) + " error:  grid of " + n(row.points) +
                               " points too large for memory\n  It needs about ";
      // The refusal names the bound: the process's limit, or the machine
      // (or the control group of a machine shared by limited jobs).
      std::string bound = "; this machine has ";
      if (row.under_limit)
        bound = "; the process's address-space limit leaves ";
      else if (said.find("; its control group's memory limit leaves ") != std::string::npos)
        bound = "; its control group's memory limit leaves ";
      // A size in GB, which says MB below a GB.
      auto size_at = [&](size_t& at) {
        char* end = nullptr;
        const double v = std::strtod(said.c_str() + at, &end);
        const std::string unit(end, end + std::min<size_t>(3, std::strlen(end)));
        at = size_t(end - said.c_str()) + unit.size();
        const bool mb = unit == " MB";
        EXPECT_TRUE(mb || unit == " GB") << said.substr(0, 400);
        EXPECT_TRUE(mb ? v < 1024 : v >= 1) << said.substr(0, 400);
        return mb ? v / 1024 : v;
      };
      if (!said.starts_with(head)) {
        ADD_FAILURE() << "expected " << head << "\n" << said.substr(0, 400);
        continue;
      }
      size_t at = head.size();
      const double needs = size_at(at);
      ASSERT_EQ(said.substr(at, bound.size()), bound) << said.substr(0, 400);
      at += bound.size();
      const double left = size_at(at);
      EXPECT_EQ(said.substr(at), "\nrc=1\n") << said;
      EXPECT_NEAR(needs, row.bytes / gb, 0.06);
      // Refused: what was left is less than the grid needs, and no more
      // than the machine or the limit.
      EXPECT_LT(left, needs);
      EXPECT_LE(left, (row.under_limit ? limit : machine) / gb + 0.05);
    }
    // The session goes on: three latitudes are drawn next, and printed.
    const size_t next = out.find("ka-> set t 1\n");
    ASSERT_NE(next, std::string::npos) << out;
    EXPECT_EQ(out.find("rror", next), std::string::npos) << out.substr(next);
    EXPECT_NE(out.find("Hardcopy output file is closed \n", next), std::string::npos)
        << out.substr(next);
    const std::string meta = read_file(dir.file("p.mf"));
    EXPECT_GT(meta.size(), 1000u);  // the frame with its axes, not the header alone
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
