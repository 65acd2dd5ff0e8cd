// The netCDF and image libraries are loaded when a run first needs them, so
// a run that reads neither starts without the ninety libraries they bring.
// The dynamic loader's own trace (LD_DEBUG=files) says what was loaded.
#include <gtest/gtest.h>

#include <string>

#include "e2e/sdf_files.h"
#include "support/live_session.h"

using namespace vemra_test;

namespace {

const std::string sample = std::string(VEMRA_DATA_DIR) + "/../sample/sample.ctl";

RunResult traced(const std::string& input, const TempDir& dir) {
  return run_batch(input, dir.path(), {}, {"LD_DEBUG=files"});
}

bool loaded(const RunResult& r, const std::string& library) {
  return contains(r.err, "file=" + library);
}

TEST(LibraryLoading, OnlyTheRunsThatNeedThemLoadNetcdfAndImages) {
  TempDir dir;
  RunResult r = traced("quit\n", dir);
  ASSERT_TRUE(loaded(r, "libX11")) << "no loader trace: " << r.err.substr(0, 400);
  EXPECT_FALSE(loaded(r, "libnetcdf"));
  EXPECT_FALSE(loaded(r, "libgd"));

  r = traced("open " + sample + "\nset gxout shaded\nd z\nprint\nquit\n", dir);
  EXPECT_FALSE(loaded(r, "libnetcdf"));
  EXPECT_FALSE(loaded(r, "libgd"));

  sdffiles::make_nc(dir, "latlon", "a.nc");
  r = traced("sdfopen a.nc\nset gxout print\nd tas\nquit\n", dir);
  EXPECT_TRUE(contains(r.out, "SDF file a.nc is open as file 1")) << r.out;
  EXPECT_TRUE(loaded(r, "libnetcdf"));
  EXPECT_TRUE(contains(r.err, "dynamically loaded"));
  EXPECT_FALSE(loaded(r, "libgd"));

  r = traced("open " + sample + "\nd z\nprintim z.png\nquit\n", dir);
  EXPECT_TRUE(loaded(r, "libgd"));
  EXPECT_FALSE(loaded(r, "libnetcdf"));
  EXPECT_TRUE(sdffiles::sh("test -s " + dir.file("z.png")));
}

}  // namespace
