// "display" through the program: arithmetic over a data set written here,
// printed values, statistics and fwrite bytes checked against values this
// test computes itself from what it wrote.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
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
                              "d a*2-b\n"
                              "d a(t-1)+a(lev=500)/(b.1(t+1)+1)\n"
                              "d (a(z+1)-a)*lat\n",
                          dir.path());
  auto undef_or = [](float b, float v) { return b == kUndef ? kUndef : v; };
  EXPECT_EQ(answer(r.out, "d a*2-b"), printed(field([&](int x, int y) {
              return undef_or(b_at(x, y, 2), a_at(x, y, 1, 2) * 2.0f + -1.0f * b_at(x, y, 2));
            })));
  EXPECT_EQ(answer(r.out, "d a(t-1)+a(lev=500)/(b.1(t+1)+1)"),
            printed(field([&](int x, int y) {
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
  RunResult r = run_batch(kSetup + "set x 3\nset y 1\nd 2*3\nd a/b\nd a;b\nd b;zz\n" + sixteen +
                              "\n" + seventeen + "\nd\nd (a\n",
                          dir.path());
  EXPECT_EQ(answer(r.out, "d 2*3"), "Result value = 6 \n");
  EXPECT_EQ(answer(r.out, "d a/b"), "Result value = " + g(a_at(3, 1, 1, 2) / b_at(3, 1, 2)) + " \n");
  EXPECT_EQ(answer(r.out, "d a;b"), "Result value = " + g(a_at(3, 1, 1, 2)) + " \n");
  EXPECT_EQ(answer(r.out, "d b;zz"),
            "Syntax Error:  Invalid Operand \n  'zz' not a variable or function name\n"
            "  Error ocurred at column 1\nDISPLAY error:  Invalid expression \n"
            "  Expression = zz\n");
  EXPECT_EQ(answer(r.out, sixteen), "Result value = 1 \n");
  EXPECT_EQ(answer(r.out, seventeen),
            "DISPLAY error:  17 expressions; at most 16 can be displayed at once\n");
  EXPECT_EQ(answer(r.out, "d"), "Display command error:  No expression provided\n");
  EXPECT_EQ(answer(r.out, "d (a"),
            "Syntax Error:  Unmatched Parens\n  Error ocurred at column 3\n"
            "DISPLAY error:  Invalid expression \n  Expression = (a\n");
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
                std::to_string(over.size() - 2) + "\nDISPLAY error:  Invalid expression \n"
                "  Expression = " + over.substr(2) + "\n");
}

TEST(Display, StatisticsOfAGrid) {
  TempDir dir;
  write_dataset(dir);
  RunResult r = run_batch(kSetup + "set t 3\nset gxout stat\nd b\n"
                                   "set x 2\nset y 3\nset z 1 2\nset t 1 3\nd a*1\n",
                          dir.path());
  EXPECT_EQ(answer(r.out, "d a*1").substr(0, 118),
            "Data Type = grid\nDimensions = 2 3\nI Dimension = 1 to 2 Levels 1000 500\n"
            "J Dimension = 1 to 3 Linear 00Z01JAN2000 360mn\n");
  double sum = 0, sumsqr = 0;
  int n = 0;
  float lo = 1e30f, hi = -1e30f;
  for (float v : field([](int x, int y) { return b_at(x, y, 3); })) {
    if (v == kUndef) continue;
    sum += v;
    sumsqr += double(v) * v;
    n++;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
  ASSERT_EQ(n, 11);
  double var = sumsqr / n - (sum / n) * (sum / n);
  std::string want =
      "Data Type = grid\nDimensions = 0 1\n"
      "I Dimension = 1 to 4 Linear 0 10\nJ Dimension = 1 to 3 Linear -10 10\n"
      "Sizes = 4 3 12\nUndef value = -9.99e+33\nUndef count = 1  Valid count = 11\n"
      "Min, Max = " + g(lo) + " " + g(hi) + "\n" +
      // b runs from -1.75 to 1.75: a tenth of the range is 0.35, rounded to 0.3.
      "Cmin, cmax, cint = -1.5 1.5 0.3\n"
      "Stats[sum,sumsqr,root(sumsqr),n]:     " + g(sum) + " " + g(sumsqr) + " " +
      g(std::sqrt(sumsqr)) + " 11\n"
      "Stats[(sum,sumsqr,root(sumsqr))/n]:     " + g(sum / n) + " " + g(sumsqr / n) + " " +
      g(std::sqrt(sumsqr / n)) + "\n"
      "Stats[(sum,sumsqr,root(sumsqr))/(n-1)]: " + g(sum / (n - 1)) + " " + g(sumsqr / (n - 1)) +
      " " + g(std::sqrt(sumsqr / (n - 1))) + "\n"
      "Stats[(sigma,var)(n)]:     " + g(std::sqrt(var)) + " " + g(var) + "\n"
      "Stats[(sigma,var)(n-1)]:   " + g(std::sqrt(var * n / (n - 1))) + " " + g(var * n / (n - 1)) +
      "\n";
  EXPECT_EQ(lo, -1.75f);
  EXPECT_EQ(hi, 1.75f);
  EXPECT_EQ(answer(r.out, "d b"), want);
}

uint32_t word_le(const std::string& s, size_t pos) {
  uint32_t v = 0;
  for (int k = 3; k >= 0; k--) v = (v << 8) | static_cast<unsigned char>(s[pos + k]);
  return v;
}
uint32_t word_be(const std::string& s, size_t pos) {
  uint32_t v = 0;
  for (int k = 0; k < 4; k++) v = (v << 8) | static_cast<unsigned char>(s[pos + k]);
  return v;
}
uint32_t bits(float f) {
  uint32_t u;
  std::memcpy(&u, &f, 4);
  return u;
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
  std::vector<float> a = field([](int x, int y) { return a_at(x, y, 1, 2); });
  std::vector<float> b = field([](int x, int y) { return b_at(x, y, 2); });

  std::string le = read_file(dir.file("Out.LE"));
  ASSERT_EQ(le.size(), 2u * (4 + 48 + 4));
  for (size_t rec = 0; rec < 2; rec++) {
    size_t base = rec * 56;
    EXPECT_EQ(word_le(le, base), 48u);
    EXPECT_EQ(word_le(le, base + 52), 48u);
    const std::vector<float>& want = rec == 0 ? a : b;
    for (size_t k = 0; k < 12; k++) EXPECT_EQ(word_le(le, base + 4 + 4 * k), bits(want[k]));
  }
  std::string be = read_file(dir.file("be.dat"));
  ASSERT_EQ(be.size(), 48u);
  for (size_t k = 0; k < 12; k++) EXPECT_EQ(word_be(be, 4 * k), bits(a[k] * 2.0f));
  std::string plain = read_file(dir.file("plain.dat"));
  ASSERT_EQ(plain.size(), 48u);
  for (size_t k = 0; k < 12; k++) EXPECT_EQ(word_be(plain, 4 * k), bits(a[k] + -1.0f));
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
  EXPECT_EQ(answer(r.out, "d a"), "Result value = " + g(a_at(1, 1, 1, 1)) + " \nResult value = " +
                                      g(a_at(1, 1, 1, 2)) + " \nResult value = " +
                                      g(a_at(1, 1, 1, 3)) + " \nPress enter to continue::::: ");
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
  RunResult r =
      run_batch(kSetup + "set x 1\nset y 1\nset imprun IMP.gs\nd 7\nd 8\nset imprun off\nd 9\n",
                dir.path());
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
  EXPECT_EQ(answer(r.out, "set writegds out.gds"), common("WRITEGDS"));
  EXPECT_EQ(answer(r.out, "set writegds -xy out.gds"), "WRITEGDS file name = out.gds  Opts = -xy\n");
  EXPECT_EQ(answer(r.out, "set prnopts %5.1f%f"),
            "SET PRNOPTS error:  format %5.1f%f needs exactly one floating conversion\n" +
                common("PRNOPTS"));
}

}  // namespace
