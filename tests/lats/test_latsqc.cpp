// Quality control: area-weighted mean and range of each field against its
// reference row; exceptions appended to the log file named by LATS_LOG.
#include <malloc.h>

#include <cstdlib>

#include "lats/latsint.h"
#include "lats_support.h"

#ifdef __SANITIZE_ADDRESS__
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

using LatsQuality = latstest::Writer;

const char* qc_table =
    "ta | 11 | Air temperature | K | float | | 1 | | x | y\n"
    "#!vert\n"
    "plev | Pressure level | hPa | multi | down | 100 | 0 | 0 | 0\n"
    "#!center\n"
    "pcmdi | 100 | 100 | 2\n"
    "#!qc\n"
    "ta | plev | 500 | 250 | 10 | 3 | 60 | 1.5\n";

TEST_F(LatsQuality, MeanThenRangeExceptionsAreLogged) {
  vemra_test::write_file(path("qc.tab"), qc_table);
  ASSERT_EQ(lats_parmtab(path("qc.tab").c_str()), 1);
  setenv("LATS_LOG", path("qc.log").c_str(), 1);
  int fid = lats_create(path("q").c_str(), LATS_GRIB_ONLY, LATS_STANDARD, LATS_HOURLY, 6, "pcmdi",
                        "m", "c");
  // Twelve longitudes of equal weight, two latitudes of equal weight.
  int gid = latstest::grid(latstest::ramp(0, 30, 12), {-15, 15});
  double levs[2] = {850, 500};
  int var =
      lats_var(fid, "ta", LATS_FLOAT, LATS_INSTANT, gid, lats_vert_dim("p", "plev", 2, levs), "");
  ASSERT_GT(var, 0);
  // Mean 300 (50 off, limit 3 x 10) and range 100 (limit 1.5 x 60): only
  // the mean is reported.
  std::vector<float> off(24), wide(24);
  for (size_t k = 0; k < 24; ++k) {
    off[k] = k % 2 ? 350.0f : 250.0f;
    wide[k] = k % 2 ? 305.0f : 205.0f;
  }
  std::string err = latstest::stderr_of(
      [&] { EXPECT_EQ(lats_write(fid, var, 500, 2000, 1, 2, 6, off.data()), 1); });
  EXPECT_EQ(err,
            "LATS warning (lats_write): Quality control exception, variable ta, level "
            "500.000000, time  6Z2Jan2000; see log file\n");
  // No row for 850: nothing checked.
  err = latstest::stderr_of(
      [&] { EXPECT_EQ(lats_write(fid, var, 850, 2000, 1, 2, 6, off.data()), 1); });
  EXPECT_EQ(err, "");
  // Mean 255 passes; the range of 100 does not.
  EXPECT_EQ(lats_write(fid, var, 500, 2000, 1, 2, 12, wide.data()), 1);
  // A table loaded while the file is open leaves its variable as declared:
  // its parameter row and its QC rows (the new table has none for ta).
  ASSERT_EQ(latsParmCreateDefaultTable(), 1);
  ASSERT_EQ(latsQCLookup("ta", "plev", 500, 1e-6), nullptr);
  EXPECT_EQ(lats_write(fid, var, 850, 2000, 1, 2, 12, wide.data()), 1);
  EXPECT_EQ(latsFileLookup(fid)->varlist->parm->id, 11);
  EXPECT_EQ(lats_write(fid, var, 500, 2000, 1, 2, 18, off.data()), 1);
  EXPECT_EQ(lats_close(fid), 1);
  unsetenv("LATS_LOG");

  std::istringstream log(vemra_test::read_file(path("qc.log")));
  std::vector<std::string> lines;
  for (std::string l; std::getline(log, l);) lines.push_back(l.substr(0, l.rfind('|')));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "E|ta|2000010206|500.000000|mean|300.000000|250.000000|30.000000");
  EXPECT_EQ(lines[1], "E|ta|2000010212|500.000000|range|100.000000|60.000000|90.000000");
  EXPECT_EQ(lines[2], "E|ta|2000010218|500.000000|mean|300.000000|250.000000|30.000000");
}

// Bytes of the heap in use (the sanitizer's own count in its build).
size_t heap_in_use() {
#ifdef __SANITIZE_ADDRESS__
  return __sanitizer_get_current_allocated_bytes();
#else
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;  // large blocks are mapped on their own
#endif
}

// Each load replaces the rows of the one before: a session that loads its
// tables again and again keeps one load's worth of QC rows.
TEST_F(LatsQuality, ReloadedTablesKeepOneLoad) {
  std::string table = "ta | 11 | Air temperature | K | float | | 1 | | x | y\n#!qc\n";
  for (int k = 0; k < 2000; ++k)
    table += "ta | plev | " + std::to_string(k) + " | 250 | 10 | 3 | 60 | 1.5\n";
  vemra_test::write_file(path("big.tab"), table);
  ASSERT_EQ(lats_parmtab(path("big.tab").c_str()), 1);
  const size_t before = heap_in_use();
  for (int n = 0; n < 40; ++n) ASSERT_EQ(lats_parmtab(path("big.tab").c_str()), 1);
  // 2000 rows take over 500 kB a load; forty loads kept would be 20 MB.
  EXPECT_LT(heap_in_use(), before + (2u << 20));
  EXPECT_NE(latsQCLookup("ta", "plev", 1999, 1e-6), nullptr);
  ASSERT_EQ(latsParmCreateDefaultTable(), 1);
}

}  // namespace
