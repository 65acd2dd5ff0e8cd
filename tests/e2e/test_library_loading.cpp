// The netCDF and image libraries are loaded when a run first needs them, so
// a run that reads neither starts without the ninety libraries they bring.
// The dynamic loader's own trace (LD_DEBUG=files) says what was loaded.
#include <gtest/gtest.h>

#include <string>

#include "e2e/dataset_files.h"
#include "e2e/sdf_files.h"
#include "support/live_session.h"

using namespace vemra_test;
using dsfiles::answer;

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

// Without the libraries (here refused by a preloaded stand-in for the
// loader) the commands that need them fail with the reason, once, and the
// session goes on with everything else.
TEST(LibraryLoading, WithoutTheLibrariesTheirCommandsFailAndTheRestWorks) {
  TempDir dir;
  sdffiles::make_nc(dir, "latlon", "a.nc");
  // The stand-in is not the sanitizer's runtime, which wants to come first.
  RunResult r = run_batch(
      "sdfopen a.nc\nsdfopen a.nc\nq file\nopen " + sample + "\nd z\nprintim z.png\nquit\n",
      dir.path(), {},
      {std::string("LD_PRELOAD=") + VEMRA_REFUSE_DLOPEN, "ASAN_OPTIONS=verify_asan_link_order=0"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(count_of(r.out, "Cannot load the netCDF library libnetcdf"), 1u) << r.out;
  EXPECT_TRUE(contains(answer(r.out, "q file"), "No Files Open")) << r.out;
  // The binary data set opens and displays as it would anywhere.
  EXPECT_TRUE(contains(r.out, "Data file")) << r.out;
  EXPECT_TRUE(contains(answer(r.out, "d z"), "Contouring: ")) << r.out;
  EXPECT_TRUE(contains(r.out, "Cannot load the image library libgd")) << r.out;
  EXPECT_TRUE(contains(r.out, "PRINTIM error")) << r.out;
  EXPECT_FALSE(sdffiles::sh("test -e " + dir.file("z.png")));
}

}  // namespace
