// "set lats" and "query lats" through the program: the words that only store
// a setting, their refusals, and the state "query lats" reports.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dataset_files.h"
#include "support/vemra_run.h"

using namespace vemra_test;
using dsfiles::answer;
using dsfiles::expect_steps;
using dsfiles::step;

namespace {

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

TEST(LatsSettings, RefusalsKeepTheStoredValues) {
  TempDir dir;
  expect_steps(
      dir, "",
      {
          {"set lats convention grib", "SET LATS CONVENTION error:  invalid argument using the default...\n"},
          {"set lats convention", "SET LATS CONVENTION error:  No arguments....\n"},
          {"set lats calendar julian", "SET LATS CALENDAR error:  Invalid argument using the default...\n"},
          {"set lats frequency often", "SET LATS FREQUENCY error:  Invalid arguments LATS_CREATE WILL FAIL....\n"},
          {"set lats gridtype polar", "SET error:  Missing or invalid arguments for LATS option\n"},
          {"set lats timeoption later", "SET LATS TIMEOPTION error:  invalid option ....\n"},
          {"set lats deltat -6", "SET LATS DELTAT error:  < 0 LATS_CREATE WILL FAIL...\n"},
          {"set lats deltat six", "SET LATS DELTAT error:  invalid or missing increment\n"},
          {"set lats fhour -1", "SET LATS FHOUR error:  < 0 LATS WILL FAIL...\n"},
          {"set lats create", "SET LATS CREATE error:  Missing or invalid arguments"},
          {"set lats vertdim plev", "SET LATS VERTDIM error:  no levels given....\n"},
          {"set lats write 1 2", "SET LATS WRITE error: FILE ID is outside the valid range of 1 - -1\n"},
          {"set lats basetime 1 1990 1 1 0",
           "SET LATS BASETIME error:  FILE ID is 1 but the max FILE ID is -1\n"},
          {"set lats basetime one", "SET LATS BASETIME ID_FILE error:  missing\n"},
          {"set lats var", "LATS VAR ID = -1\n"
                           "SET LATS VAR error:  No arguments! args: fileid varname datatype gridid levid\n"},
          {"set lats var 2 ta average 0 0",
           "LATS VAR ID = -1\nSET LATS VAR error:  FILE ID is 2 but the max FILE ID is -1\n"},
          {"set lats foo bar", "SET LATS error:  Missing or invalid arguments:\n for foo bar option\n"},
      });
  // Nothing above changed a setting.
  RunResult r = run_batch("set lats convention grib\nset lats deltat -6\nq lats\n", dir.path());
  EXPECT_EQ(q_line(r.out, " \t: data CONVENTION"), "3");
  EXPECT_EQ(q_line(r.out, " \t: DELTAT"), "0");
}

TEST(LatsSettings, UsageAndEveryStoredWordInQueryLats) {
  TempDir dir;
  RunResult r = run_batch(
      "set lats\n"
      "set lats parmtab\n"
      "set lats convention coards\nset lats calendar noleap\nset lats frequency forecast_hourly\n"
      "set lats deltat 0\nset lats fhour 120\nset lats model MRF Exp 1\n"
      "set lats center NCEP\nset lats comment Test Run\nset lats gridname Fine\n"
      "set lats gridtype gaussian\nq lats\n",
      dir.path());
  std::string usage = answer(r.out, "set lats");
  // Eighteen lines, the last followed by an empty one.
  EXPECT_EQ(std::count(usage.begin(), usage.end(), '\n'), 19);
  EXPECT_EQ(usage.rfind("SET LATS error:  No arguments....\n  valid arguments are: \n", 0), 0u);
  EXPECT_NE(usage.find("  close (e.g., set lats close)\n\n"), std::string::npos);
  EXPECT_EQ(answer(r.out, "set lats parmtab"), "SET LATS PARMTAB error:  No arguments....\n");
  std::string q = answer(r.out, "q lats");
  EXPECT_EQ(q.rfind("Vemra-LATS Interface State:\n \t:parameter table file", 0), 0u) << q;
  // Codes as stored: coards 4, noleap 0x1011, forecast hourly 8 with the
  // forecast time option; texts keep the case they were typed in.
  EXPECT_EQ(q_line(r.out, " \t: data CONVENTION"), "4");
  EXPECT_EQ(q_line(r.out, " \t: data CALENDAR"), std::to_string(0x1011));
  EXPECT_EQ(q_line(r.out, " \t: data time FREQEUENCY"), "8");
  EXPECT_EQ(q_line(r.out, " \t: MODEL"), "MRF Exp 1");
  EXPECT_EQ(q_line(r.out, " \t: GRIDTYPE"), "1");
}

// Longer texts than their fields are refused whole rather than cut.
TEST(LatsSettings, OverlongTextsAreRefused) {
  TempDir dir;
  std::string centre(40, 'c');
  expect_steps(dir, "",
               {{"set lats center " + centre,
                 "SET LATS CENTER error:  text longer than 32 characters\n"},
                {"set lats center " + centre.substr(0, 32), ""}});
}
