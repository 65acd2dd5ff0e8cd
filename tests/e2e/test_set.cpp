// The dimension environment through "set", checked with its messages and
// with "q dims" / "q time".
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dataset_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;

namespace {

// x 0 by 2.5 (10 points, no wrap), y -30 by 30 (3), levels 1000 850 500,
// 12 times 6-hourly from 00Z 1 Jan 1990.
void grid(const TempDir& dir, const std::string& name = "g") {
  dsfiles::write_grid(dir, name, 10, 2.5, 3, "zdef 3 levels 1000 850 500", 3, 12);
}

// Runs the commands after opening g.ctl and returns the session output
// from the first command on.
std::string session(const TempDir& dir, const std::string& commands) {
  RunResult r = run_batch("open g.ctl\n" + commands, dir.path());
  size_t p = r.out.find("ka-> ", r.out.find("ka-> open g.ctl") + 1);
  return p == std::string::npos ? r.out : r.out.substr(p);
}

const std::string kDims =
    "X is varying   Lon = 10 to 20   X = 5 to 9\n"
    "Y is fixed     Lat = 0  Y = 2\n"
    "Z is varying   Lev = 850 to 500   Z = 2 to 3\n"
    "T is fixed     Time = 06Z01JAN1990  T = 2\n";

}  // namespace

TEST(Set, CommonMessages) {
  TempDir dir;
  RunResult r = run_batch(
      "set\nset lon\nset foo bar\nset lon 0 360\nset x 1\nset y 1\nset z 1\nset t 1\n"
      "set lat 0\nset lev 500\nset time 12z1jan1990\nset dfile 1\nset cint 5\nset digsize 1\n",
      dir.path());
  EXPECT_EQ(answer(r.out, "set"), "SET error:  missing operand\n");
  EXPECT_EQ(answer(r.out, "set lon"), "SET error:  Missing or invalid arguments for LON option\n");
  EXPECT_EQ(answer(r.out, "set foo bar"), "SET error: Invalid operand\n  Operand = foo bar\n");
  for (const char* c : {"set lon 0 360", "set x 1", "set y 1", "set z 1", "set t 1", "set lat 0",
                        "set lev 500", "set time 12z1jan1990", "set dfile 1"})
    EXPECT_EQ(answer(r.out, c), "SET Error:  No files open yet\n") << c;
  EXPECT_EQ(answer(r.out, "set cint 5"), "cint = 5 \n");
  EXPECT_EQ(answer(r.out, "set digsize 1"), "SET error:  DIGSIZ option not available yet\n");
}

TEST(Set, WorldCoordinatesSnapToTheNearestGridPoint) {
  TempDir dir;
  grid(dir);
  std::string out = session(dir, "set lon 10\nset lon 11\nset lat 20\nset lev 700\n"
                                 "set lon 0 360\nq dims\n");
  EXPECT_EQ(answer(out, "set lon 10"), "LON set to 10 10 \n");
  EXPECT_EQ(answer(out, "set lon 11"), "LON set to 10 10 \n");
  // (20 + 30) / 30 + 1 = 2.67 -> point 3; 700 lies 0.43 of the way from 850 to 500.
  EXPECT_EQ(answer(out, "set lat 20"), "LAT set to 30 30 \n");
  EXPECT_EQ(answer(out, "set lev 700"), "LEV set to 850 850 \n");
  EXPECT_EQ(answer(out, "set lon 0 360"), "LON set to 0 360 \n");
  EXPECT_EQ(answer(out, "q dims"),
            "Default file number is: 1 \n"
            "X is varying   Lon = 0 to 360   X = 1 to 145\n"
            "Y is fixed     Lat = 30  Y = 3\n"
            "Z is fixed     Lev = 850  Z = 2\n"
            "T is fixed     Time = 00Z01JAN1990  T = 1\n");
}

TEST(Set, GridCoordinates) {
  TempDir dir;
  grid(dir);
  std::string out = session(dir, "set x 3.4\nset x 1 1\nset y 2\nset z 2 3\nset x 5 9\n"
                                 "set t last\nset t 1 last\nset t 2\nq dims\n");
  EXPECT_EQ(answer(out, "set x 3.4"), "LON set to 5 5 \n");
  EXPECT_EQ(answer(out, "set x 1 1"), "LON set to 0 0 \n");
  EXPECT_EQ(answer(out, "set z 2 3"), "LEV set to 850 500 \n");
  EXPECT_EQ(answer(out, "set t last"), "Time values set: 1990:1:3:18 1990:1:3:18 \n");
  EXPECT_EQ(answer(out, "set t 1 last"), "Time values set: 1990:1:1:0 1990:1:3:18 \n");
  EXPECT_EQ(answer(out, "q dims"), "Default file number is: 1 \n" + kDims);
}

TEST(Set, AbsoluteTimes) {
  TempDir dir;
  grid(dir);
  std::string out = session(dir, "set time 12z1jan1990\nset time 13z1jan1990\n"
                                 "set time 2z1jan1990 12z2jan1990\nq time\n"
                                 "set time jan1991\nset time 6z\nset time 2z1jan1990\n");
  EXPECT_EQ(answer(out, "set time 12z1jan1990"), "Time values set: 1990:1:1:12 1990:1:1:12 \n");
  EXPECT_EQ(answer(out, "set time 13z1jan1990"), "Time values set: 1990:1:1:12 1990:1:1:12 \n");
  // Two times are kept as given.
  EXPECT_EQ(answer(out, "set time 2z1jan1990 12z2jan1990"),
            "Time values set: 1990:1:1:2 1990:1:2:12 \n");
  EXPECT_EQ(answer(out, "set time jan1991"), "Time values set: 1991:1:1:0 1991:1:1:0 \n");
  // The hour alone keeps the date of the current start time.
  EXPECT_EQ(answer(out, "set time 6z"), "Time values set: 1991:1:1:6 1991:1:1:6 \n");
  EXPECT_EQ(answer(out, "set time 2z1jan1990"), "Time values set: 1990:1:1:0 1990:1:1:0 \n");
}

TEST(Set, FailedSetLeavesTheEnvironmentAsItWas) {
  TempDir dir;
  grid(dir);
  std::string out = session(
      dir, "set x 5 9\nset y 2\nset z 2 3\nset t 2\n"
           "set lon 30 x\nset lat 10 %\nset lev 1000 z\nset x 1 x\nset t 1 next\n"
           "set time 12z1jan1990 bogus\nset time 30feb1990\nset lon\nq dims\nq time\n");
  EXPECT_EQ(answer(out, "set lon 30 x"), "SET error:  Missing or invalid arguments for LON option\n");
  EXPECT_EQ(answer(out, "set lat 10 %"), "SET error:  Missing or invalid arguments for LAT option\n");
  EXPECT_EQ(answer(out, "set lev 1000 z"),
            "SET error:  Missing or invalid arguments for LEV option\n");
  EXPECT_EQ(answer(out, "set x 1 x"), "SET error:  Missing or invalid arguments for X option\n");
  EXPECT_EQ(answer(out, "set t 1 next"), "SET error:  Missing or invalid arguments for T option\n");
  EXPECT_NE(answer(out, "set time 12z1jan1990 bogus")
                .find("SET error:  Missing or invalid arguments for TIME option\n"),
            std::string::npos);
  std::string bad_day = answer(out, "set time 30feb1990");
  EXPECT_EQ(bad_day.rfind("Syntax Error:  Invalid Date/Time value.\n", 0), 0u) << bad_day;
  EXPECT_NE(bad_day.find("SET error:  Missing or invalid arguments for TIME option\n"),
            std::string::npos);
  EXPECT_EQ(answer(out, "q dims"), "Default file number is: 1 \n" + kDims);
  EXPECT_EQ(answer(out, "q time"), "Time = 06Z01JAN1990 to 06Z01JAN1990  Mon to Mon\n");
}

TEST(Set, DefaultFile) {
  TempDir dir;
  grid(dir);
  dsfiles::write_grid(dir, "h", 144, 2.5, 5, "zdef 1 levels 500", 1, 2);
  std::string out = session(dir, "open h.ctl\nset x 5 9\nset dfile 3\nset dfile 0\nset dfile x\n"
                                 "set dfile\nset dfile 2\nq dims\nset x 3\nset dfile 1\n");
  EXPECT_EQ(answer(out, "set dfile 3"), "SET DFILE error:  file 3 not open\n");
  EXPECT_EQ(answer(out, "set dfile 0"), "SET DFILE error:  file 0 not open\n");
  EXPECT_EQ(answer(out, "set dfile x"), "SET error:  Missing or invalid arguments for DFILE option\n");
  EXPECT_EQ(answer(out, "set dfile"), "SET error:  Missing or invalid arguments for DFILE option\n");
  EXPECT_EQ(answer(out, "set dfile 2"), "Default file set to: h.dat \n");
  // The environment stays in world coordinates; grid numbers follow the new file.
  EXPECT_EQ(answer(out, "q dims"),
            "Default file number is: 2 \n"
            "X is varying   Lon = 10 to 20   X = 5 to 9\n"
            "Y is varying   Lat = -30 to 30   Y = 1 to 3\n"
            "Z is fixed     Lev = 1000  Z = 501\n"
            "T is fixed     Time = 00Z01JAN1990  T = 1\n");
  EXPECT_EQ(answer(out, "set x 3"), "LON set to 5 5 \n");
  EXPECT_EQ(answer(out, "set dfile 1"), "Default file set to: g.dat \n");
}

TEST(Set, LoopingAndWarningSwitches) {
  TempDir dir;
  grid(dir);
  std::string out = session(
      dir, "set looping on\nset looping off\nset looping maybe\nset loopdim z\nset loopdim q\n"
           "set loopincr 2.5\nset loopincr\nset misswarn on 1\nset misswarn on 3\n"
           "set misswarn yes 1\nset misswarn off\nset warn off\nset warn\nset datawarn on\n"
           "set datawarn x\n");
  EXPECT_EQ(answer(out, "set looping on"), "Looping is on \n");
  EXPECT_EQ(answer(out, "set looping off"), "Looping is off \n");
  EXPECT_EQ(answer(out, "set looping maybe"),
            "SET error:  Missing or invalid arguments for LOOPING option\n");
  EXPECT_EQ(answer(out, "set loopdim z"), "");
  EXPECT_EQ(answer(out, "set loopdim q"),
            "SET error:  Missing or invalid arguments for LOOPDIM option\n");
  EXPECT_EQ(answer(out, "set loopincr 2.5"), "loopincr = 2.5 \n");
  EXPECT_EQ(answer(out, "set loopincr"),
            "SET error:  Missing or invalid arguments for LOOPINCR option\n");
  EXPECT_EQ(answer(out, "set misswarn on 1"), "");
  EXPECT_EQ(answer(out, "set misswarn on 3"), "SET MISSWARN error:  file 3 not open\n");
  EXPECT_EQ(answer(out, "set misswarn yes 1"),
            "SET error:  Missing or invalid arguments for MISSWARN option\n");
  EXPECT_EQ(answer(out, "set misswarn off"),
            "SET error:  Missing or invalid arguments for MISSWARN option\n");
  EXPECT_EQ(answer(out, "set warn off"), "");
  EXPECT_EQ(answer(out, "set warn"), "SET error:  Missing or invalid arguments for WARN option\n");
  EXPECT_EQ(answer(out, "set datawarn on"), "");
  EXPECT_EQ(answer(out, "set datawarn x"),
            "SET error:  Missing or invalid arguments for DATAWARN option\n");
}

TEST(Set, StationFilesKeepGridValuesAndStillSnapTimes) {
  TempDir dir;
  dsfiles::write_station(dir, "s", 4);
  RunResult r = run_batch("open s.ctl\nset x 2 5\nset lon 10\nset time 20z1jan2000\nq dims\n",
                          dir.path());
  EXPECT_EQ(answer(r.out, "set x 2 5"), "LON set to 2 5 \n");
  EXPECT_EQ(answer(r.out, "set lon 10"), "LON set to 10 10 \n");
  // 12-hourly from 12Z: 20Z is 1.67 steps in, nearest is 00Z on the 2nd.
  EXPECT_EQ(answer(r.out, "set time 20z1jan2000"), "Time values set: 2000:1:2:0 2000:1:2:0 \n");
  EXPECT_EQ(answer(r.out, "q dims"),
            "Default file number is: 1 \n"
            "X is fixed     Lon = 10  X = 10\n"
            "Y is varying   Lat = -90 to 90   Y = -90 to 90\n"
            "Z is fixed     Lev = 500  Z = 500\n"
            "T is fixed     Time = 00Z02JAN2000  T = 2\n");
}

TEST(Set, ReturnCodesStopACommandFile) {
  TempDir dir;
  grid(dir);
  write_file(dir.file("ok.cmd"), "set lon 0 10\nset x 2\nset time 6z1jan1990\nset dfile 1\n"
                                 "set looping off\nset warn on\nset misswarn on 1\n");
  std::vector<std::string> failing = {"set", "set foo", "set lon", "set dfile 2",
                                      "set misswarn on 2", "set cint x", "set time x"};
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
