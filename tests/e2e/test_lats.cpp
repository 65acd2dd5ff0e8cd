// "set lats", "query lats" and the output types latsgrid and latsdata
// through the program: the words that only store a setting and their
// refusals, displayed fields written to netCDF, read back by ncdump and by
// vemra's own sdfopen, and the bridge's refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "sdf_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;
using dsfiles::expect_steps;
using sdffiles::printed_values;

namespace {

constexpr float kUndef = -9.99e33f;

// "a" on two levels; undefined at one point of the first time.
float a_at(int x, int y, int z, int t) {
  if (x == 3 && y == 2 && t == 1) return kUndef;
  return float(x + 10 * y + 100 * z + 1000 * t) / 4.0f;
}

// lon 0..30 by 10, lat -10..10 by 10, levels 1000 and 500, 6-hourly.
void write_dataset(const TempDir& dir) {
  write_file(dir.file("d.ctl"),
             "dset ^d.dat\ntitle LATS test\nundef -9.99e33\n"
             "xdef 4 linear 0 10\nydef 3 linear -10 10\nzdef 2 levels 1000 500\n"
             "tdef 2 linear 00z01jan2000 6hr\nvars 1\na 2 0 A\nendvars\n");
  std::vector<float> v;
  for (int t = 1; t <= 2; t++)
    for (int z = 1; z <= 2; z++)
      for (int y = 1; y <= 3; y++)
        for (int x = 1; x <= 4; x++) v.push_back(a_at(x, y, z, t));
  write_file(dir.file("d.dat"), std::string(reinterpret_cast<const char*>(v.data()), v.size() * 4));
}

const std::string kEnv = "open d.ctl\nset x 1 4\nset y 1 3\nset z 1\nset t 1\n";

// A file of one variable on both levels, declared from the displayed grid.
std::string declare(const std::string& convention) {
  return "set lats convention " + convention +
         "\nset lats frequency hourly\nset lats deltat 6\n"
         "set lats create out\nset lats vertdim plev 1000 500\nset gxout latsgrid\nd a\n"
         "set lats var 1 ta instant 1 1\nset gxout latsdata\n";
}

// Writes times 1 and 2 at both levels, level 500 first at the second time.
const std::string kWrites =
    "set lats write 1 1 1000\nd a\nset z 2\nset lats write 1 1 500\nd a\n"
    "set t 2\nd a\nset z 1\nset lats write 1 1 1000\nd a\n";

// The line of "query lats" that ends with the given label.
std::string q_line(const std::string& out, const std::string& label) {
  size_t p = out.rfind("ka-> q lats\n");
  if (p == std::string::npos) return "<no query>";
  p = out.find(label, p);
  if (p == std::string::npos) return "<no line>";
  size_t b = out.rfind('\n', p) + 1;
  return out.substr(b, p - b);
}

}  // namespace

// The whole road: grid, variable, four writes and, with "-x", the close
// before the program returns; the times ncdump sees and the values sdfopen
// reads back.
TEST(LatsOutput, CoardsFileClosedBeforeExitAndReadBack) {
  TempDir dir;
  write_dataset(dir);
  write_file(dir.file("cmds"), kEnv + declare("coards") + kWrites);
  RunResult r = run_vemra({"-b", "-x", "-c", "exec cmds"}, "", dir.path());
  EXPECT_EQ(r.status, 99);
  EXPECT_EQ(r.err, "") << r.err;
  for (const char* id : {"LATS FILE ID = 1\n", "LATS VERTDIM ID = 1\n", "LATS VAR ID = 1\n",
                         "LATS GRID ID = 1\n", "LATS DATA_WRITE ID = 1\n"})
    EXPECT_NE(r.out.find(id), std::string::npos) << id;
  EXPECT_EQ(sdffiles::ncdump_values(dir.file("out.nc"), "time"), (std::vector<double>{0, 6}));

  std::string in = "sdfopen out.nc\nset x 1 4\nset y 1 3\nset gxout print\n";
  for (int t = 1; t <= 2; t++)
    for (int z = 1; z <= 2; z++)
      in += "set t " + std::to_string(t) + "\nset lev " + (z == 1 ? "1000" : "500") + "\nd ta\n";
  RunResult back = run_batch(in, dir.path());
  size_t at = 0;
  for (int t = 1; t <= 2; t++)
    for (int z = 1; z <= 2; z++) {
      at = back.out.find("ka-> d ta\n", at + 1);
      ASSERT_NE(at, std::string::npos) << back.out;
      std::vector<double> got = printed_values(back.out.substr(at), "d ta");
      ASSERT_EQ(got.size(), 12u) << back.out.substr(at, 400);
      for (int y = 1; y <= 3; y++)
        for (int x = 1; x <= 4; x++) {
          double want = a_at(x, y, z, t), g = got[size_t((y - 1) * 4 + x - 1)];
          if (want == kUndef)
            EXPECT_FLOAT_EQ(float(g), kUndef);
          else
            EXPECT_NEAR(g, want, 1e-4) << x << " " << y << " " << z << " " << t;
        }
    }
}

// Refusals of the bridge: none ends the session, each says why and returns
// an id that can't be mistaken for a real one.
TEST(LatsOutput, BridgeRefusals) {
  TempDir dir;
  write_dataset(dir);
  RunResult r = run_batch("set lats create early\n" + kEnv + declare("coards") +
                              "set lats var 1 nosuch instant 1 1\n"
                              "set lats var 1 ta instant 0 0\n"
                              "set lats vertdim plev 850\n"
                              "set x 1 3\nset lats write 1 1 1000\nd a\n"
                              "set x 1 4\nset y 1\nset z 1 2\nd a\nq lats\n",
                          dir.path());
  // Frequency unset at start: the writer refuses the file.
  EXPECT_EQ(answer(r.out, "set lats create early"), "LATS FILE ID = 0\n");
  // A refused declaration is 0, not a variable id; the highest id stays 1.
  EXPECT_EQ(answer(r.out, "set lats var 1 nosuch instant 1 1"), "LATS VAR ID = 0\n");
  EXPECT_EQ(answer(r.out, "set lats var 1 ta instant 0 0"),
            "Vemra-LATS Error:  (lats_var) the LATS GRID ID is out of bounds\nLATS VAR ID = 0\n");
  EXPECT_EQ(answer(r.out, "set lats vertdim plev 850"),
            "Vemra-LATS Error:  (lats_vert_dim) a vertical dimension is already defined; use set "
            "lats reset first\nLATS VERTDIM ID = -999\n");
  // A field of another size than the declared grid is not written.
  EXPECT_NE(r.out.find("ka-> d a\nVemra-LATS Error: (lats_write) the field is 3 x 3 but the grid "
                       "of variable 1 is 4 x 3\nLATS DATA_WRITE ID = 0\n"
                       "Vemra-LATS Error: (lats_write) failed...\n"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.out.find("ka-> d a\nVemra-LATS Error:  (lats_write) the dimension environment must "
                       "be fixed in z and t\n"),
            std::string::npos);
  EXPECT_NE(answer(r.out, "q lats").find("\n1 \t: id_var LATS internal ID\n"), std::string::npos);
  // Nothing was written: the file closed at quit is not made, and that is said.
  EXPECT_FALSE(file_exists(dir.file("out.nc")));
  EXPECT_NE(r.err.find("LATS warning (lats_close): netCDF (latsnc) --> No field was written to "
                       "out.nc; no file was made\n"),
            std::string::npos)
      << r.err;
}

// A basetime names a day its month has under the file's calendar, as a
// month or an hour out of range is refused; a climatology's leap day is
// there when its calendar has one.
TEST(LatsSettings, BasetimeRefusesDaysTheMonthHasNot) {
  TempDir dir;
  const struct {
    const char* calendar;
    const char* date;
    int rc;
  } cases[] = {
      {"standard", "2000 2 30 0", 1}, {"standard", "2001 2 29 0", 1},
      {"standard", "1900 2 29 0", 1}, {"standard", "2000 4 31 0", 1},
      {"standard", "2000 13 1 0", 1}, {"standard", "2000 1 1 25", 1},
      {"standard", "2000 2 29 0", 0}, {"standard", "2001 1 31 0", 0},
      {"noleap", "2000 2 29 0", 1},   {"noleap", "2000 2 28 0", 0},
      {"clim", "2000 2 29 0", 1},     {"climleap", "2001 2 29 0", 0},
  };
  // One file per case: a basetime is set at most once.
  std::string script = "'set lats frequency daily'\n'set lats deltat 1'\n";
  int id = 0;
  for (const auto& c : cases) {
    id++;
    script += std::string("'set lats calendar ") + c.calendar + "'\n'set lats create f" +
              std::to_string(id) + "'\n'set lats basetime " + std::to_string(id) + " " + c.date +
              "'\nsay 'rc=' rc\n";
  }
  write_file(dir.file("b.gs"), script);
  RunResult r = run_batch("run b.gs\n", dir.path());
  std::string want;
  for (const auto& c : cases)
    want += c.rc ? "Vemra-LATS Error: (lats_basetime) failed...\nrc=1\n" : "rc=0\n";
  EXPECT_EQ(answer(r.out, "run b.gs"), want) << r.err;
  // The writer says which day it refused, as it says which month.
  EXPECT_NE(r.err.find("Invalid day: 30, file f1.grb"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Invalid day: 29, file f2.grb"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("Invalid month: 13, file f5.grb"), std::string::npos) << r.err;
}

TEST(LatsSettings, RefusalsKeepTheStoredValues) {
  TempDir dir;
  expect_steps(
      dir, "",
      {
          {"set lats convention grib",
           "SET LATS CONVENTION error:  invalid argument using the default...\n"},
          {"set lats frequency often",
           "SET LATS FREQUENCY error:  Invalid arguments LATS_CREATE WILL FAIL....\n"},
          {"set lats gridtype polar", "SET error:  Missing or invalid arguments for LATS option\n"},
          {"set lats deltat -6", "SET LATS DELTAT error:  < 0 LATS_CREATE WILL FAIL...\n"},
          // The message has no line end of its own: the prompt still starts a line.
          {"set lats create", "SET LATS CREATE error:  Missing or invalid arguments\n"},
          {"set lats vertdim plev", "SET LATS VERTDIM error:  no levels given....\n"},
          {"set lats write 1 2",
           "SET LATS WRITE error: FILE ID is outside the valid range of 1 - -1\n"},
          {"set lats basetime 1 1990 1 1 0",
           "SET LATS BASETIME error:  FILE ID is 1 but the max FILE ID is -1\n"},
          {"set lats var",
           "LATS VAR ID = -1\n"
           "SET LATS VAR error:  No arguments! args: fileid varname datatype gridid levid\n"},
          {"set lats foo bar",
           "SET LATS error:  Missing or invalid arguments:\n for foo bar option\n"},
          // Longer texts than their fields are refused whole rather than cut.
          {"set lats center " + std::string(40, 'c'),
           "SET LATS CENTER error:  text longer than 32 characters\n"},
          {"set lats center " + std::string(32, 'c'), ""},
      });
  // Nothing above changed a setting.
  RunResult r = run_batch("set lats convention grib\nset lats deltat -6\nq lats\n", dir.path());
  EXPECT_EQ(q_line(r.out, " \t: data CONVENTION"), "3");
  EXPECT_EQ(q_line(r.out, " \t: DELTAT"), "0");
}

// A level past the float range is refused where a word that is no number
// ends the list or stands for none: no vertical dimension is declared, no
// write armed, and a script sees the failure. The word that is no number
// shows what the refused one would have become.
TEST(LatsSettings, LevelsPastTheFloatRangeAreRefused) {
  TempDir dir;
  write_dataset(dir);
  const std::string armed = kEnv + declare("coards") + "set lats write 1 1 1000\n";
  struct level_case {
    std::string setup, command, answer, label, value;
    int rc;
  } cases[] = {
      {"", "set lats vertdim plev 850 1e39 500", "SET LATS VERTDIM error:  invalid level value\n",
       " \t: # of vertical levels", "0", 1},
      {"", "set lats vertdim plev 850 x 500", "LATS VERTDIM ID = 1\n", " \t: # of vertical levels",
       "1", 0},
      {armed, "set lats write 1 1 0e400", "SET LATS WRITE error:  invalid LEVEL value given...\n",
       " \t: id_user_write", "0", 1},
      {armed, "set lats write 1 1 x", "LATS WRITE ID = 1\n", " \t: id_user_write", "1", 0},
  };
  for (const level_case& c : cases) {
    write_file(dir.file("rc.gs"), "'" + c.command + "'\nsay 'rc=' rc\n");
    RunResult r = run_batch(c.setup + c.command + "\nq lats\n", dir.path());
    EXPECT_EQ(answer(r.out, c.command), c.answer) << c.command;
    EXPECT_EQ(q_line(r.out, c.label), c.value) << c.command;
    r = run_batch(c.setup + "run rc.gs\n", dir.path());
    EXPECT_NE(r.out.find("rc=" + std::to_string(c.rc) + "\n"), std::string::npos)
        << c.command << r.out;
  }
}

// A look-up that fails before a write is reported under the write, not
// under the routine that ran before it.
TEST(LatsOutput, LookupBeforeAWriteNamesTheWrite) {
  TempDir dir;
  write_dataset(dir);
  RunResult r = run_batch(kEnv + declare("coards") +
                              "set lats create out2\nset lats var 2 ta instant 1 1\n"
                              "set lats write 1 2 1000\nd a\n",
                          dir.path());
  EXPECT_NE(r.out.find("LATS VAR ID = 2\n"), std::string::npos) << r.out;
  EXPECT_NE(r.err.find("LATS error (lats_write): LATS (latsint) --> Variable ID: 2, not found"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.out.find("LATS DATA_WRITE ID = 0\n"), std::string::npos);
}

TEST(LatsSettings, UsageAndEveryStoredWordInQueryLats) {
  TempDir dir;
  RunResult r = run_batch(
      "set lats\n"
      "set lats parmtab\n"
      "set lats convention coards\nset lats calendar noleap\nset lats frequency forecast_hourly\n"
      "set lats deltat 0\nset lats fhour 120\nset lats model MRF Exp 1\n"
      "set lats center NCEP\nset lats comment Test Run\nset lats gridname Fine\n"
      "set lats gridtype gaussian\nset lats parmtab No.Such.Table\nset lats create Out.Name\n"
      "q lats\n",
      dir.path());
  std::string usage = answer(r.out, "set lats");
  // Eighteen lines, the last followed by an empty one.
  EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 19);
  EXPECT_EQ(usage.rfind("SET LATS error:  No arguments....\n  valid arguments are: \n", 0), 0u);
  EXPECT_NE(usage.find("  close (e.g., set lats close)\n\n"), std::string::npos);
  EXPECT_EQ(answer(r.out, "set lats parmtab"), "SET LATS PARMTAB error:  No arguments....\n");
  std::string q = answer(r.out, "q lats");
  EXPECT_EQ(q.rfind("Vemra-LATS Interface State:\nNo.Such.Table \t:parameter table file", 0), 0u)
      << q;
  // Codes as stored: coards 4, noleap 0x1011, forecast hourly 8 with the
  // forecast time option; texts are stored lower-cased.
  EXPECT_EQ(q_line(r.out, " \t: data CONVENTION"), "4");
  EXPECT_EQ(q_line(r.out, " \t: data CALENDAR"), std::to_string(0x1011));
  EXPECT_EQ(q_line(r.out, " \t: data time FREQEUENCY"), "8");
  EXPECT_EQ(q_line(r.out, " \t: MODEL"), "mrf exp 1");
  EXPECT_EQ(q_line(r.out, " \t: data CENTER"), "ncep");
  EXPECT_EQ(q_line(r.out, " \t: COMMENT"), "test run");
  EXPECT_EQ(q_line(r.out, " \t: GRIDNAME grid type parameter"), "fine");
  // File names keep the case typed.
  EXPECT_EQ(q_line(r.out, " \t: output file"), "Out.Name");
  EXPECT_EQ(q_line(r.out, " \t: GRIDTYPE"), "1");
}
