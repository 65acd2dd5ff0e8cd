// The dimension environment through "set", checked with its messages and
// with "q dims" / "q time".
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "support/live_session.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::expect_steps;

namespace {

// x 0 by 2.5 (10 points, no wrap), y -30 by 30 (3), levels 1000 850 500,
// 12 times 6-hourly from 00Z 1 Jan 1990.
void grid(const TempDir& dir, const std::string& name = "g") {
  dsfiles::write_grid(dir, name, 10, 2.5, 3, "zdef 3 levels 1000 850 500", 3, 12);
}

const std::string kOpen = "open g.ctl\n";
const std::string kDims =
    "Default file number is: 1 \n"
    "X is varying   Lon = 10 to 20   X = 5 to 9\n"
    "Y is fixed     Lat = 0  Y = 2\n"
    "Z is varying   Lev = 850 to 500   Z = 2 to 3\n"
    "T is fixed     Time = 06Z01JAN1990  T = 2\n";

std::string bad_args(const std::string& option) {
  return "SET error:  Missing or invalid arguments for " + option + " option\n";
}

}  // namespace

TEST(Set, CommonMessagesAndSwitches) {
  TempDir dir;
  grid(dir);
  const std::string none = "SET Error:  No files open yet\n";
  expect_steps(dir, "",
               {{"set", "SET error:  missing operand\n"},
                {"set lon", bad_args("LON")},
                {"set foo bar", "SET error: Invalid operand\n  Operand = foo bar\n"},
                {"set lon 0 360", none},
                {"set x 1", none},
                {"set time 12z1jan1990", none},
                {"set dfile 1", none},
                {"set cint 5", "cint = 5 \n"},
                {"open g.ctl", "-"},
                {"set looping on", "Looping is on \n"},
                {"set looping maybe", bad_args("LOOPING")},
                {"set loopdim q", bad_args("LOOPDIM")},
                {"set loopincr 2.5", "loopincr = 2.5 \n"},
                {"set misswarn on 1", ""},
                {"set misswarn on 3", "SET MISSWARN error:  file 3 not open\n"},
                {"set misswarn off", bad_args("MISSWARN")},
                {"set datawarn x", bad_args("DATAWARN")}});
}

TEST(Set, WorldAndGridCoordinatesSnapToTheNearestGridPoint) {
  TempDir dir;
  grid(dir);
  // (20 + 30) / 30 + 1 = 2.67 -> point 3; 700 lies 0.43 of the way from 850 to 500.
  expect_steps(dir, kOpen,
               {{"set lon 10", "LON set to 10 10 \n"},
                {"set lon 11", "LON set to 10 10 \n"},
                {"set lat 20", "LAT set to 30 30 \n"},
                {"set lev 700", "LEV set to 850 850 \n"},
                {"set lon 0 360", "LON set to 0 360 \n"},
                {"q dims",
                 "Default file number is: 1 \n"
                 "X is varying   Lon = 0 to 360   X = 1 to 145\n"
                 "Y is fixed     Lat = 30  Y = 3\n"
                 "Z is fixed     Lev = 850  Z = 2\n"
                 "T is fixed     Time = 00Z01JAN1990  T = 1\n"},
                {"set x 3.4", "LON set to 5 5 \n"},
                {"set x 1 1", "LON set to 0 0 \n"},
                {"set y 2", "-"},
                {"set z 2 3", "LEV set to 850 500 \n"},
                {"set x 5 9", "-"},
                {"set t last", "Time values set: 1990:1:3:18 1990:1:3:18 \n"},
                {"set t 1 last", "Time values set: 1990:1:1:0 1990:1:3:18 \n"},
                {"set t 2", "-"},
                {"q dims", kDims}});
}

// Absolute times snap to the file's times; a date with anything after it
// (a negative year, stray characters) is no date: nothing is set.
TEST(Set, AbsoluteTimes) {
  TempDir dir;
  grid(dir);
  const std::string set = "Time values set: ";
  const std::string invalid =
      "Syntax Error:  Invalid Date/Time value.\n"
      "  Unexpected text after the date: ";
  expect_steps(dir, kOpen,
               {{"set time 12z1jan1990", set + "1990:1:1:12 1990:1:1:12 \n"},
                {"set time 13z1jan1990", set + "1990:1:1:12 1990:1:1:12 \n"},
                {"set time 00z01jan-5", invalid + "-5\n" + bad_args("TIME")},
                {"set time jan99%:00", invalid + "%:00\n" + bad_args("TIME")},
                {"set time 6z1jan1990 12z1jan1990x", invalid + "x\n" + bad_args("TIME")},
                {"q time", "Time = 12Z01JAN1990 to 12Z01JAN1990  Mon to Mon\n"},
                // Two times are kept as given.
                {"set time 2z1jan1990 12z2jan1990", set + "1990:1:1:2 1990:1:2:12 \n"},
                {"set time jan1991", set + "1991:1:1:0 1991:1:1:0 \n"},
                // The hour alone keeps the date of the current start time.
                {"set time 6z", set + "1991:1:1:6 1991:1:1:6 \n"},
                {"set time 2z1jan1990", set + "1990:1:1:0 1990:1:1:0 \n"}});
}

TEST(Set, FailedSetLeavesTheEnvironmentAsItWas) {
  TempDir dir;
  grid(dir);
  expect_steps(dir, kOpen + "set x 5 9\nset y 2\nset z 2 3\nset t 2\n",
               {{"set lon 30 x", bad_args("LON")},
                {"set x 1 x", bad_args("X")},
                {"set t 1 next", bad_args("T")},
                {"set time 30feb1990", "-"},
                {"set lon", bad_args("LON")},
                {"q dims", kDims},
                {"q time", "Time = 06Z01JAN1990 to 06Z01JAN1990  Mon to Mon\n"}});
}

// A coordinate is taken while a grid index (an int) and a date hold it. The
// far time is worked apart: 1399999999 steps of 6 hours are 349999999.75
// days, 2395 cycles of 146097 days (958000 years) and 97684.75 days past
// 1 Jan 1990, which lead to 18Z 14 Jun 2267.
TEST(Set, CoordinatesPastAGridIndexOrADateAreRefused) {
  TempDir dir;
  grid(dir);
  write_file(dir.file("m.ctl"),
             "dset ^g.dat\nundef -9.99e33\nxdef 10 linear 0 2.5\nydef 3 linear -30 30\n"
             "zdef 3 levels 1000 850 500\ntdef 12 linear 00z01jan2000 1mn\nvars 2\n"
             "u 3 33,100 U Wind\nps 0 1 Surface Pressure\nendvars\n");
  expect_steps(dir, kOpen + "set x 5 9\nset y 2\nset z 2 3\nset t 2\n",
               {{"set t 1.4e9", "Time values set: 960257:6:14:18 960257:6:14:18 \n"},
                {"set t 2", "-"},
                {"set t 1.5e9", bad_args("T")},
                {"set t -1.5e9 1", bad_args("T")},
                {"set x 2e9", bad_args("X")},
                {"set z 1 2.5e9", bad_args("Z")},
                // World values whose grid coordinates lie as far out.
                {"set lon 1e15", bad_args("LON")},
                {"set lat 1 -1e12", bad_args("LAT")},
                {"set lev 1e15", bad_args("LEV")},
                {"q dims", kDims}});
  // On a one-minute axis from 2000, 1 Jan 2010 is 5260320 steps on, 1 Jan
  // 2030 15779520 (10958 days), 1 Jan 9999 4207068000: past an index.
  expect_steps(dir, "open m.ctl\n",
               {{"set time 1jan2030", "Time values set: 2030:1:1:0 2030:1:1:0 \n"},
                {"q time", "Time = 00Z01JAN2030 to 00Z01JAN2030  Tue to Tue\n"},
                {"set time 1jan2010", "Time values set: 2010:1:1:0 2010:1:1:0 \n"},
                {"set time 1jan9999", bad_args("TIME")},
                {"set time 1jan2000 1jan9999", bad_args("TIME")},
                {"q time", "Time = 00Z01JAN2010 to 00Z01JAN2010  Fri to Fri\n"}});
}

// Days from 1 Jan 1970 to a date of the proleptic Gregorian calendar, by
// whole 400-year cycles of 146097 days.
static long long civil_days(long long y, int m, int d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400, yoe = y - era * 400;
  const long long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

// A template of daily files over one-minute steps past 2^24: each day's file
// begins at its own first minute, which is odd, a float's halfway point
// between two neighbours. Each minute reads its own value (the day's parity
// times 1000 plus its minute of the day) from its own day's file.
TEST(Set, TemplateFilesPastAFloatsWholeNumbersBeginAtTheirOwnTime) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "forming 16.8 million file names takes minutes under the sanitizer";
#else
  using namespace std::chrono;
  TempDir dir;
  // The first day past 2^24 steps whose first minute a float rounds down.
  long long day = (16777216 + 1439) / 1440;
  while (static_cast<long long>(static_cast<float>(1 + 1440 * day)) >= 1 + 1440 * day) day++;
  const long long first = 1 + 1440 * day;
  for (long long d : {day - 1, day}) {
    const year_month_day ymd{sys_days{year{2000} / 1 / 1} + days{d}};
    char name[32];
    std::snprintf(name, sizeof name, "d_%04d%02u%02u.dat", int(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()));
    std::string bytes(1440 * sizeof(float), '\0');
    for (int m = 0; m < 1440; m++) {
      const float v = float(d % 2 * 1000 + m);
      std::memcpy(&bytes[size_t(m) * sizeof v], &v, sizeof v);
    }
    write_file(dir.file(name), bytes);
  }
  write_file(dir.file("t.ctl"),
             "dset ^d_%y4%m2%d2.dat\noptions template little_endian\nundef -9e33\n"
             "xdef 1 linear 0 1\nydef 1 linear 0 1\nzdef 1 levels 1000\ntdef " +
                 std::to_string(first + 1440) +
                 " linear 00Z01JAN2000 1mn\nvars 1\nv 0 99 v\nendvars\n");
  const struct {
    long long t;
    long long value;
  } rows[] = {{first - 2, (day - 1) % 2 * 1000 + 1438},
              {first - 1, (day - 1) % 2 * 1000 + 1439},
              {first, day % 2 * 1000},
              {first + 1, day % 2 * 1000 + 1},
              {first + 2, day % 2 * 1000 + 2},
              {first + 1439, day % 2 * 1000 + 1439}};
  std::string in = "open t.ctl\n";
  for (const auto& r : rows) in += "set t " + std::to_string(r.t) + "\nd v\n";
  const std::string out = run_batch(in, dir.path()).out;
  for (const auto& r : rows) {
    const size_t at = out.find("ka-> set t " + std::to_string(r.t) + "\n");
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_EQ(dsfiles::answer(out.substr(at), "d v"),
              "Result value = " + std::to_string(r.value) + " \n")
        << "t = " << r.t;
  }
#endif
}

// Whole grid coordinates past 2^24, where a float holds only every other
// one, name their own point: a step of a one-minute axis of 3e7 steps (each
// step near those read holds its number modulo 4096, the rest is a hole), a
// column of a cyclic x of 144 (each holding its number) after whole turns, a
// date a million years on; one no float world value leads back to is refused.
// So do those of a variable's dimension expressions, of the functions'
// dimension arguments, of tloop and of a station request's time range.
TEST(Set, CoordinatesPastAFloatsWholeNumbersAreHeldOrRefused) {
  TempDir dir;
  const std::string tail = "undef -9.99e33\nzdef 1 levels 1000\nvars 1\nv 0 99 V\nendvars\n";
  write_file(dir.file("m.ctl"),
             "dset ^m.dat\nxdef 1 linear 0 1\nydef 1 linear 0 1\n"
             "tdef 30000000 linear 00z01jan2000 1mn\n" +
                 tail);
  { std::ofstream(dir.file("m.dat"), std::ios::binary); }
  std::filesystem::resize_file(dir.file("m.dat"), 4 * 30000000LL);
  std::fstream data(dir.file("m.dat"), std::ios::in | std::ios::out | std::ios::binary);
  static const char* const mon[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                    "jul", "aug", "sep", "oct", "nov", "dec"};
  std::vector<dsfiles::step> steps;
  // 21:20 9 Jan 2038 is step 20000001; 10 Jan 2028 lies below 2^24.
  for (const std::vector<int>& m : {std::vector<int>{2038, 1, 9, 21, 20},
                                    {2038, 1, 9, 21, 22},
                                    {2028, 1, 10, 21, 20},
                                    {2031, 11, 3, 7, 33}}) {
    const long long s =
        (civil_days(m[0], m[1], m[2]) - civil_days(2000, 1, 1)) * 1440 + m[3] * 60 + m[4] + 1;
    for (long long k = s - 3; k <= s + 3; k++) {
      const auto v = float(k % 4096);
      data.seekp(4 * (k - 1)).write(reinterpret_cast<const char*>(&v), 4);
    }
    std::string set = std::to_string(m[0]) + ":" + std::to_string(m[1]) + ":" +
                      std::to_string(m[2]) + ":" + std::to_string(m[3]) + " ";
    set = "Time values set: " + set + set + "\n";
    const std::string value = "Result value = " + std::to_string(s % 4096) + " \n";
    char when[40];
    std::snprintf(when, sizeof when, "%02d:%02dz%02d%s%d", m[3], m[4], m[2], mon[m[1] - 1], m[0]);
    steps.insert(steps.end(), {{"set t " + std::to_string(s), set},
                               {"d v", value},
                               {std::string("set time ") + when, set},
                               {"d v", value},
                               {"define a = v", "-"},
                               {"d a", value}});
  }
  data.close();
  steps.insert(steps.end(), {{"set t 20000001 20000002", "-"},
                             {"q dims",
                              "Default file number is: 1 \nX is fixed     Lon = 0  X = 1\n"
                              "Y is fixed     Lat = 0  Y = 1\nZ is fixed     Lev = "
                              "1000  Z = 1\nT is varying   Time = 21:20Z09JAN2038 to "
                              "21:21Z09JAN2038  T = 2e+07 to 2e+07\n"}});
  // A variable's dimension expressions and the functions' dimension
  // arguments around step s, 21:20 9 Jan 2038.
  const long long s = (civil_days(2038, 1, 9) - civil_days(2000, 1, 1)) * 1440 + 21 * 60 + 20 + 1;
  auto num = [](double v) {
    char t[32];
    std::snprintf(t, sizeof t, "%g", v);
    return std::string(t);
  };
  auto at = [&](long long k) { return "Result value = " + num(double(k % 4096)) + " \n"; };
  auto when = [](int minute) { return "21:" + std::to_string(minute) + "z09jan2038"; };
  // What a function prints over steps a to b, and its result.
  auto over = [&](const std::string& head, long long a, long long b, bool mean) {
    double sum = 0;
    for (long long k = a; k <= b; k++) sum += double(k % 4096);
    return head + "  dim = 3, start = " + std::to_string(a) + ", end = " + std::to_string(b) +
           "\nResult value = " + num(mean ? sum / double(b - a + 1) : sum) + " \n";
  };
  auto refused = [](const std::string& head, const std::string& expr) {
    std::string fn = expr.substr(0, expr.find('('));
    return head + "Operation Error:  Error from " + fn +
           " function\n  Error ocurred at column 1\n" +
           "DISPLAY error:  Invalid expression \n  Expression = " + expr + "\n";
  };
  const std::string n1 = std::to_string(s - 1), n0 = std::to_string(s), p1 = std::to_string(s + 1);
  const std::string p2 = std::to_string(s + 2);
  const std::string minloc = "minloc(v,t=" + n1 + ",t=" + p1 + ")";
  steps.insert(
      steps.end(),
      {{"set t " + n0, "-"},
       {"d v(t=" + p2 + ")", at(s + 2)},
       {"d v(time=" + when(22) + ")", at(s + 2)},
       {"d v(t+1)", at(s + 1)},
       {"d v(t-1)", at(s - 1)},
       {"d v(time-2mn)", at(s - 2)},
       {"d ave(v,t=" + n1 + ",t=" + p1 + ")", over("Averaging.", s - 1, s + 1, true)},
       {"d sum(v,time=" + when(20) + ",time=" + when(22) + ")", over("SUMing.", s, s + 2, false)},
       {"d mean(v,t+1,t+3)", over("MEANing.", s + 1, s + 3, true)},
       {"d gint(v,t=" + n0 + ",t=" + p2 + ")", over("Integrating.", s, s + 2, false)},
       {"d tmave(const(v,1),v,t=" + n0 + ",t=" + p2 + ")", over("TMAVE:", s, s + 2, true)},
       {"d " + minloc, refused("Error from MINLOC:  1st dimension expression invalid\n", minloc)},
       {"set t " + n1 + " " + p1, "-"},
       {"set gxout print", "-"},
       {"d tloop(v)", "Printing Grid -- 3 Values -- Undef = -9.99e+33\n" +
                          num(double((s - 1) % 4096)) + " " + num(double(s % 4096)) + " " +
                          num(double((s + 1) % 4096)) + " \n"}});
  expect_steps(dir, "open m.ctl\n", steps);

  std::string columns;
  for (float i = 1; i <= 144; i++) columns.append(reinterpret_cast<const char*>(&i), 4);
  write_file(dir.file("c.dat"), columns);
  write_file(dir.file("c.ctl"),
             "dset ^c.dat\nxdef 144 linear 0 2.5\nydef 1 linear 0 1\n"
             "tdef 1 linear 00z01jan2000 6hr\n" +
                 tail);
  steps.clear();
  for (long long g : {16777283LL, -16777283LL, 33554435LL, 1000000007LL}) {
    const long long col = ((g - 1) % 144 + 144) % 144 + 1;
    auto lon = [](long long c) { return std::to_string(c * 5 / 2) + (c % 2 ? ".5" : ""); };
    steps.insert(steps.end(), {{"set x " + std::to_string(g),
                                "LON set to " + lon(col - 1) + " " + lon(col - 1) + " \n"},
                               {"d v", "Result value = " + std::to_string(col) + " \n"},
                               {"set x " + std::to_string(g) + " " + std::to_string(g + 2),
                                "LON set to " + lon(col - 1) + " " + lon(col + 1) + " \n"}});
  }
  // Neither y nor z wraps; then a million years of 6-hourly steps.
  steps.insert(steps.end(), {{"set y 16777217", bad_args("Y")},
                             {"set z -16777219", bad_args("Z")},
                             {"set lat 16777217", bad_args("LAT")}});
  const long long days = civil_days(1000000, 1, 1), far = (days - civil_days(2000, 1, 1)) * 4 + 1;
  static const char* const wday[] = {"Thu", "Fri", "Sat", "Sun", "Mon", "Tue", "Wed"};
  const std::string day = wday[days % 7], set = "Time values set: 1000000:1:1:0 1000000:1:1:0 \n";
  steps.insert(
      steps.end(),
      {{"set time 00z01jan1000000", set},
       {"q time", "Time = 00Z01JAN1000000 to 00Z01JAN1000000  " + day + " to " + day + "\n"},
       {"set t " + std::to_string(far + 3), "Time values set: 1000000:1:1:18 1000000:1:1:18 \n"},
       {"set t " + std::to_string(far), set}});
  // Back at the file's one time, columns past 2^24 named in expressions:
  // read whole, or refused where only a float world value would place them.
  const long long g = 16777283, col = (g - 1) % 144 + 1;
  const std::string gs = std::to_string(g), last = std::to_string(g + 2);
  const std::string lon = std::to_string((16777217LL - 1) * 5 / 2);  // column 16777217
  const std::string ave = "ave(v,x=" + gs + ",x=" + last + ")", sum = "sum(v,x=1,x=" + last + ")";
  const std::string aave = "aave(v,x=" + gs + ",x=" + last + ",y=1,y=1)";
  steps.insert(
      steps.end(),
      {{"set t 1", "Time values set: 2000:1:1:0 2000:1:1:0 \n"},
       {"set x 1", "LON set to 0 0 \n"},
       {"d v(x=" + gs + ")", "Result value = " + std::to_string(col) + " \n"},
       {"d v(x+" + std::to_string(g - 1) + ")", "Result value = " + std::to_string(col) + " \n"},
       {"d v(lon=" + lon + ")",
        "Syntax Error:  Invalid dimension expression\n"
        "  Dimension value missing or invalid\n  Variable name = v\n"
        "  Error ocurred at column 1\nDISPLAY error:  Invalid "
        "expression \n  Expression = v(lon=" +
            lon + ")\n"},
       {"d " + ave, refused("Error from AVE:  1st dimension expression invalid\n", ave)},
       {"d " + sum, refused("Error from SUM:  2nd dimension expression invalid\n", sum)},
       {"d " + aave, refused("Error from AAVE:  Invalid dimension expression \n", aave)}});
  expect_steps(dir, "open c.ctl\n", steps);

  // A station request's time range, shown by the statistics of a series.
  dsfiles::write_station(dir, "s", 4);
  steps = {{"set t " + n0 + " " + p2, "-"},
           {"d ps", "Data Type = station\nDimensions = 3 -1\nI Dimension = " + n0 + " to " + p2 +
                        "\nJ Dimension = -999 to -999\nStn count = 0\nUndef value = -999\n"
                        "Undef count = 0  Valid count = 0 \nMin, Max = -999 -999\n"
                        "Cmin, cmax, cint = -1004 -994 1\n"
                        "Stats[sum,sumsqr,root(sumsqr),n]:     0 0 0 0\n"
                        "Stats[(sum,sumsqr,root(sumsqr))/n)]:     0 0 0\n"
                        "Stats[(sum,sumsqr,root(sumsqr))/(n-1))]: 0 0 0\n"
                        "Stats[(sigma,var)(n)]:     0 0\nStats[(sigma,var)(n-1)]:   0 0\n"}};
  expect_steps(dir, "open s.ctl\nset lon 0\nset lat 0\nset gxout stat\n", steps);
}

// Axes whose float conversions round apart (a start of -89 by 0.02225 comes
// back as grid 0.99976): opening sets the whole axis, and its first and last
// points and the whole range read exactly the values stored there.
TEST(Set, AxesWhoseConversionsRoundApartKeepTheirEnds) {
  struct axis {
    char dim;
    const char* def;
    int size;
  };
  const axis axes[] = {{'y', "-89 0.02225", 8000},  {'z', "-86.1 0.412", 8000},
                       {'x', "-20.2 0.06", 8000},   {'x', "-81.3 0.0331", 100},
                       {'y', "-29.2 0.0157", 8000}, {'z', "-78.8 0.0133", 5000}};
  for (const axis& a : axes) {
    TempDir dir;
    std::string defs;
    for (char d : {'x', 'y', 'z'}) {
      defs += std::string(1, d) + "def " +
              (d == a.dim ? std::to_string(a.size) + " linear " + a.def : "1 linear 1 1") + "\n";
    }
    write_file(dir.file("a.ctl"),
               "dset ^a.dat\nundef -9e33\n" + defs + "tdef 1 linear jan2000 1mo\nvars 1\nv " +
                   (a.dim == 'z' ? std::to_string(a.size) : "0") + " 99 v\nendvars\n");
    std::string data;
    for (float i = 1; i <= float(a.size); i++) data.append(reinterpret_cast<const char*>(&i), 4);
    write_file(dir.file("a.dat"), data);
    const std::string d(1, a.dim), n = std::to_string(a.size);
    const std::string out =
        run_batch("open a.ctl\nset " + d + " 1 " + n + "\nset gxout stat\nd v\nset " + d +
                      " 1\nd v\nset " + d + " " + n + "\nd v\nquit\n",
                  dir.path())
            .out;
    const std::string what = std::string(1, a.dim) + " " + a.def;
    EXPECT_FALSE(contains(out, "SET error")) << what << "\n" << out;
    EXPECT_TRUE(contains(out, "Undef count = 0  Valid count = " + n + "\nMin, Max = 1 " + n + "\n"))
        << what << "\n"
        << out;
    EXPECT_TRUE(contains(out, "Valid count = 1\nMin, Max = 1 1\n")) << what;
    EXPECT_TRUE(contains(out, "Valid count = 1\nMin, Max = " + n + " " + n + "\n")) << what;
  }
}

// A data set of n points along one of x, y, z, t (one along the others) from
// start by step, each holding its own 1-based index.
void index_axis(const TempDir& dir, char dim, long n, const std::string& start,
                const std::string& step) {
  std::string defs;
  for (char d : {'x', 'y', 'z', 't'})
    defs += std::string(1, d) + "def " +
            (d == dim   ? std::to_string(n) + " linear " + start + " " + step
             : d == 't' ? "1 linear jan2000 1mo"
                        : "1 linear 1 1") +
            "\n";
  write_file(dir.file("a.ctl"), "dset ^a.dat\nundef -9e33\n" + defs + "vars 1\nh " +
                                    (dim == 'z' ? std::to_string(n) : "0") + " 99 h\nendvars\n");
  std::string data;
  for (long i = 1; i <= n; i++) {
    const auto v = float(i);
    data.append(reinterpret_cast<const char*>(&v), 4);
  }
  write_file(dir.file("a.dat"), data);
}

std::string num(double v) {
  char t[40];
  std::snprintf(t, sizeof t, "%g", v);
  return t;
}

// On axes of tens of thousands of points a point's index, its index a turn
// further on a cyclic axis, and its world value as a user types it (the
// descriptor's start and step in decimal, or rounded to a few decimals
// within a thousandth of a step) select that point, in "set" and in a
// variable's and a function's dimension expressions.
TEST(Set, EveryPointOfAFineAxisIsSelected) {
  const struct {
    char dim;
    long n;
    const char *start, *step;
    bool cyclic;
    int decimals = 0;  // 0: as many digits as a double needs
  } axes[] = {{'x', 72000, "-179.9975", "0.005", true},
              {'x', 432000, "-179.999583333", "0.000833333", true},
              {'y', 36000, "-89.9975", "0.005", false},
              {'z', 20000, "10.0025", "0.005", false},
              {'x', 8640, "-180", "0.041666667", true, 4}};
  for (const auto& a : axes) {
    TempDir dir;
    index_axis(dir, a.dim, a.n, a.start, a.step);
    const std::string d(1, a.dim), w = a.dim == 'x' ? "lon" : a.dim == 'y' ? "lat" : "lev";
    const std::string other = a.dim == 'x' ? "set y 1\n" : "set x 1\n";
    auto value = [](long i) { return "Result value = " + num(double(i)) + " \n"; };
    auto exact = [&](long i) { return std::stod(a.start) + double(i - 1) * std::stod(a.step); };
    auto world = [&](long i) {
      char t[40];
      if (a.decimals)
        std::snprintf(t, sizeof t, "%.*f", a.decimals, exact(i));
      else
        std::snprintf(t, sizeof t, "%.9g", exact(i));
      return std::string(t);
    };
    auto near = [&](long i) {
      return std::fabs(std::stod(world(i)) - exact(i)) <= 0.0009 * std::stod(a.step);
    };
    std::vector<long> points = {1, 1800, 4986, a.n};
    for (long i = 7; i < a.n; i += a.n / 240 + 1) points.push_back(i);
    std::vector<dsfiles::step> steps;
    for (long i : points) {
      if (!near(i) || !near(std::max(1L, i - 4))) continue;
      const std::string at = std::to_string(i), lo = std::to_string(i - 4);
      steps.insert(steps.end(), {{"set " + d + " " + at, "-"},
                                 {"d h", value(i)},
                                 {"set " + w + " " + world(i), "-"},
                                 {"d h", value(i)},
                                 {"set " + d + " 1", "-"},
                                 {"d h(" + w + "=" + world(i) + ")", value(i)}});
      if (i <= 4) continue;
      // The sum and the largest of the points i - 4 to i.
      const std::string dim = std::to_string(a.dim - 'x');
      steps.insert(
          steps.end(),
          {{"d sum(h," + d + "=" + lo + "," + d + "=" + at + ")",
            "SUMing.  dim = " + dim + ", start = " + lo + ", end = " + at + "\n" +
                value(5 * i - 10)},
           {"d max(h," + w + "=" + world(i - 4) + "," + w + "=" + world(i) + ")",
            "MAXing.  dim = " + dim + ", start = " + lo + ", end = " + at + "\n" + value(i)}});
      if (a.cyclic) {
        steps.insert(steps.end(), {{"set x " + std::to_string(i + a.n), "-"}, {"d h", value(i)}});
      }
    }
    SCOPED_TRACE(d + " " + a.start + " " + a.step);
    expect_steps(dir, "open a.ctl\n" + other, steps);
  }
}

// A world range reads exactly the points "q dims" names, also on axes whose
// step is no binary fraction and past grid 1024, where a float no longer
// holds 1e-4 of a grid step; an end between two points reads the points
// outside it. The points are worked out here from the descriptor's decimal
// start and step: from the last at or below the range to the first at or
// above it, a thousandth of a step counting as on it.
TEST(Set, WorldRangesReadThePointsQueryDimsNames) {
  const struct {
    char dim;
    long n;
    const char *start, *step;
    double lo, hi;
  } ranges[] = {{'x', 1500, "0", "0.3333333", 241, 383},
                {'x', 1500, "0", "0.3333333", 241.1, 382.9},
                {'x', 4320, "0", "0.0833333", 164.6666, 165.3332},
                {'x', 4320, "0", "0.0833333", 300.25, 350.9165},
                {'y', 8000, "-89", "0.02225", 1.2, 88.5375},
                {'x', 40, "100", "0.02225", 100.02225, 100.5785},
                {'y', 8000, "-89", "0.02225", -45.63475, 62.389},
                {'z', 3000, "0", "0.3333333", 400.3333, 700}};
  for (const auto& r : ranges) {
    TempDir dir;
    index_axis(dir, r.dim, r.n, r.start, r.step);
    const std::string d(1, r.dim), w = r.dim == 'x' ? "lon" : r.dim == 'y' ? "lat" : "lev";
    const double start = std::stod(r.start), step = std::stod(r.step);
    const double first = std::floor((r.lo - start) / step + 0.001) + 1;
    const double last = std::ceil((r.hi - start) / step - 0.001) + 1;
    const std::string up = std::string(1, char(r.dim - 'x' + 'X'));
    char set[80];
    std::snprintf(set, sizeof set, "set %s %.10g %.10g\n", w.c_str(), r.lo, r.hi);
    const std::string out =
        run_batch("open a.ctl\n" + std::string(set) + "q dims\nset gxout stat\nd h\nquit\n",
                  dir.path())
            .out;
    SCOPED_TRACE(d + " " + r.start + " " + r.step + ": " + set);
    // The grid coordinates "q dims" shows, and the points they name.
    const size_t named = out.find(up + " is varying");
    ASSERT_NE(named, std::string::npos) << out;
    double g1 = 0, g2 = 0;
    ASSERT_EQ(
        std::sscanf(out.c_str() + out.find(" " + up + " = ", named) + 4, "%lf to %lf", &g1, &g2),
        2);
    EXPECT_EQ(std::floor(g1 + 0.001), first);
    EXPECT_EQ(std::ceil(g2 - 0.001), last);
    EXPECT_TRUE(contains(out, "Valid count = " + num(last - first + 1) +
                                  "\nMin, Max = " + num(first) + " " + num(last) + "\n"))
        << out;
  }
}

// Every command that takes a range takes the points a read of it takes,
// also with an end just past a point: a display, define, tloop and the
// frames of an animation. The grid coordinates of the ends, worked out by
// hand, are in the comments: an end 1e-4 of a step or more past a point
// reaches the next, and a range whose ends name one point reads that point.
TEST(Set, RangesTakeThePointsAReadTakes) {
  const struct {
    char dim;
    long n;
    const char *start, *step, *range;
    int first, last;
  } ranges[] = {
      {'x', 10, "0", "2.5", "lon 9.99999 20", 5, 9},                              // 4.999996 to 9
      {'x', 10, "0", "2.5", "lon 0 10.01", 1, 6},                                 // 1 to 5.004
      {'z', 10, "0", "2.5", "lev 0 10.0015", 1, 6},                               // 1 to 5.0006
      {'t', 10, "00z01jan2000", "1dy", "time 00z1jan2000 00:01z3jan2000", 1, 4},  // 1 to 3.0007
      {'x', 1440, "0.125", "0.25", "lon 122.125 122.625", 489, 491},              // 489 to 491
      // Both ends on one point: that point.
      {'x', 10, "0", "2.5", "lon 10 10.0001", 5, 5},  // 5 to 5.00004
      {'y', 10, "0", "2.5", "lat 10 10.0002", 5, 5},  // 5 to 5.00008
      {'z', 10, "0", "2.5", "lev 10 10.0002", 5, 5},  // 5 to 5.00008
  };
  for (const auto& r : ranges) {
    TempDir dir;
    index_axis(dir, r.dim, r.n, r.start, r.step);
    const bool t = r.dim == 't';
    std::string frames;
    for (int i = r.first; i <= r.last; i++) frames += "Result value = " + num(i) + " \n";
    const std::string out =
        run_batch("open a.ctl\nset " + std::string(r.range) + "\nset looping on\nset loopdim " +
                      std::string(1, r.dim) +
                      "\nd h\nset looping off\nset gxout stat\nd h\ndefine a = h\nd a\n" +
                      (t ? "d tloop(h)\n" : "") + "quit\n",
                  dir.path())
            .out;
    SCOPED_TRACE(r.range);
    EXPECT_TRUE(contains(out, "ka-> d h\n" + frames)) << out;
    const std::string read = "Valid count = " + num(r.last - r.first + 1) +
                             "\nMin, Max = " + num(r.first) + " " + num(r.last) + "\n";
    int reads = 0;
    for (size_t p = out.find(read); p != std::string::npos; p = out.find(read, p + 1)) reads++;
    EXPECT_EQ(reads, t ? 3 : 2) << out;
  }
}

TEST(Set, DefaultFile) {
  TempDir dir;
  grid(dir);
  dsfiles::write_grid(dir, "h", 144, 2.5, 5, "zdef 1 levels 500", 1, 2);
  // The environment stays in world coordinates; grid numbers follow the new file.
  expect_steps(dir, kOpen + "open h.ctl\nset x 5 9\n",
               {{"set dfile 3", "SET DFILE error:  file 3 not open\n"},
                {"set dfile x", bad_args("DFILE")},
                {"set dfile 2", "Default file set to: h.dat \n"},
                {"q dims",
                 "Default file number is: 2 \n"
                 "X is varying   Lon = 10 to 20   X = 5 to 9\n"
                 "Y is varying   Lat = -30 to 30   Y = 1 to 3\n"
                 "Z is fixed     Lev = 1000  Z = 501\n"
                 "T is fixed     Time = 00Z01JAN1990  T = 1\n"},
                {"set x 3", "LON set to 5 5 \n"},
                {"set dfile 1", "Default file set to: g.dat \n"}});
}

TEST(Set, StationFilesKeepGridValuesAndStillSnapTimes) {
  TempDir dir;
  dsfiles::write_station(dir, "s", 4);
  // 12-hourly from 12Z: 20Z is 1.67 steps in, nearest is 00Z on the 2nd.
  expect_steps(dir, "open s.ctl\n",
               {{"set x 2 5", "LON set to 2 5 \n"},
                {"set lon 10", "LON set to 10 10 \n"},
                {"set time 20z1jan2000", "Time values set: 2000:1:2:0 2000:1:2:0 \n"},
                {"q dims",
                 "Default file number is: 1 \n"
                 "X is fixed     Lon = 10  X = 10\n"
                 "Y is varying   Lat = -90 to 90   Y = -90 to 90\n"
                 "Z is fixed     Lev = 500  Z = 500\n"
                 "T is fixed     Time = 00Z02JAN2000  T = 2\n"}});
}

TEST(Set, ReturnCodesStopACommandFile) {
  TempDir dir;
  grid(dir);
  write_file(dir.file("ok.cmd"),
             "set lon 0 10\nset x 2\nset time 6z1jan1990\nset dfile 1\n"
             "set looping off\nset warn on\nset misswarn on 1\n");
  std::vector<std::string> failing = {
      "set", "set foo", "set lon", "set dfile 2", "set misswarn on 2", "set cint x", "set time x"};
  std::string input = "open g.ctl\nexec ok.cmd\n";
  for (size_t i = 0; i < failing.size(); i++) {
    std::string name = "f" + std::to_string(i) + ".cmd";
    write_file(dir.file(name), failing[i] + "\nstack never\n");
    input += "exec " + name + "\n";
  }
  RunResult r = run_batch(input, dir.path());
  EXPECT_NE(r.out.find("EOF EXECuting ok.cmd"), std::string::npos) << r.out;
  for (size_t i = 0; i < failing.size(); i++)
    EXPECT_NE(r.out.find("EXEC error:  error in f" + std::to_string(i) + ".cmd.  EXEC stopped.\n"),
              std::string::npos)
        << failing[i];
  EXPECT_EQ(r.out.find("stack never"), std::string::npos);
}

// Every integer keyword takes the ends of the int range, and what it stored
// draws: each plot that reads it, the draw commands and an image, on a full
// page and on a small one (where line thicknesses are halved). Under the
// sanitizer build an overflow in that arithmetic ends the session. The plots
// cover a part of the globe, which runs the same code seven times faster;
// its 49 points along x keep a streamline density's base step (200 / 49 = 4)
// below the 5 taken off it, as on the whole globe (200 / 144 = 1).
// N stands for the value; the displays after each setting read it. Each
// setting is a test of its own, so that a slow build stays within the
// time a test is given.
const char* const kIntegerKeywordRows[] = {
    "set dfile N",
    "set misswarn on N",
    "set xlopts N N 0.1",
    "set ylopts N N",
    "set clopts N N",
    "set annot N N",
    "set line N N N",
    "set string N bl N",
    "set font N",
    "set cstyle N",
    "set ccolor N",
    "set cthick N",
    "set cmark N",
    "set clskip N",
    "set fgvals N N",
    "set ccols N N N",
    "set rbcols N N",
    "set map N N N",
    "set mpt N N N N",
    "set mpt * N N N",
    "set grid on N N",
    "set background N",
    "set strmden N",
    "set gridln N",
    "set wxcols N N N N N",
    "set lfcols N N",
    "set bargap N",
    "set dignum N",
    "set button N N N N N N N N N",
    "set dialog N N N N N",
    "set dropmenu N N N N N N N N N N N N N N",
    "set rband N box 1 1 2 2",
    "set rgb N N N N",
    "set prnopts %g N N",
    "set fill line N N",
    "set fill dot N",
};

class IntegerKeywordsAtTheEndsOfTheIntRange : public ::testing::TestWithParam<const char*> {};

TEST_P(IntegerKeywordsAtTheEndsOfTheIntRange, Draw) {
  const char* row = GetParam();
  SCOPED_TRACE(row);
  const std::string data = "open " + std::string(VEMRA_DATA_DIR) +
                           "/../sample/sample.ctl\nset lon 0 120\nset lat 0 45\n";
  const std::string displays[] = {
      "set clevs 5000 5500\nd z",
      "set gxout shaded\nd z",
      "set gxout stream\nd u;v",
      "set gxout vector\nd u;v",
      "set gxout fgrid\nd z",
      "set gxout grid\nset lon 0 10\nset lat 0 10\nd z\nset lon 0 120\nset lat 0 45",
      "set lat 30\nset gxout line\nd z",
      "set gxout bar\nd z\nset lat 0 45",
      "set t 1 4\nset lon 10\nset lat 10\nd z\nset t 1\nset lon 0 120\nset lat 0 45",
      "draw title t\ndraw string 1 1 s\ndraw line 1 1 2 2\ndraw recf 1 1 2 2\n"
      "draw button 1 1 1 1 1 b\ndraw mark 3 1 1 0.2",
  };
  TempDir dir;
  std::string in = data;
  int images = 0;
  for (const char* n : {"2147483647", "-2147483648"}) {
    std::string command = row;
    command.replace(command.find('N'), 1, n);
    while (command.find('N') != std::string::npos) command.replace(command.find('N'), 1, n);
    for (const char* page : {"set vpage off", "set vpage 0 4 0 4"}) {
      for (const std::string& d : displays) in += page + ("\n" + command + "\n" + d + "\nc\n");
      in += page + ("\n" + command + "\nd z\nprintim i" + std::to_string(images++) + ".png\n");
    }
  }
  RunResult r = run_batch(in + "quit\n", dir.path());
  EXPECT_EQ(r.status, 0) << r.err.substr(0, 2000);
  EXPECT_TRUE(contains(r.out, "ka-> quit\n")) << r.out.substr(r.out.size() - 500);
  for (int i = 0; i < images; i++)
    EXPECT_EQ(read_file(dir.file("i" + std::to_string(i) + ".png")).substr(1, 3), "PNG") << i;
}

INSTANTIATE_TEST_SUITE_P(Set, IntegerKeywordsAtTheEndsOfTheIntRange,
                         ::testing::ValuesIn(kIntegerKeywordRows));

// An annotation thickness past what the display list keeps (16 bits) is
// refused and the one before stays; the plots draw some lines 3 thinner.
// A streamline density past either end draws as the densest (14: 200 / 144
// + 14 - 5 = 10 steps a grid cell) or the sparsest (1).
TEST(Set, OutOfRangeIntegersAreRefusedOrDrawAsTheirEnd) {
  const std::string data = "open " + std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl\n";
  const std::string refused = "SET ANNOT Error: Invalid thickness value\n";
  dsfiles::expect_steps(
      TempDir(), data,
      {{"set annot 1 32767", "SET ANNOT values:  color = 1  thickness = 32767\n"},
       {"set annot 1 9", "SET ANNOT values:  color = 1  thickness = 9\n"},
       {"set annot 2 2147483647", refused + "SET ANNOT values:  color = 2  thickness = 9\n"},
       {"set annot 3 -2147483648", refused + "SET ANNOT values:  color = 3  thickness = 9\n"},
       {"set annot 4 32768", refused + "SET ANNOT values:  color = 4  thickness = 9\n"},
       {"set annot 1 -32768", "SET ANNOT values:  color = 1  thickness = -32768\n"},
       {"d z", "Contouring: 140 to 240 interval 10 \n"}});
  const struct {
    const char *value, *same_as;
  } densities[] = {{"2147483647", "14"}, {"-2147483648", "1"}};
  for (const auto& d : densities) {
    SCOPED_TRACE(d.value);
    TempDir dir;
    auto draw = [&](const std::string& density, const std::string& image) {
      // Without the clock label: the two images may be drawn a minute apart.
      return data + "set timelab off\nset gxout stream\nset strmden " + density +
             "\nd u;v\nprintim " + image + "\n";
    };
    RunResult r = run_batch(draw(d.value, "a.png") + "c\n" + draw(d.same_as, "b.png"), dir.path());
    EXPECT_EQ(r.status, 0) << r.err.substr(0, 2000);
    const std::string a = read_file(dir.file("a.png"));
    EXPECT_EQ(a.substr(1, 3), "PNG");
    EXPECT_TRUE(a == read_file(dir.file("b.png")));
  }
}
