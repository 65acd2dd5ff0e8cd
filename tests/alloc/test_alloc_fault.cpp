// Fails the Nth allocation of a command, for every N until the command runs
// through: the command must fail with a message, leave nothing allocated and
// leave the session usable. The program replaces the global operator new, so
// it is a test program of its own.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "base/alloc.h"
#include "base/message.h"
#include "base/mfcmn.h"
#include "base/session.h"
#include "cmd/dispatch.h"
#include "gx/gx.h"
#include "lats/latsint.h"
#include "sdf/sdf.h"
#include "support/open_descriptors.h"
#include "support/station_writer.h"
#include "support/stdout_capture.h"

namespace {

long long live = 0;       // blocks handed out and not yet released
long long countdown = 0;  // the allocation that brings this to 0 fails
bool fault_hit = false;

bool take(bool fresh) {
  if (countdown > 0 && --countdown == 0) {
    fault_hit = true;
    return false;
  }
  if (fresh) ++live;
  return true;
}

void* allocate(std::size_t n) {
  if (!take(true)) throw std::bad_alloc();
  if (void* p = std::malloc(n ? n : 1)) return p;
  --live;
  throw std::bad_alloc();
}

void release(void* p) noexcept {
  if (!p) return;
  --live;
  std::free(p);
}

bool before_alloc(bool fresh) { return take(fresh); }
void after_free() { --live; }
const alloc_observer observer{before_alloc, after_free};

}  // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return allocate(n);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { release(p); }

namespace {

const std::string sample = std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl";

// Scratch files of this process alone: suites of several builds running at
// once must not share them.
const std::string scratch_dir =
    std::string(::testing::TempDir()) + "vemra_alloc_" + std::to_string(::getpid()) + "/";
const std::string& scratch() { return scratch_dir; }

class AllocationFault : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    // The fonts decide how much a display draws, and so where the display
    // list grows: run directly, the suite finds them as under ctest.
    setenv("KADDIR", VEMRA_DATA_DIR, 0);
    std::filesystem::create_directories(scratch());
    StdoutCapture quiet;
    gxstrt(11, 8.5f, true);
    gcmn->page_width = 11;
    gcmn->page_height = 8.5f;
    gcmn->batch = 1;
    sdf_install(kacmd);
    kainit();
    kaset_alloc_observer(&observer);
  }
  static void TearDownTestSuite() {
    kaset_alloc_observer(nullptr);
    std::error_code ec;
    std::filesystem::remove_all(scratch(), ec);
  }

  // Runs one command line, failing its allocation fail_at (0: none); out
  // gets what it printed.
  static int run(const std::string& line, std::string* out = nullptr, long long fail_at = 0) {
    StdoutCapture cap;
    fault_hit = false;
    countdown = fail_at;
    int rc = kacmd(line, gcmn, 0);
    countdown = 0;
    if (out) *out = cap.text();
    return rc;
  }

  // What an open that failed must leave as it found it: the file list, the
  // calendar and the dimension environment.
  struct open_state {
    int files, calendar;
    float lon[2];
    date_time start;
  };
  static open_state open_state_now() {
    return {gcmn->file_count,
            mfcmn.calendar_365,
            {gcmn->dim_min[0], gcmn->dim_max[0]},
            gcmn->time_start};
  }
  static bool same(const open_state& a, const open_state& b) {
    return a.files == b.files && a.calendar == b.calendar && a.lon[0] == b.lon[0] &&
           a.lon[1] == b.lon[1] && a.start.year == b.start.year && a.start.month == b.start.month &&
           a.start.day == b.start.day && a.start.hour == b.start.hour;
  }

  // Fails allocation 1, 2, ... of command until it runs without a fault.
  // undo (may be empty) takes back what the command left in the session.
  // With files, the files the process holds open are counted as well, and
  // the command is an open that must leave the session as it found it.
  static void fail_each_allocation(const std::string& command, const std::string& undo,
                                   bool script = false, bool files = false) {
    ASSERT_EQ(run(command), 0) << command;
    if (!undo.empty()) {
      ASSERT_EQ(run(undo), 0) << undo;
    }
    ASSERT_EQ(run("q file"), gcmn->file_count > 0 ? 0 : 1);
    const long long before = live;
    const long open_before = open_descriptors();
    for (long long n = 1;; ++n) {
      {
        // No calendar yet, and an environment no open sets.
        if (files) {
          mfcmn.calendar_365 = -999;
          gcmn->dim_min[0] = gcmn->dim_max[0] = -1;
          gcmn->time_start = {1, 2, 3, 4, 0};
        }
        const open_state marked = open_state_now();
        std::string out;
        const int rc = run(command, &out, n);
        if (files && fault_hit) {
          EXPECT_TRUE(same(open_state_now(), marked))
              << command << ": allocation " << n << " failed and the session changed, calendar "
              << mfcmn.calendar_365 << ", files " << gcmn->file_count << ", lon "
              << gcmn->dim_min[0] << " " << gcmn->dim_max[0];
        }
        if (!fault_hit) {
          EXPECT_EQ(rc, 0) << command;
          if (!undo.empty()) run(undo);
          break;
        }
        std::string lower = out;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        // A script that fails while it runs ends with its own code, 99.
        EXPECT_TRUE(rc == 1 || (script && rc == 99))
            << command << ": allocation " << n << " failed, rc " << rc << ", output:\n"
            << out;
        EXPECT_NE(lower.find("allocat"), std::string::npos)
            << command << ": allocation " << n << ":\n"
            << out;
        EXPECT_EQ(run(command), 0) << command << " after allocation " << n << " failed";
        EXPECT_EQ(run("q file"), 0);
        if (!undo.empty()) run(undo);
      }
      EXPECT_EQ(live, before) << command << ": blocks left after allocation " << n << " failed";
      if (files) {
        EXPECT_EQ(open_descriptors(), open_before)
            << command << ": files left open after allocation " << n << " failed";
      }
      if (::testing::Test::HasFailure()) break;
    }
  }
};

TEST_F(AllocationFault, OpenFailsCleanly) {
  fail_each_allocation("open " + sample, "close 1", false, true);
  // A self-describing file holds netCDF ids besides memory.
  const std::string nc = scratch() + "alloc_fault.nc";
  const std::string make = "ncgen -o " + nc + " " VEMRA_SOURCE_DIR "/tests/sdf/cdl/latlon.cdl";
  ASSERT_EQ(std::system(make.c_str()), 0);
  fail_each_allocation("sdfopen " + nc, "close 1", false, true);
  // Through a descriptor that gives some scalings and names the variables.
  const std::string ctl = scratch() + "alloc_fault_xdf.ctl";
  std::ofstream(ctl) << "dset ^alloc_fault.nc\ntitle faults\nundef -999\nxdef lon\n"
                        "ydef lat 4 levels -67.5 -22.5\n 22.5 67.5\n"
                        "tdef time 3 linear 00z1jan2000 6hr\nvars 2\ntas=>t2 0 99 air temperature\n"
                        "ps\nendvars\n";
  fail_each_allocation("xdfopen " + ctl, "close 1", false, true);
}

// The per-time table of a template series names the command it fails:
// building the table and keeping it both fail as sdfopen's allocation.
TEST_F(AllocationFault, TemplateTableFailureNamesSdfopen) {
  const std::string nc = scratch() + "d01.nc";
  ASSERT_EQ(
      std::system(("ncgen -o " + nc + " " VEMRA_SOURCE_DIR "/tests/sdf/cdl/daily.cdl").c_str()), 0);
  const std::string command = "sdfopen " + nc + " " + scratch() + "d%d2.nc 8";
  ASSERT_EQ(run(command), 0);
  ASSERT_EQ(run("close 1"), 0);
  int named = 0;
  for (long long n = 1;; ++n) {
    std::string out;
    const int rc = run(command, &out, n);
    if (!fault_hit) {
      run("close 1");
      break;
    }
    EXPECT_EQ(rc, 1) << "allocation " << n;
    if (out.find("SDFOPEN error:  Memory allocation error.\n") != std::string::npos) ++named;
  }
  EXPECT_GE(named, 2);
}

TEST_F(AllocationFault, DisplayDefineAndRunFailCleanly) {
  ASSERT_EQ(run("open " + sample), 0);
  run("set lat 20 60");
  run("set lev 500");
  fail_each_allocation("display ave(t, t=1, t=3) - z/1000", "");
  fail_each_allocation("define tz = t(lev=850) - t + aave(t, lon=0, lon=90, lat=20, lat=60)",
                       "undefine tz");
  const std::string script = scratch() + "alloc_fault.gs";
  std::ofstream(script) << "'set t 2'\n'd u*u + v*v'\nline = sublin(result, 1)\n'define w = "
                           "t*2'\nsay subwrd(line, 1)\n";
  fail_each_allocation("run " + script, "undefine w", true);
  run("close 1");
}

// Functions that hold grids of their own while they evaluate their arguments.
TEST_F(AllocationFault, AnalysisFunctionsFailCleanly) {
  ASSERT_EQ(run("open " + sample), 0);
  run("set lat 20 60");
  run("set lev 500");
  fail_each_allocation(
      "display hdivg(u, v)*1e5 + cdiff(t, x) + smth9(z)/1000 + vint(slp, t, 300)/1000", "");
  run("set x 1");
  run("set t 1 3");
  fail_each_allocation(
      "display tloop(aave(t, lon=0, lon=90, lat=20, lat=60)) + gint(z, lev=850, lev=500)/1000", "");
  run("close 1");
}

// A display holds its results, of either kind, and the grids its plots add
// (here the reversed copies of a vector plot) until it ends; a failure at
// any allocation releases every one of them.
TEST_F(AllocationFault, HeldResultsOfBothKindsAreReleased) {
  ASSERT_EQ(run("open " + sample), 0);
  run("set lat 20 60");
  run("set lev 500");
  const std::string script = scratch() + "alloc_held.gs";
  std::ofstream(script) << "'set xyrev on'\n'd u;v;t'\n";
  fail_each_allocation("run " + script, "", true);
  run("close 1");

  stnw::dataset ds;
  ds.surface_vars = {"ps"};
  ds.level_vars = {"u", "v"};
  ds.times = {{stnw::upper_report("KDEN", 39.75f, -104.875f, {{500, {3, 4}}}, {830}),
               stnw::upper_report("EGLL", 51.5f, -0.5f, {{500, {-6, 8}}}, {1012})}};
  const stnw::files f = stnw::write(scratch(), "alloc_held", ds);
  ASSERT_EQ(run("open " + f.ctl), 0);
  run("set lev 500");
  fail_each_allocation("display u;v", "");
  fail_each_allocation("display ps;u+1", "");
  run("close 1");
}

}  // namespace

namespace {

// The imprun script runs before every display but not inside itself; a
// display whose script runs out of memory must not leave it switched off.
TEST_F(AllocationFault, ImprunRunsAgainAfterItFailed) {
  ASSERT_EQ(run("open " + sample), 0);
  run("set lev 500");
  run("set x 1");
  run("set y 1");
  const std::string script = scratch() + "alloc_imprun.gs";
  std::ofstream(script) << "'q time'\nsay 'imprun ' subwrd(result, 3)\n'd t*3'\n";
  ASSERT_EQ(run("set imprun " + script), 0);
  std::string out;
  int faults = 0;
  for (long long n = 1;; ++n) {
    run("display t", &out, n);
    if (!fault_hit) break;
    ++faults;
    run("display t+1", &out);
    // Once from the outer display; the display in the script does not run it again.
    const size_t first = out.find("imprun 00Z01JAN2000");
    EXPECT_NE(first, std::string::npos) << "allocation " << n << ":\n" << out;
    EXPECT_EQ(out.find("imprun", first + 1), std::string::npos) << "allocation " << n << ":\n"
                                                                << out;
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(faults, 0);
  run("set imprun off");
  run("close 1");
}

// A flipped axis draws on a scaled map for one plot only: a plot that runs
// out of memory gives the session its projection back all the same.
TEST_F(AllocationFault, FailedFlippedPlotKeepsTheProjection) {
  ASSERT_EQ(run("open " + sample), 0);
  run("set lat 20 80");
  run("set lev 500");
  ASSERT_EQ(run("set mproj nps"), 0);
  ASSERT_EQ(run("set xflip on"), 0);
  int faults = 0;
  for (long long n = 1;; ++n) {
    run("display t", nullptr, n);
    if (!fault_hit) break;
    ++faults;
    EXPECT_EQ(gcmn->mproj, map_projection::nps) << "allocation " << n;
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(faults, 0);
  run("set xflip off");
  run("set mproj latlon");
  run("close 1");
}

// A writer table load that runs out of memory installs nothing of itself and
// leaves errors as fatal as they were before it.
TEST_F(AllocationFault, ParameterTableLoadIsAllOrNothing) {
  const std::string dir = scratch();
  std::ofstream(dir + "alloc_a.tab") << "aonly | 11 | A | K | float | | 1 | | x | y\n"
                                     << "#!qc\naonly | | 0 | 250 | 10 | 3 | 60 | 1.5\n";
  std::ofstream(dir + "alloc_b.tab")
      << "bonly | 12 | B | K | float | | 1 | | x | y\n"
      << "#! vertical\n#!qc\nbonly | | 0 | 250 | 10 | 3 | 60 | 1.5\n";
  lats_erropt(1);  // fatal and quiet: a load that reports an error would end the test
  const std::string a_tab = dir + "alloc_a.tab", b_tab = dir + "alloc_b.tab";
  int faults = 0;
  for (long long n = 1;; ++n) {
    ASSERT_EQ(lats_parmtab(a_tab.c_str()), 1);
    fault_hit = false;
    countdown = n;
    bool thrown = false;
    try {
      EXPECT_EQ(lats_parmtab(b_tab.c_str()), 1) << "allocation " << n;
    } catch (const std::bad_alloc&) {
      thrown = true;
    }
    countdown = 0;
    EXPECT_EQ(latsOptions().lats_fatal, 1) << "allocation " << n;
    // A failed allocation the sorting does without is no failed load.
    const bool b_in = !thrown;
    EXPECT_EQ(latsParmLookup("bonly") != nullptr, b_in) << "allocation " << n;
    EXPECT_EQ(latsParmLookup("aonly") != nullptr, !b_in) << "allocation " << n;
    EXPECT_EQ(latsQCLookup("bonly", "", 0, 1e-6) != nullptr, b_in) << "allocation " << n;
    EXPECT_EQ(latsQCLookup("aonly", "", 0, 1e-6) != nullptr, !b_in) << "allocation " << n;
    if (!fault_hit || ::testing::Test::HasFailure()) break;
    faults += thrown;
  }
  EXPECT_GT(faults, 0);
  lats_erropt(2);
}

}  // namespace
